// Whole-frame drawing costs: a synthetic worst case (backdrop, seven scrolled
// layers of keyed tiles, 300 sprites, 60 blended glyphs), measured in the same
// run as the plain full-screen copy that serves as the unit.
#include "level/ImageList.h"
#include "level/TSClasses.h"
#include "level/TSLayer.h"
#include "media/DXFontEx.h"
#include "platform/Surface.h"
#include "sprites/ImageSprite.h"

#include <benchmark/benchmark.h>

using namespace varnok;

namespace {

// A picture of 32-pixel-wide cells; keyed cells hold a rounded shape on the
// key colour, as tiles, figures and glyphs do.
RgbaImage Picture(int w, int h, int seed, bool keyed) {
    RgbaImage img(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = img.At(x, y);
            const int dx = x % 32 - 16, dy = y - h / 2;
            const bool hole = keyed && dx * dx + dy * dy * 1024 / (h * h) > 15 * 15 + (seed % 3) * 20;
            p[0] = hole ? 255 : static_cast<uint8_t>(x * 3 + seed * 40);
            p[1] = hole ? 0 : static_cast<uint8_t>(y * 2 + seed * 10);
            p[2] = hole ? 255 : static_cast<uint8_t>(x + y + seed);
            p[3] = 255;
        }
    return img;
}

struct WorstCase {
    TFixedDisplay display{16};
    TDXImageList images;
    platform::Surface screen{640, 480, 16};
    TSpriteEngine engine;
    TTileSetItem tileSet;
    TScrollDelta delta;
    bool noTiles = false;
    TDXFontEx font;

    TPictureCollectionItem& Add(const char* name, const RgbaImage& picture, int pw, int ph, bool transparent) {
        TPictureCollectionItem& item = images.Items.Add();
        item.SetName(name);
        item.Picture.Assign(picture);
        item.PatternWidth = pw;
        item.PatternHeight = ph;
        item.Transparent = transparent;
        item.SetTransparentColor(RGB(255, 0, 255));
        return item;
    }

    // fill: 1 puts a tile in every cell of every layer, 3 in every third cell.
    explicit WorstCase(int fill = 1) {
        Add("Background", Picture(640, 480, 1, false), 0, 0, false);
        TPictureCollectionItem& tiles = Add("Tiles", Picture(32 * 8, 32, 2, true), 32, 32, true);
        TPictureCollectionItem& figure = Add("Figure", Picture(32 * 8, 48, 3, true), 32, 48, true);
        Add("Font", Picture(32 * 68, 32, 4, true), 32, 32, true);
        images.SetDXDraw(&display);
        images.DisplayInitialized();
        engine.SetSurface(&screen);
        const TLayerContext context{&tileSet, &delta, &noTiles};
        for (int i = 0; i < 7; ++i) {
            TScrollingLayer& layer = TSprite::Create<TScrollingLayer>(engine, context);
            layer.Image = &tiles;
            layer.ScrollX = 2;
            layer.ScrollY = 2;
            layer.Tile = true;
            layer.X = -7 * i - 5;
            layer.Y = -3 * i - 11;
            layer.SetZ(-100 * i);
            layer.SetMapSize(24, 18);
            for (int y = 0; y < 18; ++y)
                for (int x = 0; x < 24; ++x) layer.SetCell(x, y, (x + y * 5 + i) % fill == 0 ? (x + y + i) % 8 : -1);
        }
        for (int i = 0; i < 300; ++i) {
            TImageSprite& s = TSprite::Create<TImageSprite>(engine);
            s.Image = &figure;
            s.Width = 32;
            s.Height = 48;
            s.X = (i * 37) % 608;
            s.Y = (i * 53) % 432;
            s.AnimStart = i % 8;
            s.SetZ(i);
        }
        font.SetDXImageList(&images);
        font.SetFont("Font");
    }

    void Frame() {
        images.Items.Find("Background").Draw(screen, 0, 0, 0);
        engine.Move(16);
        engine.Draw();
        // 60 blended glyphs: three lines of twenty.
        for (int line = 0; line < 3; ++line)
            font.DrawTextAlpha(screen, 0, 127 + line * 40, "ABCDEFGHIJKLMNOPQRST", 100 + line * 40);
    }
};

void BM_WorstCaseFrame(benchmark::State& state) {
    static WorstCase scene(1);
    for (auto _ : state) {
        scene.Frame();
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_WorstCaseFrame);

// The same with each layer a third filled, as the shipped levels' layers are.
void BM_ThirdFilledLayersFrame(benchmark::State& state) {
    static WorstCase scene(3);
    for (auto _ : state) {
        scene.Frame();
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ThirdFilledLayersFrame);

void BM_WorstCaseGlyphsOnly(benchmark::State& state) {
    static WorstCase scene;
    for (auto _ : state) {
        for (int line = 0; line < 3; ++line)
            scene.font.DrawTextAlpha(scene.screen, 0, 127 + line * 40, "ABCDEFGHIJKLMNOPQRST", 100 + line * 40);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_WorstCaseGlyphsOnly);

void BM_WorstCaseEngineOnly(benchmark::State& state) {
    static WorstCase scene;
    for (auto _ : state) {
        scene.engine.Draw();
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_WorstCaseEngineOnly);

} // namespace

namespace {
void BM_ThirdFilledEngineOnly(benchmark::State& state) {
    static WorstCase scene(3);
    for (auto _ : state) {
        scene.engine.Draw();
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ThirdFilledEngineOnly);
void BM_BackgroundOnly(benchmark::State& state) {
    static WorstCase scene(3);
    for (auto _ : state) {
        scene.images.Items.Find("Background").Draw(scene.screen, 0, 0, 0);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_BackgroundOnly);
} // namespace
