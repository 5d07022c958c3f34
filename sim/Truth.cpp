#include "sim/Truth.h"

#include <algorithm>
#include <cmath>

#include "sim/Plant.h"

namespace sim::truth {
namespace {

Plant PlantOf(const Profile& p) {
  return Plant(p.plant, p.type == "K4");
}

}  // namespace

double FilamentCode(const Profile& profile, double kv, double ma) {
  return PlantOf(profile).CodeForCurrent(kv, ma);
}

double Resistance(const Profile& profile, double kv) {
  return PlantOf(profile).Resistance(kv);
}

double Kuan(const Profile& profile) {
  return 100.0 * profile.plant.anodeGain;
}

double Kmes(const Profile& profile) {
  return 100.0 / profile.plant.mainsGain;
}

PhaseCoefficients Phase(const Profile& profile, int phase) {
  int i = std::clamp(phase, 0, 2);
  return {128.0 * profile.plant.phaseSlope[i], -128.0 * profile.plant.phaseOffset[i]};
}

int PhaseCodeAt(const Profile& profile, int phase, double volts) {
  int i = std::clamp(phase, 0, 2);
  double code = (volts - profile.plant.phaseOffset[i]) / profile.plant.phaseSlope[i];
  return std::clamp(static_cast<int>(std::lround(code)), 0, 255);
}

}  // namespace sim::truth
