// One adjustment of both measuring channels on the shipped plant (the simulator.ini the program
// ships, in instant timing) ends within one unit of the coefficients the simulator's truth calls
// exact: once with the reference meter on the bus, once with the engineer's instrument readings
// typed in (the true mains voltage, the true anode voltage of the control exposure).

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "adjust_fixture.h"
#include "procedures/Amc.h"
#include "sim/Profile.h"
#include "sim/Truth.h"

namespace {

using kvt::TfrmAMC;

class AmcConvergence : public adjusttest::AdjustFixture {
 protected:
  void StartShipped(bool meter) {
    sim::Profile profile = sim::LoadProfile(std::filesystem::path(KVT_DATA_DIR) / "simulator.ini");
    profile.voltageMeter = meter;
    Start(profile);
    exactKmes = sim::truth::Kmes(apparatus->CurrentProfile());
    exactKuan = sim::truth::Kuan(apparatus->CurrentProfile());
    // The shipped plant is off its stored settings by more than a unit in both channels.
    ASSERT_GT(std::abs(Memory(0x15) - exactKmes), 1.5);
    ASSERT_GT(std::abs(Memory(0x13) - exactKuan), 1.5);
  }
  int Memory(std::uint32_t address) { return apparatus->ReadMemory(address, 1)[0]; }
  void CalibrateMains(TfrmAMC& w) {
    const int done = w.MainsCalibrations();
    w.btnUdCalibrateClick();
    ASSERT_TRUE(ui->PumpUntil([&] { return w.MainsCalibrations() > done; }, 20000));
    // The window's values settle (KUAN read) before the engineer goes on.
    const int passes = w.Passes() + 2;
    ASSERT_TRUE(ui->PumpUntil([&] { return w.Passes() >= passes; }, 20000));
    ASSERT_EQ(w.udKUAN.Position(), Memory(0x13));
  }
  void Report(const char* how) {
    std::printf("%s: KMES %d (exact %.2f), KUAN %d (exact %.2f)\n", how, Memory(0x15), exactKmes,
                Memory(0x13), exactKuan);
    EXPECT_LE(std::abs(Memory(0x15) - exactKmes), 1.0);
    EXPECT_LE(std::abs(Memory(0x13) - exactKuan), 1.0);
  }

  double exactKmes = 0;
  double exactKuan = 0;
};

TEST_F(AmcConvergence, WithTheReferenceMeter) {
  StartShipped(true);
  TfrmAMC w(nullptr);
  w.FormCreate();
  ASSERT_TRUE(w.MeterPresent());
  CalibrateMains(w);
  w.btnUdCalibrateOKClick();
  w.btnMakeSnapshotClick();
  w.btnUaCalibrateClick();
  Report("reference meter");
}

TEST_F(AmcConvergence, WithTypedReadings) {
  StartShipped(false);
  TfrmAMC w(nullptr);
  w.FormCreate();
  ASSERT_FALSE(w.MeterPresent());
  // The voltmeter between B and F0 shows the true mains.
  w.udUdControl.SetPosition(int(std::lround(apparatus->PlantNow().mainsVolts[0])));
  CalibrateMains(w);
  w.btnUdCalibrateOKClick();
  w.btnMakeSnapshotClick();
  // The storage oscilloscope shows the control exposure's true anode voltage.
  ASSERT_TRUE(apparatus->LastShot().has_value());
  w.udUaControl.SetPosition(int(std::lround(apparatus->LastShot()->kv)));
  w.btnUaCalibrateClick();
  Report("typed readings");
}

}  // namespace
