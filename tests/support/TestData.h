#pragma once
// Small data sets for tests that run the game: settings files and an image
// list with the pictures the shell draws, built with the game's own writer.
#include <string>

namespace varnok::test {

// Writes GFX/Images.dxg under folder: "MENUScreen" (640 x 480), "Background",
// "FadeInOut" (four 32 x 32 patterns, dark to clear), and the fonts
// "FONTsmall", "FONTlarge", "CopyrightFont" (68 glyphs each); and
// GFX/Credits.dxg: "CreditsBackground" (200 x 201, opaque, green rising with
// the row) and "CreditsFigure" (11 frames of 64 x 91).
void WriteTestImages(const std::string& folder);

// Writes SND/Sounds.dxw under folder with every sound the game plays.
void WriteTestSounds(const std::string& folder);

// Writes DAT/LEVEL.INI and DAT/GLOBAL.INI under folder, plus the test images and sounds.
void WriteTestDataFolder(const std::string& folder, const std::string& levelIni, const std::string& globalIni);

// A small game: `levels` levels of 40 x 15 cells (ground, start at (2, 12),
// exit at (37, 12), a half-speed backdrop layer, one animated tile), their tile
// sheets GFX/Level<n>.bmp already converted, images, sounds and settings.
std::string TestLevelIni(int levels);
std::string TestGlobalIni(int levels);
void WriteTestTiles(const std::string& folder, int levels);
void WriteTestGame(const std::string& folder, int levels);

} // namespace varnok::test
