#pragma once
// The pictures a level's map refers to: the tile sheet with one tile per
// sequence after it, an icon for every bound code and a picture for every tag,
// each a cell large so that Tiled shows them on the map's grid.
#include "levelsource/LevelSource.h"
#include "levelsource/TiledMap.h"

#include "common/Image.h"

#include <array>
#include <functional>
#include <optional>

namespace varnok::levelc {

// The sheet as Tiled should show it: the transparent colour made clear.
RgbaImage KeyedPicture(const RgbaImage& picture, const std::array<int, 3>& key);

// The tiles picture: the sheet's whole tiles, then the first frame of each
// sequence and at least one clear tile (for frames that show no tile). Fills
// the tiles fields of files.
RgbaImage TilesPicture(const RgbaImage& keyedSheet, const LevelSource& level, MapPictureFiles& files);

// 16 x 16 icons of a cell each, tile id = bound code: floors, walls and
// ceilings as bars on their edges, slopes as diagonals, other bits in hex.
RgbaImage BoundsPicture(int cellW, int cellH);

// 16 x 16 pictures of a cell each, tile id = tag: the actor's own picture
// (picture(tag), shrunk to the cell when larger) or a drawn sign for tags
// without one (switched cells, paths), each with the tag in hex in a corner.
RgbaImage ActorsPicture(int cellW, int cellH,
                        const std::function<std::optional<RgbaImage>(int tag)>& picture);

} // namespace varnok::levelc
