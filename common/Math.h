#pragma once
// The game's rounding rules: Trunc toward zero, Round to nearest with ties to
// even, div and mod toward zero (C++'s own / and % on integers).
#include <cmath>
#include <cstdint>

namespace varnok {

// A conversion to an integer truncates toward zero already; values beyond the
// 64-bit range (and NaN) are clamped rather than left undefined.
inline int64_t Trunc(double v) {
    if (v > -9.2e18 && v < 9.2e18) return static_cast<int64_t>(v);
    return v > 0 ? INT64_MAX : (v < 0 ? INT64_MIN : 0);
}
// std::nearbyint uses the current rounding mode, which is round-to-nearest-even
// unless someone changed it; the game never does.
inline int64_t Round(double v) { return static_cast<int64_t>(std::nearbyint(v)); }

} // namespace varnok
