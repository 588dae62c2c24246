// velmo suggest run as a user runs it: captures made by capturegen and encoded by FFmpeg, stills,
// the preview, and the refusals, each on a small input the test makes.

#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/velmo/test_files.h"
#include "tools/capturegen/capture_model.h"
#include "velmo/image/picture.h"

namespace {

using velmo_test::Bytes;
using velmo_test::readBytes;
using velmo_test::stillWithBar;
using velmo_test::temporariesIn;
using velmo_test::writeBytes;

namespace fs = std::filesystem;

struct Outcome {
    int exitCode;
    std::string output;
    std::string errors;
};

std::string readText(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::stringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        result.push_back(line);
    return result;
}

class SuggestCommand : public testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("velmo-suggest-test-" + std::to_string(getpid()));
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string path(const std::string& name) const { return (folder_ / name).string(); }

    int shell(const std::string& command) const {
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    Outcome suggest(const std::string& arguments, const std::string& environment = "") const {
        const int code = shell(environment + " " + VELMO_BINARY + " suggest " + arguments + " >" +
                               path("stdout.txt") + " 2>" + path("stderr.txt"));
        return Outcome{code, readText(path("stdout.txt")), readText(path("stderr.txt"))};
    }

    // FFmpeg and the photographs come from tools/install-deps.sh; without them the test fails,
    // naming what is missing, rather than passing unseen. The photographs are capturegen's fixed
    // list, never whatever a folder happens to hold.
    void requireTools() const {
        ASSERT_EQ(shell("command -v ffmpeg >/dev/null && command -v ffprobe >/dev/null"), 0)
            << "ffmpeg is missing: run tools/install-deps.sh";
        for (const std::string& photo : capture::standardPhotoPaths())
            ASSERT_TRUE(fs::is_regular_file(photo))
                << photo << " is missing: run tools/install-deps.sh (package lomiri-wallpapers-16.04)";
    }

    // A capture of `frames` frames encoded by FFmpeg; returns the clip's path and the ideal margins
    // capturegen read off its two renders.
    std::string capture(const std::string& name, const std::string& recipe, const std::string& size,
                        const std::string& encoder, int frames, std::array<int, 4>& ideal) const {
        const std::string clip = path(name + ".mkv"), idealFile = path(name + ".ideal");
        const std::string command = std::string(CAPTUREGEN_BINARY) + " --size " + size + " --frames " +
                                    std::to_string(frames) + " --seed 11 --case '" + recipe + "' --ideal " +
                                    idealFile +
                                    " | ffmpeg -nostdin -loglevel error -y -f rawvideo -pix_fmt yuv444p -s " +
                                    size + " -r 25 -i - " + encoder + " " + clip;
        EXPECT_EQ(shell(command), 0) << command;
        std::stringstream numbers(readText(idealFile));
        for (int& margin : ideal)
            numbers >> margin;
        return clip;
    }

    fs::path folder_;
};

struct ClipCase {
    const char* name;
    const char* recipe;
    const char* size;
    const char* encoder;
    bool tight;  // held to tight too, not only safe
};

const ClipCase kClipCases[] = {
    {"combined", "up=bar:6,vbi:4;left=bar:12,ragged:4;right=bar:9,ragged:3;down=bar:4,hs:7", "720x576",
     "-c:v libx264 -preset veryfast -crf 18 -g 25 -pix_fmt yuv420p", false},
    {"interlaced-ntsc-422", "up=half:1;left=ragged:5;right=bar:4;down=hs:6;interlaced;tbc:1.5;chain",
     "720x480", "-c:v mpeg2video -q:v 3 -g 12 -flags +ildct+ilme -pix_fmt yuv422p", false},
    {"letterbox", "letterbox;subtitles;left=bar:8;right=bar:6", "720x576",
     "-c:v libx264 -preset veryfast -crf 18 -g 25 -pix_fmt yuv420p", false},
    {"clean", "", "720x480", "-c:v ffv1 -pix_fmt yuv422p", true},
    // Decoded losslessly, a head-switching band's slightest tear shows: its margin is held tight.
    {"head-switching-lossless", "down=bar:2,hs:7", "720x576", "-c:v ffv1 -pix_fmt yuv444p", true},
};

// Safe (no margin below the ideal; tight, none more than one above, where marked), with exactly
// one line on standard output, and on standard error a report line per side and FFmpeg's line.
TEST_F(SuggestCommand, FindsTheZoneOfGeneratedCaptures) {
    requireTools();
    for (const ClipCase& c : kClipCases) {
        std::array<int, 4> ideal{};
        const std::string clip = capture(c.name, c.recipe, c.size, c.encoder, 30, ideal);
        const Outcome run = suggest(clip + " --frames 30");
        ASSERT_EQ(run.exitCode, 0) << c.name << ": " << run.errors;
        std::array<int, 4> got{};
        int border = 0;
        char end = 0;
        ASSERT_EQ(std::sscanf(run.output.c_str(), "Config(%d,%d,%d,%d,%d)%c", &got[0], &got[1], &got[2],
                              &got[3], &border, &end),
                  6)
            << run.output;
        EXPECT_EQ(end, '\n');
        EXPECT_EQ(run.output.find('\n'), run.output.size() - 1) << "one line: " << run.output;
        EXPECT_EQ(border, 1);
        const char* sides[] = {"up", "left", "right", "down"};
        const std::vector<std::string> report = lines(run.errors);
        ASSERT_GE(report.size(), 5u) << run.errors;
        for (std::size_t side = 0; side < 4; ++side) {
            EXPECT_GE(got[side], ideal[side]) << c.name << " " << sides[side] << ": cuts into damage\n"
                                              << run.errors;
            if (c.tight) {
                EXPECT_LE(got[side], ideal[side] + 1)
                    << c.name << " " << sides[side] << ": cuts into the picture\n"
                    << run.errors;
            }
            EXPECT_EQ(report[side].rfind(std::string("  ") + sides[side] + ": ", 0), 0u) << report[side];
            EXPECT_NE(report[side].find("margin " + std::to_string(got[side]) + ";"), std::string::npos)
                << report[side];
            EXPECT_NE(report[side].find("sure"), std::string::npos) << report[side];
        }
        const std::string frei0r = "  FFmpeg: -vf \"frei0r=velmo:" + std::to_string(got[0]) + "|" +
                                   std::to_string(got[1]) + "|" + std::to_string(got[2]) + "|" +
                                   std::to_string(got[3]) + "|y\"";
        EXPECT_EQ(report.back(), frei0r) << run.errors;
    }
}

// The preview is a sampled frame with the suggested zone's outline in red, as the filter draws it.
TEST_F(SuggestCommand, PreviewShowsTheSuggestedOutline) {
    requireTools();
    std::array<int, 4> ideal{};
    capture("pre:view", kClipCases[0].recipe, "720x576", kClipCases[0].encoder, 12, ideal);
    // Given as it is, the name would be read by FFmpeg as the protocol "pre:"; it is a file.
    const Outcome run =
        suggest("pre:view.mkv --frames 6 --preview " + path("zone.png"), "cd '" + folder_.string() + "' &&");
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    int up = 0, left = 0, right = 0, down = 0;
    ASSERT_EQ(std::sscanf(run.output.c_str(), "Config(%d,%d,%d,%d,1)", &up, &left, &right, &down), 4);
    Picture preview;
    std::string error;
    ASSERT_TRUE(loadPicture(path("zone.png"), preview, error)) << error;
    ASSERT_EQ(preview.w, 720);
    ASSERT_EQ(preview.h, 576);
    EXPECT_FALSE(fs::exists(path("zone.png.part")));
    auto at = [&preview](int x, int y) { return preview.pixels[static_cast<std::size_t>(y) * 720 + x]; };
    // Margin m puts the edge line m - 1 lines in from its side.
    const int top = up - 1, bottom = 576 - down, first = left - 1, last = 720 - right;
    for (int x = first; x <= last; ++x) {
        EXPECT_EQ(at(x, top), 0xFF0000u) << "top edge, column " << x;
        EXPECT_EQ(at(x, bottom), 0xFF0000u) << "bottom edge, column " << x;
    }
    for (int y = top; y <= bottom; ++y) {
        EXPECT_EQ(at(first, y), 0xFF0000u) << "left edge, line " << y;
        EXPECT_EQ(at(last, y), 0xFF0000u) << "right edge, line " << y;
    }
    EXPECT_NE(at(first + 1, top + 1), 0xFF0000u) << "only the edge lines are drawn";
}

// A sharp black bar of 10 columns: margin 11, or 12 (tight) where the single frame leaves the
// edge's spread in doubt.
TEST_F(SuggestCommand, ReadsStills) {
    std::string error;
    ASSERT_TRUE(savePicture(path("still.png"), stillWithBar(), error)) << error;
    // The same picture under a name FFmpeg would take for a protocol: the content decides, not the name.
    ASSERT_TRUE(savePicture(path("still.bmp"), stillWithBar(), error)) << error;
    fs::rename(path("still.bmp"), path("still:copy.mkv"));
    for (const char* name : {"still.png", "still:copy.mkv"}) {
        const Outcome run = suggest(path(name));
        EXPECT_EQ(run.exitCode, 0) << name << ": " << run.errors;
        int left = 0;
        ASSERT_EQ(std::sscanf(run.output.c_str(), "Config(1,%d,1,1,1)", &left), 1)
            << name << ": " << run.output;
        EXPECT_GE(left, 11) << run.errors;
        EXPECT_LE(left, 12) << run.errors;
        EXPECT_NE(run.errors.find("  FFmpeg: -vf \"frei0r=velmo:1|" + std::to_string(left) + "|1|1|y\"\n"),
                  std::string::npos)
            << run.errors;
        EXPECT_EQ(run.errors.find("note:"), std::string::npos) << "no vertical move: " << run.errors;
    }
}

// A smooth, detailed picture with black lines at the bottom.
Picture stillWithBlackBottom(int lines) {
    Picture picture = stillWithBar();
    for (int y = 0; y < picture.h; ++y)
        for (int x = 0; x < picture.w; ++x) {
            const double level =
                120 + 50 * std::sin(x * 0.05 + y * 0.02) + 30 * std::sin(x * 0.31) * std::cos(y * 0.23);
            const Pixel32 v = y >= picture.h - lines ? 0 : static_cast<Pixel32>(level);
            picture.pixels[static_cast<std::size_t>(y) * picture.w + x] = (v << 16) | (v << 8) | (v / 2);
        }
    return picture;
}

// A zone whose line moves the picture by an odd number of lines gets a note, with a line that
// moves it by an even number and keeps the zone safe.
TEST_F(SuggestCommand, NotesAnOddVerticalMove) {
    std::string error;
    ASSERT_TRUE(savePicture(path("low.png"), stillWithBlackBottom(5), error)) << error;
    const Outcome run = suggest(path("low.png"));
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    // Five black lines at the bottom: down 6, so (6 - 1) >> 1 = 2 lines: even, no note.
    EXPECT_EQ(run.output, "Config(1,1,1,6,1)\n") << run.errors;
    EXPECT_EQ(run.errors.find("note:"), std::string::npos) << run.errors;
    ASSERT_TRUE(savePicture(path("lower.png"), stillWithBlackBottom(6), error)) << error;
    const Outcome odd = suggest(path("lower.png"));
    ASSERT_EQ(odd.exitCode, 0) << odd.errors;
    // Six lines: down 7, (7 - 1) >> 1 = 3, odd; down 9 makes it 4.
    EXPECT_EQ(odd.output, "Config(1,1,1,7,1)\n") << odd.errors;
    EXPECT_NE(odd.errors.find("note: this line moves the picture 3 lines down, an odd number"),
              std::string::npos)
        << odd.errors;
    EXPECT_NE(odd.errors.find("Config(1,1,1,9,1) moves it by an even number"), std::string::npos)
        << odd.errors;
}

TEST_F(SuggestCommand, HelpGoesToStandardOutput) {
    const Outcome run = suggest("--help");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output.rfind("usage: velmo suggest IN [--frames N] [--stream N] [--preview OUT.png]\n", 0),
              0u)
        << run.output;
    EXPECT_TRUE(run.errors.empty());
}

struct RefusalCase {
    std::string arguments;
    std::string environment;
    int exitCode;
    std::string mentions;
};

// Refusals: one line on standard error naming the cause, a nonzero exit, nothing on standard
// output, and no preview, whole or partial.
TEST_F(SuggestCommand, RefusesWithOneLineAndWritesNothing) {
    requireTools();
    std::ofstream(path("empty.mkv")).close();
    {
        std::ofstream junk(path("junk.mkv"), std::ios::binary);
        for (int k = 0; k < 4096; ++k)
            junk.put(static_cast<char>((k * 7919) % 251));
    }
    ASSERT_EQ(shell("ffmpeg -nostdin -loglevel error -f lavfi -i sine=duration=1 " + path("tone.wav")), 0);
    ASSERT_EQ(shell("ffmpeg -nostdin -loglevel error -f lavfi -i color=black:size=320x240:duration=2 "
                    "-pix_fmt yuv420p " +
                    path("black.mkv")),
              0);
    std::string error;
    Picture black;
    black.w = 64, black.h = 64;
    black.pixels.assign(64 * 64, 0x020202u);
    ASSERT_TRUE(savePicture(path("black.png"), black, error)) << error;
    Picture tiny = stillWithBar();
    tiny.w = 8, tiny.h = 8, tiny.pixels.resize(64);
    ASSERT_TRUE(savePicture(path("tiny.png"), tiny, error)) << error;
    ASSERT_TRUE(savePicture(path("still.png"), stillWithBar(), error)) << error;
    // A clip cut off after a tenth of its bytes: its header still promises all 8 seconds.
    ASSERT_EQ(shell("ffmpeg -nostdin -loglevel error -f lavfi -i testsrc2=size=320x240:rate=25:duration=8 "
                    "-c:v mjpeg -q:v 3 " +
                    path("whole.mkv") + " && head -c $(( $(stat -c %s " + path("whole.mkv") + ") / 10 )) " +
                    path("whole.mkv") + " > " + path("cut.mkv")),
              0);

    const std::string preview = " --preview " + path("zone.png");
    const RefusalCase cases[] = {
        {path("empty.mkv") + preview, "", 1, "empty"},
        {path("junk.mkv") + preview, "", 1, "cannot read"},
        {path("missing.mkv") + preview, "", 1, "No such file"},
        {path("tone.wav") + preview, "", 1, "no video stream"},
        {path("black.mkv") + preview, "", 1, "black"},
        {path("black.png") + preview, "", 1, "black"},
        {path("tiny.png") + preview, "", 1, "too small"},
        {path("cut.mkv") + " --frames 20" + preview, "", 1, "sampled frames could be decoded"},
        {path("still.png") + " --frames 0" + preview, "", 2, "frame count"},
        {path("still.png") + " --frames 501" + preview, "", 2, "frame count"},
        {path("still.png") + " --frames 12x" + preview, "", 2, "frame count"},
        {path("still.png") + " --frames", "", 2, "needs a value"},
        {path("still.png") + " --sideways" + preview, "", 2, "unknown option"},
        {path("still.png") + " " + path("still.png") + preview, "", 2, "one input"},
        {preview, "", 2, "needs an input"},
        {path("still.png") + " --preview " + path("zone.gif"), "", 2, ".png or .bmp"},
        {path("still.png") + " --preview " + path("no-folder/zone.png"), "", 1, "zone.png"},
    };
    for (const RefusalCase& c : cases) {
        const Outcome run = suggest(c.arguments, c.environment);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments << "\n" << run.errors;
        EXPECT_TRUE(run.output.empty()) << c.arguments << ": " << run.output;
        EXPECT_EQ(run.errors.rfind("velmo: ", 0), 0u) << run.errors;
        EXPECT_EQ(run.errors.find('\n'), run.errors.size() - 1) << "one line: " << run.errors;
        EXPECT_NE(run.errors.find(c.mentions), std::string::npos) << c.arguments << ": " << run.errors;
        EXPECT_FALSE(fs::exists(path("zone.png"))) << c.arguments;
        EXPECT_FALSE(fs::exists(path("zone.png.part"))) << c.arguments;
        EXPECT_FALSE(fs::exists(path("no-folder/zone.png.part"))) << c.arguments;
    }
}

// SIGTERM mid-run: velmo exits with 143, the preview it was to replace is as it was, no temporary is
// left, and nothing it started keeps running.
TEST_F(SuggestCommand, AnInterruptionLeavesNothingBehind) {
    ASSERT_EQ(shell("command -v ffmpeg >/dev/null"), 0) << "ffmpeg is missing: run tools/install-deps.sh";
    // Every frame of a short clip is read: a couple of seconds of decoding to interrupt.
    const std::string clip = path("long.mkv");
    ASSERT_EQ(shell("ffmpeg -nostdin -loglevel error -f lavfi -i testsrc2=size=1920x1080:rate=25:duration=12 "
                    "-c:v ffv1 -pix_fmt yuv422p " +
                    clip),
              0);
    const Bytes oldPreview{'o', 'l', 'd'};
    writeBytes(path("zone.png"), oldPreview);
    // Orphans come back to this process, so the test sees whether any outlives velmo.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    const std::vector<std::string> command{VELMO_BINARY, "suggest",       clip, "--frames", "300",
                                           "--preview",  path("zone.png")};
    std::vector<char*> argv;
    for (const std::string& word : command)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
    // Mid-run: once its preview's temporary exists, and a little later, while it decodes.
    const auto start = std::chrono::steady_clock::now();
    while (temporariesIn(folder_).empty() &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(5))
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGTERM) << "status " << status;
    EXPECT_EQ(readBytes(path("zone.png")), oldPreview);
    EXPECT_TRUE(temporariesIn(folder_).empty());

    // No child outlives velmo: none is left for this process to reap.
    int running = 0;
    for (pid_t reaped; (reaped = waitpid(-1, nullptr, WNOHANG)) > 0;)
        ++running;
    std::stringstream left(readText("/proc/self/task/" + std::to_string(gettid()) + "/children"));
    for (pid_t orphan; left >> orphan; ++running)
        kill(orphan, SIGKILL);
    while (waitpid(-1, nullptr, 0) > 0) {
    }
    prctl(PR_SET_CHILD_SUBREAPER, 0);
    EXPECT_EQ(running, 0) << "children of velmo still running after it was ended";
}

}  // namespace
