#pragma once

#include "core/frame_bitmap.h"
#include "core/zone_settings.h"

inline constexpr Pixel32 kBlack = 0x00000000;
inline constexpr Pixel32 kRed = 0x00FF0000;

// The colours the filter paints: the border outside the kept window, and the zone's outline. The
// plug-in paints black and red with a zero fourth byte; a caller whose pixels carry alpha in that
// byte can paint them opaque.
struct ZoneColours {
    Pixel32 border;
    Pixel32 outline;
};
inline constexpr ZoneColours kZoneColours{kBlack, kRed};
// The same colours with an opaque fourth byte, for faces whose pixels carry alpha there (bgra streams,
// frei0r's BGRA8888).
inline constexpr ZoneColours kOpaqueZoneColours{0xFF000000u | kBlack, 0xFF000000u | kRed};

// Renders one frame: in shift mode the zone's centre moves to the frame's centre with the edge
// pixels repeated (and, with addBorder, everything outside a centred window of the zone's size
// painted black); in outline mode the picture passes unshifted with the zone's outline in red.
// Both bitmaps are addressed with the source's width, height and modulo. Every destination pixel
// is written and nothing else is, row gaps included; the source must be a different buffer.
// Returns 0.
int renderZoneFrame(const ZoneSettings& settings, const FrameBitmap& source, const FrameBitmap& destination,
                    const ZoneColours& colours = kZoneColours);
