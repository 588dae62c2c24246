#pragma once

#include <string>
#include <vector>

#include "velmo/image/picture.h"

// True when the file starts as a PNG, BMP or JPEG does: such a still is read as a picture, not
// through FFmpeg.
bool isStillPicture(const std::string& path);

// Reads up to `count` frames spread evenly over the whole of a video, through the ffprobe and
// ffmpeg programs as child processes. Each frame is found by seeking, so the time taken does not
// grow with the video's length. Frames a seek cannot reach (past an inaccurate end) are left out.
// On failure returns false with a one-line `error`: FFmpeg missing, an unreadable file, no video
// stream, no frame decoded.
bool readVideoFrames(const std::string& path, int count, std::vector<Picture>& frames, std::string& error);
