#pragma once
// The game's side of level making in Tiled: a level of the game's data
// written as a map (with its pictures), a new empty map, a map made playable
// as the only level of a run, and a map put into the user's own level list.
// The map reader and writer, the checks and the store writers are the level
// compiler's (levelsource/): one set of level rules for both.
#include "levelsource/Checker.h"
#include "levelsource/LevelSource.h"
#include "levelsource/Settings.h"

#include <string>
#include <vector>

namespace varnok {

class TMemIniFileCrypted;
class TPictureCollection;

// Level n of the game's stores as a level model (what levelc had read from
// its source).
levelc::LevelSource LevelFromStores(const TMemIniFileCrypted& levelStore,
                                    const TMemIniFileCrypted& globalStore, int n);
// The game's settings store as levelc's settings.
levelc::Settings SettingsFromStore(const TMemIniFileCrypted& globalStore);
// Pattern sizes of the game's pictures, for the walk-through.
levelc::SpriteSizes SpriteSizesFromImages(const TPictureCollection& images);

// Writes the level as DIR/STEM.tmx with its pictures STEM-tiles.png,
// STEM-bounds.png and STEM-actors.png beside it. Returns the map's path.
// Raises Exception (with every problem) when the level cannot be written.
std::string WriteLevelMap(const levelc::LevelSource& level, const std::string& dir, const std::string& stem,
                          const TMemIniFileCrypted& globalStore, const TPictureCollection& images);

// The game data a map becomes, checked as levelc checks a level.
struct TMapLevel {
    std::string Path;
    levelc::LevelSource Level;
    std::vector<std::string> Errors;
    std::vector<std::string> Warnings;
    bool Ok() const { return Errors.empty(); }
};
// The last check of a map's playfield: a map saved again with the same
// playfield, actors and settings (only its pictures changed) is not walked
// through again.
struct TCheckCache {
    std::string Key;
    std::vector<std::string> Errors;
    std::vector<std::string> Warnings;
};
// Reads and checks the map as level `number` of the game whose stores and
// pictures are given (the stores are not changed).
TMapLevel ReadMapLevel(const std::string& path, int number, const TMemIniFileCrypted& globalStore,
                       const TPictureCollection& images, TCheckCache* cache = nullptr);

// The same from the game's settings and picture sizes, touching no store: it
// may run on a thread of its own while the game plays.
TMapLevel CheckMapLevel(const std::string& path, int number, levelc::Settings settings,
                        const levelc::SpriteSizes& sizes, TCheckCache* cache = nullptr);

// Makes the stores hold the map as their only level: the level store is
// replaced, the settings store gets the level's name, music, texts and
// switches, and starts at level 1.
void UseMapAsOnlyLevel(const TMapLevel& map, TMemIniFileCrypted& levelStore, TMemIniFileCrypted& globalStore);

// The command-line tools (each prints what it did or why not, and returns
// the process exit code).
int ExportLevelCommand(int n, const std::string& dir);
int NewLevelCommand(const std::string& path);
// Puts the map into the user's level list: as level `replace` (1..count) or,
// with 0, after the last level.
int InstallLevelCommand(const std::string& path, int replace);

} // namespace varnok
