#include "app/ImageListBinding.h"

namespace varnok {

TImageListBinding::TImageListBinding(platform::TDXDraw& dxDraw, TDXImageList& list) : dxDraw_(&dxDraw), list_(list) {
    list_.SetDXDraw(this);
    listener_ = dxDraw.RegisterNotify([this](platform::TDXDraw::Notify what) {
        switch (what) {
        case platform::TDXDraw::Notify::Initialize: list_.DisplayInitialized(); break;
        case platform::TDXDraw::Notify::Finalize: list_.DisplayFinalized(); break;
        case platform::TDXDraw::Notify::Destroying:
            list_.DisplayFinalized();
            dxDraw_ = nullptr;
            break;
        }
    });
    if (dxDraw.Initialized()) list_.DisplayInitialized();
}

TImageListBinding::~TImageListBinding() {
    if (dxDraw_) dxDraw_->UnregisterNotify(listener_);
    list_.SetDXDraw(nullptr);
}

const platform::Palette* TImageListBinding::SurfacePalette() const {
    if (!dxDraw_ || !dxDraw_->Initialized() || dxDraw_->BackSurface().BitCount() != 8) return nullptr;
    palette_ = dxDraw_->BackSurface().GetPalette();
    return &palette_;
}

} // namespace varnok
