#include "platform/DXDraw.h"

#include "platform/Window.h"

namespace varnok::platform {

TDXDraw::~TDXDraw() {
    NotifyAll(Notify::Destroying);
}

int TDXDraw::RegisterNotify(Listener listener) {
    listeners_.emplace_back(nextListener_, std::move(listener));
    return nextListener_++;
}

void TDXDraw::UnregisterNotify(int id) {
    for (auto it = listeners_.begin(); it != listeners_.end(); ++it)
        if (it->first == id) {
            listeners_.erase(it);
            return;
        }
}

void TDXDraw::NotifyAll(Notify what) {
    // A listener may unregister itself while being told.
    const auto copy = listeners_;
    for (const auto& [id, listener] : copy)
        listener(what);
}

TScreenInfo TDXDraw::Screen() const {
    return window_ ? window_->Screen() : SimulatedScreen;
}

int TDXDraw::Scale() const {
    if (window_) return window_->Scale();
    if (HasOption(doFullScreen))
        return FitPicture(SimulatedScreen.Width, SimulatedScreen.Height, Display.Width, Display.Height).Scale;
    return ComfortableScale(SimulatedScreen.UsableWidth, SimulatedScreen.UsableHeight, Display.Width,
                            Display.Height, 0);
}

void TDXDraw::Initialize() {
    if (surface_) Finalize();
    int bits = Display.BitCount;
    const bool fullScreen = HasOption(doFullScreen);
    if (fullScreen) {
        const TModeRequest request{Display.Width,         Display.Height,     Display.BitCount,
                                   Display.FixedBitCount, Display.FixedRatio, Display.FixedSize};
        const auto mode = FindDisplayMode(FullScreenModes(Screen(), Display.Width, Display.Height), request);
        if (!mode) throw EDisplayModeError(ModeFailureText(request));
        bits = mode->BitCount;
    } else if (bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        bits = 16;
    }
    if (window_) window_->SetFullScreen(fullScreen);
    surface_ = std::make_unique<Surface>(Display.Width, Display.Height, bits);
    surface_->Fill(0);
    if (bits == 8) UpdatePalette();
    NotifyAll(Notify::Initialize);
    if (OnInitialize) OnInitialize();
}

void TDXDraw::Finalize() {
    if (!surface_) return;
    if (OnFinalize) OnFinalize();
    NotifyAll(Notify::Finalize);
    surface_.reset();
}

void TDXDraw::Flip() {
    if (!surface_) return;
    ++flips_;
    if (OnBeforeFlip) OnBeforeFlip();
    if (window_) window_->Present(*surface_);
}

void TDXDraw::UpdatePalette() {
    if (surface_ && surface_->BitCount() == 8) surface_->SetPalette(DefaultPalette);
}

} // namespace varnok::platform
