// The trainer's simulator window model acting on the simulated apparatus.

#include <gtest/gtest.h>

#include "sim/Apparatus.h"
#include "sim/Install.h"
#include "sim/SimulatorWindow.h"

namespace {

TEST(SimWindow, K4PhasesAgeingAlarmAndSilence) {
  sim::Profile p;
  p.type = "K4";
  sim::InstallForTest(p);
  auto app = sim::CurrentApparatus();
  sim::TfrmSimulator w(app);
  w.FormCreate();
  EXPECT_TRUE(w.udMainsC.Visible());
  EXPECT_EQ(w.lbMainsA.Caption(), "Фаза A, В");
  EXPECT_EQ(w.udMainsB.Position(), 219);  // the plant's own phase B

  w.edMainsB.SetText("235");  // typed into the spinner's edit
  EXPECT_EQ(app->PlantNow().mainsVolts[1], 235);
  EXPECT_EQ(app->PlantNow().mainsVolts[0], p.plant.mainsVolts[0]);
  w.udAgeing.SetPosition(20);
  EXPECT_DOUBLE_EQ(app->PlantNow().tubeAgeing, 0.20);

  // A code that is not two hexadecimal digits raises nothing.
  for (const char* bad : {"ZZ", "123", "", "00", "1 "}) {
    w.edAlarmCode.SetText(bad);
    w.btnAlarm.Click();
    EXPECT_LT(app->State(), 0x80) << bad;
  }
  w.edAlarmCode.SetText("1f");
  w.btnAlarm.Click();
  EXPECT_EQ(app->State(), sim::state::kAlarmOn);
  EXPECT_EQ(app->AlarmCode(), 0x1F);
  EXPECT_NE(w.lbState.Caption().find("авария, код 0x1F"), std::string::npos) << w.lbState.Caption();
  w.btnClearAlarm.Click();
  EXPECT_LT(app->State(), 0x80);

  // A broken stator: no current while the drive runs up (K4 output 0xB4 = 1).
  w.cbStator.Select(1);
  EXPECT_EQ(app->PlantNow().statorFault, sim::PlantSettings::StatorFault::Open);

  w.udDeadSeconds.SetPosition(30);
  w.btnDead.Click();
  EXPECT_TRUE(app->IsSilent());
  EXPECT_EQ(w.lbMessage.Caption(), "Линия молчит 30 с");
  w.RefreshTimerTimer();
  EXPECT_EQ(w.lbMessage.Caption(), "Линия молчит 30 с");
  app->Resume();
  w.RefreshTimerTimer();
  EXPECT_EQ(w.lbMessage.Caption(), "Линия снова отвечает");
}

TEST(SimWindow, TheAnodeLine) {
  EXPECT_EQ(sim::TfrmSimulator::AnodeText(37.4, -1), "Анод: 37 % оборотов");
  EXPECT_EQ(sim::TfrmSimulator::AnodeText(0, 9040), "Анод стоит: анод остановился через 9,0 с");
  EXPECT_EQ(sim::TfrmSimulator::AnodeText(0, -1), "Анод стоит");
}

}  // namespace
