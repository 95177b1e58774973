#pragma once
// The main window of the game and its screen state machine. It owns the
// display, the frame timer, the menus and actions and the shared game state;
// SetStateEvents swaps the tick and key handlers of the current screen.
#include "app/Action.h"
#include "app/GameState.h"
#include "app/ImageListBinding.h"
#include "level/ImageList.h"
#include "media/DXFontEx.h"
#include "media/DXInput.h"
#include "media/WaveList.h"
#include "platform/Sound.h"
#include "sprites/GameWorld.h"
#include "level/TSINI.h"
#include "platform/Application.h"
#include "platform/DXDraw.h"
#include "platform/DXTimer.h"
#include "platform/Keys.h"
#include "platform/MenuBar.h"
#include "sprites/DXSpriteEngine.h"
#include "sprites/PlatformSprite.h"
#include "tools/GameInfo.h"
#include "tools/InternalForm.h"
#include "tools/VersionInfo.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace varnok {

class TMemIniFileCrypted;
class TMusicPlayer;
class TToolWindows;

namespace platform {
class Window;
}

class TMainForm final : public platform::EventSink, public TWorldServices {
    // First, as the components below are built with it.
    platform::Application& app_;

public:
    // The stores must outlive the form. params are the command-line
    // parameters after the program name.
    TMainForm(platform::Application& app, TMemIniFileCrypted& levelStore, TMemIniFileCrypted& globalStore,
              std::vector<std::string> params);
    ~TMainForm() override;
    TMainForm(const TMainForm&) = delete;
    TMainForm& operator=(const TMainForm&) = delete;

    // Window creation and first showing.
    void FormCreate();
    void FormShow();

    // Enters the screen of the current GameState.
    void SetStateEvents();
    void StartFade(bool out);
    void PlayMusic(const std::string& file);
    // Stereo pan for a sound caused by a sprite at screen x in a screen of the given width.
    static int PlayerPan(double worldX, int engineWidth);

    // Runs one tick if the timer is due; exceptions go to AppException.
    bool Idle();

    // Every exception that no other code catches ends here.
    void AppException(const std::exception& e, const void* address);
    void AppActivate();
    void AppDeactivate();
    // Closes the main window: the program ends.
    void Close();

    // Events of the window (EventSink).
    void KeyDown(int& key, int shift) override;
    void KeyUp(int& key, int shift) override;
    void MouseDown(platform::MouseButton button, int shift, int x, int y) override;
    void Activate() override { AppActivate(); }
    void Deactivate() override { AppDeactivate(); }
    void CloseQuery() override { Close(); }
    // Menu and dialog commands run inside the error guard.
    void RunCommand(const std::function<void()>& command) override;

    // The action of that name, or nullptr.
    TAction* FindAction(const std::string& name);
    // Runs a menu command by its name: an action ("ActionAboutInfo") or a
    // menu item ("Layer11", "mnuLvl2"). False when no command has that name,
    // or when the player could not give it now (CommandRefusal).
    bool RunNamedCommand(const std::string& name);
    // Why the player could not give the command now, or "" when he could.
    // Actions with keys of their own (F7, F8, P, Alt+Enter, Alt+G, Alt+T)
    // can always be given; other commands only from a menu that shows
    // (the Debug, Layer and Level menus need the debug switch), through an
    // item that shows and is enabled once the menu opens (opening it here
    // does what opening it does for the player).
    std::string CommandRefusal(const std::string& name);

    // Components and state.
    platform::Application& App() { return app_; }
    TMemIniFileCrypted& LevelStore;
    TMemIniFileCrypted& GlobalStore;
    platform::TDXDraw DXDraw;
    platform::TDXTimer DXTimer;
    TDXSpriteEngine DXSpriteEngine;
    TDXSpriteEngine DXSpriteEngineCredits;
    TDXImageList DXImageList;
    TDXImageList DXImageListLayer;
    TDXImageList DXImageListCredits;
    TDXFontEx DXFont;
    TDXFontEx DXFontStatus;
    TDXFontEx DXFontInfo;
    TDXFontEx DXFontCopyright;
    platform::MenuBar MainMenu;
    TGameGlobals Game;
    TLevelData Level;
    platform::SoundDevice DXSound;
    TDXWaveList DXWaveListPlayer{&DXSound};
    TGameWorld World{Game, Level, GlobalStore, DXImageList, *this};
    std::unique_ptr<TMusicPlayer> MusicPlayer;
    TDXInput DXInput{app_};
    // The version table of the executable (the About box's build number).
    TGetVersionInfoFromFile VI;
    // The diagnostic dialogs; the system report is gathered when it is made.
    TInternalForm InternalForm{GlobalStore, [this](const std::string& text) { app_.ShowMessage(text); }};
    TDirectXForm DirectXForm;
    // Captions of the dialogs opened so far (without a window they close at once).
    std::vector<std::string> Dialogs;

    // Own fields of the main window.
    bool FadeActive = false;
    bool FadeOut = false;
    double FadePos = 0;
    bool AltDown = false;
    bool TimerWasEnabled = false;
    std::string MusicFile;
    bool DebugSwitch = false;
    // Why the last level start failed; empty when it succeeded.
    std::string LevelStartError;
    // A warning about the level started, shown while getting ready.
    std::string LevelNotice;
    // Playing a map: the level's tiles come from the sheet its Bitmap key
    // names (not from a converted tile file), and a map with mistakes keeps
    // them here, to be shown when its level would start.
    bool LayerImagesFromBitmap = false;
    std::string MapError;
    // Starts the level of the stores again after they changed (a map saved
    // anew), the player and the camera where they were when that spot is
    // still free, and playing on at once when the game was playing.
    void RestartLevelKeepingPlace();
    // A short text on the info-text line (as the screenshot notice).
    void ShowNotice(const std::string& text, uint32_t ms);
    // What the start-up could not save, for the first get-ready screen.
    std::string StartupNotice;

    // Actions.
    TAction ActionExit{"ActionExit", "Exit"};
    TAction ActionPause{"ActionPause", "Pause"};
    TAction ActionToggleWindow{"ActionToggleWindow", "Window mode"};
    TAction ActionNoSound{"ActionNoSound", "No Sound", VK_F8, "F8"};
    TAction ActionNoFX{"ActionNoFX", "No FX", VK_F7, "F7"};
    TAction ActionGodMode{"ActionGodMode", "God mode"};
    TAction ActionNoTiles{"ActionNoTiles", "No tiles"};
    TAction ActionEditInternals{"ActionEditInternals", "Edit internals ..."};
    TAction ActionShowDebugWindow{"ActionShowDebugWindow", "Always hide debug window"};
    TAction ActionDirectXInfo{"ActionDirectXInfo", "DirectX"};
    TAction ActionAboutInfo{"ActionAboutInfo", "About"};

    // Display settings from DirectX.ini (read only), and the window-mode
    // action: full screen without menu bar and mouse cursor, or the window.
    void LoadDisplaySettings();
    void ActionToggleWindowExecute();
    // How the main window looks now: menu bar, mouse cursor, sizeable border
    // (the window) or none (full screen).
    bool MenuVisible() const { return menuVisible_; }
    bool CursorVisible() const { return cursorVisible_; }
    bool BorderSizeable() const { return borderSizeable_; }

    // The credits screen's two sprites, made once with the main window.
    void CreateCreditsSprites();
    TSpriteRef<TBgSprite> CreditsBackground;
    TSpriteRef<TImageSprite> CreditsFigure;

    // Menu commands (menu opening handlers and the Layer and Level items).
    void Game1Click();
    void Video1Click();
    void Debug1Click();
    void mnuLevelsClick();
    void mnuLvl1Click(platform::MenuItem& item);
    void LayerClick(platform::MenuItem& item);

    // Screen handlers. A key handler may set the key to 0 to consume it.
    void TimerTitle(uint32_t lag);
    void KeyDownTitle(int& key, int shift);
    void TimerGame(uint32_t lag);
    void KeyDownGame(int& key, int shift);
    void KeyUpGame(int& key, int shift);
    void TimerCredits(uint32_t lag);
    void KeyDownCredits(int& key, int shift);

    // Level start: builds level n and picks its music.
    void InitLevel(int n);
    // After a failed level start: clears what was built of the level and
    // keeps the reason for the get-ready screen.
    void AbandonLevel(const std::string& why);
    // The tile images and layers of level n (with the Layer menu).
    void LoadLayerImages(int n);
    void BuildLayers(int n);

    // Services for the actors (TWorldServices).
    void PlaySound(const std::string& name, std::optional<int> pan) override;
    void StopSound(const std::string& name) override;
    void SetSoundLooped(const std::string& name, bool looped) override;
    int PlayerPan(const TSprite& sprite) override;
    void HaltMusic() override;
    void ResumeMusic() override;
    void RefreshPlayfieldLayer() override;
    // The fade step of the game screen.
    void DrawFade(uint32_t lag);
    // The game tick's steps.
    void ScrollToPlayer();
    // Draws the level's background picture, leaving out the cover (what the
    // sprites drawn next will paint over whole).
    void DrawBackdrop(platform::Surface& surface, const std::vector<platform::Rect>& cover);
    void HandlePlayerInput();
    void PlaceTrace();
    void DrawBoundsOverlay();
    void DrawSpecialCellsOverlay();
    void LevelAdvance();
    void DXDrawMouseDown(platform::MouseButton button, int shift, int x, int y);
    // Heads-up display, messages and overlays.
    void DrawHud(uint32_t lag);
    void DrawGetReady(const std::string& text, uint32_t period);
    void DrawLevelStartError();
    void DrawBlinkingMessage(const std::string& text, uint32_t period);
    void DrawInfoText();
    void DrawDebugText(uint32_t lag);
    void DrawDebugGrid();
    void DrawLevelSummary(uint32_t period);

    // Display events.
    void DXDrawInitialize();
    void DXDrawFinalize();
    // Screenshots (F12): the next finished frame is saved in the user's
    // pictures folder, and a short notice shows on the info-text line.
    void RequestScreenshot();
    void BeforeFlip();

    // The caption of the main window.
    void SetCaption(const std::string& caption) override;
    const std::string& Caption() const { return caption_; }

    using KeyHandler = void (TMainForm::*)(int&, int);
    using TickHandler = void (TMainForm::*)(uint32_t);
    KeyHandler OnKeyDown() const { return onKeyDown_; }
    KeyHandler OnKeyUp() const { return onKeyUp_; }
    TickHandler OnTimer() const { return onTimer_; }

private:
    void CreateMenus();
    // Shows the menu bar and cursor choices on the real window, if any.
    void ApplyWindowLook();
    // Shows a modal dialog; without a window it is recorded and closes at once.
    void ShowInternalForm();
    void ShowDirectXForm();
    void UpdateModifierFlags(int shift, bool set);
    template <typename F> void ForEachVisibleCell(F&& visit);
    bool InputLocked(int& key) const;
    bool HandleShortCut(int key, int shift);
    void SetTimer(bool enabled) { DXTimer.SetEnabled(enabled); }
    template <typename F> void Guarded(F&& f);

    TImageListBinding imageListBinding_{DXDraw, DXImageList};
    TImageListBinding layerListBinding_{DXDraw, DXImageListLayer};
    TImageListBinding creditsListBinding_{DXDraw, DXImageListCredits};
    std::vector<std::string> params_;
    std::string caption_ = "VARNOK";
    TickHandler onTimer_ = nullptr;
    KeyHandler onKeyDown_ = nullptr;
    KeyHandler onKeyUp_ = nullptr;
    std::vector<platform::MenuItem*> layerItems_;
    std::vector<platform::MenuItem*> levelItems_;
    bool menuVisible_ = true;
    bool cursorVisible_ = true;
    bool borderSizeable_ = true;
    bool screenshotPending_ = false;
    std::string screenshotNotice_;
    uint32_t screenshotNoticeUntil_ = 0;
    // What the title drew last, and the back surface's count of writes
    // after it: the same again is not drawn again.
    std::string titleDrawn_;
    uint64_t titleWrites_ = 0;
    std::unique_ptr<TToolWindows> toolWindows_;
};

} // namespace varnok
