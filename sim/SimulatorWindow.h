#pragma once
// The trainer's window "Имитатор аппарата": what the simulated apparatus is doing now, and the
// plant changes a trainer makes while trainees work (mains, per phase on K4; tube ageing; an
// alarm now; a line that goes dead for a while). It acts on the simulator itself, never through
// the line, so the program under training sees only what a real apparatus would show.

#include <memory>
#include <string>

#include "platform/Controls.h"

namespace sim {

class Apparatus;

// The keyboard shortcut of the main window that reopens it (its caption names it).
inline constexpr const char* kSimulatorShortcut = "Ctrl+F12";

class TfrmSimulator : public platform::FormModel {
 public:
  explicit TfrmSimulator(std::shared_ptr<Apparatus> apparatus);

  // What the apparatus is doing.
  platform::GroupBox gbState{"gbState"};
  platform::Label lbState{"lbState"};
  platform::Label lbDrive{"lbDrive"};
  // The anode's speed, and how long its last coasting took to a stop.
  platform::Label lbAnode{"lbAnode"};
  platform::Label lbFilament{"lbFilament"};
  platform::Label lbSupply{"lbSupply"};
  platform::Label lbLastShot{"lbLastShot"};
  // The plant.
  platform::GroupBox gbPlant{"gbPlant"};
  platform::Label lbMainsA{"lbMainsA"};
  platform::Edit edMainsA{"edMainsA"};
  platform::UpDown udMainsA{"udMainsA"};
  platform::Label lbMainsB{"lbMainsB"};  // K4 only
  platform::Edit edMainsB{"edMainsB"};
  platform::UpDown udMainsB{"udMainsB"};
  platform::Label lbMainsC{"lbMainsC"};  // K4 only
  platform::Edit edMainsC{"edMainsC"};
  platform::UpDown udMainsC{"udMainsC"};
  platform::Label lbAgeing{"lbAgeing"};
  platform::Edit edAgeing{"edAgeing"};
  platform::UpDown udAgeing{"udAgeing"};  // percent
  // Faults.
  platform::GroupBox gbFaults{"gbFaults"};
  platform::Label lbAlarmCode{"lbAlarmCode"};
  platform::Edit edAlarmCode{"edAlarmCode"};  // two hexadecimal digits
  platform::Button btnAlarm{"btnAlarm"};
  platform::Button btnClearAlarm{"btnClearAlarm"};
  platform::Label lbDead{"lbDead"};
  platform::Edit edDeadSeconds{"edDeadSeconds"};
  platform::UpDown udDeadSeconds{"udDeadSeconds"};
  platform::Button btnDead{"btnDead"};
  platform::Label lbStator{"lbStator"};
  platform::ComboBox cbStator{"cbStator"};  // the stator fault: none, open, shorted, over-range
  platform::Label lbMessage{"lbMessage"};
  platform::Timer RefreshTimer{"RefreshTimer"};

  void FormCreate();
  void RefreshTimerTimer();
  void udMainsChange(int phase);
  void udAgeingChange();
  void btnAlarmClick();
  void btnClearAlarmClick();
  void btnDeadClick();
  void cbStatorChange();

  // The text the state display shows for a state code.
  static std::string StateText(int state);
  // The anode line: its speed while it turns, the moment it stopped after a coasting.
  static std::string AnodeText(double speedPercent, int stoppedAfterMs);

 private:
  std::shared_ptr<Apparatus> apparatus_;
  bool k4_ = false;
  bool loading_ = false;       // the controls are being filled from the plant: no change to make
  bool silenceShown_ = false;  // lbMessage tells of a silence the line may have ended since
};

}  // namespace sim
