#include "velmo/stream_command.h"

#include <unistd.h>

#include "core/script_line.h"
#include "velmo/image/picture.h"
#include "velmo/progress_line.h"
#include "velmo/raw_stream.h"

namespace {

// "720x576", each side from 1 to the largest the tools accept.
bool takeSize(StreamOptions& options, std::string_view, std::string_view value, std::string& error) {
    const std::size_t cross = value.find('x');
    std::int32_t w = 0, h = 0;
    if (cross == std::string_view::npos || value.substr(0, 1) == "+" || value.substr(cross + 1, 1) == "+" ||
        !readWholeNumber(value.substr(0, cross), w) || !readWholeNumber(value.substr(cross + 1), h) ||
        w <= 0 || h <= 0) {
        error = "bad frame size " + quotedLine(value) + ": expected WIDTHxHEIGHT, such as 720x576";
        return false;
    }
    if (w > kLargestPictureSide || h > kLargestPictureSide) {
        error = "frame size " + std::string(value) + " is too large: at most " +
                std::to_string(kLargestPictureSide) + " pixels per side";
        return false;
    }
    options.width = w;
    options.height = h;
    return true;
}

constexpr Option<StreamOptions> kStreamOptions[] = {
    {.name = "--size",
     .value = "WxH",
     .help = "the frames' width and height in pixels (required)",
     .take = takeSize},
    kZoneLineOption<StreamOptions>,
    kZoneUpOption<StreamOptions>,
    kZoneLeftOption<StreamOptions>,
    kZoneRightOption<StreamOptions>,
    kZoneDownOption<StreamOptions>,
    kZoneBorderOption<StreamOptions>,
    kZoneShowFrameOption<StreamOptions>,
};

int runStream(const Invocation& invocation) {
    StreamOptions options;
    CommandLine line;
    std::string error;
    if (!readStreamOptions(invocation, options, line, error)) return usageError(invocation, error);
    if (line.help) return showUsage(invocation.command);

    ProgressLine progress;
    const StreamReport report =
        filterRawStream(STDIN_FILENO, STDOUT_FILENO, options.zone.settings, options.width, options.height,
                        [&progress](std::uint64_t frames) { progress.update(frames); });
    progress.finish(report.frames);
    if (!report.error.empty()) return fail(report.error);
    // An empty input is what a pipe gives when the program before velmo failed: not a success.
    if (report.frames == 0)
        return fail(
            "no frames: standard input ended before the first one (did the program writing it fail?)");
    return 0;
}

}  // namespace

bool readStreamOptions(const Invocation& invocation, StreamOptions& options, CommandLine& line,
                       std::string& error) {
    if (!parseCommandLine(invocation, kStreamOptions, options, line, error)) return false;
    if (line.help) return true;
    if (!checkZoneChoice(options.zone, error)) return false;
    if (!line.operands.empty())
        return error = "stream reads standard input and writes standard output; it takes no file names",
               false;
    if (options.width == 0) return error = "stream needs --size WIDTHxHEIGHT", false;
    return true;
}

constinit const Command kStreamCommand{
    .name = "stream",
    .synopsis = "velmo stream --size WxH [OPTIONS] < RAW-IN > RAW-OUT\n",
    .summary = "the filter on raw 32-bit video frames, standard input to standard output",
    .about =
        "stream filters raw 32-bit frames (FFmpeg's bgr0 or bgra, rows top-down) from standard input\n"
        "to standard output. An input without a single frame is an error.\n"
        "Give the settings either as --config or as margins and --border, not both.\n",
    .options = [] { return optionSpecs(kStreamOptions); },
    .run = runStream,
};
