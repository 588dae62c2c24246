#pragma once

#include <cstdint>

#include "core/frame_bitmap.h"
#include "core/zone.h"

// The host's preview interface. The core only carries the pointer for the dialog.
class IFilterPreview;

// The whole state of one filter instance. It lives in zero-filled storage that the host
// allocates, so its layout is the module's own: fields keep this order and are 32-bit words
// apart from the pointer.
struct ZoneSettings {
    IFilterPreview* preview;
    std::int32_t addBorder;
    std::int32_t showFrame;
    std::int32_t up;
    std::int32_t left;
    std::int32_t right;
    std::int32_t down;
    std::int32_t savedAddBorder;
    std::int32_t savedShowFrame;
    std::int32_t savedUp;
    std::int32_t savedLeft;
    std::int32_t savedRight;
    std::int32_t savedDown;
    std::int32_t frameHeight;
    std::int32_t frameWidth;
};

static_assert(sizeof(ZoneSettings) == (sizeof(void*) == 4 ? 60 : 64),
              "ZoneSettings is fifteen 4-byte fields on 32-bit hosts");

enum class ZoneSide { Up, Left, Right, Down };

// The margin on one side, and the side the coupling rule pairs it with (up with down, left with
// right).
std::int32_t marginOf(const ZoneSettings& settings, ZoneSide side);
ZoneSide oppositeSide(ZoneSide side);

// Longest summary: " (" + five 11-character integers + four ", " + ")" = 66, plus the NUL.
inline constexpr int kSummaryCapacity = 67;
// Longest script line: "Config(" + five 11-character integers + four "," + ")" = 67, plus the NUL.
inline constexpr int kScriptLineCapacity = 68;

// Defaults for a new instance: margins 1, border off, and the source size for the coupling rule.
// Leaves showFrame, preview and the snapshot as the host's zero-filled storage holds them.
int initZoneSettings(ZoneSettings& settings, const FrameBitmap& source);

// Captures the frame size for the coupling rule when both dimensions are known (positive); the
// host creates instances before any frame exists and describes the frame only later.
void refreshFrameSize(ZoneSettings& settings, std::int32_t width, std::int32_t height);

// Stores `value` in the margin of `side`, then pushes the opposite margin back so the two sum to
// at most the captured dimension - 10: the zone keeps kLeastZoneSize pixels in that direction. Returns true
// when the opposite margin was changed, so the caller can move its slider. While the captured dimension is
// unknown (not positive) the opposite margin is left alone. A pushed value outside the 32-bit range is
// saturated.
bool adjustMargin(ZoneSettings& settings, ZoneSide side, std::int32_t value);

// The snapshot the dialog takes on opening and puts back on Cancel.
void snapshotSettings(ZoneSettings& settings);
void restoreSettings(ZoneSettings& settings);

// " (up, left, right, down, border)" for the host's filter list; `buffer` must hold
// kSummaryCapacity bytes.
void formatSummary(const ZoneSettings& settings, char* buffer);

// "Config(up,left,right,down,border)", the line that saves the instance. Returns false, leaving
// an empty string when `length` >= 1, if the whole line and its NUL do not fit: a cut-off line
// would break the script when it is loaded again, while false makes the host skip it.
bool formatScriptLine(const ZoneSettings& settings, char* buffer, int length);

// The command behind the script line: stores the five values as they are.
void applyConfigCommand(ZoneSettings& settings, std::int32_t up, std::int32_t left, std::int32_t right,
                        std::int32_t down, std::int32_t addBorder);

// The zone the record holds, and how it is shown: the border and "Show frame" are on for any
// nonzero value, as the script command can store any integer.
Zone zoneOf(const ZoneSettings& settings);
ZoneView viewOf(const ZoneSettings& settings);

// Stores a zone's margins, and its border as the dialog writes it (0 or 1). Everything else is left
// as it is: "Show frame", the snapshot, the captured size and the preview.
void storeZone(ZoneSettings& settings, const Zone& zone);
