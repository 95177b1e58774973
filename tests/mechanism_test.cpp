// The actors that change how the player moves through a level: moving
// platforms and their triggers, breakable blocks and grates, switches and
// auto-move paths.
#include "level/ImageList.h"
#include "sprites/GrateSprite.h"
#include "sprites/PlatformSprite.h"
#include "tests/support/ActorTest.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

using namespace varnok;
using namespace varnok::test;

namespace {

// The shared actor level with a floor along row 8 (its top at y 256).
struct MechanismTest : ActorTest {
    MechanismTest() {
        w.AddImage("Plat", 64, 16, 1);
        w.AddImage("40", 32, 16, 2);
        w.AddImage("30", 32, 32, 2);
        w.AddImage("31", 32, 8, 2);
        w.AddImage("Switch", 16, 16, 4);
        w.AddImage("AutomoveStart", 32, 32, 2);
        w.AddImage("AutomovePlayer", 16, 16, 2);
        w.AddImage("Player", 24, 40, 4);
        Floor(0, 19, 8);
    }
};

} // namespace

TEST_F(MechanismTest, PlatformsBounceInsideTheirRangeFromTheLevelStart) {
    w.Settings("[Platform90]\nImage=Plat\nDY=40\nDistanceY=4\n[Platform91]\nImage=Plat\nDX=100\n");
    w.SetCell(4, 6, 0x90);
    w.SetCell(12, 6, 0x91); // a speed but no distance: it stays put
    Populate();
    TPlatformSprite& lift = Get(w.world->Lists.Platforms, 0);
    TPlatformSprite& still = Get(w.world->Lists.Platforms, 1);
    const double y0 = lift.Y;
    Run(496);
    EXPECT_NEAR(lift.Y, y0 + 40 * 0.496, 1e-6);
    double top = lift.Y, bottom = lift.Y;
    for (int t = 0; t < 8000; t += 16) {
        Tick();
        top = std::min(top, lift.Y);
        bottom = std::max(bottom, lift.Y);
    }
    EXPECT_EQ(top, y0 - 64);
    EXPECT_EQ(bottom, y0 + 64);
    EXPECT_EQ(still.X, 12 * 32);
}

TEST_F(MechanismTest, APlatformCarriesThePlayerAtItsCentreUntilItJumps) {
    w.Settings("[Platform90]\nImage=Plat\nDX=64\nDistanceX=6\n");
    w.SetCell(8, 5, 0x90);
    Populate();
    TPlatformSprite& platform = Get(w.world->Lists.Platforms, 0);
    // Coming up from below does not catch the player.
    player.X = platform.X + 10;
    player.Y = platform.Y + 4;
    player.StartJump(false, 96);
    Tick();
    EXPECT_FALSE(player.OnPlatform);

    DropOnto(platform, false);
    Tick();
    ASSERT_TRUE(player.OnPlatform);
    EXPECT_EQ(player.CarrierPlatform.Get(), &platform);
    EXPECT_FALSE(player.Falling);
    double maxOff = 0;
    for (int t = 0; t < 4000; t += 16) {
        Tick();
        maxOff = std::max(maxOff, std::abs(player.X + 12 - (platform.X + 32)));
        EXPECT_TRUE(player.OnPlatform);
        EXPECT_NEAR(player.Y + player.Height, platform.Y, 1e-9);
    }
    EXPECT_LE(maxOff, 2 * 64 * 0.016 + 1e-9) << "at most one tick's travel behind at a turn";
    player.StartJump(true, 96);
    EXPECT_TRUE(player.Jumping);
    EXPECT_FALSE(player.OnPlatform);
}

TEST_F(MechanismTest, APlatformTriggerStartsItsGroupOnce) {
    w.Settings("[PlatformTrigger42]\nDX=50\nDY=-20\n"
               "[Platform92]\nImage=Plat\nDistanceX=4\nDistanceY=2\n"
               "[Platform93]\nImage=Plat\nDistanceX=4\n");
    w.SetCell(2, 7, 0x42);
    w.SetCell(8, 4, 0x92);
    w.SetCell(14, 4, 0x93);
    Populate();
    TPlatformSprite& mine = Get(w.world->Lists.Platforms, 0);
    TPlatformSprite& other = Get(w.world->Lists.Platforms, 1);
    TPlatformTrigger& trigger = Get(w.world->Lists.PlatformTriggers, 0);
    const TSpriteRef<TPlatformTrigger> ref(trigger);
    Run(200);
    EXPECT_EQ(mine.X, 8 * 32);
    player.X = trigger.X;
    player.Y = trigger.Y - 20;
    clock.Advance(16);
    w.engine.Move(16);
    EXPECT_TRUE(trigger.Used);
    EXPECT_TRUE(trigger.IsDead());
    w.engine.RemoveDead();
    EXPECT_FALSE(ref);
    EXPECT_EQ(mine.DX, 50);
    EXPECT_EQ(mine.DY, -20);
    EXPECT_EQ(other.DX, 0);
    EXPECT_EQ(w.services.Count("Elevator"), 1);
    Run(400);
    EXPECT_GT(mine.X, 8 * 32 + 15);
    EXPECT_EQ(other.X, 14 * 32);
}

TEST_F(MechanismTest, BlocksNeedKillJumpLandingsAndBreakOpen) {
    w.Settings("[Blocks]\nHitCount=2\n");
    w.SetCell(6, 7, 0x30);
    Populate();
    TBlockSprite& block = Get(w.world->Lists.Blocks, 0);
    const TSpriteRef<TBlockSprite> ref(block);
    EXPECT_EQ(w.Map().BoundAt(6, 7), 15);
    // A plain landing stands on it and nothing more.
    DropOnto(block, false);
    Tick();
    EXPECT_EQ(block.HitCount, 2);
    EXPECT_FALSE(player.Jumping);
    // Two kill-jump landings: each bounces the player with dust; the second breaks it.
    for (int hit = 1; hit <= 2; ++hit) {
        dust.Visible = false;
        DropOnto(block, true);
        Tick();
        EXPECT_EQ(block.HitCount, 2 - hit);
        EXPECT_TRUE(player.Jumping);
        EXPECT_TRUE(dust.Visible);
    }
    EXPECT_TRUE(block.Broken);
    EXPECT_EQ(w.services.Count("Block"), 2);
    EXPECT_EQ(w.Map().BoundAt(6, 7), 0);
    // Where it stood the player now falls through; the block flies off to the
    // lower right and leaves the level.
    const double x = block.X, y = block.Y;
    Tick();
    EXPECT_NEAR(block.X - x, 400 * 0.016, 1e-9);
    EXPECT_NEAR(block.Y - y, 400 * 0.016, 1e-9);
    player.KillJumping = false;
    player.X = 6 * 32 + 4;
    player.Y = 7 * 32 - 40;
    player.Jumping = false;
    player.StopFall();
    player.SpeedX = 1; // a step sideways finds no ground
    Run(800);
    EXPECT_EQ(player.Y, 8 * 32 - 40) << "down to the floor under the block";
    EXPECT_FALSE(ref);
}

TEST_F(MechanismTest, GratesFreeTheCellBelowWithoutDust) {
    w.SetCell(10, 7, 0x31);
    w.SetCell(10, 8, 0x20, 15);
    Populate();
    TGrateSprite& grate = Get(w.world->Lists.Grates, 0);
    EXPECT_EQ(w.Map().BoundAt(10, 8), 0x200F);
    DropOnto(grate, false);
    Tick();
    EXPECT_FALSE(grate.Broken);
    // Started a pixel higher, the fall reaches the grate but not yet the
    // floor in this tick: any dust would be the stomp's.
    dust.Visible = false;
    DropOnto(grate, true);
    player.Y -= 1;
    Tick();
    EXPECT_TRUE(grate.Broken);
    EXPECT_TRUE(player.Jumping);
    EXPECT_FALSE(dust.Visible);
    EXPECT_EQ(w.Map().BoundAt(10, 8), 0);
    EXPECT_EQ(w.services.Count("Block"), 1);
}

TEST_F(MechanismTest, SwitchesRewriteTheirCellsAndRestForThreeSeconds) {
    w.Settings("[Trigger10]\nImage=Switch\nTriggerValue=1\nTileOn=5\nTileOff=7\nBoundsOn=15\nBoundsOff=0\n");
    w.SetCell(4, 7, 0x10);
    for (int c = 10; c <= 12; ++c) w.SetCell(c, 5, 0x20, 15);
    w.SetCell(13, 5, 0x21, 15); // another switch's cell
    Populate();
    TTriggerSprite& sw = Get(w.world->Lists.Triggers, 0);
    EXPECT_EQ(sw.AnimStart, 2) << "starts on: the second half of its frames";
    player.X = sw.X - 4;
    player.Y = sw.Y - 20;
    Tick();
    // Its first touch switches off.
    EXPECT_EQ(sw.State, 0);
    EXPECT_EQ(sw.AnimStart, 0);
    EXPECT_EQ(w.Map().BoundAt(11, 5), 0x2000);
    EXPECT_EQ(w.Map().TileAt(11, 5), 7);
    EXPECT_EQ(w.Map().BoundAt(13, 5), 0x210F);
    EXPECT_EQ(w.services.Refreshes, 1);
    ASSERT_EQ(w.services.Count("Trigger"), 1);
    EXPECT_EQ(w.services.Sounds.back().second, std::nullopt);
    // Standing on it, it toggles again only after its three-second rest.
    Run(2976);
    EXPECT_EQ(sw.State, 0);
    Run(32);
    EXPECT_EQ(sw.State, 1);
    EXPECT_EQ(sw.AnimStart, 2);
    EXPECT_EQ(w.Map().BoundAt(10, 5), 0x200F);
    EXPECT_EQ(w.Map().TileAt(12, 5), 5);
    EXPECT_EQ(w.services.Refreshes, 2);
}

TEST_F(MechanismTest, AnAutoMoveStartCarriesThePlayerThroughEveryTurnToThePathsEnd) {
    // Right from the start, straight on, up, left, and off the end.
    w.SetCell(2, 6, 0xFA);
    w.SetCell(3, 6, 0xF5);
    w.SetCell(4, 6, 0xF9);
    w.SetCell(5, 6, 0xF7);
    w.SetCell(5, 5, 0xF7);
    w.SetCell(5, 4, 0xF6);
    w.SetCell(4, 4, 0xF6);
    w.SetCell(3, 4, 0xF6);
    Populate();
    TAutoMoveSprite& start = Get(w.world->Lists.AutoMoveSprites, 0);
    // Its middle not over the start: nothing happens.
    player.X = start.X + 20;
    player.Y = start.Y - 20;
    Tick();
    EXPECT_FALSE(player.AutoMoving);

    player.X = start.X - 4;
    Tick();
    ASSERT_TRUE(player.AutoMoving);
    EXPECT_EQ(player.X, start.X + 1);
    EXPECT_EQ(player.Y, start.Y + 1);
    EXPECT_EQ(player.Image->Name(), "AutomovePlayer");
    EXPECT_EQ(player.Width, 16);
    EXPECT_EQ(w.services.Looped, std::vector<std::string>{"Automove"});
    EXPECT_EQ(w.services.Count("Automove"), 1);
    EXPECT_EQ(w.services.Count("Land"), 1);
    EXPECT_TRUE(dust.Visible);

    bool turnedUp = false, turnedLeft = false;
    for (int t = 0; t < 2000 && player.AutoMoving; t += 16) {
        Tick();
        // Each turn holds the player one pixel inside the turning cell.
        if (player.X == 5 * 32 + 1 && player.Y == 6 * 32 + 1) turnedUp = true;
        if (player.X == 5 * 32 + 1 && player.Y == 4 * 32 + 1) turnedLeft = true;
    }
    EXPECT_TRUE(turnedUp);
    EXPECT_TRUE(turnedLeft);
    // Off the end: one cell further on, the walking picture back with the
    // feet where they were, and falling.
    EXPECT_FALSE(player.AutoMoving);
    EXPECT_EQ(player.X, 2 * 32 - 1);
    EXPECT_EQ(player.Y, 4 * 32 + 1 - (40 - 16));
    EXPECT_EQ(player.Image->Name(), "Player");
    EXPECT_TRUE(player.Falling);
    EXPECT_NE(std::find(w.services.Stopped.begin(), w.services.Stopped.end(), "Automove"), w.services.Stopped.end());
}
