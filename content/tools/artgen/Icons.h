#pragma once
// The program icon: the hero waving on a rounded square of evening sky,
// drawn afresh for every icon size rather than scaled from one picture.
#include "Raster.h"

#include <vector>

namespace artgen {

// The sizes desktops look for in the icon theme, in pixels.
const std::vector<int>& IconSizes();

// The icon at size x size pixels; outside the rounded square it is clear.
Canvas DrawIcon(int size);

} // namespace artgen
