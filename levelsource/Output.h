#pragma once
// The files levelc writes: the level store, the settings store and the
// display settings, as plain INI text with CR LF line ends.
#include "levelsource/LevelSource.h"
#include "levelsource/Settings.h"

#include <string>
#include <vector>

namespace varnok::levelc {

// DAT\LEVEL.INI: the level count, then per level its tile set keys, layers
// with their data rows, the playfield's bound words and the sequences.
std::string LevelIniText(const std::vector<LevelSource>& levels);

// Sections as "[Name]" and "Key=Value" lines, an empty line after each.
std::string IniText(const std::vector<SettingsSection>& sections, const std::string& comment);

// Writes the file through a temporary file beside it, creating its folder.
void WriteTextFile(const std::string& path, const std::string& text);

} // namespace varnok::levelc
