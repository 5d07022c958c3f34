// The rotation drive and heating check windows offscreen, opened by the main window on a
// connected K2 simulator and worked as an engineer works them: the measuring cycle started by a
// click, the coasting timed with Enter on the focused button, the heat steps by click, Enter and
// a typed code. PNGs go to gui-shots/.

#include <gtest/gtest.h>

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTest>
#include <QXYSeries>

#include "app/Manager.h"
#include "app/ui/ManagerView.h"
#include "app/ui/Program.h"
#include "procedures/ui/ArdView.h"
#include "procedures/ui/CheckHeatView.h"
#include "sim/Apparatus.h"
#include "support/ProgramFixture.h"
#include "support/Shots.h"

namespace {

using guitest::Activate;
using guitest::Focused;
using guitest::PressEnter;
using kvt::ManagerButton;
using kvt::ToolWindow;
using kvt::ui::ArdView;
using kvt::ui::CheckHeatView;

class RotationHeatViews : public guitest::ProgramOnSimulatorFixture {};

TEST_F(RotationHeatViews, RotationDriveMeasuredAndTimed) {
  kvt::TfrmARD::TimePresses() = 0;
  kvt::ui::ProgramWindows windows;
  ConnectInStandby(windows);
  kvt::TfrmManager& m = windows.Manager();
  m.btnAdjustRotationClick();
  QPointer<ArdView> view = ArdView::Open();
  ASSERT_FALSE(view.isNull());
  EXPECT_TRUE(m.ToolWindowOpen(ToolWindow::Rotation));
  EXPECT_EQ(view->windowTitle(), QString::fromUtf8("Настройка драйвера вращения анода."));
  Activate(view);
  kvt::TfrmARD& model = view->Model();
  EXPECT_EQ(view->findChild<QSpinBox*>("udTDmax")->value(), 85);

  QTest::mouseClick(view->findChild<QPushButton*>("Button4"), Qt::LeftButton);
  auto* mdMin = view->findChild<QLineEdit*>("edMDmin");
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return !model.RotationTimer1.Enabled() && mdMin->text() != "0"; }, 20000));
  EXPECT_EQ(model.lbCurrentMessage.Caption(), kvt::TfrmARD::kProposed);
  EXPECT_EQ(view->findChild<QSpinBox*>("udTDmin")->value(), mdMin->text().toInt() - 10);
  EXPECT_TRUE(guitest::SaveShot(view, "frmARD-currents"));

  // The messages lead on by the focus: accept the currents, then time the coasting with Enter.
  ASSERT_EQ(Focused(), "Button6");
  PressEnter();
  ASSERT_EQ(Focused(), "Button7");
  PressEnter();
  EXPECT_EQ(model.lbCurrentMessage.Caption(), kvt::TfrmARD::kTimeHint);
  const std::uint8_t stored = sim::CurrentApparatus()->ReadMemory(0x21, 1)[0];
  PressEnter();  // runs the anode up and brakes it (the window is busy for seconds)
  EXPECT_TRUE(view->findChild<QSpinBox*>("udBrTime")->isVisible());
  // The braking lamp is lit while the drive brakes on; the trainer sees the anode coast.
  EXPECT_EQ(model.imgBrakingMode.Resource(), "RedLamp");
  QWidget* trainer = windows.SimulatorWindow();
  ASSERT_NE(trainer, nullptr);
  auto* anode = trainer->findChild<QLabel*>("lbAnode");
  // The speed falls while the engineer listens.
  auto speed = [&] {
    const auto m = QRegularExpression("(\\d+) % оборотов").match(anode->text());
    return m.hasMatch() ? m.captured(1).toInt() : -1;
  };
  ASSERT_TRUE(QTest::qWaitFor([&] { return speed() > 0 && speed() < 80; }, 4000))
      << anode->text().toStdString();
  EXPECT_TRUE(guitest::SaveShot(trainer, "frmSimulator-coasting"));
  QTest::qWait(400);
  PressEnter();  // the anode stands
  EXPECT_EQ(model.lbCurrentMessage.Caption(),
            std::string(kvt::TfrmARD::kTimeFound) + kvt::TfrmARD::kTimeNotYetStored);
  const int tenths = view->findChild<QSpinBox*>("udBrTime")->value();
  EXPECT_GE(tenths, 4);
  EXPECT_EQ(sim::CurrentApparatus()->ReadMemory(0x21, 1)[0], stored) << "not before the accept";
  ASSERT_EQ(Focused(), "Button5");
  PressEnter();
  EXPECT_EQ(sim::CurrentApparatus()->ReadMemory(0x21, 1)[0], tenths);
  ASSERT_EQ(Focused(), "Button8");
  PressEnter();
  EXPECT_EQ(model.lbCurrentMessage.Caption(), kvt::TfrmARD::kTestDone);
  EXPECT_TRUE(guitest::SaveShot(view, "frmARD"));

  QTest::mouseClick(view->findChild<QPushButton*>("Button1"), Qt::LeftButton);
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(view.isNull());
  EXPECT_FALSE(m.ToolWindowOpen(ToolWindow::Rotation));
}

TEST_F(RotationHeatViews, HeatingStepsPlottedAndTheMarkerPutBack) {
  kvt::ui::ProgramWindows windows;
  ConnectInStandby(windows);
  kvt::TfrmManager& m = windows.Manager();
  m.btnHeatCheckClick();
  ASSERT_EQ(CheckHeatView::OpenViews().size(), 1);
  QPointer<CheckHeatView> view = CheckHeatView::OpenViews()[0];
  EXPECT_EQ(view->windowTitle(), QString::fromUtf8("Проверка работы систкемы накала"));
  Activate(view);
  EXPECT_EQ(sim::CurrentApparatus()->ReadMemory(0x135, 1)[0], 0);

  QTest::mouseClick(view->findChild<QPushButton*>("Button2"), Qt::LeftButton);
  ASSERT_EQ(Focused(), "Button3");
  PressEnter();  // 50 %
  ASSERT_EQ(Focused(), "Button4");
  auto* code = view->findChild<QSpinBox*>("udHeatCode");
  QTest::mouseClick(code, Qt::LeftButton);
  code->setFocus();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(QApplication::focusWidget(), "767");
  PressEnter();
  EXPECT_EQ(view->Model().lbCurrentInfo.Caption(), "\nВключено 75% накала.");

  // The measured points (the origin, 25, 50, 75) and the ideal line are on the plot.
  auto* chart = view->findChild<QChartView*>("Chart1");
  ASSERT_NE(chart, nullptr);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        for (auto* s : chart->chart()->series())
          if (auto* xy = qobject_cast<QXYSeries*>(s); xy && xy->count() == 4) return true;
        return false;
      },
      5000));
  QTest::qWait(700);  // a refresh or two of the live point
  EXPECT_LE(view->Model().Deviation(), 1);
  EXPECT_TRUE(guitest::SaveShot(view, "frmCheckHeat"));

  QTest::mouseClick(view->findChild<QPushButton*>("Button6"), Qt::LeftButton);
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(view.isNull());
  EXPECT_FALSE(m.ToolWindowOpen(ToolWindow::HeatCheck));
  EXPECT_EQ(sim::CurrentApparatus()->ReadMemory(0x135, 1)[0], 244);
}

TEST_F(RotationHeatViews, NoOtherStepWhileTheCurrentsAreMeasured) {
  kvt::TfrmARD::TimePresses() = 0;
  kvt::ui::ProgramWindows windows;
  ConnectInStandby(windows);
  windows.Manager().btnAdjustRotationClick();
  QPointer<ArdView> view = ArdView::Open();
  ASSERT_FALSE(view.isNull());
  Activate(view);
  auto* test = view->findChild<QPushButton*>("Button8");
  auto* time = view->findChild<QPushButton*>("Button7");
  QTest::mouseClick(view->findChild<QPushButton*>("Button4"), Qt::LeftButton);
  ASSERT_TRUE(view->Model().RotationTimer1.Enabled());
  EXPECT_FALSE(test->isEnabled());
  EXPECT_FALSE(time->isEnabled());
  sim::CurrentApparatus()->ClearFrameLog();
  QTest::mouseClick(test, Qt::LeftButton);
  QTest::mouseClick(time, Qt::LeftButton);
  for (const auto& f : sim::CurrentApparatus()->FrameLog())
    EXPECT_FALSE(f.bytes.size() == 2 && f.bytes[0] == 0x01 && f.bytes[1] == 0x41)
        << "a driver test ran into the measurement";
  EXPECT_EQ(kvt::TfrmARD::TimePresses(), 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !view->Model().RotationTimer1.Enabled(); }, 20000));
  EXPECT_TRUE(test->isEnabled());
  EXPECT_TRUE(time->isEnabled());
  QTest::mouseClick(view->findChild<QPushButton*>("Button1"), Qt::LeftButton);
}

TEST_F(RotationHeatViews, HeatingClosedAtFullLeavesTheStandbyHeating) {
  kvt::ui::ProgramWindows windows;
  ConnectInStandby(windows);
  const double standby = sim::CurrentApparatus()->StatusNow().filamentPercent;
  ASSERT_GT(standby, 40);
  windows.Manager().btnHeatCheckClick();
  QPointer<CheckHeatView> view = CheckHeatView::OpenViews()[0];
  Activate(view);
  QTest::mouseClick(view->findChild<QPushButton*>("Button5"), Qt::LeftButton);
  EXPECT_GT(sim::CurrentApparatus()->StatusNow().filamentPercent, 90);
  QTest::mouseClick(view->findChild<QPushButton*>("Button6"), Qt::LeftButton);
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(view.isNull());
  EXPECT_EQ(sim::CurrentApparatus()->StatusNow().filamentPercent, standby);
  EXPECT_EQ(sim::CurrentApparatus()->State(), 8);
}

}  // namespace
