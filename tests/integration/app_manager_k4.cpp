// The main window with the K4 measuring-channel window on the simulator: while the window holds
// the technological power the power and procedure buttons are disabled and refuse, the accepted
// phase coefficients go into the held image too, so that a later translate keeps them, and a
// disabled button says why.

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <map>
#include <memory>

#include "app/Manager.h"
#include "image/MemoryImage.h"
#include "image/Workflows.h"
#include "link/SystemStatus.h"
#include "procedures/AmcK4.h"
#include "sim/Apparatus.h"
#include "sim/Install.h"
#include "support/ScopedUi.h"
#include "support/TempDir.h"

namespace kvt {
namespace {

class ManagerK4 : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::copy_file(std::filesystem::path(KVT_DATA_DIR) / "vesmar.ini",
                               dir_ / "vesmar.ini");
    std::ofstream(dir_ / "simulator.ini")
        << "[Simulator]\nType=K4\nVersion=23\nTiming=instant\n[Plant]\nNoise=0\n";
    programDir_ = std::make_unique<testsupport::ScopedProgramDir>(dir_.Path());
    sim::InstallSimulator(dir_.Path());
    apparatus_ = sim::CurrentApparatus();
    SystemStatus().Clear();
    SystemStatus().ImageModified = false;
    SystemStatus().SetSystemType("");
  }
  void TearDown() override {
    window_.reset();
    SystemStatus().Clear();
  }
  void Connect(TfrmManager& m) {
    m.btnAdjustConnectionClick();
    ASSERT_TRUE(SystemStatus().LinkUp);
    m.StopMonitor();
    m.SetLauncher(ManagerTool::Terminal, [](TfrmManager&, const std::string&) {});
    m.SetLauncher(ManagerTool::MeasureChannelsK4, [this](TfrmManager& mm, const std::string&) {
      window_ = std::make_unique<TfrmAMC_K4>(&mm, [&mm] { return mm.CurrentImage.get(); });
    });
  }
  bool Sent(std::vector<std::uint8_t> frame) {
    for (const auto& f : apparatus_->FrameLog())
      if (f.selected == 0 && f.bytes == frame) return true;
    return false;
  }
  void Point(int volts, bool upper) {
    for (int p = 0; p < 3; ++p) apparatus_->SetPhaseVolts(p, volts);
    (upper ? window_->edUmax : window_->edUmin).SetText(std::to_string(volts));
    (upper ? window_->btnCal2 : window_->btnCal1).Click();
  }

  testsupport::TempDir dir_;
  std::unique_ptr<testsupport::ScopedProgramDir> programDir_;
  testsupport::ScopedUi ui_;
  std::shared_ptr<sim::Apparatus> apparatus_;
  std::unique_ptr<TfrmAMC_K4> window_;
};

TEST_F(ManagerK4, TechnologicalPowerHoldsThePowerButtonsAndTheCalibrationSurvivesATranslate) {
  TfrmManager m;
  Connect(m);
  m.Workflows().btnReadConfigClick();
  ASSERT_TRUE(m.CurrentImage);
  m.RefreshButtons();
  ASSERT_TRUE(m.btnPowerOn.Enabled());
  ASSERT_TRUE(m.btnAdjustMeasuresChannels.Enabled());

  ui_->QueueAnswer(platform::Answer::Yes);
  m.btnAdjustMeasuresChannelsClick();
  ASSERT_TRUE(window_);
  EXPECT_TRUE(Sent({0x03, 0x00, 0xB0, 0x01}));
  // The channels window holds the apparatus: power and procedures wait, and say why.
  EXPECT_FALSE(m.btnPowerOn.Enabled());
  EXPECT_FALSE(m.btnAdjustMeasuresChannels.Enabled());
  EXPECT_EQ(m.ButtonHint(ManagerButton::btnPowerOn), TfrmManager::kSpecialModeHeld);
  EXPECT_TRUE(m.btnTools.Enabled());
  apparatus_->ClearFrameLog();
  ui_->ClearRecords();
  m.btnPowerOnClick();
  EXPECT_FALSE(Sent({0x01, 0x4D}));
  ASSERT_EQ(ui_->Messages().size(), 1u);
  EXPECT_EQ(ui_->Messages()[0].text, TfrmManager::kSpecialModeHeld);

  // Two-point calibration; the accepted values are stored in the held image as well.
  SystemStatus().ImageModified = false;
  window_->FormShow();
  Point(190, false);
  Point(240, true);
  window_->btnAccept.Click();
  // What the calibrated channels read at two true voltages.
  std::map<int, std::array<int, 3>> calibrated;
  for (int v : {200, 230}) {
    for (int p = 0; p < 3; ++p) apparatus_->SetPhaseVolts(p, v);
    window_->MUTimerTimer();
    for (int p = 0; p < 3; ++p)
      calibrated[v][std::size_t(p)] = std::stoi(window_->Measured(p).Caption());
  }
  EXPECT_NE(window_->lbCurrentInfo.Caption().find("образе памяти"), std::string::npos);
  const auto written = apparatus_->ReadMemory(0x80, 9);
  EXPECT_EQ(std::vector<std::uint8_t>(m.CurrentImage->Image.begin() + 0x80,
                                      m.CurrentImage->Image.begin() + 0x89),
            written);
  EXPECT_TRUE(SystemStatus().ImageModified);

  window_.reset();
  m.RefreshButtons();
  EXPECT_TRUE(Sent({0x01, 0x40}));
  EXPECT_EQ(m.ButtonHint(ManagerButton::btnPowerOn), "");

  // A translate of the held image keeps the new coefficients: the phases read as calibrated.
  m.btnTranslateToMemoryClick();
  EXPECT_EQ(apparatus_->ReadMemory(0x80, 9), written);
  TfrmAMC_K4 check(nullptr);
  for (int v : {200, 230}) {
    for (int p = 0; p < 3; ++p) apparatus_->SetPhaseVolts(p, v);
    check.MUTimerTimer();
    for (int p = 0; p < 3; ++p) {
      const int reading = std::stoi(check.Measured(p).Caption());
      EXPECT_NEAR(reading, calibrated[v][std::size_t(p)], 1.0) << "phase " << p << " at " << v;
      EXPECT_NEAR(reading, v, 2.0) << "phase " << p << " at " << v;
    }
  }
}

TEST_F(ManagerK4, UnacknowledgedPowerCommandIsToldNotAnnounced) {
  TfrmManager m;
  Connect(m);
  ui_->ClearRecords();
  apparatus_->GoSilent();
  m.btnPowerOnClick();
  apparatus_->Resume();
  ASSERT_EQ(ui_->Messages().size(), 1u);
  EXPECT_NE(ui_->Messages()[0].text.find("не подтвердила команду «Включить питание»"),
            std::string::npos);
}

TEST(ManagerHints, DisabledButtonsSayWhy) {
  SystemStatusRecord s;
  EXPECT_NE(DisabledReason(ManagerButton::btnReadConfig, s, false).find("Нет связи"),
            std::string::npos);
  s.LinkUp = s.ChecksumsOk = s.TypeKnown = true;
  for (int p = 0; p < 6; ++p) s.PagePresent[std::size_t(p)] = true;
  EXPECT_NE(DisabledReason(ManagerButton::btnTranslateToMemory, s, false).find("Образ памяти"),
            std::string::npos);
  s.ImageLoaded = true;
  EXPECT_EQ(DisabledReason(ManagerButton::btnTranslateToMemory, s, false), "");
  s.SystemOn = true;
  s.SetSystemType("K4");
  EXPECT_NE(DisabledReason(ManagerButton::btnAdjustMeasuresChannels, s, false).find("выключите"),
            std::string::npos);
  EXPECT_NE(DisabledReason(ManagerButton::bntTubeCalibration, s, false).find("поднакала"),
            std::string::npos);
  s.Preheated = true;
  EXPECT_EQ(DisabledReason(ManagerButton::bntTubeCalibration, s, false), "");
  EXPECT_EQ(DisabledReason(ManagerButton::btnPowerOff, s, true), TfrmManager::kSpecialModeHeld);
}

}  // namespace
}  // namespace kvt
