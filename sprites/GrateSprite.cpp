#include "sprites/GrateSprite.h"

#include "level/TSClasses.h"
#include "sprites/ActorSupport.h"
#include "sprites/GameWorld.h"
#include "sprites/PlayerSprite.h"

namespace varnok {

namespace {

// Flies along its speeds (0 until broken).
template <class T> void Fly(T& sprite, int32_t moveCount) {
    const double s = moveCount / 1000.0;
    sprite.Y += sprite.SpeedY * s;
    sprite.X += sprite.SpeedX * s;
}

// A kill-jump coming down on a block or grate: the player bounces off it and
// it loses a hit; after its last one it frees its cell and flies off.
template <class T> void Stomped(T& sprite, TPlayerSprite& player, bool dust) {
    BounceOff(player, sprite, dust);
    sprite.HitCount = Wrap32(int64_t{sprite.HitCount} - 1);
    if (sprite.HitCount < 1) {
        sprite.SpeedX = TBlockSprite::FlySpeed;
        sprite.SpeedY = TBlockSprite::FlySpeed;
        sprite.Broken = true;
        TGameWorld& world = TGameWorld::Of(sprite);
        if (world.HasBoundMap()) world.BoundMap().SetBound(0, sprite.Col, sprite.Row);
    }
    PlayAtPlayer(sprite, player, "Block");
}

template <class T> TPlayerSprite* Stomper(T& sprite, TSprite& other) {
    TPlayerSprite* player = PlayerOf(sprite, other);
    return player && player->KillJumping && CameFromAbove(*player, sprite) ? player : nullptr;
}

} // namespace

void TBlockSprite::DoMove(int32_t moveCount) {
    TImageSprite::DoMove(moveCount);
    Fly(*this, moveCount);
    if (InsideScreen(*this)) ScanForPlayer(*this);
    if (OutsideLevel(*this)) MarkDead();
}

void TBlockSprite::DoCollision(TSprite& sprite, bool& done) {
    if (TPlayerSprite* player = Stomper(*this, sprite)) Stomped(*this, *player, true);
}

void TGrateSprite::DoMove(int32_t moveCount) {
    TImageSprite::DoMove(moveCount);
    Fly(*this, moveCount);
    ScanForPlayer(*this);
    if (OutsideLevel(*this)) MarkDead();
}

void TGrateSprite::DoCollision(TSprite& sprite, bool& done) {
    if (TPlayerSprite* player = Stomper(*this, sprite)) Stomped(*this, *player, false);
}

} // namespace varnok
