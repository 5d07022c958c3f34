#pragma once
// The Qt view of TfrmAMC: the mains channel group, the anode channel group with the control
// exposure's chart, and the message panel. Modeless; it owns its model and frees itself (and the
// model, which waits for its worker) when closed.

#include "platform/qt/ViewParts.h"
#include "procedures/Amc.h"

namespace kvt::ui {

// Opened by the main window's "Настроить измерительные каналы" for K2 and K3 systems.
class AmcView : public platform::qt::ToolWindow<AmcView, TfrmAMC> {
  Q_OBJECT
 public:
  explicit AmcView(std::unique_ptr<TfrmAMC> model, QWidget* parent = nullptr);

 private:
  void ApplyFocus(const std::string& control);
};

}  // namespace kvt::ui
