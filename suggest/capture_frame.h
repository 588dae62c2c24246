#pragma once

#include <cstdint>
#include <vector>

#include "core/frame_bitmap.h"

// A frame as the zone finder reads it: luma and both chromas at full resolution, top-down, on the
// 8-bit scale of limited-range video (black 16, neutral chroma 128). A source of more bits is
// judged on the same scale. Full-resolution chroma keeps every detector's geometry one grid; it is
// what FFmpeg's libswscale gives as yuv444p.
struct CaptureFrame {
    std::int32_t w = 0;
    std::int32_t h = 0;
    std::vector<std::uint8_t> y, cb, cr;  // w * h each
    bool interlaced = false;              // woven from two fields, as the decoder says
    bool topFieldFirst = true;
    int sourceBitDepth = 8;
    bool lossless = false;  // decoded from a lossless codec: no codec blurred the damage's finest signs

    std::size_t at(std::int32_t x, std::int32_t row) const {
        return static_cast<std::size_t>(row) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x);
    }
};

// Bytes the finder keeps per frame: three planes of one byte per pixel.
inline constexpr std::int64_t kCaptureFrameBytesPerPixel = 3;

// The frame of an RGB picture (0x00RRGGBB, as velmo's readers give today), by BT.601's limited-range
// matrix: what FFmpeg decoded to RGB comes back to about the video's own levels, apart from levels
// below black or above white, which RGB cannot hold.
CaptureFrame captureFrameFromBitmap(const FrameBitmap& bitmap);
