// Feeds arbitrary frame shapes, row gaps, margins and flags to the 32-bit frame transform and holds
// it to the per-pixel reference: same pixels, nothing written outside the picture, the source
// untouched. The bytes after that case describe a frame of planes (formats, sample sizes,
// subsamplings, row gaps and orders, interlacing), held the same way to the per-sample reference.

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <memory>
#include <vector>

#include "core/planar_frame.h"
#include "core/render_zone_frame.h"
#include "tests/support/guarded_frame.h"
#include "tests/support/reference_planes.h"
#include "tests/support/reference_render.h"

namespace {

// Reads the input front to back; missing bytes read as zero.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t byte() { return offset_ < size_ ? data_[offset_++] : 0; }

    std::int32_t int32() {
        std::uint32_t value = 0;
        for (int k = 0; k < 4; ++k)
            value = (value << 8) | byte();
        return static_cast<std::int32_t>(value);
    }

    // Small values most of the time, so the interesting region of a frame gets hit often, and
    // any 32-bit value otherwise.
    std::int32_t margin() {
        const std::uint8_t kind = byte();
        if (kind < 224) return static_cast<std::int32_t>(kind % 48) - 4;
        return int32();
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t offset_ = 0;
};

void checkThirtyTwoBitFrame(Input& input) {
    const std::int32_t w = input.byte() % 72;
    const std::int32_t h = input.byte() % 72;
    const std::uint8_t gap = input.byte();
    // Gaps of 0 to 252 bytes in 4-byte steps, or a top-down buffer seen bottom-up.
    const std::ptrdiff_t modulo = gap == 255 ? -8 * std::ptrdiff_t{w} : std::ptrdiff_t{gap % 64} * 4;

    ZoneSettings settings{};
    const std::int32_t up = input.margin(), left = input.margin(), right = input.margin(),
                       down = input.margin();
    applyConfigCommand(settings, up, left, right, down, input.int32());
    settings.showFrame = input.byte() < 128 ? 0 : input.int32() | 1;

    GuardedFrame source(w, h, modulo), actual(w, h, modulo), expected(w, h, modulo);
    for (std::int32_t i = 0; i < h; ++i)
        for (std::int32_t j = 0; j < w; ++j)
            source.at(i, j) = static_cast<Pixel32>(i * 131 + j * 7 + 1);
    const GuardedFrame untouchedSource = source;

    renderZoneFrame(settings, source.bitmap(), actual.bitmap());
    referenceRenderZoneFrame(settings, source.bitmap(), expected.bitmap());
    if (!(actual == expected) || !(source == untouchedSource)) std::abort();
}

// Chroma subsamplings as log2 of width and height: 4:4:4, 4:2:2, 4:2:0, 4:1:1, 4:4:0, 4:1:0.
constexpr int kSubsamplings[][2] = {{0, 0}, {1, 0}, {1, 1}, {2, 0}, {0, 1}, {2, 2}};
constexpr int kSampleSizes[] = {1, 2, 4};

PlanarFormat planarFormat(Input& input) {
    PlanarFormat format{};
    format.width = input.byte() % 40;
    format.height = input.byte() % 40;
    const std::uint8_t shape = input.byte();
    format.planeCount = 1 + shape % 4;
    format.interlaced = (shape & 0x80) != 0;
    const int sampleSize = kSampleSizes[input.byte() % 3];
    const int* subsampling = kSubsamplings[input.byte() % 6];
    const std::uint32_t mask = sampleSize == 4 ? 0xFFFFFFFFu : (1u << (8 * sampleSize)) - 1;
    for (int p = 0; p < format.planeCount; ++p) {
        // Chroma are planes 1 and 2; gray, luma, RGB and alpha planes are full size.
        const bool chroma = p == 1 || p == 2;
        format.planes[p] = PlaneLayout{sampleSize, chroma ? subsampling[0] : 0, chroma ? subsampling[1] : 0};
        format.colours[p] = ZoneColours{0x5A5A5A5Au & mask, 0xC3C3C3C3u & mask};
    }
    return format;
}

// One guarded buffer per plane, each with its own gap of 0 to 15 bytes and row order.
std::vector<std::unique_ptr<GuardedPlane>> planeBuffers(Input& input, const PlanarFormat& format) {
    std::vector<std::unique_ptr<GuardedPlane>> planes;
    for (int p = 0; p < format.planeCount; ++p) {
        const std::uint8_t rows = input.byte();
        const std::int32_t w = planeWidth(format, p), h = planeHeight(format, p);
        const std::int64_t stride = std::int64_t{w} * format.planes[p].sampleSize + rows % 16;
        planes.push_back(std::make_unique<GuardedPlane>(w, h, format.planes[p].sampleSize,
                                                        (rows & 0x80) != 0 ? -stride : stride));
    }
    return planes;
}

void checkPlanarFrame(Input& input) {
    const PlanarFormat format = planarFormat(input);
    const std::int32_t up = input.margin(), left = input.margin(), right = input.margin(),
                       down = input.margin();
    const std::uint8_t flags = input.byte();
    const Zone zone{up, left, right, down, (flags & 1) != 0};
    const ZoneView view = (flags & 2) != 0 ? ZoneView::Outline : ZoneView::Shift;

    std::vector<std::unique_ptr<GuardedPlane>> source = planeBuffers(input, format);
    std::vector<GuardedPlane> actual, expected, untouchedSource;
    PlanarFrame in{}, out{}, reference{};
    for (int p = 0; p < format.planeCount; ++p) {
        GuardedPlane& plane = *source[static_cast<std::size_t>(p)];
        for (std::int32_t i = 0; i < plane.h(); ++i)
            for (std::int32_t j = 0; j < plane.w(); ++j)
                plane.set(i, j, static_cast<std::uint32_t>(p * 1000003 + i * 131 + j * 7 + 1));
        actual.push_back(plane);
        expected.push_back(plane);
        untouchedSource.push_back(plane);
    }
    for (int p = 0; p < format.planeCount; ++p) {
        const std::size_t k = static_cast<std::size_t>(p);
        in.planes[p] = source[k]->rows();
        out.planes[p] = actual[k].rows();
        reference.planes[p] = expected[k].rows();
    }
    const std::optional<VerticalShift> shift = renderZonePlanes(zone, view, format, in, out);
    const std::int64_t used = reference::renderZonePlanes(zone, view, format, in, reference);
    if (!shift || shift->used != used || (!format.interlaced && shift->exact != used)) std::abort();
    for (std::size_t k = 0; k < actual.size(); ++k)
        if (!(actual[k] == expected[k]) || !(*source[k] == untouchedSource[k])) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input input(data, size);
    checkThirtyTwoBitFrame(input);
    checkPlanarFrame(input);
    return 0;
}
