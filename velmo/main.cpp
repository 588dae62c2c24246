// velmo: the zone filter of VELMO.VDF as a command-line tool, for pictures and for raw video pipes
// such as
//   ffmpeg -i in.avi -f rawvideo -pix_fmt bgr0 - | velmo stream --size 720x576 --config "Config(3,5,7,9,1)" |
//   ffmpeg -f rawvideo -pix_fmt bgr0 -s 720x576 -r 25 -i - out.mp4

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "core/render_zone_frame.h"
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
    Picture output = input;
    renderZoneFrame(options.settings, bottomUpView(input), bottomUpView(output));
    if (!savePicture(options.output, output, error)) return fail(error);
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
    if (argc < 2 || std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h") {
        std::fputs(kVelmoUsage, argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    if (std::string(argv[1]) == "suggest") return runSuggestCommand(argc, argv);
    VelmoOptions options;
    std::string error;
    if (!parseVelmoOptions(argc, argv, options, error)) return fail(error + " (velmo --help shows how)", 2);
    return options.mode == VelmoOptions::Mode::Apply ? applyToPicture(options) : filterStream(options);
}
