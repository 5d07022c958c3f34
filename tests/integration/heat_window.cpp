// The filament heating check against the simulated heating module (instant timing) and a
// scripted line: codes per system type, one point per percentage, the deviation, the refresh
// thread following only the live point, deleting points, the two switches and the marker byte
// 0x135 written on opening and closing.

#include <gtest/gtest.h>

#include <cmath>

#include "app/MainHost.h"
#include "image/MemoryImage.h"
#include "link/SystemLink.h"
#include "link/SystemStatus.h"
#include "platform/LinkLock.h"
#include "procedures/CheckHeat.h"
#include "sim/Apparatus.h"
#include "sim/Install.h"
#include "support/FakeSerialPort.h"
#include "support/ScopedUi.h"
#include "support/SimulatorLine.h"
#include "support/conn_TestHost.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using kvt::TfrmCheckHeat;

class HeatWindow : public ::testing::Test {
 protected:
  ~HeatWindow() override {
    window.reset();
    kvt::CloseSharedPort();
  }

  void Start(sim::Profile profile = {}) {
    window.reset();
    apparatus = &testsupport::AttachSimulator(std::move(profile));
    apparatus->SetState(8);
    apparatus->ClearFrameLog();
    Open();
  }
  void Open() {
    window = std::make_unique<TfrmCheckHeat>(&host, [this] { return image.get(); });
    window->FormCreate();
  }
  std::vector<Bytes> Frames(const Bytes& head) { return testsupport::DataFrames(*apparatus, head); }
  std::vector<double> Xs() {
    std::vector<double> xs;
    for (const auto& p : window->Series2().Points()) xs.push_back(p.x);
    return xs;
  }
  double Y(std::size_t i) { return window->Series2().Points().at(i).y; }

  testsupport::ScopedUi ui;
  conntest::TestHost host;
  sim::Apparatus* apparatus = nullptr;
  std::unique_ptr<kvt::TMemoryImage> image;
  std::unique_ptr<TfrmCheckHeat> window;
};

TEST_F(HeatWindow, OpensStepsThroughThePercentagesAndCloses) {
  Start();
  EXPECT_TRUE(host.ToolWindowOpen(kvt::ToolWindow::HeatCheck));
  EXPECT_EQ(window->MaxCode(), 1023);
  EXPECT_EQ(window->udHeatCode.Max(), 1023);
  EXPECT_EQ(apparatus->ReadMemory(0x135, 1), Bytes{0});
  EXPECT_EQ(Frames({0x01, 0x46}).size(), 1u);
  EXPECT_EQ(Frames({0x05, 0x01, 0x03, 0x40}), (std::vector<Bytes>{{5, 1, 3, 0x40, 0, 0}}));
  // The stored correction is shown, not sent again.
  EXPECT_TRUE(window->ProgCorrection.Checked());
  EXPECT_TRUE(Frames({0x05, 0x01, 0x00, 0x00, 0x40}).empty());
  EXPECT_EQ(window->Series1().Points().size(), 2u);
  EXPECT_EQ(Xs(), std::vector<double>{0});
  EXPECT_EQ(window->lbCurrentInfo.Caption(), TfrmCheckHeat::kIntro);

  const std::pair<int, const char*> steps[] = {
      {25, "Button3"}, {50, "Button4"}, {75, "Button5"}, {100, "Button1"}};
  for (const auto& [p, focus] : steps) {
    window->PercentClick(p);
    EXPECT_EQ(window->Focused(), focus);
  }
  EXPECT_EQ(Frames({0x03, 0x48}), (std::vector<Bytes>{{3, 0x48, 0x00, 0xFF},
                                                      {3, 0x48, 0x01, 0xFF},
                                                      {3, 0x48, 0x02, 0xFF},
                                                      {3, 0x48, 0x03, 0xFF}}));
  EXPECT_EQ(window->udHeatCode.Position(), 1023);
  EXPECT_EQ(Xs(), (std::vector<double>{0, 25, 50, 75, 100}));
  // With feedback and correction the module keeps within a percent.
  EXPECT_LE(window->Deviation(), 1);
  EXPECT_EQ(window->Label3.Caption(), std::to_string(window->Deviation()));

  // The same percentage again, and code 512 typed (50 %), update the point at 50.
  window->PercentClick(50);
  window->udHeatCode.SetPosition(512);
  window->Edit1KeyPress('\r');
  EXPECT_EQ(Frames({0x03, 0x48}).back(), (Bytes{3, 0x48, 0x02, 0x00}));
  EXPECT_EQ(Xs(), (std::vector<double>{0, 25, 50, 75, 100}));
  EXPECT_EQ(window->lbCurrentInfo.Caption(), "\nВключено 50% накала.");

  window->Button1Click();
  EXPECT_EQ(Frames({0x01, 0x46}).size(), 2u);
  EXPECT_EQ(window->Focused(), "Button6");
  EXPECT_EQ(Xs().size(), 5u);

  window.reset();
  EXPECT_EQ(apparatus->ReadMemory(0x135, 1), Bytes{244});
  EXPECT_FALSE(host.ToolWindowOpen(kvt::ToolWindow::HeatCheck));
}

TEST_F(HeatWindow, K4CodesAndChannel) {
  sim::Profile p;
  p.type = "K4";
  Start(p);
  EXPECT_EQ(window->udHeatCode.Max(), 2047);
  for (int percent : {25, 50, 75, 100}) window->PercentClick(percent);
  EXPECT_EQ(Frames({0x03, 0x48}), (std::vector<Bytes>{{3, 0x48, 0x01, 0xFF},
                                                      {3, 0x48, 0x03, 0xFF},
                                                      {3, 0x48, 0x05, 0xFF},
                                                      {3, 0x48, 0x07, 0xFF}}));
  EXPECT_FALSE(Frames({0x02, 0x43, 0x08}).empty());
  EXPECT_TRUE(Frames({0x02, 0x43, 0x02}).empty());
  EXPECT_NEAR(Y(4), 100, 1.5);
}

TEST_F(HeatWindow, TheLivePointFollowsTheModuleUntilTheHeatingIsOff) {
  sim::Profile p;
  p.filament.openLoopError = 20;
  Start(p);
  window->PercentClick(50);
  const double recorded = Y(1);
  // Feedback lost: the module runs low; the thread moves the live point down.
  apparatus->WriteMemory(0x034000, {3});
  ASSERT_TRUE(ui->PumpUntil([&] { return Y(1) < recorded - 0.5; }, 10000)) << Y(1);

  window->Button1Click();
  apparatus->WriteMemory(0x034000, {0});
  ui->PumpUntil([] { return false; }, 3 * kvt::TCurrentRefresh::kPauseMs);
  const double off = Y(1);
  EXPECT_LT(off, recorded - 0.5) << "no longer refreshed";

  // Deleting a point: refused, then agreed (the origin may go too).
  ui->QueueAnswer(platform::Answer::No);
  window->Chart1.ClickPoint(1, 0);
  EXPECT_EQ(Xs(), (std::vector<double>{0, 50}));
  ui->QueueAnswer(platform::Answer::Yes);
  window->Chart1.ClickPoint(1, 0);
  EXPECT_EQ(ui->Messages().back().text, "Удалить точку 0% накала?");
  EXPECT_EQ(Xs(), std::vector<double>{50});
  EXPECT_EQ(window->lbCurrentInfo.Caption(), TfrmCheckHeat::kOffMessage);
  window->Chart1.ClickPoint(0, 0);  // the ideal line asks nothing
  EXPECT_EQ(ui->Messages().size(), 2u);
}

TEST_F(HeatWindow, SwitchesSendTheirFramesAndMirrorTheCorrection) {
  image = kvt::TMemoryImage::CreateFromBuffer(Bytes(1280, 1));
  Start();
  window->BackLink.SetChecked(false);
  EXPECT_EQ(Frames({0x05, 0x01, 0x03, 0x40}).back(), (Bytes{5, 1, 3, 0x40, 0, 3}));
  window->PercentClick(25);
  EXPECT_EQ(Frames({0x05, 0x01, 0x03, 0x40}).back(), (Bytes{5, 1, 3, 0x40, 0, 3}));
  window->ProgCorrection.SetChecked(false);
  EXPECT_EQ(Frames({0x05, 0x01, 0x00, 0x00, 0x40}).back(), (Bytes{5, 1, 0, 0, 0x40, 0}));
  EXPECT_EQ(image->Image[0x40], 0);
  window->ProgCorrection.SetChecked(true);
  EXPECT_EQ(image->Image[0x40], 1);
}

TEST_F(HeatWindow, ExtremeRepliesOfTheCurrentChannel) {
  for (const Bytes& reading : {Bytes{0x80, 0x00}, Bytes{0xFF, 0xFF}}) {
    auto mem = std::make_shared<Bytes>(65536, 0);
    auto line = testsupport::AttachFakeLine();
    line->responder =
        testsupport::MemoryResponder(mem, [reading](const Bytes& w) -> testsupport::Bursts {
          if (w == Bytes{0x01, 0x2E}) return testsupport::Bursts{{0x03, 0xE0, 'K', '2'}};
          if (w == Bytes{0x02, 0x43, 0x02})
            return testsupport::Bursts{{0x03, 0xE0, reading[0], reading[1]}};
          return testsupport::Bursts{{0x01, 0xE0}};
        });
    Open();
    window->PercentClick(100);
    const int expected = reading[0] == 0xFF ? 148 : 0;  // 763 * 20 / 103 = 148.155...
    EXPECT_EQ(Y(1), expected);
    EXPECT_EQ(window->Deviation(), std::abs(expected - 100));
    window.reset();
    EXPECT_EQ((*mem)[0x135], 244);
  }
}

TEST_F(HeatWindow, ClosingLeavesTheFilamentAsItFound) {
  // Standby heating on: the window's codes end with it, the heating goes on as before.
  Start();
  apparatus->SetState(8);
  window.reset();
  const double standby = apparatus->StatusNow().filamentPercent;
  ASSERT_GT(standby, 40);
  Open();
  window->PercentClick(100);
  ASSERT_GT(apparatus->StatusNow().filamentPercent, 90);
  apparatus->ClearFrameLog();
  window.reset();
  EXPECT_EQ(Frames({0x01, 0x46}).size(), 1u);
  EXPECT_EQ(apparatus->StatusNow().filamentPercent, standby);
  EXPECT_EQ(apparatus->State(), 8);

  // Without standby heating the filament ends off.
  apparatus->SetState(2);
  Open();
  window->PercentClick(50);
  window.reset();
  EXPECT_EQ(apparatus->StatusNow().filamentPercent, 0);
  EXPECT_EQ(apparatus->ReadMemory(0x135, 1), Bytes{244});
  EXPECT_TRUE(ui->Messages().empty());
}

TEST_F(HeatWindow, TheCorrectionSwitchIsStoredOnlyWhenTheApparatusTookIt) {
  kvt::SystemStatus().ImageModified = false;
  image = kvt::TMemoryImage::CreateFromBuffer(Bytes(1280, 1));
  Start();
  apparatus->GoSilent();
  window->ProgCorrection.SetChecked(false);
  apparatus->Resume();
  EXPECT_TRUE(window->ProgCorrection.Checked()) << "the apparatus keeps its correction";
  EXPECT_EQ(window->lbCurrentInfo.Caption(), TfrmCheckHeat::kCorrectionRefused);
  EXPECT_EQ(image->Image[0x40], 1);
  EXPECT_FALSE(kvt::SystemStatus().ImageModified);

  window->ProgCorrection.SetChecked(false);
  EXPECT_EQ(apparatus->ReadMemory(0x40, 1), Bytes{0});
  EXPECT_EQ(image->Image[0x40], 0);
  EXPECT_TRUE(kvt::SystemStatus().ImageModified);
  // The change stays after the window: it says so as it closes.
  window.reset();
  ASSERT_EQ(ui->Messages().size(), 1u);
  EXPECT_NE(ui->Messages()[0].text.find("ВЫКЛЮЧЕННОЙ"), std::string::npos);
  kvt::SystemStatus().ImageModified = false;
}

}  // namespace
