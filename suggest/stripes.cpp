#include "suggest/stripes.h"

#include <cmath>

#include "suggest/dead_lines.h"

namespace {

// A stripe steps this far from the lines beside it.
constexpr float kStripeStep = 10.0f;

}  // namespace

int stripeLines(std::span<const LineStats> lines, int end, float noise) {
    int count = 0;
    for (int d = 0; d < end && d < static_cast<int>(lines.size()); ++d) {
        const LineStats& line = lines[static_cast<std::size_t>(d)];
        if (classifyLine(line, noise) == LineKind::Flat) {
            ++count;
            continue;
        }
        if (classifyLine(line, noise) != LineKind::Blank || d == 0 || d + 1 >= static_cast<int>(lines.size()))
            continue;
        const float before = lines[static_cast<std::size_t>(d - 1)].meanY,
                    after = lines[static_cast<std::size_t>(d + 1)].meanY;
        if (std::fabs(line.meanY - before) >= kStripeStep && std::fabs(line.meanY - after) >= kStripeStep)
            ++count;
    }
    return count;
}
