#pragma once
// Breakable blocks and grates: each holds a map cell solid (a block its own
// cell, a grate the cell below it) until kill-jumps break it. How they react
// to the player is not part of these classes yet: for now they stand still
// and only animate.
#include "sprites/ImageSprite.h"

#include <cstdint>

namespace varnok {

class TBlockSprite final : public TImageSprite {
  public:
    explicit TBlockSprite(TSprite* parent) : TImageSprite(parent) {}

    int32_t Index = 0; // position in the block list
    int32_t SpeedX = 0;
    int32_t SpeedY = 0;
    bool Broken = false;
    int32_t HitCount = 0;
    int32_t Col = 0; // the map cell held solid
    int32_t Row = 0;
};

class TGrateSprite final : public TImageSprite {
  public:
    explicit TGrateSprite(TSprite* parent) : TImageSprite(parent) {}

    int32_t Index = 0; // position in the grate list
    int32_t SpeedX = 0;
    int32_t SpeedY = 0;
    bool Broken = false;
    int32_t HitCount = 0;
    int32_t Col = 0; // the map cell held solid: the one below the grate
    int32_t Row = 0;
};

} // namespace varnok
