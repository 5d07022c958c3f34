#include "procedures/CheckShots.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "app/MainHost.h"
#include "app/ProtocolPdf.h"
#include "exposure/DefineCurrent.h"
#include "exposure/Snapshot.h"
#include "image/Settings.h"
#include "link/SystemLink.h"
#include "platform/Clock.h"
#include "platform/Codepage.h"
#include "platform/Files.h"
#include "platform/LinkLock.h"
#include "platform/Ui.h"

namespace kvt {

namespace {

constexpr const char* kStartMessage =
    "\nДля выполнения серии проверочных снимков Вам необходимо задать диапазон напряжений в "
    "котором будут выполняться снимки, приращение напряжения, время экспозиции для каждого снимка "
    "и нажать кнопку <Принять>.";
constexpr const char* kAutoMessage =
    "\nВыполняется серия проверочных снимков.\nВы можете прервать выполнение нажав кнопку "
    "<Выключить> раздела <Автоматически>.";
constexpr const char* kSeriesDone =
    "\nВыполнение проверочных снимков закончено.\nДля сохранения протокола работы нажмите кнопку "
    "<Сохранить> раздела <Процедура>.\nДля завершения работы нажмите кнопку <ОК>.";
constexpr const char* kShotFailed = "Снимок не выполнен.";
constexpr const char* kUnsavedQuestion =
    "Протокол выполнения проверочных снимков не сохранен. Сохранить?";
constexpr const char* kNoReading =
    "\nЗначение по осциллограмме не определено: снимок не занесен в протокол.\nДля повторения "
    "снимка нажмите кнопку <Выполнить> раздела <Снимок>.";
constexpr const char* kUnknownType = "Тип системы не определен: снимок не выполнен.";
constexpr const char* kRangesUnread =
    "Диапазоны параметров снимков не прочитаны из калибровочной таблицы системы.\nУстановлены "
    "диапазоны по умолчанию: от 0 до 100.";
constexpr const char* kCannotWrite = "Не удалось записать файл\n";
constexpr const char* kNoCurve =
    "\nОсциллограмма снимка не прочитана: система не ответила. Снимок не занесен в протокол.\nДля "
    "повторения снимка нажмите кнопку <Выполнить> раздела <Снимок>.";
constexpr const char* kBadTolerances = "Допуски проверочных снимков в vesmar.ini:\n";
// Sent last when a shot is cancelled.
constexpr std::uint8_t kCmdAfterCancel = 0x54;
// Status codes: prepared, waiting for the confirmation.
constexpr int kPrepared = 24;

// The up-downs' own ranges, used when the apparatus gives none.
constexpr int kDesignMin = 0;
constexpr int kDesignMax = 100;
constexpr int kDesignStep = 5;
// The anode current of a K2 check shot.
constexpr int kK2Current = 70;
// The pause's gauge moves in steps of this many ms.
constexpr int kGaugeStepMs = 100;

std::string Num(int v) {
  return std::to_string(v);
}

std::string Tenths(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f", v);
  return buf;
}

}  // namespace

// ----------------------------------------------------------------------------- protocol file

std::string CheckShotsProtocolText(const std::vector<ProtocolRow>& rows, const std::tm& utc) {
  char line[160];
  std::string text;
  std::snprintf(line, sizeof line, "Дата: %d.%d.%d\n", utc.tm_mday, utc.tm_mon + 1,
                utc.tm_year + 1900);
  text += line;
  std::snprintf(line, sizeof line, "Время: %d:%d\n", utc.tm_hour, utc.tm_min);
  text += line;
  text += "Комментарий:\n\n\n";
  text += "\t    Ua\t\t    Ua\t\t Ia\tОтклонение\n";
  text += "\t(уст.,кВ.)\t(изм.,кВ.)\t(мА)\t  (кВ.)\n\n";
  for (const ProtocolRow& r : rows) {
    std::snprintf(line, sizeof line, "\t    %d\t\t    %d\t\t %d\t   %d\n", r[0], r[1], r[2], r[3]);
    text += line;
  }
  return text;
}

std::string CheckShotsProtocolBytes(const std::vector<ProtocolRow>& rows, const std::tm& utc) {
  const std::string text = CheckShotsProtocolText(rows, utc);
  std::string crlf;
  crlf.reserve(text.size() + text.size() / 8);
  for (char c : text) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  return platform::Utf8ToCp1251(crlf);
}

// ----------------------------------------------------------------------------- one shot

void EndShotSafely(TSnapshot& shot) {
  const std::uint8_t state = shot.PollState();
  if (shot.LastCount() == 1 && state > kPrepared)
    shot.StopShot();
  else
    shot.CancelPrepare();
  shot.SendFrame(frames::Simple(kCmdAfterCancel));
}

K2CheckShot MakeK2CheckShot(TSnapshot& shot, int kv, int ma, int time) {
  K2CheckShot r;
  r.values.setKv = kv;
  r.values.setMa = ma;
  r.values.setMs = time * 10;
  if (!shot.MakeShot(kv, ma, time)) {
    // Nothing was sent when the parameters were refused; otherwise a preparation or an exposure
    // may still stand.
    if (shot.LastFailure != ShotFailure::Refused &&
        shot.LastFailure != ShotFailure::InvalidParameters)
      EndShotSafely(shot);
    r.failure = ShotFailureText(shot.LastFailure);
    return r;
  }
  r.ok = true;
  r.row = {shot.Kv, shot.Uv, shot.Ia, std::abs(int(shot.Kv) - shot.Uv)};
  r.values.kv = shot.Uv;
  r.values.ma = shot.Ia;
  const std::vector<int> samples = shot.ReadLastShotCurves(nullptr, false);
  if (shot.LastTransferOk() && !samples.empty()) r.values.ms = CurveExposureMs(samples);
  return r;
}

// ----------------------------------------------------------------------------- the worker

class TfrmCheckShots::TCheckShotsProc : public platform::Thread {
 public:
  explicit TCheckShotsProc(TfrmCheckShots& window)
      : platform::Thread(platform::ThreadPriority::Idle), w_(window) {}
  ~TCheckShotsProc() override {
    Stop();
    WaitFor();
  }
  // Asks the worker to end and wakes it wherever it waits.
  void Stop() {
    Terminate();
    std::lock_guard g(w_.cs_);
    w_.requested_.notify_all();
  }
  // The pause's sleep, ended early by Stop.
  bool Nap(int ms) { return Sleep(ms); }

 protected:
  void Execute() override {
    std::unique_ptr<TSnapshot> shot;
    {
      platform::LinkLock::Guard guard(platform::TheLinkLock());
      shot = std::make_unique<TSnapshot>(true);
    }
    while (!Terminated()) {
      {
        std::unique_lock lock(w_.cs_);
        w_.busy_ = false;
        w_.requested_.notify_all();
        w_.requested_.wait(lock,
                           [this] { return Terminated() || w_.singleRequested_ || w_.autoOn_; });
        if (Terminated()) break;
        w_.singleRequested_ = false;
        w_.busy_ = true;
      }
      w_.Turn(*shot);
      std::lock_guard g(w_.cs_);
      ++w_.turns_;
    }
    std::lock_guard g(w_.cs_);
    w_.busy_ = false;
    w_.requested_.notify_all();
  }

 private:
  TfrmCheckShots& w_;
};

// ----------------------------------------------------------------------------- the window

TfrmCheckShots::TfrmCheckShots(MainHost* host, std::function<std::string()> imageDir)
    : ToolFormModel("frmCheckShots", kCaption, host, ToolWindow::CheckShots),
      imageDir_(std::move(imageDir)) {
  Now = [] {
    const std::time_t t = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    return platform::UtcTime(t);
  };

  gbUmin.SetCaption(" Ua min. (кВ) ");
  gbUmax.SetCaption(" Ua max. (кВ) ");
  gbUstep.SetCaption(" Шаг (кВ) ");
  gbExposure.SetCaption(" Экспозиция (мс) ");
  gbIa.SetCaption(" Iа (мА) ");
  btnAccept.SetCaption("Принять");
  gbShot.SetCaption(" Снимок ");
  btnMakeShot.SetCaption("Выполнить");
  gbAuto.SetCaption(" Автоматически ");
  btnAuto.SetCaption("Включить");
  gbProcedure.SetCaption(" Процедура ");
  btnSaveProtocol.SetCaption("Сохранить");
  btnOK.SetCaption("OK");
  btnSavePdf.SetCaption(protocol::kButtonCaption);
  gbProtocol.SetCaption(" Протокол испытаний ");
  lbCurrentMessage.SetWordWrap(true);

  udUmin.SetAssociate(&edUmin);
  udUmax.SetAssociate(&edUmax);
  udUstep.SetAssociate(&edUstep);
  udExposure.SetAssociate(&edExposure);
  udIa.SetAssociate(&edIa);
  udUstep.SetRange(0, 100);
  udExposure.SetRange(10, 2000);
  udExposure.SetPosition(60);

  btnMakeShot.SetEnabled(false);
  btnAuto.SetEnabled(false);
  btnSaveProtocol.SetEnabled(false);
  btnOK.SetEnabled(false);
  btnSavePdf.SetEnabled(false);
  ShotsTable.SetEnabled(false);
  ShotsTable.SetFixedRows(1);
  ShotsTable.SetDefaultColWidth(62);
  ShotsTable.SetColWidth(0, 70);
  ShotsTable.SetFollowNewRows(true);
  for (platform::Label* l : {&lbVerdictUa, &lbVerdictIa, &lbVerdictT, &lbVerdictRepeat})
    l->SetWordWrap(true);
  lbVerdict.SetFontBold(true);
  WaitIndikator.SetRange(0, 1);
  WaitIndikator.SetProgress(0);

  btnAccept.OnClick = [this] { btnAcceptClick(); };
  btnMakeShot.OnClick = [this] { btnMakeShotClick(); };
  btnAuto.OnClick = [this] { btnAutoClick(); };
  btnSaveProtocol.OnClick = [this] { btnSaveProtocolClick(); };
  btnOK.OnClick = [this] { btnOKClick(); };
  btnSavePdf.OnClick = [this] { btnSavePdfClick(); };
}

TfrmCheckShots::~TfrmCheckShots() {
  FormDestroy();
}

int TfrmCheckShots::Ucur() const {
  std::lock_guard g(cs_);
  return ucur_;
}

bool TfrmCheckShots::AutoOn() const {
  std::lock_guard g(cs_);
  return autoOn_;
}

bool TfrmCheckShots::Busy() const {
  std::lock_guard g(cs_);
  return busy_ || singleRequested_;
}

int TfrmCheckShots::TurnsDone() const {
  std::lock_guard g(cs_);
  return turns_;
}

void TfrmCheckShots::Message(const std::string& text) {
  lbCurrentMessage.SetCaption(text);
}

void TfrmCheckShots::OnUi(const std::function<void()>& fn) {
  platform::CurrentUi().Synchronize(fn);
}

void TfrmCheckShots::FormCreate() {
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    TSystemLink link;
    systemType_ = link.ReadSystemType();
  }
  const bool k2 = systemType_ == "K2";
  const bool k34 = systemType_ == "K3" || systemType_ == "K4";
  const char* headers[] = {"  N снимка", "    Ua уст.", "       Ua", "       Ia",
                           k2    ? "       dUa"
                           : k34 ? "       dIa"
                                 : ""};
  for (int c = 0; c < 5; ++c) ShotsTable.SetCell(c, 0, headers[c]);
  ShotsTable.SetCell(kColDevUa, 0, "dUa, %");
  ShotsTable.SetCell(kColDevIa, 0, "dIa, %");
  ShotsTable.SetCell(kColTime, 0, "t, мс");
  ShotsTable.SetCell(kColDevT, 0, "dt, %");
  edIa.SetEnabled(!k2);
  udIa.SetEnabled(!k2);
  shotsDone_ = 0;
  ReadRanges();
  const TolerancesRead read = ReadTolerances();
  tolerances_ = read.values;
  if (!read.problems.empty()) {
    std::string text = kBadTolerances;
    for (const std::string& p : read.problems) {
      text += p;
      text += '\n';
    }
    platform::ShowMessage(text, kTitle, platform::Icon::Warning);
  }
  proc_ = std::make_unique<TCheckShotsProc>(*this);
  proc_->Start();
  Message(kStartMessage);
}

void TfrmCheckShots::ReadRanges() {
  bool read = true;
  int start = 0, end = 0, step = 0;
  std::array<std::uint16_t, 8> header{};
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    TSystemLink link;
    start = std::int16_t(link.ReadTableStart());
    read = read && link.LastTransferOk();
    end = std::int16_t(link.ReadTableEnd());
    read = read && link.LastTransferOk();
    step = std::int16_t(link.ReadTableStep());
    read = read && link.LastTransferOk();
    header = link.ReadShotHeader();
    read = read && link.LastTransferOk();
  }
  const int iaMin = std::int16_t(header[0]);
  const int iaMax = std::int16_t(header[7]);
  // Nothing read, or ranges that cannot be (blank memory): the up-downs' own ranges, and the
  // engineer is told the values do not come from the apparatus.
  if (!read || start > end || iaMin > iaMax) {
    start = kDesignMin;
    end = kDesignMax;
    step = kDesignStep;
    udIa.SetRange(kDesignMin, kDesignMax);
    udIa.SetPosition(kDesignMin);
    platform::ShowMessage(kRangesUnread, kTitle, platform::Icon::Warning);
  } else {
    udIa.SetRange(iaMin, iaMax);
    udIa.SetPosition(iaMin);
  }
  udUmin.SetRange(start, end);
  udUmin.SetPosition(start);
  udUmax.SetRange(start, end);
  udUmax.SetPosition(end);
  udUstep.SetPosition(step);
}

bool TfrmCheckShots::ParameterKeyPress(char key) {
  if (key != '\r' && key != '\n') return false;
  Focus("btnAccept");
  return true;
}

void TfrmCheckShots::btnAcceptClick() {
  for (platform::Control* c : std::initializer_list<platform::Control*>{
           &edUmin, &udUmin, &edUmax, &udUmax, &edUstep, &udUstep, &edExposure, &udExposure, &edIa,
           &udIa, &btnAccept})
    c->SetEnabled(false);
  for (platform::Control* c : std::initializer_list<platform::Control*>{
           &ShotsTable, &btnMakeShot, &btnAuto, &btnSaveProtocol, &btnOK, &btnSavePdf})
    c->SetEnabled(true);
  {
    std::lock_guard g(cs_);
    umin_ = udUmin.Position();
    umax_ = udUmax.Position();
    ustep_ = udUstep.Position();
    exposure_ = udExposure.Position() / 10;
    ia_ = udIa.Position();
    ucur_ = umin_;
  }
  Message(kAcceptMessage);
  Focus("btnMakeShot");
}

void TfrmCheckShots::btnMakeShotClick() {
  {
    std::lock_guard g(cs_);
    singleRequested_ = true;
    requested_.notify_all();
  }
  Message(kAcceptMessage);
}

void TfrmCheckShots::btnAutoClick() {
  bool on;
  {
    std::lock_guard g(cs_);
    autoOn_ = !autoOn_;
    on = autoOn_;
    requested_.notify_all();
  }
  btnAuto.SetCaption(on ? "Выключить" : "Включить");
  Message(on ? kAutoMessage : kAcceptMessage);
}

void TfrmCheckShots::btnOKClick() {
  if (OnClose) OnClose();
}

// Worker thread: switches the automatic series off in the window.
void TfrmCheckShots::EndAuto() {
  {
    std::lock_guard g(cs_);
    autoOn_ = false;
  }
  OnUi([this] { btnAuto.SetCaption("Включить"); });
}

void TfrmCheckShots::Turn(TSnapshot& shot) {
  int ucur;
  {
    std::lock_guard g(cs_);
    ucur = ucur_;
  }
  if (ucur > umax_) {
    EndAuto();
    OnUi([this] {
      btnAuto.SetEnabled(false);
      btnMakeShot.SetEnabled(false);
      Message(kSeriesDone);
    });
    return;
  }
  const bool k2 = systemType_ == "K2";
  if (!k2 && systemType_ != "K3" && systemType_ != "K4") {
    // No anode current is defined for such a system: nothing is sent.
    EndAuto();
    platform::ShowMessage(kUnknownType, kTitle, platform::Icon::Error);
    return;
  }
  const int current = k2 ? kK2Current : ia_;

  bool shotOk = false;
  bool read = true;
  bool curveRead = true;
  ProtocolRow row{};
  ShotValues values;
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    if (k2) {
      const K2CheckShot done = MakeK2CheckShot(shot, ucur, current, exposure_);
      shotOk = done.ok;
      row = done.row;
      values = done.values;
    } else {
      values.setKv = ucur;
      values.setMa = current;
      values.setMs = exposure_ * 10;
      shotOk = shot.MakeShot(ucur, current, exposure_);
      if (!shotOk && shot.LastFailure != ShotFailure::Refused &&
          shot.LastFailure != ShotFailure::InvalidParameters)
        EndShotSafely(shot);
    }
    if (shotOk && !k2) {
      // The engineer reads both values off the curve; the device lock stays held meanwhile.
      const std::vector<int> samples = shot.ReadLastShotCurves(nullptr, false);
      curveRead = shot.LastTransferOk() && !samples.empty();
      CurvePoints voltage, anodeCurrent;
      for (std::size_t k = 0; 2 * k < samples.size(); ++k) {
        voltage.emplace_back(0.1 * double(k), samples[2 * k]);
        if (2 * k + 1 < samples.size())
          anodeCurrent.emplace_back(0.1 * double(k), samples[2 * k + 1]);
      }
      const auto kv = curveRead ? DetermineValue(DefineMode::Voltage, voltage) : std::nullopt;
      const auto ma = kv ? DetermineValue(DefineMode::Current, anodeCurrent) : std::nullopt;
      read = kv && ma;
      if (read) {
        row = {shot.Kv, *kv, *ma, std::abs(ia_ - *ma)};
        values.kv = *kv;
        values.ma = *ma;
        values.ms = CurveExposureMs(samples);
      }
    }
  }
  if (!shotOk) {
    EndAuto();
    // The panel no longer says a series is running.
    OnUi([this] { Message(kAcceptMessage); });
    platform::ShowMessage(kShotFailed, kTitle, platform::Icon::Error);
    return;
  }
  if (!read) {
    // No reading, no row: the voltage stays, so "Выполнить" repeats the shot at once; the series
    // is over, so no pause follows either.
    EndAuto();
    OnUi([this, curveRead] { Message(curveRead ? kNoReading : kNoCurve); });
    return;
  }
  {
    std::lock_guard g(cs_);
    ucur_ += ustep_;
    ucur = ucur_;
  }
  OnUi([&] {
    protocolUnsaved_ = true;
    const int n = ++shotsDone_;
    rows_.push_back(row);
    values_.push_back(values);
    ShotsTable.BeginUpdate();
    ShotsTable.SetCell(0, n, Num(n));
    for (int c = 0; c < 4; ++c) ShotsTable.SetCell(c + 1, n, Num(row[std::size_t(c)]));
    const auto dev = [&](Quantity q) {
      const auto m = values.Measured(q);
      const auto d = m ? DeviationPercent(values.Set(q), *m) : std::nullopt;
      return d ? PercentText(*d) : std::string("—");
    };
    ShotsTable.SetCell(kColDevUa, n, dev(Quantity::Voltage));
    ShotsTable.SetCell(kColDevIa, n, dev(Quantity::Current));
    ShotsTable.SetCell(kColTime, n, values.ms ? Tenths(*values.ms) : std::string("—"));
    ShotsTable.SetCell(kColDevT, n, dev(Quantity::Time));
    ShotsTable.SetRowCount(n + 2);
    ShotsTable.EndUpdate();
    ShowVerdicts();
  });
  if (ucur <= umax_) Pause();
}

TfrmCheckShots::Mark TfrmCheckShots::CellMark(int col, int row) const {
  if (row < 1 || row > int(values_.size())) return Mark::None;
  Quantity q;
  switch (col) {
    case kColDevUa:
      q = Quantity::Voltage;
      break;
    case kColDevIa:
      q = Quantity::Current;
      break;
    case kColDevT:
      q = Quantity::Time;
      break;
    default:
      return Mark::None;
  }
  const ShotValues& v = values_[std::size_t(row - 1)];
  const auto m = v.Measured(q);
  if (!m) return Mark::None;
  return WithinTolerance(q, v.Set(q), *m, tolerances_) ? Mark::In : Mark::Out;
}

void TfrmCheckShots::ShowVerdicts() {
  const SeriesVerdict verdict = Verdict();
  platform::Label* lines[] = {&lbVerdictUa, &lbVerdictIa, &lbVerdictT};
  for (std::size_t i = 0; i < verdict.quantities.size() && i < 3; ++i) {
    const QuantityVerdict& q = verdict.quantities[i];
    lines[i]->SetCaption(VerdictLine(q, tolerances_));
    lines[i]->SetFontColor(q.measured == 0 ? platform::kDefaultColor
                           : q.ok          ? platform::colors::Green
                                           : platform::colors::Red);
  }
  std::string repeats;
  bool repeatsOk = true;
  for (const RepeatVerdict& r : verdict.repeats) {
    if (!repeats.empty()) repeats += '\n';
    repeats += RepeatLine(r, tolerances_);
    repeatsOk = repeatsOk && r.ok;
  }
  lbVerdictRepeat.SetCaption(repeats);
  lbVerdictRepeat.SetFontColor(repeatsOk ? platform::colors::Green : platform::colors::Red);
  lbVerdict.SetCaption(verdict.Summary());
  lbVerdict.SetFontColor(verdict.ok ? platform::colors::Green : platform::colors::Red);
}

void TfrmCheckShots::Pause() {
  const int wait = std::max(0, settings::ReadSnapshotTimeout()) * 1000;
  OnUi([&] {
    btnMakeShot.SetEnabled(false);
    WaitIndikator.SetRange(0, std::max(wait, 1));
    WaitIndikator.SetProgress(wait);
  });
  for (int left = wait; left > 0;) {
    const int nap = std::min(left, kGaugeStepMs);
    if (!proc_->Nap(nap)) break;
    left -= nap;
    OnUi([&] { WaitIndikator.SetProgress(left); });
  }
  OnUi([&] {
    btnMakeShot.SetEnabled(true);
    WaitIndikator.SetProgress(0);
  });
}

// ----------------------------------------------------------------------------- protocol

void TfrmCheckShots::btnSaveProtocolClick() {
  platform::FileDialogRequest request;
  request.save = true;
  request.initialDir = imageDir_ ? imageDir_() : std::string();
  request.filter = kFilter;
  request.defaultExt = "txt";
  const platform::FileDialogResult chosen = platform::CurrentUi().RunFileDialog(request);
  if (!chosen.accepted) return;
  SaveProtocol(chosen.path);
}

bool TfrmCheckShots::SaveProtocol(const std::filesystem::path& path) {
  const std::tm utc = Now();
  if (!platform::WriteFileAtomic(path, CheckShotsProtocolBytes(rows_, utc))) {
    platform::ShowMessage(kCannotWrite + path.string(), kTitle, platform::Icon::Error);
    return false;
  }
  protocolUnsaved_ = false;
  return true;
}

void TfrmCheckShots::FormDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  if (proc_) {
    // An exposure under way completes first; its dialogs are served while we wait.
    proc_->Stop();
    proc_->WaitFor();
    proc_.reset();
  }
  if (protocolUnsaved_ && shotsDone_ > 0 &&
      platform::ShowMessage(kUnsavedQuestion, "", platform::Icon::Question,
                            platform::Buttons::YesNo) == platform::Answer::Yes)
    btnSaveProtocolClick();
}

}  // namespace kvt
