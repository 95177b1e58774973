#pragma once
// The level's tile layers: one background sprite per map, scrolled against
// the camera with its own parallax factors, drifting (rain, snow, clouds) for
// negative factors, repeated endlessly where it is a backdrop, with tiles
// animated by the level's sequences.
#include "sprites/BackgroundSprite.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace varnok {

class TTileSetItem;
class TPictureCollectionItem;

// How far the camera moved in the current frame, in pixels (positive: right, down).
struct TScrollDelta {
    double X = 0;
    double Y = 0;
};

// What the layers read from the running game.
struct TLayerContext {
    const TTileSetItem* TileSet = nullptr; // for the animation sequences
    const TScrollDelta* ScrollDelta = nullptr;
    const bool* NoTilesOn = nullptr;
};

class TScrollingLayer final : public TBackgroundSprite {
public:
    TScrollingLayer(TSprite* parent, const TLayerContext& context);

    uint32_t StartTick = 0;
    int32_t ScrollX = 0;
    int32_t ScrollY = 0;
    std::string LayerName;
    bool Hidden = false;

    // The pattern of animated tile k (sequence |k|) now, or -1.
    int32_t AnimatedTile(int32_t k) const;

protected:
    void DoDraw() override;
    void DoMove(int32_t moveCount) override;
    int32_t CellPattern(int32_t value) const override { return value < -1 ? AnimatedTile(value + 1) : value; }
    void DoCover(std::vector<platform::Rect>& cover) const override;
    // Animated tiles follow the clock, which may tick before they are drawn.
    int32_t SteadyPattern(int32_t value) const override { return value < -1 ? -1 : value; }

private:
    // Whether DoDraw draws anything at all.
    bool Drawn() const;
    TLayerContext context_;
};

using TLayerSprites = std::array<TSpriteRef<TScrollingLayer>, 7>;

// Creates one layer per map of the tile set (LayerCount of them) under the
// engine, drawing the tiles of the item tiles. For each layer made,
// layerBuilt(layer number, index in layers) runs (the Layer menu follows it).
// More than seven layers is an error of the level data.
void BuildLayers(TSpriteEngine& engine, const TTileSetItem& tileSet, TPictureCollectionItem* tiles,
                 const TLayerContext& context, TLayerSprites& layers,
                 const std::function<void(int layerNumber, int index)>& layerBuilt);

// Copies the playfield map's tiles into its layer again (after a switch changed them).
void RefreshPlayfieldLayer(const TTileSetItem& tileSet, int boundLayerIndex, TLayerSprites& layers);

} // namespace varnok
