#include "suggest/dead_lines.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Overscan and blanking sit at black, at the card's black below it, or lifted above it by a few
// tens of levels; nothing darker than this is picture-bright.
constexpr float kBlankBrightest = 72.0f;
// Lines of data (teletext, remnants) average no brighter than this: pulses on blanking.
constexpr float kDataBrightest = 140.0f;
// Chroma within this of neutral is grey: blanking carries no colour.
constexpr float kNeutralChroma = 12.0f;
// A colour burst's remnant is tinted by a few tens of levels.
constexpr float kBurstChroma = 40.0f;
// A flat group this narrow, with dead lines after it, is a remnant (sync, burst, a stripe) within
// the blanking; a wider one is picture.
constexpr int kNarrowFlat = 12;
// A flat group this narrow right before the picture is a blanking stripe.
constexpr int kStripeWidest = 4;
// A flat line unlike its neighbours may spread this many times what noise alone shows.
constexpr float kStripeWaver = 2.5f;
// Lines at the picture's black this many times as uneven as the band's usual line, and more than
// the picture's noise, carry noise of their own: damage.
constexpr float kNoisierBlack = 3.0f;
// Within this of the picture's black: its own black, noise and codec error included.
constexpr float kBlackTolerance = 5.0f;
// Lines between a black band and the picture that the band's edge blurs: the capture chain spreads
// an edge over up to four columns.
constexpr int kBandTransition = 4;
// Blanking keeps one level; a flat area of the picture that drifts away from its first lines'
// level by this much, without a step, is picture: a night sky's gradient, a dark shade.
constexpr float kLevelDrift = 1.2f;
// A change of level between neighbouring lines this large is a step between two kinds of blank
// (the card's black, then blanking), not a drift: line means of blanking hold to a fraction of a
// level, and a sky's gradient moves a tenth of a level a line.
constexpr float kLevelStep = 1.0f;
// Where a drift that follows a level began: the first line this far from the level it left.
constexpr float kDriftStart = 0.4f;
// A drift that starts at the run's first blank line, as a sky's gradient does, is told from a
// blank level that a drift follows by fitting both: a line's mean wavers by a tenth of a level or
// so, and the level-then-drift fit must beat the straight one by this many times that waver,
// squared, to place the drift's start further in.
constexpr float kBreakEvidence = 20.0f;
constexpr float kLeastWaver = 0.05f;
// A run of blank lines that reaches the picture drifts when its slope is this many times its own
// uncertainty, over this many lines at least, and moves this far in all.
constexpr float kDriftEvidence = 6.0f;
constexpr int kDriftLines = 8;
constexpr float kLeastDrift = 0.4f;

struct Drift {
    int start;         // the line it started at
    bool significant;  // whether the levels drift at all, beyond their waver
};

// Where the blank lines `first` to `end` - 1 begin to drift away from a level: the level-then-slope
// fit that fits their means best, or `first` when the straight line from `first` on fits as well.
Drift driftStart(std::span<const LineStats> lines, int first, int end, float noise) {
    std::vector<float> at, level;
    for (int d = first; d < end; ++d)
        if (classifyLine(lines[static_cast<std::size_t>(d)], noise) == LineKind::Blank) {
            at.push_back(static_cast<float>(d));
            level.push_back(lines[static_cast<std::size_t>(d)].meanY);
        }
    const std::size_t n = at.size();
    // Least squares of level = a + g * max(0, d - b); returns the sum of squared residuals.
    const auto fit = [&](float b, float* slope, float* slopeError) {
        double sx = 0, sy = 0, sxx = 0, sxy = 0;
        for (std::size_t k = 0; k < n; ++k) {
            const double x = std::max(0.0f, at[k] - b);
            sx += x, sy += level[k], sxx += x * x, sxy += x * level[k];
        }
        const double count = static_cast<double>(n);
        const double spread = sxx - sx * sx / count;
        const double g = spread > 0 ? (sxy - sx * sy / count) / spread : 0;
        const double a = (sy - g * sx) / count;
        double sse = 0;
        for (std::size_t k = 0; k < n; ++k) {
            const double r = level[k] - a - g * std::max(0.0f, at[k] - b);
            sse += r * r;
        }
        if (slope) *slope = static_cast<float>(g);
        if (slopeError)
            *slopeError = n > 2 && spread > 0 ? static_cast<float>(std::sqrt(sse / (count - 2) / spread)) : 0;
        return sse;
    };
    const double straight = fit(static_cast<float>(first), nullptr, nullptr);
    double best = straight;
    int start = first;
    for (int b = first + 1; b < end - 2; ++b) {
        const double sse = fit(static_cast<float>(b), nullptr, nullptr);
        if (sse < best) best = sse, start = b;
    }
    const double waver = std::max(static_cast<double>(kLeastWaver) * kLeastWaver,
                                  n > 3 ? best / static_cast<double>(n - 3) : 0.0);
    if (straight - best <= kBreakEvidence * waver) start = first;
    float slope = 0, slopeError = 0;
    fit(static_cast<float>(start), &slope, &slopeError);
    const float total = std::fabs(slope) * static_cast<float>(end - 1 - start);
    const bool significant = static_cast<int>(n) >= kDriftLines && total >= kLeastDrift &&
                             std::fabs(slope) > kDriftEvidence * slopeError;
    return Drift{start, significant};
}

// The first of the lines before `first` that share its level: a sky's lines with a star are data
// lines, at the level of the blank ones about them.
int levelStart(std::span<const LineStats> lines, int first) {
    const float level = lines[static_cast<std::size_t>(first)].meanY;
    while (first > 0 && std::fabs(lines[static_cast<std::size_t>(first - 1)].meanY - level) <= kLevelStep)
        --first;
    return first;
}

bool neutral(const LineStats& line) {
    return std::fabs(line.meanCb - 128) <= kNeutralChroma && std::fabs(line.meanCr - 128) <= kNeutralChroma;
}

}  // namespace

LineKind classifyLine(const LineStats& line, float noise) {
    // Sync, porch, burst and bar moved sideways row by row share that "structure" with their
    // neighbours; they stay dark and at most tinted by the burst.
    if (line.betweenNeighbours && line.meanY <= kDataBrightest &&
        std::fabs(line.meanCb - 128) <= kBurstChroma && std::fabs(line.meanCr - 128) <= kBurstChroma)
        return LineKind::Data;
    if (line.structured) return LineKind::Picture;
    // Data rides on blanking: grey on average, darker than the picture's middle tones, its pulses
    // short. A line brighter than blanking that is flat but for an object the next line shares, or
    // changes only slowly along its length (shading, a gradient), is the picture's own; a dark one
    // may be a sky's line with a star, or shaded blanking.
    if (line.spread > noiseSpread(noise)) {
        const bool picturesOwn =
            line.meanY > kBlankBrightest && (line.partlyStructured || line.localSpread <= noiseSpread(noise));
        if (neutral(line) && line.meanY <= kDataBrightest && !picturesOwn) return LineKind::Data;
        // A grey or white stripe wavers a little along its length (the stripe's own level, noise
        // smeared by the chain) but shares nothing with its neighbours: flat, not picture.
        if (neutral(line) && line.spread <= kStripeWaver * noiseSpread(noise)) return LineKind::Flat;
        return LineKind::Picture;
    }
    return neutral(line) && line.meanY <= kBlankBrightest ? LineKind::Blank : LineKind::Flat;
}

int deadRunEnd(std::span<const LineStats> lines, float noise) {
    const int n = static_cast<int>(lines.size());
    int d = 0;
    int segment = -1;  // the first blank line of the current level
    int lastBlank = -1;
    while (d < n) {
        const LineStats& line = lines[static_cast<std::size_t>(d)];
        const LineKind kind = classifyLine(line, noise);
        if (kind == LineKind::Picture) {
            // Blank lines that drift steadily from their first to the picture are its own dark
            // gradient (a night sky) short of the threshold; a level whose last lines blur into
            // the picture drifts only from there.
            if (segment >= 0 && d - segment >= kDriftLines) {
                const Drift drift = driftStart(lines, segment, d, noise);
                if (drift.significant && drift.start == segment) return levelStart(lines, segment);
            }
            return d;
        }
        if (kind == LineKind::Blank) {
            // Against the last blank line: data lines between (a star, a remnant) have levels of
            // their own.
            const bool step =
                lastBlank >= 0 &&
                std::fabs(line.meanY - lines[static_cast<std::size_t>(lastBlank)].meanY) > kLevelStep;
            lastBlank = d;
            if (segment < 0 || step) segment = d;
            const float level = lines[static_cast<std::size_t>(segment)].meanY;
            // A sky brightens from the frame's edge into the picture. A level that falls is noise
            // clearing (a head-switching band's in a black bar, brightened where a codec clips it at
            // black): the blanking settles there.
            if (level - line.meanY > kLevelDrift) segment = d;
            if (line.meanY - level > kLevelDrift) {
                if (driftStart(lines, segment, d + 1, noise).start == segment)
                    return levelStart(lines, segment);
                // A level that a drift follows (blanking that a codec's blur brightens towards the
                // picture): the picture from the first line plainly off the level.
                int start = d;
                while (start > segment &&
                       std::fabs(lines[static_cast<std::size_t>(start - 1)].meanY - level) > kDriftStart)
                    --start;
                return start;
            }
        }
        if (kind != LineKind::Flat) {
            ++d;
            continue;
        }
        int group = d;
        while (group < n && classifyLine(lines[static_cast<std::size_t>(group)], noise) == LineKind::Flat)
            ++group;
        const int width = group - d;
        if (group >= n) return d;
        const LineKind after = classifyLine(lines[static_cast<std::size_t>(group)], noise);
        const bool remnant = width <= kNarrowFlat && after != LineKind::Picture;
        const bool stripe = width <= kStripeWidest && after == LineKind::Picture;
        if (!remnant && !stripe) return d;
        d = group;
        segment = lastBlank = -1;  // the blank after a remnant may sit at a level of its own
    }
    return n;
}

bool atPictureBlack(const LineStats& line, float black) {
    return neutral(line) && std::fabs(line.meanY - black) <= kBlackTolerance;
}

int pictureBlackStart(std::span<const LineStats> lines, int end, float black) {
    // The band's last lines may be blurred into the picture after it.
    int inner = end;
    while (inner > 0 && end - inner < kBandTransition &&
           !atPictureBlack(lines[static_cast<std::size_t>(inner - 1)], black))
        --inner;
    int start = inner;
    while (start > 0 && atPictureBlack(lines[static_cast<std::size_t>(start - 1)], black))
        --start;
    return start < inner ? start : end;
}

int noisyBlackLines(std::span<const LineStats> lines, int end, float black, float noise) {
    end = std::min(end, static_cast<int>(lines.size()));
    std::vector<float> spreads;
    for (int d = 0; d < end; ++d)
        spreads.push_back(lines[static_cast<std::size_t>(d)].spread);
    const float least = std::max(noiseSpread(noise), kNoisierBlack * percentile(spreads, 0.5f));
    int d = 0;
    while (d < end && atPictureBlack(lines[static_cast<std::size_t>(d)], black) &&
           lines[static_cast<std::size_t>(d)].spread > least)
        ++d;
    return d;
}
