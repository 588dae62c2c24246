// The plug-in's life in the host: registration, its definition, fresh instances, the script line
// round trip and frames through the run callback.

#include <climits>
#include <cstring>
#include <random>

#include "core/script_line.h"
#include "tests/support/reference_render.h"
#include "tests/windows/host_fixture.h"

namespace {

// Services whose addFilter refuses, and which count removeFilter calls.
int removeFilterCalls = 0;
FilterDefinition* VDCALL refuseFilter(FilterModule*, FilterDefinition*, int) {
    return nullptr;
}
void VDCALL countRemoval(FilterDefinition*) {
    ++removeFilterCalls;
}

TEST(Registration, RefusedRegistrationReturnsOneAndLeavesVersionsAndSkipsRemoval) {
    HMODULE library = LoadLibraryA(kPluginFile);
    ASSERT_NE(library, nullptr);
    const auto init = reinterpret_cast<FilterModuleInitProc>(
        reinterpret_cast<void*>(GetProcAddress(library, "VirtualdubFilterModuleInit2")));
    const auto deinit = reinterpret_cast<FilterModuleDeinitProc>(
        reinterpret_cast<void*>(GetProcAddress(library, "VirtualdubFilterModuleDeinit")));
    ASSERT_NE(init, nullptr);
    ASSERT_NE(deinit, nullptr);

    FilterModule module{nullptr, nullptr, library, init, deinit};
    FilterFunctions functions{};
    functions.addFilter = refuseFilter;
    functions.removeFilter = countRemoval;
    int version = 12345, compatibleVersion = -777;
    EXPECT_EQ(init(&module, &functions, version, compatibleVersion), 1);
    EXPECT_EQ(version, 12345);
    EXPECT_EQ(compatibleVersion, -777);

    // The oldest hosts crash on removeFilter(nullptr); nothing was registered, so nothing goes back.
    removeFilterCalls = 0;
    deinit(&module, &functions);
    EXPECT_EQ(removeFilterCalls, 0);
    FreeLibrary(library);
}

TEST(Registration, RegistersOnceAndHandsBackExactlyTheRegisteredCopy) {
    registerHostControls();
    std::string error;
    std::unique_ptr<PluginModule> plugin = PluginModule::load(kPluginFile, error);
    ASSERT_TRUE(plugin) << error;
    EXPECT_EQ(plugin->version(), 8);
    EXPECT_EQ(plugin->compatibleVersion(), 4);
    // The version-8 part of the definition: 88 bytes on 32-bit hosts, 176 on 64-bit ones.
    ASSERT_EQ(plugin->log().addFilterLengths, std::vector<int>{sizeof(void*) == 4 ? 88 : 176});
    ASSERT_EQ(plugin->log().registered.size(), 1u);
    FilterDefinition* registered = plugin->log().registered.front();
    const ServiceLog& log = plugin->log();
    plugin->unload();
    EXPECT_EQ(log.removed, std::vector<FilterDefinition*>{registered});
}

TEST(Registration, LoadsAgainAfterUnloadLikeNewerHosts) {
    for (int round = 0; round < 3; ++round) {
        std::string error;
        std::unique_ptr<PluginModule> plugin = PluginModule::load(kPluginFile, error);
        ASSERT_TRUE(plugin) << error;
        FilterInstance instance(*plugin);
        std::string line;
        ASSERT_TRUE(instance.scriptLine(line));
        EXPECT_EQ(line, "Config(1,1,1,1,0)");
    }
}

using Definition = PluginTest;

TEST_F(Definition, DescribesTheFilterAndItsCallbacks) {
    const FilterDefinition& filter = plugin().filter();
    EXPECT_STREQ(filter.name, "Velmo, version 1.1(2) ");
    ASSERT_NE(filter.desc, nullptr);
    EXPECT_GT(std::strlen(filter.desc), 10u);
    EXPECT_EQ(std::strchr(filter.desc, '\n'), nullptr) << "the description is one line";
    ASSERT_NE(filter.maker, nullptr);
    EXPECT_GT(std::strlen(filter.maker), 0u);
    EXPECT_EQ(filter.inst_data_size, sizeof(void*) == 4 ? 60 : 64);
    EXPECT_EQ(filter.private_data, nullptr);
    EXPECT_NE(filter.initProc, nullptr);
    EXPECT_NE(filter.runProc, nullptr);
    EXPECT_NE(filter.configProc, nullptr);
    EXPECT_NE(filter.stringProc, nullptr);
    EXPECT_NE(filter.fssProc, nullptr);
    EXPECT_EQ(filter.deinitProc, nullptr);
    EXPECT_EQ(filter.paramProc, nullptr) << "the filter keeps the frame's size and format";
    EXPECT_EQ(filter.startProc, nullptr);
    EXPECT_EQ(filter.endProc, nullptr);
    EXPECT_EQ(filter.stringProc2, nullptr);
    EXPECT_EQ(filter.serializeProc, nullptr);
    EXPECT_EQ(filter.deserializeProc, nullptr);
    EXPECT_EQ(filter.copyProc, nullptr);
}

TEST_F(Definition, ScriptTableHoldsConfigAndEndsWithAnEmptyEntry) {
    const CScriptObject* object = plugin().filter().script_obj;
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->Lookup, nullptr);
    EXPECT_EQ(object->obj_list, nullptr);
    const ScriptFunctionDef* functions = object->func_list;
    ASSERT_NE(functions, nullptr);
    EXPECT_NE(functions[0].func_ptr, nullptr);
    EXPECT_STREQ(functions[0].name, "Config");
    EXPECT_STREQ(functions[0].arg_list, "0iiiii");
    EXPECT_EQ(functions[1].func_ptr, nullptr);
    EXPECT_EQ(functions[1].name, nullptr);
    EXPECT_EQ(functions[1].arg_list, nullptr);
}

using Instance = PluginTest;

TEST_F(Instance, FreshInstanceHasDefaultsInSummaryAndLine) {
    auto instance = newInstance();
    EXPECT_EQ(instance->initResult(), 0);
    EXPECT_EQ(instance->summary(), " (1, 1, 1, 1, 0)");
    std::string line;
    ASSERT_TRUE(instance->scriptLine(line));
    EXPECT_EQ(line, "Config(1,1,1,1,0)");
    EXPECT_EQ(settingsOf(*instance).showFrame, 0);
    // The real host calls init before any frame exists.
    EXPECT_EQ(settingsOf(*instance).frameWidth, 0);
    EXPECT_EQ(settingsOf(*instance).frameHeight, 0);
}

struct ScriptCase {
    const char* line;
    int integerTag;
    const char* saved;
    const char* summary;
};

class ScriptRoundTrip : public PluginTest, public testing::WithParamInterface<ScriptCase> {};

TEST_P(ScriptRoundTrip, SavedLineRestoresExactlyWhatItWasWrittenFrom) {
    const ScriptCase& c = GetParam();
    auto instance = newInstance();
    std::string error;
    ASSERT_TRUE(instance->runScript(c.line, error, c.integerTag)) << error;
    std::string line;
    ASSERT_TRUE(instance->scriptLine(line));
    EXPECT_EQ(line, c.saved);
    EXPECT_EQ(instance->summary(), c.summary);

    // And the saved line restores a second instance to the same settings.
    auto restored = newInstance();
    ASSERT_TRUE(restored->runScript(line, error)) << error;
    std::string again;
    ASSERT_TRUE(restored->scriptLine(again));
    EXPECT_EQ(again, line);
}

INSTANTIATE_TEST_SUITE_P(
    Instance, ScriptRoundTrip,
    testing::Values(ScriptCase{"Config(1,1,1,1,0)", 1, "Config(1,1,1,1,0)", " (1, 1, 1, 1, 0)"},
                    ScriptCase{"Config(3,5,7,9,1)", 1, "Config(3,5,7,9,1)", " (3, 5, 7, 9, 1)"},
                    ScriptCase{"Config(3,5,7,9,1)", 9, "Config(3,5,7,9,1)", " (3, 5, 7, 9, 1)"},
                    ScriptCase{"VirtualDub.video.filters.instance[2].Config(-2, 0, 40, 1, 5);", 1,
                               "Config(-2,0,40,1,5)", " (-2, 0, 40, 1, 5)"},
                    ScriptCase{"Config(-2147483648,2147483647,0,-1,-2147483648)", 1,
                               "Config(-2147483648,2147483647,0,-1,-2147483648)",
                               " (-2147483648, 2147483647, 0, -1, -2147483648)"}));

TEST_F(Instance, ScriptLineLeavesShowFrameAndCapturedSizeAlone) {
    auto instance = newInstance();
    ZoneSettings& settings = settingsOf(*instance);
    settings.showFrame = 1;
    settings.frameWidth = 720;
    settings.frameHeight = 576;
    std::string error;
    ASSERT_TRUE(instance->runScript("Config(3,5,7,9,1)", error)) << error;
    EXPECT_EQ(settings.showFrame, 1);
    EXPECT_EQ(settings.frameWidth, 720);
    EXPECT_EQ(settings.frameHeight, 576);
}

struct FrameCase {
    const char* line;
    int showFrame;
    int w, h;
};

class FramesThroughRun : public PluginTest, public testing::WithParamInterface<FrameCase> {};

TEST_P(FramesThroughRun, EqualTheReferenceForTheSameSettings) {
    const FrameCase& c = GetParam();
    auto instance = newInstance();
    std::string error;
    ASSERT_TRUE(instance->runScript(c.line, error)) << error;
    settingsOf(*instance).showFrame = c.showFrame;

    HostBitmap source(c.w, c.h);
    std::mt19937 random(static_cast<unsigned>(c.w * 1000 + c.h));
    for (int i = 0; i < c.h; ++i)
        for (int j = 0; j < c.w; ++j)
            source.at(i, j) = random() & 0xFFFFFF;
    instance->setSource(std::move(source));
    EXPECT_EQ(instance->runFrame(), 0);

    // The per-pixel reference, for the settings the line names.
    ZoneSettings settings{};
    ASSERT_TRUE(applyScriptLine(settings, c.line, error)) << error;
    settings.showFrame = c.showFrame;
    HostBitmap expected(c.w, c.h);
    const VFBitmap& src = instance->source().bitmap();
    const VFBitmap& dst = expected.bitmap();
    referenceRenderZoneFrame(settings, FrameBitmap{src.data, src.w, src.h, src.modulo},
                             FrameBitmap{dst.data, dst.w, dst.h, dst.modulo});
    const Picture actualPicture = instance->destination().picture();
    EXPECT_TRUE(actualPicture.pixels == expected.picture().pixels);
    EXPECT_TRUE(instance->destination().guardsIntact()) << "written outside the picture";
}

INSTANTIATE_TEST_SUITE_P(Instance, FramesThroughRun,
                         testing::Values(FrameCase{"Config(3,5,7,9,0)", 0, 720, 576},
                                         FrameCase{"Config(3,5,7,9,1)", 0, 720, 576},
                                         FrameCase{"Config(3,5,7,9,1)", 1, 720, 576},
                                         FrameCase{"Config(9,2,11,4,1)", 0, 37, 23},
                                         FrameCase{"Config(2,3,3,2,0)", 1, 37, 23},
                                         FrameCase{"Config(-2147483648,2147483647,4,-9,1)", 0, 37, 23}));

}  // namespace
