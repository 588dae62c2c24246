#include "velmo/suggest_command.h"

#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "core/render_zone_frame.h"
#include "suggest/zone_suggestion.h"
#include "velmo/image/picture.h"
#include "velmo/video_frames.h"

namespace {

constexpr char kSuggestUsage[] =
    "usage: velmo suggest IN [--frames N] [--preview OUT.png]\n"
    "Finds the zone of an off-centre capture: the largest one whose edge lines are clean in every\n"
    "sampled frame. IN is a video FFmpeg can read (through the ffmpeg and ffprobe programs) or a PNG,\n"
    "BMP or JPEG still. Prints Config(up,left,right,down,1) on standard output and what it found on\n"
    "each side on standard error.\n"
    "  --frames N         frames sampled, spread over the whole video (1 to 500; default 50)\n"
    "  --preview OUT.png  writes a sampled frame with the zone's outline in red (PNG or BMP)\n";

constexpr int kDefaultFrames = 50;
constexpr int kMostFrames = 500;

struct SuggestOptions {
    std::string input;
    std::string preview;
    int frames = kDefaultFrames;
    bool help = false;
};

bool parseFrameCount(std::string_view text, int& frames) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), frames);
    return error == std::errc() && end == text.data() + text.size() && frames >= 1 && frames <= kMostFrames;
}

// The options, one row each: its name, whether a value follows, and how it is stored.
struct OptionRow {
    const char* name;
    bool takesValue;
    bool (*store)(SuggestOptions& options, std::string_view value, std::string& error);
};

constexpr OptionRow kOptions[] = {
    {"--frames", true,
     [](SuggestOptions& options, std::string_view value, std::string& error) {
         if (parseFrameCount(value, options.frames)) return true;
         error = "bad frame count \"" + std::string(value) + "\": --frames needs a whole number from 1 to " +
                 std::to_string(kMostFrames);
         return false;
     }},
    {"--preview", true,
     [](SuggestOptions& options, std::string_view value, std::string&) {
         options.preview = value;
         return true;
     }},
    {"--help", false,
     [](SuggestOptions& options, std::string_view, std::string&) {
         options.help = true;
         return true;
     }},
};

bool parseSuggestOptions(int argc, const char* const* argv, SuggestOptions& options, std::string& error) {
    bool haveInput = false;
    for (int k = 2; k < argc; ++k) {
        const std::string_view argument = argv[k];
        const OptionRow* row = nullptr;
        for (const OptionRow& candidate : kOptions)
            if (argument == candidate.name ||
                (argument == "-h" && std::string_view(candidate.name) == "--help"))
                row = &candidate;
        if (row != nullptr) {
            if (row->takesValue && k + 1 >= argc)
                return error = std::string(row->name) + " needs a value", false;
            if (!row->store(options, row->takesValue ? argv[++k] : "", error)) return false;
        } else if (argument.size() > 1 && argument[0] == '-') {
            return error = "unknown option " + std::string(argument), false;
        } else if (haveInput) {
            return error = "suggest takes one input file", false;
        } else {
            options.input = argument;
            haveInput = true;
        }
    }
    if (!options.help && !haveInput) return error = "suggest needs an input video or picture", false;
    return true;
}

int fail(const std::string& message, int code = 1) {
    std::fprintf(stderr, "velmo: %s\n", message.c_str());
    return code;
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

bool writePreview(const std::string& path, Picture frame, const ZoneSettings& suggested, std::string& error) {
    ZoneSettings outline = suggested;
    outline.showFrame = 1;
    Picture drawn = frame;
    renderZoneFrame(outline, bottomUpView(frame), bottomUpView(drawn));
    return savePicture(path, drawn, error);
}

}  // namespace

int runSuggestCommand(int argc, const char* const* argv) {
    SuggestOptions options;
    std::string error;
    if (!parseSuggestOptions(argc, argv, options, error))
        return fail(error + " (velmo suggest --help shows how)", 2);
    if (options.help) {
        std::fputs(kSuggestUsage, stdout);
        return 0;
    }
    // A preview name that cannot be written fails now, not after the frames are read.
    if (!options.preview.empty()) {
        const std::string extension =
            options.preview.size() >= 4 ? options.preview.substr(options.preview.size() - 4) : "";
        if (extension != ".png" && extension != ".PNG" && extension != ".bmp" && extension != ".BMP")
            return fail("cannot write " + options.preview + ": the preview's name must end in .png or .bmp",
                        2);
    }

    std::vector<Picture> frames;
    if (!readFrames(options, frames, error)) return fail(error);
    std::vector<FrameBitmap> bitmaps;
    for (Picture& frame : frames)
        bitmaps.push_back(bottomUpView(frame));
    ZoneSuggestion suggestion;
    if (!suggestZone(bitmaps, suggestion, error)) return fail(options.input + ": " + error);

    const ZoneSettings settings = suggestedSettings(suggestion);
    if (!options.preview.empty() &&
        !writePreview(options.preview, frames[suggestion.representativeFrame], settings, error))
        return fail(error);

    const ZoneSide sides[] = {ZoneSide::Up, ZoneSide::Left, ZoneSide::Right, ZoneSide::Down};
    for (int k = 0; k < 4; ++k)
        std::fprintf(stderr, "  %s\n",
                     describeSide(sides[k], suggestion.sides[static_cast<std::size_t>(k)]).c_str());
    char line[kScriptLineCapacity];
    formatScriptLine(settings, line, sizeof line);
    std::printf("%s\n", line);
    return std::fflush(stdout) == 0 ? 0 : fail("cannot write the settings line");
}
