#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <random>
#include <sstream>

#include "core/planar_frame.h"
#include "core/render_zone_frame.h"
#include "core/script_line.h"
#include "tests/support/guarded_frame.h"
#include "tests/support/reference_planes.h"
#include "tests/support/reference_render.h"

namespace {

// The chroma subsamplings of planar formats, as log2 of width and height: 4:4:4, 4:2:2, 4:2:0, 4:1:1,
// 4:4:0 and 4:1:0.
struct Subsampling {
    const char* name;
    int log2Width, log2Height;
};
constexpr Subsampling kSubsamplings[] = {{"444", 0, 0}, {"422", 1, 0}, {"420", 1, 1},
                                         {"411", 2, 0}, {"440", 0, 1}, {"410", 2, 2}};

std::int32_t planeLength(std::int32_t full, int log2) {
    return (full + (1 << log2) - 1) >> log2;
}

// A frame's planes in guarded buffers: each with its own row gap (any number of bytes) and row order.
struct GuardedPlanes {
    std::vector<std::unique_ptr<GuardedPlane>> planes;

    PlanarFrame frame() const {
        PlanarFrame frame{};
        for (std::size_t p = 0; p < planes.size(); ++p)
            frame.planes[p] = planes[p]->rows();
        return frame;
    }
    bool operator==(const GuardedPlanes& other) const {
        for (std::size_t p = 0; p < planes.size(); ++p)
            if (!(*planes[p] == *other.planes[p])) return false;
        return true;
    }
};

// Formats, zones and buffers as faces and settings lines produce them, with the hostile ones mixed in.
class RandomCase {
public:
    explicit RandomCase(std::uint32_t seed) : random_(seed) {}

    std::uint32_t pick(std::uint32_t count) { return random_() % count; }

    std::int32_t size() {
        switch (pick(10)) {
            case 0:
                return 1 + static_cast<std::int32_t>(pick(3));
            default:
                return 1 + static_cast<std::int32_t>(pick(40));
        }
    }

    std::int32_t margin() {
        static constexpr std::int32_t kHostile[] = {INT_MIN,     INT_MAX,     1 << 30,       -(1 << 30),
                                                    INT_MIN + 1, INT_MAX - 1, (1 << 30) - 1, 1 - (1 << 30)};
        if (pick(12) == 0) return kHostile[pick(std::size(kHostile))];
        return static_cast<std::int32_t>(pick(30)) - 3;
    }

    Zone zone() { return Zone{margin(), margin(), margin(), margin(), pick(2) == 0}; }

    PlanarFormat format(bool interlaced) {
        PlanarFormat format{};
        format.width = size();
        format.height = size();
        format.planeCount = 1 + static_cast<int>(pick(4));
        format.interlaced = interlaced;
        static constexpr int kSizes[] = {1, 2, 4};
        const int sampleSize = kSizes[pick(3)];
        const Subsampling& s = kSubsamplings[pick(std::size(kSubsamplings))];
        for (int p = 0; p < format.planeCount; ++p) {
            // Chroma are planes 1 and 2; gray, luma, RGB and alpha planes are full size.
            const bool chroma = p == 1 || p == 2;
            format.planes[p] = PlaneLayout{sampleSize, chroma ? s.log2Width : 0, chroma ? s.log2Height : 0};
            format.colours[p] = ZoneColours{sample(sampleSize), sample(sampleSize)};
        }
        return format;
    }

    std::uint32_t sample(int sampleSize) {
        const std::uint32_t value = random_();
        return sampleSize == 4 ? value : value & ((1u << (8 * sampleSize)) - 1);
    }

    // Rows one after another or a few bytes apart (odd numbers too), stored bottom-up or top-down.
    std::int64_t stride(std::int32_t w, int sampleSize) {
        const std::int64_t gap = pick(3) == 0 ? 0 : pick(14);
        const std::int64_t stride = std::int64_t{w} * sampleSize + gap;
        return pick(3) == 0 ? -stride : stride;
    }

    GuardedPlanes planes(const PlanarFormat& format) {
        GuardedPlanes planes;
        for (int p = 0; p < format.planeCount; ++p) {
            const PlaneLayout& layout = format.planes[p];
            const std::int32_t w = planeLength(format.width, layout.log2Width);
            const std::int32_t h = planeLength(format.height, layout.log2Height);
            planes.planes.push_back(
                std::make_unique<GuardedPlane>(w, h, layout.sampleSize, stride(w, layout.sampleSize)));
        }
        return planes;
    }

    // The same buffers' shapes again (the destination and the expected frame).
    static GuardedPlanes likeOf(const GuardedPlanes& planes) {
        GuardedPlanes copy;
        for (const auto& plane : planes.planes)
            copy.planes.push_back(std::make_unique<GuardedPlane>(*plane));
        return copy;
    }

private:
    std::mt19937 random_;
};

std::string describe(const Zone& zone, ZoneView view, const PlanarFormat& format) {
    std::ostringstream out;
    out << format.width << " x " << format.height << ", " << format.planeCount << " planes of "
        << format.planes[0].sampleSize << "-byte samples";
    if (format.planeCount > 1)
        out << ", chroma 2^" << format.planes[1].log2Width << " x 2^" << format.planes[1].log2Height;
    out << (format.interlaced ? ", interlaced" : "") << ", " << configLine(zone)
        << (view == ZoneView::Outline ? " outline" : " shift");
    return out.str();
}

TEST(PlanarDifferential, MatchesThePerSampleReferenceOnRandomFormatsZonesAndBuffers) {
    RandomCase random(20261209);
    constexpr int kCases = 10000;
    for (int n = 0; n < kCases; ++n) {
        const PlanarFormat format = random.format(random.pick(3) == 0);
        const Zone zone = random.zone();
        const ZoneView view = random.pick(3) == 0 ? ZoneView::Outline : ZoneView::Shift;
        GuardedPlanes source = random.planes(format);
        for (std::size_t p = 0; p < source.planes.size(); ++p)
            for (std::int32_t i = 0; i < source.planes[p]->h(); ++i)
                for (std::int32_t j = 0; j < source.planes[p]->w(); ++j)
                    source.planes[p]->set(i, j, random.sample(format.planes[p].sampleSize));
        GuardedPlanes actual = RandomCase::likeOf(source), expected = RandomCase::likeOf(source);
        const GuardedPlanes untouchedSource = RandomCase::likeOf(source);

        const std::optional<VerticalShift> shift =
            renderZonePlanes(zone, view, format, source.frame(), actual.frame());
        const std::int64_t used =
            reference::renderZonePlanes(zone, view, format, source.frame(), expected.frame());

        ASSERT_TRUE(shift.has_value()) << "case " << n;
        EXPECT_EQ(shift->used, used) << "case " << n << ": " << describe(zone, view, format);
        if (!format.interlaced) {
            EXPECT_EQ(shift->exact, shift->used) << "case " << n;
        }
        for (std::size_t p = 0; p < actual.planes.size(); ++p) {
            const std::int64_t difference = actual.planes[p]->firstDifference(*expected.planes[p]);
            ASSERT_EQ(difference, -1)
                << "case " << n << ": " << describe(zone, view, format) << ": plane " << p
                << " first differs at " << expected.planes[p]->describe(difference);
        }
        ASSERT_TRUE(source == untouchedSource) << "case " << n << ": the source was written";
    }
}

// Luma, each RGB plane and gray move exactly as the 32-bit transform moves pixels: a full-size
// plane of 4-byte samples against the 32-bit frame's own reference.
TEST(PlanarDifferential, FullSizePlanesMoveAsThirtyTwoBitFramesDo) {
    RandomCase random(77);
    for (int n = 0; n < 1500; ++n) {
        PlanarFormat format{};
        format.width = random.size();
        format.height = random.size();
        format.planeCount = 1;
        format.planes[0] = PlaneLayout{4, 0, 0};
        format.colours[0] = kZoneColours;
        const Zone zone = random.zone();
        const ZoneView view = random.pick(3) == 0 ? ZoneView::Outline : ZoneView::Shift;

        GuardedPlane source(format.width, format.height, 4, std::int64_t{format.width} * 4);
        GuardedPlane plane = source;
        GuardedFrame frameSource(format.width, format.height, 0), expected(format.width, format.height, 0);
        for (std::int32_t i = 0; i < format.height; ++i)
            for (std::int32_t j = 0; j < format.width; ++j) {
                const std::uint32_t pixel = random.sample(4);
                source.set(i, j, pixel);
                frameSource.at(i, j) = pixel;
            }
        ZoneSettings settings{};
        storeZone(settings, zone);
        settings.showFrame = view == ZoneView::Outline ? 1 : 0;
        referenceRenderZoneFrame(settings, frameSource.bitmap(), expected.bitmap());
        PlanarFrame in{}, out{};
        in.planes[0] = source.rows();
        out.planes[0] = plane.rows();
        renderZonePlanes(zone, view, format, in, out);
        for (std::int32_t i = 0; i < format.height; ++i)
            for (std::int32_t j = 0; j < format.width; ++j)
                ASSERT_EQ(plane.get(i, j), expected.at(i, j))
                    << "case " << n << ": " << describe(zone, view, format) << " at row " << i << ", column "
                    << j;
    }
}

// An interlaced frame whose two fields carry different pictures: every row of every plane comes out
// with samples of its own field only, or painted, whatever the zone.
TEST(InterlacedFrames, KeepEachFieldsLinesInThatField) {
    RandomCase random(4242);
    for (int n = 0; n < 3000; ++n) {
        PlanarFormat format = random.format(true);
        const Zone zone = random.zone();
        const ZoneView view = random.pick(4) == 0 ? ZoneView::Outline : ZoneView::Shift;
        // Field 0 (the top line's) holds samples 0x10..0x6F, field 1 0x90..0xEF; black and red are
        // neither.
        for (int p = 0; p < format.planeCount; ++p)
            format.colours[p] = ZoneColours{0x00, 0xFF};
        GuardedPlanes source = random.planes(format);
        for (auto& plane : source.planes)
            for (std::int32_t i = 0; i < plane->h(); ++i)
                for (std::int32_t j = 0; j < plane->w(); ++j) {
                    const bool field = (plane->h() - 1 - i) % 2 != 0;
                    plane->set(i, j, (field ? 0x90 : 0x10) + random.pick(0x60));
                }
        GuardedPlanes output = RandomCase::likeOf(source);
        renderZonePlanes(zone, view, format, source.frame(), output.frame());
        for (std::size_t p = 0; p < output.planes.size(); ++p) {
            const GuardedPlane& plane = *output.planes[p];
            for (std::int32_t i = 0; i < plane.h(); ++i)
                for (std::int32_t j = 0; j < plane.w(); ++j) {
                    const std::uint32_t value = plane.get(i, j) & 0xFF;
                    if (value == 0x00 || value == 0xFF) continue;
                    const bool field = (plane.h() - 1 - i) % 2 != 0;
                    ASSERT_EQ(value >= 0x90, field)
                        << "case " << n << ": " << describe(zone, view, format) << ": plane " << p << " row "
                        << i << " column " << j << " holds a sample of the other field";
                }
        }
    }
}

}  // namespace
