#pragma once
// The true apparatus behind the simulator's stored settings: the X-ray tube as it has aged, the
// generator's true resistance, the true gains of the measuring channels, the mains and the K4
// phase converters. Everything here is exact (no noise); the controller adds the regulation
// error and the measurement noise when it reads.

#include "sim/Profile.h"

namespace sim {

class Plant {
 public:
  Plant(const PlantSettings& settings, bool k4) : s_(settings), k4_(k4) {}

  const PlantSettings& Settings() const { return s_; }
  bool K4() const { return k4_; }

  // Anode current in mA at a filament code and anode voltage (kV).
  double TubeCurrent(int code, double kv) const;
  // The filament code that truly gives ma at kv (not rounded).
  double CodeForCurrent(double kv, double ma) const;
  // The generator's true equivalent resistance figure at kv.
  double Resistance(double kv) const;
  // The mains the controller's supply channel sees (K4: phase A), volts.
  double MainsVolts() const { return s_.mainsVolts[0]; }
  // No-load anode voltage in kV: what an exact supply reading shows.
  double NoLoadKv() const;
  // Anode voltage of an unregulated shot by filament code: Uv = s - I(code, Uv) * Re(Uv) / 256.
  double HeatShotKv(int code) const;
  // The supply reading (before rounding) with KMES in the controller's memory.
  double SupplyReading(int kmes) const;
  // The raw anode-voltage reading of a true voltage.
  double AnodeReading(double kv) const { return kv * s_.anodeGain; }
  // The true voltage a regulated shot reaches when the controller aims its own reading divided
  // by KUAN at setKv.
  double RegulatedKv(double setKv, int kuan) const;
  // K4: converter code of a phase (0 A, 1 B, 2 C) at its present voltage (before rounding).
  double PhaseCode(int phase) const;

 private:
  PlantSettings s_;
  bool k4_;
};

}  // namespace sim
