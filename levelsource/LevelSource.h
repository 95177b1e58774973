#pragma once
// The level source format: one text file per level with a header, info sign
// texts, tile animations, switches, legends and one character grid per map
// layer (see content/levels/README.md). Parsing resolves every character to
// its tile code and, on the playfield, its bound word.
#include "levelsource/Diagnostics.h"

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace varnok::levelc {

// The names of the tiles on the level tile sheets (all sheets share one
// layout): name -> pattern index.
struct TileNames {
    std::string file;
    int count = 0; // tiles on a sheet
    std::map<std::string, int> index;
};
TileNames ReadTileNames(const std::string& path, Diagnostics& diag);

struct LayerSource {
    int number = 0; // 1..7; 3 is the playfield
    int16_t scrollX = 1;
    int16_t scrollY = 1;
    int width = 0;
    int height = 0;
    std::vector<int16_t> tiles;   // tile codes, row after row
    std::vector<uint16_t> bounds; // bound words: low byte bound code, high byte tag (playfield only)
    std::vector<SourcePos> rows;  // where each row's first cell is written
    SourcePos pos;
    // Read from a Tiled map: the layer's name there, the name of the layer
    // that holds the bounds and the objects standing on playfield cells
    // (cell index -> 'object "Coin" (id 7)'), so that places read as Tiled
    // shows them.
    std::string mapLayerName;
    std::string boundsLayerName;
    std::map<int, std::string> objects;

    SourcePos CellPos(int x, int y) const;
    int16_t TileAt(int x, int y) const { return tiles[static_cast<size_t>(y * width + x)]; }
    uint16_t BoundAt(int x, int y) const { return bounds[static_cast<size_t>(y * width + x)]; }
};

// A tile animation: tile codes shown in turn, fps frames per second.
struct SequenceSource {
    std::string name;
    int fps = 0;
    std::vector<int16_t> frames;
    SourcePos pos;
};

// A switch (trigger tag 0x10..0x1F): the values it writes into the cells
// tagged tag + 0x10.
struct SwitchSource {
    int tag = 0;
    std::string image;
    int start = 0; // 0 off, 1 on
    int16_t tileOn = 0;
    int16_t tileOff = 0;
    int boundsOn = 0;
    int boundsOff = 0;
    int z = 3;
    int animSpeed = 4;
    SourcePos pos;
};

struct LevelSource {
    std::string file;
    SourcePos pos; // the [level] header
    int number = 0;
    std::string name;  // Latin-1
    std::string music; // module file in SND\ .
    std::string bitmap;
    std::array<int, 3> transparent = {255, 0, 255};
    int cellW = 32;
    int cellH = 32;
    int width = 0; // playfield size in cells
    int height = 0;
    bool running = false;            // the way to the exit may need running jumps
    std::map<int, std::string> info; // info sign tag 1..15 -> text (Latin-1)
    std::map<int, SourcePos> infoPos;
    std::vector<SequenceSource> sequences; // sequence k at index k - 1
    std::vector<SwitchSource> switches;
    std::vector<LayerSource> layers; // ascending layer number

    const LayerSource* Playfield() const;
};

// Parses one level file. Problems go to diag; the result is complete only
// when diag holds no errors.
LevelSource ParseLevelFile(const std::string& path, Diagnostics& diag);

// Can the game's fonts draw every character of the text? Reports the first
// one they cannot at pos (its column counted on from pos.col).
bool CheckShownText(const std::string& text, const SourcePos& pos, Diagnostics& diag);

// Bound codes and tags by name, for legends and for messages.
bool ParseBoundCode(const std::string& text, int& code);
bool ParseTag(const std::string& text, int& tag);

} // namespace varnok::levelc
