#include "core/render_zone_frame.h"

#include "core/render_plane.h"
#include "core/zone_geometry.h"

// A 32-bit frame is one plane of 4-byte samples at full size.
void renderZoneFrame(const Zone& zone, ZoneView view, const FrameBitmap& source,
                     const FrameBitmap& destination, const ZoneColours& colours) {
    if (source.w <= 0 || source.h <= 0) return;
    // The row stride in whole pixels, as the host's modulo gives it, shared by both bitmaps.
    const std::int64_t stride = rowStridePixels(source) * std::int64_t{sizeof(Pixel32)};
    const PlaneGeometry geometry =
        planeGeometry(zoneGeometry(zone, source.w, source.h), SampleAxis::columns(source.w, 0),
                      SampleAxis::rows(source.h, 0, false));
    renderPlane(geometry, view, sizeof(Pixel32),
                PlaneRows{reinterpret_cast<std::uint8_t*>(source.data), stride},
                PlaneRows{reinterpret_cast<std::uint8_t*>(destination.data), stride}, colours);
}

void renderZoneFrame(const ZoneSettings& settings, const FrameBitmap& source, const FrameBitmap& destination,
                     const ZoneColours& colours) {
    renderZoneFrame(zoneOf(settings), viewOf(settings), source, destination, colours);
}
