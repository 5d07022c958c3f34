#pragma once
// Millisecond clock and delays. Delays sleep; nothing here spins.

#include <cstdint>

namespace platform {

// Monotonic milliseconds since an arbitrary start (the tick counter).
std::uint64_t TickCount();
// Sleeps for ms milliseconds.
void Delay(int ms);

}  // namespace platform
