// The options window and its folder chooser live in the image layer, below the main window, so
// their installer lives here.

#include <QPointer>

#include "app/ui/ToolRegistry.h"
#include "image/ui/OptionsView.h"

namespace kvt::ui {

static ToolInstaller installOptions([](MainWindowParts& parts) {
  auto& selectDir = parts.Keep(std::make_unique<SelectDirView>());
  auto& options = parts.Keep(std::make_unique<OptionsView>(selectDir.Model()));
  InstallOptionsViews(options, selectDir);
  TfrmManager& manager = parts.Manager();
  options.Model().SetImageDir = [&manager](const std::string& dir) { manager.ImageDir = dir; };
  manager.SetLauncher(ManagerTool::Options,
                      [view = QPointer<OptionsView>(&options)](TfrmManager&, const std::string&) {
                        if (view) view->Model().ShowModal();
                      });
});

}  // namespace kvt::ui
