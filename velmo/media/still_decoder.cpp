#include "velmo/media/still_decoder.h"

#include <climits>
#include <cstring>

namespace {

// The decoder's words for what went wrong, else FFmpeg's name for the error code.
std::string causeOf(int status) {
    if (status == AVERROR(ENOMEM)) return kNotEnoughMemory;
    const std::string detail = lastFfmpegMessage();
    return detail.empty() ? ffmpegErrorText(status) : detail;
}

}  // namespace

bool decodeStill(std::span<const unsigned char> bytes, AVCodecID codec, FramePtr& frame, std::string& error) {
    silenceFfmpegLog();
    clearFfmpegMessage();
    if (bytes.size() > static_cast<std::size_t>(INT_MAX - AV_INPUT_BUFFER_PADDING_SIZE))
        return error = "the file is too large for a picture", false;
    const AVCodec* decoder = avcodec_find_decoder(codec);
    if (decoder == nullptr)
        return error = std::string("FFmpeg has no ") + avcodec_get_name(codec) + " decoder", false;
    const CodecContextPtr context(avcodec_alloc_context3(decoder));
    const PacketPtr packet(av_packet_alloc());
    frame.reset(av_frame_alloc());
    if (!context || !packet || !frame) return error = kNotEnoughMemory, false;
    FrameSizeGuard guard;
    guard.attach(*context);
    context->thread_count = 1;
    int status = avcodec_open2(context.get(), decoder, nullptr);
    // Decoders read a little past the end of their input: the copy carries FFmpeg's zeroed padding.
    if (status >= 0) status = av_new_packet(packet.get(), static_cast<int>(bytes.size()));
    if (status >= 0) {
        if (!bytes.empty()) std::memcpy(packet->data, bytes.data(), bytes.size());
        status = avcodec_send_packet(context.get(), packet.get());
    }
    if (status >= 0) status = avcodec_send_packet(context.get(), nullptr);
    if (status >= 0) status = avcodec_receive_frame(context.get(), frame.get());
    std::int64_t width = 0, height = 0;
    if (guard.takeRefused(width, height))
        return error = tooLargeText("the picture", "pictures", width, height), false;
    if (status == AVERROR_EOF) return error = "the decoder found no picture in it", false;
    if (status < 0) return error = causeOf(status), false;
    return true;
}
