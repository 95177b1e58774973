#pragma once
// The settings sources: INI files with comments, checked against every section
// and key the game reads, and written out as the game's settings store.
#include "levelsource/Diagnostics.h"
#include "levelsource/LevelSource.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace varnok::levelc {

enum class ValueKind {
    Int,    // a whole number within the key's range
    Bool,   // 0 or 1
    Text,   // any text
    Shown,  // a text the game draws: only characters of its fonts
    Format, // a shown text with exactly two placeholders (%s or %d) for numbers
    Module, // a module file name in SND\ .
    Image,  // the name of a picture in GFX\Images.dxg
};

struct KeySpec {
    const char* key;
    ValueKind kind;
    int32_t lo = 0;
    int32_t hi = 0;
};

// One kind of section: a fixed name, or a prefix followed by a tag in two
// upper-case hexadecimal digits ("Enemy8A").
struct SectionSpec {
    const char* name;
    std::vector<std::pair<int, int>> tags; // empty: a fixed name
    std::vector<KeySpec> keys;
    bool fromLevels = false; // written from the level sources, not the settings
    bool required = false;   // must exist even when no level needs it
};

struct SettingsSection {
    std::string name; // as the game spells it
    SourcePos pos;
    std::vector<std::pair<std::string, std::string>> values; // key, value (Latin-1), in source order
    std::vector<SourcePos> valuePos;

    const std::string* Find(const std::string& key) const;
    int32_t Int(const std::string& key, int32_t def) const;
};

struct Settings {
    std::vector<SettingsSection> sections; // in source order
    const SettingsSection* Find(const std::string& name) const;
    int32_t Int(const std::string& section, const std::string& key, int32_t def) const;
    std::string Text(const std::string& section, const std::string& key) const;
};

// The sections and keys of the game's settings store, and of DirectX.ini.
const std::vector<SectionSpec>& GameSettingsSchema();
const std::vector<SectionSpec>& DisplaySettingsSchema();

// Reads INI sources and checks them against the schema: known sections and
// keys only, values of the right kind, every key of a section present, the
// required sections present.
Settings ReadSettings(const std::vector<std::string>& files, const std::vector<SectionSpec>& schema,
                      Diagnostics& diag);

// The section that holds the settings of an actor tag in the game's settings
// store ("Enemy8A", "Points C0" style, without the space), or empty when the
// tag reads no section of its own.
std::string SectionForTag(int tag);

// Checks that the settings hold a section for every tag the levels use, that
// the start level exists and that a switch tag is defined by one level only.
void CheckSettingsAgainstLevels(const Settings& settings, const std::vector<LevelSource>& levels,
                                Diagnostics& diag);

// The settings store the game reads: the settings sections, then per level its
// name, music and info texts, then the switches of all levels.
std::vector<SettingsSection> GlobalSections(const Settings& settings, const std::vector<LevelSource>& levels);

} // namespace varnok::levelc
