#include "platform/LocalTime.h"

#include <ctime>

namespace platform {

LocalDateTime ToLocal(std::chrono::system_clock::time_point when) {
  using namespace std::chrono;
  const auto ms = duration_cast<milliseconds>(when.time_since_epoch()).count() % 1000;
  const std::time_t t = system_clock::to_time_t(when);
  std::tm tm{};
  // std::localtime shares one buffer between threads; the trace runs on worker threads too.
#ifdef _WIN32
  localtime_s(&tm, &t);
#else
  localtime_r(&t, &tm);
#endif
  LocalDateTime out;
  out.year = tm.tm_year + 1900;
  out.month = tm.tm_mon + 1;
  out.day = tm.tm_mday;
  out.hour = tm.tm_hour;
  out.minute = tm.tm_min;
  out.second = tm.tm_sec;
  // Times before 1970 give a negative remainder; there are none here, but keep it a field.
  out.millisecond = int(ms < 0 ? ms + 1000 : ms);
  return out;
}

}  // namespace platform
