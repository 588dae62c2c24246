// velmo stream on FFmpeg's pixel formats, run as a user runs it: frames that the ffmpeg program
// wrote with its rawvideo muxer in, held sample for sample to FFmpeg's own chain of filters (crop,
// pad, fillborders) where that chain can make the same move, and always to the per-sample
// reference (tests/support/reference_planes.h).

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/reference_planes.h"
#include "tests/velmo/test_files.h"

namespace {

using namespace velmo_test;
using reference::floorDivide;
using reference::nearestMultiple;

// A pixel format as the test knows it, written out by hand from FFmpeg's documentation of its
// layouts rather than asked of the code under test.
enum class Kind { Yuv, Gray, Rgb, Packed32 };

struct FormatCase {
    const char* name;
    Kind kind;
    int bits;        // of each sample's value (Packed32: 8 per byte)
    int log2Width;   // chroma subsampling, YUV only
    int log2Height;  //
    // What FFmpeg's filters work in: fillborders takes planar formats only, so 32-bit frames go
    // through planar RGB (and back, without loss).
    const char* chainFormat;
    bool alpha;  // bgra: a fourth byte that is alpha, kept and painted opaque
};

void PrintTo(const FormatCase& f, std::ostream* os) {
    *os << f.name;
}

int planeCountOf(const FormatCase& f) {
    return f.kind == Kind::Yuv || f.kind == Kind::Rgb ? 3 : 1;
}

int sampleSizeOf(const FormatCase& f) {
    if (f.kind == Kind::Packed32) return 4;
    return f.bits > 8 ? 2 : 1;
}

// The format for the reference, with each plane's black: limited-range YUV and gray (gray is
// streamed with --range limited, the black FFmpeg's fillborders paints), black RGB, and 32-bit
// pixels' black with an opaque fourth byte. Red is never painted here (shift mode only).
PlanarFormat referenceFormat(const FormatCase& f, std::int32_t w, std::int32_t h, bool interlaced) {
    PlanarFormat format{};
    format.width = w;
    format.height = h;
    format.interlaced = interlaced;
    format.planeCount = planeCountOf(f);
    const std::uint32_t scale = f.bits > 8 && f.kind != Kind::Packed32 ? 1u << (f.bits - 8) : 1u;
    for (int p = 0; p < format.planeCount; ++p) {
        const bool chroma = f.kind == Kind::Yuv && p > 0;
        format.planes[p] = {sampleSizeOf(f), chroma ? f.log2Width : 0, chroma ? f.log2Height : 0};
        std::uint32_t black = 0;
        if (f.kind == Kind::Yuv || f.kind == Kind::Gray) black = (chroma ? 128u : 16u) * scale;
        if (f.kind == Kind::Packed32) black = 0xFF000000u;
        format.colours[p] = {black, 0};
    }
    return format;
}

std::int64_t planeWidthOf(const PlanarFormat& format, int p) {
    const std::int64_t step = std::int64_t{1} << format.planes[p].log2Width;
    return (format.width + step - 1) / step;
}

std::int64_t planeHeightOf(const PlanarFormat& format, int p) {
    const std::int64_t step = std::int64_t{1} << format.planes[p].log2Height;
    return (format.height + step - 1) / step;
}

// A raw frame: the planes one after another, rows top-down and packed.
std::size_t frameBytes(const PlanarFormat& format) {
    std::size_t bytes = 0;
    for (int p = 0; p < format.planeCount; ++p)
        bytes += static_cast<std::size_t>(planeWidthOf(format, p) * planeHeightOf(format, p) *
                                          format.planes[p].sampleSize);
    return bytes;
}

// The frame's planes as the reference numbers rows: from the bottom.
PlanarFrame framePlanes(const PlanarFormat& format, std::uint8_t* frame) {
    PlanarFrame planes{};
    for (int p = 0; p < format.planeCount; ++p) {
        const std::int64_t linesize = planeWidthOf(format, p) * format.planes[p].sampleSize;
        planes.planes[p] = PlaneRows{frame + (planeHeightOf(format, p) - 1) * linesize, -linesize};
        frame += linesize * planeHeightOf(format, p);
    }
    return planes;
}

// Random samples of the format's depth; 32-bit pixels with the fourth byte FFmpeg's bgr0 has (0xFF)
// or, for bgra, any alpha.
Bytes randomFrames(const FormatCase& f, const PlanarFormat& format, int frames, unsigned seed) {
    std::mt19937 random(seed);
    Bytes bytes;
    for (int n = 0; n < frames; ++n)
        for (int p = 0; p < format.planeCount; ++p)
            for (std::int64_t k = 0; k < planeWidthOf(format, p) * planeHeightOf(format, p); ++k) {
                std::uint32_t value = random();
                if (f.kind == Kind::Packed32) {
                    if (!f.alpha) value |= 0xFF000000u;
                } else {
                    value &= (1u << f.bits) - 1;
                }
                for (int b = 0; b < format.planes[p].sampleSize; ++b)
                    bytes.push_back(static_cast<unsigned char>(value >> (8 * b)));
            }
    return bytes;
}

Bytes referenceOutput(const Zone& zone, const PlanarFormat& format, Bytes input) {
    const std::size_t size = frameBytes(format);
    Bytes output(input.size(), 0xA5);
    for (std::size_t at = 0; at + size <= input.size(); at += size)
        reference::renderZonePlanes(zone, ZoneView::Shift, format, framePlanes(format, input.data() + at),
                                    framePlanes(format, output.data() + at));
    return output;
}

// Where two outputs first differ: frame, plane, row from the top, column.
std::string firstDifference(const PlanarFormat& format, const Bytes& got, const Bytes& expected) {
    if (got.size() != expected.size())
        return std::to_string(got.size()) + " bytes, expected " + std::to_string(expected.size());
    std::size_t at = 0;
    for (int frame = 0; at < got.size(); ++frame)
        for (int p = 0; p < format.planeCount; ++p) {
            const std::size_t size = static_cast<std::size_t>(format.planes[p].sampleSize);
            const std::int64_t w = planeWidthOf(format, p), h = planeHeightOf(format, p);
            for (std::int64_t k = 0; k < w * h; ++k, at += size)
                for (std::size_t b = 0; b < size; ++b)
                    if (got[at + b] != expected[at + b]) {
                        std::ostringstream where;
                        where << "frame " << frame << ", plane " << p << ", row " << k / w
                              << " from the top, column " << k % w << ": byte " << b << " is "
                              << int{got[at + b]} << ", expected " << int{expected[at + b]};
                        return where.str();
                    }
        }
    return "no difference";
}

struct ZoneCase {
    Zone zone;
    // The shift and the border lie inside the test's 64 x 48 frame, as crop and pad need.
    bool fitsFrame;
};

// FFmpeg's chain for one frame (or one field, as separatefields gives it) of w x h: top-down, output
// line y shows line y - dy, column x column x + dx; the edges the shift uncovers repeat their
// nearest line or column, and with the border `top`, `bottom` lines and `side` columns are black.
std::string chainFor(std::int64_t w, std::int64_t h, std::int64_t dy, std::int64_t dx, std::int64_t top,
                     std::int64_t bottom, std::int64_t side, bool border) {
    std::ostringstream chain;
    chain << "crop=" << w - std::llabs(dx) << ":" << h - std::llabs(dy) << ":" << (dx > 0 ? dx : 0) << ":"
          << (dy < 0 ? -dy : 0) << ",pad=" << w << ":" << h << ":" << (dx < 0 ? -dx : 0) << ":"
          << (dy > 0 ? dy : 0) << ",fillborders=left=" << (dx < 0 ? -dx : 0) << ":right=" << (dx > 0 ? dx : 0)
          << ":top=" << (dy > 0 ? dy : 0) << ":bottom=" << (dy < 0 ? -dy : 0) << ":mode=smear";
    if (border)
        chain << ",fillborders=left=" << side << ":right=" << side << ":top=" << top << ":bottom=" << bottom
              << ":mode=fixed:color=black";
    return chain.str();
}

// FFmpeg's chain for the zone, or empty where it cannot make velmo's move: a shift that is not whole
// chroma samples (crop and pad round it to them), or, in an interlaced frame, a border whose black
// lines do not split evenly between the fields (each field goes through the chain on its own).
std::string ffmpegChain(const FormatCase& f, const PlanarFormat& format, const ZoneCase& c) {
    if (!c.fitsFrame) return {};
    const Zone& z = c.zone;
    const std::int64_t dyExact = floorDivide(std::int64_t{z.down} - z.up, 2);
    const std::int64_t dx = floorDivide(std::int64_t{z.left} - z.right, 2);
    const std::int64_t sy = floorDivide(std::int64_t{z.down} + z.up, 2);
    const std::int64_t sx = floorDivide(std::int64_t{z.left} + z.right, 2);
    const int log2Height = f.kind == Kind::Yuv ? f.log2Height : 0,
              log2Width = f.kind == Kind::Yuv ? f.log2Width : 0;
    // Interlaced: rounded to keep every plane's lines in their fields, the window moving with it.
    const std::int64_t dy =
        format.interlaced ? nearestMultiple(dyExact, std::int64_t{2} << log2Height) : dyExact;
    const std::int64_t moved = dyExact - dy;
    const std::int64_t top = std::max<std::int64_t>(0, sy - 1 - moved);
    const std::int64_t bottom = std::max<std::int64_t>(0, sy - 1 + moved);
    const std::int64_t side = std::max<std::int64_t>(0, sx - 1);
    if (dx % (std::int64_t{1} << log2Width) != 0) return {};
    std::string chain;
    if (!format.interlaced) {
        if (dy % (std::int64_t{1} << log2Height) != 0) return {};
        chain = chainFor(format.width, format.height, dy, dx, top, bottom, side, z.border);
    } else {
        if (z.border && (top % 2 != 0 || bottom % 2 != 0)) return {};
        chain = "setfield=tff,separatefields," +
                chainFor(format.width, format.height / 2, dy / 2, dx, top / 2, bottom / 2, side, z.border) +
                ",weave=first_field=top";
    }
    return "format=" + std::string(f.chainFormat) + "," + chain + ",format=" + f.name;
}

std::string configLine(const Zone& z) {
    return "Config(" + std::to_string(z.up) + "," + std::to_string(z.left) + "," + std::to_string(z.right) +
           "," + std::to_string(z.down) + "," + (z.border ? "1" : "0") + ")";
}

// A private folder for each test's files, and the ffmpeg program the tests need.
class StreamCommand : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(std::system("command -v ffmpeg >/dev/null"), 0)
            << "ffmpeg is missing: run tools/install-deps.sh";
        folder_ = fs::temp_directory_path() / ("velmo-stream-formats-" + std::to_string(getpid()));
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string path(const std::string& name) const { return (folder_ / name).string(); }

    fs::path folder_;
};

class StreamFormats : public StreamCommand, public testing::WithParamInterface<FormatCase> {};

// Whole chroma samples for every format, with and without the border, and whole the other way;
// an odd line (not whole for 4:2:0; rounded where interlaced); odd lines and columns, whole only for
// full-size planes; hostile margins.
constexpr ZoneCase kZones[] = {
    {{3, 13, 5, 7, true}, true}, {{3, 13, 5, 7, false}, true}, {{9, 13, 5, 1, true}, true},
    {{5, 4, 4, 3, true}, true},  {{2, 7, 4, 9, true}, true},   {{INT_MIN, INT_MAX, 4, -9, true}, false},
};

// One velmo stream run of the test: a frame size, progressive or interlaced, a zone, and FFmpeg's
// chain for it (empty where it cannot make the same move).
struct StreamRun {
    int input;  // 0: 64 x 48, 1: the odd size
    bool interlaced;
    std::size_t zone;
    std::string chain;
};

// For each zone, progressive and interlaced: the frames ffmpeg writes, through velmo stream, equal
// FFmpeg's own chain wherever it makes the same move, and the reference everywhere. At an odd size
// (the chroma planes' last row and column cover fewer samples) against the reference alone, since
// crop and pad do not take odd sizes' chroma apart.
TEST_P(StreamFormats, EqualFfmpegsOwnChainAndTheReference) {
    const FormatCase& f = GetParam();
    struct Input {
        std::int32_t w, h;
        std::size_t zones;  // the first so many of kZones
        bool chained;
        Bytes frames;
    };
    Input inputs[] = {{64, 48, std::size(kZones), true, {}}, {37, 27, 2, false, {}}};
    std::vector<StreamRun> runs;
    for (int i = 0; i < 2; ++i) {
        Input& input = inputs[i];
        input.frames =
            randomFrames(f, referenceFormat(f, input.w, input.h, false), 2, 7u + static_cast<unsigned>(i));
        writeBytes(path("in" + std::to_string(i) + ".raw"), input.frames);
        for (const bool interlaced : {false, true})
            for (std::size_t z = 0; z < input.zones; ++z)
                runs.push_back(
                    {i, interlaced, z,
                     input.chained
                         ? ffmpegChain(f, referenceFormat(f, input.w, input.h, interlaced), kZones[z])
                         : std::string()});
    }
    const auto dimensions = [&](int i) {
        return std::to_string(inputs[i].w) + "x" + std::to_string(inputs[i].h);
    };

    // One ffmpeg: its rawvideo copy of each input, which velmo reads, and each chain's output.
    std::string ffmpeg = "ffmpeg -nostdin -loglevel error -y";
    for (int i = 0; i < 2; ++i)
        ffmpeg += " -f rawvideo -pix_fmt " + std::string(f.name) + " -s " + dimensions(i) + " -i " +
                  path("in" + std::to_string(i) + ".raw");
    std::string split, branches, outputs;
    int branchCount = 0;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        if (runs[r].chain.empty()) continue;
        const std::string name = std::to_string(r);
        ++branchCount;
        split += "[in" + name + "]";
        branches += ";[in" + name + "]" + runs[r].chain + "[out" + name + "]";
        outputs += " -map '[out" + name + "]' -f rawvideo " + path("chain" + name + ".raw");
    }
    ffmpeg += " -filter_complex '[0:v]split=" + std::to_string(branchCount + 1) + "[copy]" + split +
              branches + "' -map '[copy]' -f rawvideo " + path("ffmpeg0.raw") + " -map 1:v -f rawvideo " +
              path("ffmpeg1.raw") + outputs;
    ASSERT_EQ(std::system(ffmpeg.c_str()), 0) << ffmpeg;
    // FFmpeg lays the frames out as the test does: its copy is the input, byte for byte.
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(readBytes(path("ffmpeg" + std::to_string(i) + ".raw")), inputs[i].frames)
            << f.name << " " << dimensions(i);

    // Every run at once: most of a run this small is starting the program.
    std::vector<pid_t> processes;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        std::vector<std::string> arguments{
            VELMO_BINARY, "stream", "--size",   dimensions(runs[r].input),
            "--pix-fmt",  f.name,   "--config", configLine(kZones[runs[r].zone].zone)};
        if (runs[r].interlaced) arguments.push_back("--interlaced");
        if (f.kind == Kind::Gray) arguments.insert(arguments.end(), {"--range", "limited"});
        const std::string name = std::to_string(r);
        processes.push_back(startProgram(arguments, path("ffmpeg" + std::to_string(runs[r].input) + ".raw"),
                                         path("velmo" + name + ".raw"), path("errors" + name + ".txt")));
    }
    // Which of (progressive, interlaced) x (without, with the border) met FFmpeg's chain.
    std::set<std::pair<bool, bool>> chained;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        const StreamRun& run = runs[r];
        const Input& input = inputs[run.input];
        const Zone& zone = kZones[run.zone].zone;
        const PlanarFormat format = referenceFormat(f, input.w, input.h, run.interlaced);
        const std::string name = std::to_string(r);
        const std::string what = std::string(f.name) + " " + dimensions(run.input) +
                                 (run.interlaced ? " interlaced " : " progressive ") + configLine(zone);
        EXPECT_EQ(exitStatus(waitFor(processes[r])), 0)
            << what << ": " << readText(path("errors" + name + ".txt"));
        const Bytes output = readBytes(path("velmo" + name + ".raw"));
        const Bytes expected = referenceOutput(zone, format, input.frames);
        EXPECT_TRUE(output == expected)
            << what << ": against the reference, " << firstDifference(format, output, expected);
        if (run.chain.empty()) continue;
        chained.insert({run.interlaced, zone.border});
        Bytes chain = readBytes(path("chain" + name + ".raw"));
        // FFmpeg's way through planar RGB and back does not keep bgra's alpha (it comes back one off
        // here and there): the alpha is held to the reference alone.
        Bytes ours = output;
        if (f.alpha)
            for (Bytes* bytes : {&chain, &ours})
                for (std::size_t k = 3; k < bytes->size(); k += 4)
                    (*bytes)[k] = 0;
        EXPECT_TRUE(ours == chain) << what << ": against FFmpeg's chain " << run.chain << ", "
                                   << firstDifference(format, ours, chain);
    }
    EXPECT_EQ(chained.size(), 4u) << f.name << ": FFmpeg's chain met progressive and interlaced frames, "
                                  << "with and without the border";
}

INSTANTIATE_TEST_SUITE_P(Velmo, StreamFormats,
                         testing::Values(FormatCase{"gray", Kind::Gray, 8, 0, 0, "gray", false},
                                         FormatCase{"gray10le", Kind::Gray, 10, 0, 0, "gray10le", false},
                                         FormatCase{"gray12le", Kind::Gray, 12, 0, 0, "gray12le", false},
                                         FormatCase{"gray16le", Kind::Gray, 16, 0, 0, "gray16le", false},
                                         FormatCase{"yuv420p", Kind::Yuv, 8, 1, 1, "yuv420p", false},
                                         FormatCase{"yuv420p10le", Kind::Yuv, 10, 1, 1, "yuv420p10le", false},
                                         FormatCase{"yuv420p12le", Kind::Yuv, 12, 1, 1, "yuv420p12le", false},
                                         FormatCase{"yuv420p16le", Kind::Yuv, 16, 1, 1, "yuv420p16le", false},
                                         FormatCase{"yuv422p", Kind::Yuv, 8, 1, 0, "yuv422p", false},
                                         FormatCase{"yuv422p10le", Kind::Yuv, 10, 1, 0, "yuv422p10le", false},
                                         FormatCase{"yuv422p12le", Kind::Yuv, 12, 1, 0, "yuv422p12le", false},
                                         FormatCase{"yuv422p16le", Kind::Yuv, 16, 1, 0, "yuv422p16le", false},
                                         FormatCase{"yuv411p", Kind::Yuv, 8, 2, 0, "yuv411p", false},
                                         FormatCase{"yuv444p", Kind::Yuv, 8, 0, 0, "yuv444p", false},
                                         FormatCase{"yuv444p10le", Kind::Yuv, 10, 0, 0, "yuv444p10le", false},
                                         FormatCase{"yuv444p12le", Kind::Yuv, 12, 0, 0, "yuv444p12le", false},
                                         FormatCase{"yuv444p16le", Kind::Yuv, 16, 0, 0, "yuv444p16le", false},
                                         FormatCase{"gbrp", Kind::Rgb, 8, 0, 0, "gbrp", false},
                                         FormatCase{"bgr0", Kind::Packed32, 8, 0, 0, "gbrp", false},
                                         FormatCase{"bgra", Kind::Packed32, 8, 0, 0, "gbrap", true}),
                         [](const testing::TestParamInfo<FormatCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace

// A frame whose two fields show different pictures: every sample of the top field (lines 0, 2, 4 ...
// from the top, and the chroma rows over them) in one range of values, every sample of the bottom
// field in another, neither holding the format's black. Through velmo stream --interlaced, each
// output line holds only its own field's values, or black: no line crossed into the other field.
struct FieldCase {
    FormatCase format;
    std::int32_t w, h;
};

// The field a plane's row (from the top) belongs to: the rows of a plane alternate between the
// fields as the frame's lines do, whatever the plane's subsampling.
int fieldOfRow(std::int64_t row) {
    return static_cast<int>(row % 2);
}

TEST_F(StreamCommand, KeepsEachInterlacedLineInItsField) {
    const FieldCase cases[] = {
        {{"yuv420p", Kind::Yuv, 8, 1, 1, "", false}, 64, 48},
        {{"yuv420p10le", Kind::Yuv, 10, 1, 1, "", false}, 38, 30},  // 4:2:0 whose height is no multiple of 4
        {{"yuv422p", Kind::Yuv, 8, 1, 0, "", false}, 64, 48},
        {{"yuv411p", Kind::Yuv, 8, 2, 0, "", false}, 64, 47},
        {{"gray10le", Kind::Gray, 10, 0, 0, "", false}, 40, 31},
    };
    // Odd and even vertical shifts up and down, small and large borders, and hostile margins.
    const Zone zones[] = {{1, 1, 1, 4, false},
                          {1, 1, 1, 4, true},
                          {4, 1, 1, 1, true},
                          {2, 3, 5, 9, true},
                          {9, 2, 2, 2, true},
                          {7, 7, 7, 14, true},
                          {3, 5, 7, 9, false},
                          {12, 4, 4, 1, true},
                          {1, 1, 1, 13, true},
                          {20, 1, 1, 3, false},
                          {INT_MIN, 1, 1, INT_MAX, true},
                          {INT_MAX, 1, 1, -5, true}};
    for (const FieldCase& c : cases) {
        const FormatCase& f = c.format;
        const PlanarFormat format = referenceFormat(f, c.w, c.h, true);
        const std::uint32_t scale = 1u << (f.bits - 8);
        // Top field 40..99, bottom field 150..229 (in 8-bit terms); black (16, 128 or 0) in neither.
        std::mt19937 random(static_cast<unsigned>(c.w));
        Bytes input;
        for (int p = 0; p < format.planeCount; ++p)
            for (std::int64_t row = 0; row < planeHeightOf(format, p); ++row)
                for (std::int64_t column = 0; column < planeWidthOf(format, p); ++column) {
                    const std::uint32_t value =
                        (fieldOfRow(row) == 0 ? 40 + random() % 60 : 150 + random() % 80) * scale;
                    for (int b = 0; b < format.planes[p].sampleSize; ++b)
                        input.push_back(static_cast<unsigned char>(value >> (8 * b)));
                }
        writeBytes(path("fields.raw"), input);
        // Every zone at once: most of a run this small is starting the program.
        std::vector<pid_t> runs;
        for (std::size_t z = 0; z < std::size(zones); ++z) {
            std::vector<std::string> arguments{VELMO_BINARY,
                                               "stream",
                                               "--size",
                                               std::to_string(c.w) + "x" + std::to_string(c.h),
                                               "--pix-fmt",
                                               f.name,
                                               "--interlaced",
                                               "--config",
                                               configLine(zones[z])};
            if (f.kind == Kind::Gray) arguments.insert(arguments.end(), {"--range", "limited"});
            runs.push_back(startProgram(arguments, path("fields.raw"),
                                        path("out" + std::to_string(z) + ".raw"),
                                        path("errors" + std::to_string(z) + ".txt")));
        }
        for (std::size_t z = 0; z < std::size(zones); ++z) {
            const std::string what = std::string(f.name) + " " + configLine(zones[z]);
            EXPECT_EQ(exitStatus(waitFor(runs[z])), 0)
                << what << ": " << readText(path("errors" + std::to_string(z) + ".txt"));
            const Bytes output = readBytes(path("out" + std::to_string(z) + ".raw"));
            if (output.size() != input.size()) {
                ADD_FAILURE() << what << ": " << output.size() << " bytes out of " << input.size();
                continue;
            }
            std::size_t at = 0;
            int crossed = 0;
            for (int p = 0; p < format.planeCount; ++p)
                for (std::int64_t row = 0; row < planeHeightOf(format, p); ++row)
                    for (std::int64_t column = 0; column < planeWidthOf(format, p); ++column) {
                        std::uint32_t value = 0;
                        for (int b = 0; b < format.planes[p].sampleSize; ++b, ++at)
                            value |= std::uint32_t{output[at]} << (8 * b);
                        const std::uint32_t unscaled = value / scale;
                        const bool top = unscaled >= 40 && unscaled < 100,
                                   bottom = unscaled >= 150 && unscaled < 230;
                        const bool own = fieldOfRow(row) == 0 ? top : bottom;
                        if (!own && value != format.colours[p].border && crossed++ == 0)
                            ADD_FAILURE()
                                << what << ": plane " << p << ", row " << row << " (field " << fieldOfRow(row)
                                << "), column " << column << " holds " << value << ", from the other field";
                    }
        }
    }
}

// One sample of a raw frame: plane p, row and column from the top.
std::uint32_t sampleOf(const PlanarFormat& format, const Bytes& frame, int p, std::int64_t row,
                       std::int64_t column) {
    std::size_t at = 0;
    for (int q = 0; q < p; ++q)
        at += static_cast<std::size_t>(planeWidthOf(format, q) * planeHeightOf(format, q) *
                                       format.planes[q].sampleSize);
    const int size = format.planes[p].sampleSize;
    at += static_cast<std::size_t>((row * planeWidthOf(format, p) + column) * size);
    std::uint32_t value = 0;
    for (int b = 0; b < size; ++b)
        value |= std::uint32_t{frame.at(at + static_cast<std::size_t>(b))} << (8 * b);
    return value;
}

// The black and red each format paints, as --range and --matrix (or their defaults) choose them,
// written out by hand: limited range scales the 8-bit values by 2^(bits - 8); red is the exact value
// rounded (BT.601 Kr = 0.299, Kb = 0.114; BT.709 0.2126, 0.0722; BT.2020 0.2627, 0.0593).
struct ColourCase {
    FormatCase format;
    bool named;  // given by --pix-fmt; else the 32-bit frames velmo stream takes without it
    std::int32_t h;
    std::vector<std::string> options;
    bool outline;  // red at the zone's top line; else black at the frame's top-left corner
    std::vector<std::uint32_t> expected;  // each plane's sample
};

TEST_F(StreamCommand, PaintsTheFormatsBlackAndRed) {
    const FormatCase yuv420p{"yuv420p", Kind::Yuv, 8, 1, 1, "", false};
    const FormatCase yuv422p{"yuv422p", Kind::Yuv, 8, 1, 0, "", false};
    const FormatCase yuv422p10{"yuv422p10le", Kind::Yuv, 10, 1, 0, "", false};
    const FormatCase yuv420p10{"yuv420p10le", Kind::Yuv, 10, 1, 1, "", false};
    const FormatCase gray{"gray", Kind::Gray, 8, 0, 0, "", false};
    const FormatCase gray10{"gray10le", Kind::Gray, 10, 0, 0, "", false};
    const FormatCase gbrp{"gbrp", Kind::Rgb, 8, 0, 0, "", false};
    const FormatCase bgr0{"bgr0", Kind::Packed32, 8, 0, 0, "", false};
    const ColourCase cases[] = {
        {yuv422p, true, 48, {}, false, {16, 128, 128}},
        {yuv422p, true, 48, {"--range", "full"}, false, {0, 128, 128}},
        {yuv422p, true, 48, {"--range", "tv"}, false, {16, 128, 128}},
        {yuv422p10, true, 48, {}, false, {64, 512, 512}},
        {yuv420p, true, 48, {}, true, {81, 90, 240}},
        {yuv420p, true, 48, {"--matrix", "bt709"}, true, {63, 102, 240}},
        {yuv422p10, true, 48, {"--matrix", "bt709"}, true, {250, 409, 960}},
        {yuv420p10, true, 48, {"--matrix", "bt2020"}, true, {294, 387, 960}},
        {yuv422p, true, 48, {"--range", "full"}, true, {76, 85, 255}},
        {yuv422p, true, 720, {}, true, {63, 102, 240}},  // untagged from 720 lines: BT.709
        {yuv422p, true, 720, {"--matrix", "bt601"}, true, {81, 90, 240}},
        {gray, true, 48, {}, false, {0}},  // gray is full range unless told otherwise
        {gray, true, 48, {"--range", "limited"}, false, {16}},
        {gray10, true, 48, {"--range", "limited"}, false, {64}},
        {gray, true, 48, {}, true, {76}},
        {gbrp, true, 48, {}, true, {0, 0, 255}},
        {gbrp, true, 48, {}, false, {0, 0, 0}},
        {bgr0, false, 48, {}, true, {0xFFFF0000u}},
        {bgr0, false, 48, {}, false, {0xFF000000u}},
    };
    for (const ColourCase& c : cases) {
        const FormatCase& f = c.format;
        const PlanarFormat format = referenceFormat(f, 64, c.h, false);
        writeBytes(path("grey.raw"), Bytes(frameBytes(format), 0x37));
        std::vector<std::string> arguments{VELMO_BINARY, "stream", "--size", "64x" + std::to_string(c.h)};
        if (c.named) arguments.insert(arguments.end(), {"--pix-fmt", f.name});
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        if (c.outline)
            arguments.insert(arguments.end(), {"--config", "Config(3,5,7,9,0)", "--show-frame"});
        else
            arguments.insert(arguments.end(), {"--config", "Config(9,9,9,9,1)"});
        std::string what = f.name;
        for (const std::string& option : c.options)
            what += " " + option;
        what += c.outline ? " red" : " black";
        ASSERT_EQ(exitStatus(waitFor(
                      startProgram(arguments, path("grey.raw"), path("out.raw"), path("errors.txt")))),
                  0)
            << what << ": " << readText(path("errors.txt"));
        const Bytes output = readBytes(path("out.raw"));
        ASSERT_EQ(output.size(), frameBytes(format)) << what;
        ASSERT_EQ(static_cast<int>(c.expected.size()), format.planeCount) << what;
        // The outline's top line is the zone's edge line 2 lines below the top (up 3), drawn from
        // column 4 (left 5); the border blacks out the top 8 lines and left 8 columns (margins 9).
        const std::int64_t row = c.outline ? 2 : 0, column = c.outline ? 10 : 0;
        for (int p = 0; p < format.planeCount; ++p)
            EXPECT_EQ(sampleOf(format, output, p, row >> format.planes[p].log2Height,
                               column >> format.planes[p].log2Width),
                      c.expected[static_cast<std::size_t>(p)])
                << what << ", plane " << p;
    }
}

// An interlaced frame whose shift had to be rounded: velmo stream says so once, on one line, and still
// succeeds.
TEST_F(StreamCommand, SaysOnceWhereAnInterlacedPictureSitsOffTheExactCentre) {
    struct Case {
        const char* format;
        bool interlaced;
        const char* line;
        const char* showFrame;
        const char* told;  // the whole of standard error
    };
    const Case cases[] = {
        {"yuv420p", true, "Config(1,1,1,4,0)", nullptr,
         "velmo: the frames are interlaced: the picture moves 0 lines, not 1 line down, to keep each line in "
         "its field, and sits 1 line above the exact centre\n"},
        {"yuv422p", true, "Config(1,1,1,4,0)", nullptr,
         "velmo: the frames are interlaced: the picture moves 0 lines, not 1 line down, to keep each line in "
         "its field, and sits 1 line above the exact centre\n"},
        {"yuv420p", true, "Config(1,1,1,8,1)", nullptr,
         "velmo: the frames are interlaced: the picture moves 4 lines down, not 3 lines down, to keep each "
         "line "
         "in its field, and sits 1 line below the exact centre\n"},
        {"yuv420p", true, "Config(11,1,1,1,1)", nullptr,
         "velmo: the frames are interlaced: the picture moves 4 lines up, not 5 lines up, to keep each line "
         "in "
         "its field, and sits 1 line below the exact centre\n"},
        {"yuv420p", true, "Config(6,1,1,2,0)", nullptr,
         "velmo: the frames are interlaced: the picture moves 4 lines up, not 2 lines up, to keep each line "
         "in "
         "its field, and sits 2 lines above the exact centre\n"},
        {"yuv420p", true, "Config(9,2,2,1,0)", nullptr, ""},  // 4 lines up: nothing to round
        {"yuv422p", true, "Config(1,1,1,5,0)", nullptr, ""},  // 2 lines down
        {"yuv420p", false, "Config(1,1,1,4,0)", nullptr, ""},
        {"yuv420p", true, "Config(1,1,1,4,0)", "--show-frame", ""},  // the outline moves nothing
    };
    for (const Case& c : cases) {
        const FormatCase f{c.format, Kind::Yuv, 8, 1, std::string_view(c.format) == "yuv420p" ? 1 : 0,
                           "",       false};
        writeBytes(path("three.raw"), Bytes(3 * frameBytes(referenceFormat(f, 16, 16, c.interlaced)), 0x40));
        std::vector<std::string> arguments{VELMO_BINARY, "stream", "--size",   "16x16",
                                           "--pix-fmt",  c.format, "--config", c.line};
        if (c.interlaced) arguments.push_back("--interlaced");
        if (c.showFrame) arguments.push_back(c.showFrame);
        const std::string what = std::string(c.format) + (c.interlaced ? " interlaced " : " ") + c.line;
        EXPECT_EQ(exitStatus(waitFor(
                      startProgram(arguments, path("three.raw"), path("out.raw"), path("errors.txt")))),
                  0)
            << what;
        EXPECT_EQ(readText(path("errors.txt")), c.told) << what;
        EXPECT_EQ(readBytes(path("out.raw")).size(), readBytes(path("three.raw")).size()) << what;
    }
}

// What velmo stream refuses, each in one line on standard error with a nonzero status, having
// written nothing but the whole frames before a short one.
TEST_F(StreamCommand, RefusesWhatItCannotTakeInOneLine) {
    struct Case {
        std::vector<std::string> options;
        std::size_t inputBytes;  // 16 x 12 yuv420p10le frames are 384 + 96 + 96 = 576 bytes
        int status;
        std::vector<const char*> mentions;
        std::size_t outputBytes;
    };
    const Case cases[] = {
        {{"--pix-fmt", "yuv9000p"}, 576, 2, {"unknown pixel format \"yuv9000p\"", "ffmpeg -pix_fmts"}, 0},
        {{"--pix-fmt", "yuyv422"}, 576, 2, {"yuyv422", "-pix_fmt yuv422p"}, 0},
        {{"--pix-fmt", "uyvy422"}, 576, 2, {"uyvy422", "-pix_fmt yuv422p"}, 0},
        {{"--pix-fmt", "yuv422p10be"}, 576, 2, {"yuv422p10be", "big-endian", "-pix_fmt yuv422p10le"}, 0},
        {{"--pix-fmt", "pal8"}, 576, 2, {"pal8", "palette"}, 0},
        {{"--pix-fmt", "yuv420p10le", "--range", "studio"},
         576,
         2,
         {"--range takes limited or full, not \"studio\""},
         0},
        {{"--pix-fmt", "yuv420p10le", "--matrix", "bt2021"},
         576,
         2,
         {"--matrix takes bt601, bt709 or bt2020"},
         0},
        {{"--pix-fmt", "gbrp", "--range", "limited"},
         576,
         2,
         {"--range is for YUV and gray frames", "gbrp"},
         0},
        {{"--range", "full"}, 576, 2, {"--range is for YUV and gray frames", "32-bit"}, 0},
        {{"--pix-fmt", "yuv420p10le"},
         2 * 576 - 1,
         1,
         {"the last frame is short: 575 of 576 bytes (frame 2"},
         576},
        {{"--pix-fmt", "yuv420p10le", "--interlaced"},
         100,
         1,
         {"the last frame is short: 100 of 576 bytes (frame 1"},
         0},
        {{"--pix-fmt", "yuv420p10le"}, 0, 1, {"no frames: standard input ended before the first one"}, 0},
        {{"--pix-fmt", "yuv411p", "--interlaced"}, 0, 1, {"no frames"}, 0},
    };
    for (const Case& c : cases) {
        Bytes input(c.inputBytes);
        for (std::size_t k = 0; k < input.size(); ++k)
            input[k] = static_cast<unsigned char>(k * 7);
        writeBytes(path("in.raw"), input);
        std::vector<std::string> arguments{VELMO_BINARY, "stream",   "--size",
                                           "16x12",      "--config", "Config(3,5,7,9,1)"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        std::string what;
        for (const std::string& option : c.options)
            what += option + " ";
        EXPECT_EQ(
            exitStatus(waitFor(startProgram(arguments, path("in.raw"), path("out.raw"), path("errors.txt")))),
            c.status)
            << what;
        const std::string errors = readText(path("errors.txt"));
        EXPECT_EQ(errors.rfind("velmo: ", 0), 0u) << what << errors;
        EXPECT_EQ(errors.find('\n'), errors.size() - 1) << what << "one line: " << errors;
        for (const char* mention : c.mentions)
            EXPECT_NE(errors.find(mention), std::string::npos)
                << what << "should mention " << mention << ": " << errors;
        EXPECT_EQ(readBytes(path("out.raw")).size(), c.outputBytes) << what;
    }
}
