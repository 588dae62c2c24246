// Pictures read through FFmpeg's decoders and written through stb: 8-bit RGB exactly as stored,
// hostile files refused in one line, and no picture without pixels either way.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "stb_image_write.h"
#include "velmo/image/picture.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

void appendLittleEndian(Bytes& bytes, std::uint32_t value, int size) {
    for (int k = 0; k < size; ++k)
        bytes.push_back(static_cast<unsigned char>(value >> (8 * k)));
}

// A 24-bit BMP's 54 bytes of headers for w x h pixels (the height negative for top-down rows),
// followed by `pixelBytes` bytes of rows.
Bytes bmp(std::int32_t w, std::int32_t h, std::size_t pixelBytes = 0) {
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

Bytes encode(const Picture& picture, bool png, int channels = 3) {
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

Picture randomPicture(std::int32_t w, std::int32_t h, std::uint32_t seed) {
    std::mt19937 random(seed);
    Picture picture{w, h, {}};
    for (std::int32_t k = 0; k < w * h; ++k)
        picture.pixels.push_back(random() & 0xFFFFFFu);
    return picture;
}

// A PNG as stb writes it, with an empty IDAT chunk before its image data: legal (the image data
// is the chunks' data joined), and the case where Debian's stb follows a null pointer.
Bytes pngWithEmptyFirstImageData(const Picture& picture) {
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
Bytes jpegWithOverfullHuffmanTable() {
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

TEST(PictureReading, KeepsEvery8BitRgbSampleAsStored) {
    const Picture original = randomPicture(37, 23, 1);
    std::string error;
    for (const bool png : {true, false}) {
        const std::string name = png ? "random.png" : "random.bmp";
        Bytes file;
        if (png) {
            file = encode(original, true);
        } else {
            // Bottom-up rows of B, G, R, each row padded to 4 bytes.
            const std::size_t row = (37 * 3 + 3) / 4 * 4;
            file = bmp(37, 23, row * 23);
            for (std::int32_t y = 0; y < 23; ++y)
                for (std::int32_t x = 0; x < 37; ++x) {
                    const Pixel32 p = original.pixels[static_cast<std::size_t>((22 - y) * 37 + x)];
                    unsigned char* at = file.data() + 54 + y * row + 3 * x;
                    at[0] = static_cast<unsigned char>(p), at[1] = static_cast<unsigned char>(p >> 8);
                    at[2] = static_cast<unsigned char>(p >> 16);
                }
        }
        Picture read;
        ASSERT_TRUE(decodePicture(name, file, read, error)) << error;
        EXPECT_EQ(read.w, 37);
        EXPECT_EQ(read.h, 23);
        EXPECT_EQ(read.pixels, original.pixels) << name;
    }
}

TEST(PictureReading, ReadsGreyAndAlphaPngsAsTheirRgb) {
    const Picture original = randomPicture(19, 7, 2);
    std::string error;
    Picture grey, alpha;
    ASSERT_TRUE(decodePicture("grey.png", encode(original, true, 1), grey, error)) << error;
    ASSERT_TRUE(decodePicture("alpha.png", encode(original, true, 4), alpha, error)) << error;
    for (std::size_t k = 0; k < original.pixels.size(); ++k) {
        const Pixel32 red = original.pixels[k] >> 16;
        EXPECT_EQ(grey.pixels[k], red * 0x010101u) << "pixel " << k;
        EXPECT_EQ(alpha.pixels[k], original.pixels[k]) << "pixel " << k << ": alpha is dropped, not blended";
    }
}

TEST(PictureReading, ReadsAPngWhoseFirstImageDataChunkIsEmpty) {
    const Picture original = randomPicture(9, 5, 4);
    Picture read;
    std::string error;
    ASSERT_TRUE(decodePicture("split.png", pngWithEmptyFirstImageData(original), read, error)) << error;
    EXPECT_EQ(read.pixels, original.pixels);
}

// Each refused in one line naming the file, before any decoder trusts what it says.
TEST(PictureReading, RefusesHostilePicturesInOneLine) {
    struct Case {
        const char* name;
        Bytes bytes;
        const char* mentions;
    };
    const Case cases[] = {
        {"width-0.bmp", bmp(0, 10), "the picture has no pixels"},
        {"height-0.bmp", bmp(10, 0), "the picture has no pixels"},
        {"top-down-width-0.bmp", bmp(0, -10), "the picture has no pixels"},
        {"overfull-huffman.jpg", jpegWithOverfullHuffmanTable(), ""},
        {"cut-rows.bmp", bmp(4, 4, 47), "the file is cut short, 1 bytes of pixel rows are missing"},
        {"negative-width.bmp", bmp(-4, 4, 64), ""},
        {"huge-height.bmp", bmp(4, INT32_MIN),
         "pixels; velmo reads pictures of at most 16384 pixels per side"},
    };
    for (const Case& c : cases) {
        Picture picture;
        std::string error;
        EXPECT_FALSE(decodePicture(c.name, c.bytes, picture, error)) << c.name;
        EXPECT_EQ(error.rfind(std::string("cannot read ") + c.name + ": ", 0), 0u) << error;
        EXPECT_NE(error.find(c.mentions), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
}

// Only regular files are read; opening one never waits (a FIFO would wait for a writer).
TEST(PictureReading, RefusesWhatIsNotAFile) {
    const fs::path folder = fs::temp_directory_path() / ("velmo-picture-test-" + std::to_string(getpid()));
    fs::create_directories(folder / "folder.png");
    struct Case {
        std::string path;
        const char* mentions;
    };
    for (const Case& c : {Case{(folder / "folder.png").string(), "a folder, not a file"},
                          Case{"/dev/zero", "a character device, not a file"},
                          Case{(folder / "missing.png").string(), "No such file"}}) {
        Picture picture;
        std::string error;
        EXPECT_FALSE(loadPicture(c.path, picture, error));
        EXPECT_NE(error.find(c.path + ": " + c.mentions), std::string::npos) << error;
    }
    fs::remove_all(folder);
}

TEST(PictureWriting, RefusesAPictureWithoutPixels) {
    const fs::path folder = fs::temp_directory_path() / ("velmo-picture-test-" + std::to_string(getpid()));
    fs::create_directories(folder);
    struct Case {
        Picture picture;
        const char* mentions;
    };
    const Case cases[] = {
        {Picture{0, 10, {}}, "the picture has no pixels"},
        {Picture{10, 0, {}}, "the picture has no pixels"},
        {Picture{-3, -3, std::vector<Pixel32>(9)}, "the picture has no pixels"},
        {Picture{4, 4, std::vector<Pixel32>(15)}, "holds 15 pixels, not 4 x 4"},
    };
    for (const Case& c : cases)
        for (const char* name : {"out.png", "out.bmp"}) {
            std::string error;
            const std::string path = (folder / name).string();
            EXPECT_FALSE(savePicture(path, c.picture, error)) << name;
            EXPECT_NE(error.find(c.mentions), std::string::npos) << error;
            EXPECT_FALSE(fs::exists(path)) << name;
        }
    EXPECT_TRUE(fs::is_empty(folder)) << "no temporary left";
    fs::remove_all(folder);
}

}  // namespace
