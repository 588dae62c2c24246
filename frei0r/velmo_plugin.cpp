// velmo.so: the zone filter as a frei0r plug-in, for FFmpeg ("frei0r=velmo"), GStreamer
// ("frei0r-filter-velmo") and MLT ("frei0r.velmo"). The entry points only check what the host hands
// over and pass it to a VelmoInstance; nothing throws across them.

#include <cstdint>
#include <limits>
#include <new>

#include "frei0r/frei0r_interface.h"
#include "frei0r/velmo_instance.h"
#include "frei0r/velmo_parameters.h"

#define VELMO_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr f0r_plugin_info_t kPluginInfo{
    .name = "velmo",
    .author = "Velmo",
    .plugin_type = F0R_PLUGIN_TYPE_FILTER,
    .color_model = F0R_COLOR_MODEL_BGRA8888,
    .frei0r_version = FREI0R_MAJOR_VERSION,
    .major_version = 1,
    .minor_version = 1,
    .num_params = kParameterCount,
    .explanation = "Re-centres an off-centre capture on a zone marked by four margins",
};

VelmoInstance* instanceOf(f0r_instance_t instance) {
    return static_cast<VelmoInstance*>(instance);
}

}  // namespace

VELMO_EXPORT int f0r_init() {
    return 1;
}

VELMO_EXPORT void f0r_deinit() {}

VELMO_EXPORT void f0r_get_plugin_info(f0r_plugin_info_t* info) {
    if (info != nullptr) *info = kPluginInfo;
}

VELMO_EXPORT void f0r_get_param_info(f0r_param_info_t* info, int index) {
    if (info != nullptr && index >= 0 && index < kParameterCount) *info = kVelmoParameters[index];
}

VELMO_EXPORT f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
    // The core counts pixels in 32-bit signed integers.
    constexpr unsigned int kLargest = std::numeric_limits<std::int32_t>::max();
    if (width > kLargest || height > kLargest) return nullptr;
    return new (std::nothrow)
        VelmoInstance(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height));
}

VELMO_EXPORT void f0r_destruct(f0r_instance_t instance) {
    delete instanceOf(instance);
}

VELMO_EXPORT void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int index) {
    if (instance == nullptr) return;
    try {
        instanceOf(instance)->setParameter(index, param);
    } catch (const std::exception&) {
        // Only a settings line too long to copy or read gets here; the instance kept its settings.
    }
}

VELMO_EXPORT void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int index) {
    if (instance != nullptr) instanceOf(instance)->getParameter(index, param);
}

VELMO_EXPORT void f0r_update(f0r_instance_t instance, double /*time*/, const std::uint32_t* inframe,
                             std::uint32_t* outframe) {
    if (instance != nullptr) instanceOf(instance)->render(inframe, outframe);
}
