#include "calibration/ui/CalibrationK3View.h"

#include "app/Manager.h"
#include "app/ui/ToolRegistry.h"

namespace kvt::ui {

CalibrationK3View::CalibrationK3View(std::unique_ptr<TfrmCalibrationK3> model, QWidget* parent)
    : CalibrationView(std::move(model), parent) {}

void OpenCalibrationK3Window(TfrmManager& manager) {
  CalibrationView::Open([&] {
    return new CalibrationK3View(
        std::make_unique<TfrmCalibrationK3>(&manager, TfrmCalibration::LaunchOptions()));
  });
}

static ToolInstaller installCalibrationK3([](TfrmManager& manager) {
  manager.SetLauncher(ManagerTool::CalibrationK3,
                      [](TfrmManager& m, const std::string&) { OpenCalibrationK3Window(m); });
  // Both variants share the calibration flag; closing closes whichever is open.
  manager.SetCloser(ToolWindow::Calibration, [] { CalibrationView::CloseAll(); });
});

}  // namespace kvt::ui
