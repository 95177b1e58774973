// Tile layers: parallax, drift, fixed layers, animated tiles and the layer build.
#include "level/ImageList.h"
#include "level/TSClasses.h"
#include "level/TSINI.h"
#include "level/TSLayer.h"
#include "platform/Clock.h"

#include <gtest/gtest.h>

using namespace varnok;

namespace {

struct LayerTest : ::testing::Test {
    platform::SimulatedClock clock{1000};
    platform::ScopedClock scope{clock};
    TTileSetItem tileSet;
    TScrollDelta delta;
    bool noTiles = false;
    TLayerContext context{&tileSet, &delta, &noTiles};
    TSpriteEngine engine;

    TScrollingLayer& MakeLayer(int scrollX, int scrollY) {
        TScrollingLayer& layer = TSprite::Create<TScrollingLayer>(engine, context);
        layer.ScrollX = scrollX;
        layer.ScrollY = scrollY;
        return layer;
    }
    TSequenceItem& AddSequence(int length, int speed, std::initializer_list<int16_t> tiles) {
        TSequenceItem& s = tileSet.Sequences.Add();
        s.Length = static_cast<int16_t>(length);
        s.Speed = speed;
        uint16_t i = 0;
        for (int16_t t : tiles) s.SetFrame(i++, t);
        tileSet.SequenceCount = static_cast<int16_t>(tileSet.Sequences.Count());
        return s;
    }
};

} // namespace

TEST_F(LayerTest, ParallaxMovesAFractionOfTheCamera) {
    TScrollingLayer& half = MakeLayer(2, 4);
    TScrollingLayer& with = MakeLayer(1, 0);
    delta = {10, 8};
    engine.Move(1);
    EXPECT_DOUBLE_EQ(half.X, 5);  // 10 - 10 / 2: on screen it moves 5 while the playfield moves 10
    EXPECT_DOUBLE_EQ(half.Y, 6);  // 8 - 8 / 4
    EXPECT_DOUBLE_EQ(with.X, 0);  // factors 0 and 1 leave the axis alone
    EXPECT_DOUBLE_EQ(with.Y, 0);
    delta = {-10, 0};
    engine.Move(1);
    EXPECT_DOUBLE_EQ(half.X, 0);
}

TEST_F(LayerTest, NegativeFactorsDrift) {
    TScrollingLayer& rain = MakeLayer(-20, -30);
    engine.Move(500);
    EXPECT_DOUBLE_EQ(rain.X, -10); // leftward at 20 px/s
    EXPECT_DOUBLE_EQ(rain.Y, 15);  // downward at 30 px/s
    delta = {10, 10};              // drift ignores the camera step itself
    engine.Move(1000);
    EXPECT_DOUBLE_EQ(rain.X, -30);
    EXPECT_DOUBLE_EQ(rain.Y, 45);
}

TEST_F(LayerTest, AnimatedTilesCycleOnTheClock) {
    TScrollingLayer& layer = MakeLayer(1, 1);
    AddSequence(1, 10, {5});
    AddSequence(4, 8, {11, 12, 13, 14}); // four frames every 500 ms
    EXPECT_EQ(layer.AnimatedTile(-3), -1); // no sequence 3
    std::vector<int> seen;
    for (int t = 0; t < 1000; t += 125) {
        seen.push_back(layer.AnimatedTile(-2));
        clock.Advance(125);
    }
    EXPECT_EQ(seen, (std::vector<int>{10, 11, 12, 13, 10, 11, 12, 13}));
    // Layers made at the same moment run in step.
    TScrollingLayer& other = MakeLayer(1, 1);
    other.StartTick = layer.StartTick;
    EXPECT_EQ(other.AnimatedTile(2), layer.AnimatedTile(-2));
}

TEST_F(LayerTest, SequencesWithoutSpeedOrFramesDoNotDivideByZero) {
    TScrollingLayer& layer = MakeLayer(1, 1);
    TSequenceItem& s = AddSequence(2, 10, {7, 8});
    s.Speed = 0;
    EXPECT_EQ(layer.AnimatedTile(1), 6);
    s.Speed = -5;
    EXPECT_EQ(layer.AnimatedTile(1), 6);
    s.Speed = 10;
    s.Length = 0;
    EXPECT_EQ(layer.AnimatedTile(1), 6);
    s.Length = 1;
    s.Speed = 100000; // period rounds to 0 ms
    EXPECT_EQ(layer.AnimatedTile(1), 6);
}

TEST_F(LayerTest, BuildMakesOneLayerPerMapWithItsMenuPlace) {
    for (int number : {1, 3, 5}) {
        TMapItem& map = tileSet.Maps.Add();
        map.LayerNumber = number;
        map.Name = "Layer" + std::to_string(number);
        map.Z = LayerZ(number);
        map.ScrollX = static_cast<int16_t>(number == 5 ? 2 : 1);
        map.ScrollY = 1;
        map.Resize(3, 2);
        map.StoreTile(0, static_cast<int16_t>(number));
        map.StoreTile(1, -2);
    }
    tileSet.LayerCount = 3;
    TLayerSprites layers;
    std::vector<std::pair<int, int>> menu;
    BuildLayers(engine, tileSet, nullptr, context, layers, [&](int n, int i) { menu.emplace_back(n, i); });
    EXPECT_EQ(menu, (std::vector<std::pair<int, int>>{{1, 0}, {3, 1}, {5, 2}}));
    ASSERT_TRUE(layers[2]);
    EXPECT_FALSE(layers[3]);
    EXPECT_EQ(layers[2]->LayerName, "Layer5");
    EXPECT_EQ(layers[2]->Z(), -800);
    EXPECT_TRUE(layers[2]->Tile);   // deep layers repeat
    EXPECT_FALSE(layers[1]->Tile);  // the playfield does not
    EXPECT_EQ(layers[1]->GetCell(0, 0), 2); // tile code 3 is pattern 2
    EXPECT_EQ(layers[1]->GetCell(1, 0), -3); // sequences stay negative
    EXPECT_EQ(layers[1]->GetCell(2, 0), -1); // empty
    EXPECT_EQ(layers[0]->ScrollX, 1);

    // Playfield refresh after a switch changed its map.
    tileSet.Maps.Items(1).StoreTile(2, 9);
    RefreshPlayfieldLayer(tileSet, 1, layers);
    EXPECT_EQ(layers[1]->GetCell(2, 0), 8);

    engine.Clear();
    EXPECT_FALSE(layers[0]); // handles read empty once the engine is cleared
}

TEST_F(LayerTest, LayerCountsTheBuildCannotHonour) {
    TLayerSprites layers;
    tileSet.LayerCount = 0;
    BuildLayers(engine, tileSet, nullptr, context, layers, nullptr);
    EXPECT_EQ(engine.Count(), 0);
    tileSet.LayerCount = 8;
    EXPECT_THROW(BuildLayers(engine, tileSet, nullptr, context, layers, nullptr), ELevelDataError);
    tileSet.LayerCount = 2; // more layers than maps
    tileSet.Maps.Add();
    EXPECT_THROW(BuildLayers(engine, tileSet, nullptr, context, layers, nullptr), EListError);
}
