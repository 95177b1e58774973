#include "app/LevelMaps.h"

#include "common/Exception.h"
#include "common/Files.h"
#include "common/Image.h"
#include "common/Paths.h"
#include "common/StrUtils.h"
#include "common/UserFolders.h"
#include "level/CryptedINI.h"
#include "level/ImageList.h"
#include "level/TSINI.h"
#include "levelsource/MapPictures.h"
#include "levelsource/Output.h"
#include "levelsource/TiledMap.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <set>

namespace varnok {

namespace fs = std::filesystem;
using levelc::LayerSource;
using levelc::LevelSource;

namespace {

std::string LevelSectionName(int n) {
    return Format("Level%d", n);
}

// Sections the level compiler writes from the levels, not from the settings.
bool SectionFromLevels(const std::string& name) {
    auto digitsAfter = [&](size_t prefix) {
        if (name.size() <= prefix) return false;
        for (size_t i = prefix; i < name.size(); ++i)
            if (!std::isxdigit(static_cast<unsigned char>(name[i]))) return false;
        return true;
    };
    return (SameText(name.substr(0, std::min<size_t>(5, name.size())), "Level") && digitsAfter(5)) ||
           (SameText(name.substr(0, std::min<size_t>(7, name.size())), "Trigger") && digitsAfter(7));
}

// The picture of the game's data a level names as its tile sheet.
RgbaImage SheetPicture(const std::string& sheet) {
    const std::string path = DataPath(sheet);
    if (sheet.empty() || !FileExists(path))
        throw EFileError(Format("the game has no tile sheet \"%s\"", sheet.c_str()));
    TPicture picture;
    picture.LoadFromFile(path);
    if (picture.Width() <= 0 || picture.Height() <= 0)
        throw EFileError(Format("the tile sheet \"%s\" holds no picture", sheet.c_str()));
    return picture.Image();
}

// The picture an actor of this tag shows first, as the level population
// picks it, with its transparent colour made clear.
std::optional<RgbaImage> ActorPicture(int tag, const LevelSource& level,
                                      const TMemIniFileCrypted& globalStore,
                                      const TPictureCollection& images) {
    std::string name;
    int pattern = 0;
    if (tag >= 0x01 && tag <= 0x0F)
        name = "Info";
    else if (tag >= 0x10 && tag <= 0x1F) {
        for (const levelc::SwitchSource& sw : level.switches)
            if (sw.tag == tag) name = sw.image;
        if (name.empty()) name = globalStore.GetString(Format("Trigger%02X", tag), "Image", "");
    } else if (tag >= 0x30 && tag <= 0x37)
        name = Format("%02X", tag);
    else if (tag >= 0x40 && tag <= 0x4F)
        name = "40";
    else if (tag == 0x80 || tag == 0x81 || (tag >= 0x88 && tag <= 0x8F)) {
        const int even = tag & ~1;
        name = Format("%02X%02X", even, even + 1);
        pattern = -1; // odd tags start on the second half of the frames
    } else if (tag == 0x82 || tag == 0x83)
        name = "8283";
    else if (tag == 0x84 || tag == 0x85)
        name = "8485";
    else if (tag >= 0x90 && tag <= 0x9F)
        name = globalStore.GetString(Format("Platform%02X", tag), "Image", "");
    else if ((tag >= 0xB0 && tag <= 0xB5) || (tag >= 0xC0 && tag <= 0xC2) || (tag >= 0xD0 && tag <= 0xD9) ||
             (tag >= 0xE0 && tag <= 0xE2) || tag == 0xF0 || tag == 0xF1)
        name = Format("%02X", tag);
    else if (tag >= 0xFA && tag <= 0xFD)
        name = "AutomoveStart";
    if (name.empty()) return std::nullopt;
    const int index = images.IndexOf(name);
    if (index < 0) return std::nullopt;
    const TPictureCollectionItem& item = images.Items(index);
    const RgbaImage& source = item.Picture.Image();
    if (source.Width <= 0 || item.PatternCount() <= 0) return std::nullopt;
    if (pattern < 0) pattern = (tag & 1) ? item.PatternCount() / 2 : 0;
    const platform::Rect r = item.PatternRects(pattern);
    const int w = std::min(r.Width(), source.Width - r.Left), h = std::min(r.Height(), source.Height - r.Top);
    if (w <= 0 || h <= 0) return std::nullopt;
    RgbaImage out(w, h);
    const TColor key = item.TransparentColor();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* s = source.At(r.Left + x, r.Top + y);
            uint8_t* d = out.At(x, y);
            const bool clear = item.Transparent && s[0] == GetRValue(key) && s[1] == GetGValue(key) &&
                               s[2] == GetBValue(key);
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
            d[3] = clear ? 0 : s[3];
        }
    return out;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& l : lines)
        out += (out.empty() ? "" : "\n") + l;
    return out;
}

// The game's data, opened as the game opens it, with its pictures.
struct TGameData {
    TDataStores Stores;
    TPictureCollection Images;
};

void OpenGameData(TGameData& data) {
    data.Stores = OpenDataFiles(ProgramFolder());
    data.Images.LoadFromFile(DataPath("GFX\\Images.dxg"));
}

} // namespace

levelc::LevelSource LevelFromStores(const TMemIniFileCrypted& levelStore,
                                    const TMemIniFileCrypted& globalStore, int n) {
    TLevelData data;
    if (!LoadLevel(levelStore, n, data))
        throw ELevelDataError(Format("Level %d has layers but no playfield (layer 3)", n));
    const TTileSetItem& set = data.CurrentTileSet;
    LevelSource level;
    level.number = n;
    level.file = Format("level %d", n);
    level.pos.file = level.file;
    level.cellW = set.TileWidth;
    level.cellH = set.TileHeight;
    level.bitmap = set.Bitmap;
    level.transparent = {set.TransparentR, set.TransparentG, set.TransparentB};
    for (int i = 0; i < set.Maps.Count() && i < set.LayerCount; ++i) {
        const TMapItem& map = set.Maps[i];
        LayerSource layer;
        layer.number = map.LayerNumber;
        layer.scrollX = map.ScrollX;
        layer.scrollY = map.ScrollY;
        layer.width = map.Width();
        layer.height = map.Height();
        layer.pos.file = level.file;
        const size_t cells = static_cast<size_t>(layer.width) * static_cast<size_t>(layer.height);
        layer.tiles = map.TileData();
        layer.tiles.resize(cells, 0);
        layer.bounds = map.LayerNumber == 3 ? map.BoundData() : std::vector<uint16_t>();
        layer.bounds.resize(cells, 0);
        if (layer.number == 3) {
            level.width = layer.width;
            level.height = layer.height;
        }
        level.layers.push_back(std::move(layer));
    }
    if (!level.Playfield()) throw ELevelDataError(Format("Level %d has no playfield (layer 3)", n));
    for (int k = 0; k < set.Sequences.Count(); ++k) {
        const TSequenceItem& seq = set.Sequences[k];
        levelc::SequenceSource s;
        s.name = Format("sequence %d", k + 1);
        s.fps = seq.Speed;
        s.frames = seq.Frames();
        s.frames.resize(static_cast<size_t>(std::max<int16_t>(seq.Length, 0)), 0);
        level.sequences.push_back(std::move(s));
    }
    const std::string section = LevelSectionName(n);
    level.name = globalStore.GetString(section, "Name", "");
    level.music = globalStore.GetString(section, "MOD", "");
    level.running = globalStore.GetInteger(section, "Running", 0) != 0;
    for (int tag = 1; tag <= 15; ++tag) {
        const std::string text = globalStore.GetString(section, std::to_string(tag), "");
        if (!text.empty()) level.info[tag] = text;
    }
    std::set<int> switches;
    const LayerSource& field = *level.Playfield();
    for (uint16_t word : field.bounds)
        if ((word >> 8) >= 0x10 && (word >> 8) <= 0x1F) switches.insert(word >> 8);
    for (int tag : switches) {
        const std::string s = Format("Trigger%02X", tag);
        if (!globalStore.HasSection(s)) continue;
        levelc::SwitchSource sw;
        sw.tag = tag;
        sw.image = globalStore.GetString(s, "Image", "");
        sw.start = globalStore.GetInteger(s, "TriggerValue", 0);
        sw.tileOn = static_cast<int16_t>(globalStore.GetInteger(s, "TileOn", 0));
        sw.tileOff = static_cast<int16_t>(globalStore.GetInteger(s, "TileOff", 0));
        sw.boundsOn = globalStore.GetInteger(s, "BoundsOn", 15);
        sw.boundsOff = globalStore.GetInteger(s, "BoundsOff", 0);
        sw.z = globalStore.GetInteger(s, "Z", 3);
        sw.animSpeed = globalStore.GetInteger(s, "AnimSpeed", 4);
        level.switches.push_back(sw);
    }
    return level;
}

levelc::Settings SettingsFromStore(const TMemIniFileCrypted& globalStore) {
    levelc::Settings settings;
    for (const TIniSection& section : globalStore.Sections()) {
        levelc::SettingsSection s;
        s.name = section.Name;
        s.pos.file = globalStore.FileName();
        for (const std::string& line : section.Lines) {
            const size_t eq = line.find('=');
            if (eq == std::string::npos) continue;
            s.values.emplace_back(line.substr(0, eq), line.substr(eq + 1));
        }
        settings.sections.push_back(std::move(s));
    }
    return settings;
}

levelc::SpriteSizes SpriteSizesFromImages(const TPictureCollection& images) {
    levelc::SpriteSizes sizes;
    for (int i = 0; i < images.Count(); ++i) {
        const TPictureCollectionItem& item = images.Items(i);
        sizes.sizes[UpperCase(item.Name())] = {item.Width(), item.Height()};
    }
    return sizes;
}

std::string WriteLevelMap(const LevelSource& level, const std::string& dir, const std::string& stem,
                          const TMemIniFileCrypted& globalStore, const TPictureCollection& images) {
    const RgbaImage sheet = levelc::KeyedPicture(SheetPicture(level.bitmap), level.transparent);
    levelc::MapPictureFiles files;
    files.tiles = stem + "-tiles.png";
    files.bounds = stem + "-bounds.png";
    files.actors = stem + "-actors.png";
    const RgbaImage tiles = levelc::TilesPicture(sheet, level, files);
    levelc::Diagnostics diag;
    const std::string text = levelc::TiledMapText(level, files, diag);
    if (diag.ErrorCount()) throw ELevelDataError(Joined(diag.Errors()));
    const RgbaImage bounds = levelc::BoundsPicture(level.cellW, level.cellH);
    const RgbaImage actors = levelc::ActorsPicture(
        level.cellW, level.cellH, [&](int tag) { return ActorPicture(tag, level, globalStore, images); });

    std::error_code ec;
    fs::create_directories(dir.empty() ? "." : dir, ec);
    const fs::path folder(dir.empty() ? "." : dir);
    WritePng((folder / files.tiles).string(), tiles);
    WritePng((folder / files.bounds).string(), bounds);
    WritePng((folder / files.actors).string(), actors);
    const std::string path = (folder / (stem + ".tmx")).string();
    WriteFileAtomically(path, text);
    return path;
}

namespace {

// Everything the checks of a level read, as one text.
std::string CheckKey(const LevelSource& level, const levelc::Settings& settings) {
    std::string key = Format("%d %d %d %d %d %d|", level.number, level.width, level.height, level.cellW,
                             level.cellH, level.running ? 1 : 0);
    if (const LayerSource* field = level.Playfield()) {
        key.append(reinterpret_cast<const char*>(field->bounds.data()),
                   field->bounds.size() * sizeof(uint16_t));
        for (const auto& [cell, where] : field->objects)
            key += Format("|%d ", cell) + where;
    }
    for (const levelc::SwitchSource& sw : level.switches)
        key += Format("|%d %s %d %d %d %d %d %d %d", sw.tag, sw.image.c_str(), sw.start, sw.tileOn,
                      sw.tileOff, sw.boundsOn, sw.boundsOff, sw.z, sw.animSpeed);
    for (const auto& [tag, text] : level.info)
        key += Format("|%d=", tag) + text;
    for (const levelc::SettingsSection& s : settings.sections) {
        if (SectionFromLevels(s.name)) continue; // the level's own: compared above
        key += "|[" + s.name + "]";
        for (const auto& [k, v] : s.values)
            key += k + "=" + v + ";";
    }
    return key;
}

} // namespace

TMapLevel ReadMapLevel(const std::string& path, int number, const TMemIniFileCrypted& globalStore,
                       const TPictureCollection& images, TCheckCache* cache) {
    return CheckMapLevel(path, number, SettingsFromStore(globalStore), SpriteSizesFromImages(images), cache);
}

TMapLevel CheckMapLevel(const std::string& path, int number, levelc::Settings settings,
                        const levelc::SpriteSizes& sizes, TCheckCache* cache) {
    TMapLevel result;
    result.Path = path;
    levelc::Diagnostics diag;
    levelc::MapContext context;
    context.number = number;
    context.sheetTiles = [](const std::string& sheet, int cw, int ch, std::string& why) {
        try {
            const RgbaImage picture = SheetPicture(sheet);
            const int tiles = (picture.Width / cw) * (picture.Height / ch);
            if (tiles <= 0) why = "it holds no whole tile of the map's size";
            return tiles > 0 ? tiles : -1;
        } catch (const Exception& e) {
            why = e.Message();
            return -1;
        }
    };
    result.Level = levelc::ReadTiledMap(path, context, diag);
    if (!diag.ErrorCount()) {
        // The map is checked on its own: the start level is its own.
        for (levelc::SettingsSection& s : settings.sections)
            if (SameText(s.name, "Game"))
                std::erase_if(s.values, [](const auto& kv) { return SameText(kv.first, "StartLevel"); });
        levelc::CheckSettingsAgainstLevels(settings, {result.Level}, diag);
        if (!diag.ErrorCount()) {
            const std::string key = cache ? CheckKey(result.Level, settings) : std::string();
            if (!cache || cache->Key != key) {
                levelc::Diagnostics walk;
                levelc::CheckLevel(result.Level, settings, sizes, walk);
                if (cache) *cache = TCheckCache{key, walk.Errors(), walk.Warnings()};
                result.Errors = walk.Errors();
                result.Warnings = walk.Warnings();
            } else {
                result.Errors = cache->Errors;
                result.Warnings = cache->Warnings;
            }
        }
    }
    result.Errors.insert(result.Errors.begin(), diag.Errors().begin(), diag.Errors().end());
    result.Warnings.insert(result.Warnings.begin(), diag.Warnings().begin(), diag.Warnings().end());
    return result;
}

void UseMapAsOnlyLevel(const TMapLevel& map, TMemIniFileCrypted& levelStore,
                       TMemIniFileCrypted& globalStore) {
    LevelSource level = map.Level;
    level.number = 1;
    levelStore.SetText(levelc::LevelIniText({level}));
    const std::string section = LevelSectionName(1);
    globalStore.RemoveSection(section);
    for (const levelc::SettingsSection& s : levelc::GlobalSections(levelc::Settings{}, {level})) {
        globalStore.RemoveSection(s.name);
        for (const auto& [key, value] : s.values)
            globalStore.SetString(s.name, key, value);
    }
    globalStore.SetString("Game", "StartLevel", "1");
    const std::string why =
        "The settings are not saved while a map is played: they hold the map as the game's "
        "only level.";
    levelStore.RefuseSaving(why);
    globalStore.RefuseSaving(why);
}

int ExportLevelCommand(int n, const std::string& dir) {
    try {
        TGameData data;
        OpenGameData(data);
        const int count = data.Stores.LevelStore->GetInteger("Global", "TileCount", 0);
        if (n < 1 || n > count) {
            std::fprintf(stderr, "varnok: --export-level: the game has levels 1 to %d, not %d\n", count, n);
            return 2;
        }
        const LevelSource level = LevelFromStores(*data.Stores.LevelStore, *data.Stores.GlobalStore, n);
        const std::string path =
            WriteLevelMap(level, dir, Format("level%d", n), *data.Stores.GlobalStore, data.Images);
        std::printf("Level %d \"%s\" written to %s (open it in Tiled)\n", n, Latin1ToUtf8(level.name).c_str(),
                    path.c_str());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "varnok: --export-level: %s\n", e.what());
        return 1;
    }
}

int NewLevelCommand(const std::string& path) {
    try {
        TGameData data;
        OpenGameData(data);
        // The new level takes the first level's tiles, sky and animations, so
        // that it is ready to draw with.
        const LevelSource base = LevelFromStores(*data.Stores.LevelStore, *data.Stores.GlobalStore, 1);
        LevelSource level;
        level.number = 1;
        level.file = path;
        level.name = "New level";
        level.music = base.music;
        level.bitmap = base.bitmap;
        level.transparent = base.transparent;
        level.cellW = base.cellW;
        level.cellH = base.cellH;
        level.sequences = base.sequences;
        level.width = std::max(40, (1280 + level.cellW - 1) / level.cellW);
        level.height = std::max(15, (480 + level.cellH - 1) / level.cellH);
        // The ground: the first level's tiles for a solid top and a solid fill.
        const LayerSource& bf = *base.Playfield();
        int16_t top = 0, fill = 0;
        for (int y = 1; y < bf.height && (!top || !fill); ++y)
            for (int x = 0; x < bf.width; ++x) {
                if ((bf.BoundAt(x, y) & 0xFF) != 15 || bf.TileAt(x, y) <= 0) continue;
                const bool open = (bf.BoundAt(x, y - 1) & 0xFF) == 0;
                if (open && !top) top = bf.TileAt(x, y);
                if (!open && (bf.BoundAt(x, y - 1) & 0xFF) == 15 && !fill) fill = bf.TileAt(x, y);
            }
        LayerSource field;
        field.number = 3;
        field.width = level.width;
        field.height = level.height;
        field.tiles.assign(static_cast<size_t>(level.width * level.height), 0);
        field.bounds.assign(field.tiles.size(), 0);
        for (int y = level.height - 2; y < level.height; ++y)
            for (int x = 0; x < level.width; ++x) {
                const size_t i = static_cast<size_t>(y * level.width + x);
                field.tiles[i] = y == level.height - 2 ? top : (fill ? fill : top);
                field.bounds[i] = 15;
            }
        const int standRow = level.height - 3;
        field.bounds[static_cast<size_t>(standRow * level.width + 1)] = 0xF0 << 8;
        field.bounds[static_cast<size_t>(standRow * level.width + level.width - 3)] = 0xF1 << 8;
        for (const LayerSource& layer : base.layers)
            if (layer.number == 7 && layer.width <= level.width && layer.height <= level.height)
                level.layers.push_back(layer);
        level.layers.insert(level.layers.begin(), field);
        const fs::path target(path);
        const std::string stem = target.stem().string();
        const std::string written =
            WriteLevelMap(level, target.parent_path().string(), stem, *data.Stores.GlobalStore, data.Images);
        std::printf("New level written to %s: open it in Tiled, then play it with: varnok %s\n",
                    written.c_str(), written.c_str());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "varnok: --new-level: %s\n", e.what());
        return 1;
    }
}

int InstallLevelCommand(const std::string& path, int replace) {
    try {
        TGameData data;
        OpenGameData(data);
        TMemIniFileCrypted& levels = *data.Stores.LevelStore;
        TMemIniFileCrypted& global = *data.Stores.GlobalStore;
        const int count = levels.GetInteger("Global", "TileCount", 0);
        if (replace < 0 || replace > count) {
            std::fprintf(stderr, "varnok: --install-level: the game has levels 1 to %d, not %d\n", count,
                         replace);
            return 2;
        }
        const int number = replace ? replace : count + 1;
        const TMapLevel map = ReadMapLevel(path, number, global, data.Images);
        for (const std::string& w : map.Warnings)
            std::fprintf(stderr, "%s\n", w.c_str());
        if (!map.Ok()) {
            for (const std::string& e : map.Errors)
                std::fprintf(stderr, "%s\n", e.c_str());
            std::fprintf(stderr,
                         "varnok: --install-level: %s has mistakes; the game's levels stay as they are\n",
                         path.c_str());
            return 1;
        }
        std::vector<LevelSource> all;
        for (int n = 1; n <= std::max(count, number); ++n) {
            if (n == number) {
                all.push_back(map.Level);
                all.back().number = n;
                continue;
            }
            all.push_back(LevelFromStores(levels, global, n));
        }
        // The game keeps one switch section for all levels: another level's
        // switch of the same tag would change with this one.
        for (const levelc::SwitchSource& sw : map.Level.switches)
            for (const LevelSource& other : all) {
                if (other.number == number) continue;
                const LayerSource* field = other.Playfield();
                for (uint16_t word : field->bounds)
                    if ((word >> 8) == sw.tag) {
                        std::fprintf(
                            stderr,
                            "varnok: --install-level: switch %02X is used by level %d as well, and the game "
                            "keeps one set of switch settings for all levels: give this map's switch another "
                            "tag (10 to 1F)\n",
                            sw.tag, other.number);
                        return 1;
                    }
            }
        levelc::Settings settings = SettingsFromStore(global);
        std::erase_if(settings.sections,
                      [](const levelc::SettingsSection& s) { return SectionFromLevels(s.name); });
        const std::string folder = UserDataFolder();
        levelc::WriteTextFile(folder + "DAT/LEVEL.INI", levelc::LevelIniText(all));
        levelc::WriteTextFile(folder + "DAT/GLOBAL.INI",
                              levelc::IniText(levelc::GlobalSections(settings, all),
                                              "The game's settings with the player's own levels, written by "
                                              "varnok --install-level."));
        // A level past the shipped ones needs a tile bitmap of its number for
        // the start-up conversion; it holds the sheet the map names.
        const std::string bitmap = Format("GFX\\Level%d.bmp", number);
        if (!FileExists(DataPath(bitmap)) && !FileExists(folder + Format("GFX/Level%d.bmp", number))) {
            const std::string bytes = ReadWholeFile(DataPath(map.Level.bitmap));
            MakeFolders(folder + "GFX");
            WriteFileAtomically(folder + Format("GFX/Level%d.bmp", number), bytes);
        }
        std::printf("%s is now level %d of the game (in %s). To go back to the shipped levels, delete "
                    "DAT/LEVEL.INI, DAT/GLOBAL.INI, DAT/LEVEL.DAT and DAT/GLOBAL.DAT there.\n",
                    path.c_str(), number, folder.c_str());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "varnok: --install-level: %s\n", e.what());
        return 1;
    }
}

} // namespace varnok
