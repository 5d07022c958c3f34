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

// The main window's "Калибровка рентгеновской трубки" on a type-K3 or K4 system: a new window at
// the top left, or the calibration window already open brought to the front.
void OpenCalibrationK3Window(TfrmManager& manager);

}  // namespace kvt::ui
