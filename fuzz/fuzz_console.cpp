// The terminal's console line on arbitrary text: a line is taken exactly when it is tokens of
// hexadecimal digits (either case) separated by spaces, each token at most FF; the bytes are the
// tokens' values in order, and their echo reads back to the same bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "tools/Terminal.h"

namespace {

void Check(bool rule) {
  if (!rule) std::abort();
}

int Digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The rule, written out on its own.
std::optional<std::vector<std::uint8_t>> Expected(const std::string& line) {
  std::vector<std::uint8_t> bytes;
  std::size_t i = 0;
  while (i < line.size()) {
    if (line[i] == ' ') {
      ++i;
      continue;
    }
    std::size_t end = line.find(' ', i);
    if (end == std::string::npos) end = line.size();
    unsigned value = 0;
    for (std::size_t k = i; k < end; ++k) {
      const int d = Digit(line[k]);
      if (d < 0) return std::nullopt;
      value = value * 16 + unsigned(d);
      if (value > 0xFF) return std::nullopt;
    }
    bytes.push_back(std::uint8_t(value));
    i = end;
  }
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  const auto bytes = kvt::TfrmTerminal::ParseConsoleLine(line);
  const auto expected = Expected(line);
  Check(bytes.has_value() == expected.has_value());
  if (!bytes) return 0;
  Check(*bytes == *expected);
  const std::string echo = kvt::TfrmTerminal::HexEcho(bytes->data(), bytes->size());
  Check(echo.size() == bytes->size() * 3);
  Check(kvt::TfrmTerminal::ParseConsoleLine(echo) == bytes);
  return 0;
}
