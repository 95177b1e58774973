// The background picture left out under opaque tiles: the uncovered parts of
// a rectangle, and frames drawn with the background cut to what the tile
// layers leave showing, which must equal frames drawn with it whole.
#include "level/ImageList.h"
#include "level/TSClasses.h"
#include "level/TSLayer.h"
#include "platform/Clock.h"
#include "platform/Surface.h"
#include "sprites/CoverSet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

using namespace varnok;
using platform::Rect;

namespace {

std::vector<uint8_t> Mask(const Rect& area, const std::vector<Rect>& rects, int w, int h) {
    std::vector<uint8_t> m(static_cast<size_t>(w) * h, 0);
    for (const Rect& r : rects)
        for (int y = std::max(r.Top, area.Top); y < std::min(r.Bottom, area.Bottom); ++y)
            for (int x = std::max(r.Left, area.Left); x < std::min(r.Right, area.Right); ++x)
                ++m[static_cast<size_t>(y) * w + x];
    return m;
}

} // namespace

TEST(Uncovered, LeavesExactlyWhatNoCoverTouchesWithoutOverlaps) {
    constexpr int kW = 70, kH = 50;
    std::mt19937 random(7);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    for (int round = 0; round < 300; ++round) {
        const Rect area{pick(0, 10), pick(0, 10), pick(30, kW), pick(20, kH)};
        std::vector<Rect> cover;
        const int n = pick(0, 12);
        for (int i = 0; i < n; ++i) {
            // Partly outside the area, empty, repeated and touching ones too.
            const int x = pick(-10, kW), y = pick(-10, kH);
            cover.push_back({x, y, x + pick(-2, 30), y + pick(-2, 20)});
            if (pick(0, 4) == 0) cover.push_back(cover.back());
        }
        const std::vector<Rect> left = platform::Uncovered(area, cover);
        const std::vector<uint8_t> covered = Mask(area, cover, kW, kH);
        const std::vector<uint8_t> shown = Mask(area, left, kW, kH);
        int wrong = 0;
        for (int y = area.Top; y < area.Bottom; ++y)
            for (int x = area.Left; x < area.Right; ++x) {
                const size_t i = static_cast<size_t>(y) * kW + x;
                if (shown[i] != (covered[i] ? 0 : 1)) ++wrong; // once where uncovered, never twice
            }
        for (const Rect& r : left) {
            EXPECT_FALSE(r.IsEmpty());
            EXPECT_TRUE(r.Left >= area.Left && r.Top >= area.Top && r.Right <= area.Right &&
                        r.Bottom <= area.Bottom);
        }
        ASSERT_EQ(wrong, 0) << "round " << round;
    }
    // Nothing covered: the area itself; all covered: nothing.
    EXPECT_EQ(platform::Uncovered({0, 0, 10, 10}, {}), (std::vector<Rect>{{0, 0, 10, 10}}));
    EXPECT_TRUE(platform::Uncovered({0, 0, 10, 10}, {{-5, -5, 20, 20}}).empty());
    // A hole in the middle leaves a frame of four pieces: the rows above and
    // below it are one rectangle each, not one per band.
    EXPECT_EQ(platform::Uncovered({0, 0, 30, 30}, {{10, 10, 20, 20}, {10, 12, 20, 14}}).size(), 4u);
}

TEST(CoverSet, HoldsExactlyTheRectanglesInsideTheUnion) {
    constexpr int kW = 60, kH = 44;
    std::mt19937 random(3);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    TCoverSet set; // reused, as the engine does
    int inside = 0;
    for (int round = 0; round < 200; ++round) {
        std::vector<Rect> rects;
        const int n = pick(0, 10);
        for (int i = 0; i < n; ++i) {
            // Rows of tiles as layers give them, with gaps, and odd ones.
            const int x = pick(-8, kW), y = pick(-8, kH);
            rects.push_back({x, y, x + pick(-1, 40), y + pick(-1, 16)});
        }
        set.Assign(rects);
        if (round % 3 == 0) set.Assign(rects); // the same again, as a still screen gives
        const std::vector<uint8_t> mask = Mask({0, 0, kW, kH}, rects, kW, kH);
        for (int q = 0; q < 60; ++q) {
            const int x = pick(0, kW - 1), y = pick(0, kH - 1);
            const Rect r{x, y, pick(x + 1, kW), pick(y + 1, kH)};
            bool all = true;
            for (int py = r.Top; py < r.Bottom && all; ++py)
                for (int px = r.Left; px < r.Right && all; ++px)
                    all = mask[static_cast<size_t>(py) * kW + px] != 0;
            ASSERT_EQ(set.Contains(r), all) << "round " << round << ", query " << r.Left << "," << r.Top
                                            << " " << r.Right << "," << r.Bottom;
            inside += all;
        }
        EXPECT_EQ(set.Empty(),
                  std::all_of(rects.begin(), rects.end(), [](const Rect& r) { return r.IsEmpty(); }));
    }
    EXPECT_GT(inside, 100); // the queries did find covered rectangles
}

namespace {

constexpr int kCell = 8;
constexpr uint32_t kGarbage = 0x1234;

// Tiles of 8 x 8: 0 and 2 opaque, 1 with key-coloured (black) holes, 3 opaque.
struct BackdropTest : ::testing::Test {
    platform::SimulatedClock clock{1000};
    platform::ScopedClock scope{clock};
    TFixedDisplay display{16};
    TPictureCollection list;
    TTileSetItem tileSet;
    TScrollDelta delta;
    bool noTiles = false;
    TLayerContext context{&tileSet, &delta, &noTiles};
    platform::Surface screen{61, 43, 16};
    TSpriteEngine engine;
    TPictureCollectionItem* tiles = nullptr;
    TPictureCollectionItem* background = nullptr;

    void SetUp() override {
        RgbaImage picture(kCell * 4, kCell);
        for (int y = 0; y < kCell; ++y)
            for (int x = 0; x < kCell * 4; ++x) {
                uint8_t* p = picture.At(x, y);
                const int tile = x / kCell;
                const bool hole = tile == 1 && (x + y) % 3 == 0;
                p[0] = hole ? 0 : static_cast<uint8_t>(60 * tile + 20);
                p[1] = hole ? 0 : static_cast<uint8_t>(x * 7);
                p[2] = hole ? 0 : static_cast<uint8_t>(y * 9 + 5);
                p[3] = 255;
            }
        tiles = &list.Add();
        tiles->Picture.Assign(picture);
        tiles->PatternWidth = kCell;
        tiles->PatternHeight = kCell;
        tiles->Transparent = true;
        RgbaImage sky(50, 40);
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 50; ++x) {
                uint8_t* p = sky.At(x, y);
                p[0] = static_cast<uint8_t>(x * 5);
                p[1] = static_cast<uint8_t>(y * 6);
                p[2] = 200;
                p[3] = 255;
            }
        background = &list.Add();
        background->Picture.Assign(sky);
        background->Transparent = false;
        list.SetDisplay(&display);
        list.Initialize();
        engine.SetSurface(&screen);
        TSequenceItem& s = tileSet.Sequences.Add();
        s.Length = 2;
        s.Speed = 10;
        s.SetFrame(0, 1); // tile 0, then tile 1 (with holes)
        s.SetFrame(1, 2);
        tileSet.SequenceCount = 1;
    }

    TScrollingLayer& MakeLayer(int w, int h, const std::vector<int>& cells) {
        TScrollingLayer& layer = TSprite::Create<TScrollingLayer>(engine, context);
        layer.Image = tiles;
        layer.ScrollX = 1;
        layer.ScrollY = 1;
        layer.SetMapSize(w, h);
        for (int i = 0; i < w * h; ++i)
            layer.SetCell(i % w, i / w, cells[static_cast<size_t>(i) % cells.size()]);
        return layer;
    }

    // A frame drawn at the clock's time; cut: with the background left out
    // where the cover says and the tiles left out that tiles drawn later
    // paint over, both found `before` ms earlier (the clock may tick between).
    std::vector<uint32_t> Frame(bool cut, uint32_t before = 0) {
        screen.Fill(kGarbage); // the last frame's pixels must never show
        engine.LeaveOutHidden = cut;
        if (cut) {
            const uint32_t now = clock.Now();
            clock.Set(now - before);
            engine.Draw([&](const std::vector<Rect>& cover) {
                clock.Set(now);
                for (const Rect& r : platform::Uncovered(screen.ClientRect(), cover))
                    background->DrawPart(screen, 0, 0, 0, r);
            });
        } else {
            background->Draw(screen, 0, 0, 0);
            engine.Draw();
        }
        std::vector<uint32_t> pixels;
        for (int y = 0; y < screen.Height(); ++y)
            for (int x = 0; x < screen.Width(); ++x)
                pixels.push_back(screen.GetPixel(x, y));
        return pixels;
    }

    // What the engine tells its underlay the sprites will paint over whole.
    std::vector<Rect> Cover() {
        std::vector<Rect> cover;
        engine.Draw([&](const std::vector<Rect>& c) { cover = c; });
        return cover;
    }
};

} // namespace

TEST_F(BackdropTest, FramesWithTheBackgroundCutEqualFramesWithItWhole) {
    // Opaque, holed, empty and animated cells (-2: sequence 1) on three
    // layers, the front one tiled, at many positions on and off the screen:
    // the background and the tiles behind are cut where the tiles after
    // them are opaque.
    TScrollingLayer& back = MakeLayer(5, 4, {0, 1, -1, 2, 3, 0, -2, 0, 3});
    TScrollingLayer& middle = MakeLayer(4, 3, {3, -1, 0, 1, -2});
    middle.SetZ(2);
    TScrollingLayer& front = MakeLayer(3, 2, {-1, 2, 1, 0, -1, 3});
    front.Tile = true;
    front.SetZ(5);
    int covered = 0;
    for (int step = 0; step < 40; ++step) {
        back.X = step * 3 - 40;
        back.Y = step * 2 - 25;
        front.X = -step * 5 + 7;
        front.Y = step - 9;
        middle.X = 11 - step * 2;
        middle.Y = step % 9 * 3;
        front.Visible = step % 7 != 3;
        back.Hidden = step % 5 == 2;
        clock.Advance(37); // the animated cells change frames on the way
        covered += !Cover().empty();
        ASSERT_EQ(Frame(true, step % 3 * 60), Frame(false)) << "step " << step;
    }
    EXPECT_GT(covered, 30); // the test did leave parts of the background out
}

TEST_F(BackdropTest, OnlyTilesThatWillBeDrawnWholeCover) {
    TScrollingLayer& layer = MakeLayer(2, 1, {0, 3});
    EXPECT_EQ(Cover(), (std::vector<Rect>{{0, 0, 16, 8}})); // neighbours share one rectangle
    layer.X = -4;
    layer.Y = 38;
    EXPECT_EQ(Cover(), (std::vector<Rect>{{0, 38, 12, 43}})); // cut to the screen
    layer.Hidden = true;
    EXPECT_TRUE(Cover().empty());
    layer.Hidden = false;
    noTiles = true;
    EXPECT_TRUE(Cover().empty());
    noTiles = false;
    engine.Visible = false; // a parent that is not drawn hides its children
    EXPECT_TRUE(Cover().empty());
    engine.Visible = true;
    // Holes, and animations even of opaque frames, never cover.
    TScrollingLayer& other = MakeLayer(2, 1, {1, -2});
    other.Y = 20;
    EXPECT_EQ(Cover().size(), 1u);
    tiles->Transparent = false; // drawn as a plain copy, holes and all
    EXPECT_EQ(Cover().size(), 2u);
}

TEST_F(BackdropTest, APictureWhoseTilesAllHaveHolesCoversNothing) {
    // Only the holed tile (1) of the picture, cut out as a picture of its own.
    RgbaImage holed(kCell, kCell);
    const RgbaImage all = tiles->Picture.Image();
    for (int y = 0; y < kCell; ++y)
        for (int x = 0; x < kCell; ++x)
            std::copy_n(all.At(kCell + x, y), 4, holed.At(x, y));
    TPictureCollectionItem& rain = list.Add();
    rain.Picture.Assign(holed);
    rain.Transparent = true;
    rain.Initialize();
    rain.Restore();
    EXPECT_TRUE(tiles->MayCover(screen));
    EXPECT_FALSE(rain.MayCover(screen));
    TScrollingLayer& layer = MakeLayer(3, 3, {0});
    layer.Image = &rain;
    EXPECT_TRUE(Cover().empty());
    rain.Transparent = false; // a plain copy covers after all
    EXPECT_TRUE(rain.MayCover(screen));
    EXPECT_EQ(Cover().size(), 3u); // one rectangle per row of cells
}
