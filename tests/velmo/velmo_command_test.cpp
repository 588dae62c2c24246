// velmo run as a user runs it: pictures in and out, and the one-line errors.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "stb_image_write.h"
#include "tests/velmo/test_files.h"
#include "velmo/image/picture.h"

namespace {

using namespace velmo_test;

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

class VelmoCommand : public testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("velmo-test-" + std::to_string(getpid()));
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string path(const std::string& name) const { return (folder_ / name).string(); }

    // Runs velmo with exactly these arguments (no shell), standard input from `input` (or
    // /dev/null) and standard output to `output` (or a file of the folder's).
    Outcome run(std::vector<std::string> arguments, const std::string& input = "",
                const std::string& output = "") const {
        arguments.insert(arguments.begin(), velmoBinary());
        const pid_t pid =
            startProgram(arguments, input, output.empty() ? path("stdout.txt") : output, path("stderr.txt"));
        const int status = exitStatus(waitFor(pid));
        return Outcome{status, readText(path("stderr.txt"))};
    }

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
        {"stream --size 8x8 < /dev/null", 1, "no frames: standard input ended before the first one"},
        {"crop a b", 2, "unknown command \"crop\": expected fix, apply, stream or suggest"},
        {"", 2, "no command"},
    };
    for (const Case& c : cases) {
        const Outcome run = velmo(c.arguments + " > " + path("stdout.raw"));
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments;
        if (c.arguments.empty()) {  // the overview comes first, on standard error
            EXPECT_NE(
                run.errors.find(
                    "\nvelmo: no command: expected fix, apply, stream or suggest (velmo --help shows how)\n"),
                std::string::npos)
                << run.errors;
            continue;
        }
        EXPECT_EQ(run.errors.rfind("velmo: ", 0), 0u) << run.errors;
        EXPECT_EQ(run.errors.find('\n'), run.errors.size() - 1) << "one line: " << run.errors;
        EXPECT_NE(run.errors.find(c.mentions), std::string::npos) << run.errors;
        EXPECT_FALSE(fs::exists(path("out.png"))) << c.arguments;
        EXPECT_FALSE(fs::exists(path("out.png.part"))) << c.arguments;
    }
}

// A pipe whose first program failed gives velmo stream nothing: the pipe fails too.
TEST_F(VelmoCommand, APipeWhoseFirstProgramFailedFails) {
    const Outcome run =
        velmo("false | " + velmoBinary() + " stream --size 720x576 > " + path("out.raw"), true);
    EXPECT_EQ(run.exitCode, 1) << run.errors;
    EXPECT_NE(run.errors.find("no frames"), std::string::npos) << run.errors;
}

TEST_F(VelmoCommand, NeverWritesOverItsInput) {
    std::string error;
    ASSERT_TRUE(savePicture(path("in.png"), gradient(20, 30), error)) << error;
    fs::create_directory(path("sub"));
    fs::create_symlink("in.png", path("link.png"));
    fs::create_hard_link(path("in.png"), path("sub/hard.png"));
    const Bytes input = readBytes(path("in.png"));
    struct Case {
        const char* what;
        std::vector<std::string> arguments;
        std::string shownOutput;  // as the message names it
    };
    const Case cases[] = {
        {"the same path", {"apply", path("in.png"), path("in.png")}, path("in.png")},
        {"another spelling of it", {"apply", path("in.png"), path("sub/../in.png")}, path("sub/../in.png")},
        {"a symbolic link to it", {"apply", path("in.png"), path("link.png")}, path("link.png")},
        {"the input through a link", {"apply", path("link.png"), path("in.png")}, path("in.png")},
        {"a hard link to it",
         {"apply", "--show-frame", path("in.png"), path("sub/hard.png")},
         path("sub/hard.png")},
        {"the preview over the input",
         {"suggest", path("in.png"), "--preview", path("in.png")},
         path("in.png")},
        {"the preview through a link",
         {"suggest", path("in.png"), "--preview", path("link.png")},
         path("link.png")},
    };
    const std::vector<std::string> before = namesIn(folder_);
    for (const Case& c : cases) {
        const Outcome run = this->run(c.arguments);
        EXPECT_EQ(run.exitCode, 1) << c.what << ": " << run.errors;
        EXPECT_EQ(run.errors, "velmo: cannot write " + c.shownOutput + ": it is the input file " +
                                  c.arguments[c.arguments[0] == "suggest" ? 1 : c.arguments.size() - 2] +
                                  " (the output must be another file)\n")
            << c.what;
        EXPECT_EQ(readBytes(path("in.png")), input) << c.what;
        EXPECT_EQ(temporariesIn(folder_), std::vector<std::string>{}) << c.what;
    }
    EXPECT_EQ(namesIn(folder_).size(), before.size() + 2) << "stdout.txt and stderr.txt, nothing else";
    EXPECT_TRUE(fs::is_symlink(path("link.png")));
}

TEST_F(VelmoCommand, AReplacedOutputKeepsItsModeAndALinkedOutputWritesItsTarget) {
    std::string error;
    ASSERT_TRUE(savePicture(path("in.png"), stillWithBar(), error)) << error;
    struct Case {
        const char* what;
        std::vector<std::string> arguments;
        const char* given;    // the output named on the command line
        const char* written;  // the file that receives the picture
        bool isLink;
    };
    const Case cases[] = {
        {"apply over a file of mode 0600",
         {"apply", path("in.png"), path("private.png")},
         "private.png",
         "private.png",
         false},
        {"apply through a link", {"apply", path("in.png"), path("link.bmp")}, "link.bmp", "target.bmp", true},
        {"the preview through a link",
         {"suggest", path("in.png"), "--preview", path("view.png")},
         "view.png",
         "view-target.png",
         true},
    };
    for (const Case& c : cases) {
        writeBytes(path(c.written), {'o', 'l', 'd'});
        chmod(path(c.written).c_str(), 0600);
        if (c.isLink) fs::create_symlink(c.written, path(c.given));
        const Outcome run = this->run(c.arguments);
        EXPECT_EQ(run.exitCode, 0) << c.what << ": " << run.errors;
        Picture written;
        EXPECT_TRUE(loadPicture(path(c.written), written, error)) << c.what << ": " << error;
        EXPECT_EQ(written.w, 400) << c.what;
        EXPECT_EQ(fs::status(path(c.written)).permissions(), fs::perms::owner_read | fs::perms::owner_write)
            << c.what;
        EXPECT_EQ(fs::is_symlink(path(c.given)), c.isLink) << c.what;
        EXPECT_EQ(temporariesIn(folder_), std::vector<std::string>{}) << c.what;
    }
}

// Help, version and every line meant for standard output: a write that fails is an error.
TEST_F(VelmoCommand, WritingToStandardOutputIsChecked) {
    std::string error;
    ASSERT_TRUE(savePicture(path("still.png"), stillWithBar(), error)) << error;
    const std::vector<std::vector<std::string>> commands = {
        {"--help"},           {"-h"},
        {"--version"},        {"apply", "--help"},
        {"stream", "--help"}, {"suggest", "--help"},
        {"apply", "-h", "a"}, {"suggest", path("still.png")},
    };
    for (const std::vector<std::string>& arguments : commands) {
        const Outcome fine = run(arguments);
        EXPECT_EQ(fine.exitCode, 0) << arguments[0] << ": " << fine.errors;
        EXPECT_FALSE(readText(path("stdout.txt")).empty()) << arguments[0];

        const Outcome full = run(arguments, "", "/dev/full");
        EXPECT_EQ(full.exitCode, 1) << arguments[0];
        EXPECT_TRUE(
            full.errors.ends_with("velmo: cannot write to standard output: No space left on device\n"))
            << arguments[0] << ": " << full.errors;
    }
    // A closed standard output, as `velmo --help >&-` leaves it.
    const Outcome closed = velmo("--version >&-");
    EXPECT_EQ(closed.exitCode, 1);
    EXPECT_EQ(closed.errors, "velmo: cannot write to standard output: Bad file descriptor\n");
    // Stream's frames too.
    writeBytes(path("frame.raw"), Bytes(8 * 8 * 4, 0x40));
    const Outcome stream = run({"stream", "--size", "8x8"}, path("frame.raw"), "/dev/full");
    EXPECT_EQ(stream.exitCode, 1);
    EXPECT_EQ(stream.errors, "velmo: cannot write the output: No space left on device\n");
}

TEST_F(VelmoCommand, OddNamesStayOnOneLineAndDoubleDashEndsTheOptions) {
    std::string error;
    const std::string odd = "in\nnew\x1B[2Jline.png";
    ASSERT_TRUE(savePicture(path(odd), gradient(20, 30), error)) << error;
    ASSERT_TRUE(savePicture(path("-dash.png"), gradient(20, 30), error)) << error;
    const std::string quotedFolder = folder_.string();  // plain, as the test made it

    struct Case {
        const char* what;
        std::vector<std::string> arguments;
        int exitCode;
        std::string errors;
        const char* written;  // the output that must exist afterwards, if any
    };
    const Case cases[] = {
        {"a missing input with a newline",
         {"apply", path("missing\n.png"), path("out.png")},
         1,
         "velmo: cannot open \"" + quotedFolder + "/missing\\n.png\": No such file or directory\n",
         nullptr},
        {"an output in a missing folder with a control character",
         {"apply", path(odd), path("no\tfolder/out.png")},
         1,
         "velmo: cannot create \"" + quotedFolder + "/no\\tfolder/out.png\": No such file or directory\n",
         nullptr},
        {"odd names that work", {"apply", path(odd), path("out\nput.png")}, 0, "", "out\nput.png"},
        {"options before --",
         {"apply", "--show-frame", "--", path("-dash.png"), path("-out.png")},
         0,
         "",
         "-out.png"},
        {"a name like an option without --",
         {"apply", "-dash.png", "out.png"},
         2,
         "velmo: unknown option \"-dash.png\" (velmo apply --help shows how)\n",
         nullptr},
        {"an odd unknown option",
         {"apply", "--c\nonfig", "a", "b"},
         2,
         "velmo: unknown option \"--c\\nonfig\" (velmo apply --help shows how)\n",
         nullptr},
    };
    for (const Case& c : cases) {
        const Outcome run = this->run(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.what << ": " << run.errors;
        EXPECT_EQ(run.errors, c.errors) << c.what;
        if (c.written != nullptr) {
            EXPECT_TRUE(fs::exists(path(c.written))) << c.what;
        }
    }
}

// A large picture, so that velmo is still at work when the signal comes.
Picture noise(std::int32_t w, std::int32_t h) {
    Picture picture{w, h, std::vector<Pixel32>(static_cast<std::size_t>(w) * static_cast<std::size_t>(h))};
    std::mt19937 random(7);
    for (Pixel32& pixel : picture.pixels)
        pixel = random() & 0xFFFFFFu;
    return picture;
}

TEST_F(VelmoCommand, AnInterruptedRunLeavesTheOldOutputAndNothingElse) {
    std::string error;
    ASSERT_TRUE(savePicture(path("big.bmp"), noise(2048, 2048), error)) << error;
    for (const int signal : {SIGTERM, SIGINT}) {
        const Bytes old{'o', 'l', 'd'};
        writeBytes(path("out.png"), old);
        chmod(path("out.png").c_str(), 0600);
        const pid_t pid = startProgram({velmoBinary(), "apply", path("big.bmp"), path("out.png")}, "", "",
                                       path("stderr.txt"));
        // Mid-run: once the temporary exists.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (temporariesIn(folder_).empty() && std::chrono::steady_clock::now() < deadline &&
               waitpid(pid, nullptr, WNOHANG) == 0)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        ASSERT_EQ(temporariesIn(folder_).size(), 1u) << "velmo ended before the signal, or never wrote";
        kill(pid, signal);
        EXPECT_EQ(exitStatus(waitFor(pid)), 128 + signal) << strsignal(signal);
        EXPECT_EQ(temporariesIn(folder_), std::vector<std::string>{}) << strsignal(signal);
        EXPECT_EQ(readBytes(path("out.png")), old) << strsignal(signal);
        EXPECT_EQ(fs::status(path("out.png")).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    }
}

}  // namespace
