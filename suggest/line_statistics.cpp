#include "suggest/line_statistics.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// Box length along a line that averages noise away while keeping picture structure.
constexpr int kSmoothing = 8;
// A stretch of a line judged on its own: structure along a good part of the line is picture; a few
// lines of picture at its ends (the corner of a head-switching band) are not.
constexpr int kStretch = 64;
// Smoothed neighbouring lines of picture correlate at least this much; noise does not.
constexpr float kCoherence = 0.5f;
// An object in one stretch of an otherwise flat line: far above the least structure, and closely
// alike in the neighbouring line.
constexpr float kObjectCoherence = 0.8f;
constexpr float kObjectOverStructure = 4.0f;
// Structure is spread beyond this many times what noise shows, and at least this many levels.
constexpr float kStructureOverNoise = 1.5f;
constexpr float kStructureFloor = 1.0f;
// Timebase error moves each row by a pixel or two, so a column near a step within the blanking
// (sync tip, porch, burst, bar) takes the levels of the columns up to this many either side.
constexpr int kShiftReach = 3;
// The levels about the column differ by this much at least: a step, not a flat area.
constexpr float kShiftStep = 4.0f;
// ... and all of them are blanking-dark: a step into the picture is the picture's edge.
constexpr float kShiftBrightest = 72.0f;
// Samples may stray this many noise deviations (and this many levels) past the neighbours' levels.
constexpr float kShiftNoise = 3.0f;
constexpr float kShiftFloor = 4.0f;
// ... and all but this share of them lie within: a picture's column strays far more often.
constexpr float kShiftStray = 0.03f;

std::vector<float> smoothedLine(const SideLines& lines, int d) {
    const int n = lines.length();
    std::vector<float> out(static_cast<std::size_t>(std::max(0, n - kSmoothing + 1)));
    int sum = 0;
    for (int k = 0; k < n; ++k) {
        sum += lines.y(d, lines.t0 + k);
        if (k >= kSmoothing) sum -= lines.y(d, lines.t0 + k - kSmoothing);
        if (k + 1 >= kSmoothing)
            out[static_cast<std::size_t>(k + 1 - kSmoothing)] = static_cast<float>(sum) / kSmoothing;
    }
    return out;
}

float deviationOf(std::span<const float> values) {
    if (values.empty()) return 0;
    double sum = 0, squares = 0;
    for (const float v : values)
        sum += v, squares += double{v} * v;
    const double mean = sum / static_cast<double>(values.size());
    return static_cast<float>(
        std::sqrt(std::max(0.0, squares / static_cast<double>(values.size()) - mean * mean)));
}

float correlation(std::span<const float> a, std::span<const float> b) {
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

float lineMedian(const SideLines& lines, int d) {
    std::vector<float> values;
    values.reserve(static_cast<std::size_t>(lines.length()));
    for (int t = lines.t0; t < lines.t1; ++t)
        values.push_back(static_cast<float>(lines.y(d, t)));
    return percentile(values, 0.5f);
}

// Whether every sample of line d, but a few, lies between the levels of the lines about it.
bool liesBetween(const SideLines& lines, int d, std::span<const float> medians, float noise) {
    const int depths = static_cast<int>(medians.size());
    float low = medians[static_cast<std::size_t>(d)], high = low;
    for (int other = std::max(0, d - kShiftReach); other <= std::min(depths - 1, d + kShiftReach); ++other) {
        low = std::min(low, medians[static_cast<std::size_t>(other)]);
        high = std::max(high, medians[static_cast<std::size_t>(other)]);
    }
    if (high - low < kShiftStep || high > kShiftBrightest) return false;
    // The blanking may be far noisier than the picture: the line's own noise counts too, from the
    // second differences along it (a normal's absolute values have their median at 0.674 of its
    // deviation; a second difference has 6 times the variance).
    std::vector<float> differences;
    for (int t = lines.t0 + 1; t + 1 < lines.t1; ++t)
        differences.push_back(
            static_cast<float>(std::abs(2 * lines.y(d, t) - lines.y(d, t - 1) - lines.y(d, t + 1))));
    const float own = percentile(differences, 0.5f) / 0.674f / std::sqrt(6.0f);
    const float tolerance = std::max(kShiftFloor, kShiftNoise * std::max(noise, own));
    int stray = 0;
    for (int t = lines.t0; t < lines.t1; ++t) {
        const float v = static_cast<float>(lines.y(d, t));
        stray += v < low - tolerance || v > high + tolerance;
    }
    return static_cast<float>(stray) <= kShiftStray * static_cast<float>(lines.length());
}

// The usual deviation within a line's stretches: pulses and texture, not a slow change of level
// along the line (shading, a sky's or wall's gradient).
float localDeviation(const std::vector<float>& line) {
    const std::size_t count = std::max<std::size_t>(1, line.size() / kStretch);
    std::vector<float> deviations;
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t from = line.size() * k / count, to = line.size() * (k + 1) / count;
        deviations.push_back(deviationOf(std::span<const float>(line).subspan(from, to - from)));
    }
    return percentile(deviations, 0.5f);
}

struct Shared {
    bool whole = false;   // in at least a quarter of the stretches, or in every quarter of the line
    bool middle = false;  // in some stretch away from the line's ends
};

// Structure shared with the other line in at least a quarter of the stretches, or in every quarter
// of the line: a flat pattern's few steps (wide colour bars) lie all along it, where the picture at
// one end of a blank line does not.
Shared sharesStructure(const std::vector<float>& here, const std::vector<float>& other, float least) {
    const std::size_t count = std::max<std::size_t>(1, here.size() / kStretch);
    std::size_t structured = 0;
    std::array<bool, 4> quarters{};
    Shared result;
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t from = here.size() * k / count, to = here.size() * (k + 1) / count;
        const std::span<const float> a = std::span<const float>(here).subspan(from, to - from);
        const std::span<const float> b = std::span<const float>(other).subspan(from, to - from);
        const float weaker = std::min(deviationOf(a), deviationOf(b));
        const float alike = weaker >= least ? correlation(a, b) : 0.0f;
        const bool shared = alike >= kCoherence;
        structured += shared;
        quarters[k * 4 / count] = quarters[k * 4 / count] || shared;
        // One stretch is evidence only when plainly above noise, as an object's edges are: noise
        // correlates by chance in one stretch of many.
        const bool object = alike >= kObjectCoherence && weaker >= kObjectOverStructure * least;
        result.middle = result.middle || (object && k > 0 && k + 1 < count);
    }
    const bool everyQuarter = std::all_of(quarters.begin(), quarters.end(), [](bool q) { return q; });
    result.whole = structured * 4 >= count || everyQuarter;
    return result;
}

}  // namespace

float noiseSpread(float noise) {
    return std::max(kStructureFloor, kStructureOverNoise * noise / std::sqrt(static_cast<float>(kSmoothing)));
}

float frameNoise(const CaptureFrame& frame) {
    // Second differences along rows of the middle of the frame. Texture adds to them; noise is all
    // that the smoothest places show, so a low share of them says the noise: a second difference of
    // white noise has 6 times its variance, and a fifth of a normal's absolute values lie below
    // 0.253 of its deviation.
    std::vector<float> values;
    for (std::int32_t row = frame.h / 4; row < frame.h * 3 / 4; row += 3)
        for (std::int32_t x = frame.w / 4 + 1; x + 1 < frame.w * 3 / 4; x += 2) {
            const int d =
                2 * frame.y[frame.at(x, row)] - frame.y[frame.at(x - 1, row)] - frame.y[frame.at(x + 1, row)];
            values.push_back(static_cast<float>(std::abs(d)));
        }
    return percentile(values, 0.2f) / 0.253f / std::sqrt(6.0f);
}

std::vector<LineStats> lineStatistics(const SideLines& lines, int depths, float noise) {
    std::vector<LineStats> stats(static_cast<std::size_t>(std::max(0, depths)));
    std::vector<std::vector<float>> smooth(stats.size());
    const float least = noiseSpread(noise);
    const int n = lines.length();
    for (int d = 0; d < depths; ++d) {
        LineStats& s = stats[static_cast<std::size_t>(d)];
        double y = 0, cb = 0, cr = 0;
        for (int t = lines.t0; t < lines.t1; ++t) {
            const std::size_t k = lines.at(d, t);
            y += lines.frame.y[k], cb += lines.frame.cb[k], cr += lines.frame.cr[k];
        }
        s.meanY = static_cast<float>(y / n), s.meanCb = static_cast<float>(cb / n),
        s.meanCr = static_cast<float>(cr / n);
        smooth[static_cast<std::size_t>(d)] = smoothedLine(lines, d);
        s.spread = deviationOf(smooth[static_cast<std::size_t>(d)]);
        s.localSpread = localDeviation(smooth[static_cast<std::size_t>(d)]);
    }
    // Interlaced pictures in motion: the next row may be another instant, the one after it not.
    // Tape noise is smeared along the rows, so neighbouring columns share it: columns are compared
    // two and three apart.
    const int near = lines.rows() ? 1 : 2;
    for (int d = 0; d < depths; ++d) {
        const std::vector<float>& here = smooth[static_cast<std::size_t>(d)];
        Shared shared;
        for (const int other : {d + near, d + near + 1, d - near, d - near - 1})
            if (other >= 0 && other < depths && !shared.whole) {
                const Shared with = sharesStructure(here, smooth[static_cast<std::size_t>(other)], least);
                shared.whole = with.whole;
                shared.middle = shared.middle || with.middle;
            }
        stats[static_cast<std::size_t>(d)].structured = shared.whole;
        // Rows only: a column by the side crosses ragged edges and timebase error, whose remnants
        // line up from column to column in places.
        stats[static_cast<std::size_t>(d)].partlyStructured = shared.middle && lines.rows();
    }
    if (!lines.rows() && depths > 0) {
        std::vector<float> medians(static_cast<std::size_t>(depths));
        for (int d = 0; d < depths; ++d)
            medians[static_cast<std::size_t>(d)] = lineMedian(lines, d);
        for (int d = 0; d < depths; ++d)
            if (stats[static_cast<std::size_t>(d)].structured)
                stats[static_cast<std::size_t>(d)].betweenNeighbours = liesBetween(lines, d, medians, noise);
    }
    return stats;
}

float percentile(std::vector<float> values, float fraction) {
    if (values.empty()) return 0;
    const std::size_t k =
        std::min(values.size() - 1, static_cast<std::size_t>(fraction * static_cast<float>(values.size())));
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(k), values.end());
    return values[k];
}

int percentile(std::vector<int> values, float fraction) {
    if (values.empty()) return 0;
    const std::size_t k =
        std::min(values.size() - 1, static_cast<std::size_t>(fraction * static_cast<float>(values.size())));
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(k), values.end());
    return values[k];
}

int reachedMaximum(std::vector<int> values, int gap, float share) {
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    std::size_t k = n / 2;
    while (k + 1 < n) {
        const std::size_t above = n - k - 1;
        if (values[k + 1] - values[k] > gap &&
            static_cast<float>(above) < std::max(2.0f, share * static_cast<float>(n)))
            break;
        ++k;
    }
    return values[k];
}
