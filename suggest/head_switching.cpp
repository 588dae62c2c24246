#include "suggest/head_switching.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numeric>
#include <vector>

namespace {

// Tears move lines by up to a good part of the frame; searched up to this far (and a quarter of the
// line at most).
constexpr int kWidestTear = 64;
// Pixels compared: every few, which keeps the shift search cheap and loses nothing of a tear.
constexpr int kStep = 3;
// Bands are at most this many lines of each field, above the dead lines.
constexpr int kDeepestBand = 14;
// Lines of the field past the band that show what the picture's lines usually do.
constexpr int kUsualLines = 8;
// A torn line misfits the line inside it by this factor and margin beyond the usual.
constexpr float kMisfitFactor = 1.45f;
constexpr float kMisfitMargin = 2.5f;
// ... and fits clearly better moved sideways, by more than timebase error moves any line.
constexpr float kShiftGain = 0.8f;
constexpr int kLeastTear = 2;
// Stretches a line is cut into to see whether all of it moved: a slanted edge of the picture fits
// its neighbour shifted only where it crosses the line.
constexpr int kStretches = 8;
// A moved line has stretches that fit unshifted clearly better than shifted at most this share of
// those that fit shifted better (a stretch of the picture's own slant within a torn line).
constexpr float kStillShare = 0.34f;
// A noisy line is this much rougher than the usual.
constexpr float kRoughFactor = 1.35f;
constexpr float kRoughMargin = 2.0f;
// ... and, decoded losslessly, its smoothest places too: a rougher stretch of the picture near the
// bottom keeps the smooth places of the lines above it; noise leaves none. A lossy codec smooths
// the faint noise of a band's top away, and with it this sign.
constexpr float kGrainShare = 0.3f;
constexpr float kGrainFactor = 1.35f;
constexpr float kGrainMargin = 0.3f;

// The mean difference of line a from line b moved by `shift`, over positions [begin, end) of the
// line (all of it by default), less their mean difference.
float meanDifference(const SideLines& lines, int a, int b, int shift, int begin = 0, int end = -1) {
    const int length = end < 0 ? lines.length() : end;
    const int from = std::max(begin, -shift), to = std::min(length, lines.length() - shift);
    double sum = 0, sumA = 0, sumB = 0;
    int count = 0;
    for (int k = from; k < to; k += kStep, ++count) {
        sumA += lines.y(a, lines.t0 + k);
        sumB += lines.y(b, lines.t0 + k + shift);
    }
    if (count == 0) return 0;
    // A torn line may also be brighter or darker as a whole.
    const double offset = (sumA - sumB) / count;
    for (int k = from; k < to; k += kStep)
        sum += std::fabs(lines.y(a, lines.t0 + k) - lines.y(b, lines.t0 + k + shift) - offset);
    return static_cast<float>(sum / count);
}

}  // namespace

LineFit fitLine(const SideLines& lines, int d, int inside) {
    LineFit fit{};
    fit.misfit = meanDifference(lines, d, inside, 0);
    fit.shifted = fit.misfit;
    const int widest = std::min(kWidestTear, lines.length() / 4);
    for (int shift = -widest; shift <= widest; ++shift) {
        if (shift == 0) continue;
        const float difference = meanDifference(lines, d, inside, shift);
        if (difference < fit.shifted) fit.shifted = difference, fit.shift = shift;
    }
    if (fit.shift != 0) {
        const int length = lines.length();
        for (int k = 0; k < kStretches; ++k) {
            const int begin = length * k / kStretches, end = length * (k + 1) / kStretches;
            const float still = meanDifference(lines, d, inside, 0, begin, end);
            const float moved = meanDifference(lines, d, inside, fit.shift, begin, end);
            fit.movedStretches += moved < kShiftGain * still;
            fit.stillStretches += still < kShiftGain * moved;
        }
    }
    std::vector<int> seconds;
    for (int t = lines.t0 + 1; t + 1 < lines.t1; ++t)
        seconds.push_back(std::abs(2 * lines.y(d, t) - lines.y(d, t - 1) - lines.y(d, t + 1)));
    if (!seconds.empty()) {
        fit.roughness = static_cast<float>(std::accumulate(seconds.begin(), seconds.end(), 0.0) /
                                           static_cast<double>(seconds.size()));
        const auto smooth =
            seconds.begin() +
            static_cast<std::ptrdiff_t>(std::max<std::size_t>(
                1, static_cast<std::size_t>(kGrainShare * static_cast<float>(seconds.size()))));
        std::nth_element(seconds.begin(), smooth - 1, seconds.end());
        fit.grain = static_cast<float>(std::accumulate(seconds.begin(), smooth, 0.0) /
                                       static_cast<double>(smooth - seconds.begin()));
    }
    return fit;
}

bool isTorn(const LineFit& line, const LineFit& usual, bool lossless) {
    const bool misfits = line.misfit > std::max(kMisfitFactor * usual.misfit, usual.misfit + kMisfitMargin);
    const bool moved =
        line.shifted < kShiftGain * line.misfit && std::abs(line.shift) >= kLeastTear &&
        std::abs(line.shift) > std::abs(usual.shift) + 1 &&
        static_cast<float>(line.stillStretches) <= kStillShare * static_cast<float>(line.movedStretches);
    const bool rough =
        line.roughness > std::max(kRoughFactor * usual.roughness, usual.roughness + kRoughMargin) &&
        (!lossless || line.grain > std::max(kGrainFactor * usual.grain, usual.grain + kGrainMargin));
    return (misfits && moved) || rough;
}

int headSwitchingDepth(const SideLines& lines, int from) {
    const int depths = lines.depths();
    int deepest = -1;
    for (int parity = 0; parity < 2; ++parity) {
        const int first = from + ((from & 1) != parity ? 1 : 0);
        const int usualFrom = first + 2 * kDeepestBand;
        if (usualFrom + 2 * kUsualLines + 2 >= depths / 2) continue;
        std::vector<float> misfits, roughnesses, grains;
        std::vector<int> shifts;
        for (int d = usualFrom; d < usualFrom + 2 * kUsualLines; d += 2) {
            const LineFit fit = fitLine(lines, d, d + 2);
            misfits.push_back(fit.misfit), roughnesses.push_back(fit.roughness), grains.push_back(fit.grain);
            shifts.push_back(std::abs(fit.shift));
        }
        LineFit usual{percentile(misfits, 0.5f), 0, percentile(shifts, 0.75f), percentile(roughnesses, 0.5f)};
        usual.grain = percentile(grains, 0.5f);
        // The band reaches from the dead lines up to its topmost torn line: read from the inside
        // out, the first line torn against the one inside it. A band torn alike all through fits
        // itself; only its top stands out.
        int band = -1;
        for (int d = first + 2 * (kDeepestBand - 1); d >= first; d -= 2)
            if (isTorn(fitLine(lines, d, d + 2), usual, lines.frame.lossless)) {
                band = d;
                break;
            }
        // Heads switch at the field's end: the band's lines are torn down to the dead lines, each
        // against the next. A torn-looking line with the picture whole below it is the picture's.
        int torn = 0, all = 0;
        for (int d = first; d < band; d += 2, ++all)
            torn += isTorn(fitLine(lines, d, d + 2), usual, lines.frame.lossless);
        if (band >= 0 && torn * 2 < all) band = -1;
        deepest = std::max(deepest, band);
    }
    return deepest;
}
