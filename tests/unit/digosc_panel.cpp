// The meter panel's own state: its defaults, the settings key that shows it, closing, and the
// strict reading of its fields.

#include <gtest/gtest.h>

#include "image/Settings.h"
#include "support/TempDir.h"
#include "tools/DigitalOscill.h"

namespace {

using kvt::TfrmDigitalOscill;

TEST(DigOscPanel, StartsWithTheModulesUsualSettings) {
  TfrmDigitalOscill p;
  EXPECT_EQ(p.Form.Caption(), "Панель диагностики цифрового измерителя напряжений");
  EXPECT_EQ(p.cbDatabits.Items(), (std::vector<std::string>{"8", "10"}));
  EXPECT_EQ(p.cbMeasures.Items(), (std::vector<std::string>{"1", "2", "5"}));
  EXPECT_EQ(p.cbChannel.Items(), (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(p.GroupBox4.Caption(), " Действующее ");
  EXPECT_EQ(p.GroupBox5.Caption(), " Размах ");
  EXPECT_EQ(p.Button4.Caption(), "Запись просто так");
  EXPECT_EQ(p.Button1.Caption(), "Запись по синхронизации");
  EXPECT_EQ(p.Button2.Caption(), "Прочитать осциллограмму");
  EXPECT_EQ(p.Button3.Caption(), "СБРОС");
  EXPECT_EQ(p.Label2.Caption(), "*10 ms.");
  EXPECT_EQ(p.edTime.Text(), "9");
  EXPECT_EQ(p.udTime.Min(), 1);
  EXPECT_EQ(p.edSync.Text(), "0");
  EXPECT_EQ(p.udSync.Min(), -127);
  EXPECT_EQ(p.udSync.Max(), 127);

  std::string error;
  const auto s = p.ReadFields(error);
  ASSERT_TRUE(s.has_value()) << error;
  EXPECT_EQ(s->channel, 1);
  EXPECT_EQ(s->time, 9);
  EXPECT_EQ(s->points, 5);
  EXPECT_EQ(s->bits, 8);
  EXPECT_EQ(s->level, 0);

  ASSERT_EQ(p.chartVoltage.SeriesCount(), 1u);
  EXPECT_EQ(p.chartVoltage.Series(0).Kind(), platform::SeriesKind::Line);
  EXPECT_EQ(p.chartVoltage.Series(0).SeriesColor(), platform::colors::Green);
  EXPECT_FALSE(p.chartVoltage.LeftAxis().automatic);
  EXPECT_EQ(p.chartVoltage.LeftAxis().increment, 10);
}

TEST(DigOscPanel, SettingsKeyShowsItAndClosingHidesIt) {
  testsupport::TempDir dir;
  TfrmDigitalOscill p;
  p.FormCreate(dir / "vesmar.ini");  // no file: not shown
  EXPECT_FALSE(p.Form.Visible());
  ASSERT_TRUE(kvt::settings::WriteDigOscTools(1, dir / "vesmar.ini"));
  p.FormCreate(dir / "vesmar.ini");
  EXPECT_TRUE(p.Form.Visible());
  p.FormClose();
  EXPECT_FALSE(p.Form.Visible());
  ASSERT_TRUE(kvt::settings::WriteDigOscTools(0, dir / "vesmar.ini"));
  p.FormCreate(dir / "vesmar.ini");
  EXPECT_FALSE(p.Form.Visible());
}

TEST(DigOscPanel, FieldsAreReadStrictly) {
  TfrmDigitalOscill p;
  std::string error;
  p.edSync.SetText("-127");
  p.cbChannel.EditText("+3");
  p.cbDatabits.Select(1);
  auto s = p.ReadFields(error);
  ASSERT_TRUE(s.has_value()) << error;
  EXPECT_EQ(s->level, -127);
  EXPECT_EQ(s->channel, 3);
  EXPECT_EQ(s->bits, 10);

  // The spinner keeps its last good position, the typed text is what counts.
  p.edTime.SetText("12 3");
  EXPECT_EQ(p.udTime.Position(), 9);
  EXPECT_FALSE(p.ReadFields(error).has_value());
  EXPECT_NE(error.find("\"Время измерения\""), std::string::npos) << error;
  EXPECT_NE(error.find("от 1 до 255"), std::string::npos) << error;
}

}  // namespace
