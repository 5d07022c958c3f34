#pragma once
// The Qt view of the trainer's simulator window (sim::TfrmSimulator).

#include <QWidget>
#include <memory>

#include "sim/SimulatorWindow.h"

class QShortcut;

namespace kvt::ui {

class SimulatorView : public QWidget {
  Q_OBJECT
 public:
  explicit SimulatorView(std::unique_ptr<sim::TfrmSimulator> model, QWidget* parent = nullptr);
  ~SimulatorView() override;
  sim::TfrmSimulator& Model() { return *model_; }

 private:
  std::unique_ptr<sim::TfrmSimulator> model_;
};

// The simulator window of a program whose vesmar.ini maps a port to the simulator: shown beside
// the main window, and a shortcut of the main window (sim::kSimulatorShortcut) shows it again
// after it was closed. Null (and no shortcut) when no port maps to the simulator.
std::unique_ptr<SimulatorView> MakeSimulatorWindow(QWidget& mainWindow);

}  // namespace kvt::ui
