// Screen fade, landing dust, speed trail sparkles and the collect burst.
#include "Draw.h"
#include "Items.h"

#include <cmath>

namespace artgen {

int Bayer8(int x, int y) {
    static const int m[8][8] = {{0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
                                {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
                                {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
                                {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21}};
    return m[y & 7][x & 7];
}

void Sparkle(Canvas& c, int x, int y, int size, Rgba arm, Rgba core) {
    for (int k = 1; k <= size; ++k) {
        Rgba a = k == size ? Mix(arm, core, 0.0) : arm;
        c.Set(x + k, y, a), c.Set(x - k, y, a), c.Set(x, y + k, a), c.Set(x, y - k, a);
    }
    if (size >= 3) {
        c.Set(x + 1, y + 1, arm), c.Set(x - 1, y - 1, arm), c.Set(x + 1, y - 1, arm), c.Set(x - 1, y + 1, arm);
    }
    c.Set(x, y, core);
}

namespace {

// Pattern 0 is nearly clear, the last one black: a fade-in runs the patterns
// from the last to the first, a fade-out from the first to the last.
std::vector<Canvas> Fade(const ItemSpec& s) {
    std::vector<Canvas> frames;
    for (int i = 0; i < s.Frames; ++i) {
        Canvas f(s.Width, s.Height);
        double level = (i + 1.0) / s.Frames;
        for (int y = 0; y < s.Height; ++y)
            for (int x = 0; x < s.Width; ++x)
                if (Dither(x, y, level)) f.Set(x, y, {0, 0, 0, 255});
        frames.push_back(f);
    }
    return frames;
}

// Two dust clouds rolling away from the feet, growing and thinning out.
std::vector<Canvas> Dust(const ItemSpec& s) {
    std::vector<Canvas> frames;
    const Ramp& sand = R("sand");
    for (int i = 0; i < s.Frames; ++i) {
        Canvas f(s.Width, s.Height);
        double t = (i + 0.5) / s.Frames;
        double spread = 4 + t * (s.Width / 2 - 8);
        double r = 3 + 3.5 * std::sin(t * 3.14159) + t * 1.5;
        // Resting on the bottom row (the feet) at first, then rising a little.
        double cy = s.Height - r - t * 2.5;
        for (int side : {-1, 1}) {
            Mask m(s.Width, s.Height);
            double cx = s.Width / 2.0 + side * spread;
            m.FillCircle(cx, cy, r);
            m.FillCircle(cx - side * r * 0.9, cy + r * 0.35, r * 0.7);
            m.FillCircle(cx + side * r * 0.6, cy - r * 0.3, r * 0.55);
            // Thin out as the cloud dies away.
            double keep = 1.0 - std::max(0.0, t - 0.45) * 1.6;
            Mask thin(s.Width, s.Height);
            for (int y = 0; y < s.Height; ++y)
                for (int x = 0; x < s.Width; ++x)
                    if (m.Get(x, y) && Dither(x, y, keep)) thin.Set(x, y);
            PaintOptions o;
            o.outline = false;
            o.softness = 1;
            Ramp light{sand[2], sand[3], sand[3], sand[4], sand[4]};
            Paint(f, thin, light, o);
        }
        frames.push_back(f);
    }
    return frames;
}

// Twinkles along the body height; each frame lights them in turn.
std::vector<Canvas> Trace(const ItemSpec& s) {
    std::vector<Canvas> frames;
    const Rgba arm = C("ice.3"), core = C("white.4"), dim = C("ice.2");
    const int n = s.Frames;
    for (int i = 0; i < n; ++i) {
        Canvas f(s.Width, s.Height);
        for (int k = 0; k < 5; ++k) {
            int phase = (i + k * 3) % n;
            int size = phase < n / 3 ? 3 : phase < 2 * n / 3 ? 2 : 1;
            int x = s.Width / 2 + static_cast<int>(std::lround(6 * std::sin(k * 2.1 + i * 0.4)));
            int y = 6 + k * (s.Height - 12) / 4;
            Sparkle(f, x, y, size, size == 1 ? dim : arm, core);
        }
        frames.push_back(f);
    }
    return frames;
}

// A ring of stars bursting out of the centre and fading.
std::vector<Canvas> Vanish(const ItemSpec& s) {
    std::vector<Canvas> frames;
    const Rgba arm = C("gold.3"), core = C("white.4"), pale = C("gold.4");
    for (int i = 0; i < s.Frames; ++i) {
        Canvas f(s.Width, s.Height);
        double t = (i + 1.0) / s.Frames;
        double cx = s.Width / 2.0 - 0.5, cy = s.Height / 2.0 - 0.5;
        if (i < 2) Sparkle(f, static_cast<int>(cx), static_cast<int>(cy), 5 - i * 2, pale, core);
        double radius = 3 + t * (s.Width / 2.0 - 5);
        for (int k = 0; k < 8; ++k) {
            double a = k * 3.14159 / 4 + t * 0.6;
            int x = static_cast<int>(std::lround(cx + radius * std::cos(a)));
            int y = static_cast<int>(std::lround(cy + radius * std::sin(a)));
            int size = t < 0.5 ? 2 : t < 0.85 ? 1 : 0;
            Sparkle(f, x, y, size, k % 2 ? arm : pale, core);
        }
        frames.push_back(f);
    }
    return frames;
}

} // namespace

void AddEffectGenerators(GeneratorTable& t) {
    t["fade"] = Fade;
    t["dust"] = Dust;
    t["trace"] = Trace;
    t["vanish"] = Vanish;
}

} // namespace artgen
