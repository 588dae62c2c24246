#include "frei0r/velmo_parameters.h"

#include <cmath>
#include <limits>

std::optional<std::int32_t> marginFromParameter(double value) {
    if (std::isnan(value)) return std::nullopt;
    // Compared as doubles before converting: converting a double outside the int32 range is undefined.
    const double rounded = std::round(value);
    constexpr double kHighest = std::numeric_limits<std::int32_t>::max();
    constexpr double kLowest = std::numeric_limits<std::int32_t>::min();
    if (rounded >= kHighest) return std::numeric_limits<std::int32_t>::max();
    if (rounded <= kLowest) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(rounded);
}

std::optional<bool> flagFromParameter(double value) {
    if (std::isnan(value)) return std::nullopt;
    return value >= 0.5;
}
