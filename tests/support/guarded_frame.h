#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "core/frame_bitmap.h"

// A frame inside a larger buffer. Everything that is not one of the w x h pixels (the guard
// before and after, the row gaps) holds a sentinel, so a stray write shows up.
class GuardedFrame {
public:
    static constexpr Pixel32 kSentinel = 0xA5C3E1F7;
    static constexpr std::int64_t kGuardPixels = 64;

    // `modulo` in bytes, as the host gives it; it may be negative, down to -8 * w (a top-down
    // buffer seen bottom-up), in which case row 0 is the last row in memory.
    GuardedFrame(std::int32_t w, std::int32_t h, std::ptrdiff_t modulo)
        : w_(w), h_(h), modulo_(modulo), stride_(rowStridePixels(FrameBitmap{nullptr, w, h, modulo})) {
        const std::int64_t lastRow = h > 0 ? std::int64_t{h - 1} * stride_ : 0;
        const std::int64_t lowest = std::min<std::int64_t>(0, lastRow);
        const std::int64_t highest = std::max<std::int64_t>(0, lastRow) + std::max(w, 0);
        buffer_.assign(static_cast<std::size_t>(highest - lowest + 2 * kGuardPixels), kSentinel);
        origin_ = kGuardPixels - lowest;
    }

    FrameBitmap bitmap() { return FrameBitmap{buffer_.data() + origin_, w_, h_, modulo_}; }

    Pixel32& at(std::int64_t row, std::int64_t column) {
        return buffer_[static_cast<std::size_t>(origin_ + row * stride_ + column)];
    }

    // Two frames of one shape with equal buffers hold the same pixels and the same untouched
    // sentinels.
    bool operator==(const GuardedFrame& other) const { return buffer_ == other.buffer_; }

    // The first buffer index where two frames of one shape differ, or -1.
    std::int64_t firstDifference(const GuardedFrame& other) const {
        const auto mismatch = std::mismatch(buffer_.begin(), buffer_.end(), other.buffer_.begin());
        return mismatch.first == buffer_.end() ? -1 : mismatch.first - buffer_.begin();
    }

    // Describes a buffer index as "row r, column c" or "outside the picture".
    std::string describe(std::int64_t index) const {
        for (std::int64_t row = 0; row < h_; ++row) {
            const std::int64_t column = index - (origin_ + row * stride_);
            if (column >= 0 && column < w_)
                return "row " + std::to_string(row) + ", column " + std::to_string(column);
        }
        return "outside the picture (buffer index " + std::to_string(index) + ")";
    }

    std::int32_t w() const { return w_; }
    std::int32_t h() const { return h_; }

private:
    std::int32_t w_;
    std::int32_t h_;
    std::ptrdiff_t modulo_;
    std::int64_t stride_;
    std::vector<Pixel32> buffer_;
    std::int64_t origin_ = 0;
};
