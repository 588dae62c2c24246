#include "core/render_plane.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

// All index arithmetic below is 64-bit: the geometry carries offsets of margins that can be any
// 32-bit integer.

namespace {

using Index = std::int64_t;

Index clampIndex(Index value, Index low, Index high) {
    return std::min(std::max(value, low), high);
}

// Pointers into a plane are formed only for positions inside it: with hostile margins an offset can
// reach about 2^31 samples, and forming such a pointer is undefined even when nothing is read there
// (on 32-bit systems the address wraps). Checked builds (the sanitizer and fuzzing builds) stop at the
// first position that leaves the plane.
inline void expectInside([[maybe_unused]] Index position, [[maybe_unused]] Index end) {
#ifdef VELMO_CHECKED_OFFSETS
    if (position >= 0 && position <= end) return;
    std::fprintf(stderr, "renderPlane: position %lld formed outside 0..%lld\n",
                 static_cast<long long>(position), static_cast<long long>(end));
    std::abort();
#endif
}

// Samples are moved through memcpy: a plane is a byte buffer, and its samples may sit at any address.
template <typename Sample>
Sample load(const std::uint8_t* at) {
    Sample value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

template <typename Sample>
void store(std::uint8_t* at, Sample value) {
    std::memcpy(at, &value, sizeof value);
}

template <typename Sample>
bool bytesAllEqual(Sample value) {
    std::uint8_t bytes[sizeof value];
    std::memcpy(bytes, &value, sizeof value);
    return std::all_of(bytes, bytes + sizeof value, [&](std::uint8_t b) { return b == bytes[0]; });
}

template <typename Sample>
void copySpan(std::uint8_t* dst, const std::uint8_t* src, Index count) {
    if (count > 0) std::memcpy(dst, src, static_cast<std::size_t>(count) * sizeof(Sample));
}

// A run of one value: memset where every byte is the same, else a block of the pattern copied over.
template <typename Sample>
void fillSpan(std::uint8_t* dst, Index count, Sample value) {
    if (count <= 0) return;
    if (bytesAllEqual(value)) {
        std::memset(dst, static_cast<int>(value & 0xFF), static_cast<std::size_t>(count) * sizeof value);
        return;
    }
    constexpr Index kBlock = 64 / sizeof value;
    Sample block[kBlock];
    std::fill_n(block, kBlock, value);
    Index k = 0;
    for (; k + kBlock <= count; k += kBlock)
        std::memcpy(dst + k * Index{sizeof value}, block, sizeof block);
    std::memcpy(dst + k * Index{sizeof value}, block, static_cast<std::size_t>(count - k) * sizeof value);
}

// A sample's value repeated over 8 bytes, in memory order, for the few samples at a row's sides.
template <typename Sample>
std::uint64_t repeated(Sample value) {
    constexpr std::uint64_t kOnes = ~std::uint64_t{0} / ((std::uint64_t{1} << (8 * sizeof value)) - 1);
    return std::uint64_t{value} * kOnes;
}

template <int kBytes>
void storeBytes(std::uint8_t* at, std::uint64_t pattern) {
    if constexpr (kBytes == 8) {
        std::memcpy(at, &pattern, 8);
    } else {
        using Part = std::conditional_t<kBytes == 4, std::uint32_t,
                                        std::conditional_t<kBytes == 2, std::uint16_t, std::uint8_t>>;
        store(at, static_cast<Part>(pattern));
    }
}

// Up to 64 bytes of a repeated sample, in a few stores that may overlap: every store starts a whole
// number of samples from `dst`, so overlapping bytes get the same value. A call or a loop per run
// would cost more than the stores, and such runs come at both sides of every row.
void fillFewBytes(std::uint8_t* dst, Index bytes, std::uint64_t pattern) {
    if (bytes >= 8) {
        for (Index k = 0; k < bytes - 8; k += 8)
            storeBytes<8>(dst + k, pattern);
        storeBytes<8>(dst + bytes - 8, pattern);
    } else if (bytes >= 4) {
        storeBytes<4>(dst, pattern);
        storeBytes<4>(dst + bytes - 4, pattern);
    } else if (bytes >= 2) {
        storeBytes<2>(dst, pattern);
        storeBytes<2>(dst + bytes - 2, pattern);
    } else if (bytes == 1) {
        storeBytes<1>(dst, pattern);
    }
}

template <typename Sample>
void fillFew(std::uint8_t* dst, Index count, Sample value) {
    const Index bytes = count * Index{sizeof value};
    if (bytes > 64) return fillSpan(dst, count, value);
    fillFewBytes(dst, bytes, repeated(value));
}

// The rows of a plane. When source and destination share a stride that is the row's length,
// positive or negative, the rows follow each other without gaps, and a run of rows is one run of
// samples, copied or filled in a single call: a large memcpy is markedly faster than one call per row.
template <typename Sample>
struct Rows {
    std::uint8_t* data;
    Index w;
    Index h;
    Index stride;

    std::uint8_t* row(Index i) const {
        expectInside(i, h - 1);
        return data + i * stride;
    }
    // Column j of a row; j = w is the end of the row.
    template <typename Byte>
    Byte* at(Byte* rowStart, Index j) const {
        expectInside(j, w);
        return rowStart + j * Index{sizeof(Sample)};
    }
    Index rowBytes() const { return w * Index{sizeof(Sample)}; }
    bool gapless() const { return stride == rowBytes() || stride == -rowBytes(); }
    // Of the rows begin .. end - 1, the one that comes first in memory.
    Index firstInMemory(Index begin, Index end) const { return stride > 0 ? begin : end - 1; }
};

template <typename Sample>
bool oneRun(const Rows<Sample>& src, const Rows<Sample>& dst) {
    return dst.gapless() && src.stride == dst.stride;
}

// Rows are copied in bands that fit the first-level cache, and each band's few samples at the sides
// (edges, outline columns) are written right after it, while its rows are still there. Written after
// the whole plane instead, each of those stores fetches its row again, which costs as much as copying
// a small plane's rows.
constexpr Index kBandBytes = 16 * 1024;

template <typename Sample, typename Band>
void forEachBand(const Rows<Sample>& rows, Index begin, Index end, Band band) {
    const Index bandRows = std::max<Index>(1, kBandBytes / std::max<Index>(rows.rowBytes(), 1));
    for (Index bandBegin = begin; bandBegin < end; bandBegin += bandRows)
        band(bandBegin, std::min(bandBegin + bandRows, end));
}

template <typename Sample>
void fillRows(const Rows<Sample>& dst, Index begin, Index end, Sample value) {
    if (begin >= end) return;
    if (dst.gapless()) return fillSpan(dst.row(dst.firstInMemory(begin, end)), (end - begin) * dst.w, value);
    for (Index i = begin; i < end; ++i)
        fillSpan(dst.row(i), dst.w, value);
}

template <typename Sample>
void copyRows(const Rows<Sample>& src, const Rows<Sample>& dst, Index begin, Index end) {
    if (begin >= end) return;
    if (oneRun(src, dst)) {
        const Index first = dst.firstInMemory(begin, end);
        return copySpan<Sample>(dst.row(first), src.row(first), (end - begin) * dst.w);
    }
    for (Index i = begin; i < end; ++i)
        copySpan<Sample>(dst.row(i), src.row(i), dst.w);
}

// The columns of a shifted row, the same for every row the border keeps:
// [0, keepBegin) border | [keepBegin, copyBegin) source column 0 repeated |
// [copyBegin, copyEnd) source column j + dx | [copyEnd, keepEnd) source column w - 1 repeated |
// [keepEnd, w) border.
struct ShiftedColumns {
    Index keepBegin;
    Index copyBegin;
    Index copyEnd;
    Index keepEnd;
    Index dx;
};

ShiftedColumns shiftedColumns(const PlaneGeometry& geometry) {
    ShiftedColumns columns{};
    columns.dx = geometry.dx;
    columns.keepBegin = geometry.keptColumns.begin;
    columns.keepEnd = std::max(geometry.keptColumns.end, columns.keepBegin);
    // Column j reads source column j + dx, which is inside the plane for -dx <= j < w - dx.
    columns.copyBegin = clampIndex(-geometry.dx, columns.keepBegin, columns.keepEnd);
    columns.copyEnd = clampIndex(geometry.w - geometry.dx, columns.copyBegin, columns.keepEnd);
    return columns;
}

// Everything of a shifted row but its copied span: the border at the sides and the repeated edges.
// Most rows have one or two of these runs, of a few samples.
template <typename Sample>
void fillShiftedRowEdges(const Rows<Sample>& dst, std::uint8_t* dstRow, const Rows<Sample>& src,
                         const std::uint8_t* srcRow, const ShiftedColumns& c, Sample border) {
    const Index w = dst.w;
    if (c.keepBegin > 0) fillFew(dstRow, c.keepBegin, border);
    if (c.copyBegin > c.keepBegin)
        fillFew(dst.at(dstRow, c.keepBegin), c.copyBegin - c.keepBegin, load<Sample>(srcRow));
    if (c.keepEnd > c.copyEnd)
        fillFew(dst.at(dstRow, c.copyEnd), c.keepEnd - c.copyEnd, load<Sample>(src.at(srcRow, w - 1)));
    if (w > c.keepEnd) fillFew(dst.at(dstRow, c.keepEnd), w - c.keepEnd, border);
}

template <typename Sample>
void renderShiftedRow(const Rows<Sample>& src, const Rows<Sample>& dst, Index i, Index sourceRow,
                      const ShiftedColumns& c, Sample border) {
    std::uint8_t* dstRow = dst.row(i);
    std::uint8_t* srcRow = src.row(sourceRow);
    // Column j reads source column j + dx: only a span that is not empty has columns to point at.
    if (c.copyEnd > c.copyBegin)
        copySpan<Sample>(dst.at(dstRow, c.copyBegin), src.at(srcRow, c.copyBegin + c.dx),
                         c.copyEnd - c.copyBegin);
    fillShiftedRowEdges(dst, dstRow, src, srcRow, c, border);
}

// Rows begin .. end - 1, each reading source row i + dy, which lies inside the plane.
template <typename Sample>
void renderShiftedBlock(const Rows<Sample>& src, const Rows<Sample>& dst, Index dy, Index begin, Index end,
                        const ShiftedColumns& c, Sample border) {
    if (begin >= end) return;
    if (!oneRun(src, dst)) {
        for (Index i = begin; i < end; ++i)
            renderShiftedRow(src, dst, i, i + dy, c, border);
        return;
    }
    // Without gaps every row's copied span sits at the same offset from its source, so a band's spans
    // and the samples between them are one copy, all read from inside the plane; the edge fills then
    // overwrite the samples between the spans.
    forEachBand(dst, begin, end, [&](Index bandBegin, Index bandEnd) {
        const Index first = dst.firstInMemory(bandBegin, bandEnd);
        if (c.copyEnd > c.copyBegin)
            copySpan<Sample>(dst.at(dst.row(first), c.copyBegin),
                             src.at(src.row(first + dy), c.copyBegin + c.dx),
                             (bandEnd - 1 - bandBegin) * dst.w + (c.copyEnd - c.copyBegin));
        for (Index i = bandBegin; i < bandEnd; ++i)
            fillShiftedRowEdges(dst, dst.row(i), src, src.row(i + dy), c, border);
    });
}

// The source row for an output row whose own source row lies below row 0 or above row h - 1: the
// edge row, or in an interlaced frame the edge row of the output row's own field.
Index lowestRowFor(Index i, bool fields) {
    return fields ? (i & 1) : 0;
}
Index highestRowFor(Index i, Index h, bool fields) {
    return fields ? h - 1 - ((h - 1 - i) & 1) : h - 1;
}

template <typename Sample>
void renderShiftMode(const PlaneGeometry& g, const Rows<Sample>& src, const Rows<Sample>& dst,
                     Sample border) {
    const Index h = g.h, dy = g.dy;
    const ShiftedColumns columns = shiftedColumns(g);
    // Of the rows the border keeps, rows below -dy repeat the bottom row, rows from h - dy on repeat
    // the top row, and the rows between read source row i + dy.
    const Index keepBegin = g.keptRows.begin;
    const Index keepEnd = std::max(g.keptRows.end, keepBegin);
    const Index insideBegin = clampIndex(-dy, keepBegin, keepEnd);
    const Index insideEnd = clampIndex(h - dy, insideBegin, keepEnd);

    fillRows(dst, 0, keepBegin, border);
    for (Index i = keepBegin; i < insideBegin; ++i)
        renderShiftedRow(src, dst, i, lowestRowFor(i, g.fields), columns, border);
    renderShiftedBlock(src, dst, dy, insideBegin, insideEnd, columns, border);
    for (Index i = insideEnd; i < keepEnd; ++i)
        renderShiftedRow(src, dst, i, highestRowFor(i, h, g.fields), columns, border);
    fillRows(dst, keepEnd, h, border);
}

// Copies the picture, then paints the parts of the outline that lie inside the plane.
template <typename Sample>
void renderOutlineMode(const PlaneGeometry& g, const Rows<Sample>& src, const Rows<Sample>& dst,
                       Sample outline) {
    forEachBand(dst, 0, g.h, [&](Index bandBegin, Index bandEnd) {
        copyRows(src, dst, bandBegin, bandEnd);
        const Index linesBegin = std::max(bandBegin, g.outlineColumnRows.begin);
        const Index linesEnd = std::min(bandEnd, g.outlineColumnRows.end);
        for (const Index j : g.outlineColumns)
            if (j != PlaneGeometry::kNoLine)
                for (Index i = linesBegin; i < linesEnd; ++i)
                    store(dst.at(dst.row(i), j), outline);
    });
    const Span columns = g.outlineRowColumns;
    for (const Index row : g.outlineRows)
        if (row != PlaneGeometry::kNoLine && columns.end > columns.begin)
            fillSpan(dst.at(dst.row(row), columns.begin), columns.end - columns.begin, outline);
}

template <typename Sample>
void renderSamples(const PlaneGeometry& g, ZoneView view, const PlaneRows& source,
                   const PlaneRows& destination, const ZoneColours& colours) {
    const Rows<Sample> src{source.data, g.w, g.h, source.stride};
    const Rows<Sample> dst{destination.data, g.w, g.h, destination.stride};
    if (view == ZoneView::Outline)
        renderOutlineMode(g, src, dst, static_cast<Sample>(colours.outline));
    else
        renderShiftMode(g, src, dst, static_cast<Sample>(colours.border));
}

}  // namespace

void renderPlane(const PlaneGeometry& geometry, ZoneView view, int sampleSize, const PlaneRows& source,
                 const PlaneRows& destination, const ZoneColours& colours) {
    if (geometry.w <= 0 || geometry.h <= 0) return;
    switch (sampleSize) {
        case 1:
            return renderSamples<std::uint8_t>(geometry, view, source, destination, colours);
        case 2:
            return renderSamples<std::uint16_t>(geometry, view, source, destination, colours);
        case 4:
            return renderSamples<std::uint32_t>(geometry, view, source, destination, colours);
        default:
            return;
    }
}
