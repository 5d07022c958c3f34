#pragma once
// The Qt view of TfrmPult: the maroon console with its silver panel, picture keys that report the
// mouse going down and up, the lime-on-black displays and the two lamps. Closing only hides it;
// the main window's next "Открыть панель управления" (or its own close) destroys it.

#include <memory>

#include "platform/qt/ViewParts.h"
#include "tools/Pult.h"
#include "tools/ui/PultKey.h"

namespace kvt::ui {

// There is one panel at a time: Current() is it, CloseAll() destroys it (the main window replacing
// it or closing).
class PultView : public platform::qt::ToolWindow<PultView, TfrmPult> {
  Q_OBJECT
 public:
  explicit PultView(std::unique_ptr<TfrmPult> model, QWidget* parent = nullptr);

 protected:
  void closeEvent(QCloseEvent* event) override;
};

// Draws the console's pictures (keys, lamps, legends) under their resource names.
void RegisterPultPictures();

}  // namespace kvt::ui
