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

#include "tests/support/hostile_pictures.h"
#include "velmo/image/picture.h"

namespace {

namespace fs = std::filesystem;
using namespace hostile_pictures;
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
