// The installed game: its layout, the desktop entry and metadata checked by
// the desktop's own validators, and a run from a read-only prefix that writes
// only into the user's folders. Also the folder rules underneath.
#include "common/Paths.h"
#include "common/StrUtils.h"
#include "common/UserFolders.h"
#include "tests/support/TestData.h"
#include "tests/support/TestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <sys/wait.h>

using namespace varnok;
using varnok::test::ReadFileBytes;
using varnok::test::TempDir;
using varnok::test::WriteFileBytes;
namespace fs = std::filesystem;

namespace {

int Shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Every file below root with its size and time of change.
std::map<std::string, std::string> Listing(const std::string& root) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        std::string what = e.is_directory() ? "dir" : std::to_string(e.file_size());
        what += " " + std::to_string(e.last_write_time().time_since_epoch().count());
        files[fs::relative(e.path(), root).string()] = what;
    }
    return files;
}

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

} // namespace

// cmake --install into a fresh prefix gives the Debian games layout, and the
// desktop entry and the AppStream metadata pass their validators.
class Installed : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        prefix_ = new TempDir;
        installResult_ =
            Shell(std::string(VARNOK_CMAKE_COMMAND) + " --install " + test::BinaryDir() + " --prefix " +
                  prefix_->Path().string() + " >" + (*prefix_ / "install.log") + " 2>&1");
        fs::remove(*prefix_ / "install.log");
    }
    static void TearDownTestSuite() {
        Shell("chmod -R u+w " + prefix_->Path().string());
        delete prefix_;
    }
    static std::string Prefix(const std::string& rel) { return *prefix_ / rel; }
    static inline TempDir* prefix_ = nullptr;
    static inline int installResult_ = -1;
};

TEST_F(Installed, LayoutDesktopEntryIconsAndMetadata) {
    ASSERT_EQ(installResult_, 0);
    for (const char* file :
         {"games/varnok", "share/games/varnok/DAT/LEVEL.INI", "share/games/varnok/DAT/GLOBAL.INI",
          "share/games/varnok/GFX/Images.dxg", "share/games/varnok/GFX/Level1.bmp",
          "share/games/varnok/SND/Sounds.dxw", "share/games/varnok/DirectX.ini",
          "share/applications/org.varnok.Varnok.desktop", "share/metainfo/org.varnok.Varnok.metainfo.xml"})
        EXPECT_TRUE(fs::is_regular_file(Prefix(file))) << file;
    // Only what the build made: nothing the game converts at start-up.
    EXPECT_FALSE(fs::exists(Prefix("share/games/varnok/DAT/LEVEL.DAT")));
    EXPECT_FALSE(fs::exists(Prefix("share/games/varnok/GFX/Level1.dxg")));
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const std::string icon =
            Prefix(Format("share/icons/hicolor/%dx%d/apps/org.varnok.Varnok.png", size, size));
        ASSERT_TRUE(fs::exists(icon)) << size;
        const std::string png = ReadFileBytes(icon);
        ASSERT_GT(png.size(), 24u);
        // The PNG header's width and height.
        auto be32 = [&](size_t at) {
            return (static_cast<uint8_t>(png[at]) << 24) | (static_cast<uint8_t>(png[at + 1]) << 16) |
                   (static_cast<uint8_t>(png[at + 2]) << 8) | static_cast<uint8_t>(png[at + 3]);
        };
        EXPECT_EQ(be32(16), size);
        EXPECT_EQ(be32(20), size);
    }
    EXPECT_EQ(Shell("desktop-file-validate " + Prefix("share/applications/org.varnok.Varnok.desktop")), 0);
    EXPECT_EQ(Shell("appstreamcli validate --no-net " +
                    Prefix("share/metainfo/org.varnok.Varnok.metainfo.xml") + " >/dev/null"),
              0);
}

// The prefix made read-only and a fresh home: a scripted start reaches the
// first level, and everything written lands in the user's data folder.
TEST_F(Installed, ReadOnlyPrefixWritesOnlyIntoTheUsersFolders) {
    ASSERT_EQ(installResult_, 0);
    ASSERT_EQ(Shell("chmod -R a-w " + prefix_->Path().string()), 0);
    const auto before = Listing(prefix_->Path().string());
    TempDir home;
    WriteFileBytes(home / "keys.txt", "60 down Enter\n61 up Enter\n130 down Space\n131 up Space\n");
    const std::string run = "cd " + home.Path().string() +
                            " && env -u XDG_DATA_HOME -u XDG_CONFIG_HOME HOME=" + (home / "home") + " " +
                            Prefix("games/varnok") +
                            " --headless --ticks 200 --input keys.txt --state state.json@199 2>err.txt";
    fs::create_directory(home / "home");
    ASSERT_EQ(Shell(run), 0) << ReadFileBytes(home / "err.txt");
    const std::string state = ReadFileBytes(home / "state.json");
    EXPECT_NE(state.find("\"GameState\": \"0\""), std::string::npos) << state;
    EXPECT_EQ(state.find("\"Player\": null"), std::string::npos);

    EXPECT_EQ(Listing(prefix_->Path().string()), before);
    std::vector<std::string> written;
    for (const auto& [path, what] : Listing(home / "home"))
        if (what.rfind("dir", 0) != 0) written.push_back(path);
    EXPECT_EQ(written, (std::vector<std::string>{
                           ".local/share/varnok/DAT/GLOBAL.DAT", ".local/share/varnok/DAT/LEVEL.DAT",
                           ".local/share/varnok/GFX/Level1.dxg", ".local/share/varnok/GFX/Level2.dxg",
                           ".local/share/varnok/GFX/Level3.dxg", ".local/share/varnok/GFX/Level4.dxg",
                           ".local/share/varnok/GFX/Level5.dxg"}));

    // The user's own copies are read first: plain settings of the user's
    // own give the player seven lives.
    std::string global = ReadFileBytes(Prefix("share/games/varnok/DAT/GLOBAL.INI"));
    const size_t lives = global.find("\nLives=3");
    ASSERT_NE(lives, std::string::npos);
    global.replace(lives, 8, "\nLives=7");
    WriteFileBytes(home / "home/.local/share/varnok/DAT/GLOBAL.INI", global);
    ASSERT_EQ(Shell(run), 0) << ReadFileBytes(home / "err.txt");
    EXPECT_NE(ReadFileBytes(home / "state.json").find("\"Lives\": 7"), std::string::npos);
    EXPECT_EQ(Listing(prefix_->Path().string()), before);
}

TEST(UserFolders, FollowTheXdgVariablesAndIgnoreRelativeOnes) {
    TempDir dir;
    ScopedEnv home("HOME", dir.Path().c_str());
    {
        ScopedEnv data("XDG_DATA_HOME", "/xdg/data");
        ScopedEnv config("XDG_CONFIG_HOME", "relative/config");
        EXPECT_EQ(UserDataFolder(), "/xdg/data/varnok/");
        EXPECT_EQ(UserConfigFolder(), dir / ".config/varnok/");
    }
    ScopedEnv data("XDG_DATA_HOME", nullptr);
    ScopedEnv config("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(UserDataFolder(), dir / ".local/share/varnok/");
    EXPECT_EQ(UserPicturesFolder(), dir / "Pictures/");
    fs::create_directories(dir / ".config");
    WriteFileBytes(dir / ".config/user-dirs.dirs",
                   "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                   "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
    EXPECT_EQ(UserPicturesFolder(), dir / "Bilder/");
    WriteFileBytes(dir / ".config/user-dirs.dirs", "XDG_PICTURES_DIR=\"/srv/pics\"\n");
    EXPECT_EQ(UserPicturesFolder(), "/srv/pics/");
    WriteFileBytes(dir / ".config/user-dirs.dirs", "XDG_PICTURES_DIR=\"broken\n");
    EXPECT_EQ(UserPicturesFolder(), dir / "Pictures/");
}

TEST(UserFolders, ReadOnlyFolderAndTheWriteFolderOverlay) {
    TempDir dir;
    const std::string program = dir / "program", user = dir / "user";
    fs::create_directories(program + "/DAT");
    WriteFileBytes(program + "/DAT/LEVEL.INI", "program");
    WriteFileBytes(program + "/DAT/GLOBAL.INI", "program");
    EXPECT_TRUE(IsWritableFolder(program));
    fs::permissions(program, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_FALSE(IsWritableFolder(program));
    EXPECT_FALSE(IsWritableFolder(dir / "missing"));

    // Without a write folder everything stays in the program folder.
    SetWriteFolder("");
    EXPECT_EQ(WritePath(program, "DAT\\LEVEL.DAT"), program + "/DAT/LEVEL.DAT");
    SetWriteFolder(user);
    EXPECT_EQ(ReadPath(program, "dat\\level.ini"), program + "/DAT/LEVEL.INI");
    const std::string target = WritePath(program, "DAT\\GLOBAL.INI");
    EXPECT_EQ(target, user + "/DAT/GLOBAL.INI");
    EXPECT_TRUE(fs::is_directory(user + "/DAT")); // made on the way
    WriteFileBytes(target, "user");
    EXPECT_EQ(ReadFileBytes(ReadPath(program, "DAT\\GLOBAL.INI")), "user");
    EXPECT_EQ(ReadFileBytes(ReadPath(program, "DAT\\LEVEL.INI")), "program");
    SetWriteFolder("");
    fs::permissions(program, fs::perms::owner_all, fs::perm_options::add);

    // An installed program finds its data through the relative path; a build
    // folder with data beside the program keeps its own.
    fs::create_directories(dir / "prefix/games");
    fs::create_directories(dir / "prefix/share/games/varnok/DAT");
    EXPECT_EQ(FindProgramFolder(dir / "prefix/games", "../share/games/varnok"),
              dir / "prefix/share/games/varnok/");
    EXPECT_EQ(FindProgramFolder(program, "../share/games/varnok"), program + "/");
    EXPECT_EQ(FindProgramFolder(dir / "nowhere", "../share/games/varnok"), dir / "nowhere/");
}

// A writable data folder works as before: the converted files go beside the
// data and nothing goes to the user's folders.
TEST(UserFolders, WritableDataFolderKeepsItsFiles) {
    TempDir dir;
    const std::string data = dir / "data";
    test::WriteTestGame(data, 1);
    fs::remove(data + "/DAT/LEVEL.DAT");
    fs::create_directory(dir / "home");
    ASSERT_EQ(Shell("env -u XDG_DATA_HOME -u XDG_CONFIG_HOME HOME=" + (dir / "home") + " " +
                    test::BinaryDir() + "/varnok --headless --ticks 5 --data " + data + " 2>/dev/null"),
              0);
    EXPECT_TRUE(fs::exists(data + "/DAT/LEVEL.DAT"));
    EXPECT_TRUE(fs::is_empty(dir / "home"));
}

// The installed game where the user's data folder cannot take the converted
// data: a file standing where the folder should be, and, where the system lets
// the test mount small file systems of its own, a read-only disk and a disk
// that holds the settings files but not the tile files. Each time the first
// level starts and plays from data held in memory, and the reason is told
// once, in plain words.
TEST_F(Installed, UnwritableUserDataFolderStillPlays) {
    ASSERT_EQ(installResult_, 0);
    ASSERT_EQ(Shell("chmod -R a-w " + prefix_->Path().string()), 0);
    TempDir home;
    fs::create_directory(home / "home");
    fs::create_directory(home / "mnt");
    WriteFileBytes(home / "keys.txt", "60 down Enter\n61 up Enter\n130 down Space\n131 up Space\n");
    // Runs the game with its data folder in dataHome, inside wrap; gives the snapshot.
    auto play = [&](const std::string& wrap, const std::string& dataHome) {
        fs::remove(home / "state.json");
        const std::string game = "env -u XDG_CONFIG_HOME HOME=" + (home / "home") +
                                 " XDG_DATA_HOME=" + dataHome + " " + Prefix("games/varnok") +
                                 " --headless --ticks 200 --input keys.txt --state state.json@199";
        EXPECT_EQ(
            Shell("cd " + home.Path().string() + " && " + Format(wrap.c_str(), game.c_str()) + " 2>err.txt"),
            0)
            << ReadFileBytes(home / "err.txt");
        return fs::exists(home / "state.json") ? ReadFileBytes(home / "state.json") : std::string();
    };
    auto expectPlaysAndTells = [](const std::string& state, const std::string& why) {
        EXPECT_NE(state.find("\"GameState\": \"0\""), std::string::npos) << state;
        EXPECT_EQ(state.find("\"Player\": null"), std::string::npos);
        const std::string notice = "Playing from a copy in memory.";
        const size_t at = state.find(notice);
        ASSERT_NE(at, std::string::npos) << state;
        EXPECT_EQ(state.find(notice, at + 1), std::string::npos) << "told more than once";
        EXPECT_NE(state.find(why), std::string::npos) << state;
        EXPECT_EQ(state.find("No such file or directory"), std::string::npos) << state;
        EXPECT_EQ(state.find("stays in use"), std::string::npos) << state;
    };
    const auto before = Listing(prefix_->Path().string());

    WriteFileBytes(home / "blocker", "");
    expectPlaysAndTells(play("%s", home / "blocker"), "a file stands where a folder should be");

    if (Shell("unshare -rm sh -c 'mount -t tmpfs tmpfs " + (home / "mnt") + "' >/dev/null 2>&1") != 0) {
        EXPECT_EQ(Listing(prefix_->Path().string()), before);
        GTEST_SKIP() << "no file systems of the test's own can be mounted here";
    }
    // The game in a namespace of its own with a small file system over mnt;
    // what it saved there is listed before the namespace ends.
    auto mounted = [&](const std::string& options) {
        return "unshare -rm sh -c 'mount -t tmpfs -o " + options + " tmpfs " + (home / "mnt") +
               " && %s; code=$?; ls " + (home / "mnt/varnok/DAT") + " " + (home / "mnt/varnok/GFX") + " >" +
               (home / "listing.txt") + " 2>/dev/null; exit $code'";
    };
    expectPlaysAndTells(play(mounted("ro"), home / "mnt"), "the disk is read-only");

    // Room for the settings files and 64 KB more: the first tile file (400 KB)
    // does not fit. The settings then come from the disk, the tiles from memory.
    const auto room = fs::file_size(Prefix("share/games/varnok/DAT/LEVEL.INI")) +
                      fs::file_size(Prefix("share/games/varnok/DAT/GLOBAL.INI")) + 64 * 1024;
    expectPlaysAndTells(play(mounted("size=" + std::to_string(room)), home / "mnt"), "the disk is full");
    const std::string listing = ReadFileBytes(home / "listing.txt");
    EXPECT_NE(listing.find("LEVEL.DAT"), std::string::npos) << listing;
    EXPECT_EQ(listing.find(".dxg"), std::string::npos) << listing;
    EXPECT_EQ(Listing(prefix_->Path().string()), before);
}
