#include "sim/Truth.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

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

double CoastingSeconds(const Profile& profile) {
  return profile.rotation.coastingMs / 1000.0;
}

int BrakingTenths(const Profile& profile) {
  return std::min(255, (profile.rotation.coastingMs + 50) / 100);
}

std::string RotationLine(const Profile& profile) {
  char line[160];
  std::snprintf(line, sizeof line,
                "anode coasting %.1f s (additional braking %d tenths at 0x21)  run-up %.1f s",
                CoastingSeconds(profile), BrakingTenths(profile),
                profile.rotation.runUpMs / 1000.0);
  return line;
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
