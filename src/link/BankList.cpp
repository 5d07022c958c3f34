#include "link/BankList.h"

namespace kvt {

std::vector<std::uint8_t> ParseBankList(const std::string& text) {
  std::vector<std::uint8_t> banks;
  bool collected = false;
  unsigned value = 0;  // kept modulo 256: only the low 8 bits are used, and nothing overflows
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      value = (value * 10 + unsigned(c - '0')) & 0xFFu;
      collected = true;
    }
    if ((c == ',' || i + 1 == text.size()) && collected) {
      banks.push_back(std::uint8_t(value));
      value = 0;
      collected = false;
    }
  }
  return banks;
}

}  // namespace kvt
