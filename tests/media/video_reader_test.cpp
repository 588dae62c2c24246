// The frame reader on real files that each test makes with the ffmpeg program: every format read
// as its frames, long clips sampled by seeking, the frames' facts, and the refusals.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/media/media_files.h"
#include "velmo/media/frame_sampler.h"

extern "C" {
#include <libavutil/imgutils.h>
}

namespace {

namespace fs = std::filesystem;

class FrameReader : public MediaFiles {};

// Whether two frames of one size and format hold different pixels in their first plane.
bool differ(const AVFrame& a, const AVFrame& b) {
    const auto rowBytes =
        static_cast<std::size_t>(av_image_get_linesize(static_cast<AVPixelFormat>(a.format), a.width, 0));
    for (int y = 0; y < a.height; ++y)
        if (std::memcmp(a.data[0] + std::ptrdiff_t{y} * a.linesize[0],
                        b.data[0] + std::ptrdiff_t{y} * b.linesize[0], rowBytes) != 0)
            return true;
    return false;
}

struct FormatCase {
    const char* name;
    std::string arguments;
    int frames;  // in the clip, written out
    int width, height;
};

// Every frame of a short clip, whatever its codec and container; a still is one frame. MJPEG and
// animated PNG are videos (a picture's signature at their start does not make them stills).
TEST_F(FrameReader, ReadsEachFormatAsItsFrames) {
    const std::string clip = pattern("64x48", 0.4);
    const FormatCase cases[] = {
        {"mjpeg.avi", clip + " -c:v mjpeg", 10, 64, 48},
        {"mjpeg.mkv", clip + " -c:v mjpeg", 10, 64, 48},
        {"raw.mjpeg", clip + " -c:v mjpeg -f mjpeg", 10, 64, 48},
        {"animated.png", clip + " -plays 0 -f apng", 10, 64, 48},
        {"ffv1.mkv", clip + " -c:v ffv1 -level 3 -pix_fmt yuv422p10le", 10, 64, 48},
        {"dv.dv", pattern("720x576", 0.4) + " -c:v dvvideo -pix_fmt yuv420p", 10, 720, 576},
        {"mpeg2.mpg", clip + " -c:v mpeg2video -g 4", 10, 64, 48},
        {"h264.mkv", clip + " -c:v libx264 -preset ultrafast -g 5", 10, 64, 48},
        {"raw.h264", clip + " -c:v libx264 -preset ultrafast -f h264", 10, 64, 48},
        {"still.png", clip + " -frames:v 1", 1, 64, 48},
        {"still.bmp", clip + " -frames:v 1", 1, 64, 48},
        {"still.jpg", clip + " -frames:v 1", 1, 64, 48},
    };
    for (const FormatCase& c : cases) {
        const std::string file = make(c.name, c.arguments);
        VideoReader reader;
        std::string error;
        ASSERT_TRUE(reader.open(file, VideoReaderOptions{}, error)) << c.name << ": " << error;
        EXPECT_EQ(reader.stream().width, c.width) << c.name;
        EXPECT_EQ(reader.stream().height, c.height) << c.name;
        std::vector<VideoFrame> samples;
        SampleReport report;
        ASSERT_TRUE(sampleFrames(reader, 100, AV_PIX_FMT_NONE, samples, report, error))
            << c.name << ": " << error;
        EXPECT_TRUE(report.readThrough) << c.name;
        EXPECT_EQ(report.asked, c.frames) << c.name;
        EXPECT_EQ(report.decoded, c.frames) << c.name << ": " << report.lastFailure;
        ASSERT_EQ(samples.size(), static_cast<std::size_t>(c.frames)) << c.name;
        for (std::size_t k = 1; k < samples.size(); ++k)
            EXPECT_GT(samples[k].timestamp, samples[k - 1].timestamp) << c.name << ", sample " << k;
        if (c.frames > 1) {
            EXPECT_TRUE(differ(*samples.front().picture, *samples.back().picture)) << c.name;
        }
    }
}

struct LongClipCase {
    const char* name;
    std::string arguments;
};

// A clip of 1500 frames: samples by seeking, each a different frame, spread from the start to the
// end, for a few frames' decoding each however far apart the key frames lie.
TEST_F(FrameReader, SamplesLongClipsBySeeking) {
    const std::string clip = pattern("96x64", 60);
    const LongClipCase cases[] = {
        {"mjpeg.avi", clip + " -c:v mjpeg"},
        {"mpeg2.mpg", clip + " -c:v mpeg2video -g 12"},
        {"mpeg2.ts", clip + " -c:v mpeg2video -g 12"},
        {"h264-long-gop.mkv", clip + " -c:v libx264 -preset ultrafast -g 250"},
        {"h264-long-gop.mp4", clip + " -c:v libx264 -preset ultrafast -g 250"},
        {"h264-long-gop.ts", clip + " -c:v libx264 -preset ultrafast -g 250"},
    };
    constexpr int kCount = 20, kFrames = 1500;
    for (const LongClipCase& c : cases) {
        const std::string file = make(c.name, c.arguments);
        VideoReader reader;
        std::string error;
        ASSERT_TRUE(reader.open(file, VideoReaderOptions{}, error)) << c.name << ": " << error;
        const VideoStreamInfo& stream = reader.stream();
        std::vector<VideoFrame> samples;
        SampleReport report;
        ASSERT_TRUE(sampleFrames(reader, kCount, AV_PIX_FMT_NONE, samples, report, error))
            << c.name << ": " << error;
        EXPECT_FALSE(report.readThrough) << c.name;
        EXPECT_GE(report.seeks, 4) << c.name;
        // Far fewer frames decoded than the clip holds: the time does not grow with the length.
        EXPECT_LE(report.framesDecoded, 10 * kCount) << c.name;
        EXPECT_EQ(report.decoded, report.asked) << c.name << ": " << report.lastFailure;
        // A transport stream sampled by its bytes stops where the samples find no new frame.
        EXPECT_GE(report.decoded, kCount / 2) << c.name;
        ASSERT_FALSE(samples.empty()) << c.name;
        for (std::size_t k = 1; k < samples.size(); ++k)
            EXPECT_GT(samples[k].timestamp, samples[k - 1].timestamp) << c.name << ", sample " << k;
        const double frame = av_q2d(stream.timeBase) * 25;  // frames per timestamp unit
        const double first = (samples.front().timestamp - stream.start) * frame;
        const double last = (samples.back().timestamp - stream.start) * frame;
        EXPECT_LT(first, kFrames / 10) << c.name;
        EXPECT_GT(last, kFrames * 3 / 4) << c.name;
    }
}

struct InterlaceCase {
    const char* name;
    std::string arguments;
    bool interlaced;
    bool topFieldFirst;
};

// Interlacing and field order from the frames' flags and the stream's field order.
TEST_F(FrameReader, TellsInterlacedFramesAndTheirFieldOrder) {
    const std::string clip = pattern("64x48", 0.2);
    const InterlaceCase cases[] = {
        {"ffv1-tff.mkv", clip + " -vf setfield=tff -c:v ffv1 -level 3", true, true},
        {"ffv1-bff.mkv", clip + " -vf setfield=bff -c:v ffv1 -level 3", true, false},
        {"mpeg2-tff.mpg", clip + " -vf setfield=tff -c:v mpeg2video -flags +ildct+ilme -top 1", true, true},
        {"mpeg2-bff.mkv", clip + " -vf setfield=bff -c:v mpeg2video -flags +ildct+ilme -top 0", true, false},
        {"dv-bff.dv", pattern("720x480", 0.2) + " -vf setfield=bff -c:v dvvideo -pix_fmt yuv411p", true,
         false},
        // A JPEG is one picture: the container's field order tells how it was captured.
        {"mjpeg-tt.mkv", clip + " -c:v mjpeg -field_order tt", true, true},
        {"mjpeg-bb.mkv", clip + " -c:v mjpeg -field_order bb", true, false},
        {"progressive.mkv", clip + " -vf setfield=prog -c:v ffv1", false, false},
    };
    for (const InterlaceCase& c : cases) {
        const std::string file = make(c.name, c.arguments);
        VideoReader reader;
        std::string error;
        ASSERT_TRUE(reader.open(file, VideoReaderOptions{}, error)) << c.name << ": " << error;
        VideoFrame frame;
        ASSERT_EQ(reader.nextFrame(frame, error), VideoReader::Read::Frame) << c.name << ": " << error;
        EXPECT_EQ(frame.interlaced, c.interlaced) << c.name;
        EXPECT_EQ(frame.topFieldFirst, c.topFieldFirst) << c.name;
    }
}

// The sample aspect ratio and colour tags, from the stream and on every frame.
TEST_F(FrameReader, CarriesAspectRatioAndColourTags) {
    const std::string file = make("tagged.mkv", pattern("720x576", 0.2) +
                                                    " -vf setsar=16/15 -c:v libx264 -preset ultrafast"
                                                    " -color_primaries bt470bg -color_trc gamma28"
                                                    " -colorspace bt470bg -color_range tv");
    VideoReader reader;
    std::string error;
    ASSERT_TRUE(reader.open(file, VideoReaderOptions{}, error)) << error;
    EXPECT_EQ(av_cmp_q(reader.stream().sampleAspectRatio, AVRational{16, 15}), 0);
    EXPECT_EQ(av_cmp_q(reader.stream().frameRate, AVRational{25, 1}), 0);
    VideoFrame frame;
    ASSERT_EQ(reader.nextFrame(frame, error), VideoReader::Read::Frame) << error;
    EXPECT_EQ(av_cmp_q(frame.sampleAspectRatio, AVRational{16, 15}), 0);
    EXPECT_EQ(frame.colour.primaries, AVCOL_PRI_BT470BG);
    EXPECT_EQ(frame.colour.transfer, AVCOL_TRC_GAMMA28);
    EXPECT_EQ(frame.colour.matrix, AVCOL_SPC_BT470BG);
    EXPECT_EQ(frame.colour.range, AVCOL_RANGE_MPEG);
    EXPECT_EQ(frame.format(), AV_PIX_FMT_YUV420P);
    EXPECT_EQ(frame.width(), 720);
}

struct RefusalCase {
    std::string name;
    int stream;
    std::string mentions;
};

// What is not one video is refused in one line that names the file and the cause.
TEST_F(FrameReader, RefusesWhatIsNotOneVideo) {
    const std::string clip = pattern("64x48", 0.2);
    make("two-videos.mkv", clip + " " + pattern("32x32", 0.2) + " -map 0 -map 1 -c:v ffv1");
    make("tone.wav", "-f lavfi -i sine=duration=0.2");
    make("with-sound.mkv", clip + " -f lavfi -i sine=duration=0.2 -map 0 -map 1 -c:v ffv1");
    make("wide.mkv", "-f lavfi -i color=size=20000x16:duration=0.1 -c:v ffv1");
    {
        std::FILE* empty = std::fopen(path("empty.mkv").c_str(), "wb");
        std::fclose(empty);
    }
    {
        std::FILE* junk = std::fopen(path("junk.mkv").c_str(), "wb");
        for (int k = 0; k < 4096; ++k)
            std::fputc((k * 7919) % 251, junk);
        std::fclose(junk);
    }
    fs::create_directory(path("folder.mkv"));
    // A playlist names another file: the reader reads the file it was given and opens no other.
    make("secret.ts", clip + " -c:v mpeg2video");
    {
        std::FILE* playlist = std::fopen(path("list.m3u8").c_str(), "wb");
        std::fputs("#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1.0,\nsecret.ts\n#EXT-X-ENDLIST\n", playlist);
        std::fclose(playlist);
    }
    const RefusalCase cases[] = {
        {path("list.m3u8"), -1, "not a video or picture FFmpeg reads"},
        {path("empty.mkv"), -1, "the file is empty"},
        {path("junk.mkv"), -1, "not a video or picture FFmpeg reads"},
        {path("missing.mkv"), -1, "No such file"},
        {path("folder.mkv"), -1, "a folder, not a file"},
        {"/dev/zero", -1, "a character device, not a file"},
        {path("tone.wav"), -1, "the file has no video stream"},
        {path("two-videos.mkv"), -1, "the file has 2 video streams (0, 1); choose one with --stream N"},
        {path("two-videos.mkv"), 2, "there is no stream 2 (the file has 2 streams, counted from 0)"},
        {path("with-sound.mkv"), 1, "stream 1 is audio, not video"},
        {path("wide.mkv"), -1,
         "the video is 20000 x 16 pixels; velmo reads frames of at most 16384 pixels per side"},
    };
    for (const RefusalCase& c : cases) {
        VideoReader reader;
        VideoReaderOptions options;
        options.stream = c.stream;
        std::string error;
        EXPECT_FALSE(reader.open(c.name, options, error)) << c.name;
        EXPECT_NE(error.find(c.name + ": "), std::string::npos) << error;
        EXPECT_NE(error.find(c.mentions), std::string::npos) << c.name << ": " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
}

// The stream asked for is the one read; cover art is not counted as a video.
TEST_F(FrameReader, ReadsTheStreamAskedForAndPassesOverCoverArt) {
    const std::string clip = pattern("64x48", 0.2);
    const std::string twoVideos =
        make("two-videos.mkv", clip + " " + pattern("32x32", 0.2) + " -map 0 -map 1 -c:v ffv1");
    make("cover.png", pattern("40x40", 0.04) + " -frames:v 1");
    const std::string covered = make("covered.mp4", clip + " -i '" + path("cover.png") +
                                                        "' -map 0 -map 1 -c:v:0 libx264 -preset ultrafast"
                                                        " -c:v:1 png -disposition:v:1 attached_pic");
    struct Case {
        std::string file;
        int stream;
        int width;
    };
    for (const Case& c : {Case{twoVideos, 1, 32}, Case{twoVideos, 0, 64}, Case{covered, -1, 64}}) {
        VideoReader reader;
        VideoReaderOptions options;
        options.stream = c.stream;
        std::string error;
        ASSERT_TRUE(reader.open(c.file, options, error)) << error;
        VideoFrame frame;
        ASSERT_EQ(reader.nextFrame(frame, error), VideoReader::Read::Frame) << error;
        EXPECT_EQ(frame.width(), c.width) << c.file << " stream " << c.stream;
    }
    VideoReader reader;
    VideoReaderOptions options;
    options.stream = 1;
    std::string error;
    EXPECT_FALSE(reader.open(covered, options, error));
    EXPECT_NE(error.find("stream 1 is an attached picture (cover art), not video"), std::string::npos)
        << error;
}

}  // namespace
