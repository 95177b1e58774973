#pragma once
// The game's main window. In window mode the menu bar runs along the top and
// the game's picture fills the rest, scaled by the largest whole factor that
// fits and centred on black; the window can be resized and maximised. Full
// screen keeps the desktop's own mode and shows the picture the same way,
// without menu bar and (on request) without mouse cursor.
//
// Presenting: where SDL's renderer would draw with a software rasteriser, the
// picture is converted straight into the window's framebuffer, only the rows
// that changed since the last frame, and nothing is sent when nothing
// changed; otherwise a streaming texture is uploaded once per frame. Without
// a vertical-blank wait the window sleeps until the next refresh. A video
// driver without a framebuffer of its own (Wayland) gets one that SDL keeps
// for it, and the menus are drawn into it in software; where neither can be
// had, any renderer SDL can make shows the frames. Nothing at all to draw
// with raises an exception from the constructor.
#include "common/Image.h"
#include "platform/DisplayMode.h"
#include "platform/XScaler.h"
#include "platform/MenuBar.h"
#include "platform/PixelRows.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace varnok::platform {

class Surface;

class Window {
  public:
    // scale 0: the largest comfortable whole factor for the desktop.
    Window(const std::string& caption, int gameWidth, int gameHeight, int scale = 0);
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Latin-1 caption text.
    void SetCaption(const std::string& caption);
    const std::string& Caption() const { return caption_; }

    // The menu bar to draw (owned by the caller), or nullptr for none.
    void SetMenuBar(MenuBar* menu) { menu_ = menu; }
    void SetMenuVisible(bool visible);
    bool MenuVisible() const { return menuVisible_; }

    // Full screen on the desktop's own mode, or back to the window as it was.
    void SetFullScreen(bool fullScreen);
    bool FullScreen() const { return fullScreen_; }
    void SetCursorVisible(bool visible);

    // The desktop, its usable part and the display's modes.
    TScreenInfo Screen() const;
    // Where the picture is shown now, in window pixels (below the menu bar).
    TViewport Viewport() const;
    int Scale() const { return Viewport().Scale; }
    // Top of the game area inside the window (the menu bar's height, or 0).
    int GameTop() const;

    void Present(const Surface& back);
    // Shows the last frame again with fresh menus, when no tick presents.
    void Refresh();
    // Milliseconds since the last present.
    uint32_t SinceLastPresent() const;

    // Menu clicks made while presenting, to be run between ticks.
    std::vector<std::function<void()>> TakePendingClicks();
    // Queues a command of a tool window or dialog, to be run between ticks.
    void Post(std::function<void()> command) { pendingClicks_.push_back(std::move(command)); }
    // Draws the tool windows and dialogs (with the menu code) into every frame.
    void SetToolDrawer(std::function<void()> drawer) { toolDrawer_ = std::move(drawer); }
    const std::function<void()>& ToolDrawer() const { return toolDrawer_; }
    // The menus and tool windows are drawn anew in the next frames, whether
    // or not an input event asked for it (a box that must appear at once).
    void RedrawMenus() { menuFrames_ = std::max(menuFrames_, 2); }

    // Platform internals: an SDL event for the menu code; whether the menus
    // take the mouse or the keyboard just now.
    void HandleEvent(const void* sdlEvent);
    bool MenusWantMouse() const;
    bool MenusWantKeyboard() const;
    uint32_t Id() const;
    void* NativeHandle() const { return window_; }

    // Converts a window position to a pixel of the game's picture; false when
    // the position lies outside the picture.
    bool ToGameArea(int& x, int& y) const;

    // What the window shows now (software path only; empty otherwise), and a
    // new size for its inside (menu bar included).
    RgbaImage Capture() const;
    void SetClientSize(int width, int height);

    // The present path in use: true when frames go straight into the
    // window's framebuffer in software.
    bool SoftwarePresent() const { return software_; }
    // Whether the display server scales the picture (software path on X).
    bool ServerScales() const { return serverScaler_ && serverScaler_->ServerScales(); }
    // Whether the game writes the enlarged picture into memory it shares
    // with the display server, which copies the changed parts into the
    // window (software path on X, the default there).
    bool SharesPicture() const { return serverScaler_ && !serverScaler_->ServerScales(); }

  private:
    void CreatePresenter();
    bool CreateSoftwarePresenter();
    void DestroyPresenter();
    // The size of what the picture and menus are drawn into, in pixels.
    void OutputSize(int& w, int& h) const;
    // A renderer on the window's surface follows the surface when it is
    // made anew (after a change of size).
    void FollowSurface(void* surface);
    bool RunMenus();
    void PresentSoftware(const Surface* back);
    void PresentAccelerated(const Surface* back);
    // Converts picture rows first..last of frame (SDL surfaces) into the
    // window's surface through SDL, scaled and cut to the game area.
    void ConvertRows(void* frame, void* target, const TViewport& v, int first, int last);
    void Pace(bool waitedForVBlank);

    void* window_ = nullptr;   // SDL_Window*
    void* renderer_ = nullptr; // SDL_Renderer*: the texture path, or the menus' drawing in software
    // The surface renderer_ draws into, when it was made on the window's
    // surface rather than for the window (the surface belongs to SDL).
    void* menuSurface_ = nullptr;
    int menuSurfaceW_ = 0;
    int menuSurfaceH_ = 0;
    bool menuRendererUp_ = false; // the menu code has its renderer
    void* texture_ = nullptr;  // SDL_Texture*
    void* imgui_ = nullptr;    // ImGuiContext*
    uint32_t textureFormat_ = 0;
    void* converted_ = nullptr; // SDL_Surface*: an 8-bit frame in a texture format
    bool software_ = false;
    bool vsync_ = false;

    // The software path: the last frame shown, and what must be drawn again.
    void* frame_ = nullptr;   // SDL_Surface* in the back surface's format
    // The picture shared with the display server, where it has one (scaled
    // by the server, or enlarged by the game and copied in parts): frames
    // that need no new drawing of the menus go that way. Either way's
    // picture may lag behind the other's, and is then written whole the next
    // time.
    std::unique_ptr<XScaler> serverScaler_;
    bool sharePicture_ = false; // make the game-enlarged shared picture when the window is X11
    bool serverStale_ = true;
    bool surfaceStale_ = false;
    void* scratch_ = nullptr; // SDL_Surface*: the frame in the window's format, before scaling
    // The parts of the picture converted this frame, which alone are sent,
    // as the picture's and the window's rectangles.
    std::unique_ptr<ChangedAreas> changed_;
    std::vector<Rect> pictureRects_, windowRects_;
    // The back surface and its count of writes when its rows were last
    // compared: an unwritten surface needs no comparing.
    uint64_t comparedSerial_ = 0;
    uint64_t comparedWrites_ = 0;
    // A row's parts outside the menus and tool windows (picture columns).
    std::vector<std::pair<int, int>> spans_, keptSpans_;
    void* shownSurface_ = nullptr;
    TViewport shownViewport_{};
    bool redrawAll_ = true;
    int menuFrames_ = 2;    // ImGui frames still to run
    bool menuOpen_ = false; // a menu was open, or the mouse over the bar, in the last ImGui frame
    int quietFrames_ = 0;   // frames since the last ImGui frame
    // What the menus and tool windows cover of the picture (window pixels),
    // the fingerprint of their drawing and that of the drawing shown.
    using OverlayRect = XScaler::Hole;
    std::vector<OverlayRect> overlayRects_;
    bool overlayVisible_ = false;
    uint64_t overlayHash_ = 0;
    uint64_t shownOverlayHash_ = 0;
    uint64_t menuSignature_ = 0;

    int gameWidth_;
    int gameHeight_;
    int menuHeight_ = 0;
    bool menuVisible_ = true;
    bool fullScreen_ = false;
    int refreshRate_ = 60;
    uint64_t nextFrame_ = 0; // performance-counter time the next frame is due
    int fastFrames_ = 0;     // frames in a row that came back before their vertical blank
    uint32_t lastPresent_ = 0;
    std::string caption_;
    MenuBar* menu_ = nullptr;
    std::vector<bool> wasOpen_;
    std::vector<std::function<void()>> pendingClicks_;
    std::function<void()> toolDrawer_;
};

} // namespace varnok::platform
