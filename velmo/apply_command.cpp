#include "velmo/apply_command.h"

#include <new>
#include <vector>

#include "core/render_zone_frame.h"
#include "velmo/image/output_file.h"
#include "velmo/image/picture.h"

namespace {

constexpr Option<ApplyOptions> kApplyOptions[] = {
    kZoneLineOption<ApplyOptions>,      kZoneUpOption<ApplyOptions>,   kZoneLeftOption<ApplyOptions>,
    kZoneRightOption<ApplyOptions>,     kZoneDownOption<ApplyOptions>, kZoneBorderOption<ApplyOptions>,
    kZoneShowFrameOption<ApplyOptions>,
};

// The usage text states the limit in words.
static_assert(kLargestPictureSide == 16384);

int runApply(const Invocation& invocation) {
    ApplyOptions options;
    CommandLine line;
    std::string error;
    if (!readApplyOptions(invocation, options, line, error)) return usageError(invocation, error);
    if (line.help) return showUsage(invocation.command);

    // Everything about the output that can be refused is refused before the input is read: its
    // name, the input itself as the output, a target that cannot be created.
    if (!checkPictureOutputName(options.output, error) ||
        !refuseInputAsOutput(options.input, options.output, error))
        return fail(error);
    OutputFile output;
    if (!output.open(options.output, ExistingOutput::Replace, error)) return fail(error);

    Picture input;
    if (!loadPicture(options.input, input, error)) return fail(error);
    const std::int32_t w = input.w, h = input.h;
    try {
        // The transform writes every pixel, so the output needs no copy of the input; the input's
        // memory goes back before the output is encoded.
        Picture result{input.w, input.h, std::vector<Pixel32>(input.pixels.size())};
        renderZoneFrame(options.zone.settings, bottomUpView(input), bottomUpView(result));
        input = Picture{};
        if (!writePicture(output, result, error) || !output.commit(error)) return fail(error);
    } catch (const std::bad_alloc&) {
        return fail("not enough memory for a second " + std::to_string(w) + " x " + std::to_string(h) +
                    " picture");
    }
    return 0;
}

}  // namespace

bool readApplyOptions(const Invocation& invocation, ApplyOptions& options, CommandLine& line,
                      std::string& error) {
    if (!parseCommandLine(invocation, kApplyOptions, options, line, error)) return false;
    if (line.help) return true;
    if (!checkZoneChoice(options.zone, error)) return false;
    if (line.operands.size() < 2) return error = "apply needs an input and an output picture", false;
    if (line.operands.size() > 2) return error = "too many file names", false;
    options.input = line.operands[0];
    options.output = line.operands[1];
    return true;
}

constinit const Command kApplyCommand{
    .name = "apply",
    .synopsis = "velmo apply [OPTIONS] IN OUT\n",
    .summary = "the filter on one picture: PNG, BMP or JPEG in, PNG or BMP out",
    .about =
        "apply reads a PNG, BMP or JPEG picture (at most 16384 pixels per side) and writes\n"
        "PNG or BMP, as OUT's name says. OUT is written whole or not at all, and never over IN.\n"
        "Give the settings either as --config or as margins and --border, not both.\n",
    .options = [] { return optionEntries(kApplyOptions); },
    .run = runApply,
};
