// Backups of images read from the apparatus: names that never collide and never replace a file.

#include <gtest/gtest.h>

#include <thread>

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

// Two programs reading in the same second (here two threads): every backup is whole and its own.
TEST(ImageBackup, SimultaneousBackupsNeverShareAStagingFile) {
  testsupport::TempDir dir;
  const auto when = std::chrono::system_clock::now();
  std::vector<kvt::BackupResult> results(20);
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 10; ++i) {
        const auto fill = std::uint8_t(t * 10 + i + 1);
        results[std::size_t(t * 10 + i)] =
            kvt::BackupImage(dir.Path(), "K2", std::vector<std::uint8_t>(4096, fill), when);
      }
    });
  for (auto& t : threads) t.join();
  for (std::size_t i = 0; i < results.size(); ++i) {
    ASSERT_TRUE(results[i].ok) << results[i].problem;
    EXPECT_EQ(testsupport::ReadBytes(results[i].path), std::string(4096, char(i + 1)));
  }
  EXPECT_EQ(Listing(kvt::BackupDir(dir.Path())).size(), 20u);  // no staging file left over
}

TEST(ImageBackup, WithoutHardLinksAnExistingOrClaimedNameIsNeverTaken) {
  testsupport::TempDir dir;
  const auto when = std::chrono::system_clock::now();
  const fs::path backups = kvt::BackupDir(dir.Path());
  const std::string base = kvt::BackupBaseName("K2", when);
  fs::create_directories(backups);
  testsupport::WriteBytes(backups / (base + ".mi"), "older backup");
  // Another program is just taking the second name.
  fs::create_directory(backups / (base + "-2.mi.claim"));
  const auto r = kvt::BackupImage(dir.Path(), "K2", std::vector<std::uint8_t>(16, 7), when,
                                  /*hardLinks=*/false);
  ASSERT_TRUE(r.ok) << r.problem;
  EXPECT_EQ(r.path.filename().string(), base + "-3.mi");
  EXPECT_EQ(testsupport::ReadBytes(r.path), std::string(16, char(7)));
  EXPECT_EQ(testsupport::ReadBytes(backups / (base + ".mi")), "older backup");
  EXPECT_EQ(Listing(backups),
            (std::vector<std::string>{base + "-2.mi.claim", base + "-3.mi", base + ".mi"}));
}

}  // namespace
