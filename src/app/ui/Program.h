#pragma once
// The program's windows as start-up creates them: the main window (shown), then every window's
// installer, which hooks its window to the main window's buttons or keeps a program-wide window.
// The desktop program and the GUI tests both start from here.
// Expects the QApplication, the installed Qt Ui and the program directory to exist.

#include <QWidget>
#include <memory>
#include <vector>

#include "app/Manager.h"
#include "app/ui/ManagerView.h"

namespace kvt::ui {

class ProgramWindows {
 public:
  ProgramWindows();
  ~ProgramWindows();
  ProgramWindows(const ProgramWindows&) = delete;
  ProgramWindows& operator=(const ProgramWindows&) = delete;

  TfrmManager& Manager() { return *manager_; }
  ManagerView& MainView() { return *view_; }
  // The trainer's simulator window; null unless a port maps to the simulator.
  QWidget* SimulatorWindow() const { return HiddenWindow("frmSimulator"); }
  // The program-wide windows the installers keep, by object name ("frmSelectDir", "frmOptions",
  // "frmDigitalOscill", "frmDefineCurrent"); null for any other name.
  QWidget* HiddenWindow(const char* objectName) const;

 private:
  std::unique_ptr<TfrmManager> manager_;
  std::unique_ptr<ManagerView> view_;
  std::vector<std::unique_ptr<QWidget>> kept_;
};

}  // namespace kvt::ui
