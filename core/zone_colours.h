#pragma once

#include <cstdint>

// The sample values the filter paints: the border outside the kept window, and the zone's outline.
// A sample is 1, 2 or 4 bytes; the value is written whole and only its low bytes count.
struct ZoneColours {
    std::uint32_t border;
    std::uint32_t outline;
};

// 32-bit pixels, 0x00RRGGBB. The plug-in paints black and red with a zero fourth byte; a caller whose
// pixels carry alpha in that byte can paint them opaque.
inline constexpr std::uint32_t kBlack = 0x00000000;
inline constexpr std::uint32_t kRed = 0x00FF0000;
inline constexpr ZoneColours kZoneColours{kBlack, kRed};
// The same colours with an opaque fourth byte, for faces whose pixels carry alpha there (bgra streams,
// frei0r's BGRA8888).
inline constexpr ZoneColours kOpaqueZoneColours{0xFF000000u | kBlack, 0xFF000000u | kRed};
