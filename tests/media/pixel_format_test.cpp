// Which FFmpeg pixel formats the plane transform takes as they are, how it sees their planes, and the
// black and red it paints in them, all written out by hand from the formats' layouts.

#include "velmo/media/pixel_format.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct PlaneExpectation {
    int sampleSize, log2Width, log2Height;
    std::uint32_t black, red;
};

struct LayoutCase {
    const char* name;
    AVPixelFormat format;
    AVColorRange range;
    AVColorSpace matrix;
    std::vector<PlaneExpectation> planes;
};

class TakenAsTheyAre : public testing::TestWithParam<LayoutCase> {};

TEST_P(TakenAsTheyAre, PlanesAndColours) {
    const LayoutCase& c = GetParam();
    PlanarFormat planar{};
    std::string why;
    ASSERT_TRUE(planarFormatOf(c.format, FrameFacts{720, 576, true, c.range, c.matrix}, planar, why)) << why;
    EXPECT_EQ(planar.width, 720);
    EXPECT_EQ(planar.height, 576);
    EXPECT_TRUE(planar.interlaced);
    ASSERT_EQ(planar.planeCount, static_cast<int>(c.planes.size()));
    for (std::size_t p = 0; p < c.planes.size(); ++p) {
        const PlaneExpectation& e = c.planes[p];
        EXPECT_EQ(planar.planes[p].sampleSize, e.sampleSize) << "plane " << p;
        EXPECT_EQ(planar.planes[p].log2Width, e.log2Width) << "plane " << p;
        EXPECT_EQ(planar.planes[p].log2Height, e.log2Height) << "plane " << p;
        EXPECT_EQ(planar.colours[p].border, e.black) << "plane " << p << "'s black";
        EXPECT_EQ(planar.colours[p].outline, e.red) << "plane " << p << "'s red";
    }
}

constexpr AVColorRange kUntaggedRange = AVCOL_RANGE_UNSPECIFIED;
constexpr AVColorSpace kUntagged = AVCOL_SPC_UNSPECIFIED;

// BT.601 red: Y 81, Cb 90, Cr 240 (limited, 8 bits); Y 76, Cb 85, Cr 255 (full). BT.709 limited: 63, 102,
// 240. Limited 10 bits: 326, 361, 960 (601).
INSTANTIATE_TEST_SUITE_P(
    PixelFormats, TakenAsTheyAre,
    testing::Values(
        LayoutCase{"Yuv422p",
                   AV_PIX_FMT_YUV422P,
                   kUntaggedRange,
                   kUntagged,
                   {{1, 0, 0, 16, 81}, {1, 1, 0, 128, 90}, {1, 1, 0, 128, 240}}},
        LayoutCase{"Yuv420pTagged709",
                   AV_PIX_FMT_YUV420P,
                   AVCOL_RANGE_MPEG,
                   AVCOL_SPC_BT709,
                   {{1, 0, 0, 16, 63}, {1, 1, 1, 128, 102}, {1, 1, 1, 128, 240}}},
        LayoutCase{"Yuv411p",
                   AV_PIX_FMT_YUV411P,
                   kUntaggedRange,
                   AVCOL_SPC_SMPTE170M,
                   {{1, 0, 0, 16, 81}, {1, 2, 0, 128, 90}, {1, 2, 0, 128, 240}}},
        LayoutCase{"Yuv422p10le",
                   AV_PIX_FMT_YUV422P10LE,
                   kUntaggedRange,
                   kUntagged,
                   {{2, 0, 0, 64, 326}, {2, 1, 0, 512, 361}, {2, 1, 0, 512, 960}}},
        LayoutCase{"YuvjIsFullRange",
                   AV_PIX_FMT_YUVJ420P,
                   kUntaggedRange,
                   kUntagged,
                   {{1, 0, 0, 0, 76}, {1, 1, 1, 128, 85}, {1, 1, 1, 128, 255}}},
        LayoutCase{"TaggedFullRange",
                   AV_PIX_FMT_YUV444P,
                   AVCOL_RANGE_JPEG,
                   AVCOL_SPC_BT470BG,
                   {{1, 0, 0, 0, 76}, {1, 0, 0, 128, 85}, {1, 0, 0, 128, 255}}},
        // Cb and Cr side by side in one sample of the second plane: Cb in its low byte.
        LayoutCase{"Nv12",
                   AV_PIX_FMT_NV12,
                   kUntaggedRange,
                   kUntagged,
                   {{1, 0, 0, 16, 81}, {2, 1, 1, 0x8080, 0xF05A}}},
        // Ten bits at the top of each 16-bit word.
        LayoutCase{"P010",
                   AV_PIX_FMT_P010LE,
                   kUntaggedRange,
                   kUntagged,
                   {{2, 0, 0, 64u << 6, 326u << 6},
                    {4, 1, 1, (512u << 6) | (512u << 22), (361u << 6) | (960u << 22)}}},
        LayoutCase{"GrayIsFullRange", AV_PIX_FMT_GRAY8, kUntaggedRange, kUntagged, {{1, 0, 0, 0, 76}}},
        LayoutCase{
            "Gray10TaggedLimited", AV_PIX_FMT_GRAY10LE, AVCOL_RANGE_MPEG, kUntagged, {{2, 0, 0, 64, 326}}},
        LayoutCase{"Gbrp",
                   AV_PIX_FMT_GBRP,
                   kUntaggedRange,
                   kUntagged,
                   {{1, 0, 0, 0, 0}, {1, 0, 0, 0, 0}, {1, 0, 0, 0, 255}}},
        LayoutCase{"Gbrap12le",
                   AV_PIX_FMT_GBRAP12LE,
                   kUntaggedRange,
                   kUntagged,
                   {{2, 0, 0, 0, 0}, {2, 0, 0, 0, 0}, {2, 0, 0, 0, 4095}, {2, 0, 0, 4095, 4095}}},
        LayoutCase{"Yuva420p",
                   AV_PIX_FMT_YUVA420P,
                   kUntaggedRange,
                   kUntagged,
                   {{1, 0, 0, 16, 81}, {1, 1, 1, 128, 90}, {1, 1, 1, 128, 240}, {1, 0, 0, 255, 255}}},
        // Bytes B, G, R, then padding that FFmpeg writes as 255.
        LayoutCase{"Bgr0", AV_PIX_FMT_BGR0, kUntaggedRange, kUntagged, {{4, 0, 0, 0xFF000000, 0xFFFF0000}}},
        // Bytes R, G, B, A.
        LayoutCase{"Rgba", AV_PIX_FMT_RGBA, kUntaggedRange, kUntagged, {{4, 0, 0, 0xFF000000, 0xFF0000FF}}},
        // Gray and alpha in one 16-bit sample.
        LayoutCase{"Ya8", AV_PIX_FMT_YA8, kUntaggedRange, kUntagged, {{2, 0, 0, 0xFF00, 0xFF4C}}}),
    [](const testing::TestParamInfo<LayoutCase>& info) { return std::string(info.param.name); });

struct MovedCase {
    AVPixelFormat source;
    AVPixelFormat moved;  // AV_PIX_FMT_NONE: refused
};

TEST(MovedFormat, TheFormatItselfALosslessRepackingOrARefusalByName) {
    const MovedCase cases[] = {
        {AV_PIX_FMT_YUV422P, AV_PIX_FMT_YUV422P},
        {AV_PIX_FMT_YUV420P10LE, AV_PIX_FMT_YUV420P10LE},
        {AV_PIX_FMT_BGRA, AV_PIX_FMT_BGRA},
        {AV_PIX_FMT_YUYV422, AV_PIX_FMT_YUV422P},
        {AV_PIX_FMT_UYVY422, AV_PIX_FMT_YUV422P},
        {AV_PIX_FMT_RGB24, AV_PIX_FMT_RGB0},
        {AV_PIX_FMT_BGR24, AV_PIX_FMT_BGR0},
        {AV_PIX_FMT_RGB48LE, AV_PIX_FMT_GBRP16LE},
        {AV_PIX_FMT_YUV422P10BE, AV_PIX_FMT_YUV422P10LE},
        {AV_PIX_FMT_GRAY16BE, AV_PIX_FMT_GRAY16LE},
        {AV_PIX_FMT_PAL8, AV_PIX_FMT_NONE},
        {AV_PIX_FMT_MONOBLACK, AV_PIX_FMT_NONE},
        {AV_PIX_FMT_GRAYF32LE, AV_PIX_FMT_NONE},
        {AV_PIX_FMT_BAYER_RGGB8, AV_PIX_FMT_NONE},
        {AV_PIX_FMT_RGB565LE, AV_PIX_FMT_NONE},
        {AV_PIX_FMT_VAAPI, AV_PIX_FMT_NONE},
    };
    for (const MovedCase& c : cases) {
        AVPixelFormat moved = AV_PIX_FMT_NONE;
        std::string why;
        const bool taken = movedFormatFor(c.source, moved, why);
        const std::string name = pixelFormatName(c.source);
        if (c.moved == AV_PIX_FMT_NONE) {
            EXPECT_FALSE(taken) << name << " became " << pixelFormatName(moved);
            EXPECT_NE(why.find("pixel format " + name), std::string::npos) << why;
            EXPECT_EQ(why.find('\n'), std::string::npos) << why;
        } else {
            EXPECT_TRUE(taken) << name << ": " << why;
            EXPECT_EQ(moved, c.moved) << name << " became " << pixelFormatName(moved);
        }
    }
}

TEST(MovedFormat, PackedFourTwoTwoIsNotTakenAsItIs) {
    PlanarFormat planar{};
    std::string why;
    EXPECT_FALSE(planarFormatOf(AV_PIX_FMT_YUYV422, FrameFacts{720, 576}, planar, why));
    EXPECT_NE(why.find("yuyv422"), std::string::npos) << why;
}

}  // namespace
