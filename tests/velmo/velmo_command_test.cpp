// velmo run as a user runs it: pictures in and out, and the one-line errors.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "stb_image_write.h"
#include "velmo/image/picture.h"

namespace {

namespace fs = std::filesystem;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

struct Outcome {
    int exitCode;
    std::string errors;
};

std::string velmoBinary() {
    return VELMO_BINARY;
}

std::vector<unsigned char> readBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(file), {});
}

void writeBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class VelmoCommand : public testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("velmo-test-" + std::to_string(getpid()));
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string path(const char* name) const { return (folder_ / name).string(); }

    // Runs velmo with these arguments, or, with `asShell`, the shell command as it stands; either
    // way everything it writes on standard error is collected.
    Outcome velmo(const std::string& arguments, bool asShell = false) const {
        const std::string errors = path("stderr.txt");
        const std::string command = asShell ? arguments : velmoBinary() + " " + arguments;
        const int status = std::system(("{ " + command + "; } 2>" + errors).c_str());
        std::ifstream file(errors);
        std::stringstream text;
        text << file.rdbuf();
        return Outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1, text.str()};
    }

    fs::path folder_;
};

// A picture whose every pixel is distinct and never black: row y, column x.
Picture gradient(std::int32_t w, std::int32_t h) {
    Picture picture;
    picture.w = w;
    picture.h = h;
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x)
            picture.pixels.push_back(0x101010u + static_cast<Pixel32>(y * 256 + x));
    return picture;
}

TEST_F(VelmoCommand, UpActsOnThePicturesTopRows) {
    std::string error;
    ASSERT_TRUE(savePicture(path("in.png"), gradient(20, 30), error)) << error;
    // Up 13, down 1: the zone sits low, so the picture moves up six rows (row y shows row y + 6), and
    // sy = 7 turns six rows at the top and six at the bottom black. Flipped, it would move down.
    const Outcome run =
        velmo("apply --config 'Config(13,1,1,1,1)' " + path("in.png") + " " + path("out.png"));
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    Picture out;
    ASSERT_TRUE(loadPicture(path("out.png"), out, error)) << error;
    const Picture in = gradient(20, 30);
    for (std::int32_t y = 0; y < 30; ++y) {
        const Pixel32 expected = y < 6 || y >= 24 ? 0u : in.pixels[static_cast<std::size_t>(y + 6) * 20 + 5];
        EXPECT_EQ(out.pixels[static_cast<std::size_t>(y) * 20 + 5], expected) << "picture row " << y;
    }
}

// Bytes as the test writes them into a file.
using Bytes = std::vector<unsigned char>;

void appendBigEndian(Bytes& bytes, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.push_back(static_cast<unsigned char>(value >> shift));
}

// A PNG that is all header: its IHDR claims w x h pixels, and a few bytes of image data follow.
// (The CRCs are right, so only the size can be held against it.)
Bytes pngHeaderClaiming(std::uint32_t w, std::uint32_t h) {
    auto crc = [](const unsigned char* data, std::size_t size) {
        std::uint32_t c = 0xFFFFFFFFu;
        for (std::size_t k = 0; k < size; ++k) {
            c ^= data[k];
            for (int bit = 0; bit < 8; ++bit)
                c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
        }
        return c ^ 0xFFFFFFFFu;
    };
    auto chunk = [&crc](Bytes& png, const char* type, const Bytes& data) {
        appendBigEndian(png, static_cast<std::uint32_t>(data.size()));
        Bytes body(type, type + 4);
        body.insert(body.end(), data.begin(), data.end());
        png.insert(png.end(), body.begin(), body.end());
        appendBigEndian(png, crc(body.data(), body.size()));
    };
    Bytes png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    appendBigEndian(header, w);
    appendBigEndian(header, h);
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB
    chunk(png, "IHDR", header);
    chunk(png, "IDAT", {0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01});
    chunk(png, "IEND", {});
    return png;
}

Bytes jpegOf(const Picture& picture) {
    Bytes rgb;
    for (const Pixel32 p : picture.pixels)
        rgb.insert(rgb.end(), {static_cast<unsigned char>(p >> 16), static_cast<unsigned char>(p >> 8),
                               static_cast<unsigned char>(p)});
    Bytes jpeg;
    stbi_write_jpg_to_func(
        [](void* context, void* data, int size) {
            auto* out = static_cast<Bytes*>(context);
            out->insert(out->end(), static_cast<unsigned char*>(data),
                        static_cast<unsigned char*>(data) + size);
        },
        &jpeg, picture.w, picture.h, 3, rgb.data(), 90);
    return jpeg;
}

TEST_F(VelmoCommand, RefusesHostilePicturesWithTheirCause) {
    std::string error;
    ASSERT_TRUE(savePicture(path("good.bmp"), gradient(20, 30), error)) << error;
    ASSERT_TRUE(savePicture(path("good.png"), gradient(20, 30), error)) << error;
    const Bytes bmp = readBytes(path("good.bmp")), png = readBytes(path("good.png"));
    ASSERT_EQ(bmp.size(), 54u + 30 * 60);
    const Bytes jpeg = jpegOf(gradient(64, 48));
    // The same JPEG with its frame header claiming 65535 x 65535 pixels.
    Bytes hugeJpeg = jpeg;
    const unsigned char startOfFrame[] = {0xFF, 0xC0};
    const auto frame =
        std::search(hugeJpeg.begin(), hugeJpeg.end(), std::begin(startOfFrame), std::end(startOfFrame));
    ASSERT_NE(frame, hugeJpeg.end());
    std::fill(frame + 5, frame + 9, 0xFF);

    struct Case {
        const char* name;
        Bytes bytes;
        const char* mentions;
    };
    const Case cases[] = {
        {"huge.png", pngHeaderClaiming(20000, 20000),
         "20000 x 20000 pixels; velmo reads pictures of at most 16384"},
        {"wide.png", pngHeaderClaiming(16385, 1), "16385 x 1 pixels"},
        {"huge.jpg", hugeJpeg, "65535 x 65535 pixels"},
        {"cut.bmp", Bytes(bmp.begin(), bmp.begin() + 1500), "cut short, 354 bytes of pixel rows are missing"},
        {"cut-by-one.bmp", Bytes(bmp.begin(), bmp.end() - 1), "cut short, 1 bytes"},
        {"cut.png", Bytes(png.begin(), png.begin() + static_cast<std::ptrdiff_t>(png.size() / 2)),
         "cut.png: "},
        {"cut.jpg", Bytes(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(jpeg.size() / 2)),
         "cut.jpg: "},
        {"animation.gif",
         {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, ';'},
         "not a PNG, BMP or JPEG picture"},
        {"frame.ppm",
         {'P', '6', '\n', '1', ' ', '1', '\n', '2', '5', '5', '\n', 1, 2, 3},
         "not a PNG, BMP or JPEG"},
        {"layers.psd", {'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, 0, 0, 0, 0, 3}, "not a PNG, BMP or JPEG"},
        {"light.hdr", {'#', '?', 'R', 'A', 'D', 'I', 'A', 'N', 'C', 'E', '\n'}, "not a PNG, BMP or JPEG"},
        {"targa.tga",
         {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 24, 0, 1, 2, 3},
         "not a PNG, BMP or JPEG"},
        {"empty.png", {}, "not a PNG, BMP or JPEG"},
    };
    for (const Case& c : cases) {
        writeBytes(path(c.name), c.bytes);
        // A picture that asks for gigabytes is refused before any pixel memory is taken, so it
        // gets its message even in a small address space (sanitizers need a large one). FFmpeg's
        // libraries and theirs take about 200 MB of it as the program starts.
        const std::string limit = kSanitized ? "" : "ulimit -v 400000; ";
        const Outcome run =
            velmo(limit + "exec " + velmoBinary() + " apply " + path(c.name) + " " + path("out.png"), true);
        EXPECT_EQ(run.exitCode, 1) << c.name << ": " << run.errors;
        EXPECT_EQ(run.errors.rfind("velmo: cannot read " + path(c.name) + ": ", 0), 0u) << run.errors;
        EXPECT_EQ(run.errors.find('\n'), run.errors.size() - 1) << "one line: " << run.errors;
        EXPECT_NE(run.errors.find(c.mentions), std::string::npos) << run.errors;
        EXPECT_FALSE(fs::exists(path("out.png"))) << c.name;
    }
    // The untouched files still read: the checks refuse what is wrong, not what is unusual.
    for (const char* good : {"good.bmp", "good.png"}) {
        const Outcome run = velmo("apply " + path(good) + " " + path("out.png"));
        EXPECT_EQ(run.exitCode, 0) << good << ": " << run.errors;
    }
    writeBytes(path("good.jpg"), jpeg);
    EXPECT_EQ(velmo("apply " + path("good.jpg") + " " + path("out.bmp")).exitCode, 0);
}

TEST_F(VelmoCommand, OutputAppearsWholeUnderItsNameAndNothingElseIsTouched) {
    std::string error;
    ASSERT_TRUE(savePicture(path("in.png"), gradient(64, 48), error)) << error;
    // Files that happen to carry the names a fixed temporary would have used stay as they are.
    writeBytes(path("out.png.part"), {'k', 'e', 'e', 'p'});
    writeBytes(path(".out.png.part"), {'k', 'e', 'e', 'p'});
    // Two runs writing the same output at the same time: each writes its own temporary, and the
    // output is one of the two whole pictures.
    const std::string run =
        velmoBinary() + " apply --config 'Config(3,5,7,9,1)' " + path("in.png") + " " + path("out.png");
    const Outcome both =
        velmo(run + " & first=$!; " + run + "; second=$?; wait $first && exit $second", true);
    EXPECT_EQ(both.exitCode, 0) << both.errors;
    Picture out;
    ASSERT_TRUE(loadPicture(path("out.png"), out, error)) << error;
    EXPECT_EQ(out.w, 64);
    EXPECT_EQ(readBytes(path("out.png.part")), (Bytes{'k', 'e', 'e', 'p'}));
    EXPECT_EQ(readBytes(path(".out.png.part")), (Bytes{'k', 'e', 'e', 'p'}));
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names,
              (std::vector<std::string>{".out.png.part", "in.png", "out.png", "out.png.part", "stderr.txt"}))
        << "no temporary left behind";
}

TEST_F(VelmoCommand, HelpAndVersionPrintAndSucceed) {
    struct Case {
        const char* arguments;
        const char* mentions;
        const char* omits;
    };
    for (const Case& c :
         {Case{"--help", "velmo stream --size WxH", ""}, Case{"apply --help", "velmo apply", "--size"},
          Case{"stream --help", "--size WxH", "velmo apply"},
          Case{"stream --size 720x576 -h", "velmo stream", "velmo apply"},
          Case{"--version", "velmo, version 1.1(2)", "usage"}}) {
        const Outcome run = velmo(std::string(c.arguments) + " > " + path("stdout.txt"));
        EXPECT_EQ(run.exitCode, 0) << c.arguments << ": " << run.errors;
        EXPECT_EQ(run.errors, "") << c.arguments;
        const Bytes printed = readBytes(path("stdout.txt"));
        const std::string text(printed.begin(), printed.end());
        EXPECT_NE(text.find(c.mentions), std::string::npos) << c.arguments << ":\n" << text;
        if (*c.omits != '\0') {
            EXPECT_EQ(text.find(c.omits), std::string::npos) << c.arguments << ":\n" << text;
        }
    }
}

TEST_F(VelmoCommand, ErrorsAreOneLineAndLeaveNoOutput) {
    std::string error;
    ASSERT_TRUE(savePicture(path("in.png"), gradient(8, 8), error)) << error;
    {
        std::ofstream junk(path("junk.png"));
        junk << "not a picture";
    }
    struct Case {
        std::string arguments;
        int exitCode;
        const char* mentions;
    };
    const Case cases[] = {
        {"apply --config 'Config(1,2)' " + path("in.png") + " " + path("out.png"), 2, "bad settings line"},
        {"apply " + path("junk.png") + " " + path("out.png"), 1, "junk.png"},
        {"apply " + path("missing.png") + " " + path("out.png"), 1, "missing.png"},
        {"apply " + path("in.png") + " " + path("out.gif"), 1, ".png or .bmp"},
        {"apply " + path("in.png") + " " + path("no-such-folder/out.png"), 1, "out.png"},
        {"stream --size 8x8 < " + path("in.png"), 1, "short"},
    };
    for (const Case& c : cases) {
        const Outcome run = velmo(c.arguments + " > " + path("stdout.raw"));
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments;
        EXPECT_EQ(run.errors.rfind("velmo: ", 0), 0u) << run.errors;
        EXPECT_EQ(run.errors.find('\n'), run.errors.size() - 1) << "one line: " << run.errors;
        EXPECT_NE(run.errors.find(c.mentions), std::string::npos) << run.errors;
        EXPECT_FALSE(fs::exists(path("out.png"))) << c.arguments;
        EXPECT_FALSE(fs::exists(path("out.png.part"))) << c.arguments;
    }
}

}  // namespace
