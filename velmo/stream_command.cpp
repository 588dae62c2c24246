#include "velmo/stream_command.h"

#include <unistd.h>

#include <cstdio>

#include "core/script_line.h"
#include "velmo/image/picture.h"
#include "velmo/progress_line.h"
#include "velmo/raw_stream.h"

namespace {

// Frames without --pix-fmt: 32-bit, bgr0 or bgra alike, since both keep every pixel's fourth byte
// and paint it opaque.
constexpr AVPixelFormat kThirtyTwoBitFrames = AV_PIX_FMT_BGRA;

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

// FFmpeg's own names ("yuv422p10le"), as its -pix_fmt takes them.
bool takePixelFormat(StreamOptions& options, std::string_view, std::string_view value, std::string& error) {
    const AVPixelFormat format = av_get_pix_fmt(std::string(value).c_str());
    if (format == AV_PIX_FMT_NONE) {
        error =
            "unknown pixel format " + quotedLine(value) +
            ": expected one of FFmpeg's names, such as yuv422p or yuv422p10le (ffmpeg -pix_fmts lists them)";
        return false;
    }
    options.pixelFormat = format;
    return true;
}

template <class Value>
struct Named {
    std::string_view name;
    Value value;
};

// Our words first, then FFmpeg's for the same thing (-color_range, -colorspace).
constexpr Named<AVColorRange> kRanges[] = {
    {"limited", AVCOL_RANGE_MPEG}, {"full", AVCOL_RANGE_JPEG}, {"tv", AVCOL_RANGE_MPEG},
    {"mpeg", AVCOL_RANGE_MPEG},    {"pc", AVCOL_RANGE_JPEG},   {"jpeg", AVCOL_RANGE_JPEG},
};
constexpr Named<AVColorSpace> kMatrices[] = {
    {"bt601", AVCOL_SPC_SMPTE170M},     {"bt709", AVCOL_SPC_BT709},     {"bt2020", AVCOL_SPC_BT2020_NCL},
    {"smpte170m", AVCOL_SPC_SMPTE170M}, {"bt470bg", AVCOL_SPC_BT470BG}, {"bt2020nc", AVCOL_SPC_BT2020_NCL},
};

template <class Value, std::size_t count>
bool takeNamed(const Named<Value> (&names)[count], std::string_view expected, Value& into,
               std::string_view option, std::string_view value, std::string& error) {
    for (const Named<Value>& named : names)
        if (named.name == value) {
            into = named.value;
            return true;
        }
    error = std::string(option) + " takes " + std::string(expected) + ", not " + quotedLine(value);
    return false;
}

constexpr Option<StreamOptions> kStreamOptions[] = {
    {.name = "--size",
     .value = "WxH",
     .help = "the frames' width and height in pixels (required)",
     .take = takeSize},
    {.name = "--pix-fmt",
     .value = "F",
     .help = "the frames' pixel format by FFmpeg's name: yuv422p, yuv422p10le, gray, gbrp ...",
     .take = takePixelFormat},
    {.name = "--interlaced",
     .help = "the frames hold two fields, and no line leaves its field",
     .take =
         [](StreamOptions& options, std::string_view, std::string_view, std::string&) {
             options.interlaced = true;
             return true;
         }},
    {.name = "--range",
     .value = "R",
     .help = "limited or full: the range of YUV and gray frames, for the black painted",
     .take =
         [](StreamOptions& options, std::string_view option, std::string_view value, std::string& error) {
             return takeNamed(kRanges, "limited or full", options.range, option, value, error);
         }},
    {.name = "--matrix",
     .value = "M",
     .help = "bt601, bt709 or bt2020: the matrix of YUV and gray frames, for the outline's red",
     .take =
         [](StreamOptions& options, std::string_view option, std::string_view value, std::string& error) {
             return takeNamed(kMatrices, "bt601, bt709 or bt2020", options.matrix, option, value, error);
         }},
    kZoneLineOption<StreamOptions>,
    kZoneUpOption<StreamOptions>,
    kZoneLeftOption<StreamOptions>,
    kZoneRightOption<StreamOptions>,
    kZoneDownOption<StreamOptions>,
    kZoneBorderOption<StreamOptions>,
    kZoneShowFrameOption<StreamOptions>,
};

// The frames' format from the options, or a one-line `error` naming what the transform cannot take.
bool resolveFormat(StreamOptions& options, std::string& error) {
    const bool named = options.pixelFormat != AV_PIX_FMT_NONE;
    const AVPixelFormat format = named ? options.pixelFormat : kThirtyTwoBitFrames;
    const std::string shown = (named ? pixelFormatName(format) : "32-bit") + " frames";
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    const bool rgb = descriptor != nullptr && (descriptor->flags & AV_PIX_FMT_FLAG_RGB);
    // An RGB picture has no range or matrix of its own to paint in: saying one is a mistake.
    if (rgb && options.range != AVCOL_RANGE_UNSPECIFIED)
        return error = "--range is for YUV and gray frames; " + shown + " are RGB, always full range", false;
    if (rgb && options.matrix != AVCOL_SPC_UNSPECIFIED)
        return error = "--matrix is for YUV and gray frames; " + shown + " are RGB", false;
    const FrameFacts facts{options.width, options.height, options.interlaced, options.range, options.matrix};
    std::string why;
    if (planarFormatOf(format, facts, options.format, why)) return true;
    error = why;
    // Where FFmpeg can give the same samples in a format the transform takes, say which.
    AVPixelFormat moved = AV_PIX_FMT_NONE;
    std::string ignored;
    if (movedFormatFor(format, moved, ignored) && moved != format)
        error +=
            "; have FFmpeg write -pix_fmt " + pixelFormatName(moved) + " instead, which keeps every sample";
    return false;
}

// "1 line", "3 lines"; the count is a shift of at most 2^31 rows either way.
std::string lineCount(std::int64_t rows) {
    const std::int64_t count = rows < 0 ? -rows : rows;
    return std::to_string(count) + (count == 1 ? " line" : " lines");
}

std::string linesMoved(std::int64_t rows) {
    return lineCount(rows) + (rows > 0 ? " down" : rows < 0 ? " up" : "");
}

// An interlaced frame's shift is rounded to keep the fields apart: the user is told once.
void tellRoundedShift(const VerticalShift& shift) {
    if (shift.used == shift.exact) return;
    const std::int64_t below = shift.used - shift.exact;  // rows below the exact centre
    std::fprintf(stderr,
                 "velmo: the frames are interlaced: the picture moves %s, not %s, to keep each line in its "
                 "field, and sits %s %s the exact centre\n",
                 linesMoved(shift.used).c_str(), linesMoved(shift.exact).c_str(), lineCount(below).c_str(),
                 below > 0 ? "below" : "above");
}

int runStream(const Invocation& invocation) {
    StreamOptions options;
    CommandLine line;
    std::string error;
    if (!readStreamOptions(invocation, options, line, error)) return usageError(invocation, error);
    if (line.help) return showUsage(invocation.command);

    ProgressLine progress;
    const StreamReport report = filterRawStream(
        STDIN_FILENO, STDOUT_FILENO, zoneOf(options.zone.settings), viewOf(options.zone.settings),
        options.format,
        StreamWatch{.firstFrame = tellRoundedShift,
                    .progress = [&progress](std::uint64_t frames) { progress.update(frames); }});
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
    return resolveFormat(options, error);
}

constinit const Command kStreamCommand{
    .name = "stream",
    .synopsis = "velmo stream --size WxH [--pix-fmt F] [OPTIONS] < RAW-IN > RAW-OUT\n",
    .summary = "the filter on raw video frames, standard input to standard output",
    .about =
        "stream filters raw frames from standard input to standard output, on their own samples:\n"
        "each frame is its planes one after another, rows top-down and packed, as\n"
        "ffmpeg -f rawvideo -pix_fmt F reads and writes them. Without --pix-fmt the frames are\n"
        "32-bit (bgr0 or bgra). Every sample out is a copy of a sample of its plane, or painted.\n"
        "Defaults: progressive frames; YUV in limited range, gray in full (RGB is always full);\n"
        "the BT.601 matrix below 720 lines, BT.709 from 720.\n"
        "An input without a single frame, or ending in a short frame, is an error.\n"
        "Give the settings either as --config or as margins and --border, not both.\n",
    .options = [] { return optionEntries(kStreamOptions); },
    .run = runStream,
};
