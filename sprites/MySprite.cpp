#include "sprites/MySprite.h"

#include "sprites/ActorSupport.h"
#include "sprites/GameWorld.h"

namespace varnok {

void TLevelSprite::DoMove(int32_t moveCount) {
    TImageSprite::DoMove(moveCount);
    if (MessageTime > 0) {
        MessageTime -= moveCount;
        if (MessageTime <= 0) {
            MessageTime = 0;
            TGameWorld::Of(*this).InfoText.clear();
        }
    }
    if (InsideScreen(*this)) Collision();
}

void TDustSprite::PlaceAtFeetOf(const TSprite& sprite) {
    X = sprite.X + sprite.Width / 2 - Width / 2;
    Y = sprite.Y + sprite.Height - Height;
}

void TDustSprite::Restart() {
    AnimPos = 0;
    Visible = true;
}

void TDustSprite::DoMove(int32_t moveCount) {
    TImageSprite::DoMove(moveCount);
    if (Trunc(AnimPos) == AnimCount - 1) Visible = false;
}

} // namespace varnok
