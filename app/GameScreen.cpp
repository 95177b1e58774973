// The game screen: the tick of every game state, the camera, the input
// mapping, the speed trail, the fades, the no-tiles view and the game's keys.
#include "app/MainForm.h"
#include "common/Math.h"
#include "common/StrUtils.h"
#include "level/CryptedINI.h"
#include "platform/Canvas.h"
#include "platform/Clock.h"
#include "sprites/ActorSupport.h"
#include "sprites/PlayerSprite.h"

namespace varnok {

using platform::GetTickCount;

namespace {
struct Animation {
    int32_t start, count;
    double speed;
};
constexpr Animation kWalkRight{20, 10, 0.01};
constexpr Animation kWalkLeft{30, 10, 0.01};
constexpr Animation kJumpRight{40, 8, 0.01};
constexpr Animation kJumpLeft{50, 8, 0.01};
constexpr Animation kFalling{60, 2, 0.002};
constexpr Animation kStanding{70, 10, 0.01};
constexpr Animation kKillJump{80, 10, 0.04};

void Use(TPlayerSprite& p, const Animation& a) {
    p.AnimStart = a.start;
    p.AnimCount = a.count;
    p.AnimSpeed = a.speed;
}
} // namespace

void TMainForm::TimerGame(uint32_t lag) {
    if (!DXDraw.CanDraw()) return;
    platform::Surface& surface = DXDraw.BackSurface();
    TPlayerSprite* player = World.Actors.GamePlayer.Get();
    bool canvasUsed = false;

    // The background picture goes first, but only once the layers are where
    // they will be drawn: where their opaque tiles cover it, it is left out.
    if (Game.NoTilesOn) surface.Fill(0);
    auto drawScene = [&] {
        DXSpriteEngine.Draw([&](const std::vector<platform::Rect>& cover) { DrawBackdrop(surface, cover); });
    };

    if (player) {
        const int pan = PlayerPan(*player);
        for (int i = 0; i < DXWaveListPlayer.Count(); ++i) DXWaveListPlayer.Items(i).SetPan(pan);
    }
    DXInput.PollInput();
    HandlePlayerInput();

    switch (Game.GameState) {
    case gs::Playing:
        DXSpriteEngine.Move(static_cast<int32_t>(lag));
        DXSpriteEngine.RemoveDead();
        ScrollToPlayer();
        drawScene();
        break;
    case gs::GetReady:
        if (!LevelStartError.empty()) {
            // A level that did not start waits for Escape or Enter.
            DrawBackdrop(surface, {});
            DrawLevelStartError();
            break;
        }
        drawScene();
        DrawGetReady(GlobalStore.GetString("StateMsg", "GetReady", "Get ready"), 500);
        if (GetTickCount() - Game.GetReadyTick > 5000) {
            Game.GameState = gs::Playing;
            if (player) player->LevelStartTick = GetTickCount();
        }
        break;
    case gs::GameOver:
        drawScene();
        DrawBlinkingMessage(GlobalStore.GetString("StateMsg", "GameOver", "Game over"), 500);
        break;
    case gs::Paused:
        drawScene();
        DrawBlinkingMessage(GlobalStore.GetString("StateMsg", "Pause", "Pause"), 500);
        break;
    case gs::Leaving:
        if (!FadeActive) {
            // The fade-out has ended: back to the title, without drawing this tick.
            DrawBackdrop(surface, {});
            SetTimer(false);
            Game.GameState = gs::TitleStart;
            SetStateEvents();
            SetTimer(true);
            return;
        }
        drawScene();
        break;
    case gs::LevelComplete:
        drawScene();
        DrawLevelSummary(500);
        break;
    default:
        DrawBackdrop(surface, {});
        break;
    }

    if (!Game.ShowDebugText) DrawHud(lag);
    platform::Canvas& canvas = surface.GetCanvas();
    canvas.FontColor = clWhite;
    canvas.Brush = platform::BrushStyle::Clear;
    if (Game.ShowDebugText) {
        DrawDebugText(lag);
        canvasUsed = true;
    }
    if (Game.ShowDebugGrid) {
        DrawDebugGrid();
        canvasUsed = true;
    }
    PlaceTrace();
    if (Game.NoTilesOn) {
        canvasUsed = true;
        DrawBoundsOverlay();
        DrawSpecialCellsOverlay();
    }
    if (!World.InfoText.empty()) DrawInfoText();
    if (canvasUsed) canvas.Release();
    if (FadeActive) DrawFade(lag);
    DXDraw.Flip();
    World.ScrollDelta = {};
}

void TMainForm::DrawBackdrop(platform::Surface& surface, const std::vector<platform::Rect>& cover) {
    if (Game.NoTilesOn) return;
    const TPictureCollectionItem& background = DXImageList.Items.Find("Background");
    if (cover.empty() || !background.Covers(surface, 0)) {
        background.Draw(surface, 0, 0, 0);
        return;
    }
    for (const platform::Rect& r : platform::Uncovered(surface.ClientRect(), cover))
        background.DrawPart(surface, 0, 0, 0, r);
}

void TMainForm::ScrollToPlayer() {
    TPlayerSprite* player = World.Actors.GamePlayer.Get();
    if (!player) return;
    TSpriteEngine& engine = DXSpriteEngine.Engine();
    const TLevelGeometry& g = World.Geometry;
    if (player->WorldX() <= g.ScrollMarginLeft && player->LastMoveX < 0 && engine.X < 0) {
        engine.X -= player->LastMoveX;
        World.ScrollDelta.X = player->LastMoveX;
        if (engine.X > 0) engine.X = 0;
    }
    if (player->WorldX() + player->Width >= g.ScrollMarginRight && player->LastMoveX > 0 &&
        std::abs(engine.X) < g.MaxScrollX) {
        engine.X -= player->LastMoveX;
        World.ScrollDelta.X = player->LastMoveX;
        if (std::abs(engine.X) > g.MaxScrollX) engine.X = -g.MaxScrollX;
    }
    if (player->WorldY() <= g.ScrollMarginTop && player->LastMoveY < 0 && engine.Y < 0) {
        engine.Y -= player->LastMoveY;
        World.ScrollDelta.Y = player->LastMoveY;
        if (engine.Y > 0) engine.Y = 0;
    }
    if (player->WorldY() + player->Height >= g.ScrollMarginBottom && player->LastMoveY >= 0 &&
        std::abs(engine.Y) < g.MaxScrollY) {
        engine.Y -= player->LastMoveY;
        if (std::abs(engine.Y) <= g.MaxScrollY) {
            if (player->LastMoveY > 0) World.ScrollDelta.Y = player->LastMoveY;
        } else {
            engine.Y = -g.MaxScrollY;
        }
    }
    // The layers follow the camera with their parallax.
    for (auto& layer : World.Actors.LayerSprites)
        if (TScrollingLayer* l = layer.Get()) l->Move(1);
}

void TMainForm::HandlePlayerInput() {
    TPlayerSprite* player = World.Actors.GamePlayer.Get();
    if (!player || player->AutoMoving) return;
    const bool left = DXInput.CurrentStates.Contains(InputState::Left);
    const bool right = DXInput.CurrentStates.Contains(InputState::Right);
    const bool down = DXInput.CurrentStates.Contains(InputState::Down);
    TPlayerSprite& p = *player;
    p.SpeedX = 0;
    p.AnimLoop = true;
    if (p.Jumping) {
        if (left && !down) {
            Use(p, kJumpLeft);
            p.SpeedX = Wrap32(-int64_t{p.WalkSpeed});
        } else if (right && !down) {
            Use(p, kJumpRight);
            p.SpeedX = p.WalkSpeed;
        }
        if (down && p.LastMoveY > 0 && !p.KillJumping) {
            p.KillJumping = true;
            PlaySound("KillJump", std::nullopt);
            Use(p, kKillJump);
            p.KillJumpUntil = GetTickCount() + static_cast<uint32_t>(p.FloatTime);
        } else if (p.LastMoveY > 0 && !right && !left) {
            if (!p.KillJumping)
                Use(p, kFalling);
            else
                p.AnimSpeed = 0.04;
        }
    } else {
        if (Game.CtrlDown) {
            p.StartJump(true, p.JumpHeight);
            if (p.Jumping) p.KillJumping = false;
        }
        if (!p.Falling || right || left) {
            p.KillJumping = false;
            p.AnimSpeed = 0.01;
            if (left) {
                if (p.Jumping) {
                    Use(p, kJumpLeft);
                } else {
                    p.SpeedX = Wrap32(-int64_t{p.WalkSpeed});
                    Use(p, kWalkLeft);
                }
            } else if (right) {
                if (p.Jumping) {
                    Use(p, kJumpRight);
                } else {
                    p.SpeedX = p.WalkSpeed;
                    Use(p, kWalkRight);
                }
            } else {
                Use(p, kStanding);
                p.SpeedX = 0;
            }
        } else if (!p.KillJumping) {
            Use(p, kFalling);
        }
    }
    if (AltDown) p.SpeedX /= 10;
    // The walking speed is a setting: running doubles it with 32-bit wrap.
    if (World.ShiftDown) p.SpeedX = Wrap32(int64_t{p.SpeedX} * 2);
}

void TMainForm::PlaceTrace() {
    TPlayerSprite* player = World.Actors.GamePlayer.Get();
    if (!player) return;
    auto& traces = World.Actors.TraceSprites;
    if (World.ShiftDown || player->AutoMoving || player->KillJumping) {
        const int step = std::max(DXTimer.FrameRate() / 10, 1);
        for (int i = 0; i <= player->TraceLength && i < static_cast<int>(traces.size()); ++i) {
            TImageSprite* trace = traces[static_cast<size_t>(i)].Get();
            if (!trace || i * step >= player->HistoryCount) continue;
            const auto& entry = player->PositionHistory[static_cast<size_t>(i * step)];
            const int imageWidth = trace->Image ? trace->Image->Width() : 0;
            trace->X = entry.first + player->Width / 2 - imageWidth / 2;
            trace->Y = entry.second;
            trace->Visible = true;
        }
    } else {
        for (int i = std::max(player->TraceLength, 0); i < static_cast<int>(traces.size()); ++i)
            if (TImageSprite* trace = traces[static_cast<size_t>(i)].Get()) trace->Visible = false;
    }
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

// The cells of the bound map that cover the screen, with their screen positions.
template <typename F> void TMainForm::ForEachVisibleCell(F&& visit) {
    if (!World.HasBoundMap()) return;
    const TMapItem& map = World.BoundMap();
    const TSpriteEngine& engine = DXSpriteEngine.Engine();
    const int cw = World.Geometry.CellWidth, ch = World.Geometry.CellHeight;
    if (cw <= 0 || ch <= 0) return;
    const int64_t ex = Trunc(engine.X), ey = Trunc(engine.Y);
    const int64_t c = Trunc(std::abs(engine.X)) / cw, r = Trunc(std::abs(engine.Y)) / ch;
    const int64_t w = Trunc(static_cast<double>(DXDraw.SurfaceWidth()) / cw);
    const int64_t h = Trunc(static_cast<double>(DXDraw.SurfaceHeight()) / ch);
    const int64_t firstCol = c == 0 ? 0 : c - 1, firstRow = r == 0 ? 0 : r - 1;
    const int64_t lastCol = std::min<int64_t>(firstCol + w + 1, map.Width() - 1);
    const int64_t lastRow = std::min<int64_t>(firstRow + h + 1, map.Height() - 1);
    for (int64_t j = firstRow; j <= lastRow; ++j)
        for (int64_t i = firstCol; i <= lastCol; ++i) {
            const int x = static_cast<int>(ex % cw + cw * (i - c));
            const int y = static_cast<int>(ey % ch + ch * (j - r));
            visit(map, static_cast<int32_t>(i), static_cast<int32_t>(j), x, y);
        }
}

void TMainForm::DrawBoundsOverlay() {
    platform::Canvas& canvas = DXDraw.BackSurface().GetCanvas();
    const int cw = World.Geometry.CellWidth, ch = World.Geometry.CellHeight;
    canvas.PenColor = clBlue;
    ForEachVisibleCell([&](const TMapItem& map, int32_t i, int32_t j, int x, int y) {
        const uint8_t b = map.BoundLow(i, j);
        if (b & 0x80) {
            if (b & 1) {
                canvas.MoveTo(x, y);
                canvas.LineTo(x + cw, y + ch);
            } else {
                canvas.MoveTo(x, y + ch);
                canvas.LineTo(x + cw, y);
            }
            return;
        }
        if (b & 1) {
            canvas.MoveTo(x, y);
            canvas.LineTo(x + cw, y);
        }
        if (b & 2) {
            canvas.MoveTo(x, y);
            canvas.LineTo(x, y + ch);
        }
        if (b & 4) {
            canvas.MoveTo(x, y + ch);
            canvas.LineTo(x + cw, y + ch);
        }
        if (b & 8) {
            canvas.MoveTo(x + cw, y);
            canvas.LineTo(x + cw, y + ch);
        }
    });
    canvas.PenColor = clRed;
    canvas.Brush = platform::BrushStyle::Clear;
    ForEachVisibleCell([&](const TMapItem& map, int32_t i, int32_t j, int x, int y) {
        if (map.BoundLow(i, j) & 0x10) canvas.Rectangle(x + 2, y + 2, x + cw - 2, y + ch - 2);
    });
}

void TMainForm::DrawSpecialCellsOverlay() {
    platform::Canvas& canvas = DXDraw.BackSurface().GetCanvas();
    const int cw = World.Geometry.CellWidth, ch = World.Geometry.CellHeight;
    canvas.PenColor = RGB(0, 255, 255);
    canvas.Brush = platform::BrushStyle::Clear;
    ForEachVisibleCell([&](const TMapItem& map, int32_t i, int32_t j, int x, int y) {
        const uint8_t tag = map.BoundHigh(i, j);
        if (tag < 245 || tag > 253) return;
        if (tag == 249) {
            canvas.Rectangle(x, y, x + cw, y + ch);
        } else if (tag == 247 || tag == 248 || tag == 252 || tag == 253) {
            canvas.MoveTo(x, y);
            canvas.LineTo(x, y + ch);
            canvas.MoveTo(x + cw, y);
            canvas.LineTo(x + cw, y + ch);
        } else {
            canvas.MoveTo(x, y);
            canvas.LineTo(x + cw, y);
            canvas.MoveTo(x, y + ch);
            canvas.LineTo(x + cw, y + ch);
        }
    });
}

void TMainForm::KeyDownGame(int& key, int shift) {
    if (InputLocked(key)) {
        // A modifier released or pressed now still counts, or the player would
        // go on jumping with no key held; the key itself stays swallowed.
        UpdateModifierFlags(shift, false);
        return;
    }
    if (Game.GameState == gs::GetReady && !LevelStartError.empty()) {
        // Nothing to play: Escape or Enter leads back to the title.
        if (key == VK_ESCAPE || key == VK_RETURN) {
            Game.GameState = gs::TitleStart;
            SetStateEvents();
        }
        key = 0;
        return;
    }
    if (Game.GameState == gs::GetReady) {
        key = 0;
        Game.GameState = gs::Playing;
        if (TPlayerSprite* player = World.Actors.GamePlayer.Get()) player->LevelStartTick = GetTickCount();
        return;
    }
    // Alt+Enter switches the window mode on every game screen, the game-over
    // message and the summary included; Enter alone moves on there.
    const bool altEnter = key == VK_RETURN && (shift & ssAlt);
    if (Game.GameState == gs::GameOver && ((key == VK_RETURN && !altEnter) || key == VK_ESCAPE)) {
        key = 0;
        Game.GameState = gs::TitleStart;
        SetStateEvents();
        return;
    }
    if (Game.GameState == gs::LevelComplete && key == VK_RETURN && !altEnter) {
        key = 0;
        LevelAdvance();
        return;
    }
    UpdateModifierFlags(shift, true);
    if (key == 'P' || key == VK_F1) ActionPause.Execute();
    if (key == VK_ESCAPE && Game.GameState != gs::Leaving) {
        StartFade(true);
        Game.GameState = gs::Leaving;
    }
    if ((key == 'T' || key == VK_F5) && (shift & ssAlt)) ActionNoTiles.Execute();
    if ((key == 'G' || key == VK_NUMPAD7) && (shift & ssAlt)) ActionGodMode.Execute();
    if (key == VK_F11) Game.ShowDebugText = !Game.ShowDebugText;
    if (key == VK_F9) Game.ShowDebugGrid = !Game.ShowDebugGrid;
    if (TPlayerSprite* player = World.Actors.GamePlayer.Get()) {
        if (key == VK_NUMPAD1 || key == VK_NUMPAD4 || key == VK_NUMPAD7) player->X -= 1;
        if (key == VK_NUMPAD3 || key == VK_NUMPAD6 || key == VK_NUMPAD9) player->X += 1;
        if (key == VK_NUMPAD1 || key == VK_NUMPAD2 || key == VK_NUMPAD3) player->Y += 1;
        if (key == VK_NUMPAD7 || key == VK_NUMPAD8 || key == VK_NUMPAD9) player->Y -= 1;
    }
    if (key == VK_RETURN && (shift & ssAlt)) ActionToggleWindow.Execute();
}

void TMainForm::KeyUpGame(int& key, int shift) {
    // Releasing a modifier always clears its flag, also inside the lock-out.
    UpdateModifierFlags(shift, false);
    InputLocked(key);
}

void TMainForm::UpdateModifierFlags(int shift, bool set) {
    if (set) {
        Game.CtrlDown = (shift & ssCtrl) != 0;
        World.ShiftDown = (shift & ssShift) != 0;
        AltDown = (shift & ssAlt) != 0;
        return;
    }
    if (!(shift & ssCtrl)) Game.CtrlDown = false;
    if (!(shift & ssShift)) World.ShiftDown = false;
    if (!(shift & ssAlt)) AltDown = false;
}

void TMainForm::LevelAdvance() {
    ResumeMusic();
    if (Game.CurrentLevel >= Level.LevelCount) {
        Game.GameState = gs::GameOver;
        return;
    }
    Game.CurrentLevel = static_cast<uint16_t>(Game.CurrentLevel + 1);
    Game.GetReadyTick = GetTickCount();
    Game.GameState = gs::GetReady;
    SetStateEvents();
}

void TMainForm::DXDrawMouseDown(platform::MouseButton button, int shift, int x, int y) {
    if (!DebugSwitch || Game.GameState != gs::Playing || !World.HasBoundMap()) return;
    const TLevelGeometry& g = World.Geometry;
    if (g.CellWidth <= 0 || g.CellHeight <= 0) return;
    const TSpriteEngine& engine = DXSpriteEngine.Engine();
    const int32_t col = static_cast<int32_t>(Trunc(x - engine.X) / g.CellWidth);
    const int32_t row = static_cast<int32_t>(Trunc(y - engine.Y) / g.CellHeight);
    const TMapItem& map = World.BoundMap();
    SetCaption(Format("%d,%d (HByte=%d, LByte=%d tile=%d)", col, row, map.BoundHigh(col, row), map.BoundLow(col, row),
                      map.TileAt(col, row)));
}

} // namespace varnok
