// Screenshots: numbered files that never replace one another, and F12 in the
// running game saving the frame into the user's pictures folder.
#include "app/Screenshot.h"
#include "common/Exception.h"
#include "common/Image.h"
#include "tests/support/TestData.h"
#include "tests/support/TestSupport.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace varnok;
using varnok::test::ReadFileBytes;
using varnok::test::TempDir;
using varnok::test::WriteFileBytes;
namespace fs = std::filesystem;

namespace {

RgbaImage Picture(uint8_t shade) {
    RgbaImage image(4, 3);
    for (size_t i = 0; i < image.Pixels.size(); ++i)
        image.Pixels[i] = i % 4 == 3 ? 255 : shade;
    return image;
}

int Shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(Screenshot, NumbersFollowTheHighestAndNothingIsReplaced) {
    TempDir dir;
    const std::string folder = dir / "Pictures/new";
    EXPECT_EQ(SaveNumberedPng(Picture(10), folder), folder + "/varnok-0001.png"); // folder made
    EXPECT_EQ(SaveNumberedPng(Picture(20), folder), folder + "/varnok-0002.png");
    // Gaps are not filled: the next number follows the highest one there.
    WriteFileBytes(folder + "/varnok-0041.png", "someone else's");
    WriteFileBytes(folder + "/varnok-99.txt", "not ours");
    EXPECT_EQ(SaveNumberedPng(Picture(30), folder), folder + "/varnok-0042.png");
    EXPECT_EQ(ReadFileBytes(folder + "/varnok-0041.png"), "someone else's");
    EXPECT_EQ(ReadPng(folder + "/varnok-0001.png").Pixels, Picture(10).Pixels);
    EXPECT_EQ(ReadPng(folder + "/varnok-0042.png").Pixels, Picture(30).Pixels);
    // No temporary file stays behind.
    int files = 0;
    for (const auto& e : fs::directory_iterator(folder))
        files += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 5);

    // Past five digits and in an unwritable place.
    WriteFileBytes(folder + "/varnok-123456.png", "x");
    EXPECT_EQ(SaveNumberedPng(Picture(40), folder), folder + "/varnok-123457.png");
    WriteFileBytes(dir / "file", "");
    EXPECT_THROW(SaveNumberedPng(Picture(50), dir / "file/sub"), EFileError);
}

// A picture that cannot be written whole (here the file size limit stands
// in for a full disk) raises the error and leaves no temporary file behind.
TEST(Screenshot, AFailedSaveLeavesNoTemporaryFile) {
    TempDir dir;
    const std::string folder = dir / "Pictures";
    fs::create_directories(folder);
    RgbaImage noise(256, 256);
    uint32_t x = 1;
    for (uint8_t& b : noise.Pixels) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(x >> 24);
    }
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool thrown = false;
    try {
        SaveNumberedPng(noise, folder);
    } catch (const EFileError&) {
        thrown = true;
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(thrown);
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(folder))
        left.push_back(e.path().filename().string());
    EXPECT_TRUE(left.empty()) << left.front();
}

// F12 in the running game (the title here): the frame is saved, twice gives
// two files, a notice shows on the info-text line of the shown frame, and the
// game itself never sees the key.
TEST(Screenshot, F12SavesTheFrameInThePicturesFolder) {
    TempDir dir;
    const std::string data = dir / "data";
    test::WriteTestGame(data, 1);
    fs::create_directories(dir / "home/.config");
    WriteFileBytes(dir / "home/.config/user-dirs.dirs", "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
    WriteFileBytes(dir / "f12.txt", "50 down F12\n51 up F12\n70 down F12\n71 up F12\n");
    auto run = [&](const std::string& keys, const std::string& name) {
        return Shell("env -u XDG_CONFIG_HOME HOME=" + (dir / "home") + " " + test::BinaryDir() +
                     "/varnok --headless --ticks 100 --data " + data + " --input " + keys + " --screenshot " +
                     (dir / (name + ".png")) + "@50 --state " + (dir / (name + ".json")) + "@99 2>/dev/null");
    };
    ASSERT_EQ(run(dir / "f12.txt", "with"), 0);
    const std::string pictures = dir / "home/Bilder";
    ASSERT_TRUE(fs::exists(pictures + "/varnok-0001.png"));
    ASSERT_TRUE(fs::exists(pictures + "/varnok-0002.png"));
    EXPECT_FALSE(fs::exists(pictures + "/varnok-0003.png"));

    const RgbaImage saved = ReadPng(pictures + "/varnok-0001.png");
    const RgbaImage shown = ReadPng(dir / "with.png");
    ASSERT_EQ(saved.Width, 640);
    ASSERT_EQ(saved.Height, 480);
    ASSERT_EQ(shown.Width, 640);
    // The same frame; only the shown one carries the notice, near the top.
    size_t differentAbove = 0, differentBelow = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
            if (std::memcmp(saved.At(x, y), shown.At(x, y), 3) != 0)
                ++(y < 200 ? differentAbove : differentBelow);
    EXPECT_GT(differentAbove, 100u);
    EXPECT_EQ(differentBelow, 0u);

    // With Shift (running) or Ctrl (jumping) held, F12 takes a picture too.
    WriteFileBytes(dir / "held.txt", "50 down Shift\n51 down F12\n52 up F12\n53 up Shift\n"
                                     "70 down Ctrl\n71 down F12\n72 up F12\n73 up Ctrl\n");
    ASSERT_EQ(run(dir / "held.txt", "held"), 0);
    EXPECT_TRUE(fs::exists(pictures + "/varnok-0003.png"));
    EXPECT_TRUE(fs::exists(pictures + "/varnok-0004.png"));
    fs::remove(pictures + "/varnok-0003.png");
    fs::remove(pictures + "/varnok-0004.png");

    WriteFileBytes(dir / "none.txt", "");
    ASSERT_EQ(run(dir / "none.txt", "without"), 0);
    EXPECT_EQ(ReadFileBytes(dir / "with.json"), ReadFileBytes(dir / "without.json"));
    EXPECT_FALSE(fs::exists(pictures + "/varnok-0003.png"));
}

// The title stands still and is not drawn again while nothing changes on it:
// the notice after F12 still goes when its time is up, and a new selection
// still shows.
TEST(Screenshot, TheStillTitleShowsWhatChangesOnIt) {
    TempDir dir;
    const std::string data = dir / "data";
    test::WriteTestGame(data, 1);
    fs::create_directories(dir / "home");
    // The notice shows for two seconds: 125 ticks of 16 ms.
    WriteFileBytes(dir / "keys.txt", "50 down F12\n51 up F12\n250 down Down\n251 up Down\n");
    WriteFileBytes(dir / "none.txt", "");
    auto run = [&](const std::string& keys, const std::string& name) {
        std::string command = "env -u XDG_CONFIG_HOME -u XDG_PICTURES_DIR HOME=" + (dir / "home") + " " +
                              test::BinaryDir() + "/varnok --headless --ticks 270 --data " + data +
                              " --input " + keys;
        for (int tick : {40, 60, 240, 260})
            command += " --screenshot " + (dir / (name + std::to_string(tick) + ".png")) + "@" +
                       std::to_string(tick);
        return Shell(command + " 2>/dev/null");
    };
    ASSERT_EQ(run(dir / "keys.txt", "keys"), 0);
    ASSERT_EQ(run(dir / "none.txt", "none"), 0);
    auto frame = [&](const std::string& name) { return ReadPng(dir / (name + ".png")).Pixels; };
    EXPECT_NE(frame("keys60"), frame("keys40")) << "the notice shows";
    EXPECT_EQ(frame("keys240"), frame("keys40")) << "the notice went";
    EXPECT_EQ(frame("keys240"), frame("none240"));
    EXPECT_NE(frame("keys260"), frame("keys240")) << "the selection moved";
    EXPECT_EQ(frame("none260"), frame("none40"));
}
