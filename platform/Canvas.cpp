#include "platform/Canvas.h"

#include "common/StrUtils.h"
#include "platform/Surface.h"
#include "common/DebugLog.h"

#include <SDL.h>
#include <SDL_ttf.h>
#include <cstdlib>

namespace varnok::platform {

namespace {
// "Courier new" at 10 points on a 96-dpi screen is 13 pixels high.
constexpr int kFontPixelSize = 13;

TTF_Font* SharedFont() {
    static TTF_Font* font = nullptr;
    static bool tried = false;
    if (!tried) {
        tried = true;
        if (!TTF_WasInit() && TTF_Init() != 0) {
            AddMessage(std::string("Text font unavailable: ") + TTF_GetError());
            return nullptr;
        }
        font = TTF_OpenFont(VARNOK_CANVAS_FONT, kFontPixelSize);
        if (!font) AddMessage(std::string("Text font unavailable: ") + TTF_GetError());
    }
    return font;
}
} // namespace

Canvas::Canvas(Surface& surface) : surface_(surface) {}
Canvas::~Canvas() = default;

void* Canvas::Font() { return SharedFont(); }

void Canvas::Plot(int x, int y, uint32_t pixel) { surface_.SetPixel(x, y, pixel); }

void Canvas::MoveTo(int x, int y) { pen_ = {x, y}; }

void Canvas::LineTo(int x, int y) {
    const uint32_t pixel = surface_.ColorMatch(PenColor);
    int x0 = pen_.X, y0 = pen_.Y;
    const int dx = std::abs(x - x0), sx = x0 < x ? 1 : -1;
    const int dy = -std::abs(y - y0), sy = y0 < y ? 1 : -1;
    int err = dx + dy;
    while (!(x0 == x && y0 == y)) {
        Plot(x0, y0, pixel);
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
    pen_ = {x, y};
}

void Canvas::Polyline(const std::vector<Point>& points) {
    if (points.empty()) return;
    MoveTo(points[0].X, points[0].Y);
    for (size_t i = 1; i < points.size(); ++i) LineTo(points[i].X, points[i].Y);
}

void Canvas::FillRect(int left, int top, int right, int bottom) {
    surface_.FillRect(Rect{left, top, right, bottom}, surface_.ColorMatch(BrushColor));
}

void Canvas::Rectangle(int left, int top, int right, int bottom) {
    if (right <= left || bottom <= top) return;
    if (Brush == BrushStyle::Solid) FillRect(left, top, right, bottom);
    const uint32_t pen = surface_.ColorMatch(PenColor);
    surface_.FillRect(Rect{left, top, right, top + 1}, pen);
    surface_.FillRect(Rect{left, bottom - 1, right, bottom}, pen);
    surface_.FillRect(Rect{left, top, left + 1, bottom}, pen);
    surface_.FillRect(Rect{right - 1, top, right, bottom}, pen);
}

void Canvas::TextOut(int x, int y, const std::string& text) {
    if (text.empty()) return;
    TTF_Font* font = static_cast<TTF_Font*>(Font());
    if (!font) return;
    const std::string utf8 = Latin1ToUtf8(text);
    SDL_Color fg{GetRValue(FontColor), GetGValue(FontColor), GetBValue(FontColor), 255};
    SDL_Surface* rendered = TTF_RenderUTF8_Blended(font, utf8.c_str(), fg);
    if (!rendered) return;
    SDL_Surface* target = static_cast<SDL_Surface*>(surface_.NativeHandle());
    SDL_Rect dest{x, y, rendered->w, rendered->h};
    if (Brush == BrushStyle::Solid) FillRect(x, y, x + rendered->w, y + rendered->h);
    SDL_SetSurfaceBlendMode(rendered, SDL_BLENDMODE_BLEND);
    SDL_BlitSurface(rendered, nullptr, target, &dest);
    SDL_FreeSurface(rendered);
    surface_.PixelsChanged();
}

int Canvas::TextWidth(const std::string& text) {
    TTF_Font* font = static_cast<TTF_Font*>(Font());
    int w = 0, h = 0;
    if (font) TTF_SizeUTF8(font, Latin1ToUtf8(text).c_str(), &w, &h);
    return w;
}

int Canvas::TextHeight(const std::string& text) {
    TTF_Font* font = static_cast<TTF_Font*>(Font());
    return font ? TTF_FontHeight(font) : 0;
}

} // namespace varnok::platform
