// Point and life items, the pop-up item, springboards, keycards and laser
// locks, as the player meets them in a running level.
#include "level/ImageList.h"
#include "tests/support/ActorTest.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace varnok;
using namespace varnok::test;

namespace {

// The shared actor level with a floor along row 8.
struct CollectibleTest : ActorTest {
    CollectibleTest() {
        for (const char* name : {"C0", "C1", "E0", "E1", "E2", "D2", "32", "33", "34"}) w.AddImage(name, 16, 16, 4);
        w.AddImage("Vanish", 16, 16, 4);
        w.AddImage("D9", 16, 32, 1);
        w.AddImage("B0", 32, 16, 2);
        for (const char* name : {"35", "36", "37"}) w.AddImage(name, 32, 32, 2);
        Floor(0, 19, 8);
    }
    // Standing still over the sprite.
    void On(const TSprite& s) {
        player.X = s.X - 4;
        player.Y = s.Y - 8;
    }
};

} // namespace

TEST_F(CollectibleTest, APointItemCountsOnceAndVanishesAfterHalfASecondOfMoveTime) {
    w.Settings("[PointsC0]\nValue=5\n");
    w.SetCell(4, 7, 0xC0);
    w.SetCell(10, 7, 0xC0);
    Populate();
    EXPECT_EQ(w.world->Geometry.LevelPointsTotal, 10);
    TPointSprite& coin = Get(w.world->Lists.PointSprites, 0);
    const TSpriteRef<TPointSprite> ref(coin);
    w.services.Pan = -300;
    On(coin);
    Tick();
    EXPECT_EQ(player.Score, 5);
    EXPECT_TRUE(coin.Collected);
    EXPECT_EQ(coin.Image->Name(), "Vanish");
    EXPECT_EQ(coin.Z(), 100);
    EXPECT_EQ(w.services.Sounds, (std::vector<RecordingServices::Played>{{"Coin", -300}}));
    // Standing on it adds nothing more; 500 ms after the touch it is gone.
    Run(480);
    EXPECT_EQ(player.Score, 5);
    EXPECT_TRUE(ref);
    Run(32);
    EXPECT_FALSE(ref);

    // A tick longer than half a second does not collect.
    TPointSprite& other = Get(w.world->Lists.PointSprites, 1);
    On(other);
    Tick(501);
    EXPECT_FALSE(other.Collected);
    Tick(16);
    EXPECT_TRUE(other.Collected);
    EXPECT_EQ(player.Score, 10);
}

TEST_F(CollectibleTest, HealthItemsFillTheBarToAHundredAndExtraLivesWaitForRoom) {
    w.Settings("[GoodiesE0]\nHealth=50\n");
    w.SetCell(2, 7, 0xE0);
    w.SetCell(5, 7, 0xE0);
    w.SetCell(8, 7, 0xE2); // Health 100: an extra life
    Populate();
    EXPECT_EQ(w.world->Geometry.LevelPointsTotal, 200);
    TLiveSprite& half = Get(w.world->Lists.LiveSprites, 0);
    TLiveSprite& second = Get(w.world->Lists.LiveSprites, 1);
    TLiveSprite& life = Get(w.world->Lists.LiveSprites, 2);

    player.Health = 80;
    On(half);
    Tick();
    EXPECT_EQ(player.Health, 100);
    EXPECT_TRUE(half.Collected);
    EXPECT_EQ(w.services.Count("Bonus"), 1);
    // At 100 it adds nothing but is still taken.
    On(second);
    Tick();
    EXPECT_EQ(player.Health, 100);
    EXPECT_TRUE(second.Collected);

    // With every life it may have, the extra life stays where it is.
    player.MaxLives = 3;
    player.Lives = 3;
    player.Health = 60;
    On(life);
    Tick();
    EXPECT_FALSE(life.Collected);
    EXPECT_EQ(player.Lives, 3);
    player.Lives = 2;
    Tick();
    EXPECT_TRUE(life.Collected);
    EXPECT_EQ(player.Lives, 3);
    EXPECT_EQ(player.Health, 60);

    // A taken item plays its vanish picture to the last frame, then goes.
    const TSpriteRef<TLiveSprite> ref(half);
    Away();
    Run(1400);
    EXPECT_TRUE(ref);
    Run(200);
    EXPECT_FALSE(ref);
}

TEST_F(CollectibleTest, BlinkingPlayersTakeNothingAndHazardsHurtAgainAfterEachSecond) {
    w.SetCell(3, 7, 0xE0);
    w.SetCell(8, 7, 0xD2); // Damage -25
    Populate();
    TLiveSprite& health = Get(w.world->Lists.LiveSprites, 0);
    TLiveSprite& thorns = Get(w.world->Lists.LiveSprites, 1);
    EXPECT_EQ(w.world->Geometry.LevelPointsTotal, 75);

    player.MakeInvulnerable();
    player.Health = 40;
    On(health);
    Tick();
    EXPECT_FALSE(health.Collected);
    EXPECT_EQ(player.Health, 40);
    player.Invulnerable = false;

    // Health 10 and three lives: a life is spent and the bar holds 100 - (-15).
    player.Health = 10;
    player.Lives = 3;
    On(thorns);
    Tick();
    EXPECT_EQ(player.Lives, 2);
    EXPECT_EQ(player.Health, 115);
    EXPECT_TRUE(player.Invulnerable);
    EXPECT_EQ(w.services.Count("Au"), 1);
    // Standing in the thorns: hurt again once the blinking second is over.
    Run(960);
    EXPECT_EQ(player.Health, 115);
    Run(80);
    EXPECT_EQ(player.Health, 90);
    EXPECT_FALSE(thorns.Collected);
    // God mode: no harm.
    w.game.GodModeOn = true;
    player.Invulnerable = false;
    Tick();
    EXPECT_EQ(player.Health, 90);
    // The last life ends the game.
    w.game.GodModeOn = false;
    player.Lives = 1;
    player.Health = 20;
    Tick();
    EXPECT_EQ(player.Lives, 0);
    EXPECT_EQ(w.game.GameState, gs::GameOver);
}

TEST_F(CollectibleTest, ThePopUpItemRisesWhileThePlayerIsNearAndSinksWhenItLeaves) {
    w.SetCell(10, 7, 0xD9);
    Populate();
    TLiveSprite& spear = Get(w.world->Lists.LiveSprites, 0);
    const double home = 8 * 32 - 8;
    ASSERT_EQ(spear.Y, home);
    Run(500);
    EXPECT_EQ(spear.Y, home);
    // Near: the player's left edge within two widths to its left or one to its right.
    player.X = spear.X - 2 * player.Width + 4;
    player.Y = 0;
    Run(160);
    EXPECT_LT(spear.Y, home);
    EXPECT_GT(spear.Y, home - 24);
    Run(160);
    EXPECT_EQ(spear.Y, home - 32 + 8);
    Run(1000);
    EXPECT_EQ(spear.Y, home - 24) << "stays up while the player is near";
    Away();
    Run(400);
    EXPECT_EQ(spear.Y, home);
    EXPECT_EQ(spear.SpeedY, 0);
}

TEST_F(CollectibleTest, SpringboardsLaunchCellsHighAndDipForSixtyMilliseconds) {
    w.Settings("[ObjectsB0]\nJumpTiles=3\n");
    w.SetCell(6, 7, 0xB0);
    Populate();
    TObjectSprite& board = Get(w.world->Lists.ObjectSprites, 0);
    const double rest = board.Y;
    // Walking into it from the side does nothing.
    player.X = board.X - 10;
    player.Y = board.Y - 10;
    Tick();
    EXPECT_EQ(board.PressedTick, 0u);

    DropOnto(board, false);
    Tick();
    EXPECT_NE(board.PressedTick, 0u);
    EXPECT_EQ(board.Y, rest - 8);
    EXPECT_TRUE(player.Jumping);
    EXPECT_EQ(player.CurrentJumpHeight, 96);
    EXPECT_EQ(w.services.Count("Hit"), 1);
    const double base = rest - player.Height;
    double top = player.Y;
    for (int t = 0; t < 700; t += 16) {
        Tick();
        top = std::min(top, player.Y);
        if (t == 64) {
            EXPECT_EQ(board.PressedTick, 0u);
            EXPECT_EQ(board.Y, rest);
        }
    }
    EXPECT_NEAR(top, base - 96, 1.0);
    EXPECT_EQ(w.services.Count("Hit"), 1);
}

TEST_F(CollectibleTest, AKeycardOpensExactlyTheLocksOfItsTag) {
    w.SetCell(2, 7, 0x33);
    w.SetCell(6, 7, 0x36);
    w.SetCell(9, 7, 0x36);
    w.SetCell(12, 7, 0x37);
    w.SetCell(15, 7, 0x33);
    Populate();
    EXPECT_EQ(w.Map().BoundAt(6, 7), 0x360F);
    const TSpriteRef<TLaserLockSprite> a(Get(w.world->Lists.LaserLocks, 0));
    const TSpriteRef<TLaserLockSprite> b(Get(w.world->Lists.LaserLocks, 1));
    const TSpriteRef<TLaserLockSprite> other(Get(w.world->Lists.LaserLocks, 2));
    const TSpriteRef<TKeycardSprite> first(Get(w.world->Lists.Keycards, 0));
    const TSpriteRef<TKeycardSprite> second(Get(w.world->Lists.Keycards, 1));

    On(*first);
    Tick();
    EXPECT_FALSE(first);
    EXPECT_FALSE(a);
    EXPECT_FALSE(b);
    EXPECT_TRUE(other);
    EXPECT_EQ(w.Map().BoundAt(6, 7), 0);
    EXPECT_EQ(w.Map().BoundAt(9, 7), 0);
    EXPECT_EQ(w.Map().BoundAt(12, 7), 0x370F);
    EXPECT_EQ(w.services.Count("LaserLock"), 1);

    // A second keycard of the same tag finds nothing left to open.
    On(*second);
    Tick();
    EXPECT_FALSE(second);
    EXPECT_TRUE(other);
    EXPECT_EQ(w.Map().BoundAt(12, 7), 0x370F);
    EXPECT_EQ(w.services.Count("LaserLock"), 2);
}
