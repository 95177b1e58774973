#pragma once
// A sprite that draws a grid of image patterns (the tile layers), optionally
// repeated endlessly over the screen.
#include "sprites/Sprite.h"

#include <vector>

namespace varnok {

class TPictureCollectionItem;

class TBackgroundSprite : public TSprite {
public:
    explicit TBackgroundSprite(TSprite* parent) : TSprite(parent) { CanCollide = false; }

    TPictureCollectionItem* Image = nullptr; // its patterns are the cells
    bool Tile = false;

    int32_t MapWidth() const { return mapWidth_; }
    int32_t MapHeight() const { return mapHeight_; }
    // Resizes the grid (contents lost: cells 0, collision flags set); a size of
    // 0 or less in either direction empties it.
    void SetMapSize(int32_t width, int32_t height);
    // -1 outside the grid.
    int32_t GetCell(int32_t x, int32_t y) const;
    void SetCell(int32_t x, int32_t y, int32_t value);
    bool GetCollisionMapItem(int32_t x, int32_t y) const;
    void SetCollisionMapItem(int32_t x, int32_t y, bool value);

protected:
    void DoDraw() override;
    platform::Rect GetBoundsRect() const override;
    bool TestCollision(const TSprite& sprite) const override;

    // Draws the grid seen from world position (worldX, worldY); each cell value
    // passes through CellPattern first (a negative result is not drawn).
    void DrawGrid(int64_t worldX, int64_t worldY);
    virtual int32_t CellPattern(int32_t value) const { return value; }
    void DoCover(std::vector<platform::Rect>& cover) const override;
    bool LeavesOutHidden() const override { return true; }
    // The rectangles DrawGrid(worldX, worldY) paints over whole: cells whose
    // SteadyPattern is opaque.
    void CoverGrid(int64_t worldX, int64_t worldY, std::vector<platform::Rect>& cover) const;
    // The pattern a cell shows for certain until it is drawn (-1 when that may
    // change, as with animations that follow the clock).
    virtual int32_t SteadyPattern(int32_t value) const { return CellPattern(value); }

private:
    bool Inside(int32_t x, int32_t y) const { return x >= 0 && y >= 0 && x < mapWidth_ && y < mapHeight_; }
    // Calls visit(cell value, x, y) for every cell that reaches onto the
    // surface when the grid is seen from (worldX, worldY), row by row.
    template <class Visit> void ForEachCell(int64_t worldX, int64_t worldY, Visit&& visit) const;

    int32_t mapWidth_ = 0;
    int32_t mapHeight_ = 0;
    std::vector<int32_t> cells_;
    std::vector<uint8_t> collisionMap_;
};

// a mod b, plus b when the remainder is negative.
inline int64_t WrapIndex(int64_t a, int64_t b) {
    if (b == 0) return 0;
    const int64_t r = a % b;
    return r < 0 ? r + b : r;
}

} // namespace varnok
