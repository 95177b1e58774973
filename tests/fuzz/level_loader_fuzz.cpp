// Loads arbitrary bytes as a plain level file and runs the level count, the
// tile bitmap conversion and the level loader over its first levels. Every
// input must end in a loaded level or in one of the game's exceptions; a
// loaded level must be consistent. Maps above the fuzz allocation cap are
// skipped.
#include "common/DebugLog.h"
#include "level/Dib.h"
#include "level/TSINI.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

using namespace varnok;

namespace {

using fuzz::Check;

void CheckLevel(const TLevelData& level, bool loaded) {
    const TTileSetItem& set = level.CurrentTileSet;
    Check(set.Maps.Count() <= 7, "at most seven maps");
    int32_t previous = 0;
    bool playfield = false;
    for (int32_t i = 0; i < set.Maps.Count(); ++i) {
        const TMapItem& map = set.Maps[i];
        Check(map.LayerNumber > previous && map.LayerNumber <= 7, "ascending layer numbers");
        previous = map.LayerNumber;
        Check(map.CellCount() == static_cast<size_t>(map.Width()) * map.Height(), "grid size");
        Check(map.BoundData().size() == map.CellCount(), "bound grid size");
        Check(map.CellCount() <= kMaxMapCells, "map size limit");
        if (map.LayerNumber == 3) {
            playfield = true;
            Check(level.BoundLayerIndex == i, "bound layer index");
        }
        // Corners and just beyond them.
        const int32_t w = map.Width(), h = map.Height();
        for (int32_t y : {-1, 0, h - 1, h})
            for (int32_t x : {-1, 0, w - 1, w}) {
                const bool inside = x >= 0 && x < w && y >= 0 && y < h;
                if (!inside) Check(map.TileAt(x, y) == 0 && map.BoundAt(x, y) == 0, "zero outside");
            }
    }
    Check(set.Maps.Count() == 0 || playfield, "maps only with a playfield");
    // Sequences are read only when the level loaded completely.
    const int32_t sequences = loaded && set.SequenceCount > 0 ? set.SequenceCount : 0;
    Check(set.Sequences.Count() == sequences, "sequence count");
    for (int32_t k = 0; k < set.Sequences.Count(); ++k) {
        const TSequenceItem& seq = set.Sequences[k];
        Check(seq.Frames().size() <= static_cast<size_t>(seq.Length > 0 ? seq.Length : 0), "frames fit");
        for (uint16_t f : {0, 1, 65535})
            seq.FrameTile(f);
    }
}

// A program folder with a level bitmap GFX/Level1.bmp for the conversion. The
// name is never freed, so the exit handler that removes the folder can use it.
const std::string& ProgramFolderWithBitmap() {
    static const std::string* const folder = [] {
        auto* path =
            new std::string(fuzz::ScratchFolder() + "varnok-level-fuzz-" + std::to_string(getpid()) + "/");
        std::filesystem::create_directories(*path + "GFX");
        const std::string bmp = EncodeBmpFile(RgbaImage(8, 4));
        if (FILE* f = std::fopen((*path + "GFX/Level1.bmp").c_str(), "wb")) {
            std::fwrite(bmp.data(), 1, bmp.size(), f);
            std::fclose(f);
        }
        std::atexit([] { std::filesystem::remove_all(ProgramFolderWithBitmap()); });
        return path;
    }();
    return *folder;
}

void TryLevelFile(const uint8_t* data, size_t size) {
    // The conversion logs what it refuses; the log is not what is tried here.
    DebugLog().SetEcho(false);
    DebugLog().Clear();
    static const std::string fileName =
        fuzz::ScratchFolder() + "varnok-level-fuzz-" + std::to_string(getpid()) + ".INI";
    if (FILE* f = std::fopen(fileName.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    } else {
        std::abort();
    }
    TMemIniFileCrypted store(fileName);
    unlink(fileName.c_str());
    TLevelData level;
    try {
        CheckLevelCount(store, level);
    } catch (const EFatalDataError&) {
    }
    try {
        ConvertTileBitmaps(ProgramFolderWithBitmap(), store);
    } catch (const Exception&) {
    }
    // Levels are tried whatever the count says, so inputs without a Global
    // section still reach the loader.
    for (int32_t n = 1; n <= 3; ++n) {
        try {
            const bool loaded = LoadLevel(store, n, level);
            CheckLevel(level, loaded);
        } catch (const Exception&) {
            Check(level.CurrentTileSet.Maps.Count() == 0, "failed load leaves no maps");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Maps of up to 32768 cells: larger ones only cost time.
    fuzz::RunCapped([&] { TryLevelFile(data, size); }, size_t{64} << 10);
    return 0;
}
