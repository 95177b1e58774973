#pragma once
// Pictures and shape masks for the art generator. A Canvas holds RGBA
// pixels (alpha 0 = transparent, anything else opaque once written out); a
// Mask marks which pixels a shape covers. Shapes are rasterised by pixel
// centres: pixel (x, y) belongs to a shape when (x + 0.5, y + 0.5) lies inside.
#include "common/Image.h"

#include <cstdint>
#include <vector>

namespace artgen {

struct Rgba {
    uint8_t r = 0, g = 0, b = 0, a = 0;
    bool operator==(const Rgba&) const = default;
};

constexpr Rgba kClear{0, 0, 0, 0};

// Mixes two colours: t = 0 gives a, t = 1 gives b.
Rgba Mix(Rgba a, Rgba b, double t);
// Scales the brightness of a colour (1 = unchanged).
Rgba Scale(Rgba c, double f);

struct Point {
    double x = 0, y = 0;
};

class Mask {
public:
    Mask() = default;
    Mask(int w, int h) : w_(w), h_(h), bits_(static_cast<size_t>(w) * h, 0) {}
    int Width() const { return w_; }
    int Height() const { return h_; }
    bool Get(int x, int y) const { return x >= 0 && y >= 0 && x < w_ && y < h_ && bits_[Index(x, y)]; }
    void Set(int x, int y, bool on = true) {
        if (x >= 0 && y >= 0 && x < w_ && y < h_) bits_[Index(x, y)] = on ? 1 : 0;
    }
    bool Empty() const;
    int Count() const;

    void FillRect(int x, int y, int w, int h);
    void FillCircle(double cx, double cy, double r);
    void FillEllipse(double cx, double cy, double rx, double ry);
    // A thick line with round ends (all points within r of the segment).
    void FillCapsule(double x0, double y0, double x1, double y1, double r);
    // A thick line whose radius changes from r0 to r1 along it.
    void FillTaper(double x0, double y0, double x1, double y1, double r0, double r1);
    void FillPolygon(const std::vector<Point>& points);
    // A one-pixel line (Bresenham).
    void Line(int x0, int y0, int x1, int y1);

    void Add(const Mask& other, int dx = 0, int dy = 0);
    void Subtract(const Mask& other, int dx = 0, int dy = 0);
    void Intersect(const Mask& other);
    // Pixels within n steps (4-neighbour) of the mask, the mask included.
    Mask Dilated(int n = 1) const;
    // The one-pixel ring just outside the mask (4-neighbour).
    Mask Ring() const;
    // Mask pixels with a 4-neighbour outside the mask.
    Mask Edge() const;
    Mask Shifted(int dx, int dy) const;

private:
    size_t Index(int x, int y) const { return static_cast<size_t>(y) * w_ + x; }
    int w_ = 0, h_ = 0;
    std::vector<uint8_t> bits_;
};

class Canvas {
public:
    Canvas() = default;
    Canvas(int w, int h) : w_(w), h_(h), px_(static_cast<size_t>(w) * h) {}
    int Width() const { return w_; }
    int Height() const { return h_; }
    bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < w_ && y < h_; }
    Rgba Get(int x, int y) const { return Inside(x, y) ? px_[Index(x, y)] : kClear; }
    void Set(int x, int y, Rgba c) {
        if (Inside(x, y)) px_[Index(x, y)] = c;
    }
    bool Opaque(int x, int y) const { return Get(x, y).a != 0; }
    // Blends c over the pixel with c's alpha (the result is opaque when the
    // pixel was opaque or c is).
    void Blend(int x, int y, Rgba c);

    void Fill(Rgba c);
    void FillRect(int x, int y, int w, int h, Rgba c);
    void FillMask(const Mask& m, Rgba c, int dx = 0, int dy = 0);
    // Copies the opaque pixels of src to (x, y).
    void Draw(const Canvas& src, int x, int y);
    Canvas Crop(int x, int y, int w, int h) const;
    Canvas FlippedX() const;
    // Each pixel becomes an n x n block.
    Canvas Enlarged(int n) const;
    // The opaque pixels as a mask.
    Mask Coverage() const;

    varnok::RgbaImage ToImage() const;
    static Canvas FromImage(const varnok::RgbaImage& image);

private:
    size_t Index(int x, int y) const { return static_cast<size_t>(y) * w_ + x; }
    int w_ = 0, h_ = 0;
    std::vector<Rgba> px_;
};

// Frames laid out left to right, `across` per row, into one picture.
Canvas JoinFrames(const std::vector<Canvas>& frames, int across);

// A repeatable pseudo-random value in [0, 1) for integer coordinates and a seed.
double Hash01(int x, int y, int seed);

} // namespace artgen
