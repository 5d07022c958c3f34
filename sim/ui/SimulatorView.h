#pragma once
// The Qt view of the trainer's simulator window (sim::TfrmSimulator).

#include "platform/qt/ViewParts.h"
#include "sim/SimulatorWindow.h"

namespace kvt::ui {

class SimulatorView : public platform::qt::ToolWindow<SimulatorView, sim::TfrmSimulator> {
  Q_OBJECT
 public:
  explicit SimulatorView(std::unique_ptr<sim::TfrmSimulator> model, QWidget* parent = nullptr);
};

// The simulator window of a program whose vesmar.ini maps a port to the simulator: shown beside
// the main window, and a shortcut of the main window (sim::kSimulatorShortcut) shows it again
// after it was closed. Null (and no shortcut) when no port maps to the simulator.
std::unique_ptr<SimulatorView> MakeSimulatorWindow(QWidget& mainWindow);

}  // namespace kvt::ui
