#include <gtest/gtest.h>

#include "platform/Codepage.h"
#include "platform/Files.h"
#include "support/TempDir.h"

using testsupport::ReadBytes;
using testsupport::TempDir;
using testsupport::WriteBytes;

namespace {

TEST(PlatformCodepage, RoundTripsEveryDefinedByte) {
  std::string all;
  for (int i = 1; i < 256; ++i)
    if (i != 0x98) all += static_cast<char>(i);  // 0x98 is undefined in windows-1251
  const std::string utf8 = platform::Cp1251ToUtf8(all);
  EXPECT_TRUE(platform::LooksLikeUtf8(utf8));
  EXPECT_EQ(platform::Utf8ToCp1251(utf8), all);
  EXPECT_EQ(platform::Cp1251ToUtf8("\xCD\xE5\xF2 \xF1\xE2\xFF\xE7\xE8 \xA8\xB8"), "Нет связи Ёё");
  EXPECT_EQ(platform::Cp1251ToUtf8("\x88\xB9"), "€№");
}

TEST(PlatformCodepage, UnrepresentableAndBrokenInputBecomesQuestionMarks) {
  EXPECT_EQ(platform::Utf8ToCp1251("a\xE4\xB8\xAD"
                                   "b"),
            "a?b");                                     // a CJK character
  EXPECT_EQ(platform::Utf8ToCp1251("x\xD0"), "x?");     // cut sequence
  EXPECT_EQ(platform::Utf8ToCp1251("\xC0\xAF"), "??");  // overlong '/'
  EXPECT_EQ(platform::Cp1251ToUtf8("\x98"), "?");
}

TEST(PlatformCodepage, LooksLikeUtf8) {
  EXPECT_TRUE(
      platform::LooksLikeUtf8("\xEF\xBB\xBF"
                              "plain"));
  EXPECT_TRUE(platform::LooksLikeUtf8("Привет"));
  EXPECT_FALSE(platform::LooksLikeUtf8("plain ascii"));
  EXPECT_FALSE(platform::LooksLikeUtf8(""));
  EXPECT_FALSE(platform::LooksLikeUtf8(platform::Utf8ToCp1251("Привет")));
  EXPECT_FALSE(platform::LooksLikeUtf8("\xED\xA0\x80"));  // encoded surrogate
}

TEST(PlatformFiles, ReadsWhatWasWrittenAndReportsMissingFiles) {
  TempDir dir;
  const std::string bytes("a\r\nb\0c\xFF", 7);
  ASSERT_TRUE(platform::WriteFileAtomic(dir / "f.bin", bytes));
  EXPECT_EQ(platform::ReadTextFile(dir / "f.bin"), bytes);
  auto binary = platform::ReadBinaryFile(dir / "f.bin");
  ASSERT_TRUE(binary);
  EXPECT_EQ(std::string(binary->begin(), binary->end()), bytes);
  EXPECT_FALSE(platform::ReadTextFile(dir / "missing"));
  EXPECT_FALSE(platform::ReadBinaryFile(dir / "missing"));
  EXPECT_FALSE(platform::ReadTextFile(dir.Path()));  // a folder is not a file
  ASSERT_TRUE(platform::WriteFileAtomic(dir / "empty", std::string()));
  EXPECT_EQ(platform::ReadTextFile(dir / "empty"), "");
}

TEST(PlatformFiles, AtomicWriteReplacesTheFileAndLeavesNoTemporary) {
  TempDir dir;
  WriteBytes(dir / "f.txt", "old contents that are longer");
  ASSERT_TRUE(platform::WriteFileAtomic(dir / "f.txt", std::string("new")));
  EXPECT_EQ(ReadBytes(dir / "f.txt"), "new");
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path())) ++entries;
  EXPECT_EQ(entries, 1);
}

TEST(PlatformFiles, FailedAtomicWriteLeavesTheOldFileAndNoTemporary) {
  TempDir dir;
  WriteBytes(dir / "plain", "a regular file");
  // The target's folder is a regular file: nothing can be created there, even by root.
  EXPECT_FALSE(platform::WriteFileAtomic(dir / "plain" / "f.txt", std::string("x")));
  EXPECT_EQ(ReadBytes(dir / "plain"), "a regular file");
  EXPECT_FALSE(platform::WriteFileAtomic(dir / "no" / "such" / "f.txt", std::string("x")));

  // The target is a folder: refused, the folder keeps its contents and no temporary is left.
  std::filesystem::create_directories(dir / "target");
  WriteBytes(dir / "target" / "inside", "kept");
  EXPECT_FALSE(platform::WriteFileAtomic(dir / "target", std::string("x")));
  EXPECT_EQ(ReadBytes(dir / "target" / "inside"), "kept");
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path())) ++entries;
  EXPECT_EQ(entries, 2);
}

}  // namespace
