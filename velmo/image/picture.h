#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/frame_bitmap.h"
#include "velmo/image/output_file.h"

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

// True when savePicture writes a file of this name: one that ends in .png or .bmp (any case), which
// chooses the format. Otherwise false with a one-line `error`.
bool checkPictureOutputName(const std::string& path, std::string& error);

// Encodes the picture as PNG or BMP, as the name of `file` says, into the open `file`; the caller
// commits it.
bool writePicture(OutputFile& file, const Picture& picture, std::string& error);

// Writes PNG or BMP, chosen by the file name's extension, whole or not at all: through an OutputFile
// (output_file.h), which says how.
bool savePicture(const std::string& path, const Picture& picture, std::string& error);

// The picture as the filter sees frames: bottom-up, without copying a pixel.
FrameBitmap bottomUpView(Picture& picture);
