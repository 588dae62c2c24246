#include "velmo/zone_finding.h"

#include <cstdint>
#include <new>

#include "core/script_line.h"
#include "core/zone_settings.h"
#include "suggest/zone_suggestion.h"
#include "velmo/media/frame_converter.h"
#include "velmo/media/frame_sampler.h"

namespace {

// The sampled frames as 32-bit pictures, each converted as the one before it is let go, so that
// memory holds the samples about once.
bool toPictures(std::vector<VideoFrame>& samples, std::vector<Picture>& frames, std::string& error) {
    FrameConverter converter;
    for (VideoFrame& sample : samples) {
        Picture picture;
        picture.w = sample.width();
        picture.h = sample.height();
        picture.pixels.resize(static_cast<std::size_t>(picture.w) * static_cast<std::size_t>(picture.h));
        std::uint8_t* planes[4] = {reinterpret_cast<std::uint8_t*>(picture.pixels.data()), nullptr, nullptr,
                                   nullptr};
        const int strides[4] = {picture.w * 4, 0, 0, 0};
        if (!converter.convertInto(*sample.picture, AV_PIX_FMT_BGR0, planes, strides, error)) return false;
        for (Pixel32& pixel : picture.pixels)
            pixel &= 0x00FFFFFFu;  // bgr0's fourth byte is padding
        sample.picture.reset();
        frames.push_back(std::move(picture));
    }
    return true;
}

// Samples the input's frames through the frame reader; a still is a clip of one frame. Refused when
// fewer than half the samples decode: a finding from the few left would pass for one from the clip.
bool readFrames(const std::string& path, const ZoneFinderOptions& options, std::vector<Picture>& frames,
                std::string& error) {
    VideoReaderOptions readerOptions;
    readerOptions.stream = options.stream;
    // Sampling seeks for nearly every frame it takes; threads over slices add no delay after a seek.
    readerOptions.frameThreads = false;
    VideoReader reader;
    if (!reader.open(path, readerOptions, error)) return false;
    std::vector<VideoFrame> samples;
    SampleReport report;
    if (!sampleFrames(reader, options.frames, AV_PIX_FMT_NONE, samples, report, error)) return false;
    const std::string cause = report.lastFailure.empty() ? "" : " (" + report.lastFailure + ")";
    if (report.decoded == 0)
        return error = "cannot read " + quotedName(path) + ": " +
                       (report.lastFailure.empty() ? "no frame could be decoded" : report.lastFailure),
               false;
    if (2 * report.decoded < report.asked)
        return error = "cannot read " + quotedName(path) + ": only " + std::to_string(report.decoded) +
                       " of " + std::to_string(report.asked) + " sampled frames could be decoded" + cause,
               false;
    try {
        frames.reserve(samples.size());
        return toPictures(samples, frames, error);
    } catch (const std::bad_alloc&) {
        error = "cannot read " + quotedName(path) + ": not enough memory for " +
                std::to_string(samples.size()) + " frames of " + std::to_string(reader.stream().width) +
                " x " + std::to_string(reader.stream().height) + " pixels";
        return false;
    }
}

}  // namespace

bool findZone(const std::string& path, const ZoneFinderOptions& options, FoundZone& found,
              std::string& error) {
    std::vector<Picture> frames;
    if (!readFrames(path, options, frames, error)) return false;
    std::vector<FrameBitmap> bitmaps;
    for (Picture& frame : frames)
        bitmaps.push_back(bottomUpView(frame));
    ZoneSuggestion suggestion;
    if (!suggestZone(bitmaps, suggestion, error)) return error = quotedName(path) + ": " + error, false;

    found.zone = Zone{suggestion.sides[0].margin, suggestion.sides[1].margin, suggestion.sides[2].margin,
                      suggestion.sides[3].margin, true};
    found.report.clear();
    const ZoneSide sides[] = {ZoneSide::Up, ZoneSide::Left, ZoneSide::Right, ZoneSide::Down};
    for (std::size_t k = 0; k < 4; ++k)
        found.report.push_back(describeSide(sides[k], suggestion.sides[k]));
    if (options.keepPreviewFrame) found.previewFrame = std::move(frames[suggestion.representativeFrame]);
    return true;
}
