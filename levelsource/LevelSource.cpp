#include "levelsource/LevelSource.h"

#include "levelsource/SourceText.h"

#include "common/StrUtils.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <set>

namespace varnok::levelc {

namespace {

// A [kind argument] block of the source with its lines.
struct Block {
    std::string kind;
    std::string arg;
    SourcePos pos;
    std::vector<SourceLine> lines;
};

// One key = value line.
struct KeyValue {
    std::string key;
    std::string value;
    SourcePos keyPos;
    SourcePos valuePos;
};

// A legend line before its names are resolved.
struct LegendLine {
    char symbol = 0;
    std::vector<Word> words;
    SourcePos pos;
};

// What one legend character stands for.
struct CellDef {
    int16_t tile = 0;
    int bound = 0;
    int tag = 0;
    bool hasBoundOrTag = false;
    SourcePos pos;
};

const std::map<std::string, int>& BoundNames() {
    static const std::map<std::string, int> names = {
        {"none", 0},  {"top", 1},    {"left", 2},        {"bottom", 4},
        {"right", 8}, {"solid", 15}, {"slope-up", 0x80}, {"slope-down", 0x81},
    };
    return names;
}

const std::map<std::string, int>& TagNames() {
    static const std::map<std::string, int> names = {
        {"start", 0xF0},     {"exit", 0xF1},    {"block", 0x30},     {"grate", 0x31},   {"path-right", 0xF5},
        {"path-left", 0xF6}, {"path-up", 0xF7}, {"path-down", 0xF8}, {"path-on", 0xF9}, {"move-right", 0xFA},
        {"move-left", 0xFB}, {"move-up", 0xFC}, {"move-down", 0xFD},
    };
    return names;
}

bool IsHeader(std::string_view t) {
    return t.size() >= 3 && t.front() == '[' && t.back() == ']' &&
           ((t[1] >= 'a' && t[1] <= 'z') || (t[1] >= 'A' && t[1] <= 'Z'));
}

std::vector<Block> SplitBlocks(const std::string& path, const std::vector<SourceLine>& lines,
                               Diagnostics& diag) {
    std::vector<Block> blocks;
    for (const SourceLine& line : lines) {
        const std::string_view t = TrimView(line.text);
        if (IsHeader(t)) {
            const int col = static_cast<int>(line.text.find('[')) + 1;
            const std::vector<Word> words = SplitWords(t.substr(1, t.size() - 2), col + 1);
            Block block;
            block.kind = LowerCase(words.empty() ? std::string() : words[0].text);
            if (words.size() > 2)
                diag.Error(SourcePos{path, line.number, words[2].col},
                           "a block header has at most one argument");
            if (words.size() > 1) block.arg = words[1].text;
            block.pos = SourcePos{path, line.number, col};
            blocks.push_back(std::move(block));
            continue;
        }
        if (IsBlankOrComment(line.text)) continue;
        if (blocks.empty()) {
            diag.Error(SourcePos{path, line.number, 1}, "text before the first [block] header");
            continue;
        }
        blocks.back().lines.push_back(line);
    }
    return blocks;
}

std::optional<KeyValue> ReadKeyValue(const std::string& path, const SourceLine& line, Diagnostics& diag) {
    const size_t eq = line.text.find('=');
    const size_t first = line.text.find_first_not_of(" \t");
    if (eq == std::string::npos) {
        diag.Error(SourcePos{path, line.number, static_cast<int>(first) + 1}, "expected 'key = value'");
        return std::nullopt;
    }
    KeyValue kv;
    kv.key = LowerCase(Trim(std::string_view(line.text).substr(0, eq)));
    kv.keyPos = SourcePos{path, line.number, static_cast<int>(first) + 1};
    const size_t valueStart = line.text.find_first_not_of(" \t", eq + 1);
    kv.value = valueStart == std::string::npos ? std::string()
                                               : Trim(std::string_view(line.text).substr(valueStart));
    kv.valuePos = SourcePos{path, line.number,
                            static_cast<int>(valueStart == std::string::npos ? eq + 2 : valueStart + 1)};
    if (kv.key.empty()) {
        diag.Error(kv.keyPos, "a key is missing before '='");
        return std::nullopt;
    }
    return kv;
}

// Numbers separated by spaces: exactly count of them, each within [lo, hi].
bool ReadNumbers(const KeyValue& kv, size_t count, int lo, int hi, std::vector<int>& out, Diagnostics& diag) {
    const std::vector<Word> words = SplitWords(kv.value, kv.valuePos.col);
    if (words.size() != count) {
        diag.Error(kv.valuePos,
                   Format("'%s' takes %zu number%s", kv.key.c_str(), count, count == 1 ? "" : "s"));
        return false;
    }
    out.clear();
    for (const Word& w : words) {
        const std::optional<int32_t> v = ParseNumber(w.text);
        if (!v || *v < lo || *v > hi) {
            diag.Error(kv.valuePos.At(w.col),
                       Format("'%s' is not a number from %d to %d", Shown(w.text).c_str(), lo, hi));
            return false;
        }
        out.push_back(*v);
    }
    return true;
}

} // namespace

bool CheckShownText(const std::string& text, const SourcePos& pos, Diagnostics& diag) {
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (!DrawableChar(c)) {
            diag.Error(pos.At(pos.col + static_cast<int>(i)),
                       Format("'%s' is not in the game's fonts", Shown(std::string(1, text[i])).c_str()));
            return false;
        }
    }
    return true;
}

namespace {

class LevelParser {
  public:
    LevelParser(const std::string& path, Diagnostics& diag) : path_(path), diag_(diag) { level_.file = path; }

    LevelSource Parse();

  private:
    void ReadLevelBlock(const Block& block);
    void ReadInfoBlock(const Block& block);
    void ReadSequenceBlock(const Block& block);
    void ReadSwitchBlock(const Block& block);
    void ReadLegendBlock(const Block& block);
    void ReadLayerBlock(const Block& block);
    void ResolveSequences();
    void ResolveSwitches();
    void ResolveLegends();
    void ResolveLayers();

    // A tile word: "." or "none", a tile name, a pattern index, or ~sequence.
    std::optional<int16_t> TileCode(const Word& word, const SourcePos& linePos, bool allowSequence);
    const CellDef* Lookup(int layer, char symbol) const;

    std::string path_;
    Diagnostics& diag_;
    LevelSource level_;
    TileNames names_;
    bool haveLevelBlock_ = false;
    std::string tilesFile_ = "tiles.names";
    SourcePos tilesPos_;

    struct RawSequence {
        std::string name;
        SourcePos pos;
        std::optional<KeyValue> fps;
        std::optional<KeyValue> frames;
    };
    std::vector<RawSequence> rawSequences_;
    struct RawSwitch {
        SwitchSource result;
        std::optional<KeyValue> on, off;
    };
    std::vector<RawSwitch> rawSwitches_;
    std::map<int, std::vector<LegendLine>> rawLegends_; // layer 0: all layers
    std::map<int, std::map<char, CellDef>> legends_;
    struct RawLayer {
        LayerSource layer;
        bool sizeGiven = false;
        std::vector<SourceLine> rows;
    };
    std::vector<RawLayer> rawLayers_;
};

LevelSource LevelParser::Parse() {
    const std::vector<SourceLine> lines = ReadSourceLines(path_, diag_);
    const std::vector<Block> blocks = SplitBlocks(path_, lines, diag_);
    for (const Block& block : blocks) {
        if (block.kind == "level")
            ReadLevelBlock(block);
        else if (block.kind == "info")
            ReadInfoBlock(block);
        else if (block.kind == "sequence")
            ReadSequenceBlock(block);
        else if (block.kind == "switch")
            ReadSwitchBlock(block);
        else if (block.kind == "legend")
            ReadLegendBlock(block);
        else if (block.kind == "layer")
            ReadLayerBlock(block);
        else
            diag_.Error(block.pos,
                        Format("unknown block [%s]: expected level, info, sequence, switch, legend or layer",
                               Shown(block.kind).c_str()));
    }
    if (!haveLevelBlock_) {
        diag_.Error(SourcePos{path_, 1, 1}, "the file has no [level] block");
        return level_;
    }
    const std::filesystem::path tilesPath = std::filesystem::path(path_).parent_path() / tilesFile_;
    names_ = ReadTileNames(tilesPath.string(), diag_);
    ResolveSequences();
    ResolveSwitches();
    ResolveLegends();
    ResolveLayers();
    return level_;
}

void LevelParser::ReadLevelBlock(const Block& block) {
    if (haveLevelBlock_) {
        diag_.Error(block.pos, "a second [level] block");
        return;
    }
    haveLevelBlock_ = true;
    level_.pos = block.pos;
    std::set<std::string> seen;
    bool haveSize = false, haveName = false, haveMusic = false, haveNumber = false, haveBitmap = false;
    for (const SourceLine& line : block.lines) {
        std::optional<KeyValue> kv = ReadKeyValue(path_, line, diag_);
        if (!kv) continue;
        if (!seen.insert(kv->key).second) {
            diag_.Error(kv->keyPos, Format("'%s' is given twice", kv->key.c_str()));
            continue;
        }
        std::vector<int> n;
        if (kv->key == "number") {
            if (ReadNumbers(*kv, 1, 1, 99, n, diag_)) {
                level_.number = n[0];
                haveNumber = true;
            }
        } else if (kv->key == "name") {
            level_.name = kv->value;
            haveName = !kv->value.empty() && CheckShownText(kv->value, kv->valuePos, diag_);
            if (kv->value.empty())
                diag_.Error(kv->valuePos, "the level name is empty");
            else if (kv->value.size() > 20)
                diag_.Warning(kv->valuePos,
                              "a name longer than 20 characters does not fit the get-ready screen");
        } else if (kv->key == "music") {
            level_.music = kv->value;
            haveMusic = !kv->value.empty();
            if (!haveMusic)
                diag_.Error(kv->valuePos, "the music module is empty");
            else if (kv->value.find_first_of("/\\") != std::string::npos)
                diag_.Error(kv->valuePos, "the music module is a file name in SND\\, without a folder");
        } else if (kv->key == "bitmap") {
            level_.bitmap = kv->value;
            haveBitmap = true;
        } else if (kv->key == "tiles") {
            tilesFile_ = kv->value;
            tilesPos_ = kv->valuePos;
        } else if (kv->key == "transparent") {
            if (ReadNumbers(*kv, 3, 0, 255, n, diag_)) level_.transparent = {n[0], n[1], n[2]};
        } else if (kv->key == "cell") {
            if (ReadNumbers(*kv, 2, 2, 256, n, diag_)) {
                level_.cellW = n[0];
                level_.cellH = n[1];
            }
        } else if (kv->key == "size") {
            if (ReadNumbers(*kv, 2, 1, 4000, n, diag_)) {
                level_.width = n[0];
                level_.height = n[1];
                haveSize = true;
            }
        } else if (kv->key == "running") {
            const std::string v = LowerCase(kv->value);
            if (v == "yes")
                level_.running = true;
            else if (v == "no")
                level_.running = false;
            else
                diag_.Error(kv->valuePos, "'running' is yes or no");
        } else {
            diag_.Error(kv->keyPos, Format("unknown key '%s' in [level]", Shown(kv->key).c_str()));
        }
    }
    if (!haveNumber) diag_.Error(block.pos, "[level] needs 'number'");
    if (!haveName) diag_.Error(block.pos, "[level] needs a 'name'");
    if (!haveMusic) diag_.Error(block.pos, "[level] needs 'music'");
    if (!haveSize) diag_.Error(block.pos, "[level] needs 'size' (width and height in cells)");
    if (haveNumber && !haveBitmap) level_.bitmap = Format("GFX\\Level%d.bmp", level_.number);
    // The camera assumes a level at least one screen (640 x 480) large.
    if (haveSize && (level_.width * level_.cellW < 640 || level_.height * level_.cellH < 480))
        diag_.Error(block.pos,
                    Format("the playfield (%d x %d cells of %d x %d) is smaller than the 640 x 480 screen",
                           level_.width, level_.height, level_.cellW, level_.cellH));
}

void LevelParser::ReadInfoBlock(const Block& block) {
    for (const SourceLine& line : block.lines) {
        std::optional<KeyValue> kv = ReadKeyValue(path_, line, diag_);
        if (!kv) continue;
        const std::optional<int32_t> n = ParseNumber(kv->key);
        if (!n || *n < 1 || *n > 15) {
            diag_.Error(kv->keyPos, "info signs are numbered 1 to 15");
            continue;
        }
        if (level_.info.count(*n)) {
            diag_.Error(kv->keyPos, Format("info sign %d has two texts", *n));
            continue;
        }
        if (kv->value.empty()) {
            diag_.Error(kv->valuePos, "the info text is empty");
            continue;
        }
        if (!CheckShownText(kv->value, kv->valuePos, diag_)) continue;
        level_.info[*n] = kv->value;
        level_.infoPos[*n] = kv->keyPos;
    }
}

void LevelParser::ReadSequenceBlock(const Block& block) {
    RawSequence seq;
    seq.name = block.arg;
    seq.pos = block.pos;
    if (seq.name.empty()) diag_.Error(block.pos, "[sequence NAME] needs a name");
    for (const RawSequence& other : rawSequences_)
        if (other.name == seq.name)
            diag_.Error(block.pos, Format("a second sequence '%s'", Shown(seq.name).c_str()));
    for (const SourceLine& line : block.lines) {
        std::optional<KeyValue> kv = ReadKeyValue(path_, line, diag_);
        if (!kv) continue;
        if (kv->key == "fps" && !seq.fps)
            seq.fps = kv;
        else if (kv->key == "frames" && !seq.frames)
            seq.frames = kv;
        else
            diag_.Error(kv->keyPos, Format("unexpected key '%s' in [sequence]", Shown(kv->key).c_str()));
    }
    rawSequences_.push_back(std::move(seq));
}

void LevelParser::ReadSwitchBlock(const Block& block) {
    RawSwitch sw;
    sw.result.pos = block.pos;
    const std::optional<int32_t> tag = ParseNumber(block.arg);
    if (!tag || *tag < 0x10 || *tag > 0x1F) {
        diag_.Error(block.pos, "[switch TAG] needs a switch tag from 0x10 to 0x1F");
        return;
    }
    sw.result.tag = *tag;
    for (const RawSwitch& other : rawSwitches_)
        if (other.result.tag == *tag) diag_.Error(block.pos, Format("switch 0x%02X is defined twice", *tag));
    bool haveImage = false;
    for (const SourceLine& line : block.lines) {
        std::optional<KeyValue> kv = ReadKeyValue(path_, line, diag_);
        if (!kv) continue;
        std::vector<int> n;
        if (kv->key == "image") {
            sw.result.image = kv->value;
            haveImage = !kv->value.empty();
        } else if (kv->key == "start") {
            const std::string v = LowerCase(kv->value);
            if (v == "off")
                sw.result.start = 0;
            else if (v == "on")
                sw.result.start = 1;
            else
                diag_.Error(kv->valuePos, "'start' is on or off");
        } else if (kv->key == "on") {
            sw.on = kv;
        } else if (kv->key == "off") {
            sw.off = kv;
        } else if (kv->key == "z") {
            if (ReadNumbers(*kv, 1, -10000, 10000, n, diag_)) sw.result.z = n[0];
        } else if (kv->key == "anim") {
            if (ReadNumbers(*kv, 1, 0, 1000, n, diag_)) sw.result.animSpeed = n[0];
        } else {
            diag_.Error(kv->keyPos, Format("unknown key '%s' in [switch]", Shown(kv->key).c_str()));
        }
    }
    if (!haveImage) diag_.Error(block.pos, "[switch] needs 'image', the picture of the switch");
    if (!sw.on) diag_.Error(block.pos, "[switch] needs 'on = TILE BOUND'");
    if (!sw.off) diag_.Error(block.pos, "[switch] needs 'off = TILE BOUND'");
    rawSwitches_.push_back(std::move(sw));
}

void LevelParser::ReadLegendBlock(const Block& block) {
    int layer = 0;
    if (!block.arg.empty()) {
        const std::optional<int32_t> n = ParseNumber(block.arg);
        if (!n || *n < 1 || *n > 7) {
            diag_.Error(block.pos, "[legend N] names a layer from 1 to 7");
            return;
        }
        layer = *n;
    }
    for (const SourceLine& line : block.lines) {
        const size_t first = line.text.find_first_not_of(" \t");
        const char symbol = line.text[first];
        const SourcePos pos{path_, line.number, static_cast<int>(first) + 1};
        const size_t eq = line.text.find_first_not_of(" \t", first + 1);
        if (eq == std::string::npos || line.text[eq] != '=') {
            diag_.Error(pos, "expected 'C = TILE [bound B] [tag T]' with a single character C");
            continue;
        }
        if (symbol == '.' || symbol == '|' || static_cast<unsigned char>(symbol) < 0x21 ||
            static_cast<unsigned char>(symbol) > 0x7E) {
            diag_.Error(
                pos, Format("'%s' cannot be defined: '.' and ' ' are always empty, '|' marks the row ends, "
                            "and only visible ASCII characters are allowed",
                            Shown(std::string(1, symbol)).c_str()));
            continue;
        }
        std::string definition = line.text.substr(eq + 1);
        const size_t comment = definition.find(';');
        if (comment != std::string::npos) definition.resize(comment);
        LegendLine entry;
        entry.symbol = symbol;
        entry.pos = pos;
        entry.words = SplitWords(definition, static_cast<int>(eq) + 2);
        if (entry.words.empty()) {
            diag_.Error(pos, "the definition is empty (use '.' for no tile)");
            continue;
        }
        rawLegends_[layer].push_back(std::move(entry));
    }
}

void LevelParser::ReadLayerBlock(const Block& block) {
    RawLayer raw;
    const std::optional<int32_t> n = ParseNumber(block.arg);
    if (!n || *n < 1 || *n > 7) {
        diag_.Error(block.pos, "[layer N] needs a layer number from 1 to 7");
        return;
    }
    for (const RawLayer& other : rawLayers_)
        if (other.layer.number == *n) diag_.Error(block.pos, Format("layer %d is defined twice", *n));
    raw.layer.number = *n;
    raw.layer.pos = block.pos;
    for (const SourceLine& line : block.lines) {
        const size_t first = line.text.find_first_not_of(" \t");
        if (line.text[first] == '|') {
            raw.rows.push_back(line);
            continue;
        }
        std::optional<KeyValue> kv = ReadKeyValue(path_, line, diag_);
        if (!kv) continue;
        std::vector<int> v;
        if (kv->key == "scroll") {
            if (ReadNumbers(*kv, 2, -32768, 32767, v, diag_)) {
                raw.layer.scrollX = static_cast<int16_t>(v[0]);
                raw.layer.scrollY = static_cast<int16_t>(v[1]);
            }
        } else if (kv->key == "size") {
            if (ReadNumbers(*kv, 2, 1, 4000, v, diag_)) {
                raw.layer.width = v[0];
                raw.layer.height = v[1];
                raw.sizeGiven = true;
            }
        } else {
            diag_.Error(kv->keyPos, Format("unknown key '%s' in [layer]", Shown(kv->key).c_str()));
        }
    }
    rawLayers_.push_back(std::move(raw));
}

std::optional<int16_t> LevelParser::TileCode(const Word& word, const SourcePos& linePos, bool allowSequence) {
    const SourcePos pos = linePos.At(word.col);
    if (word.text == "." || word.text == "none") return int16_t{0};
    if (word.text[0] == '~') {
        if (!allowSequence) {
            diag_.Error(pos, "a sequence frame must be a tile, not another sequence");
            return std::nullopt;
        }
        const std::string name = word.text.substr(1);
        for (size_t k = 0; k < level_.sequences.size(); ++k)
            if (level_.sequences[k].name == name) return static_cast<int16_t>(-static_cast<int>(k + 1));
        diag_.Error(pos, Format("no [sequence %s] in this level", Shown(name).c_str()));
        return std::nullopt;
    }
    if (const std::optional<int32_t> p = ParseNumber(word.text)) {
        if (*p < 0 || *p >= names_.count) {
            diag_.Error(pos,
                        Format("tile %d is not on the tile sheet (tiles 0 to %d)", *p, names_.count - 1));
            return std::nullopt;
        }
        return static_cast<int16_t>(*p + 1);
    }
    const auto it = names_.index.find(LowerCase(word.text));
    if (it == names_.index.end()) {
        diag_.Error(pos, Format("unknown tile '%s' (see %s)", Shown(word.text).c_str(), names_.file.c_str()));
        return std::nullopt;
    }
    return static_cast<int16_t>(it->second + 1);
}

void LevelParser::ResolveSequences() {
    // Names first, so that sequences may be referred to before their block.
    for (const RawSequence& raw : rawSequences_) {
        SequenceSource seq;
        seq.name = raw.name;
        seq.pos = raw.pos;
        level_.sequences.push_back(seq);
    }
    for (size_t k = 0; k < rawSequences_.size(); ++k) {
        const RawSequence& raw = rawSequences_[k];
        SequenceSource& seq = level_.sequences[k];
        std::vector<int> n;
        if (!raw.fps)
            diag_.Error(raw.pos, "[sequence] needs 'fps', its frames per second");
        else if (ReadNumbers(*raw.fps, 1, 1, 1000, n, diag_))
            seq.fps = n[0];
        if (!raw.frames) {
            diag_.Error(raw.pos, "[sequence] needs 'frames', the tiles it shows in turn");
            continue;
        }
        for (const Word& w : SplitWords(raw.frames->value, raw.frames->valuePos.col)) {
            const std::optional<int16_t> code = TileCode(w, raw.frames->valuePos, false);
            if (code) seq.frames.push_back(*code);
        }
        // The game treats a frame list of fewer than two entries as empty.
        if (seq.frames.size() < 2) diag_.Error(raw.frames->valuePos, "a sequence needs at least two frames");
        if (seq.frames.size() > 1000) diag_.Error(raw.frames->valuePos, "a sequence has at most 1000 frames");
    }
}

void LevelParser::ResolveSwitches() {
    for (RawSwitch& raw : rawSwitches_) {
        bool ok = true;
        for (int which = 0; which < 2; ++which) {
            const std::optional<KeyValue>& kv = which == 0 ? raw.on : raw.off;
            if (!kv) {
                ok = false;
                continue;
            }
            const std::vector<Word> words = SplitWords(kv->value, kv->valuePos.col);
            if (words.size() != 2) {
                diag_.Error(kv->valuePos, Format("'%s' takes a tile and a bound code", kv->key.c_str()));
                ok = false;
                continue;
            }
            const std::optional<int16_t> tile = TileCode(words[0], kv->valuePos, true);
            int bound = 0;
            if (!ParseBoundCode(words[1].text, bound)) {
                diag_.Error(kv->valuePos.At(words[1].col),
                            Format("'%s' is not a bound code", Shown(words[1].text).c_str()));
                ok = false;
                continue;
            }
            if (!tile) {
                ok = false;
                continue;
            }
            (which == 0 ? raw.result.tileOn : raw.result.tileOff) = *tile;
            (which == 0 ? raw.result.boundsOn : raw.result.boundsOff) = bound;
        }
        if (ok) level_.switches.push_back(raw.result);
    }
    std::sort(level_.switches.begin(), level_.switches.end(),
              [](const SwitchSource& a, const SwitchSource& b) { return a.tag < b.tag; });
}

void LevelParser::ResolveLegends() {
    for (const auto& [layer, lines] : rawLegends_) {
        std::map<char, CellDef>& legend = legends_[layer];
        for (const LegendLine& line : lines) {
            if (legend.count(line.symbol)) {
                diag_.Error(line.pos, Format("'%c' is defined twice in this legend", line.symbol));
                continue;
            }
            CellDef def;
            def.pos = line.pos;
            bool ok = true;
            const std::optional<int16_t> tile = TileCode(line.words[0], line.pos, true);
            if (tile)
                def.tile = *tile;
            else
                ok = false;
            bool haveBound = false, haveTag = false;
            for (size_t i = 1; i < line.words.size(); i += 2) {
                const Word& what = line.words[i];
                if (i + 1 >= line.words.size()) {
                    diag_.Error(line.pos.At(what.col),
                                Format("'%s' needs a value", Shown(what.text).c_str()));
                    ok = false;
                    break;
                }
                const Word& value = line.words[i + 1];
                if (what.text == "bound" && !haveBound) {
                    haveBound = true;
                    if (!ParseBoundCode(value.text, def.bound)) {
                        diag_.Error(
                            line.pos.At(value.col),
                            Format("'%s' is not a bound code: a number from 0 to 255 or names joined by '+' "
                                   "(top, left, bottom, right, solid, slope-up, slope-down, none)",
                                   Shown(value.text).c_str()));
                        ok = false;
                    }
                } else if (what.text == "tag" && !haveTag) {
                    haveTag = true;
                    if (!ParseTag(value.text, def.tag)) {
                        diag_.Error(line.pos.At(value.col),
                                    Format("'%s' is not a tag: a number from 0 to 255 or a tag name",
                                           Shown(value.text).c_str()));
                        ok = false;
                    }
                } else {
                    diag_.Error(
                        line.pos.At(what.col),
                        Format("expected 'bound' or 'tag' (each once), not '%s'", Shown(what.text).c_str()));
                    ok = false;
                    break;
                }
            }
            def.hasBoundOrTag = haveBound || haveTag;
            if (ok) legend[line.symbol] = def;
        }
    }
}

const CellDef* LevelParser::Lookup(int layer, char symbol) const {
    static const CellDef empty;
    if (symbol == '.' || symbol == ' ') return &empty;
    for (int which : {layer, 0}) {
        const auto l = legends_.find(which);
        if (l == legends_.end()) continue;
        const auto it = l->second.find(symbol);
        if (it != l->second.end()) return &it->second;
    }
    return nullptr;
}

void LevelParser::ResolveLayers() {
    std::sort(rawLayers_.begin(), rawLayers_.end(),
              [](const RawLayer& a, const RawLayer& b) { return a.layer.number < b.layer.number; });
    bool havePlayfield = false;
    for (RawLayer& raw : rawLayers_) {
        LayerSource& layer = raw.layer;
        const bool playfield = layer.number == 3;
        havePlayfield |= playfield;
        if (!raw.sizeGiven) {
            layer.width = level_.width;
            layer.height = level_.height;
        } else if (playfield && (layer.width != level_.width || layer.height != level_.height)) {
            diag_.Error(layer.pos, Format("the playfield must have the level's size, %d x %d", level_.width,
                                          level_.height));
        }
        if (layer.width <= 0 || layer.height <= 0) continue;
        // The game treats a grid of fewer than two cells as empty.
        if (layer.width * layer.height < 2) {
            diag_.Error(layer.pos, "a layer needs at least two cells");
            continue;
        }
        if (static_cast<int>(raw.rows.size()) != layer.height) {
            const SourcePos where =
                raw.rows.size() > static_cast<size_t>(layer.height)
                    ? SourcePos{path_, raw.rows[static_cast<size_t>(layer.height)].number, 1}
                    : layer.pos;
            diag_.Error(where, Format("layer %d has %zu rows, its size says %d", layer.number,
                                      raw.rows.size(), layer.height));
            continue;
        }
        layer.tiles.assign(static_cast<size_t>(layer.width * layer.height), 0);
        layer.bounds.assign(static_cast<size_t>(layer.width * layer.height), 0);
        for (int y = 0; y < layer.height; ++y) {
            const SourceLine& line = raw.rows[static_cast<size_t>(y)];
            const size_t open = line.text.find('|');
            const size_t close = line.text.find_last_not_of(" \t");
            const SourcePos rowPos{path_, line.number, static_cast<int>(open) + 2};
            layer.rows.push_back(rowPos);
            if (close == open || line.text[close] != '|') {
                diag_.Error(SourcePos{path_, line.number, static_cast<int>(close) + 1},
                            "a map row ends with '|'");
                continue;
            }
            const std::string_view cells = std::string_view(line.text).substr(open + 1, close - open - 1);
            if (static_cast<int>(cells.size()) != layer.width) {
                diag_.Error(rowPos, Format("row %d of layer %d has %zu cells, the layer is %d wide", y,
                                           layer.number, cells.size(), layer.width));
                continue;
            }
            for (int x = 0; x < layer.width; ++x) {
                const char symbol = cells[static_cast<size_t>(x)];
                const CellDef* def = Lookup(layer.number, symbol);
                const SourcePos cellPos = rowPos.At(rowPos.col + x);
                if (!def) {
                    diag_.Error(cellPos, Format("'%s' is not in the legend of layer %d",
                                                Shown(std::string(1, symbol)).c_str(), layer.number));
                    continue;
                }
                if (def->hasBoundOrTag && !playfield) {
                    diag_.Error(cellPos,
                                Format("'%c' has a bound code or tag, which only the playfield (layer 3) "
                                       "holds; give layer %d its own [legend %d]",
                                       symbol, layer.number, layer.number));
                    continue;
                }
                const size_t i = static_cast<size_t>(y * layer.width + x);
                layer.tiles[i] = def->tile;
                layer.bounds[i] = static_cast<uint16_t>(def->tag << 8 | def->bound);
            }
        }
        level_.layers.push_back(layer);
    }
    if (!havePlayfield) diag_.Error(level_.pos, "the level has no [layer 3], the playfield");
}

} // namespace

SourcePos LayerSource::CellPos(int x, int y) const {
    if (!mapLayerName.empty()) {
        SourcePos p = pos;
        const auto it = objects.find(y * width + x);
        p.where = it != objects.end() ? Format("%s at cell %d, %d", it->second.c_str(), x, y)
                                      : Format("layer \"%s\" cell %d, %d", mapLayerName.c_str(), x, y);
        return p;
    }
    if (y < 0 || y >= static_cast<int>(rows.size())) return pos;
    const SourcePos& row = rows[static_cast<size_t>(y)];
    return row.At(row.col + x);
}

const LayerSource* LevelSource::Playfield() const {
    for (const LayerSource& layer : layers)
        if (layer.number == 3) return &layer;
    return nullptr;
}

LevelSource ParseLevelFile(const std::string& path, Diagnostics& diag) {
    LevelParser parser(path, diag);
    return parser.Parse();
}

bool ParseBoundCode(const std::string& text, int& code) {
    if (const std::optional<int32_t> n = ParseNumber(text)) {
        if (*n < 0 || *n > 255) return false;
        code = *n;
        return true;
    }
    int value = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('+', start);
        if (end == std::string::npos) end = text.size();
        const auto it = BoundNames().find(text.substr(start, end - start));
        if (it == BoundNames().end()) return false;
        value |= it->second;
        start = end + 1;
    }
    code = value;
    return true;
}

bool ParseTag(const std::string& text, int& tag) {
    if (const std::optional<int32_t> n = ParseNumber(text)) {
        if (*n < 0 || *n > 255) return false;
        tag = *n;
        return true;
    }
    const auto it = TagNames().find(text);
    if (it == TagNames().end()) return false;
    tag = it->second;
    return true;
}

TileNames ReadTileNames(const std::string& path, Diagnostics& diag) {
    TileNames names;
    names.file = path;
    bool haveCount = false;
    for (const SourceLine& line : ReadSourceLines(path, diag)) {
        if (IsBlankOrComment(line.text)) continue;
        std::optional<KeyValue> kv = ReadKeyValue(path, line, diag);
        if (!kv) continue;
        const size_t comment = kv->value.find(';');
        if (comment != std::string::npos) kv->value = Trim(kv->value.substr(0, comment));
        const std::optional<int32_t> n = ParseNumber(kv->value);
        if (!n || *n < 0 || *n > 32766) {
            diag.Error(kv->valuePos, "expected a tile index");
            continue;
        }
        if (kv->key == "count") {
            names.count = *n;
            haveCount = true;
            continue;
        }
        if (!names.index.emplace(kv->key, *n).second)
            diag.Error(kv->keyPos, Format("tile name '%s' is given twice", Shown(kv->key).c_str()));
    }
    if (!haveCount)
        diag.Error(SourcePos{path}, "the tile names need 'count', the number of tiles on a sheet");
    for (const auto& [name, index] : names.index)
        if (index >= names.count)
            diag.Error(SourcePos{path}, Format("tile '%s' (%d) lies beyond the sheet's %d tiles",
                                               name.c_str(), index, names.count));
    return names;
}

} // namespace varnok::levelc
