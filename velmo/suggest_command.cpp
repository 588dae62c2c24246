#include "velmo/suggest_command.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "core/render_zone_frame.h"
#include "core/script_line.h"
#include "suggest/capture_frame.h"
#include "suggest/zone_suggestion.h"
#include "velmo/image/output_file.h"
#include "velmo/image/picture.h"
#include "velmo/media/frame_sampler.h"

namespace {

constexpr int kDefaultFrames = 100;
// Memory the sampled frames may take: a frame costs the finder three bytes a pixel, so 8K video is
// sampled about fifteen times, 1080p a hundred times.
constexpr std::int64_t kSampleMemory = std::int64_t{1536} << 20;
constexpr int kMostFrames = 500;

struct SuggestOptions {
    std::string input;
    std::string preview;
    int frames = kDefaultFrames;
    int stream = -1;
};

bool parseFrameCount(std::string_view text, int& frames) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), frames);
    return error == std::errc() && end == text.data() + text.size() && frames >= 1 && frames <= kMostFrames;
}

constexpr Option<SuggestOptions> kSuggestOptions[] = {
    {.name = "--frames",
     .value = "N",
     .help = "frames sampled, spread over the whole video (1 to 500; default 100)",
     .take =
         [](SuggestOptions& options, std::string_view, std::string_view value, std::string& error) {
             if (parseFrameCount(value, options.frames)) return true;
             error = "bad frame count " + quotedLine(value) + ": --frames needs a whole number from 1 to " +
                     std::to_string(kMostFrames);
             return false;
         }},
    {.name = "--stream",
     .value = "N",
     .help = "the video stream to read, by its number in the file (as ffprobe counts); needed when the file "
             "has more than one",
     .take =
         [](SuggestOptions& options, std::string_view, std::string_view value, std::string& error) {
             const auto [end, status] =
                 std::from_chars(value.data(), value.data() + value.size(), options.stream);
             if (status == std::errc() && end == value.data() + value.size() && options.stream >= 0)
                 return true;
             error = "bad stream number " + quotedLine(value) + ": --stream needs a whole number from 0";
             return false;
         }},
    {.name = "--preview",
     .value = "OUT.png",
     .help = "writes a sampled frame with the zone's outline in red (PNG or BMP)",
     .take =
         [](SuggestOptions& options, std::string_view, std::string_view value, std::string&) {
             options.preview = value;
             return true;
         }},
};

bool readSuggestOptions(const Invocation& invocation, SuggestOptions& options, CommandLine& line,
                        std::string& error) {
    if (!parseCommandLine(invocation, kSuggestOptions, options, line, error)) return false;
    if (line.help) return true;
    if (line.operands.size() > 1) return error = "suggest takes one input file", false;
    if (line.operands.empty()) return error = "suggest needs an input video or picture", false;
    options.input = line.operands[0];
    return true;
}

// A sampled frame, converted to 8-bit limited-range yuv444p, as the finder reads it.
CaptureFrame captureFrameOf(const VideoFrame& sample, int sourceBitDepth) {
    const AVFrame& picture = *sample.picture;
    CaptureFrame frame;
    frame.w = picture.width;
    frame.h = picture.height;
    frame.interlaced = sample.interlaced;
    frame.topFieldFirst = sample.topFieldFirst;
    frame.sourceBitDepth = sourceBitDepth;
    std::vector<std::uint8_t>* planes[3] = {&frame.y, &frame.cb, &frame.cr};
    const std::size_t width = static_cast<std::size_t>(frame.w);
    for (int p = 0; p < 3; ++p) {
        planes[p]->resize(width * static_cast<std::size_t>(frame.h));
        for (std::int32_t row = 0; row < frame.h; ++row)
            std::copy_n(picture.data[p] + static_cast<std::ptrdiff_t>(row) * picture.linesize[p], width,
                        planes[p]->data() + static_cast<std::size_t>(row) * width);
    }
    return frame;
}

// How many frames fit in kSampleMemory at this size: the count asked for, or fewer for very large
// frames.
int affordableFrames(const VideoStreamInfo& stream, int asked) {
    const std::int64_t frameBytes =
        std::max<std::int64_t>(1, std::int64_t{stream.width} * stream.height * kCaptureFrameBytesPerPixel);
    return static_cast<int>(std::clamp<std::int64_t>(kSampleMemory / frameBytes, 1, asked));
}

// Samples the input's frames through the frame reader, as the finder reads them; a still is a clip
// of one frame. Refused when fewer than half the samples decode: a finding from the few left would
// pass for one from the clip.
bool readFrames(const SuggestOptions& options, std::vector<CaptureFrame>& frames, std::string& error) {
    VideoReaderOptions readerOptions;
    readerOptions.stream = options.stream;
    // Sampling seeks for nearly every frame it takes; threads over slices add no delay after a seek.
    readerOptions.frameThreads = false;
    VideoReader reader;
    if (!reader.open(options.input, readerOptions, error)) return false;
    const int count = affordableFrames(reader.stream(), options.frames);
    if (count < options.frames)
        std::fprintf(stderr, "  note: frames of %d x %d pixels: %d of the %d frames asked for are sampled\n",
                     reader.stream().width, reader.stream().height, count, options.frames);
    std::vector<VideoFrame> samples;
    SampleReport report;
    if (!sampleFrames(reader, count, AV_PIX_FMT_YUV444P, samples, report, error, AVCOL_RANGE_MPEG))
        return false;
    const std::string cause = report.lastFailure.empty() ? "" : " (" + report.lastFailure + ")";
    if (report.decoded == 0)
        return error = "cannot read " + quotedName(options.input) + ": " +
                       (report.lastFailure.empty() ? "no frame could be decoded" : report.lastFailure),
               false;
    if (2 * report.decoded < report.asked)
        return error = "cannot read " + quotedName(options.input) + ": only " +
                       std::to_string(report.decoded) + " of " + std::to_string(report.asked) +
                       " sampled frames could be decoded" + cause,
               false;
    const AVPixFmtDescriptor* source = av_pix_fmt_desc_get(reader.stream().pixelFormat);
    const int sourceBitDepth = source != nullptr ? source->comp[0].depth : 8;
    try {
        frames.reserve(samples.size());
        for (VideoFrame& sample : samples) {
            frames.push_back(captureFrameOf(sample, sourceBitDepth));
            sample.picture.reset();  // the finder's copy is all that is kept
        }
        return true;
    } catch (const std::bad_alloc&) {
        error = "cannot read " + quotedName(options.input) + ": not enough memory for " +
                std::to_string(samples.size()) + " frames of " + std::to_string(reader.stream().width) +
                " x " + std::to_string(reader.stream().height) + " pixels";
        return false;
    }
}

ZoneSettings suggestedSettings(const ZoneSuggestion& suggestion) {
    ZoneSettings settings{};
    applyConfigCommand(settings, suggestion.sides[0].margin, suggestion.sides[1].margin,
                       suggestion.sides[2].margin, suggestion.sides[3].margin, 1);
    return settings;
}

bool writePreview(OutputFile& preview, Picture frame, const ZoneSettings& suggested, std::string& error) {
    ZoneSettings outline = suggested;
    outline.showFrame = 1;
    Picture drawn = frame;
    renderZoneFrame(outline, bottomUpView(frame), bottomUpView(drawn));
    return writePicture(preview, drawn, error) && preview.commit(error);
}

// The frame as RGB again, for the preview, by BT.601's limited-range matrix.
Picture pictureOf(const CaptureFrame& frame) {
    Picture picture;
    picture.w = frame.w, picture.h = frame.h;
    picture.pixels.resize(frame.y.size());
    for (std::size_t k = 0; k < frame.y.size(); ++k) {
        const float y = 1.164f * (frame.y[k] - 16.0f), cb = frame.cb[k] - 128.0f, cr = frame.cr[k] - 128.0f;
        const auto channel = [](float v) {
            return static_cast<Pixel32>(std::clamp(std::lround(v), 0L, 255L));
        };
        picture.pixels[k] = (channel(y + 1.596f * cr) << 16) | (channel(y - 0.392f * cb - 0.813f * cr) << 8) |
                            channel(y + 2.017f * cb);
    }
    return picture;
}

// With the border on, the picture moves (down - up) >> 1 lines. An odd number puts each field on
// the other field's lines: interlaced video then plays its fields in the wrong order.
void reportFieldOrder(const ZoneSettings& settings) {
    const std::int64_t shift = (std::int64_t{settings.down} - settings.up) >> 1;
    if (shift % 2 == 0) return;
    // A line or two more on one side (the larger first) makes the move even and keeps the zone safe.
    ZoneSettings even = settings;
    for (const std::int32_t more : {1, 2}) {
        even = settings;
        (settings.down >= settings.up ? even.down : even.up) += more;
        if ((((std::int64_t{even.down} - even.up) >> 1) % 2) == 0) break;
    }
    char line[kScriptLineCapacity];
    formatScriptLine(even, line, sizeof line);
    std::fprintf(stderr,
                 "  note: this line moves the picture %lld line%s %s, an odd number: on interlaced video the "
                 "fields trade places; %s moves it by an even number\n",
                 static_cast<long long>(shift < 0 ? -shift : shift), shift == 1 || shift == -1 ? "" : "s",
                 shift > 0 ? "down" : "up", line);
}

int suggest(const Invocation& invocation) {
    SuggestOptions options;
    CommandLine line;
    std::string error;
    if (!readSuggestOptions(invocation, options, line, error)) return usageError(invocation, error);
    if (line.help) return showUsage(invocation.command);
    // A preview that cannot be written fails now, not after the frames are read.
    OutputFile preview;
    if (!options.preview.empty()) {
        if (!checkPictureOutputName(options.preview, error)) return fail(error, kExitUsage);
        if (!refuseInputAsOutput(options.input, options.preview, error) ||
            !preview.open(options.preview, ExistingOutput::Replace, error))
            return fail(error);
    }

    std::vector<CaptureFrame> frames;
    if (!readFrames(options, frames, error)) return fail(error);
    ZoneSuggestion suggestion;
    if (!suggestZone(frames, suggestion, error)) return fail(quotedName(options.input) + ": " + error);

    const ZoneSettings settings = suggestedSettings(suggestion);
    if (!options.preview.empty() &&
        !writePreview(preview, pictureOf(frames[suggestion.representativeFrame]), settings, error))
        return fail(error);

    const ZoneSide sides[] = {ZoneSide::Up, ZoneSide::Left, ZoneSide::Right, ZoneSide::Down};
    for (int k = 0; k < 4; ++k)
        std::fprintf(stderr, "  %s\n",
                     describeSide(sides[k], suggestion.sides[static_cast<std::size_t>(k)]).c_str());
    reportFieldOrder(settings);
    std::fprintf(stderr, "  FFmpeg: -vf \"frei0r=velmo:%d|%d|%d|%d|y\"\n", settings.up, settings.left,
                 settings.right, settings.down);
    char settingsLine[kScriptLineCapacity];
    formatScriptLine(settings, settingsLine, sizeof settingsLine);
    return printToStandardOutput(std::string(settingsLine) + "\n", error) ? 0 : fail(error);
}

int runSuggest(const Invocation& invocation) {
    try {
        return suggest(invocation);
    } catch (const std::bad_alloc&) {
        return fail("not enough memory to find the zone of these frames");
    }
}

}  // namespace

constinit const Command kSuggestCommand{
    .name = "suggest",
    .synopsis = "velmo suggest IN [--frames N] [--stream N] [--preview OUT.png]\n",
    .summary = "finds the zone of a capture and prints its settings line",
    .about =
        "Finds the zone of an off-centre capture: the largest one whose edge lines are clean in every\n"
        "sampled frame. IN is a video or a still picture in any format FFmpeg's libraries read. Prints\n"
        "Config(up,left,right,down,1) on standard output; on standard error, what it found on each side and\n"
        "how sure it is, and the line for FFmpeg's frei0r filter. When the frames cannot support an answer\n"
        "it says why and prints nothing.\n",
    .options = [] { return optionSpecs(kSuggestOptions); },
    .run = runSuggest,
};
