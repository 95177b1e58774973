#pragma once
// The passive actors of a level: point and life items, springboards,
// keycards and the laser locks they open, auto-move path starts, info signs
// and doors, and the player's landing dust. The enemies live in
// EnemySprite.h, included here so that this header brings every actor of
// this family. Each of them reacts to the player alone.
#include "sprites/EnemySprite.h"
#include "sprites/ImageSprite.h"

#include <cstdint>
#include <string>

namespace varnok {

class TPointSprite final : public TImageSprite {
  public:
    explicit TPointSprite(TSprite* parent) : TImageSprite(parent) {}

    bool Collected = false;
    int32_t Index = 0;
    int32_t Value = 0;       // points
    int32_t VanishEnd = 0;   // milliseconds
    int32_t VanishClock = 0; // milliseconds

    // A tick longer than this does not collect.
    static constexpr int32_t LongestCollectingTick = 500;

  protected:
    void DoMove(int32_t moveCount) override;
    void DoCollision(TSprite& sprite, bool& done) override;
};

// Health, extra-life and hazard items.
class TLiveSprite final : public TImageSprite {
  public:
    explicit TLiveSprite(TSprite* parent) : TImageSprite(parent) {}

    bool Collected = false;
    int32_t Index = 0;
    int32_t Value = 0; // health change: negative for hazards
    bool IsGoodie = false;
    int32_t SpeedY = 0; // pixels per second
    double HomeY = 0;   // resting place of a pop-up item
    bool IsPopUp = false;

  protected:
    void DoMove(int32_t moveCount) override;
    void DoCollision(TSprite& sprite, bool& done) override;

  private:
    void PopUp(int32_t moveCount);
};

// A springboard.
class TObjectSprite final : public TImageSprite {
  public:
    explicit TObjectSprite(TSprite* parent) : TImageSprite(parent) {}

    int32_t JumpTiles = 0;    // launch height in cells
    uint32_t PressedTick = 0; // tick of the last launch, 0 when not pressed

    // How far and how long the board jumps up at a launch.
    static constexpr int32_t PressLift = 8;
    static constexpr uint32_t PressTime = 60;

  protected:
    void DoMove(int32_t moveCount) override;
    void DoCollision(TSprite& sprite, bool& done) override;
};

class TKeycardSprite final : public TImageSprite {
  public:
    explicit TKeycardSprite(TSprite* parent) : TImageSprite(parent) {}

    uint8_t LockTag = 0; // tag of the laser locks it opens

  protected:
    void DoMove(int32_t moveCount) override;
    void DoCollision(TSprite& sprite, bool& done) override;
};

// Holds its map cell solid until its keycard is taken.
class TLaserLockSprite final : public TImageSprite {
  public:
    explicit TLaserLockSprite(TSprite* parent) : TImageSprite(parent) {}

    int32_t Tag = 0;
    int32_t Col = 0; // its map cell
    int32_t Row = 0;
};

// The start of an auto-move path.
class TAutoMoveSprite final : public TImageSprite {
  public:
    explicit TAutoMoveSprite(TSprite* parent) : TImageSprite(parent) {}

    uint8_t Direction = 0; // the start's tag, 0xFA..0xFD

  protected:
    void DoMove(int32_t moveCount) override;
    // Puts the player on the path with the path picture and the looped sound.
    void DoCollision(TSprite& sprite, bool& done) override;
};

// Info signs and the level's entry and exit doors. A sign shows its Text for
// five seconds when the player touches it; touching the exit completes the
// level; the entry does nothing on contact.
class TLevelSprite final : public TImageSprite {
  public:
    explicit TLevelSprite(TSprite* parent) : TImageSprite(parent) {}

    bool IsEntry = false;
    bool IsExit = false;
    bool IsInfo = false;
    int32_t Index = 0;       // position in the info sign list
    int32_t MessageTime = 0; // milliseconds the text still shows
    std::string Text;

    // How long a sign's text shows.
    static constexpr int32_t MessageDuration = 5000;

  protected:
    void DoMove(int32_t moveCount) override;
    void DoCollision(TSprite& sprite, bool& done) override;
};

// The dust puff under the player's feet: shown by Restart, it plays its
// animation once and hides again.
class TDustSprite final : public TImageSprite {
  public:
    explicit TDustSprite(TSprite* parent) : TImageSprite(parent) {}

    // Centred under the feet of the given sprite (the player).
    void PlaceAtFeetOf(const TSprite& sprite);
    // Back to the first frame, visible.
    void Restart();

  protected:
    void DoMove(int32_t moveCount) override;
};

} // namespace varnok
