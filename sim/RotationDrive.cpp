#include "sim/RotationDrive.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "platform/Ini.h"
#include "sim/Memory.h"

namespace sim {
namespace {

// The driver applies a mode and checks the stator current this long after.
constexpr int kSupervisionMs = 400;
constexpr int kMainBrakingMs = 1000;
constexpr std::uint8_t kAnodeAlarm = 0x03;  // "the anode does not run up"
constexpr std::uint32_t kModeAddress = 0x040000;

std::string Clean(std::string s) {
  std::size_t semi = s.find(';');
  if (semi != std::string::npos) s.resize(semi);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.pop_back();
  std::size_t b = s.find_first_not_of(" \t");
  return b == std::string::npos ? std::string() : s.substr(b);
}

bool ParseDouble(const std::string& text, double& out) {
  double v = 0;
  auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || p != text.data() + text.size() || !std::isfinite(v)) return false;
  out = v;
  return true;
}

}  // namespace

void ReadRotationPlant(const platform::IniFile& ini, RotationPlant& plant,
                       std::vector<std::string>& warnings) {
  const std::string section = "Plant";
  auto number = [&](const char* key, double lo, double hi, auto apply) {
    std::string v = Clean(ini.ReadString(section, key, ""));
    if (v.empty()) return;
    double d = 0;
    if (!ParseDouble(v, d) || d < lo || d > hi) {
      warnings.push_back("simulator.ini [Plant] " + std::string(key) + "=" + v +
                         ": expected a number from " + std::to_string(int(lo)) + " to " +
                         std::to_string(int(hi)) + "; the default is used");
      return;
    }
    apply(d);
  };
  number("StatorRunUp", 0, 255, [&](double d) { plant.runUpCurrent = d; });
  number("StatorBraking", 0, 255, [&](double d) { plant.brakingCurrent = d; });
  number("StatorNoise", 0, 50, [&](double d) { plant.currentNoise = int(d); });
  number("StatorGain", 0, 10, [&](double d) { plant.statorGain = d; });
  number("CoastingTime", 0, 120, [&](double d) { plant.coastingMs = int(std::lround(d * 1000)); });
  number("RunUpTime", 0, 60, [&](double d) { plant.runUpMs = int(std::lround(d * 1000)); });
}

RotationDrive::RotationDrive(const RotationPlant& plant, bool k4, Memory& memory,
                             std::function<void(std::uint8_t, SimTime)> alarm)
    : plant_(plant), k4_(k4), mem_(memory), alarm_(std::move(alarm)) {
  if (plant_.runUpCurrent <= 0) plant_.runUpCurrent = k4_ ? 150 : 70;
  if (plant_.brakingCurrent <= 0) plant_.brakingCurrent = k4_ ? 95 : 118;
}

std::uint8_t RotationDrive::Query(SimTime at, bool instant) {
  std::uint8_t d = drive_.State();
  if (instant) drive_.StepOnce(at);
  return d;
}

double RotationDrive::BrakingRate() const {
  // Braking on, the anode goes from full speed to rest in the main braking and the coasting.
  return -1.0 / double(std::max(1, kMainBrakingMs + plant_.coastingMs));
}

void RotationDrive::Move(SimTime at, double rate, std::optional<SimTime> switchAt,
                         double rateAfter) {
  motion_ = {at, AnodeSpeed(at), rate, switchAt, rateAfter};
}

double RotationDrive::AnodeSpeed(SimTime now) const {
  using Ms = std::chrono::duration<double, std::milli>;
  const Motion& m = motion_;
  if (now <= m.t0) return m.speed0;
  auto along = [](double s0, double rate, double ms) {
    return std::clamp(s0 + rate * ms, 0.0, 1.0);
  };
  if (!m.switchAt || now <= *m.switchAt) return along(m.speed0, m.rate, Ms(now - m.t0).count());
  const double atSwitch = along(m.speed0, m.rate, Ms(*m.switchAt - m.t0).count());
  return along(atSwitch, m.rateAfter, Ms(now - *m.switchAt).count());
}

SimTime RotationDrive::StopsAt() const {
  using Ms = std::chrono::duration<double, std::milli>;
  const Motion& m = motion_;
  auto after = [](SimTime from, double speed, double rate) {
    if (speed <= 0) return from;
    if (rate >= 0) return SimTime::max();
    return from + std::chrono::duration_cast<SimClock::duration>(Ms(speed / -rate));
  };
  const SimTime first = after(m.t0, m.speed0, m.rate);
  if (!m.switchAt || first <= *m.switchAt) return first;
  const double atSwitch = std::clamp(m.speed0 + m.rate * Ms(*m.switchAt - m.t0).count(), 0.0, 1.0);
  return after(*m.switchAt, atSwitch, m.rateAfter);
}

void RotationDrive::RunUp(SimTime at) {
  const int runUp = std::max(kSupervisionMs + 100, mem_.At(0x20) * 100);
  ShotRunUp(at);
  drive_.Start({{1, kSupervisionMs, nullptr},
                {1, runUp - kSupervisionMs, Supervision(Mode::RunUp)},
                {8, 0, nullptr}},
               at);
}

std::function<void(SimTime)> RotationDrive::Supervision(Mode mode) {
  return [this, mode](SimTime t) {
    if (WithinBoundaries(mode)) return;
    drive_.Start({{0, 0, nullptr}}, t);
    Move(t, FreeRate());
    coastFrom_ = t;
    alarm_(kAnodeAlarm, t);
  };
}

void RotationDrive::RunUpBrokenOff(SimTime at, std::function<void(SimTime)> alarm) {
  const int runUp = std::max(kSupervisionMs + 100, mem_.At(0x20) * 100);
  ShotRunUp(at);
  drive_.Start({{1, runUp / 2, nullptr},
                {0, 0,
                 [this, alarm](SimTime t) {
                   Move(t, FreeRate());
                   coastFrom_ = t;
                   alarm(t);
                 }}},
               at);
}

void RotationDrive::ShotRunUp(SimTime at) {
  coastFrom_.reset();
  Move(at, 1.0 / double(std::max(1, plant_.runUpMs)));
}

void RotationDrive::ShotBrake(SimTime at) {
  // The controller brakes for the main braking and the stored additional time, then lets go.
  if (AnodeSpeed(at) <= 0 && motion_.rate <= 0) return;
  const SimTime additional = at + std::chrono::milliseconds(kMainBrakingMs);
  Move(at, BrakingRate(), additional + std::chrono::milliseconds(mem_.At(0x21) * 100), FreeRate());
  coastFrom_ = additional;
}

void RotationDrive::Brake(SimTime at) {
  const int extra = std::max(100, mem_.At(0x21) * 100);
  const std::uint8_t additional = k4_ ? 3 : 4;
  // Braking on until the driver lets go; an anode still turning then runs on freely, several
  // times slower to a stop. The engineer's clock starts with the additional braking.
  const SimTime additionalAt = at + std::chrono::milliseconds(kMainBrakingMs);
  // Braking an anode at rest times nothing: the last coasting stays on show.
  if (AnodeSpeed(at) > 0) coastFrom_ = additionalAt;
  Move(at, BrakingRate(), additionalAt + std::chrono::milliseconds(extra), FreeRate());
  drive_.Start({{2, kSupervisionMs, nullptr},
                {2, kMainBrakingMs - kSupervisionMs, Supervision(Mode::Braking)},
                {additional, extra, nullptr},
                {8, 0, nullptr}},
               at);
}

void RotationDrive::Stop() {
  const SimTime now = SimClock::now();
  drive_.Stop();
  drive_.Start({{0, 0, nullptr}}, now);
  k4Mode_ = 0;
  // Without power the anode runs out freely.
  if (AnodeSpeed(now) > 0 && motion_.rate >= 0) {
    Move(now, FreeRate());
    coastFrom_ = now;
  }
}

RotationDrive::Mode RotationDrive::CurrentMode() const {
  // The direct mode output wins; otherwise the driver's own run-up or braking.
  if (k4_) {
    if (k4Mode_ == 1) return Mode::RunUp;
    if (k4Mode_ == 2) return Mode::Braking;
  } else {
    std::uint8_t m = mem_.At(kModeAddress);
    if (m == 3) return Mode::RunUp;
    if (m == 2) return Mode::Braking;
  }
  std::uint8_t d = drive_.State();
  if (d == 1) return Mode::RunUp;
  if (d == 2 || d == 3 || d == 4) return Mode::Braking;
  return Mode::Off;
}

StatorFault RotationDrive::Fault() const {
  StatorFault live = liveFault_ ? liveFault_() : StatorFault::None;
  return live != StatorFault::None ? live : plant_.fault;
}

double RotationDrive::ModeCurrent(Mode mode) const {
  if (mode == Mode::Off) return 2;
  const StatorFault fault = Fault();
  if (fault == StatorFault::OpenWinding) return 0;
  bool runUp = mode == Mode::RunUp;
  if (fault == StatorFault::ShortedWinding) runUp = !runUp;
  double c = runUp ? plant_.runUpCurrent : plant_.brakingCurrent;
  double gain = plant_.statorGain * (fault == StatorFault::OverRange ? 4.0 : 1.0);
  return c * gain;
}

bool RotationDrive::WithinBoundaries(Mode mode) const {
  std::uint32_t hi = mode == Mode::RunUp ? 0x23 : 0x25;
  double c = ModeCurrent(mode);
  if (c > 255) c = 255;  // the driver sees the saturated reading too
  return c >= mem_.At(hi + 1) && c <= mem_.At(hi);
}

int RotationDrive::Noise(int amplitude) {
  rng_ = rng_ * 1103515245u + 12345u;
  if (amplitude <= 0) return 0;
  return int((rng_ >> 16) % std::uint32_t(2 * amplitude + 1)) - amplitude;
}

std::uint8_t RotationDrive::ReadCurrent() {
  Mode mode = CurrentMode();
  double c = ModeCurrent(mode);
  // An overloaded converter reads 0, as the apparatus does: the adjustment window
  // takes a zero minimum for currents beyond the measuring range.
  if (c > 255) return 0;
  if (c <= 0) return 0;
  c += Noise(mode == Mode::Off ? 1 : plant_.currentNoise);
  return std::uint8_t(std::clamp(long(std::lround(c)), 1L, 255L));
}

int RotationDrive::TrueBrakingTenths() const {
  return (plant_.coastingMs + 50) / 100;
}

bool RotationDrive::AnodeTurning(SimTime now) const {
  return AnodeSpeed(now) > 0;
}

int RotationDrive::StoppedAfterMs(SimTime now) const {
  if (!coastFrom_ || AnodeSpeed(now) > 0) return -1;
  const SimTime stop = StopsAt();
  if (stop == SimTime::max() || stop < *coastFrom_) return stop < *coastFrom_ ? 0 : -1;
  return int(std::chrono::duration_cast<std::chrono::milliseconds>(stop - *coastFrom_).count());
}

}  // namespace sim
