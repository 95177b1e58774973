#pragma once
// What the art generator makes: items described in content/art/items.txt,
// each drawn by a named generator into a list of equal frames.
#include "Raster.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace artgen {

// One line of the item description.
struct ItemSpec {
    std::string List;   // the output it goes into: "Images", "Credits" or "Levels"
    std::string Name;   // the item's name in its image list (or the file name)
    std::string Source; // generator name, "pix:FILE" or "tiles:THEME"
    std::string Arg;    // what follows the ':' in Source
    int Width = 0;      // pattern size
    int Height = 0;
    int Frames = 1;
    int Across = 0;     // patterns per row in the picture (0: all in one row)
    bool Keyed = true;  // colour-keyed with fuchsia (else opaque)
    std::string Format = "png"; // png, bmp24 or bmp8
    std::string Where;  // "file:line" for messages
};

using Generator = std::function<std::vector<Canvas>(const ItemSpec&)>;
using GeneratorTable = std::map<std::string, Generator>;

// Reads the description; raises varnok::EConvertError "file:line: message".
std::vector<ItemSpec> ReadItemSpecs(const std::string& path);

// The folder of the art sources (palette, sprites, tiles).
const std::string& SourceDir();
void SetSourceDir(const std::string& dir);

// Generator families, each in its own source file.
void AddPixGenerators(GeneratorTable& t);
void AddEffectGenerators(GeneratorTable& t);
void AddHeroGenerators(GeneratorTable& t);
void AddItemGenerators(GeneratorTable& t);
void AddEnemyGenerators(GeneratorTable& t);
void AddFontGenerators(GeneratorTable& t);
void AddSceneGenerators(GeneratorTable& t);
void AddTileGenerators(GeneratorTable& t);

} // namespace artgen
