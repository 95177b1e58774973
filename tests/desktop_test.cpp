// The game binary on the desktops it meets: a Wayland compositor (weston,
// nested in a virtual X display) natively and through XWayland, where it must
// play exactly as headless; no display at all, where it must end with a word
// before it touches its data; a window that cannot be made; and message
// boxes where the system cannot show one (no zenity), which the game then
// draws itself and waits on.
#include "tests/support/TestData.h"
#include "tests/support/TestSupport.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace varnok;
using varnok::test::Field;
using varnok::test::ReadFileBytes;
using varnok::test::RunGameBinary;
using varnok::test::RunResult;
using varnok::test::TempDir;
using varnok::test::WriteFileBytes;
namespace fs = std::filesystem;

namespace {

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool WaitFor(const std::function<bool()>& done, double seconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return true;
}

// A program started through the shell in a process group of its own; the
// group is stopped when the object goes.
class Child {
  public:
    explicit Child(const std::string& command) {
        pid_ = fork();
        if (pid_ == 0) {
            setpgid(0, 0);
            execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        if (pid_ > 0) setpgid(pid_, pid_);
    }
    ~Child() { Stop(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool Running() {
        Poll();
        return pid_ > 0 && !ended_;
    }
    // The exit code when it ended within the time (-1 for a signal), or
    // nullopt.
    std::optional<int> Wait(double seconds) {
        WaitFor([this] { return !Running(); }, seconds);
        if (!ended_) return std::nullopt;
        return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
    }
    void Stop() {
        if (!Running()) return;
        kill(-pid_, SIGTERM);
        if (!Wait(10)) {
            kill(-pid_, SIGKILL);
            waitpid(pid_, &status_, 0);
            ended_ = true;
        }
    }

  private:
    void Poll() {
        if (pid_ > 0 && !ended_ && waitpid(pid_, &status_, WNOHANG) == pid_) ended_ = true;
    }
    pid_t pid_ = -1;
    int status_ = 0;
    bool ended_ = false;
};

// A virtual X display on a free number of its own choosing.
class VirtualX {
  public:
    explicit VirtualX(const std::string& screen = "1920x1080x24") {
        const std::string number = dir_ / "display";
        server_ =
            std::make_unique<Child>("exec Xvfb -displayfd 3 -screen 0 " + screen +
                                    " -nolisten tcp -noreset 3>" + number + " 2>" + (dir_ / "xvfb.log"));
        if (WaitFor([&] { return FileText(number).find('\n') != std::string::npos; }, 30))
            name_ = ":" + FileText(number).substr(0, FileText(number).find('\n'));
    }
    // ":N", or empty when the server did not start.
    const std::string& Name() const { return name_; }

  private:
    TempDir dir_;
    std::unique_ptr<Child> server_;
    std::string name_;
};

// weston with its X11 back end in a window of a virtual X display, as a
// desktop would run it; with XWayland for X clients when asked.
class NestedWeston {
  public:
    NestedWeston(bool xwayland, int width, int height) {
        if (std::system("command -v weston >/dev/null 2>&1") != 0) {
            error_ = "weston is not installed (scripts/setup.sh installs it)";
            return;
        }
        if (x_.Name().empty()) {
            error_ = "no virtual X display";
            return;
        }
        runtime_ = dir_ / "runtime";
        fs::create_directory(runtime_);
        chmod(runtime_.c_str(), 0700);
        socket_ = "varnok-test-" + x_.Name().substr(1);
        log_ = dir_ / "weston.log";
        weston_ = std::make_unique<Child>(
            "exec env XDG_RUNTIME_DIR=" + runtime_ + " DISPLAY=" + x_.Name() +
            " weston --backend=x11-backend.so --idle-time=0 --socket=" + socket_ +
            " --width=" + std::to_string(width) + " --height=" + std::to_string(height) +
            (xwayland ? " --xwayland" : "") + " --log=" + log_ + " >/dev/null 2>&1");
        const std::string marker = "xserver listening on display ";
        const bool up = WaitFor(
            [&] {
                return !weston_->Running() ||
                       (fs::exists(runtime_ + "/" + socket_) &&
                        (!xwayland || FileText(log_).find(marker) != std::string::npos));
            },
            30);
        if (!up || !weston_->Running()) {
            error_ = "weston did not start: " + FileText(log_);
            return;
        }
        if (xwayland) {
            const std::string log = FileText(log_);
            const size_t at = log.find(marker) + marker.size();
            xwayland_ = log.substr(at, log.find_first_of(" \n", at) - at);
        }
    }
    const std::string& Error() const { return error_; }
    // The variables of a client of the compositor.
    std::string WaylandEnv() const { return "XDG_RUNTIME_DIR=" + runtime_ + " WAYLAND_DISPLAY=" + socket_; }
    // XWayland's display (":N").
    const std::string& XWayland() const { return xwayland_; }
    // The virtual X display whose window shows the compositor: its input
    // goes to the compositor's focused window.
    const std::string& Outer() const { return x_.Name(); }

  private:
    TempDir dir_;
    VirtualX x_;
    std::unique_ptr<Child> weston_;
    std::string runtime_, socket_, log_, xwayland_, error_;
};

// An empty environment for the game, with the sanitizers' settings of the
// test run and a fresh home. PATH leads nowhere: SDL finds no zenity and the
// game shows its message boxes itself.
std::string CleanEnv(const std::string& home) {
    std::string env = "env -i HOME=" + home + " XDG_CONFIG_HOME=" + home + "/.config PATH=/nonexistent ";
    for (const char* keep : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"})
        if (const char* v = std::getenv(keep)) env += std::string(keep) + "='" + v + "' ";
    return env;
}

// Leak checking off for a run that draws on Wayland: the compositor's client
// libraries and OpenGL drivers that SDL loads there leave allocations at exit
// whose frames cannot be named (the drivers are unloaded by then). The game's
// own code is checked for leaks in the other runs.
std::string WithoutLibraryLeakChecks() {
    const char* asan = std::getenv("ASAN_OPTIONS");
    return std::string("ASAN_OPTIONS='") + (asan && *asan ? std::string(asan) + ":" : "") +
           "detect_leaks=0' ";
}

std::string GameBinary() {
    return test::BinaryDir() + "/varnok";
}

// Every data file of a folder with its bytes.
std::map<std::string, std::string> Files(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) files[entry.path().string()] = ReadFileBytes(entry.path().string());
    return files;
}

// Sends the window the close request of its title bar's close button (at
// the end of the file, with libX11's header and its macros).
bool CloseWindow(const std::string& display, unsigned long window);

// The picture of a window of an X display, as RGB rows (xwd's dump read).
struct Picture {
    int Width = 0, Height = 0;
    std::vector<uint8_t> Rgb;
    const uint8_t* At(int x, int y) const { return &Rgb[(static_cast<size_t>(y) * Width + x) * 3]; }
};

Picture GrabWindow(const std::string& display, unsigned long window, const TempDir& dir) {
    Picture p;
    const std::string file = dir / "window.xwd";
    if (std::system(
            ("DISPLAY=" + display + " xwd -silent -id " + std::to_string(window) + " >" + file).c_str()) != 0)
        return p;
    const std::string d = ReadFileBytes(file);
    auto word = [&d](size_t i) {
        const auto* b = reinterpret_cast<const uint8_t*>(d.data()) + i * 4;
        return static_cast<uint32_t>(b[0]) << 24 | b[1] << 16 | b[2] << 8 | b[3];
    };
    if (d.size() < 100 || word(1) != 7 || word(11) != 32) return p; // version 7, 32 bits a pixel
    const uint32_t header = word(0), bytesPerLine = word(12), colours = word(19), littleEndian = word(7) == 0;
    p.Width = static_cast<int>(word(4));
    p.Height = static_cast<int>(word(5));
    const size_t pixels = header + static_cast<size_t>(colours) * 12;
    if (d.size() < pixels + static_cast<size_t>(bytesPerLine) * p.Height) return {};
    p.Rgb.resize(static_cast<size_t>(p.Width) * p.Height * 3);
    for (int y = 0; y < p.Height; ++y)
        for (int x = 0; x < p.Width; ++x) {
            const auto* b = reinterpret_cast<const uint8_t*>(d.data()) + pixels +
                            static_cast<size_t>(y) * bytesPerLine + static_cast<size_t>(x) * 4;
            const uint32_t v =
                littleEndian ? (b[0] | b[1] << 8 | b[2] << 16) : (b[1] << 16 | b[2] << 8 | b[3]);
            uint8_t* out = &p.Rgb[(static_cast<size_t>(y) * p.Width + x) * 3];
            out[0] = static_cast<uint8_t>(v >> 16);
            out[1] = static_cast<uint8_t>(v >> 8);
            out[2] = static_cast<uint8_t>(v);
        }
    return p;
}

// The first visible window of the display whose name holds the text (0: none
// within the time).
unsigned long FindWindow(const std::string& display, const std::string& name, const TempDir& dir) {
    const std::string out = dir / "window-id";
    std::system(("DISPLAY=" + display + " timeout 30 xdotool search --sync --onlyvisible --name '" + name +
                 "' >" + out + " 2>/dev/null")
                    .c_str());
    const std::string id = FileText(out);
    return id.empty() ? 0 : std::stoul(id);
}

// Types a key on the display, into the window when one is named.
bool PressKey(const std::string& display, const std::string& key, unsigned long window = 0) {
    const std::string focus = window ? "windowfocus " + std::to_string(window) + " " : "";
    return std::system(
               ("DISPLAY=" + display + " xdotool " + focus + "key " + key + " >/dev/null 2>&1").c_str()) == 0;
}

} // namespace

// ---------------------------------------------------------------------------
// No display

// Without DISPLAY and WAYLAND_DISPLAY SDL would fall back on its offscreen
// driver and the game would run unseen: it ends at once with a word, before
// it converts its data.
TEST(NoDisplay, NeitherDisplayNorWaylandDisplayEndsTheGameBeforeItsData) {
    TempDir dir;
    const std::string data = dir / "data";
    test::WriteTestGame(data, 1);
    const auto before = Files(data);
    const RunResult r =
        RunGameBinary(dir, "timeout 20 " + CleanEnv(dir / "home"), "--ticks 30 --data " + data);
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.exitCode, 124) << "still running after 20 s";
    EXPECT_NE(r.errors.find("No display: "), std::string::npos) << r.errors;
    EXPECT_NE(r.errors.find("DISPLAY is not set"), std::string::npos) << r.errors;
    EXPECT_NE(r.errors.find("WAYLAND_DISPLAY is not set"), std::string::npos) << r.errors;
    EXPECT_EQ(Files(data), before) << "the data was converted";
    EXPECT_FALSE(fs::exists(data + "/DAT/LEVEL.DAT"));
}

// A driver named by SDL_VIDEODRIVER that cannot start ends the game the same
// way; drivers that show nothing still run when asked for by name, and so
// does --headless.
TEST(NoDisplay, ANamedDriverThatCannotStartEndsTheGame) {
    TempDir dir;
    const std::string data = dir / "data";
    test::WriteTestGame(data, 1);
    fs::create_directory(dir / "runtime");
    chmod((dir / "runtime").c_str(), 0700);
    const RunResult wayland =
        RunGameBinary(dir,
                      "timeout 20 " + CleanEnv(dir / "home") +
                          "SDL_VIDEODRIVER=wayland XDG_RUNTIME_DIR=" + (dir / "runtime") + " ",
                      "--ticks 30 --data " + data);
    EXPECT_NE(wayland.exitCode, 0);
    EXPECT_NE(wayland.exitCode, 124) << "still running after 20 s";
    EXPECT_NE(wayland.errors.find("No display: the video driver \"wayland\""), std::string::npos)
        << wayland.errors;
    EXPECT_NE(wayland.errors.find("WAYLAND_DISPLAY is not set"), std::string::npos) << wayland.errors;
    EXPECT_FALSE(fs::exists(data + "/DAT/LEVEL.DAT"));

    for (const std::string how : {"SDL_VIDEODRIVER=dummy ", "SDL_VIDEODRIVER=offscreen ", "--headless"}) {
        const bool headless = how == "--headless";
        const RunResult r = RunGameBinary(
            dir, "timeout 60 " + CleanEnv(dir / "home") + "SDL_AUDIODRIVER=dummy " + (headless ? "" : how),
            "--ticks 30 --data " + data + " --state " + (dir / "state.json") + "@20" +
                (headless ? " " + how : ""));
        EXPECT_EQ(r.exitCode, 0) << how << r.errors;
        EXPECT_EQ(Field(FileText(dir / "state.json"), "GameState"), "\" \"") << how;
        fs::remove(dir / "state.json");
    }
}

// ---------------------------------------------------------------------------
// Errors while starting, and message boxes on a display without zenity

namespace {

// The game's data converted once, as a player's would be.
void WriteConvertedGame(const TempDir& dir, const std::string& data) {
    test::WriteTestGame(data, 1);
    const RunResult r = RunGameBinary(dir, "", "--headless --ticks 2 --data " + data);
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    ASSERT_TRUE(fs::exists(data + "/DAT/LEVEL.DAT"));
}

} // namespace

// The window cannot be made (the X server has no visual of that number): the
// game says why and ends with an error code, never with an abort, and its
// data is left as it was.
TEST(StartupError, AWindowThatCannotBeMadeEndsTheGameWithAWord) {
    TempDir dir;
    const std::string data = dir / "data";
    WriteConvertedGame(dir, data);
    const auto before = Files(data);
    VirtualX x;
    ASSERT_FALSE(x.Name().empty());
    const RunResult r = RunGameBinary(dir,
                                      "timeout 60 " + CleanEnv(dir / "home") + "DISPLAY=" + x.Name() +
                                          " SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy "
                                          "SDL_VIDEO_X11_WINDOW_VISUALID=0x7fffffff ",
                                      "--ticks 30 --data " + data);
    EXPECT_EQ(r.exitCode, 1) << r.errors;
    EXPECT_NE(r.errors.find("Window cannot be created"), std::string::npos) << r.errors;
    EXPECT_EQ(r.errors.find("terminate called"), std::string::npos) << r.errors;
    EXPECT_EQ(Files(data), before);
}

namespace {

// The game started on a virtual X display with no zenity to be found.
struct OnXWithoutZenity : ::testing::Test {
    TempDir dir;
    VirtualX x{"1280x1024x24"};
    std::unique_ptr<Child> game;

    void Start(const std::string& args) {
        ASSERT_FALSE(x.Name().empty());
        game = std::make_unique<Child>(CleanEnv(dir / "home") + "DISPLAY=" + x.Name() +
                                       " SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy " + GameBinary() + " " +
                                       args + " 2>" + (dir / "stderr.txt"));
    }
    // The light pixels of the box (its face and button) in the window.
    int LightPixels(unsigned long window) {
        const Picture p = GrabWindow(x.Name(), window, dir);
        int light = 0;
        for (int y = 0; y < p.Height; ++y)
            for (int x = 0; x < p.Width; ++x)
                light += p.At(x, y)[0] > 180 && p.At(x, y)[1] > 180 && p.At(x, y)[2] > 180;
        return light;
    }
};

} // namespace

// "Missing data files!" cannot go to the system's box: the game opens a small
// window of its own with the box and waits until Enter answers it.
TEST_F(OnXWithoutZenity, MissingDataFilesWaitInAWindowOfTheirOwnForEnter) {
    fs::create_directory(dir / "empty");
    Start("--data " + (dir / "empty"));
    const unsigned long window = FindWindow(x.Name(), "VARNOK", dir);
    ASSERT_NE(window, 0u) << FileText(dir / "stderr.txt");
    EXPECT_TRUE(WaitFor([&] { return LightPixels(window) > 2000; }, 10)) << "no box in the window";
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(game->Running()) << "the game did not wait";
    EXPECT_NE(FileText(dir / "stderr.txt").find("Missing data files!"), std::string::npos);
    ASSERT_TRUE(PressKey(x.Name(), "Return", window));
    EXPECT_EQ(game->Wait(20), std::optional<int>(1));
    EXPECT_TRUE(fs::is_empty(dir / "empty"));
}

// The close button of that window answers the box as well.
TEST_F(OnXWithoutZenity, TheCloseButtonAnswersTheBox) {
    fs::create_directory(dir / "empty");
    Start("--data " + (dir / "empty"));
    const unsigned long window = FindWindow(x.Name(), "VARNOK", dir);
    ASSERT_NE(window, 0u) << FileText(dir / "stderr.txt");
    EXPECT_TRUE(WaitFor([&] { return LightPixels(window) > 2000; }, 10)) << "no box in the window";
    EXPECT_TRUE(game->Running());
    ASSERT_TRUE(CloseWindow(x.Name(), window));
    EXPECT_EQ(game->Wait(20), std::optional<int>(1));
}

// A box while the game runs (the About box) is drawn over the main window:
// the game waits on it (no ticks, so no state written meanwhile) and goes on
// to its end when OK is pressed.
TEST_F(OnXWithoutZenity, ABoxOverTheMainWindowHoldsTheGameUntilAnswered) {
    const std::string data = dir / "data";
    WriteConvertedGame(dir, data);
    Start("--data " + data + " --ticks 40 --action ActionAboutInfo@5 --state " + (dir / "after.json") +
          "@30");
    const unsigned long window = FindWindow(x.Name(), "VARNOK", dir);
    ASSERT_NE(window, 0u) << FileText(dir / "stderr.txt");
    ASSERT_TRUE(WaitFor([&] { return FileText(dir / "stderr.txt").find("Build ") != std::string::npos; }, 20))
        << FileText(dir / "stderr.txt");
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_TRUE(game->Running());
    EXPECT_FALSE(fs::exists(dir / "after.json")) << "the game went on behind the box";
    ASSERT_TRUE(PressKey(x.Name(), "Return", window));
    EXPECT_EQ(game->Wait(30), std::optional<int>(0)) << FileText(dir / "stderr.txt");
    const std::string after = FileText(dir / "after.json");
    EXPECT_NE(after.find("\"MessageBoxes\": [{\"Caption\": \"VARNOK (freeware version)\""), std::string::npos)
        << after;
}

// ---------------------------------------------------------------------------
// Wayland

namespace {

constexpr int kWestonWidth = 1600, kWestonHeight = 1000;

// Key script: the level starts, a screenshot with F12, full screen and back
// with Alt+Enter.
const char* const kKeys = "40 down Enter\n41 up Enter\n"
                          "80 down A\n81 up A\n"
                          "100 down Right\n"
                          "130 down F12\n131 up F12\n"
                          "150 down Alt\n151 down Enter\n152 up Enter\n153 up Alt\n"
                          "230 down Alt\n231 down Enter\n232 up Enter\n233 up Alt\n";
constexpr int kShots[] = {30, 120, 200, 280};
constexpr int kTicks = 300;

// The run recorded headless as a demo, with its pictures and states.
void RecordHeadless(const TempDir& dir, const std::string& data) {
    WriteFileBytes(dir / "keys.txt", kKeys);
    std::string args = "--headless --ticks " + std::to_string(kTicks) + " --data " + data + " --input " +
                       (dir / "keys.txt") + " --record " + (dir / "demo.txt");
    for (int t : kShots)
        args += " --screenshot " + (dir / ("headless" + std::to_string(t) + ".png")) + "@" +
                std::to_string(t) + " --state " + (dir / ("headless" + std::to_string(t) + ".json")) + "@" +
                std::to_string(t);
    const RunResult r = RunGameBinary(dir, CleanEnv(dir / "home-headless"), args);
    ASSERT_EQ(r.exitCode, 0) << r.errors;
}

// The demo played in a window of the display the prefix names: the game runs
// to its end, shows no error, and draws the same pictures as headless, in a
// window, full screen (scaled to the compositor's output) and back.
void PlaysAsHeadless(const TempDir& dir, const std::string& data, const std::string& tag,
                     const std::string& display) {
    std::string args = "--play " + (dir / "demo.txt") + " --data " + data;
    for (int t : kShots)
        args += " --screenshot " + (dir / (tag + std::to_string(t) + ".png")) + "@" + std::to_string(t) +
                " --state " + (dir / (tag + std::to_string(t) + ".json")) + "@" + std::to_string(t);
    const RunResult r = RunGameBinary(
        dir, "timeout 120 " + CleanEnv(dir / ("home-" + tag)) + "SDL_AUDIODRIVER=dummy " + display + " ",
        args);
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    for (const char* bad : {"rror", "annot", "terminate", "No display"})
        EXPECT_EQ(r.errors.find(bad), std::string::npos) << r.errors;
    for (int t : kShots) {
        const std::string at = std::to_string(t);
        const std::string shown = FileText(dir / (tag + at + ".json"));
        const std::string headless = FileText(dir / ("headless" + at + ".json"));
        ASSERT_FALSE(shown.empty()) << "no state after tick " << at;
        EXPECT_EQ(Field(shown, "DebugLog"), "\"\"") << at;
        for (const char* field : {"GameState", "CurrentLevel", "FullScreen", "MenuVisible", "Player"})
            EXPECT_EQ(Field(shown, field), Field(headless, field)) << field << " after tick " << at;
        EXPECT_EQ(ReadFileBytes(dir / (tag + at + ".png")), ReadFileBytes(dir / ("headless" + at + ".png")))
            << "the picture after tick " << at;
        test::KeepForInspection(dir / (tag + at + ".png"), tag + at + ".png");
    }
    EXPECT_EQ(Field(FileText(dir / (tag + "120.json")), "GameState"), "\"0\"");
    EXPECT_EQ(Field(FileText(dir / (tag + "200.json")), "FullScreen"), "true");
    EXPECT_EQ(Field(FileText(dir / (tag + "200.json")), "Scale"),
              std::to_string(std::min(kWestonWidth / 640, kWestonHeight / 480)));
    EXPECT_EQ(Field(FileText(dir / (tag + "280.json")), "FullScreen"), "false");
    EXPECT_EQ(Field(FileText(dir / (tag + "280.json")), "MenuVisible"), "true");
    // F12 saved the frame it was pressed on, as headless.
    const std::string shot = "/Pictures/varnok-0001.png";
    ASSERT_TRUE(fs::exists(dir / ("home-" + tag) + shot)) << r.errors;
    EXPECT_EQ(ReadFileBytes(dir / ("home-" + tag) + shot), ReadFileBytes(dir / "home-headless" + shot));
}

} // namespace

// Native Wayland: SDL offers no framebuffer of its own there, and nothing
// draws in hardware here.
TEST(Wayland, NativeWindowPlaysAsHeadless) {
    NestedWeston weston(false, kWestonWidth, kWestonHeight);
    ASSERT_EQ(weston.Error(), "");
    TempDir dir;
    const std::string data = dir / "data";
    test::WriteTestGame(data, 1);
    RecordHeadless(dir, data);
    PlaysAsHeadless(dir, data, "wayland",
                    WithoutLibraryLeakChecks() + weston.WaylandEnv() + " SDL_VIDEODRIVER=wayland");
}

TEST(Wayland, ThroughXWaylandPlaysAsHeadless) {
    NestedWeston weston(true, kWestonWidth, kWestonHeight);
    ASSERT_EQ(weston.Error(), "");
    TempDir dir;
    const std::string data = dir / "data";
    test::WriteTestGame(data, 1);
    RecordHeadless(dir, data);
    PlaysAsHeadless(dir, data, "xwayland", "DISPLAY=" + weston.XWayland() + " SDL_VIDEODRIVER=x11");
}

// With the debug menus and the system information dialog open, and a box
// over the main window answered by Enter (keys of the outer display reach the
// compositor's focused window): the game runs on to its end.
TEST(Wayland, DialogsAndMessageBoxes) {
    NestedWeston weston(false, kWestonWidth, kWestonHeight);
    ASSERT_EQ(weston.Error(), "");
    TempDir dir;
    const std::string data = dir / "data";
    WriteConvertedGame(dir, data);
    Child game(CleanEnv(dir / "home") + WithoutLibraryLeakChecks() + weston.WaylandEnv() +
               " SDL_VIDEODRIVER=wayland SDL_AUDIODRIVER=dummy " + GameBinary() + " -KV3916 --data " + data +
               " --ticks 60 --action ActionDirectXInfo@5 --action ActionAboutInfo@10 --state " +
               (dir / "after.json") + "@50 2>" + (dir / "stderr.txt"));
    ASSERT_TRUE(WaitFor([&] { return FileText(dir / "stderr.txt").find("Build ") != std::string::npos; }, 30))
        << FileText(dir / "stderr.txt");
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_TRUE(game.Running());
    EXPECT_FALSE(fs::exists(dir / "after.json")) << "the game went on behind the box";
    ASSERT_TRUE(PressKey(weston.Outer(), "Return"));
    EXPECT_EQ(game.Wait(30), std::optional<int>(0)) << FileText(dir / "stderr.txt");
    const std::string after = FileText(dir / "after.json");
    EXPECT_NE(after.find("\"Dialogs\": [\"DirectX Info\"]"), std::string::npos) << after;
    EXPECT_EQ(Field(after, "DebugSwitch"), "true");
    EXPECT_EQ(Field(after, "DebugLog"), "\"\"");
}

// The window tests of the present test program, on the compositor: the
// picture scaled and centred, full screen, tool windows over the picture,
// all read back from the framebuffer the game draws into.
TEST(Wayland, PresentTestsPassOnTheCompositor) {
    NestedWeston weston(false, kWestonWidth, kWestonHeight);
    ASSERT_EQ(weston.Error(), "");
    TempDir dir;
    const int code = std::system(("timeout 120 env " + WithoutLibraryLeakChecks() + weston.WaylandEnv() +
                                  " SDL_VIDEODRIVER=wayland " + VARNOK_PRESENT_TEST +
                                  " --gtest_filter=PresentTest.* >" + (dir / "out.txt") + " 2>&1")
                                     .c_str());
    EXPECT_EQ(code, 0) << FileText(dir / "out.txt");
    EXPECT_NE(FileText(dir / "out.txt").find("[  PASSED  ]"), std::string::npos) << FileText(dir / "out.txt");
}

// Without any EGL driver SDL cannot make a window on the compositor: the game
// says so and ends with an error code.
TEST(Wayland, NoWindowWithoutEglEndsTheGameWithAWord) {
    NestedWeston weston(false, kWestonWidth, kWestonHeight);
    ASSERT_EQ(weston.Error(), "");
    TempDir dir;
    const std::string data = dir / "data";
    WriteConvertedGame(dir, data);
    const auto before = Files(data);
    const RunResult r = RunGameBinary(dir,
                                      "timeout 60 " + CleanEnv(dir / "home") + WithoutLibraryLeakChecks() +
                                          weston.WaylandEnv() +
                                          " SDL_VIDEODRIVER=wayland SDL_AUDIODRIVER=dummy "
                                          "__EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent.json ",
                                      "--ticks 30 --data " + data);
    EXPECT_EQ(r.exitCode, 1) << r.errors;
    EXPECT_NE(r.errors.find("Window cannot be created"), std::string::npos) << r.errors;
    EXPECT_EQ(r.errors.find("terminate called"), std::string::npos) << r.errors;
    EXPECT_EQ(Files(data), before);
}

#include <X11/Xlib.h>

namespace {

bool CloseWindow(const std::string& display, unsigned long window) {
    Display* d = XOpenDisplay(display.c_str());
    if (!d) return false;
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    const bool sent = XSendEvent(d, window, False, NoEventMask, &e) != 0;
    XCloseDisplay(d);
    return sent;
}

} // namespace
