// velmo fix run as a user runs it, on captures the tests make with the ffmpeg program: what is kept
// (every stream's packets, tags, chapters, timestamps, aspect ratio, field order, colour tags) held
// against the input by ffprobe, the video decoded and held to the per-sample reference applied to
// the decoded input, and the refusals, outputs and interruptions.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/script_line.h"
#include "tests/support/hand_formats.h"
#include "tests/support/reference_planes.h"
#include "tests/velmo/fix_files.h"

namespace {

using namespace velmo_test;

std::string lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The entries of one section of the flat output ("streams.stream.2."), keys after the prefix;
// tag names in lower case, as Matroska writes them in upper case.
Fields section(const Fields& fields, const std::string& prefix) {
    Fields found;
    for (const auto& [key, value] : fields)
        if (key.rfind(prefix, 0) == 0) {
            std::string rest = key.substr(prefix.size());
            if (rest.rfind("tags.", 0) == 0) rest = lower(rest);
            found[rest] = value;
        }
    return found;
}

// The tags of a section, without those a new file rightly changes: the writer's name, and the
// per-stream duration Matroska writes itself. Matroska keeps the date of the file only, so a stream's
// creation_time goes (the file's is the same date in MOV captures); its language "und" says no
// language, as Matroska says it by none.
Fields keptTags(const Fields& entries, bool stream) {
    Fields tags;
    for (const auto& [key, value] : entries) {
        if (key.rfind("tags.", 0) != 0) continue;
        const std::string name = key.substr(5);
        if (name == "encoder" || name == "duration") continue;
        if (stream && (name == "creation_time" || (name == "language" && value == "und"))) continue;
        tags[name] = value;
    }
    return tags;
}

double number(const std::string& text) {
    return std::strtod(text.c_str(), nullptr);
}

// "00:00:00.320000000" in seconds.
double clockSeconds(const std::string& text) {
    int hours = 0, minutes = 0;
    double seconds = 0;
    std::sscanf(text.c_str(), "%d:%d:%lf", &hours, &minutes, &seconds);
    return hours * 3600.0 + minutes * 60.0 + seconds;
}

// Matroska keeps times to the millisecond.
constexpr double kTimeTolerance = 0.0006;

struct FixCase {
    std::string name;
    std::string file;         // the input, its extension telling ffmpeg the container
    std::string make;         // ffmpeg's arguments before the file's name
    std::string config;       // the settings line given
    std::string zoneText;     // the line velmo prints for it, written out
    std::string source;       // the decoder's pixel format, as ffmpeg decodes the input
    std::string moved;        // the format of the fixed file's frames (tests/support/hand_formats.h)
    bool fullRange = false;   // the frames' black is the full-range one
    bool interlaced = false;  // the frames are two fields each
    bool topFieldFirst = false;
    std::string fieldOrder =
        "progressive";                    // the fixed file's: the input's, or its frames' where it says none
    int videoStream = 0;                  // the stream moved
    bool lengthStated = true;             // the input's container states the video's length (not an estimate)
    std::vector<std::string> more = {};   // further arguments of velmo fix
    std::string codec = "ffv1";           // the fixed file's video codec
    std::vector<std::string> notes = {};  // said on standard error
    bool variableRate = false;            // the input's frames are irregularly spaced
};

constexpr char kStereo[] = "-f lavfi -i 'aevalsrc=sin(440*2*PI*t)|sin(660*2*PI*t):s=48000:d=0.32' ";

std::string pattern(const char* size, const char* rate, const char* seconds) {
    return std::string("-f lavfi -i testsrc2=size=") + size + ":rate=" + rate + ":duration=" + seconds + " ";
}

// The captures of the issue: PAL 4:2:2 interlaced with 24-bit PCM and a timecode track, NTSC DV
// 4:1:1, interlaced 4:2:0 MPEG-2 with B-frames in a transport stream with AC-3, 10-bit 4:2:2 FFV1
// with chapters, tags and an attachment, 704 and 718 wide, a variable frame rate, two audio streams
// and subtitles, MJPEG's full-range 4:2:2, another encoder, and the second of two video streams.
std::vector<FixCase> fixCases() {
    return {
        {.name = "Pal422InterlacedPcm24Timecode",
         .file = "pal.mov",
         .make = pattern("720x576", "25", "0.32") + kStereo +
                 "-vf setfield=tff -aspect 4:3 -c:v rawvideo -pix_fmt uyvy422 -c:a pcm_s24le "
                 "-timecode 10:00:00:00 -color_primaries bt470bg -color_trc bt709 -colorspace bt470bg "
                 "-color_range tv -metadata title=Tape12 -metadata creation_time=2001-02-03T04:05:06Z "
                 "-metadata:s:a:0 language=deu",
         .config = "Config(3,5,7,10,1)",
         .zoneText = "Config(3,5,7,10,1) (FFmpeg: frei0r=velmo:3|5|7|10|y)",
         .source = "uyvy422",
         .moved = "yuv422p",
         .interlaced = true,
         .topFieldFirst = true,
         .fieldOrder = "tb",
         .notes = {"uyvy422 is moved and written as yuv422p: the same samples, repacked",
                   "timecode 10:00:00:00 is kept as the video's TIMECODE tag",
                   "interlaced frames moved 2 lines down instead of 3 lines down, to keep their fields: the "
                   "picture sits 1 line above the exact centre"}},
        {.name = "NtscDv411",
         .file = "ntsc.avi",
         .make = pattern("720x480", "30000/1001", "0.3") + kStereo +
                 "-pix_fmt yuv411p -aspect 4:3 -c:v dvvideo -c:a pcm_s16le",
         .config = "Config(4,14,5,9,1)",
         .zoneText = "Config(4,14,5,9,1) (FFmpeg: frei0r=velmo:4|14|5|9|y)",
         .source = "yuv411p",
         .moved = "yuv411p",
         .interlaced = true,
         .fieldOrder = "bb"},  // the AVI says none; DV's frames are bottom field first
        {.name = "Mpeg2Interlaced420TransportStreamAc3",
         .file = "mpeg2.ts",
         .make = pattern("720x576", "25", "0.48") + kStereo +
                 "-vf setfield=tff -c:v mpeg2video -flags +ilme+ildct -top 1 -bf 2 -g 6 -b:v 8M -c:a ac3 "
                 "-aspect 16:9",
         .config = "Config(2,9,3,12,0)",
         .zoneText = "Config(2,9,3,12,0) (FFmpeg: frei0r=velmo:2|9|3|12|n)",
         .source = "yuv420p",
         .moved = "yuv420p",
         .interlaced = true,
         .topFieldFirst = true,
         .fieldOrder = "tt",
         .lengthStated = false,  // a transport stream's length is estimated from its timestamps
         .notes = {"interlaced frames moved 4 lines down instead of 5 lines down"}},
        {.name = "Ffv1TenBit422ChaptersTagsAttachment",
         .file = "ffv1-10bit.mkv",
         .make = pattern("352x288", "25", "0.32") +
                 "-i chapters.txt -attach notes.txt -metadata:s:t mimetype=text/plain -map 0 -map_metadata 1 "
                 "-map_chapters 1 -pix_fmt yuv422p10le -c:v ffv1 -level 3 -color_range tv -colorspace bt709 "
                 "-color_primaries bt709 -color_trc bt709",
         .config = "Config(4,14,5,9,1)",
         .zoneText = "Config(4,14,5,9,1) (FFmpeg: frei0r=velmo:4|14|5|9|y)",
         .source = "yuv422p10le",
         .moved = "yuv422p10le"},
        {.name = "Width704H264Aac",
         .file = "w704.mp4",
         .make = pattern("704x576", "25", "0.32") + kStereo +
                 "-vf setsar=12/11 -pix_fmt yuv420p -c:v libx264 -preset ultrafast -c:a aac",
         .config = "Config(9,2,30,1,1)",
         .zoneText = "Config(9,2,30,1,1) (FFmpeg: frei0r=velmo:9|2|30|1|y)",
         .source = "yuv420p",
         .moved = "yuv420p",
         .notes = {"its timestamps begin at -0.021 s, and Matroska holds none before 0: every stream starts "
                   "0.021 s later"}},
        {.name = "Width718Interlaced422",
         .file = "w718.mkv",
         .make = pattern("718x576", "25", "0.32") + kStereo +
                 "-vf setfield=bff -pix_fmt yuv422p -c:v ffv1 -c:a pcm_s16le -field_order bb",
         .config = "Config(6,3,8,1,1)",
         .zoneText = "Config(6,3,8,1,1) (FFmpeg: frei0r=velmo:6|3|8|1|y)",
         .source = "yuv422p",
         .moved = "yuv422p",
         .interlaced = true,
         .fieldOrder = "bb",
         .notes =
             {"interlaced frames moved 4 lines up instead of 3 lines up, to keep their fields: the picture "
              "sits 1 line above the exact centre"}},
        {.name = "VariableFrameRate",
         .file = "vfr.mkv",
         .make = pattern("320x240", "25", "0.8") +
                 "-vf 'settb=1/1000,setpts=N*N*3+N*17' -fps_mode passthrough -enc_time_base 1/1000 "
                 "-pix_fmt yuv420p -c:v ffv1",
         .config = "Config(4,14,5,9,1)",
         .zoneText = "Config(4,14,5,9,1) (FFmpeg: frei0r=velmo:4|14|5|9|y)",
         .source = "yuv420p",
         .moved = "yuv420p",
         .variableRate = true},
        {.name = "TwoAudioStreamsAndSubtitles",
         .file = "streams.mkv",
         .make =
             pattern("320x240", "25", "0.32") + kStereo +
             "-f lavfi -i sine=f=300:r=44100:d=0.32 -i subs.srt -map 0 -map 1 -map 2 -map 3 -pix_fmt yuv420p "
             "-c:v ffv1 -c:a:0 flac -c:a:1 pcm_s16le -c:s srt -metadata:s:a:0 language=eng "
             "-metadata:s:a:1 language=fra -metadata:s:s:0 language=eng -disposition:a:1 0 "
             "-disposition:s:0 forced",
         .config = "Config(4,14,5,9,1)",
         .zoneText = "Config(4,14,5,9,1) (FFmpeg: frei0r=velmo:4|14|5|9|y)",
         .source = "yuv420p",
         .moved = "yuv420p"},
        {.name = "MotionJpegFullRange422",
         .file = "mjpeg.avi",
         .make = pattern("352x288", "25", "0.32") + kStereo +
                 "-pix_fmt yuvj422p -c:v mjpeg -q:v 3 -c:a pcm_s16le",
         .config = "Config(3,9,4,6,1)",
         .zoneText = "Config(3,9,4,6,1) (FFmpeg: frei0r=velmo:3|9|4|6|y)",
         .source = "yuvj422p",
         .moved = "yuv422p",
         .fullRange = true,
         .fieldOrder = "unknown",  // as the AVI says: nothing, and its frames are progressive
         .notes = {"yuvj422p is moved and written as yuv422p: the same samples, tagged full range"}},
        {.name = "InterlacedAsTheContainerSays",  // the MJPEG decoder does not flag the frames
         .file = "fields.mkv",
         .make = pattern("160x120", "25", "0.2") + "-pix_fmt yuvj422p -c:v mjpeg -field_order tt",
         .config = "Config(3,9,4,6,1)",
         .zoneText = "Config(3,9,4,6,1) (FFmpeg: frei0r=velmo:3|9|4|6|y)",
         .source = "yuvj422p",
         .moved = "yuv422p",
         .fullRange = true,
         .interlaced = true,
         .topFieldFirst = true,
         .fieldOrder = "tt",
         .notes =
             {"interlaced frames moved not at all instead of 1 line down, to keep their fields: the picture "
              "sits 1 line above the exact centre"}},
        {.name = "AnotherEncoderLosslessWithBFrames",
         .file = "x264.mkv",
         .make = pattern("320x240", "25", "0.48") + kStereo + "-pix_fmt yuv420p -c:v ffv1 -c:a flac",
         .config = "Config(5,1,1,8,1)",
         .zoneText = "Config(5,1,1,8,1) (FFmpeg: frei0r=velmo:5|1|1|8|y)",
         .source = "yuv420p",
         .moved = "yuv420p",
         .more = {"--codec", "libx264", "--codec-option", "qp=0", "--codec-option=preset=veryfast"},
         .codec = "h264"},
        {.name = "SecondOfTwoVideoStreams",
         .file = "two-videos.mkv",
         .make = pattern("320x240", "25", "0.32") + pattern("160x120", "25", "0.32") +
                 "-map 0 -map 1 -pix_fmt yuv444p -c:v ffv1",
         .config = "Config(2,4,6,8,1)",
         .zoneText = "Config(2,4,6,8,1) (FFmpeg: frei0r=velmo:2|4|6|8|y)",
         .source = "yuv444p",
         .moved = "yuv444p",
         .videoStream = 1,
         .more = {"--stream", "1"}},
    };
}

class FixKeeps : public FixFiles, public testing::WithParamInterface<FixCase> {};

// Each stream's fields that the fixed file keeps: every one of a copied stream's that a container
// change leaves alone, the video's picture description, and the tags.
void expectStreamKept(const Fields& in, const Fields& out, const std::string& type, const FixCase& c,
                      bool isMovedVideo) {
    std::vector<std::string> keys = {"codec_type",
                                     "disposition.default",
                                     "disposition.forced",
                                     "disposition.hearing_impaired",
                                     "disposition.visual_impaired",
                                     "disposition.comment",
                                     "disposition.attached_pic"};
    if (type == "video")
        keys.insert(keys.end(), {"width", "height", "sample_aspect_ratio", "display_aspect_ratio",
                                 "color_range", "color_space", "color_transfer", "color_primaries"});
    // An H.264 decoder takes chroma siting that nothing states as its standard's default, left.
    if (type == "video" && (!isMovedVideo || c.codec == "ffv1")) keys.push_back("chroma_location");
    if (type == "video" && !isMovedVideo) keys.insert(keys.end(), {"codec_name", "pix_fmt", "field_order"});
    if (type == "audio") {
        keys.insert(keys.end(), {"codec_name", "sample_fmt", "sample_rate", "channels", "bits_per_sample"});
        // Matroska says nothing of a PCM stream's layout but its channel count.
        if (in.at("codec_name").rfind("pcm_", 0) != 0) keys.push_back("channel_layout");
    }
    if (type == "subtitle") keys.push_back("codec_name");
    if (type == "attachment") keys.push_back("extradata_hash");
    for (const std::string& key : keys)
        EXPECT_EQ(in.count(key) ? in.at(key) : "(none)", out.count(key) ? out.at(key) : "(none)")
            << c.name << ": " << type << " stream's " << key;
    EXPECT_EQ(keptTags(in, true), keptTags(out, true)) << c.name << ": " << type << " stream's tags";
    if (isMovedVideo) {
        EXPECT_EQ(out.at("codec_name"), c.codec);
        EXPECT_EQ(out.at("pix_fmt"), c.moved);
        EXPECT_EQ(out.at("field_order"), c.fieldOrder);
    }
}

// The times of a stream's packets and their data's checksums, in order.
struct Packets {
    std::vector<double> times;
    std::vector<std::string> hashes;
};

std::map<int, Packets> packetsByStream(const Fields& fields) {
    std::map<int, Packets> streams;
    for (int k = 0;; ++k) {
        const std::string at = "packets.packet." + std::to_string(k) + ".";
        if (!fields.count(at + "stream_index")) break;
        Packets& packets = streams[std::stoi(fields.at(at + "stream_index"))];
        const std::string time = fields.at(at + "pts_time");
        packets.times.push_back(time == "N/A" ? std::nan("") : number(time));
        packets.hashes.push_back(fields.at(at + "data_hash"));
    }
    return streams;
}

struct Frame {
    double time;
    int interlaced;
    int topFieldFirst;
};

std::vector<Frame> framesOf(const Fields& fields) {
    std::vector<Frame> frames;
    for (int k = 0;; ++k) {
        const std::string at = "frames.frame." + std::to_string(k) + ".";
        if (!fields.count(at + "best_effort_timestamp_time")) break;
        frames.push_back(Frame{number(fields.at(at + "best_effort_timestamp_time")),
                               std::stoi(fields.at(at + "interlaced_frame")),
                               std::stoi(fields.at(at + "top_field_first"))});
    }
    return frames;
}

TEST_P(FixKeeps, EveryStreamTagAndTimestampAndEverySampleAsTheReferenceMovesIt) {
    const FixCase& c = GetParam();
    make(c.file, c.make);
    std::vector<std::string> arguments = {c.file, "-o", "fixed.mkv", "--config", c.config};
    arguments.insert(arguments.end(), c.more.begin(), c.more.end());
    const Outcome outcome = fix(arguments);
    ASSERT_EQ(outcome.exitCode, 0) << outcome.errors;
    EXPECT_NE(outcome.output.find(std::string(c.file) + " -> fixed.mkv: " + c.zoneText), std::string::npos)
        << outcome.output;
    for (const std::string& note : c.notes)
        EXPECT_NE(outcome.errors.find(note), std::string::npos) << "missing note: " << note << "\n"
                                                                << outcome.errors;
    EXPECT_TRUE(temporariesIn(folder_).empty());

    // The streams, their tags and the container's, the chapters.
    const std::string what = "-show_streams -show_format -show_chapters -show_data_hash MD5";
    const Fields in = probe(c.file, what), out = probe("fixed.mkv", what);
    const int inputStreams = std::stoi(in.at("format.nb_streams"));
    // A timecode track is not written (the video keeps its timecode as a tag).
    int written = 0;
    std::map<int, int> outputOf;
    for (int k = 0; k < inputStreams; ++k) {
        const Fields stream = section(in, "streams.stream." + std::to_string(k) + ".");
        if (stream.at("codec_type") == "data") continue;
        outputOf[k] = written++;
        SCOPED_TRACE("input stream " + std::to_string(k));
        expectStreamKept(stream, section(out, "streams.stream." + std::to_string(outputOf[k]) + "."),
                         stream.at("codec_type"), c, k == c.videoStream);
    }
    EXPECT_EQ(std::stoi(out.at("format.nb_streams")), written);
    EXPECT_EQ(keptTags(section(in, "format."), false), keptTags(section(out, "format."), false))
        << "the file's tags";
    const Fields inChapters = section(in, "chapters."), outChapters = section(out, "chapters.");
    EXPECT_EQ(inChapters.size(), outChapters.size());
    for (const auto& [key, value] : inChapters) {
        // Their numbers and times in the container's own units may change; the times in seconds may not.
        if (key.ends_with(".time_base") || key.ends_with(".start") || key.ends_with(".end") ||
            key.ends_with(".id"))
            continue;
        EXPECT_EQ(outChapters.count(key) ? outChapters.at(key) : "(none)", value) << "chapter " << key;
    }

    // Every copied stream's packets, in order, by their data and their times.
    const std::map<int, Packets> inPackets = packetsByStream(probe(
        c.file, "-show_packets -show_data_hash MD5 -show_entries packet=stream_index,pts_time,data_hash"));
    const std::map<int, Packets> outPackets = packetsByStream(
        probe("fixed.mkv",
              "-show_packets -show_data_hash MD5 -show_entries packet=stream_index,pts_time,data_hash"));
    // Timestamps: a file whose timestamps begin before 0 (AAC's priming) is moved as a whole, since
    // Matroska holds none below 0; nothing else moves.
    double earliest = 0;
    for (const auto& [stream, packets] : inPackets)
        for (const double time : packets.times)
            earliest = std::min(earliest, time);
    const double offset = -earliest;
    // The shift is rounded to Matroska's milliseconds too.
    const double tolerance = kTimeTolerance + (offset > 0 ? 0.0005 : 0);
    for (const auto& [input, output] : outputOf) {
        if (input == c.videoStream || !inPackets.count(input)) continue;
        const Packets& from = inPackets.at(input);
        ASSERT_TRUE(outPackets.count(output)) << "stream " << input << " lost its packets";
        const Packets& to = outPackets.at(output);
        EXPECT_EQ(from.hashes, to.hashes) << "stream " << input << "'s packets";
        ASSERT_EQ(from.times.size(), to.times.size());
        for (std::size_t k = 0; k < from.times.size(); ++k)
            if (!std::isnan(from.times[k])) {
                EXPECT_NEAR(from.times[k] + offset, to.times[k], tolerance)
                    << "stream " << input << " packet " << k;
            }
    }

    // Every frame, with its own time and its fields.
    const std::string frames =
        "-select_streams " + std::to_string(c.videoStream) +
        " -show_frames -show_entries frame=best_effort_timestamp_time,interlaced_frame,"
        "top_field_first";
    const std::vector<Frame> inFrames = framesOf(probe(c.file, frames));
    const std::vector<Frame> outFrames =
        framesOf(probe("fixed.mkv", "-select_streams " + std::to_string(outputOf.at(c.videoStream)) +
                                        " -show_frames -show_entries frame=best_effort_timestamp_time,"
                                        "interlaced_frame,top_field_first"));
    ASSERT_EQ(inFrames.size(), outFrames.size()) << "frames added or dropped";
    if (c.variableRate) {
        ASSERT_GE(inFrames.size(), 3u);
        const double first = inFrames[1].time - inFrames[0].time,
                     last = inFrames.back().time - inFrames.end()[-2].time;
        ASSERT_GT(last - first, 0.01) << "the input's frames are evenly spaced: it checks no variable rate";
    }
    for (std::size_t k = 0; k < inFrames.size(); ++k) {
        EXPECT_NEAR(inFrames[k].time + offset, outFrames[k].time, tolerance) << "frame " << k;
        EXPECT_EQ(outFrames[k].interlaced, c.interlaced ? 1 : 0) << "frame " << k;
        if (c.interlaced) {
            EXPECT_EQ(outFrames[k].topFieldFirst, c.topFieldFirst ? 1 : 0) << "frame " << k;
        }
    }
    // The video's length: as the input's container states it, and as Matroska keeps it for the stream.
    if (c.lengthStated) {
        const Fields inVideo = section(in, "streams.stream." + std::to_string(c.videoStream) + ".");
        const Fields outVideo =
            section(out, "streams.stream." + std::to_string(outputOf.at(c.videoStream)) + ".");
        const double inLength =
            number(inVideo.at("duration") != "N/A" ? inVideo.at("duration") : in.at("format.duration"));
        EXPECT_NEAR(clockSeconds(outVideo.at("tags.duration")), inLength + offset, 2 * tolerance)
            << "the video's length";
    }

    // The samples: the fixed file decoded equals the reference applied to the decoded input, every
    // sample of every plane of every frame.
    const hand::Format& moved = hand::format(c.moved);
    const Fields video = section(in, "streams.stream." + std::to_string(c.videoStream) + ".");
    const std::int64_t width = std::stoll(video.at("width")), height = std::stoll(video.at("height"));
    const bool packed = c.source == "uyvy422";
    const std::string decode =
        "ffmpeg -nostdin -v error -y -i '%s' -map 0:%d -f rawvideo -fps_mode passthrough -enc_time_base -1 "
        "-pix_fmt %s '%s'";
    char command[512];
    std::snprintf(command, sizeof command, decode.c_str(), c.file.c_str(), c.videoStream, c.source.c_str(),
                  "in.raw");
    ASSERT_EQ(shell(command), 0) << command;
    std::snprintf(command, sizeof command, decode.c_str(), "fixed.mkv", outputOf.at(c.videoStream),
                  c.moved.c_str(), "out.raw");
    ASSERT_EQ(shell(command), 0) << command;
    const Bytes inRaw = readBytes(path("in.raw")), outRaw = readBytes(path("out.raw"));
    const std::int64_t frameSize = hand::frameBytes(moved, width, height);
    const std::int64_t sourceFrameSize = packed ? width * height * 2 : frameSize;
    ASSERT_EQ(static_cast<std::int64_t>(inRaw.size()),
              sourceFrameSize * static_cast<std::int64_t>(inFrames.size()));
    ASSERT_EQ(static_cast<std::int64_t>(outRaw.size()),
              frameSize * static_cast<std::int64_t>(inFrames.size()));
    Zone zone;
    std::string error;
    ASSERT_TRUE(parseConfigLine(c.config, zone, error)) << error;
    const PlanarFormat format =
        hand::planarFormat(moved, static_cast<std::int32_t>(width), static_cast<std::int32_t>(height),
                           c.interlaced, c.fullRange);
    for (std::size_t k = 0; k < inFrames.size(); ++k) {
        const std::uint8_t* source = inRaw.data() + static_cast<std::int64_t>(k) * sourceFrameSize;
        std::vector<std::uint8_t> planes = packed ? hand::unpack422(source, width, height, true)
                                                  : std::vector<std::uint8_t>(source, source + frameSize);
        std::vector<std::uint8_t> expected(static_cast<std::size_t>(frameSize));
        reference::renderZonePlanes(zone, ZoneView::Shift, format,
                                    hand::planarFrame(moved, planes.data(), width, height),
                                    hand::planarFrame(moved, expected.data(), width, height));
        const std::uint8_t* fixed = outRaw.data() + static_cast<std::int64_t>(k) * frameSize;
        const auto difference = std::mismatch(expected.begin(), expected.end(), fixed);
        EXPECT_TRUE(difference.first == expected.end())
            << "frame " << k << " differs from the reference at byte "
            << (difference.first - expected.begin());
    }
}

INSTANTIATE_TEST_SUITE_P(Captures, FixKeeps, testing::ValuesIn(fixCases()),
                         [](const testing::TestParamInfo<FixCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
