#pragma once
// The serial port seam's simulator backend: an in-process line to the simulated apparatus that
// carries the ninth bit of every byte (bytes written while the parity is mark are address bytes).
//
// Instant timing: replies are there at once and a read with nothing pending returns 0 at once.
// Realistic timing: every byte takes 11 bits at 2400 baud on the wire in both directions, a write
// returns once its last byte is on the wire, the controller answers after its latency once a frame
// is complete, and a read sleeps until the next byte arrives or its time-out passes.

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

#include "platform/SerialPort.h"
#include "sim/Apparatus.h"

namespace sim {

// 11 bits (start, 8 data, ninth bit, stop) at 2400 baud.
inline constexpr auto kByteTime = std::chrono::microseconds(4583);

class SimulatorBackend : public platform::SerialPort {
 public:
  explicit SimulatorBackend(std::shared_ptr<Apparatus> apparatus);

  bool Configure() override;
  bool SetParity(platform::Parity parity) override;
  platform::Parity CurrentParity() const override;
  bool Purge() override;
  int Write(const std::uint8_t* data, std::size_t count) override;
  int Read(std::uint8_t* dest, std::size_t max, int timeoutMs) override;

  Apparatus& Device() { return *apparatus_; }

 private:
  struct Pending {
    std::uint8_t byte;
    SimTime at;  // when the byte has fully arrived at the PC
  };

  std::shared_ptr<Apparatus> apparatus_;
  const Timing timing_;
  const std::chrono::milliseconds latency_;
  mutable std::mutex m_;
  std::condition_variable cv_;
  std::deque<Pending> rx_;
  platform::Parity parity_ = platform::Parity::Space;
  SimTime txFree_{};  // when the PC's transmitter has sent its last byte
  SimTime rxFree_{};  // when the apparatus's last reply byte is through
};

}  // namespace sim
