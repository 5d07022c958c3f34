#pragma once
// The whole program's windows on the simulator in instant timing: a scratch program directory
// with the shipped vesmar.ini, the Qt interface installed without blocking dialogs, and the
// program-wide state put back afterwards.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "app/ui/ManagerView.h"
#include "app/ui/Program.h"
#include "gui/support/Pump.h"
#include "link/SystemStatus.h"
#include "platform/Paths.h"
#include "platform/qt/QtUi.h"
#include "sim/Apparatus.h"
#include "sim/Install.h"
#include "support/TempDir.h"

namespace guitest {

class ProgramOnSimulatorFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp_.isValid());
    std::filesystem::copy_file(std::filesystem::path(KVT_DATA_DIR) / "vesmar.ini",
                               dir_ / "vesmar.ini");
    std::ofstream(dir_ / "simulator.ini") << "[Simulator]\nType=K2\nVersion=23\nTiming=instant\n";
    sim::InstallSimulator(dir_);
    ui_.SetNonInteractive(true);
    previousUi_ = platform::InstalledUi();
    platform::SetUi(&ui_);
    kvt::SystemStatus().Clear();
    // Clear keeps the modified flag; one left by an earlier test would make this test's closing
    // ask whether to save, with no one there to answer.
    kvt::SystemStatus().ImageModified = false;
  }
  void TearDown() override {
    platform::SetUi(previousUi_);
    kvt::SystemStatus().Clear();
  }

  // Clicks "Установка связи с системой" as the engineer does and waits until the main window
  // offers to switch the apparatus on.
  void Connect(kvt::ui::ProgramWindows& windows) {
    windows.Manager().MonitorPriority = platform::ThreadPriority::Normal;
    auto& view = windows.MainView();
    Click(view.ButtonWidget(kvt::ManagerButton::btnAdjustConnection));
    ASSERT_TRUE(PumpUntil(
        [&] { return view.ButtonWidget(kvt::ManagerButton::btnPowerOn)->isEnabled(); }, 10000));
  }

  // Connects at once through the main window's button and puts the apparatus into standby
  // heating, where the adjustment windows start.
  static void ConnectInStandby(kvt::ui::ProgramWindows& windows) {
    windows.MainView().ButtonWidget(kvt::ManagerButton::btnAdjustConnection)->click();
    ASSERT_TRUE(kvt::SystemStatus().LinkUp);
    sim::CurrentApparatus()->SetState(8);
  }

  QTemporaryDir tmp_;
  std::filesystem::path dir_{tmp_.path().toStdString()};

 private:
  testsupport::ScopedProgramDir programDir_{dir_};

 protected:
  platform::QtUi ui_;
  platform::Ui* previousUi_ = nullptr;
};

}  // namespace guitest
