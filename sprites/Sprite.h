#pragma once
// The sprite tree: every drawn or moving thing of a level is a sprite owned by
// its parent, the root being the sprite engine. Children are moved and
// collided in insertion order and drawn in depth order. Sprites die through
// MarkDead and are freed at the end of the tick by the engine's RemoveDead.
//
// References that game code keeps to sprites are TSpriteRef handles: a handle
// reads empty as soon as its sprite has been freed, so a reference can never
// be followed into freed memory.
#include "common/Exception.h"
#include "platform/Surface.h"
#include "sprites/CoverSet.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace varnok {

class TSpriteEngine;

// What a sprite engine's sprites share beyond the tree (the game's level
// state); the engine only carries it.
class TSpriteWorld {
public:
    virtual ~TSpriteWorld() = default;
};

class ESpriteError : public Exception {
public:
    VARNOK_ERROR_CONSTRUCTOR(ESpriteError, Exception)
};

// The shared cell a sprite's handles point to; cleared when the sprite is freed.
struct TSpriteLink {
    class TSprite* Sprite = nullptr;
};

class TSprite {
public:
    // Creates a sprite under parent (which then owns it). A sprite without a
    // parent is a root and owned by whoever created it.
    explicit TSprite(TSprite* parent);
    virtual ~TSprite();
    TSprite(const TSprite&) = delete;
    TSprite& operator=(const TSprite&) = delete;

    // Creates a sprite of class T under parent; the parent owns it.
    template <typename T, typename... Args> static T& Create(TSprite& parent, Args&&... args) {
        return *new T(&parent, std::forward<Args>(args)...);
    }

    TSpriteEngine* Engine() const { return engine_; }
    TSprite* Parent() const { return parent_; }

    bool IsDead() const { return isDead_; }
    bool CanCollide = true;
    bool CanMove = true;
    bool Visible = true;
    double X = 0;
    double Y = 0;
    int32_t Z() const { return z_; }
    int32_t Width = 0;
    int32_t Height = 0;

    // Own position plus the parent's world position (children of the root,
    // the usual case, take the short way).
    double WorldX() const {
        return parent_ ? (parent_->parent_ ? X + parent_->WorldX() : X + parent_->X) : X;
    }
    double WorldY() const {
        return parent_ ? (parent_->parent_ ? Y + parent_->WorldY() : Y + parent_->Y) : Y;
    }
    platform::Rect BoundsRect() const { return GetBoundsRect(); }

    // Changes the depth and re-sorts the sprite among its siblings.
    void SetZ(int32_t value);

    int Count() const { return static_cast<int>(children_.size()); }
    // The i-th child in insertion order.
    TSprite& Items(int index) const;
    const std::vector<TSprite*>& Children() const { return children_; }
    const std::vector<TSprite*>& DrawList() const { return drawList_; }

    // Frees all children, the last first.
    void Clear();
    void Move(int32_t moveCount);
    void Draw();
    // Runs this sprite's collision scan over the engine's sprites; the number hit.
    int Collision();
    // The same scan over target and its children only: for an actor that
    // reacts to one sprite alone it finds the same contacts, without visiting
    // the whole level.
    int CollisionWith(TSprite& target);
    void MarkDead();

    // A handle to this sprite that reads empty once it is freed.
    std::shared_ptr<TSpriteLink> Link() const { return link_; }

protected:
    virtual void DoCollision(TSprite& sprite, bool& done) {}
    virtual void DoDraw() {}
    // The rectangles DoDraw paints over whole; none unless a sprite knows.
    virtual void DoCover(std::vector<platform::Rect>& cover) const {}
    // While DoDraw runs: what the sprites drawn after this one paint over
    // whole (null when nothing), so that drawing there may be left out. The
    // engine works it out only for sprites that say they use it.
    const TCoverSet* HiddenBy() const { return hiddenBy_; }
    virtual bool LeavesOutHidden() const { return false; }
    virtual void DoMove(int32_t moveCount) {}
    virtual platform::Rect GetBoundsRect() const;
    virtual bool TestCollision(const TSprite& sprite) const { return true; }

    // The surface and screen rectangle of the engine (none without an engine).
    platform::Surface* EngineSurface() const;
    platform::Rect EngineSurfaceRect() const;

private:
    friend class TSpriteEngine;
    void Add(TSprite* sprite);
    void Remove(TSprite* sprite);
    void InsertByZ(TSprite* sprite);
    void CollisionVisit(TSprite& target);

    TSpriteEngine* engine_ = nullptr;
    TSprite* parent_ = nullptr;
    std::vector<TSprite*> children_; // owned
    std::vector<TSprite*> drawList_; // the same sprites by depth
    bool isDead_ = false;
    int32_t z_ = 0;
    std::shared_ptr<TSpriteLink> link_;
    const TCoverSet* hiddenBy_ = nullptr;
};

// The root of a sprite tree: counts its sprites, runs collision scans, keeps
// the dead list and the surface that sprites draw on.
class TSpriteEngine final : public TSprite {
public:
    TSpriteEngine() : TSprite(nullptr) {}
    ~TSpriteEngine() override;

    int AllCount() const { return allCount_; }
    int DrawCount() const { return drawCount_; }
    const std::vector<TSprite*>& DeadList() const { return deadList_; }
    platform::Surface* Surface() const { return surface_; }
    const platform::Rect& SurfaceRect() const { return surfaceRect_; }

    // The world the sprites of this engine live in (not owned).
    TSpriteWorld* World = nullptr;
    // Whether Draw leaves out what later sprites paint over (off: everything
    // is drawn, for comparison).
    bool LeaveOutHidden = true;

    void SetSurface(platform::Surface* surface);
    void RemoveDead();
    // Draws what lies below all sprites, told the rectangles that the sprites
    // will paint over whole (it may leave those out).
    using Underlay = std::function<void(const std::vector<platform::Rect>& cover)>;
    // Draws the sprites by depth, after the underlay when one is given. What
    // a sprite would draw where sprites drawn after it paint over whole may
    // be left out: the picture is the same.
    void Draw(const Underlay& underlay = {});

private:
    friend class TSprite;
    int allCount_ = 0;
    int collisionCount_ = 0;
    bool collisionDone_ = false;
    platform::Rect collisionRect_;
    TSprite* collisionSprite_ = nullptr;
    std::vector<TSprite*> deadList_;
    int drawCount_ = 0;
    platform::Surface* surface_ = nullptr;
    platform::Rect surfaceRect_;

    // The sprites the next Draw draws, in order, each with the part of the
    // rectangles in planRects_ it covers; kept from frame to frame.
    void Plan(TSprite& sprite);
    struct Planned {
        TSprite* Sprite;
        size_t First, Count;
    };
    std::vector<Planned> plan_;
    std::vector<platform::Rect> planRects_;
    std::vector<platform::Rect> later_;
    std::vector<TCoverSet> coverSets_;
    std::vector<std::pair<TSprite*, size_t>> hidden_; // sprite, its set in coverSets_
};

// A reference to a sprite that never dangles: it reads as empty once the
// sprite has been freed.
template <typename T> class TSpriteRef {
public:
    TSpriteRef() = default;
    TSpriteRef(T* sprite) : link_(sprite ? sprite->Link() : nullptr) {}
    TSpriteRef(T& sprite) : link_(sprite.Link()) {}
    T* Get() const { return link_ && link_->Sprite ? static_cast<T*>(link_->Sprite) : nullptr; }
    T* operator->() const { return Get(); }
    T& operator*() const { return *Get(); }
    explicit operator bool() const { return Get() != nullptr; }
    void Reset() { link_.reset(); }

private:
    std::shared_ptr<TSpriteLink> link_;
};

// Rectangles overlap when they share at least one pixel; touching is not enough.
inline bool OverlapRect(const platform::Rect& a, const platform::Rect& b) {
    return a.Left < b.Right && b.Left < a.Right && a.Top < b.Bottom && b.Top < a.Bottom;
}

} // namespace varnok
