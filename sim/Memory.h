#pragma once
// The main controller's memory: 16 pages of 64 KiB, addressed with 24 bits (page, bank, offset).
// The last byte of each page holds the code of the module in that slot. Banks of page 0 carry a
// checksum: the 16-bit sum of bytes 0..253, stored big-endian in bytes 254..255.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/Profile.h"

namespace sim {

inline constexpr std::uint32_t kPageSize = 0x10000;
inline constexpr std::uint32_t kMemorySize = kPageSize * kPageCount;
inline constexpr int kCurveBank = 0x10;  // where the default image keeps the last shot's curves
inline constexpr int kChecksummedBanks = 255;  // bank 255 of page 0 ends in the module code

class Memory {
 public:
  Memory();

  std::uint8_t At(std::uint32_t address) const { return data_[address % kMemorySize]; }
  void Set(std::uint32_t address, std::uint8_t value) { data_[address % kMemorySize] = value; }
  std::uint16_t Word(std::uint32_t address) const {
    return static_cast<std::uint16_t>(At(address) << 8 | At(address + 1));
  }
  void SetWord(std::uint32_t address, std::uint16_t value) {
    Set(address, static_cast<std::uint8_t>(value >> 8));
    Set(address + 1, static_cast<std::uint8_t>(value & 0xFF));
  }

  // Banks of page 0 (0..255).
  std::uint16_t ComputeChecksum(int bank) const;
  std::uint16_t StoredChecksum(int bank) const;
  void Commit(int bank);
  bool BankOk(int bank) const { return ComputeChecksum(bank) == StoredChecksum(bank); }

  const std::uint8_t* Page0() const { return data_.data(); }
  // Replaces page 0; false (nothing changed) unless exactly one page of bytes is given.
  bool LoadPage0(const std::vector<std::uint8_t>& bytes);

  void SetModuleCode(int page, int code) {
    Set(static_cast<std::uint32_t>(page) * kPageSize + 0xFFFF, static_cast<std::uint8_t>(code));
  }
  int ModuleCode(int page) const {
    return At(static_cast<std::uint32_t>(page) * kPageSize + 0xFFFF);
  }

 private:
  std::vector<std::uint8_t> data_;
};

// Calibration table layout of the default image.
inline constexpr int kDefaultTableStart = 40;
inline constexpr int kDefaultTableEnd = 120;
inline constexpr int kDefaultTableStep = 10;
inline constexpr std::uint32_t kProgramsAddress = 0x400;  // bank 4: stored exposure programs

// Index of exposure program p = mode * 16 + density in the program store, or -1 when p names none.
int ProgramIndex(int p);

// Fills page 0 with the healthy default configuration image of the profile's system type
// (every checksum correct) and stores the module codes of the profile.
void BuildDefaultImage(Memory& memory, const Profile& profile);

}  // namespace sim
