// The title menu: three entries, the selected one is the game state itself.
#include "app/MainForm.h"
#include "common/Math.h"
#include "level/CryptedINI.h"
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
    std::string texts[3];
    for (int i = 0; i < 3; ++i)
        texts[i] = GlobalStore.GetString("Menu", kEntries[i].key, kEntries[i].key);
    const TPictureCollectionItem& picture = DXImageList.Items.Find("MENUScreen");
    const TPictureCollectionItem& small = DXImageList.Items.Find(DXFontCopyright.Font());
    const std::string notice[2] = {
        GlobalStore.GetString("Menu", "Notice1", "VARNOK (freeware version) - free to copy and share"),
        GlobalStore.GetString("Menu", "Notice2", "not for sale - no warranty of any kind")};
    // The title stands still: a frame like the last one, on a surface
    // nothing wrote since, is left as it is (the window then has nothing to
    // compare or send).
    std::string frame = std::to_string(surface.Serial()) + '|' + std::to_string(Game.GameState) + '|' +
                        std::to_string(DXDraw.HasOption(platform::doFullScreen)) + '|' +
                        std::to_string(picture.PixelsVersion()) + '|' +
                        std::to_string(small.PixelsVersion()) + '|' +
                        std::to_string(DXImageList.Items.Find(DXFontStatus.Font()).PixelsVersion());
    for (const std::string& text : texts)
        frame += '|' + text;
    for (const std::string& text : notice)
        frame += '|' + text;
    if (frame == titleDrawn_ && surface.Writes() == titleWrites_) {
        DXDraw.Flip();
        return;
    }
    // Black wherever the title picture does not paint over whole.
    const platform::Rect drawn = picture.PatternRects(0);
    const std::vector<platform::Rect> cover{picture.Covers(surface, 0) ? drawn : platform::Rect{}};
    for (const platform::Rect& r : platform::Uncovered(surface.ClientRect(), cover))
        surface.FillRect(r, 0);
    picture.Draw(surface, 0, 0, 0);
    // Centred as if every character were 40 pixels wide, whatever the font.
    for (int i = 0; i < 3; ++i) {
        const int x = 320 - static_cast<int>(Trunc(texts[i].size() * 40 / 2.0));
        DXFontStatus.DrawTextAlpha(surface, x, kEntries[i].code == Game.GameState ? 255 : 127, texts[i],
                                   kEntries[i].y);
    }
    // The distribution notice, two centred lines of small print at the bottom.
    for (int i = 0; i < 2; ++i) {
        const int x = DXDraw.SurfaceWidth() / 2 - static_cast<int>(notice[i].size()) * small.PatternWidth / 2;
        DXFontCopyright.DrawText(surface, x, notice[i],
                                 DXDraw.SurfaceHeight() - (2 - i) * (small.PatternHeight + 2) - 4);
    }
    // Without blending (full screen at 8 bits) a marker shows the selection.
    if (DXDraw.HasOption(platform::doFullScreen) && surface.BitCount() == 8) {
        for (int i = 0; i < 3; ++i)
            if (kEntries[i].code == Game.GameState)
                DXFontStatus.DrawText(surface, 270 - static_cast<int>(Trunc(texts[i].size() * 40 / 2.0)), "+",
                                      kEntries[i].y);
    }
    titleDrawn_ = std::move(frame);
    titleWrites_ = surface.Writes();
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
            try {
                SetStateEvents();
            } catch (...) {
                // The level did not start: the display and the timer come
                // back all the same, so the player sees why and can leave.
                DXDraw.Initialize();
                SetTimer(true);
                throw;
            }
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
