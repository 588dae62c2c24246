#include "velmo/velmo_options.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct OptionsCase {
    std::vector<const char*> arguments;  // after "velmo"
    bool accepted;
    const char* line;  // the settings as the plug-in would save them
    int showFrame;
    const char* errorMentions;
};

class VelmoOptionsParsing : public testing::TestWithParam<OptionsCase> {};

TEST_P(VelmoOptionsParsing, ReadsSettingsFromALineOrFlagsButNotBoth) {
    const OptionsCase& c = GetParam();
    std::vector<const char*> argv{"velmo"};
    argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
    VelmoOptions options;
    std::string error;
    ASSERT_EQ(parseVelmoOptions(static_cast<int>(argv.size()), argv.data(), options, error), c.accepted)
        << error;
    if (!c.accepted) {
        EXPECT_NE(error.find(c.errorMentions), std::string::npos) << error;
        return;
    }
    char line[kScriptLineCapacity];
    ASSERT_TRUE(formatScriptLine(options.settings, line, sizeof line));
    EXPECT_STREQ(line, c.line);
    EXPECT_EQ(options.settings.showFrame, c.showFrame);
}

INSTANTIATE_TEST_SUITE_P(
    Velmo, VelmoOptionsParsing,
    testing::Values(
        OptionsCase{{"apply", "in.png", "out.png"}, true, "Config(1,1,1,1,0)", 0, ""},
        OptionsCase{{"apply", "--config", "Config(3,5,7,9,1)", "in.png", "out.png"},
                    true,
                    "Config(3,5,7,9,1)",
                    0,
                    ""},
        OptionsCase{
            {"apply", "--up", "3", "--left", "5", "--right", "7", "--down", "9", "--border", "a", "b"},
            true,
            "Config(3,5,7,9,1)",
            0,
            ""},
        OptionsCase{{"apply", "--show-frame", "--down", "-4", "a", "b"}, true, "Config(1,1,1,-4,0)", 1, ""},
        OptionsCase{{"stream", "--size", "720x576", "--config", "Config(3,5,7,9,1)"},
                    true,
                    "Config(3,5,7,9,1)",
                    0,
                    ""},
        OptionsCase{
            {"apply", "--config", "Config(3,5,7,9,1)", "--up", "2", "a", "b"}, false, "", 0, "not both"},
        OptionsCase{
            {"apply", "--border", "--config", "Config(3,5,7,9,1)", "a", "b"}, false, "", 0, "not both"},
        OptionsCase{{"apply", "--config", "Config(3,5,7,9)", "a", "b"}, false, "", 0, "bad settings line"},
        OptionsCase{{"apply", "--up", "2147483648", "a", "b"}, false, "", 0, "--up"},
        OptionsCase{{"apply", "--left"}, false, "", 0, "--left"},
        OptionsCase{{"apply", "in.png"}, false, "", 0, "input and an output"},
        OptionsCase{{"stream"}, false, "", 0, "--size"},
        OptionsCase{{"stream", "--size", "720*576"}, false, "", 0, "bad frame size"},
        OptionsCase{{"stream", "--size", "0x576"}, false, "", 0, "bad frame size"},
        OptionsCase{
            {"stream", "--size", "16385x576"}, false, "", 0, "too large: at most 16384 pixels per side"},
        OptionsCase{{"stream", "--size", "16384x16384", "--config", "Config(3,5,+7,9,1)\r\n"},
                    true,
                    "Config(3,5,7,9,1)",
                    0,
                    ""},
        OptionsCase{{"apply", "--up", "+3", "--right", "-0", "a", "b"}, true, "Config(3,1,0,1,0)", 0, ""},
        OptionsCase{{"apply", "--up", " 3", "a", "b"}, false, "", 0, "--up needs a whole number"},
        OptionsCase{
            {"apply", "--size", "720x576", "a", "b"}, false, "", 0, "--size is for stream, not apply"},
        OptionsCase{{"apply", "--config", "Config(3,5,7,9", "a", "b"}, false, "", 0, "at character 15"},
        OptionsCase{{"stream", "--size", "720x576", "file.raw"}, false, "", 0, "standard input"},
        OptionsCase{{"crop", "a", "b"}, false, "", 0, "unknown command"},
        OptionsCase{{"apply", "--sharpen", "a", "b"}, false, "", 0, "unknown option"}));

}  // namespace
