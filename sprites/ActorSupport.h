#pragma once
// Rules that the level's actors share.
#include "sprites/Sprite.h"

namespace varnok {

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

} // namespace varnok
