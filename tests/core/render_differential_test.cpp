#include <gtest/gtest.h>

#include <climits>
#include <random>

#include "core/render_zone_frame.h"
#include "tests/support/guarded_frame.h"
#include "tests/support/reference_render.h"

namespace {

// Frame shapes and settings as hosts and script lines produce them, with the hostile ones mixed
// in: any 32-bit margin, any flag, the row gaps hosts use and a top-down buffer seen bottom-up.
class RandomCase {
public:
    explicit RandomCase(std::uint32_t seed) : random_(seed) {}

    std::int32_t size() {
        switch (pick(10)) {
            case 0:
                return 1;
            case 1:
                return pick(3);
            default:
                return pick(71);
        }
    }

    std::ptrdiff_t modulo(std::int32_t w) {
        static constexpr std::ptrdiff_t kGaps[] = {0, 0, 4, 8, 12, 16, 56, 60, 252};
        if (pick(8) == 0) return -8 * std::ptrdiff_t{w};
        return kGaps[pick(std::size(kGaps))];
    }

    std::int32_t margin() {
        static constexpr std::int32_t kHostile[] = {INT_MIN,     INT_MAX,     1 << 30,       -(1 << 30),
                                                    INT_MIN + 1, INT_MAX - 1, (1 << 30) - 1, 1 - (1 << 30)};
        if (pick(12) == 0) return kHostile[pick(std::size(kHostile))];
        return static_cast<std::int32_t>(pick(44)) - 3;
    }

    std::int32_t flag() {
        static constexpr std::int32_t kFlags[] = {0, 0, 1, 2, -1, INT_MIN};
        return kFlags[pick(std::size(kFlags))];
    }

    Pixel32 pixel() { return static_cast<Pixel32>(random_()); }

private:
    std::uint32_t pick(std::size_t count) {
        return static_cast<std::uint32_t>(random_() % static_cast<std::uint32_t>(count));
    }
    std::mt19937 random_;
};

TEST(RenderDifferential, MatchesPerPixelReferenceOnRandomFramesAndSettings) {
    RandomCase random(20261208);
    constexpr int kCases = 6000;
    for (int n = 0; n < kCases; ++n) {
        const std::int32_t w = random.size(), h = random.size();
        const std::ptrdiff_t modulo = random.modulo(w);
        ZoneSettings settings{};
        applyConfigCommand(settings, random.margin(), random.margin(), random.margin(), random.margin(),
                           random.flag());
        settings.showFrame = random.flag();

        GuardedFrame source(w, h, modulo), actual(w, h, modulo), expected(w, h, modulo);
        for (int i = 0; i < h; ++i)
            for (int j = 0; j < w; ++j)
                source.at(i, j) = random.pixel();
        const GuardedFrame untouchedSource = source;

        renderZoneFrame(settings, source.bitmap(), actual.bitmap());
        referenceRenderZoneFrame(settings, source.bitmap(), expected.bitmap());

        const std::int64_t difference = actual.firstDifference(expected);
        ASSERT_EQ(difference, -1) << "case " << n << ": " << w << " x " << h << ", modulo " << modulo
                                  << ", Config(" << settings.up << "," << settings.left << ","
                                  << settings.right << "," << settings.down << "," << settings.addBorder
                                  << "), showFrame " << settings.showFrame << ": first wrong pixel at "
                                  << expected.describe(difference);
        ASSERT_TRUE(source == untouchedSource) << "case " << n << ": the source was written";
    }
}

}  // namespace
