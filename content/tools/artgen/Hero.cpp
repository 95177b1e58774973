// The hero's figure, its poses and the pictures made from them: the 90-frame
// player image, the life icon, the auto-move ball and the credits figure.
#include "Hero.h"

#include "Draw.h"
#include "Items.h"
#include "PixelArt.h"

#include <algorithm>
#include <cmath>

namespace artgen {

namespace {

constexpr double kPi = 3.14159265358979;
double Rad(double deg) { return deg * kPi / 180.0; }

// Limb and body measures at scale 1.
constexpr double kThigh = 6.5, kShin = 6.5, kUpperArm = 5.0, kForearm = 4.5;
constexpr double kLegR = 2.4, kArmR = 1.8, kHandR = 2.0, kBootR = 2.1;
constexpr double kHeadR = 7.4;

Ramp Darker(const Ramp& r) {
    Ramp d = r;
    for (size_t i = d.size() - 1; i > 0; --i) d[i] = r[i - 1];
    d[0] = Mix(r[0], Outline(), 0.4);
    return d;
}

// Maps pose coordinates (scale 1, facing right) to canvas pixels.
struct Xf {
    const HeroPose& p;
    double scale;
    double dy = 0;
    Point operator()(Point q) const {
        if (p.spin != 0 || p.size != 1.0) {
            double a = Rad(p.spin), x = (q.x - p.spinX) * p.size, y = (q.y - p.spinY) * p.size;
            q = {p.spinX + x * std::cos(a) - y * std::sin(a), p.spinY + x * std::sin(a) + y * std::cos(a)};
        }
        if (p.faceLeft) q.x = 32.0 - q.x;
        q.y += dy;
        return {q.x * scale, q.y * scale};
    }
};

Point Add(Point a, double dx, double dy) { return {a.x + dx, a.y + dy}; }
// A point at distance len from a, at an angle from straight down (positive forward).
Point Swing(Point a, double deg, double len) { return {a.x + len * std::sin(Rad(deg)), a.y + len * std::cos(Rad(deg))}; }

class HeroPainter {
public:
    HeroPainter(const HeroPose& p, int w, int h, double scale) : p_(p), xf_{p, scale}, c_(w, h), w_(w), h_(h) {
        if (p.grounded) xf_.dy = (h / scale - 1.0) - LowestPoint();
    }

    Canvas Draw() {
        if (p_.front) DrawFront();
        else DrawSide();
        return c_;
    }

private:
    Mask NewMask() const { return Mask(w_, h_); }
    double S(double r) const { return r * xf_.scale * p_.size; }

    void Capsule(Mask& m, Point a, Point b, double r) const {
        Point ta = xf_(a), tb = xf_(b);
        m.FillCapsule(ta.x, ta.y, tb.x, tb.y, S(r));
    }
    void Taper(Mask& m, Point a, Point b, double ra, double rb) const {
        Point ta = xf_(a), tb = xf_(b);
        m.FillTaper(ta.x, ta.y, tb.x, tb.y, S(ra), S(rb));
    }
    void Circle(Mask& m, Point a, double r) const {
        Point t = xf_(a);
        m.FillCircle(t.x, t.y, S(r));
    }
    void Polygon(Mask& m, Point origin, const std::vector<Point>& local) const {
        std::vector<Point> pts;
        for (const Point& q : local) pts.push_back(xf_({origin.x + q.x, origin.y + q.y}));
        m.FillPolygon(pts);
    }
    // A small block of pixels (eyes, mouth) at a pose point, scaled.
    void Dot(Point a, double w, double h, Rgba col) {
        Point t = xf_(a);
        // Facial details keep their pixel size when the figure is shrunk.
        int pw = std::max(1, static_cast<int>(std::lround(w * xf_.scale)));
        int ph = std::max(1, static_cast<int>(std::lround(h * xf_.scale)));
        if (p_.spin != 0 && std::abs(std::sin(Rad(p_.spin))) > 0.7) std::swap(pw, ph);
        int x0 = static_cast<int>(std::floor(t.x - (p_.faceLeft ? pw - 0.5 * xf_.scale : 0.5 * xf_.scale)));
        c_.FillRect(x0, static_cast<int>(std::floor(t.y)), pw, ph, col);
    }

    Point Hip() const { return {p_.hipX, p_.hipY}; }
    Point Up() const { return {std::sin(Rad(p_.lean)), -std::cos(Rad(p_.lean))}; }
    Point Along(double d) const { return {p_.hipX + Up().x * d, p_.hipY + Up().y * d}; }

    // Leg joints for the side view.
    void LegPoints(const Limb& l, double offset, Point& hip, Point& knee, Point& ankle, Point& toe) const {
        hip = Add(Hip(), offset, 1.5);
        knee = Swing(hip, l.upper, kThigh);
        ankle = Swing(knee, l.lower, kShin);
        double tilt = std::clamp(l.lower * 0.35, -25.0, 35.0);
        toe = {ankle.x + 3.0 * std::cos(Rad(tilt)), ankle.y - 3.0 * std::sin(Rad(tilt))};
    }
    void FrontLegPoints(const Limb& l, double side, Point& hip, Point& knee, Point& ankle) const {
        hip = Add(Hip(), side * 2.6, 1.0);
        knee = {hip.x + side * kThigh * std::sin(Rad(l.upper)), hip.y + kThigh * std::cos(Rad(l.upper))};
        ankle = {knee.x + side * kShin * std::sin(Rad(l.lower)), knee.y + kShin * std::cos(Rad(l.lower))};
    }

    double LowestPoint() const {
        double lowest = -1e9;
        if (p_.front) {
            for (double side : {-1.0, 1.0}) {
                Point h, k, a;
                FrontLegPoints(side < 0 ? p_.legBack : p_.legFront, side, h, k, a);
                lowest = std::max(lowest, a.y + 1.2 + kBootR);
            }
        } else {
            for (int i = 0; i < 2; ++i) {
                Point h, k, a, t;
                LegPoints(i ? p_.legFront : p_.legBack, i ? 0.6 : -0.6, h, k, a, t);
                lowest = std::max({lowest, a.y + 0.8 + kBootR, t.y + kBootR});
            }
        }
        return lowest;
    }

    void SideLeg(const Limb& l, double offset, bool back) {
        Point hip, knee, ankle, toe;
        LegPoints(l, offset, hip, knee, ankle, toe);
        Mask leg = NewMask();
        Taper(leg, hip, knee, kLegR + 0.2, kLegR);
        Taper(leg, knee, ankle, kLegR, kLegR - 0.4);
        Paint(c_, leg, back ? Darker(R("pants")) : R("pants"));
        Mask boot = NewMask();
        Capsule(boot, Add(ankle, -0.6, 0.8), toe, kBootR);
        Circle(boot, Add(ankle, -0.2, -0.4), kBootR - 0.2);
        Paint(c_, boot, back ? Darker(R("boots")) : R("boots"));
    }

    void SideArm(const Limb& l, bool back) {
        Point shoulder = Add(Along(8.3), back ? -0.8 : 0.4, 0);
        Point elbow = Swing(shoulder, l.upper, kUpperArm);
        Point hand = Swing(elbow, l.lower, kForearm);
        Mask arm = NewMask();
        Taper(arm, shoulder, elbow, kArmR + 0.4, kArmR);
        Taper(arm, elbow, hand, kArmR, kArmR - 0.2);
        Paint(c_, arm, back ? Darker(R("jacket")) : R("jacket"));
        Mask fist = NewMask();
        Circle(fist, hand, kHandR);
        Paint(c_, fist, back ? Darker(R("skin")) : R("skin"));
    }

    void ScarfTail(Point neck, double dir) {
        Mask tail = NewMask();
        Point prev = Add(neck, -1.5 * dir, 0.8);
        for (int k = 1; k <= 4; ++k) {
            Point next{neck.x - dir * (1.5 + 2.2 * k), neck.y + 0.8 + 0.7 * k + std::sin(p_.scarf + k * 1.3) * 1.1};
            Taper(tail, prev, next, 1.9 - 0.15 * k, 1.8 - 0.2 * k);
            prev = next;
        }
        Paint(c_, tail, R("scarf"));
    }

    void SideHead(Point centre) {
        Mask head = NewMask();
        Circle(head, centre, kHeadR);
        Circle(head, Add(centre, 6.6, 1.2), 1.4); // nose
        Paint(c_, head, R("skin"));
        Mask hair = NewMask();
        Polygon(hair, centre,
                {{5.5, -3.4}, {8.0, -7.2}, {3.6, -6.4}, {2.8, -11.2}, {-0.4, -7.4}, {-3.4, -11.2}, {-4.4, -6.8},
                 {-9.4, -8.0}, {-7.0, -3.6}, {-10.2, -1.0}, {-7.4, 0.6}, {-8.6, 4.2}, {-5.4, 3.4}, {-4.0, 5.6},
                 {-2.6, 1.0}, {-0.8, -1.8}, {2.0, -3.2}});
        Paint(c_, hair, R("hair"));
        Dot(Add(centre, -1.6, 0.8), 1, 2, C("skin.1"));
        Point eye = Add(centre, 3.2, -0.6);
        if (p_.blink) {
            Dot(Add(eye, 0, 1.4), 2, 1, Outline());
        } else {
            Dot(eye, 2, p_.surprised ? 3.5 : 3, C("white.4"));
            Dot(Add(eye, 1, 0.5), 1, 2, Outline());
        }
        if (p_.surprised) Dot(Add(centre, 4.6, 3.6), 1.6, 2, C("jacket.0"));
        else Dot(Add(centre, 4.8, 4.0), 1.5, 1, C("skin.0"));
    }

    void DrawSide() {
        Point neck = Along(10.5);
        Point headC = Add(Along(17.0), 1.2, p_.headBob);
        SideArm(p_.armBack, true);
        SideLeg(p_.legBack, -0.6, true);
        ScarfTail(neck, 1.0);
        // Body: trousers at the hips, jacket above, belt between.
        Mask hips = NewMask();
        Circle(hips, Add(Hip(), 0, 0.4), 3.9);
        Paint(c_, hips, R("pants"));
        Mask body = NewMask();
        Taper(body, Along(2.6), Along(9.0), 4.2, 4.4);
        Paint(c_, body, R("jacket"));
        Mask belt = NewMask();
        Taper(belt, Add(Along(2.2), -3.6, 0), Add(Along(2.2), 3.6, 0), 0.7, 0.7);
        belt.Intersect(body.Dilated(0));
        Paint(c_, belt, R("boots"), {0.0, 1, false});
        Dot(Add(Along(2.2), 2.6, -0.5), 1, 1, C("gold.3"));
        SideLeg(p_.legFront, 0.6, false);
        Mask knot = NewMask();
        Circle(knot, Add(neck, 0.5, 0.2), 2.7);
        Paint(c_, knot, R("scarf"));
        SideHead(headC);
        SideArm(p_.armFront, false);
    }

    void FrontArm(const Limb& l, double side) {
        Point shoulder = Add(Along(8.4), side * 4.9, 0);
        Point elbow{shoulder.x + side * kUpperArm * std::sin(Rad(l.upper)), shoulder.y + kUpperArm * std::cos(Rad(l.upper))};
        Point hand{elbow.x + side * kForearm * std::sin(Rad(l.lower)), elbow.y + kForearm * std::cos(Rad(l.lower))};
        Mask arm = NewMask();
        Taper(arm, shoulder, elbow, kArmR + 0.4, kArmR);
        Taper(arm, elbow, hand, kArmR, kArmR - 0.2);
        Paint(c_, arm, R("jacket"));
        Mask fist = NewMask();
        Circle(fist, hand, kHandR);
        Paint(c_, fist, R("skin"));
    }

    void FrontLeg(const Limb& l, double side) {
        Point hip, knee, ankle;
        FrontLegPoints(l, side, hip, knee, ankle);
        Mask leg = NewMask();
        Taper(leg, hip, knee, kLegR + 0.2, kLegR);
        Taper(leg, knee, ankle, kLegR, kLegR - 0.3);
        Paint(c_, leg, R("pants"));
        Mask boot = NewMask();
        Capsule(boot, Add(ankle, -side * 0.3, 1.0), Add(ankle, side * 1.6, 1.4), kBootR);
        Paint(c_, boot, R("boots"));
    }

    void FrontHead(Point centre) {
        Mask head = NewMask();
        Circle(head, centre, kHeadR + 0.2);
        Circle(head, Add(centre, -7.3, 1.2), 1.6);
        Circle(head, Add(centre, 7.3, 1.2), 1.6);
        Paint(c_, head, R("skin"));
        Mask hair = NewMask();
        Polygon(hair, centre,
                {{-7.6, 0.6}, {-8.8, -4.0}, {-10.4, -8.6}, {-5.8, -7.6}, {-5.6, -12.0}, {-2.2, -8.6}, {0.0, -13.0},
                 {2.2, -8.6}, {5.6, -12.0}, {5.8, -7.6}, {10.4, -8.6}, {8.8, -4.0}, {7.6, 0.6}, {6.0, -2.8},
                 {3.2, -4.6}, {1.2, -3.0}, {0.0, -4.8}, {-1.2, -3.0}, {-3.2, -4.6}, {-6.0, -2.8}});
        Paint(c_, hair, R("hair"));
        for (double side : {-1.0, 1.0}) {
            Point eye = Add(centre, side * 2.6 - 1.0, -0.4);
            if (p_.blink) {
                Dot(Add(eye, 0, 1.4), 2, 1, Outline());
            } else {
                Dot(eye, 2, p_.surprised ? 3.5 : 3, C("white.4"));
                Dot(Add(eye, side < 0 ? 1 : 0, 0.6), 1, 2, Outline());
            }
        }
        if (p_.surprised) Dot(Add(centre, -1.0, 3.6), 2, 2, C("jacket.0"));
        else Dot(Add(centre, -1.0, 4.2), 2, 1, C("skin.0"));
    }

    void DrawFront() {
        Point neck = Along(10.5);
        // Scarf tail hangs on the viewer's left, behind the arm.
        Mask tail = NewMask();
        Point a = Add(neck, -3.0, 1.0);
        Point b{neck.x - 5.5 + std::sin(p_.scarf) * 0.8, neck.y + 6.5};
        Taper(tail, a, b, 1.8, 1.4);
        Paint(c_, tail, R("scarf"));
        FrontLeg(p_.legBack, -1.0);
        FrontLeg(p_.legFront, 1.0);
        Mask hips = NewMask();
        Taper(hips, Add(Hip(), -2.4, 0.6), Add(Hip(), 2.4, 0.6), 3.2, 3.2);
        Paint(c_, hips, R("pants"));
        Mask body = NewMask();
        Polygon(body, Hip(), {{-4.4, 1.6}, {-4.6, -4.0}, {-5.6, -8.0}, {-4.0, -10.2}, {4.0, -10.2}, {5.6, -8.0},
                              {4.6, -4.0}, {4.4, 1.6}});
        Paint(c_, body, R("jacket"));
        Mask belt = NewMask();
        Polygon(belt, Hip(), {{-4.4, -0.6}, {4.4, -0.6}, {4.4, 0.6}, {-4.4, 0.6}});
        Paint(c_, belt, R("boots"), {0.0, 1, false});
        Dot(Add(Hip(), -0.5, -0.6), 2, 1, C("gold.3"));
        FrontArm(p_.armBack, -1.0);
        FrontArm(p_.armFront, 1.0);
        Mask knot = NewMask();
        Taper(knot, Add(neck, -3.0, 0.3), Add(neck, 3.0, 0.3), 2.0, 2.0);
        Paint(c_, knot, R("scarf"));
        FrontHead(Add(Along(17.0), 0.0, p_.headBob));
    }

    const HeroPose& p_;
    Xf xf_;
    Canvas c_;
    int w_, h_;
};

} // namespace

Canvas DrawHero(const HeroPose& pose, int w, int h, double scale) { return HeroPainter(pose, w, h, scale).Draw(); }

HeroPose WalkPose(double phase, bool faceLeft) {
    HeroPose p;
    p.faceLeft = faceLeft;
    p.lean = 6;
    double a = phase * 2 * kPi;
    auto leg = [](double psi) {
        Limb l;
        l.upper = 28 * std::sin(psi);
        double bend = 50 * std::max(0.0, std::cos(psi));
        l.lower = l.upper - bend;
        return l;
    };
    p.legFront = leg(a);
    p.legBack = leg(a + kPi);
    p.armFront = {-32 * std::sin(a), -32 * std::sin(a) + 35};
    p.armBack = {32 * std::sin(a), 32 * std::sin(a) + 35};
    p.scarf = a * 2;
    return p;
}

HeroPose JumpPose(double t, bool faceLeft) {
    HeroPose p;
    p.faceLeft = faceLeft;
    p.grounded = false;
    p.hipY = 30;
    double up = 1.0 - std::clamp((t - 0.35) / 0.3, 0.0, 1.0); // 1 while rising, 0 falling
    auto lerp = [up](double rising, double falling) { return falling + (rising - falling) * up; };
    double wob = std::sin(t * 2 * kPi * 2) * 6;
    p.lean = lerp(10, 2);
    p.legFront = {lerp(80, 30) + wob * 0.5, lerp(-5, -10)};
    p.legBack = {lerp(-25, -15), lerp(-40, -30)};
    p.armFront = {lerp(75, 100) + wob, lerp(115, 80) + wob};
    p.armBack = {lerp(-75, 115) - wob, lerp(-45, 95) - wob};
    p.scarf = t * 2 * kPi;
    return p;
}

HeroPose StandPose(int frame, int frames) {
    HeroPose p;
    p.front = true;
    double a = 2 * kPi * frame / frames;
    p.hipY = 31;
    p.headBob = std::sin(a) > 0.3 ? 0.6 : 0.0;
    p.legFront = {6, 4};
    p.legBack = {6, 4};
    p.armFront = {12 + 3 * std::sin(a), 4 + 3 * std::sin(a)};
    p.armBack = {12 + 3 * std::sin(a), 4 + 3 * std::sin(a)};
    p.blink = frame == frames - 2;
    p.scarf = a;
    return p;
}

HeroPose FallPose(int frame) {
    HeroPose p;
    p.front = true;
    p.grounded = false;
    p.hipY = 30;
    p.surprised = true;
    double s = frame % 2 ? 1 : -1;
    p.armFront = {150 + 15 * s, 175 + 20 * s};
    p.armBack = {150 - 15 * s, 175 - 20 * s};
    p.legFront = {22 + 6 * s, 8 + 10 * s};
    p.legBack = {22 - 6 * s, 8 - 10 * s};
    p.scarf = s;
    return p;
}

HeroPose BallPose(double angle) {
    HeroPose p;
    p.grounded = false;
    p.hipX = 12;
    p.hipY = 34;
    p.lean = 22;
    p.headBob = 1.5;
    p.legFront = {125, -25};
    p.legBack = {115, -35};
    p.armFront = {95, 140};
    p.armBack = {85, 130};
    p.spin = angle;
    p.spinX = 17;
    p.spinY = 26;
    p.size = 0.8;
    p.scarf = angle / 40.0;
    return p;
}

HeroPose WavePose(int frame, int frames) {
    HeroPose p = StandPose(frame, frames);
    double a = 2 * kPi * frame / frames;
    p.blink = false;
    p.armFront = {125, 160 + 28 * std::sin(a)};
    return p;
}

namespace {

// The player image: 90 patterns in rows of 10. Rows hold the frame groups
// the game selects (walk right 20-29, walk left 30-39, jump right 40-47,
// jump left 50-57, falling 60-61, standing 70-79, kill jump 80-89); the
// patterns between groups repeat a neighbouring pose so that any index shows
// the hero.
std::vector<Canvas> Player(const ItemSpec& s) {
    std::vector<Canvas> f(static_cast<size_t>(s.Frames));
    auto put = [&](int i, const HeroPose& p) {
        if (i < s.Frames) f[static_cast<size_t>(i)] = DrawHero(p, s.Width, s.Height);
    };
    for (int i = 0; i < 10; ++i) {
        put(i, StandPose(i, 10));
        put(10 + i, StandPose(i, 10));
        put(20 + i, WalkPose(i / 10.0, false));
        put(30 + i, WalkPose(i / 10.0, true));
        put(40 + i, JumpPose(std::min(i, 7) / 8.0, false));
        put(50 + i, JumpPose(std::min(i, 7) / 8.0, true));
        put(60 + i, FallPose(i));
        put(70 + i, StandPose(i, 10));
        put(80 + i, BallPose(i * 36.0));
    }
    return f;
}

// The hero curled up in a glowing ball, rolling.
std::vector<Canvas> AutomovePlayer(const ItemSpec& s) {
    std::vector<Canvas> frames;
    for (int i = 0; i < s.Frames; ++i) {
        Canvas f(s.Width, s.Height);
        double cx = s.Width / 2.0, cy = s.Height / 2.0, r = s.Width / 2.0 - 1;
        Mask glow(s.Width, s.Height);
        glow.FillCircle(cx, cy, r);
        Mask inner(s.Width, s.Height);
        inner.FillCircle(cx, cy, r - 2);
        Mask rim = glow;
        rim.Subtract(inner);
        // Light blue energy shell, a dithered haze inside.
        for (int y = 0; y < s.Height; ++y)
            for (int x = 0; x < s.Width; ++x)
                if (inner.Get(x, y) && Dither(x + i, y, 0.35)) f.Set(x, y, C("ice.3"));
        HeroPose ball = BallPose(i * 360.0 / s.Frames);
        ball.size = 0.72;
        Canvas hero = DrawHero(ball, 32, 48);
        f.Draw(hero.Crop(17 - s.Width / 2, 26 - s.Height / 2, s.Width, s.Height), 0, 0);
        for (int y = 0; y < s.Height; ++y)
            for (int x = 0; x < s.Width; ++x)
                if (rim.Get(x, y)) {
                    double ang = std::atan2(y + 0.5 - cy, x + 0.5 - cx) + i * 2 * kPi / s.Frames;
                    bool bright = std::sin(ang * 3) > 0.2;
                    f.Set(x, y, bright ? C("ice.4") : C("ice.2"));
                }
        Sparkle(f, static_cast<int>(cx - r * 0.55), static_cast<int>(cy - r * 0.55), 2, C("white.3"), C("white.4"));
        frames.push_back(f);
    }
    return frames;
}

// The hero waving, large, for the credits screen.
std::vector<Canvas> CreditsFigure(const ItemSpec& s) {
    std::vector<Canvas> drawn;
    int left = s.Width, right = -1;
    for (int i = 0; i < s.Frames; ++i) {
        drawn.push_back(DrawHero(WavePose(i, s.Frames), s.Width, s.Height, 1.85));
        for (int y = 0; y < s.Height; ++y)
            for (int x = 0; x < s.Width; ++x)
                if (drawn.back().Opaque(x, y)) left = std::min(left, x), right = std::max(right, x);
    }
    // Centre the figure (all frames by the same amount, so it does not jitter).
    const int shift = (s.Width - 1 - right - left) / 2;
    std::vector<Canvas> frames;
    for (const Canvas& d : drawn) {
        Canvas f(s.Width, s.Height);
        f.Draw(d, shift, 0);
        frames.push_back(f);
    }
    return frames;
}

} // namespace

void AddHeroGenerators(GeneratorTable& t) {
    t["hero"] = Player;
    t["automove-player"] = AutomovePlayer;
    t["credits-figure"] = CreditsFigure;
}

} // namespace artgen
