#pragma once
// The three enemy kinds a level's population creates. The walker patrols a
// floor, the two-half walker shows one half of its frames per direction, the
// floater drifts inside a small rectangle. All three hurt the player on
// contact and give way to kill-jump stomps: after their last hit they stop,
// drop out of the level and count as defeated.
#include "platform/Surface.h"
#include "sprites/ImageSprite.h"

#include <cstdint>

namespace varnok {

class TEnemySprite01 : public TImageSprite {
  public:
    explicit TEnemySprite01(TSprite* parent) : TImageSprite(parent) {}

    bool Turned = false; // reversed in the current tick
    int32_t Index = 0;   // position in its kind's list
    int32_t DX = 0;      // pixels per second
    int32_t DY = 0;
    // The cells tested last: left column and row, right column and row.
    int32_t LeftCol = 0;
    int32_t LeftRow = 0;
    int32_t RightCol = 0;
    int32_t RightRow = 0;
    double MovedX = 0; // movement of the last tick
    double MovedY = 0;
    int32_t Damage = 0;
    int32_t HitCount = 0;

    // How fast a defeated enemy drops out of the level.
    static constexpr int32_t DropSpeed = 320;

  protected:
    void DoMove(int32_t moveCount) override;
    void DoCollision(TSprite& sprite, bool& done) override;
};

// A walker whose frames come in two halves, one per walking direction.
class TEnemySprite03 final : public TEnemySprite01 {
  public:
    explicit TEnemySprite03(TSprite* parent) : TEnemySprite01(parent) {}

  protected:
    void DoMove(int32_t moveCount) override;
};

class TEnemySprite02 final : public TImageSprite {
  public:
    explicit TEnemySprite02(TSprite* parent) : TImageSprite(parent) {}

    int32_t Index = 0;
    int32_t DX = 0;
    int32_t DY = 0;
    int32_t Damage = 0;
    platform::Rect Range; // world pixels it floats inside
    bool Defeated = false;
    int32_t HitCount = 0;

  protected:
    void DoMove(int32_t moveCount) override;
    void DoCollision(TSprite& sprite, bool& done) override;
};

} // namespace varnok
