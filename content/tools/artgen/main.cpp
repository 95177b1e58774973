// artgen: draws the game's pictures from the art sources.
//
// usage: artgen SOURCE_DIR WORK_DIR GFX_DIR [--preview DIR] [--only NAME]...
//
// SOURCE_DIR holds palette.txt, items.txt (what to make), sprites/*.pix
// (hand-drawn pixel art) and tiles/. For every item of items.txt the named
// generator draws its frames; the frames are checked against the size and
// count the description gives and joined into one picture:
//   [Images]  -> WORK_DIR/Images/NAME.png, listed in WORK_DIR/Images.manifest
//   [Credits] -> WORK_DIR/Credits/NAME.bmp, listed in WORK_DIR/Credits.manifest
//   [Levels]  -> GFX_DIR/NAME.bmp (24-bit tile sheets)
// The manifests are dxgtool's input. --preview writes an enlarged picture of
// every item for looking at; --only limits the run to the named items.
#include "Icons.h"
#include "Items.h"
#include "Output.h"
#include "Style.h"
#include "TileTheme.h"

#include "common/Exception.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

using namespace artgen;
namespace fs = std::filesystem;

namespace {

const char* kHelp = R"(usage: artgen SOURCE_DIR WORK_DIR GFX_DIR [--preview DIR] [--only NAME]...

Draws every item described in SOURCE_DIR/items.txt with the palette of
SOURCE_DIR/palette.txt:
  [Images]  items  -> WORK_DIR/Images/NAME.png  + WORK_DIR/Images.manifest
  [Credits] items  -> WORK_DIR/Credits/NAME.bmp + WORK_DIR/Credits.manifest
  [Levels]  sheets -> GFX_DIR/NAME.bmp (24-bit, fuchsia see-through)
The manifests are input for `dxgtool build`.

items.txt lines: NAME SOURCE WIDTHxHEIGHT [FRAMES] [across=N] [opaque] [bmp24|bmp8]
  SOURCE is a generator name, pix:FILE (SOURCE_DIR/sprites/FILE) or tiles:THEME.
       artgen --mockup SOURCE_DIR THEME MAP.txt OUT.png
         draws a scene from a tile sheet (see tiles/mockup.txt)
       artgen --icons SOURCE_DIR OUT_DIR
         draws the program icon as OUT_DIR/SIZExSIZE/varnok.png in every
         size of the icon theme
Options:
  --preview DIR   also write each item enlarged, for looking at it
  --only NAME     draw only the named items (repeatable)
Exit status: 0 on success, 1 with a message on bad input.
)";

// A scene put together from a tile sheet, for looking at the tiles in place.
// The map file has "legend" lines (KEY INDEX, keys of two characters) and
// "layer NAME" blocks of rows, drawn back to front over the sheet's sky.
Canvas Mockup(const std::string& theme, const std::string& mapPath) {
    std::vector<Canvas> tiles = BuildTileSheet(ThemeByName(theme));
    std::ifstream in(mapPath);
    if (!in) throw varnok::EFileError("Cannot open " + mapPath);
    std::map<std::string, int> legend;
    std::vector<std::vector<std::string>> layers;
    std::string line;
    bool inLegend = false;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (line.empty() || line[0] == '#') continue;
        if (line == "legend") {
            inLegend = true;
        } else if (line.rfind("layer", 0) == 0) {
            inLegend = false;
            layers.emplace_back();
        } else if (inLegend) {
            legend[line.substr(0, 2)] = std::stoi(line.substr(3));
        } else if (!layers.empty()) {
            layers.back().push_back(line);
        }
    }
    Canvas out(640, 480);
    static const int sky[15] = {90, 90, 90, 91, 92, 92, 92, 93, 94, 94, 94, 95, 96, 96, 96};
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 20; ++x) out.Draw(tiles[static_cast<size_t>(sky[y])], x * 32, y * 32);
    for (const auto& rows : layers)
        for (size_t y = 0; y < rows.size() && y < 15; ++y)
            for (size_t x = 0; x + 1 < rows[y].size() && x / 2 < 20; x += 2) {
                auto it = legend.find(rows[y].substr(x, 2));
                if (it == legend.end())
                    throw varnok::EConvertError(mapPath + ": unknown cell '" + rows[y].substr(x, 2) + "'");
                if (it->second >= 0 && it->second < kTileCount)
                    out.Draw(tiles[static_cast<size_t>(it->second)], static_cast<int>(x / 2) * 32, static_cast<int>(y) * 32);
            }
    return out;
}

int Scale(const Canvas& c) {
    int longest = std::max(c.Width(), c.Height());
    return longest >= 400 ? 1 : longest >= 200 ? 2 : longest >= 64 ? 3 : 4;
}

void WriteManifest(const std::string& path, const std::vector<std::string>& entries) {
    std::string text = "# Made by artgen from content/art; input of dxgtool build.\n";
    for (const std::string& e : entries) text += e;
    WriteFile(path, text);
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (argc == 6 && !std::strcmp(argv[1], "--mockup")) {
        try {
            Pal().Load(std::string(argv[2]) + "/palette.txt");
            SetSourceDir(argv[2]);
            SavePng(argv[5], Mockup(argv[3], argv[4]));
            return 0;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "artgen: %s\n", e.what());
            return 1;
        }
    }
    if (argc == 4 && !std::strcmp(argv[1], "--icons")) {
        try {
            Pal().Load(std::string(argv[2]) + "/palette.txt");
            SetSourceDir(argv[2]);
            for (int size : IconSizes()) {
                const std::string dir = std::string(argv[3]) + "/" + std::to_string(size) + "x" + std::to_string(size);
                fs::create_directories(dir);
                SavePng(dir + "/varnok.png", DrawIcon(size));
            }
            return 0;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "artgen: %s\n", e.what());
            return 1;
        }
    }
    std::vector<std::string> pos;
    std::string preview;
    std::set<std::string> only;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--preview" && i + 1 < argc) preview = argv[++i];
        else if (a == "--only" && i + 1 < argc) only.insert(argv[++i]);
        else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "artgen: unknown option %s (see --help)\n", a.c_str());
            return 1;
        } else pos.push_back(a);
    }
    if (pos.size() != 3) {
        std::fputs("usage: artgen SOURCE_DIR WORK_DIR GFX_DIR [--preview DIR] [--only NAME]...\n", stderr);
        return 1;
    }
    const std::string src = pos[0], work = pos[1], gfx = pos[2];
    try {
        SetSourceDir(src);
        Pal().Load(src + "/palette.txt");
        std::vector<ItemSpec> specs = ReadItemSpecs(src + "/items.txt");
        GeneratorTable gens;
        AddPixGenerators(gens);
        AddEffectGenerators(gens);
        AddHeroGenerators(gens);
        AddItemGenerators(gens);
        AddEnemyGenerators(gens);
        AddFontGenerators(gens);
        AddSceneGenerators(gens);
        AddTileGenerators(gens);

        fs::create_directories(work + "/Images");
        fs::create_directories(work + "/Credits");
        fs::create_directories(gfx);
        if (!preview.empty()) fs::create_directories(preview);
        std::map<std::string, std::vector<std::string>> manifests;
        std::set<std::string> seen;
        for (const ItemSpec& s : specs) {
            if (!seen.insert(s.List + "/" + s.Name).second)
                throw varnok::EConvertError(s.Where + ": item " + s.Name + " described twice");
            auto gen = gens.find(s.Source);
            if (gen == gens.end()) throw varnok::EConvertError(s.Where + ": no generator '" + s.Source + "'");
            if (!only.empty() && !only.count(s.Name)) continue;
            std::vector<Canvas> frames;
            try {
                frames = gen->second(s);
            } catch (const varnok::Exception& e) {
                throw varnok::EConvertError(s.Where + ": " + s.Name + ": " + e.what());
            }
            if (static_cast<int>(frames.size()) != s.Frames)
                throw varnok::EConvertError(s.Where + ": " + s.Name + ": drew " + std::to_string(frames.size()) +
                                            " frames, the description says " + std::to_string(s.Frames));
            for (const Canvas& f : frames)
                if (f.Width() != s.Width || f.Height() != s.Height)
                    throw varnok::EConvertError(s.Where + ": " + s.Name + ": drew a " + std::to_string(f.Width()) +
                                                "x" + std::to_string(f.Height()) + " frame, the description says " +
                                                std::to_string(s.Width) + "x" + std::to_string(s.Height));
            Canvas pic = JoinFrames(frames, s.Across > 0 ? s.Across : s.Frames);
            if (!s.Keyed)
                for (int y = 0; y < pic.Height(); ++y)
                    for (int x = 0; x < pic.Width(); ++x)
                        if (!pic.Opaque(x, y)) pic.Set(x, y, {0, 0, 0, 255});
            if (s.List == "Levels") {
                WriteFile(gfx + "/" + s.Name + ".bmp", EncodeBmp24(pic));
            } else {
                std::string file = s.Name + (s.Format == "png" ? ".png" : ".bmp");
                std::string path = work + "/" + s.List + "/" + file;
                if (s.Format == "png") SavePng(path, pic);
                else WriteFile(path, s.Format == "bmp8" ? EncodeBmp8(pic) : EncodeBmp24(pic));
                std::string entry = "\n[" + s.Name + "]\npicture = " + s.List + "/" + file + "\n";
                // Actors take their size from the stored pattern size: always write it.
                entry += "pattern = " + std::to_string(s.Width) + " " + std::to_string(s.Height) + "\n";
                entry += s.Keyed ? "transparent = yes\ncolor = clFuchsia\n" : "transparent = no\n";
                manifests[s.List].push_back(entry);
            }
            if (!preview.empty()) {
                Canvas sheet = PreviewSheet(pic, s.Width, s.Height, Scale(pic));
                SavePng(preview + "/" + s.Name + ".png", sheet);
            }
        }
        if (only.empty())
            for (const char* list : {"Images", "Credits"})
                WriteManifest(work + "/" + list + ".manifest", manifests[list]);
    } catch (const varnok::Exception& e) {
        std::fprintf(stderr, "artgen: %s\n", e.what());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "artgen: %s\n", e.what());
        return 1;
    }
    return 0;
}
