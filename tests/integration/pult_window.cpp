// The control panel against the simulated apparatus (instant timing): the values it opens with,
// the stepping keys, programs chosen and stored, counters, the drives, and the two-stage exposure
// with the safe state after a cancel, an early release, an alarm, a lost line and a close; a shot
// the panel did not start is cancelled and told, never released, also after a silent line and a
// new connection made by the main window; parameter keys are refused while a shot waits.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>

#include "app/Manager.h"
#include "link/SystemLink.h"
#include "link/SystemStatus.h"
#include "platform/LinkLock.h"
#include "sim/Apparatus.h"
#include "sim/Install.h"
#include "support/ScopedUi.h"
#include "support/SimulatorLine.h"
#include "support/TempDir.h"
#include "support/conn_TestHost.h"
#include "tools/Pult.h"

namespace {

using kvt::MouseButton;
using kvt::SpeedButton;
using kvt::TfrmPult;
using Bytes = std::vector<std::uint8_t>;
using Stage = TfrmPult::ShotStage;

class PultWindow : public ::testing::Test {
 protected:
  void SetUp() override { Install({}); }
  void Install(sim::Profile profile) {
    apparatus = &testsupport::AttachSimulator(std::move(profile));
    apparatus->SetState(8);
  }
  void TearDown() override {
    w.reset();
    kvt::CloseSharedPort();
  }

  TfrmPult& Open(sim::PanelValues shown, kvt::PultTiming timing = {}) {
    apparatus->SetConsoleValues(shown);
    w = std::make_unique<TfrmPult>(&host, timing);
    w->FormCreate();
    apparatus->ClearFrameLog();
    return *w;
  }
  static kvt::PultTiming Fast() { return {1, 1, 1, 4}; }

  void Click(SpeedButton& key) {
    key.MouseDown(MouseButton::Left);
    key.MouseUp(MouseButton::Left, true);
    Settle();
  }
  void Settle() {
    ASSERT_TRUE(ui->PumpUntil([&] { return w->WorkersIdle(); }, 20000));
  }
  void Prepared() {
    ASSERT_TRUE(ui->PumpUntil([&] { return w->Stage() == Stage::Prepared; }, 20000));
  }

  // The command frames received since the log was cleared (address bytes and polls left out).
  std::vector<Bytes> Commands() {
    std::vector<Bytes> out;
    for (const auto& f : apparatus->FrameLog())
      if (!f.IsAddress() && f.bytes.size() >= 2) out.push_back(f.bytes);
    return out;
  }
  // The single-byte commands (01 xx) in order.
  std::vector<int> Simple() {
    std::vector<int> out;
    for (const auto& c : Commands())
      if (c.size() == 2 && c[0] == 0x01) out.push_back(c[1]);
    return out;
  }
  Bytes Program(int index) { return apparatus->ReadMemory(0x400 + 4 * index, 4); }

  testsupport::ScopedUi ui;
  conntest::TestHost host;
  sim::Apparatus* apparatus = nullptr;
  std::unique_ptr<TfrmPult> w;
};

TEST_F(PultWindow, OpensWithTheApparatusValuesClampedIntoTheWindowLimits) {
  apparatus->WriteMemory(0x202, {0x01, 0x2C});  // table 40 .. 300 kV
  apparatus->WriteMemory(0x41, {0});            // synchronisation on
  TfrmPult& p = Open({30, 10, 0});
  EXPECT_TRUE(host.ToolWindowOpen(kvt::ToolWindow::ControlPanel));
  EXPECT_EQ(p.Form.Caption(), "Пульт управления");
  EXPECT_EQ(p.ULow(), 40);
  EXPECT_EQ(p.UHigh(), 300);
  EXPECT_EQ(p.lbU.Caption(), "40");
  EXPECT_EQ(p.lbI.Caption(), "30");
  EXPECT_EQ(p.lbT.Caption(), "скоп");
  EXPECT_TRUE(p.btnVSynchro.Down());
  EXPECT_TRUE(p.btnPower.Down()) << "state 8 is not off";
  EXPECT_FALSE(p.btnH3.Enabled());
  EXPECT_TRUE(p.btnLungs.Enabled());
  EXPECT_TRUE(ui->Messages().empty());

  // The synchronisation key writes the switch byte: 1 when it comes up.
  Click(p.btnVSynchro);
  EXPECT_FALSE(p.btnVSynchro.Down());
  EXPECT_EQ(apparatus->ReadMemory(0x41, 1), Bytes{1});
  w.reset();
  EXPECT_FALSE(host.ToolWindowOpen(kvt::ToolWindow::ControlPanel));
}

TEST_F(PultWindow, AShortPressStepsOneUnitAndARefusedStepGoesBackSilently) {
  TfrmPult& p = Open({119, 100, 1});
  Click(p.btnUup);
  EXPECT_EQ(p.lbU.Caption(), "120");
  Click(p.btnIdn);
  EXPECT_EQ(p.lbI.Caption(), "99");
  Click(p.btnTdn);
  EXPECT_EQ(p.lbT.Caption(), "скоп");
  EXPECT_EQ(Commands().back(), (Bytes{0x05, 0x03, 120, 99, 0, 0}));
  Click(p.btnTup);
  EXPECT_EQ(p.lbT.Caption(), "0.01");

  // 121 kV lies beyond the calibration table's end: refused, back to 120, nothing said.
  Click(p.btnUup);
  EXPECT_EQ(p.lbU.Caption(), "120");
  EXPECT_TRUE(ui->Messages().empty());
}

TEST_F(PultWindow, HoldingAKeyStepsByTenAndStopsAt255) {
  apparatus->WriteMemory(0x202, {0x01, 0x2C});  // the table would allow up to 300 kV
  TfrmPult& p = Open({235, 100, 6}, Fast());
  const auto tries = [&] {
    int n = 0;
    for (const auto& c : Commands()) n += c.size() == 6 && c[1] == 0x03;
    return n;
  };
  p.btnUup.MouseDown(MouseButton::Left);
  ASSERT_TRUE(ui->PumpUntil([&] { return p.lbU.Caption() == "255" && tries() == 2; }, 20000));
  // A few more repeats: 265 is never tried.
  ui->PumpUntil([] { return false; }, 100);
  EXPECT_EQ(tries(), 2);
  p.btnUup.MouseUp(MouseButton::Left, true);
  Settle();
  EXPECT_EQ(p.lbU.Caption(), "255");
  for (const auto& c : Commands()) {
    if (c.size() == 6 && c[1] == 0x03) {
      EXPECT_TRUE(c[2] == 245 || c[2] == 255) << int(c[2]);
    }
  }
}

TEST_F(PultWindow, ChoosingAModeOrDensityLoadsItsProgram) {
  TfrmPult& p = Open({80, 100, 6});
  Click(p.btnSkullProfile);
  EXPECT_TRUE(p.btnSkullProfile.Down());
  EXPECT_TRUE(p.btnH4.Down());
  EXPECT_TRUE(p.btnH1.Enabled());
  // Program 0x33 is the store's entry 3 × 6 + 3.
  Bytes prog = Program(21);
  EXPECT_EQ(p.lbU.Caption(), std::to_string(prog[0]));
  EXPECT_EQ(p.lbI.Caption(), std::to_string(prog[1]));
  EXPECT_EQ(p.T(), prog[2] * 256 + prog[3]);
  const auto cmds = Commands();
  EXPECT_NE(std::find(cmds.begin(), cmds.end(), Bytes{0x02, 0x30, 0x33}), cmds.end());

  Click(p.btnH2);
  prog = Program(19);
  EXPECT_EQ(p.lbU.Caption(), std::to_string(prog[0]));
  EXPECT_TRUE(p.btnH2.Down());
  EXPECT_FALSE(p.btnH4.Down());

  // A stored program the apparatus refuses: its own message, the labels keep their values.
  apparatus->WriteMemory(0x400 + 4 * 20, {200, 100, 0, 6});
  const std::string u = p.lbU.Caption();
  Click(p.btnH3);
  ASSERT_EQ(ui->Messages().size(), 1u);
  EXPECT_EQ(ui->Messages()[0].title, "TSnapshot::AcceptSnapshotParameters");
  EXPECT_EQ(p.lbU.Caption(), u);

  // Stepping by hand replaces the program.
  Click(p.btnIup);
  EXPECT_FALSE(p.btnSkullProfile.Down());
  EXPECT_FALSE(p.btnH3.Down());
  EXPECT_FALSE(p.btnH1.Enabled());
}

TEST_F(PultWindow, ProgrammingModeStoresTheShownValuesAndLeaves) {
  TfrmPult& p = Open({90, 150, 25});
  Click(p.btnProgramm);
  EXPECT_TRUE(p.btnH5.Enabled());
  EXPECT_FALSE(p.btnC.Enabled());
  Click(p.btnH5);
  EXPECT_TRUE(p.btnC.Enabled());
  Click(p.btnC);
  // Mode C (tag 6) with density 5 (tag 4): program 0x64, the store's entry 6 × 6 + 4.
  EXPECT_EQ(Program(40), (Bytes{90, 150, 0, 25}));
  const auto cmds = Commands();
  const auto at = std::find(cmds.begin(), cmds.end(), Bytes{0x02, 0x10, 0x64});
  ASSERT_NE(at, cmds.end());
  ASSERT_NE(at + 1, cmds.end());
  EXPECT_EQ(*(at + 1), (Bytes{0x02, 0x45, 0x04}));
  EXPECT_FALSE(p.btnProgramm.Down());
  EXPECT_FALSE(p.btnC.Down());
  EXPECT_TRUE(p.btnLungs.Enabled());
  EXPECT_FALSE(p.btnH1.Enabled());
  EXPECT_TRUE(ui->Messages().empty());

  // Busy with a shot, the apparatus refuses the values: told, nothing stored.
  const Bytes before = Program(41);
  apparatus->SetState(24);
  Click(p.btnProgramm);
  Click(p.btnH6);
  Click(p.btnC);
  ASSERT_FALSE(ui->Messages().empty());
  EXPECT_EQ(ui->Messages().back().title, "TfrmPult::SelectMode");
  EXPECT_EQ(ui->Messages().back().text, "Параметры не приняты");
  EXPECT_EQ(ui->Messages().back().icon, platform::Icon::Error);
  EXPECT_EQ(Program(41), before);
  EXPECT_FALSE(p.btnProgramm.Down());
}

TEST_F(PultWindow, CountersAndAnUnreadableOne) {
  TfrmPult& p = Open({80, 100, 6});
  Click(p.btnTotalSnapshots);
  EXPECT_EQ(p.CounterIndicator.Caption(), "28461");
  Click(p.btnWorkTimeCounter);
  EXPECT_EQ(p.CounterIndicator.Caption().substr(0, 5), "4523:");
  apparatus->SetTruncate(true);
  Click(p.btnTotalExposureTime);
  EXPECT_EQ(p.CounterIndicator.Caption(), "----");
}

TEST_F(PultWindow, FootboardMovesWhileHeldDoorDrivesAndCloseStopsTheFootboard) {
  TfrmPult& p = Open({80, 100, 6});
  p.btnFootBoardDown.MouseDown(MouseButton::Right);
  EXPECT_TRUE(Simple().empty()) << "only the left button drives";
  p.btnFootBoardUp.MouseDown(MouseButton::Left);
  EXPECT_EQ(apparatus->ConsoleOutputs().footboard, sim::FootboardMotion::Up);
  p.btnFootBoardUp.MouseUp(MouseButton::Left, true);
  EXPECT_EQ(apparatus->ConsoleOutputs().footboard, sim::FootboardMotion::Stopped);
  Click(p.btnDoorDrive);
  EXPECT_TRUE(apparatus->ConsoleOutputs().doorOpen);
  p.btnFootBoardDown.MouseDown(MouseButton::Left);
  EXPECT_EQ(apparatus->ConsoleOutputs().footboard, sim::FootboardMotion::Down);
  p.FormClose();
  EXPECT_EQ(apparatus->ConsoleOutputs().footboard, sim::FootboardMotion::Stopped);
  EXPECT_EQ(Simple(), (std::vector<int>{0x4E, 0x50, 0x51, 0x4F, 0x50}));
}

TEST_F(PultWindow, TwoPressesPrepareThenExposeWithTheLampsFollowing) {
  TfrmPult& p = Open({90, 100, 10}, Fast());
  std::vector<std::string> hv;
  p.HVLamp.AddListener([&] { hv.push_back(p.HVLamp.Resource()); });
  ASSERT_EQ(apparatus->LastShot()->durationMs, 50) << "the factory image's last shot";

  p.btnSnapshot.MouseDown(MouseButton::Left);
  EXPECT_EQ(p.Stage(), Stage::Preparing);
  EXPECT_EQ(p.PrepLamp.Resource(), "PrepOnLamp");
  Prepared();
  EXPECT_EQ(p.PrepLamp.Resource(), "PrepComplLamp");
  p.btnSnapshot.MouseUp(MouseButton::Left, true);
  EXPECT_EQ(apparatus->State(), 24) << "prepared, waiting for the second press";
  EXPECT_EQ(apparatus->LastShot()->durationMs, 50) << "nothing exposed yet";

  p.btnSnapshot.MouseDown(MouseButton::Left);
  EXPECT_EQ(p.Stage(), Stage::Exposing);
  Settle();
  p.btnSnapshot.MouseUp(MouseButton::Left, true);
  EXPECT_EQ(p.Stage(), Stage::None);
  EXPECT_EQ(p.PrepLamp.Resource(), "PrepOffLamp");
  EXPECT_EQ(hv, (std::vector<std::string>{"HVOnLamp", "HVOffLamp"}));
  EXPECT_EQ(Simple(), (std::vector<int>{0x49, 0x4B, 0x4C}));
  EXPECT_EQ(apparatus->State(), 8);
  EXPECT_EQ(apparatus->LastShot()->durationMs, 100) << "the 0.1 s shot was made";

  // Not ready: the key says so.
  apparatus->SetState(2);
  p.btnSnapshot.MouseDown(MouseButton::Left);
  p.btnSnapshot.MouseUp(MouseButton::Left, true);
  ASSERT_EQ(ui->Messages().size(), 1u);
  EXPECT_EQ(ui->Messages()[0].text, "Снимок не может быть выполнен.");
  EXPECT_EQ(ui->Messages()[0].title, "pult");
  EXPECT_EQ(ui->Messages()[0].icon, platform::Icon::Warning);
}

TEST_F(PultWindow, TheCancelKeyCancelsOrStopsByTheState) {
  TfrmPult& p = Open({80, 100, 6});
  apparatus->SetState(24);
  Click(p.btnCancelSnapshot);
  EXPECT_EQ(Simple(), (std::vector<int>{0x4A, 0x54}));
  apparatus->ClearFrameLog();
  apparatus->SetState(58);
  Click(p.btnCancelSnapshot);
  EXPECT_EQ(Simple(), (std::vector<int>{0x53, 0x54}));
  EXPECT_EQ(apparatus->State(), 8);
  EXPECT_EQ(p.PrepLamp.Resource(), "PrepOffLamp");
  EXPECT_EQ(p.HVLamp.Resource(), "HVOffLamp");
  EXPECT_EQ(apparatus->ConsoleOutputs().cancelAcks, 2);
}

// Each way a shot can be left half done ends with the cancel, 01 54 and both lamps off. The
// test holds the device lock across the press, so the dispatcher sees the apparatus only after
// the scene is set.
TEST_F(PultWindow, EarlyReleaseAlarmLostLineAndCloseAllEndInTheSafeState) {
  TfrmPult& p = Open({80, 100, 6}, Fast());
  auto expectSafe = [&](std::vector<int> frames, const char* what) {
    EXPECT_EQ(p.Stage(), Stage::None) << what;
    EXPECT_EQ(p.PrepLamp.Resource(), "PrepOffLamp") << what;
    EXPECT_EQ(p.HVLamp.Resource(), "HVOffLamp") << what;
    EXPECT_EQ(Simple(), frames) << what;
    apparatus->ClearFrameLog();
  };

  // Let go while preparing.
  p.btnSnapshot.MouseDown(MouseButton::Left);
  p.btnSnapshot.MouseUp(MouseButton::Left, true);
  Settle();
  expectSafe({0x49, 0x4A, 0x54}, "early release");
  EXPECT_EQ(apparatus->State(), 8);

  // An alarm while prepared: the lamp does not stay lit.
  p.btnSnapshot.MouseDown(MouseButton::Left);
  Prepared();
  p.btnSnapshot.MouseUp(MouseButton::Left, true);
  apparatus->RaiseAlarm(0x85);
  Settle();
  expectSafe({0x49, 0x4A, 0x54}, "alarm while prepared");
  apparatus->ClearAlarm();
  apparatus->SetState(8);
  apparatus->ClearFrameLog();

  // The line dies during the preparation: the lamps go off.
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    p.btnSnapshot.MouseDown(MouseButton::Left);
    apparatus->GoSilent();
  }
  Settle();
  EXPECT_EQ(p.Stage(), Stage::None);
  EXPECT_EQ(p.PrepLamp.Resource(), "PrepOffLamp");
  p.btnSnapshot.MouseUp(MouseButton::Left, true);
  apparatus->Resume();
  apparatus->SetState(8);
  apparatus->ClearFrameLog();

  // Closing the window with the shot prepared.
  p.btnSnapshot.MouseDown(MouseButton::Left);
  Prepared();
  p.btnSnapshot.MouseUp(MouseButton::Left, true);
  ASSERT_EQ(p.Stage(), Stage::Prepared);
  p.FormClose();
  expectSafe({0x49, 0x4A, 0x54}, "close");
  EXPECT_EQ(apparatus->State(), 8);
}

TEST_F(PultWindow, AnAlarmInTheMiddleOfTheExposureEndsItCancelled) {
  sim::Profile profile;
  profile.plant.alarmOnShot = 1;
  Install(profile);
  TfrmPult& p = Open({80, 100, 6}, Fast());
  std::vector<std::string> hv;
  p.HVLamp.AddListener([&] { hv.push_back(p.HVLamp.Resource()); });
  p.btnSnapshot.MouseDown(MouseButton::Left);
  Prepared();
  p.btnSnapshot.MouseUp(MouseButton::Left, true);
  p.btnSnapshot.MouseDown(MouseButton::Left);
  Settle();
  EXPECT_EQ(p.Stage(), Stage::None);
  EXPECT_EQ(Simple(), (std::vector<int>{0x49, 0x4B, 0x53, 0x54}));
  EXPECT_EQ(hv, (std::vector<std::string>{"HVOnLamp", "HVOffLamp"}));
  EXPECT_EQ(p.PrepLamp.Resource(), "PrepOffLamp");
  p.btnSnapshot.MouseUp(MouseButton::Left, true);
  EXPECT_EQ(Simple().size(), 4u) << "nothing more after the dispatcher's cancel";
}

// Prepared by someone else (found at the opening, or while the panel sat idle): the press
// cancels it and says so in one message; nothing is released.
TEST_F(PultWindow, AShotThePanelDidNotStartIsCancelledAndToldNeverReleased) {
  apparatus->SetState(24);
  apparatus->ClearFrameLog();
  const int before = apparatus->LastShot()->durationMs;
  w = std::make_unique<TfrmPult>(&host, Fast());
  w->FormCreate();
  EXPECT_EQ(Simple(), (std::vector<int>{0x4A, 0x54})) << "found at the opening";
  EXPECT_EQ(apparatus->State(), 8);
  ASSERT_EQ(ui->Messages().size(), 1u);
  EXPECT_EQ(ui->Messages()[0].text,
            std::string(TfrmPult::kForeignPrepared) + TfrmPult::kForeignCancelled);

  // Another console prepares while the panel is idle: one press cancels, never exposes.
  apparatus->SetState(24);
  apparatus->ClearFrameLog();
  ui->ClearRecords();
  w->btnSnapshot.MouseDown(MouseButton::Left);
  w->btnSnapshot.MouseUp(MouseButton::Left, true);
  Settle();
  EXPECT_EQ(Simple(), (std::vector<int>{0x4A, 0x54}));
  ASSERT_EQ(ui->Messages().size(), 1u);
  EXPECT_EQ(ui->Messages()[0].text,
            std::string(TfrmPult::kForeignPrepared) + TfrmPult::kForeignCancelled);
  EXPECT_EQ(w->Stage(), Stage::None);
  EXPECT_EQ(w->PrepLamp.Resource(), "PrepOffLamp");
  EXPECT_EQ(apparatus->LastShot()->durationMs, before);
}

TEST_F(PultWindow, ParameterKeysChangeNothingWhileAShotIsPrepared) {
  TfrmPult& p = Open({90, 100, 10}, Fast());
  p.btnSnapshot.MouseDown(MouseButton::Left);
  Prepared();
  p.btnSnapshot.MouseUp(MouseButton::Left, true);
  ASSERT_TRUE(p.OwnsPreparation());
  apparatus->ClearFrameLog();

  // The dispatcher watches the prepared shot: the clicks do not wait for the workers.
  for (SpeedButton* key : {&p.btnUup, &p.btnTdn, &p.btnSkullProfile, &p.btnProgramm}) {
    key->MouseDown(MouseButton::Left);
    key->MouseUp(MouseButton::Left, true);
  }
  EXPECT_TRUE(Commands().empty()) << "nothing sent to the apparatus";
  EXPECT_EQ(p.lbU.Caption(), "90");
  EXPECT_EQ(p.lbT.Caption(), "0.1");
  EXPECT_FALSE(p.btnSkullProfile.Down());
  EXPECT_FALSE(p.btnProgramm.Down());
  ASSERT_EQ(ui->Messages().size(), 4u);
  for (const auto& m : ui->Messages()) EXPECT_EQ(m.text, TfrmPult::kBusyWithShot);

  // The shot made is the one prepared.
  EXPECT_EQ(p.Stage(), Stage::Prepared);
  p.btnSnapshot.MouseDown(MouseButton::Left);
  Settle();
  p.btnSnapshot.MouseUp(MouseButton::Left, true);
  EXPECT_EQ(Simple(), (std::vector<int>{0x4B, 0x4C}));
  EXPECT_EQ(apparatus->LastShot()->durationMs, 100);
}

// The whole program's connection on the simulator: the main window's monitor declares the line
// lost, its connection button connects anew, and the panel hears both through its hook.
class PultAfterALostLine : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::copy_file(std::filesystem::path(KVT_DATA_DIR) / "vesmar.ini",
                               dir_.Path() / "vesmar.ini");
    std::ofstream(dir_.Path() / "simulator.ini")
        << "[Simulator]\nType=K2\nVersion=23\nTiming=instant\n";
    programDir_ = std::make_unique<testsupport::ScopedProgramDir>(dir_.Path());
    sim::InstallSimulator(dir_.Path());
    kvt::SystemStatus().Clear();
  }
  void TearDown() override { kvt::SystemStatus().Clear(); }

  testsupport::TempDir dir_;
  std::unique_ptr<testsupport::ScopedProgramDir> programDir_;
  testsupport::ScopedUi ui;
};

TEST_F(PultAfterALostLine, PrepareSilenceReconnectAndOnePressNeverExposes) {
  for (int seconds : {1, 3, 5}) {
    SCOPED_TRACE(seconds);
    kvt::TfrmManager m;
    m.MonitorPriority = platform::ThreadPriority::Normal;
    std::unique_ptr<TfrmPult> p;
    m.SetConnectionWatcher(kvt::ToolWindow::ControlPanel, [&](bool connected) {
      if (!p) return;
      if (connected)
        p->Connected();
      else
        p->ConnectionLost();
    });
    m.btnAdjustConnectionClick();
    ASSERT_TRUE(kvt::SystemStatus().LinkUp);
    auto apparatus = sim::CurrentApparatus();
    apparatus->SetState(8);
    p = std::make_unique<TfrmPult>(&m, kvt::PultTiming{1, 1, 1, 4});
    p->FormCreate();
    p->btnSnapshot.MouseDown(MouseButton::Left);
    ASSERT_TRUE(ui->PumpUntil([&] { return p->Stage() == Stage::Prepared; }, 20000));
    p->btnSnapshot.MouseUp(MouseButton::Left, true);
    ASSERT_EQ(apparatus->State(), 24);
    const int before = apparatus->LastShot()->durationMs;
    apparatus->ClearFrameLog();
    ui->ClearRecords();

    // The trainer silences the line; the panel's lamps go out at once.
    apparatus->GoSilentFor(seconds * 1000);
    ASSERT_TRUE(ui->PumpUntil([&] { return p->Stage() == Stage::None; }, 20000));
    EXPECT_EQ(p->PrepLamp.Resource(), "PrepOffLamp");
    ASSERT_TRUE(ui->PumpUntil([&] { return !apparatus->IsSilent(); }, 20000));
    ui->PumpUntil([] { return false; }, 2500);  // the monitor has its say
    EXPECT_EQ(apparatus->State(), 24) << "the cancel went into the silence";

    // "Установка связи с системой" again, then one short click on the exposure key.
    m.btnAdjustConnectionClick();
    ASSERT_TRUE(kvt::SystemStatus().LinkUp);
    p->btnSnapshot.MouseDown(MouseButton::Left);
    p->btnSnapshot.MouseUp(MouseButton::Left, true);
    ASSERT_TRUE(ui->PumpUntil([&] { return p->WorkersIdle(); }, 20000));

    std::vector<int> simple;
    for (const auto& f : apparatus->FrameLog())
      if (!f.IsAddress() && f.bytes.size() == 2 && f.bytes[0] == 0x01) simple.push_back(f.bytes[1]);
    EXPECT_EQ(std::count(simple.begin(), simple.end(), 0x4B), 0) << "no release";
    EXPECT_EQ(apparatus->LastShot()->durationMs, before);
    EXPECT_EQ(apparatus->State(), 8);
    int told = 0;
    for (const auto& msg : ui->Messages())
      told += msg.text == std::string(TfrmPult::kForeignPrepared) + TfrmPult::kForeignCancelled;
    EXPECT_EQ(told, 1) << "the preparation left over is cancelled and told once";
    p.reset();
    m.FormDestroy();
  }
}

}  // namespace
