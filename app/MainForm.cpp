#include "app/MainForm.h"

#include "app/Gamepad.h"

#include "common/Exception.h"
#include "common/Math.h"
#include "common/Paths.h"
#include "common/StrUtils.h"
#include "level/CryptedINI.h"
#include "media/MusicPlayer.h"
#include "media/NPMOD.h"
#include "sprites/MySprite.h"
#include "sprites/PlayerSprite.h"
#include "sprites/Population.h"
#include "platform/Clock.h"
#include "platform/Window.h"
#include "tools/Debug.h"
#include "tools/ToolWindows.h"

#include <algorithm>
#include <cinttypes>
#include <filesystem>

namespace varnok {

using platform::GetTickCount;

TMainForm::TMainForm(platform::Application& app, TMemIniFileCrypted& levelStore, TMemIniFileCrypted& globalStore,
                     std::vector<std::string> params)
    : app_(app), LevelStore(levelStore), GlobalStore(globalStore), DXDraw(app.MainWindow()), DXSound(app.Headless()),
      DirectXForm(TGameInfo(TSystemSources{}, platform::MediaLibraryVersion())), params_(std::move(params)) {
    MusicPlayer = std::make_unique<TModPlayer>(
        DXSound, [this](const std::string& text, const std::string& caption) { app_.ShowMessage(text, caption); },
        [this] { app_.Beep(); });
    DXSpriteEngine.Engine().World = &World;
    DXDraw.OnInitialize = [this] { DXDrawInitialize(); };
    DXDraw.OnFinalize = [this] { DXDrawFinalize(); };
    DXDraw.OnBeforeFlip = [this] { BeforeFlip(); };
    app_.SetPadKeyMap([this](platform::PadButton button) { return GamePadKey(button, Game.GameState); });
    DXSpriteEngine.SetDXDraw(&DXDraw);
    DXSpriteEngineCredits.SetDXDraw(&DXDraw);
    DXTimer.OnTimer = [this](uint32_t lag) {
        if (onTimer_) (this->*onTimer_)(lag);
    };
    CreateMenus();
    if (auto* window = app_.MainWindow()) {
        window->SetMenuBar(&MainMenu);
        toolWindows_ = std::make_unique<TToolWindows>(DebugLog(), InternalForm, DirectXForm,
                                                      [window](std::function<void()> command) {
                                                          window->Post(std::move(command));
                                                      });
        window->SetToolDrawer([this] { toolWindows_->Draw(); });
    }
}

TMainForm::~TMainForm() {
    // Sprites go first, while everything they refer to is still there.
    DXSpriteEngine.Engine().Clear();
    DXSpriteEngineCredits.Engine().Clear();
    if (auto* window = app_.MainWindow()) {
        window->SetMenuBar(nullptr);
        window->SetToolDrawer(nullptr);
    }
}

void TMainForm::CreateMenus() {
    using platform::Menu;
    using platform::MenuItem;

    ActionExit.OnExecute = [this] { Close(); };
    ActionPause.OnExecute = [this] {
        if (Game.GameState == gs::Playing)
            Game.GameState = gs::Paused;
        else if (Game.GameState == gs::Paused)
            Game.GameState = gs::Playing;
        ActionPause.SetChecked(Game.GameState == gs::Paused);
    };
    ActionNoSound.OnExecute = [this] {
        ActionNoSound.SetChecked(!ActionNoSound.Checked());
        if (MusicPlayer) {
            if (ActionNoSound.Checked())
                MusicPlayer->Mute();
            else
                MusicPlayer->Unmute();
        }
    };
    ActionNoFX.OnExecute = [this] {
        ActionNoFX.SetChecked(!ActionNoFX.Checked());
        for (int i = 0; i < DXWaveListPlayer.Count(); ++i)
            DXWaveListPlayer.Items(i).SetVolume(ActionNoFX.Checked() ? -10000 : 0);
    };
    ActionGodMode.OnExecute = [this] {
        Game.GodModeOn = !Game.GodModeOn;
        ActionGodMode.SetChecked(Game.GodModeOn);
    };
    ActionNoTiles.OnExecute = [this] {
        Game.NoTilesOn = !Game.NoTilesOn;
        ActionNoTiles.SetChecked(Game.NoTilesOn);
    };
    ActionToggleWindow.OnExecute = [this] { ActionToggleWindowExecute(); };
    ActionToggleWindow.SetChecked(true); // the game starts in a window
    ActionEditInternals.OnExecute = [this] { ShowInternalForm(); };
    ActionDirectXInfo.OnExecute = [this] { ShowDirectXForm(); };
    ActionAboutInfo.OnExecute = [this] { app_.ShowMessage(AboutText(app_.Title(), VI)); };
    ActionShowDebugWindow.OnExecute = [this] {
        DebugLog().SetAlwaysHide(!DebugLog().AlwaysHide());
        ActionShowDebugWindow.SetChecked(DebugLog().AlwaysHide());
    };

    Menu& game = MainMenu.Add("Game1", "G&ame");
    game.OnOpen = [this] { Game1Click(); };
    ActionPause.Link(game.Add("Pause1", ""));
    ActionExit.Link(game.Add("Exit1", ""));

    Menu& video = MainMenu.Add("Video1", "&Video");
    video.OnOpen = [this] { Video1Click(); };
    ActionToggleWindow.Link(video.Add("Windowmode2", ""));

    Menu& music = MainMenu.Add("Music1", "&Music");
    ActionNoSound.Link(music.Add("Nosound1", ""));
    ActionNoFX.Link(music.Add("NoFX1", ""));

    Menu& debug = MainMenu.Add("Debug1", "&Debug");
    debug.OnOpen = [this] { Debug1Click(); };
    ActionGodMode.Link(debug.Add("Godmode1", ""));
    ActionNoTiles.Link(debug.Add("Notiles1", ""));
    ActionEditInternals.Link(debug.Add("Editphysics1", ""));
    ActionShowDebugWindow.Link(debug.Add("Showdebugwindow1", ""));

    Menu& layer = MainMenu.Add("Layer1", "Layer");
    static const char* const layerCaptions[] = {"Layer 1 (Rain, snow)", "Layer 2 (Z+)", "Layer 3 (Boundaries)",
                                                "Layer 4 (Z-)",         "Layer 5",      "Layer 6",
                                                "Layer 7 (Sky)"};
    for (int i = 0; i < 7; ++i) {
        MenuItem& item = layer.Add("Layer" + std::to_string(i + 1) + "1", layerCaptions[i]);
        item.Checked = true;
        item.OnClick = [this](MenuItem& clicked) { LayerClick(clicked); };
        layerItems_.push_back(&item);
    }

    Menu& level = MainMenu.Add("mnuLevels", "Level");
    level.OnOpen = [this] { mnuLevelsClick(); };
    for (int i = 1; i <= 5; ++i) {
        MenuItem& item = level.Add("mnuLvl" + std::to_string(i), std::to_string(i));
        item.Tag = i;
        item.Visible = i == 1;
        item.OnClick = [this](MenuItem& clicked) { mnuLvl1Click(clicked); };
        levelItems_.push_back(&item);
    }

    Menu& info = MainMenu.Add("Info1", "&Info");
    ActionDirectXInfo.Link(info.Add("DirectX1", ""));
    ActionAboutInfo.Link(info.Add("About1", ""));
}

void TMainForm::FormCreate() {
    // The display: settings, then the surface (twice, as the window takes the
    // display's size in between).
    SetTimer(false);
    DXDraw.Finalize();
    LoadDisplaySettings();
    DXDraw.Initialize();
    SetTimer(true);
    DXDraw.Initialize();

    // The debug switch: first parameter only, any letter case.
    DebugSwitch = !params_.empty() && UpperCase(params_[0]) == "-KV3916";
    for (const char* name : {"Debug1", "Layer1", "mnuLevels"}) MainMenu.FindMenu(name)->Visible = DebugSwitch;

    VI.SetFileName(ExecutablePath());
    MusicFile = DataPath("SND\\" + GlobalStore.GetString("Menu", "MOD", ""));
    Game.StartLevelNumber = GlobalStore.GetInteger("Game", "StartLevel", 1);
    Game.ReleaseOnFinalize = true;

    // Pictures and fonts.
    DXImageList.LoadFromFile(DataPath("GFX\\Images.dxg"));
    const std::pair<TDXFontEx*, const char*> fonts[] = {
        {&DXFont, "FONTsmall"}, {&DXFontStatus, "FONTlarge"}, {&DXFontInfo, "FONTsmall"},
        {&DXFontCopyright, "CopyrightFont"}};
    for (auto [font, item] : fonts) {
        font->SetDXImageList(&DXImageList);
        font->SetFont(item);
    }

    DXWaveListPlayer.LoadFromFile(DataPath("SND\\Sounds.dxw"));

    SetTimer(true);
    TimerWasEnabled = DXTimer.Enabled();

    CreateCreditsSprites();

    // The pictures' colours become the palette of 8-bit display modes.
    DXImageList.Items.MakeColorTable();
    for (size_t i = 0; i < DXImageList.Items.ColorTable.size(); ++i) {
        const TRGBQuad& q = DXImageList.Items.ColorTable[i];
        DXDraw.DefaultPalette[i] = RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
    }
    DXDraw.ColorTable = DXDraw.DefaultPalette;
    DXDraw.UpdatePalette();
}

void TMainForm::FormShow() {
    if (Game.ModeSwitching) return;
    Game.GameState = gs::TitleStart;
    SetStateEvents();
}

void TMainForm::SetStateEvents() {
    SetTimer(false);
    // Whatever happens below, a level start that fails included, the frame
    // timer runs again afterwards: a game without ticks could never recover.
    struct TimerOn {
        TMainForm& form;
        ~TimerOn() { form.SetTimer(true); }
    } timerOn{*this};
    DXInput.PollInput();
    Game.InputLockUntil = GetTickCount() + 500;
    // A looping sound (an auto-move path's) ends with the screen it belongs to.
    DXWaveListPlayer.StopLooped();
    LevelStartError.clear();
    LevelNotice.clear();
    switch (Game.GameState) {
    case gs::TitleStart:
        MusicFile = DataPath("SND\\" + GlobalStore.GetString("Menu", "MOD", ""));
        onTimer_ = &TMainForm::TimerTitle;
        onKeyDown_ = &TMainForm::KeyDownTitle;
        onKeyUp_ = nullptr;
        Game.CurrentLevel = static_cast<uint16_t>(Game.StartLevelNumber);
        PlayMusic(MusicFile);
        break;
    case gs::GetReady:
        onTimer_ = &TMainForm::TimerGame;
        onKeyDown_ = &TMainForm::KeyDownGame;
        onKeyUp_ = &TMainForm::KeyUpGame;
        Game.ShownScore = 0;
        try {
            InitLevel(Game.CurrentLevel);
        } catch (const std::exception& e) {
            // Nothing of the level stays; the get-ready screen says why it
            // did not start, and the error goes on to the exception handler.
            AbandonLevel(e.what());
            throw;
        }
        // What the start-up could not save shows once, on the first level's
        // get-ready screen.
        if (!StartupNotice.empty()) {
            LevelNotice = LevelNotice.empty() ? StartupNotice : LevelNotice + " " + StartupNotice;
            StartupNotice.clear();
        }
        StartFade(false);
        PlayMusic(MusicFile);
        break;
    case gs::Credits:
        MusicFile = DataPath("SND\\" + GlobalStore.GetString("Credits", "MOD", ""));
        onTimer_ = &TMainForm::TimerCredits;
        onKeyDown_ = &TMainForm::KeyDownCredits;
        onKeyUp_ = nullptr;
        PlayMusic(MusicFile);
        break;
    default: app_.ShowMessage("Unhandled game state in SetStateEvents"); return;
    }
    // Each screen's music plays while the game is in front: from the first
    // title frame on, and also after a level left while its music was halted.
    if (app_.Active()) ResumeMusic();
}

void TMainForm::RestartLevelKeepingPlace() {
    const char state = Game.GameState;
    if (state != gs::GetReady && state != gs::Playing && state != gs::Paused && state != gs::LevelComplete &&
        state != gs::GameOver)
        return; // The next level start takes the new level.
    TSpriteEngine& engine = DXSpriteEngine.Engine();
    std::optional<std::array<double, 4>> place;
    if (const TPlayerSprite* p = World.Actors.GamePlayer.Get(); p && state != gs::LevelComplete && state != gs::GameOver)
        place = std::array<double, 4>{p->X, p->Y, engine.X, engine.Y};
    Game.GameState = gs::GetReady;
    SetStateEvents();
    TPlayerSprite* player = World.Actors.GamePlayer.Get();
    if (!player || !LevelStartError.empty()) return;
    if (state == gs::Playing || state == gs::Paused) {
        Game.GameState = gs::Playing;
        player->LevelStartTick = GetTickCount();
    }
    if (!place) return;
    // The spot must lie in the level and be free of bounds in the new map.
    const TLevelGeometry& g = World.Geometry;
    const TMapItem& map = World.BoundMap();
    const double x = (*place)[0], y = (*place)[1];
    if (g.CellWidth <= 0 || g.CellHeight <= 0 || x < 0 || y < 0) return;
    const int64_t c0 = static_cast<int64_t>(x) / g.CellWidth, r0 = static_cast<int64_t>(y) / g.CellHeight;
    const int64_t c1 = (static_cast<int64_t>(x) + player->Width - 1) / g.CellWidth;
    const int64_t r1 = (static_cast<int64_t>(y) + player->Height - 1) / g.CellHeight;
    if (c1 >= map.Width() || r1 >= map.Height()) return;
    for (int64_t r = r0; r <= r1; ++r)
        for (int64_t c = c0; c <= c1; ++c)
            if (map.BoundLow(static_cast<int32_t>(c), static_cast<int32_t>(r)) != 0) return;
    player->X = x;
    player->Y = y;
    engine.X = std::clamp<double>((*place)[2], -std::max(g.MaxScrollX, 0), 0);
    engine.Y = std::clamp<double>((*place)[3], -std::max(g.MaxScrollY, 0), 0);
}

void TMainForm::AbandonLevel(const std::string& why) {
    DXSpriteEngine.Engine().Clear();
    DXSpriteEngine.Engine().X = 0;
    DXSpriteEngine.Engine().Y = 0;
    DXImageListLayer.Items.Clear();
    World.Actors = TActorRegistry{};
    World.Lists.Clear();
    World.Geometry = TLevelGeometry{};
    World.InfoText.clear();
    Level.CurrentTileSet = TTileSetItem();
    LevelStartError = why.empty() ? "The level could not be started." : why;
}

void TMainForm::StartFade(bool out) {
    FadeActive = true;
    FadePos = 0;
    FadeOut = out;
}

void TMainForm::PlayMusic(const std::string& file) {
    if (file == Game.CurrentMusicFile) return;
    if (MusicPlayer) MusicPlayer->OpenModule(file);
    Game.CurrentMusicFile = file;
}

int TMainForm::PlayerPan(double worldX, int engineWidth) {
    if (engineWidth <= 0) return 0;
    const int half = engineWidth / 2;
    if (worldX <= half) return -static_cast<int>(Trunc((half - worldX) * 20000 / engineWidth) / 4);
    return static_cast<int>(Trunc((worldX - half) * 20000 / engineWidth) / 4);
}

template <typename F> void TMainForm::Guarded(F&& f) {
    try {
        f();
    } catch (const Exception& e) {
        AppException(e, e.Address());
    } catch (const std::exception& e) {
        // The standard library's errors do not say where they were raised.
        AppException(e, nullptr);
    }
}

void TMainForm::RunCommand(const std::function<void()>& command) {
    Guarded([&] { command(); });
}

TAction* TMainForm::FindAction(const std::string& name) {
    for (TAction* action : {&ActionExit, &ActionPause, &ActionToggleWindow, &ActionNoSound, &ActionNoFX,
                            &ActionGodMode, &ActionNoTiles, &ActionEditInternals, &ActionShowDebugWindow,
                            &ActionDirectXInfo, &ActionAboutInfo})
        if (action->Name == name) return action;
    return nullptr;
}

std::string TMainForm::CommandRefusal(const std::string& name) {
    TAction* action = FindAction(name);
    for (TAction* keyed :
         {&ActionNoSound, &ActionNoFX, &ActionPause, &ActionToggleWindow, &ActionGodMode, &ActionNoTiles})
        if (action == keyed) return "";
    std::vector<platform::MenuItem*> items;
    if (action)
        items = action->Items();
    else if (platform::MenuItem* item = MainMenu.FindItem(name); item && item->OnClick)
        items.push_back(item);
    if (items.empty()) return "no menu command is named " + name;
    for (const auto& menu : MainMenu.Menus) {
        for (const auto& entry : menu->Items) {
            if (std::find(items.begin(), items.end(), entry.get()) == items.end()) continue;
            const std::string menuName = platform::StripAccessKey(menu->Caption);
            if (!menu->Visible)
                return "the menu " + menuName + " is hidden" +
                       (DebugSwitch ? "" : " (it needs the debug switch)");
            if (menu->OnOpen) menu->OnOpen();
            if (!entry->Visible) return "the menu " + menuName + " has no item " + name + " now";
            if (!entry->Enabled) return "the item " + name + " of the menu " + menuName + " is disabled now";
            return "";
        }
    }
    return "no menu holds " + name;
}

bool TMainForm::RunNamedCommand(const std::string& name) {
    if (!CommandRefusal(name).empty()) return false;
    if (TAction* action = FindAction(name)) {
        RunCommand([action] { action->Execute(); });
        return true;
    }
    platform::MenuItem* item = MainMenu.FindItem(name);
    if (!item || !item->OnClick) return false;
    RunCommand([item] {
        if (item->Enabled) item->OnClick(*item);
    });
    return true;
}

void TMainForm::ShowInternalForm() {
    InternalForm.FormShow();
    Dialogs.push_back(TInternalForm::Caption);
    if (!app_.MainWindow()) InternalForm.CloseBtnClick();
}

void TMainForm::ShowDirectXForm() {
    DirectXForm.Show();
    Dialogs.push_back(TDirectXForm::Caption);
    if (!app_.MainWindow()) DirectXForm.OkBtnClick();
}

bool TMainForm::Idle() {
    bool ticked = false;
    Guarded([&] { ticked = DXTimer.Idle(); });
    return ticked;
}

void TMainForm::AppException(const std::exception& e, const void* address) {
    // In full screen, or when a switch of mode failed half-way (in either
    // direction, the return to the window included): back to a running
    // window, whatever else fails on the way.
    std::string windowFailure;
    if (DXDraw.HasOption(platform::doFullScreen) || Game.ModeSwitching) {
        // Back to window mode, so that the program's windows can be seen:
        // with its menu bar and the check mark of "Window mode".
        Game.ModeSwitching = true;
        SetTimer(false);
        Game.ReleaseOnFinalize = false;
        DXDraw.Finalize();
        cursorVisible_ = true;
        borderSizeable_ = true;
        menuVisible_ = true;
        DXDraw.Options &= ~static_cast<uint32_t>(platform::doFullScreen);
        ActionToggleWindow.SetChecked(true);
        ApplyWindowLook();
        try {
            DXDraw.Initialize();
        } catch (const std::exception& again) {
            windowFailure = again.what();
        }
        SetTimer(true);
        Game.ModeSwitching = false;
    }
    AddMessage(Format("%s at %016" PRIXPTR, e.what(), reinterpret_cast<uintptr_t>(address)));
    if (!windowFailure.empty()) AddMessage("The window could not be set up again either: " + windowFailure);
}

void TMainForm::AppActivate() {
    if (MusicPlayer) MusicPlayer->Resume();
    SetTimer(TimerWasEnabled);
}

void TMainForm::AppDeactivate() {
    if (MusicPlayer) MusicPlayer->Halt();
    TimerWasEnabled = DXTimer.Enabled();
    SetTimer(false);
    // Keys released while another application has the focus never reach the
    // game: a held Ctrl would jump on and on (Alt, left down by Alt+Tab, creep).
    UpdateModifierFlags(0, false);
}

void TMainForm::Close() {
    SetTimer(false);
    app_.Terminate();
}

void TMainForm::SetCaption(const std::string& caption) {
    caption_ = caption;
    if (auto* window = app_.MainWindow()) window->SetCaption(caption);
}

// The shortcut keys (F7, F8, F12) work with Shift or Ctrl held, as they are
// while running or jumping; with Alt they are left to the screens (Alt is
// the window switch's and the debug keys' modifier).
namespace {
bool ShortCutShift(int shift) {
    return (shift & ssAlt) == 0;
}
} // namespace

bool TMainForm::HandleShortCut(int key, int shift) {
    if (!ShortCutShift(shift)) return false;
    for (TAction* action : {&ActionNoSound, &ActionNoFX}) {
        if (action->ShortCutKey() == key && action->Enabled()) {
            action->Execute();
            return true;
        }
    }
    return false;
}

void TMainForm::KeyDown(int& key, int shift) {
    Guarded([&] {
        // Menu shortcuts come first and never reach the screens.
        if (HandleShortCut(key, shift)) {
            key = 0;
            return;
        }
        // So does the screenshot key, on every screen and at any time.
        if (key == VK_F12 && ShortCutShift(shift)) {
            RequestScreenshot();
            key = 0;
            return;
        }
        if (onKeyDown_) (this->*onKeyDown_)(key, shift);
    });
}

void TMainForm::KeyUp(int& key, int shift) {
    Guarded([&] {
        // A modifier released on any screen (the title and the credits have no
        // key-up handler of their own) no longer counts for the next level.
        UpdateModifierFlags(shift, false);
        if (onKeyUp_) (this->*onKeyUp_)(key, shift);
    });
}

void TMainForm::MouseDown(platform::MouseButton button, int shift, int x, int y) {
    Guarded([&] {
        DXDrawMouseDown(button, shift, x, y);
    });
}

bool TMainForm::InputLocked(int& key) const {
    if (static_cast<int32_t>(GetTickCount() - Game.InputLockUntil) < 0) {
        key = 0;
        return true;
    }
    return false;
}

void TMainForm::DXDrawInitialize() {
    if (Game.ReleaseOnFinalize) SetTimer(false);
}

void TMainForm::DXDrawFinalize() {
    SetTimer(false);
    if (!Game.ReleaseOnFinalize) return;
    // The level's sprites go with the display; a mode switch keeps them.
    TSpriteEngine& engine = DXSpriteEngine.Engine();
    engine.Clear(); // the player, its trace and dust with everything else
    engine.X = 0;
    engine.Y = 0;
    DXImageListLayer.Items.Clear();
}

void TMainForm::Game1Click() {
    if (auto* item = MainMenu.FindItem("Pause1"))
        item->Enabled = Game.GameState == gs::Playing || Game.GameState == gs::Paused;
}

void TMainForm::Video1Click() { ActionToggleWindow.SetChecked(borderSizeable_); }

void TMainForm::Debug1Click() {
    ActionGodMode.SetChecked(Game.GodModeOn);
    ActionNoTiles.SetChecked(Game.NoTilesOn);
    ActionShowDebugWindow.SetChecked(DebugLog().AlwaysHide());
}

void TMainForm::mnuLevelsClick() {
    const int n = LevelStore.GetInteger("Global", "TileCount", 0);
    for (size_t i = 0; i < levelItems_.size(); ++i) {
        levelItems_[i]->Visible = static_cast<int>(i) < n;
        levelItems_[i]->Checked = false;
    }
    // A start level outside the menu has no item to check.
    const int64_t selected = static_cast<int64_t>(Game.StartLevelNumber) - 1;
    if (selected >= 0 && selected < static_cast<int64_t>(levelItems_.size())) levelItems_[selected]->Checked = true;
}

void TMainForm::mnuLvl1Click(platform::MenuItem& item) {
    Game.StartLevelNumber = item.Tag;
    item.Checked = true;
    Game.GameState = gs::TitleStart;
    SetStateEvents();
}

void TMainForm::LayerClick(platform::MenuItem& item) {
    item.Checked = !item.Checked;
    if (item.Tag >= 0 && item.Tag < static_cast<int>(World.Actors.LayerSprites.size()))
        if (TScrollingLayer* layer = World.Actors.LayerSprites[static_cast<size_t>(item.Tag)].Get())
            layer->Hidden = !item.Checked;
}

void TMainForm::LoadLayerImages(int n) {
    if (LayerImagesFromBitmap) {
        // The tile sheet itself, cut as the level says.
        TPictureCollectionItem& item = DXImageListLayer.Items.Add();
        LoadTileSetItem(item, ProgramFolder(), LevelStore, n);
        if (DXImageListLayer.Items.Display() && DXImageListLayer.Items.Display()->Initialized()) {
            item.Initialize();
            item.Restore();
        }
        return;
    }
    const std::string relative = "GFX\\LEVEL" + std::to_string(n) + ".dxg";
    const std::string path = DataPath(relative);
    try {
        // Tiles converted at start-up that could not be saved are in memory.
        const std::string* kept = FileExists(path) ? nullptr : KeptInMemory(relative);
        if (kept)
            DXImageListLayer.Items.LoadFromBytes(*kept);
        else
            DXImageListLayer.LoadFromFile(path);
    } catch (const Exception& e) {
        // The stream's own errors do not say which file they met.
        if (e.Message().find(path) != std::string::npos) throw;
        throw EStreamError(Format("%s: %s", path.c_str(), e.what()));
    }
}

void TMainForm::BuildLayers(int n) {
    for (auto* item : layerItems_) {
        item->Enabled = false;
        item->Checked = true;
    }
    LoadLayerImages(n);
    TPictureCollectionItem* tiles = DXImageListLayer.Items.Count() > 0 ? &DXImageListLayer.Items.Items(0) : nullptr;
    // Layers without a tile picture would draw nothing at all: a level that
    // has maps needs its tiles.
    if (Level.CurrentTileSet.LayerCount > 0 && Level.CurrentTileSet.Maps.Count() > 0 &&
        (!tiles || tiles->Picture.Width() <= 0 || tiles->Picture.Height() <= 0))
        throw ELevelDataError(Format("Level %d: GFX\\LEVEL%d.dxg holds no tile picture", n, n));
    // A tile file older than the level's bitmap was not made from it: the
    // start-up conversion failed, and the level plays with older tiles.
    const std::string bitmap = DataPath(Format("GFX\\Level%d.bmp", n));
    std::error_code ec1, ec2;
    if (!LayerImagesFromBitmap && FileExists(bitmap) && std::filesystem::last_write_time(bitmap, ec1) >
                                  std::filesystem::last_write_time(DataPath(Format("GFX\\LEVEL%d.dxg", n)), ec2) &&
        !ec1 && !ec2) {
        LevelNotice = Format("Older tiles: GFX\\Level%d.bmp could not be converted", n);
        AddMessage(Format("Level %d: %s (see the start-up messages)", n, LevelNotice.c_str()));
    }
    const TLayerContext context{&Level.CurrentTileSet, &World.ScrollDelta, &Game.NoTilesOn};
    varnok::BuildLayers(DXSpriteEngine.Engine(), Level.CurrentTileSet, tiles, context, World.Actors.LayerSprites,
                        [this](int layerNumber, int index) {
                            if (layerNumber < 1 || layerNumber > static_cast<int>(layerItems_.size())) return;
                            layerItems_[static_cast<size_t>(layerNumber - 1)]->Enabled = true;
                            layerItems_[static_cast<size_t>(layerNumber - 1)]->Tag = index;
                        });
}

void TMainForm::PlaySound(const std::string& name, std::optional<int> pan) {
    TWaveCollectionItem& item = DXWaveListPlayer.Find(name);
    if (pan) item.SetPan(*pan);
    item.PlaySound(false);
}

void TMainForm::StopSound(const std::string& name) { DXWaveListPlayer.Find(name).Stop(); }

void TMainForm::SetSoundLooped(const std::string& name, bool looped) { DXWaveListPlayer.Find(name).SetLooped(looped); }

int TMainForm::PlayerPan(const TSprite& sprite) {
    return PlayerPan(sprite.WorldX(), DXSpriteEngine.Engine().Width);
}

void TMainForm::HaltMusic() {
    if (MusicPlayer) MusicPlayer->Halt();
}

void TMainForm::ResumeMusic() {
    if (MusicPlayer) MusicPlayer->Resume();
}

void TMainForm::RefreshPlayfieldLayer() {
    varnok::RefreshPlayfieldLayer(Level.CurrentTileSet, Level.BoundLayerIndex, World.Actors.LayerSprites);
}

void TMainForm::InitLevel(int n) {
    TSpriteEngine& engine = DXSpriteEngine.Engine();
    const std::string section = "Level" + std::to_string(n);
    MusicFile = DataPath("SND\\" + GlobalStore.GetString(section, "MOD", ""));

    // Nothing of the previous level survives.
    engine.Clear();
    DXImageListLayer.Items.Clear();
    World.Actors = TActorRegistry{};
    World.Lists.Clear();
    World.Geometry = TLevelGeometry{};
    World.InfoText.clear();
    engine.X = 0;
    engine.Y = 0;

    // A map with mistakes does not start; the get-ready screen says why.
    if (!MapError.empty()) throw ELevelDataError(MapError);
    try {
        CheckLevelCount(LevelStore, Level);
    } catch (const EFatalDataError& e) {
        // No level at all: the program ends after this event.
        app_.ShowMessage(e.what());
        app_.Terminate(1);
        return;
    }
    if (n < 1 || n > Level.LevelCount)
        throw ELevelDataError(Format("Level %d is not among the %d levels stored", n, Level.LevelCount));
    LoadLevel(LevelStore, n, Level);
    BuildLayers(n);

    Game.NoTilesOn = GlobalStore.GetBool("Game", "NoTiles", false);
    ActionNoTiles.SetChecked(Game.NoTilesOn);
    TLevelGeometry& g = World.Geometry;
    g.CellHeight = Level.CurrentTileSet.TileHeight;
    g.CellWidth = Level.CurrentTileSet.TileWidth;
    const TMapItem& bounds = World.BoundMap();
    const int displayWidth = DXDraw.Display.Width, displayHeight = DXDraw.Display.Height;
    g.MaxScrollX = bounds.Width() * g.CellWidth - displayWidth;
    g.MaxScrollY = bounds.Height() * g.CellHeight - displayHeight;

    // The player's helpers: the dust and the speed trail, hidden looping
    // animations of their image, tuned from their settings section.
    auto helper = [&](TImageSprite& sprite, TPictureCollectionItem& image, const char* section, int z,
                      int animSpeed, double animPos) {
        sprite.Image = &image;
        sprite.Width = image.PatternWidth;
        sprite.Height = image.PatternHeight;
        sprite.SetZ(GlobalStore.GetInteger(section, "Z", z));
        sprite.AnimStart = 0;
        sprite.AnimPos = animPos;
        sprite.AnimCount = image.PatternCount();
        sprite.AnimSpeed = GlobalStore.GetInteger(section, "AnimSpeed", animSpeed) / 1000.0;
        sprite.AnimLoop = true;
        sprite.Visible = false;
    };
    TPictureCollectionItem& dustImage = DXImageList.Items.Find("PlayerDust");
    TDustSprite& dust = TSprite::Create<TDustSprite>(engine);
    helper(dust, dustImage, "PlayerDust", 100, 20, 0);
    World.Actors.DustSprite = dust;
    TPictureCollectionItem& traceImage = DXImageList.Items.Find("PlayerTrace");
    for (int i = 0; i < 7; ++i) {
        TImageSprite& trace = TSprite::Create<TImageSprite>(engine);
        helper(trace, traceImage, "PlayerTrace", 4, 3, i);
        World.Actors.TraceSprites[static_cast<size_t>(i)] = trace;
    }

    // The player.
    TPictureCollectionItem& playerImage = DXImageList.Items.Find(Game.PlayerImageName);
    TPlayerSprite& player = TSprite::Create<TPlayerSprite>(engine);
    player.Image = &playerImage;
    player.Width = playerImage.PatternWidth;
    player.Height = playerImage.PatternHeight;
    player.SetZ(GlobalStore.GetInteger("Player", "Z", 4));
    player.AnimStart = 0;
    player.AnimSpeed = GlobalStore.GetInteger("Player", "AnimSpeed", 12) / 1000.0;
    player.FloatTime = GlobalStore.GetInteger("Player", "FloatTime", 1000);
    player.AutomoveFactor = GlobalStore.GetInteger("Player", "AutomoveFactor", 4);
    player.AnimLoop = true;
    player.Lives = GlobalStore.GetInteger("Player", "Lives", 3);
    player.Health = 100;
    player.Score = 0;
    World.Actors.GamePlayer = player;

    // God mode switched on by the player stays on from level to level.
    Game.GodModeOn = GlobalStore.GetBool("Game", "GodMode", false) || ActionGodMode.Checked();
    if (Game.GodModeOn && !ActionGodMode.Checked()) ActionGodMode.SetChecked(true);
    player.MaxLives = GlobalStore.GetInteger("Player", "MaxLives", 3);

    g.ScrollMarginLeft = static_cast<int32_t>(Trunc(displayWidth / 8.0)) * 3;
    g.ScrollMarginRight = displayWidth - g.ScrollMarginLeft;
    g.ScrollMarginTop = static_cast<int32_t>(Trunc(displayHeight / 16.0)) * 4;
    g.ScrollMarginBottom = displayHeight - g.ScrollMarginTop;

    PopulateLevel(World, engine, World.BoundMap());

    player.X = (g.PlayerStartCol + 1) * g.CellWidth;
    player.Y = (g.PlayerStartRow + 1) * g.CellHeight - player.Height;

    // The doors.
    auto makeDoor = [&](const char* image, int32_t col, int32_t row, bool entry) -> TLevelSprite& {
        TPictureCollectionItem& item = DXImageList.Items.Find(image);
        TLevelSprite& door = TSprite::Create<TLevelSprite>(engine);
        door.Image = &item;
        door.Height = item.Height();
        door.Width = item.Width();
        door.SetZ(1);
        door.X = col * g.CellWidth;
        door.Y = (row + 1) * g.CellHeight - door.Height;
        door.IsEntry = entry;
        door.IsExit = !entry;
        return door;
    };
    World.Actors.LevelEntrySprite = makeDoor("F0", g.PlayerStartCol, g.PlayerStartRow, true);
    World.Actors.LevelExitSprite = makeDoor("F1", g.ExitCol, g.ExitRow, false);

    // The camera: the player in view, the level's ends respected.
    if (g.MaxScrollX > player.X) {
        if (player.X > displayWidth - player.Width) engine.X = g.ScrollMarginLeft - player.X;
    } else {
        engine.X = -g.MaxScrollX;
    }
    if (g.MaxScrollY > player.Y) {
        if (player.Y + player.Height > displayHeight) engine.Y = g.ScrollMarginTop - player.Y;
    } else {
        engine.Y = -g.MaxScrollY;
    }
}

} // namespace varnok
