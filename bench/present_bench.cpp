// The software present path's row work: a 640 x 480 RGB565 frame brought into a
// 32-bit window picture at the usual whole factors, once with every piece
// changed (a frame of rain) and once with nothing changed (a still frame).
#include "platform/PixelRows.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

using namespace varnok::platform;

namespace {

constexpr int kW = 640, kH = 480;

struct Frames {
    std::vector<uint16_t> a, b, shadow;
    std::vector<uint32_t> outStore;
    uint32_t* out0 = nullptr;
    int scale;
    ptrdiff_t pitch;

    explicit Frames(int k) : a(kW * kH), b(kW * kH), shadow(kW * kH), scale(k), pitch(kW * k + 64) {
        for (int i = 0; i < kW * kH; ++i) {
            a[i] = static_cast<uint16_t>(i * 7919u);
            b[i] = static_cast<uint16_t>(i * 7919u + 1);
        }
        outStore.assign(static_cast<size_t>(pitch) * kH * k + 8, 0);
        out0 = outStore.data() + (8 - (reinterpret_cast<uintptr_t>(outStore.data()) / 4) % 8) % 8;
    }

    bool Present(const std::vector<uint16_t>& frame) {
        bool any = false;
        for (int y = 0; y < kH; ++y)
            any |= UpdateRow565To8888(frame.data() + y * kW, shadow.data() + y * kW, kW,
                                      out0 + y * scale * pitch, pitch, scale, scale, 0xFF000000u, false);
        return any;
    }
};

void BM_PresentChangedFrame(benchmark::State& state) {
    Frames f(static_cast<int>(state.range(0)));
    bool flip = false;
    for (auto _ : state) {
        benchmark::DoNotOptimize(f.Present(flip ? f.a : f.b));
        flip = !flip;
    }
}
BENCHMARK(BM_PresentChangedFrame)->Arg(1)->Arg(2)->Arg(3);

// Rain: about 230 drops of 2 x 10 pixels in new places each frame, as the
// rainy level shows (about 2,300 changed pixels spread over the whole picture).
void BM_PresentRainFrame(benchmark::State& state) {
    Frames f(static_cast<int>(state.range(0)));
    std::vector<uint16_t> frames[2] = {f.a, f.a};
    uint32_t seed = 12345;
    for (auto& frame : frames)
        for (int d = 0; d < 230; ++d) {
            seed = seed * 1103515245u + 12345u;
            const int x = static_cast<int>(seed >> 8) % (kW - 2),
                      y = static_cast<int>(seed >> 20) % (kH - 10);
            for (int j = 0; j < 10; ++j)
                frame[(y + j) * kW + x] = frame[(y + j) * kW + x + 1] = 0xF800;
        }
    f.Present(frames[0]);
    bool flip = false;
    for (auto _ : state) {
        benchmark::DoNotOptimize(f.Present(frames[flip ? 0 : 1]));
        flip = !flip;
    }
}
BENCHMARK(BM_PresentRainFrame)->Arg(2);

void BM_PresentStillFrame(benchmark::State& state) {
    Frames f(static_cast<int>(state.range(0)));
    f.Present(f.a);
    for (auto _ : state)
        benchmark::DoNotOptimize(f.Present(f.a));
}
BENCHMARK(BM_PresentStillFrame)->Arg(2);

} // namespace
