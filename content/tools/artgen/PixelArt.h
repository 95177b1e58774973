#pragma once
// Hand-drawn pixel art as text: a legend maps characters to colours, then
// each frame is a grid of characters. Format:
//
//   # comment
//   size 24 22
//   legend
//   . none
//   o outline
//   r jacket.2
//   frame
//   ....oooo....   (exactly `height` rows of exactly `width` characters)
//   frame
//   ...
//
// Colours are palette references (ramp.index, a ramp name, #rrggbb, none;
// "outline" is the outline colour).
#include "Raster.h"

#include <string>
#include <vector>

namespace artgen {

struct PixelArt {
    int Width = 0, Height = 0;
    std::vector<Canvas> Frames;
};

// Raises varnok::EConvertError "file:line: message" on bad input.
PixelArt ReadPixelArt(const std::string& path);
PixelArt ParsePixelArt(const std::string& text, const std::string& name);
// A .pix file of the art sources, read once and kept.
const PixelArt& LoadPix(const std::string& relativePath);

} // namespace artgen
