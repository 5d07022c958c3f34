#include "app/Manager.h"

#include "app/Connection.h"
#include "app/Progress.h"
#include "image/MemoryImage.h"
#include "image/Settings.h"
#include "image/Workflows.h"
#include "platform/Clock.h"
#include "platform/LinkLock.h"
#include "platform/Paths.h"
#include "platform/Ui.h"

namespace kvt {

namespace {

// One row of the enabling table: each flag is required true (Yes), required false (No) or
// ignored (Any).
enum Need : char { Any, Yes, No };

struct Row {
  Need L, On, H, Im, Cs, T, P0, P1, P2, P3, P4;
};

bool Fits(Need need, bool value) {
  return need == Any || (need == Yes) == value;
}

bool Allows(const Row& r, const SystemStatusRecord& s) {
  return Fits(r.L, s.LinkUp) && Fits(r.On, s.SystemOn) && Fits(r.H, s.Preheated) &&
         Fits(r.Im, s.ImageLoaded) && Fits(r.Cs, s.ChecksumsOk) && Fits(r.T, s.TypeKnown) &&
         Fits(r.P0, s.PagePresent[0]) && Fits(r.P1, s.PagePresent[1]) &&
         Fits(r.P2, s.PagePresent[2]) && Fits(r.P3, s.PagePresent[3]) &&
         Fits(r.P4, s.PagePresent[4]);
}

//                                  L    On   H    Im   Cs   T    P0   P1   P2   P3   P4
constexpr Row kAlways{Any, Any, Any, Any, Any, Any, Any, Any, Any, Any, Any};
constexpr Row kReadConfig{Yes, Any, Any, Any, Any, Any, Yes, Any, Any, Any, Any};
constexpr Row kTranslate{Yes, Any, Any, Yes, Any, Any, Yes, Any, Any, Any, Any};
constexpr Row kSaveConfig{Any, Any, Any, Yes, Any, Any, Any, Any, Any, Any, Any};
constexpr Row kPowerOn{Yes, No, Any, Any, Yes, Yes, Yes, Yes, Yes, Any, Any};
constexpr Row kRotation{Yes, Yes, Any, Yes, Yes, Yes, Yes, Yes, Yes, Any, Yes};
constexpr Row kHeatCheck{Yes, Yes, Any, Yes, Yes, Yes, Yes, Yes, Yes, Yes, Any};
constexpr Row kUnderHeat{Yes, Yes, Any, Any, Yes, Yes, Yes, Yes, Yes, Yes, Any};
constexpr Row kChannelsK4{Yes, No, Any, Yes, Yes, Yes, Any, Any, Any, Any, Any};
constexpr Row kChannels{Yes, Yes, Yes, Yes, Yes, Yes, Yes, Yes, Yes, Yes, Yes};
constexpr Row kCalibration{Yes, Yes, Yes, Yes, Yes, Yes, Yes, Yes, Yes, Yes, Yes};
constexpr Row kCheckShots{Yes, Yes, Yes, Any, Yes, Yes, Yes, Yes, Yes, Yes, Yes};
constexpr Row kOscillograms{Yes, Any, Any, Any, Any, Any, Yes, Any, Any, Any, Any};
constexpr Row kControlPanel{Yes, Yes, Yes, Any, Yes, Yes, Yes, Yes, Yes, Yes, Any};
constexpr Row kPowerOff{Yes, Yes, Any, Any, Any, Any, Yes, Yes, Yes, Any, Any};

// The row that enables a button; null for the buttons the table does not govern.
const Row* RowOf(ManagerButton b, const SystemStatusRecord& s) {
  using B = ManagerButton;
  switch (b) {
    case B::btnAdjustConnection:
    case B::btnOpenConfig:
    case B::btnTools:
      return &kAlways;
    case B::btnReadConfig:
      return &kReadConfig;
    case B::btnTranslateToMemory:
      return &kTranslate;
    case B::btnSaveConfig:
      return &kSaveConfig;
    case B::btnPowerOn:
      return &kPowerOn;
    case B::btnAdjustRotation:
      return &kRotation;
    case B::btnHeatCheck:
      return &kHeatCheck;
    case B::btnUnderHeatOn:
      return &kUnderHeat;
    case B::btnAdjustMeasuresChannels:
      return s.SystemType() == "K4" ? &kChannelsK4 : &kChannels;
    case B::bntTubeCalibration:
      return &kCalibration;
    case B::btnDoCheckShots:
      return &kCheckShots;
    case B::btnShowOscilograms:
      return &kOscillograms;
    case B::btnOpenControlPanel:
      return &kControlPanel;
    case B::btnPowerOff:
      return &kPowerOff;
    default:
      return nullptr;
  }
}

}  // namespace

bool DrivesApparatus(ManagerButton b) {
  using B = ManagerButton;
  switch (b) {
    case B::btnPowerOn:
    case B::btnAdjustRotation:
    case B::btnHeatCheck:
    case B::btnUnderHeatOn:
    case B::btnAdjustMeasuresChannels:
    case B::bntTubeCalibration:
    case B::btnDoCheckShots:
    case B::btnOpenControlPanel:
    case B::btnPowerOff:
      return true;
    default:
      return false;
  }
}

std::string DisabledReason(ManagerButton b, const SystemStatusRecord& s, bool specialMode) {
  if (specialMode && DrivesApparatus(b)) return TfrmManager::kSpecialModeHeld;
  const Row* r = RowOf(b, s);
  if (!r || Allows(*r, s)) return "";
  if (!Fits(r->L, s.LinkUp)) return "Нет связи с системой: нажмите «Установка связи с системой».";
  if (!Fits(r->T, s.TypeKnown)) return "Тип системы не определен.";
  if (!Fits(r->P0, s.PagePresent[0]) || !Fits(r->P1, s.PagePresent[1]) ||
      !Fits(r->P2, s.PagePresent[2]) || !Fits(r->P3, s.PagePresent[3]) ||
      !Fits(r->P4, s.PagePresent[4]))
    return "В системе нет модуля, нужного для этой функции.";
  if (!Fits(r->Cs, s.ChecksumsOk)) return "Контрольные суммы памяти системы не совпали.";
  if (!Fits(r->Im, s.ImageLoaded))
    return "Образ памяти не загружен: прочитайте файл настроек системы или откройте его с диска.";
  if (r->On == No && s.SystemOn) return "Система включена: сначала выключите флюорограф.";
  if (r->On == Yes && !s.SystemOn) return "Система выключена: сначала включите питание.";
  if (r->H == Yes && !s.Preheated) return "Нужен режим поднакала: включите режим поднакала.";
  return "";
}

ButtonEnabling ComputeButtonEnabling(const SystemStatusRecord& s) {
  ButtonEnabling e{};
  auto set = [&](ManagerButton b, bool on) { e[std::size_t(b)] = on; };
  using B = ManagerButton;
  set(B::btnAuto, false);
  set(B::btnOptions, true);
  set(B::btnInformation, false);
  set(B::btnAdjustConnection, Allows(kAlways, s));
  set(B::btnOpenConfig, Allows(kAlways, s));
  set(B::btnTools, Allows(kAlways, s));
  set(B::btnReadConfig, Allows(kReadConfig, s));
  set(B::btnTranslateToMemory, Allows(kTranslate, s));
  set(B::btnSaveConfig, Allows(kSaveConfig, s));
  set(B::btnPowerOn, Allows(kPowerOn, s));
  set(B::btnAdjustRotation, Allows(kRotation, s));
  set(B::btnHeatCheck, Allows(kHeatCheck, s));
  set(B::btnUnderHeatOn, Allows(kUnderHeat, s));
  set(B::btnAdjustMeasuresChannels, Allows(s.SystemType() == "K4" ? kChannelsK4 : kChannels, s));
  set(B::bntTubeCalibration, Allows(kCalibration, s));
  set(B::btnDoCheckShots, Allows(kCheckShots, s));
  set(B::btnShowOscilograms, Allows(kOscillograms, s));
  set(B::btnOpenControlPanel, Allows(kControlPanel, s));
  set(B::btnPowerOff, Allows(kPowerOff, s));
  return e;
}

WindowRect SnapWindowRect(WindowRect r, const WindowRect& prev, int screenWidth, int maxHeight) {
  if (r.top < prev.top && r.top < kSnapDistance && r.top != 0) {
    r.bottom -= r.top;
    r.top = 0;
  }
  if (r.left < prev.left && r.left < kSnapDistance && r.left != 0) {
    r.right -= r.left;
    r.left = 0;
  }
  if (r.right > prev.right && screenWidth - r.right < kSnapDistance) {
    r.left += screenWidth - r.right;
    r.right = screenWidth;
  }
  if (r.bottom > prev.bottom && maxHeight - r.bottom < kSnapDistance) {
    r.top += maxHeight - r.bottom;
    r.bottom = maxHeight;
  }
  return r;
}

namespace {

// The configuration workflows see the main window through this.
class ManagerWorkflowHost : public WorkflowHost {
 public:
  explicit ManagerWorkflowHost(TfrmManager& m) : m_(m) {}
  std::filesystem::path ProgramDir() const override { return m_.ProgramDir; }
  std::string ImageDir() const override { return m_.ImageDir; }
  std::unique_ptr<TMemoryImage>& CurrentImage() override { return m_.CurrentImage; }
  std::string& CurrentDatFile() override { return m_.CurrentDatFile; }
  void ShowState(const std::string& text) override { m_.ShowState(text); }
  void RefreshButtons() override { m_.RefreshButtons(); }
  void RequestReannounce() override { m_.RequestReannounce(); }
  void OpenTerminal(const std::string& page) override { m_.OpenTerminal(page); }
  void WithProgress(const std::string& caption,
                    const std::function<void(const ProgressCallback&)>& work) override {
    TfrmProgress window(caption);
    work([&window](int percent) { window.SetProgress(percent); });
  }

 private:
  TfrmManager& m_;
};

}  // namespace

TfrmManager::TfrmManager() {
  Form.SetCaption("KVT-Vesmar");
  Form.SetBackgroundColor(platform::colors::Silver);
  struct Init {
    platform::Button& b;
    const char* caption;
    const char* glyph;
  };
  const Init buttons[] = {
      {btnAuto, "Авто...", ""},
      {btnOptions, "Опции", ""},
      {btnInformation, "Сравка", ""},
      {btnAdjustConnection, "Установка связи с системой", "Connect"},
      {btnReadConfig, "Прочитать файл настроек системы", "ReadConfig"},
      {btnOpenConfig, "Открыть файл настроек с диска", "OpenConfig"},
      {btnTranslateToMemory, "Транслировать файл в систему", "Translate"},
      {btnSaveConfig, "Сохранить файл на диск", "SaveConfig"},
      {btnTools, "Инструментарий", "Tools"},
      {btnPowerOn, "Включить питание", "PowerOn"},
      {btnAdjustRotation, "Настроить систему вращения", "Rotation"},
      {btnHeatCheck, "Проверить работу системы накала", "HeatCheck"},
      {btnUnderHeatOn, "Включить режим поднакала", "UnderHeat"},
      {btnAdjustMeasuresChannels, "Настроить измерительные каналы", "Channels"},
      {bntTubeCalibration, "Калибровка рентгеновской трубки", "Calibration"},
      {btnDoCheckShots, "Выполнить проверочные снимки", "CheckShots"},
      {btnShowOscilograms, "Показать осцилограммы", "Oscillograms"},
      {btnOpenControlPanel, "Открыть панель управления", "ControlPanel"},
      {btnPowerOff, "Выключить флюорограф", "PowerOff"},
  };
  for (const auto& i : buttons) {
    i.b.SetCaption(i.caption);
    i.b.SetGlyph(i.glyph);
  }
  btnAuto.OnClick = [this] { btnAutoClick(); };
  btnOptions.OnClick = [this] { btnOptionsClick(); };
  btnInformation.OnClick = [this] { btnInformationClick(); };
  btnAdjustConnection.OnClick = [this] { btnAdjustConnectionClick(); };
  btnReadConfig.OnClick = [this] { btnReadConfigClick(); };
  btnOpenConfig.OnClick = [this] { btnOpenConfigClick(); };
  btnTranslateToMemory.OnClick = [this] { btnTranslateToMemoryClick(); };
  btnSaveConfig.OnClick = [this] { btnSaveConfigClick(); };
  btnTools.OnClick = [this] { btnToolsClick(); };
  btnPowerOn.OnClick = [this] { btnPowerOnClick(); };
  btnAdjustRotation.OnClick = [this] { btnAdjustRotationClick(); };
  btnHeatCheck.OnClick = [this] { btnHeatCheckClick(); };
  btnUnderHeatOn.OnClick = [this] { btnUnderHeatOnClick(); };
  btnAdjustMeasuresChannels.OnClick = [this] { btnAdjustMeasuresChannelsClick(); };
  bntTubeCalibration.OnClick = [this] { bntTubeCalibrationClick(); };
  btnDoCheckShots.OnClick = [this] { btnDoCheckShotsClick(); };
  btnShowOscilograms.OnClick = [this] { btnShowOscilogramsClick(); };
  btnOpenControlPanel.OnClick = [this] { btnOpenControlPanelClick(); };
  btnPowerOff.OnClick = [this] { btnPowerOffClick(); };

  Label1.SetCaption("МОНИТОР СОСТОЯНИЯ");
  Label1.SetAlignment(platform::Alignment::Center);
  StateMonitor.SetAlignment(platform::Alignment::Center);
  StateMonitor.SetFontColor(platform::colors::Lime);
  StateMonitor.SetBackgroundColor(platform::colors::Black);
  StateMonitor.SetCaption("СВЯЗЬ НЕ УСТАНОВЛЕНА");

  workflowHost_ = std::make_unique<ManagerWorkflowHost>(*this);
  workflows_ = std::make_unique<TConfigWorkflows>(*workflowHost_);
  SetTheConfigWorkflows(workflows_.get());
  ReadConfigWorkflow = [this] { workflows_->btnReadConfigClick(); };
  OpenConfigWorkflow = [this] { workflows_->btnOpenConfigClick(); };
  SaveConfigWorkflow = [this] { workflows_->btnSaveConfigClick(); };
  TranslateWorkflow = [this] { workflows_->btnTranslateToMemoryClick(); };

  // The connection window is the main window's own; it closes as every tool window does.
  SetCloser(ToolWindow::ConnectionInfo, [this] { DestroyConnectionWindow(); });

  // Construction steps of the window.
  ProgramDir = platform::ProgramDir();
  SettingsPath = ProgramDir / "vesmar.ini";
  ImageDir = settings::ReadImageDir(SettingsPath, ProgramDir);
  SystemStatus().Clear();
  RefreshButtons();
  MonitorRunning = false;
  CurrentDatFile.clear();
}

TfrmManager::~TfrmManager() {
  FormDestroy();
  Shutdown();
  if (TheConfigWorkflows() == workflows_.get()) SetTheConfigWorkflows(nullptr);
}

platform::Button& TfrmManager::ButtonOf(ManagerButton b) {
  platform::Button* all[] = {&btnAuto,
                             &btnOptions,
                             &btnInformation,
                             &btnAdjustConnection,
                             &btnReadConfig,
                             &btnOpenConfig,
                             &btnTranslateToMemory,
                             &btnSaveConfig,
                             &btnTools,
                             &btnPowerOn,
                             &btnAdjustRotation,
                             &btnHeatCheck,
                             &btnUnderHeatOn,
                             &btnAdjustMeasuresChannels,
                             &bntTubeCalibration,
                             &btnDoCheckShots,
                             &btnShowOscilograms,
                             &btnOpenControlPanel,
                             &btnPowerOff};
  static_assert(sizeof(all) / sizeof(all[0]) == kManagerButtonCount);
  return *all[std::size_t(b)];
}

void TfrmManager::ShowState(const std::string& text) {
  if (!platform::CurrentUi().IsInterfaceThread()) {
    PostShowState(text);
    return;
  }
  StateMonitor.SetCaption(text);
  if (OnRepaintState) OnRepaintState();
}

void TfrmManager::RefreshButtons() {
  if (!platform::CurrentUi().IsInterfaceThread()) {
    PostRefreshButtons();
    return;
  }
  const ButtonEnabling e = ComputeButtonEnabling(SystemStatus());
  const bool special = SpecialModeHeld();
  for (std::size_t i = 0; i < kManagerButtonCount; ++i) {
    const ManagerButton b = ManagerButton(i);
    // While a window holds the apparatus in a special mode, nothing else drives it.
    ButtonOf(b).SetEnabled(e[i] && !(special && DrivesApparatus(b)));
    hints_[i] = DisabledReason(b, SystemStatus(), special);
    if (OnButtonHint) OnButtonHint(b, hints_[i]);
  }
  // The monitor refreshes the buttons when it declares the line lost.
  const bool up = SystemStatus().LinkUp;
  if (linkWasUp_ && !up) TellConnectionWatchers(false);
  linkWasUp_ = up;
}

bool TfrmManager::SpecialModeHeld() const {
  return ToolWindowOpen(ToolWindow::MeasureChannelsK4);
}

bool TfrmManager::RefusedInSpecialMode() {
  if (!SpecialModeHeld()) return false;
  platform::ShowMessage(kSpecialModeHeld, "", platform::Icon::Warning);
  return true;
}

void TfrmManager::SetConnectionWatcher(ToolWindow kind, std::function<void(bool)> watcher) {
  if (watcher)
    connectionWatchers_[kind] = std::move(watcher);
  else
    connectionWatchers_.erase(kind);
}

void TfrmManager::TellConnectionWatchers(bool connected) {
  // Copies: a watcher may change the set while it runs.
  const auto watchers = connectionWatchers_;
  for (const auto& [kind, watcher] : watchers) watcher(connected);
}

void TfrmManager::OpenTerminal(const std::string& page) {
  if (!platform::CurrentUi().IsInterfaceThread()) {
    platform::CurrentUi().Synchronize([this, page] { OpenTerminal(page); });
    return;
  }
  Launch(ManagerTool::Terminal, page);
}

void TfrmManager::ShowConnectionWindow() {
  if (OnShowConnectionWindow) OnShowConnectionWindow();
}

void TfrmManager::ConnectionWindowClosing() {
  if (OnConnectionWindowClosing) OnConnectionWindowClosing();
}

void TfrmManager::SetLauncher(ManagerTool tool, Launcher launcher) {
  if (launcher)
    launchers_[tool] = std::move(launcher);
  else
    launchers_.erase(tool);
}

void TfrmManager::SetCloser(ToolWindow kind, std::function<void()> closer) {
  if (closer)
    closers_[kind] = std::move(closer);
  else
    closers_.erase(kind);
}

bool TfrmManager::Available(ManagerTool tool) const {
  if (HasLauncher(tool)) return true;
  platform::ShowMessage(kToolUnavailable, "", platform::Icon::Information);
  return false;
}

void TfrmManager::Launch(ManagerTool tool, const std::string& page) {
  if (!Available(tool)) return;
  // A copy: the launcher may replace itself while it runs.
  Launcher launcher = launchers_.at(tool);
  launcher(*this, page);
}

void TfrmManager::CloseWindowsOf(ToolWindow kind) {
  if (!ToolWindowOpen(kind)) return;
  auto it = closers_.find(kind);
  if (it == closers_.end()) return;
  auto closer = it->second;  // a copy: the closer may replace itself
  closer();
}

namespace {

// The order in which the main window closes its windows. The K4 channel window closes only at the
// program's end: closing it switches the apparatus off, which no other command may do in passing.
// The terminal is modal and is never closed from here.
struct ClosingStep {
  ToolWindow kind;
  bool alsoByCommands;
};
constexpr ClosingStep kClosingOrder[] = {
    {ToolWindow::ConnectionInfo, true},    {ToolWindow::Rotation, true},
    {ToolWindow::HeatCheck, true},         {ToolWindow::MeasureChannels, true},
    {ToolWindow::Calibration, true},       {ToolWindow::CheckShots, true},
    {ToolWindow::Oscillograms, true},      {ToolWindow::ControlPanel, true},
    {ToolWindow::MeasureChannelsK4, false}};

}  // namespace

void TfrmManager::CloseWindows(bool programEnd) {
  for (const ClosingStep& step : kClosingOrder)
    if (step.alsoByCommands || programEnd) CloseWindowsOf(step.kind);
}

void TfrmManager::CloseToolWindows() {
  CloseWindows(false);
}

void TfrmManager::btnOptionsClick() {
  Launch(ManagerTool::Options);
}

void TfrmManager::btnAdjustConnectionClick() {
  // What the windows started on the old connection ends while its line may still carry it.
  TellConnectionWatchers(false);
  RunConnectionSequence(*this);
  linkWasUp_ = SystemStatus().LinkUp;
  if (linkWasUp_) TellConnectionWatchers(true);
}

void TfrmManager::btnReadConfigClick() {
  if (ReadConfigWorkflow) ReadConfigWorkflow();
}
void TfrmManager::btnOpenConfigClick() {
  if (OpenConfigWorkflow) OpenConfigWorkflow();
}
void TfrmManager::btnSaveConfigClick() {
  if (SaveConfigWorkflow) SaveConfigWorkflow();
}
void TfrmManager::btnTranslateToMemoryClick() {
  if (TranslateWorkflow) TranslateWorkflow();
}

void TfrmManager::btnToolsClick() {
  Launch(ManagerTool::Terminal, SystemStatus().LinkUp ? kTerminalConsolePage : "Текущие настройки");
}

bool TfrmManager::SendPowerFrame(const Frame& frame, int waitMs) {
  TSystemLink link;
  bool acknowledged;
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    link.SendFrame(frame);
    acknowledged = link.LastCount() >= 2 && link.RxBuffer()[1] != kReplyRefused;
    // The controller switches meanwhile; the monitor must not poll before the wait is over.
    if (acknowledged && waitMs > 0) platform::Delay(waitMs);
  }
  return acknowledged;
}

void TfrmManager::PowerCommand(const Frame& frame, int waitMs, const char* state,
                               const char* what) {
  if (RefusedInSpecialMode()) return;
  if (state) ShowState(state);
  if (SendPowerFrame(frame, waitMs)) return;
  // The state text must not promise a switching that the apparatus did not take on.
  RequestReannounce();
  std::string text = "Система не подтвердила команду «";
  text += what;
  text += "»: команда не выполнена.\nПроверьте связь с системой и повторите.";
  platform::ShowMessage(text, "", platform::Icon::Error);
}

void TfrmManager::btnPowerOnClick() {
  PowerCommand(frames::PowerOn(), 1000, "ВКЛЮЧЕНИЕ СИСТЕМЫ", "Включить питание");
}

void TfrmManager::btnPowerOffClick() {
  PowerCommand(frames::PowerOff(), 2000, "ВЫКЛЮЧЕНИЕ СИСТЕМЫ", "Выключить флюорограф");
}

void TfrmManager::btnUnderHeatOnClick() {
  PowerCommand(frames::UnderHeatOn(), 0, nullptr, "Включить режим поднакала");
}

std::string TfrmManager::QuerySystemType() {
  TSystemLink link;
  platform::LinkLock::Guard guard(platform::TheLinkLock());
  return link.ReadSystemType();
}

void TfrmManager::btnAdjustRotationClick() {
  if (RefusedInSpecialMode()) return;
  CloseToolWindows();
  Launch(ManagerTool::Rotation);
}

void TfrmManager::btnHeatCheckClick() {
  if (RefusedInSpecialMode()) return;
  Launch(ManagerTool::HeatCheck);
}

void TfrmManager::btnAdjustMeasuresChannelsClick() {
  if (RefusedInSpecialMode()) return;
  if (!HasLauncher(ManagerTool::MeasureChannels) && !HasLauncher(ManagerTool::MeasureChannelsK4)) {
    Available(ManagerTool::MeasureChannels);
    return;
  }
  const std::string type = QuerySystemType();
  if (type == "K4") {
    // The service power mode only for a window that will then open.
    if (!Available(ManagerTool::MeasureChannelsK4)) return;
    if (platform::ShowMessage(kTechPowerQuestion, "", platform::Icon::Question,
                              platform::Buttons::YesNo) != platform::Answer::Yes)
      return;
    bool accepted;
    {
      TSystemLink link;
      platform::LinkLock::Guard guard(platform::TheLinkLock());
      link.SendFrame(frames::SetOutput(0xB0, 0x01));
      accepted = link.LastCount() >= 2 && link.RxBuffer()[1] == kReplyAccepted;
    }
    // Without the service power mode the channels would be calibrated on the wrong supply.
    if (!accepted) {
      platform::ShowMessage(kTechPowerRefused, "", platform::Icon::Error);
      return;
    }
    Launch(ManagerTool::MeasureChannelsK4);
    RefreshButtons();
  } else if (type == "K2" || type == "K3") {
    Launch(ManagerTool::MeasureChannels);
  } else {
    platform::ShowMessage(kTypeUnknown, "", platform::Icon::Error);
  }
}

void TfrmManager::bntTubeCalibrationClick() {
  if (RefusedInSpecialMode()) return;
  if (!HasLauncher(ManagerTool::Calibration) && !HasLauncher(ManagerTool::CalibrationK3)) {
    Available(ManagerTool::Calibration);
    return;
  }
  const std::string type = QuerySystemType();
  if (type == "K2")
    Launch(ManagerTool::Calibration);
  else if (type == "K3" || type == "K4")
    Launch(ManagerTool::CalibrationK3);
  else
    platform::ShowMessage(kTypeUnknown, "", platform::Icon::Error);
}

void TfrmManager::btnDoCheckShotsClick() {
  if (RefusedInSpecialMode()) return;
  Launch(ManagerTool::CheckShots);
}
void TfrmManager::btnShowOscilogramsClick() {
  Launch(ManagerTool::Oscillograms);
}

void TfrmManager::btnOpenControlPanelClick() {
  if (RefusedInSpecialMode()) return;
  CloseWindowsOf(ToolWindow::ControlPanel);
  Launch(ManagerTool::ControlPanel);
}

void TfrmManager::FormDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  // Every window, the K4 channel window too, while the port is still open.
  CloseWindows(true);
  // The monitor may be retrying a silent line (LinkUp false) while the port is still open: stop
  // it and close the port whenever either exists, not only while the link is up.
  if (SystemStatus().LinkUp || MonitorRunning || Monitor() || HasConnectionLink()) {
    StopMonitor();
    DestroyConnectionLink();
  }
  DestroyConnectionWindow();
  if (SystemStatus().ImageModified) {
    if (platform::ShowMessage("Сохранить текущий файл настроек?", "", platform::Icon::Question,
                              platform::Buttons::YesNo) == platform::Answer::Yes) {
      SystemStatus().ImageModified = false;
      if (SaveConfigWorkflow) SaveConfigWorkflow();
    }
  }
  CurrentImage.reset();
}

WindowRect TfrmManager::WindowMoving(WindowRect proposed, int screenWidth, int maxHeight) {
  PreviousRect = SnapWindowRect(proposed, PreviousRect, screenWidth, maxHeight);
  return PreviousRect;
}

}  // namespace kvt
