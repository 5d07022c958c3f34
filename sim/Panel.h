#pragma once
// The operator console's side of the main controller: the footboard and door drive outputs, the
// exposure values the console shows, the acknowledgement after a cancelled shot, and the three
// counters in packed BCD. The stored exposure programs live in bank 4 of the memory (ProgramIndex).

#include <cstdint>
#include <optional>
#include <vector>

namespace sim {

enum class FootboardMotion { Stopped, Up, Down };

// What the console's outputs do now, for tests and training scenarios.
struct PanelOutputs {
  FootboardMotion footboard = FootboardMotion::Stopped;
  bool doorOpen = false;
  int doorMoves = 0;           // door drive commands received
  int cancelAcks = 0;          // 01 54 received
  bool cancelPending = false;  // a shot was cancelled or stopped and 01 54 has not followed yet
};

// The exposure values the console shows (03 21 09 37): kV, mA, time in 0.01 s.
struct PanelValues {
  int kv = 80;
  int ma = 100;
  int time = 6;
};

class Panel {
 public:
  using Bytes = std::vector<std::uint8_t>;

  // The data bytes of the reply to a console command (01 4E, 4F, 50, 51, 54), or nothing when the
  // command is not the console's.
  std::optional<Bytes> Command(std::uint8_t cmd);
  // A shot was cancelled (01 4A) or stopped (01 53): the console waits for 01 54.
  void ShotCancelled() { outputs_.cancelPending = true; }

  // The values shown: the last accepted parameter set, or the factory values.
  void Show(const PanelValues& values) { shown_ = values; }
  const PanelValues& Shown() const { return shown_; }
  // Data bytes of the reply to 03 21 09 37: kV in byte 3, mA in byte 4, time in bytes 9 and 10 of
  // the whole reply.
  Bytes ShownValuesReply() const;

  const PanelOutputs& Outputs() const { return outputs_; }

  // Ten packed BCD digits, high nibble first (the value modulo 10^10).
  static Bytes Bcd5(std::uint64_t value);
  // The working time counter in the console's hours-and-minutes digits (h...hmm).
  static std::uint64_t WorkTimeDigits(double seconds);

 private:
  PanelOutputs outputs_;
  PanelValues shown_;
};

}  // namespace sim
