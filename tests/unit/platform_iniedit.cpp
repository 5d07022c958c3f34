// A batch of profile writes: the same bytes as the writes made one by one, in one replacement of
// the file; a batch that cannot be written leaves the old file whole.

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>

#include <csignal>
#endif

#include <filesystem>

#include "platform/Codepage.h"
#include "platform/Ini.h"
#include "support/TempDir.h"

using platform::IniEdit;
using platform::IniFile;
using platform::Utf8ToCp1251;
using testsupport::ReadBytes;
using testsupport::TempDir;
using testsupport::WriteBytes;

namespace {

std::string Sample() {
  return Utf8ToCp1251(
      "; Состояние\r\n"
      "[Информация]\r\n"
      "Этап = 1\r\n"
      "; комментарий в секции\r\n"
      "Количество снимков=0\r\n"
      "\r\n"
      "[Снимок1]\r\n"
      "0=1\r\n"
      "[Хвост]\r\n"
      "x=1");  // no final line end
}

struct Write {
  std::string section, key, value;
};

TEST(PlatformIniEdit, ManyKeysGiveTheBytesOfSingleWritesInOneReplacement) {
  std::vector<Write> writes = {
      {"информация", "ЭТАП", "3"},               // existing key, other case
      {"Информация", "Новый ключ", "значение"},  // added after the section's last entry
      {"Снимок1", "0", "17"},
      {"Хвост", "y", "2"},    // after a last line without a line end
      {"Снимок2", "0", "5"},  // new section, then keys into it
      {"Снимок2", "1", "6"},
      {"Снимок2", "0", "7"},  // a later write of the same key wins
      {"Информация", "Количество снимков", "2"}};
  for (int k = 3; k <= 60; ++k)
    for (int c = 0; c < 6; ++c)
      writes.push_back({"Снимок" + std::to_string(k), std::to_string(c), std::to_string(k * c)});

  TempDir dir;
  WriteBytes(dir / "one.ini", Sample());
  WriteBytes(dir / "batch.ini", Sample());
  IniFile one(dir / "one.ini");
  for (const auto& w : writes) ASSERT_TRUE(one.WriteString(w.section, w.key, w.value));

  IniEdit edit(dir / "batch.ini");
  for (const auto& w : writes) ASSERT_TRUE(edit.WriteString(w.section, w.key, w.value));
  EXPECT_EQ(ReadBytes(dir / "batch.ini"), Sample());  // nothing written before Commit
  const auto written = IniFile::FilesWritten();
  ASSERT_TRUE(edit.Commit());
  EXPECT_EQ(IniFile::FilesWritten() - written, 1u);
  EXPECT_EQ(edit.Pending(), 0u);

  const std::string text = ReadBytes(dir / "batch.ini");
  EXPECT_EQ(text, ReadBytes(dir / "one.ini"));
  // Comments, order, line ends and code page as they were.
  EXPECT_EQ(text.rfind(Utf8ToCp1251("; Состояние\r\n[Информация]\r\nЭтап = 3\r\n; комментарий в "
                                    "секции\r\nКоличество снимков=2\r\nНовый ключ=значение\r\n\r\n"
                                    "[Снимок1]\r\n0=17\r\n[Хвост]\r\nx=1\r\ny=2\r\n[Снимок2]\r\n"
                                    "0=7\r\n1=6\r\n[Снимок3]\r\n"),
                       0),
            0u)
      << text;
  EXPECT_EQ(IniFile(dir / "batch.ini").ReadInteger("снимок60", "5", 0), 300);
}

TEST(PlatformIniEdit, RefusedNameIsToldAndTheOtherWritesAreMade) {
  TempDir dir;
  IniEdit edit(dir / "a.ini");
  EXPECT_TRUE(edit.WriteInteger("S", "a", 1));
  EXPECT_FALSE(edit.WriteString("S", "bad=key", "2"));
  EXPECT_FALSE(edit.Commit());
  EXPECT_EQ(ReadBytes(dir / "a.ini"), "[S]\r\na=1\r\n");
}

TEST(PlatformIniEdit, FailureLeavesTheOldFileWhole) {
  TempDir dir;
  // A file that is not a settings file (too large to read) is not replaced.
  const std::string big(17u << 20, 'x');
  WriteBytes(dir / "big.ini", big);
  IniEdit tooBig(dir / "big.ini");
  tooBig.WriteString("S", "k", "v");
  EXPECT_FALSE(tooBig.Commit());
  EXPECT_EQ(std::filesystem::file_size(dir / "big.ini"), big.size());

#ifndef _WIN32
  // The disk refuses the new contents half-way (the file size limit stands in for a full disk).
  WriteBytes(dir / "a.ini", Sample());
  IniEdit edit(dir / "a.ini");
  for (int k = 1; k <= 200; ++k) edit.WriteInteger("Снимок" + std::to_string(k), "0", k);
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool ok = edit.Commit();
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(ok);
  EXPECT_EQ(ReadBytes(dir / "a.ini"), Sample());
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
    files += e.is_regular_file();
  EXPECT_EQ(files, 2);  // no scratch copy left behind
#endif
}

}  // namespace
