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

// Reads PNG, BMP or JPEG. On failure returns false and says why in `error`.
bool loadPicture(const std::string& path, Picture& picture, std::string& error);

// Writes PNG or BMP, chosen by the file name's extension. The file appears whole or not at all:
// it is written under a temporary name beside the target and renamed when complete.
bool savePicture(const std::string& path, const Picture& picture, std::string& error);

// The picture as the filter sees frames: bottom-up, without copying a pixel.
FrameBitmap bottomUpView(Picture& picture);
