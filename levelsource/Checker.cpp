#include "levelsource/Checker.h"

#include "levelsource/SourceText.h"

#include "common/Math.h"
#include "common/StrUtils.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <optional>
#include <set>
#include <thread>
#include <tuple>
#include <unordered_set>

namespace varnok::levelc {

namespace {

constexpr int kTickMs = 17;         // one game tick at 60 frames per second (the slower of 16 and 17 ms)
constexpr int kMaxFlightMs = 12000; // a jump or fall that lasts longer ends nowhere
constexpr int kWalkStep = 8;        // walking explores standing places this far apart
constexpr int kSampleStep = 16;     // moving platforms are tried at positions this far apart
// A walk-through that finds more standing places than this gives up: the
// shipped levels have under 2,000, and a walk this long would keep a level
// maker waiting for minutes.
constexpr size_t kMaxWalkStates = 25000;

bool IsWalker(int tag) {
    return tag == 0x80 || tag == 0x81 || tag == 0x84 || tag == 0x85 || (tag >= 0x88 && tag <= 0x8F);
}
bool IsPathTag(int tag) {
    return tag >= 0xF5 && tag <= 0xFD;
}

struct Rect {
    int l = 0, t = 0, r = 0, b = 0;
    bool Overlaps(const Rect& o) const { return l < o.r && o.l < r && t < o.b && o.t < b; }
};

// The playfield's bound words as the level population leaves them.
class Field {
  public:
    explicit Field(const LayerSource& layer) : w(layer.width), h(layer.height), words(layer.bounds) {}

    uint16_t At(int c, int r) const {
        if (c < 0 || r < 0 || c >= w || r >= h) return 0;
        return words[static_cast<size_t>(r * w + c)];
    }
    int Low(int c, int r) const { return At(c, r) & 0xFF; }
    int Tag(int c, int r) const { return At(c, r) >> 8; }
    void Set(int c, int r, int value) {
        if (c >= 0 && r >= 0 && c < w && r < h) Put(static_cast<size_t>(r * w + c), value);
    }
    void SwitchTagged(int tag, int low) {
        for (size_t i = 0; i < words.size(); ++i)
            if ((words[i] >> 8) == tag) Put(i, tag << 8 | (low & 0xFF));
    }
    // Sets a word by its index, marking the cell as changed when it is.
    void Put(size_t i, int value) {
        const auto word = static_cast<uint16_t>(value);
        if (words[i] == word) return;
        words[i] = word;
        if (!changed.empty()) changed[i] = 1;
    }

    int w, h;
    std::vector<uint16_t> words;
    // The cells changed since the walk last looked (empty: not followed).
    std::vector<uint8_t> changed;
};

// The pixels a walk from one standing place passed through, gathered while
// its state is expanded (thread-local: large rounds expand on several
// threads).
struct Extent {
    int l = INT_MAX, t = INT_MAX, r = INT_MIN, b = INT_MIN;
    void Add(const Rect& x) {
        l = std::min(l, x.l);
        t = std::min(t, x.t);
        r = std::max(r, x.r);
        b = std::max(b, x.b);
    }
    bool Empty() const { return l > r; }
};
thread_local Extent* tlsExtent = nullptr;

// The player's motion, step for step as the game does it.
struct Body {
    double X = 0, Y = 0;
    int W = 32, H = 48;
    bool Jumping = false, Falling = false, OnPlatform = false, AutoMoving = false, Dead = false;
    double JumpAngle = 0;
    int JumpBaseY = 0;
    int CurrentJumpHeight = 0;
    int SpeedX = 0, SpeedY = 0;
    double LastMoveX = 0, LastMoveY = 0;
    int LastAutoMoveTag = 0;
    int JumpSteps = 0;       // ticks since JumpAngle was last set to 0
    Extent* Trail = nullptr; // where the places it passes are gathered, if anywhere
    Rect Bounds() const {
        const int l = static_cast<int>(Trunc(X)), t = static_cast<int>(Trunc(Y));
        return Rect{l, t, l + W, t + H};
    }
};

void Passed(const Body& b) {
    if (b.Trail) b.Trail->Add(b.Bounds());
}

struct Physics {
    int cw = 32, ch = 32;
    int right = 0, bottom = 0; // level size in pixels
    int walkSpeed = 160, jumpHeight = 96, fallSpeed = 160, automoveFactor = 4;
    int playerW = 32, playerH = 48, autoW = 32, autoH = 32;
};

int Sign(int v) {
    return (v > 0) - (v < 0);
}

// A move of (dx, dy) whole pixels walked one pixel at a time along a line,
// the way the player's movement walks it; sx and sy may be cleared on the way
// (a wall stops that direction).
struct PixelLine {
    int sx, sy;
    bool steep;
    int lng, sht, err;

    PixelLine(int dx, int dy)
        : sx(Sign(dx)), sy(Sign(dy)), steep(std::abs(dy) > std::abs(dx)),
          lng(std::max(std::abs(dx), std::abs(dy))), sht(std::min(std::abs(dx), std::abs(dy))),
          err(2 * sht - lng) {}

    void Step(int& x, int& y) {
        while (err >= 0) {
            if (steep)
                x += sx;
            else
                y += sy;
            err -= 2 * lng;
        }
        if (steep)
            y += sy;
        else
            x += sx;
        err += 2 * sht;
    }
};

class Motion {
  public:
    Motion(const Field& field, const Physics& phys) : f_(field), p_(phys) {
        // The angles of a jump's ticks, added up as DoMove adds them, and
        // their sines: most jumps are made of these.
        double angle = 0;
        for (size_t k = 1; k < kJumpTicks; ++k) {
            angle += 180 * (kTickMs / 1000.0);
            tickAngles_[k] = angle;
            tickSines_[k] = std::sin(angle * M_PI / 180);
        }
    }

    // Pixel to cell, by table within the level and a margin around it (the
    // collision reads are most of the walk-through's work).
    void Prepare() {
        cols_.resize(static_cast<size_t>(p_.right + 2 * kPad));
        rows_.resize(static_cast<size_t>(p_.bottom + 2 * kPad));
        for (size_t i = 0; i < cols_.size(); ++i)
            cols_[i] = (static_cast<int>(i) - kPad) / p_.cw;
        for (size_t i = 0; i < rows_.size(); ++i)
            rows_[i] = (static_cast<int>(i) - kPad) / p_.ch;
    }
    int Col(int x) const {
        const auto i = static_cast<size_t>(x + kPad);
        return i < cols_.size() ? cols_[i] : x / p_.cw;
    }
    int Row(int y) const {
        const auto i = static_cast<size_t>(y + kPad);
        return i < rows_.size() ? rows_[i] : y / p_.ch;
    }

    double Sine(const Body& b) const {
        const auto k = static_cast<size_t>(b.JumpSteps);
        if (k < kJumpTicks && tickAngles_[k] == b.JumpAngle) return tickSines_[k];
        return std::sin(b.JumpAngle * M_PI / 180);
    }

    bool OnGround(const Body& b, int x, int y) const {
        const int row = Row(y + b.H);
        for (int c = Col(x), last = Col(x + b.W - 1); c <= last; ++c) {
            const int low = f_.Low(c, row);
            if ((low & 0x80) || (low & 1)) return true;
        }
        return false;
    }
    bool Ceiling(const Body& b, int x, int y) const {
        const int row = Row(y);
        for (int c = Col(x), last = Col(x + b.W - 1); c <= last; ++c) {
            const int low = f_.Low(c, row);
            if (low & 0x80) return false;
            if (low & 4) return true;
        }
        return false;
    }
    bool WallRight(const Body& b, int x, int y) const {
        const int low = f_.Low(Col(x + b.W), Row(y + b.H - 1));
        return !(low & 0x80) && (low & 2);
    }
    bool WallLeft(const Body& b, int x, int y) const {
        const int low = f_.Low(Col(x - 1), Row(y + b.H - 1));
        return !(low & 0x80) && (low & 8);
    }
    bool SlopeUp(const Body& b, int x, int y) const {
        const int low = f_.Low(Col(x + b.W - 1), Row(y + b.H - 1));
        return (low & 0x80) && !(low & 1);
    }
    bool SlopeDown(const Body& b, int x, int y) const {
        const int low = f_.Low(Col(x), Row(y + b.H - 1));
        return (low & 0x80) && (low & 1);
    }
    bool SlopeJoin(const Body& b, int x, int y) const {
        return f_.Low(Col(x + b.W - 1), Row(y + b.H + 1)) & 0x10;
    }

    void Land(Body& b) const {
        b.OnPlatform = false;
        b.Jumping = false;
        b.JumpAngle = 0;
        b.JumpSteps = 0;
    }
    void StartFall(Body& b) const {
        b.Jumping = false;
        b.JumpAngle = 0;
        b.JumpSteps = 0;
        b.Falling = true;
        b.SpeedY = p_.fallSpeed;
    }
    void StopFall(Body& b) const {
        b.Falling = false;
        b.SpeedY = 0;
    }
    bool StartJump(Body& b, bool check, int height) const {
        if (check) {
            if (b.Jumping) return false;
            const int x = static_cast<int>(Round(b.X)), y = static_cast<int>(Round(b.Y));
            if (!OnGround(b, x, y) && !SlopeUp(b, x, y) && !SlopeDown(b, x, y) && !b.OnPlatform) return false;
        }
        b.CurrentJumpHeight = height;
        b.JumpBaseY = static_cast<int>(Trunc(b.Y));
        b.Jumping = true;
        b.JumpAngle = 0;
        b.JumpSteps = 0;
        b.OnPlatform = false;
        return true;
    }

    // The steering of one tick: direction, running, jump key.
    void Input(Body& b, int dir, bool shift, bool jump) const {
        if (b.AutoMoving) return;
        b.SpeedX = 0;
        if (b.Jumping) {
            b.SpeedX = dir * p_.walkSpeed;
        } else {
            if (jump) StartJump(b, true, p_.jumpHeight);
            if ((!b.Falling || dir != 0) && !b.Jumping) b.SpeedX = dir * p_.walkSpeed;
        }
        if (shift) b.SpeedX *= 2;
    }

    void MoveWithCollision(Body& b, double& tx, double& ty) const {
        int x = static_cast<int>(Round(b.X)), y = static_cast<int>(Round(b.Y));
        const int dx = static_cast<int>(Round(tx - b.X)), dy = static_cast<int>(Round(ty - b.Y));
        PixelLine line(dx, dy);
        int& sx = line.sx;
        int& sy = line.sy;
        for (int i = 0; i < line.lng; ++i) {
            bool stop = false;
            if (!b.Jumping && !b.Falling) {
                if (sx == -1) {
                    if (WallLeft(b, x, y))
                        stop = true;
                    else if (SlopeDown(b, x, y))
                        --y;
                    else if (!OnGround(b, x, y)) {
                        StartFall(b);
                        stop = true;
                    } else if (SlopeUp(b, x, y + 1))
                        ++y;
                } else if (sx == 1) {
                    if (WallRight(b, x, y))
                        stop = true;
                    else if (SlopeUp(b, x, y))
                        --y;
                    else if (!OnGround(b, x, y)) {
                        StartFall(b);
                        stop = true;
                    } else if (SlopeDown(b, x, y + 1))
                        ++y;
                }
            } else if (sy == -1) {
                if (Ceiling(b, x, y)) {
                    StartFall(b);
                    stop = true;
                } else if (sx == 1) {
                    if (WallRight(b, x, y)) sx = 0;
                    if (SlopeUp(b, x, y)) {
                        --y;
                        Land(b);
                        stop = true;
                    }
                } else if (sx == -1) {
                    if (WallLeft(b, x, y)) sx = 0;
                    if (SlopeDown(b, x, y)) {
                        Land(b);
                        --y;
                        stop = true;
                    }
                }
            } else {
                if (sx == -1) {
                    if (WallLeft(b, x, y)) sx = 0;
                    if (SlopeDown(b, x, y)) {
                        Land(b);
                        --y;
                        sy = 0;
                    }
                } else if (sx == 1) {
                    if (WallRight(b, x, y)) sx = 0;
                    if (SlopeUp(b, x, y)) {
                        --y;
                        Land(b);
                        sy = 0;
                    }
                }
                if (SlopeJoin(b, x, y)) {
                    --y;
                    --x;
                    StopFall(b);
                    Land(b);
                    stop = true;
                } else if (OnGround(b, x, y)) {
                    const int depth = (y + b.H) % p_.ch;
                    bool land;
                    if (SlopeUp(b, x, y + 1))
                        land = depth >= p_.ch - ((x + b.W - 1) % p_.cw);
                    else if (SlopeDown(b, x, y + 1))
                        land = depth >= x % p_.cw;
                    else
                        land = depth == 0;
                    if (land) {
                        StopFall(b);
                        Land(b);
                        stop = true;
                    }
                } else if (!b.Jumping && !b.Falling) {
                    StartFall(b);
                    stop = true;
                }
            }
            if (stop) break;
            line.Step(x, y);
        }
        tx = x;
        ty = y;
    }

    // The player's own step of one tick (not on a platform, not auto-moving).
    void DoMove(Body& b, int ms) const {
        const double s = ms / 1000.0;
        double tx = b.X + b.SpeedX * s, ty = b.Y + b.SpeedY * s;
        if (b.Jumping) {
            b.JumpAngle += 180 * s;
            ++b.JumpSteps;
            if (Round(b.JumpAngle) > 179) {
                ty = b.JumpBaseY;
                Land(b);
                StartFall(b);
            } else {
                ty = b.JumpBaseY - static_cast<double>(Round(Sine(b) * b.CurrentJumpHeight));
            }
        }
        if (Round(tx) != Round(b.X) || Round(ty) != Round(b.Y)) MoveWithCollision(b, tx, ty);
        if (Round(tx) < 1) tx = 0;
        if (Round(ty) < 1) ty = 0;
        if (tx + b.W >= p_.right) tx = p_.right - b.W;
        if (ty - b.H >= p_.bottom) b.Dead = true;
        b.LastMoveX = tx - b.X;
        b.LastMoveY = ty - b.Y;
        b.X = tx;
        b.Y = ty;
        Passed(b);
    }

    int TagUnder(double x, double y) const {
        return f_.Tag(static_cast<int>(Round(x)) / p_.cw, static_cast<int>(Round(y)) / p_.ch);
    }

    // One tick inside an auto-move path.
    void AutoMoveStep(Body& b, int ms) const {
        int g = TagUnder(b.X, b.Y);
        b.SpeedX = b.SpeedY = 0;
        if (g == 0xF9) g = b.LastAutoMoveTag;
        const int v = std::abs(p_.walkSpeed) * p_.automoveFactor;
        if (g == 0xF5 || g == 0xFA)
            b.SpeedX = v;
        else if (g == 0xF6 || g == 0xFB)
            b.SpeedX = -v;
        else if (g == 0xF7 || g == 0xFC)
            b.SpeedY = -v;
        else if (g == 0xF8 || g == 0xFD)
            b.SpeedY = v;
        b.LastAutoMoveTag = g;
        const double tx = b.X + b.SpeedX * ms / 1000.0, ty = b.Y + b.SpeedY * ms / 1000.0;
        int x = static_cast<int>(Round(b.X)), y = static_cast<int>(Round(b.Y));
        const int dx = static_cast<int>(Round(tx - b.X)), dy = static_cast<int>(Round(ty - b.Y));
        PixelLine line(dx, dy);
        for (int i = 0; i < line.lng; ++i) {
            line.Step(x, y);
            const int k = f_.Tag(x / p_.cw, y / p_.ch);
            if (k == g) continue;
            if (k == 0) {
                b.AutoMoving = false;
                b.LastAutoMoveTag = 0;
                if (line.steep)
                    y += p_.ch * line.sy;
                else
                    x += p_.cw * line.sx;
                StartFall(b);
                break;
            }
            if (k == 0xF9 || (g >= 0xF5 && g <= 0xF8)) {
                if (k != 0xF9) {
                    if (g == 0xF5 || g == 0xF6)
                        x = (x / p_.cw) * p_.cw + 1;
                    else if (g == 0xF7 || g == 0xF8)
                        y = (y / p_.ch) * p_.ch + 1;
                }
                continue;
            }
            b.LastAutoMoveTag = k;
            break;
        }
        b.LastMoveX = x - b.X;
        b.LastMoveY = y - b.Y;
        b.X = x;
        b.Y = y;
        Passed(b);
        if (IsPathTag(TagUnder(b.X, b.Y))) return;
        // Leaving the path: back to the player's own picture, feet kept in place.
        b.AutoMoving = false;
        b.SpeedX = b.SpeedY = 0;
        b.Y -= p_.playerH - b.H;
        b.W = p_.playerW;
        b.H = p_.playerH;
        StartFall(b);
        Passed(b);
    }

  private:
    static constexpr size_t kJumpTicks = 64;
    static constexpr int kPad = 1024;
    std::vector<int> cols_, rows_;
    const Field& f_;
    const Physics& p_;
    double tickAngles_[kJumpTicks] = {}, tickSines_[kJumpTicks] = {};
};

// A moving platform at the places it can be.
struct PlatformActor {
    int group = 0;
    int w = 64, h = 16;
    int x0 = 0, y0 = 0;
    Rect range;
    bool moving = false;
    bool movesX = false, movesY = false;
    std::vector<std::pair<int, int>> places; // top-left corners
    Rect reach;                              // what all places cover together
    SourcePos pos;

    void Spread() {
        places.clear();
        std::vector<int> xs{x0}, ys{y0};
        if (moving && movesX && range.r > range.l) {
            xs.clear();
            for (int x = range.l; x < range.r; x += kSampleStep)
                xs.push_back(x);
            xs.push_back(range.r);
        }
        if (moving && movesY && range.b > range.t) {
            ys.clear();
            for (int y = range.t; y < range.b; y += kSampleStep)
                ys.push_back(y);
            ys.push_back(range.b);
        }
        for (int x : xs)
            for (int y : ys)
                places.emplace_back(x, y);
        reach = Rect{xs.front(), ys.front(), xs.back() + w, ys.back() + h};
    }
};

struct Springboard {
    Rect rect;
    int jumpTiles = 1;
};

struct AutoStart {
    Rect rect;
    int col = 0, row = 0;
};

struct Policy {
    int dir = 0;
    bool shift = false;
    int fromMs = 0, toMs = 1 << 30;
    int DirAt(int t) const { return t >= fromMs && t < toMs ? dir : 0; }
};

enum class Kind : uint64_t { Ground = 0, Platform = 1, Launch = 2 };

struct State {
    Kind kind = Kind::Ground;
    int x = 0, y = 0;
    int index = 0; // platform or springboard
};

// Where expanding a round of states puts what it finds: the cells its walks
// mark (the walker's own marks, or while several threads expand at once each
// thread's, merged afterwards) and the places each state's walks reach. The
// places are merged in the order of the round, so that the walk comes out
// the same however many threads shared it.
struct Findings {
    uint8_t *touched = nullptr, *stoodOn = nullptr, *stompedOn = nullptr;
    std::vector<State>* visits = nullptr; // of the state being expanded
};
thread_local Findings* tlsFindings = nullptr;

class Walker {
  public:
    Walker(const LevelSource& level, const Settings& settings, const SpriteSizes& sizes, Diagnostics& diag,
           Rewalk rewalk)
        : level_(level), layer_(*level.Playfield()), field_(layer_), motion_(field_, phys_), diag_(diag),
          rewalk_(rewalk) {
        phys_.cw = level.cellW;
        phys_.ch = level.cellH;
        phys_.right = layer_.width * level.cellW;
        phys_.bottom = layer_.height * level.cellH;
        phys_.walkSpeed = settings.Int("Player", "WalkSpeed", 160);
        phys_.jumpHeight = settings.Int("Player", "JumpHeight", 96);
        phys_.fallSpeed = settings.Int("Player", "FallSpeed", phys_.walkSpeed);
        phys_.automoveFactor = settings.Int("Player", "AutomoveFactor", 4);
        std::tie(phys_.playerW, phys_.playerH) = sizes.Get("Player", {32, 48});
        std::tie(phys_.autoW, phys_.autoH) = sizes.Get("AutomovePlayer", {32, 32});
        touched_.assign(field_.words.size(), 0);
        stoodOn_.assign(field_.words.size(), 0);
        stompedOn_.assign(field_.words.size(), 0);
        motion_.Prepare();
        Populate(settings, sizes);
        BuildPolicies();
    }

    WalkResult Run();

  private:
    size_t Cell(int c, int r) const { return static_cast<size_t>(r * field_.w + c); }
    void Populate(const Settings& settings, const SpriteSizes& sizes);
    void BuildPolicies();
    void Explore();
    void ExpandAt(size_t index);
    bool ApplyEvents();
    void QueueAffected();
    void Visit(const State& s);
    void Expand(const State& s);
    using Policies = std::vector<const Policy*>;
    void Fly(Body b, const Policy& policy, int elapsed) {
        Fly(b, Policies{&policy}, elapsed, elapsed, false);
    }
    void Fly(Body b, const Policies& group, int elapsed, int t, bool descended);
    void Walk(const State& s, int dir, bool shift);
    // Marks the cells the body covers and answers what caught it this tick.
    enum class Catch { None, Platform, Springboard, AutoMove };
    Catch Touch(Body& b, int& which);
    Body PlayerAt(double x, double y) const {
        Body b;
        b.X = x;
        b.Y = y;
        b.W = phys_.playerW;
        b.H = phys_.playerH;
        b.Trail = tlsExtent;
        Passed(b);
        return b;
    }
    void RecordGround(const Body& b, bool fromJump = false);
    void StartAutoMove(Body& b, int which);

    const LevelSource& level_;
    const LayerSource& layer_;
    Field field_;
    Physics phys_;
    Motion motion_;
    Diagnostics& diag_;
    Rewalk rewalk_;

    int startCol_ = -1, startRow_ = -1, exitCol_ = -1, exitRow_ = -1;
    std::vector<PlatformActor> platforms_;
    std::vector<Springboard> springs_;
    std::vector<AutoStart> autoStarts_;
    std::vector<Policy> policies_;
    Policies allPolicies_; // pointers to policies_
    // Cells stood on, and cells landed on from the falling half of a jump:
    // only there can a kill-jump break a block or grate.
    std::vector<uint8_t> touched_, stoodOn_, stompedOn_;
    std::unordered_set<uint64_t> seen_;
    std::vector<State> states_;
    // Where each state's expansion went, in pixels, for knowing which states
    // a change of the playfield can affect.
    std::vector<Extent> extents_;
    std::deque<size_t> queue_; // indexes into states_
    // Platforms whose places changed in the last events, as the pixels their
    // places covered before and after.
    std::vector<std::pair<int, Rect>> movedPlatforms_;
    std::set<std::pair<int, int>> appliedEvents_;
    std::map<int, std::pair<int, int>> triggerSpeeds_; // platform trigger tag -> DX, DY
    bool gaveUp_ = false;
};

void Walker::Populate(const Settings& settings, const SpriteSizes& sizes) {
    const int cw = phys_.cw, ch = phys_.ch;
    // Cells under continuing slopes get the join mark, as the level start does.
    for (int r = 1; r <= field_.h - 2; ++r)
        for (int c = 1; c <= field_.w - 2; ++c) {
            const int b = field_.At(c, r);
            if (!(b & 0x80)) continue;
            const int below = field_.At(c + ((b & 1) ? 1 : -1), r + 1);
            if ((below & 0x80) && ((below & 1) == (b & 1)))
                field_.Set(c, r + 1, (field_.At(c, r + 1) & 0xFF) | 0x10);
        }
    for (int r = 0; r < field_.h; ++r)
        for (int c = 0; c < field_.w; ++c) {
            const int tag = field_.Tag(c, r);
            if (tag == 0xF0) {
                startCol_ = c;
                startRow_ = r;
            } else if (tag == 0xF1) {
                exitCol_ = c;
                exitRow_ = r;
            } else if (tag == 0x30) {
                field_.Set(c, r, 15);
            } else if (tag == 0x31) {
                field_.Set(c, r + 1, field_.Tag(c, r + 1) << 8 | 15);
            } else if (tag >= 0x35 && tag <= 0x37) {
                field_.Set(c, r, tag << 8 | 15);
            } else if (tag >= 0x40 && tag <= 0x4F) {
                const std::string section = SectionForTag(tag);
                triggerSpeeds_[tag] = {settings.Int(section, "DX", 0), settings.Int(section, "DY", 0)};
            } else if (tag >= 0x90 && tag <= 0x9F) {
                const std::string section = SectionForTag(tag);
                PlatformActor p;
                p.group = tag & 0x0F;
                const std::string image = settings.Text(section, "Image");
                if (!sizes.sizes.count(UpperCase(image)))
                    diag_.Warning(layer_.CellPos(c, r),
                                  Format("the sprite sizes do not give the size of '%s'; the "
                                         "walk-through takes 64 x 16",
                                         Shown(image).c_str()));
                std::tie(p.w, p.h) = sizes.Get(image, {64, 16});
                p.x0 = c * cw;
                p.y0 = (r + 1) * ch - p.h;
                const int dx = settings.Int(section, "DX", 0), dy = settings.Int(section, "DY", 0);
                const int distX = settings.Int(section, "DistanceX", 0) * cw;
                const int distY = settings.Int(section, "DistanceY", 0) * ch;
                p.range = Rect{p.x0 - distX / 2, p.y0 - distY / 2, p.x0 + distX / 2, p.y0 + distY / 2};
                p.moving = dx != 0 || dy != 0;
                p.movesX = dx != 0;
                p.movesY = dy != 0;
                p.pos = layer_.CellPos(c, r);
                p.Spread();
                platforms_.push_back(p);
            } else if (tag >= 0xB0 && tag <= 0xB5) {
                const auto [w, h] = sizes.Get(Format("%02X", tag), {32, 16});
                Springboard s;
                const int x = cw / 2 + c * cw - w / 2, y = (r + 1) * ch - h;
                s.rect = Rect{x, y, x + w, y + h};
                s.jumpTiles = settings.Int(SectionForTag(tag), "JumpTiles", 1);
                springs_.push_back(s);
            } else if (tag >= 0xFA && tag <= 0xFD) {
                const auto [w, h] = sizes.Get("AutomoveStart", {32, 32});
                AutoStart a;
                a.rect = Rect{c * cw, r * ch, c * cw + w, r * ch + h};
                a.col = c;
                a.row = r;
                autoStarts_.push_back(a);
            }
        }
}

void Walker::BuildPolicies() {
    policies_.push_back(Policy{0, false});
    for (int dir : {-1, 1})
        for (bool shift : {false, true}) {
            if (shift && !level_.running) continue;
            for (const auto& [from, to] : std::vector<std::pair<int, int>>{
                     {0, 1 << 30}, {0, 250}, {0, 500}, {250, 1 << 30}, {500, 1 << 30}, {750, 1 << 30}})
                policies_.push_back(Policy{dir, shift, from, to});
        }
    for (const Policy& p : policies_)
        allPolicies_.push_back(&p);
}

Walker::Catch Walker::Touch(Body& b, int& which) {
    const Rect box = b.Bounds();
    const int c0 = std::max(0, box.l / phys_.cw), c1 = std::min(field_.w - 1, (box.r - 1) / phys_.cw);
    const int r0 = std::max(0, box.t / phys_.ch), r1 = std::min(field_.h - 1, (box.b - 1) / phys_.ch);
    for (int r = r0; r <= r1; ++r)
        for (int c = c0; c <= c1; ++c) {
            (tlsFindings ? tlsFindings->touched : touched_.data())[Cell(c, r)] = 1;
        }
    if (b.AutoMoving) return Catch::None;
    const double prevBottom = b.Y + b.H - 1 - b.LastMoveY;
    for (size_t i = 0; i < springs_.size(); ++i)
        if (box.Overlaps(springs_[i].rect) && prevBottom <= springs_[i].rect.t) {
            which = static_cast<int>(i);
            return Catch::Springboard;
        }
    for (size_t i = 0; i < platforms_.size(); ++i) {
        if (!box.Overlaps(platforms_[i].reach)) continue;
        for (size_t k = 0; k < platforms_[i].places.size(); ++k) {
            const auto [px, py] = platforms_[i].places[k];
            const Rect rect{px, py, px + platforms_[i].w, py + platforms_[i].h};
            if (box.Overlaps(rect) && prevBottom <= py) {
                which = static_cast<int>(i << 16 | k);
                return Catch::Platform;
            }
        }
    }
    const int centre = static_cast<int>(Trunc(b.X)) + b.W / 2;
    for (size_t i = 0; i < autoStarts_.size(); ++i) {
        const Rect& a = autoStarts_[i].rect;
        if (box.Overlaps(a) && centre > a.l && centre < a.r) {
            which = static_cast<int>(i);
            return Catch::AutoMove;
        }
    }
    return Catch::None;
}

void Walker::Visit(const State& s) {
    if (tlsFindings) {
        tlsFindings->visits->push_back(s);
        return;
    }
    // Standing places closer than eight pixels count as one.
    const int x = s.kind == Kind::Ground ? s.x / 8 : s.x;
    const uint64_t key = static_cast<uint64_t>(s.kind) << 60 |
                         static_cast<uint64_t>(s.index & 0xFFFFFF) << 36 |
                         static_cast<uint64_t>(x & 0x3FFFF) << 18 | static_cast<uint64_t>(s.y & 0x3FFFF);
    if (!seen_.insert(key).second) return;
    states_.push_back(s);
    extents_.emplace_back();
    queue_.push_back(states_.size() - 1);
}

void Walker::ExpandAt(size_t index) {
    Extent extent;
    tlsExtent = &extent;
    Expand(states_[index]);
    tlsExtent = nullptr;
    extents_[index] = extent;
}

void Walker::RecordGround(const Body& b, bool fromJump) {
    const int x = static_cast<int>(Round(b.X)), y = static_cast<int>(Round(b.Y));
    const int row = (y + b.H) / phys_.ch;
    if (row >= 0 && row < field_.h)
        for (int c = x / phys_.cw; c <= (x + b.W - 1) / phys_.cw; ++c)
            if (c >= 0 && c < field_.w && motion_.OnGround(b, x, y)) {
                (tlsFindings ? tlsFindings->stoodOn : stoodOn_.data())[Cell(c, row)] = 1;
                if (fromJump) (tlsFindings ? tlsFindings->stompedOn : stompedOn_.data())[Cell(c, row)] = 1;
            }
    Visit(State{Kind::Ground, x, y, 0});
}

void Walker::StartAutoMove(Body& b, int which) {
    const AutoStart& a = autoStarts_[static_cast<size_t>(which)];
    b.AutoMoving = true;
    b.X = a.rect.l + 1;
    b.Y = a.rect.t + 1;
    b.W = phys_.autoW;
    b.H = phys_.autoH;
    b.SpeedX = b.SpeedY = 0;
    b.Jumping = b.Falling = false;
    b.LastAutoMoveTag = 0;
    Passed(b);
}

// Follows a body through the air (or along a path) until it stands again,
// once for every steering policy of the group from tick t on. Policies that
// steer alike share their ticks until they part, so a jump tried with a
// dozen policies is followed once up to where the first two differ.
void Walker::Fly(Body b, const Policies& group, int elapsed, int t, bool descended) {
    // What a policy's steering does this tick: standing still, the running
    // key changes nothing.
    auto steer = [](const Policy& p, int at) {
        const int dir = p.DirAt(at);
        return dir * (p.shift ? 2 : 1);
    };
    // A kill-jump starts in the falling half of a jump; landing after one
    // can break a block or grate.
    for (; t < elapsed + kMaxFlightMs; t += kTickMs) {
        if (b.AutoMoving) {
            motion_.AutoMoveStep(b, kTickMs);
            descended = false;
        } else {
            const int first = steer(*group.front(), t);
            bool alike = true;
            for (const Policy* p : group)
                alike = alike && steer(*p, t) == first;
            if (!alike) {
                // The group parts here: each steering goes on from this tick
                // with its own policies, in the order they first appear.
                std::vector<int> steerings;
                for (const Policy* p : group)
                    if (std::find(steerings.begin(), steerings.end(), steer(*p, t)) == steerings.end())
                        steerings.push_back(steer(*p, t));
                for (int k : steerings) {
                    Policies part;
                    for (const Policy* p : group)
                        if (steer(*p, t) == k) part.push_back(p);
                    Fly(b, part, elapsed, t, descended);
                }
                return;
            }
            const Policy& policy = *group.front();
            motion_.Input(b, policy.DirAt(t), policy.shift, false);
            motion_.DoMove(b, kTickMs);
            if (b.Jumping && b.LastMoveY > 0) descended = true;
        }
        if (b.Dead) return;
        int which = 0;
        switch (Touch(b, which)) {
        case Catch::Springboard:
            Visit(State{Kind::Launch, static_cast<int>(Round(b.X)), 0, which});
            return;
        case Catch::Platform:
            Visit(State{Kind::Platform, which & 0xFFFF, 0, which >> 16});
            return;
        case Catch::AutoMove:
            StartAutoMove(b, which);
            continue;
        case Catch::None:
            break;
        }
        if (!b.AutoMoving && !b.Jumping && !b.Falling) {
            RecordGround(b, descended);
            return;
        }
    }
}

void Walker::Walk(const State& s, int dir, bool shift) {
    Body b = PlayerAt(s.x, s.y);
    for (int t = 0; t < 2000; t += kTickMs) {
        const double before = b.X;
        motion_.Input(b, dir, shift, false);
        motion_.DoMove(b, kTickMs);
        int which = 0;
        switch (Touch(b, which)) {
        case Catch::Springboard:
            Visit(State{Kind::Launch, static_cast<int>(Round(b.X)), 0, which});
            return;
        case Catch::Platform:
            Visit(State{Kind::Platform, which & 0xFFFF, 0, which >> 16});
            return;
        case Catch::AutoMove:
            StartAutoMove(b, which);
            Fly(b, Policy{0}, t);
            return;
        case Catch::None:
            break;
        }
        if (b.Falling) {
            // Off an edge: keep walking in the air, or let go.
            Fly(b, Policy{dir, shift}, t);
            Fly(b, Policy{0}, t);
            return;
        }
        if (b.X == before) return; // against a wall
        if (std::abs(b.X - s.x) >= kWalkStep) {
            RecordGround(b);
            return;
        }
    }
}

void Walker::Expand(const State& s) {
    switch (s.kind) {
    case Kind::Ground: {
        for (int dir : {-1, 1}) {
            Walk(s, dir, false);
            if (level_.running) Walk(s, dir, true);
        }
        // Every policy's jump starts alike: the jump key, no direction yet.
        Body b = PlayerAt(s.x, s.y);
        motion_.Input(b, 0, false, true);
        if (!b.Jumping) return; // nothing to jump from
        motion_.DoMove(b, kTickMs);
        if (b.Dead) break;
        int which = 0;
        Touch(b, which);
        Fly(b, allPolicies_, kTickMs, kTickMs, false);
        break;
    }
    case Kind::Platform: {
        const PlatformActor& p = platforms_[static_cast<size_t>(s.index)];
        // Riding: every place of the platform is reachable from any other.
        for (size_t k = 0; k < p.places.size(); ++k)
            Visit(State{Kind::Platform, static_cast<int>(k), 0, s.index});
        if (static_cast<size_t>(s.x) >= p.places.size()) break;
        const auto [px, py] = p.places[static_cast<size_t>(s.x)];
        Body b = PlayerAt(px + p.w / 2.0 - phys_.playerW / 2.0, py - phys_.playerH);
        b.OnPlatform = true;
        int which = 0;
        Touch(b, which);
        motion_.StartJump(b, true, phys_.jumpHeight);
        Fly(b, allPolicies_, 0, 0, false);
        break;
    }
    case Kind::Launch: {
        const Springboard& spring = springs_[static_cast<size_t>(s.index)];
        Body b = PlayerAt(s.x, spring.rect.t - phys_.playerH);
        motion_.Land(b);
        motion_.StartJump(b, false, phys_.ch * spring.jumpTiles);
        Fly(b, allPolicies_, 0, 0, false);
        break;
    }
    }
}

void Walker::Explore() {
    // Rounds: every queued state is expanded, then what they found merged.
    // Large rounds are shared among the processor's cores, each thread
    // expanding every n-th state.
    const unsigned cores = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
    const size_t cells = field_.words.size();
    while (!queue_.empty()) {
        if (states_.size() > kMaxWalkStates) {
            gaveUp_ = true;
            queue_.clear();
            return;
        }
        const std::vector<size_t> round(queue_.begin(), queue_.end());
        queue_.clear();
        const unsigned threads = round.size() < 32 ? 1u : cores;
        // One thread marks the walker's cells; several, cells of their own.
        std::vector<std::vector<uint8_t>> marks(threads > 1 ? 3 * threads : 0,
                                                std::vector<uint8_t>(cells, 0));
        std::vector<std::vector<State>> visits(round.size());
        auto expand = [&](unsigned t) {
            Findings f{touched_.data(), stoodOn_.data(), stompedOn_.data()};
            if (threads > 1)
                f = Findings{marks[3 * t].data(), marks[3 * t + 1].data(), marks[3 * t + 2].data()};
            tlsFindings = &f;
            for (size_t i = t; i < round.size(); i += threads) {
                f.visits = &visits[i];
                ExpandAt(round[i]);
            }
            tlsFindings = nullptr;
        };
        if (threads == 1) {
            expand(0);
        } else {
            std::vector<std::thread> running;
            for (unsigned t = 0; t < threads; ++t)
                running.emplace_back(expand, t);
            for (std::thread& thread : running)
                thread.join();
        }
        if (threads > 1)
            for (unsigned t = 0; t < threads; ++t)
                for (size_t i = 0; i < cells; ++i) {
                    touched_[i] |= marks[3 * t][i];
                    stoodOn_[i] |= marks[3 * t + 1][i];
                    stompedOn_[i] |= marks[3 * t + 2][i];
                }
        for (const std::vector<State>& v : visits)
            for (const State& s : v)
                Visit(s);
    }
}

// Applies what the places reached so far allow: switches, keycards, platform
// triggers, breakable blocks and grates. Returns whether anything changed.
bool Walker::ApplyEvents() {
    bool changed = false;
    for (int r = 0; r < field_.h; ++r)
        for (int c = 0; c < field_.w; ++c) {
            const int tag = layer_.BoundAt(c, r) >> 8;
            const bool touched = touched_[Cell(c, r)];
            bool fire = false;
            if (tag >= 0x10 && tag <= 0x1F)
                fire = touched;
            else if (tag >= 0x32 && tag <= 0x34)
                fire = touched;
            else if (tag >= 0x40 && tag <= 0x4F)
                fire = touched;
            else if (tag == 0x30)
                fire = stompedOn_[Cell(c, r)];
            else if (tag == 0x31)
                fire = r + 1 < field_.h && stompedOn_[Cell(c, r + 1)];
            if (!fire || !appliedEvents_.insert({c, r}).second) continue;
            changed = true;
            if (tag >= 0x10 && tag <= 0x1F) {
                for (const SwitchSource& sw : level_.switches)
                    if (sw.tag == tag) field_.SwitchTagged(tag + 0x10, sw.start ? sw.boundsOff : sw.boundsOn);
            } else if (tag >= 0x32 && tag <= 0x34) {
                for (size_t i = 0; i < field_.words.size(); ++i)
                    if ((layer_.bounds[i] >> 8) == tag + 3) field_.Put(i, 0);
            } else if (tag >= 0x40 && tag <= 0x4F) {
                const auto [dx, dy] = triggerSpeeds_[tag];
                for (size_t i = 0; i < platforms_.size(); ++i) {
                    PlatformActor& p = platforms_[i];
                    if (p.group == (tag & 0x0F) && (dx != 0 || dy != 0)) {
                        const Rect before = p.reach;
                        p.moving = true;
                        p.movesX = dx != 0;
                        p.movesY = dy != 0;
                        p.Spread();
                        const Rect& after = p.reach;
                        movedPlatforms_.emplace_back(static_cast<int>(i), Rect{std::min(before.l, after.l),
                                                                               std::min(before.t, after.t),
                                                                               std::max(before.r, after.r),
                                                                               std::max(before.b, after.b)});
                    }
                }
            } else if (tag == 0x30) {
                field_.Set(c, r, 0);
            } else {
                field_.Set(c, r + 1, 0);
            }
        }
    return changed;
}

// Queues again the states whose expansion could go differently after the
// last events: those that passed near a changed cell or a moved platform's
// places, and those standing on a moved platform. The others would find
// exactly what they found before, as every step of the player depends only
// on the cells around it and the platforms it meets.
void Walker::QueueAffected() {
    // Changed cells counted over every rectangle from the top left corner.
    const int w = field_.w, h = field_.h;
    std::vector<int> sum(static_cast<size_t>((w + 1) * (h + 1)), 0);
    auto at = [&](int c, int r) -> int& { return sum[static_cast<size_t>(r * (w + 1) + c)]; };
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c)
            at(c + 1, r + 1) = field_.changed[Cell(c, r)] + at(c, r + 1) + at(c + 1, r) - at(c, r);
    // The steps of a tick read cells a pixel or two outside the body and
    // between its places before and after the tick: a cell's margin covers
    // them with room to spare.
    constexpr int kMargin = 8;
    for (size_t i = 0; i < states_.size(); ++i) {
        const Extent& e = extents_[i];
        bool affected = false;
        for (const auto& [platform, rect] : movedPlatforms_)
            if ((states_[i].kind == Kind::Platform && states_[i].index == platform) ||
                (!e.Empty() &&
                 Rect{e.l - kMargin, e.t - kMargin, e.r + kMargin, e.b + kMargin}.Overlaps(rect)))
                affected = true;
        if (!affected && !e.Empty()) {
            const int c0 = std::clamp((e.l - kMargin) / phys_.cw - 1, 0, w);
            const int c1 = std::clamp((e.r + kMargin) / phys_.cw + 2, 0, w);
            const int r0 = std::clamp((e.t - kMargin) / phys_.ch - 1, 0, h);
            const int r1 = std::clamp((e.b + kMargin) / phys_.ch + 2, 0, h);
            affected = at(c1, r1) - at(c0, r1) - at(c1, r0) + at(c0, r0) > 0;
        }
        if (affected) queue_.push_back(i);
    }
}

WalkResult Walker::Run() {
    WalkResult result;
    if (startCol_ < 0 || exitCol_ < 0) return result;
    Body start = PlayerAt((startCol_ + 1) * phys_.cw, (startRow_ + 1) * phys_.ch - phys_.playerH);
    if (!motion_.OnGround(start, static_cast<int>(start.X), static_cast<int>(start.Y)))
        diag_.Warning(layer_.CellPos(startCol_, startRow_),
                      "the player starts in the air (it stands one cell right of the start cell)");
    int which = 0;
    Touch(start, which);
    Visit(State{Kind::Ground, static_cast<int>(start.X), static_cast<int>(start.Y), 0});
    field_.changed.assign(field_.words.size(), 0);
    do {
        Explore();
        if (gaveUp_) {
            diag_.Error(level_.pos,
                        Format("the walk-through gave up after %zu standing places: the level is too "
                               "large to be checked",
                               states_.size()));
            result.states = static_cast<int>(states_.size());
            return result;
        }
        std::fill(field_.changed.begin(), field_.changed.end(), 0);
        movedPlatforms_.clear();
        if (!ApplyEvents()) break;
        if (rewalk_ == Rewalk::Everything)
            for (size_t i = 0; i < states_.size(); ++i)
                queue_.push_back(i);
        else
            QueueAffected();
    } while (true);

    result.states = static_cast<int>(states_.size());
    result.exitReached = touched_[Cell(exitCol_, exitRow_)];
    for (int r = 0; r < field_.h; ++r)
        for (int c = 0; c < field_.w; ++c) {
            const int tag = layer_.BoundAt(c, r) >> 8;
            const bool item =
                (tag >= 0xC0 && tag <= 0xC2) || (tag >= 0xE0 && tag <= 0xE2) || (tag >= 0x32 && tag <= 0x34);
            if (!item) continue;
            ++result.itemsTotal;
            if (touched_[Cell(c, r)])
                ++result.itemsReached;
            else
                diag_.Warning(layer_.CellPos(c, r),
                              Format("the item with tag 0x%02X cannot be reached", tag));
        }
    if (!result.exitReached)
        diag_.Error(layer_.CellPos(exitCol_, exitRow_),
                    Format("level %d cannot be finished: the exit cannot be reached from the start "
                           "(%d standing places explored)",
                           level_.number, result.states));
    return result;
}

// Follows an auto-move path cell by cell: it must start next to its start
// cell and end somewhere.
void CheckPath(const LayerSource& field, int x, int y, Diagnostics& diag) {
    static const int kDx[] = {1, -1, 0, 0}, kDy[] = {0, 0, -1, 1};
    auto tagAt = [&](int cx, int cy) {
        return cx < 0 || cy < 0 || cx >= field.width || cy >= field.height ? 0 : field.BoundAt(cx, cy) >> 8;
    };
    int dir = (tagAt(x, y) - 0xFA) & 3;
    const int first = tagAt(x + kDx[dir], y + kDy[dir]);
    if (!(first >= 0xF5 && first <= 0xF9)) {
        diag.Error(field.CellPos(x, y),
                   "an auto-move start needs a path cell (0xF5 to 0xF9) next to it in its direction");
        return;
    }
    std::set<std::tuple<int, int, int>> seen;
    int cx = x, cy = y;
    while (seen.insert({cx, cy, dir}).second) {
        cx += kDx[dir];
        cy += kDy[dir];
        const int k = tagAt(cx, cy);
        if (!IsPathTag(k)) return; // the path ends here
        if (k >= 0xF5 && k <= 0xF8)
            dir = k - 0xF5;
        else if (k >= 0xFA)
            dir = k - 0xFA;
    }
    diag.Error(field.CellPos(x, y), "the auto-move path from this start runs in a circle and never ends");
}

// Checks of the playfield that need no walking.
void StaticChecks(const LevelSource& level, const Settings& settings, Diagnostics& diag) {
    const LayerSource& field = *level.Playfield();
    std::map<int, int> counts;
    std::map<int, SourcePos> firstPos;
    for (int y = 0; y < field.height; ++y)
        for (int x = 0; x < field.width; ++x) {
            const int word = field.BoundAt(x, y), tag = word >> 8, low = word & 0xFF;
            const SourcePos pos = field.CellPos(x, y);
            if (tag != 0) {
                if (!KnownTag(tag)) diag.Error(pos, Format("tag 0x%02X means nothing to the game", tag));
                if (!counts[tag]++) firstPos[tag] = pos;
            }
            if (IsWalker(tag) && field.BoundAt(x, y + 1) == 0)
                diag.Error(pos, Format("the walking enemy 0x%02X needs a floor below it", tag));
            // A wall edge beside the top of a slope stops the player one pixel short of the top.
            if ((low & 0x80) && !(low & 1)) {
                const int next = x + 1 < field.width ? field.BoundAt(x + 1, y) & 0xFF : 0;
                if (!(next & 0x80) && (next & 2))
                    diag.Error(
                        field.CellPos(x + 1, y),
                        Format("the cell right of a rising slope has a left wall edge (bound code %d): the "
                               "player would stick one pixel below the top",
                               next));
            } else if ((low & 0x80) && (low & 1)) {
                const int prev = x > 0 ? field.BoundAt(x - 1, y) & 0xFF : 0;
                if (!(prev & 0x80) && (prev & 8))
                    diag.Error(
                        field.CellPos(x - 1, y),
                        Format(
                            "the cell left of a slope rising to the left has a right wall edge (bound code "
                            "%d): the player would stick one pixel below the top",
                            prev));
            }
            if (tag >= 0xFA && tag <= 0xFD) CheckPath(field, x, y, diag);
        }
    const SourcePos& levelPos = level.pos;
    if (counts[0xF0] == 0) diag.Error(levelPos, "the playfield has no start (tag 0xF0)");
    if (counts[0xF0] > 1) diag.Error(firstPos[0xF0], "the playfield has more than one start");
    if (counts[0xF1] == 0) diag.Error(levelPos, "the playfield has no exit (tag 0xF1)");
    if (counts[0xF1] > 1) diag.Error(firstPos[0xF1], "the playfield has more than one exit");
    if (counts[0xF0] == 1) {
        // The player appears one cell right of the start cell.
        for (int y = 0; y < field.height; ++y)
            for (int x = 0; x < field.width; ++x)
                if (field.BoundAt(x, y) >> 8 == 0xF0 && x + 1 >= field.width)
                    diag.Error(field.CellPos(x, y),
                               "the start needs a cell to its right, where the player appears");
    }
    for (int tag = 1; tag <= 15; ++tag) {
        if (counts[tag] && !level.info.count(tag))
            diag.Error(firstPos[tag], Format("info sign %d has no text in [info]", tag));
        if (!counts[tag] && level.info.count(tag))
            diag.Warning(level.infoPos.at(tag),
                         Format("no info sign %d on the playfield shows this text", tag));
    }
    for (int tag = 0x10; tag <= 0x1F; ++tag) {
        const SwitchSource* sw = nullptr;
        for (const SwitchSource& s : level.switches)
            if (s.tag == tag) sw = &s;
        if (counts[tag] && !sw)
            diag.Error(firstPos[tag], Format("switch 0x%02X needs a [switch 0x%02X] block", tag, tag));
        if (sw && !counts[tag]) diag.Warning(sw->pos, Format("no switch 0x%02X on the playfield", tag));
        if (counts[tag + 0x10] && !counts[tag])
            diag.Warning(firstPos[tag + 0x10],
                         Format("no switch 0x%02X changes the cells tagged 0x%02X", tag, tag + 0x10));
        if (counts[tag] && !counts[tag + 0x10])
            diag.Warning(firstPos[tag],
                         Format("switch 0x%02X has no cells tagged 0x%02X to change", tag, tag + 0x10));
        if (!sw) continue;
        // The map shows the state the switch starts in, so its first touch changes something.
        const int16_t tile = sw->start ? sw->tileOn : sw->tileOff;
        const int bounds = sw->start ? sw->boundsOn : sw->boundsOff;
        for (int y = 0; y < field.height; ++y)
            for (int x = 0; x < field.width; ++x)
                if (field.BoundAt(x, y) >> 8 == tag + 0x10 &&
                    (field.TileAt(x, y) != tile || (field.BoundAt(x, y) & 0xFF) != bounds))
                    diag.Error(
                        field.CellPos(x, y),
                        Format("switch 0x%02X starts %s: its cells must show tile code %d with bound code %d",
                               tag, sw->start ? "on" : "off", tile, bounds));
    }
    for (int tag = 0x32; tag <= 0x34; ++tag) {
        if (counts[tag] && !counts[tag + 3])
            diag.Warning(firstPos[tag],
                         Format("keycard 0x%02X has no laser lock 0x%02X to open", tag, tag + 3));
        if (counts[tag + 3] && !counts[tag])
            diag.Error(firstPos[tag + 3],
                       Format("laser lock 0x%02X has no keycard 0x%02X: it never opens", tag + 3, tag));
    }
    for (int tag = 0x40; tag <= 0x4F; ++tag)
        if (counts[tag] && !counts[tag + 0x50])
            diag.Error(firstPos[tag],
                       Format("platform trigger 0x%02X has no platform 0x%02X to move", tag, tag + 0x50));
    for (int tag = 0x90; tag <= 0x9F; ++tag) {
        if (!counts[tag]) continue;
        const std::string section = SectionForTag(tag);
        const bool moves = settings.Int(section, "DX", 0) != 0 || settings.Int(section, "DY", 0) != 0;
        if (!moves && !counts[tag - 0x50])
            diag.Warning(firstPos[tag], Format("platform 0x%02X stands still and no trigger 0x%02X moves it",
                                               tag, tag - 0x50));
    }
}

} // namespace

std::pair<int, int> SpriteSizes::Get(const std::string& name, std::pair<int, int> def) const {
    const auto it = sizes.find(UpperCase(name));
    return it == sizes.end() ? def : it->second;
}

SpriteSizes ReadSpriteSizes(const std::string& path, Diagnostics& diag) {
    SpriteSizes result;
    for (const SourceLine& line : ReadSourceLines(path, diag)) {
        if (IsBlankOrComment(line.text)) continue;
        const size_t eq = line.text.find('=');
        const SourcePos pos{path, line.number, static_cast<int>(line.text.find_first_not_of(" \t")) + 1};
        if (eq == std::string::npos) {
            diag.Error(pos, "expected 'Name = WIDTH HEIGHT'");
            continue;
        }
        const std::vector<Word> words = SplitWords(line.text.substr(eq + 1));
        std::optional<int32_t> w, h;
        if (words.size() == 2) {
            w = ParseNumber(words[0].text);
            h = ParseNumber(words[1].text);
        }
        if (!w || !h || *w < 1 || *h < 1 || *w > 4096 || *h > 4096) {
            diag.Error(pos, "expected 'Name = WIDTH HEIGHT' with sizes in pixels");
            continue;
        }
        result.sizes[UpperCase(Trim(line.text.substr(0, eq)))] = {*w, *h};
    }
    return result;
}

bool KnownTag(int tag) {
    return (tag >= 0x01 && tag <= 0x37) || (tag >= 0x40 && tag <= 0x4F) || (tag >= 0x80 && tag <= 0x85) ||
           (tag >= 0x88 && tag <= 0x9F) || (tag >= 0xB0 && tag <= 0xB5) || (tag >= 0xC0 && tag <= 0xC2) ||
           (tag >= 0xD0 && tag <= 0xD9) || (tag >= 0xE0 && tag <= 0xE2) || tag == 0xF0 || tag == 0xF1 ||
           (tag >= 0xF5 && tag <= 0xFD);
}

WalkResult CheckLevel(const LevelSource& level, const Settings& settings, const SpriteSizes& sizes,
                      Diagnostics& diag, Rewalk rewalk) {
    const LayerSource* field = level.Playfield();
    if (!field || field->bounds.empty()) return WalkResult{};
    const size_t before = diag.ErrorCount();
    StaticChecks(level, settings, diag);
    if (diag.ErrorCount() != before) return WalkResult{};
    Walker walker(level, settings, sizes, diag, rewalk);
    return walker.Run();
}

} // namespace varnok::levelc
