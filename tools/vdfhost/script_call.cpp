#include "tools/vdfhost/script_call.h"

#include "core/script_line.h"

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
