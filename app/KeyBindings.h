#pragma once
// The player's own keys: a plain text file that binds keys of the keyboard to
// the keys the game expects ("A = Left"). Keys it does not name keep their
// own meaning. The binding applies to every key event and to the keyboard
// state the input states are read from, so it works on every screen alike.
#include <array>
#include <string>
#include <vector>

namespace varnok {

struct TKeyBindings {
    // Map[physical key] = the key the game sees; 0 switches the key off.
    std::array<int, 256> Map{};
    // "LINE: what is wrong" for every line that was ignored.
    std::vector<std::string> Problems;
};

// Every key bound to itself.
std::array<int, 256> IdentityKeyMap();

// Lines "KEY = GAME_KEY" (names as the input scripts know them, or "none" on
// the right); "#" starts a comment line. A bad line is reported and ignored,
// as is a second binding of the same key.
TKeyBindings ParseKeyBindings(const std::string& text);

// The file written on the first run: every key the game uses bound to
// itself, with comments saying how to change them.
std::string DefaultKeyBindingsText();

// Reads the binding file at path. A missing file is written with the
// defaults first when writeDefaults is set (its folder made as needed).
// Problems go to the debug log, each with its file name and line number.
std::array<int, 256> LoadKeyBindings(const std::string& path, bool writeDefaults);

} // namespace varnok
