#include "suggest/head_switching.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

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
// A noisy line is this much rougher than the usual.
constexpr float kRoughFactor = 1.35f;
constexpr float kRoughMargin = 2.0f;

float meanDifference(const SideLines& lines, int a, int b, int shift) {
    const int length = lines.length();
    const int from = std::max(0, -shift), to = std::min(length, length - shift);
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
    double rough = 0;
    for (int t = lines.t0 + 1; t + 1 < lines.t1; ++t)
        rough += std::abs(2 * lines.y(d, t) - lines.y(d, t - 1) - lines.y(d, t + 1));
    fit.roughness = static_cast<float>(rough / std::max(1, lines.length() - 2));
    return fit;
}

bool isTorn(const LineFit& line, const LineFit& usual) {
    const bool misfits = line.misfit > std::max(kMisfitFactor * usual.misfit, usual.misfit + kMisfitMargin);
    const bool moved = line.shifted < kShiftGain * line.misfit && std::abs(line.shift) >= kLeastTear &&
                       std::abs(line.shift) > std::abs(usual.shift) + 1;
    const bool rough =
        line.roughness > std::max(kRoughFactor * usual.roughness, usual.roughness + kRoughMargin);
    return (misfits && moved) || rough;
}

int headSwitchingDepth(const SideLines& lines, int from) {
    const int depths = lines.depths();
    int deepest = -1;
    for (int parity = 0; parity < 2; ++parity) {
        const int first = from + ((from & 1) != parity ? 1 : 0);
        const int usualFrom = first + 2 * kDeepestBand;
        if (usualFrom + 2 * kUsualLines + 2 >= depths / 2) continue;
        std::vector<float> misfits, roughnesses;
        std::vector<int> shifts;
        for (int d = usualFrom; d < usualFrom + 2 * kUsualLines; d += 2) {
            const LineFit fit = fitLine(lines, d, d + 2);
            misfits.push_back(fit.misfit), roughnesses.push_back(fit.roughness);
            shifts.push_back(std::abs(fit.shift));
        }
        const LineFit usual{percentile(misfits, 0.5f), 0, percentile(shifts, 0.75f),
                            percentile(roughnesses, 0.5f)};
        // The band reaches from the dead lines up to its topmost torn line: read from the inside
        // out, the first line torn against the one inside it. A band torn alike all through fits
        // itself; only its top stands out.
        int band = -1;
        for (int d = first + 2 * (kDeepestBand - 1); d >= first; d -= 2)
            if (isTorn(fitLine(lines, d, d + 2), usual)) {
                band = d;
                break;
            }
        // Heads switch at the field's end: the band's lines are torn down to the dead lines, each
        // against the next. A torn-looking line with the picture whole below it is the picture's.
        int torn = 0, all = 0;
        for (int d = first; d < band; d += 2, ++all)
            torn += isTorn(fitLine(lines, d, d + 2), usual);
        if (band >= 0 && torn * 2 < all) band = -1;
        deepest = std::max(deepest, band);
    }
    return deepest;
}
