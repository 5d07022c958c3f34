#include "exposure/FilamentShot.h"

namespace kvt {

namespace {

constexpr double kSupplyVoltsPerUnit = 1.464;
constexpr std::uint8_t kReady = 8;
constexpr std::uint8_t kPrepared = 24;
constexpr std::uint8_t kAwaitConfirm = 73;
// Any status from 128 on is an alarm.
constexpr bool IsAlarm(std::uint8_t s) {
  return s >= 0x80;
}

ShotFailure FailureOfWait(const StatusWait& w) {
  if (!w.answered) return ShotFailure::NoAnswer;
  if (w.timedOut) return ShotFailure::TimedOut;
  if (IsAlarm(w.status)) return ShotFailure::Alarm;
  return ShotFailure::UnexpectedState;
}

}  // namespace

TFilamentShot::TFilamentShot() {
  Ok = true;
  if (!ReadSupply()) return;
  ReadResults();
}

TFilamentShot::TFilamentShot(int code, const ShotTimeLimits& limits) : Limits(limits) {
  Ok = true;
  if (code < 0 || code > 0xFFFF) {
    Fail(ShotFailure::InvalidParameters);
    return;
  }
  if (!ReadSupply()) return;
  In = std::uint16_t(code);
  Time = 5;

  // Idle first: a status with any of bits 4 to 7 set (a preparation or exposure under way, an
  // alarm) means the apparatus is not free for a shot.
  StatusWait w = WaitWhileStatus(
      *this, [](std::uint8_t s) { return s != kReady && (s & 0xF0) == 0; }, Limits.readyMs,
      Limits.pollPauseMs);
  if (w.timedOut || !w.answered || w.status != kReady) {
    Fail(FailureOfWait(w));
    return;
  }

  SendFrame(frames::HeatShot(In, Time));
  w = WaitWhileStatus(
      *this, [](std::uint8_t s) { return s != kPrepared && !IsAlarm(s); }, Limits.prepareMs,
      Limits.pollPauseMs);
  if (w.timedOut || !w.answered || w.status != kPrepared) {
    Fail(FailureOfWait(w));
    return;
  }

  SendFrame(frames::Simple(0x4B));
  w = WaitWhileStatus(
      *this, [](std::uint8_t s) { return s != kAwaitConfirm && !IsAlarm(s); },
      Limits.exposeMs + int(Time) * 10, Limits.pollPauseMs);
  if (w.timedOut || !w.answered || w.status != kAwaitConfirm) {
    Fail(FailureOfWait(w));
    return;
  }

  SendFrame(frames::Simple(0x4C));
  ReadResults();
}

bool TFilamentShot::ReadSupply() {
  const int supply = ReadSupplyByte(*this);
  if (supply < 0) {
    Fail(ShotFailure::NoAnswer);
    return false;
  }
  Ud = std::uint16_t(supply * kSupplyVoltsPerUnit);
  return true;
}

bool TFilamentShot::ReadResults() {
  ShotMeasurement m;
  if (!ReadShotMeasurement(*this, m)) {
    Fail(ShotFailure::NoAnswer);
    return false;
  }
  Kuan = float(m.kuan * 0.01);
  Ia = CorrectedCurrent(m.i);
  if (m.kuan == 0) {
    // The calibration builds its tables from Uv and Re: an unscaled voltage must not reach them.
    Uv = 0;
    Re = 0;
    Fail(ShotFailure::NoVoltageCoefficient);
    return false;
  }
  Uv = ScaledVoltage(m);
  Re = 0;
  if (Ia != 0) {
    const int supply = ReadSupplyByte(*this);
    if (supply < 0) {
      Fail(ShotFailure::NoAnswer);
      return false;
    }
    Re = int(double(supply - Uv) / Ia * 256);
  }
  return true;
}

}  // namespace kvt
