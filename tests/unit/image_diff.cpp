// Image comparison in the template's words: lines per differing stretch, words where the
// template writes words, and the comment of the address.

#include <gtest/gtest.h>

#include "image/ConvertDat.h"
#include "image/ImageDiff.h"
#include "image/MemoryImage.h"
#include "platform/Files.h"

namespace {

TEST(ImageDiff, ChangesAreToldWithTheTemplateComments) {
  const auto templ =
      platform::ReadTextFile(std::filesystem::path(KVT_DATA_DIR) / "Memory/etalon.pat");
  ASSERT_TRUE(templ);
  const std::vector<std::uint8_t> a = kvt::DatTextToImage(*templ, kvt::kDatImageSize);
  ASSERT_EQ(a.size(), 1280u);
  EXPECT_TRUE(kvt::DiffImages(a, a, *templ).equal);

  std::vector<std::uint8_t> b = a;
  b[0x13] = 96;                           // KUAN
  b[0x082] = std::uint8_t(b[0x082] + 1);  // low byte of the word at 0x081
  b[0x003] = 1;                           // two bytes under one comment line
  b[0x004] = 2;
  b.push_back(9);  // one more byte than the other image
  const kvt::ImageDiffResult d = kvt::DiffImages(a, b, *templ, "old.mi", "new.mi");
  EXPECT_FALSE(d.equal);
  ASSERT_EQ(d.lines.size(), 4u);
  EXPECT_EQ(d.lines[0], "0x003-0x004 0 0 → 1 2 (общие параметры)");
  EXPECT_EQ(d.lines[1], "0x013 KUAN 100 → 96 (коэффициент канала анодного напряжения, сотые доли)");
  EXPECT_EQ(d.lines[2], "0x081 64896 → 64897 (фаза A, коэффициент B)");
  EXPECT_EQ(d.lines[3], "0x500 only in new.mi (1 byte)");

  // Without a template every differing stretch of bytes is one line.
  const kvt::ImageDiffResult bare = kvt::DiffImages(a, b, "");
  ASSERT_GE(bare.lines.size(), 2u);
  EXPECT_EQ(bare.lines[0], "0x003-0x004 0 0 → 1 2");
}

}  // namespace
