#pragma once
// The Qt view of TfrmCheckHeat: the plot of measured against set filament current with the
// deviation, the heat buttons, the code spinner (Enter applies it), the two switches and the
// message panel. It owns its model and frees itself (and the model) when closed.

#include "platform/qt/ViewParts.h"
#include "procedures/CheckHeat.h"

namespace kvt::ui {

// Opened by the main window's "Проверить работу системы накала": a further window on every press.
class CheckHeatView : public platform::qt::ToolWindow<CheckHeatView, TfrmCheckHeat> {
  Q_OBJECT
 public:
  explicit CheckHeatView(std::unique_ptr<TfrmCheckHeat> model, QWidget* parent = nullptr);
};

}  // namespace kvt::ui
