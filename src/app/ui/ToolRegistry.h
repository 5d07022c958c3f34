#pragma once
// How the parts of the program hook their windows into the main window without editing it: a
// view file (or a workflow) adds a static installer, which the program runs on the main window
// model at start-up, e.g.
//
//   static kvt::ui::ToolInstaller install([](kvt::TfrmManager& m) {
//     m.SetLauncher(kvt::ManagerTool::Rotation, [](kvt::TfrmManager& m, const std::string&) {...});
//     m.SetCloser(kvt::ToolWindow::Rotation, [] {...});
//   });
//
// The Qt views are linked as object files, so such installers are always part of the program.

#include <functional>

#include "app/Manager.h"

namespace kvt::ui {

struct ToolInstaller {
  explicit ToolInstaller(std::function<void(TfrmManager&)> install);
};

// Runs every installer on the main window model (in the order they were registered).
void InstallTools(TfrmManager& manager);

}  // namespace kvt::ui
