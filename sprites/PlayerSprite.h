#pragma once
// The character the user steers. It walks, jumps along a half sine, falls at
// a constant speed, climbs and descends 45-degree slopes, bumps its head,
// rides platforms and travels through auto-move paths. Its motion is
// resolved pixel by pixel against the bound codes of the playfield map; it
// never scans for collisions itself: the other actors find it and change its
// fields from their own collision handlers.
#include "sprites/ImageSprite.h"
#include "sprites/Sprite.h"

#include <array>
#include <cstdint>
#include <string>
#include <utility>

namespace varnok {

class TMapItem;
class TPlatformSprite;

// How a hit that empties the health bar refills it when a life is left.
enum class THealthRefill {
    AddHundred,         // Health += 100 (enemies)
    HundredMinusHealth, // Health = 100 - Health (hazard items)
};

class TPlayerSprite final : public TImageSprite {
  public:
    // Reads "WalkSpeed", "JumpHeight" and "FallSpeed" of section "Player" from
    // the world's global store (defaults 160, 96 and the walking speed).
    explicit TPlayerSprite(TSprite* parent);

    static constexpr int32_t HistorySize = 200;
    static constexpr int32_t MaxTraceLength = 6;

    int32_t MaxLives = 3;
    int32_t WalkSpeed = 160; // pixels per second
    int32_t CurrentJumpHeight = 0;
    int32_t FallSpeed = 160;
    bool KillJumping = false;
    uint32_t KillJumpUntil = 0; // tick until which a kill-jump hovers
    int32_t FloatTime = 1000;   // hover time of a kill-jump, ms
    int32_t JumpHeight = 96;
    bool FellOut = false; // the feet passed the bottom of the level
    bool AutoMoving = false;
    uint8_t LastAutoMoveTag = 0;
    int32_t AutomoveFactor = 4;
    int32_t TraceLength = 0; // 0..6 trace images behind the player
    bool OnPlatform = false;
    int32_t LastInfoSign = 0;
    int32_t SpeedX = 0;
    int32_t SpeedY = 0;
    bool Jumping = false;
    bool Moving = false;
    bool Falling = false;
    int32_t JumpBaseY = 0;
    int32_t JumpAngleSpeed = 180; // degrees per second
    double JumpAngle = 0;
    double LastMoveX = 0;
    double LastMoveY = 0;
    bool Invulnerable = false;
    int32_t InvulnerableTime = 1000; // ms
    uint32_t InvulnerableSince = 0;  // tick
    int32_t Health = 100;
    int32_t Lives = 3;
    int32_t Score = 0;
    int32_t EnemiesKilled = 0;
    uint32_t LevelStartTick = 0;
    TSpriteRef<TPlatformSprite> CarrierPlatform;
    // Newest first: (x, y) of the last moves.
    std::array<std::pair<int32_t, int32_t>, HistorySize> PositionHistory{};
    int32_t HistoryCount = 0;

    // Starts a jump of the given height. With check, nothing happens while
    // already jumping or while standing on nothing.
    void StartJump(bool check, int32_t height);
    // Ends a jump or fall; withDust shows the dust at the feet and plays "Land".
    void Land(bool withDust);
    void StartFall();
    void StopFall();
    void MakeInvulnerable();
    // A hit from an actor: nothing while blinking or in god mode; otherwise
    // Health drops by damage, an empty bar costs a life (or ends the game on
    // the last one) and the player blinks. True when the hit counted.
    bool TakeDamage(int32_t damage, THealthRefill refill);

    // Moves toward the target pixel by pixel and writes back the position
    // reached.
    void MoveWithCollision(double& tx, double& ty);
    // The movement inside auto-move paths.
    void AutoMoveStep(int32_t moveCount);

    // Tile tests at integer position (x, y) with the player's size.
    bool OnGround(int64_t x, int64_t y) const;
    bool Ceiling(int64_t x, int64_t y) const;
    bool WallRight(int64_t x, int64_t y) const;
    bool WallLeft(int64_t x, int64_t y) const;
    bool SlopeUp(int64_t x, int64_t y) const;   // rising to the right
    bool SlopeDown(int64_t x, int64_t y) const; // rising to the left
    bool SlopeJoin(int64_t x, int64_t y) const;

  protected:
    void DoMove(int32_t moveCount) override;
    void DoCollision(TSprite& sprite, bool& done) override {}

  private:
    // Bound code of the playfield cell holding pixel (px, py); 0 outside the
    // map, without a map or with no cell size.
    uint8_t CodeAt(int64_t px, int64_t py) const;
    // Tag of the playfield cell holding pixel (px, py).
    uint8_t TagAt(int64_t px, int64_t py) const;
    // The whole bound word of that cell (0 likewise).
    uint16_t BoundWordAt(int64_t px, int64_t py) const;
    const TMapItem* Map() const;
    int32_t CellW() const;
    int32_t CellH() const;

    void PlayPanned(const std::string& sound);
    void PlayUnpanned(const std::string& sound);
    // The moves' common tail: last movement, position and history.
    void Commit(double tx, double ty);
    void RecordPosition();
    // Back to the walking image after an auto-move path ends.
    void LeavePath();
    bool RunHeld() const;
};

} // namespace varnok
