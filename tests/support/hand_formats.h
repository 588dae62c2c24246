#pragma once

// Pixel formats written out by hand, apart from velmo's own descriptions (planarFormatOf): each
// plane's sample size and subsampling and the format's black, so that tests can hold velmo's
// frames to the per-sample reference without asking velmo how its formats look.

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/planar_frame.h"

namespace hand {

struct Format {
    const char* name;  // FFmpeg's
    int planeCount;
    PlaneLayout planes[kMaxPlanes];
    std::uint32_t limitedBlack[kMaxPlanes];  // black in limited range (YUV's default)
    std::uint32_t fullBlack[kMaxPlanes];     // in full range (RGB and gray always)
};

inline constexpr Format kFormats[] = {
    {"yuv422p", 3, {{1, 0, 0}, {1, 1, 0}, {1, 1, 0}}, {16, 128, 128}, {0, 128, 128}},
    {"yuv420p", 3, {{1, 0, 0}, {1, 1, 1}, {1, 1, 1}}, {16, 128, 128}, {0, 128, 128}},
    {"yuv411p", 3, {{1, 0, 0}, {1, 2, 0}, {1, 2, 0}}, {16, 128, 128}, {0, 128, 128}},
    {"yuv444p", 3, {{1, 0, 0}, {1, 0, 0}, {1, 0, 0}}, {16, 128, 128}, {0, 128, 128}},
    {"yuv422p10le", 3, {{2, 0, 0}, {2, 1, 0}, {2, 1, 0}}, {64, 512, 512}, {0, 512, 512}},
    {"yuv420p10le", 3, {{2, 0, 0}, {2, 1, 1}, {2, 1, 1}}, {64, 512, 512}, {0, 512, 512}},
    {"gray", 1, {{1, 0, 0}}, {0}, {0}},
    {"gbrp", 3, {{1, 0, 0}, {1, 0, 0}, {1, 0, 0}}, {0, 0, 0}, {0, 0, 0}},
};

inline const Format& format(const std::string& name) {
    for (const Format& candidate : kFormats)
        if (name == candidate.name) return candidate;
    throw std::invalid_argument("no hand-written format " + name);
}

inline std::int64_t planeWidth(const Format& format, int plane, std::int64_t width) {
    const int log2 = format.planes[plane].log2Width;
    return (width + (1 << log2) - 1) >> log2;
}

inline std::int64_t planeHeight(const Format& format, int plane, std::int64_t height) {
    const int log2 = format.planes[plane].log2Height;
    return (height + (1 << log2) - 1) >> log2;
}

// The bytes of one frame as `ffmpeg -f rawvideo` writes it: each plane's rows one after another,
// without gaps.
inline std::int64_t frameBytes(const Format& format, std::int64_t width, std::int64_t height) {
    std::int64_t bytes = 0;
    for (int p = 0; p < format.planeCount; ++p)
        bytes += planeWidth(format, p, width) * planeHeight(format, p, height) * format.planes[p].sampleSize;
    return bytes;
}

// The plane transform's description, with the black by hand; the outline is not drawn by velmo
// fix, so its colour is the black as well.
inline PlanarFormat planarFormat(const Format& format, std::int32_t width, std::int32_t height,
                                 bool interlaced, bool fullRange) {
    PlanarFormat planar{};
    planar.width = width;
    planar.height = height;
    planar.planeCount = format.planeCount;
    planar.interlaced = interlaced;
    for (int p = 0; p < format.planeCount; ++p) {
        planar.planes[p] = format.planes[p];
        const std::uint32_t black = fullRange ? format.fullBlack[p] : format.limitedBlack[p];
        planar.colours[p] = ZoneColours{black, black};
    }
    return planar;
}

// A raw frame's planes as the transform numbers rows, from the picture's bottom line.
inline PlanarFrame planarFrame(const Format& format, std::uint8_t* bytes, std::int64_t width,
                               std::int64_t height) {
    PlanarFrame frame{};
    for (int p = 0; p < format.planeCount; ++p) {
        const std::int64_t rowBytes = planeWidth(format, p, width) * format.planes[p].sampleSize;
        frame.planes[p] = bottomUpRows(bytes, rowBytes, planeHeight(format, p, height));
        bytes += rowBytes * planeHeight(format, p, height);
    }
    return frame;
}

// Packed 4:2:2 (uyvy422 or yuyv422) unpacked into yuv422p's planes, by the order of its bytes.
inline std::vector<std::uint8_t> unpack422(const std::uint8_t* packed, std::int64_t width,
                                           std::int64_t height, bool uyvy) {
    const std::int64_t chromaWidth = (width + 1) / 2;
    std::vector<std::uint8_t> planes(static_cast<std::size_t>(width * height + 2 * chromaWidth * height));
    std::uint8_t* y = planes.data();
    std::uint8_t* u = y + width * height;
    std::uint8_t* v = u + chromaWidth * height;
    const int yAt = uyvy ? 1 : 0, uAt = uyvy ? 0 : 1, vAt = uyvy ? 2 : 3;
    const std::int64_t rowBytes = 4 * chromaWidth;  // a last odd pixel takes a whole pair
    for (std::int64_t row = 0; row < height; ++row)
        for (std::int64_t pair = 0; pair < chromaWidth; ++pair) {
            const std::uint8_t* at = packed + row * rowBytes + 4 * pair;
            y[row * width + 2 * pair] = at[yAt];
            if (2 * pair + 1 < width) y[row * width + 2 * pair + 1] = at[yAt + 2];
            u[row * chromaWidth + pair] = at[uAt];
            v[row * chromaWidth + pair] = at[vAt];
        }
    return planes;
}

}  // namespace hand
