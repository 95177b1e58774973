#include "Terrain.h"

#include <algorithm>
#include <cmath>

namespace artgen {

namespace {

int Wrap(int v) { return ((v % 32) + 32) % 32; }

// Shortest distance between two coordinates on a 32-pixel ring.
double RingDelta(double a, double b) {
    double d = std::fmod(a - b, 32.0);
    if (d < -16.0) d += 32.0;
    if (d >= 16.0) d -= 32.0;
    return d;
}

bool CellSolid(char kind, int lx, int ly) {
    switch (kind) {
    case '#': return true;
    case '/': return lx + ly >= 32;  // surface row 32 - x: the landing rule of a slope rising right
    case '\\': return ly >= lx;      // surface row x: rising to the left
    default: return false;
    }
}

struct Field {
    const Context& ctx;
    bool Solid(int x, int y) const {
        int cx = std::clamp(static_cast<int>(std::floor(x / 32.0)), 0, 2);
        int cy = std::clamp(static_cast<int>(std::floor(y / 32.0)), 0, 2);
        char k = ctx[static_cast<size_t>(cy)][static_cast<size_t>(cx)];
        return CellSolid(k, Wrap(x), Wrap(y));
    }
    // Steps from (x, y) along (dx, dy) until the first air pixel (at most max).
    int Run(int x, int y, int dx, int dy, int max) const {
        for (int k = 1; k <= max; ++k)
            if (!Solid(x + k * dx, y + k * dy)) return k;
        return max + 1;
    }
};

Rgba Level(const Ramp& r, int i) { return r[static_cast<size_t>(std::clamp(i, 0, static_cast<int>(r.size()) - 1))]; }

// Pebbles on a jittered 8-pixel grid, with specks between them.
Rgba Pebbles(const Ramp& r, int x, int y, int seed) {
    x = Wrap(x), y = Wrap(y);
    for (int j = -1; j <= 4; ++j)
        for (int i = -1; i <= 4; ++i) {
            int gi = (i + 4) % 4, gj = (j + 4) % 4;
            if (Hash01(gi, gj, seed + 11) > 0.5) continue;
            double px = i * 8 + 2 + 4 * Hash01(gi, gj, seed + 12);
            double py = j * 8 + 2 + 4 * Hash01(gi, gj, seed + 13);
            double rad = 1.3 + 1.4 * Hash01(gi, gj, seed + 14);
            double dx = x + 0.5 - px, dy = y + 0.5 - py;
            double d = std::sqrt(dx * dx + dy * dy);
            if (d < rad) return dx + dy < -rad * 0.5 ? Level(r, 4) : dx + dy > rad * 0.6 ? Level(r, 2) : Level(r, 3);
            if (d < rad + 1.0 && dx + dy > 0) return Level(r, 1);
        }
    double h = Hash01(x, y, seed);
    if (h < 0.07) return Level(r, 1);
    if (h > 0.95) return Level(r, 3);
    return Level(r, 2);
}

// Dark loam: crumbs and small stones, with a root winding through now and then.
Rgba Roots(const Ramp& r, int x, int y, int seed) {
    x = Wrap(x), y = Wrap(y);
    double ry = 18 + 4.0 * std::sin(x * 2 * 3.14159 / 32.0) + 2.0 * std::sin(x * 4 * 3.14159 / 32.0 + 1.0);
    double d = y + 0.5 - ry;
    bool onRoot = (x < 6 || x > 13) && std::abs(d) < 0.9;
    if (onRoot) return Level(r, 4);
    if (onRoot || ((x < 6 || x > 13) && d >= 0.9 && d < 1.9)) return Level(r, 0);
    Rgba p = Pebbles(r, x, y, seed);
    return p == Level(r, 2) ? Level(r, 1) : p;
}

// Irregular stones: each pixel belongs to its nearest of 16 jittered points.
Rgba Stones(const Ramp& r, int x, int y, int seed) {
    double best = 1e9, second = 1e9, bx = 0, by = 0;
    int bid = 0;
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i) {
            double px = i * 8 + 1 + 6 * Hash01(i, j, seed + 21);
            double py = j * 8 + 1 + 6 * Hash01(i, j, seed + 22);
            double dx = RingDelta(x + 0.5, px), dy = RingDelta(y + 0.5, py);
            double d = std::sqrt(dx * dx + dy * dy);
            if (d < best) second = best, best = d, bx = dx, by = dy, bid = j * 4 + i;
            else if (d < second) second = d;
        }
    if (second - best < 1.1) return Level(r, 0);
    int base = Hash01(bid, 0, seed + 23) < 0.3 ? 3 : 2;
    if (bx + by < -3.0) return Level(r, base + 1);
    if (bx + by > 3.5 || second - best < 2.0) return Level(r, base - 1);
    return Hash01(x & 31, y & 31, seed) < 0.05 ? Level(r, base - 1) : Level(r, base);
}

Rgba Ice(const Ramp& r, int x, int y, int seed) {
    x = Wrap(x), y = Wrap(y);
    int diag = Wrap(x + y);
    if (diag == 5 || diag == 20) return Level(r, 3);
    if (diag == 6) return Level(r, 4);
    for (int k = 0; k < 3; ++k) {
        double bx = 4 + 26 * Hash01(k, 1, seed + 31), by = 4 + 26 * Hash01(k, 2, seed + 31);
        double dx = RingDelta(x + 0.5, bx), dy = RingDelta(y + 0.5, by);
        double d2 = dx * dx + dy * dy;
        if (d2 < 1.2) return Level(r, 4);
        if (d2 < 3.5) return Level(r, 3);
    }
    if (Hash01(x, y, seed) < 0.04) return Level(r, 1);
    return Level(r, 2);
}

// Bricks of w x h pixels, every other course shifted by half a brick.
Rgba Bricks(const Ramp& r, int x, int y, int seed, int w, int h) {
    x = Wrap(x), y = Wrap(y);
    int row = y / h, yy = y % h;
    int shift = (row % 2) * (w / 2);
    int xx = (x + shift) % w, col = ((x + shift) / w) % (32 / w);
    if (yy == h - 1 || xx == w - 1) return Level(r, 0);
    int base = Hash01(col, row, seed + 41) < 0.25 ? 3 : Hash01(col, row, seed + 42) < 0.2 ? 1 : 2;
    if (yy == 0 || xx == 0) return Level(r, base + 1);
    if (yy == h - 2 || xx == w - 2) return Level(r, base - 1);
    if (Hash01(x, y, seed) < 0.06) return Level(r, base - 1);
    return Level(r, base);
}

Rgba Logs(const Ramp& r, int x, int y, int seed) {
    x = Wrap(x), y = Wrap(y);
    int yy = y % 8, row = y / 8;
    static const int shade[8] = {0, 4, 3, 3, 2, 2, 1, 0};
    int l = shade[yy];
    // Grain lines and a knot now and then.
    if (yy >= 2 && yy <= 5 && Hash01(x / 3, row, seed + 51) < 0.18) l -= 1;
    double kx = 4 + 24 * Hash01(row, 0, seed + 52);
    if (std::abs(RingDelta(x + 0.5, kx)) < 1.5 && yy >= 3 && yy <= 4) l = 0;
    return Level(r, l);
}

} // namespace

Rgba TextureColor(Texture t, const Ramp& r, int x, int y, int seed) {
    switch (t) {
    case Texture::Pebbles: return Pebbles(r, x, y, seed);
    case Texture::Roots: return Roots(r, x, y, seed);
    case Texture::Stones: return Stones(r, x, y, seed);
    case Texture::Ice: return Ice(r, x, y, seed);
    case Texture::Bricks: return Bricks(r, x, y, seed, 16, 8);
    case Texture::Blocks: return Bricks(r, x, y, seed, 16, 16);
    case Texture::Logs: return Logs(r, x, y, seed);
    }
    return Level(r, 2);
}

namespace {

// How thick the surface band is in a column (repeats every 32 pixels).
int BandDepth(const TerrainStyle& s, int x, int seed) {
    x = Wrap(x);
    switch (s.surface) {
    case Surface::Grass: {
        // Blades hanging over the earth in little points.
        static const int tuft[8] = {0, 2, 3, 2, 0, 1, 2, 1};
        return s.band + tuft[x % 8] + (Hash01(x / 8, 0, seed + 61) < 0.3 ? 1 : 0);
    }
    case Surface::Moss: {
        // Moss hangs over the edge in drips.
        static const int drip[16] = {0, 1, 1, 0, 2, 5, 6, 3, 1, 0, 1, 2, 1, 0, 3, 1};
        return s.band + drip[x % 16];
    }
    case Surface::Snow: return s.band + static_cast<int>(std::lround(1.6 * std::sin(x * 2 * 3.14159 / 16.0)));
    case Surface::Rock: return s.band + static_cast<int>(Hash01(x / 3, 0, seed + 63) * 2);
    case Surface::Slab: return s.band;
    }
    return s.band;
}

Rgba BandColor(const TerrainStyle& s, const Ramp& top, int d, int depth, int x, int y, int seed) {
    switch (s.surface) {
    case Surface::Grass:
    case Surface::Moss:
        if (d <= 1) return Level(top, 4);
        if (d == 2) return Level(top, 3);
        if (d >= depth) return Level(top, 1);
        return Hash01(Wrap(x), Wrap(y), seed + 64) < 0.12 ? Level(top, 3) : Level(top, 2);
    case Surface::Snow:
        if (d <= 3) return Level(top, 4);
        if (d >= depth) return Level(top, 2);
        if (d >= depth - 2) return Level(top, 3);
        return Hash01(Wrap(x), Wrap(y), seed + 66) < 0.04 ? Level(top, 2) : Level(top, 4 - (d + x) % 5 / 4);
    case Surface::Rock:
        if (d <= 1) return Level(top, 4);
        return Level(top, 3);
    case Surface::Slab:
        if (Wrap(x) % 16 == 0) return Level(top, 1);
        if (d <= 1) return Level(top, 4);
        if (d >= depth) return Level(top, 1);
        if (Wrap(x) % 16 == 1) return Level(top, 3);
        return Hash01(Wrap(x), Wrap(y), seed + 65) < 0.08 ? Level(top, 1) : Level(top, 2);
    }
    return Level(top, 2);
}

} // namespace

Canvas DrawTerrain(const Context& ctx, const TerrainStyle& s, int seed) {
    Field f{ctx};
    const Ramp& fill = R(s.fill);
    const Ramp& top = s.top.empty() ? fill : R(s.top);
    Canvas c(32, 32);
    for (int ly = 0; ly < 32; ++ly)
        for (int lx = 0; lx < 32; ++lx) {
            const int x = 32 + lx, y = 32 + ly;
            if (!f.Solid(x, y)) continue;
            const int up = f.Run(x, y, 0, -1, 40);
            int depth = up;
            if (up <= 2 * s.band + 2) {
                // Near a sloping surface the band keeps its thickness across the slope.
                int dl = f.Run(x, y, -1, -1, 40), dr = f.Run(x, y, 1, -1, 40);
                depth = std::min(up, static_cast<int>(std::lround(std::min(dl, dr) * 1.41)));
            }
            const int left = f.Run(x, y, -1, 0, 8), right = f.Run(x, y, 1, 0, 8), down = f.Run(x, y, 0, 1, 8);
            const bool edge = up == 1 || left == 1 || right == 1 || down == 1;
            Rgba col;
            if (edge) {
                Rgba base = (up == 1 && !s.top.empty()) ? top[0] : fill[0];
                col = Mix(base, Outline(), 0.45);
            } else if (!s.top.empty() && depth <= BandDepth(s, x, seed)) {
                col = BandColor(s, top, depth - 1, BandDepth(s, x, seed) - 1, x, y, seed);
            } else {
                col = TextureColor(s.texture, fill, x, y, seed);
                if (!s.top.empty() && depth == BandDepth(s, x, seed) + 1) col = Mix(col, fill[0], 0.6);
                if (s.bevel) {
                    if (up <= 3 || left <= 3) col = Mix(col, fill[4], 0.45);
                    else if (down <= 3 || right <= 3) col = Mix(col, fill[0], 0.45);
                } else {
                    if (left <= 3) col = Mix(col, fill[4], 0.3);
                    if (right <= 3) col = Mix(col, fill[0], 0.35);
                    if (down <= 4) col = Mix(col, fill[0], 0.45);
                }
            }
            c.Set(lx, ly, col);
        }
    return c;
}

} // namespace artgen
