#include "sim/MainController.h"

#include <algorithm>
#include <cmath>

namespace sim {
namespace {

using namespace std::chrono_literals;

// Realistic durations (ms).
constexpr int kSwitchOnMs = 1500;
constexpr int kWarmingMs = 1000;
constexpr int kPrepareMs1 = 400;
constexpr int kPrepareMs2 = 600;
constexpr int kExposureStartMs = 50;
constexpr int kSynchronisingMs = 100;
constexpr int kShotDoneMs = 200;

std::uint8_t Clamp8(double v) {
  return static_cast<std::uint8_t>(std::clamp(static_cast<long>(std::lround(v)), 0L, 255L));
}

bool InExposure(std::uint8_t s) {
  return s >= state::kPreparing && s < state::kAlarm;
}

}  // namespace

MainController::MainController(const Profile& profile, Memory& memory)
    : profile_(profile),
      mem_(memory),
      plant_(profile.plant, profile.type == "K4"),
      noise_(profile.plant.seed),
      drive_(profile.rotation, profile.type == "K4", memory,
             [this](std::uint8_t code, SimTime at) { Alarm(code, state::kAlarmDrive, at); }),
      filament_(profile.filament, profile.type == "K4") {
  drive_.SetLiveFault([this] {
    using F = PlantSettings::StatorFault;
    switch (plant_.Settings().statorFault) {
      case F::Open:
        return StatorFault::OpenWinding;
      case F::Shorted:
        return StatorFault::ShortedWinding;
      case F::OverRange:
        return StatorFault::OverRange;
      default:
        return StatorFault::None;
    }
  });
  SimTime now = SimClock::now();
  std::uint8_t s = state::kOff;
  if (profile_.alarm >= 0) {
    alarmCode_ = static_cast<std::uint8_t>(profile_.alarm);
    s = state::kAlarmOn;
  }
  if (profile_.plant.alarmAfterSeconds > 0)
    alarmDue_ = now + std::chrono::seconds(profile_.plant.alarmAfterSeconds);
  if (profile_.state >= 0) s = static_cast<std::uint8_t>(profile_.state);
  SetSteady(s, now);
  // The shot whose curves the default image holds.
  lastShot_ = ShotResult{80.0, 100.0, 50.0, 0};
}

MainController::Bytes MainController::Reply(std::uint8_t code,
                                            std::initializer_list<std::uint8_t> data) const {
  return Reply(code, Bytes(data));
}

MainController::Bytes MainController::Reply(std::uint8_t code, const Bytes& data) const {
  Bytes r;
  r.reserve(data.size() + 2);
  std::size_t following = std::min<std::size_t>(data.size() + 1, 15);
  r.push_back(static_cast<std::uint8_t>((Address() & 0xF0) | following));
  r.push_back(code);
  r.insert(r.end(), data.begin(), data.end());
  return r;
}

void MainController::SetSteady(std::uint8_t code, SimTime at) {
  main_.Start({{code, 0, nullptr}}, at);
}

void MainController::CatchUp(SimTime now) {
  if (tickStarted_ && now > lastTick_) {
    std::uint8_t s = main_.State();
    if (s != state::kOff && s < state::kAlarm) {
      workSeconds_ += std::chrono::duration<double>(now - lastTick_).count();
    }
  }
  if (!tickStarted_ || now > lastTick_) lastTick_ = now;
  tickStarted_ = true;
  if (!Instant()) {
    main_.CatchUp(now);
    drive_.CatchUp(now);
  }
  if (alarmDue_ && now >= *alarmDue_) {
    alarmDue_.reset();
    std::uint8_t s = main_.State();
    Alarm(static_cast<std::uint8_t>(profile_.plant.alarmCode),
          InExposure(s) ? state::kAlarmShot : state::kAlarmOn, now);
  }
}

void MainController::SetPlant(const PlantSettings& settings) {
  profile_.plant = settings;
  plant_ = Plant(settings, K4());
}

void MainController::SetPhaseVolts(int phase, double volts) {
  PlantSettings s = plant_.Settings();
  s.mainsVolts[std::clamp(phase, 0, 2)] = std::clamp(volts, 0.0, 400.0);
  SetPlant(s);
}

std::uint8_t MainController::AnswerAddress(SimTime at) {
  CatchUp(at);
  return Address();
}

std::uint8_t MainController::State(SimTime now) {
  CatchUp(now);
  return main_.State();
}

std::uint8_t MainController::DriveState(SimTime now) {
  CatchUp(now);
  return drive_.State();
}

void MainController::SetState(std::uint8_t code, SimTime now) {
  CatchUp(now);
  if (code < state::kAlarm) alarmCode_ = 0;
  preheatPending_ = false;
  SetSteady(code, now);
}

void MainController::RaiseAlarm(std::uint8_t code, SimTime now) {
  std::uint8_t s = State(now);
  std::uint8_t alarmState = s >= state::kAlarm ? s : state::kAlarmOn;
  if (InExposure(s)) alarmState = state::kAlarmShot;
  Alarm(code, alarmState, now);
}

void MainController::Alarm(std::uint8_t code, std::uint8_t alarmState, SimTime now) {
  std::uint8_t s = main_.State();
  if (s < state::kAlarm) {
    // An alarm aborts a shot under way; afterwards the apparatus is back in standby heating.
    if (InExposure(s)) s = state::kReady;
    if (s == state::kSwitchingOn) s = state::kOn;
    if (s == state::kWarming) s = state::kReady;
    preAlarmState_ = s;
  }
  alarmCode_ = code;
  preheatPending_ = false;
  // A shot broken off by an alarm: the anode is braked as after any shot.
  if (InExposure(main_.State())) drive_.ShotBrake(now);
  SetSteady(alarmState, now);
}

void MainController::ClearAlarm(SimTime now) {
  CatchUp(now);
  alarmCode_ = 0;
  if (main_.State() >= state::kAlarm) SetSteady(preAlarmState_, now);
}

void MainController::WriteByte(std::uint32_t address, std::uint8_t value) {
  mem_.Set(address, value);
  // The heating check's marker: 0 hands the filament to the service codes (03 48, 01 46);
  // anything else gives it back to the controller's own control (standby heating or off).
  if (address == kHeatCheckMarker && value != 0) manualFilament_.reset();
  if (address < kPageSize) page0Dirty_ = true;
}

int MainController::Noise(int amplitude) {
  rng_ = rng_ * 1103515245u + 12345u;
  if (amplitude <= 0) return 0;
  return static_cast<int>((rng_ >> 16) % static_cast<std::uint32_t>(2 * amplitude + 1)) - amplitude;
}

double MainController::SupplyByte() {
  return SupplyValue() + noise_.Counts(profile_.plant.noise);
}

std::uint8_t MainController::PhaseCode(int phase) {
  return Clamp8(plant_.PhaseCode(phase) + noise_.Counts(profile_.plant.noise));
}

std::vector<std::uint8_t> MainController::HandleFrame(const std::vector<std::uint8_t>& frame,
                                                      SimTime at) {
  CatchUp(at);
  if (frame.empty()) return {};
  if (frame.size() == 1) {
    std::uint8_t s = main_.State();
    if (Instant()) main_.StepOnce(at);
    return {s};
  }
  Bytes params(frame.begin() + 2, frame.end());
  return Command(frame[1], params, at);
}

MainController::Bytes MainController::Command(std::uint8_t cmd, const Bytes& p, SimTime at) {
  const std::uint8_t s = main_.State();
  auto need = [&](std::size_t n) { return p.size() == n; };
  switch (cmd) {
    case 0x00:  // control output p = v
      if (!need(2)) break;
      if (p[0] == 0xB4) drive_.SetK4Mode(p[1]);
      if (p[0] == 0xB0) techPower_ = p[1] != 0;
      return Reply(kAccepted);
    case 0x01: {  // write memory
      if (p.size() < 4 || p.size() > 11) break;
      std::uint32_t a = static_cast<std::uint32_t>(p[0]) << 16 | p[1] << 8 | p[2];
      std::size_t n = p.size() - 3;
      if (a + n > kMemorySize) break;
      for (std::size_t i = 0; i < n; ++i) WriteByte(a + static_cast<std::uint32_t>(i), p[3 + i]);
      return Reply(kAccepted);
    }
    case 0x03:
      if (!need(4)) break;
      return AcceptParameters(p);
    case 0x04:
      return Reply(kAccepted);
    case 0x10: {  // store the accepted parameters as exposure program p
      if (!need(1) || !accepted_) break;
      int idx = ProgramIndex(p[0]);
      if (idx < 0) break;
      std::uint32_t a = kProgramsAddress + static_cast<std::uint32_t>(idx) * 4;
      WriteByte(a, static_cast<std::uint8_t>(accepted_->kv));
      WriteByte(a + 1, static_cast<std::uint8_t>(accepted_->ma));
      WriteByte(a + 2, static_cast<std::uint8_t>(accepted_->time >> 8));
      WriteByte(a + 3, static_cast<std::uint8_t>(accepted_->time & 0xFF));
      return Reply(kAccepted);
    }
    case 0x20: {  // variables
      if (!need(1)) break;
      std::uint8_t v = 0;
      if (p[0] == 0x23) v = alarmCode_;
      if (p[0] == 0x37) v = Clamp8(SupplyByte());
      if (p[0] == 0x38 && lastShot_) {
        double kuan = mem_.At(0x13) ? mem_.At(0x13) * 0.01 : 1.0;
        v = Clamp8(plant_.AnodeReading(lastShot_->kv) / kuan + noise_.Counts(profile_.plant.noise));
      }
      return Reply(kAccepted, {v});
    }
    case 0x21:
      if (!need(2)) break;
      return Query(p[0], p[1], at);
    case 0x23: {  // read memory
      if (!need(4) || p[0] < 1 || p[0] > 8) break;
      std::uint32_t a = static_cast<std::uint32_t>(p[1]) << 16 | p[2] << 8 | p[3];
      if (a + p[0] > kMemorySize) break;
      Bytes data;
      for (std::uint32_t i = 0; i < p[0]; ++i) data.push_back(mem_.At(a + i));
      return Reply(kAccepted, data);
    }
    case 0x27:
      if (!need(1) || p[0] > 2) break;
      return ReadCounter(p[0]);
    case 0x2A: {  // extension module code (K4)
      if (!need(2)) break;
      int code = kNoModule;
      if (p[0] >= 252) code = profile_.extensionCodes[p[0] - 252];
      return Reply(kAccepted, {static_cast<std::uint8_t>(code)});
    }
    case 0x2E: {
      if (!need(0)) break;
      std::string t = profile_.type + "  ";
      return Reply(kAccepted, {static_cast<std::uint8_t>(t[0]), static_cast<std::uint8_t>(t[1])});
    }
    case 0x2F:
      if (!need(0)) break;
      return Reply(kAccepted, {static_cast<std::uint8_t>(profile_.version)});
    case 0x30: {  // read exposure program
      if (!need(1)) break;
      int idx = ProgramIndex(p[0]);
      if (idx < 0) break;
      std::uint32_t a = kProgramsAddress + static_cast<std::uint32_t>(idx) * 4;
      return Reply(kAccepted, {mem_.At(a), mem_.At(a + 1), mem_.At(a + 2), mem_.At(a + 3)});
    }
    case 0x40:  // off; also the way out of an alarm
      if (!need(0)) break;
      alarmCode_ = 0;
      preheatPending_ = false;
      manualFilament_.reset();
      drive_.Stop();
      SetSteady(state::kOff, at);
      return Reply(kAccepted);
    case 0x41:  // rotation drive: run-up, then at speed
      if (!need(0)) break;
      ++runUps_;
      if (runUps_ == profile_.plant.alarmOnRunUp) {
        // The scheduled alarm comes half-way through this run-up.
        drive_.RunUpBrokenOff(at, [this](SimTime t) {
          Alarm(static_cast<std::uint8_t>(profile_.plant.alarmCode), state::kAlarmDrive, t);
        });
        return Reply(kAccepted);
      }
      drive_.RunUp(at);
      return Reply(kAccepted);
    case 0x42:  // rotation drive: brake, additional braking, done
      if (!need(0)) break;
      drive_.Brake(at);
      return Reply(kAccepted);
    case 0x43:
      if (!need(1)) break;
      return ReadChannel(p[0], at);
    case 0x44:
      if (!need(1)) break;
      return Reply(mem_.BankOk(p[0]) ? kAccepted : kRefused);
    case 0x45:
      if (!need(1)) break;
      mem_.Commit(p[0]);
      page0Dirty_ = true;
      return Reply(kAccepted);
    case 0x46:  // filament off
      if (!need(0)) break;
      manualFilament_ = 0;
      return Reply(kAccepted);
    case 0x47:
      if (!need(0)) break;
      return StandbyHeating(at);
    case 0x48: {
      if (!need(2)) break;
      int code = p[0] << 8 | p[1];
      if (code > MaxFilamentCode()) break;
      manualFilament_ = code;
      return Reply(kAccepted);
    }
    case 0x49:
      if (!need(0)) break;
      return Prepare(at);
    case 0x4A:  // cancel a preparation
      if (!need(0) || s < state::kReady || s > state::kPrepared) break;
      panel_.ShotCancelled();
      drive_.ShotBrake(at);
      SetSteady(state::kReady, at);
      return Reply(kAccepted);
    case 0x4B:
      if (!need(0)) break;
      return Release(at);
    case 0x4C:  // confirm a finished shot
      if (!need(0) || s != state::kAwaitConfirm) break;
      SetSteady(state::kReady, at);
      return Reply(kAccepted);
    case 0x4D:
      if (!need(0)) break;
      return PowerOn(at);
    case 0x4E:
    case 0x4F:
    case 0x50:
    case 0x51:
    case 0x54:
      if (!need(0)) break;
      return Reply(kAccepted, *panel_.Command(cmd));
    case 0x52:
      if (!need(4)) break;
      return PrepareHeatShot(p, at);
    case 0x53:  // stop a shot under way
      if (!need(0) || s <= state::kPrepared || s >= state::kAlarm) break;
      panel_.ShotCancelled();
      drive_.ShotBrake(at);
      SetSteady(state::kReady, at);
      return Reply(kAccepted);
    case 0x61: {  // measurement pair of the last shot
      if (!need(1)) break;
      std::uint8_t u = 0;
      std::uint8_t i = 0;
      if (lastShot_) {
        double sigma = profile_.plant.noise;
        u = Clamp8(plant_.AnodeReading(lastShot_->kv) + noise_.Counts(sigma));
        i = Clamp8(physics::RawCurrentReading(lastShot_->ma) + noise_.Counts(sigma));
      }
      // Each reading is the difference of two converter samples over a small offset.
      std::uint8_t u0 = 2;
      std::uint8_t i0 = 1;
      return Reply(kAccepted, {u0, static_cast<std::uint8_t>(std::min(255, u0 + u)), i0,
                               static_cast<std::uint8_t>(std::min(255, i0 + i))});
    }
    default:
      break;
  }
  return Reply(kRefused);
}

MainController::Bytes MainController::PowerOn(SimTime at) {
  std::uint8_t s = main_.State();
  if (s == state::kOff) {
    main_.Start({{state::kSwitchingOn, kSwitchOnMs, nullptr},
                 {state::kOn, 0,
                  [this](SimTime t) {
                    if (preheatPending_) StartWarming(t);
                  }}},
                at);
    return Reply(kAccepted);
  }
  if (s == state::kSwitchingOn || s == state::kOn || s == state::kWarming || s == state::kReady) {
    return Reply(kAccepted);
  }
  return Reply(kRefused);
}

void MainController::StartWarming(SimTime at) {
  preheatPending_ = false;
  manualFilament_.reset();
  // Step 2 first so that instant timing still shows the apparatus on before it warms.
  main_.Start({{state::kOn, 0, nullptr},
               {state::kWarming, kWarmingMs, nullptr},
               {state::kReady, 0, nullptr}},
              at);
}

MainController::Bytes MainController::StandbyHeating(SimTime at) {
  std::uint8_t s = main_.State();
  if (s == state::kSwitchingOn) {
    preheatPending_ = true;
    return Reply(kAccepted);
  }
  if (s == state::kOn) {
    StartWarming(at);
    return Reply(kAccepted);
  }
  if (s == state::kWarming || s == state::kReady) {
    manualFilament_.reset();
    return Reply(kAccepted);
  }
  return Reply(kRefused);
}

MainController::Bytes MainController::AcceptParameters(const Bytes& p) {
  int kv = p[0];
  int ma = p[1];
  int time = p[2] << 8 | p[3];
  int start = mem_.Word(0x200);
  int end = mem_.Word(0x202);
  if (end < start || start == 0) {
    start = kDefaultTableStart;
    end = kDefaultTableEnd;
  }
  std::uint8_t s = main_.State();
  bool busy = InExposure(s);
  if (busy || kv < start || kv > end || ma < 10 || ma > 250 || time > 1000) {
    return Reply(kRefused);
  }
  accepted_ = Parameters{kv, ma, time};
  panel_.Show({kv, ma, time});
  return Reply(kAccepted, {p[0], p[1], p[2], p[3]});
}

MainController::Bytes MainController::Prepare(SimTime at) {
  if (main_.State() != state::kReady || !accepted_) return Reply(kRefused);
  heatShot_ = false;
  drive_.ShotRunUp(at);
  main_.Start({{state::kPreparing, kPrepareMs1, nullptr},
               {state::kPreparing2, kPrepareMs2, nullptr},
               {state::kPrepared, 0, nullptr}},
              at);
  return Reply(kAccepted);
}

MainController::Bytes MainController::PrepareHeatShot(const Bytes& p, SimTime at) {
  int code = p[0] << 8 | p[1];
  int time = p[2] << 8 | p[3];
  if (main_.State() != state::kReady || code > MaxFilamentCode() || time > 1000) {
    return Reply(kRefused);
  }
  heatShot_ = true;
  drive_.ShotRunUp(at);
  heatCode_ = code;
  heatTime_ = time;
  main_.Start({{state::kPreparing, kPrepareMs1, nullptr},
               {state::kPreparing2, kPrepareMs2, nullptr},
               {state::kPrepared, 0, nullptr}},
              at);
  return Reply(kAccepted);
}

MainController::Bytes MainController::Release(SimTime at) {
  if (main_.State() != state::kPrepared) return Reply(kRefused);
  int hundredths = heatShot_ ? heatTime_ : (accepted_ ? accepted_->time : 0);
  int ms = std::max(10, hundredths * 10);
  ++exposures_;
  if (exposures_ == profile_.plant.alarmOnShot) {
    // The scheduled alarm breaks this exposure off in its middle.
    main_.Start({{state::kExposureStart, kExposureStartMs, nullptr},
                 {state::kSynchronising, kSynchronisingMs, nullptr},
                 {state::kHighVoltage, ms / 2, nullptr},
                 {state::kHighVoltage2, 0,
                  [this](SimTime t) {
                    Alarm(static_cast<std::uint8_t>(profile_.plant.alarmCode), state::kAlarmShot,
                          t);
                  }}},
                at);
    return Reply(kAccepted);
  }
  main_.Start({{state::kExposureStart, kExposureStartMs, nullptr},
               {state::kSynchronising, kSynchronisingMs, nullptr},
               {state::kHighVoltage, ms / 2, nullptr},
               {state::kHighVoltage2, ms - ms / 2, nullptr},
               {state::kShotDone, kShotDoneMs,
                [this](SimTime t) {
                  FinishExposure();
                  drive_.ShotBrake(t);
                }},
               {state::kAwaitConfirm, 0, nullptr}},
              at);
  return Reply(kAccepted);
}

void MainController::FinishExposure() {
  const bool k4 = K4();
  ShotResult r;
  int hundredths = 0;
  const int kuanByte = mem_.At(0x13);
  // The controller regulates the voltage on its own reading divided by KUAN; it lands within
  // the regulation error of its aim.
  auto regulated = [&](int setKv) {
    return plant_.RegulatedKv(setKv, kuanByte) + noise_.Within(profile_.plant.regulationKv);
  };
  if (heatShot_) {
    r.filamentCode = heatCode_;
    // K3 and K4 regulate a shot by filament code to the voltage of the parameters set before
    // it; K2 leaves the voltage to the load.
    if (profile_.type != "K2" && accepted_) {
      r.kv = regulated(accepted_->kv);
    } else {
      r.kv = plant_.HeatShotKv(heatCode_);
    }
    hundredths = heatTime_;
  } else if (accepted_) {
    // The controller picks the filament code from its calibration table and regulates the
    // voltage on its own channel reading (divided by KUAN).
    int start = mem_.Word(0x200);
    int end = mem_.Word(0x202);
    int step = mem_.Word(0x204);
    double code = plant_.CodeForCurrent(accepted_->kv, accepted_->ma);
    if (step > 0 && end >= start && (end - start) / step + 2 <= 15) {
      int rows = (end - start) / step + 2;
      std::vector<int> words;
      for (int i = 0; i < rows * 8; ++i) {
        words.push_back(
            static_cast<std::int16_t>(mem_.Word(0x210 + static_cast<std::uint32_t>(i) * 2)));
      }
      code = physics::TableCodeClamped(words, start, end, step, accepted_->kv, accepted_->ma);
    }
    r.filamentCode = std::clamp(static_cast<int>(std::lround(code)), 0, MaxFilamentCode());
    r.kv = regulated(accepted_->kv);
    hundredths = accepted_->time;
  }
  r.kv = std::max(0.0, r.kv);
  r.ma = plant_.TubeCurrent(r.filamentCode, r.kv);
  r.durationMs = std::max(10, hundredths * 10);
  lastShot_ = r;
  shots_ += 1;
  exposureHundredths_ += static_cast<std::uint64_t>(hundredths);

  // The recorder's curves go to the bank named at 0x1E; a bank inside the configuration image
  // would be overwritten, so the controller then keeps its own default bank.
  int q = mem_.At(0x1E);
  if (q < 5) q = kCurveBank;
  physics::ShotCurves c =
      physics::MakeShotCurves(plant_.AnodeReading(r.kv), r.ma / (k4 ? 3.9 : 3.125), r.durationMs);
  std::uint32_t base = static_cast<std::uint32_t>(q) * 256;
  std::size_t room = 0xFF00 > base + 2 ? 0xFF00 - (base + 2) : 0;
  std::size_t n = std::min(c.bytes.size(), room / 20 * 20);
  if (n >= 20) {
    std::uint16_t w = static_cast<std::uint16_t>(n / 20 - 1);
    WriteByte(base, static_cast<std::uint8_t>(w >> 8));
    WriteByte(base + 1, static_cast<std::uint8_t>(w & 0xFF));
    for (std::size_t i = 0; i < n; ++i)
      WriteByte(base + 2 + static_cast<std::uint32_t>(i), c.bytes[i]);
  }
  if (onShot) onShot(r);
}

MainController::Bytes MainController::Query(std::uint8_t a, std::uint8_t b, SimTime at) {
  if (a == 1 && b == 0x29) return Reply(kAccepted, {drive_.Query(at, Instant())});
  if (a == 9 && b == 0x37) {
    return Reply(kAccepted, panel_.ShownValuesReply());
  }
  if (a == 3 && b == 0x40) {
    Bytes volts;
    for (int phase = 0; phase < 3; ++phase) {
      int code = PhaseCode(phase);
      std::uint32_t base = 0x80 + static_cast<std::uint32_t>(phase) * 3;
      double A = mem_.At(base);
      double B = static_cast<std::int16_t>(mem_.Word(base + 1));
      double v = (code * A - B) / 128.0;
      volts.push_back(static_cast<std::uint8_t>(std::clamp(static_cast<int>(v), 0, 255)));
    }
    return Reply(kAccepted, volts);
  }
  return Reply(kAccepted, {0});
}

double MainController::FilamentPercent() const {
  return filament_.TruePercent(FilamentCode(), mem_.At(0x034000) == 0, mem_.At(0x40) != 0);
}

double MainController::MeasuredFilamentPercent() {
  return filament_.Percent(FilamentCode(), mem_.At(0x034000) == 0, mem_.At(0x40) != 0);
}

int MainController::FilamentCode() const {
  int code = 0;
  std::uint8_t s = main_.State();
  if (manualFilament_) {
    code = *manualFilament_;
  } else if (s >= state::kWarming && s < state::kAlarm) {
    code = MaxFilamentCode() / 2;  // standby heating holds half the code range
  }
  return code;
}

MainController::Bytes MainController::ReadChannel(std::uint8_t c, SimTime at) {
  (void)at;  // the drive and the heater have been brought up to date with the frame
  switch (c) {
    case 1:
    case 12:
      return Reply(kAccepted, {drive_.ReadCurrent()});
    case 2:
      return Reply(kAccepted, filament_.WideReading(MeasuredFilamentPercent()));
    case 8:
      return Reply(kAccepted, {filament_.K4Reading(MeasuredFilamentPercent())});
    case 3:  // phase converters A, B, C
      return Reply(kAccepted, {PhaseCode(0)});
    case 6:
      return Reply(kAccepted, {PhaseCode(1)});
    case 5:
      return Reply(kAccepted, {PhaseCode(2)});
    default:
      return Reply(kAccepted, {0});
  }
}

MainController::Bytes MainController::ReadCounter(std::uint8_t s) {
  std::uint64_t v = 0;
  if (s == 0) v = Panel::WorkTimeDigits(workSeconds_);
  if (s == 1) v = exposureHundredths_;
  if (s == 2) v = shots_ * 100;  // the program shows this counter divided by 100
  return Reply(kAccepted, Panel::Bcd5(v));
}

}  // namespace sim
