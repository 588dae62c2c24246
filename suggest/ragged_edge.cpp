#include "suggest/ragged_edge.h"

#include <algorithm>
#include <cmath>

namespace {

// The bar's level comes from this many of its last dark lines; brighter ones are stripes.
constexpr int kBarLines = 4;
constexpr float kBarBrightest = 72.0f;
// Bar pixels lie within this many noise deviations of the bar's level, and within a few levels at
// least (codec error).
constexpr float kBarNoiseSpan = 3.5f;
constexpr float kBarLeastSpan = 6.0f;
constexpr float kBarChromaSpan = 10.0f;
// A line's picture stands apart from the bar by this much luma, or this much chroma.
constexpr float kStartContrast = 14.0f;
constexpr float kStartChroma = 24.0f;
// Levels within the blanking (a porch, then the bar) lie within this many times the bar's span of
// each other: a step from one to the next is no picture.
constexpr float kBlankingLevels = 2.0f;
// Starts reached in steps of at most this many pixels are one edge's jitter.
constexpr int kStartGap = 3;
// Starts past a wider gap still count when this share of the lines lies there.
constexpr float kStartShare = 0.1f;
// Timebase error and ragged blanking move a line's start a few pixels; a start this far past the
// middle one is the picture's own dark.
constexpr int kRaggedDeepest = 16;
// The early starts: this share of the lines starts sooner. Jitter is about as wide either way of
// the middle; a line or so more on the late side covers an uneven one.
constexpr float kEarlyShare = 0.03f;
constexpr int kJitterCushion = 1;

// How far a bar pixel's luma may lie from the bar's level.
float barSpan(const BarLevel& bar) {
    return std::max(kBarLeastSpan, kBarNoiseSpan * bar.noise);
}

}  // namespace

BarLevel barLevelOf(const SideLines& lines, int deadEnd, const BarLevel& fallback) {
    if (deadEnd < 1) return fallback;
    // The last few dark dead lines: a stripe or remnant among them has a level of its own.
    std::vector<int> dark;
    for (int d = deadEnd - 1; d >= 0 && static_cast<int>(dark.size()) < kBarLines; --d) {
        std::vector<float> line;
        for (int t = lines.t0; t < lines.t1; t += 4)
            line.push_back(static_cast<float>(lines.y(d, t)));
        if (percentile(line, 0.5f) <= kBarBrightest) dark.push_back(d);
    }
    if (dark.empty()) return fallback;
    std::vector<float> y, cb, cr;
    for (const int d : dark)
        for (int t = lines.t0; t < lines.t1; t += 2) {
            y.push_back(static_cast<float>(lines.y(d, t)));
            cb.push_back(static_cast<float>(lines.cb(d, t)));
            cr.push_back(static_cast<float>(lines.cr(d, t)));
        }
    BarLevel bar;
    bar.y = percentile(y, 0.5f), bar.cb = percentile(cb, 0.5f), bar.cr = percentile(cr, 0.5f);
    std::vector<float> deviations;
    for (const float v : y)
        deviations.push_back(std::fabs(v - bar.y));
    bar.noise = std::max(0.5f, percentile(deviations, 0.5f) / 0.674f);
    return bar;
}

int chromaLead(const SideLines& lines, int t, int start, const BarLevel& bar, int most) {
    const float chroma = std::max(std::fabs(static_cast<float>(lines.cb(start, t)) - bar.cb),
                                  std::fabs(static_cast<float>(lines.cr(start, t)) - bar.cr));
    if (chroma <= kBarChromaSpan) return 0;
    const float span = barSpan(bar);
    int lead = 0;
    while (lead < most && start + lead < lines.depths() &&
           std::fabs(static_cast<float>(lines.y(start + lead, t)) - bar.y) <= span)
        ++lead;
    return lead < most ? lead : 0;
}

std::vector<LineStart> lineStarts(const SideLines& lines, int from, int reach, const BarLevel& bar) {
    std::vector<LineStart> starts;
    const float span = barSpan(bar);
    const int last = std::min(lines.depths() - 8, from + reach);
    for (int t = lines.t0; t < lines.t1; ++t) {
        BarLevel level = bar;
        const auto atBar = [&](int d) {
            return std::fabs(static_cast<float>(lines.y(d, t)) - level.y) <= span &&
                   std::fabs(static_cast<float>(lines.cb(d, t)) - level.cb) <= kBarChromaSpan &&
                   std::fabs(static_cast<float>(lines.cr(d, t)) - level.cr) <= kBarChromaSpan;
        };
        // A departure from the bar's level with no picture behind it is a remnant within the
        // blanking (a burst, a porch moved sideways): the line's start lies further in.
        for (int d = from; d < last; ++d) {
            if (atBar(d)) continue;
            std::vector<float> inside;
            for (int k = d + 2; k < d + 6; ++k)
                inside.push_back(static_cast<float>(lines.y(k, t)));
            const float picture = percentile(inside, 0.5f);
            // ... and so is a step to another flat, dark, grey level: the card's black, then the
            // porch or lifted blanking. Its level is the bar's from there on.
            const auto [low, high] = std::minmax_element(inside.begin(), inside.end());
            if (*high - *low <= kBlankingLevels * span && picture <= kBarBrightest &&
                std::fabs(static_cast<float>(lines.cb(d + 3, t)) - 128) <= kBarChromaSpan &&
                std::fabs(static_cast<float>(lines.cr(d + 3, t)) - 128) <= kBarChromaSpan) {
                level.y = picture;
                level.cb = static_cast<float>(lines.cb(d + 3, t)),
                level.cr = static_cast<float>(lines.cr(d + 3, t));
                continue;
            }
            const float contrast = std::fabs(picture - level.y);
            const float chroma = std::max(std::fabs(static_cast<float>(lines.cb(d + 3, t)) - level.cb),
                                          std::fabs(static_cast<float>(lines.cr(d + 3, t)) - level.cr));
            if (contrast >= kStartContrast || chroma >= kStartChroma) {
                starts.push_back(LineStart{t, d, contrast, chroma});
                break;
            }
        }
    }
    return starts;
}

namespace {

std::vector<int> startsOf(const std::vector<LineStart>& starts) {
    std::vector<int> values;
    for (const LineStart& s : starts)
        values.push_back(s.start);
    return values;
}

}  // namespace

int startSpread(const std::vector<LineStart>& starts) {
    if (starts.empty()) return -1;
    const std::vector<int> values = startsOf(starts);
    return percentile(values, 0.5f) - percentile(values, kEarlyShare);
}

int raggedReach(const std::vector<LineStart>& starts, int jitter) {
    if (starts.empty()) return -1;
    std::vector<int> values = startsOf(starts);
    // Jitter moves the start either way about its middle; dark content only ever lengthens a line's
    // dark run. The early starts, which dark content cannot reach, say how far the late ones go.
    const int early = percentile(values, kEarlyShare);
    int middle = percentile(values, 0.5f);
    if (jitter >= 0) middle = std::min(middle, early + jitter);
    const int deepest = std::min(middle + kRaggedDeepest, 2 * middle - early + kJitterCushion);
    std::erase_if(values, [deepest](int v) { return v > deepest; });
    return reachedMaximum(values, kStartGap, kStartShare);
}
