#include "platform/Application.h"

#include "common/StrUtils.h"
#include "platform/Keys.h"
#include "platform/Window.h"

#include <SDL.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <imgui.h>
#include <strings.h>
#include <utility>

namespace varnok::platform {

namespace {
// SDL's drivers whose windows nobody sees.
bool ShowsNothing(const char* driver) {
    return driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
}

// Whether SDL_VIDEODRIVER names the driver (it may list several, with commas).
bool NamedBySdlVideoDriver(const char* driver) {
    const char* wanted = std::getenv("SDL_VIDEODRIVER");
    if (!wanted || !driver) return false;
    const std::string list = wanted;
    size_t from = 0;
    while (from <= list.size()) {
        size_t to = list.find(',', from);
        if (to == std::string::npos) to = list.size();
        if (strcasecmp(list.substr(from, to - from).c_str(), driver) == 0) return true;
        from = to + 1;
    }
    return false;
}

std::string DisplayVariables() {
    auto one = [](const char* name) {
        const char* v = std::getenv(name);
        return v && *v ? std::string(name) + "=" + v : std::string(name) + " is not set";
    };
    return one("DISPLAY") + ", " + one("WAYLAND_DISPLAY");
}
} // namespace

Application::Application(bool headless) : headless_(headless) {
    for (int i = 0; i < 256; ++i) keyMap_[static_cast<size_t>(i)] = i;
    if (headless_) {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
    }
    videoOk_ = SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER | SDL_INIT_EVENTS) == 0;
    if (!videoOk_ && headless_) {
        SDL_Init(SDL_INIT_TIMER);
        return;
    }
    if (!videoOk_) {
        // A game that wants a window and cannot have one does not run on
        // unseen: it says why and ends.
        const char* named = std::getenv("SDL_VIDEODRIVER");
        startError_ = named && *named ? std::string("No display: the video driver \"") + named +
                                            "\" that SDL_VIDEODRIVER names cannot start: " + SDL_GetError() +
                                            " (" + DisplayVariables() + ")."
                                      : std::string("No display: no video driver can start: ") +
                                            SDL_GetError() + " (" + DisplayVariables() + ").";
        SDL_Init(SDL_INIT_TIMER);
        return;
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    visible_ = !ShowsNothing(driver);
    if (!headless_ && !visible_ && !NamedBySdlVideoDriver(driver)) {
        // SDL falls back on a driver that shows nothing when neither X11 nor
        // Wayland can be reached.
        startError_ = "No display: neither DISPLAY nor WAYLAND_DISPLAY leads to one (" + DisplayVariables() +
                      "), and SDL's " + driver +
                      " driver would show nothing. Start the game on a desktop, or with --headless to run it "
                      "without a window.";
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        videoOk_ = false;
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
    std::fprintf(stderr, "%s: %s\n", Latin1ToUtf8(title).c_str(), Latin1ToUtf8(text).c_str());
    std::fflush(stderr);
    if (!HasDisplay() || !visible_) return;
    SDL_Window* parent = window_ ? static_cast<SDL_Window*>(window_->NativeHandle()) : nullptr;
    if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION, Latin1ToUtf8(title).c_str(),
                                 Latin1ToUtf8(text).c_str(), parent) == 0 ||
        ShowOwnMessageBox(title, text))
        ClearKeys();
}

namespace {
// The box's window when there is no main window yet, in pixels.
constexpr int kBoxWindowWidth = 480;
constexpr int kBoxWindowHeight = 160;

// The game's own message box: caption, text and an OK button, drawn over
// everything else of the window (tool windows and dialogs included, whose
// state it leaves alone), with the mouse as the box's loop saw it.
struct OwnBox {
    std::string Caption, Text; // UTF-8
    float MouseX = -1, MouseY = -1;
    bool Pressed = false; // the left button went down on OK
    // Where OK and the box are, as last drawn.
    ImVec2 ButtonMin, ButtonMax;
    float Height = 0;

    bool OverButton() const {
        return MouseX >= ButtonMin.x && MouseX < ButtonMax.x && MouseY >= ButtonMin.y && MouseY < ButtonMax.y;
    }

    void Draw() {
        ImDrawList* draw = ImGui::GetForegroundDrawList();
        const ImGuiStyle& style = ImGui::GetStyle();
        const ImGuiViewport* view = ImGui::GetMainViewport();
        const ImVec2 end(view->Pos.x + view->Size.x, view->Pos.y + view->Size.y);
        draw->AddRectFilled(view->Pos, end, ImGui::GetColorU32(ImGuiCol_ModalWindowDimBg));
        const float pad = style.WindowPadding.x, frame = ImGui::GetFrameHeight(), buttonWidth = 80.0f;
        const float wrap = std::clamp(view->Size.x - 4 * pad, 120.0f, 440.0f);
        const ImVec2 text = ImGui::CalcTextSize(Text.c_str(), nullptr, false, wrap);
        const float captionWidth = ImGui::CalcTextSize(Caption.c_str()).x + 2 * style.FramePadding.x;
        const float width =
            std::min(std::max({text.x + 2 * pad, captionWidth, buttonWidth + 2 * pad}), view->Size.x);
        Height = frame + pad + text.y + 2 * style.ItemSpacing.y + frame + pad;
        const ImVec2 p0(std::floor(view->Pos.x + (view->Size.x - width) / 2),
                        std::floor(std::max(view->Pos.y, view->Pos.y + (view->Size.y - Height) / 2)));
        const ImVec2 p1(p0.x + width, p0.y + Height);
        draw->PushClipRect(p0, p1, true);
        draw->AddRectFilled(p0, p1, ImGui::GetColorU32(ImGuiCol_PopupBg));
        draw->AddRectFilled(p0, ImVec2(p1.x, p0.y + frame), ImGui::GetColorU32(ImGuiCol_TitleBgActive));
        draw->AddText(ImVec2(p0.x + style.FramePadding.x, p0.y + style.FramePadding.y),
                      ImGui::GetColorU32(ImGuiCol_Text), Caption.c_str());
        draw->AddText(ImGui::GetFont(), ImGui::GetFontSize(), ImVec2(p0.x + pad, p0.y + frame + pad),
                      ImGui::GetColorU32(ImGuiCol_Text), Text.c_str(), nullptr, wrap);
        ButtonMin = ImVec2(std::floor(p0.x + (width - buttonWidth) / 2), p1.y - pad - frame);
        ButtonMax = ImVec2(ButtonMin.x + buttonWidth, ButtonMin.y + frame);
        const ImGuiCol look =
            OverButton() ? (Pressed ? ImGuiCol_ButtonActive : ImGuiCol_ButtonHovered) : ImGuiCol_Button;
        draw->AddRectFilled(ButtonMin, ButtonMax, ImGui::GetColorU32(look), style.FrameRounding);
        const ImVec2 ok = ImGui::CalcTextSize("OK");
        draw->AddText(
            ImVec2(std::floor(ButtonMin.x + (buttonWidth - ok.x) / 2), ButtonMin.y + style.FramePadding.y),
            ImGui::GetColorU32(ImGuiCol_Text), "OK");
        draw->AddRect(p0, p1, ImGui::GetColorU32(ImGuiCol_Border));
        draw->PopClipRect();
    }
};
} // namespace

bool Application::ShowOwnMessageBox(const std::string& caption, const std::string& text) {
    Window* window = window_.get();
    std::unique_ptr<Window> own;
    if (!window) {
        try {
            own = std::make_unique<Window>(caption, kBoxWindowWidth, kBoxWindowHeight, 1);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "The message cannot be shown in a window: %s\n", e.what());
            return false;
        }
        own->SetMenuVisible(false);
        window = own.get();
    }
    OwnBox box;
    box.Caption = Latin1ToUtf8(caption);
    box.Text = Latin1ToUtf8(text);
    const std::function<void()> previous = window->ToolDrawer();
    window->SetToolDrawer([&] {
        if (previous) previous();
        box.Draw();
    });
    // Focus changes of the main window, and its quitting, belong to the
    // game: they are handed back when the box is gone. Everything else
    // (keys, clicks) is the box's while it shows.
    std::vector<SDL_Event> forGame;
    bool closed = false, shown = true;
    try {
        // No time limit: the box stays until it is answered, or its window closed.
        while (!closed) {
            SDL_Event e;
            if (SDL_WaitEventTimeout(&e, 100)) {
                do {
                    switch (e.type) {
                    case SDL_QUIT:
                        closed = true;
                        if (!own) forGame.push_back(e);
                        break;
                    case SDL_WINDOWEVENT:
                        window->HandleEvent(&e);
                        if (e.window.event == SDL_WINDOWEVENT_CLOSE) closed = true;
                        if (!own && (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED ||
                                     e.window.event == SDL_WINDOWEVENT_FOCUS_LOST))
                            forGame.push_back(e);
                        break;
                    case SDL_KEYDOWN:
                        if (!e.key.repeat &&
                            (e.key.keysym.sym == SDLK_RETURN || e.key.keysym.sym == SDLK_KP_ENTER ||
                             e.key.keysym.sym == SDLK_ESCAPE || e.key.keysym.sym == SDLK_SPACE))
                            closed = true;
                        break;
                    case SDL_MOUSEMOTION:
                        box.MouseX = static_cast<float>(e.motion.x);
                        box.MouseY = static_cast<float>(e.motion.y);
                        break;
                    case SDL_MOUSEBUTTONDOWN:
                    case SDL_MOUSEBUTTONUP:
                        if (e.button.button != SDL_BUTTON_LEFT) break;
                        box.MouseX = static_cast<float>(e.button.x);
                        box.MouseY = static_cast<float>(e.button.y);
                        if (e.type == SDL_MOUSEBUTTONDOWN)
                            box.Pressed = box.OverButton();
                        else if (std::exchange(box.Pressed, false) && box.OverButton())
                            closed = true;
                        break;
                    default:
                        break;
                    }
                    // What follows the closing (the main window's quit) stays for the game.
                } while (!closed && SDL_PollEvent(&e));
            }
            if (closed) break;
            window->RedrawMenus();
            window->Refresh();
            // A long text: the small window grows to hold the box.
            if (own) {
                int w = 0, h = 0;
                SDL_GetWindowSize(static_cast<SDL_Window*>(own->NativeHandle()), &w, &h);
                if (box.Height + 24 > static_cast<float>(h))
                    own->SetClientSize(w, static_cast<int>(box.Height) + 24);
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "The message cannot be shown in a window: %s\n", e.what());
        shown = false;
    }
    window->SetToolDrawer(previous);
    window->RedrawMenus();
    if (!own) {
        try {
            window->Refresh();
        } catch (const std::exception&) {
            // The next frame tries again.
        }
    }
    for (SDL_Event& e : forGame)
        SDL_PushEvent(&e);
    return shown;
}

void Application::Beep() {
    if (!headless_) std::fputc('\a', stderr);
}

} // namespace varnok::platform
