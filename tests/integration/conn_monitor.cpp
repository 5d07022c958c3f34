#include <gtest/gtest.h>

#include "app/Connection.h"
#include "app/VDemon.h"
#include "link/SystemLink.h"
#include "link/SystemStatus.h"
#include "support/Watchdog.h"
#include "support/conn_Fixture.h"

using namespace conntest;
using kvt::SystemStatus;

namespace {

class Monitor : public ConnFixture {
 protected:
  // Connects to a controller in the given state and waits for the monitor's first report.
  std::unique_ptr<TestHost> Connected(int state, ControllerScript script = {}) {
    script.state = state;
    Controller(script);
    auto host = NewHost();
    EXPECT_EQ(kvt::RunConnectionSequence(*host), "COM1");
    EXPECT_TRUE(host->MonitorRunning);
    return host;
  }
  // Waits until the monitor has polled n more times, and serves what it queued meanwhile.
  void Polls(int n) {
    const int target = controller_->PollCount() + n;
    EXPECT_TRUE(PumpUntil([&] { return controller_->PollCount() >= target; }));
    PumpFor(50);
  }
  void SwitchTo(int state) {
    controller_->SetState(state);
    Polls(2);
  }
  int Messages(const std::string& text) {
    int n = 0;
    for (const auto& m : ui_->Messages()) n += m.text == text;
    return n;
  }
};

}  // namespace

TEST(ConnStateTable, TextsAndFlags) {
  EXPECT_EQ(kvt::ActionForState(8)->text, "ПОДНАКАЛ ВКЛЮЧЕН");
  EXPECT_EQ(kvt::ActionForState(56)->text, "");
  EXPECT_EQ(kvt::ActionForState(59)->text, "ВЫСОКОЕ ВКЛЮЧЕНО");
  EXPECT_FALSE(kvt::ActionForState(3).has_value());
  EXPECT_FALSE(kvt::ActionForState(127).has_value());
  EXPECT_EQ(kvt::ActionForState(4)->preheated, std::nullopt);
}

TEST_F(Monitor, RepeatedStateIsNotRewrittenUntilReannounced) {
  auto host = Connected(0);
  EXPECT_TRUE(PumpUntil([&] { return host->Count("СИСТЕМА ВЫКЛЮЧЕНА") == 1; }));
  Polls(3);
  EXPECT_EQ(host->Count("СИСТЕМА ВЫКЛЮЧЕНА"), 1);
  host->RequestReannounce();
  EXPECT_TRUE(PumpUntil([&] { return host->Count("СИСТЕМА ВЫКЛЮЧЕНА") == 2; }));
  Polls(2);
  EXPECT_EQ(host->Count("СИСТЕМА ВЫКЛЮЧЕНА"), 2);
}

TEST_F(Monitor, StatesSetAndLeaveTheFlags) {
  auto host = Connected(8);
  auto& s = SystemStatus();
  EXPECT_TRUE(PumpUntil([&] { return host->LastState() == "ПОДНАКАЛ ВКЛЮЧЕН"; }));
  EXPECT_TRUE(s.SystemOn && s.Preheated);
  for (int state : {1, 10, 57, 58, 59, 72, 56}) {
    SwitchTo(state);
    EXPECT_TRUE(s.SystemOn && s.Preheated) << state;
  }
  SwitchTo(2);
  EXPECT_TRUE(s.SystemOn);
  EXPECT_FALSE(s.Preheated);
  SwitchTo(4);
  EXPECT_TRUE(s.SystemOn);
  EXPECT_FALSE(s.Preheated);
  SwitchTo(0);
  EXPECT_FALSE(s.SystemOn || s.Preheated);
  for (int state : {1, 10, 57, 58, 59, 72}) {
    SwitchTo(state);
    EXPECT_FALSE(s.SystemOn || s.Preheated) << state;
  }
  SwitchTo(73);
  EXPECT_TRUE(s.SystemOn && s.Preheated);
  SwitchTo(0);
  SwitchTo(24);
  EXPECT_TRUE(s.SystemOn && s.Preheated);
  EXPECT_EQ(host->LastState(), "СИСТЕМА ГОТОВА К СНИМКУ");
}

TEST_F(Monitor, State56RefreshesButtonsWithoutText) {
  auto host = Connected(2);
  EXPECT_TRUE(PumpUntil([&] { return host->LastState() == "СИСТЕМА ВКЛЮЧЕНА"; }));
  Polls(1);
  const auto states = host->States();
  const int refreshes = host->Refreshes();
  SwitchTo(56);
  EXPECT_EQ(host->States(), states);
  EXPECT_EQ(host->Refreshes(), refreshes + 1);
  Polls(2);
  EXPECT_EQ(host->Refreshes(), refreshes + 1);  // no change, no refresh
}

TEST_F(Monitor, UnknownAlarmShowsItsHexCodeAndOpensTheConsole) {
  ControllerScript script;
  script.alarmCode = 0x0A;
  auto host = Connected(0x85, script);
  const std::string text = "Авария в системе: Неизвестная авария (Код: 0x0A)";
  EXPECT_TRUE(PumpUntil([&] { return Messages(text) == 1 && host->Terminals().size() == 1; }));
  const auto m = ui_->Messages().back();
  EXPECT_EQ(m.title, "vdemon");
  EXPECT_TRUE(m.systemModal);
  EXPECT_EQ(m.icon, platform::Icon::Error);
  EXPECT_EQ(host->Terminals().front(), "Консоль");
  EXPECT_EQ(host->LastState(), "ОШИБКА");
  // While the alarm stays as it is, it is not reported again.
  Polls(3);
  EXPECT_EQ(Messages(text), 1);
  // A new code is a new report, now with its description.
  controller_->SetAlarmCode(0x01);
  EXPECT_TRUE(PumpUntil([&] { return Messages("Авария в системе: Перегрев анода") == 1; }));
  // Once the alarm is gone the state is announced afresh.
  controller_->SetState(0);
  EXPECT_TRUE(PumpUntil([&] { return host->LastState() == "СИСТЕМА ВЫКЛЮЧЕНА"; }));
  EXPECT_EQ(kvt::AlarmMessage(0x8A), "Авария в системе: Неизвестная авария (Код: 0x8A)");
}

TEST_F(Monitor, InvalidStateIsReportedAndTheConsoleOpened) {
  auto host = Connected(3);
  // Reported on every poll, each time followed by the console.
  EXPECT_TRUE(PumpUntil([&] {
    return Messages("Некорректное состояние системы.") >= 2 && host->Terminals().size() >= 2;
  }));
  EXPECT_EQ(host->Terminals().back(), "Консоль");
  EXPECT_EQ(ui_->Messages().front().title, "vdemon");
  EXPECT_TRUE(host->MonitorRunning);
}

// The owner asks the monitor to end (a new connection attempt, the program's end) while its box
// is up: the box is answered, but the terminal does not open after it.
TEST_F(Monitor, NoTerminalAfterABoxOnceTheMonitorIsAskedToEnd) {
  auto host = Connected(3);
  ui_->SetMessageObserver([&](const platform::MessageRequest&) {
    if (host->Monitor()) host->Monitor()->Terminate();
  });
  EXPECT_TRUE(PumpUntil([&] { return !ui_->Messages().empty(); }));
  host->StopMonitor();
  ui_->SetMessageObserver(nullptr);
  EXPECT_EQ(Messages("Некорректное состояние системы."), 1);
  EXPECT_TRUE(host->Terminals().empty());
  EXPECT_FALSE(host->MonitorRunning);
}

TEST_F(Monitor, ShortSilenceIsNotReported) {
  auto host = Connected(0);
  EXPECT_TRUE(PumpUntil([&] { return host->LastState() == "СИСТЕМА ВЫКЛЮЧЕНА"; }));
  controller_->SilenceFor(800);
  PumpFor(1800);
  Polls(2);
  EXPECT_TRUE(ui_->Messages().empty());
  EXPECT_TRUE(host->MonitorRunning);
  EXPECT_TRUE(host->ConnectionLinkOpen());
  EXPECT_TRUE(SystemStatus().LinkUp);
}

TEST_F(Monitor, DeadLineIsReportedOnceAndThePortCloses) {
  auto host = Connected(0);
  EXPECT_TRUE(PumpUntil([&] { return host->LastState() == "СИСТЕМА ВЫКЛЮЧЕНА"; }));
  controller_->Kill();
  EXPECT_TRUE(PumpUntil([&] { return !host->MonitorRunning; }, 15000));
  PumpFor(300);
  ASSERT_EQ(ui_->Messages().size(), 1u);
  EXPECT_EQ(ui_->Messages()[0].text, "Потеряна связь с системой. ");
  EXPECT_EQ(ui_->Messages()[0].title, "vdemon");
  EXPECT_TRUE(ui_->Messages()[0].systemModal);
  EXPECT_EQ(host->LastState(), "СВЯЗЬ НЕ УСТАНОВЛЕНА");
  EXPECT_FALSE(host->HasConnectionLink());
  EXPECT_FALSE(kvt::SharedPortOpen());
  EXPECT_EQ(controller_->OpenPorts(), 0);
  EXPECT_FALSE(SystemStatus().LinkUp);
  // The ended monitor is reaped safely, and a new attempt finds the apparatus again.
  host->StopMonitor();
  controller_->Revive();
  EXPECT_EQ(kvt::RunConnectionSequence(*host), "COM1");
  EXPECT_TRUE(host->MonitorRunning);
}

TEST_F(Monitor, StoppingWakesTheMonitorAtOnce) {
  auto host = Connected(0);
  Polls(1);
  testsupport::Watchdog dog(std::chrono::seconds(5), "stopping the monitor");
  host->StopMonitor();
  EXPECT_FALSE(host->MonitorRunning);
  EXPECT_EQ(host->Monitor(), nullptr);
}

TEST_F(Monitor, StoppingDuringTheAlarmWaitEndsAtOnce) {
  ControllerScript script;
  script.alarmCode = 0x01;
  auto host = Connected(0x90, script);
  EXPECT_TRUE(PumpUntil([&] { return host->Terminals().size() == 1; }));
  Polls(1);  // now in the wait for the alarm to change
  testsupport::Watchdog dog(std::chrono::seconds(5), "stopping during an alarm");
  host->StopMonitor();
  EXPECT_FALSE(host->MonitorRunning);
  EXPECT_TRUE(host->ConnectionLinkOpen());  // stopping the monitor alone keeps the port
}
