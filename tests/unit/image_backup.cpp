// Backups of images read from the apparatus: names that never collide and never replace a file.

#include <gtest/gtest.h>

#include "image/ImageBackup.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> Listing(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(ImageBackup, SameSecondGetsSuffixesAndNothingIsReplaced) {
  testsupport::TempDir dir;
  const auto when = std::chrono::system_clock::now();
  const std::string base = kvt::BackupBaseName("K2", when);
  ASSERT_EQ(base.size(), std::string("K2-20261208-114012").size()) << base;
  EXPECT_EQ(base.rfind("K2-", 0), 0u);

  std::vector<fs::path> written;
  for (std::uint8_t n = 1; n <= 3; ++n) {
    const auto r = kvt::BackupImage(dir.Path(), "K2", std::vector<std::uint8_t>(1280, n), when);
    ASSERT_TRUE(r.ok) << r.problem;
    written.push_back(r.path);
  }
  EXPECT_EQ(Listing(kvt::BackupDir(dir.Path())),
            (std::vector<std::string>{base + "-2.mi", base + "-3.mi", base + ".mi"}));
  for (std::size_t i = 0; i < 3; ++i)
    EXPECT_EQ(testsupport::ReadBytes(written[i]), std::string(1280, char(i + 1)));

  // An odd type never reaches the file name.
  EXPECT_EQ(kvt::BackupBaseName("../", when).rfind("unknown-", 0), 0u);
  EXPECT_EQ(kvt::BackupBaseName("", when).rfind("unknown-", 0), 0u);
}

TEST(ImageBackup, BlockedFolderIsReportedAndLeavesNothing) {
  testsupport::TempDir dir;
  fs::create_directories(dir / "Memory");
  testsupport::WriteBytes(dir / "Memory" / "BIN", "a file where the folder should be");
  const auto r = kvt::BackupImage(dir.Path(), "K2", std::vector<std::uint8_t>(16, 7));
  EXPECT_FALSE(r.ok);
  EXPECT_FALSE(r.problem.empty());
  EXPECT_EQ(testsupport::ReadBytes(dir / "Memory" / "BIN"), "a file where the folder should be");
}

}  // namespace
