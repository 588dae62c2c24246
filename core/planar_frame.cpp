#include "core/planar_frame.h"

#include <algorithm>

#include "core/zone_geometry.h"

namespace {

constexpr int kMostSubsampling = 2;

bool fits(std::uint32_t value, int sampleSize) {
    return sampleSize == 4 || value < (std::uint32_t{1} << (8 * sampleSize));
}

SampleAxis columnsOf(const PlanarFormat& format, int plane) {
    return SampleAxis::columns(format.width, format.planes[plane].log2Width);
}

SampleAxis rowsOf(const PlanarFormat& format, int plane) {
    return SampleAxis::rows(format.height, format.planes[plane].log2Height, format.interlaced);
}

// An interlaced frame's vertical shift keeps every plane's rows in their fields: a multiple of two
// rows of the most subsampled plane, since that plane's rows alternate between the fields too.
std::int64_t fieldRows(const PlanarFormat& format) {
    int most = 0;
    for (int p = 0; p < format.planeCount; ++p)
        most = std::max(most, format.planes[p].log2Height);
    return std::int64_t{2} << most;
}

}  // namespace

std::string planarFormatProblem(const PlanarFormat& format) {
    if (format.planeCount < 1 || format.planeCount > kMaxPlanes)
        return "a frame has 1 to 4 planes, not " + std::to_string(format.planeCount);
    for (int p = 0; p < format.planeCount; ++p) {
        const PlaneLayout& layout = format.planes[p];
        const auto plane = [p] { return "plane " + std::to_string(p); };
        if (layout.sampleSize != 1 && layout.sampleSize != 2 && layout.sampleSize != 4)
            return plane() + "'s samples are " + std::to_string(layout.sampleSize) + " bytes, not 1, 2 or 4";
        if (layout.log2Width < 0 || layout.log2Width > kMostSubsampling || layout.log2Height < 0 ||
            layout.log2Height > kMostSubsampling)
            return plane() + " is subsampled by 2^" + std::to_string(layout.log2Width) + " x 2^" +
                   std::to_string(layout.log2Height) + ", beyond 2^2";
        if (!fits(format.colours[p].border, layout.sampleSize) ||
            !fits(format.colours[p].outline, layout.sampleSize))
            return plane() + "'s black or red does not fit its " + std::to_string(layout.sampleSize) +
                   "-byte samples";
    }
    return {};
}

std::int32_t planeWidth(const PlanarFormat& format, int plane) {
    return static_cast<std::int32_t>(columnsOf(format, plane).length());
}

std::int32_t planeHeight(const PlanarFormat& format, int plane) {
    return static_cast<std::int32_t>(rowsOf(format, plane).length());
}

PlanarFrame bottomUpFrame(const PlanarFormat& format, std::uint8_t* const data[], const int linesize[]) {
    PlanarFrame frame{};
    for (int p = 0; p < std::clamp(format.planeCount, 0, kMaxPlanes); ++p)
        frame.planes[p] = bottomUpRows(data[p], linesize[p], planeHeight(format, p));
    return frame;
}

std::optional<VerticalShift> renderZonePlanes(const Zone& zone, ZoneView view, const PlanarFormat& format,
                                              const PlanarFrame& source, const PlanarFrame& destination) {
    if (!planarFormatProblem(format).empty()) return std::nullopt;
    const ZoneGeometry exact = zoneGeometry(zone, format.width, format.height);
    // The outline is drawn in place, so it crosses no field.
    const bool moves = view == ZoneView::Shift;
    const ZoneGeometry geometry =
        moves && format.interlaced ? keepingFields(exact, fieldRows(format)) : exact;
    if (format.width > 0 && format.height > 0)
        for (int p = 0; p < format.planeCount; ++p)
            renderPlane(planeGeometry(geometry, columnsOf(format, p), rowsOf(format, p)), view,
                        format.planes[p].sampleSize, source.planes[p], destination.planes[p],
                        format.colours[p]);
    return moves ? VerticalShift{exact.dy, geometry.dy} : VerticalShift{0, 0};
}
