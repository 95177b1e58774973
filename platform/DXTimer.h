#pragma once
// The frame timer. It ticks from the application's idle processing: every idle
// pass reads the clock and, when Interval has passed, calls OnTimer with the
// milliseconds since the previous tick (at least 1). It also measures the
// frame rate once a second.
#include <cstdint>
#include <functional>

namespace varnok::platform {

class Clock;

class TDXTimer {
public:
    using TimerEvent = std::function<void(uint32_t lagCount)>;

    // clock: the clock to read; nullptr means the clock in force at each read.
    explicit TDXTimer(Clock* clock = nullptr) : clock_(clock) {}

    bool Enabled() const { return enabled_; }
    // Enabling resets both time bases to the current clock; setting the value
    // the timer already has does nothing.
    void SetEnabled(bool value);

    uint32_t Interval() const { return interval_; }
    void SetInterval(uint32_t value);

    int FrameRate() const { return frameRate_; }

    TimerEvent OnTimer;

    // One idle pass. Returns true when a tick ran. Does nothing while disabled.
    bool Idle();

private:
    uint32_t Now() const;

    Clock* clock_;
    bool enabled_ = false;
    uint32_t interval_ = 0;
    uint32_t oldTime_ = 0;      // time of the previous tick
    uint32_t frameBase_ = 0;    // start of the current frame-rate measurement
    uint32_t frameCounter_ = 0; // ticks since frameBase_
    int frameRate_ = 0;
};

} // namespace varnok::platform
