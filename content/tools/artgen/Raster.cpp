#include "Raster.h"

#include <algorithm>
#include <cmath>

namespace artgen {

Rgba Mix(Rgba a, Rgba b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    auto m = [t](uint8_t p, uint8_t q) { return static_cast<uint8_t>(std::lround(p + (q - p) * t)); };
    return {m(a.r, b.r), m(a.g, b.g), m(a.b, b.b), std::max(a.a, b.a)};
}

Rgba Scale(Rgba c, double f) {
    auto s = [f](uint8_t v) { return static_cast<uint8_t>(std::clamp(std::lround(v * f), 0L, 255L)); };
    return {s(c.r), s(c.g), s(c.b), c.a};
}

// ---------------------------------------------------------------- Mask

bool Mask::Empty() const { return Count() == 0; }

int Mask::Count() const {
    return static_cast<int>(std::count(bits_.begin(), bits_.end(), uint8_t{1}));
}

void Mask::FillRect(int x, int y, int w, int h) {
    for (int j = y; j < y + h; ++j)
        for (int i = x; i < x + w; ++i) Set(i, j);
}

void Mask::FillCircle(double cx, double cy, double r) { FillEllipse(cx, cy, r, r); }

void Mask::FillEllipse(double cx, double cy, double rx, double ry) {
    if (rx <= 0 || ry <= 0) return;
    int x0 = static_cast<int>(std::floor(cx - rx)), x1 = static_cast<int>(std::ceil(cx + rx));
    int y0 = static_cast<int>(std::floor(cy - ry)), y1 = static_cast<int>(std::ceil(cy + ry));
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            double dx = (x + 0.5 - cx) / rx, dy = (y + 0.5 - cy) / ry;
            if (dx * dx + dy * dy <= 1.0) Set(x, y);
        }
}

void Mask::FillCapsule(double x0, double y0, double x1, double y1, double r) {
    FillTaper(x0, y0, x1, y1, r, r);
}

void Mask::FillTaper(double x0, double y0, double x1, double y1, double r0, double r1) {
    double rmax = std::max(r0, r1);
    int bx0 = static_cast<int>(std::floor(std::min(x0, x1) - rmax));
    int bx1 = static_cast<int>(std::ceil(std::max(x0, x1) + rmax));
    int by0 = static_cast<int>(std::floor(std::min(y0, y1) - rmax));
    int by1 = static_cast<int>(std::ceil(std::max(y0, y1) + rmax));
    double vx = x1 - x0, vy = y1 - y0, len2 = vx * vx + vy * vy;
    for (int y = by0; y <= by1; ++y)
        for (int x = bx0; x <= bx1; ++x) {
            double px = x + 0.5 - x0, py = y + 0.5 - y0;
            double t = len2 > 0 ? std::clamp((px * vx + py * vy) / len2, 0.0, 1.0) : 0.0;
            double dx = px - t * vx, dy = py - t * vy;
            double r = r0 + (r1 - r0) * t;
            if (dx * dx + dy * dy <= r * r) Set(x, y);
        }
}

void Mask::FillPolygon(const std::vector<Point>& pts) {
    if (pts.size() < 3) return;
    double minY = pts[0].y, maxY = pts[0].y;
    for (const Point& p : pts) minY = std::min(minY, p.y), maxY = std::max(maxY, p.y);
    for (int y = static_cast<int>(std::floor(minY)); y <= static_cast<int>(std::ceil(maxY)); ++y) {
        double sy = y + 0.5;
        std::vector<double> xs;
        for (size_t i = 0; i < pts.size(); ++i) {
            const Point& a = pts[i];
            const Point& b = pts[(i + 1) % pts.size()];
            if ((a.y <= sy && b.y > sy) || (b.y <= sy && a.y > sy))
                xs.push_back(a.x + (sy - a.y) * (b.x - a.x) / (b.y - a.y));
        }
        std::sort(xs.begin(), xs.end());
        for (size_t i = 0; i + 1 < xs.size(); i += 2)
            for (int x = static_cast<int>(std::ceil(xs[i] - 0.5)); x + 0.5 <= xs[i + 1]; ++x) Set(x, y);
    }
}

void Mask::Line(int x0, int y0, int x1, int y1) {
    int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
    int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1, err = dx + dy;
    for (;;) {
        Set(x0, y0);
        if (x0 == x1 && y0 == y1) break;
        int e2 = 2 * err;
        if (e2 >= dy) err += dy, x0 += sx;
        if (e2 <= dx) err += dx, y0 += sy;
    }
}

void Mask::Add(const Mask& o, int dx, int dy) {
    for (int y = 0; y < o.h_; ++y)
        for (int x = 0; x < o.w_; ++x)
            if (o.Get(x, y)) Set(x + dx, y + dy);
}

void Mask::Subtract(const Mask& o, int dx, int dy) {
    for (int y = 0; y < o.h_; ++y)
        for (int x = 0; x < o.w_; ++x)
            if (o.Get(x, y)) Set(x + dx, y + dy, false);
}

void Mask::Intersect(const Mask& o) {
    for (int y = 0; y < h_; ++y)
        for (int x = 0; x < w_; ++x)
            if (!o.Get(x, y)) Set(x, y, false);
}

Mask Mask::Dilated(int n) const {
    Mask cur = *this;
    for (int k = 0; k < n; ++k) {
        Mask next = cur;
        for (int y = 0; y < h_; ++y)
            for (int x = 0; x < w_; ++x)
                if (!cur.Get(x, y) &&
                    (cur.Get(x - 1, y) || cur.Get(x + 1, y) || cur.Get(x, y - 1) || cur.Get(x, y + 1)))
                    next.Set(x, y);
        cur = std::move(next);
    }
    return cur;
}

Mask Mask::Ring() const {
    Mask r = Dilated(1);
    r.Subtract(*this);
    return r;
}

Mask Mask::Edge() const {
    Mask e(w_, h_);
    for (int y = 0; y < h_; ++y)
        for (int x = 0; x < w_; ++x)
            if (Get(x, y) && (!Get(x - 1, y) || !Get(x + 1, y) || !Get(x, y - 1) || !Get(x, y + 1)))
                e.Set(x, y);
    return e;
}

Mask Mask::Shifted(int dx, int dy) const {
    Mask m(w_, h_);
    m.Add(*this, dx, dy);
    return m;
}

// ---------------------------------------------------------------- Canvas

void Canvas::Blend(int x, int y, Rgba c) {
    if (!Inside(x, y) || c.a == 0) return;
    Rgba& d = px_[Index(x, y)];
    if (d.a == 0) {
        // Nothing below: half-covered pixels become solid, fainter ones stay clear.
        if (c.a >= 128) d = {c.r, c.g, c.b, 255};
        return;
    }
    d = Mix(d, Rgba{c.r, c.g, c.b, 255}, c.a / 255.0);
    d.a = 255;
}

void Canvas::Fill(Rgba c) { std::fill(px_.begin(), px_.end(), c); }

void Canvas::FillRect(int x, int y, int w, int h, Rgba c) {
    for (int j = y; j < y + h; ++j)
        for (int i = x; i < x + w; ++i) Set(i, j, c);
}

void Canvas::FillMask(const Mask& m, Rgba c, int dx, int dy) {
    for (int y = 0; y < m.Height(); ++y)
        for (int x = 0; x < m.Width(); ++x)
            if (m.Get(x, y)) Set(x + dx, y + dy, c);
}

void Canvas::Draw(const Canvas& src, int x, int y) {
    for (int j = 0; j < src.h_; ++j)
        for (int i = 0; i < src.w_; ++i) {
            Rgba c = src.Get(i, j);
            if (c.a) Set(x + i, y + j, c);
        }
}

Canvas Canvas::Crop(int x, int y, int w, int h) const {
    Canvas out(w, h);
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) out.Set(i, j, Get(x + i, y + j));
    return out;
}

Canvas Canvas::FlippedX() const {
    Canvas out(w_, h_);
    for (int j = 0; j < h_; ++j)
        for (int i = 0; i < w_; ++i) out.Set(w_ - 1 - i, j, Get(i, j));
    return out;
}

Canvas Canvas::Enlarged(int n) const {
    Canvas out(w_ * n, h_ * n);
    for (int j = 0; j < out.h_; ++j)
        for (int i = 0; i < out.w_; ++i) out.Set(i, j, Get(i / n, j / n));
    return out;
}

Mask Canvas::Coverage() const {
    Mask m(w_, h_);
    for (int y = 0; y < h_; ++y)
        for (int x = 0; x < w_; ++x)
            if (Opaque(x, y)) m.Set(x, y);
    return m;
}

varnok::RgbaImage Canvas::ToImage() const {
    varnok::RgbaImage img(w_, h_);
    for (int y = 0; y < h_; ++y)
        for (int x = 0; x < w_; ++x) {
            Rgba c = Get(x, y);
            uint8_t* p = img.At(x, y);
            p[0] = c.r, p[1] = c.g, p[2] = c.b, p[3] = c.a ? 255 : 0;
        }
    return img;
}

Canvas Canvas::FromImage(const varnok::RgbaImage& img) {
    Canvas c(img.Width, img.Height);
    for (int y = 0; y < img.Height; ++y)
        for (int x = 0; x < img.Width; ++x) {
            const uint8_t* p = img.At(x, y);
            c.Set(x, y, {p[0], p[1], p[2], p[3]});
        }
    return c;
}

Canvas JoinFrames(const std::vector<Canvas>& frames, int across) {
    if (frames.empty()) return {};
    int fw = frames[0].Width(), fh = frames[0].Height();
    int cols = std::min<int>(across, static_cast<int>(frames.size()));
    int rows = (static_cast<int>(frames.size()) + across - 1) / across;
    Canvas out(fw * cols, fh * rows);
    for (size_t i = 0; i < frames.size(); ++i)
        out.Draw(frames[i], static_cast<int>(i % across) * fw, static_cast<int>(i / across) * fh);
    return out;
}

double Hash01(int x, int y, int seed) {
    uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u +
                 static_cast<uint32_t>(seed) * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return (h & 0xFFFFFF) / 16777216.0;
}

} // namespace artgen
