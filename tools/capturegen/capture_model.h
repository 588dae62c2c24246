#pragma once

// One model of an analogue capture, for velmo suggest's tests and benchmark: a clean picture (a
// photograph panned and zoomed, a procedural texture, test patterns, letterboxed or pillarboxed,
// dark, faded ...), carried as a video signal that the capture chain damages (overscan and
// blanking bars attached to the signal or to the card's window, ragged and jittering edges, timebase
// error, vertical bounce, head switching per field, VBI and half lines, sync and burst remnants,
// band limits, chroma smear and delay, ringing, Y/C crosstalk, dropouts, flicker, noise).
//
// Each frame is rendered twice, with and without the damage, through the same chain; a pixel is
// damaged when the two differ by more than 2 levels of luma or 12 of either chroma (8-bit scale).
// The ideal zone is the largest rectangle, grown from the frame's middle, that no damaged pixel of
// any frame falls in; its margins are what a finder is held to.
//
// A recipe is a list of items separated by ";". Side items list layers from the frame's edge inwards,
// separated by ",":  up=vbi:20,half:1  left=sync:6,bar:12,ragged:3  down=bar:2,hs:6
//   bar:N     overscan or blanking of the signal (card black or lifted black, with noise); moves with
//             the signal's timebase error and bounce, and drifts with "drift"
//   black:N   the card's own clean black, fixed to the frame (an off-centre picture)
//   stripe:N  a grey or bright blanking line          ragged:N  the edge jitters over N lines
//   hs:N      (down) head switching, about N lines, torn sideways with noise, per field
//   vbi:N     (up) vertical blanking lines, some with teletext-like data
//   half:N    (up, down) half lines, black over part of their length
//   sync:N    (left, right) sync and burst remnants N pixels wide
// Chain and content items: interlaced, tbc:A (timebase error up to A pixels), bounce:A (the whole
// signal moves up to A lines from frame to frame), drift:A (bars widen by up to A over the clip),
// chain (band limits, chroma smear and delay), ring (ringing at sharp edges), crawl (Y/C crosstalk),
// dropouts, flicker, noise:S (picture noise, S levels), content=photo|waves|bars|smpte|testcard,
// dark, sky, darkside=SIDE, letterbox, pillarbox, subtitles, fade, overlay, cuts, still.
// A width may be a range (bar:4-20), drawn from the seed. Amounts the recipe leaves open (levels, noise
// kinds, blur widths, tear strengths ...) are drawn from the seed.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace capture {

enum Side { kUp, kLeft, kRight, kDown };

struct Layer {
    std::string kind;
    int width;
    int widest;  // "bar:4-20": the seed draws the width from 4 to 20
};

struct Recipe {
    std::array<std::vector<Layer>, 4> layers;
    std::string content = "";  // empty: photo when photographs are given, waves otherwise
    bool interlaced = false, chain = false, ring = false, crawl = false, dropouts = false, flicker = false;
    bool dark = false, sky = false, letterbox = false, pillarbox = false, subtitles = false, fade = false;
    bool overlay = false, cuts = false, still = false;
    int darkSide = -1;
    float tbc = 0, bounce = 0, drift = 0, noise = -1;  // noise < 0: drawn from the seed
};

// Parses a recipe; false with a one-line `error` naming the item.
bool parseRecipe(const std::string& text, Recipe& recipe, std::string& error);

// A photograph in Y, Cb, Cr (8-bit scale, limited range), scaled down once for cheap panning.
struct Photo {
    int w = 0, h = 0;
    std::vector<float> y, cb, cr;
};

// The photographs the tests and benchmark pan across: a fixed, sorted list of files from Debian's
// lomiri-wallpapers-16.04 (installed by tools/install-deps.sh).
const std::vector<std::string>& standardPhotoPaths();

// Loads every path; false with a one-line error naming the first file missing or unreadable.
bool loadPhotos(const std::vector<std::string>& paths, int targetWidth, std::vector<Photo>& photos,
                std::string& error);

// One frame: three planes of w x h, top-down, on the 8-bit scale.
struct Planes {
    int w = 0, h = 0;
    std::vector<float> y, cb, cr;
};

class CaptureModel {
public:
    CaptureModel(const Recipe& recipe, int w, int h, int frames, unsigned seed, std::vector<Photo> photos);
    ~CaptureModel();
    CaptureModel(const CaptureModel&) = delete;
    CaptureModel& operator=(const CaptureModel&) = delete;

    // False when the damage leaves less than 64 pixels of picture either way.
    bool valid() const;
    // Renders frame `index` (0 .. frames - 1, in order) as captured, and adds its damage to the truth.
    void render(int index, Planes& captured);
    // Whether the source is interlaced and which field comes first.
    bool interlaced() const;
    bool topFieldFirst() const;
    // The ideal margins (up, left, right, down) over the frames rendered so far.
    std::array<int, 4> ideal() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace capture
