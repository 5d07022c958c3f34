#pragma once
// The calibration window in the whole program on the simulator: the window's launch options made
// quick (normal priority, short pauses) and put back afterwards, and the window opened as a person
// opens it.

#include <gtest/gtest.h>

#include <QPointer>
#include <QPushButton>
#include <QTest>

#include "app/ui/Program.h"
#include "calibration/Calibration.h"
#include "calibration/ui/CalibrationView.h"
#include "gui/support/ProgramFixture.h"
#include "gui/support/Pump.h"
#include "link/SystemStatus.h"
#include "sim/Apparatus.h"

namespace guitest {

class CalibrationOnSimulatorFixture : public ProgramOnSimulatorFixture {
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
    view.ButtonWidget(kvt::ManagerButton::btnAdjustConnection)->click();
    QPushButton* read = view.ButtonWidget(kvt::ManagerButton::btnReadConfig);
    ASSERT_TRUE(PumpUntil([&] { return read->isEnabled(); }, 20000));
    QTest::mouseClick(read, Qt::LeftButton);
    ASSERT_TRUE(kvt::SystemStatus().ImageLoaded);
    kvt::SystemStatus().ImageModified = false;
    sim::CurrentApparatus()->SetState(8);  // on, standby heating
    QPushButton* open = view.ButtonWidget(kvt::ManagerButton::bntTubeCalibration);
    ASSERT_TRUE(PumpUntil([&] { return open->isEnabled(); }, 10000));
    QTest::mouseClick(open, Qt::LeftButton);
  }
  // ConnectAndOpen, and the window that opened, shown on the screen.
  void OpenShown(kvt::ui::ProgramWindows& windows, QPointer<kvt::ui::CalibrationView>& cal) {
    ASSERT_NO_FATAL_FAILURE(ConnectAndOpen(windows));
    cal = kvt::ui::CalibrationView::Current();
    ASSERT_NE(cal, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(cal));
  }
  kvt::CalWindowOptions saved_;
};

}  // namespace guitest
