#include "tests/support/TestData.h"

#include "common/Image.h"
#include "level/CryptedINI.h"
#include "level/ImageList.h"
#include "level/TSINI.h"
#include "level/Dib.h"
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
    // The player: 10 x 9 patterns of 32 x 48, a figure whose colour tells the
    // frame group (walk right 20-29, left 30-39, jumps 40-57, fall 60-61,
    // stand 70-79, kill jump 80-89).
    RgbaImage player = Filled(320, 432, 255, 0, 255);
    for (int f = 0; f < 90; ++f)
        for (int y = 4; y < 48; ++y)
            for (int x = 6; x < 26; ++x) {
                uint8_t* p = player.At((f % 10) * 32 + x, (f / 10) * 48 + y);
                p[0] = static_cast<uint8_t>(40 + (f / 10) * 24);
                p[1] = static_cast<uint8_t>(200 - (f / 10) * 20);
                p[2] = static_cast<uint8_t>(60 + (f % 10) * 10);
            }
    AddItem(list, "Player", player, 32, 48);
    AddItem(list, "PlayerDust", Filled(64, 8, 200, 200, 200), 16, 8);
    AddItem(list, "PlayerTrace", Filled(128, 48, 120, 120, 250), 32, 48);
    AddItem(list, "F0", Filled(32, 64, 0, 160, 0), 32, 64);
    AddItem(list, "F1", Filled(32, 64, 200, 0, 0), 32, 64);
    AddItem(list, "Info", Filled(64, 32, 230, 230, 40), 32, 32);
    AddItem(list, "Heart", Filled(16, 16, 255, 40, 80), 16, 16);
    AddItem(list, "Lives", Filled(32, 32, 40, 220, 220), 32, 32);
    AddItem(list, "FONTsmall", Glyphs(16, 16), 16, 16);
    AddItem(list, "FONTlarge", Glyphs(32, 32), 32, 32);
    AddItem(list, "CopyrightFont", Glyphs(8, 8), 8, 8);
    std::filesystem::create_directories(std::filesystem::path(folder) / "GFX");
    list.SaveToFile((std::filesystem::path(folder) / "GFX" / "Images.dxg").string());

    // The credits pictures: an opaque background whose rows grow brighter
    // downwards (so a test can tell how far it drifted), and a figure of 11
    // frames, a box on the transparent colour.
    TPictureCollection credits;
    RgbaImage background = Filled(200, 201, 0, 0, 0);
    for (int y = 0; y < 201; ++y)
        for (int x = 0; x < 200; ++x) background.At(x, y)[1] = static_cast<uint8_t>(y);
    AddItem(credits, "CreditsBackground", background, 200, 201);
    credits.Items(0).Transparent = false;
    RgbaImage figure = Filled(704, 91, 255, 0, 255);
    for (int f = 0; f < 11; ++f)
        for (int y = 10; y < 91; ++y)
            for (int x = 8; x < 56; ++x) {
                uint8_t* p = figure.At(f * 64 + x, y);
                p[0] = 250;
                p[1] = static_cast<uint8_t>(f * 20);
                p[2] = 0;
            }
    AddItem(credits, "CreditsFigure", figure, 64, 91);
    credits.SaveToFile((std::filesystem::path(folder) / "GFX" / "Credits.dxg").string());
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

std::string TestLevelIni(int levels) {
    std::string ini = "[Global]\nTileCount=" + std::to_string(levels) + "\n";
    for (int n = 1; n <= levels; ++n) {
        const std::string l = "Level" + std::to_string(n);
        ini += "[" + l + "]\nTileWidth=32\nTileHeight=32\nBitmap=GFX\\Level" + std::to_string(n) +
               ".bmp\nTransparentR=255\nTransparentG=0\nTransparentB=255\nLayerCount=2\nSequenceCount=1\n";
        // The playfield: 40 x 15 cells, ground in the two bottom rows, the
        // start at (2, 12), the exit at (37, 12).
        ini += "[" + l + "Layer3]\nRows=40\nCols=15\n[" + l + "Layer3Data]\n";
        for (int y = 0; y < 15; ++y) {
            for (int x = 0; x < 40; ++x) ini += std::string(x ? "," : "") + (y >= 13 ? "1" : (y == 12 && x == 20 ? "-1" : "0"));
            ini += "\n";
        }
        ini += "[" + l + "Layer3Bound]\n";
        for (int y = 0; y < 15; ++y) {
            for (int x = 0; x < 40; ++x) {
                int word = y >= 13 ? 15 : 0;
                if (y == 12 && x == 2) word = 0xF000;
                if (y == 12 && x == 37) word = 0xF100;
                ini += std::string(x ? "," : "") + std::to_string(word);
            }
            ini += "\n";
        }
        // A backdrop at half the camera's speed: stripes of two tiles.
        ini += "[" + l + "Layer5]\nRows=20\nCols=15\nScrollX=2\nScrollY=2\n[" + l + "Layer5Data]\n";
        for (int y = 0; y < 15; ++y) {
            for (int x = 0; x < 20; ++x) ini += std::string(x ? "," : "") + ((x / 2) % 2 ? "2" : "3");
            ini += "\n";
        }
        ini += "[" + l + "SeqLength]\n" + l + "Seq1=2\n[" + l + "Seq1]\n4,4,1,4\n";
    }
    return ini;
}

std::string TestGlobalIni(int levels) {
    std::string ini = "[Game]\nStartLevel=1\n[Menu]\nStart=Los\n";
    for (int n = 1; n <= levels; ++n) ini += "[Level" + std::to_string(n) + "]\nName=Test " + std::to_string(n) + "\n";
    return ini;
}

void WriteTestTiles(const std::string& folder, int levels) {
    // Four tiles: ground, two backdrop colours, water.
    RgbaImage sheet = Filled(128, 32, 255, 0, 255);
    const uint8_t colors[4][3] = {{150, 90, 40}, {60, 80, 160}, {90, 120, 200}, {40, 160, 230}};
    for (int t = 0; t < 4; ++t)
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                uint8_t* p = sheet.At(t * 32 + x, y);
                const bool edge = x == 0 || y == 0;
                p[0] = edge ? colors[t][0] / 2 : colors[t][0];
                p[1] = edge ? colors[t][1] / 2 : colors[t][1];
                p[2] = edge ? colors[t][2] / 2 : colors[t][2];
            }
    for (int n = 1; n <= levels; ++n)
        WriteFileBytes((std::filesystem::path(folder) / "GFX" / ("Level" + std::to_string(n) + ".bmp")).string(),
                       EncodeBmpFile(sheet));
}

void WriteTestDataFolder(const std::string& folder, const std::string& levelIni, const std::string& globalIni) {
    WriteFileBytes((std::filesystem::path(folder) / "DAT" / "LEVEL.INI").string(), levelIni);
    WriteFileBytes((std::filesystem::path(folder) / "DAT" / "GLOBAL.INI").string(), globalIni);
    WriteTestImages(folder);
    WriteTestSounds(folder);
}

void WriteTestGame(const std::string& folder, int levels) {
    WriteTestDataFolder(folder, TestLevelIni(levels), TestGlobalIni(levels));
    WriteTestTiles(folder, levels);
    // The level image lists, as the start-up conversion makes them.
    TMemIniFileCrypted store((std::filesystem::path(folder) / "DAT" / "LEVEL.INI").string());
    std::string root = folder;
    if (root.empty() || root.back() != '/') root += '/';
    ConvertTileBitmaps(root, store);
}

} // namespace varnok::test
