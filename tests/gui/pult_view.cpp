// The control panel offscreen, operated with the mouse on its visible keys: a short press of a
// stepping key, a counter, and a whole two-press exposure on the simulator with pictures before,
// during the preparation and after; the lamps and the cancel of an alarm while a message box is
// open; the whole program after a silent line and a new connection, where one click exposes
// nothing. And the main window's button replacing the panel, which only hides when closed. PNGs
// go to gui-shots/.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include "app/ui/Program.h"
#include "link/SystemLink.h"
#include "link/SystemStatus.h"
#include "platform/LinkLock.h"
#include "platform/qt/QtUi.h"
#include "sim/Apparatus.h"
#include "sim/Install.h"
#include "support/ProgramFixture.h"
#include "support/Shots.h"
#include "support/SimulatorLine.h"
#include "tools/ui/PultView.h"

namespace {

using kvt::TfrmPult;
using kvt::ToolWindow;
using kvt::ui::PultKey;
using kvt::ui::PultView;
using Stage = TfrmPult::ShotStage;

class PultOnSimulator : public ::testing::Test {
 protected:
  PultOnSimulator() {
    ui_.SetNonInteractive(true);
    previousUi_ = platform::InstalledUi();
    platform::SetUi(&ui_);
    apparatus_ = &testsupport::AttachSimulator({});
    apparatus_->SetState(8);
    apparatus_->SetConsoleValues({85, 120, 8});
  }
  ~PultOnSimulator() override {
    delete view_;
    kvt::CloseSharedPort();
    platform::SetUi(previousUi_);
  }

  PultKey* Key(const char* name) {
    auto* k = view_->findChild<PultKey*>(name);
    EXPECT_NE(k, nullptr) << name;
    EXPECT_TRUE(k && k->isVisible()) << name;
    return k;
  }
  QString Text(const char* name) {
    auto* l = view_->findChild<QLabel*>(name);
    return l ? l->text() : QString("<none>");
  }
  bool Wait(const std::function<bool()>& done) { return QTest::qWaitFor(done, 20000); }

  platform::QtUi ui_;
  platform::Ui* previousUi_ = nullptr;
  sim::Apparatus* apparatus_ = nullptr;
  QPointer<PultView> view_;
};

TEST_F(PultOnSimulator, AWholeExposureWithTheMouse) {
  view_ = new PultView(std::make_unique<TfrmPult>(nullptr, kvt::PultTiming{500, 350, 2, 8}));
  view_->PlaceAtTopLeft();
  view_->show();
  view_->Model().FormCreate();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(view_));
  TfrmPult& m = view_->Model();
  EXPECT_EQ(view_->windowTitle(), QString::fromUtf8("Пульт управления"));
  EXPECT_EQ(view_->size(), QSize(527, 543));
  EXPECT_EQ(Text("lbU"), "85");
  EXPECT_EQ(Text("lbT"), "0.08");

  // A short click of a stepping key: one unit.
  QTest::mouseClick(Key("btnUup"), Qt::LeftButton);
  ASSERT_TRUE(Wait([&] { return m.WorkersIdle() && Text("lbU") == "86"; }));
  QTest::mouseClick(Key("btnTotalSnapshots"), Qt::LeftButton);
  EXPECT_EQ(Text("CounterIndicator"), "28461");
  EXPECT_TRUE(guitest::SaveShot(view_, "frmPult-before"));

  // First press: the apparatus prepares. The device lock held here keeps the dispatcher off the
  // line until the picture is taken.
  PultKey* shoot = Key("btnSnapshot");
  platform::TheLinkLock().Lock();
  QTest::mousePress(shoot, Qt::LeftButton);
  EXPECT_EQ(m.Stage(), Stage::Preparing);
  EXPECT_EQ(m.PrepLamp.Resource(), "PrepOnLamp");
  EXPECT_TRUE(guitest::SaveShot(view_, "frmPult-preparing"));
  platform::TheLinkLock().Unlock();
  ASSERT_TRUE(Wait([&] { return m.Stage() == Stage::Prepared; }));
  EXPECT_EQ(m.PrepLamp.Resource(), "PrepComplLamp");
  QTest::mouseRelease(shoot, Qt::LeftButton);
  EXPECT_EQ(apparatus_->State(), 24);

  // Second press: the shot, confirmed; the lamps go out.
  QTest::mousePress(shoot, Qt::LeftButton);
  ASSERT_TRUE(Wait([&] { return m.Stage() == Stage::None; }));
  QTest::mouseRelease(shoot, Qt::LeftButton);
  EXPECT_EQ(apparatus_->State(), 8);
  EXPECT_EQ(apparatus_->LastShot()->durationMs, 80);
  EXPECT_EQ(m.HVLamp.Resource(), "HVOffLamp");
  QTest::mouseClick(Key("btnTotalSnapshots"), Qt::LeftButton);
  EXPECT_EQ(Text("CounterIndicator"), "28462");
  EXPECT_TRUE(guitest::SaveShot(view_, "frmPult-after"));
}

// The engineer reads a message box while the prepared shot ends in an alarm: the cancel goes out
// and the lamps go dark while the box is still open.
TEST_F(PultOnSimulator, AnAlarmBehindAMessageBoxIsCancelledAndTheLampsGoOut) {
  view_ = new PultView(std::make_unique<TfrmPult>(nullptr, kvt::PultTiming{500, 350, 2, 8}));
  view_->show();
  view_->Model().FormCreate();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(view_));
  TfrmPult& m = view_->Model();
  PultKey* shoot = Key("btnSnapshot");
  QTest::mousePress(shoot, Qt::LeftButton);
  ASSERT_TRUE(Wait([&] { return m.Stage() == Stage::Prepared; }));
  QTest::mouseRelease(shoot, Qt::LeftButton);
  apparatus_->ClearFrameLog();

  ui_.SetNonInteractive(false);
  bool boxOpen = false, lampsOut = false;
  std::vector<int> sent;
  QTimer::singleShot(50, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    boxOpen = box != nullptr;
    apparatus_->RaiseAlarm(0x85);
    lampsOut = QTest::qWaitFor(
        [&] { return m.Stage() == Stage::None && m.PrepLamp.Resource() == "PrepOffLamp"; }, 500);
    for (const auto& f : apparatus_->FrameLog())
      if (!f.IsAddress() && f.bytes.size() == 2 && f.bytes[0] == 0x01) sent.push_back(f.bytes[1]);
    EXPECT_TRUE(guitest::SaveShot(view_, "frmPult-alarm-behind-box"));
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible()) b->done(0);
  });
  platform::ShowMessage("Образ памяти не сохранён.", "", platform::Icon::Information);
  EXPECT_TRUE(boxOpen);
  EXPECT_TRUE(lampsOut) << "the lamp followed the apparatus within half a second";
  EXPECT_EQ(sent, (std::vector<int>{0x4A, 0x54})) << "the cancel went out with the box open";
}

class PultFromMainWindow : public guitest::ProgramOnSimulatorFixture {};

// The scenario of a new user: connect, switch on, standby heating, open the panel, prepare; the
// trainer silences the line for 5 s; the main window declares it lost; "Установка связи с
// системой" again; one click on the exposure key. The preparation left over is cancelled and
// told, and the click exposes nothing.
TEST_F(PultFromMainWindow, AfterASilenceAndANewConnectionOneClickExposesNothing) {
  kvt::ui::ProgramWindows windows;
  kvt::TfrmManager& m = windows.Manager();
  m.MonitorPriority = platform::ThreadPriority::Normal;
  auto press = [&](kvt::ManagerButton b) {
    QPushButton* button = windows.MainView().ButtonWidget(b);
    ASSERT_TRUE(QTest::qWaitFor([&] { return button->isEnabled(); }, 20000));
    QTest::mouseClick(button, Qt::LeftButton);
  };
  press(kvt::ManagerButton::btnAdjustConnection);
  press(kvt::ManagerButton::btnPowerOn);
  press(kvt::ManagerButton::btnUnderHeatOn);
  press(kvt::ManagerButton::btnOpenControlPanel);
  PultView* view = PultView::Current();
  ASSERT_NE(view, nullptr);
  TfrmPult& p = view->Model();
  auto apparatus = sim::CurrentApparatus();
  auto* shoot = view->findChild<PultKey*>("btnSnapshot");
  QTest::mousePress(shoot, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return p.Stage() == Stage::Prepared; }, 20000));
  QTest::mouseRelease(shoot, Qt::LeftButton);
  ASSERT_EQ(apparatus->State(), 24);
  const int before = apparatus->LastShot()->durationMs;

  // The trainer: 5 s of silence.
  QWidget* trainer = windows.SimulatorWindow();
  ASSERT_NE(trainer, nullptr);
  QTest::mouseClick(trainer->findChild<QSpinBox*>("udDeadSeconds")->findChild<QLineEdit*>(),
                    Qt::LeftButton);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(QApplication::focusWidget(), "5");
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  QTest::mouseClick(trainer->findChild<QPushButton*>("btnDead"), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return p.PrepLamp.Resource() == "PrepOffLamp"; }, 2000));
  auto told = [&](const std::string& text) {
    int n = 0;
    for (const auto& r : ui_.ShownMessages()) n += r.text.find(text) != std::string::npos;
    return n;
  };
  ASSERT_TRUE(QTest::qWaitFor([&] { return told("Потеряна связь с системой") > 0; }, 30000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !apparatus->IsSilent(); }, 10000));
  ASSERT_EQ(apparatus->State(), 24) << "the cancel went into the silence";

  press(kvt::ManagerButton::btnAdjustConnection);
  ASSERT_TRUE(kvt::SystemStatus().LinkUp);
  EXPECT_EQ(told(std::string(TfrmPult::kForeignPrepared) + TfrmPult::kForeignCancelled), 1);
  EXPECT_EQ(apparatus->State(), 8);

  apparatus->ClearFrameLog();
  EXPECT_TRUE(guitest::SaveShot(view, "frmPult-reconnected-before-click"));
  QTest::mouseClick(shoot, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return p.WorkersIdle(); }, 20000));
  EXPECT_TRUE(guitest::SaveShot(view, "frmPult-reconnected-after-click"));
  const std::vector<std::uint8_t> release{0x01, 0x4B};
  for (const auto& f : apparatus->FrameLog())
    EXPECT_FALSE(!f.IsAddress() && f.bytes == release) << "released";
  EXPECT_EQ(apparatus->LastShot()->durationMs, before);
  EXPECT_EQ(p.Stage(), Stage::None);
}

TEST_F(PultFromMainWindow, ThePressReplacesThePanelAndClosingOnlyHidesIt) {
  kvt::ui::ProgramWindows windows;
  kvt::TfrmManager& m = windows.Manager();
  m.btnOpenControlPanelClick();
  QPointer<PultView> first = PultView::Current();
  ASSERT_FALSE(first.isNull());
  EXPECT_TRUE(first->isVisible());
  EXPECT_TRUE(m.ToolWindowOpen(ToolWindow::ControlPanel));

  first->close();
  QApplication::processEvents();
  EXPECT_FALSE(first.isNull()) << "hidden, not destroyed";
  EXPECT_FALSE(first->isVisible());
  EXPECT_TRUE(m.ToolWindowOpen(ToolWindow::ControlPanel));

  m.btnOpenControlPanelClick();
  EXPECT_TRUE(first.isNull());
  ASSERT_NE(PultView::Current(), nullptr);
  EXPECT_TRUE(PultView::Current()->isVisible());

  windows.MainView().close();
  EXPECT_EQ(PultView::Current(), nullptr);
  EXPECT_FALSE(m.ToolWindowOpen(ToolWindow::ControlPanel));
}

}  // namespace
