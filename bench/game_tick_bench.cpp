// One whole game tick (simulate and draw, no present) of a shipped level,
// measured in the same run as the plain full-screen copy.
#include "app/MainForm.h"
#include "common/Paths.h"
#include "level/TSINI.h"
#include "platform/Clock.h"

#include <benchmark/benchmark.h>
#include <cstdlib>

using namespace varnok;

namespace {

void BM_GameTick(benchmark::State& state) {
    const int level = static_cast<int>(state.range(0));
    platform::SimulatedClock clock(0);
    platform::ScopedClock scope(clock);
    platform::Application app(true);
    TDataStores stores;
    try {
        stores = OpenDataFiles(ProgramFolder());
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
        return;
    }
    TMainForm form(app, *stores.LevelStore, *stores.GlobalStore, {});
    form.FormCreate();
    form.FormShow();
    if (level > form.LevelStore.GetInteger("Global", "TileCount", 0)) {
        state.SkipWithError("no such level");
        return;
    }
    form.Game.StartLevelNumber = level;
    form.Game.CurrentLevel = static_cast<uint16_t>(level);
    form.Game.GameState = gs::GetReady;
    form.SetStateEvents();
    form.Game.GameState = gs::Playing;
    form.FadeActive = false;
    for (auto _ : state) {
        clock.Advance(16);
        form.TimerGame(16);
    }
    state.counters["sprites"] = form.DXSpriteEngine.Engine().AllCount();
}
BENCHMARK(BM_GameTick)->DenseRange(1, 5)->Unit(benchmark::kMicrosecond);

} // namespace

namespace {

// From nothing to the first title frame drawn: opening the data files, the
// main form with its pictures, fonts and sounds, and one title tick.
void BM_StartupToFirstTitleFrame(benchmark::State& state) {
    for (auto _ : state) {
        platform::SimulatedClock clock(0);
        platform::ScopedClock scope(clock);
        platform::Application app(true);
        TDataStores stores;
        try {
            stores = OpenDataFiles(ProgramFolder());
        } catch (const std::exception& e) {
            state.SkipWithError(e.what());
            return;
        }
        TMainForm form(app, *stores.LevelStore, *stores.GlobalStore, {});
        form.FormCreate();
        form.FormShow();
        form.TimerTitle(16);
        benchmark::DoNotOptimize(form.Game.GameState);
    }
}
BENCHMARK(BM_StartupToFirstTitleFrame)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
