#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "core/zone_settings.h"
#include "suggest/capture_frame.h"

// How sure the finder is of a side: its frames agree; a few stood apart (their depth taken for the
// picture's own); or the side had to be guessed safe (a black band it could not place).
enum class Sureness { Sure, FairlySure, Unsure };

// What lies outside the clean picture on one side, as far as the frames show it.
struct SideFindings {
    std::int32_t deadLines = 0;      // lines without picture: overscan, black, blanking (the median frame's)
    bool dark = false;               // those lines are black or near-black
    bool noisy = false;              // ... and carry noise
    std::int32_t blackBand = 0;      // lines of the picture's own black kept in the zone (letterbox)
    std::int32_t stripeLines = 0;    // blanking stripes among them
    std::int32_t raggedLines = 0;    // lines the ragged or jittering edge reaches past the dead ones
    std::int32_t spreadLines = 0;    // lines the edge's blur, ringing and chroma smear reach further
    std::int32_t tornLines = 0;      // a head-switching band
    std::int32_t partialLines = 0;   // half lines
    std::int32_t margin = 1;         // the suggested margin: its edge line is the first clean one
    std::int32_t framesUsed = 0;     // frames that showed picture
    std::int32_t framesApart = 0;    // frames whose deeper damage stood apart from the rest
    std::int32_t framesDeepest = 0;  // frames that reach the chosen depth, within a line
    Sureness sureness = Sureness::Sure;
    std::string doubt;  // why not sure, in a few words
};

// The suggestion for a clip: a margin per side (in ZoneSide order: up, left, right, down) and the
// sampled frame that shows the picture best, for a preview.
struct ZoneSuggestion {
    std::array<SideFindings, 4> sides;
    std::size_t representativeFrame = 0;
    std::int32_t framesBlank = 0;  // black or flat frames passed over (fades, cuts)
};

// Finds the largest zone whose lines are clean in every frame: each side's depth is the deepest
// damage any frame shows, with the reach of the edge's blur. The frames are samples of one clip,
// all of one size. Returns false with a one-line `error` when there is nothing to suggest from or
// the frames cannot support an answer: no frames, frames of different sizes or too small, frames
// that are all black or flat, a side whose frames disagree too much to tell damage from picture,
// or no clean picture of the filter's least zone size.
bool suggestZone(std::span<const CaptureFrame> frames, ZoneSuggestion& suggestion, std::string& error);

// One line of the report for a side, such as "left: dark overscan with noise, 12 px; a ragged edge
// of 4 px; margin 17; sure".
std::string describeSide(ZoneSide side, const SideFindings& findings);
