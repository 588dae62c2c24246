#include "suggest/partial_lines.h"

#include <algorithm>
#include <cmath>

namespace {

// Lines past the dead ones that may be partial: the half line of each field.
constexpr int kPartialLines = 3;
// Dark: within this of the bar's level, or of black.
constexpr float kDarkSpan = 8.0f;
constexpr float kBlack = 16.0f;
// Noise lifts single pixels of a dark stretch; this many bright ones in a row end it.
constexpr int kNoisyPixels = 3;
// The line inside is picture there: this much brighter.
constexpr float kPictureStep = 12.0f;
// A partial line is dark over at least this share of its length, from one end.
constexpr float kLeastShare = 0.15f;
// Of the dark stretch, this share must be picture on the line inside (dark content is not).
constexpr float kPictureShare = 0.6f;

bool dark(const SideLines& lines, int d, int t, const BarLevel& bar) {
    const float y = static_cast<float>(lines.y(d, t));
    return std::fabs(y - bar.y) <= std::max(kDarkSpan, 3 * bar.noise) || y <= kBlack + kDarkSpan;
}

}  // namespace

float darkShareFromEnd(const SideLines& lines, int d, int inside, const BarLevel& bar) {
    float best = 0;
    for (const bool fromStart : {true, false}) {
        int run = 0, picture = 0, bright = 0;
        for (int k = 0; k < lines.length() && bright < kNoisyPixels; ++k) {
            const int t = fromStart ? lines.t0 + k : lines.t1 - 1 - k;
            bright = dark(lines, d, t, bar) ? 0 : bright + 1;
            if (bright > 0) continue;
            run = k + 1;
            picture +=
                static_cast<float>(lines.y(inside, t)) - static_cast<float>(lines.y(d, t)) >= kPictureStep;
        }
        if (run > 0 && static_cast<float>(picture) >= kPictureShare * static_cast<float>(run))
            best = std::max(best, static_cast<float>(run) / static_cast<float>(lines.length()));
    }
    return best;
}

int partialDepth(const SideLines& lines, int from, const BarLevel& bar) {
    int deepest = -1;
    for (int d = from; d < from + kPartialLines && d + 2 < lines.depths(); ++d)
        if (darkShareFromEnd(lines, d, d + 2, bar) >= kLeastShare) deepest = d;
    return deepest;
}
