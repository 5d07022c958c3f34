// The K4 measuring-channel window offscreen on a connected K4 simulator, opened by the main
// window's button after the technological power question and worked with keys and clicks: both
// points typed, the coefficients written, the window closed (which switches the apparatus off).
// PNG in gui-shots/.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <cstdlib>

#include "app/Manager.h"
#include "app/ui/ManagerView.h"
#include "app/ui/Program.h"
#include "procedures/ui/AmcK4View.h"
#include "sim/Apparatus.h"
#include "support/ProgramFixture.h"
#include "support/Shots.h"

namespace {

using kvt::ManagerButton;
using kvt::ToolWindow;
using kvt::ui::AmcK4View;

class AmcK4Views : public guitest::ProgramOnSimulatorFixture {};

void TypeAndEnter(QWidget* field, const QString& text) {
  QTest::mouseClick(field, Qt::LeftButton);
  QWidget* focused = QApplication::focusWidget();
  ASSERT_EQ(focused, field);
  QTest::keyClick(focused, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(focused, text);
  QTest::keyClick(focused, Qt::Key_Return);
}

TEST_F(AmcK4Views, TwoPointsWrittenAndClosingSwitchesOff) {
  sim::Profile profile;
  profile.type = "K4";
  profile.memoryFile.clear();
  sim::Apparatus& apparatus = sim::InstallForTest(profile);
  kvt::ui::ProgramWindows windows;
  kvt::TfrmManager& m = windows.Manager();
  windows.MainView().ButtonWidget(ManagerButton::btnAdjustConnection)->click();
  ASSERT_TRUE(kvt::SystemStatus().LinkUp);
  ASSERT_EQ(kvt::SystemStatus().SystemType(), "K4");
  // The channels of a K4 system are adjusted with a configuration image held, the system off.
  kvt::SystemStatus().ImageLoaded = true;
  m.RefreshButtons();
  QPushButton* channels = windows.MainView().ButtonWidget(ManagerButton::btnAdjustMeasuresChannels);
  ASSERT_TRUE(channels->isEnabled());
  ui_.QueueNonInteractiveAnswer(platform::Answer::Yes);
  QTest::mouseClick(channels, Qt::LeftButton);
  ASSERT_EQ(AmcK4View::OpenViews().size(), 1);
  QPointer<AmcK4View> view = AmcK4View::OpenViews()[0];
  EXPECT_TRUE(m.ToolWindowOpen(ToolWindow::MeasureChannelsK4));
  EXPECT_EQ(view->windowTitle(), QString::fromUtf8("Настройка измерительных каналов"));
  ASSERT_NO_FATAL_FAILURE(guitest::Activate(view));

  for (int p = 0; p < 3; ++p) apparatus.SetPhaseVolts(p, 190);
  TypeAndEnter(view->findChild<QLineEdit*>("edUmin"), "190");
  ASSERT_EQ(QApplication::focusWidget(), view->findChild<QPushButton*>("btnCal1"));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
  EXPECT_FALSE(view->findChild<QLineEdit*>("edADCminB")->text().isEmpty());
  ASSERT_EQ(QApplication::focusWidget(), view->findChild<QLineEdit*>("edUmax"));

  for (int p = 0; p < 3; ++p) apparatus.SetPhaseVolts(p, 245);
  TypeAndEnter(view->findChild<QLineEdit*>("edUmax"), "245");
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
  const QString a = view->findChild<QLineEdit*>("edAC")->text();
  EXPECT_FALSE(a.isEmpty());
  ASSERT_EQ(QApplication::focusWidget(), view->findChild<QPushButton*>("btnAccept"));
  QTest::mouseClick(view->findChild<QPushButton*>("btnAccept"), Qt::LeftButton);
  EXPECT_EQ(QString::number(apparatus.ReadMemory(0x86, 1)[0]), a);

  // The timer shows the phases as the apparatus now reads them.
  auto* ua = view->findChild<QLabel*>("lbUA");
  // A reading begun before the write may still arrive with the old coefficients: wait for
  // the first one taken with the new ones.
  const bool settled = QTest::qWaitFor(
      [&] { return !ua->text().isEmpty() && std::abs(ua->text().toInt() - 245) <= 2; }, 10000);
  EXPECT_TRUE(settled) << ua->text().toStdString();
  EXPECT_TRUE(guitest::SaveShot(view, "frmAMC_K4"));

  // While the window holds the technological power the main window's power button waits and
  // says why.
  QPushButton* powerOn = windows.MainView().ButtonWidget(ManagerButton::btnPowerOn);
  EXPECT_FALSE(powerOn->isEnabled());
  EXPECT_EQ(powerOn->toolTip().toStdString(), kvt::TfrmManager::kSpecialModeHeld);

  // Escape closes the window, with the power-off.
  apparatus.ClearFrameLog();
  ASSERT_NE(QApplication::focusWidget(), nullptr);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(view.isNull());
  EXPECT_FALSE(m.ToolWindowOpen(ToolWindow::MeasureChannelsK4));
  bool off = false;
  for (const auto& f : apparatus.FrameLog())
    off = off || f.bytes == std::vector<std::uint8_t>{1, 0x40};
  EXPECT_TRUE(off);
}

}  // namespace
