#pragma once
// Pixel loops behind Surface's blits: colour-keyed copies driven by lists of
// the opaque runs of a source rectangle, and 16-bit (RGB565) alpha blending.
// Kept free of SDL so that they can be tested on plain buffers.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace varnok::platform::blit {

// The pixel value at p of a surface with 1 to 4 bytes per pixel.
inline uint32_t ReadPixel(const uint8_t* p, int bytesPerPixel) {
    switch (bytesPerPixel) {
    case 1: return p[0];
    case 2: {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    }
    case 3: return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16;
    default: {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
    }
}

// One run of opaque (non-key) pixels of a source rectangle: row y and column x
// relative to the rectangle, srcOffset the byte offset of its first pixel.
struct Run {
    uint32_t srcOffset;
    uint16_t y;
    uint16_t x;
    uint16_t length;
};

// The opaque runs of the rectangles a surface is drawn from, found once per
// rectangle: a tile or a figure is drawn from the same rectangle every frame,
// and a flat list of runs is the cheapest thing to walk.
class RunCache {
public:
    // The runs of the rectangle (inside the surface) of a surface of
    // bytesPerPixel 1..4 whose key pixel value is key.
    std::span<const Run> Find(const uint8_t* pixels, int pitch, int bytesPerPixel, uint32_t key, int left, int top,
                              int width, int height);
    void Clear();
    bool Empty() const { return used_ == 0; }

private:
    struct Slot {
        uint64_t rect = 0; // packed rectangle + 1; 0 marks a free slot
        uint32_t first = 0;
        uint32_t count = 0;
    };
    std::vector<Slot> slots_; // open addressing, a power of two in size
    std::vector<Run> runs_;
    size_t used_ = 0;
};

// Whether the runs of a width x height rectangle fill it whole: the
// rectangle holds no key pixels.
inline bool RunsFillRectangle(std::span<const Run> runs, int width, int height) {
    if (runs.size() != static_cast<size_t>(height)) return false;
    for (const Run& r : runs)
        if (r.x != 0 || r.length != width) return false;
    return true;
}

// A blit's destination: the surface's pixels, where the source rectangle's
// top left lands (may be outside), and the visible part of the rectangle in
// its own coordinates (already clipped to the destination). The run
// functions take the rectangle's width and height to tell unclipped blits.
struct Target {
    uint8_t* pixels = nullptr;
    int pitch = 0;
    int x = 0, y = 0;
    int clipLeft = 0, clipTop = 0, clipRight = 0, clipBottom = 0;
};

// Copies the runs' visible parts.
void CopyRuns(const Target& t, int width, int height, const uint8_t* srcPixels, int bytesPerPixel,
              std::span<const Run> runs);
// Copies the visible part of a source rectangle whose top left is srcTopLeft.
void CopyRect(const Target& t, const uint8_t* srcTopLeft, int srcPitch, int bytesPerPixel);
// Blends the runs' visible parts (RGB565) with alpha 0..255, or a whole rectangle.
void BlendRuns565(const Target& t, int width, int height, const uint8_t* srcPixels, std::span<const Run> runs,
                  int alpha);
void BlendRect565(const Target& t, const uint8_t* srcTopLeft, int srcPitch, int alpha);

// One row of n RGB565 pixels blended in place; exposed for tests.
void BlendRow565(uint16_t* dst, const uint16_t* src, int n, int alpha);

} // namespace varnok::platform::blit
