#include "core/zone_settings.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

namespace {

ZoneSettings freshInstance(std::int32_t w, std::int32_t h) {
    ZoneSettings s{};  // the host's storage is zero-filled
    Pixel32 pixel = 0;
    initZoneSettings(s, FrameBitmap{&pixel, w, h, 0});
    return s;
}

std::string summaryOf(const ZoneSettings& s) {
    char buffer[kSummaryCapacity + 8];
    std::memset(buffer, '#', sizeof buffer);
    formatSummary(s, buffer);
    return buffer;
}

std::string scriptLineOf(const ZoneSettings& s) {
    char buffer[4096];
    EXPECT_TRUE(formatScriptLine(s, buffer, sizeof buffer));
    return buffer;
}

TEST(ZoneSettingsInit, FreshInstanceHasDefaultsAndCapturedSize) {
    ZoneSettings s{};
    s.showFrame = 1;  // a reused record keeps its outline switch; init does not touch it
    Pixel32 pixel = 0;
    EXPECT_EQ(initZoneSettings(s, FrameBitmap{&pixel, 720, 576, 0}), 0);
    EXPECT_EQ(s.up, 1);
    EXPECT_EQ(s.left, 1);
    EXPECT_EQ(s.right, 1);
    EXPECT_EQ(s.down, 1);
    EXPECT_EQ(s.addBorder, 0);
    EXPECT_EQ(s.frameWidth, 720);
    EXPECT_EQ(s.frameHeight, 576);
    EXPECT_EQ(s.showFrame, 1);
    EXPECT_EQ(summaryOf(freshInstance(720, 576)), " (1, 1, 1, 1, 0)");
    EXPECT_EQ(scriptLineOf(freshInstance(720, 576)), "Config(1,1,1,1,0)");
}

struct TextCase {
    std::int32_t up, left, right, down, border;
    const char* summary;
    const char* line;
};

class TextForms : public testing::TestWithParam<TextCase> {};

TEST_P(TextForms, SummaryAndLineShowValuesInCommandOrder) {
    const TextCase& c = GetParam();
    ZoneSettings s = freshInstance(720, 576);
    s.up = c.up, s.left = c.left, s.right = c.right, s.down = c.down, s.addBorder = c.border;
    EXPECT_EQ(summaryOf(s), c.summary);
    EXPECT_EQ(scriptLineOf(s), c.line);
}

INSTANTIATE_TEST_SUITE_P(
    ZoneSettings, TextForms,
    testing::Values(TextCase{3, 5, 7, 9, 1, " (3, 5, 7, 9, 1)", "Config(3,5,7,9,1)"},
                    TextCase{1, 1, 1, 1, 5, " (1, 1, 1, 1, 5)", "Config(1,1,1,1,5)"},
                    TextCase{-2, 1, 1, 1, 0, " (-2, 1, 1, 1, 0)", "Config(-2,1,1,1,0)"},
                    TextCase{INT_MIN, INT_MIN, INT_MIN, INT_MIN, INT_MIN,
                             " (-2147483648, -2147483648, -2147483648, -2147483648, -2147483648)",
                             "Config(-2147483648,-2147483648,-2147483648,-2147483648,-2147483648)"},
                    TextCase{INT_MAX, 0, -1, 30, INT_MAX, " (2147483647, 0, -1, 30, 2147483647)",
                             "Config(2147483647,0,-1,30,2147483647)"}));

TEST(ScriptLine, CommandStoresOnlyItsFiveValuesInOrder) {
    ZoneSettings s = freshInstance(720, 576);
    s.showFrame = 1;
    snapshotSettings(s);
    ZoneSettings expected = s;
    expected.up = 40, expected.left = -7, expected.right = INT_MIN, expected.down = INT_MAX;
    expected.addBorder = -1;
    applyConfigCommand(s, 40, -7, INT_MIN, INT_MAX, -1);
    EXPECT_EQ(s.up, 40);
    EXPECT_EQ(s.left, -7);
    EXPECT_EQ(s.right, INT_MIN);
    EXPECT_EQ(s.down, INT_MAX);
    EXPECT_EQ(s.addBorder, -1);
    EXPECT_EQ(std::memcmp(&s, &expected, sizeof s), 0) << "fields outside the command changed";
}

// The longest line is 67 characters; with its NUL it needs 68 bytes.
struct LengthCase {
    int length;
    bool written;
};

class ScriptLineLength : public testing::TestWithParam<LengthCase> {};

TEST_P(ScriptLineLength, WholeLineOrNothingAndNeverPastLength) {
    const LengthCase& c = GetParam();
    ZoneSettings s = freshInstance(720, 576);
    applyConfigCommand(s, INT_MIN, INT_MIN, INT_MIN, INT_MIN, INT_MIN);
    const std::string line = "Config(-2147483648,-2147483648,-2147483648,-2147483648,-2147483648)";
    char buffer[128];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(formatScriptLine(s, buffer, c.length), c.written);
    if (c.written) {
        EXPECT_EQ(std::string(buffer), line);
    } else if (c.length >= 1) {
        EXPECT_EQ(buffer[0], '\0') << "a refused line must leave an empty string";
    }
    const int untouchedFrom = c.written ? static_cast<int>(line.size()) + 1 : c.length >= 1 ? 1 : 0;
    for (int k = untouchedFrom; k < static_cast<int>(sizeof buffer); ++k)
        ASSERT_EQ(buffer[k], '#') << "byte " << k << " written with length " << c.length;
}

INSTANTIATE_TEST_SUITE_P(ZoneSettings, ScriptLineLength,
                         testing::Values(LengthCase{68, true}, LengthCase{69, true}, LengthCase{4096, true},
                                         LengthCase{67, false}, LengthCase{12, false}, LengthCase{1, false},
                                         LengthCase{0, false}, LengthCase{-1, false},
                                         LengthCase{INT_MIN, false}));

// Each case names the moved margin's partner field itself: up and down pair through frameHeight,
// left and right through frameWidth.
using Field = std::int32_t ZoneSettings::*;

struct CouplingCase {
    const char* name;
    std::int32_t frameWidth, frameHeight;
    ZoneSide moved;
    Field movedField;
    Field partnerField;
    std::int32_t partnerBefore, value;
    bool pushed;
    std::int32_t partnerAfter;
};

void PrintTo(const CouplingCase& c, std::ostream* os) {
    *os << c.name;
}

class Coupling : public testing::TestWithParam<CouplingCase> {};

TEST_P(Coupling, MovedMarginWinsAndPartnerGivesWay) {
    const CouplingCase& c = GetParam();
    ZoneSettings s = freshInstance(c.frameWidth, c.frameHeight);
    s.up = 2, s.left = 3, s.right = 4, s.down = 5;
    s.*c.partnerField = c.partnerBefore;
    ZoneSettings expected = s;
    expected.*c.movedField = c.value;
    expected.*c.partnerField = c.partnerAfter;
    EXPECT_EQ(adjustMargin(s, c.moved, c.value), c.pushed);
    EXPECT_EQ(s.*c.movedField, c.value);
    EXPECT_EQ(s.*c.partnerField, c.partnerAfter);
    // The other axis and every other field stay as they were.
    EXPECT_EQ(std::memcmp(&s, &expected, sizeof s), 0);
}

constexpr std::int32_t kMax = INT_MAX, kMin = INT_MIN;

INSTANTIATE_TEST_SUITE_P(
    ZoneSettings, Coupling,
    testing::Values(CouplingCase{"TallFrameNeverPushes", 720, 576, ZoneSide::Up, &ZoneSettings::up,
                                 &ZoneSettings::down, 30, 30, false, 30},
                    CouplingCase{"LowFramePushesDown", 720, 60, ZoneSide::Up, &ZoneSettings::up,
                                 &ZoneSettings::down, 30, 25, true, 25},
                    CouplingCase{"VeryLowFramePushesBelowOne", 720, 30, ZoneSide::Up, &ZoneSettings::up,
                                 &ZoneSettings::down, 1, 25, true, -5},
                    CouplingCase{"FortyLineFrame", 720, 40, ZoneSide::Up, &ZoneSettings::up,
                                 &ZoneSettings::down, 20, 15, true, 15},
                    CouplingCase{"DownPushesUp", 720, 79, ZoneSide::Down, &ZoneSettings::down,
                                 &ZoneSettings::up, 40, 30, true, 39},
                    CouplingCase{"ExactlyAtLimitDoesNotPush", 720, 60, ZoneSide::Down, &ZoneSettings::down,
                                 &ZoneSettings::up, 25, 25, false, 25},
                    CouplingCase{"WidthPairsLeftAndRight", 40, 576, ZoneSide::Left, &ZoneSettings::left,
                                 &ZoneSettings::right, 20, 15, true, 15},
                    CouplingCase{"RightPushesLeft", 30, 576, ZoneSide::Right, &ZoneSettings::right,
                                 &ZoneSettings::left, 1, 25, true, -5},
                    CouplingCase{"HeightDoesNotCoupleHorizontally", 720, 20, ZoneSide::Right,
                                 &ZoneSettings::right, &ZoneSettings::left, 30, 30, false, 30},
                    CouplingCase{"UnknownHeightLeavesPartner", 720, 0, ZoneSide::Up, &ZoneSettings::up,
                                 &ZoneSettings::down, 1, 30, false, 1},
                    CouplingCase{"UnknownWidthLeavesPartner", 0, 576, ZoneSide::Left, &ZoneSettings::left,
                                 &ZoneSettings::right, 1, 30, false, 1},
                    CouplingCase{"NegativeHeightLeavesPartner", 720, -5, ZoneSide::Down, &ZoneSettings::down,
                                 &ZoneSettings::up, 7, 30, false, 7},
                    CouplingCase{"HugePartnerIsPushedWithoutOverflow", 720, 576, ZoneSide::Up,
                                 &ZoneSettings::up, &ZoneSettings::down, kMax, 1, true, 565},
                    CouplingCase{"HugeNegativePartnerStays", 720, 576, ZoneSide::Up, &ZoneSettings::up,
                                 &ZoneSettings::down, kMin, kMax, false, kMin},
                    CouplingCase{"PushedBelowRangeSaturates", 1, 576, ZoneSide::Left, &ZoneSettings::left,
                                 &ZoneSettings::right, 0, kMax, true, kMin},
                    CouplingCase{"MostNegativeValueLeavesHugePartner", 720, 576, ZoneSide::Right,
                                 &ZoneSettings::right, &ZoneSettings::left, kMax, kMin, false, kMax},
                    CouplingCase{"ValueAtMostRangeBottomNeverPushes", 720, 1, ZoneSide::Down,
                                 &ZoneSettings::down, &ZoneSettings::up, kMin, kMin, false, kMin}),
    [](const testing::TestParamInfo<CouplingCase>& info) { return std::string(info.param.name); });

// The dialog shows a side's margin on its slider, and moves the partner's slider after a push.
TEST(Sides, NameTheirOwnMarginAndTheirPartner) {
    struct Case {
        ZoneSide side;
        std::int32_t margin;
        ZoneSide opposite;
    };
    ZoneSettings s{};
    s.up = 11, s.left = 22, s.right = 33, s.down = 44;
    for (const Case& c :
         {Case{ZoneSide::Up, 11, ZoneSide::Down}, Case{ZoneSide::Left, 22, ZoneSide::Right},
          Case{ZoneSide::Right, 33, ZoneSide::Left}, Case{ZoneSide::Down, 44, ZoneSide::Up}}) {
        EXPECT_EQ(marginOf(s, c.side), c.margin);
        EXPECT_EQ(oppositeSide(c.side), c.opposite) << c.margin;
    }
}

TEST(CapturedSize, RefreshedOnlyByAKnownFrameSize) {
    struct Case {
        std::int32_t w, h, expectedWidth, expectedHeight;
    };
    for (const Case& c : {Case{720, 576, 720, 576}, Case{0, 576, 0, 0}, Case{720, 0, 0, 0},
                          Case{-1, 40, 0, 0}, Case{1, 1, 1, 1}}) {
        ZoneSettings s = freshInstance(0, 0);  // the real host's init sees no frame
        refreshFrameSize(s, c.w, c.h);
        EXPECT_EQ(s.frameWidth, c.expectedWidth) << c.w << " x " << c.h;
        EXPECT_EQ(s.frameHeight, c.expectedHeight) << c.w << " x " << c.h;
    }
}

TEST(Snapshot, RestorePutsBackTheSixValuesOnly) {
    ZoneSettings s = freshInstance(720, 576);
    s.addBorder = 1, s.showFrame = 0, s.up = 3, s.left = 5, s.right = 7, s.down = 9;
    snapshotSettings(s);
    EXPECT_EQ(s.savedAddBorder, 1);
    EXPECT_EQ(s.savedShowFrame, 0);
    EXPECT_EQ(s.savedUp, 3);
    EXPECT_EQ(s.savedLeft, 5);
    EXPECT_EQ(s.savedRight, 7);
    EXPECT_EQ(s.savedDown, 9);

    s.addBorder = 2, s.showFrame = 1, s.up = -1, s.left = INT_MAX, s.right = 0, s.down = 40;
    adjustMargin(s, ZoneSide::Up, 300);
    s.frameWidth = 32;
    s.frameHeight = 24;
    ZoneSettings expected = s;
    expected.addBorder = 1, expected.showFrame = 0, expected.up = 3, expected.left = 5, expected.right = 7;
    expected.down = 9;
    restoreSettings(s);
    EXPECT_EQ(s.showFrame, 0);
    EXPECT_EQ(std::memcmp(&s, &expected, sizeof s), 0) << "the six values, and nothing else, put back";
}

// The record holds the border and "Show frame" as integers, any nonzero value on; the zone is the
// margins and a switch.
TEST(ZoneOfRecord, ReadsAnyNonzeroSwitchAsOn) {
    for (const auto& [border, showFrame] :
         {std::pair{0, 0}, std::pair{1, 1}, std::pair{5, INT_MIN}, std::pair{-1, 2}, std::pair{INT_MIN, 0}}) {
        ZoneSettings s = freshInstance(720, 576);
        applyConfigCommand(s, 3, 5, 7, 9, border);
        s.showFrame = showFrame;
        const Zone zone = zoneOf(s);
        EXPECT_EQ(zone.up, 3);
        EXPECT_EQ(zone.left, 5);
        EXPECT_EQ(zone.right, 7);
        EXPECT_EQ(zone.down, 9);
        EXPECT_EQ(zone.border, border != 0) << border;
        EXPECT_EQ(viewOf(s), showFrame != 0 ? ZoneView::Outline : ZoneView::Shift) << showFrame;
    }
}

TEST(ZoneOfRecord, StoringAZoneLeavesTheRestOfTheRecord) {
    ZoneSettings s = freshInstance(720, 576);
    s.showFrame = 7;
    s.savedUp = 11;
    storeZone(s, Zone{INT_MIN, -2, 40, INT_MAX, true});
    ZoneSettings expected = freshInstance(720, 576);
    expected.showFrame = 7;
    expected.savedUp = 11;
    expected.up = INT_MIN, expected.left = -2, expected.right = 40, expected.down = INT_MAX,
    expected.addBorder = 1;
    EXPECT_EQ(std::memcmp(&s, &expected, sizeof s), 0);
    storeZone(s, Zone{});
    EXPECT_EQ(scriptLineOf(s), "Config(1,1,1,1,0)");
}

}  // namespace
