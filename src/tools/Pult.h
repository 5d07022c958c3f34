#pragma once
// TfrmPult ("Пульт управления"): a copy of the apparatus's operator console. Power, footboard and
// door drives, the exposure values U (kV), I (mA) and T (0.01 s) stepped by held keys or taken
// from a stored exposure program (examination mode × 16 + patient density), programming new
// programs, the three counters, and the two-stage exposure key with its two lamps.
//
// Two workers belong to the window: TKeyRefresher steps a value while its key is held, and
// TSnapshotDispatcher follows an exposure's states and drives the lamps. Both reach the window
// only through the interface thread (Synchronize), in order; the window owns them and waits for
// them when it lets one go, so nothing they do arrives after the window has moved on.
//
// The exposure key acts while held: pressing it in the ready state prepares the shot, pressing it
// again once prepared releases it. Letting it go before the preparation is complete, or before
// the exposure is over, cancels the shot; so do the cancel key, closing the window, a lost line
// and an alarm. A cancel always ends with 01 54 and both lamps off.
//
// Only a preparation this window started and saw complete on the present connection is ever
// released. Any other shot it finds (left over after a lost line, made from another console,
// found when the window opens or after the main window connects anew) is cancelled and the
// engineer told; while a shot of its own is under way the parameter keys are refused. The
// dispatcher's lamps and states reach the window even while a message box is open.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "app/ToolWindow.h"
#include "platform/Controls.h"
#include "platform/Thread.h"
#include "tools/PultKeys.h"

namespace kvt {

class MainHost;
class TSnapshot;
class TfrmPult;

namespace pult {

// Lamp pictures.
inline constexpr const char* kPrepOn = "PrepOnLamp";
inline constexpr const char* kPrepComplete = "PrepComplLamp";
inline constexpr const char* kPrepOff = "PrepOffLamp";
inline constexpr const char* kHVOn = "HVOnLamp";
inline constexpr const char* kHVOff = "HVOffLamp";

// The stepping keys' bounds, whatever the window's limits.
inline constexpr int kStepMin = 0;
inline constexpr int kStepMax = 255;
inline constexpr int kIMin = 30;
inline constexpr int kIMax = 255;
inline constexpr int kTMin = 0;
inline constexpr int kTMax = 65535;

// Hundredths as the shortest decimal number of seconds: 6 -> "0.06", 150 -> "1.5", 100 -> "1".
std::string SecondsText(int hundredths);
// What lbT shows: TfrmPult::kScop for 0, else SecondsText.
std::string TText(int hundredths);
// lbT's text back in hundredths ("скоп" gives 0), rounded to the nearest hundredth; -1 when the
// text is no number.
int ParseT(const std::string& text);
// A counter value in the program's number format (no exponent, no trailing zeros).
std::string NumberText(double value);
// Working time: ":" before the last two characters of a text longer than two (12345 -> 123:45).
std::string WorkTimeText(const std::string& digits);
// Total exposure time: "." before the last two characters, then ":" before the last four of a
// text now longer than four, then ":" before the last six of one longer than six (12345 ->
// 1:2:3.45). Fewer than three digits are padded with zeros first (5 -> 0.05).
std::string TotalExposureTimeText(const std::string& digits);
}  // namespace pult

// Times of the workers (tests shorten them).
struct PultTiming {
  int firstDelayMs = 500;  // a stepping key held this long starts repeating
  int repeatMs = 350;      // then one step of 10 every so often
  int pollPauseMs = 10;    // between two state polls of the dispatcher
  int lostAfterPolls = 8;  // unanswered polls in a row that mean the line is lost
  int watchPauseMs = 100;  // between two polls while the shot waits prepared
};

// Steps one value while its key is held.
class TKeyRefresher : public platform::Thread {
 public:
  TKeyRefresher(TfrmPult& form, platform::Label& label, int value, int step,
                const PultTiming& timing);
  ~TKeyRefresher() override;

  // The key was released.
  void Stop() { Terminate(); }
  // The window closes: stop without the last single step.
  void Abandon() {
    abandoned_ = true;
    Terminate();
  }

 protected:
  void Execute() override;

 private:
  void Step();

  TfrmPult& form_;
  platform::Label& label_;
  int value_;
  const int start_;
  int step_;
  PultTiming timing_;
  std::atomic<bool> abandoned_{false};
  std::unique_ptr<TSnapshot> shot_;
};

// Follows the states of a preparation or an exposure and drives the lamps. A preparation is
// followed on while the shot waits prepared, until the window takes over or the state leaves 24.
class TSnapshotDispatcher : public platform::Thread {
 public:
  enum class Stage { Prepare, Expose };
  TSnapshotDispatcher(TfrmPult& form, Stage stage, const PultTiming& timing);
  ~TSnapshotDispatcher() override;

 protected:
  void Execute() override;

 private:
  void Lamp(bool preparation, const char* picture);
  // An exposure that ends other than it should (alarm, another state, lost line): cancel it.
  void Abort(bool exposing);

  TfrmPult& form_;
  Stage stage_;
  PultTiming timing_;
  std::unique_ptr<TSnapshot> shot_;
};

class TfrmPult : public ToolFormModel {
 public:
  // Texts of the window.
  static constexpr const char* kCaption = "Пульт управления";
  static constexpr const char* kTitle = "pult";
  static constexpr const char* kSelectModeTitle = "TfrmPult::SelectMode";
  static constexpr const char* kScop = "скоп";
  static constexpr const char* kCannotShoot = "Снимок не может быть выполнен.";
  static constexpr const char* kNotAccepted = "Параметры не приняты";
  // A shot the window did not start: what was found, then what became of it.
  static constexpr const char* kForeignPreparing =
      "Аппарат готовился к снимку, которого этот пульт не начинал.";
  static constexpr const char* kForeignPrepared =
      "Аппарат подготовлен к снимку, которого этот пульт не начинал (подготовка осталась после "
      "потери связи или сделана с другого пульта).";
  static constexpr const char* kForeignExposing =
      "Аппарат выполнял снимок, которого этот пульт не начинал.";
  static constexpr const char* kForeignCancelled = " Подготовка отменена, снимок не выполнен.";
  static constexpr const char* kForeignStopped = " Снимок остановлен.";
  static constexpr const char* kForeignUnconfirmed =
      " Отмена послана, но система не подтвердила её: проверьте аппарат.";
  // A parameter key pressed while a shot is under way.
  static constexpr const char* kBusyWithShot =
      "Идёт снимок: параметры не изменены. Сначала отпустите кнопку снимка или отмените снимок.";
  // Shown in the counter display when the counter could not be read.
  static constexpr const char* kUnreadable = "----";

  enum class ShotStage { None, Preparing, Prepared, Exposing };

  // Sets the control panel's tool-window flag of host (none when null), then reads the U limits,
  // the synchronisation switch and the current exposure values.
  explicit TfrmPult(MainHost* host, const PultTiming& timing = {});
  // Brings the apparatus to the safe state as closing does, waits for the workers, clears the flag.
  ~TfrmPult();

  // --- controls ---
  platform::Panel Panel1{"Panel1"};  // the silver inner panel
  SpeedButton btnPower{"btnPower"};
  SpeedButton btnVSynchro{"btnVSynchro"};
  SpeedButton btnFootBoardUp{"btnFootBoardUp"};
  SpeedButton btnFootBoardDown{"btnFootBoardDown"};
  SpeedButton btnDoorDrive{"btnDoorDrive"};
  platform::Label lbU{"lbU"};
  platform::Label lbI{"lbI"};
  platform::Label lbT{"lbT"};
  SpeedButton btnUup{"btnUup"};
  SpeedButton btnUdn{"btnUdn"};
  SpeedButton btnIup{"btnIup"};
  SpeedButton btnIdn{"btnIdn"};
  SpeedButton btnTup{"btnTup"};
  SpeedButton btnTdn{"btnTdn"};
  SpeedButton btnH1{"btnH1"};
  SpeedButton btnH2{"btnH2"};
  SpeedButton btnH3{"btnH3"};
  SpeedButton btnH4{"btnH4"};
  SpeedButton btnH5{"btnH5"};
  SpeedButton btnH6{"btnH6"};
  SpeedButton btnLungs{"btnLungs"};
  SpeedButton btnTorsoFace{"btnTorsoFace"};
  SpeedButton btnTorsoProfile{"btnTorsoProfile"};
  SpeedButton btnSkullProfile{"btnSkullProfile"};
  SpeedButton btnA{"btnA"};
  SpeedButton btnB{"btnB"};
  SpeedButton btnC{"btnC"};
  SpeedButton btnD{"btnD"};
  SpeedButton btnProgramm{"btnProgramm"};
  SpeedButton btnWorkTimeCounter{"btnWorkTimeCounter"};
  SpeedButton btnTotalExposureTime{"btnTotalExposureTime"};
  SpeedButton btnTotalSnapshots{"btnTotalSnapshots"};
  platform::Label CounterIndicator{"CounterIndicator"};
  SpeedButton btnSnapshot{"btnSnapshot"};
  SpeedButton btnCancelSnapshot{"btnCancelSnapshot"};
  platform::Picture PrepLamp{"PrepLamp"};
  platform::Picture HVLamp{"HVLamp"};
  platform::Picture CalimState{"CalimState"};
  platform::Picture Image1{"Image1"};
  platform::Picture Image2{"Image2"};
  platform::Picture Image3{"Image3"};
  platform::Picture Image4{"Image4"};
  platform::Picture Image5{"Image5"};
  platform::Picture Image6{"Image6"};
  platform::Picture Image7{"Image7"};

  KeyGroup Densities;  // btnH1 .. btnH6, tags 0 .. 5
  KeyGroup Modes;      // btnLungs .. btnD, tags 0 .. 7

  // --- handlers ---
  // The power key's state from the apparatus's state.
  void FormCreate();
  // The window is hidden: stepping stops, a held footboard stops, a shot under way is cancelled.
  void FormClose();
  void btnPowerClick();
  void btnVSynchroClick();
  void btnFootBoardMouseDown(SpeedButton& key, MouseButton button);
  void btnFootBoardMouseUp(MouseButton button);
  void btnDoorDriveClick();
  void StepKeyMouseDown(SpeedButton& key, MouseButton button);
  void StepKeyMouseUp(MouseButton button);
  void SelectMode(SpeedButton& key);
  void SelectDensity(SpeedButton& key);
  void btnProgrammClick();
  void btnWorkTimeCounterClick();
  void btnTotalExposureTimeClick();
  void btnTotalSnapshotsClick();
  // The exposure key going down: prepares in state 8, releases the shot in state 24.
  void btnSnapshotClick();
  // The exposure key coming up: a preparation or exposure not yet complete is cancelled.
  void btnSnapshotMouseUp(MouseButton button);
  void btnCancelSnapshotClick();

  // The main window declared the connection lost: a shot of this window ends in the safe state
  // (as far as anything still reaches the apparatus), the lamps go out, and the apparatus's state
  // is read afresh before the next press is acted on.
  void ConnectionLost();
  // The main window connected anew: as ConnectionLost, then the state is read at once; a shot
  // found then is cancelled and the engineer told.
  void Connected();

  // --- values ---
  int ULow() const { return uLow_; }
  int UHigh() const { return uHigh_; }
  // The values the labels show (T in hundredths; -1 when a label holds no number).
  int U() const;
  int I() const;
  int T() const;
  ShotStage Stage() const { return stage_; }
  // No worker is running (for tests and the view).
  bool WorkersIdle() const;
  // The shot waiting prepared is this window's own and may be released by the next press.
  bool OwnsPreparation() const { return ownPrepared_; }

 private:
  friend class TKeyRefresher;
  friend class TSnapshotDispatcher;

  void ShowValue(platform::Label& label, int value);
  void ShowParameters(int u, int i, int t, bool zeroAsScop);
  void LoadProgram(int program);
  void StoreProgram();
  void ShowCounter(std::uint8_t selector);
  void SendSimple(std::uint8_t command);
  void StopRefresher(bool abandon);
  void StopDispatcher();
  void ReapDispatcher();
  void StartDispatcher(TSnapshotDispatcher::Stage stage);
  // Cancel or stop the shot by the apparatus's state, lamps off, 01 54.
  void CancelShot();
  void LampsOff();
  // From the dispatcher, on the interface thread.
  void DispatcherLamp(bool preparation, const char* picture);
  void DispatcherPrepared();
  void DispatcherEnded(bool lineLost);
  // A shot of this window is preparing, prepared or exposing.
  bool ShotUnderWay() const { return stage_ != ShotStage::None; }
  // Tells the engineer that a parameter key does nothing now; true when it must be refused.
  bool RefuseDuringShot();
  // Ends a shot of this window in the safe state and forgets that it had one.
  void EndOwnShot();
  // Polls the state; a shot found is cancelled and the engineer told. False without an answer.
  bool ReadStateAfresh();
  // With the device lock held: cancels or stops a shot this window did not start, found in
  // state s, and returns what to tell the engineer.
  std::string CancelForeignShot(TSnapshot& shot, std::uint8_t s);

  PultTiming timing_;
  int uLow_ = 0;
  int uHigh_ = 255;
  SpeedButton* currentMode_ = &btnLungs;
  SpeedButton* currentDensity_ = &btnH1;
  ShotStage stage_ = ShotStage::None;
  bool footboardHeld_ = false;
  bool closed_ = false;
  // The preparation waiting is this window's own: started here, seen complete by its dispatcher,
  // on the connection it was started on (prepGeneration_).
  bool ownPrepared_ = false;
  std::uint64_t prepGeneration_ = 0;
  // The connection was lost or the dispatcher lost the line: the state must be read again
  // before a press is acted on.
  bool freshReadNeeded_ = false;
  bool inConnectionChange_ = false;
  std::unique_ptr<TKeyRefresher> refresher_;
  std::unique_ptr<TSnapshotDispatcher> dispatcher_;
};

}  // namespace kvt
