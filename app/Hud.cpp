// What the game screen draws over the world: score, hearts and lives, the
// state messages, the info text, the level summary and the debug overlays.
#include "app/MainForm.h"
#include "common/Math.h"
#include "level/CryptedINI.h"
#include "platform/Canvas.h"
#include "platform/Clock.h"
#include "sprites/PlayerSprite.h"

#include <algorithm>

namespace varnok {

namespace {
// Blinking texts show in the odd half-periods of the tick count.
bool BlinkOn(uint32_t period) { return period == 0 || (platform::GetTickCount() / period) % 2 == 1; }

// Fills "%s" and "%d" placeholders in order with the numbers; other text stays.
std::string FillNumbers(const std::string& format, std::initializer_list<int64_t> numbers) {
    std::string out;
    auto next = numbers.begin();
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && (format[i + 1] == 's' || format[i + 1] == 'd') &&
            next != numbers.end()) {
            out += std::to_string(*next++);
            ++i;
        } else {
            out.push_back(format[i]);
        }
    }
    return out;
}

std::string Pad16(const std::string& label) { return label.size() >= 16 ? label : label + std::string(16 - label.size(), ' '); }
} // namespace

void TMainForm::DrawHud(uint32_t lag) {
    TPlayerSprite* player = World.Actors.GamePlayer.Get();
    if (!player) return;
    platform::Surface& surface = DXDraw.BackSurface();
    if (player->Score > Game.ShownScore) {
        Game.ShownScore += 5;
        const double rate = (player->Score - Game.ShownScore) / 5000.0;
        // A tick longer than 5 s would carry the roll past the score (and a
        // very long one out of range): it stops at the score.
        if (rate > 0)
            Game.ShownScore = static_cast<int32_t>(
                std::min<double>(Game.ShownScore + Trunc(lag * rate), player->Score));
        else
            Game.ShownScore = player->Score;
    }
    const std::string digits = "00000000" + std::to_string(Game.ShownScore);
    DXFont.DrawTextSpaced(surface, 4, digits.substr(digits.size() - 8), 17, 4);

    const TPictureCollectionItem& heart = DXImageList.Items.Find("Heart");
    for (int i = 1; i <= player->Health / 20; ++i)
        heart.Draw(surface, DXDraw.SurfaceWidth() - 5 - i * heart.Width(), 8, 0);
    const TPictureCollectionItem& life = DXImageList.Items.Find("Lives");
    for (int i = 1; i <= player->Lives; ++i) life.Draw(surface, 4 + (i - 1) * 38, DXDraw.SurfaceHeight() - 38, 0);
}

void TMainForm::DrawGetReady(const std::string& text, uint32_t period) {
    World.InfoText.clear();
    platform::Surface& surface = DXDraw.BackSurface();
    const int gw = DXImageList.Items.Find(DXFontStatus.Font()).PatternWidth;
    auto centred = [&](const std::string& line, int y) {
        DXFontStatus.DrawText(surface, DXDraw.SurfaceWidth() / 2 - static_cast<int>(line.size()) * gw / 2, line, y);
    };
    centred("Level " + std::to_string(Game.CurrentLevel) + ":", 2 * gw);
    centred(GlobalStore.GetString("Level" + std::to_string(Game.CurrentLevel), "Name", ""), 3 * gw);
    if (BlinkOn(period)) centred(text, 8 * gw);
    if (!LevelNotice.empty()) {
        const TPictureCollectionItem& small = DXImageList.Items.Find(DXFont.Font());
        DXFont.DrawTextWrapped(surface, 0, LevelNotice, small.PatternHeight + 4, small.PatternWidth,
                               DXDraw.SurfaceHeight() - 5 * small.PatternHeight);
    }
}

void TMainForm::DrawLevelStartError() {
    platform::Surface& surface = DXDraw.BackSurface();
    const int gw = DXImageList.Items.Find(DXFontStatus.Font()).PatternWidth;
    const std::string title = "Level " + std::to_string(Game.CurrentLevel) + ":";
    DXFontStatus.DrawText(surface, DXDraw.SurfaceWidth() / 2 - static_cast<int>(title.size()) * gw / 2, title, 2 * gw);
    const TPictureCollectionItem& small = DXImageList.Items.Find(DXFont.Font());
    DXFont.DrawTextWrapped(surface, 0, LevelStartError, small.PatternHeight + 4, small.PatternWidth, 4 * gw);
    const std::string hint = "Escape: back to the title";
    DXFont.DrawText(surface, DXDraw.SurfaceWidth() / 2 - static_cast<int>(hint.size()) * small.PatternWidth / 2, hint,
                    DXDraw.SurfaceHeight() - 3 * small.PatternHeight);
}

void TMainForm::DrawBlinkingMessage(const std::string& text, uint32_t period) {
    if (!BlinkOn(period)) return;
    const int gw = DXImageList.Items.Find(DXFontStatus.Font()).PatternWidth;
    DXFontStatus.DrawText(DXDraw.BackSurface(), DXDraw.SurfaceWidth() / 2 - static_cast<int>(text.size()) * gw / 2,
                          text, DXDraw.SurfaceHeight() / 2 - gw / 2);
}

void TMainForm::DrawInfoText() {
    const TPictureCollectionItem& font = DXImageList.Items.Find(DXFontStatus.Font());
    DXFontStatus.DrawTextWrapped(DXDraw.BackSurface(), 0, World.InfoText, font.PatternHeight, font.PatternWidth - 8,
                                 100);
}

void TMainForm::DrawDebugText(uint32_t lag) {
    TPlayerSprite* player = World.Actors.GamePlayer.Get();
    if (!player) return;
    platform::Canvas& canvas = DXDraw.BackSurface().GetCanvas();
    const TSpriteEngine& engine = DXSpriteEngine.Engine();
    auto n = [](double v) { return std::to_string(Trunc(v)); };
    std::string foreground = "0,0";
    if (Level.BoundLayerIndex < World.Actors.LayerSprites.size())
        if (const TScrollingLayer* layer = World.Actors.LayerSprites[Level.BoundLayerIndex].Get())
            foreground = n(layer->X) + "," + n(layer->Y);
    std::string actions;
    if (player->Jumping) actions += "J";
    if (player->Falling) actions += "F";
    if (player->Moving) actions += "M";
    if (player->KillJumping) actions += "K";
    const std::string lines[] = {
        Pad16("Sprite:") + n(player->X) + "/" + n(player->Y),
        Pad16("Sprite (world):") + n(player->WorldX()) + "/" + n(player->WorldY()),
        Pad16("Engine:") + n(engine.X) + "/" + n(engine.Y),
        Pad16("Max scroll:") + std::to_string(World.Geometry.MaxScrollX) + "," +
            std::to_string(World.Geometry.MaxScrollY),
        Pad16("Foreground:") + foreground,
        Pad16("Last move:") + n(player->LastMoveX) + "," + n(player->LastMoveY),
        Pad16("FPS:") + std::to_string(DXTimer.FrameRate()) + "(" + std::to_string(lag) + ")",
        "Actions:   " + actions,
    };
    int y = 0;
    for (const auto& line : lines) {
        canvas.TextOut(0, y, line);
        y += 12;
    }
    if (Game.GodModeOn) canvas.TextOut(0, 96, "God mode");
}

void TMainForm::DrawDebugGrid() {
    TPlayerSprite* player = World.Actors.GamePlayer.Get();
    platform::Canvas& canvas = DXDraw.BackSurface().GetCanvas();
    const TSpriteEngine& engine = DXSpriteEngine.Engine();
    const TLevelGeometry& g = World.Geometry;
    const int width = DXDraw.SurfaceWidth(), height = DXDraw.SurfaceHeight();
    canvas.PenColor = clWhite;
    if (g.CellWidth > 0)
        for (int64_t x = Trunc(engine.X) % g.CellWidth; x < width; x += g.CellWidth) {
            canvas.MoveTo(static_cast<int>(x), 0);
            canvas.LineTo(static_cast<int>(x), 479);
        }
    if (g.CellHeight > 0)
        for (int64_t y = Trunc(engine.Y) % g.CellHeight; y < height; y += g.CellHeight) {
            canvas.MoveTo(0, static_cast<int>(y));
            canvas.LineTo(width, static_cast<int>(y));
        }
    if (player) {
        canvas.PenColor = clYellow;
        canvas.Brush = platform::BrushStyle::Clear;
        canvas.Rectangle(static_cast<int>(Round(player->X + engine.X)), static_cast<int>(Round(player->Y + engine.Y)),
                         static_cast<int>(Round(engine.X + player->X + player->Width)),
                         static_cast<int>(Round(engine.Y + player->Y + player->Height)));
    }
    canvas.PenColor = clRed;
    for (int x : {g.ScrollMarginLeft, g.ScrollMarginRight}) {
        canvas.MoveTo(x, 0);
        canvas.LineTo(x, height);
    }
    for (int y : {g.ScrollMarginTop, g.ScrollMarginBottom}) {
        canvas.MoveTo(0, y);
        canvas.LineTo(width, y);
    }
    if (player && player->HistoryCount > 1) {
        const int64_t ex = Trunc(engine.X), ey = Trunc(engine.Y);
        for (int pass = 0; pass < 2; ++pass) {
            canvas.PenColor = pass == 0 ? clLime : RGB(0, 128, 0);
            const int shift = pass == 0 ? 0 : player->Width - 1;
            std::vector<platform::Point> points;
            for (int i = 0; i < player->HistoryCount && i < TPlayerSprite::HistorySize; ++i) {
                const auto& p = player->PositionHistory[static_cast<size_t>(i)];
                points.push_back({static_cast<int>(ex + p.first + shift),
                                  static_cast<int>(ey + p.second + player->Height - 1)});
            }
            canvas.Polyline(points);
        }
    }
}

void TMainForm::DrawLevelSummary(uint32_t period) {
    TPlayerSprite* player = World.Actors.GamePlayer.Get();
    platform::Surface& surface = DXDraw.BackSurface();
    const TPictureCollectionItem& font = DXImageList.Items.Find(DXFontStatus.Font());
    const int gw = font.PatternWidth, gh = font.PatternHeight, spacing = gw - 8;
    const int32_t seconds = World.Geometry.LevelSeconds;
    const int32_t minutes = seconds / 60;
    const int64_t score = player ? player->Score : 0, killed = player ? player->EnemiesKilled : 0;
    const std::string points =
        FillNumbers(GlobalStore.GetString("Summary", "Points", "%s Points of %s"), {score, World.Geometry.LevelPointsTotal});
    const std::string enemies = FillNumbers(GlobalStore.GetString("Summary", "Enemies", "%s Enemies of %s"),
                                            {killed, World.Geometry.LevelEnemyTotal});
    const std::string time =
        FillNumbers(GlobalStore.GetString("Summary", "Time", "Time: %d min %d sec"), {minutes, seconds - minutes * 60});
    const int w = DXDraw.SurfaceWidth(), h = DXDraw.SurfaceHeight();
    auto draw = [&](const std::string& line, int y) {
        DXFontStatus.DrawTextSpaced(surface, w / 2 - static_cast<int>(line.size()) * spacing / 2, line, spacing, y);
    };
    draw(points, h / 2);
    draw(enemies, h / 2 + gh);
    draw(time, h / 2 + 2 * gh);
    if (BlinkOn(period)) draw(GlobalStore.GetString("StateMsg", "LevelComplete", "Level completed"), h / 2 - 2 * gh);
}

} // namespace varnok
