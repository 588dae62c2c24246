#include "tools/vdfhost/host_bitmap.h"

HostBitmap::HostBitmap() : bitmap_{} {
    bitmap_.depth = 32;
}

HostBitmap::HostBitmap(int w, int h, std::ptrdiff_t pitch) : bitmap_{} {
    const std::ptrdiff_t rowBytes = std::ptrdiff_t{w} * 4;
    const std::size_t framePixels = static_cast<std::size_t>(pitch / 4) * static_cast<std::size_t>(h);
    memory_.assign(framePixels + 2 * kGuardPixels, kSentinel);
    bitmap_.data = memory_.data() + kGuardPixels;
    bitmap_.depth = 32;
    bitmap_.w = w;
    bitmap_.h = h;
    bitmap_.pitch = pitch;
    bitmap_.modulo = pitch - rowBytes;
    bitmap_.size = pitch * h;
}

std::uint32_t& HostBitmap::at(int row, int column) {
    return bitmap_.data[static_cast<std::ptrdiff_t>(row) * (bitmap_.pitch / 4) + column];
}

void HostBitmap::load(const Picture& picture) {
    for (int y = 0; y < bitmap_.h; ++y)
        for (int x = 0; x < bitmap_.w; ++x)
            at(bitmap_.h - 1 - y, x) = picture.pixels[static_cast<std::size_t>(y) * picture.w + x];
}

Picture HostBitmap::picture() const {
    Picture picture;
    picture.w = bitmap_.w;
    picture.h = bitmap_.h;
    picture.pixels.resize(static_cast<std::size_t>(bitmap_.w) * bitmap_.h);
    const std::ptrdiff_t stride = bitmap_.pitch / 4;
    for (int y = 0; y < bitmap_.h; ++y)
        for (int x = 0; x < bitmap_.w; ++x)
            picture.pixels[static_cast<std::size_t>(y) * picture.w + x] =
                bitmap_.data[(bitmap_.h - 1 - y) * stride + x] & 0x00FFFFFF;
    return picture;
}

bool HostBitmap::isPixel(std::size_t index) const {
    if (index < kGuardPixels) return false;
    const std::size_t offset = index - kGuardPixels;
    const std::size_t stride = static_cast<std::size_t>(bitmap_.pitch / 4);
    if (stride == 0) return false;
    return offset / stride < static_cast<std::size_t>(bitmap_.h) &&
           offset % stride < static_cast<std::size_t>(bitmap_.w);
}

bool HostBitmap::guardsIntact() const {
    for (std::size_t k = 0; k < memory_.size(); ++k)
        if (!isPixel(k) && memory_[k] != kSentinel) return false;
    return true;
}
