// Feeds arbitrary bytes to the picture reader (signature, header and size checks, then FFmpeg's own
// PNG, BMP and JPEG decoders and the conversion to 32-bit pixels): every input is either a picture
// whose pixels match its size, without anything in the fourth byte, or refused in one line.

#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "velmo/image/picture.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Picture picture;
    std::string error;
    if (!decodePicture("input", std::span<const unsigned char>(data, size), picture, error)) {
        if (error.rfind("cannot read input: ", 0) != 0 || error.find('\n') != std::string::npos) std::abort();
        return 0;
    }
    if (picture.w <= 0 || picture.h <= 0 || picture.w > kLargestPictureSide ||
        picture.h > kLargestPictureSide ||
        picture.pixels.size() != static_cast<std::size_t>(picture.w) * static_cast<std::size_t>(picture.h))
        std::abort();
    for (const Pixel32 pixel : picture.pixels)
        if ((pixel >> 24) != 0) std::abort();
    return 0;
}
