// The credits screen.
#include "app/MainForm.h"
#include "platform/Canvas.h"

namespace varnok {

void TMainForm::TimerCredits(uint32_t lag) {
    if (!DXDraw.CanDraw()) return;
    DXDraw.BackSurface().Fill(0);
    DXDraw.Flip();
}

void TMainForm::KeyDownCredits(int& key, int shift) {
    const bool locked = InputLocked(key);
    key = 0;
    if (locked) return;
    Game.GameState = gs::TitleStart;
    SetStateEvents();
}

} // namespace varnok
