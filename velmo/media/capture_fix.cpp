#include "velmo/media/capture_fix.h"

#include "core/script_line.h"
#include "velmo/media/frame_mover.h"
#include "velmo/media/pixel_format.h"

namespace {

bool isInterlacedOrder(AVFieldOrder order) {
    return order == AV_FIELD_TT || order == AV_FIELD_BB || order == AV_FIELD_TB || order == AV_FIELD_BT;
}

// The stream's facts for the encoder; where the stream does not say, the first frame's.
EncodedVideo encodedVideoOf(const VideoStreamInfo& stream, const VideoFrame* first, AVPixelFormat moved) {
    EncodedVideo video;
    video.width = first != nullptr ? first->width() : stream.width;
    video.height = first != nullptr ? first->height() : stream.height;
    video.format = moved;
    video.timeBase = stream.timeBase;
    video.frameRate = stream.frameRate;
    video.sampleAspectRatio = stream.sampleAspectRatio.num > 0 || first == nullptr ? stream.sampleAspectRatio
                                                                                   : first->sampleAspectRatio;
    video.fieldOrder = stream.fieldOrder;
    // A stream that does not say its field order takes its frames' interlacing; progressive frames
    // leave it unsaid, as the input did.
    if (!isInterlacedOrder(video.fieldOrder) && video.fieldOrder != AV_FIELD_PROGRESSIVE &&
        first != nullptr && first->interlaced)
        video.fieldOrder = first->topFieldFirst ? AV_FIELD_TT : AV_FIELD_BB;
    video.colour = first != nullptr ? first->colour : stream.colour;
    return video;
}

// How long a frame lasts, in the stream's time base: as its packet said, else one frame at the
// stream's rate; 0 when neither is known.
std::int64_t frameDuration(const VideoFrame& frame, const VideoStreamInfo& stream) {
    if (frame.picture->pkt_duration > 0) return frame.picture->pkt_duration;
    if (stream.frameRate.num <= 0) return 0;
    return av_rescale_q(1, av_inv_q(stream.frameRate), stream.timeBase);
}

double partDone(const VideoStreamInfo& stream, std::int64_t frames, std::int64_t timestamp) {
    if (stream.frameCount > 0) return static_cast<double>(frames) / static_cast<double>(stream.frameCount);
    if (stream.duration > 0 && timestamp != AV_NOPTS_VALUE)
        return static_cast<double>(timestamp - stream.start) / static_cast<double>(stream.duration);
    return -1;
}

}  // namespace

bool planFix(const VideoReader& reader, const EncoderChoice& encoder, FixPlan& plan, std::string& error) {
    const VideoStreamInfo& stream = reader.stream();
    const std::string prefix = "cannot fix " + quotedName(reader.path()) + ": ";
    plan.sourceFormat = stream.pixelFormat;
    if (!writtenFormatFor(stream.pixelFormat, plan.movedFormat, plan.formatChange, error) ||
        !encoderTakesFormat(encoder, plan.movedFormat, error) ||
        !planStreams(*reader.formatContext(), stream.index, plan.streams, error))
        return error = prefix + error, false;
    // The encoder and the container set up on the stream's facts, the header written nowhere: what
    // they refuse is refused now, not after the frames are decoded.
    VideoEncoder trialEncoder;
    MatroskaOutput trial;
    const EncodedVideo video = encodedVideoOf(stream, nullptr, plan.movedFormat);
    if (!trialEncoder.open(encoder, video, true, error) ||
        !trial.open(nullptr, *reader.formatContext(), stream.index, plan.streams, error) ||
        !trial.start(trialEncoder.context(), video.sampleAspectRatio, error))
        return error = prefix + error, false;
    return true;
}

bool writeFixedCapture(VideoReader& reader, const Zone& zone, const EncoderChoice& encoderChoice,
                       const FixPlan& plan, OutputFile& output, const FixProgress& progress,
                       FixSummary& summary, std::string& error) {
    const VideoStreamInfo& stream = reader.stream();
    const AVFormatContext& input = *reader.formatContext();
    MatroskaOutput container;
    if (!container.open(&output, input, stream.index, plan.streams, error)) return false;

    // Every other stream's packets as they are read, in file order; the container interleaves them
    // with the video's by their timestamps.
    PacketPtr copy(av_packet_alloc());
    if (!copy) return error = kNotEnoughMemory, false;
    const PacketHandler copyPacket = [&](AVPacket& packet, std::string& problem) {
        const int status = av_packet_ref(copy.get(), &packet);
        if (status < 0) return problem = ffmpegErrorText(status), false;
        return container.write(*copy, packet.stream_index, input.streams[packet.stream_index]->time_base,
                               problem);
    };

    FrameMover mover;
    VideoEncoder encoder;
    bool writeFailed = false;  // the output's failure, which names its file, or the encoder's
    const EncodedPacketHandler writeVideo = [&](AVPacket& packet, std::string& problem) {
        writeFailed = !container.write(packet, stream.index, encoder.context().time_base, problem);
        return !writeFailed;
    };
    // The mover's and the encoder's messages say what failed, not in which file.
    const auto refuse = [&] {
        error = "cannot fix " + quotedName(reader.path()) + ": " + error;
        return false;
    };
    VideoFrame frame;
    FramePtr moved;
    summary = FixSummary{};
    for (;;) {
        const VideoReader::Read read = reader.nextFrame(frame, error, copyPacket);
        if (read == VideoReader::Read::End) break;
        if (read != VideoReader::Read::Frame) return false;
        if (summary.frames == 0) {
            // The first frame says what the stream's frames are; the container's header follows the
            // encoder's set-up.
            if (!mover.prepare(zone, frame.format(), error)) return refuse();
            const EncodedVideo video = encodedVideoOf(stream, &frame, mover.movedFormat());
            if (!encoder.open(encoderChoice, video, true, error)) return refuse();
            if (!container.start(encoder.context(), video.sampleAspectRatio, error)) return false;
        }
        if (frame.timestamp == AV_NOPTS_VALUE)
            return error = "frame " + std::to_string(summary.frames) + " has no timestamp", refuse();
        VerticalShift shift{};
        if (!mover.move(frame, moved, shift, error)) return refuse();
        if (shift.exact != shift.used && !summary.rounded) summary.rounded = shift;
        if (!encoder.encode(moved.get(), frameDuration(frame, stream), writeVideo, error))
            return writeFailed ? false : refuse();
        moved.reset();
        ++summary.frames;
        if (progress) progress(summary.frames, partDone(stream, summary.frames, frame.timestamp));
    }
    if (!reader.readFailure().empty())
        return error = "cannot read " + quotedName(reader.path()) + ": it ends early or is damaged (" +
                       reader.readFailure() + ")",
               false;
    if (summary.frames == 0)
        return error = "cannot read " + quotedName(reader.path()) + ": its video has no frame", false;
    if (!encoder.encode(nullptr, 0, writeVideo, error)) return writeFailed ? false : refuse();
    if (!container.finish(error)) return false;
    summary.startDelay = container.startDelay();
    return true;
}
