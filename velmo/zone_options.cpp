#include "velmo/zone_options.h"

#include "core/script_line.h"

ZoneChoice::ZoneChoice() {
    initZoneSettings(settings, FrameBitmap{});
}

bool takeZoneLine(ZoneChoice& zone, std::string_view value, std::string& error) {
    zone.fromLine = true;
    return applyScriptLine(zone.settings, value, error);
}

bool takeZoneMargin(ZoneChoice& zone, std::int32_t ZoneSettings::*margin, std::string_view option,
                    std::string_view value, std::string& error) {
    if (!readWholeNumber(value, zone.settings.*margin)) {
        error = std::string(option) + " needs a whole number from -2147483648 to 2147483647, not " +
                quotedLine(value);
        return false;
    }
    zone.fromMargins = true;
    return true;
}

void takeZoneBorder(ZoneChoice& zone) {
    zone.settings.addBorder = 1;
    zone.fromMargins = true;
}

void takeZoneShowFrame(ZoneChoice& zone) {
    zone.settings.showFrame = 1;
}

bool checkZoneChoice(const ZoneChoice& zone, std::string& error) {
    if (!zone.fromLine || !zone.fromMargins) return true;
    error = "give the settings either as --config or as --up/--left/--right/--down/--border, not both";
    return false;
}
