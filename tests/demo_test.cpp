// Demos: the text format, and runs of the game binary recorded and played
// again to the same states, headless and from the real window.
#include "app/Demo.h"
#include "app/Harness.h"
#include "common/Exception.h"
#include "platform/Keys.h"
#include "tests/support/TestData.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <sys/wait.h>

using namespace varnok;
using varnok::test::Field;
using varnok::test::ReadFileBytes;
using varnok::test::RunGameBinary;
using varnok::test::RunResult;
using varnok::test::TempDir;
using varnok::test::WriteFileBytes;
namespace fs = std::filesystem;

namespace {

// Keys that start level 1, skip the get-ready wait, walk right, jump and
// run: enough for the player, the camera and the actors to move.
const char* const kPlayKeys = "60 down Enter\n61 up Enter\n130 down Space\n131 up Space\n"
                              "140 down Right\n160 down Ctrl\n170 up Ctrl\n200 down Shift\n"
                              "260 up Shift\n300 up Right\n310 down Left\n330 down Ctrl\n332 up Ctrl\n"
                              "350 up Left\n";

} // namespace

TEST(DemoFormat, ParsesEveryKindOfLineAndNamesBadOnes) {
    const TDemo d =
        ParseDemo("#demo 1\r\n#param -KV3916\n#level 2\n#focus out\n#data DAT/LEVEL.DAT 0123456789abcdef\n"
                  "# a comment\n\n0 elapsed 16\n0 down Left\n1 elapsed 0\n1 up Left\n1 focus out\n"
                  "2 elapsed 33\n2 focus IN\n2 mouse right 10 -5 4\n2 close\n2 check fedcba9876543210\n");
    EXPECT_TRUE(d.IsDemo);
    EXPECT_EQ(d.Params, std::vector<std::string>{"-KV3916"});
    EXPECT_EQ(d.StartLevel, 2u);
    EXPECT_TRUE(d.StartsInactive);
    ASSERT_EQ(d.Data.size(), 1u);
    EXPECT_EQ(d.Data[0].first, "DAT/LEVEL.DAT");
    EXPECT_EQ(d.Elapsed.at(1), 0u);
    EXPECT_EQ(d.Elapsed.at(2), 33u);
    EXPECT_EQ(d.TickCount(), 3u);
    EXPECT_EQ(d.Checks.at(2), "fedcba9876543210");
    // Events keep their order within a tick.
    std::vector<TDemoEventKind> kinds;
    for (auto [it, end] = d.Events.equal_range(2); it != end; ++it)
        kinds.push_back(it->second.Kind);
    EXPECT_EQ(kinds, (std::vector{TDemoEventKind::Focus, TDemoEventKind::Mouse, TDemoEventKind::Close}));
    const TDemoEvent& click = std::next(d.Events.equal_range(2).first)->second;
    EXPECT_EQ(click.Button, platform::MouseButton::Right);
    EXPECT_EQ(click.Y, -5);
    EXPECT_EQ(click.Shift, 4);

    // Header lines mean something only in a demo: in an input script (a level
    // script's "#level" included) they are comments.
    const TDemo script = ParseDemo("#level 3\n#data whatever\n5 down Enter\n");
    EXPECT_FALSE(script.IsDemo);
    EXPECT_EQ(script.StartLevel, 0u);
    EXPECT_EQ(script.Events.size(), 1u);

    for (const char* bad :
         {"#demo 3\n", "#demo 1\n#data DAT/LEVEL.DAT nothex\n", "#demo 1\n#level x\n", "1 elapsed 60001\n",
          "1 elapsed 5\n1 elapsed 6\n", "1 focus maybe\n", "1 mouse left 1 2\n", "1 check 12\n",
          "1 close now\n", "x down Left\n", "1 down\n"}) {
        EXPECT_THROW(ParseDemo(bad), EFileError) << bad;
    }
    try {
        ParseDemo("0 elapsed 5\n\n0 down Nokey\n");
        FAIL();
    } catch (const EFileError& e) {
        EXPECT_NE(std::string(e.what()).find("line 3"), std::string::npos) << e.what();
    }
}

namespace {

// The line number in a parse error, or 0 when the text parses.
int BadLine(const std::string& text) {
    try {
        ParseDemo(text);
        return 0;
    } catch (const EFileError& e) {
        const std::string what = e.what();
        const size_t at = what.find("line ");
        return at == std::string::npos ? -1 : std::atoi(what.c_str() + at + 5);
    }
}

} // namespace

// A demo ends with its end line: without it, or with a last line broken off
// in the middle, it says where it was cut, and what comes before still
// reads. Format 1 demos, written before the end line, are not cut for want
// of it.
TEST(DemoFormat, TheEndLineTellsAWholeDemoFromOneCutShort) {
    const std::string whole =
        "#demo 2\n0 elapsed 16\n0 down Left\n1 elapsed 16\n1 check 0123456789abcdef\n1 end\n";
    TDemo d = ParseDemo(whole);
    EXPECT_EQ(d.Format, 2);
    EXPECT_EQ(d.CutShortAtLine, 0);
    EXPECT_EQ(d.TickCount(), 2u);
    // The end line may lack its line end: it is whole as it stands.
    EXPECT_EQ(ParseDemo(whole.substr(0, whole.size() - 1)).CutShortAtLine, 0);

    // Cut at a line end: the end line is missing.
    d = ParseDemo(whole.substr(0, whole.find("1 end")));
    EXPECT_EQ(d.CutShortAtLine, 6);
    EXPECT_EQ(d.TickCount(), 2u);
    EXPECT_EQ(d.Checks.count(1), 1u);
    // Cut inside a line: that line is not read ("1 elapsed 1" is no tick of
    // one millisecond), the lines before it are.
    d = ParseDemo(whole.substr(0, whole.find("1 elapsed 16") + 11));
    EXPECT_EQ(d.CutShortAtLine, 4);
    EXPECT_EQ(d.TickCount(), 1u);
    EXPECT_EQ(d.Events.size(), 1u);
    d = ParseDemo(whole.substr(0, whole.find("1 end") + 3));
    EXPECT_EQ(d.CutShortAtLine, 6);
    EXPECT_EQ(d.Checks.count(1), 1u);

    // A format 1 demo has no end line; it is not taken as cut.
    d = ParseDemo("#demo 1\n0 elapsed 16\n0 down Left\n1 elapsed 16\n");
    EXPECT_EQ(d.Format, 1);
    EXPECT_EQ(d.CutShortAtLine, 0);
    // An input script without a line end on its last line reads it whole.
    EXPECT_EQ(ParseInputScript("5 down Enter").size(), 1u);

    // Lines that would never play are refused with their line: keys and
    // checks after the last tick, anything after the end line, an end line
    // that is not the last tick.
    EXPECT_EQ(BadLine("#demo 2\n0 elapsed 16\n1 down Left\n0 end\n"), 3);
    EXPECT_EQ(BadLine("#demo 2\n0 elapsed 16\n1 check 0123456789abcdef\n0 end\n"), 3);
    EXPECT_EQ(BadLine("#demo 1\n0 elapsed 16\n2 up Left\n1 elapsed 5\n"), 3);
    EXPECT_EQ(BadLine("#demo 2\n0 elapsed 16\n0 end\n0 down Left\n"), 4);
    EXPECT_EQ(BadLine("#demo 2\n0 elapsed 16\n1 elapsed 16\n0 end\n"), 4);
    // What a format 1 recorder wrote when the game ended itself: the last
    // check one tick late.
    EXPECT_EQ(BadLine("#demo 1\n0 elapsed 16\n1 check 0123456789abcdef\n"), 0);
}

// A demo holds an "elapsed" line for every tick: a tick number beyond its own
// length is refused (it would only keep the playback busy for ever), while
// an input script may name any tick.
TEST(DemoFormat, TicksBeyondTheDemosLengthAreRefusedWithTheirLine) {
    EXPECT_EQ(BadLine("#demo 1\n0 elapsed 16\n999999999999999999 elapsed 16\n"), 3);
    EXPECT_EQ(BadLine("#demo 2\n0 elapsed 16\n4 elapsed 16\n4 end\n"), 3);
    EXPECT_EQ(BadLine("#demo 2\n0 elapsed 16\n1 elapsed 16\n2 elapsed 16\n2 end\n"), 0);
    EXPECT_EQ(BadLine("999999999999999999 elapsed 16\n999999999999999999 down Enter\n"), 0);
}

// "#data" names the data files a run depends on, relative to the data
// folder, and nothing else.
TEST(DemoFormat, DataLinesNameOnlyTheRunsDataFiles) {
    for (const char* path : {"../../../etc/shadow", "/dev/zero", "DAT/../DAT/LEVEL.DAT", "SND/Sounds.dxw",
                             "/work/DAT/LEVEL.DAT", "DAT//LEVEL.DAT"}) {
        EXPECT_EQ(BadLine(std::string("#demo 2\n#data ") + path + " 0123456789abcdef\n0 elapsed 1\n0 end\n"),
                  2)
            << path;
    }
    const TDemo d = ParseDemo("#demo 2\n#data dat/level.dat 0123456789abcdef\n#data GFX/Images.dxg "
                              "0123456789abcdef\n0 elapsed 1\n0 end\n");
    ASSERT_EQ(d.Data.size(), 2u);
    EXPECT_EQ(d.Data[0].first, "DAT/LEVEL.DAT");
    EXPECT_EQ(d.Data[1].first, "GFX/Images.dxg");
}

TEST(DemoFormat, EveryKeyNameReadsBackAsTheSameKey) {
    for (int key = 1; key < 256; ++key) {
        const auto back = platform::VirtualKeyFromName(KeyName(key));
        ASSERT_TRUE(back.has_value()) << key;
        EXPECT_EQ(*back, key) << KeyName(key);
    }
    EXPECT_EQ(KeyName(VK_LEFT), "Left");
    EXPECT_EQ(KeyName('7'), "55"); // a digit name would read back as a number
}

// A headless run whose ticks last from 1 to 23 ms, recorded and played again:
// every snapshot is the same, byte for byte, and the game clock is the sum of
// the recorded tick times.
TEST(DemoRun, RecordedRunWithUnevenTicksReplaysToIdenticalSnapshots) {
    TempDir dir;
    const std::string data = dir / "data";
    test::WriteTestGame(data, 1);
    std::ostringstream script;
    uint64_t clock = 0;
    std::vector<uint64_t> clockAfter;
    for (int t = 0; t < 400; ++t) {
        const int ms = (t * 7) % 23 + 1;
        script << t << " elapsed " << ms << "\n";
        clock += static_cast<uint64_t>(ms);
        clockAfter.push_back(clock);
    }
    script << kPlayKeys;
    WriteFileBytes(dir / "keys.txt", script.str());
    const std::vector<int> ticks = {59, 150, 250, 399};
    auto states = [&](const std::string& prefix) {
        std::string args;
        for (int t : ticks)
            args += " --state " + (dir / (prefix + std::to_string(t) + ".json")) + "@" + std::to_string(t);
        return args;
    };
    const RunResult rec =
        RunGameBinary(dir, "",
                      "--headless --ticks 400 --data " + data + " --input " + (dir / "keys.txt") +
                          " --record " + (dir / "run.dem") + states("rec"));
    ASSERT_EQ(rec.exitCode, 0) << rec.errors;
    const TDemo demo = LoadDemo(dir / "run.dem");
    EXPECT_TRUE(demo.IsDemo);
    EXPECT_EQ(demo.TickCount(), 400u);
    EXPECT_EQ(demo.Elapsed.at(5), 13u);
    EXPECT_EQ(demo.Data.size(), 3u);
    EXPECT_GE(demo.Checks.size(), 6u);

    const RunResult play =
        RunGameBinary(dir, "", "--headless --data " + data + " --play " + (dir / "run.dem") + states("play"));
    ASSERT_EQ(play.exitCode, 0) << play.errors;
    for (int t : ticks) {
        const std::string recorded = ReadFileBytes(dir / ("rec" + std::to_string(t) + ".json"));
        EXPECT_EQ(ReadFileBytes(dir / ("play" + std::to_string(t) + ".json")), recorded) << "tick " << t;
        EXPECT_EQ(Field(recorded, "Time"), std::to_string(clockAfter[static_cast<size_t>(t)]));
    }
    const std::string last = ReadFileBytes(dir / "rec399.json");
    EXPECT_EQ(Field(last, "GameState"), "\"0\"");
    EXPECT_NE(Field(last, "Player"), "null");
}

// A demo meets other data, or time that does not match its checks: it says so
// and stops instead of playing something else.
TEST(DemoRun, ChangedDataOrTimesAreReportedNotPlayed) {
    TempDir dir;
    const std::string data = dir / "data";
    test::WriteTestGame(data, 1);
    WriteFileBytes(dir / "keys.txt", kPlayKeys);
    ASSERT_EQ(RunGameBinary(dir, "",
                            "--headless --ticks 360 --data " + data + " --input " + (dir / "keys.txt") +
                                " --record " + (dir / "run.dem"))
                  .exitCode,
              0);
    const std::string demo = ReadFileBytes(dir / "run.dem");

    // One tick 30 ms longer: the player is elsewhere at the next check.
    std::string slow = demo;
    const size_t at = slow.find("\n200 elapsed 16\n");
    ASSERT_NE(at, std::string::npos);
    slow.replace(at, 16, "\n200 elapsed 46\n");
    WriteFileBytes(dir / "slow.dem", slow);
    RunResult r = RunGameBinary(dir, "", "--headless --data " + data + " --play " + (dir / "slow.dem"));
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.errors.find("out of step at tick 239"), std::string::npos) << r.errors;

    // The settings changed since the recording: nothing is played.
    std::string global = ReadFileBytes(data + "/DAT/GLOBAL.INI");
    global += "\n[Player]\nLives=5\n";
    WriteFileBytes(data + "/DAT/GLOBAL.INI", global);
    r = RunGameBinary(dir, "",
                      "--headless --data " + data + " --play " + (dir / "run.dem") + " --state " +
                          (dir / "never.json") + "@0");
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.errors.find("other game data (DAT/GLOBAL.DAT"), std::string::npos) << r.errors;
    EXPECT_FALSE(fs::exists(dir / "never.json"));

    // An input script is no demo, and a demo brings its own keys.
    EXPECT_EQ(RunGameBinary(dir, "", "--headless --data " + data + " --play " + (dir / "keys.txt")).exitCode,
              2);
    EXPECT_EQ(RunGameBinary(dir, "", "--headless --play a --input b").exitCode, 2);
    EXPECT_EQ(RunGameBinary(dir, "", "--headless --play a --record b").exitCode, 2);
}

// A demo cut short plays as far as it goes and then says where it was cut,
// with exit code 3; a demo of format 1 plays whole, with a word in the log.
TEST(DemoRun, ACutDemoPlaysAsFarAsItGoesAndSaysWhere) {
    TempDir dir;
    const std::string data = dir / "data";
    test::WriteTestGame(data, 1);
    WriteFileBytes(dir / "keys.txt", kPlayKeys);
    ASSERT_EQ(RunGameBinary(dir, "",
                            "--headless --ticks 200 --data " + data + " --input " + (dir / "keys.txt") +
                                " --record " + (dir / "run.dem"))
                  .exitCode,
              0);
    const std::string demo = ReadFileBytes(dir / "run.dem");
    ASSERT_GE(demo.size(), 20u);
    const size_t endLine = demo.rfind("\n199 end\n");
    ASSERT_NE(endLine, std::string::npos) << demo.substr(demo.size() - 20);
    const int lines = static_cast<int>(std::count(demo.begin(), demo.end(), '\n'));

    struct Cut {
        std::string text;
        int line;
    };
    const Cut cuts[] = {{demo.substr(0, endLine + 1), lines},
                        {demo.substr(0, endLine + 5), lines},
                        {demo.substr(0, demo.rfind("\n", endLine - 1) + 4), lines - 1}};
    for (const Cut& cut : cuts) {
        WriteFileBytes(dir / "cut.dem", cut.text);
        const RunResult r = RunGameBinary(dir, "",
                                          "--headless --data " + data + " --play " + (dir / "cut.dem") +
                                              " --state " + (dir / "s.json") + "@150");
        EXPECT_EQ(r.exitCode, 3) << r.errors;
        EXPECT_NE(r.errors.find("cut short at line " + std::to_string(cut.line)), std::string::npos)
            << r.errors;
        EXPECT_TRUE(fs::exists(dir / "s.json"));
        fs::remove(dir / "s.json");
    }

    // The same run as format 1 wrote it: no end line, and it plays whole.
    std::string old = demo.substr(0, endLine + 1);
    old.replace(0, 7, "#demo 1");
    WriteFileBytes(dir / "old.dem", old);
    const RunResult r = RunGameBinary(dir, "", "--headless --data " + data + " --play " + (dir / "old.dem"));
    EXPECT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_NE(r.errors.find("format 1"), std::string::npos) << r.errors;
}

// Closing the terminal while recording ends the run as SIGTERM does: the
// demo is whole, with its end line, and plays. A crash (SIGKILL) leaves every
// whole line written, and the demo plays as far as it goes.
TEST(DemoRun, RecordingSurvivesAHangUpAndACrash) {
    TempDir dir;
    const std::string data = dir / "data";
    test::WriteTestGame(data, 1);
    RunGameBinary(dir, "timeout -s HUP 1 ", "--headless --data " + data + " --record " + (dir / "hup.dem"));
    const std::string hup = ReadFileBytes(dir / "hup.dem");
    const size_t last = hup.rfind('\n', hup.size() - 2);
    ASSERT_NE(last, std::string::npos) << hup;
    EXPECT_NE(hup.substr(last + 1).find(" end\n"), std::string::npos) << hup.substr(last + 1);
    EXPECT_EQ(LoadDemo(dir / "hup.dem").CutShortAtLine, 0);
    RunResult r = RunGameBinary(dir, "", "--headless --data " + data + " --play " + (dir / "hup.dem"));
    EXPECT_EQ(r.exitCode, 0) << r.errors;

    RunGameBinary(dir, "timeout -s KILL 1 ", "--headless --data " + data + " --record " + (dir / "kill.dem"));
    const std::string killed = ReadFileBytes(dir / "kill.dem");
    ASSERT_FALSE(killed.empty());
    EXPECT_EQ(killed.back(), '\n') << "only whole lines are written";
    const TDemo partial = LoadDemo(dir / "kill.dem");
    EXPECT_GT(partial.TickCount(), 10u);
    r = RunGameBinary(dir, "", "--headless --data " + data + " --play " + (dir / "kill.dem"));
    EXPECT_EQ(r.exitCode, 3) << r.errors;
    EXPECT_NE(r.errors.find("cut short at line"), std::string::npos) << r.errors;
}

// The real window on a virtual display, with its real and uneven tick times:
// the demo plays headless to the same final state.
TEST(DemoRun, RealWindowRecordingReplaysHeadless) {
    if (std::system("command -v Xvfb >/dev/null 2>&1") != 0) GTEST_SKIP() << "no Xvfb";
    TempDir dir;
    const std::string data = dir / "data";
    test::WriteTestGame(data, 1);
    WriteFileBytes(dir / "keys.txt", kPlayKeys);
    // The window reads and writes the user's folders: a home of the test's own.
    const std::string home = dir / "home";
    const RunResult rec =
        RunGameBinary(dir,
                      "HOME=" + home + " XDG_CONFIG_HOME=" + home + "/.config XDG_DATA_HOME=" + home +
                          "/.local/share SDL_VIDEODRIVER=x11 SDL_FRAMEBUFFER_ACCELERATION=0 "
                          "SDL_RENDER_DRIVER=software timeout 60 " + test::SourceDir() + "/tests/support/virtual-x.sh ",
                      "--ticks 360 --data " + data + " --input " + (dir / "keys.txt") + " --record " +
                          (dir / "run.dem") + " --state " + (dir / "window.json") + "@359");
    ASSERT_EQ(rec.exitCode, 0) << rec.errors;
    EXPECT_TRUE(fs::exists(home + "/.config/varnok/keys.conf")) << "the window's first run writes the key file";
    const TDemo demo = LoadDemo(dir / "run.dem");
    std::set<uint32_t> times;
    for (const auto& [tick, ms] : demo.Elapsed)
        times.insert(ms);
    EXPECT_GT(times.size(), 1u) << "a real window's ticks are not all alike";

    const RunResult play = RunGameBinary(dir, "",
                                         "--headless --data " + data + " --play " + (dir / "run.dem") +
                                             " --state " + (dir / "headless.json") + "@359");
    ASSERT_EQ(play.exitCode, 0) << play.errors;
    // The same game; only the window's scale of the picture is the window's own.
    auto game = [](std::string json) {
        const size_t at = json.find("  \"Scale\": ");
        if (at != std::string::npos) json.erase(at, json.find('\n', at) + 1 - at);
        return json;
    };
    EXPECT_EQ(game(ReadFileBytes(dir / "headless.json")), game(ReadFileBytes(dir / "window.json")));
}
