#include "suggest/zone_suggestion.h"

#include <algorithm>
#include <cmath>
#include <vector>

// How the zone is found. Each side is read as lines at growing depth from the frame's edge.
// 1. Lines that show no picture in any sampled frame (no structure shared with the next line in)
//    are dead: overscan, black bars, blanking, of any width; unless no frame shows the picture
//    starting along a straight line after them, as a night sky fading out along a horizon does.
// 2. Past them, in a window of a few dozen lines: a ragged edge, from overscan-dark pixels beside
//    brighter ones, counted over all frames against the same count inside the picture; blanking
//    stripes; half-black top lines; at the bottom, a head-switching band of lines that fit the
//    lines inside them, or are rougher, far beyond what the picture does.
// 3. Per-frame depths are combined by a maximum that climbs only through depths many frames
//    reach: damage recurs frame after frame, while a scene whose content happens to look damaged
//    does not.
// Each side's positions are limited to the other sides' zone, so that a head-switching band or
// half-black top lines do not count as a ragged left edge; two rounds settle them.

namespace {

using Line = std::vector<float>;

constexpr int kSmoothing = 8;              // box length along a line that averages noise away
constexpr float kMinStructure = 4.0f;      // std of a smoothed line with picture in it
constexpr float kMinCoherence = 0.5f;      // correlation of neighbouring smoothed lines
constexpr int kWindow = 40;                // lines searched past the dead ones
constexpr int kRangeShrink = 8;            // lines left off the other sides' ends
constexpr int kRaggedReach = 16;           // a dark run this much longer is the picture's own
constexpr int kFrameGap = 3;               // a frame this far above the others is its content's doing
constexpr float kBlackFrameLevel = 24.0f;  // a frame whose 99th percentile is below is black
constexpr float kClearStep = 16.0f;        // a rise from overscan to picture
constexpr float kBoundaryStep = 8.0f;      // the picture against a bar, both smoothed
constexpr float kVideoBlack = 24.0f;       // at or below: black of either range, with noise

struct Luma {
    std::int32_t w = 0, h = 0;
    std::vector<std::uint8_t> pixels;  // top-down
    int at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * w + x]; }
};

Luma lumaOf(const FrameBitmap& frame) {
    Luma luma;
    luma.w = frame.w;
    luma.h = frame.h;
    luma.pixels.resize(static_cast<std::size_t>(frame.w) * frame.h);
    const std::int64_t stride = rowStridePixels(frame);
    for (std::int32_t y = 0; y < frame.h; ++y) {
        const Pixel32* row = frame.data + std::int64_t{frame.h - 1 - y} * stride;
        std::uint8_t* out = &luma.pixels[static_cast<std::size_t>(y) * frame.w];
        for (std::int32_t x = 0; x < frame.w; ++x) {
            const Pixel32 p = row[x];
            out[x] = static_cast<std::uint8_t>(
                (77 * ((p >> 16) & 255) + 150 * ((p >> 8) & 255) + 29 * (p & 255)) >> 8);
        }
    }
    return luma;
}

float percentile(std::vector<float> values, float fraction) {
    if (values.empty()) return 0.0f;
    const std::size_t k = std::min(values.size() - 1, static_cast<std::size_t>(fraction * values.size()));
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(k), values.end());
    return values[k];
}

bool isBlack(const Luma& luma) {
    std::vector<float> sample;
    for (std::size_t k = 0; k < luma.pixels.size(); k += 7)
        sample.push_back(luma.pixels[k]);
    return percentile(sample, 0.99f) <= kBlackFrameLevel;
}

// A side's lines: depth d from the frame's edge inwards, position t along the line.
struct SideView {
    const Luma& luma;
    ZoneSide side;

    int depths() const { return side == ZoneSide::Up || side == ZoneSide::Down ? luma.h : luma.w; }
    int length() const { return side == ZoneSide::Up || side == ZoneSide::Down ? luma.w : luma.h; }
    int at(int d, int t) const {
        switch (side) {
            case ZoneSide::Up:
                return luma.at(t, d);
            case ZoneSide::Down:
                return luma.at(t, luma.h - 1 - d);
            case ZoneSide::Left:
                return luma.at(d, t);
            case ZoneSide::Right:
                break;
        }
        return luma.at(luma.w - 1 - d, t);
    }
    Line line(int d, int t0, int t1) const {
        Line values(static_cast<std::size_t>(t1 - t0));
        for (int t = t0; t < t1; ++t)
            values[static_cast<std::size_t>(t - t0)] = static_cast<float>(at(d, t));
        return values;
    }
};

Line smoothed(const Line& line) {
    Line out(line.size() > kSmoothing ? line.size() - kSmoothing + 1 : 0);
    float sum = 0;
    for (std::size_t k = 0; k < line.size(); ++k) {
        sum += line[k];
        if (k >= kSmoothing) sum -= line[k - kSmoothing];
        if (k + 1 >= kSmoothing) out[k + 1 - kSmoothing] = sum / kSmoothing;
    }
    return out;
}

float mean(std::span<const float> line) {
    double sum = 0;
    for (const float v : line)
        sum += v;
    return line.empty() ? 0.0f : static_cast<float>(sum / static_cast<double>(line.size()));
}

float deviation(std::span<const float> line) {
    const float m = mean(line);
    double sum = 0;
    for (const float v : line)
        sum += (v - m) * (v - m);
    return line.empty() ? 0.0f : static_cast<float>(std::sqrt(sum / static_cast<double>(line.size())));
}

float correlation(std::span<const float> a, std::span<const float> b) {
    const float ma = mean(a), mb = mean(b);
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t k = 0; k < a.size() && k < b.size(); ++k) {
        ab += (a[k] - ma) * (b[k] - mb);
        aa += (a[k] - ma) * (a[k] - ma);
        bb += (b[k] - mb) * (b[k] - mb);
    }
    return aa > 0 && bb > 0 ? static_cast<float>(ab / std::sqrt(aa * bb)) : 0.0f;
}

// Picture along a good part of the line: structure shared with the next line in at least a
// quarter of its stretches. Overscan shows none; a few lines of picture at its ends (the corner of
// a head-switching band) do not make it picture.
bool hasStructure(const Line& here, const Line& next) {
    constexpr std::size_t kStretch = 64;
    const std::size_t stretches = std::max<std::size_t>(1, here.size() / kStretch);
    std::size_t structured = 0;
    for (std::size_t k = 0; k < stretches; ++k) {
        const std::size_t from = here.size() * k / stretches, to = here.size() * (k + 1) / stretches;
        const std::span<const float> a = std::span<const float>(here).subspan(from, to - from);
        const std::span<const float> b = std::span<const float>(next).subspan(from, to - from);
        structured += deviation(a) >= kMinStructure && correlation(a, b) >= kMinCoherence;
    }
    return structured * 4 >= stretches;
}

// What one frame shows of one side's lines.
struct FrameLines {
    std::vector<Line> raw;  // depth 0 .. depths - 1
    std::vector<Line> smooth;
    std::vector<bool> structured;  // shares structure with the next line in
};

FrameLines readLines(const SideView& view, int depths, int t0, int t1) {
    FrameLines lines;
    for (int d = 0; d < depths; ++d) {
        lines.raw.push_back(view.line(d, t0, t1));
        lines.smooth.push_back(smoothed(lines.raw.back()));
    }
    for (int d = 0; d < depths; ++d) {
        const Line& here = lines.smooth[static_cast<std::size_t>(d)];
        const Line& next = lines.smooth[static_cast<std::size_t>(std::min(d + 1, depths - 1))];
        lines.structured.push_back(hasStructure(here, next));
    }
    return lines;
}

// Mean size of what no smooth curve through the neighbours follows: noise and fine detail.
float roughness(const Line& line) {
    double sum = 0;
    for (std::size_t k = 1; k + 1 < line.size(); ++k)
        sum += std::fabs(line[k] - 0.5f * (line[k - 1] + line[k + 1]));
    return line.size() > 2 ? static_cast<float>(sum / static_cast<double>(line.size() - 2)) : 0.0f;
}

// How badly a line fits the two lines inside it: the smaller mean difference from either (the
// second is the same field of interlaced video, where the first can be half a frame away).
float misfit(const FrameLines& frame, int d) {
    const auto difference = [&frame](int a, int b) {
        const Line& x = frame.raw[static_cast<std::size_t>(a)];
        const Line& y = frame.raw[static_cast<std::size_t>(b)];
        double sum = 0;
        for (std::size_t t = 0; t < x.size(); ++t)
            sum += std::fabs(x[t] - y[t]);
        return x.empty() ? 0.0f : static_cast<float>(sum / static_cast<double>(x.size()));
    };
    return std::min(difference(d, d + 1), difference(d, d + 2));
}

// Mean difference of line x from line y moved by `shift` along it, over where they overlap, every
// other pixel, each less its mean there: a torn line may also be brighter or darker as a whole.
float shiftedDifference(const Line& x, const Line& y, int shift) {
    const int length = static_cast<int>(x.size());
    const int from = std::max(0, -shift), to = std::min(length, length - shift);
    double sumX = 0, sumY = 0;
    int count = 0;
    for (int t = from; t < to; t += 2, ++count) {
        sumX += x[static_cast<std::size_t>(t)];
        sumY += y[static_cast<std::size_t>(t + shift)];
    }
    if (count == 0) return 0.0f;
    const float offset = static_cast<float>((sumX - sumY) / count);
    double sum = 0;
    for (int t = from; t < to; t += 2)
        sum += std::fabs(x[static_cast<std::size_t>(t)] - y[static_cast<std::size_t>(t + shift)] - offset);
    return static_cast<float>(sum / count);
}

// Some sideways shift of a line inside fits line d clearly better than none: the line is torn. A
// line of content that changes fast across the lines (a bright horizon at the edge) fits best
// unshifted, however badly.
bool tornSideways(const FrameLines& frame, int d) {
    constexpr int kLeastTear = 2, kMostTear = 96;
    const Line& x = frame.raw[static_cast<std::size_t>(d)];
    const int most = std::min(kMostTear, static_cast<int>(x.size()) / 4);
    for (const int inside : {d + 1, d + 2}) {
        const Line& y = frame.raw[static_cast<std::size_t>(inside)];
        const float unshifted = shiftedDifference(x, y, 0);
        for (int shift = kLeastTear; shift <= most; ++shift)
            if (std::min(shiftedDifference(x, y, shift), shiftedDifference(x, y, -shift)) < 0.8f * unshifted)
                return true;
    }
    return false;
}

// Line d right after the torn line `last` and nearly as bad: the band going on, torn less.
bool continuesBand(const FrameLines& frame, int d, int last, int dead) {
    if (last < dead || d != last + 1) return false;
    const float rough = roughness(frame.raw[static_cast<std::size_t>(d)]);
    const float before = roughness(frame.raw[static_cast<std::size_t>(last)]);
    return misfit(frame, d) >= 0.65f * misfit(frame, last) || rough >= 0.65f * before;
}

// The largest value reached by the middle of the values through steps of at most kFrameGap, each
// value reached by a fifth of the frames or more (at least two): damage recurs in frame after
// frame, while a few frames whose content happens to look damaged form a thin ladder above it. A
// third of the frames or more past a wider gap are damage too.
int robustMaximum(std::vector<int> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    const std::size_t enough = std::max<std::size_t>(2, (n + 4) / 5);
    std::size_t k = n / 2;
    while (k + 1 < n) {
        const std::size_t above = n - k - 1;
        const bool gap = values[k + 1] - values[k] > kFrameGap;
        if (gap ? above * 3 < n : above < enough) break;
        ++k;
    }
    return values[k];
}

struct SideRange {
    int t0, t1;
};

// The dark level of overscan, from every side's outermost lines that are dark in every frame.
struct BlackLevel {
    float threshold = 28.0f;
};

// The level that overscan of these line levels and noise stays under.
float darkThreshold(const Line& levels, const Line& noise) {
    return std::min(40.0f, percentile(levels, 0.5f) + std::max(10.0f, 3.0f * percentile(noise, 0.5f)));
}

struct SideResult {
    SideFindings findings;
    int damagedDepth = -1;  // the deepest damaged line, -1 when the edge line is clean
};

// The share of a line's pixels, over all frames, that are overscan-dark.
float darkFraction(const std::vector<FrameLines>& lines, int d, const BlackLevel& black) {
    std::size_t dark = 0, all = 0;
    for (const FrameLines& frame : lines)
        for (const float v : frame.raw[static_cast<std::size_t>(d)]) {
            dark += v <= black.threshold;
            ++all;
        }
    return all > 0 ? static_cast<float>(dark) / static_cast<float>(all) : 0.0f;
}

// Dark pixels that continue the dead lines' darkness and stand beside a clearly brighter pixel
// of the same line: the ragged edge's overscan reaching into the picture on some lines only. The
// same count started well inside the picture is the control: the picture's own dark areas give
// it alike at both starts, give or take what the content near an edge does. Returns the deepest
// line whose count, summed over the frames, is at least twice the control's and clearly above
// it, with the lines before it all so, or -1.
int raggedDepth(const std::vector<FrameLines>& lines, int dead, int end, const BlackLevel& black) {
    const int reach = (end - dead) / 2;
    if (reach < 2) return -1;
    const int control = dead + reach;
    std::vector<float> edgeCount(static_cast<std::size_t>(reach)),
        controlCount(static_cast<std::size_t>(reach));
    // A pixel counts in a frame only when it did not in the frame before: a ragged edge changes
    // from frame to frame, while still content (a star in a night sky) would count in all alike.
    const std::size_t length = lines[0].raw[0].size();
    std::vector<bool> edgeBefore(length * static_cast<std::size_t>(reach)), controlBefore(edgeBefore.size());
    auto count = [&](const FrameLines& frame, int from, std::vector<float>& counts,
                     std::vector<bool>& before) {
        for (std::size_t t = 1; t + 1 < length; ++t)
            for (int j = 0; j < reach; ++j) {
                const Line& line = frame.raw[static_cast<std::size_t>(from + j)];
                const std::size_t at = t * static_cast<std::size_t>(reach) + static_cast<std::size_t>(j);
                const bool dark = line[t] <= black.threshold;
                const bool seen = dark && std::max(line[t - 1], line[t + 1]) >= line[t] + kClearStep;
                if (seen && !before[at]) ++counts[static_cast<std::size_t>(j)];
                before[at] = seen;
                if (!dark) {
                    for (int k = j + 1; k < reach; ++k)
                        before[t * static_cast<std::size_t>(reach) + static_cast<std::size_t>(k)] = false;
                    break;
                }
            }
    };
    for (const FrameLines& frame : lines) {
        count(frame, dead, edgeCount, edgeBefore);
        count(frame, control, controlCount, controlBefore);
    }
    int deepest = -1;
    // Past dead lines, lines that are overscan-dark nearly everywhere, though some frame's codec
    // noise kept them from counting as dead, are overscan too; the significant run follows them
    // at once.
    // Fewer pixels than three in a thousand of those looked at is the codec smearing an edge.
    const float rare = std::max(4.0f, 0.003f * static_cast<float>(lines.size() * lines[0].raw[0].size()));
    int j = 0;
    while (dead > 0 && j < reach && darkFraction(lines, dead + j, black) >= 0.9f)
        deepest = dead + j++;
    for (; j < reach; ++j) {
        const float expected = controlCount[static_cast<std::size_t>(j)];
        const float allowance = 4.0f * std::sqrt(expected + 1.0f) + static_cast<float>(lines.size()) / 5.0f;
        const float seen = edgeCount[static_cast<std::size_t>(j)];
        if (seen <= 2.0f * expected + allowance || seen < rare) break;
        deepest = dead + j;
    }
    return deepest;
}

int partialDepth(const FrameLines& frame, int dead, int end, const BlackLevel& black) {
    const std::size_t length = frame.raw[0].size();
    std::vector<bool> dark(length, true);
    int deepest = -1;
    for (int d = dead; d < end; ++d) {
        const Line& here = frame.raw[static_cast<std::size_t>(d)];
        const Line& next = frame.raw[static_cast<std::size_t>(d + 1)];
        std::size_t ends = 0, still = 0;
        for (std::size_t t = 0; t < length; ++t) {
            dark[t] = dark[t] && here[t] <= black.threshold;
            if (!dark[t]) continue;
            ++still;
            if (next[t] >= here[t] + kClearStep && next[t] > black.threshold) ++ends;
        }
        if (ends * 8 >= length) deepest = d;
        if (still * 16 < length) break;
    }
    return deepest;
}

// A uniform line that steps away from the picture inside it: a blanking stripe.
bool isStripe(const FrameLines& frame, int d) {
    const std::size_t k = static_cast<std::size_t>(d);
    return deviation(frame.smooth[k]) <= 3.0f && frame.structured[k + 1] &&
           std::fabs(mean(frame.raw[k]) - mean(frame.raw[k + 1])) >= 10.0f;
}

bool isStripeInMostFrames(const std::vector<FrameLines>& lines, int d) {
    std::size_t stripes = 0;
    for (const FrameLines& frame : lines)
        stripes += isStripe(frame, d);
    return stripes * 2 > lines.size();
}

// Overscan and blanking end along a straight line, or within a ragged edge's reach of one: within
// a few lines the picture differs from the last dead line along most of its length. Moving content
// shows that in some frame at least. A flat area of the picture itself, a night sky, ends along a
// horizon that takes many lines in every frame, or continues into the picture as the same shade.
bool pictureStartsAfter(const std::vector<FrameLines>& lines, int dead) {
    std::size_t starts = 0;
    for (const FrameLines& frame : lines) {
        const Line& last = frame.smooth[static_cast<std::size_t>(dead - 1)];
        const int end = std::min(static_cast<int>(frame.smooth.size()), dead + kRaggedReach);
        for (int d = dead; d < end; ++d) {
            const Line& line = frame.smooth[static_cast<std::size_t>(d)];
            std::size_t differing = 0;
            for (std::size_t t = 0; t < line.size(); ++t)
                differing += std::fabs(line[t] - last[t]) >= kBoundaryStep;
            if (differing * 2 >= line.size()) {
                ++starts;
                break;
            }
        }
    }
    return starts > 0;
}

// Dead lines from the edge: no structure in any frame. Read a line at a time, since a bar may
// take a good part of the frame.
int deadLines(const std::vector<Luma>& frames, ZoneSide side, SideRange range, int depths) {
    std::vector<Line> current;
    for (const Luma& frame : frames)
        current.push_back(smoothed(SideView{frame, side}.line(0, range.t0, range.t1)));
    for (int d = 0; d < depths - 2; ++d)
        for (std::size_t k = 0; k < frames.size(); ++k) {
            Line next = smoothed(SideView{frames[k], side}.line(d + 1, range.t0, range.t1));
            if (hasStructure(current[k], next)) return d;
            current[k] = std::move(next);
        }
    return depths - 2;
}

SideResult analyseSide(const std::vector<Luma>& frames, ZoneSide side, SideRange range,
                       const BlackLevel& black) {
    SideResult result;
    const SideView first{frames[0], side};
    const int searched = std::min(first.depths() / 2, first.depths() / 3 + kWindow + 2);
    int dead = deadLines(frames, side, range, searched);
    // Only the dead lines and the window past them are kept, for every frame.
    const int depths = std::min(searched, dead + kWindow + 8);
    std::vector<FrameLines> lines;
    for (const Luma& frame : frames)
        lines.push_back(readLines(SideView{frame, side}, depths, range.t0, range.t1));
    if (dead > 0 && !pictureStartsAfter(lines, dead)) {
        // Not a bar: look for one inside the flat lines, where a flat area of the picture begins.
        int bar = dead - 1;
        while (bar > 0 && !pictureStartsAfter(lines, bar))
            --bar;
        dead = bar;
    }
    SideFindings& findings = result.findings;
    findings.deadLines = dead;
    // Overscan differs in level from side to side (a bar painted at the video black of 16 beside
    // bars of 0): a ragged edge reaches into the picture at its own side's level.
    BlackLevel sideBlack = black;
    if (dead > 0) {
        Line levels, noise;
        for (const FrameLines& frame : lines)
            for (int d = 0; d < dead; ++d) {
                levels.push_back(mean(frame.raw[static_cast<std::size_t>(d)]));
                noise.push_back(deviation(frame.raw[static_cast<std::size_t>(d)]));
            }
        findings.dark = percentile(levels, 0.5f) <= 40.0f;
        findings.noisy = percentile(noise, 0.5f) >= 2.0f;
        if (findings.dark) sideBlack.threshold = std::max(black.threshold, darkThreshold(levels, noise));
    }
    // Black or half-black top lines are black whatever the overscan's level: video black (16)
    // counts too.
    BlackLevel partialBlack = sideBlack;
    partialBlack.threshold = std::max(partialBlack.threshold, kVideoBlack);

    const int end = std::min(depths - 5, dead + kWindow);
    // Blanking stripes that the dead lines did not take in (codecs smear the picture into them):
    // the ragged edge's overscan, if any, starts after them.
    int live = dead;
    while (live < end && isStripeInMostFrames(lines, live))
        ++live;
    const int ragged = raggedDepth(lines, live, end, sideBlack);
    std::vector<int> deepest, deepestTorn, deepestStripe, deepestPartial;
    for (const FrameLines& frame : lines) {
        int torn = -1, stripe = -1;
        for (int d = dead; d < end; ++d)
            if (isStripe(frame, d)) stripe = d;
        const int partial = side == ZoneSide::Up ? partialDepth(frame, dead, end, partialBlack) : -1;
        // Head switching tears the bottom lines sideways and fills them with noise: a band from the
        // edge, each line fitting the lines inside it far worse, or far rougher, than lines of the
        // picture well inside the window. Each torn line must follow the edge or another torn line
        // within a few lines.
        if (side == ZoneSide::Down && end - dead > 16) {
            std::vector<float> fits, roughnesses;
            for (int d = end - 16; d < end; ++d) {
                fits.push_back(misfit(frame, d));
                roughnesses.push_back(roughness(frame.raw[static_cast<std::size_t>(d)]));
            }
            const float usualFit = percentile(fits, 0.5f), usualRoughness = percentile(roughnesses, 0.5f);
            // Codecs spread a band's noise over the rest of its macroblock row, and the picture
            // near the edge may be rougher than deep in the window; the band's last line also
            // stands out against the eight lines just inside it, which those do not.
            // A line right after torn lines, and nearly as rough or misfitting, may be the band's
            // last, torn least: it needs to stand out by less. Codec spread falls off at once.
            const auto standsOut = [&frame](int d, float fit, float rough, float margin) {
                return (misfit(frame, d) > std::max(1.4f * fit, fit + margin + 1.0f) + 1.0f &&
                        tornSideways(frame, d)) ||
                       roughness(frame.raw[static_cast<std::size_t>(d)]) >
                           std::max(1.4f * rough, rough + margin) + 1.0f;
            };
            int loose = dead - 1;
            for (int d = dead; d < end - 16 && d <= loose + 3; ++d) {
                const float margin = continuesBand(frame, d, loose, dead) ? 2.0f : 3.0f;
                if (!standsOut(d, usualFit, usualRoughness, margin)) continue;
                loose = d;
                std::vector<float> nearFits, nearRoughnesses;
                for (int k = d + 4; k < d + 12; ++k) {
                    nearFits.push_back(misfit(frame, k));
                    nearRoughnesses.push_back(roughness(frame.raw[static_cast<std::size_t>(k)]));
                }
                if (standsOut(d, percentile(nearFits, 0.5f), percentile(nearRoughnesses, 0.5f), margin))
                    torn = d;
            }
            if (torn < 0 && loose >= dead) torn = loose;
        }
        deepest.push_back(std::max({torn, stripe, partial}));
        deepestTorn.push_back(torn);
        deepestStripe.push_back(stripe);
        deepestPartial.push_back(partial);
    }
    // A ragged edge's farthest reach is a tail the sampled frames may just miss: where it is the
    // deepest damage, one line more.
    const int framewise = robustMaximum(deepest);
    result.damagedDepth = std::max({live - 1, ragged, framewise});
    if (ragged >= live && ragged > framewise) {
        ++result.damagedDepth;
        findings.raggedLines = ragged - live + 2;
    }
    const int torn = robustMaximum(deepestTorn), stripe = robustMaximum(deepestStripe);
    const int partial = robustMaximum(deepestPartial);
    if (partial >= dead && partial > ragged) findings.partialLines = partial - dead + 1;
    if (torn >= dead) findings.tornLines = torn - dead + 1;
    if (stripe >= dead) findings.stripeLines = stripe - dead + 1;
    findings.margin = result.damagedDepth + 2;
    return result;
}

BlackLevel blackLevel(const std::vector<Luma>& frames) {
    // Overscan's level and noise, from the outermost lines that show no picture and are dark; when
    // no side has any, a level that near-black overscan stays under.
    Line levels, noise;
    for (const Luma& frame : frames)
        for (const ZoneSide side : {ZoneSide::Up, ZoneSide::Left, ZoneSide::Right, ZoneSide::Down}) {
            const SideView view{frame, side};
            const FrameLines lines = readLines(view, 2, 0, view.length());
            const Line& edge = lines.raw[0];
            if (!lines.structured[0] && mean(edge) <= 40.0f && deviation(edge) <= 12.0f) {
                levels.push_back(mean(edge));
                noise.push_back(deviation(edge));
            }
        }
    BlackLevel black;
    if (!levels.empty()) black.threshold = darkThreshold(levels, noise);
    return black;
}

// Any line across the middle of any frame with structure shared with the next line.
bool showsPicture(const std::vector<Luma>& frames) {
    for (const Luma& frame : frames) {
        const SideView view{frame, ZoneSide::Up};
        const FrameLines lines = readLines(view, view.depths(), 0, view.length());
        for (int d = view.depths() / 4; d < view.depths() * 3 / 4; ++d)
            if (lines.structured[static_cast<std::size_t>(d)]) return true;
    }
    return false;
}

std::size_t representative(const std::vector<Luma>& frames, const std::vector<std::size_t>& indices) {
    std::size_t best = indices.front();
    float bestDetail = -1;
    for (std::size_t k = 0; k < frames.size(); ++k) {
        Line sample;
        for (std::size_t p = 0; p < frames[k].pixels.size(); p += 13)
            sample.push_back(frames[k].pixels[p]);
        const float detail = deviation(sample);
        if (detail > bestDetail) bestDetail = detail, best = indices[k];
    }
    return best;
}

}  // namespace

bool suggestZone(std::span<const FrameBitmap> frames, ZoneSuggestion& suggestion, std::string& error) {
    if (frames.empty()) return error = "no frames to look at", false;
    const std::int32_t w = frames[0].w, h = frames[0].h;
    for (const FrameBitmap& frame : frames)
        if (frame.w != w || frame.h != h) return error = "the frames are not all of one size", false;
    constexpr std::int32_t kSmallest = 48;
    if (w < kSmallest || h < kSmallest)
        return error = "frames of " + std::to_string(w) + "x" + std::to_string(h) +
                       " are too small to find a zone in (" + std::to_string(kSmallest) + "x" +
                       std::to_string(kSmallest) + " at least)",
               false;

    std::vector<Luma> lit;
    std::vector<std::size_t> indices;
    for (std::size_t k = 0; k < frames.size(); ++k) {
        Luma luma = lumaOf(frames[k]);
        if (isBlack(luma)) continue;
        lit.push_back(std::move(luma));
        indices.push_back(k);
    }
    if (lit.empty()) return error = "every sampled frame is black: there is no picture to find", false;

    if (!showsPicture(lit)) return error = "no clean picture found in the frames: they are flat", false;
    const BlackLevel black = blackLevel(lit);
    // First round: the middle half of each side; second: the zone the other sides leave.
    std::array<SideRange, 4> ranges{SideRange{w / 4, w - w / 4}, SideRange{h / 4, h - h / 4},
                                    SideRange{h / 4, h - h / 4}, SideRange{w / 4, w - w / 4}};
    std::array<SideResult, 4> results{};
    const ZoneSide sides[] = {ZoneSide::Up, ZoneSide::Left, ZoneSide::Right, ZoneSide::Down};
    for (int round = 0; round < 2; ++round) {
        for (int k = 0; k < 4; ++k)
            results[static_cast<std::size_t>(k)] =
                analyseSide(lit, sides[k], ranges[static_cast<std::size_t>(k)], black);
        // A few lines off each end, in case a side's first estimate fell short of its damage.
        const int top = results[0].damagedDepth + 1 + kRangeShrink,
                  bottom = h - 1 - (results[3].damagedDepth + 1 + kRangeShrink);
        const int left = results[1].damagedDepth + 1 + kRangeShrink,
                  right = w - 1 - (results[2].damagedDepth + 1 + kRangeShrink);
        if (bottom - top + 1 < 12 || right - left + 1 < 12) break;
        ranges = {SideRange{left, right + 1}, SideRange{top, bottom + 1}, SideRange{top, bottom + 1},
                  SideRange{left, right + 1}};
    }
    for (std::size_t k = 0; k < 4; ++k)
        suggestion.sides[k] = results[k].findings;
    const std::int64_t zoneWidth =
        std::int64_t{w} - suggestion.sides[1].margin - suggestion.sides[2].margin + 2;
    const std::int64_t zoneHeight =
        std::int64_t{h} - suggestion.sides[0].margin - suggestion.sides[3].margin + 2;
    if (zoneWidth < 12 || zoneHeight < 12) return error = "no clean picture found in the frames", false;
    suggestion.representativeFrame = representative(lit, indices);
    return true;
}

std::string describeSide(ZoneSide side, const SideFindings& findings) {
    const char* names[] = {"up", "left", "right", "down"};
    const bool rows = side == ZoneSide::Up || side == ZoneSide::Down;
    const std::string unit = rows ? " lines" : " px";
    std::string text = std::string(names[static_cast<int>(side)]) + ": ";
    std::string found;
    auto add = [&found](const std::string& part) { found += (found.empty() ? "" : "; ") + part; };
    if (findings.deadLines > 0)
        add(std::string(findings.dark ? (findings.noisy ? "dark overscan with noise" : "black")
                                      : "blank lines") +
            ", " + std::to_string(findings.deadLines) + unit);
    if (findings.stripeLines > 0) add("a blanking stripe");
    if (findings.raggedLines > 0) add("a ragged edge of " + std::to_string(findings.raggedLines) + unit);
    if (findings.tornLines > 0) add("a head-switching band of " + std::to_string(findings.tornLines) + unit);
    if (findings.partialLines > 0)
        add(std::to_string(findings.partialLines) +
            (rows ? " black or half-black lines" : " damaged columns"));
    text += found.empty() ? "nothing" : found;
    text += "; margin " + std::to_string(findings.margin);
    if (findings.margin > 30) text += " (beyond the dialog's 1 to 30: set it by the script line)";
    return text;
}
