#pragma once
// Levels as Tiled maps (.tmx). The reader turns a map into the same level
// model the text format gives, so that one checker and one writer serve both;
// the writer turns a level into a map that Tiled opens and draws as the game
// does. docs/levels.md describes the map for level makers:
//
// - the map's cells are the playfield's; map properties: name, music,
//   running, sheet (the game's tile bitmap), transparent, "info N" texts;
// - tileset "Tiles": the sheet's tiles, then one animated tile per sequence;
//   tileset "Bounds": one icon per bound code (tile id = code); tileset
//   "Actors": one picture per tag (tile id = tag);
// - tile layers "Layer N (...)" (property layer = N, scroll = "X Y", size =
//   "W H" for a layer smaller than the map), a tile layer "Bounds", and
//   object layers of "Actors" tile objects, one per tagged cell.
#include "levelsource/Diagnostics.h"
#include "levelsource/LevelSource.h"

#include <functional>
#include <string>

namespace varnok::levelc {

inline constexpr const char* kTilesTileset = "Tiles";
inline constexpr const char* kBoundsTileset = "Bounds";
inline constexpr const char* kActorsTileset = "Actors";
inline constexpr const char* kBoundsLayer = "Bounds";
inline constexpr const char* kActorsLayer = "Actors";

// The layer's name in a map: "Layer 3 (Playfield)", "Layer 7 (Sky)".
std::string GameLayerName(int number);
// What a tag stands for, as objects are named: "Coin C0", "Enemy 8A", "Start".
std::string TagName(int tag);
// The kind of a tag, as objects and actor tiles are typed: "Coin", "Enemy".
std::string TagKind(int tag);
// A bound code in words: "solid", "top+left", "slope-up", "0x10".
std::string BoundName(int code);

// What the reader needs to know from outside the map.
struct MapContext {
    // Tiles of cellW x cellH pixels on the sheet the map names (for example
    // "GFX\Level1.bmp"), or -1 with the reason when the game has no such sheet.
    std::function<int(const std::string& sheet, int cellW, int cellH, std::string& why)> sheetTiles;
    // The level number the map becomes.
    int number = 1;
};

// Largest map file read: larger ones are refused before they are parsed.
inline constexpr uint64_t kMaxMapFileBytes = 64u << 20;
// Largest number of cells all tile layers of a map may have together (the
// game's bound for one level).
inline constexpr uint64_t kMaxMapCells = uint64_t{1} << 24;

// Reads a map file. Problems go to diag, each naming the file and the place
// as Tiled shows it; the result is complete only when diag holds no errors.
LevelSource ReadTiledMap(const std::string& path, const MapContext& context, Diagnostics& diag);
// The same from the map's text; path names it in messages and is where
// external tilesets are looked for.
LevelSource ReadTiledMapText(const std::string& text, const std::string& path, const MapContext& context,
                             Diagnostics& diag);

// The pictures a written map refers to, by file names relative to the map.
struct MapPictureFiles {
    std::string tiles;  // the sheet's tiles, then the sequences' tiles
    std::string bounds; // 16 x 16 icons, one per bound code
    std::string actors; // 16 x 16 pictures, one per tag
    int tilesColumns = 1;
    int tilesRows = 1;
    int sheetTiles = 0; // tiles of the sheet itself; sequence k is tile sheetTiles + k - 1
};

// The map of a level. A layer larger than the playfield cannot be a map layer:
// that is an error in diag (Tiled's layers have the map's size).
std::string TiledMapText(const LevelSource& level, const MapPictureFiles& files, Diagnostics& diag);

// The tile of the tiles picture that animation frames showing no tile use.
int BlankTileId(const LevelSource& level, const MapPictureFiles& files);

} // namespace varnok::levelc
