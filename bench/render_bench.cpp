// Frame transform against a plain memcpy of the same frame, measured in one run. After the
// usual table it prints each mode's time as a ratio to memcpy at the same size.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
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
    void copy() const {
        std::memcpy(destination.bitmap().data, source.bitmap().data, source.bytes());
        benchmark::ClobberMemory();
    }
    void render(const ZoneSettings& settings) const {
        renderZoneFrame(settings, source.bitmap(), destination.bitmap());
        benchmark::ClobberMemory();
    }
};

struct Mode {
    const char* name;
    std::int32_t addBorder, showFrame;
};

constexpr Mode kModes[] = {{"shift", 0, 0}, {"shift+border", 1, 0}, {"outline", 0, 1}};

void finishIteration(benchmark::State& state, const Frames& frames) {
    benchmark::DoNotOptimize(frames.destination.bitmap().data);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(frames.source.bytes()));
}

void memcpyFrame(benchmark::State& state, Size size) {
    Frames frames(size);
    for (auto _ : state)
        frames.copy();
    finishIteration(state, frames);
}

ZoneSettings settingsFor(const Mode& mode) {
    ZoneSettings settings{};
    applyConfigCommand(settings, 3, 5, 7, 9, mode.addBorder);
    settings.showFrame = mode.showFrame;
    return settings;
}

void renderFrame(benchmark::State& state, Size size, Mode mode) {
    Frames frames(size);
    const ZoneSettings settings = settingsFor(mode);
    for (auto _ : state)
        frames.render(settings);
    finishIteration(state, frames);
}

// Each iteration times one memcpy and one transform of the same frames back to back, in alternating
// order, and keeps their ratio; the median of those ratios is the result. Both halves of a pair
// see the same machine, so a shared machine's changing memory bandwidth, which makes separately
// timed runs differ by more than the effect measured, cancels out.
void ratioToMemcpy(benchmark::State& state, Size size, Mode mode) {
    using Clock = std::chrono::steady_clock;
    Frames frames(size);
    const ZoneSettings settings = settingsFor(mode);
    std::vector<double> ratios;
    for (auto _ : state) {
        const bool copyFirst = ratios.size() % 2 == 0;
        const Clock::time_point start = Clock::now();
        copyFirst ? frames.copy() : frames.render(settings);
        const Clock::time_point middle = Clock::now();
        copyFirst ? frames.render(settings) : frames.copy();
        const Clock::time_point end = Clock::now();
        const double first = std::chrono::duration<double>(middle - start).count();
        const double second = std::chrono::duration<double>(end - middle).count();
        ratios.push_back(copyFirst ? second / first : first / second);
    }
    finishIteration(state, frames);
    if (ratios.empty()) return;
    std::nth_element(ratios.begin(), ratios.begin() + ratios.size() / 2, ratios.end());
    state.counters["ratio"] = ratios[ratios.size() / 2];
}

// Collects the paired ratios and prints them after the usual table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const auto ratio = run.counters.find("ratio");
            if (run.run_type == Run::RT_Iteration && ratio != run.counters.end())
                ratios_[run.run_name.function_name] = ratio->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void printRatios() const {
        std::printf(
            "\nTime as a ratio to memcpy of the same frame, median of paired runs (margins 3, 5, 7, 9):\n");
        for (const Size& size : kSizes)
            for (const Mode& mode : kModes) {
                const auto found = ratios_.find(ratioName(size, mode));
                if (found != ratios_.end())
                    std::printf("  %-10s %-13s %.3fx\n", size.name, mode.name, found->second);
            }
    }

    static std::string ratioName(const Size& size, const Mode& mode) {
        return std::string("ratio/") + mode.name + "/" + size.name;
    }

private:
    std::map<std::string, double> ratios_;
};

}  // namespace

int main(int argc, char** argv) {
    for (const Size& size : kSizes) {
        benchmark::RegisterBenchmark((std::string("memcpy/") + size.name).c_str(), memcpyFrame, size);
        for (const Mode& mode : kModes)
            benchmark::RegisterBenchmark((std::string(mode.name) + "/" + size.name).c_str(), renderFrame,
                                         size, mode);
        for (const Mode& mode : kModes)
            benchmark::RegisterBenchmark(RatioReporter::ratioName(size, mode).c_str(), ratioToMemcpy, size,
                                         mode);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}
