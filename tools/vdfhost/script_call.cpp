#include "tools/vdfhost/script_call.h"

#include <cctype>
#include <climits>
#include <cstdlib>

namespace {

class Cursor {
public:
    explicit Cursor(const std::string& text) : text_(text) {}

    void skipBlanks() {
        while (position_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[position_])))
            ++position_;
    }
    bool take(char c) {
        skipBlanks();
        if (position_ < text_.size() && text_[position_] == c) {
            ++position_;
            return true;
        }
        return false;
    }
    bool atEnd() {
        skipBlanks();
        return position_ == text_.size();
    }
    std::string identifier() {
        skipBlanks();
        const std::size_t begin = position_;
        while (position_ < text_.size() &&
               (std::isalnum(static_cast<unsigned char>(text_[position_])) || text_[position_] == '_'))
            ++position_;
        return text_.substr(begin, position_ - begin);
    }
    bool integer(int& value) {
        skipBlanks();
        const std::size_t begin = position_;
        if (position_ < text_.size() && (text_[position_] == '-' || text_[position_] == '+')) ++position_;
        const std::size_t digits = position_;
        while (position_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[position_])))
            ++position_;
        if (position_ == digits || position_ - digits > 12) return false;
        const long long parsed = std::strtoll(text_.substr(begin, position_ - begin).c_str(), nullptr, 10);
        if (parsed < INT_MIN || parsed > INT_MAX) return false;
        value = static_cast<int>(parsed);
        return true;
    }
    std::size_t position() const { return position_; }
    void seek(std::size_t position) { position_ = position; }

private:
    const std::string& text_;
    std::size_t position_ = 0;
};

// Skips "VirtualDub.video.filters.instance[N]." and the like: dotted names and indexes before the call.
std::string functionName(Cursor& cursor) {
    std::string name = cursor.identifier();
    for (;;) {
        const std::size_t mark = cursor.position();
        if (cursor.take('[')) {
            int index = 0;
            if (!cursor.integer(index) || !cursor.take(']')) return std::string();
            continue;
        }
        if (cursor.take('.')) {
            name = cursor.identifier();
            continue;
        }
        cursor.seek(mark);
        return name;
    }
}

}  // namespace

bool parseScriptCall(const std::string& line, ScriptCall& call, std::string& error) {
    Cursor cursor(line);
    call.name = functionName(cursor);
    call.arguments.clear();
    if (call.name.empty() || !cursor.take('(')) {
        error = "not a script call: \"" + line + "\" (expected a line such as Config(3,5,7,9,1))";
        return false;
    }
    if (!cursor.take(')')) {
        do {
            int value = 0;
            if (!cursor.integer(value)) {
                error = "bad argument in \"" + line +
                        "\": arguments must be integers from -2147483648 to 2147483647";
                return false;
            }
            call.arguments.push_back(value);
        } while (cursor.take(','));
        if (!cursor.take(')')) {
            error = "missing ')' in \"" + line + "\"";
            return false;
        }
    }
    cursor.take(';');
    if (!cursor.atEnd()) {
        error = "unexpected text after the call in \"" + line + "\"";
        return false;
    }
    return true;
}

bool callScriptFunction(const FilterDefinition& filter, FilterActivation* activation, const std::string& line,
                        std::string& error, int integerTag) {
    ScriptCall call;
    if (!parseScriptCall(line, call, error)) return false;
    const ScriptFunctionDef* functions =
        filter.script_obj != nullptr ? filter.script_obj->func_list : nullptr;
    bool nameFound = false;
    for (const ScriptFunctionDef* f = functions; f != nullptr && f->func_ptr != nullptr; ++f) {
        if (f->name == nullptr || call.name != f->name) continue;
        nameFound = true;
        const std::string signature = f->arg_list != nullptr ? f->arg_list : "";
        // The first character is the return type, then one 'i' per integer argument.
        if (signature.size() != call.arguments.size() + 1 ||
            signature.find_first_not_of('i', 1) != std::string::npos)
            continue;
        std::vector<CScriptValue> argv(call.arguments.size());
        for (std::size_t k = 0; k < argv.size(); ++k) {
            argv[k] = CScriptValue{};
            argv[k].type = integerTag;
            argv[k].u.i = call.arguments[k];
        }
        f->func_ptr(nullptr, activation, argv.data(), static_cast<int>(argv.size()));
        return true;
    }
    error = nameFound ? "no overload of " + call.name + " takes " + std::to_string(call.arguments.size()) +
                            " integer arguments"
                      : "the filter has no script function named " + call.name;
    return false;
}
