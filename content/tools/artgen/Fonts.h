#pragma once
// Text rendered with FreeType, for lettering in pictures (the title logo).
#include "Raster.h"

#include <string>

namespace artgen {

// The coverage of a line of text (Latin-1) at a pixel size, in a mask just
// big enough for it plus `margin` pixels on every side. `face` is a file of
// the Liberation font folder.
Mask TextMask(const std::string& text, const std::string& face, int px, int margin);

} // namespace artgen
