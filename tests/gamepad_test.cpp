// Gamepads through SDL's virtual joysticks: a controller's buttons, d-pad and
// stick arrive as the keys the game knows, plugging in and out is followed,
// the user's mapping file and SDL_GAMECONTROLLERCONFIG make a plain joystick
// a controller, and a joystick without a mapping stays a joystick.
#include "app/Demo.h"
#include "app/GameState.h"
#include "app/Gamepad.h"
#include "app/Harness.h"
#include "platform/Application.h"
#include "platform/GameController.h"
#include "platform/Joystick.h"
#include "platform/Keys.h"
#include "tests/support/TestData.h"
#include "tests/support/TestSupport.h"

#include <SDL_error.h>
#include <SDL_gamecontroller.h>
#include <SDL_joystick.h>
#include <SDL_thread.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace varnok;
using platform::PadButton;
namespace fs = std::filesystem;

namespace {

// Writes down the keys the application delivers.
class KeyLog final : public platform::EventSink {
  public:
    void KeyDown(int& key, int) override { Events.push_back("+" + std::to_string(key)); }
    void KeyUp(int& key, int) override { Events.push_back("-" + std::to_string(key)); }
    std::vector<std::string> Take() { return std::exchange(Events, {}); }
    std::vector<std::string> Events;
};

// Points HOME at a folder of the test's for the lifetime of the object.
class ScopedHome {
  public:
    explicit ScopedHome(const std::string& home) {
        if (const char* old = std::getenv("HOME")) old_ = old;
        fs::create_directories(home);
        setenv("HOME", home.c_str(), 1);
        unsetenv("XDG_CONFIG_HOME");
        unsetenv("XDG_DATA_HOME");
    }
    ~ScopedHome() { setenv("HOME", old_.c_str(), 1); }

  private:
    std::string old_ = "/tmp";
};

std::string Down(int key) {
    return "+" + std::to_string(key);
}
std::string Up(int key) {
    return "-" + std::to_string(key);
}

// A virtual pad: a controller with the usual buttons and the left stick, or
// a plain joystick of the same shape.
int AttachPad(bool controller) {
    SDL_VirtualJoystickDesc desc{};
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = controller ? SDL_JOYSTICK_TYPE_GAMECONTROLLER : SDL_JOYSTICK_TYPE_UNKNOWN;
    desc.naxes = SDL_CONTROLLER_AXIS_MAX;
    desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
    desc.vendor_id = 0x1234;
    desc.product_id = controller ? 0x0001 : 0x0002;
    desc.name = controller ? "Test pad" : "Test stick";
    if (controller) {
        desc.button_mask = (1u << SDL_CONTROLLER_BUTTON_MAX) - 1;
        desc.axis_mask = (1u << SDL_CONTROLLER_AXIS_MAX) - 1;
    }
    return SDL_JoystickAttachVirtualEx(&desc);
}

class Gamepads : public ::testing::Test {
  protected:
    void Pump() { app.ProcessMessages(log); }
    platform::Application app{true};
    KeyLog log;
};

} // namespace

TEST_F(Gamepads, ButtonsDpadAndStickArriveAsKeysAndUnpluggingLetsGo) {
    app.EnableGameControllers("");
    const int index = AttachPad(true);
    ASSERT_GE(index, 0) << SDL_GetError();
    Pump();
    ASSERT_EQ(app.Controllers()->OpenCount(), 1) << "plugged in after the start: opened";
    SDL_Joystick* joy = SDL_JoystickOpen(index);
    ASSERT_NE(joy, nullptr);

    SDL_JoystickSetVirtualButton(joy, SDL_CONTROLLER_BUTTON_A, 1);
    SDL_JoystickSetVirtualButton(joy, SDL_CONTROLLER_BUTTON_DPAD_LEFT, 1);
    Pump();
    EXPECT_EQ(log.Take(), (std::vector{Down(VK_CONTROL), Down(VK_LEFT)}));
    // The input states read the same key state as for the keyboard.
    EXPECT_TRUE(app.KeyPressed(VK_LEFT));
    EXPECT_EQ(app.ShiftState(), ssCtrl);

    // The stick and the d-pad both hold Left: one key, released by the last.
    SDL_JoystickSetVirtualAxis(joy, SDL_CONTROLLER_AXIS_LEFTX, -30000);
    Pump();
    EXPECT_TRUE(log.Take().empty());
    SDL_JoystickSetVirtualButton(joy, SDL_CONTROLLER_BUTTON_DPAD_LEFT, 0);
    Pump();
    EXPECT_TRUE(log.Take().empty());
    // Inside the press threshold but outside the release one: still held.
    SDL_JoystickSetVirtualAxis(joy, SDL_CONTROLLER_AXIS_LEFTX, -14000);
    Pump();
    EXPECT_TRUE(log.Take().empty());
    SDL_JoystickSetVirtualAxis(joy, SDL_CONTROLLER_AXIS_LEFTX, -5000);
    Pump();
    EXPECT_EQ(log.Take(), std::vector{Up(VK_LEFT)});
    SDL_JoystickSetVirtualAxis(joy, SDL_CONTROLLER_AXIS_LEFTX, 14000);
    SDL_JoystickSetVirtualAxis(joy, SDL_CONTROLLER_AXIS_LEFTY, 30000);
    Pump();
    EXPECT_EQ(log.Take(), std::vector{Down(VK_DOWN)}) << "14000 is no push yet";
    SDL_JoystickSetVirtualAxis(joy, SDL_CONTROLLER_AXIS_LEFTX, 20000);
    SDL_JoystickSetVirtualButton(joy, SDL_CONTROLLER_BUTTON_X, 1);
    SDL_JoystickSetVirtualButton(joy, SDL_CONTROLLER_BUTTON_B, 1);
    SDL_JoystickSetVirtualButton(joy, SDL_CONTROLLER_BUTTON_BACK, 1);
    SDL_JoystickSetVirtualButton(joy, SDL_CONTROLLER_BUTTON_START, 1);
    Pump();
    const auto pressed = log.Take();
    for (int key : {VK_RIGHT, VK_SHIFT, VK_MENU, VK_ESCAPE, VK_RETURN})
        EXPECT_NE(std::find(pressed.begin(), pressed.end(), Down(key)), pressed.end()) << key;

    // Unplugged while held: every key it held is released.
    SDL_JoystickClose(joy);
    SDL_JoystickDetachVirtual(index);
    Pump();
    auto released = log.Take();
    std::sort(released.begin(), released.end());
    std::vector<std::string> expected;
    for (int key : {VK_CONTROL, VK_DOWN, VK_RIGHT, VK_SHIFT, VK_MENU, VK_ESCAPE, VK_RETURN})
        expected.push_back(Up(key));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(released, expected);
    EXPECT_EQ(app.Controllers()->OpenCount(), 0);
    EXPECT_FALSE(app.KeyPressed(VK_DOWN));
}

// The key map decides at the press; the release goes to the same key even
// when the game state (and with it the map) changed in between.
TEST_F(Gamepads, StartIsEnterOrPauseAndItsReleaseMatchesItsPress) {
    char state = gs::TitleStart;
    app.SetPadKeyMap([&](PadButton b) { return GamePadKey(b, state); });
    app.EnableGameControllers("");
    const int index = AttachPad(true);
    ASSERT_GE(index, 0) << SDL_GetError();
    Pump();
    SDL_Joystick* joy = SDL_JoystickOpen(index);
    SDL_JoystickSetVirtualButton(joy, SDL_CONTROLLER_BUTTON_START, 1);
    Pump();
    state = gs::Playing;
    SDL_JoystickSetVirtualButton(joy, SDL_CONTROLLER_BUTTON_START, 0);
    Pump();
    SDL_JoystickSetVirtualButton(joy, SDL_CONTROLLER_BUTTON_START, 1);
    Pump();
    EXPECT_EQ(log.Take(), (std::vector{Down(VK_RETURN), Up(VK_RETURN), Down('P')}));
    SDL_JoystickClose(joy);
    SDL_JoystickDetachVirtual(index);

    EXPECT_EQ(GamePadKey(PadButton::Start, gs::Paused), 'P');
    for (char s : {gs::TitleStart, gs::Credits, gs::GetReady, gs::GameOver, gs::LevelComplete})
        EXPECT_EQ(GamePadKey(PadButton::Start, s), VK_RETURN) << s;
    EXPECT_EQ(GamePadKey(PadButton::A, gs::Playing), VK_CONTROL);
    EXPECT_EQ(GamePadKey(PadButton::Y, gs::Playing), 0);
}

// A joystick SDL knows no mapping for is no controller: its keys stay unsent
// and the input component's joystick reads it, as before. The user's mapping
// file makes it a controller, read before the first one is opened.
TEST_F(Gamepads, UnmappedJoystickStaysAJoystickUntilTheUsersFileMapsIt) {
    const int index = AttachPad(false);
    ASSERT_GE(index, 0) << SDL_GetError();
    app.EnableGameControllers("");
    Pump();
    EXPECT_EQ(app.Controllers()->OpenCount(), 0);
    platform::Joystick raw;
    platform::JoystickPosition position;
    ASSERT_TRUE(raw.ReadPosition(position));
    SDL_Joystick* joy = SDL_JoystickFromInstanceID(SDL_JoystickGetDeviceInstanceID(index));
    ASSERT_NE(joy, nullptr);
    SDL_JoystickSetVirtualButton(joy, 3, 1);
    ASSERT_TRUE(raw.ReadPosition(position));
    EXPECT_EQ(position.Buttons, 1u << 3);
    Pump();
    EXPECT_TRUE(log.Take().empty());
    SDL_JoystickDetachVirtual(index);
}

TEST(GamepadMappings, TheUsersFileAndTheEnvironmentMapAJoystick) {
    for (bool fromFile : {true, false}) {
        test::TempDir dir;
        std::string guid;
        {
            // The joystick's GUID, as SDL gives it.
            platform::Application probe(true);
            platform::Joystick joysticks; // starts SDL's joystick subsystem
            const int index = AttachPad(false);
            ASSERT_GE(index, 0);
            char text[64];
            SDL_JoystickGetGUIDString(SDL_JoystickGetDeviceGUID(index), text, sizeof text);
            guid = text;
            SDL_JoystickDetachVirtual(index);
        }
        const std::string mapping =
            guid + ",Test stick,a:b0,b:b1,x:b2,y:b3,start:b6,leftx:a0,lefty:a1,platform:Linux,";
        std::string file;
        if (fromFile) {
            file = dir / "gamecontrollerdb.txt";
            test::WriteFileBytes(file, "# my pads\n" + mapping + "\n");
        } else {
            setenv("SDL_GAMECONTROLLERCONFIG", mapping.c_str(), 1);
        }
        platform::Application app(true);
        KeyLog log;
        app.EnableGameControllers(file);
        EXPECT_EQ(app.Controllers()->UserMappings(), fromFile ? 1 : -1);
        const int index = AttachPad(false);
        ASSERT_GE(index, 0);
        app.ProcessMessages(log);
        EXPECT_EQ(app.Controllers()->OpenCount(), 1) << (fromFile ? "file" : "environment");
        SDL_Joystick* joy = SDL_JoystickFromInstanceID(SDL_JoystickGetDeviceInstanceID(index));
        ASSERT_NE(joy, nullptr);
        SDL_JoystickSetVirtualButton(joy, 0, 1);
        app.ProcessMessages(log);
        EXPECT_EQ(log.Take(), std::vector{Down(VK_CONTROL)});
        // Now a controller: the input component's joystick leaves it alone.
        platform::Joystick raw;
        platform::JoystickPosition position;
        EXPECT_FALSE(raw.ReadPosition(position));
        SDL_JoystickDetachVirtual(index);
        unsetenv("SDL_GAMECONTROLLERCONFIG");
    }
}

// A pipe in place of the mapping file is refused at once: nothing waits for
// a writer that never comes, and the debug log can say why.
TEST(GamepadMappings, APipeAsTheUsersFileIsRefusedWithoutWaiting) {
    test::TempDir dir;
    const std::string fifo = dir / "gamecontrollerdb.txt";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    platform::Application app(true);
    auto reading = std::async(std::launch::async, [&] {
        std::pair<int, std::vector<std::string>> result;
        {
            auto pads = std::make_unique<platform::GameControllers>(fifo);
            result = {pads->UserMappings(), pads->Problems()};
        }
        // SDL keeps an error text per thread; this one's ends here.
        SDL_TLSCleanup();
        return result;
    });
    if (reading.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        // Let the reader go (a writer that ends at once), then fail.
        const int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) close(fd);
        reading.wait();
        FAIL() << "reading the mapping file waited for the pipe";
    }
    const auto [mappings, problems] = reading.get();
    EXPECT_EQ(mappings, -1);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("it is a pipe"), std::string::npos) << problems[0];
}

// SDL takes the square of the mappings' number in time to add them: a file
// with more than the bound gives the first ones, and the log says how many
// more were left and from which line. Lines of other systems, comments and
// blank lines do not count.
TEST(GamepadMappings, OnlyTheBoundedNumberOfTheFilesMappingsIsAdded) {
    auto mapping = [](int n, const char* platform) {
        char guid[33];
        std::snprintf(guid, sizeof guid, "03000000%08x0000%012x", 0x5000u + static_cast<unsigned>(n),
                      static_cast<unsigned>(n));
        return std::string(guid) + ",Pad " + std::to_string(n) + ",a:b0,b:b1,x:b2,y:b3,platform:" + platform +
               ",\n";
    };
    std::string text = "# my pads\n\n";
    for (int n = 0; n < platform::kMaxUserMappings + 250; ++n)
        text += mapping(n, "Linux") + mapping(n, "Windows");
    const int firstDroppedLine = 2 + 2 * platform::kMaxUserMappings + 1;

    const platform::MappingSelection picked =
        platform::SelectUserMappings(text, "Linux", platform::kMaxUserMappings);
    EXPECT_EQ(picked.Kept, platform::kMaxUserMappings);
    EXPECT_EQ(picked.Dropped, 250);
    EXPECT_EQ(picked.FirstDroppedLine, firstDroppedLine);
    EXPECT_EQ(picked.Text.find("Windows"), std::string::npos);

    test::TempDir dir;
    const std::string file = dir / "gamecontrollerdb.txt";
    test::WriteFileBytes(file, text);
    platform::Application app(true);
    platform::GameControllers pads(file);
    EXPECT_EQ(pads.UserMappings(), platform::kMaxUserMappings);
    ASSERT_EQ(pads.Problems().size(), 1u);
    EXPECT_NE(pads.Problems()[0].find("250 more from line " + std::to_string(firstDroppedLine)),
              std::string::npos)
        << pads.Problems()[0];
}

namespace {

// A pad that plays by the clock: Start on the title, A to begin, the stick
// held right for a while, then Back twice (to the title, and to end).
struct TimedPad {
    SDL_Joystick* Joy = nullptr;
    std::chrono::steady_clock::time_point Start{};
    bool Started = false;
};

void SDLCALL UpdateTimedPad(void* userdata) {
    auto& pad = *static_cast<TimedPad*>(userdata);
    if (!pad.Joy) return;
    const auto now = std::chrono::steady_clock::now();
    if (!pad.Started) {
        pad.Started = true;
        pad.Start = now;
    }
    const double t = std::chrono::duration<double>(now - pad.Start).count();
    auto between = [&](double a, double b) { return t >= a && t < b ? 1 : 0; };
    SDL_JoystickSetVirtualButton(pad.Joy, SDL_CONTROLLER_BUTTON_START, static_cast<Uint8>(between(1.0, 1.1)));
    SDL_JoystickSetVirtualButton(pad.Joy, SDL_CONTROLLER_BUTTON_A, static_cast<Uint8>(between(2.0, 2.1)));
    SDL_JoystickSetVirtualAxis(pad.Joy, SDL_CONTROLLER_AXIS_LEFTX,
                               static_cast<Sint16>(between(2.5, 3.5) * 30000));
    SDL_JoystickSetVirtualButton(pad.Joy, SDL_CONTROLLER_BUTTON_BACK,
                                 static_cast<Uint8>(between(4.0, 4.1) + between(5.5, 5.6)));
}

} // namespace

// The game in its window (on SDL's dummy display) played with a virtual pad
// from the title into the level and back out; the run is recorded as a demo,
// which plays headless to the same states and shows the player walked.
TEST(GamepadInTheGame, StartStickAndBackPlayTheGame) {
    test::TempDir dir;
    const std::string data = dir / "data";
    test::WriteTestGame(data, 1);
    ScopedHome home(dir / "home");
    // The dummy display's window never has the focus, and SDL keeps pad
    // events from windows without it unless told otherwise.
    setenv("SDL_JOYSTICK_ALLOW_BACKGROUND_EVENTS", "1", 1);
    platform::Joystick joysticks; // starts SDL's joystick subsystem for the pad
    static TimedPad pad;
    pad = TimedPad{};
    SDL_VirtualJoystickDesc desc{};
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    desc.naxes = SDL_CONTROLLER_AXIS_MAX;
    desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
    desc.button_mask = (1u << SDL_CONTROLLER_BUTTON_MAX) - 1;
    desc.axis_mask = (1u << SDL_CONTROLLER_AXIS_MAX) - 1;
    desc.name = "Timed pad";
    desc.userdata = &pad;
    desc.Update = UpdateTimedPad;
    const int index = SDL_JoystickAttachVirtualEx(&desc);
    ASSERT_GE(index, 0) << SDL_GetError();
    pad.Joy = SDL_JoystickOpen(index);

    THarnessOptions options;
    options.DataDir = data;
    options.RecordFile = dir / "pad.dem";
    options.Ticks = 20000; // only a safety net: Back ends the game
    EXPECT_EQ(RunGame(options), 0);
    pad.Joy = nullptr; // gone with SDL

    const TDemo demo = LoadDemo(dir / "pad.dem");
    std::vector<std::pair<int, uint64_t>> downs;
    for (const auto& [tick, e] : demo.Events)
        if (e.Kind == TDemoEventKind::Key && e.Down) downs.emplace_back(e.Key, tick);
    ASSERT_EQ(downs.size(), 5u);
    const std::vector<int> keys = {downs[0].first, downs[1].first, downs[2].first, downs[3].first,
                                   downs[4].first};
    EXPECT_EQ(keys, (std::vector{VK_RETURN, VK_CONTROL, VK_RIGHT, VK_ESCAPE, VK_ESCAPE}));
    EXPECT_TRUE(fs::exists(dir / "home/.config/varnok/keys.conf"))
        << "the window's first run writes the key file";

    // Played headless, the run meets every recorded check, and the pad's keys
    // took the game from the title into the level and out again.
    const std::vector<std::pair<uint64_t, std::string>> expected = {
        {downs[0].second, "\"1\""}, {downs[1].second, "\"0\""}, {downs[3].second, "\"4\""}};
    std::string args;
    for (const auto& [tick, state] : expected)
        args += " --state " + (dir / (std::to_string(tick) + ".json")) + "@" + std::to_string(tick);
    const std::string cmd = test::BinaryDir() + "/varnok --headless --data " + data + " --play " +
                            (dir / "pad.dem") + args + " 2>" + (dir / "err.txt");
    ASSERT_EQ(std::system(cmd.c_str()), 0) << test::ReadFileBytes(dir / "err.txt");
    for (const auto& [tick, state] : expected) {
        const std::string json = test::ReadFileBytes(dir / (std::to_string(tick) + ".json"));
        EXPECT_NE(json.find("\"GameState\": " + state), std::string::npos)
            << "tick " << tick << json.substr(0, 120);
    }
}
