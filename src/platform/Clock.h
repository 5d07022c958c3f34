#pragma once
// Millisecond clock and delays. Delays sleep; nothing here spins.

#include <cstdint>
#include <ctime>

namespace platform {

// Monotonic milliseconds since an arbitrary start (the tick counter).
std::uint64_t TickCount();
// Sleeps for ms milliseconds.
void Delay(int ms);
// The calendar time t in UTC (thread-safe, unlike std::gmtime).
std::tm UtcTime(std::time_t t);

}  // namespace platform
