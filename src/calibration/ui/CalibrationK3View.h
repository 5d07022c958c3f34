#pragma once
// The Qt view of TfrmCalibrationK3: the calibration window of types K3 and K4, laid out as the
// type-K2 window without the resistance table and its charts (CalibrationView builds both).

#include <memory>

#include "calibration/ui/CalibrationView.h"

namespace kvt::ui {

class CalibrationK3View : public CalibrationView {
  Q_OBJECT
 public:
  explicit CalibrationK3View(std::unique_ptr<TfrmCalibrationK3> model, QWidget* parent = nullptr);
};

}  // namespace kvt::ui
