// The K4 measuring-channel window against the simulated K4 apparatus: a two-point calibration
// at true phase voltages set on the plant converges on the converter lines the simulator's truth
// calls exact; bad input is refused without a byte sent; closing always switches off.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "adjust_fixture.h"
#include "procedures/AmcK4.h"
#include "sim/Profile.h"
#include "sim/Truth.h"

namespace {

using kvt::TfrmAMC_K4;

TEST(AmcK4Coefficients, TwoPointsGiveGainAndOffset) {
  const auto c = kvt::ComputePhaseCoefficients(180, 250, 100, 140);
  ASSERT_TRUE(c.has_value());
  EXPECT_EQ(c->a, 224);
  EXPECT_EQ(c->b, -640);
  // B belongs to the A that is written (217, not 217.6): the lower point reads exactly.
  const auto t = kvt::ComputePhaseCoefficients(180, 250, 102, 143);
  ASSERT_TRUE(t.has_value());
  EXPECT_EQ(t->a, 218);
  EXPECT_EQ((102 * t->a - t->b) / 128, 180);
  // Equal codes, a gain that does not fit its byte, an inverted or empty span.
  EXPECT_FALSE(kvt::ComputePhaseCoefficients(180, 250, 120, 120));
  EXPECT_FALSE(kvt::ComputePhaseCoefficients(100, 250, 100, 140));
  EXPECT_FALSE(kvt::ComputePhaseCoefficients(250, 180, 100, 140));
  EXPECT_FALSE(kvt::ComputePhaseCoefficients(180, 180, 100, 140));
  EXPECT_EQ(kvt::IntegerText(" -12 "), -12);
  EXPECT_FALSE(kvt::IntegerText("12a"));
  EXPECT_FALSE(kvt::IntegerText(""));
  EXPECT_FALSE(kvt::IntegerText("99999999999"));
}

class AmcK4 : public adjusttest::AdjustFixture {
 protected:
  void StartK4(sim::Profile profile = {}) {
    profile.type = "K4";
    Start(std::move(profile));
    apparatus->SetState(0);
  }
  void SetAllPhases(double volts) {
    for (int p = 0; p < 3; ++p) apparatus->SetPhaseVolts(p, volts);
  }
  // The engineer sets the autotransformer, types the voltage and presses the button.
  void Point(TfrmAMC_K4& w, int volts, bool upper) {
    SetAllPhases(volts);
    (upper ? w.edUmax : w.edUmin).SetText(std::to_string(volts));
    (upper ? w.btnCal2 : w.btnCal1).Click();
  }
  int Coefficient(std::uint32_t address, bool word) {
    const auto m = apparatus->ReadMemory(address, word ? 2 : 1);
    return word ? std::int16_t(m[0] << 8 | m[1]) : m[0];
  }
  bool Sent(std::vector<std::uint8_t> frame) {
    for (const auto& f : apparatus->FrameLog())
      if (f.selected == 0 && f.bytes == frame) return true;
    return false;
  }
};

TEST_F(AmcK4, CalibrationConvergesOnTheTrueConverterLines) {
  sim::Profile profile = sim::LoadProfile(std::filesystem::path(KVT_DATA_DIR) / "simulator.ini");
  StartK4(profile);
  const sim::Profile truth = apparatus->CurrentProfile();
  {
    TfrmAMC_K4 w(nullptr);
    w.FormShow();
    Point(w, 180, false);
    EXPECT_EQ(w.FocusedControl(), "edUmax");
    Point(w, 250, true);
    EXPECT_TRUE(ui->Messages().empty());
    w.btnAccept.Click();
    EXPECT_EQ(w.lbCurrentInfo.Caption().rfind("\nЗначения записаны в память системы.", 0), 0u);
    for (int p = 0; p < 3; ++p) {
      const std::uint32_t at = TfrmAMC_K4::kCoefficientAddress[std::size_t(p)];
      const int a = Coefficient(at, false);
      const int b = Coefficient(at + 1, true);
      ASSERT_EQ(std::to_string(a), w.CoefA(p).Text());
      ASSERT_EQ(std::to_string(b), w.CoefB(p).Text());
      const auto exact = sim::truth::Phase(truth, p);
      std::printf("phase %d: A %d B %d (exact %.1f %.1f)\n", p, a, b, exact.a, exact.b);
      // Over the whole span the written line reads what the true line reads, within 1 V.
      for (int v = 180; v <= 250; v += 5) {
        const int code = sim::truth::PhaseCodeAt(truth, p, v);
        EXPECT_LE(std::abs((code * a - b) / 128.0 - (code * exact.a - exact.b) / 128.0), 1.0)
            << "phase " << p << " at " << v << " V";
      }
    }
    // The apparatus's own readings of two true voltages.
    for (int v : {195, 235}) {
      SetAllPhases(v);
      w.MUTimer.Fire();
      for (int p = 0; p < 3; ++p)
        EXPECT_NEAR(std::stoi(w.Measured(p).Caption()), v, 1.0) << "phase " << p << " at " << v;
    }
    EXPECT_TRUE(apparatus->BankChecksumOk(0));
    apparatus->ClearFrameLog();
  }
  EXPECT_TRUE(Sent({0x01, 0x40}));
}

TEST_F(AmcK4, BadInputIsRefusedAndNothingIsWritten) {
  StartK4();
  TfrmAMC_K4 w(nullptr);
  w.FormShow();
  const auto before = apparatus->ReadMemory(0x80, 9);
  apparatus->ClearFrameLog();
  // Nothing computed yet: no write frame leaves the program.
  w.btnAccept.Click();
  ASSERT_EQ(ui->Messages().size(), 1u);
  EXPECT_TRUE(Frames(0x05, 0x01).empty());
  EXPECT_TRUE(Frames(0x02, 0x45).empty());

  // The same voltage at both points gives equal codes: the error box and everything cleared.
  Point(w, 220, false);
  Point(w, 220, true);
  ASSERT_EQ(ui->Messages().size(), 2u);
  EXPECT_EQ(ui->Messages().back().text, TfrmAMC_K4::kRecalibrate);
  EXPECT_EQ(ui->Messages().back().icon, platform::Icon::Error);
  EXPECT_EQ(w.edUmin.Text(), "");
  for (int p = 0; p < 3; ++p) {
    EXPECT_EQ(w.CodeMin(p).Text(), "");
    EXPECT_EQ(w.CoefA(p).Text(), "");
  }
  EXPECT_EQ(w.lbCurrentInfo.Caption().rfind("\nВизуально проконтролируйте", 0), 0u);

  // A typo in a reference voltage.
  Point(w, 180, false);
  w.edUmin.SetText("18O");
  Point(w, 250, true);
  EXPECT_EQ(ui->Messages().back().text, TfrmAMC_K4::kRecalibrate);
  EXPECT_EQ(w.CoefB(0).Text(), "");

  // A silent apparatus: the codes stay empty and the engineer is told.
  apparatus->GoSilent();
  w.edUmin.SetText("200");
  w.btnCal1.Click();
  EXPECT_EQ(ui->Messages().size(), 4u);
  EXPECT_EQ(w.CodeMin(0).Text(), "");
  w.MUTimer.Fire();
  EXPECT_EQ(w.lbUA.Caption(), "--");
  apparatus->Resume();
  EXPECT_EQ(apparatus->ReadMemory(0x80, 9), before);
}

TEST_F(AmcK4, EachTypedVoltageIsCheckedWhereItIsTyped) {
  StartK4();
  TfrmAMC_K4 w(nullptr);
  w.FormShow();
  apparatus->ClearFrameLog();
  // An empty or non-numeric Umin is refused at "Калибровка 1": no codes read or recorded.
  for (const char* typed : {"", "abc", "-5"}) {
    w.edUmin.SetText(typed);
    w.btnCal1.Click();
    EXPECT_EQ(w.CodeMin(0).Text(), "") << typed;
    EXPECT_EQ(w.FocusedControl(), "edUmin");
    ASSERT_FALSE(ui->Messages().empty());
    EXPECT_NE(ui->Messages().back().text.find("Umin"), std::string::npos) << typed;
  }
  EXPECT_TRUE(Frames(0x02, 0x43).empty());
  Point(w, 190, false);
  EXPECT_FALSE(w.CodeMin(0).Text().empty());
  // And Umax at "Калибровка 2", naming Umax, not the other value.
  w.edUmax.SetText("2x0");
  w.btnCal2.Click();
  EXPECT_NE(ui->Messages().back().text.find("Umax"), std::string::npos);
  EXPECT_EQ(w.CodeMax(0).Text(), "");
  EXPECT_FALSE(w.CodeMin(0).Text().empty());
}

}  // namespace
