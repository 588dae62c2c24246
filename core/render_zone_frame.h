#pragma once

#include "core/frame_bitmap.h"
#include "core/zone.h"
#include "core/zone_colours.h"
#include "core/zone_settings.h"

// Renders one 32-bit frame: in shift mode the zone's centre moves to the frame's centre with the
// edge pixels repeated (and, with the border, everything outside a centred window of the zone's
// size painted black); in outline mode the picture passes unshifted with the zone's outline in red.
// Both bitmaps are addressed with the source's width, height and modulo. Every destination pixel
// is written and nothing else is, row gaps included; the source must be a different buffer.
void renderZoneFrame(const Zone& zone, ZoneView view, const FrameBitmap& source,
                     const FrameBitmap& destination, const ZoneColours& colours = kZoneColours);

// The same, for the plug-in's instance record: its border and "Show frame" switches, any nonzero
// value meaning on.
void renderZoneFrame(const ZoneSettings& settings, const FrameBitmap& source, const FrameBitmap& destination,
                     const ZoneColours& colours = kZoneColours);
