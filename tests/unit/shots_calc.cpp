// The exposure objects' arithmetic (current correction, voltage scaling) and the reference meter's
// evaluation of a recording (effective value, swing), on known signals.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "exposure/CurrentCorrection.h"
#include "exposure/Snapshot.h"
#include "tools/VoltageMeter.h"

namespace {

using Samples = std::vector<std::uint8_t>;

TEST(ShotsCorrection, TablePointsGiveTheirFactors) {
  const int xs[] = {200, 150, 140, 130, 120, 106, 97, 78, 73};
  const float fs[] = {1.15f, 1.17f, 1.17f, 1.18f, 1.20f, 1.22f, 1.24f, 1.26f, 1.28f};
  for (int k = 0; k < 9; ++k) EXPECT_FLOAT_EQ(kvt::CurrentCorrection(xs[k]), fs[k]) << xs[k];
}

TEST(ShotsCorrection, InterpolatesBetweenAndExtrapolatesBeyondTheTable) {
  EXPECT_NEAR(kvt::CurrentCorrection(113), 1.21, 1e-5);
  EXPECT_NEAR(kvt::CurrentCorrection(92), 1.2453, 1e-4);
  EXPECT_NEAR(kvt::CurrentCorrection(145), 1.17, 1e-5);  // flat segment
  EXPECT_NEAR(kvt::CurrentCorrection(175), 1.16, 1e-5);
  EXPECT_NEAR(kvt::CurrentCorrection(250), 1.13, 1e-5);
  EXPECT_NEAR(kvt::CurrentCorrection(60), 1.332, 1e-4);
  EXPECT_NEAR(kvt::CurrentCorrection(201), 1.1496, 1e-5);
  EXPECT_NEAR(kvt::CurrentCorrection(72), 1.284, 1e-5);
  // Between the points the factor never leaves the range of its two neighbours.
  const int xs[] = {200, 150, 140, 130, 120, 106, 97, 78, 73};
  for (int k = 0; k + 1 < 9; ++k) {
    const float hi = kvt::CurrentCorrection(xs[k]);
    const float lo = kvt::CurrentCorrection(xs[k + 1]);
    for (int x = xs[k + 1] + 1; x < xs[k]; ++x) {
      const float f = kvt::CurrentCorrection(x);
      EXPECT_GE(f, std::min(hi, lo) - 1e-6f) << x;
      EXPECT_LE(f, std::max(hi, lo) + 1e-6f) << x;
    }
  }
}

TEST(ShotsCorrection, CurrentAndVoltageScaling) {
  EXPECT_EQ(kvt::CorrectedCurrent(106), 129);  // 106 × 1.22 = 129.32
  EXPECT_EQ(kvt::CorrectedCurrent(100), 123);  // 100 × 1.2333
  EXPECT_EQ(kvt::CorrectedCurrent(0), 0);
  kvt::ShotMeasurement m;
  m.kuan = 100;
  m.u = 80;
  EXPECT_EQ(kvt::ScaledVoltage(m), 80);
  m.kuan = 96;
  m.u = 100;
  EXPECT_EQ(kvt::ScaledVoltage(m), 104);  // 104.17 rounded
  m.kuan = 50;
  m.u = 41;
  EXPECT_EQ(kvt::ScaledVoltage(m), 82);
}

Samples Sine(double amplitude, int pointsPerMs, int count, double phase = 0) {
  Samples s(std::size_t(count), 128);
  for (int j = 0; j < count; ++j) {
    const double t = j / (pointsPerMs * 1000.0);
    s[std::size_t(j)] = std::uint8_t(
        std::lround(128 + amplitude * std::sin(2 * std::numbers::pi * 50 * t + phase)));
  }
  return s;
}

Samples Square(int count, int halfPeriod) {
  Samples s(std::size_t(count), 0);
  for (int j = 0; j < count; ++j) s[std::size_t(j)] = (j / halfPeriod) % 2 ? 100 : 156;
  return s;
}

TEST(ShotsMeterEvaluation, SineGivesAmplitudeOverRootTwo) {
  for (double a : {20.0, 60.0, 110.0}) {
    EXPECT_NEAR(kvt::TVoltageMeter::RmsUnits(Sine(a, 5, 450, 0.3)), a / std::sqrt(2.0), 0.01 * a)
        << a;
  }
}

TEST(ShotsMeterEvaluation, ConstantSignalIntegratesFromTheStart) {
  // No crossing: the 399 segments from sample 0, divided by the 80 ms window.
  EXPECT_NEAR(kvt::TVoltageMeter::RmsUnits(Samples(450, 148)), 20 * std::sqrt(79.8 / 80), 1e-9);
  EXPECT_NEAR(kvt::TVoltageMeter::RmsUnits(Samples(450, 108)), 20 * std::sqrt(79.8 / 80), 1e-9);
}

TEST(ShotsMeterEvaluation, ShortRecordingsStayInsideTheArray) {
  // Fewer samples than the window: averaged over what is there, nothing read beyond it.
  EXPECT_NEAR(kvt::TVoltageMeter::RmsUnits(Samples(100, 148)), 20.0, 1e-9);
  EXPECT_NEAR(kvt::TVoltageMeter::RmsUnits(Sine(60, 5, 200, 0.3)), 60 / std::sqrt(2.0), 1.0);
  EXPECT_EQ(kvt::TVoltageMeter::RmsUnits(Samples{}), 0.0);
  EXPECT_EQ(kvt::TVoltageMeter::RmsUnits(Samples{200}), 0.0);
  // A crossing on the very last pair leaves nothing to integrate.
  EXPECT_EQ(kvt::TVoltageMeter::RmsUnits(Samples{150, 150, 100}), 0.0);
}

TEST(ShotsMeterEvaluation, CalibrationCurve) {
  EXPECT_NEAR(kvt::TVoltageMeter::VoltsFromRms(0), 0.923694, 1e-9);
  const double u = 40 * 2.5;
  EXPECT_NEAR(kvt::TVoltageMeter::VoltsFromRms(40), 0.000367773 * u * u + 0.930747 * u + 0.923694,
              1e-9);
}

TEST(ShotsMeterEvaluation, SwingOfKnownSignals) {
  using kvt::TVoltageMeter;
  EXPECT_EQ(TVoltageMeter::SwingOf(Square(450, 10), 2), 56);
  // A sine's swing is twice its amplitude (to within the rounding of the samples).
  EXPECT_NEAR(TVoltageMeter::SwingOf(Sine(60, 5, 450, 0.3), 2), 120, 2);
  // The window is one period after the k-th crossing: a larger half-wave later on is not seen.
  Samples s = Square(60, 10);
  for (int j = 40; j < 60; ++j) s[std::size_t(j)] = s[std::size_t(j)] > 128 ? 200 : 50;
  EXPECT_EQ(TVoltageMeter::SwingOf(s, 1), 56);
  EXPECT_EQ(TVoltageMeter::SwingOf(s, 3), 72 + 28);
  // The last sample before the closing crossing does not count.
  Samples t{100, 150, 150, 160, 110, 90, 170};
  // From 150 (after the first crossing) on: 160 counts, 90, the last before the second crossing
  // after it, does not.
  EXPECT_EQ(TVoltageMeter::SwingOf(t, 1), 32 + 18);
  EXPECT_EQ(TVoltageMeter::SwingOf(Samples{}, 2), 0);
  EXPECT_EQ(TVoltageMeter::SwingOf(Square(450, 10), 0), 0);
  // Fewer crossings than asked for: from the first sample.
  EXPECT_EQ(TVoltageMeter::SwingOf(Samples{150, 150, 100, 100}, 5), 22 + 28);
}

TEST(ShotsMeterEvaluation, TriggerLevelByte) {
  using kvt::TVoltageMeter;
  EXPECT_EQ(TVoltageMeter::LevelByte(0), 0x80);
  EXPECT_EQ(TVoltageMeter::LevelByte(-127), 0x01);
  EXPECT_EQ(TVoltageMeter::LevelByte(127), 0xFF);
  EXPECT_EQ(TVoltageMeter::LevelByte(5), 133);
  EXPECT_EQ(TVoltageMeter::LevelByte(-300), 0x01);
  EXPECT_EQ(TVoltageMeter::LevelByte(300), 0xFF);
}

}  // namespace
