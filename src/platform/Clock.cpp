#include "platform/Clock.h"

#include <chrono>
#include <thread>

namespace platform {

std::uint64_t TickCount() {
  using namespace std::chrono;
  return static_cast<std::uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void Delay(int ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::tm UtcTime(std::time_t t) {
  std::tm utc{};
#ifdef _WIN32
  gmtime_s(&utc, &t);
#else
  gmtime_r(&t, &utc);
#endif
  return utc;
}

}  // namespace platform
