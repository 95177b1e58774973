// One whole game tick (simulate and draw, no present) of a shipped level,
// measured in the same run as the plain full-screen copy.
#include "app/MainForm.h"
#include "common/Paths.h"
#include "level/TSINI.h"
#include "platform/Clock.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using namespace varnok;

namespace {

// The shipped game as the program starts it, headless on a simulated clock:
// the data files opened, the main form created and shown.
struct ShippedGame {
    platform::SimulatedClock clock{0};
    platform::ScopedClock scope{clock};
    platform::Application app{true};
    TDataStores stores;
    std::unique_ptr<TMainForm> form;

    // False (with the reason in error) when the data files cannot be opened.
    bool Start(std::string& error) {
        try {
            stores = OpenDataFiles(ProgramFolder());
        } catch (const std::exception& e) {
            error = e.what();
            return false;
        }
        form = std::make_unique<TMainForm>(app, *stores.LevelStore, *stores.GlobalStore, std::vector<std::string>{});
        form->FormCreate();
        form->FormShow();
        return true;
    }
};

void BM_GameTick(benchmark::State& state) {
    const int level = static_cast<int>(state.range(0));
    ShippedGame game;
    std::string error;
    if (!game.Start(error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    TMainForm& form = *game.form;
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
    // Every actor moves and scans, but none may end the level for the
    // standing player: god mode keeps it from dying.
    form.Game.GodModeOn = true;
    for (auto _ : state) {
        game.clock.Advance(16);
        form.TimerGame(16);
    }
    if (form.Game.GameState != gs::Playing) state.SkipWithError("the level did not stay in play");
    state.counters["sprites"] = form.DXSpriteEngine.Engine().AllCount();
}
BENCHMARK(BM_GameTick)->DenseRange(1, 5)->Unit(benchmark::kMicrosecond);

// From nothing to the first title frame drawn: opening the data files, the
// main form with its pictures, fonts and sounds, and one title tick.
void BM_StartupToFirstTitleFrame(benchmark::State& state) {
    for (auto _ : state) {
        ShippedGame game;
        std::string error;
        if (!game.Start(error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        game.form->TimerTitle(16);
        benchmark::DoNotOptimize(game.form->Game.GameState);
    }
}
BENCHMARK(BM_StartupToFirstTitleFrame)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
