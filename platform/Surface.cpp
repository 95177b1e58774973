#include "platform/Surface.h"

#include "common/Exception.h"
#include "platform/Canvas.h"

#include <SDL.h>
#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>

namespace varnok::platform {

namespace {

SDL_Surface* S(void* p) { return static_cast<SDL_Surface*>(p); }

Uint32 FormatFor(int bitCount) {
    switch (bitCount) {
    case 8: return SDL_PIXELFORMAT_INDEX8;
    case 16: return SDL_PIXELFORMAT_RGB565;
    case 24: return SDL_PIXELFORMAT_RGB24;
    case 32: return SDL_PIXELFORMAT_RGB888;
    default: return SDL_PIXELFORMAT_UNKNOWN;
    }
}

// Keeps a surface locked (and decoded, when run-length encoded) while pixels are read.
class PixelLock {
public:
    explicit PixelLock(SDL_Surface* s) : s_(s) { locked_ = SDL_MUSTLOCK(s) && SDL_LockSurface(s) == 0; }
    ~PixelLock() {
        if (locked_) SDL_UnlockSurface(s_);
    }
    PixelLock(const PixelLock&) = delete;
    PixelLock& operator=(const PixelLock&) = delete;
    bool Ok() const { return !SDL_MUSTLOCK(s_) || locked_; }

private:
    SDL_Surface* s_;
    bool locked_ = false;
};

uint32_t ReadPixel(const SDL_Surface* s, int x, int y) {
    const int bpp = s->format->BytesPerPixel;
    return blit::ReadPixel(static_cast<const uint8_t*>(s->pixels) + y * s->pitch + x * bpp, bpp);
}

void WritePixel(SDL_Surface* s, int x, int y, uint32_t pixel) {
    uint8_t* p = static_cast<uint8_t*>(s->pixels) + y * s->pitch + x * s->format->BytesPerPixel;
    switch (s->format->BytesPerPixel) {
    case 1: *p = static_cast<uint8_t>(pixel); break;
    case 2: {
        uint16_t v = static_cast<uint16_t>(pixel);
        std::memcpy(p, &v, 2);
        break;
    }
    case 3:
        p[0] = static_cast<uint8_t>(pixel);
        p[1] = static_cast<uint8_t>(pixel >> 8);
        p[2] = static_cast<uint8_t>(pixel >> 16);
        break;
    default: std::memcpy(p, &pixel, 4); break;
    }
}

// Nearest n-bit level of an 8-bit channel, and back.
uint32_t Narrow(uint8_t v, int bits) {
    const uint32_t max = (1u << bits) - 1;
    return (v * max + 127) / 255;
}
uint8_t Widen(uint32_t v, int bits) {
    const uint32_t max = (1u << bits) - 1;
    return static_cast<uint8_t>((v * 255 + max / 2) / max);
}

SDL_Rect ToSdl(const Rect& r) { return SDL_Rect{r.Left, r.Top, r.Width(), r.Height()}; }

} // namespace

namespace {
std::atomic<uint64_t> nextSerial{1};
}

Surface::Surface(int width, int height, int bitCount) : serial_(nextSerial++) {
    const Uint32 format = FormatFor(bitCount);
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384 || format == SDL_PIXELFORMAT_UNKNOWN)
        throw Exception("Surface cannot be initialized");
    surface_ = SDL_CreateRGBSurfaceWithFormat(0, width, height, bitCount, format);
    if (!surface_) throw Exception("Surface cannot be initialized");
    if (bitCount == 8) {
        // A default grey ramp so that an 8-bit surface shows something before a palette is set.
        Palette p{};
        for (int i = 0; i < 256; ++i) p[i] = RGB(i, i, i);
        SetPalette(p);
    }
}

Surface::~Surface() {
    DropTwins();
    if (surface_) SDL_FreeSurface(S(surface_));
}

std::unique_ptr<Surface> Surface::FromImage(const RgbaImage& image, int bitCount, const Palette* palette) {
    auto result = std::make_unique<Surface>(image.Width, image.Height, bitCount);
    if (palette && bitCount == 8) result->SetPalette(*palette);
    SDL_Surface* s = S(result->surface_);
    PixelLock lock(s);
    for (int y = 0; y < image.Height; ++y)
        for (int x = 0; x < image.Width; ++x) {
            const uint8_t* p = image.At(x, y);
            WritePixel(s, x, y, result->ColorMatch(RGB(p[0], p[1], p[2])));
        }
    return result;
}

RgbaImage Surface::ToImage() const {
    RgbaImage image(Width(), Height());
    SDL_Surface* s = S(surface_);
    PixelLock lock(s);
    if (!lock.Ok()) return image;
    for (int y = 0; y < image.Height; ++y)
        for (int x = 0; x < image.Width; ++x) {
            TColor c = PixelToColor(ReadPixel(s, x, y));
            uint8_t* p = image.At(x, y);
            p[0] = GetRValue(c);
            p[1] = GetGValue(c);
            p[2] = GetBValue(c);
            p[3] = 255;
        }
    return image;
}

int Surface::Width() const { return S(surface_)->w; }
int Surface::Height() const { return S(surface_)->h; }
int Surface::BitCount() const { return S(surface_)->format->BitsPerPixel; }

uint32_t Surface::ColorMatch(TColor color) const {
    const uint8_t r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
    const SDL_PixelFormat* f = S(surface_)->format;
    switch (f->BitsPerPixel) {
    case 8: {
        int best = 0;
        long bestDistance = LONG_MAX;
        for (int i = 0; i < f->palette->ncolors; ++i) {
            const SDL_Color& c = f->palette->colors[i];
            long dr = c.r - r, dg = c.g - g, db = c.b - b;
            long d = dr * dr + dg * dg + db * db;
            if (d < bestDistance) {
                bestDistance = d;
                best = i;
                if (d == 0) break;
            }
        }
        return static_cast<uint32_t>(best);
    }
    case 16: return Narrow(r, 5) << 11 | Narrow(g, 6) << 5 | Narrow(b, 5);
    default: return SDL_MapRGB(f, r, g, b);
    }
}

TColor Surface::PixelToColor(uint32_t pixel) const {
    const SDL_PixelFormat* f = S(surface_)->format;
    switch (f->BitsPerPixel) {
    case 16: return RGB(Widen((pixel >> 11) & 31, 5), Widen((pixel >> 5) & 63, 6), Widen(pixel & 31, 5));
    default: {
        Uint8 r, g, b;
        SDL_GetRGB(pixel, f, &r, &g, &b);
        return RGB(r, g, b);
    }
    }
}

uint32_t Surface::GetPixel(int x, int y) const {
    SDL_Surface* s = S(surface_);
    if (x < 0 || y < 0 || x >= s->w || y >= s->h) return 0;
    PixelLock lock(s);
    return lock.Ok() ? ReadPixel(s, x, y) : 0;
}

void Surface::SetPixel(int x, int y, uint32_t pixel) {
    SDL_Surface* s = S(surface_);
    if (x < 0 || y < 0 || x >= s->w || y >= s->h) return;
    PixelsChanged();
    PixelLock lock(s);
    if (lock.Ok()) WritePixel(s, x, y, pixel);
}

namespace {

// Fills the rectangle (or the clip rectangle, as SDL does) with ordinary
// stores. SDL's own fill streams past the cache, so the frame that is drawn
// over the cleared surface next would first come back from memory.
void FillCached(SDL_Surface* s, const SDL_Rect* rect, uint32_t pixel) {
    const int bpp = s->format->BytesPerPixel;
    SDL_Rect r = s->clip_rect;
    if (rect && !SDL_IntersectRect(rect, &s->clip_rect, &r)) return;
    if ((bpp != 2 && bpp != 4) || SDL_MUSTLOCK(s) || r.w <= 0 || r.h <= 0) {
        SDL_FillRect(s, &r, pixel);
        return;
    }
    for (int y = r.y; y < r.y + r.h; ++y) {
        uint8_t* row = static_cast<uint8_t*>(s->pixels) + static_cast<ptrdiff_t>(y) * s->pitch;
        if (bpp == 2)
            std::fill_n(reinterpret_cast<uint16_t*>(row) + r.x, r.w, static_cast<uint16_t>(pixel));
        else
            std::fill_n(reinterpret_cast<uint32_t*>(row) + r.x, r.w, pixel);
    }
}

} // namespace

void Surface::Fill(uint32_t pixel) {
    PixelsChanged();
    FillCached(S(surface_), nullptr, pixel);
}

void Surface::FillRect(const Rect& rect, uint32_t pixel) {
    if (rect.IsEmpty()) return;
    PixelsChanged();
    SDL_Rect r = ToSdl(rect);
    FillCached(S(surface_), &r, pixel);
}

void Surface::SetColorKey(std::optional<uint32_t> key) {
    PixelsChanged();
    colorKey_ = key;
    SDL_SetColorKey(S(surface_), key ? SDL_TRUE : SDL_FALSE, key.value_or(0));
}

void Surface::SetRLE(bool enabled) {
    PixelsChanged();
    rle_ = enabled;
    // Keyed blits of 16 bits and up run through our own opaque-run tables;
    // paletted ones are left to SDL's run-length encoding.
    SDL_SetSurfaceRLE(S(surface_), SdlRle() ? 1 : 0);
}

bool Surface::SdlRle() const { return rle_ && S(surface_)->format->BytesPerPixel == 1; }

bool Surface::DirectDraw(int x, int y, const Surface& src, const Rect& srcRect, bool transparent, int alpha) {
    SDL_Surface* to = S(surface_);
    const SDL_Surface* from = S(src.surface_);
    // Same pixel format, no palette mapping, no overlap, pixels at hand.
    const int bpp = to->format->BytesPerPixel;
    if (&src == this || from->format->format != to->format->format || bpp < 2 || SDL_MUSTLOCK(to) ||
        SDL_MUSTLOCK(from) || (alpha < 255 && to->format->format != SDL_PIXELFORMAT_RGB565))
        return false;
    // Clipped as SDL clips: the rectangle to the source first, then what
    // lands outside this surface.
    const int left = std::max(srcRect.Left, 0), top = std::max(srcRect.Top, 0);
    const int right = std::min(srcRect.Right, from->w), bottom = std::min(srcRect.Bottom, from->h);
    if (right <= left || bottom <= top) return true;
    const int64_t dx = static_cast<int64_t>(x) + (left - srcRect.Left);
    const int64_t dy = static_cast<int64_t>(y) + (top - srcRect.Top);
    blit::Target t;
    t.pixels = static_cast<uint8_t*>(to->pixels);
    t.pitch = to->pitch;
    t.clipLeft = static_cast<int>(std::clamp<int64_t>(-dx, 0, right - left));
    t.clipTop = static_cast<int>(std::clamp<int64_t>(-dy, 0, bottom - top));
    t.clipRight = static_cast<int>(std::clamp<int64_t>(to->w - dx, 0, right - left));
    t.clipBottom = static_cast<int>(std::clamp<int64_t>(to->h - dy, 0, bottom - top));
    if (t.clipRight <= t.clipLeft || t.clipBottom <= t.clipTop) return true;
    t.x = static_cast<int>(dx);
    t.y = static_cast<int>(dy);
    const uint8_t* pixels = static_cast<const uint8_t*>(from->pixels);
    if (transparent && src.colorKey_) {
        // Runs belong to the rectangle, so every blit from it shares them
        // however it is clipped.
        const auto runs =
            src.runCache_.Find(pixels, from->pitch, bpp, *src.colorKey_, left, top, right - left, bottom - top);
        // A rectangle without key pixels (an opaque tile) is copied row by
        // row, without walking its runs.
        if (!blit::RunsFillRectangle(runs, right - left, bottom - top)) {
            if (alpha < 255)
                blit::BlendRuns565(t, right - left, bottom - top, pixels, runs, alpha);
            else
                blit::CopyRuns(t, right - left, bottom - top, pixels, bpp, runs);
            return true;
        }
    }
    const uint8_t* topLeft = pixels + static_cast<ptrdiff_t>(top) * from->pitch + static_cast<ptrdiff_t>(left) * bpp;
    if (alpha < 255) blit::BlendRect565(t, topLeft, from->pitch, alpha);
    else blit::CopyRect(t, topLeft, from->pitch, bpp);
    return true;
}

bool Surface::DrawCovers(const Surface& src, const Rect& srcRect, bool transparent) const {
    const SDL_Surface* to = S(surface_);
    const SDL_Surface* from = S(src.surface_);
    // The cases DirectDraw copies itself, from a rectangle inside the source.
    if (&src == this || from->format->format != to->format->format || to->format->BytesPerPixel < 2 ||
        SDL_MUSTLOCK(to) || SDL_MUSTLOCK(from) || srcRect.IsEmpty() || srcRect.Left < 0 || srcRect.Top < 0 ||
        srcRect.Right > from->w || srcRect.Bottom > from->h)
        return false;
    if (!transparent || !src.colorKey_) return true;
    const int width = srcRect.Width(), height = srcRect.Height();
    const auto runs = src.runCache_.Find(static_cast<const uint8_t*>(from->pixels), from->pitch,
                                         from->format->BytesPerPixel, *src.colorKey_, srcRect.Left,
                                         srcRect.Top, width, height);
    return blit::RunsFillRectangle(runs, width, height);
}

std::vector<Rect> Uncovered(const Rect& area, const std::vector<Rect>& cover) {
    std::vector<Rect> left;
    if (area.IsEmpty()) return left;
    std::vector<Rect> inside;
    std::vector<int> edges{area.Top, area.Bottom};
    for (const Rect& c : cover) {
        const Rect r{std::max(c.Left, area.Left), std::max(c.Top, area.Top), std::min(c.Right, area.Right),
                     std::min(c.Bottom, area.Bottom)};
        if (r.IsEmpty()) continue;
        inside.push_back(r);
        edges.push_back(r.Top);
        edges.push_back(r.Bottom);
    }
    if (inside.empty()) return {area};
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    std::vector<std::pair<int, int>> spans;
    size_t open = 0; // rectangles of the band before that may grow downward
    for (size_t e = 0; e + 1 < edges.size(); ++e) {
        const int top = edges[e], bottom = edges[e + 1];
        spans.clear();
        for (const Rect& r : inside)
            if (r.Top <= top && r.Bottom >= bottom) spans.push_back({r.Left, r.Right});
        std::sort(spans.begin(), spans.end());
        const size_t band = left.size();
        int x = area.Left;
        auto gap = [&](int to) {
            if (to <= x) return;
            // The same columns as a rectangle ending just above: it grows.
            for (size_t i = open; i < band; ++i)
                if (left[i].Left == x && left[i].Right == to && left[i].Bottom == top) {
                    left[i].Bottom = bottom;
                    return;
                }
            left.push_back({x, top, to, bottom});
        };
        for (auto [a, b] : spans) {
            gap(a);
            x = std::max(x, b);
        }
        gap(area.Right);
        // Rectangles that did not reach this band's bottom are finished.
        size_t keep = open;
        for (size_t i = open; i < left.size(); ++i)
            if (left[i].Bottom != bottom) std::swap(left[i], left[keep++]);
        open = keep;
    }
    return left;
}

void Surface::Draw(int x, int y, const Surface& src, const Rect& srcRect, bool transparent) {
    if (srcRect.IsEmpty()) return;
    // Wholly outside: not worth a call into SDL (tiled layers ask for a ring
    // of cells around the screen).
    if (x >= Width() || y >= Height() || x + srcRect.Width() <= 0 || y + srcRect.Height() <= 0) return;
    PixelsChanged();
    // Our own loops where the formats allow: SDL's opaque copy streams past the
    // cache and evicts this surface, and its keyed blits test every pixel or
    // need run-length encoding that blended blits would damage.
    if (DirectDraw(x, y, src, srcRect, transparent, 255)) return;
    SDL_Surface* from = S(src.surface_);
    SDL_Rect sr = ToSdl(srcRect);
    SDL_Rect dr{x, y, sr.w, sr.h};
    const bool dropKey = !transparent && src.colorKey_;
    if (dropKey) SDL_SetColorKey(from, SDL_FALSE, 0);
    SDL_BlitSurface(from, &sr, S(surface_), &dr);
    if (dropKey) SDL_SetColorKey(from, SDL_TRUE, *src.colorKey_);
}

SDL_Surface* Surface::MakeTwin(bool rle, int alpha) const {
    SDL_Surface* copy = SDL_ConvertSurface(S(surface_), S(surface_)->format, 0);
    if (!copy) return nullptr;
    SDL_SetSurfaceRLE(copy, 0);
    SDL_SetColorKey(copy, colorKey_ ? SDL_TRUE : SDL_FALSE, colorKey_.value_or(0));
    if (alpha < 255) {
        SDL_SetSurfaceBlendMode(copy, SDL_BLENDMODE_BLEND);
        SDL_SetSurfaceAlphaMod(copy, static_cast<Uint8>(alpha));
    }
    if (rle) SDL_SetSurfaceRLE(copy, 1);
    return copy;
}

SDL_Surface* Surface::PlainTwin() const {
    // Scaling must not touch a run-length encoded surface: SDL would decode it,
    // which damages pixels when a modulation is set. Scaled blits use an
    // unencoded copy, made once and dropped when the pixels change.
    if (!SdlRle()) return S(surface_);
    for (auto& [key, twin] : twins_)
        if (key == -1) return S(twin);
    SDL_Surface* twin = MakeTwin(false, 255);
    if (!twin) return S(surface_);
    twins_.emplace_back(-1, twin);
    return twin;
}

SDL_Surface* Surface::AlphaTwin(int alpha) const {
    // Changing the alpha of an encoded surface makes SDL decode it with the
    // old alpha applied. Each alpha in use gets its own encoded copy instead,
    // whose alpha never changes; a few are kept, the oldest dropped first.
    for (auto& [key, twin] : twins_)
        if (key == alpha) return S(twin);
    SDL_Surface* twin = MakeTwin(rle_, alpha);
    if (!twin) return nullptr;
    constexpr size_t kMaxTwins = 6;
    if (twins_.size() >= kMaxTwins) {
        for (auto it = twins_.begin(); it != twins_.end(); ++it)
            if (it->first != -1) {
                SDL_FreeSurface(S(it->second));
                twins_.erase(it);
                break;
            }
    }
    twins_.emplace_back(alpha, twin);
    return twin;
}

void Surface::DropTwins() const {
    for (auto& [key, twin] : twins_) SDL_FreeSurface(S(twin));
    twins_.clear();
}

void Surface::PixelsChanged() {
    ++writes_;
    DropTwins();
    if (!runCache_.Empty()) runCache_.Clear();
}

void Surface::DrawAlpha(int x, int y, const Surface& src, const Rect& srcRect, bool transparent, int alpha) {
    if (alpha <= 0 || srcRect.IsEmpty()) return;
    if (alpha >= 255) {
        Draw(x, y, src, srcRect, transparent);
        return;
    }
    PixelsChanged();
    if (DirectDraw(x, y, src, srcRect, transparent, alpha)) return;
    SDL_Rect sr = ToSdl(srcRect);
    SDL_Rect dr{x, y, sr.w, sr.h};
    if (!transparent && src.colorKey_) {
        // Rare: an opaque blended blit of a keyed surface, through a plain copy.
        SDL_Surface* from = src.PlainTwin();
        SDL_SetColorKey(from, SDL_FALSE, 0);
        SDL_SetSurfaceBlendMode(from, SDL_BLENDMODE_BLEND);
        SDL_SetSurfaceAlphaMod(from, static_cast<Uint8>(alpha));
        SDL_BlitSurface(from, &sr, S(surface_), &dr);
        SDL_SetSurfaceAlphaMod(from, 255);
        SDL_SetSurfaceBlendMode(from, SDL_BLENDMODE_NONE);
        SDL_SetColorKey(from, SDL_TRUE, *src.colorKey_);
        return;
    }
    if (SDL_Surface* from = src.AlphaTwin(alpha)) SDL_BlitSurface(from, &sr, S(surface_), &dr);
}

void Surface::StretchDraw(const Rect& dest, const Surface& src, const Rect& srcRect, bool transparent) {
    if (dest.IsEmpty() || srcRect.IsEmpty()) return;
    if (dest.Width() == srcRect.Width() && dest.Height() == srcRect.Height()) {
        Draw(dest.Left, dest.Top, src, srcRect, transparent);
        return;
    }
    PixelsChanged();
    SDL_Surface* from = src.PlainTwin();
    SDL_Rect sr = ToSdl(srcRect);
    SDL_Rect dr = ToSdl(dest);
    const bool dropKey = !transparent && src.colorKey_;
    if (dropKey) SDL_SetColorKey(from, SDL_FALSE, 0);
    SDL_BlitScaled(from, &sr, S(surface_), &dr);
    if (dropKey) SDL_SetColorKey(from, SDL_TRUE, *src.colorKey_);
}

void Surface::SdlBlitWhole(const Surface& src) {
    PixelsChanged();
    SDL_Rect dr{0, 0, src.Width(), src.Height()};
    SDL_BlitSurface(S(src.surface_), nullptr, S(surface_), &dr);
}

void Surface::SetPalette(const Palette& palette) {
    SDL_Surface* s = S(surface_);
    if (!s->format->palette) return;
    PixelsChanged();
    SDL_Color colors[256];
    for (int i = 0; i < 256; ++i)
        colors[i] = SDL_Color{GetRValue(palette[i]), GetGValue(palette[i]), GetBValue(palette[i]), 255};
    SDL_SetPaletteColors(s->format->palette, colors, 0, 256);
}

Palette Surface::GetPalette() const {
    Palette p{};
    const SDL_Palette* pal = S(surface_)->format->palette;
    if (!pal) return p;
    for (int i = 0; i < pal->ncolors && i < 256; ++i)
        p[i] = RGB(pal->colors[i].r, pal->colors[i].g, pal->colors[i].b);
    return p;
}

Canvas& Surface::GetCanvas() {
    if (!canvas_) canvas_ = std::make_unique<Canvas>(*this);
    return *canvas_;
}

} // namespace varnok::platform
