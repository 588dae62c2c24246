#pragma once

// The frei0r host interface (API 1.2) as Debian's frei0r-plugins-dev declares it. The header has no
// extern "C" guard of its own, so the plug-in's entry points would otherwise get C++ names that no
// host finds.
extern "C" {
#include <frei0r.h>
}

#include <cstddef>

// What every host relies on, pinned here so a different header shows up at compile time: the
// values hosts compare against, and the records the plug-in fills in (x86-64 offset, i386 offset).
static_assert(FREI0R_MAJOR_VERSION == 1, "frei0r API 1");
static_assert(F0R_PLUGIN_TYPE_FILTER == 0 && F0R_COLOR_MODEL_BGRA8888 == 0);
static_assert(F0R_PARAM_BOOL == 0 && F0R_PARAM_DOUBLE == 1 && F0R_PARAM_STRING == 4);

inline constexpr bool kLp64 = sizeof(void*) == 8;
static_assert(offsetof(f0r_plugin_info_t, name) == 0);
static_assert(offsetof(f0r_plugin_info_t, author) == (kLp64 ? 8 : 4));
static_assert(offsetof(f0r_plugin_info_t, plugin_type) == (kLp64 ? 16 : 8));
static_assert(offsetof(f0r_plugin_info_t, color_model) == (kLp64 ? 20 : 12));
static_assert(offsetof(f0r_plugin_info_t, frei0r_version) == (kLp64 ? 24 : 16));
static_assert(offsetof(f0r_plugin_info_t, major_version) == (kLp64 ? 28 : 20));
static_assert(offsetof(f0r_plugin_info_t, minor_version) == (kLp64 ? 32 : 24));
static_assert(offsetof(f0r_plugin_info_t, num_params) == (kLp64 ? 36 : 28));
static_assert(offsetof(f0r_plugin_info_t, explanation) == (kLp64 ? 40 : 32));
static_assert(sizeof(f0r_plugin_info_t) == (kLp64 ? 48 : 36));
static_assert(offsetof(f0r_param_info_t, name) == 0);
static_assert(offsetof(f0r_param_info_t, type) == (kLp64 ? 8 : 4));
static_assert(offsetof(f0r_param_info_t, explanation) == (kLp64 ? 16 : 8));
static_assert(sizeof(f0r_param_info_t) == (kLp64 ? 24 : 12));
static_assert(sizeof(f0r_param_bool) == 8 && sizeof(f0r_param_double) == 8);
static_assert(sizeof(f0r_param_string) == sizeof(void*));

// The entry points' types, for a host that looks them up by name (the API tests do).
using F0rInit = decltype(&f0r_init);
using F0rDeinit = decltype(&f0r_deinit);
using F0rGetPluginInfo = decltype(&f0r_get_plugin_info);
using F0rGetParamInfo = decltype(&f0r_get_param_info);
using F0rConstruct = decltype(&f0r_construct);
using F0rDestruct = decltype(&f0r_destruct);
using F0rSetParamValue = decltype(&f0r_set_param_value);
using F0rGetParamValue = decltype(&f0r_get_param_value);
using F0rUpdate = decltype(&f0r_update);
