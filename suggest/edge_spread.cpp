#include "suggest/edge_spread.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// The truth's tolerances, on the 8-bit scale.
constexpr float kLumaTolerance = 2.0f;
constexpr float kChromaTolerance = 12.0f;
// Steps smaller than these say little about the shape.
constexpr float kLeastLumaStep = 20.0f;
constexpr float kLeastChromaStep = 24.0f;
// The strongest steps: the truth counts the worst line, whose hidden picture beside the bar is as
// bright as the brightest seen; a high share of those seen, not the single largest (a codec's
// overshoot).
constexpr float kStrongStep = 0.99f;
// Residuals below this share are the picture's own average slope near the edge, not the step's
// (the control and the lingering-tail rule take out the rest); above it, a tail of 2 or 3 levels
// after a strong step of 230 is the truth's damage.
constexpr float kResidualFloor = 0.008f;
// A blurred edge's reach on the line whose start lies latest within its pixel (an edge that
// settles within its first pixel is sharp, its start pixel a mix of bar and picture).
constexpr int kPhaseCushion = 1;
// A ringing tail is read down to this share of the tolerance: the pooled shape is the middle
// line's, and lines whose step is stronger or whose start lies later ring further.
constexpr float kRingingTail = 0.5f;
// A band limit that rings has a kernel several pixels wide. Its far lobes are a fraction of a
// percent of the step in the pooled shape, lost in the picture's texture, yet the picture hidden
// under the bar rings through them too, by more than the truth allows where it differs strongly
// from the bar: an edge that rings reaches at least this far past where luma leaves the bar.
constexpr int kRingingReach = 6;
// Lines enough for the pooled shape to mean something.
constexpr int kLeastLines = 24;
// A step's spread decays (blur) or swings (ringing) towards the picture's level. Residuals that
// stay level over the span's last pixels, within this share of the step and not falling, are an
// offset between the picture just past the start and the level fitted further in, not the spread.
constexpr int kPlateauPixels = 3;
constexpr float kPlateauFlat = 0.015f;
constexpr float kPlateauFalling = 0.75f;

// Past the steep part of a step (under this share of it), a band limit's tail falls by at least
// this factor from one pixel to the next.
constexpr float kTailShare = 0.1f;
constexpr float kTailFalling = 0.8f;

// The residuals less their plateau, if they end on one. The offset explains away residuals of its
// own sign only, never past the picture's level: a pixel off the other way is read as it stands.
std::vector<float> lessPlateau(std::vector<float> residuals) {
    const auto tail = residuals.end() - kPlateauPixels;
    const auto [low, high] = std::minmax_element(tail, residuals.end());
    const bool oneSign = *low > 0 || *high < 0;
    const bool falling = std::fabs(residuals.back()) < kPlateauFalling * std::fabs(*tail);
    if (!oneSign || *high - *low > kPlateauFlat || falling) return residuals;
    const float level = residuals[residuals.size() - 2];
    for (float& r : residuals)
        if ((r > 0) == (level > 0)) r = level > 0 ? std::max(0.0f, r - level) : std::min(0.0f, r - level);
    return residuals;
}

// The pooled residuals over a span, less their plateau.
template <typename Residual>
std::vector<float> stepShape(int span, Residual residual) {
    std::vector<float> residuals;
    for (int k = 0; k < span; ++k)
        residuals.push_back(residual(k));
    return lessPlateau(std::move(residuals));
}

}  // namespace

void EdgeSpread::add(const SideLines& lines, int t, const LineStart& start, const BarLevel& bar) {
    const int s = start.start;
    const int lead = chromaLead(lines, t, s, bar, kMostLead);
    if (s + lead + kControlOffset + kChromaSpan + kFitLength > lines.depths()) return;
    // The residuals of the pixels from `at` on, as shares of the step from the bar to the level of
    // the picture beyond them. The control, further in where no step is, is read the same way: what
    // it shows is the picture's own (lines chosen for a strong step lean the same way there).
    const auto lumaResiduals = [&](int at, std::array<std::vector<float>, kSpan>& luma, bool real) {
        float y = 0;
        for (int k = 0; k < kFitLength; ++k)
            y += static_cast<float>(lines.y(at + kLumaSpan + k, t));
        y /= kFitLength;
        const float step = bar.y - y;
        if (std::fabs(step) < kLeastLumaStep) return;
        if (real) {
            lumaSteps_.push_back(std::fabs(step));
            leads_.push_back(lead);
        }
        for (int k = 0; k < kLumaSpan; ++k)
            luma[static_cast<std::size_t>(k)].push_back((static_cast<float>(lines.y(at + k, t)) - y) / step);
    };
    const auto chromaResiduals = [&](int at, std::array<std::vector<float>, kSpan>& chroma, bool real) {
        float cb = 0, cr = 0;
        for (int k = 0; k < kFitLength; ++k) {
            cb += static_cast<float>(lines.cb(at + kChromaSpan + k, t));
            cr += static_cast<float>(lines.cr(at + kChromaSpan + k, t));
        }
        cb /= kFitLength, cr /= kFitLength;
        const bool blue = std::fabs(bar.cb - cb) >= std::fabs(bar.cr - cr);
        const float step = blue ? bar.cb - cb : bar.cr - cr;
        if (std::fabs(step) < kLeastChromaStep) return;
        if (real) chromaSteps_.push_back(std::fabs(step));
        for (int k = 0; k < kChromaSpan; ++k) {
            const float v = static_cast<float>(blue ? lines.cb(at + k, t) : lines.cr(at + k, t));
            chroma[static_cast<std::size_t>(k)].push_back((v - (blue ? cb : cr)) / step);
        }
    };
    // Luma's spread counts from where luma leaves the bar, chroma's from the line's start.
    lumaResiduals(s + lead, luma_, true);
    lumaResiduals(s + lead + kControlOffset, lumaControl_, false);
    chromaResiduals(s, chroma_, true);
    chromaResiduals(s + kControlOffset, chromaControl_, false);
}

// The middle residual: the picture's own texture near a line's start scatters either way, the
// step's shape stays.
// Less what the same fit leaves where no step is.
float EdgeSpread::lumaResidual(int k) const {
    const std::size_t i = static_cast<std::size_t>(k);
    return percentile(luma_[i], 0.5f) - percentile(lumaControl_[i], 0.5f);
}

float EdgeSpread::chromaResidual(int k) const {
    const std::size_t i = static_cast<std::size_t>(k);
    return percentile(chroma_[i], 0.5f) - percentile(chromaControl_[i], 0.5f);
}

int EdgeSpread::reach() const {
    // The step's spread runs from the start on without a break: blur decays, ringing swings about
    // the picture's level, and a residual that reappears after a clean pixel is the picture's own
    // texture, not the step.
    int deepest = -1;
    if (static_cast<int>(lumaSteps_.size()) >= kLeastLines) {
        const float step = percentile(lumaSteps_, kStrongStep);
        const std::vector<float> shape = stepShape(kLumaSpan, [this](int k) { return lumaResidual(k); });
        const auto lumaAt = [&shape](int k) { return shape[static_cast<std::size_t>(k)]; };
        for (int k = 0; k < kLumaSpan; ++k) {
            const float residual = std::fabs(lumaAt(k));
            if (residual <= kResidualFloor || residual * step <= kLumaTolerance) break;
            // A band limit's tail falls off faster and faster; one that lingers, barely falling,
            // is the picture's own slope beside the lines' starts, from the pixel it lingers at.
            if (k >= 2) {
                const float before = lumaAt(k - 1);
                if (std::fabs(before) < kTailShare && (before > 0) == (lumaAt(k) > 0) &&
                    residual > kTailFalling * std::fabs(before)) {
                    deepest = k - 2;
                    break;
                }
            }
            deepest = std::max(deepest, k);
        }
        // Ringing: past the step, a lobe either way of the picture's level, each beyond what the
        // truth allows. Its tail is a percent or so of the step, under the floor the pooled
        // residuals are read to, and still more than the truth allows after a strong step: the
        // spread reaches as far as any residual comes within a factor of the tolerance.
        bool above = false, below = false;
        for (int k = 1; k < kLumaSpan; ++k) {
            const float residual = lumaAt(k);
            above = above || residual * step > kLumaTolerance;
            below = below || -residual * step > kLumaTolerance;
        }
        if (above && below) {
            for (int k = 1; k < kLumaSpan; ++k)
                if (std::fabs(lumaAt(k)) * step > kRingingTail * kLumaTolerance)
                    deepest = std::max(deepest, k);
            deepest = std::max(deepest, kRingingReach);
        }
        // Counted from the line's start: where chroma leads, the luma's edge lies that much later.
        deepest += percentile(leads_, 0.5f);
    }
    if (static_cast<int>(chromaSteps_.size()) >= kLeastLines) {
        const float step = percentile(chromaSteps_, kStrongStep);
        const std::vector<float> shape = stepShape(kChromaSpan, [this](int k) { return chromaResidual(k); });
        const auto chromaAt = [&shape](int k) { return shape[static_cast<std::size_t>(k)]; };
        for (int k = 0; k < kChromaSpan; ++k) {
            const float residual = std::fabs(chromaAt(k));
            if (residual <= kResidualFloor || residual * step <= kChromaTolerance) break;
            deepest = std::max(deepest, k);
        }
    }
    // The pooled shape is the middle line's; a line whose start falls later within its pixel
    // reaches a pixel further.
    return deepest >= 1 ? deepest + kPhaseCushion : deepest;
}

namespace {

// Chroma this far from neutral on the lines inside says how much a first line lost.
constexpr float kSaturated = 24.0f;
// A first line that keeps less than this share of the colour inside it lost it to blanking.
constexpr float kPulled = 0.25f;
// Coloured samples enough to tell: a picture with little colour near the edge gives few, and each
// says plainly whether its line kept its colour (about 1) or lost half of it.
constexpr int kLeastPulls = 6;

}  // namespace

void VerticalSpread::add(const SideLines& lines, int from) {
    if (from < 1 || from + 4 > lines.depths()) return;
    for (int first = from; first < from + 2; ++first)
        for (int t = lines.t0; t < lines.t1; t += 2) {
            for (const bool blue : {true, false}) {
                const float inside =
                    static_cast<float>(blue ? lines.cb(first + 2, t) : lines.cr(first + 2, t)) - 128;
                if (std::fabs(inside) < kSaturated) continue;
                const float here = static_cast<float>(blue ? lines.cb(first, t) : lines.cr(first, t)) - 128;
                pulls_.push_back(1 - here / inside);
            }
        }
}

int VerticalSpread::lines() const {
    if (static_cast<int>(pulls_.size()) < kLeastPulls) return 0;
    return percentile(pulls_, 0.5f) >= kPulled ? 2 : 0;
}
