#pragma once
// The Qt view of TfrmARD: a modeless window with the boundary currents, the drive times, the two
// mode lamps, the black message panel and the six buttons. It owns its model and frees itself
// (and the model) when closed. Its buttons answer Enter when they have the focus, as the time
// determination asks of the engineer.

#include "platform/qt/ViewParts.h"
#include "procedures/Ard.h"

namespace kvt::ui {

// Opened by the main window's "Настроить систему вращения" (the main window has closed the other
// tool windows first): a new window at the top left, then the stored values read.
class ArdView : public platform::qt::ToolWindow<ArdView, TfrmARD> {
  Q_OBJECT
 public:
  explicit ArdView(std::unique_ptr<TfrmARD> model, QWidget* parent = nullptr);

  // The open window, if any (there is at most one).
  static ArdView* Open() { return Current(); }
};

}  // namespace kvt::ui
