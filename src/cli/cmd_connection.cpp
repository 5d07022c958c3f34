// kvtctl commands of the connection set-up: identify the system the way the main window's
// "Установка связи с системой" does, and watch the state monitor for a while.

#include <cstdio>
#include <functional>
#include <iostream>
#include <mutex>
#include <string>

#include "app/AdjConnInfo.h"
#include "app/Connection.h"
#include "app/MainHost.h"
#include "app/Manager.h"
#include "app/VDemon.h"
#include "cli/Command.h"
#include "cli/Json.h"
#include "link/SystemLink.h"
#include "link/SystemStatus.h"
#include "platform/Clock.h"
#include "platform/LinkLock.h"
#include "platform/ScriptedUi.h"
#include "platform/SerialPort.h"

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
    if (cli::JsonOutput()) return;   // the document alone goes to standard output
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

// The conclusion on one line (for a message).
std::string OneLine(std::string text) {
  for (char& ch : text)
    if (ch == '\n') ch = ' ';
  return text;
}

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
  int code = -1;  // -1: no answer
};

cli::Json GridRows(const platform::StringGrid& grid, bool skipEmptyLast,
                   const std::function<cli::Json(const std::vector<std::string>&)>& row) {
  cli::Json rows = cli::Json::array();
  const int last = grid.RowCount() - (skipEmptyLast ? 1 : 0);
  for (int r = grid.FixedRows(); r < last; ++r) rows.push_back(row(grid.RowCells(r)));
  return rows;
}

cli::Json NumberOrText(const std::string& text) {
  if (!text.empty() && text.size() < 10 &&
      text.find_first_not_of("0123456789") == std::string::npos)
    return std::stoi(text);
  return text;
}

cli::Json StateJson(const PolledState& s) {
  cli::Json state;
  state["code"] = s.code < 0 ? cli::Json() : cli::Json(s.code);
  state["text"] = s.text;
  state["alarm"] = s.alarm.empty() ? cli::Json() : cli::Json(s.alarm);
  return state;
}

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
  result.code = state;
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
  cli::Json doc = cli::JsonDocument();
  if (port.empty()) {
    const std::string said = host.States().empty() ? kvt::kNoConnectionText : host.States().back();
    ConsoleHost::Print("Порт: не найден");
    ConsoleHost::Print(said);
    if (!cli::JsonOutput()) return cli::kExitNotStarted;
    doc["port"] = nullptr;
    doc["conclusion"] = said;
    if (const auto* w = host.ConnectionWindow())
      doc["conclusion"] = TrimLeadingBreaks(w->lbConclusion.Caption());
    return cli::EmitJson(std::move(doc), cli::kExitNotStarted);
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
  const bool ready = conclusion == kReadyText && state.fine;
  const int status = ready ? 0 : cli::kExitFailed;
  if (!cli::JsonOutput()) return status;

  const auto& s = kvt::SystemStatus();
  doc["port"] = port;
  doc["simulator"] = platform::PortIsSimulator(port);
  doc["type"] = s.TypeKnown ? cli::Json(s.SystemType()) : cli::Json();
  cli::Json version;  // the window's line "Версия программного обеспечения 2.3"
  const std::string caption = w.Label2.Caption();
  const std::string tag = "Версия программного обеспечения ";
  if (const auto at = caption.find(tag); at != std::string::npos)
    version = caption.substr(at + tag.size(), caption.find('\n', at) - at - tag.size());
  doc["version"] = version;
  doc["description"] = caption;
  doc["modules"] = GridRows(w.ModulesTable, true, [](const std::vector<std::string>& c) {
    return cli::Json{
        {"page", NumberOrText(c.at(0))}, {"name", c.at(1)}, {"code", NumberOrText(c.at(2))}};
  });
  doc["checksums"] = w.GroupBox2.Visible()
                         ? GridRows(w.StringGrid1, false,
                                    [](const std::vector<std::string>& c) {
                                      return cli::Json{{"bank", NumberOrText(c.at(0))},
                                                       {"ok", c.at(1) == "OK"},
                                                       {"checksum", c.at(2)}};
                                    })
                         : cli::Json::array();
  doc["conclusion"] = conclusion;
  doc["ready"] = ready;
  doc["state"] = StateJson(state);
  return cli::EmitJson(std::move(doc), status);
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

// The main window's power commands: the same frames and the same waits, offered only where the
// main window would offer the button (after the same connection set-up), then the apparatus is
// watched until it has reached what was asked for, so a script can go on from there.
int Power(cli::Context& context) {
  constexpr const char* kUsage = "usage: power on|standby|off [--wait SECONDS]";
  const auto& a = context.args;
  int waitSeconds = 120;
  if (a.size() == 3 && a[1] == "--wait" && !a[2].empty() && a[2].size() <= 4 &&
      a[2].find_first_not_of("0123456789") == std::string::npos)
    waitSeconds = std::stoi(a[2]);
  else if (a.size() != 1)
    return cli::Fail(kUsage);
  const std::string what = a[0];
  struct Command {
    kvt::ManagerButton button;
    kvt::Frame frame;
    int waitMs;
    const char* stateText;
    bool (*reached)(int state);
  };
  Command c;
  if (what == "on")
    c = {kvt::ManagerButton::btnPowerOn, kvt::frames::PowerOn(), 1000, "ВКЛЮЧЕНИЕ СИСТЕМЫ",
         [](int s) {
           const auto action = kvt::ActionForState(s);
           return action && action->systemOn.value_or(false);
         }};
  else if (what == "standby")
    c = {kvt::ManagerButton::btnUnderHeatOn, kvt::frames::UnderHeatOn(), 0, nullptr, [](int s) {
           const auto action = kvt::ActionForState(s);
           return action && action->preheated.value_or(false);
         }};
  else if (what == "off")
    c = {kvt::ManagerButton::btnPowerOff, kvt::frames::PowerOff(), 2000, "ВЫКЛЮЧЕНИЕ СИСТЕМЫ",
         [](int s) { return s == 0; }};
  else
    return cli::Fail(kUsage);
  if (!cli::SettingsPresent()) return cli::kExitNotStarted;

  ConsoleUi ui;
  ConsoleHost host(false);
  const std::string port = kvt::RunConnectionSequence(host);
  host.StopMonitor();  // this command polls by itself
  if (port.empty()) return cli::Fail("power: no apparatus answers on COM1..COM4");
  const PolledState before = PollOnce();
  if (before.code < 0) return cli::Failed("power: the main controller does not answer");
  std::cout << "Порт: " << port << (platform::PortIsSimulator(port) ? kvt::kSimulatorMark : "")
            << "\nСостояние: " << before.text << std::endl;
  if (c.reached(before.code)) {
    std::cout << "power " << what << ": already so; nothing sent" << std::endl;
    return 0;
  }
  // The flags the monitor would have set from this state decide, as in the main window.
  auto& status = kvt::SystemStatus();
  if (const auto action = kvt::ActionForState(before.code)) {
    if (action->systemOn) status.SystemOn = *action->systemOn;
    if (action->preheated) status.Preheated = *action->preheated;
  }
  // Switching off is the safe direction: it is never refused (an alarm hides whether the
  // apparatus is on, which the main window would still know from before).
  if (what != "off" && !kvt::ComputeButtonEnabling(status)[std::size_t(c.button)]) {
    const std::string conclusion =
        TrimLeadingBreaks(host.ConnectionWindow()->lbConclusion.Caption());
    return cli::Fail("power " + what + ": the main window does not offer this now (state \"" +
                     before.text + "\"; " + OneLine(conclusion) + "); nothing sent");
  }
  bool accepted;
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    kvt::TSystemLink link;
    link.SendFrame(c.frame);
    // A reply that came and is not the refusal, as the link judges an acknowledgement.
    accepted = link.LastCount() >= 2 && link.RxBuffer()[1] != kvt::kReplyRefused;
    // The controller switches meanwhile: nothing polls it before the wait is over.
    if (c.waitMs > 0) platform::Delay(c.waitMs);
  }
  if (c.stateText) std::cout << c.stateText << std::endl;
  if (!accepted) return cli::Failed("power " + what + ": the apparatus refused the command");
  std::string shown = before.text;
  const std::uint64_t end = platform::TickCount() + std::uint64_t(waitSeconds) * 1000;
  for (;;) {
    const PolledState now = PollOnce();
    if (now.text != shown) {
      shown = now.text;
      std::cout << "Состояние: " << shown << std::endl;
    }
    if (!now.alarm.empty() && what != "off") return cli::Failed("power " + what + ": " + now.alarm);
    if (now.code >= 0 && c.reached(now.code)) return 0;
    if (platform::TickCount() >= end)
      return cli::Failed("power " + what + ": not reached within " + std::to_string(waitSeconds) +
                         " s (state \"" + shown + "\")");
    platform::Delay(300);  // the monitor's pace
  }
}

cli::Registrar identifyCommand("identify", "identify            find the port, identify the system",
                               Identify, true);
cli::Registrar powerCommand("power",
                            "power on|standby|off [--wait S]  the main window's power commands; "
                            "waits until done (default 120 s)",
                            Power);
cli::Registrar monitorCommand("monitor",
                              "monitor [SECONDS]   connect and print the state monitor's texts "
                              "(default 10 s)",
                              Monitor);

}  // namespace
