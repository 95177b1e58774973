#include "levelsource/TiledMap.h"

#include "levelsource/SourceText.h"

#include "common/Files.h"
#include "common/StrUtils.h"

#include <pugixml.hpp>
#include <zlib.h>
#include <zstd.h>
#include <zstd_errors.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>
#include <set>

namespace varnok::levelc {

namespace {

// Tiled keeps the flips and rotations of a tile in the top bits of its id.
constexpr uint32_t kFlipBits = 0xF0000000u;

// ---- Names -----------------------------------------------------------------

struct TagNaming {
    int lo, hi;
    const char* kind;
    const char* name; // printf form with the tag, or a fixed name
};

const TagNaming kTagNames[] = {
    {0x01, 0x0F, "InfoSign", "Info sign %d"},
    {0x10, 0x1F, "Switch", "Switch %02X"},
    {0x20, 0x2F, "SwitchedCell", "Switched cell %02X"},
    {0x30, 0x30, "Block", "Block"},
    {0x31, 0x31, "Grate", "Grate"},
    {0x32, 0x34, "Keycard", "Keycard %02X"},
    {0x35, 0x37, "LaserLock", "Laser lock %02X"},
    {0x40, 0x4F, "PlatformTrigger", "Platform trigger %02X"},
    {0x80, 0x81, "Enemy", "Enemy %02X"},
    {0x82, 0x83, "FloatingEnemy", "Floating enemy %02X"},
    {0x84, 0x85, "Enemy", "Enemy %02X"},
    {0x88, 0x8F, "Enemy", "Enemy %02X"},
    {0x90, 0x9F, "Platform", "Platform %02X"},
    {0xB0, 0xB5, "Springboard", "Springboard %02X"},
    {0xC0, 0xC0, "Coin", "Coin"},
    {0xC1, 0xC1, "Gem", "Gem"},
    {0xC2, 0xC2, "Star", "Star"},
    {0xD0, 0xD9, "Hazard", "Hazard %02X"},
    {0xE0, 0xE2, "Goodie", "Goodie %02X"},
    {0xF0, 0xF0, "Start", "Start"},
    {0xF1, 0xF1, "Exit", "Exit"},
    {0xF5, 0xF5, "Path", "Path right"},
    {0xF6, 0xF6, "Path", "Path left"},
    {0xF7, 0xF7, "Path", "Path up"},
    {0xF8, 0xF8, "Path", "Path down"},
    {0xF9, 0xF9, "Path", "Path on"},
    {0xFA, 0xFA, "AutoMove", "Auto-move right"},
    {0xFB, 0xFB, "AutoMove", "Auto-move left"},
    {0xFC, 0xFC, "AutoMove", "Auto-move up"},
    {0xFD, 0xFD, "AutoMove", "Auto-move down"},
};

const TagNaming* FindTagNaming(int tag) {
    for (const TagNaming& n : kTagNames)
        if (tag >= n.lo && tag <= n.hi) return &n;
    return nullptr;
}

// Layers 5 to 7 (the game draws them deepest) and drifting layers repeat
// endlessly in both directions.
bool RepeatsEndlessly(int number, int scrollX, int scrollY) {
    return number >= 5 || scrollX < 0 || scrollY < 0;
}

std::string ScrollText(int x, int y) {
    return Format("%d %d", x, y);
}

// The parallax factor Tiled shows for a game scroll factor: a factor above 1
// moves the layer at 1/factor; a layer fixed to the screen has 0; all else
// (1, 0 on one axis only, drifting layers) moves with the playfield.
double ParallaxOf(int factor, bool fixed) {
    if (fixed) return 0.0;
    return factor > 1 ? 1.0 / factor : 1.0;
}

std::string NumberText(double v) {
    std::string s = Format("%.6f", v);
    while (s.size() > 1 && s.back() == '0')
        s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s;
}

// ---- Data decoding ----------------------------------------------------------

bool DecodeBase64(std::string_view in, std::string& out) {
    out.clear();
    out.reserve(in.size() / 4 * 3);
    uint32_t acc = 0;
    int bits = 0, pad = 0;
    for (char ch : in) {
        int v;
        if (ch >= 'A' && ch <= 'Z')
            v = ch - 'A';
        else if (ch >= 'a' && ch <= 'z')
            v = ch - 'a' + 26;
        else if (ch >= '0' && ch <= '9')
            v = ch - '0' + 52;
        else if (ch == '+')
            v = 62;
        else if (ch == '/')
            v = 63;
        else if (ch == '=') {
            ++pad;
            continue;
        } else if (ch == ' ' || ch == '\n' || ch == '\r' || ch == '\t')
            continue;
        else
            return false;
        if (pad) return false;
        acc = (acc << 6) | static_cast<uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((acc >> bits) & 0xFF));
        }
    }
    return pad <= 2;
}

// Inflates zlib (gzip when gzip is set) data into exactly `size` bytes. One
// byte of room more tells data holding more cells from data that stops short
// of its end after the last cell.
bool Inflate(const std::string& in, size_t size, bool gzip, std::string& out, std::string& why) {
    out.assign(size + 1, '\0');
    z_stream z{};
    if (inflateInit2(&z, gzip ? 15 + 16 : 15) != Z_OK) {
        why = "the decompressor cannot start";
        return false;
    }
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(size + 1);
    const int rc = inflate(&z, Z_FINISH);
    const size_t produced = size + 1 - z.avail_out;
    inflateEnd(&z);
    out.resize(size);
    if (produced > size) {
        why = "the compressed data holds more cells than the layer";
        return false;
    }
    if (rc == Z_STREAM_END && produced == size) return true;
    if (rc == Z_BUF_ERROR && produced == size) {
        why = "the compressed data is cut short after the last cell";
        return false;
    }
    why = produced < size && (rc == Z_STREAM_END || rc == Z_BUF_ERROR)
              ? "the compressed data holds fewer cells than the layer"
              : "the compressed data is broken";
    return false;
}

bool Unzstd(const std::string& in, size_t size, std::string& out, std::string& why) {
    const unsigned long long declared = ZSTD_getFrameContentSize(in.data(), in.size());
    if (declared == ZSTD_CONTENTSIZE_ERROR) {
        why = "the compressed data is broken";
        return false;
    }
    if (declared != ZSTD_CONTENTSIZE_UNKNOWN && declared != size) {
        why = declared < size ? "the compressed data holds fewer cells than the layer"
                              : "the compressed data holds more cells than the layer";
        return false;
    }
    out.assign(size, '\0');
    const size_t got = ZSTD_decompress(out.data(), size, in.data(), in.size());
    if (ZSTD_isError(got)) {
        why = ZSTD_getErrorCode(got) == ZSTD_error_dstSize_tooSmall
                  ? "the compressed data holds more cells than the layer"
                  : "the compressed data is broken";
        return false;
    }
    if (got != size) {
        why = "the compressed data holds fewer cells than the layer";
        return false;
    }
    return true;
}

// ---- Reading ------------------------------------------------------------------

struct Tileset {
    std::string name;
    uint32_t firstGid = 0;
    int tileCount = 0;
    int tileWidth = 0, tileHeight = 0;
    std::string where; // for messages
    // Tiles with an animation: id -> frames (tile ids) and their durations.
    struct Animated {
        std::vector<int> frames;
        std::vector<int> durations;
        std::optional<int> fps;
    };
    std::map<int, Animated> animated;
};

enum class SetKind { None, Tiles, Bounds, Actors, Unknown };

struct Property {
    std::string type;
    std::string value; // UTF-8 as stored
};
using Properties = std::map<std::string, Property>;

Properties ReadProperties(const pugi::xml_node& node) {
    Properties props;
    for (const pugi::xml_node p : node.child("properties").children("property")) {
        Property prop;
        prop.type = p.attribute("type").as_string("string");
        // Tiled writes texts with line breaks as the element's text.
        prop.value = p.attribute("value") ? p.attribute("value").as_string() : p.text().as_string();
        props.emplace(LowerCase(p.attribute("name").as_string()), prop);
    }
    return props;
}

bool ParseInt(const std::string& text, long long lo, long long hi, int& out) {
    const std::optional<int32_t> v = ParseNumber(Trim(text));
    if (!v || *v < lo || *v > hi) return false;
    out = *v;
    return true;
}

class MapReader {
  public:
    MapReader(const std::string& path, const MapContext& context, Diagnostics& diag)
        : path_(path), context_(context), diag_(diag) {
        level_.file = path;
        level_.pos = Place("the map");
        level_.number = context.number;
    }

    LevelSource Read(const std::string& text);

  private:
    SourcePos Place(const std::string& where) const {
        SourcePos p{path_};
        p.where = where;
        return p;
    }
    void Error(const std::string& where, const std::string& text) { diag_.Error(Place(where), text); }
    void Warning(const std::string& where, const std::string& text) { diag_.Warning(Place(where), text); }

    bool ReadMapAttributes(const pugi::xml_node& map);
    void ReadMapProperties(const pugi::xml_node& map);
    void ReadTileset(const pugi::xml_node& node);
    bool LoadExternalTileset(const std::string& source, pugi::xml_document& doc, pugi::xml_node& tileset);
    void ReadLayers(const pugi::xml_node& parent);
    void ReadTileLayer(const pugi::xml_node& node);
    void ReadObjectGroup(const pugi::xml_node& node);
    bool ReadLayerIds(const pugi::xml_node& node, const std::string& name, int w, int h,
                      std::vector<uint32_t>& ids);
    // The tileset a global id belongs to, and the local tile id.
    const Tileset* Resolve(uint32_t gid, int& local) const;
    SetKind KindOf(const Tileset& set) const;
    // The code of a tile id; where names the layer (x < 0: the whole place).
    int16_t TileCode(uint32_t gid, const std::string& where, int x, int y, bool& ok);
    std::optional<std::string> Text(const Property& p, const std::string& where);
    void BuildSequences();
    void BuildPlayfield();
    void ApplySwitch(int tag, const Properties& props, const std::string& where);

    std::string path_;
    const MapContext& context_;
    Diagnostics& diag_;
    LevelSource level_;
    int width_ = 0, height_ = 0;
    int sheetTiles_ = 0;
    bool haveSheet_ = false;
    uint64_t cells_ = 0;
    std::vector<Tileset> tilesets_;
    const Tileset* tiles_ = nullptr;
    std::map<int, int> sequenceOfTile_; // tiles tileset id -> sequence number
    std::map<int, std::string> infoFromMap_;
    std::map<int, LayerSource> layers_; // by game layer number
    std::vector<uint16_t> bounds_;
    bool haveBounds_ = false;
    std::string boundsName_;
    struct Actor {
        int tag = 0;
        int cell = 0;
        std::string where;
        Properties props;
    };
    std::vector<Actor> actors_;
    std::string actorsLayerName_;
};

LevelSource MapReader::Read(const std::string& text) {
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed =
        doc.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8);
    if (!parsed) {
        const size_t offset =
            std::min(static_cast<size_t>(std::max<ptrdiff_t>(parsed.offset, 0)), text.size());
        const int line =
            1 +
            static_cast<int>(std::count(text.begin(), text.begin() + static_cast<ptrdiff_t>(offset), '\n'));
        diag_.Error(SourcePos{path_, line, 0}, Format("broken XML: %s", parsed.description()));
        return level_;
    }
    const pugi::xml_node map = doc.child("map");
    if (!map) {
        Error("the file", "not a Tiled map: it has no <map> element");
        return level_;
    }
    if (!ReadMapAttributes(map)) return level_;
    for (const pugi::xml_node ts : map.children("tileset"))
        ReadTileset(ts);
    ReadMapProperties(map);
    if (diag_.ErrorCount()) return level_;
    BuildSequences();
    ReadLayers(map);
    if (diag_.ErrorCount()) return level_;
    BuildPlayfield();
    for (auto& [number, layer] : layers_)
        level_.layers.push_back(std::move(layer));
    return level_;
}

bool MapReader::ReadMapAttributes(const pugi::xml_node& map) {
    const std::string orientation = map.attribute("orientation").as_string("orthogonal");
    if (orientation != "orthogonal") {
        Error("the map", Format("the map is %s: the game's levels are orthogonal maps", orientation.c_str()));
        return false;
    }
    if (map.attribute("infinite").as_int(0) != 0) {
        Error(
            "the map",
            "the map is infinite: the game's levels have a fixed size (Map > Map Properties > Infinite off)");
        return false;
    }
    int w = 0, h = 0, cw = 0, ch = 0;
    if (!ParseInt(map.attribute("width").as_string(), 1, 4000, w) ||
        !ParseInt(map.attribute("height").as_string(), 1, 4000, h)) {
        Error("the map",
              Format("the map's size (%s x %s cells) is not from 1 to 4000 cells a side",
                     map.attribute("width").as_string("?"), map.attribute("height").as_string("?")));
        return false;
    }
    if (!ParseInt(map.attribute("tilewidth").as_string(), 2, 256, cw) ||
        !ParseInt(map.attribute("tileheight").as_string(), 2, 256, ch)) {
        Error("the map", "the map's tile size is not from 2 to 256 pixels");
        return false;
    }
    width_ = w;
    height_ = h;
    level_.width = w;
    level_.height = h;
    level_.cellW = cw;
    level_.cellH = ch;
    if (w * cw < 640 || h * ch < 480)
        Error("the map",
              Format("the playfield (%d x %d cells of %d x %d) is smaller than the 640 x 480 screen", w, h,
                     cw, ch));
    return true;
}

std::optional<std::string> MapReader::Text(const Property& p, const std::string& where) {
    std::string latin1, problem;
    if (!DecodeUtf8Text(p.value, latin1, problem)) {
        Error(where, problem);
        return std::nullopt;
    }
    return latin1;
}

void MapReader::ReadMapProperties(const pugi::xml_node& map) {
    const Properties props = ReadProperties(map);
    bool haveName = false, haveMusic = false;
    for (const auto& [key, prop] : props) {
        const std::string where = Format("map property \"%s\"", key.c_str());
        const std::optional<std::string> value = Text(prop, where);
        if (!value) continue;
        if (key == "name") {
            level_.name = *value;
            if (value->empty())
                Error(where, "the level name is empty");
            else if (CheckShownText(*value, Place(where), diag_)) {
                haveName = true;
                if (value->size() > 20)
                    Warning(where, "a name longer than 20 characters does not fit the get-ready screen");
            }
        } else if (key == "music") {
            level_.music = *value;
            haveMusic = !value->empty();
            if (!haveMusic)
                Error(where, "the music module is empty");
            else if (value->find_first_of("/\\") != std::string::npos)
                Error(where, "the music module is a file name in SND\\, without a folder");
        } else if (key == "running") {
            const std::string v = LowerCase(*value);
            if (v == "true" || v == "yes" || v == "1")
                level_.running = true;
            else if (v == "false" || v == "no" || v == "0")
                level_.running = false;
            else
                Error(where, "'running' is true or false");
        } else if (key == "sheet") {
            // Only the game's own pictures: a file in its GFX folder.
            const std::string name = value->size() > 4 ? value->substr(4) : std::string();
            if (value->size() <= 4 || !SameText(value->substr(0, 4), "GFX\\") ||
                name.find_first_of("/\\") != std::string::npos || name == "." || name == "..") {
                Error(where, "the tile sheet is a picture in the game's GFX folder, e.g. GFX\\Level1.bmp");
                continue;
            }
            level_.bitmap = *value;
        } else if (key == "transparent") {
            // Tiled writes colours as #AARRGGBB; #RRGGBB and "R G B" are read too.
            std::string v = Trim(*value);
            unsigned r = 0, g = 0, b = 0, a = 0;
            char tail = 0;
            if (v.size() == 9 && std::sscanf(v.c_str(), "#%2x%2x%2x%2x%c", &a, &r, &g, &b, &tail) == 4) {
            } else if (v.size() == 7 && std::sscanf(v.c_str(), "#%2x%2x%2x%c", &r, &g, &b, &tail) == 3) {
            } else {
                const std::vector<Word> words = SplitWords(v);
                int n[3];
                if (words.size() != 3 || !ParseInt(words[0].text, 0, 255, n[0]) ||
                    !ParseInt(words[1].text, 0, 255, n[1]) || !ParseInt(words[2].text, 0, 255, n[2])) {
                    Error(where, "the transparent colour is #RRGGBB or three numbers from 0 to 255");
                    continue;
                }
                r = static_cast<unsigned>(n[0]);
                g = static_cast<unsigned>(n[1]);
                b = static_cast<unsigned>(n[2]);
            }
            level_.transparent = {static_cast<int>(r), static_cast<int>(g), static_cast<int>(b)};
        } else if (key.rfind("info", 0) == 0) {
            int n = 0;
            if (!ParseInt(key.substr(4), 1, 15, n)) {
                Error(where, "info texts are map properties \"info 1\" to \"info 15\"");
                continue;
            }
            if (value->empty()) {
                Error(where, "the info text is empty");
                continue;
            }
            if (CheckShownText(*value, Place(where), diag_)) infoFromMap_[n] = *value;
        } else {
            Warning(where, "the game does not use this map property");
        }
    }
    if (!haveName && !props.count("name"))
        Error("the map", "the map needs the property \"name\", the level's name");
    if (!haveMusic && !props.count("music"))
        Error("the map", "the map needs the property \"music\", a module file in SND\\");
    if (level_.bitmap.empty()) level_.bitmap = Format("GFX\\Level%d.bmp", level_.number);
    std::string why;
    sheetTiles_ =
        context_.sheetTiles ? context_.sheetTiles(level_.bitmap, level_.cellW, level_.cellH, why) : -1;
    if (sheetTiles_ < 0)
        Error("map property \"sheet\"", Format("unknown tile sheet \"%s\"%s%s", Shown(level_.bitmap).c_str(),
                                               why.empty() ? "" : ": ", why.c_str()));
    else
        haveSheet_ = true;
    // Tile codes are 16-bit: tiles past the first 32767 of a sheet have none.
    sheetTiles_ = std::min(sheetTiles_, 32767);
}

bool MapReader::LoadExternalTileset(const std::string& source, pugi::xml_document& doc,
                                    pugi::xml_node& tileset) {
    const std::filesystem::path file = std::filesystem::path(path_).parent_path() / source;
    const std::string where = Format("tileset \"%s\"", source.c_str());
    std::string text;
    try {
        text = ReadWholeFile(file.string(), 16u << 20);
    } catch (const Exception& e) {
        Error(where, Format("the external tileset cannot be read: %s", e.what()));
        return false;
    }
    const pugi::xml_parse_result parsed =
        doc.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8);
    if (!parsed) {
        Error(where, Format("the external tileset is broken XML: %s", parsed.description()));
        return false;
    }
    tileset = doc.child("tileset");
    if (!tileset) {
        Error(where, "the external tileset has no <tileset> element");
        return false;
    }
    return true;
}

void MapReader::ReadTileset(const pugi::xml_node& node) {
    Tileset set;
    int first = 0;
    if (!ParseInt(node.attribute("firstgid").as_string(), 1, 0x0FFFFFFF, first)) {
        Error("a tileset", "a tileset without a valid firstgid");
        return;
    }
    set.firstGid = static_cast<uint32_t>(first);
    pugi::xml_document external;
    pugi::xml_node ts = node;
    if (node.attribute("source")) {
        if (!LoadExternalTileset(node.attribute("source").as_string(), external, ts)) return;
    }
    set.name = ts.attribute("name").as_string();
    set.where = Format("tileset \"%s\"", set.name.c_str());
    set.tileWidth = ts.attribute("tilewidth").as_int(0);
    set.tileHeight = ts.attribute("tileheight").as_int(0);
    if (!ParseInt(ts.attribute("tilecount").as_string(), 1, 1 << 20, set.tileCount)) {
        Error(set.where, "the tileset has no valid tilecount");
        return;
    }
    for (const pugi::xml_node tile : ts.children("tile")) {
        const pugi::xml_node anim = tile.child("animation");
        if (!anim) continue;
        int id = 0;
        if (!ParseInt(tile.attribute("id").as_string(), 0, set.tileCount - 1, id)) {
            Error(set.where, Format("an animated tile's id %s is not in the tileset",
                                    tile.attribute("id").as_string("?")));
            continue;
        }
        Tileset::Animated a;
        for (const pugi::xml_node frame : anim.children("frame")) {
            int f = 0, d = 0;
            if (!ParseInt(frame.attribute("tileid").as_string(), 0, set.tileCount - 1, f) ||
                !ParseInt(frame.attribute("duration").as_string(), 1, 1000000, d)) {
                Error(Format("%s tile %d", set.where.c_str(), id),
                      "an animation frame without a valid tile id or duration");
                continue;
            }
            a.frames.push_back(f);
            a.durations.push_back(d);
        }
        const Properties props = ReadProperties(tile);
        if (auto it = props.find("fps"); it != props.end()) {
            int fps = 0;
            if (ParseInt(it->second.value, 1, 1000, fps)) a.fps = fps;
        }
        set.animated[id] = std::move(a);
    }
    for (const Tileset& other : tilesets_)
        if (SameText(other.name, set.name)) Error(set.where, "two tilesets have this name");
    tilesets_.push_back(std::move(set));
    std::sort(tilesets_.begin(), tilesets_.end(),
              [](const Tileset& a, const Tileset& b) { return a.firstGid < b.firstGid; });
}

SetKind MapReader::KindOf(const Tileset& set) const {
    if (SameText(set.name, kTilesTileset)) return SetKind::Tiles;
    if (SameText(set.name, kBoundsTileset)) return SetKind::Bounds;
    if (SameText(set.name, kActorsTileset)) return SetKind::Actors;
    return SetKind::Unknown;
}

const Tileset* MapReader::Resolve(uint32_t gid, int& local) const {
    const Tileset* found = nullptr;
    for (const Tileset& set : tilesets_)
        if (set.firstGid <= gid) found = &set;
    if (!found) return nullptr;
    const uint32_t id = gid - found->firstGid;
    if (id >= static_cast<uint32_t>(found->tileCount)) return nullptr;
    local = static_cast<int>(id);
    return found;
}

void MapReader::BuildSequences() {
    for (const Tileset& set : tilesets_) {
        const SetKind kind = KindOf(set);
        if (kind == SetKind::Unknown) {
            Error(set.where,
                  "unknown tileset: the game's maps use the tilesets \"Tiles\", \"Bounds\" and \"Actors\"");
            continue;
        }
        if (set.tileWidth != level_.cellW || set.tileHeight != level_.cellH)
            Error(set.where, Format("its tiles are %d x %d pixels, the map's cells %d x %d", set.tileWidth,
                                    set.tileHeight, level_.cellW, level_.cellH));
        if (kind == SetKind::Tiles) tiles_ = &set;
    }
    if (!tiles_) {
        Error("the map", "the map has no tileset \"Tiles\"");
        return;
    }
    if (!haveSheet_) return;
    // Every animated tile is one sequence, numbered in the order of the tile ids.
    for (const auto& [id, anim] : tiles_->animated) {
        const std::string where = Format("tileset \"Tiles\" tile %d", id);
        SequenceSource seq;
        seq.name = Format("tile %d", id);
        seq.pos = Place(where);
        if (anim.frames.size() < 2) {
            Error(where, "a sequence needs at least two frames");
            continue;
        }
        if (anim.frames.size() > 1000) {
            Error(where, "a sequence has at most 1000 frames");
            continue;
        }
        // Sequence codes are 16-bit too.
        if (level_.sequences.size() == 32767) {
            Error(where, "a level has at most 32767 sequences (animated tiles)");
            break;
        }
        for (int f : anim.frames) {
            if (tiles_->animated.count(f)) {
                Error(where,
                      Format("frame tile %d is itself animated: a frame must be a tile of the sheet", f));
                break;
            }
            // Frames on the tiles past the sheet show no tile.
            seq.frames.push_back(f < sheetTiles_ ? static_cast<int16_t>(f + 1) : int16_t{0});
        }
        const int duration = anim.durations.front();
        for (int d : anim.durations)
            if (d != duration) {
                Error(where,
                      "every frame of a sequence shows for the same time (the game plays them at one speed)");
                break;
            }
        // The fps property keeps the exact speed as long as the durations
        // still say it; a duration changed in Tiled decides on its own.
        if (anim.fps && std::lround(1000.0 / *anim.fps) == duration)
            seq.fps = *anim.fps;
        else
            seq.fps = std::clamp(static_cast<int>(std::lround(1000.0 / duration)), 1, 1000);
        sequenceOfTile_[id] = static_cast<int>(level_.sequences.size()) + 1;
        level_.sequences.push_back(std::move(seq));
    }
}

int16_t MapReader::TileCode(uint32_t gid, const std::string& where, int x, int y, bool& ok) {
    if (gid == 0) return 0;
    // The place is spelt out only for a message: a map has millions of cells.
    auto place = [&] { return x < 0 ? where : Format("%s cell %d, %d", where.c_str(), x, y); };
    if (gid & kFlipBits) {
        Error(place(), "the tile is flipped or rotated: the game draws tiles only as they are");
        ok = false;
        return 0;
    }
    int local = 0;
    const Tileset* set = Resolve(gid, local);
    if (!set) {
        Error(place(), Format("tile id %u is in no tileset", gid));
        ok = false;
        return 0;
    }
    if (set != tiles_) {
        Error(place(),
              Format("a tile of the tileset \"%s\" on a layer of tiles (only \"Tiles\" belongs here)",
                     set->name.c_str()));
        ok = false;
        return 0;
    }
    if (auto it = sequenceOfTile_.find(local); it != sequenceOfTile_.end())
        return static_cast<int16_t>(-it->second);
    if (local >= sheetTiles_) {
        Error(place(), Format("tile %d is not on the tile sheet (tiles 0 to %d) and is no sequence", local,
                              sheetTiles_ - 1));
        ok = false;
        return 0;
    }
    return static_cast<int16_t>(local + 1);
}

bool MapReader::ReadLayerIds(const pugi::xml_node& node, const std::string& name, int w, int h,
                             std::vector<uint32_t>& ids) {
    const std::string where = Format("layer \"%s\"", name.c_str());
    const pugi::xml_node data = node.child("data");
    if (!data) {
        Error(where, "the layer has no data");
        return false;
    }
    if (data.child("chunk")) {
        Error(where,
              "the layer is stored in chunks, as infinite maps are: the game's levels have a fixed size");
        return false;
    }
    const size_t count = static_cast<size_t>(w) * static_cast<size_t>(h);
    const std::string encoding = data.attribute("encoding").as_string();
    const std::string compression = data.attribute("compression").as_string();
    ids.clear();
    if (encoding.empty()) {
        // The old form: one <tile gid=".."/> per cell.
        for (const pugi::xml_node t : data.children("tile")) {
            if (ids.size() == count) {
                Error(where, "the layer holds more cells than the map");
                return false;
            }
            ids.push_back(static_cast<uint32_t>(t.attribute("gid").as_ullong(0) & 0xFFFFFFFFu));
        }
    } else if (encoding == "csv") {
        if (!compression.empty()) {
            Error(where, "CSV data cannot be compressed");
            return false;
        }
        const std::string_view text = data.text().as_string();
        size_t i = 0;
        while (i < text.size()) {
            while (i < text.size() &&
                   (text[i] == ' ' || text[i] == '\n' || text[i] == '\r' || text[i] == '\t'))
                ++i;
            if (i >= text.size()) break;
            size_t j = i;
            while (j < text.size() && text[j] >= '0' && text[j] <= '9')
                ++j;
            if (j == i || j - i > 10) {
                Error(where, "the CSV data holds something that is not a tile id");
                return false;
            }
            if (ids.size() == count) {
                Error(where, "the layer holds more cells than the map");
                return false;
            }
            const unsigned long long v = std::stoull(std::string(text.substr(i, j - i)));
            if (v > 0xFFFFFFFFull) {
                Error(where, "a tile id in the CSV data is too large");
                return false;
            }
            ids.push_back(static_cast<uint32_t>(v));
            i = j;
            while (i < text.size() &&
                   (text[i] == ' ' || text[i] == '\n' || text[i] == '\r' || text[i] == '\t'))
                ++i;
            if (i < text.size()) {
                if (text[i] != ',') {
                    Error(where, "the CSV data holds something that is not a tile id");
                    return false;
                }
                ++i;
            }
        }
    } else if (encoding == "base64") {
        std::string raw, bytes, why;
        if (!DecodeBase64(data.text().as_string(), raw)) {
            Error(where, "the base64 data is broken");
            return false;
        }
        const size_t size = count * 4;
        if (compression.empty()) {
            bytes = std::move(raw);
        } else if (compression == "zlib" || compression == "gzip") {
            if (!Inflate(raw, size, compression == "gzip", bytes, why)) {
                Error(where, why);
                return false;
            }
        } else if (compression == "zstd") {
            if (!Unzstd(raw, size, bytes, why)) {
                Error(where, why);
                return false;
            }
        } else {
            Error(where,
                  Format(
                      "the layer data is compressed with \"%s\": the game reads uncompressed, zlib, gzip and "
                      "zstd data",
                      compression.c_str()));
            return false;
        }
        if (bytes.size() != size) {
            Error(where, Format("the layer holds %zu cells, the map %zu", bytes.size() / 4, count));
            return false;
        }
        ids.resize(count);
        for (size_t k = 0; k < count; ++k) {
            const auto* b = reinterpret_cast<const unsigned char*>(bytes.data() + k * 4);
            ids[k] = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                     static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
        }
    } else {
        Error(where, Format("the layer data is encoded as \"%s\": the game reads CSV, base64 and XML",
                            encoding.c_str()));
        return false;
    }
    if (ids.size() != count) {
        Error(where, Format("the layer holds %zu cells, the map %zu", ids.size(), count));
        return false;
    }
    return true;
}

void MapReader::ReadLayers(const pugi::xml_node& parent) {
    for (const pugi::xml_node node : parent.children()) {
        const std::string element = node.name();
        const std::string name = node.attribute("name").as_string();
        if (element == "layer")
            ReadTileLayer(node);
        else if (element == "objectgroup")
            ReadObjectGroup(node);
        else if (element == "imagelayer" || element == "group")
            Error(Format("layer \"%s\"", name.c_str()),
                  Format("%s are not part of the game's levels: use tile layers and object layers",
                         element == "group" ? "group layers" : "image layers"));
    }
}

void MapReader::ReadTileLayer(const pugi::xml_node& node) {
    const std::string name = node.attribute("name").as_string();
    const std::string where = Format("layer \"%s\"", name.c_str());
    const Properties props = ReadProperties(node);
    int w = node.attribute("width").as_int(width_), h = node.attribute("height").as_int(height_);
    if (w != width_ || h != height_) {
        Error(where, Format("the layer is %d x %d cells, the map %d x %d", w, h, width_, height_));
        return;
    }
    const bool isBounds = SameText(name, kBoundsLayer) ||
                          (props.count("bounds") && LowerCase(props.at("bounds").value) == "true");
    int number = 0;
    if (auto it = props.find("layer"); it != props.end()) {
        if (!ParseInt(it->second.value, 1, 7, number)) {
            Error(where, "the property \"layer\" is a game layer from 1 to 7");
            return;
        }
    } else if (!isBounds && name.size() > 6 && SameText(name.substr(0, 6), "Layer ") && name[6] >= '1' &&
               name[6] <= '7' && (name.size() == 7 || name[7] == ' ')) {
        number = name[6] - '0';
    } else if (!isBounds) {
        Error(where,
              "which game layer is this? Name it \"Layer N\" (1 to 7) or give it the property \"layer\"");
        return;
    }
    cells_ += static_cast<uint64_t>(width_) * static_cast<uint64_t>(height_);
    if (cells_ > kMaxMapCells) {
        Error(where, Format("the map's layers hold more than %llu cells together",
                            static_cast<unsigned long long>(kMaxMapCells)));
        return;
    }
    std::vector<uint32_t> ids;
    if (!ReadLayerIds(node, name, width_, height_, ids)) return;

    if (isBounds) {
        if (haveBounds_) {
            Error(where, "a second bounds layer");
            return;
        }
        haveBounds_ = true;
        boundsName_ = name;
        bounds_.assign(ids.size(), 0);
        for (size_t i = 0; i < ids.size(); ++i) {
            const uint32_t gid = ids[i];
            if (!gid) continue;
            auto cell = [&] {
                return Format("%s cell %zu, %zu", where.c_str(), i % static_cast<size_t>(width_),
                              i / static_cast<size_t>(width_));
            };
            if (gid & kFlipBits) {
                Error(cell(),
                      "the bound icon is flipped or rotated: the bound codes are the icons as they are");
                continue;
            }
            int local = 0;
            const Tileset* set = Resolve(gid, local);
            if (!set || KindOf(*set) != SetKind::Bounds || local > 255) {
                Error(cell(), "only icons of the tileset \"Bounds\" belong on the bounds layer");
                continue;
            }
            bounds_[i] = static_cast<uint16_t>(local);
        }
        return;
    }

    if (layers_.count(number)) {
        Error(where, Format("a second layer for game layer %d", number));
        return;
    }
    LayerSource& layer = layers_[number];
    layer.number = number;
    layer.pos = Place(where);
    layer.mapLayerName = name;
    layer.width = width_;
    layer.height = height_;
    if (auto it = props.find("size"); it != props.end() && number != 3) {
        const std::vector<Word> words = SplitWords(it->second.value);
        int lw = 0, lh = 0;
        if (words.size() != 2 || !ParseInt(words[0].text, 1, width_, lw) ||
            !ParseInt(words[1].text, 1, height_, lh)) {
            Error(where,
                  Format("the property \"size\" is the layer's width and height, at most the map's %d x %d",
                         width_, height_));
            return;
        }
        layer.width = lw;
        layer.height = lh;
    }
    if (layer.width * layer.height < 2) {
        Error(where, "a layer needs at least two cells");
        return;
    }
    int sx = 1, sy = 1;
    if (auto it = props.find("scroll"); it != props.end()) {
        const std::vector<Word> words = SplitWords(it->second.value);
        if (words.size() != 2 || !ParseInt(words[0].text, -32768, 32767, sx) ||
            !ParseInt(words[1].text, -32768, 32767, sy)) {
            Error(where, "the property \"scroll\" is two factors \"X Y\" from -32768 to 32767");
            return;
        }
    }
    // The parallax Tiled shows decides where it no longer says the scroll
    // property's factor: the level maker changed it in Tiled.
    const bool fixed = sx == 0 && sy == 0;
    const double px = node.attribute("parallaxx").as_double(1.0),
                 py = node.attribute("parallaxy").as_double(1.0);
    auto fromParallax = [&](double p, int& factor, const char* axis) {
        if (std::fabs(p - ParallaxOf(factor, fixed)) < 1e-4) return;
        if (!(p >= 0 && p <= 1)) {
            Error(where,
                  Format("parallax %s %g: a layer moves at most as fast as the playfield (0 to 1)", axis, p));
            return;
        }
        // The factor is a 16-bit number: a slower layer has none.
        if (p != 0 && 1.0 / p > 32767.5) {
            Error(where, Format("parallax %s %g: the slowest layer moves at 1/32767 of the playfield's speed",
                                axis, p));
            return;
        }
        factor = p == 0 ? 0 : static_cast<int>(std::lround(1.0 / p));
    };
    fromParallax(px, sx, "x");
    fromParallax(py, sy, "y");
    layer.scrollX = static_cast<int16_t>(sx);
    layer.scrollY = static_cast<int16_t>(sy);

    layer.tiles.assign(static_cast<size_t>(layer.width * layer.height), 0);
    layer.bounds.assign(layer.tiles.size(), 0);
    bool repeats = true;
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x) {
            const uint32_t gid =
                ids[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)];
            if (x < layer.width && y < layer.height) {
                bool ok = true;
                const int16_t code = TileCode(gid, where, x, y, ok);
                layer.tiles[static_cast<size_t>(y * layer.width + x)] = code;
            } else if (repeats) {
                // Beyond its size a small layer shows its own cells again.
                const uint32_t same =
                    ids[static_cast<size_t>(y % layer.height) * static_cast<size_t>(width_) +
                        static_cast<size_t>(x % layer.width)];
                const bool tiledLayer = RepeatsEndlessly(number, sx, sy);
                if (gid != (tiledLayer ? same : 0)) {
                    repeats = false;
                    Warning(
                        Format("%s cell %d, %d", where.c_str(), x, y),
                        Format(
                            "the layer's size is %d x %d cells (property \"size\"): cells beyond it are not "
                            "read",
                            layer.width, layer.height));
                }
            }
        }
}

void MapReader::ReadObjectGroup(const pugi::xml_node& node) {
    const std::string layerName = node.attribute("name").as_string();
    if (actorsLayerName_.empty()) actorsLayerName_ = layerName;
    for (const pugi::xml_node obj : node.children("object")) {
        const std::string name = obj.attribute("name").as_string();
        const std::string id = obj.attribute("id").as_string("?");
        const std::string where = name.empty()
                                      ? Format("object %s in layer \"%s\"", id.c_str(), layerName.c_str())
                                      : Format("object \"%s\" (id %s)", name.c_str(), id.c_str());
        const unsigned long long rawGid = obj.attribute("gid").as_ullong(0);
        if (!rawGid) {
            Error(where, "the object is no actor picture: place actors as tiles of the tileset \"Actors\"");
            continue;
        }
        if (rawGid > 0xFFFFFFFFull || (rawGid & kFlipBits)) {
            Error(where, "the actor picture is flipped or rotated: the game shows actors only as they are");
            continue;
        }
        int tag = 0;
        const Tileset* set = Resolve(static_cast<uint32_t>(rawGid), tag);
        if (!set || KindOf(*set) != SetKind::Actors || tag > 255) {
            Error(where, "the object is no actor picture: place actors as tiles of the tileset \"Actors\"");
            continue;
        }
        if (obj.attribute("rotation").as_double(0) != 0) {
            Error(where, "the actor is rotated: the game shows actors only as they are");
            continue;
        }
        // A tile object stands on its bottom-left corner; its centre names the cell.
        const double x = obj.attribute("x").as_double(0), y = obj.attribute("y").as_double(0);
        const double w = obj.attribute("width").as_double(level_.cellW),
                     h = obj.attribute("height").as_double(level_.cellH);
        const double cx = x + w / 2, cy = y - h / 2;
        if (!std::isfinite(cx) || !std::isfinite(cy) || cx < 0 || cy < 0 ||
            cx >= static_cast<double>(width_) * level_.cellW ||
            cy >= static_cast<double>(height_) * level_.cellH) {
            Error(where, Format("the object lies outside the map (at %g, %g)", x, y));
            continue;
        }
        if (tag == 0) continue; // tag 0 is an empty cell
        Actor a;
        a.tag = tag;
        a.cell = static_cast<int>(cy / level_.cellH) * width_ + static_cast<int>(cx / level_.cellW);
        a.where = where;
        a.props = ReadProperties(obj);
        actors_.push_back(std::move(a));
    }
}

void MapReader::ApplySwitch(int tag, const Properties& props, const std::string& where) {
    SwitchSource sw;
    sw.tag = tag;
    sw.pos = Place(where);
    bool ok = true;
    auto need = [&](const char* key) -> const Property* {
        auto it = props.find(key);
        if (it == props.end()) {
            Error(where, Format("a switch needs the property \"%s\"", key));
            ok = false;
            return nullptr;
        }
        return &it->second;
    };
    if (const Property* p = need("image")) {
        sw.image = Text(*p, where).value_or("");
        if (sw.image.empty()) {
            Error(where, "the switch's \"image\" is empty");
            ok = false;
        }
    }
    if (const Property* p = need("start")) {
        const std::string v = LowerCase(p->value);
        if (v == "on")
            sw.start = 1;
        else if (v == "off")
            sw.start = 0;
        else {
            Error(where, "the switch's \"start\" is on or off");
            ok = false;
        }
    }
    for (int which = 0; which < 2; ++which) {
        const char* tileKey = which == 0 ? "on tile" : "off tile";
        const char* boundKey = which == 0 ? "on bound" : "off bound";
        const Property* t = need(tileKey);
        const Property* b = need(boundKey);
        if (!t || !b) continue;
        int id = 0, bound = 0;
        if (!ParseInt(t->value, -1, 1 << 20, id)) {
            Error(where, Format("\"%s\" is a tile id of the tileset \"Tiles\", or -1 for no tile", tileKey));
            ok = false;
            continue;
        }
        if (!ParseBoundCode(Trim(b->value), bound)) {
            Error(where,
                  Format("\"%s\" is a bound code: a number from 0 to 255 or names joined by '+'", boundKey));
            ok = false;
            continue;
        }
        int16_t code = 0;
        if (id >= 0) {
            bool tileOk = true;
            code = TileCode(tiles_ ? tiles_->firstGid + static_cast<uint32_t>(id) : 0, where, -1, -1, tileOk);
            ok = ok && tileOk;
        }
        (which == 0 ? sw.tileOn : sw.tileOff) = code;
        (which == 0 ? sw.boundsOn : sw.boundsOff) = bound;
    }
    if (auto it = props.find("z"); it != props.end() && !ParseInt(it->second.value, -10000, 10000, sw.z)) {
        Error(where, "the switch's \"z\" is a number from -10000 to 10000");
        ok = false;
    }
    if (auto it = props.find("anim");
        it != props.end() && !ParseInt(it->second.value, 0, 1000, sw.animSpeed)) {
        Error(where, "the switch's \"anim\" is frames per second from 0 to 1000");
        ok = false;
    }
    if (!ok) return;
    for (const SwitchSource& other : level_.switches)
        if (other.tag == tag) {
            if (other.image != sw.image || other.start != sw.start || other.tileOn != sw.tileOn ||
                other.tileOff != sw.tileOff || other.boundsOn != sw.boundsOn ||
                other.boundsOff != sw.boundsOff || other.z != sw.z || other.animSpeed != sw.animSpeed)
                Error(
                    where,
                    Format("switch %02X has other properties here than at %s: switches of one tag share them",
                           tag, other.pos.where.c_str()));
            return;
        }
    level_.switches.push_back(sw);
}

void MapReader::BuildPlayfield() {
    auto it = layers_.find(3);
    if (it == layers_.end()) {
        Error("the map", "the map has no playfield layer \"Layer 3 (Playfield)\"");
        return;
    }
    if (!haveBounds_) {
        Error("the map", "the map has no layer \"Bounds\": the playfield needs its floors and walls");
        return;
    }
    LayerSource& field = it->second;
    field.boundsLayerName = boundsName_;
    for (size_t i = 0; i < field.bounds.size(); ++i)
        field.bounds[i] = bounds_[i];
    for (const Actor& a : actors_) {
        const size_t i = static_cast<size_t>(a.cell);
        if (field.bounds[i] >> 8) {
            Error(a.where, Format("two actors stand on cell %d, %d (the other is %s)", a.cell % width_,
                                  a.cell / width_, field.objects[a.cell].c_str()));
            continue;
        }
        field.bounds[i] = static_cast<uint16_t>(a.tag << 8 | (field.bounds[i] & 0xFF));
        field.objects[a.cell] = a.where;
        if (a.tag >= 0x01 && a.tag <= 0x0F) {
            if (auto t = a.props.find("text"); t != a.props.end()) {
                const std::optional<std::string> text = Text(t->second, a.where);
                if (!text) continue;
                if (text->empty()) {
                    Error(a.where, "the info text is empty");
                    continue;
                }
                if (!CheckShownText(*text, Place(a.where), diag_)) continue;
                auto known = level_.info.find(a.tag);
                if (known != level_.info.end() && known->second != *text)
                    Error(a.where,
                          Format("info sign %d has another text at %s: signs of one number share their text",
                                 a.tag, level_.infoPos[a.tag].where.c_str()));
                else if (known == level_.info.end()) {
                    level_.info[a.tag] = *text;
                    level_.infoPos[a.tag] = Place(a.where);
                }
            }
        } else if (a.tag >= 0x10 && a.tag <= 0x1F) {
            ApplySwitch(a.tag, a.props, a.where);
        }
    }
    for (const auto& [n, text] : infoFromMap_) {
        auto known = level_.info.find(n);
        if (known != level_.info.end() && known->second != text)
            Error(Format("map property \"info %d\"", n),
                  Format("info sign %d has another text at %s", n, level_.infoPos[n].where.c_str()));
        else if (known == level_.info.end()) {
            level_.info[n] = text;
            level_.infoPos[n] = Place(Format("map property \"info %d\"", n));
        }
    }
    std::sort(level_.switches.begin(), level_.switches.end(),
              [](const SwitchSource& a, const SwitchSource& b) { return a.tag < b.tag; });
}

// ---- Writing ------------------------------------------------------------------

void AddProperty(pugi::xml_node props, const std::string& name, const std::string& value,
                 const char* type = nullptr) {
    pugi::xml_node p = props.append_child("property");
    p.append_attribute("name") = name.c_str();
    if (type) p.append_attribute("type") = type;
    p.append_attribute("value") = value.c_str();
}

std::string Csv(const std::vector<uint32_t>& ids, int width) {
    std::string out = "\n";
    for (size_t i = 0; i < ids.size(); ++i) {
        out += std::to_string(ids[i]);
        if (i + 1 < ids.size()) out += ',';
        if ((i + 1) % static_cast<size_t>(width) == 0) out += '\n';
    }
    return out;
}

struct XmlText : pugi::xml_writer {
    std::string text;
    void write(const void* data, size_t size) override { text.append(static_cast<const char*>(data), size); }
};

} // namespace

std::string GameLayerName(int number) {
    static const char* const names[] = {"Layer 1 (Rain, snow)", "Layer 2 (Z+)", "Layer 3 (Playfield)",
                                        "Layer 4 (Z-)",         "Layer 5",      "Layer 6",
                                        "Layer 7 (Sky)"};
    return number >= 1 && number <= 7 ? names[number - 1] : Format("Layer %d", number);
}

std::string TagName(int tag) {
    const TagNaming* n = FindTagNaming(tag);
    if (!n) return Format("Tag %02X", tag);
    return std::string(n->name).find('%') == std::string::npos ? n->name : Format(n->name, tag);
}

std::string TagKind(int tag) {
    const TagNaming* n = FindTagNaming(tag);
    return n ? n->kind : "Unknown";
}

std::string BoundName(int code) {
    switch (code) {
    case 0:
        return "none";
    case 15:
        return "solid";
    case 0x80:
        return "slope-up";
    case 0x81:
        return "slope-down";
    default:
        break;
    }
    std::string out;
    const std::pair<int, const char*> parts[] = {{1, "top"}, {2, "left"}, {4, "bottom"}, {8, "right"}};
    int rest = code;
    for (const auto& [bit, name] : parts)
        if (code & bit) {
            if (!out.empty()) out += '+';
            out += name;
            rest &= ~bit;
        }
    if (rest) return Format("0x%02X", code);
    return out;
}

int BlankTileId(const LevelSource& level, const MapPictureFiles& files) {
    return files.sheetTiles + static_cast<int>(level.sequences.size());
}

std::string TiledMapText(const LevelSource& level, const MapPictureFiles& files, Diagnostics& diag) {
    const LayerSource* field = level.Playfield();
    if (!field) {
        diag.Error(level.pos, "the level has no playfield");
        return {};
    }
    for (const LayerSource& layer : level.layers)
        if (layer.width > level.width || layer.height > level.height)
            diag.Error(layer.pos,
                       Format("layer %d (%d x %d cells) is larger than the playfield: a map's layers have "
                              "the map's size",
                              layer.number, layer.width, layer.height));
    if (diag.ErrorCount()) return {};

    const int cw = level.cellW, ch = level.cellH;
    const int tilesCount = files.tilesColumns * files.tilesRows;
    const uint32_t tilesFirst = 1, boundsFirst = tilesFirst + static_cast<uint32_t>(tilesCount),
                   actorsFirst = boundsFirst + 256;
    const int blank = BlankTileId(level, files);

    pugi::xml_document doc;
    pugi::xml_node decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";
    pugi::xml_node map = doc.append_child("map");
    map.append_attribute("version") = "1.8";
    map.append_attribute("tiledversion") = "1.8.2";
    map.append_attribute("orientation") = "orthogonal";
    map.append_attribute("renderorder") = "right-down";
    map.append_attribute("width") = level.width;
    map.append_attribute("height") = level.height;
    map.append_attribute("tilewidth") = cw;
    map.append_attribute("tileheight") = ch;
    map.append_attribute("infinite") = 0;
    // Tiled moves parallax layers by the distance of the view's centre from
    // this point; the game by the distance of the screen's top-left corner
    // from the level's. With half the 640 x 480 screen both agree.
    map.append_attribute("parallaxoriginx") = 320;
    map.append_attribute("parallaxoriginy") = 240;
    pugi::xml_attribute nextLayer = map.append_attribute("nextlayerid");
    pugi::xml_attribute nextObject = map.append_attribute("nextobjectid");

    pugi::xml_node props = map.append_child("properties");
    // Properties in Tiled's own order (by name), so that a map saved again by Tiled reads the same.
    std::map<std::string, std::pair<std::string, const char*>> mapProps;
    mapProps["name"] = {Latin1ToUtf8(level.name), nullptr};
    mapProps["music"] = {Latin1ToUtf8(level.music), nullptr};
    mapProps["running"] = {level.running ? "true" : "false", "bool"};
    mapProps["sheet"] = {Latin1ToUtf8(level.bitmap), nullptr};
    mapProps["transparent"] = {
        Format("#ff%02x%02x%02x", level.transparent[0], level.transparent[1], level.transparent[2]), "color"};
    std::set<int> signsOnMap;
    for (size_t i = 0; i < field->bounds.size(); ++i) {
        const int tag = field->bounds[i] >> 8;
        if (tag >= 1 && tag <= 15) signsOnMap.insert(tag);
    }
    for (const auto& [n, text] : level.info)
        if (!signsOnMap.count(n)) mapProps[Format("info %d", n)] = {Latin1ToUtf8(text), nullptr};
    for (const auto& [name, value] : mapProps)
        AddProperty(props, name, value.first, value.second);

    auto tileset = [&](uint32_t first, const char* name, const std::string& image, int columns, int rows) {
        pugi::xml_node ts = map.append_child("tileset");
        ts.append_attribute("firstgid") = first;
        ts.append_attribute("name") = name;
        ts.append_attribute("tilewidth") = cw;
        ts.append_attribute("tileheight") = ch;
        ts.append_attribute("tilecount") = columns * rows;
        ts.append_attribute("columns") = columns;
        pugi::xml_node img = ts.append_child("image");
        img.append_attribute("source") = image.c_str();
        img.append_attribute("width") = columns * cw;
        img.append_attribute("height") = rows * ch;
        return ts;
    };
    pugi::xml_node tilesSet =
        tileset(tilesFirst, kTilesTileset, files.tiles, files.tilesColumns, files.tilesRows);
    for (size_t k = 0; k < level.sequences.size(); ++k) {
        const SequenceSource& seq = level.sequences[k];
        pugi::xml_node tile = tilesSet.append_child("tile");
        tile.append_attribute("id") = files.sheetTiles + static_cast<int>(k);
        AddProperty(tile.append_child("properties"), "fps", std::to_string(seq.fps), "int");
        pugi::xml_node anim = tile.append_child("animation");
        const int duration = std::max(1, static_cast<int>(std::lround(1000.0 / std::max(1, seq.fps))));
        for (int16_t code : seq.frames) {
            pugi::xml_node frame = anim.append_child("frame");
            frame.append_attribute("tileid") = code > 0 ? code - 1 : blank;
            frame.append_attribute("duration") = duration;
        }
    }
    pugi::xml_node boundsSet = tileset(boundsFirst, kBoundsTileset, files.bounds, 16, 16);
    for (int code = 1; code < 256; ++code) {
        const std::string name = BoundName(code);
        if (name.rfind("0x", 0) == 0) continue;
        pugi::xml_node tile = boundsSet.append_child("tile");
        tile.append_attribute("id") = code;
        tile.append_attribute("type") = name.c_str();
    }
    pugi::xml_node actorsSet = tileset(actorsFirst, kActorsTileset, files.actors, 16, 16);
    for (int tag = 1; tag < 256; ++tag) {
        if (!FindTagNaming(tag)) continue;
        pugi::xml_node tile = actorsSet.append_child("tile");
        tile.append_attribute("id") = tag;
        tile.append_attribute("type") = TagKind(tag).c_str();
    }

    int layerId = 1;
    auto tileLayer = [&](const std::string& name, const std::vector<uint32_t>& ids) {
        pugi::xml_node layer = map.append_child("layer");
        layer.append_attribute("id") = layerId++;
        layer.append_attribute("name") = name.c_str();
        layer.append_attribute("width") = level.width;
        layer.append_attribute("height") = level.height;
        return layer;
    };
    auto data = [&](pugi::xml_node layer, const std::vector<uint32_t>& ids) {
        pugi::xml_node d = layer.append_child("data");
        d.append_attribute("encoding") = "csv";
        d.append_child(pugi::node_pcdata).set_value(Csv(ids, level.width).c_str());
    };
    auto gidOf = [&](int16_t code) -> uint32_t {
        if (code == 0) return 0;
        if (code > 0) return tilesFirst + static_cast<uint32_t>(code - 1);
        return tilesFirst + static_cast<uint32_t>(files.sheetTiles + (-code) - 1);
    };

    // Drawn from the back to the front as the game draws them: 7 to 4, the
    // playfield with its bounds and actors, then 2 and 1.
    auto writeGameLayer = [&](const LayerSource& layer) {
        const size_t cells = static_cast<size_t>(level.width) * static_cast<size_t>(level.height);
        std::vector<uint32_t> ids(cells, 0);
        const bool tiledLayer = RepeatsEndlessly(layer.number, layer.scrollX, layer.scrollY);
        for (int y = 0; y < level.height; ++y)
            for (int x = 0; x < level.width; ++x) {
                if (!tiledLayer && (x >= layer.width || y >= layer.height)) continue;
                ids[static_cast<size_t>(y * level.width + x)] =
                    gidOf(layer.TileAt(x % layer.width, y % layer.height));
            }
        pugi::xml_node node = tileLayer(GameLayerName(layer.number), ids);
        const bool fixed = layer.scrollX == 0 && layer.scrollY == 0;
        const double px = ParallaxOf(layer.scrollX, fixed), py = ParallaxOf(layer.scrollY, fixed);
        if (px != 1.0) node.append_attribute("parallaxx") = NumberText(px).c_str();
        if (py != 1.0) node.append_attribute("parallaxy") = NumberText(py).c_str();
        pugi::xml_node lp = node.append_child("properties");
        AddProperty(lp, "layer", std::to_string(layer.number), "int");
        AddProperty(lp, "scroll", ScrollText(layer.scrollX, layer.scrollY));
        if (layer.number != 3 && (layer.width != level.width || layer.height != level.height))
            AddProperty(lp, "size", Format("%d %d", layer.width, layer.height));
        data(node, ids);
    };
    for (int number = 7; number >= 3; --number)
        for (const LayerSource& layer : level.layers)
            if (layer.number == number) writeGameLayer(layer);

    std::vector<uint32_t> boundIds(field->bounds.size(), 0);
    for (size_t i = 0; i < boundIds.size(); ++i)
        if (field->bounds[i] & 0xFF) boundIds[i] = boundsFirst + (field->bounds[i] & 0xFF);
    pugi::xml_node boundsLayer = tileLayer(kBoundsLayer, boundIds);
    boundsLayer.append_attribute("opacity") = "0.6";
    data(boundsLayer, boundIds);

    pugi::xml_node group = map.append_child("objectgroup");
    group.append_attribute("id") = layerId++;
    group.append_attribute("name") = kActorsLayer;
    int objectId = 1;
    for (int y = 0; y < field->height; ++y)
        for (int x = 0; x < field->width; ++x) {
            const int tag = field->BoundAt(x, y) >> 8;
            if (!tag) continue;
            pugi::xml_node obj = group.append_child("object");
            obj.append_attribute("id") = objectId++;
            obj.append_attribute("name") = TagName(tag).c_str();
            obj.append_attribute("type") = TagKind(tag).c_str();
            obj.append_attribute("gid") = actorsFirst + static_cast<uint32_t>(tag);
            obj.append_attribute("x") = x * cw;
            obj.append_attribute("y") = (y + 1) * ch;
            obj.append_attribute("width") = cw;
            obj.append_attribute("height") = ch;
            std::map<std::string, std::pair<std::string, const char*>> op;
            if (tag >= 1 && tag <= 15 && level.info.count(tag))
                op["text"] = {Latin1ToUtf8(level.info.at(tag)), nullptr};
            if (tag >= 0x10 && tag <= 0x1F)
                for (const SwitchSource& sw : level.switches) {
                    if (sw.tag != tag) continue;
                    auto tileId = [&](int16_t code) {
                        return code == 0 ? -1 : code > 0 ? code - 1 : files.sheetTiles + (-code) - 1;
                    };
                    op["image"] = {Latin1ToUtf8(sw.image), nullptr};
                    op["start"] = {sw.start ? "on" : "off", nullptr};
                    op["on tile"] = {std::to_string(tileId(sw.tileOn)), "int"};
                    op["on bound"] = {BoundName(sw.boundsOn), nullptr};
                    op["off tile"] = {std::to_string(tileId(sw.tileOff)), "int"};
                    op["off bound"] = {BoundName(sw.boundsOff), nullptr};
                    op["z"] = {std::to_string(sw.z), "int"};
                    op["anim"] = {std::to_string(sw.animSpeed), "int"};
                }
            if (!op.empty()) {
                pugi::xml_node p = obj.append_child("properties");
                for (const auto& [name, value] : op)
                    AddProperty(p, name, value.first, value.second);
            }
        }

    for (int number = 2; number >= 1; --number)
        for (const LayerSource& layer : level.layers)
            if (layer.number == number) writeGameLayer(layer);

    nextLayer = layerId;
    nextObject = objectId;
    XmlText out;
    doc.save(out, " ", pugi::format_default, pugi::encoding_utf8);
    return out.text;
}

LevelSource ReadTiledMapText(const std::string& text, const std::string& path, const MapContext& context,
                             Diagnostics& diag) {
    MapReader reader(path, context, diag);
    return reader.Read(text);
}

LevelSource ReadTiledMap(const std::string& path, const MapContext& context, Diagnostics& diag) {
    std::string text;
    try {
        text = ReadWholeFile(path, kMaxMapFileBytes);
    } catch (const Exception& e) {
        SourcePos pos{path};
        diag.Error(pos, Format("cannot read the map: %s", e.what()));
        LevelSource empty;
        empty.file = path;
        return empty;
    }
    return ReadTiledMapText(text, path, context, diag);
}

} // namespace varnok::levelc
