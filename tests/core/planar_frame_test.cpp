#include "core/planar_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>

#include "core/format_colours.h"
#include "tests/support/guarded_frame.h"

namespace {

constexpr std::uint32_t kTestBlack = 0x01, kTestRed = 0x02;

// An 8-bit frame of luma and two chroma planes, subsampled 2^log2Width x 2^log2Height.
PlanarFormat yuvFormat(std::int32_t w, std::int32_t h, int log2Width, int log2Height,
                       bool interlaced = false) {
    PlanarFormat format{};
    format.width = w;
    format.height = h;
    format.planeCount = 3;
    format.interlaced = interlaced;
    for (int p = 0; p < 3; ++p) {
        format.planes[p] = p == 0 ? PlaneLayout{1, 0, 0} : PlaneLayout{1, log2Width, log2Height};
        format.colours[p] = ZoneColours{kTestBlack, kTestRed};
    }
    return format;
}

// Samples that tell their own row and column: 0x10 + 16 row + column, for planes of up to 15 x 15.
std::uint32_t sampleFor(std::int64_t row, std::int64_t column) {
    return static_cast<std::uint32_t>(0x10 + 16 * row + column);
}

// The frame's planes, filled with sampleFor, and the planes rendered from them.
struct Rendered {
    std::vector<GuardedPlane> source, output;
    std::optional<VerticalShift> shift;
};

Rendered render(const Zone& zone, ZoneView view, const PlanarFormat& format) {
    Rendered r;
    PlanarFrame in{}, out{};
    for (int p = 0; p < format.planeCount; ++p) {
        const std::int32_t w = planeWidth(format, p), h = planeHeight(format, p);
        r.source.emplace_back(w, h, 1, w + 3);
        for (std::int32_t i = 0; i < h; ++i)
            for (std::int32_t j = 0; j < w; ++j)
                r.source.back().set(i, j, sampleFor(i, j));
    }
    r.output = r.source;
    for (int p = 0; p < format.planeCount; ++p) {
        in.planes[p] = r.source[static_cast<std::size_t>(p)].rows();
        out.planes[p] = r.output[static_cast<std::size_t>(p)].rows();
    }
    r.shift = renderZonePlanes(zone, view, format, in, out);
    return r;
}

// Every sample of a plane as `expected` says, given the plane's size.
void expectPlane(const GuardedPlane& plane, const std::function<std::uint32_t(int, int)>& expected,
                 const std::string& what) {
    for (int i = 0; i < plane.h(); ++i)
        for (int j = 0; j < plane.w(); ++j)
            ASSERT_EQ(plane.get(i, j), expected(i, j)) << what << " at row " << i << ", column " << j;
}

std::uint32_t clampedSample(int r, int c, int w, int h) {
    return sampleFor(std::clamp(r, 0, h - 1), std::clamp(c, 0, w - 1));
}

// Output row i of an interlaced frame reads row r, or where that lies outside, the nearest row of
// its own field (rows two apart).
std::uint32_t fieldSample(int i, int r, int j, int h) {
    if (r < 0) r = i % 2;
    if (r >= h) r = (h - 1 - i) % 2 == 0 ? h - 1 : h - 2;
    return sampleFor(r, j);
}

// A subsampled plane moves by the luma shift shifted right by its subsampling, towards minus
// infinity: the shifts below are worked out by hand.
struct ChromaShiftCase {
    const char* name;
    Zone zone;
    int lumaRows, lumaColumns, chromaRows, chromaColumns;
};

void PrintTo(const ChromaShiftCase& c, std::ostream* os) {
    *os << c.name;
}

class ChromaShift : public testing::TestWithParam<ChromaShiftCase> {};

TEST_P(ChromaShift, IsTheLumaShiftHalvedTowardsMinusInfinity) {
    const ChromaShiftCase& c = GetParam();
    const Rendered r = render(c.zone, ZoneView::Shift, yuvFormat(8, 8, 1, 1));
    expectPlane(
        r.output[0], [&](int i, int j) { return clampedSample(i + c.lumaRows, j + c.lumaColumns, 8, 8); },
        "luma");
    for (const std::size_t p : {1u, 2u})
        expectPlane(
            r.output[p],
            [&](int i, int j) { return clampedSample(i + c.chromaRows, j + c.chromaColumns, 4, 4); },
            "chroma");
}

INSTANTIATE_TEST_SUITE_P(
    PlanarFrame, ChromaShift,
    testing::Values(ChromaShiftCase{"EvenDown", {1, 1, 1, 5}, 2, 0, 1, 0},
                    ChromaShiftCase{"OddDownStays", {1, 1, 1, 4}, 1, 0, 0, 0},
                    ChromaShiftCase{"OddUpMovesAWholeChromaRow", {3, 1, 1, 1}, -1, 0, -1, 0},
                    ChromaShiftCase{"OddLeftStays", {1, 4, 1, 1}, 0, 1, 0, 0},
                    ChromaShiftCase{"EvenRight", {1, 1, 5, 1}, 0, -2, 0, -1},
                    ChromaShiftCase{"OddRightMovesAWholeChromaColumn", {1, 1, 2, 1}, 0, -1, 0, -1}),
    [](const testing::TestParamInfo<ChromaShiftCase>& info) { return info.param.name; });

// With the border, a chroma sample is kept when any luma sample it covers is kept: the black chroma
// rows and columns below are worked out by hand.
struct ChromaBorderCase {
    const char* name;
    Zone zone;
    std::int32_t w, h;
    int log2Width, log2Height;
    std::set<int> blackLumaRows, blackLumaColumns, blackChromaRows, blackChromaColumns;
};

void PrintTo(const ChromaBorderCase& c, std::ostream* os) {
    *os << c.name;
}

class ChromaBorder : public testing::TestWithParam<ChromaBorderCase> {};

TEST_P(ChromaBorder, KeepsEveryChromaSampleCoveringAKeptLumaSample) {
    const ChromaBorderCase& c = GetParam();
    const Rendered r = render(c.zone, ZoneView::Shift, yuvFormat(c.w, c.h, c.log2Width, c.log2Height));
    const auto isBlack = [](const std::set<int>& rows, const std::set<int>& columns) {
        return [&rows, &columns](int i, int j) { return rows.count(i) != 0 || columns.count(j) != 0; };
    };
    const auto blackLuma = isBlack(c.blackLumaRows, c.blackLumaColumns);
    for (int i = 0; i < r.output[0].h(); ++i)
        for (int j = 0; j < r.output[0].w(); ++j)
            EXPECT_EQ(r.output[0].get(i, j) == kTestBlack, blackLuma(i, j))
                << "luma row " << i << ", column " << j;
    for (const std::size_t p : {1u, 2u}) {
        const auto blackChroma = isBlack(c.blackChromaRows, c.blackChromaColumns);
        for (int i = 0; i < r.output[p].h(); ++i)
            for (int j = 0; j < r.output[p].w(); ++j)
                EXPECT_EQ(r.output[p].get(i, j) == kTestBlack, blackChroma(i, j))
                    << "chroma row " << i << ", column " << j;
    }
}

INSTANTIATE_TEST_SUITE_P(
    PlanarFrame, ChromaBorder,
    testing::Values(
        // sx = 4: luma columns 3 to 8 kept; chroma 1 (luma 2, 3) to 4 (luma 8, 9).
        ChromaBorderCase{"Columns420", {1, 4, 4, 1, true}, 12, 8, 1, 1, {}, {0, 1, 2, 9, 10, 11}, {}, {0, 5}},
        // sy = 3: luma rows 2 to 5 kept; chroma rows 1 and 2.
        ChromaBorderCase{"Rows420", {3, 1, 1, 4, true}, 12, 8, 1, 1, {0, 1, 6, 7}, {}, {0, 3}, {}},
        // sy = 2: luma rows 1 to 6; every chroma row covers one of them.
        ChromaBorderCase{"StraddlingRowsAreKept", {2, 1, 1, 2, true}, 12, 8, 1, 1, {0, 7}, {}, {}, {}},
        // 4:2:2 keeps chroma rows as luma rows.
        ChromaBorderCase{"Rows422", {3, 1, 1, 4, true}, 12, 8, 1, 0, {0, 1, 6, 7}, {}, {0, 1, 6, 7}, {}},
        // 4:1:1, sx = 5: luma columns 4 to 11 of 16; chroma 1 (luma 4..7) and 2 (8..11).
        ChromaBorderCase{
            "Columns411", {1, 5, 5, 1, true}, 16, 4, 2, 0, {}, {0, 1, 2, 3, 12, 13, 14, 15}, {}, {0, 3}},
        // Five lines, from the bottom: chroma row 0 covers line 0 alone, row 1 lines 1 and 2, row 2
        // lines 3 and 4. sy = 2 keeps lines 1 to 3 (dy = 1 moves nothing in chroma).
        ChromaBorderCase{"OddHeight420", {1, 1, 1, 3, true}, 4, 5, 1, 1, {0, 4}, {}, {0}, {}}),
    [](const testing::TestParamInfo<ChromaBorderCase>& info) { return info.param.name; });

// The outline on a 10 x 8 4:2:0 frame, Config(3,2,3,2): luma rows 1 and 5 over columns 1 to 7, and
// columns 1 and 7 over rows 1 to 5. Chroma paints every sample covering one of them.
TEST(PlanarFrame, ChromaOutlineCoversTheLumaOutline) {
    const Rendered r = render(Zone{3, 2, 3, 2}, ZoneView::Outline, yuvFormat(10, 8, 1, 1));
    expectPlane(
        r.output[0],
        [](int i, int j) {
            const bool red =
                ((i == 1 || i == 5) && j >= 1 && j <= 7) || ((j == 1 || j == 7) && i >= 1 && i <= 5);
            return red ? kTestRed : sampleFor(i, j);
        },
        "luma");
    for (const std::size_t p : {1u, 2u})
        expectPlane(
            r.output[p],
            [](int i, int j) {
                const bool red = ((i == 0 || i == 2) && j <= 3) || ((j == 0 || j == 3) && i <= 2);
                return red ? kTestRed : sampleFor(i, j);
            },
            "chroma");
    EXPECT_EQ(r.shift->exact, 0);
    EXPECT_EQ(r.shift->used, 0);
}

// Interlaced frames: the shift the zone asks for and the one used, by hand. 4:2:0's chroma rows
// alternate between the fields, so its shift is a multiple of 4 lines; 4:2:2's of 2.
struct InterlacedCase {
    const char* name;
    Zone zone;
    int log2Height;
    std::int64_t exact, used;
};

void PrintTo(const InterlacedCase& c, std::ostream* os) {
    *os << c.name;
}

class InterlacedShift : public testing::TestWithParam<InterlacedCase> {};

TEST_P(InterlacedShift, IsRoundedToKeepTheFieldsAndSaysSo) {
    const InterlacedCase& c = GetParam();
    const Rendered r = render(c.zone, ZoneView::Shift, yuvFormat(4, 12, 1, c.log2Height, true));
    ASSERT_TRUE(r.shift);
    EXPECT_EQ(r.shift->exact, c.exact);
    EXPECT_EQ(r.shift->used, c.used);
    expectPlane(
        r.output[0], [&](int i, int j) { return fieldSample(i, i + static_cast<int>(c.used), j, 12); },
        "luma");
}

INSTANTIATE_TEST_SUITE_P(PlanarFrame, InterlacedShift,
                         testing::Values(InterlacedCase{"OddShift422", {1, 1, 1, 3}, 0, 1, 0},
                                         InterlacedCase{"EvenShift422", {1, 1, 1, 5}, 0, 2, 2},
                                         InterlacedCase{"ThreeUp422", {7, 1, 1, 1}, 0, -3, -4},
                                         InterlacedCase{"TwoDown420", {1, 1, 1, 5}, 1, 2, 0},
                                         InterlacedCase{"ThreeDown420", {1, 1, 1, 7}, 1, 3, 4},
                                         InterlacedCase{"FiveDown420", {1, 1, 1, 11}, 1, 5, 4},
                                         InterlacedCase{"TwoUp420", {5, 1, 1, 1}, 1, -2, -4},
                                         InterlacedCase{"OneUp420", {3, 1, 1, 1}, 1, -1, 0}),
                         [](const testing::TestParamInfo<InterlacedCase>& info) { return info.param.name; });

// The picture moved by 0 instead of 2 lines, so the window moves 2 lines with it and shows exactly
// the zone: Config(1,1,1,5,1) on 8 lines keeps lines 4 to 7 (the zone's own), not 2 to 5.
TEST(PlanarFrame, InterlacedWindowFollowsThePicture) {
    const Rendered r = render(Zone{1, 1, 1, 5, true}, ZoneView::Shift, yuvFormat(4, 8, 1, 1, true));
    ASSERT_EQ(r.shift->used, 0);
    expectPlane(
        r.output[0], [](int i, int j) { return i < 4 ? kTestBlack : sampleFor(i, j); }, "luma");
    for (const std::size_t p : {1u, 2u})
        expectPlane(
            r.output[p], [](int i, int j) { return i < 2 ? kTestBlack : sampleFor(i, j); }, "chroma");
}

TEST(PlanarFrame, EdgeRowsRepeatWithinTheirField) {
    // Config(5,1,1,1,0) asks for 2 lines up (dy -2): the two lowest output lines repeat the lowest
    // line of their own field, line 0 and line 1.
    const Rendered r = render(Zone{5, 1, 1, 1}, ZoneView::Shift, yuvFormat(4, 8, 1, 0, true));
    ASSERT_EQ(r.shift->used, -2);
    expectPlane(
        r.output[0], [](int i, int j) { return sampleFor(i < 2 ? i : i - 2, j); }, "luma");
}

struct RefusedFormat {
    const char* name;
    std::function<void(PlanarFormat&)> spoil;
    const char* says;
};

void PrintTo(const RefusedFormat& c, std::ostream* os) {
    *os << c.name;
}

class RefusedFormats : public testing::TestWithParam<RefusedFormat> {};

TEST_P(RefusedFormats, SayWhyAndWriteNothing) {
    const RefusedFormat& c = GetParam();
    PlanarFormat format = yuvFormat(4, 4, 1, 1);
    c.spoil(format);
    EXPECT_NE(planarFormatProblem(format).find(c.says), std::string::npos) << planarFormatProblem(format);
    GuardedPlane source(4, 4, 1, 4), destination(4, 4, 1, 4);
    const GuardedPlane untouched = destination;
    PlanarFrame in{}, out{};
    for (int p = 0; p < kMaxPlanes; ++p) {
        in.planes[p] = source.rows();
        out.planes[p] = destination.rows();
    }
    EXPECT_FALSE(renderZonePlanes(Zone{3, 5, 7, 9, true}, ZoneView::Shift, format, in, out));
    EXPECT_TRUE(destination == untouched);
}

INSTANTIATE_TEST_SUITE_P(
    PlanarFrame, RefusedFormats,
    testing::Values(RefusedFormat{"NoPlanes", [](PlanarFormat& f) { f.planeCount = 0; },
                                  "1 to 4 planes, not 0"},
                    RefusedFormat{"FivePlanes", [](PlanarFormat& f) { f.planeCount = 5; }, "not 5"},
                    RefusedFormat{"ThreeByteSamples", [](PlanarFormat& f) { f.planes[1].sampleSize = 3; },
                                  "plane 1's samples are 3 bytes, not 1, 2 or 4"},
                    RefusedFormat{"EightfoldSubsampling", [](PlanarFormat& f) { f.planes[2].log2Width = 3; },
                                  "plane 2 is subsampled by 2^3 x 2^1"},
                    RefusedFormat{"NegativeSubsampling", [](PlanarFormat& f) { f.planes[1].log2Height = -1; },
                                  "plane 1 is subsampled"},
                    RefusedFormat{"BlackTooLarge", [](PlanarFormat& f) { f.colours[0].border = 256; },
                                  "plane 0's black or red does not fit its 1-byte samples"},
                    RefusedFormat{"RedTooLarge",
                                  [](PlanarFormat& f) {
                                      f.planes[2].sampleSize = 2;
                                      f.colours[2].outline = 0x10000;
                                  },
                                  "2-byte samples"}),
    [](const testing::TestParamInfo<RefusedFormat>& info) { return info.param.name; });

TEST(PlanarFrame, EmptyFramesWriteNothing) {
    for (const auto& [w, h] : {std::pair{0, 4}, std::pair{4, 0}, std::pair{-2, 4}}) {
        const PlanarFormat format = yuvFormat(w, h, 1, 1);
        GuardedPlane plane(4, 4, 1, 5);
        const GuardedPlane untouched = plane;
        PlanarFrame frame{};
        for (int p = 0; p < 3; ++p)
            frame.planes[p] = plane.rows();
        for (const ZoneView view : {ZoneView::Shift, ZoneView::Outline})
            EXPECT_TRUE(renderZonePlanes(Zone{3, 5, 7, 9, true}, view, format, frame, frame));
        EXPECT_TRUE(plane == untouched) << w << " x " << h;
    }
}

// A top-down 4:2:0 frame of 5 x 3, rows padded to 8 bytes: row 0 of each plane is its last line.
TEST(PlanarFrame, TopDownFramesAreSeenFromTheirBottomLine) {
    const PlanarFormat format = yuvFormat(5, 3, 1, 1);
    EXPECT_EQ(planeWidth(format, 0), 5);
    EXPECT_EQ(planeHeight(format, 0), 3);
    EXPECT_EQ(planeWidth(format, 1), 3);
    EXPECT_EQ(planeHeight(format, 2), 2);
    std::uint8_t luma[24], cb[16], cr[16];
    std::uint8_t* const data[] = {luma, cb, cr};
    const int linesize[] = {8, 8, 8};
    const PlanarFrame frame = bottomUpFrame(format, data, linesize);
    EXPECT_EQ(frame.planes[0].data, luma + 16);
    EXPECT_EQ(frame.planes[0].stride, -8);
    EXPECT_EQ(frame.planes[1].data, cb + 8);
    EXPECT_EQ(frame.planes[2].data, cr + 8);
    EXPECT_EQ(frame.planes[2].stride, -8);
}

// Black and red per format, worked out by hand from the standards' weights (Kr 0.299, Kb 0.114 for
// BT.601; Kr 0.2126, Kb 0.0722 for BT.709) and ranges, rounded to the nearest integer.
struct ColourCase {
    const char* name;
    ColourFormat format;
    std::vector<ZoneColours> planes;
};

void PrintTo(const ColourCase& c, std::ostream* os) {
    *os << c.name;
}

class FormatColours : public testing::TestWithParam<ColourCase> {};

TEST_P(FormatColours, AreTheFormatsOwnBlackAndRed) {
    const ColourCase& c = GetParam();
    const std::optional<PlaneColours> colours = planeColours(c.format);
    ASSERT_TRUE(colours);
    ASSERT_EQ(colours->planeCount, static_cast<int>(c.planes.size()));
    for (std::size_t p = 0; p < c.planes.size(); ++p) {
        EXPECT_EQ(colours->planes[p].border, c.planes[p].border) << "plane " << p << "'s black";
        EXPECT_EQ(colours->planes[p].outline, c.planes[p].outline) << "plane " << p << "'s red";
    }
}

using M = ColourModel;
using R = ColourRange;
constexpr ColourMatrix k601 = ColourMatrix::Bt601, k709 = ColourMatrix::Bt709, k2020 = ColourMatrix::Bt2020;

INSTANTIATE_TEST_SUITE_P(
    PlanarFrame, FormatColours,
    testing::Values(
        ColourCase{"Yuv8Limited601", {M::Yuv, 8, R::Limited, k601, false}, {{16, 81}, {128, 90}, {128, 240}}},
        ColourCase{
            "Yuv10Limited601", {M::Yuv, 10, R::Limited, k601, false}, {{64, 326}, {512, 361}, {512, 960}}},
        ColourCase{"Yuv12Limited601",
                   {M::Yuv, 12, R::Limited, k601, false},
                   {{256, 1304}, {2048, 1443}, {2048, 3840}}},
        ColourCase{"Yuv16Limited601",
                   {M::Yuv, 16, R::Limited, k601, false},
                   {{4096, 20859}, {32768, 23092}, {32768, 61440}}},
        ColourCase{
            "Yuv8Limited709", {M::Yuv, 8, R::Limited, k709, false}, {{16, 63}, {128, 102}, {128, 240}}},
        ColourCase{
            "Yuv10Limited709", {M::Yuv, 10, R::Limited, k709, false}, {{64, 250}, {512, 409}, {512, 960}}},
        ColourCase{
            "Yuv8Limited2020", {M::Yuv, 8, R::Limited, k2020, false}, {{16, 74}, {128, 97}, {128, 240}}},
        ColourCase{
            "Yuv10Limited2020", {M::Yuv, 10, R::Limited, k2020, false}, {{64, 294}, {512, 387}, {512, 960}}},
        ColourCase{"Yuv8Full601", {M::Yuv, 8, R::Full, k601, false}, {{0, 76}, {128, 85}, {128, 255}}},
        ColourCase{"Yuv10Full601", {M::Yuv, 10, R::Full, k601, false}, {{0, 306}, {512, 339}, {512, 1023}}},
        ColourCase{"Yuv8Full709", {M::Yuv, 8, R::Full, k709, false}, {{0, 54}, {128, 99}, {128, 255}}},
        ColourCase{"Yuva8Limited601",
                   {M::Yuv, 8, R::Limited, k601, true},
                   {{16, 81}, {128, 90}, {128, 240}, {255, 255}}},
        ColourCase{"Gray8Limited", {M::Gray, 8, R::Limited, k601, false}, {{16, 81}}},
        ColourCase{"Gray10Full", {M::Gray, 10, R::Full, k601, false}, {{0, 306}}},
        ColourCase{"Gray16Full709", {M::Gray, 16, R::Full, k709, false}, {{0, 13933}}},
        ColourCase{"Gbr8Full", {M::Rgb, 8, R::Full, k601, false}, {{0, 0}, {0, 0}, {0, 255}}},
        ColourCase{
            "Gbra10Full", {M::Rgb, 10, R::Full, k709, true}, {{0, 0}, {0, 0}, {0, 1023}, {1023, 1023}}},
        ColourCase{
            "Gbr12Limited", {M::Rgb, 12, R::Limited, k601, false}, {{256, 256}, {256, 256}, {256, 3760}}}),
    [](const testing::TestParamInfo<ColourCase>& info) { return info.param.name; });

TEST(PlanarFrame, ColoursOnlyForEightToSixteenBits) {
    EXPECT_FALSE(planeColours({M::Yuv, 7, R::Limited, k601, false}));
    EXPECT_FALSE(planeColours({M::Yuv, 17, R::Full, k601, false}));
    EXPECT_TRUE(planeColours({M::Yuv, 9, R::Full, k601, false}));
}

TEST(PlanarFrame, UntaggedPicturesAreBt601BelowHd) {
    EXPECT_EQ(untaggedMatrix(480), k601);
    EXPECT_EQ(untaggedMatrix(576), k601);
    EXPECT_EQ(untaggedMatrix(720), k709);
    EXPECT_EQ(untaggedMatrix(1080), k709);
}

}  // namespace
