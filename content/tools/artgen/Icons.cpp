#include "Icons.h"

#include "Hero.h"

#include <algorithm>
#include <cmath>

namespace artgen {

const std::vector<int>& IconSizes() {
    static const std::vector<int> sizes = {16, 24, 32, 48, 64, 128, 256};
    return sizes;
}

Canvas DrawIcon(int size) {
    Canvas icon(size, size);
    // The square: rounded corners, a dark rim, sky from deep blue at the top
    // to a warm glow at the bottom, and a strip of grass to stand on.
    const double s = size;
    const double radius = s * 0.18;
    const double rim = std::max(1.0, s / 32.0);
    const Rgba top{34, 52, 112, 255}, bottom{236, 156, 92, 255};
    const Rgba rimColor{20, 22, 38, 255}, grass{72, 150, 56, 255}, soil{110, 72, 40, 255};
    auto inside = [&](double x, double y, double inset) {
        const double lo = inset + radius, hi = s - inset - radius;
        const double cx = std::clamp(x, lo, hi), cy = std::clamp(y, lo, hi);
        return std::hypot(x - cx, y - cy) <= radius;
    };
    const double ground = s * 0.84;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const double px = x + 0.5, py = y + 0.5;
            if (!inside(px, py, 0)) continue;
            if (!inside(px, py, rim)) {
                icon.Set(x, y, rimColor);
            } else if (py >= ground) {
                icon.Set(x, y, py < ground + std::max(1.0, s / 24.0) ? grass : soil);
            } else {
                icon.Set(x, y, Mix(top, bottom, py / ground));
            }
        }
    if (size >= 48) {
        // The hero, as tall as most of the square, feet on the grass.
        const double scale = s * 0.74 / 48.0;
        const int w = static_cast<int>(std::ceil(32 * scale)), h = static_cast<int>(std::ceil(48 * scale));
        const Canvas hero = DrawHero(WavePose(2, 11), w, h, scale);
        icon.Draw(hero, (size - w) / 2, static_cast<int>(std::lround(ground)) - h);
    } else {
        // Too small for the whole figure: head and shoulders fill the square.
        const double scale = s / 30.0;
        const int w = static_cast<int>(std::ceil(32 * scale)), h = static_cast<int>(std::ceil(48 * scale));
        const Canvas hero = DrawHero(StandPose(0, 10), w, h, scale);
        Canvas bust = hero.Crop(0, 0, w, size);
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < w; ++x)
                if (!inside((size - w) / 2 + x + 0.5, y + 0.5, rim)) bust.Set(x, y, kClear);
        icon.Draw(bust, (size - w) / 2, static_cast<int>(s * 0.06));
    }
    return icon;
}

} // namespace artgen
