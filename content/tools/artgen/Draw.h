#pragma once
// Small drawing helpers shared by the generators.
#include "Raster.h"
#include "Style.h"

namespace artgen {

// The 8 x 8 ordered-dither threshold (0..63) of a pixel.
int Bayer8(int x, int y);
// True when a pixel should be set to show `level` (0..1) of coverage.
inline bool Dither(int x, int y, double level) { return Bayer8(x, y) < level * 64.0; }

// A four-pointed twinkle: arms of `size` pixels, the centre in `core`.
void Sparkle(Canvas& c, int x, int y, int size, Rgba arm, Rgba core);

// Paints an outlined, shaded shape; shorthand for Paint with a ramp name.
inline void PaintShape(Canvas& c, const Mask& m, const std::string& ramp, double light = 1.0) {
    PaintOptions o;
    o.light = light;
    Paint(c, m, R(ramp), o);
}

} // namespace artgen
