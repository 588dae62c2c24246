#include "suggest/lasting_structure.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace {

// Pixels averaged along the line, as the per-frame statistics do: noise falls, picture stays.
constexpr int kSmoothing = 8;
// Frames enough that each half's average has noise to cancel.
constexpr int kLeastFrames = 6;
// The two halves' averages correlate at least this much: shared structure, not noise (over the
// 45 or more smoothed values of a line, noise alone stays under 0.45 but once in many thousands).
constexpr float kAgreement = 0.6f;
// ... with a structure of at least this many levels: blanking keeps patterns of a few tenths of a
// level that hold over the frames (the chain's blur of its remnants).
constexpr float kLeastStrength = 0.6f;
// ... and at most this many: stronger structure shows in each frame on its own, and what lasts
// that strongly among dead lines is data (teletext, timecode), not picture.
constexpr float kMostStrength = 6.0f;
// A frame's own line, smoothed, deviates at most this much where faint picture may hide.
constexpr float kMostOwnStrength = 12.0f;
// Lines of faint picture may be flat enough to show nothing lasting (a sky's smooth rows); a gap
// of this many lines still continues it.
constexpr int kGap = 2;

float deviation(const std::vector<float>& values) {
    double sum = 0, squares = 0;
    for (const float v : values)
        sum += v, squares += double{v} * v;
    const double n = static_cast<double>(values.size());
    const double mean = sum / n;
    return static_cast<float>(std::sqrt(std::max(0.0, squares / n - mean * mean)));
}

float correlation(const std::vector<float>& a, const std::vector<float>& b) {
    double ma = 0, mb = 0;
    for (std::size_t k = 0; k < a.size(); ++k)
        ma += a[k], mb += b[k];
    ma /= static_cast<double>(a.size()), mb /= static_cast<double>(a.size());
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t k = 0; k < a.size(); ++k) {
        ab += (a[k] - ma) * (b[k] - mb);
        aa += (a[k] - ma) * (a[k] - ma);
        bb += (b[k] - mb) * (b[k] - mb);
    }
    return aa > 0 && bb > 0 ? static_cast<float>(ab / std::sqrt(aa * bb)) : 0.0f;
}

}  // namespace

LastingStructure lastingStructure(std::span<const SideLines> lines, std::span<const int> deadEnds, int d) {
    LastingStructure result;
    if (lines.empty()) return result;
    const int length = lines[0].length();
    const std::size_t blocks = static_cast<std::size_t>(length / kSmoothing);
    if (blocks < 2) return result;
    std::array<std::vector<double>, 2> sums{std::vector<double>(blocks), std::vector<double>(blocks)};
    std::array<int, 2> counts{};
    std::vector<float> own(blocks);
    for (std::size_t k = 0; k < lines.size(); ++k) {
        if (d >= deadEnds[k] || d >= lines[k].depths()) continue;
        for (std::size_t b = 0; b < blocks; ++b) {
            int sum = 0;
            for (int j = 0; j < kSmoothing; ++j)
                sum += lines[k].y(d, lines[k].t0 + static_cast<int>(b) * kSmoothing + j);
            own[b] = static_cast<float>(sum) / kSmoothing;
        }
        // A frame whose line shows strong structure on its own carries data there (teletext, or
        // data lines that a bouncing picture brings to it): no faint picture to find.
        if (deviation(own) > kMostOwnStrength) continue;
        const std::size_t half = static_cast<std::size_t>(result.frames % 2);
        ++result.frames, ++counts[half];
        for (std::size_t b = 0; b < blocks; ++b)
            sums[half][b] += own[b] * kSmoothing;
    }
    if (result.frames < kLeastFrames) return result;
    std::array<std::vector<float>, 2> means;
    std::vector<float>& all = result.average;
    all.assign(blocks, 0.0f);
    for (std::size_t half = 0; half < 2; ++half)
        for (std::size_t b = 0; b < blocks; ++b) {
            means[half].push_back(static_cast<float>(sums[half][b] / (counts[half] * kSmoothing)));
            all[b] += static_cast<float>(sums[half][b] / (result.frames * kSmoothing));
        }
    result.agreement = correlation(means[0], means[1]);
    result.strength = deviation(all);
    return result;
}

std::vector<int> lastingStructureEnds(std::span<const SideLines> lines, std::span<const int> deadEnds) {
    std::vector<int> ends(deadEnds.begin(), deadEnds.end());
    int deepest = 0;
    for (const int end : deadEnds)
        deepest = std::max(deepest, end);
    if (lines.empty() || deepest == 0) return ends;
    std::vector<LastingStructure> structures;
    std::vector<bool> lasting;
    for (int d = 0; d < deepest; ++d) {
        structures.push_back(lastingStructure(lines, deadEnds, d));
        const LastingStructure& s = structures.back();
        lasting.push_back(s.frames >= kLeastFrames && s.agreement >= kAgreement &&
                          s.strength >= kLeastStrength && s.strength <= kMostStrength);
    }
    // The first line of each run of lasting lines that continues, gaps allowed, to line `end`.
    const auto runsTo = [&](int from, int end) {
        int gap = 0;
        for (int d = from; d < end; ++d) {
            gap = lasting[static_cast<std::size_t>(d)] ? 0 : gap + 1;
            if (gap > kGap) return false;
        }
        return true;
    };
    for (std::size_t k = 0; k < lines.size(); ++k)
        for (int d = 0; d + 1 < ends[k]; ++d) {
            const std::size_t at = static_cast<std::size_t>(d);
            if (!lasting[at] || !lasting[at + 1] || !runsTo(d, ends[k])) continue;
            ends[k] = d;
            break;
        }
    return ends;
}
