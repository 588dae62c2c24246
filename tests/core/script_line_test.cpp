#include "core/script_line.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Lines as users paste them: typed by hand, copied from the filter list's saved script (with the
// host's prefix and the Windows line end), or mangled on the way.
struct AcceptedLine {
    const char* line;
    Zone zone;
};

void PrintTo(const AcceptedLine& c, std::ostream* os) {
    *os << quotedLine(c.line);
}

class SettingsLineAccepted : public testing::TestWithParam<AcceptedLine> {};

TEST_P(SettingsLineAccepted, GivesTheZoneInSavedOrder) {
    const AcceptedLine& c = GetParam();
    Zone zone{-7, -7, -7, -7, !c.zone.border};
    std::string error;
    ASSERT_TRUE(parseConfigLine(c.line, zone, error)) << error;
    EXPECT_EQ(zone.up, c.zone.up);
    EXPECT_EQ(zone.left, c.zone.left);
    EXPECT_EQ(zone.right, c.zone.right);
    EXPECT_EQ(zone.down, c.zone.down);
    EXPECT_EQ(zone.border, c.zone.border);
}

INSTANTIATE_TEST_SUITE_P(
    ScriptLine, SettingsLineAccepted,
    testing::Values(
        AcceptedLine{"Config(3,5,7,9,1)", {3, 5, 7, 9, true}},
        AcceptedLine{"  Config ( 3 , 5,7 ,9, 1 ) ; ", {3, 5, 7, 9, true}},
        AcceptedLine{"\tConfig(3,5,+7,9,1)", {3, 5, 7, 9, true}},
        AcceptedLine{"Config(3,5,7,9,1)\r\n", {3, 5, 7, 9, true}},
        AcceptedLine{"Config(3,5,7,9,1);\r", {3, 5, 7, 9, true}},
        AcceptedLine{"Config(3,5,7,9,1)\n", {3, 5, 7, 9, true}},
        AcceptedLine{"VirtualDub.video.filters.instance[0].Config(3,5,7,9,1);", {3, 5, 7, 9, true}},
        AcceptedLine{"VirtualDub.video.filters.instance[12].Config(-2,0,40,1,5);\r\n", {-2, 0, 40, 1, true}},
        AcceptedLine{"VirtualDub . video.filters . instance [ 3 ] . Config(1,1,1,1,0)", {1, 1, 1, 1, false}},
        AcceptedLine{"Config(-2147483648,2147483647,+2147483647,-0,-1)",
                     {INT_MIN, INT_MAX, INT_MAX, 0, true}},
        AcceptedLine{"Config(007,00,+0,1,0000000000000000000002)", {7, 0, 0, 1, true}}));

// Refused lines: where the message says the line stopped making sense, and what it says there.
struct RefusedLine {
    std::string line;
    const char* where;
    const char* says;
};

void PrintTo(const RefusedLine& c, std::ostream* os) {
    *os << quotedLine(c.line);
}

class SettingsLineRefused : public testing::TestWithParam<RefusedLine> {};

TEST_P(SettingsLineRefused, SaysWhereInOneLineAndChangesNothing) {
    const RefusedLine& c = GetParam();
    ZoneSettings settings{};
    applyConfigCommand(settings, 2, 2, 2, 2, 0);
    const ZoneSettings before = settings;
    std::string error;
    ASSERT_FALSE(applyScriptLine(settings, c.line, error));
    EXPECT_EQ(error.rfind("bad settings line \"", 0), 0u) << error;
    EXPECT_NE(error.find(c.where), std::string::npos) << error;
    EXPECT_NE(error.find(c.says), std::string::npos) << error;
    EXPECT_EQ(error.find_first_of("\r\n"), std::string::npos) << "one line, control characters escaped";
    EXPECT_LT(error.size(), 300u) << "a long line is cut short in the message";
    EXPECT_EQ(std::memcmp(&settings, &before, sizeof settings), 0);
}

INSTANTIATE_TEST_SUITE_P(
    ScriptLine, SettingsLineRefused,
    testing::Values(
        RefusedLine{
            "", "at character 1:", "expected a call such as Config(3,5,7,9,1), found the end of the line"},
        RefusedLine{"Config(3,5,7,9)",
                    "at character 15:", "five numbers (up,left,right,down,border), found 4"},
        RefusedLine{"Config(3,5,7,9,1,2)", "at character 18:", "found 6"},
        RefusedLine{"Config(3,5,x,9,1)", "at character 12:", "expected a whole number, found \"x,9,1)\""},
        RefusedLine{"Config(3,5,7,9,2147483648)",
                    "at character 16:", "2147483648 is not a whole number from -2147483648 to 2147483647"},
        RefusedLine{"Config(3,5,7,9,-99999999999999999999999)",
                    "at character 16:", "-99999999999999999999999"},
        RefusedLine{"Config(3,5,7.5,9,1)", "at character 13:", "expected ',' or ')', found \".5,9,1)\""},
        RefusedLine{"Config(3 5,7,9,1)", "at character 10:", "expected ',' or ')'"},
        RefusedLine{"Config(- 3,5,7,9,1)", "at character 8:", "expected a whole number"},
        RefusedLine{"Config(3,,7,9,1)", "at character 10:", "expected a whole number"},
        RefusedLine{"config(3,5,7,9,1)",
                    "at character 1:", "expected Config, the filter's script function, found config"},
        RefusedLine{"Crop(1,2,3,4,5)", "at character 1:", "found Crop"},
        RefusedLine{"Config 3,5,7,9,1", "at character 8:", "expected '(' after Config"},
        RefusedLine{"Config(3,5,7,9,1", "at character 17:", "expected ',' or ')', found the end of the line"},
        RefusedLine{"Config(3,5,7,9,1) junk",
                    "at character 19:", "expected the end of the line, found \"junk\""},
        RefusedLine{"Config(3,5,7,9,1);;", "at character 19:", "found \";\""},
        RefusedLine{"Config(3,5,7,9,1)\r\nConfig(1,1,1,1,0)",
                    "at character 18:", "found \"\\r\\nConfig(1,1...\""},
        RefusedLine{"VirtualDub.video.filters.instance[].Config(3,5,7,9,1)",
                    "at character 35:", "expected VirtualDub.video.filters.instance[N]. before the call"},
        RefusedLine{"VirtualDub.video.filters.instance[-1].Config(3,5,7,9,1)",
                    "at character 35:", "instance[N]."},
        RefusedLine{"VirtualDub.audio.filters.instance[0].Config(3,5,7,9,1)",
                    "at character 12:", "instance[N]."},
        RefusedLine{"VirtualDub.video.filters.instance[0]Config(3,5,7,9,1)",
                    "at character 37:", "instance[N]."},
        RefusedLine{"Config(3,5,7,9,1\x01)", "at character 17:", "found \"\\x01)\""},
        RefusedLine{"Config(" + std::string(5000, '1') + ",5,7,9,1)",
                    "at character 8:", "is not a whole number"},
        RefusedLine{std::string(5000, ' ') + "Config(3,5,7,9)", "at character 5015:", "found 4"},
        RefusedLine{std::string(5000, 'x'), "at character 5001:",
                    "expected '(' after xxxxxxxxxxxxxxxxxxxxxxxx..., found the end of the line"},
        RefusedLine{std::string(5000, 'C') + "(3,5,7,9,1)", "at character 1:",
                    "expected Config, the filter's script function, found CCCCCCCCCCCCCCCCCCCCCCCC..."}));

// The host's interpreter reads any call of the script table; vdfhost runs them through this.
TEST(ScriptLine, ReadsAnyCallWithItsNameAndWholeNumbers) {
    struct Case {
        const char* line;
        const char* name;
        std::vector<std::int32_t> arguments;
    };
    for (const Case& c : {Case{"Crop(1,-2,+3)", "Crop", {1, -2, 3}}, Case{"Reset()", "Reset", {}},
                          Case{"VirtualDub.video.filters.instance[4].Config_2 ( 9 );", "Config_2", {9}},
                          Case{"VirtualDub(1)", "VirtualDub", {1}}}) {
        ScriptCall call{"stale", {42}};
        std::string error;
        ASSERT_TRUE(parseScriptCall(c.line, call, error)) << error;
        EXPECT_EQ(call.name, c.name);
        EXPECT_EQ(call.arguments, c.arguments) << c.line;
    }
}

// The plug-in's instance keeps the border's integer as the line gives it, and writes it back.
TEST(ScriptLine, StoresTheBorderIntegerAsTheCommandDoes) {
    for (const auto& [line, border] : {std::pair{"Config(3,5,7,9,5)", 5}, std::pair{"Config(3,5,7,9,-1)", -1},
                                       std::pair{"Config(3,5,7,9,0)", 0}}) {
        ZoneSettings settings{};
        settings.showFrame = 1;
        std::string error;
        ASSERT_TRUE(applyScriptLine(settings, line, error)) << error;
        EXPECT_EQ(settings.addBorder, border) << line;
        EXPECT_EQ(settings.up, 3);
        EXPECT_EQ(settings.down, 9);
        EXPECT_EQ(settings.showFrame, 1) << "the line does not hold Show frame";
    }
}

TEST(ScriptLine, WritesAZoneAsThePlugInSavesIt) {
    const std::pair<Zone, const char*> cases[] = {
        {Zone{}, "Config(1,1,1,1,0)"},
        {Zone{3, 5, 7, 9, true}, "Config(3,5,7,9,1)"},
        {Zone{INT_MIN, -2, 0, INT_MAX, false}, "Config(-2147483648,-2,0,2147483647,0)"},
    };
    for (const auto& [zone, line] : cases) {
        EXPECT_EQ(configLine(zone), line);
        Zone read{9, 9, 9, 9, !zone.border};
        std::string error;
        ASSERT_TRUE(parseConfigLine(configLine(zone), read, error)) << error;
        EXPECT_TRUE(read == zone) << line;
    }
}

TEST(ScriptLine, WritesAZoneAsFfmpegsFrei0rFilterTakesIt) {
    const std::pair<Zone, const char*> cases[] = {
        {Zone{4, 14, 5, 9, true}, "frei0r=velmo:4|14|5|9|y"},
        {Zone{}, "frei0r=velmo:1|1|1|1|n"},
        {Zone{INT_MIN, -2, 0, INT_MAX, false}, "frei0r=velmo:-2147483648|-2|0|2147483647|n"},
    };
    for (const auto& [zone, line] : cases)
        EXPECT_EQ(frei0rFilterLine(zone), line);
}

TEST(ScriptLine, QuotesLinesSafelyForMessages) {
    EXPECT_EQ(quotedLine("Config(1)"), "\"Config(1)\"");
    EXPECT_EQ(quotedLine("a\"b\\c\td\r\n\x7f"), "\"a\\\"b\\\\c\\td\\r\\n\\x7F\"");
    EXPECT_EQ(quotedLine("abcdef", 3), "\"abc...\"");
    EXPECT_EQ(quotedLine("abc", 3), "\"abc\"");
}

// File names in messages: plain names stay as typed (scripts and tests match them), any name that
// would break the message's line or change how the rest of it shows is quoted and escaped, whole.
TEST(ScriptLine, ShowsFileNamesOnOneLine) {
    const std::string longPlain(300, 'a');
    const std::string longOdd = std::string(150, 'b') + "\n" + std::string(150, 'c');
    struct Case {
        const char* what;
        std::string name;
        std::string shown;
    };
    const Case cases[] = {
        {"plain", "in.png", "in.png"},
        {"folders and blanks", "/tmp/my picture (2).png", "/tmp/my picture (2).png"},
        {"quotes and a backslash stay plain", "say \"hi\"\\x.png", "say \"hi\"\\x.png"},
        {"a leading dash", "-x.png", "-x.png"},
        {"UTF-8 text", "\xC3\xA9t\xC3\xA9 \xE6\x98\xA0\xE5\x83\x8F.png",
         "\xC3\xA9t\xC3\xA9 \xE6\x98\xA0\xE5\x83\x8F.png"},
        {"a four-byte character", "\xF0\x9F\x8E\xA5.mkv", "\xF0\x9F\x8E\xA5.mkv"},
        {"long and plain, never cut", longPlain, longPlain},
        {"empty", "", "\"\""},
        {"a newline", "a\nb.png", "\"a\\nb.png\""},
        {"a carriage return", "a\rb.png", "\"a\\rb.png\""},
        {"a terminal escape", "\x1B[31mred.png", "\"\\x1B[31mred.png\""},
        {"DEL", "a\x7F.png", "\"a\\x7F.png\""},
        {"C1 next line (U+0085)", "a\xC2\x85.png", "\"a\\xC2\\x85.png\""},
        {"line separator (U+2028)", "a\xE2\x80\xA8.png", "\"a\\xE2\\x80\\xA8.png\""},
        {"right-to-left override (U+202E)", "a\xE2\x80\xAEgnp.exe", "\"a\\xE2\\x80\\xAEgnp.exe\""},
        {"not UTF-8", "\xFF.png", "\"\\xFF.png\""},
        {"overlong slash", "a\xC0\xAF.png", "\"a\\xC0\\xAF.png\""},
        {"cut-off sequence", "a\xE6\x98", "\"a\\xE6\\x98\""},
        {"surrogate", "a\xED\xA0\x80", "\"a\\xED\\xA0\\x80\""},
        {"long and odd, whole", longOdd, "\"" + std::string(150, 'b') + "\\n" + std::string(150, 'c') + "\""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(quotedName(c.name), c.shown) << c.what;
}

}  // namespace
