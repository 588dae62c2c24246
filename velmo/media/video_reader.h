#pragma once

// The one frame reader: one video stream of a file, demuxed and decoded in process by FFmpeg's
// libraries (libavformat, libavcodec), with the frame's facts a capture tool needs. `velmo suggest`
// samples frames through it (frame_sampler.h); `velmo fix` reads every frame in order with
// nextFrame() and copies the other streams' packets as they pass.
//
// Safety: the file is opened without blocking and refused unless it is a regular file (InputFile);
// libavformat reads that same open file through callbacks, and may open nothing else (no second
// file, no network: a playlist or a reference to another file is refused). Every frame's size is
// checked against kLargestPictureSide before its pixel memory is taken, and a failed allocation
// is an error like any other. Nothing here throws: every failure is a false (or Read::Error) with
// a one-line message naming the file and the cause.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "velmo/image/input_file.h"
#include "velmo/media/ffmpeg_support.h"

// The colour tags a stream or frame carries; FFmpeg's "unspecified" values when it says nothing.
struct ColourTags {
    AVColorRange range = AVCOL_RANGE_UNSPECIFIED;
    AVColorPrimaries primaries = AVCOL_PRI_UNSPECIFIED;
    AVColorTransferCharacteristic transfer = AVCOL_TRC_UNSPECIFIED;
    AVColorSpace matrix = AVCOL_SPC_UNSPECIFIED;
    AVChromaLocation chromaLocation = AVCHROMA_LOC_UNSPECIFIED;
};

// The video stream as the file describes it.
struct VideoStreamInfo {
    int index = -1;  // the stream's number in the file, as ffprobe counts (stream #0:index)
    std::int32_t width = 0;
    std::int32_t height = 0;
    AVPixelFormat pixelFormat = AV_PIX_FMT_NONE;  // the decoder's, as far as the file tells
    AVCodecID codec = AV_CODEC_ID_NONE;
    AVRational timeBase{0, 1};           // of every timestamp below and in VideoFrame
    AVRational frameRate{0, 1};          // average frames per second; 0/1 when unknown
    AVRational sampleAspectRatio{0, 1};  // 0/1 when unknown
    AVFieldOrder fieldOrder = AV_FIELD_UNKNOWN;
    ColourTags colour;
    std::int64_t start = 0;       // the first timestamp
    std::int64_t duration = 0;    // 0 when the file does not say (a raw stream, a pipe's recording)
    std::int64_t frameCount = 0;  // as the file says, else from duration and rate; 0 when unknown
};

// A decoded frame and its facts.
struct VideoFrame {
    FramePtr picture;                         // planes in picture->data / linesize, in picture->format
    std::int64_t timestamp = AV_NOPTS_VALUE;  // best effort, in the stream's time base (a raw stream's
                                              // from the frame's number, when read from its start)
    bool interlaced = false;                  // from the frame, else from the stream's field order
    bool topFieldFirst = false;
    AVRational sampleAspectRatio{0, 1};  // the frame's, else the stream's
    ColourTags colour;                   // the frame's, each tag falling back to the stream's

    std::int32_t width() const { return picture->width; }
    std::int32_t height() const { return picture->height; }
    AVPixelFormat format() const { return static_cast<AVPixelFormat>(picture->format); }
};

struct VideoReaderOptions {
    // The stream to read, by its number in the file; -1 reads the file's only video stream (cover
    // art and other attached pictures do not count) and refuses a file with several.
    int stream = -1;
    // Decoder threads: 0 lets FFmpeg choose (one per core).
    int threads = 0;
    // FFmpeg threads frames (throughput for reading on) and slices (no delay after a seek); a
    // reader that seeks for every frame it takes does better with slices alone.
    bool frameThreads = true;
    // Keep the other streams' packets for nextFrame's packet handler (velmo fix copies them);
    // otherwise the demuxer drops them unread.
    bool otherStreams = false;
};

// Receives a packet of another stream than the video, in file order; the packet is the reader's,
// to copy or reference (av_packet_ref), not to keep. Returning false stops the reading with
// Read::Error and the message given; it must not throw.
using PacketHandler = std::function<bool(AVPacket& packet, std::string& error)>;

// Whether the file's own index (Matroska cues, an MP4 or AVI index) shows a key frame in a range
// of timestamps. Unknown for files whose index is only what was read so far (MPEG-TS and -PS, raw
// streams).
enum class KeyFrameInRange { Yes, No, Unknown };

class VideoReader {
public:
    VideoReader();
    ~VideoReader();
    VideoReader(const VideoReader&) = delete;
    VideoReader& operator=(const VideoReader&) = delete;

    // Opens the file and its video stream, ready to decode from the start. Refused with one line:
    // not a regular file, an empty file, not a format FFmpeg reads, no video stream, several
    // without options.stream, a stream that is not video, no decoder, a frame size beyond
    // kLargestPictureSide.
    bool open(const std::string& path, const VideoReaderOptions& options, std::string& error);

    enum class Read {
        Frame,    // `frame` holds the next frame
        Damaged,  // a packet or frame could not be decoded, or came out of another size or marked
                  // corrupt; `error` says why and reading may go on
        End,      // the stream ended: every frame was delivered
        Error,    // reading cannot go on (`error`): out of memory, a failing disk, a handler's refusal
    };
    // Decodes on to the next frame of the video stream, in presentation order. Packets of other
    // streams go to `otherPackets` when options.otherStreams is set and a handler is given. The
    // frame keeps the decoder's own pixel format; FrameConverter changes it. `frame` is filled
    // anew each call: a caller that keeps frames moves `frame.picture` out (or takes a reference).
    Read nextFrame(VideoFrame& frame, std::string& error, const PacketHandler& otherPackets = {});

    // Moves to the key frame at or before `timestamp` (the stream's time base); nextFrame goes on
    // from there. False when the file cannot seek there; the position is then unknown.
    bool seek(std::int64_t timestamp, std::string& error);
    // Moves to a byte of the file; nextFrame goes on from the first key frame after it. Only where
    // canSeekToBytes says the format finds its way from any byte.
    bool seekToByte(std::int64_t position, std::string& error);
    // Leaves the frames up to the next key frame undecoded: nextFrame goes on from there.
    void skipToKeyFrame();

    // Whether the file can be sampled by seeking to times (a seekable file, a demuxer that seeks).
    bool canSeek() const;
    // Whether it can be sampled by seeking to bytes: MPEG transport and program streams, which find
    // their next packet from any byte and carry timestamps, and whose timestamp seeks search the
    // file (slow where key frames are far apart).
    bool canSeekToBytes() const;
    // Whether the file's index of key frames is read whole with it (Matroska, MP4, AVI).
    bool hasWholeIndex() const;
    std::uint64_t fileSize() const { return file_.size(); }
    // How far into the file the demuxer has read, in bytes.
    std::int64_t bytesRead() const { return avio_tell(format_->pb); }

    // What the file's index says about a key frame at a timestamp in (after, upTo].
    KeyFrameInRange keyFrameBetween(std::int64_t after, std::int64_t upTo) const;

    const VideoStreamInfo& stream() const { return info_; }
    const std::string& path() const { return file_.path(); }
    // The demuxer, for a caller that copies the other streams or reads the container's tags.
    AVFormatContext* formatContext() const { return format_; }
    const AVCodecContext* decoder() const { return decoder_.get(); }
    // Why the demuxer stopped before the file's end (a cut-off or damaged file); empty when it
    // reached the end. Read::End follows either way, once the decoder gave what it held. A file read
    // from its start with options.otherStreams whose packets stop well short of the length its
    // header states counts as cut off too.
    const std::string& readFailure() const { return readFailure_; }

private:
    bool openDemuxer(std::string& error);
    bool chooseStream(const VideoReaderOptions& options, std::string& error);
    bool openDecoder(const VideoReaderOptions& options, std::string& error);
    Read decodeNext(VideoFrame& frame, std::string& error, const PacketHandler& otherPackets);
    Read decodeFailure(int status, std::string& error);
    Read finishFrame(VideoFrame& frame, std::string& error);
    std::string failure(const std::string& cause) const;
    void noteEnd(const AVPacket& packet);
    std::string missingEnd() const;

    InputFile file_;
    AVIOContext* io_ = nullptr;
    AVFormatContext* format_ = nullptr;
    CodecContextPtr decoder_;
    PacketPtr packet_;
    VideoStreamInfo info_;
    bool draining_ = false;             // the demuxer ended; the decoder gives what it holds
    int packetsToKey_ = 0;              // > 0: video packets left to drop while waiting for a key frame
    std::int64_t framesFromStart_ = 0;  // frames given since the start; -1 after a seek
    std::string readFailure_;
    bool readsEveryStream_ = false;
    std::int64_t lastEnd_ = AV_NOPTS_VALUE;  // the latest end of a packet read, in AV_TIME_BASE
    FrameSizeGuard sizeGuard_;
};
