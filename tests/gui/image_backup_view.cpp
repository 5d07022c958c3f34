// A read whose backup cannot be written, as the engineer sees it: the image is read and the
// main window's state field says that no backup was kept.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <functional>

#include "app/ui/Program.h"
#include "image/ImageBackup.h"
#include "link/SystemStatus.h"
#include "support/ProgramFixture.h"
#include "support/Pump.h"
#include "support/Shots.h"

namespace {

using guitest::Click;
using guitest::PumpUntil;

using kvt::ManagerButton;

class BackupView : public guitest::ProgramOnSimulatorFixture {};

TEST_F(BackupView, ReadWithoutABackupFolderSaysSoInTheStateField) {
  std::filesystem::create_directories(dir_ / "Memory" / "BIN");
  std::ofstream(dir_ / "Memory" / "BIN" / "backup") << "a file where the folder should be";
  kvt::ui::ProgramWindows windows;
  auto& view = windows.MainView();
  auto& m = windows.Manager();
  int terminals = 0;
  m.SetLauncher(kvt::ManagerTool::Terminal,
                [&](kvt::TfrmManager&, const std::string&) { ++terminals; });
  Click(view.ButtonWidget(ManagerButton::btnAdjustConnection));
  ASSERT_TRUE(
      PumpUntil([&] { return view.ButtonWidget(ManagerButton::btnPowerOn)->isEnabled(); }, 10000));

  Click(view.ButtonWidget(ManagerButton::btnReadConfig));
  EXPECT_TRUE(kvt::SystemStatus().ImageLoaded);
  EXPECT_EQ(terminals, 1);
  // Still there after several polls of the state monitor.
  PumpUntil([] { return false; }, 1500);
  EXPECT_EQ(view.StateMonitorWidget()->text().toStdString(), kvt::kStateReadNoBackup);
  EXPECT_TRUE(guitest::SaveShot(&view, "frmManager-no-backup"));
}

}  // namespace
