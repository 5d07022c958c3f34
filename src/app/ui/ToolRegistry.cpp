#include "app/ui/ToolRegistry.h"

#include "app/ui/ManagerView.h"

namespace kvt::ui {

namespace {
std::vector<std::function<void(MainWindowParts&)>>& Installers() {
  static std::vector<std::function<void(MainWindowParts&)>> installers;
  return installers;
}
}  // namespace

ToolInstaller::ToolInstaller(std::function<void(TfrmManager&)> install) {
  Installers().push_back(
      [install = std::move(install)](MainWindowParts& parts) { install(parts.Manager()); });
}

ToolInstaller::ToolInstaller(std::function<void(MainWindowParts&)> install) {
  Installers().push_back(std::move(install));
}

QWidget* MainWindowParts::Owner() const {
  return &view_;
}

void InstallTools(MainWindowParts& parts) {
  for (const auto& install : Installers()) install(parts);
}

}  // namespace kvt::ui
