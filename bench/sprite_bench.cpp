// Drawing costs of the sprite engine against plain image drawing, measured in
// the same run so that their ratios can be compared.
#include "level/ImageList.h"
#include "platform/Surface.h"
#include "sprites/DXSpriteEngine.h"
#include "sprites/ImageSprite.h"

#include <benchmark/benchmark.h>

using namespace varnok;

namespace {

constexpr int kSprites = 300;

// An item of eight 32 x 48 patterns: a figure on the key colour.
struct Scene {
    TFixedDisplay display{16};
    TPictureCollection list;
    TPictureCollectionItem* item = nullptr;
    platform::Surface screen{640, 480, 16};
    platform::Surface backdrop{640, 480, 16};

    Scene() {
        RgbaImage picture(32 * 8, 48);
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 32 * 8; ++x) {
                uint8_t* p = picture.At(x, y);
                const int dx = x % 32 - 16, dy = y - 24;
                const bool inside = dx * dx * 9 + dy * dy * 4 < 16 * 16 * 9;
                p[0] = inside ? static_cast<uint8_t>(40 + x) : 255;
                p[1] = inside ? static_cast<uint8_t>(100 + y) : 0;
                p[2] = inside ? 60 : 255;
                p[3] = 255;
            }
        item = &list.Add();
        item->SetName("Figure");
        item->Picture.Assign(picture);
        item->PatternWidth = 32;
        item->PatternHeight = 48;
        item->SetTransparentColor(RGB(255, 0, 255));
        list.SetDisplay(&display);
        list.Initialize();
        backdrop.Fill(backdrop.ColorMatch(RGB(30, 60, 90)));
    }
    int XOf(int i) const { return (i * 37) % (640 - 32); }
    int YOf(int i) const { return (i * 53) % (480 - 48); }
};

Scene& TheScene() {
    static Scene scene;
    return scene;
}

// The reference unit: SDL's opaque blit of a whole 640 x 480 16-bit picture.
void BM_OpaqueFullScreenBlit(benchmark::State& state) {
    Scene& s = TheScene();
    for (auto _ : state) {
        s.screen.SdlBlitWhole(s.backdrop);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_OpaqueFullScreenBlit);

void BM_DirectKeyedPatternDraws(benchmark::State& state) {
    Scene& s = TheScene();
    for (auto _ : state) {
        for (int i = 0; i < kSprites; ++i) s.item->Draw(s.screen, s.XOf(i), s.YOf(i), i % 8);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_DirectKeyedPatternDraws);

void BM_EngineMoveAndDraw(benchmark::State& state) {
    Scene& s = TheScene();
    TSpriteEngine engine;
    engine.SetSurface(&s.screen);
    for (int i = 0; i < kSprites; ++i) {
        TImageSprite& sprite = TSprite::Create<TImageSprite>(engine);
        sprite.Image = s.item;
        sprite.Width = 32;
        sprite.Height = 48;
        sprite.X = s.XOf(i);
        sprite.Y = s.YOf(i);
        sprite.AnimStart = i % 8;
        sprite.SetZ(i); // the same drawing order as the direct draws
    }
    for (auto _ : state) {
        engine.Move(0);
        engine.Draw();
        benchmark::ClobberMemory();
    }
    state.counters["drawn"] = engine.DrawCount();
}
BENCHMARK(BM_EngineMoveAndDraw);

} // namespace
