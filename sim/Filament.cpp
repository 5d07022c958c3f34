#include "sim/Filament.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "platform/Ini.h"

namespace sim {

void ReadFilamentPlant(const platform::IniFile& ini, FilamentPlant& plant,
                       std::vector<std::string>& warnings) {
  auto number = [&](const char* key, double& out) {
    std::string v = ini.ReadString("Plant", key, "");
    if (std::size_t semi = v.find(';'); semi != std::string::npos) v.resize(semi);
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t' || v.back() == '\r')) v.pop_back();
    std::size_t b = v.find_first_not_of(" \t");
    v = b == std::string::npos ? std::string() : v.substr(b);
    if (v.empty()) return;
    double d = 0;
    auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), d);
    if (ec != std::errc() || p != v.data() + v.size() || !std::isfinite(d) || d < -50 || d > 50) {
      warnings.push_back("simulator.ini [Plant] " + std::string(key) + "=" + v +
                         ": expected a number from -50 to 50; the default is used");
      return;
    }
    out = d;
  };
  number("FilamentError", plant.error);
  number("FilamentOpenLoopError", plant.openLoopError);
  number("FilamentNoise", plant.noise);
  plant.noise = std::fabs(plant.noise);
}

Filament::Filament(const FilamentPlant& plant, bool k4) : plant_(plant), k4_(k4) {}

double Filament::TruePercent(int code, bool feedback, bool correction) const {
  double set = std::clamp(code, 0, MaxCode()) * 100.0 / MaxCode();
  double err = feedback ? plant_.error : plant_.openLoopError;
  if (correction) err *= 0.5;
  return set * (1.0 - err / 100.0);
}

double Filament::Percent(int code, bool feedback, bool correction) {
  double set = TruePercent(code, feedback, correction);
  if (set <= 0) return 0;
  rng_ = rng_ * 1103515245u + 12345u;
  double unit = double((rng_ >> 8) & 0xFFFF) / 65535.0;  // 0..1
  double noise = (2 * unit - 1) * plant_.noise;
  return std::max(0.0, set + noise);
}

std::vector<std::uint8_t> Filament::WideReading(double percent) const {
  int total = int(std::lround(percent * 103.0 / 20.0)) + 512;
  int hi = std::clamp(total / 4, 0, 255);
  int lo = std::clamp(total - 4 * hi, 0, 255);
  return {std::uint8_t(hi), std::uint8_t(lo)};
}

std::uint8_t Filament::K4Reading(double percent) const {
  return std::uint8_t(std::clamp(long(std::lround(percent * 255.0 / 100.0)), 0L, 255L));
}

}  // namespace sim
