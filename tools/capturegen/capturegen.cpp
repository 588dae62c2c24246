// capturegen: synthetic analogue captures with known damage, for testing and measuring `velmo
// suggest`. The model (capture_model.h) renders each frame with and without its damage through one
// capture chain; the ideal margins are read off the two.
//
//   capturegen --size 720x576 --frames 100 --seed 1 --case "left=bar:12,ragged:4;down=hs:6;chain"
//              [--depth 10] --ideal ideal.txt > frames.yuv
//
// Frames go to standard output as raw planar 4:4:4 (yuv444p, or yuv444p10le with --depth 10),
// limited range, for FFmpeg to encode. The --ideal file gets "up left right down" and a second line
// "progressive", "interlaced tff" or "interlaced bff". Photographs: the fixed list of
// lomiri-wallpapers-16.04 (capture::standardPhotoPaths), or those given; the seed picks three. A
// recipe whose content is not a photograph needs none. --list-photos prints the fixed list.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "tools/capturegen/capture_model.h"

namespace {

int fail(const std::string& message) {
    std::fprintf(stderr, "capturegen: %s\n", message.c_str());
    return 2;
}

bool writeAll(const void* data, std::size_t size) {
    return std::fwrite(data, 1, size, stdout) == size;
}

}  // namespace

int main(int argc, char** argv) {
    int w = 720, h = 576, frames = 100, depth = 8;
    unsigned seed = 1;
    std::string recipeText, idealPath;
    std::vector<std::string> photoPaths;
    for (int k = 1; k < argc; ++k) {
        const std::string argument = argv[k];
        const bool hasValue = k + 1 < argc;
        if (argument == "--list-photos") {
            // The fixed list, for scripts that pan across the same photographs.
            for (const std::string& photo : capture::standardPhotoPaths())
                std::printf("%s\n", photo.c_str());
            return std::fflush(stdout) == 0 ? 0 : fail("cannot write the list");
        }
        if (argument == "--size" && hasValue) {
            if (std::sscanf(argv[++k], "%dx%d", &w, &h) != 2 || w < 64 || h < 64 || w > 8192 || h > 8192)
                return fail("bad --size");
        } else if (argument == "--frames" && hasValue) {
            frames = std::atoi(argv[++k]);
        } else if (argument == "--seed" && hasValue) {
            seed = static_cast<unsigned>(std::strtoul(argv[++k], nullptr, 10));
        } else if (argument == "--depth" && hasValue) {
            depth = std::atoi(argv[++k]);
        } else if (argument == "--case" && hasValue) {
            recipeText = argv[++k];
        } else if (argument == "--ideal" && hasValue) {
            idealPath = argv[++k];
        } else if (!argument.empty() && argument[0] != '-') {
            photoPaths.push_back(argument);
        } else {
            return fail(
                "usage: capturegen --size WxH --frames N --seed S --case RECIPE [--depth 8|10] --ideal FILE "
                "[PHOTO...]");
        }
    }
    if (frames < 1 || idealPath.empty() || (depth != 8 && depth != 10))
        return fail("needs --frames N >= 1, --ideal FILE and --depth 8 or 10");

    capture::Recipe recipe;
    std::string error;
    if (!capture::parseRecipe(recipeText, recipe, error)) return fail(error);
    std::vector<capture::Photo> photos;
    if (recipe.content.empty() || recipe.content == "photo") {
        if (photoPaths.empty()) photoPaths = capture::standardPhotoPaths();
        // The list is sorted; the seed picks three, so that loading stays quick.
        std::mt19937 pick(seed);
        std::shuffle(photoPaths.begin(), photoPaths.end(), pick);
        photoPaths.resize(std::min<std::size_t>(photoPaths.size(), 3));
        if (!capture::loadPhotos(photoPaths, 2 * w, photos, error)) return fail(error);
    }

    capture::CaptureModel model(recipe, w, h, frames, seed, std::move(photos));
    if (!model.valid()) return fail("the damage leaves too little picture");

    const std::size_t n = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    std::vector<std::uint8_t> bytes8(depth == 8 ? n : 0);
    std::vector<std::uint16_t> words(depth == 10 ? n : 0);
    capture::Planes planes;
    for (int index = 0; index < frames; ++index) {
        model.render(index, planes);
        for (const std::vector<float>* plane : {&planes.y, &planes.cb, &planes.cr}) {
            bool written = false;
            if (depth == 8) {
                for (std::size_t k = 0; k < n; ++k)
                    bytes8[k] = static_cast<std::uint8_t>(std::clamp(std::lround((*plane)[k]), 0L, 255L));
                written = writeAll(bytes8.data(), n);
            } else {
                for (std::size_t k = 0; k < n; ++k)
                    words[k] =
                        static_cast<std::uint16_t>(std::clamp(std::lround((*plane)[k] * 4), 0L, 1023L));
                written = writeAll(words.data(), n * 2);
            }
            if (!written) return fail("cannot write frames");
        }
    }
    if (std::fflush(stdout) != 0) return fail("cannot write frames");
    const std::array<int, 4> ideal = model.ideal();
    std::ofstream out(idealPath);
    out << ideal[0] << " " << ideal[1] << " " << ideal[2] << " " << ideal[3] << "\n"
        << (model.interlaced() ? (model.topFieldFirst() ? "interlaced tff" : "interlaced bff")
                               : "progressive")
        << "\n";
    return out.good() ? 0 : fail("cannot write " + idealPath);
}
