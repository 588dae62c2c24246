#pragma once

// Picture files as tests write them: 8-bit RGB by stb's writer, and hostile files built byte by
// byte, each the case where a decoder once went wrong.

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <random>
#include <vector>

#include "stb_image_write.h"
#include "velmo/image/picture.h"

namespace hostile_pictures {

using Bytes = std::vector<unsigned char>;

inline void appendLittleEndian(Bytes& bytes, std::uint32_t value, int size) {
    for (int k = 0; k < size; ++k)
        bytes.push_back(static_cast<unsigned char>(value >> (8 * k)));
}

// A 24-bit BMP's 54 bytes of headers for w x h pixels (the height negative for top-down rows),
// followed by `pixelBytes` bytes of rows.
inline Bytes bmp(std::int32_t w, std::int32_t h, std::size_t pixelBytes = 0) {
    Bytes bytes{'B', 'M'};
    appendLittleEndian(bytes, static_cast<std::uint32_t>(54 + pixelBytes), 4);
    appendLittleEndian(bytes, 0, 4);   // reserved
    appendLittleEndian(bytes, 54, 4);  // pixel data offset
    appendLittleEndian(bytes, 40, 4);  // info header size
    appendLittleEndian(bytes, static_cast<std::uint32_t>(w), 4);
    appendLittleEndian(bytes, static_cast<std::uint32_t>(h), 4);
    appendLittleEndian(bytes, 1, 2);   // planes
    appendLittleEndian(bytes, 24, 2);  // bits per pixel
    for (int k = 0; k < 6; ++k)
        appendLittleEndian(bytes, 0, 4);  // uncompressed; sizes, resolution and colours unused
    bytes.resize(bytes.size() + pixelBytes, 0x40);
    return bytes;
}

inline Bytes encode(const Picture& picture, bool png, int channels = 3) {
    Bytes samples;
    for (const Pixel32 p : picture.pixels) {
        const unsigned char rgb[3] = {static_cast<unsigned char>(p >> 16), static_cast<unsigned char>(p >> 8),
                                      static_cast<unsigned char>(p)};
        if (channels == 1) samples.push_back(rgb[0]);
        if (channels == 3) samples.insert(samples.end(), rgb, rgb + 3);
        if (channels == 4)
            samples.insert(samples.end(), {rgb[0], rgb[1], rgb[2], static_cast<unsigned char>(p >> 8)});
    }
    Bytes file;
    auto append = [](void* context, void* data, int size) {
        auto* out = static_cast<Bytes*>(context);
        out->insert(out->end(), static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + size);
    };
    if (png)
        stbi_write_png_to_func(append, &file, picture.w, picture.h, channels, samples.data(),
                               picture.w * channels);
    else
        stbi_write_jpg_to_func(append, &file, picture.w, picture.h, channels, samples.data(), 90);
    return file;
}

inline Picture randomPicture(std::int32_t w, std::int32_t h, std::uint32_t seed) {
    std::mt19937 random(seed);
    Picture picture{w, h, {}};
    for (std::int32_t k = 0; k < w * h; ++k)
        picture.pixels.push_back(random() & 0xFFFFFFu);
    return picture;
}

// A PNG as stb writes it, with an empty IDAT chunk before its image data: legal (the image data
// is the chunks' data joined), and the case where Debian's stb follows a null pointer.
inline Bytes pngWithEmptyFirstImageData(const Picture& picture) {
    Bytes png = encode(picture, true);
    const unsigned char type[] = {'I', 'D', 'A', 'T'};
    const auto idat = std::search(png.begin(), png.end(), std::begin(type), std::end(type));
    // Length 0, the type, and the CRC-32 of "IDAT" with no data.
    const unsigned char empty[] = {0, 0, 0, 0, 'I', 'D', 'A', 'T', 0x35, 0xAF, 0x06, 0x1E};
    png.insert(idat - 4, std::begin(empty), std::end(empty));
    return png;
}

// A JPEG with a Huffman table segment whose 16 code counts are all 255 (4080 codes where a table
// holds 256): Debian's stb indexes past its arrays on it.
inline Bytes jpegWithOverfullHuffmanTable() {
    Bytes jpeg = encode(randomPicture(16, 16, 3), false);
    Bytes table{0xFF, 0xC4};
    const std::uint32_t length = 2 + 1 + 16 + 16 * 255;
    table.push_back(static_cast<unsigned char>(length >> 8));
    table.push_back(static_cast<unsigned char>(length));
    table.push_back(0x00);  // DC table 0
    table.insert(table.end(), 16, 255);
    for (int k = 0; k < 16 * 255; ++k)
        table.push_back(static_cast<unsigned char>(k));
    jpeg.insert(jpeg.begin() + 2, table.begin(), table.end());
    return jpeg;
}

}  // namespace hostile_pictures
