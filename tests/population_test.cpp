// Building a level's actors from the tags of its playfield map.
#include "sprites/Population.h"

#include "common/Exception.h"
#include "common/StrUtils.h"
#include "sprites/GrateSprite.h"
#include "sprites/MySprite.h"
#include "sprites/PlatformSprite.h"
#include "tests/support/TestWorld.h"

#include <gtest/gtest.h>
#include <typeinfo>

using namespace varnok;
using namespace varnok::test;

namespace {

// Cells of 32 x 32; images of four 20 x 24 patterns, so that in column c of
// row 2 left, centred and right give X = 32c, 32c + 6, 32c + 12 and top,
// middle and bottom Y = 64, 68, 72.
struct PopulationTest : ::testing::Test {
    TestWorld w{40, 8};

    void SetUp() override {
        for (const char* name :
             {"Info", "Switch", "Plat", "30", "31", "32", "35", "36",           "40", "8081",
              "8283", "8485",   "8A8B", "B0", "B3", "C0", "C1", "C2",           "D0", "D1",
              "D3",   "D5",     "D6",   "D8", "D9", "E0", "E2", "AutomoveStart"})
            w.AddImage(name, 20, 24, 4);
    }
    // Puts the tags in row 2 from column 1 on and populates.
    void Populate(std::initializer_list<uint8_t> tags = {}) {
        int c = 1;
        for (uint8_t tag : tags)
            w.SetCell(c++, 2, tag);
        PopulateLevel(*w.world, w.engine, w.Map());
    }
    template <class T> T& Actor(int i) { return dynamic_cast<T&>(w.engine.Items(i)); }
    TLevelGeometry& Geometry() { return w.world->Geometry; }
};

struct Expected {
    uint8_t tag;
    const std::type_info& type;
    const char* image;
    int dx, y, z, start, count;
    int phaseOf; // AnimPos = c mod phaseOf, or 0
    int fps;
};

} // namespace

TEST_F(PopulationTest, EveryKindGetsItsImagePlacementDepthAndAnimation) {
    w.Settings("[Trigger10]\nImage=Switch\n[Platform9F]\nImage=Plat\n");
    const std::vector<Expected> table = {
        {0x05, typeid(TLevelSprite), "Info", 0, 72, 2, 0, 4, 0, 4},
        {0x10, typeid(TTriggerSprite), "Switch", 0, 72, 3, 0, 2, 0, 4},
        {0x30, typeid(TBlockSprite), "30", 0, 71, 3, 0, 4, 4, 3},
        {0x31, typeid(TGrateSprite), "31", 6, 94, 3, 0, 4, 4, 3},
        {0x32, typeid(TKeycardSprite), "32", 6, 71, 3, 0, 4, 4, 3},
        {0x35, typeid(TLaserLockSprite), "35", 6, 72, 3, 0, 4, 4, 3},
        {0x40, typeid(TPlatformTrigger), "40", 0, 72, 1, 0, 4, 0, 3},
        {0x80, typeid(TEnemySprite03), "8081", 0, 72, 3, 0, 2, 2, 4},
        {0x81, typeid(TEnemySprite03), "8081", 0, 72, 3, 2, 2, 2, 4},
        {0x8A, typeid(TEnemySprite03), "8A8B", 0, 72, 3, 0, 2, 2, 4},
        {0x82, typeid(TEnemySprite02), "8283", 0, 72, 3, 0, 4, 4, 4},
        {0x85, typeid(TEnemySprite01), "8485", 0, 72, 3, 0, 4, 0, 4},
        {0x9F, typeid(TPlatformSprite), "Plat", 0, 72, 1, 0, 4, 0, 1},
        {0xB0, typeid(TObjectSprite), "B0", 6, 72, 2, 0, 4, 0, 4},
        {0xC1, typeid(TPointSprite), "C1", 6, 72, 2, 0, 4, 4, 4},
        {0xD0, typeid(TLiveSprite), "D0", 6, 68, 2, 0, 4, 0, 12},
        {0xD1, typeid(TLiveSprite), "D1", 6, 64, 2, 0, 4, 0, 1},
        {0xD6, typeid(TLiveSprite), "D6", 6, 72, 2, 0, 4, 0, 1},
        {0xD3, typeid(TLiveSprite), "D3", 0, 68, 2, 0, 4, 0, 1},
        {0xD8, typeid(TLiveSprite), "D8", 12, 68, 2, 0, 4, 0, 1},
        {0xD9, typeid(TLiveSprite), "D9", 6, 88, 2, 0, 4, 0, 1},
        {0xE2, typeid(TLiveSprite), "E2", 6, 68, 2, 0, 4, 0, 2},
        {0xFC, typeid(TAutoMoveSprite), "AutomoveStart", 0, 64, 2, 0, 4, 0, 10},
    };
    for (size_t i = 0; i < table.size(); ++i)
        w.SetCell(static_cast<int>(i) + 1, 2, table[i].tag);
    Populate();

    ASSERT_EQ(w.engine.Count(), static_cast<int>(table.size()));
    for (size_t i = 0; i < table.size(); ++i) {
        const Expected& e = table[i];
        const int c = static_cast<int>(i) + 1;
        SCOPED_TRACE(Format("tag %.2X", e.tag));
        auto& s = Actor<TImageSprite>(static_cast<int>(i));
        EXPECT_EQ(typeid(s), e.type);
        EXPECT_EQ(Format("%s %dx%d at %g,%g z%d frames %d+%d from %g at %g/ms loop %d",
                         s.Image->Name().c_str(), s.Width, s.Height, s.X, s.Y, s.Z(), s.AnimStart,
                         s.AnimCount, s.AnimPos, s.AnimSpeed, s.AnimLoop),
                  Format("%s 20x24 at %d,%d z%d frames %d+%d from %d at %g/ms loop 1", e.image, 32 * c + e.dx,
                         e.y, e.z, e.start, e.count, e.phaseOf ? c % e.phaseOf : 0, e.fps / 1000.0));
    }
}

TEST_F(PopulationTest, KindSettingsComeFromSectionsNamedByTheTagOrFallBack) {
    w.game.CurrentLevel = 2;
    w.Settings(
        "[Level2]\n12=Mind the gap\n"
        "[Trigger1A]\nImage=Switch\nTriggerValue=1\nTileOn=11\nBoundsOff=6\nZ=9\n"
        "[Blocks]\nHitCount=4\n[Grate]\nZ=-6\n"
        "[PlatformTrigger4C]\nDX=30\nDY=-20\n[Enemy8B]\nDX=60\nHitCount=5\n[Enemy84]\nDX=0x10\n"
        "[Platform9C]\nImage=Plat\nDX=25\nDistanceX=3\nDistanceY=4\n"
        "[ObjectsB3]\nJumpTiles=3\n[Objects]\nAnimSpeed=13\n[PointsC2]\nValue=5\n[BadiesD5]\nDamage=-40\n");
    Populate({0x0C, 0x1A, 0x30, 0x31, 0x32, 0x4C, 0x8B, 0x84, 0x9C, 0xB3, 0xC2, 0xD5, 0xE0, 0xFA, 0x0D});

    EXPECT_EQ(Actor<TLevelSprite>(0).Text, "Mind the gap");
    EXPECT_TRUE(Actor<TLevelSprite>(0).IsInfo);
    EXPECT_EQ(Actor<TLevelSprite>(14).Text, "No info specified");
    auto& sw = Actor<TTriggerSprite>(1);
    EXPECT_EQ(
        std::vector<int>({sw.TargetTag, sw.State, sw.TileOn, sw.TileOff, sw.BoundsOn, sw.BoundsOff, sw.Z()}),
        std::vector<int>({0x2A, 1, 11, 0, 15, 6, 9}));
    // Switched on: the second half of the frames, from its first frame.
    EXPECT_EQ(sw.DrawImageIndex(), 2);
    auto& block = Actor<TBlockSprite>(2);
    EXPECT_EQ(std::vector<int>({block.HitCount, block.Col, block.Row}), std::vector<int>({4, 3, 2}));
    auto& grate = Actor<TGrateSprite>(3);
    EXPECT_EQ(std::vector<int>({grate.HitCount, grate.Col, grate.Row, grate.Z()}),
              std::vector<int>({1, 4, 3, -6}));
    EXPECT_EQ(Actor<TKeycardSprite>(4).LockTag, 0x35);
    auto& trigger = Actor<TPlatformTrigger>(5);
    EXPECT_EQ(std::vector<int>({trigger.DX, trigger.DY, trigger.Group}), std::vector<int>({30, -20, 0x0C}));
    auto& walker2 = Actor<TEnemySprite03>(6);
    EXPECT_EQ(std::vector<int>({walker2.DX, walker2.DY, walker2.HitCount, walker2.Damage}),
              std::vector<int>({60, 0, 5, 50}));
    auto& walker = Actor<TEnemySprite01>(7);
    EXPECT_EQ(std::vector<int>({walker.DX, walker.DY, walker.HitCount, walker.Damage}),
              std::vector<int>({16, 0, 3, 100}));
    auto& platform = Actor<TPlatformSprite>(8);
    EXPECT_EQ(
        std::vector<int>({platform.DX, platform.DY, platform.DistanceX, platform.DistanceY, platform.Group}),
        std::vector<int>({25, 0, 96, 128, 0x0C}));
    EXPECT_EQ(platform.Range, (platform::Rect{9 * 32 - 48, 72 - 64, 9 * 32 + 48, 72 + 64}));
    EXPECT_EQ(Actor<TObjectSprite>(9).JumpTiles, 3);
    EXPECT_DOUBLE_EQ(Actor<TObjectSprite>(9).AnimSpeed, 0.013);
    EXPECT_EQ(Actor<TPointSprite>(10).Value, 5);
    auto& bad = Actor<TLiveSprite>(11);
    EXPECT_EQ(bad.Value, -40);
    EXPECT_FALSE(bad.IsGoodie);
    EXPECT_EQ(bad.Y, 64); // 0xD5 sits at the top like 0xD1
    EXPECT_TRUE(Actor<TLiveSprite>(12).IsGoodie);
    EXPECT_EQ(Actor<TLiveSprite>(12).Value, 100);
    EXPECT_EQ(Actor<TAutoMoveSprite>(13).Direction, 0xFA);
    EXPECT_EQ(Geometry().LevelPointsTotal, 5 - 40 + 100); // life items count, bad ones lower it
    EXPECT_EQ(Geometry().LevelEnemyTotal, 2);
}

TEST_F(PopulationTest, EdgeCasesOfTheTagTable) {
    w.Settings("[Trigger13]\nImage=Switch\n");
    w.SetCell(30, 1, 0xF0);
    w.SetCell(2, 5, 0xF0); // the later start wins
    w.SetCell(10, 6, 0xF1);
    Populate({0x13, 0x81, 0x83, 0x82});
    EXPECT_EQ(Actor<TTriggerSprite>(0).TargetTag, 0x23);
    // The odd walker starts on the second half of "8081" and still walks right.
    EXPECT_EQ(Actor<TEnemySprite03>(1).AnimStart, 2);
    EXPECT_EQ(Actor<TEnemySprite03>(1).DX, 48);
    // 0x83 floats left and up, 0x82 right and down, both within +-80, +-10 of their start.
    auto& up = Actor<TEnemySprite02>(2);
    EXPECT_EQ(std::vector<int>({up.DX, up.DY}), std::vector<int>({-48, -8}));
    EXPECT_EQ(up.Range, (platform::Rect{96 - 80, 62, 96 + 80, 82}));
    EXPECT_EQ(std::vector<int>({Actor<TEnemySprite02>(3).DX, Actor<TEnemySprite02>(3).DY}),
              std::vector<int>({48, 8}));
    EXPECT_EQ(std::vector<int>({Geometry().PlayerStartCol, Geometry().PlayerStartRow, Geometry().ExitCol,
                                Geometry().ExitRow, Geometry().LevelEnemyTotal}),
              std::vector<int>({2, 5, 10, 6, 3}));
}

TEST_F(PopulationTest, ListsHoldTheActorsInScanOrderAndUnlistedTagsMakeNothing) {
    w.SetCell(5, 1, 0xC0);
    w.SetCell(2, 3, 0xC2);
    w.SetCell(1, 1, 0xC1);
    w.SetCell(3, 4, 0xC4); // counted as a point, creates nothing
    Populate(
        {0x00, 0x20, 0x2F, 0x38, 0x50, 0x86, 0x87, 0xA0, 0xB6, 0xCF, 0xDA, 0xE3, 0xF5, 0xF9, 0xFE, 0xFF});
    ASSERT_EQ(w.engine.Count(), 3);
    const auto& points = w.world->Lists.PointSprites;
    ASSERT_EQ(points.size(), 5u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(points[static_cast<size_t>(i)]->Image->Name(),
                  std::vector<std::string>({"C1", "C0", "C2"})[i]);
        EXPECT_EQ(points[static_cast<size_t>(i)]->Index, i);
    }
    EXPECT_FALSE(points[3]);
    EXPECT_EQ(Geometry().LevelEnemyTotal, 0);
    // The lists never dangle: a freed actor reads as empty.
    points[1]->MarkDead();
    w.engine.RemoveDead();
    EXPECT_FALSE(points[1]);
}

TEST_F(PopulationTest, MapChangesForBlocksGratesLaserLocksAndSlopeJoins) {
    w.SetCell(2, 2, 0x30, 0x01);
    w.SetCell(4, 2, 0x31);
    w.SetCell(4, 3, 0x25, 0x01); // under a grate: solid, tag kept
    w.SetCell(6, 2, 0x36, 0x04);
    w.SetCell(8, 7, 0x31); // on the bottom row: nothing below to change
    // Slopes rising to the left at (5, 3) and (6, 4) mark (5, 4) and clear its tag.
    w.SetCell(5, 3, 0, 0x81);
    w.SetCell(6, 4, 0, 0x81);
    w.SetCell(5, 4, 0xC0, 0x04);
    // Rising to the right at (20, 2) and (19, 3): (20, 3) is marked; mixed directions are not.
    w.SetCell(20, 2, 0, 0x80);
    w.SetCell(19, 3, 0, 0x80);
    w.SetCell(10, 2, 0, 0x81);
    w.SetCell(11, 3, 0, 0x80);
    Populate();
    const TMapItem& m = w.Map();
    EXPECT_EQ(std::vector<int>(
                  {m.BoundAt(2, 2), m.BoundAt(4, 2), m.BoundAt(4, 3), m.BoundAt(6, 2), m.BoundAt(8, 7)}),
              std::vector<int>({0x000F, 0x3100, 0x250F, 0x360F, 0x3100}));
    EXPECT_EQ(std::vector<int>({m.BoundAt(5, 4), m.BoundAt(20, 3), m.BoundAt(10, 3)}),
              std::vector<int>({0x14, 0x10, 0}));
    EXPECT_EQ(w.engine.Count(), 4); // no coin at (5, 4)

    // The outermost rows and columns are never inspected.
    TestWorld small(6, 5);
    small.SetCell(2, 0, 0, 0x81); // top row
    small.SetCell(3, 1, 0, 0x81);
    small.SetCell(0, 2, 0, 0x81); // left column
    small.SetCell(1, 3, 0, 0x81);
    small.SetCell(5, 1, 0, 0x80); // right column
    small.SetCell(4, 2, 0, 0x80);
    MarkSlopeJoins(small.Map());
    EXPECT_EQ(
        std::vector<int>({small.Map().BoundAt(2, 1), small.Map().BoundAt(0, 3), small.Map().BoundAt(5, 2)}),
        std::vector<int>({0, 0, 0}));
}

TEST_F(PopulationTest, AMissingImageStopsThePopulationAtThatCell) {
    w.SetCell(1, 1, 0xC0);
    w.SetCell(2, 1, 0x33); // no image "33"
    w.SetCell(3, 1, 0xC0);
    w.SetCell(4, 2, 0x35);
    try {
        Populate();
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Image '33' not found");
    }
    ASSERT_EQ(w.engine.Count(), 1); // the coin before it stays
    EXPECT_EQ(w.Map().BoundAt(4, 2), 0x3500);

    w.engine.Clear();
    w.SetCell(2, 1, 0x13); // a switch without an Image key names no image
    EXPECT_THROW(Populate(), EPictureCollectionError);
}

TEST_F(PopulationTest, AnImageWithoutPatternsGivesPhaseZeroInsteadOfDividingByZero) {
    w.images.Items.Add().SetName("34");
    w.images.Items.Add().SetName("D2");
    Populate({0x34, 0xD2});
    EXPECT_EQ(Actor<TKeycardSprite>(0).AnimPos, 0);
    EXPECT_EQ(Actor<TKeycardSprite>(0).AnimCount, 0);
    EXPECT_FALSE(Actor<TLiveSprite>(1).AnimLoop); // life items loop only with frames
}
