#include "tools/capturegen/capture_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>

#include "velmo/image/picture.h"

namespace capture {

namespace {

constexpr float kPi = 3.14159265f;
// The truth's tolerances, on the 8-bit scale: more than this is damage.
constexpr float kLumaTolerance = 2.0f;
constexpr float kChromaTolerance = 12.0f;
// Limited-range black and neutral chroma: the picture's own black.
constexpr float kBlack = 16.0f;
constexpr float kNeutral = 128.0f;
// Head switching skews each line of its band by at least this many pixels.
constexpr float kLeastTear = 1.5f;

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream stream(text);
    std::string part;
    while (std::getline(stream, part, separator))
        if (!part.empty()) parts.push_back(part);
    return parts;
}

int sideNamed(const std::string& name) {
    const char* names[] = {"up", "left", "right", "down"};
    for (int side = 0; side < 4; ++side)
        if (name == names[side]) return side;
    return -1;
}

bool layerFits(const std::string& kind, int side) {
    if (kind == "bar" || kind == "black" || kind == "stripe" || kind == "ragged") return true;
    if (kind == "hs") return side == kDown;
    if (kind == "vbi") return side == kUp;
    if (kind == "half") return side == kUp || side == kDown;
    if (kind == "sync") return side == kLeft || side == kRight;
    return false;
}

// A cheap hash of a pixel's place and frame, for noise that both renders share.
std::uint32_t hash(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t salt) {
    std::uint32_t h = a * 0x9E3779B1u ^ (b + 0x7F4A7C15u) * 0x85EBCA77u ^ (c + salt) * 0xC2B2AE3Du;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

// Standard normal samples, looked up by hash.
const std::vector<float>& normalTable() {
    static const std::vector<float> table = [] {
        std::vector<float> values(1 << 16);
        std::mt19937 random(12345);
        std::normal_distribution<float> normal(0.0f, 1.0f);
        for (float& v : values)
            v = normal(random);
        return values;
    }();
    return table;
}

float normalAt(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t salt) {
    return normalTable()[hash(a, b, c, salt) & 0xFFFF];
}

float uniformAt(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t salt) {
    return static_cast<float>(hash(a, b, c, salt) >> 8) / 16777216.0f;
}

struct Colour {
    float y, cb, cr;
};

Colour mix(Colour a, Colour b, float t) {
    return Colour{a.y + (b.y - a.y) * t, a.cb + (b.cb - a.cb) * t, a.cr + (b.cr - a.cr) * t};
}

// BT.601 limited range from full-range RGB.
Colour fromRgb(float r, float g, float b) {
    return Colour{16.0f + 0.2568f * r + 0.5041f * g + 0.0979f * b,
                  128.0f - 0.1482f * r - 0.2910f * g + 0.4392f * b,
                  128.0f + 0.4392f * r - 0.3678f * g - 0.0714f * b};
}

Colour photoAt(const Photo& photo, float x, float y) {
    x = std::clamp(x, 0.0f, static_cast<float>(photo.w - 1));
    y = std::clamp(y, 0.0f, static_cast<float>(photo.h - 1));
    const int x0 = std::min(static_cast<int>(x), photo.w - 2),
              y0 = std::min(static_cast<int>(y), photo.h - 2);
    const float fx = x - static_cast<float>(x0), fy = y - static_cast<float>(y0);
    const std::size_t k = static_cast<std::size_t>(y0) * static_cast<std::size_t>(photo.w) + x0;
    const std::size_t w = static_cast<std::size_t>(photo.w);
    auto plane = [&](const std::vector<float>& p) {
        return (p[k] * (1 - fx) + p[k + 1] * fx) * (1 - fy) + (p[k + w] * (1 - fx) + p[k + w + 1] * fx) * fy;
    };
    return Colour{plane(photo.y), plane(photo.cb), plane(photo.cr)};
}

// A filter kernel along a line: taps from -radius to radius.
struct Kernel {
    int radius = 0;
    std::vector<float> taps{1.0f};
};

Kernel gaussian(float sigma, float delay) {
    Kernel kernel;
    if (sigma <= 0.05f && std::fabs(delay) < 0.01f) return kernel;
    kernel.radius = static_cast<int>(std::ceil(3.5f * std::max(sigma, 0.3f) + std::fabs(delay))) + 1;
    kernel.taps.assign(static_cast<std::size_t>(2 * kernel.radius + 1), 0.0f);
    float sum = 0;
    for (int i = -kernel.radius; i <= kernel.radius; ++i) {
        const float x = static_cast<float>(i) - delay;
        const float s = std::max(sigma, 0.3f);
        const float v = std::exp(-0.5f * x * x / (s * s));
        kernel.taps[static_cast<std::size_t>(i + kernel.radius)] = v;
        sum += v;
    }
    for (float& v : kernel.taps)
        v /= sum;
    return kernel;
}

// A windowed sinc: a band limit that rings at sharp edges, as analogue low-pass filters do.
Kernel ringing(float cutoff, int radius) {
    Kernel kernel;
    kernel.radius = radius;
    kernel.taps.assign(static_cast<std::size_t>(2 * radius + 1), 0.0f);
    float sum = 0;
    for (int i = -radius; i <= radius; ++i) {
        const float x = static_cast<float>(i);
        const float sinc = i == 0 ? 1.0f : std::sin(2 * kPi * cutoff * x) / (2 * kPi * cutoff * x);
        const float window = 0.5f + 0.5f * std::cos(kPi * x / (static_cast<float>(radius) + 1));
        kernel.taps[static_cast<std::size_t>(i + radius)] = sinc * window;
        sum += sinc * window;
    }
    for (float& v : kernel.taps)
        v /= sum;
    return kernel;
}

void filterLine(const Kernel& kernel, const float* in, float* out, int n) {
    if (kernel.radius == 0) {
        std::copy(in, in + n, out);
        return;
    }
    for (int x = 0; x < n; ++x) {
        float sum = 0;
        for (int i = -kernel.radius; i <= kernel.radius; ++i)
            sum += kernel.taps[static_cast<std::size_t>(i + kernel.radius)] * in[std::clamp(x - i, 0, n - 1)];
        out[x] = sum;
    }
}

struct Scene {
    int photo = 0, sprite = 0, first = 0;
    float x0 = 0, y0 = 0, x1 = 0, y1 = 0, zoom0 = 0.7f, zoom1 = 0.7f;
    float sx0 = 0, sy0 = 0, sx1 = 0, sy1 = 0, spriteSize = 0.2f;
    bool black = false;
};

}  // namespace

bool parseRecipe(const std::string& text, Recipe& recipe, std::string& error) {
    for (const std::string& item : split(text, ';')) {
        const std::size_t equals = item.find('=');
        const std::size_t colon = item.find(':');
        const std::string key = item.substr(0, std::min(equals, colon));
        const std::string value = equals != std::string::npos  ? item.substr(equals + 1)
                                  : colon != std::string::npos ? item.substr(colon + 1)
                                                               : "";
        const auto amount = [&](float& out) {
            char* end = nullptr;
            out = std::strtof(value.c_str(), &end);
            if (value.empty() || *end != 0 || out < 0 || out > 64)
                return error = "bad amount in " + item, false;
            return true;
        };
        bool* flag = key == "interlaced"  ? &recipe.interlaced
                     : key == "chain"     ? &recipe.chain
                     : key == "ring"      ? &recipe.ring
                     : key == "crawl"     ? &recipe.crawl
                     : key == "dropouts"  ? &recipe.dropouts
                     : key == "flicker"   ? &recipe.flicker
                     : key == "dark"      ? &recipe.dark
                     : key == "sky"       ? &recipe.sky
                     : key == "letterbox" ? &recipe.letterbox
                     : key == "pillarbox" ? &recipe.pillarbox
                     : key == "subtitles" ? &recipe.subtitles
                     : key == "fade"      ? &recipe.fade
                     : key == "overlay"   ? &recipe.overlay
                     : key == "cuts"      ? &recipe.cuts
                     : key == "still"     ? &recipe.still
                                          : nullptr;
        if (flag != nullptr && value.empty()) {
            *flag = true;
        } else if (key == "tbc") {
            if (!amount(recipe.tbc)) return false;
        } else if (key == "bounce") {
            if (!amount(recipe.bounce)) return false;
        } else if (key == "drift") {
            if (!amount(recipe.drift)) return false;
        } else if (key == "noise") {
            if (!amount(recipe.noise)) return false;
        } else if (key == "content") {
            if (value != "photo" && value != "waves" && value != "bars" && value != "smpte" &&
                value != "testcard")
                return error = "unknown content " + value, false;
            recipe.content = value;
        } else if (key == "darkside") {
            recipe.darkSide = sideNamed(value);
            if (recipe.darkSide < 0) return error = "bad side in " + item, false;
        } else if (const int side = sideNamed(key); side >= 0 && equals != std::string::npos) {
            for (const std::string& layer : split(value, ',')) {
                const std::size_t at = layer.find(':');
                if (at == std::string::npos) return error = "layer " + layer + " needs :WIDTH", false;
                const std::string kind = layer.substr(0, at);
                const std::string widths = layer.substr(at + 1);
                const std::size_t dash = widths.find('-');
                const int width = std::atoi(widths.c_str());
                const int widest = dash == std::string::npos ? width : std::atoi(widths.c_str() + dash + 1);
                if (width < 1 || widest < width || widest > 400)
                    return error = "layer " + layer + " needs a width (or range) of 1 to 400", false;
                if (!layerFits(kind, side)) return error = "no layer " + kind + " on side " + key, false;
                recipe.layers[static_cast<std::size_t>(side)].push_back(Layer{kind, width, widest});
            }
        } else {
            return error = "unknown recipe item " + item, false;
        }
    }
    return true;
}

const std::vector<std::string>& standardPhotoPaths() {
    static const std::vector<std::string> paths = [] {
        // Sorted by name; every one is in lomiri-wallpapers-16.04.
        const char* names[] = {
            "Bridge_by_Sander_Klootwijk.jpg",
            "Dragonfly_by_Bolly.jpg",
            "Picture_0B_by_freespace.jpg",
            "Picture_1A_by_freespace.jpg",
            "Wine_by_Jakkub_Mede.jpg",
            "aitzgorri_by_Aitzol_Berasategi.jpg",
            "analogpattern_by_Peter_Nerlich.jpg",
            "free_by_Peter_Nerlich.jpg",
            "friends_by_Aitzol_Berasategi.jpg",
            "greentock_by_Peter_Nerlich.jpg",
            "life_by_Aitzol_Berasategi.jpg",
            "picosdeeuropa_by_Aitzol_Berasategi.jpg",
            "seeding_by_Clements_Engelhardt.jpg",
            "sunset_by_Aitzol_Berasategi.jpg",
            "umang_by_Abhishek_Mudgal.jpg",
        };
        std::vector<std::string> list;
        for (const char* name : names)
            list.push_back(std::string("/usr/share/backgrounds/") + name);
        return list;
    }();
    return paths;
}

bool loadPhotos(const std::vector<std::string>& paths, int targetWidth, std::vector<Photo>& photos,
                std::string& error) {
    for (const std::string& path : paths) {
        Picture picture;
        if (!loadPicture(path, picture, error)) {
            error = "cannot use the photograph " + path + " (" + error +
                    "): install lomiri-wallpapers-16.04 (tools/install-deps.sh)";
            return false;
        }
        const int factor = std::max(1, picture.w / std::max(16, targetWidth));
        Photo photo;
        photo.w = picture.w / factor;
        photo.h = picture.h / factor;
        if (photo.w < 16 || photo.h < 16) return error = path + " is too small", false;
        const std::size_t n = static_cast<std::size_t>(photo.w) * static_cast<std::size_t>(photo.h);
        photo.y.resize(n), photo.cb.resize(n), photo.cr.resize(n);
        for (int y = 0; y < photo.h; ++y)
            for (int x = 0; x < photo.w; ++x) {
                float r = 0, g = 0, b = 0;
                for (int dy = 0; dy < factor; ++dy)
                    for (int dx = 0; dx < factor; ++dx) {
                        const Pixel32 p = picture.pixels[static_cast<std::size_t>(y * factor + dy) *
                                                             static_cast<std::size_t>(picture.w) +
                                                         static_cast<std::size_t>(x * factor + dx)];
                        r += static_cast<float>((p >> 16) & 255);
                        g += static_cast<float>((p >> 8) & 255);
                        b += static_cast<float>(p & 255);
                    }
                const float scale = 1.0f / static_cast<float>(factor * factor);
                const Colour c = fromRgb(r * scale, g * scale, b * scale);
                const std::size_t k = static_cast<std::size_t>(y) * static_cast<std::size_t>(photo.w) + x;
                photo.y[k] = c.y, photo.cb[k] = c.cb, photo.cr[k] = c.cr;
            }
        photos.push_back(std::move(photo));
    }
    return true;
}

struct CaptureModel::State {
    Recipe recipe;
    int w, h, frames;
    std::mt19937 random;
    std::vector<Photo> photos;
    unsigned salt;

    // Drawn once per clip.
    std::array<float, 4> barLevel{}, barDrift{}, driftPhase{};
    float barNoise = 2, cardLevel = 2, stripeLevel = 180, halfEnd = 0.5f, pictureNoise = 1.5f;
    int noiseKind = 0;  // 0 gaussian, 1 streaky along the line, 2 gaussian with impulses
    float tearStrength = 20, tearNoise = 8, tearPower = 1;
    int tearDirection = 1;
    std::array<int, 2> hsExtra{};  // per field: lines more or fewer than the recipe's
    float darkScale = 0.2f, tbcPeriod = 90, tbcPeriod2 = 23;
    bool tff = true, verticalChroma = false;
    Kernel luma, chroma;
    float crawlAmount = 0, cutoff = 0.3f;
    int letterboxBar = 0, pillarboxBar = 0;
    float fadeStart = 0, fadeLength = 0;
    int overlayCorner = 0;
    std::vector<Scene> scenes;
    std::vector<std::array<float, 6>> waves;  // fx, fy, phase, amplitude, speed, colour
    std::vector<int> bounces;                 // per frame
    std::vector<float> flickers;

    std::vector<std::uint8_t> damaged;  // ever damaged, per pixel

    float uniform(float low, float high) { return std::uniform_real_distribution<float>(low, high)(random); }
    int uniformInt(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); }

    int depth(int side) const {
        int sum = 0;  // the drawn widths
        for (const Layer& layer : recipe.layers[static_cast<std::size_t>(side)])
            sum += layer.width;
        return sum;
    }

    enum Content { kPhoto, kWaves, kBars, kSmpte, kTestcard };
    Content contentKind = kWaves;
    // Layers by kind, as numbers: the renderer asks for them at every pixel.
    enum Kind { kBar, kBlackLayer, kStripe, kRagged, kHs, kVbi, kHalf, kSync };
    std::array<std::vector<std::pair<Kind, int>>, 4> kinds;
    std::array<float, 4> fixedWidth{}, dynamicWidth{};

    void draw();
    void planScenes();
    Colour pictureAt(float u, float v, float t, int frame) const;
    Colour baseContent(float u, float v, float t, int frame) const;
    Colour signalAt(float u, int v, float t, int frame, int field, float tear,
                    const std::array<float, 2>& ends, bool& isDamage) const;
    float barEnd(int side, int v, int frame) const;
};

void CaptureModel::State::draw() {
    // Overscan: the card's black (0 to 9) or blanking lifted above the picture's black (24 to 48);
    // one kind for the clip, each side its own level.
    const bool lifted = uniform(0, 1) < 0.45f;
    for (std::size_t side = 0; side < 4; ++side) {
        barLevel[side] = lifted ? uniform(24, 48) : uniform(0, 9);
        barDrift[side] = uniform(0.3f, 1.0f) * recipe.drift;
        driftPhase[side] = uniform(0, 2 * kPi);
    }
    barNoise = uniform(0.5f, 5.0f);
    cardLevel = uniform(0, 4);
    stripeLevel = uniform(110, 235);
    halfEnd = uniform(0.3f, 0.7f);
    pictureNoise = recipe.noise >= 0 ? recipe.noise : uniform(0.4f, 3.0f);
    noiseKind = uniformInt(0, 2);
    tearStrength = uniform(8, 60);
    tearNoise = uniform(2, 15);
    tearPower = uniform(0.5f, 1.3f);
    tearDirection = uniform(0, 1) < 0.5f ? -1 : 1;
    hsExtra = {uniformInt(-1, 1), uniformInt(-1, 1)};
    darkScale = uniform(0.1f, 0.3f);
    tbcPeriod = uniform(30, 200);
    tbcPeriod2 = uniform(7, 30);
    tff = uniform(0, 1) < 0.6f;
    verticalChroma = recipe.chain && uniform(0, 1) < 0.5f;
    if (recipe.ring)
        luma = ringing(uniform(0.22f, 0.38f), uniformInt(5, 9));
    else if (recipe.chain)
        luma = gaussian(uniform(0.3f, 0.9f), 0);
    chroma = recipe.chain ? gaussian(uniform(0.8f, 3.0f), uniform(-1.5f, 3.0f)) : Kernel{};
    crawlAmount = recipe.crawl ? uniform(0.03f, 0.1f) : 0.0f;
    // Letterbox: 16:9, 1.85 or 2.35 pictures in the frame; pillarbox: 4:3 or 14:9 in 16:9.
    const float ratios[] = {16.0f / 9.0f, 1.85f, 2.35f};
    const float frameRatio = 4.0f / 3.0f;
    letterboxBar = static_cast<int>(static_cast<float>(h) * (1 - frameRatio / ratios[uniformInt(0, 2)]) / 2);
    const float pillars[] = {4.0f / 3.0f, 14.0f / 9.0f};
    pillarboxBar =
        static_cast<int>(static_cast<float>(w) * (1 - pillars[uniformInt(0, 1)] / (16.0f / 9.0f)) / 2);
    fadeStart = uniform(0.2f, 0.6f) * static_cast<float>(frames);
    fadeLength = uniform(0.15f, 0.35f) * static_cast<float>(frames);
    overlayCorner = uniformInt(0, 3);
    for (int k = 0; k < 6; ++k) {
        const float angle = uniform(0, 2 * kPi), wavelength = uniform(10, 160);
        waves.push_back({std::cos(angle) / wavelength * 2 * kPi, std::sin(angle) / wavelength * 2 * kPi,
                         uniform(0, 2 * kPi), uniform(15, 35), uniform(-0.6f, 0.6f), uniform(-1, 1)});
    }
    const int most = static_cast<int>(std::lround(recipe.bounce));
    for (int k = 0; k < frames; ++k) {
        bounces.push_back(most > 0 ? uniformInt(-most, most) : 0);
        flickers.push_back(recipe.flicker ? uniform(0.92f, 1.08f) : 1.0f);
    }
    planScenes();
}

void CaptureModel::State::planScenes() {
    int frame = 0;
    const int count = std::max<int>(1, static_cast<int>(photos.size()));
    while (frame < frames) {
        Scene scene;
        scene.photo = uniformInt(0, count - 1);
        scene.sprite = uniformInt(0, count - 1);
        scene.first = frame;
        scene.x0 = uniform(0, 1), scene.y0 = uniform(0, 1);
        scene.x1 = std::clamp(scene.x0 + uniform(-0.4f, 0.4f), 0.0f, 1.0f);
        scene.y1 = std::clamp(scene.y0 + uniform(-0.3f, 0.3f), 0.0f, 1.0f);
        scene.zoom0 = uniform(0.55f, 0.9f), scene.zoom1 = uniform(0.55f, 0.9f);
        scene.sx0 = uniform(-0.2f, 1.0f), scene.sy0 = uniform(-0.2f, 1.0f);
        scene.sx1 = uniform(-0.2f, 1.0f), scene.sy1 = uniform(-0.2f, 1.0f);
        scene.spriteSize = uniform(0.15f, 0.35f);
        if (recipe.still) {
            scene.x1 = scene.x0, scene.y1 = scene.y0, scene.zoom1 = scene.zoom0;
            scene.sx1 = scene.sx0, scene.sy1 = scene.sy0;
        }
        scenes.push_back(scene);
        frame += recipe.still  ? frames
                 : recipe.cuts ? uniformInt(4, 12)
                               : uniformInt(frames / 4 + 1, frames / 2 + 2);
        if (recipe.cuts && frame < frames) {
            Scene gap = scene;
            gap.black = true;
            gap.first = frame;
            scenes.push_back(gap);
            frame += 2;
        }
    }
}

// The clean picture's base content at (u, v) of the frame, at time t (in frames).
Colour CaptureModel::State::baseContent(float u, float v, float t, int frame) const {
    const float fw = static_cast<float>(w), fh = static_cast<float>(h);
    if (contentKind == kBars || contentKind == kSmpte) {
        // Eight bars of 100 % or 75 %: white, yellow, cyan, green, magenta, red, blue, black.
        static const float rgb[8][3] = {{1, 1, 1}, {1, 1, 0}, {0, 1, 1}, {0, 1, 0},
                                        {1, 0, 1}, {1, 0, 0}, {0, 0, 1}, {0, 0, 0}};
        const float level = (salt & 1) ? 255.0f : 191.0f;
        int bar = std::clamp(static_cast<int>(u / fw * 8), 0, 7);
        if (contentKind == kSmpte) {
            bar = std::clamp(static_cast<int>(u / fw * 7), 0, 6);
            if (v > fh * 0.67f && v < fh * 0.75f) bar = bar % 2 == 0 ? 7 - 1 - bar / 2 * 0 : 7;
            if (v >= fh * 0.75f) {
                const float part = u / fw;
                if (part < 0.18f) return fromRgb(0, 33, 76);
                if (part < 0.36f) return fromRgb(235, 235, 235);
                if (part < 0.54f) return fromRgb(50, 0, 106);
                if (part < 0.71f) return Colour{kBlack, kNeutral, kNeutral};
                if (part < 0.76f) return Colour{kBlack - 4, kNeutral, kNeutral};
                if (part < 0.81f) return Colour{kBlack, kNeutral, kNeutral};
                if (part < 0.86f) return Colour{kBlack + 4, kNeutral, kNeutral};
                return Colour{kBlack, kNeutral, kNeutral};
            }
        }
        return fromRgb(rgb[bar][0] * level, rgb[bar][1] * level, rgb[bar][2] * level);
    }
    if (contentKind == kTestcard) {
        // Flat coloured blocks over a grey ground, a grey ramp, a box that moves, as test sources are.
        const float gx = u / fw, gy = v / fh;
        if (gy > 0.82f && gy < 0.9f) return fromRgb(gx * 255, gx * 255, gx * 255);
        const float bx = 0.1f + 0.6f * std::fabs(std::sin(t * 0.05f));
        if (gx > bx && gx < bx + 0.12f && gy > 0.55f && gy < 0.7f) return fromRgb(240, 240, 240);
        if (gy > 0.1f && gy < 0.45f) {
            static const float rgb[6][3] = {{200, 40, 40},  {40, 200, 40},  {40, 40, 200},
                                            {200, 200, 40}, {40, 200, 200}, {200, 40, 200}};
            const int block = std::clamp(static_cast<int>(gx * 6), 0, 5);
            return fromRgb(rgb[block][0], rgb[block][1], rgb[block][2]);
        }
        const bool grid = std::fmod(u + 1000, fw / 16) < 2 || std::fmod(v + 1000, fh / 12) < 2;
        return grid ? fromRgb(230, 230, 230) : fromRgb(110, 110, 110);
    }
    if (contentKind == kWaves || photos.empty()) {
        const float pan = t * (recipe.still ? 0.0f : recipe.interlaced ? 9.0f : 3.0f);
        float level = 120, colour = 0;
        for (const auto& wave : waves) {
            const float s = std::sin(wave[0] * (u + pan) + wave[1] * v + wave[2] + wave[4] * t);
            level += wave[3] * s;
            colour += wave[5] * wave[3] * s * 0.6f;
        }
        level += 12.0f * std::sin(0.9f * (u + pan)) * std::sin(1.3f * v);
        return Colour{std::clamp(level, 16.0f, 235.0f), kNeutral + colour * 0.5f, kNeutral - colour * 0.4f};
    }
    std::size_t k = 0;
    while (k + 1 < scenes.size() && scenes[k + 1].first <= frame)
        ++k;
    const Scene& scene = scenes[k];
    if (scene.black) return Colour{kBlack, kNeutral, kNeutral};
    const float length =
        static_cast<float>((k + 1 < scenes.size() ? scenes[k + 1].first : frames) - scene.first);
    const float s = std::clamp((t - static_cast<float>(scene.first)) / std::max(1.0f, length), 0.0f, 1.0f);
    const Photo& photo = photos[static_cast<std::size_t>(scene.photo)];
    const float zoom = scene.zoom0 + (scene.zoom1 - scene.zoom0) * s;
    const float scale = std::min(static_cast<float>(photo.w) / fw, static_cast<float>(photo.h) / fh) * zoom;
    const float cx = (scene.x0 + (scene.x1 - scene.x0) * s) * (static_cast<float>(photo.w) - fw * scale);
    const float cy = (scene.y0 + (scene.y1 - scene.y0) * s) * (static_cast<float>(photo.h) - fh * scale);
    Colour c = photoAt(photo, cx + u * scale, cy + v * scale);
    const float sx = (scene.sx0 + (scene.sx1 - scene.sx0) * s) * fw;
    const float sy = (scene.sy0 + (scene.sy1 - scene.sy0) * s) * fh;
    const float size = scene.spriteSize * fh;
    if (u >= sx && u < sx + size && v >= sy && v < sy + size * 0.8f) {
        const Photo& sprite = photos[static_cast<std::size_t>(scene.sprite)];
        c = photoAt(sprite, (u - sx) * static_cast<float>(sprite.w) / size * 0.5f,
                    (v - sy) * static_cast<float>(sprite.h) / size * 0.5f);
    }
    return c;
}

// The clean picture: the base content with the clip's own darkness, sky, shapes, boxes and text.
Colour CaptureModel::State::pictureAt(float u, float v, float t, int frame) const {
    const float fw = static_cast<float>(w), fh = static_cast<float>(h);
    // Letterbox and pillarbox bars are the picture's own black; subtitles live in the lower one.
    if (recipe.letterbox &&
        (v < static_cast<float>(letterboxBar) || v >= fh - static_cast<float>(letterboxBar))) {
        if (recipe.subtitles && v >= fh - static_cast<float>(letterboxBar) * 0.75f &&
            v < fh - static_cast<float>(letterboxBar) * 0.35f && (frame / 9) % 3 != 2) {
            const float x = u - fw * 0.3f;
            if (x >= 0 && x < fw * 0.4f && std::fmod(x, 14.0f) < 9.0f &&
                uniformAt(static_cast<std::uint32_t>(x / 14), static_cast<std::uint32_t>(v / 3),
                          static_cast<std::uint32_t>(frame / 9), salt) < 0.7f)
                return Colour{220, kNeutral, kNeutral};
        }
        return Colour{kBlack, kNeutral, kNeutral};
    }
    if (recipe.pillarbox &&
        (u < static_cast<float>(pillarboxBar) || u >= fw - static_cast<float>(pillarboxBar)))
        return Colour{kBlack, kNeutral, kNeutral};
    Colour c = baseContent(u, v, t, frame);
    const float pan = recipe.still ? 0.0f : t * 1.5f;
    if (recipe.sky) {
        // A dark sky, nearly flat, with a few stars, above a hilly horizon.
        const float horizon =
            fh * (0.3f + 0.08f * std::sin((u + pan) * 0.013f) + 0.04f * std::sin(u * 0.051f + 1));
        if (v < horizon) {
            const float shade = 18.0f + 14.0f * std::max(0.0f, v) / fh;
            const std::uint32_t su = static_cast<std::uint32_t>(std::lround(u + pan + 4096));
            const std::uint32_t sv = static_cast<std::uint32_t>(std::lround(v + 4096));
            if (hash(su, sv, 0, salt) % 997 == 0) return Colour{200, 126, 130};
            c = Colour{shade, kNeutral + 3, kNeutral - 1};
        }
    }
    if (recipe.darkSide >= 0) {
        float along = 0, across = 0, length = 0;
        switch (recipe.darkSide) {
            case kUp:
                along = u, across = v, length = fw;
                break;
            case kDown:
                along = u, across = fh - 1 - v, length = fw;
                break;
            case kLeft:
                along = v, across = u, length = fh;
                break;
            default:
                along = v, across = fw - 1 - u, length = fh;
                break;
        }
        const float centre = length * (0.35f + 0.3f * std::sin(t * 0.03f));
        const float half = length * 0.3f;
        const float reach =
            length * 0.2f * std::sqrt(std::max(0.0f, 1 - std::pow((along - centre) / half, 2.0f)));
        if (across < reach) {
            const float fold =
                20.0f + 6.0f * std::sin(along * 0.09f + across * 0.05f) + 3.0f * std::sin(along * 0.31f);
            c = Colour{fold, kNeutral + 2, kNeutral + 1};
        }
    }
    if (recipe.overlay) {
        // A camcorder's date: bright blocks in a corner, the same in every frame.
        const float ox = (overlayCorner & 1) ? fw - fw * 0.28f : fw * 0.06f;
        const float oy = (overlayCorner & 2) ? fh - fh * 0.12f : fh * 0.05f;
        const float x = u - ox, y = v - oy;
        if (x >= 0 && x < fw * 0.22f && y >= 0 && y < fh * 0.05f && std::fmod(x, 12.0f) < 8.0f &&
            uniformAt(static_cast<std::uint32_t>(x / 4), static_cast<std::uint32_t>(y / 4), 7, salt) < 0.6f)
            return Colour{225, 110, 150};
    }
    if (recipe.dark)
        c = Colour{kBlack + (c.y - kBlack) * darkScale, kNeutral + (c.cb - kNeutral) * 0.5f,
                   kNeutral + (c.cr - kNeutral) * 0.5f};
    if (recipe.fade) {
        const float into = static_cast<float>(frame) - fadeStart;
        if (into > 0 && into < fadeLength) {
            const float gain = std::fabs(1 - 2 * into / fadeLength);
            c = Colour{kBlack + (c.y - kBlack) * gain, kNeutral + (c.cb - kNeutral) * gain,
                       kNeutral + (c.cr - kNeutral) * gain};
        }
    }
    return c;
}

// Where a side's bars end (exclusive, counted from that side, in signal pixels) on line v.
float CaptureModel::State::barEnd(int side, int v, int frame) const {
    float end = 0;
    const std::size_t k = static_cast<std::size_t>(side);
    for (const auto& [kind, width] : kinds[k]) {
        if (kind == kBar) {
            const float t = static_cast<float>(frame) / static_cast<float>(std::max(1, frames));
            end += static_cast<float>(width) +
                   barDrift[k] * (0.5f - 0.5f * std::cos(2 * kPi * t + driftPhase[k]));
        } else if (kind == kRagged) {
            // Each line's picture starts somewhere in the band: a wobble plus a jitter new every frame.
            const float wobble =
                0.5f + 0.3f * std::sin(static_cast<float>(v) * 0.05f + static_cast<float>(side));
            const float jitter =
                uniformAt(static_cast<std::uint32_t>(v + 4096), static_cast<std::uint32_t>(frame),
                          static_cast<std::uint32_t>(side), salt + 11);
            end += std::clamp(static_cast<float>(width) * (0.5f * wobble + 0.7f * jitter), 0.0f,
                              static_cast<float>(width));
        } else {
            end += static_cast<float>(width);
        }
    }
    return end;
}

// The signal at (u, v): the picture, or what the signal carries instead of it near its edges.
// `ends` are the left and right bars' ends on this line. Sets isDamage where it is not the picture.
Colour CaptureModel::State::signalAt(float u, int v, float t, int frame, int field, float tear,
                                     const std::array<float, 2>& ends, bool& isDamage) const {
    const float fw = static_cast<float>(w);
    isDamage = true;
    const float us = u - tear;
    for (const int side : {kLeft, kRight}) {
        const float d = side == kLeft ? us : fw - 1 - us;
        const float end = ends[side == kLeft ? 0 : 1];
        // A pixel wholly inside the bars is theirs; the one across their end is mixed by the caller.
        if (d > end - 0.5f) continue;
        const std::size_t k = static_cast<std::size_t>(side);
        float at = 0;
        for (const auto& [kind, layerWidth] : kinds[k]) {
            float width = static_cast<float>(layerWidth);
            // Bars and ragged bands share what the line's end leaves after the fixed layers.
            if (kind == kBar || kind == kRagged)
                width = width / std::max(1.0f, dynamicWidth[k]) * (end - fixedWidth[k]);
            if (d < at + width) {
                if (kind == kStripe) return Colour{stripeLevel, kNeutral, kNeutral};
                if (kind == kSync) {
                    // Sync tip at the very edge, then the porch, then the burst's tint.
                    const float part = (d - at) / width;
                    if (part < 0.3f) return Colour{cardLevel, kNeutral, kNeutral};
                    if (side == kLeft && part > 0.5f && part < 0.85f)
                        return Colour{barLevel[k] + 6 * std::sin(2.6f * d), kNeutral + 22, kNeutral - 18};
                    return Colour{barLevel[k] + 3, kNeutral, kNeutral};
                }
                if (kind == kBlackLayer) return Colour{-1, -1, -1};  // the picture; the card paints later
                return Colour{barLevel[k], kNeutral, kNeutral};
            }
            at += width;
        }
    }
    // Top and bottom layers, by line.
    for (const int side : {kUp, kDown}) {
        const int d = side == kUp ? v : h - 1 - v;
        const std::size_t k = static_cast<std::size_t>(side);
        int at = 0;
        for (const auto& [kind, layerWidth] : kinds[k]) {
            int width = layerWidth;
            if (kind == kHs) width = std::max(1, layerWidth + hsExtra[static_cast<std::size_t>(field)]);
            if (kind == kBar)
                width += static_cast<int>(std::lround(
                    barDrift[k] *
                    (0.5f - 0.5f * std::cos(2 * kPi * static_cast<float>(frame) / static_cast<float>(frames) +
                                            driftPhase[k]))));
            if (kind == kRagged)
                width = static_cast<int>(std::lround(
                    static_cast<float>(layerWidth) *
                    uniformAt(static_cast<std::uint32_t>(frame), static_cast<std::uint32_t>(side), 3, salt)));
            if (d < at + width) {
                if (kind == kStripe) return Colour{stripeLevel, kNeutral, kNeutral};
                if (kind == kBar || kind == kRagged) return Colour{barLevel[k], kNeutral, kNeutral};
                if (kind == kBlackLayer) return Colour{-1, -1, -1};
                if (kind == kVbi) {
                    // Teletext-like data on some lines, new in every frame.
                    if ((d % 3) == 1 && us > fw * 0.08f && us < fw * 0.95f) {
                        const std::uint32_t bit = static_cast<std::uint32_t>(us / 2.4f);
                        if (uniformAt(bit, static_cast<std::uint32_t>(d), static_cast<std::uint32_t>(frame),
                                      salt) < 0.5f)
                            return Colour{barLevel[k] + 150, kNeutral, kNeutral};
                    }
                    return Colour{barLevel[k], kNeutral, kNeutral};
                }
                if (kind == kHalf) {
                    const bool black = side == kUp ? us < fw * halfEnd : us >= fw * halfEnd;
                    if (black) return Colour{kBlack - 2, kNeutral, kNeutral};
                    break;  // the picture
                }
                break;  // head switching: the torn picture, made by the caller
            }
            at += width;
        }
    }
    isDamage = false;
    return pictureAt(us, static_cast<float>(v), t, frame);
}

CaptureModel::CaptureModel(const Recipe& recipe, int w, int h, int frames, unsigned seed,
                           std::vector<Photo> photos)
    : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.recipe = recipe;
    s.w = w, s.h = h, s.frames = std::max(1, frames);
    s.random.seed(seed);
    s.photos = std::move(photos);
    s.salt = seed * 2654435761u + 17;
    s.damaged.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0);
    const std::string content =
        recipe.content.empty() ? (s.photos.empty() ? "waves" : "photo") : recipe.content;
    s.contentKind = content == "photo"      ? State::kPhoto
                    : content == "bars"     ? State::kBars
                    : content == "smpte"    ? State::kSmpte
                    : content == "testcard" ? State::kTestcard
                                            : State::kWaves;
    for (std::size_t side = 0; side < 4; ++side)
        for (Layer& layer : s.recipe.layers[side]) {
            layer.width = s.uniformInt(layer.width, layer.widest);
            layer.widest = layer.width;
            const State::Kind kind = layer.kind == "bar"      ? State::kBar
                                     : layer.kind == "black"  ? State::kBlackLayer
                                     : layer.kind == "stripe" ? State::kStripe
                                     : layer.kind == "ragged" ? State::kRagged
                                     : layer.kind == "hs"     ? State::kHs
                                     : layer.kind == "vbi"    ? State::kVbi
                                     : layer.kind == "half"   ? State::kHalf
                                                              : State::kSync;
            s.kinds[side].push_back({kind, layer.width});
            (kind == State::kBar || kind == State::kRagged ? s.dynamicWidth : s.fixedWidth)[side] +=
                static_cast<float>(layer.width);
        }
    s.draw();
}

CaptureModel::~CaptureModel() = default;

bool CaptureModel::valid() const {
    const State& s = *state_;
    const float driftW = s.barDrift[kLeft] + s.barDrift[kRight], driftH = s.barDrift[kUp] + s.barDrift[kDown];
    return s.w - s.depth(kLeft) - s.depth(kRight) - driftW >= 64 &&
           s.h - s.depth(kUp) - s.depth(kDown) - driftH >= 64;
}

bool CaptureModel::interlaced() const {
    return state_->recipe.interlaced;
}

bool CaptureModel::topFieldFirst() const {
    return state_->tff;
}

void CaptureModel::render(int index, Planes& out) {
    State& s = *state_;
    const int w = s.w, h = s.h;
    const std::size_t n = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    out.w = w, out.h = h;
    out.y.assign(n, 0), out.cb.assign(n, 0), out.cr.assign(n, 0);
    std::vector<float> cy(n), ccb(n), ccr(n);  // the clean render
    const int bounce = s.bounces[static_cast<std::size_t>(index)];
    const float flicker = s.flickers[static_cast<std::size_t>(index)];
    const std::uint32_t frameKey = static_cast<std::uint32_t>(index);
    std::vector<std::uint8_t> noSignal(n, 0);

    for (int y = 0; y < h; ++y) {
        const int field = s.recipe.interlaced ? (((y & 1) == 0) == s.tff ? 0 : 1) : 0;
        const float t =
            static_cast<float>(index) + (s.recipe.interlaced ? 0.5f * static_cast<float>(field) : 0.0f);
        const int v = y - bounce;
        // Timebase error: a smooth wander along the lines plus a little per line, drifting per field.
        float shift = 0;
        if (s.recipe.tbc > 0) {
            const float phase = static_cast<float>(index * 2 + field) * 0.37f;
            shift = s.recipe.tbc *
                    (0.55f * std::sin(2 * kPi * static_cast<float>(v) / s.tbcPeriod + phase) +
                     0.3f * std::sin(2 * kPi * static_cast<float>(v) / s.tbcPeriod2 - 1.7f * phase) +
                     0.15f * (2 * uniformAt(static_cast<std::uint32_t>(v + 4096), frameKey, 5, s.salt) - 1));
        }
        // Head switching: the bottom lines of each field torn sideways, more towards the bottom.
        float tear = 0, tearNoise = 0;
        int hsLines = 0, hsStart = 0;
        {
            int at = 0;
            for (const Layer& layer : s.recipe.layers[kDown]) {
                if (layer.kind == "hs") {
                    hsStart = at;
                    hsLines = std::max(1, layer.width + s.hsExtra[static_cast<std::size_t>(field)]);
                    break;
                }
                at += layer.width;
            }
        }
        const int fromBottom = h - 1 - v;
        if (hsLines > 0 && fromBottom >= hsStart && fromBottom < hsStart + hsLines) {
            const float k = static_cast<float>(hsStart + hsLines - fromBottom) / static_cast<float>(hsLines);
            // Every line of the band is skewed by a pixel or more until the sync locks again.
            tear = static_cast<float>(s.tearDirection) *
                   (kLeastTear + s.tearStrength * std::pow(k, s.tearPower)) *
                   (0.8f + 0.4f * uniformAt(frameKey, static_cast<std::uint32_t>(v), 9, s.salt));
            tearNoise = s.tearNoise * k;
        }
        const std::array<float, 2> ends{s.barEnd(kLeft, v, index), s.barEnd(kRight, v, index)};
        for (int x = 0; x < w; ++x) {
            const std::size_t k = static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + x;
            const float u = static_cast<float>(x) - shift;
            const Colour clean = s.pictureAt(u, static_cast<float>(v), t, index);
            Colour captured = clean;
            if (v < 0 || v >= h) {
                captured = Colour{s.cardLevel, kNeutral, kNeutral};
                noSignal[k] = 1;
            } else {
                bool damage = false;
                Colour signal = s.signalAt(u, v, t, index, field, tear, ends, damage);
                if (!damage && tear != 0) {
                    signal.y += tearNoise * normalAt(static_cast<std::uint32_t>(x),
                                                     static_cast<std::uint32_t>(y), frameKey, s.salt + 23);
                }
                if (signal.y >= 0) captured = signal;
                // The pixel across a side's bar end shows the bar over the part it covers.
                if (!damage) {
                    for (const int side : {kLeft, kRight}) {
                        const float end = ends[side == kLeft ? 0 : 1];
                        if (end <= 0) continue;
                        const float d = side == kLeft ? u - tear : static_cast<float>(w) - 1 - (u - tear);
                        const float cover = std::clamp(end + 0.5f - d, 0.0f, 1.0f);
                        if (cover <= 0) continue;
                        const float inside = end - 0.75f;
                        bool isBar = false;
                        const Colour bar = s.signalAt(
                            side == kLeft ? inside + tear : static_cast<float>(w) - 1 - inside + tear, v, t,
                            index, field, tear, ends, isBar);
                        if (isBar && bar.y >= 0) captured = mix(captured, bar, cover);
                    }
                }
            }
            cy[k] = clean.y, ccb[k] = clean.cb, ccr[k] = clean.cr;
            out.y[k] = captured.y, out.cb[k] = captured.cb, out.cr[k] = captured.cr;
        }
    }

    // The capture chain, over whole lines, damage included, on both renders alike.
    std::vector<float> line(static_cast<std::size_t>(w));
    const auto chainLine = [&](float* yRow, float* cbRow, float* crRow) {
        filterLine(s.luma, yRow, line.data(), w);
        std::copy(line.begin(), line.end(), yRow);
        filterLine(s.chroma, cbRow, line.data(), w);
        std::copy(line.begin(), line.end(), cbRow);
        filterLine(s.chroma, crRow, line.data(), w);
        std::copy(line.begin(), line.end(), crRow);
    };
    for (int y = 0; y < h; ++y) {
        const std::size_t row = static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
        chainLine(&out.y[row], &out.cb[row], &out.cr[row]);
        chainLine(&cy[row], &ccb[row], &ccr[row]);
    }
    if (s.verticalChroma) {
        // A PAL decoder's delay line: each line's chroma averaged with the line before in its field.
        for (std::vector<float>* plane : {&out.cb, &out.cr, &ccb, &ccr})
            for (int y = h - 1; y >= 2; --y)
                for (int x = 0; x < w; ++x) {
                    const std::size_t k = static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + x;
                    (*plane)[k] = 0.5f * ((*plane)[k] + (*plane)[k - 2 * static_cast<std::size_t>(w)]);
                }
    }
    if (s.crawlAmount > 0) {
        // Y/C crosstalk: chroma transitions leak a crawling pattern into luma, luma detail into chroma.
        for (auto planes : {std::array<std::vector<float>*, 3>{&out.y, &out.cb, &out.cr},
                            std::array<std::vector<float>*, 3>{&cy, &ccb, &ccr}})
            for (int y = 0; y < h; ++y)
                for (int x = 1; x + 1 < w; ++x) {
                    const std::size_t k = static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + x;
                    const float dc = std::fabs((*planes[1])[k + 1] - (*planes[1])[k - 1]) +
                                     std::fabs((*planes[2])[k + 1] - (*planes[2])[k - 1]);
                    const float phase = kPi * (0.5f * static_cast<float>(x) + 0.5f * static_cast<float>(y) +
                                               0.5f * static_cast<float>(index));
                    (*planes[0])[k] += s.crawlAmount * dc * std::cos(phase);
                }
    }
    // Flicker of the signal, then noise that both renders share, then what only the capture has.
    const float black = kBlack;
    for (std::size_t k = 0; k < n; ++k) {
        const int x = static_cast<int>(k % static_cast<std::size_t>(w)),
                  y = static_cast<int>(k / static_cast<std::size_t>(w));
        for (auto* plane : {&out.y, &cy})
            (*plane)[k] = black + ((*plane)[k] - black) * flicker;
        float noise = s.pictureNoise * normalAt(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y),
                                                frameKey, s.salt);
        if (s.noiseKind == 1 && x > 0)
            noise = 0.5f * noise + 0.5f * s.pictureNoise *
                                       normalAt(static_cast<std::uint32_t>(x - 1),
                                                static_cast<std::uint32_t>(y), frameKey, s.salt);
        if (s.noiseKind == 2 &&
            (hash(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y), frameKey, s.salt + 3) &
             1023) == 0)
            noise += 40;
        const float chromaNoise =
            0.6f * s.pictureNoise *
            normalAt(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y), frameKey, s.salt + 1);
        out.y[k] += noise, cy[k] += noise;
        out.cb[k] += chromaNoise, ccb[k] += chromaNoise;
        out.cr[k] -= chromaNoise, ccr[k] -= chromaNoise;
    }
    // Overscan noise of its own, where the capture shows no picture; the card's black window.
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::size_t k = static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + x;
            if (std::fabs(out.y[k] - cy[k]) > 0.5f || noSignal[k])
                out.y[k] += s.barNoise * normalAt(static_cast<std::uint32_t>(x),
                                                  static_cast<std::uint32_t>(y), frameKey, s.salt + 7);
            for (const int side : {kUp, kLeft, kRight, kDown}) {
                int depth = 0;
                for (const Layer& layer : s.recipe.layers[static_cast<std::size_t>(side)]) {
                    if (layer.kind != "black") {
                        depth += layer.width;
                        continue;
                    }
                    const int d = side == kUp ? y : side == kDown ? h - 1 - y : side == kLeft ? x : w - 1 - x;
                    if (d >= depth && d < depth + layer.width) {
                        out.y[k] = s.cardLevel * 0.3f + 0.6f * normalAt(static_cast<std::uint32_t>(x),
                                                                        static_cast<std::uint32_t>(y),
                                                                        frameKey, s.salt + 9);
                        out.cb[k] = kNeutral, out.cr[k] = kNeutral;
                    }
                    depth += layer.width;
                }
            }
        }
    // Dropouts: tape damage, in the picture as the clean render has it too.
    if (s.recipe.dropouts && uniformAt(frameKey, 1, 2, s.salt) < 0.6f) {
        const int count = 1 + static_cast<int>(uniformAt(frameKey, 2, 3, s.salt) * 4);
        for (int d = 0; d < count; ++d) {
            const int y = static_cast<int>(uniformAt(frameKey, static_cast<std::uint32_t>(d), 4, s.salt) *
                                           static_cast<float>(h));
            const int x0 = static_cast<int>(uniformAt(frameKey, static_cast<std::uint32_t>(d), 5, s.salt) *
                                            static_cast<float>(w));
            const int length =
                10 + static_cast<int>(uniformAt(frameKey, static_cast<std::uint32_t>(d), 6, s.salt) * 110);
            const float level =
                uniformAt(frameKey, static_cast<std::uint32_t>(d), 7, s.salt) < 0.7f ? 225.0f : 18.0f;
            for (int x = x0; x < std::min(w, x0 + length); ++x) {
                const std::size_t k = static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + x;
                out.y[k] = cy[k] = level;
                out.cb[k] = ccb[k] = kNeutral;
                out.cr[k] = ccr[k] = kNeutral;
            }
        }
    }
    for (std::size_t k = 0; k < n; ++k)
        if (std::fabs(out.y[k] - cy[k]) > kLumaTolerance ||
            std::fabs(out.cb[k] - ccb[k]) > kChromaTolerance ||
            std::fabs(out.cr[k] - ccr[k]) > kChromaTolerance)
            s.damaged[k] = 1;
}

std::array<int, 4> CaptureModel::ideal() const {
    const State& s = *state_;
    const int w = s.w, h = s.h;
    // The largest rectangle that holds no pixel damaged in any frame: per line, the run of clean
    // lines above each column, and the widest rectangle under that skyline (a stack of rising runs).
    std::vector<int> heights(static_cast<std::size_t>(w) + 1, 0);
    std::int64_t bestArea = 0;
    std::array<int, 4> best{1, 1, 1, 1};  // x0, y0, x1, y1 of the best rectangle, inclusive
    best = {0, 0, -1, -1};
    std::vector<int> stack;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            heights[static_cast<std::size_t>(x)] =
                s.damaged[static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + x]
                    ? 0
                    : heights[static_cast<std::size_t>(x)] + 1;
        stack.clear();
        for (int x = 0; x <= w; ++x) {
            const int height = x < w ? heights[static_cast<std::size_t>(x)] : 0;
            while (!stack.empty() && heights[static_cast<std::size_t>(stack.back())] >= height) {
                const int top = heights[static_cast<std::size_t>(stack.back())];
                stack.pop_back();
                const int from = stack.empty() ? 0 : stack.back() + 1;
                const std::int64_t area = std::int64_t{top} * (x - from);
                if (area > bestArea) bestArea = area, best = {from, y - top + 1, x - 1, y};
            }
            stack.push_back(x);
        }
    }
    if (bestArea == 0) return {h, w, w, h};
    // Margin m puts the zone's edge line m - 1 lines in from its side.
    return {best[1] + 1, best[0] + 1, w - best[2], h - best[3]};
}

}  // namespace capture
