#include "levelsource/Settings.h"

#include "levelsource/SourceText.h"

#include "common/StrUtils.h"

#include <map>
#include <optional>
#include <set>

namespace varnok::levelc {

namespace {

constexpr int32_t kAnyInt = 1000000;

KeySpec Int(const char* key, int32_t lo, int32_t hi) {
    return KeySpec{key, ValueKind::Int, lo, hi};
}
KeySpec Bool(const char* key) {
    return KeySpec{key, ValueKind::Bool, 0, 1};
}
KeySpec Shown(const char* key) {
    return KeySpec{key, ValueKind::Shown};
}
KeySpec Z() {
    return Int("Z", -10000, 10000);
}
KeySpec Anim() {
    return Int("AnimSpeed", 0, 1000);
}
KeySpec Speed(const char* key) {
    return Int(key, -4000, 4000);
}

std::string TagSectionName(const SectionSpec& desc, int tag) {
    return Format("%s%02X", desc.name, tag);
}

bool InRanges(const std::vector<std::pair<int, int>>& ranges, int tag) {
    for (const auto& [lo, hi] : ranges)
        if (tag >= lo && tag <= hi) return true;
    return false;
}

// Finds the description of a section name; tag receives the tag of a tagged name.
const SectionSpec* FindSpec(const std::vector<SectionSpec>& schema, const std::string& name, int& tag) {
    tag = -1;
    // Fixed names first: "Objects" is a fixed section and the prefix of ObjectsB0.
    for (const SectionSpec& desc : schema)
        if (desc.tags.empty() && SameText(name, desc.name)) return &desc;
    for (const SectionSpec& desc : schema) {
        if (desc.tags.empty()) continue;
        const std::string prefix = desc.name;
        if (name.size() != prefix.size() + 2 || !SameText(name.substr(0, prefix.size()), prefix)) continue;
        const std::optional<int32_t> n = TryStrToInt("0x" + name.substr(prefix.size()));
        if (!n || !InRanges(desc.tags, *n)) continue;
        tag = *n;
        return &desc;
    }
    return nullptr;
}

const KeySpec* FindKey(const SectionSpec& desc, const std::string& key) {
    for (const KeySpec& k : desc.keys)
        if (SameText(k.key, key)) return &k;
    return nullptr;
}

// Checks one value; returns false after reporting a problem.
bool CheckValue(const KeySpec& desc, const std::string& value, const SourcePos& pos, Diagnostics& diag) {
    for (size_t i = 0; i < value.size(); ++i)
        if (!StorableChar(static_cast<unsigned char>(value[i]))) {
            diag.Error(pos.At(pos.col + static_cast<int>(i)),
                       Format("'%s' cannot be stored in the enciphered data files",
                              levelc::Shown(std::string(1, value[i])).c_str()));
            return false;
        }
    switch (desc.kind) {
    case ValueKind::Int:
    case ValueKind::Bool: {
        const std::optional<int32_t> n = ParseNumber(value);
        if (!n || *n < desc.lo || *n > desc.hi) {
            diag.Error(pos, Format("%s is a number from %d to %d", desc.key, desc.lo, desc.hi));
            return false;
        }
        return true;
    }
    case ValueKind::Text:
        return true;
    case ValueKind::Shown:
    case ValueKind::Format: {
        for (size_t i = 0; i < value.size(); ++i)
            if (!DrawableChar(static_cast<unsigned char>(value[i]))) {
                diag.Error(pos.At(pos.col + static_cast<int>(i)),
                           Format("'%s' is not in the game's fonts",
                                  levelc::Shown(std::string(1, value[i])).c_str()));
                return false;
            }
        if (desc.kind == ValueKind::Format) {
            int placeholders = 0;
            for (size_t i = 0; i < value.size(); ++i) {
                if (value[i] != '%') continue;
                if (i + 1 < value.size() && (value[i + 1] == 's' || value[i + 1] == 'd')) {
                    ++placeholders;
                    ++i;
                    continue;
                }
                diag.Error(pos.At(pos.col + static_cast<int>(i)), "only %s and %d may follow '%'");
                return false;
            }
            if (placeholders != 2) {
                diag.Error(pos, Format("%s needs two placeholders (%%s or %%d) for its numbers", desc.key));
                return false;
            }
        }
        return true;
    }
    case ValueKind::Module:
        if (value.empty() || value.find_first_of("/\\") != std::string::npos) {
            diag.Error(pos, Format("%s is a module file name in SND\\, without a folder", desc.key));
            return false;
        }
        return true;
    case ValueKind::Image:
        if (value.empty()) {
            diag.Error(pos, Format("%s names a picture of GFX\\Images.dxg", desc.key));
            return false;
        }
        return true;
    }
    return true;
}

void ReadSettingsFile(const std::string& path, const std::vector<SectionSpec>& schema, Settings& settings,
                      std::map<std::string, const SectionSpec*>& specs, Diagnostics& diag) {
    SettingsSection* current = nullptr;
    const SectionSpec* currentSpec = nullptr;
    bool refused = false; // inside a section that was already reported
    for (const SourceLine& line : ReadSourceLines(path, diag)) {
        const std::string_view t = TrimView(line.text);
        if (t.empty() || t.front() == ';' || t.front() == '#') continue;
        const int col = static_cast<int>(line.text.find_first_not_of(" \t")) + 1;
        const SourcePos pos{path, line.number, col};
        if (t.front() == '[') {
            current = nullptr;
            currentSpec = nullptr;
            refused = true;
            if (t.back() != ']') {
                diag.Error(pos, "a section header ends with ']'");
                continue;
            }
            const std::string name = Trim(t.substr(1, t.size() - 2));
            if (name.size() > 5 && SameText(name.substr(0, 5), "Level") &&
                name.find_first_not_of("0123456789", 5) == std::string::npos) {
                diag.Error(pos, Format("[%s] is written from the level sources, not from the settings",
                                       levelc::Shown(name).c_str()));
                continue;
            }
            int tag = -1;
            const SectionSpec* desc = FindSpec(schema, name, tag);
            if (!desc) {
                diag.Error(pos, Format("unknown section [%s]", levelc::Shown(name).c_str()));
                continue;
            }
            if (desc->fromLevels) {
                diag.Error(pos, Format("[%s] is written from the level sources, not from the settings",
                                       levelc::Shown(name).c_str()));
                continue;
            }
            const std::string canonical = tag < 0 ? std::string(desc->name) : TagSectionName(*desc, tag);
            if (settings.Find(canonical)) {
                diag.Error(pos, Format("section [%s] is given twice", canonical.c_str()));
                continue;
            }
            settings.sections.push_back(SettingsSection{canonical, pos, {}, {}});
            current = &settings.sections.back();
            currentSpec = desc;
            refused = false;
            specs[canonical] = desc;
            continue;
        }
        const size_t eq = line.text.find('=');
        if (eq == std::string::npos) {
            diag.Error(pos, "expected 'Key = Value'");
            continue;
        }
        if (!current) {
            if (!refused) diag.Error(pos, "a key before the first [section]");
            continue;
        }
        const std::string key = Trim(std::string_view(line.text).substr(0, eq));
        const KeySpec* keySpec = FindKey(*currentSpec, key);
        if (!keySpec) {
            diag.Error(pos,
                       Format("[%s] has no key '%s'", current->name.c_str(), levelc::Shown(key).c_str()));
            continue;
        }
        if (current->Find(keySpec->key)) {
            diag.Error(pos, Format("%s is given twice in [%s]", keySpec->key, current->name.c_str()));
            continue;
        }
        const size_t valueStart = line.text.find_first_not_of(" \t", eq + 1);
        std::string value =
            valueStart == std::string::npos ? std::string() : Trim(line.text.substr(valueStart));
        SourcePos valuePos{path, line.number,
                           static_cast<int>(valueStart == std::string::npos ? eq + 2 : valueStart + 1)};
        // Quotes keep spaces at either end of a text.
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
            valuePos.col += 1;
        }
        if (!CheckValue(*keySpec, value, valuePos, diag)) continue;
        current->values.emplace_back(keySpec->key, value);
        current->valuePos.push_back(valuePos);
    }
}

} // namespace

const std::string* SettingsSection::Find(const std::string& key) const {
    for (const auto& [k, v] : values)
        if (SameText(k, key)) return &v;
    return nullptr;
}

int32_t SettingsSection::Int(const std::string& key, int32_t def) const {
    const std::string* v = Find(key);
    if (!v) return def;
    return ParseNumber(*v).value_or(def);
}

const SettingsSection* Settings::Find(const std::string& name) const {
    for (const SettingsSection& s : sections)
        if (SameText(s.name, name)) return &s;
    return nullptr;
}

int32_t Settings::Int(const std::string& section, const std::string& key, int32_t def) const {
    const SettingsSection* s = Find(section);
    return s ? s->Int(key, def) : def;
}

std::string Settings::Text(const std::string& section, const std::string& key) const {
    const SettingsSection* s = Find(section);
    const std::string* v = s ? s->Find(key) : nullptr;
    return v ? *v : std::string();
}

const std::vector<SectionSpec>& GameSettingsSchema() {
    static const std::vector<SectionSpec> schema = {
        {"Game", {}, {Int("StartLevel", 1, 99), Bool("NoTiles"), Bool("GodMode")}, false, true},
        {"Player",
         {},
         {Z(), Anim(), Int("FloatTime", 0, 10000), Int("AutomoveFactor", 1, 20), Int("Lives", 1, 99),
          Int("MaxLives", 1, 99), Int("WalkSpeed", 1, 2000), Int("JumpHeight", 1, 2000),
          Int("FallSpeed", 1, 4000), Int("AutomoveAnimSpeed", 0, 1000)},
         false,
         true},
        {"PlayerDust", {}, {Z(), Anim()}, false, true},
        {"PlayerTrace", {}, {Z(), Anim()}, false, true},
        {"Menu",
         {},
         {KeySpec{"MOD", ValueKind::Module}, Shown("Start"), Shown("Credits"), Shown("Exit")},
         false,
         true},
        {"Credits", {}, {KeySpec{"MOD", ValueKind::Module}}, false, true},
        {"StateMsg",
         {},
         {Shown("GetReady"), Shown("GameOver"), Shown("Pause"), Shown("LevelComplete")},
         false,
         true},
        {"Summary",
         {},
         {KeySpec{"Points", ValueKind::Format}, KeySpec{"Enemies", ValueKind::Format},
          KeySpec{"Time", ValueKind::Format}},
         false,
         true},
        {"InfoSprite", {}, {Anim()}, false, true},
        {"Blocks", {}, {Int("HitCount", 1, 99), Z(), Anim()}, false, true},
        {"Grate", {}, {Int("HitCount", 1, 99), Z(), Anim()}, false, true},
        {"Keycards", {}, {Z(), Anim()}, false, true},
        {"LaserLocks", {}, {Z(), Anim()}, false, true},
        {"Objects", {}, {Anim()}, false, true},
        {"Trigger",
         {{0x10, 0x1F}},
         {KeySpec{"Image", ValueKind::Image}, Int("TriggerValue", 0, 1), Int("TileOn", -32768, 32767),
          Int("TileOff", -32768, 32767), Int("BoundsOn", 0, 255), Int("BoundsOff", 0, 255), Z(), Anim()},
         true},
        {"PlatformTrigger", {{0x40, 0x4F}}, {Speed("DX"), Speed("DY"), Z(), Anim()}},
        // The three enemy kinds read different keys: the two-half walkers no DY.
        {"Enemy",
         {{0x80, 0x81}, {0x88, 0x8F}},
         {Speed("DX"), Int("HitCount", 1, 99), Z(), Anim(), Int("Damage", 0, 1000)}},
        {"Enemy",
         {{0x82, 0x83}},
         {Speed("DX"), Speed("DY"), Int("HitCount", 1, 99), Z(), Anim(), Int("Damage", 0, 1000)}},
        {"Enemy",
         {{0x84, 0x85}},
         {Speed("DY"), Speed("DX"), Int("HitCount", 1, 99), Z(), Anim(), Int("Damage", 0, 1000)}},
        {"Platform",
         {{0x90, 0x9F}},
         {KeySpec{"Image", ValueKind::Image}, Speed("DX"), Speed("DY"), Int("DistanceX", 0, 1000),
          Int("DistanceY", 0, 1000), Z(), Anim()}},
        {"Objects", {{0xB0, 0xB5}}, {Z(), Int("JumpTiles", 1, 100)}},
        {"Points", {{0xC0, 0xC2}}, {Anim(), Int("Value", -kAnyInt, kAnyInt)}},
        {"Badies", {{0xD0, 0xD9}}, {Int("Damage", -1000, 0), Anim(), Z()}},
        {"Goodies", {{0xE0, 0xE2}}, {Int("Health", 1, 1000), Anim(), Z()}},
    };
    return schema;
}

const std::vector<SectionSpec>& DisplaySettingsSchema() {
    static const std::vector<SectionSpec> schema = {
        {"Display",
         {},
         {Int("BitCount", 8, 32), Bool("FixedBitCount"), Bool("FixedRatio"), Bool("FixedSize"),
          Int("Fullscreen", 0, 1)},
         false,
         true},
    };
    return schema;
}

Settings ReadSettings(const std::vector<std::string>& files, const std::vector<SectionSpec>& schema,
                      Diagnostics& diag) {
    Settings settings;
    std::map<std::string, const SectionSpec*> specs;
    for (const std::string& file : files)
        ReadSettingsFile(file, schema, settings, specs, diag);
    for (const SettingsSection& section : settings.sections) {
        const SectionSpec* desc = specs[section.name];
        for (const KeySpec& key : desc->keys)
            if (!section.Find(key.key))
                diag.Error(section.pos, Format("[%s] needs %s", section.name.c_str(), key.key));
    }
    for (const SectionSpec& desc : schema)
        if (desc.required && !settings.Find(desc.name))
            diag.Error(SourcePos{files.empty() ? std::string("settings") : files.front()},
                       Format("the settings need a section [%s]", desc.name));
    if (const SettingsSection* display = settings.Find("Display")) {
        const int32_t bits = display->Int("BitCount", 16);
        if (bits != 8 && bits != 16 && bits != 24 && bits != 32)
            diag.Error(display->pos, "BitCount is 8, 16, 24 or 32");
    }
    if (const SettingsSection* player = settings.Find("Player")) {
        if (player->Int("MaxLives", 3) < player->Int("Lives", 3))
            diag.Warning(player->pos, "MaxLives is below Lives: extra-life items can never be taken");
    }
    return settings;
}

std::string SectionForTag(int tag) {
    if (tag >= 0x10 && tag <= 0x1F) return Format("Trigger%02X", tag);
    if (tag >= 0x40 && tag <= 0x4F) return Format("PlatformTrigger%02X", tag);
    if ((tag >= 0x80 && tag <= 0x85) || (tag >= 0x88 && tag <= 0x8F)) return Format("Enemy%02X", tag);
    if (tag >= 0x90 && tag <= 0x9F) return Format("Platform%02X", tag);
    if (tag >= 0xB0 && tag <= 0xB5) return Format("Objects%02X", tag);
    if (tag >= 0xC0 && tag <= 0xC2) return Format("Points%02X", tag);
    if (tag >= 0xD0 && tag <= 0xD9) return Format("Badies%02X", tag);
    if (tag >= 0xE0 && tag <= 0xE2) return Format("Goodies%02X", tag);
    return std::string();
}

void CheckSettingsAgainstLevels(const Settings& settings, const std::vector<LevelSource>& levels,
                                Diagnostics& diag) {
    std::map<int, const LevelSource*> switchOwners;
    for (const LevelSource& level : levels) {
        for (const SwitchSource& sw : level.switches) {
            const auto [it, fresh] = switchOwners.emplace(sw.tag, &level);
            if (!fresh)
                diag.Error(sw.pos, Format("switch 0x%02X is already defined by level %d: the game keeps one "
                                          "[Trigger%02X] for all levels",
                                          sw.tag, it->second->number, sw.tag));
        }
        const LayerSource* playfield = level.Playfield();
        if (!playfield || playfield->bounds.empty()) continue;
        std::set<int> reported;
        for (int y = 0; y < playfield->height; ++y)
            for (int x = 0; x < playfield->width; ++x) {
                const int tag = playfield->BoundAt(x, y) >> 8;
                if (tag >= 0x10 && tag <= 0x1F) continue; // switches come with the level
                const std::string section = SectionForTag(tag);
                if (section.empty() || settings.Find(section) || !reported.insert(tag).second) continue;
                diag.Error(playfield->CellPos(x, y),
                           Format("tag 0x%02X needs a section [%s] in the settings", tag, section.c_str()));
            }
    }
    const int start = settings.Int("Game", "StartLevel", 1);
    if (!levels.empty() && (start < 1 || start > static_cast<int>(levels.size())))
        if (const SettingsSection* game = settings.Find("Game"))
            diag.Error(game->pos, Format("StartLevel %d is not one of the %zu levels", start, levels.size()));
}

std::vector<SettingsSection> GlobalSections(const Settings& settings,
                                            const std::vector<LevelSource>& levels) {
    std::vector<SettingsSection> out = settings.sections;
    for (const LevelSource& level : levels) {
        SettingsSection s;
        s.name = Format("Level%d", level.number);
        s.values.emplace_back("Name", level.name);
        s.values.emplace_back("MOD", level.music);
        for (const auto& [tag, text] : level.info)
            s.values.emplace_back(std::to_string(tag), text);
        // Not read by the game: kept so that a level taken out of the game's
        // data (to edit it as a map) is checked by the same rule again.
        if (level.running) s.values.emplace_back("Running", "1");
        out.push_back(std::move(s));
    }
    for (const LevelSource& level : levels)
        for (const SwitchSource& sw : level.switches) {
            SettingsSection s;
            s.name = Format("Trigger%02X", sw.tag);
            s.values = {{"Image", sw.image},
                        {"TriggerValue", std::to_string(sw.start)},
                        {"TileOn", std::to_string(sw.tileOn)},
                        {"TileOff", std::to_string(sw.tileOff)},
                        {"BoundsOn", std::to_string(sw.boundsOn)},
                        {"BoundsOff", std::to_string(sw.boundsOff)},
                        {"Z", std::to_string(sw.z)},
                        {"AnimSpeed", std::to_string(sw.animSpeed)}};
            out.push_back(std::move(s));
        }
    return out;
}

} // namespace varnok::levelc
