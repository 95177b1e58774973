#pragma once
// Writing the generated pictures: BMP files (24 bits, or 8 bits with a
// colour table), PNG files, and enlarged preview sheets for looking at them.
#include "Raster.h"

#include <string>

namespace artgen {

// Transparent pixels are written in the key colour fuchsia.
std::string EncodeBmp24(const Canvas& c);
// Raises varnok::EConvertError when the picture has more than 256 colours.
std::string EncodeBmp8(const Canvas& c);
void WriteFile(const std::string& path, const std::string& bytes);
// Transparent pixels get alpha 0 (and fuchsia underneath).
void SavePng(const std::string& path, const Canvas& c);
// The picture enlarged `scale` times over a checkerboard, with a grid line
// between patterns of the given size.
Canvas PreviewSheet(const Canvas& picture, int patternWidth, int patternHeight, int scale);

} // namespace artgen
