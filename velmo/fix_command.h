#pragma once

#include <string>
#include <vector>

#include "velmo/command_line.h"
#include "velmo/media/video_encoder.h"
#include "velmo/zone_options.h"

// velmo fix IN... [-o OUT | --out-dir DIR] [--config LINE] [--codec ENCODER] [--codec-option K=V]...
// [--stream N] [--overwrite] [--dry-run]: each capture moved by its zone into a Matroska file, its
// video on its own samples, everything else copied.
struct FixOptions {
    std::vector<std::string> inputs;
    std::string output;     // -o: for one input
    std::string outputDir;  // --out-dir
    ZoneChoice zone;        // --config; otherwise each input's zone is found
    EncoderChoice encoder;
    int stream = -1;
    bool overwrite = false;
    bool dryRun = false;
};

// Reads fix's command line; false with a one-line `error` when it makes no sense (no input, -o with
// several inputs or beside --out-dir, an output not named .mkv, an encoder or option FFmpeg does not
// have).
bool readFixOptions(const Invocation& invocation, FixOptions& options, CommandLine& line, std::string& error);

// The file written for `input`: -o's name; in --out-dir, the input's name with .mkv for its
// extension; else beside the input, with .fixed.mkv for its extension.
std::string fixedFileName(const FixOptions& options, const std::string& input);

extern const Command kFixCommand;
