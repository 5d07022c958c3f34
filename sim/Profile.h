#pragma once
// The simulator's profile: which apparatus to simulate, how fast, and which faults to inject.
// Read from simulator.ini in the program directory; every key is optional and the defaults give a
// healthy K2 system that agrees with the default vesmar.ini.

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "sim/Filament.h"
#include "sim/RotationDrive.h"

namespace sim {

enum class Timing {
  // Replies are there at once, silence is reported at once, every state poll moves a running
  // sequence on by one step: for tests.
  Instant,
  // 2400 baud byte times, real silences, sequences run on the wall clock: for the demo.
  Realistic,
};

inline constexpr int kPageCount = 16;
inline constexpr int kNoModule = 255;

// How the simulated apparatus differs from its stored settings, as a real one does: the stored
// image describes a nominal plant (channel gains 1.00, a new tube, nominal generator resistance,
// K4 converters on the nominal line), the plant itself is set here. The defaults are a little
// off, so the adjustment and calibration procedures have something to find.
struct PlantSettings {
  // Mains voltage in volts; K4: phases A, B, C (index 0 is the mains of K2 and K3).
  std::array<double, 3> mainsVolts{216.0, 219.0, 213.0};
  // Raw anode-voltage reading per true kV; the exact KUAN is 100 times it.
  double anodeGain = 1.03;
  // Supply reading per true volt, before KMES; the exact KMES is 100 divided by it.
  double mainsGain = 0.97;
  // K4 phase converters: volts per code and volts at code 0 (the stored line is 1.75 and 5).
  std::array<double, 3> phaseSlope{1.70, 1.80, 1.75};
  std::array<double, 3> phaseOffset{6.0, 3.0, 4.0};
  // Tube ageing 0..0.5: the emission is lower by about this share, a little less so at high kV.
  double tubeAgeing = 0.08;
  // The generator's true resistance is the stored nominal figure times (1 + this).
  double resistanceError = 0.05;
  // A regulated shot lands within this many kV of its target.
  double regulationKv = 0.8;
  // Measurement noise of the controller's readings: standard deviation in reading counts.
  double noise = 0.4;
  std::uint32_t seed = 1;
  // A fault of the anode's stator: its currents while the drive runs up or brakes.
  enum class StatorFault { None, Open, Shorted, OverRange };
  StatorFault statorFault = StatorFault::None;
  // Alarms: the code, the n-th exposure (counted from the start) that breaks off with it in its
  // middle, the n-th drive run-up that does, and seconds from the start after which it comes.
  // 0 = never.
  int alarmCode = 0x05;
  int alarmOnShot = 0;
  int alarmOnRunUp = 0;
  int alarmAfterSeconds = 0;

  // A plant that matches the stored image exactly, without noise (for tests that need one).
  static PlantSettings Exact() {
    PlantSettings p;
    p.mainsVolts = {220.0, 222.0, 217.0};
    p.anodeGain = 1.0;
    p.mainsGain = 1.0;
    p.phaseSlope = {1.75, 1.75, 1.75};
    p.phaseOffset = {5.0, 5.0, 5.0};
    p.tubeAgeing = 0;
    p.resistanceError = 0;
    p.regulationKv = 0;
    p.noise = 0;
    return p;
  }
};

struct Profile {
  // [Simulator]
  std::string type = "K2";  // two letters answered to 01 2E
  int version = 23;         // answered to 01 2F
  Timing timing = Timing::Realistic;
  int latencyMs = 2;  // controller's think time before the first reply byte (realistic timing)
  std::string memoryFile = "sim-memory.bin";  // page 0 kept here between runs; empty = not kept
  bool voltageMeter = false;                  // reference voltage meter module at address 0x10

  // [Modules]
  std::array<int, kPageCount> pageCodes{
      10,        21,        32,        43,        54,        kNoModule, kNoModule, kNoModule,
      kNoModule, kNoModule, kNoModule, kNoModule, kNoModule, kNoModule, kNoModule, kNoModule};
  std::array<int, 4> extensionCodes{kNoModule, kNoModule, kNoModule, kNoModule};  // 252..255

  // [Faults]
  std::vector<int> brokenBanks;  // page-0 banks whose stored checksum does not match at start
  bool silent = false;           // nothing on the bus answers
  int silentAfter = 0;           // the line dies after this many exchanges; 0 = never
  int silentForMs = 0;    // with silentAfter: dead that long, then answers again; 0 = for good
  int garbage = 0;        // noise bytes after every command reply
  bool truncate = false;  // every command reply loses its last byte
  bool overlong = false;  // every command reply padded to 600 bytes
  int alarm = -1;         // alarm code at start (state 128), -1 = none
  int state = -1;         // state code at start, -1 = off (0)

  // [Plant]
  PlantSettings plant;
  // [Plant], continued: the rotation drive and the filament heating module.
  RotationPlant rotation;
  FilamentPlant filament;

  // Problems met while reading the profile (bad values fall back to their defaults).
  std::vector<std::string> warnings;
};

// Reads programDir-independent profile text from a file (windows-1251 or UTF-8). A missing file
// gives the defaults. Inline "; comment" after a value is ignored.
Profile LoadProfile(const std::filesystem::path& iniPath);

}  // namespace sim
