// The calibration window offscreen in the whole program on the simulator: connected and with the
// image read, the main window's button opens it; a person chooses the range, accepts it, switches
// automatic mode on and presses OK twice. PNGs of the four pages go to gui-shots/.

#include <gtest/gtest.h>

#include <QApplication>
#include <QChartView>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>

#include "app/ui/Program.h"
#include "calibration/ui/CalibrationView.h"
#include "image/MemoryImage.h"
#include "link/SystemStatus.h"
#include "sim/Apparatus.h"
#include "support/ProgramFixture.h"
#include "support/Shots.h"

namespace {

using kvt::ManagerButton;
using kvt::ui::CalibrationView;

bool PumpUntil(const std::function<bool()>& pred, int ms) {
  QElapsedTimer t;
  t.start();
  while (!pred()) {
    if (t.elapsed() > ms) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

void ClickTab(QTabWidget* tabs, int index) {
  QTabBar* bar = tabs->tabBar();
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
  QApplication::processEvents();
}

class CalView : public guitest::ProgramOnSimulatorFixture {
 protected:
  void SetUp() override {
    ProgramOnSimulatorFixture::SetUp();
    saved_ = kvt::TfrmCalibration::LaunchOptions();
    auto& o = kvt::TfrmCalibration::LaunchOptions();
    o.priority = platform::ThreadPriority::Normal;
    o.timing.pauseScale = 0.01;
    o.timing.pauseStepMs = 2;
  }
  void TearDown() override {
    kvt::TfrmCalibration::LaunchOptions() = saved_;
    ProgramOnSimulatorFixture::TearDown();
  }
  kvt::CalWindowOptions saved_;
};

TEST_F(CalView, AutomaticCalibrationThroughTheWindowAndOkTwice) {
  kvt::ui::ProgramWindows windows;
  auto& view = windows.MainView();
  auto& m = windows.Manager();
  m.MonitorPriority = platform::ThreadPriority::Normal;
  m.SetLauncher(kvt::ManagerTool::Terminal, [](kvt::TfrmManager&, const std::string&) {});
  view.ButtonWidget(ManagerButton::btnAdjustConnection)->click();
  QPushButton* read = view.ButtonWidget(ManagerButton::btnReadConfig);
  ASSERT_TRUE(PumpUntil([&] { return read->isEnabled(); }, 20000));
  QTest::mouseClick(read, Qt::LeftButton);
  ASSERT_TRUE(kvt::SystemStatus().ImageLoaded);
  kvt::SystemStatus().ImageModified = false;
  sim::CurrentApparatus()->SetState(8);  // on, standby heating

  QPushButton* open = view.ButtonWidget(ManagerButton::bntTubeCalibration);
  ASSERT_TRUE(PumpUntil([&] { return open->isEnabled(); }, 10000));
  QTest::mouseClick(open, Qt::LeftButton);
  QPointer<CalibrationView> cal = CalibrationView::Current();
  ASSERT_NE(cal, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(cal));
  EXPECT_EQ(cal->windowTitle(), QString::fromUtf8("Калибровка рентгеновской трубки"));
  EXPECT_TRUE(m.ToolWindowOpen(kvt::ToolWindow::Calibration));
  // A second press brings the same window forward.
  QTest::mouseClick(open, Qt::LeftButton);
  EXPECT_EQ(CalibrationView::Current(), cal.data());
  EXPECT_EQ(cal->Pages()->currentIndex(), kvt::TfrmCalibration::pgProcedure);
  auto& model = cal->Model();

  // The lower bound typed into its box.
  cal->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(cal));
  auto* start = cal->findChild<QComboBox*>("StartUv");
  ASSERT_NE(start, nullptr);
  QTest::mouseClick(start->lineEdit(), Qt::LeftButton);
  QWidget* focus = QApplication::focusWidget();
  ASSERT_NE(focus, nullptr);
  QTest::keyClick(focus, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(focus, "80");
  EXPECT_EQ(model.StartUv.Text(), "80");
  EXPECT_EQ(model.FinishUv.Text(), "120");
  QTest::mouseClick(cal->findChild<QPushButton*>("btnAcceptInterval"), Qt::LeftButton);
  auto* autoButton = cal->findChild<QPushButton*>("btnAuto");
  ASSERT_TRUE(PumpUntil([&] { return autoButton->isEnabled(); }, 5000));
  QTest::mouseClick(autoButton, Qt::LeftButton);
  EXPECT_EQ(autoButton->text(), QString::fromUtf8("Выключить"));
  auto* ok = cal->findChild<QPushButton*>("btnOK");
  ASSERT_TRUE(PumpUntil([&] { return ok->isEnabled(); }, 120000));
  // The worker reports the computed tables and the end of automatic mode as two calls.
  EXPECT_TRUE(PumpUntil([&] { return autoButton->text() == QString::fromUtf8("Включить"); }, 5000));
  auto* log = cal->findChild<QTableWidget*>("ShotsTable");
  EXPECT_EQ(log->rowCount(), model.State.ShotCount + 2);
  EXPECT_TRUE(guitest::SaveShot(cal, "frmCalibration-procedure"));

  ClickTab(cal->Pages(), kvt::TfrmCalibration::pgTables);
  auto* newTable = cal->findChild<QTableWidget*>("NewCTable");
  EXPECT_EQ(newTable->rowCount(), 6);
  EXPECT_EQ(newTable->item(1, 0)->text(), "80");
  EXPECT_TRUE(guitest::SaveShot(cal, "frmCalibration-tables"));

  ClickTab(cal->Pages(), kvt::TfrmCalibration::pgGraph);
  auto* inner = cal->findChild<QTabWidget*>("PageControl1");
  ClickTab(inner, 2);
  auto* all = cal->findChild<QRadioButton*>("RadioButton3");
  ASSERT_TRUE(all->isEnabled());
  // On its dot, where a person clicks.
  QTest::mouseClick(all, Qt::LeftButton, {}, QPoint(8, all->height() / 2));
  EXPECT_EQ(model.Chart4.SeriesCount(), 9u + 5u);
  EXPECT_TRUE(guitest::SaveShot(cal, "frmCalibration-family"));
  ClickTab(inner, 1);
  EXPECT_TRUE(guitest::SaveShot(cal, "frmCalibration-transfer"));
  ClickTab(inner, 0);
  EXPECT_TRUE(guitest::SaveShot(cal, "frmCalibration-graphs"));
  ClickTab(cal->Pages(), kvt::TfrmCalibration::pgOptions);
  EXPECT_TRUE(guitest::SaveShot(cal, "frmCalibration-options"));

  ClickTab(cal->Pages(), kvt::TfrmCalibration::pgProcedure);
  QTest::mouseClick(ok, Qt::LeftButton);
  EXPECT_TRUE(kvt::SystemStatus().ImageModified);
  auto* message = cal->findChild<QLabel*>("lbCurrentMessage");
  EXPECT_TRUE(message->text().contains(QString::fromUtf8("Процедура калибровки завершена")));
  EXPECT_EQ(m.CurrentImage->Image[0x201], 80);
  EXPECT_TRUE(guitest::SaveShot(cal, "frmCalibration-done"));
  QTest::mouseClick(ok, Qt::LeftButton);
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(cal.isNull());
  EXPECT_FALSE(m.ToolWindowOpen(kvt::ToolWindow::Calibration));
  kvt::SystemStatus().ImageModified = false;
}

}  // namespace
