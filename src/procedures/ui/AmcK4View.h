#pragma once
// The Qt view of TfrmAMC_K4: the reference voltages with the three buttons, one group per phase
// channel with its codes and coefficients, the measured phase voltages and the message panel.
// Modeless; it owns its model and frees itself (and the model, which switches the apparatus
// off) when closed.

#include "platform/qt/ViewParts.h"
#include "procedures/AmcK4.h"

namespace kvt::ui {

// Opened by the main window's "Настроить измерительные каналы" for K4 systems, after the
// technological power mode has been switched on.
class AmcK4View : public platform::qt::ToolWindow<AmcK4View, TfrmAMC_K4> {
  Q_OBJECT
 public:
  explicit AmcK4View(std::unique_ptr<TfrmAMC_K4> model, QWidget* parent = nullptr);

 protected:
  // Escape closes the window (its model switches the apparatus off).
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace kvt::ui
