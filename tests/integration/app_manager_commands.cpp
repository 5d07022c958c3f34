// The main window model against the simulated apparatus: connecting twice keeps the held image,
// the power commands hold the device lock through their waits, the type query decides which
// measuring-channel and calibration window opens, and closing the window offers to save.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <map>
#include <memory>
#include <thread>

#include "app/Manager.h"
#include "app/Progress.h"
#include "image/MemoryImage.h"
#include "link/SystemStatus.h"
#include "platform/Clock.h"
#include "platform/LinkLock.h"
#include "sim/Install.h"
#include "support/ScopedUi.h"
#include "support/TempDir.h"

namespace kvt {
namespace {

using testsupport::ScopedProgramDir;
using testsupport::ScopedUi;
using testsupport::TempDir;

// A program folder with the default settings and a simulator of the given type answering at once.
class ManagerOnSimulator : public ::testing::Test {
 protected:
  void Prepare(const std::string& type = "K2") {
    std::filesystem::copy_file(std::filesystem::path(KVT_DATA_DIR) / "vesmar.ini",
                               dir_ / "vesmar.ini");
    std::ofstream(dir_ / "simulator.ini")
        << "[Simulator]\nType=" << type << "\nVersion=23\nTiming=instant\n";
    programDir_ = std::make_unique<ScopedProgramDir>(dir_.Path());
    sim::InstallSimulator(dir_.Path());
    SystemStatus().Clear();
    SystemStatus().ImageModified = false;
    SystemStatus().SetSystemType("");
  }
  void TearDown() override { SystemStatus().Clear(); }

  // The connection sequence, then the monitor stopped: the port stays open and identified.
  void ConnectWithoutMonitor(TfrmManager& m) {
    m.btnAdjustConnectionClick();
    ASSERT_TRUE(SystemStatus().LinkUp);
    m.StopMonitor();
    ASSERT_TRUE(m.HasConnectionLink());
    ui_->ClearRecords();
  }

  // Records which windows the main window asked for.
  void RecordLaunches(TfrmManager& m) {
    for (ManagerTool t : {ManagerTool::MeasureChannels, ManagerTool::MeasureChannelsK4,
                          ManagerTool::Calibration, ManagerTool::CalibrationK3})
      m.SetLauncher(t, [this, t](TfrmManager&, const std::string&) { launched_.push_back(t); });
  }

  TempDir dir_;
  std::unique_ptr<ScopedProgramDir> programDir_;
  ScopedUi ui_;
  std::vector<ManagerTool> launched_;
};

TEST_F(ManagerOnSimulator, ConstructionShowsNoConnectionAndOnlyTheFreeCommands) {
  Prepare();
  TfrmManager m;
  EXPECT_EQ(m.Form.Caption(), "KVT-Vesmar");
  EXPECT_EQ(m.StateMonitor.Caption(), "СВЯЗЬ НЕ УСТАНОВЛЕНА");
  EXPECT_EQ(m.btnInformation.Caption(), "Сравка");
  EXPECT_EQ(m.SettingsPath, dir_.Path() / "vesmar.ini");
  // Without VMEM_PATH the dialogs open where the options say the images are.
  EXPECT_EQ(m.ImageDir, (dir_.Path() / "Memory" / "BIN").string());
  EXPECT_TRUE(m.btnAdjustConnection.Enabled());
  EXPECT_TRUE(m.btnOptions.Enabled());
  EXPECT_FALSE(m.btnAuto.Enabled());
  EXPECT_FALSE(m.btnPowerOn.Enabled());
  EXPECT_FALSE(m.btnReadConfig.Enabled());
  for (std::size_t k = 0; k < std::size_t(ToolWindow::Count); ++k)
    EXPECT_FALSE(m.ToolWindowOpen(ToolWindow(k)));
}

TEST_F(ManagerOnSimulator, SecondConnectionKeepsTheHeldImage) {
  Prepare();
  TfrmManager m;
  m.btnAdjustConnectionClick();
  ASSERT_TRUE(SystemStatus().LinkUp);
  ASSERT_TRUE(SystemStatus().TypeKnown);
  EXPECT_TRUE(SystemStatus().ChecksumsOk);
  EXPECT_TRUE(m.ConnectionWindow() != nullptr);
  EXPECT_TRUE(m.MonitorRunning);

  std::vector<std::uint8_t> bytes(1280, 0x5A);
  m.CurrentImage = TMemoryImage::CreateFromBuffer(bytes);
  SystemStatus().ImageLoaded = true;

  m.btnAdjustConnectionClick();
  EXPECT_TRUE(SystemStatus().ImageLoaded);
  ASSERT_TRUE(m.CurrentImage);
  EXPECT_EQ(m.CurrentImage->Image, bytes);
  EXPECT_TRUE(SystemStatus().LinkUp);
  EXPECT_TRUE(SystemStatus().TypeKnown);
  EXPECT_TRUE(m.MonitorRunning);
  EXPECT_TRUE(m.HasConnectionLink());
  m.FormDestroy();
  EXPECT_FALSE(m.MonitorRunning);
  EXPECT_FALSE(m.HasConnectionLink());
  EXPECT_FALSE(m.CurrentImage);
}

// Watches the device lock from another thread while fn runs on this one.
struct LockWatch {
  std::atomic<int> probes{0};
  std::atomic<int> taken{0};
};

void WatchLockDuring(const std::function<void()>& fn, int fromMs, int toMs, LockWatch& w,
                     std::uint64_t& elapsedMs) {
  std::atomic<bool> started{false};
  std::thread watcher([&] {
    while (!started) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const auto t0 = platform::TickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(fromMs));
    while (platform::TickCount() - t0 < std::uint64_t(toMs)) {
      ++w.probes;
      if (platform::TheLinkLock().TryLock()) {
        ++w.taken;
        platform::TheLinkLock().Unlock();
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
  const auto t0 = platform::TickCount();
  started = true;
  fn();
  elapsedMs = platform::TickCount() - t0;
  watcher.join();
}

TEST_F(ManagerOnSimulator, PowerCommandsHoldTheDeviceLockThroughTheirWaits) {
  Prepare();
  TfrmManager m;
  // Connected, and no monitor competes for the lock.
  ConnectWithoutMonitor(m);

  // Each wait: the button, the lock probed from fromMs to toMs, the state text, the least time
  // it lasts and the least number of probes.
  struct Wait {
    std::function<void()> press;
    int fromMs, toMs;
    const char* caption;
    std::uint64_t minMs;
    int minProbes;
  };
  const Wait waits[] = {
      {[&] { m.btnPowerOnClick(); }, 150, 800, "ВКЛЮЧЕНИЕ СИСТЕМЫ", 1000, 3},
      {[&] { m.btnPowerOffClick(); }, 150, 1800, "ВЫКЛЮЧЕНИЕ СИСТЕМЫ", 2000, 10},
  };
  for (const Wait& wait : waits) {
    SCOPED_TRACE(wait.caption);
    LockWatch watch;
    std::uint64_t ms = 0;
    WatchLockDuring(wait.press, wait.fromMs, wait.toMs, watch, ms);
    EXPECT_EQ(m.StateMonitor.Caption(), wait.caption);
    EXPECT_GE(ms, wait.minMs);
    EXPECT_GT(watch.probes, wait.minProbes);
    EXPECT_EQ(watch.taken, 0);
  }

  // Pre-heat has no wait and writes no state text.
  const auto t0 = platform::TickCount();
  m.btnUnderHeatOnClick();
  EXPECT_LT(platform::TickCount() - t0, 900u);
  EXPECT_EQ(m.StateMonitor.Caption(), "ВЫКЛЮЧЕНИЕ СИСТЕМЫ");
  EXPECT_EQ(platform::TheLinkLock().Depth(), 0);
  m.DestroyConnectionLink();
}

TEST_F(ManagerOnSimulator, UnknownTypeOpensNothing) {
  Prepare();
  TfrmManager m;
  RecordLaunches(m);
  // No port open: the type query gets no answer.
  m.btnAdjustMeasuresChannelsClick();
  m.bntTubeCalibrationClick();
  EXPECT_TRUE(launched_.empty());
  auto msgs = ui_->Messages();
  ASSERT_EQ(msgs.size(), 2u);
  for (auto& msg : msgs) {
    EXPECT_EQ(msg.text, "Тип системы не определен.");
    EXPECT_EQ(msg.title, "");
    EXPECT_EQ(msg.icon, platform::Icon::Error);
  }
}

TEST_F(ManagerOnSimulator, K2OpensTheChannelWindowAndTheK2Calibration) {
  Prepare("K2");
  TfrmManager m;
  RecordLaunches(m);
  ConnectWithoutMonitor(m);
  m.btnAdjustMeasuresChannelsClick();
  m.bntTubeCalibrationClick();
  EXPECT_EQ(launched_,
            (std::vector<ManagerTool>{ManagerTool::MeasureChannels, ManagerTool::Calibration}));
  EXPECT_TRUE(ui_->Messages().empty());
  m.DestroyConnectionLink();
}

TEST_F(ManagerOnSimulator, K4AsksTheTechnologicalPowerQuestionFirst) {
  Prepare("K4");
  TfrmManager m;
  RecordLaunches(m);
  ConnectWithoutMonitor(m);
  ui_->QueueAnswer(platform::Answer::No);
  m.btnAdjustMeasuresChannelsClick();
  EXPECT_TRUE(launched_.empty());
  ui_->QueueAnswer(platform::Answer::Yes);
  m.btnAdjustMeasuresChannelsClick();
  m.bntTubeCalibrationClick();
  EXPECT_EQ(launched_,
            (std::vector<ManagerTool>{ManagerTool::MeasureChannelsK4, ManagerTool::CalibrationK3}));
  auto msgs = ui_->Messages();
  ASSERT_EQ(msgs.size(), 2u);
  const std::string& q = msgs[0].text;
  EXPECT_EQ(q.substr(0, 15), std::string(13, ' ') + "Д");
  const auto lastLine = q.substr(q.rfind('\n') + 1);
  EXPECT_EQ(lastLine, std::string(48, ' ') + "ВКЛЮЧИТЬ?");
  EXPECT_EQ(msgs[0].icon, platform::Icon::Question);
  EXPECT_EQ(msgs[0].buttons, platform::Buttons::YesNo);
  EXPECT_EQ(msgs[0].title, "");
  m.DestroyConnectionLink();
}

TEST_F(ManagerOnSimulator, ReadingTheImageShowsProgressAndEnablesSaveAndTranslate) {
  Prepare();
  TfrmManager m;
  ConnectWithoutMonitor(m);
  std::vector<std::string> captions;
  struct Recorder : TfrmProgress::View {
    void ProgressChanged(int) override {}
  };
  TfrmProgress::SetViewFactory([&](TfrmProgress& p) {
    captions.push_back(p.Caption());
    return std::make_unique<Recorder>();
  });
  m.RefreshButtons();
  EXPECT_FALSE(m.btnSaveConfig.Enabled());
  m.btnReadConfig.Click();
  TfrmProgress::SetViewFactory(nullptr);
  EXPECT_EQ(captions, (std::vector<std::string>{"Чтение образа памяти..."}));
  EXPECT_TRUE(SystemStatus().ImageLoaded);
  ASSERT_TRUE(m.CurrentImage);
  EXPECT_EQ(m.CurrentImage->Length(), 1280);
  EXPECT_EQ(m.StateMonitor.Caption(), "ОБРАЗ ПРОЧИТАН");
  EXPECT_TRUE(m.btnSaveConfig.Enabled());
  EXPECT_TRUE(m.btnTranslateToMemory.Enabled());
  EXPECT_EQ(platform::TheLinkLock().Depth(), 0);
  m.DestroyConnectionLink();
}

TEST_F(ManagerOnSimulator, ClosingOffersToSaveAModifiedImageAndClosesToolWindowsInOrder) {
  Prepare();
  std::vector<std::string> order;
  {
    TfrmManager m;
    int saves = 0;
    m.SaveConfigWorkflow = [&] {
      ++saves;
      EXPECT_FALSE(SystemStatus().ImageModified);
    };
    const std::pair<ToolWindow, const char*> kinds[] = {
        {ToolWindow::ControlPanel, "panel"},      {ToolWindow::Rotation, "rotation"},
        {ToolWindow::Oscillograms, "osc"},        {ToolWindow::HeatCheck, "heat"},
        {ToolWindow::CheckShots, "shots"},        {ToolWindow::Calibration, "cal"},
        {ToolWindow::MeasureChannels, "amc"},     {ToolWindow::Terminal, "terminal"},
        {ToolWindow::MeasureChannelsK4, "amc-k4"}};
    std::map<ToolWindow, std::unique_ptr<ToolWindowMark>> open;
    for (auto& [kind, name] : kinds) {
      open[kind] = std::make_unique<ToolWindowMark>(&m, kind);
      m.SetCloser(kind, [&open, &order, kind = kind, name = name] {
        order.push_back(name);
        open.erase(kind);
      });
    }
    m.CurrentImage = TMemoryImage::CreateFromBuffer(std::vector<std::uint8_t>(16, 1));
    SystemStatus().ImageLoaded = true;
    SystemStatus().ImageModified = true;
    ui_->QueueAnswer(platform::Answer::Yes);
    m.FormDestroy();
    EXPECT_EQ(saves, 1);
    EXPECT_FALSE(m.CurrentImage);
    auto msgs = ui_->Messages();
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_EQ(msgs[0].text, "Сохранить текущий файл настроек?");
    EXPECT_EQ(msgs[0].title, "");
  }
  // The terminal is not among the windows the main window closes; the K4 channel window closes
  // only at the program's end, last.
  EXPECT_EQ(order, (std::vector<std::string>{"rotation", "heat", "amc", "cal", "shots", "osc",
                                             "panel", "amc-k4"}));
}

}  // namespace
}  // namespace kvt
