// The one command-line parser: apply's and stream's options as users write them, and the parser's
// own rules on a command shaped like `velmo fix` (a letter option, a repeated option, many inputs).

#include "velmo/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/script_line.h"
#include "velmo/apply_command.h"
#include "velmo/stream_command.h"

namespace {

std::vector<Command> peers(const Command& own) {
    return {kApplyCommand, kStreamCommand, own};
}

struct ZoneCase {
    std::vector<const char*> arguments;  // after "velmo"
    bool accepted;
    const char* line;  // the settings as the plug-in would save them
    int showFrame;
    const char* errorMentions;
};

// apply's or stream's options, read by the command named first.
bool readZoneCommand(const std::vector<const char*>& words, ZoneSettings& settings, std::string& error) {
    const std::vector<Command> commands = peers(kApplyCommand);
    const std::span<const char* const> arguments(words.data() + 1, words.size() - 1);
    CommandLine line;
    if (std::string_view(words[0]) == "apply") {
        ApplyOptions options;
        const bool read =
            readApplyOptions(Invocation{commands[0], commands, arguments}, options, line, error);
        settings = options.zone.settings;
        return read;
    }
    StreamOptions options;
    const bool read = readStreamOptions(Invocation{commands[1], commands, arguments}, options, line, error);
    settings = options.zone.settings;
    return read;
}

class ZoneOptions : public testing::TestWithParam<ZoneCase> {};

TEST_P(ZoneOptions, ReadsSettingsFromALineOrFlagsButNotBoth) {
    const ZoneCase& c = GetParam();
    ZoneSettings settings{};
    std::string error;
    ASSERT_EQ(readZoneCommand(c.arguments, settings, error), c.accepted) << error;
    if (!c.accepted) {
        EXPECT_NE(error.find(c.errorMentions), std::string::npos) << error;
        return;
    }
    char line[kScriptLineCapacity];
    ASSERT_TRUE(formatScriptLine(settings, line, sizeof line));
    EXPECT_STREQ(line, c.line);
    EXPECT_EQ(settings.showFrame, c.showFrame);
}

INSTANTIATE_TEST_SUITE_P(
    Velmo, ZoneOptions,
    testing::Values(
        ZoneCase{{"apply", "in.png", "out.png"}, true, "Config(1,1,1,1,0)", 0, ""},
        ZoneCase{{"apply", "--config", "Config(3,5,7,9,1)", "in.png", "out.png"},
                 true,
                 "Config(3,5,7,9,1)",
                 0,
                 ""},
        ZoneCase{
            {"apply", "--config=Config(3,5,7,9,1)", "in.png", "out.png"}, true, "Config(3,5,7,9,1)", 0, ""},
        ZoneCase{{"apply", "--up", "3", "--left", "5", "--right", "7", "--down", "9", "--border", "a", "b"},
                 true,
                 "Config(3,5,7,9,1)",
                 0,
                 ""},
        ZoneCase{{"apply", "--show-frame", "--down", "-4", "a", "b"}, true, "Config(1,1,1,-4,0)", 1, ""},
        ZoneCase{{"apply", "a", "--down=-4", "b"}, true, "Config(1,1,1,-4,0)", 0, ""},
        ZoneCase{{"apply", "--up", "2", "--up", "6", "a", "b"}, true, "Config(6,1,1,1,0)", 0, ""},
        ZoneCase{{"stream", "--size", "720x576", "--config", "Config(3,5,7,9,1)"},
                 true,
                 "Config(3,5,7,9,1)",
                 0,
                 ""},
        ZoneCase{{"apply", "--config", "Config(3,5,7,9,1)", "--up", "2", "a", "b"}, false, "", 0, "not both"},
        ZoneCase{{"apply", "--border", "--config", "Config(3,5,7,9,1)", "a", "b"}, false, "", 0, "not both"},
        ZoneCase{{"apply", "--config", "Config(3,5,7,9)", "a", "b"}, false, "", 0, "bad settings line"},
        ZoneCase{{"apply", "--up", "2147483648", "a", "b"}, false, "", 0, "--up"},
        ZoneCase{{"apply", "--left"}, false, "", 0, "--left needs a value: --left N"},
        ZoneCase{{"apply", "--border=1", "a", "b"}, false, "", 0, "--border takes no value"},
        ZoneCase{{"apply", "in.png"}, false, "", 0, "input and an output"},
        ZoneCase{{"apply", "a", "b", "c"}, false, "", 0, "too many file names"},
        ZoneCase{{"stream"}, false, "", 0, "--size"},
        ZoneCase{{"stream", "--size", "720*576"}, false, "", 0, "bad frame size"},
        ZoneCase{{"stream", "--size", "0x576"}, false, "", 0, "bad frame size"},
        ZoneCase{{"stream", "--size", "16385x576"}, false, "", 0, "too large: at most 16384 pixels per side"},
        ZoneCase{{"stream", "--size", "16384x16384", "--config", "Config(3,5,+7,9,1)\r\n"},
                 true,
                 "Config(3,5,7,9,1)",
                 0,
                 ""},
        ZoneCase{{"apply", "--up", "+3", "--right", "-0", "a", "b"}, true, "Config(3,1,0,1,0)", 0, ""},
        ZoneCase{{"apply", "--up", " 3", "a", "b"}, false, "", 0, "--up needs a whole number"},
        ZoneCase{{"apply", "--size", "720x576", "a", "b"}, false, "", 0, "--size is for stream, not apply"},
        ZoneCase{{"apply", "--config", "Config(3,5,7,9", "a", "b"}, false, "", 0, "at character 15"},
        ZoneCase{{"stream", "--size", "720x576", "file.raw"}, false, "", 0, "standard input"},
        ZoneCase{{"apply", "--sharpen", "a", "b"}, false, "", 0, "unknown option \"--sharpen\""},
        ZoneCase{{"apply", "-u", "3", "a", "b"}, false, "", 0, "unknown option \"-u\""}));

// A command shaped like `velmo fix IN... [-o OUT | --out-dir DIR] [--codec-option KEY=VALUE]...`.
struct FixLike {
    std::string output = {};
    std::string outDir = {};
    std::string config = {};
    std::vector<std::string> codecOptions = {};
    bool overwrite = false;
};

constexpr Option<FixLike> kFixLikeOptions[] = {
    {.letter = 'o',
     .value = "OUT",
     .help = "the output",
     .take =
         [](FixLike& options, std::string_view, std::string_view value, std::string&) {
             options.output = value;
             return true;
         }},
    {.name = "--out-dir",
     .value = "DIR",
     .help = "the outputs' folder",
     .take =
         [](FixLike& options, std::string_view, std::string_view value, std::string&) {
             options.outDir = value;
             return true;
         }},
    {.name = "--config",
     .value = "LINE",
     .help = "the zone",
     .take =
         [](FixLike& options, std::string_view, std::string_view value, std::string&) {
             options.config = value;
             return true;
         }},
    {.name = "--codec-option",
     .letter = 'c',
     .value = "KEY=VALUE",
     .help = "an encoder option (repeatable)",
     .take =
         [](FixLike& options, std::string_view option, std::string_view value, std::string& error) {
             if (value.find('=') == std::string_view::npos)
                 return error = std::string(option) + " needs KEY=VALUE", false;
             options.codecOptions.emplace_back(value);
             return true;
         }},
    {.name = "--overwrite",
     .help = "replace existing outputs",
     .take =
         [](FixLike& options, std::string_view, std::string_view, std::string&) {
             options.overwrite = true;
             return true;
         }},
};

const Command kFixLikeCommand{
    .name = "fixlike",
    .synopsis = "velmo fixlike IN... [-o OUT | --out-dir DIR]\n",
    .summary = "a test command",
    .about = "Fixes captures.\n",
    .options = [] { return optionEntries(kFixLikeOptions); },
    .run = nullptr,
};

struct ParserCase {
    const char* what;
    std::vector<const char*> arguments;  // after "velmo fixlike"
    const char* error;                   // empty when accepted
    std::vector<std::string> operands;
    FixLike expected;
    bool help;
};

class CommandLineParser : public testing::TestWithParam<ParserCase> {};

TEST_P(CommandLineParser, ReadsOptionsOperandsAndHelp) {
    const ParserCase& c = GetParam();
    const std::vector<Command> commands = peers(kFixLikeCommand);
    FixLike options;
    CommandLine line;
    std::string error;
    const bool read = parseCommandLine(Invocation{commands[2], commands, c.arguments}, kFixLikeOptions,
                                       options, line, error);
    if (*c.error != '\0') {
        EXPECT_FALSE(read);
        EXPECT_EQ(error, c.error);
        return;
    }
    ASSERT_TRUE(read) << error;
    EXPECT_EQ(line.operands, c.operands);
    EXPECT_EQ(line.help, c.help);
    EXPECT_EQ(options.output, c.expected.output);
    EXPECT_EQ(options.outDir, c.expected.outDir);
    EXPECT_EQ(options.config, c.expected.config);
    EXPECT_EQ(options.codecOptions, c.expected.codecOptions);
    EXPECT_EQ(options.overwrite, c.expected.overwrite);
}

INSTANTIATE_TEST_SUITE_P(
    Velmo, CommandLineParser,
    testing::Values(
        ParserCase{"many inputs among the options",
                   {"a.mkv", "--out-dir", "done", "b.mkv", "c.mkv"},
                   "",
                   {"a.mkv", "b.mkv", "c.mkv"},
                   {.outDir = "done"},
                   false},
        ParserCase{"a letter option", {"-o", "x.mkv", "a.mkv"}, "", {"a.mkv"}, {.output = "x.mkv"}, false},
        ParserCase{"a letter with its value attached",
                   {"a.mkv", "-ox.mkv"},
                   "",
                   {"a.mkv"},
                   {.output = "x.mkv"},
                   false},
        ParserCase{"a repeated option keeps every value, in order",
                   {"--codec-option", "crf=18", "a", "-c", "preset=slow", "--codec-option=g=1"},
                   "",
                   {"a"},
                   {.codecOptions = {"crf=18", "preset=slow", "g=1"}},
                   false},
        ParserCase{"an option given twice keeps the last value",
                   {"--out-dir", "one", "--out-dir", "two"},
                   "",
                   {},
                   {.outDir = "two"},
                   false},
        ParserCase{"a value may start with a dash",
                   {"--config", "-4", "-o", "-"},
                   "",
                   {},
                   {.output = "-", .config = "-4"},
                   false},
        ParserCase{"an empty value written with =", {"--config=", "a"}, "", {"a"}, {}, false},
        ParserCase{"-- ends the options",
                   {"--overwrite", "--", "-x.mkv", "--overwrite", "--help", "--"},
                   "",
                   {"-x.mkv", "--overwrite", "--help", "--"},
                   {.overwrite = true},
                   false},
        ParserCase{"a lone dash is an operand", {"-", "a"}, "", {"-", "a"}, {}, false},
        ParserCase{"help ends the reading", {"a", "--help", "--bogus"}, "", {"a"}, {}, true},
        ParserCase{"help by its letter", {"-o", "x", "-h"}, "", {}, {.output = "x"}, true},
        ParserCase{
            "a switch with a value", {"--overwrite=yes", "a"}, "--overwrite takes no value", {}, {}, false},
        ParserCase{"help with a value", {"--help=all"}, "--help takes no value", {}, {}, false},
        ParserCase{
            "a letter option without its value", {"a", "-o"}, "-o needs a value: -o OUT", {}, {}, false},
        ParserCase{"a long option without its value",
                   {"--out-dir"},
                   "--out-dir needs a value: --out-dir DIR",
                   {},
                   {},
                   false},
        ParserCase{"an unknown long option", {"--bogus", "a"}, "unknown option \"--bogus\"", {}, {}, false},
        ParserCase{"an unknown letter", {"-x"}, "unknown option \"-x\"", {}, {}, false},
        ParserCase{"an odd option is quoted", {"--a\nb"}, "unknown option \"--a\\nb\"", {}, {}, false},
        ParserCase{"another command's option",
                   {"--size", "720x576"},
                   "--size is for stream, not fixlike",
                   {},
                   {},
                   false},
        ParserCase{"an option of two other commands",
                   {"--border"},
                   "--border is for apply and stream, not fixlike",
                   {},
                   {},
                   false},
        ParserCase{"the row refuses its value", {"-c", "crf"}, "-c needs KEY=VALUE", {}, {}, false}),
    [](const testing::TestParamInfo<ParserCase>& info) { return "Case" + std::to_string(info.index); });

TEST(CommandLineParser, UsageIsGeneratedFromTheTable) {
    const std::string usage = commandUsage(kFixLikeCommand);
    EXPECT_EQ(usage,
              "usage: velmo fixlike IN... [-o OUT | --out-dir DIR]\n"
              "Fixes captures.\n"
              "Options:\n"
              "  -o OUT                        the output\n"
              "  --out-dir DIR                 the outputs' folder\n"
              "  --config LINE                 the zone\n"
              "  -c, --codec-option KEY=VALUE  an encoder option (repeatable)\n"
              "  --overwrite                   replace existing outputs\n"
              "  -h, --help                    show this text\n");
}

}  // namespace
