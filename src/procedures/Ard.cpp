#include "procedures/Ard.h"

#include <algorithm>
#include <charconv>

#include "app/MainHost.h"
#include "image/MemoryImage.h"
#include "image/Settings.h"
#include "link/SystemLink.h"
#include "link/SystemStatus.h"
#include "platform/Clock.h"
#include "platform/LinkLock.h"
#include "platform/Ui.h"

namespace kvt {

namespace {

constexpr platform::Color kGreen = 0x00FF00;
constexpr platform::Color kRed = 0xFF0000;
constexpr std::uint8_t kNoAlarmAbove = 0x80;  // a status above this is an alarm; 0x80 is not
constexpr int kPollPauseMs = 20;              // between the polls of a wait: nothing spins
constexpr int kTimeCut = 255;                 // 25.5 s, the most the byte at 0x21 holds

// The start of the coasting measurement (tick counter), kept from the second press to the third.
std::uint64_t& CoastingStart() {
  static std::uint64_t start = 0;
  return start;
}

int EditNumber(const platform::Edit& e) {
  int v = 0;
  const std::string& t = e.Text();
  auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
  return ec == std::errc() ? v : 0;
}

bool IsK4(TSystemLink& link) {
  return link.ReadSystemType() == "K4";
}

void SetupUpDown(platform::UpDown& ud, platform::Edit& ed) {
  ud.SetRange(0, 255);
  ud.SetAssociate(&ed);
  ud.SetPosition(0);
}

}  // namespace

int CoastingTenths(std::uint64_t ms, bool* cut) {
  const std::uint64_t tenths = ms / 100;
  if (cut) *cut = tenths > std::uint64_t(kTimeCut);
  return tenths > std::uint64_t(kTimeCut) ? kTimeCut : int(tenths);
}

void InsertSample(std::vector<std::int32_t>& list, std::int32_t value) {
  list.push_back(value);
  // An exchange sort, as the window has always kept its lists.
  for (std::size_t i = 0; i < list.size(); ++i)
    for (std::size_t j = i + 1; j < list.size(); ++j)
      if (list[j] <= list[i]) std::swap(list[i], list[j]);
}

int& TfrmARD::TimePresses() {
  static int presses = 0;
  return presses;
}

TfrmARD::TfrmARD(MainHost* host, std::function<TMemoryImage*()> currentImage)
    : ToolFormModel("frmARD", kCaption, host, ToolWindow::Rotation),
      currentImage_(std::move(currentImage)) {
  GroupBox1.SetCaption(" Настройка граничных токов ");
  Label1.SetCaption("Разгон:");
  Label2.SetCaption("Торможение:");
  Label3.SetCaption("Min");
  Label4.SetCaption("Max");
  Label5.SetCaption("Min");
  Label6.SetCaption("Max");
  for (platform::Edit* e : {&edMDmin, &edMDmax, &edMBmin, &edMBmax}) {
    e->SetReadOnly(true);
    e->SetText("0");
  }
  SetupUpDown(udTDmin, edTDmin);
  SetupUpDown(udTDmax, edTDmax);
  SetupUpDown(udTBmin, edTBmin);
  SetupUpDown(udTBmax, edTBmax);
  GroupBox2.SetCaption(" Настройка времени торможения ");
  GroupBox2.SetVisible(false);
  Label7.SetCaption("Время разгона");
  Label8.SetCaption("Время дополнительного торможения");
  Label9.SetCaption("1/10 сек.");
  SetupUpDown(udDispTime, edDispTime);
  SetupUpDown(udBrTime, edBrTime);
  GroupBox3.SetCaption(" Работа драйвера ");
  Label10.SetCaption("Режим разгона.");
  Label11.SetCaption("Режим торможения.");
  lbCurrentMessage.SetBackgroundColor(platform::colors::Black);
  lbCurrentMessage.SetWordWrap(true);
  lbCurrentMessage.SetAlignment(platform::Alignment::Center);
  Button4.SetCaption("Определить граничные токи");
  Button6.SetCaption("Принять значения токов");
  Button7.SetCaption("Определить время");
  Button5.SetCaption("Принять значение времени");
  Button8.SetCaption("ТЕСТ ДРАЙВЕРА");
  Button1.SetCaption("OK");
  RotationTimer1.SetEnabled(false);
  SetLamps(0);

  Button4.OnClick = [this] { Button4Click(); };
  Button6.OnClick = [this] { Button6Click(); };
  Button7.OnClick = [this] { Button7Click(); };
  Button5.OnClick = [this] { Button5Click(); };
  Button8.OnClick = [this] { Button8Click(); };
  Button1.OnClick = [this] { Button1Click(); };
  RotationTimer1.OnTimer = [this] { RotationTimer1Timer(); };
  DriveTimer.SetEnabled(false);
  DriveTimer.SetInterval(300);
  DriveTimer.OnTimer = [this] { DriveTimerTimer(); };
}

TfrmARD::~TfrmARD() {
  // Closed in the middle of a measurement: the stator must not stay in run-up or braking mode.
  if (step_ >= 1 && step_ <= 3) {
    TSystemLink link;
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    SetRotationMode(link, 0);
  }
  // A coasting timed in this window ends with it; the next window starts its own clock.
  if (Timing()) MoveOnFromTiming();
  TimePresses() = 0;
}

bool TfrmARD::Timing() const {
  return TimePresses() == 2 && CoastingStart() != 0;
}

void TfrmARD::EnableSteps(bool enabled, const platform::Button* running) {
  for (platform::Button* b : {&Button4, &Button6, &Button7, &Button5, &Button8})
    if (b != running) b->SetEnabled(enabled);
}

void TfrmARD::LampsForDriveState(std::uint8_t state) {
  SetLamps(state == 1 ? 1 : (state >= 2 && state <= 4) ? 2 : 0);
}

void TfrmARD::DriveTimerTimer() {
  std::uint8_t state = 0;
  {
    TSystemLink link;
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    if (Status(link) > kNoAlarmAbove) {
      DriveTimer.SetEnabled(false);
      SetLamps(0);
      return;
    }
    state = DriveState(link);
  }
  LampsForDriveState(state);
  // At speed again or at rest: the drive has nothing more of its own to do.
  if (state == 8 || state == 0) DriveTimer.SetEnabled(false);
}

bool TfrmARD::EndTiming(TSystemLink& link) {
  TimePresses() = 0;
  CoastingStart() = 0;
  link.WriteMemory(addr::kRotationTimes + 1, 1, &brakingBefore_);
  const bool restored = link.LastTransferOk();
  // A fresh braking with the stored time cuts the 25.5 s of the measurement short.
  link.SendFrame(frames::Simple(0x42));
  SetLamps(2);
  DriveTimer.SetEnabled(true);
  return restored;
}

void TfrmARD::MoveOnFromTiming() {
  bool restored = false;
  {
    TSystemLink link;
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    restored = EndTiming(link);
  }
  std::string text = kTimeAborted;
  if (!restored) {
    text += "\n";
    text += kBrakingNotRestored;
  }
  // A box: the next step's own message would cover a line in the panel at once.
  platform::ShowMessage(text, kWarningTitle, platform::Icon::Warning);
}

void TfrmARD::SetLamps(int mode) {
  imgDispersalMode.SetResource(mode == 1 ? "GreenLamp" : "GrayLamp");
  imgBrakingMode.SetResource(mode == 2 ? "RedLamp" : "GrayLamp");
  if (OnRepaint) OnRepaint();
}

void TfrmARD::Message(const std::string& text, bool error, int size) {
  lbCurrentMessage.BeginUpdate();
  lbCurrentMessage.SetFont({error ? kRed : kGreen, size, true});
  lbCurrentMessage.SetCaption(text);
  lbCurrentMessage.EndUpdate();
}

void TfrmARD::Focus(platform::Control& control) {
  focused_ = control.Name();
  if (OnFocus) OnFocus(control);
}

void TfrmARD::SetRotationMode(TSystemLink& link, int mode) {
  if (IsK4(link)) {
    link.SendFrame(MakeFrame({0x03, 0x00, 0xB4, std::uint8_t(mode)}));
  } else {
    const std::uint8_t m = mode == 1 ? 3 : std::uint8_t(mode);
    link.SendFrame(MakeFrame({0x05, 0x01, 0x04, 0x00, 0x00, m}));
  }
}

std::int32_t TfrmARD::ReadStatorCurrent(TSystemLink& link) {
  link.SendFrame(frames::ReadChannel(IsK4(link) ? 0x0C : 0x01));
  // No reply: no reading, which the judgement reports as out of range.
  return link.LastCount() >= 3 ? link.RxBuffer()[2] : 0;
}

std::uint8_t TfrmARD::Status(TSystemLink& link) {
  const std::uint8_t s = link.PollState();
  return link.LastCount() >= 1 ? s : 0;
}

std::uint8_t TfrmARD::DriveState(TSystemLink& link) {
  link.SendFrame(frames::Query(0x01, 0x29));
  return link.LastCount() >= 3 ? link.RxBuffer()[2] : 0;
}

TfrmARD::WaitEnd TfrmARD::WaitForDriveState(TSystemLink& link, std::uint8_t target) {
  const std::uint64_t start = platform::TickCount();
  for (;;) {
    if (Status(link) > kNoAlarmAbove) return WaitEnd::Alarm;
    if (DriveState(link) == target) return WaitEnd::Reached;
    if (platform::TickCount() - start >= std::uint64_t(std::max(0, WaitLimitMs)))
      return WaitEnd::TimedOut;
    platform::Delay(kPollPauseMs);
  }
}

std::string TfrmARD::WaitLimitText() const {
  return std::to_string(std::max(0, WaitLimitMs) / 1000) + " с";
}

void TfrmARD::StoreStep(std::uint32_t address, const std::vector<std::uint8_t>& bytes,
                        const char* notStored, const char* next, platform::Control& nextButton) {
  if (Timing()) MoveOnFromTiming();
  bool stored = false;
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    TSystemLink link;
    link.WriteMemory(address, std::uint32_t(bytes.size()), bytes.data());
    stored = link.LastTransferOk();
    if (stored) StoreInImage(address, bytes);
  }
  if (!stored) {
    Message(notStored, true);
    return;
  }
  Message(next);
  Focus(nextButton);
}

void TfrmARD::StoreInImage(std::size_t offset, const std::vector<std::uint8_t>& bytes) {
  TMemoryImage* image = currentImage_ ? currentImage_() : nullptr;
  // Without a held image there is nothing to mark as changed.
  if (image && image->Store(offset, bytes)) SystemStatus().ImageModified = true;
}

void TfrmARD::FormCreate() {
  std::uint8_t block[7] = {};
  bool read = false;
  {
    TSystemLink link;
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    link.ReadMemory(addr::kRotationTimes, sizeof block, block);
    read = link.LastTransferOk();
  }
  udDispTime.SetPosition(block[0]);
  udBrTime.SetPosition(block[1]);
  udTDmax.SetPosition(block[3]);
  udTDmin.SetPosition(block[4]);
  udTBmax.SetPosition(block[5]);
  udTBmin.SetPosition(block[6]);
  SetLamps(0);
  if (!read) {
    Message(kBlockNotRead, true);
    return;
  }
  Message(kIntro);
}

void TfrmARD::Button4Click() {
  if (Timing()) MoveOnFromTiming();
  DriveTimer.SetEnabled(false);
  // The stator current is measured alone: no other step may send its frames in between.
  EnableSteps(false, &Button4);
  samplesPerSecond_ = 10;
  measuringSeconds_ = 1;
  RotationTimer1.SetInterval(1);
  RotationTimer1.SetEnabled(true);
  Message(kMeasuring, false, 10);
  Focus(Button6);
}

void TfrmARD::RotationTimer1Timer() {
  TSystemLink link;
  platform::LinkLock::Guard guard(platform::TheLinkLock());
  const int samples = samplesPerSecond_ * measuringSeconds_;
  // The rotation mode set and shown on the lamps, then the next step after `interval` ms.
  auto switchMode = [&](int mode, int interval, int next) {
    SetRotationMode(link, mode);
    SetLamps(mode);
    RotationTimer1.SetInterval(interval);
    step_ = next;
  };
  switch (step_) {
    case 0:
      runUpSamples_.clear();
      brakingSamples_.clear();
      sampleCounter_ = 0;
      switchMode(1, 200, 1);
      break;
    case 1:
    case 3: {
      auto& list = step_ == 1 ? runUpSamples_ : brakingSamples_;
      InsertSample(list, ReadStatorCurrent(link));
      if (sampleCounter_ < samples) {
        ++sampleCounter_;
        RotationTimer1.SetInterval(1000 / std::max(1, samplesPerSecond_));
      } else if (step_ == 1) {
        switchMode(0, 100, 2);
      } else {
        switchMode(0, 1, 4);
      }
      break;
    }
    case 2:
      sampleCounter_ = 0;
      switchMode(2, 200, 3);
      break;
    case 4: {
      const int mdMin = runUpSamples_.empty() ? 0 : runUpSamples_.front();
      const int mdMax = runUpSamples_.empty() ? 0 : runUpSamples_.back();
      const int mbMin = brakingSamples_.empty() ? 0 : brakingSamples_.front();
      const int mbMax = brakingSamples_.empty() ? 0 : brakingSamples_.back();
      edMDmin.SetText(std::to_string(mdMin));
      edMBmin.SetText(std::to_string(mbMin));
      edMDmax.SetText(std::to_string(mdMax));
      edMBmax.SetText(std::to_string(mbMax));
      // The up-downs keep the proposals inside 0..255.
      udTDmin.SetPosition(mdMin - settings::ReadDispersalMinDelta());
      udTBmin.SetPosition(mbMin - settings::ReadBrakingMinDelta());
      udTDmax.SetPosition(mdMax + settings::ReadDispersalMaxDelta());
      udTBmax.SetPosition(mbMax + settings::ReadBrakingMaxDelta());
      RotationTimer1.SetInterval(1);
      step_ = 5;
      break;
    }
    default:
      RotationTimer1.SetEnabled(false);
      step_ = 0;
      EnableSteps(true);
      // The focus given at the start could not stay on a disabled button.
      Focus(Button6);
      Judge(link);
      break;
  }
}

void TfrmARD::Judge(TSystemLink& link) {
  const bool k4 = IsK4(link);
  const int s = k4 ? -1 : 1;
  const int limit = k4 ? 20 : 90;
  const int mdMin = EditNumber(edMDmin);
  const int mdMax = EditNumber(edMDmax);
  const int mbMin = EditNumber(edMBmin);
  const int mbMax = EditNumber(edMBmax);
  const int tdMin = EditNumber(edTDmin);
  const int tbMin = EditNumber(edTBmin);

  const char* error = nullptr;
  if (mdMin == 0 || mbMin == 0) {
    error = kOutOfRange;
  } else if (s * ((mdMax + mdMin) / 2) > s * ((mbMax + mbMin) / 2)) {
    error = kHardwareFailure;
  }
  if (error) {
    Message(error, true);
    return;
  }
  if (s * mdMin > s * limit)
    platform::ShowMessage(kSensitivity, kWarningTitle, platform::Icon::Warning);
  if (tdMin <= 0 || tbMin <= 0)
    platform::ShowMessage(kAtBorder, kWarningTitle, platform::Icon::Warning);
  Message(kProposed);
}

void TfrmARD::Button6Click() {
  StoreStep(addr::kRotationCurrents,
            {std::uint8_t(udTDmax.Position()), std::uint8_t(udTDmin.Position()),
             std::uint8_t(udTBmax.Position()), std::uint8_t(udTBmin.Position())},
            kCurrentsNotStored, kGoTime, Button7);
}

void TfrmARD::Button7Click() {
  const int press = ++TimePresses();
  if (press == 1) {
    Message(kTimeHint);
  } else if (press == 2) {
    Message(lbCurrentMessage.Caption());
    TimeSecondPress();
  } else {
    Message(lbCurrentMessage.Caption());
    TimeThirdPress();
  }
}

void TfrmARD::TimeSecondPress() {
  platform::LinkLock::Guard guard(platform::TheLinkLock());
  TSystemLink link;
  GroupBox2.SetVisible(true);
  DriveTimer.SetEnabled(false);
  CoastingStart() = 0;
  // The run-up time, and the braking time to put back when the measurement is over.
  std::uint8_t times[2] = {};
  link.ReadMemory(addr::kRotationTimes, 2, times);
  if (!link.LastTransferOk()) {
    TimePresses() = 0;
    Message(kDispTimeNotRead, true);
    return;
  }
  udDispTime.SetPosition(times[0]);
  brakingBefore_ = times[1];
  const std::uint8_t longest = 255;
  link.WriteMemory(addr::kRotationTimes + 1, 1, &longest);
  if (!link.LastTransferOk()) {
    TimePresses() = 0;
    Message(kLongBrakingNotStored, true);
    return;
  }
  link.SendFrame(frames::Simple(0x41));
  SetLamps(1);
  link.Delay(3000);
  link.SendFrame(frames::Simple(0x42));
  SetLamps(2);
  const std::uint8_t target = IsK4(link) ? 3 : 4;
  const WaitEnd end = WaitForDriveState(link, target);
  if (end == WaitEnd::TimedOut) {
    // Without the start of the coasting the next press would time nothing: start over.
    EndTiming(link);
    Message("Драйвер вращения не включил дополнительное торможение за " + WaitLimitText() +
                ".\nПроверьте исправность драйвера вращения и связь с системой, затем нажмите "
                "кнопку <Определить время> снова.",
            true);
    return;
  }
  const std::uint8_t status = Status(link);
  if (status <= kNoAlarmAbove) {
    CoastingStart() = platform::TickCount();
    // The drive brakes on by itself while the engineer listens: the lamp shows it until it ends.
    SetLamps(2);
    DriveTimer.SetEnabled(true);
    return;
  }
  SetLamps(0);
  TimePresses() = 0;
  CoastingStart() = 0;
  link.WriteMemory(addr::kRotationTimes + 1, 1, &brakingBefore_);
  link.SendFrame(frames::ReadVariable(0x23));
  const std::uint8_t code = link.LastCount() >= 3 ? link.RxBuffer()[2] : 0;
  platform::ShowMessage(kAlarmPrefix + settings::ReadErrorDescription(code), "",
                        platform::Icon::Error);
}

void TfrmARD::TimeThirdPress() {
  if (CoastingStart() == 0) {
    // The second press did not start a coasting (or it was ended since): nothing to time.
    TimePresses() = 0;
    Message(kTimeHint);
    TimePresses() = 1;
    return;
  }
  bool cut = false;
  const auto time = std::uint8_t(CoastingTenths(platform::TickCount() - CoastingStart(), &cut));
  CoastingStart() = 0;
  DriveTimer.SetEnabled(false);
  bool restored = false;
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    TSystemLink link;
    // The new time waits for the engineer's accept; until then the apparatus keeps its own.
    link.WriteMemory(addr::kRotationTimes + 1, 1, &brakingBefore_);
    restored = link.LastTransferOk();
    link.SendFrame(frames::Simple(0x41));
    SetLamps(1);
    link.Delay(1500);
    link.SendFrame(frames::Simple(0x42));
    SetLamps(2);
  }
  DriveTimer.SetEnabled(true);
  GroupBox2.SetVisible(true);
  udBrTime.SetPosition(time);
  if (cut) {
    platform::ShowMessage(
        "Анод останавливался дольше 25,5 с: время дополнительного торможения "
        "ограничено наибольшим значением 25,5 с (255).",
        kWarningTitle, platform::Icon::Warning);
  }
  TimePresses() = 0;
  std::string text = kTimeFound;
  if (!restored) {
    text += "\n";
    text += kBrakingNotRestored;
  } else {
    text += kTimeNotYetStored;
  }
  Message(text, !restored);
  Focus(Button5);
}

void TfrmARD::Button5Click() {
  StoreStep(addr::kRotationTimes,
            {std::uint8_t(udDispTime.Position()), std::uint8_t(udBrTime.Position())},
            kTimesNotStored, kGoTest, Button8);
}

void TfrmARD::Button8Click() {
  if (Timing()) MoveOnFromTiming();
  DriveTimer.SetEnabled(false);
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    TSystemLink link;
    link.SendFrame(frames::Simple(0x41));
    SetLamps(1);
    WaitEnd end = WaitForDriveState(link, 8);
    if (end != WaitEnd::TimedOut && Status(link) < kNoAlarmAbove) {
      link.SendFrame(frames::Simple(0x42));
      SetLamps(2);
      end = WaitForDriveState(link, 8);
      if (end == WaitEnd::TimedOut) {
        SetLamps(0);
        Message("Драйвер вращения не завершил торможение за " + WaitLimitText() +
                    ".\nПроверьте исправность драйвера вращения и связь с системой.",
                true);
        return;
      }
    } else if (end == WaitEnd::TimedOut) {
      SetLamps(0);
      Message("Драйвер вращения не завершил разгон анода за " + WaitLimitText() +
                  ".\nПроверьте исправность драйвера вращения и связь с системой.",
              true);
      return;
    }
    SetLamps(0);
    Message(kTestDone);
  }
  Focus(Button1);
}

void TfrmARD::Button1Click() {
  if (OnClose) OnClose();
}

}  // namespace kvt
