#pragma once
// The running level that the actor tests share: a 20 x 12 level of 32-pixel
// cells on a 640 x 480 screen, a simulated clock, and a player (24 x 40) with
// its dust created before every actor, so that it moves first as in the game.
#include "platform/Clock.h"
#include "sprites/MySprite.h"
#include "sprites/PlayerSprite.h"
#include "sprites/Population.h"
#include "tests/support/TestWorld.h"

#include <gtest/gtest.h>
#include <vector>

namespace varnok::test {

class ActorTest : public ::testing::Test {
  protected:
    TestWorld w{20, 12};
    platform::SimulatedClock clock{100000};
    platform::ScopedClock useClock{clock};
    TPlayerSprite& player = TSprite::Create<TPlayerSprite>(w.engine);
    TDustSprite& dust = TSprite::Create<TDustSprite>(w.engine);

    ActorTest() {
        w.game.GameState = gs::Playing;
        player.Width = 24;
        player.Height = 40;
        Away();
        dust.Width = 16;
        dust.Height = 8;
        dust.Visible = false;
        w.world->Actors.GamePlayer = &player;
        w.world->Actors.DustSprite = &dust;
    }

    void Floor(int c0, int c1, int r, uint8_t code = 15) {
        for (int c = c0; c <= c1; ++c) w.SetCell(c, r, 0, code);
    }
    void Populate() { PopulateLevel(*w.world, w.engine, w.Map()); }
    // One game tick: every sprite moves, the dead are freed.
    void Tick(int ms = 16) {
        clock.Advance(static_cast<uint32_t>(ms));
        w.engine.Move(ms);
        w.engine.RemoveDead();
    }
    void Run(int ms) {
        for (int t = 0; t < ms; t += 16) Tick();
    }
    // Far from every actor, standing still in the air.
    void Away() {
        player.X = 600;
        player.Y = 8;
        player.StopFall();
    }
    // The player falling onto the top of s: it starts the tick just touching
    // it and falls into it during the tick (the player moves first).
    void DropOnto(const TSprite& s, bool killJump) {
        player.X = s.X + 4;
        player.Y = s.Y - player.Height;
        player.SpeedX = 0;
        player.Jumping = false;
        player.StartFall();
        player.KillJumping = killJump;
    }
    template <class T> static T& Get(std::vector<TSpriteRef<T>>& list, int i) {
        return *list[static_cast<size_t>(i)];
    }
};

} // namespace varnok::test
