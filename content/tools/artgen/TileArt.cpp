// Tiles that are pictures rather than terrain: decorations, distant hills and
// sky, weather, switch tiles, one-way ledges and the animated sets. Larger
// pictures (trees, bushes) are drawn whole and cut into tiles.
#include "Draw.h"
#include "TileTheme.h"

#include <algorithm>
#include <cmath>

namespace artgen {

namespace {

constexpr double kPi = 3.14159265358979;

Canvas& Tile(std::vector<Canvas>& tiles, int i) { return tiles[static_cast<size_t>(i)]; }

// Cuts a picture of (cols x 32) x (rows x 32) into tiles at the given indices (row-major).
void Cut(std::vector<Canvas>& tiles, const Canvas& pic, const std::vector<int>& indices, int cols) {
    for (size_t k = 0; k < indices.size(); ++k) {
        int cx = static_cast<int>(k) % cols, cy = static_cast<int>(k) / cols;
        Tile(tiles, indices[k]) = pic.Crop(cx * 32, cy * 32, 32, 32);
    }
}

void Shape(Canvas& c, const Mask& m, const std::string& ramp, double light = 1.0) { PaintShape(c, m, ramp, light); }

// A ramp pushed toward another colour: far things fade into the sky.
Ramp Faded(const Ramp& r, Rgba toward, double t) {
    Ramp out;
    for (Rgba c : r) out.push_back(Mix(c, toward, t));
    return out;
}

Rgba SkyColor(const Theme& t, int band) { return R(t.sky)[static_cast<size_t>(1 + band)]; }

// ------------------------------------------------------------------ plants

void Bush(Canvas& c, double cx, double base, double w, double h, const std::string& leaf, int seed, bool berries) {
    Mask m(c.Width(), c.Height());
    int n = static_cast<int>(w / 6);
    for (int k = 0; k <= n; ++k) {
        double x = cx - w / 2 + w * k / std::max(1, n);
        double r = h * (0.42 + 0.18 * Hash01(k, 1, seed)) * (1.0 - 0.5 * std::pow(std::abs(x - cx) / (w / 2), 2));
        m.FillCircle(x, base - r, r);
    }
    m.FillEllipse(cx, base - h * 0.55, w * 0.38, h * 0.5);
    Mask clip(c.Width(), c.Height());
    clip.FillRect(0, 0, c.Width(), static_cast<int>(base));
    m.Intersect(clip);
    Shape(c, m, leaf);
    const Ramp& r = R(leaf);
    // Leaf clusters catching the light.
    for (int k = 0; k < n * 2; ++k) {
        int x = static_cast<int>(cx - w / 2 + w * Hash01(k, 3, seed));
        int y = static_cast<int>(base - h * (0.3 + 0.6 * Hash01(k, 4, seed)));
        if (m.Get(x, y) && m.Get(x + 2, y + 1)) c.Set(x, y, r[4]), c.Set(x + 1, y, r[3]), c.Set(x, y + 1, r[3]);
    }
    if (berries)
        for (int k = 0; k < n; ++k) {
            int x = static_cast<int>(cx - w / 2 + 3 + (w - 6) * Hash01(k, 5, seed));
            int y = static_cast<int>(base - 3 - (h - 6) * Hash01(k, 6, seed));
            if (m.Get(x, y) && m.Get(x + 1, y + 1)) c.Set(x, y, C("red.3")), c.Set(x + 1, y + 1, C("red.1")), c.Set(x, y + 1, C("red.2"));
        }
}

void Trunk(Canvas& c, double x, double base, double top, double wBase, double wTop, const std::string& bark) {
    Mask m(c.Width(), c.Height());
    m.FillPolygon({{x - wBase / 2 - 2, base}, {x - wTop / 2, top}, {x + wTop / 2, top}, {x + wBase / 2 + 2, base}});
    Shape(c, m, bark);
    const Ramp& r = R(bark);
    for (int y = static_cast<int>(top) + 3; y < base - 2; y += 5)
        for (int k = -1; k <= 1; k += 2) {
            int px = static_cast<int>(x + k * 2 + (y % 3));
            if (m.Get(px, y) && m.Get(px, y + 1)) c.Set(px, y, r[1]), c.Set(px, y + 1, r[1]);
        }
}

Canvas OakTree(const std::string& leaf, int seed) {
    Canvas c(96, 96);
    Trunk(c, 48, 96, 50, 14, 9, "wood");
    Mask crown(96, 96);
    const double blobs[][3] = {{48, 30, 22}, {28, 40, 15}, {68, 40, 15}, {36, 22, 14}, {60, 20, 15}, {48, 12, 12}, {22, 52, 9}, {74, 52, 9}, {48, 50, 14}};
    for (auto& b : blobs) crown.FillCircle(b[0], b[1], b[2]);
    Shape(c, crown, leaf);
    const Ramp& r = R(leaf);
    for (int k = 0; k < 60; ++k) {
        int x = 8 + static_cast<int>(80 * Hash01(k, 1, seed)), y = 2 + static_cast<int>(60 * Hash01(k, 2, seed));
        if (!crown.Get(x, y) || !crown.Get(x + 3, y + 3) || !crown.Get(x - 2, y - 2)) continue;
        bool lit = x + y < 80;
        c.Set(x, y, lit ? r[4] : r[1]), c.Set(x + 1, y, lit ? r[3] : r[1]), c.Set(x, y + 1, lit ? r[3] : r[0]);
    }
    if (leaf == "leaf")
        for (int k = 0; k < 6; ++k) { // apples
            int x = 20 + static_cast<int>(56 * Hash01(k, 9, seed)), y = 20 + static_cast<int>(30 * Hash01(k, 8, seed));
            if (crown.Get(x - 2, y - 2) && crown.Get(x + 2, y + 2)) {
                Mask a(96, 96);
                a.FillCircle(x, y, 2.2);
                Shape(c, a, "red");
            }
        }
    return c;
}

Canvas PineTree(const std::string& leaf, bool snowy) {
    Canvas c(96, 96);
    Trunk(c, 48, 96, 70, 10, 7, "wood");
    for (int k = 0; k < 5; ++k) {
        double top = 2 + k * 15, bottom = top + 26, half = 12 + k * 7;
        Mask m(96, 96);
        m.FillPolygon({{48, top}, {48 + half, bottom}, {48 + half * 0.5, bottom - 3}, {48, bottom + 1}, {48 - half * 0.5, bottom - 3}, {48 - half, bottom}});
        Shape(c, m, leaf);
        if (snowy) {
            Mask s(96, 96);
            s.FillPolygon({{48, top}, {48 + half * 0.55, top + 14}, {48 + half * 0.25, top + 12}, {48, top + 15}, {48 - half * 0.3, top + 11}, {48 - half * 0.6, top + 14}});
            s.Intersect(m);
            Shape(c, s, "snow");
        }
    }
    return c;
}

Canvas GiantMushroom() {
    Canvas c(96, 96);
    Mask stem(96, 96);
    stem.FillPolygon({{40, 96}, {42, 40}, {54, 40}, {58, 96}});
    Shape(c, stem, "sand");
    Mask cap(96, 96);
    cap.FillEllipse(48, 38, 42, 24);
    Mask cut(96, 96);
    cut.FillRect(0, 40, 96, 56);
    cap.Subtract(cut);
    cap.FillEllipse(48, 40, 40, 5);
    Shape(c, cap, "teal");
    const Ramp& r = R("teal");
    const double spots[][3] = {{30, 26, 4}, {50, 18, 5}, {68, 28, 4}, {40, 34, 3}, {62, 36, 3}, {20, 36, 2.5}, {78, 38, 2.5}};
    for (auto& s : spots) {
        Mask m(96, 96);
        m.FillCircle(s[0], s[1], s[2]);
        m.Intersect(cap);
        c.FillMask(m, r[4]);
    }
    Mask gills(96, 96);
    gills.FillEllipse(48, 43, 34, 3);
    c.FillMask(gills, C("sand.1"));
    return c;
}

Canvas DeadTree() {
    Canvas c(96, 96);
    Mask m(96, 96);
    m.FillPolygon({{38, 96}, {42, 40}, {46, 20}, {50, 40}, {54, 96}});
    m.FillTaper(45, 50, 20, 28, 3.5, 1.5);
    m.FillTaper(20, 28, 12, 30, 1.5, 1.0);
    m.FillTaper(25, 34, 22, 18, 1.6, 0.8);
    m.FillTaper(48, 42, 74, 22, 3.5, 1.5);
    m.FillTaper(74, 22, 84, 24, 1.5, 0.8);
    m.FillTaper(64, 30, 66, 12, 1.8, 0.8);
    m.FillTaper(46, 26, 50, 6, 2.0, 0.8);
    m.FillTaper(36, 96, 28, 92, 3, 1.5);
    m.FillTaper(56, 96, 66, 93, 3, 1.5);
    Shape(c, m, "log");
    return c;
}

// ------------------------------------------------------------------ small things

void Rock(Canvas& c, double cx, double base, double w, double h, const std::string& ramp) {
    Mask m(c.Width(), c.Height());
    m.FillEllipse(cx, base - h / 2, w / 2, h / 2);
    m.FillEllipse(cx - w * 0.2, base - h * 0.6, w * 0.3, h * 0.45);
    Mask clip(c.Width(), c.Height());
    clip.FillRect(0, 0, c.Width(), static_cast<int>(base));
    m.Intersect(clip);
    Shape(c, m, ramp);
}

void Signpost(Canvas& c, bool up) {
    Mask post(32, 32);
    post.FillRect(14, 12, 4, 20);
    Shape(c, post, "wood");
    Mask board(32, 32);
    if (up) board.FillPolygon({{16, 1}, {26, 9}, {21, 9}, {21, 14}, {11, 14}, {11, 9}, {6, 9}});
    else board.FillPolygon({{3, 6}, {22, 6}, {29, 12}, {22, 18}, {3, 18}});
    Shape(c, board, "wood");
    const Ramp& r = R("wood");
    if (up) for (int y = 6; y < 12; ++y) c.Set(16, y, r[4]);
    else for (int x = 7; x < 21; x += 2) c.Set(x, 12, r[1]);
}

void Fence(Canvas& c, int part, const std::string& ramp) {
    Mask m(32, 32);
    m.FillRect(part == 0 ? 8 : 0, 12, part == 0 ? 24 : part == 2 ? 24 : 32, 4);
    m.FillRect(part == 0 ? 8 : 0, 22, part == 0 ? 24 : part == 2 ? 24 : 32, 4);
    Shape(c, m, ramp);
    for (int x : {part == 0 ? 6 : 13, part == 2 ? 22 : 29}) {
        if (part == 1 && x == 29) x = 28;
        Mask p(32, 32);
        p.FillPolygon({{x + 0.0, 8}, {x + 2.0, 5}, {x + 4.0, 8}, {x + 4.0, 32}, {x + 0.0, 32}});
        Shape(c, p, ramp);
    }
}

void Mushroom(Canvas& c, double cx, const std::string& cap, bool spots) {
    Mask stem(32, 32);
    stem.FillRect(static_cast<int>(cx) - 2, 20, 5, 12);
    Shape(c, stem, "sand");
    Mask m(32, 32);
    m.FillEllipse(cx, 20, 9, 8);
    Mask cut(32, 32);
    cut.FillRect(0, 21, 32, 11);
    m.Subtract(cut);
    Shape(c, m, cap);
    if (spots) {
        c.Set(static_cast<int>(cx) - 4, 16, C("white.4")), c.Set(static_cast<int>(cx) - 3, 16, C("white.4"));
        c.Set(static_cast<int>(cx) + 2, 14, C("white.4")), c.Set(static_cast<int>(cx) + 4, 18, C("white.4"));
    }
}

void Crystal(Canvas& c, double cx, double base, double h, const std::string& ramp) {
    const Ramp& r = R(ramp);
    const double parts[][3] = {{-6, 0.55, -14}, {6, 0.6, 12}, {0, 1.0, 0}};
    for (auto& p : parts) {
        Mask m(c.Width(), c.Height());
        double x = cx + p[0], top = base - h * p[1], lean = p[2] * 0.15;
        m.FillPolygon({{x - 3 + lean * 0.3, base}, {x - 3.5 + lean, top + 4}, {x + lean, top}, {x + 3.5 + lean, top + 4}, {x + 3 + lean * 0.3, base}});
        Shape(c, m, ramp);
        c.Set(static_cast<int>(x + lean - 1), static_cast<int>(top + 4), r[4]);
        c.Set(static_cast<int>(x + lean - 1), static_cast<int>(top + 5), r[4]);
    }
}

void Stalagmite(Canvas& c, double cx, double base, double h, double w, const std::string& ramp, bool hanging) {
    Mask m(c.Width(), c.Height());
    if (hanging) m.FillPolygon({{cx - w / 2, base}, {cx + w / 2, base}, {cx + 1, base + h}, {cx - 1, base + h}});
    else m.FillPolygon({{cx - w / 2, base}, {cx - 1, base - h}, {cx + 1, base - h}, {cx + w / 2, base}});
    Shape(c, m, ramp);
}

void Skull(Canvas& c, double cx, double base) {
    Mask m(32, 32);
    m.FillCircle(cx, base - 8, 6);
    m.FillRect(static_cast<int>(cx) - 3, static_cast<int>(base) - 5, 7, 5);
    Shape(c, m, "white");
    c.FillRect(static_cast<int>(cx) - 4, static_cast<int>(base) - 9, 3, 3, Outline());
    c.FillRect(static_cast<int>(cx) + 1, static_cast<int>(base) - 9, 3, 3, Outline());
    c.Set(static_cast<int>(cx), static_cast<int>(base) - 5, Outline());
    for (int x = -2; x <= 2; x += 2) c.Set(static_cast<int>(cx) + x, static_cast<int>(base) - 2, Outline());
}

void Snowman(Canvas& c) {
    Mask body(32, 32);
    body.FillCircle(16, 23, 8);
    body.FillCircle(16, 11, 6);
    Shape(c, body, "snow");
    c.Set(14, 10, Outline()), c.Set(18, 10, Outline());
    c.Set(16, 12, C("orange.3")), c.Set(17, 12, C("orange.3")), c.Set(18, 13, C("orange.2"));
    for (int y : {20, 24}) c.Set(16, y, Outline());
    Mask hat(32, 32);
    hat.FillRect(12, 4, 9, 2);
    hat.FillRect(13, 0, 7, 5);
    Shape(c, hat, "night");
}

void Crate(Canvas& c, const std::string& ramp) {
    Mask m(32, 32);
    m.FillRect(2, 3, 28, 28);
    Shape(c, m, ramp);
    const Ramp& r = R(ramp);
    for (int k = 0; k < 24; ++k) {
        c.Set(4 + k, 5 + k, r[1]), c.Set(5 + k, 5 + k, r[3]);
        c.Set(27 - k, 5 + k, r[1]);
    }
    c.FillRect(4, 5, 24, 2, r[3]);
    c.FillRect(4, 27, 24, 2, r[1]);
}

void Barrel(Canvas& c) {
    Mask m(32, 32);
    m.FillEllipse(16, 18, 11, 13);
    Mask clip(32, 32);
    clip.FillRect(0, 6, 32, 25);
    m.Intersect(clip);
    Shape(c, m, "wood");
    for (int y : {10, 25}) {
        Mask hoop(32, 32);
        hoop.FillRect(0, y, 32, 2);
        hoop.Intersect(m);
        c.FillMask(hoop, C("metal.2"));
    }
}

// A hanging vine, chain or icicle string: part 0 top, 1 middle, 2 end.
void Hanging(Canvas& c, const Theme& t, int part) {
    const bool chain = t.kind == ThemeKind::Caves || t.kind == ThemeKind::Castle;
    if (chain) {
        for (int y = part == 0 ? 0 : -4; y < (part == 2 ? 20 : 32); y += 8) {
            Mask link(32, 32);
            link.FillEllipse(16, y + 4, 3, 4.5);
            Mask hole(32, 32);
            hole.FillEllipse(16, y + 4, 1.2, 2.5);
            link.Subtract(hole);
            Shape(c, link, "metal");
        }
        if (part == 2) {
            Mask hook(32, 32);
            hook.FillCapsule(16, 20, 16, 27, 1.5);
            hook.FillCapsule(16, 27, 20, 24, 1.4);
            Shape(c, hook, "metal");
        }
        return;
    }
    const std::string ramp = t.kind == ThemeKind::Ice ? "ice" : t.leaf;
    Mask m(32, 32);
    double end = part == 2 ? 22 : 33;
    for (double y = part == 0 ? 0 : -1; y < end; y += 1) m.FillCircle(16 + 2.5 * std::sin(y * 0.35), y, 1.6);
    if (t.kind != ThemeKind::Ice)
        for (int k = 0; k < 4; ++k) {
            double y = 4 + k * 8 + (part == 2 ? -2 : 0);
            if (y > end) break;
            m.FillEllipse(16 + 2.5 * std::sin(y * 0.35) + (k % 2 ? 4 : -4), y, 3, 1.8);
        }
    else
        for (int k = 0; k < 3; ++k) m.FillPolygon({{12.0 + k * 4, 0}, {15.0 + k * 4, 0}, {13.5 + k * 4, 6.0 + k * 3}});
    Shape(c, m, ramp);
}

void Cobweb(Canvas& c) {
    Rgba w = Mix(C("white.3"), Rgba{0, 0, 0, 255}, 0.1);
    for (int k = 0; k < 5; ++k) {
        double a = k * kPi / 8;
        Mask m(32, 32);
        m.Line(0, 0, static_cast<int>(30 * std::cos(a)), static_cast<int>(30 * std::sin(a)));
        c.FillMask(m, w);
    }
    for (int r = 8; r <= 26; r += 6)
        for (int k = 0; k < 4; ++k) {
            double a0 = k * kPi / 8, a1 = (k + 1) * kPi / 8;
            Mask m(32, 32);
            m.Line(static_cast<int>(r * std::cos(a0)), static_cast<int>(r * std::sin(a0)),
                   static_cast<int>((r - 2) * std::cos((a0 + a1) / 2)), static_cast<int>((r - 2) * std::sin((a0 + a1) / 2)));
            m.Line(static_cast<int>((r - 2) * std::cos((a0 + a1) / 2)), static_cast<int>((r - 2) * std::sin((a0 + a1) / 2)),
                   static_cast<int>(r * std::cos(a1)), static_cast<int>(r * std::sin(a1)));
            c.FillMask(m, w);
        }
}

void Lamp(Canvas& c) {
    Mask chain(32, 32);
    chain.FillRect(15, 0, 2, 12);
    Shape(c, chain, "metal", 0);
    Mask body(32, 32);
    body.FillPolygon({{10, 12}, {22, 12}, {24, 24}, {8, 24}});
    Shape(c, body, "metal");
    Mask glow(32, 32);
    glow.FillRect(11, 15, 10, 7);
    c.FillMask(glow, C("gold.4"));
    c.FillRect(13, 16, 6, 5, C("white.4"));
}

void Window(Canvas& c, const Theme& t) {
    Mask frame(32, 32);
    frame.FillRect(6, 6, 20, 24);
    frame.FillCircle(16, 8, 10);
    Mask clip(32, 32);
    clip.FillRect(0, 0, 32, 30);
    frame.Intersect(clip);
    Shape(c, frame, t.kind == ThemeKind::Castle ? "masonry" : t.block.fill);
    Mask hole(32, 32);
    hole.FillRect(9, 9, 14, 19);
    hole.FillCircle(16, 10, 7);
    hole.Intersect(clip);
    Mask h2 = hole;
    Mask low(32, 32);
    low.FillRect(0, 0, 32, 28);
    h2.Intersect(low);
    c.FillMask(h2, t.stars ? C("night.1") : C("night.2"));
    c.Set(12, 12, C("white.4")), c.Set(19, 16, C("gold.4"));
    for (int y = 4; y < 28; ++y) c.Set(16, y, h2.Get(16, y) ? C("metal.1") : c.Get(16, y));
    for (int x = 9; x < 23; ++x)
        if (h2.Get(x, 17)) c.Set(x, 17, C("metal.1"));
}

void WallDecor(Canvas& c, const Theme& t) {
    switch (t.kind) {
    case ThemeKind::Castle: { // a shield
        Mask m(32, 32);
        m.FillPolygon({{6, 4}, {26, 4}, {26, 16}, {16, 29}, {6, 16}});
        Shape(c, m, "blue");
        Mask band(32, 32);
        band.FillPolygon({{14, 4}, {18, 4}, {18, 25}, {16, 27}, {14, 25}});
        band.Intersect(m);
        c.FillMask(band, C("gold.3"));
        break;
    }
    case ThemeKind::Caves: Crystal(c, 16, 28, 20, "purple"); break;
    case ThemeKind::Ice: { // frozen-in snowflake
        for (int k = 0; k < 3; ++k) {
            double a = k * kPi / 3;
            Mask m(32, 32);
            m.FillCapsule(16 - 11 * std::cos(a), 16 - 11 * std::sin(a), 16 + 11 * std::cos(a), 16 + 11 * std::sin(a), 1.2);
            Shape(c, m, "ice");
        }
        break;
    }
    default: { // a patch of ivy
        Mask m(32, 32);
        for (int k = 0; k < 9; ++k) m.FillCircle(6 + 20 * Hash01(k, 1, t.seed), 6 + 20 * Hash01(k, 2, t.seed), 3.5);
        Shape(c, m, t.leaf);
        break;
    }
    }
}

// Grass or snow blades along the bottom of a cell, for the front layer.
void ForegroundStrip(Canvas& c, const Theme& t) {
    const std::string ramp = t.kind == ThemeKind::Ice ? "snow" : t.kind == ThemeKind::Caves || t.kind == ThemeKind::Castle ? t.leaf : t.ground.top;
    const Ramp& r = R(ramp);
    for (int x = 0; x < 32; ++x) {
        int h = 6 + static_cast<int>(8 * Hash01(x, 3, t.seed)) + (x % 5 == 2 ? 4 : 0);
        for (int y = 31; y > 31 - h; --y) {
            int d = 31 - y;
            Rgba col = d > h - 2 ? r[4] : d > h / 2 ? r[3] : r[2];
            if ((x + d / 3) % 3 == 0) col = r[1];
            c.Set(x, y, col);
        }
        c.Set(x, 31 - h, Mix(r[0], Outline(), 0.4));
    }
}

// ------------------------------------------------------------------ rows 4-7

void Decorations(const Theme& t, std::vector<Canvas>& tiles) {
    const ThemeKind k = t.kind;
    // 40 tuft, 41 flower / fern / crystal
    {
        Canvas& c = Tile(tiles, 40);
        if (k == ThemeKind::Caves) Stalagmite(c, 16, 32, 14, 10, "cavestone", false);
        else if (k == ThemeKind::Castle) Skull(c, 16, 32);
        else {
            const Ramp& r = R(k == ThemeKind::Ice ? "snow" : t.ground.top);
            for (int b = 0; b < 7; ++b) {
                Mask m(32, 32);
                double x = 9 + b * 2.4, lean = (b - 3) * 1.6;
                m.FillTaper(x, 32, x + lean, 32 - 8 - 6 * Hash01(b, 0, t.seed), 1.4, 0.4);
                PaintOptions o;
                o.outlineColor = Mix(r[0], Outline(), 0.5);
                Paint(c, m, r, o);
            }
        }
    }
    {
        Canvas& c = Tile(tiles, 41);
        switch (k) {
        case ThemeKind::Meadow:
            for (int f = 0; f < 2; ++f) {
                double x = 10 + f * 12, top = 12 + f * 5;
                Mask stem(32, 32);
                stem.FillCapsule(x, 32, x, top, 0.8);
                Shape(c, stem, "leaf", 0.5);
                Mask leafm(32, 32);
                leafm.FillEllipse(x + 3, 26, 3, 1.5);
                Shape(c, leafm, "leaf");
                Mask petals(32, 32);
                for (int p = 0; p < 5; ++p) petals.FillCircle(x + 3.2 * std::cos(p * 1.2566), top + 3.2 * std::sin(p * 1.2566), 2.3);
                Shape(c, petals, f ? "gold" : "pink");
                Mask centre(32, 32);
                centre.FillCircle(x, top, 1.6);
                c.FillMask(centre, f ? C("orange.2") : C("gold.4"));
            }
            break;
        case ThemeKind::Forest:
            for (int f = 0; f < 5; ++f) {
                Mask m(32, 32);
                double a = (f - 2) * 0.5;
                m.FillTaper(16, 32, 16 + 14 * std::sin(a), 32 - 16 * std::cos(a) - 4, 2.2, 0.6);
                Shape(c, m, "moss");
            }
            break;
        case ThemeKind::Caves: Crystal(c, 16, 32, 22, "teal"); break;
        case ThemeKind::Ice: Crystal(c, 16, 32, 22, "ice"); break;
        case ThemeKind::Castle: { // a candle stand
            Mask m(32, 32);
            m.FillRect(10, 28, 12, 4);
            m.FillRect(14, 14, 4, 14);
            Shape(c, m, "gold");
            Mask wax(32, 32);
            wax.FillRect(13, 6, 6, 9);
            Shape(c, wax, "white");
            c.Set(16, 4, C("fire.4")), c.Set(16, 3, C("fire.3")), c.Set(15, 4, C("fire.3")), c.Set(16, 2, C("fire.2"));
            break;
        }
        }
    }
    // 42, 43 bush halves
    {
        Canvas bush(64, 32);
        if (k == ThemeKind::Caves) { Rock(bush, 24, 32, 34, 22, "cavestone"); Rock(bush, 44, 32, 26, 16, "rock"); }
        else if (k == ThemeKind::Castle) Bush(bush, 32, 32, 56, 24, "moss", t.seed, false);
        else if (k == ThemeKind::Ice) {
            Bush(bush, 32, 32, 56, 24, "teal", t.seed, false);
            Mask snowcap(64, 32);
            for (int x = 6; x < 58; x += 5) snowcap.FillEllipse(x, 11 + 5 * std::pow((x - 32) / 28.0, 2) * 2, 4.5, 3);
            snowcap.Intersect(bush.Coverage());
            Shape(bush, snowcap, "snow");
        } else Bush(bush, 32, 32, 58, 26, t.leaf, t.seed, k == ThemeKind::Meadow);
        Cut(tiles, bush, {42, 43}, 2);
    }
    // 44 rock / stump / skull pile / snowball / urn
    {
        Canvas& c = Tile(tiles, 44);
        switch (k) {
        case ThemeKind::Meadow: Rock(c, 16, 32, 24, 16, "rock"); break;
        case ThemeKind::Forest: {
            Trunk(c, 16, 32, 14, 20, 18, "wood");
            Mask top(32, 32);
            top.FillEllipse(16, 14, 9, 3);
            Shape(c, top, "sand");
            c.Set(16, 14, C("wood.1")), c.Set(14, 14, C("sand.2")), c.Set(18, 14, C("sand.2"));
            break;
        }
        case ThemeKind::Caves: Skull(c, 16, 32); break;
        case ThemeKind::Ice: {
            Mask m(32, 32);
            m.FillCircle(16, 22, 10);
            Shape(c, m, "snow");
            break;
        }
        case ThemeKind::Castle: {
            Mask m(32, 32);
            m.FillEllipse(16, 20, 9, 11);
            m.FillRect(12, 6, 9, 4);
            Mask clip(32, 32);
            clip.FillRect(0, 0, 32, 32);
            Shape(c, m, "orange");
            for (int x = 9; x < 24; ++x) c.Set(x, 18, C("orange.1"));
            break;
        }
        }
    }
    Signpost(Tile(tiles, 45), false);
    const std::string fence = k == ThemeKind::Castle ? "metal" : k == ThemeKind::Ice ? "ice" : k == ThemeKind::Caves ? "rock" : "wood";
    for (int p = 0; p < 3; ++p) Fence(Tile(tiles, 46 + p), p, fence);
    // 49 mushroom / stalagmite / snowman / lantern
    {
        Canvas& c = Tile(tiles, 49);
        switch (k) {
        case ThemeKind::Meadow: Mushroom(c, 16, "red", true); break;
        case ThemeKind::Forest: Mushroom(c, 12, "orange", false); Mushroom(c, 22, "orange", false); break;
        case ThemeKind::Caves: Stalagmite(c, 12, 32, 24, 10, "cavestone", false); Stalagmite(c, 22, 32, 14, 8, "cavestone", false); break;
        case ThemeKind::Ice: Snowman(c); break;
        case ThemeKind::Castle: Crate(c, "wood"); break;
        }
    }
    // Big tree (3 x 3) and tall object (2 x 3).
    Canvas big;
    switch (k) {
    case ThemeKind::Meadow: big = OakTree("leaf", t.seed); break;
    case ThemeKind::Forest: big = PineTree("moss", false); break;
    case ThemeKind::Caves: big = GiantMushroom(); break;
    case ThemeKind::Ice: big = PineTree("teal", true); break;
    case ThemeKind::Castle: big = DeadTree(); break;
    }
    Cut(tiles, big, {50, 51, 52, 60, 61, 62, 70, 71, 72}, 3);
    Canvas tall(64, 96);
    switch (k) {
    case ThemeKind::Meadow:
    case ThemeKind::Castle: { // a column with a broken top
        const std::string ramp = k == ThemeKind::Meadow ? "sandstone" : "masonry";
        Mask base(64, 96);
        base.FillRect(10, 84, 44, 12);
        Shape(tall, base, ramp);
        Mask shaft(64, 96);
        shaft.FillPolygon({{16, 84}, {16, 14}, {24, 8}, {30, 14}, {38, 6}, {48, 12}, {48, 84}});
        Shape(tall, shaft, ramp);
        const Ramp& r = R(ramp);
        for (int x = 21; x < 46; x += 6)
            for (int y = 16; y < 83; ++y) tall.Set(x, y, r[1]), tall.Set(x + 1, y, r[3]);
        if (k == ThemeKind::Meadow) {
            Mask ivy(64, 96);
            for (int y = 30; y < 84; y += 3) ivy.FillCircle(18 + 6 * std::sin(y * 0.2), y, 2.5);
            Shape(tall, ivy, "leaf");
        }
        break;
    }
    case ThemeKind::Forest: { // a standing stone with moss
        Mask m(64, 96);
        m.FillPolygon({{12, 96}, {14, 30}, {24, 8}, {40, 6}, {50, 28}, {52, 96}});
        Shape(tall, m, "rock");
        Mask moss(64, 96);
        moss.FillEllipse(30, 10, 16, 6);
        moss.FillEllipse(18, 40, 5, 12);
        moss.Intersect(m);
        Shape(tall, moss, "moss");
        const Ramp& r = R("rock");
        for (int y = 40; y < 80; y += 12) tall.FillRect(28, y, 8, 2, r[1]);
        break;
    }
    case ThemeKind::Caves: Stalagmite(tall, 32, 96, 92, 40, "cavestone", false); break;
    case ThemeKind::Ice: Crystal(tall, 32, 96, 90, "ice"); break;
    }
    Cut(tiles, tall, {53, 54, 63, 64, 73, 74}, 2);
    // 55-57 hanging, 58 stalactite, 59 cobweb or lamp
    for (int p = 0; p < 3; ++p) Hanging(Tile(tiles, 55 + p), t, p);
    {
        Canvas& c = Tile(tiles, 58);
        if (k == ThemeKind::Meadow || k == ThemeKind::Forest) {
            for (int r = 0; r < 4; ++r) {
                Mask m(32, 32);
                double x = 6 + r * 6;
                m.FillTaper(x, 0, x + 3 * std::sin(r * 2.0), 16 + r % 2 * 8, 1.6, 0.5);
                Shape(c, m, "wood");
            }
        } else {
            const std::string ramp = k == ThemeKind::Ice ? "ice" : k == ThemeKind::Caves ? "cavestone" : "masonry";
            Stalagmite(c, 16, 0, 26, 12, ramp, true);
            Stalagmite(c, 7, 0, 12, 7, ramp, true);
            Stalagmite(c, 25, 0, 16, 7, ramp, true);
        }
    }
    if (k == ThemeKind::Caves || k == ThemeKind::Castle) Cobweb(Tile(tiles, 59));
    else Lamp(Tile(tiles, 59));
    Window(Tile(tiles, 65), t);
    WallDecor(Tile(tiles, 66), t);
    Crate(Tile(tiles, 67), "wood");
    Barrel(Tile(tiles, 68));
    Signpost(Tile(tiles, 69), true);
    // 75 distant tree
    {
        Canvas& c = Tile(tiles, 75);
        Ramp leaf = Faded(R(t.leaf), SkyColor(t, 3), 0.35);
        Mask trunk(32, 32);
        trunk.FillRect(15, 20, 3, 12);
        c.FillMask(trunk, Faded(R("wood"), SkyColor(t, 3), 0.35)[1]);
        Mask crown(32, 32);
        if (k == ThemeKind::Forest || k == ThemeKind::Ice) crown.FillPolygon({{16, 2}, {26, 24}, {6, 24}});
        else crown.FillCircle(16, 13, 10);
        PaintOptions o;
        o.outlineColor = leaf[0];
        Paint(c, crown, leaf, o);
    }
    ForegroundStrip(Tile(tiles, 76), t);
    {
        Canvas fb(32, 32);
        Bush(fb, 16, 32, 30, 20, k == ThemeKind::Ice ? "teal" : t.leaf, t.seed + 5, false);
        Tile(tiles, 77) = fb;
    }
    // 78 dark fill, 79 dark wall for background layers
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            Tile(tiles, 78).Set(x, y, Scale(TextureColor(t.ground.texture, R(t.ground.fill), x, y, t.seed), 0.45));
            Tile(tiles, 79).Set(x, y, Scale(TextureColor(t.block.texture, R(t.block.fill), x, y, t.seed + 1), 0.5));
        }
}

// ------------------------------------------------------------------ rows 8-9

void Distance(const Theme& t, std::vector<Canvas>& tiles) {
    const Rgba haze = SkyColor(t, 3);
    // Near hills: flat shaded, outlined lightly; far mountains paler.
    auto hill = [&](int index, char kind, const Ramp& r, bool far, int variant) {
        Canvas& c = Tile(tiles, index);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                int surface = kind == '/' ? 31 - x : kind == '\\' ? x : kind == '^' ? std::abs(x - 16) * 2 : kind == '_' ? 0 : -1;
                if (y < surface) continue;
                int d = y - surface;
                Rgba col = r[2];
                if (kind != 'F' && d < 2) col = r[4];
                else if (kind != 'F' && d < 5) col = r[3];
                if (far && variant == 1 && kind == '^' && y < 12) col = d < 2 ? C("white.4") : C("white.3");
                if (!far && Hash01(x, y, t.seed + index) < 0.05) col = r[1];
                if (kind == '\\' && x > 26 - d / 2 && d > 3) col = r[1];
                c.Set(x, y, col);
            }
    };
    Ramp nearR = Faded(R(t.nearHill), haze, 0.3);
    Ramp farR = Faded(R(t.farHill), haze, t.kind == ThemeKind::Castle ? 0.2 : 0.45);
    hill(80, '/', nearR, false, 0);
    hill(81, '_', nearR, false, 0);
    hill(82, '\\', nearR, false, 0);
    hill(83, 'F', nearR, false, 0);
    // A hill top with a tree (a tower in caves and castle) in front of it, darker than the hill.
    hill(84, '_', nearR, false, 0);
    {
        Canvas& c = Tile(tiles, 84);
        PaintOptions o;
        o.outlineColor = Mix(nearR[0], Outline(), 0.3);
        o.softness = 1;
        if (t.kind == ThemeKind::Castle || t.kind == ThemeKind::Caves) {
            Mask m(32, 32);
            m.FillRect(10, 6, 12, 26);
            for (int x = 10; x < 22; x += 4) m.FillRect(x, 3, 2, 3);
            Ramp wall{nearR[0], nearR[0], nearR[1], nearR[1], nearR[2]};
            Paint(c, m, wall, o);
            c.FillRect(15, 12, 2, 4, C("gold.4"));
        } else {
            Ramp leaf{nearR[0], nearR[0], nearR[1], nearR[2], nearR[3]};
            Mask trunk(32, 32);
            trunk.FillRect(15, 22, 3, 10);
            Paint(c, trunk, Faded(R("wood"), haze, 0.3), o);
            Mask crown(32, 32);
            if (t.kind == ThemeKind::Forest || t.kind == ThemeKind::Ice) crown.FillPolygon({{16, 2}, {26, 25}, {6, 25}});
            else crown.FillCircle(16, 13, 10);
            Paint(c, crown, leaf, o);
        }
    }
    const bool snowcaps = t.kind == ThemeKind::Meadow || t.kind == ThemeKind::Ice;
    hill(85, '/', farR, true, 0);
    hill(86, '^', farR, true, snowcaps ? 1 : 0);
    hill(87, '\\', farR, true, 0);
    hill(88, 'F', farR, true, 0);
    hill(89, '_', farR, true, 0);
    // Sky bands and the dithered fades between them.
    for (int k = 0; k < 7; ++k) {
        Canvas& c = Tile(tiles, 90 + k);
        int band = k / 2;
        bool fade = k % 2 == 1;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                Rgba a = SkyColor(t, band), b = SkyColor(t, std::min(3, band + 1));
                Rgba col = fade && Dither(x, y, (y + 0.5) / 32.0) ? b : a;
                if (t.kind == ThemeKind::Caves) {
                    // Cave walls instead of sky: rock getting lighter toward the bottom.
                    Ramp wall = R("cavewall");
                    Rgba rock = TextureColor(Texture::Stones, wall, x, y, t.seed + 7);
                    col = Scale(rock, 0.55 + 0.15 * band + (fade && Dither(x, y, (y + 0.5) / 32.0) ? 0.15 : 0.0));
                }
                c.Set(x, y, col);
            }
        if (t.stars && band < 2)
            for (int s = 0; s < 3; ++s) {
                int x = static_cast<int>(32 * Hash01(s, k, t.seed)), y = static_cast<int>(32 * Hash01(s, k + 9, t.seed));
                c.Set(x, y, s == 0 ? C("white.4") : C("white.2"));
                if (s == 0 && k == 0) Sparkle(c, x, y, 1, C("white.2"), C("white.4"));
            }
    }
    // A cloud three tiles wide.
    {
        Canvas cloud(96, 32);
        Mask m(96, 32);
        m.FillEllipse(48, 24, 46, 7);
        const double puffs[][3] = {{14, 20, 9}, {30, 14, 12}, {48, 11, 12}, {64, 15, 11}, {80, 19, 9}};
        for (auto& p : puffs) m.FillCircle(p[0], p[1], p[2]);
        Mask clip(96, 32);
        clip.FillRect(0, 0, 96, 31);
        m.Intersect(clip);
        Ramp cr;
        if (t.kind == ThemeKind::Castle) cr = Faded(R("dusk"), C("night.2"), 0.3);
        else if (t.kind == ThemeKind::Caves) cr = Faded(R("rock"), C("cavewall.1"), 0.5);
        else cr = {Mix(C("white.1"), SkyColor(t, 2), 0.5), Mix(C("white.2"), SkyColor(t, 2), 0.3), C("white.3"), C("white.4"), C("white.4")};
        PaintOptions o;
        o.outlineColor = Mix(cr[0], SkyColor(t, 1), 0.3);
        o.softness = 3;
        Paint(cloud, m, cr, o);
        Cut(tiles, cloud, {97, 98, 99}, 3);
    }
}

// ------------------------------------------------------------------ rows 10-12

void Ledge(Canvas& c, const Theme& t, int part) {
    const bool wood = t.ledge == "wood";
    Mask m(32, 32);
    int x0 = (part == 0 || part == 3) ? 2 : 0, x1 = (part == 2 || part == 3) ? 30 : 32;
    m.FillRect(x0, 1, x1 - x0, 10);
    if (part == 0 || part == 3) m.FillCircle(4, 6, 4.5);
    if (part == 2 || part == 3) m.FillCircle(28, 6, 4.5);
    Mask clip(32, 32);
    clip.FillRect(1, 0, 30, 32);
    if (part == 1) clip.FillRect(0, 0, 32, 32);
    if (part == 0) clip.FillRect(1, 0, 31, 32);
    if (part == 2) clip.FillRect(0, 0, 31, 32);
    m.Intersect(clip);
    Canvas layer(32, 32);
    PaintOptions o;
    Paint(layer, m, R(t.ledge), o);
    // Opening the outline at the joins so middle pieces run on seamlessly.
    for (int y = 0; y < 32; ++y) {
        if (part != 0 && part != 3 && layer.Get(0, y) == Outline() && m.Get(1, y)) layer.Set(0, y, layer.Get(1, y));
        if (part != 2 && part != 3 && layer.Get(31, y) == Outline() && m.Get(30, y)) layer.Set(31, y, layer.Get(30, y));
    }
    c.Draw(layer, 0, 0);
    const Ramp& r = R(t.ledge);
    if (wood) {
        for (int x = (part == 0 ? 8 : 4); x < (part == 2 ? 26 : 32); x += 8) c.Set(x, 4, r[0]), c.Set(x, 8, r[0]);
        for (int x = 0; x < 32; ++x)
            if (m.Get(x, 6) && x % 11 < 5) c.Set(x, 6, r[1]);
    } else if (t.ledge == "ice") {
        for (int k = 0; k < 3; ++k) {
            double x = 6 + k * 10 + (part * 3) % 5;
            if (!m.Get(static_cast<int>(x), 9)) continue;
            Mask ic(32, 32);
            ic.FillPolygon({{x - 2, 11}, {x + 2, 11}, {x, 17.0 + k % 2 * 4}});
            Shape(c, ic, "ice");
        }
    } else {
        for (int x = 8; x < 32; x += 16)
            if (m.Get(x, 5)) for (int y = 2; y < 10; ++y) c.Set(x, y, r[1]);
    }
}

void Liquid(const Theme& t, std::vector<Canvas>& tiles) {
    const Ramp& r = R(t.liquid);
    for (int f = 0; f < 4; ++f) {
        Canvas& top = Tile(tiles, 110 + f);
        Canvas& body = Tile(tiles, 114 + f);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                // A wave of period 32 moving 8 pixels per frame, so tiles and frames join.
                double phase = (x + f * 8) * 2 * kPi / 32.0;
                double crest = 6 + 2.0 * std::sin(phase) + 0.8 * std::sin(phase * 2 + 1);
                double ripple = std::sin((x - f * 8) * 2 * kPi / 16.0 + y * 0.7) + std::sin((x + f * 8) * 2 * kPi / 32.0 - y * 0.4);
                Rgba deep = y > 20 ? r[1] : r[2];
                Rgba col = ripple > 1.5 ? r[3] : (ripple < -1.6 ? r[1] : deep);
                if (t.lava && Hash01((x + f * 3) / 2, (y + f * 5) / 2, t.seed) < 0.03) col = r[4];
                body.Set(x, y, col);
                if (y + 0.5 >= crest) {
                    double d = y + 0.5 - crest;
                    Rgba tc = d < 1 ? (t.lava ? r[4] : C("white.4")) : d < 2.5 ? r[3] : col;
                    top.Set(x, y, tc);
                }
            }
        if (t.lava)
            for (int b = 0; b < 2; ++b) { // bubbles rising in the surface
                int x = 6 + b * 16, y = 22 - f * 4 + b * 3;
                if (y > 8) {
                    Mask m(32, 32);
                    m.FillCircle(x, y, 1.8 + f * 0.3);
                    Tile(tiles, 110 + f).FillMask(m.Ring(), r[4]);
                }
            }
    }
    Tile(tiles, 128) = Tile(tiles, 110);
}

// The on / off pair of a switched block and a switched bridge plank.
void SwitchTiles(std::vector<Canvas>& tiles) {
    {
        Canvas& on = Tile(tiles, 108);
        Mask m(32, 32);
        m.FillRect(1, 1, 30, 30);
        Paint(on, m, R("gold"), {1.0, -1, false});
        for (int i = 0; i < 32; ++i) on.Set(i, 0, Outline()), on.Set(i, 31, Outline()), on.Set(0, i, Outline()), on.Set(31, i, Outline());
        for (int i = 1; i < 31; ++i) on.Set(i, 1, C("gold.4")), on.Set(1, i, C("gold.4")), on.Set(i, 30, C("gold.1")), on.Set(30, i, C("gold.1"));
        Mask bolt(32, 32);
        bolt.FillPolygon({{18, 5}, {9, 18}, {15, 18}, {13, 27}, {23, 13}, {17, 13}});
        Paint(on, bolt, R("white"), {0.6, -1, true, C("gold.0")});
        Canvas& off = Tile(tiles, 109);
        for (int i = 0; i < 32; ++i)
            if ((i / 3) % 2 == 0) off.Set(i, 0, C("gold.3")), off.Set(i, 31, C("gold.3")), off.Set(0, i, C("gold.3")), off.Set(31, i, C("gold.3"));
        for (int i = 0; i < 32; ++i)
            if ((i / 3) % 2 == 0) off.Set(i, 1, C("gold.1")), off.Set(1, i, C("gold.1"));
    }
    {
        Canvas& on = Tile(tiles, 118);
        Mask m(32, 32);
        m.FillRect(0, 1, 32, 9);
        Paint(on, m, R("metal"), {1.0, -1, false});
        for (int x = 0; x < 32; ++x) on.Set(x, 0, Outline()), on.Set(x, 10, Outline());
        for (int x = 0; x < 32; ++x) on.Set(x, 1, C("metal.4")), on.Set(x, 9, C("metal.1"));
        for (int x = 3; x < 32; x += 8) on.FillRect(x, 4, 3, 3, C("gold.3"));
        Canvas& off = Tile(tiles, 119);
        for (int x = 0; x < 32; ++x)
            if ((x / 3) % 2 == 0) off.Set(x, 0, C("metal.3")), off.Set(x, 10, C("metal.3"));
        for (int x = 3; x < 32; x += 8) off.Set(x + 1, 5, C("gold.2"));
    }
}

void Weather(const Theme& t, std::vector<Canvas>& tiles) {
    for (int v = 0; v < 4; ++v) {
        Canvas& rain = Tile(tiles, 100 + v);
        for (int k = 0; k < 3; ++k) {
            int x = static_cast<int>(32 * Hash01(k, v, t.seed + 70)), y = static_cast<int>(32 * Hash01(k, v + 5, t.seed + 70));
            int len = 5 + k % 3;
            for (int i = 0; i < len; ++i) rain.Set((x - i / 3 + 32) % 32, (y + i) % 32, i < 2 ? C("white.4") : C("ice.3"));
        }
        Canvas& snow = Tile(tiles, 104 + v);
        for (int k = 0; k < 3; ++k) {
            int x = static_cast<int>(30 * Hash01(k, v, t.seed + 71)) + 1, y = static_cast<int>(30 * Hash01(k, v + 5, t.seed + 71)) + 1;
            if (k == 0) {
                snow.Set(x, y, C("white.4"));
                snow.Set(x - 1, y, C("ice.4")), snow.Set(x + 1, y, C("ice.4")), snow.Set(x, y - 1, C("ice.4")), snow.Set(x, y + 1, C("ice.4"));
            } else {
                snow.Set(x, y, C("white.4")), snow.Set(x + 1, y, C("ice.4")), snow.Set(x, y + 1, C("ice.3"));
            }
        }
    }
}

// Four frames of the theme's light and extra animations.
void Animations(const Theme& t, std::vector<Canvas>& tiles) {
    for (int f = 0; f < 4; ++f) {
        Canvas& light = Tile(tiles, 120 + f);
        Canvas& extra = Tile(tiles, 124 + f);
        // A quarter turn per frame, starting off the axes so no two frames coincide.
        const double ph = f * kPi / 2 + 0.6;
        switch (t.kind) {
        case ThemeKind::Meadow: { // butterfly fluttering over a flower
            Mask stem(32, 32);
            stem.FillCapsule(16, 32, 16, 24, 0.8);
            Shape(light, stem, "leaf", 0.5);
            Mask petals(32, 32);
            for (int p = 0; p < 5; ++p) petals.FillCircle(16 + 2.8 * std::cos(p * 1.2566), 23 + 2.8 * std::sin(p * 1.2566), 2);
            Shape(light, petals, "gold");
            double bx = 16 + 6 * std::sin(ph), by = 9 + 2 * std::cos(ph * 2);
            double open = (f % 2) ? 1.0 : 3.0;
            Mask wings(32, 32);
            wings.FillEllipse(bx - open, by, open, 2.6);
            wings.FillEllipse(bx + open, by, open, 2.6);
            Shape(light, wings, "pink");
            light.Set(static_cast<int>(bx), static_cast<int>(by), Outline());
            light.Set(static_cast<int>(bx), static_cast<int>(by) + 1, Outline());
            break;
        }
        case ThemeKind::Forest: // fireflies drifting
            for (int k = 0; k < 4; ++k) {
                double a = ph + k * 1.7;
                int x = static_cast<int>(16 + 10 * std::sin(a + k)), y = static_cast<int>(16 + 9 * std::cos(a * 0.5 + k * 2));
                bool bright = (f + k) % 2 == 0;
                light.Set(x, y, bright ? C("gold.4") : C("slime.4"));
                if (bright) light.Set(x + 1, y, C("slime.3")), light.Set(x, y + 1, C("slime.3")), light.Set(x - 1, y, C("slime.2")), light.Set(x, y - 1, C("slime.2"));
            }
            break;
        case ThemeKind::Ice: // an ice crystal with a glint running over it
            Crystal(light, 16, 32, 26, "ice");
            Sparkle(light, 11 + f * 3, 10 + (f % 2) * 8, f % 2 ? 2 : 3, C("ice.4"), C("white.4"));
            break;
        default: { // a wall torch
            Mask holder(32, 32);
            holder.FillPolygon({{13, 18}, {19, 18}, {17, 30}, {15, 30}});
            Shape(light, holder, "metal");
            Mask flame(32, 32);
            double sway = std::sin(ph) * 1.5;
            flame.FillEllipse(16, 13, 4.5, 5);
            flame.FillPolygon({{11.5, 13}, {20.5, 13}, {16 + sway * 2, 1.0 + (f % 2)}});
            Paint(light, flame, R("fire"), {1.0, 3, true, C("fire.0")});
            Mask core(32, 32);
            core.FillEllipse(16 + sway * 0.5, 13, 2, 3);
            light.FillMask(core, C("gold.4"));
            break;
        }
        }
        switch (t.kind) {
        case ThemeKind::Forest: { // glowing mushroom, pulsing
            Mushroom(extra, 16, "blue", false);
            if (f == 1 || f == 2) {
                Mask cap(32, 32);
                cap.FillEllipse(16, 17, 5, 3);
                extra.FillMask(cap, f == 1 ? C("blue.4") : C("white.4"));
            }
            for (int k = 0; k < 3; ++k) {
                int x = 8 + k * 8, y = 10 - ((f + k) % 4) * 2;
                extra.Set(x, y, C("blue.4"));
            }
            break;
        }
        case ThemeKind::Caves: { // crystal, pulsing
            Crystal(extra, 16, 32, 24, "purple");
            Sparkle(extra, 12 + f * 2, 12 + (f % 2) * 6, f % 2 ? 2 : 3, C("pink.3"), C("white.4"));
            break;
        }
        default: { // flag or banner on a pole
            const std::string cloth = t.kind == ThemeKind::Meadow ? "red" : t.kind == ThemeKind::Ice ? "blue" : "purple";
            Mask pole(32, 32);
            pole.FillRect(5, 2, 3, 30);
            Shape(extra, pole, "metal");
            Mask ball(32, 32);
            ball.FillCircle(6.5, 2.5, 2.2);
            Shape(extra, ball, "gold");
            Mask flag(32, 32);
            std::vector<Point> pts;
            for (int x = 8; x <= 29; ++x) pts.push_back({x + 0.0, 5 + 2.2 * std::sin(x * 0.35 - ph) * (x - 8) / 21.0});
            for (int x = 29; x >= 8; --x) pts.push_back({x + 0.0, 18 + 2.2 * std::sin(x * 0.35 - ph) * (x - 8) / 21.0});
            flag.FillPolygon(pts);
            Shape(extra, flag, cloth);
            break;
        }
        }
    }
}

} // namespace

void DrawDecorations(const Theme& t, std::vector<Canvas>& tiles) { Decorations(t, tiles); }

void DrawDistance(const Theme& t, std::vector<Canvas>& tiles) { Distance(t, tiles); }

void DrawAnimated(const Theme& t, std::vector<Canvas>& tiles) {
    for (int p = 0; p < 4; ++p) Ledge(Tile(tiles, 24 + p), t, p);
    // 28 bridge plank with rope loops, 29 support post.
    {
        Canvas& c = Tile(tiles, 28);
        Mask m(32, 32);
        m.FillRect(0, 1, 32, 6);
        Paint(c, m, R("wood"), {1.0, -1, false});
        for (int x = 0; x < 32; ++x) c.Set(x, 0, Outline()), c.Set(x, 7, Outline());
        for (int x = 0; x < 32; x += 8) for (int y = 1; y < 7; ++y) c.Set(x, y, C("wood.0"));
        for (int x = 0; x < 32; ++x) {
            int y = 9 + static_cast<int>(std::lround(3 * std::sin(x * kPi / 32)));
            c.Set(x, y, C("sand.3")), c.Set(x, y + 1, C("sand.1"));
        }
    }
    {
        Canvas& c = Tile(tiles, 29);
        Mask m(32, 32);
        m.FillRect(11, 0, 10, 32);
        Shape(c, m, t.ledge == "wood" ? "wood" : t.ledge);
    }
    Weather(t, tiles);
    SwitchTiles(tiles);
    Liquid(t, tiles);
    Animations(t, tiles);
}

} // namespace artgen
