// kvtctl commands of the connection set-up: identify the system the way the main window's
// "Установка связи с системой" does, and watch the state monitor for a while.

#include <cstdio>
#include <iostream>
#include <mutex>
#include <string>

#include "app/AdjConnInfo.h"
#include "app/Connection.h"
#include "app/MainHost.h"
#include "app/VDemon.h"
#include "cli/Command.h"
#include "link/SystemLink.h"
#include "platform/Clock.h"
#include "platform/LinkLock.h"
#include "platform/ScriptedUi.h"

namespace {

// kvtctl's main window: the state texts are kept (identify) or printed as they are shown
// (monitor); the terminal cannot be opened here, so the request is only noted.
class ConsoleHost : public kvt::MainHost {
 public:
  explicit ConsoleHost(bool echo) : echo_(echo) {}
  ~ConsoleHost() override { Shutdown(); }

  void ShowState(const std::string& text) override {
    states_.push_back(text);
    if (echo_) Print(text);
  }
  void RefreshButtons() override {}
  void OpenTerminal(const std::string& page) override { terminals_.push_back(page); }

  const std::vector<std::string>& States() const { return states_; }

  static void Print(const std::string& line) {
    std::cout << line << std::endl;  // flushed: the output may be watched live
  }

 private:
  bool echo_;
  std::vector<std::string> states_;
  std::vector<std::string> terminals_;
};

// Installs a scripted interface for the command's life, with this thread as the interface thread.
class ConsoleUi {
 public:
  ConsoleUi() : previous_(platform::InstalledUi()) { platform::SetUi(&ui_); }
  ~ConsoleUi() { platform::SetUi(previous_); }
  platform::ScriptedUi& operator*() { return ui_; }
  platform::ScriptedUi* operator->() { return &ui_; }

 private:
  platform::ScriptedUi ui_;
  platform::Ui* previous_;
};

constexpr const char* kReadyText = "СИСТЕМА ГОТОВА К РАБОТЕ!";
constexpr std::uint8_t kAlarmVariable = 0x23;
constexpr int kFirstAlarmState = 128;

// Drops the leading line breaks of a conclusion (they only space it out in the window).
std::string TrimLeadingBreaks(const std::string& text) {
  const std::size_t start = text.find_first_not_of('\n');
  return start == std::string::npos ? std::string() : text.substr(start);
}

void PrintGrid(const platform::StringGrid& grid, bool skipEmptyLast) {
  const int last = grid.RowCount() - (skipEmptyLast ? 1 : 0);
  for (int r = grid.FixedRows(); r < last; ++r) {
    std::string line;
    for (int c = 0; c < grid.ColCount(); ++c) {
      if (c) line += '\t';
      line += grid.Cell(c, r);
    }
    ConsoleHost::Print(line);
  }
}

// The state as the monitor would show it after one poll; not fine when the controller is
// silent, in alarm or in a state it should never be in.
struct PolledState {
  std::string text;
  std::string alarm;
  bool fine = false;
};

PolledState PollOnce() {
  PolledState result;
  platform::LinkLock::Guard guard(platform::TheLinkLock());
  kvt::TSystemLink link;
  link.SelectModule(kvt::kMainControllerAddress);
  const std::uint8_t state = link.PollState();
  if (link.LastCount() == 0) {
    result.text = "нет ответа";
    return result;
  }
  if (state >= kFirstAlarmState) {
    result.text = "ОШИБКА";
    link.SendFrame(kvt::frames::ReadVariable(kAlarmVariable));
    result.alarm = link.LastCount() >= 3 ? kvt::AlarmMessage(link.RxBuffer()[2])
                                         : "Авария в системе: код аварии не прочитан";
    return result;
  }
  const auto action = kvt::ActionForState(state);
  if (!action) {
    result.text = "Некорректное состояние системы. (код " + std::to_string(state) + ")";
    return result;
  }
  result.text = action->text.empty() ? "код " + std::to_string(state) : action->text;
  result.fine = true;
  return result;
}

// Exits 0 only when the system is ready; 1 when an apparatus answered but the conclusion or its
// state names a problem; 2 when nothing answered.
int Identify(cli::Context& context) {
  if (!context.args.empty()) return cli::Fail("identify takes no arguments");
  if (!cli::SettingsPresent()) return 2;
  ConsoleUi ui;
  ConsoleHost host(false);
  const std::string port = kvt::RunConnectionSequence(host);
  host.StopMonitor();  // identification only
  if (port.empty()) {
    ConsoleHost::Print("Порт: не найден");
    ConsoleHost::Print(host.States().empty() ? kvt::kNoConnectionText : host.States().back());
    return cli::kExitNotStarted;
  }
  const kvt::TfrmAdjustConnectionInfo& w = *host.ConnectionWindow();
  ConsoleHost::Print("Порт: " + port);
  ConsoleHost::Print(w.Label2.Caption());
  ConsoleHost::Print("Состав системы (страница, модуль, код):");
  PrintGrid(w.ModulesTable, /*skipEmptyLast=*/true);
  if (w.GroupBox2.Visible()) {
    ConsoleHost::Print("Контрольные суммы (банк, результат, КС):");
    PrintGrid(w.StringGrid1, false);
  }
  ConsoleHost::Print("Вывод:");
  const std::string conclusion = TrimLeadingBreaks(w.lbConclusion.Caption());
  ConsoleHost::Print(conclusion);
  const PolledState state = PollOnce();
  ConsoleHost::Print("Состояние: " + state.text);
  if (!state.alarm.empty()) ConsoleHost::Print(state.alarm);
  return conclusion == kReadyText && state.fine ? 0 : cli::kExitFailed;
}

int Monitor(cli::Context& context) {
  int seconds = 10;
  if (context.args.size() > 1) return cli::Fail("monitor takes at most one argument (SECONDS)");
  if (context.args.size() == 1) {
    const std::string& a = context.args[0];
    if (a.empty() || a.size() > 5 || a.find_first_not_of("0123456789") != std::string::npos)
      return cli::Fail("monitor: SECONDS must be a whole number from 0 to 99999");
    seconds = std::stoi(a);
  }
  if (!cli::SettingsPresent()) return 2;
  ConsoleUi ui;
  ui->SetMessageObserver([](const platform::MessageRequest& m) { ConsoleHost::Print(m.text); });
  ConsoleHost host(true);
  const std::string port = kvt::RunConnectionSequence(host);
  if (port.empty()) return cli::kExitNotStarted;
  const std::uint64_t end = platform::TickCount() + std::uint64_t(seconds) * 1000;
  // This thread is the interface thread: serve the monitor's texts and boxes until the time is up
  // or the monitor has ended (lost connection).
  ui->PumpUntil([&] { return platform::TickCount() >= end || !host.MonitorRunning; },
                seconds * 1000 + 1000);
  // A monitor that ended by itself has lost the connection.
  const bool lost = !host.MonitorRunning;
  host.StopMonitor();
  ui->Drain();
  return lost ? cli::kExitFailed : 0;
}

cli::Registrar identifyCommand("identify", "identify            find the port, identify the system",
                               Identify);
cli::Registrar monitorCommand("monitor",
                              "monitor [SECONDS]   connect and print the state monitor's texts "
                              "(default 10 s)",
                              Monitor);

}  // namespace
