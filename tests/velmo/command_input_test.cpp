// What velmo apply and velmo suggest are given to read, run as a user runs them: FIFOs, devices
// and folders refused at once, pictures without pixels refused, hostile sizes refused in a small
// address space, and 8-bit RGB through apply unchanged where the transform leaves it.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/hostile_pictures.h"
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

class CommandInput : public testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("velmo-input-test-" + std::to_string(getpid()));
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string path(const std::string& name) const { return (folder_ / name).string(); }

    // Runs the shell command, collecting its standard error; exit codes above 128 are signals.
    Outcome run(const std::string& command) const {
        const std::string errors = path("stderr.txt");
        const int status = std::system(("{ " + command + "; } 2>" + errors).c_str());
        std::ifstream file(errors);
        std::stringstream text;
        text << file.rdbuf();
        return Outcome{WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), text.str()};
    }

    static void writeBytes(const std::string& name, const std::vector<unsigned char>& bytes) {
        std::ofstream file(name, std::ios::binary);
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    fs::path folder_;
};

// A 54-byte header of an uncompressed BMP of w x h pixels at `bits` per pixel, with its rows.
std::vector<unsigned char> bmpFile(std::int32_t w, std::int32_t h, int bits) {
    const std::size_t row = (static_cast<std::size_t>(w) * static_cast<std::size_t>(bits) + 31) / 32 * 4;
    const std::size_t pixels = row * static_cast<std::size_t>(h < 0 ? -h : h);
    const std::size_t palette = bits <= 8 ? 4u << bits : 0;
    std::vector<unsigned char> bytes{'B', 'M'};
    auto put = [&bytes](std::uint32_t value, int size) {
        for (int k = 0; k < size; ++k)
            bytes.push_back(static_cast<unsigned char>(value >> (8 * k)));
    };
    put(static_cast<std::uint32_t>(54 + palette + pixels), 4);
    put(0, 4);
    put(static_cast<std::uint32_t>(54 + palette), 4);
    put(40, 4);
    put(static_cast<std::uint32_t>(w), 4);
    put(static_cast<std::uint32_t>(h), 4);
    put(1, 2);
    put(static_cast<std::uint32_t>(bits), 2);
    for (int k = 0; k < 6; ++k)
        put(0, 4);
    for (std::size_t k = 0; k < palette / 4; ++k)
        put(k == 0 ? 0u : 0xFFFFFFu, 4);
    bytes.resize(bytes.size() + pixels, 0x5A);
    return bytes;
}

// A FIFO without a writer, a device and a folder: refused at once, never waited on. `timeout`
// turns a hang into exit 124, which fails the test instead of stopping it.
TEST_F(CommandInput, RefusesWhatIsNotAFileAtOnce) {
    ASSERT_EQ(mkfifo(path("fifo.png").c_str(), 0600), 0);
    fs::create_directory(path("folder.png"));
    struct Case {
        std::string input;
        const char* mentions;
    };
    const Case cases[] = {
        {path("fifo.png"), "a FIFO (named pipe), not a file"},
        {"/dev/zero", "a character device, not a file"},
        {path("folder.png"), "a folder, not a file"},
    };
    for (const Case& c : cases)
        for (const std::string& arguments :
             {"apply " + c.input + " " + path("out.png"), "suggest " + c.input}) {
            const Outcome outcome = run("timeout 10 " + std::string(VELMO_BINARY) + " " + arguments);
            EXPECT_EQ(outcome.exitCode, 1) << arguments << ": " << outcome.errors;
            EXPECT_EQ(outcome.errors, "velmo: cannot read " + c.input + ": " + c.mentions + "\n")
                << arguments;
            EXPECT_FALSE(fs::exists(path("out.png")));
        }
}

// A BMP whose header says 0 pixels wide or high: refused when read, and nothing written (it used to
// crash the PNG writer, and give a 0 x 10 BMP).
TEST_F(CommandInput, RefusesPicturesWithoutPixels) {
    for (const auto& [name, w, h] : {std::tuple{"width-0.bmp", 0, 10}, std::tuple{"height-0.bmp", 10, 0}}) {
        writeBytes(path(name), bmpFile(w, h, 24));
        for (const char* output : {"out.png", "out.bmp"}) {
            const Outcome outcome =
                run(std::string(VELMO_BINARY) + " apply " + path(name) + " " + path(output));
            EXPECT_EQ(outcome.exitCode, 1) << name << " to " << output;
            EXPECT_EQ(outcome.errors, "velmo: cannot read " + path(name) + ": the picture has no pixels\n");
            EXPECT_FALSE(fs::exists(path(output))) << name << " to " << output;
        }
    }
}

// The files on which Debian's stb went out of bounds or followed a null pointer, through both
// commands: the JPEG refused in one line, the legal PNG read. Under the sanitizers, a report would
// add its own lines.
TEST_F(CommandInput, PicturesThatBrokeTheOldDecoderEndInOneLine) {
    using namespace hostile_pictures;
    const Picture original = randomPicture(64, 48, 9);
    writeBytes(path("overfull-huffman.jpg"), jpegWithOverfullHuffmanTable());
    writeBytes(path("split.png"), pngWithEmptyFirstImageData(original));
    for (const char* name : {"overfull-huffman.jpg", "split.png"})
        for (const std::string& arguments :
             {"apply " + path(name) + " " + path("out.png"), "suggest " + path(name) + " --frames 3"}) {
            const Outcome outcome = run(std::string(VELMO_BINARY) + " " + arguments + " >/dev/null");
            EXPECT_LT(outcome.exitCode, 2) << arguments << ": " << outcome.errors;
            if (outcome.exitCode != 0) {
                EXPECT_EQ(outcome.errors.rfind("velmo: ", 0), 0u) << outcome.errors;
                EXPECT_EQ(outcome.errors.find('\n'), outcome.errors.size() - 1)
                    << "one line: " << outcome.errors;
            }
        }
    EXPECT_NE(
        run(std::string(VELMO_BINARY) + " apply " + path("overfull-huffman.jpg") + " " + path("out.png"))
            .exitCode,
        0);
    std::string error;
    Picture read;
    ASSERT_TRUE(loadPicture(path("out.png"), read, error)) << "split.png read through apply: " << error;
    EXPECT_EQ(read.pixels, original.pixels);
}

// The largest square picture, 16384 x 16384 (a 32 MB 1-bit BMP), in a 2.5 GB address space:
// refused or read, in one line either way, never aborted.
TEST_F(CommandInput, LargestPictureInASmallAddressSpace) {
    if (kSanitized) GTEST_SKIP() << "sanitizers reserve more address space than the limit allows";
    writeBytes(path("largest.bmp"), bmpFile(16384, 16384, 1));
    for (const std::string& arguments :
         {"apply " + path("largest.bmp") + " " + path("out.png"), "suggest " + path("largest.bmp")}) {
        const Outcome outcome = run("ulimit -v 2500000; " + std::string(VELMO_BINARY) + " " + arguments);
        EXPECT_LT(outcome.exitCode, 2) << arguments << ": " << outcome.errors;
        if (outcome.exitCode != 0) {
            EXPECT_EQ(outcome.errors.rfind("velmo: ", 0), 0u) << outcome.errors;
            EXPECT_EQ(outcome.errors.find('\n'), outcome.errors.size() - 1) << "one line: " << outcome.errors;
        }
    }
}

// apply with a zone that moves nothing gives back every pixel of a PNG as it was.
TEST_F(CommandInput, ApplyKeepsEveryPixelTheTransformKeeps) {
    std::mt19937 random(5);
    Picture original{61, 33, {}};
    for (int k = 0; k < 61 * 33; ++k)
        original.pixels.push_back(random() & 0xFFFFFFu);
    std::string error;
    ASSERT_TRUE(savePicture(path("in.png"), original, error)) << error;
    const Outcome outcome = run(std::string(VELMO_BINARY) + " apply --config 'Config(1,1,1,1,0)' " +
                                path("in.png") + " " + path("out.png"));
    ASSERT_EQ(outcome.exitCode, 0) << outcome.errors;
    Picture result;
    ASSERT_TRUE(loadPicture(path("out.png"), result, error)) << error;
    EXPECT_EQ(result.pixels, original.pixels);
}

}  // namespace
