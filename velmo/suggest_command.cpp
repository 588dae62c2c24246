#include "velmo/suggest_command.h"

#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "core/render_zone_frame.h"
#include "core/script_line.h"
#include "suggest/zone_suggestion.h"
#include "velmo/image/output_file.h"
#include "velmo/image/picture.h"
#include "velmo/video_frames.h"

namespace {

constexpr int kDefaultFrames = 50;
constexpr int kMostFrames = 500;

struct SuggestOptions {
    std::string input;
    std::string preview;
    int frames = kDefaultFrames;
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

bool readFrames(const SuggestOptions& options, std::vector<Picture>& frames, std::string& error) {
    if (!isStillPicture(options.input)) return readVideoFrames(options.input, options.frames, frames, error);
    Picture still;
    if (!loadPicture(options.input, still, error)) return false;
    frames.push_back(std::move(still));
    return true;
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

int runSuggest(const Invocation& invocation) {
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

}  // namespace

constinit const Command kSuggestCommand{
    .name = "suggest",
    .synopsis = "velmo suggest IN [--frames N] [--preview OUT.png]\n",
    .summary = "finds the zone of a capture and prints its settings line",
    .about =
        "Finds the zone of an off-centre capture: the largest one whose edge lines are clean in every\n"
        "sampled frame. IN is a video FFmpeg can read (through the ffmpeg and ffprobe programs) or a PNG,\n"
        "BMP or JPEG still. Prints Config(up,left,right,down,1) on standard output and what it found on\n"
        "each side on standard error.\n",
    .options = [] { return optionSpecs(kSuggestOptions); },
    .run = runSuggest,
};
