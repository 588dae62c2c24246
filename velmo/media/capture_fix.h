#pragma once

// One capture fixed: every frame of its video moved by the plane transform on its own samples and
// encoded, every other stream copied, into a Matroska file written whole or not at all. What
// `velmo fix` does for each of its inputs.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/planar_frame.h"
#include "core/zone.h"
#include "velmo/image/output_file.h"
#include "velmo/media/matroska_output.h"
#include "velmo/media/video_encoder.h"
#include "velmo/media/video_reader.h"

// What can be refused about a capture, found before any frame is decoded.
struct FixPlan {
    AVPixelFormat sourceFormat = AV_PIX_FMT_NONE;  // the decoder's, as the file says
    AVPixelFormat movedFormat = AV_PIX_FMT_NONE;   // what the frames are moved and encoded in
    std::string formatChange;                      // what that changes, in words; empty: nothing
    StreamPlan streams;
};

// Checks the reader's file for fixing with `encoder`: a pixel format the transform takes (as it is
// or losslessly repacked) and the encoder takes, streams Matroska holds, and an encoder and a
// Matroska header that can be set up on the video's facts (written nowhere). False with a one-line
// `error` naming what is refused.
bool planFix(const VideoReader& reader, const EncoderChoice& encoder, FixPlan& plan, std::string& error);

// How far the work is: frames written, and the part of the video done (0 to 1; negative when the
// file does not say how long it is).
using FixProgress = std::function<void(std::int64_t frames, double done)>;

struct FixSummary {
    std::int64_t frames = 0;
    // The vertical shift of the first frame whose shift was rounded to keep its fields (an
    // interlaced frame), when one was.
    std::optional<VerticalShift> rounded;
    // How much later every stream starts than in the input (MatroskaOutput::startDelay).
    std::int64_t startDelay = 0;
};

// Reads every frame from the reader's start, moves it by `zone`, encodes it and writes the file,
// with every other stream as planned. False with a one-line `error` when the file cannot be read to
// its end (a damaged frame, a cut-off file), the encoder or the output fails; `output` is then not
// committed, so the temporary goes with it.
bool writeFixedCapture(VideoReader& reader, const Zone& zone, const EncoderChoice& encoder,
                       const FixPlan& plan, OutputFile& output, const FixProgress& progress,
                       FixSummary& summary, std::string& error);
