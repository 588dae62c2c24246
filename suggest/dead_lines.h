#pragma once

// Dead lines: the lines at a side's edge that carry no picture in a frame — overscan, the card's
// black, blanking, VBI data, sync and burst remnants, blanking stripes — told apart from the
// picture's own flat areas (test patterns, skies) and from its own black (letterbox and pillarbox
// bars), which the zone keeps.

#include <span>

#include "suggest/line_statistics.h"

enum class LineKind {
    Blank,    // flat, neutral and dark: overscan, black, blanking
    Data,     // not flat, yet sharing no structure with its neighbours: noise, teletext, remnants
    Flat,     // flat but bright or coloured: a stripe, a remnant, or a flat part of the picture
    Picture,  // structure that continues into the next line
};

LineKind classifyLine(const LineStats& line, float noise);

// The first line of a frame's side that is not dead: blank and data lines, and flat lines in narrow
// groups that more dead lines follow, or a stripe just before the picture. A wide flat group is the
// picture's own (a test pattern's bar, a sky).
int deadRunEnd(std::span<const LineStats> lines, float noise);

// Whether a line is at the picture's own black: neutral, and within a few levels of `black`.
bool atPictureBlack(const LineStats& line, float black);

// Where the inner part of the dead run that lies at the picture's black begins (`end` when none).
int pictureBlackStart(std::span<const LineStats> lines, int end, float black);

// The lines from the side's edge, within a band at the picture's black that reaches it (lines 0 to
// `end`), that are far noisier than the band: damage, such as head switching in a letterbox bar.
int noisyBlackLines(std::span<const LineStats> lines, int end, float black, float noise);
