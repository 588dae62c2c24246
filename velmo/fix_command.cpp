#include "velmo/fix_command.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <new>
#include <string_view>

#include "core/script_line.h"
#include "core/zone_settings.h"
#include "velmo/image/output_file.h"
#include "velmo/media/capture_fix.h"
#include "velmo/media/pixel_format.h"
#include "velmo/progress_line.h"
#include "velmo/stream_option.h"
#include "velmo/zone_finding.h"

namespace {

namespace fs = std::filesystem;

bool takeCodecOption(FixOptions& options, std::string_view value, std::string& error) {
    const std::size_t equals = value.find('=');
    if (equals == 0 || equals == std::string_view::npos)
        return error = "--codec-option needs KEY=VALUE, not " + quotedLine(value), false;
    options.encoder.options.emplace_back(value.substr(0, equals), value.substr(equals + 1));
    return true;
}

constexpr Option<FixOptions> kFixOptions[] = {
    {.name = "--output",
     .letter = 'o',
     .value = "OUT",
     .help = "the fixed file, for one input (Matroska: its name ends in .mkv)",
     .take = [](FixOptions& options, std::string_view, std::string_view value,
                std::string&) { return options.output = value, true; }},
    {.name = "--out-dir",
     .value = "DIR",
     .help = "writes each fixed file into DIR, under its input's name with .mkv",
     .take = [](FixOptions& options, std::string_view, std::string_view value,
                std::string&) { return options.outputDir = value, true; }},
    {.name = "--config",
     .value = "LINE",
     .help = "the zone as a settings line, e.g. \"Config(3,5,7,9,1)\"; without it, the zone velmo suggest "
             "finds in each file",
     .take = [](FixOptions& options, std::string_view, std::string_view value,
                std::string& error) { return takeZoneLine(options.zone, value, error); }},
    {.name = "--codec",
     .value = "ENCODER",
     .help = "the FFmpeg video encoder (default ffv1: version 3, slices with CRCs)",
     .take = [](FixOptions& options, std::string_view, std::string_view value,
                std::string&) { return options.encoder.name = value, true; }},
    {.name = "--codec-option",
     .value = "KEY=VALUE",
     .help = "an option of the encoder, as ffmpeg takes it (crf=18); may be given again",
     .take = [](FixOptions& options, std::string_view, std::string_view value,
                std::string& error) { return takeCodecOption(options, value, error); }},
    kVideoStreamOption<FixOptions>,
    {.name = "--overwrite",
     .help = "replaces fixed files that exist (otherwise they are whole: skipped)",
     .take = [](FixOptions& options, std::string_view, std::string_view,
                std::string&) { return options.overwrite = true, true; }},
    {.name = "--dry-run",
     .help = "reads each input, finds its zone and says what would be written; writes nothing",
     .take = [](FixOptions& options, std::string_view, std::string_view,
                std::string&) { return options.dryRun = true, true; }},
};

bool isMatroskaName(const std::string& name) {
    std::string extension = fs::path(name).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return extension == ".mkv";
}

// A path as the file system knows it, for telling whether two names are one file that may not
// exist yet: its existing part with links followed.
fs::path settledPath(const std::string& name) {
    std::error_code ignored;
    const fs::path settled = fs::weakly_canonical(fs::path(name), ignored);
    return settled.empty() ? fs::absolute(fs::path(name), ignored) : settled;
}

bool isRegularFile(const std::string& name) {
    struct stat status {};
    return stat(name.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

struct Job {
    std::string input;
    std::string output;
    std::string skipped;  // why the input is not read, when it is not
};

// Each input's output, the outputs told apart; an input that is another's output is not read (a
// rerun over a folder's files would fix the fixed files again).
bool planJobs(const FixOptions& options, std::vector<Job>& jobs, std::string& error) {
    std::vector<fs::path> outputs;
    for (const std::string& input : options.inputs) {
        jobs.push_back(Job{input, fixedFileName(options, input), {}});
        outputs.push_back(settledPath(jobs.back().output));
    }
    for (std::size_t k = 0; k < jobs.size(); ++k)
        for (std::size_t other = 0; other < k; ++other)
            if (outputs[k] == outputs[other])
                return error = quotedName(jobs[other].input) + " and " + quotedName(jobs[k].input) +
                               " would both be written to " + quotedName(jobs[k].output),
                       false;
    for (std::size_t k = 0; k < jobs.size(); ++k) {
        std::error_code ignored;
        for (std::size_t other = 0; other < jobs.size() && jobs[k].skipped.empty(); ++other)
            if (other != k && fs::equivalent(fs::path(jobs[k].input), fs::path(jobs[other].output), ignored))
                jobs[k].skipped = "it is the fixed file of " + quotedName(jobs[other].input);
    }
    return true;
}

std::string zoneText(const Zone& zone) {
    return configLine(zone) + " (FFmpeg: " + frei0rFilterLine(zone) + ")";
}

std::string secondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", seconds);
    return text;
}

void printNote(const std::string& note) {
    std::fprintf(stderr, "  note: %s\n", note.c_str());
}

// One line of the results on standard output; false, said on standard error, when it cannot be written.
bool printResult(const std::string& line) {
    std::string error;
    return printToStandardOutput(line + "\n", error) || (fail(error), false);
}

std::string startDelayNote(std::int64_t delay) {
    char note[160];
    std::snprintf(note, sizeof note,
                  "its timestamps begin at -%.3f s, and Matroska holds none before 0: every stream starts "
                  "%.3f s later",
                  static_cast<double>(delay) / AV_TIME_BASE, static_cast<double>(delay) / AV_TIME_BASE);
    return note;
}

// What the transform did to an interlaced frame's vertical shift, to keep its fields.
std::string roundedShiftNote(const VerticalShift& shift) {
    const auto lines = [](std::int64_t count) {
        const std::int64_t size = count < 0 ? -count : count;
        return std::to_string(size) + (size == 1 ? " line" : " lines");
    };
    const auto move = [&lines](std::int64_t count) {
        return count == 0 ? std::string("not at all") : lines(count) + (count < 0 ? " up" : " down");
    };
    const std::int64_t off = shift.exact - shift.used;
    return "interlaced frames moved " + move(shift.used) + " instead of " + move(shift.exact) +
           ", to keep their fields: the picture sits " + lines(off) + (off > 0 ? " above" : " below") +
           " the exact centre";
}

// The zone for one input: the settings line given, or the one the finder finds, its report on
// standard error.
bool zoneFor(const FixOptions& options, const std::string& input, Zone& zone, std::string& error) {
    if (options.zone.fromLine) return zone = zoneOf(options.zone.settings), true;
    FoundZone found;
    if (!findZone(input, ZoneFinderOptions{.stream = options.stream}, found, error)) return false;
    for (const std::string& side : found.report)
        std::fprintf(stderr, "  %s\n", side.c_str());
    zone = found.zone;
    return true;
}

// Writes the fixed file of an opened input; false when it failed (said on standard error).
bool writeOne(const FixOptions& options, const Job& job, VideoReader& reader, const FixPlan& plan,
              const Zone& zone) {
    const auto start = std::chrono::steady_clock::now();
    std::string error;
    OutputFile output;
    if (!output.open(job.output, options.overwrite ? ExistingOutput::Replace : ExistingOutput::Refuse, error))
        return fail(error), false;
    ProgressLine progress;
    FixSummary summary;
    const bool written = writeFixedCapture(
        reader, zone, options.encoder, plan, output,
        [&progress](std::int64_t frames, double done) {
            progress.update(static_cast<std::uint64_t>(frames), done);
        },
        summary, error);
    progress.finish(static_cast<std::uint64_t>(summary.frames));
    if (!written || !output.commit(error)) return fail(error), false;
    if (summary.rounded) printNote(roundedShiftNote(*summary.rounded));
    if (summary.startDelay > 0) printNote(startDelayNote(summary.startDelay));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return printResult(quotedName(job.input) + " -> " + quotedName(job.output) + ": " + zoneText(zone) +
                       "; " + std::to_string(summary.frames) + " frames in " + secondsText(seconds));
}

// One input: false when it failed (said on standard error); a skipped input is no failure.
bool fixOne(const FixOptions& options, const Job& job) {
    const std::string heading = quotedName(job.input) + " -> " + quotedName(job.output) + ": ";
    if (!job.skipped.empty()) return printResult(quotedName(job.input) + ": skipped: " + job.skipped);
    std::string error;
    if (!refuseInputAsOutput(job.input, job.output, error)) return fail(error), false;
    if (!options.overwrite && isRegularFile(job.output))
        return printResult(heading + "there already, whole; " +
                           (options.dryRun ? "would be skipped" : "skipped") + " (--overwrite replaces it)");

    VideoReader reader;
    const VideoReaderOptions readerOptions{.stream = options.stream, .otherStreams = true};
    FixPlan plan;
    Zone zone;
    if (!reader.open(job.input, readerOptions, error) || !planFix(reader, options.encoder, plan, error) ||
        !zoneFor(options, job.input, zone, error))
        return fail(error), false;
    if (!plan.formatChange.empty())
        printNote(pixelFormatName(plan.sourceFormat) + " is moved and written as " +
                  pixelFormatName(plan.movedFormat) + ": " + plan.formatChange);
    for (const std::string& note : plan.streams.notes)
        printNote(note);
    if (!options.dryRun) return writeOne(options, job, reader, plan, zone);

    const VideoStreamInfo& video = reader.stream();
    const std::string frames =
        video.frameCount > 0 ? "about " + std::to_string(video.frameCount) + " frames" : "its frames";
    return printResult(heading + zoneText(zone) + "; would write " + frames + " of " +
                       std::to_string(video.width) + " x " + std::to_string(video.height) + " " +
                       pixelFormatName(plan.movedFormat) + " with " + options.encoder.name +
                       " (dry run: nothing written)");
}

int runFix(const Invocation& invocation) {
    FixOptions options;
    CommandLine line;
    std::string error;
    if (!readFixOptions(invocation, options, line, error)) return usageError(invocation, error);
    if (line.help) return showUsage(invocation.command);
    if (!options.outputDir.empty() && !fs::is_directory(fs::path(options.outputDir)))
        return fail("cannot write into " + quotedName(options.outputDir) + ": no such folder");
    std::vector<Job> jobs;
    if (!planJobs(options, jobs, error)) return usageError(invocation, error);

    int failed = 0;
    for (const Job& job : jobs) {
        bool fixed = false;
        try {
            fixed = fixOne(options, job);
        } catch (const std::bad_alloc&) {
            fail("cannot fix " + quotedName(job.input) + ": not enough memory");
        }
        if (!fixed) ++failed;
    }
    if (failed > 0 && jobs.size() > 1)
        return fail(std::to_string(failed) + " of " + std::to_string(jobs.size()) + " files failed");
    return failed > 0 ? kExitFailure : 0;
}

}  // namespace

bool readFixOptions(const Invocation& invocation, FixOptions& options, CommandLine& line,
                    std::string& error) {
    if (!parseCommandLine(invocation, kFixOptions, options, line, error)) return false;
    if (line.help) return true;
    options.inputs = line.operands;
    if (options.inputs.empty()) return error = "fix needs at least one input video", false;
    if (!options.output.empty() && !options.outputDir.empty())
        return error = "give either -o OUT or --out-dir DIR, not both", false;
    if (!options.output.empty() && options.inputs.size() > 1)
        return error = "-o names the output of one input; for " + std::to_string(options.inputs.size()) +
                       " inputs give --out-dir DIR",
               false;
    if (!options.output.empty() && !isMatroskaName(options.output))
        return error = "velmo fix writes Matroska: name the output .mkv, not " + quotedName(options.output),
               false;
    return checkEncoderChoice(options.encoder, error);
}

std::string fixedFileName(const FixOptions& options, const std::string& input) {
    if (!options.output.empty()) return options.output;
    const fs::path in(input);
    const std::string stem = in.stem().string();
    if (!options.outputDir.empty()) return (fs::path(options.outputDir) / (stem + ".mkv")).string();
    return (in.parent_path() / (stem + ".fixed.mkv")).string();
}

constinit const Command kFixCommand{
    .name = "fix",
    .synopsis =
        "velmo fix IN... [-o OUT | --out-dir DIR] [--config LINE] [--codec ENCODER]\n"
        "          [--codec-option KEY=VALUE]... [--stream N] [--overwrite] [--dry-run]\n",
    .summary = "moves whole captures into fixed Matroska files, losslessly, sound and tags kept",
    .about =
        "Fixes each capture IN (any file FFmpeg's libraries read) in one step: every frame of its video\n"
        "moved by the zone on its own samples (no conversion) and encoded, by default with FFV1 version 3,\n"
        "into Matroska; every other stream copied packet for packet; chapters, tags, timestamps, aspect\n"
        "ratio, field order and colour tags kept. The zone is --config's, or the one velmo suggest finds\n"
        "in each file (its report on standard error). Writes IN.fixed.mkv beside IN unless told; a file\n"
        "appears whole or not at all, never over an input, and an existing one is skipped as done unless\n"
        "--overwrite. One line per input on standard output; the exit status is 1 when any failed.\n",
    .options = [] { return optionEntries(kFixOptions); },
    .run = runFix,
};
