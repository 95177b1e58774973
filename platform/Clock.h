#pragma once
// The one clock of the game: the millisecond tick count that timing, the frame
// timer and animations read. The real clock is SDL's millisecond counter; tests
// and the headless harness install a simulated clock that moves only when told.
#include <cstdint>

namespace varnok::platform {

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary start; wraps like a 32-bit tick count.
    virtual uint32_t Now() = 0;
};

class RealClock final : public Clock {
public:
    uint32_t Now() override;
};

class SimulatedClock final : public Clock {
public:
    explicit SimulatedClock(uint32_t start = 0) : now_(start) {}
    uint32_t Now() override { return now_; }
    void Advance(uint32_t ms) { now_ += ms; }
    void Set(uint32_t ms) { now_ = ms; }

private:
    uint32_t now_;
};

// The clock in force (the real clock unless another one was installed).
Clock& CurrentClock();
// Installs a clock; nullptr returns to the real clock. The caller keeps ownership.
void SetCurrentClock(Clock* clock);

// The system tick count and the multimedia clock; both read the clock in force.
inline uint32_t GetTickCount() { return CurrentClock().Now(); }
inline uint32_t TimeGetTime() { return CurrentClock().Now(); }

// Installs a clock for the lifetime of the object, then restores the previous one.
class ScopedClock {
public:
    explicit ScopedClock(Clock& clock) : previous_(&CurrentClock()) { SetCurrentClock(&clock); }
    ~ScopedClock() { SetCurrentClock(previous_); }
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;

private:
    Clock* previous_;
};

} // namespace varnok::platform
