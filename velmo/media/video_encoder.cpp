#include "velmo/media/video_encoder.h"

extern "C" {
#include <libavutil/opt.h>
}

namespace {

struct FreeDictionary {
    void operator()(AVDictionary* dictionary) const { av_dict_free(&dictionary); }
};

const AVCodec* videoEncoderNamed(const std::string& name, std::string& error) {
    const AVCodec* codec = avcodec_find_encoder_by_name(name.c_str());
    if (codec == nullptr) return error = "FFmpeg has no encoder named \"" + name + "\"", nullptr;
    if (codec->type != AVMEDIA_TYPE_VIDEO) return error = "\"" + name + "\" is not a video encoder", nullptr;
    return codec;
}

std::string formatNames(const AVPixelFormat* formats) {
    std::string names;
    for (const AVPixelFormat* format = formats; *format != AV_PIX_FMT_NONE; ++format) {
        const char* name = av_get_pix_fmt_name(*format);
        if (name == nullptr) continue;
        names += names.empty() ? "" : ", ";
        names += name;
    }
    return names;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> EncoderChoice::effectiveOptions() const {
    std::vector<std::pair<std::string, std::string>> effective;
    // Version 3 keeps each frame's settings with it and checks every slice by its CRC: a damaged
    // slice of an archived file is found, and the rest of the frame still decodes.
    if (name == "ffv1") effective = {{"level", "3"}, {"slicecrc", "1"}};
    effective.insert(effective.end(), options.begin(), options.end());
    return effective;
}

bool checkEncoderChoice(const EncoderChoice& choice, std::string& error) {
    silenceFfmpegLog();
    const AVCodec* codec = videoEncoderNamed(choice.name, error);
    if (codec == nullptr) return false;
    CodecContextPtr context(avcodec_alloc_context3(codec));
    if (!context) return error = kNotEnoughMemory, false;
    for (const auto& [key, value] : choice.effectiveOptions()) {
        const int status = av_opt_set(context.get(), key.c_str(), value.c_str(), AV_OPT_SEARCH_CHILDREN);
        if (status == AVERROR_OPTION_NOT_FOUND)
            return error = "the encoder " + choice.name + " has no option \"" + key + "\"", false;
        if (status < 0)
            return error = "the encoder " + choice.name + " does not take " + key + "=" + value + " (" +
                           ffmpegErrorText(status) + ")",
                   false;
    }
    return true;
}

bool encoderTakesFormat(const EncoderChoice& choice, AVPixelFormat format, std::string& why) {
    const AVCodec* codec = videoEncoderNamed(choice.name, why);
    if (codec == nullptr) return false;
    if (codec->pix_fmts == nullptr) return true;  // it says nothing: it takes any
    for (const AVPixelFormat* taken = codec->pix_fmts; *taken != AV_PIX_FMT_NONE; ++taken)
        if (*taken == format) return true;
    const char* name = av_get_pix_fmt_name(format);
    why = "the encoder " + choice.name + " cannot take pixel format " + (name != nullptr ? name : "unknown") +
          " without converting its samples (it takes " + formatNames(codec->pix_fmts) + ")";
    return false;
}

std::string VideoEncoder::failure(const std::string& cause) const {
    return "cannot encode the video with " + std::string(context_ ? context_->codec->name : "the encoder") +
           ": " + cause;
}

bool VideoEncoder::open(const EncoderChoice& choice, const EncodedVideo& video, bool globalHeader,
                        std::string& error) {
    silenceFfmpegLog();
    const AVCodec* codec = videoEncoderNamed(choice.name, error);
    if (codec == nullptr) return false;
    if (!encoderTakesFormat(choice, video.format, error)) return false;
    context_.reset(avcodec_alloc_context3(codec));
    packet_.reset(av_packet_alloc());
    if (!context_ || !packet_) return error = failure(kNotEnoughMemory), false;
    AVCodecContext& context = *context_;
    context.width = video.width;
    context.height = video.height;
    context.pix_fmt = video.format;
    // The stream's own time base: every frame's timestamp passes through as it is.
    context.time_base = video.timeBase;
    context.framerate = video.frameRate;
    context.sample_aspect_ratio = video.sampleAspectRatio;
    context.field_order = video.fieldOrder;
    context.color_range = video.colour.range;
    context.color_primaries = video.colour.primaries;
    context.color_trc = video.colour.transfer;
    context.colorspace = video.colour.matrix;
    context.chroma_sample_location = video.colour.chromaLocation;
    // As many threads as cores, as the ffmpeg program gives an encoder (FFV1 encodes slices in
    // parallel); libavcodec's own default is one.
    context.thread_count = 0;
    if (globalHeader) context.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

    AVDictionary* given = nullptr;
    for (const auto& [key, value] : choice.effectiveOptions())
        av_dict_set(&given, key.c_str(), value.c_str(), 0);
    std::unique_ptr<AVDictionary, FreeDictionary> options(given);
    clearFfmpegMessage();
    AVDictionary* left = options.release();
    const int status = avcodec_open2(&context, codec, &left);
    options.reset(left);
    if (status < 0) {
        const std::string detail = lastFfmpegMessage();
        return error = failure(detail.empty() ? ffmpegErrorText(status) : detail), false;
    }
    if (const AVDictionaryEntry* unused = av_dict_get(options.get(), "", nullptr, AV_DICT_IGNORE_SUFFIX))
        return error = failure("it has no option \"" + std::string(unused->key) + "\""), false;
    return true;
}

bool VideoEncoder::encode(const AVFrame* frame, std::int64_t duration, const EncodedPacketHandler& take,
                          std::string& error) {
    if (frame != nullptr && duration > 0) durations_[frame->pts] = duration;
    int status = avcodec_send_frame(context_.get(), frame);
    if (status < 0 && !(frame == nullptr && status == AVERROR_EOF)) {
        const std::string detail = lastFfmpegMessage();
        clearFfmpegMessage();
        return error = failure(detail.empty() ? ffmpegErrorText(status) : detail), false;
    }
    for (;;) {
        status = avcodec_receive_packet(context_.get(), packet_.get());
        if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return true;
        if (status < 0) return error = failure(ffmpegErrorText(status)), false;
        if (const auto known = durations_.find(packet_->pts); known != durations_.end()) {
            if (packet_->duration <= 0) packet_->duration = known->second;
            durations_.erase(known);
        }
        const bool taken = take(*packet_, error);
        av_packet_unref(packet_.get());
        if (!taken) return false;
    }
}
