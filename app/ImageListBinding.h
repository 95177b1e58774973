#pragma once
// Binds an image list to the display: the list builds its pattern surfaces
// for the display's pixel format when the display is initialised and drops
// them when it is finalised.
#include "level/ImageList.h"
#include "platform/DXDraw.h"

namespace varnok {

class TImageListBinding final : public TPictureDisplay {
public:
    TImageListBinding(platform::TDXDraw& dxDraw, TDXImageList& list);
    ~TImageListBinding() override;
    TImageListBinding(const TImageListBinding&) = delete;
    TImageListBinding& operator=(const TImageListBinding&) = delete;

    bool Initialized() const override { return dxDraw_ && dxDraw_->Initialized(); }
    int SurfaceBitCount() const override { return dxDraw_ ? dxDraw_->SurfaceBitCount() : 16; }
    const platform::Palette* SurfacePalette() const override;

private:
    platform::TDXDraw* dxDraw_;
    TDXImageList& list_;
    int listener_ = 0;
    mutable platform::Palette palette_{};
};

} // namespace varnok
