#pragma once
// The anode rotation drive behind the main controller: the driver's own run-up and braking
// (01 41, 01 42) with their state codes and times, the stator current its measuring channel
// reads in every mode, the anode coasting to a stop, the driver's supervision of the stator
// current against the four boundaries in the configuration memory, and the faults to train on.
//
// Drive states (query 03 21 01 29): 0 idle, 1 running up, 8 at speed / done, 2 braking, then
// additional braking (3 on a K4, 4 on the others) for the stored time, then 8 again.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sim/BusModule.h"
#include "sim/Sequence.h"

namespace platform {
class IniFile;
}

namespace sim {

class Memory;

enum class StatorFault {
  None,
  OpenWinding,     // no stator current at all
  ShortedWinding,  // run-up draws what braking should, and the other way round
  OverRange,       // the currents exceed the channel's range; an overflowing reading shows 0
};

// [Plant] keys of the rotation drive; 0 for a current means the system type's own value.
struct RotationPlant {
  double runUpCurrent = 0;    // StatorRunUp: channel reading while running up (K2 70, K4 150)
  double brakingCurrent = 0;  // StatorBraking: while braking (K2 118, K4 95: K4 reads lower)
  int currentNoise = 6;       // StatorNoise: +- this much on every reading
  double statorGain = 1.0;    // StatorGain: the channel's gain; above 255 the reading overflows
  int coastingMs = 4200;      // CoastingTime (s): from the start of additional braking to a stop
  int runUpMs = 1200;         // RunUpTime (s): the anode from rest to full speed
  StatorFault fault = StatorFault::None;  // set by tests; the [Plant] key is the plant's own
};

// Reads the keys above from [Plant]; bad values keep their defaults and add a warning.
void ReadRotationPlant(const platform::IniFile& ini, RotationPlant& plant,
                       std::vector<std::string>& warnings);

class RotationDrive {
 public:
  // alarm: raises an alarm of the controller (code, when).
  RotationDrive(const RotationPlant& plant, bool k4, Memory& memory,
                std::function<void(std::uint8_t, SimTime)> alarm);

  void CatchUp(SimTime now) { drive_.CatchUp(now); }
  // The state the query answers; in instant timing each query moves the drive on by one step.
  std::uint8_t Query(SimTime at, bool instant);
  std::uint8_t State() const { return drive_.State(); }
  void RunUp(SimTime at);
  // A run-up that breaks off half-way with an alarm (a trainer's scheduled alarm).
  void RunUpBrokenOff(SimTime at, std::function<void(SimTime)> alarm);
  void Brake(SimTime at);
  // The apparatus was switched off: the drive stops at once.
  void Stop();
  // Direct mode output of a K4 (03 00 B4 m: 1 run-up, 2 braking, 0 off).
  void SetK4Mode(int mode) { k4Mode_ = mode; }
  // A fault the trainer sets while the simulator runs; it wins over the profile's own.
  void SetLiveFault(std::function<StatorFault()> fault) { liveFault_ = std::move(fault); }

  // The stator current channel's reading now (02 43 01, or 02 43 0C on a K4).
  std::uint8_t ReadCurrent();
  // Additional braking, in tenths of a second, that stops the anode just as the driver lets go.
  int TrueBrakingTenths() const;
  // Whether the anode still turns (the engineer listens for its bearings).
  bool AnodeTurning(SimTime now) const;
  // The anode's speed now, 0..1 of full speed.
  double AnodeSpeed(SimTime now) const;
  // When the last coasting came to rest, in ms after its additional braking began (or after
  // the braking or let-go that started it, when it had none); -1 while the anode turns or when
  // it has not coasted since it last ran up.
  int StoppedAfterMs(SimTime now) const;
  // The anode runs up for a shot and brakes after it; the controller does this itself, without
  // the driver's run of states that 01 41 and 01 42 start.
  void ShotRunUp(SimTime at);
  void ShotBrake(SimTime at);

 private:
  enum class Mode { Off, RunUp, Braking };
  Mode CurrentMode() const;
  double ModeCurrent(Mode mode) const;
  // The driver checks the current of `mode` a moment after it applies it.
  bool WithinBoundaries(Mode mode) const;
  // The driver's check at the end of the run-up or the main braking: a stator current outside
  // its boundaries stops the drive, lets the anode coast and raises the anode alarm.
  std::function<void(SimTime)> Supervision(Mode mode);
  int Noise(int amplitude);
  StatorFault Fault() const;

  RotationPlant plant_;
  std::function<StatorFault()> liveFault_;
  bool k4_;
  Memory& mem_;
  std::function<void(std::uint8_t, SimTime)> alarm_;
  Sequence drive_;
  int k4Mode_ = 0;
  // The anode's motion: speed0 at t0 changing by rate per ms, and from switchAt (if set) by
  // rateAfter; the speed stays within 0..1.
  struct Motion {
    SimTime t0{};
    double speed0 = 0;
    double rate = 0;
    std::optional<SimTime> switchAt;
    double rateAfter = 0;
  };
  double BrakingRate() const;
  double FreeRate() const { return BrakingRate() / 4; }
  // From `at` on, the speed changes by rate (then by rateAfter from switchAt).
  void Move(SimTime at, double rate, std::optional<SimTime> switchAt = {}, double rateAfter = 0);
  SimTime StopsAt() const;
  Motion motion_;
  // Where the clock of the last coasting starts (unset while running up or at speed).
  std::optional<SimTime> coastFrom_;
  std::uint32_t rng_ = 0x1234567u;
};

}  // namespace sim
