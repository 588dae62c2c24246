#pragma once

// A private folder of media files that a test makes with the ffmpeg program (installed by
// tools/install-deps.sh), removed with everything in it.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

class MediaFiles : public testing::Test {
protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() / ("velmo-media-test-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::string path(const std::string& name) const { return (folder_ / name).string(); }

    static int shell(const std::string& command) {
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // The file `name` made by ffmpeg from `arguments`; its path.
    std::string make(const std::string& name, const std::string& arguments) const {
        const std::string command =
            "ffmpeg -nostdin -loglevel error -y " + arguments + " '" + path(name) + "'";
        EXPECT_EQ(shell(command), 0) << command;
        return path(name);
    }

    std::filesystem::path folder_;
};

// A moving test pattern of `seconds` at 25 frames a second, as ffmpeg input arguments.
inline std::string pattern(const char* size, double seconds) {
    return "-f lavfi -i testsrc2=size=" + std::string(size) + ":rate=25:duration=" + std::to_string(seconds);
}
