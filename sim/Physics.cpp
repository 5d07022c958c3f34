#include "sim/Physics.h"

#include <algorithm>
#include <cmath>

namespace sim::physics {
namespace {

constexpr double kPi = 3.14159265358979323846;
// Tube emission: 100 mA at code 800 and 100 kV; e-fold per 120 codes; mild voltage dependence
// (space charge).
constexpr double kRefCode = 800.0;
constexpr double kCodePerEFold = 120.0;
constexpr double kRefCurrent = 100.0;
constexpr double kVoltageExponent = 0.35;

}  // namespace

double EffectiveCode(int code, bool k4) {
  return k4 ? code / 2.0 : static_cast<double>(code);
}

double TubeCurrent(int code, double kv, bool k4) {
  if (code <= 0 || kv <= 0) return 0.0;
  double e = EffectiveCode(code, k4);
  return kRefCurrent * std::exp((e - kRefCode) / kCodePerEFold) *
         std::pow(kv / 100.0, kVoltageExponent);
}

double CodeForCurrent(double kv, double ma, bool k4) {
  if (kv <= 0 || ma <= 0) return 0.0;
  double e = kRefCode +
             kCodePerEFold * std::log(ma / (kRefCurrent * std::pow(kv / 100.0, kVoltageExponent)));
  return k4 ? e * 2.0 : e;
}

double GeneratorResistance(double kv) {
  return 150.0 + 0.25 * (kv - 80.0);
}

double NoLoadKv(double mainsVolts) {
  return mainsVolts / kSupplyVoltsPerUnit;
}

double CurrentCorrection(int x) {
  static const int xs[] = {200, 150, 140, 130, 120, 106, 97, 78, 73};
  static const double fs[] = {1.15, 1.17, 1.17, 1.18, 1.20, 1.22, 1.24, 1.26, 1.28};
  auto line = [](double x1, double y1, double x2, double y2, double x) {
    if (x1 == x2) return y1;
    return ((y2 - y1) * x + x2 * y1 - x1 * y2) / (x2 - x1);
  };
  if (x > 200) return line(200, 1.15, 150, 1.17, x);
  if (x < 73) return line(78, 1.26, 73, 1.28, x);
  for (int i = 0; i < 9; ++i) {
    if (x == xs[i]) return fs[i];
    if (i + 1 < 9 && x < xs[i] && x > xs[i + 1]) return line(xs[i], fs[i], xs[i + 1], fs[i + 1], x);
  }
  return 1.0;
}

int RawCurrentReading(double ma) {
  int best = 0;
  double bestErr = 1e30;
  for (int i = 0; i <= 255; ++i) {
    double err = std::fabs(static_cast<float>(CurrentCorrection(i) * i) - ma);
    if (err < bestErr) {
      bestErr = err;
      best = i;
    }
  }
  return best;
}

double TableCodeClamped(const std::vector<int>& words, int start, int end, int step, double kv,
                        double ma) {
  if (step <= 0 || end < start) return 0.0;
  int rows = (end - start) / step + 1;  // data rows
  if (words.size() < static_cast<std::size_t>((rows + 1) * 8)) return 0.0;
  auto cell = [&](int col, int row) { return static_cast<double>(words[row * 8 + col]); };

  double lastKv = start + step * (rows - 1);
  kv = std::clamp(kv, static_cast<double>(start), lastKv);
  double pos = (kv - start) / step;
  int r0 = std::min(static_cast<int>(pos), rows - 1);
  int r1 = std::min(r0 + 1, rows - 1);
  double fr = pos - r0;

  double h0 = cell(0, 0);
  double h7 = cell(7, 0);
  ma = std::clamp(ma, std::min(h0, h7), std::max(h0, h7));
  int c0 = 0;
  while (c0 < 6 && cell(c0 + 1, 0) <= ma) ++c0;
  int c1 = c0 + 1;
  double span = cell(c1, 0) - cell(c0, 0);
  double fc = span > 0 ? (ma - cell(c0, 0)) / span : 0.0;
  fc = std::clamp(fc, 0.0, 1.0);

  auto rowValue = [&](int r) { return cell(c0, r + 1) + (cell(c1, r + 1) - cell(c0, r + 1)) * fc; };
  return rowValue(r0) + (rowValue(r1) - rowValue(r0)) * fr;
}

ShotCurves MakeShotCurves(double kvRaw, double curSample, double durationMs) {
  constexpr int kPairsPerHalfWave = static_cast<int>(10.0 / kRecorderPairMs);  // 16
  int pairs = static_cast<int>(std::ceil(durationMs / kRecorderPairMs));
  pairs = std::clamp(pairs, 1, kRecorderMaxPairs);
  // The store holds whole blocks of ten pairs; the tail after the shot reads zero.
  int stored = (pairs + 9) / 10 * 10;
  double vAmp = std::clamp(kvRaw / 2.0, 0.0, 126.0);
  double iAmp = std::clamp(curSample, 0.0, 126.0);

  ShotCurves c;
  c.bytes.reserve(static_cast<std::size_t>(stored) * 2);
  for (int j = 0; j < stored; ++j) {
    double v = 0;
    double i = 0;
    if (j < pairs) {
      int half = j / kPairsPerHalfWave;
      double phi = kPi * ((j % kPairsPerHalfWave) + 0.5) / kPairsPerHalfWave;
      double sign = (half % 2 == 0) ? 1.0 : -1.0;
      // The filter capacitors flatten the top of each half-wave; the first one is still rising.
      double rise = half == 0 ? 0.85 : 1.0;
      v = sign * rise * vAmp * std::min(1.0, 1.25 * std::sin(phi));
      // The tube current follows the voltage with a small lag and a softer top.
      double phiI = std::max(0.0, phi - 0.15);
      i = sign * rise * iAmp * std::min(1.0, 1.15 * std::sin(phiI));
    }
    auto toByte = [](double f) {
      return static_cast<std::uint8_t>(
          std::clamp(static_cast<int>(std::lround(128.0 + f)), 1, 255));
    };
    c.bytes.push_back(toByte(v));
    c.bytes.push_back(toByte(i));
  }
  return c;
}

}  // namespace sim::physics
