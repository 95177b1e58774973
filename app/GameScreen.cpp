// The game screen: the tick of every game state and the game's keys.
#include "app/MainForm.h"
#include "common/Math.h"
#include "platform/Clock.h"

namespace varnok {

using platform::GetTickCount;

void TMainForm::TimerGame(uint32_t lag) {
    if (!DXDraw.CanDraw()) return;
    platform::Surface& surface = DXDraw.BackSurface();
    surface.Fill(0);

    switch (Game.GameState) {
    case gs::GetReady:
        if (GetTickCount() - Game.GetReadyTick > 5000) Game.GameState = gs::Playing;
        break;
    case gs::Leaving:
        if (!FadeActive) {
            // The fade-out has ended: back to the title, without drawing this tick.
            SetTimer(false);
            Game.GameState = gs::TitleStart;
            SetStateEvents();
            SetTimer(true);
            return;
        }
        break;
    default: break;
    }

    if (FadeActive) DrawFade(lag);
    DXDraw.Flip();
}

void TMainForm::KeyDownGame(int& key, int shift) {
    if (InputLocked(key)) return;
    if (Game.GameState == gs::GetReady) {
        key = 0;
        Game.GameState = gs::Playing;
        return;
    }
    if (Game.GameState == gs::GameOver && (key == VK_RETURN || key == VK_ESCAPE)) {
        key = 0;
        Game.GameState = gs::TitleStart;
        SetStateEvents();
        return;
    }
    Game.CtrlDown = (shift & ssCtrl) != 0;
    ShiftDown = (shift & ssShift) != 0;
    AltDown = (shift & ssAlt) != 0;
    if (key == 'P' || key == VK_F1) ActionPause.Execute();
    if (key == VK_ESCAPE && Game.GameState != gs::Leaving) {
        StartFade(true);
        Game.GameState = gs::Leaving;
    }
    if ((key == 'T' || key == VK_F5) && (shift & ssAlt)) ActionNoTiles.Execute();
    if ((key == 'G' || key == VK_NUMPAD7) && (shift & ssAlt)) ActionGodMode.Execute();
    if (key == VK_F11) Game.ShowDebugText = !Game.ShowDebugText;
    if (key == VK_F9) Game.ShowDebugGrid = !Game.ShowDebugGrid;
    if (key == VK_RETURN && (shift & ssAlt)) ActionToggleWindow.Execute();
}

void TMainForm::KeyUpGame(int& key, int shift) {
    if (InputLocked(key)) return;
    if (!(shift & ssCtrl)) Game.CtrlDown = false;
    if (!(shift & ssShift)) ShiftDown = false;
    if (!(shift & ssAlt)) AltDown = false;
}

void TMainForm::DrawFade(uint32_t lag) {
    FadePos += lag * 10 / 1000.0;
    const TPictureCollectionItem& fade = DXImageList.Items.Find("FadeInOut");
    const int count = fade.PatternCount();
    if (FadePos >= count) {
        FadePos = 0;
        FadeActive = false;
        return;
    }
    const int pattern = FadeOut ? static_cast<int>(Round(FadePos)) : count - static_cast<int>(Round(FadePos)) - 1;
    platform::Surface& surface = DXDraw.BackSurface();
    for (int i = 0; i <= DXDraw.SurfaceWidth() / 32; ++i)
        for (int j = 0; j <= DXDraw.SurfaceHeight() / 32 + 1; ++j) fade.Draw(surface, 32 * i, 32 * j, pattern);
}

} // namespace varnok
