#pragma once
// TFilamentShot: the calibration's exposure, made whole in one call: a shot of 0.05 s with a given
// filament code, and the generator's measurement of it. Constructed without a code it only reads
// the results of the last exposure. The caller holds the device lock; the port stays open.

#include <cstdint>

#include "exposure/Snapshot.h"

namespace kvt {

class TFilamentShot : public TSystemLink {
 public:
  // Reads the supply value and the results of the last exposure.
  TFilamentShot();
  // Makes the whole exposure with filament code `code`; Ok tells whether it went through. A code
  // that 16 bits cannot carry makes no exposure.
  explicit TFilamentShot(int code, const ShotTimeLimits& limits = {});

  std::uint16_t In = 0;    // filament code
  std::uint16_t Time = 5;  // 0.01 s
  std::uint16_t Ud = 0;    // supply byte × 1.464
  int Uv = 0;              // kV
  int Ia = 0;              // mA
  int Re = 0;              // (supply byte − Uv) / Ia × 256
  float Kuan = 0;          // KUAN × 0.01
  bool Ok = false;

  ShotTimeLimits Limits;
  ShotFailure Failure = ShotFailure::None;

 private:
  bool ReadSupply();
  bool ReadResults();
  void Fail(ShotFailure why) {
    Ok = false;
    Failure = why;
  }
};

}  // namespace kvt
