// Each step of the zone finder on lines built by hand, with the expected values written out.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "suggest/dead_lines.h"
#include "suggest/edge_spread.h"
#include "suggest/head_switching.h"
#include "suggest/lasting_structure.h"
#include "suggest/line_statistics.h"
#include "suggest/partial_lines.h"
#include "suggest/ragged_edge.h"

namespace {

// A frame of one grey level, into which tests paint lines.
CaptureFrame flatFrame(int w, int h, int level) {
    CaptureFrame frame;
    frame.w = w, frame.h = h;
    frame.y.assign(static_cast<std::size_t>(w) * h, static_cast<std::uint8_t>(level));
    frame.cb.assign(frame.y.size(), 128);
    frame.cr.assign(frame.y.size(), 128);
    return frame;
}

// Texture that continues from row to row, as a picture's does.
int texture(int x, int y) {
    return 120 + static_cast<int>(40 * std::sin(x * 0.07 + y * 0.03) + 25 * std::sin(x * 0.31 - y * 0.05));
}

LineStats stats(float y, float spread, bool structured, float cb = 128, float cr = 128) {
    LineStats s;
    s.meanY = y, s.spread = spread, s.structured = structured, s.meanCb = cb, s.meanCr = cr;
    s.localSpread = spread;
    return s;
}

// Varying only slowly along its length: shading, a gradient.
LineStats shaded(float y, float spread) {
    LineStats s = stats(y, spread, false);
    s.localSpread = 0.5f;
    return s;
}

// Flat but for an object somewhere in its middle that the next line shares.
LineStats partly(float y, float spread) {
    LineStats s = stats(y, spread, false);
    s.partlyStructured = true;
    return s;
}

LineStats moved(float y, float cb, float cr) {
    LineStats s = stats(y, 6, true, cb, cr);
    s.betweenNeighbours = true;
    return s;
}

struct KindCase {
    const char* name;
    LineStats line;
    LineKind kind;
};

TEST(DeadLines, ClassifiesLinesByStructureLevelAndColour) {
    const float noise = 2.0f;  // noiseSpread(2) = 1.06
    const KindCase cases[] = {
        {"overscan: flat, dark, grey", stats(6, 0.5f, false), LineKind::Blank},
        {"lifted blanking", stats(40, 0.5f, false), LineKind::Blank},
        {"a bright stripe", stats(200, 0.5f, false), LineKind::Flat},
        {"a bright stripe that wavers a little", stats(184, 1.3f, false), LineKind::Flat},
        {"a bright coloured line that wavers a little", stats(184, 1.3f, false, 150, 128), LineKind::Picture},
        {"a blue test bar, dark but coloured", stats(41, 0.3f, false, 240, 110), LineKind::Flat},
        {"teletext on blanking", stats(70, 30, false), LineKind::Data},
        {"picture", stats(120, 30, true), LineKind::Picture},
        {"bright incoherent line: picture, not data", stats(170, 30, false), LineKind::Picture},
        {"a grey line, flat but for an object: picture", partly(100, 12), LineKind::Picture},
        {"a dark line with a star: data at the sky's level", partly(30, 4), LineKind::Data},
        {"grey data: pulses on blanking", stats(110, 30, false), LineKind::Data},
        {"a grey line shaded along its length: picture", shaded(110, 8), LineKind::Picture},
        {"dark shading may be the blanking's: data", shaded(40, 8), LineKind::Data},
        {"a burst moved sideways: tinted, dark", moved(38, 150, 110), LineKind::Data},
        {"a bright line moved sideways is picture", moved(170, 128, 128), LineKind::Picture},
        {"a strongly coloured line moved sideways is picture", moved(40, 200, 90), LineKind::Picture},
    };
    for (const KindCase& c : cases)
        EXPECT_EQ(classifyLine(c.line, noise), c.kind) << c.name;
}

struct RunCase {
    const char* name;
    std::vector<LineStats> lines;
    int end;
};

std::vector<LineStats> repeat(std::vector<LineStats> lines, const LineStats& line, int count) {
    for (int k = 0; k < count; ++k)
        lines.push_back(line);
    return lines;
}

TEST(DeadLines, RunEndsWhereThePictureStarts) {
    const LineStats blank = stats(5, 0.3f, false), picture = stats(120, 30, true);
    const LineStats stripe = stats(190, 0.3f, false), white = stats(235, 0.2f, false);
    const LineStats card = stats(2, 0.3f, false), lifted = stats(35, 0.3f, false);
    // Line means waver by a tenth of a level or so (noise over the line's length).
    const auto waver = [](int d) { return 0.08f * std::sin(static_cast<float>(d) * 2.3f); };
    std::vector<LineStats> sky, faintSky, starrySky, levelThenDrift, flatNoisy, blurredIntoPicture, clearing;
    // A black bar whose first lines carry a head-switching band's noise, clipped at black: brighter.
    for (const float level : {18.8f, 18.4f, 17.9f, 17.4f, 17.2f, 17.0f})
        clearing.push_back(stats(level, 0.5f, false));
    clearing = repeat(clearing, stats(16.9f, 0.2f, false), 20);
    for (int d = 0; d < 40; ++d)
        sky.push_back(stats(18 + 0.1f * d, 0.4f, false));
    for (int d = 0; d < 30; ++d) {
        faintSky.push_back(stats(18 + 0.03f * d + waver(d), 0.4f, false));
        // Lines with a star are data lines, a little brighter than the sky about them.
        starrySky.push_back(d % 7 == 0 ? stats(18.5f + 0.03f * d, 4, false)
                                       : stats(18 + 0.03f * d + waver(d), 0.4f, false));
        flatNoisy.push_back(stats(18 + waver(d), 0.4f, false));
        levelThenDrift.push_back(stats(18 + (d < 15 ? 0 : 0.1f * (d - 15)) + waver(d), 0.4f, false));
    }
    blurredIntoPicture = flatNoisy;
    blurredIntoPicture.push_back(stats(18.3f, 0.4f, false));
    blurredIntoPicture.push_back(stats(18.8f, 0.4f, false));
    for (auto* lines :
         {&sky, &faintSky, &starrySky, &levelThenDrift, &flatNoisy, &blurredIntoPicture, &clearing})
        lines->push_back(picture);
    const RunCase cases[] = {
        {"overscan", repeat(repeat({}, blank, 7), picture, 3), 7},
        {"overscan and a stripe", repeat(repeat(repeat({}, blank, 5), stripe, 2), picture, 3), 7},
        {"a sync remnant inside the blanking",
         repeat(repeat(repeat(repeat({}, card, 2), stripe, 3), blank, 4), picture, 2), 9},
        {"card black then lifted blanking", repeat(repeat(repeat({}, card, 3), lifted, 6), picture, 2), 9},
        {"a wide white bar is picture", repeat(repeat({}, white, 30), picture, 2), 0},
        {"a night sky drifts from its first line: all picture", sky, 0},
        {"a faint sky's drift reaches the picture before it shows plainly", faintSky, 0},
        {"a sky's lines with a star are data lines at its level", starrySky, 0},
        // Blanking that a codec's blur brightens towards the picture keeps its lines up to the first
        // plainly off the level (0.4).
        {"a blank level that a drift follows: picture from the first line off it", levelThenDrift, 20},
        {"a blank level that wavers reaches the picture", flatNoisy, 30},
        {"a blank level blurred into the picture", blurredIntoPicture, 32},
        {"a level that falls as noise clears is no sky", clearing, 26},
        {"picture at once", repeat({}, picture, 5), 0},
    };
    for (const RunCase& c : cases)
        EXPECT_EQ(deadRunEnd(c.lines, 2.0f), c.end) << c.name;
}

TEST(DeadLines, PictureBlackBandInsideTheDeadLines) {
    const LineStats card = stats(2, 0.3f, false), black = stats(16.5f, 0.3f, false),
                    blur = stats(40, 0.5f, false);
    std::vector<LineStats> lines = repeat(repeat({}, card, 4), black, 30);
    EXPECT_EQ(pictureBlackStart(lines, 34, 16), 4);
    // The band's edge blurred into the picture over a few lines (a chain's blur across columns);
    // wider than that, the dead lines after the black are no blur.
    const struct { int blurred, start; } edges[] = {{1, 4}, {3, 4}, {4, 4}, {5, 39}};
    for (const auto& edge : edges)
        EXPECT_EQ(pictureBlackStart(repeat(lines, blur, edge.blurred), 34 + edge.blurred, 16), edge.start)
            << edge.blurred << " blurred lines";
    EXPECT_EQ(pictureBlackStart(repeat({}, card, 6), 6, 16), 6) << "no band at the picture's black";
    // Head switching's noise at the edge of a band that reaches it: at black, far from flat.
    const float noise = 2.0f;  // noiseSpread(2) = 1.06
    const LineStats noisy = stats(18, 4.0f, false);
    const std::vector<LineStats> torn = repeat(repeat({}, noisy, 3), black, 30);
    EXPECT_EQ(pictureBlackStart(torn, 33, 16), 0);
    EXPECT_EQ(noisyBlackLines(torn, 33, 16, noise), 3);
    EXPECT_EQ(noisyBlackLines(repeat({}, black, 30), 30, 16, noise), 0);
}

TEST(LineStatistics, StructureIsSharedWithTheNextLine) {
    CaptureFrame frame = flatFrame(256, 64, 6);
    std::mt19937 random(3);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 256; ++x) {
            const int noise = static_cast<int>(random() % 7) - 3;
            frame.y[frame.at(x, y)] = static_cast<std::uint8_t>(y < 10 ? 6 + noise : texture(x, y) + noise);
        }
    const SideLines lines{frame, ZoneSide::Up, 0, 256};
    const float noise = frameNoise(frame);
    EXPECT_GT(noise, 1.0f);
    EXPECT_LT(noise, 4.0f);
    const std::vector<LineStats> s = lineStatistics(lines, 30, noise);
    for (int d = 0; d < 9; ++d)
        EXPECT_FALSE(s[static_cast<std::size_t>(d)].structured) << "noise, line " << d;
    for (int d = 10; d < 30; ++d)
        EXPECT_TRUE(s[static_cast<std::size_t>(d)].structured) << "picture, line " << d;
    EXPECT_EQ(deadRunEnd(s, noise), 10);
}

// Rows 2048 wide, each as the one above it, with noise: `bars` flat bars of distinct levels, from
// column `from` on (blank before it). Each step lies within one stretch of 64, so the steps fill
// less than a quarter of them.
struct WideRowCase {
    const char* name;
    int bars, from;
    bool structured;
};

TEST(LineStatistics, FewStepsAllAlongALineArePicture) {
    const WideRowCase cases[] = {
        {"eight wide colour bars", 8, 0, true},
        {"seven wide bars", 7, 0, true},
        {"bars only in the last sixth: picture at a blank line's end", 8, 1700, false},
        {"no steps at all", 1, 0, false},
    };
    for (const WideRowCase& c : cases) {
        CaptureFrame frame = flatFrame(2048, 16, 16);
        std::mt19937 random(7);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 2048; ++x) {
                const int bar = x < c.from ? 0 : 1 + (x - c.from) * c.bars / (2048 - c.from);
                const int noise = static_cast<int>(random() % 3) - 1;
                frame.y[frame.at(x, y)] = static_cast<std::uint8_t>(16 + 25 * (bar % 8) + noise);
            }
        const std::vector<LineStats> s = lineStatistics({frame, ZoneSide::Up, 0, 2048}, 8, 0.8f);
        for (int d = 0; d < 8; ++d)
            EXPECT_EQ(s[static_cast<std::size_t>(d)].structured, c.structured) << c.name << ", row " << d;
    }
}

// Grey rows 720 wide with noise and, in columns `from` to `from` + 60, an object: the same in every
// row, or new in every row as data is.
struct ObjectRowCase {
    const char* name;
    int from;
    bool alike;
    bool partly;
};

TEST(LineStatistics, AnObjectInAFlatLineIsPicture) {
    const ObjectRowCase cases[] = {
        {"an object in the middle", 330, true, true},
        {"an object at the line's end", 680, true, false},
        {"data new in every row", 330, false, false},
        {"noise alone", 720, true, false},
    };
    for (const ObjectRowCase& c : cases) {
        CaptureFrame frame = flatFrame(720, 16, 100);
        std::mt19937 random(11);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 720; ++x) {
                const int noise = static_cast<int>(random() % 5) - 2;
                const bool object = x >= c.from && x < c.from + 60;
                const int level = !object   ? 100
                                  : c.alike ? texture(x, 0)
                                            : 60 + static_cast<int>(random() % 120);
                frame.y[frame.at(x, y)] = static_cast<std::uint8_t>(level + noise);
            }
        const SideLines lines{frame, ZoneSide::Down, 0, 720};
        const float noise = frameNoise(frame);
        const std::vector<LineStats> s = lineStatistics(lines, 8, noise);
        for (int d = 0; d < 8; ++d) {
            EXPECT_FALSE(s[static_cast<std::size_t>(d)].structured) << c.name << ", row " << d;
            EXPECT_EQ(s[static_cast<std::size_t>(d)].partlyStructured, c.partly) << c.name << ", row " << d;
        }
        if (c.partly) {
            EXPECT_EQ(deadRunEnd(s, noise), 0) << c.name;
        }
        // Columns by the sides cross ragged edges and timebase error: only whole structure counts.
        CaptureFrame turned = flatFrame(16, 720, 100);
        for (int y = 0; y < 720; ++y)
            for (int x = 0; x < 16; ++x)
                turned.y[turned.at(x, y)] = frame.y[frame.at(y, x)];
        const std::vector<LineStats> columns = lineStatistics({turned, ZoneSide::Left, 0, 720}, 8, noise);
        for (int d = 0; d < 8; ++d)
            EXPECT_FALSE(columns[static_cast<std::size_t>(d)].partlyStructured) << c.name << ", column " << d;
    }
}

struct LevelRowCase {
    const char* name;
    int (*level)(int x, int y);
    LineKind kind;
};

int gradient(int x, int) {
    return 124 - x * 32 / 720;
}
// Teletext: bits 3 pixels wide, new on every row.
int teletext(int x, int y) {
    std::uint32_t bit =
        static_cast<std::uint32_t>(x / 3) * 0x9E3779B9u ^ static_cast<std::uint32_t>(y) * 0x85EBCA6Bu;
    bit ^= bit >> 15, bit *= 0x2C1B3C6Du, bit ^= bit >> 12;
    return bit & 1 ? 166 : 40;
}

TEST(LineStatistics, ShadingIsPictureAndPulsesAreData) {
    const LevelRowCase cases[] = {
        {"a grey gradient along the rows", gradient, LineKind::Picture},
        {"teletext", teletext, LineKind::Data},
    };
    // Noise of a capture's strength (a deviation of about 3): the gradient's change within a stretch
    // stays under the structure the rows must share to be picture on that count alone.
    for (const LevelRowCase& c : cases) {
        CaptureFrame frame = flatFrame(720, 16, 100);
        std::mt19937 random(13);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 720; ++x)
                frame.y[frame.at(x, y)] =
                    static_cast<std::uint8_t>(c.level(x, y) + static_cast<int>(random() % 11) - 5);
        const float noise = frameNoise(frame);
        const std::vector<LineStats> s = lineStatistics({frame, ZoneSide::Down, 0, 720}, 8, noise);
        for (int d = 0; d < 8; ++d)
            EXPECT_EQ(classifyLine(s[static_cast<std::size_t>(d)], noise), c.kind) << c.name << ", row " << d;
    }
}

// Left side of a capture whose rows are moved sideways by timebase error: sync tip at 2 for 4
// columns, porch at `porch` for 3, a burst (tinted) for 4, the bar at `bar` up to column 18, then the
// picture. Row y is moved by `shift(y)` columns.
CaptureFrame shiftedBlanking(int porch, int bar, int pictureLevel, int (*shift)(int)) {
    CaptureFrame frame = flatFrame(160, 96, 2);
    std::mt19937 random(5);
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 160; ++x) {
            const int u = x - shift(y);
            const int noise = static_cast<int>(random() % 3) - 1;
            int level = 2, cb = 128, cr = 128;
            if (u >= 18)
                level = pictureLevel + (texture(y, x) - 120) / 2;
            else if (u >= 11)
                level = bar;
            else if (u >= 7)
                level = bar + 2, cb = 150, cr = 110;
            else if (u >= 4)
                level = porch;
            const std::size_t at = frame.at(x, y);
            frame.y[at] = static_cast<std::uint8_t>(std::clamp(level + noise, 0, 255));
            frame.cb[at] = static_cast<std::uint8_t>(cb), frame.cr[at] = static_cast<std::uint8_t>(cr);
        }
    return frame;
}

int noShift(int) {
    return 0;
}
// Two pixels either way, changing every few rows, as a wandering timebase does.
int wander(int y) {
    return static_cast<int>(std::lround(2 * std::sin(y * 0.45) + 0.6 * std::sin(y * 1.7)));
}

struct ShiftedCase {
    const char* name;
    int porch, bar, picture;
    int (*shift)(int);
    int leastEnd, mostEnd;  // where the dead columns may end: the picture shows first at 18 + least shift
};

TEST(LineStatistics, BlankingMovedSidewaysIsNotPicture) {
    const ShiftedCase cases[] = {
        {"lifted blanking, steady", 34, 30, 130, noShift, 18, 18},
        {"lifted blanking, timebase error", 34, 30, 130, wander, 15, 18},
        {"card-black bar, timebase error", 12, 8, 130, wander, 15, 18},
        {"timebase error, dark picture after the bar", 34, 30, 60, wander, 15, 18},
    };
    for (const ShiftedCase& c : cases) {
        const CaptureFrame frame = shiftedBlanking(c.porch, c.bar, c.picture, c.shift);
        const SideLines lines{frame, ZoneSide::Left, 0, frame.h};
        const std::vector<LineStats> s = lineStatistics(lines, 40, 1.0f);
        const int end = deadRunEnd(s, 1.0f);
        EXPECT_GE(end, c.leastEnd) << c.name;
        EXPECT_LE(end, c.mostEnd) << c.name;
    }
}

TEST(LineStatistics, PictureStepsAreNotBlankingMovedSideways) {
    // A picture's columns, steps between its own levels included.
    CaptureFrame frame = flatFrame(160, 96, 20);
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 160; ++x)
            frame.y[frame.at(x, y)] = static_cast<std::uint8_t>(texture(y, x));
    const SideLines lines{frame, ZoneSide::Left, 0, frame.h};
    const std::vector<LineStats> s = lineStatistics(lines, 40, 1.0f);
    for (int d = 0; d < 40; ++d)
        EXPECT_FALSE(s[static_cast<std::size_t>(d)].betweenNeighbours) << "picture column " << d;
    EXPECT_EQ(deadRunEnd(s, 1.0f), 0);
}

TEST(LineStatistics, ReachedMaximum) {
    EXPECT_EQ(reachedMaximum({}, 3, 0.1f), -1);
    EXPECT_EQ(reachedMaximum({1, 2, 2, 3, 4, 5, 40}, 3, 0.1f), 5) << "one frame far apart is content";
    EXPECT_EQ(reachedMaximum({1, 2, 3, 4, 40, 41, 42}, 3, 0.1f), 42) << "many frames past a gap are damage";
    EXPECT_EQ(reachedMaximum({3, 3, 3, 6, 9, 12}, 3, 0.1f), 12) << "drift by degrees";
}

TEST(RaggedEdge, StartsFollowEachLineAndIgnoreDarkContent) {
    // Left side: a bar of 10 columns at level 4, each row's picture starting 0 to 4 columns later;
    // rows 40 to 49 have dark content reaching 30 columns in.
    CaptureFrame frame = flatFrame(200, 120, 4);
    for (int y = 0; y < 120; ++y) {
        const int start = 10 + (y * 7) % 5;
        for (int x = start; x < 200; ++x)
            frame.y[frame.at(x, y)] = static_cast<std::uint8_t>(y >= 40 && y < 50 && x < 40 ? 5 : 150);
    }
    const SideLines lines{frame, ZoneSide::Left, 0, 120};
    const BarLevel bar = barLevelOf(lines, 10, BarLevel{});
    EXPECT_NEAR(bar.y, 4, 0.5);
    const std::vector<LineStart> starts = lineStarts(lines, 10, 28, bar);
    ASSERT_EQ(starts.size(), 110u) << "the dark rows say nothing";
    EXPECT_EQ(starts[0].start, 10);
    EXPECT_EQ(starts[1].start, 12);
    EXPECT_EQ(starts[40].t, 50);
    EXPECT_EQ(raggedReach(starts), 14) << "the deepest jitter, not the dark content";
}

TEST(RaggedEdge, JitterReachesAPixelPastItsLateStarts) {
    const auto startsAt = [](std::vector<int> columns) {
        std::vector<LineStart> starts;
        for (int t = 0; t < 100; ++t)
            starts.push_back(LineStart{t, columns[static_cast<std::size_t>(t) % columns.size()], 100, 0});
        return starts;
    };
    const struct {
        const char* name;
        std::vector<int> columns;
        int reach;
    } cases[] = {
        // One line in 20 starts a pixel late: a ragged edge's narrowest jitter (a sharp edge's too),
        // or the late phase of a blurred one.
        {"one line in 20 a pixel late",
         {10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 11},
         11},
        {"jitter from 9 to 11", {9, 10, 11, 10}, 11},
    };
    for (const auto& c : cases)
        EXPECT_EQ(raggedReach(startsAt(c.columns)), c.reach) << c.name;
}

struct StartCase {
    const char* name;
    std::vector<std::pair<int, int>> spans;  // (columns, level) from the left edge, then the picture
    int start;                               // where the picture starts: -1 for nowhere
};

TEST(RaggedEdge, RemnantsWithinTheBlankingAreNotThePicturesStart) {
    const StartCase cases[] = {
        {"a bar, then the picture", {{10, 4}}, 10},
        {"sync tip, lifted porch, then the bar", {{3, 2}, {3, 38}, {6, 30}}, 12},
        {"sync tip, then lifted blanking", {{4, 1}, {9, 45}}, 13},
        {"a dark, flat picture never starts", {{10, 4}, {40, 60}}, -1},
    };
    for (const StartCase& c : cases) {
        CaptureFrame frame = flatFrame(120, 40, 150);
        for (int y = 0; y < 40; ++y) {
            int x = 0;
            for (const auto& [columns, level] : c.spans)
                for (int k = 0; k < columns; ++k, ++x)
                    frame.y[frame.at(x, y)] = static_cast<std::uint8_t>(level);
        }
        const SideLines lines{frame, ZoneSide::Left, 0, 40};
        BarLevel bar;
        bar.y = static_cast<float>(c.spans.front().second), bar.noise = 1;
        const std::vector<LineStart> starts = lineStarts(lines, 0, 28, bar);
        if (c.start < 0) {
            EXPECT_TRUE(starts.empty()) << c.name;
            continue;
        }
        ASSERT_EQ(starts.size(), 40u) << c.name;
        for (const LineStart& s : starts)
            EXPECT_EQ(s.start, c.start) << c.name << ", row " << s.t;
    }
}

// The spread of a left bar (columns 0 to 7) into the picture, pooled over every row; `firstStart`,
// when given, gets the first row's start (-1 without one).
EdgeSpread leftSpread(const CaptureFrame& frame, int* firstStart = nullptr) {
    const SideLines lines{frame, ZoneSide::Left, 0, frame.h};
    const BarLevel bar = barLevelOf(lines, 8, BarLevel{});
    const std::vector<LineStart> starts = lineStarts(lines, 8, 28, bar);
    if (firstStart) *firstStart = starts.empty() ? -1 : starts.front().start;
    EdgeSpread spread;
    for (const LineStart& start : starts)
        spread.add(lines, start.t, start, bar);
    return spread;
}

TEST(EdgeSpread, SharpEdgesReachNothingBlurredOnesAPixelOrMore) {
    for (const bool blurred : {false, true}) {
        CaptureFrame frame = flatFrame(80, 100, 4);
        for (int y = 0; y < 100; ++y)
            for (int x = 10; x < 80; ++x)
                frame.y[frame.at(x, y)] = 160;
        if (blurred)
            for (int y = 0; y < 100; ++y) {
                frame.y[frame.at(9, y)] = 30;
                frame.y[frame.at(10, y)] = 100;
                frame.y[frame.at(11, y)] = 145;
                frame.y[frame.at(12, y)] = 157;
            }
        const EdgeSpread spread = leftSpread(frame);
        if (blurred) {
            // Starts at column 9 (30 is off the bar): residuals 0.17, 0.62, 0.10, 0.02 of the step.
            EXPECT_GE(spread.reach(), 3);
            EXPECT_NEAR(spread.lumaResidual(1), (100.0 - 160) / (4 - 160), 0.01);
        } else {
            EXPECT_EQ(spread.reach(), -1);
        }
    }
}

TEST(EdgeSpread, RingingReachesAsFarAsItsTailExceedsTheTruth) {
    // Steps from 4 to 200 at column 10 that ring. The truth allows 2 levels.
    const struct {
        const char* name;
        std::vector<int> ring;  // columns 10 on
        int least;              // the reach at least, counted from the start at column 10
    } cases[] = {
        // Still 3 levels off the picture at column 14.
        {"a tail seen to column 14", {120, 214, 190, 201, 197}, 4},
        // Lobes either way that settle within the tolerance by column 13: the kernel's far lobes
        // are still there beside a picture that differs more from the bar than this one does.
        {"lobes that settle at once", {120, 212, 192, 200}, 6},
    };
    for (const auto& c : cases) {
        CaptureFrame frame = flatFrame(80, 100, 4);
        for (int y = 0; y < 100; ++y)
            for (int x = 10; x < 80; ++x) {
                const std::size_t k = static_cast<std::size_t>(x - 10);
                frame.y[frame.at(x, y)] = static_cast<std::uint8_t>(k < c.ring.size() ? c.ring[k] : 200);
            }
        EXPECT_GE(leftSpread(frame).reach(), c.least) << c.name;
    }
}

// Chroma smeared ahead of the luma starts the line early; the luma's blur, from its own edge, must
// be reached all the same. A dark, coloured picture beside the bar is no such lead: its luma edge
// further in is the picture's own.
TEST(EdgeSpread, LumaSpreadCountsFromLumasOwnEdge) {
    const int luma[] = {100, 140, 150, 155, 157};  // from the luma's edge on, a picture at 160 beyond
    const struct {
        const char* name;
        int chromaFrom, lumaFrom;
        int lastLow, lastHigh;  // the last column the reach may end at
    } cases[] = {
        // The blur is 3 levels off 4 columns past the luma's edge.
        {"luma starts the line", 13, 13, 17, 18},
        {"chroma leads by 3", 10, 13, 17, 18},
        // Six columns of dark picture from column 10: picture, however dark; the luma's edge at
        // column 16 is its own.
        {"a dark, coloured picture", 10, 16, 9, 11},
    };
    for (const auto& c : cases) {
        CaptureFrame frame = flatFrame(80, 100, 4);
        for (int y = 0; y < 100; ++y)
            for (int x = c.lumaFrom; x < 80; ++x)
                frame.y[frame.at(x, y)] =
                    static_cast<std::uint8_t>(x < c.lumaFrom + 5 ? luma[x - c.lumaFrom] : 160);
        for (int y = 0; y < 100; ++y)
            for (int x = c.chromaFrom; x < 80; ++x)
                frame.cb[frame.at(x, y)] = 170;
        int start = -1;
        const EdgeSpread spread = leftSpread(frame, &start);
        ASSERT_GE(start, 0) << c.name;
        const int last = start + spread.reach();
        EXPECT_GE(last, c.lastLow) << c.name;
        EXPECT_LE(last, c.lastHigh) << c.name;
    }
}

struct SpreadCase {
    const char* name;
    std::vector<int> profile;  // columns 10 on, after a bar at 4; the picture at 160 beyond
    int reach;
};

TEST(EdgeSpread, ReachesAsFarAsTheStepNotThePicturesOwnLevelBesideIt) {
    const SpreadCase cases[] = {
        // Two pixels of blend, then the picture's own level 6 above what lies further in.
        {"a level offset beside the start", {100, 150, 166, 166, 166, 166}, 2},
        // One pixel of blend, then a slope of the picture's own, barely falling at first: a band
        // limit's tail would fall off fast, so no pixel of the slope is the step's.
        {"a lingering slope beside the start", {100, 150, 151, 153, 155, 157}, 0},
        // A band limit: 30, 12, 4 levels off, then within the truth's 2.
        {"a blur's tail, falling fast", {100, 130, 148, 156, 159}, 4},
    };
    for (const SpreadCase& c : cases) {
        CaptureFrame frame = flatFrame(80, 100, 4);
        for (int y = 0; y < 100; ++y)
            for (int x = 10; x < 80; ++x) {
                const std::size_t k = static_cast<std::size_t>(x - 10);
                frame.y[frame.at(x, y)] =
                    static_cast<std::uint8_t>(k < c.profile.size() ? c.profile[k] : 160);
            }
        const EdgeSpread spread = leftSpread(frame);
        EXPECT_EQ(spread.reach(), c.reach) << c.name;
    }
}

// The truth counts the worst line: a blur's tail that stays within the tolerance after the usual
// step reaches past it after the strongest few (a bright picture beside the bar on 3 lines of 100).
TEST(EdgeSpread, ReachesAsFarAsTheStrongestStepsTail) {
    for (const int strong : {0, 3}) {
        CaptureFrame frame = flatFrame(80, 100, 4);
        for (int y = 0; y < 100; ++y) {
            const float level = y < 100 - strong ? 100.0f : 235.0f;
            // Half a pixel of blend, then a tenth and a fiftieth of the step.
            const float residual[] = {0.5f, 0.1f, 0.02f};
            for (int x = 10; x < 80; ++x) {
                const float r = x < 13 ? residual[x - 10] : 0;
                frame.y[frame.at(x, y)] = static_cast<std::uint8_t>(std::lround(level + r * (4 - level)));
            }
        }
        const EdgeSpread spread = leftSpread(frame);
        // The third pixel is 2 levels off after a step of 96, within the truth; 5 after one of 231.
        EXPECT_EQ(spread.reach(), strong ? 3 : 2) << strong << " lines with a strong step";
    }
}

// A faint tail of 3 levels after a strong step is damage, however small a share of the step it is.
TEST(EdgeSpread, AFaintTailAfterAStrongStep) {
    const struct {
        const char* name;
        int next;  // the pixel after the blend, beside a picture at 235
        int reach;
    } cases[] = {
        {"settled at once", 235, 0},
        {"2 levels off: within the truth", 233, 0},
        {"3 levels off: a faint tail", 232, 2},
    };
    for (const auto& c : cases) {
        CaptureFrame frame = flatFrame(80, 100, 4);
        for (int y = 0; y < 100; ++y)
            for (int x = 10; x < 80; ++x)
                frame.y[frame.at(x, y)] = static_cast<std::uint8_t>(x == 10 ? 120 : x == 11 ? c.next : 235);
        const EdgeSpread spread = leftSpread(frame);
        EXPECT_EQ(spread.reach(), c.reach) << c.name;
    }
}

TEST(HeadSwitching, TornLinesAtTheBottomOfEachField) {
    CaptureFrame frame = flatFrame(320, 120, 0);
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 320; ++x) {
            // The bottom 6 lines torn sideways, each its own way: 12, 18 ... 42 pixels.
            const int from = y >= 114 ? std::max(0, x - 12 - 6 * (y - 114)) : x;
            frame.y[frame.at(x, y)] = static_cast<std::uint8_t>(texture(from, y));
        }
    const SideLines lines{frame, ZoneSide::Down, 0, 320};
    EXPECT_EQ(std::abs(fitLine(lines, 1, 3).shift), 12) << "torn 12 pixels more than the line inside";
    const LineFit edge = fitLine(lines, 5, 7);
    EXPECT_EQ(std::abs(edge.shift), 12) << "the band's top against the whole picture";
    EXPECT_TRUE(isTorn(edge, fitLine(lines, 40, 42), false));
    EXPECT_FALSE(isTorn(fitLine(lines, 40, 42), fitLine(lines, 50, 52), false));
    EXPECT_GE(headSwitchingDepth(lines, 0), 5);
    EXPECT_LE(headSwitchingDepth(lines, 0), 6);
}

TEST(HeadSwitching, SlantedPictureIsNoTear) {
    // Whole lines, but near the bottom the picture over the first two thirds of them slants by 3
    // pixels a line (a hillside): the lines there fit their neighbour shifted, the last third fits
    // it unshifted.
    CaptureFrame frame = flatFrame(320, 120, 0);
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 320; ++x)
            frame.y[frame.at(x, y)] =
                static_cast<std::uint8_t>(x < 220 && y >= 96 ? texture(x + 3 * (y - 96), 96) : texture(x, y));
    const SideLines lines{frame, ZoneSide::Down, 0, 320};
    const LineFit slant = fitLine(lines, 3, 5);
    EXPECT_EQ(std::abs(slant.shift), 6) << "most of the line fits shifted";
    EXPECT_GE(slant.stillStretches, 2) << "the upright third fits unshifted";
    EXPECT_FALSE(isTorn(slant, fitLine(lines, 40, 42), false));
    EXPECT_EQ(headSwitchingDepth(lines, 0), -1);
}

// The bottom lines of a picture of texture() with faint noise: from `from` up, rougher in one of
// two ways. Decoded losslessly or not.
struct RoughBottomCase {
    const char* name;
    int from;
    bool noise;  // fresh noise on every pixel; otherwise fine detail in patches over a sixth of
                 // each line, which the lines share
    bool lossless;
    int leastDepth, mostDepth;
};

TEST(HeadSwitching, NoiseIsATearRougherPictureIsNot) {
    const RoughBottomCase cases[] = {
        {"patches of fine detail over the bottom 24 lines", 96, false, true, -1, -1},
        {"patches of fine detail over the bottom 8 lines", 112, false, true, -1, -1},
        {"noise over the bottom 6 lines", 114, true, true, 5, 6},
        // A lossy codec may have smoothed the noise's faintest part away: roughness alone tells.
        {"noise over the bottom 6 lines, lossy", 114, true, false, 5, 6},
    };
    for (const RoughBottomCase& c : cases) {
        CaptureFrame frame = flatFrame(320, 120, 0);
        frame.lossless = c.lossless;
        std::mt19937 random(11);
        std::normal_distribution<float> noise(0, 8), grain(0, 1.5f);
        // Fine detail that continues down the lines, as grass or gravel does.
        std::vector<float> grass(320);
        for (float& g : grass)
            g = noise(random) * 3;
        for (int y = 0; y < 120; ++y)
            for (int x = 0; x < 320; ++x) {
                float level = static_cast<float>(texture(x, y)) + grain(random);
                if (y >= c.from && c.noise) level += noise(random);
                if (y >= c.from && !c.noise && std::sin(x * 0.05) > 0.87)
                    level += static_cast<float>(grass[static_cast<std::size_t>(x)] *
                                                (1 + 0.3 * std::sin(y * 0.2)));
                frame.y[frame.at(x, y)] = static_cast<std::uint8_t>(std::clamp(std::lround(level), 0L, 255L));
            }
        const SideLines lines{frame, ZoneSide::Down, 0, 320};
        EXPECT_GE(headSwitchingDepth(lines, 0), c.leastDepth) << c.name;
        EXPECT_LE(headSwitchingDepth(lines, 0), c.mostDepth) << c.name;
    }
}

// Frames of a side whose first `bar` lines are blanking at level 20 and whose lines after are a
// faint picture of `amplitude` levels about 24, both under fresh noise of `deviation` levels in
// every frame; `barPattern` levels of a pattern that lasts are added to the blanking.
std::vector<CaptureFrame> faintFrames(int count, int bar, float amplitude, float barPattern,
                                      float deviation) {
    std::mt19937 random(7);
    std::normal_distribution<float> noise(0, deviation);
    std::vector<CaptureFrame> frames;
    for (int k = 0; k < count; ++k) {
        CaptureFrame frame = flatFrame(720, 80, 0);
        for (int y = 0; y < 80; ++y)
            for (int x = 0; x < 720; ++x) {
                const float level = y < bar ? 20 + barPattern * std::sin(static_cast<float>(x) * 0.05f)
                                            : 24 + amplitude * std::sin(static_cast<float>(x) * 0.02f +
                                                                        static_cast<float>(y) * 0.1f);
                frame.y[frame.at(x, y)] =
                    static_cast<std::uint8_t>(std::clamp(std::lround(level + noise(random)), 0L, 255L));
            }
        frames.push_back(std::move(frame));
    }
    return frames;
}

TEST(LastingStructure, FaintPictureShowsOverTheFramesBlankingNever) {
    struct Case {
        const char* name;
        int frames, bar;
        float amplitude, barPattern, noise;
        int deadEnd, end;
    };
    const Case cases[] = {
        {"a faint picture after 10 lines of blanking", 30, 10, 2.0f, 0, 3, 40, 10},
        {"blanking that keeps a pattern of a few tenths of a level", 30, 10, 2.0f, 0.3f, 1, 40, 10},
        {"blanking only", 30, 80, 0, 0, 3, 40, 40},
        {"lines no frame takes for dead say nothing", 30, 10, 2.0f, 0, 3, 8, 8},
        {"too few frames to cancel the noise", 4, 10, 2.0f, 0, 3, 40, 40},
        {"structure strong enough to show in each frame is data, not faint picture", 30, 10, 12.0f, 0, 3, 40,
         40},
    };
    for (const Case& c : cases) {
        const std::vector<CaptureFrame> frames =
            faintFrames(c.frames, c.bar, c.amplitude, c.barPattern, c.noise);
        std::vector<SideLines> lines;
        for (const CaptureFrame& frame : frames)
            lines.push_back(SideLines{frame, ZoneSide::Up, 0, 720});
        const std::vector<int> ends(frames.size(), c.deadEnd);
        EXPECT_EQ(lastingStructureEnds(lines, ends), std::vector<int>(frames.size(), c.end)) << c.name;
    }
}

TEST(LastingStructure, ARemnantFollowedByBlankLinesIsNoPicture) {
    // Lines 0 to 3 carry a pattern that holds from frame to frame (a head-switching band's), then
    // blanking to line 40: the pattern does not continue into the picture.
    std::vector<CaptureFrame> frames = faintFrames(30, 80, 0, 0, 3);
    for (CaptureFrame& frame : frames)
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 720; ++x)
                frame.y[frame.at(x, y)] = static_cast<std::uint8_t>(
                    frame.y[frame.at(x, y)] + 3 + std::lround(2 * std::sin(static_cast<float>(x) * 0.03f)));
    std::vector<SideLines> lines;
    for (const CaptureFrame& frame : frames)
        lines.push_back(SideLines{frame, ZoneSide::Up, 0, 720});
    const std::vector<int> ends(frames.size(), 40);
    EXPECT_EQ(lastingStructureEnds(lines, ends), ends);
}

TEST(LastingStructure, DataLinesThatABounceMovesAreNoFaintPicture) {
    // Blanking to line 12 with a data line every third, the same pattern in every frame, which the
    // picture's bounce moves a line from frame to frame. Averaged, each line keeps a faint share.
    std::vector<CaptureFrame> frames = faintFrames(30, 80, 0, 0, 3);
    for (std::size_t k = 0; k < frames.size(); ++k)
        for (int y = static_cast<int>(k % 3); y < 12; y += 3)
            for (int x = 0; x < 720; ++x)
                frames[k].y[frames[k].at(x, y)] =
                    static_cast<std::uint8_t>(60 + std::lround(24 * std::sin(static_cast<float>(x) * 0.1f)));
    std::vector<SideLines> lines;
    for (const CaptureFrame& frame : frames)
        lines.push_back(SideLines{frame, ZoneSide::Up, 0, 720});
    const std::vector<int> ends(frames.size(), 12);
    EXPECT_EQ(lastingStructureEnds(lines, ends), ends);
}

TEST(PartialLines, HalfLineAtTheTopButNotDarkContent) {
    CaptureFrame frame = flatFrame(200, 60, 0);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 200; ++x)
            frame.y[frame.at(x, y)] = static_cast<std::uint8_t>(texture(x, y));
    for (int x = 0; x < 90; ++x)
        frame.y[frame.at(x, 0)] = 16;  // a half line
    const SideLines up{frame, ZoneSide::Up, 0, 200};
    EXPECT_EQ(partialDepth(up, 0, BarLevel{}), 0);
    EXPECT_NEAR(darkShareFromEnd(up, 0, 2, BarLevel{}), 0.45, 0.02);
    // Dark content: the line inside is as dark there.
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 90; ++x)
            frame.y[frame.at(x, y)] = 18;
    EXPECT_EQ(partialDepth(up, 0, BarLevel{}), -1);
}

}  // namespace
