#pragma once
// Checks a level the way a player meets it: the tags on the playfield make
// sense together, and the exit can be reached from the start with the
// player's physics (walking, jumping, falling, slopes, springboards, moving
// platforms, auto-move paths, switches, keycards, breakable blocks and grates).
#include "levelsource/Diagnostics.h"
#include "levelsource/LevelSource.h"
#include "levelsource/Settings.h"

#include <map>
#include <string>
#include <utility>

namespace varnok::levelc {

// Pattern sizes of the pictures the walk-through needs, by picture name.
struct SpriteSizes {
    std::map<std::string, std::pair<int, int>> sizes; // upper-case name -> width, height
    std::pair<int, int> Get(const std::string& name, std::pair<int, int> def) const;
};
// A file of lines "Name = WIDTH HEIGHT" (';' starts a comment line).
SpriteSizes ReadSpriteSizes(const std::string& path, Diagnostics& diag);

// What the walk-through found.
struct WalkResult {
    bool exitReached = false;
    int itemsTotal = 0;   // points, goodies and keycards on the playfield
    int itemsReached = 0; // of these, the ones the player can touch
    int states = 0;       // standing places explored
};

// After a switch, keycard or trigger changes the playfield, the walk-through
// goes again from the standing places whose walks came near a change
// (Affected), or from every one (Everything: slower, the same result).
enum class Rewalk { Affected, Everything };

// Static checks of the playfield, then the walk-through. Errors and warnings
// go to diag; an unreachable exit is an error.
WalkResult CheckLevel(const LevelSource& level, const Settings& settings, const SpriteSizes& sizes,
                      Diagnostics& diag, Rewalk rewalk = Rewalk::Affected);

// Is the tag one that the level population turns into something, or that
// switches and auto-move paths read?
bool KnownTag(int tag);

} // namespace varnok::levelc
