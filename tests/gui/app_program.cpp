// The program's windows offscreen on the simulated apparatus: the main window as start-up shows
// it, a press of "Установка связи с системой", the connection window's ready conclusion, and the
// power command offered after the state monitor's first poll.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "app/Progress.h"
#include "app/ui/AdjConnInfoView.h"
#include "app/ui/Program.h"
#include "link/SystemStatus.h"
#include "platform/Paths.h"
#include "platform/qt/Bindings.h"
#include "platform/qt/QtUi.h"
#include "sim/Install.h"
#include "support/ProgramFixture.h"
#include "support/Pump.h"
#include "support/Shots.h"

namespace {

using guitest::PumpUntil;

namespace fs = std::filesystem;
using kvt::ManagerButton;

// Aborts the test program with a message if it is still alive after the limit: a deadlock then
// fails the run instead of hanging it.
class Deadline {
 public:
  Deadline(int seconds, const char* what)
      : thread_([this, seconds, what] {
          std::unique_lock lock(m_);
          if (!cv_.wait_for(lock, std::chrono::seconds(seconds), [this] { return done_; })) {
            std::fprintf(stderr, "deadlock: %s did not finish\n", what);
            std::abort();
          }
        }) {}
  ~Deadline() {
    {
      std::lock_guard lock(m_);
      done_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  bool done_ = false;
  std::thread thread_;
};

class ProgramOnSimulator : public guitest::ProgramOnSimulatorFixture {};

TEST_F(ProgramOnSimulator, MainWindowAsStartUpShowsIt) {
  kvt::ui::ProgramWindows windows;
  auto& view = windows.MainView();
  ASSERT_TRUE(guitest::SaveShot(&view, "frmManager-start"));
  EXPECT_TRUE(view.isVisible());
  EXPECT_EQ(view.windowTitle(), QString("KVT-Vesmar"));
  EXPECT_EQ(view.size(), QSize(261, 543));
  // Top right corner of the primary screen.
  const QRect screen = QApplication::primaryScreen()->geometry();
  EXPECT_EQ(view.frameGeometry().right(), screen.right());
  EXPECT_EQ(view.frameGeometry().top(), screen.top());

  EXPECT_EQ(view.StateMonitorWidget()->text(), QString("СВЯЗЬ НЕ УСТАНОВЛЕНА"));
  const QPalette pal = view.StateMonitorWidget()->palette();
  EXPECT_EQ(pal.color(QPalette::WindowText), QColor(0, 255, 0));
  EXPECT_EQ(pal.color(QPalette::Window), QColor(0, 0, 0));
  EXPECT_EQ(view.ButtonWidget(ManagerButton::btnInformation)->text(), QString("Сравка"));
  EXPECT_EQ(view.ButtonWidget(ManagerButton::btnAdjustConnection)->size(), QSize(222, 25));
  EXPECT_FALSE(view.ButtonWidget(ManagerButton::btnAdjustConnection)->icon().isNull());
  EXPECT_TRUE(view.ButtonWidget(ManagerButton::btnAdjustConnection)->isEnabled());
  EXPECT_TRUE(view.ButtonWidget(ManagerButton::btnOptions)->isEnabled());
  EXPECT_FALSE(view.ButtonWidget(ManagerButton::btnAuto)->isEnabled());
  EXPECT_FALSE(view.ButtonWidget(ManagerButton::btnPowerOn)->isEnabled());

  for (const char* name : {"frmSelectDir", "frmOptions", "frmDigitalOscill", "frmDefineCurrent"}) {
    QWidget* w = windows.HiddenWindow(name);
    ASSERT_NE(w, nullptr) << name;
    EXPECT_FALSE(w->isVisible()) << name;
  }
}

TEST_F(ProgramOnSimulator, ConnectingShowsTheReadyConclusionThenOffersPowerOn) {
  kvt::ui::ProgramWindows windows;
  auto& view = windows.MainView();
  windows.Manager().MonitorPriority = platform::ThreadPriority::Normal;
  view.ButtonWidget(ManagerButton::btnAdjustConnection)->click();

  auto* conn = qobject_cast<kvt::ui::AdjConnInfoView*>(view.ConnectionWindowView());
  ASSERT_NE(conn, nullptr);
  EXPECT_TRUE(conn->isVisible());
  EXPECT_EQ(conn->windowTitle(), QString("Настройка связи с системой"));
  EXPECT_EQ(conn->pos(), QApplication::primaryScreen()->geometry().topLeft());
  EXPECT_EQ(conn->Conclusion()->text(), QString("\n\nСИСТЕМА ГОТОВА К РАБОТЕ!"));
  EXPECT_TRUE(conn->ChecksumGroup()->isVisibleTo(conn));
  EXPECT_EQ(conn->Modules()->item(0, 2)->text(), QString("   Код"));
  EXPECT_EQ(conn->Modules()->columnWidth(1), 376);
  EXPECT_EQ(conn->Checksums()->columnWidth(2), 81);
  ASSERT_TRUE(guitest::SaveShot(conn, "frmAdjustConnectionInfo-ready"));

  // The state monitor's first poll reports the apparatus off and enables switching it on.
  QPushButton* powerOn = view.ButtonWidget(ManagerButton::btnPowerOn);
  ASSERT_TRUE(PumpUntil([&] { return powerOn->isEnabled(); }, 10000));
  EXPECT_EQ(view.StateMonitorWidget()->text(), QString("СИСТЕМА ВЫКЛЮЧЕНА"));
  EXPECT_TRUE(view.ButtonWidget(ManagerButton::btnReadConfig)->isEnabled());
  EXPECT_FALSE(view.ButtonWidget(ManagerButton::btnPowerOff)->isEnabled());
  ASSERT_TRUE(guitest::SaveShot(&view, "frmManager-connected"));

  // Closing the main window stops the monitor and closes the port and the connection window.
  view.close();
  EXPECT_FALSE(windows.Manager().MonitorRunning);
  EXPECT_FALSE(windows.Manager().HasConnectionLink());
  EXPECT_EQ(windows.Manager().ConnectionWindow(), nullptr);
}

TEST_F(ProgramOnSimulator, UserCannotCloseTheProgressWindow) {
  kvt::ui::ProgramWindows windows;
  kvt::TfrmProgress progress("Чтение образа памяти...");
  QWidget* w = nullptr;
  for (QWidget* top : QApplication::topLevelWidgets())
    if (top->objectName() == "frmProgress" && top->isVisible()) w = top;
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->windowTitle(), QString("Чтение образа памяти..."));
  progress.SetProgress(42);
  auto* bar = w->findChild<QProgressBar*>("ProgressBar");
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->value(), 42);
  ASSERT_TRUE(guitest::SaveShot(w, "frmProgress"));
  EXPECT_FALSE(w->close());
  EXPECT_TRUE(w->isVisible());
  // Window timers wait until the transfer is over.
  EXPECT_TRUE(platform::qt::TimerSuspension::Active());
}

// The power commands on the screen: each command's own text first, then the monitor's texts as
// the simulated apparatus runs through its states, in the order they were issued, with the
// buttons following the states.
TEST_F(ProgramOnSimulator, PowerCommandsShowTheirStatesInOrder) {
  kvt::ui::ProgramWindows windows;
  auto& view = windows.MainView();
  auto& m = windows.Manager();
  m.MonitorPriority = platform::ThreadPriority::Normal;
  view.ButtonWidget(ManagerButton::btnAdjustConnection)->click();
  QPushButton* powerOn = view.ButtonWidget(ManagerButton::btnPowerOn);
  QPushButton* underHeat = view.ButtonWidget(ManagerButton::btnUnderHeatOn);
  QPushButton* powerOff = view.ButtonWidget(ManagerButton::btnPowerOff);
  ASSERT_TRUE(PumpUntil([&] { return powerOn->isEnabled(); }, 10000));

  std::vector<std::string> shown;
  QLabel* state = view.StateMonitorWidget();
  m.StateMonitor.AddListener([&] {
    if (shown.empty() || shown.back() != m.StateMonitor.Caption())
      shown.push_back(m.StateMonitor.Caption());
  });
  auto onScreen = [&](const char* text) {
    return PumpUntil([&] { return state->text() == QString::fromUtf8(text); }, 15000);
  };

  powerOn->click();
  ASSERT_TRUE(onScreen("СИСТЕМА ВКЛЮЧЕНА"));
  ASSERT_TRUE(PumpUntil([&] { return underHeat->isEnabled(); }, 5000));
  EXPECT_FALSE(powerOn->isEnabled());
  EXPECT_TRUE(powerOff->isEnabled());
  underHeat->click();
  ASSERT_TRUE(onScreen("ПОДНАКАЛ ВКЛЮЧЕН"));
  ASSERT_TRUE(PumpUntil([&] { return kvt::SystemStatus().Preheated.load(); }, 5000));
  powerOff->click();
  ASSERT_TRUE(onScreen("СИСТЕМА ВЫКЛЮЧЕНА"));
  ASSERT_TRUE(PumpUntil([&] { return powerOn->isEnabled(); }, 5000));
  EXPECT_FALSE(powerOff->isEnabled());

  // The texts in the order they were issued (the switching-on state may pass between two polls).
  std::vector<std::string> expected = {"ВКЛЮЧЕНИЕ СИСТЕМЫ", "СИСТЕМА ВКЛЮЧЕНА", "ПОДНАКАЛ ВКЛЮЧЕН",
                                       "ВЫКЛЮЧЕНИЕ СИСТЕМЫ", "СИСТЕМА ВЫКЛЮЧЕНА"};
  std::vector<std::string> seen;
  for (const auto& t : shown)
    if (std::find(expected.begin(), expected.end(), t) != expected.end()) seen.push_back(t);
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(shown.front(), "ВКЛЮЧЕНИЕ СИСТЕМЫ");
  EXPECT_EQ(shown.back(), "СИСТЕМА ВЫКЛЮЧЕНА");
}

// A memory transfer pumps paint events while it runs; a close request that arrives then (the
// engineer clicks a window's close button) must wait: closing the main window in the middle would
// stop the monitor (which waits for the device lock the transfer holds) and free the image being
// read.
TEST_F(ProgramOnSimulator, WindowsDoNotCloseWhileATransferRuns) {
  kvt::ui::ProgramWindows windows;
  auto& view = windows.MainView();
  auto& m = windows.Manager();
  m.MonitorPriority = platform::ThreadPriority::Normal;
  // The terminal that shows the image after the read is not the subject here.
  std::vector<std::string> terminalPages;
  m.SetLauncher(kvt::ManagerTool::Terminal,
                [&](kvt::TfrmManager&, const std::string& page) { terminalPages.push_back(page); });
  view.ButtonWidget(ManagerButton::btnAdjustConnection)->click();
  QPointer<QWidget> conn = view.ConnectionWindowView();
  ASSERT_NE(conn, nullptr);
  QPushButton* read = view.ButtonWidget(ManagerButton::btnReadConfig);
  ASSERT_TRUE(PumpUntil([&] { return read->isEnabled(); }, 10000));

  {
    Deadline deadline(60, "reading the image with close requests pending");
    QCoreApplication::postEvent(&view, new QCloseEvent);
    QCoreApplication::postEvent(conn, new QCloseEvent);
    read->click();
  }
  EXPECT_TRUE(kvt::SystemStatus().ImageLoaded);
  EXPECT_NE(m.CurrentImage, nullptr);
  EXPECT_EQ(terminalPages.size(), 1u);
  EXPECT_TRUE(view.isVisible());
  ASSERT_NE(conn, nullptr);
  EXPECT_TRUE(conn->isVisible());
  EXPECT_NE(m.ConnectionWindow(), nullptr);
  EXPECT_TRUE(m.MonitorRunning);
  EXPECT_TRUE(m.HasConnectionLink());

  // Afterwards the windows close as usual.
  Deadline deadline(60, "closing the main window");
  view.close();
  EXPECT_FALSE(view.isVisible());
  EXPECT_FALSE(m.MonitorRunning);
  EXPECT_FALSE(m.HasConnectionLink());
}

// Only the windows that were open when the transfer began wait: a window the operation opens
// meanwhile (a message box) closes as usual.
TEST_F(ProgramOnSimulator, WindowsOpenedDuringATransferCloseAsUsual) {
  struct Window : QWidget {
    Window() : QWidget(nullptr, Qt::Dialog) { show(); }
    void closeEvent(QCloseEvent* e) override {
      ++closes;
      e->accept();
    }
    int closes = 0;
  };
  kvt::ui::ProgramWindows windows;
  Window before;
  kvt::TfrmProgress progress("Запись образа памяти...");
  Window box;
  QCoreApplication::postEvent(&before, new QCloseEvent);
  QCoreApplication::postEvent(&box, new QCloseEvent);
  progress.SetProgress(50);
  EXPECT_EQ(before.closes, 0);
  EXPECT_EQ(box.closes, 1);
}

// Work that a worker queues for the interface thread while a transfer's progress window pumps
// events waits until the transfer is over (a monitor's message box or the terminal must not open
// in the middle of it), and then runs in order.
TEST_F(ProgramOnSimulator, WorkersWaitForTheEndOfATransfer) {
  kvt::ui::ProgramWindows windows;
  std::vector<int> ran;  // interface thread only
  std::atomic<bool> synchronized{false};
  std::thread worker;
  {
    kvt::TfrmProgress progress("Чтение образа памяти...");
    std::atomic<bool> posted{false};
    worker = std::thread([&] {
      ui_.Post([&] { ran.push_back(1); });
      posted = true;
      ui_.Synchronize([&] { ran.push_back(2); });
      synchronized = true;
      ui_.Post([&] { ran.push_back(3); });
    });
    while (!posted) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the Synchronize is queued
    for (int p = 10; p <= 100; p += 10) progress.SetProgress(p);
    EXPECT_TRUE(ran.empty());
    EXPECT_FALSE(synchronized);
  }
  ASSERT_TRUE(PumpUntil([&] { return ran.size() == 3; }, 10000));
  worker.join();
  EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
}

// The program started from a folder without vesmar.ini ends at once with exit code 0 and the
// message, even when the file lies beside the executable.
TEST(ProgramStartUp, WithoutSettingsInTheWorkingDirectoryEndsWithTheMessage) {
  QTemporaryDir programDir, workDir;
  ASSERT_TRUE(programDir.isValid() && workDir.isValid());
  const fs::path exe = fs::path(KVT_BINARY_DIR) / "src" / "gui" / "kvt-service";
  ASSERT_TRUE(fs::exists(exe)) << exe;
  const fs::path copy = fs::path(programDir.path().toStdString()) / "kvt-service";
  fs::copy_file(exe, copy);
  fs::copy_file(fs::path(KVT_DATA_DIR) / "vesmar.ini",
                fs::path(programDir.path().toStdString()) / "vesmar.ini");

  QProcess p;
  auto env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("KVT_NONINTERACTIVE", "1");
  p.setProcessEnvironment(env);
  p.setWorkingDirectory(workDir.path());
  p.start(QString::fromStdString(copy.string()), {});
  ASSERT_TRUE(p.waitForStarted(10000));
  ASSERT_TRUE(p.waitForFinished(30000)) << "the program kept running";
  EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(p.exitCode(), 0);
  EXPECT_TRUE(QString::fromUtf8(p.readAllStandardError()).contains("Не найден файл vesmar.ini"));
}

}  // namespace
