#pragma once

#include <cstdint>

#include "velmo/command_line.h"
#include "velmo/zone_options.h"

// velmo stream --size WxH [OPTIONS] < RAW-IN > RAW-OUT: the filter on raw 32-bit frames.
struct StreamOptions {
    ZoneChoice zone;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// Reads stream's command line; false with a one-line `error` when it makes no sense.
bool readStreamOptions(const Invocation& invocation, StreamOptions& options, CommandLine& line,
                       std::string& error);

extern const Command kStreamCommand;
