#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/zone.h"
#include "core/zone_settings.h"

// The one reader of saved settings lines, shared by every tool. A line is a call of a script
// function with whole-number arguments, as the host saves it or as a user pastes it:
//
//   line     = [prefix] name "(" [integer {"," integer}] ")" [";"]
//   prefix   = "VirtualDub" "." "video" "." "filters" "." "instance" "[" digits "]" "."
//   integer  = ["+" | "-"] digits, from -2147483648 to 2147483647
//
// Blanks (spaces, tabs) may stand between any two of these tokens, and the line may end in CR LF,
// LF or CR, as a line copied out of a Windows script file does. Names are case-sensitive.
struct ScriptCall {
    std::string name;
    std::vector<std::int32_t> arguments;
};

// Reads one line. On failure returns false with a one-line `error` that quotes the line (control
// characters escaped) and says at which character it stopped making sense, and what it expected.
bool parseScriptCall(std::string_view line, ScriptCall& call, std::string& error);

// Reads a settings line, the plug-in's own Config(up,left,right,down,border): a script call named
// Config with exactly five integers. Any nonzero border turns the border on.
bool parseConfigLine(std::string_view line, Zone& zone, std::string& error);

// Reads a settings line and stores its five values as the Config command does, the border's integer
// as it is; on failure changes nothing.
bool applyScriptLine(ZoneSettings& settings, std::string_view line, std::string& error);

// The settings line for a zone, as the plug-in saves it: Config(up,left,right,down,border) with the
// border 0 or 1.
std::string configLine(const Zone& zone);

// The same zone as FFmpeg's frei0r filter takes it from velmo.so, its parameters by position:
// frei0r=velmo:up|left|right|down|border, the border y or n (frei0r=velmo:3|5|7|9|y). The margins go
// as whole numbers, which velmo.so reads back exactly.
std::string frei0rFilterLine(const Zone& zone);

// One whole number of the line's grammar and nothing else (no blanks): an optional sign and digits,
// within the 32-bit range. For tools that take margins one by one.
bool readWholeNumber(std::string_view text, std::int32_t& value);

// The line as it can be shown inside a one-line message: quoted, control characters and quotes
// escaped, and cut short after `limit` characters.
std::string quotedLine(std::string_view line, std::size_t limit = 100);

// A file name as a one-line message shows it: as it is when it prints as one plain line (printable
// ASCII or UTF-8 text), otherwise quoted as quotedLine quotes, whole. An empty name is quoted too, so
// that it shows at all.
std::string quotedName(std::string_view name);
