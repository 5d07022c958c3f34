#include "sim/Memory.h"

#include <algorithm>
#include <cmath>

#include "sim/Physics.h"

namespace sim {

Memory::Memory() : data_(kMemorySize, 0) {}

std::uint16_t Memory::ComputeChecksum(int bank) const {
  std::uint32_t base = static_cast<std::uint32_t>(bank & 0xFF) * 256;
  std::uint16_t sum = 0;
  for (std::uint32_t i = 0; i < 254; ++i) sum = static_cast<std::uint16_t>(sum + data_[base + i]);
  return sum;
}

std::uint16_t Memory::StoredChecksum(int bank) const {
  return Word(static_cast<std::uint32_t>(bank & 0xFF) * 256 + 254);
}

void Memory::Commit(int bank) {
  // Bank 255's last bytes hold the page's module code; it has no checksum to store.
  if ((bank & 0xFF) >= kChecksummedBanks) return;
  SetWord(static_cast<std::uint32_t>(bank & 0xFF) * 256 + 254, ComputeChecksum(bank));
}

bool Memory::LoadPage0(const std::vector<std::uint8_t>& bytes) {
  if (bytes.size() != kPageSize) return false;
  std::copy(bytes.begin(), bytes.end(), data_.begin());
  return true;
}

int ProgramIndex(int p) {
  int mode = (p >> 4) & 0x0F;
  int density = p & 0x0F;
  if (mode > 7 || density > 5) return -1;
  return mode * 6 + density;
}

void BuildDefaultImage(Memory& m, const Profile& profile) {
  const bool k4 = profile.type == "K4";
  for (std::uint32_t a = 0; a < kPageSize; ++a) m.Set(a, 0);

  // Bank 0: channel coefficients, the curve store's bank, rotation drive, switches, K4 phases.
  m.Set(0x00, static_cast<std::uint8_t>(profile.version));
  m.Set(0x13, 100);  // KUAN: anode voltage channel factor 1.00
  m.Set(0x15, 100);  // KMES: mains voltage channel factor 1.00
  m.Set(0x1E, kCurveBank);
  m.Set(0x20, 15);  // run-up 1.5 s
  m.Set(0x21, 30);  // additional braking 3.0 s
  m.Set(0x22, 5);
  if (k4) {
    // The K4 drive's stator current reading falls when braking.
    m.Set(0x23, 170);
    m.Set(0x24, 130);
    m.Set(0x25, 115);
    m.Set(0x26, 75);
  } else {
    m.Set(0x23, 85);
    m.Set(0x24, 55);
    m.Set(0x25, 140);
    m.Set(0x26, 100);
  }
  m.Set(0x40, 1);  // program correction of the filament heating on
  m.Set(0x41, 0);  // control panel synchronisation on
  // K4 phase channels: U = (code * A - B) / 128 with A = 224, B = -640 (180 V at code 100).
  for (std::uint32_t phase = 0; phase < 3; ++phase) {
    m.Set(0x80 + phase * 3, 224);
    m.SetWord(0x81 + phase * 3, static_cast<std::uint16_t>(-640 & 0xFFFF));
  }

  // Bank 1: the filament check's marker byte rests at 244.
  m.Set(0x135, 244);

  // Bank 2: calibration table of the nominal (new) tube; the plant's tube has aged since.
  const int start = kDefaultTableStart;
  const int end = kDefaultTableEnd;
  const int step = kDefaultTableStep;
  m.SetWord(0x200, static_cast<std::uint16_t>(start));
  m.SetWord(0x202, static_cast<std::uint16_t>(end));
  m.SetWord(0x204, static_cast<std::uint16_t>(step));
  // Types K3 and K4 set a shot's current from these columns, and the calibration reads each
  // shot's current off its curve, which the determination dialog shows up to 200 mA: their
  // table stays below that so that every column can be calibrated.
  constexpr int kHeaderK2[8] = {50, 75, 100, 125, 150, 175, 200, 250};
  constexpr int kHeaderK3[8] = {40, 60, 80, 100, 120, 140, 160, 180};
  const int* header = (profile.type == "K3" || k4) ? kHeaderK3 : kHeaderK2;
  std::uint32_t a = 0x210;
  for (int c = 0; c < 8; ++c, a += 2) m.SetWord(a, static_cast<std::uint16_t>(header[c]));
  for (int kv = start; kv <= end; kv += step) {
    for (int c = 0; c < 8; ++c, a += 2) {
      double code = physics::CodeForCurrent(kv, header[c], k4);
      int maxCode = k4 ? 2047 : 1023;
      int v = std::clamp(static_cast<int>(std::lround(code)), 0, maxCode);
      m.SetWord(a, static_cast<std::uint16_t>(v));
    }
  }

  // Bank 3: resistance table of the nominal generator, one byte per kilovolt from the start.
  for (int kv = start; kv <= end; ++kv) {
    int re = static_cast<int>(std::lround(physics::GeneratorResistance(kv)));
    m.Set(0x300 + static_cast<std::uint32_t>(kv),
          static_cast<std::uint8_t>(std::clamp(re, 0, 255)));
  }

  // Bank 4: exposure programs (kV, mA, time in 0.01 s) by examination mode and patient density.
  for (int mode = 0; mode < 8; ++mode) {
    for (int density = 0; density < 6; ++density) {
      int idx = mode * 6 + density;
      int kv = std::clamp(70 + mode * 3 + density * 5, start, end);
      int ma = 100 + density * 10 + (mode % 2) * 20;
      int t = 4 + density * 2 + mode;
      std::uint32_t p = kProgramsAddress + static_cast<std::uint32_t>(idx) * 4;
      m.Set(p, static_cast<std::uint8_t>(kv));
      m.Set(p + 1, static_cast<std::uint8_t>(ma));
      m.SetWord(p + 2, static_cast<std::uint16_t>(t));
    }
  }

  // The last shot the apparatus remembers: 80 kV, about 100 mA, 0.05 s.
  {
    physics::ShotCurves c = physics::MakeShotCurves(80.0, 100 / (k4 ? 3.9 : 3.125), 50.0);
    std::uint32_t base = kCurveBank * 256u;
    std::uint16_t w = static_cast<std::uint16_t>(c.bytes.size() / 20 - 1);
    m.SetWord(base, w);
    for (std::size_t i = 0; i < c.bytes.size(); ++i) {
      m.Set(base + 2 + static_cast<std::uint32_t>(i), c.bytes[i]);
    }
  }

  for (int bank = 0; bank < kChecksummedBanks; ++bank) m.Commit(bank);
  for (int page = 0; page < kPageCount; ++page) m.SetModuleCode(page, profile.pageCodes[page]);
}

}  // namespace sim
