// The rotation drive window against the simulated drive (instant timing): the measuring cycle
// and its frames per system type, the judgement of healthy and faulty stators, the proposals and
// their warnings, the boundaries and times written, the coasting timed by the engineer's presses,
// and the wait loops ended by the drive, by an alarm or by their time limit.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "app/MainHost.h"
#include "image/MemoryImage.h"
#include "link/SystemLink.h"
#include "link/SystemStatus.h"
#include "platform/LinkLock.h"
#include "procedures/Ard.h"
#include "sim/Apparatus.h"
#include "sim/Install.h"
#include "support/ScopedUi.h"
#include "support/SimulatorLine.h"
#include "support/TempDir.h"
#include "support/conn_TestHost.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using kvt::TfrmARD;

class ArdWindow : public ::testing::Test {
 protected:
  ArdWindow() : programDir_(dir.Path()) {
    std::filesystem::copy_file(std::filesystem::path(KVT_DATA_DIR) / "vesmar.ini",
                               dir / "vesmar.ini");
    TfrmARD::TimePresses() = 0;
    kvt::SystemStatus().ImageModified = false;
  }
  ~ArdWindow() override {
    kvt::CloseSharedPort();
    kvt::SystemStatus().ImageModified = false;
  }

  void Start(sim::Profile profile = {}) {
    window.reset();
    apparatus = &testsupport::AttachSimulator(std::move(profile));
    apparatus->SetState(8);
    window = std::make_unique<TfrmARD>(&host, [this] { return image.get(); });
    window->FormCreate();
    apparatus->ClearFrameLog();
  }
  static sim::Profile Steady(const std::string& type, double runUp, double braking) {
    sim::Profile p;
    p.type = type;
    p.rotation.runUpCurrent = runUp;
    p.rotation.brakingCurrent = braking;
    p.rotation.currentNoise = 0;
    return p;
  }

  void RunCycle() {
    window->Button4Click();
    for (int i = 0; i < 100 && window->RotationTimer1.Enabled(); ++i) window->RotationTimer1.Fire();
    ASSERT_FALSE(window->RotationTimer1.Enabled());
  }
  // The data frames the apparatus received that start with `head`.
  std::vector<Bytes> Frames(const Bytes& head) { return testsupport::DataFrames(*apparatus, head); }
  int Count(const std::string& text) {
    int n = 0;
    for (const auto& m : ui->Messages()) n += m.text == text;
    return n;
  }
  const std::string& Shown() { return window->lbCurrentMessage.Caption(); }

  testsupport::ScopedUi ui;
  testsupport::TempDir dir;
  testsupport::ScopedProgramDir programDir_;
  conntest::TestHost host;
  sim::Apparatus* apparatus = nullptr;
  std::unique_ptr<kvt::TMemoryImage> image;
  std::unique_ptr<TfrmARD> window;
};

TEST_F(ArdWindow, MeasuresProposesAndWritesTheBoundaries) {
  image = kvt::TMemoryImage::CreateFromBuffer(Bytes(1280, 0));
  Start();
  EXPECT_TRUE(host.ToolWindowOpen(kvt::ToolWindow::Rotation));
  // The stored block as the window opens (the simulator's factory image).
  EXPECT_EQ(window->udDispTime.Position(), 15);
  EXPECT_EQ(window->udTDmax.Position(), 85);
  EXPECT_EQ(window->udTBmin.Position(), 100);
  EXPECT_EQ(window->edMDmin.Text(), "0");

  RunCycle();
  EXPECT_EQ(window->Focused(), "Button6");
  ASSERT_EQ(window->RunUpSamples().size(), 11u);
  ASSERT_EQ(window->BrakingSamples().size(), 11u);
  EXPECT_TRUE(std::is_sorted(window->RunUpSamples().begin(), window->RunUpSamples().end()));
  EXPECT_EQ(Frames({0x02, 0x43}), std::vector<Bytes>(22, Bytes{0x02, 0x43, 0x01}));
  EXPECT_EQ(Frames({0x05, 0x01, 0x04}),
            (std::vector<Bytes>{
                {5, 1, 4, 0, 0, 3}, {5, 1, 4, 0, 0, 0}, {5, 1, 4, 0, 0, 2}, {5, 1, 4, 0, 0, 0}}));
  const int mdMin = window->RunUpSamples().front();
  const int mbMax = window->BrakingSamples().back();
  EXPECT_EQ(window->edMDmin.Text(), std::to_string(mdMin));
  EXPECT_EQ(window->edMBmax.Text(), std::to_string(mbMax));
  // vesmar.ini's margins: 10 below and above the run-up samples, 8 for braking.
  EXPECT_EQ(window->udTDmin.Position(), mdMin - 10);
  EXPECT_EQ(window->udTBmax.Position(), mbMax + 8);
  EXPECT_EQ(Shown(), TfrmARD::kProposed);
  EXPECT_EQ(window->lbCurrentMessage.Font().color, 0x00FF00u);
  EXPECT_TRUE(ui->Messages().empty());
  EXPECT_EQ(window->imgDispersalMode.Resource(), "GrayLamp");
  EXPECT_EQ(window->CycleStep(), 0);

  window->Button6Click();
  const Bytes expected = {
      std::uint8_t(window->udTDmax.Position()), std::uint8_t(window->udTDmin.Position()),
      std::uint8_t(window->udTBmax.Position()), std::uint8_t(window->udTBmin.Position())};
  EXPECT_EQ(apparatus->ReadMemory(0x23, 4), expected);
  EXPECT_EQ(Bytes(image->Image.begin() + 0x23, image->Image.begin() + 0x27), expected);
  EXPECT_TRUE(kvt::SystemStatus().ImageModified);
  EXPECT_EQ(window->Focused(), "Button7");

  // Closed in the middle of a measurement: the stator is switched off, the flag cleared.
  window->Button4Click();
  window->RotationTimer1.Fire();
  window.reset();
  EXPECT_EQ(Frames({0x05, 0x01, 0x04}).back(), (Bytes{5, 1, 4, 0, 0, 0}));
  EXPECT_FALSE(host.ToolWindowOpen(kvt::ToolWindow::Rotation));
}

TEST_F(ArdWindow, K4SendsItsOwnFramesAndReadsBrakingLower) {
  sim::Profile p;
  p.type = "K4";
  Start(p);
  RunCycle();
  EXPECT_EQ(Frames({0x02, 0x43}), std::vector<Bytes>(22, Bytes{0x02, 0x43, 0x0C}));
  EXPECT_EQ(
      Frames({0x03, 0x00, 0xB4}),
      (std::vector<Bytes>{{3, 0, 0xB4, 1}, {3, 0, 0xB4, 0}, {3, 0, 0xB4, 2}, {3, 0, 0xB4, 0}}));
  EXPECT_TRUE(Frames({0x05, 0x01, 0x04}).empty());
  EXPECT_EQ(Shown(), TfrmARD::kProposed);
}

TEST_F(ArdWindow, FaultyStatorsAndASilentLineAreJudged) {
  const std::pair<sim::StatorFault, const char*> cases[] = {
      {sim::StatorFault::OpenWinding, TfrmARD::kOutOfRange},
      {sim::StatorFault::OverRange, TfrmARD::kOutOfRange},
      {sim::StatorFault::ShortedWinding, TfrmARD::kHardwareFailure},
  };
  for (const auto& [fault, text] : cases) {
    sim::Profile p;
    p.rotation.fault = fault;
    Start(p);
    RunCycle();
    EXPECT_EQ(Shown(), text) << int(fault);
    EXPECT_EQ(window->lbCurrentMessage.Font().color, 0xFF0000u);
  }
  // The K4 reading falls when braking: a K2-like order is a failure there.
  Start(Steady("K4", 60, 120));
  RunCycle();
  EXPECT_EQ(Shown(), TfrmARD::kHardwareFailure);

  Start();
  apparatus->GoSilent();
  RunCycle();
  EXPECT_EQ(window->edMDmin.Text(), "0");
  EXPECT_EQ(Shown(), TfrmARD::kOutOfRange);
  EXPECT_TRUE(ui->Messages().empty());
}

TEST_F(ArdWindow, SensitivityWarningAtTheTypesLimits) {
  struct Case {
    const char* type;
    double runUp, braking;
    bool warned;
  };
  const Case cases[] = {
      {"K4", 19, 10, true}, {"K4", 20, 10, false}, {"K2", 91, 120, true}, {"K2", 90, 120, false}};
  for (const Case& c : cases) {
    ui->ClearRecords();
    Start(Steady(c.type, c.runUp, c.braking));
    RunCycle();
    EXPECT_EQ(Count(TfrmARD::kSensitivity), c.warned ? 1 : 0) << c.type << " " << c.runUp;
    EXPECT_EQ(Shown(), TfrmARD::kProposed);
  }
}

TEST_F(ArdWindow, ProposalsClampAtTheRangeWithTheBorderWarning) {
  // "[Драйвер вращения]" in windows-1251.
  std::ofstream(dir / "vesmar.ini") << "[\xC4\xF0\xE0\xE9\xE2\xE5\xF0 \xE2\xF0\xE0\xF9\xE5\xED"
                                       "\xE8\xFF]\nDispersal_Min_Delta=200\nDispersal_Max_Delta="
                                       "250\n";
  Start();
  RunCycle();
  EXPECT_EQ(window->udTDmin.Position(), 0);
  EXPECT_EQ(window->udTDmax.Position(), 255);
  EXPECT_EQ(window->udTBmin.Position(), window->BrakingSamples().front());
  EXPECT_EQ(Count(TfrmARD::kAtBorder), 1);
  EXPECT_EQ(ui->Messages()[0].title, "Предупреждение!");
  EXPECT_EQ(Shown(), TfrmARD::kProposed);
}

TEST_F(ArdWindow, CoastingTimedByThreePresses) {
  EXPECT_EQ(kvt::CoastingTenths(3470), 34);
  bool cut = false;
  EXPECT_EQ(kvt::CoastingTenths(25600, &cut), 255);
  EXPECT_TRUE(cut);

  Start();
  const Bytes before = apparatus->ReadMemory(0x21, 1);
  window->Button7Click();
  EXPECT_EQ(Shown(), TfrmARD::kTimeHint);
  EXPECT_TRUE(apparatus->FrameLog().empty());
  EXPECT_FALSE(window->GroupBox2.Visible());

  // A status of exactly 0x80 is no alarm: the wait goes on to the additional braking.
  apparatus->SetState(0x80);
  window->Button7Click();
  EXPECT_TRUE(window->GroupBox2.Visible());
  EXPECT_EQ(Frames({0x05, 0x01, 0x00, 0x00, 0x21}), (std::vector<Bytes>{{5, 1, 0, 0, 0x21, 255}}));
  EXPECT_EQ(Frames({0x01, 0x42}).size(), 1u);
  EXPECT_TRUE(ui->Messages().empty());
  // The drive brakes on while the engineer listens: the braking lamp shows it until it ends.
  EXPECT_EQ(window->imgBrakingMode.Resource(), "RedLamp");
  EXPECT_TRUE(window->DriveTimer.Enabled());

  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  window->Button7Click();
  const int tenths = window->udBrTime.Position();
  EXPECT_GE(tenths, 7);
  EXPECT_LT(tenths, 60);
  // The new time waits for the accept: the apparatus has its old time back.
  EXPECT_EQ(apparatus->ReadMemory(0x21, 1), before);
  EXPECT_EQ(Shown(), std::string(TfrmARD::kTimeFound) + TfrmARD::kTimeNotYetStored);
  EXPECT_EQ(window->Focused(), "Button5");
  EXPECT_EQ(TfrmARD::TimePresses(), 0);

  window->udDispTime.SetPosition(20);
  window->Button5Click();
  EXPECT_EQ(apparatus->ReadMemory(0x20, 2), (Bytes{20, std::uint8_t(tenths)}));
  EXPECT_FALSE(kvt::SystemStatus().ImageModified) << "no image is held";
  EXPECT_EQ(window->Focused(), "Button8");
}

TEST_F(ArdWindow, WaitsEndOnTheDriveOnAlarmsAndOnTheirLimit) {
  // Healthy driver test: run-up to 8, braking to 8.
  Start();
  window->Button8Click();
  EXPECT_EQ(Frames({0x01, 0x41}).size(), 1u);
  EXPECT_EQ(Frames({0x01, 0x42}).size(), 1u);
  EXPECT_EQ(Shown(), TfrmARD::kTestDone);
  EXPECT_EQ(window->Focused(), "Button1");

  // 0x80 does not end the run-up wait but skips the braking.
  Start();
  apparatus->SetState(0x80);
  window->Button8Click();
  EXPECT_EQ(Frames({0x01, 0x41}).size(), 1u);
  EXPECT_TRUE(Frames({0x01, 0x42}).empty());
  EXPECT_EQ(Shown(), TfrmARD::kTestDone);

  // A drive that never answers: the wait gives up with a red message.
  Start();
  window->WaitLimitMs = 300;
  apparatus->GoSilent();
  window->Button8Click();
  EXPECT_NE(Shown().find("не завершил разгон"), std::string::npos) << Shown();
  EXPECT_EQ(window->lbCurrentMessage.Font().color, 0xFF0000u);
  EXPECT_FALSE(platform::TheLinkLock().HeldByMe());

  // An open winding: the driver's supervision raises its alarm while the anode runs up; the
  // time determination names it.
  sim::Profile p;
  p.rotation.fault = sim::StatorFault::OpenWinding;
  Start(p);
  TfrmARD::TimePresses() = 1;
  window->Button7Click();
  ASSERT_EQ(ui->Messages().size(), 1u);
  EXPECT_EQ(ui->Messages()[0].text, "Возникла авария: Не раскручивается анод рентгеновской трубки");
  EXPECT_EQ(TfrmARD::TimePresses(), 0);
}

TEST_F(ArdWindow, UnacknowledgedWritesAreToldAndChangeNothing) {
  image = kvt::TMemoryImage::CreateFromBuffer(Bytes(1280, 7));
  Start();
  RunCycle();
  apparatus->GoSilent();
  window->Button6Click();
  EXPECT_EQ(Shown(), TfrmARD::kCurrentsNotStored);
  EXPECT_EQ(window->lbCurrentMessage.Font().color, 0xFF0000u);
  EXPECT_EQ(Bytes(image->Image.begin() + 0x20, image->Image.begin() + 0x27), Bytes(7, 7));
  EXPECT_FALSE(kvt::SystemStatus().ImageModified);
  EXPECT_EQ(window->Focused(), "Button6");

  // A write the apparatus answers but cuts short is no acknowledgement either.
  apparatus->Resume();
  apparatus->SetTruncate(true);
  window->Button5Click();
  EXPECT_EQ(Shown(), TfrmARD::kTimesNotStored);
  EXPECT_EQ(Bytes(image->Image.begin() + 0x20, image->Image.begin() + 0x27), Bytes(7, 7));
  EXPECT_FALSE(kvt::SystemStatus().ImageModified);

  // The long braking of the time determination not taken: the anode is not run up.
  apparatus->SetTruncate(false);
  const Bytes before = apparatus->ReadMemory(0x20, 2);
  apparatus->ClearFrameLog();
  TfrmARD::TimePresses() = 1;
  apparatus->GoSilent();
  window->Button7Click();
  apparatus->Resume();
  EXPECT_EQ(window->lbCurrentMessage.Font().color, 0xFF0000u);
  EXPECT_TRUE(Frames({0x01, 0x41}).empty());
  EXPECT_EQ(TfrmARD::TimePresses(), 0);
  EXPECT_EQ(apparatus->ReadMemory(0x20, 2), before);
}

TEST_F(ArdWindow, StepsDoNotRunOverEachOther) {
  Start();
  const Bytes before = apparatus->ReadMemory(0x21, 1);
  // During the current measurement the other steps cannot be pressed.
  window->Button4Click();
  window->RotationTimer1.Fire();
  for (platform::Button* b :
       {&window->Button6, &window->Button7, &window->Button5, &window->Button8}) {
    EXPECT_FALSE(b->Enabled()) << b->Name();
    b->Click();
  }
  EXPECT_TRUE(Frames({0x01, 0x41}).empty());
  EXPECT_EQ(TfrmARD::TimePresses(), 0);
  for (int i = 0; i < 100 && window->RotationTimer1.Enabled(); ++i) window->RotationTimer1.Fire();
  EXPECT_TRUE(window->Button8.Enabled());
  EXPECT_EQ(Shown(), TfrmARD::kProposed);

  // A coasting being timed is ended when the engineer moves on: the old time back, braked.
  window->Button7Click();
  window->Button7Click();
  ASSERT_TRUE(window->DriveTimer.Enabled());
  apparatus->ClearFrameLog();
  window->Button4Click();
  EXPECT_EQ(Shown(), TfrmARD::kMeasuring);
  ASSERT_EQ(ui->Messages().size(), 1u);
  EXPECT_EQ(ui->Messages()[0].text, TfrmARD::kTimeAborted);
  EXPECT_EQ(apparatus->ReadMemory(0x21, 1), before);
  EXPECT_EQ(Frames({0x01, 0x42}).size(), 1u);
  EXPECT_EQ(TfrmARD::TimePresses(), 0);
  for (int i = 0; i < 100 && window->RotationTimer1.Enabled(); ++i) window->RotationTimer1.Fire();

  // ... and when the window closes; the next window starts its own determination.
  window->Button7Click();
  window->Button7Click();
  window.reset();
  ASSERT_EQ(ui->Messages().size(), 2u);
  EXPECT_EQ(ui->Messages()[1].text, TfrmARD::kTimeAborted);
  EXPECT_EQ(apparatus->ReadMemory(0x21, 1), before);
  window = std::make_unique<TfrmARD>(&host, [this] { return image.get(); });
  window->FormCreate();
  window->Button7Click();
  EXPECT_EQ(Shown(), TfrmARD::kTimeHint);
}

}  // namespace
