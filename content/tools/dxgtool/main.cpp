// dxgtool: lists, builds and extracts image-list files (GFX\Images.dxg and
// the level tile lists).
//
// Manifest format (what `build` reads and `extract` writes): a text file of
// lines. Empty lines and lines starting with '#' or ';' are ignored. Each item
// begins with a line [NAME] (the name is everything between the first '[' and
// the last ']', and may be empty); the lines below it, up to the next [NAME],
// set its properties as KEY = VALUE:
//   picture = FILE          PNG or BMP; relative paths start at the manifest's
//                           folder; no picture line: an item without picture
//   pattern = WIDTH HEIGHT  pattern size; 0 means the whole picture (default 0 0)
//   skip = WIDTH HEIGHT     gap between patterns (default 0 0)
//   transparent = yes|no    skip key-colour pixels when drawn (default yes)
//   color = COLOUR          key colour: a name (clFuchsia, clBlack...) or a
//                           number 0x00BBGGRR as $00FF00FF, 0x... or decimal
//                           (default clBlack)
//   systemmemory = yes|no   keep the picture as one surface (default no)
// Items are stored in manifest order. PNG pixels with alpha below 128 take the
// key colour; a BMP file is stored as it is.
#include "common/Exception.h"
#include "common/StrUtils.h"
#include "level/ImageList.h"
#include "level/ImageListManifest.h"

#include <cstdio>
#include <cstring>
#include <string>

using namespace varnok;

namespace {

const char* kHelp = R"(usage: dxgtool list FILE.dxg
       dxgtool build OUT.dxg MANIFEST
       dxgtool extract FILE.dxg DIR
       dxgtool --help

list     prints each item: position, name, pattern size, skips, picture
         size, bit depth and class, transparency and key colour.
build    writes an image list from the items a manifest describes.
extract  writes every item's picture as PNG into DIR together with
         DIR/manifest.txt; `dxgtool build OUT.dxg DIR/manifest.txt` makes
         the same items again.

Manifest: one item per [NAME] line, followed by KEY = VALUE lines;
'#' or ';' starts a comment line.
  picture = FILE          PNG or BMP, relative to the manifest's folder
                          (no picture line: an item without picture)
  pattern = WIDTH HEIGHT  pattern size; 0 = whole picture   (default 0 0)
  skip = WIDTH HEIGHT     gap between patterns               (default 0 0)
  transparent = yes|no    skip key-colour pixels             (default yes)
  color = COLOUR          clFuchsia, clBlack... or $00BBGGRR (default clBlack)
  systemmemory = yes|no   one surface for the whole picture  (default no)
PNG pixels with alpha below 128 take the key colour.
Example:
  [Coin]
  picture = coin.png
  pattern = 32 32
  color = clFuchsia

Exit status: 0 on success, 1 with a message on bad input.
)";

int Usage() {
    std::fputs("usage: dxgtool list FILE | build OUT MANIFEST | extract FILE DIR (see --help)\n", stderr);
    return 1;
}

// Loads a list; errors of its content name the file.
void Load(TPictureCollection& list, const std::string& path) {
    try {
        list.LoadFromFile(path);
    } catch (const EFileError&) {
        throw;
    } catch (const Exception& e) {
        throw Exception(path + ": " + e.what());
    }
}

int List(const std::string& path) {
    TPictureCollection list;
    Load(list, path);
    std::printf("%s: %d item%s\n", path.c_str(), list.Count(), list.Count() == 1 ? "" : "s");
    for (int i = 0; i < list.Count(); ++i)
        std::printf("%4d %s\n", i, Latin1ToUtf8(DescribeImageItem(list.Items(i))).c_str());
    return 0;
}

int Build(const std::string& out, const std::string& manifest) {
    TPictureCollection list;
    try {
        LoadImageListManifest(manifest, list);
    } catch (const EFileError&) {
        throw;
    } catch (const Exception& e) {
        throw Exception(manifest + ": " + e.what());
    }
    list.MakeColorTable();
    list.SaveToFile(out);
    std::printf("%s: %d item%s written\n", out.c_str(), list.Count(), list.Count() == 1 ? "" : "s");
    return 0;
}

int Extract(const std::string& path, const std::string& dir) {
    TPictureCollection list;
    Load(list, path);
    const std::string manifest = ExtractImageList(list, dir);
    std::printf("%d item%s extracted; manifest %s\n", list.Count(), list.Count() == 1 ? "" : "s",
                manifest.c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    try {
        const std::string cmd = argc >= 2 ? argv[1] : "";
        if (cmd == "list" && argc == 3) return List(argv[2]);
        if (cmd == "build" && argc == 4) return Build(argv[2], argv[3]);
        if (cmd == "extract" && argc == 4) return Extract(argv[2], argv[3]);
        return Usage();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "dxgtool: %s\n", Latin1ToUtf8(e.what()).c_str());
        return 1;
    }
}
