#include "sprites/MySprite.h"

#include "platform/Clock.h"
#include "sprites/ActorSupport.h"
#include "sprites/GameWorld.h"
#include "sprites/PlayerSprite.h"

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

void TLevelSprite::DoCollision(TSprite& sprite, bool& done) {
    TGameWorld& world = TGameWorld::Of(*this);
    TPlayerSprite* player = world.Actors.GamePlayer.Get();
    if (!player || &sprite != player) return;
    if (IsExit) {
        world.Services.PlaySound("Complete", 0);
        world.Services.HaltMusic();
        world.Game.GameState = gs::LevelComplete;
        world.Geometry.LevelSeconds =
            static_cast<int32_t>((platform::GetTickCount() - player->LevelStartTick) / 1000);
    }
    if (IsInfo) {
        // Already showing this sign's text.
        if (MessageTime != 0 && player->LastInfoSign == Index) return;
        world.Services.PlaySound("Bump", world.Services.PlayerPan(*player));
        MessageTime = MessageDuration;
        player->LastInfoSign = Index;
        world.InfoText = Text;
    }
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
