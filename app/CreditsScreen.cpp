// The credits screen: the credit lines scroll up over a tiled picture that
// drifts down, with an animated figure in the lower right corner. Its sprites
// live in their own engine and image list, apart from the game's.
#include "app/CreditsText.h"
#include "app/MainForm.h"
#include "common/Math.h"
#include "common/Paths.h"
#include "common/StrUtils.h"
#include "sprites/PlatformSprite.h"
#include "tools/Debug.h"

#include <cmath>

namespace varnok {

void TMainForm::CreateCreditsSprites() {
    TSpriteEngine& engine = DXSpriteEngineCredits.Engine();
    engine.Clear();
    try {
        DXImageListCredits.LoadFromFile(DataPath("GFX\\Credits.dxg"));
    } catch (const std::exception& e) {
        // The credits still scroll, on black.
        AddMessage(Format("Credits pictures: %s", e.what()));
        return;
    }
    if (DXImageListCredits.Items.Count() > 0) {
        TPictureCollectionItem& picture = DXImageListCredits.Items.Items(0);
        TBgSprite& background = TSprite::Create<TBgSprite>(engine);
        background.Image = &picture;
        background.Width = picture.PatternWidth;
        background.Height = picture.PatternHeight;
        background.X = 0;
        background.Y = 0;
        background.Tile = true;
        background.SetMapSize(1, 1);
        background.SetCell(0, 0, 0);
        background.Speed = 120;
        CreditsBackground = background;
    }
    if (DXImageListCredits.Items.Count() > 1) {
        TPictureCollectionItem& picture = DXImageListCredits.Items.Items(1);
        TImageSprite& figure = TSprite::Create<TImageSprite>(engine);
        figure.Image = &picture;
        figure.Width = picture.PatternWidth;
        figure.Height = picture.PatternHeight;
        figure.X = DXDraw.SurfaceWidth() - figure.Width;
        figure.Y = DXDraw.SurfaceHeight() - figure.Height;
        figure.AnimStart = 0;
        figure.AnimCount = picture.PatternCount();
        figure.AnimLoop = true;
        figure.AnimSpeed = picture.PatternCount() / 1000.0; // every frame once a second
        figure.SetZ(1000);
        CreditsFigure = figure;
    }
}

void TMainForm::TimerCredits(uint32_t lag) {
    if (!DXDraw.CanDraw()) return;
    platform::Surface& surface = DXDraw.BackSurface();
    DXSpriteEngineCredits.Move(static_cast<int32_t>(lag));
    // Black only where the drifting background does not paint over whole.
    DXSpriteEngineCredits.Draw([&](const std::vector<platform::Rect>& cover) {
        for (const platform::Rect& r : platform::Uncovered(surface.ClientRect(), cover))
            surface.FillRect(r, 0);
    });

    Game.CreditsScrollY -= Game.CreditsSpeed * (lag / 1000.0);
    const std::vector<std::string>& lines = CreditLines();
    int gw = 0, gh = 0;
    const int index = DXImageList.Items.IndexOf(DXFontStatus.Font());
    if (index >= 0) {
        const TPictureCollectionItem& font = DXImageList.Items.Items(index);
        gw = font.PatternWidth;
        gh = font.PatternHeight;
    }
    const int height = DXDraw.SurfaceHeight();
    // After the last line and a quarter screen of space, again from below.
    const double total = static_cast<double>(lines.size()) * gh + height / 4;
    if (std::fabs(Game.CreditsScrollY) > total) Game.CreditsScrollY = height;
    if (index >= 0) {
        const int top = static_cast<int>(Round(Game.CreditsScrollY));
        for (size_t i = 0; i < lines.size(); ++i) {
            const int y = top + static_cast<int>(i) * gh;
            // Drawn while any part of it can be on the screen.
            if (y > -gh && y <= height) DXFontStatus.DrawTextSpaced(surface, gw / 2, lines[i], gw - 8, y);
        }
    }
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
