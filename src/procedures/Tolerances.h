#pragma once
// What the check shots hold the generator to, and the judgement of a series against it: the
// deviation of every measured value from its setting, the worst one per quantity, and the
// reproducibility of the voltage over shots repeated at one setting.
//
// The tolerances live in vesmar.ini, section [Допуски]; a key left out takes its default, a value
// that is not a sensible number is reported and its default used. Defaults follow common
// acceptance practice for radiographic generators.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kvt {

struct Tolerances {
  double voltagePercent = 5.0;   // |Ua − set| ≤ this % of the set kV
  double currentPercent = 10.0;  // |Ia − set| ≤ this % of the set mA
  double timePercent = 10.0;     // |t − set| ≤ this % of the set time ...
  double timeMs = 1.0;           // ... plus this many ms
  double voltageCv = 0.05;       // coefficient of variation of Ua over repeats at one setting
};

namespace tolerance {
inline constexpr const char* kSection = "Допуски";
inline constexpr const char* kVoltageKey = "VoltagePercent";
inline constexpr const char* kCurrentKey = "CurrentPercent";
inline constexpr const char* kTimePercentKey = "TimePercent";
inline constexpr const char* kTimeMsKey = "TimeMs";
inline constexpr const char* kVoltageCvKey = "VoltageCV";
// A setting repeated this many times gets its coefficient of variation judged.
inline constexpr int kMinRepeats = 3;
// The mains half-wave: the exposure time's unit (0.01 s) and the period of the sign changes of
// the recorded curves, by which the recorder's sample rate is known.
inline constexpr double kHalfWaveMs = 10.0;
inline constexpr const char* kInTolerance = "В допуске";
inline constexpr const char* kOutOfTolerance = "Вне допуска: ";
}  // namespace tolerance

struct TolerancesRead {
  Tolerances values;
  // One line per bad value, naming the key, the value and the default used.
  std::vector<std::string> problems;
};
// Reads [Допуски] of the settings file (read afresh at each call).
TolerancesRead ReadTolerances(const std::filesystem::path& ini);
TolerancesRead ReadTolerances();

enum class Quantity { Voltage, Current, Time };
inline constexpr Quantity kQuantities[] = {Quantity::Voltage, Quantity::Current, Quantity::Time};
// "Ua", "Ia", "t".
const char* QuantityName(Quantity q);
// "±5 %", "±(10 % + 1 мс)".
std::string ToleranceText(Quantity q, const Tolerances& t);

// (measured − set) in % of set; none when set is not positive.
std::optional<double> DeviationPercent(double set, double measured);
// The boundary itself is within tolerance.
bool WithinTolerance(Quantity q, double set, double measured, const Tolerances& t);
// Sample standard deviation (n − 1) over the mean; none for fewer than 2 values or a mean ≤ 0.
std::optional<double> CoefficientOfVariation(const std::vector<double>& values);

// The exposure time of a shot from its recorded curves (samples as the link reads them, voltage
// and current alternating): the sign of the voltage turns every mains half-wave, which gives the
// recorder's sample period; the shot lasts from the first to the last sample that is not zero.
// None when fewer than two half-waves were recorded (the period is then unknown).
std::optional<double> CurveExposureMs(const std::vector<int>& samples);

// One shot as set and as measured (an unmeasured value is none).
struct ShotValues {
  int setKv = 0;
  int setMa = 0;
  int setMs = 0;
  std::optional<double> kv;
  std::optional<double> ma;
  std::optional<double> ms;
  std::optional<double> Measured(Quantity q) const;
  int Set(Quantity q) const;
};

struct QuantityVerdict {
  Quantity quantity = Quantity::Voltage;
  int measured = 0;         // shots with a value
  int unmeasured = 0;       // shots without one
  double worstPercent = 0;  // the deviation of largest size, with its sign
  bool ok = true;           // every measured value within tolerance
};

struct RepeatVerdict {
  int setKv = 0;
  int setMa = 0;
  int setMs = 0;
  int count = 0;
  double cv = 0;
  bool ok = true;
};

struct SeriesVerdict {
  std::vector<QuantityVerdict> quantities;  // Ua, Ia, t
  std::vector<RepeatVerdict> repeats;       // settings repeated at least kMinRepeats times
  bool ok = true;
  // "В допуске" or "Вне допуска: " and the quantities out of it.
  std::string Summary() const;
};
SeriesVerdict JudgeSeries(const std::vector<ShotValues>& shots, const Tolerances& t);

// "+6.2", "-0.4", "0.0".
std::string PercentText(double percent);
// "Ua: наибольшее отклонение +6.2 % (допуск ±5 %): вне допуска".
std::string VerdictLine(const QuantityVerdict& v, const Tolerances& t);
// "Воспроизводимость Ua при 80 кВ, 70 мА, 60 мс (снимков: 5): коэффициент вариации 0.012
// (допуск 0.05): в допуске".
std::string RepeatLine(const RepeatVerdict& v, const Tolerances& t);
// The tolerances used, one line.
std::string TolerancesLine(const Tolerances& t);

}  // namespace kvt
