// The game binary end to end, headless: options, scripted keys, screenshots
// and state snapshots.
#include "app/Harness.h"
#include "common/Exception.h"
#include "common/Image.h"
#include "tests/support/TestData.h"
#include "tests/support/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>

using namespace varnok;
namespace fs = std::filesystem;

namespace {

struct RunResult {
    int exitCode = -1;
    std::string errors;
};

// Runs the game binary with the arguments; standard error is captured.
RunResult RunVarnok(const test::TempDir& dir, const std::string& args) {
    const std::string err = dir / "stderr.txt";
    const std::string cmd = test::BinaryDir() + "/varnok " + args + " 2>" + err + " >/dev/null";
    const int status = std::system(cmd.c_str());
    RunResult r;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (fs::exists(err)) r.errors = test::ReadFileBytes(err);
    return r;
}

// A data folder with plain settings files, as a level maker would have it.
void MakeDataFolder(const test::TempDir& dir) {
    test::WriteTestDataFolder(dir / "data", "[Global]\nTileCount=1\n", "[Game]\nStartLevel=1\n[Menu]\nStart=Los\n");
}

} // namespace

TEST(HarnessOptions, ParsesEveryOptionAndRejectsBadOnes) {
    const char* argv[] = {"varnok",       "-kv3916",    "--headless",    "--tick-ms", "20",
                          "--ticks",      "100",        "--input",       "keys.txt",  "--screenshot",
                          "a.png@5",      "--screenshot", "b@c.png@7",   "--state",   "s.json@99",
                          "--data",       "/tmp/d",     "--action",      "ActionAboutInfo@3"};
    std::string error;
    THarnessOptions o = ParseHarnessOptions(static_cast<int>(std::size(argv)), const_cast<char**>(argv), error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(o.Params.front(), "-kv3916");
    EXPECT_TRUE(o.Headless);
    EXPECT_EQ(o.TickMs, 20u);
    EXPECT_EQ(o.Ticks, 100u);
    EXPECT_EQ(o.InputFile, "keys.txt");
    ASSERT_EQ(o.Screenshots.size(), 2u);
    EXPECT_EQ(o.Screenshots[1].Path, "b@c.png");
    EXPECT_EQ(o.Screenshots[1].Tick, 7u);
    EXPECT_EQ(o.States[0].Tick, 99u);
    EXPECT_EQ(o.DataDir, "/tmp/d");
    ASSERT_EQ(o.Actions.size(), 1u);
    EXPECT_EQ(o.Actions[0].Path, "ActionAboutInfo");
    EXPECT_EQ(o.Actions[0].Tick, 3u);

    for (std::vector<const char*> bad : {std::vector<const char*>{"varnok", "--ticks"},
                                         {"varnok", "--ticks", "-1"},
                                         {"varnok", "--tick-ms", "0"},
                                         {"varnok", "--screenshot", "x.png"},
                                         {"varnok", "--state", "x@"},
                                         {"varnok", "--action", "ActionAboutInfo"},
                                         {"varnok", "--bogus"}}) {
        ParseHarnessOptions(static_cast<int>(bad.size()), const_cast<char**>(bad.data()), error);
        EXPECT_NE(error, "") << bad.back();
    }
}

// Only the first parameter is the game's: a later word that is no option
// has no effect (the debug switch in second place included) and is noted,
// while an unknown option still ends the program.
TEST(HarnessOptions, WordsAfterTheFirstParameterAreIgnored) {
    auto parse = [](std::vector<const char*> args, std::string& error) {
        return ParseHarnessOptions(static_cast<int>(args.size()), const_cast<char**>(args.data()), error);
    };
    std::string error;
    THarnessOptions o = parse({"varnok", "foo", "-KV3916"}, error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(o.Params, std::vector<std::string>{"foo"});
    EXPECT_EQ(o.Ignored, std::vector<std::string>{"-KV3916"});
    o = parse({"varnok", "--headless", "-KV3916", "--ticks", "5", "bar"}, error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(o.Params.front(), "--headless");
    EXPECT_EQ(o.Ticks, 5u);
    EXPECT_EQ(o.Ignored, (std::vector<std::string>{"-KV3916", "bar"}));
    o = parse({"varnok", "level.tmx", "-KV3916"}, error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(o.MapFile, "level.tmx");
    EXPECT_TRUE(o.Params.empty()) << "a later word never becomes the first parameter";
    parse({"varnok", "-KV3916", "--bogus"}, error);
    EXPECT_NE(error, "");

    test::TempDir dir;
    MakeDataFolder(dir);
    const RunResult r = RunVarnok(dir, "--headless -KV3916 --ticks 5 --data " + (dir / "data") + " --state " +
                                           (dir / "s.json") + "@4");
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    const std::string state = test::ReadFileBytes(dir / "s.json");
    EXPECT_NE(state.find("\"DebugSwitch\": false"), std::string::npos) << state;
    EXPECT_NE(state.find("Parameter '-KV3916' ignored"), std::string::npos) << state;
}

TEST(HarnessOptions, InputScriptLines) {
    auto script = ParseInputScript("# comment\n\n10 down Left\r\n10 up Left\n200 down 27\n");
    ASSERT_EQ(script.size(), 3u);
    auto [first, end] = script.equal_range(10);
    EXPECT_EQ(first->second.Key, 37);
    EXPECT_TRUE(first->second.Down);
    EXPECT_FALSE(std::next(first)->second.Down); // order within a tick is kept
    EXPECT_EQ(script.find(200)->second.Key, 27);
    EXPECT_THROW(ParseInputScript("10 hit Left\n"), EFileError);
    EXPECT_THROW(ParseInputScript("x down Left\n"), EFileError);
    EXPECT_THROW(ParseInputScript("10 down Nothing\n"), EFileError);
    EXPECT_THROW(ParseInputScript("10 down Left extra\n"), EFileError);
}

TEST(HarnessRun, TitleScreenshotAndStateAfterSixtyTicks) {
    test::TempDir dir;
    MakeDataFolder(dir);
    const RunResult r = RunVarnok(dir, "--headless --ticks 60 --data " + (dir / "data") + " --screenshot " +
                                           (dir / "out.png") + "@59 --state " + (dir / "s.json") + "@59");
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    const std::string state = test::ReadFileBytes(dir / "s.json");
    EXPECT_NE(state.find("\"GameState\": \" \""), std::string::npos) << state;
    EXPECT_NE(state.find("\"Tick\": 59"), std::string::npos);
    EXPECT_NE(state.find("\"Time\": 960"), std::string::npos); // 60 ticks of 16 ms
    test::KeepForInspection(dir / "out.png", "harness-title.png");
    const RgbaImage shot = ReadPng(dir / "out.png");
    ASSERT_EQ(shot.Width, 640);
    ASSERT_EQ(shot.Height, 480);
    // The title picture (its yellow bar) and the entries drawn over it with
    // the large font: "Start" selected at full strength, "Exit" at half.
    const uint8_t* bar = shot.At(130, 110);
    EXPECT_GT(bar[0], 240);
    EXPECT_GT(bar[1], 190);
    const uint8_t* start = shot.At(320 - 60 + 16, 220 + 31); // bottom row of the first glyph of "Los"
    const uint8_t* exit = shot.At(320 - 80 + 16, 340 + 31);
    EXPECT_GT(start[0], 240);
    EXPECT_GT(start[0], exit[0] + 60);
    // The plain settings were converted into the enciphered data files.
    EXPECT_TRUE(fs::exists(dir / "data/DAT/LEVEL.DAT"));
    EXPECT_TRUE(fs::exists(dir / "data/DAT/GLOBAL.DAT"));
}

TEST(HarnessRun, EscapeAfterTheLockOutEndsTheGameButNotBefore) {
    test::TempDir dir;
    MakeDataFolder(dir);
    // Tick 20 is 336 ms after the title opened: swallowed. Tick 35 (576 ms) moves
    // the selection, tick 40 (656 ms) ends the game.
    test::WriteFileBytes(dir / "keys.txt", "20 down Escape\n20 up Escape\n35 down Down\n40 down Escape\n");
    const RunResult r = RunVarnok(dir, "--headless --ticks 100 --data " + (dir / "data") + " --input " +
                                           (dir / "keys.txt") + " --state " + (dir / "a.json") + "@38 --state " +
                                           (dir / "b.json") + "@60");
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    const std::string a = test::ReadFileBytes(dir / "a.json");
    EXPECT_NE(a.find("\"GameState\": \"!\""), std::string::npos) << a; // Down was taken
    EXPECT_FALSE(fs::exists(dir / "b.json"));                            // the game had ended
}

// A screenshot or state that cannot be written fails the run with a message
// naming it (exit code 2), and one asked for after the last tick is refused
// before the run.
TEST(HarnessRun, OutputsThatCannotBeWrittenFailTheRun) {
    test::TempDir dir;
    MakeDataFolder(dir);
    const std::string run = "--headless --ticks 10 --data " + (dir / "data");
    for (const std::string& output :
         {std::string("--state /dev/full@5"), "--state " + (dir / "no/such/folder/s.json") + "@3",
          "--screenshot " + (dir / "no/such/folder/s.png") + "@3", std::string("--screenshot /dev/full@4")}) {
        const RunResult r = RunVarnok(dir, run + " " + output);
        EXPECT_EQ(r.exitCode, 2) << output << "\n" << r.errors;
        const std::string path = output.substr(output.find(' ') + 1, output.find('@') - output.find(' ') - 1);
        EXPECT_NE(r.errors.find(path), std::string::npos) << r.errors;
    }
    // The good outputs of the same run are still made.
    RunResult r = RunVarnok(dir, run + " --state /dev/full@5 --state " + (dir / "s.json") + "@6");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(fs::exists(dir / "s.json"));

    for (const char* late : {"--state x.json@10", "--screenshot x.png@50", "--action ActionAboutInfo@11"}) {
        r = RunVarnok(dir, run + " " + late);
        EXPECT_EQ(r.exitCode, 2) << late;
        EXPECT_NE(r.errors.find("comes after the last tick"), std::string::npos) << r.errors;
    }
    EXPECT_FALSE(fs::exists("x.json"));
}

TEST(HarnessRun, MissingDataAndBadOptionsEndWithMessages) {
    test::TempDir dir;
    fs::create_directories(dir / "empty");
    RunResult r = RunVarnok(dir, "--headless --ticks 5 --data " + (dir / "empty"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.errors.find("Missing data files!"), std::string::npos) << r.errors;

    MakeDataFolder(dir);
    fs::remove(dir / "data/GFX/Images.dxg");
    r = RunVarnok(dir, "--headless --ticks 5 --data " + (dir / "data"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.errors.find("Images.dxg"), std::string::npos) << r.errors;

    // A store without levels ends the program when a game starts.
    test::TempDir noLevels;
    test::WriteTestDataFolder(noLevels / "data", "[Global]\nTileCount=0\n", "");
    test::WriteFileBytes(noLevels / "keys.txt", "40 down Enter\n");
    r = RunVarnok(noLevels, "--headless --ticks 100 --data " + (noLevels / "data") + " --input " +
                                (noLevels / "keys.txt") + " --state " + (noLevels / "s.json") + "@60");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.errors.find("Keine Tiles definiert!"), std::string::npos) << r.errors;
    EXPECT_FALSE(fs::exists(noLevels / "s.json"));

    r = RunVarnok(dir, "--headless --frobnicate");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.errors.find("usage: varnok"), std::string::npos);

    test::WriteFileBytes(dir / "bad.txt", "1 sideways Left\n");
    r = RunVarnok(dir, "--headless --ticks 5 --input " + (dir / "bad.txt"));
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.errors.find("input script line 1"), std::string::npos) << r.errors;
}

TEST(HarnessRun, AltEnterSwitchesTheSimulatedDisplayAndTheSnapshotTellsIt) {
    test::TempDir dir;
    test::WriteTestGame(dir / "data", 1);
    // Start the level, play, full screen at tick 100, back at tick 200.
    test::WriteFileBytes(dir / "keys.txt", "40 down Return\n40 up Return\n80 down Space\n80 up Space\n"
                                           "100 down Alt\n100 down Return\n100 up Return\n100 up Alt\n"
                                           "200 down Alt\n200 down Return\n200 up Return\n200 up Alt\n");
    const RunResult r =
        RunVarnok(dir, "--headless --ticks 210 --data " + (dir / "data") + " --input " + (dir / "keys.txt") +
                           " --state " + (dir / "a.json") + "@99 --state " + (dir / "b.json") + "@150 --state " +
                           (dir / "c.json") + "@205");
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    const std::string a = test::ReadFileBytes(dir / "a.json"), b = test::ReadFileBytes(dir / "b.json"),
                      c = test::ReadFileBytes(dir / "c.json");
    for (const std::string* window : {&a, &c}) {
        EXPECT_NE(window->find("\"FullScreen\": false"), std::string::npos) << *window;
        EXPECT_NE(window->find("\"MenuVisible\": true"), std::string::npos);
        EXPECT_NE(window->find("\"WindowModeChecked\": true"), std::string::npos);
    }
    EXPECT_NE(b.find("\"FullScreen\": true"), std::string::npos) << b;
    EXPECT_NE(b.find("\"MenuVisible\": false"), std::string::npos);
    EXPECT_NE(b.find("\"WindowModeChecked\": false"), std::string::npos);
    EXPECT_NE(b.find("\"Scale\": 2"), std::string::npos); // 1920 x 1080 holds the picture twice
    for (const std::string* s : {&a, &b, &c}) EXPECT_NE(s->find("\"GameState\": \"0\""), std::string::npos) << *s;
}

TEST(HarnessRun, MenuActionsRecordTheirMessageBoxesAndDialogs) {
    test::TempDir dir;
    MakeDataFolder(dir);
    const RunResult r =
        RunVarnok(dir, "-KV3916 --headless --ticks 10 --data " + (dir / "data") + " --action ActionAboutInfo@2" +
                           " --action ActionEditInternals@3 --action ActionDirectXInfo@4 --state " + (dir / "a.json") +
                           "@1 --state " + (dir / "b.json") + "@9");
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    const std::string a = test::ReadFileBytes(dir / "a.json");
    EXPECT_NE(a.find("\"MessageBoxes\": [],"), std::string::npos) << a;
    EXPECT_NE(a.find("\"DebugWindowVisible\": false"), std::string::npos) << a;
    const std::string b = test::ReadFileBytes(dir / "b.json");
    EXPECT_NE(b.find("\"MessageBoxes\": [{\"Caption\": \"VARNOK (freeware version)\", \"Text\": "
                     "\"VARNOK (freeware version) Beta 1 (Build 1.0.0.142)\\r\\n\\r\\neMail: "),
              std::string::npos)
        << b;
    EXPECT_NE(b.find("\"Dialogs\": [\"Internal data\", \"DirectX Info\"]"), std::string::npos) << b;
    // The About text also went to standard error, as every message box does without a display.
    EXPECT_NE(r.errors.find("Beta 1 (Build 1.0.0.142)"), std::string::npos) << r.errors;

    // The store names a level it does not hold: the failed start's error
    // reaches the debug window's text and shows the window.
    test::WriteFileBytes(dir / "keys.txt", "40 down Enter\n40 up Enter\n");
    const RunResult c = RunVarnok(dir, "--headless --ticks 50 --data " + (dir / "data") + " --input " +
                                           (dir / "keys.txt") + " --state " + (dir / "c.json") + "@45");
    ASSERT_EQ(c.exitCode, 0) << c.errors;
    const std::string cs = test::ReadFileBytes(dir / "c.json");
    EXPECT_NE(cs.find("\"DebugLog\": \"\\r\\n"), std::string::npos) << cs;
    EXPECT_NE(cs.find("\"DebugWindowVisible\": true"), std::string::npos) << cs;

    // A command the player could not give (its menu hidden without the debug
    // switch) is not run and fails the run.
    const RunResult hidden =
        RunVarnok(dir, "--headless --ticks 10 --data " + (dir / "data") +
                           " --action ActionEditInternals@3 --state " + (dir / "h.json") + "@9");
    EXPECT_EQ(hidden.exitCode, 2);
    EXPECT_NE(hidden.errors.find("ActionEditInternals@3: not run: the menu Debug is hidden"),
              std::string::npos)
        << hidden.errors;
    EXPECT_NE(test::ReadFileBytes(dir / "h.json").find("\"Dialogs\": []"), std::string::npos);

    const RunResult bad = RunVarnok(dir, "--headless --ticks 5 --data " + (dir / "data") + " --action NoSuchAction@1");
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_NE(bad.errors.find("NoSuchAction"), std::string::npos) << bad.errors;
}
