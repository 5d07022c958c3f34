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
#include <QXYSeries>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "app/ui/Program.h"
#include "calibration/ui/CalibrationK3View.h"
#include "exposure/DefineCurrent.h"
#include "image/MemoryImage.h"
#include "link/SystemStatus.h"
#include "sim/Apparatus.h"
#include "sim/Install.h"
#include "sim/Physics.h"
#include "sim/Profile.h"
#include "sim/Truth.h"
#include "support/CalibrationFixture.h"
#include "support/PdfProtocol.h"
#include "support/ProgramFixture.h"
#include "support/Pump.h"
#include "support/Shots.h"

namespace {

using guitest::PumpUntil;

using kvt::ManagerButton;
using kvt::ui::CalibrationView;

// The window's pages, found by name as any of its widgets.
QTabWidget* CalPages(QWidget* cal) {
  auto* pages = cal->findChild<QTabWidget*>("CalPages");
  EXPECT_NE(pages, nullptr);
  return pages;
}

void ClickTab(QTabWidget* tabs, int index) {
  ASSERT_NE(tabs, nullptr);
  QTabBar* bar = tabs->tabBar();
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
  QApplication::processEvents();
}

class CalView : public guitest::CalibrationOnSimulatorFixture {};

TEST_F(CalView, AutomaticCalibrationThroughTheWindowAndOkTwice) {
  kvt::ui::ProgramWindows windows;
  auto& view = windows.MainView();
  auto& m = windows.Manager();
  QPointer<CalibrationView> cal;
  ASSERT_NO_FATAL_FAILURE(OpenShown(windows, cal));
  QPushButton* open = view.ButtonWidget(ManagerButton::bntTubeCalibration);
  EXPECT_EQ(cal->windowTitle(), QString::fromUtf8("Калибровка рентгеновской трубки"));
  EXPECT_TRUE(m.ToolWindowOpen(kvt::ToolWindow::Calibration));
  // A second press brings the same window forward.
  QTest::mouseClick(open, Qt::LeftButton);
  EXPECT_EQ(CalibrationView::Current(), cal.data());
  EXPECT_EQ(CalPages(cal)->currentIndex(), kvt::TfrmCalibration::pgProcedure);
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

  ClickTab(CalPages(cal), kvt::TfrmCalibration::pgTables);
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

  ClickTab(CalPages(cal), kvt::TfrmCalibration::pgGraph);
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
  ClickTab(CalPages(cal), kvt::TfrmCalibration::pgOptions);
  EXPECT_TRUE(guitest::SaveShot(cal, "frmCalibration-options"));

  ClickTab(CalPages(cal), kvt::TfrmCalibration::pgProcedure);
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

  ClickTab(CalPages(cal), kvt::TfrmCalibration::pgTables);
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
  ClickTab(CalPages(cal), kvt::TfrmCalibration::pgGraph);
  auto* inner = cal->findChild<QTabWidget*>("PageControl1");
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(inner->count(), 1);
  EXPECT_TRUE(guitest::SaveShot(cal, "frmCalibrationK3-family"));

  // Closed by its frame with shots in the log: the engineer is asked; "Нет" keeps the window,
  // "Да" saves the log to the state file, the worker ends and the flag goes down.
  std::filesystem::remove(dir_ / "caltablek3.ini");
  ui_.QueueNonInteractiveAnswer(platform::Answer::No);
  cal->close();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  ASSERT_FALSE(cal.isNull());
  EXPECT_TRUE(cal->isVisible());
  EXPECT_NE(ui_.ShownMessages().back().text.find("Закрыть окно калибровки?"), std::string::npos);
  ui_.QueueNonInteractiveAnswer(platform::Answer::Yes);
  cal->close();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(cal.isNull());
  EXPECT_TRUE(std::filesystem::exists(dir_ / "caltablek3.ini"));
  EXPECT_FALSE(m.ToolWindowOpen(kvt::ToolWindow::Calibration));
}

// A person reads a shot's current off its curve: drags the upper line (the lower one follows)
// from where it lies onto the curve's highest point, all the way up when the curve runs off the
// chart's top, and accepts.
void ReadCurveByDragging(QWidget* modal) {
  auto* view = modal->findChild<QChartView*>("chart_Ia_calibr");
  auto* upper = modal->findChild<QLabel*>("UpVal1");
  auto* accept = modal->findChild<QPushButton*>("Button1");
  ASSERT_TRUE(view && upper && accept);
  QChart* chart = view->chart();
  ASSERT_FALSE(chart->series().isEmpty());
  auto* curve = qobject_cast<QXYSeries*>(chart->series().at(0));
  ASSERT_NE(curve, nullptr);
  double peak = 0;
  for (const QPointF& p : curve->points()) peak = std::max(peak, p.y());
  const double top = kvt::TfrmDefineCurrent::kMaxCurrent;
  const double target = peak >= top ? top + 15 : peak;
  auto at = [&](double y) {
    return view->mapFromScene(chart->mapToScene(chart->mapToPosition(QPointF(1, y), curve)));
  };
  QWidget* area = view->viewport();
  const QPoint from = at(upper->text().toDouble()), to = at(target);
  QTest::mousePress(area, Qt::LeftButton, {}, from);
  QTest::mouseMove(area, (from + to) / 2);
  QTest::mouseMove(area, to);
  QTest::mouseRelease(area, Qt::LeftButton, {}, to);
  QApplication::processEvents();
  QTest::mouseClick(accept, Qt::LeftButton);
}

struct CodeError {
  double mean = 0;
  int worst = 0;
};

// The grid's codes against the simulated tube's true ones.
CodeError TableError(const platform::StringGrid& grid, const sim::Profile& profile) {
  CodeError e;
  long sum = 0;
  int cells = 0;
  for (int r = 1; r < grid.RowCount() && !grid.Cell(0, r).empty(); ++r)
    for (int c = 1; c <= 8; ++c) {
      const int kv = std::stoi(grid.Cell(0, r)), ma = std::stoi(grid.Cell(c, 0));
      const int d = std::abs(std::stoi(grid.Cell(c, r)) -
                             int(std::lround(sim::truth::FilamentCode(profile, kv, ma))));
      sum += d;
      e.worst = std::max(e.worst, d);
      ++cells;
    }
  e.mean = cells ? double(sum) / cells : 0;
  return e;
}

class CalViewK3 : public CalView {
 protected:
  // The shipped simulator profile on a K3 system, the image and state kept nowhere.
  sim::Profile InstallK3() {
    std::ifstream shipped(std::filesystem::path(KVT_DATA_DIR) / "simulator.ini");
    std::string text((std::istreambuf_iterator<char>(shipped)), {});
    auto set = [&](const std::string& key, const std::string& value) {
      const auto at = text.find("\n" + key + "=");
      ASSERT_NE(at, std::string::npos) << key;
      text.replace(at + 1, text.find('\n', at + 1) - at - 1, key + "=" + value);
    };
    set("Type", "K3");
    set("Timing", "instant");
    set("MemoryFile", "");
    std::ofstream(dir_ / "simulator.ini") << text;
    const sim::Profile profile = sim::LoadProfile(dir_ / "simulator.ini");
    sim::InstallForTest(profile);
    // The measuring channels adjusted first, as the engineer is told to.
    sim::CurrentApparatus()->WriteMemory(0x13,
                                         {std::uint8_t(std::lround(sim::truth::Kuan(profile)))});
    sim::CurrentApparatus()->CommitBank(0);
    return profile;
  }
  // Accepted range, automatic mode on, every shot read off its curve with the mouse, until the
  // new table is computed or automatic mode stops.
  void RunToTheEnd(CalibrationView& cal) {
    auto& model = cal.Model();
    // Readings beyond the table's currents are confirmed when asked.
    for (int k = 0; k < 30; ++k) ui_.QueueNonInteractiveAnswer(platform::Answer::Yes);
    QTimer reader;
    QObject::connect(&reader, &QTimer::timeout, [&] {
      QWidget* modal = QApplication::activeModalWidget();
      if (!modal || modal->objectName() != "frmDefineCurrent") return;
      reader.stop();
      ReadCurveByDragging(modal);
      reader.start(5);
    });
    reader.start(5);
    QTest::mouseClick(cal.findChild<QPushButton*>("btnAcceptInterval"), Qt::LeftButton);
    auto* autoButton = cal.findChild<QPushButton*>("btnAuto");
    ASSERT_TRUE(PumpUntil([&] { return autoButton->isEnabled(); }, 5000));
    QTest::mouseClick(autoButton, Qt::LeftButton);
    PumpUntil([&] { return model.State.Stage == 5 || !model.CalLock.AutoMode(model.State); },
              600000);
    reader.stop();
  }
};

// A table whose last current lies beyond the dialog: the person drags the line to the chart's top
// when the curve runs off it; the sweeps end there instead of raising the code without end, the
// tables are computed, and the shot log shows the newest shot throughout.
TEST_F(CalViewK3, SaturatedReadingsEndTheSweepsAndTheLogFollows) {
  InstallK3();
  std::vector<std::uint8_t> table;
  auto put = [&](int v) {
    table.push_back(std::uint8_t(v >> 8));
    table.push_back(std::uint8_t(v));
  };
  const int header[8] = {50, 75, 100, 125, 150, 175, 200, 250};
  for (int ma : header) put(ma);
  for (int kv = 40; kv <= 120; kv += 10)
    for (int ma : header) put(int(std::lround(sim::physics::CodeForCurrent(kv, ma, false))));
  sim::CurrentApparatus()->WriteMemory(0x210, table);
  sim::CurrentApparatus()->CommitBank(2);

  kvt::ui::ProgramWindows windows;
  QPointer<CalibrationView> cal;
  ASSERT_NO_FATAL_FAILURE(OpenShown(windows, cal));
  auto& model = cal->Model();
  EXPECT_EQ(model.udCurrentNakal.Max(), 1023);
  // The opening warning's lines each fit the message's width, and the whole message its height.
  auto* message = cal->findChild<QLabel*>("lbCurrentMessage");
  ASSERT_TRUE(message->text().contains(QString::fromUtf8("Внимание")));
  for (const QString& line : message->text().split('\n')) {
    if (line.startsWith(QString::fromUtf8("Внимание")) ||
        line.contains(QString::fromUtf8("осциллограмме"))) {
      EXPECT_LE(message->fontMetrics().horizontalAdvance(line), message->width())
          << line.toStdString();
    }
  }
  EXPECT_LE(message->heightForWidth(message->width()), message->height());
  EXPECT_TRUE(guitest::SaveShot(cal, "frmCalibrationK3-warning"));

  RunToTheEnd(*cal);
  ASSERT_EQ(model.State.Stage, 5) << model.lbCurrentMessage.Caption();
  EXPECT_TRUE(cal->findChild<QPushButton*>("btnOK")->isEnabled());
  EXPECT_NE(
      model.lbCurrentMessage.Caption().find("закончена на токе, который еще можно определить"),
      std::string::npos)
      << model.lbCurrentMessage.Caption();
  // No code beyond the one of the first reading at the dialog's limit in each upward sweep.
  int saturatedCode = -1;
  for (int k = 1; k <= model.Tables_.LoggedShots(); ++k) {
    const auto row = model.Tables_.ReadShotRow(k);
    ASSERT_TRUE(row.has_value());
    if (k == model.State.FirstInRange1 || k == model.State.FirstInRange) saturatedCode = -1;
    if (saturatedCode >= 0) {
      EXPECT_LE(row->Code, saturatedCode) << k;
    }
    if (row->Ia >= kvt::TfrmDefineCurrent::kMaxCurrent && saturatedCode < 0)
      saturatedCode = row->Code;
  }
  // The newest shot is in view and selected.
  auto* log = cal->findChild<QTableWidget*>("ShotsTable");
  const int newest = model.Tables_.LoggedShots();
  ASSERT_GT(newest, 8);
  const QRect r = log->visualItemRect(log->item(newest, 0));
  EXPECT_TRUE(log->viewport()->rect().contains(r.center()));
  EXPECT_EQ(log->currentRow(), newest);
  EXPECT_TRUE(guitest::SaveShot(cal, "frmCalibrationK3-saturated"));

  // The PDF button's longer line fits it.
  ClickTab(CalPages(cal), kvt::TfrmCalibration::pgTables);
  auto* pdf = cal->findChild<QPushButton*>("btnSavePdf");
  for (const QString& line : pdf->text().split('\n'))
    EXPECT_LE(pdf->fontMetrics().horizontalAdvance(line) + 12, pdf->width()) << line.toStdString();
  EXPECT_TRUE(guitest::SaveShot(cal, "frmCalibrationK3-tables-saturated"));
  ui_.QueueNonInteractiveAnswer(platform::Answer::Yes);
  cal->close();
}

// The shipped simulator on K3, the channels adjusted first: the whole calibration through the
// window, every current read off its curve with the mouse, brings the table near the tube's truth.
TEST_F(CalViewK3, ShippedSimulatorCalibratedByReadingTheCurves) {
  const sim::Profile profile = InstallK3();
  kvt::ui::ProgramWindows windows;
  QPointer<CalibrationView> cal;
  ASSERT_NO_FATAL_FAILURE(OpenShown(windows, cal));
  auto& model = cal->Model();
  EXPECT_EQ(model.lbCurrentMessage.Caption().find("Внимание"), std::string::npos);
  RunToTheEnd(*cal);
  ASSERT_EQ(model.State.Stage, 5) << model.lbCurrentMessage.Caption();
  const CodeError factory = TableError(model.SourceCTable, profile);
  const CodeError calibrated = TableError(model.NewCTable, profile);
  std::printf(
      "K3 shipped simulator, code error against sim-truth, mean / worst: factory %.2f / %d, "
      "calibrated (%d shots) %.2f / %d\n",
      factory.mean, factory.worst, model.State.ShotCount.load(), calibrated.mean, calibrated.worst);
  EXPECT_LE(calibrated.mean, factory.mean / 3);
  EXPECT_LE(calibrated.worst, factory.worst);
  EXPECT_TRUE(guitest::SaveShot(cal, "frmCalibrationK3-shipped-done"));
  ui_.QueueNonInteractiveAnswer(platform::Answer::Yes);
  cal->close();
}

}  // namespace
