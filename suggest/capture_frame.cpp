#include "suggest/capture_frame.h"

#include <algorithm>

CaptureFrame captureFrameFromBitmap(const FrameBitmap& bitmap) {
    CaptureFrame frame;
    frame.w = std::max(0, bitmap.w);
    frame.h = std::max(0, bitmap.h);
    const std::size_t n = static_cast<std::size_t>(frame.w) * static_cast<std::size_t>(frame.h);
    frame.y.resize(n), frame.cb.resize(n), frame.cr.resize(n);
    const std::int64_t stride = rowStridePixels(bitmap);
    for (std::int32_t row = 0; row < frame.h; ++row) {
        // Bitmaps are bottom-up: the frame's top line is the bitmap's last row.
        const Pixel32* pixels = bitmap.data + std::int64_t{frame.h - 1 - row} * stride;
        for (std::int32_t x = 0; x < frame.w; ++x) {
            const int r = static_cast<int>((pixels[x] >> 16) & 255),
                      g = static_cast<int>((pixels[x] >> 8) & 255), b = static_cast<int>(pixels[x] & 255);
            // Fixed point, 2^16: Y = 16 + 0.2568 R + 0.5041 G + 0.0979 B and so on.
            const int y = (16 << 16) + 16829 * r + 33039 * g + 6416 * b;
            const int cb = (128 << 16) - 9714 * r - 19070 * g + 28784 * b;
            const int cr = (128 << 16) + 28784 * r - 24103 * g - 4681 * b;
            const std::size_t k = frame.at(x, row);
            frame.y[k] = static_cast<std::uint8_t>(std::clamp((y + 32768) >> 16, 0, 255));
            frame.cb[k] = static_cast<std::uint8_t>(std::clamp((cb + 32768) >> 16, 0, 255));
            frame.cr[k] = static_cast<std::uint8_t>(std::clamp((cr + 32768) >> 16, 0, 255));
        }
    }
    return frame;
}
