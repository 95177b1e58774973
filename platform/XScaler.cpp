#include "platform/XScaler.h"
#include "platform/Surface.h"

#include <algorithm>
#include <cstring>

#ifdef VARNOK_HAVE_XRENDER
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xrender.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#endif

namespace varnok::platform {

#ifdef VARNOK_HAVE_XRENDER

namespace {

bool g_serverRefused = false;

int RecordError(Display*, XErrorEvent*) {
    g_serverRefused = true;
    return 0;
}

// Runs requests with the server's errors caught (the usual handler would end
// the program); true when the server accepted them all.
template <class Requests> bool Accepted(Display* display, Requests&& requests) {
    XSync(display, False);
    g_serverRefused = false;
    XErrorHandler previous = XSetErrorHandler(RecordError);
    requests();
    XSync(display, False);
    XSetErrorHandler(previous);
    return !g_serverRefused;
}

// Whether the rectangles come in bands from the top, those of a band sharing
// their top and height, left to right without overlapping.
bool IsYXBanded(const std::vector<XRectangle>& rects) {
    for (size_t i = 1; i < rects.size(); ++i) {
        const XRectangle &a = rects[i - 1], &b = rects[i];
        if (b.y == a.y) {
            if (b.height != a.height || b.x < a.x + a.width) return false;
        } else if (b.y < a.y + a.height) {
            return false;
        }
    }
    return true;
}

} // namespace

struct XScaler::Server {
    // A connection of our own: the completion events the server sends once it
    // has read the shared rows come here, where SDL's event loop, which reads
    // every event on its own connection, cannot take them.
    Display* display = nullptr;
    Display* sdlDisplay = nullptr; // SDL's connection, which draws the menus
    ::Window window = 0;
    XShmSegmentInfo shm{};
    bool attached = false;
    XImage* image = nullptr;
    Pixmap pixmap = 0;
    GC gc = nullptr;
    Picture source = 0;
    Picture target = 0;
    int completion = 0; // the event type that says the server read the rows
    int unread = 0;     // puts of the shared rows whose completion has not come
    bool sent = false;  // requests sent since the server last answered
    bool sdlDrew = true; // SDL may have sent requests since the last rows
    // The clip rectangles of the parts, and the holes, used again frame
    // after frame.
    std::vector<XRectangle> allowed;
    std::vector<Rect> covered;

    ~Server() {
        if (display) {
            Accepted(display, [&] {
                if (source) XRenderFreePicture(display, source);
                if (target) XRenderFreePicture(display, target);
                if (gc) XFreeGC(display, gc);
                if (pixmap) XFreePixmap(display, pixmap);
                if (attached) XShmDetach(display, &shm);
            });
        }
        if (image) {
            image->data = nullptr; // the shared memory is not the image's to free
            XDestroyImage(image);
        }
        if (shm.shmaddr) shmdt(shm.shmaddr);
        if (display) XCloseDisplay(display);
    }
};

std::unique_ptr<XScaler> XScaler::Create(void* sdlWindow, int width, int height, bool serverScales) {
    if (width <= 0 || height <= 0) return nullptr;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(static_cast<SDL_Window*>(sdlWindow), &info) || info.subsystem != SDL_SYSWM_X11)
        return nullptr;
    const ::Window window = info.info.x11.window;
    std::unique_ptr<XScaler> scaler(new XScaler);
    scaler->serverScales_ = serverScales;
    scaler->server_ = std::make_unique<Server>();
    Server& x = *scaler->server_;
    x.sdlDisplay = info.info.x11.display;
    Display* display = x.display = XOpenDisplay(DisplayString(x.sdlDisplay));
    if (!display) return nullptr;
    int major = 0, minor = 0, event = 0, error = 0;
    Bool sharedPixmaps = False;
    if (!XShmQueryVersion(display, &major, &minor, &sharedPixmaps) ||
        (serverScales && !XRenderQueryExtension(display, &event, &error)))
        return nullptr;
    x.completion = XShmGetEventBase(display) + ShmCompletion;
    XWindowAttributes attributes;
    Status known = 0;
    if (!Accepted(display, [&] { known = XGetWindowAttributes(display, window, &attributes); }) || !known ||
        attributes.depth != 24)
        return nullptr;
    // The picture's own layout: 8 bits each of red, green and blue.
    XRenderPictFormat* format = nullptr;
    if (serverScales) {
        format = XRenderFindVisualFormat(display, attributes.visual);
        if (!format || format->type != PictTypeDirect || format->direct.red != 16 || format->direct.green != 8 ||
            format->direct.blue != 0 || format->direct.redMask != 0xFF || format->direct.greenMask != 0xFF ||
            format->direct.blueMask != 0xFF)
            return nullptr;
    } else if (attributes.visual->red_mask != 0xFF0000 || attributes.visual->green_mask != 0xFF00 ||
               attributes.visual->blue_mask != 0xFF) {
        return nullptr;
    }

    x.image = XShmCreateImage(display, attributes.visual, 24, ZPixmap, nullptr, &x.shm, width, height);
    if (!x.image || x.image->bits_per_pixel != 32 || x.image->bytes_per_line % 4 != 0) return nullptr;
    x.shm.shmid =
        shmget(IPC_PRIVATE, static_cast<size_t>(x.image->bytes_per_line) * height, IPC_CREAT | 0600);
    if (x.shm.shmid < 0) return nullptr;
    void* memory = shmat(x.shm.shmid, nullptr, 0);
    if (memory == reinterpret_cast<void*>(-1)) {
        shmctl(x.shm.shmid, IPC_RMID, nullptr);
        return nullptr;
    }
    x.shm.shmaddr = x.image->data = static_cast<char*>(memory);
    x.shm.readOnly = False;
    x.window = window;
    const bool accepted = Accepted(display, [&] {
        x.attached = XShmAttach(display, &x.shm);
        XGCValues values{};
        values.graphics_exposures = False;
        if (!serverScales) {
            // The rows go straight into the window.
            x.gc = XCreateGC(display, window, GCGraphicsExposures, &values);
            return;
        }
        x.pixmap =
            XCreatePixmap(display, window, static_cast<unsigned>(width), static_cast<unsigned>(height), 24);
        x.gc = XCreateGC(display, x.pixmap, GCGraphicsExposures, &values);
        x.source = XRenderCreatePicture(display, x.pixmap, format, 0, nullptr);
        x.target = XRenderCreatePicture(display, window, format, 0, nullptr);
        XRenderSetPictureFilter(display, x.source, const_cast<char*>(FilterNearest), nullptr, 0);
    });
    // The segment goes away once both sides have let go of it.
    shmctl(x.shm.shmid, IPC_RMID, nullptr);
    if (!accepted || !x.attached) return nullptr;
    std::memset(x.image->data, 0, static_cast<size_t>(x.image->bytes_per_line) * height);
    scaler->pixels_ = reinterpret_cast<uint32_t*>(x.image->data);
    scaler->pitch_ = x.image->bytes_per_line / 4;
    scaler->width_ = width;
    scaler->height_ = height;
    return scaler;
}

XScaler::~XScaler() = default;

bool XScaler::Show(int first, int last, const TViewport& v, int top, const std::vector<Hole>& holes) {
    Server& x = *server_;
    first = std::max(first, 0);
    last = std::min(last, height_ - 1);
    if (last < first || v.Scale < 1) return true;
    // Requests on two connections reach the server in no set order: what
    // SDL sent (a menu drawn, the window moved or resized) lands first.
    if (x.sdlDrew) XSync(x.sdlDisplay, False);
    x.sdlDrew = false;
    if (v.Scale != scale_) {
        // The server maps each window pixel back to the picture: x / k.
        const XFixed unit = XDoubleToFixed(1.0), part = XDoubleToFixed(1.0 / v.Scale);
        XTransform transform{{{part, 0, 0}, {0, part, 0}, {0, 0, unit}}};
        XRenderSetPictureTransform(x.display, x.source, &transform);
        scale_ = v.Scale;
    }
    // Where the rows may be drawn: the picture below the menu bar, less the
    // holes, as bands of rectangles.
    const int k = v.Scale;
    const int x0 = v.X, x1 = v.X + v.Width;
    const int y0 = std::max(v.Y + first * k, top), y1 = v.Y + (last + 1) * k;
    if (y1 <= y0) return true;
    std::vector<Rect> covered;
    for (const Hole& h : holes)
        covered.push_back(Bounds(h.X, h.Y, h.W, h.H));
    std::vector<XRectangle> allowed;
    for (const Rect& r : Uncovered({x0, y0, x1, y1}, covered))
        allowed.push_back({static_cast<short>(r.Left), static_cast<short>(r.Top),
                           static_cast<unsigned short>(r.Width()), static_cast<unsigned short>(r.Height())});
    if (allowed.empty()) return true;
    XRenderSetPictureClipRectangles(x.display, x.target, 0, 0, allowed.data(),
                                    static_cast<int>(allowed.size()));
    // The server copies the rows into its pixmap and says so with a
    // completion event; the rows may not be written again before that.
    if (!XShmPutImage(x.display, x.pixmap, x.gc, x.image, 0, first, 0, first, static_cast<unsigned>(width_),
                      static_cast<unsigned>(last - first + 1), True))
        return false;
    ++x.unread;
    XRenderComposite(x.display, PictOpSrc, x.source, None, x.target, 0, first * k, 0, 0, v.X, v.Y + first * k,
                     static_cast<unsigned>(v.Width), static_cast<unsigned>((last - first + 1) * k));
    XFlush(x.display);
    x.sent = true;
    return true;
}

bool XScaler::ShowParts(const std::vector<Rect>& parts, int left, int top0, int top,
                        const std::vector<Hole>& holes) {
    Server& x = *server_;
    if (serverScales_) return false;
    // The window rectangles that may be drawn: the parts inside the picture
    // and below the menu bar, less the holes.
    const Rect picture{std::max(left, 0), std::max(top0, top), left + width_, top0 + height_};
    std::vector<Rect>& covered = x.covered;
    covered.clear();
    for (const Hole& h : holes)
        covered.push_back(Bounds(h.X, h.Y, h.W, h.H));
    std::vector<XRectangle>& allowed = x.allowed;
    allowed.clear();
    Rect box{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    auto allow = [&](const Rect& r) {
        allowed.push_back({static_cast<short>(r.Left), static_cast<short>(r.Top),
                           static_cast<unsigned short>(r.Width()), static_cast<unsigned short>(r.Height())});
        box = {std::min(box.Left, r.Left), std::min(box.Top, r.Top), std::max(box.Right, r.Right),
               std::max(box.Bottom, r.Bottom)};
    };
    for (const Rect& part : parts) {
        const Rect r{std::max(part.Left, picture.Left), std::max(part.Top, picture.Top),
                     std::min(part.Right, picture.Right), std::min(part.Bottom, picture.Bottom)};
        if (r.Right <= r.Left || r.Bottom <= r.Top) continue;
        // Most parts lie clear of every hole (a tool window covers a corner).
        const bool clear = std::none_of(covered.begin(), covered.end(), [&](const Rect& c) {
            return c.Left < r.Right && r.Left < c.Right && c.Top < r.Bottom && r.Top < c.Bottom;
        });
        if (clear) {
            allow(r);
            continue;
        }
        for (const Rect& u : Uncovered(r, covered))
            allow(u);
    }
    if (allowed.empty()) return true;
    // Requests on two connections reach the server in no set order: what
    // SDL sent (a menu drawn, the window moved or resized) lands first.
    if (x.sdlDrew) XSync(x.sdlDisplay, False);
    x.sdlDrew = false;
    // Parts given band by band from the top, left to right (as changes are
    // gathered), are in the order the server keeps its regions in, which
    // spares it sorting them; the server refuses a list that claims an order
    // it does not have.
    XSetClipRectangles(x.display, x.gc, 0, 0, allowed.data(), static_cast<int>(allowed.size()),
                       IsYXBanded(allowed) ? YXBanded : Unsorted);
    // One copy of the rectangle around them all, clipped to the parts. The
    // server says with a completion event when it has read the rows.
    if (!XShmPutImage(x.display, x.window, x.gc, x.image, box.Left - left, box.Top - top0, box.Left, box.Top,
                      static_cast<unsigned>(box.Width()), static_cast<unsigned>(box.Height()), True))
        return false;
    ++x.unread;
    XFlush(x.display);
    x.sent = true;
    return true;
}

void XScaler::WaitUntilRead() {
    Server& x = *server_;
    XEvent event;
    // Usually the events came long ago (a frame's time has passed): taking
    // them needs no round trip. A server that is behind holds the game here,
    // so that it never runs more than one frame ahead of what is shown.
    while (x.unread > 0 && XCheckTypedEvent(x.display, x.completion, &event)) --x.unread;
    while (x.unread > 0) {
        XIfEvent(
            x.display, &event,
            [](Display*, XEvent* e, XPointer type) -> Bool { return e->type == *reinterpret_cast<int*>(type); },
            reinterpret_cast<XPointer>(&x.completion));
        --x.unread;
    }
}

void XScaler::Finish() {
    Server& x = *server_;
    WaitUntilRead();
    if (x.sent) XSync(x.display, False);
    x.sent = false;
    x.sdlDrew = true;
}

std::vector<uint32_t> XScaler::Read(int x, int y, int w, int h) const {
    std::vector<uint32_t> pixels;
    if (w <= 0 || h <= 0) return pixels;
    const Server& s = *server_;
    // SDL's requests (a new size or place of the window) are done first.
    XSync(s.sdlDisplay, False);
    // Only what lies inside the window as the server has it now (a new size
    // may still be on its way); the rest reads as black.
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(s.display, s.window, &attributes)) return pixels;
    const int rw = std::min(x + w, attributes.width) - x, rh = std::min(y + h, attributes.height) - y;
    pixels.assign(static_cast<size_t>(w) * h, 0);
    if (x < 0 || y < 0 || rw <= 0 || rh <= 0) return pixels;
    XImage* shown = nullptr;
    Accepted(s.display, [&] {
        shown = XGetImage(s.display, s.window, x, y, static_cast<unsigned>(rw), static_cast<unsigned>(rh),
                          AllPlanes, ZPixmap);
    });
    if (!shown || shown->bits_per_pixel != 32) {
        if (shown) XDestroyImage(shown);
        return {};
    }
    for (int row = 0; row < rh; ++row)
        for (int col = 0; col < rw; ++col)
            pixels[static_cast<size_t>(row) * w + col] =
                reinterpret_cast<const uint32_t*>(shown->data +
                                                  static_cast<ptrdiff_t>(row) * shown->bytes_per_line)[col] &
                0xFFFFFF;
    XDestroyImage(shown);
    return pixels;
}

#else

// Built without the X libraries: the window's framebuffer is scaled in the game.
struct XScaler::Server {};

std::unique_ptr<XScaler> XScaler::Create(void*, int, int, bool) {
    return nullptr;
}

XScaler::~XScaler() = default;

bool XScaler::Show(int, int, const TViewport&, int, const std::vector<Hole>&) {
    return false;
}

bool XScaler::ShowParts(const std::vector<Rect>&, int, int, int, const std::vector<Hole>&) {
    return false;
}

void XScaler::WaitUntilRead() {}

void XScaler::Finish() {}

std::vector<uint32_t> XScaler::Read(int, int, int, int) const {
    return {};
}

#endif

} // namespace varnok::platform
