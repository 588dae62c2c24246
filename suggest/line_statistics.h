#pragma once

// What each line near a side shows in one frame: its level, colour, how much picture structure it
// carries and whether that structure continues into the next line of its field.

#include <cstdint>
#include <span>
#include <vector>

#include "core/zone_settings.h"
#include "suggest/capture_frame.h"

// One side's lines of one frame: depth d from the frame's edge inwards, position t along the line,
// from t0 to t1 (the span the other sides leave).
struct SideLines {
    const CaptureFrame& frame;
    ZoneSide side;
    int t0, t1;

    bool rows() const { return side == ZoneSide::Up || side == ZoneSide::Down; }
    int depths() const { return rows() ? frame.h : frame.w; }
    int length() const { return t1 - t0; }
    std::size_t at(int d, int t) const {
        switch (side) {
            case ZoneSide::Up:
                return frame.at(t, d);
            case ZoneSide::Down:
                return frame.at(t, frame.h - 1 - d);
            case ZoneSide::Left:
                return frame.at(d, t);
            case ZoneSide::Right:
                break;
        }
        return frame.at(frame.w - 1 - d, t);
    }
    int y(int d, int t) const { return frame.y[at(d, t)]; }
    int cb(int d, int t) const { return frame.cb[at(d, t)]; }
    int cr(int d, int t) const { return frame.cr[at(d, t)]; }
};

struct LineStats {
    float meanY = 0, meanCb = 128, meanCr = 128;
    float spread = 0;         // deviation of the line smoothed along its length: picture, not noise
    float localSpread = 0;    // ... within stretches of it, the usual one: not a slow change of level
    bool structured = false;  // carries structure shared with the next line of its field
    // ... somewhere away from the line's ends at least: an object in a flat part of the picture.
    bool partlyStructured = false;
    // Every sample lies between the levels of the lines about it, which differ: an edge within the
    // blanking moved sideways line by line (timebase error), not picture. Read on the sides only.
    bool betweenNeighbours = false;
};

// The luma noise of a frame: the typical difference between neighbouring pixels where the picture
// is smooth, as one pixel's deviation.
float frameNoise(const CaptureFrame& frame);

// Statistics of lines 0 .. depths - 1 of a side. `noise` is the frame's.
std::vector<LineStats> lineStatistics(const SideLines& lines, int depths, float noise);

// The spread a smoothed line of pure noise shows: what structure must clearly exceed.
float noiseSpread(float noise);

// The value below which `fraction` of the values lie.
float percentile(std::vector<float> values, float fraction);
int percentile(std::vector<int> values, float fraction);

// The largest of the values that the rest reach in steps of at most `gap`, walking up from the
// median: damage recurs and its reach varies by degrees (jitter, drift), while content that happens
// to look damaged stands apart. Values past a wider gap count still when at least `share` of all
// values (and two at least) lie there. Returns -1 for no values.
int reachedMaximum(std::vector<int> values, int gap, float share);
