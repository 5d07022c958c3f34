#pragma once
// The simulated apparatus: the bus with its ninth-bit addressing, the modules on it (main
// controller at 0x00, reference voltage meter at 0x10 when present), fault injection and a
// scripting interface for tests, training scenarios and the demo.
//
// Thread-safe: every public call takes the apparatus's own lock.

#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/BusModule.h"
#include "sim/MainController.h"
#include "sim/Memory.h"
#include "sim/Profile.h"
#include "sim/VoltageMeter.h"

namespace sim {

// One unit the bus received: an address byte (ninth bit set), or a data frame (header and the
// bytes its count announces), or the bytes of a frame that stopped short.
struct ReceivedFrame {
  std::vector<std::uint8_t> bytes;
  std::vector<bool> mark;  // ninth bit of each byte as it was received
  int selected = -1;       // address of the module selected when it came, -1 = none
  bool complete = true;    // false: the frame was cut short by a pause or an address byte

  bool IsAddress() const { return bytes.size() == 1 && mark.size() == 1 && mark[0]; }
  // True when every byte came with the ninth bit clear (as data must).
  bool AllSpace() const {
    for (bool m : mark) {
      if (m) return false;
    }
    return true;
  }
};

class Apparatus {
 public:
  // memoryFile: where page 0 is kept between runs (empty = not kept).
  explicit Apparatus(Profile profile, std::filesystem::path memoryFile = {});
  ~Apparatus();
  Apparatus(const Apparatus&) = delete;
  Apparatus& operator=(const Apparatus&) = delete;

  // --- the bus side (the serial backend) ---
  // One byte arriving at `at` with its ninth bit; returns the reply bytes it completes (the
  // faults of the profile already applied).
  std::vector<std::uint8_t> Receive(std::uint8_t byte, bool mark, SimTime at);
  Timing TimingMode() const;
  int LatencyMs() const;
  // Keeps whether the apparatus is off, on or in standby heating in `file` as it changes, the way
  // a real apparatus stays powered while the program is closed (kvtctl starts a new simulator
  // for every command). Empty: not kept.
  void KeepPowerIn(std::filesystem::path file);

  // --- scripting ---
  Profile CurrentProfile() const;
  std::uint8_t State();
  // Any code; 128 and above is an alarm state (the alarm code stays as it is).
  void SetState(std::uint8_t code);
  // An alarm now: an alarm state above 0x80 (state::kAlarmShot when it breaks off an exposure,
  // else state::kAlarmOn) with `code` in variable 0x23; the code can be changed while it lasts.
  void RaiseAlarm(std::uint8_t code);
  void SetAlarmCode(std::uint8_t code);
  void ClearAlarm();
  std::uint8_t AlarmCode();
  std::uint8_t DriveState();

  // Silence: for good (until Resume), or for ms from now. Resume also ends a profile's silence.
  void GoSilent();
  void GoSilentFor(int ms);
  void Resume();
  bool IsSilent();

  // Reply shape faults (replies to command frames only).
  void SetGarbage(int bytes);
  void SetTruncate(bool on);
  void SetOverlong(bool on);

  void SetModuleCode(int page, int code);
  void SetExtensionCode(int m, int code);  // m = 252..255
  void SetVoltageMeterPresent(bool present);
  void SetMainsVolts(double volts);
  // K4 phases 0 A, 1 B, 2 C (phase A is also the mains of K2 and K3).
  void SetPhaseVolts(int phase, double volts);
  // What the apparatus is doing, for a trainer's display (moves no sequence on).
  struct Status {
    std::uint8_t state = 0;
    std::uint8_t alarmCode = 0;
    std::uint8_t driveState = 0;
    double filamentPercent = 0;    // of the module's full current
    double anodeSpeed = 0;         // percent of full speed
    int anodeStoppedAfterMs = -1;  // the last coasting's length, -1 while turning or unknown
    double supply = 0;             // the supply reading (volts = it * 1.464), without noise
    std::optional<ShotResult> lastShot;
  };
  Status StatusNow();
  // The plant as it is now (CurrentProfile().plant says the same) and a trainer's change of it.
  PlantSettings PlantNow() const;
  void SetPlant(const PlantSettings& settings);

  std::vector<std::uint8_t> ReadMemory(std::uint32_t address, std::size_t count);
  void WriteMemory(std::uint32_t address, const std::vector<std::uint8_t>& bytes);
  // Recomputes and stores a page-0 bank's checksum, as the commit frame does.
  void CommitBank(int bank);
  bool BankChecksumOk(int bank);
  // Makes a bank's stored checksum wrong.
  void BreakBank(int bank);
  std::optional<ShotResult> LastShot();
  // The operator console: its outputs, and the exposure values it shows (03 21 09 37).
  PanelOutputs ConsoleOutputs();
  void SetConsoleValues(const PanelValues& values);

  // Exchanges = units received (address bytes and complete frames).
  std::uint64_t ExchangeCount();
  std::vector<ReceivedFrame> FrameLog();
  // The last n units received (fewer when the log is shorter), oldest first.
  std::vector<ReceivedFrame> LastFrames(std::size_t n);
  void ClearFrameLog();

  // Writes page 0 to the memory file now (it is also written after every change).
  bool SaveMemory();
  // Messages about the profile or the memory file (bad values, unreadable file).
  std::vector<std::string> Warnings();

 private:
  std::vector<std::uint8_t> ReceiveLocked(std::uint8_t byte, bool mark, SimTime at);
  void FinishFrame(SimTime at, std::vector<std::uint8_t>& reply);
  void LogUnit(ReceivedFrame f);
  bool DeadAt(SimTime at);
  void ShapeReply(std::vector<std::uint8_t>& reply);
  BusModule* ModuleAt(int address);
  void SaveIfDirty();
  bool SaveLocked();
  std::uint8_t NoiseByte();

  mutable std::mutex m_;
  Profile profile_;
  std::filesystem::path memoryFile_;
  std::filesystem::path powerFile_;
  int keptPower_ = -1;  // the level last written to powerFile_
  void KeepPower(SimTime at);
  Memory memory_;
  std::unique_ptr<MainController> controller_;
  std::unique_ptr<VoltageMeterModule> meter_;
  bool meterPresent_ = false;
  std::vector<std::string> warnings_;
  // Banks the profile broke at start: the memory file keeps the apparatus's own memory, so the
  // profile's fault is not written into it.
  struct InjectedBreak {
    std::uint16_t original;
    std::uint16_t wrong;
  };
  std::map<int, InjectedBreak> injectedBreaks_;

  int selected_ = -1;
  ReceivedFrame partial_;
  bool havePartial_ = false;
  SimTime lastByteAt_{};

  std::deque<ReceivedFrame> log_;
  std::uint64_t exchanges_ = 0;

  bool silentForGood_ = false;
  std::optional<SimTime> silentUntil_;
  bool silentAfterDone_ = false;
  std::uint32_t noise_ = 0x2545F491u;
};

}  // namespace sim
