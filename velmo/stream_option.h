#pragma once

#include <charconv>
#include <string>
#include <string_view>

#include "core/script_line.h"
#include "velmo/command_line.h"

// --stream N: which video stream of a file the command reads, by its number in the file as ffprobe
// counts; for any options record with an int `stream` (-1 until given).
bool takeStreamNumber(int& stream, std::string_view value, std::string& error);

template <class Options>
inline constexpr Option<Options> kVideoStreamOption{
    .name = "--stream",
    .value = "N",
    .help =
        "the video stream to read, by its number in the file (as ffprobe counts); needed when the file "
        "has more than one",
    .take = [](Options& options, std::string_view, std::string_view value, std::string& error) {
        return takeStreamNumber(options.stream, value, error);
    }};
