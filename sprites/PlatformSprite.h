#pragma once
// Moving platforms and the triggers that start them, the switches that
// rewrite groups of map cells, and the credits screen's scrolling
// background.
#include "platform/Surface.h"
#include "sprites/BackgroundSprite.h"
#include "sprites/ImageSprite.h"

#include <cstdint>

namespace varnok {

class TPlatformSprite final : public TImageSprite {
  public:
    explicit TPlatformSprite(TSprite* parent) : TImageSprite(parent) {}

    int32_t DX = 0; // pixels per second; 0 until set by its section or a trigger
    int32_t DY = 0;
    platform::Rect Range;  // world pixels it moves inside
    int32_t DistanceX = 0; // pixels
    int32_t DistanceY = 0;
    double MovedX = 0; // movement of the last tick
    double MovedY = 0;
    int32_t Group = 0; // low four bits of its tag

  protected:
    // Bounces between the ends of its range; carries a player standing on it.
    void DoMove(int32_t moveCount) override;
    void DoCollision(TSprite& sprite, bool& done) override;
};

// Sets every platform of its group going, once.
class TPlatformTrigger final : public TImageSprite {
  public:
    explicit TPlatformTrigger(TSprite* parent) : TImageSprite(parent) {}

    int32_t DX = 0; // the speeds it gives
    int32_t DY = 0;
    int32_t Group = 0;
    bool Used = false;

  protected:
    void DoMove(int32_t moveCount) override;
    void DoCollision(TSprite& sprite, bool& done) override;
};

// A switch: toggles the tile and bounds of every map cell tagged TargetTag.
class TTriggerSprite final : public TImageSprite {
  public:
    explicit TTriggerSprite(TSprite* parent) : TImageSprite(parent) {}

    int32_t TileOn = 0;
    int32_t TileOff = 0;
    int32_t BoundsOn = 0;
    int32_t BoundsOff = 0;
    int32_t State = 0;    // 0 off, 1 on
    int32_t Cooldown = 0; // milliseconds until it reacts again
    int32_t TargetTag = 0;

    // How long a switch rests after each toggle, in milliseconds.
    static constexpr int32_t CooldownTime = 3000;

  protected:
    void DoMove(int32_t moveCount) override;
    void DoCollision(TSprite& sprite, bool& done) override;
};

// The credits screen's background grid, scrolled vertically by Speed.
class TBgSprite final : public TBackgroundSprite {
  public:
    explicit TBgSprite(TSprite* parent) : TBackgroundSprite(parent) {}

    int32_t Speed = 0; // pixels per second

  protected:
    void DoMove(int32_t moveCount) override;
};

} // namespace varnok
