#pragma once

#include <cstdint>
#include <string>

#include "core/zone_settings.h"

// What the command line asks of velmo.
struct VelmoOptions {
    enum class Mode { Apply, Stream, Help, Version };
    Mode mode = Mode::Apply;
    // Whose usage --help shows: the whole command's, or apply's or stream's.
    enum class Command { All, Apply, Stream };
    Command helpFor = Command::All;
    ZoneSettings settings{};  // the plug-in's defaults unless a line or flags say otherwise
    std::int32_t width = 0;   // stream frames
    std::int32_t height = 0;
    std::string input;  // apply: the pictures
    std::string output;
};

// Reads the command line; false with a one-line `error` when it does not make sense.
bool parseVelmoOptions(int argc, const char* const* argv, VelmoOptions& options, std::string& error);

// The usage text, generated from the option table: the whole command's, or one command's.
std::string velmoUsage(VelmoOptions::Command command);
