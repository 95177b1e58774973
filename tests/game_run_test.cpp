// The game binary run on data that fails: a level that cannot start, scripted
// input that is no file, and (where a virtual display exists) the music that
// the real window plays, recorded through SDL's disk audio driver; and a
// shipped level played with and without switches of the window mode.
#include "common/Files.h"
#include "tests/support/TestData.h"
#include "tests/support/TestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>

using namespace varnok;
using varnok::test::Field;
using varnok::test::ReadFileBytes;
using varnok::test::RunGameBinary;
using varnok::test::RunResult;
using varnok::test::TempDir;
using varnok::test::WriteFileBytes;
namespace fs = std::filesystem;

// Enter on the title starts a level whose tile file is missing: the game shows
// why, keeps ticking, and Escape leads back to the title.
TEST(GameRun, FailedLevelStartThenEscapeBackToTheTitle) {
    TempDir dir;
    const std::string data = dir / "data";
    test::WriteTestGame(data, 1);
    fs::remove(data + "/GFX/Level1.bmp");
    fs::remove(data + "/GFX/Level1.dxg");
    WriteFileBytes(dir / "keys.txt", "40 down Enter\n41 up Enter\n100 down Escape\n101 up Escape\n");
    const RunResult r =
        RunGameBinary(dir, "",
                      "--headless --ticks 140 --data " + data + " --input " + (dir / "keys.txt") +
                          " --state " + (dir / "fail.json") + "@70 --state " + (dir / "back.json") + "@130");
    EXPECT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_NE(r.errors.find("LEVEL1.dxg"), std::string::npos) << r.errors;
    const std::string fail = ReadFileBytes(dir / "fail.json"), back = ReadFileBytes(dir / "back.json");
    EXPECT_EQ(Field(fail, "GameState"), "\"1\"");
    EXPECT_EQ(Field(fail, "TimerEnabled"), "true");
    EXPECT_EQ(Field(fail, "Player"), "null");
    EXPECT_EQ(Field(back, "GameState"), "\" \"");
    EXPECT_EQ(Field(back, "TimerEnabled"), "true");
}

// A script that is a pipe or a folder is refused at once, saying what it is.
TEST(GameRun, InputScriptThatIsNoFileIsRefused) {
    TempDir dir;
    const std::string data = dir / "data";
    test::WriteTestGame(data, 1);
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);
    fs::create_directory(dir / "folder");
    for (const auto& [name, kind] : {std::pair{"fifo", "a pipe"}, std::pair{"folder", "a folder"}}) {
        const RunResult r = RunGameBinary(dir, "timeout 20 ",
                                          "--headless --ticks 5 --data " + data + " --input " + (dir / name));
        EXPECT_EQ(r.exitCode, 2) << name;
        EXPECT_NE(r.errors.find(kind), std::string::npos) << r.errors;
    }
}

// The real window under a virtual display: the title's music is heard from
// the start, without any change of focus.
TEST(GameRun, TitleMusicPlaysFromTheStart) {
    if (std::system("command -v Xvfb >/dev/null 2>&1") != 0) GTEST_SKIP() << "no Xvfb";
    TempDir dir;
    const std::string data = dir / "data";
    test::WriteTestGame(data, 1);
    fs::copy_file(test::BinaryDir() + "/SND/Level1.mod", data + "/SND/title.mod");
    std::string global = test::TestGlobalIni(1);
    global.insert(global.find("[Menu]\n") + 7, "MOD=title.mod\n");
    WriteFileBytes(data + "/DAT/GLOBAL.INI", global);
    const std::string raw = dir / "out.raw";
    const RunResult r =
        RunGameBinary(dir,
                      "HOME=" + (dir / "home") + " XDG_CONFIG_HOME=" + (dir / "home/.config") +
                          " SDL_VIDEODRIVER=x11 SDL_FRAMEBUFFER_ACCELERATION=0 SDL_RENDER_DRIVER=software "
                          "SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=" +
                          raw + " timeout 60 " + test::SourceDir() + "/tests/support/virtual-x.sh ",
                      "--ticks 150 --data " + data);
    EXPECT_EQ(r.exitCode, 0) << r.errors;
    ASSERT_TRUE(fs::exists(raw)) << r.errors;
    const std::string samples = ReadFileBytes(raw);
    int peak = 0;
    for (size_t i = 0; i + 1 < samples.size(); i += 2)
        peak = std::max(
            peak, std::abs(static_cast<int>(static_cast<int16_t>(
                      static_cast<uint8_t>(samples[i]) | (static_cast<uint8_t>(samples[i + 1]) << 8)))));
    EXPECT_GT(samples.size(), 44100u);
    EXPECT_GT(peak, 1000);
}

// Switching between the window and full screen while playing, in the pause
// and on the summary changes nothing of the game: the shipped first level,
// played once as it is and once with switches, shows the same pictures and
// the same state tick for tick (only the display fields differ).
TEST(GameRun, WindowModeSwitchesLeaveTheRunAsItWas) {
    if (!fs::exists(test::BinaryDir() + "/GFX/Images.dxg")) GTEST_SKIP() << "the game's data was not built";
    TempDir dir;
    // The level's key script with a pause of 60 ticks at 88 (before the
    // first step): every key after it comes 60 ticks later.
    constexpr int kPauseAt = 88, kPause = 60;
    std::istringstream in(ReadFileBytes(test::SourceDir() + "/tests/levels/level1.keys"));
    std::string line, keys;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        long tick = 0;
        std::string rest;
        words >> tick;
        std::getline(words, rest);
        keys += std::to_string(tick >= kPauseAt ? tick + kPause : tick) + rest + "\n";
    }
    WriteFileBytes(dir / "keys.txt", keys);
    // The summary shows from about tick 1560 on.
    const int shots[] = {kPauseAt + 5, kPauseAt + 30, 400, 430, 1100, 1590, 1615};
    auto run = [&](const std::string& tag, const std::string& switches) {
        std::string args = "--headless --ticks 1616 --input " + (dir / "keys.txt") +
                           " --action ActionPause@" + std::to_string(kPauseAt) + " --action ActionPause@" +
                           std::to_string(kPauseAt + kPause) + switches;
        for (int t : shots) {
            const std::string at = std::to_string(t);
            args += " --screenshot " + (dir / (tag + at + ".png")) + "@" + at + " --state " +
                    (dir / (tag + at + ".json")) + "@" + at;
        }
        const RunResult r = RunGameBinary(dir, "", args);
        EXPECT_EQ(r.exitCode, 0) << r.errors;
    };
    run("plain", "");
    // Full screen in the pause, the window while playing, full screen on the
    // summary and back.
    run("switched", " --action ActionToggleWindow@" + std::to_string(kPauseAt + 10) +
                        " --action ActionToggleWindow@420 --action ActionToggleWindow@1580"
                        " --action ActionToggleWindow@1600");
    // The display's fields, and the frame rate, which is counted afresh
    // from each switch.
    auto gameOnly = [](const std::string& json) {
        return test::WithoutFields(json, {"FullScreen", "MenuVisible", "WindowModeChecked", "Scale", "FrameRate"});
    };
    const bool fullAt[] = {false, true, true, false, false, true, false};
    for (size_t i = 0; i < std::size(shots); ++i) {
        const std::string at = std::to_string(shots[i]);
        const std::string plain = ReadFileBytes(dir / ("plain" + at + ".json"));
        const std::string switched = ReadFileBytes(dir / ("switched" + at + ".json"));
        ASSERT_FALSE(plain.empty()) << at;
        EXPECT_EQ(gameOnly(switched), gameOnly(plain)) << "after tick " << at;
        EXPECT_EQ(Field(switched, "FullScreen"), fullAt[i] ? "true" : "false") << at;
        EXPECT_EQ(ReadFileBytes(dir / ("switched" + at + ".png")),
                  ReadFileBytes(dir / ("plain" + at + ".png")))
            << "the picture after tick " << at;
    }
    EXPECT_EQ(Field(ReadFileBytes(dir / "plain" + std::to_string(kPauseAt + 30) + ".json"), "GameState"),
              "\"3\"");
    EXPECT_EQ(Field(ReadFileBytes(dir / "plain400.json"), "GameState"), "\"0\"");
    EXPECT_EQ(Field(ReadFileBytes(dir / "plain1615.json"), "GameState"), "\"5\"");
}
