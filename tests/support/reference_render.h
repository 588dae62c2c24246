#pragma once

#include <cstdint>

#include "core/frame_bitmap.h"
#include "core/render_zone_frame.h"
#include "core/zone_settings.h"

// The transform written the plain way, one pixel at a time straight from its rules, in exact
// 64-bit integers. The tests hold the fast renderer, and every face built on it, to this.
inline void referenceRenderZoneFrame(const ZoneSettings& s, const FrameBitmap& source,
                                     const FrameBitmap& destination,
                                     const ZoneColours& colours = kZoneColours) {
    using I = std::int64_t;
    const I w = source.w, h = source.h;
    if (w <= 0 || h <= 0) return;
    const I stride = rowStridePixels(source);
    const I up = s.up, down = s.down, left = s.left, right = s.right;
    auto at = [stride](Pixel32* data, I row, I column) -> Pixel32& { return data[row * stride + column]; };
    for (I i = 0; i < h; ++i) {
        for (I j = 0; j < w; ++j) {
            Pixel32 value;
            if (s.showFrame != 0) {
                value = at(source.data, i, j);
                const bool bottom = i == down - 1 && left - 1 <= j && j <= w - right;
                const bool rightEdge = j == w - right && down - 1 <= i && i <= h - up;
                const bool leftEdge = j == left - 1 && down - 1 <= i && i <= h - up;
                const bool top = i == h - up && left - 1 <= j && j <= w - right;
                if (bottom || rightEdge || leftEdge || top) value = colours.outline;
            } else {
                const I dy = (down - up) >> 1, dx = (left - right) >> 1;
                const I sy = (down + up) >> 1, sx = (left + right) >> 1;
                I r = i + dy;
                if (r < 0) r = 0;
                if (r >= h) r = h - 1;
                I c = j + dx;
                if (c < 0) c = 0;
                if (c >= w) c = w - 1;
                value = at(source.data, r, c);
                if (s.addBorder != 0 && (i > h - sy || i < sy - 1 || j > w - sx || j < sx - 1))
                    value = colours.border;
            }
            at(destination.data, i, j) = value;
        }
    }
}
