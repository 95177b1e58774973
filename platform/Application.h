#pragma once
// The application object: starts the platform (SDL), owns the main window,
// pumps the platform's events into the game's handlers, keeps the keyboard
// state by virtual-key code and shows message boxes. In headless mode there
// is no window and no audio device, and the game behaves as if it had the
// keyboard focus. Without headless mode the game needs a display: a video
// driver that shows nothing (SDL's offscreen or dummy driver) is taken only
// when SDL_VIDEODRIVER names it.
#include "platform/GameController.h"

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace varnok::platform {

class Window;

// The media library's name and version as linked at run time: "SDL 2.26.5".
std::string MediaLibraryVersion();

enum class MouseButton { Left, Right, Middle };

// Side-specific modifier codes. The keyboard state below is the only input
// path, so it keeps these as well: input states assigned to Left or Right
// Shift and Ctrl then fire. Key events still carry the common Shift (16) and
// Ctrl (17) codes.
constexpr int VK_LSHIFT = 0xA0;
constexpr int VK_RSHIFT = 0xA1;
constexpr int VK_LCONTROL = 0xA2;
constexpr int VK_RCONTROL = 0xA3;

// The side-specific code of an SDL scancode of a Shift or Ctrl key; 0 for
// every other key.
int SideModifierFromSdl(int sdlScancode);

// Receives the events of the main window. Key codes are virtual-key codes;
// a handler may set the code to 0 to consume the key.
class EventSink {
public:
    virtual ~EventSink() = default;
    virtual void KeyDown(int& key, int shift) = 0;
    virtual void KeyUp(int& key, int shift) = 0;
    virtual void MouseDown(MouseButton button, int shift, int x, int y) {}
    virtual void Activate() {}
    virtual void Deactivate() {}
    // The user asked to close the window.
    virtual void CloseQuery() {}
    // Runs a menu or dialog command between ticks; the game runs it inside
    // its error guard.
    virtual void RunCommand(const std::function<void()>& command) { command(); }
};

// A message box as it was shown: caption and text.
struct ShownMessage {
    std::string Caption;
    std::string Text;
};

class Application {
public:
    // Starts SDL; headless selects SDL's dummy video and audio drivers.
    explicit Application(bool headless);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    bool Headless() const { return headless_; }
    // False when no display could be opened (then messages go to standard error).
    bool HasDisplay() const { return videoOk_ && !headless_; }
    // Why the game cannot start: "No display: ..." when it wants a window and
    // no video driver that shows one could start; empty otherwise.
    const std::string& StartError() const { return startError_; }

    void SetTitle(const std::string& title) { title_ = title; }
    const std::string& Title() const { return title_; }

    // The main window (created on request; none in headless mode).
    Window* CreateMainWindow(const std::string& caption, int width, int height);
    Window* MainWindow() const { return window_.get(); }

    // Handles every pending event and then the queued menu clicks.
    void ProcessMessages(EventSink& sink);
    // Sleeps until an event arrives or the time is up (used while no timer runs).
    void WaitMessage(int timeoutMs);

    // Delivers a key as if it had been typed (scripted input). Shift and Ctrl
    // count as the left-side keys in the keyboard state.
    void InjectKey(EventSink& sink, int key, bool down);
    // Binds keys of the keyboard to the keys the game sees (map[physical] =
    // game key, 0: switched off). Applies to the keyboard's own events and to
    // InjectPhysicalKey, before the key state and the handlers see them.
    void SetKeyBindings(const std::array<int, 256>& map);
    // Delivers a key of the keyboard through the bindings (scripted input).
    void InjectPhysicalKey(EventSink& sink, int physical, bool down);

    // Gives or takes the keyboard focus as if the window had gained or lost
    // it (demo playback); the sink hears of a change only.
    void InjectFocus(EventSink& sink, bool active);
    // While set, the window's own keys, clicks and focus changes are not
    // delivered (a demo plays and must not be disturbed); closing the window
    // and its menus still work.
    void SetRealInputIgnored(bool ignored) { realInputIgnored_ = ignored; }

    // Gamepads: from now on controllers are opened as they are plugged in
    // and their controls delivered as the keys map says (mappings of the
    // user's file first). Headless runs leave them alone unless asked.
    void EnableGameControllers(const std::string& userMappingFile);
    void SetPadKeyMap(PadKeyMap map);
    const GameControllers* Controllers() const { return controllers_.get(); }

    // Keyboard state by virtual-key code, as the events so far left it;
    // holds the side-specific Shift and Ctrl codes as well.
    bool KeyPressed(int key) const { return key > 0 && key < 256 && keys_[key]; }
    // Shift state bits (1 Shift, 2 Alt, 4 Ctrl) from the keyboard state.
    int ShiftState() const;
    void ClearKeys() { keys_.fill(false); }

    // The application is in front: its window has the keyboard focus. Without
    // a window (headless, or no display) it always counts as in front.
    bool Active() const { return active_; }

    // Ends the message loop; a non-zero code tells the shell that a fatal
    // error ended the program.
    void Terminate(int exitCode = 0) {
        terminated_ = true;
        if (exitCode != 0) exitCode_ = exitCode;
    }
    int ExitCode() const { return exitCode_; }
    bool Terminated() const { return terminated_; }

    // A modal message box, always printed on standard error as well. On a
    // display it is the system's box or, where that cannot be shown, the
    // game's own over the main window (or in a small window of its own
    // before the main window exists), closed by OK, Enter, Escape or the
    // window's close button. Headless, or on a driver that shows nothing, it
    // is recorded, printed and closed at once. The caption defaults to the
    // application title.
    void ShowMessage(const std::string& text, const std::string& caption = "");
    // Every message box shown so far, in order.
    const std::vector<ShownMessage>& MessageBoxes() const { return messages_; }
    // The system beep.
    void Beep();

private:
    void DeliverKey(EventSink& sink, int key, bool down);
    // The game's own message box; false when no window could show it.
    bool ShowOwnMessageBox(const std::string& caption, const std::string& text);
    // The game key a keyboard event stands for, 0 when none is to be
    // delivered (switched off, or released while another key bound to the
    // same game key is still held).
    int BoundKey(int physical, bool down);

    bool headless_;
    bool videoOk_ = false;
    // The video driver shows its windows to someone (not offscreen or dummy).
    bool visible_ = false;
    std::string startError_;
    bool active_ = true;
    bool terminated_ = false;
    bool realInputIgnored_ = false;
    int exitCode_ = 0;
    std::string title_;
    std::unique_ptr<Window> window_;
    std::unique_ptr<GameControllers> controllers_;
    PadKeyMap padKeyMap_;
    std::array<bool, 256> keys_{};
    std::array<int, 256> keyMap_{};
    std::array<bool, 256> physicalDown_{};
    std::vector<ShownMessage> messages_;
};

} // namespace varnok::platform
