// The trainer's simulator window as the program shows it beside the main window.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <cmath>
#include <fstream>

#include "app/ui/Program.h"
#include "sim/Apparatus.h"
#include "sim/Install.h"
#include "support/ProgramFixture.h"
#include "support/Shots.h"

namespace {

class SimulatorWindow : public guitest::ProgramOnSimulatorFixture {};

TEST_F(SimulatorWindow, ShownBesideTheMainWindowAndTheMainsFollowsTheTrainer) {
  kvt::ui::ProgramWindows windows;
  QWidget* w = windows.SimulatorWindow();
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->windowTitle(), QString("Имитатор аппарата (Ctrl+F12)"));
  EXPECT_LE(w->frameGeometry().right(), windows.MainView().frameGeometry().left());
  // K2: one mains, no phases.
  EXPECT_FALSE(w->findChild<QSpinBox*>("udMainsB")->isVisible());

  auto* supply = w->findChild<QLabel*>("lbSupply");
  const QString before = supply->text();
  auto* mains = w->findChild<QSpinBox*>("udMainsA");
  w->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w));
  QTest::mouseClick(mains->findChild<QLineEdit*>(), Qt::LeftButton);
  QWidget* focus = QApplication::focusWidget();
  ASSERT_NE(focus, nullptr);
  QTest::keyClick(focus, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(focus, "240");
  QTest::keyClick(focus, Qt::Key_Return);
  EXPECT_EQ(sim::CurrentApparatus()->PlantNow().mainsVolts[0], 240);
  EXPECT_NE(supply->text(), before);
  // The reading the apparatus gives follows, through its own (not quite exact) channel.
  const double reading = sim::CurrentApparatus()->StatusNow().supply * 1.464;
  EXPECT_NEAR(reading, 240 * sim::PlantSettings{}.mainsGain, 2);
  EXPECT_NE(supply->text().indexOf(QString::number(
                static_cast<int>(std::lround(sim::CurrentApparatus()->StatusNow().supply)))),
            -1)
      << supply->text().toStdString();
  ASSERT_TRUE(guitest::SaveShot(w, "frmSimulator"));

  // An alarm now shows in the window; closed, the main window's shortcut brings it back.
  QTest::mouseClick(w->findChild<QPushButton*>("btnAlarm"), Qt::LeftButton);
  EXPECT_GT(sim::CurrentApparatus()->State(), 0x80);
  EXPECT_NE(w->findChild<QLabel*>("lbState")->text().indexOf("код 0x05"), -1);
  w->close();
  EXPECT_FALSE(w->isVisible());
  windows.MainView().activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&windows.MainView()));
  QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget()
                                              : static_cast<QWidget*>(&windows.MainView()),
                  Qt::Key_F12, Qt::ControlModifier);
  EXPECT_TRUE(w->isVisible());
}

TEST_F(SimulatorWindow, NoneWithoutASimulatorPort) {
  std::ofstream(dir_ / "vesmar.ini") << "[Ports]\nCOM1=/dev/null-no-such-port\n";
  kvt::ui::ProgramWindows windows;
  EXPECT_EQ(windows.SimulatorWindow(), nullptr);
}

}  // namespace
