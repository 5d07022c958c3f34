#pragma once
// What the exact settings of the simulated apparatus would be: the values an adjustment or a
// calibration done perfectly on the plant arrives at. Trainers and tests compare a procedure's
// result with these (`kvtctl sim-truth` prints them).

#include <string>
#include <vector>

#include "sim/Profile.h"

namespace sim::truth {

// The filament code the tube truly needs for ma at kv (not rounded).
double FilamentCode(const Profile& profile, double kv, double ma);
// The generator's true resistance figure at kv, in the units of the resistance table.
double Resistance(const Profile& profile, double kv);
// The exact anode-voltage channel coefficient (KUAN, hundredths; not rounded).
double Kuan(const Profile& profile);
// The exact mains channel coefficient (KMES; not rounded).
double Kmes(const Profile& profile);

// The anode's coasting with braking on, from the start of the additional braking to rest (s),
// and the additional braking time in tenths that ends just as it stops (the byte at 0x21).
double CoastingSeconds(const Profile& profile);
int BrakingTenths(const Profile& profile);
// One line for a trainer: coasting, its braking time and the run-up time.
std::string RotationLine(const Profile& profile);

// K4: the coefficients of a phase channel (0 A, 1 B, 2 C) with which the controller's
// U = (code * A - B) / 128 reads the phase voltage exactly.
struct PhaseCoefficients {
  double a = 0;
  double b = 0;
};
PhaseCoefficients Phase(const Profile& profile, int phase);

// The converter code a phase gives at a voltage (rounded as the converter does).
int PhaseCodeAt(const Profile& profile, int phase, double volts);

}  // namespace sim::truth
