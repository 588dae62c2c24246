#pragma once

#include <cstdint>
#include <optional>

#include "frei0r/frei0r_interface.h"

// The plug-in's parameters, in the order hosts set them by position (FFmpeg's "frei0r=velmo:3|5|7|9|y").
enum VelmoParameter : int { kUp, kLeft, kRight, kDown, kBorder, kShowFrame, kConfig, kParameterCount };

inline constexpr f0r_param_info_t kVelmoParameters[kParameterCount] = {
    {.name = "up",
     .type = F0R_PARAM_DOUBLE,
     .explanation = "Top margin in pixels; 1 puts the zone's edge on the frame's"},
    {.name = "left", .type = F0R_PARAM_DOUBLE, .explanation = "Left margin in pixels"},
    {.name = "right", .type = F0R_PARAM_DOUBLE, .explanation = "Right margin in pixels"},
    {.name = "down", .type = F0R_PARAM_DOUBLE, .explanation = "Bottom margin in pixels"},
    {.name = "border",
     .type = F0R_PARAM_BOOL,
     .explanation = "Black out everything outside a centred window the size of the zone"},
    {.name = "show frame",
     .type = F0R_PARAM_BOOL,
     .explanation = "Show the picture unshifted with the zone's outline in red"},
    {.name = "config",
     .type = F0R_PARAM_STRING,
     .explanation =
         "A saved settings line such as Config(3,5,7,9,1); when set, it gives the margins and border"},
};

// A margin from a host's double: frei0r hosts pass numbers as doubles, and a margin is a whole number
// of pixels. Rounded to the nearest (halves away from zero), saturated to the 32-bit range; NaN says
// nothing, so it gives no margin and the caller keeps the one it has.
std::optional<std::int32_t> marginFromParameter(double value);

// frei0r's reading of a bool: true from 0.5 up. NaN says nothing, as for margins.
std::optional<bool> flagFromParameter(double value);
