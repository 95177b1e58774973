// The built pictures: every image the game looks up exists in GFX/Images.dxg
// with the patterns its users need, the fonts hold 68 equal glyphs, the
// credits pictures have their sizes and depths, and the level tile sheets
// match the tile catalogue. Then the art generator: its handling of bad
// sources and the pieces it draws with (shapes, shading, palette, BMP files,
// seamless textures, poses, tile joins).
#include "content/tools/artgen/Draw.h"
#include "content/tools/artgen/Hero.h"
#include "content/tools/artgen/Items.h"
#include "content/tools/artgen/Output.h"
#include "content/tools/artgen/PixelArt.h"
#include "content/tools/artgen/Raster.h"
#include "content/tools/artgen/Style.h"
#include "content/tools/artgen/Terrain.h"
#include "content/tools/artgen/TileTheme.h"

#include "common/Color.h"
#include "common/Exception.h"
#include "level/Dib.h"
#include "level/ImageList.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <sys/wait.h>

using namespace varnok;
using varnok::test::BinaryDir;
using varnok::test::SourceDir;

namespace {

struct Rgba {
    uint8_t r, g, b;
    bool operator==(const Rgba&) const = default;
};

std::unique_ptr<TPictureCollection> LoadList(const std::string& name) {
    auto list = std::make_unique<TPictureCollection>();
    list->LoadFromFile(BinaryDir() + "/GFX/" + name);
    return list;
}

const TPictureCollection& Images() {
    static std::unique_ptr<TPictureCollection> list = LoadList("Images.dxg");
    return *list;
}

// One pattern of an item as seen on the 16-bit display: which pixels are drawn.
struct Pattern {
    const TPictureCollectionItem& item;
    platform::Rect rect;
    const uint8_t* Pixel(int x, int y) const { return item.Picture.Image().At(rect.Left + x, rect.Top + y); }
    // Pixels whose 5-6-5 value equals the key's are skipped by the colour-keyed draw.
    bool Drawn(int x, int y) const {
        const uint8_t* p = Pixel(x, y);
        TColor key = item.TransparentColor();
        auto to565 = [](int r, int g, int b) { return (r >> 3) << 11 | (g >> 2) << 5 | (b >> 3); };
        return !item.Transparent || to565(p[0], p[1], p[2]) != to565(GetRValue(key), GetGValue(key), GetBValue(key));
    }
    int DrawnCount() const {
        int n = 0;
        for (int y = 0; y < rect.Height(); ++y)
            for (int x = 0; x < rect.Width(); ++x) n += Drawn(x, y);
        return n;
    }
    int LowestDrawnRow() const {
        for (int y = rect.Height() - 1; y >= 0; --y)
            for (int x = 0; x < rect.Width(); ++x)
                if (Drawn(x, y)) return y;
        return -1;
    }
    int DrawnWidth() const {
        int lo = rect.Width(), hi = -1;
        for (int y = 0; y < rect.Height(); ++y)
            for (int x = 0; x < rect.Width(); ++x)
                if (Drawn(x, y)) lo = std::min(lo, x), hi = std::max(hi, x);
        return hi < lo ? 0 : hi - lo + 1;
    }
    bool SameAs(const Pattern& o) const {
        for (int y = 0; y < rect.Height(); ++y)
            for (int x = 0; x < rect.Width(); ++x)
                if (std::memcmp(Pixel(x, y), o.Pixel(x, y), 3) != 0) return false;
        return true;
    }
};

Pattern PatternOf(const TPictureCollectionItem& item, int i) { return {item, item.PatternRects(i)}; }

struct Need {
    const char* name;
    int width, height; // stored pattern size (0: not checked)
    int minPatterns;
};

// What the screens and actors look up, with the sizes they rely on.
const Need kNeeds[] = {
    {"MENUScreen", 640, 480, 1}, {"Background", 640, 480, 1}, {"FadeInOut", 32, 32, 2}, {"Heart", 0, 0, 1},
    {"Lives", 0, 0, 1},          {"Player", 32, 48, 90},      {"PlayerDust", 0, 0, 1}, {"PlayerTrace", 0, 0, 7},
    {"F0", 0, 0, 1},             {"F1", 0, 0, 1},             {"Info", 0, 0, 1},       {"Vanish", 0, 0, 1},
    {"AutomoveStart", 0, 0, 1},  {"AutomovePlayer", 0, 0, 1}, {"30", 0, 0, 1},         {"31", 0, 0, 1},
    {"32", 0, 0, 1},             {"33", 0, 0, 1},             {"34", 0, 0, 1},         {"35", 0, 0, 1},
    {"36", 0, 0, 1},             {"37", 0, 0, 1},             {"40", 0, 0, 1},         {"8081", 0, 0, 2},
    {"8889", 0, 0, 2},           {"8A8B", 0, 0, 2},           {"8C8D", 0, 0, 2},       {"8E8F", 0, 0, 2},
    {"8283", 0, 0, 1},           {"8485", 0, 0, 1},           {"Platform1", 0, 0, 1},  {"Platform2", 0, 0, 1},
    {"Platform3", 0, 0, 1},      {"Switch1", 0, 0, 2},        {"Switch2", 0, 0, 2},    {"FONTsmall", 0, 0, 68},
    {"FONTlarge", 0, 0, 68},     {"CopyrightFont", 0, 0, 68},
};

} // namespace

TEST(ArtImages, EveryLookedUpItemExistsWithItsPatterns) {
    std::vector<std::string> names;
    for (const Need& n : kNeeds) names.push_back(n.name);
    for (const char* prefix : {"B", "C", "D", "E"})
        for (int i = 0; i <= (std::string(prefix) == "D" ? 9 : std::string(prefix) == "B" ? 5 : 2); ++i)
            names.push_back(prefix + std::to_string(i));
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const int index = Images().IndexOf(name);
        ASSERT_GE(index, 0);
        const TPictureCollectionItem& item = Images()[index];
        // Actors take their size from the stored pattern size, without falling back to the picture.
        EXPECT_GT(item.PatternWidth, 0);
        EXPECT_GT(item.PatternHeight, 0);
        EXPECT_GE(item.PatternCount(), 1);
        // No blank frame (a font's space is blank on purpose; fonts are checked below).
        if (name.find("Font") != std::string::npos || name.find("FONT") != std::string::npos) continue;
        for (int i = 0; i < item.PatternCount(); ++i) EXPECT_GT(PatternOf(item, i).DrawnCount(), 0) << "pattern " << i;
    }
    for (const Need& n : kNeeds) {
        SCOPED_TRACE(n.name);
        const TPictureCollectionItem& item = Images().Find(n.name);
        EXPECT_GE(item.PatternCount(), n.minPatterns);
        if (n.width) {
            EXPECT_EQ(item.PatternWidth, n.width);
        }
        if (n.height) {
            EXPECT_EQ(item.PatternHeight, n.height);
        }
    }
}

TEST(ArtImages, KeyedPicturesNeverUseTheKeyColourByAccident) {
    // A colour that rounds to fuchsia on the 16-bit display would be punched out.
    for (int i = 0; i < Images().Count(); ++i) {
        const TPictureCollectionItem& item = Images()[i];
        SCOPED_TRACE(item.Name());
        if (!item.Transparent) {
            EXPECT_TRUE(item.Name() == "MENUScreen" || item.Name() == "Background");
            continue;
        }
        EXPECT_EQ(item.TransparentColor(), clFuchsia);
        const RgbaImage& img = item.Picture.Image();
        int near = 0;
        for (int y = 0; y < img.Height; ++y)
            for (int x = 0; x < img.Width; ++x) {
                const uint8_t* p = img.At(x, y);
                bool exact = p[0] == 255 && p[1] == 0 && p[2] == 255;
                if (!exact && (p[0] >> 3) == 31 && (p[1] >> 2) == 0 && (p[2] >> 3) == 31) ++near;
            }
        EXPECT_EQ(near, 0);
    }
}

TEST(ArtImages, PlayerFrameGroupsStandOnTheBottomRow) {
    const TPictureCollectionItem& player = Images().Find("Player");
    // Walking and standing frames: feet on the last row, or the hero hovers or sinks.
    for (int i : {20, 25, 29, 30, 35, 39, 70, 75, 79}) EXPECT_EQ(PatternOf(player, i).LowestDrawnRow(), 47) << i;
    // Walking right and walking left are different pictures; so are the jump groups.
    EXPECT_FALSE(PatternOf(player, 20).SameAs(PatternOf(player, 30)));
    EXPECT_FALSE(PatternOf(player, 40).SameAs(PatternOf(player, 50)));
    // The kill jump spins: its frames differ from one another.
    for (int i = 81; i < 90; ++i) EXPECT_FALSE(PatternOf(player, i).SameAs(PatternOf(player, 80))) << i;
}

TEST(ArtImages, FiguresAreNotCutByTheirFrameEdges) {
    // A figure that runs out of its frame leaves coloured pixels on the frame's edge; a whole
    // figure only reaches the edge with its outline.
    const Rgba outline = [] {
        const RgbaImage& img = Images().Find("Heart").Picture.Image();
        const uint8_t* p = img.At(3, 1); // the heart's outline
        return Rgba{p[0], p[1], p[2]};
    }();
    for (const char* name : {"Player", "AutomovePlayer", "Lives", "Heart", "F0", "F1", "Info", "8081", "8889", "8A8B",
                             "8C8D", "8E8F", "8283", "8485", "32", "33", "34", "C0", "C1", "C2", "D0", "E0", "E1", "E2",
                             "B0", "B4", "B5", "Switch1", "Switch2", "40"}) {
        SCOPED_TRACE(name);
        const TPictureCollectionItem& item = Images().Find(name);
        for (int i = 0; i < item.PatternCount(); ++i) {
            Pattern pat = PatternOf(item, i);
            const int w = pat.rect.Width(), h = pat.rect.Height();
            int cut = 0;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    if ((x > 0 && x < w - 1 && y > 0 && y < h - 1) || !pat.Drawn(x, y)) continue;
                    // The bottom row may be a flat base (boots, posts standing on the ground).
                    if (y == h - 1 && x > 0 && x < w - 1) continue;
                    const uint8_t* p = pat.Pixel(x, y);
                    if (Rgba{p[0], p[1], p[2]} != outline) ++cut;
                }
            EXPECT_EQ(cut, 0) << "pattern " << i;
        }
    }
}

TEST(ArtImages, WalkersHaveTwoDifferentHalvesAndSwitchesTwoStates) {
    for (const char* name : {"8081", "8889", "8A8B", "8C8D", "8E8F", "Switch1", "Switch2"}) {
        SCOPED_TRACE(name);
        const TPictureCollectionItem& item = Images().Find(name);
        const int n = item.PatternCount();
        ASSERT_EQ(n % 2, 0);
        for (int i = 0; i < n / 2; ++i) EXPECT_FALSE(PatternOf(item, i).SameAs(PatternOf(item, i + n / 2))) << i;
    }
}

TEST(ArtImages, FadeRunsFromAlmostClearToBlack) {
    // A fade-in draws the patterns from the last to the first, a fade-out the other way.
    const TPictureCollectionItem& fade = Images().Find("FadeInOut");
    const int n = fade.PatternCount();
    int previous = -1;
    for (int i = 0; i < n; ++i) {
        int drawn = PatternOf(fade, i).DrawnCount();
        EXPECT_GT(drawn, previous) << i;
        previous = drawn;
    }
    EXPECT_LT(PatternOf(fade, 0).DrawnCount(), 32 * 32 / 4);
    EXPECT_EQ(PatternOf(fade, n - 1).DrawnCount(), 32 * 32);
}

TEST(ArtImages, SizesTheGameLaysOutByFit) {
    // Life icons are placed 38 pixels apart; the auto-move ball sits one pixel inside a 32-pixel path.
    EXPECT_LE(Images().Find("Lives").PatternWidth, 38);
    EXPECT_LE(Images().Find("AutomovePlayer").PatternWidth, 30);
    EXPECT_LE(Images().Find("AutomovePlayer").PatternHeight, 30);
    // Pop-up hazards rise Height - 8 pixels: they need more than 8.
    EXPECT_GT(Images().Find("D9").PatternHeight, 8);
}

TEST(ArtFonts, SixtyEightGlyphsOfOneSizeThatFitTheirSpacing) {
    // The spacing each font is drawn with: the score at 17, the status font at its width - 8.
    const std::pair<const char*, int> fonts[] = {{"FONTsmall", 17}, {"FONTlarge", -8}, {"CopyrightFont", 0}};
    for (auto [name, spacing] : fonts) {
        SCOPED_TRACE(name);
        const TPictureCollectionItem& font = Images().Find(name);
        ASSERT_EQ(font.PatternCount(), 68);
        const int advance = spacing > 0 ? spacing : font.PatternWidth + spacing;
        for (int i = 0; i < 68; ++i) {
            Pattern glyph = PatternOf(font, i);
            EXPECT_EQ(glyph.rect.Width(), font.PatternWidth);
            EXPECT_EQ(glyph.rect.Height(), font.PatternHeight);
            if (i == 0) {
                EXPECT_EQ(glyph.DrawnCount(), 0) << "the space";
                continue;
            }
            EXPECT_GT(glyph.DrawnCount(), 0) << "glyph " << i;
            // Letters and digits keep clear of their neighbours.
            if ((i >= 16 && i <= 25) || (i >= 33 && i <= 58)) {
                EXPECT_LE(glyph.DrawnWidth(), advance + 2) << i;
            }
        }
        // Glyphs sit at their places: I (41) is narrower than W (55), a full stop (14) smaller than A (33).
        EXPECT_LT(PatternOf(font, 41).DrawnWidth(), PatternOf(font, 55).DrawnWidth());
        EXPECT_LT(PatternOf(font, 14).DrawnCount() * 3, PatternOf(font, 33).DrawnCount());
        // Different characters look different: B (34) is not 8 (24), O (47) is not 0 (16).
        EXPECT_FALSE(PatternOf(font, 34).SameAs(PatternOf(font, 24)));
        EXPECT_FALSE(PatternOf(font, 47).SameAs(PatternOf(font, 16)));
    }
}

TEST(ArtCredits, BackgroundAndFigureHaveTheirSizesAndDepths) {
    std::unique_ptr<TPictureCollection> credits = LoadList("Credits.dxg");
    ASSERT_EQ(credits->Count(), 2);
    const TPictureCollectionItem& bg = credits->Find("CreditsBackground");
    EXPECT_EQ(bg.Index(), 0);
    EXPECT_EQ(bg.Picture.Width(), 200);
    EXPECT_EQ(bg.Picture.Height(), 201);
    EXPECT_EQ(bg.Picture.BitCount(), 24);
    EXPECT_FALSE(bg.Transparent);
    const TPictureCollectionItem& fig = credits->Find("CreditsFigure");
    EXPECT_EQ(fig.Index(), 1);
    EXPECT_EQ(fig.Picture.Width(), 704);
    EXPECT_EQ(fig.Picture.Height(), 91);
    EXPECT_EQ(fig.Picture.BitCount(), 8);
    EXPECT_EQ(fig.PatternCount(), 11);
    EXPECT_TRUE(fig.Transparent);
    EXPECT_EQ(fig.TransparentColor(), clFuchsia);
    // The background is tiled: its edges must join (no hard seam between copies).
    const RgbaImage& img = bg.Picture.Image();
    long seam = 0, inside = 0;
    for (int x = 0; x < img.Width; ++x)
        for (int c = 0; c < 3; ++c) {
            seam += std::abs(img.At(x, 0)[c] - img.At(x, img.Height - 1)[c]);
            inside += std::abs(img.At(x, 100)[c] - img.At(x, 101)[c]);
        }
    EXPECT_LE(seam, inside * 3 + 2000);
}

namespace {

struct Catalogue {
    int across = 0, rows = 0, count = 0, width = 0, height = 0;
    std::map<std::string, std::vector<int>> byBounds; // bound code -> tile indices
    std::vector<std::vector<int>> animated;           // sets of frames
};

Catalogue ReadCatalogue() {
    std::ifstream in(SourceDir() + "/content/art/tiles/CATALOGUE.md");
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string text = ss.str();
    Catalogue c;
    std::smatch m;
    if (std::regex_search(text, m, std::regex(R"((\d+) tiles per row, (\d+) rows, (\d+) tiles, (\d+) x (\d+) pixels)"))) {
        c.across = std::stoi(m[1]), c.rows = std::stoi(m[2]), c.count = std::stoi(m[3]);
        c.width = std::stoi(m[4]), c.height = std::stoi(m[5]);
    }
    // Table rows "| p | code | what | bounds |" with a single index or a range "a-b".
    std::regex row(R"(^\| (\d+)(?:-(\d+))? \| [\d-]+ \| ([^|]*) \| ([^|]*) \|)");
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!std::regex_search(line, m, row)) continue;
        int first = std::stoi(m[1]), last = m[2].matched ? std::stoi(m[2]) : first;
        std::string what = m[3], bounds = m[4];
        while (!bounds.empty() && bounds.back() == ' ') bounds.pop_back();
        for (int i = first; i <= last; ++i) c.byBounds[bounds].push_back(i);
        if (what.find("frames 1-4") != std::string::npos) {
            std::vector<int> set;
            for (int i = first; i <= last; ++i) set.push_back(i);
            c.animated.push_back(set);
        }
    }
    return c;
}

struct Sheet {
    RgbaImage image;
    int bits = 0;
    bool Drawn(int tile, int x, int y, int across) const {
        const uint8_t* p = image.At((tile % across) * 32 + x, (tile / across) * 32 + y);
        return !(p[0] == 255 && p[1] == 0 && p[2] == 255);
    }
    bool SameTile(int a, int b, int across) const {
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                if (std::memcmp(image.At((a % across) * 32 + x, (a / across) * 32 + y),
                                image.At((b % across) * 32 + x, (b / across) * 32 + y), 3) != 0)
                    return false;
        return true;
    }
};

Sheet LoadSheet(int level) {
    TDecodedPicture pic = DecodeBmpFile(test::ReadFileBytes(BinaryDir() + "/GFX/Level" + std::to_string(level) + ".bmp"));
    return {pic.Image, pic.BitCount};
}

} // namespace

TEST(ArtTiles, SheetsHaveTheCatalogueLayout) {
    const Catalogue cat = ReadCatalogue();
    ASSERT_EQ(cat.across * 32, cat.width);
    ASSERT_EQ(cat.rows * 32, cat.height);
    ASSERT_EQ(cat.across * cat.rows, cat.count);
    for (int level = 1; level <= 5; ++level) {
        SCOPED_TRACE(level);
        Sheet s = LoadSheet(level);
        EXPECT_EQ(s.bits, 24);
        EXPECT_EQ(s.image.Width, cat.width);
        EXPECT_EQ(s.image.Height, cat.height);
    }
}

TEST(ArtTiles, CollisionShapesMatchTheirBounds) {
    const Catalogue cat = ReadCatalogue();
    const std::vector<int>& solid = cat.byBounds.at("15");
    const std::vector<int>& oneWay = cat.byBounds.at("1");
    const std::vector<int>& rising = cat.byBounds.at("0x80");
    const std::vector<int>& falling = cat.byBounds.at("0x81");
    ASSERT_FALSE(solid.empty());
    ASSERT_FALSE(oneWay.empty());
    ASSERT_EQ(rising.size(), 1u);
    ASSERT_EQ(falling.size(), 1u);
    for (int level = 1; level <= 5; ++level) {
        SCOPED_TRACE(level);
        Sheet s = LoadSheet(level);
        // Solid ground and blocks fill their whole cell: the player stands on the drawn top.
        for (int t : solid)
            for (int y = 0; y < 32; ++y)
                for (int x = 0; x < 32; ++x) ASSERT_TRUE(s.Drawn(t, x, y, cat.across)) << "tile " << t;
        // One-way floors are ledges: their top row is drawn, their lower half is open.
        for (int t : oneWay) {
            int top = 0, low = 0;
            for (int x = 0; x < 32; ++x) top += s.Drawn(t, x, 1, cat.across);
            for (int y = 20; y < 32; ++y)
                for (int x = 0; x < 32; ++x) low += s.Drawn(t, x, y, cat.across);
            EXPECT_GE(top, 28) << "tile " << t;
            EXPECT_LT(low, 32 * 12 / 3) << "tile " << t;
        }
        // Slopes: the ground follows the line the player's feet follow (row 32 - x rising to
        // the right, row x rising to the left).
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                ASSERT_EQ(s.Drawn(rising[0], x, y, cat.across), x + y >= 32) << x << "," << y;
                ASSERT_EQ(s.Drawn(falling[0], x, y, cat.across), y >= x) << x << "," << y;
            }
    }
}

TEST(ArtTiles, AnimationFramesDifferAndSkyIsOpaque) {
    const Catalogue cat = ReadCatalogue();
    ASSERT_GE(cat.animated.size(), 3u);
    for (int level = 1; level <= 5; ++level) {
        SCOPED_TRACE(level);
        Sheet s = LoadSheet(level);
        for (const std::vector<int>& set : cat.animated) {
            ASSERT_EQ(set.size(), 4u);
            for (size_t i = 1; i < set.size(); ++i) EXPECT_FALSE(s.SameTile(set[0], set[i], cat.across)) << set[i];
        }
        for (int t : cat.byBounds.at("0")) {
            if (t < 90 || t > 96) continue;
            for (int y = 0; y < 32; ++y)
                for (int x = 0; x < 32; ++x) ASSERT_TRUE(s.Drawn(t, x, y, cat.across)) << "sky tile " << t;
        }
    }
}

namespace {

// Runs artgen on sources written into a temporary folder; returns its exit
// status and what it printed.
struct ToolRun {
    int status;
    std::string output;
};

ToolRun Artgen(const test::TempDir& dir) {
    const std::string out = dir / "out.txt";
    std::string cmd = BinaryDir() + "/tools/artgen " + (dir / "src") + " " + (dir / "work") + " " + (dir / "gfx") +
                      " >" + out + " 2>&1";
    int rc = std::system(cmd.c_str());
    return {WEXITSTATUS(rc), test::ReadFileBytes(out)};
}

void WriteSources(const test::TempDir& dir, const std::string& items, const std::string& pix) {
    std::filesystem::create_directories(dir / "src/sprites");
    test::WriteFileBytes(dir / "src/palette.txt", "outline #101010\nred #400000 #800000 #c00000 #ff4040 #ff8080\n");
    test::WriteFileBytes(dir / "src/items.txt", items);
    test::WriteFileBytes(dir / "src/sprites/dot.pix", pix);
}

const char* kDotPix = "size 3 2\nlegend\n. none\nr red.2\no outline\nframe\n.r.\nror\nframe\nr.r\n.o.\n";

} // namespace

TEST(ArtGenerator, BuildsAManifestThatLoadsAsAnImageList) {
    test::TempDir dir;
    WriteSources(dir, "[Images]\nDot pix:dot.pix 3x2 2\n", kDotPix);
    ToolRun r = Artgen(dir);
    ASSERT_EQ(r.status, 0) << r.output;
    std::string cmd = BinaryDir() + "/tools/dxgtool build " + (dir / "dot.dxg") + " " + (dir / "work/Images.manifest");
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    TPictureCollection list;
    list.LoadFromFile(dir / "dot.dxg");
    const TPictureCollectionItem& dot = list.Find("Dot");
    EXPECT_EQ(dot.PatternWidth, 3);
    EXPECT_EQ(dot.PatternHeight, 2);
    EXPECT_EQ(dot.PatternCount(), 2);
    EXPECT_EQ(dot.TransparentColor(), clFuchsia);
    const RgbaImage& img = dot.Picture.Image();
    ASSERT_EQ(img.Width, 6);
    EXPECT_EQ(img.At(1, 0)[0], 0xc0);                              // red.2
    EXPECT_EQ(img.At(0, 0)[0] == 255 && img.At(0, 0)[1] == 0, 1); // clear: the key colour
    EXPECT_EQ(img.At(4, 1)[0], 0x10);                             // outline, second frame
}

TEST(ArtGenerator, RejectsBadSourcesNamingFileAndLine) {
    struct Case {
        const char* items;
        const char* pix;
        const char* message;
    } cases[] = {
        {"[Images]\nDot pix:dot.pix 3x2 2\n", "size 3 2\nlegend\n. none\nframe\n...\n..\n", "dot.pix:6: row has 2 characters"},
        {"[Images]\nDot pix:dot.pix 3x2 1\n", "size 3 2\nlegend\n. none\nframe\n.x.\n...\n", "dot.pix:5: character 'x' is not in the legend"},
        {"[Images]\nDot pix:dot.pix 3x2 1\n", "size 3 2\nlegend\nr blue.2\n", "dot.pix:3: Unknown colour ramp 'blue'"},
        {"[Images]\nDot pix:dot.pix 3x2 1\n", kDotPix, "items.txt:2: Dot: drew 2 frames, the description says 1"},
        {"[Images]\nDot pix:dot.pix 4x2 2\n", kDotPix, "items.txt:2: Dot: drew a 3x2 frame, the description says 4x2"},
        {"[Images]\nDot nothing 3x2 2\n", kDotPix, "items.txt:2: no generator 'nothing'"},
        {"Dot pix:dot.pix 3x2 2\n", kDotPix, "items.txt:1: item before the first [section]"},
        {"[Images]\nDot pix:dot.pix 3by2\n", kDotPix, "items.txt:2: bad size '3by2'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        test::TempDir dir;
        WriteSources(dir, c.items, c.pix);
        ToolRun r = Artgen(dir);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
    }
}

// ---------------------------------------------------------------------------
// The generator's pieces.

namespace {

using artgen::Canvas;
using artgen::Mask;

void UseGamePalette() {
    static bool loaded = false;
    if (loaded) return;
    artgen::Pal().Load(SourceDir() + "/content/art/palette.txt");
    artgen::SetSourceDir(SourceDir() + "/content/art");
    loaded = true;
}

// The picture's opaque pixels, mirrored left to right when asked.
Mask Silhouette(const Canvas& c, bool mirrored = false) {
    Mask m(c.Width(), c.Height());
    for (int y = 0; y < c.Height(); ++y)
        for (int x = 0; x < c.Width(); ++x)
            if (c.Opaque(x, y)) m.Set(mirrored ? c.Width() - 1 - x : x, y);
    return m;
}

bool SameMask(const Mask& a, const Mask& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            if (a.Get(x, y) != b.Get(x, y)) return false;
    return true;
}

// Opaque pixels on the frame's edge that are not outline: the figure is cut there.
int CutPixels(const Canvas& c, bool allowBottom) {
    int cut = 0;
    for (int y = 0; y < c.Height(); ++y)
        for (int x = 0; x < c.Width(); ++x) {
            bool edge = x == 0 || y == 0 || x == c.Width() - 1 || (y == c.Height() - 1 && !allowBottom);
            if (edge && c.Opaque(x, y) && !(c.Get(x, y) == artgen::Outline())) ++cut;
        }
    return cut;
}

int LowestOpaqueRow(const Canvas& c) {
    for (int y = c.Height() - 1; y >= 0; --y)
        for (int x = 0; x < c.Width(); ++x)
            if (c.Opaque(x, y)) return y;
    return -1;
}

int RampIndex(const artgen::Ramp& r, artgen::Rgba c) {
    for (size_t i = 0; i < r.size(); ++i)
        if (r[i] == c) return static_cast<int>(i);
    return -1;
}

} // namespace

TEST(ArtgenRaster, ShapesCoverPixelsByTheirCentres) {
    Mask circle(12, 12);
    circle.FillCircle(5, 5, 2); // centres within 2: offsets (.5,.5) and (1.5,.5) in every quadrant
    EXPECT_EQ(circle.Count(), 12);
    EXPECT_TRUE(circle.Get(4, 4) && circle.Get(6, 5) && !circle.Get(6, 6));

    Mask rect(12, 12);
    rect.FillRect(2, 3, 4, 5);
    EXPECT_EQ(rect.Count(), 20);
    EXPECT_EQ(rect.Ring().Count(), 18);  // the 4-neighbour ring outside
    EXPECT_EQ(rect.Edge().Count(), 14);  // the border inside
    EXPECT_EQ(rect.Dilated(1).Count(), 38);
    EXPECT_FALSE(rect.Ring().Get(1, 2)); // corners are not 4-neighbours

    Mask capsule(16, 10);
    capsule.FillCapsule(2, 5, 10, 5, 1);
    EXPECT_EQ(capsule.Count(), 20); // columns 1 to 10, rows 4 and 5

    Mask triangle(10, 10);
    triangle.FillPolygon({{0, 0}, {8, 0}, {0, 8}});
    EXPECT_EQ(triangle.Count(), 36); // 8 + 7 + ... + 1

    Mask u(10, 10); // a concave outline keeps its notch open
    u.FillPolygon({{0, 0}, {3, 0}, {3, 6}, {7, 6}, {7, 0}, {10, 0}, {10, 10}, {0, 10}});
    EXPECT_FALSE(u.Get(5, 2));
    EXPECT_TRUE(u.Get(1, 2) && u.Get(8, 2) && u.Get(5, 8));

    Mask line(8, 8);
    line.Line(0, 0, 5, 3);
    EXPECT_EQ(line.Count(), 6);
    EXPECT_TRUE(line.Get(0, 0) && line.Get(5, 3));

    Mask shifted = rect.Shifted(20, 0); // outside the mask: nothing left
    EXPECT_TRUE(shifted.Empty());
}

TEST(ArtgenRaster, CanvasCopiesFlipsEnlargesAndJoinsFrames) {
    const artgen::Rgba red{200, 0, 0, 255}, blue{0, 0, 200, 255};
    Canvas c(3, 2);
    c.Set(0, 0, red);
    EXPECT_EQ(c.FlippedX().Get(2, 0), red);
    EXPECT_FALSE(c.FlippedX().Opaque(0, 0));
    Canvas big = c.Enlarged(2);
    EXPECT_EQ(big.Width(), 6);
    EXPECT_TRUE(big.Get(1, 1) == red && !big.Opaque(2, 0));
    EXPECT_EQ(c.Crop(0, 0, 1, 1).Get(0, 0), red);
    EXPECT_FALSE(c.Crop(5, 5, 1, 1).Opaque(0, 0)); // outside: clear

    Canvas dst(3, 2);
    dst.Fill(blue);
    dst.Draw(c, 0, 0); // only opaque pixels are copied
    EXPECT_EQ(dst.Get(0, 0), red);
    EXPECT_EQ(dst.Get(1, 0), blue);

    std::vector<Canvas> frames;
    for (int i = 0; i < 5; ++i) {
        Canvas f(2, 3);
        f.Set(0, 0, {static_cast<uint8_t>(i * 10), 0, 0, 255});
        frames.push_back(f);
    }
    Canvas sheet = artgen::JoinFrames(frames, 2); // rows of two: 4 x 9
    EXPECT_EQ(sheet.Width(), 4);
    EXPECT_EQ(sheet.Height(), 9);
    EXPECT_EQ(sheet.Get(2, 3).r, 30);
    EXPECT_EQ(sheet.Get(0, 6).r, 40);

    Canvas blend(2, 1);
    blend.Blend(0, 0, {255, 255, 255, 100}); // faint over nothing stays clear
    blend.Blend(1, 0, {255, 255, 255, 200});
    EXPECT_FALSE(blend.Opaque(0, 0));
    EXPECT_TRUE(blend.Opaque(1, 0));
    blend.Set(0, 0, {0, 0, 0, 255});
    blend.Blend(0, 0, {255, 255, 255, 128});
    EXPECT_NEAR(blend.Get(0, 0).r, 128, 1);

    EXPECT_EQ(artgen::Hash01(3, 4, 5), artgen::Hash01(3, 4, 5));
    for (int i = 0; i < 100; ++i) {
        double h = artgen::Hash01(i, -i, 7);
        EXPECT_TRUE(h >= 0 && h < 1);
    }
}

TEST(ArtgenStyle, PaletteReadsRampsAndNamesBadLines) {
    test::TempDir dir;
    test::WriteFileBytes(dir / "good.txt", "# comment\nred #ff0000 #00ff00 #0000ff\n\n");
    artgen::Palette p;
    p.Load(dir / "good.txt");
    EXPECT_EQ(p.Color("red.1"), (artgen::Rgba{0, 255, 0, 255}));
    EXPECT_EQ(p.Color("red"), (artgen::Rgba{0, 255, 0, 255})); // the middle shade
    EXPECT_EQ(p.Color("#0a0b0c"), (artgen::Rgba{10, 11, 12, 255}));
    EXPECT_EQ(p.Color("none").a, 0);
    EXPECT_THROW(p.Color("red.3"), varnok::EConvertError);
    EXPECT_THROW(p.Color("green.0"), varnok::EConvertError);

    auto loadError = [&](const std::string& text) {
        test::WriteFileBytes(dir / "bad.txt", text);
        artgen::Palette q;
        try {
            q.Load(dir / "bad.txt");
        } catch (const varnok::EConvertError& e) {
            return std::string(e.what());
        }
        return std::string();
    };
    EXPECT_NE(loadError("ok #000000\nbad #12345\n").find("bad.txt:2: '#12345' is not a colour"), std::string::npos);
    EXPECT_NE(loadError("lonely\n").find("bad.txt:1: ramp 'lonely' has no colours"), std::string::npos);
    EXPECT_THROW(p.Load(dir / "missing.txt"), varnok::EFileError);
}

TEST(ArtgenStyle, PaintLightsTheUpperLeftAndOutlinesOutside) {
    UseGamePalette();
    const artgen::Ramp& ramp = artgen::R("jacket");
    Canvas c(32, 32);
    Mask disc(32, 32);
    disc.FillCircle(16, 16, 10);
    artgen::Paint(c, disc, ramp);
    // Every pixel of the shape takes a shade of its ramp; the ring outside is the outline.
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            if (disc.Get(x, y)) EXPECT_GE(RampIndex(ramp, c.Get(x, y)), 0) << x << "," << y;
            else if (disc.Ring().Get(x, y)) EXPECT_EQ(c.Get(x, y), artgen::Outline());
            else EXPECT_FALSE(c.Opaque(x, y));
        }
    const int upperLeft = RampIndex(ramp, c.Get(9, 9)), lowerRight = RampIndex(ramp, c.Get(22, 22));
    const int middle = RampIndex(ramp, c.Get(16, 16));
    EXPECT_GT(upperLeft, middle);
    EXPECT_LT(lowerRight, middle);
    EXPECT_EQ(middle, 2);

    Canvas flat(32, 32);
    artgen::PaintOptions o;
    o.light = 0;
    o.outline = false;
    artgen::Paint(flat, disc, ramp, o);
    EXPECT_EQ(flat.Get(9, 9), ramp[2]);
    EXPECT_FALSE(flat.Opaque(16, 5));
}

TEST(ArtgenPixelArt, ReadsFramesLegendsAndLineEndings) {
    UseGamePalette();
    artgen::PixelArt art = artgen::ParsePixelArt(
        "# two frames\r\nsize 2 2\r\nlegend\r\n. none\r\nr red.2\r\no outline\r\nframe\r\nr.\r\n.o\r\nframe\r\noo\r\nrr\r\n",
        "test.pix");
    ASSERT_EQ(art.Frames.size(), 2u);
    EXPECT_EQ(art.Frames[0].Get(0, 0), artgen::C("red.2"));
    EXPECT_FALSE(art.Frames[0].Opaque(1, 0));
    EXPECT_EQ(art.Frames[0].Get(1, 1), artgen::Outline());
    EXPECT_EQ(art.Frames[1].Get(1, 1), artgen::C("red.2"));
    EXPECT_THROW(artgen::ParsePixelArt("size 2 2\nlegend\n. none\n", "x.pix"), varnok::EConvertError);          // no frames
    EXPECT_THROW(artgen::ParsePixelArt("legend\n. none\nframe\n..\n", "x.pix"), varnok::EConvertError);         // no size
    EXPECT_THROW(artgen::ParsePixelArt("size 2 2\nlegend\n. none\nframe\n..\n", "x.pix"), varnok::EConvertError); // short
    EXPECT_THROW(artgen::ParsePixelArt("size 0 2\n", "x.pix"), varnok::EConvertError);
}

TEST(ArtgenOutput, BmpFilesReadBackThroughTheGamesDecoder) {
    Canvas c(5, 3); // odd width: rows are padded
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) c.Set(x, y, {static_cast<uint8_t>(x * 50), static_cast<uint8_t>(y * 100), 7, 255});
    c.Set(2, 1, artgen::kClear);
    for (bool eight : {false, true}) {
        SCOPED_TRACE(eight ? "8-bit" : "24-bit");
        TDecodedPicture pic = DecodeBmpFile(eight ? artgen::EncodeBmp8(c) : artgen::EncodeBmp24(c));
        EXPECT_EQ(pic.BitCount, eight ? 8 : 24);
        ASSERT_EQ(pic.Image.Width, 5);
        ASSERT_EQ(pic.Image.Height, 3);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x) {
                const uint8_t* p = pic.Image.At(x, y);
                if (x == 2 && y == 1) {
                    EXPECT_TRUE(p[0] == 255 && p[1] == 0 && p[2] == 255); // clear becomes the key colour
                } else {
                    EXPECT_EQ(p[0], x * 50);
                    EXPECT_EQ(p[1], y * 100);
                    EXPECT_EQ(p[2], 7);
                }
            }
    }
    Canvas many(300, 1);
    for (int x = 0; x < 300; ++x) many.Set(x, 0, {static_cast<uint8_t>(x % 256), static_cast<uint8_t>(x / 256), 0, 255});
    EXPECT_THROW(artgen::EncodeBmp8(many), varnok::EConvertError);
    EXPECT_EQ(artgen::PreviewSheet(c, 1, 1, 3).Width(), 15);
}

TEST(ArtgenItems, DescriptionLinesAndOptions) {
    test::TempDir dir;
    test::WriteFileBytes(dir / "items.txt",
                         "# list\n[Images]\nA gen:arg 8x4 3 across=2 opaque bmp8  # comment\n[Levels]\nL tiles:x 32x32 130\n");
    std::vector<artgen::ItemSpec> specs = artgen::ReadItemSpecs(dir / "items.txt");
    ASSERT_EQ(specs.size(), 2u);
    EXPECT_EQ(specs[0].List, "Images");
    EXPECT_EQ(specs[0].Source, "gen");
    EXPECT_EQ(specs[0].Arg, "arg");
    EXPECT_EQ(specs[0].Width, 8);
    EXPECT_EQ(specs[0].Height, 4);
    EXPECT_EQ(specs[0].Frames, 3);
    EXPECT_EQ(specs[0].Across, 2);
    EXPECT_FALSE(specs[0].Keyed);
    EXPECT_EQ(specs[0].Format, "bmp8");
    EXPECT_EQ(specs[1].List, "Levels");
    EXPECT_EQ(specs[1].Frames, 130);
    EXPECT_TRUE(specs[1].Keyed);
    for (const char* bad : {"[Nope]\n", "[Images]\nA g 8x4 bogus\n", "[Images]\nA g 8x4 0\n", "[Images]\nA g\n",
                            "[Images]\nA g 0x4\n", "[Images]\nA g 8x4 across=0\n"}) {
        test::WriteFileBytes(dir / "bad.txt", bad);
        EXPECT_THROW(artgen::ReadItemSpecs(dir / "bad.txt"), varnok::EConvertError) << bad;
    }
}

TEST(ArtgenTerrain, TexturesRepeatEveryTile) {
    UseGamePalette();
    const artgen::Ramp& r = artgen::R("dirt");
    using artgen::Texture;
    for (Texture t : {Texture::Pebbles, Texture::Roots, Texture::Stones, Texture::Ice, Texture::Bricks, Texture::Blocks,
                      Texture::Logs}) {
        SCOPED_TRACE(static_cast<int>(t));
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                const artgen::Rgba c = artgen::TextureColor(t, r, x, y, 3);
                ASSERT_EQ(c, artgen::TextureColor(t, r, x + 32, y, 3));
                ASSERT_EQ(c, artgen::TextureColor(t, r, x, y + 32, 3));
                ASSERT_EQ(c, artgen::TextureColor(t, r, x - 64, y - 32, 3));
            }
    }
}

TEST(ArtgenTerrain, SurfaceBandFollowsTheGroundIntoNeighbouringCells) {
    UseGamePalette();
    const artgen::Theme meadow = artgen::ThemeByName("meadow");
    const artgen::Ramp& grass = artgen::R("grass");
    auto isGrass = [&](const Canvas& c, int x, int y) { return RampIndex(grass, c.Get(x, y)) >= 0; };
    Canvas top = artgen::DrawTerrain({"...", "###", "###"}, meadow.ground);
    Canvas fill = artgen::DrawTerrain({"###", "###", "###"}, meadow.ground);
    Canvas underSlope = artgen::DrawTerrain({"./#", "/##", "###"}, meadow.ground);
    for (int x = 0; x < 32; ++x) EXPECT_TRUE(isGrass(top, x, 2)) << x;
    EXPECT_FALSE(isGrass(top, 16, 20));
    int grassInFill = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) grassInFill += isGrass(fill, x, y);
    EXPECT_EQ(grassInFill, 0);
    // The slope above ends at this cell's top-left corner: its band reaches in there only.
    EXPECT_TRUE(isGrass(underSlope, 2, 1));
    EXPECT_FALSE(isGrass(underSlope, 28, 1));
    // A cell of the middle of a mass has no outline; a top-left corner is outlined on both sides.
    EXPECT_FALSE(fill.Get(0, 16) == top.Get(0, 0));
    Canvas corner = artgen::DrawTerrain({"...", ".##", ".##"}, meadow.ground);
    EXPECT_EQ(corner.Get(0, 16), corner.Get(0, 20));
    EXPECT_THROW(artgen::ThemeByName("moon"), varnok::EConvertError);
}

TEST(ArtgenTiles, SheetPiecesJoinAcrossTiles) {
    UseGamePalette();
    for (const char* name : {"meadow", "forest", "caves", "ice", "castle"}) {
        SCOPED_TRACE(name);
        const artgen::Theme theme = artgen::ThemeByName(name);
        std::vector<Canvas> t = artgen::BuildTileSheet(theme);
        ASSERT_EQ(static_cast<int>(t.size()), artgen::kTileCount);
        for (const Canvas& tile : t) ASSERT_TRUE(tile.Width() == 32 && tile.Height() == 32);
        EXPECT_TRUE(Silhouette(t[129]).Empty());
        // The liquid's waves run on from a tile's right edge into the next tile's left edge.
        for (int f = 0; f < 4; ++f) {
            auto crest = [&](int x) {
                for (int y = 0; y < 32; ++y)
                    if (t[static_cast<size_t>(110 + f)].Opaque(x, y)) return y;
                return 32;
            };
            EXPECT_LE(std::abs(crest(31) - crest(0)), 1) << "frame " << f;
        }
        // Middle pieces of one-way floors are open at both ends; ends are closed on their outer side.
        int closedMiddle = 0, closedLeftEnd = 0;
        for (int y = 2; y < 10; ++y) {
            closedMiddle += (t[25].Get(0, y) == artgen::Outline()) + (t[25].Get(31, y) == artgen::Outline());
            closedLeftEnd += t[24].Get(1, y) == artgen::Outline() || t[24].Get(0, y) == artgen::Outline();
        }
        EXPECT_EQ(closedMiddle, 0);
        EXPECT_GT(closedLeftEnd, 4);
        // A sky fade starts in the colour of the band above it and ends in the band below.
        if (theme.kind != artgen::ThemeKind::Caves) {
            int topMatch = 0, bottomMatch = 0;
            for (int x = 0; x < 32; ++x) {
                topMatch += t[91].Get(x, 0) == t[90].Get((x + 16) % 32, 20);
                bottomMatch += t[91].Get(x, 31) == t[92].Get((x + 16) % 32, 20);
            }
            EXPECT_GE(topMatch, 28);
            EXPECT_GE(bottomMatch, 28);
        }
    }
}

TEST(ArtgenHero, PosesStandOnTheGroundStayInTheFrameAndMirror) {
    UseGamePalette();
    for (int i = 0; i < 10; ++i) {
        SCOPED_TRACE(i);
        Canvas right = artgen::DrawHero(artgen::WalkPose(i / 10.0, false), 32, 48);
        Canvas left = artgen::DrawHero(artgen::WalkPose(i / 10.0, true), 32, 48);
        EXPECT_EQ(LowestOpaqueRow(right), 47);
        EXPECT_EQ(CutPixels(right, true), 0);
        // Facing left is the same figure mirrored (drawn with the light still from the left).
        EXPECT_TRUE(SameMask(Silhouette(left), Silhouette(right, true)));
        EXPECT_EQ(LowestOpaqueRow(artgen::DrawHero(artgen::StandPose(i, 10), 32, 48)), 47);
        EXPECT_EQ(CutPixels(artgen::DrawHero(artgen::JumpPose(i / 10.0, false), 32, 48), false), 0);
        EXPECT_EQ(CutPixels(artgen::DrawHero(artgen::BallPose(i * 36.0), 32, 48), false), 0);
        EXPECT_EQ(CutPixels(artgen::DrawHero(artgen::FallPose(i), 32, 48), false), 0);
    }
    // The large figure is the same hero: at twice the size it covers about four times the pixels.
    const int small = Silhouette(artgen::DrawHero(artgen::StandPose(0, 10), 32, 48)).Count();
    const int large = Silhouette(artgen::DrawHero(artgen::StandPose(0, 10), 64, 96, 2.0)).Count();
    EXPECT_NEAR(large / static_cast<double>(small), 4.0, 0.6);
}

TEST(ArtgenEnemies, WalkerHalvesAreMirrorImages) {
    UseGamePalette();
    artgen::GeneratorTable g;
    artgen::AddEnemyGenerators(g);
    for (const char* name : {"snail", "beetle", "hedgehog", "penguin", "knight"}) {
        SCOPED_TRACE(name);
        artgen::ItemSpec desc;
        desc.Width = 32;
        desc.Height = std::string(name) == "knight" ? 48 : 32;
        desc.Frames = 12;
        std::vector<Canvas> frames = g[name](desc);
        ASSERT_EQ(frames.size(), 12u);
        for (int i = 0; i < 6; ++i) EXPECT_TRUE(SameMask(Silhouette(frames[static_cast<size_t>(i)]),
                                                         Silhouette(frames[static_cast<size_t>(i + 6)], true)))
                                        << i;
        desc.Frames = 5;
        EXPECT_THROW(g[name](desc), varnok::EConvertError); // halves need an even count
    }
}

TEST(ArtgenEffects, DustStartsAtTheFeetAndFadeCoversInTheEnd) {
    UseGamePalette();
    artgen::GeneratorTable g;
    artgen::AddEffectGenerators(g);
    artgen::ItemSpec dust;
    dust.Width = 48, dust.Height = 16, dust.Frames = 6;
    std::vector<Canvas> d = g["dust"](dust);
    EXPECT_EQ(LowestOpaqueRow(d[0]), 15);
    EXPECT_GT(Silhouette(d[2]).Count(), Silhouette(d[5]).Count()); // thins out
    artgen::ItemSpec fade;
    fade.Width = fade.Height = 32, fade.Frames = 12;
    std::vector<Canvas> f = g["fade"](fade);
    EXPECT_EQ(Silhouette(f[11]).Count(), 32 * 32);
    // Ordered dither: each pattern keeps the pixels of the one before.
    for (int i = 1; i < 12; ++i) {
        Mask prev = Silhouette(f[static_cast<size_t>(i - 1)]);
        prev.Subtract(Silhouette(f[static_cast<size_t>(i)]));
        EXPECT_TRUE(prev.Empty()) << i;
    }
}

TEST(ArtgenStyle, GamePaletteRampsRunFromDarkToLight) {
    // Shading picks shades by position: a ramp out of order would light the wrong side.
    std::ifstream in(SourceDir() + "/content/art/palette.txt");
    std::string line;
    int ramps = 0;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string name, hex;
        if (!(words >> name) || name[0] == '#') continue;
        ++ramps;
        double previous = -1;
        int shades = 0;
        while (words >> hex) {
            artgen::Rgba c;
            ASSERT_TRUE(artgen::ParseHex(hex, c)) << name;
            EXPECT_FALSE(c.r > 240 && c.g < 16 && c.b > 240) << name << ": the key colour";
            const double luma = 0.299 * c.r + 0.587 * c.g + 0.114 * c.b;
            EXPECT_GT(luma, previous) << name << " shade " << shades;
            previous = luma;
            ++shades;
        }
        if (name != "outline") {
            EXPECT_EQ(shades, 5) << name;
        }
    }
    EXPECT_GT(ramps, 30);
}

TEST(ArtgenEffects, DitherMatrixUsesEveryThresholdOnce) {
    std::vector<int> seen(64, 0);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) ++seen[static_cast<size_t>(artgen::Bayer8(x, y))];
    for (int i = 0; i < 64; ++i) EXPECT_EQ(seen[static_cast<size_t>(i)], 1) << i;
    EXPECT_EQ(artgen::Bayer8(3, 5), artgen::Bayer8(11, 13)); // repeats every 8 pixels
}

TEST(ArtTiles, CatalogueDescribesEveryIndexOnce) {
    std::ifstream in(SourceDir() + "/content/art/tiles/CATALOGUE.md");
    std::string line;
    std::vector<int> count(130, 0);
    std::regex row(R"(^\| ([\d, -]+) \| ([\d, -]+) \|)");
    while (std::getline(in, line)) {
        std::smatch m;
        if (!std::regex_search(line, m, row)) continue;
        // "50, 51, 52" or "100-103": the pattern numbers, then the codes (pattern + 1).
        auto numbers = [](const std::string& text) {
            std::vector<int> out;
            std::smatch n;
            std::string rest = text;
            while (std::regex_search(rest, n, std::regex(R"((\d+)(?:-(\d+))?)"))) {
                int a = std::stoi(n[1]), b = n[2].matched ? std::stoi(n[2]) : a;
                for (int i = a; i <= b; ++i) out.push_back(i);
                rest = n.suffix();
            }
            return out;
        };
        std::vector<int> patterns = numbers(m[1]), codes = numbers(m[2]);
        ASSERT_EQ(patterns.size(), codes.size()) << line;
        for (size_t i = 0; i < patterns.size(); ++i) {
            EXPECT_EQ(codes[i], patterns[i] + 1) << line;
            ASSERT_LT(patterns[i], 130) << line;
            ++count[static_cast<size_t>(patterns[i])];
        }
    }
    for (int i = 0; i < 130; ++i) EXPECT_EQ(count[static_cast<size_t>(i)], 1) << "tile " << i;
}
