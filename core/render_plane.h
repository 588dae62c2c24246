#pragma once

#include <cstdint>

#include "core/zone.h"
#include "core/zone_colours.h"
#include "core/zone_geometry.h"

// The rows of one plane as the transform numbers them, like FrameBitmap: `data` is row 0, the
// picture's bottom line, and `stride` the distance in bytes from a row to the one above it; negative
// when the rows are stored top-down. Samples need no alignment: they are moved as bytes.
struct PlaneRows {
    std::uint8_t* data;
    std::int64_t stride;
};

// The rows of a plane stored top-down, as FFmpeg and raw video hold them: the first row in memory is
// the picture's top line, `linesize` bytes before the next. No sample is copied.
inline PlaneRows bottomUpRows(std::uint8_t* topRow, std::int64_t linesize, std::int64_t rows) {
    return PlaneRows{rows > 0 ? topRow + (rows - 1) * linesize : topRow, -linesize};
}

// The span transform on one plane of 1-, 2- or 4-byte samples, its size and everything it draws
// taken from `geometry`: in shift mode the moved picture with its edges repeated and, outside the
// kept window, the border colour; in outline mode the picture in place with the outline painted.
// Every one of the w x h destination samples is written and nothing else is, row gaps included;
// samples are copied whole and never looked into. The two planes must not overlap, and a
// plane's rows must not overlap each other. Other sample sizes write nothing.
void renderPlane(const PlaneGeometry& geometry, ZoneView view, int sampleSize, const PlaneRows& source,
                 const PlaneRows& destination, const ZoneColours& colours);
