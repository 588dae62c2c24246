#pragma once

#include <cstdint>
#include <string>

#include "core/zone_settings.h"

// What the command line asks of velmo.
struct VelmoOptions {
    enum class Mode { Apply, Stream };
    Mode mode = Mode::Apply;
    ZoneSettings settings{};  // the plug-in's defaults unless a line or flags say otherwise
    std::int32_t width = 0;   // stream frames
    std::int32_t height = 0;
    std::string input;  // apply: the pictures
    std::string output;
};

inline constexpr char kVelmoUsage[] =
    "usage: velmo apply [SETTINGS] [--show-frame] IN OUT\n"
    "       velmo stream --size WxH [SETTINGS] < raw-in > raw-out\n"
    "SETTINGS: --config \"Config(up,left,right,down,border)\"  (the line the plug-in saves)\n"
    "       or --up N --left N --right N --down N --border     (margins default to 1, border off)\n"
    "apply reads PNG, BMP or JPEG and writes PNG or BMP; --show-frame draws the zone's outline in red.\n"
    "stream filters raw 32-bit frames (FFmpeg's bgr0 or bgra, top-down rows) from stdin to stdout.\n";

// Reads the command line; false with a one-line `error` when it does not make sense.
bool parseVelmoOptions(int argc, const char* const* argv, VelmoOptions& options, std::string& error);
