#include "velmo/media/video_reader.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <new>
#include <vector>

#include "core/script_line.h"
#include "velmo/image/size_limit.h"

namespace {

constexpr int kIoBufferBytes = 1 << 16;
constexpr std::int64_t kLargestFramePixels = std::int64_t{kLargestPictureSide} * kLargestPictureSide;

int readFromFile(void* opaque, std::uint8_t* buffer, int size) {
    const int descriptor = static_cast<const InputFile*>(opaque)->descriptor();
    for (;;) {
        const ssize_t got = read(descriptor, buffer, static_cast<std::size_t>(size));
        if (got > 0) return static_cast<int>(got);
        if (got == 0) return AVERROR_EOF;
        if (errno != EINTR) return AVERROR(errno);
    }
}

std::int64_t seekInFile(void* opaque, std::int64_t offset, int whence) {
    const auto* file = static_cast<const InputFile*>(opaque);
    if (whence & AVSEEK_SIZE) return static_cast<std::int64_t>(file->size());
    const off_t position = lseek(file->descriptor(), static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
    return position < 0 ? AVERROR(errno) : position;
}

// A demuxer may ask to open other files or addresses (a playlist's segments, a movie's reference
// to another file): velmo reads the one file it was given and checked.
int refuseToOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) {
    return AVERROR(EPERM);
}

bool isFieldOrderInterlaced(AVFieldOrder order) {
    return order == AV_FIELD_TT || order == AV_FIELD_BB || order == AV_FIELD_TB || order == AV_FIELD_BT;
}

bool isTopFieldFirst(AVFieldOrder order) {
    return order == AV_FIELD_TT || order == AV_FIELD_TB;
}

std::string sizeText(std::int64_t w, std::int64_t h) {
    return std::to_string(w) + " x " + std::to_string(h);
}

std::string tooLarge(std::int64_t w, std::int64_t h) {
    return tooLargeText("the video", "frames", w, h);
}

ColourTags streamColour(const AVCodecParameters& parameters) {
    return ColourTags{parameters.color_range, parameters.color_primaries, parameters.color_trc,
                      parameters.color_space, parameters.chroma_location};
}

template <typename Tag>
Tag orElse(Tag tag, Tag unspecified, Tag fallback) {
    return tag == unspecified ? fallback : tag;
}

ColourTags frameColour(const AVFrame& frame, const ColourTags& stream) {
    return ColourTags{orElse(frame.color_range, AVCOL_RANGE_UNSPECIFIED, stream.range),
                      orElse(frame.color_primaries, AVCOL_PRI_UNSPECIFIED, stream.primaries),
                      orElse(frame.color_trc, AVCOL_TRC_UNSPECIFIED, stream.transfer),
                      orElse(frame.colorspace, AVCOL_SPC_UNSPECIFIED, stream.matrix),
                      orElse(frame.chroma_location, AVCHROMA_LOC_UNSPECIFIED, stream.chromaLocation)};
}

// Demuxers that read the file's whole index of key frames before the first seek: Matroska's cues,
// an MP4 or QuickTime sample table, an AVI index.
bool readsWholeIndex(const AVInputFormat& demuxer) {
    const std::string name = demuxer.name;
    return name.rfind("matroska", 0) == 0 || name.rfind("mov,", 0) == 0 || name == "avi";
}

// Stream formats whose demuxer finds the next packet from any byte and whose packets carry their
// own timestamps: MPEG transport and program streams (sync bytes, pack headers). Raw video streams
// find their way too, but their frames have no timestamps to tell one from another.
bool resyncsFromAnyByte(const AVInputFormat& demuxer) {
    const std::string name = demuxer.name;
    return name == "mpegts" || name == "mpeg";
}

// A file read whole whose packets stop more than this short of the length its header states was cut
// off (a copy that did not finish, a capture that ran out of disk). Less is left to the file's own
// rounding: a last packet without a duration, an audio track a little longer than the rest.
constexpr std::int64_t kLeastMissingEnd = AV_TIME_BASE / 2;

// After a seek to a byte, video packets dropped while waiting for a key frame before the decoder
// is given them anyway (a stream that never marks its key frames).
constexpr int kMostPacketsToKeyFrame = 1000;

// The video streams a user would count: cover art and other attached pictures are not video.
bool isVideo(const AVStream& stream) {
    return stream.codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
           (stream.disposition & AV_DISPOSITION_ATTACHED_PIC) == 0;
}

}  // namespace

VideoReader::VideoReader() = default;

VideoReader::~VideoReader() {
    decoder_.reset();
    avformat_close_input(&format_);
    if (io_ != nullptr) av_freep(&io_->buffer);
    avio_context_free(&io_);
}

std::string VideoReader::failure(const std::string& cause) const {
    return "cannot read " + quotedName(file_.path()) + ": " + cause;
}

bool VideoReader::open(const std::string& path, const VideoReaderOptions& options, std::string& error) {
    silenceFfmpegLog();
    clearFfmpegMessage();
    try {
        if (!file_.open(path, error)) return false;
        if (file_.size() == 0) return error = failure("the file is empty"), false;
        packet_.reset(av_packet_alloc());
        if (!packet_) return error = failure(kNotEnoughMemory), false;
        return openDemuxer(error) && chooseStream(options, error) && openDecoder(options, error);
    } catch (const std::bad_alloc&) {
        error = "cannot read " + quotedName(path) + ": " + kNotEnoughMemory;
        return false;
    }
}

bool VideoReader::openDemuxer(std::string& error) {
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferBytes));
    if (buffer != nullptr)
        io_ = avio_alloc_context(buffer, kIoBufferBytes, 0, &file_, readFromFile, nullptr, seekInFile);
    if (io_ == nullptr) av_free(buffer);
    format_ = io_ != nullptr ? avformat_alloc_context() : nullptr;
    if (format_ == nullptr) return error = failure(kNotEnoughMemory), false;
    format_->pb = io_;
    format_->io_open = refuseToOpen;
    // The name is only a hint for telling formats apart; the bytes come from the open file.
    int status = avformat_open_input(&format_, file_.path().c_str(), nullptr, nullptr);
    if (status < 0) {
        error = failure(status == AVERROR(ENOMEM)
                            ? kNotEnoughMemory
                            : "not a video or picture FFmpeg reads (" + ffmpegErrorText(status) + ")");
        return false;
    }
    // Finding the streams' facts may decode a few frames: the same size limit holds there.
    std::vector<AVDictionary*> decoderOptions(format_->nb_streams, nullptr);
    for (AVDictionary*& entry : decoderOptions)
        av_dict_set_int(&entry, "max_pixels", kLargestFramePixels, 0);
    status = avformat_find_stream_info(format_, decoderOptions.data());
    for (AVDictionary*& entry : decoderOptions)
        av_dict_free(&entry);
    if (status < 0) {
        error = failure(status == AVERROR(ENOMEM)
                            ? kNotEnoughMemory
                            : "its streams cannot be read (" + ffmpegErrorText(status) + ")");
        return false;
    }
    return true;
}

bool VideoReader::chooseStream(const VideoReaderOptions& options, std::string& error) {
    const int streams = static_cast<int>(format_->nb_streams);
    if (options.stream >= 0) {
        if (options.stream >= streams)
            return error = failure("there is no stream " + std::to_string(options.stream) +
                                   " (the file has " + std::to_string(streams) +
                                   (streams == 1 ? " stream" : " streams") + ", counted from 0)"),
                   false;
        const AVStream& chosen = *format_->streams[options.stream];
        if (!isVideo(chosen)) {
            const char* kind = chosen.codecpar->codec_type == AVMEDIA_TYPE_VIDEO
                                   ? "an attached picture (cover art)"
                                   : av_get_media_type_string(chosen.codecpar->codec_type);
            return error = failure("stream " + std::to_string(options.stream) + " is " +
                                   (kind != nullptr ? kind : "of an unknown kind") + ", not video"),
                   false;
        }
        info_.index = options.stream;
    } else {
        std::string found;
        int count = 0;
        for (int k = 0; k < streams; ++k)
            if (isVideo(*format_->streams[k])) {
                found += (count++ == 0 ? "" : ", ") + std::to_string(k);
                info_.index = k;
            }
        if (count == 0) return error = failure("the file has no video stream"), false;
        if (count > 1)
            return error = failure("the file has " + std::to_string(count) + " video streams (" + found +
                                   "); choose one with --stream N"),
                   false;
    }
    for (int k = 0; k < streams; ++k)
        if (k != info_.index && !options.otherStreams) format_->streams[k]->discard = AVDISCARD_ALL;
    readsEveryStream_ = options.otherStreams;

    const AVStream& stream = *format_->streams[info_.index];
    const AVCodecParameters& parameters = *stream.codecpar;
    info_.width = parameters.width;
    info_.height = parameters.height;
    if (info_.width > kLargestPictureSide || info_.height > kLargestPictureSide)
        return error = failure(tooLarge(info_.width, info_.height)), false;
    info_.pixelFormat = static_cast<AVPixelFormat>(parameters.format);
    info_.codec = parameters.codec_id;
    info_.timeBase = stream.time_base;
    info_.frameRate = stream.avg_frame_rate.num > 0 && stream.avg_frame_rate.den > 0 ? stream.avg_frame_rate
                                                                                     : stream.r_frame_rate;
    if (info_.frameRate.num <= 0 || info_.frameRate.den <= 0) info_.frameRate = AVRational{0, 1};
    info_.sampleAspectRatio = av_guess_sample_aspect_ratio(format_, format_->streams[info_.index], nullptr);
    info_.fieldOrder = parameters.field_order;
    info_.colour = streamColour(parameters);
    info_.start = stream.start_time != AV_NOPTS_VALUE ? stream.start_time : 0;
    if (stream.duration != AV_NOPTS_VALUE && stream.duration > 0)
        info_.duration = stream.duration;
    else if (format_->duration != AV_NOPTS_VALUE && format_->duration > 0)
        info_.duration = av_rescale_q(format_->duration, AVRational{1, AV_TIME_BASE}, stream.time_base);
    if (stream.nb_frames > 0)
        info_.frameCount = stream.nb_frames;
    else if (info_.duration > 0 && info_.frameRate.num > 0)
        info_.frameCount = av_rescale_q(info_.duration, stream.time_base, av_inv_q(info_.frameRate));
    return true;
}

bool VideoReader::openDecoder(const VideoReaderOptions& options, std::string& error) {
    const AVCodecParameters& parameters = *format_->streams[info_.index]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(parameters.codec_id);
    if (codec == nullptr)
        return error = failure(std::string("FFmpeg has no decoder for its video (") +
                               avcodec_get_name(parameters.codec_id) + ")"),
               false;
    decoder_.reset(avcodec_alloc_context3(codec));
    if (!decoder_) return error = failure(kNotEnoughMemory), false;
    int status = avcodec_parameters_to_context(decoder_.get(), &parameters);
    if (status < 0) return error = failure(ffmpegErrorText(status)), false;
    decoder_->pkt_timebase = info_.timeBase;
    decoder_->thread_count = options.threads;
    decoder_->thread_type = options.frameThreads ? FF_THREAD_FRAME | FF_THREAD_SLICE : FF_THREAD_SLICE;
    sizeGuard_.attach(*decoder_);
    status = avcodec_open2(decoder_.get(), codec, nullptr);
    if (status < 0)
        return error = failure("its video cannot be decoded (" + ffmpegErrorText(status) + ")"), false;
    return true;
}

VideoReader::Read VideoReader::nextFrame(VideoFrame& frame, std::string& error,
                                         const PacketHandler& otherPackets) {
    try {
        return decodeNext(frame, error, otherPackets);
    } catch (const std::bad_alloc&) {
        av_packet_unref(packet_.get());
        error = failure(kNotEnoughMemory);
        return Read::Error;
    }
}

VideoReader::Read VideoReader::decodeNext(VideoFrame& frame, std::string& error,
                                          const PacketHandler& otherPackets) {
    if (!frame.picture) frame.picture.reset(av_frame_alloc());
    if (!frame.picture) return error = failure(kNotEnoughMemory), Read::Error;
    for (;;) {
        const int status = avcodec_receive_frame(decoder_.get(), frame.picture.get());
        if (status == 0) return finishFrame(frame, error);
        if (status == AVERROR_EOF) return Read::End;
        if (status != AVERROR(EAGAIN)) return decodeFailure(status, error);
        if (draining_) return Read::End;

        const int read = av_read_frame(format_, packet_.get());
        if (read == AVERROR(ENOMEM)) return error = failure(kNotEnoughMemory), Read::Error;
        if (read < 0) {
            if (read != AVERROR_EOF) readFailure_ = ffmpegErrorText(read);
            if (read == AVERROR_EOF && readsEveryStream_ && framesFromStart_ >= 0)
                readFailure_ = missingEnd();
            draining_ = true;
            avcodec_send_packet(decoder_.get(), nullptr);
            continue;
        }
        noteEnd(*packet_);
        if (packet_->stream_index == info_.index && packetsToKey_ > 0 &&
            (packet_->flags & AV_PKT_FLAG_KEY) == 0) {
            --packetsToKey_;
            av_packet_unref(packet_.get());
            continue;
        }
        if (packet_->stream_index == info_.index) packetsToKey_ = 0;
        if (packet_->stream_index != info_.index) {
            const bool kept = !otherPackets || otherPackets(*packet_, error);
            av_packet_unref(packet_.get());
            if (!kept) return Read::Error;
            continue;
        }
        const int sent = avcodec_send_packet(decoder_.get(), packet_.get());
        av_packet_unref(packet_.get());
        if (sent < 0 && sent != AVERROR(EAGAIN)) return decodeFailure(sent, error);
    }
}

void VideoReader::noteEnd(const AVPacket& packet) {
    const std::int64_t time = packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
    if (time == AV_NOPTS_VALUE) return;
    const std::int64_t end =
        av_rescale_q(time + std::max<std::int64_t>(packet.duration, 0),
                     format_->streams[packet.stream_index]->time_base, kMicrosecondTimeBase);
    if (lastEnd_ == AV_NOPTS_VALUE || end > lastEnd_) lastEnd_ = end;
}

std::string VideoReader::missingEnd() const {
    // Only a length the file states (a header's duration, not an estimate from its size or its last
    // timestamps) tells a cut-off file from a short one. Matroska counts its duration from time 0,
    // other formats from the first timestamp; the earlier end, from 0, is the one held against the
    // packets, so that no whole file is taken for a cut one.
    if (format_->duration_estimation_method != AVFMT_DURATION_FROM_STREAM || format_->duration <= 0 ||
        lastEnd_ == AV_NOPTS_VALUE || format_->duration - lastEnd_ <= kLeastMissingEnd)
        return {};
    char text[160];
    std::snprintf(text, sizeof text, "its packets stop at %.2f s of the %.2f s its header gives",
                  static_cast<double>(lastEnd_) / AV_TIME_BASE,
                  static_cast<double>(format_->duration) / AV_TIME_BASE);
    return text;
}

VideoReader::Read VideoReader::decodeFailure(int status, std::string& error) {
    std::int64_t width = 0, height = 0;
    if (sizeGuard_.takeRefused(width, height)) return error = failure(tooLarge(width, height)), Read::Error;
    if (status == AVERROR(ENOMEM)) return error = failure(kNotEnoughMemory), Read::Error;
    const std::string detail = lastFfmpegMessage();
    clearFfmpegMessage();
    error =
        failure("a frame could not be decoded (" + (detail.empty() ? ffmpegErrorText(status) : detail) + ")");
    return Read::Damaged;
}

VideoReader::Read VideoReader::finishFrame(VideoFrame& frame, std::string& error) {
    AVFrame& picture = *frame.picture;
    const std::int64_t number = framesFromStart_ >= 0 ? framesFromStart_++ : -1;
    if (info_.width == 0 || info_.height == 0) {
        // A stream that did not say its size takes its first frame's.
        info_.width = picture.width;
        info_.height = picture.height;
    }
    if (picture.width != info_.width || picture.height != info_.height) {
        error = failure("a frame of " + sizeText(picture.width, picture.height) + " pixels in a video of " +
                        sizeText(info_.width, info_.height));
        return Read::Damaged;
    }
    if ((picture.flags & AV_FRAME_FLAG_CORRUPT) != 0 || picture.decode_error_flags != 0) {
        error = failure("a damaged frame (the decoder concealed errors in it)");
        return Read::Damaged;
    }
    frame.timestamp = picture.best_effort_timestamp;
    // A raw stream has no timestamps: read from its start, a frame's number tells its time.
    if (frame.timestamp == AV_NOPTS_VALUE && number >= 0 && info_.frameRate.num > 0)
        frame.timestamp = info_.start + av_rescale_q(number, av_inv_q(info_.frameRate), info_.timeBase);
    frame.interlaced = picture.interlaced_frame != 0 || isFieldOrderInterlaced(info_.fieldOrder);
    frame.topFieldFirst =
        picture.interlaced_frame != 0 ? picture.top_field_first != 0 : isTopFieldFirst(info_.fieldOrder);
    frame.sampleAspectRatio =
        picture.sample_aspect_ratio.num > 0 ? picture.sample_aspect_ratio : info_.sampleAspectRatio;
    frame.colour = frameColour(picture, info_.colour);
    return Read::Frame;
}

bool VideoReader::seek(std::int64_t timestamp, std::string& error) {
    const int status = avformat_seek_file(format_, info_.index, INT64_MIN, timestamp, timestamp, 0);
    avcodec_flush_buffers(decoder_.get());
    draining_ = false;
    packetsToKey_ = 0;
    framesFromStart_ = -1;
    if (status >= 0) return true;
    error = failure("cannot seek in it (" + ffmpegErrorText(status) + ")");
    return false;
}

bool VideoReader::seekToByte(std::int64_t position, std::string& error) {
    const int status = avformat_seek_file(format_, -1, position, position, position, AVSEEK_FLAG_BYTE);
    skipToKeyFrame();
    if (status >= 0) return true;
    error = failure("cannot seek in it (" + ffmpegErrorText(status) + ")");
    return false;
}

void VideoReader::skipToKeyFrame() {
    framesFromStart_ = -1;
    avcodec_flush_buffers(decoder_.get());
    draining_ = false;
    packetsToKey_ = kMostPacketsToKeyFrame;
}

bool VideoReader::hasWholeIndex() const {
    return readsWholeIndex(*format_->iformat);
}

bool VideoReader::canSeekToBytes() const {
    return (format_->pb->seekable & AVIO_SEEKABLE_NORMAL) != 0 && resyncsFromAnyByte(*format_->iformat) &&
           (format_->iformat->flags & AVFMT_NO_BYTE_SEEK) == 0;
}

bool VideoReader::canSeek() const {
    const AVInputFormat& demuxer = *format_->iformat;
    return (format_->pb->seekable & AVIO_SEEKABLE_NORMAL) != 0 &&
           (demuxer.read_seek != nullptr || demuxer.read_seek2 != nullptr ||
            demuxer.read_timestamp != nullptr || (demuxer.flags & AVFMT_GENERIC_INDEX) != 0);
}

KeyFrameInRange VideoReader::keyFrameBetween(std::int64_t after, std::int64_t upTo) const {
    AVStream* stream = format_->streams[info_.index];
    const int entries = avformat_index_get_entries_count(stream);
    if (entries == 0) return KeyFrameInRange::Unknown;
    const AVIndexEntry* entry = avformat_index_get_entry_from_timestamp(stream, upTo, AVSEEK_FLAG_BACKWARD);
    if (entry != nullptr && entry->timestamp > after) return KeyFrameInRange::Yes;
    // Most demuxers know only the key frames they have read past or probed while seeking, with gaps
    // between; an absence counts only in an index that the file holds whole, and past the range.
    const AVIndexEntry* last = avformat_index_get_entry(stream, entries - 1);
    return readsWholeIndex(*format_->iformat) && last != nullptr && last->timestamp >= upTo
               ? KeyFrameInRange::No
               : KeyFrameInRange::Unknown;
}
