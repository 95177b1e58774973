#pragma once
// The game's rounding rules: Trunc toward zero, Round to nearest with ties to
// even, div and mod toward zero (C++'s own / and % on integers).
#include <cmath>
#include <cstdint>

namespace varnok {

inline int64_t Trunc(double v) { return static_cast<int64_t>(std::trunc(v)); }
// std::nearbyint uses the current rounding mode, which is round-to-nearest-even
// unless someone changed it; the game never does.
inline int64_t Round(double v) { return static_cast<int64_t>(std::nearbyint(v)); }

} // namespace varnok
