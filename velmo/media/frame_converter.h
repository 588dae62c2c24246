#pragma once

#include <cstdint>
#include <string>

#include "velmo/media/ffmpeg_support.h"

// Frames into another pixel format at the same size, through libswscale. The source's colour
// matrix and range are taken from its tags, as FFmpeg's own scale filter takes them. Packed 8-bit
// RGB, palette and grey sources convert to 8-bit RGB exactly (every sample as it was). One
// converter keeps its scaler while the frames keep their size and format, so a run of frames pays
// for the set-up once.
class FrameConverter {
public:
    // YUV and gray targets are written in `yuvRange`; unspecified keeps the source's range (RGB
    // sources count as full range), as FFmpeg's scale filter does. RGB targets are full range.
    explicit FrameConverter(AVColorRange yuvRange = AVCOL_RANGE_UNSPECIFIED) : yuvRange_(yuvRange) {}

    // `converted` becomes the frame in `format`. AV_PIX_FMT_NONE, or the frame's own format, asks
    // for no conversion: `converted` then shares the source's pixels (a new reference, no copy).
    bool convert(const AVFrame& source, AVPixelFormat format, FramePtr& converted, std::string& error);

    // Writes the frame in `format` into the caller's planes (for a Picture's pixels, say).
    bool convertInto(const AVFrame& source, AVPixelFormat format, std::uint8_t* const planes[4],
                     const int strides[4], std::string& error);

private:
    bool prepare(const AVFrame& source, AVPixelFormat format, std::string& error);

    AVColorRange yuvRange_;
    ScalerPtr scaler_;
    int width_ = 0, height_ = 0;
    AVPixelFormat from_ = AV_PIX_FMT_NONE, to_ = AV_PIX_FMT_NONE;
    AVColorSpace matrix_ = AVCOL_SPC_UNSPECIFIED;
    AVColorRange range_ = AVCOL_RANGE_UNSPECIFIED;
};
