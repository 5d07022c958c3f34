#include "calibration/CalProcedure.h"

#include <algorithm>
#include <cmath>

#include "exposure/FilamentShot.h"
#include "image/Settings.h"
#include "link/SystemLink.h"
#include "platform/Clock.h"
#include "platform/LinkLock.h"

namespace kvt {

namespace calmsg {
const char* const kInitialCode =
    "\nРасчитан код накала, который при существующей калибровочной таблице соответствует "
    "минимальному напряжению заданного диапазона калибровки.\nЕсли Вы не видите необходимости в "
    "его изменении,\nнажмите кнопку <Выполнить> на панели <Снимок>.";
const char* const kBelowRange =
    "\nАнодное напряжение не достигло нижней границы диапазона калибровки.\nКод накала "
    "изменен.\nДля продолжения калибровки нажмите кнопку <Выполнить>.";
const char* const kAboveRange =
    "\nАнодное напряжение превысило верхнюю границу диапазона калибровки.\nКод накала "
    "изменен.\nДля продолжения калибровки нажмите кнопку <Выполнить>.";
const char* const kInRange =
    "\nАнодное напряжение снимка легло в заданный диапазон.\nДля продолжения калибровки "
    "необходимо выполнить серию снимков,\nс интервалом не менее 30с. Вы можете сделать это "
    "пошагово,\nиспользуя кнопку <Выполнить>, или провести процедуру автоматически,\nнажав кнопку "
    "<Включить> на панели <Автоматически>.";
const char* const kSeries = "\n\nВЫПОЛНЯЕТСЯ СЕРИЯ КАЛИБРОВОЧНЫХ СНИМКОВ.";
const char* const kComputed =
    "\nСерия калибровочных снимков завершена. Расчитана новая калибровочная таблица и таблица "
    "сопротивлений. Вы можете просмотреть результаты калибровки на закладках <Таблицы> и "
    "<Графики>. Чтобы принять расчитанные значения нажмите кнопку <OK>.";
const char* const kGridSeries =
    "\n\nВЫПОЛНЯЮТСЯ ДОПОЛНИТЕЛЬНЫЕ СНИМКИ ПО СЕТКЕ ТОКОВ.\nПродолжайте кнопкой <Выполнить> или "
    "включите автоматический режим.";
}  // namespace calmsg

namespace {

constexpr const char* kAutoStopped =
    "\nАвтоматический режим выключен. Устраните причину и продолжите калибровку кнопкой "
    "<Выполнить>.";

}  // namespace

// ----------------------------------------------------------------------------- CalLock

void TCalLock::Request(CalState& state) {
  std::lock_guard g(m_);
  state.ShotRequest = true;
  cv_.notify_all();
}

void TCalLock::AcceptRange(CalState& state) {
  std::lock_guard g(m_);
  state.Stage = 1;
  state.ShotRequest = true;
  cv_.notify_all();
}

void TCalLock::StartGrid(CalState& state) {
  std::lock_guard g(m_);
  state.GridFirst = state.ShotCount + 1;
  state.Stage = 6;
  // Choosing the sweep makes no exposure: the first extra shot waits for <Выполнить> or the
  // automatic mode, as every shot of the series does.
  cv_.notify_all();
}

bool TCalLock::ToggleAuto(CalState& state) {
  std::lock_guard g(m_);
  state.AutoMode = !state.AutoMode;
  cv_.notify_all();
  return state.AutoMode;
}

void TCalLock::SetAuto(CalState& state, bool on) {
  std::lock_guard g(m_);
  state.AutoMode = on;
  cv_.notify_all();
}

bool TCalLock::AutoMode(CalState& state) {
  std::lock_guard g(m_);
  return state.AutoMode;
}

void TCalLock::Wake() {
  std::lock_guard g(m_);
  cv_.notify_all();
}

bool TCalLock::WaitForStep(CalState& state, const std::function<bool()>& stop,
                           const std::function<bool(int)>& stageHasStep) {
  std::unique_lock lk(m_);
  // Automatic mode in a stage without a step (waiting for the range or for OK) is no reason to
  // run: the loop would only turn over.
  cv_.wait(lk, [&] {
    return stop() || state.ShotRequest || (state.AutoMode && stageHasStep(state.Stage));
  });
  if (stop()) return false;
  state.ShotRequest = false;
  return true;
}

// ----------------------------------------------------------------------------- the worker

std::string CalShotFailureMessage(ShotFailure failure) {
  switch (failure) {
    case ShotFailure::TimedOut:
      return "\nСнимок не выполнен: " + ShotFailureText(failure) +
             "\nДля повторения снимка нажмите кнопку <Выполнить>.";
    case ShotFailure::NoAnswer:
    case ShotFailure::NoVoltageCoefficient:
    case ShotFailure::InvalidParameters:
      return "\nСнимок не выполнен: " + ShotFailureText(failure);
    default:
      return "";
  }
}

TCalWorker::TCalWorker(CalState& state, TCalLock& lock, TCalHost& host,
                       platform::ThreadPriority priority)
    : platform::Thread(priority),
      state_(state),
      lock_(lock),
      host_(host),
      basePriority_(priority) {}

TCalWorker::~TCalWorker() {
  Stop();
  WaitFor();
}

void TCalWorker::Stop() {
  Terminate();
  lock_.Wake();
}

int TCalWorker::PauseBetweenShotsMs() {
  // The options window keeps it within 1 ... 60 s; a hand-edited file is held to the same.
  return std::clamp(settings::ReadSnapshotTimeout(), 1, 60) * 1000;
}

int TCalWorker::PauseMs() const {
  return int(std::lround(PauseBetweenShotsMs() * Timing.pauseScale));
}

void TCalWorker::Execute() {
  while (!Terminated()) {
    if (!lock_.WaitForStep(
            state_, [this] { return Terminated(); },
            [this](int stage) { return StageHasStep(stage); }))
      break;
    ++stepsTaken_;
    const int stage = state_.Stage;
    // The shot button waits while a shot runs: a second press would queue a second exposure.
    const bool exposes = stage == 2 || stage == 3 || stage == 6;
    if (exposes) OnUi([&] { host_.StepRunning(true); });
    Step(stage);
    if (exposes) OnUi([&] { host_.StepRunning(false); });
    ++stepsDone_;
  }
}

void TCalWorker::Message(const std::string& text) {
  OnUi([&] { host_.ShowMessage(text); });
}

void TCalWorker::StopAutoMode() {
  lock_.SetAuto(state_, false);
  OnUi([&] { host_.AutoModeEnded(); });
}

ProcedureInfo StateInfo(const CalState& state) {
  ProcedureInfo info;
  info.Stage = state.Stage;
  info.ShotCount = state.ShotCount;
  info.FirstInRange = state.FirstInRange;
  info.MiddleShot = state.MiddleShot;
  info.Direction = state.Direction;
  info.FirstPass = state.FirstPass;
  info.SecondPass = state.SecondPass;
  info.LastShot = state.LastShot;
  info.FirstInRange1 = state.FirstInRange1;
  info.MiddleShot1 = state.MiddleShot1;
  info.LastShot1 = state.LastShot1;
  info.GridFirst = state.GridFirst;
  return info;
}

void SetStateFromInfo(CalState& state, const ProcedureInfo& info) {
  state.Stage = info.Stage;
  state.ShotCount = info.ShotCount;
  state.FirstInRange = info.FirstInRange;
  state.MiddleShot = info.MiddleShot;
  state.Direction = info.Direction;
  state.FirstPass = info.FirstPass;
  state.SecondPass = info.SecondPass;
  state.LastShot = info.LastShot;
  state.FirstInRange1 = info.FirstInRange1;
  state.MiddleShot1 = info.MiddleShot1;
  state.LastShot1 = info.LastShot1;
  state.GridFirst = info.GridFirst;
}

void TCalWorker::SaveProcedureState() {
  ProcedureInfo info = StateInfo(state_);
  std::optional<platform::IniEdit> edit;
  // The values come off the grids on the interface thread; the file is written here, so a slow
  // disk holds up the worker, not the window.
  OnUi([&] {
    host_.FillInfo(info);
    edit.emplace(host_.Tables().ProcedureStateEdit(StateFile, info, K3()));
  });
  const CalResult r = TCalTables::CommitProcedureState(*edit);
  // A state file that cannot be written must not stop the calibration: the shots are in the
  // log, and the engineer can save it from the menu later. It is told once, not after every shot.
  if (r) {
    stateFileTold_ = false;
  } else if (!stateFileTold_) {
    stateFileTold_ = true;
    Message("\n" + r.problem +
            "\nКалибровка продолжается; её состояние можно сохранить позже пунктом меню <Сохранить "
            "таблицу>.");
  }
}

bool TCalWorker::ReadCode(int& code, int& step) {
  std::optional<int> c;
  OnUi([&] {
    c = host_.Code();
    step = std::max(1, host_.CodeStep());
  });
  if (!c) {
    Message("\nКод накала должен быть целым числом от 0 до " + std::to_string(MaxCode()) + ".");
    StopAutoMode();
    return false;
  }
  code = *c;
  return true;
}

std::optional<CalRange> TCalWorker::ReadRange() {
  std::string why;
  std::optional<CalRange> range;
  OnUi([&] { range = host_.Range(why); });
  if (!range) {
    Message("\n" + why);
    StopAutoMode();
  }
  return range;
}

int TCalWorker::MoveCode(int code, int shotCode) {
  const int clamped = std::clamp(code, 0, MaxCode());
  OnUi([&] { host_.SetCode(clamped); });
  if (clamped != code) {
    if (clamped == shotCode) {
      Message("\nКод накала достиг предела " + std::to_string(clamped) +
              (K3() ? ", а анодный ток не достиг границы диапазона токов калибровочной таблицы."
                    : ", а анодное напряжение не достигло границы диапазона калибровки.") +
              "\nПроверьте систему или выберите другой диапазон.");
      StopAutoMode();
    }
  }
  return clamped;
}

std::unique_ptr<TFilamentShot> TCalWorker::Expose(int code) {
  auto shot = std::make_unique<TFilamentShot>(code, Timing.shotLimits);
  if (!shot->Ok) {
    const std::string why = CalShotFailureMessage(shot->Failure);
    if (!why.empty()) Message(why);
    if (lock_.AutoMode(state_) && ++failedInRow_ >= Timing.maxFailedShots) {
      failedInRow_ = 0;
      Message((why.empty() ? "\nСнимок не выполнен: " + ShotFailureText(shot->Failure) : why) +
              "\n" + std::to_string(Timing.maxFailedShots) + " снимка подряд не выполнены." +
              kAutoStopped);
      StopAutoMode();
    }
    return shot;
  }
  failedInRow_ = 0;
  return shot;
}

std::unique_ptr<TFilamentShot> TCalWorker::MakeCalibrationShot(int code) {
  auto shot = Expose(code);
  if (!shot->Ok) return shot;
  ShotRow row{0, 0, shot->In, shot->Ia, shot->Uv, shot->Re};
  OnUi([&] {
    TCalTables& t = host_.Tables();
    row.TabCode = t.TableCode(row.Uv, row.Ia);
    row.Number = t.LoggedShots() + 1;
    t.AppendShot(row.TabCode, row.Code, row.Ia, row.Uv, row.Re);
    host_.ShotLogged(row);
  });

  // The curves are the longest exchange of a step; nothing else of this worker may hold it up.
  SetPriority(platform::ThreadPriority::TimeCritical);
  std::vector<int> samples;
  {
    TSystemLink link;
    samples = link.ReadLastShotCurves(nullptr, true);
  }
  OnUi([&] { host_.ShowCurves(samples); });
  SaveProcedureState();
  SetPriority(basePriority_);
  return shot;
}

void TCalWorker::StartUpwardSweep(int middleShot, int fallbackCode, int move) {
  state_.MiddleShot = middleShot;
  state_.Direction = 1;
  std::optional<ShotRow> first;
  const int firstShot = state_.FirstInRange;
  OnUi([&] { first = host_.Tables().ReadShotRow(firstShot); });
  MoveCode((first ? first->Code : fallbackCode) + move, -1);
}

void TCalWorker::WaitBetweenShots(int ms) {
  OnUi([&] { host_.ShowPause(ms, ms); });
  const std::uint64_t t0 = platform::TickCount();
  for (;;) {
    const std::uint64_t passed = platform::TickCount() - t0;
    if (passed >= std::uint64_t(std::max(ms, 0))) break;
    const int left = ms - int(passed);
    OnUi([&] { host_.ShowPause(ms, left); });
    if (!Sleep(std::min(left, std::max(1, Timing.pauseStepMs)))) break;
  }
  OnUi([&] { host_.ShowPause(ms, 0); });
}

void TCalWorker::Step(int stage) {
  switch (stage) {
    case 1:
      InitialCode();
      break;
    case 2:
      SearchRange();
      break;
    case 3:
      Series();
      break;
    case 4:
      ComputeTables();
      break;
    case 6:
      GridSweep();
      break;
    default:
      break;
  }
}

// ----------------------------------------------------------------------------- type K2

TCalProcedure::~TCalProcedure() {
  // The walk uses this object's members: it must end before they go.
  Stop();
  WaitFor();
}

void TCalProcedure::InitialCode() {
  std::string problem;
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    OnUi([&] { host_.RangeLocked(); });
    const auto range = ReadRange();
    if (!range) return;
    const int u = range->StartUv;
    int supply = -1;
    {
      TSystemLink link;
      supply = ReadSupplyByte(link);
    }
    if (supply < 0) {
      problem =
          "\nСистема не отвечает: код накала не расчитан.\nДля повторения нажмите кнопку "
          "<Выполнить>.";
    } else {
      int r = -1;
      OnUi([&] { r = host_.Tables().SourceResistance(u); });
      if (r <= 0) {
        // The present tables give no current for the bound: the search starts from the code the
        // engineer has set.
        problem = "\nВ исходной таблице Rэ для " + std::to_string(u) + " кВ значение " +
                  std::to_string(r) +
                  ": код накала не может быть расчитан.\nЗадайте код накала на панели <Код "
                  "накала> и нажмите кнопку <Выполнить>.";
      } else {
        const int current = int(std::trunc(double(supply - u) / r * 256 + 0.5));
        int code = -1;
        OnUi([&] { code = host_.Tables().TableCode(u, current); });
        if (code < 0 || code > MaxCode()) {
          problem = "\nИсходная калибровочная таблица не дает кода накала для " +
                    std::to_string(u) + " кВ и " + std::to_string(current) +
                    " мА.\nЗадайте код накала на панели <Код накала> и нажмите кнопку "
                    "<Выполнить>.";
        } else {
          OnUi([&] { host_.SetCode(code); });
        }
      }
      state_.Stage = 2;
    }
  }
  if (!problem.empty()) {
    Message(problem);
    // An exposure by a code nobody chose must wait for the engineer.
    StopAutoMode();
    return;
  }
  Message(calmsg::kInitialCode);
}

void TCalProcedure::SearchRange() {
  const auto range = ReadRange();
  if (!range) return;
  int code = 0, step = 1;
  if (!ReadCode(code, step)) return;
  // The lock is held through the pause as well: the tube cools before anyone else exposes.
  platform::LinkLock::Guard guard(platform::TheLinkLock());
  auto shot = MakeCalibrationShot(code);
  if (!shot->Ok) return;
  const int count = ++state_.ShotCount;
  const int uv = shot->Uv;
  if (uv < range->StartUv) {
    Message(calmsg::kBelowRange);
    MoveCode(code - 5 * step, shot->In);
  } else if (uv > range->FinishUv) {
    Message(calmsg::kAboveRange);
    MoveCode(code + 5 * step, shot->In);
  } else {
    Message(calmsg::kInRange);
    state_.FirstInRange = count;
    if (uv != range->StartUv) {
      state_.Direction = 0;
      MoveCode(shot->In + step, shot->In);
    } else {
      state_.Direction = 1;
      MoveCode(shot->In - step, shot->In);
      state_.MiddleShot = count;
    }
    state_.Stage = 3;
  }
  WaitBetweenShots(PauseMs());
}

void TCalProcedure::Series() {
  Message(calmsg::kSeries);
  const int direction = state_.Direction;
  if (direction != 0 && direction != 1) return;
  const auto range = ReadRange();
  if (!range) return;
  int code = 0, step = 1;
  if (!ReadCode(code, step)) return;
  std::unique_ptr<TFilamentShot> shot;
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    shot = MakeCalibrationShot(code);
  }
  if (!shot->Ok) return;
  const int count = ++state_.ShotCount;
  const int uv = shot->Uv;
  if (direction == 0) {
    if (uv > range->StartUv) {
      MoveCode(shot->In + step, shot->In);
    } else {
      // The upward sweep starts one step above the first shot in the range.
      StartUpwardSweep(count, shot->In, -step);
    }
    WaitBetweenShots(PauseMs());
    return;
  }
  if (uv < range->FinishUv) {
    MoveCode(shot->In - step, shot->In);
    WaitBetweenShots(PauseMs());
    return;
  }
  state_.Stage = 4;
  lock_.Request(state_);
}

void TCalProcedure::ComputeTables() {
  const auto range = ReadRange();
  if (!range) return;
  // After a grid sweep the series ends before its first shot; the resistance table stays the
  // series' own, the calibration table is fitted from every shot.
  const int grid = state_.GridFirst;
  const SweepShots sweep{state_.FirstInRange, state_.MiddleShot,
                         grid > 0 ? grid - 1 : int(state_.ShotCount)};
  CalResult result;
  TransferCurve curve;
  OnUi([&] {
    TCalTables& t = host_.Tables();
    result = t.ComputeResistanceTable(*range, sweep);
    if (result)
      result = grid > 0 ? t.ComputeCalibrationTableGrid(*range, sweep, &curve)
                        : t.ComputeCalibrationTable(*range, sweep, &curve);
  });
  if (!result) {
    // The stage stays: after the log is mended (or a state file loaded) a request computes again.
    Message("\nНовые таблицы не расчитаны.\n" + result.problem);
    StopAutoMode();
    return;
  }
  OnUi([&] { host_.TablesComputed(curve); });
  Message(calmsg::kComputed + gridNotes_);
  gridNotes_.clear();
  SaveProcedureState();
  state_.Stage = 5;
  StopAutoMode();
}

void TCalProcedure::GiveUpGridCurrent(int ma, const std::string& why) {
  gridGivenUp_.insert(ma);
  gridNotes_ += "\nТок ";
  gridNotes_ += std::to_string(ma);
  gridNotes_ += " мА не достигнут: ";
  gridNotes_ += why;
}

void TCalProcedure::GridSweep() {
  Message(calmsg::kGridSeries);
  const auto range = ReadRange();
  if (!range) return;
  int step = 1;
  OnUi([&] { step = std::max(1, host_.CodeStep()); });
  const int first = state_.FirstInRange;
  std::vector<int> unreached;
  std::vector<ShotRow> shots;
  OnUi([&] {
    const TCalTables& t = host_.Tables();
    unreached = t.UnreachedCurrents(first);
    shots = t.UsableShots(first);
  });
  // The current nearest to what was reached comes first: each shot moves the code the least.
  std::optional<int> target;
  double nearest = 0;
  for (int h : unreached) {
    if (gridGivenUp_.count(h)) continue;
    for (const ShotRow& s : shots) {
      const double d = std::abs(std::log(double(s.Ia) / h));
      if (!target || d < nearest) {
        target = h;
        nearest = d;
      }
    }
  }
  if (!target) {
    // Every current is reached or out of reach: the tables are computed from all shots.
    state_.Stage = 4;
    lock_.Request(state_);
    return;
  }
  // Never further than the search moves the code at once from a shot that was made.
  const auto aimed = GridShotCode(shots, *target, 5 * step);
  const int shotCode = std::clamp(aimed.value_or(-1), 0, MaxCode());
  if (aimed && shotCode != *aimed && std::any_of(shots.begin(), shots.end(), [&](const ShotRow& s) {
        return s.Code == shotCode;
      })) {
    std::string why = "код накала достиг предела ";
    why += std::to_string(shotCode);
    why += '.';
    GiveUpGridCurrent(*target, why);
    return;
  }
  if (!aimed || ++gridAttempts_[*target] > kGridAttempts) {
    std::string why = std::to_string(kGridAttempts);
    why += " снимка не попали в пределы ";
    why += std::to_string(int(kGridReach * 100));
    why += "% от него.";
    GiveUpGridCurrent(*target, why);
    return;
  }
  OnUi([&] { host_.SetCode(shotCode); });
  std::unique_ptr<TFilamentShot> shot;
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    shot = MakeCalibrationShot(shotCode);
  }
  if (!shot->Ok) {
    // A shot that did not go through is no attempt at the current.
    --gridAttempts_[*target];
    return;
  }
  ++state_.ShotCount;
  WaitBetweenShots(PauseMs());
}

}  // namespace kvt
