#pragma once

// Decoded frames moved by the plane transform (core/planar_frame.h) on their own samples: in the
// decoder's pixel format, or in the lossless repacking movedFormatFor gives for it, with each
// frame's black and red from its own range and matrix. Everything a frame carries besides its
// picture (timestamp, interlacing, aspect ratio, colour tags, side data) goes with it.

#include <string>

#include "core/planar_frame.h"
#include "core/zone.h"
#include "velmo/media/ffmpeg_support.h"
#include "velmo/media/frame_converter.h"
#include "velmo/media/video_reader.h"

// The format frames of `source` are moved and written in, and what that changes, in words (empty
// when it is `source` itself): a lossless repacking (movedFormatFor), or, for a JPEG-range format
// (yuvj422p, as MJPEG decoders give), its plain twin tagged full range: the same bytes, in a format
// encoders take. False with a one-line `why` naming a format the transform cannot take.
bool writtenFormatFor(AVPixelFormat source, AVPixelFormat& written, std::string& change, std::string& why);

class FrameMover {
public:
    // For frames of `source`'s pixel format, moved in writtenFormatFor's. False with a one-line
    // `error` naming the format when the transform cannot take it even repacked.
    bool prepare(const Zone& zone, AVPixelFormat source, std::string& error);

    AVPixelFormat sourceFormat() const { return source_; }
    // The format the moved frames are in: the source's, or its lossless repacking.
    AVPixelFormat movedFormat() const { return moved_; }

    // `moved` becomes a new frame in movedFormat(), timestamped frame.timestamp, flagged interlaced
    // as `frame` says, with the transform's vertical shift in `shift`. False with a one-line `error`
    // for a frame of another pixel format than prepared.
    bool move(const VideoFrame& frame, FramePtr& moved, VerticalShift& shift, std::string& error);

private:
    Zone zone_;
    AVPixelFormat source_ = AV_PIX_FMT_NONE;
    AVPixelFormat moved_ = AV_PIX_FMT_NONE;
    bool relabelled_ = false;  // a JPEG-range format taken as its plain twin, full range
    FrameConverter repacker_;
};
