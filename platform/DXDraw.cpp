#include "platform/DXDraw.h"

#include "platform/Window.h"

namespace varnok::platform {

TDXDraw::~TDXDraw() = default;

void TDXDraw::Initialize() {
    if (surface_) Finalize();
    surface_ = std::make_unique<Surface>(Display.Width, Display.Height, Display.BitCount);
    surface_->Fill(0);
    if (Display.BitCount == 8) UpdatePalette();
    if (OnInitialize) OnInitialize();
}

void TDXDraw::Finalize() {
    if (!surface_) return;
    if (OnFinalize) OnFinalize();
    surface_.reset();
}

void TDXDraw::Flip() {
    if (!surface_) return;
    ++flips_;
    if (window_) window_->Present(*surface_);
}

void TDXDraw::UpdatePalette() {
    if (surface_ && surface_->BitCount() == 8) surface_->SetPalette(DefaultPalette);
}

} // namespace varnok::platform
