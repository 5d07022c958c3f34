// The main window's read keeps a backup of every image it reads, and a backup that cannot be
// written is told in the state text without costing the read.

#include <gtest/gtest.h>

#include "image/ImageBackup.h"
#include "integration/term_fixture.h"

namespace {

using namespace termtest;

class ImageBackupRead : public TermFixture {};

TEST_F(ImageBackupRead, EveryReadLeavesItsOwnBackup) {
  const std::string previousType = kvt::SystemStatus().SystemType();
  kvt::SystemStatus().SetSystemType("K2");
  wf.btnReadConfigClick();
  ui->QueueAnswer(platform::Answer::Yes);
  wf.btnReadConfigClick();
  kvt::SystemStatus().SetSystemType(previousType);
  ASSERT_TRUE(host.image);
  const auto memory = SimMemory(1280);
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(kvt::BackupDir(dir_.Path())))
    files.push_back(e.path());
  ASSERT_EQ(files.size(), 2u);
  for (const auto& f : files) {
    EXPECT_EQ(f.filename().string().rfind("K2-", 0), 0u) << f;
    EXPECT_EQ(f.extension(), ".mi");
    EXPECT_EQ(testsupport::ReadBytes(f), std::string(memory.begin(), memory.end()));
  }
  EXPECT_EQ(host.states.back(), kvt::wftext::kStateRead);
}

TEST_F(ImageBackupRead, FailedBackupIsShownAndTheReadStands) {
  fs::create_directories(dir_ / "Memory" / "BIN");
  testsupport::WriteBytes(dir_ / "Memory" / "BIN" / "backup", "not a folder");
  wf.btnReadConfigClick();
  ASSERT_TRUE(host.image);
  EXPECT_EQ(host.image->Image, SimMemory(1280));
  EXPECT_TRUE(kvt::SystemStatus().ImageLoaded);
  EXPECT_EQ(host.states.back(), kvt::kStateReadNoBackup);
  EXPECT_EQ(host.reannounces, 0);  // the text stays until the apparatus's state changes
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(host.terminalOpens.size(), 1u);
}

}  // namespace
