#pragma once

#include <string>
#include <vector>

#include "velmo/media/video_reader.h"

// Frames spread over a whole video, for the zone finder.
//
// A clip with few frames (no more than twice the count; a still is one frame) and a stream without
// a known length are read from start to end; the frames kept are spread evenly over it, never more
// than `count` at a time, so a stream of any length needs `count` frames of memory at most. A
// longer clip is sampled by seeking, so a long file takes no longer than a short one: each sample
// is the first frame decoded after the key frame at or before its place (no decoding on to the
// exact time, which costs a group of pictures per sample). Where key frames lie further apart than
// the samples, decoding goes on from the sample before for a few frames instead, so that no
// frame is taken twice.
struct SampleReport {
    int asked = 0;             // samples tried: `count` when seeking; when reading through, the frames picked
    int decoded = 0;           // samples that gave a whole frame of the video's size
    bool readThrough = false;  // the file was read from start to end rather than by seeking
    int seeks = 0;             // the work it took: seeks, and frames decoded (taken or not)
    int framesDecoded = 0;
    std::string lastFailure;  // the cause of the last sample that failed, when one did
};

// Fills `samples` (in time order) with up to `count` frames converted to `format` (AV_PIX_FMT_NONE
// keeps the decoder's own format, without a copy), a YUV format in `yuvRange` (FrameConverter). A sample that
// cannot be decoded — a damaged or cut-off file, a frame of another size — is counted in `report`, not an
// error: the caller judges whether enough were decoded. Returns false only when reading cannot go on (memory,
// a failing disk), with a one-line `error`.
bool sampleFrames(VideoReader& reader, int count, AVPixelFormat format, std::vector<VideoFrame>& samples,
                  SampleReport& report, std::string& error, AVColorRange yuvRange = AVCOL_RANGE_UNSPECIFIED);
