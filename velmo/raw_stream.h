#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "core/planar_frame.h"
#include "core/zone.h"

// Raw video as FFmpeg's rawvideo muxer and demuxer carry it (`ffmpeg -f rawvideo -pix_fmt F`): each
// frame is its planes one after another, each plane's rows top-down and packed, planeWidth x
// sampleSize bytes each, as av_image_fill_arrays lays them out with an alignment of 1.
struct RawFrameLayout {
    std::size_t bytes;  // the whole frame
    std::size_t offsets[kMaxPlanes];
    int linesizes[kMaxPlanes];
};

// The layout of a frame in `format`, whose sides are at most kLargestPictureSide.
RawFrameLayout rawFrameLayout(const PlanarFormat& format);

struct StreamReport {
    std::uint64_t frames = 0;
    std::string error;  // empty when the input ended cleanly after a whole frame
};

// What a stream's caller hears while it runs.
struct StreamWatch {
    // Once, after the first frame is rendered: how far the picture moved vertically, asked and used.
    std::function<void(const VerticalShift& shift)> firstFrame;
    // Now and then, with the frames done so far.
    std::function<void(std::uint64_t frames)> progress;
};

// Filters raw frames in `format` from one file descriptor to another, each frame through the plane
// transform. The input must end after a whole frame; a short last frame is an error, and nothing
// of it is written.
StreamReport filterRawStream(int input, int output, const Zone& zone, ZoneView view,
                             const PlanarFormat& format, const StreamWatch& watch);
