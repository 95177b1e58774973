// The shipped game, as a player gets it: the title, and level 1 played from
// the title to its summary with a scripted run-and-jump.
#include "tests/support/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>

using namespace varnok;
namespace fs = std::filesystem;

namespace {
std::string StateCode(const std::string& json) {
    const size_t at = json.find("\"GameState\": \"");
    return at == std::string::npos ? "?" : json.substr(at + 14, 1);
}
} // namespace

TEST(ShippedGame, LevelOneFromTheTitleToItsSummary) {
    if (!fs::exists(test::BinaryDir() + "/GFX/Images.dxg")) GTEST_SKIP() << "the game's data was not built";
    test::TempDir dir;
    // Start at tick 40, start the level at tick 80, then hold Right and jump
    // every 45 ticks.
    std::string script = "40 down Enter\n40 up Enter\n80 down A\n80 up A\n100 down Right\n";
    for (int t = 110; t < 2400; t += 45)
        script += std::to_string(t) + " down Ctrl\n" + std::to_string(t + 20) + " up Ctrl\n";
    test::WriteFileBytes(dir / "keys.txt", script);
    const std::string cmd = test::BinaryDir() + "/varnok --headless --ticks 2400 --input " + (dir / "keys.txt") +
                            " --state " + (dir / "title.json") + "@39 --screenshot " + (dir / "title.png") +
                            "@39 --state " + (dir / "ready.json") + "@60 --state " + (dir / "end.json") +
                            "@2399 --screenshot " + (dir / "end.png") + "@2399 2>" + (dir / "err.txt");
    const int status = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << test::ReadFileBytes(dir / "err.txt");
    EXPECT_EQ(StateCode(test::ReadFileBytes(dir / "title.json")), " ");
    EXPECT_EQ(StateCode(test::ReadFileBytes(dir / "ready.json")), "1");
    const std::string end = test::ReadFileBytes(dir / "end.json");
    EXPECT_EQ(StateCode(end), "5") << end;
    EXPECT_NE(end.find("\"CurrentLevel\": 1,"), std::string::npos);
    test::KeepForInspection(dir / "title.png", "shipped-title.png");
    test::KeepForInspection(dir / "end.png", "shipped-level1-summary.png");
}
