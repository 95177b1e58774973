// The enemies. Walkers with two halves of frames (first half walking right,
// second half walking left): snail, beetle, hedgehog, penguin and knight.
// The floating bat and the rolling spike ball need no direction.
#include "Draw.h"
#include "Items.h"

#include "common/Exception.h"

#include <cmath>
#include <functional>

namespace artgen {

namespace {

constexpr double kPi = 3.14159265358979;

// Drawing in a picture that may be mirrored: x coordinates go through X(),
// so the light stays on the upper left whichever way the enemy faces.
struct Pen {
    Canvas& c;
    bool left;
    double X(double x) const { return left ? c.Width() - x : x; }
    Mask New() const { return Mask(c.Width(), c.Height()); }
    void Ellipse(Mask& m, double x, double y, double rx, double ry) const { m.FillEllipse(X(x), y, rx, ry); }
    void Circle(Mask& m, double x, double y, double r) const { m.FillCircle(X(x), y, r); }
    void Capsule(Mask& m, double x0, double y0, double x1, double y1, double r) const {
        m.FillCapsule(X(x0), y0, X(x1), y1, r);
    }
    void Taper(Mask& m, double x0, double y0, double x1, double y1, double r0, double r1) const {
        m.FillTaper(X(x0), y0, X(x1), y1, r0, r1);
    }
    void Poly(Mask& m, std::vector<Point> pts) const {
        for (Point& p : pts) p.x = X(p.x);
        m.FillPolygon(pts);
    }
    void Dot(double x, double y, int w, int h, Rgba col) const {
        const int ix = static_cast<int>(std::floor(x));
        const int px = left ? c.Width() - ix - w : ix;
        c.FillRect(px, static_cast<int>(y), w, h, col);
    }
    void Paint(const Mask& m, const std::string& ramp) const { PaintShape(c, m, ramp); }
};

// An eye looking the way the enemy walks.
void Eye(const Pen& p, double x, double y, bool big = false) {
    p.Dot(x, y, big ? 3 : 2, big ? 4 : 3, C("white.4"));
    p.Dot(x + (big ? 1.5 : 1), y + 1, big ? 2 : 1, 2, Outline());
}

using WalkerDraw = std::function<void(const Pen&, double phase)>;

// Frames of a two-way walker: the first half walking right, the second left.
std::vector<Canvas> Walker(const ItemSpec& s, const WalkerDraw& draw) {
    if (s.Frames % 2) throw varnok::EConvertError("a walking enemy needs an even number of frames");
    const int half = s.Frames / 2;
    std::vector<Canvas> frames;
    for (int i = 0; i < s.Frames; ++i) {
        Canvas c(s.Width, s.Height);
        draw(Pen{c, i >= half}, static_cast<double>(i % half) / half);
        frames.push_back(c);
    }
    return frames;
}

void Snail(const Pen& p, double ph) {
    const double a = ph * 2 * kPi, stretch = 1.5 * std::sin(a);
    Mask body = p.New();
    p.Taper(body, 5, 28, 22 + stretch, 27, 2.6, 3.4);
    p.Taper(body, 22 + stretch, 27, 25 + stretch, 18, 3.6, 3.4);
    p.Paint(body, "slime");
    for (int k = 0; k < 2; ++k) {
        Mask stalk = p.New();
        double tip = 8 + std::sin(a + k) * 1.2;
        p.Capsule(stalk, 23 + stretch + k * 1.5, 16, 24 + stretch + k * 2.3, tip, 0.8);
        p.Circle(stalk, 24 + stretch + k * 2.3, tip, 1.6);
        p.Paint(stalk, "slime");
    }
    for (int k = 0; k < 2; ++k) p.Dot(24 + stretch + k * 2.3, 7.5 + std::sin(a + k) * 1.2, 1, 1, Outline());
    p.Dot(25.5 + stretch, 20, 2, 1, C("slime.0"));
    Mask shell = p.New();
    p.Circle(shell, 13, 17, 9.5);
    p.Paint(shell, "shell");
    Mask spiral = p.New();
    for (double t = 0; t < 4 * kPi; t += 0.05) {
        double r = 1 + t * 0.55;
        spiral.Set(static_cast<int>(p.X(13 + r * std::cos(t))), static_cast<int>(17 + r * std::sin(t)));
    }
    p.c.FillMask(spiral, C("shell.1"));
}

void Beetle(const Pen& p, double ph) {
    const double a = ph * 2 * kPi;
    for (int k = 0; k < 3; ++k) {
        Mask leg = p.New();
        double x = 9 + k * 7, swing = 2.5 * std::sin(a + k * 2.1);
        p.Capsule(leg, x, 23, x + swing, 30, 1.0);
        p.Paint(leg, "night");
    }
    Mask head = p.New();
    p.Circle(head, 25, 21, 5);
    p.Paint(head, "night");
    Mask jaw = p.New();
    p.Taper(jaw, 28, 22, 31, 25, 1.2, 0.6);
    p.Paint(jaw, "night");
    Mask shell = p.New();
    p.Ellipse(shell, 14, 18 + std::sin(a * 2) * 0.5, 11, 9);
    Mask cut = p.New();
    cut.FillRect(0, 23, 32, 9);
    shell.Subtract(cut);
    p.Ellipse(shell, 14, 22, 11, 2);
    p.Paint(shell, "blue");
    Mask seam = p.New();
    p.Capsule(seam, 14, 10, 14, 22, 0.3);
    p.c.FillMask(seam, C("blue.0"));
    p.Dot(8, 13, 2, 2, C("blue.4"));
    p.Dot(18, 12, 2, 2, C("blue.4"));
    Eye(p, 26, 18);
}

void Hedgehog(const Pen& p, double ph) {
    const double a = ph * 2 * kPi;
    for (int k = 0; k < 2; ++k) {
        Mask foot = p.New();
        double x = 10 + k * 10 + 2 * std::sin(a + k * kPi);
        p.Ellipse(foot, x, 29.5, 2.6, 1.8);
        p.Paint(foot, "skin");
    }
    Mask spikes = p.New();
    for (int k = 0; k < 9; ++k) {
        double ang = kPi * (0.55 + k * 0.11);
        double bx = 14 + 8 * std::cos(ang), by = 21 - 7 * std::sin(ang) * 1.0;
        double tx = 14 + 15 * std::cos(ang - 0.25), ty = 21 - 13 * std::sin(ang - 0.25);
        p.Poly(spikes, {{bx - 2, by + 1}, {tx, ty}, {bx + 2.5, by + 1.5}});
    }
    p.Ellipse(spikes, 14, 20, 10, 8);
    p.Paint(spikes, "dirt");
    Mask face = p.New();
    p.Ellipse(face, 23, 22, 6, 5);
    p.Poly(face, {{26, 19}, {31, 23}, {26, 26}});
    p.Paint(face, "sand");
    p.Dot(30, 22, 2, 2, Outline());
    Eye(p, 24, 19);
    p.Dot(22, 25, 2, 1, C("pink.2"));
}

void Penguin(const Pen& p, double ph) {
    const double a = ph * 2 * kPi, tilt = std::sin(a) * 1.2;
    for (int k = 0; k < 2; ++k) {
        Mask foot = p.New();
        p.Ellipse(foot, 15 + k * 6 + (k ? -tilt : tilt), 30, 3, 1.5);
        p.Paint(foot, "orange");
    }
    Mask body = p.New();
    p.Ellipse(body, 16 + tilt, 18, 9, 11.5);
    p.Paint(body, "night");
    Mask belly = p.New();
    p.Ellipse(belly, 19 + tilt, 21, 5.5, 7.5);
    p.Paint(belly, "white");
    Mask wing = p.New();
    p.Taper(wing, 12 + tilt, 16, 8 + tilt, 24 + std::cos(a) * 1.5, 2.5, 1.2);
    p.Paint(wing, "night");
    Mask beak = p.New();
    p.Poly(beak, {{23 + tilt, 11}, {29 + tilt, 12.5}, {23 + tilt, 14}});
    p.Paint(beak, "orange");
    Eye(p, 20 + tilt, 9, true);
    // A woolly scarf, for the cold.
    Mask scarf = p.New();
    p.Taper(scarf, 9 + tilt, 17.5, 22 + tilt, 17.5, 1.3, 1.3);
    p.Paint(scarf, "red");
}

void Knight(const Pen& p, double ph) {
    const double a = ph * 2 * kPi;
    const double h = p.c.Height();
    for (int k = 0; k < 2; ++k) {
        double swing = 4 * std::sin(a + k * kPi);
        Mask leg = p.New();
        p.Capsule(leg, 15 + k * 2, h - 18, 15 + k * 2 + swing, h - 5, 2.2);
        p.Paint(leg, k ? "metal" : "silver");
        Mask boot = p.New();
        p.Ellipse(boot, 16.5 + k * 2 + swing, h - 3.5, 3.5, 2.2);
        p.Paint(boot, "metal");
    }
    Mask body = p.New();
    p.Poly(body, {{9, h - 34}, {23, h - 34}, {24, h - 17}, {8, h - 17}});
    p.Paint(body, "silver");
    Mask tabard = p.New();
    p.Poly(tabard, {{12, h - 32}, {20, h - 32}, {21, h - 15}, {11, h - 15}});
    p.Paint(tabard, "purple");
    p.Dot(15, h - 27, 2, 5, C("gold.3"));
    p.Dot(13.5, h - 25.5, 5, 2, C("gold.3"));
    Mask helmet = p.New();
    p.Circle(helmet, 16, h - 39, 7);
    p.Paint(helmet, "silver");
    p.Dot(17, h - 41, 7, 2, Outline());
    p.Dot(21, h - 41, 2, 1, C("red.3"));
    Mask plume = p.New();
    p.Taper(plume, 15, h - 45, 6, h - 42 + std::sin(a) * 0.8, 2.0, 1.0);
    p.Paint(plume, "red");
    // Sword held forward, shield on the back arm.
    Mask sword = p.New();
    p.Capsule(sword, 22, h - 24, 29, h - 32 + std::sin(a) * 1, 0.9);
    p.Paint(sword, "silver");
    Mask hand = p.New();
    p.Circle(hand, 22, h - 24, 2.2);
    p.Paint(hand, "metal");
    Mask shield = p.New();
    p.Poly(shield, {{3, h - 33}, {11, h - 33}, {11, h - 22}, {7, h - 17}, {3, h - 22}});
    p.Paint(shield, "blue");
    p.Dot(6, h - 30, 2, 8, C("gold.3"));
}

// Bat: wings up, level, down and back.
std::vector<Canvas> Bat(const ItemSpec& s) {
    std::vector<Canvas> frames;
    for (int i = 0; i < s.Frames; ++i) {
        Canvas c(s.Width, s.Height);
        Pen p{c, false};
        double flap = std::cos(i * 2 * kPi / s.Frames);
        double cx = s.Width / 2.0, cy = 15 - flap;
        for (int side : {-1, 1}) {
            Mask wing = p.New();
            double tipY = cy - 9 * flap, midY = cy - 4 * flap;
            wing.FillPolygon({{cx + side * 3.0, cy - 2}, {cx + side * 9.0, midY - 3}, {cx + side * 15.0, tipY},
                              {cx + side * 13.0, tipY + 6}, {cx + side * 10.0, midY + 4}, {cx + side * 7.0, midY + 6},
                              {cx + side * 3.0, cy + 4}});
            PaintShape(c, wing, "bat");
        }
        Mask body = p.New();
        body.FillEllipse(cx, cy + 2, 5.5, 6.5);
        body.FillPolygon({{cx - 5, cy - 3}, {cx - 4, cy - 9}, {cx - 1.5, cy - 4}});
        body.FillPolygon({{cx + 5, cy - 3}, {cx + 4, cy - 9}, {cx + 1.5, cy - 4}});
        PaintShape(c, body, "purple");
        c.FillRect(static_cast<int>(cx) - 4, static_cast<int>(cy), 3, 3, C("gold.4"));
        c.FillRect(static_cast<int>(cx) + 1, static_cast<int>(cy), 3, 3, C("gold.4"));
        c.Set(static_cast<int>(cx) - 3, static_cast<int>(cy) + 1, Outline());
        c.Set(static_cast<int>(cx) + 2, static_cast<int>(cy) + 1, Outline());
        c.Set(static_cast<int>(cx) - 2, static_cast<int>(cy) + 5, C("white.4"));
        c.Set(static_cast<int>(cx) + 1, static_cast<int>(cy) + 5, C("white.4"));
        frames.push_back(c);
    }
    return frames;
}

// A spiked ball rolling along; its face stays upright while the spikes turn.
std::vector<Canvas> SpikeBall(const ItemSpec& s) {
    std::vector<Canvas> frames;
    for (int i = 0; i < s.Frames; ++i) {
        Canvas c(s.Width, s.Height);
        const double cx = s.Width / 2.0, cy = s.Height / 2.0 + 1, r = 9.5;
        Mask spikes(s.Width, s.Height);
        for (int k = 0; k < 8; ++k) {
            double ang = k * kPi / 4 + i * (kPi / 4) / s.Frames;
            double ux = std::cos(ang), uy = std::sin(ang);
            spikes.FillPolygon({{cx + (r - 1) * ux - 3 * uy, cy + (r - 1) * uy + 3 * ux},
                                {cx + (r + 5.5) * ux, cy + (r + 5.5) * uy},
                                {cx + (r - 1) * ux + 3 * uy, cy + (r - 1) * uy - 3 * ux}});
        }
        PaintShape(c, spikes, "silver");
        Mask ball(s.Width, s.Height);
        ball.FillCircle(cx, cy, r);
        PaintShape(c, ball, "red");
        // Angry eyes under slanted brows.
        for (int side : {-1, 1}) {
            int ex = static_cast<int>(cx + side * 3.5 - (side < 0 ? 2 : 0)), ey = static_cast<int>(cy - 2);
            c.FillRect(ex, ey, 3, 4, C("white.4"));
            c.FillRect(ex + (side < 0 ? 2 : 0), ey + 1, 1, 2, Outline());
            c.Set(ex + (side < 0 ? 0 : 2), ey - 1, Outline());
            c.Set(ex + 1, ey - 1, Outline());
            c.Set(ex + (side < 0 ? 2 : 0), ey - 2, Outline());
        }
        c.FillRect(static_cast<int>(cx) - 2, static_cast<int>(cy) + 4, 4, 1, Outline());
        frames.push_back(c);
    }
    return frames;
}

} // namespace

void AddEnemyGenerators(GeneratorTable& t) {
    t["snail"] = [](const ItemSpec& s) { return Walker(s, Snail); };
    t["beetle"] = [](const ItemSpec& s) { return Walker(s, Beetle); };
    t["hedgehog"] = [](const ItemSpec& s) { return Walker(s, Hedgehog); };
    t["penguin"] = [](const ItemSpec& s) { return Walker(s, Penguin); };
    t["knight"] = [](const ItemSpec& s) { return Walker(s, Knight); };
    t["bat"] = Bat;
    t["spike-ball"] = SpikeBall;
}

} // namespace artgen
