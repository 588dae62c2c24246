#include "core/zone_geometry.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

// Found by the tests' messages beside Span itself.
void PrintTo(const Span& span, std::ostream* os) {
    *os << "[" << span.begin << ", " << span.end << ")";
}

namespace {

// What a zone means for a frame, worked out by hand from the margins' rules.
struct GeometryCase {
    const char* name;
    Zone zone;
    std::int32_t w, h;
    std::int64_t dx, dy;
    Span windowRows, windowColumns;
    std::int64_t bottomRow, topRow, leftColumn, rightColumn;
    std::int64_t width, height;
};

void PrintTo(const GeometryCase& c, std::ostream* os) {
    *os << c.name;
}

class Geometry : public testing::TestWithParam<GeometryCase> {};

TEST_P(Geometry, GivesShiftsWindowOutlineAndSize) {
    const GeometryCase& c = GetParam();
    const ZoneGeometry g = zoneGeometry(c.zone, c.w, c.h);
    EXPECT_EQ(g.dx, c.dx);
    EXPECT_EQ(g.dy, c.dy);
    EXPECT_EQ(g.border, c.zone.border);
    EXPECT_EQ(g.windowRows, c.windowRows);
    EXPECT_EQ(g.windowColumns, c.windowColumns);
    EXPECT_EQ(g.bottomRow, c.bottomRow);
    EXPECT_EQ(g.topRow, c.topRow);
    EXPECT_EQ(g.leftColumn, c.leftColumn);
    EXPECT_EQ(g.rightColumn, c.rightColumn);
    EXPECT_EQ(g.width, c.width);
    EXPECT_EQ(g.height, c.height);
}

constexpr std::int64_t kBeyond = std::int64_t{1} << 31;

INSTANTIATE_TEST_SUITE_P(
    ZoneGeometry, Geometry,
    testing::Values(
        GeometryCase{"Defaults", {}, 40, 30, 0, 0, {0, 30}, {0, 40}, 0, 29, 0, 39, 40, 30},
        GeometryCase{
            "Pal", {3, 5, 7, 9, true}, 720, 576, -1, 3, {5, 571}, {5, 715}, 8, 573, 4, 713, 710, 566},
        GeometryCase{"OddSumsRoundTowardsMinusInfinity",
                     {1, 2, 3, 2},
                     16,
                     10,
                     -1,
                     0,
                     {0, 10},
                     {1, 15},
                     1,
                     9,
                     1,
                     13,
                     13,
                     9},
        GeometryCase{"CrossedMargins", {8, 9, 9, 8, true}, 12, 10, 0, 0, {7, 3}, {8, 4}, 7, 2, 8, 3, -4, -4},
        GeometryCase{"HostileMargins",
                     {INT_MIN, INT_MAX, INT_MIN, INT_MAX, true},
                     10,
                     10,
                     kBeyond - 1,
                     kBeyond - 1,
                     {-2, 12},
                     {-2, 12},
                     kBeyond - 2,
                     10 + kBeyond,
                     kBeyond - 2,
                     10 + kBeyond,
                     13,
                     13}),
    [](const testing::TestParamInfo<GeometryCase>& info) { return info.param.name; });

// An interlaced frame's vertical shift: the nearest multiple, the lower one on a tie; the window
// moves by what the rounding took away.
struct FieldCase {
    std::int64_t dy, rows, used;
};

class FieldRounding : public testing::TestWithParam<FieldCase> {};

TEST_P(FieldRounding, ToTheNearestMultipleAndTheWindowFollows) {
    const FieldCase& c = GetParam();
    ZoneGeometry exact{};
    exact.dy = c.dy;
    exact.windowRows = {10, 20};
    const ZoneGeometry kept = keepingFields(exact, c.rows);
    EXPECT_EQ(kept.dy, c.used);
    EXPECT_EQ(kept.windowRows, (Span{10 + c.dy - c.used, 20 + c.dy - c.used}));
}

INSTANTIATE_TEST_SUITE_P(ZoneGeometry, FieldRounding,
                         testing::Values(FieldCase{0, 2, 0}, FieldCase{1, 2, 0}, FieldCase{2, 2, 2},
                                         FieldCase{3, 2, 2}, FieldCase{-1, 2, -2}, FieldCase{-2, 2, -2},
                                         FieldCase{-3, 2, -4}, FieldCase{1, 4, 0}, FieldCase{2, 4, 0},
                                         FieldCase{3, 4, 4}, FieldCase{5, 4, 4}, FieldCase{6, 4, 4},
                                         FieldCase{7, 4, 8}, FieldCase{-1, 4, 0}, FieldCase{-2, 4, -4},
                                         FieldCase{-3, 4, -4}, FieldCase{-6, 4, -8}, FieldCase{4, 8, 0},
                                         FieldCase{5, 8, 8}, FieldCase{kBeyond - 1, 4, kBeyond},
                                         FieldCase{-kBeyond, 4, -kBeyond}));

// Which plane sample covers each full-size sample, counted as the transform counts (rows from the
// bottom), with the grid from the top-left; and the samples covering a run of full-size samples.
struct AxisCase {
    const char* name;
    SampleAxis axis;
    std::int64_t length;
    std::vector<std::int64_t> sampleOf;
    std::vector<std::pair<Span, Span>> covers;
};

void PrintTo(const AxisCase& c, std::ostream* os) {
    *os << c.name;
}

class Axis : public testing::TestWithParam<AxisCase> {};

TEST_P(Axis, MapsFullSizeSamplesToTheSamplesCoveringThem) {
    const AxisCase& c = GetParam();
    EXPECT_EQ(c.axis.length(), c.length);
    for (std::size_t k = 0; k < c.sampleOf.size(); ++k)
        EXPECT_EQ(c.axis.sampleOf(static_cast<std::int64_t>(k)), c.sampleOf[k]) << "full-size sample " << k;
    for (const auto& [full, plane] : c.covers)
        EXPECT_EQ(c.axis.cover(full), plane) << "full-size samples " << full.begin << " to " << full.end - 1;
}

INSTANTIATE_TEST_SUITE_P(
    ZoneGeometry, Axis,
    testing::Values(
        AxisCase{"FullSize",
                 SampleAxis::rows(5, 0, false),
                 5,
                 {0, 1, 2, 3, 4},
                 {{{1, 4}, {1, 4}}, {{2, 2}, {0, 0}}}},
        AxisCase{"HalvedColumnsOddWidth",
                 SampleAxis::columns(9, 1),
                 5,
                 {0, 0, 1, 1, 2, 2, 3, 3, 4},
                 {{{3, 7}, {1, 4}}, {{8, 9}, {4, 5}}, {{0, 9}, {0, 5}}}},
        AxisCase{"QuarteredColumns",
                 SampleAxis::columns(10, 2),
                 3,
                 {0, 0, 0, 0, 1, 1, 1, 1, 2, 2},
                 {{{3, 5}, {0, 2}}}},
        AxisCase{"HalvedRowsEvenHeight",
                 SampleAxis::rows(8, 1, false),
                 4,
                 {0, 0, 1, 1, 2, 2, 3, 3},
                 {{{2, 6}, {1, 3}}, {{3, 4}, {1, 2}}}},
        // The grid starts at the top, so the bottom chroma row covers the one row left over.
        AxisCase{"HalvedRowsOddHeight",
                 SampleAxis::rows(5, 1, false),
                 3,
                 {0, 1, 1, 2, 2},
                 {{{1, 2}, {1, 2}}, {{0, 2}, {0, 2}}, {{2, 4}, {1, 3}}}},
        // From the top, chroma rows cover lines 0 and 2, 1 and 3, 4 and 6, 5 and 7.
        AxisCase{"InterlacedHalvedRows",
                 SampleAxis::rows(8, 1, true),
                 4,
                 {0, 1, 0, 1, 2, 3, 2, 3},
                 {{{2, 3}, {0, 1}}, {{1, 3}, {0, 2}}, {{3, 5}, {1, 3}}, {{2, 6}, {0, 4}}, {{0, 8}, {0, 4}}}},
        // Six lines: field 0 (lines 0, 2, 4 from the top) has chroma rows 0 and 2, field 1 row 1 only.
        AxisCase{"InterlacedHalvedRowsLeftOver",
                 SampleAxis::rows(6, 1, true),
                 3,
                 {1, 0, 1, 2, 1, 2},
                 {{{0, 2}, {0, 2}}, {{3, 6}, {1, 3}}}},
        AxisCase{
            "InterlacedFullSizeRows", SampleAxis::rows(4, 0, true), 4, {0, 1, 2, 3}, {{{1, 3}, {1, 3}}}}),
    [](const testing::TestParamInfo<AxisCase>& info) { return info.param.name; });

// The geometry of a 720 x 576 4:2:0 chroma plane for Config(3,5,7,9,1), worked out by hand: the
// luma window rows 5..570 and columns 5..714, the outline on rows 8 and 573 and columns 4 and 713.
TEST(PlaneGeometry, MapsTheZoneOntoAChromaPlane) {
    const PlaneGeometry g = planeGeometry(zoneGeometry(Zone{3, 5, 7, 9, true}, 720, 576),
                                          SampleAxis::columns(720, 1), SampleAxis::rows(576, 1, false));
    EXPECT_EQ(g.w, 360);
    EXPECT_EQ(g.h, 288);
    EXPECT_EQ(g.dx, -1);
    EXPECT_EQ(g.dy, 1);
    EXPECT_EQ(g.keptRows, (Span{2, 286}));
    EXPECT_EQ(g.keptColumns, (Span{2, 358}));
    EXPECT_EQ(g.outlineRows[0], 4);
    EXPECT_EQ(g.outlineRows[1], 286);
    EXPECT_EQ(g.outlineRowColumns, (Span{2, 357}));
    EXPECT_EQ(g.outlineColumns[0], 2);
    EXPECT_EQ(g.outlineColumns[1], 356);
    EXPECT_EQ(g.outlineColumnRows, (Span{4, 287}));
}

TEST(PlaneGeometry, LeavesOutLinesOutsideThePlaneAndKeepsEverythingWithoutBorder) {
    const PlaneGeometry g = planeGeometry(zoneGeometry(Zone{-3, 40, 2, 1, false}, 20, 10),
                                          SampleAxis::columns(20, 0), SampleAxis::rows(10, 0, false));
    EXPECT_EQ(g.keptRows, (Span{0, 10}));
    EXPECT_EQ(g.keptColumns, (Span{0, 20}));
    EXPECT_EQ(g.outlineRows[0], 0);
    EXPECT_EQ(g.outlineRows[1], PlaneGeometry::kNoLine);
    EXPECT_EQ(g.outlineColumns[0], PlaneGeometry::kNoLine);
    EXPECT_EQ(g.outlineColumns[1], 18);
    EXPECT_EQ(g.outlineRowColumns, (Span{0, 0})) << "the left column lies right of the right one";
}

TEST(LeastZone, IsTwelvePixelsWhenTwoMarginsSumToTheDimensionLessTen) {
    EXPECT_EQ(kLeastZoneSize, 12);
    EXPECT_EQ(zoneLength(576, 30, 536), kLeastZoneSize);
    EXPECT_EQ(zoneLength(60, 25, 25), kLeastZoneSize);
    EXPECT_EQ(zoneLength(720, 1, 1), 720);
}

}  // namespace
