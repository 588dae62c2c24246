#include "core/format_colours.h"

#include <algorithm>

namespace {

using Wide = std::int64_t;

// Luma weights of red and blue, in ten-thousandths: exact as the standards give them.
constexpr Wide kWeightScale = 10000;
struct LumaWeights {
    Wide red;
    Wide blue;
};
LumaWeights weightsOf(ColourMatrix matrix) {
    switch (matrix) {
        case ColourMatrix::Bt709:
            return {2126, 722};
        case ColourMatrix::Bt2020:
            return {2627, 593};
        case ColourMatrix::Bt601:
            break;
    }
    return {2990, 1140};
}

// numerator / denominator to the nearest integer, halves up; both positive.
Wide roundedQuotient(Wide numerator, Wide denominator) {
    return (2 * numerator + denominator) / (2 * denominator);
}

// A colour's Y', Cb and Cr samples.
struct Yuv {
    std::uint32_t y, cb, cr;
};

Yuv yuvBlack(int bits, ColourRange range) {
    const Wide scale = Wide{1} << (bits - 8), middle = Wide{1} << (bits - 1);
    if (range == ColourRange::Limited)
        return {static_cast<std::uint32_t>(16 * scale), static_cast<std::uint32_t>(128 * scale),
                static_cast<std::uint32_t>(128 * scale)};
    return {0, static_cast<std::uint32_t>(middle), static_cast<std::uint32_t>(middle)};
}

// Red, R' = 1 and G' = B' = 0: Y' = Kr, Pb = -Kr / (2 (1 - Kb)), Pr = 1/2.
Yuv yuvRed(int bits, ColourRange range, ColourMatrix matrix) {
    const LumaWeights k = weightsOf(matrix);
    const Wide scale = Wide{1} << (bits - 8), top = (Wide{1} << bits) - 1, middle = Wide{1} << (bits - 1);
    // Pb's denominator, over kWeightScale: 2 (1 - Kb).
    const Wide pbDenominator = 2 * (kWeightScale - k.blue);
    Wide y, cb, cr;
    if (range == ColourRange::Limited) {
        // Y = (16 + 219 Y') scale, C = (128 + 224 P) scale.
        y = roundedQuotient((16 * kWeightScale + 219 * k.red) * scale, kWeightScale);
        cb = roundedQuotient((128 * pbDenominator - 224 * k.red) * scale, pbDenominator);
        cr = (128 + 112) * scale;
    } else {
        // Y = (2^bits - 1) Y', C = 2^(bits - 1) + (2^bits - 1) P.
        y = roundedQuotient(top * k.red, kWeightScale);
        cb = roundedQuotient(middle * pbDenominator - top * k.red, pbDenominator);
        cr = roundedQuotient(2 * middle + top, 2);
    }
    const auto held = [top](Wide value) {
        return static_cast<std::uint32_t>(std::clamp<Wide>(value, 0, top));
    };
    return {held(y), held(cb), held(cr)};
}

}  // namespace

std::optional<PlaneColours> planeColours(const ColourFormat& format) {
    if (format.bits < 8 || format.bits > 16) return std::nullopt;
    const int bits = format.bits;
    const std::uint32_t top = (std::uint32_t{1} << bits) - 1;
    PlaneColours colours{};
    const auto add = [&colours](std::uint32_t black, std::uint32_t red) {
        colours.planes[colours.planeCount++] = ZoneColours{black, red};
    };
    switch (format.model) {
        case ColourModel::Yuv: {
            const Yuv black = yuvBlack(bits, format.range), red = yuvRed(bits, format.range, format.matrix);
            add(black.y, red.y);
            add(black.cb, red.cb);
            add(black.cr, red.cr);
            break;
        }
        case ColourModel::Gray:
            add(yuvBlack(bits, format.range).y, yuvRed(bits, format.range, format.matrix).y);
            break;
        case ColourModel::Rgb: {
            const std::uint32_t scale = std::uint32_t{1} << (bits - 8);
            const bool limited = format.range == ColourRange::Limited;
            const std::uint32_t low = limited ? 16 * scale : 0, high = limited ? 235 * scale : top;
            add(low, low);   // G
            add(low, low);   // B
            add(low, high);  // R
            break;
        }
    }
    if (format.alpha) add(top, top);
    return colours;
}

ColourMatrix untaggedMatrix(std::int32_t height) {
    return height < 720 ? ColourMatrix::Bt601 : ColourMatrix::Bt709;
}
