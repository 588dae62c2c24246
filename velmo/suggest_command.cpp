#include "velmo/suggest_command.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "core/render_zone_frame.h"
#include "core/script_line.h"
#include "suggest/zone_suggestion.h"
#include "velmo/image/output_file.h"
#include "velmo/image/picture.h"
#include "velmo/media/frame_converter.h"
#include "velmo/media/frame_sampler.h"

namespace {

constexpr int kDefaultFrames = 50;
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
     .help = "frames sampled, spread over the whole video (1 to 500; default 50)",
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

// The sampled frames as 32-bit pictures, each converted as the one before it is let go, so that
// memory holds the samples about once.
bool toPictures(std::vector<VideoFrame>& samples, std::vector<Picture>& frames, std::string& error) {
    FrameConverter converter;
    for (VideoFrame& sample : samples) {
        Picture picture;
        picture.w = sample.width();
        picture.h = sample.height();
        picture.pixels.resize(static_cast<std::size_t>(picture.w) * static_cast<std::size_t>(picture.h));
        std::uint8_t* planes[4] = {reinterpret_cast<std::uint8_t*>(picture.pixels.data()), nullptr, nullptr,
                                   nullptr};
        const int strides[4] = {picture.w * 4, 0, 0, 0};
        if (!converter.convertInto(*sample.picture, AV_PIX_FMT_BGR0, planes, strides, error)) return false;
        for (Pixel32& pixel : picture.pixels)
            pixel &= 0x00FFFFFFu;  // bgr0's fourth byte is padding
        sample.picture.reset();
        frames.push_back(std::move(picture));
    }
    return true;
}

// Samples the input's frames through the frame reader; a still is a clip of one frame. Refused when
// fewer than half the samples decode: a finding from the few left would pass for one from the clip.
bool readFrames(const SuggestOptions& options, std::vector<Picture>& frames, std::string& error) {
    VideoReaderOptions readerOptions;
    readerOptions.stream = options.stream;
    // Sampling seeks for nearly every frame it takes; threads over slices add no delay after a seek.
    readerOptions.frameThreads = false;
    VideoReader reader;
    if (!reader.open(options.input, readerOptions, error)) return false;
    std::vector<VideoFrame> samples;
    SampleReport report;
    if (!sampleFrames(reader, options.frames, AV_PIX_FMT_NONE, samples, report, error)) return false;
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
    try {
        frames.reserve(samples.size());
        return toPictures(samples, frames, error);
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

    std::vector<Picture> frames;
    if (!readFrames(options, frames, error)) return fail(error);
    std::vector<FrameBitmap> bitmaps;
    for (Picture& frame : frames)
        bitmaps.push_back(bottomUpView(frame));
    ZoneSuggestion suggestion;
    if (!suggestZone(bitmaps, suggestion, error)) return fail(quotedName(options.input) + ": " + error);

    const ZoneSettings settings = suggestedSettings(suggestion);
    if (!options.preview.empty() &&
        !writePreview(preview, frames[suggestion.representativeFrame], settings, error))
        return fail(error);

    const ZoneSide sides[] = {ZoneSide::Up, ZoneSide::Left, ZoneSide::Right, ZoneSide::Down};
    for (int k = 0; k < 4; ++k)
        std::fprintf(stderr, "  %s\n",
                     describeSide(sides[k], suggestion.sides[static_cast<std::size_t>(k)]).c_str());
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
        "Config(up,left,right,down,1) on standard output and what it found on each side on standard error.\n",
    .options = [] { return optionSpecs(kSuggestOptions); },
    .run = runSuggest,
};
