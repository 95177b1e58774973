#include "sprites/DXSpriteEngine.h"

#include "platform/DXDraw.h"

namespace varnok {

TDXSpriteEngine::~TDXSpriteEngine() { SetDXDraw(nullptr); }

void TDXSpriteEngine::SetDXDraw(platform::TDXDraw* dxDraw) {
    if (dxDraw_ == dxDraw) return;
    if (dxDraw_) dxDraw_->UnregisterNotify(listener_);
    dxDraw_ = dxDraw;
    listener_ = 0;
    engine_.SetSurface(nullptr);
    if (!dxDraw_) return;
    listener_ = dxDraw_->RegisterNotify([this](platform::TDXDraw::Notify what) {
        switch (what) {
        case platform::TDXDraw::Notify::Initialize: engine_.SetSurface(&dxDraw_->BackSurface()); break;
        case platform::TDXDraw::Notify::Finalize: engine_.SetSurface(nullptr); break;
        case platform::TDXDraw::Notify::Destroying:
            engine_.SetSurface(nullptr);
            dxDraw_ = nullptr;
            listener_ = 0;
            break;
        }
    });
    if (dxDraw_->Initialized()) engine_.SetSurface(&dxDraw_->BackSurface());
}

void TDXSpriteEngine::Draw(const TSpriteEngine::Underlay& underlay) {
    if (dxDraw_ && dxDraw_->Initialized())
        engine_.Draw(underlay);
    else if (underlay)
        underlay({});
}

} // namespace varnok
