#pragma once

// FFmpeg's pixel formats as the plane transform takes them (core/planar_frame.h): every format whose
// samples can be moved as they are, with the black and red of its own range and matrix; a few that
// it takes after a conversion that keeps every sample (packed 4:2:2 unpacked into planes, say); and
// a plain refusal, by name, for the rest.

#include <cstdint>
#include <string>

#include "core/format_colours.h"
#include "core/planar_frame.h"
#include "velmo/media/ffmpeg_support.h"

// What a stream's frames are known by besides their pixel format.
struct FrameFacts {
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool interlaced = false;
    AVColorRange range = AVCOL_RANGE_UNSPECIFIED;
    AVColorSpace matrix = AVCOL_SPC_UNSPECIFIED;
};

// The plane transform's description of frames in `format`: one plane per FFmpeg plane, a sample
// being everything the plane holds at one position (a Y sample; a Cb,Cr pair of NV12; a B,G,R,X
// pixel of bgr0), each plane's black and red composed from the format's components. Range: RGB is
// full; YUV is limited unless tagged full (or a yuvj format); gray is full unless tagged limited.
// Matrix: as tagged (BT.601, BT.709, BT.2020), else untaggedMatrix. Bytes of a sample that belong
// to no component (bgr0's fourth) are painted 0xFF, as FFmpeg writes them. False, with a one-line
// `why` that names the format, for a format whose samples cannot be moved as they are.
bool planarFormatOf(AVPixelFormat format, const FrameFacts& facts, PlanarFormat& planar, std::string& why);

// The format the transform moves frames of `source` in: `source` itself where planarFormatOf takes
// it, else a format that holds every sample of it unchanged (yuyv422 and uyvy422 → yuv422p, rgb24 →
// rgb0, bgr24 → bgr0, 16-bit packed RGB → planar, big-endian → little-endian). False, with a
// one-line `why` naming the format, when there is none (floating point, Bayer, hardware frames,
// palettes, bit-packed pixels).
bool movedFormatFor(AVPixelFormat source, AVPixelFormat& moved, std::string& why);

// The format's name as FFmpeg spells it ("yuv422p10le"), or "unknown".
std::string pixelFormatName(AVPixelFormat format);
