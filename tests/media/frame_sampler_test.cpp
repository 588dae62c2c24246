// The sampler's counts on damaged, resized and cut-off files, and its bounded memory on a stream
// of unknown length; each file made by the test with the ffmpeg program.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/media/media_files.h"
#include "velmo/media/frame_sampler.h"

namespace {

namespace fs = std::filesystem;

class FrameSampler : public MediaFiles {
protected:
    // Overwrites the video packets `first` to `last` (counted from 0) of a file past their first
    // two bytes (a JPEG's start marker stays), where ffprobe places them.
    void damagePackets(const std::string& file, int first, int last) const {
        const std::string list = path("packets.csv");
        ASSERT_EQ(shell("ffprobe -v error -select_streams v -show_entries packet=pos,size -of csv=p=0 '" +
                        file + "' > '" + list + "'"),
                  0);
        std::ifstream packets(list);
        std::fstream bytes(file, std::ios::in | std::ios::out | std::ios::binary);
        std::string line;
        for (int k = 0; std::getline(packets, line); ++k) {
            long long size = 0, position = 0;
            char comma = 0;
            std::stringstream(line) >> size >> comma >> position;
            if (k < first || k > last) continue;
            bytes.seekp(position + 2);
            for (long long b = 2; b < size; ++b)
                bytes.put(static_cast<char>(0xAB));
        }
    }

    static SampleReport sample(const std::string& file, int count, std::vector<VideoFrame>& samples) {
        VideoReader reader;
        std::string error;
        SampleReport report;
        EXPECT_TRUE(reader.open(file, VideoReaderOptions{}, error)) << error;
        EXPECT_TRUE(sampleFrames(reader, count, AV_PIX_FMT_NONE, samples, report, error)) << error;
        EXPECT_EQ(samples.size(), static_cast<std::size_t>(report.decoded));
        return report;
    }
};

struct FailureCase {
    const char* name;
    int count;
    int asked;
    int mostDecoded;  // written out from how the file was damaged
    int leastDecoded;
    const char* mentions;
};

// Samples that do not decode are counted, not passed over: frames whose data is garbage, frames of
// another size than the video's, and the part of a clip cut off its file.
TEST_F(FrameSampler, CountsSamplesThatFailToDecode) {
    const std::string damaged = make("damaged.avi", pattern("64x48", 0.8) + " -c:v mjpeg");
    damagePackets(damaged, 5, 9);
    const std::string large = make("large.mjpeg", pattern("64x48", 0.4) + " -c:v mjpeg -f mjpeg");
    const std::string small = make("small.mjpeg", pattern("32x24", 0.4) + " -c:v mjpeg -f mjpeg");
    ASSERT_EQ(shell("cat '" + large + "' '" + small + "' > '" + path("resized.mjpeg") + "'"), 0);
    const std::string whole = make("whole.mkv", pattern("96x64", 60) + " -c:v mjpeg");
    fs::copy_file(whole, path("cut.mkv"));
    fs::resize_file(path("cut.mkv"), fs::file_size(whole) * 3 / 10);

    const FailureCase cases[] = {
        {"damaged.avi", 100, 20, 15, 15, "a frame could not be decoded"},
        {"resized.mjpeg", 100, 20, 10, 10, "a frame of 32 x 24 pixels in a video of 64 x 48"},
        // Samples past the cut may find the last frames before it (6 of the 20 places lie before it).
        {"cut.mkv", 20, 20, 9, 5, "ends"},
    };
    for (const FailureCase& c : cases) {
        std::vector<VideoFrame> samples;
        const SampleReport report = sample(path(c.name), c.count, samples);
        EXPECT_EQ(report.asked, c.asked) << c.name;
        EXPECT_LE(report.decoded, c.mostDecoded) << c.name;
        EXPECT_GE(report.decoded, c.leastDecoded) << c.name;
        EXPECT_NE(report.lastFailure.find(c.mentions), std::string::npos)
            << c.name << ": " << report.lastFailure;
        EXPECT_EQ(report.lastFailure.find('\n'), std::string::npos) << report.lastFailure;
    }
}

// A stream without a length is read through, keeping no more than the count at any time, spread
// over the whole of it; a clip of known length up to twice the count gives exactly the count.
TEST_F(FrameSampler, KeepsAtMostTheCountSpreadOverTheStream) {
    struct Case {
        const char* name;
        std::string arguments;
        int frames;
        int count;
        int leastKept;
    };
    const Case cases[] = {
        {"long.mjpeg", pattern("32x24", 12) + " -c:v mjpeg -f mjpeg", 300, 8, 4},
        {"long.h264", pattern("32x24", 12) + " -c:v libx264 -preset ultrafast -f h264", 300, 7, 4},
        {"short.mkv", pattern("32x24", 1.2) + " -c:v ffv1", 30, 20, 20},
    };
    for (const Case& c : cases) {
        const std::string file = make(c.name, c.arguments);
        std::vector<VideoFrame> samples;
        const SampleReport report = sample(file, c.count, samples);
        EXPECT_TRUE(report.readThrough) << c.name;
        EXPECT_EQ(report.framesDecoded, c.frames) << c.name;
        EXPECT_LE(report.decoded, c.count) << c.name;
        EXPECT_GE(report.decoded, c.leastKept) << c.name;
        EXPECT_EQ(report.asked, report.decoded) << c.name;
        ASSERT_FALSE(samples.empty()) << c.name;
        for (std::size_t k = 1; k < samples.size(); ++k)
            EXPECT_GT(samples[k].timestamp, samples[k - 1].timestamp) << c.name << ", sample " << k;
        // Spread: the first frame, and one in the last third of the stream.
        VideoReader reader;
        std::string error;
        ASSERT_TRUE(reader.open(file, VideoReaderOptions{}, error)) << error;
        const double frames = av_q2d(reader.stream().timeBase) * 25;
        EXPECT_EQ(samples.front().timestamp, reader.stream().start) << c.name;
        EXPECT_GE((samples.back().timestamp - reader.stream().start) * frames, c.frames * 2 / 3) << c.name;
    }
}

}  // namespace
