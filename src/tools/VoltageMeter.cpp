#include "tools/VoltageMeter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace kvt {

namespace {

constexpr std::uint8_t kHeader = 0x11;
constexpr std::uint8_t kReset = 0x40;
constexpr std::uint8_t kConfigure = 0x03;
constexpr std::uint8_t kRecord = 0x41;
constexpr std::uint8_t kArm = 0x42;
constexpr std::uint8_t kSettings = 0x24;
constexpr std::uint8_t kSamples = 0x30;
constexpr std::uint8_t kReplyReset = 0xE1;
constexpr std::uint8_t kReplyOk = 0xE0;
constexpr std::uint8_t kReplySamples = 0xB0;

// The integration runs over 400 samples, 0.2 ms apart whatever the sample rate: 80 ms, four
// periods of the mains.
constexpr std::size_t kIntegrationSamples = 400;
constexpr double kStepMs = 0.2;
constexpr double kWindowMs = 80.0;

bool FitsByte(int v) {
  return v >= 0 && v <= 0xFF;
}
int V(std::uint8_t s) {
  return int(s) - 128;
}
bool Positive(std::uint8_t s) {
  return s > 128;
}
bool Crossing(std::uint8_t a, std::uint8_t b) {
  return Positive(a) != Positive(b);
}
// The index right after the k-th crossing (k >= 1); 0 when there are fewer crossings.
std::size_t AfterCrossing(const std::vector<std::uint8_t>& s, int k) {
  int seen = 0;
  for (std::size_t i = 0; i + 1 < s.size(); ++i) {
    if (Crossing(s[i], s[i + 1]) && ++seen == k) return i + 1;
  }
  return 0;
}

}  // namespace

TVoltageMeter::TVoltageMeter() {
  SelectModule(kVoltageMeterAddress);
  WriteBytes({0x10});
  Read(1);
  Present = LastCount() == 1;
}

TVoltageMeter::~TVoltageMeter() {
  // The bus goes back to the main controller before the caller lets the lock go.
  SelectModule(kMainControllerAddress);
}

bool TVoltageMeter::Exchange(std::initializer_list<std::uint8_t> frame, std::uint32_t chunk) {
  const std::vector<std::uint8_t> bytes(frame);
  Write(std::uint32_t(bytes.size()), bytes.data());
  if (!LastOk()) return false;
  Read(chunk);
  return LastOk();
}

bool TVoltageMeter::Reset() {
  return Exchange({0x11, kReset}, 2) && LastCount() == 2 && rxBuffer_[0] == kHeader &&
         rxBuffer_[1] == kReplyReset;
}

bool TVoltageMeter::Configure(int channel, int time, int points, int bits) {
  if (!FitsByte(channel) || !FitsByte(time) || !FitsByte(points) || !FitsByte(bits)) return false;
  Channel = std::uint8_t(channel);
  MeasureTime = std::uint8_t(time);
  PointsPerMs = std::uint8_t(points);
  DataBits = std::uint8_t(bits);
  return Exchange({0x15, kConfigure, Channel, MeasureTime, PointsPerMs, DataBits}, 6) &&
         LastCount() == 6;
}

bool TVoltageMeter::StartRecording() {
  return Exchange({0x11, kRecord}, 2) && LastCount() == 2 && rxBuffer_[0] == kHeader &&
         rxBuffer_[1] == kReplyOk;
}

bool TVoltageMeter::ArmTrigger(int channel, std::uint8_t level) {
  if (!FitsByte(channel)) return false;
  return Exchange({0x14, kArm, std::uint8_t(channel), level, 0x00}, 2) && LastCount() == 2;
}

bool TVoltageMeter::ReadSettings() {
  if (!Exchange({0x11, kSettings}, 6) || LastCount() != 6) return false;
  Channel = rxBuffer_[2];
  MeasureTime = rxBuffer_[3];
  PointsPerMs = rxBuffer_[4];
  DataBits = rxBuffer_[5];
  return true;
}

bool TVoltageMeter::ReadSamples(int channel, int n) {
  // More samples than the receive buffer holds would come back cut short.
  if (!FitsByte(channel) || n < 0 || n > kMaxSamples) return false;
  if (!Exchange({0x14, kSamples, std::uint8_t(channel), std::uint8_t(n >> 8), std::uint8_t(n)},
                std::uint32_t(n) + 2))
    return false;
  if (LastCount() != std::uint32_t(n) + 2 || rxBuffer_[0] != kHeader ||
      rxBuffer_[1] != kReplySamples)
    return false;
  Samples.assign(rxBuffer_.begin() + 2, rxBuffer_.begin() + 2 + n);
  return true;
}

std::uint8_t TVoltageMeter::LevelByte(int level) {
  return std::uint8_t(std::clamp(level, -127, 127) + 128);
}

double TVoltageMeter::RmsUnits(const std::vector<std::uint8_t>& s) {
  if (s.size() < 2) return 0.0;
  const std::size_t z = AfterCrossing(s, 1);
  // Segments i..i+1 for i from z up to z + 398, as far as the recording goes.
  const std::size_t end = std::min(z + kIntegrationSamples - 1, s.size() - 1);
  if (end <= z) return 0.0;
  double sum = 0;
  double x0 = 0;
  double x1 = 0;
  bool split = false;
  std::size_t i = z;
  while (i < end) {
    double y0;
    double y1;
    if (split) {
      // The rest of a segment cut at its zero crossing.
      y0 = 0;
      x0 = x1;
      y1 = V(s[i + 1]);
      x1 = double(i + 1) * kStepMs;
      split = false;
    } else {
      y0 = V(s[i]);
      y1 = V(s[i + 1]);
      x0 = double(i) * kStepMs;
      x1 = double(i + 1) * kStepMs;
    }
    if ((y0 > 0 && y1 < 0) || (y0 < 0 && y1 > 0)) {
      x1 = (y1 * x0 - y0 * x1) / (y1 - y0);
      y1 = 0;
      split = true;
    } else {
      ++i;
    }
    // The trapezoid of y² over the segment.
    sum += std::fabs(x1 - x0) * (std::min(y0 * y0, y1 * y1) + 0.5 * std::fabs(y1 * y1 - y0 * y0));
  }
  // A recording shorter than the 80 ms window is averaged over what it covers, not diluted by
  // samples it does not have.
  const bool whole = end == z + kIntegrationSamples - 1;
  return std::sqrt(sum / (whole ? kWindowMs : double(end - z) * kStepMs));
}

double TVoltageMeter::VoltsFromRms(double r) {
  const double u = r * 2.5;
  return 0.000367773 * u * u + 0.930747 * u + 0.923694;
}

double TVoltageMeter::EffectiveValue() {
  ReadSettings();
  if (Samples.size() < 2) return 0.0;
  return VoltsFromRms(RmsUnits(Samples));
}

int TVoltageMeter::Swing(int k) const {
  return SwingOf(Samples, k);
}

int TVoltageMeter::SwingOf(const std::vector<std::uint8_t>& s, int k) {
  if (k <= 0 || s.empty()) return 0;
  const std::size_t start = AfterCrossing(s, k);
  int max = V(s[start]);
  int min = max;
  int budget = 2;
  for (std::size_t j = start + 1; j + 1 < s.size(); ++j) {
    if (Crossing(s[j], s[j + 1]) && --budget <= 0) break;
    max = std::max(max, V(s[j]));
    min = std::min(min, V(s[j]));
  }
  return std::abs(max) + std::abs(min);
}

}  // namespace kvt
