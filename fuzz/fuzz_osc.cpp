// The ".osc" loader on arbitrary files: a file is refused for the reason that applies, or its
// records are exactly the whole 32-byte records of the file (a shorter tail ignored), so saving
// them gives those bytes back.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "tools/Oscillograms.h"

namespace {

void Check(bool rule) {
  if (!rule) std::abort();
}

bool Finite(const std::uint8_t* record) {
  for (int i = 0; i < 4; ++i) {
    double v;
    std::memcpy(&v, record + 8 * i, sizeof v);
    if (!std::isfinite(v)) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const kvt::OscDecoded d = kvt::DecodeOsc(data, size);
  const std::size_t whole = size / kvt::kOscRecordSize;
  if (whole == 0) {
    Check(d.error == kvt::OscFileError::NoRecords && d.records.empty());
    return 0;
  }
  if (size > kvt::kOscMaxFileSize) {
    Check(d.error == kvt::OscFileError::TooLarge && d.records.empty());
    return 0;
  }
  std::size_t firstBad = whole;
  for (std::size_t i = 0; i < whole && firstBad == whole; ++i)
    if (!Finite(data + i * kvt::kOscRecordSize)) firstBad = i;
  if (firstBad < whole) {
    Check(d.error == kvt::OscFileError::BadNumber && d.badRecord == firstBad && d.records.empty());
    return 0;
  }
  Check(d.error == kvt::OscFileError::None && d.records.size() == whole);
  const auto encoded = kvt::EncodeOsc(d.records);
  Check(encoded.size() == whole * kvt::kOscRecordSize &&
        std::memcmp(encoded.data(), data, encoded.size()) == 0);
  return 0;
}
