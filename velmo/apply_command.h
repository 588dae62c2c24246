#pragma once

#include <string>

#include "velmo/command_line.h"
#include "velmo/zone_options.h"

// velmo apply [OPTIONS] IN OUT: the filter on one picture.
struct ApplyOptions {
    ZoneChoice zone;
    std::string input;
    std::string output;
};

// Reads apply's command line; false with a one-line `error` when it makes no sense.
bool readApplyOptions(const Invocation& invocation, ApplyOptions& options, CommandLine& line,
                      std::string& error);

extern const Command kApplyCommand;
