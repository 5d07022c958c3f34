// The calibration window offscreen in the whole program on the simulator: connected and with the
// image read, the main window's button opens it; a person chooses the range, accepts it, switches
// automatic mode on and presses OK twice. On a K4 simulator the same button opens the window of
// types K3 and K4. PNGs of the pages go to gui-shots/.

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
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <fstream>

#include "app/ui/Program.h"
#include "calibration/ui/CalibrationK3View.h"
#include "image/MemoryImage.h"
#include "link/SystemStatus.h"
#include "sim/Apparatus.h"
#include "sim/Install.h"
#include "sim/Profile.h"
#include "support/PdfProtocol.h"
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
  // Connected through the main window's button, the image read, the apparatus in standby
  // heating; then the calibration button pressed.
  void ConnectAndOpen(kvt::ui::ProgramWindows& windows) {
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
  }
  kvt::CalWindowOptions saved_;
};

TEST_F(CalView, AutomaticCalibrationThroughTheWindowAndOkTwice) {
  kvt::ui::ProgramWindows windows;
  auto& view = windows.MainView();
  auto& m = windows.Manager();
  ConnectAndOpen(windows);
  QPushButton* open = view.ButtonWidget(ManagerButton::bntTubeCalibration);
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
  // The calibration's protocol as PDF, from the button beside the table's bounds.
  const auto doc = guitest::SaveProtocolByButton(ui_, cal->findChild<QPushButton*>("btnSavePdf"),
                                                 dir_ / "calibration.pdf", "Сидоров С.С.",
                                                 "protocol-calibration");
  ASSERT_TRUE(doc.has_value());
  EXPECT_EQ(guitest::FileStart(dir_ / "calibration.pdf", 5), "%PDF-");
  EXPECT_EQ(doc->Stamp("Тип аппарата"), "KVT-K2");
  // Source and new calibration tables, both resistance tables, the shot log.
  ASSERT_EQ(doc->Tables().size(), 5u);
  EXPECT_EQ(doc->Tables()[2]->rows.size(), 5u);
  EXPECT_EQ(int(doc->Tables()[4]->rows.size()), model.State.ShotCount);
  EXPECT_GE(platform::qt::DocumentPageCount(*doc), 2);

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

// Types K3 and K4: a person accepts the range and makes two shots, reading each shot's current in
// the determination dialog with the mouse.
TEST_F(CalView, K3WindowOnK4ShotsReadInTheDialog) {
  std::ofstream(dir_ / "simulator.ini") << "[Simulator]\nType=K4\nVersion=23\nTiming=instant\n";
  sim::InstallForTest(sim::LoadProfile(dir_ / "simulator.ini"));
  kvt::ui::ProgramWindows windows;
  auto& m = windows.Manager();
  ConnectAndOpen(windows);
  ASSERT_EQ(kvt::SystemStatus().SystemType(), "K4");
  QPointer<CalibrationView> cal = CalibrationView::Current();
  ASSERT_NE(cal, nullptr);
  ASSERT_NE(qobject_cast<kvt::ui::CalibrationK3View*>(cal.data()), nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(cal));
  EXPECT_EQ(cal->windowTitle(), QString::fromUtf8("Калибровка рентгеновской трубки"));
  EXPECT_TRUE(m.ToolWindowOpen(kvt::ToolWindow::Calibration));
  auto& model = cal->Model();
  ASSERT_TRUE(model.K3());
  EXPECT_TRUE(guitest::SaveShot(cal, "frmCalibrationK3-opened"));
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
  // Its protocol mid-way: the source table and the shots so far, no resistances.
  const auto doc = guitest::SaveProtocolByButton(ui_, cal->findChild<QPushButton*>("btnSavePdf"),
                                                 dir_ / "k3.pdf", "", "protocol-calibration-k3");
  ASSERT_TRUE(doc.has_value());
  EXPECT_EQ(guitest::FileStart(dir_ / "k3.pdf", 5), "%PDF-");
  EXPECT_EQ(doc->Stamp("Тип аппарата"), "KVT-K4");
  ASSERT_EQ(doc->Tables().size(), 2u);
  EXPECT_EQ(doc->Tables()[1]->rows.size(), 2u);
  EXPECT_EQ(doc->Tables()[1]->header.size(), 5u);
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
