// The trainer's simulator window joins the program beside the main window. Its view lives with the
// simulator (sim/ui), which knows nothing of the main window; the program puts the two together.

#include "app/ui/ToolRegistry.h"
#include "platform/qt/QtUi.h"
#include "sim/ui/SimulatorView.h"

namespace kvt::ui {

static ToolInstaller installSimulator([](MainWindowParts& parts) {
  if (auto window = MakeSimulatorWindow(*parts.Owner())) {
    // It stands for the apparatus, not the program: the program's message boxes leave it usable
    // (the trainee clears the alarm a box is about).
    platform::QtUi::MarkOutsideProgram(*window);
    parts.Keep(std::move(window));
  }
});

}  // namespace kvt::ui
