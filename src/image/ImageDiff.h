#pragma once
// Comparing two configuration images byte by byte, told in the words of the template: each
// stretch of differing bytes becomes one line with its address, the values before and after
// (decimal, 16-bit where the template writes a word) and the template's comment of the address,
// e.g. "0x013 KUAN 100 → 96 (коэффициент канала анодного напряжения, сотые доли)".

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kvt {

struct ImageDiffResult {
  bool equal = true;
  std::vector<std::string> lines;  // UTF-8
};

// `templ` is the template text as on disk (windows-1251 or UTF-8); empty or unreadable gives
// lines without comments. `nameA` and `nameB` name the images in the line for bytes that only
// the longer one has.
ImageDiffResult DiffImages(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b,
                           std::string_view templ, const std::string& nameA = "A",
                           const std::string& nameB = "B");

}  // namespace kvt
