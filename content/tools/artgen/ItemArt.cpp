// Level objects and pick-ups: doors, signs, blocks, grates, keycards and
// laser locks, triggers, platforms, switches, springboards, points, hazards
// and goodies, plus the life icon of the heads-up display.
#include "Draw.h"
#include "Hero.h"
#include "Items.h"
#include "PixelArt.h"

#include "common/Exception.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace artgen {

namespace {

constexpr double kPi = 3.14159265358979;

std::vector<Canvas> Frames(const ItemSpec& s, const std::function<void(Canvas&, int)>& draw) {
    std::vector<Canvas> out;
    for (int i = 0; i < s.Frames; ++i) {
        Canvas c(s.Width, s.Height);
        draw(c, i);
        out.push_back(c);
    }
    return out;
}

void Shape(Canvas& c, const Mask& m, const std::string& ramp, double light = 1.0) { PaintShape(c, m, ramp, light); }
Mask M(const Canvas& c) { return Mask(c.Width(), c.Height()); }

// The colour ramp of a keycard and its laser lock: 0 red, 1 green, 2 blue.
std::string KeyRamp(const std::string& name) {
    int n = name.empty() ? 0 : name.back() - '2';
    if (name == "35" || name == "36" || name == "37") n = name.back() - '5';
    static const char* ramps[] = {"red", "green", "blue"};
    if (n < 0 || n > 2) throw varnok::EConvertError("no keycard colour for " + name);
    return ramps[n];
}

// ------------------------------------------------------------ heads-up display

std::vector<Canvas> LifeIcon(const ItemSpec& s) {
    HeroPose p = StandPose(0, 10);
    Canvas big = DrawHero(p, 48, 72, 1.5);
    Canvas c(s.Width, s.Height);
    c.Draw(big.Crop(8, 1, 32, 32), 0, 0);
    // Close the cut edges (below the chin) with the outline colour.
    for (int y = 0; y < s.Height; ++y)
        for (int x = 0; x < s.Width; ++x)
            if ((x == 0 || y == 0 || x == s.Width - 1 || y == s.Height - 1) && c.Opaque(x, y)) c.Set(x, y, Outline());
    return {c};
}

// ------------------------------------------------------------ doors and signs

void StoneArch(Canvas& c, const std::string& ramp) {
    Mask arch = M(c);
    arch.FillRect(2, 20, 44, 44);
    arch.FillEllipse(24, 22, 22, 20);
    Shape(c, arch, ramp);
    const Ramp& r = R(ramp);
    // Stone joints around the arch.
    for (int k = 0; k < 9; ++k) {
        double a = kPi + k * kPi / 8;
        for (double d = 15; d < 21; d += 0.5)
            c.Set(static_cast<int>(24 + d * std::cos(a)), static_cast<int>(22 + d * std::sin(a)), r[1]);
    }
    for (int y = 30; y < 64; y += 8)
        for (int x = 2; x < 46; ++x)
            if ((x < 8 || x > 39) && c.Opaque(x, y)) c.Set(x, y, r[1]);
}

std::vector<Canvas> EntryDoor(const ItemSpec& s) {
    return Frames(s, [](Canvas& c, int) {
        StoneArch(c, "rock");
        Mask door = M(c);
        door.FillRect(9, 24, 30, 40);
        door.FillEllipse(24, 25, 15, 14);
        Shape(c, door, "wood");
        const Ramp& w = R("wood");
        for (int x = 16; x < 36; x += 7)
            for (int y = 12; y < 64; ++y)
                if (door.Get(x, y) && door.Get(x, y - 1)) c.Set(x, y, w[1]);
        for (int y : {30, 52}) {
            Mask band = M(c);
            band.FillRect(9, y, 30, 3);
            band.Intersect(door);
            Shape(c, band, "metal");
        }
        Mask knob = M(c);
        knob.FillCircle(33, 42, 2);
        Shape(c, knob, "gold");
    });
}

std::vector<Canvas> ExitDoor(const ItemSpec& s) {
    return Frames(s, [](Canvas& c, int) {
        StoneArch(c, "sandstone");
        Mask hole = M(c);
        hole.FillRect(9, 24, 30, 40);
        hole.FillEllipse(24, 25, 15, 14);
        // A bright doorway: light pouring out, brightest in the middle.
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 48; ++x)
                if (hole.Get(x, y)) {
                    double d = std::abs(x - 23.5) / 15.0;
                    c.Set(x, y, d < 0.3 ? C("white.4") : d < 0.6 ? C("gold.4") : d < 0.85 ? C("gold.3") : C("orange.3"));
                }
        c.FillMask(hole.Ring(), Outline());
        // A green EXIT plate on the keystone.
        Mask plate = M(c);
        plate.FillRect(11, 2, 26, 11);
        Shape(c, plate, "green");
        static const char* exitText[5] = {"### # # ### ###", "#   # #  #   # ", "##   #   #   # ", "#   # #  #   # ", "### # # ###  # "};
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 15; ++x)
                if (exitText[y][x] == '#') c.Set(16 + x, 5 + y, C("white.4"));
        for (int k = 0; k < 3; ++k) Sparkle(c, 16 + k * 8, 34 + (k % 2) * 12, 1, C("gold.4"), C("white.4"));
    });
}

std::vector<Canvas> InfoSign(const ItemSpec& s) {
    return Frames(s, [&](Canvas& c, int i) {
        Mask post = M(c);
        post.FillRect(14, 20, 4, 12);
        Shape(c, post, "wood");
        Mask board = M(c);
        board.FillRect(4, 3, 24, 19);
        Shape(c, board, "wood");
        Mask disc = M(c);
        disc.FillCircle(16, 12.5, 7.5);
        Shape(c, disc, "blue");
        Rgba letter = (i % s.Frames) == s.Frames / 2 ? C("gold.4") : C("white.4");
        c.FillRect(15, 8, 2, 2, letter);
        c.FillRect(15, 11, 2, 6, letter);
        c.FillRect(14, 11, 1, 1, letter);
        c.FillRect(14, 16, 4, 1, letter);
        if (i % 2 == 1) Sparkle(c, 24, 5, 2, C("gold.3"), C("white.4"));
    });
}

std::vector<Canvas> AutomoveStart(const ItemSpec& s) {
    return Frames(s, [&](Canvas& c, int i) {
        const double cx = s.Width / 2.0, cy = s.Height / 2.0;
        for (int y = 0; y < s.Height; ++y)
            for (int x = 0; x < s.Width; ++x) {
                double dx = x + 0.5 - cx, dy = y + 0.5 - cy, d = std::sqrt(dx * dx + dy * dy);
                if (d > 15.5) continue;
                double a = std::atan2(dy, dx) - i * 2 * kPi / s.Frames + d * 0.35;
                double arm = std::sin(a * 3);
                Rgba col;
                if (d > 14.5) col = Outline();
                else if (d > 12.5) col = arm > 0 ? C("ice.4") : C("ice.2");
                else if (arm > 0.5) col = d < 5 ? C("white.4") : C("ice.3");
                else if (arm > -0.2) col = C("blue.3");
                else col = d < 4 ? C("blue.3") : C("blue.1");
                c.Set(x, y, col);
            }
    });
}

// ------------------------------------------------------------ blocks and locks

std::vector<Canvas> BreakBlock(const ItemSpec& s) {
    return Frames(s, [&](Canvas& c, int i) {
        Mask m = M(c);
        m.FillRect(1, 1, s.Width - 2, s.Height - 2);
        Shape(c, m, "orange");
        const Ramp& r = R("orange");
        for (int x = 1; x < s.Width - 1; ++x) c.Set(x, 2, r[4]), c.Set(x, 15, r[1]), c.Set(x, 16, r[0]);
        for (int y = 2; y < 15; ++y) c.Set(15, y, r[0]), c.Set(16, y, r[3]);
        for (int y = 17; y < s.Height - 2; ++y) c.Set(8, y, r[0]), c.Set(9, y, r[3]), c.Set(24, y, r[0]), c.Set(25, y, r[3]);
        // Cracks that show the block can be broken.
        Mask crack = M(c);
        crack.Line(5, 5, 9, 10), crack.Line(9, 10, 8, 14), crack.Line(20, 20, 23, 24), crack.Line(23, 24, 28, 25);
        crack.Line(13, 21, 15, 27);
        c.FillMask(crack, r[0]);
        // A glint sweeping across.
        int gx = 4 + i * (s.Width - 8) / std::max(1, s.Frames - 1);
        if (i < s.Frames - 1) Sparkle(c, gx, 6 + (i % 2) * 14, 2, r[4], C("white.4"));
    });
}

std::vector<Canvas> Grate(const ItemSpec& s) {
    return Frames(s, [&](Canvas& c, int i) {
        Mask frame = M(c);
        frame.FillRect(1, 1, s.Width - 2, s.Height - 2);
        Mask holes = M(c);
        for (int y = 5; y < s.Height - 4; y += 7)
            for (int x = 5; x < s.Width - 4; x += 7) holes.FillRect(x, y, 4, 4);
        frame.Subtract(holes);
        Shape(c, frame, "metal");
        for (int y = 0; y < s.Height; ++y)
            for (int x = 0; x < s.Width; ++x)
                if (holes.Get(x, y)) c.Set(x, y, C("night.0"));
        for (int k : {3, s.Width - 4})
            for (int j : {3, s.Height - 4}) c.Set(k, j, C("metal.4"));
        int gx = 3 + i * (s.Width - 6) / std::max(1, s.Frames);
        for (int y = 2; y < s.Height - 2; ++y)
            if (frame.Get(gx + y / 4, y)) c.Set(gx + y / 4, y, C("metal.4"));
    });
}

std::vector<Canvas> Keycard(const ItemSpec& s) {
    const std::string ramp = KeyRamp(s.Name);
    return Frames(s, [&](Canvas& c, int i) {
        int bob = static_cast<int>(std::lround(2 * std::sin(i * 2 * kPi / s.Frames)));
        Mask card = M(c);
        card.FillRect(2, 6 + bob, s.Width - 4, 13);
        Shape(c, card, ramp);
        const Ramp& r = R(ramp);
        Mask chip = M(c);
        chip.FillRect(5, 10 + bob, 6, 5);
        Shape(c, chip, "gold");
        for (int x = 13; x < s.Width - 4; ++x) c.Set(x, 10 + bob, r[4]), c.Set(x, 13 + bob, r[1]), c.Set(x, 15 + bob, r[1]);
        c.FillRect(s.Width - 8, 7 + bob, 3, 2, Outline());
        if (i == 0 || i == s.Frames / 2) Sparkle(c, 6 + i % 3 * 5, 6 + bob, 2, C("white.3"), C("white.4"));
    });
}

std::vector<Canvas> LaserLock(const ItemSpec& s) {
    const std::string ramp = KeyRamp(s.Name);
    return Frames(s, [&](Canvas& c, int i) {
        const Ramp& r = R(ramp);
        for (int b = 0; b < 3; ++b) {
            int y = 6 + b * 10;
            bool flick = (i + b) % s.Frames == 0;
            for (int x = 6; x < s.Width - 6; ++x) {
                bool wave = ((x + i * 3 + b * 5) % 9) < 2;
                c.Set(x, y - 1, flick ? r[2] : r[3]);
                c.Set(x, y, wave || flick ? C("white.4") : r[4]);
                c.Set(x, y + 1, flick ? r[2] : r[3]);
            }
        }
        for (int side : {0, 1}) {
            Mask post = M(c);
            post.FillRect(side ? s.Width - 7 : 1, 0, 6, s.Height);
            Shape(c, post, "metal");
            for (int b = 0; b < 3; ++b) {
                int x = side ? s.Width - 6 : 2, y = 5 + b * 10;
                c.FillRect(x, y, 4, 3, r[3]);
                c.Set(x + 1, y + 1, C("white.4"));
            }
        }
    });
}

std::vector<Canvas> PlatformTrigger(const ItemSpec& s) {
    return Frames(s, [&](Canvas& c, int i) {
        Mask base = M(c);
        base.FillRect(3, 24, 26, 8);
        base.FillRect(7, 20, 18, 5);
        Shape(c, base, "metal");
        double pulse = 0.5 + 0.5 * std::sin(i * 2 * kPi / s.Frames);
        Mask orb = M(c);
        orb.FillCircle(16, 13, 7);
        Shape(c, orb, "teal");
        Mask core = M(c);
        core.FillCircle(16, 13, 2 + 2.5 * pulse);
        c.FillMask(core, pulse > 0.6 ? C("white.4") : C("teal.4"));
        c.Set(13, 9, C("white.4")), c.Set(14, 9, C("white.4")), c.Set(13, 10, C("white.4"));
        for (int k = 0; k < 3; ++k) c.Set(9 + k * 7, 27, (i + k) % s.Frames == 0 ? C("gold.4") : C("gold.1"));
    });
}

std::vector<Canvas> Platform(const ItemSpec& s) {
    return Frames(s, [&](Canvas& c, int i) {
        const int w = s.Width, h = s.Height;
        Mask m = M(c);
        m.FillRect(1, 1, w - 2, h - 2);
        Shape(c, m, "metal");
        // Hazard stripes along the top and lamps along the side.
        for (int x = 2; x < w - 2; ++x)
            for (int y = 2; y < 5; ++y) c.Set(x, y, ((x + y) / 3) % 2 ? C("gold.3") : C("night.1"));
        for (int x = 2; x < w - 2; ++x) c.Set(x, 5, C("metal.1"));
        for (int x = 8; x < w - 6; x += 16) {
            bool on = ((x / 16) + i) % 2 == 0;
            c.FillRect(x, 8, 4, 3, on ? C("gold.4") : C("gold.1"));
            if (on) c.Set(x + 1, 8, C("white.4"));
        }
        for (int x : {3, w - 5}) c.FillRect(x, 8, 2, 2, C("metal.4"));
    });
}

// A lever on a box (kind 0) or a button on a wall plate (kind 1). The first
// half of the frames shows it off (red), the second half on (green).
std::vector<Canvas> Switch(const ItemSpec& s, int kind) {
    return Frames(s, [&](Canvas& c, int i) {
        const bool on = i >= s.Frames / 2;
        const bool blink = i % 2 == 1;
        const std::string lamp = on ? "green" : "red";
        if (kind == 0) {
            Mask lever = M(c);
            double a = on ? 0.6 : -0.6;
            lever.FillCapsule(16, 22, 16 + 13 * std::sin(a), 22 - 13 * std::cos(a), 1.3);
            Shape(c, lever, "metal");
            Mask knob = M(c);
            knob.FillCircle(16 + 14 * std::sin(a), 22 - 14 * std::cos(a), 3);
            Shape(c, knob, lamp);
            Mask box = M(c);
            box.FillRect(4, 21, 24, 11);
            Shape(c, box, "metal");
            c.FillRect(7, 25, 4, 3, blink ? C(lamp + ".4") : C(lamp + ".2"));
            c.FillRect(21, 25, 4, 3, C("night.1"));
        } else {
            Mask plate = M(c);
            plate.FillRect(4, 4, 24, 28);
            Shape(c, plate, "metal");
            Mask button = M(c);
            button.FillCircle(16, on ? 19 : 17, 7);
            Shape(c, button, lamp);
            if (blink) c.FillRect(13, on ? 15 : 13, 3, 2, C("white.4"));
            for (int x : {6, 25}) c.Set(x, 6, C("metal.4")), c.Set(x, 29, C("metal.1"));
        }
    });
}

// Springboards: a coil under a plate (B0-B3 in four colours), a bouncy
// mushroom (B4) and a trampoline (B5). The frames wobble.
std::vector<Canvas> Springboard(const ItemSpec& s) {
    const int kind = s.Name.back() - '0';
    static const char* colours[] = {"red", "blue", "green", "gold", "pink", "purple"};
    const std::string ramp = colours[std::clamp(kind, 0, 5)];
    return Frames(s, [&](Canvas& c, int i) {
        const int squash = (i % 2) ? 1 : 0;
        const int w = s.Width, h = s.Height;
        if (kind == 4) {
            Mask stem = M(c);
            stem.FillRect(w / 2 - 4, h - 12, 8, 12);
            Shape(c, stem, "sand");
            Mask cap = M(c);
            cap.FillEllipse(w / 2.0, h - 11 + squash, 14 + squash, 9 - squash);
            Mask cut = M(c);
            cut.FillRect(0, h - 10 + squash, w, 10);
            cap.Subtract(cut);
            Shape(c, cap, ramp);
            c.FillRect(9, h - 17, 3, 2, C("white.4")), c.FillRect(19, h - 19, 3, 2, C("white.4"));
            return;
        }
        if (kind == 5) {
            for (int x : {4, w - 6}) {
                Mask leg = M(c);
                leg.FillRect(x, h - 12, 3, 12);
                Shape(c, leg, "metal");
            }
            Mask mat = M(c);
            mat.FillEllipse(w / 2.0, h - 13 + squash, 14, 3.5);
            Shape(c, mat, ramp);
            return;
        }
        Mask base = M(c);
        base.FillRect(4, h - 5, w - 8, 5);
        Shape(c, base, "metal");
        const int top = h - 20 + squash * 2;
        for (int y = top + 4; y < h - 5; y += 3) {
            Mask coil = M(c);
            coil.FillCapsule(9, y, w - 10, y + 1, 1.1);
            Shape(c, coil, "silver");
        }
        Mask plate = M(c);
        plate.FillRect(3, top, w - 6, 5);
        Shape(c, plate, ramp);
        const Ramp& r = R(ramp);
        for (int x = 5; x < w - 5; ++x) c.Set(x, top + 1, r[4]);
    });
}

// ------------------------------------------------------------ points

std::vector<Canvas> Coin(const ItemSpec& s) {
    return Frames(s, [&](Canvas& c, int i) {
        const double cx = s.Width / 2.0, cy = s.Height / 2.0 + 1;
        double phase = i * 2 * kPi / s.Frames;
        double wx = std::max(1.6, 9.5 * std::abs(std::cos(phase)));
        Mask m = M(c);
        m.FillEllipse(cx, cy, wx, 9.5);
        Shape(c, m, "gold");
        if (wx > 4) {
            Mask inner = M(c);
            inner.FillEllipse(cx, cy, wx * 0.6, 6);
            c.FillMask(inner.Edge(), C("gold.1"));
            for (int y = static_cast<int>(cy) - 3; y <= static_cast<int>(cy) + 3; ++y) c.Set(static_cast<int>(cx), y, C("gold.4"));
        }
        if (i == 1) Sparkle(c, static_cast<int>(cx) + 5, static_cast<int>(cy) - 6, 2, C("gold.4"), C("white.4"));
    });
}

std::vector<Canvas> Gem(const ItemSpec& s, const std::string& ramp) {
    return Frames(s, [&](Canvas& c, int i) {
        const double cx = s.Width / 2.0;
        const double top = s.Height * 0.22, mid = s.Height * 0.42, bot = s.Height - 3;
        const double half = s.Width / 2.0 - 3;
        Mask m = M(c);
        m.FillPolygon({{cx - half * 0.55, top}, {cx + half * 0.55, top}, {cx + half, mid}, {cx, bot}, {cx - half, mid}});
        Shape(c, m, ramp);
        const Ramp& r = R(ramp);
        // Facets.
        for (int x = static_cast<int>(cx - half) + 1; x < cx + half; ++x)
            if (m.Get(x, static_cast<int>(mid))) c.Set(x, static_cast<int>(mid), r[4]);
        Mask facet = M(c);
        facet.FillPolygon({{cx - half * 0.55, top}, {cx - half * 0.2, top}, {cx - half * 0.45, mid}, {cx - half, mid}});
        facet.Intersect(m);
        c.FillMask(facet, r[4]);
        Mask shade = M(c);
        shade.FillPolygon({{cx, bot}, {cx + half, mid}, {cx + half * 0.3, mid}});
        shade.Intersect(m);
        c.FillMask(shade, r[1]);
        const int n = s.Frames;
        Sparkle(c, static_cast<int>(cx - half * 0.5 + (i * half) / n), static_cast<int>(top + 2 + (i % 2) * 3),
                i % 3 == 0 ? 3 : 1, C("white.3"), C("white.4"));
    });
}

std::vector<Canvas> Star(const ItemSpec& s) {
    return Frames(s, [&](Canvas& c, int i) {
        const double cx = s.Width / 2.0, cy = s.Height / 2.0 + 1;
        double squeeze = 0.55 + 0.45 * std::abs(std::cos(i * kPi / s.Frames));
        std::vector<Point> pts;
        for (int k = 0; k < 10; ++k) {
            double a = -kPi / 2 + k * kPi / 5, rad = k % 2 ? 6.0 : 14.0;
            pts.push_back({cx + rad * std::cos(a) * squeeze, cy + rad * std::sin(a)});
        }
        Mask m = M(c);
        m.FillPolygon(pts);
        Shape(c, m, "gold");
        c.FillRect(static_cast<int>(cx - 3 * squeeze), static_cast<int>(cy) - 2, 2, 4, Outline());
        c.FillRect(static_cast<int>(cx + 2 * squeeze), static_cast<int>(cy) - 2, 2, 4, Outline());
        if (i % 2 == 0) Sparkle(c, static_cast<int>(cx) + 10, 5, 2, C("gold.4"), C("white.4"));
    });
}

// ------------------------------------------------------------ hazards (badies)

void Flame(Canvas& c, double cx, double base, double w, double h, int i, bool sideways, int dir) {
    Mask m = M(c);
    for (int k = 0; k < 3; ++k) {
        const double off = (k - 1) * w * 0.27, r = w * (k == 1 ? 0.22 : 0.17);
        const double tall = h * (k == 1 ? 1.0 : 0.7) * (0.8 + 0.2 * std::sin(i * 1.7 + k * 2));
        const double sway = std::sin(i * 1.3 + k) * w * 0.1;
        // Each tongue: a round foot and a point licking up (or out of the wall).
        auto p = [&](double along, double across) {
            return sideways ? Point{base + dir * along, cx + across} : Point{cx + across, base - along};
        };
        Point foot = p(r + 1, off);
        if (sideways) m.FillEllipse(foot.x, foot.y, r, r);
        else m.FillEllipse(foot.x, foot.y, r, r);
        m.FillPolygon({p(r + 1, off - r), p(r + 1, off + r), p(tall, off + sway)});
    }
    Paint(c, m, R("fire"), {1.0, 3, true, C("fire.0")});
    Mask core = m;
    for (int k = 0; k < 3; ++k) core.Subtract(core.Edge());
    c.FillMask(core, C("gold.4"));
}

// Spikes along one side of the picture, pointing away from it.
void Spikes(Canvas& c, int dir) {
    const int w = c.Width(), h = c.Height();
    Mask m = M(c);
    const bool vertical = dir == 0 || dir == 2; // up or down
    const int n = 4, along = vertical ? w : h;
    for (int k = 0; k < n; ++k) {
        double a0 = k * along / static_cast<double>(n) + 0.5, a1 = (k + 1) * along / static_cast<double>(n) - 0.5;
        double am = (a0 + a1) / 2;
        switch (dir) {
        case 0: m.FillPolygon({{a0, h - 4.0}, {am, 1}, {a1, h - 4.0}}); break;
        case 2: m.FillPolygon({{a0, 4}, {am, h - 1.0}, {a1, 4}}); break;
        case 1: m.FillPolygon({{4, a0}, {w - 1.0, am}, {4, a1}}); break;
        case 3: m.FillPolygon({{w - 4.0, a0}, {1, am}, {w - 4.0, a1}}); break;
        }
    }
    Shape(c, m, "silver");
    Mask base = M(c);
    switch (dir) {
    case 0: base.FillRect(0, h - 5, w, 5); break;
    case 2: base.FillRect(0, 0, w, 5); break;
    case 1: base.FillRect(0, 0, 5, h); break;
    case 3: base.FillRect(w - 5, 0, 5, h); break;
    }
    Shape(c, base, "metal");
}

std::vector<Canvas> Hazard(const ItemSpec& s) {
    const std::string& n = s.Name;
    return Frames(s, [&](Canvas& c, int i) {
        const int w = s.Width, h = s.Height;
        if (n == "D0") { // a floating fireball
            Mask glow = M(c);
            glow.FillCircle(w / 2.0, h / 2.0 + 2, 9);
            Mask tail = M(c);
            for (int k = 0; k < 3; ++k) {
                double a = i * 2 * kPi / s.Frames + k * 2 * kPi / 3;
                tail.FillPolygon({{w / 2.0 - 7, h / 2.0}, {w / 2.0 + 7, h / 2.0}, {w / 2.0 + 4 * std::sin(a), 2.0 + k}});
            }
            glow.Add(tail);
            Paint(c, glow, R("fire"), {1.0, 3, true, C("fire.0")});
            Mask core = M(c);
            core.FillCircle(w / 2.0 - 1, h / 2.0 + 3, 4.5);
            c.FillMask(core, C("gold.4"));
            c.FillRect(w / 2 - 4, h / 2 + 1, 2, 3, Outline()), c.FillRect(w / 2 + 1, h / 2 + 1, 2, 3, Outline());
        } else if (n == "D1") {
            Spikes(c, 2);
        } else if (n == "D2") {
            Spikes(c, 0);
        } else if (n == "D3") {
            Spikes(c, 1);
        } else if (n == "D4") {
            Spikes(c, 3);
        } else if (n == "D5") { // green slime dripping from the ceiling
            Mask m = M(c);
            m.FillRect(2, 0, w - 4, 5);
            for (int k = 0; k < 3; ++k) {
                double x = 7 + k * 9, len = 6 + ((i + k) % s.Frames) * 4.0;
                m.FillCapsule(x, 2, x, len, 2.0);
                if ((i + k) % s.Frames == s.Frames - 1) m.FillCircle(x, len + 5, 2.2);
            }
            Shape(c, m, "slime");
        } else if (n == "D6") {
            Flame(c, w / 2.0, h, w * 0.9, h * 0.95, i, false, 0);
        } else if (n == "D7" || n == "D8") { // a flame jet from a wall nozzle
            int dir = n == "D7" ? 1 : -1;
            Mask nozzle = M(c);
            if (dir > 0) nozzle.FillRect(0, h / 2 - 5, 6, 10);
            else nozzle.FillRect(w - 6, h / 2 - 5, 6, 10);
            Flame(c, h / 2.0, dir > 0 ? 4.0 : w - 4.0, h * 0.9, (w - 6) * (0.8 + 0.2 * (i % 2)), i, true, dir);
            Shape(c, nozzle, "metal");
        } else if (n == "D9") { // spears that jump out of the floor
            for (int k = 0; k < 3; ++k) {
                double x = 7 + k * 9;
                Mask shaft = M(c);
                shaft.FillRect(static_cast<int>(x) - 1, 8, 3, h - 8);
                Shape(c, shaft, "wood");
                Mask tip = M(c);
                tip.FillPolygon({{x - 3.5, 10}, {x + 0.5, 1.0 + (k == 1 ? 0 : 2)}, {x + 4.5, 10}});
                Shape(c, tip, "silver");
            }
            if (i % 2) Sparkle(c, 16, 3, 1, C("white.3"), C("white.4"));
        }
    });
}

// ------------------------------------------------------------ goodies

std::vector<Canvas> Goodie(const ItemSpec& s) {
    if (s.Name == "E0") { // a small heart, beating
        const PixelArt& heart = LoadPix("heart.pix");
        return Frames(s, [&](Canvas& c, int i) {
            Canvas h = heart.Frames[0];
            int beat = i % 2;
            // Scale the 26 x 24 heart into the item, a little bigger on the beat.
            double sc = (s.Width - 4 + beat * 2) / 26.0;
            for (int y = 0; y < s.Height; ++y)
                for (int x = 0; x < s.Width; ++x) {
                    int sx = static_cast<int>((x - s.Width / 2.0) / sc + 13), sy = static_cast<int>((y - s.Height / 2.0 + 1) / sc + 11);
                    Rgba p = h.Get(sx, sy);
                    if (p.a) c.Set(x, y, p);
                }
        });
    }
    if (s.Name == "E1") return LoadPix("potion.pix").Frames;
    // E2: an extra life, the hero's head in a golden ring.
    ItemSpec icon;
    icon.Width = icon.Height = 32;
    Canvas head = LifeIcon(icon)[0];
    return Frames(s, [&](Canvas& c, int i) {
        Mask ring = M(c);
        ring.FillCircle(s.Width / 2.0, s.Height / 2.0, s.Width / 2.0 - 1);
        Mask hole = M(c);
        hole.FillCircle(s.Width / 2.0, s.Height / 2.0, s.Width / 2.0 - 4);
        ring.Subtract(hole);
        c.FillMask(hole, C("sky.3"));
        c.Draw(head.Crop(2, 0, 28, 28), 2, 3);
        Mask clipOut = M(c);
        clipOut.FillRect(0, 0, s.Width, s.Height);
        clipOut.Subtract(hole);
        clipOut.Subtract(ring);
        for (int y = 0; y < s.Height; ++y)
            for (int x = 0; x < s.Width; ++x)
                if (clipOut.Get(x, y)) c.Set(x, y, kClear);
        Shape(c, ring, "gold");
        double a = i * 2 * kPi / s.Frames;
        Sparkle(c, static_cast<int>(s.Width / 2.0 + 11 * std::cos(a)), static_cast<int>(s.Height / 2.0 + 11 * std::sin(a)), 2,
                C("gold.4"), C("white.4"));
    });
}

} // namespace

void AddItemGenerators(GeneratorTable& t) {
    t["life-icon"] = LifeIcon;
    t["entry-door"] = EntryDoor;
    t["exit-door"] = ExitDoor;
    t["info-sign"] = InfoSign;
    t["automove-start"] = AutomoveStart;
    t["break-block"] = BreakBlock;
    t["grate"] = Grate;
    t["keycard"] = Keycard;
    t["laser-lock"] = LaserLock;
    t["platform-trigger"] = PlatformTrigger;
    t["platform"] = Platform;
    t["lever-switch"] = [](const ItemSpec& s) { return Switch(s, 0); };
    t["button-switch"] = [](const ItemSpec& s) { return Switch(s, 1); };
    t["springboard"] = Springboard;
    t["coin"] = Coin;
    t["ruby"] = [](const ItemSpec& s) { return Gem(s, "red"); };
    t["star"] = Star;
    t["hazard"] = Hazard;
    t["goodie"] = Goodie;
}

} // namespace artgen
