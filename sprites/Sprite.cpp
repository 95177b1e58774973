#include "sprites/Sprite.h"

#include "common/Math.h"
#include "common/StrUtils.h"

#include <algorithm>

namespace varnok {

TSprite::TSprite(TSprite* parent) : parent_(parent), link_(std::make_shared<TSpriteLink>()) {
    link_->Sprite = this;
    if (parent_) {
        engine_ = parent_->engine_ ? parent_->engine_ : static_cast<TSpriteEngine*>(parent_);
        parent_->Add(this);
        ++engine_->allCount_;
    }
}

TSprite::~TSprite() {
    Clear();
    if (parent_) {
        --engine_->allCount_;
        parent_->Remove(this);
    }
    if (engine_) {
        auto& dead = engine_->deadList_;
        dead.erase(std::remove(dead.begin(), dead.end(), this), dead.end());
        if (engine_->collisionSprite_ == this) engine_->collisionSprite_ = nullptr;
    }
    link_->Sprite = nullptr;
}

void TSprite::Add(TSprite* sprite) {
    children_.push_back(sprite);
    InsertByZ(sprite);
}

void TSprite::Remove(TSprite* sprite) {
    children_.erase(std::remove(children_.begin(), children_.end(), sprite), children_.end());
    drawList_.erase(std::remove(drawList_.begin(), drawList_.end(), sprite), drawList_.end());
}

void TSprite::InsertByZ(TSprite* sprite) {
    // Binary search that lands before every sprite of equal depth.
    int low = 0, high = static_cast<int>(drawList_.size()) - 1;
    while (low <= high) {
        const int middle = (low + high) / 2;
        if (drawList_[middle]->z_ < sprite->z_)
            low = middle + 1;
        else
            high = middle - 1;
    }
    drawList_.insert(drawList_.begin() + low, sprite);
}

void TSprite::SetZ(int32_t value) {
    if (z_ == value) return;
    z_ = value;
    if (parent_) {
        auto& list = parent_->drawList_;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
        parent_->InsertByZ(this);
    }
}

TSprite& TSprite::Items(int index) const {
    if (children_.empty()) throw ESpriteError(Format("Index of the list exceeds the range. (%d)", index));
    if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", index));
    return *children_[static_cast<size_t>(index)];
}

void TSprite::Clear() {
    while (!children_.empty()) delete children_.back();
}

void TSprite::Move(int32_t moveCount) {
    if (!CanMove) return;
    DoMove(moveCount);
    // Sprites created during this pass wait for the next one.
    const size_t count = children_.size();
    for (size_t i = 0; i < count && i < children_.size(); ++i) children_[i]->Move(moveCount);
}

void TSprite::Draw() {
    if (!Visible) return;
    if (engine_ && OverlapRect(GetBoundsRect(), engine_->surfaceRect_)) {
        DoDraw();
        hiddenBy_ = nullptr; // good for this drawing only
        ++engine_->drawCount_;
    }
    const size_t count = drawList_.size();
    for (size_t i = 0; i < count && i < drawList_.size(); ++i) drawList_[i]->Draw();
}

int TSprite::Collision() {
    if (!engine_ || isDead_ || !CanCollide) return 0;
    TSpriteEngine& e = *engine_;
    e.collisionCount_ = 0;
    e.collisionDone_ = false;
    e.collisionRect_ = GetBoundsRect();
    e.collisionSprite_ = this;
    const size_t count = e.children_.size();
    for (size_t i = 0; i < count && i < e.children_.size(); ++i) CollisionVisit(*e.children_[i]);
    return e.collisionCount_;
}

int TSprite::CollisionWith(TSprite& target) {
    if (!engine_ || isDead_ || !CanCollide || target.engine_ != engine_) return 0;
    TSpriteEngine& e = *engine_;
    e.collisionCount_ = 0;
    e.collisionDone_ = false;
    e.collisionRect_ = GetBoundsRect();
    e.collisionSprite_ = this;
    CollisionVisit(target);
    return e.collisionCount_;
}

// Visits sprite c of the scan that this sprite runs.
void TSprite::CollisionVisit(TSprite& c) {
    TSpriteEngine& e = *engine_;
    if (!c.CanCollide) return;
    if (&c != this && OverlapRect(c.GetBoundsRect(), e.collisionRect_) && TestCollision(c) && c.TestCollision(*this)) {
        ++e.collisionCount_;
        DoCollision(c, e.collisionDone_);
        if (!CanCollide || isDead_) e.collisionDone_ = true;
    }
    if (e.collisionDone_) return;
    const size_t count = c.children_.size();
    for (size_t i = 0; i < count && i < c.children_.size(); ++i) CollisionVisit(*c.children_[i]);
}

void TSprite::MarkDead() {
    if (!engine_ || isDead_) return;
    isDead_ = true;
    engine_->deadList_.push_back(this);
}

platform::Rect TSprite::GetBoundsRect() const {
    const int left = static_cast<int>(Trunc(WorldX()));
    const int top = static_cast<int>(Trunc(WorldY()));
    return {left, top, left + Width, top + Height};
}

platform::Surface* TSprite::EngineSurface() const { return engine_ ? engine_->surface_ : nullptr; }

platform::Rect TSprite::EngineSurfaceRect() const { return engine_ ? engine_->surfaceRect_ : platform::Rect{}; }

TSpriteEngine::~TSpriteEngine() { Clear(); }

void TSpriteEngine::SetSurface(platform::Surface* surface) {
    surface_ = surface;
    if (surface_) {
        surfaceRect_ = surface_->ClientRect();
        Width = surfaceRect_.Width();
        Height = surfaceRect_.Height();
    }
}

void TSpriteEngine::RemoveDead() {
    while (!deadList_.empty()) delete deadList_.back();
}

void TSpriteEngine::Plan(TSprite& s) {
    // The same sprites in the same order as TSprite::Draw visits.
    if (!s.Visible) return;
    if (s.engine_ && OverlapRect(s.GetBoundsRect(), surfaceRect_)) {
        const size_t first = planRects_.size();
        s.DoCover(planRects_);
        plan_.push_back({&s, first, planRects_.size() - first});
    }
    for (TSprite* child : s.drawList_)
        Plan(*child);
}

void TSpriteEngine::Draw(const Underlay& underlay) {
    drawCount_ = 0;
    plan_.clear();
    planRects_.clear();
    Plan(*this);
    // From the last sprite drawn to the first: each one that can use it
    // learns what the sprites after it cover.
    later_.clear();
    size_t sets = 0;
    hidden_.clear();
    for (size_t i = plan_.size(); i-- > 0;) {
        const Planned& p = plan_[i];
        p.Sprite->hiddenBy_ = nullptr;
        if (LeaveOutHidden && !later_.empty() && p.Sprite->LeavesOutHidden()) {
            if (coverSets_.size() <= sets) coverSets_.emplace_back();
            coverSets_[sets].Assign(later_);
            hidden_.push_back({p.Sprite, sets++});
        }
        later_.insert(later_.end(), planRects_.begin() + static_cast<ptrdiff_t>(p.First),
                      planRects_.begin() + static_cast<ptrdiff_t>(p.First + p.Count));
    }
    // The sets are in place now (adding one may have moved the others).
    for (auto [sprite, set] : hidden_)
        sprite->hiddenBy_ = &coverSets_[set];
    if (underlay) underlay(later_);
    TSprite::Draw();
}

} // namespace varnok
