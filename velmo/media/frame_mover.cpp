#include "velmo/media/frame_mover.h"

#include "velmo/media/pixel_format.h"

namespace {

// FFmpeg's JPEG-range formats and their plain twins, which hold the same samples.
AVPixelFormat plainTwinOf(AVPixelFormat format) {
    switch (format) {
        case AV_PIX_FMT_YUVJ411P:
            return AV_PIX_FMT_YUV411P;
        case AV_PIX_FMT_YUVJ420P:
            return AV_PIX_FMT_YUV420P;
        case AV_PIX_FMT_YUVJ422P:
            return AV_PIX_FMT_YUV422P;
        case AV_PIX_FMT_YUVJ440P:
            return AV_PIX_FMT_YUV440P;
        case AV_PIX_FMT_YUVJ444P:
            return AV_PIX_FMT_YUV444P;
        default:
            return AV_PIX_FMT_NONE;
    }
}

}  // namespace

bool writtenFormatFor(AVPixelFormat source, AVPixelFormat& written, std::string& change, std::string& why) {
    change.clear();
    if (const AVPixelFormat twin = plainTwinOf(source); twin != AV_PIX_FMT_NONE) {
        written = twin;
        change = "the same samples, tagged full range";
        return true;
    }
    if (!movedFormatFor(source, written, why)) return false;
    if (written != source) change = "the same samples, repacked";
    return true;
}

bool FrameMover::prepare(const Zone& zone, AVPixelFormat source, std::string& error) {
    zone_ = zone;
    source_ = source;
    relabelled_ = plainTwinOf(source) != AV_PIX_FMT_NONE;
    std::string change;
    return writtenFormatFor(source, moved_, change, error);
}

bool FrameMover::move(const VideoFrame& frame, FramePtr& moved, VerticalShift& shift, std::string& error) {
    if (frame.format() != source_)
        return error = "the video changes its pixel format from " + pixelFormatName(source_) + " to " +
                       pixelFormatName(frame.format()) + " within the stream",
               false;
    FramePtr input;
    // A relabelled frame is the same bytes under its twin's name: converting would scale its range.
    if (!repacker_.convert(*frame.picture, relabelled_ ? AV_PIX_FMT_NONE : moved_, input, error))
        return false;
    ColourTags colour = frame.colour;
    if (relabelled_) colour.range = AVCOL_RANGE_JPEG;

    PlanarFormat format{};
    const FrameFacts facts{frame.width(), frame.height(), frame.interlaced, colour.range, colour.matrix};
    if (!planarFormatOf(moved_, facts, format, error)) return false;

    moved.reset(av_frame_alloc());
    if (!moved) return error = kNotEnoughMemory, false;
    moved->format = moved_;
    moved->width = frame.width();
    moved->height = frame.height();
    int status = av_frame_get_buffer(moved.get(), 0);
    if (status >= 0) status = av_frame_copy_props(moved.get(), frame.picture.get());
    if (status < 0) return error = ffmpegErrorText(status), false;
    // The facts as the reader found them, the stream's where the frame said nothing: the encoder
    // and the container get them from here.
    moved->pts = frame.timestamp;
    moved->interlaced_frame = frame.interlaced ? 1 : 0;
    moved->top_field_first = frame.interlaced && frame.topFieldFirst ? 1 : 0;
    moved->sample_aspect_ratio = frame.sampleAspectRatio;
    moved->color_range = colour.range;
    moved->color_primaries = frame.colour.primaries;
    moved->color_trc = frame.colour.transfer;
    moved->colorspace = frame.colour.matrix;
    moved->chroma_location = frame.colour.chromaLocation;

    const std::optional<VerticalShift> used =
        renderZonePlanes(zone_, ZoneView::Shift, format, bottomUpFrame(format, input->data, input->linesize),
                         bottomUpFrame(format, moved->data, moved->linesize));
    if (!used) return error = "the plane transform refused the frame's format", false;
    shift = *used;
    return true;
}
