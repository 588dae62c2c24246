// Whatever a script line or a host hands the plug-in, it neither crashes nor writes outside the
// picture or its instance storage, and it leaves the source alone.

#include <climits>
#include <cstring>

#include "tests/windows/host_fixture.h"

namespace {

using HostileInput = PluginTest;

const ScriptFunctionDef& configFunction(PluginModule& plugin) {
    return plugin.filter().script_obj->func_list[0];
}

// An argument array that ends exactly at an inaccessible page, so reading one value past it faults.
class FencedArguments {
public:
    explicit FencedArguments(int count) {
        SYSTEM_INFO system{};
        GetSystemInfo(&system);
        page_ = system.dwPageSize;
        memory_ =
            static_cast<BYTE*>(VirtualAlloc(nullptr, 2 * page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD previous = 0;
        VirtualProtect(memory_ + page_, page_, PAGE_NOACCESS, &previous);
        values_ = reinterpret_cast<CScriptValue*>(memory_ + page_) - count;
        for (int k = 0; k < count; ++k) {
            values_[k] = CScriptValue{};
            values_[k].type = CScriptValue::T_INT;
            values_[k].u.i = 100 + k;
        }
    }
    ~FencedArguments() { VirtualFree(memory_, 0, MEM_RELEASE); }
    CScriptValue* values() { return values_; }

private:
    DWORD page_ = 0;
    BYTE* memory_ = nullptr;
    CScriptValue* values_ = nullptr;
};

TEST_F(HostileInput, ConfigWithFewerThanFiveArgumentsIsIgnored) {
    auto instance = newInstance();
    const ScriptFunctionDef& config = configFunction(plugin());
    for (int count = 0; count < 5; ++count) {
        FencedArguments arguments(count);
        config.func_ptr(nullptr, &instance->activation(), arguments.values(), count);
        std::string line;
        ASSERT_TRUE(instance->scriptLine(line));
        EXPECT_EQ(line, "Config(1,1,1,1,0)") << count << " arguments";
    }
    FencedArguments five(5);
    config.func_ptr(nullptr, &instance->activation(), five.values(), 5);
    std::string line;
    ASSERT_TRUE(instance->scriptLine(line));
    EXPECT_EQ(line, "Config(100,101,102,103,104)");
    EXPECT_TRUE(instance->storageGuardIntact());
}

struct HostileFrame {
    int w, h;
    std::ptrdiff_t extraGap;
    const char* line;
    int showFrame;
};

class HostileFrames : public PluginTest, public testing::WithParamInterface<HostileFrame> {};

TEST_P(HostileFrames, StayInsideThePictureAndTheRecord) {
    const HostileFrame& c = GetParam();
    auto instance = newInstance();
    std::string error;
    ASSERT_TRUE(instance->runScript(c.line, error)) << error;
    settingsOf(*instance).showFrame = c.showFrame;

    HostBitmap source(c.w, c.h, HostBitmap::alignedPitch(c.w, 16) + c.extraGap);
    for (int i = 0; i < c.h; ++i)
        for (int j = 0; j < c.w; ++j)
            source.at(i, j) = static_cast<std::uint32_t>(0x10000 * i + j + 1);
    const Picture before = source.picture();
    instance->setSource(std::move(source));

    EXPECT_EQ(instance->runFrame(), 0);
    EXPECT_TRUE(instance->destination().guardsIntact()) << "written outside the picture";
    EXPECT_TRUE(instance->source().guardsIntact());
    EXPECT_TRUE(instance->source().picture().pixels == before.pixels) << "the source was changed";
    EXPECT_TRUE(instance->storageGuardIntact()) << "written past the instance storage";
    EXPECT_FALSE(instance->summary().empty());
}

INSTANTIATE_TEST_SUITE_P(
    PluginTest, HostileFrames,
    testing::Values(
        HostileFrame{1, 1, 0, "Config(1,1,1,1,1)", 0}, HostileFrame{1, 1, 0, "Config(5,9,2,30,1)", 0},
        HostileFrame{1, 1, 0, "Config(5,9,2,30,1)", 1}, HostileFrame{0, 7, 0, "Config(3,5,7,9,1)", 0},
        HostileFrame{0, 7, 0, "Config(3,5,7,9,1)", 1}, HostileFrame{9, 0, 0, "Config(3,5,7,9,1)", 0},
        HostileFrame{33, 17, 4096, "Config(3,5,7,9,1)", 0},
        HostileFrame{33, 17, 4096, "Config(3,5,7,9,1)", 1},
        HostileFrame{40, 30, 64, "Config(-2147483648,2147483647,-2147483648,2147483647,-1)", 0},
        HostileFrame{40, 30, 64, "Config(2147483647,-2147483648,2147483647,-2147483648,1)", 0},
        HostileFrame{40, 30, 64, "Config(-2147483648,2147483647,-2147483648,2147483647,0)", -1},
        HostileFrame{40, 30, 8, "Config(1073741824,-1073741824,1073741824,-1073741824,1)", 0},
        HostileFrame{40, 30, 8, "Config(-5,-9,-2,-30,1)", -2147483647 - 1},
        HostileFrame{13, 11, 12, "Config(40,40,40,40,1)", 2}));

}  // namespace
