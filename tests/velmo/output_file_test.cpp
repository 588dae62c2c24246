// OutputFile, the one writer of whole files: what it replaces, what it refuses, and that nothing is
// left behind, by a failure or by a signal (in a child process, which the signal ends).

#include "velmo/image/output_file.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "tests/velmo/test_files.h"

namespace {

using namespace velmo_test;

const Bytes kOld{'o', 'l', 'd'};
const Bytes kNew{'n', 'e', 'w', ' ', 'f', 'i', 'l', 'e'};

class OutputFileTest : public testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("velmo-output-test-" + std::to_string(getpid()));
        fs::remove_all(folder_);
        fs::create_directories(folder_ / "sub");
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string path(const std::string& name) const { return (folder_ / name).string(); }

    static unsigned modeOf(const std::string& path) {
        struct stat status {};
        stat(path.c_str(), &status);
        return status.st_mode & 07777;
    }

    // Every temporary gone, in both folders the tests write into.
    void expectNoTemporaries() const {
        EXPECT_EQ(temporariesIn(folder_), std::vector<std::string>{});
        EXPECT_EQ(temporariesIn(folder_ / "sub"), std::vector<std::string>{});
    }

    fs::path folder_;
};

// The file's mode as a new file gets it: 0666 less this process's umask.
unsigned newFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

bool writeWhole(const std::string& path, ExistingOutput existing, std::string& error) {
    OutputFile file;
    return file.open(path, existing, error) && file.write(kNew.data(), kNew.size(), error) &&
           file.commit(error);
}

TEST_F(OutputFileTest, ReplacesTheFileALinkNamesAndKeepsItsMode) {
    struct Case {
        const char* what;
        const char* output;
        std::vector<std::pair<const char*, const char*>> links;  // name, what it points to
        const char* existing;                                    // the file that is there first, or null
        unsigned existingMode;
        const char* written;  // the regular file that ends up holding the new bytes
        unsigned mode;        // its mode afterwards; 0 for a new file's
    };
    const Case cases[] = {
        {"a new file", "new.png", {}, nullptr, 0, "new.png", 0},
        {"a replaced file keeps 0600", "out.png", {}, "out.png", 0600, "out.png", 0600},
        {"a replaced file keeps 0640", "out.png", {}, "out.png", 0640, "out.png", 0640},
        {"a read-only file is replaced and stays read-only", "out.png", {}, "out.png", 0444, "out.png", 0444},
        {"a link to a file beside it",
         "link.png",
         {{"link.png", "target.png"}},
         "target.png",
         0600,
         "target.png",
         0600},
        {"a link into another folder",
         "link.png",
         {{"link.png", "sub/target.png"}},
         "sub/target.png",
         0640,
         "sub/target.png",
         0640},
        {"a link from another folder",
         "sub/link.png",
         {{"sub/link.png", "../target.png"}},
         "target.png",
         0600,
         "target.png",
         0600},
        {"a chain of links",
         "a.png",
         {{"a.png", "b.png"}, {"b.png", "sub/c.png"}},
         "sub/c.png",
         0600,
         "sub/c.png",
         0600},
        {"a dangling link creates what it names",
         "link.png",
         {{"link.png", "sub/made.png"}},
         nullptr,
         0,
         "sub/made.png",
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        if (c.existing != nullptr) {
            writeBytes(path(c.existing), kOld);
            chmod(path(c.existing).c_str(), c.existingMode);
        }
        for (const auto& [name, target] : c.links)
            fs::create_symlink(target, path(name));
        std::string error;
        ASSERT_TRUE(writeWhole(path(c.output), ExistingOutput::Replace, error)) << error;
        EXPECT_EQ(readBytes(path(c.written)), kNew);
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(path(c.written))));
        EXPECT_EQ(modeOf(path(c.written)), c.mode != 0 ? c.mode : newFileMode());
        for (const auto& [name, target] : c.links) {
            EXPECT_TRUE(fs::is_symlink(path(name))) << name;
            EXPECT_EQ(fs::read_symlink(path(name)), target) << name;
        }
        expectNoTemporaries();
    }
}

TEST_F(OutputFileTest, RefusesWhatIsNoFileToReplaceAndTouchesNothing) {
    ASSERT_EQ(mkfifo(path("pipe.png").c_str(), 0600), 0);
    fs::create_directory(path("folder.png"));
    fs::create_symlink("loop.png", path("loop.png"));
    fs::create_symlink("folder.png", path("folder-link.png"));
    writeBytes(path("exists.png"), kOld);
    struct Case {
        std::string output;
        ExistingOutput existing;
        std::string error;
    };
    const Case cases[] = {
        {path("folder.png"), ExistingOutput::Replace,
         "cannot write " + path("folder.png") + ": it is a folder"},
        {path("folder-link.png"), ExistingOutput::Replace,
         "cannot write " + path("folder-link.png") + ": it is a folder"},
        {path("pipe.png"), ExistingOutput::Replace,
         "cannot write " + path("pipe.png") + ": not a regular file"},
        {"/dev/null", ExistingOutput::Replace, "cannot write /dev/null: not a regular file"},
        {path("loop.png"), ExistingOutput::Replace,
         "cannot write " + path("loop.png") + ": Too many levels of symbolic links"},
        {path("missing/out.png"), ExistingOutput::Replace,
         "cannot create " + path("missing/out.png") + ": No such file or directory"},
        {path("exists.png"), ExistingOutput::Refuse,
         "cannot write " + path("exists.png") + ": the file exists already"},
        {"", ExistingOutput::Replace, "cannot write \"\": the name is empty"},
        {path("odd\nname/out.png"), ExistingOutput::Replace,
         "cannot create \"" + path("odd\\nname/out.png") + "\": No such file or directory"},
    };
    const std::vector<std::string> before = namesIn(folder_);
    for (const Case& c : cases) {
        std::string error;
        OutputFile file;
        EXPECT_FALSE(file.open(c.output, c.existing, error)) << c.output;
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(file.descriptor(), -1);
    }
    EXPECT_EQ(namesIn(folder_), before);
    EXPECT_EQ(readBytes(path("exists.png")), kOld);
}

TEST_F(OutputFileTest, UncommittedOrFailedWritesLeaveTheOldFile) {
    writeBytes(path("out.png"), kOld);
    std::string error;
    {
        OutputFile file;
        ASSERT_TRUE(file.open(path("out.png"), ExistingOutput::Replace, error)) << error;
        ASSERT_TRUE(file.write(kNew.data(), kNew.size(), error)) << error;
        EXPECT_TRUE(fs::exists(file.temporaryPath()));
        EXPECT_EQ(fs::path(file.temporaryPath()).parent_path(), folder_);
    }  // not committed
    EXPECT_EQ(readBytes(path("out.png")), kOld);
    expectNoTemporaries();
    {
        OutputFile file;
        ASSERT_TRUE(file.open(path("out.png"), ExistingOutput::Replace, error)) << error;
        file.discard();
        EXPECT_FALSE(file.commit(error));
    }
    EXPECT_EQ(readBytes(path("out.png")), kOld);
    expectNoTemporaries();

    // A file that appears while a file that must not replace one is being written stays.
    OutputFile late;
    ASSERT_TRUE(late.open(path("late.png"), ExistingOutput::Refuse, error)) << error;
    ASSERT_TRUE(late.write(kNew.data(), kNew.size(), error));
    writeBytes(path("late.png"), kOld);
    EXPECT_FALSE(late.commit(error));
    EXPECT_EQ(error, "cannot write " + path("late.png") + ": the file exists already");
    EXPECT_EQ(readBytes(path("late.png")), kOld);
    expectNoTemporaries();
}

TEST_F(OutputFileTest, ADescriptorWriterCanSeekBackAndRewrite) {
    // As a muxer does: a header left blank, the body, then the header filled in.
    std::string error;
    OutputFile file;
    ASSERT_TRUE(file.open(path("video.mkv"), ExistingOutput::Refuse, error)) << error;
    ASSERT_TRUE(file.write("....body", 8, error));
    ASSERT_EQ(pwrite(file.descriptor(), "HEAD", 4, 0), 4);
    ASSERT_TRUE(file.commit(error)) << error;
    EXPECT_EQ(readText(path("video.mkv")), "HEADbody");
}

TEST_F(OutputFileTest, ALongNameStillGetsATemporary) {
    const std::string name = std::string(250, 'n') + ".png";
    std::string error;
    ASSERT_TRUE(writeWhole(path(name), ExistingOutput::Replace, error)) << error;
    EXPECT_EQ(readBytes(path(name)), kNew);
    expectNoTemporaries();
}

TEST_F(OutputFileTest, AFailedWriteSaysWhyAndLeavesNothing) {
    writeBytes(path("out.png"), kOld);
    // A file size limit makes the write fail as a full disk would, in a child of its own.
    const pid_t child = fork();
    if (child == 0) {
        const rlimit limit{4, 4};
        signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &limit);
        std::string error;
        OutputFile file;
        const bool opened = file.open(path("out.png"), ExistingOutput::Replace, error);
        const bool written = opened && file.write(kNew.data(), kNew.size(), error);
        file.discard();
        _exit(opened && !written && error == "cannot write " + path("out.png") + ": File too large" ? 0 : 1);
    }
    EXPECT_EQ(exitStatus(waitFor(child)), 0);
    EXPECT_EQ(readBytes(path("out.png")), kOld);
    expectNoTemporaries();
}

TEST_F(OutputFileTest, NeverTheInputItself) {
    writeBytes(path("in.png"), kOld);
    fs::create_symlink("in.png", path("link.png"));
    fs::create_hard_link(path("in.png"), path("sub/hard.png"));
    writeBytes(path("other.png"), kOld);
    struct Case {
        std::string input, output;
        bool refused;
    };
    const Case cases[] = {
        {path("in.png"), path("in.png"), true},
        {path("in.png"), path("sub/../in.png"), true},
        {path("in.png"), path("link.png"), true},
        {path("link.png"), path("in.png"), true},
        {path("in.png"), path("sub/hard.png"), true},
        {path("in.png"), path("other.png"), false},  // the same bytes, another file
        {path("in.png"), path("new.png"), false},
        {path("missing.png"), path("missing.png"), false},  // nothing to destroy; reading it fails
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_EQ(!refuseInputAsOutput(c.input, c.output, error), c.refused) << c.input << " -> " << c.output;
        if (c.refused) {
            EXPECT_EQ(error, "cannot write " + c.output + ": it is the input file " + c.input +
                                 " (the output must be another file)");
        }
    }
}

// ---- Interruptions, each in a child process that the signal ends ----

enum class Delivery {
    FromOutside,      // the test sends it, as kill or Ctrl-C do
    ToAnotherThread,  // it lands on a thread that is not the one that installed the handler
    BrokenPipe,       // the child writes into a pipe nobody reads
};

struct InterruptionCase {
    const char* what;
    int signal;
    Delivery delivery;
    bool ignoredAtStart;  // as nohup or a background job starts a program
};

void* idle(void*) {
    for (;;)
        pause();
    return nullptr;
}

class Interruption : public OutputFileTest, public testing::WithParamInterface<InterruptionCase> {};

// Waits until the test says go on (or gives up after 20 s, so that a test that failed shows as a
// finished file, not as a test that hangs).
void waitForGo(int go) {
    pollfd wait{go, POLLIN, 0};
    poll(&wait, 1, 20000);
}

// The child: a temporary being written, a child of its own (`sleep`), then the signal.
[[noreturn]] void runInterruptedChild(const InterruptionCase& c, const std::string& output, int report,
                                      int go) {
    if (c.ignoredAtStart) signal(c.signal, SIG_IGN);
    installInterruptionHandlers();
    std::string error;
    OutputFile file;
    if (!file.open(output, ExistingOutput::Replace, error) || !file.write(kNew.data(), kNew.size(), error))
        _exit(3);
    pid_t sleeper = 0;
    EndedOnInterruption ended;
    {
        const InterruptionsHeld held;
        sleeper = fork();
        if (sleeper == 0) {
            held.releaseInChild();
            execlp("sleep", "sleep", "20", static_cast<char*>(nullptr));
            _exit(127);
        }
        ended.arm(sleeper);
    }
    if (write(report, &sleeper, sizeof sleeper) != sizeof sleeper) _exit(3);
    waitForGo(go);  // the test has seen the temporary, and sent the signal if it comes from outside
    switch (c.delivery) {
        case Delivery::FromOutside:
            break;
        case Delivery::ToAnotherThread: {
            pthread_t worker;
            pthread_create(&worker, nullptr, idle, nullptr);
            pthread_kill(worker, c.signal);
            sleep(20);  // the signal ends it long before
            break;
        }
        case Delivery::BrokenPipe: {
            int pipe[2];
            if (::pipe(pipe) != 0) _exit(3);
            close(pipe[0]);
            if (::write(pipe[1], "x", 1) < 0) _exit(4);  // reached only with SIGPIPE ignored
            break;
        }
    }
    // Not interrupted (the signal was ignored): the file is finished as usual.
    kill(sleeper, SIGKILL);
    _exit(file.commit(error) ? 0 : 3);
}

TEST_P(Interruption, RemovesTheTemporaryEndsTheChildAndExitsWith128PlusTheSignal) {
    const InterruptionCase& c = GetParam();
    writeBytes(path("out.png"), kOld);
    // Orphans come back to this process, so the test sees how the child's own child ended.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    int report[2], go[2];
    ASSERT_EQ(pipe(report), 0);
    ASSERT_EQ(pipe(go), 0);
    const pid_t child = fork();
    if (child == 0) {
        close(report[0]);
        close(go[1]);
        runInterruptedChild(c, path("out.png"), report[1], go[0]);
    }
    close(report[1]);
    close(go[0]);
    pid_t sleeper = 0;
    ASSERT_EQ(read(report[0], &sleeper, sizeof sleeper), static_cast<ssize_t>(sizeof sleeper));
    close(report[0]);
    EXPECT_EQ(temporariesIn(folder_).size(), 1u) << "the temporary exists before the signal";
    if (c.delivery == Delivery::FromOutside) kill(child, c.signal);
    close(go[1]);
    const int status = exitStatus(waitFor(child));
    const int sleeperStatus = waitFor(sleeper);
    prctl(PR_SET_CHILD_SUBREAPER, 0);

    if (c.ignoredAtStart) {
        EXPECT_EQ(status, 0) << "an ignored signal stays ignored";
        EXPECT_EQ(readBytes(path("out.png")), kNew);
    } else {
        EXPECT_EQ(status, 128 + c.signal);
        EXPECT_EQ(readBytes(path("out.png")), kOld);
        EXPECT_TRUE(WIFSIGNALED(sleeperStatus) && WTERMSIG(sleeperStatus) == SIGTERM)
            << "the child's child was ended by the handler";
    }
    expectNoTemporaries();
}

INSTANTIATE_TEST_SUITE_P(
    Velmo, Interruption,
    testing::Values(InterruptionCase{"SIGTERM", SIGTERM, Delivery::FromOutside, false},
                    InterruptionCase{"SIGINT (Ctrl-C)", SIGINT, Delivery::FromOutside, false},
                    InterruptionCase{"SIGHUP (terminal closed)", SIGHUP, Delivery::FromOutside, false},
                    InterruptionCase{"SIGTERM taken by another thread", SIGTERM, Delivery::ToAnotherThread,
                                     false},
                    InterruptionCase{"SIGPIPE (reader gone)", SIGPIPE, Delivery::BrokenPipe, false},
                    InterruptionCase{"SIGINT ignored from the start", SIGINT, Delivery::FromOutside, true}),
    [](const testing::TestParamInfo<InterruptionCase>& info) { return "Case" + std::to_string(info.index); });

TEST_F(OutputFileTest, ASignalWhileHeldActsWhenReleased) {
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    const pid_t child = fork();
    if (child == 0) {
        close(report[0]);
        installInterruptionHandlers();
        OutputFile file;
        std::string error;
        if (!file.open(path("out.png"), ExistingOutput::Replace, error)) _exit(3);
        {
            const InterruptionsHeld held;
            raise(SIGTERM);
            if (write(report[1], "held", 4) != 4) _exit(3);  // still alive inside the scope
        }
        _exit(0);  // not reached: the signal acts as the scope ends
    }
    close(report[1]);
    char word[5] = {};
    EXPECT_EQ(read(report[0], word, 4), 4);
    EXPECT_STREQ(word, "held");
    close(report[0]);
    EXPECT_EQ(exitStatus(waitFor(child)), 128 + SIGTERM);
    expectNoTemporaries();
}

}  // namespace
