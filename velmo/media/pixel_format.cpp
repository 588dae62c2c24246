#include "velmo/media/pixel_format.h"

#include <array>
#include <optional>

namespace {

std::string refusal(AVPixelFormat format, const std::string& cause) {
    return "cannot move the samples of pixel format " + pixelFormatName(format) + " as they are: " + cause;
}

ColourModel modelOf(const AVPixFmtDescriptor& descriptor) {
    if (descriptor.flags & AV_PIX_FMT_FLAG_RGB) return ColourModel::Rgb;
    // Gray, with or without alpha: luma alone.
    if (descriptor.nb_components <= 2) return ColourModel::Gray;
    return ColourModel::Yuv;
}

bool isJpegRange(AVPixelFormat format) {
    switch (format) {
        case AV_PIX_FMT_YUVJ411P:
        case AV_PIX_FMT_YUVJ420P:
        case AV_PIX_FMT_YUVJ422P:
        case AV_PIX_FMT_YUVJ440P:
        case AV_PIX_FMT_YUVJ444P:
            return true;
        default:
            return false;
    }
}

ColourRange rangeOf(AVPixelFormat format, ColourModel model, AVColorRange tagged) {
    if (model == ColourModel::Rgb || isJpegRange(format)) return ColourRange::Full;
    if (tagged == AVCOL_RANGE_JPEG) return ColourRange::Full;
    if (tagged == AVCOL_RANGE_MPEG) return ColourRange::Limited;
    return model == ColourModel::Gray ? ColourRange::Full : ColourRange::Limited;
}

ColourMatrix matrixOf(AVColorSpace tagged, std::int32_t height) {
    switch (tagged) {
        case AVCOL_SPC_BT709:
        case AVCOL_SPC_SMPTE240M:  // within a few thousandths of BT.709's weights
            return ColourMatrix::Bt709;
        case AVCOL_SPC_BT2020_NCL:
        case AVCOL_SPC_BT2020_CL:
            return ColourMatrix::Bt2020;
        case AVCOL_SPC_BT470BG:
        case AVCOL_SPC_SMPTE170M:
        case AVCOL_SPC_FCC:
            return ColourMatrix::Bt601;
        default:
            return untaggedMatrix(height);
    }
}

// The index, in planeColours' order (Y, U, V, A; G, B, R, A; Y, A), of each of the descriptor's
// components, which FFmpeg lists as Y, U, V, A; R, G, B, A; Y, A.
int colourIndexOf(ColourModel model, int component) {
    if (model != ColourModel::Rgb) return component;
    constexpr int kRgbToGbr[] = {2, 0, 1, 3};
    return kRgbToGbr[component];
}

// Whether a component of the descriptor is chroma, which its plane's subsampling applies to.
bool isChroma(ColourModel model, int component) {
    return model == ColourModel::Yuv && (component == 1 || component == 2);
}

}  // namespace

std::string pixelFormatName(AVPixelFormat format) {
    const char* name = av_get_pix_fmt_name(format);
    return name != nullptr ? name : "unknown";
}

bool planarFormatOf(AVPixelFormat format, const FrameFacts& facts, PlanarFormat& planar, std::string& why) {
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    if (descriptor == nullptr) return why = refusal(format, "FFmpeg does not describe it"), false;
    constexpr std::uint64_t kRefusedKinds = AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BITSTREAM |
                                            AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_FLOAT |
                                            AV_PIX_FMT_FLAG_BAYER;
    if (descriptor->flags & kRefusedKinds)
        return why = refusal(format, "hardware, bit-packed, palette, floating-point or Bayer pixels"), false;
    const ColourModel model = modelOf(*descriptor);
    const int bits = descriptor->comp[0].depth;
    if (bits > 8 && (descriptor->flags & AV_PIX_FMT_FLAG_BE))
        return why = refusal(format, "its samples are big-endian"), false;

    PlanarFormat result{};
    result.width = facts.width;
    result.height = facts.height;
    result.interlaced = facts.interlaced;
    result.planeCount = av_pix_fmt_count_planes(format);
    if (result.planeCount < 1 || result.planeCount > kMaxPlanes)
        return why = refusal(format, "it has " + std::to_string(result.planeCount) + " planes"), false;

    const std::optional<PlaneColours> colours =
        planeColours({model, bits, rangeOf(format, model, facts.range), matrixOf(facts.matrix, facts.height),
                      (descriptor->flags & AV_PIX_FMT_FLAG_ALPHA) != 0});
    if (!colours || bits < 8)
        return why = refusal(format, "its samples have " + std::to_string(bits) + " bits"), false;

    std::array<int, kMaxPlanes> step{};  // bytes per sample of each plane; 0: no component seen yet
    std::array<bool, kMaxPlanes> chromaPlane{};
    std::array<std::uint32_t, kMaxPlanes> usedBytes{};
    for (int c = 0; c < descriptor->nb_components; ++c) {
        const AVComponentDescriptor& component = descriptor->comp[c];
        if (component.depth != bits) return why = refusal(format, "its components differ in depth"), false;
        const int plane = component.plane;
        if (step[plane] != 0 && step[plane] != component.step)
            return why = refusal(format, "a plane mixes samples of different sizes"), false;
        step[plane] = component.step;
        PlaneLayout& layout = result.planes[plane];
        const bool chroma = isChroma(model, c);
        if (usedBytes[plane] != 0 && chromaPlane[plane] != chroma)
            return why = refusal(format, "a plane mixes luma and chroma"), false;
        chromaPlane[plane] = chroma;
        layout.sampleSize = component.step;
        layout.log2Width = chroma ? descriptor->log2_chroma_w : 0;
        layout.log2Height = chroma ? descriptor->log2_chroma_h : 0;
        const int bytes = (component.shift + component.depth + 7) / 8;
        if (component.step != 1 && component.step != 2 && component.step != 4)
            return why = refusal(format, "its samples are " + std::to_string(component.step) + " bytes"),
                   false;
        if (component.offset + bytes > component.step)
            return why = refusal(format, "a component spans two samples"), false;
        // The component's value, shifted into place, at its bytes of the little-endian sample.
        const ZoneColours value = colours->planes[colourIndexOf(model, c)];
        const int at = 8 * component.offset + component.shift;
        result.colours[plane].border |= value.border << at;
        result.colours[plane].outline |= value.outline << at;
        for (int b = 0; b < bytes; ++b)
            usedBytes[plane] |= 1u << (component.offset + b);
    }
    for (int plane = 0; plane < result.planeCount; ++plane) {
        if (step[plane] == 0) return why = refusal(format, "a plane holds no component"), false;
        for (int b = 0; b < step[plane]; ++b)
            if (!(usedBytes[plane] & (1u << b))) {
                result.colours[plane].border |= 0xFFu << (8 * b);
                result.colours[plane].outline |= 0xFFu << (8 * b);
            }
    }
    if (std::string problem = planarFormatProblem(result); !problem.empty())
        return why = refusal(format, problem), false;
    planar = result;
    return true;
}

bool movedFormatFor(AVPixelFormat source, AVPixelFormat& moved, std::string& why) {
    PlanarFormat ignored{};
    std::string refused;
    // The size and tags do not decide whether a format is taken; a frame's size is checked when
    // its frames come.
    if (planarFormatOf(source, FrameFacts{16, 16, false, AVCOL_RANGE_UNSPECIFIED, AVCOL_SPC_UNSPECIFIED},
                       ignored, refused)) {
        moved = source;
        return true;
    }
    struct Repacking {
        AVPixelFormat from, to;
    };
    // Each keeps every sample's value: planes unpacked, a padding byte added, bytes swapped.
    static constexpr Repacking kRepackings[] = {
        {AV_PIX_FMT_YUYV422, AV_PIX_FMT_YUV422P},    {AV_PIX_FMT_YVYU422, AV_PIX_FMT_YUV422P},
        {AV_PIX_FMT_UYVY422, AV_PIX_FMT_YUV422P},    {AV_PIX_FMT_RGB24, AV_PIX_FMT_RGB0},
        {AV_PIX_FMT_BGR24, AV_PIX_FMT_BGR0},         {AV_PIX_FMT_RGB48LE, AV_PIX_FMT_GBRP16LE},
        {AV_PIX_FMT_BGR48LE, AV_PIX_FMT_GBRP16LE},   {AV_PIX_FMT_RGBA64LE, AV_PIX_FMT_GBRAP16LE},
        {AV_PIX_FMT_BGRA64LE, AV_PIX_FMT_GBRAP16LE},
    };
    for (const Repacking& repacking : kRepackings)
        if (repacking.from == source) {
            moved = repacking.to;
            return true;
        }
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(source);
    if (descriptor != nullptr && (descriptor->flags & AV_PIX_FMT_FLAG_BE)) {
        const AVPixelFormat little = av_pix_fmt_swap_endianness(source);
        if (little != AV_PIX_FMT_NONE && movedFormatFor(little, moved, why)) return true;
    }
    why = refused;
    return false;
}
