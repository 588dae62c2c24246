// Times the frame reader's sampling on one file, as velmo suggest samples (decoder threads over
// slices): prints the samples asked and decoded, whether the file was read through or sampled by
// seeking, the work done, the largest memory taken, and the wall time of opening and sampling,
// best of the runs asked. --list prints the stream and each sample's timestamp.
//   sample_frames FILE [--frames N] [--runs N] [--frame-threads] [--list]

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "velmo/media/frame_sampler.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: sample_frames FILE [--frames N] [--runs N] [--frame-threads] [--list]\n", stderr);
        return 2;
    }
    int frames = 100, runs = 3;
    bool frameThreads = false, list = false;
    for (int k = 2; k < argc; ++k) {
        const std::string_view argument = argv[k];
        if (argument == "--frames" && k + 1 < argc)
            frames = std::atoi(argv[++k]);
        else if (argument == "--runs" && k + 1 < argc)
            runs = std::atoi(argv[++k]);
        else if (argument == "--frame-threads")
            frameThreads = true;
        else if (argument == "--list")
            list = true;
    }
    double best = 1e30;
    SampleReport report;
    std::vector<VideoFrame> samples;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        VideoReader reader;
        VideoReaderOptions options;
        options.frameThreads = frameThreads;
        std::string error;
        if (!reader.open(argv[1], options, error) ||
            !sampleFrames(reader, frames, AV_PIX_FMT_NONE, samples, report, error)) {
            std::fprintf(stderr, "sample_frames: %s\n", error.c_str());
            return 1;
        }
        const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (list && run == 0) {
            const VideoStreamInfo& info = reader.stream();
            std::printf("%s, %s, %d x %d, %lld frames, duration %lld x %d/%d s\n",
                        reader.formatContext()->iformat->name, avcodec_get_name(info.codec), info.width,
                        info.height, static_cast<long long>(info.frameCount),
                        static_cast<long long>(info.duration), info.timeBase.num, info.timeBase.den);
        }
        best = std::min(best, took);
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf(
        "%s: %d of %d decoded, %s (%d seeks, %d frames decoded, maximum resident set %ld MB), best of %d: "
        "%.3f s\n",
        argv[1], report.decoded, report.asked, report.readThrough ? "read through" : "by seeking",
        report.seeks, report.framesDecoded, usage.ru_maxrss / 1024, runs, best);
    if (list)
        for (const VideoFrame& sample : samples)
            std::printf("  %lld%s\n", static_cast<long long>(sample.timestamp),
                        sample.picture->key_frame ? " key" : "");
    return 0;
}
