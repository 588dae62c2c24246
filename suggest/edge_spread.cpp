#include "suggest/edge_spread.h"

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
// Lines enough for the pooled shape to mean something.
constexpr int kLeastLines = 24;

}  // namespace

void EdgeSpread::add(const SideLines& lines, int t, const LineStart& start, const BarLevel& bar) {
    const int far = start.start + kSpan;
    if (far + 4 > lines.depths()) return;
    float y = 0, cb = 0, cr = 0;
    for (int d = far; d < far + 4; ++d)
        y += static_cast<float>(lines.y(d, t)), cb += static_cast<float>(lines.cb(d, t)),
            cr += static_cast<float>(lines.cr(d, t));
    y /= 4, cb /= 4, cr /= 4;
    const float lumaStep = bar.y - y;
    if (std::fabs(lumaStep) >= kLeastLumaStep) {
        lumaSteps_.push_back(std::fabs(lumaStep));
        for (int k = 0; k < kSpan; ++k) {
            luma_[static_cast<std::size_t>(k)].push_back((static_cast<float>(lines.y(start.start + k, t)) - y) / lumaStep);
        }
    }
    const bool blue = std::fabs(bar.cb - cb) >= std::fabs(bar.cr - cr);
    const float chromaStep = blue ? bar.cb - cb : bar.cr - cr;
    if (std::fabs(chromaStep) >= kLeastChromaStep) {
        chromaSteps_.push_back(std::fabs(chromaStep));
        for (int k = 0; k < kSpan; ++k) {
            const float v = static_cast<float>(blue ? lines.cb(start.start + k, t) : lines.cr(start.start + k, t));
            chroma_[static_cast<std::size_t>(k)].push_back((v - (blue ? cb : cr)) / chromaStep);
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
    int deepest = -1;
    if (static_cast<int>(lumaSteps_.size()) >= kLeastLines) {
        const float step = percentile(lumaSteps_, kStrongStep);
        for (int k = 0; k < kSpan; ++k) {
            const float residual = std::fabs(lumaResidual(k));
            if (residual > kResidualFloor && residual * step > kLumaTolerance) deepest = k;
        }
    }
    if (static_cast<int>(chromaSteps_.size()) >= kLeastLines) {
        const float step = percentile(chromaSteps_, kStrongStep);
        for (int k = 0; k < kSpan; ++k) {
            const float residual = std::fabs(chromaResidual(k));
            if (residual > kResidualFloor && residual * step > kChromaTolerance) deepest = std::max(deepest, k);
        }
    }
    return deepest;
}
