#pragma once

#include <string>
#include <vector>

#include "host/filter_interface.h"

// One call of a saved script line, such as "Config(3,5,7,9,1)" or the whole saved form
// "VirtualDub.video.filters.instance[0].Config(3,5,7,9,1);".
struct ScriptCall {
    std::string name;
    std::vector<int> arguments;
};

// Parses a line; integer arguments only, each within the 32-bit range.
bool parseScriptCall(const std::string& line, ScriptCall& call, std::string& error);

// Finds the named function in the filter's script table, checks the arguments against its
// signature and calls it with the activation as context, as the host's interpreter does.
// `integerTag` is the type code given to integer values (hosts differ: 1 or 9).
bool callScriptFunction(const FilterDefinition& filter, FilterActivation* activation, const std::string& line,
                        std::string& error, int integerTag = CScriptValue::T_INT);
