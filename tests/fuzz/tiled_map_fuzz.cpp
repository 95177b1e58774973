// Reads arbitrary bytes as a Tiled map whose tile sheet has 130 tiles. Every
// input must end in a level or in error messages. A map read without errors
// must be a consistent level, and the map written from it must read back as
// the same level. Maps above the fuzz allocation cap are skipped.
#include "levelsource/SourceText.h"
#include "levelsource/TiledMap.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace varnok;
using namespace varnok::levelc;

namespace {

using fuzz::Check;

constexpr int kSheetTiles = 130;

// The map's path: beside it the external tileset tiles.tsx that inputs can
// name (source="tiles.tsx"), from the seed folder in the source tree.
const std::string& MapPath() {
    static const std::string path = std::string(VARNOK_MAP_SEED_DIR) + "/map.tmx";
    return path;
}

MapContext Context() {
    MapContext context;
    context.sheetTiles = [](const std::string& sheet, int, int, std::string& why) {
        // A sheet named "missing" stands for one the game does not have.
        if (sheet.find("issing") != std::string::npos) {
            why = "no such picture";
            return -1;
        }
        return kSheetTiles;
    };
    return context;
}

bool AllDrawable(const std::string& text) {
    for (char c : text)
        if (!DrawableChar(static_cast<unsigned char>(c))) return false;
    return true;
}

// What the reader promises of a level read without errors.
void CheckLevel(const LevelSource& level) {
    Check(level.number == 1, "the level number is the context's");
    Check(!level.name.empty() && AllDrawable(level.name), "a name the fonts draw");
    Check(!level.music.empty() && level.music.find_first_of("/\\") == std::string::npos, "a music file name");
    Check(level.cellW >= 2 && level.cellW <= 256 && level.cellH >= 2 && level.cellH <= 256, "cell size");
    Check(level.width >= 1 && level.width <= 4000 && level.height >= 1 && level.height <= 4000, "map size");
    Check(level.width * level.cellW >= 640 && level.height * level.cellH >= 480, "at least a screen");
    for (int c : level.transparent)
        Check(c >= 0 && c <= 255, "transparent colour");

    const int sequences = static_cast<int>(level.sequences.size());
    for (const SequenceSource& seq : level.sequences) {
        Check(seq.frames.size() >= 2 && seq.frames.size() <= 1000, "2 to 1000 frames");
        Check(seq.fps >= 1 && seq.fps <= 1000, "fps 1 to 1000");
        for (int16_t f : seq.frames)
            Check(f >= 0 && f <= kSheetTiles, "frames are sheet tiles or none");
    }
    auto codeOk = [&](int code) { return code >= -sequences && code <= kSheetTiles; };

    const LayerSource* field = level.Playfield();
    Check(field != nullptr, "a playfield");
    int previous = 0;
    for (const LayerSource& layer : level.layers) {
        Check(layer.number > previous && layer.number <= 7, "ascending layer numbers 1 to 7");
        previous = layer.number;
        Check(layer.width >= 1 && layer.width <= level.width && layer.height >= 1 &&
                  layer.height <= level.height,
              "layers within the map");
        const size_t cells = static_cast<size_t>(layer.width) * static_cast<size_t>(layer.height);
        Check(cells >= 2, "at least two cells");
        Check(layer.tiles.size() == cells && layer.bounds.size() == cells, "grids sized width * height");
        for (int16_t code : layer.tiles)
            Check(codeOk(code), "tile codes on the sheet or sequences");
        if (&layer != field)
            for (uint16_t word : layer.bounds)
                Check(word == 0, "bounds only on the playfield");
    }
    Check(field->width == level.width && field->height == level.height, "the playfield has the map's size");
    Check(!field->boundsLayerName.empty(), "the bounds layer is named");
    for (size_t i = 0; i < field->bounds.size(); ++i)
        Check((field->bounds[i] >> 8 != 0) == (field->objects.count(static_cast<int>(i)) != 0),
              "each tagged cell has its object and each object its tag");
    Check(field->objects.empty() || field->objects.rbegin()->first < static_cast<int>(field->bounds.size()),
          "objects on the playfield");

    for (const auto& [tag, text] : level.info) {
        Check(tag >= 1 && tag <= 15, "info signs 1 to 15");
        Check(!text.empty() && AllDrawable(text), "info texts the fonts draw");
        Check(level.infoPos.count(tag) == 1, "each info text has its place");
    }
    int lastTag = 0;
    for (const SwitchSource& sw : level.switches) {
        Check(sw.tag > lastTag && sw.tag >= 0x10 && sw.tag <= 0x1F, "one switch per tag, in order");
        lastTag = sw.tag;
        bool onField = false;
        for (uint16_t word : field->bounds)
            onField = onField || (word >> 8) == sw.tag;
        Check(onField, "a switch comes from a switch object");
        Check(!sw.image.empty() && (sw.start == 0 || sw.start == 1), "switch image and start");
        Check(codeOk(sw.tileOn) && codeOk(sw.tileOff), "switch tiles");
        Check(sw.boundsOn >= 0 && sw.boundsOn <= 255 && sw.boundsOff >= 0 && sw.boundsOff <= 255,
              "switch bounds");
        Check(sw.z >= -10000 && sw.z <= 10000 && sw.animSpeed >= 0 && sw.animSpeed <= 1000,
              "switch z and anim");
    }
}

// The map written from a level reads back as the same level.
void CheckRoundTrip(const LevelSource& level, const MapContext& context) {
    MapPictureFiles files;
    files.tiles = "tiles.png";
    files.bounds = "bounds.png";
    files.actors = "actors.png";
    files.sheetTiles = kSheetTiles;
    files.tilesColumns = 16;
    files.tilesRows = (kSheetTiles + static_cast<int>(level.sequences.size()) + 1 + 15) / 16;
    Diagnostics writeDiag;
    const std::string text = TiledMapText(level, files, writeDiag);
    Check(writeDiag.ErrorCount() == 0, "a level read from a map can be written as one");
    Diagnostics readDiag;
    const LevelSource again = ReadTiledMapText(text, MapPath(), context, readDiag);
    if (readDiag.ErrorCount()) {
        for (const std::string& e : readDiag.Errors())
            std::fprintf(stderr, "%s\n", e.c_str());
        Check(false, "a written map reads back without errors");
    }
    Check(again.name == level.name && again.music == level.music && again.bitmap == level.bitmap, "names");
    Check(again.running == level.running && again.transparent == level.transparent, "running, transparent");
    Check(again.width == level.width && again.height == level.height && again.cellW == level.cellW &&
              again.cellH == level.cellH,
          "sizes");
    Check(again.info == level.info, "info texts");
    Check(again.sequences.size() == level.sequences.size(), "sequence count");
    for (size_t k = 0; k < level.sequences.size(); ++k)
        Check(again.sequences[k].fps == level.sequences[k].fps &&
                  again.sequences[k].frames == level.sequences[k].frames,
              "sequences");
    Check(again.switches.size() == level.switches.size(), "switch count");
    for (size_t k = 0; k < level.switches.size(); ++k) {
        const SwitchSource &a = again.switches[k], &b = level.switches[k];
        Check(a.tag == b.tag && a.image == b.image && a.start == b.start && a.tileOn == b.tileOn &&
                  a.tileOff == b.tileOff && a.boundsOn == b.boundsOn && a.boundsOff == b.boundsOff &&
                  a.z == b.z && a.animSpeed == b.animSpeed,
              "switches");
    }
    Check(again.layers.size() == level.layers.size(), "layer count");
    for (size_t k = 0; k < level.layers.size(); ++k) {
        const LayerSource &a = again.layers[k], &b = level.layers[k];
        Check(a.number == b.number && a.scrollX == b.scrollX && a.scrollY == b.scrollY,
              "layer numbers and scroll");
        Check(a.width == b.width && a.height == b.height && a.tiles == b.tiles && a.bounds == b.bounds,
              "layer cells");
    }
}

void TryMap(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const MapContext context = Context();
    Diagnostics diag;
    const LevelSource level = ReadTiledMapText(text, MapPath(), context, diag);
    // Beyond 50 errors the diagnostics end with a line of their own.
    for (const std::string& e : diag.Errors())
        Check(e.rfind(MapPath(), 0) == 0 || e.rfind("levelc: too many errors", 0) == 0,
              "errors name the map file");
    if (diag.ErrorCount()) return;
    CheckLevel(level);
    CheckRoundTrip(level, context);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::RunCapped([&] { TryMap(data, size); });
    return 0;
}
