// The transform against a plain memcpy of the same frame or plane, measured in one run: 32-bit frames
// through renderZoneFrame, and 8-bit and 16-bit luma planes through renderZonePlanes. After the usual
// table it prints each mode's time as a ratio to memcpy of the same buffer.

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

#include "core/planar_frame.h"
#include "core/render_zone_frame.h"

namespace {

// What is rendered: a 32-bit frame (4-byte samples, as the plug-in sees them) or a luma plane of 1- or
// 2-byte samples.
struct Subject {
    const char* name;
    int w, h;
    int sampleSize;
};

constexpr Subject kSubjects[] = {
    {"720x576", 720, 576, 4},           {"1920x1080", 1920, 1080, 4},    {"720x576/8-bit", 720, 576, 1},
    {"1920x1080/8-bit", 1920, 1080, 1}, {"720x576/16-bit", 720, 576, 2}, {"1920x1080/16-bit", 1920, 1080, 2},
};

// A buffer as a host allocates one: page-aligned, rows without gaps.
class PageAlignedBuffer {
public:
    explicit PageAlignedBuffer(const Subject& subject)
        : bytes_(static_cast<std::size_t>(subject.w) * subject.h * subject.sampleSize),
          memory_(static_cast<std::uint8_t*>(std::aligned_alloc(4096, (bytes_ + 4095) / 4096 * 4096))) {
        for (std::size_t k = 0; k < bytes_; ++k)
            memory_.get()[k] = static_cast<std::uint8_t>((k * 2654435761u) >> 7);
    }
    std::uint8_t* data() const { return memory_.get(); }
    std::size_t bytes() const { return bytes_; }

private:
    struct Free {
        void operator()(std::uint8_t* p) const { std::free(p); }
    };
    std::size_t bytes_;
    std::unique_ptr<std::uint8_t, Free> memory_;
};

struct Mode {
    const char* name;
    bool border;
    ZoneView view;
};

constexpr Mode kModes[] = {{"shift", false, ZoneView::Shift},
                           {"shift+border", true, ZoneView::Shift},
                           {"outline", false, ZoneView::Outline}};

Zone zoneFor(const Mode& mode) {
    return Zone{.up = 3, .left = 5, .right = 7, .down = 9, .border = mode.border};
}

class Buffers {
public:
    explicit Buffers(const Subject& subject) : subject_(subject), source_(subject), destination_(subject) {
        format_.width = subject.w;
        format_.height = subject.h;
        format_.planeCount = 1;
        format_.planes[0] = PlaneLayout{subject.sampleSize, 0, 0};
        format_.colours[0] = ZoneColours{16, 81};
    }
    void copy() const {
        std::memcpy(destination_.data(), source_.data(), source_.bytes());
        benchmark::ClobberMemory();
    }
    void render(const Zone& zone, ZoneView view) const {
        if (subject_.sampleSize == 4) {
            renderZoneFrame(zone, view, frame(source_), frame(destination_));
        } else {
            renderZonePlanes(zone, view, format_, plane(source_), plane(destination_));
        }
        benchmark::ClobberMemory();
    }
    std::size_t bytes() const { return source_.bytes(); }
    const std::uint8_t* destination() const { return destination_.data(); }

private:
    FrameBitmap frame(const PageAlignedBuffer& buffer) const {
        return FrameBitmap{reinterpret_cast<Pixel32*>(buffer.data()), subject_.w, subject_.h, 0};
    }
    PlanarFrame plane(const PageAlignedBuffer& buffer) const {
        PlanarFrame frame{};
        frame.planes[0] = PlaneRows{buffer.data(), std::int64_t{subject_.w} * subject_.sampleSize};
        return frame;
    }

    Subject subject_;
    PageAlignedBuffer source_, destination_;
    PlanarFormat format_{};
};

void finishIteration(benchmark::State& state, const Buffers& buffers) {
    benchmark::DoNotOptimize(buffers.destination());
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(buffers.bytes()));
}

void memcpyBuffer(benchmark::State& state, Subject subject) {
    Buffers buffers(subject);
    for (auto _ : state)
        buffers.copy();
    finishIteration(state, buffers);
}

void renderBuffer(benchmark::State& state, Subject subject, Mode mode) {
    Buffers buffers(subject);
    const Zone zone = zoneFor(mode);
    for (auto _ : state)
        buffers.render(zone, mode.view);
    finishIteration(state, buffers);
}

// Each iteration times one memcpy and one transform of the same buffers back to back, in alternating
// order, and keeps their ratio; the median of those ratios is the result. Both halves of a pair
// see the same machine, so a shared machine's changing memory bandwidth, which makes separately
// timed runs differ by more than the effect measured, cancels out.
void ratioToMemcpy(benchmark::State& state, Subject subject, Mode mode) {
    using Clock = std::chrono::steady_clock;
    Buffers buffers(subject);
    const Zone zone = zoneFor(mode);
    std::vector<double> ratios;
    for (auto _ : state) {
        const bool copyFirst = ratios.size() % 2 == 0;
        const Clock::time_point start = Clock::now();
        copyFirst ? buffers.copy() : buffers.render(zone, mode.view);
        const Clock::time_point middle = Clock::now();
        copyFirst ? buffers.render(zone, mode.view) : buffers.copy();
        const Clock::time_point end = Clock::now();
        const double first = std::chrono::duration<double>(middle - start).count();
        const double second = std::chrono::duration<double>(end - middle).count();
        ratios.push_back(copyFirst ? second / first : first / second);
    }
    finishIteration(state, buffers);
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
            "\nTime as a ratio to memcpy of the same frame or plane, median of paired runs (margins 3, 5, 7, "
            "9;\n"
            "frames of 32-bit pixels, luma planes of 8- and 16-bit samples):\n");
        for (const Subject& subject : kSubjects)
            for (const Mode& mode : kModes) {
                const auto found = ratios_.find(ratioName(subject, mode));
                if (found != ratios_.end())
                    std::printf("  %-17s %-13s %.3fx\n", subject.name, mode.name, found->second);
            }
    }

    static std::string ratioName(const Subject& subject, const Mode& mode) {
        return std::string("ratio/") + mode.name + "/" + subject.name;
    }

private:
    std::map<std::string, double> ratios_;
};

}  // namespace

int main(int argc, char** argv) {
    for (const Subject& subject : kSubjects) {
        benchmark::RegisterBenchmark((std::string("memcpy/") + subject.name).c_str(), memcpyBuffer, subject);
        for (const Mode& mode : kModes)
            benchmark::RegisterBenchmark((std::string(mode.name) + "/" + subject.name).c_str(), renderBuffer,
                                         subject, mode);
        for (const Mode& mode : kModes)
            benchmark::RegisterBenchmark(RatioReporter::ratioName(subject, mode).c_str(), ratioToMemcpy,
                                         subject, mode);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}
