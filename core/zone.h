#pragma once

#include <cstdint>

// What every face means by a zone: the four margins of Config(up,left,right,down,border), in pixels,
// and whether the border blacks out everything outside the centred window. A margin of m puts the
// zone's edge line m - 1 pixels in from its side, so 1 means the zone reaches that side. Any 32-bit
// margin is a zone; the transform copes with all of them. The defaults are a new instance's.
struct Zone {
    std::int32_t up = 1;
    std::int32_t left = 1;
    std::int32_t right = 1;
    std::int32_t down = 1;
    bool border = false;

    friend bool operator==(const Zone&, const Zone&) = default;
};

// How a frame shows the zone: moved to the frame's centre, or in place with its outline drawn over
// the picture ("Show frame").
enum class ZoneView { Shift, Outline };
