#include "velmo/raw_stream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <vector>

#include "core/script_line.h"
#include "tests/support/reference_render.h"

namespace {

// A temporary file, read back or handed over as a descriptor.
class TempFile {
public:
    TempFile() : file_(std::tmpfile()) {}
    ~TempFile() { std::fclose(file_); }
    int descriptor() { return fileno(file_); }
    void write(const std::vector<Pixel32>& pixels, std::size_t bytes) {
        if (bytes > 0) std::fwrite(pixels.data(), 1, bytes, file_);
        rewind();
    }
    std::vector<Pixel32> read() {
        rewind();
        std::vector<Pixel32> pixels;
        Pixel32 pixel;
        while (std::fread(&pixel, sizeof pixel, 1, file_) == 1)
            pixels.push_back(pixel);
        return pixels;
    }

private:
    void rewind() {
        std::fflush(file_);
        std::rewind(file_);
    }
    std::FILE* file_;
};

struct StreamCase {
    std::int32_t w, h, frames;
    std::size_t missingBytes;  // taken off the end of the input
    const char* line;
    int showFrame;
};

class RawStream : public testing::TestWithParam<StreamCase> {};

TEST_P(RawStream, GivesTheCorePixelsForEachTopDownFrame) {
    const StreamCase& c = GetParam();
    const std::size_t framePixels = static_cast<std::size_t>(c.w) * c.h;
    std::vector<Pixel32> input(framePixels * c.frames);
    std::mt19937 random(c.w * 7 + c.h);
    for (Pixel32& pixel : input)
        pixel = random();  // any fourth byte, as bgra alpha

    ZoneSettings settings{};
    std::string error;
    ASSERT_TRUE(applyScriptLine(settings, c.line, error)) << error;
    settings.showFrame = c.showFrame;

    TempFile in, out;
    in.write(input, input.size() * sizeof(Pixel32) - c.missingBytes);
    int frames = 0;
    const StreamReport report = filterRawStream(in.descriptor(), out.descriptor(), settings, c.w, c.h,
                                                [&](std::uint64_t) { ++frames; });

    // Each whole frame, viewed bottom-up, with black and red painted opaque.
    const std::int32_t whole = c.missingBytes == 0 ? c.frames : c.frames - 1;
    std::vector<Pixel32> expected(framePixels * whole);
    for (std::int32_t f = 0; f < whole; ++f)
        referenceRenderZoneFrame(settings, bottomUpView(input.data() + f * framePixels, c.w, c.h),
                                 bottomUpView(expected.data() + f * framePixels, c.w, c.h),
                                 ZoneColours{0xFF000000, 0xFFFF0000});
    EXPECT_TRUE(out.read() == expected);
    EXPECT_EQ(report.frames, static_cast<std::uint64_t>(whole));
    EXPECT_EQ(frames, whole);
    EXPECT_EQ(report.error.empty(), c.missingBytes == 0) << report.error;
    if (c.missingBytes != 0) {
        EXPECT_NE(report.error.find("short"), std::string::npos) << report.error;
    }
}

INSTANTIATE_TEST_SUITE_P(Velmo, RawStream,
                         testing::Values(StreamCase{40, 30, 3, 0, "Config(3,5,7,9,1)", 0},
                                         StreamCase{40, 30, 2, 0, "Config(3,5,7,9,1)", 1},
                                         StreamCase{37, 23, 2, 0, "Config(-2147483648,2147483647,4,-9,1)", 0},
                                         StreamCase{1, 1, 4, 0, "Config(1,2,2,1,1)", 0},
                                         StreamCase{16, 9, 3, 1, "Config(3,5,7,9,1)", 0},
                                         StreamCase{16, 9, 3, 16 * 9 * 4 - 1, "Config(3,5,7,9,0)", 0},
                                         StreamCase{16, 9, 0, 0, "Config(3,5,7,9,1)", 0}));

}  // namespace
