#include "sprites/BackgroundSprite.h"

#include "common/Math.h"
#include "level/ImageList.h"

#include <algorithm>

namespace varnok {

namespace {
// The part of the screen a cell of the pattern's size at (x, y) lands on.
platform::Rect OnScreen(int x, int y, const platform::Rect& pattern, const platform::Rect& screen) {
    return {std::max(x, screen.Left), std::max(y, screen.Top), std::min(x + pattern.Width(), screen.Right),
            std::min(y + pattern.Height(), screen.Bottom)};
}
} // namespace

void TBackgroundSprite::SetMapSize(int32_t width, int32_t height) {
    if (width == mapWidth_ && height == mapHeight_) return;
    if (width <= 0 || height <= 0) {
        width = 0;
        height = 0;
    }
    mapWidth_ = width;
    mapHeight_ = height;
    const size_t n = static_cast<size_t>(width) * static_cast<size_t>(height);
    cells_.assign(n, 0);
    collisionMap_.assign(n, 1);
}

int32_t TBackgroundSprite::GetCell(int32_t x, int32_t y) const {
    return Inside(x, y) ? cells_[static_cast<size_t>(x) + static_cast<size_t>(y) * mapWidth_] : -1;
}

void TBackgroundSprite::SetCell(int32_t x, int32_t y, int32_t value) {
    if (Inside(x, y)) cells_[static_cast<size_t>(x) + static_cast<size_t>(y) * mapWidth_] = value;
}

bool TBackgroundSprite::GetCollisionMapItem(int32_t x, int32_t y) const {
    return Inside(x, y) && collisionMap_[static_cast<size_t>(x) + static_cast<size_t>(y) * mapWidth_] != 0;
}

void TBackgroundSprite::SetCollisionMapItem(int32_t x, int32_t y, bool value) {
    if (Inside(x, y)) collisionMap_[static_cast<size_t>(x) + static_cast<size_t>(y) * mapWidth_] = value ? 1 : 0;
}

platform::Rect TBackgroundSprite::GetBoundsRect() const {
    if (Tile) return EngineSurfaceRect();
    if (!Image) return {};
    const int left = static_cast<int>(Trunc(WorldX()));
    const int top = static_cast<int>(Trunc(WorldY()));
    return {left, top, left + Image->Width() * mapWidth_, top + Image->Height() * mapHeight_};
}

void TBackgroundSprite::DoDraw() { DrawGrid(Trunc(WorldX()), Trunc(WorldY())); }

void TBackgroundSprite::DoCover(std::vector<platform::Rect>& cover) const {
    CoverGrid(Trunc(WorldX()), Trunc(WorldY()), cover);
}

template <class Visit> void TBackgroundSprite::ForEachCell(int64_t wx, int64_t wy, Visit&& visit) const {
    const platform::Rect p = Image->PatternRects(0);
    const int64_t w = p.Width(), h = p.Height();
    if (w <= 0 || h <= 0) return;
    const platform::Rect screen = EngineSurfaceRect();
    const int64_t across = (screen.Right + w) / w + 1;
    const int64_t down = (screen.Bottom + h) / h + 1;
    const int64_t ox = wx % w, oy = wy % h;
    int64_t sx = wx / w, sy = wy / h;
    int64_t skipX = 0, skipY = 0;
    if (sx < 0) {
        skipX = -sx;
        sx = 0;
    }
    if (sy < 0) {
        skipY = -sy;
        sy = 0;
    }
    auto cell = [&](int64_t col, int64_t row, int64_t cx, int64_t cy) {
        visit(cells_[static_cast<size_t>(col + row * mapWidth_)], static_cast<int>(cx * w + ox),
              static_cast<int>(cy * h + oy));
    };
    if (Tile) {
        // Only the cells that reach onto the surface; the map indices wrap
        // step by step instead of by a division per cell.
        auto visible = [](int64_t first, int64_t last, int64_t offset, int64_t size, int64_t extent) {
            while (first <= last && first * size + offset + size <= 0) ++first;
            while (last >= first && last * size + offset >= extent) --last;
            return std::pair{first, last};
        };
        const auto [cx0, cx1] = visible(-1, across, ox, w, screen.Right);
        const auto [cy0, cy1] = visible(-1, down, oy, h, screen.Bottom);
        const int64_t col0 = WrapIndex(cx0 + skipX - sx, mapWidth_);
        int64_t row = WrapIndex(cy0 + skipY - sy, mapHeight_);
        for (int64_t cy = cy0; cy <= cy1; ++cy) {
            int64_t col = col0;
            for (int64_t cx = cx0; cx <= cx1; ++cx) {
                cell(col, row, cx, cy);
                if (++col == mapWidth_) col = 0;
            }
            if (++row == mapHeight_) row = 0;
        }
    } else {
        const int64_t endX = std::min<int64_t>(sx + mapWidth_ - skipX, across);
        const int64_t endY = std::min<int64_t>(sy + mapHeight_ - skipY, down);
        for (int64_t cy = sy; cy < endY; ++cy)
            for (int64_t cx = sx; cx < endX; ++cx) cell(cx - sx + skipX, cy - sy + skipY, cx, cy);
    }
}

void TBackgroundSprite::DrawGrid(int64_t wx, int64_t wy) {
    platform::Surface* surface = EngineSurface();
    if (!Image || !surface || mapWidth_ <= 0 || mapHeight_ <= 0) return;
    // Cells that sprites drawn later paint over whole are left out (the sky
    // behind the mountains, say).
    const TCoverSet* hidden = HiddenBy();
    const platform::Rect p = Image->PatternRects(0);
    const platform::Rect screen = EngineSurfaceRect();
    // Empty cells (-1) are the most common: skipped without asking for
    // their pattern when that is nothing anyway.
    const bool emptyDrawsNothing = CellPattern(-1) < 0;
    ForEachCell(wx, wy, [&](int32_t value, int x, int y) {
        if (value == -1 && emptyDrawsNothing) return;
        const int32_t pattern = CellPattern(value);
        if (pattern < 0) return;
        if (hidden) {
            if (hidden->Contains(OnScreen(x, y, p, screen))) return;
        }
        Image->Draw(*surface, x, y, pattern);
    });
}

void TBackgroundSprite::CoverGrid(int64_t wx, int64_t wy, std::vector<platform::Rect>& cover) const {
    const platform::Surface* surface = EngineSurface();
    if (!Image || !surface || mapWidth_ <= 0 || mapHeight_ <= 0 || !Image->MayCover(*surface)) return;
    // Cells come row by row, left to right: neighbours in a row share one
    // rectangle. Neighbours often hold the same value, which is looked up once.
    const platform::Rect p = Image->PatternRects(0);
    const platform::Rect screen = EngineSurfaceRect();
    const bool emptyCoversNothing = SteadyPattern(-1) < 0;
    int32_t lastValue = -1;
    bool lastCovers = !emptyCoversNothing && Image->Covers(*surface, SteadyPattern(-1));
    platform::Rect run;
    ForEachCell(wx, wy, [&](int32_t value, int x, int y) {
        if (value != lastValue) {
            const int32_t pattern = SteadyPattern(value);
            lastCovers = pattern >= 0 && Image->Covers(*surface, pattern);
            lastValue = value;
        }
        if (!lastCovers) return;
        const platform::Rect r = OnScreen(x, y, p, screen);
        if (r.IsEmpty()) return;
        if (!run.IsEmpty() && r.Left == run.Right && r.Top == run.Top && r.Bottom == run.Bottom) {
            run.Right = r.Right;
            return;
        }
        if (!run.IsEmpty()) cover.push_back(run);
        run = r;
    });
    if (!run.IsEmpty()) cover.push_back(run);
}

bool TBackgroundSprite::TestCollision(const TSprite& sprite) const {
    if (!Image || mapWidth_ <= 0 || mapHeight_ <= 0) return true;
    const int w = Image->Width(), h = Image->Height();
    if (w <= 0 || h <= 0) return true;
    const platform::Rect mine = GetBoundsRect();
    platform::Rect other = sprite.BoundsRect();
    // Clip to this sprite and make both relative to its world position.
    other.Left = std::max(other.Left, mine.Left) - mine.Left;
    other.Top = std::max(other.Top, mine.Top) - mine.Top;
    other.Right = std::min(other.Right, mine.Right) - mine.Left;
    other.Bottom = std::min(other.Bottom, mine.Bottom) - mine.Top;
    if (other.IsEmpty()) return false;
    for (int y = other.Top / h; y <= (other.Bottom - 1) / h; ++y)
        for (int x = other.Left / w; x <= (other.Right - 1) / w; ++x) {
            const int32_t gx = static_cast<int32_t>(WrapIndex(x, mapWidth_));
            const int32_t gy = static_cast<int32_t>(WrapIndex(y, mapHeight_));
            if (!GetCollisionMapItem(gx, gy)) continue;
            const platform::Rect cell{x * w, y * h, x * w + w, y * h + h};
            if (OverlapRect(cell, other)) return true;
        }
    return false;
}

} // namespace varnok
