#pragma once
// Small data sets for tests that run the game: settings files and an image
// list with the pictures the shell draws, built with the game's own writer.
#include <string>

namespace varnok::test {

// Writes GFX/Images.dxg under folder: "MENUScreen" (640 x 480), "Background",
// "FadeInOut" (four 32 x 32 patterns, dark to clear), and the fonts
// "FONTsmall", "FONTlarge", "CopyrightFont" (68 glyphs each).
void WriteTestImages(const std::string& folder);

// Writes SND/Sounds.dxw under folder with every sound the game plays.
void WriteTestSounds(const std::string& folder);

// Writes DAT/LEVEL.INI and DAT/GLOBAL.INI under folder, plus the test images and sounds.
void WriteTestDataFolder(const std::string& folder, const std::string& levelIni, const std::string& globalIni);

} // namespace varnok::test
