// velmo.so driven the way a host drives it: loaded with dlopen, every entry point looked up by name.
// Covers what the real hosts cannot express: any size down to 1x1, exact doubles, NaN and infinities,
// null pointers, rendering in place, parameter round trips and the parameter descriptions.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "core/render_zone_frame.h"
#include "frei0r/frei0r_interface.h"
#include "tests/frei0r/allocation_count.h"
#include "tests/support/reference_render.h"

namespace {

class Plugin {
public:
    Plugin() : handle_(dlopen(VELMO_FREI0R_PLUGIN, RTLD_NOW | RTLD_LOCAL)) {
        if (handle_ == nullptr) return;
        init = symbol<F0rInit>("f0r_init");
        deinit = symbol<F0rDeinit>("f0r_deinit");
        getPluginInfo = symbol<F0rGetPluginInfo>("f0r_get_plugin_info");
        getParamInfo = symbol<F0rGetParamInfo>("f0r_get_param_info");
        construct = symbol<F0rConstruct>("f0r_construct");
        destruct = symbol<F0rDestruct>("f0r_destruct");
        setParamValue = symbol<F0rSetParamValue>("f0r_set_param_value");
        getParamValue = symbol<F0rGetParamValue>("f0r_get_param_value");
        update = symbol<F0rUpdate>("f0r_update");
    }
    ~Plugin() {
        if (handle_ != nullptr) dlclose(handle_);
    }
    bool complete() const {
        return init && deinit && getPluginInfo && getParamInfo && construct && destruct && setParamValue &&
               getParamValue && update;
    }

    F0rInit init = nullptr;
    F0rDeinit deinit = nullptr;
    F0rGetPluginInfo getPluginInfo = nullptr;
    F0rGetParamInfo getParamInfo = nullptr;
    F0rConstruct construct = nullptr;
    F0rDestruct destruct = nullptr;
    F0rSetParamValue setParamValue = nullptr;
    F0rGetParamValue getParamValue = nullptr;
    F0rUpdate update = nullptr;

private:
    template <typename Function>
    Function symbol(const char* name) {
        return reinterpret_cast<Function>(dlsym(handle_, name));
    }
    void* handle_;
};

Plugin& plugin() {
    static Plugin loaded;
    return loaded;
}

class Frei0rApi : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(plugin().complete()) << VELMO_FREI0R_PLUGIN << ": " << dlerror();
        ASSERT_EQ(plugin().init(), 1);
    }
    void TearDown() override { plugin().deinit(); }
};

// One instance, destroyed with the test.
class Instance {
public:
    Instance(unsigned w, unsigned h) : instance_(plugin().construct(w, h)) {}
    ~Instance() {
        if (instance_ != nullptr) plugin().destruct(instance_);
    }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    f0r_instance_t get() const { return instance_; }
    void set(int index, double value) { plugin().setParamValue(instance_, &value, index); }
    void set(int index, const char* line) { plugin().setParamValue(instance_, &line, index); }
    double number(int index) const {
        double value = -12345;
        plugin().getParamValue(instance_, &value, index);
        return value;
    }
    std::string text(int index) const {
        char* value = nullptr;
        plugin().getParamValue(instance_, &value, index);
        return value != nullptr ? value : "(null)";
    }

private:
    f0r_instance_t instance_;
};

constexpr int kUp = 0, kLeft = 1, kRight = 2, kDown = 3, kBorder = 4, kShowFrame = 5, kConfig = 6;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

TEST_F(Frei0rApi, DescribesABgraFilterNamedVelmoWithSevenParameters) {
    f0r_plugin_info_t info{};
    plugin().getPluginInfo(&info);
    EXPECT_STREQ(info.name, "velmo");
    EXPECT_EQ(info.plugin_type, F0R_PLUGIN_TYPE_FILTER);
    EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_BGRA8888);
    EXPECT_EQ(info.frei0r_version, 1);
    EXPECT_EQ(info.num_params, 7);
    EXPECT_NE(info.author, nullptr);
    EXPECT_NE(info.explanation, nullptr);
    plugin().getPluginInfo(nullptr);
}

struct ParamInfoCase {
    int index;
    const char* name;
    int type;
};

class ParamInfo : public Frei0rApi, public testing::WithParamInterface<ParamInfoCase> {};

TEST_P(ParamInfo, NamesEachParameterInTheOrderHostsSetThem) {
    const ParamInfoCase& c = GetParam();
    f0r_param_info_t info{};
    plugin().getParamInfo(&info, c.index);
    EXPECT_STREQ(info.name, c.name);
    EXPECT_EQ(info.type, c.type);
    ASSERT_NE(info.explanation, nullptr);
    EXPECT_GT(std::string(info.explanation).size(), 10u);
}

INSTANTIATE_TEST_SUITE_P(Velmo, ParamInfo,
                         testing::Values(ParamInfoCase{0, "up", F0R_PARAM_DOUBLE},
                                         ParamInfoCase{1, "left", F0R_PARAM_DOUBLE},
                                         ParamInfoCase{2, "right", F0R_PARAM_DOUBLE},
                                         ParamInfoCase{3, "down", F0R_PARAM_DOUBLE},
                                         ParamInfoCase{4, "border", F0R_PARAM_BOOL},
                                         ParamInfoCase{5, "show frame", F0R_PARAM_BOOL},
                                         ParamInfoCase{6, "config", F0R_PARAM_STRING}));

TEST_F(Frei0rApi, LeavesTheRecordAloneForAnIndexItDoesNotHave) {
    for (const int index : {-1, 7, 8, INT_MIN, INT_MAX}) {
        f0r_param_info_t info{"untouched", 99, nullptr};
        plugin().getParamInfo(&info, index);
        EXPECT_STREQ(info.name, "untouched") << index;
        EXPECT_EQ(info.type, 99) << index;
    }
    plugin().getParamInfo(nullptr, 0);
}

// A parameter set in turn to `sets` reads back as `expected`.
struct RoundTripCase {
    const char* name;
    int index;
    std::vector<double> sets;
    double expected;
};

class NumberRoundTrip : public Frei0rApi, public testing::WithParamInterface<RoundTripCase> {};

TEST_P(NumberRoundTrip, ReadsBackWhatWasSet) {
    const RoundTripCase& c = GetParam();
    Instance instance(16, 16);
    for (const double value : c.sets)
        instance.set(c.index, value);
    EXPECT_EQ(instance.number(c.index), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Velmo, NumberRoundTrip,
                         testing::Values(RoundTripCase{"UpDefault", kUp, {}, 1.0},
                                         RoundTripCase{"LeftDefault", kLeft, {}, 1.0},
                                         RoundTripCase{"RightDefault", kRight, {}, 1.0},
                                         RoundTripCase{"DownDefault", kDown, {}, 1.0},
                                         RoundTripCase{"BorderDefault", kBorder, {}, 0.0},
                                         RoundTripCase{"ShowFrameDefault", kShowFrame, {}, 0.0},
                                         RoundTripCase{"UpWhole", kUp, {3}, 3.0},
                                         RoundTripCase{"LeftFraction", kLeft, {7.25}, 7.25},
                                         RoundTripCase{"RightNegative", kRight, {-4}, -4.0},
                                         RoundTripCase{"DownHuge", kDown, {1e300}, 1e300},
                                         RoundTripCase{"UpInfinite", kUp, {-kInfinity}, -kInfinity},
                                         RoundTripCase{"LeftNaNIgnored", kLeft, {9, kNaN}, 9.0},
                                         RoundTripCase{"BorderOn", kBorder, {1}, 1.0},
                                         RoundTripCase{"BorderOffAgain", kBorder, {1, 0}, 0.0},
                                         RoundTripCase{"ShowFrameNaNIgnored", kShowFrame, {1, kNaN}, 1.0},
                                         RoundTripCase{"ShowFrameAsSet", kShowFrame, {0.75}, 0.75}),
                         [](const testing::TestParamInfo<RoundTripCase>& info) { return info.param.name; });

TEST_F(Frei0rApi, ReadsBackTheSettingsLineAsSet) {
    Instance instance(16, 16);
    EXPECT_EQ(instance.text(kConfig), "");
    std::string line = "Config(3,5,7,9,1)";
    instance.set(kConfig, line.c_str());
    line = "overwritten by the host";  // the plug-in keeps its own copy
    EXPECT_EQ(instance.text(kConfig), "Config(3,5,7,9,1)");
    instance.set(kConfig, static_cast<const char*>(nullptr));
    EXPECT_EQ(instance.text(kConfig), "");
}

TEST_F(Frei0rApi, IgnoresNullPointersAndUnknownIndices) {
    Instance instance(16, 16);
    plugin().setParamValue(instance.get(), nullptr, kUp);
    plugin().setParamValue(instance.get(), nullptr, kConfig);
    plugin().getParamValue(instance.get(), nullptr, kUp);
    double value = 5;
    for (const int index : {-1, 7, INT_MIN, INT_MAX}) {
        plugin().setParamValue(instance.get(), &value, index);
        double untouched = 42;
        plugin().getParamValue(instance.get(), &untouched, index);
        EXPECT_EQ(untouched, 42) << index;
    }
    plugin().setParamValue(nullptr, &value, kUp);
    plugin().getParamValue(nullptr, &value, kUp);
    plugin().update(nullptr, 0, nullptr, nullptr);
    plugin().destruct(nullptr);
    for (int index = 0; index < kConfig; ++index)
        EXPECT_EQ(instance.number(index), index < kBorder ? 1.0 : 0.0) << index;
}

// What the host does before a frame: a double or a settings line into one parameter.
struct Step {
    int index;
    double number;
    const char* line = nullptr;
};

// Settings written out by hand: what the steps must amount to.
struct Expected {
    std::int32_t up, left, right, down, border, showFrame;
};

struct FrameCase {
    const char* name;
    std::int32_t w, h;
    std::vector<Step> steps;
    Expected expected;
};

class Frames : public Frei0rApi, public testing::WithParamInterface<FrameCase> {};

std::vector<Pixel32> randomFrame(std::int32_t w, std::int32_t h, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<Pixel32> frame(static_cast<std::size_t>(w) * h);
    for (Pixel32& pixel : frame)
        pixel = static_cast<Pixel32>(random());  // any alpha in the fourth byte
    return frame;
}

std::vector<Pixel32> referenceFrame(const Expected& e, std::int32_t w, std::int32_t h,
                                    std::vector<Pixel32> input) {
    ZoneSettings settings{};
    applyConfigCommand(settings, e.up, e.left, e.right, e.down, e.border);
    settings.showFrame = e.showFrame;
    std::vector<Pixel32> output(input.size());
    // Black and red opaque, written out: the plug-in's own choice of colours is under test too.
    referenceRenderZoneFrame(settings, bottomUpView(input.data(), w, h), bottomUpView(output.data(), w, h),
                             ZoneColours{0xFF000000, 0xFFFF0000});
    return output;
}

TEST_P(Frames, EqualTheReferenceForTheSettingsTheParametersAmountTo) {
    const FrameCase& c = GetParam();
    Instance instance(c.w, c.h);
    ASSERT_NE(instance.get(), nullptr);
    for (const Step& step : c.steps) {
        if (step.line != nullptr)
            instance.set(step.index, step.line);
        else
            instance.set(step.index, step.number);
    }
    const std::size_t pixels = static_cast<std::size_t>(c.w) * c.h;
    constexpr std::size_t kGuard = 64;
    constexpr Pixel32 kSentinel = 0xA5C3E1F7;
    // Two different frames in turn: the second must not depend on the first.
    for (const std::uint32_t seed : {1u, 2u}) {
        const std::vector<Pixel32> input = randomFrame(c.w, c.h, seed * 7919 + c.w);
        const std::vector<Pixel32> untouched = input;
        std::vector<Pixel32> buffer(pixels + 2 * kGuard, kSentinel);
        plugin().update(instance.get(), seed, input.data(), buffer.data() + kGuard);

        const std::vector<Pixel32> expected = referenceFrame(c.expected, c.w, c.h, input);
        const std::vector<Pixel32> actual(buffer.begin() + kGuard, buffer.end() - kGuard);
        const auto wrong = std::mismatch(actual.begin(), actual.end(), expected.begin());
        EXPECT_TRUE(wrong.first == actual.end())
            << "frame " << seed << ": first wrong pixel at row " << (wrong.first - actual.begin()) / c.w
            << " from the top, column " << (wrong.first - actual.begin()) % c.w;
        EXPECT_TRUE(
            std::all_of(buffer.begin(), buffer.begin() + kGuard, [](Pixel32 p) { return p == kSentinel; }));
        EXPECT_TRUE(
            std::all_of(buffer.end() - kGuard, buffer.end(), [](Pixel32 p) { return p == kSentinel; }));
        EXPECT_TRUE(input == untouched);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Velmo, Frames,
    testing::Values(
        FrameCase{"DefaultsPassTheFrameThrough", 7, 5, {}, {1, 1, 1, 1, 0, 0}},
        FrameCase{"ShiftWithBorder",
                  40,
                  30,
                  {{kUp, 3}, {kLeft, 5}, {kRight, 7}, {kDown, 9}, {kBorder, 1}},
                  {3, 5, 7, 9, 1, 0}},
        FrameCase{"ShiftOnly", 40, 30, {{kUp, 3}, {kLeft, 5}, {kRight, 7}, {kDown, 9}}, {3, 5, 7, 9, 0, 0}},
        FrameCase{"OddMarginSums",
                  13,
                  7,
                  {{kUp, 4}, {kLeft, 2}, {kRight, 9}, {kDown, 7}, {kBorder, 1}},
                  {4, 2, 9, 7, 1, 0}},
        FrameCase{"OnlyTheTopMarginMovesThePictureUp", 9, 12, {{kUp, 9}}, {9, 1, 1, 1, 0, 0}},
        FrameCase{"Outline",
                  40,
                  30,
                  {{kUp, 3}, {kLeft, 5}, {kRight, 7}, {kDown, 9}, {kShowFrame, 1}},
                  {3, 5, 7, 9, 0, 1}},
        FrameCase{"OnePixelShift",
                  1,
                  1,
                  {{kUp, 3}, {kLeft, 5}, {kRight, 7}, {kDown, 9}, {kBorder, 1}},
                  {3, 5, 7, 9, 1, 0}},
        FrameCase{"OnePixelOutline", 1, 1, {{kShowFrame, 1}}, {1, 1, 1, 1, 0, 1}},
        FrameCase{"OneRow", 17, 1, {{kLeft, 6}, {kBorder, 1}}, {1, 6, 1, 1, 1, 0}},
        FrameCase{"OneColumn", 1, 17, {{kDown, 6}, {kBorder, 1}}, {1, 1, 1, 6, 1, 0}},
        FrameCase{"RoundedToNearestHalvesAwayFromZero",
                  21,
                  19,
                  {{kUp, 2.5}, {kLeft, -2.5}, {kRight, 6.4999}, {kDown, 8.5001}},
                  {3, -3, 6, 9, 0, 0}},
        FrameCase{"SaturatedBeyondInt32",
                  11,
                  9,
                  {{kUp, 1e300}, {kLeft, -1e300}, {kRight, kInfinity}, {kDown, 2147483647.6}, {kBorder, 1}},
                  {INT_MAX, INT_MIN, INT_MAX, INT_MAX, 1, 0}},
        FrameCase{"JustInsideInt32",
                  11,
                  9,
                  {{kUp, 2147483646.4}, {kLeft, -2147483647.6}, {kDown, -kInfinity}},
                  {2147483646, INT_MIN, 1, INT_MIN, 0, 0}},
        FrameCase{"NaNIgnored",
                  12,
                  10,
                  {{kUp, 4}, {kUp, kNaN}, {kLeft, kNaN}, {kBorder, 1}, {kBorder, kNaN}},
                  {4, 1, 1, 1, 1, 0}},
        FrameCase{"FlagsFromOneHalfUp",
                  12,
                  10,
                  {{kUp, 5}, {kBorder, 0.5}, {kShowFrame, 0.4999}},
                  {5, 1, 1, 1, 1, 0}},
        FrameCase{"ConfigWinsOverEarlierDoubles",
                  30,
                  20,
                  {{kUp, 8}, {kLeft, 8}, {kBorder, 0}, {kConfig, 0, "Config(3,5,7,9,1)"}},
                  {3, 5, 7, 9, 1, 0}},
        FrameCase{"ConfigWinsOverLaterDoubles",
                  30,
                  20,
                  {{kConfig, 0, "Config(3,5,7,9,0)"}, {kUp, 8}, {kRight, 2}, {kBorder, 1}},
                  {3, 5, 7, 9, 0, 0}},
        FrameCase{"ConfigInTheHostsSavedForm",
                  30,
                  20,
                  {{kConfig, 0, "VirtualDub.video.filters.instance[0].Config(4, 2, 9, 7, 1);\r\n"}},
                  {4, 2, 9, 7, 1, 0}},
        FrameCase{"ConfigWithShowFrame",
                  30,
                  20,
                  {{kConfig, 0, "Config(3,5,7,9,1)"}, {kShowFrame, 1}},
                  {3, 5, 7, 9, 1, 1}},
        FrameCase{"ConfigHostileValues",
                  15,
                  8,
                  {{kConfig, 0, "Config(-2147483648,2147483647,-7,0,-1)"}},
                  {INT_MIN, INT_MAX, -7, 0, -1, 0}},
        FrameCase{"EmptyConfigHandsBackToTheDoubles",
                  30,
                  20,
                  {{kUp, 6}, {kConfig, 0, "Config(3,5,7,9,1)"}, {kConfig, 0, ""}},
                  {6, 1, 1, 1, 0, 0}},
        FrameCase{"BadConfigAloneChangesNothing",
                  30,
                  20,
                  {{kUp, 6}, {kBorder, 1}, {kConfig, 0, "Config(3,5,7,9)"}},
                  {6, 1, 1, 1, 1, 0}},
        FrameCase{"BadConfigKeepsTheGoodOneBeforeIt",
                  30,
                  20,
                  {{kConfig, 0, "Config(3,5,7,9,1)"}, {kConfig, 0, "Config(3,5,7,9,1"}, {kUp, 12}},
                  {3, 5, 7, 9, 1, 0}},
        FrameCase{
            "UnsafeFFmpegWidthIsFineHere", 718, 4, {{kConfig, 0, "Config(3,5,7,9,1)"}}, {3, 5, 7, 9, 1, 0}}),
    [](const testing::TestParamInfo<FrameCase>& info) { return info.param.name; });

// A host may hand the same buffer as input and output.
struct InPlaceCase {
    const char* line;
    Expected expected;
};

class InPlace : public Frei0rApi, public testing::WithParamInterface<InPlaceCase> {};

TEST_P(InPlace, RendersFromTheFrameAsItWas) {
    constexpr std::int32_t w = 23, h = 17;
    Instance instance(w, h);
    instance.set(kConfig, GetParam().line);
    for (const std::uint32_t seed : {5u, 6u}) {
        std::vector<Pixel32> frame = randomFrame(w, h, seed);
        const std::vector<Pixel32> expected = referenceFrame(GetParam().expected, w, h, frame);
        plugin().update(instance.get(), 0, frame.data(), frame.data());
        EXPECT_TRUE(frame == expected) << "frame " << seed;
    }
}

INSTANTIATE_TEST_SUITE_P(Velmo, InPlace,
                         testing::Values(InPlaceCase{"Config(3,5,7,9,1)", {3, 5, 7, 9, 1, 0}},
                                         InPlaceCase{"Config(1,9,1,1,0)", {1, 9, 1, 1, 0, 0}},
                                         InPlaceCase{"Config(1,1,9,1,0)", {1, 1, 9, 1, 0, 0}},
                                         InPlaceCase{"Config(12,1,1,2,0)", {12, 1, 1, 2, 0, 0}},
                                         InPlaceCase{"Config(1,1,1,12,0)", {1, 1, 1, 12, 0, 0}}));

// MLT sets every parameter before every frame, with the line in a string of its own each time.
TEST_F(Frei0rApi, AllocatesNothingPerFrameWhileTheHostSetsEveryParameterAgain) {
    constexpr std::int32_t w = 64, h = 48;
    Instance instance(w, h);
    const std::vector<Pixel32> input = randomFrame(w, h, 9);
    std::vector<Pixel32> output(input.size());
    const std::vector<std::string> lines(11, "Config(3,5,7,9,1)");
    const auto frame = [&](const std::string& line) {
        for (const int index : {kUp, kLeft, kRight, kDown})
            instance.set(index, 4.0);
        instance.set(kBorder, 1.0);
        instance.set(kShowFrame, 0.0);
        instance.set(kConfig, line.c_str());
        plugin().update(instance.get(), 0, input.data(), output.data());
    };
    frame(lines[0]);  // the first frame copies the line
    const long before = allocationCount();
    for (std::size_t n = 1; n < lines.size(); ++n)
        frame(lines[n]);
    EXPECT_EQ(allocationCount() - before, 0);
    EXPECT_TRUE(output == referenceFrame({3, 5, 7, 9, 1, 0}, w, h, input));
}

TEST_F(Frei0rApi, SkipsMissingFrames) {
    Instance instance(4, 4);
    std::vector<Pixel32> frame(16, 0x12345678);
    plugin().update(instance.get(), 0, nullptr, frame.data());
    plugin().update(instance.get(), 0, frame.data(), nullptr);
    EXPECT_TRUE(frame == std::vector<Pixel32>(16, 0x12345678));
}

struct SizeCase {
    unsigned w, h;
    bool constructed;
};

class Sizes : public Frei0rApi, public testing::WithParamInterface<SizeCase> {};

TEST_P(Sizes, ConstructsForEverySizeTheCoreCanAddress) {
    const SizeCase& c = GetParam();
    Instance instance(c.w, c.h);
    EXPECT_EQ(instance.get() != nullptr, c.constructed);
    if (instance.get() != nullptr && (c.w == 0 || c.h == 0)) {
        Pixel32 pixel = 7;
        plugin().update(instance.get(), 0, &pixel, &pixel);
        EXPECT_EQ(pixel, 7u);
    }
}

INSTANTIATE_TEST_SUITE_P(Velmo, Sizes,
                         testing::Values(SizeCase{0, 0, true}, SizeCase{0, 5, true}, SizeCase{1, 1, true},
                                         SizeCase{2147483647u, 1, true}, SizeCase{1, 2147483647u, true},
                                         SizeCase{2147483648u, 1, false}, SizeCase{1, 2147483648u, false},
                                         SizeCase{UINT_MAX, UINT_MAX, false}));

// Standard error while an action runs.
template <typename Action>
std::string standardError(Action action) {
    std::fflush(stderr);
    std::FILE* capture = std::tmpfile();
    const int saved = dup(STDERR_FILENO);
    dup2(fileno(capture), STDERR_FILENO);
    action();
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    std::string text;
    std::rewind(capture);
    for (int c; (c = std::fgetc(capture)) != EOF;)
        text += static_cast<char>(c);
    std::fclose(capture);
    return text;
}

std::size_t count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

TEST_F(Frei0rApi, ReportsABadLineOnceWhileTheHostKeepsSettingIt) {
    Instance instance(8, 8);
    const std::string first = standardError([&] {
        for (int frame = 0; frame < 5; ++frame)  // as MLT sets every parameter before every frame
            instance.set(kConfig, "Config(1,2)");
    });
    EXPECT_EQ(count(first, "\n"), 1u) << first;
    EXPECT_EQ(first.rfind("velmo.so: bad settings line \"Config(1,2)\" at character 11: ", 0), 0u) << first;
    const std::string later = standardError([&] {
        instance.set(kConfig, "Config(3,5,7,9,1)");
        instance.set(kConfig, "Config(3,5,7,9,1)");
        instance.set(kConfig, "");
    });
    EXPECT_EQ(later, "");
}

TEST_F(Frei0rApi, ReportsAHugeLineInOneShortLine) {
    Instance instance(8, 8);
    const std::string line(1 << 20, 'x');
    const std::string report = standardError([&] { instance.set(kConfig, line.c_str()); });
    EXPECT_EQ(count(report, "\n"), 1u);
    EXPECT_LT(report.size(), 400u);
    EXPECT_EQ(instance.text(kConfig), line);
}

}  // namespace
