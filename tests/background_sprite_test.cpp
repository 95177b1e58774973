// Grid drawing of background sprites, checked pixel by pixel against a
// straightforward model of where each cell must appear.
#include "level/ImageList.h"
#include "sprites/BackgroundSprite.h"

#include <gtest/gtest.h>

using namespace varnok;

namespace {

constexpr int kCell = 8;
const TColor kColors[4] = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(255, 255, 0)};

struct BackgroundTest : ::testing::Test {
    TFixedDisplay display{16};
    TPictureCollection list;
    platform::Surface screen{40, 30, 16};
    TSpriteEngine engine;
    TBackgroundSprite* layer = nullptr;
    // 3 x 2 grid; cell (1, 1) empty.
    const int cells[2][3] = {{0, 1, 2}, {3, -1, 1}};

    void SetUp() override {
        RgbaImage picture(kCell * 4, kCell);
        for (int y = 0; y < kCell; ++y)
            for (int x = 0; x < kCell * 4; ++x) {
                uint8_t* p = picture.At(x, y);
                const TColor c = kColors[x / kCell];
                p[0] = GetRValue(c);
                p[1] = GetGValue(c);
                p[2] = GetBValue(c);
                p[3] = 255;
            }
        TPictureCollectionItem& item = list.Add();
        item.Picture.Assign(picture);
        item.PatternWidth = kCell;
        item.PatternHeight = kCell;
        item.Transparent = false;
        list.SetDisplay(&display);
        list.Initialize();
        engine.SetSurface(&screen);
        layer = &TSprite::Create<TBackgroundSprite>(engine);
        layer->Image = &item;
        layer->SetMapSize(3, 2);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x) layer->SetCell(x, y, cells[y][x]);
    }

    // What the pixel (px, py) must show with the grid's top-left corner at
    // (wx, wy): a cell's colour, or the untouched background (black).
    TColor Expected(int px, int py, int wx, int wy, bool tiled) const {
        auto floorDiv = [](int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); };
        int col = floorDiv(px - wx, kCell), row = floorDiv(py - wy, kCell);
        if (tiled) {
            col = ((col % 3) + 3) % 3;
            row = ((row % 2) + 2) % 2;
        } else if (col < 0 || col >= 3 || row < 0 || row >= 2) {
            return clBlack;
        }
        const int v = cells[row][col];
        return v < 0 ? clBlack : kColors[v];
    }

    void Check(int wx, int wy, bool tiled) {
        layer->Tile = tiled;
        engine.X = wx;
        engine.Y = wy;
        screen.Fill(0);
        engine.Draw();
        int wrong = 0;
        for (int py = 0; py < screen.Height(); ++py)
            for (int px = 0; px < screen.Width(); ++px)
                if (screen.PixelToColor(screen.GetPixel(px, py)) != Expected(px, py, wx, wy, tiled)) ++wrong;
        EXPECT_EQ(wrong, 0) << "world " << wx << "," << wy << (tiled ? " tiled" : " untiled");
    }
};

} // namespace

TEST_F(BackgroundTest, UntiledGridAtPositiveAndNegativePositions) {
    for (auto [wx, wy] : {std::pair{0, 0}, {5, 3}, {-3, -2}, {-13, -9}, {30, 25}, {-20, 0}}) Check(wx, wy, false);
    // Entirely off screen: not even drawn.
    engine.X = -24;
    engine.Draw();
    EXPECT_EQ(engine.DrawCount(), 0);
}

TEST_F(BackgroundTest, TiledGridRepeatsEverywhere) {
    for (auto [wx, wy] : {std::pair{0, 0}, {5, 3}, {-3, -2}, {-13, -9}, {-100, 57}, {1000, -999}}) Check(wx, wy, true);
}

TEST_F(BackgroundTest, CellsOutsideTheGridAndResizing) {
    EXPECT_EQ(layer->GetCell(3, 0), -1);
    EXPECT_EQ(layer->GetCell(0, -1), -1);
    layer->SetCell(5, 5, 7); // ignored
    EXPECT_FALSE(layer->GetCollisionMapItem(-1, 0));
    EXPECT_TRUE(layer->GetCollisionMapItem(2, 1));
    layer->SetMapSize(3, 2); // same size: contents kept
    EXPECT_EQ(layer->GetCell(2, 0), 2);
    layer->SetMapSize(4, 0); // an empty side empties the grid
    EXPECT_EQ(layer->MapWidth(), 0);
    EXPECT_EQ(layer->MapHeight(), 0);
    layer->SetMapSize(2, 2);
    EXPECT_EQ(layer->GetCell(1, 1), 0);
    EXPECT_FALSE(layer->CanCollide);
}

TEST(WrapIndexTest, NonNegativeRemainders) {
    EXPECT_EQ(WrapIndex(7, 3), 1);
    EXPECT_EQ(WrapIndex(-1, 3), 2);
    EXPECT_EQ(WrapIndex(-3, 3), 0);
    EXPECT_EQ(WrapIndex(5, 0), 0);
}
