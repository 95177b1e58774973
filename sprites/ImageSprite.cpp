#include "sprites/ImageSprite.h"

#include "common/Math.h"
#include "level/ImageList.h"

namespace varnok {

platform::Rect TImageSprite::DrawRect() const { return CentredOn(GetBoundsRect()); }

platform::Rect TImageSprite::CentredOn(const platform::Rect& r) const {
    if (!Image) return r;
    const int dx = (Width - Image->Width()) / 2;
    const int dy = (Height - Image->Height()) / 2;
    return {r.Left + dx, r.Top + dy, r.Right + dx, r.Bottom + dy};
}

void TImageSprite::DoMove(int32_t moveCount) {
    AnimPos += AnimSpeed * moveCount;
    if (AnimLoop) {
        if (AnimCount > 0) {
            AnimPos -= static_cast<double>(Trunc(AnimPos / AnimCount)) * AnimCount;
            if (AnimPos < 0) AnimPos += AnimCount;
        } else {
            AnimPos = 0;
        }
    } else {
        if (AnimPos >= AnimCount) {
            AnimPos = AnimCount - 1;
            AnimSpeed = 0;
        }
        if (AnimPos < 0) {
            AnimPos = 0;
            AnimSpeed = 0;
        }
    }
}

void TImageSprite::DoDraw() {
    platform::Surface* surface = EngineSurface();
    if (!Image || !surface) return;
    // Only the corner is needed, worked out field by field: a rectangle passed
    // through memory is read back with one wide load right after narrower
    // stores, and that load waits for every store still pending from the
    // previous blit (a fifth of the engine's drawing time).
    const platform::Rect bounds = GetBoundsRect();
    const int left = bounds.Left + (Width - Image->Width()) / 2;
    const int top = bounds.Top + (Height - Image->Height()) / 2;
    Image->Draw(*surface, left, top, DrawImageIndex());
}

platform::Rect TImageSprite::GetBoundsRect() const {
    if (!Tile) return TSprite::GetBoundsRect();
    // A tiled sprite wraps around the screen.
    const platform::Rect screen = EngineSurfaceRect();
    const int64_t spanX = static_cast<int64_t>(screen.Right) + Width;
    const int64_t spanY = static_cast<int64_t>(screen.Bottom) + Height;
    int64_t left = Trunc(WorldX());
    int64_t top = Trunc(WorldY());
    if (spanX != 0) {
        left %= spanX;
        if (left > screen.Right) left -= spanX;
    }
    if (spanY != 0) {
        top %= spanY;
        if (top > screen.Bottom) top -= spanY;
    }
    return {static_cast<int>(left), static_cast<int>(top), static_cast<int>(left) + Width,
            static_cast<int>(top) + Height};
}

} // namespace varnok
