#include "core/script_line.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace {

std::string at(std::size_t position) {
    return "at character " + std::to_string(position + 1);
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isNameStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool isNameChar(char c) {
    return isNameStart(c) || isDigit(c);
}

// A name as a message shows it: a line can hold a name of any length, the message is one short line.
std::string shownName(std::string_view name) {
    constexpr std::size_t kShown = 24;
    return std::string(name.substr(0, kShown)) + (name.size() > kShown ? "..." : "");
}

std::string escaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '"':
            case '\\':
                out += '\\';
                out += c;
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) {
                    char hex[5];
                    std::snprintf(hex, sizeof hex, "\\x%02X",
                                  static_cast<unsigned>(static_cast<unsigned char>(c)));
                    out += hex;
                } else {
                    out += c;
                }
        }
    }
    return out;
}

// Reads a line token by token and, when it stops, says where and why.
class LineReader {
public:
    explicit LineReader(std::string_view line) : line_(line) {
        // The end of a line copied out of a script file: CR LF, LF or CR.
        while (!line_.empty() && (line_.back() == '\n' || line_.back() == '\r'))
            line_.remove_suffix(1);
    }

    bool next(char c) {
        skipBlanks();
        return position_ < line_.size() && line_[position_] == c;
    }
    bool take(char c) {
        if (!next(c)) return false;
        ++position_;
        return true;
    }
    // A whole word: "instance" does not match the start of "instances".
    bool take(std::string_view word) {
        skipBlanks();
        if (line_.substr(position_, word.size()) != word) return false;
        const std::size_t end = position_ + word.size();
        if (isNameChar(word.back()) && end < line_.size() && isNameChar(line_[end])) return false;
        position_ = end;
        return true;
    }
    std::string_view name() {
        skipBlanks();
        const std::size_t begin = position_;
        if (position_ < line_.size() && isNameStart(line_[position_]))
            while (position_ < line_.size() && isNameChar(line_[position_]))
                ++position_;
        return line_.substr(begin, position_ - begin);
    }
    // An optional sign and digits. Reads the whole number even when it is out of range, so the
    // message can say so rather than stop in its middle.
    enum class Number { Missing, OutOfRange, Read };
    Number integer(std::int32_t& value) {
        skipBlanks();
        std::size_t at = position_;
        const bool negative = at < line_.size() && line_[at] == '-';
        if (at < line_.size() && (line_[at] == '-' || line_[at] == '+')) ++at;
        if (at == line_.size() || !isDigit(line_[at])) return Number::Missing;
        // Up to 2^31 in magnitude, and saturated beyond, so no digit count can overflow.
        constexpr std::int64_t kLimit = std::int64_t{1} << 31;
        std::int64_t magnitude = 0;
        for (; at < line_.size() && isDigit(line_[at]); ++at)
            if (magnitude <= kLimit) magnitude = magnitude * 10 + (line_[at] - '0');
        numberBegin_ = position_;
        position_ = at;
        if (magnitude > (negative ? kLimit : kLimit - 1)) return Number::OutOfRange;
        value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
        return Number::Read;
    }
    bool atEnd() {
        skipBlanks();
        return position_ == line_.size();
    }
    // Where the next token begins.
    std::size_t position() {
        skipBlanks();
        return position_;
    }

    // "at character N (found ...): expected ...", about the next token, or about the last number
    // or the marked token.
    std::string stopped(std::string_view expected) {
        skipBlanks();
        return at(position_) + ": expected " + std::string(expected) + ", found " + found(position_);
    }
    std::string numberOutOfRange() const {
        constexpr std::size_t kShown = 24;
        const std::string_view number = line_.substr(numberBegin_, position_ - numberBegin_);
        std::string message = at(numberBegin_) + ": ";
        message += number.substr(0, kShown);
        if (number.size() > kShown) message += "...";
        return message + " is not a whole number from -2147483648 to 2147483647";
    }

private:
    void skipBlanks() {
        while (position_ < line_.size() && isBlank(line_[position_]))
            ++position_;
    }
    std::string found(std::size_t position) const {
        if (position >= line_.size()) return "the end of the line";
        constexpr std::size_t kShown = 12;
        return quotedLine(line_.substr(position), kShown);
    }

    std::string_view line_;
    std::size_t position_ = 0;
    std::size_t numberBegin_ = 0;
};

// What follows "VirtualDub" in the host's own saved form: .video.filters.instance[N].
bool readHostPrefix(LineReader& reader, std::string& problem) {
    constexpr std::string_view kPath[] = {".", "video", ".", "filters", ".", "instance", "["};
    constexpr std::string_view kExpected = "VirtualDub.video.filters.instance[N]. before the call";
    for (const std::string_view word : kPath)
        if (!(word.size() == 1 ? reader.take(word[0]) : reader.take(word))) {
            problem = reader.stopped(kExpected);
            return false;
        }
    std::int32_t index = 0;
    if (reader.next('-') || reader.next('+') || reader.integer(index) != LineReader::Number::Read ||
        !reader.take(']') || !reader.take('.')) {
        problem = reader.stopped(kExpected);
        return false;
    }
    return true;
}

// Where a call's parts begin, for messages about the call as a whole.
struct CallPositions {
    std::size_t name = 0;
    std::vector<std::size_t> arguments;
    std::size_t close = 0;
};

bool readCall(LineReader& reader, ScriptCall& call, CallPositions& positions, std::string& problem) {
    positions.name = reader.position();
    call.name = std::string(reader.name());
    if (call.name == "VirtualDub" && reader.next('.')) {
        if (!readHostPrefix(reader, problem)) return false;
        positions.name = reader.position();
        call.name = std::string(reader.name());
    }
    if (call.name.empty()) {
        problem = reader.stopped("a call such as Config(3,5,7,9,1)");
        return false;
    }
    if (!reader.take('(')) {
        problem = reader.stopped("'(' after " + shownName(call.name));
        return false;
    }
    call.arguments.clear();
    positions.close = reader.position();
    if (!reader.take(')')) {
        for (;;) {
            positions.arguments.push_back(reader.position());
            std::int32_t value = 0;
            const LineReader::Number number = reader.integer(value);
            if (number == LineReader::Number::Missing) {
                problem = reader.stopped("a whole number");
                return false;
            }
            if (number == LineReader::Number::OutOfRange) {
                problem = reader.numberOutOfRange();
                return false;
            }
            call.arguments.push_back(value);
            positions.close = reader.position();
            if (reader.take(')')) break;
            if (!reader.take(',')) {
                problem = reader.stopped("',' or ')'");
                return false;
            }
        }
    }
    reader.take(';');
    if (!reader.atEnd()) {
        problem = reader.stopped("the end of the line");
        return false;
    }
    return true;
}

std::string badLine(std::string_view line, const std::string& problem) {
    return "bad settings line " + quotedLine(line) + " " + problem;
}

// Config's five numbers, in the order the line gives them: up, left, right, down, border.
using ConfigNumbers = std::array<std::int32_t, 5>;

bool readConfigLine(std::string_view line, ConfigNumbers& values, std::string& error) {
    LineReader reader(line);
    ScriptCall call;
    CallPositions positions;
    std::string problem;
    if (!readCall(reader, call, positions, problem)) {
        error = badLine(line, problem);
        return false;
    }
    if (call.name != "Config") {
        error = badLine(line, at(positions.name) + ": expected Config, the filter's script function, found " +
                                  shownName(call.name));
        return false;
    }
    constexpr std::size_t kFields = std::tuple_size_v<ConfigNumbers>;
    if (call.arguments.size() != kFields) {
        // Too few: the line stops making sense at its ')'; too many: at the first number too many.
        const std::size_t where =
            call.arguments.size() < kFields ? positions.close : positions.arguments[kFields];
        error = badLine(line, at(where) + ": Config takes five numbers (up,left,right,down,border), found " +
                                  std::to_string(call.arguments.size()));
        return false;
    }
    std::copy(call.arguments.begin(), call.arguments.end(), values.begin());
    return true;
}

}  // namespace

namespace {

// The character's code point when `text` starts with a well-formed UTF-8 sequence of it (shortest
// form, not a surrogate); `length` is the sequence's length. Returns -1 otherwise.
long decodeUtf8(std::string_view text, std::size_t& length) {
    const auto byte = [&text](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(0);
    length = lead < 0x80                   ? 1
             : lead >= 0xC2 && lead < 0xE0 ? 2
             : lead >= 0xE0 && lead < 0xF0 ? 3
             : lead >= 0xF0 && lead < 0xF5 ? 4
                                           : 0;
    if (length == 0 || length > text.size()) return -1;
    long code = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(k) & 0xC0) != 0x80) return -1;
        code = (code << 6) | (byte(k) & 0x3F);
    }
    constexpr long kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kLeast[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return -1;
    return code;
}

// Characters that break a message's line or change how the rest of it shows: controls (C0, DEL,
// C1), the Unicode line and paragraph separators, and the bidirectional overrides and isolates.
bool breaksTheLine(long code) {
    return code < 0x20 || (code >= 0x7F && code <= 0x9F) || code == 0x2028 || code == 0x2029 ||
           (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069);
}

bool printsAsOneLine(std::string_view name) {
    while (!name.empty()) {
        std::size_t length = 0;
        const long code = decodeUtf8(name, length);
        if (code < 0 || breaksTheLine(code)) return false;
        name.remove_prefix(length);
    }
    return true;
}

}  // namespace

std::string quotedName(std::string_view name) {
    if (!name.empty() && printsAsOneLine(name)) return std::string(name);
    return quotedLine(name, name.size());
}

std::string quotedLine(std::string_view line, std::size_t limit) {
    std::string quoted = "\"";
    quoted += escaped(line.substr(0, limit));
    quoted += line.size() > limit ? "...\"" : "\"";
    return quoted;
}

bool parseScriptCall(std::string_view line, ScriptCall& call, std::string& error) {
    LineReader reader(line);
    CallPositions positions;
    std::string problem;
    if (readCall(reader, call, positions, problem)) return true;
    error = badLine(line, problem);
    return false;
}

bool parseConfigLine(std::string_view line, Zone& zone, std::string& error) {
    ConfigNumbers v{};
    if (!readConfigLine(line, v, error)) return false;
    zone = Zone{.up = v[0], .left = v[1], .right = v[2], .down = v[3], .border = v[4] != 0};
    return true;
}

bool readWholeNumber(std::string_view text, std::int32_t& value) {
    if (text.find_first_of(" \t\r\n") != std::string_view::npos) return false;
    LineReader reader(text);
    std::int32_t read = 0;
    if (reader.integer(read) != LineReader::Number::Read || !reader.atEnd()) return false;
    value = read;
    return true;
}

bool applyScriptLine(ZoneSettings& settings, std::string_view line, std::string& error) {
    ConfigNumbers v{};
    if (!readConfigLine(line, v, error)) return false;
    applyConfigCommand(settings, v[0], v[1], v[2], v[3], v[4]);
    return true;
}

std::string configLine(const Zone& zone) {
    ZoneSettings settings{};
    storeZone(settings, zone);
    char line[kScriptLineCapacity];
    formatScriptLine(settings, line, sizeof line);
    return line;
}

std::string frei0rFilterLine(const Zone& zone) {
    return "frei0r=velmo:" + std::to_string(zone.up) + "|" + std::to_string(zone.left) + "|" +
           std::to_string(zone.right) + "|" + std::to_string(zone.down) + "|" + (zone.border ? "y" : "n");
}
