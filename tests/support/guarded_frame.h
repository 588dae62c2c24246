#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/frame_bitmap.h"
#include "core/render_plane.h"

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

// A plane of 1-, 2- or 4-byte samples inside a larger byte buffer, its rows `stride` bytes apart
// (negative: row 0 is the last row in memory, as a top-down buffer is seen). It starts at an odd
// address, so no sample is aligned. Everything that is not one of the w x h samples (the guard before
// and after, the row gaps) holds a sentinel, so a stray write shows up.
class GuardedPlane {
public:
    static constexpr std::int64_t kGuardBytes = 61;

    GuardedPlane(std::int32_t w, std::int32_t h, int sampleSize, std::int64_t stride)
        : w_(w), h_(h), sampleSize_(sampleSize), stride_(stride) {
        const std::int64_t lastRow = h > 0 ? std::int64_t{h - 1} * stride : 0;
        const std::int64_t lowest = std::min<std::int64_t>(0, lastRow);
        const std::int64_t highest =
            std::max<std::int64_t>(0, lastRow) + std::int64_t{std::max(w, 0)} * sampleSize;
        buffer_.resize(static_cast<std::size_t>(highest - lowest + 2 * kGuardBytes + 1));
        for (std::size_t k = 0; k < buffer_.size(); ++k)
            buffer_[k] = kSentinel[k % 4];
        // The buffer itself is aligned; the plane starts an odd number of bytes into it.
        origin_ = kGuardBytes - lowest;
        origin_ += 1 - origin_ % 2;
    }

    PlaneRows rows() { return PlaneRows{buffer_.data() + origin_, stride_}; }

    std::uint32_t get(std::int64_t row, std::int64_t column) const {
        const std::uint8_t* at = &buffer_[offset(row, column)];
        switch (sampleSize_) {
            case 1:
                return *at;
            case 2: {
                std::uint16_t value;
                std::memcpy(&value, at, 2);
                return value;
            }
            default: {
                std::uint32_t value;
                std::memcpy(&value, at, 4);
                return value;
            }
        }
    }

    void set(std::int64_t row, std::int64_t column, std::uint32_t value) {
        std::uint8_t* at = &buffer_[offset(row, column)];
        if (sampleSize_ == 1) {
            *at = static_cast<std::uint8_t>(value);
        } else if (sampleSize_ == 2) {
            const std::uint16_t sample = static_cast<std::uint16_t>(value);
            std::memcpy(at, &sample, 2);
        } else {
            std::memcpy(at, &value, 4);
        }
    }

    bool operator==(const GuardedPlane& other) const { return buffer_ == other.buffer_; }

    // The first buffer index where two planes of one shape differ, or -1.
    std::int64_t firstDifference(const GuardedPlane& other) const {
        const auto mismatch = std::mismatch(buffer_.begin(), buffer_.end(), other.buffer_.begin());
        return mismatch.first == buffer_.end() ? -1 : mismatch.first - buffer_.begin();
    }

    // Describes a buffer index as "row r, column c" or "outside the picture".
    std::string describe(std::int64_t index) const {
        for (std::int64_t row = 0; row < h_; ++row) {
            const std::int64_t byte = index - (origin_ + row * stride_);
            if (byte >= 0 && byte < std::int64_t{w_} * sampleSize_)
                return "row " + std::to_string(row) + ", column " + std::to_string(byte / sampleSize_);
        }
        return "outside the picture (buffer index " + std::to_string(index) + ")";
    }

    std::int32_t w() const { return w_; }
    std::int32_t h() const { return h_; }

private:
    static constexpr std::uint8_t kSentinel[4] = {0xA5, 0xC3, 0xE1, 0xF7};

    std::size_t offset(std::int64_t row, std::int64_t column) const {
        return static_cast<std::size_t>(origin_ + row * stride_ + column * sampleSize_);
    }

    std::int32_t w_;
    std::int32_t h_;
    int sampleSize_;
    std::int64_t stride_;
    std::vector<std::uint8_t> buffer_;
    std::int64_t origin_ = 0;
};
