// The measuring-channel window against the simulator: the live mains reading and KMES following
// the spinner, calibrations by typed readings and by the reference meter, refused coefficients
// that write nothing, and the K3 control exposure read in the determination dialog.

#include <gtest/gtest.h>

#include "adjust_fixture.h"
#include "app/MainHost.h"
#include "image/MemoryImage.h"
#include "link/SystemStatus.h"
#include "procedures/Amc.h"
#include "sim/Truth.h"
#include "support/conn_TestHost.h"

namespace {

using kvt::TfrmAMC;

class Amc : public adjusttest::AdjustFixture {
 protected:
  std::unique_ptr<TfrmAMC> Open() {
    image = kvt::TMemoryImage::CreateFromBuffer(std::vector<std::uint8_t>(1280, 0));
    // Read from a later bank: the coefficients still go to their own offsets, as in every window.
    image->FirstBank = 1;
    auto w = std::make_unique<TfrmAMC>(&host, [this] { return image.get(); });
    w->FormCreate();
    EXPECT_TRUE(NextPasses(*w));
    return w;
  }
  // Serves the worker until it has made `n` more passes.
  bool NextPasses(TfrmAMC& w, int n = 2) {
    const int target = w.Passes() + n;
    return ui->PumpUntil([&] { return w.Passes() >= target; }, 20000);
  }
  int Memory(std::uint32_t address) { return apparatus->ReadMemory(address, 1)[0]; }

  conntest::TestHost host;
  std::unique_ptr<kvt::TMemoryImage> image;
};

TEST_F(Amc, TypedReadingsCalibrateBothChannelsAndRefusalsWriteNothing) {
  Start();
  kvt::SystemStatus().ImageModified = false;
  auto w = Open();
  EXPECT_TRUE(host.ToolWindowOpen(kvt::ToolWindow::MeasureChannels));
  EXPECT_FALSE(w->MeterPresent());
  EXPECT_EQ(w->lbCurrentInfo.Caption().rfind("\nДля настройки канала измерения сетевого", 0), 0u);
  EXPECT_EQ(w->udHeatCode.Position(), 800);
  EXPECT_EQ(w->udKMES.Position(), Memory(0x15));
  const int shown = std::stoi(w->edUdMeasure.Text());
  EXPECT_GT(shown, 150);
  // The apparatus holds an earlier shot's measurement; this window has made none yet.
  EXPECT_EQ(w->edUaMeasure.Text(), "");

  // The spinner's KMES reaches the apparatus in the next pass, and the reading follows it.
  w->udKMES.SetPosition(110);
  ASSERT_TRUE(NextPasses(*w));
  EXPECT_EQ(Memory(0x15), 110);
  EXPECT_EQ(image->Image[0x15], 110);
  EXPECT_TRUE(kvt::SystemStatus().ImageModified);
  kvt::SystemStatus().ImageModified = false;
  EXPECT_NEAR(std::stoi(w->edUdMeasure.Text()), shown * 1.1, 3);

  // A reference of 0 is refused: told, nothing written, the image not marked modified.
  w->udUdControl.SetPosition(0);
  w->btnUdCalibrateClick();
  EXPECT_EQ(w->FocusedControl(), "btnUdCalibrateOK");
  ASSERT_TRUE(ui->PumpUntil([&] { return w->MainsCalibrations() == 1; }, 20000));
  ASSERT_FALSE(ui->Messages().empty());
  EXPECT_EQ(ui->Messages().back().title, "amc");
  EXPECT_EQ(Memory(0x15), 110);
  EXPECT_FALSE(kvt::SystemStatus().ImageModified);

  // The engineer's voltmeter says 220 V: KMES goes back to where the reading agrees.
  w->udUdControl.SetPosition(220);
  w->btnUdCalibrateClick();
  ASSERT_TRUE(ui->PumpUntil([&] { return w->MainsCalibrations() == 2; }, 20000));
  ASSERT_TRUE(NextPasses(*w));
  EXPECT_EQ(Memory(0x15), w->udKMES.Position());
  EXPECT_NEAR(std::stoi(w->edUdMeasure.Text()), 220, 3);
  EXPECT_TRUE(kvt::SystemStatus().ImageModified);

  // The control exposure: the mains reading stops for good; the anode reading is the shot's.
  w->btnUdCalibrateOKClick();
  EXPECT_EQ(w->FocusedControl(), "btnMakeSnapshot");
  w->udHeatCode.SetPosition(700);
  apparatus->ClearFrameLog();
  w->btnMakeSnapshotClick();
  EXPECT_FALSE(w->LiveMains());
  EXPECT_EQ(Frames(0x05, 0x52).at(0), (std::vector<std::uint8_t>{5, 0x52, 2, 188, 0, 5}));
  EXPECT_GT(w->Chart1.Series(0).Count(), 10u);
  const int measured = std::stoi(w->edUaMeasure.Text());
  ASSERT_TRUE(apparatus->LastShot().has_value());
  // The channel's true gain over the stored KUAN shows in the reading.
  EXPECT_NEAR(
      measured,
      apparatus->LastShot()->kv * sim::truth::Kuan(apparatus->CurrentProfile()) / Memory(0x13), 2);
  EXPECT_EQ(w->FocusedControl(), "edUaControl");

  // A reference that makes KUAN overflow its byte is refused; a sound one is written, and the
  // reading of the same shot is shown again with the new coefficient.
  const int kuan = Memory(0x13);
  w->udUaControl.SetPosition(measured / 4);
  w->btnUaCalibrateClick();
  EXPECT_EQ(Memory(0x13), kuan);
  w->udUaControl.SetPosition(measured + 4);
  w->btnUaCalibrateClick();
  EXPECT_LT(Memory(0x13), kuan);
  EXPECT_EQ(w->udKUAN.Position(), Memory(0x13));
  EXPECT_EQ(image->Image[0x13], Memory(0x13));
  EXPECT_EQ(w->FocusedControl(), "btnUaCalibrateOK");
  ASSERT_TRUE(NextPasses(*w));
  EXPECT_NEAR(std::stoi(w->edUaMeasure.Text()), measured + 4, 1);
  w.reset();
  EXPECT_FALSE(host.ToolWindowOpen(kvt::ToolWindow::MeasureChannels));
}

TEST_F(Amc, ReferenceMeterGivesBothReferences) {
  sim::Profile profile;
  profile.voltageMeter = true;
  Start(profile);
  auto w = Open();
  EXPECT_TRUE(w->MeterPresent());
  ASSERT_FALSE(ui->Messages().empty());
  EXPECT_EQ(ui->Messages()[0].text.rfind("Обнаружен образцовый измеритель напряжений.", 0), 0u);

  w->btnUdCalibrateClick();
  ASSERT_TRUE(ui->PumpUntil([&] { return w->MainsCalibrations() == 1; }, 20000));
  EXPECT_NEAR(w->udUdControl.Position(), apparatus->PlantNow().mainsVolts[0], 2);
  EXPECT_EQ(w->lbCurrentInfo.Caption().rfind("\nЕсли Вы не видите необходимости", 0), 0u);

  apparatus->ClearFrameLog();
  w->btnMakeSnapshotClick();
  bool armed = false;
  for (const auto& f : apparatus->FrameLog())
    armed = armed ||
            (f.selected == 0x10 && f.bytes == std::vector<std::uint8_t>{0x14, 0x42, 1, 133, 0});
  EXPECT_TRUE(armed);
  const auto shot = apparatus->LastShot();
  ASSERT_TRUE(shot.has_value());
  EXPECT_NEAR(w->udUaControl.Position(), shot->kv, 1.5);
}

TEST_F(Amc, K3ControlExposureIsReadInTheDialog) {
  sim::Profile profile;
  profile.type = "K3";
  profile.voltageMeter = true;
  Start(profile);
  auto w = Open();
  EXPECT_EQ(w->udHeatCode.Position(), 750);
  ScriptDialog({97, 99});
  apparatus->ClearFrameLog();
  w->btnMakeSnapshotClick();
  // min(upper table kV 120, 100) kV, 50 mA, 0.05 s.
  EXPECT_EQ(Frames(0x05, 0x03).at(0), (std::vector<std::uint8_t>{5, 3, 100, 50, 0, 5}));
  ASSERT_EQ(readings.size(), 2u);
  EXPECT_EQ(readings[0].mode, kvt::DefineMode::Voltage);
  EXPECT_EQ(w->edUaMeasure.Text(), "97");
  EXPECT_EQ(w->udUaControl.Position(), 99);
  // The meter's recording in the dialog: 0.025 ms apart, in kV.
  ASSERT_GT(readings[1].curve.size(), 100u);
  EXPECT_DOUBLE_EQ(readings[1].curve[1].first, 0.025);

  // Closing the dialog by its frame reads nothing of the new shot: the measured value stays
  // empty (not the previous shot's), and nothing can be calibrated from it.
  ScriptDialog({std::nullopt, std::nullopt});
  w->btnMakeSnapshotClick();
  EXPECT_EQ(w->edUaMeasure.Text(), "");
  EXPECT_EQ(w->udUaControl.Position(), 99);
  const int kuan = Memory(0x13);
  const std::size_t told = ui->Messages().size();
  w->btnUaCalibrateClick();
  EXPECT_EQ(Memory(0x13), kuan);
  EXPECT_EQ(ui->Messages().size(), told + 1);

  // A control exposure that fails (the apparatus switched off) gives the dialog nothing at all.
  ScriptDialog({97, 99});
  w->btnMakeSnapshotClick();
  ASSERT_EQ(w->edUaMeasure.Text(), "97");
  const std::size_t shown = readings.size();
  apparatus->SetState(0);
  w->btnMakeSnapshotClick();
  EXPECT_EQ(readings.size(), shown);
  EXPECT_EQ(w->edUaMeasure.Text(), "");
}

TEST_F(Amc, FailedControlExposureLeavesNothingToCalibrateFrom) {
  Start();
  auto w = Open();
  w->btnUdCalibrateOKClick();
  w->btnMakeSnapshotClick();
  ASSERT_FALSE(w->edUaMeasure.Text().empty());
  const int kuan = Memory(0x13);

  // The apparatus is off: the preparation cannot succeed.
  apparatus->SetState(0);
  ui->ClearRecords();
  w->btnMakeSnapshotClick();
  EXPECT_EQ(w->edUaMeasure.Text(), "");
  ASSERT_EQ(ui->Messages().size(), 1u);
  EXPECT_EQ(ui->Messages()[0].text.rfind("Контрольный снимок не выполнен: ", 0), 0u);
  EXPECT_NE(w->lbCurrentInfo.Caption().find("СНИМОК НЕ ВЫПОЛНЕН"), std::string::npos);
  EXPECT_EQ(w->Chart1.Series(0).Count(), 0u);
  // Neither the previous shot's value nor 0 calibrates anything.
  w->udUaControl.SetPosition(90);
  w->btnUaCalibrateClick();
  EXPECT_EQ(Memory(0x13), kuan);
  EXPECT_EQ(ui->Messages().size(), 2u);
  // The worker's later reading of the apparatus's measurement does not fill it in either.
  ASSERT_TRUE(NextPasses(*w));
  EXPECT_EQ(w->edUaMeasure.Text(), "");
}

TEST_F(Amc, LostLineStopsTheCalibrationsUntilTheApparatusAnswers) {
  Start();
  auto w = Open();
  ASSERT_TRUE(w->btnUdCalibrate.Enabled());
  apparatus->GoSilent();
  ASSERT_TRUE(ui->PumpUntil([&] { return !w->btnUdCalibrate.Enabled(); }, 20000));
  EXPECT_FALSE(w->btnMakeSnapshot.Enabled());
  EXPECT_FALSE(w->btnUaCalibrate.Enabled());
  EXPECT_NE(w->lbCurrentInfo.Caption().find("НЕТ СВЯЗИ"), std::string::npos);
  apparatus->Resume();
  ASSERT_TRUE(ui->PumpUntil([&] { return w->btnUdCalibrate.Enabled(); }, 20000));
  EXPECT_EQ(w->lbCurrentInfo.Caption().rfind("\nДля настройки канала измерения сетевого", 0), 0u);
}

TEST_F(Amc, UnacknowledgedKuanWriteIsToldAndTheStatusMovesOn) {
  Start();
  auto w = Open();
  w->btnUdCalibrateOKClick();
  w->btnMakeSnapshotClick();
  const int measured = std::stoi(w->edUaMeasure.Text());
  const int kuan = Memory(0x13);
  kvt::SystemStatus().ImageModified = false;
  // Every reply comes back one byte short: the write is not acknowledged.
  apparatus->SetTruncate(true);
  w->udUaControl.SetPosition(measured + 4);
  ui->ClearRecords();
  w->btnUaCalibrateClick();
  apparatus->SetTruncate(false);
  ASSERT_EQ(ui->Messages().size(), 1u);
  EXPECT_EQ(ui->Messages()[0].text.rfind("Коэффициент не записан", 0), 0u);
  EXPECT_EQ(w->lbCurrentInfo.Caption().find("ИДЕТ НАСТРОЙКА"), std::string::npos);
  EXPECT_EQ(w->udKUAN.Position(), kuan);
  EXPECT_EQ(image->Image[0x13], 0);
  EXPECT_FALSE(kvt::SystemStatus().ImageModified);
}

}  // namespace
