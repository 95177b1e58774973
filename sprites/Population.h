#pragma once
// Building a level's actors from the tags of its playfield map.
//
// Every cell's bound word carries the bound code in its low byte and a tag in
// its high byte. PopulateLevel marks the cells under continuing slopes, counts
// the tags by kind, then creates one actor per tag in row-major order, tuned
// from the global settings store. It fills the world's per-kind lists, the
// player start and exit cells and the level's point and enemy totals, and
// makes the cells under blocks, grates and laser locks solid.
#include <cstdint>

namespace varnok {

class TGameWorld;
class TSpriteEngine;
class TMapItem;

// Bound-code bits.
namespace bound {
constexpr uint8_t Floor = 0x01; // on a slope: rising to the left
constexpr uint8_t LeftEdge = 0x02;
constexpr uint8_t Ceiling = 0x04;
constexpr uint8_t RightEdge = 0x08;
constexpr uint8_t SlopeJoin = 0x10;
constexpr uint8_t Slope = 0x80;
constexpr uint8_t Solid = 0x0F;
} // namespace bound

// Creates the level's actors in engine (whose sprites live in world) from
// map. An image the image list lacks raises its "Image '%s' not found" and
// stops at that cell; actors made before it stay.
void PopulateLevel(TGameWorld& world, TSpriteEngine& engine, TMapItem& map);

// The first pass alone: marks with 0x10 (tag cleared) every cell that lies
// under a slope continuing diagonally downward. The outermost rows and
// columns are not inspected.
void MarkSlopeJoins(TMapItem& map);

} // namespace varnok
