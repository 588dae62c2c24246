#include "core/zone_settings.h"

#include <cstdio>
#include <cstring>
#include <iterator>
#include <limits>

#include "core/zone_geometry.h"

namespace {

// The four sides, in ZoneSide's order: each side's margin, the side the coupling rule pairs it
// with, and the captured dimension that rule measures the pair against.
struct SideFields {
    ZoneSide side;
    std::int32_t ZoneSettings::*margin;
    ZoneSide opposite;
    std::int32_t ZoneSettings::*dimension;
};

constexpr SideFields kSides[] = {
    {ZoneSide::Up, &ZoneSettings::up, ZoneSide::Down, &ZoneSettings::frameHeight},
    {ZoneSide::Left, &ZoneSettings::left, ZoneSide::Right, &ZoneSettings::frameWidth},
    {ZoneSide::Right, &ZoneSettings::right, ZoneSide::Left, &ZoneSettings::frameWidth},
    {ZoneSide::Down, &ZoneSettings::down, ZoneSide::Up, &ZoneSettings::frameHeight},
};

constexpr bool sidesInOrder() {
    for (std::size_t k = 0; k < std::size(kSides); ++k)
        if (static_cast<std::size_t>(kSides[k].side) != k) return false;
    return true;
}
static_assert(sidesInOrder(), "kSides is indexed by ZoneSide");

const SideFields& fieldsOf(ZoneSide side) {
    return kSides[static_cast<std::size_t>(side)];
}

std::int32_t saturateToInt32(std::int64_t value) {
    constexpr std::int64_t lowest = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t highest = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(value < lowest ? lowest : value > highest ? highest : value);
}

}  // namespace

std::int32_t marginOf(const ZoneSettings& settings, ZoneSide side) {
    return settings.*fieldsOf(side).margin;
}

ZoneSide oppositeSide(ZoneSide side) {
    return fieldsOf(side).opposite;
}

int initZoneSettings(ZoneSettings& settings, const FrameBitmap& source) {
    settings.up = 1;
    settings.left = 1;
    settings.right = 1;
    settings.down = 1;
    settings.addBorder = 0;
    settings.frameHeight = source.h;
    settings.frameWidth = source.w;
    return 0;
}

void refreshFrameSize(ZoneSettings& settings, std::int32_t width, std::int32_t height) {
    if (width <= 0 || height <= 0) return;
    settings.frameWidth = width;
    settings.frameHeight = height;
}

bool adjustMargin(ZoneSettings& settings, ZoneSide side, std::int32_t value) {
    const SideFields& fields = fieldsOf(side);
    settings.*fields.margin = value;
    const std::int64_t dimension = settings.*fields.dimension;
    // The real host creates instances before any frame exists; coupling against a size of 0
    // would drive the partner far negative at every slider move.
    if (dimension <= 0) return false;
    std::int32_t& partner = settings.*fieldsOf(fields.opposite).margin;
    // 64-bit: a script line can put any 32-bit integer in either margin.
    if (zoneLength(dimension, value, partner) >= kLeastZoneSize) return false;
    // The partner that leaves exactly the least zone.
    partner = saturateToInt32(dimension - value + 2 - kLeastZoneSize);
    return true;
}

void snapshotSettings(ZoneSettings& settings) {
    settings.savedAddBorder = settings.addBorder;
    settings.savedShowFrame = settings.showFrame;
    settings.savedUp = settings.up;
    settings.savedLeft = settings.left;
    settings.savedRight = settings.right;
    settings.savedDown = settings.down;
}

void restoreSettings(ZoneSettings& settings) {
    settings.addBorder = settings.savedAddBorder;
    settings.showFrame = settings.savedShowFrame;
    settings.up = settings.savedUp;
    settings.left = settings.savedLeft;
    settings.right = settings.savedRight;
    settings.down = settings.savedDown;
}

void formatSummary(const ZoneSettings& settings, char* buffer) {
    std::snprintf(buffer, kSummaryCapacity, " (%d, %d, %d, %d, %d)", int{settings.up}, int{settings.left},
                  int{settings.right}, int{settings.down}, int{settings.addBorder});
}

bool formatScriptLine(const ZoneSettings& settings, char* buffer, int length) {
    if (length <= 0) return false;
    char line[kScriptLineCapacity];
    const int needed =
        std::snprintf(line, sizeof line, "Config(%d,%d,%d,%d,%d)", int{settings.up}, int{settings.left},
                      int{settings.right}, int{settings.down}, int{settings.addBorder});
    if (needed < 0 || needed >= length) {
        buffer[0] = '\0';
        return false;
    }
    std::memcpy(buffer, line, static_cast<std::size_t>(needed) + 1);
    return true;
}

void applyConfigCommand(ZoneSettings& settings, std::int32_t up, std::int32_t left, std::int32_t right,
                        std::int32_t down, std::int32_t addBorder) {
    settings.up = up;
    settings.left = left;
    settings.right = right;
    settings.down = down;
    settings.addBorder = addBorder;
}

Zone zoneOf(const ZoneSettings& settings) {
    return Zone{.up = settings.up,
                .left = settings.left,
                .right = settings.right,
                .down = settings.down,
                .border = settings.addBorder != 0};
}

ZoneView viewOf(const ZoneSettings& settings) {
    return settings.showFrame != 0 ? ZoneView::Outline : ZoneView::Shift;
}

void storeZone(ZoneSettings& settings, const Zone& zone) {
    applyConfigCommand(settings, zone.up, zone.left, zone.right, zone.down, zone.border ? 1 : 0);
}
