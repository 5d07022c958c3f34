#include "app/ui/ToolRegistry.h"

#include <vector>

namespace kvt::ui {

namespace {
std::vector<std::function<void(TfrmManager&)>>& Installers() {
  static std::vector<std::function<void(TfrmManager&)>> installers;
  return installers;
}
}  // namespace

ToolInstaller::ToolInstaller(std::function<void(TfrmManager&)> install) {
  Installers().push_back(std::move(install));
}

void InstallTools(TfrmManager& manager) {
  for (const auto& install : Installers()) install(manager);
}

}  // namespace kvt::ui
