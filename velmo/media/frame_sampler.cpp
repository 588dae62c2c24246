#include "velmo/media/frame_sampler.h"

#include <cstdint>
#include <new>

#include "core/script_line.h"
#include "velmo/media/frame_converter.h"

namespace {

// A clip of at most this many times the samples asked is read through: decoding it whole costs
// about what seeking for every sample would, and gives frames exactly evenly spread.
constexpr std::int64_t kReadThroughFactor = 2;

// A seek costs a key frame and the decoder's delay, decoding on from the frame before costs a frame
// per step: a sample at most this many frames ahead is reached by decoding on.
constexpr int kNearbyFrames = 2;

// How far decoding goes on, at most, where the samples are closer together than the key frames:
// from the sample before when the file's index shows no key frame up to the sample's place, and
// after a seek that landed on a key frame already sampled (the decoder then skips on to the next
// key frame). A long group of pictures thus costs no more than this per sample.
constexpr int kFramesDecodedOn = 6;

// A sample whose search decodes this many frames without a usable one is given up (a seek far
// from its place, a damaged stretch).
constexpr int kMostFramesPerSample = 600;

// How a sample's place is reached: by its time, or by a byte of the file (then the frames found
// there are ordered by their timestamps all the same).
enum class Seeking { ToTimes, ToBytes };

class Sampler {
public:
    Sampler(VideoReader& reader, int count, AVPixelFormat format, AVColorRange yuvRange,
            std::vector<VideoFrame>& samples, SampleReport& report)
        : reader_(reader),
          count_(count),
          format_(format),
          samples_(samples),
          report_(report),
          converter_(yuvRange) {}

    bool readThrough(std::string& error);
    bool seekEach(Seeking seeking, std::string& error);

private:
    enum class Step { Taken, Failed, Ended, Stop };

    VideoReader::Read next(std::string& error);
    bool keep(std::string& error);
    Step takeFirstAfter(std::int64_t target, std::int64_t after, std::string& error);
    Step decodeOnTo(std::int64_t target, std::string& error);
    bool decodeOnFrom(std::int64_t target) const;
    // Keeps the cause of a failed sample, without the "cannot read FILE: " the reader's messages
    // start with: the caller says which file.
    void fail(const std::string& message) {
        const std::string prefix = "cannot read " + quotedName(reader_.path()) + ": ";
        report_.lastFailure = message.rfind(prefix, 0) == 0 ? message.substr(prefix.size()) : message;
    }

    VideoReader& reader_;
    const int count_;
    const AVPixelFormat format_;
    std::vector<VideoFrame>& samples_;
    SampleReport& report_;
    Seeking seeking_ = Seeking::ToTimes;
    FrameConverter converter_;
    VideoFrame frame_;
    // Timestamps of the last frame decoded since the last seek and of the last frame taken;
    // kUnknown when there is none (or, for the first, after a seek).
    static constexpr std::int64_t kUnknown = AV_NOPTS_VALUE;
    std::int64_t lastDecoded_ = kUnknown;
    std::int64_t lastTaken_ = kUnknown;
    std::int64_t lastKeyFrame_ = kUnknown;  // the clip's last key frame, once skipping found none after it
};

VideoReader::Read Sampler::next(std::string& error) {
    const VideoReader::Read read = reader_.nextFrame(frame_, error);
    if (read == VideoReader::Read::Frame || read == VideoReader::Read::Damaged) ++report_.framesDecoded;
    if (read == VideoReader::Read::Frame) lastDecoded_ = frame_.timestamp;
    return read;
}

// Adds the frame just decoded to the samples, in the format asked.
bool Sampler::keep(std::string& error) {
    VideoFrame sample;
    if (!converter_.convert(*frame_.picture, format_, sample.picture, error)) {
        error = "cannot read " + quotedName(reader_.path()) + ": " + error;
        return false;
    }
    sample.timestamp = frame_.timestamp;
    sample.interlaced = frame_.interlaced;
    sample.topFieldFirst = frame_.topFieldFirst;
    sample.sampleAspectRatio = frame_.sampleAspectRatio;
    sample.colour = frame_.colour;
    samples_.push_back(std::move(sample));
    lastTaken_ = frame_.timestamp;
    return true;
}

// From start to end, keeping frames evenly spread: with the clip's length known, frame i is picked
// when it is the first of a new count-th of the clip. The n-th picked frame is kept while n is a multiple
// of the stride; when the kept ones would pass `count`, every second one goes and the stride
// doubles (a clip longer than it said, or a stream of unknown length), and the report counts as if
// the larger stride had held from the start.
bool Sampler::readThrough(std::string& error) {
    report_.readThrough = true;
    const std::int64_t length = reader_.stream().frameCount;
    std::int64_t frameIndex = 0, picked = 0, stride = 1;
    std::vector<std::int64_t> keptNumbers, failedNumbers;
    auto thin = [&stride](std::vector<std::int64_t>& numbers, auto&& moveItem) {
        std::size_t kept = 0;
        for (std::size_t k = 0; k < numbers.size(); ++k)
            if (numbers[k] % (2 * stride) == 0) {
                moveItem(k, kept);
                numbers[kept++] = numbers[k];
            }
        numbers.resize(kept);
    };
    for (;;) {
        const VideoReader::Read read = next(error);
        if (read == VideoReader::Read::End) break;
        if (read == VideoReader::Read::Error) return false;
        const std::int64_t index = frameIndex++;
        const bool pick = length <= count_ || index * count_ % length < count_;
        if (!pick) continue;
        const std::int64_t number = picked++;
        if (number % stride != 0) continue;
        if (read == VideoReader::Read::Frame && static_cast<int>(samples_.size()) == count_) {
            thin(keptNumbers,
                 [this](std::size_t from, std::size_t to) { samples_[to] = std::move(samples_[from]); });
            samples_.resize(keptNumbers.size());
            thin(failedNumbers, [](std::size_t, std::size_t) {});
            stride *= 2;
            if (number % stride != 0) continue;
        }
        if (read == VideoReader::Read::Damaged) {
            fail(error);
            failedNumbers.push_back(number);
            continue;
        }
        if (!keep(error)) return false;
        keptNumbers.push_back(number);
    }
    report_.decoded = static_cast<int>(samples_.size());
    report_.asked = report_.decoded + static_cast<int>(failedNumbers.size());
    return true;
}

// After a seek to `target`: the first frame after `after` (one not yet taken). Frames already
// taken come out of a seek that landed on a key frame sampled before; decoding on through them
// stops after kFramesDecodedOn frames, and the decoder skips on to the next key frame. When there
// is none (the samples after a clip's last key frame), the seek is made again and decoding goes on
// through them, as it does for every later sample.
Sampler::Step Sampler::takeFirstAfter(std::int64_t target, std::int64_t after, std::string& error) {
    int alreadyTaken = 0;
    std::int64_t landing = kUnknown;
    bool skipped = false;
    for (int decoded = 0; decoded < kMostFramesPerSample; ++decoded) {
        const VideoReader::Read read = next(error);
        if (read == VideoReader::Read::Error) return Step::Stop;
        if (read == VideoReader::Read::End && skipped && seeking_ == Seeking::ToTimes &&
            lastKeyFrame_ == kUnknown) {
            lastKeyFrame_ = landing;
            ++report_.seeks;
            std::string seekError;
            if (!reader_.seek(target, seekError)) {
                fail(seekError);
                return Step::Failed;
            }
            skipped = false;
            alreadyTaken = 0;
            continue;
        }
        if (read == VideoReader::Read::End) {
            fail("the video ends before a sample's place" +
                 (reader_.readFailure().empty() ? "" : " (" + reader_.readFailure() + ")"));
            return Step::Ended;
        }
        if (read == VideoReader::Read::Damaged) {
            fail(error);
            continue;
        }
        const std::int64_t place = frame_.timestamp;
        if (landing == kUnknown) landing = place;
        if (after == kUnknown || place == kUnknown || place > after)
            return keep(error) ? Step::Taken : Step::Stop;
        const bool keyFrameAhead = lastKeyFrame_ == kUnknown || landing < lastKeyFrame_;
        if (++alreadyTaken == kFramesDecodedOn && keyFrameAhead) {
            reader_.skipToKeyFrame();
            lastDecoded_ = kUnknown;
            skipped = true;
            alreadyTaken = 0;
        }
    }
    fail("no frame decoded near a sample's place");
    return Step::Failed;
}

// Decodes on from the frame before, to the first frame at `target` or for kFramesDecodedOn frames,
// whichever comes first, taking a frame not taken before.
Sampler::Step Sampler::decodeOnTo(std::int64_t target, std::string& error) {
    int decodedOn = 0;
    for (int decoded = 0; decoded < kMostFramesPerSample; ++decoded) {
        const VideoReader::Read read = next(error);
        if (read == VideoReader::Read::Error) return Step::Stop;
        if (read == VideoReader::Read::End) {
            fail("the video ends early" +
                 (reader_.readFailure().empty() ? "" : " (" + reader_.readFailure() + ")"));
            return Step::Ended;
        }
        if (read == VideoReader::Read::Damaged) {
            fail(error);
            continue;
        }
        const std::int64_t place = frame_.timestamp;
        const bool fresh = lastTaken_ == kUnknown || place == kUnknown || place > lastTaken_;
        if (fresh &&
            (place == kUnknown || target == kUnknown || place >= target || ++decodedOn >= kFramesDecodedOn))
            return keep(error) ? Step::Taken : Step::Stop;
    }
    fail("no frame decoded near a sample's place");
    return Step::Failed;
}

// Whether a sample at `target` is better reached by decoding on than by a seek: the decoder is
// already past it (it lies among frames taken where key frames are far apart), or it is a few
// frames ahead, or the index shows no key frame between here and there. A byte is past once the
// demuxer has read it.
bool Sampler::decodeOnFrom(std::int64_t target) const {
    if (lastDecoded_ == kUnknown) return false;
    if (seeking_ == Seeking::ToBytes) return target <= reader_.bytesRead();
    if (target <= lastDecoded_) return true;
    if (lastKeyFrame_ != kUnknown && lastDecoded_ >= lastKeyFrame_) return true;
    const VideoStreamInfo& stream = reader_.stream();
    const std::int64_t nearby = stream.frameRate.num > 0
                                    ? av_rescale_q(kNearbyFrames, av_inv_q(stream.frameRate), stream.timeBase)
                                    : 0;
    return target - lastDecoded_ <= nearby ||
           reader_.keyFrameBetween(lastDecoded_, target) == KeyFrameInRange::No;
}

// Each sample at its place, in order: the middle of the k-th of `count` equal parts of the clip's
// time, or the start of the k-th of its bytes.
bool Sampler::seekEach(Seeking seeking, std::string& error) {
    seeking_ = seeking;
    const VideoStreamInfo& stream = reader_.stream();
    const auto size = static_cast<std::int64_t>(reader_.fileSize());
    for (int k = 0; k < count_; ++k) {
        const std::int64_t target =
            seeking == Seeking::ToBytes
                ? av_rescale(k, size, count_)
                : stream.start + av_rescale(2 * k + 1, stream.duration, 2 * std::int64_t{count_});
        ++report_.asked;
        Step step = Step::Failed;
        if (decodeOnFrom(target)) {
            // A byte says nothing of time: decoding on takes the next frame not taken.
            step = decodeOnTo(seeking == Seeking::ToBytes ? kUnknown : target, error);
        } else {
            ++report_.seeks;
            std::string seekError;
            const bool moved = seeking == Seeking::ToBytes ? reader_.seekToByte(target, seekError)
                                                           : reader_.seek(target, seekError);
            lastDecoded_ = kUnknown;
            if (moved)
                step = takeFirstAfter(target, lastTaken_, error);
            else
                fail(seekError);
        }
        if (step == Step::Stop) return false;
        // Bytes are sampled from the file's start: past its last frame, the rest of the samples
        // would find nothing new either (a stream of few, large frames), so none of them is asked.
        if (step == Step::Ended && seeking == Seeking::ToBytes) {
            --report_.asked;
            break;
        }
        if (step != Step::Taken) lastDecoded_ = kUnknown;
    }
    report_.decoded = static_cast<int>(samples_.size());
    return true;
}

}  // namespace

bool sampleFrames(VideoReader& reader, int count, AVPixelFormat format, std::vector<VideoFrame>& samples,
                  SampleReport& report, std::string& error, AVColorRange yuvRange) {
    samples.clear();
    report = SampleReport{};
    if (count <= 0) return true;
    try {
        samples.reserve(static_cast<std::size_t>(count));
        Sampler sampler(reader, count, format, yuvRange, samples, report);
        const VideoStreamInfo& stream = reader.stream();
        const bool longClip = stream.frameCount == 0 || stream.frameCount > kReadThroughFactor * count;
        // Seeking to bytes where seeking to times would search the file (transport streams) or has
        // no length to go by (raw streams); to times where the file has an index or the demuxer seeks.
        if (longClip && reader.canSeekToBytes() && !reader.hasWholeIndex())
            return sampler.seekEach(Seeking::ToBytes, error);
        if (longClip && stream.duration > 0 && reader.canSeek())
            return sampler.seekEach(Seeking::ToTimes, error);
        return sampler.readThrough(error);
    } catch (const std::bad_alloc&) {
        error = "cannot read " + quotedName(reader.path()) + ": not enough memory for " +
                std::to_string(count) + " frames of " + std::to_string(reader.stream().width) + " x " +
                std::to_string(reader.stream().height) + " pixels";
        return false;
    }
}
