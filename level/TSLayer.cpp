#include "level/TSLayer.h"

#include "common/Math.h"
#include "common/StrUtils.h"
#include "level/ImageList.h"
#include "level/TSClasses.h"
#include "level/TSINI.h"
#include "platform/Clock.h"

#include <cstdlib>

namespace varnok {

TScrollingLayer::TScrollingLayer(TSprite* parent, const TLayerContext& context)
    : TBackgroundSprite(parent), StartTick(platform::GetTickCount()), context_(context) {}

int32_t TScrollingLayer::AnimatedTile(int32_t k) const {
    k = std::abs(k);
    const TTileSetItem* tileSet = context_.TileSet;
    if (!tileSet || k > tileSet->SequenceCount || k > tileSet->Sequences.Count()) return -1;
    const TSequenceItem& s = tileSet->Sequences.Items(k - 1);
    // A sequence without frames or speed does not animate: it shows its first frame.
    if (s.Length <= 0 || s.Speed <= 0) return s.FrameTile(0);
    const int64_t period = Trunc(s.Length * 1000.0 / s.Speed);
    if (period <= 0) return s.FrameTile(0);
    const int64_t e = static_cast<uint32_t>(platform::GetTickCount() - StartTick);
    const int64_t m = e % period;
    const int64_t frame = Trunc(m / (1000.0 / s.Speed));
    return s.FrameTile(static_cast<uint16_t>(frame));
}

void TScrollingLayer::DoMove(int32_t moveCount) {
    TBackgroundSprite::DoMove(moveCount);
    const TScrollDelta delta = context_.ScrollDelta ? *context_.ScrollDelta : TScrollDelta{};
    if (ScrollX > 1 && delta.X != 0)
        X = X + delta.X - delta.X / ScrollX;
    else if (ScrollX < 0)
        X = X + ScrollX * static_cast<double>(moveCount) / 1000;
    if (ScrollY > 1 && delta.Y != 0)
        Y = Y + delta.Y - delta.Y / ScrollY;
    else if (ScrollY < 0)
        Y = Y + std::abs(ScrollY) * static_cast<double>(moveCount) / 1000;
}

bool TScrollingLayer::Drawn() const {
    if (!Image || Hidden || MapWidth() <= 0 || MapHeight() <= 0) return false;
    if (context_.NoTilesOn && *context_.NoTilesOn) return false;
    const platform::Rect p = Image->PatternRects(0);
    return p.Width() > 0 && p.Height() > 0;
}

void TScrollingLayer::DoDraw() {
    if (!Drawn()) return;
    // A layer without parallax factors is fixed to the screen.
    if (ScrollX == 0 && ScrollY == 0)
        DrawGrid(0, 0);
    else
        DrawGrid(Trunc(WorldX()), Trunc(WorldY()));
}

void TScrollingLayer::DoCover(std::vector<platform::Rect>& cover) const {
    if (!Drawn()) return;
    if (ScrollX == 0 && ScrollY == 0)
        CoverGrid(0, 0, cover);
    else
        CoverGrid(Trunc(WorldX()), Trunc(WorldY()), cover);
}

void BuildLayers(TSpriteEngine& engine, const TTileSetItem& tileSet, TPictureCollectionItem* tiles,
                 const TLayerContext& context, TLayerSprites& layers,
                 const std::function<void(int layerNumber, int index)>& layerBuilt) {
    if (tileSet.LayerCount > layers.size())
        throw ELevelDataError(Format("Level %s asks for %d layers; at most %d are possible", tileSet.Name.c_str(),
                                     tileSet.LayerCount, static_cast<int>(layers.size())));
    for (int i = 0; i < tileSet.LayerCount; ++i) {
        const TMapItem& map = tileSet.Maps.Items(i);
        TScrollingLayer& layer = TSprite::Create<TScrollingLayer>(engine, context);
        layers[static_cast<size_t>(i)] = layer;
        layer.Image = tiles;
        layer.SetZ(map.Z);
        if (layerBuilt) layerBuilt(map.LayerNumber, i);
        layer.ScrollX = map.ScrollX;
        layer.ScrollY = map.ScrollY;
        layer.LayerName = map.Name;
        layer.Tile = map.Z <= -800 || layer.ScrollX < 0 || layer.ScrollY < 0;
        layer.SetMapSize(map.Width(), map.Height());
        for (int y = 0; y < map.Height(); ++y)
            for (int x = 0; x < map.Width(); ++x) layer.SetCell(x, y, map.TileAt(x, y) - 1);
    }
}

void RefreshPlayfieldLayer(const TTileSetItem& tileSet, int boundLayerIndex, TLayerSprites& layers) {
    if (boundLayerIndex < 0 || boundLayerIndex >= static_cast<int>(layers.size())) return;
    TScrollingLayer* layer = layers[static_cast<size_t>(boundLayerIndex)].Get();
    if (!layer || boundLayerIndex >= tileSet.Maps.Count()) return;
    const TMapItem& map = tileSet.Maps.Items(boundLayerIndex);
    for (int y = 0; y < map.Height(); ++y)
        for (int x = 0; x < map.Width(); ++x) layer->SetCell(x, y, map.TileAt(x, y) - 1);
}

} // namespace varnok
