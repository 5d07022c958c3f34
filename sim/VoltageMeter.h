#pragma once
// The reference voltage meter module (bus address 0x10): a three-channel sampling recorder.
// Channel 1 sees the anode voltage through its divider (it records an exposure when armed),
// channel 2 the mains, channel 3 nothing connected.

#include <cstdint>
#include <vector>

#include "sim/BusModule.h"
#include "sim/MainController.h"

namespace sim {

class VoltageMeterModule : public BusModule {
 public:
  explicit VoltageMeterModule(const MainController& controller) : controller_(controller) {}

  std::uint8_t Address() const override { return 0x10; }
  std::uint8_t AnswerAddress(SimTime) override { return Address(); }
  std::vector<std::uint8_t> HandleFrame(const std::vector<std::uint8_t>& frame,
                                        SimTime at) override;
  // The main controller finished a shot.
  void OnShot(const ShotResult& shot);

  const std::vector<std::uint8_t>& Recording() const { return recording_; }

 private:
  std::vector<std::uint8_t> Reply(std::uint8_t code, std::vector<std::uint8_t> data = {}) const;
  int SampleCount() const;
  void RecordMains();

  const MainController& controller_;
  std::uint8_t channel_ = 1;
  std::uint8_t time_ = 9;    // 10 ms units
  std::uint8_t points_ = 5;  // per ms
  std::uint8_t bits_ = 8;
  bool armed_ = false;
  std::uint8_t armedChannel_ = 1;
  std::uint8_t status_ = 0;  // 0 idle, 1 armed, 2 recording held
  std::vector<std::uint8_t> recording_;
};

}  // namespace sim
