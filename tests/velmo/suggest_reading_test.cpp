// How velmo suggest reads its input, run as a user runs it on files the test makes with the ffmpeg
// program: the frame reader in process (no FFmpeg program needed), the stream chosen, a clip whose
// samples mostly fail declined, and a stream without a length kept to the frames asked for.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

struct Outcome {
    int exitCode;  // 128 + the signal when one ended it
    std::string output;
    std::string errors;
};

class SuggestReading : public testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("velmo-suggest-reading-test-" + std::to_string(getpid()));
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string path(const std::string& name) const { return (folder_ / name).string(); }

    static int shell(const std::string& command) {
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    static std::string readText(const std::string& name) {
        std::ifstream file(name);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    // velmo suggest with these arguments, after `prefix` (a limit, a variable) in the same shell.
    Outcome suggest(const std::string& arguments, const std::string& prefix = "") const {
        const int code = shell(prefix + " " + VELMO_BINARY + " suggest " + arguments + " >" +
                               path("out.txt") + " 2>" + path("err.txt"));
        return Outcome{code, readText(path("out.txt")), readText(path("err.txt"))};
    }

    std::string make(const std::string& name, const std::string& arguments) const {
        const std::string command =
            "ffmpeg -nostdin -loglevel error -y " + arguments + " '" + path(name) + "'";
        EXPECT_EQ(shell(command), 0) << command;
        return path(name);
    }

    fs::path folder_;
};

// The frames come through FFmpeg's libraries in process: the ffmpeg and ffprobe programs are not
// used, so a PATH without them changes nothing.
TEST_F(SuggestReading, NeedsNoFfmpegProgram) {
    const std::string clip = make(
        "clip.mkv", "-f lavfi -i testsrc2=size=308x240:rate=25:duration=4 -vf pad=320:240:12:0 -c:v ffv1");
    const Outcome withPath = suggest(clip);
    const Outcome run = suggest(clip, "PATH=/nonexistent");
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(run.output.rfind("Config(", 0), 0u) << run.errors;
    EXPECT_EQ(run.output, withPath.output) << run.errors;
}

// Two video streams: refused until one is chosen, and the one chosen is the one read: each gives
// what a file of that stream alone gives (only the first has a black bar on the left).
TEST_F(SuggestReading, ReadsTheVideoStreamChosen) {
    const std::string barred = make(
        "barred.mkv", "-f lavfi -i testsrc2=size=308x240:rate=25:duration=4 -vf pad=320:240:12:0 -c:v ffv1");
    const std::string clean =
        make("clean.mkv", "-f lavfi -i testsrc2=size=320x240:rate=25:duration=4 -c:v ffv1");
    const std::string file = make("two.mkv", "-i '" + barred + "' -i '" + clean + "' -map 0 -map 1 -c copy");
    const Outcome alone[] = {suggest(barred), suggest(clean)};
    ASSERT_EQ(alone[0].exitCode, 0) << alone[0].errors;
    ASSERT_EQ(alone[1].exitCode, 0) << alone[1].errors;
    ASSERT_NE(alone[0].output, alone[1].output) << "the two streams must tell apart";
    struct Case {
        std::string arguments;
        int exitCode;
        std::string output;
        std::string mentions;
    };
    const Case cases[] = {
        {file, 1, "", "the file has 2 video streams (0, 1); choose one with --stream N"},
        {file + " --stream 0", 0, alone[0].output, ""},
        {file + " --stream 1", 0, alone[1].output, ""},
        {file + " --stream 2", 1, "", "there is no stream 2"},
        {file + " --stream -1", 2, "", "bad stream number \"-1\""},
        {file + " --stream one", 2, "", "bad stream number \"one\""},
    };
    for (const Case& c : cases) {
        const Outcome run = suggest(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments << ": " << run.errors;
        EXPECT_EQ(run.output, c.output) << c.arguments;
        EXPECT_NE(run.errors.find(c.mentions), std::string::npos) << c.arguments << ": " << run.errors;
    }
}

// A clip cut to 30 % of its file: most samples find nothing, and nothing is suggested from the few
// left; one line says how many decoded.
TEST_F(SuggestReading, DeclinesAClipWhoseSamplesMostlyFail) {
    const std::string whole =
        make("whole.mkv", "-f lavfi -i testsrc2=size=320x240:rate=25:duration=60 -c:v mjpeg -q:v 5");
    fs::copy_file(whole, path("cut.mkv"));
    fs::resize_file(path("cut.mkv"), fs::file_size(whole) * 3 / 10);
    const Outcome run = suggest(path("cut.mkv"));
    EXPECT_EQ(run.exitCode, 1) << run.errors;
    EXPECT_TRUE(run.output.empty()) << run.output;
    EXPECT_EQ(run.errors.rfind("velmo: cannot read " + path("cut.mkv") + ": only ", 0), 0u) << run.errors;
    EXPECT_NE(run.errors.find(" of 100 sampled frames could be decoded (the video ends"), std::string::npos)
        << run.errors;
    EXPECT_EQ(run.errors.find('\n'), run.errors.size() - 1) << "one line: " << run.errors;
}

// An 8192 x 8192 MJPEG stream of eight frames, without a length: read through, keeping the two
// frames asked for at most. Kept whole, its frames would need about 2.8 GB; the address space
// allows 2 GB. Whatever the finder makes of the flat frames, memory is not the cause.
TEST_F(SuggestReading, KeepsAStreamWithoutALengthToTheFramesAskedFor) {
    if (kSanitized) GTEST_SKIP() << "sanitizers reserve more address space than the limit allows";
    const std::string stream = make(
        "large.mjpeg", "-f lavfi -i color=c=gray:size=8192x8192:rate=25 -frames:v 8 -c:v mjpeg -f mjpeg");
    const Outcome run = suggest(stream + " --frames 2", "ulimit -v 2000000;");
    EXPECT_LT(run.exitCode, 2) << run.errors;
    EXPECT_EQ(run.errors.find("memory"), std::string::npos) << run.errors;
    if (run.exitCode == 1) {
        EXPECT_EQ(run.errors.find('\n'), run.errors.size() - 1) << "one line: " << run.errors;
    }
}

}  // namespace
