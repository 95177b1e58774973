#pragma once
// Command-line options of the game binary and the headless test harness:
// simulated time, scripted keys, screenshots and state snapshots at chosen
// ticks.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace varnok {

class TMainForm;

struct TTickOutput {
    std::string Path;
    uint64_t Tick = 0;
};

struct TScriptedKey {
    int Key = 0;
    bool Down = false;
};

struct THarnessOptions {
    // Parameters as the game sees them (the first may be the debug switch).
    std::vector<std::string> Params;
    // Words after the first parameter that are no option: they have no
    // effect, and the debug log says so.
    std::vector<std::string> Ignored;
    bool Headless = false;
    uint32_t TickMs = 16;
    std::optional<uint64_t> Ticks;
    std::string InputFile;
    std::vector<TTickOutput> Screenshots;
    std::vector<TTickOutput> States;
    // Menu commands by name, run at their tick (Path holds the name).
    std::vector<TTickOutput> Actions;
    std::string DataDir;
    // The level the title's "Start" begins with, as the debug level menu
    // chooses it (0: the settings' own start level).
    uint32_t StartLevel = 0;
    // Demo recording and playback (see app/Demo.h).
    std::string RecordFile;
    std::string PlayFile;
    // The key binding file (the window uses the user's own without it).
    std::string KeysFile;
    // A Tiled map played as the game's only level, reloaded when saved anew.
    std::string MapFile;
    // Level making: write level N as a map into a folder, write a new map,
    // put a map into the user's level list (as level StartLevel, else after
    // the last).
    uint32_t ExportLevel = 0;
    std::string ExportDir;
    std::string NewLevelFile;
    std::string InstallLevelFile;
    // --help and --version: print and end.
    bool Help = false;
    bool Version = false;
};

// Parses argv. Returns an error text (empty on success) in error.
THarnessOptions ParseHarnessOptions(int argc, char** argv, std::string& error);
std::string HarnessUsage();

// Scripted key events by tick: lines "TICK down KEY" or "TICK up KEY"; empty
// lines and lines starting with "#" are skipped, as are the other lines a
// demo may hold and keys of the keyboard ("press", "release"). Raises EFileError on a bad line.
std::multimap<uint64_t, TScriptedKey> ParseInputScript(const std::string& text);
std::multimap<uint64_t, TScriptedKey> LoadInputScript(const std::string& path);

// The state snapshot of the running game as JSON.
std::string StateJson(TMainForm& form, uint64_t tick);

// Sends what the game writes to the user's data folder when the program
// folder (or its DAT or GFX folder) cannot be written.
void UseUserDataFolderWhenReadOnly();

// A hash of the state snapshot after a tick, as demos check it.
std::string StateHash(TMainForm& form, uint64_t tick);

// Runs the game's message loop until the program ends or the tick limit is
// reached. Returns the process exit code.
int RunGame(const THarnessOptions& options);

} // namespace varnok
