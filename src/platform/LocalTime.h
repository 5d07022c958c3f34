#pragma once
// The wall clock in local time, broken into its fields: names of backup files and the time
// stamps of the serial trace.

#include <chrono>

namespace platform {

struct LocalDateTime {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

LocalDateTime ToLocal(std::chrono::system_clock::time_point when);
inline LocalDateTime LocalNow() {
  return ToLocal(std::chrono::system_clock::now());
}

}  // namespace platform
