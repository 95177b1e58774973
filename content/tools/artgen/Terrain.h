#pragma once
// Ground and wall tiles drawn from their surroundings. A tile is described by
// a 3 x 3 grid of cells around it ('.' air, '#' solid, '/' slope rising to the
// right, '\' slope rising to the left); the renderer works out for every pixel
// how deep it lies below the surface and how near it is to a side or the
// underside, so that surface bands, edges and slopes join across tiles.
#include "Raster.h"
#include "Style.h"

#include <array>
#include <string>

namespace artgen {

// Fill textures, all repeating every 32 pixels so that tiles join.
enum class Texture {
    Pebbles, // earth with pebbles and specks
    Roots,   // dark loam with roots
    Stones,  // irregular rock with cracks
    Ice,     // ice with shine streaks and bubbles
    Bricks,  // bricks in courses
    Blocks,  // large cut stones
    Logs,    // horizontal logs
};

// What lies on top of a ground mass.
enum class Surface { Grass, Moss, Rock, Snow, Slab };

struct TerrainStyle {
    std::string fill;        // ramp of the fill material
    Texture texture = Texture::Pebbles;
    std::string top;         // ramp of the surface band (empty: none)
    Surface surface = Surface::Grass;
    int band = 6;            // surface band depth in pixels
    bool bevel = false;      // blocks: lit top and left faces, shaded bottom and right
};

using Context = std::array<std::string, 3>;

// Draws the middle cell of the context.
Canvas DrawTerrain(const Context& ctx, const TerrainStyle& style, int seed = 0);

// The colour of the fill texture at a pixel (repeats every 32 pixels).
Rgba TextureColor(Texture t, const Ramp& ramp, int x, int y, int seed = 0);

} // namespace artgen
