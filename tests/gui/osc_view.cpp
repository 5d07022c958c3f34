// The oscillogram window offscreen: the last shot's curves in both charts, the effective values,
// a save through the button; and the main window's button opening a new window per press, all of
// them closed with the main window. PNGs go to gui-shots/.

#include <gtest/gtest.h>

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QValueAxis>
#include <QXYSeries>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "app/ui/Program.h"
#include "exposure/Snapshot.h"
#include "link/SystemLink.h"
#include "link/SystemStatus.h"
#include "platform/LinkLock.h"
#include "platform/Paths.h"
#include "platform/ScriptedUi.h"
#include "platform/qt/QtUi.h"
#include "sim/Apparatus.h"
#include "sim/Install.h"
#include "support/ProgramFixture.h"
#include "support/ScopedUi.h"
#include "support/Shots.h"
#include "support/SimulatorLine.h"
#include "tools/ui/OscillogramsView.h"

namespace {

namespace fs = std::filesystem;
using kvt::ToolWindow;
using kvt::ui::OscillogramsView;

class OscView : public ::testing::Test {
 protected:
  OscView() {
    auto& apparatus = testsupport::AttachSimulator({});
    apparatus.SetState(8);
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    kvt::TSnapshot shot(true);
    shotOk_ = shot.MakeShot(100, 120, 20);
  }
  ~OscView() override { kvt::CloseSharedPort(); }

  QTemporaryDir tmp_;
  fs::path dir_{tmp_.path().toStdString()};
  testsupport::ScopedUi scopedUi_;
  platform::ScriptedUi& ui_ = *scopedUi_;
  bool shotOk_ = false;
};

int PointsOf(QChartView* view) {
  const auto series = view->chart()->series();
  if (series.isEmpty()) return -1;
  auto* xy = qobject_cast<QXYSeries*>(series.first());
  return xy ? int(xy->count()) : -1;
}

// Labels at round steps: 1, 2, 2.5 or 5 times a power of ten, from a multiple of the step.
bool RoundLabels(const QValueAxis* a) {
  double step = 0, first = a->min();
  if (a->tickType() == QValueAxis::TicksDynamic) {
    step = a->tickInterval();
    first = a->tickAnchor();
  } else if (a->tickCount() > 1) {
    step = (a->max() - a->min()) / (a->tickCount() - 1);
  }
  if (step <= 0) return false;
  const double f = step / std::pow(10.0, std::floor(std::log10(step)));
  bool nice = false;
  for (double c : {1.0, 2.0, 2.5, 5.0, 10.0}) nice = nice || std::abs(f - c) < 1e-6;
  const double k = first / step;
  return nice && std::abs(k - std::round(k)) < 1e-6;
}

TEST_F(OscView, ShowsTheLastShotAndSavesIt) {
  ASSERT_TRUE(shotOk_);
  auto model = std::make_unique<kvt::TfrmOscillograms>(nullptr, [this] { return dir_.string(); });
  // The view frees itself when closed; the pointer tells when.
  QPointer<OscillogramsView> view = new OscillogramsView(std::move(model));
  view->show();
  view->PlaceAtTopLeft();
  view->Model().FormCreate();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
  EXPECT_EQ(view->windowTitle(), QString::fromUtf8("Осциллограммы последнего снимка"));
  EXPECT_EQ(view->pos(), QApplication::primaryScreen()->geometry().topLeft());
  EXPECT_TRUE(view->testAttribute(Qt::WA_DeleteOnClose));

  QApplication::processEvents();
  const int n = int(view->Model().VoltageSeries().Count());
  ASSERT_GT(n, 10);
  auto* voltage = view->findChild<QChartView*>("chartVoltage");
  auto* current = view->findChild<QChartView*>("chartCurrent");
  ASSERT_TRUE(voltage && current);
  EXPECT_EQ(PointsOf(voltage), n);
  EXPECT_EQ(PointsOf(current), n);
  auto* gb1 = view->findChild<QGroupBox*>("GroupBox1");
  ASSERT_NE(gb1, nullptr);
  EXPECT_EQ(gb1->title(), QString::fromUtf8(" Напряжение "));
  auto* label3 = view->findChild<QLabel*>("Label3");
  ASSERT_NE(label3, nullptr);
  EXPECT_EQ(label3->text().toStdString(), view->Model().Label3.Caption());
  EXPECT_NEAR(label3->text().toInt(), 100, 2);
  // Both charts: units on the axes and round labels.
  const char* units[] = {"кВ", "мА"};
  int i = 0;
  for (QChartView* chart : {voltage, current}) {
    auto* y = qobject_cast<QValueAxis*>(chart->chart()->axes(Qt::Vertical).value(0));
    auto* x = qobject_cast<QValueAxis*>(chart->chart()->axes(Qt::Horizontal).value(0));
    ASSERT_TRUE(x && y);
    EXPECT_EQ(y->titleText(), QString::fromUtf8(units[i++]));
    EXPECT_EQ(x->titleText(), QString::fromUtf8("мс"));
    EXPECT_TRUE(RoundLabels(y)) << y->min() << ".." << y->max() << " / " << y->tickCount();
    EXPECT_TRUE(RoundLabels(x)) << x->min() << ".." << x->max() << " / " << x->tickCount();
  }
  EXPECT_TRUE(guitest::SaveShot(view, "frmOscillograms"));

  // "Сохранить" reaches the model: the file is written under the chosen name with ".osc".
  ui_.QueueFileDialog({true, (dir_ / "last.dat").string(), 1});
  auto* save = view->findChild<QPushButton*>("btnSave");
  ASSERT_NE(save, nullptr);
  EXPECT_EQ(save->text(), QString::fromUtf8("Сохранить"));
  QTest::mouseClick(save, Qt::LeftButton);
  EXPECT_EQ(fs::file_size(dir_ / "last.osc"), std::uintmax_t(n) * 32);

  view->close();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(view.isNull());
}

class OscFromMainWindow : public guitest::ProgramOnSimulatorFixture {};

TEST_F(OscFromMainWindow, EachPressOpensAWindowAndClosingTheMainWindowClosesThemAll) {
  kvt::ui::ProgramWindows windows;
  kvt::TfrmManager& m = windows.Manager();
  ASSERT_TRUE(OscillogramsView::OpenViews().isEmpty());
  // Not connected: the reading finds no apparatus and says so (on stderr here); the windows open.
  m.btnShowOscilogramsClick();
  m.btnShowOscilogramsClick();
  const auto views = OscillogramsView::OpenViews();
  ASSERT_EQ(views.size(), 2);
  EXPECT_NE(views[0], views[1]);
  EXPECT_TRUE(views[0]->isVisible());
  EXPECT_FALSE(views[0]->isModal());
  EXPECT_TRUE(m.ToolWindowOpen(ToolWindow::Oscillograms));
  EXPECT_TRUE(guitest::SaveShot(views[1], "frmOscillograms-no-connection"));

  // Closing one by hand frees it; the other keeps the flag.
  QPointer<OscillogramsView> first = views[0];
  first->close();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(first.isNull());
  EXPECT_EQ(OscillogramsView::OpenViews().size(), 1);
  EXPECT_TRUE(m.ToolWindowOpen(ToolWindow::Oscillograms));

  // The main window's close takes the rest with it.
  windows.MainView().close();
  EXPECT_TRUE(OscillogramsView::OpenViews().isEmpty());
  EXPECT_FALSE(m.ToolWindowOpen(ToolWindow::Oscillograms));
}

}  // namespace
