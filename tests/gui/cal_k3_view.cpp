// The calibration window of types K3 and K4 offscreen in the whole program on a K4 simulator: the
// main window's button opens it; a person accepts the range and makes two shots, reading each
// shot's current in the determination dialog with the mouse. PNGs of the pages and of the dialog
// go to gui-shots/.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <fstream>

#include "app/ui/Program.h"
#include "calibration/ui/CalibrationK3View.h"
#include "link/SystemStatus.h"
#include "sim/Apparatus.h"
#include "sim/Install.h"
#include "sim/Profile.h"
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

class CalK3View : public guitest::ProgramOnSimulatorFixture {
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

TEST_F(CalK3View, OpenedOnK4ShotsReadInTheDialog) {
  std::ofstream(dir_ / "simulator.ini") << "[Simulator]\nType=K4\nVersion=23\nTiming=instant\n";
  sim::InstallForTest(sim::LoadProfile(dir_ / "simulator.ini"));
  kvt::ui::ProgramWindows windows;
  auto& view = windows.MainView();
  auto& m = windows.Manager();
  m.MonitorPriority = platform::ThreadPriority::Normal;
  m.SetLauncher(kvt::ManagerTool::Terminal, [](kvt::TfrmManager&, const std::string&) {});
  view.ButtonWidget(ManagerButton::btnAdjustConnection)->click();
  QPushButton* read = view.ButtonWidget(ManagerButton::btnReadConfig);
  ASSERT_TRUE(PumpUntil([&] { return read->isEnabled(); }, 20000));
  ASSERT_EQ(kvt::SystemStatus().SystemType(), "K4");
  QTest::mouseClick(read, Qt::LeftButton);
  ASSERT_TRUE(kvt::SystemStatus().ImageLoaded);
  kvt::SystemStatus().ImageModified = false;
  sim::CurrentApparatus()->SetState(8);

  QPushButton* open = view.ButtonWidget(ManagerButton::bntTubeCalibration);
  ASSERT_TRUE(PumpUntil([&] { return open->isEnabled(); }, 10000));
  QTest::mouseClick(open, Qt::LeftButton);
  QPointer<CalibrationView> cal = CalibrationView::Current();
  ASSERT_NE(cal, nullptr);
  ASSERT_NE(qobject_cast<kvt::ui::CalibrationK3View*>(cal.data()), nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(cal));
  EXPECT_EQ(cal->windowTitle(), QString::fromUtf8("Калибровка рентгеновской трубки"));
  EXPECT_TRUE(m.ToolWindowOpen(kvt::ToolWindow::Calibration));
  auto& model = cal->Model();
  ASSERT_TRUE(model.K3());
  // No resistance table and no resistance charts.
  EXPECT_EQ(cal->findChild<QTableWidget*>("SourceRTable"), nullptr);
  EXPECT_EQ(cal->findChild<QWidget*>("Chart1"), nullptr);
  auto* log = cal->findChild<QTableWidget*>("ShotsTable");
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(log->horizontalHeaderItem(5) ? log->horizontalHeaderItem(5)->text().trimmed()
                                         : log->item(0, 5)->text().trimmed(),
            QString());

  // The person reads each shot: a click high on the upper bar moves it a page, the lines to
  // 110 mA; then accept.
  int readings = 0;
  QTimer reader;
  QObject::connect(&reader, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal->objectName() != "frmDefineCurrent") return;
    reader.stop();
    auto* up = modal->findChild<QScrollBar*>("UpTrack1");
    auto* accept = modal->findChild<QPushButton*>("Button1");
    if (!up || !accept) return;
    QTest::mouseClick(up, Qt::LeftButton, {}, QPoint(up->width() / 2, 20));
    QApplication::processEvents();
    if (readings == 0) {
      QTest::qWait(300);
      EXPECT_TRUE(guitest::SaveShot(modal, "frmCalibrationK3-reading"));
    }
    ++readings;
    QTest::mouseClick(accept, Qt::LeftButton);
  });

  QTest::mouseClick(cal->findChild<QPushButton*>("btnAcceptInterval"), Qt::LeftButton);
  auto* shot = cal->findChild<QPushButton*>("btnMakeShot");
  ASSERT_TRUE(PumpUntil([&] { return shot->isEnabled() && model.State.Stage == 2; }, 10000));
  for (int n = 1; n <= 2; ++n) {
    reader.start(20);
    QTest::mouseClick(shot, Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return model.Tables_.LoggedShots() == n; }, 60000)) << n;
    ASSERT_TRUE(PumpUntil([&] { return shot->isEnabled(); }, 20000));
  }
  EXPECT_EQ(readings, 2);
  EXPECT_EQ(log->item(1, 3)->text(), "110");
  EXPECT_EQ(model.State.Stage, 3);
  EXPECT_TRUE(guitest::SaveShot(cal, "frmCalibrationK3-procedure"));

  ClickTab(cal->Pages(), kvt::TfrmCalibration::pgTables);
  EXPECT_TRUE(guitest::SaveShot(cal, "frmCalibrationK3-tables"));
  ClickTab(cal->Pages(), kvt::TfrmCalibration::pgGraph);
  auto* inner = cal->findChild<QTabWidget*>("PageControl1");
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(inner->count(), 1);
  EXPECT_TRUE(guitest::SaveShot(cal, "frmCalibrationK3-family"));

  // Closed by its frame: the worker ends and the flag goes down.
  cal->close();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(cal.isNull());
  EXPECT_FALSE(m.ToolWindowOpen(kvt::ToolWindow::Calibration));
}

}  // namespace
