#include "procedures/Tolerances.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>
#include <tuple>

#include "platform/Ini.h"
#include "platform/Paths.h"

namespace kvt {

namespace {

// A figure exactly at the boundary must count as within it, whatever the binary rounding of the
// percentages did to it.
constexpr double kSlack = 1e-9;

std::string Trimmed(std::string s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!s.empty() && blank(s.back())) s.pop_back();
  std::size_t b = 0;
  while (b < s.size() && blank(s[b])) ++b;
  return s.substr(b);
}

// A whole-string decimal number ("5", "0.05", "0,05"); none for anything else.
std::optional<double> ParseNumber(std::string text) {
  text = Trimmed(std::move(text));
  std::replace(text.begin(), text.end(), ',', '.');
  if (text.empty()) return std::nullopt;
  double v = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, v);
  if (ec != std::errc() || ptr != end || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::string Fixed(double v, int decimals) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

// Up to three decimals, trailing zeros dropped ("5", "0.05", "12.5").
std::string Short(double v) {
  std::string s = Fixed(v, 3);
  while (!s.empty() && s.back() == '0') s.pop_back();
  if (!s.empty() && s.back() == '.') s.pop_back();
  return s;
}

}  // namespace

TolerancesRead ReadTolerances(const std::filesystem::path& ini) {
  TolerancesRead out;
  const platform::IniFile file(ini);
  struct Key {
    const char* name;
    double* value;
    double min;  // exclusive when minOpen
    bool minOpen;
    double max;
  };
  Tolerances& t = out.values;
  const Key keys[] = {{tolerance::kVoltageKey, &t.voltagePercent, 0, true, 100},
                      {tolerance::kCurrentKey, &t.currentPercent, 0, true, 100},
                      {tolerance::kTimePercentKey, &t.timePercent, 0, false, 100},
                      {tolerance::kTimeMsKey, &t.timeMs, 0, false, 1000},
                      {tolerance::kVoltageCvKey, &t.voltageCv, 0, true, 1}};
  // A key that is absent reads as this, which no number is.
  static const std::string kAbsent = "\x01";
  for (const Key& k : keys) {
    const std::string raw = file.ReadString(tolerance::kSection, k.name, kAbsent);
    if (raw == kAbsent) continue;
    const auto v = ParseNumber(raw);
    const bool fits = v && (k.minOpen ? *v > k.min : *v >= k.min) && *v <= k.max;
    if (fits) {
      *k.value = *v;
      continue;
    }
    std::string line = "[";
    line += tolerance::kSection;
    line += "] ";
    line += k.name;
    line += "=";
    line += Trimmed(raw);
    line += ": не число в пределах ";
    line += k.minOpen ? "(" : "[";
    line += Short(k.min);
    line += " … ";
    line += Short(k.max);
    line += "]; принято значение по умолчанию ";
    line += Short(*k.value);
    out.problems.push_back(std::move(line));
  }
  return out;
}

TolerancesRead ReadTolerances() {
  return ReadTolerances(platform::SettingsPath());
}

const char* QuantityName(Quantity q) {
  switch (q) {
    case Quantity::Voltage:
      return "Ua";
    case Quantity::Current:
      return "Ia";
    case Quantity::Time:
      return "t";
  }
  return "?";
}

std::string ToleranceText(Quantity q, const Tolerances& t) {
  std::string s = "±";
  switch (q) {
    case Quantity::Voltage:
      s += Short(t.voltagePercent);
      s += " %";
      break;
    case Quantity::Current:
      s += Short(t.currentPercent);
      s += " %";
      break;
    case Quantity::Time:
      s += "(";
      s += Short(t.timePercent);
      s += " % + ";
      s += Short(t.timeMs);
      s += " мс)";
      break;
  }
  return s;
}

std::optional<double> DeviationPercent(double set, double measured) {
  if (!(set > 0)) return std::nullopt;
  return (measured - set) * 100.0 / set;
}

bool WithinTolerance(Quantity q, double set, double measured, const Tolerances& t) {
  if (!(set > 0)) return false;
  double allowed = 0;
  switch (q) {
    case Quantity::Voltage:
      allowed = set * t.voltagePercent / 100.0;
      break;
    case Quantity::Current:
      allowed = set * t.currentPercent / 100.0;
      break;
    case Quantity::Time:
      allowed = set * t.timePercent / 100.0 + t.timeMs;
      break;
  }
  return std::fabs(measured - set) <= allowed * (1 + kSlack) + kSlack;
}

std::optional<double> CoefficientOfVariation(const std::vector<double>& values) {
  if (values.size() < 2) return std::nullopt;
  double sum = 0;
  for (double v : values) sum += v;
  const double mean = sum / double(values.size());
  if (!(mean > 0)) return std::nullopt;
  double squares = 0;
  for (double v : values) squares += (v - mean) * (v - mean);
  return std::sqrt(squares / double(values.size() - 1)) / mean;
}

std::optional<double> CurveExposureMs(const std::vector<int>& samples) {
  std::vector<int> v;
  for (std::size_t k = 0; k < samples.size(); k += 2) v.push_back(samples[k]);
  // The starts of the half-waves: a non-zero sample whose sign differs from the last non-zero
  // one before it (the link zeroes the last sample of every half-wave).
  std::vector<std::size_t> starts;
  int sign = 0;
  std::size_t last = 0;
  bool any = false;
  for (std::size_t k = 0; k < v.size(); ++k) {
    if (v[k] == 0) continue;
    const int s = v[k] > 0 ? 1 : -1;
    if (s != sign) starts.push_back(k);
    sign = s;
    last = k;
    any = true;
  }
  if (!any || starts.size() < 2) return std::nullopt;
  std::vector<std::size_t> lengths;
  for (std::size_t i = 1; i < starts.size(); ++i) lengths.push_back(starts[i] - starts[i - 1]);
  std::nth_element(lengths.begin(), lengths.begin() + std::ptrdiff_t(lengths.size() / 2),
                   lengths.end());
  const std::size_t halfWave = lengths[lengths.size() / 2];
  if (halfWave == 0) return std::nullopt;
  // The last half-wave: its zeroed closing sample belongs to the shot when the rest of it is
  // there.
  std::size_t tail = last + 1 - starts.back();
  if (tail + 1 == halfWave) tail = halfWave;
  const double samplesInShot = double(starts.back() - starts.front() + tail);
  return samplesInShot * tolerance::kHalfWaveMs / double(halfWave);
}

std::optional<double> ShotValues::Measured(Quantity q) const {
  switch (q) {
    case Quantity::Voltage:
      return kv;
    case Quantity::Current:
      return ma;
    case Quantity::Time:
      return ms;
  }
  return std::nullopt;
}

int ShotValues::Set(Quantity q) const {
  switch (q) {
    case Quantity::Voltage:
      return setKv;
    case Quantity::Current:
      return setMa;
    case Quantity::Time:
      return setMs;
  }
  return 0;
}

SeriesVerdict JudgeSeries(const std::vector<ShotValues>& shots, const Tolerances& t) {
  SeriesVerdict out;
  for (Quantity q : kQuantities) {
    QuantityVerdict v;
    v.quantity = q;
    for (const ShotValues& s : shots) {
      const auto m = s.Measured(q);
      const auto d = m ? DeviationPercent(s.Set(q), *m) : std::nullopt;
      if (!d) {
        ++v.unmeasured;
        continue;
      }
      if (v.measured == 0 || std::fabs(*d) > std::fabs(v.worstPercent)) v.worstPercent = *d;
      ++v.measured;
      if (!WithinTolerance(q, s.Set(q), *m, t)) v.ok = false;
    }
    out.ok = out.ok && v.ok;
    out.quantities.push_back(v);
  }
  std::map<std::tuple<int, int, int>, std::vector<double>> bySetting;
  for (const ShotValues& s : shots)
    if (s.kv) bySetting[{s.setKv, s.setMa, s.setMs}].push_back(*s.kv);
  for (const auto& [setting, values] : bySetting) {
    if (int(values.size()) < tolerance::kMinRepeats) continue;
    const auto cv = CoefficientOfVariation(values);
    RepeatVerdict r;
    std::tie(r.setKv, r.setMa, r.setMs) = setting;
    r.count = int(values.size());
    r.cv = cv.value_or(0);
    r.ok = cv && *cv <= t.voltageCv * (1 + kSlack);
    out.ok = out.ok && r.ok;
    out.repeats.push_back(r);
  }
  return out;
}

std::string SeriesVerdict::Summary() const {
  if (ok) return tolerance::kInTolerance;
  std::string names;
  auto add = [&](const std::string& name) {
    if (!names.empty()) names += ", ";
    names += name;
  };
  for (const QuantityVerdict& v : quantities)
    if (!v.ok) add(QuantityName(v.quantity));
  bool repeatBad = false;
  for (const RepeatVerdict& r : repeats) repeatBad = repeatBad || !r.ok;
  if (repeatBad) add("воспроизводимость Ua");
  return tolerance::kOutOfTolerance + names;
}

std::string PercentText(double percent) {
  std::string s = Fixed(percent, 1);
  if (s == "-0.0") s = "0.0";
  if (s != "0.0" && s[0] != '-') s.insert(s.begin(), '+');
  return s;
}

std::string VerdictLine(const QuantityVerdict& v, const Tolerances& t) {
  std::string s = QuantityName(v.quantity);
  s += ": ";
  if (v.measured == 0) {
    s += "не измерено";
    return s;
  }
  s += "наибольшее отклонение ";
  s += PercentText(v.worstPercent);
  s += " % (допуск ";
  s += ToleranceText(v.quantity, t);
  s += "): ";
  s += v.ok ? "в допуске" : "вне допуска";
  if (v.unmeasured > 0) {
    s += "; без измерения: ";
    s += std::to_string(v.unmeasured);
  }
  return s;
}

std::string RepeatLine(const RepeatVerdict& v, const Tolerances& t) {
  std::string s = "Воспроизводимость Ua при ";
  s += std::to_string(v.setKv);
  s += " кВ, ";
  s += std::to_string(v.setMa);
  s += " мА, ";
  s += std::to_string(v.setMs);
  s += " мс (снимков: ";
  s += std::to_string(v.count);
  s += "): коэффициент вариации ";
  s += Fixed(v.cv, 3);
  s += " (допуск ";
  s += Short(t.voltageCv);
  s += "): ";
  s += v.ok ? "в допуске" : "вне допуска";
  return s;
}

std::string TolerancesLine(const Tolerances& t) {
  std::string s = "Допуски: Ua ";
  s += ToleranceText(Quantity::Voltage, t);
  s += ", Ia ";
  s += ToleranceText(Quantity::Current, t);
  s += ", t ";
  s += ToleranceText(Quantity::Time, t);
  s += ", коэффициент вариации Ua не более ";
  s += Short(t.voltageCv);
  return s;
}

}  // namespace kvt
