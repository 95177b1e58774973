#pragma once
// Showing the picture scaled by the X display server: the picture is written
// once at its own size into memory shared with the server, and the server's
// rendering extension scales the changed rows into the window (sharp, whole
// factors). On a virtual or software display this moves the scaling out of
// the game, and the game writes a quarter of the bytes (at factor 2) into a
// picture small enough to stay in the processor's cache; on a desktop with a
// graphics card the server scales on the card.
//
// Made without the server's scaling, the picture is the size of the part of
// the window it fills and the game writes it enlarged; the server then only
// copies the changed parts into the window, all of them in one request
// clipped to their rectangles (a frame of rain is a few hundred of them).
#include "platform/DisplayMode.h"
#include "platform/Surface.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace varnok::platform {

class XScaler {
  public:
    struct Hole {
        int X, Y, W, H;
    };

    // Null unless the window is an X11 window whose server offers shared
    // memory pictures and (when it is to scale) the rendering extension with
    // a matching format.
    static std::unique_ptr<XScaler> Create(void* sdlWindow, int width, int height, bool serverScales = true);
    ~XScaler();
    XScaler(const XScaler&) = delete;
    XScaler& operator=(const XScaler&) = delete;

    // The picture's rows: 32-bit pixels with red in bits 16-23, green in 8-15
    // and blue in 0-7, Pitch() pixels apart.
    uint32_t* Pixels() { return pixels_; }
    int Pitch() const { return pitch_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    bool ServerScales() const { return serverScales_; }

    // Shows picture rows first..last scaled into the window at the viewport,
    // below top, leaving out the holes (window rectangles other drawings
    // cover). Returns without waiting for the server; false when the rows
    // could not be sent.
    bool Show(int first, int last, const TViewport& viewport, int top, const std::vector<Hole>& holes);

    // Without the server's scaling: shows the parts (window rectangles) of
    // the picture, whose top left corner is at (x, y) of the window, below
    // top and outside the holes. Returns without waiting for the server;
    // false when they could not be sent.
    bool ShowParts(const std::vector<Rect>& parts, int x, int y, int top, const std::vector<Hole>& holes);

    // Waits until the server has read the rows last shown, so that they may
    // be written again; call before writing into Pixels().
    void WaitUntilRead();

    // Waits until the server has done everything it was sent, before the
    // window is drawn by other means that must land after it.
    void Finish();

    // What the window shows inside the rectangle (x, y, w, h), as 32-bit
    // pixels like the picture's; empty when it cannot be read.
    std::vector<uint32_t> Read(int x, int y, int w, int h) const;

  private:
    XScaler() = default;
    struct Server;
    std::unique_ptr<Server> server_;
    uint32_t* pixels_ = nullptr;
    int pitch_ = 0;
    int width_ = 0;
    int height_ = 0;
    int scale_ = 0;
    bool serverScales_ = true;
};

} // namespace varnok::platform
