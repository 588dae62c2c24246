#include <memory>

#include "stb_image.h"
#include "velmo/image/picture_decoder.h"

namespace {

struct FreeDecoded {
    void operator()(unsigned char* pixels) const { stbi_image_free(pixels); }
};

}  // namespace

bool decodePicturePixels(std::span<const unsigned char> bytes, PictureFormat, Picture& picture,
                         std::string& error) {
    const int size = static_cast<int>(bytes.size());
    int w = 0, h = 0, channels = 0;
    if (stbi_info_from_memory(bytes.data(), size, &w, &h, &channels) == 0) {
        error = stbi_failure_reason();
        return false;
    }
    picture.w = w;
    picture.h = h;
    if (w <= 0 || h <= 0 || w > kLargestPictureSide || h > kLargestPictureSide)
        return true;  // the caller refuses the size the decoder read, in its own words
    const std::unique_ptr<unsigned char, FreeDecoded> rgb(
        stbi_load_from_memory(bytes.data(), size, &w, &h, &channels, 3));
    if (!rgb) {
        error = stbi_failure_reason();
        return false;
    }
    picture.pixels.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    for (std::size_t k = 0; k < picture.pixels.size(); ++k) {
        const unsigned char* p = rgb.get() + 3 * k;
        picture.pixels[k] = (Pixel32{p[0]} << 16) | (Pixel32{p[1]} << 8) | Pixel32{p[2]};
    }
    return true;
}
