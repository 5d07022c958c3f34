#include "sim/Plant.h"

#include <algorithm>
#include <cmath>

#include "sim/Physics.h"

namespace sim {
namespace {

// The emission an aged tube keeps, relative to a new one: the cathode loses more at low
// voltages, where the space charge matters most.
double EmissionFactor(double ageing, double kv) {
  return (1.0 - ageing) * (1.0 + 0.5 * ageing * (kv - 80.0) / 40.0);
}

}  // namespace

double Plant::TubeCurrent(int code, double kv) const {
  return physics::TubeCurrent(code, kv, k4_) * EmissionFactor(s_.tubeAgeing, kv);
}

double Plant::CodeForCurrent(double kv, double ma) const {
  double f = EmissionFactor(s_.tubeAgeing, kv);
  if (f <= 0) return 0.0;
  return physics::CodeForCurrent(kv, ma / f, k4_);
}

double Plant::Resistance(double kv) const {
  return physics::GeneratorResistance(kv) * (1.0 + s_.resistanceError);
}

double Plant::NoLoadKv() const {
  return physics::NoLoadKv(MainsVolts());
}

double Plant::HeatShotKv(int code) const {
  // f(U) = s - I(U) * Re(U) / 256 - U falls monotonically, so bisection finds its root.
  double s = NoLoadKv();
  double lo = 0.0;
  double hi = s;
  for (int i = 0; i < 60; ++i) {
    double mid = 0.5 * (lo + hi);
    double f = s - TubeCurrent(code, mid) * Resistance(mid) / 256.0 - mid;
    if (f > 0) {
      lo = mid;
    } else {
      hi = mid;
    }
  }
  return 0.5 * (lo + hi);
}

double Plant::SupplyReading(int kmes) const {
  return MainsVolts() * s_.mainsGain * kmes / 100.0 / physics::kSupplyVoltsPerUnit;
}

double Plant::RegulatedKv(double setKv, int kuan) const {
  double k = kuan > 0 ? kuan * 0.01 : 1.0;
  return setKv * k / s_.anodeGain;
}

double Plant::PhaseCode(int phase) const {
  int p = std::clamp(phase, 0, 2);
  return (s_.mainsVolts[p] - s_.phaseOffset[p]) / s_.phaseSlope[p];
}

}  // namespace sim
