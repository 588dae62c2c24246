// Decoded frames moved on their own samples (FrameMover): every sample of every plane held to the
// per-sample reference, with each format's layout and black written out by hand, the packed 4:2:2
// formats unpacked by hand; and the frame's facts carried over.

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <vector>

extern "C" {
#include <libavutil/imgutils.h>
}

#include "core/script_line.h"
#include "tests/support/hand_formats.h"
#include "tests/support/reference_planes.h"
#include "velmo/media/frame_mover.h"

namespace {

struct MoverCase {
    const char* source;  // the decoder's pixel format
    const char* moved;   // the hand-written format the frames come out in
    std::int32_t width, height;
    bool interlaced, topFieldFirst;
    AVColorRange range;
};

// Captures as decoders give them: 4:2:2, 4:2:0 and 4:1:1 interlaced, 10 bits, odd sizes (718 wide,
// a 4:2:0 picture of odd height), full range, gray and RGB, and packed 4:2:2 that is unpacked.
const MoverCase kCases[] = {
    {"yuv422p", "yuv422p", 720, 576, true, true, AVCOL_RANGE_MPEG},
    {"yuv420p", "yuv420p", 718, 575, true, false, AVCOL_RANGE_UNSPECIFIED},
    {"yuv411p", "yuv411p", 720, 480, true, false, AVCOL_RANGE_UNSPECIFIED},
    {"yuv422p10le", "yuv422p10le", 352, 288, false, false, AVCOL_RANGE_MPEG},
    {"yuv420p10le", "yuv420p10le", 98, 67, true, true, AVCOL_RANGE_MPEG},
    {"yuvj420p", "yuv420p", 64, 48, false, false, AVCOL_RANGE_JPEG},
    {"yuvj422p", "yuv422p", 64, 48, false, false, AVCOL_RANGE_UNSPECIFIED},  // full range by its name only
    {"yuv444p", "yuv444p", 64, 48, false, false, AVCOL_RANGE_JPEG},
    {"gray", "gray", 61, 47, false, false, AVCOL_RANGE_UNSPECIFIED},
    {"gbrp", "gbrp", 62, 46, true, true, AVCOL_RANGE_UNSPECIFIED},
    {"uyvy422", "yuv422p", 720, 576, true, true, AVCOL_RANGE_UNSPECIFIED},
    {"yuyv422", "yuv422p", 66, 40, false, false, AVCOL_RANGE_MPEG},
};

const Zone kZones[] = {
    {4, 14, 5, 9, true}, {3, 1, 1, 1, false}, {1, 1, 1, 4, true},
    {9, 2, 30, 1, true}, {2, 7, 3, 8, false}, {INT_MIN, INT_MAX, 0, -5, true},
    {1, 1, 1, 1, false},
};

AVPixelFormat pixelFormat(const char* name) {
    const AVPixelFormat format = av_get_pix_fmt(name);
    EXPECT_NE(format, AV_PIX_FMT_NONE) << name;
    return format;
}

bool isPacked422(const char* name) {
    return std::string(name) == "uyvy422" || std::string(name) == "yuyv422";
}

// A decoded frame of random samples (within the format's bits) with its facts.
VideoFrame randomFrame(const MoverCase& c, std::mt19937& random) {
    VideoFrame frame;
    frame.picture.reset(av_frame_alloc());
    AVFrame& picture = *frame.picture;
    picture.format = pixelFormat(c.source);
    picture.width = c.width;
    picture.height = c.height;
    EXPECT_GE(av_frame_get_buffer(&picture, 0), 0);
    const AVPixFmtDescriptor& descriptor = *av_pix_fmt_desc_get(static_cast<AVPixelFormat>(picture.format));
    const int bits = descriptor.comp[0].depth;
    for (int p = 0; p < 4 && picture.data[p] != nullptr; ++p) {
        const int rows =
            p == 0 || isPacked422(c.source) ? c.height : AV_CEIL_RSHIFT(c.height, descriptor.log2_chroma_h);
        const int bytes = av_image_get_linesize(static_cast<AVPixelFormat>(picture.format), c.width, p);
        for (int row = 0; row < rows; ++row)
            for (int k = 0; k<bytes; k += bits> 8 ? 2 : 1) {
                const std::uint32_t value = random() & ((1u << bits) - 1);
                picture.data[p][row * picture.linesize[p] + k] = static_cast<std::uint8_t>(value);
                if (bits > 8)
                    picture.data[p][row * picture.linesize[p] + k + 1] =
                        static_cast<std::uint8_t>(value >> 8);
            }
    }
    frame.timestamp = 123456;
    frame.interlaced = c.interlaced;
    frame.topFieldFirst = c.topFieldFirst;
    frame.sampleAspectRatio = AVRational{16, 15};
    frame.colour =
        ColourTags{c.range, AVCOL_PRI_BT470BG, AVCOL_TRC_BT709, AVCOL_SPC_BT470BG, AVCHROMA_LOC_LEFT};
    return frame;
}

// The frame's samples in the hand-written moved format, packed as ffmpeg's rawvideo packs them.
std::vector<std::uint8_t> movedFormatBytes(const AVFrame& picture, const MoverCase& c) {
    const hand::Format& format = hand::format(c.moved);
    if (isPacked422(c.source)) {
        std::vector<std::uint8_t> packed(static_cast<std::size_t>(c.height) * ((c.width + 1) / 2) * 4);
        for (int row = 0; row < c.height; ++row)
            std::memcpy(packed.data() + static_cast<std::size_t>(row) * ((c.width + 1) / 2) * 4,
                        picture.data[0] + row * picture.linesize[0], ((c.width + 1) / 2) * 4);
        return hand::unpack422(packed.data(), c.width, c.height, std::string(c.source) == "uyvy422");
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(hand::frameBytes(format, c.width, c.height)));
    std::uint8_t* at = bytes.data();
    for (int p = 0; p < format.planeCount; ++p) {
        const std::int64_t rowBytes = hand::planeWidth(format, p, c.width) * format.planes[p].sampleSize;
        for (std::int64_t row = 0; row < hand::planeHeight(format, p, c.height); ++row, at += rowBytes)
            std::memcpy(at, picture.data[p] + row * picture.linesize[p], static_cast<std::size_t>(rowBytes));
    }
    return bytes;
}

TEST(FrameMover, EverySampleAsTheReferenceMovesItInTheFramesOwnFormat) {
    std::mt19937 random(20);
    for (const MoverCase& c : kCases) {
        const hand::Format& format = hand::format(c.moved);
        const bool jpeg = std::string(c.source).rfind("yuvj", 0) == 0;
        const bool fullRange = c.range == AVCOL_RANGE_JPEG || jpeg || std::string(c.moved) == "gray" ||
                               std::string(c.moved) == "gbrp";
        const PlanarFormat planar = hand::planarFormat(format, c.width, c.height, c.interlaced, fullRange);
        for (const Zone& zone : kZones) {
            SCOPED_TRACE(std::string(c.source) + " " + std::to_string(c.width) + "x" +
                         std::to_string(c.height) + (c.interlaced ? " interlaced " : " ") + configLine(zone));
            const VideoFrame frame = randomFrame(c, random);
            FrameMover mover;
            std::string error;
            ASSERT_TRUE(mover.prepare(zone, pixelFormat(c.source), error)) << error;
            EXPECT_EQ(mover.movedFormat(), pixelFormat(c.moved));
            FramePtr moved;
            VerticalShift shift{};
            ASSERT_TRUE(mover.move(frame, moved, shift, error)) << error;

            std::vector<std::uint8_t> source = movedFormatBytes(*frame.picture, c);
            std::vector<std::uint8_t> expected(source.size(), 0xA5);
            const std::int64_t used = reference::renderZonePlanes(
                zone, ZoneView::Shift, planar, hand::planarFrame(format, source.data(), c.width, c.height),
                hand::planarFrame(format, expected.data(), c.width, c.height));
            EXPECT_EQ(shift.used, used);
            if (jpeg) {
                EXPECT_EQ(moved->color_range, AVCOL_RANGE_JPEG) << "a yuvj format's frames are full range";
            }
            EXPECT_EQ(shift.exact, reference::floorDivide(std::int64_t{zone.down} - zone.up, 2));
            const MoverCase asMoved{c.moved,      c.moved,         c.width, c.height,
                                    c.interlaced, c.topFieldFirst, c.range};
            EXPECT_TRUE(movedFormatBytes(*moved, asMoved) == expected)
                << "a sample differs from the reference";
        }
    }
}

TEST(FrameMover, KeepsTheFramesFactsAndSaysTheFieldsInTheFrame) {
    std::mt19937 random(7);
    const MoverCase c{"yuv422p", "yuv422p", 64, 48, true, true, AVCOL_RANGE_MPEG};
    VideoFrame frame = randomFrame(c, random);
    // The frame itself says progressive; the stream's field order made the reader call it interlaced.
    frame.picture->interlaced_frame = 0;
    frame.picture->pkt_duration = 40;
    FrameMover mover;
    std::string error;
    ASSERT_TRUE(mover.prepare(Zone{4, 14, 5, 9, true}, AV_PIX_FMT_YUV422P, error)) << error;
    FramePtr moved;
    VerticalShift shift{};
    ASSERT_TRUE(mover.move(frame, moved, shift, error)) << error;
    EXPECT_EQ(moved->pts, 123456);
    EXPECT_EQ(moved->pkt_duration, 40);
    EXPECT_EQ(moved->interlaced_frame, 1);
    EXPECT_EQ(moved->top_field_first, 1);
    EXPECT_EQ(moved->sample_aspect_ratio.num, 16);
    EXPECT_EQ(moved->sample_aspect_ratio.den, 15);
    EXPECT_EQ(moved->color_range, AVCOL_RANGE_MPEG);
    EXPECT_EQ(moved->color_primaries, AVCOL_PRI_BT470BG);
    EXPECT_EQ(moved->color_trc, AVCOL_TRC_BT709);
    EXPECT_EQ(moved->colorspace, AVCOL_SPC_BT470BG);
    EXPECT_EQ(moved->chroma_location, AVCHROMA_LOC_LEFT);
}

TEST(FrameMover, RefusesAFrameOfAnotherFormatAndFormatsItCannotMoveByName) {
    std::mt19937 random(3);
    FrameMover mover;
    std::string error;
    ASSERT_TRUE(mover.prepare(Zone{}, AV_PIX_FMT_YUV420P, error)) << error;
    const VideoFrame other =
        randomFrame(MoverCase{"yuv422p", "yuv422p", 16, 16, false, false, AVCOL_RANGE_MPEG}, random);
    FramePtr moved;
    VerticalShift shift{};
    EXPECT_FALSE(mover.move(other, moved, shift, error));
    EXPECT_NE(error.find("from yuv420p to yuv422p"), std::string::npos) << error;

    for (const AVPixelFormat refused : {AV_PIX_FMT_PAL8, AV_PIX_FMT_GRAYF32LE, AV_PIX_FMT_BAYER_RGGB8}) {
        FrameMover refusing;
        EXPECT_FALSE(refusing.prepare(Zone{}, refused, error));
        EXPECT_NE(error.find(av_get_pix_fmt_name(refused)), std::string::npos) << error;
    }
}

}  // namespace
