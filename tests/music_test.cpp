// The music player with the real module library, its output recorded through
// SDL's disk audio driver: silent until resumed, a module the library refuses
// reported in the debug log (not on the terminal) without leaking its text.
#include "common/DebugLog.h"
#include "media/NPMOD.h"
#include "media/WaveList.h"
#include "media/WaveListFile.h"
#include "platform/Sound.h"
#include "tests/support/TestSupport.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

using namespace varnok;
using varnok::test::TempDir;

namespace {

// Largest sample magnitude of 16-bit output.
int Peak(const std::string& raw) {
    int peak = 0;
    for (size_t i = 0; i + 1 < raw.size(); i += 2) {
        const int v =
            static_cast<int16_t>(static_cast<uint8_t>(raw[i]) | (static_cast<uint8_t>(raw[i + 1]) << 8));
        peak = std::max(peak, std::abs(v));
    }
    return peak;
}

// Records what the device plays for a while with the player set up by play.
std::string Record(const TempDir& dir, const std::string& name,
                   const std::function<void(TModPlayer&)>& play) {
    const std::string out = dir / name;
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", out.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "5", 1);
    {
        platform::SoundDevice device(false);
        EXPECT_TRUE(device.Initialized());
        int beeps = 0;
        TModPlayer player(device, nullptr, [&] { ++beeps; });
        play(player);
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
    }
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    return std::filesystem::exists(out) ? test::ReadFileBytes(out) : std::string();
}

const std::string kModule = test::BinaryDir() + "/SND/Level1.mod";
// The loudest of the shipped modules, and the shipped effects.
const std::string kLoudestModule = test::BinaryDir() + "/SND/Title.mod";
const std::string kSounds = test::BinaryDir() + "/SND/Sounds.dxw";

// Samples of 16-bit output at full scale, where the mix was cut.
size_t Clipped(const std::string& raw) {
    size_t clipped = 0;
    for (size_t i = 0; i + 1 < raw.size(); i += 2) {
        const int v =
            static_cast<int16_t>(static_cast<uint8_t>(raw[i]) | (static_cast<uint8_t>(raw[i + 1]) << 8));
        clipped += v >= 32767 || v <= -32768;
    }
    return clipped;
}

// Records the music of module (none: silence) with the effects named played
// one after the other, 10 ms apart, once the music has run for a moment.
std::string RecordMix(const TempDir& dir, const std::string& name, const std::string& module,
                      const std::vector<std::string>& effects) {
    const std::string out = dir / name;
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", out.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "5", 1);
    {
        platform::SoundDevice device(false);
        EXPECT_TRUE(device.Initialized());
        TModPlayer player(device, nullptr, [] {});
        TDXWaveList sounds(&device);
        sounds.LoadFromFile(kSounds);
        if (!module.empty()) {
            player.OpenModule(module);
            player.Resume();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        for (const std::string& effect : effects) {
            sounds.Find(effect).PlaySound(false);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    return std::filesystem::exists(out) ? test::ReadFileBytes(out) : std::string();
}

// The largest sample magnitude of an effect's own wave data (16-bit PCM).
int WavePeak(const std::string& name) {
    TWaveListData list;
    list.LoadFromFile(kSounds);
    const TWaveData& wave = list.Find(name).Wave;
    EXPECT_EQ(wave.BitsPerSample(), 16);
    return Peak(wave.Samples);
}

} // namespace

TEST(ModPlayer, PlaysOnlyOnceResumedAndStopsWhenHalted) {
    ASSERT_TRUE(std::filesystem::exists(kModule));
    TempDir dir;
    const std::string silent = Record(dir, "silent.raw", [](TModPlayer& p) { p.OpenModule(kModule); });
    ASSERT_GT(silent.size(), 10000u);
    EXPECT_EQ(Peak(silent), 0);

    const std::string playing = Record(dir, "playing.raw", [](TModPlayer& p) {
        p.OpenModule(kModule);
        p.Resume();
    });
    EXPECT_GT(Peak(playing), 1000);

    const std::string halted = Record(dir, "halted.raw", [](TModPlayer& p) {
        p.OpenModule(kModule);
        p.Resume();
        p.Halt();
    });
    EXPECT_EQ(Peak(halted), 0);
}

TEST(ModPlayer, RefusedModuleIsLoggedNotPrinted) {
    TempDir dir;
    test::WriteFileBytes(dir / "bad.mod", std::string(4000, 'x'));
    platform::SoundDevice device(true);
    int beeps = 0;
    TModPlayer player(device, nullptr, [&] { ++beeps; });

    // Standard error goes to a file while the library works.
    DebugLog().Clear();
    DebugLog().SetEcho(false);
    std::fflush(stderr);
    const int saved = dup(2);
    FILE* captured = std::tmpfile();
    dup2(fileno(captured), 2);
    player.OpenModule(dir / "bad.mod");
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    DebugLog().SetEcho(true);
    std::fseek(captured, 0, SEEK_END);
    EXPECT_EQ(std::ftell(captured), 0L);
    std::fclose(captured);

    EXPECT_FALSE(player.Ready());
    EXPECT_EQ(beeps, 1);
    ASSERT_EQ(DebugLog().Lines().size(), 1u);
    EXPECT_EQ(DebugLog().Lines()[0].rfind("Module \"" + dir / "bad.mod" + "\" not loaded: ", 0), 0u)
        << DebugLog().Lines()[0];

    // A good module afterwards loads; a refused one then keeps it.
    player.OpenModule(kModule);
    EXPECT_TRUE(player.Ready());
    player.OpenModule(dir / "bad.mod");
    EXPECT_TRUE(player.Ready());
    EXPECT_EQ(beeps, 1);
}

// A looping effect (the auto-move path's) never ends by itself: the screen
// change stops it.
TEST(WaveList, StopLoopedEndsLoopingSounds) {
    const std::string sounds = test::BinaryDir() + "/SND/Sounds.dxw";
    ASSERT_TRUE(std::filesystem::exists(sounds));
    platform::SoundDevice device(true);
    if (!device.Initialized()) GTEST_SKIP() << "no sound device";
    TDXWaveList list(&device);
    list.LoadFromFile(sounds);
    TWaveCollectionItem& path = list.Find("Automove");
    path.SetLooped(true);
    path.PlaySound(false);
    EXPECT_TRUE(path.Playing());
    list.StopLooped();
    EXPECT_FALSE(path.Playing());
    path.PlaySound(false);
    EXPECT_TRUE(path.Playing()) << "a stopped loop can play again";
    path.SetLooped(false);
    EXPECT_FALSE(path.Playing()) << "no longer looping: stopped";
}

// A busy moment (a jump, coins, a bonus and a landing over the loudest
// module), recorded through the disk driver: the sum stays below full scale
// instead of being cut there, and it is loud, not turned down. An effect
// alone and the music alone keep their own level.
TEST(SoundMix, BusyMomentsAreLimitedNotClipped) {
    ASSERT_TRUE(std::filesystem::exists(kLoudestModule));
    ASSERT_TRUE(std::filesystem::exists(kSounds));
    TempDir dir;
    const std::string busy =
        RecordMix(dir, "busy.raw", kLoudestModule, {"Jump", "Coin", "Coin", "Coin", "Bonus", "Land"});
    ASSERT_GT(busy.size(), 88200u);
    EXPECT_EQ(Clipped(busy), 0u);
    EXPECT_GT(Peak(busy), 28000);

    const std::string jump = RecordMix(dir, "jump.raw", "", {"Jump"});
    // Converting to the device's rate may overshoot the wave's own peak a little.
    const int own = WavePeak("Jump");
    EXPECT_GT(Peak(jump), own * 97 / 100);
    EXPECT_LT(Peak(jump), own * 105 / 100);
    const std::string music = RecordMix(dir, "music.raw", kLoudestModule, {});
    EXPECT_GT(Peak(music), 15000);
    EXPECT_EQ(Clipped(music), 0u);
}

// Modules swapped on the game's thread while the audio thread plays them:
// the swap must wait for the audio thread to be out of the module it frees
// (the sanitizer build reports a use after free otherwise).
TEST(ModPlayer, ModulesSwappedWhilePlayingAreNeverUsedAfterFree) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    platform::SoundDevice device(false);
    if (!device.Initialized()) GTEST_SKIP() << "no sound device";
    TModPlayer player(device, nullptr, [] {});
    player.OpenModule(kModule);
    player.Resume();
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    int swaps = 0;
    while (std::chrono::steady_clock::now() < until) {
        player.OpenModule(swaps % 2 ? kModule : kLoudestModule);
        player.Resume();
        ++swaps;
    }
    EXPECT_GT(swaps, 10);
}
