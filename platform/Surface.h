#pragma once
// A drawing surface: a picture in one pixel format (8-bit paletted, 16-bit
// RGB565, 24-bit or 32-bit RGB) with the blits the game needs. Pixel values
// are in the surface's own format; ColorMatch turns a colour into the nearest
// pixel value. Rectangles are half-open: Right and Bottom are not included.
#include "common/Color.h"
#include "common/Image.h"
#include "platform/Blit.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

struct SDL_Surface;

namespace varnok::platform {

struct Rect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    bool operator==(const Rect&) const = default;
};

inline Rect Bounds(int left, int top, int width, int height) { return {left, top, left + width, top + height}; }

// The parts of area that none of the cover rectangles overlap, as rectangles
// that do not overlap each other; rows alike in their uncovered columns share
// one rectangle.
std::vector<Rect> Uncovered(const Rect& area, const std::vector<Rect>& cover);

using Palette = std::array<TColor, 256>;

class Canvas;

class Surface {
public:
    // Creates a surface of the size and bit count (8, 16, 24 or 32). Raises
    // Exception "Surface cannot be initialized" when that is not possible.
    Surface(int width, int height, int bitCount);
    ~Surface();
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    // A surface of the given bit count holding the picture (alpha ignored).
    static std::unique_ptr<Surface> FromImage(const RgbaImage& image, int bitCount,
                                              const Palette* palette = nullptr);
    // The surface's pixels as RGBA (alpha 255).
    RgbaImage ToImage() const;

    int Width() const;
    int Height() const;
    int BitCount() const;
    Rect ClientRect() const { return {0, 0, Width(), Height()}; }

    // Nearest pixel value of this surface's format for a colour; on 8-bit
    // surfaces the nearest palette entry.
    uint32_t ColorMatch(TColor color) const;
    TColor PixelToColor(uint32_t pixel) const;

    uint32_t GetPixel(int x, int y) const;            // 0 outside the surface
    void SetPixel(int x, int y, uint32_t pixel);        // ignored outside the surface

    void Fill(uint32_t pixel);
    void FillRect(const Rect& rect, uint32_t pixel);  // clipped to the surface

    // Colour-key transparency of this surface when it is the source of a blit.
    void SetColorKey(std::optional<uint32_t> key);
    std::optional<uint32_t> ColorKey() const { return colorKey_; }
    // Marks a picture that is drawn often and changes rarely: paletted
    // surfaces then get SDL's run-length encoding for keyed blits, others
    // run-length encoded copies for blended blits at 24 and 32 bits. (Keyed
    // blits of 16 bits and up always use the cached lists of opaque runs.)
    void SetRLE(bool enabled);

    // Blits src's srcRect to (x, y) of this surface, clipped on both sides.
    // transparent: skip src's colour-key pixels (when src has a key).
    void Draw(int x, int y, const Surface& src, const Rect& srcRect, bool transparent);
    // As Draw, blended with alpha 0 (invisible) .. 255 (opaque).
    void DrawAlpha(int x, int y, const Surface& src, const Rect& srcRect, bool transparent, int alpha);
    // True when Draw(x, y, src, srcRect, transparent) writes every pixel of
    // the rectangle it lands on (a plain copy without key pixels), so that
    // whatever was there before cannot show.
    bool DrawCovers(const Surface& src, const Rect& srcRect, bool transparent) const;
    // Scales src's srcRect into dest (nearest neighbour).
    void StretchDraw(const Rect& dest, const Surface& src, const Rect& srcRect, bool transparent);
    // SDL's own opaque blit of a whole surface: the reference unit of the
    // drawing benchmarks, kept apart from Draw's faster copy.
    void SdlBlitWhole(const Surface& src);

    // 8-bit surfaces only.
    void SetPalette(const Palette& palette);
    Palette GetPalette() const;

    // The drawing canvas on this surface (pen, brush, lines, rectangles, text).
    Canvas& GetCanvas();

    // The platform's own handle (an SDL surface); only for platform/ code.
    void* NativeHandle() const { return surface_; }
    // To be called after writing the pixels through the handle: drops what
    // was derived from the old pixels. Every write of this class calls it.
    void PixelsChanged();
    // How many writes the pixels have had: the same count means the same
    // pixels (for one Serial).
    uint64_t Writes() const { return writes_; }
    // A number no other surface of this run of the program has.
    uint64_t Serial() const { return serial_; }

  private:
    ::SDL_Surface* PlainTwin() const;
    ::SDL_Surface* AlphaTwin(int alpha) const;
    ::SDL_Surface* MakeTwin(bool rle, int alpha) const;
    void DropTwins() const;
    bool SdlRle() const;
    // Keyed, opaque and (on RGB565) blended blits between surfaces of one
    // format through our own pixel loops; false when SDL must do it.
    bool DirectDraw(int x, int y, const Surface& src, const Rect& srcRect, bool transparent, int alpha);

    void* surface_ = nullptr; // SDL_Surface*
    // Copies of the pixels for blits that must not touch a run-length encoded
    // surface: key -1 an unencoded copy for scaling, 1..254 encoded copies
    // with that alpha fixed (SDL_Surface*), the most recent last.
    mutable std::vector<std::pair<int, void*>> twins_;
    std::optional<uint32_t> colorKey_;
    bool rle_ = false;
    // Opaque runs of the rectangles keyed blits read, found on first use.
    mutable blit::RunCache runCache_;
    std::unique_ptr<Canvas> canvas_;
    uint64_t writes_ = 0;
    uint64_t serial_;
};

} // namespace varnok::platform
