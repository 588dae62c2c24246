#pragma once

#include <cstdint>

#include "core/zone.h"

// What a zone means for a frame of a given size, worked out once per frame and read by both render
// modes and every face. All of it is 64-bit: a settings line can put any 32-bit integer into a
// margin, and sums, differences and offsets from the frame size of such values leave the 32-bit range.

// The least zone, in pixels, that the dialog's coupling rule leaves in each direction of the captured
// frame. The zone finder suggests no smaller zone either.
inline constexpr std::int32_t kLeastZoneSize = 12;

// The zone's length along an axis of `length` pixels whose margins are a and b: its edge lines a - 1
// and length - b, both included.
constexpr std::int64_t zoneLength(std::int64_t length, std::int64_t a, std::int64_t b) {
    return length - a - b + 2;
}

// Indices begin .. end - 1 along one axis; empty when end <= begin.
struct Span {
    std::int64_t begin;
    std::int64_t end;

    friend bool operator==(const Span&, const Span&) = default;
};

// A zone on a frame, in the transform's numbering: row 0 is the picture's bottom line, column 0 its
// left. Nothing is clamped to the frame.
struct ZoneGeometry {
    // Shift: output row i, column j shows the source at row i + dy, column j + dx, each clamped
    // into the frame, so the edge lines repeat where the moved picture runs out.
    std::int64_t dx;
    std::int64_t dy;
    // The window of the zone's size, centred, that the border keeps when it is on.
    bool border;
    Span windowRows;
    Span windowColumns;
    // Outline: the zone's edge lines. The two rows are drawn from the left column to the right
    // column, the two columns from the bottom row to the top row.
    std::int64_t bottomRow;
    std::int64_t topRow;
    std::int64_t leftColumn;
    std::int64_t rightColumn;
    // The zone's size in pixels; zero or less where the margins cross.
    std::int64_t width;
    std::int64_t height;
};

ZoneGeometry zoneGeometry(const Zone& zone, std::int32_t width, std::int32_t height);

// The same zone on an interlaced frame, whose lines must stay in their fields: the vertical shift
// rounded to the nearest multiple of `rows` (2 for the lines of one plane, 4 where the chroma lines
// of 4:2:0 alternate between the fields as well), halves towards minus infinity as the margins'
// halving rounds. The window moves with the picture, so it still shows exactly the zone's lines.
ZoneGeometry keepingFields(const ZoneGeometry& geometry, std::int64_t rows);

// How the samples of one plane lie along one axis over the frame's full-size samples (luma, each RGB
// plane, alpha). A subsampled plane covers 2^log2 of them with each sample, starting from the
// picture's top-left corner as planar formats do, so a picture whose height is not a multiple leaves
// its bottom chroma row covering fewer lines. In an interlaced frame each field's lines are
// subsampled on their own: the plane's rows alternate between the fields as the frame's lines do.
struct SampleAxis {
    std::int64_t fullLength;
    int log2;
    // Rows are numbered from the bottom, and the grid starts at the top.
    bool fromEnd;
    bool fields;

    static SampleAxis columns(std::int64_t width, int log2) { return {width, log2, false, false}; }
    static SampleAxis rows(std::int64_t height, int log2, bool interlaced) {
        return {height, log2, true, interlaced};
    }

    // The plane's samples along the axis.
    std::int64_t length() const;
    // The plane sample that covers full-size sample `full`, 0 <= full < fullLength.
    std::int64_t sampleOf(std::int64_t full) const;
    // The plane samples that cover any of the full-size samples `full` (inside 0 .. fullLength).
    Span cover(Span full) const;
};

// What one plane of a frame needs from the zone, in its own samples and clamped into it. A
// subsampled plane moves by the full-size shift shifted right by its subsampling (towards minus
// infinity), keeps every sample that covers a kept full-size sample, and paints every sample that
// covers a sample of the outline.
struct PlaneGeometry {
    std::int64_t w;
    std::int64_t h;
    std::int64_t dx;
    std::int64_t dy;
    // Rows of an interlaced frame: a row whose source lies outside the plane repeats the nearest
    // row of its own field.
    bool fields;
    // Everything, without the border.
    Span keptRows;
    Span keptColumns;
    // Rows of the outline (or kNoLine) drawn over outlineRowColumns, and its columns drawn over
    // outlineColumnRows.
    std::int64_t outlineRows[2];
    Span outlineRowColumns;
    std::int64_t outlineColumns[2];
    Span outlineColumnRows;

    static constexpr std::int64_t kNoLine = -1;
};

PlaneGeometry planeGeometry(const ZoneGeometry& geometry, const SampleAxis& columns, const SampleAxis& rows);
