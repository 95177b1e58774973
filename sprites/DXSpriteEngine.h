#pragma once
// The sprite engine component of the main window: owns one sprite engine and
// binds it to the display, so that its sprites draw on the display's back
// surface while the display is initialised.
#include "sprites/Sprite.h"

namespace varnok {

namespace platform {
class TDXDraw;
}

class TDXSpriteEngine {
public:
    TDXSpriteEngine() = default;
    ~TDXSpriteEngine();
    TDXSpriteEngine(const TDXSpriteEngine&) = delete;
    TDXSpriteEngine& operator=(const TDXSpriteEngine&) = delete;

    TSpriteEngine& Engine() { return engine_; }
    platform::TDXDraw* DXDraw() const { return dxDraw_; }
    void SetDXDraw(platform::TDXDraw* dxDraw);

    void Move(int32_t moveCount) { engine_.Move(moveCount); }
    void RemoveDead() { engine_.RemoveDead(); }
    // Draws only while bound to an initialised display; the underlay (see
    // TSpriteEngine::Draw) is told the cover on that display's back surface,
    // or of no cover when the sprites are not drawn.
    void Draw(const TSpriteEngine::Underlay& underlay = {});

private:
    TSpriteEngine engine_;
    platform::TDXDraw* dxDraw_ = nullptr;
    int listener_ = 0;
};

} // namespace varnok
