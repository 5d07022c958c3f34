// kvt-service, the desktop program.
//
// Environment (for scripts and tests; an engineer needs none of them):
//   KVT_NONINTERACTIVE=1  no dialog is shown: messages go to standard error with the cautious
//                         answer (see platform/qt/QtUi.h), so a missing vesmar.ini ends the
//                         program without waiting for anyone.
//   KVT_AUTOCONNECT=1     presses "Установка связи с системой" once the main window is up.
//   KVT_SCREENSHOT=FILE   saves a PNG of the whole screen to FILE after KVT_SCREENSHOT_DELAY
//                         seconds (default 6) and ends the program: status 0 when saved, 1 when
//                         not. scripts/screenshot uses it under Xvfb, so no screen grabber is
//                         needed.

#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <cstdio>
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

void ScheduleScreenshot(QApplication& app) {
  const char* file = std::getenv("KVT_SCREENSHOT");
  if (!file || !*file) return;
  int seconds = 6;
  if (const char* d = std::getenv("KVT_SCREENSHOT_DELAY"))
    seconds = std::clamp(std::atoi(d), 0, 600);
  QTimer::singleShot(seconds * 1000, &app, [path = QString::fromLocal8Bit(file)] {
    QScreen* screen = QGuiApplication::primaryScreen();
    const QPixmap shot = screen ? screen->grabWindow(0) : QPixmap();
    const bool saved = !shot.isNull() && shot.save(path, "PNG");
    if (!saved)
      std::fprintf(stderr, "kvt-service: the screen could not be saved to %s\n", qPrintable(path));
    QCoreApplication::exit(saved ? 0 : 1);
  });
}

int Run(QApplication& app, platform::QtUi& ui) {
  // The settings file must be in the working directory, whatever lies beside the executable.
  std::error_code ec;
  if (!std::filesystem::is_regular_file("vesmar.ini", ec)) {
    platform::ShowMessage("Не найден файл vesmar.ini", "", platform::Icon::Error);
    return 0;
  }
  QApplication::setApplicationName("KVT-K2");
  // The program folder is the executable's when the settings lie beside it (the folder the
  // program is shipped and staged as); an installed program has none there, and its launcher
  // starts it in the engineer's own writable folder, where the settings were just found.
  const std::filesystem::path exeDir = platform::ExecutableDir();
  platform::SetProgramDir(std::filesystem::is_regular_file(exeDir / "vesmar.ini", ec)
                              ? exeDir
                              : std::filesystem::current_path());
  sim::InstallSimulator(platform::ProgramDir());

  kvt::ui::ProgramWindows windows;
  if (EnvIs("KVT_AUTOCONNECT", "1")) {
    QTimer::singleShot(200, &windows.MainView(),
                       [&windows] { windows.Manager().btnAdjustConnection.Click(); });
  }
  ScheduleScreenshot(app);
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
