// The level loader against small level files written by the tests: layer
// order, the comma and pair rules of the data sections, data that does not
// fit, and the start-up conversion in a temporary program folder.
#include "common/Paths.h"
#include "level/Dib.h"
#include "level/ImageList.h"
#include "level/TSINI.h"
#include "tests/support/TestSupport.h"

#include "common/DebugLog.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace varnok;
using varnok::test::TempDir;
using varnok::test::WriteFileBytes;

namespace {

class LevelLoaderTest : public ::testing::Test {
  protected:
    // A plain store over the given text.
    const TMemIniFileCrypted& Store(const std::string& text) {
        WriteFileBytes(dir_ / "LEVEL.INI", text);
        store_ = std::make_unique<TMemIniFileCrypted>(dir_ / "LEVEL.INI");
        return *store_;
    }
    // The tile codes read from a one-section store into a 6 x 1 map.
    std::vector<int16_t> Tiles(const std::string& lines) {
        TMapItem map;
        map.Resize(6, 1);
        ReadTileData(Store("[D]\n" + lines), "D", map);
        return map.TileData();
    }
    std::string ConvertError(const std::string& lines) {
        try {
            Tiles(lines);
        } catch (const EConvertError& e) {
            return e.Message();
        }
        return "no error";
    }

    TempDir dir_;
    std::unique_ptr<TMemIniFileCrypted> store_;
    TLevelData level_;
};

using Codes = std::vector<int16_t>;

} // namespace

TEST_F(LevelLoaderTest, LayersKeepAscendingOrderWhenSomeAreMissing) {
    const auto& store = Store("[Level2]\nLayerCount=3\nTileWidth=32\nTransparentR=511\n"
                              "[Level2Layer1]\nRows=2\nCols=1\nScrollX=-30\n[Level2Layer1Data]\n1,2\n"
                              "[Level2Layer1Bound]\n9,9\n"
                              "[Level2Layer3]\nRows=200\nCols=15\n[Level2Layer3Bound]\n0x0501,2\n"
                              "[Level2Layer5]\nRows=2\nCols=2\nScrollY=0\n");
    ASSERT_TRUE(LoadLevel(store, 2, level_));
    const TTileSetItem& set = level_.CurrentTileSet;
    EXPECT_EQ(set.Name, "Level2");
    EXPECT_EQ(set.TileWidth, 32);
    EXPECT_EQ(set.TransparentR, 255); // low 8 bits
    ASSERT_EQ(set.Maps.Count(), 3);
    const int32_t numbers[] = {1, 3, 5}, depths[] = {1000, 0, -800};
    for (int32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(set.Maps[i].LayerNumber, numbers[i]);
        EXPECT_EQ(set.Maps[i].Name, "Layer" + std::to_string(numbers[i]));
        EXPECT_EQ(set.Maps[i].Z, depths[i]);
    }
    EXPECT_EQ(level_.BoundLayerIndex, 1);
    EXPECT_EQ(set.Maps[0].ScrollX, -30);
    EXPECT_EQ(set.Maps[0].ScrollY, 1); // default
    EXPECT_EQ(set.Maps[2].ScrollY, 0);
    EXPECT_EQ(set.Maps[0].TileAt(1, 0), 2);
    EXPECT_EQ(set.Maps[0].BoundAt(0, 0), 0); // bounds belong to layer 3 only
    EXPECT_EQ(set.Maps[1].Width(), 200);     // Rows is the width
    EXPECT_EQ(set.Maps[1].Height(), 15);
    EXPECT_EQ(set.Maps[1].BoundHigh(0, 0), 5);
    EXPECT_EQ(set.Maps[1].BoundLow(1, 0), 2);
}

TEST_F(LevelLoaderTest, LayerCountZeroOrMissingPlayfield) {
    const std::string layers = "[Level1Layer3]\nRows=2\nCols=2\n[Level1SeqLength]\nLevel1Seq1=2\n"
                               "[Level1Seq1]\n3,4,5,6\n";
    level_.BoundLayerIndex = 2;
    ASSERT_TRUE(LoadLevel(Store("[Level1]\nSequenceCount=1\n" + layers), 1, level_));
    EXPECT_EQ(level_.CurrentTileSet.Maps.Count(), 0);
    EXPECT_EQ(level_.CurrentTileSet.Sequences.Count(), 1);
    EXPECT_EQ(level_.BoundLayerIndex, 2); // kept from the earlier level

    EXPECT_FALSE(
        LoadLevel(Store("[Level1]\nLayerCount=1\nSequenceCount=1\n[Level1Layer1]\nRows=1\n"), 1, level_));
    EXPECT_EQ(level_.CurrentTileSet.Maps.Count(), 0);
    EXPECT_EQ(level_.CurrentTileSet.Sequences.Count(), 0);
    EXPECT_EQ(level_.CurrentTileSet.LayerCount, 1);
}

TEST_F(LevelLoaderTest, CommaRules) {
    EXPECT_EQ(Tiles("1,2,3,\n"), (Codes{1, 2, 3, 0, 0, 0}));
    EXPECT_EQ(Tiles("1, 2\n-1\n65535,$10\n"), (Codes{1, 2, -1, -1, 16, 0})); // one index over all lines
    EXPECT_EQ(ConvertError("1,,2\n"), "'' ist kein g\xFCltiger Integerwert");
    EXPECT_EQ(ConvertError("1 ,2\n"), "'1 ' ist kein g\xFCltiger Integerwert");
    EXPECT_EQ(ConvertError(",\n"), "'' ist kein g\xFCltiger Integerwert");
}

TEST_F(LevelLoaderTest, SequencePairsAndSpeed) {
    TSequenceItem seq;
    seq.Length = 3;
    // The first line's pairs set the speed, later lines' speeds are not even read.
    ReadSequenceFrames(Store("[S]\n5,0,6,8\n7,x\n"), "S", seq);
    EXPECT_EQ(seq.Speed, 8);
    EXPECT_EQ(seq.Frames(), (Codes{5, 6, 7}));
    EXPECT_EQ(seq.FrameTile(1), 5);

    TSequenceItem zero;
    zero.Length = 2;
    ReadSequenceFrames(Store("[S]\n5,0\n"), "S", zero);
    EXPECT_EQ(zero.Speed, 10);
    TSequenceItem odd;
    odd.Length = 2;
    EXPECT_THROW(ReadSequenceFrames(Store("[S]\n5,0,6\n"), "S", odd), EConvertError);
}

TEST_F(LevelLoaderTest, DataThatDoesNotFitRejectsTheLevel) {
    const std::string head = "[Level1]\nLayerCount=1\nSequenceCount=1\n[Level1Layer3]\nRows=2\nCols=2\n";
    const std::pair<std::string, std::string> broken[] = {
        {"[Level1Layer3Data]\n1,2\n3,4,5\n", "more values than its map has cells (4)"},
        {"[Level1Layer3Bound]\n1,2,3,4,5\n", "more values than its map has cells (4)"},
        {"[Level1SeqLength]\nLevel1Seq1=1\n[Level1Seq1]\n1,1,2,1\n", "more frames than its length (1)"},
        {"[Level1Seq1]\n1,1\n", "more frames than its length (0)"},
        {"[Level1Layer5]\nRows=65535\nCols=65535\n", "too large: 65535 x 65535 cells"},
    };
    for (const auto& [sections, message] : broken) {
        try {
            LoadLevel(Store(head + sections), 1, level_);
            ADD_FAILURE() << sections << " accepted";
        } catch (const ELevelDataError& e) {
            EXPECT_NE(e.Message().find(message), std::string::npos) << e.Message();
        }
        EXPECT_EQ(level_.CurrentTileSet.Maps.Count(), 0) << sections; // nothing half-loaded
        EXPECT_EQ(level_.CurrentTileSet.Name, "");
    }
}

TEST(OpenDataFilesTest, ConvertsPlainFilesAndNeedsBothDataFiles) {
    TempDir dir;
    const std::string folder = dir.Path().string() + "/";
    // Only one plain file: nothing is converted and the data files are missing.
    WriteFileBytes(dir / "dat/Level.ini", "[Global]\nTileCount=1\n");
    try {
        OpenDataFiles(folder);
        FAIL() << "opened without data files";
    } catch (const EFatalDataError& e) {
        EXPECT_EQ(e.Message(), "Missing data files!");
    }
    EXPECT_FALSE(FileExists(ResolvePath(folder, "DAT\\LEVEL.DAT")));

    WriteFileBytes(dir / "dat/global.INI", "[Game]\nLives=3\n");
    TDataStores stores = OpenDataFiles(folder);
    ASSERT_TRUE(stores.LevelStore && stores.GlobalStore);
    EXPECT_TRUE(stores.LevelStore->Enciphered());
    EXPECT_EQ(stores.GlobalStore->GetInteger("Game", "Lives", 0), 3);
    const std::string ciphered = test::ReadFileBytes(ResolvePath(folder, "DAT\\LEVEL.DAT"));
    ASSERT_FALSE(ciphered.empty());
    EXPECT_EQ(static_cast<unsigned char>(ciphered[0]), static_cast<unsigned char>(~'['));

    // Without the plain files the enciphered ones are used as they are; a store
    // without levels then stops at the level count.
    std::filesystem::remove(ResolvePath(folder, "DAT\\LEVEL.INI"));
    TMemIniFileCrypted empty(ResolvePath(folder, "DAT\\LEVEL.DAT"));
    empty.RemoveSection("Global");
    empty.Save();
    stores = OpenDataFiles(folder);
    TLevelData level;
    level.CurrentTileSet.Maps.Add();
    try {
        CheckLevelCount(*stores.LevelStore, level);
        FAIL() << "no levels accepted";
    } catch (const EFatalDataError& e) {
        EXPECT_EQ(e.Message(), "Keine Tiles definiert!");
    }
    EXPECT_EQ(level.CurrentTileSet.Maps.Count(), 0);
}

// A plain settings file the game cannot use is not converted: random bytes
// or a file without sections never replace good settings with an empty
// store, and the debug log says what was wrong with which file. A pipe or a
// folder where a data file should be is named in the message that ends the
// game when nothing else can be used.
TEST(OpenDataFilesTest, BrokenPlainFilesAreReportedAndKeepTheGoodData) {
    TempDir dir;
    const std::string folder = dir.Path().string() + "/";
    WriteFileBytes(dir / "DAT/LEVEL.INI", "[Global]\nTileCount=1\n");
    WriteFileBytes(dir / "DAT/GLOBAL.INI", "[Game]\nLives=3\n");
    OpenDataFiles(folder);
    const std::string good = test::ReadFileBytes(dir / "DAT/GLOBAL.DAT");
    ASSERT_FALSE(good.empty());

    std::string noise(3000, '\0');
    uint32_t x = 7;
    for (char& c : noise) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    DebugLog().SetEcho(false);
    for (const std::string& broken : {noise, std::string("Lives=5\nno section here\n"), std::string()}) {
        WriteFileBytes(dir / "DAT/GLOBAL.INI", broken);
        DebugLog().Clear();
        TDataStores stores = OpenDataFiles(folder);
        EXPECT_EQ(test::ReadFileBytes(dir / "DAT/GLOBAL.DAT"), good);
        EXPECT_EQ(stores.GlobalStore->GetInteger("Game", "Lives", 0), 3);
        ASSERT_EQ(DebugLog().Lines().size(), 1u) << broken.size();
        const std::string& line = DebugLog().Lines()[0];
        EXPECT_NE(line.find("GLOBAL.INI was not converted, the existing file stays in use: it "),
                  std::string::npos)
            << line;
    }

    // A pipe in place of the plain file, and no earlier data file.
    std::filesystem::remove(dir / "DAT/GLOBAL.INI");
    std::filesystem::remove(dir / "DAT/GLOBAL.DAT");
    ASSERT_EQ(mkfifo((dir / "DAT/GLOBAL.INI").c_str(), 0600), 0);
    auto fatal = [&] {
        try {
            OpenDataFiles(folder);
        } catch (const EFatalDataError& e) {
            return e.Message();
        }
        return std::string("opened");
    };
    std::string message = fatal();
    EXPECT_EQ(message.rfind("Missing data files!", 0), 0u) << message;
    EXPECT_NE(message.find("GLOBAL.INI was not converted, and there is no earlier file"), std::string::npos)
        << message;
    EXPECT_NE(message.find("it is a pipe"), std::string::npos) << message;

    // A folder in place of the data file itself.
    std::filesystem::remove(dir / "DAT/GLOBAL.INI");
    std::filesystem::remove(dir / "DAT/LEVEL.INI");
    std::filesystem::create_directory(dir / "DAT/GLOBAL.DAT");
    message = fatal();
    EXPECT_NE(message.find("GLOBAL.DAT\": it is a folder"), std::string::npos) << message;
    DebugLog().SetEcho(true);
}

TEST(OpenDataFilesTest, ConvertsLevelBitmapsIntoImageLists) {
    TempDir dir;
    WriteFileBytes(dir / "DAT/LEVEL.INI", "[Global]\nTileCount=3\n"
                                          "[Level1]\nBitmap=gfx\\LEVEL1.BMP\nTileWidth=16\nTileHeight=8\n"
                                          "TransparentR=0x1FF\nTransparentB=7\n"
                                          "[Level3]\nBitmap=GFX\\Level3.bmp\n");
    WriteFileBytes(dir / "DAT/GLOBAL.INI", "[Game]\nLives=3\n");
    const std::string bmp = EncodeBmpFile(RgbaImage(32, 16));
    WriteFileBytes(dir / "gfx/level1.Bmp", bmp);
    WriteFileBytes(dir / "gfx/Level4.bmp", bmp);   // beyond the level count
    WriteFileBytes(dir / "gfx/LEVEL1.DXG", "old"); // the same file as GFX\Level1.dxg
    TDataStores stores = OpenDataFiles(dir.Path().string());
    TLevelData level;
    CheckLevelCount(*stores.LevelStore, level);
    EXPECT_EQ(level.LevelCount, 3);

    TPictureCollection list;
    list.LoadFromFile(dir / "gfx/LEVEL1.DXG");
    ASSERT_EQ(list.Count(), 1);
    const TPictureCollectionItem& item = list[0];
    EXPECT_EQ(item.Name(), "TileSet");
    EXPECT_EQ(item.PatternWidth, 16);
    EXPECT_EQ(item.PatternHeight, 8);
    EXPECT_TRUE(item.Transparent);
    EXPECT_EQ(item.TransparentColor(), RGB(255, 0, 7));
    EXPECT_EQ(item.Picture.Width(), 32);
    EXPECT_EQ(item.PatternCount(), 4);
    // Level 3 has no bitmap file, level 4 is not a level: neither gets a list.
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path() / "gfx"))
        files += entry.exists();
    EXPECT_EQ(files, 3);
}

// Seven maps of 4096 x 4096 cells each fit the bound per map but not the bound
// per level: the level is refused, by name, before any of it is allocated.
TEST_F(LevelLoaderTest, LevelTooLargeInAllIsRefusedWithModestMemory) {
    std::string text = "[Level4]\nLayerCount=7\n";
    for (int i = 1; i <= 7; ++i)
        text += "[Level4Layer" + std::to_string(i) + "]\nRows=4096\nCols=4096\n";
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    try {
        LoadLevel(Store(text), 4, level_);
        FAIL() << "a level of 117 million cells was loaded";
    } catch (const ELevelDataError& e) {
        EXPECT_NE(e.Message().find("Level 4"), std::string::npos) << e.Message();
    }
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 32 * 1024); // kilobytes
    EXPECT_EQ(level_.CurrentTileSet.Maps.Count(), 0);

    // One map of the largest size is still a level.
    ASSERT_TRUE(LoadLevel(Store("[Level1]\nLayerCount=1\n[Level1Layer3]\nRows=4096\nCols=4096\n"), 1, level_));
    EXPECT_EQ(level_.CurrentTileSet.Maps[0].CellCount(), kMaxLevelCells);
}

namespace {

// A program folder with one level whose bitmap converts; returns the path of
// the level's image list.
std::string TileFolder(const TempDir& dir, const std::string& levelExtra = "") {
    WriteFileBytes(dir / "DAT/LEVEL.INI",
                   "[Global]\nTileCount=1\n[Level1]\nBitmap=GFX\\Level1.bmp\nTileWidth=16\nTileHeight=16\n" +
                       levelExtra);
    WriteFileBytes(dir / "DAT/GLOBAL.INI", "[Game]\nLives=3\n");
    WriteFileBytes(dir / "GFX/Level1.bmp", EncodeBmpFile(RgbaImage(32, 16)));
    return dir / "GFX/Level1.dxg";
}

ino_t Inode(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

} // namespace

// The level image list is replaced whole: a reader of the old file keeps the
// old file, a file that already holds the result is not touched, and a kill at
// any moment of the start-up leaves a whole file behind.
TEST(OpenDataFilesTest, LevelImageListsAreReplacedWholeOrNotAtAll) {
    TempDir dir;
    const std::string dxg = TileFolder(dir);
    OpenDataFiles(dir.Path().string());
    const std::string first = test::ReadFileBytes(dxg);
    const ino_t inode = Inode(dxg);
    // Up to date: left alone, but its time is set, newer than the bitmap.
    const auto now = std::filesystem::file_time_type::clock::now();
    std::filesystem::last_write_time(dxg, now - std::chrono::hours(1));
    std::filesystem::last_write_time(dir / "GFX/Level1.bmp", now - std::chrono::minutes(1));
    OpenDataFiles(dir.Path().string());
    EXPECT_EQ(Inode(dxg), inode);
    EXPECT_GT(std::filesystem::last_write_time(dxg), std::filesystem::last_write_time(dir / "GFX/Level1.bmp"));

    const int reader = open(dxg.c_str(), O_RDONLY);
    ASSERT_GE(reader, 0);
    TileFolder(dir, "TransparentR=1\n");
    OpenDataFiles(dir.Path().string());
    EXPECT_NE(test::ReadFileBytes(dxg), first);
    std::string seen(first.size() + 1, '\0');
    EXPECT_EQ(pread(reader, seen.data(), seen.size(), 0), static_cast<ssize_t>(first.size()));
    seen.resize(first.size());
    EXPECT_EQ(seen, first);
    close(reader);

    // Kill start-ups that rewrite the file at random moments.
    for (int run = 0; run < 12; ++run) {
        const pid_t child = fork();
        if (child == 0) {
            for (int i = 0;; ++i) {
                TileFolder(dir, "TransparentR=" + std::to_string(i % 2) + "\n");
                OpenDataFiles(dir.Path().string());
            }
        }
        usleep(2000 + 1500 * run);
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        TPictureCollection list;
        EXPECT_NO_THROW(list.LoadFromFile(dxg)) << "after kill " << run;
        EXPECT_EQ(list.Count(), 1);
    }
    // The next start-up clears what the killed ones left behind.
    TileFolder(dir);
    OpenDataFiles(dir.Path().string());
    for (const char* sub : {"DAT", "GFX"})
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path() / sub))
            EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
}

// Failures of the start-up conversions are logged with what they leave in use.
TEST(OpenDataFilesTest, FailedConversionsAreLoggedAndTheOldFilesStay) {
    TempDir dir;
    const std::string dxg = TileFolder(dir);
    OpenDataFiles(dir.Path().string());
    const std::string tiles = test::ReadFileBytes(dxg);
    const std::string levelDat = test::ReadFileBytes(dir / "DAT/LEVEL.DAT");

    DebugLog().Clear();
    DebugLog().SetEcho(false);
    WriteFileBytes(dir / "GFX/Level1.bmp", "BM broken");
    WriteFileBytes(dir / "DAT/LEVEL.INI", test::ReadFileBytes(dir / "DAT/LEVEL.INI") + "[Bad]\nK=\xFF\n");
    TDataStores stores = OpenDataFiles(dir.Path().string());
    DebugLog().SetEcho(true);
    EXPECT_EQ(test::ReadFileBytes(dxg), tiles);
    EXPECT_EQ(test::ReadFileBytes(dir / "DAT/LEVEL.DAT"), levelDat);
    EXPECT_EQ(stores.LevelStore->GetInteger("Global", "TileCount", 0), 1);
    const auto& lines = DebugLog().Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("LEVEL.INI was not converted"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("[Bad]"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("Level 1: the tile bitmap was not converted"), std::string::npos) << lines[1];
    EXPECT_NE(lines[1].find("keeps its older tile file"), std::string::npos) << lines[1];
}

// Where nothing can be saved (here a file stands where the user's folder
// should be, which stops the administrator too), the conversions are held in
// memory: the stores and the level's tiles come from there, the reason is
// told once, and no file that does not exist is claimed to stay in use.
TEST(OpenDataFilesTest, ConversionsThatCannotBeSavedAreHeldInMemory) {
    TempDir dir;
    WriteFileBytes(dir / "program/DAT/LEVEL.INI",
                   "[Global]\nTileCount=1\n[Level1]\nBitmap=GFX\\Level1.bmp\nTileWidth=16\nTileHeight=16\n");
    WriteFileBytes(dir / "program/DAT/GLOBAL.INI", "[Game]\nLives=3\n");
    WriteFileBytes(dir / "program/GFX/Level1.bmp", EncodeBmpFile(RgbaImage(32, 16)));
    WriteFileBytes(dir / "blocker", "a file, not a folder");
    SetWriteFolder(dir / "blocker/varnok");
    DebugLog().Clear();
    DebugLog().SetEcho(false);
    TDataStores stores;
    EXPECT_NO_THROW(stores = OpenDataFiles(dir / "program"));
    DebugLog().SetEcho(true);
    SetWriteFolder("");
    ASSERT_TRUE(stores.LevelStore && stores.GlobalStore);
    EXPECT_EQ(stores.LevelStore->GetInteger("Global", "TileCount", 0), 1);
    EXPECT_EQ(stores.GlobalStore->GetInteger("Game", "Lives", 0), 3);
    // Bound to where it would be saved; loading it again keeps the contents.
    EXPECT_EQ(stores.GlobalStore->FileName(), dir / "blocker/varnok/DAT/GLOBAL.DAT");
    stores.GlobalStore->Reload();
    EXPECT_EQ(stores.GlobalStore->GetInteger("Game", "Lives", 0), 3);

    const std::string* tiles = KeptInMemory("gfx/LEVEL1.DXG");
    ASSERT_NE(tiles, nullptr);
    TPictureCollection list;
    list.LoadFromBytes(*tiles);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list[0].Name(), "TileSet");
    EXPECT_EQ(list[0].PatternCount(), 2);
    for (const char* written : {"program/DAT/LEVEL.DAT", "program/GFX/Level1.dxg"})
        EXPECT_FALSE(std::filesystem::exists(dir / written)) << written;

    EXPECT_EQ(stores.Notice, "Game data not saved in " + dir / "blocker/varnok/" +
                                 ": a file stands where a folder should be. Playing from a copy in memory.");
    ASSERT_EQ(DebugLog().Lines().size(), 1u) << DebugLog().Text();
    EXPECT_EQ(DebugLog().Lines()[0].rfind(stores.Notice, 0), 0u) << DebugLog().Lines()[0];

    // Files of the program's own stay in use and are not copied into memory;
    // conversions that could be saved leave no notice.
    TDataStores again = OpenDataFiles(dir / "program");
    EXPECT_EQ(again.Notice, "");
    EXPECT_EQ(KeptInMemory("GFX\\Level1.dxg"), nullptr);
    DebugLog().Clear();
    DebugLog().SetEcho(false);
    SetWriteFolder(dir / "blocker/varnok");
    again = OpenDataFiles(dir / "program");
    DebugLog().SetEcho(true);
    SetWriteFolder("");
    EXPECT_EQ(KeptInMemory("DAT\\LEVEL.DAT"), nullptr);
    EXPECT_EQ(again.LevelStore->FileName(), dir / "program/DAT/LEVEL.DAT");
    ASSERT_EQ(DebugLog().Lines().size(), 3u) << DebugLog().Text();
    EXPECT_NE(DebugLog().Lines()[0].find("the existing file stays in use"), std::string::npos);
    EXPECT_NE(DebugLog().Lines()[2].find("keeps its older tile file"), std::string::npos);
    EXPECT_EQ(again.Notice, "");
}
