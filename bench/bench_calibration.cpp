// kvt-bench-calibration: one automatic type-K2 calibration on the simulated apparatus, as the
// window runs it (the pause after each shot as the shipped settings give it), and what it cost
// and found.
//
// The floor is what the same shots cannot do without: each exposure's own time, the pauses the
// procedure makes, and the wire time of every exchange the calibration had (11 bits a byte at
// 2400 baud, the controller's think time before each reply, the silences that end replies).
// ratio = elapsed / floor shows what the program adds on top. The code error is the mean and
// worst absolute difference, over the cells the calibration covered, between a table's filament
// codes and the codes the simulated tube truly needs; "before" is the table the apparatus held.
// The plant is the shipped one (an aged tube, a generator off its stored resistance, regulation
// error and noise), with the measuring channels set to their exact coefficients first.
//
// The state file: after every logged shot the worker saves the procedure state. The run's own
// saves give run_state_writes_per_shot; then a log of N shots (--state-shots, default 25) is
// grown one shot at a time and saved after each, as a long series would, giving
// state_writes_per_shot (whole-file writes, each with one sync) and state_save_ms_max (the
// slowest save, gathering and writing) and state_ui_ms_max (the slowest gathering of the values,
// the part that holds the interface thread).
//
// Usage: kvt-bench-calibration [instant|realistic] [FROM TO] [--state-shots N]
//        (default: instant, whole table, 25)

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "calibration/CalRun.h"
#include "calibration/CalTables.h"
#include "link/SystemLink.h"
#include "platform/Ini.h"
#include "platform/LinkLock.h"
#include "platform/Paths.h"
#include "platform/SerialPort.h"
#include "sim/Apparatus.h"
#include "sim/SimulatorBackend.h"
#include "sim/Truth.h"

namespace {

namespace fs = std::filesystem;

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The simulator's line, counting what crosses it.
class CountingPort : public platform::SerialPort {
 public:
  explicit CountingPort(std::unique_ptr<platform::SerialPort> inner) : inner_(std::move(inner)) {}
  bool Configure() override { return inner_->Configure(); }
  bool SetParity(platform::Parity p) override { return inner_->SetParity(p); }
  platform::Parity CurrentParity() const override { return inner_->CurrentParity(); }
  bool Purge() override { return inner_->Purge(); }
  int Write(const std::uint8_t* data, std::size_t count) override {
    const int n = inner_->Write(data, count);
    if (n > 0) {
      written += std::uint64_t(n);
      ++writes;
    }
    return n;
  }
  int Read(std::uint8_t* dest, std::size_t max, int timeoutMs) override {
    const int n = inner_->Read(dest, max, timeoutMs);
    if (n > 0)
      read += std::uint64_t(n);
    else if (n == 0)
      silenceMs += std::uint64_t(timeoutMs);
    return n;
  }

  std::uint64_t written = 0, read = 0, writes = 0, silenceMs = 0;

 private:
  std::unique_ptr<platform::SerialPort> inner_;
};

struct CodeError {
  double mean = 0;
  int worst = 0;
  int cells = 0;
};

// Compares the table cells of rows start ... finish with the truth.
CodeError ErrorOf(const std::vector<std::uint16_t>& words, int tableStart, int tableStep,
                  const kvt::CalRange& covered, const sim::Profile& profile) {
  CodeError e;
  const int rows = int(words.size() / 8);
  long sum = 0;
  for (int r = 1; r < rows; ++r) {
    const int kv = tableStart + tableStep * (r - 1);
    if (kv < covered.StartUv || kv > covered.FinishUv) continue;
    for (int c = 0; c < 8; ++c) {
      const int ma = std::int16_t(words[std::size_t(c)]);
      const int code = std::int16_t(words[std::size_t(r * 8 + c)]);
      const int d = std::abs(code - int(std::lround(sim::truth::FilamentCode(profile, kv, ma))));
      sum += d;
      e.worst = std::max(e.worst, d);
      ++e.cells;
    }
  }
  e.mean = e.cells ? double(sum) / e.cells : 0;
  return e;
}

struct TableWords {
  int start = 0, end = 0, step = 0;
  std::vector<std::uint16_t> words;
};

TableWords ReadTable() {
  platform::LinkLock::Guard guard(platform::TheLinkLock());
  kvt::TSystemLink link;
  TableWords t;
  t.start = link.ReadTableStart();
  t.end = link.ReadTableEnd();
  t.step = link.ReadTableStep();
  t.words = link.ReadCalibrationTable();
  return t;
}

struct StateSaves {
  double writesPerShot = 0;
  double msMax = 0;
  double uiMsMax = 0;
  double uiMsMean = 0;
};

// Grows a log of n shots in a fresh state file, saving after each shot as the worker does.
StateSaves MeasureStateSaves(const fs::path& path, int n) {
  kvt::TCalTables tables;
  kvt::ProcedureInfo info;
  info.Stage = 3;
  info.StartUv = "40";
  info.FinishUv = "120";
  StateSaves r;
  const std::uint64_t w0 = platform::IniFile::FilesWritten();
  for (int k = 1; k <= n; ++k) {
    tables.AppendShot(300 + k, 310 + k, 100 + k % 400, 40 + k % 81, 5000 + 7 * k);
    info.ShotCount = k;
    info.CurrentCode = 320 + k;
    // As the worker saves: the values gathered (on the interface thread), then the file written.
    const auto t0 = std::chrono::steady_clock::now();
    auto edit = tables.ProcedureStateEdit(path, info, false);
    const auto t1 = std::chrono::steady_clock::now();
    (void)kvt::TCalTables::CommitProcedureState(edit);
    const auto t2 = std::chrono::steady_clock::now();
    r.msMax = std::max(r.msMax, std::chrono::duration<double, std::milli>(t2 - t0).count());
    const double uiMs = std::chrono::duration<double, std::milli>(t1 - t0).count();
    r.uiMsMax = std::max(r.uiMsMax, uiMs);
    r.uiMsMean += uiMs / n;
  }
  r.writesPerShot = n > 0 ? double(platform::IniFile::FilesWritten() - w0) / n : 0;
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  sim::Profile profile;
  profile.timing = sim::Timing::Instant;
  int arg = 1;
  if (arg < argc && std::strcmp(argv[arg], "realistic") == 0) {
    profile.timing = sim::Timing::Realistic;
    ++arg;
  } else if (arg < argc && std::strcmp(argv[arg], "instant") == 0) {
    ++arg;
  }
  kvt::CalRunOptions options;
  int stateShots = 25;
  if (arg + 1 < argc && std::strcmp(argv[arg], "--state-shots") != 0) {
    options.from = std::atoi(argv[arg]);
    options.to = std::atoi(argv[arg + 1]);
    arg += 2;
  }
  if (arg + 1 < argc && std::strcmp(argv[arg], "--state-shots") == 0)
    stateShots = std::max(1, std::atoi(argv[arg + 1]));

  // A program folder with the shipped settings: the pause after a shot is theirs.
  const fs::path dir =
      fs::temp_directory_path() / ("kvt-bench-calibration-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  fs::copy_file(fs::path(KVT_DATA_DIR) / "vesmar.ini", dir / "vesmar.ini",
                fs::copy_options::overwrite_existing);
  platform::SetProgramDir(dir);

  profile.memoryFile.clear();
  profile.state = 8;  // on, standby heating
  auto apparatus = std::make_shared<sim::Apparatus>(profile);
  const int latencyMs = apparatus->LatencyMs();
  auto port = std::make_unique<CountingPort>(std::make_unique<sim::SimulatorBackend>(apparatus));
  CountingPort* counter = port.get();
  kvt::AttachSharedPort(std::move(port));
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    kvt::TSystemLink().SelectModule(kvt::kMainControllerAddress);
  }
  // The measuring channels are adjusted before a calibration: it reads voltages through KUAN and
  // the supply through KMES.
  apparatus->WriteMemory(0x13, {std::uint8_t(std::lround(sim::truth::Kuan(profile)))});
  apparatus->WriteMemory(0x15, {std::uint8_t(std::lround(sim::truth::Kmes(profile)))});
  apparatus->CommitBank(0);

  const TableWords before = ReadTable();
  int shots = 0;
  options.onShot = [&](const kvt::ShotRow&, int) { ++shots; };
  kvt::TCalRun run(options);
  if (auto r = run.Prepare(); !r) {
    std::fprintf(stderr, "kvt-bench-calibration: %s\n", r.problem.c_str());
    return 1;
  }
  const std::uint64_t written0 = counter->written, read0 = counter->read;
  const std::uint64_t writes0 = counter->writes, silence0 = counter->silenceMs;
  const int pauseMs = kvt::TCalWorker::PauseBetweenShotsMs();
  const double cpu0 = CpuSeconds();
  const std::uint64_t stateWrites0 = platform::IniFile::FilesWritten();
  const auto t0 = std::chrono::steady_clock::now();
  const kvt::CalResult result = run.Run();
  const auto t1 = std::chrono::steady_clock::now();
  const double cpu = CpuSeconds() - cpu0;
  const std::uint64_t runStateWrites = platform::IniFile::FilesWritten() - stateWrites0;
  if (!result) {
    std::fprintf(stderr, "kvt-bench-calibration: %s\n", result.problem.c_str());
    return 1;
  }

  // A calibration waiting for the engineer (the window open, nothing asked) costs nothing.
  double idleCpu = 0, idleElapsed = 0;
  {
    kvt::CalState idleState;
    kvt::TCalLock idleLock;
    kvt::TCalProcedure idle(idleState, idleLock, run, platform::ThreadPriority::Idle);
    idle.Start();
    const double c0 = CpuSeconds();
    const auto i0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    idleCpu = CpuSeconds() - c0;
    idleElapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - i0).count();
  }

  std::vector<kvt::TCalTables::ImageBlock> blocks;
  if (auto r = run.Tables_.TablesImageBlocks(run.Range_, false, blocks); !r) {
    std::fprintf(stderr, "kvt-bench-calibration: %s\n", r.problem.c_str());
    return 1;
  }
  std::vector<std::uint16_t> after;
  for (std::size_t i = 0; i + 1 < blocks[1].bytes.size(); i += 2)
    after.push_back(std::uint16_t(blocks[1].bytes[i] << 8 | blocks[1].bytes[i + 1]));
  const CodeError eBefore = ErrorOf(before.words, before.start, before.step, run.Range_, profile);
  const CodeError eAfter = ErrorOf(after, run.Range_.StartUv, before.step, run.Range_, profile);

  // Every shot but the last is followed by the pause.
  const double pauses = double(std::max(shots - 1, 0)) * pauseMs / 1000.0;
  const double wire = double(counter->written - written0 + counter->read - read0) * 11.0 / 2400.0 +
                      double(counter->writes - writes0) * latencyMs / 1000.0 +
                      double(counter->silenceMs - silence0) / 1000.0;
  const double exposures = shots * 0.05;
  const double floor =
      profile.timing == sim::Timing::Realistic ? exposures + pauses + wire : exposures + pauses;
  const double elapsed = std::chrono::duration<double>(t1 - t0).count();

  std::printf("timing=%s\n", profile.timing == sim::Timing::Realistic ? "realistic" : "instant");
  std::printf("range_kv=%d..%d\n", run.Range_.StartUv, run.Range_.FinishUv);
  std::printf("shots=%d\n", shots);
  std::printf("pause_ms=%d\n", pauseMs);
  std::printf("elapsed_s=%.3f\n", elapsed);
  std::printf("floor_s=%.3f\n", floor);
  std::printf("wire_s=%.3f\n", profile.timing == sim::Timing::Realistic ? wire : 0.0);
  std::printf("ratio=%.4f\n", elapsed / floor);
  std::printf("cpu_s=%.4f\n", cpu);
  std::printf("cpu_percent=%.3f\n", cpu / elapsed * 100.0);
  std::printf("idle_cpu_percent=%.3f\n", idleCpu / idleElapsed * 100.0);
  std::printf("cells=%d\n", eAfter.cells);
  std::printf("code_error_before_mean=%.3f\n", eBefore.mean);
  std::printf("code_error_before_worst=%d\n", eBefore.worst);
  std::printf("code_error_after_mean=%.3f\n", eAfter.mean);
  std::printf("code_error_after_worst=%d\n", eAfter.worst);
  std::printf("run_state_writes_per_shot=%.2f\n", shots ? double(runStateWrites) / shots : 0.0);
  const StateSaves saves = MeasureStateSaves(dir / "bench-state.ini", stateShots);
  std::printf("state_shots=%d\n", stateShots);
  std::printf("state_writes_per_shot=%.2f\n", saves.writesPerShot);
  std::printf("state_save_ms_max=%.3f\n", saves.msMax);
  std::printf("state_ui_ms_max=%.3f\n", saves.uiMsMax);
  std::printf("state_ui_ms_mean=%.3f\n", saves.uiMsMean);
  std::error_code ec;
  fs::remove_all(dir, ec);
  return 0;
}
