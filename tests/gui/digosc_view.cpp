// The meter panel's view offscreen: it opens as the settings say, shows its controls, a recording
// of the mains read through its buttons reaches the chart and the figures, closing hides it, and
// a PNG of it is saved under gui-shots/.

#include <gtest/gtest.h>

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <filesystem>

#include "gui/support/Pump.h"
#include "gui/support/Shots.h"
#include "gui/support/ViewOnSimulator.h"
#include "image/Settings.h"
#include "link/SystemLink.h"
#include "platform/LinkLock.h"
#include "platform/Paths.h"
#include "platform/ScriptedUi.h"
#include "sim/Apparatus.h"
#include "sim/Install.h"
#include "tools/ui/DigitalOscillView.h"

namespace {

namespace fs = std::filesystem;
using guitest::Child;

// The apparatus with the reference voltage meter the panel reads.
sim::Profile WithVoltageMeter() {
  sim::Profile profile;
  profile.voltageMeter = true;
  return profile;
}

class DigOscView : public guitest::ViewOnSimulatorFixture {
 protected:
  DigOscView() : ViewOnSimulatorFixture(WithVoltageMeter()) {}
};

TEST_F(DigOscView, HiddenUnlessTheSettingsAskForIt) {
  {
    kvt::ui::DigitalOscillView view;
    EXPECT_FALSE(view.isVisible());
  }
  ASSERT_TRUE(kvt::settings::WriteDigOscTools(1, platform::SettingsPath()));
  kvt::ui::DigitalOscillView view;
  EXPECT_TRUE(view.isVisible());
  EXPECT_EQ(view.objectName(), "frmDigitalOscill");
  EXPECT_EQ(view.windowTitle(), QString("Панель диагностики цифрового измерителя напряжений"));
  // Closing only hides it; it can be shown again.
  EXPECT_TRUE(view.close());
  EXPECT_FALSE(view.isVisible());
  EXPECT_FALSE(view.Model().Form.Visible());
  view.show();
  EXPECT_TRUE(view.Model().Form.Visible());
}

TEST_F(DigOscView, RecordingOfTheMainsIsPlottedAndEvaluated) {
  kvt::ui::DigitalOscillView view;
  view.show();
  EXPECT_EQ(Child<QComboBox>(view, "cbChannel")->count(), 3);
  EXPECT_EQ(Child<QComboBox>(view, "cbDatabits")->currentText(), QString("8"));
  EXPECT_EQ(Child<QComboBox>(view, "cbMeasures")->currentText(), QString("5"));
  EXPECT_EQ(Child<QSpinBox>(view, "udTime")->value(), 9);
  EXPECT_EQ(Child<QSpinBox>(view, "udSync")->minimum(), -127);
  EXPECT_EQ(Child<QPushButton>(view, "Button3")->text(), QString("СБРОС"));
  ASSERT_TRUE(guitest::SaveShot(&view, "frmDigitalOscill-empty"));

  Child<QComboBox>(view, "cbChannel")->setCurrentIndex(1);  // the mains
  EXPECT_EQ(view.Model().cbChannel.Text(), "2");
  Child<QPushButton>(view, "Button4")->click();
  Child<QPushButton>(view, "Button2")->click();
  EXPECT_TRUE(ui_.Messages().empty());
  const int volts = Child<QLabel>(view, "Label7")->text().toInt();
  EXPECT_NEAR(volts, sim::PlantSettings{}.mainsVolts[0], 3);  // the reference reads the true mains
  EXPECT_GT(Child<QLabel>(view, "Label8")->text().toInt(), 100);

  QApplication::processEvents();
  const auto series = Child<QChartView>(view, "chartVoltage")->chart()->series();
  ASSERT_EQ(series.size(), 1);
  auto* line = qobject_cast<QLineSeries*>(series[0]);
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(line->count(), 450);
  EXPECT_EQ(line->color(), QColor(0, 0x80, 0));
  ASSERT_TRUE(guitest::SaveShot(&view, "frmDigitalOscill-mains"));
}

}  // namespace
