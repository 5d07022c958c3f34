// The check shots' judgement: each tolerance at its boundary and just beyond, the coefficient of
// variation of repeated shots, the series' verdict naming what is out, the tolerances read from
// vesmar.ini with bad values reported, and the exposure time measured on a recorded curve.

#include <gtest/gtest.h>

#include "procedures/Tolerances.h"
#include "support/TempDir.h"

namespace {

using kvt::Quantity;

TEST(CheckShotsTolerances, EachToleranceHoldsAtItsBoundaryAndFailsJustBeyond) {
  const kvt::Tolerances t;  // ±5 % kV, ±10 % mA, ±(10 % + 1 ms), CV 0.05
  struct Case {
    Quantity q;
    double set, in, out;
  };
  const Case cases[] = {{Quantity::Voltage, 60, 63, 63.01},      {Quantity::Voltage, 60, 57, 56.99},
                        {Quantity::Voltage, 125, 131.25, 131.3}, {Quantity::Current, 70, 77, 77.01},
                        {Quantity::Current, 70, 63, 62.99},      {Quantity::Time, 60, 67, 67.01},
                        {Quantity::Time, 60, 53, 52.99},         {Quantity::Time, 10, 12, 12.01}};
  for (const Case& c : cases) {
    EXPECT_TRUE(kvt::WithinTolerance(c.q, c.set, c.in, t)) << kvt::QuantityName(c.q) << c.in;
    EXPECT_FALSE(kvt::WithinTolerance(c.q, c.set, c.out, t)) << kvt::QuantityName(c.q) << c.out;
  }
  EXPECT_NEAR(*kvt::DeviationPercent(60, 63), 5.0, 1e-12);
  EXPECT_NEAR(*kvt::DeviationPercent(70, 63), -10.0, 1e-12);
  EXPECT_FALSE(kvt::DeviationPercent(0, 5));
  EXPECT_EQ(kvt::PercentText(6.26), "+6.3");
  EXPECT_EQ(kvt::PercentText(-0.04), "0.0");
  EXPECT_EQ(kvt::ToleranceText(Quantity::Time, t), "±(10 % + 1 мс)");
}

TEST(CheckShotsTolerances, CoefficientOfVariationAndTheSeriesVerdict) {
  EXPECT_NEAR(*kvt::CoefficientOfVariation({2, 4, 4, 4, 5, 5, 7, 9}), 2.13809 / 5, 1e-5);
  EXPECT_EQ(*kvt::CoefficientOfVariation({80, 80, 80}), 0.0);
  EXPECT_FALSE(kvt::CoefficientOfVariation({80}));

  // Three shots at 100 kV whose CV is exactly 0.05 (sd 5 about a mean of 100), each within ±5 %.
  const kvt::Tolerances t;
  auto shot = [](int kv, double uv) {
    kvt::ShotValues s;
    s.setKv = kv;
    s.setMa = 70;
    s.setMs = 60;
    s.kv = uv;
    s.ma = 70;
    s.ms = 60;
    return s;
  };
  std::vector<kvt::ShotValues> series{shot(100, 95), shot(100, 100), shot(100, 105)};
  kvt::SeriesVerdict v = kvt::JudgeSeries(series, t);
  ASSERT_EQ(v.repeats.size(), 1u);
  EXPECT_NEAR(v.repeats[0].cv, 0.05, 1e-12);
  EXPECT_TRUE(v.ok);
  EXPECT_EQ(v.Summary(), "В допуске");

  kvt::Tolerances strict;
  strict.voltageCv = 0.0499;
  v = kvt::JudgeSeries(series, strict);
  EXPECT_FALSE(v.ok);
  EXPECT_EQ(v.Summary(), "Вне допуска: воспроизводимость Ua");

  // Two repeats are not judged for reproducibility; a voltage out names Ua, its worst deviation
  // keeps its sign, and an unmeasured time is counted, not judged.
  series = {shot(60, 64), shot(60, 55), shot(80, 80)};
  series[2].ms.reset();
  v = kvt::JudgeSeries(series, t);
  EXPECT_TRUE(v.repeats.empty());
  EXPECT_EQ(v.Summary(), "Вне допуска: Ua");
  EXPECT_NEAR(v.quantities[0].worstPercent, -100.0 * 5 / 60, 1e-9);
  EXPECT_EQ(v.quantities[2].unmeasured, 1);
  EXPECT_EQ(kvt::VerdictLine(v.quantities[0], t),
            "Ua: наибольшее отклонение -8.3 % (допуск ±5 %): вне допуска");
}

TEST(CheckShotsTolerances, ReadFromTheSettingsFileWithBadValuesReported) {
  testsupport::TempDir dir;
  const auto ini = dir.Path() / "vesmar.ini";
  // No section: the defaults, nothing to report.
  testsupport::WriteBytes(ini, "[Ports]\r\nCOM1=simulator\r\n");
  kvt::TolerancesRead r = kvt::ReadTolerances(ini);
  EXPECT_TRUE(r.problems.empty());
  EXPECT_EQ(r.values.voltagePercent, 5.0);
  EXPECT_EQ(r.values.timeMs, 1.0);

  // windows-1251 section name; a comma decimal, text, a negative and a zero where it is not
  // allowed.
  testsupport::WriteBytes(
      ini,
      "[\xc4\xee\xef\xf3\xf1\xea\xe8]\r\nVoltagePercent=3,5\r\nCurrentPercent=abc\r\n"
      "TimeMs=-2\r\nVoltageCV=0\r\nTimePercent=0\r\n");
  r = kvt::ReadTolerances(ini);
  EXPECT_EQ(r.values.voltagePercent, 3.5);
  EXPECT_EQ(r.values.timePercent, 0.0);
  EXPECT_EQ(r.values.currentPercent, 10.0);
  EXPECT_EQ(r.values.timeMs, 1.0);
  EXPECT_EQ(r.values.voltageCv, 0.05);
  ASSERT_EQ(r.problems.size(), 3u);
  EXPECT_NE(r.problems[0].find("CurrentPercent=abc"), std::string::npos) << r.problems[0];
  EXPECT_NE(r.problems[0].find("по умолчанию 10"), std::string::npos) << r.problems[0];
}

TEST(CheckShotsTolerances, ExposureTimeFromTheCurvesHalfWaves) {
  // Six half-waves of 16 voltage samples, the last one of each zeroed as the link does; the
  // current samples in between do not count. Then an empty tail.
  auto curve = [](int halfWaves, int extra) {
    std::vector<int> samples;
    for (int k = 0; k < halfWaves * 16 + extra; ++k) {
      const int sign = (k / 16) % 2 ? -1 : 1;
      const bool closing = k % 16 == 15 && k / 16 + 1 < halfWaves + (extra > 0 ? 1 : 0);
      samples.push_back(closing ? 0 : sign * 60);
      samples.push_back(sign * 20);
    }
    for (int k = 0; k < 12; ++k) samples.insert(samples.end(), {0, 0});
    return samples;
  };
  EXPECT_NEAR(*kvt::CurveExposureMs(curve(6, 0)), 60.0, 1e-9);
  EXPECT_NEAR(*kvt::CurveExposureMs(curve(6, 8)), 65.0, 1e-9);  // half a half-wave more
  EXPECT_FALSE(kvt::CurveExposureMs(curve(1, 0)));              // no period to measure by
  EXPECT_FALSE(kvt::CurveExposureMs({}));
}

}  // namespace
