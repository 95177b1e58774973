// The game binary run on data that fails: a level that cannot start, scripted
// input that is no file, and (where a virtual display exists) the music that
// the real window plays, recorded through SDL's disk audio driver.
#include "common/Files.h"
#include "tests/support/TestData.h"
#include "tests/support/TestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
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
    if (std::system("command -v xvfb-run >/dev/null 2>&1") != 0) GTEST_SKIP() << "no xvfb-run";
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
                          raw + " timeout 60 xvfb-run -a ",
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
