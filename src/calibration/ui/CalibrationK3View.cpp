#include "calibration/ui/CalibrationK3View.h"

namespace kvt::ui {

CalibrationK3View::CalibrationK3View(std::unique_ptr<TfrmCalibrationK3> model, QWidget* parent)
    : CalibrationView(std::move(model), parent) {}

}  // namespace kvt::ui
