// Every enabled button of the main window that stands for a window, pressed with the mouse on a
// connected simulator (K2, K3 and K4): it opens its own window (its open flag is up). A tool
// without a window would tell the engineer so and send the apparatus nothing but questions; as
// every window now exists, a missing launcher fails, as does a button that commands the
// apparatus and then opens nothing, or that does nothing at all.

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <optional>

#include "app/Manager.h"
#include "app/ui/ManagerView.h"
#include "app/ui/Program.h"
#include "sim/Apparatus.h"
#include "sim/Install.h"
#include "sim/Profile.h"
#include "support/ProgramFixture.h"

namespace {

using kvt::ManagerButton;
using kvt::ManagerTool;
using kvt::ToolWindow;

// The buttons whose purpose is a window; the others command the apparatus or a file themselves.
const ManagerButton kWindowButtons[] = {
    ManagerButton::btnOptions,
    ManagerButton::btnTools,
    ManagerButton::btnAdjustRotation,
    ManagerButton::btnHeatCheck,
    ManagerButton::btnAdjustMeasuresChannels,
    ManagerButton::bntTubeCalibration,
    ManagerButton::btnDoCheckShots,
    ManagerButton::btnShowOscilograms,
    ManagerButton::btnOpenControlPanel,
};

// The tool behind a window button on a system of the given type.
ManagerTool ToolOf(ManagerButton b, const std::string& type) {
  switch (b) {
    case ManagerButton::btnOptions:
      return ManagerTool::Options;
    case ManagerButton::btnTools:
      return ManagerTool::Terminal;
    case ManagerButton::btnAdjustRotation:
      return ManagerTool::Rotation;
    case ManagerButton::btnHeatCheck:
      return ManagerTool::HeatCheck;
    case ManagerButton::btnAdjustMeasuresChannels:
      return type == "K4" ? ManagerTool::MeasureChannelsK4 : ManagerTool::MeasureChannels;
    case ManagerButton::bntTubeCalibration:
      return type == "K2" ? ManagerTool::Calibration : ManagerTool::CalibrationK3;
    case ManagerButton::btnDoCheckShots:
      return ManagerTool::CheckShots;
    case ManagerButton::btnShowOscilograms:
      return ManagerTool::Oscillograms;
    default:
      return ManagerTool::ControlPanel;
  }
}

// The open flag a tool's window raises while it stays open (none: modal, or not known here).
std::optional<ToolWindow> FlagOf(ManagerTool t) {
  switch (t) {
    case ManagerTool::Rotation:
      return ToolWindow::Rotation;
    case ManagerTool::HeatCheck:
      return ToolWindow::HeatCheck;
    case ManagerTool::MeasureChannels:
      return ToolWindow::MeasureChannels;
    case ManagerTool::MeasureChannelsK4:
      return ToolWindow::MeasureChannelsK4;
    case ManagerTool::Calibration:
    case ManagerTool::CalibrationK3:
      return ToolWindow::Calibration;
    case ManagerTool::CheckShots:
      return ToolWindow::CheckShots;
    case ManagerTool::Oscillograms:
      return ToolWindow::Oscillograms;
    case ManagerTool::ControlPanel:
      return ToolWindow::ControlPanel;
    default:
      return std::nullopt;
  }
}

// Frames that only ask the apparatus something: module selection, the state poll, type and
// version, memory reads, variables and counters.
bool OnlyAsks(const sim::ReceivedFrame& f) {
  if (f.IsAddress()) return true;
  const auto& b = f.bytes;
  if (b.size() == 1 && b[0] == 0x00) return true;
  if (b.size() < 2) return false;
  const std::uint8_t command = b[1];
  return command == 0x2E || command == 0x2F || command == 0x23 || command == 0x20 ||
         command == 0x21 || command == 0x27;
}

QSet<QWidget*> VisibleWindows() {
  QSet<QWidget*> shown;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible()) shown.insert(w);
  return shown;
}

class EveryButton : public guitest::ProgramOnSimulatorFixture {
 protected:
  // The apparatus of the given type, connected through the main window's button with its
  // configuration read, the monitor stopped so the status below stays as set.
  void Connect(kvt::ui::ProgramWindows& windows, const char* type) {
    std::ofstream(dir_ / "simulator.ini")
        << "[Simulator]\nType=" << type << "\nVersion=23\nTiming=instant\n";
    sim::InstallForTest(sim::LoadProfile(dir_ / "simulator.ini"));
    Press(windows, ManagerButton::btnAdjustConnection);
    ASSERT_TRUE(kvt::SystemStatus().LinkUp);
    ASSERT_EQ(kvt::SystemStatus().SystemType(), type);
    windows.Manager().StopMonitor();
    SetStatus(windows, true);
    Press(windows, ManagerButton::btnReadConfig);
    ASSERT_TRUE(kvt::SystemStatus().ImageLoaded);
  }
  // Every flag up, the system switched on or off, so every button its state allows is enabled.
  static void SetStatus(kvt::ui::ProgramWindows& windows, bool systemOn) {
    auto& s = kvt::SystemStatus();
    s.SystemOn = systemOn;
    s.Preheated = s.ChecksumsOk = s.TypeKnown = true;
    for (auto& p : s.PagePresent) p = true;
    windows.Manager().RefreshButtons();
  }
  // Clicks the button; modal windows it opens are closed as they come. Returns how many came.
  static int Press(kvt::ui::ProgramWindows& windows, ManagerButton b) {
    QPushButton* button = windows.MainView().ButtonWidget(b);
    EXPECT_TRUE(button->isVisible());
    int modals = 0;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
      if (QWidget* modal = QApplication::activeModalWidget()) {
        ++modals;
        modal->close();
      }
    });
    closer.start(20);
    QTest::mouseClick(button, Qt::LeftButton);
    QApplication::processEvents();
    return modals;
  }

  // Presses the button; the windows it opened and the frames it sent are checked, then its
  // windows are closed again.
  void Check(kvt::ui::ProgramWindows& windows, ManagerButton b, const char* type) {
    const QSet<QWidget*> before = VisibleWindows();
    const std::size_t messagesBefore = ui_.ShownMessages().size();
    sim::CurrentApparatus()->ClearFrameLog();
    // The engineer agrees to the technological power the K4 channels ask for.
    if (b == ManagerButton::btnAdjustMeasuresChannels && std::string(type) == "K4")
      ui_.QueueNonInteractiveAnswer(platform::Answer::Yes);
    const int modals = Press(windows, b);

    const bool opened = modals > 0 || !(VisibleWindows() - before).isEmpty();
    std::vector<std::string> commands;
    for (const auto& f : sim::CurrentApparatus()->FrameLog()) {
      if (OnlyAsks(f)) continue;
      std::string hex;
      for (std::uint8_t x : f.bytes) hex += QString::asprintf("%02X ", x).toStdString();
      commands.push_back(hex);
    }
    const auto messages = ui_.ShownMessages();
    kvt::TfrmManager& manager = windows.Manager();
    const std::string name = manager.ButtonOf(b).Name() + " on " + type;
    const ManagerTool tool = ToolOf(b, type);
    if (manager.HasLauncher(tool)) {
      EXPECT_TRUE(opened) << name << " opened nothing";
      if (auto flag = FlagOf(tool)) {
        EXPECT_TRUE(manager.ToolWindowOpen(*flag)) << name << " opened another window";
      }
    } else {
      EXPECT_FALSE(opened) << name << " opened a window it does not have";
      if (!commands.empty())
        ADD_FAILURE() << name << " sent " << commands.front() << "and opened nothing";
      EXPECT_GT(messages.size(), messagesBefore) << name << " did nothing and said nothing";
    }
    manager.CloseToolWindows();
    for (QWidget* w : VisibleWindows() - before) w->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  void PressEveryWindowButton(const char* type) {
    kvt::ui::ProgramWindows windows;
    // Every window the main window opens is part of the program.
    for (int t = 0; t <= int(ManagerTool::ControlPanel); ++t)
      EXPECT_TRUE(windows.Manager().HasLauncher(ManagerTool(t))) << "no window for tool " << t;
    Connect(windows, type);
    int pressed = 0;
    for (bool systemOn : {true, false}) {
      SetStatus(windows, systemOn);
      for (ManagerButton b : kWindowButtons) {
        if (!windows.MainView().ButtonWidget(b)->isEnabled()) continue;
        Check(windows, b, type);
        ++pressed;
        SetStatus(windows, systemOn);
      }
    }
    EXPECT_GE(pressed, int(std::size(kWindowButtons)));
  }
};

TEST_F(EveryButton, WindowButtonsOpenTheirWindowOrSayTheToolIsMissing) {
  PressEveryWindowButton("K2");
  PressEveryWindowButton("K3");
  PressEveryWindowButton("K4");
}

}  // namespace
