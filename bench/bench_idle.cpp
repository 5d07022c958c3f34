// What the measuring-channel and check-shot windows cost while they stand open and idle on the
// simulator in realistic timing (2400 baud): processor time over wall time, and the live mains
// passes the channel window made meanwhile. Prints key=value lines.
//
//   kvt-bench-idle [SECONDS]     idle time measured per window (default 10)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "CpuTime.h"
#include "link/SystemLink.h"
#include "platform/LinkLock.h"
#include "platform/Paths.h"
#include "platform/ScriptedUi.h"
#include "procedures/Amc.h"
#include "procedures/CheckShots.h"
#include "sim/Apparatus.h"
#include "sim/SimulatorBackend.h"

namespace {

using bench::CpuSeconds;

// Serves the interface thread for `seconds` and returns the processor share meanwhile, percent.
double IdleCpuPercent(platform::ScriptedUi& ui, int seconds) {
  const double cpu0 = CpuSeconds();
  const auto t0 = std::chrono::steady_clock::now();
  ui.PumpUntil([] { return false; }, seconds * 1000);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  return 100.0 * (CpuSeconds() - cpu0) / wall;
}

}  // namespace

int main(int argc, char** argv) {
  int seconds = 10;
  if (argc > 1) {
    seconds = int(std::strtol(argv[1], nullptr, 10));
    if (seconds <= 0 || seconds > 3600) {
      std::fprintf(stderr, "kvt-bench-idle: SECONDS must be 1..3600\n");
      return 2;
    }
  }
  const auto dir = std::filesystem::temp_directory_path() / "kvt-bench-idle";
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "vesmar.ini")
      << "[Описание режимов автоконфигурации]\r\nSNAPSHOTTIMEOUT=1\r\n";
  platform::SetProgramDir(dir);
  platform::ScriptedUi ui;
  platform::SetUi(&ui);

  sim::Profile profile;
  profile.timing = sim::Timing::Realistic;
  profile.memoryFile.clear();
  auto apparatus = std::make_shared<sim::Apparatus>(profile);
  kvt::AttachSharedPort(std::make_unique<sim::SimulatorBackend>(apparatus));
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    kvt::TSystemLink().SelectModule(kvt::kMainControllerAddress);
  }
  apparatus->SetState(8);

  {
    kvt::TfrmAMC amc(nullptr);
    amc.FormCreate();
    ui.PumpUntil([&] { return amc.Passes() >= 2; }, 20000);  // the start's exchanges
    const int passes0 = amc.Passes();
    std::printf("amc_idle_cpu_percent=%.2f\n", IdleCpuPercent(ui, seconds));
    std::printf("amc_passes_per_s=%.1f\n", double(amc.Passes() - passes0) / seconds);
    std::printf("amc_mains_reading=%s\n", amc.edUdMeasure.Text().c_str());
  }
  {
    kvt::TfrmCheckShots shots(nullptr);
    shots.FormCreate();
    ui.PumpUntil([] { return false; }, 500);
    std::printf("checkshots_idle_cpu_percent=%.2f\n", IdleCpuPercent(ui, seconds));
  }
  std::printf("idle_seconds=%d\n", seconds);
  platform::SetUi(nullptr);
  kvt::CloseSharedPort();
  std::filesystem::remove_all(dir);
  return 0;
}
