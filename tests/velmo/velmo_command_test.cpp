// velmo run as a user runs it: pictures in and out, and the one-line errors.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "velmo/image/picture.h"

namespace {

namespace fs = std::filesystem;

struct Outcome {
    int exitCode;
    std::string errors;
};

class VelmoCommand : public testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("velmo-test-" + std::to_string(getpid()));
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string path(const char* name) const { return (folder_ / name).string(); }

    Outcome velmo(const std::string& arguments) const {
        const std::string errors = path("stderr.txt");
        const int status =
            std::system((std::string(VELMO_BINARY) + " " + arguments + " 2>" + errors).c_str());
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
