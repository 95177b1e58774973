#include "sprites/PlayerSprite.h"

#include "common/Math.h"
#include "level/CryptedINI.h"
#include "level/ImageList.h"
#include "level/TSClasses.h"
#include "platform/Clock.h"
#include "sprites/ActorSupport.h"
#include "sprites/GameWorld.h"
#include "sprites/MySprite.h"
#include "sprites/PlatformSprite.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <numbers>
#include <optional>

namespace varnok {

namespace {

constexpr uint8_t kFloor = 0x01;
constexpr uint8_t kLeftEdge = 0x02;
constexpr uint8_t kCeiling = 0x04;
constexpr uint8_t kRightEdge = 0x08;
constexpr uint8_t kSlopeJoin = 0x10;
constexpr uint8_t kSlope = 0x80;

// Auto-move tags.
constexpr uint8_t kPathRight = 0xF5;
constexpr uint8_t kPathLeft = 0xF6;
constexpr uint8_t kPathUp = 0xF7;
constexpr uint8_t kPathDown = 0xF8;
constexpr uint8_t kPathOn = 0xF9;
constexpr uint8_t kStartRight = 0xFA;
constexpr uint8_t kStartLeft = 0xFB;
constexpr uint8_t kStartUp = 0xFC;
constexpr uint8_t kStartDown = 0xFD;

// The display the level's extent is measured against when the engine has no surface.
constexpr int32_t kDisplayWidth = 640;
constexpr int32_t kDisplayHeight = 480;

int Sign(int64_t v) {
    return v > 0 ? 1 : (v < 0 ? -1 : 0);
}

bool Has(uint8_t code, uint8_t flag) {
    return (code & flag) != 0;
}

// One pixel line from (x, y) by (dx, dy), stepped the Bresenham way: long
// steps along the major axis, the minor axis following the error term.
struct TPixelLine {
    TPixelLine(int64_t dx, int64_t dy)
        : sx(Sign(dx)), sy(Sign(dy)), steep(std::llabs(dy) > std::llabs(dx)),
          longLen(std::max(std::llabs(dx), std::llabs(dy))),
          shortLen(std::min(std::llabs(dx), std::llabs(dy))), err(2 * shortLen - longLen) {}

    void Advance(int64_t& x, int64_t& y) {
        while (err >= 0) {
            if (steep)
                x += sx;
            else
                y += sy;
            err -= 2 * longLen;
        }
        if (steep)
            y += sy;
        else
            x += sx;
        err += 2 * shortLen;
    }

    int sx;
    int sy;
    bool steep;
    int64_t longLen;
    int64_t shortLen;
    int64_t err;
};

// The position a move writes back on one axis: the exact target when the
// move reached the target's pixel undisturbed (so that speeds below one pixel
// per tick add up), else the pixel reached.
double Reached(int64_t pixel, double target, bool undisturbed) {
    return undisturbed && pixel == Round(target) ? target : static_cast<double>(pixel);
}

} // namespace

TPlayerSprite::TPlayerSprite(TSprite* parent) : TImageSprite(parent) {
    if (Engine() && Engine()->World) {
        const TMemIniFileCrypted& store = TGameWorld::Of(*this).GlobalStore;
        WalkSpeed = store.GetInteger("Player", "WalkSpeed", 160);
        JumpHeight = store.GetInteger("Player", "JumpHeight", 96);
        FallSpeed = store.GetInteger("Player", "FallSpeed", WalkSpeed);
    }
}

// ---- Map access -------------------------------------------------------------

const TMapItem* TPlayerSprite::Map() const {
    if (!Engine() || !Engine()->World) return nullptr;
    TGameWorld& world = TGameWorld::Of(*this);
    return world.HasBoundMap() ? &world.BoundMap() : nullptr;
}

int32_t TPlayerSprite::CellW() const {
    return Engine() && Engine()->World ? TGameWorld::Of(*this).Geometry.CellWidth : 0;
}

int32_t TPlayerSprite::CellH() const {
    return Engine() && Engine()->World ? TGameWorld::Of(*this).Geometry.CellHeight : 0;
}

uint16_t TPlayerSprite::BoundWordAt(int64_t px, int64_t py) const {
    const TMapItem* map = Map();
    const int32_t cw = CellW();
    const int32_t ch = CellH();
    if (!map || cw <= 0 || ch <= 0) return 0;
    // Division toward zero, as the cell rule has it.
    const int64_t col = px / cw;
    const int64_t row = py / ch;
    if (col < std::numeric_limits<int32_t>::min() || col > std::numeric_limits<int32_t>::max() ||
        row < std::numeric_limits<int32_t>::min() || row > std::numeric_limits<int32_t>::max())
        return 0;
    return map->BoundAt(static_cast<int32_t>(col), static_cast<int32_t>(row));
}

uint8_t TPlayerSprite::CodeAt(int64_t px, int64_t py) const { return static_cast<uint8_t>(BoundWordAt(px, py) & 0xFF); }

uint8_t TPlayerSprite::TagAt(int64_t px, int64_t py) const { return static_cast<uint8_t>(BoundWordAt(px, py) >> 8); }

// ---- Tile tests -------------------------------------------------------------

bool TPlayerSprite::OnGround(int64_t x, int64_t y) const {
    const int32_t cw = CellW();
    if (cw <= 0) return false;
    const int64_t feet = y + Height;
    for (int64_t col = x / cw; col <= (x + Width - 1) / cw; ++col) {
        const uint8_t code = CodeAt(col * cw, feet);
        if (Has(code, kSlope) || Has(code, kFloor)) return true;
    }
    return false;
}

bool TPlayerSprite::Ceiling(int64_t x, int64_t y) const {
    const int32_t cw = CellW();
    if (cw <= 0) return false;
    for (int64_t col = x / cw; col <= (x + Width - 1) / cw; ++col) {
        const uint8_t code = CodeAt(col * cw, y);
        // A slope ends the scan: its diagonal is open from below.
        if (Has(code, kSlope)) return false;
        if (Has(code, kCeiling)) return true;
    }
    return false;
}

bool TPlayerSprite::WallRight(int64_t x, int64_t y) const {
    const uint8_t code = CodeAt(x + Width, y + Height - 1);
    return !Has(code, kSlope) && Has(code, kLeftEdge);
}

bool TPlayerSprite::WallLeft(int64_t x, int64_t y) const {
    const uint8_t code = CodeAt(x - 1, y + Height - 1);
    return !Has(code, kSlope) && Has(code, kRightEdge);
}

bool TPlayerSprite::SlopeUp(int64_t x, int64_t y) const {
    const uint8_t code = CodeAt(x + Width - 1, y + Height - 1);
    return Has(code, kSlope) && !Has(code, kFloor);
}

bool TPlayerSprite::SlopeDown(int64_t x, int64_t y) const {
    const uint8_t code = CodeAt(x, y + Height - 1);
    return Has(code, kSlope) && Has(code, kFloor);
}

bool TPlayerSprite::SlopeJoin(int64_t x, int64_t y) const {
    return Has(CodeAt(x + Width - 1, y + Height + 1), kSlopeJoin);
}

// ---- Sounds -----------------------------------------------------------------

void TPlayerSprite::PlayPanned(const std::string& sound) {
    TWorldServices& services = TGameWorld::Of(*this).Services;
    services.PlaySound(sound, services.PlayerPan(*this));
}

void TPlayerSprite::PlayUnpanned(const std::string& sound) {
    TGameWorld::Of(*this).Services.PlaySound(sound, std::nullopt);
}

// ---- State changes ----------------------------------------------------------

void TPlayerSprite::StartJump(bool check, int32_t height) {
    if (check) {
        if (Jumping) return;
        const int64_t x = Round(X);
        const int64_t y = Round(Y);
        if (!OnGround(x, y) && !SlopeUp(x, y) && !SlopeDown(x, y) && !OnPlatform) return;
    }
    CurrentJumpHeight = height;
    JumpBaseY = static_cast<int32_t>(Trunc(Y));
    Jumping = true;
    JumpAngle = 0;
    JumpAngleSpeed = 180;
    PlayPanned("Jump");
    OnPlatform = false;
}

void TPlayerSprite::Land(bool withDust) {
    if (withDust) {
        if (TDustSprite* dust = TGameWorld::Of(*this).Actors.DustSprite.Get()) {
            dust->PlaceAtFeetOf(*this);
            dust->Restart();
        }
        PlayPanned("Land");
    }
    OnPlatform = false;
    Jumping = false;
    JumpAngle = 0;
}

void TPlayerSprite::StartFall() {
    Jumping = false;
    JumpAngle = 0;
    Falling = true;
    SpeedY = FallSpeed;
}

void TPlayerSprite::StopFall() {
    Falling = false;
    SpeedY = 0;
}

void TPlayerSprite::MakeInvulnerable() {
    Invulnerable = true;
    InvulnerableSince = platform::GetTickCount();
    InvulnerableTime = 1000;
}

bool TPlayerSprite::TakeDamage(int32_t damage, THealthRefill refill) {
    TGameWorld& world = TGameWorld::Of(*this);
    if (Invulnerable || world.Game.GodModeOn) return false;
    // Damage comes from the settings: the sums wrap at 32 bits.
    Health = Wrap32(int64_t{Health} - damage);
    if (Health < 1) {
        if (Lives < 2) {
            Lives = 0;
            world.Game.GameState = gs::GameOver;
        } else {
            Lives -= 1;
            Health = Wrap32(refill == THealthRefill::AddHundred ? int64_t{Health} + 100 : 100 - int64_t{Health});
        }
    }
    MakeInvulnerable();
    return true;
}

// ---- Motion -----------------------------------------------------------------

void TPlayerSprite::MoveWithCollision(double& tx, double& ty) {
    int64_t x = Round(X);
    int64_t y = Round(Y);
    TPixelLine line(Round(tx) - x, Round(ty) - y);
    const bool wasJumping = Jumping;
    const bool wasFalling = Falling;
    const int32_t ch = CellH();
    const int32_t cw = CellW();
    bool stopped = false;
    // Lands with the dust and the sound at the pixel reached, not where the
    // move began.
    auto landHere = [&] {
        const double fromX = X;
        const double fromY = Y;
        X = static_cast<double>(x);
        Y = static_cast<double>(y);
        Land(true);
        X = fromX;
        Y = fromY;
    };

    for (int64_t step = 0; step < line.longLen && !stopped; ++step) {
        if (!Jumping && !Falling) {
            // Walking: walls stop, slopes lift and lower, an edge starts a fall.
            if (line.sx == -1) {
                if (WallLeft(x, y)) {
                    stopped = true;
                } else if (SlopeDown(x, y)) {
                    y -= 1;
                } else if (!OnGround(x, y)) {
                    StartFall();
                    stopped = true;
                } else if (SlopeUp(x, y + 1)) {
                    y += 1;
                }
            } else if (line.sx == 1) {
                if (WallRight(x, y)) {
                    stopped = true;
                } else if (SlopeUp(x, y)) {
                    y -= 1;
                } else if (!OnGround(x, y)) {
                    StartFall();
                    stopped = true;
                } else if (SlopeDown(x, y + 1)) {
                    y += 1;
                }
            }
        } else if (line.sy == -1) {
            // Rising: a ceiling turns the jump into a fall; a slope ahead ends it.
            if (Ceiling(x, y)) {
                PlayPanned("Au");
                StartFall();
                stopped = true;
            } else if (line.sx == 1) {
                if (WallRight(x, y)) line.sx = 0;
                if (SlopeUp(x, y)) {
                    y -= 1;
                    Land(false);
                    stopped = true;
                }
            } else if (line.sx == -1) {
                if (WallLeft(x, y)) line.sx = 0;
                if (SlopeDown(x, y)) {
                    Land(false);
                    y -= 1;
                    stopped = true;
                }
            }
        } else {
            // Level or sinking: walls block sideways, slopes and floors catch.
            if (line.sx == -1) {
                if (WallLeft(x, y)) line.sx = 0;
                if (SlopeDown(x, y)) {
                    Land(false);
                    y -= 1;
                    line.sy = 0;
                }
            } else if (line.sx == 1) {
                if (WallRight(x, y)) line.sx = 0;
                if (SlopeUp(x, y)) {
                    y -= 1;
                    Land(false);
                    line.sy = 0;
                }
            }
            if (SlopeJoin(x, y)) {
                y -= 1;
                x -= 1;
                StopFall();
                landHere();
                stopped = true;
            } else if (OnGround(x, y)) {
                const int64_t depth = ch > 0 ? (y + Height) % ch : 0;
                bool lands;
                if (SlopeUp(x, y + 1))
                    lands = cw > 0 && depth >= ch - ((x + Width - 1) % cw);
                else if (SlopeDown(x, y + 1))
                    lands = cw > 0 && depth >= x % cw;
                else
                    lands = depth == 0;
                if (lands) {
                    StopFall();
                    landHere();
                    stopped = true;
                }
            }
            if (!stopped && !OnGround(x, y) && !Jumping && !Falling) {
                // A slope above ended the jump and there is nothing below.
                StartFall();
                stopped = true;
            }
        }
        if (stopped) break;
        line.Advance(x, y);
    }

    const bool undisturbed = !stopped && Jumping == wasJumping && Falling == wasFalling;
    tx = Reached(x, tx, undisturbed);
    ty = Reached(y, ty, undisturbed);
}

void TPlayerSprite::DoMove(int32_t moveCount) {
    TImageSprite::DoMove(moveCount);
    if (AutoMoving) {
        AutoMoveStep(moveCount);
        return;
    }
    const uint32_t now = platform::GetTickCount();
    // A kill-jump hovers until its time is up; only the animation runs.
    // (Compared as a difference so that a wrapping tick count does no harm.)
    if (KillJumping && static_cast<int32_t>(KillJumpUntil - now) > 0) return;

    const double s = moveCount / 1000.0;
    double tx = X + SpeedX * s;
    double ty = Y + SpeedY * s;
    if (Jumping) {
        JumpAngle += JumpAngleSpeed * s;
        if (Round(JumpAngle) > 179) {
            ty = JumpBaseY;
            Land(false);
            StartFall();
        } else {
            ty = JumpBaseY - static_cast<double>(
                                 Round(std::sin(JumpAngle * std::numbers::pi / 180.0) * CurrentJumpHeight));
        }
    }

    TPlatformSprite* carrier = OnPlatform && !Jumping ? CarrierPlatform.Get() : nullptr;
    if (OnPlatform && !Jumping && !carrier) OnPlatform = false; // the platform is gone
    if (carrier) {
        // Carried: the platform's movement, without tile tests.
        tx = X + carrier->MovedX;
        ty = Y + carrier->MovedY;
    } else if (Round(tx) != Round(X) || Round(ty) != Round(Y)) {
        MoveWithCollision(tx, ty);
    }

    if (Invulnerable) {
        Visible = !Visible;
        if (now - InvulnerableSince > static_cast<uint32_t>(InvulnerableTime)) {
            Invulnerable = false;
            Visible = true;
        }
    }

    if (Round(tx) < 1) tx = 0;
    if (Round(ty) < 1) ty = 0;

    TGameWorld& world = TGameWorld::Of(*this);
    const TSpriteEngine* engine = Engine();
    const int32_t displayW = engine->Width > 0 ? engine->Width : kDisplayWidth;
    const int32_t displayH = engine->Height > 0 ? engine->Height : kDisplayHeight;
    const double right = static_cast<double>(world.Geometry.MaxScrollX) + displayW;
    const double bottom = static_cast<double>(world.Geometry.MaxScrollY) + displayH;
    if (tx + Width >= right) tx = right - Width;
    if (ty + Height >= bottom && !FellOut) {
        FellOut = true;
        PlayUnpanned("Fall");
    } else if (ty - Height >= bottom) {
        // A full height below the level: the game is over, whatever lives are left.
        Lives = 0;
        world.Game.GameState = gs::GameOver;
    }

    Commit(tx, ty);

    if (RunHeld())
        TraceLength = std::min(TraceLength + 1, MaxTraceLength);
    else
        TraceLength = std::max(TraceLength - 1, 0);
}

void TPlayerSprite::Commit(double tx, double ty) {
    LastMoveX = tx - X;
    LastMoveY = ty - Y;
    Moving = Round(LastMoveY) != 0 || Round(LastMoveX) != 0 || Falling;
    X = tx;
    Y = ty;
    RecordPosition();
}

void TPlayerSprite::RecordPosition() {
    // Every valid entry moves one place back (the oldest drops out when full).
    const int32_t kept = std::min(HistoryCount, HistorySize - 1);
    for (int32_t i = kept; i > 0; --i)
        PositionHistory[static_cast<size_t>(i)] = PositionHistory[static_cast<size_t>(i - 1)];
    PositionHistory[0] = {static_cast<int32_t>(Round(X)), static_cast<int32_t>(Round(Y))};
    HistoryCount = std::min(HistoryCount + 1, HistorySize);
}

// ---- Auto-move paths --------------------------------------------------------

void TPlayerSprite::AutoMoveStep(int32_t moveCount) {
    TGameWorld& world = TGameWorld::Of(*this);
    const int32_t cw = CellW();
    const int32_t ch = CellH();

    uint8_t g = TagAt(Round(X), Round(Y));
    SpeedX = 0;
    SpeedY = 0;
    if (g == kPathOn) g = LastAutoMoveTag;
    // Both come from the settings: the product (and its negation) wraps at
    // 32 bits, as all settings arithmetic does.
    const int32_t v = Wrap32(std::llabs(int64_t{WalkSpeed}) * int64_t{AutomoveFactor});
    const int32_t minusV = Wrap32(-int64_t{v});
    switch (g) {
    case kPathRight:
    case kStartRight:
        SpeedX = v;
        break;
    case kPathLeft:
    case kStartLeft:
        SpeedX = minusV;
        break;
    case kPathUp:
    case kStartUp:
        SpeedY = minusV;
        break;
    case kPathDown:
    case kStartDown:
        SpeedY = v;
        break;
    default:
        break;
    }
    LastAutoMoveTag = g;

    double tx = X + SpeedX * (moveCount / 1000.0);
    double ty = Y + SpeedY * (moveCount / 1000.0);
    int64_t x = Round(X);
    int64_t y = Round(Y);
    TPixelLine line(Round(tx) - x, Round(ty) - y);
    bool disturbed = false;

    for (int64_t step = 0; step < line.longLen; ++step) {
        line.Advance(x, y);
        const uint8_t k = TagAt(x, y);
        if (k == g) continue;
        disturbed = true;
        if (k == 0) {
            // The path ended: one more cell onward, then fall.
            AutoMoving = false;
            LastAutoMoveTag = 0;
            if (line.steep)
                y += static_cast<int64_t>(ch) * line.sy;
            else
                x += static_cast<int64_t>(cw) * line.sx;
            StartFall();
            world.Services.StopSound("Automove");
            break;
        }
        if (k == kPathOn || (g >= kPathRight && g <= kPathDown)) {
            // A turn: hold one pixel inside the new cell; the new direction
            // applies from the next tick.
            if (k != kPathOn && cw > 0 && ch > 0) {
                if (g == kPathRight || g == kPathLeft)
                    x = (x / cw) * cw + 1;
                else if (g == kPathUp || g == kPathDown)
                    y = (y / ch) * ch + 1;
            }
            continue;
        }
        // Entered the path from its start or from outside.
        LastAutoMoveTag = k;
        PlayPanned("Bump");
        break;
    }

    Commit(Reached(x, tx, !disturbed), Reached(y, ty, !disturbed));

    const uint8_t here = TagAt(Round(X), Round(Y));
    if (here >= kPathRight && here <= kStartDown) return;
    world.Services.StopSound("Automove");
    AutoMoving = false;
    LeavePath();
}

void TPlayerSprite::LeavePath() {
    TGameWorld& world = TGameWorld::Of(*this);
    TPictureCollectionItem& item = world.Images.Items.Find("Player");
    item.Restore();
    const int32_t oldHeight = Height;
    Image = &item;
    Width = item.PatternWidth;
    Height = item.PatternHeight;
    AnimCount = item.PatternCount();
    AnimStart = 0;
    AnimPos = 1;
    AnimSpeed = 16 / 1000.0;
    SpeedX = 0;
    SpeedY = 0;
    // Keep the feet where they are.
    Y -= Height - oldHeight;
    StartFall();
}

bool TPlayerSprite::RunHeld() const {
    return TGameWorld::Of(*this).ShiftDown;
}

} // namespace varnok
