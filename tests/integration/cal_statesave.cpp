// The state file during an automatic calibration: one replacement of the file per logged shot
// (and one after the computation), and a file that cannot be written told once while the run
// goes on to the new tables.

#include <gtest/gtest.h>

#include <filesystem>

#include "calibration/CalRun.h"
#include "integration/cal_fixture.h"
#include "integration/term_fixture.h"
#include "platform/Ini.h"

namespace kvt {
namespace {

class CountingRun : public TCalRun {
 public:
  using TCalRun::TCalRun;
  void ShowMessage(const std::string& text) override {
    TCalRun::ShowMessage(text);
    if (text.find("Не удалось записать файл") != std::string::npos) ++stateFailures;
  }
  int stateFailures = 0;
};

class CalStateSave : public termtest::TermFixture {
 protected:
  void SetUp() override { apparatus_->SetState(8); }
  CalRunOptions Options(const std::filesystem::path& stateFile) {
    CalRunOptions o = caltest::QuickRunOptions(stateFile);
    o.from = 60;
    o.to = 80;
    o.onShot = [this](const ShotRow&, int) { ++shots; };
    return o;
  }
  int shots = 0;
};

TEST_F(CalStateSave, OneWritePerShotAndAnUnwritableFileToldOnce) {
  {
    CountingRun run(Options(dir_.Path() / "caltable.ini"));
    ASSERT_TRUE(run.Prepare().ok);
    const auto written = platform::IniFile::FilesWritten();
    ASSERT_TRUE(run.Run().ok);
    ASSERT_GE(shots, 5);
    EXPECT_EQ(platform::IniFile::FilesWritten() - written, std::uint64_t(shots) + 1);
    EXPECT_EQ(run.stateFailures, 0);
    EXPECT_EQ(platform::IniFile(dir_.Path() / "caltable.ini")
                  .ReadInteger("Информация", "Количество снимков", -1),
              shots);
  }
  // A folder where the file should be: no save can succeed, the run still ends with its tables.
  shots = 0;
  std::filesystem::create_directory(dir_.Path() / "blocked.ini");
  CountingRun run(Options(dir_.Path() / "blocked.ini"));
  ASSERT_TRUE(run.Prepare().ok);
  const CalResult r = run.Run();
  EXPECT_TRUE(r.ok) << r.problem;
  ASSERT_GE(shots, 5);
  EXPECT_EQ(run.stateFailures, 1);
  EXPECT_GT(run.Tables_.NewCTable.RowCount(), 2);
}

}  // namespace
}  // namespace kvt
