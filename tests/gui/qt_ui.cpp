// The Qt interface seam: work from other threads reaches the Qt thread in order, Synchronize
// waits for it, WaitServing serves it, and the Windows-style dialog filters convert. While a box
// is open, urgent work still runs, and the trainer's window takes the trainee's clicks and keys
// while the program's own windows take nothing.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <atomic>
#include <thread>
#include <vector>

#include "app/ui/Program.h"
#include "platform/qt/QtUi.h"
#include "sim/Apparatus.h"
#include "support/ProgramFixture.h"

namespace {

using platform::QtUi;

void PumpUntil(const std::function<bool()>& pred, int ms = 5000) {
  QElapsedTimer t;
  t.start();
  while (!pred() && t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
}

TEST(QtUi, PostAndSynchronizeFromAWorkerRunOnTheQtThreadInOrder) {
  QtUi ui;
  const auto qtThread = std::this_thread::get_id();
  std::vector<int> order;  // touched on the Qt thread only
  std::atomic<bool> workerDone{false};
  bool allOnQtThread = true;
  std::thread worker([&] {
    EXPECT_FALSE(ui.IsInterfaceThread());
    for (int i = 0; i < 50; ++i) {
      if (i % 10 == 9) {
        ui.Synchronize([&, i] {
          allOnQtThread &= std::this_thread::get_id() == qtThread;
          order.push_back(i);
        });
        // Synchronize returns only after its work ran, so it is already recorded.
      } else {
        ui.Post([&, i] {
          allOnQtThread &= std::this_thread::get_id() == qtThread;
          order.push_back(i);
        });
      }
    }
    workerDone = true;
  });
  PumpUntil([&] { return workerDone.load() && order.size() == 50; });
  worker.join();
  EXPECT_TRUE(allOnQtThread);
  ASSERT_EQ(order.size(), 50u);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(order[i], i);
}

TEST(QtUi, WaitServingServesAWorkerThatSynchronizesWhileTheQtThreadWaits) {
  QtUi ui;
  std::atomic<bool> finished{false};
  int served = 0;
  std::thread worker([&] {
    ui.Synchronize([&] { ++served; });  // would deadlock if the waiting Qt thread did not serve
    ui.Post([&] { ++served; });
    finished = true;
    ui.Wake();
  });
  // No event loop runs here: WaitServing itself must run the queued work.
  ui.WaitServing([&] { return finished.load(); });
  worker.join();
  EXPECT_GE(served, 1);  // the Post may still be queued; it is run by the next drain
  ui.Drain();
  EXPECT_EQ(served, 2);
}

TEST(QtUi, SynchronizeOnTheQtThreadRunsAtOnce) {
  QtUi ui;
  bool ran = false;
  ui.Synchronize([&] { ran = true; });
  EXPECT_TRUE(ran);
}

TEST(QtUi, NonInteractiveMessagesGiveTheCautiousAnswerOrAQueuedOne) {
  QtUi ui;
  ui.SetNonInteractive(true);
  EXPECT_EQ(ui.ShowMessage({"Сохранить текущий файл настроек?", "", platform::Icon::Question,
                            platform::Buttons::YesNo, false}),
            platform::Answer::No);
  ui.QueueNonInteractiveAnswer(platform::Answer::Yes);
  EXPECT_EQ(ui.ShowMessage({"q", "", platform::Icon::Question, platform::Buttons::YesNo, false}),
            platform::Answer::Yes);
  EXPECT_EQ(ui.ShowMessage({"i", "vdemon", platform::Icon::Error, platform::Buttons::Ok, true}),
            platform::Answer::Ok);
  auto shown = ui.ShownMessages();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[2].title, "vdemon");
  EXPECT_TRUE(shown[2].systemModal);
  EXPECT_FALSE(ui.RunFileDialog({}).accepted);
}

TEST(QtUi, MessageFromAWorkerIsShownOnTheQtThread) {
  QtUi ui;
  ui.SetNonInteractive(true);
  platform::Answer answer = platform::Answer::Yes;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    answer = ui.ShowMessage({"Потеряна связь с системой. ", "vdemon", platform::Icon::Error,
                             platform::Buttons::Ok, true});
    done = true;
    ui.Wake();
  });
  ui.WaitServing([&] { return done.load(); });
  worker.join();
  EXPECT_EQ(answer, platform::Answer::Ok);
  EXPECT_EQ(ui.ShownMessages().at(0).text, "Потеряна связь с системой. ");
}

TEST(QtUi, WindowsFiltersBecomeQtNameFilters) {
  const std::string f = "Образ памяти(*.mi)|*.mi|Файлы конфигурции системы (*.dat)|*.dat";
  auto q = platform::QtNameFilters(f);
  ASSERT_EQ(q.size(), 2u);
  EXPECT_EQ(q[0], "Образ памяти(*.mi)");
  EXPECT_EQ(q[1], "Файлы конфигурции системы (*.dat)");
  auto other = platform::QtNameFilters("A|*.mi|B|*.dat;*.txt");
  EXPECT_EQ(other, (std::vector<std::string>{"A (*.mi)", "B (*.dat *.txt)"}));
  EXPECT_EQ(platform::FilterExtension(f, 1), "mi");
  EXPECT_EQ(platform::FilterExtension(f, 2), "dat");
  EXPECT_EQ(platform::FilterExtension(f, 3), "");
  EXPECT_TRUE(platform::QtNameFilters("").empty());
}

// Closes the box with its OK button, as a person would; without one found, any box still open is
// closed so that the test ends.
void PressOk(QMessageBox* box) {
  if (!box) {
    ADD_FAILURE() << "no message box on top";
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* open = qobject_cast<QMessageBox*>(w); open && open->isVisible()) open->done(0);
    return;
  }
  for (QAbstractButton* b : box->buttons())
    if (box->buttonRole(b) == QMessageBox::AcceptRole) QTest::mouseClick(b, Qt::LeftButton);
}

TEST(QtUi, UrgentWorkRunsWhileABoxIsOpenOtherWorkWaitsForIt) {
  QtUi ui;
  platform::Ui* previous = platform::InstalledUi();
  platform::SetUi(&ui);
  std::atomic<bool> urgentDone{false};
  bool normalRan = false, urgentInBox = false, normalInBox = true;
  std::thread worker;
  QTimer::singleShot(50, [&] {
    worker = std::thread([&] {
      ui.Post([&] { normalRan = true; });
      platform::SynchronizeUrgent([] {});
      urgentDone = true;
    });
    urgentInBox = QTest::qWaitFor([&] { return urgentDone.load(); }, 5000);
    normalInBox = normalRan;
    PressOk(qobject_cast<QMessageBox*>(QApplication::activeModalWidget()));
  });
  platform::ShowMessage("Проверка", "", platform::Icon::Information);
  worker.join();
  PumpUntil([&] { return normalRan; });
  platform::SetUi(previous);
  EXPECT_TRUE(urgentInBox) << "a lamp post does not wait for the box";
  EXPECT_FALSE(normalInBox) << "a worker's box waits until this one is closed";
  EXPECT_TRUE(normalRan);
}

class BoxBesideTheTrainer : public guitest::ProgramOnSimulatorFixture {};

// A click as the window system delivers it: to the window at that place, where Qt drops it when a
// modal window blocks that window (QTest's widget overload would hand it to the widget directly).
void ClickOnScreen(QWidget* widget) {
  ASSERT_NE(widget, nullptr);
  ASSERT_TRUE(widget->isVisible());
  QWidget* top = widget->window();
  QTest::mouseClick(top->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                    widget->mapTo(top, widget->rect().center()));
}

// The window has become the one that takes the keys (not merely one Qt counts as active because
// it hangs on the active one).
bool ActiveSoon(QWidget* window) {
  return QTest::qWaitFor([&] { return QApplication::activeWindow() == window; }, 5000);
}

// The trainer's window stands for the apparatus: while the program's box about an alarm is open,
// the trainee clears the alarm there with the mouse and types there; a click on the main window
// does nothing, and the box still has the keys it had.
TEST_F(BoxBesideTheTrainer, TheTraineeClearsTheAlarmTheBoxIsAbout) {
  kvt::ui::ProgramWindows windows;
  auto& m = windows.Manager();
  m.MonitorPriority = platform::ThreadPriority::Normal;
  // The alarm's console page is not opened here.
  m.SetLauncher(kvt::ManagerTool::Terminal, [](kvt::TfrmManager&, const std::string&) {});
  QWidget* trainer = windows.SimulatorWindow();
  ASSERT_NE(trainer, nullptr);
  QPushButton* powerOn = windows.MainView().ButtonWidget(kvt::ManagerButton::btnPowerOn);
  QTest::mouseClick(windows.MainView().ButtonWidget(kvt::ManagerButton::btnAdjustConnection),
                    Qt::LeftButton);
  PumpUntil([&] { return powerOn->isEnabled(); }, 10000);
  ASSERT_TRUE(powerOn->isEnabled()) << "no connection to the simulator";
  ui_.SetNonInteractive(false);

  auto apparatus = sim::CurrentApparatus();
  QPushButton* options = windows.MainView().ButtonWidget(kvt::ManagerButton::btnOptions);
  QSignalSpy optionsClicks(options, &QAbstractButton::clicked);
  QString boxText, typed;
  int cleared = -1;
  bool optionsEnabled = false, boxStayed = false, sameFocus = false;
  QTimer person;
  person.setInterval(30);
  QObject::connect(&person, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (modal && !box) {
      ADD_FAILURE() << modal->objectName().toStdString() << " opened behind the box";
      modal->close();
      return;
    }
    if (!box) return;
    if (!boxText.isEmpty()) {
      ADD_FAILURE() << "the box did not take Enter";
      box->done(0);
      return;
    }
    boxText = box->text();
    const bool boxActive = ActiveSoon(box);  // as the box comes up, it takes the keys
    QWidget* focusInBox = QApplication::focusWidget();
    ClickOnScreen(trainer->findChild<QPushButton*>("btnClearAlarm"));
    cleared = apparatus->State();
    // A window manager makes the window clicked active; the trainee types the next alarm's code.
    trainer->activateWindow();
    if (ActiveSoon(trainer)) {
      ClickOnScreen(trainer->findChild<QLineEdit*>("edAlarmCode"));
      if (QWidget* focus = QApplication::focusWidget()) {
        QTest::keyClick(focus, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(focus, "07");
      }
      typed = trainer->findChild<QLineEdit*>("edAlarmCode")->text();
    }
    optionsEnabled = options->isEnabled();
    ClickOnScreen(options);
    boxStayed = QApplication::activeModalWidget() == box && box->isVisible();
    box->activateWindow();
    sameFocus = boxActive && ActiveSoon(box) && QApplication::focusWidget() == focusInBox;
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);  // the box's OK has the keys
  });
  person.start();
  ClickOnScreen(trainer->findChild<QPushButton*>("btnAlarm"));
  PumpUntil([&] { return !boxText.isEmpty() && !QApplication::activeModalWidget(); }, 10000);
  person.stop();
  EXPECT_TRUE(boxText.startsWith(QString::fromUtf8("Авария в системе"))) << boxText.toStdString();
  EXPECT_LT(cleared, 0x80) << "the trainer's button did not clear the alarm behind the box";
  EXPECT_EQ(typed, "07");
  EXPECT_TRUE(optionsEnabled) << "the click on the main window would prove nothing";
  EXPECT_EQ(optionsClicks.count(), 0) << "the main window took a click behind the box";
  EXPECT_TRUE(boxStayed);
  EXPECT_TRUE(sameFocus);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the box did not close";
}

// A box over a file dialog: the trainer's window stays usable behind both, and behind the dialog
// again once the box is closed; nothing is left hanging on the windows that are gone.
TEST_F(BoxBesideTheTrainer, StaysUsableBehindABoxOverAFileDialog) {
  kvt::ui::ProgramWindows windows;
  ui_.SetNonInteractive(false);
  QWidget* trainer = windows.SimulatorWindow();
  ASSERT_NE(trainer, nullptr);
  auto apparatus = sim::CurrentApparatus();
  int inBox = -1, behindDialog = -1;
  bool boxShown = false;
  QTimer person;  // deals with the file dialog; a timer of its own with the box over it
  person.setInterval(30);
  QObject::connect(&person, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog || boxShown) return;
    boxShown = true;
    QTimer::singleShot(100, [&] {
      ClickOnScreen(trainer->findChild<QPushButton*>("btnAlarm"));
      inBox = apparatus->State();
      PressOk(qobject_cast<QMessageBox*>(QApplication::activeModalWidget()));
    });
    platform::ShowMessage("Файл не найден.", "", platform::Icon::Error);
    QTest::qWait(50);  // the box's window is gone
    ClickOnScreen(trainer->findChild<QPushButton*>("btnClearAlarm"));
    behindDialog = apparatus->State();
    dialog->reject();
  });
  person.start();
  platform::FileDialogRequest request;
  request.initialDir = dir_.string();
  EXPECT_FALSE(ui_.RunFileDialog(request).accepted);
  person.stop();
  EXPECT_GT(inBox, 0x80) << "the trainer's alarm button did nothing behind the box";
  EXPECT_LT(behindDialog, 0x80) << "the trainer's window was left blocked behind the dialog";
  PumpUntil([] { return false; }, 100);
  EXPECT_EQ(trainer->windowHandle()->transientParent(), nullptr);
}

}  // namespace
