#pragma once

// Faint picture (a dark scene's shadows, a night sky's stars) can look flat in every frame on its
// own, under the noise. Averaged over the frames the noise cancels and the picture stays, the same
// in either half of the frames; blanking stays flat however many frames are averaged.

#include <span>

#include "suggest/line_statistics.h"

// The first line, from the side's edge, that some frames take for dead but that shows lasting
// structure, as does the line after it: the dead lines end there in every frame. `lines` holds the
// side's lines of each frame, `deadEnds` where each frame's dead run ends. -1 when no line does.
int lastingStructureStart(std::span<const SideLines> lines, std::span<const int> deadEnds);

// How line d's structure holds over the frames that take it for dead: the correlation of its
// smoothed averages over alternate frames, and the deviation of its smoothed average (levels).
// Exposed for tests.
struct LastingStructure {
    float agreement = 0;
    float strength = 0;
    int frames = 0;
};
LastingStructure lastingStructure(std::span<const SideLines> lines, std::span<const int> deadEnds, int d);
