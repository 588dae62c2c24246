// capturegen: synthetic analogue captures with known damage, for testing and measuring
// `velmo suggest`. It pans across photographs with scene cuts and a moving cut-out, places that
// picture in a clean rectangle of the frame, and damages what lies outside the rectangle as tape
// and card captures do. Since the damage is drawn outside the rectangle only, the rectangle gives
// the ideal margins exactly.
//
//   capturegen --size 720x576 --frames 100 --seed 1 --case "left=bar:12,ragged:4;down=hs:6"
//              --ideal ideal.txt PHOTO... > frames.bgr0
//
// Frames go to standard output as raw bgr0 (top-down rows), for FFmpeg to encode; the ideal margins
// "up left right down" go to the --ideal file.
//
// A case is a list of items separated by ";". A side item "up=", "left=", "right=" or "down=" lists
// the damage layers from the frame's edge inwards, separated by ",":
//   bar:N     N lines of near-black overscan with noise     black:N  N lines of clean black
//   stripe:N  a grey or bright blanking line N wide         ragged:N the edge jitters over N lines
//   hs:N      (down) a head-switching band of N torn lines  lines:N  (up) N black lines
//   half:N    (up) N half-black lines
// Content items: "dark" (a dark scene), "interlaced" (fields from different instants), "sky" (a
// dark night sky over the top of the picture), "jacket=SIDE" (a dark textured shape touching that
// side of the picture), "cuts" (short scenes with black frames between them), "still" (no motion).

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "velmo/image/picture.h"

namespace {

enum Side { kUp, kLeft, kRight, kDown };

struct Layer {
    std::string kind;
    int width;
};

struct CaseRecipe {
    std::array<std::vector<Layer>, 4> layers;
    bool dark = false, interlaced = false, sky = false, cuts = false, still = false;
    int jacketSide = -1;
};

int fail(const std::string& message) {
    std::fprintf(stderr, "capturegen: %s\n", message.c_str());
    return 2;
}

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

bool parseCase(const std::string& text, CaseRecipe& recipe, std::string& error) {
    for (const std::string& item : split(text, ';')) {
        const std::size_t equals = item.find('=');
        const std::string key = item.substr(0, equals);
        const std::string value = equals == std::string::npos ? "" : item.substr(equals + 1);
        if (key == "dark") {
            recipe.dark = true;
        } else if (key == "interlaced") {
            recipe.interlaced = true;
        } else if (key == "sky") {
            recipe.sky = true;
        } else if (key == "cuts") {
            recipe.cuts = true;
        } else if (key == "still") {
            recipe.still = true;
        } else if (key == "jacket") {
            recipe.jacketSide = sideNamed(value);
            if (recipe.jacketSide < 0) return error = "bad jacket side " + value, false;
        } else if (const int side = sideNamed(key); side >= 0) {
            for (const std::string& layer : split(value, ',')) {
                const std::size_t colon = layer.find(':');
                if (colon == std::string::npos) return error = "layer " + layer + " needs :WIDTH", false;
                const int width = std::atoi(layer.c_str() + colon + 1);
                if (width < 1) return error = "layer " + layer + " needs a positive width", false;
                recipe.layers[side].push_back(Layer{layer.substr(0, colon), width});
            }
        } else {
            return error = "unknown case item " + item, false;
        }
    }
    return true;
}

struct Rgb {
    float r, g, b;
};

// A photograph, scaled down once so that panning across it is cheap.
struct Photo {
    int w = 0, h = 0;
    std::vector<Rgb> pixels;

    Rgb at(float x, float y) const {
        x = std::clamp(x, 0.0f, static_cast<float>(w - 1));
        y = std::clamp(y, 0.0f, static_cast<float>(h - 1));
        const int x0 = std::min(static_cast<int>(x), w - 2), y0 = std::min(static_cast<int>(y), h - 2);
        const float fx = x - x0, fy = y - y0;
        const Rgb& a = pixels[y0 * w + x0];
        const Rgb& b = pixels[y0 * w + x0 + 1];
        const Rgb& c = pixels[(y0 + 1) * w + x0];
        const Rgb& d = pixels[(y0 + 1) * w + x0 + 1];
        auto mix = [&](float Rgb::*channel) {
            return (a.*channel * (1 - fx) + b.*channel * fx) * (1 - fy) +
                   (c.*channel * (1 - fx) + d.*channel * fx) * fy;
        };
        return Rgb{mix(&Rgb::r), mix(&Rgb::g), mix(&Rgb::b)};
    }
};

bool loadPhoto(const std::string& path, int targetWidth, Photo& photo, std::string& error) {
    Picture picture;
    if (!loadPicture(path, picture, error)) return false;
    const int factor = std::max(1, picture.w / targetWidth);
    photo.w = picture.w / factor;
    photo.h = picture.h / factor;
    if (photo.w < 16 || photo.h < 16) return error = path + " is too small", false;
    photo.pixels.assign(static_cast<std::size_t>(photo.w) * photo.h, Rgb{0, 0, 0});
    for (int y = 0; y < photo.h; ++y)
        for (int x = 0; x < photo.w; ++x) {
            float r = 0, g = 0, b = 0;
            for (int dy = 0; dy < factor; ++dy)
                for (int dx = 0; dx < factor; ++dx) {
                    const Pixel32 p =
                        picture
                            .pixels[static_cast<std::size_t>(y * factor + dy) * picture.w + x * factor + dx];
                    r += (p >> 16) & 255;
                    g += (p >> 8) & 255;
                    b += p & 255;
                }
            const float n = static_cast<float>(factor * factor);
            photo.pixels[static_cast<std::size_t>(y) * photo.w + x] = Rgb{r / n, g / n, b / n};
        }
    return true;
}

// One scene: a slow pan and zoom across a photograph, with a cut-out of another photograph
// drifting across it.
struct Scene {
    int photo, spritePhoto;
    int firstFrame;
    float x0, y0, x1, y1, zoom0, zoom1;
    float spriteX0, spriteY0, spriteX1, spriteY1, spriteSize;
    bool black;
};

class Generator {
public:
    Generator(const CaseRecipe& recipe, int w, int h, int frames, std::mt19937& random,
              std::vector<Photo>& photos)
        : recipe_(recipe), w_(w), h_(h), frames_(frames), random_(random), photos_(photos) {
        for (int side = 0; side < 4; ++side)
            for (const Layer& layer : recipe.layers[side])
                depth_[side] += layer.width;
        clean_ = {depth_[kUp], depth_[kLeft], w - 1 - depth_[kRight], h - 1 - depth_[kDown]};
        overscanLevel_ = uniform(0, 14);
        overscanNoise_ = uniform(1.5f, 6.0f);
        stripeLevel_ = uniform(110, 235);
        halfBlackEnd_ = static_cast<int>(uniform(0.3f, 0.7f) * w);
        planScenes();
    }

    bool valid() const { return clean_[2] - clean_[1] >= 64 && clean_[3] - clean_[0] >= 64; }

    // The ideal margins: up = y0 + 1, left = x0 + 1, right = W - x1, down = H - y1.
    std::string ideal() const {
        return std::to_string(clean_[0] + 1) + " " + std::to_string(clean_[1] + 1) + " " +
               std::to_string(w_ - clean_[2]) + " " + std::to_string(h_ - clean_[3]);
    }

    std::vector<Rgb> frame(int index) {
        std::vector<Rgb> out(static_cast<std::size_t>(w_) * h_);
        // Overscan everywhere first; the picture and the damage are drawn over it.
        for (Rgb& p : out)
            p = overscan();
        const Scene& scene = sceneAt(index);
        const float t = static_cast<float>(index - scene.firstFrame) / sceneLength(scene);
        // The picture area: the clean rectangle and the bands where damaged picture shows.
        const int top =
            clean_[0] - bandWidth(kUp, "lines") - bandWidth(kUp, "half") - bandWidth(kUp, "ragged");
        const int bottom = clean_[3] + bandWidth(kDown, "hs") + bandWidth(kDown, "ragged");
        const int left = clean_[1] - bandWidth(kLeft, "ragged");
        const int right = clean_[2] + bandWidth(kRight, "ragged");
        for (int y = top; y <= bottom; ++y) {
            const float fieldTime = recipe_.interlaced && (y & 1) ? t + 0.5f / sceneLength(scene) : t;
            for (int x = left; x <= right; ++x)
                out[static_cast<std::size_t>(y) * w_ + x] =
                    picture(scene, fieldTime, x - clean_[1], y - clean_[0]);
        }
        damageSides(out, top, bottom);
        for (Rgb& p : out) {
            const float n = noise(1.2f);
            p = Rgb{p.r + n, p.g + n, p.b + n};
        }
        return out;
    }

private:
    float uniform(float low, float high) { return std::uniform_real_distribution<float>(low, high)(random_); }
    int uniformInt(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
    float noise(float sigma) { return std::normal_distribution<float>(0.0f, sigma)(random_); }

    Rgb overscan() {
        const float level = std::max(0.0f, overscanLevel_ + noise(overscanNoise_));
        return Rgb{level, level, level + noise(1.0f)};
    }

    int bandWidth(int side, const char* kind) const {
        int width = 0;
        for (const Layer& layer : recipe_.layers[side])
            if (layer.kind == kind) width += layer.width;
        return width;
    }

    void planScenes() {
        int frame = 0;
        while (frame < frames_) {
            Scene scene{};
            scene.photo = uniformInt(0, static_cast<int>(photos_.size()) - 1);
            scene.spritePhoto = uniformInt(0, static_cast<int>(photos_.size()) - 1);
            scene.firstFrame = frame;
            scene.x0 = uniform(0, 1), scene.y0 = uniform(0, 1);
            scene.x1 = std::clamp(scene.x0 + uniform(-0.4f, 0.4f), 0.0f, 1.0f);
            scene.y1 = std::clamp(scene.y0 + uniform(-0.3f, 0.3f), 0.0f, 1.0f);
            scene.zoom0 = uniform(0.55f, 0.9f), scene.zoom1 = uniform(0.55f, 0.9f);
            scene.spriteX0 = uniform(-0.2f, 1.0f), scene.spriteY0 = uniform(-0.2f, 1.0f);
            scene.spriteX1 = uniform(-0.2f, 1.0f), scene.spriteY1 = uniform(-0.2f, 1.0f);
            scene.spriteSize = uniform(0.15f, 0.35f);
            scene.black = false;
            if (recipe_.still) {
                scene.x1 = scene.x0, scene.y1 = scene.y0, scene.zoom1 = scene.zoom0;
                scene.spriteX1 = scene.spriteX0, scene.spriteY1 = scene.spriteY0;
            }
            scenes_.push_back(scene);
            frame += recipe_.still  ? frames_
                     : recipe_.cuts ? uniformInt(4, 12)
                                    : uniformInt(frames_ / 4 + 1, frames_ / 2 + 2);
            if (recipe_.cuts && frame < frames_) {
                Scene gap = scene;
                gap.black = true;
                gap.firstFrame = frame;
                scenes_.push_back(gap);
                frame += 2;
            }
        }
    }

    const Scene& sceneAt(int index) const {
        std::size_t k = 0;
        while (k + 1 < scenes_.size() && scenes_[k + 1].firstFrame <= index)
            ++k;
        return scenes_[k];
    }

    float sceneLength(const Scene& scene) const {
        for (const Scene& next : scenes_)
            if (next.firstFrame > scene.firstFrame)
                return static_cast<float>(next.firstFrame - scene.firstFrame);
        return static_cast<float>(std::max(1, frames_ - scene.firstFrame));
    }

    // The picture at (u, v), counted from the clean rectangle's top-left corner (negative in the
    // bands outside it).
    Rgb picture(const Scene& scene, float t, int u, int v) {
        if (scene.black) return Rgb{2, 2, 2};
        const float pw = static_cast<float>(clean_[2] - clean_[1] + 1),
                    ph = static_cast<float>(clean_[3] - clean_[0] + 1);
        const Photo& photo = photos_[scene.photo];
        const float zoom = scene.zoom0 + (scene.zoom1 - scene.zoom0) * t;
        // The window over the photograph keeps the picture's shape and stays inside the photograph.
        const float scale = std::min(photo.w / pw, photo.h / ph) * zoom;
        const float cx = (scene.x0 + (scene.x1 - scene.x0) * t) * (photo.w - pw * scale);
        const float cy = (scene.y0 + (scene.y1 - scene.y0) * t) * (photo.h - ph * scale);
        Rgb p = photo.at(cx + u * scale, cy + v * scale);

        const float sx = (scene.spriteX0 + (scene.spriteX1 - scene.spriteX0) * t) * pw;
        const float sy = (scene.spriteY0 + (scene.spriteY1 - scene.spriteY0) * t) * ph;
        const float size = scene.spriteSize * ph;
        if (u >= sx && u < sx + size && v >= sy && v < sy + size * 0.8f) {
            const Photo& sprite = photos_[scene.spritePhoto];
            p = sprite.at((u - sx) * sprite.w / size * 0.5f, (v - sy) * sprite.h / size * 0.5f);
        }
        if (recipe_.sky) p = nightSky(p, u, v, pw, ph);
        if (recipe_.jacketSide >= 0) p = jacket(p, t, u, v, pw, ph);
        if (recipe_.dark) {
            const float scaleDown = 0.18f;
            p = Rgb{p.r * scaleDown, p.g * scaleDown, p.b * scaleDown};
        }
        return p;
    }

    // A dark, almost flat sky with a few stars above a hilly horizon.
    static Rgb nightSky(Rgb p, int u, int v, float pw, float ph) {
        const float horizon =
            ph * (0.3f + 0.08f * std::sin(u * 0.013f) + 0.04f * std::sin(u * 0.051f + 1.0f));
        if (v >= horizon) return p;
        const float shade = 6.0f + 14.0f * std::max(0.0f, static_cast<float>(v)) / ph;
        const unsigned hash = static_cast<unsigned>(u) * 2654435761u ^ static_cast<unsigned>(v) * 40503u;
        if (u >= 0 && v >= 0 && hash % 997 == 0) return Rgb{200, 200, 190};
        (void)pw;
        return Rgb{shade * 0.6f, shade * 0.7f, shade * 1.3f};
    }

    // A dark textured shape, like a black jacket, touching one side of the picture.
    Rgb jacket(Rgb p, float t, int u, int v, float pw, float ph) const {
        float along = 0, across = 0, length = 0;
        switch (recipe_.jacketSide) {
            case kUp:
                along = static_cast<float>(u), across = static_cast<float>(v), length = pw;
                break;
            case kDown:
                along = static_cast<float>(u), across = ph - 1 - v, length = pw;
                break;
            case kLeft:
                along = static_cast<float>(v), across = static_cast<float>(u), length = ph;
                break;
            default:
                along = static_cast<float>(v), across = pw - 1 - u, length = ph;
                break;
        }
        const float centre = length * (0.35f + 0.3f * t);
        const float halfLength = length * 0.3f;
        const float reach =
            length * 0.2f * std::sqrt(std::max(0.0f, 1 - std::pow((along - centre) / halfLength, 2.0f)));
        if (across >= reach) return p;
        const float fold =
            10.0f + 6.0f * std::sin(along * 0.09f + across * 0.05f) + 3.0f * std::sin(along * 0.31f);
        return Rgb{fold, fold, fold * 1.1f};
    }

    void damageSides(std::vector<Rgb>& out, int top, int bottom) {
        auto at = [&](int x, int y) -> Rgb& { return out[static_cast<std::size_t>(y) * w_ + x]; };
        for (int side = 0; side < 4; ++side) {
            int depth = 0;
            for (const Layer& layer : recipe_.layers[side]) {
                for (int k = 0; k < layer.width; ++k) {
                    const int d = depth + k;
                    if (layer.kind == "black")
                        paintLine(
                            side, d,
                            [](Rgb&) {
                                return Rgb{0, 0, 0};
                            },
                            at);
                    if (layer.kind == "stripe") {
                        const float level = stripeLevel_;
                        paintLine(
                            side, d,
                            [&](Rgb&) {
                                return Rgb{level, level, level * 0.97f};
                            },
                            at);
                    }
                    if (layer.kind == "lines")
                        paintLine(
                            side, d, [this](Rgb&) { return overscan(); }, at);
                    if (layer.kind == "half")
                        for (int x = 0; x < halfBlackEnd_; ++x)
                            at(x, d) = overscan();
                }
                if (layer.kind == "ragged") ragged(side, depth, layer.width, top, bottom, at);
                if (layer.kind == "hs") headSwitching(depth, layer.width, at);
                depth += layer.width;
            }
        }
    }

    template <typename Paint, typename At>
    void paintLine(int side, int d, Paint paint, At at) {
        if (side == kUp || side == kDown) {
            const int y = side == kUp ? d : h_ - 1 - d;
            for (int x = 0; x < w_; ++x)
                at(x, y) = paint(at(x, y));
        } else {
            const int x = side == kLeft ? d : w_ - 1 - d;
            for (int y = 0; y < h_; ++y)
                at(x, y) = paint(at(x, y));
        }
    }

    // Each line's picture starts somewhere in the band: a wobble over the frame plus a per-line
    // jitter, new in every frame. Where it has not started, the overscan shows.
    template <typename At>
    void ragged(int side, int depth, int width, int top, int bottom, At at) {
        const float phase = uniform(0, 6.3f), wobble = uniform(0, 0.5f);
        const int lineCount = side == kUp || side == kDown ? w_ : h_;
        for (int line = 0; line < lineCount; ++line) {
            const float smooth = (0.5f + wobble * std::sin(line * 0.05f + phase)) * width;
            const int start =
                std::clamp(static_cast<int>(std::lround(smooth + noise(width * 0.3f))), 0, width);
            for (int k = 0; k < start; ++k) {
                const int d = depth + width - 1 - k;  // counted from the picture inwards
                int x = 0, y = 0;
                if (side == kUp) x = line, y = d;
                if (side == kDown) x = line, y = h_ - 1 - d;
                if (side == kLeft) x = d, y = line;
                if (side == kRight) x = w_ - 1 - d, y = line;
                if ((side == kLeft || side == kRight) && (y < top || y > bottom)) continue;
                at(x, y) = overscan();
            }
        }
    }

    // The band's lines show the picture torn sideways, more so towards the bottom, with noise.
    template <typename At>
    void headSwitching(int depth, int width, At at) {
        const int direction = uniform(0, 1) < 0.5f ? -1 : 1;
        const float strength = uniform(6, 30);
        for (int k = 0; k < width; ++k) {
            const int y = h_ - 1 - (depth + k);
            const float towardsBottom = static_cast<float>(width - k) / width;
            const int shift =
                direction * static_cast<int>(std::lround(strength * towardsBottom + uniform(0, 3)));
            std::vector<Rgb> row(static_cast<std::size_t>(w_));
            for (int x = 0; x < w_; ++x) {
                const int from = x - shift;
                row[static_cast<std::size_t>(x)] = from >= 0 && from < w_ ? at(from, y) : overscan();
            }
            for (int x = 0; x < w_; ++x) {
                const float n = noise(10.0f);
                const Rgb& p = row[static_cast<std::size_t>(x)];
                at(x, y) = Rgb{p.r + n, p.g + n, p.b + n};
            }
        }
    }

    const CaseRecipe& recipe_;
    int w_, h_, frames_;
    std::mt19937& random_;
    std::vector<Photo>& photos_;
    std::array<int, 4> depth_{};
    std::array<int, 4> clean_{};  // top row, left column, right column, bottom row
    float overscanLevel_, overscanNoise_, stripeLevel_;
    int halfBlackEnd_;
    std::vector<Scene> scenes_;
};

std::uint8_t byte(float value) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

}  // namespace

int main(int argc, char** argv) {
    int w = 720, h = 576, frames = 100;
    unsigned seed = 1;
    std::string caseText, idealPath;
    std::vector<std::string> photoPaths;
    for (int k = 1; k < argc; ++k) {
        const std::string argument = argv[k];
        const bool hasValue = k + 1 < argc;
        if (argument == "--size" && hasValue) {
            if (std::sscanf(argv[++k], "%dx%d", &w, &h) != 2 || w < 64 || h < 64) return fail("bad --size");
        } else if (argument == "--frames" && hasValue) {
            frames = std::atoi(argv[++k]);
        } else if (argument == "--seed" && hasValue) {
            seed = static_cast<unsigned>(std::strtoul(argv[++k], nullptr, 10));
        } else if (argument == "--case" && hasValue) {
            caseText = argv[++k];
        } else if (argument == "--ideal" && hasValue) {
            idealPath = argv[++k];
        } else if (!argument.empty() && argument[0] != '-') {
            photoPaths.push_back(argument);
        } else {
            return fail("usage: capturegen --size WxH --frames N --seed S --case CASE --ideal FILE PHOTO...");
        }
    }
    if (frames < 1 || photoPaths.empty() || idealPath.empty())
        return fail("needs --frames N >= 1, --ideal FILE and at least one photograph");

    CaseRecipe recipe;
    std::string error;
    if (!parseCase(caseText, recipe, error)) return fail(error);
    std::mt19937 random(seed);
    // Three photographs per clip keep loading quick; the seed picks them.
    std::shuffle(photoPaths.begin(), photoPaths.end(), random);
    photoPaths.resize(std::min<std::size_t>(photoPaths.size(), 3));
    std::vector<Photo> photos(photoPaths.size());
    for (std::size_t k = 0; k < photos.size(); ++k)
        if (!loadPhoto(photoPaths[k], 2 * w, photos[k], error)) return fail(error);

    Generator generator(recipe, w, h, frames, random, photos);
    if (!generator.valid()) return fail("the damage leaves too little picture");
    std::ofstream(idealPath) << generator.ideal() << "\n";

    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(w) * h * 4);
    for (int index = 0; index < frames; ++index) {
        const std::vector<Rgb> frame = generator.frame(index);
        for (std::size_t k = 0; k < frame.size(); ++k) {
            bytes[4 * k] = byte(frame[k].b);
            bytes[4 * k + 1] = byte(frame[k].g);
            bytes[4 * k + 2] = byte(frame[k].r);
            bytes[4 * k + 3] = 0;
        }
        if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size())
            return fail("cannot write frames");
    }
    return std::fflush(stdout) == 0 ? 0 : fail("cannot write frames");
}
