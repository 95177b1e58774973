// Display settings and the window-mode action of the main window.
#include "app/MainForm.h"
#include "common/Paths.h"
#include "common/ProfileIni.h"
#include "platform/Window.h"

namespace varnok {

void TMainForm::LoadDisplaySettings() {
    const TProfileFile ini(DataPath("DirectX.ini"));
    platform::TDisplaySettings& display = DXDraw.Display;
    display.BitCount = ini.ReadInteger("Display", "BitCount", 16);
    display.FixedBitCount = ini.ReadBool("Display", "FixedBitCount", true);
    display.FixedRatio = ini.ReadBool("Display", "FixedRatio", true);
    display.FixedSize = ini.ReadBool("Display", "FixedSize", true);
    // Only the number 1 starts in full screen. The window comes up first, so
    // the action switches to full screen; should that fail, the game goes on
    // in the window and says why in the debug window.
    if (ini.ReadInteger("Display", "Fullscreen", 0) == 1)
        RunCommand([this] { ActionToggleWindow.Execute(); });
}

void TMainForm::ActionToggleWindowExecute() {
    // The sprites, the level, the score and the camera stay as they are.
    Game.ModeSwitching = true;
    SetTimer(false);
    Game.ReleaseOnFinalize = false;
    DXDraw.Finalize();
    const bool toWindow = DXDraw.HasOption(platform::doFullScreen);
    cursorVisible_ = toWindow;
    borderSizeable_ = toWindow;
    menuVisible_ = toWindow;
    if (toWindow)
        DXDraw.Options &= ~static_cast<uint32_t>(platform::doFullScreen);
    else
        DXDraw.Options |= platform::doFullScreen;
    ActionToggleWindow.SetChecked(toWindow);
    ApplyWindowLook();
    // A full screen that cannot be set raises here; the exception handler
    // brings the window back.
    DXDraw.Initialize();
    SetTimer(true);
    Game.ModeSwitching = false;
}

void TMainForm::ApplyWindowLook() {
    if (auto* window = app_.MainWindow()) {
        window->SetMenuVisible(menuVisible_);
        window->SetCursorVisible(cursorVisible_);
    }
}

} // namespace varnok
