// The plug-in's face towards the host: the two exported entry points, the one filter definition
// they register, the script table, and the callbacks that unwrap the host's records for the core.

#include "core/render_zone_frame.h"
#include "core/version.h"
#include "core/zone_settings.h"
#include "dialog/zone_dialog.h"
#include "host/filter_interface.h"
#include "host/zone_instance.h"

namespace {

// Kept for module exit: the definition as the host registered it. The module's only mutable
// module-wide state.
FilterDefinition* registeredDefinition = nullptr;

int VDCALL initZone(FilterActivation* activation, const FilterFunctions*) {
    return initZoneSettings(settingsOf(activation), frameOf(*activation->src));
}

// The host takes 0 as success; rendering a frame cannot fail.
int VDCALL runZone(const FilterActivation* activation, const FilterFunctions*) {
    renderZoneFrame(settingsOf(activation), frameOf(*activation->src), frameOf(*activation->dst));
    return 0;
}

void VDCALL describeZone(const FilterActivation* activation, const FilterFunctions*, char* buffer) {
    formatSummary(settingsOf(activation), buffer);
}

bool VDCALL saveZone(FilterActivation* activation, const FilterFunctions*, char* buffer, int length) {
    return formatScriptLine(settingsOf(activation), buffer, length);
}

// Config(up, left, right, down, border). The signature promises five integers; a call with fewer
// is ignored rather than read past its argument array.
void VDCALL configCommand(IScriptInterpreter*, void* context, CScriptValue* argv, int argc) {
    if (argc < 5) return;
    applyConfigCommand(settingsOf(static_cast<FilterActivation*>(context)), argv[0].u.i, argv[1].u.i,
                       argv[2].u.i, argv[3].u.i, argv[4].u.i);
}

ScriptFunctionDef scriptFunctions[] = {
    {configCommand, "Config", "0iiiii"},
    {nullptr, nullptr, nullptr},
};

CScriptObject scriptObject = {nullptr, scriptFunctions, nullptr};

FilterDefinition zoneFilter = {
    .name = "Velmo, version " VELMO_VERSION " ",
    .desc = "Re-centres the picture on a marked zone, repeats its edges and can black out the rest.",
    .maker = "Velmo project",
    .inst_data_size = sizeof(ZoneSettings),
    .initProc = initZone,
    .runProc = runZone,
    // No paramProc: the frame keeps its size and format.
    .configProc = showConfigDialog,
    .stringProc = describeZone,
    .script_obj = &scriptObject,
    .fssProc = saveZone,
};

}  // namespace

extern "C" __declspec(dllexport) int VDCALL
    VirtualdubFilterModuleInit2(FilterModule* module, const FilterFunctions* functions, int& version,
                                int& compatibleVersion) {
    registeredDefinition = functions->addFilter(module, &zoneFilter, kFilterDefinitionLength);
    if (registeredDefinition == nullptr) return 1;
    version = kFilterInterfaceVersion;
    compatibleVersion = kFilterInterfaceCompatibleVersion;
    return 0;
}

// After a refused registration there is nothing to hand back, and the oldest hosts crash on
// removeFilter(nullptr).
extern "C" __declspec(dllexport) void VDCALL
    VirtualdubFilterModuleDeinit(FilterModule*, const FilterFunctions* functions) {
    if (registeredDefinition == nullptr) return;
    functions->removeFilter(registeredDefinition);
    registeredDefinition = nullptr;
}
