// The player's own keys: the binding file's lines, the defaults written on the
// first run, bad lines in the debug log, and rebound keys working on the
// title, in the game, on the summary, on the game-over message and in the
// credits.
#include "app/KeyBindings.h"
#include "common/DebugLog.h"
#include "platform/Keys.h"
#include "tests/support/TestData.h"
#include "tests/support/TestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>

using namespace varnok;
using varnok::test::ReadFileBytes;
using varnok::test::TempDir;
using varnok::test::WriteFileBytes;
namespace fs = std::filesystem;

namespace {

std::string Field(const std::string& json, const std::string& name) {
    const size_t at = json.find("\"" + name + "\": ");
    if (at == std::string::npos) return "";
    const size_t start = at + name.size() + 4;
    return json.substr(start, json.find_first_of(",\n", start) - start);
}

} // namespace

TEST(KeyBindings, LinesBindKeysAndBadOnesAreReportedByNumber) {
    const TKeyBindings b = ParseKeyBindings("# mine\r\n\n  a = left \nLeft = none\nnum5=Enter\n65 = Right\n"
                                            "nonsense\nQ = Sideways\nUp = \nF13 = Up\n");
    EXPECT_EQ(b.Map['A'], VK_LEFT);
    EXPECT_EQ(b.Map[VK_LEFT], 0);
    EXPECT_EQ(b.Map[VK_NUMPAD5], VK_RETURN);
    EXPECT_EQ(b.Map[VK_RIGHT], VK_RIGHT) << "keys not named keep their meaning";
    EXPECT_EQ(b.Map['Q'], 'Q');
    ASSERT_EQ(b.Problems.size(), 5u);
    EXPECT_EQ(b.Problems[0].rfind("6: ", 0), 0u) << b.Problems[0]; // "65" is A again: the first stays
    EXPECT_EQ(b.Problems[1].rfind("7: ", 0), 0u) << b.Problems[1];
    EXPECT_EQ(b.Problems[2].rfind("8: ", 0), 0u) << b.Problems[2];
    EXPECT_EQ(b.Problems[3].rfind("9: ", 0), 0u) << b.Problems[3];
    EXPECT_EQ(b.Problems[4].rfind("10: ", 0), 0u) << b.Problems[4];
}

TEST(KeyBindings, DefaultsAreWrittenOnceAndBindEveryKeyToItself) {
    TempDir dir;
    const std::string path = dir / "config/varnok/keys.conf";
    EXPECT_EQ(LoadKeyBindings(path, false), IdentityKeyMap());
    EXPECT_FALSE(fs::exists(path)) << "written only when asked";
    EXPECT_EQ(LoadKeyBindings(path, true), IdentityKeyMap());
    const std::string written = ReadFileBytes(path);
    EXPECT_EQ(written, DefaultKeyBindingsText());
    const TKeyBindings defaults = ParseKeyBindings(written);
    EXPECT_TRUE(defaults.Problems.empty());
    EXPECT_EQ(defaults.Map, IdentityKeyMap());
    EXPECT_NE(written.find("# "), std::string::npos);
    for (const char* key :
         {"Left = Left", "Ctrl = Ctrl", "Enter = Enter", "Escape = Escape", "P = P", "F12 = F12"})
        EXPECT_NE(written.find(key), std::string::npos) << key;

    // The player's own file is read as it is, never replaced.
    WriteFileBytes(path, "A = Left\nbroken\n");
    DebugLog().Clear();
    DebugLog().SetEcho(false);
    const auto map = LoadKeyBindings(path, true);
    DebugLog().SetEcho(true);
    EXPECT_EQ(map['A'], VK_LEFT);
    EXPECT_EQ(ReadFileBytes(path), "A = Left\nbroken\n");
    ASSERT_EQ(DebugLog().Lines().size(), 1u);
    EXPECT_NE(DebugLog().Lines()[0].find("keys.conf line 2:"), std::string::npos) << DebugLog().Lines()[0];
}

// Lines of a broken file are quoted with their control bytes escaped: none
// of them reaches the terminal or the debug window as it is.
TEST(KeyBindings, ControlBytesOfBadLinesAreEscaped) {
    const TKeyBindings b = ParseKeyBindings(std::string("\x1b[31mred\a\n\x1b]0;title\x07 = Left\nA = \x9b"
                                                        "2J\nB = Left\nB\x7f = Up\n"));
    ASSERT_EQ(b.Problems.size(), 4u);
    for (const std::string& problem : b.Problems) {
        for (unsigned char c : problem)
            EXPECT_FALSE(c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)) << problem;
    }
    EXPECT_NE(b.Problems[0].find("'\\x1b[31mred\\x07'"), std::string::npos) << b.Problems[0];
    EXPECT_NE(b.Problems[2].find("'\\x9b2J'"), std::string::npos) << b.Problems[2];
}

// A link to a file that does not exist stays a link: the defaults are not
// written over it, and the debug log says so.
TEST(KeyBindings, ADanglingLinkIsLeftAlone) {
    TempDir dir;
    const std::string path = dir / "keys.conf";
    fs::create_symlink(dir / "dotfiles/keys.conf", path);
    DebugLog().Clear();
    DebugLog().SetEcho(false);
    EXPECT_EQ(LoadKeyBindings(path, true), IdentityKeyMap());
    DebugLog().SetEcho(true);
    EXPECT_TRUE(fs::is_symlink(path));
    EXPECT_FALSE(fs::exists(dir / "dotfiles"));
    ASSERT_EQ(DebugLog().Lines().size(), 1u);
    EXPECT_NE(
        DebugLog().Lines()[0].find("is a link to " + (dir / "dotfiles/keys.conf") + ", which does not exist"),
        std::string::npos)
        << DebugLog().Lines()[0];
}

// One run through every screen with rebound keys only: W is Enter, Q Escape,
// D Right, S Down, and the Left arrow is switched off.
TEST(KeyBindings, ReboundKeysWorkOnEveryScreen) {
    TempDir dir;
    const std::string data = dir / "data";
    test::WriteTestGame(data, 1);
    WriteFileBytes(dir / "keys.conf", "W = Enter\nQ = Escape\nD = Right\nS = Down\nLeft = none\nbogus\n");
    // press/release: keys of the keyboard, through the bindings.
    WriteFileBytes(dir / "script.txt", "60 press W\n61 release W\n130 press D\n131 release D\n"
                                       "150 press Left\n200 release Left\n210 press D\n700 release D\n"
                                       "800 press W\n801 release W\n860 press W\n861 release W\n"
                                       "920 press S\n921 release S\n980 press W\n981 release W\n"
                                       "1040 press D\n1041 release D\n1100 press W\n1101 release W\n"
                                       "1160 press D\n1161 release D\n1200 press Q\n1201 release Q\n");
    const std::vector<std::pair<int, std::string>> expected = {
        {100, "\"1\""},  // the title's Start: get ready
        {149, "\"0\""},  // any key: playing
        {790, "\"5\""},  // walked right to the exit: the summary
        {850, "\"2\""},  // Enter after the last level: game over
        {910, "\" \""},  // Enter: back to the title
        {970, "\"!\""},  // Down: the credits entry
        {1030, "\"P\""}, // Enter: the credits
        {1090, "\" \""}, // any key: the title
        {1150, "\"1\""}, // Start again
        {1203, "\"4\""}, // Escape while playing: leaving
    };
    std::string args;
    for (const auto& [tick, state] : expected)
        args += " --state " + (dir / (std::to_string(tick) + ".json")) + "@" + std::to_string(tick);
    args += " --state " + (dir / "left.json") + "@199";
    const std::string cmd = test::BinaryDir() + "/varnok --headless --ticks 1240 --data " + data +
                            " --keys " + (dir / "keys.conf") + " --input " + (dir / "script.txt") + args +
                            " 2>" + (dir / "err.txt");
    const int status = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadFileBytes(dir / "err.txt");
    for (const auto& [tick, state] : expected)
        EXPECT_EQ(Field(ReadFileBytes(dir / (std::to_string(tick) + ".json")), "GameState"), state)
            << "tick " << tick;
    // The Left arrow did nothing: the player stands where the tap of D left him.
    EXPECT_EQ(Field(ReadFileBytes(dir / "left.json"), "Player"),
              Field(ReadFileBytes(dir / "149.json"), "Player"));
    EXPECT_NE(ReadFileBytes(dir / "err.txt").find("keys.conf line 6: expected"), std::string::npos)
        << ReadFileBytes(dir / "err.txt");
}
