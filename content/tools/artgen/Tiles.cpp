// The level tile sheets: ground, slopes and blocks from the terrain renderer,
// everything else from TileArt.cpp. The index layout is the one of
// content/art/tiles/CATALOGUE.md.
#include "Draw.h"
#include "Items.h"
#include "TileTheme.h"

#include "common/Exception.h"

#include <cmath>

namespace artgen {

Theme ThemeByName(const std::string& name) {
    Theme t;
    if (name == "meadow") {
        t.kind = ThemeKind::Meadow;
        t.ground = {"dirt", Texture::Pebbles, "grass", Surface::Grass, 7, false};
        t.block = {"sandstone", Texture::Bricks, "", Surface::Grass, 0, true};
        t.ledge = "wood", t.liquid = "water", t.sky = "sky", t.leaf = "leaf";
        t.nearHill = "grass", t.farHill = "winter", t.seed = 100;
    } else if (name == "forest") {
        t.kind = ThemeKind::Forest;
        t.ground = {"loam", Texture::Roots, "moss", Surface::Moss, 6, false};
        t.block = {"log", Texture::Logs, "", Surface::Grass, 0, true};
        t.ledge = "wood", t.liquid = "swamp", t.sky = "haze", t.leaf = "moss";
        t.nearHill = "moss", t.farHill = "haze", t.seed = 200;
    } else if (name == "caves") {
        t.kind = ThemeKind::Caves;
        t.ground = {"cavestone", Texture::Stones, "cavestone", Surface::Rock, 3, false};
        t.block = {"granite", Texture::Blocks, "", Surface::Grass, 0, true};
        t.ledge = "rock", t.liquid = "lava", t.lava = true, t.sky = "cavewall", t.leaf = "teal";
        t.nearHill = "cavestone", t.farHill = "cavewall", t.seed = 300;
    } else if (name == "ice") {
        t.kind = ThemeKind::Ice;
        t.ground = {"frost", Texture::Ice, "snow", Surface::Snow, 9, false};
        t.block = {"ice", Texture::Blocks, "", Surface::Grass, 0, true};
        t.ledge = "ice", t.liquid = "water", t.sky = "winter", t.leaf = "teal";
        t.nearHill = "snow", t.farHill = "winter", t.seed = 400;
    } else if (name == "castle") {
        t.kind = ThemeKind::Castle;
        t.ground = {"masonry", Texture::Blocks, "masonry", Surface::Slab, 7, false};
        t.block = {"brick", Texture::Bricks, "", Surface::Grass, 0, true};
        t.ledge = "masonry", t.liquid = "lava", t.lava = true, t.sky = "dusk", t.stars = true;
        t.leaf = "moss", t.nearHill = "masonry", t.farHill = "night", t.seed = 500;
    } else {
        throw varnok::EConvertError("no tile theme '" + name + "'");
    }
    return t;
}

namespace {

// Contexts of the ground and block sets, in catalogue order (0-9 and 30-39).
const Context kSet[10] = {
    {"...", ".##", ".##"}, {"...", "###", "###"}, {"...", "##.", "##."}, {".##", ".##", ".##"},
    {"###", "###", "###"}, {"##.", "##.", "##."}, {".##", ".##", "..."}, {"###", "###", "..."},
    {"##.", "##.", "..."}, {"...", ".#.", "..."},
};
const Context kExtras[6] = {
    {"...", ".#.", ".#."}, {".#.", ".#.", ".#."}, {".#.", ".#.", "..."},
    {"...", ".##", "..."}, {"...", "###", "..."}, {"...", "##.", "..."},
};
const Context kSlopes[4] = {
    {"...", "./#", "/##"}, {"...", "#\\.", "##\\"}, {"./#", "/##", "###"}, {"#\\.", "##\\", "###"},
};

// Small things set into a surface band: flowers, pebbles, icy glints.
void DecorateTop(const Theme& t, Canvas& c, bool flowers) {
    const int n = flowers ? 4 : 3;
    for (int k = 0; k < n; ++k) {
        int x = 3 + k * (26 / n) + static_cast<int>(Hash01(k, flowers, t.seed) * 4);
        int y = 1 + static_cast<int>(Hash01(k, 7, t.seed) * 2);
        if (flowers) {
            switch (t.kind) {
            case ThemeKind::Meadow: {
                Rgba petal = k % 2 ? C("gold.4") : C("pink.3");
                c.Set(x, y, petal), c.Set(x - 1, y + 1, petal), c.Set(x + 1, y + 1, petal), c.Set(x, y + 2, petal);
                c.Set(x, y + 1, k % 2 ? C("orange.2") : C("gold.4"));
                break;
            }
            case ThemeKind::Forest:
                c.Set(x, y + 1, C("red.3")), c.Set(x + 1, y + 1, C("red.2")), c.Set(x, y + 2, C("white.3"));
                break;
            case ThemeKind::Caves:
                c.Set(x, y, C("teal.3")), c.Set(x + 1, y, C("teal.2")), c.Set(x, y + 1, C("teal.2"));
                break;
            case ThemeKind::Ice: Sparkle(c, x, y + 2, 1, C("ice.3"), C("white.4")); break;
            case ThemeKind::Castle:
                c.Set(x, y + 3, C("masonry.0")), c.Set(x + 1, y + 4, C("masonry.0")), c.Set(x + 2, y + 4, C("masonry.1"));
                break;
            }
        } else {
            const Ramp& r = R(t.kind == ThemeKind::Ice ? "ice" : t.kind == ThemeKind::Castle ? "masonry" : "rock");
            Mask m(32, 32);
            m.FillEllipse(x + 1.5, y + 3.5, 2.2, 1.6);
            PaintOptions o;
            o.softness = 1;
            o.outlineColor = r[0];
            Paint(c, m, r, o);
        }
    }
}

// A larger thing buried in the fill.
void DecorateFill(const Theme& t, Canvas& c, bool second) {
    if (!second) {
        const Ramp& r = R(t.kind == ThemeKind::Ice ? "ice" : t.kind == ThemeKind::Castle ? "granite" : "rock");
        Mask m(32, 32);
        m.FillEllipse(15.5, 17, 7.5, 5.5);
        m.FillEllipse(11, 14, 4, 3.5);
        PaintOptions o;
        o.outlineColor = r[0];
        Paint(c, m, r, o);
        return;
    }
    switch (t.kind) {
    case ThemeKind::Meadow:
    case ThemeKind::Castle: { // a bone
        Mask m(32, 32);
        m.FillCapsule(10, 19, 22, 13, 1.6);
        for (Point p : {Point{9, 18}, Point{10.5, 20.5}, Point{21.5, 11.5}, Point{23, 14}}) m.FillCircle(p.x, p.y, 1.7);
        PaintOptions o;
        o.softness = 1;
        Paint(c, m, R("white"), o);
        break;
    }
    case ThemeKind::Forest: { // a thick root
        Mask m(32, 32);
        m.FillTaper(0, 12, 14, 17, 2.6, 2.0);
        m.FillTaper(14, 17, 32, 14, 2.0, 2.6);
        m.FillTaper(14, 17, 20, 27, 1.6, 0.6);
        PaintOptions o;
        o.softness = 1;
        Paint(c, m, R("wood"), o);
        break;
    }
    case ThemeKind::Caves:
    case ThemeKind::Ice: { // a crystal
        const Ramp& r = R(t.kind == ThemeKind::Caves ? "purple" : "ice");
        Mask m(32, 32);
        m.FillPolygon({{12, 24}, {10, 15}, {14, 7}, {18, 15}, {16, 24}});
        m.FillPolygon({{17, 24}, {18, 13}, {22, 10}, {23, 17}, {21, 24}});
        Paint(c, m, r);
        c.Set(13, 11, r[4]), c.Set(13, 12, r[4]), c.Set(20, 14, r[4]);
        break;
    }
    }
}

} // namespace

std::vector<Canvas> BuildTileSheet(const Theme& t) {
    std::vector<Canvas> tiles(kTileCount, Canvas(32, 32));
    for (int i = 0; i < 10; ++i) {
        tiles[static_cast<size_t>(i)] = DrawTerrain(kSet[i], t.ground, t.seed);
        tiles[static_cast<size_t>(30 + i)] = DrawTerrain(kSet[i], t.block, t.seed + 1);
    }
    for (int i = 0; i < 6; ++i) tiles[static_cast<size_t>(10 + i)] = DrawTerrain(kExtras[i], t.ground, t.seed);
    for (int i = 0; i < 4; ++i) tiles[static_cast<size_t>(20 + i)] = DrawTerrain(kSlopes[i], t.ground, t.seed);
    tiles[16] = tiles[1];
    DecorateTop(t, tiles[16], true);
    tiles[17] = tiles[1];
    DecorateTop(t, tiles[17], false);
    tiles[18] = tiles[4];
    DecorateFill(t, tiles[18], false);
    tiles[19] = tiles[4];
    DecorateFill(t, tiles[19], true);
    DrawDecorations(t, tiles);
    DrawDistance(t, tiles);
    DrawAnimated(t, tiles);
    return tiles;
}

void AddTileGenerators(GeneratorTable& table) {
    table["tiles"] = [](const ItemSpec& s) {
        if (s.Width != 32 || s.Height != 32 || s.Frames != kTileCount)
            throw varnok::EConvertError("a tile sheet has " + std::to_string(kTileCount) + " tiles of 32x32");
        return BuildTileSheet(ThemeByName(s.Arg));
    };
}

} // namespace artgen
