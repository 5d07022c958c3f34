#include "sim/VoltageMeter.h"

#include <algorithm>
#include <cmath>

namespace sim {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kMainsHz = 50.0;
// Channel 1 divider: a sample of (byte - 128) stands for 2.5 * 0.483 kV.
constexpr double kKvPerUnit = 2.5 * 0.483;

std::uint8_t ToSample(double v) {
  return static_cast<std::uint8_t>(std::clamp(static_cast<int>(std::lround(128.0 + v)), 1, 255));
}

// The r.m.s. reading (in channel units) whose calibration curve gives `volts`; the program
// evaluates 0.000367773 u^2 + 0.930747 u + 0.923694 with u = 2.5 r.
double MainsRmsUnits(double volts) {
  const double a = 0.000367773;
  const double b = 0.930747;
  const double c = 0.923694 - volts;
  double u = (-b + std::sqrt(std::max(0.0, b * b - 4 * a * c))) / (2 * a);
  return u / 2.5;
}

}  // namespace

std::vector<std::uint8_t> VoltageMeterModule::Reply(std::uint8_t code,
                                                    std::vector<std::uint8_t> data) const {
  data.insert(data.begin(), {std::uint8_t{0x11}, code});
  return data;
}

int VoltageMeterModule::SampleCount() const {
  return std::clamp(points_ * time_ * 10, 1, 4096);
}

void VoltageMeterModule::RecordMains() {
  int n = SampleCount();
  double amp = MainsRmsUnits(controller_.MainsVolts()) * std::sqrt(2.0);
  recording_.assign(static_cast<std::size_t>(n), 128);
  for (int j = 0; j < n; ++j) {
    double t = j / (points_ * 1000.0);
    recording_[j] = ToSample(amp * std::sin(2 * kPi * kMainsHz * t + 0.3));
  }
}

void VoltageMeterModule::OnShot(const ShotResult& shot) {
  if (!armed_ || armedChannel_ != 1) return;
  int n = SampleCount();
  double amp = shot.kv / kKvPerUnit;
  recording_.assign(static_cast<std::size_t>(n), 128);
  for (int j = 0; j < n; ++j) {
    double t = j / (points_ * 1000.0);
    if (t * 1000.0 > shot.durationMs) break;
    recording_[j] = ToSample(amp * std::sin(2 * kPi * kMainsHz * t));
  }
  armed_ = false;
  status_ = 2;
}

std::vector<std::uint8_t> VoltageMeterModule::HandleFrame(const std::vector<std::uint8_t>& f,
                                                          SimTime) {
  if (f.size() == 1) return {status_};
  const std::uint8_t cmd = f[1];
  const std::size_t params = f.size() - 2;
  switch (cmd) {
    case 0x40:  // reset
      armed_ = false;
      status_ = 0;
      recording_.clear();
      return Reply(0xE1);
    case 0x03:  // configure
      if (params != 4 || f[2] < 1 || f[2] > 3 || f[3] == 0 || f[4] == 0) break;
      channel_ = f[2];
      time_ = f[3];
      points_ = f[4];
      bits_ = f[5];
      return Reply(0xE0, {channel_, time_, points_, bits_});
    case 0x41:  // record at once
      if (params != 0) break;
      armed_ = false;
      if (channel_ == 2) {
        RecordMains();
      } else {
        recording_.assign(static_cast<std::size_t>(SampleCount()), 128);
      }
      status_ = 2;
      return Reply(0xE0);
    case 0x42:  // arm on a level
      if (params != 3 || f[2] < 1 || f[2] > 3) break;
      armedChannel_ = f[2];
      if (armedChannel_ == 2) {
        // The mains crosses any level within a period: the recording is there at once.
        RecordMains();
        status_ = 2;
      } else {
        armed_ = true;
        status_ = 1;
      }
      return Reply(0xE0);
    case 0x24:  // settings
      if (params != 0) break;
      return Reply(0xE0, {channel_, time_, points_, bits_});
    case 0x30: {  // read samples
      if (params != 3) break;
      std::size_t n = static_cast<std::size_t>(f[3] << 8 | f[4]);
      std::vector<std::uint8_t> data(n, 128);
      if (f[2] == channel_ || f[2] == armedChannel_) {
        std::copy_n(recording_.begin(), std::min(n, recording_.size()), data.begin());
      }
      return Reply(0xB0, data);
    }
    default:
      break;
  }
  return Reply(0xFC);
}

}  // namespace sim
