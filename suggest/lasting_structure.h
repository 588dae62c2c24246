#pragma once

// Faint picture (a dark scene's shadows, a night sky's stars) can look flat in every frame on its
// own, under the noise. Averaged over the frames the noise cancels and the picture stays, the same
// in either half of the frames; blanking stays flat however many frames are averaged.

#include <span>
#include <vector>

#include "suggest/line_statistics.h"

// Where each frame's dead lines end once faint picture is told from them: at the first line that
// shows lasting structure over the frames that take it for dead, as does the line after it, with
// every line from there to the frame's own dead end lasting too, but for short gaps (faint picture
// continues into the picture; a remnant in the blanking whose pattern holds from frame to frame,
// such as a head-switching band's, is followed by blank lines). `lines` holds the side's lines of
// each frame, `deadEnds` where each frame's dead run ends.
std::vector<int> lastingStructureEnds(std::span<const SideLines> lines, std::span<const int> deadEnds);

// How line d's structure holds over the frames that take it for dead: the correlation of its
// smoothed averages over alternate frames, and the deviation of its smoothed average (levels).
// Exposed for tests.
struct LastingStructure {
    float agreement = 0;
    float strength = 0;
    int frames = 0;
    std::vector<float> average;  // the smoothed average
};
LastingStructure lastingStructure(std::span<const SideLines> lines, std::span<const int> deadEnds, int d);
