#include "velmo/media/frame_converter.h"

namespace {

// Bicubic as FFmpeg's scale filter chooses by default; accurate rounding and full chroma
// interpolation so that no sample is approximated more than the formats force, and bit-exact so
// that every machine gives the same pixels.
constexpr int kScalerFlags = SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT | SWS_BITEXACT;

// The full-range variants of YUV that JPEG decoders give say their range by their format.
bool isFullRange(const AVFrame& frame) {
    switch (frame.format) {
        case AV_PIX_FMT_YUVJ420P:
        case AV_PIX_FMT_YUVJ422P:
        case AV_PIX_FMT_YUVJ444P:
        case AV_PIX_FMT_YUVJ440P:
        case AV_PIX_FMT_YUVJ411P:
            return true;
        default:
            return frame.color_range == AVCOL_RANGE_JPEG;
    }
}

bool isRgbOrGrey(AVPixelFormat format) {
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    return descriptor != nullptr &&
           ((descriptor->flags & AV_PIX_FMT_FLAG_RGB) != 0 || descriptor->nb_components <= 2);
}

}  // namespace

bool FrameConverter::prepare(const AVFrame& source, AVPixelFormat format, std::string& error) {
    silenceFfmpegLog();
    const auto from = static_cast<AVPixelFormat>(source.format);
    if (scaler_ && source.width == width_ && source.height == height_ && from == from_ && format == to_ &&
        source.colorspace == matrix_ && source.color_range == range_)
        return true;
    scaler_.reset(sws_getContext(source.width, source.height, from, source.width, source.height, format,
                                 kScalerFlags, nullptr, nullptr, nullptr));
    if (!scaler_) {
        const char* fromName = av_get_pix_fmt_name(from);
        const char* toName = av_get_pix_fmt_name(format);
        error = std::string("cannot convert frames from ") +
                (fromName != nullptr ? fromName : "an unknown format") + " to " +
                (toName != nullptr ? toName : "an unknown format");
        return false;
    }
    const bool fromYuv = !isRgbOrGrey(from), toYuv = !isRgbOrGrey(format);
    if (fromYuv || toYuv) {
        // The matrix the frame is tagged with; BT.601 when untagged, as FFmpeg assumes. YUV to YUV
        // keeps the matrix and changes the range at most.
        const int matrix = source.colorspace == AVCOL_SPC_UNSPECIFIED ? SWS_CS_DEFAULT : source.colorspace;
        const int* coefficients = sws_getCoefficients(fromYuv ? matrix : SWS_CS_DEFAULT);
        const bool fromFull = !fromYuv || isFullRange(source);
        const bool toFull =
            !toYuv || yuvRange_ == AVCOL_RANGE_JPEG || (yuvRange_ == AVCOL_RANGE_UNSPECIFIED && fromFull);
        sws_setColorspaceDetails(scaler_.get(), coefficients, fromFull ? 1 : 0,
                                 toYuv ? coefficients : sws_getCoefficients(SWS_CS_DEFAULT), toFull ? 1 : 0,
                                 0, 1 << 16, 1 << 16);
    }
    width_ = source.width;
    height_ = source.height;
    from_ = from;
    to_ = format;
    matrix_ = source.colorspace;
    range_ = source.color_range;
    return true;
}

bool FrameConverter::convertInto(const AVFrame& source, AVPixelFormat format, std::uint8_t* const planes[4],
                                 const int strides[4], std::string& error) {
    if (!prepare(source, format, error)) return false;
    const int status =
        sws_scale(scaler_.get(), source.data, source.linesize, 0, source.height, planes, strides);
    if (status < 0) {
        error = "cannot convert a frame (" + ffmpegErrorText(status) + ")";
        return false;
    }
    return true;
}

bool FrameConverter::convert(const AVFrame& source, AVPixelFormat format, FramePtr& converted,
                             std::string& error) {
    converted.reset(av_frame_alloc());
    if (!converted) return error = kNotEnoughMemory, false;
    if (format == AV_PIX_FMT_NONE || format == source.format) {
        const int status = av_frame_ref(converted.get(), &source);
        if (status < 0) return error = ffmpegErrorText(status), false;
        return true;
    }
    converted->format = format;
    converted->width = source.width;
    converted->height = source.height;
    int status = av_frame_get_buffer(converted.get(), 0);
    if (status >= 0) status = av_frame_copy_props(converted.get(), &source);
    if (status < 0) return error = ffmpegErrorText(status), false;
    return convertInto(source, format, converted->data, converted->linesize, error);
}
