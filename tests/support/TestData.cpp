#include "tests/support/TestData.h"

#include "common/Image.h"
#include "level/ImageList.h"
#include "media/WaveListFile.h"
#include "tests/support/TestSupport.h"

#include <filesystem>

namespace varnok::test {

namespace {
RgbaImage Filled(int w, int h, uint8_t r, uint8_t g, uint8_t b) {
    RgbaImage img(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = img.At(x, y);
            p[0] = r;
            p[1] = g;
            p[2] = b;
            p[3] = 255;
        }
    return img;
}

void AddItem(TPictureCollection& list, const std::string& name, const RgbaImage& picture, int patternWidth,
             int patternHeight) {
    TPictureCollectionItem& item = list.Add();
    item.SetName(name);
    item.Picture.Assign(picture);
    item.PatternWidth = patternWidth;
    item.PatternHeight = patternHeight;
    item.Transparent = true;
    item.SetTransparentColor(RGB(255, 0, 255));
}

// 68 glyphs in a row: each a white bar whose height grows with the glyph number,
// on the transparent colour, so that tests can tell glyphs apart.
RgbaImage Glyphs(int w, int h) {
    RgbaImage img = Filled(w * 68, h, 255, 0, 255);
    for (int g = 0; g < 68; ++g)
        for (int y = h - 1 - (g % h); y < h; ++y)
            for (int x = g * w + 1; x < g * w + w - 1; ++x) {
                uint8_t* p = img.At(x, y);
                p[0] = p[1] = p[2] = 255;
            }
    return img;
}
} // namespace

void WriteTestImages(const std::string& folder) {
    TPictureCollection list;
    RgbaImage title = Filled(640, 480, 20, 40, 120);
    for (int y = 100; y < 180; ++y)
        for (int x = 120; x < 520; ++x) {
            uint8_t* p = title.At(x, y);
            p[0] = 250;
            p[1] = 200;
            p[2] = 40;
        }
    AddItem(list, "MENUScreen", title, 0, 0);
    AddItem(list, "Background", Filled(640, 480, 90, 160, 220), 0, 0);
    RgbaImage fade(128, 32);
    for (int i = 0; i < 4; ++i)
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                uint8_t* p = fade.At(i * 32 + x, y);
                // Dark to clear: solid black, checkered, sparse, all transparent.
                const bool dark = i == 0 || (i == 1 && (x + y) % 2 == 0) || (i == 2 && x % 4 == 0 && y % 4 == 0);
                p[0] = dark ? 0 : 255;
                p[1] = 0;
                p[2] = dark ? 0 : 255;
                p[3] = 255;
            }
    AddItem(list, "FadeInOut", fade, 32, 32);
    AddItem(list, "FONTsmall", Glyphs(16, 16), 16, 16);
    AddItem(list, "FONTlarge", Glyphs(32, 32), 32, 32);
    AddItem(list, "CopyrightFont", Glyphs(8, 8), 8, 8);
    std::filesystem::create_directories(std::filesystem::path(folder) / "GFX");
    list.SaveToFile((std::filesystem::path(folder) / "GFX" / "Images.dxg").string());
}

void WriteTestSounds(const std::string& folder) {
    // Every sound the game plays: a short 16-bit mono tone each.
    std::string format;
    auto put16 = [&](uint16_t v) { format.append({static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}); };
    auto put32 = [&](uint32_t v) {
        put16(static_cast<uint16_t>(v & 0xFFFF));
        put16(static_cast<uint16_t>(v >> 16));
    };
    put16(1);
    put16(1);
    put32(22050);
    put32(44100);
    put16(2);
    put16(16);
    std::string samples;
    for (int i = 0; i < 2205; ++i) {
        const int16_t v = static_cast<int16_t>((i / 25) % 2 ? 3000 : -3000);
        samples.append({static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)});
    }
    std::vector<TWaveListEntry> entries;
    for (const char* name : {"Jump", "Land", "Fall", "KillJump", "Au", "Hit", "Bump", "Block", "Coin", "Bonus",
                             "Complete", "Elevator", "Trigger", "LaserLock", "Automove"}) {
        TWaveListEntry e;
        e.Name = name;
        e.Looped = std::string(name) == "Automove";
        e.MaxPlayingCount = 2;
        e.Wave.Format = format;
        e.Wave.Samples = samples;
        entries.push_back(e);
    }
    WriteFileBytes((std::filesystem::path(folder) / "SND" / "Sounds.dxw").string(), WriteWaveListFile(entries));
}

void WriteTestDataFolder(const std::string& folder, const std::string& levelIni, const std::string& globalIni) {
    WriteFileBytes((std::filesystem::path(folder) / "DAT" / "LEVEL.INI").string(), levelIni);
    WriteFileBytes((std::filesystem::path(folder) / "DAT" / "GLOBAL.INI").string(), globalIni);
    WriteTestImages(folder);
    WriteTestSounds(folder);
}

} // namespace varnok::test
