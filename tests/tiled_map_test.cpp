// Reading Tiled maps: a small valid map reads as a level, every fault of a
// bad map is an error naming the file and the place as Tiled shows it (layer
// and cell, object, tileset or property), every layer data form Tiled writes
// reads the same cells, and Tiled itself opens and saves the maps the game
// writes.
#include "levelsource/MapPictures.h"
#include "levelsource/TiledMap.h"
#include "tests/support/TestSupport.h"
#include "tests/support/TiledData.h"

#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace varnok;
using namespace varnok::levelc;

namespace {

constexpr const char* kFile = "maps/level1.tmx";
constexpr int kSheetTiles = 130;
// Global ids: the tileset "Tiles" (144 tiles, tile 130 animated), then
// "Bounds" and "Actors" (256 each, tile id = bound code or tag).
constexpr uint32_t kTilesFirst = 1, kBoundsFirst = 145, kActorsFirst = 401;
constexpr uint32_t kGround = kTilesFirst + 2, kWater = kTilesFirst + 130, kSolid = kBoundsFirst + 15;
constexpr size_t kCells = 20 * 15;

size_t Cell(int x, int y) {
    return static_cast<size_t>(y * 20 + x);
}

std::string Csv(const std::vector<uint32_t>& ids) {
    std::string out;
    for (size_t i = 0; i < ids.size(); ++i)
        out += (i ? "," : "") + std::to_string(ids[i]);
    return out;
}

std::string CsvData(const std::vector<uint32_t>& ids) {
    return "<data encoding=\"csv\">" + Csv(ids) + "</data>";
}

std::string Base64Data(const std::vector<uint32_t>& ids, const std::string& compression) {
    return "<data encoding=\"base64\"" + (compression.empty() ? "" : " compression=\"" + compression + "\"") +
           ">" + test::LayerData(ids, compression) + "</data>";
}

std::string TileLayer(const std::string& name, const std::vector<uint32_t>& ids,
                      const std::string& attributes = "", const std::string& properties = "") {
    return "<layer name=\"" + name + "\" width=\"20\" height=\"15\" " + attributes + ">" +
           (properties.empty() ? "" : "<properties>" + properties + "</properties>") + CsvData(ids) +
           "</layer>\n";
}

std::string Property(const std::string& name, const std::string& value) {
    return "<property name=\"" + name + "\" value=\"" + value + "\"/>";
}

// A tile object of the tileset "Actors" on cell x, y.
std::string Actor(int id, const std::string& name, int tag, int x, int y, const std::string& attributes = "",
                  const std::string& properties = "") {
    return "<object id=\"" + std::to_string(id) + "\" name=\"" + name + "\" gid=\"" +
           std::to_string(kActorsFirst + static_cast<uint32_t>(tag)) + "\" x=\"" + std::to_string(x * 32) +
           "\" y=\"" + std::to_string((y + 1) * 32) + "\" width=\"32\" height=\"32\" " + attributes + ">" +
           (properties.empty() ? "" : "<properties>" + properties + "</properties>") + "</object>\n";
}

std::string SwitchProperties(const std::string& start) {
    return Property("image", "Lever") + Property("start", start) + Property("on tile", "5") +
           Property("on bound", "solid") + Property("off tile", "-1") + Property("off bound", "0");
}

const char* const kTilesTilesetText =
    R"(<tileset firstgid="1" name="Tiles" tilewidth="32" tileheight="32" tilecount="144" columns="16">
  <image source="tiles.png" width="512" height="288"/>
  <tile id="130">
   <properties><property name="fps" type="int" value="8"/></properties>
   <animation><frame tileid="3" duration="125"/><frame tileid="4" duration="125"/></animation>
  </tile>
 </tileset>
)";

// The smallest map of a level: one screen of 20 x 15 cells of 32 x 32 pixels,
// a ground row with an animated cell above it, solid bounds under the ground,
// Start and Exit. Each test changes one thing.
struct TestMap {
    int width = 20, height = 15;
    std::string mapAttributes = R"(orientation="orthogonal" renderorder="right-down" infinite="0")";
    std::string properties = Property("music", "Level1.mod") + Property("name", "Meadow");
    std::string tilesets =
        std::string(kTilesTilesetText) +
        R"( <tileset firstgid="145" name="Bounds" tilewidth="32" tileheight="32" tilecount="256" columns="16">
  <image source="bounds.png" width="512" height="512"/>
 </tileset>
 <tileset firstgid="401" name="Actors" tilewidth="32" tileheight="32" tilecount="256" columns="16">
  <image source="actors.png" width="512" height="512"/>
 </tileset>
)";
    std::string playfieldName = "Layer 3 (Playfield)";
    std::string playfieldSize = R"(width="20" height="15")";
    std::vector<uint32_t> playfield = std::vector<uint32_t>(kCells, 0);
    std::string playfieldData; // replaces the CSV of `playfield` when set
    std::vector<uint32_t> bounds = std::vector<uint32_t>(kCells, 0);
    std::string boundsData; // replaces the CSV of `bounds` when set
    bool withBounds = true;
    std::string layers; // further layers
    std::string objects = Actor(1, "Start", 0xF0, 1, 13) + Actor(2, "Exit", 0xF1, 18, 13);

    TestMap() {
        for (int x = 0; x < 20; ++x) {
            playfield[Cell(x, 14)] = kGround;
            bounds[Cell(x, 14)] = kSolid;
        }
        playfield[Cell(3, 13)] = kWater;
    }

    std::string Text() const {
        std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<map version=\"1.8\" " +
                           mapAttributes + " width=\"" + std::to_string(width) + "\" height=\"" +
                           std::to_string(height) +
                           "\" tilewidth=\"32\" tileheight=\"32\">\n <properties>\n" + properties +
                           "\n </properties>\n" + tilesets;
        text += "<layer name=\"" + playfieldName + "\" " + playfieldSize + ">" +
                (playfieldData.empty() ? CsvData(playfield) : playfieldData) + "</layer>\n";
        if (withBounds)
            text += "<layer name=\"Bounds\" " + playfieldSize + ">" +
                    (boundsData.empty() ? CsvData(bounds) : boundsData) + "</layer>\n";
        text += layers + "<objectgroup name=\"Actors\">\n" + objects + "</objectgroup>\n</map>\n";
        return text;
    }
};

MapContext Context() {
    MapContext context;
    context.sheetTiles = [](const std::string& sheet, int, int, std::string& why) {
        if (sheet.find("Missing") != std::string::npos) {
            why = "no such picture";
            return -1;
        }
        return kSheetTiles;
    };
    return context;
}

struct Read {
    LevelSource level;
    Diagnostics diag;
    std::string Errors() const {
        std::string all;
        for (const std::string& e : diag.Errors())
            all += e + "\n";
        return all;
    }
    bool HasError(const std::string& message) const {
        for (const std::string& e : diag.Errors())
            if (e.find(message) != std::string::npos) return true;
        return false;
    }
};

Read ReadText(const std::string& text, const std::string& path = kFile) {
    Read r;
    r.level = ReadTiledMapText(text, path, Context(), r.diag);
    return r;
}

// The message that names the place and says what is wrong there.
std::string Message(const std::string& where, const std::string& text) {
    return std::string(kFile) + ": " + where + ": error: " + text;
}

const char* const kField = "layer \"Layer 3 (Playfield)\"";

std::vector<uint32_t> Ids(size_t count, uint32_t first = kGround) {
    std::vector<uint32_t> ids(count);
    for (size_t i = 0; i < count; ++i)
        ids[i] = first + static_cast<uint32_t>(i % 7);
    return ids;
}

TEST(TiledMapRead, TheSmallestMapReadsAsALevel) {
    const Read r = ReadText(TestMap().Text());
    ASSERT_EQ(r.diag.ErrorCount(), 0u) << r.Errors();
    EXPECT_TRUE(r.diag.Warnings().empty());
    const LevelSource& level = r.level;
    EXPECT_EQ(level.name, "Meadow");
    EXPECT_EQ(level.music, "Level1.mod");
    EXPECT_EQ(level.bitmap, "GFX\\Level1.bmp");
    EXPECT_EQ(level.width, 20);
    EXPECT_EQ(level.height, 15);
    ASSERT_EQ(level.sequences.size(), 1u);
    EXPECT_EQ(level.sequences[0].frames, (std::vector<int16_t>{4, 5}));
    EXPECT_EQ(level.sequences[0].fps, 8);
    const LayerSource* field = level.Playfield();
    ASSERT_NE(field, nullptr);
    ASSERT_EQ(field->tiles.size(), kCells);
    EXPECT_EQ(field->TileAt(0, 14), 3);  // tile 2 of the sheet
    EXPECT_EQ(field->TileAt(3, 13), -1); // the animated tile: sequence 1
    EXPECT_EQ(field->TileAt(0, 0), 0);
    EXPECT_EQ(field->BoundAt(0, 14), 15);
    EXPECT_EQ(field->BoundAt(1, 13), 0xF0 << 8);
    EXPECT_EQ(field->BoundAt(18, 13), 0xF1 << 8);
    EXPECT_EQ(field->objects.at(static_cast<int>(Cell(1, 13))), "object \"Start\" (id 1)");
}

TEST(TiledMapRead, BrokenXmlNamesTheLine) {
    TestMap map;
    map.properties = Property("music", "Level1.mod") + "\n<property name=\"name\" value=Meadow/>";
    const std::string text = map.Text();
    const size_t at = text.find("value=Meadow");
    const int line =
        1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<ptrdiff_t>(at), '\n'));
    const Read r = ReadText(text);
    EXPECT_TRUE(r.HasError(std::string(kFile) + ":" + std::to_string(line) + ": error: broken XML"))
        << r.Errors();
}

struct Fault {
    std::string what;
    std::function<std::string(TestMap)> map;
    std::string where;
    std::string text;
};

std::string WithGid(TestMap m, size_t cell, uint32_t gid) {
    m.playfield[cell] = gid;
    return m.Text();
}

const std::vector<uint32_t> kFlips = {0x80000000u, 0x40000000u, 0x20000000u, 0x10000000u};

std::vector<Fault> Faults() {
    std::vector<Fault> faults = {
        {"not a map", [](TestMap) { return std::string("<?xml version=\"1.0\"?><tileset name=\"Tiles\"/>"); },
         "the file", "not a Tiled map: it has no <map> element"},
        {"isometric",
         [](TestMap m) {
             m.mapAttributes = R"(orientation="isometric" infinite="0")";
             return m.Text();
         },
         "the map", "the map is isometric"},
        {"infinite",
         [](TestMap m) {
             m.mapAttributes = R"(orientation="orthogonal" infinite="1")";
             return m.Text();
         },
         "the map", "the map is infinite"},
        {"4001 cells wide",
         [](TestMap m) {
             m.width = 4001;
             return m.Text();
         },
         "the map", "the map's size (4001 x 15 cells) is not from 1 to 4000 cells a side"},
        {"layer narrower than the map",
         [](TestMap m) {
             m.playfieldSize = R"(width="19" height="15")";
             return m.Text();
         },
         kField, "the layer is 19 x 15 cells, the map 20 x 15"},
        {"unknown tileset",
         [](TestMap m) {
             m.tilesets +=
                 R"(<tileset firstgid="700" name="Extras" tilewidth="32" tileheight="32" tilecount="4"/>)";
             return m.Text();
         },
         "tileset \"Extras\"", "unknown tileset"},
        {"unknown tile sheet",
         [](TestMap m) {
             m.properties += Property("sheet", "GFX\\Missing.bmp");
             return m.Text();
         },
         "map property \"sheet\"", "unknown tile sheet \"GFX\\Missing.bmp\": no such picture"},
        {"tile sheet outside the game's pictures",
         [](TestMap m) {
             m.properties += Property("sheet", "GFX\\..\\..\\etc\\passwd");
             return m.Text();
         },
         "map property \"sheet\"", "the tile sheet is a picture in the game's GFX folder"},
        {"tile sheet in another folder",
         [](TestMap m) {
             m.properties += Property("sheet", "/tmp/tiles.bmp");
             return m.Text();
         },
         "map property \"sheet\"", "the tile sheet is a picture in the game's GFX folder"},
        {"tile beyond the sheet", [](TestMap m) { return WithGid(m, Cell(4, 2), kTilesFirst + 135); },
         std::string(kField) + " cell 4, 2",
         "tile 135 is not on the tile sheet (tiles 0 to 129) and is no sequence"},
        {"tile in no tileset", [](TestMap m) { return WithGid(m, Cell(5, 3), 700); },
         std::string(kField) + " cell 5, 3", "tile id 700 is in no tileset"},
        {"bound icon on the playfield", [](TestMap m) { return WithGid(m, Cell(6, 4), kSolid); },
         std::string(kField) + " cell 6, 4", "a tile of the tileset \"Bounds\" on a layer of tiles"},
        {"actor on the bounds layer",
         [](TestMap m) {
             m.bounds[Cell(2, 2)] = kActorsFirst + 0xC0;
             return m.Text();
         },
         "layer \"Bounds\" cell 2, 2", "only icons of the tileset \"Bounds\" belong on the bounds layer"},
        {"no playfield",
         [](TestMap m) {
             m.playfieldName = "Layer 4";
             return m.Text();
         },
         "the map", "the map has no playfield layer \"Layer 3 (Playfield)\""},
        {"no bounds layer",
         [](TestMap m) {
             m.withBounds = false;
             return m.Text();
         },
         "the map", "the map has no layer \"Bounds\""},
        {"layer of no game layer",
         [](TestMap m) {
             m.layers = TileLayer("Clouds", std::vector<uint32_t>(kCells, 0));
             return m.Text();
         },
         "layer \"Clouds\"", "which game layer is this?"},
        {"chunked data",
         [](TestMap m) {
             m.playfieldData =
                 R"(<data encoding="csv"><chunk x="0" y="0" width="16" height="16">1,2</chunk></data>)";
             return m.Text();
         },
         kField, "the layer is stored in chunks"},
        {"lzma",
         [](TestMap m) {
             m.playfieldData = R"(<data encoding="base64" compression="lzma">AAAAAA==</data>)";
             return m.Text();
         },
         kField, "the layer data is compressed with \"lzma\""},
        {"broken base64",
         [](TestMap m) {
             m.playfieldData = R"(<data encoding="base64">AAA*AAAA</data>)";
             return m.Text();
         },
         kField, "the base64 data is broken"},
        {"too few cells, uncompressed",
         [](TestMap m) {
             m.playfieldData = Base64Data(Ids(kCells - 1), "");
             return m.Text();
         },
         kField, "the layer holds 299 cells, the map 300"},
        {"too many cells in XML",
         [](TestMap m) {
             std::string tiles;
             for (size_t i = 0; i <= kCells; ++i)
                 tiles += "<tile/>";
             m.playfieldData = "<data>" + tiles + "</data>";
             return m.Text();
         },
         kField, "the layer holds more cells than the map"},
        {"missing external tileset",
         [](TestMap m) {
             m.tilesets.replace(0, std::string(kTilesTilesetText).size(),
                                R"(<tileset firstgid="1" source="missing.tsx"/>)");
             return m.Text();
         },
         "tileset \"missing.tsx\"", "the external tileset cannot be read"},
        {"object left of the map",
         [](TestMap m) {
             m.objects = Actor(1, "Start", 0xF0, -1, 13) + Actor(2, "Exit", 0xF1, 18, 13);
             return m.Text();
         },
         "object \"Start\" (id 1)", "the object lies outside the map (at -32, 448)"},
        {"object beyond the right edge",
         [](TestMap m) {
             m.objects = Actor(1, "Start", 0xF0, 1, 13) + Actor(2, "Exit", 0xF1, 20, 13);
             return m.Text();
         },
         "object \"Exit\" (id 2)", "the object lies outside the map (at 640, 448)"},
        {"object below the map",
         [](TestMap m) {
             m.objects = Actor(1, "Start", 0xF0, 1, 13) + Actor(2, "Exit", 0xF1, 18, 15);
             return m.Text();
         },
         "object \"Exit\" (id 2)", "the object lies outside the map (at 576, 512)"},
        {"object above the map (a tile object stands on its bottom edge)",
         [](TestMap m) {
             m.objects = Actor(1, "Start", 0xF0, 1, 13) + Actor(2, "Exit", 0xF1, 18, -1);
             return m.Text();
         },
         "object \"Exit\" (id 2)", "the object lies outside the map (at 576, 0)"},
        {"two actors on one cell",
         [](TestMap m) {
             m.objects += Actor(3, "Coin", 0xC0, 1, 13);
             return m.Text();
         },
         "object \"Coin\" (id 3)", "two actors stand on cell 1, 13 (the other is object \"Start\" (id 1))"},
        {"rectangle object",
         [](TestMap m) {
             m.objects += R"(<object id="3" name="Box" x="64" y="64" width="32" height="32"/>)";
             return m.Text();
         },
         "object \"Box\" (id 3)",
         "the object is no actor picture: place actors as tiles of the tileset \"Actors\""},
        {"object of the tileset Tiles",
         [](TestMap m) {
             m.objects += R"(<object id="3" x="64" y="96" gid="5" width="32" height="32"/>)";
             return m.Text();
         },
         "object 3 in layer \"Actors\"", "the object is no actor picture"},
        {"rotated object",
         [](TestMap m) {
             m.objects = Actor(1, "Start", 0xF0, 1, 13, "rotation=\"90\"") + Actor(2, "Exit", 0xF1, 18, 13);
             return m.Text();
         },
         "object \"Start\" (id 1)", "the actor is rotated"},
        {"sign text the fonts cannot draw",
         [](TestMap m) {
             m.objects += Actor(3, "Info sign 1", 0x01, 5, 13, "", Property("text", "CAFE {OPEN}"));
             return m.Text();
         },
         "object \"Info sign 1\" (id 3)", "'{' is not in the game's fonts"},
        {"info property the fonts cannot draw",
         [](TestMap m) {
             m.properties += Property("info 2", "Caf\xC3\xA9");
             return m.Text();
         },
         "map property \"info 2\"", "'\xC3\xA9' is not in the game's fonts"},
        {"sign text beyond Latin-1",
         [](TestMap m) {
             m.objects += Actor(3, "Info sign 1", 0x01, 5, 13, "", Property("text", "5 \xE2\x82\xAC"));
             return m.Text();
         },
         "object \"Info sign 1\" (id 3)", "character U+20AC cannot be written in the game's 8-bit texts"},
        {"two signs of one number, two texts",
         [](TestMap m) {
             m.objects += Actor(3, "Info sign 1", 0x01, 5, 13, "", Property("text", "HELLO")) +
                          Actor(4, "Info sign 1", 0x01, 9, 13, "", Property("text", "GOODBYE"));
             return m.Text();
         },
         "object \"Info sign 1\" (id 4)", "info sign 1 has another text at object \"Info sign 1\" (id 3)"},
        {"sign text and info property differ",
         [](TestMap m) {
             m.properties += Property("info 1", "GOODBYE");
             m.objects += Actor(3, "Info sign 1", 0x01, 5, 13, "", Property("text", "HELLO"));
             return m.Text();
         },
         "map property \"info 1\"", "info sign 1 has another text at object \"Info sign 1\" (id 3)"},
        {"switch without its off bound",
         [](TestMap m) {
             m.objects +=
                 Actor(3, "Switch 10", 0x10, 8, 13, "",
                       Property("image", "Lever") + Property("start", "off") + Property("on tile", "5") +
                           Property("on bound", "solid") + Property("off tile", "-1"));
             return m.Text();
         },
         "object \"Switch 10\" (id 3)", "a switch needs the property \"off bound\""},
        {"switch showing a tile beyond the sheet",
         [](TestMap m) {
             m.objects += Actor(3, "Switch 10", 0x10, 8, 13, "",
                                Property("image", "Lever") + Property("start", "off") +
                                    Property("on tile", "140") + Property("on bound", "solid") +
                                    Property("off tile", "-1") + Property("off bound", "0"));
             return m.Text();
         },
         "object \"Switch 10\" (id 3)", "tile 140 is not on the tile sheet"},
        {"two switches of one tag, other properties",
         [](TestMap m) {
             m.objects += Actor(3, "Switch 10", 0x10, 8, 13, "", SwitchProperties("off")) +
                          Actor(4, "Switch 10", 0x10, 10, 13, "", SwitchProperties("on"));
             return m.Text();
         },
         "object \"Switch 10\" (id 4)",
         "switch 10 has other properties here than at object \"Switch 10\" (id 3)"},
        {"parallax above 1",
         [](TestMap m) {
             m.layers = TileLayer("Layer 7", Ids(kCells), "parallaxx=\"1.5\"");
             return m.Text();
         },
         "layer \"Layer 7\"", "parallax x 1.5: a layer moves at most as fast as the playfield (0 to 1)"},
        {"parallax slower than any scroll factor",
         [](TestMap m) {
             m.layers = TileLayer("Layer 7", Ids(kCells), "parallaxy=\"0.00001\"");
             return m.Text();
         },
         "layer \"Layer 7\"",
         "parallax y 1e-05: the slowest layer moves at 1/32767 of the playfield's speed"},
        {"parallax not a number",
         [](TestMap m) {
             m.layers = TileLayer("Layer 7", Ids(kCells), "parallaxx=\"nan\"");
             return m.Text();
         },
         "layer \"Layer 7\"", "parallax x nan: a layer moves at most as fast as the playfield (0 to 1)"},
        {"size property larger than the map",
         [](TestMap m) {
             m.layers = TileLayer("Layer 5", Ids(kCells), "", Property("size", "21 15"));
             return m.Text();
         },
         "layer \"Layer 5\"",
         "the property \"size\" is the layer's width and height, at most the map's 20 x 15"},
    };
    for (uint32_t flip : kFlips) {
        const std::string bit = " (bit " + std::to_string(flip >> 28) + ")";
        faults.push_back({"flipped tile" + bit,
                          [flip](TestMap m) { return WithGid(m, Cell(7, 5), kGround | flip); },
                          std::string(kField) + " cell 7, 5",
                          "the tile is flipped or rotated: the game draws tiles only as they are"});
        faults.push_back({"flipped bound icon" + bit,
                          [flip](TestMap m) {
                              m.bounds[Cell(0, 14)] |= flip;
                              return m.Text();
                          },
                          "layer \"Bounds\" cell 0, 14", "the bound icon is flipped or rotated"});
        faults.push_back({"flipped actor" + bit,
                          [flip](TestMap m) {
                              m.objects = "<object id=\"1\" name=\"Start\" gid=\"" +
                                          std::to_string((kActorsFirst + 0xF0) | flip) +
                                          "\" x=\"32\" y=\"448\" width=\"32\" height=\"32\"/>";
                              return m.Text();
                          },
                          "object \"Start\" (id 1)", "the actor picture is flipped or rotated"});
    }
    for (const char* compression : {"zlib", "gzip", "zstd"}) {
        faults.push_back({std::string(compression) + ": too few cells",
                          [compression](TestMap m) {
                              m.playfieldData = Base64Data(Ids(kCells - 1), compression);
                              return m.Text();
                          },
                          kField, "the compressed data holds fewer cells than the layer"});
        faults.push_back({std::string(compression) + ": too many cells",
                          [compression](TestMap m) {
                              m.playfieldData = Base64Data(Ids(kCells + 1), compression);
                              return m.Text();
                          },
                          kField, "the compressed data holds more cells than the layer"});
        // The last bytes missing: zlib's and gzip's check values (every cell
        // is there), zstd's last block.
        faults.push_back(
            {std::string(compression) + ": cut short",
             [compression](TestMap m) {
                 std::string packed = test::Compressed(test::IdBytes(Ids(kCells)), compression);
                 packed.resize(packed.size() - 4);
                 m.playfieldData = "<data encoding=\"base64\" compression=\"" + std::string(compression) +
                                   "\">" + test::Base64(packed) + "</data>";
                 return m.Text();
             },
             kField,
             std::string(compression) == "zstd" ? "the compressed data is broken"
                                                : "the compressed data is cut short after the last cell"});
    }
    return faults;
}

TEST(TiledMapRead, EveryFaultIsAnErrorNamingFileAndPlace) {
    for (const Fault& f : Faults()) {
        SCOPED_TRACE(f.what);
        const Read r = ReadText(f.map(TestMap()));
        EXPECT_TRUE(r.HasError(Message(f.where, f.text)))
            << "expected: " << Message(f.where, f.text) << "\ngot:\n"
            << r.Errors();
    }
}

// Layers that together hold more cells than a level may have are refused
// before their data is looked at: the Bounds layer's broken data is never
// decoded.
TEST(TiledMapRead, LayersBeyondTheCellBoundAreRefusedBeforeTheirData) {
    TestMap m;
    m.width = 4000;
    m.height = 4000;
    m.playfieldSize = R"(width="4000" height="4000")";
    m.playfieldData = R"(<data encoding="csv"></data>)";
    m.boundsData = R"(<data encoding="base64" compression="zlib">AAA*</data>)";
    const Read r = ReadText(m.Text());
    EXPECT_TRUE(
        r.HasError(Message("layer \"Bounds\"", "the map's layers hold more than 16777216 cells together")))
        << r.Errors();
    EXPECT_FALSE(r.HasError("base64")) << r.Errors();
}

// Tile codes are 16-bit: on a sheet of more tiles, tile 32766 is the last
// one a map can show.
TEST(TiledMapRead, OnlyTheFirst32767TilesOfAHugeSheetAreShown) {
    TestMap m;
    m.tilesets =
        R"(<tileset firstgid="1" name="Tiles" tilewidth="32" tileheight="32" tilecount="40000" columns="200"/>
<tileset firstgid="40001" name="Bounds" tilewidth="32" tileheight="32" tilecount="256" columns="16"/>
<tileset firstgid="40257" name="Actors" tilewidth="32" tileheight="32" tilecount="256" columns="16"/>
)";
    for (int x = 0; x < 20; ++x)
        m.bounds[Cell(x, 14)] = 40001 + 15;
    m.playfield[Cell(3, 13)] = 1 + 32766;
    m.objects = R"(<object id="1" name="Start" gid=")" + std::to_string(40257 + 0xF0) +
                R"(" x="32" y="448" width="32" height="32"/>)";
    auto read = [](const std::string& text) {
        Read r;
        MapContext context;
        context.sheetTiles = [](const std::string&, int, int, std::string&) { return 40000; };
        r.level = ReadTiledMapText(text, kFile, context, r.diag);
        return r;
    };
    const Read last = read(m.Text());
    ASSERT_EQ(last.diag.ErrorCount(), 0u) << last.Errors();
    EXPECT_EQ(last.level.Playfield()->TileAt(3, 13), 32767);
    m.playfield[Cell(3, 13)] = 1 + 35000;
    const Read beyond = read(m.Text());
    EXPECT_TRUE(beyond.HasError(Message(std::string(kField) + " cell 3, 13",
                                        "tile 35000 is not on the tile sheet (tiles 0 to 32766)")))
        << beyond.Errors();
}

// Every layer data form Tiled writes gives the same cells.
TEST(TiledMapRead, LayerDataInEveryFormReadsTheSameCells) {
    TestMap plain;
    for (size_t i = 0; i < kCells; ++i)
        if (i % 13 == 0) plain.playfield[i] = kTilesFirst + static_cast<uint32_t>(i % kSheetTiles);
    const Read csv = ReadText(plain.Text());
    ASSERT_EQ(csv.diag.ErrorCount(), 0u) << csv.Errors();
    const LayerSource& expected = *csv.level.Playfield();
    EXPECT_EQ(expected.TileAt(13 % 20, 13 / 20), 14);
    for (const char* form : {"base64", "zlib", "gzip", "zstd", "xml"}) {
        SCOPED_TRACE(form);
        const std::string text = test::MapWithLayerData(plain.Text(), form);
        ASSERT_NE(text.find(std::string(form) == "xml" ? "<tile gid=" : "encoding=\"base64\""),
                  std::string::npos);
        const Read r = ReadText(text);
        ASSERT_EQ(r.diag.ErrorCount(), 0u) << r.Errors();
        EXPECT_EQ(r.level.Playfield()->tiles, expected.tiles);
        EXPECT_EQ(r.level.Playfield()->bounds, expected.bounds);
    }
}

TEST(TiledMapRead, ExternalTilesets) {
    const test::TempDir dir;
    const std::string map = dir / "level1.tmx";
    TestMap m;
    const std::string embedded = kTilesTilesetText;
    m.tilesets.replace(0, embedded.size(), R"(<tileset firstgid="1" source="tiles.tsx"/>)");
    const std::string text = m.Text();
    // The tileset file holds the element without its firstgid.
    std::string tsx = embedded;
    tsx.replace(tsx.find("firstgid=\"1\" "), 13, "");
    test::WriteFileBytes(dir / "tiles.tsx", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + tsx);
    const Read good = ReadText(text, map);
    ASSERT_EQ(good.diag.ErrorCount(), 0u) << good.Errors();
    const Read inMap = ReadText(TestMap().Text());
    EXPECT_EQ(good.level.Playfield()->tiles, inMap.level.Playfield()->tiles);
    ASSERT_EQ(good.level.sequences.size(), 1u);
    EXPECT_EQ(good.level.sequences[0].frames, inMap.level.sequences[0].frames);

    test::WriteFileBytes(dir / "tiles.tsx",
                         "<?xml version=\"1.0\"?>\n<tileset name=\"Tiles\" <image/></tileset>");
    const Read broken = ReadText(text, map);
    EXPECT_TRUE(broken.HasError(map + ": tileset \"tiles.tsx\": error: the external tileset is broken XML"))
        << broken.Errors();

    test::WriteFileBytes(dir / "tiles.tsx", "<?xml version=\"1.0\"?>\n<map/>");
    const Read notTileset = ReadText(text, map);
    EXPECT_TRUE(
        notTileset.HasError(map + ": tileset \"tiles.tsx\": error: the external tileset has no <tileset>"))
        << notTileset.Errors();
}

// Tiled shows a layer's scroll factor as its parallax: a parallax changed in
// Tiled decides over the "scroll" property, which otherwise stays as written.
TEST(TiledMapRead, ParallaxGivesTheScrollFactor) {
    struct Case {
        std::string attributes, properties;
        int16_t x, y;
    };
    const Case cases[] = {
        {"parallaxx=\"0.5\"", "", 2, 1},
        {"parallaxx=\"0.25\" parallaxy=\"0.5\"", "", 4, 2},
        {"parallaxx=\"0.5\" parallaxy=\"0.5\"", Property("scroll", "2 2"), 2, 2},
        // A scroll factor whose parallax is missing: Tiled shows parallax 1,
        // which decides where it differs.
        {"", Property("scroll", "3 -2"), 1, -2},
        {"parallaxx=\"0\" parallaxy=\"0\"", "", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attributes + " " + c.properties);
        TestMap m;
        m.layers = TileLayer("Layer 7", Ids(kCells), c.attributes, c.properties);
        const Read r = ReadText(m.Text());
        ASSERT_EQ(r.diag.ErrorCount(), 0u) << r.Errors();
        const LayerSource& sky = r.level.layers.back();
        ASSERT_EQ(sky.number, 7);
        EXPECT_EQ(sky.scrollX, c.x);
        EXPECT_EQ(sky.scrollY, c.y);
    }
}

// A layer smaller than the map (property "size") keeps its own cells; the
// cells beyond it repeat them on layers that repeat endlessly and are empty
// on the others. A cell that says otherwise is not read: a warning names it.
TEST(TiledMapRead, SmallLayersRepeatTheirCells) {
    std::vector<uint32_t> repeated(kCells, 0), alone(kCells, 0);
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 20; ++x) {
            repeated[Cell(x, y)] = kTilesFirst + static_cast<uint32_t>((y % 3) * 4 + x % 4);
            if (x < 4 && y < 3) alone[Cell(x, y)] = repeated[Cell(x, y)];
        }
    const std::string size = Property("size", "4 3");
    TestMap m;
    m.layers = TileLayer("Layer 5", repeated, "", size) + TileLayer("Layer 4 (Z-)", alone, "", size);
    const Read r = ReadText(m.Text());
    ASSERT_EQ(r.diag.ErrorCount(), 0u) << r.Errors();
    EXPECT_TRUE(r.diag.Warnings().empty());
    ASSERT_EQ(r.level.layers.size(), 3u);
    for (const LayerSource& layer : {r.level.layers[1], r.level.layers[2]}) {
        SCOPED_TRACE(layer.number);
        EXPECT_EQ(layer.width, 4);
        EXPECT_EQ(layer.height, 3);
        ASSERT_EQ(layer.tiles.size(), 12u);
        EXPECT_EQ(layer.TileAt(3, 2), 2 * 4 + 3 + 1);
    }

    repeated[Cell(9, 7)] = kGround; // (9 % 4, 7 % 3) holds another tile
    alone[Cell(4, 0)] = kGround;
    m.layers = TileLayer("Layer 5", repeated, "", size) + TileLayer("Layer 4 (Z-)", alone, "", size);
    const Read changed = ReadText(m.Text());
    ASSERT_EQ(changed.diag.ErrorCount(), 0u) << changed.Errors();
    ASSERT_EQ(changed.diag.Warnings().size(), 2u);
    EXPECT_EQ(
        changed.diag.Warnings()[0].rfind(std::string(kFile) + ": layer \"Layer 5\" cell 9, 7: warning: ", 0),
        0u)
        << changed.diag.Warnings()[0];
    EXPECT_EQ(changed.diag.Warnings()[1].rfind(
                  std::string(kFile) + ": layer \"Layer 4 (Z-)\" cell 4, 0: warning: ", 0),
              0u)
        << changed.diag.Warnings()[1];
}

// Tiled itself opens a map the game writes with its layers stored as zlib,
// gzip or zstd data, and saves it so that it reads as the same level.
TEST(TiledMapRead, TiledSavesTheGamesMapsInEveryCompression) {
    const Read source = ReadText(TestMap().Text());
    ASSERT_EQ(source.diag.ErrorCount(), 0u) << source.Errors();
    LevelSource level = source.level;
    level.info[1] = "HELLO";
    // Tiled counts a tileset's tiles from its picture, so the pictures are written too.
    const test::TempDir dir;
    MapPictureFiles files;
    files.tiles = "tiles.png";
    files.bounds = "bounds.png";
    files.actors = "actors.png";
    WritePng(dir / files.tiles, TilesPicture(RgbaImage(10 * 32, 13 * 32), level, files));
    WritePng(dir / files.bounds, BoundsPicture(32, 32));
    WritePng(dir / files.actors, ActorsPicture(32, 32, [](int) { return std::optional<RgbaImage>(); }));
    ASSERT_EQ(files.sheetTiles, kSheetTiles);
    Diagnostics diag;
    const std::string written = TiledMapText(level, files, diag);
    ASSERT_EQ(diag.ErrorCount(), 0u);

    const std::string runtime = dir / "runtime";
    std::filesystem::create_directories(runtime);
    chmod(runtime.c_str(), 0700);
    for (const char* compression : {"zlib", "gzip", "zstd"}) {
        SCOPED_TRACE(compression);
        const std::string in = dir / (std::string("in-") + compression + ".tmx");
        const std::string out = dir / (std::string("out-") + compression + ".tmx");
        test::WriteFileBytes(in, test::MapWithLayerData(written, compression));
        const std::string command = "env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR='" + runtime +
                                    "' tiled --export-map tmx '" + in + "' '" + out + "' >'" +
                                    (dir / "tiled.log") + "' 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << "tiled failed (is it installed? scripts/setup.sh):\n"
                                                   << test::ReadFileBytes(dir / "tiled.log");
        const std::string saved = test::ReadFileBytes(out);
        EXPECT_NE(saved.find(std::string("compression=\"") + compression + "\""), std::string::npos);
        Read r;
        r.level = ReadTiledMap(out, Context(), r.diag);
        ASSERT_EQ(r.diag.ErrorCount(), 0u) << r.Errors();
        EXPECT_EQ(r.level.name, level.name);
        EXPECT_EQ(r.level.info, level.info);
        EXPECT_EQ(r.level.sequences.size(), level.sequences.size());
        ASSERT_EQ(r.level.layers.size(), level.layers.size());
        EXPECT_EQ(r.level.Playfield()->tiles, level.Playfield()->tiles);
        EXPECT_EQ(r.level.Playfield()->bounds, level.Playfield()->bounds);
    }
}

} // namespace
