#pragma once

#include <cstdint>

#include "core/planar_frame.h"
#include "velmo/command_line.h"
#include "velmo/media/pixel_format.h"
#include "velmo/zone_options.h"

// velmo stream --size WxH [--pix-fmt F] [OPTIONS] < RAW-IN > RAW-OUT: the filter on raw frames in
// one of FFmpeg's pixel formats, on their own samples.
struct StreamOptions {
    ZoneChoice zone;
    std::int32_t width = 0;
    std::int32_t height = 0;
    // As given; AV_PIX_FMT_NONE for 32-bit frames (bgr0 or bgra), as before --pix-fmt existed.
    AVPixelFormat pixelFormat = AV_PIX_FMT_NONE;
    bool interlaced = false;
    AVColorRange range = AVCOL_RANGE_UNSPECIFIED;
    AVColorSpace matrix = AVCOL_SPC_UNSPECIFIED;
    // What the frames are, worked out from all of the above once the line is read.
    PlanarFormat format{};
};

// Reads stream's command line; false with a one-line `error` when it makes no sense.
bool readStreamOptions(const Invocation& invocation, StreamOptions& options, CommandLine& line,
                       std::string& error);

extern const Command kStreamCommand;
