// The ".osc" record format: byte layout, the ignored tail, refusal of files that hold no
// oscillogram, and the extension rule of the save dialog.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "tools/Oscillograms.h"

namespace {

using kvt::DecodeOsc;
using kvt::EncodeOsc;
using kvt::OscFileError;
using kvt::OscRecord;

TEST(OscFile, RecordsAreFourLittleEndianDoubles) {
  const std::vector<OscRecord> records{{0.0, 1.0, 0.1, -2.5}, {0.1, 150.0, 0.1, 312.5}};
  const auto bytes = EncodeOsc(records);
  ASSERT_EQ(bytes.size(), 64u);
  // 1.0 = 3FF0000000000000, lowest byte first.
  const std::vector<std::uint8_t> one{0, 0, 0, 0, 0, 0, 0xF0, 0x3F};
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 8, bytes.begin() + 16), one);
  // -2.5 = C004000000000000.
  const std::vector<std::uint8_t> minus{0, 0, 0, 0, 0, 0, 0x04, 0xC0};
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 24, bytes.begin() + 32), minus);
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 8),
            std::vector<std::uint8_t>(8, 0));

  const auto decoded = DecodeOsc(bytes.data(), bytes.size());
  EXPECT_EQ(decoded.error, OscFileError::None);
  EXPECT_EQ(decoded.records, records);
  EXPECT_EQ(EncodeOsc(decoded.records), bytes);
}

TEST(OscFile, TailShorterThanARecordIsIgnored) {
  std::vector<OscRecord> records;
  for (int i = 0; i < 3; ++i) records.push_back({0.1 * i, 10.0 * i, 0.1 * i, 20.0 * i});
  auto bytes = EncodeOsc(records);
  bytes.insert(bytes.end(), {1, 2, 3, 4});  // 100 bytes
  ASSERT_EQ(bytes.size(), 100u);
  const auto decoded = DecodeOsc(bytes.data(), bytes.size());
  EXPECT_EQ(decoded.error, OscFileError::None);
  EXPECT_EQ(decoded.records, records);
}

TEST(OscFile, FilesWithoutAnOscillogramAreRefused) {
  // Nothing, or less than one record.
  EXPECT_EQ(DecodeOsc(nullptr, 0).error, OscFileError::NoRecords);
  const std::vector<std::uint8_t> short31(31, 0x40);
  EXPECT_EQ(DecodeOsc(short31.data(), short31.size()).error, OscFileError::NoRecords);

  // A value that is no finite number, in the second record: nothing is returned.
  for (double bad :
       {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
    auto bytes = EncodeOsc({{0, 1, 0, 2}, {0.1, 1, 0.1, bad}, {0.2, 1, 0.2, 2}});
    const auto decoded = DecodeOsc(bytes.data(), bytes.size());
    EXPECT_EQ(decoded.error, OscFileError::BadNumber);
    EXPECT_EQ(decoded.badRecord, 1u);
    EXPECT_TRUE(decoded.records.empty());
  }

  // Larger than any oscillogram can be.
  std::vector<std::uint8_t> huge(kvt::kOscMaxFileSize + kvt::kOscRecordSize, 0);
  EXPECT_EQ(DecodeOsc(huge.data(), huge.size()).error, OscFileError::TooLarge);
  const auto largest = DecodeOsc(huge.data(), kvt::kOscMaxFileSize);
  EXPECT_EQ(largest.error, OscFileError::None);
  EXPECT_EQ(largest.records.size(), kvt::kOscMaxFileSize / kvt::kOscRecordSize);
}

TEST(OscFile, SavedNameTakesTheOscExtension) {
  EXPECT_EQ(kvt::OscFileName("/tmp/shot.txt"), "/tmp/shot.osc");
  EXPECT_EQ(kvt::OscFileName("/tmp/shot"), "/tmp/shot.osc");
  EXPECT_EQ(kvt::OscFileName("/tmp/shot.osc"), "/tmp/shot.osc");
  EXPECT_EQ(kvt::OscFileName("/tmp/a.b/shot.1.dat"), "/tmp/a.b/shot.1.osc");
}

}  // namespace
