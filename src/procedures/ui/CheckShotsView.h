#pragma once
// The Qt view of TfrmCheckShots: the five parameters, the shot, automatic and procedure groups,
// the pause gauge, the protocol table and the message panel. Modeless; it owns its model and frees
// itself when closed (the model then waits for a shot under way and asks about an unsaved
// protocol).

#include "platform/qt/ViewParts.h"
#include "procedures/CheckShots.h"

namespace kvt::ui {

// Opened by the main window's "Выполнить проверочные снимки".
class CheckShotsView : public platform::qt::ToolWindow<CheckShotsView, TfrmCheckShots> {
  Q_OBJECT
 public:
  explicit CheckShotsView(std::unique_ptr<TfrmCheckShots> model, QWidget* parent = nullptr);
};

}  // namespace kvt::ui
