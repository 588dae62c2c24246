#include "velmo/media/matroska_output.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "core/script_line.h"

extern "C" {
#include <libavutil/avstring.h>
}

namespace {

constexpr int kIoBufferBytes = 1 << 18;

bool isTimecodeTrack(const AVStream& stream) {
    return stream.codecpar->codec_type == AVMEDIA_TYPE_DATA &&
           (stream.codecpar->codec_tag == MKTAG('t', 'm', 'c', 'd') ||
            av_dict_get(stream.metadata, "timecode", nullptr, 0) != nullptr);
}

// "audio, pcm_s24le"; a stream of no codec FFmpeg knows by its tag ("data, tmcd"), or its kind alone.
std::string streamKind(const AVStream& stream) {
    const AVCodecParameters& parameters = *stream.codecpar;
    const char* type = av_get_media_type_string(parameters.codec_type);
    std::string kind = type != nullptr ? type : "unknown";
    char tag[AV_FOURCC_MAX_STRING_SIZE] = {};
    if (parameters.codec_id != AV_CODEC_ID_NONE)
        kind.append(", ").append(avcodec_get_name(parameters.codec_id));
    else if (parameters.codec_tag != 0)
        kind.append(", ").append(av_fourcc_make_string(tag, parameters.codec_tag));
    return kind;
}

// Tags that describe the input's encoding of the video, which the new encoding makes wrong: the
// encoder's name and the statistics mkvmerge writes (bit rate, bytes).
bool describesOldEncoding(std::string_view key) {
    const auto startsWith = [key](std::string_view prefix) {
        return key.size() >= prefix.size() && av_strncasecmp(key.data(), prefix.data(), prefix.size()) == 0;
    };
    return startsWith("encoder") || startsWith("BPS") || startsWith("NUMBER_OF_BYTES") ||
           startsWith("_STATISTICS_");
}

bool copyChapters(const AVFormatContext& input, AVFormatContext& output) {
    if (input.nb_chapters == 0) return true;
    auto** chapters =
        static_cast<AVChapter**>(av_calloc(input.nb_chapters, sizeof(AVChapter*)));  // freed with `output`
    if (chapters == nullptr) return false;
    output.chapters = chapters;
    for (unsigned k = 0; k < input.nb_chapters; ++k) {
        const AVChapter& from = *input.chapters[k];
        auto* to = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
        if (to == nullptr) return false;
        output.chapters[output.nb_chapters++] = to;
        to->id = from.id;
        to->time_base = from.time_base;
        to->start = from.start;
        to->end = from.end;
        if (av_dict_copy(&to->metadata, from.metadata, 0) < 0) return false;
    }
    return true;
}

}  // namespace

bool planStreams(const AVFormatContext& input, int videoIndex, StreamPlan& plan, std::string& error) {
    plan = StreamPlan{};
    const AVOutputFormat* matroska = av_guess_format("matroska", nullptr, nullptr);
    int written = 0;
    for (unsigned k = 0; k < input.nb_streams; ++k) {
        const AVStream& stream = *input.streams[k];
        const AVMediaType type = stream.codecpar->codec_type;
        const std::string which = "stream " + std::to_string(k) + " (" + streamKind(stream) + ")";
        // Matroska holds any video and audio (the ones it has no name for by their AVI and WAVE
        // tags); whether it takes a particular one shows when its header is written.
        const bool heldAsItIs =
            static_cast<int>(k) == videoIndex || type == AVMEDIA_TYPE_VIDEO || type == AVMEDIA_TYPE_AUDIO ||
            type == AVMEDIA_TYPE_ATTACHMENT ||
            (type == AVMEDIA_TYPE_SUBTITLE &&
             avformat_query_codec(matroska, stream.codecpar->codec_id, FF_COMPLIANCE_NORMAL) == 1);
        int output = written;
        if (!heldAsItIs && !isTimecodeTrack(stream))
            return error = which + " cannot go into Matroska as it is; velmo fix writes every stream or none",
                   false;
        if (!heldAsItIs) {
            output = -1;
            const AVDictionaryEntry* timecode = av_dict_get(stream.metadata, "timecode", nullptr, 0);
            if (timecode != nullptr && plan.timecode.empty()) plan.timecode = timecode->value;
            std::string note = which + " is a timecode track, which Matroska does not have: the timecode ";
            if (timecode != nullptr) note.append(timecode->value).append(" ");
            plan.notes.push_back(note + "is kept as the video's TIMECODE tag");
        }
        plan.outputOf.push_back(output);
        if (output >= 0) ++written;
    }
    return true;
}

MatroskaOutput::~MatroskaOutput() {
    avformat_free_context(format_);
    if (io_ != nullptr) av_freep(&io_->buffer);
    avio_context_free(&io_);
}

std::string MatroskaOutput::failure(const std::string& cause) const {
    return "cannot write " + (file_ != nullptr ? quotedName(file_->path()) : std::string("Matroska")) + ": " +
           cause;
}

std::string MatroskaOutput::writeFailure(int status) const {
    if (!writeError_.empty()) return writeError_;
    const std::string detail = lastFfmpegMessage();
    return failure(detail.empty() ? ffmpegErrorText(status) : detail);
}

int MatroskaOutput::writeToFile(void* opaque, std::uint8_t* data, int size) {
    auto& self = *static_cast<MatroskaOutput*>(opaque);
    if (self.file_ == nullptr) return size;
    std::string error;
    if (self.file_->write(data, static_cast<std::size_t>(size), error)) return size;
    const int number = errno != 0 ? errno : EIO;
    if (self.writeError_.empty()) self.writeError_ = error;
    return AVERROR(number);
}

std::int64_t MatroskaOutput::seekInFile(void* opaque, std::int64_t offset, int whence) {
    const int descriptor = static_cast<MatroskaOutput*>(opaque)->file_->descriptor();
    if (whence & AVSEEK_SIZE) {
        struct stat status {};
        return fstat(descriptor, &status) == 0 ? static_cast<std::int64_t>(status.st_size) : AVERROR(errno);
    }
    const off_t position = lseek(descriptor, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
    return position < 0 ? AVERROR(errno) : position;
}

bool MatroskaOutput::open(OutputFile* file, const AVFormatContext& input, int videoIndex,
                          const StreamPlan& plan, std::string& error) {
    silenceFfmpegLog();
    file_ = file;
    outputOf_ = plan.outputOf;
    if (avformat_alloc_output_context2(&format_, nullptr, "matroska", nullptr) < 0 || format_ == nullptr)
        return error = failure(kNotEnoughMemory), false;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferBytes));
    if (buffer != nullptr)
        io_ = avio_alloc_context(buffer, kIoBufferBytes, 1, this, nullptr, writeToFile,
                                 file != nullptr ? seekInFile : nullptr);
    if (io_ == nullptr) {
        av_free(buffer);
        return error = failure(kNotEnoughMemory), false;
    }
    format_->pb = io_;

    bool copied = av_dict_copy(&format_->metadata, input.metadata, 0) >= 0 && copyChapters(input, *format_);
    for (unsigned k = 0; copied && k < input.nb_streams; ++k) {
        if (plan.outputOf[k] < 0) continue;
        const AVStream& from = *input.streams[k];
        AVStream* to = avformat_new_stream(format_, nullptr);
        if (to == nullptr) return error = failure(kNotEnoughMemory), false;
        to->time_base = from.time_base;
        to->disposition = from.disposition;
        to->avg_frame_rate = from.avg_frame_rate;
        to->r_frame_rate = from.r_frame_rate;
        to->sample_aspect_ratio = from.sample_aspect_ratio;
        copied = av_dict_copy(&to->metadata, from.metadata, 0) >= 0;
        if (static_cast<int>(k) == videoIndex) {
            videoOutput_ = to->index;
            const AVDictionaryEntry* entry = nullptr;
            std::vector<std::string> stale;
            while ((entry = av_dict_get(to->metadata, "", entry, AV_DICT_IGNORE_SUFFIX)) != nullptr)
                if (describesOldEncoding(entry->key)) stale.emplace_back(entry->key);
            for (const std::string& key : stale)
                av_dict_set(&to->metadata, key.c_str(), nullptr, 0);
            if (!plan.timecode.empty() && av_dict_get(to->metadata, "timecode", nullptr, 0) == nullptr)
                copied = copied && av_dict_set(&to->metadata, "timecode", plan.timecode.c_str(), 0) >= 0;
        } else {
            copied = copied && avcodec_parameters_copy(to->codecpar, from.codecpar) >= 0;
            // Matroska names codecs itself; a tag from another container would be refused.
            to->codecpar->codec_tag = 0;
        }
    }
    if (!copied) return error = failure(kNotEnoughMemory), false;
    return true;
}

bool MatroskaOutput::start(const AVCodecContext& encoder, AVRational sampleAspectRatio, std::string& error) {
    AVStream& video = *format_->streams[videoOutput_];
    if (avcodec_parameters_from_context(video.codecpar, &encoder) < 0)
        return error = failure(kNotEnoughMemory), false;
    video.codecpar->codec_tag = 0;
    video.codecpar->sample_aspect_ratio = sampleAspectRatio;
    video.sample_aspect_ratio = sampleAspectRatio;
    video.time_base = encoder.time_base;
    const std::string encoderName = std::string(LIBAVCODEC_IDENT " ") + encoder.codec->name;
    if (av_dict_set(&video.metadata, "encoder", encoderName.c_str(), 0) < 0)
        return error = failure(kNotEnoughMemory), false;
    // Each stream's default and forced flags as the input has them, not as the muxer would infer.
    AVDictionary* options = nullptr;
    av_dict_set(&options, "default_mode", "passthrough", 0);
    // Timestamps pass through as they are; only where one is negative, which Matroska cannot hold,
    // all streams move on together (by their presentation times, as Matroska keeps them).
    format_->avoid_negative_ts = AVFMT_AVOID_NEG_TS_MAKE_NON_NEGATIVE;
    clearFfmpegMessage();
    const int status = avformat_write_header(format_, &options);
    av_dict_free(&options);
    if (status < 0) return error = writeFailure(status), false;
    started_ = true;
    std::vector<Pending> pending = std::move(pending_);
    pending_.clear();
    for (Pending& waiting : pending)
        if (!writeNow(*waiting.packet, waiting.inputIndex, waiting.timeBase, error)) return false;
    return true;
}

bool MatroskaOutput::write(AVPacket& packet, int inputIndex, AVRational timeBase, std::string& error) {
    if (inputIndex < 0 || inputIndex >= static_cast<int>(outputOf_.size()) || outputOf_[inputIndex] < 0) {
        av_packet_unref(&packet);
        return true;
    }
    if (started_) return writeNow(packet, inputIndex, timeBase, error);
    PacketPtr kept(av_packet_alloc());
    if (!kept) return error = failure(kNotEnoughMemory), false;
    av_packet_move_ref(kept.get(), &packet);
    pending_.push_back(Pending{std::move(kept), inputIndex, timeBase});
    return true;
}

bool MatroskaOutput::writeNow(AVPacket& packet, int inputIndex, AVRational timeBase, std::string& error) {
    const int output = outputOf_[inputIndex];
    packet.stream_index = output;
    packet.pos = -1;
    if (packet.pts != AV_NOPTS_VALUE) {
        const std::int64_t time = av_rescale_q(packet.pts, timeBase, kMicrosecondTimeBase);
        if (earliest_ == AV_NOPTS_VALUE || time < earliest_) earliest_ = time;
    }
    av_packet_rescale_ts(&packet, timeBase, format_->streams[output]->time_base);
    clearFfmpegMessage();
    const int status = av_interleaved_write_frame(format_, &packet);
    if (status < 0) return error = writeFailure(status), false;
    return true;
}

bool MatroskaOutput::finish(std::string& error) {
    if (!started_) return error = failure("there was no video frame to write"), false;
    clearFfmpegMessage();
    int status = av_interleaved_write_frame(format_, nullptr);
    if (status >= 0) status = av_write_trailer(format_);
    if (status >= 0) {
        avio_flush(io_);
        status = io_->error;
    }
    if (status < 0) return error = writeFailure(status), false;
    return true;
}
