#include "velmo/suggest_command.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "core/render_zone_frame.h"
#include "suggest/capture_frame.h"
#include "suggest/zone_suggestion.h"
#include "velmo/image/picture.h"
#include "velmo/video_frames.h"

namespace {

constexpr char kSuggestUsage[] =
    "usage: velmo suggest IN [--frames N] [--preview OUT.png]\n"
    "Finds the zone of an off-centre capture: the largest one whose edge lines are clean in every\n"
    "sampled frame. IN is a video FFmpeg can read (through the ffmpeg and ffprobe programs) or a PNG,\n"
    "BMP or JPEG still. Prints Config(up,left,right,down,1) on standard output; on standard error, what\n"
    "it found on each side and how sure it is, and the line for FFmpeg's frei0r filter. When the\n"
    "frames cannot support an answer it says why and prints nothing.\n"
    "  --frames N         frames sampled, spread over the whole video (1 to 500; default 100)\n"
    "  --preview OUT.png  writes a sampled frame with the zone's outline in red (PNG or BMP)\n";

constexpr int kDefaultFrames = 100;
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
    std::fprintf(
        stderr,
        "  note: this line moves the picture %lld line%s %s, an odd number: on interlaced video the fields "
        "trade places; %s moves it by an even number\n",
        static_cast<long long>(shift < 0 ? -shift : shift), shift == 1 || shift == -1 ? "" : "s",
        shift > 0 ? "down" : "up", line);
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
    // Fewer than half the frames asked for decoded: too little of the clip to answer for.
    const int asked = isStillPicture(options.input) ? 1 : options.frames;
    if (static_cast<int>(frames.size()) * 2 < asked)
        return fail(options.input + ": only " + std::to_string(frames.size()) + " of the " +
                    std::to_string(asked) + " frames asked for could be decoded: too few to answer for");
    std::vector<CaptureFrame> captured;
    for (Picture& frame : frames) {
        captured.push_back(captureFrameFromBitmap(bottomUpView(frame)));
        frame.pixels = {};  // the finder's copy is all that is kept
    }
    ZoneSuggestion suggestion;
    if (!suggestZone(captured, suggestion, error)) return fail(options.input + ": " + error);

    const ZoneSettings settings = suggestedSettings(suggestion);
    if (!options.preview.empty() &&
        !writePreview(options.preview, pictureOf(captured[suggestion.representativeFrame]), settings, error))
        return fail(error);

    const ZoneSide sides[] = {ZoneSide::Up, ZoneSide::Left, ZoneSide::Right, ZoneSide::Down};
    for (int k = 0; k < 4; ++k)
        std::fprintf(stderr, "  %s\n",
                     describeSide(sides[k], suggestion.sides[static_cast<std::size_t>(k)]).c_str());
    reportFieldOrder(settings);
    std::fprintf(stderr, "  FFmpeg: -vf \"frei0r=velmo:%d|%d|%d|%d|y\"\n", settings.up, settings.left,
                 settings.right, settings.down);
    char line[kScriptLineCapacity];
    formatScriptLine(settings, line, sizeof line);
    std::printf("%s\n", line);
    return std::fflush(stdout) == 0 ? 0 : fail("cannot write the settings line");
}
