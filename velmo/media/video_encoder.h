#pragma once

// The encoder velmo fix writes the moved video with: any FFmpeg video encoder by its name, with its
// options, FFV1 by default as archives keep their masters (version 3, slices with CRCs).

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "velmo/media/ffmpeg_support.h"
#include "velmo/media/video_reader.h"

inline constexpr char kDefaultEncoder[] = "ffv1";

struct EncoderChoice {
    std::string name = kDefaultEncoder;
    std::vector<std::pair<std::string, std::string>> options;  // as given; a later one wins

    // The options the encoder is opened with: FFV1's archive defaults (level=3, slicecrc=1) under
    // the ones given.
    std::vector<std::pair<std::string, std::string>> effectiveOptions() const;
};

// False with a one-line `error` unless `name` is a video encoder FFmpeg has and it takes every
// option, with its value (an unknown option, a value it refuses).
bool checkEncoderChoice(const EncoderChoice& choice, std::string& error);

// Whether the encoder takes frames in `format`; otherwise `why` says so and lists what it takes.
bool encoderTakesFormat(const EncoderChoice& choice, AVPixelFormat format, std::string& why);

// What the encoder is told of the frames and the stream it writes.
struct EncodedVideo {
    std::int32_t width = 0;
    std::int32_t height = 0;
    AVPixelFormat format = AV_PIX_FMT_NONE;
    AVRational timeBase{0, 1};  // of the frames' timestamps, and the packets'
    AVRational frameRate{0, 1};
    AVRational sampleAspectRatio{0, 1};
    AVFieldOrder fieldOrder = AV_FIELD_UNKNOWN;
    ColourTags colour;
};

// Receives each packet the encoder gives, its timestamps in the encoder's time base; the packet is
// the encoder's, to move (av_packet_move_ref) or reference.
using EncodedPacketHandler = std::function<bool(AVPacket& packet, std::string& error)>;

class VideoEncoder {
public:
    // `globalHeader`: the container keeps the codec's set-up apart (Matroska's CodecPrivate).
    bool open(const EncoderChoice& choice, const EncodedVideo& video, bool globalHeader, std::string& error);

    // Encodes a frame (its pts in the time base given, lasting `duration` of it; 0 when unknown), or,
    // with nullptr, drains the encoder; every packet ready goes to `take`. A packet the encoder gives
    // without a duration gets its frame's.
    bool encode(const AVFrame* frame, std::int64_t duration, const EncodedPacketHandler& take,
                std::string& error);

    const AVCodecContext& context() const { return *context_; }

private:
    std::string failure(const std::string& cause) const;

    CodecContextPtr context_;
    PacketPtr packet_;
    std::map<std::int64_t, std::int64_t> durations_;  // of frames sent, by pts, until their packet comes
};
