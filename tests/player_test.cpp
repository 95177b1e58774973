// The player's motion against the level's bound codes, driven through the
// sprite engine with fixed tick lengths on a simulated clock.
#include "level/CryptedINI.h"
#include "level/ImageList.h"
#include "platform/Clock.h"
#include "sprites/GameWorld.h"
#include "sprites/MySprite.h"
#include "sprites/PlatformSprite.h"
#include "sprites/PlayerSprite.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace varnok;

namespace {

constexpr int kPan = 777; // the player's pan as the recording services give it
using Sound = std::pair<std::string, std::optional<int>>;

struct RecordingServices final : TWorldServices {
    std::vector<Sound> played;
    std::vector<std::string> stopped;
    void PlaySound(const std::string& name, std::optional<int> pan) override {
        played.emplace_back(name, pan);
    }
    void StopSound(const std::string& name) override { stopped.push_back(name); }
    void SetSoundLooped(const std::string&, bool) override {}
    int PlayerPan(const TSprite&) override { return kPan; }
    void HaltMusic() override {}
    void ResumeMusic() override {}
    void RefreshPlayfieldLayer() override {}
    void SetCaption(const std::string&) override {}
    int Count(const std::string& name) const {
        return static_cast<int>(
            std::count_if(played.begin(), played.end(), [&](auto& p) { return p.first == name; }));
    }
};

// A 40 x 20 level of 32-pixel cells (1280 x 640 pixels) with a floor along
// row 10 (its top at y 320), and a 20 x 40 player.
struct PlayerTest : ::testing::Test {
    platform::SimulatedClock clock{5000};
    platform::ScopedClock useClock{clock};
    test::TempDir dir;
    std::string iniPath = dir / "GLOBAL.INI";
    std::unique_ptr<TMemIniFileCrypted> store;
    TDXImageList images;
    RecordingServices services;
    TGameGlobals game;
    TLevelData level;
    std::unique_ptr<TGameWorld> world;
    platform::Surface screen{640, 480, 16};
    TSpriteEngine engine;
    TMapItem* map = nullptr;
    TDustSprite* dust = nullptr;
    TPlayerSprite* player = nullptr;

    void SetUp() override {
        test::WriteFileBytes(iniPath, "");
        store = std::make_unique<TMemIniFileCrypted>(iniPath);
        world = std::make_unique<TGameWorld>(game, level, *store, images, services);
        engine.SetSurface(&screen);
        engine.World = world.get();
        game.GameState = gs::Playing;
        map = &level.CurrentTileSet.Maps.Add();
        map->Resize(40, 20);
        Row(0, 39, 10, 1);
        world->Geometry = {.CellWidth = 32, .CellHeight = 32, .MaxScrollX = 640, .MaxScrollY = 160};
        dust = &TSprite::Create<TDustSprite>(engine);
        dust->Width = 16;
        dust->Height = 8;
        world->Actors.DustSprite = dust;
        player = &NewPlayer();
    }
    TPlayerSprite& NewPlayer() {
        TPlayerSprite& p = TSprite::Create<TPlayerSprite>(engine);
        p.Width = 20;
        p.Height = 40;
        return p;
    }
    void Cell(int c, int r, uint16_t word) { map->SetBound(word, c, r); }
    // Columns c0..c1 of row r.
    void Row(int c0, int c1, int r, uint16_t word) {
        for (int c = c0; c <= c1; ++c)
            Cell(c, r, word);
    }
    // The player standing on the floor whose top is row `row`, or in the air at y.
    void Stand(double x, int row = 10) { Place(x, row * 32 - 40); }
    void Place(double x, double y) {
        player->X = x;
        player->Y = y;
    }
    // Ticks of `lag` ms for `ms` ms; `each` sees the player after every tick.
    void Run(int ms, int lag = 10, const std::function<void()>& each = {}) {
        for (int t = 0; t < ms; t += lag) {
            clock.Advance(lag);
            engine.Move(lag);
            if (each) each();
        }
    }
    // The highest point (lowest Y) reached in `ms`.
    double Top(int ms, int lag = 10) {
        double top = player->Y;
        Run(ms, lag, [&] { top = std::min(top, player->Y); });
        return top;
    }
    // Walks at `speed` for `ms`; on the diagonal (rounded X within lo..hi)
    // Y + sign * X must keep the value c: one pixel up or down per pixel across.
    void WalkDiagonal(int speed, int ms, int lo, int hi, int sign, int c) {
        player->SpeedX = speed;
        int samples = 0;
        Run(ms, 10, [&] {
            const int64_t x = Round(player->X);
            if (x < lo || x > hi) return;
            ++samples;
            EXPECT_EQ(player->Y + sign * x, c) << "at x " << x;
        });
        EXPECT_GT(samples, 30);
        EXPECT_FALSE(player->Falling);
    }
};

} // namespace

TEST_F(PlayerTest, SettingsComeFromThePlayerSection) {
    EXPECT_EQ(player->WalkSpeed, 160);
    EXPECT_EQ(player->JumpHeight, 96);
    EXPECT_EQ(player->FallSpeed, 160);
    test::WriteFileBytes(iniPath, "[player]\nWalkSpeed=120\nJumpHeight=0x40\n");
    store->Reload();
    TPlayerSprite& slow = NewPlayer();
    EXPECT_EQ(slow.WalkSpeed, 120);
    EXPECT_EQ(slow.JumpHeight, 64);
    EXPECT_EQ(slow.FallSpeed, 120); // follows the walking speed unless given
    test::WriteFileBytes(iniPath, "[Player]\nFallSpeed=250\n");
    store->Reload();
    EXPECT_EQ(NewPlayer().FallSpeed, 250);
}

TEST_F(PlayerTest, WalkingSpeedHoldsAtAnyTickLength) {
    for (int speed : {160, 320, 16, 32, -160})
        for (int lag : {7, 10, 16, 33}) {
            Stand(600);
            player->SpeedX = speed;
            const int ticks = 1500 / lag;
            Run(ticks * lag, lag);
            EXPECT_NEAR(player->X, 600 + speed * ticks * lag / 1000.0, 1e-6)
                << speed << " px/s, " << lag << " ms";
            EXPECT_EQ(player->Y, 280);
            EXPECT_FALSE(player->Falling);
        }
}

TEST_F(PlayerTest, JumpPeaksAtHalfASecondAndLandsAtOne) {
    for (int lag : {10, 20, 25}) {
        Stand(100);
        services.played.clear();
        player->StartJump(true, player->JumpHeight);
        EXPECT_EQ(services.played.at(0), Sound("Jump", kPan));
        EXPECT_EQ(Top(500, lag), 280 - 96) << lag;
        EXPECT_EQ(player->Y, 184); // the peak is at half a second
        EXPECT_EQ(Top(500, lag), 184);
        EXPECT_EQ(player->Y, 280);
        EXPECT_FALSE(player->Jumping);
        Run(lag, lag); // the fall that follows finds the floor at once
        EXPECT_FALSE(player->Falling);
        EXPECT_EQ(player->Y, 280);
        EXPECT_EQ(services.played.back(), Sound("Land", kPan));
    }
}

TEST_F(PlayerTest, JumpStartsOnlyFromSomethingToStandOn) {
    Place(100, 100);
    player->StartJump(true, 96);
    EXPECT_FALSE(player->Jumping);
    Cell(3, 3, 0x80);
    player->Y = 88; // right foot inside a slope cell, nothing in the row below
    ASSERT_FALSE(player->OnGround(100, 88));
    player->StartJump(true, 96);
    EXPECT_TRUE(player->Jumping);
    EXPECT_EQ(player->JumpBaseY, 88);
    player->StartJump(true, 50); // already jumping
    EXPECT_EQ(player->CurrentJumpHeight, 96);
    Place(100, 100);
    player->Jumping = false;
    player->OnPlatform = true;
    player->StartJump(true, 70);
    EXPECT_TRUE(player->Jumping);
    EXPECT_FALSE(player->OnPlatform);
    EXPECT_EQ(services.Count("Jump"), 2);
}

TEST_F(PlayerTest, BounceOverAPitFallsAtFallSpeedAndOutOfTheLevel) {
    Row(2, 6, 10, 0);
    Place(100, 100);
    player->StartJump(false, 96);
    Run(1000);
    EXPECT_EQ(player->Y, 100);
    EXPECT_TRUE(player->Falling);
    Run(500);
    EXPECT_NEAR(player->Y, 180, 1e-6);
    // The feet pass the bottom (640) at Y 600; the game ends at Y 680, lives or not.
    Run(3300, 10, [&] {
        EXPECT_EQ(services.Count("Fall"), player->Y + 40 >= 640 ? 1 : 0);
        EXPECT_EQ(game.GameState, player->Y - 40 >= 640 ? gs::GameOver : gs::Playing) << player->Y;
    });
    EXPECT_EQ(player->Lives, 0);
    EXPECT_EQ(services.played.back(), Sound("Fall", std::nullopt));
}

TEST_F(PlayerTest, WallsAndLevelEdgesStopThePlayer) {
    for (int r = 5; r <= 9; ++r)
        Cell(10, r, 2); // left edge solid: blocks from the left
    Cell(2, 9, 8);
    Stand(250);
    player->SpeedX = 160;
    Run(1000);
    EXPECT_EQ(player->X, 300); // right edge at the wall's x 320
    player->StartJump(true, 96);
    EXPECT_EQ(Top(1500), 184); // straight up along the wall
    EXPECT_EQ(player->X, 300);
    Stand(150);
    player->SpeedX = -160;
    Run(1000);
    EXPECT_EQ(player->X, 96);
    Cell(10, 9, 0x82); // a slope that also has the edge flag is climbed
    Stand(250);
    player->SpeedX = 160;
    EXPECT_LT(Top(1000), 280);
    EXPECT_GT(player->X, 320);

    Stand(5);
    player->SpeedX = -160;
    Run(500);
    EXPECT_EQ(player->X, 0);
    Stand(1250);
    player->SpeedX = 160;
    Run(500);
    EXPECT_EQ(player->X, 1280 - 20);
    Cell(3, 2, 1);
    Stand(100, 2);
    player->SpeedX = 0;
    player->StartJump(true, 96);
    EXPECT_EQ(Top(1600), 0);
    EXPECT_EQ(player->Y, 24);
}

TEST_F(PlayerTest, OneWayFloorIsJumpedThroughLandedOnAndWalkedOff) {
    Row(2, 5, 8, 1);
    Stand(100);
    player->StartJump(true, 96);
    Run(1500);
    EXPECT_EQ(player->Y, 216); // on the floor at y 256
    EXPECT_FALSE(player->Jumping || player->Falling);
    EXPECT_TRUE(dust->Visible);
    EXPECT_DOUBLE_EQ(dust->X, player->X + 10 - 8);
    EXPECT_DOUBLE_EQ(dust->Y, player->Y + 40 - 8);
    player->SpeedX = 160; // off its right end at x 192, down to the floor below
    bool fell = false;
    Run(1200, 10, [&] { fell = fell || player->Falling; });
    EXPECT_TRUE(fell);
    EXPECT_EQ(player->Y, 280);
    EXPECT_EQ(services.Count("Land"), 2);
}

TEST_F(PlayerTest, HeadHitOnACeilingTurnsTheJumpIntoAFall) {
    Cell(3, 6, 4); // bottom edge solid, y 192..223
    Stand(100);
    player->StartJump(true, 96);
    EXPECT_EQ(Top(300), 223);
    EXPECT_TRUE(player->Falling);
    EXPECT_FALSE(player->Jumping);
    EXPECT_EQ(services.Count("Au"), 1);
    Run(1000);
    EXPECT_EQ(player->Y, 280);
}

TEST_F(PlayerTest, SlopesAreClimbedAndDescendedPixelByPixel) {
    // Rising to the right, a plateau at y 224 beyond it.
    Cell(10, 9, 0x80);
    Cell(11, 8, 0x80);
    Cell(12, 7, 0x80);
    Row(13, 39, 7, 1);
    Stand(250);
    WalkDiagonal(160, 2000, 302, 397, 1, 581);
    EXPECT_EQ(player->Y, 184);
    WalkDiagonal(-160, 2000, 300, 396, 1, 580);
    EXPECT_EQ(player->Y, 280);
    // Rising to the left, a plateau at y 224 before it.
    Cell(5, 9, 0x81);
    Cell(4, 8, 0x81);
    Cell(3, 7, 0x81);
    Row(0, 2, 7, 1);
    WalkDiagonal(-160, 1500, 95, 190, -1, 89);
    EXPECT_EQ(player->Y, 184);
    WalkDiagonal(160, 1500, 96, 192, -1, 88);
    EXPECT_EQ(player->Y, 280);
}

TEST_F(PlayerTest, FallsLandOnTheDiagonalAndOnSlopeJoins) {
    Cell(10, 9, 0x80);
    Cell(11, 8, 0x80); // surface from (352, 287) to (383, 256)
    Cell(4, 8, 0x81);  // surface from (128, 256) to (159, 287)
    auto drop = [&](double x) {
        Place(x, 100);
        player->StartFall();
        Run(1000);
        EXPECT_FALSE(player->Falling);
    };
    drop(355); // right foot at x 374, over y 265
    EXPECT_EQ(player->Y, 226);
    drop(130); // left foot at x 130, over y 258
    EXPECT_EQ(player->Y, 218);
    // Right foot in the first column of the upper cell: the mark below it
    // catches the fall one pixel up and left.
    drop(333);
    EXPECT_EQ(player->Y, 248);
    Cell(11, 9, 0x10);
    drop(333);
    EXPECT_EQ(player->X, 332);
    EXPECT_EQ(player->Y, 246);
    EXPECT_EQ(services.Count("Land"), 4);
}

TEST_F(PlayerTest, DamageCostsHealthThenALifeAndBlinksForASecond) {
    Stand(100);
    player->Health = 30;
    EXPECT_TRUE(player->TakeDamage(50, THealthRefill::AddHundred));
    EXPECT_EQ(player->Lives, 2);
    EXPECT_EQ(player->Health, 80);
    EXPECT_FALSE(player->TakeDamage(50, THealthRefill::AddHundred)); // blinking
    EXPECT_EQ(player->Health, 80);
    EXPECT_EQ(player->Y, 280);
    bool shown = true;
    int toggles = 0;
    Run(1010, 10, [&] {
        toggles += player->Visible != shown;
        shown = player->Visible;
    });
    EXPECT_EQ(toggles, 100); // the 101st tick ends the blinking
    EXPECT_FALSE(player->Invulnerable);
    EXPECT_TRUE(player->Visible);

    game.GodModeOn = true;
    EXPECT_FALSE(player->TakeDamage(500, THealthRefill::AddHundred));
    game.GodModeOn = false;
    player->Health = 10;
    EXPECT_TRUE(player->TakeDamage(25, THealthRefill::HundredMinusHealth));
    EXPECT_EQ(player->Lives, 1);
    EXPECT_EQ(player->Health, 115);
    player->Invulnerable = false;
    player->Health = 30;
    player->TakeDamage(50, THealthRefill::AddHundred);
    EXPECT_EQ(player->Lives, 0);
    EXPECT_EQ(game.GameState, gs::GameOver);
}

TEST_F(PlayerTest, HistoryKeepsEveryPositionNewestFirstAndTraceFollowsShift) {
    Stand(100);
    player->SpeedX = 160;
    std::vector<std::pair<int32_t, int32_t>> seen;
    world->ShiftDown = true;
    Run(2500, 10, [&] {
        seen.emplace_back(static_cast<int32_t>(Round(player->X)), static_cast<int32_t>(Round(player->Y)));
        const size_t n = std::min<size_t>(seen.size(), 200);
        ASSERT_EQ(player->HistoryCount, static_cast<int32_t>(n));
        for (size_t i = 0; i < n; ++i)
            ASSERT_EQ(player->PositionHistory[i], seen[seen.size() - 1 - i]) << i;
        EXPECT_EQ(player->TraceLength, std::min<int>(static_cast<int>(seen.size()), 6));
    });
    world->ShiftDown = false;
    Run(40);
    EXPECT_EQ(player->TraceLength, 2);
}

TEST_F(PlayerTest, KillJumpHoverAndPlatformsBypassTheTileMotion) {
    Stand(100);
    player->SpeedX = 160;
    player->AnimCount = 10;
    player->AnimLoop = true;
    player->AnimSpeed = 0.01;
    player->KillJumping = true;
    player->KillJumpUntil = platform::GetTickCount() + 100;
    Run(90);
    EXPECT_EQ(player->X, 100);
    EXPECT_NEAR(player->AnimPos, 0.9, 1e-9); // only the animation runs
    Run(20);
    EXPECT_GT(player->X, 100);

    TSpriteEngine elsewhere; // its platform is not moved by the test's engine
    TPlatformSprite& platform = TSprite::Create<TPlatformSprite>(elsewhere);
    platform.MovedX = 3;
    platform.MovedY = -2;
    Place(100, 100);
    player->OnPlatform = true;
    player->CarrierPlatform = &platform;
    Run(50);
    EXPECT_EQ(player->X, 115); // its own speed is ignored
    EXPECT_EQ(player->Y, 90);
    EXPECT_FALSE(player->Falling);
    elsewhere.Clear(); // the platform is gone: the player walks off into the air
    Run(10);
    EXPECT_FALSE(player->OnPlatform);
    EXPECT_TRUE(player->Falling);
}

TEST_F(PlayerTest, AutoMovePathCarriesTurnsAndDropsThePlayer) {
    TPictureCollectionItem& walker = images.Items.Add();
    walker.SetName("Player");
    walker.Picture.Assign(RgbaImage(40, 40));
    walker.PatternWidth = 20;
    walker.PatternHeight = 40;
    Cell(5, 5, 0xFA00);
    Row(6, 8, 5, 0xF500);
    for (int r = 5; r <= 7; ++r)
        Cell(9, r, 0xF800);
    player->Width = player->Height = 16;
    Place(161, 161);
    player->AutoMoving = true;
    Run(50); // 640 px/s: into the first path cell at x 192
    EXPECT_EQ(player->X, 192);
    EXPECT_EQ(services.Count("Bump"), 1);
    Run(150); // the turn cell holds the player one pixel inside it
    EXPECT_EQ(player->X, 289);
    EXPECT_EQ(player->Y, 161);
    EXPECT_TRUE(player->AutoMoving);
    Run(150); // down to the end of the path at y 256, then a cell further
    EXPECT_FALSE(player->AutoMoving);
    EXPECT_TRUE(player->Falling);
    EXPECT_EQ(player->Image, &walker);
    EXPECT_EQ(player->Height, 40);
    EXPECT_EQ(player->X, 289);
    EXPECT_EQ(player->Y, 256 + 32 - 24); // feet kept where the smaller image had them
    EXPECT_EQ(services.stopped.at(0), "Automove");
}

// The path speed is the product of two settings: like all settings
// arithmetic it wraps at 32 bits (under the sanitizers an overflow would end
// the test). 2^30 x 4 wraps to 0, so the player waits on the path; the
// smallest walking speed times 1 wraps to itself, and its negation too.
TEST_F(PlayerTest, AutoMoveSpeedWrapsAtThirtyTwoBits) {
    Cell(5, 5, 0xFA00);
    Row(6, 8, 5, 0xF500);
    Cell(3, 5, 0xFB00);
    Row(0, 2, 5, 0xF600);
    player->Width = player->Height = 16;
    Place(161, 161);
    player->AutoMoving = true;
    player->WalkSpeed = 1 << 30;
    player->AutomoveFactor = 4;
    Run(20);
    EXPECT_EQ(player->SpeedX, 0);
    EXPECT_EQ(player->X, 161);
    EXPECT_TRUE(player->AutoMoving);

    player->WalkSpeed = INT32_MIN;
    player->AutomoveFactor = 0;
    Run(20);
    EXPECT_EQ(player->SpeedX, 0);

    // Leftwards from the start at column 3: -(2^31) wraps to -(2^31).
    Place(97, 161);
    player->AutomoveFactor = 1;
    player->LastAutoMoveTag = 0;
    clock.Advance(1);
    engine.Move(1);
    EXPECT_EQ(player->SpeedX, INT32_MIN);
    EXPECT_LT(player->X, 97);
}

TEST_F(PlayerTest, TileTestsReadTheirCells) {
    Cell(3, 2, 0x84); // scanned left to right, a slope ends the ceiling scan
    Cell(4, 2, 0x04);
    EXPECT_FALSE(player->Ceiling(110, 64));
    EXPECT_TRUE(player->Ceiling(128, 64));
    Cell(3, 2, 0x04);
    Cell(4, 2, 0x80);
    EXPECT_TRUE(player->Ceiling(110, 64));
    EXPECT_FALSE(player->OnGround(-500, 280));
    EXPECT_TRUE(player->OnGround(1270, 280)); // the last column still counts
    world->Geometry.CellWidth = 0;            // no cell size: nothing is solid
    EXPECT_FALSE(player->OnGround(100, 280));
    EXPECT_FALSE(player->WallRight(100, 280));
}
