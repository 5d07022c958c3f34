// kvt-service, the desktop program.
//
// Environment (for scripts and tests; an engineer needs none of them):
//   KVT_NONINTERACTIVE=1  no dialog is shown: messages go to standard error with the cautious
//                         answer (see platform/qt/QtUi.h), so a missing vesmar.ini ends the
//                         program without waiting for anyone.
//   KVT_AUTOCONNECT=1     presses "Установка связи с системой" once the main window is up.

#include <QApplication>
#include <QTimer>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>

#include "app/ui/Program.h"
#include "platform/Paths.h"
#include "platform/Ui.h"
#include "platform/qt/QtUi.h"
#include "sim/Install.h"

namespace {

bool EnvIs(const char* name, const char* value) {
  const char* v = std::getenv(name);
  return v && std::string(v) == value;
}

int Run(QApplication& app, platform::QtUi& ui) {
  // The settings file must be in the working directory, whatever lies beside the executable.
  std::error_code ec;
  if (!std::filesystem::is_regular_file("vesmar.ini", ec)) {
    platform::ShowMessage("Не найден файл vesmar.ini", "", platform::Icon::Error);
    return 0;
  }
  QApplication::setApplicationName("KVT-K2");
  platform::SetProgramDir(platform::ExecutableDir());
  sim::InstallSimulator(platform::ProgramDir());

  kvt::ui::ProgramWindows windows;
  if (EnvIs("KVT_AUTOCONNECT", "1")) {
    QTimer::singleShot(200, &windows.MainView(),
                       [&windows] { windows.Manager().btnAdjustConnection.Click(); });
  }
  int rc = app.exec();
  (void)ui;
  return rc;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setStyle("Fusion");
  platform::QtUi ui;
  platform::SetUi(&ui);
  int rc = 0;
  try {
    rc = Run(app, ui);
  } catch (const std::exception& e) {
    platform::ShowMessage(e.what(), "KVT-K2", platform::Icon::Error);
    rc = 1;
  }
  platform::SetUi(nullptr);
  return rc;
}
