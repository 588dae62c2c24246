#pragma once

// Ragged edges: where the picture starts on each line across a side (each row on the left and
// right, each column on the top and bottom), past the dead lines. Timebase error, ragged blanking
// and drifting bars move that start from line to line and frame to frame; the deepest start that
// recurs is the edge's reach.

#include <vector>

#include "suggest/line_statistics.h"

// The level and noise of a side's dead lines, where the ragged edge's dark comes from.
struct BarLevel {
    float y = 16, cb = 128, cr = 128;
    float noise = 2;
};

// The bar's level from the dead lines just before `deadEnd` (the last few of them), or `fallback`
// when there are none.
BarLevel barLevelOf(const SideLines& lines, int deadEnd, const BarLevel& fallback);

struct LineStart {
    int t;           // the line's position across the side
    int start;       // the first pixel no longer at the bar's level
    float contrast;  // how far the picture's luma lies from the bar's there
    float chroma;    // and its chroma
};

// Where the picture starts on each line across the span, counted from `from` (the dead lines' end),
// looking at most `reach` pixels further. Lines whose picture does not stand apart from the bar
// near its start (dark content) say nothing and are left out.
std::vector<LineStart> lineStarts(const SideLines& lines, int from, int reach, const BarLevel& bar);

// How many pixels a line's luma stays at the bar's level past its start while its chroma has left
// it (chroma smeared or sampled ahead of the luma); 0 when luma starts the line, and when it stays
// there for `most` pixels or more (a dark picture beside the bar, not a lead).
int chromaLead(const SideLines& lines, int t, int start, const BarLevel& bar, int most);

// How far the middle start lies past the early ones: the edge's jitter as one frame shows it; -1
// without starts.
int startSpread(const std::vector<LineStart>& starts);

// The deepest start that the lines reach by degrees (see reachedMaximum), never more than
// kRaggedDeepest past the middle start: a start farther in is the picture's own dark. `jitter`, when
// not negative, is the most the middle start may lie past the early ones (what other frames show).
int raggedReach(const std::vector<LineStart>& starts, int jitter = -1);
