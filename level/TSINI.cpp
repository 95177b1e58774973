#include "level/TSINI.h"

#include "common/DebugLog.h"
#include "common/Files.h"

#include "common/Color.h"
#include "common/Paths.h"
#include "common/StrUtils.h"
#include "level/ImageList.h"

#include <algorithm>
#include <cerrno>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <sys/stat.h>
#include <system_error>
#include <vector>

namespace varnok {

namespace {

std::string WithSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder.push_back('/');
    return folder;
}

// Converts a plain store into its enciphered file (relative: its path in the
// data). A failure (locked or read-only target, unreadable source) leaves an
// existing file in use; where there is none and the file could not be saved
// (nothing may be written, the disk is full), the conversion is held in
// memory instead.
// Why a plain settings file is not one the game can use, or nothing when it
// is: it must be a readable regular file of text, and settings outside any
// section mean it is no settings file. Random bytes would otherwise become
// an empty store, replacing good settings with the built-in defaults
// without a word.
std::optional<std::string> PlainFileProblem(const std::string& plainName) {
    std::string bytes;
    try {
        bytes = ReadWholeFile(plainName);
    } catch (const Exception& e) {
        return std::string(e.what());
    }
    for (size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != 0x1A) || c == 0x7F)
            return Format("it is no text file (byte %zu is the control byte 0x%02X)", i, c);
    }
    bool text = false;
    for (const std::string& line : TMemIniFileCrypted::SplitLines(bytes))
        text = text || (line.find_first_not_of(" \t\x1A") != std::string::npos && line[0] != ';');
    if (text && TMemIniFileCrypted::ParseLines(TMemIniFileCrypted::SplitLines(bytes)).empty())
        return std::string("it holds no settings (no \"[section]\" line)");
    return std::nullopt;
}

// True when the data file relative holds settings now (a store that reads).
bool HoldsSettings(const std::string& folder, const char* relative) {
    const std::string path = ReadPath(folder, relative);
    if (!FileExists(path)) return false;
    try {
        return !TMemIniFileCrypted(path).Sections().empty();
    } catch (const std::exception&) {
        return false;
    }
}

// Something stands at path, whatever it is (a folder, a pipe, a dangling link).
bool EntryExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

void ConvertPlainFile(const std::string& folder, const std::string& plainName, const char* relative,
                      TUnsavedData& unsaved, std::vector<std::string>& problems) {
    try {
        if (const auto problem = PlainFileProblem(plainName)) throw EFileError(*problem);
        TMemIniFileCrypted plain(plainName);
        // An empty plain file starts a store from nothing, but never empties
        // one that holds settings.
        if (plain.Sections().empty() && HoldsSettings(folder, relative))
            throw EFileError("it holds no settings, and the existing file does");
        try {
            plain.SaveConverted(WritePath(folder, relative));
        } catch (const ESaveError& e) {
            if (FileExists(ReadPath(folder, relative))) throw;
            KeepInMemory(relative, plain.ToBytes(!plain.Enciphered()));
            unsaved.Note(e);
        }
    } catch (const std::exception& e) {
        problems.push_back(Format("%s was not converted, %s: %s", plainName.c_str(),
                                  FileExists(ReadPath(folder, relative)) ? "the existing file stays in use"
                                                                         : "and there is no earlier file",
                                  e.what()));
        AddMessage(problems.back());
    }
}

// A store over the data file relative: the file when there is one, else the
// conversion held in memory; nothing when neither exists.
std::unique_ptr<TMemIniFileCrypted> OpenStore(const std::string& folder, const char* relative,
                                              std::vector<std::string>& problems) {
    const std::string path = ReadPath(folder, relative);
    if (FileExists(path)) return std::make_unique<TMemIniFileCrypted>(path);
    if (const std::string* kept = KeptInMemory(relative))
        return std::make_unique<TMemIniFileCrypted>(WritePath(folder, relative), *kept);
    // Something else in its place (a folder, a pipe, a dangling link): say what.
    if (EntryExists(path)) {
        try {
            ReadWholeFile(path);
            problems.push_back(Format("Cannot open file \"%s\"", path.c_str()));
        } catch (const Exception& e) {
            problems.push_back(e.what());
        }
        AddMessage(problems.back());
    }
    return nullptr;
}

// The level numbers 1..count whose bitmap GFX\Level<n>.bmp exists, in
// ascending order. The folder is scanned once rather than asking for every
// number, so a huge level count cannot stall the start.
std::vector<int32_t> LevelBitmapNumbers(const std::string& folder, int32_t count) {
    std::vector<int32_t> numbers;
    // The user's data folder may bring bitmaps of its own (levels the player added).
    std::vector<std::filesystem::path> folders = {ResolvePath(folder, "GFX")};
    if (!WriteFolder().empty()) folders.push_back(ResolvePath(WriteFolder(), "GFX"));
    for (const std::filesystem::path& gfx : folders) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(gfx, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() < 10 || !SameText(name.substr(0, 5), "Level") ||
            !SameText(name.substr(name.size() - 4), ".bmp"))
            continue;
        const std::string digits = name.substr(5, name.size() - 9);
        const auto n = TryStrToInt(digits);
        // Only the exact decimal spelling names the level ("Level01.bmp" does not).
        if (!n || *n < 1 || *n > count || std::to_string(*n) != digits) continue;
        if (FileExists(entry.path().string())) numbers.push_back(*n);
    }
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
}

std::string LevelSection(int32_t n, const char* suffix = "") {
    return Format("Level%d%s", n, suffix);
}

// Calls store(index, value) for every value of the section, in file order.
template <class Store>
void ReadValues(const TMemIniFileCrypted& store, const std::string& section, size_t capacity,
                Store storeValue) {
    std::vector<std::string> lines;
    store.GetSectionLines(section, lines);
    size_t index = 0;
    for (std::string& line : lines) {
        while (!line.empty()) {
            const int32_t value = StrToInt(SplitFirst(line, ","));
            if (index >= capacity)
                throw ELevelDataError(Format("Section [%s] holds more values than its map has cells (%zu)",
                                             section.c_str(), capacity));
            storeValue(static_cast<uint32_t>(index), value);
            ++index;
        }
    }
}

} // namespace

TDataStores OpenDataFiles(const std::string& programFolder) {
    const std::string folder = WithSlash(programFolder);
    // Temporary files of saves cut short by a kill are of no use to anyone.
    for (const char* sub : {"DAT", "GFX"})
        RemoveStaleTemporaries(ReadPath(folder, sub));
    ForgetKeptFiles();
    TUnsavedData unsaved;
    const std::string levelIni = ReadPath(folder, "DAT\\LEVEL.INI");
    const std::string globalIni = ReadPath(folder, "DAT\\GLOBAL.INI");
    // What was wrong with which file: in the debug log as it is found, and in
    // the message when the game cannot start.
    std::vector<std::string> problems;
    if (EntryExists(levelIni) && EntryExists(globalIni)) {
        ConvertPlainFile(folder, levelIni, "DAT\\LEVEL.DAT", unsaved, problems);
        ConvertPlainFile(folder, globalIni, "DAT\\GLOBAL.DAT", unsaved, problems);
    }
    TDataStores stores;
    stores.LevelStore = OpenStore(folder, "DAT\\LEVEL.DAT", problems);
    stores.GlobalStore = OpenStore(folder, "DAT\\GLOBAL.DAT", problems);
    if (!stores.LevelStore || !stores.GlobalStore) {
        std::string message = "Missing data files!";
        for (const std::string& problem : problems)
            message += "\n\n" + problem;
        throw EFatalDataError(message);
    }
    ConvertTileBitmaps(folder, *stores.LevelStore, &unsaved);
    if (unsaved.SystemError != 0) {
        // Told once, in the player's words; the log adds the system's.
        const std::string& where = WriteFolder().empty() ? folder : WriteFolder();
        stores.Notice = Format("Game data not saved in %s: %s. Playing from a copy in memory.", where.c_str(),
                               SaveFailureInWords(unsaved.SystemError).c_str());
        AddMessage(Format("%s (%s)", stores.Notice.c_str(), unsaved.FirstError.c_str()));
    }
    return stores;
}

void TUnsavedData::Note(const ESaveError& e) {
    if (SystemError != 0) return;
    SystemError = e.SystemError != 0 ? e.SystemError : EIO;
    FirstError = e.what();
}

void LoadTileSetItem(TPictureCollectionItem& item, const std::string& programFolder,
                     const TCustomIniFile& levelStore, int32_t n) {
    const std::string section = LevelSection(n);
    item.SetName("TileSet");
    // Only regular files are read: a device or pipe would never end.
    const std::string picture = ReadPath(WithSlash(programFolder), levelStore.GetString(section, "Bitmap", ""));
    if (!FileExists(picture)) throw EFileError(Format("Cannot open file \"%s\"", picture.c_str()));
    item.Picture.LoadFromFile(picture);
    item.PatternWidth = levelStore.GetInteger(section, "TileWidth", 1);
    item.PatternHeight = levelStore.GetInteger(section, "TileHeight", 1);
    item.Transparent = true;
    item.SetTransparentColor(RGB(static_cast<uint8_t>(levelStore.GetInteger(section, "TransparentR", 255)),
                                 static_cast<uint8_t>(levelStore.GetInteger(section, "TransparentG", 0)),
                                 static_cast<uint8_t>(levelStore.GetInteger(section, "TransparentB", 255))));
    item.SystemMemory = false;
}

void ConvertTileBitmaps(const std::string& programFolder, const TCustomIniFile& levelStore,
                        TUnsavedData* unsaved) {
    const std::string folder = WithSlash(programFolder);
    const int32_t count = levelStore.GetInteger("GLOBAL", "TileCount", 0);
    if (count <= 0) return;
    for (int32_t n : LevelBitmapNumbers(folder, count)) {
        const std::string relative = Format("GFX\\Level%d.dxg", n);
        const std::string target = WritePath(folder, relative);
        // A bitmap that cannot be converted costs its own level only: the
        // error is logged and the other levels are converted.
        try {
            // The picture comes from the Bitmap key, whatever file the test above found.
            TPictureCollection list;
            LoadTileSetItem(list.Add(), folder, levelStore, n);
            const std::string bytes = list.SaveToBytes();
            // A file that already holds exactly this is left alone; otherwise
            // it is replaced whole, so a kill never leaves half a file.
            std::optional<std::string> existing;
            try {
                existing = ReadWholeFileIfExists(target);
            } catch (const Exception&) {
                // Unreadable or no regular file: replaced below, or the save says why not.
            }
            if (!existing || *existing != bytes) {
                try {
                    WriteFileAtomically(target, bytes);
                } catch (const ESaveError& e) {
                    // Nothing may be written, or the disk is full: without an
                    // older tile file the level plays from the conversion held
                    // in memory.
                    if (FileExists(ReadPath(folder, relative))) throw;
                    KeepInMemory(relative, bytes);
                    if (unsaved)
                        unsaved->Note(e);
                    else
                        AddMessage(Format("Level %d: the tiles are held in memory only: %s", n, e.what()));
                }
            } else {
                // Up to date: its time says so, as a rewrite would have.
                utimensat(AT_FDCWD, target.c_str(), nullptr, 0);
            }
        } catch (const Exception& e) {
            AddMessage(Format("Level %d: the tile bitmap was not converted: %s. %s", n, e.what(),
                              FileExists(ReadPath(folder, relative)) ? "The level keeps its older tile file."
                                                                     : "The level has no tiles."));
        }
    }
}

void CheckLevelCount(const TCustomIniFile& levelStore, TLevelData& level) {
    level.CurrentTileSet = TTileSetItem();
    level.LevelCount = levelStore.GetInteger("Global", "TileCount", 0);
    if (level.LevelCount <= 0) throw EFatalDataError("Keine Tiles definiert!");
}

bool LoadLevel(const TMemIniFileCrypted& levelStore, int32_t n, TLevelData& level) {
    // Until the level has been read completely the current tile set stays
    // empty, so a failed load never leaves half a level behind.
    level.CurrentTileSet = TTileSetItem();
    TTileSetItem set;
    const std::string head = LevelSection(n);
    set.Name = head;
    set.TileWidth = static_cast<uint16_t>(levelStore.GetInteger(head, "TileWidth", 0));
    set.TileHeight = static_cast<uint16_t>(levelStore.GetInteger(head, "TileHeight", 0));
    set.Bitmap = levelStore.GetString(head, "Bitmap", "");
    set.TransparentR = static_cast<uint8_t>(levelStore.GetInteger(head, "TransparentR", 0));
    set.TransparentG = static_cast<uint8_t>(levelStore.GetInteger(head, "TransparentG", 0));
    set.TransparentB = static_cast<uint8_t>(levelStore.GetInteger(head, "TransparentB", 0));
    set.SequenceCount = static_cast<int16_t>(levelStore.GetInteger(head, "SequenceCount", 0));
    set.LayerCount = static_cast<uint16_t>(levelStore.GetInteger(head, "LayerCount", 0));

    uint8_t boundLayerIndex = level.BoundLayerIndex;
    if (set.LayerCount != 0) {
        if (!levelStore.HasSection(LevelSection(n, "Layer3"))) {
            level.CurrentTileSet = std::move(set);
            return false;
        }
        // Each map, and all maps together, are held to a bound before any is
        // allocated.
        uint64_t levelCells = 0;
        for (int32_t i = 1; i <= 7; ++i) {
            const std::string section = LevelSection(n, Format("Layer%d", i).c_str());
            if (!levelStore.HasSection(section)) continue;
            const auto width = static_cast<uint16_t>(levelStore.GetInteger(section, "Rows", 0));
            const auto height = static_cast<uint16_t>(levelStore.GetInteger(section, "Cols", 0));
            if (static_cast<uint64_t>(width) * height > kMaxMapCells)
                throw ELevelDataError(Format("Map [%s] is too large: %u x %u cells", section.c_str(),
                                             static_cast<unsigned>(width), static_cast<unsigned>(height)));
            levelCells += static_cast<uint64_t>(width) * height;
        }
        if (levelCells > kMaxLevelCells)
            throw ELevelDataError(
                Format("Level %d is too large: its maps have %llu cells in all, more than %llu", n,
                       static_cast<unsigned long long>(levelCells),
                       static_cast<unsigned long long>(kMaxLevelCells)));
        for (int32_t i = 1; i <= 7; ++i) {
            const std::string section = LevelSection(n, Format("Layer%d", i).c_str());
            if (!levelStore.HasSection(section)) continue;
            const auto width = static_cast<uint16_t>(levelStore.GetInteger(section, "Rows", 0));
            const auto height = static_cast<uint16_t>(levelStore.GetInteger(section, "Cols", 0));
            TMapItem& map = set.Maps.Add();
            map.Name = Format("Layer%d", i);
            map.LayerNumber = i;
            map.ScrollX = static_cast<int16_t>(levelStore.GetInteger(section, "ScrollX", 1));
            map.ScrollY = static_cast<int16_t>(levelStore.GetInteger(section, "ScrollY", 1));
            map.Z = LayerZ(i);
            map.Resize(width, height);
            ReadTileData(levelStore, section + "Data", map);
            if (i == 3) {
                boundLayerIndex = static_cast<uint8_t>(set.Maps.Count() - 1);
                ReadBoundData(levelStore, section + "Bound", map);
            }
        }
    }

    if (set.SequenceCount > 0) {
        const std::string lengths = LevelSection(n, "SeqLength");
        for (int32_t k = 1; k <= set.SequenceCount; ++k) {
            const std::string section = LevelSection(n, Format("Seq%d", k).c_str());
            TSequenceItem& sequence = set.Sequences.Add();
            sequence.Length = static_cast<int16_t>(levelStore.GetInteger(lengths, section, 0));
            ReadSequenceFrames(levelStore, section, sequence);
        }
    }

    level.CurrentTileSet = std::move(set);
    level.BoundLayerIndex = boundLayerIndex;
    return true;
}

std::string SplitFirst(std::string& text, const std::string& separator) {
    const size_t at = separator.empty() ? std::string::npos : text.find(separator);
    if (at == std::string::npos) {
        std::string head = std::move(text);
        text.clear();
        return head;
    }
    std::string head = text.substr(0, at);
    text.erase(0, at + separator.size());
    return head;
}

void ReadTileData(const TMemIniFileCrypted& store, const std::string& section, TMapItem& map) {
    ReadValues(store, section, map.CellCount(),
               [&map](uint32_t index, int32_t value) { map.StoreTile(index, static_cast<int16_t>(value)); });
}

void ReadBoundData(const TMemIniFileCrypted& store, const std::string& section, TMapItem& map) {
    ReadValues(store, section, map.CellCount(), [&map](uint32_t index, int32_t value) {
        map.StoreBound(index, static_cast<uint16_t>(value));
    });
}

void ReadSequenceFrames(const TMemIniFileCrypted& store, const std::string& section,
                        TSequenceItem& sequence) {
    std::vector<std::string> lines;
    store.GetSectionLines(section, lines);
    const int32_t capacity = sequence.Length > 0 ? sequence.Length : 0;
    int32_t index = 0;
    bool firstLine = true;
    for (std::string& line : lines) {
        while (!line.empty()) {
            const int32_t tile = StrToInt(SplitFirst(line, ","));
            if (index >= capacity)
                throw ELevelDataError(Format("Section [%s] holds more frames than its length (%d)",
                                             section.c_str(), static_cast<int>(sequence.Length)));
            sequence.SetFrame(static_cast<uint16_t>(index), static_cast<int16_t>(tile));
            std::string speed = SplitFirst(line, ",");
            if (firstLine) {
                const int32_t value = StrToInt(speed);
                sequence.Speed = value == 0 ? 10 : value;
            }
            ++index;
        }
        firstLine = false;
    }
}

} // namespace varnok
