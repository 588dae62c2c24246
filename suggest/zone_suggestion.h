#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "core/frame_bitmap.h"
#include "core/zone_settings.h"

// What lies outside the clean picture on one side, as far as the frames show it.
struct SideFindings {
    std::int32_t deadLines = 0;     // lines without picture in every frame: overscan, black, blanking
    bool dark = false;              // those lines are black or near-black
    bool noisy = false;             // ... and carry noise
    std::int32_t stripeLines = 0;   // thin uniform lines (blanking stripes) among or after them
    std::int32_t raggedLines = 0;   // lines the picture's edge reaches in some lines and frames only
    std::int32_t tornLines = 0;     // lines torn sideways or noisy in some frames (head switching)
    std::int32_t partialLines = 0;  // black or half-black lines at the picture's edge
    std::int32_t margin = 1;        // the suggested margin: its edge line is the first clean one
};

// The suggestion for a clip: a margin per side (in ZoneSide order: up, left, right, down) and the
// sampled frame that shows the picture best, for a preview.
struct ZoneSuggestion {
    std::array<SideFindings, 4> sides;
    std::size_t representativeFrame = 0;
};

// Finds the largest zone whose edge lines are clean in every frame. The frames are samples of one
// clip, all of one size, bottom-up as the filter sees them. Returns false with a one-line `error`
// when there is nothing to suggest from: no frames, frames of different sizes, frames too small,
// frames that are all black, or no clean picture of the filter's least zone size.
bool suggestZone(std::span<const FrameBitmap> frames, ZoneSuggestion& suggestion, std::string& error);

// One line of the report for a side, such as "left: dark overscan with noise, 12 px; a ragged edge
// of 4 px; margin 17".
std::string describeSide(ZoneSide side, const SideFindings& findings);
