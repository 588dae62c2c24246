#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/filter_interface.h"
#include "velmo/image/picture.h"

// A frame buffer as the host hands one to a filter: 32-bit pixels, rows bottom-up, `pitch` bytes
// apart. Guard pixels before and after the frame and the row gaps hold a sentinel, so a write
// outside the picture can be detected.
class HostBitmap {
public:
    HostBitmap();  // an empty bitmap, as the host describes "no frame"
    HostBitmap(int w, int h, std::ptrdiff_t pitch);
    // Rows rounded up to 16 bytes, as hosts align them, so the row gap is often nonzero.
    HostBitmap(int w, int h) : HostBitmap(w, h, alignedPitch(w, 16)) {}

    HostBitmap(HostBitmap&&) = default;
    HostBitmap& operator=(HostBitmap&&) = default;
    HostBitmap(const HostBitmap&) = delete;
    HostBitmap& operator=(const HostBitmap&) = delete;

    static std::ptrdiff_t alignedPitch(int w, int alignment) {
        return (std::ptrdiff_t{w} * 4 + alignment - 1) / alignment * alignment;
    }

    VFBitmap& bitmap() { return bitmap_; }
    const VFBitmap& bitmap() const { return bitmap_; }

    // Fills the frame from a picture of the same size (top-down) or reads it back as one.
    void load(const Picture& picture);
    Picture picture() const;

    std::uint32_t& at(int row, int column);  // row 0 = bottom line
    bool guardsIntact() const;

    static constexpr std::uint32_t kSentinel = 0xDEADBEEF;

private:
    bool isPixel(std::size_t index) const;

    static constexpr std::size_t kGuardPixels = 32;
    std::vector<std::uint32_t> memory_;
    VFBitmap bitmap_;
};
