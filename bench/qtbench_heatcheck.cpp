// CPU cost of an open heating-check window on the realistic simulator (2400 baud, real
// silences): the program connected at rest, then with the window open and its live point being
// refreshed, each over the same time. Prints the process's CPU use as a share of one core.
//
//   kvt-bench-heatcheck [SECONDS]     (default 30; runs offscreen)

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "CpuTime.h"
#include "app/Manager.h"
#include "app/ui/ManagerView.h"
#include "app/ui/Program.h"
#include "link/SystemStatus.h"
#include "platform/Paths.h"
#include "platform/qt/QtUi.h"
#include "procedures/ui/CheckHeatView.h"
#include "sim/Apparatus.h"
#include "sim/Install.h"

namespace {

using bench::CpuSeconds;

// Runs the event loop for ms and returns the CPU share of one core used meanwhile, in percent.
double Measure(QApplication& app, int ms) {
  const double before = CpuSeconds();
  QTimer::singleShot(ms, &app, &QApplication::quit);
  app.exec();
  return (CpuSeconds() - before) * 100.0 / (ms / 1000.0);
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QTemporaryDir tmp;
  const std::filesystem::path dir = tmp.path().toStdString();
  std::filesystem::copy_file(std::filesystem::path(KVT_DATA_DIR) / "vesmar.ini",
                             dir / "vesmar.ini");
  std::ofstream(dir / "simulator.ini") << "[Simulator]\nTiming=realistic\nMemoryFile=\n";
  platform::SetProgramDir(dir);
  sim::InstallSimulator(dir);
  platform::QtUi ui;
  ui.SetNonInteractive(true);
  platform::SetUi(&ui);

  int result = 0;
  {
    kvt::ui::ProgramWindows windows;
    kvt::TfrmManager& m = windows.Manager();
    m.btnAdjustConnectionClick();
    if (!kvt::SystemStatus().LinkUp) {
      std::fprintf(stderr, "the simulator did not answer\n");
      result = 1;
    } else {
      sim::CurrentApparatus()->SetState(8);
      Measure(app, 2000);  // settle
      const double rest = Measure(app, seconds * 1000);
      m.btnHeatCheckClick();
      auto views = kvt::ui::CheckHeatView::OpenViews();
      views.front()->Model().PercentClick(50);
      const double open = Measure(app, seconds * 1000);
      std::printf("connected, at rest:          %.2f %% of a core over %d s\n", rest, seconds);
      std::printf("heating check open, live:    %.2f %% of a core over %d s\n", open, seconds);
      std::printf("the window's own share:      %.2f %% of a core\n", open - rest);
      kvt::ui::CheckHeatView::CloseAll();
    }
  }
  platform::SetUi(nullptr);
  return result;
}
