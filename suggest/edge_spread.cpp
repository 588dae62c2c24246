#include "suggest/edge_spread.h"

#include <algorithm>
#include <cmath>

namespace {

// The truth's tolerances, on the 8-bit scale.
constexpr float kLumaTolerance = 2.0f;
constexpr float kChromaTolerance = 12.0f;
// Steps smaller than these say little about the shape.
constexpr float kLeastLumaStep = 20.0f;
constexpr float kLeastChromaStep = 24.0f;
// The strongest steps: a high share of those seen, not the single largest (a codec's overshoot).
constexpr float kStrongStep = 0.95f;
// Residuals below this share are the picture's own average slope near the edge, not the step's.
constexpr float kResidualFloor = 0.015f;
// A blurred edge's reach on the line whose start lies latest within its pixel (an edge that
// settles within its first pixel is sharp, its start pixel a mix of bar and picture).
constexpr int kPhaseCushion = 1;
// Lines enough for the pooled shape to mean something.
constexpr int kLeastLines = 24;

}  // namespace

namespace {

// The straight line through values[from .. from + n) by least squares, evaluated at x.
struct Fit {
    float a = 0, b = 0;  // value = a + b * x
    float at(float x) const { return a + b * x; }
};

template <typename Get>
Fit fitLine(Get get, int from, int n) {
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (int k = 0; k < n; ++k) {
        const double x = from + k, y = get(from + k);
        sx += x, sy += y, sxx += x * x, sxy += x * y;
    }
    const double slope = (n * sxy - sx * sy) / std::max(1e-9, n * sxx - sx * sx);
    return Fit{static_cast<float>((sy - slope * sx) / n), static_cast<float>(slope)};
}

}  // namespace

void EdgeSpread::add(const SideLines& lines, int t, const LineStart& start, const BarLevel& bar) {
    const int s = start.start;
    if (s + kChromaSpan + kFitLength > lines.depths()) return;
    const Fit luma =
        fitLine([&](int k) { return static_cast<double>(lines.y(s + k, t)); }, kLumaSpan, kFitLength);
    const float lumaStep = bar.y - luma.at(0);
    if (std::fabs(lumaStep) >= kLeastLumaStep) {
        lumaSteps_.push_back(std::fabs(lumaStep));
        for (int k = 0; k < kLumaSpan; ++k) {
            const float picture = luma.at(static_cast<float>(k));
            luma_[static_cast<std::size_t>(k)].push_back((static_cast<float>(lines.y(s + k, t)) - picture) /
                                                         lumaStep);
        }
    }
    const Fit cb =
        fitLine([&](int k) { return static_cast<double>(lines.cb(s + k, t)); }, kChromaSpan, kFitLength);
    const Fit cr =
        fitLine([&](int k) { return static_cast<double>(lines.cr(s + k, t)); }, kChromaSpan, kFitLength);
    const bool blue = std::fabs(bar.cb - cb.at(0)) >= std::fabs(bar.cr - cr.at(0));
    const Fit& chroma = blue ? cb : cr;
    const float chromaStep = (blue ? bar.cb : bar.cr) - chroma.at(0);
    if (std::fabs(chromaStep) >= kLeastChromaStep) {
        chromaSteps_.push_back(std::fabs(chromaStep));
        for (int k = 0; k < kChromaSpan; ++k) {
            const float v = static_cast<float>(blue ? lines.cb(s + k, t) : lines.cr(s + k, t));
            chroma_[static_cast<std::size_t>(k)].push_back((v - chroma.at(static_cast<float>(k))) /
                                                           chromaStep);
        }
    }
}

// The middle residual: the picture's own texture near a line's start scatters either way, the
// step's shape stays.
float EdgeSpread::lumaResidual(int k) const {
    return percentile(luma_[static_cast<std::size_t>(k)], 0.5f);
}

float EdgeSpread::chromaResidual(int k) const {
    return percentile(chroma_[static_cast<std::size_t>(k)], 0.5f);
}

int EdgeSpread::reach() const {
    // The step's spread runs from the start on without a break: blur decays, ringing swings about
    // the picture's level, and a residual that reappears after a clean pixel is the picture's own
    // texture, not the step.
    int deepest = -1;
    if (static_cast<int>(lumaSteps_.size()) >= kLeastLines) {
        const float step = percentile(lumaSteps_, kStrongStep);
        for (int k = 0; k < kLumaSpan; ++k) {
            const float residual = std::fabs(lumaResidual(k));
            if (residual <= kResidualFloor || residual * step <= kLumaTolerance) break;
            deepest = std::max(deepest, k);
        }
    }
    if (static_cast<int>(chromaSteps_.size()) >= kLeastLines) {
        const float step = percentile(chromaSteps_, kStrongStep);
        for (int k = 0; k < kChromaSpan; ++k) {
            const float residual = std::fabs(chromaResidual(k));
            if (residual <= kResidualFloor || residual * step <= kChromaTolerance) break;
            deepest = std::max(deepest, k);
        }
    }
    // The pooled shape is the middle line's; a line whose start falls later within its pixel
    // reaches a pixel further.
    return deepest >= 1 ? deepest + kPhaseCushion : deepest;
}
