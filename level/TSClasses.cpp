#include "level/TSClasses.h"

#include "common/StrUtils.h"

namespace varnok {

void RaiseListIndexError(int32_t index) {
    throw EListError(Format("Listenindex \xFC"
                            "berschreitet das Maximum (%d)",
                            index));
}

// ---------------------------------------------------------------------------
// TMapItem

void TMapItem::Resize(uint16_t width, uint16_t height) {
    width_ = width;
    height_ = height;
    const size_t cells = static_cast<size_t>(width) * height;
    tileData_.assign(cells, 0);
    boundData_.assign(cells, 0);
}

void TMapItem::StoreTile(uint32_t index, int16_t value) {
    if (tileData_.size() < 2 || index >= tileData_.size()) return;
    tileData_[index] = value;
}

void TMapItem::StoreBound(uint32_t index, uint16_t value) {
    if (boundData_.size() < 2 || index >= boundData_.size()) return;
    boundData_[index] = value;
}

ptrdiff_t TMapItem::CellIndex(int32_t x, int32_t y) const {
    if (tileData_.size() < 2) return -1;
    if (x < 0 || x >= width_ || y < 0 || y >= height_) return -1;
    return static_cast<ptrdiff_t>(y) * width_ + x;
}

int16_t TMapItem::TileAt(int32_t x, int32_t y) const {
    const ptrdiff_t i = CellIndex(x, y);
    return i < 0 ? 0 : tileData_[static_cast<size_t>(i)];
}

uint16_t TMapItem::BoundAt(int32_t x, int32_t y) const {
    const ptrdiff_t i = CellIndex(x, y);
    return i < 0 ? 0 : boundData_[static_cast<size_t>(i)];
}

void TMapItem::SwitchTagged(int32_t tag, int16_t tile, int32_t low) {
    if (tileData_.size() < 2) return;
    const auto word = static_cast<uint16_t>(static_cast<uint32_t>(tag) * 256u + static_cast<uint32_t>(low));
    for (size_t i = 0; i < tileData_.size(); ++i) {
        if ((boundData_[i] >> 8) != tag) continue;
        tileData_[i] = tile;
        boundData_[i] = word;
    }
}

void TMapItem::SetBound(uint16_t value, int32_t x, int32_t y) {
    const ptrdiff_t i = CellIndex(x, y);
    if (i >= 0) boundData_[static_cast<size_t>(i)] = value;
}

// ---------------------------------------------------------------------------
// TSequenceItem

void TSequenceItem::SetFrame(uint16_t index, int16_t tile) {
    if (frames_.size() < 2) frames_.resize(Length > 0 ? static_cast<size_t>(Length) : 0, 0);
    if (frames_.size() < 2 || index >= frames_.size()) return;
    frames_[index] = tile;
}

int16_t TSequenceItem::FrameTile(uint16_t index) const {
    if (frames_.size() < 2) return 0;
    // Length may have changed since the frames were allocated: never read past them.
    const size_t i = (index < Length && index < frames_.size()) ? index : 0;
    return static_cast<int16_t>(frames_[i] - 1);
}

} // namespace varnok
