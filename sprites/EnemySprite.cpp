#include "sprites/EnemySprite.h"

#include "level/ImageList.h"
#include "level/TSClasses.h"
#include "sprites/ActorSupport.h"
#include "sprites/GameWorld.h"
#include "sprites/PlayerSprite.h"
#include "sprites/Population.h"

namespace varnok {

namespace {

// Contact between an enemy and the player. A kill-jump coming down on the
// enemy is a stomp: the player bounces, the enemy loses a hit and, on its
// last one, is defeated (counted once). Any other contact hurts the player.
// Returns true when this contact defeated the enemy.
bool EnemyContact(TSprite& enemy, TPlayerSprite& player, int32_t damage, int32_t& hitCount, bool endsJump) {
    if (!(CameFromAbove(player, enemy) && player.KillJumping)) {
        if (player.Invulnerable || TGameWorld::Of(enemy).Game.GodModeOn) return false;
        PlayAtPlayer(enemy, player, "AU");
        player.TakeDamage(damage, THealthRefill::AddHundred);
        if (endsJump && player.Jumping) player.StartFall();
        return false;
    }
    BounceOff(player, enemy, true);
    hitCount = Wrap32(int64_t{hitCount} - 1);
    const bool defeated = hitCount == 0;
    if (defeated) {
        player.EnemiesKilled += 1;
        PlayAtPlayer(enemy, player, "Fall");
    }
    PlayAtPlayer(enemy, player, "Hit");
    return defeated;
}

} // namespace

void TEnemySprite01::DoMove(int32_t moveCount) {
    TImageSprite::DoMove(moveCount);
    Turned = false;
    const double s = moveCount / 1000.0;
    double nx = X + DX * s;
    const double ny = Y + DY * s;

    const TGameWorld& world = TGameWorld::Of(*this);
    const int32_t cw = world.Geometry.CellWidth;
    const int32_t ch = world.Geometry.CellHeight;
    if (cw > 0 && ch > 0) {
        // The cells just beyond each side, at the feet and below them.
        const int64_t leftCol = Trunc(nx - 2) / cw;
        const int64_t rightCol = Trunc(nx + Width) / cw;
        const int64_t footRow = Trunc(ny + Height - 1) / ch;
        auto code = [&](int64_t c, int64_t r) -> uint8_t {
            if (!TGameWorld::Of(*this).HasBoundMap()) return 0;
            if (c < INT32_MIN || c > INT32_MAX || r < INT32_MIN || r > INT32_MAX) return 0;
            return TGameWorld::Of(*this).BoundMap().BoundLow(static_cast<int32_t>(c), static_cast<int32_t>(r));
        };
        // A wall ahead or no floor ahead turns the walker round. The right-hand
        // test runs after a turn at the left too, so a walker boxed in on both
        // sides reverses twice and stays where it is.
        if (DX < 0 && ((code(leftCol, footRow) & bound::RightEdge) != 0 || code(leftCol, footRow + 1) == 0)) {
            nx = X;
            DX = Wrap32(-int64_t{DX});
            Turned = true;
        }
        if (DX > 0 && ((code(rightCol, footRow) & bound::LeftEdge) != 0 || code(rightCol, footRow + 1) == 0)) {
            nx = X;
            DX = Wrap32(-int64_t{DX});
            Turned = true;
        }
        LeftCol = static_cast<int32_t>(leftCol);
        LeftRow = static_cast<int32_t>(footRow);
        RightCol = static_cast<int32_t>(rightCol);
        RightRow = static_cast<int32_t>(footRow);
    }
    MovedX = nx - X;
    MovedY = ny - Y;
    // The walker meets the player where it stood before this move.
    if (InsideScreen(*this)) ScanForPlayer(*this);
    X = nx;
    Y = ny;
    if (OutsideLevel(*this)) MarkDead();
}

void TEnemySprite01::DoCollision(TSprite& sprite, bool& done) {
    TPlayerSprite* player = PlayerOf(*this, sprite);
    if (!player) return;
    if (EnemyContact(*this, *player, Damage, HitCount, false)) {
        DX = 0;
        DY = DropSpeed;
    }
}

void TEnemySprite03::DoMove(int32_t moveCount) {
    TEnemySprite01::DoMove(moveCount);
    if (!Turned || !Image) return;
    // Each walking direction has its own half of the frames.
    const int32_t half = Image->PatternCount() / 2;
    AnimStart = AnimStart < half ? half : 0;
}

void TEnemySprite02::DoMove(int32_t moveCount) {
    TImageSprite::DoMove(moveCount);
    const double s = moveCount / 1000.0;
    double ny = Y + DY * s;
    double nx = X + DX * s;
    if (!Defeated) {
        if (nx <= Range.Left) {
            DX = Wrap32(-int64_t{DX});
            nx = Range.Left;
        }
        if (nx >= Range.Right) {
            DX = Wrap32(-int64_t{DX});
            nx = Range.Right;
        }
        if (ny <= Range.Top) {
            DY = Wrap32(-int64_t{DY});
            ny = Range.Top;
        }
        if (ny >= Range.Bottom) {
            DY = Wrap32(-int64_t{DY});
            ny = Range.Bottom;
        }
    }
    X = nx;
    Y = ny;
    if (InsideScreen(*this)) ScanForPlayer(*this);
    if (OutsideLevel(*this)) MarkDead();
}

void TEnemySprite02::DoCollision(TSprite& sprite, bool& done) {
    TPlayerSprite* player = PlayerOf(*this, sprite);
    if (!player) return;
    if (EnemyContact(*this, *player, Damage, HitCount, true)) {
        DX = 0;
        DY = TEnemySprite01::DropSpeed;
        Defeated = true;
    }
}

} // namespace varnok
