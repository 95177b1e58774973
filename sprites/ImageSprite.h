#pragma once
// A sprite drawn from one image-list item, with frame animation.
#include "common/Math.h"
#include "sprites/Sprite.h"

namespace varnok {

class TPictureCollectionItem;

class TImageSprite : public TSprite {
public:
    explicit TImageSprite(TSprite* parent) : TSprite(parent) {}

    int32_t AnimCount = 0;
    bool AnimLoop = false;
    double AnimPos = 0;
    double AnimSpeed = 0; // frames per millisecond
    int32_t AnimStart = 0;
    TPictureCollectionItem* Image = nullptr; // belongs to its image list
    bool PixelCheck = false;
    bool Tile = false;
    bool Transparent = true;

    int DrawImageIndex() const { return static_cast<int>(varnok::Trunc(AnimPos)) + AnimStart; }
    // The bounds moved so that an image of another size is centred on them.
    platform::Rect DrawRect() const;

private:
    platform::Rect CentredOn(const platform::Rect& bounds) const;

public:
protected:
    void DoDraw() override;
    void DoMove(int32_t moveCount) override;
    platform::Rect GetBoundsRect() const override;
    bool TestCollision(const TSprite& sprite) const override { return true; }
};

} // namespace varnok
