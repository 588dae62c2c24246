#include "velmo/zone_finding.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <new>

#include "core/script_line.h"
#include "suggest/capture_frame.h"
#include "suggest/zone_suggestion.h"
#include "velmo/media/frame_sampler.h"

namespace {

// Memory the sampled frames may take: a frame costs the finder three bytes a pixel, so 8K video is
// sampled about fifteen times, 1080p a hundred times.
constexpr std::int64_t kSampleMemory = std::int64_t{1536} << 20;

// A sampled frame, converted to 8-bit limited-range yuv444p, as the finder reads it.
CaptureFrame captureFrameOf(const VideoFrame& sample, int sourceBitDepth, bool lossless) {
    const AVFrame& picture = *sample.picture;
    CaptureFrame frame;
    frame.w = picture.width;
    frame.h = picture.height;
    frame.interlaced = sample.interlaced;
    frame.topFieldFirst = sample.topFieldFirst;
    frame.sourceBitDepth = sourceBitDepth;
    frame.lossless = lossless;
    std::vector<std::uint8_t>* planes[3] = {&frame.y, &frame.cb, &frame.cr};
    const std::size_t width = static_cast<std::size_t>(frame.w);
    for (int p = 0; p < 3; ++p) {
        planes[p]->resize(width * static_cast<std::size_t>(frame.h));
        for (std::int32_t row = 0; row < frame.h; ++row)
            std::copy_n(picture.data[p] + static_cast<std::ptrdiff_t>(row) * picture.linesize[p], width,
                        planes[p]->data() + static_cast<std::size_t>(row) * width);
    }
    return frame;
}

// How many frames fit in kSampleMemory at this size: the count asked for, or fewer for very large
// frames.
int affordableFrames(const VideoStreamInfo& stream, int asked) {
    const std::int64_t frameBytes =
        std::max<std::int64_t>(1, std::int64_t{stream.width} * stream.height * kCaptureFrameBytesPerPixel);
    return static_cast<int>(std::clamp<std::int64_t>(kSampleMemory / frameBytes, 1, asked));
}

// Samples the input's frames through the frame reader, as the finder reads them; a still is a clip
// of one frame. Refused when fewer than half the samples decode: a finding from the few left would
// pass for one from the clip.
bool readFrames(const std::string& path, const ZoneFinderOptions& options, std::vector<CaptureFrame>& frames,
                std::vector<std::string>& notes, std::string& error) {
    VideoReaderOptions readerOptions;
    readerOptions.stream = options.stream;
    // Sampling seeks for nearly every frame it takes; threads over slices add no delay after a seek.
    readerOptions.frameThreads = false;
    VideoReader reader;
    if (!reader.open(path, readerOptions, error)) return false;
    const int count = affordableFrames(reader.stream(), options.frames);
    if (count < options.frames)
        notes.push_back("note: frames of " + std::to_string(reader.stream().width) + " x " +
                        std::to_string(reader.stream().height) + " pixels: " + std::to_string(count) +
                        " of the " + std::to_string(options.frames) + " frames asked for are sampled");
    std::vector<VideoFrame> samples;
    SampleReport report;
    if (!sampleFrames(reader, count, AV_PIX_FMT_YUV444P, samples, report, error, AVCOL_RANGE_MPEG))
        return false;
    const std::string cause = report.lastFailure.empty() ? "" : " (" + report.lastFailure + ")";
    if (report.decoded == 0)
        return error = "cannot read " + quotedName(path) + ": " +
                       (report.lastFailure.empty() ? "no frame could be decoded" : report.lastFailure),
               false;
    if (2 * report.decoded < report.asked)
        return error = "cannot read " + quotedName(path) + ": only " + std::to_string(report.decoded) +
                       " of " + std::to_string(report.asked) + " sampled frames could be decoded" + cause,
               false;
    const AVPixFmtDescriptor* source = av_pix_fmt_desc_get(reader.stream().pixelFormat);
    const int sourceBitDepth = source != nullptr ? source->comp[0].depth : 8;
    // A codec that may also be lossy (H.264's lossless mode) is taken for lossy.
    const AVCodecDescriptor* codec = avcodec_descriptor_get(reader.stream().codec);
    const bool lossless = codec != nullptr && (codec->props & AV_CODEC_PROP_LOSSLESS) != 0 &&
                          (codec->props & AV_CODEC_PROP_LOSSY) == 0;
    try {
        frames.reserve(samples.size());
        for (VideoFrame& sample : samples) {
            frames.push_back(captureFrameOf(sample, sourceBitDepth, lossless));
            sample.picture.reset();  // the finder's copy is all that is kept
        }
        return true;
    } catch (const std::bad_alloc&) {
        error = "cannot read " + quotedName(path) + ": not enough memory for " +
                std::to_string(samples.size()) + " frames of " + std::to_string(reader.stream().width) +
                " x " + std::to_string(reader.stream().height) + " pixels";
        return false;
    }
}

// The frame as RGB again, for the preview, by BT.601's limited-range matrix.
Picture pictureOf(const CaptureFrame& frame) {
    Picture picture;
    picture.w = frame.w, picture.h = frame.h;
    picture.pixels.resize(frame.y.size());
    for (std::size_t k = 0; k < frame.y.size(); ++k) {
        const float y = 1.164f * (frame.y[k] - 16.0f), cb = frame.cb[k] - 128.0f, cr = frame.cr[k] - 128.0f;
        const auto channel = [](float v) {
            return static_cast<Pixel32>(std::clamp(std::lround(v), 0L, 255L));
        };
        picture.pixels[k] = (channel(y + 1.596f * cr) << 16) | (channel(y - 0.392f * cb - 0.813f * cr) << 8) |
                            channel(y + 2.017f * cb);
    }
    return picture;
}

}  // namespace

bool findZone(const std::string& path, const ZoneFinderOptions& options, FoundZone& found,
              std::string& error) {
    found.report.clear();
    std::vector<CaptureFrame> frames;
    if (!readFrames(path, options, frames, found.report, error)) return false;
    ZoneSuggestion suggestion;
    if (!suggestZone(frames, suggestion, error)) return error = quotedName(path) + ": " + error, false;

    found.zone = Zone{suggestion.sides[0].margin, suggestion.sides[1].margin, suggestion.sides[2].margin,
                      suggestion.sides[3].margin, true};
    const ZoneSide sides[] = {ZoneSide::Up, ZoneSide::Left, ZoneSide::Right, ZoneSide::Down};
    for (std::size_t k = 0; k < 4; ++k)
        found.report.push_back(describeSide(sides[k], suggestion.sides[k]));
    if (options.keepPreviewFrame) found.previewFrame = pictureOf(frames[suggestion.representativeFrame]);
    return true;
}

std::string oddShiftNote(const Zone& zone) {
    // With the border on, the picture moves (down - up) >> 1 lines.
    const auto shiftOf = [](const Zone& z) { return (std::int64_t{z.down} - z.up) >> 1; };
    const std::int64_t shift = shiftOf(zone);
    if (shift % 2 == 0) return {};
    const std::int64_t lines = shift < 0 ? -shift : shift;
    std::string note = "note: this line moves the picture " + std::to_string(lines) +
                       (lines == 1 ? " line " : " lines ") + (shift > 0 ? "down" : "up") +
                       ", an odd number: on interlaced video the fields trade places";
    if (std::max(zone.up, zone.down) > INT32_MAX - 2) return note;
    // A line or two more on one side (the larger first) makes the move even and keeps the zone safe.
    Zone even = zone;
    for (const std::int32_t more : {1, 2}) {
        even = zone;
        (zone.down >= zone.up ? even.down : even.up) += more;
        if (shiftOf(even) % 2 == 0) break;
    }
    return note + "; " + configLine(even) + " moves it by an even number";
}
