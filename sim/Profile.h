#pragma once
// The simulator's profile: which apparatus to simulate, how fast, and which faults to inject.
// Read from simulator.ini in the program directory; every key is optional and the defaults give a
// healthy K2 system that agrees with the default vesmar.ini.

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

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

  // Problems met while reading the profile (bad values fall back to their defaults).
  std::vector<std::string> warnings;
};

// Reads programDir-independent profile text from a file (windows-1251 or UTF-8). A missing file
// gives the defaults. Inline "; comment" after a value is ignored.
Profile LoadProfile(const std::filesystem::path& iniPath);

}  // namespace sim
