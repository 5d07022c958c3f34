#pragma once
// The filament heating module behind the main controller: the heating current it drives for a
// code (03 48, 01 46, or half the range in standby heating), the small deviation of the current
// from the code with current feedback on, a larger one with it off (memory byte 0x034000 = 3),
// halved by the controller's program correction (byte 0x40 nonzero), and a little noise.

#include <cstdint>
#include <string>
#include <vector>

namespace platform {
class IniFile;
}

namespace sim {

// [Plant] keys of the heating module.
struct FilamentPlant {
  double error = 0.6;          // FilamentError: % the current runs below the code with feedback
  double openLoopError = 4.0;  // FilamentOpenLoopError: the same without feedback
  double noise = 0.15;         // FilamentNoise: +- % of full scale on every reading
};

void ReadFilamentPlant(const platform::IniFile& ini, FilamentPlant& plant,
                       std::vector<std::string>& warnings);

class Filament {
 public:
  Filament(const FilamentPlant& plant, bool k4);

  int MaxCode() const { return k4_ ? 2047 : 1023; }
  // The heating current in percent of full scale for the code now driven, and as its channel
  // measures it (with noise).
  double TruePercent(int code, bool feedback, bool correction) const;
  double Percent(int code, bool feedback, bool correction);
  // The two reading bytes of channel 02 (all types but K4): percent = (4 b2 + b3 - 512) * 20/103.
  std::vector<std::uint8_t> WideReading(double percent) const;
  // The one reading byte of channel 08 (K4): percent = b2 * 100 / 255.
  std::uint8_t K4Reading(double percent) const;

 private:
  FilamentPlant plant_;
  bool k4_;
  std::uint32_t rng_ = 0x2468ACEu;
};

}  // namespace sim
