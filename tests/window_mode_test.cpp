// Display settings, the window-mode action and the credits screen, run
// headless on a simulated clock: the display simulates full screen on a
// screen of its SimulatedScreen's size.
#include "app/Harness.h"
#include "app/MainForm.h"
#include "common/Paths.h"
#include "level/CryptedINI.h"
#include "media/MusicPlayer.h"
#include "platform/Clock.h"
#include "sprites/PlayerSprite.h"
#include "tests/support/TestData.h"
#include "tests/support/TestSupport.h"
#include "tools/Debug.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>

using namespace varnok;

namespace {

class SilentMusic final : public TMusicPlayer {
  public:
    void OpenModule(const std::string&) override {}
    void Resume() override {}
    void Halt() override {}
    void Mute() override {}
    void Unmute() override {}
};

struct WindowModeTest : ::testing::Test {
    test::TempDir dir;
    platform::SimulatedClock clock{10000};
    platform::ScopedClock clockScope{clock};
    platform::Application app{true};
    std::unique_ptr<TMemIniFileCrypted> levelStore;
    std::unique_ptr<TMemIniFileCrypted> globalStore;
    std::unique_ptr<TMainForm> form;

    WindowModeTest() {
        test::WriteTestGame(dir.Path().string(), 2);
        SetProgramFolder(dir.Path().string());
        DebugLog().Clear();
        DebugLog().SetEcho(false);
    }
    ~WindowModeTest() override { DebugLog().SetEcho(true); }

    // A fresh main window over the data folder, with DirectX.ini as given
    // (none when nullptr).
    void Start(const char* directX = nullptr, platform::TScreenInfo screen = {}) {
        form.reset();
        std::filesystem::remove(dir / "DirectX.ini");
        if (directX) test::WriteFileBytes(dir / "DirectX.ini", directX);
        levelStore = std::make_unique<TMemIniFileCrypted>(dir / "DAT/LEVEL.INI");
        globalStore = std::make_unique<TMemIniFileCrypted>(dir / "DAT/GLOBAL.INI");
        form = std::make_unique<TMainForm>(app, *levelStore, *globalStore, std::vector<std::string>{});
        form->MusicPlayer = std::make_unique<SilentMusic>();
        form->DXDraw.SimulatedScreen = screen;
        form->FormCreate();
        form->FormShow();
    }
    void Tick(uint32_t ms = 16) {
        clock.Advance(ms);
        form->Idle();
    }
    void Press(int key, int shift = 0) {
        int k = key;
        form->KeyDown(k, shift);
        k = key;
        form->KeyUp(k, shift);
    }
    void AltEnter() { Press(VK_RETURN, ssAlt); }
    bool FullScreen() const { return form->DXDraw.HasOption(platform::doFullScreen); }
    // Enter on "Start", then any key: the first level is playing.
    void Play() {
        clock.Advance(500);
        Press(VK_RETURN);
        Tick();
        clock.Advance(500);
        Press(VK_SPACE);
        for (int i = 0; i < 30; ++i)
            Tick();
        ASSERT_EQ(form->Game.GameState, gs::Playing);
    }
    // The state snapshot without what a mode switch changes (and the debug
    // window, which a failed switch writes to).
    std::string GameStateOnly() {
        return test::WithoutFields(StateJson(*form, 0), {"FullScreen", "MenuVisible", "WindowModeChecked", "Scale",
                                                         "TimerEnabled", "Time", "DebugLog", "DebugWindowVisible"});
    }
    RgbaImage Screen() { return form->DXDraw.BackSurface().ToImage(); }
};

bool SamePicture(const RgbaImage& a, const RgbaImage& b) {
    return a.Width == b.Width && a.Height == b.Height && a.Pixels == b.Pixels;
}

bool Logged(const std::string& text) {
    for (const std::string& line : DebugLog().Lines())
        if (line.find(text) != std::string::npos) return true;
    return false;
}

} // namespace

TEST_F(WindowModeTest, SettingsFileChoosesWindowOrFullScreenAndDepth) {
    // No file: a 16-bit window with menu bar and the check mark.
    Start();
    EXPECT_FALSE(FullScreen());
    EXPECT_EQ(form->DXDraw.BackSurface().BitCount(), 16);
    EXPECT_TRUE(form->MenuVisible());
    EXPECT_TRUE(form->CursorVisible());
    EXPECT_TRUE(form->ActionToggleWindow.Checked());

    // Only the number 1 selects full screen.
    for (const char* value : {"2", "yes", "", "1x", "0"}) {
        Start((std::string("[Display]\nFullscreen=") + value + "\n").c_str());
        EXPECT_FALSE(FullScreen()) << value;
        EXPECT_TRUE(form->MenuVisible()) << value;
    }
    Start("[Display]\nFullscreen=1\n");
    EXPECT_TRUE(FullScreen());
    EXPECT_FALSE(form->MenuVisible());
    EXPECT_FALSE(form->CursorVisible());
    EXPECT_FALSE(form->ActionToggleWindow.Checked());
    EXPECT_EQ(form->DXDraw.BackSurface().BitCount(), 16);
    EXPECT_EQ(form->Game.GameState, gs::TitleStart);

    // Names in any letter case, spaces and comments as the profile rules
    // have them; the first section of a name counts.
    Start("; settings\n[display]\n  BITCOUNT = 8 \nfullscreen=\"1\"\n[Display]\nBitCount=32\n");
    EXPECT_TRUE(FullScreen());
    EXPECT_EQ(form->DXDraw.BackSurface().BitCount(), 8);
    EXPECT_EQ(form->DXDraw.Display.BitCount, 8);

    // The booleans: any number but 0 is true; text keeps the default.
    Start("[Display]\nFixedBitCount=0\nFixedRatio=7\nFixedSize=abc\n");
    EXPECT_FALSE(form->DXDraw.Display.FixedBitCount);
    EXPECT_TRUE(form->DXDraw.Display.FixedRatio);
    EXPECT_TRUE(form->DXDraw.Display.FixedSize);
}

TEST_F(WindowModeTest, ModeThatCannotBeSetFallsBackToTheWindow) {
    // A depth no display mode has: full screen fails at start-up, the game
    // goes on in its window and the debug window says why.
    Start("[Display]\nBitCount=12\nFullscreen=1\n");
    EXPECT_FALSE(FullScreen());
    EXPECT_TRUE(form->MenuVisible());
    EXPECT_TRUE(form->CursorVisible());
    EXPECT_TRUE(form->ActionToggleWindow.Checked());
    EXPECT_TRUE(Logged("Display mode cannot be changed (640x480 12bit) at ")) << DebugLog().Lines().size();
    ASSERT_TRUE(form->DXDraw.CanDraw());
    EXPECT_EQ(form->DXDraw.BackSurface().BitCount(), 16); // the window draws at 16 bits
    EXPECT_EQ(form->Game.GameState, gs::TitleStart);
    EXPECT_TRUE(form->DXTimer.Enabled());

    // A screen too small for the picture: Alt+Enter during play fails the
    // same way and the level goes on in the window.
    platform::TScreenInfo small;
    small.Width = small.UsableWidth = 600;
    small.Height = small.UsableHeight = 400;
    small.Modes = {{600, 400, 32}};
    Start(nullptr, small);
    Play();
    const std::string before = GameStateOnly();
    DebugLog().Clear();
    AltEnter();
    EXPECT_FALSE(FullScreen());
    EXPECT_TRUE(form->MenuVisible());
    EXPECT_TRUE(form->ActionToggleWindow.Checked());
    EXPECT_TRUE(Logged("Display mode cannot be changed (640x480 16bit)"));
    EXPECT_EQ(GameStateOnly(), before);
    EXPECT_TRUE(form->DXTimer.Enabled());
    EXPECT_FALSE(form->Game.ModeSwitching);
    Tick();
    EXPECT_EQ(form->Game.GameState, gs::Playing);
}

// The way back from full screen fails: the game still ends up running in
// its window (timer on, no switch left half done), the debug window says
// why, and the level goes on. When the window cannot be set up again
// either, the timer still runs and both failures are logged.
TEST_F(WindowModeTest, AFailedReturnToTheWindowLeavesTheGameRunningInTheWindow) {
    Start();
    Play();
    AltEnter();
    ASSERT_TRUE(FullScreen());
    int failures = 1;
    auto initialize = form->DXDraw.OnInitialize;
    form->DXDraw.OnInitialize = [&, initialize] {
        if (!FullScreen() && failures > 0) {
            --failures;
            throw std::runtime_error("the window cannot be made");
        }
        initialize();
    };
    const std::string before = GameStateOnly();
    DebugLog().Clear();
    AltEnter();
    EXPECT_FALSE(FullScreen());
    EXPECT_TRUE(form->MenuVisible());
    EXPECT_TRUE(form->ActionToggleWindow.Checked());
    EXPECT_FALSE(form->Game.ModeSwitching);
    EXPECT_TRUE(form->DXTimer.Enabled());
    EXPECT_TRUE(Logged("the window cannot be made at "));
    EXPECT_EQ(GameStateOnly(), before);
    Tick();
    EXPECT_EQ(form->Game.GameState, gs::Playing);

    AltEnter();
    ASSERT_TRUE(FullScreen());
    failures = 2;
    DebugLog().Clear();
    AltEnter();
    EXPECT_FALSE(FullScreen());
    EXPECT_FALSE(form->Game.ModeSwitching);
    EXPECT_TRUE(form->DXTimer.Enabled());
    EXPECT_TRUE(Logged("could not be set up again either: the window cannot be made"));
    failures = 0;
    AltEnter();
    AltEnter();
    EXPECT_FALSE(FullScreen());
    EXPECT_TRUE(form->DXDraw.CanDraw());
    Tick();
    EXPECT_EQ(form->Game.GameState, gs::Playing);
}

TEST_F(WindowModeTest, SettingsFileIsOnlyRead) {
    const char* text = "[Display]\nFullscreen=1\n";
    Start(text);
    const std::string path = dir / "DirectX.ini";
    ::chmod(path.c_str(), 0444);
    const auto stamp = std::filesystem::last_write_time(path);
    for (int i = 0; i < 3; ++i)
        AltEnter();
    form.reset();
    EXPECT_EQ(test::ReadFileBytes(path), text);
    EXPECT_EQ(std::filesystem::last_write_time(path), stamp);
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        EXPECT_EQ(entry.path().filename().string().find("DirectX.ini."), std::string::npos) << entry.path();
}

TEST_F(WindowModeTest, TogglingKeepsPlayPauseAndSummaryWhereTheyWere) {
    Start();
    Play();
    TPlayerSprite* player = form->World.Actors.GamePlayer.Get();
    ASSERT_NE(player, nullptr);
    const int sprites = form->DXSpriteEngine.Engine().AllCount();

    // Playing: nothing of the game changes across the switch.
    std::string before = GameStateOnly();
    AltEnter();
    EXPECT_TRUE(FullScreen());
    EXPECT_FALSE(form->MenuVisible());
    EXPECT_EQ(GameStateOnly(), before);
    EXPECT_EQ(form->DXSpriteEngine.Engine().AllCount(), sprites);
    EXPECT_EQ(form->World.Actors.GamePlayer.Get(), player);
    EXPECT_EQ(form->OnTimer(), &TMainForm::TimerGame);
    // The first tick after the switch runs with a short lag: the game goes
    // on from the same moment.
    const double x = player->X;
    Tick();
    EXPECT_EQ(form->Game.GameState, gs::Playing);
    EXPECT_NEAR(player->X, x, 1.0);

    // Paused: the same picture before and after, in either direction.
    Press('P');
    Tick();
    ASSERT_EQ(form->Game.GameState, gs::Paused);
    const RgbaImage paused = Screen();
    before = GameStateOnly();
    AltEnter();
    EXPECT_FALSE(FullScreen());
    EXPECT_TRUE(form->MenuVisible());
    EXPECT_TRUE(form->ActionToggleWindow.Checked());
    Tick();
    EXPECT_EQ(GameStateOnly(), before);
    EXPECT_TRUE(SamePicture(Screen(), paused));
    EXPECT_EQ(form->Game.GameState, gs::Paused);

    // The summary: the player at the exit door.
    Press('P');
    const TLevelGeometry& g = form->World.Geometry;
    player->X = g.ExitCol * g.CellWidth + 8;
    player->Y = (g.ExitRow + 1) * g.CellHeight - player->Height;
    // The door reacts while on screen: the camera at the level's right end.
    form->DXSpriteEngine.Engine().X = -g.MaxScrollX;
    for (int i = 0; i < 5 && form->Game.GameState != gs::LevelComplete; ++i)
        Tick();
    ASSERT_EQ(form->Game.GameState, gs::LevelComplete);
    for (int i = 0; i < 10; ++i)
        Tick();
    before = GameStateOnly();
    AltEnter();
    EXPECT_TRUE(FullScreen());
    EXPECT_EQ(GameStateOnly(), before);
    AltEnter();
    EXPECT_FALSE(FullScreen());
    EXPECT_EQ(GameStateOnly(), before);
    Tick();
    EXPECT_EQ(form->Game.GameState, gs::LevelComplete);
    clock.Advance(500);
    Press(VK_RETURN); // on to level 2 as if nothing had happened
    EXPECT_EQ(form->Game.GameState, gs::GetReady);
    EXPECT_EQ(form->Game.CurrentLevel, 2);
}

TEST_F(WindowModeTest, MenuKeysWorkInFullScreenAndTheCheckMarkFollowsTheBorder) {
    Start("[Display]\nFullscreen=1\n");
    Play();
    ASSERT_TRUE(FullScreen());
    Press(VK_F7);
    EXPECT_TRUE(form->ActionNoFX.Checked());
    Press(VK_F8);
    EXPECT_TRUE(form->ActionNoSound.Checked());
    Press('P');
    EXPECT_EQ(form->Game.GameState, gs::Paused);
    Press('P');
    Press(VK_ESCAPE);
    EXPECT_EQ(form->Game.GameState, gs::Leaving);

    // Opening "Video" sets the check mark from the border: none in full screen.
    form->ActionToggleWindow.SetChecked(true);
    form->Video1Click();
    EXPECT_FALSE(form->ActionToggleWindow.Checked());
    // Alt+Enter on the title switches without choosing an entry.
    for (int i = 0; i < 200 && form->Game.GameState != gs::TitleStart; ++i)
        Tick();
    ASSERT_EQ(form->Game.GameState, gs::TitleStart);
    clock.Advance(500);
    AltEnter();
    EXPECT_FALSE(FullScreen());
    EXPECT_EQ(form->Game.GameState, gs::TitleStart);
    form->ActionToggleWindow.SetChecked(false);
    form->Video1Click();
    EXPECT_TRUE(form->ActionToggleWindow.Checked());
}

TEST_F(WindowModeTest, ScaleFollowsTheScreenAndTheMode) {
    platform::TScreenInfo screen;
    screen.Width = screen.UsableWidth = 2560;
    screen.Height = 1440;
    screen.UsableHeight = 1400;
    Start(nullptr, screen);
    EXPECT_EQ(form->DXDraw.Scale(), 2); // the window, with room around it
    clock.Advance(500);
    AltEnter();
    EXPECT_EQ(form->DXDraw.Scale(), 3); // the whole screen
}

TEST_F(WindowModeTest, CreditsScrollRestartAndLockOut) {
    Start();
    clock.Advance(500);
    Press(VK_DOWN);
    Press(VK_RETURN);
    ASSERT_EQ(form->Game.GameState, gs::Credits);
    EXPECT_EQ(form->Game.CreditsScrollY, 480);

    // The two sprites: the tiled background from the top left, the figure in
    // the lower right corner, all 11 frames once a second.
    TBgSprite* background = form->CreditsBackground.Get();
    TImageSprite* figure = form->CreditsFigure.Get();
    ASSERT_NE(background, nullptr);
    ASSERT_NE(figure, nullptr);
    EXPECT_TRUE(background->Tile);
    EXPECT_EQ(background->Width, 200);
    EXPECT_EQ(background->Height, 201);
    EXPECT_EQ(figure->X, 576);
    EXPECT_EQ(figure->Y, 389);
    EXPECT_EQ(figure->AnimCount, 11);
    EXPECT_DOUBLE_EQ(figure->AnimSpeed, 11 / 1000.0);
    EXPECT_EQ(form->DXSpriteEngine.Engine().AllCount(), 0); // never among the game's sprites

    // 64 pixels a second upward; the background 120 a second downward.
    Tick(1000);
    EXPECT_DOUBLE_EQ(form->Game.CreditsScrollY, 416);
    EXPECT_DOUBLE_EQ(background->Y, 120);
    const RgbaImage shot = Screen();
    // The background's rows show through: green rising with the row, 120
    // rows down.
    EXPECT_NEAR(shot.At(5, 130)[1], 10, 3);
    EXPECT_NEAR(shot.At(5, 320)[1], 200, 4);
    EXPECT_EQ(shot.At(5, 130)[0], 0);

    // 69 lines of 32 pixels and a quarter screen: 43.875 s from entering to
    // the first restart below the screen.
    form->Game.CreditsScrollY = 480;
    uint32_t elapsed = 0;
    double last = form->Game.CreditsScrollY;
    while (elapsed < 60000) {
        Tick(16);
        elapsed += 16;
        if (form->Game.CreditsScrollY > last) break;
        last = form->Game.CreditsScrollY;
    }
    EXPECT_GE(elapsed, 43875u);
    EXPECT_LT(elapsed, 43875u + 16);
    EXPECT_EQ(form->Game.CreditsScrollY, 480);

    // A line is drawn while any row of it can be seen: the first line's
    // glyphs (white bars on the test font) show at the top with one row left.
    form->Game.CreditsSpeed = 0;
    form->Game.CreditsScrollY = -31;
    Tick(1);
    bool white = false;
    for (int x = 16; x < 48; ++x)
        white = white || Screen().At(x, 0)[0] == 255;
    EXPECT_TRUE(white);
    form->Game.CreditsScrollY = -32;
    Tick(1);
    white = false;
    for (int x = 16; x < 48; ++x)
        white = white || Screen().At(x, 0)[0] == 255;
    EXPECT_FALSE(white);

    // Keys: each is consumed; the one after the lock-out returns to the title.
    Press(VK_DOWN);
    EXPECT_EQ(form->Game.GameState, gs::TitleStart);
    clock.Advance(500);
    Press(VK_DOWN);
    Press(VK_RETURN);
    ASSERT_EQ(form->Game.GameState, gs::Credits);
    EXPECT_EQ(form->Game.CreditsScrollY, 480); // from below again
    clock.Advance(499);
    Press('A');
    EXPECT_EQ(form->Game.GameState, gs::Credits);
    clock.Advance(1);
    int key = 'A';
    form->KeyDown(key, 0);
    EXPECT_EQ(key, 0);
    EXPECT_EQ(form->Game.GameState, gs::TitleStart);
    // The background goes on from where it was left.
    EXPECT_GT(background->Y, 120);
}

TEST_F(WindowModeTest, CreditsWithoutTheirPicturesStillScroll) {
    std::filesystem::remove(dir / "GFX/Credits.dxg");
    Start();
    EXPECT_TRUE(Logged("Credits pictures"));
    EXPECT_EQ(form->CreditsBackground.Get(), nullptr);
    clock.Advance(500);
    Press(VK_DOWN);
    Press(VK_RETURN);
    Tick(1000);
    EXPECT_DOUBLE_EQ(form->Game.CreditsScrollY, 416);
}
