// Info signs, the level's doors and the player's landing dust.
#include "platform/Clock.h"
#include "sprites/MySprite.h"
#include "sprites/PlayerSprite.h"
#include "sprites/Population.h"
#include "tests/support/TestWorld.h"

#include <gtest/gtest.h>

using namespace varnok;
using namespace varnok::test;

namespace {

using Played = RecordingServices::Played;

// The player stands in row 2 of a level of 32 x 32 cells.
struct LevelSpriteTest : ::testing::Test {
    TestWorld w{20, 6};
    platform::SimulatedClock clock{100000};
    platform::ScopedClock useClock{clock};
    TPlayerSprite& player = TSprite::Create<TPlayerSprite>(w.engine);

    void SetUp() override {
        w.game.GameState = gs::Playing;
        w.AddImage("Info", 32, 32, 2);
        player.Width = 24;
        player.Height = 32;
        player.Y = 64;
        w.world->Actors.GamePlayer = &player;
    }
    void PlayerAt(int c) { player.X = 32 * c + 4; }
    TLevelSprite& Sign(int i) { return *w.world->Lists.InfoSigns[static_cast<size_t>(i)]; }
    TLevelSprite& Door(int c, bool exit) {
        TLevelSprite& door = TSprite::Create<TLevelSprite>(w.engine);
        door.Width = 32;
        door.Height = 64;
        door.X = 32 * c;
        door.Y = 32;
        door.IsEntry = !exit;
        door.IsExit = exit;
        return door;
    }
};

} // namespace

TEST_F(LevelSpriteTest, InfoSignsShowTheirTextForFiveSecondsOfMoveTime) {
    w.game.CurrentLevel = 3;
    w.Settings("[Level3]\n4=Jump!\n5=Duck!\n");
    w.SetCell(5, 2, 0x04);
    w.SetCell(8, 2, 0x05);
    PopulateLevel(*w.world, w.engine, w.Map());
    w.services.Pan = -700;

    PlayerAt(5);
    Sign(0).Move(20);
    EXPECT_EQ(w.world->InfoText, "Jump!");
    EXPECT_EQ(w.services.Sounds, (std::vector<Played>{{"Bump", -700}}));
    EXPECT_EQ(player.LastInfoSign, 0);
    for (int i = 0; i < 10; ++i)
        Sign(0).Move(100); // still showing: no second "Bump"
    EXPECT_EQ(w.services.Sounds.size(), 1u);

    PlayerAt(12);
    Sign(0).Move(3999);
    EXPECT_EQ(w.world->InfoText, "Jump!");
    Sign(0).Move(1);
    EXPECT_EQ(w.world->InfoText, "");
    EXPECT_EQ(Sign(0).MessageTime, 0);

    // Another sign in between lets the first one show again while its time runs.
    PlayerAt(5);
    Sign(0).Move(10);
    PlayerAt(8);
    Sign(1).Move(10);
    EXPECT_EQ(w.world->InfoText, "Duck!");
    EXPECT_EQ(player.LastInfoSign, 1);
    PlayerAt(5);
    Sign(0).Move(10);
    EXPECT_EQ(w.world->InfoText, "Jump!");
    EXPECT_EQ(w.services.Sounds.size(), 4u);
}

TEST_F(LevelSpriteTest, SignsReactOnlyToThePlayerAndOnlyWithTheirCornerOnScreen) {
    w.SetCell(0, 2, 0x01);
    w.SetCell(6, 2, 0x02);
    PopulateLevel(*w.world, w.engine, w.Map());
    TImageSprite& other = TSprite::Create<TImageSprite>(w.engine);
    other.X = Sign(1).X;
    other.Y = Sign(1).Y;
    other.Width = other.Height = 32;
    PlayerAt(12);
    Sign(1).Move(10);
    EXPECT_TRUE(w.services.Sounds.empty());

    PlayerAt(0);
    Sign(0).Move(10); // at screen x 0: not inside
    EXPECT_TRUE(w.services.Sounds.empty());
    w.engine.X = 1;
    Sign(0).Move(10);
    EXPECT_EQ(w.services.Sounds.size(), 1u);
    PlayerAt(6);
    w.engine.X = 640 - 6 * 32; // at screen x 640: not inside
    Sign(1).Move(10);
    EXPECT_EQ(w.services.Sounds.size(), 1u);
}

TEST_F(LevelSpriteTest, TouchingTheExitCompletesTheLevelAndTheEntryDoesNothing) {
    TLevelSprite& entry = Door(2, false);
    Door(10, true);
    player.LevelStartTick = 100000 - 83999;
    PlayerAt(2);
    entry.Move(10);
    EXPECT_TRUE(w.services.Sounds.empty());

    PlayerAt(10);
    w.engine.Move(10);
    EXPECT_EQ(w.game.GameState, gs::LevelComplete);
    EXPECT_EQ(w.world->Geometry.LevelSeconds, 83);
    EXPECT_EQ(w.services.Sounds, (std::vector<Played>{{"Complete", 0}}));
    EXPECT_EQ(w.services.MusicHalts, 1);

    clock.Set(1500); // the tick count wrapped since the level began
    player.LevelStartTick = 0xFFFFFFFFu - 999;
    w.engine.Move(10);
    EXPECT_EQ(w.world->Geometry.LevelSeconds, 2);
}

TEST_F(LevelSpriteTest, TheDustPlaysItsAnimationOnceAfterEachLanding) {
    TDustSprite& dust = TSprite::Create<TDustSprite>(w.engine);
    dust.Width = 16;
    dust.Height = 8;
    dust.AnimCount = 4;
    dust.AnimLoop = true;
    dust.AnimSpeed = 20 / 1000.0;
    dust.Visible = false;
    w.world->Actors.DustSprite = &dust;

    player.X = 101;
    player.Y = 40;
    player.Land(true);
    EXPECT_EQ(dust.X, 101 + 12 - 8);
    EXPECT_EQ(dust.Y, 40 + 32 - 8);
    EXPECT_TRUE(dust.Visible);
    dust.Move(50);
    dust.Move(50);
    EXPECT_TRUE(dust.Visible);
    dust.Move(50); // the last frame
    EXPECT_FALSE(dust.Visible);
    for (int i = 0; i < 10; ++i)
        dust.Move(50);
    EXPECT_FALSE(dust.Visible);
    dust.Restart();
    EXPECT_TRUE(dust.Visible);
    EXPECT_EQ(dust.AnimPos, 0);
}
