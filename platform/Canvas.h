#pragma once
// A drawing canvas on a surface: pen lines, rectangles and text. Lines and
// rectangles follow the usual GDI rules: LineTo does not draw its end point,
// Rectangle covers Left..Right-1 and Top..Bottom-1. Text is drawn in a
// monospaced 10-point font (Liberation Mono stands in for "Courier new").
#include "common/Color.h"

#include <string>
#include <vector>

namespace varnok::platform {

class Surface;

struct Point {
    int X = 0;
    int Y = 0;
};

enum class BrushStyle { Solid, Clear };

class Canvas {
public:
    explicit Canvas(Surface& surface);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    TColor PenColor = clBlack;
    TColor BrushColor = clWhite;
    BrushStyle Brush = BrushStyle::Solid;
    TColor FontColor = clBlack;

    void MoveTo(int x, int y);
    void LineTo(int x, int y);
    void Polyline(const std::vector<Point>& points);
    // Outline in the pen colour, inside filled with the brush unless it is clear.
    void Rectangle(int left, int top, int right, int bottom);
    void FillRect(int left, int top, int right, int bottom); // brush colour, no outline
    // Text with its top-left corner at (x, y); the background is the brush
    // colour unless the brush is clear. Latin-1 bytes.
    void TextOut(int x, int y, const std::string& text);
    int TextWidth(const std::string& text);
    int TextHeight(const std::string& text);
    // Ends a drawing session (kept for the callers' rhythm; drawing is immediate).
    void Release() {}

private:
    void Plot(int x, int y, uint32_t pixel);
    void* Font(); // TTF_Font*

    Surface& surface_;
    Point pen_;
};

} // namespace varnok::platform
