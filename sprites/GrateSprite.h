#pragma once
// Breakable blocks and grates: each holds a map cell solid (a block its own
// cell, a grate the cell below it) until kill-jumps break it. A broken one
// frees its cell and flies off to the lower right until it leaves the level.
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

    // How fast a broken block or grate flies off, on each axis.
    static constexpr int32_t FlySpeed = 400;

  protected:
    void DoMove(int32_t moveCount) override;
    void DoCollision(TSprite& sprite, bool& done) override;
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

  protected:
    void DoMove(int32_t moveCount) override;
    void DoCollision(TSprite& sprite, bool& done) override;
};

} // namespace varnok
