// Frames into other pixel formats: no conversion shares the pixels; RGB and grey convert exactly;
// YUV by the matrix and range the frame is tagged with (values written out from BT.601).

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "velmo/media/frame_converter.h"

namespace {

FramePtr frameOf(AVPixelFormat format, int w, int h) {
    FramePtr frame(av_frame_alloc());
    frame->format = format;
    frame->width = w;
    frame->height = h;
    EXPECT_EQ(av_frame_get_buffer(frame.get(), 0), 0);
    return frame;
}

std::uint32_t bgr0At(const AVFrame& frame, int x, int y) {
    const std::uint8_t* p = frame.data[0] + std::ptrdiff_t{y} * frame.linesize[0] + 4 * x;
    return (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
}

TEST(FrameConverter, LeavesTheFrameAsItIsWhenNoFormatIsAsked) {
    const FramePtr source = frameOf(AV_PIX_FMT_YUV422P10LE, 64, 48);
    FrameConverter converter;
    FramePtr same;
    std::string error;
    for (const AVPixelFormat format : {AV_PIX_FMT_NONE, AV_PIX_FMT_YUV422P10LE}) {
        ASSERT_TRUE(converter.convert(*source, format, same, error)) << error;
        EXPECT_EQ(same->data[0], source->data[0]) << "the same pixels, not a copy";
        EXPECT_EQ(same->format, AV_PIX_FMT_YUV422P10LE);
    }
}

TEST(FrameConverter, ConvertsRgbPaletteAndGreyExactly) {
    struct Case {
        AVPixelFormat format;
        int bytes;  // per pixel in the first plane
    };
    for (const Case c : {Case{AV_PIX_FMT_RGB24, 3}, Case{AV_PIX_FMT_BGR24, 3}, Case{AV_PIX_FMT_RGBA, 4},
                         Case{AV_PIX_FMT_GRAY8, 1}, Case{AV_PIX_FMT_PAL8, 1}}) {
        const FramePtr source = frameOf(c.format, 37, 5);
        std::srand(7);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 37 * c.bytes; ++x)
                source->data[0][y * source->linesize[0] + x] = static_cast<std::uint8_t>(std::rand());
        if (c.format == AV_PIX_FMT_PAL8)
            for (int k = 0; k < 256; ++k)
                reinterpret_cast<std::uint32_t*>(source->data[1])[k] =
                    0xFF000000u | static_cast<std::uint32_t>(std::rand() & 0xFFFFFF);
        FrameConverter converter;
        FramePtr converted;
        std::string error;
        ASSERT_TRUE(converter.convert(*source, AV_PIX_FMT_BGR0, converted, error)) << error;
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 37; ++x) {
                const std::uint8_t* p = source->data[0] + y * source->linesize[0] + c.bytes * x;
                std::uint32_t expected = 0;
                switch (c.format) {
                    case AV_PIX_FMT_RGB24:
                    case AV_PIX_FMT_RGBA:
                        expected = (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
                        break;
                    case AV_PIX_FMT_BGR24:
                        expected = (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
                        break;
                    case AV_PIX_FMT_GRAY8:
                        expected = std::uint32_t{p[0]} * 0x010101u;
                        break;
                    default:
                        expected = reinterpret_cast<const std::uint32_t*>(source->data[1])[p[0]] & 0xFFFFFFu;
                }
                ASSERT_EQ(bgr0At(*converted, x, y), expected)
                    << av_get_pix_fmt_name(c.format) << " at " << x << "," << y;
            }
    }
}

TEST(FrameConverter, ConvertsYuvByItsRangeAndMatrix) {
    struct Case {
        AVPixelFormat format;
        AVColorRange range;
        AVColorSpace matrix;
        std::uint8_t y, u, v;
        std::uint32_t rgb;  // worked out from BT.601 or BT.709 by hand
    };
    const Case cases[] = {
        {AV_PIX_FMT_YUV420P, AVCOL_RANGE_MPEG, AVCOL_SPC_UNSPECIFIED, 235, 128, 128, 0xFFFFFF},
        {AV_PIX_FMT_YUV420P, AVCOL_RANGE_MPEG, AVCOL_SPC_UNSPECIFIED, 16, 128, 128, 0x000000},
        {AV_PIX_FMT_YUV420P, AVCOL_RANGE_MPEG, AVCOL_SPC_UNSPECIFIED, 126, 128, 128, 0x808080},
        {AV_PIX_FMT_YUV420P, AVCOL_RANGE_JPEG, AVCOL_SPC_UNSPECIFIED, 200, 128, 128, 0xC8C8C8},
        {AV_PIX_FMT_YUVJ420P, AVCOL_RANGE_UNSPECIFIED, AVCOL_SPC_UNSPECIFIED, 100, 128, 128, 0x646464},
        {AV_PIX_FMT_YUV420P, AVCOL_RANGE_MPEG, AVCOL_SPC_BT470BG, 81, 90, 240, 0xFF0000},
        {AV_PIX_FMT_YUV420P, AVCOL_RANGE_MPEG, AVCOL_SPC_BT709, 63, 102, 240, 0xFF0000},
    };
    for (const Case& c : cases) {
        const FramePtr source = frameOf(c.format, 16, 16);
        source->color_range = c.range;
        source->colorspace = c.matrix;
        for (int plane = 0; plane < 3; ++plane)
            for (int row = 0; row < (plane == 0 ? 16 : 8); ++row)
                std::memset(source->data[plane] + row * source->linesize[plane],
                            plane == 0   ? c.y
                            : plane == 1 ? c.u
                                         : c.v,
                            plane == 0 ? 16 : 8);
        FrameConverter converter;
        FramePtr converted;
        std::string error;
        ASSERT_TRUE(converter.convert(*source, AV_PIX_FMT_BGR0, converted, error)) << error;
        const std::uint32_t got = bgr0At(*converted, 8, 8);
        for (int shift : {16, 8, 0})
            EXPECT_NEAR(static_cast<int>((got >> shift) & 0xFF), static_cast<int>((c.rgb >> shift) & 0xFF), 2)
                << "Y " << int{c.y} << " U " << int{c.u} << " V " << int{c.v} << ": " << std::hex << got;
    }
}

}  // namespace

namespace {

// YUV into YUV keeps the source's range unless a range is asked for: full-range black and white (0 and
// 255) become limited black and white (16 and 235) only when limited is asked, and back.
TEST(FrameConverter, WritesYuvInTheRangeAsked) {
    struct Case {
        AVPixelFormat source;
        AVColorRange sourceRange;
        AVColorRange asked;
        std::uint8_t black, white;  // as the source holds them
        std::uint8_t expectedBlack, expectedWhite;
    };
    const Case cases[] = {
        {AV_PIX_FMT_YUVJ420P, AVCOL_RANGE_JPEG, AVCOL_RANGE_MPEG, 0, 255, 16, 235},
        {AV_PIX_FMT_YUVJ420P, AVCOL_RANGE_JPEG, AVCOL_RANGE_UNSPECIFIED, 0, 255, 0, 255},
        {AV_PIX_FMT_YUV420P, AVCOL_RANGE_MPEG, AVCOL_RANGE_MPEG, 16, 235, 16, 235},
        {AV_PIX_FMT_YUV420P, AVCOL_RANGE_MPEG, AVCOL_RANGE_JPEG, 16, 235, 0, 255},
    };
    for (const Case& c : cases) {
        const FramePtr source = frameOf(c.source, 16, 4);
        source->color_range = c.sourceRange;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 16; ++x)
                source->data[0][y * source->linesize[0] + x] = x < 8 ? c.black : c.white;
        for (int p = 1; p < 3; ++p)
            for (int y = 0; y < 2; ++y)
                std::memset(source->data[p] + y * source->linesize[p], 128, 8);
        FrameConverter converter(c.asked);
        FramePtr converted;
        std::string error;
        ASSERT_TRUE(converter.convert(*source, AV_PIX_FMT_YUV444P, converted, error)) << error;
        for (int y = 0; y < 4; ++y) {
            EXPECT_EQ(converted->data[0][y * converted->linesize[0] + 2], c.expectedBlack) << "row " << y;
            EXPECT_EQ(converted->data[0][y * converted->linesize[0] + 13], c.expectedWhite) << "row " << y;
            EXPECT_EQ(converted->data[1][y * converted->linesize[1] + 5], 128) << "row " << y;
        }
    }
}

}  // namespace
