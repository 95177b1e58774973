#pragma once
// Row conversion for presenting frames: 16-bit RGB565 pixels to 32-bit pixels
// with red in bits 16-23, green in 8-15 and blue in 0-7 (the usual window
// framebuffer), each source pixel repeated a whole number of times. Channels
// are widened by repeating their top bits, so 31 becomes 255 and 0 stays 0.
#include "platform/Surface.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace varnok::platform {

// One output pixel of an RGB565 colour; alpha is or-ed in (the framebuffer's
// alpha bits, or 0).
inline uint32_t Rgb565To8888(uint16_t c, uint32_t alpha) {
    const uint32_t r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
    return alpha | (r << 3 | r >> 2) << 16 | (g << 2 | g >> 4) << 8 | (b << 3 | b >> 2);
}

// Converts count pixels of in into count * scale pixels of out.
void ExpandRow565To8888(const uint16_t* in, int count, uint32_t* out, int scale, uint32_t alpha);

// Brings rows of a window up to date with a row of RGB565 pixels: the groups
// of 8 pixels that differ from shadow (the row shown last) are copied into
// shadow and converted into each of the rows out rows (outPitch pixels
// apart), scaled; with force every group counts as different. Returns
// whether anything was converted. When changedGroups is given, the entry of
// every group converted (pixels 8 * i to 8 * i + 7 of row) is set to 1; the
// others are left as they are.
bool UpdateRow565To8888(const uint16_t* row, uint16_t* shadow, int count, uint32_t* out, ptrdiff_t outPitch,
                        int rows, int scale, uint32_t alpha, bool force, uint8_t* changedGroups = nullptr);

// The parts of a picture that changed since it was last shown, gathered from
// the groups of eight pixels UpdateRow565To8888 converted: rows are taken in
// bands, and each band's changed groups become runs, runs less than a gap
// apart joined. Only these are sent to the display server, which costs it a
// request per rectangle plus the copying of their pixels: a rain of thin
// changes over the whole picture is a few percent of its area.
class ChangedAreas {
  public:
    ChangedAreas(int width, int height, int bandRows, int joinGroups);
    // Forgets every change.
    void Clear();
    // The flags of row y's groups, for UpdateRow565To8888: rows of a band
    // share them.
    uint8_t* Row(int y) {
        return flags_.data() + static_cast<size_t>(y / bandRows_) * static_cast<size_t>(groups_);
    }
    // The changed rectangles in picture pixels, band by band from the top.
    std::vector<Rect> Rects() const;
    // The same into rects (emptied first), whose memory is used again frame
    // after frame.
    void Rects(std::vector<Rect>& rects) const;

    int Width() const { return width_; }
    int Height() const { return height_; }

  private:
    int width_, height_, bandRows_, joinGroups_, groups_;
    std::vector<uint8_t> flags_;
};

// The same without the processor's vector instructions (for comparison).
void ExpandRow565To8888Plain(const uint16_t* in, int count, uint32_t* out, int scale, uint32_t alpha);

} // namespace varnok::platform
