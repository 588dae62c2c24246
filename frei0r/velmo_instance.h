#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/frame_bitmap.h"
#include "core/zone.h"

// One frei0r instance: the parameters as the host set them, and the zone and view they amount to.
// Frames are rendered from the settings alone; nothing is carried from one frame to the next.
class VelmoInstance {
public:
    VelmoInstance(std::int32_t width, std::int32_t height);

    // `value` points at a double for the numbers and flags, at a char* for the settings line, as
    // frei0r passes them. An unknown index, a null pointer or NaN changes nothing.
    void setParameter(int index, const void* value);
    // Writes back what the host set (a double, or the line as a char* that stays valid until the
    // line is set again); an unknown index or a null pointer writes nothing.
    void getParameter(int index, void* value);

    // Renders one top-down BGRA frame of the instance's size. Null frames are skipped; a frame
    // rendered onto itself is first copied aside.
    void render(const std::uint32_t* input, std::uint32_t* output);

    const Zone& zone() const { return zone_; }
    ZoneView view() const { return view_; }

private:
    void setConfigLine(const char* line);
    void updateZone();

    std::int32_t width_;
    std::int32_t height_;
    double margins_[4] = {1, 1, 1, 1};  // as set, in the order up, left, right, down
    std::int32_t roundedMargins_[4] = {1, 1, 1, 1};
    double border_ = 0;
    double showFrame_ = 0;
    std::string configLine_;
    // The last good line while one is set: a bad line after it changes nothing.
    std::optional<Zone> config_;
    Zone zone_;
    ZoneView view_ = ZoneView::Shift;
    std::vector<Pixel32> inPlaceCopy_;
    bool reportedNoMemory_ = false;
};
