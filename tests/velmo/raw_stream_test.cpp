#include "velmo/raw_stream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <vector>

#include "core/script_line.h"
#include "tests/support/reference_render.h"
#include "velmo/media/pixel_format.h"

extern "C" {
#include <libavutil/imgutils.h>
}

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
    // 32-bit frames, as velmo stream takes them without --pix-fmt.
    PlanarFormat format{};
    std::string why;
    ASSERT_TRUE(planarFormatOf(AV_PIX_FMT_BGRA, FrameFacts{c.w, c.h}, format, why)) << why;
    int frames = 0, firstFrames = 0;
    const StreamReport report =
        filterRawStream(in.descriptor(), out.descriptor(), zoneOf(settings), viewOf(settings), format,
                        StreamWatch{.firstFrame = [&](const VerticalShift&) { ++firstFrames; },
                                    .progress = [&](std::uint64_t) { ++frames; }});

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
    EXPECT_EQ(firstFrames, whole > 0 ? 1 : 0);
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

// The frame FFmpeg's rawvideo muxer writes and its demuxer reads: av_image_fill_arrays with an
// alignment of 1, for each format velmo stream lists, at even and odd sizes.
struct LayoutCase {
    const char* format;
    std::int32_t w, h;
    bool interlaced;
};

void PrintTo(const LayoutCase& c, std::ostream* os) {
    *os << c.format << " " << c.w << "x" << c.h << (c.interlaced ? " interlaced" : "");
}

class RawFrame : public testing::TestWithParam<LayoutCase> {};

TEST_P(RawFrame, IsLaidOutAsFfmpegLaysOutRawVideo) {
    const LayoutCase& c = GetParam();
    const AVPixelFormat pixelFormat = av_get_pix_fmt(c.format);
    ASSERT_NE(pixelFormat, AV_PIX_FMT_NONE) << c.format;
    PlanarFormat format{};
    std::string why;
    ASSERT_TRUE(planarFormatOf(pixelFormat, FrameFacts{c.w, c.h, c.interlaced}, format, why)) << why;

    const int bytes = av_image_get_buffer_size(pixelFormat, c.w, c.h, 1);
    ASSERT_GT(bytes, 0);
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(bytes));
    std::uint8_t* data[4] = {};
    int linesizes[4] = {};
    ASSERT_EQ(av_image_fill_arrays(data, linesizes, frame.data(), pixelFormat, c.w, c.h, 1), bytes);
    const RawFrameLayout layout = rawFrameLayout(format);
    EXPECT_EQ(layout.bytes, static_cast<std::size_t>(bytes)) << c.format;
    EXPECT_EQ(static_cast<std::size_t>(bytes),
              static_cast<std::size_t>(av_image_get_buffer_size(pixelFormat, c.w, c.h, 1)));
    for (int p = 0; p < format.planeCount; ++p) {
        EXPECT_EQ(layout.offsets[p], static_cast<std::size_t>(data[p] - frame.data()))
            << c.format << " plane " << p;
        EXPECT_EQ(layout.linesizes[p], linesizes[p]) << c.format << " plane " << p;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Velmo, RawFrame,
    testing::Values(LayoutCase{"gray", 37, 29, false}, LayoutCase{"gray10le", 37, 29, true},
                    LayoutCase{"gray16le", 1, 1, false}, LayoutCase{"yuv420p", 720, 576, true},
                    LayoutCase{"yuv420p", 37, 29, true}, LayoutCase{"yuv420p10le", 35, 27, false},
                    LayoutCase{"yuv422p", 719, 575, true}, LayoutCase{"yuv422p12le", 37, 29, false},
                    LayoutCase{"yuv411p", 37, 29, false}, LayoutCase{"yuv411p", 718, 480, true},
                    LayoutCase{"yuv444p16le", 37, 29, false}, LayoutCase{"yuv420p16le", 1, 1, false},
                    LayoutCase{"gbrp", 37, 29, false}, LayoutCase{"gbrap10le", 37, 29, false},
                    LayoutCase{"bgr0", 37, 29, false}, LayoutCase{"bgra", 1, 3, false},
                    LayoutCase{"nv12", 37, 29, false}, LayoutCase{"p010le", 37, 30, true},
                    LayoutCase{"yuva420p", 37, 29, false}, LayoutCase{"yuv410p", 37, 29, false}));

}  // namespace
