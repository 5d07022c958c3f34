// The trainer's simulator window joins the program beside the main window. Its view lives with the
// simulator (sim/ui), which knows nothing of the main window; the program puts the two together.

#include "app/ui/ToolRegistry.h"
#include "platform/qt/QtUi.h"
#include "sim/ui/SimulatorView.h"

namespace kvt::ui {

static ToolInstaller installSimulator([](MainWindowParts& parts) {
  if (auto window = MakeSimulatorWindow(*parts.Owner())) {
    // It stands for the apparatus, not the program: the trainee can still press its buttons (clear
    // the alarm a box is about) while the program shows a box or a dialog.
    platform::QtUi::KeepUsableBehindBoxes(*window);
    parts.Keep(std::move(window));
  }
});

}  // namespace kvt::ui
