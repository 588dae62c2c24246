#include "velmo/velmo_options.h"

#include <charconv>
#include <string_view>

#include "core/script_line.h"

namespace {

bool parseInt(std::string_view text, std::int32_t& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

// "720x576": both positive, and a frame small enough that its byte count fits comfortably.
bool parseSize(std::string_view text, std::int32_t& width, std::int32_t& height) {
    const std::size_t cross = text.find('x');
    if (cross == std::string_view::npos) return false;
    if (!parseInt(text.substr(0, cross), width) || !parseInt(text.substr(cross + 1), height)) return false;
    constexpr std::int32_t kLargest = 32768;
    return width > 0 && height > 0 && width <= kLargest && height <= kLargest;
}

}  // namespace

bool parseVelmoOptions(int argc, const char* const* argv, VelmoOptions& options, std::string& error) {
    if (argc < 2) {
        error = "no command: expected apply or stream";
        return false;
    }
    const std::string_view command = argv[1];
    if (command == "apply") {
        options.mode = VelmoOptions::Mode::Apply;
    } else if (command == "stream") {
        options.mode = VelmoOptions::Mode::Stream;
    } else {
        error = "unknown command " + std::string(command) + ": expected apply or stream";
        return false;
    }

    ZoneSettings& settings = options.settings;
    initZoneSettings(settings, FrameBitmap{});
    bool haveLine = false, haveFlags = false, haveSize = false, showFrame = false;
    std::int32_t* flagTarget[] = {&settings.up, &settings.left, &settings.right, &settings.down};
    const char* flagNames[] = {"--up", "--left", "--right", "--down"};
    std::string files[2];
    int fileCount = 0;

    for (int k = 2; k < argc; ++k) {
        const std::string_view argument = argv[k];
        const bool hasValue = k + 1 < argc;
        bool known = false;
        for (int side = 0; side < 4; ++side) {
            if (argument != flagNames[side]) continue;
            known = true;
            if (!hasValue || !parseInt(argv[k + 1], *flagTarget[side])) {
                error = std::string(argument) + " needs a whole number from -2147483648 to 2147483647";
                return false;
            }
            ++k;
            haveFlags = true;
        }
        if (known) continue;
        if (argument == "--border") {
            settings.addBorder = 1;
            haveFlags = true;
        } else if (argument == "--config") {
            if (!hasValue) {
                error = "--config needs a settings line such as Config(3,5,7,9,1)";
                return false;
            }
            if (!applyScriptLine(settings, argv[k + 1], error)) return false;
            ++k;
            haveLine = true;
        } else if (argument == "--size") {
            if (!hasValue || !parseSize(argv[k + 1], options.width, options.height)) {
                error = "bad frame size \"" + std::string(hasValue ? argv[k + 1] : "") +
                        "\": expected WIDTHxHEIGHT, such as 720x576";
                return false;
            }
            ++k;
            haveSize = true;
        } else if (argument == "--show-frame") {
            showFrame = true;
        } else if (argument.substr(0, 1) == "-" && argument.size() > 1) {
            error = "unknown option " + std::string(argument);
            return false;
        } else if (fileCount < 2) {
            files[fileCount++] = argument;
        } else {
            error = "too many file names";
            return false;
        }
    }

    if (haveLine && haveFlags) {
        error = "give the settings either as --config or as --up/--left/--right/--down/--border, not both";
        return false;
    }
    settings.showFrame = showFrame ? 1 : 0;
    if (options.mode == VelmoOptions::Mode::Stream) {
        if (!haveSize) error = "stream needs --size WIDTHxHEIGHT";
        if (fileCount > 0)
            error = "stream reads standard input and writes standard output; it takes no file names";
        return error.empty();
    }
    if (haveSize) {
        error = "apply takes the size from the picture; --size is for stream";
        return false;
    }
    if (fileCount != 2) {
        error = "apply needs an input and an output picture";
        return false;
    }
    options.input = files[0];
    options.output = files[1];
    return true;
}
