#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/zone_settings.h"
#include "velmo/command_line.h"

// The zone as a command line gives it: a settings line (--config) or margins and --border, not both;
// --show-frame goes with either. Commands hold one as `zone` in their options record and put the
// rows below into their option table.
struct ZoneChoice {
    ZoneChoice();
    ZoneSettings settings{};  // the plug-in's defaults until an option says otherwise
    bool fromLine = false;
    bool fromMargins = false;
};

bool takeZoneLine(ZoneChoice& zone, std::string_view value, std::string& error);
bool takeZoneMargin(ZoneChoice& zone, std::int32_t ZoneSettings::*margin, std::string_view option,
                    std::string_view value, std::string& error);
void takeZoneBorder(ZoneChoice& zone);
void takeZoneShowFrame(ZoneChoice& zone);

// False with a one-line `error` when the line and the margins were both given.
bool checkZoneChoice(const ZoneChoice& zone, std::string& error);

// The rows, for any options record with a ZoneChoice `zone`.
template <class Options>
inline constexpr Option<Options> kZoneLineOption{
    .name = "--config",
    .value = "LINE",
    .help = "the settings as the plug-in saves them, e.g. \"Config(3,5,7,9,1)\"",
    .take = [](Options& options, std::string_view, std::string_view value, std::string& error) {
        return takeZoneLine(options.zone, value, error);
    }};

template <class Options, std::int32_t ZoneSettings::*margin>
inline constexpr auto kTakeZoneMargin =
    [](Options& options, std::string_view option, std::string_view value, std::string& error) {
        return takeZoneMargin(options.zone, margin, option, value, error);
    };

template <class Options>
inline constexpr Option<Options> kZoneUpOption{.name = "--up",
                                               .value = "N",
                                               .help = "margin at the top (default 1)",
                                               .take = kTakeZoneMargin<Options, &ZoneSettings::up>};
template <class Options>
inline constexpr Option<Options> kZoneLeftOption{.name = "--left",
                                                 .value = "N",
                                                 .help = "margin at the left (default 1)",
                                                 .take = kTakeZoneMargin<Options, &ZoneSettings::left>};
template <class Options>
inline constexpr Option<Options> kZoneRightOption{.name = "--right",
                                                  .value = "N",
                                                  .help = "margin at the right (default 1)",
                                                  .take = kTakeZoneMargin<Options, &ZoneSettings::right>};
template <class Options>
inline constexpr Option<Options> kZoneDownOption{.name = "--down",
                                                 .value = "N",
                                                 .help = "margin at the bottom (default 1)",
                                                 .take = kTakeZoneMargin<Options, &ZoneSettings::down>};
template <class Options>
inline constexpr Option<Options> kZoneBorderOption{
    .name = "--border",
    .help = "black out everything outside the centred window",
    .take = [](Options& options, std::string_view, std::string_view, std::string&) {
        takeZoneBorder(options.zone);
        return true;
    }};
template <class Options>
inline constexpr Option<Options> kZoneShowFrameOption{
    .name = "--show-frame",
    .help = "draw the zone's outline in red instead of shifting",
    .take = [](Options& options, std::string_view, std::string_view, std::string&) {
        takeZoneShowFrame(options.zone);
        return true;
    }};
