#include "core/zone_geometry.h"

#include <algorithm>

namespace {

using Index = std::int64_t;

Index clampIndex(Index value, Index low, Index high) {
    return std::min(std::max(value, low), high);
}

// The part of `span` inside 0 .. length; an empty span stays empty.
Span clampSpan(Span span, Index length) {
    const Index begin = clampIndex(span.begin, 0, length);
    return {begin, clampIndex(span.end, begin, length)};
}

Index floorDiv(Index numerator, Index denominator) {
    const Index quotient = numerator / denominator;
    return quotient * denominator > numerator ? quotient - 1 : quotient;
}

}  // namespace

ZoneGeometry zoneGeometry(const Zone& zone, std::int32_t width, std::int32_t height) {
    const Index w = width, h = height;
    const Index up = zone.up, down = zone.down, left = zone.left, right = zone.right;
    ZoneGeometry geometry{};
    // Halving is an arithmetic shift, rounding towards minus infinity.
    geometry.dy = (down - up) >> 1;
    geometry.dx = (left - right) >> 1;
    const Index sy = (down + up) >> 1;
    const Index sx = (left + right) >> 1;
    // The window keeps rows sy - 1 .. h - sy and columns sx - 1 .. w - sx: the moved zone, one line
    // larger on the low side where its two margins have an odd sum.
    geometry.border = zone.border;
    geometry.windowRows = {sy - 1, h - sy + 1};
    geometry.windowColumns = {sx - 1, w - sx + 1};
    geometry.bottomRow = down - 1;
    geometry.topRow = h - up;
    geometry.leftColumn = left - 1;
    geometry.rightColumn = w - right;
    geometry.width = zoneLength(w, left, right);
    geometry.height = zoneLength(h, up, down);
    return geometry;
}

ZoneGeometry keepingFields(const ZoneGeometry& geometry, std::int64_t rows) {
    ZoneGeometry kept = geometry;
    // The nearest multiple q * rows, the lower on a tie: q = ceil((dy - rows / 2) / rows).
    kept.dy = floorDiv(2 * geometry.dy + rows - 1, 2 * rows) * rows;
    // Source row r lands on row r - dy: the zone sits `moved` rows higher than it would exactly.
    const Index moved = geometry.dy - kept.dy;
    kept.windowRows = {geometry.windowRows.begin + moved, geometry.windowRows.end + moved};
    return kept;
}

std::int64_t SampleAxis::length() const {
    if (fullLength <= 0) return 0;
    return (fullLength + (Index{1} << log2) - 1) >> log2;
}

std::int64_t SampleAxis::sampleOf(std::int64_t full) const {
    const Index n = length();
    // Counted from where the grid starts.
    const Index t = fromEnd ? fullLength - 1 - full : full;
    Index sample;
    if (!fields || n < 2) {
        sample = std::min(t >> log2, n - 1);
    } else {
        // The line's field, its place among that field's lines, and the field's own rows of this
        // plane (field, field + 2, ...), of which the last takes whatever lines are left over.
        const Index field = t & 1;
        const Index fieldRows = (n - field + 1) >> 1;
        sample = 2 * std::min((t >> 1) >> log2, fieldRows - 1) + field;
    }
    return fromEnd ? n - 1 - sample : sample;
}

Span SampleAxis::cover(Span full) const {
    if (full.end <= full.begin) return {0, 0};
    const Index first = full.begin, last = full.end - 1;
    // Along each field the covering samples follow the full-size samples in order, and the two
    // fields' samples interleave, so the cover runs from the lower of the first two samples' to the
    // higher of the last two samples'. Without fields, these are simply the first's and the last's.
    const Index begin = std::min(sampleOf(first), sampleOf(std::min(first + 1, last)));
    const Index end = std::max(sampleOf(last), sampleOf(std::max(last - 1, first))) + 1;
    return {begin, end};
}

PlaneGeometry planeGeometry(const ZoneGeometry& geometry, const SampleAxis& columns, const SampleAxis& rows) {
    const Index fullWidth = columns.fullLength, fullHeight = rows.fullLength;
    PlaneGeometry plane{};
    plane.w = columns.length();
    plane.h = rows.length();
    plane.dx = geometry.dx >> columns.log2;
    plane.dy = geometry.dy >> rows.log2;
    plane.fields = rows.fields;

    const Span allRows{0, fullHeight}, allColumns{0, fullWidth};
    plane.keptRows = rows.cover(geometry.border ? clampSpan(geometry.windowRows, fullHeight) : allRows);
    plane.keptColumns =
        columns.cover(geometry.border ? clampSpan(geometry.windowColumns, fullWidth) : allColumns);

    // Lines outside the frame are not drawn; the outline is never moved in to stay visible.
    const auto lineAt = [](Index line, const SampleAxis& axis) {
        return line >= 0 && line < axis.fullLength ? axis.sampleOf(line) : PlaneGeometry::kNoLine;
    };
    plane.outlineRows[0] = lineAt(geometry.bottomRow, rows);
    plane.outlineRows[1] = lineAt(geometry.topRow, rows);
    plane.outlineRowColumns =
        columns.cover(clampSpan({geometry.leftColumn, geometry.rightColumn + 1}, fullWidth));
    plane.outlineColumns[0] = lineAt(geometry.leftColumn, columns);
    plane.outlineColumns[1] = lineAt(geometry.rightColumn, columns);
    plane.outlineColumnRows = rows.cover(clampSpan({geometry.bottomRow, geometry.topRow + 1}, fullHeight));
    return plane;
}
