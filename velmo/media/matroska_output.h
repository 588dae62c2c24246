#pragma once

// The Matroska file velmo fix writes: the moved video from its encoder, and every other stream of
// the input copied packet for packet with its timestamps, in the input's order, with the input's
// chapters, its container's and streams' tags and dispositions. Written through an OutputFile's
// descriptor, which Matroska seeks back in to finish its header (duration, index).

#include <cstdint>
#include <string>
#include <vector>

#include "velmo/image/output_file.h"
#include "velmo/media/ffmpeg_support.h"

// Which of the input's streams are written, and what is said about the rest.
struct StreamPlan {
    std::vector<int> outputOf;       // for each input stream, its output stream; -1: not written
    std::string timecode;            // from a timecode track, for the video's tag where it has none
    std::vector<std::string> notes;  // one line each, for the user
};

// Plans the streams: the video and everything Matroska holds as it is. A QuickTime timecode track
// (Matroska has none) is not written: its timecode is the video's `timecode` tag, and a note says
// so. False with a one-line `error` naming a stream Matroska cannot hold (other data tracks,
// subtitles of a kind it does not know): velmo fix writes every stream or nothing.
bool planStreams(const AVFormatContext& input, int videoIndex, StreamPlan& plan, std::string& error);

class MatroskaOutput {
public:
    MatroskaOutput() = default;
    ~MatroskaOutput();
    MatroskaOutput(const MatroskaOutput&) = delete;
    MatroskaOutput& operator=(const MatroskaOutput&) = delete;

    // Sets up the container in `file` (nullptr: nowhere, to try whether Matroska takes the streams)
    // with the planned streams, the chapters and the tags. Nothing is written yet.
    bool open(OutputFile* file, const AVFormatContext& input, int videoIndex, const StreamPlan& plan,
              std::string& error);

    // Writes the header once the video's encoder is open (its parameters and set-up data), then the
    // packets that came before.
    bool start(const AVCodecContext& encoder, AVRational sampleAspectRatio, std::string& error);

    // A packet of the input's stream `inputIndex` (the video's for encoded packets), its timestamps
    // in `timeBase`; taken over (the packet is left blank). Kept until start() when it comes before.
    // A stream the plan does not write drops its packets.
    bool write(AVPacket& packet, int inputIndex, AVRational timeBase, std::string& error);

    // Writes what the interleaving holds, the index and the duration. The file is then whole.
    bool finish(std::string& error);

    // How much later than in the input every stream starts, in AV_TIME_BASE units: the input's
    // earliest timestamp when it is negative (AAC's priming, say), which Matroska cannot hold; else 0.
    std::int64_t startDelay() const { return earliest_ != AV_NOPTS_VALUE && earliest_ < 0 ? -earliest_ : 0; }

private:
    struct Pending {
        PacketPtr packet;
        int inputIndex;
        AVRational timeBase;
    };
    bool writeNow(AVPacket& packet, int inputIndex, AVRational timeBase, std::string& error);
    std::string failure(const std::string& cause) const;
    std::string writeFailure(int status) const;

    static int writeToFile(void* opaque, std::uint8_t* data, int size);
    static std::int64_t seekInFile(void* opaque, std::int64_t offset, int whence);

    OutputFile* file_ = nullptr;
    std::string writeError_;  // why the file's last write failed
    AVFormatContext* format_ = nullptr;
    AVIOContext* io_ = nullptr;
    std::vector<int> outputOf_;
    int videoOutput_ = -1;
    bool started_ = false;
    std::vector<Pending> pending_;
    std::int64_t earliest_ = AV_NOPTS_VALUE;  // the earliest presentation time written, AV_TIME_BASE
};
