#include "app/VDemon.h"

#include <cstdio>

#include "app/AdjConnInfo.h"
#include "app/MainHost.h"
#include "link/SystemLink.h"
#include "link/SystemStatus.h"
#include "platform/Clock.h"
#include "platform/Ini.h"
#include "platform/LinkLock.h"
#include "platform/Paths.h"
#include "platform/SerialPort.h"
#include "platform/Ui.h"

namespace kvt {

namespace {
constexpr std::uint8_t kAlarmVariable = 0x23;
constexpr int kFirstAlarmState = 128;
}  // namespace

std::optional<StateAction> ActionForState(int state) {
  switch (state) {
    case 0:
      return StateAction{"СИСТЕМА ВЫКЛЮЧЕНА", false, false};
    case 1:
      return StateAction{"ВКЛЮЧЕНИЕ", std::nullopt, std::nullopt};
    case 2:
      return StateAction{"СИСТЕМА ВКЛЮЧЕНА", true, false};
    case 4:
      return StateAction{"ИДЕТ ПРОГРЕВ КАТОДА", true, std::nullopt};
    case 8:
      return StateAction{"ПОДНАКАЛ ВКЛЮЧЕН", true, true};
    case 9:
      return StateAction{"ПОДГОТОВКА К СНИМКУ", true, true};
    case 10:
      return StateAction{"ПОДГОТОВКА К СНИМКУ", std::nullopt, std::nullopt};
    case 24:
      return StateAction{"СИСТЕМА ГОТОВА К СНИМКУ", true, true};
    case 56:
      return StateAction{"", std::nullopt, std::nullopt};
    case 57:
      return StateAction{"СИНХРОНИЗАЦИЯ...", std::nullopt, std::nullopt};
    case 58:
    case 59:
      return StateAction{"ВЫСОКОЕ ВКЛЮЧЕНО", std::nullopt, std::nullopt};
    case 72:
      return StateAction{"СНИМОК ВЫПОЛНЕН", std::nullopt, std::nullopt};
    case 73:
      return StateAction{"ОЖИДАНИЕ ПОДТВЕРЖДЕНИЯ", true, true};
    default:
      return std::nullopt;
  }
}

std::string AlarmMessage(std::uint8_t code) {
  char hex[3];
  std::snprintf(hex, sizeof hex, "%02X", unsigned(code));
  const platform::IniFile ini(platform::SettingsPath());
  return "Авария в системе: " +
         ini.ReadString("Описание ошибок флюорографа", hex,
                        std::string("Неизвестная авария (Код: 0x") + hex + ")");
}

TVDemon::TVDemon(MainHost& host)
    : platform::Thread(host.MonitorPriority), host_(host), link_(std::make_unique<TSystemLink>()) {
  host_.MonitorRunning = true;
  Start();
}

TVDemon::~TVDemon() {
  // The thread uses the members below; it must be gone before they are.
  Terminate();
  WaitFor();
  host_.MonitorRunning = false;
}

void TVDemon::OnEnd() {
  host_.MonitorRunning = false;
}

void TVDemon::Poll() {
  link_->SelectModule(kMainControllerAddress);
  const std::uint8_t state = link_->PollState();
  const bool answered = link_->LastCount() != 0;
  if (answered) state_ = state;
  SystemStatus().LinkUp = answered;
}

void TVDemon::Reconnect() {
  const std::uint64_t start = platform::TickCount();
  do {
    const std::uint64_t pollStart = platform::TickCount();
    Poll();
    if (link_->LastCount() != 0 || Terminated()) break;
    // On the real line a silent poll has already spent the read time-outs; a line that reports
    // silence at once is not hammered either.
    const std::uint64_t spent = platform::TickCount() - pollStart;
    if (spent < std::uint64_t(platform::kSilenceMs) && !Sleep(platform::kSilenceMs - int(spent)))
      break;
  } while (platform::TickCount() - start < std::uint64_t(kReconnectWindowMs));
  reconnected_ = link_->LastCount() != 0;
}

void TVDemon::ShowBox(const std::string& text) {
  host_.OnInterface(
      [text](MainHost&) {
        platform::ShowMessage(text, kMonitorTitle, platform::Icon::Error, platform::Buttons::Ok,
                              /*systemModal=*/true);
      },
      true);
}

void TVDemon::OpenTerminal() {
  // A box that was shown while the owner waited for the monitor to end is not followed by the
  // terminal: the owner is about to connect anew or to close the program.
  if (Terminated()) return;
  host_.OnInterface([](MainHost& host) { host.OpenTerminal(kTerminalConsolePage); }, true);
}

void TVDemon::ConnectionLost() {
  host_.PostRefreshButtons();
  host_.PostShowState(kNoConnectionText);
  host_.DestroyConnectionLink();  // the port closes; there is no connection object any more
  host_.OnInterface(
      [](MainHost& host) {
        if (TfrmAdjustConnectionInfo* window = host.ConnectionWindow())
          window->MarkConnectionLost();
      },
      false);
  ShowBox("Потеряна связь с системой. ");
}

void TVDemon::InvalidState() {
  ShowBox("Некорректное состояние системы.");
  OpenTerminal();
}

void TVDemon::Alarm() {
  host_.PostShowState("ОШИБКА");
  std::uint8_t code;
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    link_->SendFrame(frames::ReadVariable(kAlarmVariable));
    code = link_->RxBuffer()[2];
  }
  ShowBox(AlarmMessage(code));
  OpenTerminal();
  const int state = state_;
  while (Sleep(kMonitorPollMs)) {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    const std::uint8_t s = link_->PollState();
    // No answer at all: leave the wait, the next poll finds out whether the line is still there.
    if (link_->LastCount() == 0) break;
    link_->SendFrame(frames::ReadVariable(kAlarmVariable));
    const std::uint8_t c = link_->RxBuffer()[2];
    if (s != state || c != code) break;
  }
  RequestReannounce();
}

void TVDemon::Execute() {
  auto& status = SystemStatus();
  while (!Terminated()) {
    if (!Sleep(kMonitorPollMs)) break;
    {
      platform::LinkLock::Guard guard(platform::TheLinkLock());
      Poll();
    }
    if (reannounce_.exchange(false)) lastState_ = -1;
    if (!status.LinkUp) {
      {
        platform::LinkLock::Guard guard(platform::TheLinkLock());
        Reconnect();
      }
      if (Terminated()) break;
      if (reconnected_) continue;
      ConnectionLost();
      return;
    }
    const int state = state_;
    if (state >= kFirstAlarmState) {
      Alarm();
    } else if (const auto action = ActionForState(state)) {
      if (action->systemOn) status.SystemOn = *action->systemOn;
      if (action->preheated) status.Preheated = *action->preheated;
      if (state != lastState_ && !action->text.empty()) host_.PostShowState(action->text);
    } else {
      InvalidState();
    }
    if (state != lastState_) host_.PostRefreshButtons();
    lastState_ = state;
  }
}

}  // namespace kvt
