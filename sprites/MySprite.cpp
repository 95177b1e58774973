#include "sprites/MySprite.h"

#include "level/ImageList.h"
#include "level/TSClasses.h"
#include "platform/Clock.h"
#include "sprites/ActorSupport.h"
#include "sprites/GameWorld.h"
#include "sprites/PlayerSprite.h"

#include <algorithm>
#include <optional>

namespace varnok {

namespace {

// Shows the named picture from its first frame at the given speed.
void ShowImage(TImageSprite& sprite, const std::string& name, int32_t framesPerSecond) {
    TPictureCollectionItem& item = TGameWorld::Of(sprite).Images.Items.Find(name);
    sprite.Image = &item;
    sprite.AnimStart = 0;
    sprite.AnimCount = item.PatternCount();
    sprite.AnimSpeed = framesPerSecond / 1000.0;
}

// Millisecond clocks compared the way a wrapping 32-bit tick count allows.
bool Later(uint32_t a, uint32_t b) { return static_cast<int32_t>(a - b) > 0; }

} // namespace

// ---- Point items ------------------------------------------------------------

void TPointSprite::DoMove(int32_t moveCount) {
    TImageSprite::DoMove(moveCount);
    if (Collected) {
        VanishClock = static_cast<int32_t>(static_cast<uint32_t>(VanishClock) + static_cast<uint32_t>(moveCount));
        if (Later(static_cast<uint32_t>(VanishClock), static_cast<uint32_t>(VanishEnd))) MarkDead();
    }
    if (moveCount > LongestCollectingTick) return;
    if (InsideScreen(*this)) ScanForPlayer(*this);
}

void TPointSprite::DoCollision(TSprite& sprite, bool& done) {
    TPlayerSprite* player = PlayerOf(*this, sprite);
    if (!player || Collected) return;
    Collected = true;
    const uint32_t now = platform::GetTickCount();
    VanishClock = static_cast<int32_t>(now);
    VanishEnd = static_cast<int32_t>(now + 500);
    ShowImage(*this, "Vanish", 10);
    AnimPos = 0;
    SetZ(100);
    PlayAtPlayer(*this, *player, "Coin");
    player->Score = Wrap32(int64_t{player->Score} + Value);
}

// ---- Life items -------------------------------------------------------------

void TLiveSprite::DoMove(int32_t moveCount) {
    TImageSprite::DoMove(moveCount);
    if (Collected && Trunc(AnimPos) == AnimCount - 1) MarkDead();
    if (!InsideScreen(*this)) return;
    if (IsPopUp) PopUp(moveCount);
    ScanForPlayer(*this);
}

void TLiveSprite::PopUp(int32_t moveCount) {
    const TPlayerSprite* player = TGameWorld::Of(*this).Actors.GamePlayer.Get();
    if (!player) return;
    const double px = player->X;
    const int32_t pw = player->Width;
    const bool near = X <= px + 2.0 * pw && X + Width >= px - pw;
    if (SpeedY == 0 && Y == HomeY && near)
        SpeedY = Wrap32(-4 * int64_t{Height});
    else if (SpeedY == 0 && Y != HomeY && !near)
        SpeedY = Wrap32(4 * int64_t{Height});
    Y += SpeedY * (moveCount / 1000.0);
    const double top = HomeY - Height + 8;
    if (Y < top) {
        Y = top;
        SpeedY = 0;
    }
    if (Y > HomeY) {
        Y = HomeY;
        SpeedY = 0;
    }
}

void TLiveSprite::DoCollision(TSprite& sprite, bool& done) {
    TPlayerSprite* player = PlayerOf(*this, sprite);
    if (!player || player->Invulnerable) return;
    TGameWorld& world = TGameWorld::Of(*this);
    if (IsGoodie) {
        if (Collected) return;
        // An extra life waits while the player has all the lives it may have.
        if (Value == 100 && player->Lives >= player->MaxLives) return;
        Collected = true;
        ShowImage(*this, "Vanish", 2);
        int64_t health = player->Health;
        if (Value >= 100)
            health += Value;
        else if (health < 100)
            health = std::min<int64_t>(health + Value, 100);
        PlayAtPlayer(*this, *player, "Bonus");
        // Every full hundred above 100 is another life.
        int64_t lives = player->Lives;
        if (health > 100) {
            const int64_t extra = (health - 1) / 100;
            lives += extra;
            health -= extra * 100;
        }
        player->Health = Wrap32(health);
        player->Lives = Wrap32(lives);
        return;
    }
    // A hazard hurts again after each blinking second; it is never used up.
    if (world.Game.GodModeOn) return;
    player->MakeInvulnerable();
    PlayAtPlayer(*this, *player, "Au");
    const int64_t health = int64_t{player->Health} + Value;
    player->Health = Wrap32(health);
    if (health > 0) return;
    if (player->Lives < 2) {
        player->Lives = 0;
        world.Game.GameState = gs::GameOver;
    } else {
        player->Lives -= 1;
        player->Health = Wrap32(100 - health);
    }
}

// ---- Springboards -----------------------------------------------------------

void TObjectSprite::DoMove(int32_t moveCount) {
    TImageSprite::DoMove(moveCount);
    if (InsideScreen(*this)) ScanForPlayer(*this);
    if (PressedTick != 0 && Later(platform::GetTickCount(), PressedTick + PressTime)) {
        PressedTick = 0;
        Y += PressLift;
    }
}

void TObjectSprite::DoCollision(TSprite& sprite, bool& done) {
    TPlayerSprite* player = PlayerOf(*this, sprite);
    if (!player || PressedTick != 0 || !CameFromAbove(*player, *this)) return;
    player->Y = Y - player->Height;
    player->Land(false);
    // 0 means "not pressed": a launch at tick 0 counts as tick 1.
    const uint32_t now = platform::GetTickCount();
    PressedTick = now != 0 ? now : 1;
    Y -= PressLift;
    const int32_t cellHeight = TGameWorld::Of(*this).Geometry.CellHeight;
    player->StartJump(false, Wrap32(int64_t{cellHeight} * JumpTiles));
    PlayAtPlayer(*this, *player, "Hit");
}

// ---- Keycards and laser locks -----------------------------------------------

void TKeycardSprite::DoMove(int32_t moveCount) {
    TImageSprite::DoMove(moveCount);
    ScanForPlayer(*this);
}

void TKeycardSprite::DoCollision(TSprite& sprite, bool& done) {
    TPlayerSprite* player = PlayerOf(*this, sprite);
    if (!player) return;
    TGameWorld& world = TGameWorld::Of(*this);
    PlayAtPlayer(*this, *player, "LaserLock");
    for (const TSpriteRef<TLaserLockSprite>& ref : world.Lists.LaserLocks) {
        TLaserLockSprite* lock = ref.Get();
        // Locks opened by an earlier keycard are gone (or going) already.
        if (!lock || lock->IsDead() || lock->Tag != LockTag) continue;
        if (world.HasBoundMap()) world.BoundMap().SetBound(0, lock->Col, lock->Row);
        lock->MarkDead();
    }
    MarkDead();
}

// ---- Auto-move path starts --------------------------------------------------

void TAutoMoveSprite::DoMove(int32_t moveCount) {
    TImageSprite::DoMove(moveCount);
    if (InsideScreen(*this)) ScanForPlayer(*this);
}

void TAutoMoveSprite::DoCollision(TSprite& sprite, bool& done) {
    TPlayerSprite* player = PlayerOf(*this, sprite);
    if (!player || player->AutoMoving) return;
    // Only a player whose middle is over the start steps onto the path.
    const double centre = player->X + player->Width / 2;
    if (!(centre > X && centre < X + Width)) return;
    TGameWorld& world = TGameWorld::Of(*this);
    PlayAtPlayer(*this, *player, "Land");
    if (TDustSprite* dust = world.Actors.DustSprite.Get()) {
        dust->PlaceAtFeetOf(*player);
        dust->Restart();
    }
    world.Services.SetSoundLooped("Automove", true);
    world.Services.PlaySound("Automove", std::nullopt);
    player->AutoMoving = true;
    player->X = X + 1;
    player->Y = Y + 1;
    TPictureCollectionItem& item = world.Images.Items.Find("AutomovePlayer");
    item.Restore();
    player->Image = &item;
    player->Width = item.PatternWidth;
    player->Height = item.PatternHeight;
    player->AnimCount = item.PatternCount();
    player->AnimStart = 0;
    player->AnimPos = 1;
    player->AnimSpeed = 16 / 1000.0;
    player->SpeedX = 0;
    player->SpeedY = 0;
}

// ---- Info signs and doors ---------------------------------------------------

void TLevelSprite::DoMove(int32_t moveCount) {
    TImageSprite::DoMove(moveCount);
    if (MessageTime > 0) {
        MessageTime -= moveCount;
        if (MessageTime <= 0) {
            MessageTime = 0;
            TGameWorld::Of(*this).InfoText.clear();
        }
    }
    if (InsideScreen(*this)) ScanForPlayer(*this);
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
