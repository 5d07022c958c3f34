#pragma once
// The Qt view of TfrmCalibration: a modeless window of fixed size with the four pages (tables,
// procedure, graphs, settings), the grids, the charts and the right-click menus. It owns its
// model and frees itself (and the model, which stops the worker) when closed.

#include <functional>

#include "calibration/Calibration.h"
#include "platform/qt/ViewParts.h"

namespace kvt::ui {

class CalibrationView : public platform::qt::ToolWindow<CalibrationView, TfrmCalibration> {
  Q_OBJECT
 public:
  explicit CalibrationView(std::unique_ptr<TfrmCalibration> model, QWidget* parent = nullptr);

  // Brings the calibration window that exists to the front, or shows the one make() creates at
  // the top left and runs its opening sequence.
  static void Open(const std::function<CalibrationView*()>& make);

 protected:
  // The frame's close asks the model first (shots not yet stored).
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildTables(QWidget* page);
  void BuildProcedure(QWidget* page);
  void BuildGraphs(QWidget* page);
  void BuildOptions(QWidget* page);
};

}  // namespace kvt::ui
