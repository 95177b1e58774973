#pragma once
// The display: a back surface of the configured size and bit depth that the
// game draws into, shown in the main window at every flip. Initialising
// creates the surface and announces it, in full screen (doFullScreen) or in
// the window; finalising announces the end and drops it. Without a window
// (headless) flipping only counts frames, and full screen is simulated on a
// screen of SimulatedScreen's size: the same choices, the same failures.
#include "common/Exception.h"
#include "platform/DisplayMode.h"
#include "platform/Surface.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace varnok::platform {

class Window;

enum TDXDrawOption : uint32_t {
    doFullScreen = 1u << 0,
    doNoWindowChange = 1u << 1,
    doAllowReboot = 1u << 2,
    doWaitVBlank = 1u << 3,
    doSystemMemory = 1u << 4,
    doHardware = 1u << 5,
};

struct TDisplaySettings {
    int Width = 640;
    int Height = 480;
    int BitCount = 16;
    bool FixedBitCount = true;
    bool FixedRatio = true;
    bool FixedSize = true;
};

// No display mode satisfies the settings.
class EDisplayModeError : public Exception {
  public:
    using Exception::Exception;
};

class TDXDraw {
  public:
    explicit TDXDraw(Window* window) : window_(window) {}
    ~TDXDraw();
    TDXDraw(const TDXDraw&) = delete;
    TDXDraw& operator=(const TDXDraw&) = delete;

    uint32_t Options = doAllowReboot | doWaitVBlank;
    bool HasOption(TDXDrawOption o) const { return (Options & o) != 0; }
    TDisplaySettings Display;

    // Creates the back surface from Display (finalising first when needed),
    // enters full screen or the window as Options say, then calls
    // OnInitialize. In full screen the display mode is chosen by the mode
    // rules; when none qualifies, raises EDisplayModeError "Display mode
    // cannot be changed (WxH Dbit)" and stays finalised. A window takes any
    // depth the game draws in; others draw at 16 bits there.
    void Initialize();
    // Calls OnFinalize, then drops the back surface. Does nothing when not initialised.
    void Finalize();
    bool Initialized() const { return surface_ != nullptr; }
    // Whether drawing is possible now.
    bool CanDraw() const { return surface_ != nullptr; }

    Surface& BackSurface() { return *surface_; }
    int SurfaceWidth() const { return surface_ ? surface_->Width() : Display.Width; }
    int SurfaceHeight() const { return surface_ ? surface_->Height() : Display.Height; }
    int SurfaceBitCount() const { return surface_ ? surface_->BitCount() : Display.BitCount; }

    // Shows the back surface.
    void Flip();
    uint64_t FlipCount() const { return flips_; }

    // Palette for 8-bit modes: DefaultPalette is what UpdatePalette puts on
    // the surface.
    Palette DefaultPalette{};
    Palette ColorTable{};
    void UpdatePalette();

    // Components bound to the display (sprite engines, image lists) hear of
    // its surfaces: Initialize after the surface exists, Finalize before it
    // goes, Destroying when the display itself goes.
    enum class Notify { Initialize, Finalize, Destroying };
    using Listener = std::function<void(Notify)>;
    int RegisterNotify(Listener listener);
    void UnregisterNotify(int id);

    std::function<void()> OnInitialize;
    std::function<void()> OnFinalize;
    // Called at every flip with the finished frame, before it is shown.
    std::function<void()> OnBeforeFlip;

    Window* GetWindow() const { return window_; }

    // The screen without a window (headless).
    TScreenInfo SimulatedScreen;
    TScreenInfo Screen() const;
    // The whole factor the picture is shown at now.
    int Scale() const;

  private:
    Window* window_;
    void NotifyAll(Notify what);

    std::unique_ptr<Surface> surface_;
    uint64_t flips_ = 0;
    std::vector<std::pair<int, Listener>> listeners_;
    int nextListener_ = 1;
};

} // namespace varnok::platform
