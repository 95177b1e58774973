#include "platform/Clock.h"

#include <SDL_timer.h>

namespace varnok::platform {

namespace {
RealClock& TheRealClock() {
    static RealClock clock;
    return clock;
}
Clock* g_clock = nullptr;
} // namespace

uint32_t RealClock::Now() { return SDL_GetTicks(); }

Clock& CurrentClock() { return g_clock ? *g_clock : TheRealClock(); }

void SetCurrentClock(Clock* clock) { g_clock = clock; }

} // namespace varnok::platform
