// The control panel offscreen, operated with the mouse on its visible keys: a short press of a
// stepping key, a counter, and a whole two-press exposure on the simulator with pictures before,
// during the preparation and after. And the main window's button replacing the panel, which only
// hides when closed. PNGs go to gui-shots/.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QTest>

#include "app/ui/Program.h"
#include "link/SystemLink.h"
#include "platform/LinkLock.h"
#include "platform/qt/QtUi.h"
#include "sim/Apparatus.h"
#include "sim/Install.h"
#include "support/ProgramFixture.h"
#include "support/Shots.h"
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
    apparatus_ = &sim::InstallForTest({});
    kvt::AttachSharedPort(sim::OpenSimulatorPort());
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    kvt::TSystemLink().SelectModule(kvt::kMainControllerAddress);
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

class PultFromMainWindow : public guitest::ProgramOnSimulatorFixture {};

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
