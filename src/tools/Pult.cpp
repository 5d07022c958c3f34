#include "tools/Pult.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "app/MainHost.h"
#include "exposure/Snapshot.h"
#include "link/SharedPort.h"
#include "link/SystemLink.h"
#include "platform/LinkLock.h"
#include "platform/Ui.h"
#include "platform/UrgentUi.h"

namespace kvt {

namespace {

constexpr std::uint8_t kReady = 8;
constexpr std::uint8_t kPrepared = 24;
constexpr std::uint8_t kAwaitConfirm = 73;

constexpr std::uint8_t kCmdConfirm = 0x4C;
constexpr std::uint8_t kCmdFootboardUp = 0x4E;
constexpr std::uint8_t kCmdFootboardDown = 0x4F;
constexpr std::uint8_t kCmdFootboardStop = 0x50;
constexpr std::uint8_t kCmdDoorDrive = 0x51;
constexpr std::uint8_t kCmdAfterCancel = 0x54;

constexpr int kPowerOnDelayMs = 1000;
constexpr int kPowerOffDelayMs = 2000;

namespace texts {
constexpr const char* kNoAnswer = "Система не отвечает: значения пульта не прочитаны.";
constexpr const char* kSyncNotWritten =
    "Синхронизация не переключена: система не подтвердила запись.";
constexpr const char* kProgramNotRead = "Программа снимка не прочитана: система не отвечает.";
constexpr const char* kProgramNotStored = "Программа снимка не записана: система её не приняла.";
}  // namespace texts

platform::LinkLock& Lock() {
  return platform::TheLinkLock();
}

int ParseInt(const std::string& text) {
  int v = 0;
  const char* b = text.data();
  const char* e = b + text.size();
  auto [p, ec] = std::from_chars(b, e, v);
  if (ec != std::errc() || p != e) return -1;
  return v;
}

}  // namespace

// ----------------------------------------------------------------------------- texts

namespace pult {

std::string SecondsText(int hundredths) {
  return HundredthsText(hundredths);
}

std::string TText(int hundredths) {
  return hundredths == 0 ? std::string(TfrmPult::kScop) : SecondsText(hundredths);
}

int ParseT(const std::string& text) {
  if (text == TfrmPult::kScop) return 0;
  std::string s = text;
  std::replace(s.begin(), s.end(), ',', '.');
  double v = 0;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || p != s.data() + s.size() || !std::isfinite(v) || v < 0 ||
      v > kTMax / 100.0)
    return -1;
  // Rounded: 0.29 s is 29 hundredths, although 0.29 × 100 falls just short of 29 in binary.
  return int(v * 100 + 0.5);
}

std::string NumberText(double value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", value);
  return buf;
}

std::string WorkTimeText(const std::string& digits) {
  if (digits.size() <= 2) return digits;
  const std::size_t head = digits.size() - 2;
  std::string t;
  t.reserve(digits.size() + 1);
  t.append(digits, 0, head);
  t += ':';
  t.append(digits, head, 2);
  return t;
}

std::string TotalExposureTimeText(const std::string& digits) {
  std::string d;
  if (digits.size() < 3) d.append(3 - digits.size(), '0');
  d += digits;
  // Whole seconds, then the hundredths; the ":" marks fall before the last whole digit and,
  // with three or more whole digits, before the one in front of it too.
  const std::size_t whole = d.size() - 2;
  std::string t;
  t.reserve(d.size() + 3);
  if (whole >= 3) {
    t.append(d, 0, whole - 2);
    t += ':';
    t += d[whole - 2];
    t += ':';
  } else if (whole == 2) {
    t += d[0];
    t += ':';
  }
  t += d[whole - 1];
  t += '.';
  t.append(d, whole, 2);
  return t;
}

}  // namespace pult

// ----------------------------------------------------------------------------- TKeyRefresher

TKeyRefresher::TKeyRefresher(TfrmPult& form, platform::Label& label, int value, int step,
                             const PultTiming& timing)
    : platform::Thread(platform::ThreadPriority::Normal),
      form_(form),
      label_(label),
      value_(value),
      start_(value),
      step_(step),
      timing_(timing) {}

TKeyRefresher::~TKeyRefresher() {
  Terminate();
  WaitFor();
}

void TKeyRefresher::Execute() {
  {
    platform::LinkLock::Guard guard(Lock());
    shot_ = std::make_unique<TSnapshot>(true);
  }
  if (Sleep(timing_.firstDelayMs)) {
    do {
      Step();
    } while (Sleep(timing_.repeatMs));
  }
  // Released before any step of ten took hold: a short press is one unit.
  if (!abandoned_ && value_ == start_ && (step_ == 10 || step_ == -10)) {
    step_ = step_ > 0 ? 1 : -1;
    Step();
  }
  platform::LinkLock::Guard guard(Lock());
  shot_.reset();
}

void TKeyRefresher::Step() {
  const int n = value_ + step_;
  if (n < pult::kStepMin || n > pult::kStepMax) return;
  value_ = n;
  int u = 0, i = 0, t = 0;
  platform::CurrentUi().Synchronize([&] {
    form_.ShowValue(label_, n);
    u = form_.U();
    i = form_.I();
    t = form_.T();
  });
  bool accepted = false;
  int ru = 0, ri = 0, rt = 0;
  {
    platform::LinkLock::Guard guard(Lock());
    accepted = shot_->AcceptSnapshotParameters(u, i, t, false);
    if (accepted) {
      const auto& rx = shot_->RxBuffer();
      ru = rx[2];
      ri = rx[3];
      rt = rx[4] * 256 + rx[5];
    }
  }
  if (accepted) {
    value_ = &label_ == &form_.lbU ? ru : &label_ == &form_.lbI ? ri : rt;
    platform::CurrentUi().Synchronize([&] { form_.ShowParameters(ru, ri, rt, true); });
  } else {
    // Refused: silently back to where it was.
    value_ -= step_;
    const int back = value_;
    platform::CurrentUi().Synchronize([&] { form_.ShowValue(label_, back); });
  }
}

// ----------------------------------------------------------------------------- TSnapshotDispatcher

TSnapshotDispatcher::TSnapshotDispatcher(TfrmPult& form, Stage stage, const PultTiming& timing)
    : platform::Thread(platform::ThreadPriority::Normal),
      form_(form),
      stage_(stage),
      timing_(timing) {}

TSnapshotDispatcher::~TSnapshotDispatcher() {
  Terminate();
  WaitFor();
}

void TSnapshotDispatcher::Lamp(bool preparation, const char* picture) {
  // Urgent: the lamps follow the apparatus even while a message box is open.
  platform::SynchronizeUrgent([&] { form_.DispatcherLamp(preparation, picture); });
}

void TSnapshotDispatcher::Abort(bool exposing) {
  {
    platform::LinkLock::Guard guard(Lock());
    if (exposing)
      shot_->StopShot();
    else
      shot_->CancelPrepare();
    shot_->SendFrame(frames::Simple(kCmdAfterCancel));
  }
  Lamp(true, pult::kPrepOff);
  Lamp(false, pult::kHVOff);
}

void TSnapshotDispatcher::Execute() {
  {
    platform::LinkLock::Guard guard(Lock());
    shot_ = std::make_unique<TSnapshot>(true);
  }
  bool exposing = stage_ == Stage::Expose;
  bool confirmed = false;
  bool prepared = false;
  bool lineLost = false;
  int unanswered = 0;
  // The window stops the dispatcher (Terminate) when it takes the shot over itself.
  while (!Terminated()) {
    std::uint8_t s = 0;
    bool answered = false;
    {
      platform::LinkLock::Guard guard(Lock());
      s = shot_->PollState();
      answered = shot_->LastCount() >= 1;
    }
    if (Terminated()) break;
    if (!answered) {
      // A prepared shot waits for the engineer's press: once the line has failed even once, what
      // waits at the other end may no longer be this shot, so it is given up at once.
      if (prepared || ++unanswered >= timing_.lostAfterPolls) {
        // The line is lost: whatever still reaches the apparatus is the cancel.
        Abort(exposing);
        lineLost = true;
        break;
      }
      Sleep(timing_.pollPauseMs);
      continue;
    }
    unanswered = 0;
    if (s >= 9 && s <= 23) {
      Lamp(true, pult::kPrepOn);
    } else if (s == kPrepared && stage_ == Stage::Prepare) {
      if (!prepared) {
        prepared = true;
        Lamp(true, pult::kPrepComplete);
        platform::SynchronizeUrgent([&] { form_.DispatcherPrepared(); });
      }
      // Prepared, the apparatus waits for the second press; the lamp must not outlive the
      // preparation should it end by itself (an alarm, a time-out of the apparatus).
      Sleep(timing_.watchPauseMs);
      continue;
    } else if (s == kPrepared) {
      // The release has not taken hold yet.
    } else if (s >= 25 && s <= 57) {
      exposing = true;
    } else if (s >= 58 && s <= 72) {
      exposing = true;
      Lamp(false, pult::kHVOn);
    } else if (s == kAwaitConfirm) {
      Lamp(false, pult::kHVOn);
      {
        platform::LinkLock::Guard guard(Lock());
        shot_->SendFrame(frames::Simple(kCmdConfirm));
      }
      Lamp(false, pult::kHVOff);
      confirmed = true;
    } else {
      // At rest (off, on, ready) the shot is over or was never made; any other state (an alarm)
      // during the shot leaves a preparation or an exposure to cancel.
      if (!confirmed && s > kReady)
        Abort(exposing);
      else {
        Lamp(true, pult::kPrepOff);
        Lamp(false, pult::kHVOff);
      }
      break;
    }
    Sleep(timing_.pollPauseMs);
  }
  if (!Terminated()) platform::SynchronizeUrgent([&] { form_.DispatcherEnded(lineLost); });
  platform::LinkLock::Guard guard(Lock());
  shot_.reset();
}

// ----------------------------------------------------------------------------- TfrmPult

TfrmPult::TfrmPult(MainHost* host, const PultTiming& timing)
    : ToolFormModel("frmPult", kCaption, host, ToolWindow::ControlPanel), timing_(timing) {
  Form.SetBackgroundColor(platform::colors::Maroon);
  Panel1.SetBackgroundColor(platform::colors::Silver);
  for (platform::Label* l : {&lbU, &lbI, &lbT, &CounterIndicator}) {
    l->SetFont({platform::colors::Lime, l == &CounterIndicator ? 14 : 20, true});
    l->SetBackgroundColor(platform::colors::Black);
    l->SetAlignment(platform::Alignment::Center);
  }
  PrepLamp.SetResource(pult::kPrepOff);
  HVLamp.SetResource(pult::kHVOff);
  CalimState.SetResource("PultCalimState");
  const char* decorations[] = {"PultKV",   "PultMA",       "PultSeconds",  "PultDensity",
                               "PultMode", "PultCounters", "PultFootboard"};
  platform::Picture* images[] = {&Image1, &Image2, &Image3, &Image4, &Image5, &Image6, &Image7};
  for (int k = 0; k < 7; ++k) images[k]->SetResource(decorations[k]);

  struct KeyGlyph {
    SpeedButton* key;
    const char* glyph;
  };
  const KeyGlyph glyphs[] = {
      {&btnPower, "PultPower"},
      {&btnVSynchro, "PultSynchro"},
      {&btnFootBoardUp, "PultFootboardUp"},
      {&btnFootBoardDown, "PultFootboardDown"},
      {&btnDoorDrive, "PultDoor"},
      {&btnUup, "PultUp"},
      {&btnIup, "PultUp"},
      {&btnTup, "PultUp"},
      {&btnUdn, "PultDown"},
      {&btnIdn, "PultDown"},
      {&btnTdn, "PultDown"},
      {&btnH1, "PultH1"},
      {&btnH2, "PultH2"},
      {&btnH3, "PultH3"},
      {&btnH4, "PultH4"},
      {&btnH5, "PultH5"},
      {&btnH6, "PultH6"},
      {&btnLungs, "PultLungs"},
      {&btnTorsoFace, "PultTorsoFace"},
      {&btnTorsoProfile, "PultTorsoProfile"},
      {&btnSkullProfile, "PultSkullProfile"},
      {&btnA, "PultModeA"},
      {&btnB, "PultModeB"},
      {&btnC, "PultModeC"},
      {&btnD, "PultModeD"},
      {&btnProgramm, "PultProgramm"},
      {&btnWorkTimeCounter, "PultWorkTime"},
      {&btnTotalExposureTime, "PultExposureTime"},
      {&btnTotalSnapshots, "PultSnapshots"},
      {&btnSnapshot, "PultSnapshot"},
      {&btnCancelSnapshot, "PultCancel"},
  };
  for (const KeyGlyph& g : glyphs) g.key->SetGlyph(g.glyph);

  for (SpeedButton* k : {&btnPower, &btnVSynchro, &btnProgramm}) k->SetToggle(true);
  int tag = 0;
  for (SpeedButton* k : {&btnH1, &btnH2, &btnH3, &btnH4, &btnH5, &btnH6}) {
    k->SetTag(tag++);
    Densities.Add(*k);
    k->OnClick = [this, k] { SelectDensity(*k); };
    k->CanClick = [this] { return !RefuseDuringShot(); };
  }
  tag = 0;
  for (SpeedButton* k :
       {&btnLungs, &btnTorsoFace, &btnTorsoProfile, &btnSkullProfile, &btnA, &btnB, &btnC, &btnD}) {
    k->SetTag(tag++);
    Modes.Add(*k);
    k->OnClick = [this, k] { SelectMode(*k); };
    k->CanClick = [this] { return !RefuseDuringShot(); };
  }

  btnPower.OnClick = [this] { btnPowerClick(); };
  btnVSynchro.OnClick = [this] { btnVSynchroClick(); };
  btnFootBoardUp.OnMouseDown = [this](MouseButton b) { btnFootBoardMouseDown(btnFootBoardUp, b); };
  btnFootBoardDown.OnMouseDown = [this](MouseButton b) {
    btnFootBoardMouseDown(btnFootBoardDown, b);
  };
  btnFootBoardUp.OnMouseUp = [this](MouseButton b) { btnFootBoardMouseUp(b); };
  btnFootBoardDown.OnMouseUp = [this](MouseButton b) { btnFootBoardMouseUp(b); };
  btnDoorDrive.OnClick = [this] { btnDoorDriveClick(); };
  for (SpeedButton* k : {&btnUup, &btnUdn, &btnIup, &btnIdn, &btnTup, &btnTdn}) {
    k->OnMouseDown = [this, k](MouseButton b) { StepKeyMouseDown(*k, b); };
    k->OnMouseUp = [this](MouseButton b) { StepKeyMouseUp(b); };
  }
  btnProgramm.OnClick = [this] { btnProgrammClick(); };
  btnProgramm.CanClick = [this] { return !RefuseDuringShot(); };
  btnWorkTimeCounter.OnClick = [this] { btnWorkTimeCounterClick(); };
  btnTotalExposureTime.OnClick = [this] { btnTotalExposureTimeClick(); };
  btnTotalSnapshots.OnClick = [this] { btnTotalSnapshotsClick(); };
  btnSnapshot.OnMouseDown = [this](MouseButton b) {
    if (b == MouseButton::Left) btnSnapshotClick();
  };
  btnSnapshot.OnMouseUp = [this](MouseButton b) { btnSnapshotMouseUp(b); };
  btnCancelSnapshot.OnClick = [this] { btnCancelSnapshotClick(); };

  // The limits, the synchronisation switch and the values the apparatus works with now.
  bool answered = true;
  std::uint8_t sync = 1;
  int u = 0, i = 0, t = 0;
  {
    platform::LinkLock::Guard guard(Lock());
    TSystemLink link;
    const int low = link.ReadTableStart();
    answered = link.LastTransferOk();
    const int high = link.ReadTableEnd();
    answered = answered && link.LastTransferOk();
    // A blank or damaged table header gives no range to clamp into.
    if (answered && low <= high) {
      uLow_ = low;
      uHigh_ = high;
    }
    link.ReadMemory(addr::kPanelSync, 1, &sync);
    answered = answered && link.LastTransferOk();
    link.SendFrame(frames::Query(9, 0x37));
    if (link.LastCount() >= 11) {
      const auto& rx = link.RxBuffer();
      u = rx[3];
      i = rx[4];
      t = rx[9] * 256 + rx[10];
    } else {
      answered = false;
    }
  }
  btnVSynchro.SetDown(answered && sync == 0);
  ShowParameters(std::clamp(u, uLow_, uHigh_), std::clamp(i, pult::kIMin, pult::kIMax),
                 std::clamp(t, pult::kTMin, pult::kTMax), true);
  Densities.SetEnabled(false);
  currentDensity_ = &btnH1;
  currentMode_ = &btnLungs;
  if (!answered) platform::ShowMessage(texts::kNoAnswer, TfrmPult::kTitle, platform::Icon::Warning);
}

TfrmPult::~TfrmPult() {
  FormClose();
  StopDispatcher();
}

void TfrmPult::FormCreate() {
  {
    platform::LinkLock::Guard guard(Lock());
    TSystemLink link;
    const std::uint8_t s = link.PollState();
    if (link.LastCount() >= 1) btnPower.SetDown(s != 0);
  }
  // A shot found at the opening is not this window's.
  if (!ReadStateAfresh()) freshReadNeeded_ = true;
}

void TfrmPult::FormClose() {
  StopRefresher(true);
  if (footboardHeld_) {
    footboardHeld_ = false;
    SendSimple(kCmdFootboardStop);
  }
  if (stage_ != ShotStage::None) CancelShot();
  closed_ = true;
}

// ----------------------------------------------------------------------------- values

int TfrmPult::U() const {
  return ParseInt(lbU.Caption());
}

int TfrmPult::I() const {
  return ParseInt(lbI.Caption());
}

int TfrmPult::T() const {
  return pult::ParseT(lbT.Caption());
}

void TfrmPult::ShowValue(platform::Label& label, int value) {
  label.SetCaption(&label == &lbT ? pult::TText(value) : std::to_string(value));
}

void TfrmPult::ShowParameters(int u, int i, int t, bool zeroAsScop) {
  lbU.SetCaption(std::to_string(u));
  lbI.SetCaption(std::to_string(i));
  lbT.SetCaption(zeroAsScop ? pult::TText(t) : pult::SecondsText(t));
}

bool TfrmPult::WorkersIdle() const {
  return (!refresher_ || refresher_->Finished()) && (!dispatcher_ || dispatcher_->Finished());
}

void TfrmPult::SendSimple(std::uint8_t command) {
  platform::LinkLock::Guard guard(Lock());
  TSystemLink link;
  link.SendFrame(frames::Simple(command));
}

// ----------------------------------------------------------------------------- power, drives

void TfrmPult::btnPowerClick() {
  platform::LinkLock::Guard guard(Lock());
  TSystemLink link;
  if (btnPower.Down()) {
    link.SendFrame(frames::PowerOn());
    link.Delay(kPowerOnDelayMs);
    link.SendFrame(frames::UnderHeatOn());
  } else {
    link.SendFrame(frames::PowerOff());
    link.Delay(kPowerOffDelayMs);
  }
}

void TfrmPult::btnVSynchroClick() {
  const std::uint8_t value = btnVSynchro.Down() ? 0 : 1;
  bool ok = false;
  {
    platform::LinkLock::Guard guard(Lock());
    TSystemLink link;
    link.WriteMemory(addr::kPanelSync, 1, &value);
    ok = link.LastTransferOk();
  }
  if (!ok) {
    // The key shows what the apparatus has, not what was asked for.
    btnVSynchro.SetDown(!btnVSynchro.Down());
    platform::ShowMessage(texts::kSyncNotWritten, TfrmPult::kTitle, platform::Icon::Warning);
  }
}

void TfrmPult::btnFootBoardMouseDown(SpeedButton& key, MouseButton button) {
  if (button != MouseButton::Left) return;
  footboardHeld_ = true;
  SendSimple(&key == &btnFootBoardUp ? kCmdFootboardUp : kCmdFootboardDown);
}

void TfrmPult::btnFootBoardMouseUp(MouseButton button) {
  if (button != MouseButton::Left) return;
  footboardHeld_ = false;
  SendSimple(kCmdFootboardStop);
}

void TfrmPult::btnDoorDriveClick() {
  SendSimple(kCmdDoorDrive);
}

// ----------------------------------------------------------------------------- stepping

void TfrmPult::StopRefresher(bool abandon) {
  if (!refresher_) return;
  if (abandon)
    refresher_->Abandon();
  else
    refresher_->Stop();
  refresher_.reset();  // waits for it, serving its updates meanwhile
}

void TfrmPult::StepKeyMouseDown(SpeedButton& key, MouseButton button) {
  if (button != MouseButton::Left) return;
  // The exposure must be the one prepared.
  if (RefuseDuringShot()) return;
  // One refresher at a time: the previous one finishes its exchange first, so holding and
  // clicking never queue steps faster than the line carries them.
  StopRefresher(false);
  platform::Label* label = &lbU;
  if (&key == &btnIup || &key == &btnIdn) label = &lbI;
  if (&key == &btnTup || &key == &btnTdn) label = &lbT;
  const bool up = &key == &btnUup || &key == &btnIup || &key == &btnTup;
  const int value = label == &lbU ? U() : label == &lbI ? I() : T();
  if (value < 0) return;
  // Values set by hand replace a program.
  if (!btnProgramm.Down()) {
    Modes.ReleaseAll();
    Densities.ReleaseAll();
    Densities.SetEnabled(false);
    Modes.SetEnabled(true);
  }
  refresher_ = std::make_unique<TKeyRefresher>(*this, *label, value, up ? 10 : -10, timing_);
  refresher_->Start();
}

void TfrmPult::StepKeyMouseUp(MouseButton button) {
  if (button != MouseButton::Left || !refresher_) return;
  refresher_->Stop();
}

// ----------------------------------------------------------------------------- programs

void TfrmPult::SelectMode(SpeedButton& key) {
  if (btnProgramm.Down()) {
    currentMode_ = &key;
    Densities.SetEnabled(false);
    Modes.ReleaseAll();
    Densities.ReleaseAll();
    StoreProgram();
    btnProgramm.SetDown(false);
    Modes.SetEnabled(true);
    return;
  }
  Densities.SetEnabled(true);
  btnH4.SetDown(true);
  currentDensity_ = &btnH4;
  currentMode_ = &key;
  LoadProgram(key.Tag() * 16 + btnH4.Tag());
}

void TfrmPult::SelectDensity(SpeedButton& key) {
  currentDensity_ = &key;
  if (btnProgramm.Down()) {
    Modes.SetEnabled(true);
    return;
  }
  LoadProgram(currentMode_->Tag() * 16 + key.Tag());
}

void TfrmPult::LoadProgram(int program) {
  platform::LinkLock::Guard guard(Lock());
  TSnapshot shot(true);
  shot.SendFrame(frames::ReadProgram(std::uint8_t(program)));
  // A program that did not arrive must not be sent back as parameters.
  if (shot.LastCount() < 6 || shot.RxBuffer()[1] != kReplyAccepted) {
    platform::ShowMessage(texts::kProgramNotRead, TfrmPult::kTitle, platform::Icon::Warning);
    return;
  }
  const auto& rx = shot.RxBuffer();
  const int u = rx[2];
  const int i = rx[3];
  const int t = rx[4] * 256 + rx[5];
  if (shot.AcceptSnapshotParameters(u, i, t, true)) ShowParameters(u, i, t, false);
}

void TfrmPult::StoreProgram() {
  const int program = currentMode_->Tag() * 16 + currentDensity_->Tag();
  platform::LinkLock::Guard guard(Lock());
  TSystemLink link;
  TSnapshot shot(true);
  if (!shot.AcceptSnapshotParameters(U(), I(), T(), true)) {
    platform::ShowMessage(TfrmPult::kNotAccepted, TfrmPult::kSelectModeTitle,
                          platform::Icon::Error);
    return;
  }
  link.SendFrame(frames::StoreProgram(std::uint8_t(program)));
  const bool stored = link.LastCount() >= 2 && link.RxBuffer()[1] == kReplyAccepted;
  link.SendFrame(frames::Commit(4));
  if (!stored)
    platform::ShowMessage(texts::kProgramNotStored, TfrmPult::kSelectModeTitle,
                          platform::Icon::Error);
}

void TfrmPult::btnProgrammClick() {
  Modes.ReleaseAll();
  Densities.ReleaseAll();
  Densities.SetEnabled(btnProgramm.Down());
  Modes.SetEnabled(!btnProgramm.Down());
}

// ----------------------------------------------------------------------------- counters

void TfrmPult::ShowCounter(std::uint8_t selector) {
  double value = -1;
  {
    platform::LinkLock::Guard guard(Lock());
    TSystemLink link;
    value = link.ReadCounter(selector);
  }
  if (value < 0) {
    CounterIndicator.SetCaption(TfrmPult::kUnreadable);
    return;
  }
  const std::string text = pult::NumberText(value);
  if (selector == 0)
    CounterIndicator.SetCaption(pult::WorkTimeText(text));
  else if (selector == 1)
    CounterIndicator.SetCaption(pult::TotalExposureTimeText(text));
  else
    CounterIndicator.SetCaption(text);
}

void TfrmPult::btnWorkTimeCounterClick() {
  ShowCounter(0);
}
void TfrmPult::btnTotalExposureTimeClick() {
  ShowCounter(1);
}
void TfrmPult::btnTotalSnapshotsClick() {
  ShowCounter(2);
}

// ----------------------------------------------------------------------------- the exposure

void TfrmPult::ReapDispatcher() {
  if (dispatcher_ && dispatcher_->Finished()) dispatcher_.reset();
}

void TfrmPult::StopDispatcher() {
  dispatcher_.reset();  // asks it to end and waits, serving its updates meanwhile
}

void TfrmPult::StartDispatcher(TSnapshotDispatcher::Stage stage) {
  dispatcher_ = std::make_unique<TSnapshotDispatcher>(*this, stage, timing_);
  dispatcher_->Start();
}

void TfrmPult::btnSnapshotClick() {
  if (closed_) return;
  // A shot under way is followed already.
  if (stage_ == ShotStage::Preparing || stage_ == ShotStage::Exposing) return;
  // A step still going out would change the values under the shot.
  StopRefresher(false);
  // A dispatcher that saw the preparation through has ended (or is about to); its end may have
  // ended the shot too.
  StopDispatcher();
  if (freshReadNeeded_) {
    // After a lost line the press first finds out what the apparatus is doing; a shot found
    // there is not this window's, and the press does nothing more.
    const bool clean = ReadStateAfresh();
    if (!clean || stage_ != ShotStage::None) return;
  }
  const bool mine =
      stage_ == ShotStage::Prepared && ownPrepared_ && prepGeneration_ == SharedPortGeneration();
  const int t = T();
  std::string told;
  {
    platform::LinkLock::Guard guard(Lock());
    TSnapshot shot(false);
    const std::uint8_t s = shot.PollState();
    const bool answered = shot.LastCount() >= 1;
    if (answered && s == kReady && stage_ == ShotStage::None) {
      ownPrepared_ = false;
      prepGeneration_ = SharedPortGeneration();
      if (shot.PrepareShot(U(), I(), t)) {
        stage_ = ShotStage::Preparing;
        PrepLamp.SetResource(pult::kPrepOn);
        StartDispatcher(TSnapshotDispatcher::Stage::Prepare);
      }
      return;
    }
    if (answered && s == kPrepared && mine) {
      ownPrepared_ = false;
      if (shot.Expose()) {
        stage_ = ShotStage::Exposing;
        StartDispatcher(TSnapshotDispatcher::Stage::Expose);
      } else {
        stage_ = ShotStage::None;
      }
      return;
    }
    if (answered && s > kReady && s <= kAwaitConfirm) {
      // Prepared by someone else, or no longer known to be this window's: never released.
      told = CancelForeignShot(shot, s);
    } else {
      if (stage_ == ShotStage::Prepared) {
        // This window's preparation is gone or cannot be seen: what still reaches the apparatus
        // is the cancel.
        shot.CancelPrepare();
        shot.SendFrame(frames::Simple(kCmdAfterCancel));
      }
      told = TfrmPult::kCannotShoot;
    }
  }
  stage_ = ShotStage::None;
  ownPrepared_ = false;
  LampsOff();
  // Told only after the frames, with the device lock free: the box waits on no one.
  platform::ShowMessage(told, TfrmPult::kTitle, platform::Icon::Warning);
}

std::string TfrmPult::CancelForeignShot(TSnapshot& shot, std::uint8_t s) {
  const bool exposing = s > kPrepared;
  if (exposing)
    shot.StopShot();
  else
    shot.CancelPrepare();
  shot.SendFrame(frames::Simple(kCmdAfterCancel));
  const std::uint8_t after = shot.PollState();
  const bool cancelled = shot.LastCount() >= 1 && (after <= kReady || after > kAwaitConfirm);
  std::string text = s < kPrepared    ? TfrmPult::kForeignPreparing
                     : s == kPrepared ? TfrmPult::kForeignPrepared
                                      : TfrmPult::kForeignExposing;
  if (!cancelled)
    text += TfrmPult::kForeignUnconfirmed;
  else
    text += exposing ? TfrmPult::kForeignStopped : TfrmPult::kForeignCancelled;
  return text;
}

bool TfrmPult::ReadStateAfresh() {
  std::string told;
  {
    platform::LinkLock::Guard guard(Lock());
    TSnapshot shot(false);
    const std::uint8_t s = shot.PollState();
    if (shot.LastCount() < 1) return false;
    freshReadNeeded_ = false;
    if (s > kReady && s <= kAwaitConfirm) told = CancelForeignShot(shot, s);
  }
  if (told.empty()) return true;
  LampsOff();
  platform::ShowMessage(told, TfrmPult::kTitle, platform::Icon::Warning);
  return true;
}

void TfrmPult::EndOwnShot() {
  StopRefresher(true);
  if (stage_ != ShotStage::None) CancelShot();
  StopDispatcher();
  stage_ = ShotStage::None;
  ownPrepared_ = false;
  LampsOff();
}

void TfrmPult::ConnectionLost() {
  if (inConnectionChange_) return;
  inConnectionChange_ = true;
  EndOwnShot();
  freshReadNeeded_ = true;
  inConnectionChange_ = false;
}

void TfrmPult::Connected() {
  if (inConnectionChange_) return;
  inConnectionChange_ = true;
  EndOwnShot();
  freshReadNeeded_ = true;
  // A hidden window reads the state when the engineer presses its key again.
  if (!closed_) ReadStateAfresh();
  inConnectionChange_ = false;
}

bool TfrmPult::RefuseDuringShot() {
  if (!ShotUnderWay()) return false;
  platform::ShowMessage(TfrmPult::kBusyWithShot, TfrmPult::kTitle, platform::Icon::Warning);
  return true;
}

void TfrmPult::btnSnapshotMouseUp(MouseButton button) {
  if (button != MouseButton::Left) return;
  // Let go too early: nothing goes on without the key held.
  if (stage_ == ShotStage::Preparing || stage_ == ShotStage::Exposing) CancelShot();
}

void TfrmPult::btnCancelSnapshotClick() {
  CancelShot();
}

void TfrmPult::CancelShot() {
  // The dispatcher ends first, so no lamp of the shot comes on again after the cancel.
  const bool exposing = stage_ == ShotStage::Exposing;
  StopDispatcher();
  {
    platform::LinkLock::Guard guard(Lock());
    TSnapshot shot(true);
    const std::uint8_t s = shot.PollState();
    const bool above = shot.LastCount() >= 1 ? s > kPrepared : exposing;
    if (above)
      shot.StopShot();
    else
      shot.CancelPrepare();
    LampsOff();
    shot.SendFrame(frames::Simple(kCmdAfterCancel));
  }
  stage_ = ShotStage::None;
  ownPrepared_ = false;
}

void TfrmPult::LampsOff() {
  PrepLamp.SetResource(pult::kPrepOff);
  HVLamp.SetResource(pult::kHVOff);
}

void TfrmPult::DispatcherLamp(bool preparation, const char* picture) {
  (preparation ? PrepLamp : HVLamp).SetResource(picture);
}

void TfrmPult::DispatcherPrepared() {
  stage_ = ShotStage::Prepared;
  // Seen complete on the connection it was started on.
  ownPrepared_ = prepGeneration_ == SharedPortGeneration();
}

void TfrmPult::DispatcherEnded(bool lineLost) {
  stage_ = ShotStage::None;
  ownPrepared_ = false;
  if (lineLost) freshReadNeeded_ = true;
}

}  // namespace kvt
