// Every shipped level played headless from the title to its summary with a
// recorded key script (tests/levels/levelN.keys), the actors at work. Besides
// the keys, a script holds checks for the game, all behind "#":
//
//   #level N          the level the title's Start begins with
//   #ticks N          ticks to run; the last one must show the level's summary
//   #expect T TEXT    the state snapshot after tick T contains TEXT
//   #absent T TEXT    ... and does not contain TEXT
//   #shot T NAME      a screenshot after tick T, kept as NAME for inspection
//
// These scripts guard the physics too: a change that makes the player miss a
// jump fails here.
#include "tests/support/TestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

using namespace varnok;
namespace fs = std::filesystem;

namespace {

struct Check {
    uint64_t Tick = 0;
    std::string Text;
    bool Present = true;
};

struct LevelScript {
    int Level = 0;
    uint64_t Ticks = 0;
    std::vector<Check> Checks;
    std::vector<std::pair<uint64_t, std::string>> Shots;
};

LevelScript ReadScript(const std::string& path) {
    LevelScript script;
    std::istringstream in(test::ReadFileBytes(path));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string directive;
        words >> directive;
        if (directive == "#level") {
            words >> script.Level;
        } else if (directive == "#ticks") {
            words >> script.Ticks;
        } else if (directive == "#expect" || directive == "#absent") {
            Check check;
            words >> check.Tick >> std::ws;
            std::getline(words, check.Text);
            check.Present = directive == "#expect";
            script.Checks.push_back(check);
        } else if (directive == "#shot") {
            uint64_t tick = 0;
            std::string name;
            words >> tick >> name;
            script.Shots.emplace_back(tick, name);
        }
    }
    return script;
}

// The integer after "NAME": in a snapshot (the first such field).
std::optional<long long> Field(const std::string& json, const std::string& name) {
    const std::string key = "\"" + name + "\": ";
    const size_t at = json.find(key);
    if (at == std::string::npos) return std::nullopt;
    return std::strtoll(json.c_str() + at + key.size(), nullptr, 10);
}

class ShippedLevel : public ::testing::TestWithParam<int> {};

TEST_P(ShippedLevel, PlayedFromTheTitleToItsSummary) {
    if (!fs::exists(test::BinaryDir() + "/GFX/Images.dxg")) GTEST_SKIP() << "the game's data was not built";
    const int level = GetParam();
    const std::string keys = test::SourceDir() + "/tests/levels/level" + std::to_string(level) + ".keys";
    ASSERT_TRUE(fs::exists(keys)) << keys;
    const LevelScript script = ReadScript(keys);
    ASSERT_EQ(script.Level, level);
    ASSERT_GT(script.Ticks, 0u);

    // This run stands for the same script's run in the level-map tests (which
    // compare a map's run with it): the one kept before goes first.
    const std::string shared = "shipped-level" + std::to_string(level);
    test::DropSharedRun(shared);

    test::TempDir dir;
    auto statePath = [&](uint64_t tick) { return dir / ("state" + std::to_string(tick) + ".json"); };
    std::map<uint64_t, bool> states{{script.Ticks - 1, true}};
    for (const Check& check : script.Checks)
        states[check.Tick] = true;
    std::string cmd = test::BinaryDir() + "/varnok --headless --level " + std::to_string(level) +
                      " --ticks " + std::to_string(script.Ticks) + " --input " + keys;
    for (const auto& [tick, unused] : states)
        cmd += " --state " + statePath(tick) + "@" + std::to_string(tick);
    for (const auto& [tick, name] : script.Shots)
        cmd += " --screenshot " + (dir / name) + "@" + std::to_string(tick);
    const std::string last = dir / "summary.png";
    cmd += " --screenshot " + last + "@" + std::to_string(script.Ticks - 1);
    cmd += " 2>" + (dir / "err.txt");
    const int status = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << test::ReadFileBytes(dir / "err.txt");
    for (const auto& [tick, name] : script.Shots)
        test::KeepForInspection(dir / name, name);

    for (const Check& check : script.Checks) {
        const std::string json = test::ReadFileBytes(statePath(check.Tick));
        EXPECT_EQ(json.find(check.Text) != std::string::npos, check.Present)
            << (check.Present ? "missing" : "unexpected") << " after tick " << check.Tick << ": "
            << check.Text;
    }

    const std::string end = test::ReadFileBytes(statePath(script.Ticks - 1));
    EXPECT_NE(end.find("\"GameState\": \"5\""), std::string::npos) << "the level was not completed:\n" << end;
    EXPECT_EQ(Field(end, "CurrentLevel"), level);
    // The summary counts what was collected and stomped on the way.
    if (Field(end, "LevelPointsTotal").value_or(0) > 0) {
        EXPECT_GT(Field(end, "Score").value_or(0), 0);
    }
    if (Field(end, "LevelEnemyTotal").value_or(0) > 0) {
        EXPECT_GT(Field(end, "EnemiesKilled").value_or(0), 0);
    }

    // Kept when it played as it should: the last state and the screenshots by
    // their ticks.
    if (::testing::Test::HasFailure()) return;
    std::vector<std::pair<std::string, std::string>> kept{
        {statePath(script.Ticks - 1), "state.json"},
        {last, "shot" + std::to_string(script.Ticks - 1) + ".png"}};
    for (const auto& [tick, name] : script.Shots)
        kept.emplace_back(dir / name, "shot" + std::to_string(tick) + ".png");
    test::KeepSharedRun(shared, kept, {keys});
}

// A kept run stands for a new one only while what it depended on is as it
// was: a changed input makes it stale, and a dropped one is gone.
TEST(SharedRuns, AKeptRunGoesStaleWhenAnInputChanges) {
    test::TempDir dir;
    const std::string input = dir / "script", output = dir / "out.txt";
    test::WriteFileBytes(input, "keys");
    test::WriteFileBytes(output, "what the run made");
    const std::string name = "stamp-check-" + std::to_string(getpid());
    test::KeepSharedRun(name, {{output, "kept.txt"}}, {input});
    const std::string kept = test::SharedRun(name, {input});
    ASSERT_FALSE(kept.empty());
    EXPECT_EQ(test::ReadFileBytes(kept + "/kept.txt"), "what the run made");
    EXPECT_EQ(test::SharedRun(name, {input, output}), "") << "kept for other inputs";
    test::WriteFileBytes(input, "other keys");
    EXPECT_EQ(test::SharedRun(name, {input}), "") << "the input changed";
    test::KeepSharedRun(name, {{output, "kept.txt"}}, {input});
    EXPECT_NE(test::SharedRun(name, {input}), "") << "kept again";
    test::DropSharedRun(name);
    EXPECT_EQ(test::SharedRun(name, {input}), "");
}

INSTANTIATE_TEST_SUITE_P(Levels, ShippedLevel, ::testing::Values(1, 2, 3, 4, 5),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Level" + std::to_string(info.param);
                         });

} // namespace
