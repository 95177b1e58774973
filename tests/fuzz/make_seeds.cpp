// fuzz_seeds: makes the small seed files of the fuzz targets from the game's
// built data, so every target starts from real files of each kind but small
// enough to keep the fuzzer fast.
//
//   fuzz_seeds DATA_DIR SEED_DIR
//
// DATA_DIR is the folder the build put the game's data in (DAT, GFX, ...);
// each kind of seed goes to SEED_DIR/<target>/.
#include "common/Exception.h"
#include "common/Files.h"
#include "common/StrUtils.h"
#include "level/CryptedINI.h"
#include "level/Dib.h"
#include "level/TSINI.h"
#include "tools/VersionInfo.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using namespace varnok;
namespace fs = std::filesystem;

namespace {

void Write(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0)
        throw EFileError("cannot write " + path.string());
}

void Put16(std::string& s, size_t at, uint16_t v) {
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>(v >> 8);
}

void Put32(std::string& s, size_t at, uint32_t v) {
    Put16(s, at, static_cast<uint16_t>(v & 0xFFFF));
    Put16(s, at + 2, static_cast<uint16_t>(v >> 16));
}

RgbaImage Crop(const RgbaImage& from, int x0, int y0, int w, int h) {
    RgbaImage out(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            std::copy_n(from.At(std::min(x0 + x, from.Width - 1), std::min(y0 + y, from.Height - 1)), 4,
                        out.At(x, y));
    return out;
}

// An icon file holding the packed DIB as its one picture, with an empty mask.
std::string IconFromPackedDib(std::string dib, int width, int height) {
    const int32_t storedHeight = 2 * height;
    Put32(dib, 8, static_cast<uint32_t>(storedHeight));
    const size_t maskStride = ((static_cast<size_t>(width) + 31) / 32) * 4;
    dib.append(maskStride * static_cast<size_t>(height), '\0');
    std::string icon(6 + 16, '\0');
    Put16(icon, 2, 1);
    Put16(icon, 4, 1);
    icon[6] = static_cast<char>(width);
    icon[7] = static_cast<char>(height);
    Put16(icon, 6 + 4, 1);
    Put16(icon, 6 + 6, static_cast<uint16_t>(static_cast<uint8_t>(dib[14])));
    Put32(icon, 6 + 8, static_cast<uint32_t>(dib.size()));
    Put32(icon, 6 + 12, static_cast<uint32_t>(icon.size()));
    return icon + dib;
}

// Pictures: small cuts of a tile sheet as BMP files (paletted and true
// colour), as packed DIBs and as icons.
void PictureSeeds(const fs::path& data, const fs::path& out) {
    const TDecodedPicture sheet = DecodeBmpFile(ReadWholeFile((data / "GFX" / "Level1.bmp").string()));
    struct Cut {
        int x, y, w, h;
    };
    int n = 0;
    for (const Cut& c : {Cut{0, 0, 8, 8}, Cut{32, 0, 16, 5}, Cut{0, 32, 3, 7}, Cut{64, 64, 32, 32}}) {
        RgbaImage picture = Crop(sheet.Image, c.x, c.y, c.w, c.h);
        if (c.w == 32) // many colours: written with 24 bits per pixel
            for (int y = 0; y < c.h; ++y)
                for (int x = 0; x < c.w; ++x)
                    picture.At(x, y)[0] = static_cast<uint8_t>(x * 8 + y);
        const std::string bmp = EncodeBmpFile(picture);
        const std::string packed = bmp.substr(14);
        const std::string name = Format("cut%d", ++n);
        Write(out / "dib_fuzz" / (name + ".bmp"), bmp);
        Write(out / "dib_fuzz" / (name + ".dib"), packed);
        Write(out / "dib_fuzz" / (name + ".ico"), IconFromPackedDib(packed, c.w, c.h));
    }
}

// A level cut to a few cells of each map (its bottom left corner), with the level's sequences, in the
// form the game's level file has.
std::string SmallLevel(const TMemIniFileCrypted& store, int32_t n, int32_t width, int32_t height) {
    TLevelData level;
    LoadLevel(store, n, level);
    const std::string head = Format("Level%d", n);
    std::string text = "[Global]\r\nTileCount=1\r\n\r\n[Level1]\r\n";
    std::vector<std::string> lines;
    store.GetSectionLines(head, lines);
    for (const std::string& line : lines)
        text += line + "\r\n";
    const TTileSetItem& set = level.CurrentTileSet;
    for (int32_t i = 0; i < set.Maps.Count(); ++i) {
        const TMapItem& map = set.Maps[i];
        // The bottom left corner: ground, walls and the level's start.
        const int32_t w = std::min<int32_t>(width, map.Width()), h = std::min<int32_t>(height, map.Height());
        const int32_t top = map.Height() - h;
        const std::string section = Format("Level1Layer%d", map.LayerNumber);
        text += Format("\r\n[%s]\r\nScrollX=%d\r\nScrollY=%d\r\nRows=%d\r\nCols=%d\r\n", section.c_str(),
                       int{map.ScrollX}, int{map.ScrollY}, w, h);
        std::string tiles = "\r\n[" + section + "Data]\r\n", bounds = "\r\n[" + section + "Bound]\r\n";
        for (int32_t y = 0; y < h; ++y) {
            for (int32_t x = 0; x < w; ++x) {
                tiles += Format("%d,", map.TileAt(x, top + y));
                bounds += Format("%u,", unsigned{map.BoundAt(x, top + y)});
            }
            tiles += "\r\n";
            bounds += "\r\n";
        }
        text += tiles;
        if (map.LayerNumber == 3) text += bounds;
    }
    if (set.SequenceCount > 0) {
        text += "\r\n[Level1SeqLength]\r\n";
        store.GetSectionLines(Format("Level%dSeqLength", n), lines);
        for (const std::string& line : lines)
            text += (line.rfind(head, 0) == 0 ? "Level1" + line.substr(head.size()) : line) + "\r\n";
        for (int32_t k = 1; k <= set.SequenceCount; ++k) {
            text += Format("\r\n[Level1Seq%d]\r\n", k);
            store.GetSectionLines(Format("Level%dSeq%d", n, k), lines);
            for (const std::string& line : lines)
                text += line + "\r\n";
        }
    }
    return text;
}

// Settings: the small settings files as they are, cuts of the level file,
// and the enciphered form of each, written by the store itself.
void SettingsSeeds(const fs::path& data, const fs::path& out) {
    const fs::path work = out / "work";
    fs::create_directories(work);
    TMemIniFileCrypted levels((data / "DAT" / "LEVEL.INI").string());
    const int32_t count = levels.GetInteger("Global", "TileCount", 0);
    std::vector<std::pair<std::string, std::string>> plain = {
        {"GLOBAL", ReadWholeFile((data / "DAT" / "GLOBAL.INI").string())},
        {"DirectX", ReadWholeFile((data / "DirectX.ini").string())},
    };
    for (int32_t n = 1; n <= std::min(count, 2); ++n) {
        const std::string level = SmallLevel(levels, n, 6, 5);
        Write(out / "level_loader_fuzz" / Format("level%d.ini", n), level);
        plain.emplace_back(Format("LEVEL%d", n), level);
    }
    // DirectX.ini as the program reads it, and a profile with comments,
    // quotes and repeated sections and keys.
    Write(out / "profile_ini_fuzz" / "DirectX.ini", ReadWholeFile((data / "DirectX.ini").string()));
    Write(out / "profile_ini_fuzz" / "repeats.ini",
          "; comment\n[display]\nFullscreen = \"1\"\nBitCount=0x10\nBitCount=8\n[Display]\nFixedSize=no\n");
    for (const auto& [name, text] : plain) {
        Write(out / "crypted_ini_fuzz" / (name + ".INI"), text);
        const fs::path ini = work / (name + ".INI");
        const fs::path dat = work / (name + ".DAT");
        Write(ini, text);
        fs::remove(dat);
        TMemIniFileCrypted store(ini.string());
        store.SaveConverted(dat.string());
        Write(out / "crypted_ini_fuzz" / (name + ".DAT"), ReadWholeFile(dat.string()));
    }
    fs::remove_all(work);
}

} // namespace

// A version table amid other bytes, as an executable carries it.
void VersionSeeds(const fs::path& out) {
    TVersionTable table;
    const uint16_t file[4] = {1, 0, 0, 142};
    std::copy(file, file + 4, table.FileVersion);
    table.ProductVersion[0] = 1;
    table.Language = 0x0407;
    table.CodePage = 1252;
    table.Strings = {{"CompanyName", "The VARNOK project"}, {"FileVersion", "1.0.0.142"},
                     {"ProductName", "VARNOK"}, {"ProductVersion", "1.0.0.0"}};
    Write(out / "version_table_fuzz" / "table.bin", std::string(64, '\x7f') + EncodeVersionTable(table) + "tail");
}

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: fuzz_seeds DATA_DIR SEED_DIR\n");
        return 2;
    }
    try {
        const fs::path data = argv[1], out = argv[2];
        PictureSeeds(data, out);
        SettingsSeeds(data, out);
        VersionSeeds(out);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "fuzz_seeds: %s\n", e.what());
        return 1;
    }
    return 0;
}
