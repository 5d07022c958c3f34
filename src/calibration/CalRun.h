#pragma once
// A type-K2 calibration without a window: the same worker in automatic mode over a range, from
// the source tables to the new ones. kvtctl and the benchmarks run it; call it on the interface
// thread (it serves the worker's interface calls while it waits).

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "calibration/CalProcedure.h"
#include "calibration/CalTables.h"

namespace kvt {

struct CalRunOptions {
  std::optional<int> from;  // default: the table's start
  std::optional<int> to;    // default: the table's end
  int codeStep = 10;
  CalTiming timing;
  platform::ThreadPriority priority = platform::ThreadPriority::Normal;
  // Empty: ProgramDir/caltable.ini.
  std::filesystem::path stateFile;
  // After the series, the grid sweep (extra shots at the header currents the series did not
  // reach) and the tables computed again from all shots.
  bool grid = false;
  // Each logged shot with the stage it was made in.
  std::function<void(const ShotRow&, int stage)> onShot;
};

class TCalRun : public TCalHost {
 public:
  explicit TCalRun(CalRunOptions options);

  // Reads the source tables and checks the range.
  CalResult Prepare();
  // Runs the calibration until the new tables are computed or automatic mode stops; the result
  // says why it stopped short.
  CalResult Run();

  TCalTables Tables_;
  CalState State;
  CalRange Range_;
  std::string LastMessage;

  // --- TCalHost ---
  TCalTables& Tables() override { return Tables_; }
  std::optional<CalRange> Range(std::string& why) override;
  std::optional<int> Code() override { return code_; }
  void SetCode(int code) override { code_ = code; }
  int CodeStep() override { return options_.codeStep; }
  void ShowMessage(const std::string& text) override { LastMessage = text; }
  void FillInfo(ProcedureInfo& info) override;
  void ShotLogged(const ShotRow& row) override;
  void AutoModeEnded() override { ended_ = true; }

 private:
  CalRunOptions options_;
  TCalLock lock_;
  bool prepared_ = false;
  bool ended_ = false;
  int code_ = 0;
};

}  // namespace kvt
