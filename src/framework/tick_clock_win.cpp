// The pacing clock on Windows: the system's tick count.
#include "framework/tick_clock.h"

#include <windows.h>

TickClock::time_point TickClock::now() noexcept {
    return time_point(duration(static_cast<rep>(GetTickCount64())));
}
