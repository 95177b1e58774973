#include "platform/Application.h"

#include "common/StrUtils.h"
#include "platform/Keys.h"
#include "platform/Window.h"

#include <SDL.h>
#include <cstdio>
#include <cstdlib>

namespace varnok::platform {

Application::Application(bool headless) : headless_(headless) {
    for (int i = 0; i < 256; ++i) keyMap_[static_cast<size_t>(i)] = i;
    if (headless_) {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
    }
    videoOk_ = SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER | SDL_INIT_EVENTS) == 0;
    if (!videoOk_) {
        std::fprintf(stderr, "No display: %s\n", SDL_GetError());
        SDL_Init(SDL_INIT_TIMER);
    }
}

Application::~Application() {
    controllers_.reset();
    window_.reset();
    SDL_Quit();
}

Window* Application::CreateMainWindow(const std::string& caption, int width, int height) {
    if (!HasDisplay()) return nullptr;
    window_ = std::make_unique<Window>(caption, width, height);
    // The window may or may not have the focus from the start; the first
    // focus event then finds the application inactive and activates it.
    auto* native = static_cast<SDL_Window*>(window_->NativeHandle());
    active_ = native && (SDL_GetWindowFlags(native) & SDL_WINDOW_INPUT_FOCUS) != 0;
    return window_.get();
}

std::string MediaLibraryVersion() {
    SDL_version v;
    SDL_GetVersion(&v);
    return "SDL " + std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.patch);
}

int SideModifierFromSdl(int sdlScancode) {
    switch (sdlScancode) {
    case SDL_SCANCODE_LSHIFT: return VK_LSHIFT;
    case SDL_SCANCODE_RSHIFT: return VK_RSHIFT;
    case SDL_SCANCODE_LCTRL: return VK_LCONTROL;
    case SDL_SCANCODE_RCTRL: return VK_RCONTROL;
    default: return 0;
    }
}

int Application::ShiftState() const {
    int shift = 0;
    if (keys_[VK_SHIFT]) shift |= ssShift;
    if (keys_[VK_MENU]) shift |= ssAlt;
    if (keys_[VK_CONTROL]) shift |= ssCtrl;
    return shift;
}

void Application::DeliverKey(EventSink& sink, int key, bool down) {
    if (key <= 0 || key >= 256) return;
    keys_[key] = down;
    int code = key;
    if (down)
        sink.KeyDown(code, ShiftState());
    else
        sink.KeyUp(code, ShiftState());
}

void Application::InjectKey(EventSink& sink, int key, bool down) {
    // A script names only the common code; it stands for the left-side key.
    if (key == VK_SHIFT) keys_[VK_LSHIFT] = down;
    if (key == VK_CONTROL) keys_[VK_LCONTROL] = down;
    DeliverKey(sink, key, down);
}

void Application::SetKeyBindings(const std::array<int, 256>& map) {
    keyMap_ = map;
    physicalDown_.fill(false);
}

int Application::BoundKey(int physical, bool down) {
    if (physical <= 0 || physical >= 256) return physical;
    physicalDown_[static_cast<size_t>(physical)] = down;
    const int game = keyMap_[static_cast<size_t>(physical)];
    if (game <= 0 || game >= 256) return 0;
    if (!down)
        for (int p = 1; p < 256; ++p)
            if (physicalDown_[static_cast<size_t>(p)] && keyMap_[static_cast<size_t>(p)] == game) return 0;
    return game;
}

void Application::InjectPhysicalKey(EventSink& sink, int physical, bool down) {
    if (const int key = BoundKey(physical, down)) InjectKey(sink, key, down);
}

void Application::InjectFocus(EventSink& sink, bool active) {
    if (active == active_) return;
    active_ = active;
    if (active) {
        sink.Activate();
    } else {
        keys_.fill(false);
        physicalDown_.fill(false);
        sink.Deactivate();
    }
}

void Application::EnableGameControllers(const std::string& userMappingFile) {
    if (controllers_) return;
    controllers_ = std::make_unique<GameControllers>(userMappingFile);
    controllers_->KeyMap = padKeyMap_;
}

void Application::SetPadKeyMap(PadKeyMap map) {
    padKeyMap_ = std::move(map);
    if (controllers_) controllers_->KeyMap = padKeyMap_;
}

namespace {
bool IsUserInput(const SDL_Event& e) {
    switch (e.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
    case SDL_CONTROLLERBUTTONDOWN:
    case SDL_CONTROLLERBUTTONUP:
    case SDL_CONTROLLERAXISMOTION:
    case SDL_MOUSEBUTTONDOWN: return true;
    case SDL_WINDOWEVENT:
        return e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED || e.window.event == SDL_WINDOWEVENT_FOCUS_LOST;
    default: return false;
    }
}
} // namespace

void Application::ProcessMessages(EventSink& sink) {
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        if (window_) window_->HandleEvent(&e);
        if (realInputIgnored_ && IsUserInput(e)) continue;
        if (controllers_ &&
            controllers_->HandleEvent(e, [&](int key, bool down) { InjectKey(sink, key, down); }))
            continue;
        switch (e.type) {
        case SDL_QUIT: sink.CloseQuery(); break;
        case SDL_WINDOWEVENT:
            if (headless_) break;
            if (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED && !active_) {
                active_ = true;
                sink.Activate();
            } else if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST && active_) {
                active_ = false;
                // Keys released while another application has the focus never
                // report their release here.
                keys_.fill(false);
                physicalDown_.fill(false);
                if (controllers_) controllers_->ReleaseAll([](int, bool) {});
                sink.Deactivate();
            } else if (e.window.event == SDL_WINDOWEVENT_EXPOSED && window_) {
                window_->Refresh();
            }
            break;
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            const bool down = e.type == SDL_KEYDOWN;
            // While a menu or tool window takes the keyboard the game hears
            // no keys, except the release of a key it heard go down: that key
            // would otherwise stay down for the game (a held Ctrl jumping on).
            const bool menus = window_ && window_->MenusWantKeyboard();
            if (menus && down) break;
            // The side of Shift and Ctrl is kept in the key state only: the
            // game's key events keep the common codes.
            if (const int side = SideModifierFromSdl(e.key.keysym.scancode)) keys_[side] = down;
            const int key = BoundKey(VirtualKeyFromSdl(e.key.keysym.sym, e.key.keysym.scancode), down);
            if (menus && (key <= 0 || key >= 256 || !keys_[static_cast<size_t>(key)])) break;
            DeliverKey(sink, key, down);
            break;
        }
        case SDL_MOUSEBUTTONDOWN: {
            if (window_ && window_->MenusWantMouse()) break;
            int x = e.button.x, y = e.button.y;
            // Positions count in the picture's pixels, whatever its scale;
            // clicks on the black around it are not the game's.
            if (window_ && !window_->ToGameArea(x, y)) break;
            MouseButton b = e.button.button == SDL_BUTTON_RIGHT    ? MouseButton::Right
                            : e.button.button == SDL_BUTTON_MIDDLE ? MouseButton::Middle
                                                                   : MouseButton::Left;
            sink.MouseDown(b, ShiftState(), x, y);
            break;
        }
        default: break;
        }
    }
    if (window_) {
        for (auto& click : window_->TakePendingClicks()) sink.RunCommand(click);
    }
}

void Application::WaitMessage(int timeoutMs) {
    if (headless_) return;
    SDL_WaitEventTimeout(nullptr, timeoutMs);
    // Menus stay responsive while the game does not present frames.
    if (window_ && window_->SinceLastPresent() > 50) window_->Refresh();
}

void Application::ShowMessage(const std::string& text, const std::string& caption) {
    const std::string title = caption.empty() ? title_ : caption;
    messages_.push_back({title, text});
    if (HasDisplay()) {
        SDL_Window* parent = window_ ? static_cast<SDL_Window*>(window_->NativeHandle()) : nullptr;
        if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION, Latin1ToUtf8(title).c_str(),
                                     Latin1ToUtf8(text).c_str(), parent) == 0) {
            ClearKeys();
            return;
        }
    }
    std::fprintf(stderr, "%s: %s\n", Latin1ToUtf8(title).c_str(), Latin1ToUtf8(text).c_str());
    std::fflush(stderr);
}

void Application::Beep() {
    if (!headless_) std::fputc('\a', stderr);
}

} // namespace varnok::platform
