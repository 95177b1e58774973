// Makes the Tiled map fuzzer's seeds:
//
//   make_map_seeds OUTDIR EXPORTED.tmx...
//
// Each map the game exported is cut to one screen of cells around its start
// (whole levels are larger than the fuzzer's inputs) and written again for a
// sheet of 130 tiles. A small level made here is
// written with its layer data in every form Tiled stores (CSV, base64 plain,
// zlib, gzip and zstd, one XML element per cell), with its tiles in the
// external tileset tiles.tsx beside the fuzzer, and naming a tile sheet the
// fuzzer does not know. Every seed except the last must read without errors,
// or the seeds teach the fuzzer little: the tool then fails.
#include "levelsource/TiledMap.h"
#include "tests/support/TiledData.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace varnok;
using namespace varnok::levelc;

namespace {

constexpr int kSheetTiles = 130;

MapContext Context() {
    MapContext context;
    context.sheetTiles = [](const std::string& sheet, int, int, std::string& why) {
        if (sheet.find("issing") != std::string::npos) {
            why = "no such picture";
            return -1;
        }
        return kSheetTiles;
    };
    return context;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool Save(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) std::fprintf(stderr, "make_map_seeds: cannot write %s\n", path.string().c_str());
    return static_cast<bool>(out);
}

// The map without what Tiled shows but the reader passes over (the names of
// the bound icons and actor pictures), so that seeds stay small.
std::string Compact(const std::string& text) {
    pugi::xml_document doc;
    doc.load_buffer(text.data(), text.size());
    for (pugi::xml_node ts : doc.child("map").children("tileset"))
        if (std::string(ts.attribute("name").as_string()) != kTilesTileset)
            while (pugi::xml_node tile = ts.child("tile")) ts.remove_child(tile);
    std::ostringstream out;
    doc.save(out, " ");
    return out.str();
}

// The map without indentation: one XML element per cell fits the fuzzer's
// inputs only so.
std::string Unindented(const std::string& text) {
    pugi::xml_document doc;
    doc.load_buffer(text.data(), text.size());
    std::ostringstream out;
    doc.save(out, "", pugi::format_raw);
    return out.str();
}

std::string MapText(const LevelSource& level) {
    MapPictureFiles files;
    files.tiles = "tiles.png";
    files.bounds = "bounds.png";
    files.actors = "actors.png";
    files.sheetTiles = kSheetTiles;
    files.tilesColumns = 16;
    files.tilesRows = (kSheetTiles + static_cast<int>(level.sequences.size()) + 1 + 15) / 16;
    Diagnostics diag;
    const std::string text = TiledMapText(level, files, diag);
    for (const std::string& e : diag.Errors())
        std::fprintf(stderr, "%s\n", e.c_str());
    return Compact(text);
}

bool ReadsCleanly(const std::string& text, const std::string& name) {
    Diagnostics diag;
    ReadTiledMapText(text, name, Context(), diag);
    for (const std::string& e : diag.Errors())
        std::fprintf(stderr, "make_map_seeds: %s\n", e.c_str());
    return diag.ErrorCount() == 0;
}

// One screen of cells (20 x 15 of 32 pixels) around the level's start.
LevelSource Cut(const LevelSource& level) {
    const LayerSource* field = level.Playfield();
    int sx = 0, sy = 0;
    if (field)
        for (int y = 0; y < field->height; ++y)
            for (int x = 0; x < field->width; ++x)
                if ((field->BoundAt(x, y) >> 8) == 0xF0) sx = x, sy = y;
    const int w = std::min(level.width, std::max(2, (640 + level.cellW - 1) / level.cellW));
    const int h = std::min(level.height, std::max(2, (480 + level.cellH - 1) / level.cellH));
    const int x0 = std::clamp(sx - w / 2, 0, level.width - w),
              y0 = std::clamp(sy - h / 2, 0, level.height - h);
    LevelSource cut = level;
    cut.width = w;
    cut.height = h;
    cut.switches.clear();
    for (LayerSource& layer : cut.layers) {
        const LayerSource& whole =
            *std::find_if(level.layers.begin(), level.layers.end(),
                          [&](const LayerSource& l) { return l.number == layer.number; });
        layer.width = std::min(whole.width, w);
        layer.height = std::min(whole.height, h);
        layer.objects.clear();
        layer.tiles.assign(static_cast<size_t>(layer.width * layer.height), 0);
        layer.bounds.assign(layer.tiles.size(), 0);
        for (int y = 0; y < layer.height; ++y)
            for (int x = 0; x < layer.width; ++x) {
                const int wx = (x0 + x) % whole.width, wy = (y0 + y) % whole.height;
                layer.tiles[static_cast<size_t>(y * layer.width + x)] = whole.TileAt(wx, wy);
                layer.bounds[static_cast<size_t>(y * layer.width + x)] = whole.BoundAt(wx, wy);
            }
    }
    // Switches whose objects are still on the cut.
    if (const LayerSource* f = cut.Playfield())
        for (const SwitchSource& sw : level.switches)
            if (std::any_of(f->bounds.begin(), f->bounds.end(),
                            [&](uint16_t b) { return (b >> 8) == sw.tag; }))
                cut.switches.push_back(sw);
    return cut;
}

// A small level with something of every kind the map holds: a sequence (the
// one tiles.tsx has too), a small repeating sky, bounds, start and exit, an
// info sign with its text and one given as a map property, a switch and its
// cell.
LevelSource SmallLevel() {
    LevelSource level;
    level.file = "small.tmx";
    level.number = 1;
    level.name = "Seed";
    level.music = "Seed.mod";
    level.bitmap = "GFX\\Level1.bmp";
    level.width = 20;
    level.height = 15;
    level.info[1] = "HELLO";
    level.info[2] = "ON THE MAP";
    SequenceSource seq;
    seq.name = "water";
    seq.fps = 8;
    seq.frames = {4, 5};
    level.sequences.push_back(seq);
    SwitchSource sw;
    sw.tag = 0x10;
    sw.image = "Switch";
    sw.tileOn = 7;
    sw.tileOff = -1;
    sw.boundsOn = 15;
    level.switches.push_back(sw);

    LayerSource field;
    field.number = 3;
    field.width = 20;
    field.height = 15;
    field.tiles.assign(300, 0);
    field.bounds.assign(300, 0);
    for (int x = 0; x < 20; ++x) {
        field.tiles[static_cast<size_t>(14 * 20 + x)] = static_cast<int16_t>(x % 3 == 0 ? -1 : 2 + x % 5);
        field.bounds[static_cast<size_t>(14 * 20 + x)] = 15;
    }
    auto tag = [&](int x, int y, int t) {
        uint16_t& b = field.bounds[static_cast<size_t>(y * 20 + x)];
        b = static_cast<uint16_t>(t << 8 | (b & 0xFF));
    };
    tag(1, 13, 0xF0);
    tag(18, 13, 0xF1);
    tag(5, 13, 0x01);
    tag(8, 13, 0x10);
    tag(12, 10, 0x20);
    tag(15, 13, 0xC0);

    LayerSource sky;
    sky.number = 7;
    sky.scrollX = 2;
    sky.scrollY = 2;
    sky.width = 4;
    sky.height = 3;
    sky.tiles = {10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21};
    sky.bounds.assign(12, 0);
    level.layers = {field, sky};
    std::sort(level.layers.begin(), level.layers.end(),
              [](const LayerSource& a, const LayerSource& b) { return a.number < b.number; });
    return level;
}

// The map with its tileset "Tiles" in the external tileset tiles.tsx.
std::string WithExternalTiles(const std::string& text) {
    pugi::xml_document doc;
    doc.load_buffer(text.data(), text.size());
    pugi::xml_node map = doc.child("map");
    for (pugi::xml_node ts : map.children("tileset"))
        if (std::string(ts.attribute("name").as_string()) == kTilesTileset) {
            pugi::xml_node external = map.insert_child_before("tileset", ts);
            external.append_attribute("firstgid") = ts.attribute("firstgid").as_uint();
            external.append_attribute("source") = "tiles.tsx";
            map.remove_child(ts);
            break;
        }
    std::ostringstream out;
    doc.save(out, " ");
    return out.str();
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_map_seeds OUTDIR EXPORTED.tmx...\n");
        return 2;
    }
    const std::filesystem::path out = argv[1];
    std::filesystem::create_directories(out);
    bool ok = true;
    auto seed = [&](const std::string& name, const std::string& text, bool clean = true) {
        if (clean && !ReadsCleanly(text, (out / name).string())) {
            std::fprintf(stderr, "make_map_seeds: the seed %s does not read cleanly\n", name.c_str());
            ok = false;
        }
        ok = Save(out / name, text) && ok;
    };

    for (int i = 2; i < argc; ++i) {
        const std::string path = argv[i];
        Diagnostics diag;
        const LevelSource level = ReadTiledMapText(ReadText(path), path, Context(), diag);
        for (const std::string& e : diag.Errors())
            std::fprintf(stderr, "make_map_seeds: %s\n", e.c_str());
        if (diag.ErrorCount()) {
            ok = false;
            continue;
        }
        const std::string stem = std::filesystem::path(path).stem().string();
        const std::string cut = MapText(Cut(level));
        seed(stem + "-screen.tmx", cut);
        seed(stem + "-screen-zlib.tmx", test::MapWithLayerData(cut, "zlib"));
    }

    const std::string small = MapText(SmallLevel());
    seed("small.tmx", small);
    for (const char* form : {"base64", "zlib", "gzip", "zstd"})
        seed(std::string("small-") + form + ".tmx", test::MapWithLayerData(small, form));
    seed("small-xml.tmx", Unindented(test::MapWithLayerData(small, "xml")));
    // The external tileset is looked for beside the map.
    const std::string external = WithExternalTiles(test::MapWithLayerData(small, "zlib"));
    if (!ReadsCleanly(external, std::string(VARNOK_MAP_SEED_DIR) + "/map.tmx")) ok = false;
    seed("small-external.tmx", external, false);
    std::string missing = small;
    const size_t at = missing.find("Level1.bmp");
    if (at != std::string::npos) missing.replace(at, 10, "Missing.bmp");
    seed("small-missing-sheet.tmx", missing, false);
    return ok ? 0 : 1;
}
