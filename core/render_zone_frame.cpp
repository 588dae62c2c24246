#include "core/render_zone_frame.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// All margin arithmetic below is 64-bit: a script line can store any 32-bit integer in a margin,
// and sums, differences and offsets from the frame size of such values leave the 32-bit range.

namespace {

using Index = std::int64_t;

Index clampIndex(Index value, Index low, Index high) {
    return std::min(std::max(value, low), high);
}

// Pointers into a frame are formed only for positions inside it: with hostile margins an offset
// can reach about 2^31 pixels, and forming such a pointer is undefined even when nothing is read
// there (on 32-bit systems the address wraps). Checked builds (the sanitizer and fuzzing builds)
// stop at the first position that leaves the frame.
inline void expectInside([[maybe_unused]] Index position, [[maybe_unused]] Index end) {
#ifdef VELMO_CHECKED_OFFSETS
    if (position >= 0 && position <= end) return;
    std::fprintf(stderr, "renderZoneFrame: position %lld formed outside 0..%lld\n",
                 static_cast<long long>(position), static_cast<long long>(end));
    std::abort();
#endif
}

// Column j of a row of w pixels; j = w is the end of the row.
template <typename P>
P* column(P* row, Index j, Index w) {
    expectInside(j, w);
    return row + j;
}

void copySpan(Pixel32* dst, const Pixel32* src, Index count) {
    if (count > 0) std::memcpy(dst, src, static_cast<std::size_t>(count) * sizeof(Pixel32));
}

void fillSpan(Pixel32* dst, Index count, Pixel32 value) {
    if (count > 0) std::fill_n(dst, count, value);
}

// The few pixels at a row's sides: a call per span would cost more than the stores.
void fillFew(Pixel32* dst, Index count, Pixel32 value) {
    if (count > 16) return fillSpan(dst, count, value);
    for (Index k = 0; k < count; ++k)
        dst[k] = value;
}

// The rows of a frame. Source and destination share one stride. When it is the width, positive or
// negative (a top-down buffer seen bottom-up), the rows follow each other without gaps, and a run
// of rows is one run of pixels, which is copied or filled in a single call: a large memcpy is
// markedly faster than one call per row.
struct Rows {
    Pixel32* data;
    Index w;
    Index h;
    Index stride;

    Pixel32* row(Index i) const {
        expectInside(i, h - 1);
        return data + i * stride;
    }
    bool gapless() const { return stride == w || stride == -w; }
    // Of the rows begin .. end - 1, the one that comes first in memory.
    Index firstInMemory(Index begin, Index end) const { return stride > 0 ? begin : end - 1; }
};

void fillRows(const Rows& dst, Index begin, Index end, Pixel32 value) {
    if (begin >= end) return;
    if (dst.gapless()) return fillSpan(dst.row(dst.firstInMemory(begin, end)), (end - begin) * dst.w, value);
    for (Index i = begin; i < end; ++i)
        fillSpan(dst.row(i), dst.w, value);
}

void copyRows(const Rows& src, const Rows& dst, Index begin, Index end) {
    if (begin >= end) return;
    if (dst.gapless()) {
        const Index first = dst.firstInMemory(begin, end);
        return copySpan(dst.row(first), src.row(first), (end - begin) * dst.w);
    }
    for (Index i = begin; i < end; ++i)
        copySpan(dst.row(i), src.row(i), dst.w);
}

// The columns of a shifted row, the same for every row the border keeps:
// [0, keepBegin) black | [keepBegin, copyBegin) source column 0 repeated |
// [copyBegin, copyEnd) source column j + dx | [copyEnd, keepEnd) source column w - 1 repeated |
// [keepEnd, w) black.
struct ShiftedColumns {
    Index keepBegin;
    Index copyBegin;
    Index copyEnd;
    Index keepEnd;
    Index dx;
};

ShiftedColumns shiftedColumns(Index w, Index dx, Index sx, bool border) {
    ShiftedColumns columns{};
    columns.dx = dx;
    // The border keeps columns sx - 1 .. w - sx.
    columns.keepBegin = border ? clampIndex(sx - 1, 0, w) : 0;
    columns.keepEnd = border ? clampIndex(w - sx + 1, columns.keepBegin, w) : w;
    // Column j reads source column j + dx, which is inside the frame for -dx <= j < w - dx.
    columns.copyBegin = clampIndex(-dx, columns.keepBegin, columns.keepEnd);
    columns.copyEnd = clampIndex(w - dx, columns.copyBegin, columns.keepEnd);
    return columns;
}

// Everything of a shifted row but its copied span: the black sides and the repeated edge pixels.
void fillShiftedRowEdges(Pixel32* dst, const Pixel32* src, Index w, const ShiftedColumns& c,
                         Pixel32 borderColour) {
    fillFew(dst, c.keepBegin, borderColour);
    fillFew(column(dst, c.keepBegin, w), c.copyBegin - c.keepBegin, src[0]);
    fillFew(column(dst, c.copyEnd, w), c.keepEnd - c.copyEnd, src[w - 1]);
    fillFew(column(dst, c.keepEnd, w), w - c.keepEnd, borderColour);
}

void renderShiftedRow(Pixel32* dst, const Pixel32* src, Index w, const ShiftedColumns& c,
                      Pixel32 borderColour) {
    // Column j reads source column j + dx: only a span that is not empty has columns to point at.
    if (c.copyEnd > c.copyBegin)
        copySpan(column(dst, c.copyBegin, w), column(src, c.copyBegin + c.dx, w), c.copyEnd - c.copyBegin);
    fillShiftedRowEdges(dst, src, w, c, borderColour);
}

// Rows begin .. end - 1, each reading source row i + dy, which lies inside the frame.
void renderShiftedBlock(const Rows& src, const Rows& dst, Index dy, Index begin, Index end,
                        const ShiftedColumns& c, Pixel32 borderColour) {
    if (begin >= end) return;
    if (!dst.gapless()) {
        for (Index i = begin; i < end; ++i)
            renderShiftedRow(dst.row(i), src.row(i + dy), dst.w, c, borderColour);
        return;
    }
    // Without gaps every row's copied span sits at the same offset from its source, so the spans
    // and the pixels between them are one copy, all read from inside the frame; the edge fills
    // then overwrite the pixels between the spans.
    const Index first = dst.firstInMemory(begin, end);
    if (c.copyEnd > c.copyBegin)
        copySpan(column(dst.row(first), c.copyBegin, dst.w),
                 column(src.row(first + dy), c.copyBegin + c.dx, dst.w),
                 (end - 1 - begin) * dst.w + (c.copyEnd - c.copyBegin));
    for (Index i = begin; i < end; ++i)
        fillShiftedRowEdges(dst.row(i), src.row(i + dy), dst.w, c, borderColour);
}

void renderShiftMode(const ZoneSettings& settings, const Rows& src, const Rows& dst, Index h,
                     Pixel32 borderColour) {
    const Index up = settings.up, down = settings.down;
    const Index left = settings.left, right = settings.right;
    // Halving is an arithmetic shift, rounding towards minus infinity.
    const Index dy = (down - up) >> 1;
    const Index dx = (left - right) >> 1;
    const Index sy = (down + up) >> 1;
    const Index sx = (left + right) >> 1;
    const bool border = settings.addBorder != 0;
    const ShiftedColumns columns = shiftedColumns(dst.w, dx, sx, border);

    // The border keeps rows sy - 1 .. h - sy. Of those, rows below -dy repeat source row 0, rows
    // from h - dy on repeat source row h - 1, and the rows between read source row i + dy.
    const Index keepBegin = border ? clampIndex(sy - 1, 0, h) : 0;
    const Index keepEnd = border ? clampIndex(h - sy + 1, keepBegin, h) : h;
    const Index insideBegin = clampIndex(-dy, keepBegin, keepEnd);
    const Index insideEnd = clampIndex(h - dy, insideBegin, keepEnd);

    fillRows(dst, 0, keepBegin, borderColour);
    for (Index i = keepBegin; i < insideBegin; ++i)
        renderShiftedRow(dst.row(i), src.row(0), dst.w, columns, borderColour);
    renderShiftedBlock(src, dst, dy, insideBegin, insideEnd, columns, borderColour);
    for (Index i = insideEnd; i < keepEnd; ++i)
        renderShiftedRow(dst.row(i), src.row(h - 1), dst.w, columns, borderColour);
    fillRows(dst, keepEnd, h, borderColour);
}

// Copies the picture, then draws the parts of the zone's edge lines that lie inside the frame.
void renderOutlineMode(const ZoneSettings& settings, const Rows& src, const Rows& dst, Index h,
                       Pixel32 outlineColour) {
    const Index w = dst.w;
    const Index leftColumn = Index{settings.left} - 1;
    const Index rightColumn = w - settings.right;
    const Index bottomRow = Index{settings.down} - 1;
    const Index topRow = h - settings.up;

    copyRows(src, dst, 0, h);

    const Index lineBegin = std::max<Index>(leftColumn, 0);
    const Index lineEnd = std::min<Index>(rightColumn, w - 1) + 1;
    for (const Index row : {bottomRow, topRow})
        if (row >= 0 && row < h && lineEnd > lineBegin)
            fillSpan(column(dst.row(row), lineBegin, w), lineEnd - lineBegin, outlineColour);

    const Index reachBegin = std::max<Index>(bottomRow, 0);
    const Index reachEnd = std::min<Index>(topRow, h - 1) + 1;
    for (const Index j : {leftColumn, rightColumn})
        if (j >= 0 && j < w)
            for (Index i = reachBegin; i < reachEnd; ++i)
                *column(dst.row(i), j, w) = outlineColour;
}

}  // namespace

int renderZoneFrame(const ZoneSettings& settings, const FrameBitmap& source, const FrameBitmap& destination,
                    const ZoneColours& colours) {
    const Index w = source.w;
    const Index h = source.h;
    if (w <= 0 || h <= 0) return 0;
    const Index stride = rowStridePixels(source);
    const Rows src{source.data, w, h, stride};
    const Rows dst{destination.data, w, h, stride};
    if (settings.showFrame != 0)
        renderOutlineMode(settings, src, dst, h, colours.outline);
    else
        renderShiftMode(settings, src, dst, h, colours.border);
    return 0;
}
