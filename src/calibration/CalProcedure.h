#pragma once
// The calibration worker: the thread that walks a tube calibration through its stages, one step
// per request (a button of the window) or one after another in automatic mode. Each step of the
// search and of the series is one 0.05 s exposure by filament code (TFilamentShot); between shots
// the code moves so that the measured anode voltage first enters the chosen range, then sweeps
// down to its lower bound and back up to its upper bound. After the sweep the new tables are
// computed and the worker waits for the engineer's OK.
//
// TCalWorker holds what every calibration variant shares: the wait for a request, the
// exposure with its log row and curves, the pause between shots, the state file. TCalProcedure is
// the type-K2 walk; other types derive their own walk from TCalWorker.
//
// The worker never touches a control itself: every call of its TCalHost runs on the interface
// thread through Ui::Synchronize, while the worker waits. It waits for requests on CalLock's
// condition and sleeps through the pauses, so an idle calibration costs no processor time.

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "calibration/CalTables.h"
#include "exposure/Snapshot.h"
#include "platform/Thread.h"
#include "platform/Ui.h"

namespace kvt {

class TFilamentShot;

inline constexpr int kMaxFilamentCode = 1023;
// Types K3 and K4 take filament codes up to this.
inline constexpr int kMaxFilamentCodeK3 = 2047;

// The procedure state shared by the window and its worker.
struct CalState {
  // 0 waiting for the range, 1 initial code, 2 search, 3 series, 4 computation, 5 waiting for OK.
  std::atomic<int> Stage{0};
  // Series direction: 0 down to the lower bound (the code grows), 1 up to the upper bound.
  std::atomic<int> Direction{0};
  bool ShotRequest = false;  // guarded by CalLock
  bool AutoMode = false;     // guarded by CalLock
  std::atomic<int> ShotCount{0};
  std::atomic<int> FirstInRange{0};
  std::atomic<int> MiddleShot{0};

  // Types K3 and K4 record two characteristics, at the lower and at the upper bound. FirstInRange
  // and MiddleShot above, with LastShot, are those of the characteristic being recorded; the
  // fields ending in 1 keep the finished first one.
  std::atomic<bool> FirstPass{false};
  std::atomic<bool> SecondPass{false};
  std::atomic<int> LastShot{0};
  std::atomic<int> FirstInRange1{0};
  std::atomic<int> MiddleShot1{0};
  std::atomic<int> LastShot1{0};
  std::atomic<int> PassVoltage{0};    // kV of the characteristic being recorded
  std::atomic<int> TargetCurrent{0};  // mA of both characteristics
  std::atomic<int> DeterminedCurrent{0};

  // K2: the first shot of the grid sweep (stage 6), 0 while none was started. The series ends
  // before it.
  std::atomic<int> GridFirst{0};
};

// The state file's values of the procedure's position (the range texts and the code are the
// window's).
ProcedureInfo StateInfo(const CalState& state);
// The reverse, for a loaded state file.
void SetStateFromInfo(CalState& state, const ProcedureInfo& info);

// The critical section between a window and its worker: it guards ShotRequest, AutoMode and the
// window's setting of Stage, and wakes the worker when any of them changes. Never held while
// waiting for the device lock.
class TCalLock {
 public:
  // The shot button (or the engine itself): one step.
  void Request(CalState& state);
  // "Принять": stage 1 and a request.
  void AcceptRange(CalState& state);
  // K2 after the tables were computed: stage 6, the grid sweep, from the next shot on, and a
  // request.
  void StartGrid(CalState& state);
  // Returns the new AutoMode.
  bool ToggleAuto(CalState& state);
  void SetAuto(CalState& state, bool on);
  bool AutoMode(CalState& state);
  // Wakes a waiting worker to look at its stop condition.
  void Wake();

  // The worker's wait: until a step is due (a request, or automatic mode in a stage that has a
  // step) or stop() holds. Clears the request it takes. False when stop() ended the wait.
  bool WaitForStep(CalState& state, const std::function<bool()>& stop,
                   const std::function<bool(int stage)>& stageHasStep);

 private:
  std::mutex m_;
  std::condition_variable cv_;
};

// What a calibration worker needs of its window. Every member is called on the interface thread.
class TCalHost {
 public:
  virtual ~TCalHost() = default;

  virtual TCalTables& Tables() = 0;
  // The bounds as numbers. Texts that are not bounds of the source table give nullopt and the
  // reason in why.
  virtual std::optional<CalRange> Range(std::string& why) = 0;
  // The code control: the number in its edit (nullopt when that is not a code 0 ... 1023).
  virtual std::optional<int> Code() = 0;
  virtual void SetCode(int code) = 0;
  // The code step (at least 1).
  virtual int CodeStep() = 0;
  // The message label.
  virtual void ShowMessage(const std::string& text) = 0;
  // The texts of the bounds and the code for the state file.
  virtual void FillInfo(ProcedureInfo& info) = 0;

  // Stage 1 began: the bounds can no longer be changed.
  virtual void RangeLocked() {}
  // A shot was logged (its row is the log's last).
  virtual void ShotLogged(const ShotRow&) {}
  // The last shot's curves as read: voltage, current, voltage, current, ...
  virtual void ShowCurves(const std::vector<int>&) {}
  // The pause between shots: leftMs of totalMs to go; leftMs 0 ends it.
  virtual void ShowPause(int /*totalMs*/, int /*leftMs*/) {}
  // The new tables were computed (curve: the transfer function for its chart).
  virtual void TablesComputed(const TransferCurve&) {}
  // The worker switched automatic mode off.
  virtual void AutoModeEnded() {}
  // K3: both characteristics are recorded; no more shots.
  virtual void SeriesEnded() {}
  // A step that exposes (the search or the series) began (true) or ended (false).
  virtual void StepRunning(bool) {}
};

// Timing knobs of the worker.
struct CalTiming {
  // Pauses last SNAPSHOTTIMEOUT seconds times this (tests shorten them; the program keeps 1).
  double pauseScale = 1.0;
  // The gauge moves at this interval during a pause.
  int pauseStepMs = 100;
  ShotTimeLimits shotLimits;
  // In automatic mode this many failed shots in a row switch automatic mode off.
  int maxFailedShots = 3;
};

// Why a shot did not go through, as the engine tells it in the message label (empty for the
// failures the state monitor shows itself: alarms and a busy apparatus).
std::string CalShotFailureMessage(ShotFailure failure);

class TCalWorker : public platform::Thread {
 public:
  TCalWorker(CalState& state, TCalLock& lock, TCalHost& host,
             platform::ThreadPriority priority = platform::ThreadPriority::Idle);
  // Stops the thread and waits for it (a shot under way is finished first).
  ~TCalWorker() override;

  // Sets the termination flag and wakes the worker out of its waits and pauses.
  void Stop();

  // The pause after a shot: SNAPSHOTTIMEOUT of the settings (1 s when absent, 1 ... 60 s) in ms.
  static int PauseBetweenShotsMs();

  // Steps ended so far (a step that did nothing counts too), and whether one is under way.
  int StepsDone() const { return stepsDone_.load(); }
  bool InStep() const { return stepsTaken_.load() != stepsDone_.load(); }

  CalTiming Timing;
  // The state file the worker writes after every logged shot and after the computation.
  std::filesystem::path StateFile = TCalTables::StateFilePath(false);

 protected:
  void Execute() override;
  // The step of a stage, called for every request (and continually in automatic mode while
  // StageHasStep says there is one): 1 the start code, 2 the search, 3 the series, 4 the
  // computation, 6 the grid sweep (K2).
  void Step(int stage);
  virtual void InitialCode() = 0;
  virtual void SearchRange() = 0;
  virtual void Series() = 0;
  virtual void ComputeTables() = 0;
  virtual void GridSweep() {}
  virtual bool StageHasStep(int stage) const { return stage >= 1 && stage <= 4; }
  // K3 writes its own file; the K2 file counts the log's rows as its shots.
  virtual bool K3() const { return false; }
  // The largest filament code the apparatus takes.
  virtual int MaxCode() const { return K3() ? kMaxFilamentCodeK3 : kMaxFilamentCode; }

  // Runs fn on the interface thread and returns its result.
  template <class F>
  auto OnUi(F&& fn) -> decltype(fn());

  // One exposure with the code: logged (log row, curves, state file) when it went through. The
  // caller holds the device lock. A failed shot is counted for automatic mode and told when the
  // state monitor cannot show why; the returned object says what happened.
  std::unique_ptr<TFilamentShot> MakeCalibrationShot(int code);
  // The exposure alone: a failed one is counted for automatic mode and told as above.
  std::unique_ptr<TFilamentShot> Expose(int code);
  // Sleeps ms in steps that move the gauge; ends at once when the worker is stopped.
  void WaitBetweenShots(int ms);
  // The pause of the settings, scaled.
  int PauseMs() const;

  void Message(const std::string& text);
  void SaveProcedureState();
  // Sets the code control to code clamped to 0 ... MaxCode(). When it had to be clamped the
  // engineer is told; when the shot just made already used that limit the range cannot be reached
  // that way and automatic mode stops. Returns the code set.
  int MoveCode(int code, int shotCode);
  void StopAutoMode();
  // The downward sweep ended with shot middleShot: the upward one starts from the code of the
  // first shot in the range moved by move (fallbackCode when that row cannot be read).
  void StartUpwardSweep(int middleShot, int fallbackCode, int move);
  // Reads the code control and the step; false (engineer told) when the code is not a number.
  bool ReadCode(int& code, int& step);
  // The range, or nullopt with the engineer told.
  std::optional<CalRange> ReadRange();

  CalState& state_;
  TCalLock& lock_;
  TCalHost& host_;
  platform::ThreadPriority basePriority_;
  int failedInRow_ = 0;
  bool stateFileTold_ = false;  // the failure to write the state file was told
  std::atomic<int> stepsTaken_{0};
  std::atomic<int> stepsDone_{0};
};

template <class F>
auto TCalWorker::OnUi(F&& fn) -> decltype(fn()) {
  using R = decltype(fn());
  if constexpr (std::is_void_v<R>) {
    platform::CurrentUi().Synchronize([&] { fn(); });
  } else {
    std::optional<R> result;
    platform::CurrentUi().Synchronize([&] { result.emplace(fn()); });
    return std::move(*result);
  }
}

// The type-K2 calibration: stage 1 computes the initial code from the present tables, stage 2
// searches for a code whose shot lands in the range (5 steps at a time), stage 3 sweeps down to
// the lower bound and up to the upper bound one step at a time, stage 4 computes the new tables.
// On request after that, stage 6 makes extra shots at the header currents the series did not
// come near (one target at a time, at most kGridAttempts shots each) and stage 4 computes the
// tables again, the calibration table fitted over the voltage from all shots.
class TCalProcedure : public TCalWorker {
 public:
  using TCalWorker::TCalWorker;
  ~TCalProcedure() override;

  static constexpr int kGridAttempts = 4;

 protected:
  void InitialCode() override;
  void SearchRange() override;
  void Series() override;
  void ComputeTables() override;
  void GridSweep() override;
  bool StageHasStep(int stage) const override { return (stage >= 1 && stage <= 4) || stage == 6; }

 private:
  // A header current the grid sweep stops aiming at, and why (told with the results).
  void GiveUpGridCurrent(int ma, const std::string& why);

  std::set<int> gridGivenUp_;
  std::map<int, int> gridAttempts_;
  std::string gridNotes_;
};

namespace calmsg {
extern const char* const kInitialCode;
extern const char* const kBelowRange;
extern const char* const kAboveRange;
extern const char* const kInRange;
extern const char* const kSeries;
extern const char* const kComputed;
extern const char* const kGridSeries;
}  // namespace calmsg

}  // namespace kvt
