// The zone finder in-process on the capture model: each case of bench/suggest_cases.txt rendered
// without a codec, at the levels a video decoder gives, and scored against the model's truth per
// kind of damage and trap. Quick enough to run while working on the finder; the benchmark proper
// (suggest_bench.sh) encodes the clips and runs velmo suggest itself.
//
//   suggest_model_bench CASES SEED... [--frames N] [--only NAME] [--kind KIND] [--verbose] [--cache DIR]
//
// --cache keeps each rendered clip (frames and truth) in DIR, keyed by its recipe, size, seed and
// frame count, so that a change to the finder is measured again in a minute rather than rendered
// again in many; empty DIR by hand after changing the model.

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "suggest/zone_suggestion.h"
#include "tools/capturegen/capture_model.h"

namespace {

struct Case {
    std::string kind, name, recipe;
    std::vector<std::string> sizes;
};

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream stream(text);
    std::string part;
    while (std::getline(stream, part, separator))
        parts.push_back(part);
    return parts;
}

CaptureFrame toFrame(const capture::Planes& planes) {
    CaptureFrame frame;
    frame.w = planes.w, frame.h = planes.h;
    frame.lossless = true;  // no codec between the model and the finder
    const auto byte = [](float v) { return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L)); };
    for (std::size_t k = 0; k < planes.y.size(); ++k) {
        frame.y.push_back(byte(planes.y[k]));
        frame.cb.push_back(byte(planes.cb[k]));
        frame.cr.push_back(byte(planes.cr[k]));
    }
    return frame;
}

// The cache file of one clip: its recipe, size, seed and count in the name (hashed), the truth,
// the interlace flags, then the frames' planes.
std::string cachePath(const std::string& dir, const std::string& recipe, const std::string& size,
                      unsigned seed, int count) {
    std::uint64_t h = 1469598103934665603ull;
    for (const char c : recipe + "|" + size)
        h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    char name[96];
    std::snprintf(name, sizeof name, "/%u-%d-%016llx.clip", seed, count, static_cast<unsigned long long>(h));
    return dir + name;
}

bool loadCached(const std::string& path, int w, int h, int count, std::vector<CaptureFrame>& frames,
                std::array<int, 4>& ideal) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    int header[7];
    in.read(reinterpret_cast<char*>(header), sizeof header);
    if (!in) return false;
    std::copy(header, header + 4, ideal.begin());
    const std::size_t n = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    for (int k = 0; k < count; ++k) {
        CaptureFrame frame;
        frame.w = w, frame.h = h, frame.interlaced = header[4] != 0, frame.topFieldFirst = header[5] != 0;
        frame.lossless = true;
        for (std::vector<std::uint8_t>* plane : {&frame.y, &frame.cb, &frame.cr}) {
            plane->resize(n);
            in.read(reinterpret_cast<char*>(plane->data()), static_cast<std::streamsize>(n));
        }
        if (!in) return false;
        frames.push_back(std::move(frame));
    }
    return true;
}

void storeCached(const std::string& path, const std::vector<CaptureFrame>& frames,
                 const std::array<int, 4>& ideal) {
    std::ofstream out(path + ".part", std::ios::binary);
    const int header[7] = {ideal[0],
                           ideal[1],
                           ideal[2],
                           ideal[3],
                           frames.empty()         ? 0
                           : frames[0].interlaced ? 1
                                                  : 0,
                           frames.empty()            ? 1
                           : frames[0].topFieldFirst ? 1
                                                     : 0,
                           0};
    out.write(reinterpret_cast<const char*>(header), sizeof header);
    for (const CaptureFrame& frame : frames)
        for (const std::vector<std::uint8_t>* plane : {&frame.y, &frame.cb, &frame.cr})
            out.write(reinterpret_cast<const char*>(plane->data()),
                      static_cast<std::streamsize>(plane->size()));
    out.close();
    if (out) std::rename((path + ".part").c_str(), path.c_str());
}

struct Tally {
    int cases = 0, safe = 0, tight = 0, declined = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: suggest_model_bench CASES SEED... [--frames N] [--only NAME] [--verbose]\n");
        return 2;
    }
    std::vector<unsigned> seeds;
    int frames = 40;
    std::string only, onlyKind, cache;
    bool verbose = false;
    for (int k = 2; k < argc; ++k) {
        const std::string a = argv[k];
        if (a == "--frames" && k + 1 < argc)
            frames = std::atoi(argv[++k]);
        else if (a == "--only" && k + 1 < argc)
            only = argv[++k];
        else if (a == "--kind" && k + 1 < argc)
            onlyKind = argv[++k];
        else if (a == "--cache" && k + 1 < argc)
            cache = argv[++k];
        else if (a == "--verbose")
            verbose = true;
        else
            seeds.push_back(static_cast<unsigned>(std::strtoul(a.c_str(), nullptr, 10)));
    }
    std::vector<Case> cases;
    std::ifstream file(argv[1]);
    for (std::string line; std::getline(file, line);) {
        if (line.empty() || line[0] == '#') continue;
        const std::vector<std::string> parts = split(line, '|');
        if (parts.size() != 4) continue;
        cases.push_back(Case{parts[0], parts[1], parts[2], split(parts[3], ',')});
    }
    std::vector<capture::Photo> all;
    std::string error;
    if (!capture::loadPhotos(capture::standardPhotoPaths(), 1440, all, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::map<std::string, Tally> kinds;
    Tally total;
    double seconds = 0;
    int timed = 0;
    for (const unsigned seed : seeds)
        for (std::size_t index = 0; index < cases.size(); ++index) {
            const Case& c = cases[index];
            if (!only.empty() && c.name.find(only) == std::string::npos) continue;
            if (!onlyKind.empty() && c.kind != onlyKind) continue;
            const unsigned caseSeed = seed * 1000 + static_cast<unsigned>(index);
            std::mt19937 pick(caseSeed);
            const std::string size = c.sizes[pick() % c.sizes.size()];
            int w = 720, h = 576;
            std::sscanf(size.c_str(), "%dx%d", &w, &h);
            capture::Recipe recipe;
            if (!capture::parseRecipe(c.recipe, recipe, error)) {
                std::fprintf(stderr, "%s: %s\n", c.name.c_str(), error.c_str());
                return 1;
            }
            const int count = w > 1000 ? std::min(frames, 8) : frames;
            std::vector<CaptureFrame> captured;
            std::array<int, 4> ideal{};
            const std::string path = cache.empty() ? "" : cachePath(cache, c.recipe, size, caseSeed, count);
            if (path.empty() || !loadCached(path, w, h, count, captured, ideal)) {
                captured.clear();
                std::vector<capture::Photo> photos;
                if (recipe.content.empty() || recipe.content == "photo")
                    for (int k = 0; k < 3; ++k)
                        photos.push_back(all[pick() % all.size()]);
                capture::CaptureModel model(recipe, w, h, count, caseSeed, std::move(photos));
                capture::Planes planes;
                for (int k = 0; k < count; ++k) {
                    model.render(k, planes);
                    captured.push_back(toFrame(planes));
                    captured.back().interlaced = model.interlaced();
                    captured.back().topFieldFirst = model.topFieldFirst();
                }
                ideal = model.ideal();
                if (!path.empty()) storeCached(path, captured, ideal);
            }
            ZoneSuggestion suggestion;
            const auto start = std::chrono::steady_clock::now();
            const bool found = suggestZone(captured, suggestion, error);
            const double took =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (w == 720 && h == 576) seconds += took * 100.0 / count, ++timed;
            bool safe = found, tight = found;
            std::string got = "declined";
            if (found) {
                got.clear();
                for (std::size_t s = 0; s < 4; ++s) {
                    safe = safe && suggestion.sides[s].margin >= ideal[s];
                    tight = tight && suggestion.sides[s].margin <= ideal[s] + 1;
                    got += std::to_string(suggestion.sides[s].margin) + (s < 3 ? " " : "");
                }
            }
            tight = tight && safe;
            for (Tally* t : {&kinds[c.kind], &total}) {
                ++t->cases;
                t->safe += safe, t->tight += tight, t->declined += !found;
            }
            std::printf("%-5u %-16s %-18s %-9s ideal %2d %2d %2d %2d  got %-15s %s%s\n", seed, c.kind.c_str(),
                        c.name.c_str(), size.c_str(), ideal[0], ideal[1], ideal[2], ideal[3], got.c_str(),
                        safe    ? "safe"
                        : found ? "UNSAFE"
                                : "-",
                        tight ? " tight" : "");
            if (verbose || (found && !tight))
                for (std::size_t s = 0; s < 4; ++s)
                    std::printf("        %s\n",
                                describeSide(static_cast<ZoneSide>(s), suggestion.sides[s]).c_str());
            if (!found) std::printf("        %s\n", error.c_str());
            std::fflush(stdout);
        }
    std::printf("\n%-16s %5s %12s %18s %9s\n", "kind", "cases", "safe", "safe and tight", "declined");
    for (const auto& [kind, t] : kinds)
        std::printf("%-16s %5d %5d (%3.0f%%) %9d (%3.0f%%) %9d\n", kind.c_str(), t.cases, t.safe,
                    100.0 * t.safe / t.cases, t.tight, 100.0 * t.tight / t.cases, t.declined);
    std::printf("%-16s %5d %5d (%3.0f%%) %9d (%3.0f%%) %9d\n", "all", total.cases, total.safe,
                100.0 * total.safe / std::max(1, total.cases), total.tight,
                100.0 * total.tight / std::max(1, total.cases), total.declined);
    if (timed > 0) std::printf("finder time for 100 frames of 720x576: %.2f s (mean)\n", seconds / timed);
    return 0;
}
