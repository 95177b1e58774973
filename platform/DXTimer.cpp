#include "platform/DXTimer.h"

#include "common/Math.h"
#include "platform/Clock.h"

#include <algorithm>

namespace varnok::platform {

uint32_t TDXTimer::Now() const { return clock_ ? clock_->Now() : CurrentClock().Now(); }

void TDXTimer::SetEnabled(bool value) {
    if (enabled_ == value) return;
    enabled_ = value;
    if (enabled_) {
        oldTime_ = Now();
        frameBase_ = oldTime_;
        frameCounter_ = 0;
    }
}

void TDXTimer::SetInterval(uint32_t value) {
    if (interval_ == value) return;
    interval_ = value;
}

bool TDXTimer::Idle() {
    if (!enabled_) return false;
    const uint32_t t = Now();
    const uint32_t elapsed = t - oldTime_;
    if (elapsed < interval_) return false;
    oldTime_ = t;

    ++frameCounter_;
    const uint32_t measured = t - frameBase_;
    if (measured >= 1000) {
        frameRate_ = static_cast<int>(Round(frameCounter_ * 1000.0 / measured));
        frameCounter_ = 0;
        frameBase_ = t;
    }
    if (OnTimer) OnTimer(std::max<uint32_t>(elapsed, 1));
    return true;
}

} // namespace varnok::platform
