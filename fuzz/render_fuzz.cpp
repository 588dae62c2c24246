// Feeds arbitrary frame shapes, row gaps, margins and flags to the frame transform and holds it to
// the per-pixel reference: same pixels, nothing written outside the picture, the source untouched.

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/render_zone_frame.h"
#include "tests/support/guarded_frame.h"
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input input(data, size);
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
    return 0;
}
