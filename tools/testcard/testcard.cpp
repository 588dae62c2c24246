// testcard: writes the sample picture the demo runs the plug-in on. It imitates an off-centre
// capture: the real picture (a grid, colour bars and a circle around its centre) sits in a zone
// whose margins are 3 at the top, 5 on the left, 7 on the right and 9 at the bottom, and the lines
// outside the zone are ragged noise, as tape captures have. Config(3,5,7,9,1) rescues it.
//
//   testcard OUT.png [WIDTH HEIGHT]

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "velmo/image/picture.h"

namespace {

constexpr int kUp = 3, kLeft = 5, kRight = 7, kDown = 9;

Pixel32 rgb(int r, int g, int b) {
    return static_cast<Pixel32>((r << 16) | (g << 8) | b);
}

Pixel32 cardPixel(int x, int y, int w, int h) {
    // The zone in picture coordinates (y = 0 is the top line), edges included.
    const int zoneLeft = kLeft - 1, zoneRight = w - kRight, zoneTop = kUp - 1, zoneBottom = h - kDown;
    const double cx = (zoneLeft + zoneRight) / 2.0, cy = (zoneTop + zoneBottom) / 2.0;
    const double radius = std::hypot(x - cx, y - cy);
    const double outer = 0.42 * (zoneBottom - zoneTop);
    if (std::fabs(radius - outer) < 2.0) return rgb(255, 255, 255);
    if (std::abs(x - static_cast<int>(cx)) <= 1 || std::abs(y - static_cast<int>(cy)) <= 1)
        return rgb(240, 240, 240);
    if ((x - zoneLeft) % 40 == 0 || (y - zoneTop) % 40 == 0) return rgb(200, 200, 200);
    if (radius < outer && y < cy) {
        static constexpr Pixel32 kBars[] = {0xC0C0C0, 0xC0C000, 0x00C0C0, 0x00C000,
                                            0xC000C0, 0xC00000, 0x0000C0};
        const int bar = static_cast<int>((x - (cx - outer)) / (2 * outer) * 7);
        return kBars[std::min(std::max(bar, 0), 6)];
    }
    const int shade = 40 + 120 * (x - zoneLeft) / std::max(1, zoneRight - zoneLeft);
    return rgb(shade / 2, shade / 2, shade);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: testcard OUT.png [WIDTH HEIGHT]\n");
        return 2;
    }
    Picture card;
    card.w = argc == 4 ? std::atoi(argv[2]) : 720;
    card.h = argc == 4 ? std::atoi(argv[3]) : 576;
    if (card.w < 32 || card.h < 32 || card.w > 8192 || card.h > 8192) {
        std::fprintf(stderr, "testcard: the size must be from 32 to 8192 pixels each way\n");
        return 2;
    }
    std::mt19937 random(576);
    for (int y = 0; y < card.h; ++y) {
        // Ragged edges: each line's noise reaches a little further or less far into the frame.
        const int leftNoise = kLeft - 1 - static_cast<int>(random() % 3);
        const int rightNoise = kRight - 1 - static_cast<int>(random() % 4);
        for (int x = 0; x < card.w; ++x) {
            const bool outside =
                y < kUp - 1 || y > card.h - kDown || x < leftNoise || x >= card.w - rightNoise;
            const int grain = static_cast<int>(random() % 90);
            card.pixels.push_back(outside ? rgb(grain, grain / 2, grain + 20)
                                          : cardPixel(x, y, card.w, card.h));
        }
    }
    std::string error;
    if (!savePicture(argv[1], card, error)) {
        std::fprintf(stderr, "testcard: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
