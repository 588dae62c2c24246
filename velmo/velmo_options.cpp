#include "velmo/velmo_options.h"

#include <string_view>

#include "core/script_line.h"
#include "velmo/image/picture.h"

namespace {

constexpr unsigned kApply = 1, kStream = 2, kBoth = kApply | kStream;

// What the options said so far, for the rules that span several of them.
struct ParseState {
    VelmoOptions& options;
    bool haveLine = false;
    bool haveFlags = false;
    bool haveSize = false;
};

using Take = bool (*)(ParseState& state, std::string_view option, std::string_view value, std::string& error);

struct OptionRow {
    std::string_view name;
    std::string_view value;  // the word shown for its value; empty for a switch
    unsigned commands;
    std::string_view help;
    Take take;
};

template <std::int32_t ZoneSettings::*margin>
bool takeMargin(ParseState& state, std::string_view option, std::string_view value, std::string& error) {
    if (!readWholeNumber(value, state.options.settings.*margin)) {
        error = std::string(option) + " needs a whole number from -2147483648 to 2147483647, not " +
                quotedLine(value);
        return false;
    }
    state.haveFlags = true;
    return true;
}

bool takeConfig(ParseState& state, std::string_view, std::string_view value, std::string& error) {
    state.haveLine = true;
    return applyScriptLine(state.options.settings, value, error);
}

bool takeBorder(ParseState& state, std::string_view, std::string_view, std::string&) {
    state.options.settings.addBorder = 1;
    state.haveFlags = true;
    return true;
}

bool takeShowFrame(ParseState& state, std::string_view, std::string_view, std::string&) {
    state.options.settings.showFrame = 1;
    return true;
}

// "720x576", each side from 1 to the largest the tools accept.
bool takeSize(ParseState& state, std::string_view, std::string_view value, std::string& error) {
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
    state.options.width = w;
    state.options.height = h;
    state.haveSize = true;
    return true;
}

bool takeHelp(ParseState& state, std::string_view, std::string_view, std::string&) {
    state.options.helpFor = state.options.mode == VelmoOptions::Mode::Apply ? VelmoOptions::Command::Apply
                                                                            : VelmoOptions::Command::Stream;
    state.options.mode = VelmoOptions::Mode::Help;
    return true;
}

constexpr OptionRow kOptions[] = {
    {"--config", "LINE", kBoth, "the settings as the plug-in saves them, e.g. \"Config(3,5,7,9,1)\"",
     takeConfig},
    {"--up", "N", kBoth, "margin at the top (default 1)", takeMargin<&ZoneSettings::up>},
    {"--left", "N", kBoth, "margin at the left (default 1)", takeMargin<&ZoneSettings::left>},
    {"--right", "N", kBoth, "margin at the right (default 1)", takeMargin<&ZoneSettings::right>},
    {"--down", "N", kBoth, "margin at the bottom (default 1)", takeMargin<&ZoneSettings::down>},
    {"--border", "", kBoth, "black out everything outside the centred window", takeBorder},
    {"--show-frame", "", kBoth, "draw the zone's outline in red instead of shifting", takeShowFrame},
    {"--size", "WxH", kStream, "the frames' width and height in pixels (required)", takeSize},
    {"--help", "", kBoth, "show this text", takeHelp},
};

const OptionRow* findOption(std::string_view name) {
    for (const OptionRow& row : kOptions)
        if (row.name == name) return &row;
    return nullptr;
}

std::string_view commandName(unsigned command) {
    return command == kApply ? "apply" : "stream";
}

}  // namespace

std::string velmoUsage(VelmoOptions::Command command) {
    const bool apply = command != VelmoOptions::Command::Stream;
    const bool stream = command != VelmoOptions::Command::Apply;
    std::string text;
    const char* lead = "usage: ";
    if (apply) {
        text += std::string(lead) + "velmo apply [OPTIONS] IN OUT\n";
        lead = "       ";
    }
    if (stream) {
        text += std::string(lead) + "velmo stream --size WxH [OPTIONS] < RAW-IN > RAW-OUT\n";
        lead = "       ";
    }
    if (command == VelmoOptions::Command::All)
        text +=
            "       velmo suggest IN [--frames N] [--preview OUT.png]   (velmo suggest --help)\n"
            "       velmo --version\n";
    if (apply)
        text += "apply reads a PNG, BMP or JPEG picture (at most " + std::to_string(kLargestPictureSide) +
                " pixels per side) and writes\nPNG or BMP, as OUT's name says.\n";
    if (stream)
        text +=
            "stream filters raw 32-bit frames (FFmpeg's bgr0 or bgra, rows top-down) from standard input\n"
            "to standard output.\n";
    text += "Give the settings either as --config or as margins and --border, not both.\nOptions:\n";
    const unsigned shown = (apply ? kApply : 0) | (stream ? kStream : 0);
    for (const OptionRow& row : kOptions) {
        if ((row.commands & shown) == 0) continue;
        std::string left = "  " + std::string(row.name);
        if (!row.value.empty()) left += " " + std::string(row.value);
        left.resize(std::max<std::size_t>(left.size() + 2, 22), ' ');
        text += left + std::string(row.help);
        if (row.commands != kBoth && command == VelmoOptions::Command::All)
            text += " (" + std::string(commandName(row.commands)) + " only)";
        text += '\n';
    }
    return text;
}

bool parseVelmoOptions(int argc, const char* const* argv, VelmoOptions& options, std::string& error) {
    options = VelmoOptions{};
    initZoneSettings(options.settings, FrameBitmap{});
    const std::string_view command = argc >= 2 ? argv[1] : "";
    if (command == "--help" || command == "-h") {
        options.mode = VelmoOptions::Mode::Help;
        return true;
    }
    if (command == "--version") {
        options.mode = VelmoOptions::Mode::Version;
        return true;
    }
    unsigned commandBit = 0;
    if (command == "apply") {
        options.mode = VelmoOptions::Mode::Apply;
        commandBit = kApply;
    } else if (command == "stream") {
        options.mode = VelmoOptions::Mode::Stream;
        commandBit = kStream;
    } else {
        error = argc < 2 ? "no command: expected apply, stream or suggest"
                         : "unknown command " + quotedLine(command) + ": expected apply, stream or suggest";
        return false;
    }

    ParseState state{options};
    std::string files[2];
    int fileCount = 0;
    for (int k = 2; k < argc; ++k) {
        const std::string_view argument = argv[k];
        const OptionRow* row = findOption(argument == "-h" ? "--help" : argument);
        if (row != nullptr) {
            if ((row->commands & commandBit) == 0) {
                error = std::string(argument) + " is for " + std::string(commandName(row->commands)) +
                        ", not " + std::string(command);
                return false;
            }
            if (!row->value.empty() && k + 1 >= argc) {
                error = std::string(argument) + " needs a value: " + std::string(argument) + " " +
                        std::string(row->value);
                return false;
            }
            const std::string_view value = row->value.empty() ? std::string_view() : argv[++k];
            if (!row->take(state, argument, value, error)) return false;
            if (options.mode == VelmoOptions::Mode::Help) return true;
        } else if (argument.size() > 1 && argument[0] == '-') {
            error = "unknown option " + quotedLine(argument);
            return false;
        } else if (fileCount < 2) {
            files[fileCount++] = argument;
        } else {
            error = "too many file names";
            return false;
        }
    }

    if (state.haveLine && state.haveFlags) {
        error = "give the settings either as --config or as --up/--left/--right/--down/--border, not both";
        return false;
    }
    if (options.mode == VelmoOptions::Mode::Stream) {
        if (fileCount > 0) {
            error = "stream reads standard input and writes standard output; it takes no file names";
            return false;
        }
        if (!state.haveSize) {
            error = "stream needs --size WIDTHxHEIGHT";
            return false;
        }
        return true;
    }
    if (fileCount != 2) {
        error = "apply needs an input and an output picture";
        return false;
    }
    options.input = files[0];
    options.output = files[1];
    return true;
}
