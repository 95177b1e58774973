#pragma once
// The game's main window: a 640 x 480 game area with the menu bar drawn above
// it (window mode). Presenting uploads the display's back surface, draws the
// menus and shows the frame, waiting for the vertical blank; where the driver
// offers no vertical-blank wait, the window paces itself to the refresh rate.
#include "platform/MenuBar.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace varnok::platform {

class Surface;

class Window {
public:
    Window(const std::string& caption, int gameWidth, int gameHeight);
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

    // Platform internals: an SDL event for the menu code; whether the menus
    // take the mouse or the keyboard just now.
    void HandleEvent(const void* sdlEvent);
    bool MenusWantMouse() const;
    bool MenusWantKeyboard() const;
    uint32_t Id() const;
    void* NativeHandle() const { return window_; }

    // Converts a window position to a game-area position.
    void ToGameArea(int& x, int& y) const;

private:
    void DrawFrame(bool upload, const Surface* back);
    void DrawMenuBar();

    void* window_ = nullptr;   // SDL_Window*
    void* renderer_ = nullptr; // SDL_Renderer*
    void* texture_ = nullptr;  // SDL_Texture*
    void* imgui_ = nullptr;    // ImGuiContext*
    uint32_t textureFormat_ = 0;
    int gameWidth_;
    int gameHeight_;
    int menuHeight_ = 0;
    bool menuVisible_ = true;
    int refreshRate_ = 60;
    uint32_t lastPresent_ = 0;
    std::string caption_;
    MenuBar* menu_ = nullptr;
    std::vector<bool> wasOpen_;
    std::vector<std::function<void()>> pendingClicks_;
    std::function<void()> toolDrawer_;
};

} // namespace varnok::platform
