// Full-screen pictures: the title screen, the backdrop behind the levels and
// the credits background. The title is put together from the meadow tiles,
// the hero and enemies, under the game's logo.
#include "Draw.h"
#include "Fonts.h"
#include "Hero.h"
#include "Items.h"
#include "TileTheme.h"

#include <algorithm>
#include <cmath>

namespace artgen {

namespace {

constexpr double kPi = 3.14159265358979;

// A vertical gradient through the colours, dithered between neighbours.
void Gradient(Canvas& c, int y0, int y1, const std::vector<Rgba>& stops) {
    for (int y = y0; y < y1; ++y) {
        double t = (y - y0 + 0.5) / (y1 - y0) * (stops.size() - 1);
        int i = std::min(static_cast<int>(t), static_cast<int>(stops.size()) - 2);
        double f = t - i;
        for (int x = 0; x < c.Width(); ++x) {
            // Four flat steps between two stops, the seams dithered.
            double step = std::floor(f * 4) / 4, frac = f * 4 - std::floor(f * 4);
            double level = step + (Dither(x, y, frac) ? 0.25 : 0.0);
            c.Set(x, y, Mix(stops[static_cast<size_t>(i)], stops[static_cast<size_t>(i) + 1], level));
        }
    }
}

void Cloud(Canvas& c, double cx, double cy, double w, double h, int seed) {
    Mask m(c.Width(), c.Height());
    m.FillEllipse(cx, cy + h * 0.25, w / 2, h * 0.3);
    int n = static_cast<int>(w / 18) + 2;
    for (int k = 0; k < n; ++k) {
        double x = cx - w / 2 + w * (k + 0.5) / n;
        double r = h * (0.35 + 0.25 * Hash01(k, 0, seed)) * (1 - 0.4 * std::abs(x - cx) / (w / 2));
        m.FillCircle(x, cy + h * 0.2 - r * 0.6, r);
    }
    Ramp cr{C("sky.3"), C("white.2"), C("white.3"), C("white.4"), C("white.4")};
    PaintOptions o;
    o.outlineColor = C("sky.2");
    o.softness = 4;
    Paint(c, m, cr, o);
}

// The title lettering: gold letters on a deep red extrusion with a dark outline.
void Logo(Canvas& c, const std::string& text, int centreX, int top) {
    Mask letters = TextMask(text, "LiberationSans-Bold.ttf", 118, 4);
    // Trim the mask to the letters.
    int minX = letters.Width(), maxX = 0, minY = letters.Height(), maxY = 0;
    for (int y = 0; y < letters.Height(); ++y)
        for (int x = 0; x < letters.Width(); ++x)
            if (letters.Get(x, y)) minX = std::min(minX, x), maxX = std::max(maxX, x), minY = std::min(minY, y), maxY = std::max(maxY, y);
    const int w = maxX - minX + 1, h = maxY - minY + 1, depth = 9;
    const int ox = centreX - w / 2 - minX, oy = top - minY;
    Mask face(c.Width(), c.Height());
    face.Add(letters, ox, oy);
    Mask block = face;
    for (int k = 1; k <= depth; ++k) block.Add(face.Shifted(k, k));
    c.FillMask(block.Dilated(4).Shifted(3, 4), C("night.0"));
    c.FillMask(block.Dilated(4), Outline());
    for (int k = depth; k >= 1; --k) c.FillMask(face.Shifted(k, k), k > depth / 2 ? C("fire.0") : C("fire.1"));
    c.FillMask(face.Dilated(1), C("fire.0"));
    const int y0 = top, y1 = top + h;
    for (int y = y0; y < y1; ++y)
        for (int x = 0; x < c.Width(); ++x) {
            if (!face.Get(x, y)) continue;
            double t = (y - y0 + 0.5) / (y1 - y0);
            Rgba col = t < 0.18 ? C("gold.4") : t < 0.45 ? C("gold.3") : t < 0.52 ? C("orange.3") : t < 0.8 ? C("gold.2") : C("orange.2");
            if (!face.Get(x, y - 2) || !face.Get(x - 2, y)) col = Mix(col, C("white.4"), 0.6);
            else if (!face.Get(x, y + 2) || !face.Get(x + 2, y)) col = Mix(col, C("fire.1"), 0.5);
            c.Set(x, y, col);
        }
    for (int k = 0; k < 4; ++k) {
        int x = centreX - w / 2 + static_cast<int>(w * (0.1 + 0.27 * k)), y = top + 6 + (k % 2) * (h / 2);
        if (face.Get(x, y)) Sparkle(c, x, y, 4, C("gold.4"), C("white.4"));
    }
}

std::vector<Canvas> Title(const ItemSpec& s) {
    Canvas c(s.Width, s.Height);
    std::vector<Canvas> t = BuildTileSheet(ThemeByName("meadow"));
    auto tile = [&](int index, int col, int row) { c.Draw(t[static_cast<size_t>(index)], col * 32, row * 32); };
    Gradient(c, 0, 352, {C("sky.0"), C("sky.1"), C("sky.2"), C("sky.3"), C("sky.4")});
    // Sun behind the logo's right end, rays fanning out.
    for (int y = 0; y < 352; ++y)
        for (int x = 0; x < s.Width; ++x) {
            double dx = x - 540.0, dy = y - 70.0, d = std::sqrt(dx * dx + dy * dy);
            double ang = std::atan2(dy, dx);
            if (d < 28) c.Set(x, y, d < 24 ? (d < 16 ? C("white.4") : C("gold.4")) : C("gold.3"));
            else if (d < 200 && std::fmod(ang + 2 * kPi, kPi / 8) < kPi / 16 && Dither(x, y, 0.28 * (1 - d / 200)))
                c.Set(x, y, Mix(c.Get(x, y), C("white.4"), 0.35));
        }
    Cloud(c, 90, 190, 150, 44, 1);
    Cloud(c, 470, 215, 120, 36, 2);
    Cloud(c, 250, 250, 90, 26, 3);
    // Far mountains and a castle on a hill.
    const int mountains[20] = {87, 88, 88, 87, -1, 85, 86, 87, -1, -1, 85, 86, 86, 87, -1, -1, 85, 86, 87, -1};
    for (int col = 0; col < 20; ++col) {
        int m = mountains[col];
        if (m == 86) tile(86, col, 8), tile(88, col, 9);
        else if (m == 85) tile(85, col, 9);
        else if (m == 87) tile(87, col, 9);
        else if (m == 88) tile(89, col, 9);
        tile(88, col, 10);
    }
    for (int col = 0; col < 20; ++col) {
        bool rise = col == 3 || col == 12, fall = col == 8 || col == 17;
        bool top = (col > 3 && col < 8) || (col > 12 && col < 17);
        if (rise) tile(80, col, 10);
        else if (fall) tile(82, col, 10);
        else if (top) tile(col == 6 ? 84 : 81, col, 10);
        if (top || rise || fall) tile(83, col, 11);
        else tile(81, col, 11);
        tile(83, col, 12);
    }
    for (int col : {2, 9, 11, 14}) tile(75, col, col % 2 ? 11 : 10);
    // Meadow in front: a big oak on the right, bushes, flowers, a fence.
    for (int col = 0; col < 20; ++col) tile(col == 7 ? 16 : col == 13 ? 17 : 1, col, 13), tile(col == 10 ? 18 : 4, col, 14);
    const int tree[9] = {50, 51, 52, 60, 61, 62, 70, 71, 72};
    for (int k = 0; k < 9; ++k) tile(tree[k], 16 + k % 3, 10 + k / 3);
    tile(42, 5, 12), tile(43, 6, 12), tile(41, 4, 12), tile(40, 8, 12), tile(46, 11, 12), tile(47, 12, 12), tile(48, 13, 12);
    tile(41, 14, 12), tile(49, 15, 12), tile(40, 19, 12);
    // The hero on the left, a snail and a bat on the right.
    Canvas hero = DrawHero(WavePose(2, 11), 96, 144, 3.0);
    c.Draw(hero, 22, 416 - 144);
    Canvas snail(32, 32);
    {
        ItemSpec desc;
        desc.Width = desc.Height = 32;
        desc.Frames = 12;
        GeneratorTable g;
        AddEnemyGenerators(g);
        std::vector<Canvas> snails = g["snail"](desc);
        c.Draw(snails[8].Enlarged(2), 470, 416 - 64);
        desc.Frames = 6;
        std::vector<Canvas> bats = g["bat"](desc);
        c.Draw(bats[1].Enlarged(2), 560, 250);
    }
    Logo(c, "VARNOK", 320, 28);
    // A darker strip at the bottom under the small print.
    for (int y = 452; y < 480; ++y)
        for (int x = 0; x < s.Width; ++x) c.Set(x, y, Scale(c.Get(x, y), 0.55));
    return {c};
}

// The backdrop behind every level's tile layers: open sky with far clouds.
std::vector<Canvas> Backdrop(const ItemSpec& s) {
    Canvas c(s.Width, s.Height);
    Gradient(c, 0, s.Height, {C("sky.1"), C("sky.2"), C("sky.3"), C("sky.4")});
    Cloud(c, 120, 120, 170, 40, 5);
    Cloud(c, 430, 80, 120, 30, 6);
    Cloud(c, 560, 230, 110, 28, 7);
    Cloud(c, 250, 300, 90, 22, 8);
    return {c};
}

// The credits background: deep blue with diamonds and stars, repeating
// seamlessly every 200 x 201 pixels (it is tiled and scrolls).
std::vector<Canvas> CreditsBackground(const ItemSpec& s) {
    Canvas c(s.Width, s.Height);
    const int w = s.Width, h = s.Height;
    const double cw = w / 4.0, ch = h / 3.0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double gx = std::fmod(x + 0.5, cw) - cw / 2, gy = std::fmod(y + 0.5, ch) - ch / 2;
            int row = static_cast<int>((y + 0.5) / ch);
            if (row % 2) gx = std::fmod(x + 0.5 + cw / 2, cw) - cw / 2;
            double d = std::abs(gx) / (cw * 0.42) + std::abs(gy) / (ch * 0.42);
            // Smooth 24-bit shading: the diamonds glow toward their middles.
            Rgba base = Mix(C("night.1"), C("night.2"), 0.5 + 0.5 * std::sin(x * 2 * kPi / w + y * 2 * kPi / h));
            Rgba col = base;
            if (d < 1.0) col = Mix(C("night.3"), C("purple.1"), 1.0 - d);
            if (std::abs(d - 1.0) < 0.06) col = C("night.4");
            if (d < 0.25) col = Mix(C("purple.2"), C("purple.3"), 1 - d * 4);
            c.Set(x, y, col);
        }
    for (int k = 0; k < 24; ++k) {
        // Kept off the edges so no star is cut where the picture repeats.
        int x = 3 + static_cast<int>((w - 6) * Hash01(k, 1, 77)), y = 3 + static_cast<int>((h - 6) * Hash01(k, 2, 77));
        if (k % 5 == 0) Sparkle(c, x, y, 2, C("night.4"), C("white.4"));
        else c.Set(x, y, k % 2 ? C("white.3") : C("gold.4"));
    }
    return {c};
}

} // namespace

void AddSceneGenerators(GeneratorTable& t) {
    t["title"] = Title;
    t["backdrop"] = Backdrop;
    t["credits-background"] = CreditsBackground;
}

} // namespace artgen
