#include "platform/Window.h"

#include "common/Exception.h"
#include "common/StrUtils.h"
#include "platform/Surface.h"

#include <SDL.h>
#include <imgui.h>
#include <imgui_impl_sdl.h>
#include <imgui_impl_sdlrenderer.h>

namespace varnok::platform {

namespace {
SDL_Window* W(void* p) { return static_cast<SDL_Window*>(p); }
SDL_Renderer* R(void* p) { return static_cast<SDL_Renderer*>(p); }
SDL_Texture* T(void* p) { return static_cast<SDL_Texture*>(p); }
ImGuiContext* C(void* p) { return static_cast<ImGuiContext*>(p); }

// ImGui's built-in font is 13 pixels; a menu bar is one frame high.
constexpr float kMenuFontSize = 13.0f;
} // namespace

Window::Window(const std::string& caption, int gameWidth, int gameHeight)
    : gameWidth_(gameWidth), gameHeight_(gameHeight), caption_(caption) {
    imgui_ = ImGui::CreateContext();
    ImGui::SetCurrentContext(C(imgui_));
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;
    io.LogFilename = nullptr;
    ImGui::StyleColorsLight();
    menuHeight_ = static_cast<int>(kMenuFontSize + ImGui::GetStyle().FramePadding.y * 2);

    window_ = SDL_CreateWindow(Latin1ToUtf8(caption).c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                               gameWidth, gameHeight + menuHeight_, SDL_WINDOW_SHOWN);
    if (!window_) throw Exception(std::string("Window cannot be created: ") + SDL_GetError());
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    renderer_ = SDL_CreateRenderer(W(window_), -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
    if (!renderer_) renderer_ = SDL_CreateRenderer(W(window_), -1, SDL_RENDERER_SOFTWARE);
    if (!renderer_) throw Exception(std::string("Renderer cannot be created: ") + SDL_GetError());
    SDL_DisplayMode mode;
    if (SDL_GetWindowDisplayMode(W(window_), &mode) == 0 && mode.refresh_rate > 0) refreshRate_ = mode.refresh_rate;

    ImGui_ImplSDL2_InitForSDLRenderer(W(window_));
    ImGui_ImplSDLRenderer_Init(R(renderer_));
    lastPresent_ = SDL_GetTicks();
}

Window::~Window() {
    ImGui::SetCurrentContext(C(imgui_));
    ImGui_ImplSDLRenderer_Shutdown();
    ImGui_ImplSDL2_Shutdown();
    ImGui::DestroyContext(C(imgui_));
    if (texture_) SDL_DestroyTexture(T(texture_));
    if (renderer_) SDL_DestroyRenderer(R(renderer_));
    if (window_) SDL_DestroyWindow(W(window_));
}

void Window::SetCaption(const std::string& caption) {
    caption_ = caption;
    SDL_SetWindowTitle(W(window_), Latin1ToUtf8(caption).c_str());
}

void Window::SetMenuVisible(bool visible) {
    if (menuVisible_ == visible) return;
    menuVisible_ = visible;
    SDL_SetWindowSize(W(window_), gameWidth_, gameHeight_ + GameTop());
}

int Window::GameTop() const { return menuVisible_ ? menuHeight_ : 0; }

uint32_t Window::Id() const { return SDL_GetWindowID(W(window_)); }

void Window::HandleEvent(const void* sdlEvent) {
    ImGui::SetCurrentContext(C(imgui_));
    ImGui_ImplSDL2_ProcessEvent(static_cast<const SDL_Event*>(sdlEvent));
}

bool Window::MenusWantMouse() const {
    ImGui::SetCurrentContext(C(imgui_));
    return ImGui::GetIO().WantCaptureMouse;
}

bool Window::MenusWantKeyboard() const {
    ImGui::SetCurrentContext(C(imgui_));
    return ImGui::GetIO().WantCaptureKeyboard;
}

void Window::ToGameArea(int& x, int& y) const { y -= GameTop(); }

std::vector<std::function<void()>> Window::TakePendingClicks() {
    std::vector<std::function<void()>> clicks;
    clicks.swap(pendingClicks_);
    return clicks;
}

uint32_t Window::SinceLastPresent() const { return SDL_GetTicks() - lastPresent_; }

void Window::Present(const Surface& back) { DrawFrame(true, &back); }

void Window::Refresh() { DrawFrame(false, nullptr); }

void Window::DrawMenuBar() {
    if (!menuVisible_ || !menu_) return;
    if (!ImGui::BeginMainMenuBar()) return;
    wasOpen_.resize(menu_->Menus.size(), false);
    for (size_t m = 0; m < menu_->Menus.size(); ++m) {
        platform::Menu& menu = *menu_->Menus[m];
        if (!menu.Visible) {
            wasOpen_[m] = false;
            continue;
        }
        const std::string label = Latin1ToUtf8(StripAccessKey(menu.Caption)) + "##" + menu.Name;
        const bool open = ImGui::BeginMenu(label.c_str());
        if (open && !wasOpen_[m] && menu.OnOpen) menu.OnOpen();
        wasOpen_[m] = open;
        if (!open) continue;
        for (auto& itemPtr : menu.Items) {
            MenuItem& item = *itemPtr;
            if (!item.Visible) continue;
            const std::string itemLabel = Latin1ToUtf8(StripAccessKey(item.Caption)) + "##" + item.Name;
            if (ImGui::MenuItem(itemLabel.c_str(), item.ShortCut.empty() ? nullptr : item.ShortCut.c_str(),
                                item.Checked, item.Enabled)) {
                MenuItem* clicked = &item;
                pendingClicks_.push_back([clicked] {
                    if (clicked->OnClick) clicked->OnClick(*clicked);
                });
            }
        }
        ImGui::EndMenu();
    }
    ImGui::EndMainMenuBar();
}

void Window::DrawFrame(bool upload, const Surface* back) {
    SDL_Renderer* renderer = R(renderer_);
    if (upload && back) {
        SDL_Surface* s = static_cast<SDL_Surface*>(back->NativeHandle());
        SDL_Surface* converted = nullptr;
        if (s->format->BitsPerPixel == 8) {
            converted = SDL_ConvertSurfaceFormat(s, SDL_PIXELFORMAT_RGB888, 0);
            s = converted;
        }
        if (s) {
            if (!texture_ || textureFormat_ != s->format->format) {
                if (texture_) SDL_DestroyTexture(T(texture_));
                texture_ = SDL_CreateTexture(renderer, s->format->format, SDL_TEXTUREACCESS_STREAMING, s->w, s->h);
                textureFormat_ = s->format->format;
            }
            if (texture_) {
                if (SDL_MUSTLOCK(s)) SDL_LockSurface(s);
                SDL_UpdateTexture(T(texture_), nullptr, s->pixels, s->pitch);
                if (SDL_MUSTLOCK(s)) SDL_UnlockSurface(s);
            }
        }
        if (converted) SDL_FreeSurface(converted);
    }

    ImGui::SetCurrentContext(C(imgui_));
    ImGui_ImplSDLRenderer_NewFrame();
    ImGui_ImplSDL2_NewFrame();
    ImGui::NewFrame();
    DrawMenuBar();
    if (toolDrawer_) toolDrawer_();
    ImGui::Render();

    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    if (texture_) {
        SDL_Rect dest{0, GameTop(), gameWidth_, gameHeight_};
        SDL_RenderCopy(renderer, T(texture_), nullptr, &dest);
    }
    ImGui_ImplSDLRenderer_RenderDrawData(ImGui::GetDrawData());
    SDL_RenderPresent(renderer);

    // Without a working vertical-blank wait the loop would run as fast as it
    // can; hold each frame for one refresh period instead.
    const uint32_t period = 1000u / static_cast<uint32_t>(refreshRate_);
    const uint32_t spent = SDL_GetTicks() - lastPresent_;
    if (spent + 1 < period) SDL_Delay(period - spent - 1);
    lastPresent_ = SDL_GetTicks();
}

} // namespace varnok::platform
