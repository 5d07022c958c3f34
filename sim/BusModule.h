#pragma once
// A module on the simulated bus. It is selected by its address byte (ninth bit set), answers
// that byte with one byte, and then receives the frames whose header names it (high nibble).

#include <chrono>
#include <cstdint>
#include <vector>

namespace sim {

using SimClock = std::chrono::steady_clock;
using SimTime = SimClock::time_point;

class BusModule {
 public:
  virtual ~BusModule() = default;
  virtual std::uint8_t Address() const = 0;
  // The one byte a module answers its address with.
  virtual std::uint8_t AnswerAddress(SimTime at) = 0;
  // A complete frame (header first); the header alone is the state poll. `at` is when its last
  // byte arrived. Returns the reply (empty = no answer).
  virtual std::vector<std::uint8_t> HandleFrame(const std::vector<std::uint8_t>& frame,
                                                SimTime at) = 0;
};

}  // namespace sim
