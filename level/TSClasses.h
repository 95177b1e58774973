#pragma once
// The in-memory model of one level's tile data: the tile set, its map layers
// (grids of tile codes and bound words) and its tile animation sequences.
//
// Tile codes: 0 = no tile, n >= 1 = pattern n - 1 of the tile image, -k = the
// current frame of sequence k. Bound word: low byte = bound code, high byte =
// tag. A grid or frame array with fewer than two entries counts as empty: reads
// give 0 and writes are ignored.
#include "common/Exception.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace varnok {

// Raises EListError "Listenindex \xFCberschreitet das Maximum (%d)" with the index.
[[noreturn]] void RaiseListIndexError(int32_t index);

// An ordered collection that owns its items. Items keep their address while
// others are appended, so references to them stay valid until the collection
// goes away.
template <class T> class TOwnedList {
  public:
    int32_t Count() const { return static_cast<int32_t>(items_.size()); }
    // Appends a new empty item and returns it.
    T& Add() {
        items_.push_back(std::make_unique<T>());
        return *items_.back();
    }
    // Typed access; an index outside 0..Count-1 raises EListError.
    T& Items(int32_t index) { return *items_[Checked(index)]; }
    const T& Items(int32_t index) const { return *items_[Checked(index)]; }
    T& operator[](int32_t index) { return Items(index); }
    const T& operator[](int32_t index) const { return Items(index); }
    void Clear() { items_.clear(); }

  private:
    size_t Checked(int32_t index) const {
        if (index < 0 || index >= Count()) RaiseListIndexError(index);
        return static_cast<size_t>(index);
    }

    std::vector<std::unique_ptr<T>> items_;
};

// One map layer.
class TMapItem {
  public:
    std::string Name;    // "Layer" + LayerNumber
    int16_t ScrollX = 0; // parallax factors
    int16_t ScrollY = 0;
    int32_t Z = 0;           // drawing depth of the layer sprite
    int32_t LayerNumber = 0; // 1..7

    // Cells per row and number of rows. Changed only through Resize, so the
    // grids always hold Width x Height entries.
    uint16_t Width() const { return width_; }
    uint16_t Height() const { return height_; }
    size_t CellCount() const { return tileData_.size(); }
    const std::vector<int16_t>& TileData() const { return tileData_; }
    const std::vector<uint16_t>& BoundData() const { return boundData_; }

    // Both grids become width x height entries of 0.
    void Resize(uint16_t width, uint16_t height);
    // Grid writes by running index (y * Width + x). Ignored when the grid is
    // empty or the index lies beyond it.
    void StoreTile(uint32_t index, int16_t value);
    void StoreBound(uint32_t index, uint16_t value);

    // Cell reads; 0 outside the map and for an empty grid.
    int16_t TileAt(int32_t x, int32_t y) const;
    uint16_t BoundAt(int32_t x, int32_t y) const;
    uint8_t BoundLow(int32_t x, int32_t y) const { return static_cast<uint8_t>(BoundAt(x, y) & 0xFF); }
    uint8_t BoundHigh(int32_t x, int32_t y) const { return static_cast<uint8_t>(BoundAt(x, y) >> 8); }

    // Every cell whose tag equals tag gets the tile code and the bound word
    // tag * 256 + low (16 bits). Nothing happens when the grid is empty.
    void SwitchTagged(int32_t tag, int16_t tile, int32_t low);
    // Writes one bound word; ignored outside the map and for an empty grid.
    void SetBound(uint16_t value, int32_t x, int32_t y);

  private:
    // Index of (x, y), or -1 when the cell cannot be read or written.
    ptrdiff_t CellIndex(int32_t x, int32_t y) const;

    uint16_t width_ = 0;
    uint16_t height_ = 0;
    std::vector<int16_t> tileData_;
    std::vector<uint16_t> boundData_;
};

// One tile animation.
class TSequenceItem {
  public:
    int16_t Length = 0; // number of frames
    int32_t Speed = 0;  // frames per second

    const std::vector<int16_t>& Frames() const { return frames_; }

    // Allocates Length frames at the first write (existing entries kept), then
    // stores the 1-based tile number. Writes beyond the array, or to an array of
    // fewer than two entries, are ignored.
    void SetFrame(uint16_t index, int16_t tile);
    // The frame's pattern index (tile number - 1). Indices at or beyond Length
    // fall back to the first frame; an empty frame array gives 0.
    int16_t FrameTile(uint16_t index) const;

  private:
    std::vector<int16_t> frames_;
};

class TMaps : public TOwnedList<TMapItem> {};
class TSequences : public TOwnedList<TSequenceItem> {};

// One level's tile set. A new one has all numbers 0, empty texts and empty
// collections.
class TTileSetItem {
  public:
    std::string Name; // "Level" + level number
    uint16_t TileWidth = 0;
    uint16_t TileHeight = 0;
    std::string Bitmap; // tile bitmap path relative to the program folder
    uint8_t TransparentR = 0;
    uint8_t TransparentG = 0;
    uint8_t TransparentB = 0;
    int16_t SequenceCount = 0;
    uint16_t LayerCount = 0; // number of layers to build
    TMaps Maps;              // map layers in ascending layer number
    TSequences Sequences;    // sequence k at index k - 1
};

} // namespace varnok
