#include "calibration/CalRun.h"

#include "calibration/Calibration.h"
#include "platform/Ui.h"

namespace kvt {

TCalRun::TCalRun(CalRunOptions options) : options_(std::move(options)) {
  if (options_.stateFile.empty()) options_.stateFile = TCalTables::StateFilePath(false);
}

CalResult TCalRun::Prepare() {
  prepared_ = false;
  if (auto r = Tables_.ReadSourceTables(); !r) return r;
  const int from = options_.from.value_or(Tables_.TableStart());
  const int to = options_.to.value_or(Tables_.TableEnd());
  std::string why;
  const auto range = ParseCalRange(Tables_, std::to_string(from), std::to_string(to), why);
  if (!range) return CalResult::Fail(why);
  Range_ = *range;
  prepared_ = true;
  return {};
}

std::optional<CalRange> TCalRun::Range(std::string& why) {
  if (!prepared_) {
    why = "Диапазон калибровки не задан.";
    return std::nullopt;
  }
  return Range_;
}

void TCalRun::FillInfo(ProcedureInfo& info) {
  info.StartUv = std::to_string(Range_.StartUv);
  info.FinishUv = std::to_string(Range_.FinishUv);
  info.CurrentCode = code_;
}

void TCalRun::ShotLogged(const ShotRow& row) {
  if (options_.onShot) options_.onShot(row, State.Stage);
}

CalResult TCalRun::Run() {
  if (!prepared_) return CalResult::Fail("Диапазон калибровки не задан.");
  ended_ = false;
  TCalProcedure worker(State, lock_, *this, options_.priority);
  worker.Timing = options_.timing;
  worker.StateFile = options_.stateFile;
  worker.Start();
  lock_.SetAuto(State, true);
  lock_.AcceptRange(State);
  // Every way the run ends switches automatic mode off.
  platform::CurrentUi().WaitServing([this] { return ended_; });
  if (options_.grid && State.Stage == 5) {
    ended_ = false;
    lock_.StartGrid(State);
    lock_.SetAuto(State, true);
    platform::CurrentUi().WaitServing([this] { return ended_; });
  }
  worker.Stop();
  worker.WaitFor();
  if (State.Stage != 5) {
    std::string why = LastMessage;
    while (!why.empty() && why.front() == '\n') why.erase(why.begin());
    return CalResult::Fail("Калибровка остановлена на этапе " + std::to_string(State.Stage.load()) +
                           ": " + why);
  }
  return {};
}

}  // namespace kvt
