// Makes test frames for the host tests and holds what a host wrote to the per-pixel reference.
//
//   frame_check make W H FRAMES SEED            raw top-down BGRA frames with any bytes, alpha too
//   frame_check compare W H INPUT               then on standard input, one case a line:
//       NAME OUTPUT UP LEFT RIGHT DOWN BORDER SHOW_FRAME WANT
//     WANT "same": OUTPUT must be the reference for those settings, frame by frame; "differs": it must
//     not be (a host trap that the README documents). Prints a line per case; exits 1 if any fails.
//
// The expected settings are numbers written in the test table, never read through the plug-in's
// parser; black and red are expected opaque (written out here, not taken from the core), every other
// pixel with its own alpha.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/render_zone_frame.h"
#include "tests/support/reference_render.h"

namespace {

std::vector<Pixel32> readPixels(const std::string& path, bool& ok) {
    std::ifstream file(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    ok = file.good() || file.eof();
    std::vector<Pixel32> pixels(bytes.size() / sizeof(Pixel32));
    if (bytes.size() % sizeof(Pixel32) != 0) ok = false;
    if (!pixels.empty()) std::memcpy(pixels.data(), bytes.data(), pixels.size() * sizeof(Pixel32));
    return pixels;
}

int make(std::int32_t w, std::int32_t h, std::int64_t frames, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<Pixel32> frame(static_cast<std::size_t>(w) * h);
    for (std::int64_t f = 0; f < frames; ++f) {
        for (Pixel32& pixel : frame)
            pixel = static_cast<Pixel32>(random());
        std::fwrite(frame.data(), sizeof(Pixel32), frame.size(), stdout);
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

struct Case {
    std::string name, output;
    std::int32_t up, left, right, down, border, showFrame;
    std::string want;
};

// "" when `actual` is the reference for every frame of `input`, else where it first differs.
std::string firstDifference(const Case& c, std::int32_t w, std::int32_t h, std::vector<Pixel32>& input,
                            const std::vector<Pixel32>& actual) {
    if (actual.size() != input.size())
        return "the output holds " + std::to_string(actual.size()) + " pixels, the input " +
               std::to_string(input.size());
    ZoneSettings settings{};
    applyConfigCommand(settings, c.up, c.left, c.right, c.down, c.border);
    settings.showFrame = c.showFrame;
    const std::size_t framePixels = static_cast<std::size_t>(w) * h;
    std::vector<Pixel32> expected(framePixels);
    for (std::size_t f = 0; f * framePixels < input.size(); ++f) {
        referenceRenderZoneFrame(settings, bottomUpView(input.data() + f * framePixels, w, h),
                                 bottomUpView(expected.data(), w, h), ZoneColours{0xFF000000, 0xFFFF0000});
        for (std::size_t k = 0; k < framePixels; ++k) {
            const Pixel32 got = actual[f * framePixels + k];
            if (got == expected[k]) continue;
            char message[160];
            std::snprintf(message, sizeof message,
                          "frame %zu, row %zu from the top, column %zu: expected 0x%08X, got 0x%08X", f,
                          k / w, k % w, unsigned{expected[k]}, unsigned{got});
            return message;
        }
    }
    return "";
}

int compare(std::int32_t w, std::int32_t h, const std::string& inputPath) {
    bool ok = true;
    std::vector<Pixel32> input = readPixels(inputPath, ok);
    if (!ok || input.empty() || input.size() % (static_cast<std::size_t>(w) * h) != 0) {
        std::fprintf(stderr, "frame_check: %s is not whole %dx%d frames\n", inputPath.c_str(), w, h);
        return 2;
    }
    int failures = 0, cases = 0;
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream fields(line);
        Case c;
        if (!(fields >> c.name >> c.output >> c.up >> c.left >> c.right >> c.down >> c.border >>
              c.showFrame >> c.want) ||
            (c.want != "same" && c.want != "differs")) {
            std::fprintf(stderr, "frame_check: cannot read the case line \"%s\"\n", line.c_str());
            return 2;
        }
        ++cases;
        bool read = true;
        const std::vector<Pixel32> actual = readPixels(c.output, read);
        const std::string difference = read ? firstDifference(c, w, h, input, actual) : "no output file";
        const bool pass = c.want == "same" ? difference.empty() : !difference.empty();
        if (pass) {
            std::printf("ok      %s\n", c.name.c_str());
        } else {
            ++failures;
            std::printf("FAILED  %s: %s\n", c.name.c_str(),
                        difference.empty() ? "equals the reference, which this case says it does not"
                                           : difference.c_str());
        }
    }
    std::printf("%d of %d cases as expected\n", cases - failures, cases);
    return failures == 0 && cases > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.size() == 5 && args[0] == "make")
            return make(std::stoi(args[1]), std::stoi(args[2]), std::stoll(args[3]),
                        static_cast<std::uint32_t>(std::stoul(args[4])));
        if (args.size() == 4 && args[0] == "compare")
            return compare(std::stoi(args[1]), std::stoi(args[2]), args[3]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "frame_check: %s\n", e.what());
        return 2;
    }
    std::fputs("usage: frame_check make W H FRAMES SEED | frame_check compare W H INPUT < cases\n", stderr);
    return 2;
}
