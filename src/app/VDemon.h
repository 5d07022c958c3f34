#pragma once
// The state monitor: while a connection exists it asks the main controller for its state every
// 300 ms, shows the state text, keeps SystemOn and Preheated current, reports alarms and an
// invalid state (opening the terminal on its console page) and detects a lost connection.
//
// Ownership: the main window (MainHost) owns the monitor and ends it with terminate-and-wait; the
// monitor never deletes itself. When it ends on its own (lost connection) its thread simply
// returns and the object stays until the owner reaps it. So the owner's pointer is valid at every
// moment and stopping is always safe, even if the thread ended a moment earlier.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/Thread.h"

namespace kvt {

class MainHost;
class TSystemLink;

inline constexpr int kMonitorPollMs = 300;
inline constexpr int kReconnectWindowMs = 2000;
inline constexpr const char* kMonitorTitle = "vdemon";
inline constexpr const char* kNoConnectionText = "СВЯЗЬ НЕ УСТАНОВЛЕНА";

// What the monitor does with a state code below 128: the text to show (empty for 56, which shows
// none) and the flags to set (nullopt leaves a flag as it was). nullopt for an invalid state.
struct StateAction {
  std::string text;
  std::optional<bool> systemOn;
  std::optional<bool> preheated;
};
std::optional<StateAction> ActionForState(int state);

// "Авария в системе: " + the description of the alarm code from the settings file, or the default
// "Неизвестная авария (Код: 0xHH)".
std::string AlarmMessage(std::uint8_t code);

class TVDemon : public platform::Thread {
 public:
  // Starts the thread at once at idle priority; sets the host's MonitorRunning.
  explicit TVDemon(MainHost& host);
  // Asks the thread to end and waits for it.
  ~TVDemon() override;

  void RequestReannounce() { reannounce_ = true; }

  int State() const { return state_; }
  int LastState() const { return lastState_; }
  bool Reconnected() const { return reconnected_; }

 protected:
  void Execute() override;
  void OnEnd() override;

 private:
  void Poll();
  void Reconnect();
  void ConnectionLost();
  void InvalidState();
  void Alarm();
  void ShowBox(const std::string& text);
  void OpenTerminal();

  MainHost& host_;
  std::unique_ptr<TSystemLink> link_;
  std::atomic<int> state_{0};
  std::atomic<int> lastState_{-1};
  std::atomic<bool> reannounce_{false};
  std::atomic<bool> reconnected_{false};
};

}  // namespace kvt
