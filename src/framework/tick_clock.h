// The clock that paces the service of the window while work runs: steady,
// in milliseconds. Windows: GetTickCount64 (the C++ library's steady_clock
// reads the threads library's clock_gettime there, which brings about 2.5 KB
// into the static stub). Linux: the library's steady_clock.
#pragma once

#include <chrono>

struct TickClock {
    using rep = long long;
    using period = std::milli;
    using duration = std::chrono::duration<rep, period>;
    using time_point = std::chrono::time_point<TickClock>;
    static constexpr bool is_steady = true;
    static time_point now() noexcept;
};
