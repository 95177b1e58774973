#include "sprites/PlatformSprite.h"

#include "level/TSClasses.h"
#include "sprites/ActorSupport.h"
#include "sprites/GameWorld.h"
#include "sprites/PlayerSprite.h"

#include <optional>

namespace varnok {

namespace {

// One axis of a platform's bounce: the new coordinate, kept inside
// [low, high], with the speed reversed at either end.
double Bounce(double position, int32_t& speed, double s, int low, int high) {
    double next = position + speed * s;
    if (next <= low) {
        speed = Wrap32(-int64_t{speed});
        next = low;
    }
    if (next >= high) {
        speed = Wrap32(-int64_t{speed});
        next = high;
    }
    return next;
}

} // namespace

void TPlatformSprite::DoMove(int32_t moveCount) {
    TImageSprite::DoMove(moveCount);
    const double s = moveCount / 1000.0;
    const double nx = Bounce(X, DX, s, Range.Left, Range.Right);
    const double ny = Bounce(Y, DY, s, Range.Top, Range.Bottom);
    MovedX = nx - X;
    MovedY = ny - Y;
    X = nx;
    Y = ny;
    ScanForPlayer(*this);
}

void TPlatformSprite::DoCollision(TSprite& sprite, bool& done) {
    TPlayerSprite* player = PlayerOf(*this, sprite);
    if (!player || !CameFromAbove(*player, *this)) return;
    // The player stands at the platform's centre and rides it from now on.
    player->Y = Y - player->Height;
    player->X = X + Width / 2.0 - player->Width / 2.0;
    player->Land(false);
    player->StopFall();
    player->OnPlatform = true;
    player->CarrierPlatform = this;
}

void TPlatformTrigger::DoMove(int32_t moveCount) {
    TImageSprite::DoMove(moveCount);
    ScanForPlayer(*this);
}

void TPlatformTrigger::DoCollision(TSprite& sprite, bool& done) {
    TPlayerSprite* player = PlayerOf(*this, sprite);
    if (!player) return;
    Used = true;
    for (const TSpriteRef<TPlatformSprite>& ref : TGameWorld::Of(*this).Lists.Platforms) {
        TPlatformSprite* platform = ref.Get();
        if (!platform || platform->Group != Group) continue;
        platform->DX = DX;
        platform->DY = DY;
    }
    PlayAtPlayer(*this, *player, "Elevator");
    MarkDead();
}

void TTriggerSprite::DoMove(int32_t moveCount) {
    TImageSprite::DoMove(moveCount);
    if (Cooldown > 0) Cooldown = Cooldown > moveCount ? Cooldown - moveCount : 0;
    if (InsideScreen(*this)) ScanForPlayer(*this);
}

void TTriggerSprite::DoCollision(TSprite& sprite, bool& done) {
    if (!PlayerOf(*this, sprite) || Cooldown != 0) return;
    TGameWorld& world = TGameWorld::Of(*this);
    world.Services.PlaySound("Trigger", std::nullopt);
    const bool on = State == 0;
    if (world.HasBoundMap())
        world.BoundMap().SwitchTagged(TargetTag, static_cast<int16_t>(on ? TileOn : TileOff),
                                      on ? BoundsOn : BoundsOff);
    State = on ? 1 : 0;
    world.Services.RefreshPlayfieldLayer();
    // The first half of the frames shows off, the second half on; the
    // animation restarts on the first frame of its half.
    AnimStart = State * AnimCount;
    AnimPos = 0;
    Cooldown = CooldownTime;
}

void TBgSprite::DoMove(int32_t moveCount) { Y += Speed * (moveCount / 1000.0); }

} // namespace varnok
