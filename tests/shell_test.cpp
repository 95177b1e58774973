// The main window's state machine, run headless on a simulated clock.
#include "app/MainForm.h"
#include "level/CryptedINI.h"
#include "media/MusicPlayer.h"
#include "platform/Clock.h"
#include "common/Paths.h"
#include "tests/support/TestData.h"
#include "tests/support/TestSupport.h"
#include "sprites/PlayerSprite.h"
#include "tools/Debug.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

using namespace varnok;

namespace {

class RecordingMusic final : public TMusicPlayer {
public:
    std::vector<std::string>* log;
    explicit RecordingMusic(std::vector<std::string>* l) : log(l) {}
    void OpenModule(const std::string& file) override { log->push_back("open " + file); }
    void Resume() override { log->push_back("resume"); }
    void Halt() override { log->push_back("halt"); }
    void Mute() override { log->push_back("mute"); }
    void Unmute() override { log->push_back("unmute"); }
};

struct ShellTest : ::testing::Test {
    test::TempDir dir;
    platform::SimulatedClock clock{10000};
    platform::ScopedClock clockScope{clock};
    platform::Application app{true};
    std::unique_ptr<TMemIniFileCrypted> levelStore;
    std::unique_ptr<TMemIniFileCrypted> globalStore;
    std::unique_ptr<TMainForm> form;
    std::vector<std::string> music;

    void Start(std::vector<std::string> params = {}, const std::string& levelIni = test::TestLevelIni(2),
               const std::string& globalIni = "[Menu]\nMOD=title.mod\n[Credits]\nMOD=credits.mod\n"
                                              "[Level1]\nMOD=one.mod\nName=Test 1\n[Level2]\nName=Test 2\n") {
        test::WriteTestGame(dir.Path().string(), 2);
        test::WriteTestDataFolder(dir.Path().string(), levelIni, globalIni);
        SetProgramFolder(dir.Path().string());
        levelStore = std::make_unique<TMemIniFileCrypted>(dir / "DAT/LEVEL.INI");
        globalStore = std::make_unique<TMemIniFileCrypted>(dir / "DAT/GLOBAL.INI");
        form = std::make_unique<TMainForm>(app, *levelStore, *globalStore, std::move(params));
        form->MusicPlayer = std::make_unique<RecordingMusic>(&music);
        form->FormCreate();
        form->FormShow();
    }
    void Tick(uint32_t ms = 16) {
        clock.Advance(ms);
        form->Idle();
    }
    void Wait(uint32_t ms) { clock.Advance(ms); }
    void Press(int key, int shift = 0) {
        int k = key;
        form->KeyDown(k, shift);
        k = key;
        form->KeyUp(k, shift);
    }
    char State() const { return form->Game.GameState; }
    // The module file opened last.
    std::string LastOpened() const {
        for (auto it = music.rbegin(); it != music.rend(); ++it)
            if (it->rfind("open ", 0) == 0) return *it;
        return "";
    }
};

} // namespace

TEST_F(ShellTest, StartsAtTheTitleWithItsMusicAndLocksKeysFor500Ms) {
    Start();
    EXPECT_EQ(State(), gs::TitleStart);
    EXPECT_EQ(form->OnTimer(), &TMainForm::TimerTitle);
    EXPECT_EQ(form->OnKeyUp(), nullptr);
    // The title's music plays from the first frame: the game is in front.
    ASSERT_EQ(music.size(), 2u);
    EXPECT_NE(music[0].find("title.mod"), std::string::npos);
    EXPECT_EQ(music[1], "resume");

    // Escape and Enter are swallowed like any other key inside the lock-out.
    Wait(499);
    int key = VK_ESCAPE;
    form->KeyDown(key, 0);
    EXPECT_EQ(key, 0);
    EXPECT_FALSE(app.Terminated());
    Press(VK_RETURN);
    EXPECT_EQ(State(), gs::TitleStart);
    Wait(1);
    Press(VK_ESCAPE);
    EXPECT_TRUE(app.Terminated());
}

TEST_F(ShellTest, TitleSelectionWrapsAndEntersGameOrCredits) {
    Start();
    Wait(500);
    Press(VK_UP);
    EXPECT_EQ(State(), gs::TitleExit);
    Press(VK_DOWN);
    EXPECT_EQ(State(), gs::TitleStart);
    Press(VK_DOWN);
    EXPECT_EQ(State(), gs::TitleCredits);
    Press(VK_RETURN, ssAlt); // Alt+Enter chooses nothing
    EXPECT_EQ(State(), gs::TitleCredits);
    Press(VK_RETURN);
    EXPECT_EQ(State(), gs::Credits);
    EXPECT_EQ(form->OnTimer(), &TMainForm::TimerCredits);
    EXPECT_EQ(form->Game.CreditsSpeed, 64);
    EXPECT_EQ(form->Game.CreditsScrollY, 480);
    EXPECT_NE(LastOpened().find("credits.mod"), std::string::npos);

    Press('X'); // inside the new lock-out
    EXPECT_EQ(State(), gs::Credits);
    Wait(500);
    Press('X');
    EXPECT_EQ(State(), gs::TitleStart);
    EXPECT_EQ(form->OnKeyDown(), &TMainForm::KeyDownTitle);
}

TEST_F(ShellTest, GameStatesFollowTheTransitionTable) {
    Start();
    Wait(500);
    Press(VK_RETURN);
    EXPECT_EQ(State(), gs::GetReady);
    EXPECT_EQ(form->OnKeyUp(), &TMainForm::KeyUpGame);
    EXPECT_EQ(form->Game.GetReadyTick, platform::GetTickCount());
    EXPECT_EQ(form->Level.LevelCount, 2);
    EXPECT_TRUE(form->FadeActive);
    EXPECT_FALSE(form->FadeOut);
    EXPECT_NE(LastOpened().find("one.mod"), std::string::npos);

    // Get ready ends 5000 ms after it began, checked every tick.
    Tick(5000);
    EXPECT_EQ(State(), gs::GetReady);
    Tick(1);
    EXPECT_EQ(State(), gs::Playing);

    Press('P');
    EXPECT_EQ(State(), gs::Paused);
    EXPECT_TRUE(form->ActionPause.Checked());
    Press(VK_F1);
    EXPECT_EQ(State(), gs::Playing);
    EXPECT_FALSE(form->ActionPause.Checked());

    Press(VK_ESCAPE);
    EXPECT_EQ(State(), gs::Leaving);
    EXPECT_TRUE(form->FadeActive);
    EXPECT_TRUE(form->FadeOut);
    Press('P'); // no pause while leaving
    EXPECT_EQ(State(), gs::Leaving);
}

TEST_F(ShellTest, AnyKeyStartsTheLevelAndGameOverReturnsToTitle) {
    Start();
    Wait(500);
    Press(VK_RETURN);
    Wait(500);
    int key = VK_ESCAPE; // in get ready, even Escape starts the level
    form->KeyDown(key, 0);
    EXPECT_EQ(key, 0);
    EXPECT_EQ(State(), gs::Playing);

    form->Game.GameState = gs::GameOver;
    Press(VK_F11); // other keys still reach the debug toggles
    EXPECT_TRUE(form->Game.ShowDebugText);
    Press('G', ssAlt);
    EXPECT_TRUE(form->Game.GodModeOn);
    EXPECT_TRUE(form->ActionGodMode.Checked());
    EXPECT_EQ(State(), gs::GameOver);
    Press(VK_RETURN);
    EXPECT_EQ(State(), gs::TitleStart);
    EXPECT_NE(LastOpened().find("title.mod"), std::string::npos);
}

TEST_F(ShellTest, ModifierFlagsFollowKeyEventsButNotInsideTheLockOut) {
    Start();
    Wait(500);
    Press(VK_RETURN);
    Wait(500);
    Press('A'); // starts the level
    int key = VK_CONTROL;
    form->KeyDown(key, ssCtrl | ssShift);
    EXPECT_TRUE(form->Game.CtrlDown);
    EXPECT_TRUE(form->World.ShiftDown);
    key = VK_SHIFT;
    form->KeyUp(key, ssCtrl);
    EXPECT_TRUE(form->Game.CtrlDown);
    EXPECT_FALSE(form->World.ShiftDown);

    // A Ctrl released inside the lock-out still clears the flag (or the player
    // would go on jumping); the key itself is swallowed.
    form->Game.GameState = gs::GetReady;
    form->SetStateEvents();
    key = VK_CONTROL;
    form->KeyUp(key, 0);
    EXPECT_FALSE(form->Game.CtrlDown);
    EXPECT_EQ(key, 0);
}

// Keys released while the game is not in front never reach it: losing the
// focus (Alt+Tab) ends every modifier flag, and a release on the title or
// the credits ends its flag as it does in the game.
TEST_F(ShellTest, ModifierFlagsEndWithTheFocusAndOnEveryScreen) {
    Start();
    Wait(500);
    Press(VK_RETURN);
    Wait(500);
    Press('A'); // starts the level
    auto hold = [&](int shift) {
        int key = VK_MENU;
        form->KeyDown(key, shift);
    };
    auto flags = [&] { return std::vector<bool>{form->Game.CtrlDown, form->World.ShiftDown, form->AltDown}; };
    hold(ssCtrl | ssShift | ssAlt);
    ASSERT_EQ(flags(), std::vector<bool>({true, true, true}));
    form->AppDeactivate();
    EXPECT_EQ(flags(), std::vector<bool>({false, false, false}));
    form->AppActivate();

    for (const char screen : {gs::TitleStart, gs::Credits}) {
        hold(ssCtrl | ssAlt);
        form->Game.GameState = screen;
        form->SetStateEvents();
        Wait(500);
        int key = VK_CONTROL;
        form->KeyUp(key, ssAlt);
        EXPECT_EQ(flags(), std::vector<bool>({false, false, true})) << screen;
        key = VK_MENU;
        form->KeyUp(key, 0);
        EXPECT_EQ(flags(), std::vector<bool>({false, false, false})) << screen;
        form->Game.GameState = gs::GetReady;
        form->SetStateEvents();
        Wait(500);
        Press('A');
    }
}

TEST_F(ShellTest, UnhandledStateKeepsTheHandlersAndTheTimerRuns) {
    Start();
    form->Game.GameState = gs::Playing;
    form->SetStateEvents();
    EXPECT_EQ(form->OnTimer(), &TMainForm::TimerTitle);
    EXPECT_TRUE(form->DXTimer.Enabled());
}

TEST_F(ShellTest, PauseActionOutsidePlayOnlyRefreshesItsCheckMark) {
    Start();
    form->ActionPause.SetChecked(true);
    form->ActionPause.Execute();
    EXPECT_EQ(State(), gs::TitleStart);
    EXPECT_FALSE(form->ActionPause.Checked());
    form->Game1Click();
    EXPECT_FALSE(form->MainMenu.FindItem("Pause1")->Enabled);
}

TEST_F(ShellTest, MusicOpensOnlyWhenTheFileChanges) {
    Start();
    const size_t opened = music.size();
    form->PlayMusic(form->Game.CurrentMusicFile);
    EXPECT_EQ(music.size(), opened);
    form->PlayMusic("other.mod");
    form->PlayMusic("other.mod");
    form->PlayMusic("OTHER.mod"); // exact comparison
    EXPECT_EQ(music.size(), opened + 2);
}

TEST_F(ShellTest, ShortcutsWorkInsideTheLockOutAndNeverReachTheScreen) {
    Start();
    int key = VK_F8;
    form->KeyDown(key, 0);
    EXPECT_EQ(key, 0);
    EXPECT_TRUE(form->ActionNoSound.Checked());
    EXPECT_TRUE(form->MainMenu.FindItem("Nosound1")->Checked);
    EXPECT_EQ(music.back(), "mute");
    key = VK_F8;
    form->KeyDown(key, 0);
    EXPECT_EQ(music.back(), "unmute");
    key = VK_F7;
    form->KeyDown(key, 0);
    EXPECT_TRUE(form->ActionNoFX.Checked());
}

TEST_F(ShellTest, DeactivationFreezesAndActivationRestoresTheTimer) {
    Start();
    form->AppDeactivate();
    EXPECT_FALSE(form->DXTimer.Enabled());
    EXPECT_EQ(music.back(), "halt");
    EXPECT_FALSE(form->Idle());
    form->AppActivate();
    EXPECT_TRUE(form->DXTimer.Enabled());
    EXPECT_EQ(music.back(), "resume");

    // A timer that was off before stays off.
    form->DXTimer.SetEnabled(false);
    form->AppDeactivate();
    form->AppActivate();
    EXPECT_FALSE(form->DXTimer.Enabled());
}

TEST_F(ShellTest, ExceptionsInTicksAreLoggedAndTheGameGoesOn) {
    Start();
    DebugLog().Clear();
    DebugLog().SetEcho(false);
    form->DXTimer.OnTimer = [](uint32_t) { throw EListError("boom"); };
    Tick();
    DebugLog().SetEcho(true);
    ASSERT_EQ(DebugLog().Lines().size(), 1u);
    EXPECT_EQ(DebugLog().Lines()[0].rfind("boom at ", 0), 0u);
    EXPECT_TRUE(form->DXTimer.Enabled());
}

// Each screen resumes its music while the game is in front, so the title is
// not silent after a level left from its summary (where the music halted).
TEST_F(ShellTest, EveryScreenResumesItsMusicWhileTheGameIsInFront) {
    Start();
    Wait(500);
    Press(VK_RETURN);
    EXPECT_NE(LastOpened().find("one.mod"), std::string::npos);
    EXPECT_EQ(music.back(), "resume");
    Wait(500);
    Press('A');
    form->HaltMusic(); // the exit reached
    form->Game.GameState = gs::LevelComplete;
    Press(VK_ESCAPE);
    for (int i = 0; i < 40 && State() != gs::TitleStart; ++i) Tick(50);
    ASSERT_EQ(State(), gs::TitleStart);
    EXPECT_NE(LastOpened().find("title.mod"), std::string::npos);
    EXPECT_EQ(music.back(), "resume");
}

// A level that cannot start leaves the game running: the timer and the display
// are back, nothing of the level stays, the screen and the debug log say why,
// and Escape (or Enter) leads back to the title.
TEST_F(ShellTest, FailedLevelStartsShowWhyAndEscapeLeadsBack) {
    Start();
    const std::string tiles = test::ReadFileBytes(dir / "GFX/Level1.dxg");
    auto restoreTiles = [&] { test::WriteFileBytes(dir / "GFX/Level1.dxg", tiles); };
    struct Case {
        const char* name;
        std::function<void()> breakIt, mendIt;
        const char* why;
    };
    const Case cases[] = {
        {"missing tile file", [&] { std::filesystem::remove(dir / "GFX/Level1.dxg"); }, restoreTiles,
         "Cannot open file"},
        {"tile file without tiles", [&] { TPictureCollection().SaveToFile(dir / "GFX/Level1.dxg"); }, restoreTiles,
         "holds no tile picture"},
        {"cut tile file", [&] { test::WriteFileBytes(dir / "GFX/Level1.dxg", tiles.substr(0, 100)); }, restoreTiles,
         "GFX/Level1.dxg"},
        {"bad level value", [&] { levelStore->SetString("Level1Layer3Data", "x", "y"); },
         [&] { levelStore->RemoveKey("Level1Layer3Data", "x"); }, "x=y"},
        {"missing image", [&] { form->Game.PlayerImageName = "Nobody"; },
         [&] { form->Game.PlayerImageName = "Player"; }, "Image 'Nobody' not found"},
        {"start level not stored", [&] { form->Game.StartLevelNumber = 9; },
         [&] { form->Game.StartLevelNumber = 1; }, "Level 9 is not among the 2 levels stored"},
    };
    DebugLog().SetEcho(false);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.breakIt();
        form->Game.GameState = gs::TitleStart;
        form->SetStateEvents();
        DebugLog().Clear();
        Wait(500);
        Press(VK_RETURN);
        EXPECT_EQ(State(), gs::GetReady);
        EXPECT_TRUE(form->DXTimer.Enabled());
        EXPECT_TRUE(form->DXDraw.CanDraw());
        EXPECT_NE(form->LevelStartError.find(c.why), std::string::npos) << form->LevelStartError;
        ASSERT_EQ(DebugLog().Lines().size(), 1u);
        EXPECT_NE(DebugLog().Lines()[0].find(c.why), std::string::npos) << DebugLog().Lines()[0];
        EXPECT_NE(DebugLog().Lines()[0].find(" at "), std::string::npos);
        EXPECT_EQ(form->DXSpriteEngine.Engine().AllCount(), 0);
        EXPECT_EQ(form->World.Actors.GamePlayer.Get(), nullptr);

        // The screen ticks on and does not start the missing level.
        EXPECT_TRUE(form->Idle());
        Tick(6000);
        Tick();
        EXPECT_EQ(State(), gs::GetReady);
        Wait(500);
        Press('A');
        EXPECT_EQ(State(), gs::GetReady);
        EXPECT_EQ(DebugLog().Lines().size(), 1u);
        Press(c.name[0] == 'b' ? VK_RETURN : VK_ESCAPE);
        EXPECT_EQ(State(), gs::TitleStart);
        EXPECT_EQ(form->OnKeyDown(), &TMainForm::KeyDownTitle);
        EXPECT_TRUE(form->DXTimer.Enabled());
        EXPECT_TRUE(form->LevelStartError.empty());
        c.mendIt();
    }

    // The same from a level's summary to the next level, which fails.
    form->Game.GameState = gs::TitleStart;
    form->SetStateEvents();
    Wait(500);
    Press(VK_RETURN);
    ASSERT_EQ(State(), gs::GetReady);
    ASSERT_TRUE(form->LevelStartError.empty()) << form->LevelStartError;
    std::filesystem::remove(dir / "GFX/Level2.dxg");
    form->Game.GameState = gs::LevelComplete;
    Wait(500);
    Press(VK_RETURN);
    EXPECT_EQ(State(), gs::GetReady);
    EXPECT_EQ(form->Game.CurrentLevel, 2);
    EXPECT_TRUE(form->DXTimer.Enabled());
    EXPECT_NE(form->LevelStartError.find("LEVEL2.dxg"), std::string::npos) << form->LevelStartError;
    Wait(500);
    Press(VK_ESCAPE);
    EXPECT_EQ(State(), gs::TitleStart);
    DebugLog().SetEcho(true);
}

// Tiles older than the level's bitmap (its conversion failed) still play, but
// the get-ready screen and the debug log say so.
TEST_F(ShellTest, OlderTilesThanTheBitmapAreReported) {
    Start();
    const auto now = std::filesystem::file_time_type::clock::now();
    std::filesystem::last_write_time(dir / "GFX/Level1.dxg", now - std::chrono::hours(1));
    std::filesystem::last_write_time(dir / "GFX/Level1.bmp", now - std::chrono::minutes(1));
    DebugLog().Clear();
    DebugLog().SetEcho(false);
    Wait(500);
    Press(VK_RETURN);
    DebugLog().SetEcho(true);
    EXPECT_TRUE(form->LevelStartError.empty());
    EXPECT_NE(form->World.Actors.GamePlayer.Get(), nullptr);
    EXPECT_NE(form->LevelNotice.find("Level1.bmp could not be converted"), std::string::npos) << form->LevelNotice;
    ASSERT_EQ(DebugLog().Lines().size(), 1u);
    EXPECT_EQ(DebugLog().Lines()[0].rfind("Level 1: Older tiles", 0), 0u) << DebugLog().Lines()[0];
    Tick();

    // Tiles newer than their bitmap are fine.
    std::filesystem::last_write_time(dir / "GFX/Level1.dxg", now);
    form->Game.GameState = gs::GetReady;
    form->SetStateEvents();
    EXPECT_TRUE(form->LevelNotice.empty());
}

TEST(ShellDebugSwitch, FirstParameterOnlyInAnyCase) {
    struct Case {
        std::vector<std::string> params;
        bool visible;
    };
    for (const Case& c : {Case{{"-kv3916"}, true}, Case{{"-KV3916", "x"}, true}, Case{{"x", "-KV3916"}, false},
                          Case{{}, false}, Case{{"-KV39160"}, false}}) {
        test::TempDir dir;
        test::WriteTestDataFolder(dir.Path().string(), "", "");
        SetProgramFolder(dir.Path().string());
        platform::SimulatedClock clock;
        platform::ScopedClock scope(clock);
        platform::Application app(true);
        TMemIniFileCrypted level(dir / "DAT/LEVEL.INI"), global(dir / "DAT/GLOBAL.INI");
        TMainForm form(app, level, global, c.params);
        form.FormCreate();
        for (const char* menu : {"Debug1", "Layer1", "mnuLevels"})
            EXPECT_EQ(form.MainMenu.FindMenu(menu)->Visible, c.visible) << menu;
        EXPECT_TRUE(form.MainMenu.FindMenu("Game1")->Visible);
    }
}

TEST_F(ShellTest, LevelMenuShowsAtMostFiveLevelsAndPicksTheStartLevel) {
    Start({"-KV3916"}, "[Global]\nTileCount=7\n");
    form->mnuLevelsClick();
    auto* menu = form->MainMenu.FindMenu("mnuLevels");
    ASSERT_EQ(menu->Items.size(), 5u);
    for (auto& item : menu->Items) EXPECT_TRUE(item->Visible);
    EXPECT_TRUE(menu->Items[0]->Checked);

    Wait(500);
    Press(VK_DOWN);
    form->mnuLvl1Click(*menu->Items[2]);
    EXPECT_EQ(form->Game.StartLevelNumber, 3);
    EXPECT_EQ(State(), gs::TitleStart);
    EXPECT_EQ(form->Game.CurrentLevel, 3);
    form->mnuLevelsClick();
    EXPECT_FALSE(menu->Items[0]->Checked);
    EXPECT_TRUE(menu->Items[2]->Checked);

    form->Game.StartLevelNumber = 9; // set by the settings: no item to check
    form->mnuLevelsClick();
    for (auto& item : menu->Items) EXPECT_FALSE(item->Checked);
}

TEST_F(ShellTest, ScoreRollHeartsAndTheDebugCellReport) {
    Start({"-KV3916"});
    Wait(500);
    Press(VK_RETURN);
    Wait(500);
    Press('A');
    ASSERT_EQ(State(), gs::Playing);
    TPlayerSprite* player = form->World.Actors.GamePlayer.Get();
    ASSERT_NE(player, nullptr);
    // The shown score climbs by 5 plus 1/5000 of the gap per millisecond.
    player->Score = 10000;
    form->DrawHud(16);
    EXPECT_EQ(form->Game.ShownScore, 5 + static_cast<int>((10000 - 5) * 16 / 5000.0));
    player->Score = form->Game.ShownScore + 3; // a gap of 5 or less snaps
    form->DrawHud(16);
    EXPECT_EQ(form->Game.ShownScore, player->Score);
    player->Score = 0; // a lower score is not rolled back
    form->DrawHud(16);
    EXPECT_GT(form->Game.ShownScore, 0);

    // Hearts: Health div 20, right-aligned from x 635 leftward (16 px each);
    // lives from x 4 at y 442, 38 px apart.
    platform::Surface& screen = form->DXDraw.BackSurface();
    auto color = [&](int x, int y) { return screen.PixelToColor(screen.GetPixel(x, y)); };
    screen.Fill(0);
    player->Health = 59;
    player->Lives = 2;
    form->DrawHud(16);
    EXPECT_EQ(GetRValue(color(627, 12)), 255); // heart 1
    EXPECT_EQ(GetRValue(color(611, 12)), 255); // heart 2
    EXPECT_EQ(color(595, 12), clBlack);        // no third heart
    EXPECT_GT(GetGValue(color(46, 450)), 200); // life 2
    EXPECT_EQ(color(84, 450), clBlack);        // no third life

    // The no-tiles view draws the bound edges: the ground's top edge is blue.
    form->Game.NoTilesOn = true;
    form->TimerGame(16);
    const int groundTop = 13 * 32 + static_cast<int>(form->DXSpriteEngine.Engine().Y);
    EXPECT_EQ(color(100, groundTop), clBlue);
    EXPECT_EQ(color(100, groundTop - 8), clBlack);
    form->Game.NoTilesOn = false;

    // With the debug switch, a click in play reports the cell under it: the
    // test level's ground starts at row 13.
    form->MouseDown(platform::MouseButton::Left, 0, 40, 13 * 32 + 5);
    EXPECT_EQ(form->Caption(), "1,13 (HByte=0, LByte=15 tile=1)");
    form->Game.GameState = gs::Paused;
    form->MouseDown(platform::MouseButton::Left, 0, 100, 100);
    EXPECT_EQ(form->Caption(), "1,13 (HByte=0, LByte=15 tile=1)");
}

// F7 and F8 are shortcuts with Shift or Ctrl held too (running, jumping):
// the actions run and the screen never sees the key. With Alt held they are
// no shortcuts.
TEST_F(ShellTest, ShortcutKeysWorkWithShiftOrCtrlHeld) {
    Start();
    Wait(500);
    for (int shift : {ssShift, ssCtrl, ssShift | ssCtrl}) {
        const bool sound = form->ActionNoSound.Checked(), fx = form->ActionNoFX.Checked();
        int key = VK_F8;
        form->KeyDown(key, shift);
        EXPECT_EQ(key, 0) << shift;
        EXPECT_NE(form->ActionNoSound.Checked(), sound) << shift;
        key = VK_F7;
        form->KeyDown(key, shift);
        EXPECT_EQ(key, 0) << shift;
        EXPECT_NE(form->ActionNoFX.Checked(), fx) << shift;
    }
    const bool sound = form->ActionNoSound.Checked();
    int key = VK_F8;
    form->KeyDown(key, ssAlt);
    EXPECT_EQ(form->ActionNoSound.Checked(), sound);
}

// Menu commands by name obey the menus as the player sees them: without the
// debug switch the Debug, Layer and Level menus are hidden, the Level menu
// shows only the game's levels, and the actions with keys of their own can
// always be given.
TEST_F(ShellTest, NamedCommandsObeyTheMenusAsThePlayerSeesThem) {
    Start();
    for (const char* hidden : {"ActionEditInternals", "ActionShowDebugWindow", "Layer11", "mnuLvl2"}) {
        EXPECT_NE(form->CommandRefusal(hidden).find("is hidden"), std::string::npos) << hidden;
        EXPECT_FALSE(form->RunNamedCommand(hidden)) << hidden;
    }
    EXPECT_TRUE(form->Dialogs.empty());
    EXPECT_EQ(form->Game.StartLevelNumber, 1);
    EXPECT_FALSE(DebugLog().AlwaysHide());
    for (const char* shown :
         {"ActionAboutInfo", "ActionDirectXInfo", "ActionNoSound", "ActionGodMode", "Exit1"})
        EXPECT_EQ(form->CommandRefusal(shown), "") << shown;

    // With the switch: the game has two levels, so the Level menu has no
    // third item to choose.
    Start({"-KV3916"});
    EXPECT_EQ(form->CommandRefusal("mnuLvl2"), "");
    EXPECT_NE(form->CommandRefusal("mnuLvl3").find("has no item mnuLvl3"), std::string::npos);
    EXPECT_FALSE(form->RunNamedCommand("mnuLvl5"));
    EXPECT_EQ(form->Game.StartLevelNumber, 1);
    EXPECT_TRUE(form->RunNamedCommand("mnuLvl2"));
    EXPECT_EQ(form->Game.StartLevelNumber, 2);
    EXPECT_TRUE(form->RunNamedCommand("ActionEditInternals"));
    EXPECT_EQ(form->Dialogs, std::vector<std::string>{"Internal data"});
}

TEST(PlayerPan, LeftEdgeCentreRightEdge) {
    EXPECT_EQ(TMainForm::PlayerPan(0, 640), -2500);
    EXPECT_EQ(TMainForm::PlayerPan(320, 640), 0);
    EXPECT_EQ(TMainForm::PlayerPan(640, 640), 2500);
    // Trunc, then div 4 toward zero on both sides.
    EXPECT_EQ(TMainForm::PlayerPan(319.9, 640), 0);
    EXPECT_EQ(TMainForm::PlayerPan(300, 640), -156);
    EXPECT_EQ(TMainForm::PlayerPan(340, 640), 156);
}

// Menu commands run inside the error guard: an error in one reaches the debug
// log and the game goes on. Without a window, message boxes are recorded and
// dialogs close at once.
TEST_F(ShellTest, MenuCommandsRunGuardedAndDialogsCloseAtOnceWithoutAWindow) {
    app.SetTitle("VARNOK (freeware version)");
    Start({"-KV3916"});
    DebugLog().Clear();
    DebugLog().Hide();
    DebugLog().SetEcho(false);
    form->ActionGodMode.OnExecute = [] { throw EListError("menu boom"); };
    EXPECT_TRUE(form->RunNamedCommand("ActionGodMode"));
    DebugLog().SetEcho(true);
    ASSERT_EQ(DebugLog().Lines().size(), 1u);
    EXPECT_EQ(DebugLog().Lines()[0].rfind("menu boom at ", 0), 0u);
    EXPECT_TRUE(DebugLog().Visible());
    EXPECT_TRUE(form->DXTimer.Enabled());
    Wait(500);
    Press(VK_DOWN);
    EXPECT_EQ(State(), gs::TitleCredits);
    EXPECT_FALSE(form->RunNamedCommand("ActionNothing"));

    form->RunNamedCommand("ActionAboutInfo");
    ASSERT_EQ(app.MessageBoxes().size(), 1u);
    EXPECT_EQ(app.MessageBoxes()[0].Caption, "VARNOK (freeware version)");
    // The test program carries no version table: no build number.
    EXPECT_EQ(app.MessageBoxes()[0].Text.rfind("VARNOK (freeware version) Beta 1 (Build )\r\n\r\neMail: ", 0), 0u);

    form->RunNamedCommand("ActionEditInternals");
    form->RunNamedCommand("ActionDirectXInfo");
    EXPECT_EQ(form->Dialogs, (std::vector<std::string>{"Internal data", "DirectX Info"}));
    EXPECT_FALSE(form->InternalForm.Visible());
    EXPECT_FALSE(form->DirectXForm.Visible());
    ASSERT_FALSE(form->InternalForm.Tree().empty());
    EXPECT_EQ(form->InternalForm.Tree()[0].Text, "Menu");
    EXPECT_EQ(form->DirectXForm.Info.size(), 12u);

    // Always-hide from the Debug menu, with its check mark.
    platform::MenuItem* item = form->MainMenu.FindItem("Showdebugwindow1");
    form->RunNamedCommand("ActionShowDebugWindow");
    EXPECT_TRUE(DebugLog().AlwaysHide());
    EXPECT_TRUE(item->Checked);
    DebugLog().SetAlwaysHide(false);
    form->Debug1Click();
    EXPECT_FALSE(item->Checked);

    // Menu items without an action run by their name as well.
    form->RunNamedCommand("mnuLvl2");
    EXPECT_EQ(form->Game.StartLevelNumber, 2);
}

namespace {

// A running level in play, with helpers that read the game screen's picture.
struct GameScreenTest : ShellTest {
    void Play() {
        Start();
        Wait(500);
        Press(VK_RETURN);
        Wait(500);
        Press('A');
        ASSERT_EQ(State(), gs::Playing);
    }
    TColor Pixel(int x, int y) {
        platform::Surface& screen = form->DXDraw.BackSurface();
        return screen.PixelToColor(screen.GetPixel(x, y));
    }
    // Black pixels in the 32 x 32 cell at (x, y).
    int BlackIn(int x, int y) {
        int n = 0;
        for (int j = y; j < y + 32; ++j)
            for (int i = x; i < x + 32; ++i) n += Pixel(i, j) == clBlack;
        return n;
    }
    // The first tick count at or after the clock's time that is a multiple of 1000.
    uint32_t NextWholeSecond() const { return (platform::GetTickCount() / 1000 + 1) * 1000; }
};

} // namespace

// A blinking text shows in ticks where (tick count div 500) is odd: from 500
// to 999 of every second, whenever the state began. The status font's glyphs
// are 32 x 32 white bars standing on the glyph's bottom row, so the pause
// text ("Pause", centred: x 320 - 5 * 32 / 2 = 240, y 240 - 32 / 2 = 224)
// has white pixels in row 255 from x 241 on.
TEST_F(GameScreenTest, BlinkingTextsShowInTheOddHalfSecondsOnly) {
    Play();
    form->FadeActive = false; // the level's fade-in would cover the text
    for (const char state : {gs::Paused, gs::GameOver}) {
        SCOPED_TRACE(state);
        form->Game.GameState = state;
        const uint32_t second = NextWholeSecond();
        // "Game over" is 9 glyphs wide: x 320 - 9 * 32 / 2 = 176.
        const int x = state == gs::Paused ? 242 : 178;
        for (const uint32_t at : {0u, 499u, 500u, 999u, 1000u, 1499u, 1500u}) {
            clock.Set(second + at);
            form->TimerGame(16);
            const bool odd = ((second + at) / 500) % 2 == 1;
            EXPECT_EQ(Pixel(x, 255) == clWhite, odd) << "at tick " << second + at;
        }
    }
}

// The get-ready screen: "Level 1:" on row 2 x gw (64), the level's name on
// row 3 x gw (96), and "Get ready" blinking on row 8 x gw (256): with 32-pixel
// glyphs its bottom row is 287, from x 320 - 9 * 32 / 2 = 176 on.
TEST_F(GameScreenTest, GetReadyShowsItsThreeLinesOnTheirRowsAndBlinksTheLast) {
    Start();
    Wait(500);
    Press(VK_RETURN);
    ASSERT_EQ(State(), gs::GetReady);
    form->FadeActive = false; // the fade-in would cover the lines
    const uint32_t second = NextWholeSecond();
    clock.Set(second + 500);
    form->TimerGame(16);
    ASSERT_EQ(State(), gs::GetReady);
    EXPECT_EQ(Pixel(178, 287), clWhite) << "the get-ready text's bottom row";
    EXPECT_NE(Pixel(178, 288), clWhite);
    EXPECT_NE(Pixel(178, 255), clWhite);
    EXPECT_NE(Pixel(178, 319), clWhite);
    // "Level 1:" (8 glyphs from x 192) and "Test 1" (6 glyphs from x 224).
    EXPECT_EQ(Pixel(194, 95), clWhite);
    EXPECT_EQ(Pixel(226, 127), clWhite);
    clock.Set(second + 1000);
    form->TimerGame(16);
    EXPECT_NE(Pixel(178, 287), clWhite) << "off in the even half-second";
    EXPECT_EQ(Pixel(194, 95), clWhite) << "the level lines do not blink";
}

// The test fade item has four patterns: 0 solid black (1024 black pixels in a
// cell), 1 checkered (512), 2 every fourth pixel of every fourth row (64),
// 3 nothing. A fade moves ten patterns per second; the fade-out shows them
// upward (0, 1, 2, 3), the fade-in of a level start downward (3, 2, 1, 0),
// and a fade that has run its four patterns draws nothing.
TEST_F(GameScreenTest, FadesShowTheirPatternsInOrder) {
    Start();
    Wait(500);
    Press(VK_RETURN);
    ASSERT_TRUE(form->FadeActive);
    ASSERT_FALSE(form->FadeOut);
    // Fade position after each tick: 0.4, 1, 2, 3, 4 (the end).
    const uint32_t lags[] = {40, 60, 100, 100, 100};
    std::vector<int> fadeIn;
    for (uint32_t lag : lags) {
        form->TimerGame(lag);
        fadeIn.push_back(BlackIn(480, 160));
    }
    EXPECT_EQ(fadeIn, (std::vector<int>{0, 64, 512, 1024, 0}));
    EXPECT_FALSE(form->FadeActive);

    Wait(500);
    Press('A');
    ASSERT_EQ(State(), gs::Playing);
    Press(VK_ESCAPE);
    ASSERT_TRUE(form->FadeActive);
    ASSERT_TRUE(form->FadeOut);
    std::vector<int> fadeOut;
    for (uint32_t lag : lags) {
        form->TimerGame(lag);
        fadeOut.push_back(BlackIn(480, 160));
    }
    EXPECT_EQ(fadeOut, (std::vector<int>{1024, 512, 64, 0, 0}));
}

// Keypad digits nudge the player by one pixel per key press, in the
// direction of the key on the pad (7 8 9 up, 1 2 3 down, 1 4 7 left,
// 3 6 9 right); 5 stays.
TEST_F(GameScreenTest, KeypadKeysNudgeThePlayerTheirWayByOnePixel) {
    Play();
    TPlayerSprite* player = form->World.Actors.GamePlayer.Get();
    ASSERT_NE(player, nullptr);
    struct Case {
        int key, dx, dy;
    };
    for (const Case c : {Case{VK_NUMPAD1, -1, 1}, Case{VK_NUMPAD2, 0, 1}, Case{VK_NUMPAD3, 1, 1},
                         Case{VK_NUMPAD4, -1, 0}, Case{VK_NUMPAD5, 0, 0}, Case{VK_NUMPAD6, 1, 0},
                         Case{VK_NUMPAD7, -1, -1}, Case{VK_NUMPAD8, 0, -1}, Case{VK_NUMPAD9, 1, -1}}) {
        const double x = player->X, y = player->Y;
        Press(c.key);
        EXPECT_EQ(player->X - x, c.dx) << "keypad " << c.key - VK_NUMPAD0;
        EXPECT_EQ(player->Y - y, c.dy) << "keypad " << c.key - VK_NUMPAD0;
    }
    EXPECT_FALSE(form->Game.GodModeOn) << "keypad 7 without Alt only nudges";
}

// The speed trail samples the player's history every (frame rate div 10)
// entries, at least every entry: about a tenth of a second apart at any rate.
TEST_F(GameScreenTest, TheTrailSpacingFollowsTheFrameRate) {
    Play();
    TPlayerSprite* player = form->World.Actors.GamePlayer.Get();
    ASSERT_NE(player, nullptr);
    struct Case {
        uint32_t tickMs;
        int frameRate, step;
    };
    for (const Case c : {Case{20, 50, 5}, Case{40, 25, 2}, Case{125, 8, 1}}) {
        SCOPED_TRACE(c.tickMs);
        // Two seconds of ticks of this length: the frame rate is measured once a second.
        for (uint32_t t = 0; t < 2000; t += c.tickMs) Tick(c.tickMs);
        ASSERT_EQ(form->DXTimer.FrameRate(), c.frameRate);
        player->HistoryCount = TPlayerSprite::HistorySize;
        for (int k = 0; k < TPlayerSprite::HistorySize; ++k)
            player->PositionHistory[static_cast<size_t>(k)] = {100 + k, 1000 + k};
        player->TraceLength = TPlayerSprite::MaxTraceLength;
        form->World.ShiftDown = true;
        form->PlaceTrace();
        for (int i = 0; i <= TPlayerSprite::MaxTraceLength; ++i) {
            TImageSprite* trace = form->World.Actors.TraceSprites[static_cast<size_t>(i)].Get();
            ASSERT_NE(trace, nullptr);
            EXPECT_TRUE(trace->Visible) << i;
            EXPECT_EQ(trace->Y, 1000 + i * c.step) << "trace " << i;
        }
        form->World.ShiftDown = false;
    }
}

// However long a tick was (a stalled machine, a debugger), the rolling score
// lands on the real score and never passes it.
TEST_F(GameScreenTest, TheShownScoreNeverPassesTheScoreAfterALongTick) {
    Play();
    TPlayerSprite* player = form->World.Actors.GamePlayer.Get();
    ASSERT_NE(player, nullptr);
    // A tick of 5 s closes the whole gap: 5 + 5000 x 9995 / 5000 = 10000.
    player->Score = 10000;
    form->Game.ShownScore = 0;
    form->DrawHud(5000);
    EXPECT_EQ(form->Game.ShownScore, 10000);
    for (uint32_t lag : {5001u, 6000u, 20000u, 4000000000u}) {
        form->Game.ShownScore = 0;
        form->DrawHud(lag);
        EXPECT_EQ(form->Game.ShownScore, 10000) << "after a tick of " << lag << " ms";
    }
}
