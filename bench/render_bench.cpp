// Frame transform against a plain memcpy of the same frame, measured in one run. After the
// usual table it prints each mode's time as a ratio to memcpy at the same size.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/render_zone_frame.h"

namespace {

struct Size {
    const char* name;
    int w, h;
};

constexpr Size kSizes[] = {{"720x576", 720, 576}, {"1920x1080", 1920, 1080}};

// A frame buffer as a host allocates one: page-aligned, rows without gaps.
class PageAlignedFrame {
public:
    explicit PageAlignedFrame(const Size& size)
        : pixels_(static_cast<std::size_t>(size.w) * size.h),
          memory_(static_cast<Pixel32*>(
              std::aligned_alloc(4096, (pixels_ * sizeof(Pixel32) + 4095) / 4096 * 4096))),
          bitmap_{memory_.get(), size.w, size.h, 0} {
        for (std::size_t k = 0; k < pixels_; ++k)
            memory_.get()[k] = static_cast<Pixel32>(k * 2654435761u) & 0xFFFFFF;
    }
    const FrameBitmap& bitmap() const { return bitmap_; }
    std::size_t bytes() const { return pixels_ * sizeof(Pixel32); }

private:
    struct Free {
        void operator()(Pixel32* p) const { std::free(p); }
    };
    std::size_t pixels_;
    std::unique_ptr<Pixel32, Free> memory_;
    FrameBitmap bitmap_;
};

struct Frames {
    PageAlignedFrame source, destination;
    explicit Frames(const Size& size) : source(size), destination(size) {}
};

void finishIteration(benchmark::State& state, Frames& frames) {
    benchmark::DoNotOptimize(frames.destination.bitmap().data);
    benchmark::ClobberMemory();
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(frames.source.bytes()));
}

void memcpyFrame(benchmark::State& state, Size size) {
    Frames frames(size);
    for (auto _ : state) {
        std::memcpy(frames.destination.bitmap().data, frames.source.bitmap().data, frames.source.bytes());
        benchmark::ClobberMemory();
    }
    finishIteration(state, frames);
}

void renderFrame(benchmark::State& state, Size size, std::int32_t addBorder, std::int32_t showFrame) {
    Frames frames(size);
    ZoneSettings settings{};
    applyConfigCommand(settings, 3, 5, 7, 9, addBorder);
    settings.showFrame = showFrame;
    for (auto _ : state) {
        renderZoneFrame(settings, frames.source.bitmap(), frames.destination.bitmap());
        benchmark::ClobberMemory();
    }
    finishIteration(state, frames);
}

struct Mode {
    const char* name;
    std::int32_t addBorder, showFrame;
};

constexpr Mode kModes[] = {{"shift", 0, 0}, {"shift+border", 1, 0}, {"outline", 0, 1}};

// Keeps each benchmark's median time per iteration (or its only time, without repetitions) so the
// ratios come from this one run; the medians of interleaved repetitions keep a noisy, shared
// machine from deciding the result.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const std::string name = run.run_name.function_name;
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                medians_[name] = run.GetAdjustedRealTime();
            else if (run.run_type == Run::RT_Iteration && run.iterations > 0 && run.repetitions <= 1)
                medians_[name] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void printRatios() const {
        std::printf("\nMedian time as a ratio to memcpy of the same frame (margins 3, 5, 7, 9):\n");
        for (const Size& size : kSizes) {
            const auto baseline = medians_.find(std::string("memcpy/") + size.name);
            if (baseline == medians_.end()) continue;
            for (const Mode& mode : kModes) {
                const auto found = medians_.find(std::string(mode.name) + "/" + size.name);
                if (found != medians_.end())
                    std::printf("  %-10s %-13s %.3fx\n", size.name, mode.name,
                                found->second / baseline->second);
            }
        }
    }

private:
    std::map<std::string, double> medians_;
};

}  // namespace

int main(int argc, char** argv) {
    for (const Size& size : kSizes) {
        benchmark::RegisterBenchmark((std::string("memcpy/") + size.name).c_str(), memcpyFrame, size);
        for (const Mode& mode : kModes)
            benchmark::RegisterBenchmark((std::string(mode.name) + "/" + size.name).c_str(), renderFrame,
                                         size, mode.addBorder, mode.showFrame);
    }
    // Interleaved repetitions unless the command line says otherwise.
    std::vector<char*> arguments(argv, argv + argc);
    std::string repetitions = "--benchmark_repetitions=9",
                interleave = "--benchmark_enable_random_interleaving=true";
    arguments.insert(arguments.begin() + 1, {repetitions.data(), interleave.data()});
    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    if (benchmark::ReportUnrecognizedArguments(count, arguments.data())) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}
