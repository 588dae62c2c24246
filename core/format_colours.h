#pragma once

#include <cstdint>
#include <optional>

#include "core/planar_frame.h"

// The black and red a format paints, so that no face writes sample values by hand.

enum class ColourModel { Yuv, Rgb, Gray };
// Limited ("TV", "MPEG"): black at 16 and white at 235 in 8 bits, chroma 16 to 240 around 128, all
// scaled by 2^(bits - 8). Full ("PC", "JPEG"): 0 to 2^bits - 1, chroma around 2^(bits - 1).
enum class ColourRange { Limited, Full };
// The luma weights that turn R'G'B' into Y'CbCr: BT.601 (SD), BT.709 (HD), BT.2020 (UHD, its
// non-constant-luminance form).
enum class ColourMatrix { Bt601, Bt709, Bt2020 };

struct ColourFormat {
    ColourModel model;
    int bits;  // per sample, 8 to 16
    ColourRange range;
    ColourMatrix matrix;  // only YUV and gray use it
    bool alpha;           // a last plane of alpha, always full range
};

// Each plane's black (border) and red (outline), in FFmpeg's plane order: Y, U (Cb), V (Cr); G, B, R;
// or Y alone; then alpha. Alpha is opaque in both, and gray's red is red's luma. The values are the
// exact ones rounded to the nearest integer (halves up) and held to 0 .. 2^bits - 1: full-range red
// has Cr = 2^bits - 1/2, which becomes 2^bits - 1. Nothing for bits outside 8 to 16.
struct PlaneColours {
    int planeCount;
    ZoneColours planes[kMaxPlanes];
};
std::optional<PlaneColours> planeColours(const ColourFormat& format);

// The matrix of a picture that carries no tag, as players assume it: BT.601 below 720 lines, BT.709
// from there.
ColourMatrix untaggedMatrix(std::int32_t height);
