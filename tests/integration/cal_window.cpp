// The type-K2 calibration window and its worker against the simulated apparatus (instant timing,
// pauses shortened): the automatic run from the range to the new tables and the OK sequence, the
// search's moves, a shot landing on a bound, a silent apparatus, bad input, the state file, and
// closing during a pause.

#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "calibration/Calibration.h"
#include "exposure/FilamentShot.h"
#include "image/Settings.h"
#include "integration/term_fixture.h"
#include "platform/Files.h"
#include "platform/Ini.h"
#include "support/ExactPlant.h"
#include "support/SimulatorLine.h"
#include "support/Watchdog.h"

namespace kvt {
namespace {

using namespace std::chrono_literals;

class CalWindow : public termtest::TermFixture {
 protected:
  void SetUp() override {
    SetTheConfigWorkflows(&wf);
    apparatus_->SetState(8);
  }
  void TearDown() override {
    w.reset();
    SetTheConfigWorkflows(nullptr);
  }

  TfrmCalibration& Open(double pauseScale = 0.001) {
    CalWindowOptions o;
    o.priority = platform::ThreadPriority::Normal;
    o.timing.pauseScale = pauseScale;
    o.timing.pauseStepMs = 5;
    o.timing.shotLimits.readyMs = o.timing.shotLimits.prepareMs = 1500;
    o.timing.shotLimits.pollPauseMs = 1;
    o.stateFile = dir_.Path() / "caltable.ini";
    w = std::make_unique<TfrmCalibration>(nullptr, o);
    w->OnCloseRequest = [this] { ++closeRequests; };
    w->FormCreate();
    return *w;
  }
  // Serves the worker's interface calls until cond holds (generous limit: the machine is shared).
  bool Until(const std::function<bool()>& cond, int ms = 120000) { return ui->PumpUntil(cond, ms); }
  void Choose(platform::ComboBox& box, const std::string& text) {
    const auto& items = box.Items();
    const auto it = std::find(items.begin(), items.end(), text);
    ASSERT_NE(it, items.end()) << text;
    box.Select(int(it - items.begin()));
  }
  // One step by the shot button, served until the worker has ended it (pause included).
  void Shot() {
    Step([&] { w->btnMakeShot.Click(); });
  }
  void Step(const std::function<void()>& press) {
    ASSERT_TRUE(Until([&] { return !w->Worker()->InStep(); }));
    const int done = w->Worker()->StepsDone();
    press();
    ASSERT_TRUE(Until([&] { return w->Worker()->StepsDone() > done; }));
  }
  ShotRow Row(int k) { return w->Tables_.ReadShotRow(k).value(); }
  int Code() { return w->udCurrentNakal.Position(); }

  // The code whose shot measures exactly kv (the voltage falls as the code rises).
  int CodeForExactKv(int kv) {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    int lo = 0, hi = kMaxFilamentCode;
    while (lo < hi) {
      const int mid = (lo + hi) / 2;
      TFilamentShot s(mid);
      EXPECT_TRUE(s.Ok);
      if (s.Uv > kv)
        lo = mid + 1;
      else
        hi = mid;
    }
    TFilamentShot s(lo);
    return s.Uv == kv ? lo : -1;
  }

  std::unique_ptr<TfrmCalibration> w;
  int closeRequests = 0;
};

TEST_F(CalWindow, AutomaticRunSweepsTheRangeComputesTheTablesAndOkStoresThem) {
  wf.ReplaceImage(SimMemory(1280));
  SystemStatus().ImageModified = false;
  Open();
  EXPECT_EQ(w->Form.Caption(), "Калибровка рентгеновской трубки");
  EXPECT_EQ(w->CalPages.ActivePageIndex(), TfrmCalibration::pgProcedure);
  const std::vector<std::string> all{"40", "50", "60", "70", "80", "90", "100", "110", "120"};
  EXPECT_EQ(w->StartUv.Items(), all);
  EXPECT_EQ(w->FinishUv.Text(), "120");
  // The lower bound moves, the upper stays where it was (or follows when passed).
  Choose(w->StartUv, "60");
  EXPECT_EQ(w->FinishUv.Items().front(), "60");
  EXPECT_EQ(w->FinishUv.Text(), "120");
  Choose(w->FinishUv, "100");
  Choose(w->StartUv, "50");
  EXPECT_EQ(w->FinishUv.Text(), "100");
  Choose(w->StartUv, "110");
  EXPECT_EQ(w->FinishUv.Text(), "110");
  Choose(w->StartUv, "50");
  Choose(w->FinishUv, "100");
  EXPECT_FALSE(w->btnMakeShot.Enabled());

  Step([&] { w->btnAcceptIntervalClick(); });
  EXPECT_FALSE(w->StartUv.Enabled());
  EXPECT_TRUE(w->btnAuto.Enabled());
  EXPECT_EQ(w->State.Stage, 2);
  EXPECT_EQ(w->lbCurrentMessage.Caption(), calmsg::kInitialCode);
  EXPECT_EQ(w->ShotsTable.RowCount(), 2) << "stage 1 makes no exposure";

  w->btnAuto.Click();
  EXPECT_EQ(w->btnAuto.Caption(), "Выключить");
  ASSERT_TRUE(Until([&] { return w->State.Stage == 5; }));
  EXPECT_EQ(w->btnAuto.Caption(), "Включить");
  EXPECT_EQ(w->lbCurrentMessage.Caption(), calmsg::kComputed);
  EXPECT_TRUE(w->btnOK.Enabled());

  // The log tells the walk: into the range, down past 50 kV a step at a time, back up from one
  // step above the first shot in range, until 100 kV is reached.
  const int n = w->State.ShotCount, first = w->State.FirstInRange, middle = w->State.MiddleShot;
  ASSERT_EQ(w->Tables_.LoggedShots(), n);
  ASSERT_GT(middle, first);
  ASSERT_GT(n, middle);
  EXPECT_GE(Row(first).Uv, 50);
  EXPECT_LE(Row(first).Uv, 100);
  for (int k = first + 1; k <= middle; ++k) {
    EXPECT_EQ(Row(k).Code, Row(k - 1).Code + 10);
    EXPECT_LE(Row(k).Uv, Row(k - 1).Uv);
  }
  EXPECT_LE(Row(middle).Uv, 50);
  EXPECT_GT(Row(middle - 1).Uv, 50);
  EXPECT_EQ(Row(middle + 1).Code, Row(first).Code - 10);
  for (int k = middle + 2; k <= n; ++k) EXPECT_EQ(Row(k).Code, Row(k - 1).Code - 10);
  EXPECT_GE(Row(n).Uv, 100);
  EXPECT_LT(Row(n - 1).Uv, 100);
  for (int k = 1; k <= n; ++k)
    EXPECT_EQ(Row(k).TabCode, w->Tables_.TableCode(Row(k).Uv, Row(k).Ia));
  // The last shot's curves are plotted.
  EXPECT_GT(w->ChartUa.Series(0).Count(), 10u);

  // New tables for 50 ... 100 kV, their charts, and the state file saved with the series.
  EXPECT_EQ(w->NewCTable.RowCount(), 7);
  EXPECT_EQ(w->NewRTable.RowCount(), 52);
  EXPECT_EQ(w->Chart1.Series(0).Count(), 51u);
  EXPECT_GT(w->Chart2.Series(0).Count(), 100u);
  // A sweep's last shot takes part only when it landed on the bound.
  const int down = middle - first + (Row(middle).Uv == 50 ? 1 : 0);
  const int up = n - middle - (Row(n).Uv == 100 ? 0 : 1);
  EXPECT_EQ(w->Chart2.Series(1).Count(), std::size_t(down + up));
  platform::IniFile state(dir_.Path() / "caltable.ini");
  EXPECT_EQ(state.ReadInteger("Информация", "Этап", -1), 4);
  EXPECT_EQ(state.ReadInteger("Информация", "Количество снимков", -1), n);

  // The family page offers the correction only now.
  w->CalPages.SelectPage(TfrmCalibration::pgGraph);
  EXPECT_TRUE(w->RadioButton3.Enabled());
  EXPECT_TRUE(w->cbCurrents.Enabled());
  w->RadioButton3.SetChecked(true);
  EXPECT_EQ(w->Chart4.SeriesCount(), 9u + 6u);
  EXPECT_FALSE(w->RadioButton1.Checked());

  // OK: the tables go into the image; the second OK closes.
  w->btnOK.Click();
  EXPECT_EQ(w->lbCurrentMessage.Caption().rfind("\nПроцедура калибровки завершена.", 0), 0u);
  EXPECT_TRUE(SystemStatus().ImageModified);
  const auto& image = host.image->Image;
  EXPECT_EQ(image[0x200] * 256 + image[0x201], 50);
  EXPECT_EQ(image[0x202] * 256 + image[0x203], 100);
  EXPECT_EQ(std::to_string(std::int16_t(image[0x220] << 8 | image[0x221])),
            w->NewCTable.Cell(1, 1));
  EXPECT_EQ(closeRequests, 0);
  w->btnOK.Click();
  EXPECT_EQ(closeRequests, 1);
  EXPECT_EQ(w->OkPresses, 0);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(CalWindow, AutoModeFromStageOneAndTheSearchMovesFiveSteps) {
  Open();
  // Automatic before the range is accepted: the computed code is shot without a press, and the
  // window closes in the middle of the run.
  w->btnAutoClick();
  w->btnAcceptIntervalClick();
  ASSERT_TRUE(Until([&] { return w->ShotsTable.RowCount() >= 3; }));
  w.reset();

  Open();
  Step([&] { w->btnAcceptIntervalClick(); });
  ASSERT_EQ(w->State.Stage, 2);
  // By hand: far too little heating overshoots the upper bound ...
  w->SetCode(300);
  Shot();
  EXPECT_GT(Row(w->Tables_.LoggedShots()).Uv, 120);
  EXPECT_EQ(w->lbCurrentMessage.Caption(), calmsg::kAboveRange);
  EXPECT_EQ(Code(), 350);
  // ... far too much falls short of the lower one.
  w->udDNakal.SetPosition(20);
  w->SetCode(1000);
  Shot();
  EXPECT_LT(Row(w->Tables_.LoggedShots()).Uv, 40);
  EXPECT_EQ(w->lbCurrentMessage.Caption(), calmsg::kBelowRange);
  EXPECT_EQ(Code(), 900);
  EXPECT_EQ(w->State.Stage, 2);
}

TEST_F(CalWindow, ShotsOnTheBoundsTurnAndEndTheSweeps) {
  // Without noise a code measures the same voltage every time.
  kvt::CloseSharedPort();
  sim::Profile exact = testsupport::ExactPlant();
  exact.timing = sim::Timing::Instant;
  exact.memoryFile.clear();
  exact.state = 8;
  apparatus_ = &testsupport::AttachSimulator(exact);
  const int at60 = CodeForExactKv(60);
  const int at70 = CodeForExactKv(70);
  ASSERT_GE(at60, 0);
  ASSERT_GE(at70, 0);
  Open();
  Choose(w->StartUv, "60");
  Choose(w->FinishUv, "70");
  Step([&] { w->btnAcceptIntervalClick(); });
  // A search shot exactly on the lower bound starts the upward sweep at once.
  w->SetCode(at60);
  Shot();
  EXPECT_EQ(w->State.Stage, 3);
  EXPECT_EQ(w->State.Direction, 1);
  EXPECT_EQ(w->State.FirstInRange, 1);
  EXPECT_EQ(w->State.MiddleShot, 1);
  EXPECT_EQ(Code(), at60 - 10);
  // An upward shot exactly on the upper bound ends the series and the tables follow unasked.
  w->SetCode(at70);
  w->btnMakeShot.Click();
  ASSERT_TRUE(Until([&] { return w->State.Stage == 5; }));
  EXPECT_EQ(w->State.ShotCount, 2);
  // Both shots lie on the bounds, so both take part in the fits.
  EXPECT_EQ(w->Chart2.Series(1).Count(), 2u);
}

TEST_F(CalWindow, BadInputIsRefusedAndTheWorkerStaysAlive) {
  Open();
  // A bound typed as text: refused, nothing starts.
  w->StartUv.EditText("6O");
  w->btnAcceptIntervalClick();
  EXPECT_NE(w->lbCurrentMessage.Caption().find("должны быть напряжениями"), std::string::npos);
  EXPECT_EQ(w->State.Stage, 0);
  EXPECT_TRUE(w->btnAcceptInterval.Enabled());

  // No resistance for the lower bound: no code is computed, automatic mode waits for the engineer.
  Choose(w->StartUv, "60");
  w->SourceRTable.EditCell(1, 60 - 40 + 1, "0");
  w->btnAutoClick();
  Step([&] { w->btnAcceptIntervalClick(); });
  EXPECT_EQ(w->btnAuto.Caption(), "Включить");
  EXPECT_NE(w->lbCurrentMessage.Caption().find("код накала не может быть расчитан"),
            std::string::npos);
  EXPECT_EQ(w->State.Stage, 2);
  EXPECT_EQ(w->ShotsTable.RowCount(), 2);

  // A silent apparatus: each failed shot is told; automatic mode gives up after three.
  apparatus_->GoSilent();
  w->SetCode(600);
  w->btnAutoClick();
  ASSERT_TRUE(Until([&] { return w->btnAuto.Caption() == "Включить"; }));
  EXPECT_NE(w->lbCurrentMessage.Caption().find("3 снимка подряд не выполнены"), std::string::npos);
  EXPECT_EQ(w->ShotsTable.RowCount(), 2) << "failed shots are not logged";
  EXPECT_EQ(Code(), 600) << "nor do they move the code";
  // Back on the line the next press makes the shot.
  apparatus_->Resume();
  Shot();
  EXPECT_EQ(w->Tables_.LoggedShots(), 1);
}

TEST_F(CalWindow, OkWithoutAnImageTellsAndAsksBeforeTheTablesAreLost) {
  Open();
  Choose(w->StartUv, "80");
  w->btnAcceptIntervalClick();
  w->btnAutoClick();
  ASSERT_TRUE(Until([&] { return w->State.Stage == 5; }));
  SystemStatus().ImageModified = false;

  w->btnOK.Click();
  EXPECT_NE(w->lbCurrentMessage.Caption().find("не записаны в образ"), std::string::npos);
  EXPECT_FALSE(SystemStatus().ImageModified);
  ui->QueueAnswer(platform::Answer::No);
  w->btnOK.Click();
  EXPECT_EQ(closeRequests, 0);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].buttons, platform::Buttons::YesNo);

  // With an image held the next OK stores the tables after all.
  wf.ReplaceImage(SimMemory(1280));
  w->btnOK.Click();
  EXPECT_TRUE(SystemStatus().ImageModified);
  w->btnOK.Click();
  EXPECT_EQ(closeRequests, 1);
  EXPECT_EQ(Messages().size(), 1u);
}

TEST_F(CalWindow, StateFileContinuesTheCalibrationInANewWindow) {
  Open();
  Choose(w->StartUv, "70");
  Choose(w->FinishUv, "110");
  w->btnAcceptIntervalClick();
  w->btnAutoClick();
  ASSERT_TRUE(Until([&] { return w->State.Stage == 5; }));
  const int n = w->State.ShotCount;
  const auto table = w->NewCTable.RowCells(3);
  const auto log = w->ShotsTable.RowCells(n);
  // Deleting the last shot lowers the count; the state file keeps what was saved.
  w->N1.Click();
  EXPECT_EQ(w->State.ShotCount, n - 1);
  EXPECT_EQ(w->Tables_.LoggedShots(), n - 1);
  w.reset();

  // The file says stage 4: the new window computes the same tables at once.
  Open();
  w->N3.Click();
  ASSERT_TRUE(Until([&] { return w->State.Stage == 5; }));
  EXPECT_EQ(w->StartUv.Text(), "70");
  EXPECT_EQ(w->FinishUv.Text(), "110");
  EXPECT_FALSE(w->btnAcceptInterval.Enabled());
  EXPECT_TRUE(w->btnMakeShot.Enabled());
  EXPECT_EQ(w->State.ShotCount, n);
  EXPECT_EQ(w->ShotsTable.RowCells(n), log);
  EXPECT_EQ(w->NewCTable.RowCells(3), table);

  // A file whose range lies off this table's grid is refused and changes nothing.
  {
    platform::IniFile f(dir_.Path() / "caltable.ini");
    f.WriteString("Информация", "Нижнее Ua", "75");
  }
  w->N3.Click();
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_NE(Messages()[0].text.find("не загружен"), std::string::npos);
  EXPECT_EQ(w->StartUv.Text(), "70");
}

TEST_F(CalWindow, PauseFollowsTheSettingsAndClosingEndsItAtOnce) {
  {
    // Without the key the pause is one second.
    std::string text = platform::ReadTextFile(platform::SettingsPath()).value();
    const auto at = text.find("SNAPSHOTTIMEOUT");
    ASSERT_NE(at, std::string::npos);
    text.erase(at, text.find('\n', at) + 1 - at);
    ASSERT_TRUE(platform::WriteFileAtomic(platform::SettingsPath(), text));
  }
  EXPECT_EQ(TCalWorker::PauseBetweenShotsMs(), 1000);
  ASSERT_TRUE(settings::WriteSnapshotTimeout(30));
  EXPECT_EQ(TCalWorker::PauseBetweenShotsMs(), 30000);

  Open(1.0);
  Step([&] { w->btnAcceptIntervalClick(); });
  w->btnMakeShot.Click();
  // The button waits from the shot on; the gauge shows the pause.
  ASSERT_TRUE(Until([&] { return w->WaitIndikator.MaxValue() == 30000; }));
  EXPECT_FALSE(w->btnMakeShot.Enabled());
  Until([] { return false; }, 300);
  EXPECT_LT(w->WaitIndikator.Progress(), 30000);
  EXPECT_GT(w->WaitIndikator.Progress(), 0);
  // The search holds the device lock through its pause.
  EXPECT_FALSE(std::async(std::launch::async, [] {
                 const bool got = platform::TheLinkLock().TryLock();
                 if (got) platform::TheLinkLock().Unlock();
                 return got;
               }).get());
  testsupport::Watchdog dog(20s, "closing the calibration window during a 30 s pause");
  w.reset();
  EXPECT_TRUE(platform::TheLinkLock().TryLock());
  platform::TheLinkLock().Unlock();
}

}  // namespace
}  // namespace kvt
