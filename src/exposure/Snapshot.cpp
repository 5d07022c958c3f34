#include "exposure/Snapshot.h"

#include "exposure/CurrentCorrection.h"
#include "platform/Clock.h"
#include "platform/Ui.h"

namespace kvt {

namespace {

constexpr std::uint8_t kSupplyVariable = 0x37;
constexpr double kSupplyVoltsPerUnit = 1.464;

constexpr std::uint8_t kPrepared = 24;
constexpr std::uint8_t kAwaitConfirm = 73;
constexpr std::uint8_t kAlarmFirst = 128;

ShotFailure FailureOfWait(const StatusWait& w) {
  if (!w.answered) return ShotFailure::NoAnswer;
  if (w.timedOut) return ShotFailure::TimedOut;
  if (w.status >= kAlarmFirst) return ShotFailure::Alarm;
  return ShotFailure::UnexpectedState;
}

}  // namespace

std::string HundredthsText(int hundredths) {
  const bool negative = hundredths < 0;
  const long v = negative ? -long(hundredths) : long(hundredths);
  // Appended piece by piece: GCC 12 at -O2 warns falsely (-Wrestrict) on chains of + here.
  std::string text;
  if (negative) text += '-';
  text += std::to_string(v / 100);
  const long frac = v % 100;
  if (frac != 0) {
    text += '.';
    text += char('0' + frac / 10);
    if (frac % 10 != 0) text += char('0' + frac % 10);
  }
  return text;
}

std::string ShotFailureText(ShotFailure failure) {
  switch (failure) {
    case ShotFailure::None:
      return "";
    case ShotFailure::InvalidParameters:
      return "Недопустимые параметры снимка.";
    case ShotFailure::Refused:
      return "Параметры снимка не приняты системой.";
    case ShotFailure::NotPrepared:
      return "Система не готова к снимку.";
    case ShotFailure::Alarm:
      return "Снимок прерван аварией.";
    case ShotFailure::UnexpectedState:
      return "Снимок прерван: неожиданное состояние системы.";
    case ShotFailure::TimedOut:
      return "Система не перешла в ожидаемое состояние за отведенное время.";
    case ShotFailure::NoAnswer:
      return "Система не отвечает.";
    case ShotFailure::NoVoltageCoefficient:
      return "Коэффициент канала анодного напряжения (KUAN) равен 0: анодное напряжение не может "
             "быть вычислено. Выполните настройку измерительных каналов.";
  }
  return "";
}

// ----------------------------------------------------------------------------- shared steps

bool ReadShotMeasurement(TSystemLink& link, ShotMeasurement& out) {
  std::uint8_t kuan = 0;
  link.ReadMemory(addr::kKuan, 1, &kuan);
  if (!link.LastTransferOk()) return false;
  link.SendFrame(frames::MeasurementPair(1));
  if (link.LastCount() < 6) return false;
  const auto& rx = link.RxBuffer();
  out.kuan = kuan;
  out.u = int(rx[3]) - int(rx[2]);
  out.i = int(rx[5]) - int(rx[4]);
  return true;
}

int ScaledVoltage(const ShotMeasurement& m) {
  const double k = m.kuan * 0.01;
  return int(m.u / k + 0.5);
}

int CorrectedCurrent(int reading) {
  const float factor = CurrentCorrection(reading);
  return int(double(factor) * reading + 0.5);
}

int ReadSupplyByte(TSystemLink& link) {
  const Frame f = frames::ReadVariable(kSupplyVariable);
  link.Write(std::uint32_t(f.Size()), f.bytes.data());
  link.Read(3);
  if (link.LastCount() < 3) return -1;
  return link.RxBuffer()[2];
}

StatusWait WaitWhileStatus(TSystemLink& link, const std::function<bool(std::uint8_t)>& keepWaiting,
                           int limitMs, int pauseMs) {
  StatusWait w;
  const std::uint64_t start = platform::TickCount();
  for (;;) {
    const std::uint8_t s = link.PollState();
    if (link.LastCount() >= 1) {
      w.answered = true;
      w.status = s;
      if (!keepWaiting(s)) return w;
    }
    if (platform::TickCount() - start >= std::uint64_t(limitMs < 0 ? 0 : limitMs)) {
      w.timedOut = true;
      return w;
    }
    platform::Delay(pauseMs);
  }
}

// ----------------------------------------------------------------------------- TSnapshot

TSnapshot::TSnapshot(bool wait, const ShotTimeLimits& limits) : Wait(wait), Limits(limits) {
  const int supply = ReadSupplyByte(*this);
  Ud = supply < 0 ? 0 : std::uint16_t(supply * kSupplyVoltsPerUnit);
  ReadShotResults();
  LastFailure = ShotFailure::None;
}

bool TSnapshot::AcceptSnapshotParameters(int kv, int ma, int time, bool report) {
  Kv = std::uint16_t(kv);
  Time = std::uint16_t(time);
  // A value the frame cannot carry would reach the apparatus cut to its low bits, as a
  // different exposure from the one asked for.
  const bool valid = kv >= 0 && kv <= 0xFF && ma >= 0 && ma <= 0xFF && time >= 0 && time <= 0xFFFF;
  if (valid) {
    SendFrame(frames::ShotParameters(std::uint8_t(kv), std::uint8_t(ma), std::uint16_t(time)));
    if (LastCount() == 6) {
      LastFailure = ShotFailure::None;
      return true;
    }
  }
  LastFailure = valid ? ShotFailure::Refused : ShotFailure::InvalidParameters;
  if (report) {
    platform::ShowMessage("Параметры снимка: " + std::to_string(kv) + " кВ, " + std::to_string(ma) +
                              "мА, " + HundredthsText(time) + " с. не приняты системой.",
                          "TSnapshot::AcceptSnapshotParameters", platform::Icon::Error,
                          platform::Buttons::Ok, true);
  }
  return false;
}

bool TSnapshot::WaitPrepared() {
  if (!Wait) return true;
  const StatusWait w = WaitWhileStatus(
      *this, [](std::uint8_t s) { return s >= 8 && s <= 23; }, Limits.prepareMs,
      Limits.pollPauseMs);
  if (!w.timedOut && w.answered && w.status == kPrepared) return true;
  LastFailure = FailureOfWait(w);
  return false;
}

bool TSnapshot::PrepareShot(int kv, int ma, int time) {
  if (!AcceptSnapshotParameters(kv, ma, time, true)) return false;
  SendFrame(frames::Simple(0x49));
  return WaitPrepared();
}

bool TSnapshot::PrepareHeatShot(int code, int time) {
  HeatCode = std::uint16_t(code);
  Time = std::uint16_t(time);
  if (code < 0 || code > 0xFFFF || time < 0 || time > 0xFFFF) {
    LastFailure = ShotFailure::InvalidParameters;
    return false;
  }
  LastFailure = ShotFailure::None;
  SendFrame(frames::HeatShot(std::uint16_t(code), std::uint16_t(time)));
  return WaitPrepared();
}

void TSnapshot::CancelPrepare() {
  SendFrame(frames::Simple(0x4A));
}

void TSnapshot::StopShot() {
  SendFrame(frames::Simple(0x53));
}

bool TSnapshot::Expose() {
  const std::uint8_t s = PollState();
  if (LastCount() == 0) {
    LastFailure = ShotFailure::NoAnswer;
    return false;
  }
  if (s != kPrepared) {
    LastFailure = ShotFailure::NotPrepared;
    return false;
  }
  LastFailure = ShotFailure::None;
  SendFrame(frames::Simple(0x4B));
  if (!Wait) return true;
  const StatusWait w = WaitWhileStatus(
      *this, [](std::uint8_t st) { return st >= 24 && st <= 72; }, Limits.exposeMs + int(Time) * 10,
      Limits.pollPauseMs);
  if (w.timedOut || !w.answered || w.status != kAwaitConfirm) {
    LastFailure = FailureOfWait(w);
    return false;
  }
  SendFrame(frames::Simple(0x4C));
  if (ReadShotResults()) return true;
  if (LastFailure == ShotFailure::NoVoltageCoefficient) {
    platform::ShowMessage(ShotFailureText(LastFailure), "TSnapshot::Expose", platform::Icon::Error);
  }
  return false;
}

bool TSnapshot::ReadShotResults() {
  ShotMeasurement m;
  if (!ReadShotMeasurement(*this, m)) {
    LastFailure = ShotFailure::NoAnswer;
    return false;
  }
  Ia = CorrectedCurrent(m.i);
  if (m.kuan == 0) {
    // Without the channel coefficient the voltage reading means nothing; 0 says "not measured"
    // rather than passing on a figure from an earlier exposure.
    Uv = 0;
    Re = 0;
    LastFailure = ShotFailure::NoVoltageCoefficient;
    return false;
  }
  Uv = ScaledVoltage(m);
  Re = Ia != 0 ? (Ud - Uv * kSupplyVoltsPerUnit) / (Ia * 0.483) : 0.0;
  return true;
}

bool TSnapshot::MakeShot(int kv, int ma, int time) {
  const bool saved = Wait;
  Wait = true;
  const bool ok = PrepareShot(kv, ma, time) && Expose();
  Wait = saved;
  return ok;
}

}  // namespace kvt
