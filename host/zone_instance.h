#pragma once

#include "core/frame_bitmap.h"
#include "core/zone_settings.h"
#include "host/filter_interface.h"

// An instance's settings live in the storage the host allocates for it, which every callback finds
// in its activation record.
inline ZoneSettings& settingsOf(const FilterActivation* activation) {
    return *static_cast<ZoneSettings*>(activation->filter_data);
}

// The host's bitmap as the transform sees frames.
inline FrameBitmap frameOf(const VFBitmap& bitmap) {
    return FrameBitmap{bitmap.data, bitmap.w, bitmap.h, bitmap.modulo};
}
