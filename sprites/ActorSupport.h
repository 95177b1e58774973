#pragma once
// Rules that the level's actors share.
#include "sprites/Sprite.h"

#include <cstdint>

namespace varnok {

class TPlayerSprite;

// Actors that react to the player run their collision scan only while their
// top-left corner lies strictly inside the screen.
inline bool InsideScreen(const TSprite& sprite) {
    const TSpriteEngine* engine = sprite.Engine();
    if (!engine) return false;
    const platform::Rect& screen = engine->SurfaceRect();
    const double x = sprite.WorldX();
    const double y = sprite.WorldY();
    return x > 0 && x < screen.Width() && y > 0 && y < screen.Height();
}

// Settings are free-form numbers: arithmetic on them wraps at 32 bits
// instead of overflowing.
inline int32_t Wrap32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

// The player, when other is the level's player; null for any other sprite
// (every actor reacts to the player alone).
TPlayerSprite* PlayerOf(const TSprite& self, const TSprite& other);

// True when the sprite has left the level rectangle: X below 0 or beyond the
// level's right edge, Y below 0 or beyond its bottom edge. Enemies, blocks and
// grates remove themselves then.
bool OutsideLevel(const TSprite& sprite);

// The player's bottom row before its last move lay at or above the top of
// sprite: it came down onto it (or stood on it) rather than running in from
// the side or from below.
bool CameFromAbove(const TPlayerSprite& player, const TSprite& sprite);

// A stomp's bounce off the top of sprite: the player stands on it, jumps
// again by its jump height and, with dust, shows the dust at its feet (no
// landing sound).
void BounceOff(TPlayerSprite& player, const TSprite& sprite, bool dust);

// The actor's collision scan. Every actor reacts to the player alone, so the
// scan looks at the player only; the contacts found are those of a scan over
// the whole level.
int ScanForPlayer(TSprite& actor);

// Plays a sound panned to the player's screen position.
void PlayAtPlayer(const TSprite& actor, const TPlayerSprite& player, const char* sound);

} // namespace varnok
