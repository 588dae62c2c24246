#include "core/render_zone_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <string>

#include "tests/support/guarded_frame.h"
#include "tests/support/reference_render.h"

namespace {

// Distinct, recognisable source pixels that are neither black nor red.
Pixel32 sourcePixel(std::int64_t row, std::int64_t column) {
    return 0x00100000u | static_cast<Pixel32>(row << 10) | static_cast<Pixel32>(column);
}

struct Margins {
    std::int32_t up, left, right, down, addBorder, showFrame;
};

ZoneSettings settingsFor(const Margins& m) {
    ZoneSettings s{};
    applyConfigCommand(s, m.up, m.left, m.right, m.down, m.addBorder);
    s.showFrame = m.showFrame;
    return s;
}

struct FrameCase {
    std::string name;
    std::int32_t w, h;
    Margins margins;
    // The expected destination pixel at row i (0 = bottom), column j.
    std::function<Pixel32(int i, int j)> expected;
};

void PrintTo(const FrameCase& c, std::ostream* os) {
    *os << c.name;
}

class FrameRules : public testing::TestWithParam<FrameCase> {};

TEST_P(FrameRules, RendersEveryPixelAsTheRulesSay) {
    const FrameCase& c = GetParam();
    for (const std::ptrdiff_t modulo : {std::ptrdiff_t{0}, std::ptrdiff_t{12}, -8 * std::ptrdiff_t{c.w}}) {
        GuardedFrame source(c.w, c.h, modulo), destination(c.w, c.h, modulo), expected(c.w, c.h, modulo);
        for (int i = 0; i < c.h; ++i)
            for (int j = 0; j < c.w; ++j) {
                source.at(i, j) = sourcePixel(i, j);
                expected.at(i, j) = c.expected(i, j);
            }
        const GuardedFrame untouchedSource = source;
        renderZoneFrame(settingsFor(c.margins), source.bitmap(), destination.bitmap());
        const std::int64_t difference = destination.firstDifference(expected);
        EXPECT_EQ(difference, -1) << "modulo " << modulo << ": first wrong pixel at "
                                  << expected.describe(difference);
        EXPECT_TRUE(source == untouchedSource) << "the source was written";
    }
}

Pixel32 clampedSource(int r, int c, int w, int h) {
    return sourcePixel(std::clamp(r, 0, h - 1), std::clamp(c, 0, w - 1));
}

const FrameCase kFrameCases[] = {
    {"DefaultsPassThrough", 9, 7, {1, 1, 1, 1, 0, 0}, [](int i, int j) { return sourcePixel(i, j); }},
    {"DefaultsWithBorderPassThrough",
     9,
     7,
     {1, 1, 1, 1, 1, 0},
     [](int i, int j) { return sourcePixel(i, j); }},
    {"LargerDownMovesZoneDown",
     40,
     30,
     {1, 1, 1, 9, 0, 0},
     [](int i, int j) { return clampedSource(i + 4, j, 40, 30); }},
    {"LargerDownWithBorderKeepsWindow",
     40,
     30,
     {1, 1, 1, 9, 1, 0},
     [](int i, int j) { return i < 4 || i > 25 ? kBlack : sourcePixel(i + 4, j); }},
    {"OddVerticalSumNeitherShiftsNorBlackens",
     6,
     5,
     {1, 1, 1, 2, 1, 0},
     [](int i, int j) { return sourcePixel(i, j); }},
    {"LargerUpRepeatsBottomRow",
     8,
     10,
     {4, 1, 1, 1, 0, 0},
     [](int i, int j) { return clampedSource(i - 2, j, 8, 10); }},
    {"LargerLeftRepeatsRightColumnAndBlackensSides",
     16,
     3,
     {1, 7, 2, 1, 1, 0},
     [](int i, int j) { return j <= 2 || j >= 13 ? kBlack : clampedSource(i, j + 2, 16, 3); }},
    {"OddHorizontalSumRoundsTowardsMinusInfinity",
     6,
     2,
     {1, 2, 3, 1, 0, 0},
     [](int i, int j) { return clampedSource(i, j - 1, 6, 2); }},
    {"OddHorizontalSumTheOtherWayDoesNotShift",
     6,
     2,
     {1, 3, 2, 1, 0, 0},
     [](int i, int j) { return sourcePixel(i, j); }},
    {"SinglePixelIsCopied", 1, 1, {5, 9, 2, 30, 0, 0}, [](int, int) { return sourcePixel(0, 0); }},
    {"SinglePixelBlackWhenWindowIsEmpty", 1, 1, {1, 2, 2, 1, 1, 0}, [](int, int) { return kBlack; }},
    {"AnyNonZeroBorderFlagTurnsBorderOn",
     16,
     3,
     {1, 7, 2, 1, INT_MIN, 0},
     [](int i, int j) { return j <= 2 || j >= 13 ? kBlack : clampedSource(i, j + 2, 16, 3); }},
    {"OutlineOnFrameEdgesWithDefaults",
     7,
     5,
     {1, 1, 1, 1, 1, 1},
     [](int i, int j) { return i == 0 || i == 4 || j == 0 || j == 6 ? kRed : sourcePixel(i, j); }},
    {"OutlineOnZoneEdgeLines",
     10,
     8,
     {3, 2, 3, 2, 0, 1},
     [](int i, int j) {
         const bool horizontal = (i == 1 || i == 5) && j >= 1 && j <= 7;
         const bool vertical = (j == 1 || j == 7) && i >= 1 && i <= 5;
         return horizontal || vertical ? kRed : sourcePixel(i, j);
     }},
    {"OutlinePartlyOutsideIsClippedNotMovedIn",
     10,
     8,
     {-2, 4, -5, 3, 0, -1},
     [](int i, int j) { return (i == 2 && j >= 3) || (j == 3 && i >= 2) ? kRed : sourcePixel(i, j); }},
    {"OutlineEntirelyOutsideLeavesPicture",
     10,
     8,
     {12, 30, -20, 1, 0, INT_MIN},
     [](int i, int j) { return sourcePixel(i, j); }},
    {"OutlineIgnoresBorderAndShift",
     12,
     9,
     {4, 1, 6, 2, 1, 2},
     [](int i, int j) {
         const bool horizontal = (i == 1 || i == 5) && j >= 0 && j <= 6;
         const bool vertical = (j == 0 || j == 6) && i >= 1 && i <= 5;
         return horizontal || vertical ? kRed : sourcePixel(i, j);
     }},
    {"OutlineWithCrossedColumnsDrawsBothColumns",
     10,
     6,
     {2, 9, 6, 2, 0, 1},
     [](int i, int j) { return (j == 4 || j == 8) && i >= 1 && i <= 4 ? kRed : sourcePixel(i, j); }},
};

INSTANTIATE_TEST_SUITE_P(ShiftAndOutline, FrameRules, testing::ValuesIn(kFrameCases),
                         [](const testing::TestParamInfo<FrameCase>& info) { return info.param.name; });

TEST(FrameRules, EmptyFramesWriteNothing) {
    for (const auto& [w, h] : {std::pair{0, 5}, std::pair{5, 0}, std::pair{-3, 4}, std::pair{4, -1}}) {
        GuardedFrame source(std::max(w, 0), std::max(h, 0), 8),
            destination(std::max(w, 0), std::max(h, 0), 8);
        const GuardedFrame untouched = destination;
        FrameBitmap src = source.bitmap(), dst = destination.bitmap();
        src.w = dst.w = w;
        src.h = dst.h = h;
        for (const std::int32_t showFrame : {0, 1})
            renderZoneFrame(settingsFor({1, 1, 1, 1, 1, showFrame}), src, dst);
        EXPECT_TRUE(destination == untouched) << w << " x " << h;
    }
}

}  // namespace

namespace {

TEST(FrameRules, PaintsTheColoursItIsGiven) {
    constexpr ZoneColours opaque{0xFF000000, 0xFFFF0000};
    for (const std::int32_t showFrame : {0, 1}) {
        const ZoneSettings settings = settingsFor({3, 5, 7, 9, 1, showFrame});
        GuardedFrame source(24, 20, 8), painted(24, 20, 8), expected(24, 20, 8);
        for (int i = 0; i < 20; ++i)
            for (int j = 0; j < 24; ++j)
                source.at(i, j) = sourcePixel(i, j);
        renderZoneFrame(settings, source.bitmap(), painted.bitmap(), opaque);
        referenceRenderZoneFrame(settings, source.bitmap(), expected.bitmap(), opaque);
        EXPECT_EQ(painted.firstDifference(expected), -1) << "showFrame " << showFrame;
        // The bottom-left corner of the outline (row down - 1, column left - 1), or a black row.
        EXPECT_EQ(showFrame != 0 ? painted.at(8, 4) : painted.at(0, 0),
                  showFrame != 0 ? opaque.outline : opaque.border);
    }
}

}  // namespace
