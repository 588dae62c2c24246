#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/render_plane.h"
#include "core/zone.h"
#include "core/zone_colours.h"

// A frame on the capture's own samples: one to four planes (gray; Y, U, V; G, B, R; and alpha), each
// moved on its own, with nothing converted or interpolated. Every output sample is a copy of a sample
// of the same plane, or painted.

inline constexpr int kMaxPlanes = 4;

// One plane of a pixel format.
struct PlaneLayout {
    int sampleSize;  // bytes per sample: 1, 2 or 4
    // How many full-size samples each of its samples covers, as log2 (0 to 2): FFmpeg's
    // log2_chroma_w and log2_chroma_h for chroma planes, 0 for luma, RGB and alpha planes.
    int log2Width;
    int log2Height;
};

// What every frame of a stream shares.
struct PlanarFormat {
    std::int32_t width;  // of the full-size planes
    std::int32_t height;
    int planeCount;
    PlaneLayout planes[kMaxPlanes];
    ZoneColours colours[kMaxPlanes];  // each plane's black and red samples (planeColours gives them)
    // Two fields per frame: no line is moved into the other field.
    bool interlaced;
};

// One frame's planes, in the format's order, as the transform numbers rows (PlaneRows).
struct PlanarFrame {
    PlaneRows planes[kMaxPlanes];
};

// Why the transform refuses a format (the plane count, a sample size, a subsampling, or a colour
// that does not fit its samples), or empty when it takes it.
std::string planarFormatProblem(const PlanarFormat& format);

// A plane's size in samples: the full size divided by its subsampling, rounded up, as FFmpeg
// allocates planes.
std::int32_t planeWidth(const PlanarFormat& format, int plane);
std::int32_t planeHeight(const PlanarFormat& format, int plane);

// The planes of a top-down frame, as FFmpeg's AVFrame and av_image_fill_arrays give them: each
// plane's first row is the picture's top line, `linesize` bytes before the next.
PlanarFrame bottomUpFrame(const PlanarFormat& format, std::uint8_t* const data[], const int linesize[]);

// How far the transform moved the picture vertically, in full-size rows (positive: down): `exact`
// as the zone asks, `used` as moved. They differ only in an interlaced frame, where the shift is
// rounded to keep the fields apart and the picture then sits exact - used rows higher than the
// exact centre would put it. Both are 0 in outline mode.
struct VerticalShift {
    std::int64_t exact;
    std::int64_t used;
};

// Renders one frame, each plane as renderPlane does: full-size planes exactly as renderZoneFrame
// moves 32-bit pixels; a subsampled plane by the full-size shift shifted right by its subsampling,
// keeping every sample that covers a kept full-size sample and painting every sample that covers a
// sample of the outline. Gives nothing, and writes nothing, for a format planarFormatProblem refuses.
std::optional<VerticalShift> renderZonePlanes(const Zone& zone, ZoneView view, const PlanarFormat& format,
                                              const PlanarFrame& source, const PlanarFrame& destination);
