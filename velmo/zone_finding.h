#pragma once

#include <string>
#include <vector>

#include "core/zone.h"
#include "velmo/image/picture.h"

// The zone finder as velmo's commands call it: `velmo suggest` prints what it finds, `velmo fix`
// uses it when no --config is given. Both go through findZone, so that both always find the same
// zone in the same file, and a new finder changes this one place.

inline constexpr int kDefaultFinderFrames = 100;
inline constexpr int kMostFinderFrames = 500;

struct ZoneFinderOptions {
    int stream = -1;  // the video stream, by its number in the file; -1: the file's only one
    int frames = kDefaultFinderFrames;
    bool keepPreviewFrame = false;  // keep the sampled frame that shows the picture best
};

struct FoundZone {
    Zone zone;  // the suggested zone, with the border on
    std::vector<std::string>
        report;            // what was found on each side, and notes: a line each, for standard error
    Picture previewFrame;  // when asked: the frame that shows the picture best
};

// Samples the file's frames and finds the largest zone whose edge lines are clean in all of them.
// False with a one-line `error` when the file cannot be read, too few samples decode, or the finder
// declines (frames all black or flat, no clean picture of the least zone size).
bool findZone(const std::string& path, const ZoneFinderOptions& options, FoundZone& found,
              std::string& error);

// A note for standard error when the zone moves the picture by an odd number of lines, which on
// interlaced video trades the fields' places, with the nearest line that moves it by an even number;
// empty otherwise.
std::string oddShiftNote(const Zone& zone);
