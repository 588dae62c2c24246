#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/frame_bitmap.h"
#include "velmo/image/output_file.h"
#include "velmo/image/size_limit.h"

// A picture as image files hold it: top-down rows of 0x00RRGGBB pixels without gaps.
struct Picture {
    std::int32_t w = 0;
    std::int32_t h = 0;
    std::vector<Pixel32> pixels;
};

// Reads a PNG, BMP or JPEG picture (recognised by its signature, whatever its name) of at most
// kLargestPictureSide pixels per side. The file is opened without blocking and refused unless it
// is a regular file; the header is read before any pixel memory is taken; a picture without pixels
// (a width or height of 0) and a BMP whose pixel data is shorter than its header says are refused.
// On failure returns false with a one-line `error` that names the file and the cause.
bool loadPicture(const std::string& path, Picture& picture, std::string& error);

// True when savePicture writes a file of this name: one that ends in .png or .bmp (any case), which
// chooses the format. Otherwise false with a one-line `error`.
bool checkPictureOutputName(const std::string& path, std::string& error);

// Encodes the picture as PNG or BMP, as the name of `file` says, into the open `file`; the caller
// commits it.
bool writePicture(OutputFile& file, const Picture& picture, std::string& error);

// The same for a file's bytes already in memory; `name` is the file's name for messages.
bool decodePicture(const std::string& name, std::span<const unsigned char> bytes, Picture& picture,
                   std::string& error);

// Writes PNG or BMP, chosen by the file name's extension, whole or not at all: through an OutputFile
// (output_file.h), which says how. A picture without pixels is refused.
bool savePicture(const std::string& path, const Picture& picture, std::string& error);

// The picture as the filter sees frames: bottom-up, without copying a pixel.
FrameBitmap bottomUpView(Picture& picture);
