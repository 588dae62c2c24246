// velmo: the zone filter of VELMO.VDF as a command-line tool, for pictures and for raw video pipes
// such as
//   ffmpeg -i in.avi -f rawvideo -pix_fmt bgr0 - | velmo stream --size 720x576 --config "Config(3,5,7,9,1)" |
//   ffmpeg -f rawvideo -pix_fmt bgr0 -s 720x576 -r 25 -i - out.mp4

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "core/render_zone_frame.h"
#include "core/version.h"
#include "velmo/image/picture.h"
#include "velmo/raw_stream.h"
#include "velmo/suggest_command.h"
#include "velmo/velmo_options.h"

namespace {

int fail(const std::string& message, int code = 1) {
    std::fprintf(stderr, "velmo: %s\n", message.c_str());
    return code;
}

int applyToPicture(const VelmoOptions& options) {
    Picture input;
    std::string error;
    if (!loadPicture(options.input, input, error)) return fail(error);
    try {
        // The transform writes every pixel, so the output needs no copy of the input; the input's
        // memory goes back before the output is encoded.
        Picture output{input.w, input.h, std::vector<Pixel32>(input.pixels.size())};
        renderZoneFrame(options.settings, bottomUpView(input), bottomUpView(output));
        input = Picture{};
        if (!savePicture(options.output, output, error)) return fail(error);
    } catch (const std::bad_alloc&) {
        return fail("not enough memory for a second " + std::to_string(input.w) + " x " +
                    std::to_string(input.h) + " picture");
    }
    return 0;
}

// Frames done and frames per second, on one line that keeps being rewritten; only on a terminal.
class Progress {
public:
    Progress() : shown_(isatty(STDERR_FILENO) != 0), start_(Clock::now()), last_(start_) {}

    void update(std::uint64_t frames) {
        if (!shown_) return;
        const Clock::time_point now = Clock::now();
        if (now - last_ < std::chrono::milliseconds(500)) return;
        last_ = now;
        print(frames, now);
    }
    void finish(std::uint64_t frames) {
        if (!shown_) return;
        print(frames, Clock::now());
        std::fputc('\n', stderr);
    }

private:
    using Clock = std::chrono::steady_clock;
    void print(std::uint64_t frames, Clock::time_point now) const {
        const double seconds = std::chrono::duration<double>(now - start_).count();
        std::fprintf(stderr, "\rvelmo: %llu frames, %.1f frames/s ", static_cast<unsigned long long>(frames),
                     seconds > 0 ? frames / seconds : 0.0);
    }
    bool shown_;
    Clock::time_point start_;
    Clock::time_point last_;
};

int filterStream(const VelmoOptions& options) {
    Progress progress;
    const StreamReport report =
        filterRawStream(STDIN_FILENO, STDOUT_FILENO, options.settings, options.width, options.height,
                        [&progress](std::uint64_t frames) { progress.update(frames); });
    progress.finish(report.frames);
    return report.error.empty() ? 0 : fail(report.error);
}

}  // namespace

int main(int argc, char** argv) {
    // suggest reads a whole capture and has options of its own.
    if (argc >= 2 && std::string_view(argv[1]) == "suggest") return runSuggestCommand(argc, argv);
    VelmoOptions options;
    std::string error;
    if (!parseVelmoOptions(argc, argv, options, error)) {
        if (argc < 2) std::fputs(velmoUsage(VelmoOptions::Command::All).c_str(), stderr);
        return fail(error + " (velmo --help shows how)", 2);
    }
    switch (options.mode) {
        case VelmoOptions::Mode::Help:
            std::fputs(velmoUsage(options.helpFor).c_str(), stdout);
            return 0;
        case VelmoOptions::Mode::Version:
            std::puts("velmo, version " VELMO_VERSION);
            return 0;
        case VelmoOptions::Mode::Apply:
            return applyToPicture(options);
        case VelmoOptions::Mode::Stream:
            break;
    }
    return filterStream(options);
}
