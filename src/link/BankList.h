#pragma once
// The list of memory banks whose checksums the controller is asked to verify.

#include <cstdint>
#include <string>
#include <vector>

namespace kvt {

// The bank list of "CS_Banks_Check": decimal digits are collected, every other character but the
// comma is ignored; each comma and the end close a number, whose low 8 bits are taken.
std::vector<std::uint8_t> ParseBankList(const std::string& text);

}  // namespace kvt
