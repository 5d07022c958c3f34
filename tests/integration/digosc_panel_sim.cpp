// The meter's diagnostics panel against the simulated apparatus (instant timing): what each
// button sends, what the read shows, and how a missing module, a wrong reply and a typed field
// are told without anything going out that was not asked for.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "exposure/Snapshot.h"
#include "link/SystemLink.h"
#include "platform/LinkLock.h"
#include "sim/Apparatus.h"
#include "sim/Install.h"
#include "support/ExactPlant.h"
#include "support/ScopedUi.h"
#include "support/SimulatorLine.h"
#include "tools/DigitalOscill.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using kvt::TfrmDigitalOscill;

class DigOscSim : public ::testing::Test {
 protected:
  void Start(bool meter) {
    sim::Profile p = testsupport::ExactPlant();
    p.voltageMeter = meter;
    apparatus = &testsupport::AttachSimulator(p);
    apparatus->SetState(8);
    apparatus->ClearFrameLog();
  }
  void TearDown() override { kvt::CloseSharedPort(); }

  std::vector<Bytes> Frames() { return testsupport::DataFrames(*apparatus); }
  // The panel left the bus to the main controller and the lock free.
  void ExpectBusBack() {
    const auto log = apparatus->FrameLog();
    ASSERT_FALSE(log.empty());
    const auto last =
        std::find_if(log.rbegin(), log.rend(), [](const auto& f) { return f.IsAddress(); });
    ASSERT_NE(last, log.rend());
    EXPECT_EQ(last->bytes, Bytes{0x00});
    EXPECT_EQ(platform::TheLinkLock().Depth(), 0);
  }
  std::vector<std::string> Texts() {
    std::vector<std::string> out;
    for (const auto& m : ui->Messages()) {
      EXPECT_EQ(m.title, "digosc");
      out.push_back(m.text);
    }
    ui->ClearRecords();
    return out;
  }
  static int Number(const platform::Label& l) { return std::stoi(l.Caption()); }

  testsupport::ScopedUi ui;
  sim::Apparatus* apparatus = nullptr;
  TfrmDigitalOscill panel;
};

TEST_F(DigOscSim, AbsentModuleIsToldAndLeavesThePanelAsItWas) {
  Start(false);
  for (platform::Button* b : {&panel.Button4, &panel.Button1, &panel.Button2, &panel.Button3}) {
    apparatus->ClearFrameLog();
    b->Click();
    // Only the presence poll went to address 0x10.
    EXPECT_EQ(Frames(), (std::vector<Bytes>{{0x10}})) << b->Name();
    ExpectBusBack();
    const auto texts = Texts();
    ASSERT_EQ(texts.size(), 1u) << b->Name();
    EXPECT_EQ(texts[0], "Модуль цифрового измерителя напряжений не отвечает.");
  }
  EXPECT_EQ(panel.chartVoltage.Series(0).Count(), 0u);
  EXPECT_EQ(panel.Label7.Caption(), "");
  // The main controller still answers.
  platform::LinkLock::Guard guard(platform::TheLinkLock());
  EXPECT_EQ(kvt::TSystemLink().PollState(), 8);
}

TEST_F(DigOscSim, FreeRecordingOfTheMainsReadsTwoHundredTwentyVolts) {
  Start(true);
  panel.cbChannel.Select(1);  // "2": the mains
  panel.Button4.Click();
  EXPECT_EQ(Frames(), (std::vector<Bytes>{{0x10}, {0x15, 0x03, 2, 9, 5, 8}, {0x11, 0x41}}));
  ExpectBusBack();
  apparatus->ClearFrameLog();
  panel.Button2.Click();
  const auto frames = Frames();
  ASSERT_GE(frames.size(), 3u);
  EXPECT_EQ(frames[1], (Bytes{0x11, 0x24}));
  EXPECT_EQ(frames[2], (Bytes{0x14, 0x30, 2, 0x01, 0xC2}));  // 5 × 9 × 10 = 450 samples
  ExpectBusBack();
  EXPECT_TRUE(Texts().empty());

  const auto& pts = panel.chartVoltage.Series(0).Points();
  ASSERT_EQ(pts.size(), 450u);
  EXPECT_DOUBLE_EQ(pts[5].x, 1.0);  // 5 points per ms
  EXPECT_DOUBLE_EQ(pts[449].x, 449.0 / 5);
  const auto [lo, hi] =
      std::minmax_element(pts.begin(), pts.end(), [](auto& a, auto& b) { return a.y < b.y; });
  EXPECT_LT(lo->y, -50);
  EXPECT_GT(hi->y, 50);
  EXPECT_NEAR(Number(panel.Label7), 220, 3);
  // Peak to peak of the sine the recording shows.
  EXPECT_NEAR(Number(panel.Label8), hi->y - lo->y, 3);
  EXPECT_EQ(panel.chartVoltage.LeftAxis().minimum, -128);
  EXPECT_EQ(panel.chartVoltage.LeftAxis().maximum, 128);

  // Another mains voltage through the trigger recording.
  apparatus->SetMainsVolts(200);
  panel.Button1.Click();
  panel.Button2.Click();
  EXPECT_NEAR(Number(panel.Label7), 200, 3);
  EXPECT_TRUE(Texts().empty());
}

TEST_F(DigOscSim, TriggerLevelIsSentAsLevelPlus128) {
  Start(true);
  for (auto [text, byte] : {std::pair{"0", 0x80}, {"-127", 0x01}, {"127", 0xFF}, {"5", 0x85}}) {
    apparatus->ClearFrameLog();
    panel.edSync.SetText(text);
    panel.Button1.Click();
    EXPECT_EQ(Frames().back(), (Bytes{0x14, 0x42, 1, std::uint8_t(byte), 0x00})) << text;
  }
  EXPECT_TRUE(Texts().empty());
}

TEST_F(DigOscSim, TriggerRecordingAroundAShotGivesItsVoltage) {
  Start(true);
  panel.edTime.SetText("5");
  panel.edSync.SetText("5");
  panel.Button1.Click();  // channel 1: the anode voltage
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    kvt::TSnapshot shot(true);
    ASSERT_TRUE(shot.MakeShot(80, 100, 10));
  }
  panel.Button2.Click();
  EXPECT_TRUE(Texts().empty());
  EXPECT_EQ(panel.chartVoltage.Series(0).Count(), 250u);
  // The anode voltage from the swing, as the channel adjustment computes it.
  const int swing = Number(panel.Label8);
  const int kv = int(float(float(swing * 1.25f) * 483) * 0.001f + 0.5f);
  EXPECT_NEAR(kv, 80, 2);
}

TEST_F(DigOscSim, TypedFieldsAreToldAndNothingIsSent) {
  Start(true);
  using Field = platform::Edit TfrmDigitalOscill::*;
  using Combo = platform::ComboBox TfrmDigitalOscill::*;
  struct Case {
    Field edit;
    Combo combo;
    std::string text;
    const char* caption;
  };
  const Case cases[] = {{&TfrmDigitalOscill::edTime, nullptr, "9x", "Время измерения"},
                        {&TfrmDigitalOscill::edTime, nullptr, "0", "Время измерения"},
                        {&TfrmDigitalOscill::edTime, nullptr, "256", "Время измерения"},
                        {nullptr, &TfrmDigitalOscill::cbChannel, "4", "Канал измерения"},
                        {nullptr, &TfrmDigitalOscill::cbChannel, "", "Канал измерения"},
                        {nullptr, &TfrmDigitalOscill::cbMeasures, "0", "Точек на 1 мс."},
                        {nullptr, &TfrmDigitalOscill::cbDatabits, "восемь", "Разрядность"},
                        {&TfrmDigitalOscill::edSync, nullptr, "-128", "Уровень синхронизации"},
                        {&TfrmDigitalOscill::edSync, nullptr, "1.5", "Уровень синхронизации"}};
  for (const Case& c : cases) {
    TfrmDigitalOscill p;
    if (c.edit)
      (p.*c.edit).SetText(c.text);
    else
      (p.*c.combo).EditText(c.text);
    apparatus->ClearFrameLog();
    p.Button4.Click();
    p.Button1.Click();
    EXPECT_TRUE(apparatus->FrameLog().empty()) << c.text;
    const auto texts = Texts();
    ASSERT_EQ(texts.size(), 2u) << c.text;
    EXPECT_NE(texts[0].find(c.caption), std::string::npos) << texts[0];
    EXPECT_NE(texts[0].find("\"" + c.text + "\""), std::string::npos) << texts[0];
  }
  // The read needs only the channel and the rate; a bad rate would divide by nothing.
  panel.cbMeasures.EditText("0");
  panel.Button2.Click();
  EXPECT_TRUE(apparatus->FrameLog().empty());
  EXPECT_EQ(Texts().size(), 1u);
  // Spaces around a number are fine.
  panel.cbMeasures.EditText(" 5 ");
  panel.edTime.SetText(" 9");
  panel.Button4.Click();
  EXPECT_EQ(Frames().back(), (Bytes{0x11, 0x41}));
  EXPECT_TRUE(Texts().empty());
}

TEST_F(DigOscSim, WrongRepliesAreToldAndKeepTheChart) {
  Start(true);
  panel.cbChannel.Select(1);
  panel.Button4.Click();
  panel.Button2.Click();
  const auto before = panel.chartVoltage.Series(0).Points();
  const std::string effective = panel.Label7.Caption();
  ASSERT_EQ(before.size(), 450u);
  apparatus->SetTruncate(true);
  panel.Button4.Click();
  panel.Button2.Click();
  panel.Button3.Click();
  ExpectBusBack();
  const auto texts = Texts();
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_NE(texts[0].find("настройка записи"), std::string::npos) << texts[0];
  EXPECT_NE(texts[1].find("чтение настроек"), std::string::npos) << texts[1];
  EXPECT_NE(texts[2].find("сброс"), std::string::npos) << texts[2];
  EXPECT_EQ(panel.chartVoltage.Series(0).Points(), before);
  EXPECT_EQ(panel.Label7.Caption(), effective);
  apparatus->SetTruncate(false);

  // A module that falls silent is a module that does not answer.
  apparatus->GoSilent();
  panel.Button2.Click();
  apparatus->Resume();
  EXPECT_EQ(Texts(),
            std::vector<std::string>{"Модуль цифрового измерителя напряжений не отвечает."});
  EXPECT_EQ(panel.chartVoltage.Series(0).Points(), before);
}

TEST_F(DigOscSim, RecordingLongerThanTheBufferShowsWhatFitsAndSaysSo) {
  Start(true);
  panel.cbChannel.Select(1);
  panel.edTime.SetText("10");  // 5 × 10 × 10 = 500 samples
  panel.Button4.Click();
  apparatus->ClearFrameLog();
  panel.Button2.Click();
  EXPECT_EQ(Frames()[2], (Bytes{0x14, 0x30, 2, 0x01, 0xF2}));  // 498
  EXPECT_EQ(panel.chartVoltage.Series(0).Count(), 498u);
  EXPECT_NEAR(Number(panel.Label7), 220, 3);
  const auto texts = Texts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_NE(texts[0].find("498"), std::string::npos);
  EXPECT_NE(texts[0].find("500"), std::string::npos);
}

}  // namespace
