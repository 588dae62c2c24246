#pragma once

#include <string>

#include "host/filter_interface.h"

// Runs one saved script line, such as "Config(3,5,7,9,1)" or the whole saved form
// "VirtualDub.video.filters.instance[0].Config(3,5,7,9,1);", as the host's interpreter does: finds
// the named function in the filter's script table, checks the arguments against its signature and
// calls it with the activation as context. `integerTag` is the type code given to integer values
// (hosts differ: 1 or 9).
bool callScriptFunction(const FilterDefinition& filter, FilterActivation* activation, const std::string& line,
                        std::string& error, int integerTag = CScriptValue::T_INT);
