#pragma once

// Blanking stripes: thin uniform lines, grey or bright, among or just after the dead lines.

#include <span>

#include "suggest/line_statistics.h"

// The stripe lines among the first `end` lines (the dead run): flat and brighter than blanking, or
// stepping away from both neighbours.
int stripeLines(std::span<const LineStats> lines, int end, float noise);
