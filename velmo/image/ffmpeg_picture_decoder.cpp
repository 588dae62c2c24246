#include <bit>
#include <cstdint>

#include "velmo/image/picture_decoder.h"
#include "velmo/media/frame_converter.h"
#include "velmo/media/still_decoder.h"

// FFmpeg's bgr0 bytes are B, G, R, 0: a 0x00RRGGBB word on a little-endian machine.
static_assert(std::endian::native == std::endian::little, "bgr0 pixels are read as little-endian words");

bool decodePicturePixels(std::span<const unsigned char> bytes, PictureFormat format, Picture& picture,
                         std::string& error) {
    const AVCodecID codec = format == PictureFormat::Png   ? AV_CODEC_ID_PNG
                            : format == PictureFormat::Bmp ? AV_CODEC_ID_BMP
                                                           : AV_CODEC_ID_MJPEG;
    FramePtr frame;
    if (!decodeStill(bytes, codec, frame, error)) return false;
    picture.w = frame->width;
    picture.h = frame->height;
    if (picture.w <= 0 || picture.h <= 0 || picture.w > kLargestPictureSide ||
        picture.h > kLargestPictureSide)
        return true;  // the caller refuses the size the decoder read, in its own words
    picture.pixels.resize(static_cast<std::size_t>(picture.w) * static_cast<std::size_t>(picture.h));
    std::uint8_t* planes[4] = {reinterpret_cast<std::uint8_t*>(picture.pixels.data()), nullptr, nullptr,
                               nullptr};
    const int strides[4] = {picture.w * 4, 0, 0, 0};
    FrameConverter converter;
    if (!converter.convertInto(*frame, AV_PIX_FMT_BGR0, planes, strides, error)) return false;
    for (Pixel32& pixel : picture.pixels)
        pixel &= 0x00FFFFFFu;  // bgr0's fourth byte is padding, which the scaler fills
    return true;
}
