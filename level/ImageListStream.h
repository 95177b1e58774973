#pragma once
// The .dxg file format of image lists: a resource header, "TPF0" and the
// collection's properties in the component stream encoding.
#include "common/Color.h"

#include <optional>
#include <string>
#include <string_view>

namespace varnok {

class TPictureCollection;

// Colour names of the stored TransparentColor ("clFuchsia", "clBtnFace"...).
// Names compare without regard to letter case.
std::optional<std::string> ColorToIdent(TColor color);
std::optional<TColor> IdentToColor(std::string_view ident);

// Appends the items of a .dxg image and sets the colour table. Stream errors
// and picture errors propagate; the items read so far stay.
void ReadPictureCollection(std::string_view bytes, TPictureCollection& collection);
std::string WritePictureCollection(const TPictureCollection& collection);

} // namespace varnok
