#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/planar_frame.h"
#include "core/zone.h"

// The transform on a frame of planes written the plain way, one output sample at a time straight
// from its rules, in exact 64-bit integers, sharing no code with the fast renderer: the tests hold
// renderZonePlanes to it. Rows are numbered from the bottom as the transform numbers them; each
// plane's sample grid starts at the picture's top-left corner.
namespace reference {

using I = std::int64_t;

// a / b rounded towards minus infinity, b > 0.
inline I floorDivide(I a, I b) {
    I q = a / b;
    if (q * b > a) --q;
    return q;
}

inline I power2(int log2) {
    I p = 1;
    for (int k = 0; k < log2; ++k)
        p *= 2;
    return p;
}

// The multiple of m nearest to v; of two equally near, the lower.
inline I nearestMultiple(I v, I m) {
    const I lower = m * floorDivide(v, m), upper = lower + m;
    return upper - v < v - lower ? upper : lower;
}

inline std::uint32_t sampleAt(const PlaneRows& rows, int size, I row, I column) {
    const std::uint8_t* at = rows.data + row * rows.stride + column * size;
    if (size == 1) return *at;
    if (size == 2) {
        std::uint16_t v;
        std::memcpy(&v, at, 2);
        return v;
    }
    std::uint32_t v;
    std::memcpy(&v, at, 4);
    return v;
}

inline void putSample(const PlaneRows& rows, int size, I row, I column, std::uint32_t value) {
    std::uint8_t* at = rows.data + row * rows.stride + column * size;
    if (size == 1) {
        *at = static_cast<std::uint8_t>(value);
    } else if (size == 2) {
        const std::uint16_t v = static_cast<std::uint16_t>(value);
        std::memcpy(at, &v, 2);
    } else {
        std::memcpy(at, &value, 4);
    }
}

// For each of a plane's rows (from the bottom), the full-size rows it covers. The grid starts at the
// top: counted from there, full-size row t lies in plane row t / 2^log2, or, in an interlaced frame,
// in the (t / 2) / 2^log2-th of its own field's plane rows (the field's last one taking the rest).
inline std::vector<std::vector<I>> coveredRows(I fullHeight, I planeHeight, int log2, bool interlaced) {
    std::vector<std::vector<I>> covered(static_cast<std::size_t>(planeHeight));
    for (I r = 0; r < fullHeight; ++r) {
        const I t = fullHeight - 1 - r;
        I planeRowFromTop;
        if (!interlaced) {
            planeRowFromTop = t / power2(log2);
        } else {
            std::vector<I> fieldRows;
            for (I p = t % 2; p < planeHeight; p += 2)
                fieldRows.push_back(p);
            if (fieldRows.empty()) {
                planeRowFromTop = 0;
            } else {
                const I k = std::min<I>((t / 2) / power2(log2), static_cast<I>(fieldRows.size()) - 1);
                planeRowFromTop = fieldRows[static_cast<std::size_t>(k)];
            }
        }
        covered[static_cast<std::size_t>(planeHeight - 1 - planeRowFromTop)].push_back(r);
    }
    return covered;
}

inline std::vector<std::vector<I>> coveredColumns(I fullWidth, I planeWidth, int log2) {
    std::vector<std::vector<I>> covered(static_cast<std::size_t>(planeWidth));
    for (I c = 0; c < fullWidth; ++c)
        covered[static_cast<std::size_t>(c / power2(log2))].push_back(c);
    return covered;
}

// Renders the frame and gives the vertical shift used, in full-size rows.
inline I renderZonePlanes(const Zone& zone, ZoneView view, const PlanarFormat& format,
                          const PlanarFrame& source, const PlanarFrame& destination) {
    const I W = format.width, H = format.height;
    const I up = zone.up, down = zone.down, left = zone.left, right = zone.right;
    const I dyExact = floorDivide(down - up, 2), dx = floorDivide(left - right, 2);
    const I sy = floorDivide(down + up, 2), sx = floorDivide(left + right, 2);
    const bool shift = view == ZoneView::Shift;

    int mostLog2Height = 0;
    for (int p = 0; p < format.planeCount; ++p)
        mostLog2Height = std::max(mostLog2Height, format.planes[p].log2Height);
    const I dy = shift && format.interlaced ? nearestMultiple(dyExact, 2 * power2(mostLog2Height)) : dyExact;
    // The window follows the picture where the shift was rounded.
    const I moved = dyExact - dy;
    if (W <= 0 || H <= 0) return shift ? dy : 0;

    const auto kept = [&](I r, I c) {
        return !zone.border || (r >= sy - 1 + moved && r <= H - sy + moved && c >= sx - 1 && c <= W - sx);
    };
    const auto onOutline = [&](I r, I c) {
        const bool across = left - 1 <= c && c <= W - right;
        const bool along = down - 1 <= r && r <= H - up;
        return (r == down - 1 && across) || (c == W - right && along) || (c == left - 1 && along) ||
               (r == H - up && across);
    };

    for (int p = 0; p < format.planeCount; ++p) {
        const PlaneLayout& layout = format.planes[p];
        const int size = layout.sampleSize;
        const I pw = (W + power2(layout.log2Width) - 1) / power2(layout.log2Width);
        const I ph = (H + power2(layout.log2Height) - 1) / power2(layout.log2Height);
        const auto rowsOf = coveredRows(H, ph, layout.log2Height, format.interlaced);
        const auto columnsOf = coveredColumns(W, pw, layout.log2Width);
        const I dyPlane = floorDivide(dy, power2(layout.log2Height));
        const I dxPlane = floorDivide(dx, power2(layout.log2Width));
        const auto anyCovered = [&](I i, I j, auto&& test) {
            for (const I r : rowsOf[static_cast<std::size_t>(i)])
                for (const I c : columnsOf[static_cast<std::size_t>(j)])
                    if (test(r, c)) return true;
            return false;
        };
        for (I i = 0; i < ph; ++i) {
            for (I j = 0; j < pw; ++j) {
                std::uint32_t value;
                if (!shift) {
                    value = sampleAt(source.planes[p], size, i, j);
                    if (anyCovered(i, j, onOutline)) value = format.colours[p].outline;
                } else {
                    // Where the moved picture runs out, the nearest row (of the same field) repeats.
                    I r = i + dyPlane;
                    if (r < 0) {
                        r = i;
                        if (format.interlaced)
                            while (r - 2 >= 0)
                                r -= 2;
                        else
                            r = 0;
                    }
                    if (r >= ph) {
                        r = i;
                        if (format.interlaced)
                            while (r + 2 < ph)
                                r += 2;
                        else
                            r = ph - 1;
                    }
                    const I c = std::clamp<I>(j + dxPlane, 0, pw - 1);
                    value = sampleAt(source.planes[p], size, r, c);
                    if (!anyCovered(i, j, kept)) value = format.colours[p].border;
                }
                putSample(destination.planes[p], size, i, j, value);
            }
        }
    }
    return shift ? dy : 0;
}

}  // namespace reference
