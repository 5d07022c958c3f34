#pragma once
// The one way a window joins the program: its view file registers a static installer, which the
// program (app/ui/Program.cpp) runs once the main window and its view exist, e.g.
//
//   static kvt::ui::ToolInstaller install([](kvt::TfrmManager& m) {
//     m.SetLauncher(kvt::ManagerTool::Rotation, [](kvt::TfrmManager& m, const std::string&) {...});
//     m.SetCloser(kvt::ToolWindow::Rotation, [] {...});
//   });
//
// The launcher opens the window when its button is pressed, the closer destroys every open window
// of the kind when the main window closes them, and the window's model keeps the open flag
// MainHost::ToolWindowOpen(kind) with a ToolWindowMark member (app/ToolWindow.h). An installer that
// needs the main window's view (to own its window) or keeps a window for the whole run takes
// MainWindowParts.
//
// The Qt views are linked as object files, so such installers are always part of the program.

#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "app/Manager.h"

namespace kvt::ui {

class ManagerView;

// The main window as an installer meets it.
class MainWindowParts {
 public:
  MainWindowParts(TfrmManager& manager, ManagerView& view,
                  std::vector<std::unique_ptr<QWidget>>& kept)
      : manager_(manager), view_(view), kept_(kept) {}

  TfrmManager& Manager() const { return manager_; }
  ManagerView& View() const { return view_; }
  // The main window's view as the owner of the windows the main window owns.
  QWidget* Owner() const;
  // Keeps a program-wide window (shown and hidden by its model) until the program ends.
  template <class Window>
  Window& Keep(std::unique_ptr<Window> window) {
    Window& w = *window;
    kept_.push_back(std::move(window));
    return w;
  }

 private:
  TfrmManager& manager_;
  ManagerView& view_;
  std::vector<std::unique_ptr<QWidget>>& kept_;
};

struct ToolInstaller {
  explicit ToolInstaller(std::function<void(TfrmManager&)> install);
  explicit ToolInstaller(std::function<void(MainWindowParts&)> install);
};

// Runs every installer (in the order they were registered).
void InstallTools(MainWindowParts& parts);

}  // namespace kvt::ui
