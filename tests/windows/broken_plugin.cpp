// Small plug-ins that break the host interface in one way each, built several times over with one
// of the BROKEN_* names defined, for the host's tests. Each counts its module exits in a named
// environment variable, so a test in the same process can tell whether the host called it.

#include <cstdlib>
#include <string>

#include "host/filter_interface.h"

namespace {

int VDCALL initInstance(FilterActivation*, const FilterFunctions*) {
    return 0;
}

int VDCALL runFrame(const FilterActivation*, const FilterFunctions*) {
    return 0;
}

#ifdef BROKEN_HUGE_INSTANCE
constexpr int kInstanceSize = 0x7FFFFFFF;
#else
constexpr int kInstanceSize = 16;
#endif

// Unused by the plug-in that registers nothing.
[[maybe_unused]] FilterDefinition brokenFilter = {
    .name = "Broken",
    .desc = "Breaks the host interface on purpose.",
    .maker = "Velmo tests",
    .inst_data_size = kInstanceSize,
    .initProc = initInstance,
    .runProc = runFrame,
};

}  // namespace

extern "C" __declspec(dllexport) int VDCALL
    VirtualdubFilterModuleInit2(FilterModule* module, const FilterFunctions* functions, int& version,
                                int& compatibleVersion) {
#ifdef BROKEN_INIT_FAILS
    return 3;
#endif
#ifndef BROKEN_NO_REGISTRATION
    if (functions->addFilter(module, &brokenFilter, kFilterDefinitionLength) == nullptr) return 1;
#else
    (void)module;
    (void)functions;
#endif
#ifdef BROKEN_NEWER_INTERFACE
    version = 14;
    compatibleVersion = 12;
#elif !defined(BROKEN_SILENT_VERSION)
    version = kFilterInterfaceVersion;
    compatibleVersion = kFilterInterfaceCompatibleVersion;
#else
    (void)version;
    (void)compatibleVersion;
#endif
    return 0;
}

extern "C" __declspec(dllexport) void VDCALL
    VirtualdubFilterModuleDeinit(FilterModule*, const FilterFunctions*) {
    char count[16] = {};
    GetEnvironmentVariableA("BROKEN_PLUGIN_EXITS", count, sizeof count);
    SetEnvironmentVariableA("BROKEN_PLUGIN_EXITS", std::to_string(std::atoi(count) + 1).c_str());
}
