#pragma once

#include <cstddef>
#include <cstdint>

// One 32-bit pixel, 0x00RRGGBB. The filter copies whole words and never looks at a channel.
using Pixel32 = std::uint32_t;

// A frame as the transform sees it. Rows are stored bottom-up: row 0 is the bottom line of the
// picture. `modulo` is the number of bytes after the last pixel of a row before the next row
// begins; it may be negative when a top-down buffer is viewed bottom-up.
struct FrameBitmap {
    Pixel32* data;
    std::int32_t w;
    std::int32_t h;
    std::ptrdiff_t modulo;
};

// Distance in pixels from one row to the next. The shift is arithmetic, so a negative modulo
// gives a negative stride.
constexpr std::int64_t rowStridePixels(const FrameBitmap& bitmap) {
    return std::int64_t{bitmap.w} + (std::int64_t{bitmap.modulo} >> 2);
}

// Top-down rows without gaps (as image files, FFmpeg and frei0r hold them) seen bottom-up, as the
// filter sees frames: row 0 is the picture's bottom line. No pixel is copied; the rows are walked
// backwards through a negative row gap. The view points into the buffer only when it holds pixels.
inline FrameBitmap bottomUpView(Pixel32* topDownPixels, std::int32_t w, std::int32_t h) {
    const std::ptrdiff_t width = w;
    Pixel32* lastRow = topDownPixels;
    if (w > 0 && h > 0) lastRow += (h - 1) * width;
    return FrameBitmap{lastRow, w, h, -8 * width};
}
