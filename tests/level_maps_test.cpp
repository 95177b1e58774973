// Level making in Tiled, end to end: every shipped level written as a map and
// built again gives the same game data (also after the real Tiled saved it,
// as a map and through its JSON format), plays the same, and Tiled draws its
// layers with the game's pixels; a new map plays; a map saved anew is read
// again while its level runs; a map joins the player's own level list.
#include "app/LevelMaps.h"
#include "app/MainForm.h"
#include "app/MapSession.h"
#include "common/Image.h"
#include "common/Paths.h"
#include "common/StrUtils.h"
#include "level/CryptedINI.h"
#include "level/ImageList.h"
#include "level/TSINI.h"
#include "level/TSLayer.h"
#include "media/MusicPlayer.h"
#include "platform/Clock.h"
#include "sprites/PlayerSprite.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <iostream>
#include <sstream>
#include <sys/wait.h>
#include <thread>

using namespace varnok;
namespace fs = std::filesystem;

namespace {

const std::string kQt = "QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=/tmp/varnok-test-runtime ";

int Shell(const std::string& cmd) {
    std::filesystem::create_directories("/tmp/varnok-test-runtime");
    fs::permissions("/tmp/varnok-test-runtime", fs::perms::owner_all, fs::perm_options::replace);
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The tools the level maker uses; a test that needs them fails without them.
void RequireTiled() {
    ASSERT_EQ(Shell("command -v tiled >/dev/null && command -v tmxrasterizer >/dev/null"), 0)
        << "Tiled (tiled, tmxrasterizer) is not installed: scripts/setup.sh installs it";
}

std::string Levelc() {
    return test::BinaryDir() + "/tools/levelc --quiet --settings " + test::SourceDir() + "/content/settings";
}

// The level sources with every level taken from the maps in mapDir
// (levelN.tmx, or levelN.EXT as given) instead of its text.
std::string LevelsFromMaps(const test::TempDir& dir, const std::string& mapDir, const std::string& ext) {
    static int made = 0;
    const std::string levels = dir / ("levels-" + std::to_string(++made));
    fs::create_directories(levels);
    for (const auto& e : fs::directory_iterator(test::SourceDir() + "/content/levels"))
        if (e.path().extension() != ".lvl") fs::copy(e.path(), levels);
    for (const auto& e : fs::directory_iterator(mapDir)) {
        if (e.path().extension() == ".png") fs::copy(e.path(), levels, fs::copy_options::overwrite_existing);
        if (e.path().extension() == ext)
            fs::copy(e.path(), fs::path(levels) / (e.path().stem().string() + ".tmx"));
    }
    return levels;
}

class LevelMaps : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { maps_ = new test::TempDir; }
    static void TearDownTestSuite() {
        delete maps_;
        maps_ = nullptr;
    }
    // The folder of the shipped levels written as maps by the game: level n
    // (1 to 5), or every level when n is 0, each written when first asked for.
    static std::string Maps(int n = 0) {
        const std::string folder = *maps_ / "maps";
        const int first = n ? n : 1, last = n ? n : 5;
        for (int level = first; level <= last; ++level) {
            if (fs::exists(folder + "/level" + std::to_string(level) + ".tmx")) continue;
            EXPECT_EQ(Shell(test::BinaryDir() + "/varnok --export-level " + std::to_string(level) + " " +
                            folder + " >/dev/null"),
                      0)
                << "level " << level;
        }
        return folder;
    }
    // The game data as the shipped sources give it: the build made it beside
    // the game from content/levels with the same settings.
    static std::string Reference(const std::string& file) {
        const std::string ref = test::BinaryDir() + "/" + file;
        EXPECT_TRUE(fs::exists(ref)) << ref << " was not built";
        return test::ReadFileBytes(ref);
    }

    // Builds the game data from the maps and compares it with the reference.
    void ExpectSameGameData(const std::string& mapDir, const std::string& ext, const std::string& what) {
        const std::string levels = LevelsFromMaps(dir_, mapDir, ext);
        const std::string out = dir_ / ("out-" + what);
        ASSERT_EQ(Shell(Levelc() + " --levels " + levels + " --out " + out + " 2>" + (dir_ / "levelc.err")),
                  0)
            << what << ": " << test::ReadFileBytes(dir_ / "levelc.err");
        EXPECT_EQ(test::ReadFileBytes(out + "/DAT/LEVEL.INI"), Reference("DAT/LEVEL.INI")) << what;
        EXPECT_EQ(test::ReadFileBytes(out + "/DAT/GLOBAL.INI"), Reference("DAT/GLOBAL.INI")) << what;
    }

    test::TempDir dir_;
    static test::TempDir* maps_;
};
test::TempDir* LevelMaps::maps_ = nullptr;

} // namespace

TEST_F(LevelMaps, EveryShippedLevelBuildsTheSameFromItsMapAndAfterTiledSavedIt) {
    RequireTiled();
    ExpectSameGameData(Maps(), ".tmx", "exported");
    // Saved again by Tiled, as a map, and through Tiled's JSON format.
    const std::string resaved = dir_ / "resaved", json = dir_ / "json", back = dir_ / "fromjson";
    for (const std::string& d : {resaved, json, back})
        fs::create_directories(d);
    for (int n = 1; n <= 5; ++n) {
        const std::string name = "level" + std::to_string(n);
        ASSERT_EQ(Shell(kQt + "tiled --export-map " + Maps() + "/" + name + ".tmx " + resaved + "/" + name +
                        ".tmx 2>/dev/null"),
                  0);
        ASSERT_EQ(Shell(kQt + "tiled --export-map " + Maps() + "/" + name + ".tmx " + json + "/" + name +
                        ".json 2>/dev/null"),
                  0);
        ASSERT_EQ(Shell(kQt + "tiled --export-map " + json + "/" + name + ".json " + back + "/" + name +
                        ".tmx 2>/dev/null"),
                  0);
    }
    ExpectSameGameData(resaved, ".tmx", "resaved");
    ExpectSameGameData(back, ".tmx", "json");
}

TEST_F(LevelMaps, AMapAndALevelOfTheSameNumberAreRefused) {
    const std::string levels = LevelsFromMaps(dir_, Maps(), ".tmx");
    fs::copy(test::SourceDir() + "/content/levels/level2.lvl", levels);
    ASSERT_EQ(Shell(Levelc() + " --check-only --levels " + levels + " 2>" + (dir_ / "err")), 1);
    EXPECT_NE(test::ReadFileBytes(dir_ / "err").find("level 2 is given twice"), std::string::npos);
}
namespace {

struct Script {
    uint64_t Ticks = 0;
    int Level = 0;
    std::vector<uint64_t> Shots;
};

Script ReadScript(const std::string& path) {
    Script s;
    std::istringstream in(test::ReadFileBytes(path));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream w(line);
        std::string d;
        w >> d;
        uint64_t t = 0;
        if (d == "#ticks") w >> s.Ticks;
        if (d == "#level") w >> s.Level;
        if (d == "#shot" && (w >> t)) s.Shots.push_back(t);
    }
    return s;
}

} // namespace

// Each level's script, one level a test so that they run side by side.
class LevelScript : public LevelMaps, public ::testing::WithParamInterface<int> {};

TEST_P(LevelScript, PlaysTheSameOnTheMap) {
    const int n = GetParam();
    const std::string keys = test::SourceDir() + "/tests/levels/level" + std::to_string(n) + ".keys";
    Script s = ReadScript(keys);
    ASSERT_GT(s.Ticks, 0u);
    s.Shots.push_back(s.Ticks - 1);
    std::sort(s.Shots.begin(), s.Shots.end());
    s.Shots.erase(std::unique(s.Shots.begin(), s.Shots.end()), s.Shots.end());
    // A run of the script: its last state into state, its screenshots as
    // shots<tick>.png.
    auto run = [&](const std::string& state, const std::string& shots, const std::string& args) {
        std::string cmd = "--headless --ticks " + std::to_string(s.Ticks) + " --input " + keys + " --state " +
                          state + "@" + std::to_string(s.Ticks - 1);
        for (uint64_t t : s.Shots)
            cmd += " --screenshot " + shots + std::to_string(t) + ".png@" + std::to_string(t);
        const test::RunResult r = test::RunGameBinary(dir_, "", cmd + " " + args);
        EXPECT_EQ(r.exitCode, 0) << args << ": " << r.errors;
    };
    // The shipped level's run of the script, as state.json and shot<tick>.png:
    // the one the shipped-level test of this build made (CTest runs it first)
    // while the game, its data and the script are as they were then; else
    // made here.
    std::string shipped = test::SharedRun("shipped-level" + std::to_string(n), {keys});
    if (shipped.empty()) {
        shipped = dir_ / "shipped";
        fs::create_directories(shipped);
        run(shipped + "/state.json", shipped + "/shot", "--level " + std::to_string(n));
    } else {
        std::cout << "[          ] the shipped level's run: " << shipped << "\n";
    }
    run(dir_ / "map-state.json", dir_ / "map", Maps(n) + "/level" + std::to_string(n) + ".tmx");
    const std::string shippedState = test::ReadFileBytes(shipped + "/state.json");
    const std::string map = test::ReadFileBytes(dir_ / "map-state.json");
    EXPECT_EQ(test::Field(map, "GameState"), "\"5\"") << "level " << n << " reaches its summary on the map";
    for (const char* field : {"Player", "LevelPointsTotal", "LevelEnemyTotal", "LevelSeconds", "ShownScore"})
        EXPECT_EQ(test::Field(map, field), test::Field(shippedState, field)) << "level " << n << " " << field;
    for (uint64_t t : s.Shots)
        EXPECT_EQ(test::ReadFileBytes(dir_ / ("map" + std::to_string(t) + ".png")),
                  test::ReadFileBytes(shipped + "/shot" + std::to_string(t) + ".png"))
            << "level " << n << " screenshot after tick " << t;
    test::KeepForInspection(dir_ / ("map" + std::to_string(s.Ticks - 1) + ".png"),
                            "map-level" + std::to_string(n) + "-summary.png");
}
INSTANTIATE_TEST_SUITE_P(Maps, LevelScript, ::testing::Range(1, 6),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Level" + std::to_string(info.param);
                         });

namespace {

// Layer `number` of shipped level n as the game draws it, on magenta: the
// level and its tiles are loaded once; each screen is drawn by layers made
// anew, whose animated tiles start at their first picture as Tiled draws
// them (layers kept from one screen to the next show later ones).
class GameLayer {
  public:
    GameLayer(int n, int number) : number_(number), store_(test::BinaryDir() + "/DAT/LEVEL.INI") {
        EXPECT_TRUE(LoadLevel(store_, n, data_));
        const TTileSetItem& set = data_.CurrentTileSet;
        list_.SetDXDraw(&display_);
        TPictureCollectionItem& item = list_.Items.Add();
        item.SetName("TileSet");
        item.Picture.LoadFromFile(ResolvePath(test::BinaryDir(), set.Bitmap));
        item.PatternWidth = set.TileWidth;
        item.PatternHeight = set.TileHeight;
        item.Transparent = true;
        item.SetTransparentColor(RGB(set.TransparentR, set.TransparentG, set.TransparentB));
        list_.Items.Initialize();
        list_.Items.Restore();
    }
    // The screen with the camera at (camX, camY).
    RgbaImage At(int camX, int camY) {
        const TTileSetItem& set = data_.CurrentTileSet;
        platform::Surface screen{640, 480, 32};
        screen.Fill(screen.ColorMatch(RGB(255, 0, 255)));
        TSpriteEngine engine;
        engine.SetSurface(&screen);
        TScrollDelta delta;
        bool noTiles = false;
        const TLayerContext context{&set, &delta, &noTiles};
        TLayerSprites layers;
        BuildLayers(engine, set, &list_.Items.Items(0), context, layers, nullptr);
        engine.X = -camX;
        engine.Y = -camY;
        for (int i = 0; i < set.Maps.Count(); ++i)
            if (layers[static_cast<size_t>(i)].Get())
                layers[static_cast<size_t>(i)]->Hidden = set.Maps[i].LayerNumber != number_;
        engine.Draw();
        return screen.ToImage();
    }

  private:
    int number_;
    TMemIniFileCrypted store_;
    TLevelData data_;
    TFixedDisplay display_{32};
    TDXImageList list_;
};

} // namespace

TEST_F(LevelMaps, TiledDrawsTheGamesTilePixels) {
    RequireTiled();
    struct Case {
        int level, layer;
        const char* name;
    };
    for (const Case c :
         {Case{1, 3, "Layer 3 (Playfield)"}, Case{1, 4, "Layer 4 (Z-)"}, Case{4, 3, "Layer 3 (Playfield)"},
          Case{4, 2, "Layer 2 (Z+)"}, Case{5, 4, "Layer 4 (Z-)"}}) {
        const std::string png = dir_ / Format("raster%d-%d.png", c.level, c.layer);
        ASSERT_EQ(Shell(kQt + "tmxrasterizer --show-layer \"" + c.name + "\" " + Maps(c.level) + "/level" +
                        std::to_string(c.level) + ".tmx " + png + " 2>/dev/null"),
                  0);
        const RgbaImage tiled = ReadPng(png);
        ASSERT_GE(tiled.Width, 640);
        ASSERT_GE(tiled.Height, 480);
        GameLayer layer(c.level, c.layer);
        int drawn = 0, differ = 0;
        // The level screen by screen, as the camera would show it.
        for (int camY = 0; camY < tiled.Height; camY += 480)
            for (int camX = 0; camX < tiled.Width; camX += 640) {
                const int cx = std::min(camX, tiled.Width - 640), cy = std::min(camY, tiled.Height - 480);
                const RgbaImage game = layer.At(cx, cy);
                for (int y = 0; y < 480; ++y)
                    for (int x = 0; x < 640; ++x) {
                        const uint8_t* t = tiled.At(cx + x, cy + y);
                        const uint8_t* g = game.At(x, y);
                        const bool gameClear = g[0] == 255 && g[1] == 0 && g[2] == 255;
                        if (t[3] == 0) {
                            differ += !gameClear;
                            continue;
                        }
                        ++drawn;
                        differ += t[3] != 255 || t[0] != g[0] || t[1] != g[1] || t[2] != g[2];
                    }
            }
        EXPECT_GT(drawn, 2000) << "level " << c.level << " layer " << c.layer << " draws something";
        EXPECT_EQ(differ, 0) << "level " << c.level << " layer " << c.layer << ": pixels that differ";
    }
}

TEST_F(LevelMaps, ANewLevelIsReadyToPlay) {
    const std::string map = dir_ / "mine/new.tmx";
    const test::RunResult made = test::RunGameBinary(dir_, "", "--new-level " + map);
    ASSERT_EQ(made.exitCode, 0) << made.errors;
    for (const char* f : {"new.tmx", "new-tiles.png", "new-bounds.png", "new-actors.png"})
        EXPECT_TRUE(fs::exists(dir_ / (std::string("mine/") + f))) << f;
    // Start, leave the get-ready screen and walk right to the exit.
    test::WriteFileBytes(dir_ / "keys", "40 down Enter\n40 up Enter\n80 down A\n80 up A\n100 down Right\n");
    const test::RunResult played = test::RunGameBinary(dir_, "",
                                                       "--headless --ticks 900 --input " + (dir_ / "keys") +
                                                           " --state " + (dir_ / "s.json") + "@899 " + map);
    ASSERT_EQ(played.exitCode, 0) << played.errors;
    const std::string state = test::ReadFileBytes(dir_ / "s.json");
    EXPECT_EQ(test::Field(state, "GameState"), "\"5\"") << state.substr(0, 400);
    EXPECT_EQ(test::Field(state, "LevelCount"), "1");
}

TEST_F(LevelMaps, AMapWithAMistakeSaysWhereOnTheGetReadyScreen) {
    fs::create_directories(dir_ / "bad");
    std::string text = test::ReadFileBytes(Maps(1) + "/level1.tmx");
    // The exit removed: the checks name the map and the missing exit.
    const size_t exit = text.find("name=\"Exit\"");
    ASSERT_NE(exit, std::string::npos);
    const size_t start = text.rfind("<object", exit), end = text.find("/>", exit);
    text.erase(start, end + 2 - start);
    test::WriteFileBytes(dir_ / "bad/level1.tmx", text);
    for (const auto& e : fs::directory_iterator(Maps(1)))
        if (e.path().extension() == ".png") fs::copy(e.path(), dir_ / "bad");
    test::WriteFileBytes(dir_ / "keys", "40 down Enter\n40 up Enter\n");
    const test::RunResult r =
        test::RunGameBinary(dir_, "",
                            "--headless --ticks 100 --input " + (dir_ / "keys") + " --state " +
                                (dir_ / "s.json") + "@99 " + (dir_ / "bad/level1.tmx"));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.errors.find("the playfield has no exit"), std::string::npos) << r.errors;
    const std::string state = test::ReadFileBytes(dir_ / "s.json");
    EXPECT_EQ(test::Field(state, "GameState"), "\"1\"");
    EXPECT_EQ(test::Field(state, "Player"), "null");
    EXPECT_NE(state.find("the playfield has no exit"), std::string::npos) << "in the debug log";
}

namespace {

// The first gid of a tileset of a written map.
uint32_t FirstGid(const std::string& map, const std::string& tileset) {
    const size_t at = map.find("name=\"" + tileset + "\"");
    const size_t gid = map.rfind("firstgid=\"", at);
    return static_cast<uint32_t>(std::stoul(map.substr(gid + 10)));
}

// The map with one cell of a CSV layer set to a value.
std::string WithCell(const std::string& map, const std::string& layer, int index, uint32_t value) {
    const size_t begin = map.find("<data encoding=\"csv\">", map.find("name=\"" + layer + "\" width")) + 21;
    const size_t end = map.find("</data>", begin);
    std::string data = map.substr(begin, end - begin);
    size_t at = 0;
    for (int i = 0; i < index; ++i)
        at = data.find(',', at) + 1;
    while (data[at] == '\n' || data[at] == '\r')
        ++at;
    const size_t stop = data.find_first_of(",\n", at);
    data.replace(at, stop - at, std::to_string(value));
    return map.substr(0, begin) + data + map.substr(end);
}

class NoMusic final : public TMusicPlayer {
  public:
    void OpenModule(const std::string&) override {}
    void Resume() override {}
    void Halt() override {}
    void Mute() override {}
    void Unmute() override {}
};

} // namespace

// The game runs in this process on a simulated clock while the test saves the
// map anew, as Tiled does: a new file in the old one's place.
TEST_F(LevelMaps, ASavedMapIsReloadedWithThePlayerWhereHeStood) {
    const std::string folder = dir_ / "live";
    fs::create_directories(folder);
    for (const auto& e : fs::directory_iterator(Maps(1)))
        if (e.path().filename().string().rfind("level1", 0) == 0) fs::copy(e.path(), folder);
    const std::string path = folder + "/level1.tmx";
    const std::string original = test::ReadFileBytes(path);

    SetProgramFolder(test::BinaryDir());
    platform::SimulatedClock clock{10000};
    platform::ScopedClock scope{clock};
    platform::Application app{true};
    TDataStores stores = OpenDataFiles(ProgramFolder());
    TMapSession map(path);
    map.Images.LoadFromFile(DataPath("GFX\\Images.dxg"));
    ASSERT_TRUE(map.Load(*stores.LevelStore, *stores.GlobalStore, true)) << map.Error;
    TMainForm form(app, *stores.LevelStore, *stores.GlobalStore, {});
    form.MusicPlayer = std::make_unique<NoMusic>();
    form.LayerImagesFromBitmap = true;
    form.FormCreate();
    form.FormShow();
    auto tick = [&](int n) {
        for (int i = 0; i < n; ++i) {
            clock.Advance(16);
            form.Idle();
        }
    };
    auto press = [&](int key) {
        app.InjectKey(form, key, true);
        app.InjectKey(form, key, false);
    };
    tick(40);
    press(VK_RETURN);
    tick(40);
    press('A');
    tick(10);
    ASSERT_EQ(form.Game.GameState, gs::Playing);
    app.InjectKey(form, VK_RIGHT, true);
    tick(60);
    app.InjectKey(form, VK_RIGHT, false);
    tick(30);
    TPlayerSprite* player = form.World.Actors.GamePlayer.Get();
    ASSERT_NE(player, nullptr);
    const double x = player->X, y = player->Y;
    ASSERT_GT(x, 64.0);
    player->Score = 40;
    EXPECT_FALSE(map.Watch.Changed());

    // A map with a mistake: the running level stays, the debug log says why.
    std::string broken = original;
    broken.replace(broken.find("<map "), 5, "<map orientation=\"isometric\" ");
    test::WriteFileBytes(folder + "/saved.tmp", broken);
    fs::rename(folder + "/saved.tmp", path);
    ASSERT_TRUE(map.Watch.Changed());
    map.Reload(form);
    EXPECT_EQ(form.World.Actors.GamePlayer.Get(), player) << "the level was not started again";
    EXPECT_NE(form.GlobalStore.GetString("Level1", "Name", "").find("Sunny Meadow"), std::string::npos);

    // A coin more, and a new name: the level starts again where the player stood.
    std::string changed = original;
    changed.replace(changed.find("Sunny Meadow"), 12, "Sunny Mead II");
    const size_t objects = changed.find("</objectgroup>");
    changed.insert(objects, " <object id=\"900\" name=\"Coin\" gid=\"" +
                                std::to_string(FirstGid(original, "Actors") + 0xC0) +
                                "\" x=\"640\" y=\"192\" width=\"32\" height=\"32\"/>\n ");
    test::WriteFileBytes(folder + "/saved.tmp", changed);
    fs::rename(folder + "/saved.tmp", path);
    ASSERT_TRUE(map.Watch.Changed());
    const int pointsBefore = form.World.Lists.PointSprites.size();
    map.Reload(form);
    TPlayerSprite* again = form.World.Actors.GamePlayer.Get();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(form.GlobalStore.GetString("Level1", "Name", ""), "Sunny Mead II");
    EXPECT_EQ(static_cast<int>(form.World.Lists.PointSprites.size()), pointsBefore + 1);
    EXPECT_DOUBLE_EQ(again->X, x);
    EXPECT_DOUBLE_EQ(again->Y, y);
    EXPECT_EQ(again->Score, 0) << "the run starts over";
    EXPECT_EQ(form.Game.GameState, gs::Playing);

    // The player's spot walled up: back to the level's start. This time as
    // the message loop does it: checked on a thread while the game plays on.
    const int col = static_cast<int>(x) / 32, row = static_cast<int>(y) / 32;
    const std::string walled =
        WithCell(changed, "Bounds", row * 100 + col, FirstGid(original, "Bounds") + 15);
    test::WriteFileBytes(folder + "/saved.tmp", walled);
    fs::rename(folder + "/saved.tmp", path);
    map.Poll(form);
    ASSERT_TRUE(map.Checking());
    for (int i = 0; i < 60000 && map.Checking(); ++i) {
        tick(1);
        map.Poll(form);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_FALSE(map.Checking());
    TPlayerSprite* moved = form.World.Actors.GamePlayer.Get();
    ASSERT_NE(moved, nullptr);
    EXPECT_NE(moved->X, x);
    EXPECT_EQ(moved->X, (form.World.Geometry.PlayerStartCol + 1) * form.World.Geometry.CellWidth);
}

TEST_F(LevelMaps, AMapJoinsTheInstalledGamesLevels) {
    // An installed game: its folder cannot be written, the user's data folder can.
    const std::string game = dir_ / "game";
    fs::create_directories(game);
    for (const char* f : {"varnok", "DAT", "GFX", "SND", "DirectX.ini"})
        fs::copy(test::BinaryDir() + "/" + f, game + "/" + f, fs::copy_options::recursive);
    Shell("chmod -R a-w " + game);
    const std::string env = "XDG_DATA_HOME=" + (dir_ / "data") + " HOME=" + (dir_ / "home") + " ";
    auto run = [&](const std::string& args) {
        const std::string cmd = env + game + "/varnok " + args + " >" + (dir_ / "out") + " 2>&1";
        return Shell(cmd);
    };
    std::string text = test::ReadFileBytes(Maps(1) + "/level1.tmx");
    text.replace(text.find("Sunny Meadow"), 12, "My Own Field");
    fs::create_directories(dir_ / "mine");
    test::WriteFileBytes(dir_ / "mine/field.tmx", text);
    EXPECT_EQ(run("--install-level " + (dir_ / "mine/field.tmx")), 0) << test::ReadFileBytes(dir_ / "out");
    EXPECT_EQ(run("--headless --level 6 --ticks 60 --state " + (dir_ / "s.json") + "@59"), 0)
        << test::ReadFileBytes(dir_ / "out");
    std::string state;
    // Start it: the sixth level is the map.
    test::WriteFileBytes(dir_ / "keys", "40 down Enter\n40 up Enter\n");
    EXPECT_EQ(run("--headless --level 6 --ticks 100 --input " + (dir_ / "keys") + " --state " +
                  (dir_ / "s.json") + "@99"),
              0);
    state = test::ReadFileBytes(dir_ / "s.json");
    EXPECT_EQ(test::Field(state, "CurrentLevel"), "6");
    EXPECT_NE(test::Field(state, "Player"), "null") << state.substr(0, 600);
    // In place of level 2; the installed files stay as they were.
    EXPECT_EQ(run("--install-level " + (dir_ / "mine/field.tmx") + " --level 2"), 0)
        << test::ReadFileBytes(dir_ / "out");
    EXPECT_EQ(test::ReadFileBytes(game + "/DAT/LEVEL.INI"),
              test::ReadFileBytes(test::BinaryDir() + "/DAT/LEVEL.INI"));
    const std::string user = test::ReadFileBytes(dir_ / "data/varnok/DAT/GLOBAL.INI");
    EXPECT_NE(user.find("[Level2]\r\nName=My Own Field"), std::string::npos);
    EXPECT_NE(user.find("[Level6]\r\nName=My Own Field"), std::string::npos);
    // Removing the player's files brings the shipped levels back.
    for (const char* f : {"LEVEL.INI", "GLOBAL.INI", "LEVEL.DAT", "GLOBAL.DAT"})
        fs::remove(dir_ / ("data/varnok/DAT/" + std::string(f)));
    EXPECT_EQ(
        run("--headless --ticks 100 --input " + (dir_ / "keys") + " --state " + (dir_ / "s.json") + "@99"),
        0);
    EXPECT_EQ(test::Field(test::ReadFileBytes(dir_ / "s.json"), "LevelCount"), "5");
    Shell("chmod -R u+w " + game);
}
