// The title menu: three entries, the selected one is the game state itself.
#include "app/MainForm.h"
#include "common/Math.h"
#include "level/CryptedINI.h"
#include "platform/Canvas.h"
#include "platform/Clock.h"

namespace varnok {

namespace {
struct TitleEntry {
    char code;
    const char* key;
    int y;
};
constexpr TitleEntry kEntries[] = {{gs::TitleStart, "Start", 220}, {gs::TitleCredits, "Credits", 280},
                                   {gs::TitleExit, "Exit", 340}};
} // namespace

void TMainForm::TimerTitle(uint32_t lag) {
    if (!DXDraw.CanDraw()) return;
    platform::Surface& surface = DXDraw.BackSurface();
    surface.Fill(0);
    // Until the title picture and the bitmap fonts are loaded, the entries are
    // drawn as canvas text: bright when selected, dim otherwise.
    platform::Canvas& canvas = surface.GetCanvas();
    canvas.Brush = platform::BrushStyle::Clear;
    for (const auto& entry : kEntries) {
        const std::string text = GlobalStore.GetString("Menu", entry.key, entry.key);
        canvas.FontColor = entry.code == Game.GameState ? clWhite : RGB(127, 127, 127);
        canvas.TextOut(320 - static_cast<int>(Trunc(text.size() * 8 / 2.0)), entry.y, text);
    }
    canvas.Release();
    DXDraw.Flip();
}

void TMainForm::KeyDownTitle(int& key, int shift) {
    if (InputLocked(key)) return;
    if (key == VK_ESCAPE) {
        Close();
        return;
    }
    if (key == VK_RETURN && !(shift & ssAlt)) {
        switch (Game.GameState) {
        case gs::TitleStart:
            SetTimer(false);
            Game.ReleaseOnFinalize = true;
            DXDraw.Finalize();
            Game.GameState = gs::GetReady;
            SetStateEvents();
            Game.GetReadyTick = platform::GetTickCount();
            DXDraw.Initialize();
            SetTimer(true);
            break;
        case gs::TitleCredits:
            Game.CreditsSpeed = 64;
            Game.CreditsScrollY = DXDraw.SurfaceHeight();
            Game.GameState = gs::Credits;
            SetStateEvents();
            break;
        case gs::TitleExit: Close(); break;
        default: break;
        }
        return;
    }
    if (key == VK_DOWN || key == VK_UP) {
        int code = Game.GameState + (key == VK_DOWN ? 1 : -1);
        if (code < gs::TitleStart) code = gs::TitleExit;
        if (code > gs::TitleExit) code = gs::TitleStart;
        Game.GameState = static_cast<char>(code);
        return;
    }
    if (key == VK_RETURN && (shift & ssAlt)) ActionToggleWindow.Execute();
}

} // namespace varnok
