#include "velmo/media/ffmpeg_support.h"

#include <cstdarg>
#include <cstring>
#include <mutex>

#include "velmo/image/size_limit.h"

namespace {

std::mutex messageLock;
std::string lastMessage;

// Called by the libraries, from decoder threads as well (hence the lock); nothing may throw out of it.
void keepLastError(void* object, int level, const char* format, va_list arguments) noexcept {
    if (level > AV_LOG_ERROR) return;
    char line[512];
    int printPrefix = 0;  // without "[decoder @ address]"
    av_log_format_line2(object, level, format, arguments, line, sizeof line, &printPrefix);
    std::size_t length = std::strlen(line);
    while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r'))
        --length;
    if (length == 0) return;
    for (std::size_t k = 0; k < length; ++k)
        if (line[k] == '\n' || line[k] == '\r') line[k] = ' ';
    try {
        const std::lock_guard<std::mutex> hold(messageLock);
        lastMessage.assign(line, length);
    } catch (...) {
        // Out of memory or a broken lock: the message is only a detail for a report.
    }
}

}  // namespace

void FrameSizeGuard::attach(AVCodecContext& decoder) {
    decoder.max_pixels = std::int64_t{kLargestPictureSide} * kLargestPictureSide;
    decoder.opaque = this;
    decoder.get_buffer2 = checkedBuffer;
}

bool FrameSizeGuard::takeRefused(std::int64_t& width, std::int64_t& height) {
    const std::int64_t refused = refused_.exchange(0);
    width = refused >> 32;
    height = refused & 0xFFFFFFFF;
    return refused != 0;
}

// FFmpeg calls this from its decoding threads too, so it only reads the frame and writes an atomic.
int FrameSizeGuard::checkedBuffer(AVCodecContext* decoder, AVFrame* frame, int flags) {
    if (frame->width > kLargestPictureSide || frame->height > kLargestPictureSide) {
        static_cast<FrameSizeGuard*>(decoder->opaque)
            ->refused_.store((std::int64_t{frame->width} << 32) | static_cast<std::uint32_t>(frame->height));
        return AVERROR(ERANGE);
    }
    return avcodec_default_get_buffer2(decoder, frame, flags);
}

std::string tooLargeText(const char* subject, const char* kind, std::int64_t width, std::int64_t height) {
    return std::string(subject) + " is " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels; velmo reads " + kind + " of at most " + std::to_string(kLargestPictureSide) +
           " pixels per side";
}

std::string ffmpegErrorText(int code) {
    if (code == AVERROR(ENOMEM)) return kNotEnoughMemory;
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

void silenceFfmpegLog() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(keepLastError); });
}

std::string lastFfmpegMessage() {
    const std::lock_guard<std::mutex> hold(messageLock);
    return lastMessage;
}

void clearFfmpegMessage() {
    const std::lock_guard<std::mutex> hold(messageLock);
    lastMessage.clear();
}
