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
#include "core/zone_settings.h"
#include "velmo/image/output_file.h"
#include "velmo/image/picture.h"
#include "velmo/stream_option.h"
#include "velmo/zone_finding.h"

namespace {

struct SuggestOptions {
    std::string input;
    std::string preview;
    int frames = kDefaultFinderFrames;
    int stream = -1;
};

bool parseFrameCount(std::string_view text, int& frames) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), frames);
    return error == std::errc() && end == text.data() + text.size() && frames >= 1 &&
           frames <= kMostFinderFrames;
}

constexpr Option<SuggestOptions> kSuggestOptions[] = {
    {.name = "--frames",
     .value = "N",
     .help = "frames sampled, spread over the whole video (1 to 500; default 100)",
     .take =
         [](SuggestOptions& options, std::string_view, std::string_view value, std::string& error) {
             if (parseFrameCount(value, options.frames)) return true;
             error = "bad frame count " + quotedLine(value) + ": --frames needs a whole number from 1 to " +
                     std::to_string(kMostFinderFrames);
             return false;
         }},
    kVideoStreamOption<SuggestOptions>,
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

bool writePreview(OutputFile& preview, Picture& frame, const Zone& suggested, std::string& error) {
    ZoneSettings outline{};
    storeZone(outline, suggested);
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

    FoundZone found;
    const ZoneFinderOptions finder{
        .stream = options.stream, .frames = options.frames, .keepPreviewFrame = !options.preview.empty()};
    if (!findZone(options.input, finder, found, error)) return fail(error);
    if (!options.preview.empty() && !writePreview(preview, found.previewFrame, found.zone, error))
        return fail(error);
    for (const std::string& side : found.report)
        std::fprintf(stderr, "  %s\n", side.c_str());
    if (const std::string note = oddShiftNote(found.zone); !note.empty())
        std::fprintf(stderr, "  %s\n", note.c_str());
    std::fprintf(stderr, "  FFmpeg: -vf \"%s\"\n", frei0rFilterLine(found.zone).c_str());
    return printToStandardOutput(configLine(found.zone) + "\n", error) ? 0 : fail(error);
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
    .options = [] { return optionEntries(kSuggestOptions); },
    .run = runSuggest,
};
