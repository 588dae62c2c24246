// vdfhost from the command line: the plug-in demo a user runs, and the one-line errors it gives.

#include <string>

#include "tests/windows/host_fixture.h"
#include "velmo/image/picture.h"

namespace {

struct Outcome {
    DWORD exitCode = 0;
    std::string output;
};

// Runs vdfhost.exe from the tests' folder and collects what it printed.
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
    char buffer[512];
    DWORD read = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &read, nullptr) && read > 0)
        outcome.output.append(buffer, read);
    WaitForSingleObject(process.hProcess, INFINITE);
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
        ErrorCase{"NoSuchPlugin", "NOPE.VDF vdfhost-ok.png out.png", "NOPE.VDF"},
        ErrorCase{"NotAPlugin", "vdfhost.exe vdfhost-ok.png out.png", "not a filter plug-in"},
        ErrorCase{"WrongArgumentCount", "VELMO.VDF --script \"Config(1,2,3)\" vdfhost-ok.png out.png",
                  "Config"},
        ErrorCase{"UnknownFunction", "VELMO.VDF --script \"Crop(1,2,3,4,5)\" vdfhost-ok.png out.png", "Crop"},
        ErrorCase{"NotAnInteger", "VELMO.VDF --script \"Config(1,2,x,4,5)\" vdfhost-ok.png out.png",
                  "whole number"},
        ErrorCase{"OutOfRange", "VELMO.VDF --script \"Config(1,2,3,4,2147483648)\" vdfhost-ok.png out.png",
                  "whole number"},
        ErrorCase{"UnreadablePicture", "VELMO.VDF vdfhost-junk.png out.png", "vdfhost-junk.png"},
        ErrorCase{"UnknownOutputType", "VELMO.VDF vdfhost-ok.png out.gif", ".png or .bmp"},
        ErrorCase{"NoOutput", "VELMO.VDF vdfhost-ok.png", "expected"}),
    [](const testing::TestParamInfo<ErrorCase>& info) { return std::string(info.param.name); });

}  // namespace
