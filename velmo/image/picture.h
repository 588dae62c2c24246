#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/frame_bitmap.h"

// A picture as image files hold it: top-down rows of 0x00RRGGBB pixels without gaps.
struct Picture {
    std::int32_t w = 0;
    std::int32_t h = 0;
    std::vector<Pixel32> pixels;
};

// The largest picture or frame side the tools accept. It covers every real frame (8K video is
// 7680 x 4320) while a hostile file of a few bytes cannot ask for more than about 3 GB of memory.
inline constexpr std::int32_t kLargestPictureSide = 16384;

// Reads a PNG, BMP or JPEG picture of at most kLargestPictureSide pixels per side. The header is
// read before any pixel memory is taken; a BMP whose pixel data is shorter than its header says is
// refused. On failure returns false with a one-line `error` that names the file and the cause.
bool loadPicture(const std::string& path, Picture& picture, std::string& error);

// Writes PNG or BMP, chosen by the file name's extension. The file appears whole or not at all:
// it is written under a unique temporary name in the target's folder and renamed into place, and
// the temporary is removed on any failure.
bool savePicture(const std::string& path, const Picture& picture, std::string& error);

// The picture as the filter sees frames: bottom-up, without copying a pixel.
FrameBitmap bottomUpView(Picture& picture);
