// The shipped levels and settings as the build made them, read with the
// game's own loader; and the level compiler levelc run the way the build runs
// it, on good and bad sources.
#include "level/CryptedINI.h"
#include "level/ImageList.h"
#include "level/TSINI.h"

#include "levelsource/Checker.h"

#include "common/Paths.h"
#include "common/StrUtils.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sys/wait.h>
#include <vector>

using namespace varnok;
using varnok::test::TempDir;

namespace {

constexpr int kLevels = 5;       // the Level menu offers five
constexpr int kSheetTiles = 130; // tiles on each level tile sheet

std::string Built(const std::string& relative) {
    return ResolvePath(test::BinaryDir() + "/", relative);
}

// What the level population turns into an actor, or switches and paths read.
bool PopulationKnows(int tag) {
    return (tag >= 0x01 && tag <= 0x37) || (tag >= 0x40 && tag <= 0x4F) || (tag >= 0x80 && tag <= 0x85) ||
           (tag >= 0x88 && tag <= 0x9F) || (tag >= 0xB0 && tag <= 0xB5) || (tag >= 0xC0 && tag <= 0xC2) ||
           (tag >= 0xD0 && tag <= 0xD9) || (tag >= 0xE0 && tag <= 0xE2) || tag == 0xF0 || tag == 0xF1 ||
           (tag >= 0xF5 && tag <= 0xFD);
}

// The settings section an actor tag reads, or empty.
std::string SectionOf(int tag) {
    if (tag >= 0x10 && tag <= 0x1F) return Format("Trigger%02X", tag);
    if (tag >= 0x40 && tag <= 0x4F) return Format("PlatformTrigger%02X", tag);
    if ((tag >= 0x80 && tag <= 0x85) || (tag >= 0x88 && tag <= 0x8F)) return Format("Enemy%02X", tag);
    if (tag >= 0x90 && tag <= 0x9F) return Format("Platform%02X", tag);
    if (tag >= 0xB0 && tag <= 0xB5) return Format("Objects%02X", tag);
    if (tag >= 0xC0 && tag <= 0xC2) return Format("Points%02X", tag);
    if (tag >= 0xD0 && tag <= 0xD9) return Format("Badies%02X", tag);
    if (tag >= 0xE0 && tag <= 0xE2) return Format("Goodies%02X", tag);
    return {};
}

// Comma-separated values in all lines of a section.
size_t ValueCount(const TMemIniFileCrypted& store, const std::string& section) {
    std::vector<std::string> lines;
    store.GetSectionLines(section, lines);
    size_t n = 0;
    for (std::string line : lines)
        while (!line.empty()) {
            SplitFirst(line, ",");
            ++n;
        }
    return n;
}

// The shipped levels, each loaded once with the game's loader.
class ShippedLevels : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        store_ = std::make_unique<TMemIniFileCrypted>(Built("DAT\\LEVEL.INI"));
        global_ = std::make_unique<TMemIniFileCrypted>(Built("DAT\\GLOBAL.INI"));
    }
    static void TearDownTestSuite() {
        store_.reset();
        global_.reset();
    }
    // Loads level n; the playfield is then Playfield().
    void Load(int n) {
        CheckLevelCount(*store_, level_);
        ASSERT_TRUE(LoadLevel(*store_, n, level_)) << "level " << n;
    }
    const TMapItem& Playfield() const { return level_.CurrentTileSet.Maps[level_.BoundLayerIndex]; }
    // Every tag on the playfield of level n with its count.
    std::map<int, int> Tags(int n) {
        Load(n);
        std::map<int, int> tags;
        const TMapItem& map = Playfield();
        for (int y = 0; y < map.Height(); ++y)
            for (int x = 0; x < map.Width(); ++x)
                if (map.BoundHigh(x, y)) ++tags[map.BoundHigh(x, y)];
        return tags;
    }

    static std::unique_ptr<TMemIniFileCrypted> store_, global_;
    TLevelData level_;
};
std::unique_ptr<TMemIniFileCrypted> ShippedLevels::store_, ShippedLevels::global_;

TEST_F(ShippedLevels, FiveLevelsLoadWithTheirDeclaredSizes) {
    CheckLevelCount(*store_, level_);
    ASSERT_EQ(level_.LevelCount, kLevels);
    for (int n = 1; n <= kLevels; ++n) {
        SCOPED_TRACE("level " + std::to_string(n));
        Load(n);
        const TTileSetItem& set = level_.CurrentTileSet;
        EXPECT_EQ(set.TileWidth, 32);
        EXPECT_EQ(set.TileHeight, 32);
        EXPECT_TRUE(SameText(set.Bitmap, Format("GFX\\Level%d.bmp", n))) << set.Bitmap;
        ASSERT_EQ(set.LayerCount, set.Maps.Count());
        for (int i = 0; i < set.Maps.Count(); ++i) {
            const TMapItem& map = set.Maps[i];
            const std::string section = Format("Level%dLayer%d", n, map.LayerNumber);
            EXPECT_EQ(map.Width(), store_->GetInteger(section, "Rows", -1)) << section;
            EXPECT_EQ(map.Height(), store_->GetInteger(section, "Cols", -1)) << section;
            // Fewer values would leave cells silently empty.
            EXPECT_EQ(ValueCount(*store_, section + "Data"), map.CellCount()) << section;
            for (int16_t code : map.TileData()) {
                EXPECT_LE(code, kSheetTiles) << section;
                EXPECT_GE(code, -set.SequenceCount) << section;
            }
        }
        ASSERT_EQ(Playfield().LayerNumber, 3);
        EXPECT_EQ(ValueCount(*store_, Format("Level%dLayer3Bound", n)), Playfield().CellCount());
        EXPECT_GE(Playfield().Width() * 32, 640);
        EXPECT_GE(Playfield().Height() * 32, 480);
        ASSERT_EQ(set.Sequences.Count(), set.SequenceCount);
        for (int k = 0; k < set.Sequences.Count(); ++k) {
            const TSequenceItem& seq = set.Sequences[k];
            EXPECT_GE(seq.Length, 2);
            EXPECT_GT(seq.Speed, 0);
            for (int16_t frame : seq.Frames()) {
                EXPECT_GE(frame, 1);
                EXPECT_LE(frame, kSheetTiles);
            }
        }
    }
}

TEST_F(ShippedLevels, EachLevelHasOneStartOneExitAndOnlyKnownTags) {
    for (int n = 1; n <= kLevels; ++n) {
        SCOPED_TRACE("level " + std::to_string(n));
        const std::map<int, int> tags = Tags(n);
        EXPECT_EQ(tags.count(0xF0) ? tags.at(0xF0) : 0, 1);
        EXPECT_EQ(tags.count(0xF1) ? tags.at(0xF1) : 0, 1);
        for (const auto& [tag, count] : tags) {
            EXPECT_TRUE(PopulationKnows(tag)) << Format("tag 0x%02X", tag);
            // Switch targets, lock tags and platform groups need their partner.
            if (tag >= 0x20 && tag <= 0x2F) {
                EXPECT_TRUE(tags.count(tag - 0x10)) << Format("tag 0x%02X", tag);
            }
            if (tag >= 0x35 && tag <= 0x37) {
                EXPECT_TRUE(tags.count(tag - 3)) << Format("tag 0x%02X", tag);
            }
            if (tag >= 0x40 && tag <= 0x4F) {
                EXPECT_TRUE(tags.count(tag + 0x50)) << Format("tag 0x%02X", tag);
            }
        }
        // The player appears one cell right of the start, standing on something.
        const TMapItem& map = Playfield();
        for (int y = 0; y < map.Height(); ++y)
            for (int x = 0; x < map.Width(); ++x)
                if (map.BoundHigh(x, y) == 0xF0) {
                    EXPECT_NE(map.BoundLow(x + 1, y + 1), 0);
                }
    }
}

TEST_F(ShippedLevels, SettingsHoldWhatEveryLevelNeeds) {
    for (int n = 1; n <= kLevels; ++n) {
        SCOPED_TRACE("level " + std::to_string(n));
        const std::string head = Format("Level%d", n);
        EXPECT_FALSE(global_->GetString(head, "Name", "").empty());
        for (const auto& [tag, count] : Tags(n)) {
            if (tag >= 1 && tag <= 15) {
                EXPECT_FALSE(global_->GetString(head, std::to_string(tag), "").empty()) << tag;
            }
            const std::string section = SectionOf(tag);
            if (section.empty()) continue;
            EXPECT_TRUE(global_->HasSection(section)) << section;
            if (tag >= 0x10 && tag <= 0x1F) {
                EXPECT_FALSE(global_->GetString(section, "Image", "").empty()) << section;
                EXPECT_NE(global_->GetInteger(section, "TileOn", -99999), -99999) << section;
                EXPECT_NE(global_->GetInteger(section, "TileOff", -99999), -99999) << section;
            }
            if (tag >= 0x90 && tag <= 0x9F) {
                EXPECT_FALSE(global_->GetString(section, "Image", "").empty()) << section;
            }
        }
    }
    EXPECT_GE(global_->GetInteger("Player", "MaxLives", 0), global_->GetInteger("Player", "Lives", 99));
    const int start = global_->GetInteger("Game", "StartLevel", 0);
    EXPECT_TRUE(start >= 1 && start <= kLevels);
}

TEST_F(ShippedLevels, EveryModuleKeyNamesABuiltModule) {
    std::vector<std::string> sections = {"Menu", "Credits"};
    for (int n = 1; n <= kLevels; ++n)
        sections.push_back(Format("Level%d", n));
    std::set<std::string> levelModules;
    for (const std::string& section : sections) {
        const std::string name = global_->GetString(section, "MOD", "");
        ASSERT_FALSE(name.empty()) << section;
        if (section.rfind("Level", 0) == 0) levelModules.insert(UpperCase(name));
        const std::string path = Built("SND\\" + name);
        ASSERT_TRUE(FileExists(path)) << section << ": " << path;
        const std::string bytes = test::ReadFileBytes(path);
        ASSERT_GT(bytes.size(), 1084u) << path;
        EXPECT_EQ(bytes.substr(1080, 4), "M.K.") << path;
    }
    EXPECT_EQ(levelModules.size(), static_cast<size_t>(kLevels)) << "each level has its own music";
}

TEST_F(ShippedLevels, DisplaySettingsAreAWindowAt640x480And16Bits) {
    TMemIniFileCrypted display(Built("DirectX.ini"));
    EXPECT_EQ(display.GetInteger("Display", "BitCount", 0), 16);
    EXPECT_EQ(display.GetInteger("Display", "Fullscreen", -1), 0);
    EXPECT_TRUE(display.GetBool("Display", "FixedSize", false));
}

// Together the levels use everything the game can do.
TEST_F(ShippedLevels, TogetherTheLevelsUseEveryFeature) {
    std::set<std::string> seen;
    std::map<int, int> all;
    for (int n = 1; n <= kLevels; ++n) {
        for (const auto& [tag, count] : Tags(n))
            all[tag] += count;
        const TTileSetItem& set = level_.CurrentTileSet;
        if (set.SequenceCount > 0) seen.insert("sequences");
        for (int i = 0; i < set.Maps.Count(); ++i) {
            const TMapItem& map = set.Maps[i];
            if (map.ScrollX > 1) seen.insert("parallax");
            if (map.ScrollX < 0 || map.ScrollY < 0) seen.insert("drift");
            if (map.ScrollX == 0 && map.ScrollY == 0) seen.insert("fixed");
            for (int16_t code : map.TileData())
                if (code < 0) seen.insert("animated tiles");
        }
        const TMapItem& map = Playfield();
        bool pathRight = false, pathDown = false;
        for (int y = 0; y < map.Height(); ++y)
            for (int x = 0; x < map.Width(); ++x) {
                const int low = map.BoundLow(x, y), tag = map.BoundHigh(x, y);
                if (low == 1) seen.insert("one-way floor");
                if (low & 4) seen.insert("ceiling");
                if ((low & 2) || (low & 8)) seen.insert("wall");
                if (low == 0x80) seen.insert("slope up");
                if (low == 0x81) seen.insert("slope down");
                if ((low & 0x80) && map.BoundLow(x + ((low & 1) ? 1 : -1), y + 1) == low)
                    seen.insert("continuing slope");
                pathRight |= tag == 0xF5 || tag == 0xF6;
                pathDown |= tag == 0xF7 || tag == 0xF8;
            }
        if (pathRight && pathDown) seen.insert("auto-move turns");
    }
    for (const char* feature :
         {"sequences", "parallax", "drift", "fixed", "animated tiles", "one-way floor", "ceiling", "wall",
          "slope up", "slope down", "continuing slope", "auto-move turns"})
        EXPECT_TRUE(seen.count(feature)) << feature;
    auto any = [&](int lo, int hi) {
        for (int t = lo; t <= hi; ++t)
            if (all.count(t)) return true;
        return false;
    };
    EXPECT_TRUE(any(0x01, 0x0F)) << "info signs";
    EXPECT_TRUE(any(0x10, 0x1F) && any(0x20, 0x2F)) << "switches with their cells";
    EXPECT_TRUE(any(0x30, 0x30)) << "breakable blocks";
    EXPECT_TRUE(any(0x31, 0x31)) << "grates";
    EXPECT_TRUE(any(0x32, 0x34) && any(0x35, 0x37)) << "keycards and laser locks";
    EXPECT_TRUE(any(0x40, 0x4F) && any(0x90, 0x9F)) << "platform triggers and platforms";
    EXPECT_TRUE(any(0x80, 0x81) || any(0x88, 0x8F)) << "two-half walking enemies";
    EXPECT_TRUE(any(0x82, 0x83)) << "floating enemies";
    EXPECT_TRUE(any(0x84, 0x85)) << "walking enemies";
    EXPECT_TRUE(any(0xB0, 0xB5)) << "springboards";
    EXPECT_TRUE(any(0xC0, 0xC2)) << "points";
    EXPECT_TRUE(any(0xD0, 0xD8)) << "hazards";
    EXPECT_TRUE(any(0xD9, 0xD9)) << "pop-up hazards";
    EXPECT_TRUE(any(0xFA, 0xFD)) << "auto-move starts";
    bool health = false, extraLife = false;
    for (int tag = 0xE0; tag <= 0xE2; ++tag) {
        if (!all.count(tag)) continue;
        const int value = global_->GetInteger(Format("GoodiesE%X", tag & 0xF), "Health", 100);
        health |= value < 100;
        extraLife |= value >= 100;
    }
    EXPECT_TRUE(health) << "health items";
    EXPECT_TRUE(extraLife) << "extra-life items";
}

// The picture sizes the level walk-through assumes are those of the built
// pictures, and every picture the settings name exists.
TEST_F(ShippedLevels, PicturesNamedBySettingsAndSizesExist) {
    const std::string images = Built("GFX\\Images.dxg");
    if (!FileExists(images)) GTEST_SKIP() << "GFX/Images.dxg is not built";
    TPictureCollection pictures;
    pictures.LoadFromFile(images);
    const std::string sizes = test::ReadFileBytes(test::SourceDir() + "/content/levels/sprites.ini");
    size_t start = 0;
    while (start < sizes.size()) {
        size_t end = sizes.find('\n', start);
        if (end == std::string::npos) end = sizes.size();
        const std::string line = sizes.substr(start, end - start);
        start = end + 1;
        if (line.empty() || line[0] == ';') continue;
        char name[64] = {};
        int w = 0, h = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "%63s = %d %d", name, &w, &h), 3) << line;
        const int index = pictures.IndexOf(name);
        ASSERT_GE(index, 0) << name;
        EXPECT_EQ(pictures.Items(index).Width(), w) << name;
        EXPECT_EQ(pictures.Items(index).Height(), h) << name;
    }
    std::vector<std::string> sections;
    global_->GetSectionNames(sections);
    for (const std::string& section : sections) {
        const std::string image = global_->GetString(section, "Image", "");
        if (!image.empty()) {
            EXPECT_GE(pictures.IndexOf(image), 0) << section << ": " << image;
        }
    }
}

// ---- levelc on sources of the test's own

struct RunResult {
    int exitCode = -1;
    std::string output;
};

// A source tree beside a copy of the shipped settings and tile names.
class Levelc : public ::testing::Test {
  protected:
    void SetUp() override {
        namespace fs = std::filesystem;
        fs::create_directories(dir_.Path() / "levels");
        fs::copy(test::SourceDir() + "/content/settings", dir_.Path() / "settings");
        fs::copy_file(test::SourceDir() + "/content/levels/tiles.names",
                      dir_.Path() / "levels" / "tiles.names");
        fs::copy_file(test::SourceDir() + "/content/levels/sprites.ini",
                      dir_.Path() / "levels" / "sprites.ini");
    }

    // A level of the given playfield rows (without the '|'), with the legend
    // lines added to the usual ones.
    void WriteLevel(const std::vector<std::string>& rows, const std::string& legend = "",
                    const std::string& more = "") {
        std::string text = Format("[level]\nnumber = 1\nname = Test\nmusic = Level1.mod\nsize = %zu %zu\n\n",
                                  rows[0].size(), rows.size());
        text += "[legend]\n# = ground-fill bound solid\nP = . tag start\nX = . tag exit\n" + legend + "\n";
        text += more + "\n[layer 3]\n";
        headerLines_ = 0;
        for (char c : text)
            headerLines_ += c == '\n';
        for (const std::string& row : rows)
            text += "|" + row + "|\n";
        test::WriteFileBytes(dir_ / "levels/test.lvl", text);
    }
    // The source line of playfield row y.
    int RowLine(int y) const { return headerLines_ + 1 + y; }

    RunResult Run(const std::string& extra = "") {
        const std::string log = dir_ / "run.log";
        const std::string cmd = test::BinaryDir() + "/tools/levelc --levels " + (dir_ / "levels") +
                                " --settings " + (dir_ / "settings") + " --out " + (dir_ / "out") + " " +
                                extra + " >" + log + " 2>&1";
        const int status = std::system(cmd.c_str());
        RunResult r;
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.output = test::ReadFileBytes(log);
        return r;
    }
    // Runs levelc on the level and expects it to be refused with this message.
    void ExpectRefused(const std::string& message) {
        const RunResult r = Run();
        EXPECT_EQ(r.exitCode, 1) << r.output;
        EXPECT_NE(r.output.find(message), std::string::npos)
            << "expected: " << message << "\nfound: " << r.output;
        EXPECT_FALSE(std::filesystem::exists(dir_.Path() / "out" / "DAT" / "LEVEL.INI"));
    }
    bool Finishable() {
        const RunResult r = Run("--check-only");
        EXPECT_TRUE(r.exitCode == 0 || r.output.find("cannot be finished") != std::string::npos) << r.output;
        return r.exitCode == 0;
    }

    TempDir dir_;
    int headerLines_ = 0;
};

// A flat screen-sized level: rows of 24 cells, floor in rows 13 and 14.
std::vector<std::string> FlatLevel() {
    std::vector<std::string> rows(15, std::string(24, '.'));
    rows[13] = rows[14] = std::string(24, '#');
    rows[12][1] = 'P';
    rows[12][21] = 'X';
    return rows;
}

TEST_F(Levelc, CompiledLevelReadsBackThroughTheGamesLoader) {
    std::vector<std::string> rows = FlatLevel();
    rows[12].replace(5, 4, "c~1=");
    rows[11][12] = '/';
    WriteLevel(
        rows,
        "c = . tag 0xC0\n~ = ~water\n1 = . tag 1\n= = ledge-mid bound top+bottom tag 0x20\n"
        "/ = slope-up bound slope-up\ns = . tag 0x10\n",
        "[info]\n1 = Hello, sign!\n[sequence water]\nfps = 7\nframes = liquid-1 liquid-2 liquid-3\n"
        "[switch 0x10]\nimage = Switch1\nstart = on\non = ledge-mid top+bottom\noff = . none\n"
        "[layer 7]\nscroll = 0 0\nsize = 1 15\n" +
            std::string("|w|\n|w|\n|w|\n|w|\n|w|\n|w|\n|w|\n|w|\n|w|\n|w|\n|w|\n|w|\n|w|\n|w|\n|w|\n") +
            "[legend 7]\nw = sky-3\n");
    const RunResult r = Run();
    ASSERT_EQ(r.exitCode, 0) << r.output;

    TMemIniFileCrypted store(dir_ / "out/DAT/LEVEL.INI");
    TLevelData level;
    CheckLevelCount(store, level);
    EXPECT_EQ(level.LevelCount, 1);
    ASSERT_TRUE(LoadLevel(store, 1, level));
    const TTileSetItem& set = level.CurrentTileSet;
    ASSERT_EQ(set.Maps.Count(), 2);
    EXPECT_EQ(set.Maps[1].LayerNumber, 7);
    EXPECT_EQ(set.Maps[1].ScrollX, 0);
    EXPECT_EQ(set.Maps[1].Width(), 1);
    EXPECT_EQ(set.Maps[1].TileAt(0, 14), 96 + 1); // sky-3 is tile 96
    const TMapItem& field = set.Maps[level.BoundLayerIndex];
    EXPECT_EQ(field.Width(), 24);
    EXPECT_EQ(field.Height(), 15);
    EXPECT_EQ(field.TileAt(0, 13), 4 + 1); // ground-fill
    EXPECT_EQ(field.BoundAt(0, 13), 15);
    EXPECT_EQ(field.BoundAt(1, 12), 0xF000); // start
    EXPECT_EQ(field.BoundAt(5, 12), 0xC000); // coin
    EXPECT_EQ(field.TileAt(6, 12), -1);      // sequence 1
    EXPECT_EQ(field.BoundAt(7, 12), 0x0100); // info sign 1
    EXPECT_EQ(field.TileAt(8, 12), 25 + 1);  // ledge-mid
    EXPECT_EQ(field.BoundAt(8, 12), 0x2005); // switched cell, top and bottom edges
    EXPECT_EQ(field.BoundAt(12, 11), 0x0080);
    ASSERT_EQ(set.Sequences.Count(), 1);
    EXPECT_EQ(set.Sequences[0].Length, 3);
    EXPECT_EQ(set.Sequences[0].Speed, 7);
    EXPECT_EQ(set.Sequences[0].FrameTile(2), 116); // liquid-3 is tile 116

    TMemIniFileCrypted global(dir_ / "out/DAT/GLOBAL.INI");
    EXPECT_EQ(global.GetString("Level1", "Name", ""), "Test");
    EXPECT_EQ(global.GetString("Level1", "MOD", ""), "Level1.mod");
    EXPECT_EQ(global.GetString("Level1", "1", ""), "Hello, sign!");
    EXPECT_EQ(global.GetString("Trigger10", "Image", ""), "Switch1");
    EXPECT_EQ(global.GetInteger("Trigger10", "TriggerValue", -1), 1);
    EXPECT_EQ(global.GetInteger("Trigger10", "TileOn", -1), 26);
    EXPECT_EQ(global.GetInteger("Trigger10", "BoundsOn", -1), 5);
    EXPECT_EQ(global.GetInteger("Trigger10", "TileOff", -1), 0);
    EXPECT_EQ(global.GetInteger("Player", "WalkSpeed", 0), 160);
    TMemIniFileCrypted display(dir_ / "out/DirectX.ini");
    EXPECT_EQ(display.GetInteger("Display", "BitCount", 0), 16);
}

TEST_F(Levelc, RefusesMalformedMapsWithTheirPlace) {
    std::vector<std::string> rows = FlatLevel();
    rows[3].pop_back();
    WriteLevel(rows);
    ExpectRefused(
        Format("test.lvl:%d:2: error: row 3 of layer 3 has 23 cells, the layer is 24 wide", RowLine(3)));

    rows = FlatLevel();
    rows[5][7] = 'q';
    WriteLevel(rows);
    ExpectRefused(Format("test.lvl:%d:9: error: 'q' is not in the legend of layer 3", RowLine(5)));

    rows = FlatLevel();
    rows.pop_back();
    WriteLevel(rows);
    ExpectRefused("the playfield (24 x 14 cells of 32 x 32) is smaller than the 640 x 480 screen");

    WriteLevel(FlatLevel(), "g = grass-top bound solid\n");
    ExpectRefused("unknown tile 'grass-top'");

    rows = FlatLevel();
    rows[12][10] = 'z';
    WriteLevel(rows, "z = . tag 0x86\n");
    ExpectRefused(Format("test.lvl:%d:12: error: tag 0x86 means nothing to the game", RowLine(12)));

    rows = FlatLevel();
    rows[12][21] = '.';
    WriteLevel(rows);
    ExpectRefused("error: the playfield has no exit (tag 0xF1)");

    rows = FlatLevel();
    rows[12][10] = '1';
    WriteLevel(rows, "1 = . tag 1\n");
    ExpectRefused("error: info sign 1 has no text in [info]");
}

TEST_F(Levelc, RefusesLevelsThatCannotBeFinishedOrWouldTrapThePlayer) {
    // A pit too wide to jump over.
    std::vector<std::string> rows = FlatLevel();
    for (int x = 5; x < 18; ++x)
        rows[13][x] = rows[14][x] = '.';
    WriteLevel(rows);
    ExpectRefused(Format("test.lvl:%d:23: error: level 1 cannot be finished", RowLine(12)));

    // A wall edge beside the top of a slope would stop the player a pixel short.
    rows = FlatLevel();
    rows[12].replace(8, 2, "/#");
    WriteLevel(rows, "/ = slope-up bound slope-up\n");
    ExpectRefused(
        Format("test.lvl:%d:11: error: the cell right of a rising slope has a left wall edge", RowLine(12)));

    // A walking enemy over nothing would turn on the spot for ever.
    rows = FlatLevel();
    rows[8][10] = 'e';
    WriteLevel(rows, "e = . tag 0x80\n");
    ExpectRefused("error: the walking enemy 0x80 needs a floor below it");

    // The cells of a switch must show the state it starts in.
    rows = FlatLevel();
    rows[12].replace(4, 3, "s==");
    WriteLevel(rows, "s = . tag 0x10\n= = bridge-on bound top tag 0x20\n",
               "[switch 0x10]\nimage = Switch1\nstart = off\non = bridge-on top\noff = bridge-off none\n");
    ExpectRefused("error: switch 0x10 starts off: its cells must show tile code 120 with bound code 0");

    // A path that runs in a circle never lets the player go.
    rows = FlatLevel();
    rows[11].replace(3, 3, "a>^");
    rows[10].replace(4, 2, "v<");
    WriteLevel(rows, "a = . tag move-right\n> = . tag path-right\nv = . tag path-down\n^ = . tag path-up\n"
                     "< = . tag path-left\n");
    ExpectRefused("error: the auto-move path from this start runs in a circle and never ends");
}

TEST_F(Levelc, TextsBecomeLatin1AndMustFitTheFonts) {
    // UTF-8 in the sources, 8-bit text in the game's files.
    const std::string more = "[info]\n1 = Gr\xC3\xBC\xC3\x9F dich!\n";
    std::vector<std::string> rows = FlatLevel();
    rows[12][10] = '1';
    WriteLevel(rows, "1 = . tag 1\n", more);
    RunResult r = Run();
    ASSERT_EQ(r.exitCode, 0) << r.output;
    TMemIniFileCrypted global(dir_ / "out/DAT/GLOBAL.INI");
    EXPECT_EQ(global.GetString("Level1", "1", ""), "Gr\xFC\xDF dich!");

    // A character beyond Latin-1, and one the fonts lack (the info text is
    // three lines above the first map row).
    std::filesystem::remove_all(dir_.Path() / "out");
    WriteLevel(rows, "1 = . tag 1\n", "[info]\n1 = 5 \xE2\x82\xAC\n");
    ExpectRefused(Format("test.lvl:%d:7: error: character U+20AC cannot be written in the game's 8-bit texts",
                         RowLine(0) - 3));
    WriteLevel(rows, "1 = . tag 1\n", "[info]\n1 = a~b\n");
    ExpectRefused(Format("test.lvl:%d:6: error: '~' is not in the game's fonts", RowLine(0) - 3));
}

TEST_F(Levelc, RefusesLevelsThatDoNotFitTogether) {
    // Numbers must run from 1 without gaps.
    WriteLevel(FlatLevel());
    std::string text = test::ReadFileBytes(dir_ / "levels/test.lvl");
    std::string second = text;
    second.replace(second.find("number = 1"), 10, "number = 3");
    test::WriteFileBytes(dir_ / "levels/test2.lvl", second);
    ExpectRefused("levels are numbered 1 to 2 without gaps; this one is number 3");

    // The game keeps one set of switch settings for all levels.
    std::vector<std::string> rows = FlatLevel();
    rows[12][5] = 's';
    const char* sw = "[switch 0x10]\nimage = Switch1\non = bridge-on top\noff = . none\n";
    WriteLevel(rows, "s = . tag 0x10\n", sw);
    second = test::ReadFileBytes(dir_ / "levels/test.lvl");
    second.replace(second.find("number = 1"), 10, "number = 2");
    test::WriteFileBytes(dir_ / "levels/test2.lvl", second);
    ExpectRefused("error: switch 0x10 is already defined by level 1");
    std::filesystem::remove(dir_.Path() / "levels" / "test2.lvl");

    // A tag whose settings section is missing.
    rows = FlatLevel();
    rows[12][8] = 'f';
    WriteLevel(rows, "f = . tag 0xD7\n");
    ExpectRefused(
        Format("test.lvl:%d:10: error: tag 0xD7 needs a section [BadiesD7] in the settings", RowLine(12)));
}

TEST_F(Levelc, RefusesBadSettingsWithTheirPlace) {
    WriteLevel(FlatLevel());
    std::string game = test::ReadFileBytes(dir_ / "settings/game.ini");
    const size_t at = game.find("WalkSpeed=160");
    ASSERT_NE(at, std::string::npos);
    game.replace(at, 13, "WalkSpeed=fast");
    int line = 1;
    for (size_t i = 0; i < at; ++i)
        line += game[i] == '\n';
    test::WriteFileBytes(dir_ / "settings/game.ini", game);
    ExpectRefused(Format("game.ini:%d:11: error: WalkSpeed is a number from 1 to 2000", line));

    game.replace(at, 14, "WalkSped=160");
    test::WriteFileBytes(dir_ / "settings/game.ini", game);
    ExpectRefused(Format("game.ini:%d:1: error: [Player] has no key 'WalkSped'", line));

    game.replace(at, 12, "WalkSpeed=160");
    test::WriteFileBytes(dir_ / "settings/game.ini", game);
    std::string texts = test::ReadFileBytes(dir_ / "settings/texts.ini");
    texts.replace(texts.find("Pause=Pause"), 11, "Pause=Pause {1}");
    test::WriteFileBytes(dir_ / "settings/texts.ini", texts);
    ExpectRefused("error: '{' is not in the game's fonts");
}

// The walk-through follows the player's physics with the shipped settings.
TEST_F(Levelc, WalkThroughKnowsHowHighAndFarThePlayerGets) {
    const std::string game = test::ReadFileBytes(dir_ / "settings/game.ini");
    const size_t at = game.find("JumpHeight=");
    ASSERT_NE(at, std::string::npos);
    const int reachable = std::atoi(game.c_str() + at + 11) / 32; // whole cells a jump clears
    for (int height : {reachable, reachable + 1}) {
        std::vector<std::string> rows = FlatLevel();
        for (int y = 13 - height; y < 13; ++y)
            rows[y].replace(12, 12, std::string(12, '#'));
        rows[12 - height][21] = 'X';
        rows[12][21] = '#';
        WriteLevel(rows);
        EXPECT_EQ(Finishable(), height == reachable) << "a ledge " << height << " cells high";
    }
    // A springboard of 5 cells lifts the player to a ledge a jump cannot reach.
    for (bool spring : {true, false}) {
        std::vector<std::string> rows = FlatLevel();
        for (int y = 8; y < 13; ++y)
            rows[y].replace(12, 12, std::string(12, '#'));
        rows[7][20] = 'X';
        rows[12][20] = '#';
        if (spring) rows[12][10] = 's';
        WriteLevel(rows, "s = . tag 0xB0\n");
        EXPECT_EQ(Finishable(), spring) << (spring ? "with" : "without") << " a springboard";
    }
    // Walking jumps clear short pits; only running clears a pit of eight cells.
    for (const auto& [pit, running] : {std::pair{4, false}, {8, false}, {8, true}}) {
        std::vector<std::string> rows(15, std::string(30, '.'));
        rows[13] = rows[14] = std::string(30, '#');
        for (int x = 10; x < 10 + pit; ++x)
            rows[13][x] = rows[14][x] = '.';
        rows[12][1] = 'P';
        rows[12][27] = 'X';
        WriteLevel(rows);
        if (running) {
            std::string text = test::ReadFileBytes(dir_ / "levels/test.lvl");
            text.insert(text.find("\n\n"), "\nrunning = yes");
            test::WriteFileBytes(dir_ / "levels/test.lvl", text);
        }
        EXPECT_EQ(Finishable(), pit == 4 || running)
            << "pit of " << pit << (running ? " running" : " walking");
    }
}

TEST_F(Levelc, WalkThroughUsesKeycardsSwitchesPathsAndPlatforms) {
    // Each case: a playfield the player can finish only through the device,
    // and the same one with the device out of reach or gone.
    struct Case {
        const char* what;
        std::vector<std::string> with, without;
        const char* legend;
        const char* more;
    };
    std::vector<std::string> wall(15, std::string(30, '.'));
    wall[13] = wall[14] = std::string(30, '#');
    for (int y = 0; y < 13; ++y)
        wall[y][15] = '#';
    wall[12][1] = 'P';
    wall[12][27] = 'X';
    std::vector<std::string> key = wall, keyBehind = wall;
    key[12][15] = keyBehind[12][15] = 'L';
    key[12][5] = 'k';
    keyBehind[12][20] = 'k';
    std::vector<std::string> tube = wall, noTube = wall;
    tube[12].replace(4, 15, "a>>>>>>>>>>Z>>>");
    std::vector<std::string> pit(15, std::string(30, '.'));
    pit[13] = pit[14] = std::string(30, '#');
    for (int x = 10; x < 18; ++x)
        pit[13][x] = pit[14][x] = '.';
    pit[12][1] = 'P';
    pit[12][27] = 'X';
    std::vector<std::string> bridge = pit;
    for (int x = 10; x < 18; ++x)
        bridge[13][x] = '=';
    std::vector<std::string> noSwitch = bridge;
    bridge[12][5] = 's';
    std::vector<std::string> ferry = pit, idleFerry = pit;
    ferry[12].replace(8, 2, "tp");
    idleFerry[12][9] = 'p';
    const std::vector<Case> cases = {
        {"keycard", key, keyBehind, "k = . tag 0x32\nL = . tag 0x35\n", ""},
        {"auto-move path", tube, noTube,
         "a = . tag move-right\n> = . tag path-right\nZ = ground-fill bound solid tag path-right\n", ""},
        {"switch", bridge, noSwitch, "s = . tag 0x10\n= = bridge-off bound none tag 0x20\n",
         "[switch 0x10]\nimage = Switch1\nstart = off\non = bridge-on top\noff = bridge-off none\n"},
        {"platform trigger", ferry, idleFerry, "t = . tag 0x42\np = . tag 0x92\n", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteLevel(c.with, c.legend, c.more);
        EXPECT_TRUE(Finishable());
        WriteLevel(c.without, c.legend, c.more);
        EXPECT_FALSE(Finishable());
    }
}

// After a switch, keycard, trigger or broken block, the walk-through goes
// again only from the standing places whose walks came near the change; it
// must find what going again from every place finds, to the number of places.
TEST(WalkThrough, GoingAgainNearChangesFindsWhatGoingAgainEverywhereFinds) {
    using namespace varnok::levelc;
    namespace fs = std::filesystem;
    const std::string levels = test::SourceDir() + "/content/levels";
    Diagnostics setup;
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(test::SourceDir() + "/content/settings"))
        if (e.path().extension() == ".ini" && e.path().filename() != "DirectX.ini")
            files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    const Settings settings = ReadSettings(files, GameSettingsSchema(), setup);
    const SpriteSizes sizes = ReadSpriteSizes(levels + "/sprites.ini", setup);
    ASSERT_EQ(setup.ErrorCount(), 0u);
    for (int n = 1; n <= kLevels; ++n) {
        SCOPED_TRACE("level " + std::to_string(n));
        Diagnostics read;
        const LevelSource level = ParseLevelFile(Format("%s/level%d.lvl", levels.c_str(), n), read);
        ASSERT_EQ(read.ErrorCount(), 0u);
        Diagnostics nearDiag, allDiag;
        const WalkResult nearChanges = CheckLevel(level, settings, sizes, nearDiag, Rewalk::Affected);
        const WalkResult everywhere = CheckLevel(level, settings, sizes, allDiag, Rewalk::Everything);
        EXPECT_TRUE(nearChanges.exitReached);
        EXPECT_EQ(nearChanges.exitReached, everywhere.exitReached);
        EXPECT_EQ(nearChanges.itemsReached, everywhere.itemsReached);
        EXPECT_EQ(nearChanges.itemsTotal, everywhere.itemsTotal);
        EXPECT_EQ(nearChanges.states, everywhere.states);
        EXPECT_EQ(nearDiag.Warnings(), allDiag.Warnings());
        EXPECT_EQ(nearDiag.Errors(), allDiag.Errors());
    }
}

} // namespace
