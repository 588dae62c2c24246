#pragma once

// Head switching: a VCR changes heads just before the end of each field, so the bottom lines of
// every field come out torn sideways and noisy, the more so towards the bottom.

#include "suggest/line_statistics.h"

// The deepest line of the band above the bottom's dead lines (which end at `from`) in one frame,
// counted from the bottom edge; -1 when there is none. Each field is read apart: a line is compared
// with the next line of its own field. `lines` is the down side's view.
int headSwitchingDepth(const SideLines& lines, int from);

// Whether line d is torn against line `inside` of its field, given what the picture's lines do
// (their usual misfit, roughness and sideways shift), and whether the frame was decoded
// losslessly: exposed for tests on hand-built lines.
struct LineFit {
    float misfit;     // mean difference from the inner line, unshifted
    float shifted;    // at the best sideways shift
    int shift;        // that shift
    float roughness;  // mean second difference along the line: noise and fine detail
    // The mean of the smallest second differences along the line: noise raises every one of them,
    // the picture's detail only those where it lies (its smooth parts stay smooth).
    float grain = 0;
    // Stretches of the line that fit clearly better at that shift, and stretches whose own detail
    // fits clearly better unshifted: a tear moves the whole line, a slanted edge in the picture
    // only the stretch it crosses.
    int movedStretches = 0, stillStretches = 0;
};
LineFit fitLine(const SideLines& lines, int d, int inside);
bool isTorn(const LineFit& line, const LineFit& usual, bool lossless);
