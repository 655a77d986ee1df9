// The pacing clock on Linux: the library's steady clock.
#include "framework/tick_clock.h"

TickClock::time_point TickClock::now() noexcept {
    return time_point(std::chrono::duration_cast<duration>(std::chrono::steady_clock::now().time_since_epoch()));
}
