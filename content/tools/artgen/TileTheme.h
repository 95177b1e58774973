#pragma once
// The look of one level's tile sheet. Every sheet has the same layout (see
// content/art/tiles/CATALOGUE.md); a theme only decides materials and colours
// and which variant of each decoration is drawn.
#include "Raster.h"
#include "Terrain.h"

#include <string>
#include <vector>

namespace artgen {

enum class ThemeKind { Meadow, Forest, Caves, Ice, Castle };

struct Theme {
    ThemeKind kind = ThemeKind::Meadow;
    TerrainStyle ground;      // rows 0-2
    TerrainStyle block;       // row 3
    std::string ledge;        // one-way floors and bridge posts
    std::string liquid;       // water, swamp or lava
    bool lava = false;
    std::string sky;          // ramp of the sky bands (shades 1-4 from the top down)
    bool stars = false;
    std::string leaf;         // foliage of trees and bushes
    std::string nearHill, farHill;
    int seed = 0;
};

Theme ThemeByName(const std::string& name);

// The 130 tiles of a sheet, index = pattern number.
constexpr int kTileCount = 130;
std::vector<Canvas> BuildTileSheet(const Theme& t);

// Pieces drawn in TileArt.cpp.
void DrawDecorations(const Theme& t, std::vector<Canvas>& tiles);  // rows 4-7
void DrawDistance(const Theme& t, std::vector<Canvas>& tiles);     // rows 8-9
void DrawAnimated(const Theme& t, std::vector<Canvas>& tiles);     // rows 10-12 and ledges

} // namespace artgen
