#include "platform/Window.h"

#include "common/Exception.h"
#include "common/StrUtils.h"
#include "platform/PixelRows.h"
#include "platform/Surface.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <imgui.h>
#include <imgui_impl_sdl.h>
#include <imgui_impl_sdlrenderer.h>
#include <string>
#include <strings.h>
#include <unistd.h>

namespace varnok::platform {

namespace {
SDL_Window* W(void* p) {
    return static_cast<SDL_Window*>(p);
}
SDL_Renderer* R(void* p) {
    return static_cast<SDL_Renderer*>(p);
}
SDL_Texture* T(void* p) {
    return static_cast<SDL_Texture*>(p);
}
SDL_Surface* S(void* p) {
    return static_cast<SDL_Surface*>(p);
}
ImGuiContext* C(void* p) {
    return static_cast<ImGuiContext*>(p);
}

// ImGui's built-in font is 13 pixels; a menu bar is one frame high.
constexpr float kMenuFontSize = 13.0f;

// Whether the X server renders directly (DRI3 or DRI2). Without that, every
// OpenGL context on it draws with Mesa's software rasteriser. libX11 is
// already loaded by SDL; its query is looked up by name so that the game
// needs no X11 headers or link of its own.
bool X11HasDirectRendering(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return true;
    void* lib = SDL_LoadObject("libX11.so.6");
    if (!lib) return true;
    using QueryExtension = int (*)(void*, const char*, int*, int*, int*);
    auto query = reinterpret_cast<QueryExtension>(SDL_LoadFunction(lib, "XQueryExtension"));
    bool direct = true;
    if (query) {
        int opcode = 0, event = 0, error = 0;
        void* display = info.info.x11.display;
        direct = query(display, "DRI3", &opcode, &event, &error) ||
                 query(display, "DRI2", &opcode, &event, &error);
    }
    SDL_UnloadObject(lib);
    return direct;
}

bool HasRenderNode() {
    for (int i = 128; i < 192; ++i)
        if (access(("/dev/dri/renderD" + std::to_string(i)).c_str(), R_OK | W_OK) == 0) return true;
    return false;
}

bool NamesSoftwareRasteriser(const char* name) {
    for (const char* s : {"llvmpipe", "softpipe", "Software Rasterizer", "swrast", "SWR"})
        if (std::strstr(name, s)) return true;
    return false;
}

// Decided before any OpenGL context exists: loading a software OpenGL driver
// alone costs tens of megabytes.
bool PreferSoftwarePresent(SDL_Window* window) {
    if (const char* v = std::getenv("VARNOK_PRESENT")) {
        if (strcasecmp(v, "software") == 0 || strcasecmp(v, "framebuffer") == 0) return true;
        if (strcasecmp(v, "accelerated") == 0) return false;
    }
    if (const char* driver = SDL_GetHint(SDL_HINT_RENDER_DRIVER)) return strcasecmp(driver, "software") == 0;
    if (const char* soft = std::getenv("LIBGL_ALWAYS_SOFTWARE"); soft && *soft && std::strcmp(soft, "0") != 0)
        return true;
    const char* video = SDL_GetCurrentVideoDriver();
    if (video && std::strcmp(video, "x11") == 0 && !X11HasDirectRendering(window)) return true;
    return !HasRenderNode();
}

// An accelerated renderer that turns out to draw in software after all.
bool RendererIsSoftware(SDL_Renderer* renderer) {
    SDL_RendererInfo info;
    if (SDL_GetRendererInfo(renderer, &info) != 0) return false;
    if (info.flags & SDL_RENDERER_SOFTWARE) return true;
    if (std::strncmp(info.name, "opengl", 6) != 0) return false;
    using GetString = const unsigned char* (*)(unsigned);
    auto getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
    if (!getString) return false;
    const unsigned char* name = getString(0x1F01); // GL_RENDERER
    return name && NamesSoftwareRasteriser(reinterpret_cast<const char*>(name));
}

int FloorDiv(int a, int b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

int BitsOf(uint32_t format) {
    // SDL counts the padding byte of 32-bit formats out; a display shows them as 32 bits.
    return SDL_BYTESPERPIXEL(format) == 4 ? 32 : SDL_BITSPERPIXEL(format);
}
} // namespace

Window::Window(const std::string& caption, int gameWidth, int gameHeight, int scale)
    : gameWidth_(gameWidth), gameHeight_(gameHeight), caption_(caption) {
    imgui_ = ImGui::CreateContext();
    ImGui::SetCurrentContext(C(imgui_));
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;
    io.LogFilename = nullptr;
    ImGui::StyleColorsLight();
    menuHeight_ = static_cast<int>(kMenuFontSize + ImGui::GetStyle().FramePadding.y * 2);

    if (scale <= 0) {
        const TScreenInfo screen = Screen();
        scale = ComfortableScale(screen.UsableWidth, screen.UsableHeight, gameWidth, gameHeight, menuHeight_);
    }
    window_ = SDL_CreateWindow(Latin1ToUtf8(caption).c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                               gameWidth * scale, gameHeight * scale + menuHeight_,
                               SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE);
    try {
        if (!window_) throw Exception(std::string("Window cannot be created: ") + SDL_GetError());
        SDL_SetWindowMinimumSize(W(window_), gameWidth, gameHeight + menuHeight_);
        SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
        CreatePresenter();
    } catch (...) {
        // Nothing half made stays on the screen.
        DestroyPresenter();
        if (window_) SDL_DestroyWindow(W(window_));
        ImGui::DestroyContext(C(imgui_));
        throw;
    }
    SDL_DisplayMode mode;
    if (SDL_GetWindowDisplayMode(W(window_), &mode) == 0 && mode.refresh_rate > 0)
        refreshRate_ = mode.refresh_rate;

    ImGui_ImplSDL2_InitForSDLRenderer(W(window_));
    ImGui_ImplSDLRenderer_Init(R(renderer_));
    menuRendererUp_ = true;
    lastPresent_ = SDL_GetTicks();
}

void Window::CreatePresenter() {
    software_ = PreferSoftwarePresent(W(window_));
    if (!software_) {
        renderer_ = SDL_CreateRenderer(W(window_), -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
        if (renderer_ && RendererIsSoftware(R(renderer_))) {
            SDL_DestroyRenderer(R(renderer_));
            renderer_ = nullptr;
        }
        if (renderer_) {
            SDL_RendererInfo info;
            vsync_ =
                SDL_GetRendererInfo(R(renderer_), &info) == 0 && (info.flags & SDL_RENDERER_PRESENTVSYNC);
            return;
        }
        software_ = true;
    }
    if (CreateSoftwarePresenter()) return;
    const std::string why = SDL_GetError();
    // No framebuffer at all: any renderer SDL can make for the window, even
    // one that rasterises in software, with the streaming texture.
    software_ = false;
    renderer_ = SDL_CreateRenderer(W(window_), -1, SDL_RENDERER_PRESENTVSYNC);
    if (!renderer_) renderer_ = SDL_CreateRenderer(W(window_), -1, 0);
    if (!renderer_)
        throw Exception("The window cannot be drawn into: it has no framebuffer (" + why +
                        ") and no renderer (" + SDL_GetError() + ")");
    SDL_RendererInfo info;
    vsync_ = SDL_GetRendererInfo(R(renderer_), &info) == 0 && (info.flags & SDL_RENDERER_PRESENTVSYNC);
}

bool Window::CreateSoftwarePresenter() {
    // Where the video driver keeps a framebuffer of its own (X11), that one,
    // never one that SDL emulates with an OpenGL texture, and the menus draw
    // into it with SDL's software renderer for the window.
    const char* video = SDL_GetCurrentVideoDriver();
    if (video && (std::strcmp(video, "x11") == 0 || std::strcmp(video, "offscreen") == 0 ||
                  std::strcmp(video, "dummy") == 0)) {
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        renderer_ = SDL_CreateRenderer(W(window_), -1, SDL_RENDERER_SOFTWARE);
    }
    if (!renderer_) {
        // Other drivers (Wayland) have none: SDL keeps one for the window,
        // with a renderer of its own, and the software renderer draws the
        // menus on that surface.
        if (SDL_Surface* surface = SDL_GetWindowSurface(W(window_))) {
            renderer_ = SDL_CreateSoftwareRenderer(surface);
            if (renderer_) {
                menuSurface_ = surface;
                menuSurfaceW_ = surface->w;
                menuSurfaceH_ = surface->h;
            }
        }
    }
    if (!renderer_) return false;
    vsync_ = false;
    // The display server enlarges the picture only when asked: measured on a
    // display server without a GPU (Xvfb, level 5 at scale 2), the game and
    // the server together spend less when the game enlarges the changed rows
    // itself (10.3 % of a core) than when the server does (11.8 %). By
    // default the game writes them into a picture shared with an X server,
    // which copies all changed parts of a frame in one request; SDL's own
    // framebuffer (a request for every part) only with "framebuffer".
    const char* how = std::getenv("VARNOK_PRESENT");
    sharePicture_ = false;
    if (how && (strcasecmp(how, "software") == 0 || strcasecmp(how, "server") == 0))
        serverScaler_ = XScaler::Create(window_, gameWidth_, gameHeight_);
    else if (!how || strcasecmp(how, "framebuffer") != 0) // "shared" names it
        sharePicture_ = video && std::strcmp(video, "x11") == 0;
    serverStale_ = true;
    surfaceStale_ = false;
    return true;
}

void Window::FollowSurface(void* surface) {
    // A new surface may well lie where the old one was.
    if (!menuSurface_ || !surface ||
        (surface == menuSurface_ && S(surface)->w == menuSurfaceW_ && S(surface)->h == menuSurfaceH_))
        return;
    ImGui::SetCurrentContext(C(imgui_));
    if (menuRendererUp_) ImGui_ImplSDLRenderer_Shutdown();
    menuRendererUp_ = false;
    SDL_DestroyRenderer(R(renderer_));
    renderer_ = SDL_CreateSoftwareRenderer(S(surface));
    menuSurface_ = surface;
    menuSurfaceW_ = S(surface)->w;
    menuSurfaceH_ = S(surface)->h;
    // Without it the picture still shows; the menus are gone.
    if (!renderer_) throw Exception(std::string("The menus cannot be drawn: ") + SDL_GetError());
    ImGui_ImplSDLRenderer_Init(R(renderer_));
    menuRendererUp_ = true;
}

void Window::OutputSize(int& w, int& h) const {
    w = h = 0;
    // A surface renderer's own surface may already be gone after a change of
    // size; the window's surface is as large as the window.
    if (menuSurface_ || !renderer_ || SDL_GetRendererOutputSize(R(renderer_), &w, &h) != 0)
        SDL_GetWindowSize(W(window_), &w, &h);
}

void Window::DestroyPresenter() {
    serverScaler_.reset();
    if (texture_) SDL_DestroyTexture(T(texture_));
    texture_ = nullptr;
    for (void** s : {&converted_, &frame_, &scratch_}) {
        if (*s) SDL_FreeSurface(S(*s));
        *s = nullptr;
    }
    if (renderer_) SDL_DestroyRenderer(R(renderer_));
    renderer_ = nullptr;
    menuSurface_ = nullptr;
}

Window::~Window() {
    ImGui::SetCurrentContext(C(imgui_));
    if (menuRendererUp_) ImGui_ImplSDLRenderer_Shutdown();
    ImGui_ImplSDL2_Shutdown();
    ImGui::DestroyContext(C(imgui_));
    DestroyPresenter();
    if (window_) SDL_DestroyWindow(W(window_));
}

void Window::SetCaption(const std::string& caption) {
    caption_ = caption;
    SDL_SetWindowTitle(W(window_), Latin1ToUtf8(caption).c_str());
}

void Window::SetMenuVisible(bool visible) {
    if (menuVisible_ == visible) return;
    menuVisible_ = visible;
    redrawAll_ = true;
    menuFrames_ = 2;
}

void Window::SetFullScreen(bool fullScreen) {
    if (fullScreen_ == fullScreen) return;
    // The desktop's own mode: nothing for a compositor to refuse, and nothing
    // to restore should the game end unexpectedly. Leaving restores the
    // window's size and place.
    if (SDL_SetWindowFullscreen(W(window_), fullScreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) != 0)
        throw Exception(std::string("Full screen cannot be set: ") + SDL_GetError());
    fullScreen_ = fullScreen;
    redrawAll_ = true;
}

RgbaImage Window::Capture() const {
    if (!software_) return {};
    if (serverScaler_) {
        // What the server shows: its own scaling is part of the picture.
        int w = 0, h = 0;
        SDL_GetWindowSize(W(window_), &w, &h);
        const std::vector<uint32_t> shown = serverScaler_->Read(0, 0, w, h);
        if (shown.empty()) return {};
        RgbaImage image(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint32_t p = shown[static_cast<size_t>(y) * w + x];
                uint8_t* to = image.At(x, y);
                to[0] = static_cast<uint8_t>(p >> 16);
                to[1] = static_cast<uint8_t>(p >> 8);
                to[2] = static_cast<uint8_t>(p);
                to[3] = 255;
            }
        return image;
    }
    SDL_Surface* shown = SDL_GetWindowSurface(W(window_));
    if (!shown) return {};
    SDL_Surface* rgba = SDL_ConvertSurfaceFormat(shown, SDL_PIXELFORMAT_ABGR8888, 0);
    if (!rgba) return {};
    RgbaImage image(rgba->w, rgba->h);
    for (int y = 0; y < rgba->h; ++y)
        std::memcpy(image.At(0, y),
                    static_cast<const uint8_t*>(rgba->pixels) + static_cast<ptrdiff_t>(y) * rgba->pitch,
                    static_cast<size_t>(rgba->w) * 4);
    SDL_FreeSurface(rgba);
    return image;
}

void Window::SetClientSize(int width, int height) {
    SDL_SetWindowSize(W(window_), width, height);
    redrawAll_ = true;
}

void Window::SetCursorVisible(bool visible) {
    // The menu code would show the cursor again with every frame it draws.
    ImGui::SetCurrentContext(C(imgui_));
    ImGuiIO& io = ImGui::GetIO();
    if (visible)
        io.ConfigFlags &= ~ImGuiConfigFlags_NoMouseCursorChange;
    else
        io.ConfigFlags |= ImGuiConfigFlags_NoMouseCursorChange;
    SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
}

TScreenInfo Window::Screen() const {
    TScreenInfo s;
    int display = window_ ? SDL_GetWindowDisplayIndex(W(window_)) : 0;
    if (display < 0) display = 0;
    SDL_DisplayMode desktop;
    if (SDL_GetDesktopDisplayMode(display, &desktop) == 0) {
        s.Width = desktop.w;
        s.Height = desktop.h;
        s.BitCount = BitsOf(desktop.format);
    }
    SDL_Rect usable;
    if (SDL_GetDisplayUsableBounds(display, &usable) == 0) {
        s.UsableWidth = usable.w;
        s.UsableHeight = usable.h;
    } else {
        s.UsableWidth = s.Width;
        s.UsableHeight = s.Height;
    }
    s.Modes.clear();
    const int count = SDL_GetNumDisplayModes(display);
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode m;
        if (SDL_GetDisplayMode(display, i, &m) != 0) continue;
        const TDisplayMode mode{m.w, m.h, BitsOf(m.format)};
        if (std::find(s.Modes.begin(), s.Modes.end(), mode) == s.Modes.end()) s.Modes.push_back(mode);
    }
    return s;
}

TViewport Window::Viewport() const {
    int w = 0, h = 0;
    OutputSize(w, h);
    TViewport v = FitPicture(w, h - GameTop(), gameWidth_, gameHeight_);
    v.Y += GameTop();
    return v;
}

int Window::GameTop() const {
    return menuVisible_ ? menuHeight_ : 0;
}

uint32_t Window::Id() const {
    return SDL_GetWindowID(W(window_));
}

void Window::HandleEvent(const void* sdlEvent) {
    ImGui::SetCurrentContext(C(imgui_));
    const SDL_Event& e = *static_cast<const SDL_Event*>(sdlEvent);
    ImGui_ImplSDL2_ProcessEvent(&e);
    switch (e.type) {
    case SDL_WINDOWEVENT:
        redrawAll_ = true;
        menuFrames_ = 2;
        break;
    case SDL_MOUSEMOTION:
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
    case SDL_MOUSEWHEEL:
    case SDL_KEYDOWN:
    case SDL_KEYUP:
    case SDL_TEXTINPUT:
        // The menus answer input within the next frames (hover, open, close).
        menuFrames_ = 2;
        break;
    default:
        break;
    }
}

bool Window::MenusWantMouse() const {
    ImGui::SetCurrentContext(C(imgui_));
    return ImGui::GetIO().WantCaptureMouse;
}

bool Window::MenusWantKeyboard() const {
    ImGui::SetCurrentContext(C(imgui_));
    return ImGui::GetIO().WantCaptureKeyboard;
}

bool Window::ToGameArea(int& x, int& y) const {
    int w = 0, h = 0, ow = 0, oh = 0;
    SDL_GetWindowSize(W(window_), &w, &h);
    // Event positions are in window points; the picture is placed in output pixels.
    OutputSize(ow, oh);
    if (ow > 0 && oh > 0 && w > 0 && h > 0) {
        x = static_cast<int>(static_cast<int64_t>(x) * ow / w);
        y = static_cast<int>(static_cast<int64_t>(y) * oh / h);
    }
    int px = 0, py = 0;
    if (!AreaToPicture(Viewport(), x, y, px, py)) return false;
    x = px;
    y = py;
    return true;
}

std::vector<std::function<void()>> Window::TakePendingClicks() {
    std::vector<std::function<void()>> clicks;
    clicks.swap(pendingClicks_);
    return clicks;
}

uint32_t Window::SinceLastPresent() const {
    return SDL_GetTicks() - lastPresent_;
}

void Window::Present(const Surface& back) {
    if (software_)
        PresentSoftware(&back);
    else
        PresentAccelerated(&back);
    Pace(vsync_ && !software_);
    lastPresent_ = SDL_GetTicks();
}

void Window::Refresh() {
    if (software_)
        PresentSoftware(nullptr);
    else
        PresentAccelerated(nullptr);
    lastPresent_ = SDL_GetTicks();
}

bool Window::RunMenus() {
    const bool bar = menuVisible_ && menu_;
    if ((!bar && !toolDrawer_) || !menuRendererUp_) {
        menuOpen_ = false;
        if (overlayVisible_) {
            // What covered the picture is gone: show all of it again.
            overlayRects_.clear();
            overlayVisible_ = false;
            redrawAll_ = true;
        }
        return false;
    }
    if (bar) {
        // The menu titles as shown: a change (a menu made visible) redraws the bar.
        uint64_t signature = 1469598103934665603ull;
        for (const auto& m : menu_->Menus) {
            signature = (signature ^ (m->Visible ? 1u : 2u)) * 1099511628211ull;
            for (unsigned char c : m->Caption)
                signature = (signature ^ c) * 1099511628211ull;
        }
        if (signature != menuSignature_) {
            menuSignature_ = signature;
            menuFrames_ = std::max(menuFrames_, 2);
        }
    }
    // In software the menus and tool windows are drawn again only when
    // something may have changed them; a tool window can also open by itself
    // (the debug window on a message), so every thirtieth frame looks for one.
    // The texture path draws everything every frame anyway.
    const bool look = (toolDrawer_ || overlayVisible_) && ++quietFrames_ >= 30;
    if (software_ && menuFrames_ <= 0 && !menuOpen_ && !redrawAll_ && !look) return false;
    quietFrames_ = 0;
    if (menuFrames_ > 0) --menuFrames_;

    ImGui::SetCurrentContext(C(imgui_));
    ImGui_ImplSDLRenderer_NewFrame();
    ImGui_ImplSDL2_NewFrame();
    ImGui::NewFrame();
    bool anyOpen = false;
    const ImDrawList* barList = nullptr;
    if (bar && ImGui::BeginMainMenuBar()) {
        barList = ImGui::GetWindowDrawList();
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
            anyOpen = true;
            for (auto& itemPtr : menu.Items) {
                MenuItem& item = *itemPtr;
                if (!item.Visible) continue;
                const std::string itemLabel = Latin1ToUtf8(StripAccessKey(item.Caption)) + "##" + item.Name;
                if (ImGui::MenuItem(itemLabel.c_str(),
                                    item.ShortCut.empty() ? nullptr : item.ShortCut.c_str(), item.Checked,
                                    item.Enabled)) {
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
    if (toolDrawer_) toolDrawer_();
    ImGui::Render();
    // A menu that is open, a bar under the mouse or a tool window over the
    // picture changes from frame to frame.
    // A menu that is open or a bar under the mouse changes from frame to
    // frame. What the menus and tool windows draw over the picture is kept
    // as rectangles, and a fingerprint tells whether it changed.
    menuOpen_ = anyOpen || ImGui::GetIO().WantCaptureMouse;
    ImDrawData* drawn = ImGui::GetDrawData();
    overlayRects_.clear();
    uint64_t hash = 1469598103934665603ull;
    auto mix = [&hash](const void* data, size_t bytes) {
        const auto* p = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < bytes; ++i)
            hash = (hash ^ p[i]) * 1099511628211ull;
    };
    for (int l = 0; drawn && l < drawn->CmdListsCount; ++l) {
        ImDrawList* list = drawn->CmdLists[l];
        mix(list->VtxBuffer.Data, static_cast<size_t>(list->VtxBuffer.Size) * sizeof(ImDrawVert));
        mix(list->IdxBuffer.Data, static_cast<size_t>(list->IdxBuffer.Size) * sizeof(ImDrawIdx));
        if (list == barList) {
            // The bar keeps to its own rows: the soft edge of its window's
            // border reaches a pixel further, over the picture's first row.
            for (ImDrawCmd& cmd : list->CmdBuffer)
                cmd.ClipRect.w = std::min(cmd.ClipRect.w, static_cast<float>(GameTop()));
            continue;
        }
        if (list->VtxBuffer.Size == 0) continue;
        float x0 = 1e9f, y0 = 1e9f, x1 = -1e9f, y1 = -1e9f;
        for (const ImDrawVert& v : list->VtxBuffer) {
            x0 = std::min(x0, v.pos.x);
            y0 = std::min(y0, v.pos.y);
            x1 = std::max(x1, v.pos.x);
            y1 = std::max(y1, v.pos.y);
        }
        // The bar's own row is not over the picture.
        if (y1 <= static_cast<float>(GameTop())) continue;
        const int left = static_cast<int>(std::floor(x0)), top = static_cast<int>(std::floor(y0));
        overlayRects_.push_back(
            {left, top, static_cast<int>(std::ceil(x1)) - left, static_cast<int>(std::ceil(y1)) - top});
    }
    overlayHash_ = hash;
    overlayVisible_ = !overlayRects_.empty();
    return true;
}

void Window::PresentAccelerated(const Surface* back) {
    comparedSerial_ = 0; // the software path's last frame falls behind
    SDL_Renderer* renderer = R(renderer_);
    if (back) {
        SDL_Surface* s = S(back->NativeHandle());
        if (s->format->BitsPerPixel == 8) {
            // Paletted frames become 32 bits in a surface kept for that.
            if (!converted_ || S(converted_)->w != s->w || S(converted_)->h != s->h)
                converted_ = SDL_CreateRGBSurfaceWithFormat(0, s->w, s->h, 32, SDL_PIXELFORMAT_RGB888);
            if (converted_) SDL_BlitSurface(s, nullptr, S(converted_), nullptr);
            s = S(converted_);
        }
        if (s) {
            if (!texture_ || textureFormat_ != s->format->format) {
                if (texture_) SDL_DestroyTexture(T(texture_));
                texture_ =
                    SDL_CreateTexture(renderer, s->format->format, SDL_TEXTUREACCESS_STREAMING, s->w, s->h);
                textureFormat_ = s->format->format;
            }
            if (texture_) SDL_UpdateTexture(T(texture_), nullptr, s->pixels, s->pitch);
        }
    }
    const bool menus = RunMenus();
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    if (texture_) {
        const TViewport v = Viewport();
        SDL_Rect dest{v.X, v.Y, v.Width, v.Height};
        SDL_RenderCopy(renderer, T(texture_), nullptr, &dest);
    }
    if (menus) ImGui_ImplSDLRenderer_RenderDrawData(ImGui::GetDrawData());
    SDL_RenderPresent(renderer);
    redrawAll_ = false;
}

namespace {
// Picture rows are gathered in bands of this many, and runs of changed groups
// of eight pixels at most this many groups apart are joined. Measured on a
// display server without a GPU (level 5 at scale 2, rain over the whole
// picture): sending the changed parts instead of the changed rows halves the
// server's share; bands of 4 to 16 rows and joins of 0 to 4 groups differ by
// less than the measurement's noise, and bands of 1 or 2 rows (fewer pixels,
// more rectangles) cost the game and the server more.
constexpr int kChangedBandRows = 8;
constexpr int kChangedJoinGroups = 2;
constexpr size_t kMaxChangedRects = 400;
// The same for the picture shared with the server, whose parts all go in one
// request: only the server's work on each part counts.
constexpr size_t kMaxSharedRects = 4000;

// Into rects, the window's rectangles of what changed in the picture (v
// shows it at its scale), below the menu bar's top rows; none when one
// rectangle over the changed rows would cost the server less. changed is
// the picture's rectangles, a buffer used again frame after frame.
void ChangedWindowRects(const ChangedAreas& areas, const TViewport& v, int top, int width, int height,
                        size_t maxRects, std::vector<Rect>& changed, std::vector<Rect>& rects) {
    rects.clear();
    areas.Rects(changed);
    // Many small pieces, or most of the picture: one rectangle over the
    // changed rows costs the server less.
    if (changed.size() > maxRects) return;
    int64_t area = 0;
    for (const Rect& r : changed)
        area += static_cast<int64_t>(r.Width()) * r.Height();
    if (area * 2 > static_cast<int64_t>(areas.Width()) * areas.Height()) return;
    const int k = v.Scale;
    for (const Rect& r : changed) {
        const int x0 = std::max(v.X + r.Left * k, 0), x1 = std::min(v.X + r.Right * k, width);
        const int y0 = std::max(v.Y + r.Top * k, top), y1 = std::min(v.Y + r.Bottom * k, height);
        if (x1 > x0 && y1 > y0) rects.push_back({x0, y0, x1, y1});
    }
}
} // namespace

void Window::PresentSoftware(const Surface* back) {
    SDL_Surface* target = SDL_GetWindowSurface(W(window_));
    if (!target) return;
    FollowSurface(target);
    const TViewport v = Viewport();
    if (target != shownSurface_ || !(v == shownViewport_)) redrawAll_ = true;
    // Menus and tool windows first: what they draw over the picture decides
    // which of its pixels may be written.
    const bool menus = RunMenus();
    const bool overlayChanged = menus && overlayHash_ != shownOverlayHash_;
    // A drawing over nearly all of the window (a modal dialog's shade) is
    // drawn again over every frame; smaller ones are left alone, and the
    // picture is written around them.
    bool shaded = false;
    for (const OverlayRect& r : overlayRects_)
        shaded =
            shaded || static_cast<int64_t>(r.W) * r.H * 10 >= static_cast<int64_t>(target->w) * target->h * 9;
    bool wholePicture = redrawAll_ || overlayChanged || (overlayVisible_ && shaded);

    // The frame as shown last, in the back surface's own format: only what
    // differs from it is converted and sent.
    SDL_Surface* src = back ? S(back->NativeHandle()) : nullptr;
    if (src && (!frame_ || S(frame_)->format->format != src->format->format || S(frame_)->w != src->w ||
                S(frame_)->h != src->h)) {
        if (frame_) SDL_FreeSurface(S(frame_));
        frame_ =
            SDL_CreateRGBSurfaceWithFormat(0, src->w, src->h, src->format->BitsPerPixel, src->format->format);
        if (!frame_) return;
        SDL_SetSurfaceBlendMode(S(frame_), SDL_BLENDMODE_NONE);
        wholePicture = true;
    }
    SDL_Surface* frame = S(frame_);
    if (!src) src = frame; // showing the last frame again
    if (src && frame && src != frame && src->format->palette && frame->format->palette) {
        SDL_Palette* from = src->format->palette;
        SDL_Palette* to = frame->format->palette;
        if (from->ncolors != to->ncolors ||
            std::memcmp(from->colors, to->colors, sizeof(SDL_Color) * static_cast<size_t>(from->ncolors)) !=
                0) {
            SDL_SetPaletteColors(to, from->colors, 0, std::min(from->ncolors, to->ncolors));
            wholePicture = true;
        }
    }

    if (redrawAll_) {
        SDL_SetClipRect(target, nullptr);
        SDL_FillRect(target, nullptr, SDL_MapRGB(target->format, 0, 0, 0));
    }
    const int top = GameTop();
    const int k = v.Scale;
    const int bpp = target->format->BytesPerPixel;
    // Columns and rows of the window that the picture covers.
    const int x0 = std::max(v.X, 0), x1 = std::min(v.X + v.Width, target->w);
    const bool inside = x0 == v.X && x1 == v.X + v.Width && v.Y >= top && v.Y + v.Height <= target->h;
    int first = INT32_MAX, last = -1; // picture rows converted
    bool viaServer = false;
    bool serverScales = false;
    bool tracked = false; // changed_ holds what was converted
    if (src && frame && x1 > x0) {
        if (SDL_MUSTLOCK(src)) SDL_LockSurface(src);
        if (SDL_MUSTLOCK(target)) SDL_LockSurface(target);
        const SDL_PixelFormat* tf = target->format;
        if (inside && src->format->format == SDL_PIXELFORMAT_RGB565 && bpp == 4 && tf->Rmask == 0xFF0000 &&
            tf->Gmask == 0xFF00 && tf->Bmask == 0xFF) {
            // The usual case, 16-bit frames on a 32-bit window: only the
            // pieces of rows that changed are converted, in one pass. The
            // display server scales them when it can and the menus need no
            // new drawing; the picture it was last sent, or the window's
            // surface, is brought up to date whole when it missed frames.
            const bool fills = src->w * k == v.Width && src->h * k == v.Height;
            if (sharePicture_ && !redrawAll_ && fills &&
                (!serverScaler_ || serverScaler_->Width() != v.Width || serverScaler_->Height() != v.Height)) {
                // The shared picture is as large as the part of the window it
                // fills; without one (no shared memory) the window's surface
                // serves.
                serverScaler_ = XScaler::Create(window_, v.Width, v.Height, false);
                if (!serverScaler_) sharePicture_ = false;
                serverStale_ = true;
            }
            serverScales = serverScaler_ && serverScaler_->ServerScales();
            viaServer = serverScaler_ &&
                        (serverScales ? src->w == gameWidth_ && src->h == gameHeight_
                                      : fills && serverScaler_->Width() == v.Width &&
                                            serverScaler_->Height() == v.Height) &&
                        !redrawAll_ && !overlayChanged && !(wholePicture && overlayVisible_);
            if (viaServer) serverScaler_->WaitUntilRead();
            const bool force = wholePicture || (viaServer ? serverStale_ : surfaceStale_);
            if (!viaServer || !serverScales) {
                if (!changed_ || changed_->Width() != src->w || changed_->Height() != src->h)
                    changed_ = std::make_unique<ChangedAreas>(src->w, src->h, kChangedBandRows, kChangedJoinGroups);
                changed_->Clear();
                tracked = true;
            }
            const int outScale = viaServer && serverScales ? 1 : k;
            const ptrdiff_t outPitch = viaServer ? serverScaler_->Pitch() : target->pitch / 4;
            // A back surface not written since its rows were compared last
            // (a still title) holds the frame shown.
            const bool unwritten =
                !force && back && back->Serial() == comparedSerial_ && back->Writes() == comparedWrites_;
            comparedSerial_ = back ? back->Serial() : 0;
            comparedWrites_ = back ? back->Writes() : 0;
            for (int y = 0; y < (unwritten ? 0 : src->h); ++y) {
                const auto* row = reinterpret_cast<const uint16_t*>(static_cast<const uint8_t*>(src->pixels) +
                                                                    static_cast<ptrdiff_t>(y) * src->pitch);
                auto* shadow = reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(frame->pixels) +
                                                           static_cast<ptrdiff_t>(y) * frame->pitch);
                auto* out =
                    viaServer
                        ? serverScaler_->Pixels() + y * outScale * outPitch
                        : reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(target->pixels) +
                                                      static_cast<ptrdiff_t>(v.Y + y * k) * target->pitch) +
                              x0;
                // The parts of the row not under a menu or tool window.
                std::vector<std::pair<int, int>>& spans = spans_;
                spans.assign(1, {0, src->w});
                if (!wholePicture && overlayVisible_) {
                    const int wy0 = v.Y + y * k, wy1 = wy0 + k;
                    for (const OverlayRect& r : overlayRects_) {
                        if (r.Y >= wy1 || r.Y + r.H <= wy0) continue;
                        // Picture columns the rectangle touches, rounded outward.
                        const int cut0 = std::max(0, FloorDiv(r.X - v.X, k));
                        const int cut1 = std::min(src->w, FloorDiv(r.X + r.W - v.X + k - 1, k));
                        if (cut1 <= cut0) continue;
                        std::vector<std::pair<int, int>>& kept = keptSpans_;
                        kept.clear();
                        for (auto [a, b] : spans) {
                            if (cut1 <= a || cut0 >= b) {
                                kept.push_back({a, b});
                                continue;
                            }
                            if (a < cut0) kept.push_back({a, cut0});
                            if (cut1 < b) kept.push_back({cut1, b});
                        }
                        spans.swap(kept);
                    }
                }
                bool changed = false;
                for (auto [a, b] : spans) {
                    // Groups count from the span's first pixel; a span that
                    // does not start on a group counts as changed whole.
                    const bool aligned = tracked && a % 8 == 0;
                    const bool spanChanged = UpdateRow565To8888(
                        row + a, shadow + a, b - a, out + static_cast<ptrdiff_t>(a) * outScale, outPitch, outScale,
                        outScale, viaServer ? 0 : tf->Amask, force, aligned ? changed_->Row(y) + a / 8 : nullptr);
                    if (spanChanged && tracked && !aligned)
                        std::fill(changed_->Row(y) + a / 8, changed_->Row(y) + (b + 7) / 8, uint8_t{1});
                    changed |= spanChanged;
                }
                if (changed) {
                    first = std::min(first, y);
                    last = y;
                }
            }
        } else {
            comparedSerial_ = 0;
            // Any other case: whole rows that changed, converted by SDL.
            const size_t rowBytes = static_cast<size_t>(src->w) * src->format->BytesPerPixel;
            for (int y = 0; y < src->h; ++y) {
                const uint8_t* from =
                    static_cast<const uint8_t*>(src->pixels) + static_cast<ptrdiff_t>(y) * src->pitch;
                uint8_t* to = static_cast<uint8_t*>(frame->pixels) + static_cast<ptrdiff_t>(y) * frame->pitch;
                if (src != frame) {
                    if (!wholePicture && !surfaceStale_ && std::memcmp(from, to, rowBytes) == 0) continue;
                    std::memcpy(to, from, rowBytes);
                } else if (!wholePicture && !surfaceStale_) {
                    continue;
                }
                first = std::min(first, y);
                last = y;
            }
            if (last >= first) ConvertRows(frame, target, v, first, last);
            // Whole rows may have run through a menu or tool window.
            if (last >= first && overlayVisible_) wholePicture = true;
        }
        if (SDL_MUSTLOCK(target)) SDL_UnlockSurface(target);
        if (SDL_MUSTLOCK(src)) SDL_UnlockSurface(src);
    }

    if (viaServer) {
        // The window's surface missed this frame; the server's picture is current.
        if (last >= first) surfaceStale_ = true;
        serverStale_ = false;
        // The server draws around what the menus and tool windows cover.
        bool shown = true;
        if (last >= first && serverScales) {
            shown = serverScaler_->Show(first, last, v, top, overlayRects_);
        } else if (last >= first) {
            std::vector<Rect>& parts = windowRects_;
            parts.clear();
            if (!wholePicture)
                ChangedWindowRects(*changed_, v, top, target->w, target->h, kMaxSharedRects, pictureRects_, parts);
            if (parts.empty()) parts.push_back({v.X, v.Y + first * k, v.X + v.Width, v.Y + (last + 1) * k});
            shown = serverScaler_->ShowParts(parts, v.X, v.Y, top, overlayRects_);
        }
        if (!shown) {
            // The window's surface serves from now on.
            serverScaler_.reset();
            sharePicture_ = false;
            redrawAll_ = true;
        }
        shownSurface_ = target;
        shownViewport_ = v;
        return;
    }
    if (last >= first || redrawAll_) serverStale_ = true;
    if (src && frame && x1 > x0) surfaceStale_ = false;

    // The menus and tool windows are drawn again when their drawing changed
    // or the picture was written where they are.
    const bool drawMenus = ((menuVisible_ && menu_) || toolDrawer_) && menuRendererUp_ &&
                           (overlayChanged || redrawAll_ || (wholePicture && overlayVisible_));
    if (last < first && !drawMenus && !redrawAll_) return; // nothing to send
    // What the server was sent on its other connection lands first.
    if (serverScaler_) serverScaler_->Finish();
    if (drawMenus && !redrawAll_) {
        SDL_Rect bar{0, 0, target->w, top};
        SDL_FillRect(target, &bar, SDL_MapRGB(target->format, 0, 0, 0));
    }
    if (drawMenus) {
        ImGui_ImplSDLRenderer_RenderDrawData(ImGui::GetDrawData());
        // Sends the whole window.
        if (menuSurface_)
            SDL_UpdateWindowSurface(W(window_));
        else
            SDL_RenderPresent(R(renderer_));
        shownOverlayHash_ = overlayHash_;
    } else if (redrawAll_) {
        SDL_UpdateWindowSurface(W(window_));
    } else {
        SDL_Rect sent{0, std::max(v.Y + first * k, top), target->w, 0};
        sent.h = std::min(v.Y + (last + 1) * k, target->h) - sent.y;
        std::vector<SDL_Rect> parts;
        if (tracked && !wholePicture) {
            ChangedWindowRects(*changed_, v, top, target->w, target->h, kMaxChangedRects, pictureRects_,
                               windowRects_);
            for (const Rect& r : windowRects_)
                parts.push_back({r.Left, r.Top, r.Width(), r.Height()});
        }
        if (!parts.empty())
            SDL_UpdateWindowSurfaceRects(W(window_), parts.data(), static_cast<int>(parts.size()));
        else if (sent.h > 0)
            SDL_UpdateWindowSurfaceRects(W(window_), &sent, 1);
    }
    shownSurface_ = target;
    shownViewport_ = v;
    redrawAll_ = false;
}


void Window::ConvertRows(void* frameSurface, void* targetSurface, const TViewport& v, int first, int last) {
    SDL_Surface* frame = S(frameSurface);
    SDL_Surface* target = S(targetSurface);
    const int k = v.Scale;
    const int bpp = target->format->BytesPerPixel;
    const int top = GameTop();
    SDL_Surface* scratch = S(scratch_);
    if (!scratch || scratch->format->format != target->format->format || scratch->w != frame->w ||
        scratch->h != frame->h) {
        if (scratch_) SDL_FreeSurface(scratch);
        scratch_ = SDL_CreateRGBSurfaceWithFormat(0, frame->w, frame->h, target->format->BitsPerPixel,
                                                  target->format->format);
        scratch = S(scratch_);
        if (!scratch) return;
        SDL_SetSurfaceBlendMode(scratch, SDL_BLENDMODE_NONE);
    }
    SDL_Rect band{0, first, frame->w, last - first + 1};
    // Surfaces of one size need no clipping; the lower blit takes its size
    // from the destination rectangle.
    SDL_Rect at = band;
    SDL_LowerBlit(frame, &band, scratch, &at);
    const int x0 = std::max(v.X, 0), x1 = std::min(v.X + v.Width, target->w);
    const bool whole = x0 == v.X && x1 == v.X + v.Width;
    for (int y = first; y <= last; ++y) {
        // The window rows this picture row covers, cut to the game area.
        const int ty0 = std::max(v.Y + y * k, top), ty1 = std::min(v.Y + (y + 1) * k, target->h);
        if (ty0 >= ty1) continue;
        uint8_t* out = static_cast<uint8_t*>(target->pixels) + static_cast<ptrdiff_t>(ty0) * target->pitch;
        const uint8_t* row =
            static_cast<const uint8_t*>(scratch->pixels) + static_cast<ptrdiff_t>(y) * scratch->pitch;
        if (bpp == 4 && whole) {
            const uint32_t* in = reinterpret_cast<const uint32_t*>(row);
            uint32_t* o = reinterpret_cast<uint32_t*>(out) + x0;
            for (int sx = 0; sx < frame->w; ++sx)
                for (int j = 0; j < k; ++j)
                    *o++ = in[sx];
        } else {
            for (int tx = x0; tx < x1; ++tx)
                std::memcpy(out + tx * bpp, row + ((tx - v.X) / k) * bpp, static_cast<size_t>(bpp));
        }
        for (int ty = ty0 + 1; ty < ty1; ++ty)
            std::memcpy(static_cast<uint8_t*>(target->pixels) + static_cast<ptrdiff_t>(ty) * target->pitch +
                            x0 * bpp,
                        out + x0 * bpp, static_cast<size_t>(x1 - x0) * bpp);
    }
}

void Window::Pace(bool waitedForVBlank) {
    // Frames follow each other once per refresh; a loop without a
    // vertical-blank wait sleeps out the rest of the period.
    const uint64_t freq = SDL_GetPerformanceFrequency();
    const uint64_t period = freq / static_cast<uint64_t>(std::max(refreshRate_, 1));
    const uint64_t now = SDL_GetPerformanceCounter();
    if (waitedForVBlank) {
        // A driver may promise the wait and not keep it: frames coming much
        // faster than the refresh rate show that.
        if (nextFrame_ != 0 && now + period / 2 < nextFrame_) {
            if (++fastFrames_ > 30) vsync_ = false;
        } else {
            fastFrames_ = 0;
        }
        nextFrame_ = now + period;
        return;
    }
    if (nextFrame_ == 0 || now > nextFrame_ + period) {
        nextFrame_ = now + period;
        return;
    }
    if (now < nextFrame_) SDL_Delay(static_cast<uint32_t>((nextFrame_ - now) * 1000 / freq));
    nextFrame_ += period;
}

} // namespace varnok::platform
