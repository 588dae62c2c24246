#pragma once

#include <span>
#include <string>

#include "velmo/media/ffmpeg_support.h"

// Decodes one picture held whole in memory — a PNG, BMP or JPEG file's bytes — with FFmpeg's own
// decoder for it (`codec`: AV_CODEC_ID_PNG, _BMP or _MJPEG), the frame's size checked against
// kLargestPictureSide before its pixel memory is taken. On failure returns false with the cause in
// `error` (without the file's name).
bool decodeStill(std::span<const unsigned char> bytes, AVCodecID codec, FramePtr& frame, std::string& error);
