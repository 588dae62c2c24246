// The zone finder on frames made here: a moving smooth-and-detailed picture inside a frame whose
// sides are damaged as captures are, with the ideal margins written out by hand for each case.

#include "suggest/zone_suggestion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kW = 320, kH = 240;

// Damage on one side, from the frame's edge inwards: overscan, then a blanking stripe, then a
// ragged band (or on the down side a torn band, on the up side half-black lines).
struct SideDamage {
    int bar = 0;              // near-black lines with noise
    int stripe = 0;           // grey lines
    int ragged = 0;           // lines the picture's edge jitters over
    int torn = 0;             // down: lines torn sideways with noise
    int halfBlack = 0;        // up: lines black over their left half
    bool cleanBlack = false;  // the bar is clean black: an off-centre picture
    int flatLevel = -1;       // 0 and up: bar, ragged and half-black pixels of this flat level
    bool quietTear = false;   // the torn lines are brighter or darker as a whole, not noisy
};

struct Scene {
    bool dark = false;          // the picture at a fifth of its brightness
    bool nightSky = false;      // a dark flat band over the picture's top
    bool darkLeft = false;      // a dark shape at the picture's left edge in every frame
    bool interlaced = false;    // odd lines a field later, with fast sideways motion
    bool brightBottom = false;  // a bright band rising and sinking at the bottom edge
    // No fine detail. (Lines whose fine detail changes sign from one to the next fit best moved
    // sideways by half its period, so fast change across them looks torn.)
    bool smooth = false;
};

struct Rgb {
    int r, g, b;
};

class CaptureMaker {
public:
    CaptureMaker(std::array<SideDamage, 4> damage, Scene scene, unsigned seed)
        : damage_(damage), scene_(scene), random_(seed) {
        for (int k = 0; k < 6; ++k) {
            const float angle = uniform(0, 6.28f);
            const float wavelength = uniform(10, 160);
            waves_.push_back({std::cos(angle) / wavelength * 6.28f, std::sin(angle) / wavelength * 6.28f,
                              uniform(0, 6.28f), uniform(15, 35), uniform(-0.6f, 0.6f)});
        }
    }

    int depth(int side) const {
        const SideDamage& d = damage_[static_cast<std::size_t>(side)];
        return d.bar + d.stripe + d.ragged + d.torn + d.halfBlack;
    }

    // Top-down 0x00RRGGBB pixels of frame `index`.
    std::vector<Pixel32> frame(int index) {
        std::vector<Rgb> rgb(static_cast<std::size_t>(kW) * kH);
        const int top = depth(0), left = depth(1), right = kW - 1 - depth(2), bottom = kH - 1 - depth(3);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const float time = static_cast<float>(index) + (scene_.interlaced && (y & 1) ? 0.5f : 0.0f);
                rgb[static_cast<std::size_t>(y) * kW + x] = picture(x - left, y - top, time);
            }
        paint(rgb, top, left, right, bottom);
        std::vector<Pixel32> pixels;
        for (const Rgb& p : rgb)
            pixels.push_back(static_cast<Pixel32>((clamp(p.r) << 16) | (clamp(p.g) << 8) | clamp(p.b)));
        return pixels;
    }

private:
    struct Wave {
        float fx, fy, phase, amplitude, speed;
    };

    float uniform(float low, float high) { return std::uniform_real_distribution<float>(low, high)(random_); }
    int noise(float sigma) {
        return static_cast<int>(std::lround(std::normal_distribution<float>(0, sigma)(random_)));
    }
    static int clamp(int v) { return std::clamp(v, 0, 255); }

    Rgb picture(int u, int v, float time) const {
        const float pan = time * (scene_.interlaced ? 9.0f : 3.0f);
        float level = 120;
        for (const Wave& wave : waves_)
            level +=
                wave.amplitude * std::sin(wave.fx * (u + pan) + wave.fy * v + wave.phase + wave.speed * time);
        // Fine detail on top of the smooth part, fixed to the picture as texture is.
        if (!scene_.smooth) level += 12.0f * std::sin(0.9f * (u + pan)) * std::sin(1.3f * v);
        // A sky over a hilly horizon, darkening upwards.
        if (scene_.nightSky && v < 45 + 25 * std::sin(u * 0.02f) + 8 * std::sin(u * 0.11f))
            level = 10 + v / 8.0f;
        // A dark rounded shape against the left edge, with folds.
        const float across = static_cast<float>(u) / 30, along = (static_cast<float>(v) - 120) / 80;
        if (scene_.darkLeft && across * across + along * along < 1) level = 12 + 3.0f * std::sin(v * 0.3f);
        if (scene_.brightBottom)
            level += 110.0f /
                     (1.0f + std::exp((kH - 5 + 3 * std::sin(time * 0.7f) - static_cast<float>(v)) / 2.0f));
        if (scene_.dark) level *= 0.2f;
        const int base = static_cast<int>(level);
        return Rgb{base + 10, base, base - 10};
    }

    Rgb overscan() {
        const int level = std::max(0, 6 + noise(3.0f));
        return Rgb{level, level, level};
    }
    Rgb overscan(const SideDamage& d) {
        return d.flatLevel >= 0 ? Rgb{d.flatLevel, d.flatLevel, d.flatLevel} : overscan();
    }

    void paint(std::vector<Rgb>& rgb, int top, int left, int right, int bottom) {
        auto at = [&rgb](int x, int y) -> Rgb& { return rgb[static_cast<std::size_t>(y) * kW + x]; };
        // Overscan and stripes, side by side, over whole lines.
        for (int side = 0; side < 4; ++side) {
            const SideDamage& d = damage_[static_cast<std::size_t>(side)];
            for (int k = 0; k < d.bar + d.stripe; ++k)
                for (int t = 0; t < (side == 0 || side == 3 ? kW : kH); ++t) {
                    int x = t, y = t;
                    if (side == 0) y = k;
                    if (side == 3) y = kH - 1 - k;
                    if (side == 1) x = k;
                    if (side == 2) x = kW - 1 - k;
                    at(x, y) = k >= d.bar ? Rgb{150, 150, 150} : d.cleanBlack ? Rgb{0, 0, 0} : overscan(d);
                }
        }
        // Ragged bands: each line's picture starts somewhere in the band, anew in every frame.
        for (int side = 1; side <= 2; ++side) {
            const SideDamage& d = damage_[static_cast<std::size_t>(side)];
            const int first = d.bar + d.stripe;
            for (int y = 0; y < kH && d.ragged > 0; ++y) {
                const int cut = static_cast<int>(uniform(0, static_cast<float>(d.ragged) + 0.999f));
                for (int k = 0; k < cut; ++k)
                    at(side == 1 ? first + k : kW - 1 - first - k, y) = overscan(d);
            }
        }
        (void)left, (void)right;
        // Half-black lines just above the picture.
        const SideDamage& up = damage_[0];
        for (int k = 0; k < up.halfBlack; ++k)
            for (int x = 0; x < kW / 2; ++x)
                at(x, top - 1 - k) = overscan(up);
        // A torn band just below the picture: the picture moved sideways, with noise.
        const SideDamage& down = damage_[3];
        for (int k = 0; k < down.torn; ++k) {
            const int y = bottom + 1 + k;
            const int shift = static_cast<int>(uniform(6, 20)) * (k % 2 == 0 ? 1 : -1);
            const int offset = static_cast<int>(uniform(25, 35)) * (k % 2 == 0 ? -1 : 1);
            std::vector<Rgb> row(static_cast<std::size_t>(kW));
            for (int x = 0; x < kW; ++x) {
                const int from = x - shift;
                const Rgb source = from >= 0 && from < kW ? at(from, y) : overscan();
                const int n = down.quietTear ? offset : noise(12.0f);
                row[static_cast<std::size_t>(x)] = Rgb{source.r + n, source.g + n, source.b + n};
            }
            for (int x = 0; x < kW; ++x)
                at(x, y) = row[static_cast<std::size_t>(x)];
        }
    }

    std::array<SideDamage, 4> damage_;
    Scene scene_;
    std::mt19937 random_;
    std::vector<Wave> waves_;
};

struct FrameSet {
    std::vector<std::vector<Pixel32>> pixels;
    std::vector<FrameBitmap> bitmaps;
};

FrameSet makeFrames(CaptureMaker& maker, int count) {
    FrameSet set;
    for (int k = 0; k < count; ++k)
        set.pixels.push_back(maker.frame(k * 7));
    for (auto& pixels : set.pixels)
        set.bitmaps.push_back(bottomUpView(pixels.data(), kW, kH));
    return set;
}

struct ZoneCase {
    const char* name;
    std::array<SideDamage, 4> damage;
    Scene scene;
    std::array<int, 4> ideal;  // up, left, right, down: the damage's depth + 1, written out
};

const ZoneCase kZoneCases[] = {
    {"clean picture", {}, {}, {1, 1, 1, 1}},
    {"overscan on every side", {{{.bar = 5}, {.bar = 9}, {.bar = 3}, {.bar = 12}}}, {}, {6, 10, 4, 13}},
    {"wide overscan on the left", {{{}, {.bar = 70}, {}, {}}}, {}, {1, 71, 1, 1}},
    {"off-centre clean picture",
     {{{.bar = 4, .cleanBlack = true}, {.bar = 17, .cleanBlack = true}, {}, {}}},
     {},
     {5, 18, 1, 1}},
    {"ragged left edge", {{{}, {.bar = 6, .ragged = 4}, {}, {}}}, {}, {1, 11, 1, 1}},
    {"ragged right edge without overscan", {{{}, {}, {.ragged = 5}, {}}}, {}, {1, 1, 6, 1}},
    {"blanking stripe after overscan", {{{}, {.bar = 8, .stripe = 2}, {.stripe = 1}, {}}}, {}, {1, 11, 2, 1}},
    {"torn band at the bottom", {{{}, {}, {}, {.torn = 6}}}, {}, {1, 1, 1, 7}},
    {"overscan and torn band", {{{}, {}, {}, {.bar = 3, .torn = 5}}}, {}, {1, 1, 1, 9}},
    {"half-black top lines", {{{.halfBlack = 2}, {}, {}, {}}}, {}, {3, 1, 1, 1}},
    {"everything at once",
     {{{.bar = 4, .halfBlack = 1},
       {.bar = 10, .stripe = 1, .ragged = 3},
       {.bar = 7, .ragged = 4},
       {.bar = 2, .torn = 5}}},
     {},
     {6, 15, 12, 8}},
    {"dark scene with overscan", {{{.bar = 6}, {.bar = 12}, {}, {}}}, {.dark = true}, {7, 13, 1, 1}},
    {"dark scene, clean edges", {}, {.dark = true}, {1, 1, 1, 1}},
    {"dark scene with ragged edges",
     {{{}, {.bar = 5, .ragged = 4}, {.ragged = 3}, {}}},
     {.dark = true},
     {1, 10, 4, 1}},
    {"night sky at the top", {}, {.nightSky = true}, {1, 1, 1, 1}},
    {"dark shape at the left edge", {}, {.darkLeft = true}, {1, 1, 1, 1}},
    {"dark shape beside a ragged edge",
     {{{}, {.bar = 8, .ragged = 3}, {}, {}}},
     {.darkLeft = true},
     {1, 12, 1, 1}},
    {"interlaced motion with a torn band", {{{}, {}, {}, {.torn = 4}}}, {.interlaced = true}, {1, 1, 1, 5}},
    // Overscan of another level than the other sides': a card's video black beside true black.
    {"half-black line at video black under true black",
     {{{.bar = 2, .halfBlack = 1, .cleanBlack = true, .flatLevel = 18}, {}, {}, {}}},
     {},
     {4, 1, 1, 1}},
    {"ragged edge at video black beside true black",
     {{{.bar = 3, .cleanBlack = true},
       {.bar = 6, .ragged = 4, .flatLevel = 18},
       {.bar = 5, .cleanBlack = true},
       {}}},
     {},
     {4, 11, 6, 1}},
    {"torn band moved sideways without noise",
     {{{}, {}, {}, {.torn = 5, .quietTear = true}}},
     {.smooth = true},
     {1, 1, 1, 6}},
    {"bright band at the bottom edge", {}, {.brightBottom = true, .smooth = true}, {1, 1, 1, 1}},
};

void PrintTo(const ZoneCase& c, std::ostream* out) {
    *out << c.name;
}

class ZoneSuggestionCases : public testing::TestWithParam<ZoneCase> {};

// Safe: no damaged line inside the zone (every margin at least the ideal). Tight: at most one line
// more than the ideal.
TEST_P(ZoneSuggestionCases, SafeAndTight) {
    const ZoneCase& c = GetParam();
    CaptureMaker maker(c.damage, c.scene, 7);
    const FrameSet frames = makeFrames(maker, 12);
    ZoneSuggestion suggestion;
    std::string error;
    ASSERT_TRUE(suggestZone(frames.bitmaps, suggestion, error)) << error;
    const char* names[] = {"up", "left", "right", "down"};
    for (std::size_t side = 0; side < 4; ++side) {
        const std::string report = describeSide(static_cast<ZoneSide>(side), suggestion.sides[side]);
        EXPECT_GE(suggestion.sides[side].margin, c.ideal[side])
            << names[side] << " cuts into damage: " << report;
        EXPECT_LE(suggestion.sides[side].margin, c.ideal[side] + 1)
            << names[side] << " cuts into the picture: " << report;
    }
}

INSTANTIATE_TEST_SUITE_P(Captures, ZoneSuggestionCases, testing::ValuesIn(kZoneCases),
                         [](const testing::TestParamInfo<ZoneCase>& info) {
                             std::string name = info.param.name;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

// The frames arrive bottom-up: row 0 is the picture's bottom line. The same picture held bottom-up
// with a gap after each row must give the margins of the top-down view, not those of its mirror.
TEST(ZoneSuggestionLayout, BottomUpRowsWithGapsMatchTheTopDownView) {
    CaptureMaker maker({{{.bar = 9}, {}, {}, {.torn = 4}}}, {}, 3);
    const FrameSet topDown = makeFrames(maker, 8);
    constexpr int kGap = 5;
    std::vector<std::vector<Pixel32>> gapped;
    std::vector<FrameBitmap> bitmaps;
    for (const auto& pixels : topDown.pixels) {
        std::vector<Pixel32> buffer(static_cast<std::size_t>(kW + kGap) * kH, 0xA5A5A5u);
        for (int y = 0; y < kH; ++y)
            std::copy_n(&pixels[static_cast<std::size_t>(y) * kW], kW,
                        &buffer[static_cast<std::size_t>(kH - 1 - y) * (kW + kGap)]);
        gapped.push_back(std::move(buffer));
    }
    for (auto& buffer : gapped)
        bitmaps.push_back(FrameBitmap{buffer.data(), kW, kH, kGap * 4});
    ZoneSuggestion fromGapped, fromView;
    std::string error;
    ASSERT_TRUE(suggestZone(bitmaps, fromGapped, error)) << error;
    ASSERT_TRUE(suggestZone(topDown.bitmaps, fromView, error)) << error;
    EXPECT_EQ(fromGapped.sides[0].margin, 10);  // the overscan is at the top
    EXPECT_LE(fromGapped.sides[3].margin, 6);
    EXPECT_GE(fromGapped.sides[3].margin, 5);
    for (std::size_t side = 0; side < 4; ++side)
        EXPECT_EQ(fromGapped.sides[side].margin, fromView.sides[side].margin);
}

struct RefusalCase {
    const char* name;
    std::vector<std::vector<Pixel32>> frames;
    std::vector<std::array<int, 2>> sizes;
    const char* mentions;
};

std::vector<Pixel32> filled(int w, int h, Pixel32 colour) {
    return std::vector<Pixel32>(static_cast<std::size_t>(w) * h, colour);
}

// Nothing to suggest from: a one-line reason, never made-up margins.
TEST(ZoneSuggestionRefusals, SayWhyAndSuggestNothing) {
    std::vector<Pixel32> noisyBlack = filled(kW, kH, 0);
    std::mt19937 random(5);
    for (Pixel32& p : noisyBlack)
        p = static_cast<Pixel32>(random() % 9) * 0x010101u;
    std::vector<RefusalCase> cases = {
        {"no frames", {}, {}, "no frames"},
        {"all black", {filled(kW, kH, 0), noisyBlack}, {{kW, kH}, {kW, kH}}, "black"},
        {"sizes differ",
         {filled(kW, kH, 0x808080), filled(kW, kH - 2, 0x808080)},
         {{kW, kH}, {kW, kH - 2}},
         "size"},
        {"too small", {filled(20, 20, 0x808080)}, {{20, 20}}, "too small"},
        {"flat grey",
         {filled(kW, kH, 0x808080), filled(kW, kH, 0x707070)},
         {{kW, kH}, {kW, kH}},
         "no clean picture"},
    };
    for (RefusalCase& c : cases) {
        std::vector<FrameBitmap> bitmaps;
        for (std::size_t k = 0; k < c.frames.size(); ++k)
            bitmaps.push_back(bottomUpView(c.frames[k].data(), c.sizes[k][0], c.sizes[k][1]));
        ZoneSuggestion suggestion;
        std::string error;
        EXPECT_FALSE(suggestZone(bitmaps, suggestion, error)) << c.name;
        EXPECT_NE(error.find(c.mentions), std::string::npos) << c.name << ": " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << c.name;
    }
}

struct DescriptionCase {
    ZoneSide side;
    SideFindings findings;
    const char* expected;
};

TEST(ZoneSuggestionReport, OneLinePerSide) {
    const DescriptionCase cases[] = {
        {ZoneSide::Up, {.margin = 1}, "up: nothing; margin 1"},
        {ZoneSide::Left,
         {.deadLines = 12, .dark = true, .noisy = true, .raggedLines = 4, .margin = 17},
         "left: dark overscan with noise, 12 px; a ragged edge of 4 px; margin 17"},
        {ZoneSide::Down,
         {.deadLines = 3, .dark = true, .tornLines = 6, .margin = 10},
         "down: black, 3 lines; a head-switching band of 6 lines; margin 10"},
        {ZoneSide::Right,
         {.deadLines = 40, .dark = true, .noisy = true, .margin = 41},
         "right: dark overscan with noise, 40 px; margin 41 (beyond the dialog's 1 to 30: set it by the "
         "script line)"},
    };
    for (const DescriptionCase& c : cases)
        EXPECT_EQ(describeSide(c.side, c.findings), c.expected);
}

}  // namespace
