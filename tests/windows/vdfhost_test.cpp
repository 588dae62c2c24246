// vdfhost from the command line: the plug-in demo a user runs, and the one-line errors it gives.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/windows/host_fixture.h"
#include "velmo/image/picture.h"

namespace {

struct Outcome {
    DWORD exitCode = 0;
    std::string output;
};

// A run of vdfhost here opens no dialog and takes well under a second; Wine on a fresh, busy
// system can take many.
constexpr DWORD kVdfhostLimitMs = 60000;

// Runs vdfhost.exe from the tests' folder and collects what it printed. A run past the time limit
// is stopped and fails the test.
Outcome runVdfhost(const std::string& arguments) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    CreatePipe(&readEnd, &writeEnd, &inherit, 0);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    std::string command = "vdfhost.exe " + arguments;
    Outcome outcome;
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
        outcome.exitCode = 0xFFFFFFFF;
        return outcome;
    }
    CloseHandle(writeEnd);
    // Reads only what is there, so that neither a silent child nor one that keeps the pipe open
    // past its end can hold the test.
    const ULONGLONG start = GetTickCount64();
    bool ended = false;
    for (;;) {
        char buffer[512];
        DWORD available = 0, read = 0;
        while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available > 0 &&
               ReadFile(readEnd, buffer, sizeof buffer, &read, nullptr) && read > 0)
            outcome.output.append(buffer, read);
        if (ended) break;
        ended = WaitForSingleObject(process.hProcess, 20) == WAIT_OBJECT_0;
        if (!ended && GetTickCount64() - start > kVdfhostLimitMs) {
            TerminateProcess(process.hProcess, 0xFFFFFFFF);
            WaitForSingleObject(process.hProcess, kVdfhostLimitMs);
            ADD_FAILURE() << command << " did not finish within " << kVdfhostLimitMs / 1000
                          << " s; stopped it";
            break;
        }
    }
    GetExitCodeProcess(process.hProcess, &outcome.exitCode);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(readEnd);
    return outcome;
}

std::string writeSamplePicture(const char* name, int w, int h) {
    Picture picture;
    picture.w = w;
    picture.h = h;
    for (int k = 0; k < w * h; ++k)
        picture.pixels.push_back(static_cast<Pixel32>(0x203040 + k));
    std::string error;
    EXPECT_TRUE(savePicture(name, picture, error)) << error;
    return name;
}

TEST(Vdfhost, RendersAPictureAndPrintsSummaryAndLine) {
    const std::string input = writeSamplePicture("vdfhost-in.png", 40, 30);
    DeleteFileA("vdfhost-out.bmp");
    const Outcome outcome =
        runVdfhost("VELMO.VDF --script \"Config(3,5,7,9,1)\" vdfhost-in.png vdfhost-out.bmp");
    EXPECT_EQ(outcome.exitCode, 0u) << outcome.output;
    EXPECT_NE(outcome.output.find("\" (3, 5, 7, 9, 1)\""), std::string::npos) << outcome.output;
    EXPECT_NE(outcome.output.find("Config(3,5,7,9,1)"), std::string::npos) << outcome.output;
    Picture output;
    std::string error;
    ASSERT_TRUE(loadPicture("vdfhost-out.bmp", output, error)) << error;
    EXPECT_EQ(output.w, 40);
    EXPECT_EQ(output.h, 30);
    // sy = 6: the top five and bottom five rows are black; the middle row is not.
    EXPECT_EQ(output.pixels[0], 0u);
    EXPECT_EQ(output.pixels[static_cast<std::size_t>(29) * 40 + 20], 0u);
    EXPECT_NE(output.pixels[static_cast<std::size_t>(15) * 40 + 20], 0u);
}

struct ErrorCase {
    const char* name;
    const char* arguments;
    const char* mentions;
};

void PrintTo(const ErrorCase& c, std::ostream* os) {
    *os << c.name;
}

class VdfhostErrors : public testing::TestWithParam<ErrorCase> {
protected:
    static void SetUpTestSuite() {
        writeSamplePicture("vdfhost-ok.png", 8, 6);
        std::FILE* junk = std::fopen("vdfhost-junk.png", "wb");
        std::fputs("not a picture", junk);
        std::fclose(junk);
        // A 24-bit BMP's headers for 0 x 10 pixels, and no rows.
        const unsigned char widthZero[54] = {'B', 'M', 54, 0, 0, 0, 0, 0,  0, 0, 54, 0, 0, 0,  40,
                                             0,   0,   0,  0, 0, 0, 0, 10, 0, 0, 0,  1, 0, 24, 0};
        std::FILE* empty = std::fopen("vdfhost-width0.bmp", "wb");
        std::fwrite(widthZero, 1, sizeof widthZero, empty);
        std::fclose(empty);
    }
};

TEST_P(VdfhostErrors, GiveOneClearLineAndAFailingExit) {
    const ErrorCase& c = GetParam();
    const Outcome outcome = runVdfhost(c.arguments);
    EXPECT_NE(outcome.exitCode, 0u) << outcome.output;
    EXPECT_NE(outcome.output.find("vdfhost: "), std::string::npos) << outcome.output;
    EXPECT_NE(outcome.output.find(c.mentions), std::string::npos) << outcome.output;
}

INSTANTIATE_TEST_SUITE_P(
    Vdfhost, VdfhostErrors,
    testing::Values(
        ErrorCase{"MissingPicture", "VELMO.VDF missing.png out.png", "missing.png"},

        ErrorCase{"NotAPlugin", "vdfhost.exe vdfhost-ok.png out.png", "not a filter plug-in"},
        ErrorCase{"WrongArgumentCount", "VELMO.VDF --script \"Config(1,2,3)\" vdfhost-ok.png out.png",
                  "Config"},
        ErrorCase{"UnknownFunction", "VELMO.VDF --script \"Crop(1,2,3,4,5)\" vdfhost-ok.png out.png", "Crop"},
        ErrorCase{"NotAnInteger", "VELMO.VDF --script \"Config(1,2,x,4,5)\" vdfhost-ok.png out.png",
                  "whole number"},
        ErrorCase{"OutOfRange", "VELMO.VDF --script \"Config(1,2,3,4,2147483648)\" vdfhost-ok.png out.png",
                  "whole number"},
        ErrorCase{"UnreadablePicture", "VELMO.VDF vdfhost-junk.png out.png", "vdfhost-junk.png"},
        ErrorCase{"PictureWithoutPixels", "VELMO.VDF vdfhost-width0.bmp out.png",
                  "vdfhost-width0.bmp: the picture has no pixels"},
        ErrorCase{"UnknownOutputType", "VELMO.VDF vdfhost-ok.png out.gif", ".png or .bmp"},
        ErrorCase{"NoOutput", "VELMO.VDF vdfhost-ok.png", "expected"},
        ErrorCase{"OutputFolderMissing", "VELMO.VDF vdfhost-ok.png no-such-folder\\out.png",
                  "cannot create no-such-folder\\out.png: No such file or directory"}),
    [](const testing::TestParamInfo<ErrorCase>& info) { return std::string(info.param.name); });

// A file with a Windows image's headers, built for the given processor.
void writeImageFor(const char* name, WORD machine) {
    std::string bytes(512, '\0');
    bytes[0] = 'M';
    bytes[1] = 'Z';
    bytes[0x3C] = 0x40;
    bytes.replace(0x40, 4, std::string("PE\0\0", 4));
    bytes[0x44] = static_cast<char>(machine & 0xFF);
    bytes[0x45] = static_cast<char>(machine >> 8);
    bytes[0x56] = 0x02;
    bytes[0x57] = 0x20;  // a DLL
    std::FILE* file = std::fopen(name, "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

struct BrokenPlugin {
    const char* name;
    const char* plugin;
    DWORD exitCode;
    const char* mentions;
};

void PrintTo(const BrokenPlugin& c, std::ostream* os) {
    *os << c.name;
}

class VdfhostAndBrokenPlugins : public testing::TestWithParam<BrokenPlugin> {
protected:
    static void SetUpTestSuite() {
        writeSamplePicture("vdfhost-ok.png", 8, 6);
        constexpr bool is64 = sizeof(void*) == 8;
        writeImageFor("OTHER-ARCH.VDF", is64 ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64);
        writeImageFor("ARM.VDF", 0x01C4);
        std::FILE* text = std::fopen("TEXT.VDF", "wb");
        std::fputs("not a DLL at all", text);
        std::fclose(text);
    }
};

TEST_P(VdfhostAndBrokenPlugins, SurvivesWithItsOwnMessageAndStatus) {
    const BrokenPlugin& c = GetParam();
    DeleteFileA("broken-out.png");
    const Outcome outcome = runVdfhost(std::string(c.plugin) + " vdfhost-ok.png broken-out.png");
    EXPECT_EQ(outcome.exitCode, c.exitCode) << outcome.output;
    EXPECT_EQ(outcome.output.rfind("vdfhost: ", 0), 0u) << outcome.output;
    EXPECT_EQ(outcome.output.find('\n'), outcome.output.size() - 1) << "one line: " << outcome.output;
    EXPECT_NE(outcome.output.find(c.mentions), std::string::npos) << outcome.output;
    EXPECT_EQ(GetFileAttributesA("broken-out.png"), INVALID_FILE_ATTRIBUTES)
        << "no output from a broken plug-in";
}

INSTANTIATE_TEST_SUITE_P(
    Vdfhost, VdfhostAndBrokenPlugins,
    testing::Values(
        BrokenPlugin{"NotADll", "TEXT.VDF", 3, "cannot load plug-in TEXT.VDF: it is not a Windows DLL"},
        BrokenPlugin{"OtherArchitecture", "OTHER-ARCH.VDF", 3,
                     sizeof(void*) == 8 ? "it is a 32-bit DLL, and this vdfhost is 64-bit"
                                        : "it is a 64-bit DLL, and this vdfhost is 32-bit"},
        BrokenPlugin{"OtherProcessor", "ARM.VDF", 3, "built for another processor (machine 0x01C4)"},
        BrokenPlugin{"Missing", "NOPE.VDF", 3, "cannot load plug-in NOPE.VDF: "},
        BrokenPlugin{"InitFails", "BROKEN-INIT-FAILS.VDF", 5,
                     "refused to register its filter: module init returned 3"},
        BrokenPlugin{"RegistersNothing", "BROKEN-NO-REGISTRATION.VDF", 6,
                     "registered no filter: module init returned 0 without calling addFilter"},
        BrokenPlugin{"VersionUnwritten", "BROKEN-SILENT-VERSION.VDF", 7,
                     "left its interface version unwritten: a real host reads back its own numbers"},
        BrokenPlugin{"NewerInterface", "BROKEN-NEWER-INTERFACE.VDF", 7,
                     "needs interface version 12 or newer; vdfhost speaks version 8"},
        BrokenPlugin{"HugeInstance", "BROKEN-HUGE-INSTANCE.VDF", 8,
                     "asks for 2147483647 bytes of storage per instance; vdfhost gives at most 16777216"}),
    [](const testing::TestParamInfo<BrokenPlugin>& info) { return std::string(info.param.name); });

// As the real host: module exit follows every module init that succeeded, and no other.
TEST(VdfhostAndBrokenPlugins, CallsModuleExitExactlyWhenModuleInitSucceeded) {
    struct Case {
        const char* plugin;
        LoadFailure failure;
        int exits;
    };
    for (const Case& c : {Case{"BROKEN-INIT-FAILS.VDF", LoadFailure::InitFailed, 0},
                          Case{"BROKEN-NO-REGISTRATION.VDF", LoadFailure::NothingRegistered, 1},
                          Case{"BROKEN-SILENT-VERSION.VDF", LoadFailure::VersionHandshake, 1},
                          Case{"BROKEN-HUGE-INSTANCE.VDF", LoadFailure::BadDefinition, 1}}) {
        SetEnvironmentVariableA("BROKEN_PLUGIN_EXITS", "0");
        std::string error;
        LoadFailure failure = LoadFailure::None;
        EXPECT_EQ(PluginModule::load(c.plugin, error, failure), nullptr) << c.plugin;
        EXPECT_EQ(failure, c.failure) << c.plugin << ": " << error;
        char exits[16] = {};
        GetEnvironmentVariableA("BROKEN_PLUGIN_EXITS", exits, sizeof exits);
        EXPECT_EQ(std::atoi(exits), c.exits) << c.plugin;
    }
}

}  // namespace
