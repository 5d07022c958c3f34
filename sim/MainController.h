#pragma once
// The main controller (bus address 0x00): its memory, the command set, the state machine of
// power, standby heating and exposures, the filament heating module, the rotation drive, the
// measuring channels and the generator/tube physics behind a shot.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "sim/BusModule.h"
#include "sim/Filament.h"
#include "sim/Memory.h"
#include "sim/Noise.h"
#include "sim/Panel.h"
#include "sim/Physics.h"
#include "sim/Plant.h"
#include "sim/Profile.h"
#include "sim/RotationDrive.h"
#include "sim/Sequence.h"

namespace sim {

// State codes of the controller.
namespace state {
inline constexpr std::uint8_t kOff = 0;
inline constexpr std::uint8_t kSwitchingOn = 1;
inline constexpr std::uint8_t kOn = 2;
inline constexpr std::uint8_t kWarming = 4;
inline constexpr std::uint8_t kReady = 8;  // standby heating on
inline constexpr std::uint8_t kPreparing = 9;
inline constexpr std::uint8_t kPreparing2 = 10;
inline constexpr std::uint8_t kPrepared = 24;
inline constexpr std::uint8_t kExposureStart = 56;
inline constexpr std::uint8_t kSynchronising = 57;
inline constexpr std::uint8_t kHighVoltage = 58;
inline constexpr std::uint8_t kHighVoltage2 = 59;
inline constexpr std::uint8_t kShotDone = 72;
inline constexpr std::uint8_t kAwaitConfirm = 73;
inline constexpr std::uint8_t kAlarm = 128;  // this and above: an alarm
// The alarm state codes the controller reports: an alarm of the powered apparatus, one that
// broke off an exposure, one that came while the anode ran up.
inline constexpr std::uint8_t kAlarmOn = 0x81;
inline constexpr std::uint8_t kAlarmShot = 0x82;
inline constexpr std::uint8_t kAlarmDrive = 0x84;
}  // namespace state

inline constexpr std::uint8_t kAccepted = 0xE0;
inline constexpr std::uint8_t kRefused = 0xFC;

// What a finished exposure delivered (true values, before any channel coefficient).
struct ShotResult {
  double kv = 0;  // anode voltage, kV
  double ma = 0;  // anode current, mA
  double durationMs = 0;
  int filamentCode = 0;
};

class MainController : public BusModule {
 public:
  MainController(const Profile& profile, Memory& memory);

  std::uint8_t Address() const override { return 0x00; }
  std::uint8_t AnswerAddress(SimTime at) override;
  std::vector<std::uint8_t> HandleFrame(const std::vector<std::uint8_t>& frame,
                                        SimTime at) override;

  // --- scripting ---
  std::uint8_t State(SimTime now);
  void SetState(std::uint8_t code, SimTime now);
  void RaiseAlarm(std::uint8_t code, SimTime now);
  void SetAlarmCode(std::uint8_t code) { alarmCode_ = code; }
  void ClearAlarm(SimTime now);

  std::uint8_t AlarmCode() const { return alarmCode_; }
  void SetMainsVolts(double volts) { SetPhaseVolts(0, volts); }
  void SetPhaseVolts(int phase, double volts);
  // The true mains the supply channel sees (K4: phase A).
  double MainsVolts() const { return plant_.MainsVolts(); }
  const Plant& TruePlant() const { return plant_; }
  // Replaces the plant (a trainer's change); the noise goes on from where it was.
  void SetPlant(const PlantSettings& settings);
  // The supply reading as the controller would answer it now (before noise), and the last
  // phase voltages it measured.
  double SupplyValue() const { return plant_.SupplyReading(mem_.At(0x15)); }
  void SetExtensionCode(int m, int code) { profile_.extensionCodes[m & 3] = code; }
  const std::optional<ShotResult>& LastShot() const { return lastShot_; }
  std::uint8_t DriveState(SimTime now);
  // The filament current in percent of the module's full current (without the reading's noise).
  double FilamentPercent() const;
  const RotationDrive& Drive() const { return drive_; }

  // True once since page 0 of the memory last changed.
  bool TakePage0Dirty() {
    bool d = page0Dirty_;
    page0Dirty_ = false;
    return d;
  }
  // The operator console's outputs and shown values.
  Panel& Console() { return panel_; }

  // Called with every finished exposure (the reference meter records it when armed).
  std::function<void(const ShotResult&)> onShot;

 private:
  using Bytes = std::vector<std::uint8_t>;
  Bytes Reply(std::uint8_t code, std::initializer_list<std::uint8_t> data = {}) const;
  Bytes Reply(std::uint8_t code, const Bytes& data) const;
  void CatchUp(SimTime now);
  bool Instant() const { return profile_.timing == Timing::Instant; }
  bool K4() const { return profile_.type == "K4"; }
  int MaxFilamentCode() const { return K4() ? 2047 : 1023; }
  static constexpr std::uint32_t kHeatCheckMarker = 0x135;
  void SetSteady(std::uint8_t code, SimTime at);
  void WriteByte(std::uint32_t address, std::uint8_t value);

  Bytes Command(std::uint8_t cmd, const Bytes& p, SimTime at);
  Bytes PowerOn(SimTime at);
  Bytes StandbyHeating(SimTime at);
  Bytes AcceptParameters(const Bytes& p);
  Bytes Prepare(SimTime at);
  Bytes PrepareHeatShot(const Bytes& p, SimTime at);
  Bytes Release(SimTime at);
  Bytes Query(std::uint8_t a, std::uint8_t b, SimTime at);
  Bytes ReadChannel(std::uint8_t c, SimTime at);
  Bytes ReadCounter(std::uint8_t s);
  void StartWarming(SimTime at);
  void FinishExposure();
  double SupplyByte();
  void Alarm(std::uint8_t code, std::uint8_t alarmState, SimTime at);
  std::uint8_t PhaseCode(int phase);
  int FilamentCode() const;
  double MeasuredFilamentPercent();
  int Noise(int amplitude);

  Profile profile_;
  Memory& mem_;
  Sequence main_;
  std::uint8_t alarmCode_ = 0;
  std::uint8_t preAlarmState_ = state::kOff;
  bool preheatPending_ = false;
  Plant plant_;
  sim::Noise noise_;
  RotationDrive drive_;
  Filament filament_;
  bool page0Dirty_ = false;
  std::uint32_t rng_ = 12345;
  // Scheduled alarms of the profile.
  int exposures_ = 0;
  int runUps_ = 0;
  std::optional<SimTime> alarmDue_;

  // Exposure set-up.
  struct Parameters {
    int kv = 0;
    int ma = 0;
    int time = 0;  // 0.01 s
  };
  std::optional<Parameters> accepted_;
  bool heatShot_ = false;
  int heatCode_ = 0;
  int heatTime_ = 0;
  std::optional<ShotResult> lastShot_;
  Panel panel_;

  // Filament heating module: a code set by 03 48 overrides the standby heating.
  std::optional<int> manualFilament_;
  bool techPower_ = false;

  // Counters: working seconds, total exposure time (0.01 s), shots.
  double workSeconds_ = 4523 * 3600.0 + 17 * 60;
  std::uint64_t exposureHundredths_ = 1234567;
  std::uint64_t shots_ = 28461;
  SimTime lastTick_{};
  bool tickStarted_ = false;
};

}  // namespace sim
