#pragma once

// FFmpeg's libraries as velmo uses them: their headers, owners for their objects, and their
// errors in words.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

struct FreeFrame {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct FreePacket {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct FreeCodecContext {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FreeScaler {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};

using FramePtr = std::unique_ptr<AVFrame, FreeFrame>;
using PacketPtr = std::unique_ptr<AVPacket, FreePacket>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, FreeCodecContext>;
using ScalerPtr = std::unique_ptr<SwsContext, FreeScaler>;

// An FFmpeg error code in words ("Invalid data found when processing input").
std::string ffmpegErrorText(int code);

// FFmpeg's libraries write their own messages to standard error, several lines for one fault, which
// would break velmo's one-line errors. From the first call on they write nothing; the last error a
// library reported is kept for a message (lastFfmpegMessage).
void silenceFfmpegLog();

// The last error-level line an FFmpeg library logged since silenceFfmpegLog, without its line end;
// empty when none. clearFfmpegMessage forgets it, so a later failure does not borrow an older cause.
std::string lastFfmpegMessage();
void clearFfmpegMessage();

// Checks every frame a decoder allocates against kLargestPictureSide before its pixel memory is
// taken (and sets the decoder's own pixel limit). A refused frame fails its decoding call; the
// guard then holds the size asked for.
class FrameSizeGuard {
public:
    void attach(AVCodecContext& decoder);
    // The size of the last refused frame, and forgets it; false when none was refused.
    bool takeRefused(std::int64_t& width, std::int64_t& height);

private:
    static int checkedBuffer(AVCodecContext* decoder, AVFrame* frame, int flags);
    std::atomic<std::int64_t> refused_{0};  // width << 32 | height, written from decoding threads
};

// "<subject> is W x H pixels; velmo reads <kind> of at most 16384 pixels per side", as in
// tooLargeText("the video", "frames", w, h).
std::string tooLargeText(const char* subject, const char* kind, std::int64_t width, std::int64_t height);

// The same words as a thrown std::bad_alloc gets, for an FFmpeg allocation that failed.
inline constexpr char kNotEnoughMemory[] = "not enough memory";

// FFmpeg's AV_TIME_BASE_Q is a C compound literal, which C++ compilers other than g++ refuse.
inline constexpr AVRational kMicrosecondTimeBase{1, AV_TIME_BASE};
