// Playing a small test game through the headless harness: scripted keys in,
// state snapshots and screenshots out.
#include "common/Image.h"
#include "tests/support/TestData.h"
#include "tests/support/TestSupport.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sys/wait.h>

using namespace varnok;
namespace fs = std::filesystem;

namespace {

// Runs the game headless on a fresh test game with the script; states and
// screenshots are taken at the given ticks.
class Game {
public:
    explicit Game(int levels = 2) { test::WriteTestGame(dir_ / "data", levels); }

    void Run(const std::string& script, uint64_t ticks, const std::vector<uint64_t>& stateTicks,
             const std::vector<uint64_t>& shotTicks = {}) {
        test::WriteFileBytes(dir_ / "keys.txt", script);
        std::string cmd = test::BinaryDir() + "/varnok --headless --data " + (dir_ / "data") + " --ticks " +
                          std::to_string(ticks) + " --input " + (dir_ / "keys.txt");
        for (uint64_t t : stateTicks) cmd += " --state " + (dir_ / ("s" + std::to_string(t) + ".json")) + "@" + std::to_string(t);
        for (uint64_t t : shotTicks) cmd += " --screenshot " + (dir_ / ("p" + std::to_string(t) + ".png")) + "@" + std::to_string(t);
        cmd += " 2>" + (dir_ / "stderr.txt");
        const int status = std::system(cmd.c_str());
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << test::ReadFileBytes(dir_ / "stderr.txt");
    }
    std::string State(uint64_t tick) const {
        const std::string path = dir_ / ("s" + std::to_string(tick) + ".json");
        return fs::exists(path) ? test::ReadFileBytes(path) : std::string();
    }
    std::string Shot(uint64_t tick) const { return dir_ / ("p" + std::to_string(tick) + ".png"); }
    char GameState(uint64_t tick) const {
        const std::string s = State(tick);
        const size_t at = s.find("\"GameState\": \"");
        return at == std::string::npos ? '?' : s[at + 14];
    }
    // A number of the snapshot: "Key" at the top level, or "Object.Key".
    double Number(uint64_t tick, const std::string& path) const {
        const std::string s = State(tick);
        size_t from = 0;
        std::string key = path;
        if (const size_t dot = path.find('.'); dot != std::string::npos) {
            const std::string object = path.substr(0, dot);
            // An object of the snapshot, or a layer by its name.
            from = object.rfind("Layer", 0) == 0 ? s.find("\"Name\": \"" + object + "\"")
                                                 : s.find("\"" + object + "\": {");
            key = path.substr(dot + 1);
            if (from == std::string::npos) return NAN;
        }
        const size_t at = s.find("\"" + key + "\": ", from);
        if (at == std::string::npos) return NAN;
        return std::strtod(s.c_str() + at + key.size() + 4, nullptr);
    }

private:
    test::TempDir dir_;
};

// Title Enter at tick 40; the level starts with a key at tick 80 (after the lock-out).
const std::string kStart = "40 down Enter\n40 up Enter\n80 down A\n80 up A\n";

} // namespace

TEST(Gameplay, GetReadyEndsByKeyOrAfterFiveSeconds) {
    Game game;
    game.Run("40 down Enter\n40 up Enter\n", 400, {41, 350, 360});
    EXPECT_EQ(game.GameState(41), '1');
    EXPECT_EQ(game.GameState(350), '1'); // 5000 ms after tick 40 is tick 352.5
    EXPECT_EQ(game.GameState(360), '0');

    Game keyed;
    keyed.Run("40 down Enter\n40 up Enter\n60 down A\n60 up A\n80 down A\n80 up A\n", 90, {70, 81});
    EXPECT_EQ(keyed.GameState(70), '1'); // inside the lock-out
    EXPECT_EQ(keyed.GameState(81), '0');
}

TEST(Gameplay, WalkingSpeedsAndTheCamera) {
    Game game;
    // Walk, then run (Shift), then creep (Alt), then both.
    game.Run(kStart + "100 down Right\n150 down Shift\n200 up Shift\n200 down Alt\n250 down Shift\n300 up Alt\n"
                      "300 up Shift\n",
             420, {99, 149, 199, 249, 299, 350, 400});
    // A key given at tick t steers the move of tick t itself.
    auto x = [&](uint64_t t) { return game.Number(t, "Player.X"); };
    const double tick = 16 / 1000.0;
    EXPECT_NEAR(x(149) - x(99), 50 * tick * 160, 0.01);
    EXPECT_NEAR(x(199) - x(149), 50 * tick * 320, 0.01);
    EXPECT_NEAR(x(249) - x(199), 50 * tick * 16, 0.01);
    EXPECT_NEAR(x(299) - x(249), 50 * tick * 32, 0.01);
    // Walking right, the player is held at the right margin (x 400) while the
    // camera follows.
    EXPECT_LT(game.Number(350, "Engine.X"), game.Number(299, "Engine.X"));
    EXPECT_NEAR(x(400) + game.Number(400, "Engine.X") + 32, 400, 3);
}

TEST(Gameplay, TheBackdropFollowsTheCameraAtHalfSpeed) {
    Game game;
    game.Run(kStart + "100 down Right\n100 down Shift\n", 300, {150, 290}, {290});
    const double camera = game.Number(150, "Engine.X") - game.Number(290, "Engine.X");
    ASSERT_GT(camera, 200);
    // Layer 5 has the factor 2: it moves along by half the camera step, so on
    // screen it passes at half the playfield's speed.
    const double backdrop = game.Number(290, "Layer5.X") - game.Number(150, "Layer5.X");
    EXPECT_NEAR(backdrop, camera / 2, 1);
    EXPECT_EQ(game.Number(290, "Layer3.X"), 0);
    test::KeepForInspection(game.Shot(290), "gameplay-parallax.png");
}

TEST(Gameplay, PauseFreezesTheWorldAndEscapeFadesToTheTitle) {
    Game game;
    game.Run(kStart + "100 down Right\n150 down P\n150 up P\n200 down F1\n200 up F1\n250 down Escape\n250 up Escape\n",
             320, {160, 199, 210, 251, 310});
    EXPECT_EQ(game.GameState(160), '3');
    EXPECT_EQ(game.Number(160, "Player.X"), game.Number(199, "Player.X"));
    EXPECT_EQ(game.GameState(210), '0');
    EXPECT_GT(game.Number(210, "Player.X"), game.Number(199, "Player.X"));
    EXPECT_EQ(game.GameState(251), '4');
    EXPECT_EQ(game.GameState(310), ' '); // four fade patterns: 0.4 s
}

TEST(Gameplay, ExitSummaryNextLevelAndGameOver) {
    Game game;
    // Run to the exit of level 1, Enter, start level 2, run to its exit,
    // Enter: game over; Enter: the title.
    game.Run(kStart + "100 down Right\n100 down Shift\n400 down Enter\n400 up Enter\n" // exit by tick ~320
                      "440 down A\n440 up A\n760 down Enter\n760 up Enter\n800 down Enter\n800 up Enter\n",
             820, {395, 405, 445, 755, 765, 805},
             {395});
    EXPECT_EQ(game.GameState(395), '5');
    EXPECT_GE(game.Number(395, "LevelSeconds"), 3);
    EXPECT_EQ(game.GameState(405), '1');
    EXPECT_EQ(game.Number(405, "CurrentLevel"), 2);
    EXPECT_EQ(game.GameState(445), '0');
    EXPECT_EQ(game.GameState(755), '5');
    EXPECT_EQ(game.GameState(765), '2');
    EXPECT_EQ(game.GameState(805), ' ');
    test::KeepForInspection(game.Shot(395), "gameplay-summary.png");
}

// Ctrl (jump) lasts only as long as its key: held while the focus goes and
// comes back without any other key, it makes one jump, then the player stands.
TEST(Gameplay, CtrlHeldWhileTheFocusGoesJumpsOnlyOnce) {
    auto jumping = [](const Game& g, uint64_t t) {
        return g.State(t).find("\"Jumping\": true") != std::string::npos;
    };
    Game ctrl;
    ctrl.Run(kStart + "120 down Ctrl\n130 focus out\n200 focus in\n", 561, {125, 300, 400, 560});
    EXPECT_TRUE(jumping(ctrl, 125));
    for (uint64_t t : {300, 400, 560})
        EXPECT_FALSE(jumping(ctrl, t)) << "tick " << t;
    EXPECT_EQ(ctrl.Number(300, "Player.Y"), ctrl.Number(560, "Player.Y"));
}
