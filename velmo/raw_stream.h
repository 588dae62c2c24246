#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/zone_settings.h"

// Filters raw 32-bit frames of w x h pixels (FFmpeg's bgr0 or bgra: bytes B, G, R, X; rows
// top-down) from one file descriptor to another, each frame viewed bottom-up as the filter sees
// frames. Pixels keep their fourth byte (bgra's alpha); the black and red the filter paints are
// opaque (0xFF there), as FFmpeg writes bgr0.
struct StreamReport {
    std::uint64_t frames = 0;
    std::string error;  // empty when the input ended cleanly after a whole frame
};

// `progress` is called now and then with the frames done so far.
StreamReport filterRawStream(int input, int output, const ZoneSettings& settings, std::int32_t w,
                             std::int32_t h, const std::function<void(std::uint64_t frames)>& progress);
