// velmo fix's outputs and refusals, run as a user runs it: what it refuses (with one line, a status
// and nothing written), where it writes, what it skips, --dry-run, the zone the finder finds, the
// progress line, a full disk and an interruption mid-file.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "tests/velmo/fix_files.h"

namespace {

using namespace velmo_test;

constexpr char kSmallClip[] = "-f lavfi -i testsrc2=size=160x120:rate=25:duration=0.2 ";
constexpr char kSound[] = "-f lavfi -i sine=r=48000:d=0.2 ";
constexpr char kConfig[] = "Config(4,6,2,8,1)";
// The same line for a shell command.
constexpr char kQuotedConfig[] = "\"Config(4,6,2,8,1)\"";

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class FixOutputs : public FixFiles {
protected:
    std::string makeClip(const std::string& name,
                         const std::string& codec = "-c:v ffv1 -c:a pcm_s16le") const {
        return make(name, std::string(kSmallClip) + kSound + codec);
    }
};

struct Refusal {
    const char* name;
    const char* setup;  // ffmpeg's arguments for in.* (empty: the test writes the file)
    const char* input;
    std::vector<std::string> arguments;
    const char* message;
};

// Inputs velmo fix refuses with one line and status 1, writing nothing.
const Refusal kRefusals[] = {
    {"AudioOnly",
     "-f lavfi -i sine=r=48000:d=0.2 -c:a pcm_s16le",
     "in.mka",
     {},
     "the file has no video stream"},
    {"Empty", "", "in.mkv", {}, "the file is empty"},
    {"NotAVideo", "", "in.txt", {}, "not a video or picture FFmpeg reads"},
    {"CutOffMatroska",
     "-f lavfi -i testsrc2=size=160x120:rate=25:duration=2 -f lavfi -i sine=r=48000:d=2 -c:v ffv1 -c:a "
     "pcm_s16le",
     "in.mkv",
     {},
     "ends early or is damaged"},
    {"CutOffTransportStream",
     "-f lavfi -i testsrc2=size=160x120:rate=25:duration=2 -c:v mpeg2video -b:v 2M",
     "in.ts",
     {},
     "cannot read in.ts"},
    {"SubtitlesMatroskaCannotHold",
     "-f lavfi -i testsrc2=size=160x120:rate=25:duration=0.2 -i subs.srt -map 0 -map 1 -c:v libx264 -c:s "
     "mov_text",
     "in.mp4",
     {},
     "stream 1 (subtitle, mov_text) cannot go into Matroska as it is"},
    {"EncoderThatCannotTakeTheFormat",
     "-f lavfi -i testsrc2=size=720x480:rate=30000/1001:duration=0.1 -pix_fmt yuv411p -c:v dvvideo",
     "in.avi",
     {"--codec", "libx264"},
     "the encoder libx264 cannot take pixel format yuv411p"},
    {"TwoVideoStreamsUnchosen",
     "-f lavfi -i testsrc2=size=160x120:rate=25:duration=0.2 -f lavfi -i "
     "testsrc2=size=80x60:rate=25:duration=0.2 "
     "-map 0 -map 1 -c:v ffv1",
     "in.mkv",
     {},
     "choose one with --stream N"},
    {"NoSuchStream", "-f lavfi -i testsrc2=size=160x120:rate=25:duration=0.2 -c:v ffv1", "in.mkv",
     std::vector<std::string>{"--stream", "3"}, "there is no stream 3"},
};

class FixRefuses : public FixOutputs, public testing::WithParamInterface<Refusal> {};

TEST_P(FixRefuses, WithOneLineAndStatusOneWritingNothing) {
    const Refusal& r = GetParam();
    if (std::string(r.setup).empty()) {
        writeText(r.input, std::string(r.input) == "in.txt" ? "not a video\n" : "");
    } else {
        make(r.input, r.setup);
    }
    if (std::string(r.name).rfind("CutOff", 0) == 0) {
        const Bytes whole = readBytes(path(r.input));
        writeBytes(path(r.input),
                   Bytes(whole.begin(), whole.begin() + static_cast<long>(whole.size() * 6 / 10)));
    }
    std::vector<std::string> arguments = {r.input, "--config", kConfig};
    arguments.insert(arguments.end(), r.arguments.begin(), r.arguments.end());
    const std::vector<std::string> before = filesBesides({});
    const Outcome outcome = fix(arguments);
    EXPECT_EQ(outcome.exitCode, 1) << outcome.errors;
    EXPECT_TRUE(contains(outcome.errors, r.message)) << outcome.errors;
    EXPECT_EQ(linesOf(outcome.errors).size(), 1u) << outcome.errors;
    EXPECT_EQ(outcome.output, "");
    EXPECT_EQ(filesBesides({}), before) << "something was written";
}

INSTANTIATE_TEST_SUITE_P(Inputs, FixRefuses, testing::ValuesIn(kRefusals),
                         [](const testing::TestParamInfo<Refusal>& info) {
                             return std::string(info.param.name);
                         });

struct UsageCase {
    std::vector<std::string> arguments;
    const char* message;
};

TEST_F(FixOutputs, ACommandLineThatMakesNoSenseIsRefusedWithStatusTwoBeforeAnyWork) {
    makeClip("a.mkv");
    makeClip("b.mkv");
    fs::create_directories(path("x"));
    fs::create_directories(path("y"));
    makeClip("x/same.mkv");
    makeClip("y/same.mov", "-c:v ffv1 -c:a pcm_s16le");
    const UsageCase cases[] = {
        {{}, "fix needs at least one input video"},
        {{"a.mkv", "b.mkv", "-o", "out.mkv"},
         "-o names the output of one input; for 2 inputs give --out-dir DIR"},
        {{"a.mkv", "-o", "out.mkv", "--out-dir", "x"}, "give either -o OUT or --out-dir DIR, not both"},
        {{"a.mkv", "-o", "out.mp4"}, "velmo fix writes Matroska: name the output .mkv"},
        {{"a.mkv", "--codec", "nosuch"}, "FFmpeg has no encoder named \"nosuch\""},
        {{"a.mkv", "--codec", "aac"}, "\"aac\" is not a video encoder"},
        {{"a.mkv", "--codec-option", "nosuch=1"}, "the encoder ffv1 has no option \"nosuch\""},
        {{"a.mkv", "--codec-option", "level=banana"}, "the encoder ffv1 does not take level=banana"},
        {{"a.mkv", "--codec-option", "crf"}, "--codec-option needs KEY=VALUE"},
        {{"a.mkv", "--config", "Config(1,2)"}, "bad settings line"},
        {{"a.mkv", "--stream", "-1"}, "--stream needs a whole number from 0"},
        {{"x/same.mkv", "y/same.mov", "--out-dir", "."}, "would both be written to"},
        {{"a.mkv", "--preview", "p.png"}, "--preview is for suggest, not fix"},
    };
    const std::vector<std::string> before = filesBesides({});
    for (const UsageCase& c : cases) {
        const Outcome outcome = fix(c.arguments);
        EXPECT_EQ(outcome.exitCode, 2) << c.message << "\n" << outcome.errors;
        EXPECT_TRUE(contains(outcome.errors, c.message)) << outcome.errors;
        EXPECT_TRUE(contains(outcome.errors, "(velmo fix --help shows how)")) << outcome.errors;
        EXPECT_EQ(linesOf(outcome.errors).size(), 1u) << outcome.errors;
    }
    EXPECT_EQ(filesBesides({}), before) << "something was written";
}

TEST_F(FixOutputs, HelpShowsTheInterface) {
    const Outcome outcome = fix({"--help"});
    EXPECT_EQ(outcome.exitCode, 0);
    for (const char* part : {"velmo fix IN... [-o OUT | --out-dir DIR] [--config LINE] [--codec ENCODER]",
                             "[--codec-option KEY=VALUE]... [--stream N] [--overwrite] [--dry-run]",
                             "-o, --output OUT", "--out-dir DIR", "--config LINE", "--codec ENCODER",
                             "--codec-option KEY=VALUE", "--stream N", "--overwrite", "--dry-run"})
        EXPECT_TRUE(contains(outcome.output, part)) << part << "\n" << outcome.output;
}

TEST_F(FixOutputs, WritesBesideTheInputIntoAFolderOrAsNamedAndOneLineEach) {
    makeClip("capture.avi", "-c:v ffv1 -c:a pcm_s16le");
    Outcome outcome = fix({"capture.avi", "--config", kConfig});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.errors;
    EXPECT_TRUE(fs::is_regular_file(path("capture.fixed.mkv")));
    EXPECT_EQ(linesOf(outcome.output).size(), 1u);
    EXPECT_TRUE(
        contains(outcome.output,
                 "capture.avi -> capture.fixed.mkv: Config(4,6,2,8,1) (FFmpeg: frei0r=velmo:4|6|2|8|y); 5 "
                 "frames in "))
        << outcome.output;

    outcome = fix({"--config", kConfig, "capture.avi", "-o", "named.MKV"});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.errors;
    EXPECT_TRUE(fs::is_regular_file(path("named.MKV")));

    fs::create_directories(path("out"));
    makeClip("second.mov", "-c:v ffv1 -c:a pcm_s16le");
    outcome = fix({"capture.avi", "second.mov", "--out-dir", "out", "--config", kConfig});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.errors;
    EXPECT_EQ(namesIn(path("out")), (std::vector<std::string>{"capture.mkv", "second.mkv"}));
    EXPECT_EQ(linesOf(outcome.output).size(), 2u) << outcome.output;
    EXPECT_TRUE(temporariesIn(folder_).empty());
    EXPECT_TRUE(temporariesIn(path("out")).empty());
}

TEST_F(FixOutputs, AFailingInputDoesNotStopTheOthersAndTheStatusSaysSo) {
    makeClip("a.mkv");
    writeText("broken.mkv", "");
    makeClip("c.mov");
    fs::create_directories(path("out"));
    const Outcome outcome = fix({"a.mkv", "broken.mkv", "c.mov", "--out-dir", "out", "--config", kConfig});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(namesIn(path("out")), (std::vector<std::string>{"a.mkv", "c.mkv"}));
    EXPECT_EQ(linesOf(outcome.output).size(), 2u) << outcome.output;
    EXPECT_TRUE(contains(outcome.errors, "velmo: cannot read broken.mkv: the file is empty"))
        << outcome.errors;
    EXPECT_TRUE(contains(outcome.errors, "velmo: 1 of 3 files failed")) << outcome.errors;
}

TEST_F(FixOutputs, AnOutputThatIsThereIsWholeAndSkippedUnlessOverwritten) {
    makeClip("a.mkv");
    ASSERT_EQ(fix({"a.mkv", "--config", kConfig}).exitCode, 0);
    const Bytes first = readBytes(path("a.fixed.mkv"));
    chmod(path("a.fixed.mkv").c_str(), 0600);

    // A rerun over the folder: the input's fixed file is there, and is no input of its own.
    Outcome outcome = fix({"a.mkv", "a.fixed.mkv", "--config", "Config(1,1,1,1,0)"});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.errors;
    EXPECT_TRUE(contains(outcome.output,
                         "a.mkv -> a.fixed.mkv: there already, whole; skipped (--overwrite replaces it)"))
        << outcome.output;
    EXPECT_TRUE(contains(outcome.output, "a.fixed.mkv: skipped: it is the fixed file of a.mkv"))
        << outcome.output;
    EXPECT_EQ(readBytes(path("a.fixed.mkv")), first);
    EXPECT_EQ(filesBesides({}),
              (std::vector<std::string>{"a.fixed.mkv", "a.mkv", "chapters.txt", "notes.txt", "subs.srt"}));

    outcome = fix({"a.mkv", "--config", "Config(1,1,1,1,0)", "--overwrite"});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.errors;
    EXPECT_NE(readBytes(path("a.fixed.mkv")), first);
    struct stat status {};
    ASSERT_EQ(stat(path("a.fixed.mkv").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u) << "the replaced file keeps its permissions";
    EXPECT_TRUE(temporariesIn(folder_).empty());
}

TEST_F(FixOutputs, NeverWritesOverItsInputByNameLinkOrHardLink) {
    makeClip("in.mkv");
    const Bytes original = readBytes(path("in.mkv"));
    fs::create_symlink("in.mkv", path("link.mkv"));
    fs::create_hard_link(path("in.mkv"), path("hard.mkv"));
    for (const std::vector<std::string>& arguments : {std::vector<std::string>{"in.mkv", "-o", "in.mkv"},
                                                      {"in.mkv", "-o", "./in.mkv", "--overwrite"},
                                                      {"in.mkv", "-o", "link.mkv", "--overwrite"},
                                                      {"in.mkv", "-o", "hard.mkv", "--overwrite"},
                                                      {"in.mkv", "--out-dir", ".", "--overwrite"}}) {
        std::vector<std::string> withZone = arguments;
        withZone.insert(withZone.end(), {"--config", kConfig});
        const Outcome outcome = fix(withZone);
        EXPECT_EQ(outcome.exitCode, 1) << arguments[2];
        EXPECT_TRUE(contains(outcome.errors, "it is the input file in.mkv")) << outcome.errors;
        EXPECT_EQ(readBytes(path("in.mkv")), original);
    }
    EXPECT_TRUE(temporariesIn(folder_).empty());
}

TEST_F(FixOutputs, DryRunReadsFindsTheZoneAndSaysWhatItWouldWriteWritingNothing) {
    make("border.mkv",
         "-f lavfi -i 'testsrc2=size=320x240:rate=25:duration=0.4,pad=340:256:12:6:black' -c:v ffv1");
    makeClip("given.mkv");
    // The zone is the finder's (its own tests hold it); here, that the dry run reports it as it would write.
    const std::string suggested = output(std::string(VELMO_BINARY) + " suggest border.mkv 2>/dev/null");
    ASSERT_EQ(linesOf(suggested).size(), 1u);
    const std::vector<std::string> before = filesBesides({});
    Outcome outcome = fix({"border.mkv", "given.mkv", "--dry-run"});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.errors;
    EXPECT_EQ(filesBesides({}), before);
    EXPECT_TRUE(contains(outcome.output, "border.mkv -> border.fixed.mkv: " + linesOf(suggested)[0] +
                                             " (FFmpeg: frei0r=velmo:"))
        << outcome.output;
    EXPECT_TRUE(contains(
        outcome.output,
        "|y); would write about 10 frames of 340 x 256 yuv420p with ffv1 (dry run: nothing written)"))
        << outcome.output;
    EXPECT_TRUE(contains(outcome.errors, "  up: ")) << "the finder's report";

    outcome = fix({"given.mkv", "--dry-run", "--config", kConfig, "--codec", "libx264"});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.errors;
    EXPECT_TRUE(contains(outcome.output, "Config(4,6,2,8,1)")) << outcome.output;
    EXPECT_TRUE(contains(outcome.output, "with libx264 (dry run: nothing written)")) << outcome.output;
    EXPECT_EQ(filesBesides({}), before);
}

TEST_F(FixOutputs, WithoutAConfigTheZoneIsTheOneSuggestFindsAndADeclineWritesNothing) {
    make("border.mkv",
         "-f lavfi -i 'testsrc2=size=320x240:rate=25:duration=0.4,pad=340:256:12:6:black' -c:v ffv1");
    const std::string suggested = output(std::string(VELMO_BINARY) + " suggest border.mkv 2>/dev/null");
    ASSERT_EQ(linesOf(suggested).size(), 1u);
    const Outcome outcome = fix({"border.mkv"});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.errors;
    EXPECT_TRUE(
        contains(outcome.output, "border.mkv -> border.fixed.mkv: " + linesOf(suggested)[0] + " (FFmpeg: "))
        << outcome.output << " / " << suggested;
    for (const char* side : {"  up: ", "  left: ", "  right: ", "  down: "})
        EXPECT_TRUE(contains(outcome.errors, side)) << outcome.errors;

    make("black.mkv", "-f lavfi -i color=black:size=320x240:rate=25:duration=0.4 -c:v ffv1");
    const Outcome declined = fix({"black.mkv"});
    EXPECT_EQ(declined.exitCode, 1);
    EXPECT_TRUE(contains(declined.errors, "every sampled frame is black")) << declined.errors;
    EXPECT_FALSE(fs::exists(path("black.fixed.mkv")));
}

TEST_F(FixOutputs, ShowsProgressOnATerminalOnly) {
    makeClip("a.mkv");
    Outcome outcome = fix({"a.mkv", "--config", kConfig});
    EXPECT_FALSE(contains(outcome.errors, "frames/s")) << "progress with no terminal";
    ASSERT_EQ(shell("command -v script >/dev/null"), 0) << "script (util-linux) gives the terminal";
    const std::string shown = output(std::string("script -qec '") + VELMO_BINARY +
                                     " fix a.mkv --overwrite --config " + kQuotedConfig + "' /dev/null");
    EXPECT_TRUE(contains(shown, "velmo: 5 frames, 100 %, ")) << shown;
    EXPECT_TRUE(contains(shown, " frames/s")) << shown;
}

// A full disk: a tmpfs of 256 kB in a mount namespace of the test's own, holding an old output.
TEST_F(FixOutputs, AFullDiskLeavesTheOldOutputAndNoTemporary) {
    if (getuid() != 0 || shell("unshare --mount true 2>/dev/null") != 0)
        GTEST_SKIP() << "NOT RUN: a full disk needs root and mount namespaces (a tmpfs mounted for the test)";
    make("big.mkv",
         "-f lavfi -i testsrc2=size=720x576:rate=25:duration=1 -f lavfi -i sine=r=48000:d=1 "
         "-c:v ffv1 -c:a pcm_s16le");
    fs::create_directories(path("disk"));
    const std::string script =
        std::string("mount -t tmpfs -o size=256k velmo-fix-test disk && printf old >disk/out.mkv && { ") +
        VELMO_BINARY + " fix big.mkv -o disk/out.mkv --overwrite --config " + kQuotedConfig +
        " 2>errors.txt; echo $? >status.txt; }; ls -A disk >left.txt; cat disk/out.mkv >old.txt";
    ASSERT_EQ(shell("unshare --mount --propagation private sh -c '" + script + "'"), 0);
    EXPECT_EQ(readText(path("status.txt")), "1\n");
    const std::string errors = readText(path("errors.txt"));
    EXPECT_TRUE(contains(errors, "velmo: cannot write disk/out.mkv: No space left on device")) << errors;
    EXPECT_EQ(linesOf(errors).size(), 1u) << errors;
    EXPECT_EQ(readText(path("left.txt")), "out.mkv\n") << "a temporary was left";
    EXPECT_TRUE(readText(path("old.txt")) == "old") << "the old output was replaced";
}

// Ctrl-C or SIGTERM mid-file: the old output stays as it was, and no temporary.
TEST_F(FixOutputs, AnInterruptionMidFileLeavesTheOldOutputAndNoTemporary) {
    make("long.mkv", "-f lavfi -i testsrc2=size=720x576:rate=25:duration=6 -c:v ffv1");
    for (const int signal : {SIGINT, SIGTERM}) {
        writeText("out.mkv", "old output");
        const pid_t pid = startFix({"long.mkv", "-o", "out.mkv", "--overwrite", "--config", kConfig});
        // Mid-file: the temporary has grown past the header and the first frames.
        bool midFile = false;
        for (int wait = 0; wait < 2000 && !midFile; ++wait) {
            for (const std::string& name : temporariesIn(folder_)) {
                std::error_code ignored;
                midFile = midFile || fs::file_size(folder_ / name, ignored) > 600000;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        kill(pid, signal);
        const int status = exitStatus(waitFor(pid));
        ASSERT_TRUE(midFile) << "the file was never seen half written";
        EXPECT_EQ(status, 128 + signal);
        EXPECT_EQ(readText(path("out.mkv")), "old output");
        EXPECT_TRUE(temporariesIn(folder_).empty());
    }
}

}  // namespace
