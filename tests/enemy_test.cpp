// Enemies: how the three kinds patrol, hurt the player and give way to
// stomps, driven through the sprite engine on a simulated clock.
#include "sprites/EnemySprite.h"
#include "tests/support/ActorTest.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace varnok;
using namespace varnok::test;

namespace {

// Enemies of 32 x 32 in the shared actor level; the player starts far from
// every enemy.
struct EnemyTest : ActorTest {
    EnemyTest() {
        for (const char* name : {"8081", "8283", "8485"}) w.AddImage(name, 32, 32, 4);
    }
    // The lowest and highest X the sprite takes over ms of 16 ms ticks.
    std::pair<double, double> XRange(const TSprite& s, int ms) {
        double lo = s.X, hi = s.X;
        for (int t = 0; t < ms; t += 16) {
            Tick();
            lo = std::min(lo, s.X);
            hi = std::max(hi, s.X);
        }
        return {lo, hi};
    }
    // The player running into s from the side at its height.
    void Beside(const TSprite& s) {
        player.X = s.X + 10;
        player.Y = s.Y - 4;
        player.Jumping = false;
        player.StopFall();
        player.KillJumping = false;
    }
    TEnemySprite01& Walker(int i = 0) { return *w.world->Lists.Enemies01[static_cast<size_t>(i)]; }
};

} // namespace

TEST_F(EnemyTest, WalkersTurnAtTheEndOfTheirFloorAndAtWallsFacingThem) {
    // A floor three cells wide (columns 3-5) under the walker in column 4.
    Floor(3, 5, 5);
    w.SetCell(4, 4, 0x84);
    Populate();
    ASSERT_EQ(Walker().X, 128);
    const auto [lo, hi] = XRange(Walker(), 12000);
    // It turns when the first pixel beyond its right edge, or two pixels left
    // of its left edge, is over an empty cell: it never falls off.
    EXPECT_GT(hi, 159);
    EXPECT_LT(hi, 160);
    EXPECT_GE(lo, 98);
    EXPECT_LT(lo, 99);
    EXPECT_EQ(Walker().Y, 128);
}

TEST_F(EnemyTest, OnlyTheEdgeFacingTheWalkerStopsIt) {
    Floor(0, 19, 5);
    // Column 2 has a right edge (8): a wall for a walker going left. Column 9
    // has only a left edge (2), which a walker going left passes through.
    w.SetCell(2, 4, 0, 8);
    w.SetCell(9, 4, 0, 2);
    w.SetCell(5, 4, 0x85);
    w.SetCell(12, 4, 0x85);
    w.Settings("[Enemy85]\nDX=-64\n");
    Populate();
    TEnemySprite01& boxed = Walker(0);
    TEnemySprite01& free = Walker(1);
    EXPECT_LT(XRange(boxed, 2000).first, 99);
    EXPECT_GE(boxed.X, 98);
    EXPECT_GT(boxed.DX, 0) << "turned at the wall";
    free.X = 12 * 32;
    free.DX = -64;
    double lowest = free.X;
    for (int t = 0; t < 1500; t += 16) {
        Tick();
        if (free.DX < 0) lowest = std::min(lowest, free.X);
    }
    EXPECT_LT(lowest, 9 * 32) << "walked on through the left-edge cell";
}

TEST_F(EnemyTest, TwoHalfWalkersShowTheHalfOfTheirDirectionAndFloatersStayInTheirBox) {
    Floor(3, 6, 5);
    w.SetCell(4, 4, 0x80);
    w.SetCell(10, 6, 0x83);
    Populate();
    TEnemySprite03& walker = *w.world->Lists.Enemies03[0];
    TEnemySprite02& bat = *w.world->Lists.Enemies02[0];
    const double x0 = bat.X, y0 = bat.Y;
    EXPECT_LT(bat.DX, 0);
    EXPECT_LT(bat.DY, 0);
    EXPECT_EQ(walker.AnimStart, 0);
    bool sawRight = false, sawLeft = false;
    double batLo = x0, batHi = x0, batTop = y0, batBottom = y0;
    for (int t = 0; t < 10000; t += 16) {
        Tick();
        // The second half of the frames while it walks left, the first while right.
        if (walker.DX > 0) {
            sawRight = true;
            EXPECT_EQ(walker.AnimStart, 0);
        } else {
            sawLeft = true;
            EXPECT_EQ(walker.AnimStart, 2);
        }
        batLo = std::min(batLo, bat.X);
        batHi = std::max(batHi, bat.X);
        batTop = std::min(batTop, bat.Y);
        batBottom = std::max(batBottom, bat.Y);
    }
    EXPECT_TRUE(sawRight && sawLeft);
    EXPECT_EQ(batLo, x0 - 80);
    EXPECT_EQ(batHi, x0 + 80);
    EXPECT_EQ(batTop, y0 - 10);
    EXPECT_EQ(batBottom, y0 + 10);
}

TEST_F(EnemyTest, ContactHurtsThenBlinksAndLastLifeEndsTheGame) {
    Floor(0, 19, 5);
    w.SetCell(8, 4, 0x84);
    w.Settings("[Enemy84]\nDamage=50\nDX=0\n");
    Populate();
    player.Health = 30;
    player.Lives = 3;
    Beside(Walker());
    Tick();
    EXPECT_EQ(player.Lives, 2);
    EXPECT_EQ(player.Health, 80);
    EXPECT_TRUE(player.Invulnerable);
    EXPECT_EQ(w.services.Count("AU"), 1);
    // Blinking: a second contact within the second costs nothing.
    for (int t = 0; t < 900; t += 16) {
        Beside(Walker());
        Tick();
    }
    EXPECT_EQ(player.Health, 80);
    EXPECT_EQ(w.services.Count("AU"), 1);
    player.X = 600;
    for (int t = 0; t < 200; t += 16) Tick();
    EXPECT_FALSE(player.Invulnerable);
    // God mode: no harm at all.
    w.game.GodModeOn = true;
    Beside(Walker());
    Tick();
    EXPECT_EQ(player.Health, 80);
    w.game.GodModeOn = false;
    // The last life: the game is over.
    player.Lives = 1;
    player.Health = 40;
    Beside(Walker());
    Tick();
    EXPECT_EQ(player.Lives, 0);
    EXPECT_EQ(w.game.GameState, gs::GameOver);
}

TEST_F(EnemyTest, APlainLandingHurtsAndOnlyAKillJumpStomps) {
    Floor(0, 19, 5);
    w.SetCell(8, 4, 0x84);
    w.Settings("[Enemy84]\nDX=0\n");
    Populate();
    DropOnto(Walker(), false);
    Tick();
    // Damage 100 empties the bar: one life spent, the bar full again.
    EXPECT_EQ(player.Lives, 2);
    EXPECT_EQ(player.Health, 100);
    EXPECT_EQ(Walker().HitCount, 3);
    EXPECT_FALSE(player.Jumping);
}

TEST_F(EnemyTest, ThreeStompsDefeatOnceThenTheEnemyDropsOutAndStillHurts) {
    Floor(0, 19, 5);
    w.SetCell(8, 4, 0x84);
    Populate();
    TEnemySprite01& walker = Walker();
    for (int stomp = 1; stomp <= 3; ++stomp) {
        DropOnto(walker, true);
        Tick();
        // Each stomp puts the player on top of the enemy and bounces it by its jump height.
        EXPECT_TRUE(player.Jumping);
        EXPECT_EQ(player.CurrentJumpHeight, player.JumpHeight);
        EXPECT_TRUE(dust.Visible);
        EXPECT_EQ(walker.HitCount, 3 - stomp);
        EXPECT_EQ(w.services.Count("Hit"), stomp);
    }
    EXPECT_EQ(player.EnemiesKilled, 1);
    EXPECT_EQ(w.services.Count("Fall"), 1);
    EXPECT_EQ(walker.DX, 0);
    EXPECT_EQ(walker.DY, 320);
    EXPECT_EQ(player.Health, 100);
    // Still colliding while it drops: another stomp does not count again,
    // and a plain touch hurts.
    DropOnto(walker, true);
    Tick();
    EXPECT_EQ(walker.HitCount, -1);
    EXPECT_EQ(player.EnemiesKilled, 1);
    Beside(walker);
    Tick();
    EXPECT_EQ(player.Lives, 2);
    EXPECT_TRUE(player.Invulnerable);
    // Through the floor and out of the level: gone.
    const TSpriteRef<TEnemySprite01> ref(walker);
    for (int t = 0; t < 2000 && ref; t += 16) Tick();
    EXPECT_FALSE(ref);
}

TEST_F(EnemyTest, OffScreenEnemiesNeitherHurtNorCanBeStomped) {
    Floor(0, 19, 5);
    w.SetCell(0, 4, 0x84); // top-left corner at X 0: not inside the screen
    w.Settings("[Enemy84]\nDX=0\n");
    Populate();
    Beside(Walker());
    player.X = 4;
    Tick();
    EXPECT_EQ(player.Health, 100);
    DropOnto(Walker(), true);
    Tick();
    EXPECT_EQ(Walker().HitCount, 3);
    // One pixel further right its corner is inside the screen.
    EXPECT_EQ(player.Lives, 3);
    Walker().X = 1;
    Beside(Walker());
    Tick();
    EXPECT_EQ(player.Lives, 2);
}

TEST_F(EnemyTest, FloatersEndARunningJumpAndDefeatedOnesDropWithoutBouncing) {
    w.SetCell(8, 6, 0x82);
    w.Settings("[Enemy82]\nDX=0\nDY=0\nHitCount=1\n");
    Populate();
    TEnemySprite02& bat = *w.world->Lists.Enemies02[0];
    Beside(bat);
    player.StartJump(false, 96);
    Tick();
    EXPECT_FALSE(player.Jumping);
    EXPECT_TRUE(player.Falling);
    EXPECT_EQ(player.Health, 50);
    // Stomped once (HitCount 1): defeated, it falls straight down past its box.
    player.Invulnerable = false;
    DropOnto(bat, true);
    Tick();
    EXPECT_TRUE(bat.Defeated);
    EXPECT_EQ(player.EnemiesKilled, 1);
    const double y = bat.Y;
    for (int t = 0; t < 500; t += 16) Tick();
    EXPECT_GT(bat.Y, y + 100);
}

// The stomp compares the row the player's feet were on before this move with
// the enemy's top row: level with it still counts as coming from above, one
// row lower does not. Ticks of 125 ms make the fall (160 px/s) exactly 20
// pixels, so the previous bottom row is a whole number.
TEST_F(EnemyTest, AStompNeedsThePreviousBottomRowAtOrAboveTheEnemysTop) {
    Floor(0, 19, 5);
    w.SetCell(8, 4, 0x84);
    w.Settings("[Enemy84]\nDX=0\n");
    Populate();
    TEnemySprite01& walker = Walker();
    ASSERT_EQ(walker.Y, 128);
    struct Case {
        int feetRow; // the player's bottom row when the tick starts
        bool stomp;
    };
    for (const Case c : {Case{127, true}, Case{128, true}, Case{129, false}}) {
        SCOPED_TRACE(c.feetRow);
        player.Lives = 3;
        player.Health = 100;
        player.Invulnerable = false;
        walker.HitCount = 3;
        DropOnto(walker, true);
        player.Y = c.feetRow - player.Height + 1;
        Tick(125);
        if (c.stomp) {
            EXPECT_EQ(walker.HitCount, 2);
            EXPECT_EQ(player.Lives, 3);
            EXPECT_EQ(player.Y, walker.Y - player.Height) << "bounced off the top";
        } else {
            EXPECT_EQ(walker.HitCount, 3);
            EXPECT_EQ(player.Lives, 2) << "a contact from the side hurts";
        }
    }
}

// An enemy stays while it is inside the level rectangle, edges included:
// X from 0 to MaxScrollX + display width, Y from 0 to MaxScrollY + display
// height. Half a pixel beyond any edge removes it.
TEST_F(EnemyTest, EnemiesOnTheLevelsEdgesStayAndHalfAPixelBeyondAreRemoved) {
    w.world->Geometry.MaxScrollX = 320; // right edge 320 + 640 = 960
    w.world->Geometry.MaxScrollY = 96;  // bottom edge 96 + 480 = 576
    struct Case {
        const char* edge;
        double x, y;
        bool stays;
    };
    const Case cases[] = {
        {"left", 0, 200, true},      {"left", -0.5, 200, false},  {"right", 960, 200, true},
        {"right", 960.5, 200, false}, {"top", 300, 0, true},       {"top", 300, -0.5, false},
        {"bottom", 300, 576, true},  {"bottom", 300, 576.5, false},
    };
    for (int i = 0; i < 8; ++i) w.SetCell(i + 1, 2, 0x84);
    w.Settings("[Enemy84]\nDX=0\n");
    Populate();
    std::vector<TSpriteRef<TEnemySprite01>> refs;
    for (int i = 0; i < 8; ++i) {
        TEnemySprite01& e = Walker(i);
        e.X = cases[i].x;
        e.Y = cases[i].y;
        refs.emplace_back(e);
    }
    Tick();
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(static_cast<bool>(refs[static_cast<size_t>(i)]), cases[i].stays)
            << cases[i].edge << " at " << cases[i].x << "," << cases[i].y;
}
