// levelc: compiles the level sources into DAT/LEVEL.INI, the settings sources
// into DAT/GLOBAL.INI and DirectX.ini, and checks that every level can be
// finished.
#include "levelsource/Checker.h"
#include "levelsource/Diagnostics.h"
#include "levelsource/LevelSource.h"
#include "levelsource/Output.h"
#include "levelsource/Settings.h"
#include "levelsource/SourceText.h"
#include "levelsource/TiledMap.h"

#include "common/Exception.h"
#include "common/StrUtils.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

using namespace varnok;
using namespace varnok::levelc;
namespace fs = std::filesystem;

namespace {

const char* kHelp = R"(usage: levelc --levels DIR --settings DIR --out DIR [--check-only] [--quiet]
       levelc --help

Reads every *.lvl file of the levels folder (format: content/levels/README.md)
and every levelN.tmx file there, a Tiled map that is level N (format:
docs/levels.md; a level given both ways is an error), the tile names file the
levels name (tiles.names by default) and, when present,
sprites.ini with the picture sizes the walk-through assumes. Reads every *.ini
file of the settings folder into the game's settings and DirectX.ini there into
the display settings.

Checks each level: the legend, the map sizes, the tags, switches, keycards,
platforms and paths, and walks it with the player's physics from the start to
the exit. Then writes, in the output folder:
  DAT/LEVEL.INI    the level maps, tile sets and animations
  DAT/GLOBAL.INI   the settings with each level's name, music and info texts
  DirectX.ini      the display settings

--check-only  check, write nothing
--quiet       print errors and warnings only

Messages read "file:line:column: error: text" ("file: layer "NAME" cell X, Y:
error: text" for maps). Exit status: 0 on success,
1 when a source has an error.
)";

std::vector<std::string> FilesWithExtension(const std::string& dir, const std::string& ext) {
    std::vector<std::string> files;
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(dir, ec))
        if (e.is_regular_file() && SameText(e.path().extension().string(), ext))
            files.push_back(e.path().string());
    if (ec) throw EFileError("cannot read the folder " + dir);
    std::sort(files.begin(), files.end());
    return files;
}

bool ParseLevelNumber(const std::string& text, int& number) {
    const std::optional<int32_t> n = ParseNumber(text);
    if (!n || *n < 1 || *n > 99 || text.front() == '+' || text.front() == '0') return false;
    number = *n;
    return true;
}

void PrintMessages(const Diagnostics& diag) {
    for (const std::string& w : diag.Warnings())
        std::cerr << w << "\n";
    for (const std::string& e : diag.Errors())
        std::cerr << e << "\n";
}

int Run(int argc, char** argv) {
    std::string levelsDir, settingsDir, outDir;
    bool checkOnly = false, quiet = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) throw Exception(arg + " needs a folder");
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            std::cout << kHelp;
            return 0;
        } else if (arg == "--levels")
            levelsDir = value();
        else if (arg == "--settings")
            settingsDir = value();
        else if (arg == "--out")
            outDir = value();
        else if (arg == "--check-only")
            checkOnly = true;
        else if (arg == "--quiet")
            quiet = true;
        else
            throw Exception("unknown argument " + arg + " (see levelc --help)");
    }
    if (levelsDir.empty() || settingsDir.empty() || (outDir.empty() && !checkOnly))
        throw Exception("levelc needs --levels, --settings and --out (see levelc --help)");

    Diagnostics diag;
    std::vector<std::string> settingsFiles;
    std::string displayFile;
    for (const std::string& f : FilesWithExtension(settingsDir, ".ini")) {
        if (SameText(fs::path(f).filename().string(), "DirectX.ini"))
            displayFile = f;
        else
            settingsFiles.push_back(f);
    }
    if (displayFile.empty()) diag.Error(SourcePos{settingsDir}, "the settings folder has no DirectX.ini");
    const Settings settings = ReadSettings(settingsFiles, GameSettingsSchema(), diag);
    const Settings display =
        displayFile.empty() ? Settings{} : ReadSettings({displayFile}, DisplaySettingsSchema(), diag);

    SpriteSizes sizes;
    const std::string sizesFile = (fs::path(levelsDir) / "sprites.ini").string();
    if (fs::exists(sizesFile)) sizes = ReadSpriteSizes(sizesFile, diag);

    std::vector<LevelSource> levels;
    for (const std::string& f : FilesWithExtension(levelsDir, ".lvl"))
        levels.push_back(ParseLevelFile(f, diag));
    // Tiled maps: levelN.tmx is level N. All sheets share the layout of the
    // tile names.
    const std::vector<std::string> maps = FilesWithExtension(levelsDir, ".tmx");
    if (!maps.empty()) {
        const TileNames names = ReadTileNames((fs::path(levelsDir) / "tiles.names").string(), diag);
        MapContext context;
        context.sheetTiles = [&](const std::string&, int, int, std::string&) { return names.count; };
        for (const std::string& f : maps) {
            const std::string stem = fs::path(f).stem().string();
            int number = 0;
            if (!SameText(stem.substr(0, std::min<size_t>(stem.size(), 5)), "level") ||
                !ParseLevelNumber(stem.substr(5), number)) {
                diag.Error(SourcePos{f},
                           "a map in the levels folder is named levelN.tmx, N its level number");
                continue;
            }
            for (const LevelSource& other : levels)
                if (other.number == number)
                    diag.Error(SourcePos{f},
                               Format("level %d is given twice: here and in %s", number, other.file.c_str()));
            context.number = number;
            levels.push_back(ReadTiledMap(f, context, diag));
        }
    }
    if (levels.empty())
        diag.Error(SourcePos{levelsDir}, "the levels folder has no *.lvl or levelN.tmx files");
    std::sort(levels.begin(), levels.end(),
              [](const LevelSource& a, const LevelSource& b) { return a.number < b.number; });
    for (size_t i = 0; i < levels.size(); ++i)
        if (levels[i].number != static_cast<int>(i + 1)) {
            diag.Error(levels[i].pos,
                       Format("levels are numbered 1 to %zu without gaps; this one is number %d",
                              levels.size(), levels[i].number));
            break;
        }
    if (diag.ErrorCount() == 0) CheckSettingsAgainstLevels(settings, levels, diag);
    if (diag.ErrorCount() == 0)
        for (const LevelSource& level : levels) {
            const WalkResult walk = CheckLevel(level, settings, sizes, diag);
            if (!quiet && walk.exitReached)
                std::cout << Format(
                    "level %d \"%s\": %d x %d cells, %zu layers, exit reached, %d of %d items reachable "
                    "(%d standing places)\n",
                    level.number, Shown(level.name).c_str(), level.width, level.height, level.layers.size(),
                    walk.itemsReached, walk.itemsTotal, walk.states);
        }
    PrintMessages(diag);
    if (diag.ErrorCount() != 0) return 1;
    if (checkOnly) return 0;

    WriteTextFile((fs::path(outDir) / "DAT" / "LEVEL.INI").string(), LevelIniText(levels));
    WriteTextFile(
        (fs::path(outDir) / "DAT" / "GLOBAL.INI").string(),
        IniText(GlobalSections(settings, levels),
                "Settings of the game, written by levelc from content/settings and content/levels."));
    WriteTextFile(
        (fs::path(outDir) / "DirectX.ini").string(),
        IniText(display.sections, "Display settings, written by levelc from content/settings/DirectX.ini."));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "levelc: " << e.what() << "\n";
        return 1;
    }
}
