#pragma once
// The main window TfrmManager and its pure rules: which commands the status record allows, and
// how a dragged window snaps onto the screen edges (free functions, so tests reach them directly).

#include <array>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "app/MainHost.h"
#include "link/SystemLink.h"
#include "link/SystemStatus.h"
#include "platform/Controls.h"

namespace kvt {

// The main window's buttons, top to bottom.
enum class ManagerButton : int {
  btnAuto,
  btnOptions,
  btnInformation,
  btnAdjustConnection,
  btnReadConfig,
  btnOpenConfig,
  btnTranslateToMemory,
  btnSaveConfig,
  btnTools,
  btnPowerOn,
  btnAdjustRotation,
  btnHeatCheck,
  btnUnderHeatOn,
  btnAdjustMeasuresChannels,
  bntTubeCalibration,
  btnDoCheckShots,
  btnShowOscilograms,
  btnOpenControlPanel,
  btnPowerOff,
};
inline constexpr std::size_t kManagerButtonCount = 19;

using ButtonEnabling = std::array<bool, kManagerButtonCount>;

inline bool Enabled(const ButtonEnabling& e, ManagerButton b) {
  return e[std::size_t(b)];
}

// The Enabled state of every button for the given status.
ButtonEnabling ComputeButtonEnabling(const SystemStatusRecord& status);
// Whether the button makes the apparatus do something (power, procedures, the control panel).
bool DrivesApparatus(ManagerButton b);
// Why the button is disabled, for its tooltip; empty when it is enabled. specialMode: a window
// holds the apparatus in a special mode.
std::string DisabledReason(ManagerButton b, const SystemStatusRecord& status, bool specialMode);

struct WindowRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool operator==(const WindowRect&) const = default;
};

// Snaps a proposed rectangle of a window being dragged: moving towards an edge, it jumps onto the
// edge once it comes closer than 100 pixels, keeping its size. screenWidth is the primary
// screen's width, maxHeight the height of a maximised window.
WindowRect SnapWindowRect(WindowRect proposed, const WindowRect& previous, int screenWidth,
                          int maxHeight);

inline constexpr int kSnapDistance = 100;

class TMemoryImage;
class TConfigWorkflows;
class WorkflowHost;

// The windows the main window opens; each is provided by its own part of the program and
// registered with SetLauncher (app/ui/ToolRegistry.h). A button whose window is not registered
// sends nothing and tells the engineer the tool is not available.
enum class ManagerTool {
  Terminal,  // opened modally; the page to show is passed to the launcher
  Options,   // modal
  Rotation,
  HeatCheck,
  MeasureChannels,
  MeasureChannelsK4,
  Calibration,
  CalibrationK3,
  CheckShots,
  Oscillograms,
  ControlPanel,
};

// The main window TfrmManager: the program's permanent window that owns the program-wide state,
// runs the connection sequence and the power commands, and launches every tool window.
class TfrmManager : public MainHost {
 public:
  // The technological power question asked before the K4 measuring channels are adjusted.
  static constexpr const char* kTechPowerQuestion =
      "             Для проведения калибровки измерительных каналов,\n"
      "питание всех(трех) фаз должно быть подано через автотрансформатор.\n"
      "Если цепи питания подготовлены к процессу калибровки то будет включен\n"
      "режим технологического питания.\n"
      "                                                ВКЛЮЧИТЬ?";
  static constexpr const char* kTypeUnknown = "Тип системы не определен.";
  static constexpr const char* kTechPowerRefused =
      "Система не подтвердила включение режима технологического питания.\nНастройка "
      "измерительных каналов не начата; проверьте связь с системой.";
  static constexpr const char* kSpecialModeHeld =
      "Система в режиме технологического питания: открыто окно настройки измерительных каналов "
      "K4.\nЗакройте его (система будет выключена), прежде чем включать питание или запускать "
      "другие процедуры.";
  // Told instead of acting when a button's window is not part of the program.
  static constexpr const char* kToolUnavailable =
      "Этот инструмент недоступен в данной версии программы.";

  // Construction: program paths, image folder, cleared status, refreshed buttons, cleared tool
  // flags. The device lock is the program's one lock (platform::TheLinkLock()).
  TfrmManager();
  ~TfrmManager() override;

  // --- controls ---
  platform::Form Form{"frmManager"};
  platform::Button btnAuto{"btnAuto"};
  platform::Button btnOptions{"btnOptions"};
  platform::Button btnInformation{"btnInformation"};
  platform::Label Label1{"Label1"};
  platform::Label StateMonitor{"StateMonitor"};
  platform::Button btnAdjustConnection{"btnAdjustConnection"};
  platform::Button btnReadConfig{"btnReadConfig"};
  platform::Button btnOpenConfig{"btnOpenConfig"};
  platform::Button btnTranslateToMemory{"btnTranslateToMemory"};
  platform::Button btnSaveConfig{"btnSaveConfig"};
  platform::Button btnTools{"btnTools"};
  platform::Panel pnlDriving{"pnlDriving"};
  platform::Button btnPowerOn{"btnPowerOn"};
  platform::Button btnAdjustRotation{"btnAdjustRotation"};
  platform::Button btnHeatCheck{"btnHeatCheck"};
  platform::Button btnUnderHeatOn{"btnUnderHeatOn"};
  platform::Button btnAdjustMeasuresChannels{"btnAdjustMeasuresChannels"};
  platform::Button bntTubeCalibration{"bntTubeCalibration"};
  platform::Button btnDoCheckShots{"btnDoCheckShots"};
  platform::Button btnShowOscilograms{"btnShowOscilograms"};
  platform::Button btnOpenControlPanel{"btnOpenControlPanel"};
  platform::Button btnPowerOff{"btnPowerOff"};
  platform::Button& ButtonOf(ManagerButton b);

  // --- program-wide values ---
  std::filesystem::path ProgramDir;
  std::filesystem::path SettingsPath;
  std::string ImageDir;
  std::unique_ptr<TMemoryImage> CurrentImage;
  std::string CurrentDatFile;
  WindowRect PreviousRect;

  // --- MainHost ---
  void ShowState(const std::string& text) override;
  void RefreshButtons() override;
  void OpenTerminal(const std::string& page) override;
  void ShowConnectionWindow() override;
  void ConnectionWindowClosing() override;

  // --- windows of other parts ---
  using Launcher = std::function<void(TfrmManager& manager, const std::string& page)>;
  void SetLauncher(ManagerTool tool, Launcher launcher);
  bool HasLauncher(ManagerTool tool) const { return launchers_.count(tool) != 0; }
  // Destroys every open window of a kind (CloseToolWindows uses it).
  void SetCloser(ToolWindow kind, std::function<void()> closer);
  // Told on the interface thread when this window declares the connection lost (false) and when
  // it has connected anew (true); a window that works the apparatus on its own (the control
  // panel) ends what it started and reads the apparatus afresh.
  void SetConnectionWatcher(ToolWindow kind, std::function<void(bool connected)> watcher);
  // The configuration workflows (read, open, save, translate) working on this window's values.
  TConfigWorkflows& Workflows() { return *workflows_; }
  // The four configuration workflows behind their buttons and the save offered at close; they
  // run Workflows() unless replaced.
  std::function<void()> ReadConfigWorkflow;
  std::function<void()> OpenConfigWorkflow;
  std::function<void()> SaveConfigWorkflow;
  std::function<void()> TranslateWorkflow;

  // --- what the view supplies ---
  // Repaints the state display at once (the caller may stay busy for seconds).
  std::function<void()> OnRepaintState;
  // Shows / lets go of the connection information window's view.
  std::function<void()> OnShowConnectionWindow;
  std::function<void()> OnConnectionWindowClosing;

  // --- handlers ---
  void btnAutoClick() {}
  void btnInformationClick() {}
  void btnOptionsClick();
  void btnAdjustConnectionClick();
  void btnReadConfigClick();
  void btnOpenConfigClick();
  void btnSaveConfigClick();
  void btnTranslateToMemoryClick();
  void btnToolsClick();
  void btnPowerOnClick();
  void btnPowerOffClick();
  void btnUnderHeatOnClick();
  void btnAdjustRotationClick();
  void btnHeatCheckClick();
  void btnAdjustMeasuresChannelsClick();
  void bntTubeCalibrationClick();
  void btnDoCheckShotsClick();
  void btnShowOscilogramsClick();
  void btnOpenControlPanelClick();
  // Closing the main window: tool windows, monitor, port, the offer to save, the image.
  void FormDestroy();
  void CloseToolWindows();

  // The window is being dragged to `proposed`; returns where it goes (and remembers it).
  WindowRect WindowMoving(WindowRect proposed, int screenWidth, int maxHeight);

  // Asks the controller for its type (a fresh question each time).
  std::string QuerySystemType();

  // A window holds the apparatus in a special mode (the K4 channels window, technological power
  // on): the power and procedure buttons are disabled, and refuse with a message if reached.
  bool SpecialModeHeld() const;
  // Why a button is disabled (empty when enabled), as its tooltip says; set by RefreshButtons.
  const std::string& ButtonHint(ManagerButton b) const { return hints_[std::size_t(b)]; }
  std::function<void(ManagerButton, const std::string&)> OnButtonHint;

 private:
  // Opens the tool's window, or tells the engineer the tool is not available.
  void Launch(ManagerTool tool, const std::string& page = {});
  // Whether the tool has a window; tells the engineer when it has none.
  bool Available(ManagerTool tool) const;
  void CloseWindowsOf(ToolWindow kind);
  // CloseToolWindows, and at the program's end (programEnd) also the windows only it closes.
  void CloseWindows(bool programEnd);
  // Sends a power frame (waiting out the switching under the lock); false when the apparatus did
  // not acknowledge it.
  bool SendPowerFrame(const Frame& frame, int waitMs);
  // A power button's command: refused in a special mode, told when not acknowledged.
  void PowerCommand(const Frame& frame, int waitMs, const char* state, const char* what);
  // Tells the engineer and returns true while SpecialModeHeld.
  bool RefusedInSpecialMode();

  std::unique_ptr<WorkflowHost> workflowHost_;
  std::unique_ptr<TConfigWorkflows> workflows_;
  std::map<ManagerTool, Launcher> launchers_;
  std::map<ToolWindow, std::function<void()>> closers_;
  std::map<ToolWindow, std::function<void(bool)>> connectionWatchers_;
  bool linkWasUp_ = false;
  void TellConnectionWatchers(bool connected);
  bool destroyed_ = false;
  std::array<std::string, kManagerButtonCount> hints_;
};

}  // namespace kvt
