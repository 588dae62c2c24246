#pragma once

// The spread of an edge: the capture chain's band limit blurs the step from a bar into the picture,
// rings after it, and smears and delays its chroma by several pixels; the pixels it reaches differ
// from the clean picture, so they are damage too. The step's shape is pooled over every line and
// frame of a side; how far it reaches follows from it and from the strongest step seen.

#include <array>
#include <cstddef>
#include <vector>

#include "suggest/ragged_edge.h"

class EdgeSpread {
public:
    // Pixels measured past a line's start; the picture's level beyond them (over kFitLength
    // pixels) says what they would be without the step (luma blurs briefly, chroma smears further).
    static constexpr int kLumaSpan = 6, kChromaSpan = 10;
    static constexpr int kFitLength = 8;
    static constexpr int kSpan = kChromaSpan;
    static constexpr int kControlOffset = 24;
    // Chroma smeared or subsampled ahead of the luma starts a line a few pixels early; luma still at
    // the bar's level this many pixels past the start is a dark picture's, not a lead.
    static constexpr int kMostLead = 5;

    // Adds the step at one line's start to the pooled shape.
    void add(const SideLines& lines, int t, const LineStart& start, const BarLevel& bar);

    // The deepest pixel, counted from a line's start, that still differs from the settled picture
    // by more than the truth allows (2 levels of luma, 12 of chroma) for the strongest steps seen;
    // -1 when the start itself is clean (a sharp edge).
    int reach() const;

    // The residual of the bar at offset k, as a share of the step (luma and chroma), for reports
    // and tests.
    float lumaResidual(int k) const;
    float chromaResidual(int k) const;

private:
    // Residuals at each offset, one per line: at the line's start, and for control at a place
    // further in where no step is (what the picture's own texture leaves after the straight fit).
    std::array<std::vector<float>, kSpan> luma_, chroma_, lumaControl_, chromaControl_;
    std::vector<float> lumaSteps_, chromaSteps_;
    std::vector<int> leads_;  // the luma's lead on each line whose step is pooled
};

// The vertical spread at the top and bottom: a PAL decoder's delay line averages each line's chroma
// with the line before it in its field, so the first picture line of each field after blanking
// comes out with half its colour. Pooled over every position and frame.
class VerticalSpread {
public:
    // Adds the first lines past the dead ones (which end at `from`).
    void add(const SideLines& lines, int from);
    // Lines past the dead ones that the spread damages: 0, or 2 (the first line of each field).
    int lines() const;

private:
    std::vector<float> pulls_;
};
