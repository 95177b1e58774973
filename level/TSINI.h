#pragma once
// The level loader: opens the two data stores at start-up (converting plain
// development copies into the enciphered files) and fills the tile set of one
// level from the level store when the level starts.
//
// Level store layout, n = level number, i = layer 1..7, k = sequence number:
//   [Global]            TileCount
//   [Level<n>]          TileWidth, TileHeight, Bitmap, TransparentR/G/B,
//                       SequenceCount, LayerCount
//   [Level<n>Layer<i>]  ScrollX, ScrollY (default 1), Rows (width), Cols (height)
//   [Level<n>Layer<i>Data], [Level<n>Layer3Bound]
//                       comma-separated values, row after row, x fastest
//   [Level<n>SeqLength] Level<n>Seq<k> = frame count
//   [Level<n>Seq<k>]    comma-separated pairs tile,speed
#include "common/Exception.h"
#include "level/CryptedINI.h"
#include "level/TSClasses.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace varnok {

// Level data that does not fit the level's own maps or sequences, or a map
// too large to hold in memory.
class ELevelDataError : public Exception {
  public:
    VARNOK_ERROR_CONSTRUCTOR(ELevelDataError, Exception)
};

// What the loader writes: owned by the game shell, replaced piece by piece at
// every level start.
struct TLevelData {
    int32_t LevelCount = 0;      // "Global"/"TileCount" of the level store
    TTileSetItem CurrentTileSet; // the level last loaded
    uint8_t BoundLayerIndex = 0; // index in CurrentTileSet.Maps of the playfield (layer 3)
};

// Drawing depth of the layer sprite by layer number 1..7: layers 1 and 2 in
// front of the playfield, 4 to 7 behind it.
inline constexpr std::array<int32_t, 7> kLayerZ = {1000, 100, 0, -100, -800, -900, -1000};
inline constexpr int32_t LayerZ(int32_t layerNumber) {
    return layerNumber >= 1 && layerNumber <= 7 ? kLayerZ[static_cast<size_t>(layerNumber - 1)] : 0;
}

// Largest map (width x height cells) a level may ask for: 16 M cells, 64 MB
// for both grids. Anything larger is a broken file, not a level.
inline constexpr uint64_t kMaxMapCells = uint64_t{1} << 24;
// Largest number of cells all maps of one level may have together. Each cell
// costs its map 4 bytes and its layer sprite 5 more, so a level never asks for
// much more than 150 MB however many layers its file names.
inline constexpr uint64_t kMaxLevelCells = uint64_t{1} << 24;

struct TDataStores {
    std::unique_ptr<TMemIniFileCrypted> LevelStore;
    std::unique_ptr<TMemIniFileCrypted> GlobalStore;
    // For the player, when a conversion could not be saved and is held in
    // memory: where, and why, in plain words. Empty when all was saved.
    std::string Notice;
};

// The first save of the start-up conversions that the system refused.
struct TUnsavedData {
    int SystemError = 0;    // its error number; 0 while every save worked
    std::string FirstError; // its message
    void Note(const ESaveError& e);
};

// Prepares the data in programFolder (trailing "/"): converts DAT\LEVEL.INI and
// DAT\GLOBAL.INI into the enciphered DAT files when both exist (a failure is
// logged and the existing files stay), opens the stores, converts level
// bitmaps. A conversion that cannot be saved where no earlier file exists (no
// folder may be written, the disk is full) is held in memory (KeepInMemory)
// and the stores read it from there; Notice then says so once. Temporary
// files of earlier saves that were cut short are removed. Throws
// EFatalDataError("Missing data files!") when the DAT files are missing.
TDataStores OpenDataFiles(const std::string& programFolder);

// Converts every level bitmap GFX\Level<n>.bmp (n = 1 .. "Global"/"TileCount")
// into the image-list file GFX\Level<n>.dxg holding one item "TileSet": the
// picture named by the level's Bitmap key, cut into TileWidth x TileHeight
// patterns, keyed with the level's transparent colour. Part of OpenDataFiles.
// A file that already holds the result is not rewritten, only its time is set
// to now; others are replaced whole (temporary file and rename). So a tile
// file older than its bitmap tells of a failed conversion, which is logged
// with what it leaves. A conversion the system refuses to save (no space, a
// read-only disk) is held in memory when no older tile file exists, and
// noted in unsaved (logged when there is none).
void ConvertTileBitmaps(const std::string& programFolder, const TCustomIniFile& levelStore,
                        TUnsavedData* unsaved = nullptr);

class TPictureCollectionItem;
// Makes item the tile picture "TileSet" of level n: the picture its Bitmap key
// names (read from the user's data folder first), cut into TileWidth x
// TileHeight patterns and keyed with its transparent colour.
void LoadTileSetItem(TPictureCollectionItem& item, const std::string& programFolder,
                     const TCustomIniFile& levelStore, int32_t n);

// Empties the tile set and reads the level count. Throws
// EFatalDataError("Keine Tiles definiert!") when no level is defined.
void CheckLevelCount(const TCustomIniFile& levelStore, TLevelData& level);

// Fills level.CurrentTileSet with level n. Returns false when the level has
// layers but no layer 3 section. Conversion errors (EConvertError) and data
// that does not fit (ELevelDataError) leave an empty tile set behind.
bool LoadLevel(const TMemIniFileCrypted& levelStore, int32_t n, TLevelData& level);

// Removes the head and the separator from text and returns the head. Without
// a separator the head is the whole text and text becomes empty.
std::string SplitFirst(std::string& text, const std::string& separator);

// Read the comma-separated values of a data section into the map's grids, one
// running index over all lines. More values than the map has cells raise
// ELevelDataError.
void ReadTileData(const TMemIniFileCrypted& store, const std::string& section, TMapItem& map);
void ReadBoundData(const TMemIniFileCrypted& store, const std::string& section, TMapItem& map);
// Reads tile,speed pairs into the sequence's frames; the speeds of the first
// line set Speed (0 becomes 10), later lines' speeds are skipped unread. More
// pairs than the sequence's Length raise ELevelDataError.
void ReadSequenceFrames(const TMemIniFileCrypted& store, const std::string& section, TSequenceItem& sequence);

} // namespace varnok
