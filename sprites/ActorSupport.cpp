#include "sprites/ActorSupport.h"

#include "sprites/GameWorld.h"
#include "sprites/MySprite.h"
#include "sprites/PlayerSprite.h"

namespace varnok {

namespace {
// The display the level's extent is measured against when the engine has no surface.
constexpr int32_t kDisplayWidth = 640;
constexpr int32_t kDisplayHeight = 480;
} // namespace

TPlayerSprite* PlayerOf(const TSprite& self, const TSprite& other) {
    TPlayerSprite* player = TGameWorld::Of(self).Actors.GamePlayer.Get();
    return player == &other ? player : nullptr;
}

int ScanForPlayer(TSprite& actor) {
    TPlayerSprite* player = TGameWorld::Of(actor).Actors.GamePlayer.Get();
    return player ? actor.CollisionWith(*player) : 0;
}

bool OutsideLevel(const TSprite& sprite) {
    const TSpriteEngine* engine = sprite.Engine();
    const TLevelGeometry& geometry = TGameWorld::Of(sprite).Geometry;
    const int32_t displayW = engine->Width > 0 ? engine->Width : kDisplayWidth;
    const int32_t displayH = engine->Height > 0 ? engine->Height : kDisplayHeight;
    const double right = static_cast<double>(geometry.MaxScrollX) + displayW;
    const double bottom = static_cast<double>(geometry.MaxScrollY) + displayH;
    return sprite.X < 0 || sprite.X > right || sprite.Y < 0 || sprite.Y > bottom;
}

bool CameFromAbove(const TPlayerSprite& player, const TSprite& sprite) {
    return player.Y + player.Height - 1 - player.LastMoveY <= sprite.Y;
}

void BounceOff(TPlayerSprite& player, const TSprite& sprite, bool dust) {
    player.Y = sprite.Y - player.Height;
    player.Land(false);
    player.StartJump(false, player.JumpHeight);
    if (!dust) return;
    if (TDustSprite* d = TGameWorld::Of(player).Actors.DustSprite.Get()) {
        d->PlaceAtFeetOf(player);
        d->Restart();
    }
}

void PlayAtPlayer(const TSprite& actor, const TPlayerSprite& player, const char* sound) {
    TWorldServices& services = TGameWorld::Of(actor).Services;
    services.PlaySound(sound, services.PlayerPan(player));
}

} // namespace varnok
