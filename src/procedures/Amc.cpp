#include "procedures/Amc.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "app/MainHost.h"
#include "exposure/Snapshot.h"
#include "image/MemoryImage.h"
#include "link/SystemLink.h"
#include "link/SystemStatus.h"
#include "platform/LinkLock.h"
#include "platform/Ui.h"
#include "tools/VoltageMeter.h"

namespace kvt {

namespace {

namespace amctext {
constexpr const char* kMeterFound =
    "Обнаружен образцовый измеритель напряжений.\nКалибровка измерительных каналов будет "
    "выполнена по его показаниям.";
constexpr const char* kMainsStartMeter =
    "\n\nДля настройки канала измерения сетевого напряжения\n нажмите кнопку <Калибровка канала>.";
constexpr const char* kMainsStartManual =
    "\nДля настройки канала измерения сетевого напряжения Вам необходимо\nс помощью контрольного "
    "вольтметра измерять действующее напряжение сети\nмежду клеммами B и F0 клеммника KV3.\n"
    "Введите значение измерянного напряжения в окне <Контрольное>\nи нажмите кнопку <Калибровка "
    "канала>.";
constexpr const char* kCalibrating = "\n\n\nИДЕТ НАСТРОЙКА КАНАЛА...";
constexpr const char* kMainsDoneMeter =
    "\nЕсли Вы не видите необходимости в изменении полученных значений\nнажмите кнопку <OK>.";
constexpr const char* kMainsDoneManual =
    "\nЕсли значение сетевого напряжения в окне <Измерянное> не отличается более чем на 1В от "
    "показания контрольного вольтметра нажмите кнопку <OK>.";
constexpr const char* kAnodeStartMeter =
    "\n\nДля калибровки канала измерения анодного напряжения необходимо выполнить контрольный "
    "снимок.\nЕсли вы не видите необходимости в изменении кода накала контрольного снимка нажмите "
    "кнопку <Выполнить снимок>.";
constexpr const char* kAnodeStartManual =
    "\nДля калибровки канала измерения анодного напряжения необходимо выполнить контрольный "
    "снимок, зарегистрировав при этом осциллограмму напряжения на контрольном выводе "
    "трансформаторно-выпрямительного блока с помощью осциллографа с запоминанием.\nЕсли вы не "
    "видите необходимости в изменении кода накала контрольного снимка нажмите кнопку <Выполнить "
    "снимок>.";
constexpr const char* kShot = "\n\nСНИМОК";
constexpr const char* kShotDoneMeter =
    "\nЕсли Вы не видите необходимости в изменении контрольного напряжения\nнажмите кнопку "
    "<Калибровка канала>.";
constexpr const char* kShotDoneManual =
    "\nОпределите по осциллограмме контрольного прибора значение анодного\nнапряжения, введите "
    "это значение в окно <Контрольное> и нажмите кнопку <Калибровка канала>.";
constexpr const char* kAnodeDone =
    "\nЕсли измерянное значение анодного напряжения не отличается от контрольного значения более "
    "чем на 1кВ, процедуру калибровки каналов можно считать завершенной. Для закрытия окна нажмите "
    "кнопку <OK>.";
constexpr const char* kNotWritten =
    "Коэффициент не записан в систему: система не отвечает.\nКалибровка канала не выполнена.";
constexpr const char* kMeterSilent =
    "Образцовый измеритель напряжений не выполнил измерение.\nКонтрольное значение не получено.";
constexpr const char* kShotFailed = "Контрольный снимок не выполнен: ";
constexpr const char* kShotFailedTail =
    "\nИзмерянное значение анодного напряжения не получено, калибровка канала невозможна.\n"
    "Устраните причину и выполните снимок еще раз.";
constexpr const char* kCurveNotRead =
    "осциллограмма анодного напряжения не прочитана (система не ответила).";
constexpr const char* kNoOwnShot =
    "Измерянное значение анодного напряжения не получено.\nСначала выполните контрольный снимок "
    "(кнопка <Выполнить снимок>).";
constexpr const char* kMainsNotRead =
    "Система не отвечает: сетевое напряжение не измерено.\nКалибровка канала не выполнена, "
    "коэффициент KMES не изменен.";
constexpr const char* kNotWrittenInfo =
    "\n\nКОЭФФИЦИЕНТ НЕ ЗАПИСАН: система не отвечает.\nПроверьте связь с системой и повторите "
    "калибровку.";
constexpr const char* kLineLost =
    "\n\nНЕТ СВЯЗИ С СИСТЕМОЙ.\nКалибровка каналов невозможна, пока система не отвечает.";
}  // namespace amctext

// The mains readings averaged for a calibration: one reading is off by a count now and then.
constexpr int kMainsSamples = 8;

constexpr platform::Color kCurveColor = platform::colors::Lime;

// The whole number an edit shows; 0 for anything else (refused by the coefficient checks).
int EditNumber(const platform::Edit& edit) {
  const std::string& t = edit.Text();
  char* end = nullptr;
  const long v = std::strtol(t.c_str(), &end, 10);
  if (end == t.c_str()) return 0;
  while (*end == ' ') ++end;
  if (*end != '\0') return 0;
  return int(std::clamp<long>(v, -100000, 100000));
}

Coefficient Checked(const char* name, const char* what, double measured, int reference,
                    float value) {
  Coefficient c;
  const std::string tail =
      "\nКалибровка канала не выполнена, коэффициент " + std::string(name) + " не изменен.";
  if (measured <= 0) {
    c.error = std::string("Измерянное значение ") + what + " равно " +
              std::to_string(long(measured)) + "." + tail;
  } else if (reference <= 0) {
    c.error = std::string("Контрольное значение ") + what + " равно " + std::to_string(reference) +
              "." + tail;
  } else if (!(value >= 1.0f && value < 256.0f)) {
    c.error = std::string("Новое значение ") + name + " (" +
              std::to_string(long(std::trunc(std::clamp(value, -1e6f, 1e6f)))) +
              ") не помещается в диапазон от 1 до 255.\nПроверьте измерянное и контрольное "
              "значения." +
              tail;
  } else {
    c.value = int(value);
  }
  return c;
}

}  // namespace

int SupplyVolts(int supplyByte) {
  return int(supplyByte * 1.464);
}

Coefficient NewKmes(int kmes, double measured, int reference) {
  float value = 0;
  // Rounded, not cut: a coefficient one unit low leaves the reading a volt or two short.
  if (measured > 0)
    value = std::floor(float(kmes) * 0.01f * float(reference) / float(measured) * 100.0f + 0.5f);
  return Checked("KMES", "сетевого напряжения", measured, reference, value);
}

Coefficient NewKuan(int kuan, int measured, int reference) {
  float value = 0;
  if (measured > 0 && reference > 0 && kuan > 0)
    value = 100.0f / ((float(reference) / (float(kuan) * 0.01f)) / float(measured));
  return Checked("KUAN", "анодного напряжения", measured, reference, value);
}

int MeterAnodeKv(int swing) {
  const float a = float(swing) * 1.25f;
  const float b = a * 483.0f;
  const float kv = b * 0.001f;
  return int(kv + 0.5f);
}

// ----------------------------------------------------------------------------- the worker

class TfrmAMC::TMeasureRefresh : public platform::Thread {
 public:
  explicit TMeasureRefresh(TfrmAMC& window)
      : platform::Thread(platform::ThreadPriority::Normal), w_(window) {}
  ~TMeasureRefresh() override {
    Stop();
    WaitFor();
  }
  void Stop() {
    Terminate();
    std::lock_guard g(w_.m_);
    w_.wake_.notify_all();
  }
  void Raise(platform::ThreadPriority p) { SetPriority(p); }

 protected:
  void Execute() override;

 private:
  bool ReadKmes(TSystemLink& link) {
    std::uint8_t b = 0;
    link.ReadMemory(addr::kKmes, 1, &b);
    if (!link.LastTransferOk()) return false;
    kmesKnown_ = true;
    written_ = b;
    return true;
  }
  // The live mains reading; false when the apparatus did not answer.
  bool LivePass();
  // Whether the apparatus answers (once the live reading has stopped).
  bool Probe();
  void ReadAnode();
  // The readings since KMES last changed, averaged, in volts.
  void Remember(int supply, int kmes);
  double MeanVolts() const;

  TfrmAMC& w_;
  std::string type_;
  bool kmesKnown_ = false;
  int written_ = -1;     // the KMES the apparatus holds, as far as this window knows
  int readingsOf_ = -1;  // the KMES the remembered readings were taken with
  std::vector<int> recent_;

  friend class TfrmAMC;
};

void TfrmAMC::TMeasureRefresh::Execute() {
  bool read;
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    TSystemLink link;
    type_ = link.ReadSystemType();
    read = ReadKmes(link);
  }
  const int kmes = written_;
  w_.OnUi([&] {
    w_.udHeatCode.SetPosition(type_ == "K3" ? 750 : 800);
    if (read) w_.udKMES.SetPosition(kmes);
  });
  bool first = true;
  while (!Terminated()) {
    const bool answered = w_.liveMains_ ? LivePass() : Probe();
    if (answered == w_.lineLost_) {
      w_.lineLost_ = !answered;
      w_.OnUi([&] { w_.LineChanged(); });
    }
    if (w_.calibrateMains_.exchange(false)) {
      w_.CalibrateMains();
      w_.OnUi([&] { w_.SetBusy(false); });
      ++w_.mainsCalibrations_;
    }
    if (w_.readAnode_) ReadAnode();
    if (first) {
      SetPriority(platform::ThreadPriority::Idle);
      first = false;
    }
    ++w_.passes_;
    std::unique_lock lock(w_.m_);
    w_.wake_.notify_all();
    w_.wake_.wait_for(lock, std::chrono::milliseconds(kPassMs),
                      [this] { return Terminated() || w_.calibrateMains_ || w_.readAnode_; });
  }
}

void TfrmAMC::TMeasureRefresh::Remember(int supply, int kmes) {
  if (readingsOf_ != kmes) recent_.clear();
  readingsOf_ = kmes;
  recent_.push_back(supply);
  if (recent_.size() > std::size_t(kMainsSamples)) recent_.erase(recent_.begin());
}

double TfrmAMC::TMeasureRefresh::MeanVolts() const {
  if (recent_.empty()) return 0;
  double sum = 0;
  for (int v : recent_) sum += v;
  return sum / double(recent_.size()) * 1.464;
}

bool TfrmAMC::TMeasureRefresh::Probe() {
  platform::LinkLock::Guard guard(platform::TheLinkLock());
  TSystemLink link;
  return ReadSupplyByte(link) >= 0;
}

bool TfrmAMC::TMeasureRefresh::LivePass() {
  int wanted = 0;
  w_.OnUi([&] { wanted = w_.udKMES.Position(); });
  int supply = -1;
  bool wrote = false;
  bool justRead = false;
  int readWith = -1;
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    TSystemLink link;
    // KMES not known (the apparatus did not answer at the start): read it again rather than
    // write whatever the spinner shows into the apparatus.
    if (!kmesKnown_) justRead = ReadKmes(link);
    supply = ReadSupplyByte(link);
    readWith = written_;
    // The spinner's value reaches the apparatus in the next pass; an unchanged one is not
    // written again.
    if (kmesKnown_ && !justRead && wanted != written_) {
      const std::uint8_t b = std::uint8_t(wanted);
      link.WriteMemory(addr::kKmes, 1, &b);
      if (link.LastTransferOk()) {
        written_ = wanted;
        wrote = true;
      }
    }
  }
  const int kmes = written_;
  // The shown reading is the mean of the last few with the present KMES, rounded: a single
  // reading jumps by a count (1.5 V) and a cut one shows a volt low.
  if (supply >= 0) Remember(supply, readWith);
  const long shown = std::lround(MeanVolts());
  w_.OnUi([&] {
    if (supply >= 0) w_.edUdMeasure.SetText(std::to_string(shown));
    if (justRead) w_.udKMES.SetPosition(kmes);
    if (wrote || justRead) w_.StoreInImage(addr::kKmes, kmes);
  });
  return supply >= 0;
}

void TfrmAMC::TMeasureRefresh::ReadAnode() {
  const int changes = w_.anodeChanges_;
  const int writes = w_.kuanWrites_;
  std::uint8_t kuan = 0;
  bool kuanRead = false;
  ShotMeasurement m;
  bool measured = false;
  // Only the reading of this window's own control exposure is shown, never an earlier shot's.
  const bool ownShot = w_.ownShot_;
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    TSystemLink link;
    link.ReadMemory(addr::kKuan, 1, &kuan);
    kuanRead = link.LastTransferOk();
    if (type_ == "K2") measured = ReadShotMeasurement(link, m);
  }
  w_.readAnode_ = false;
  w_.OnUi([&] {
    if (kuanRead && w_.kuanWrites_ == writes) w_.udKUAN.SetPosition(kuan);
    if (ownShot && measured && m.kuan != 0 && w_.anodeChanges_ == changes && w_.ownShot_)
      w_.edUaMeasure.SetText(std::to_string(int(std::abs(m.u) / (m.kuan * 0.01) + 0.5)));
  });
}

// Worker thread.
void TfrmAMC::CalibrateMains() {
  int kmes = 0;
  OnUi([&] { kmes = udKMES.Position(); });
  int reference = 0;
  if (meterPresent_) {
    OnUi([&] { Message(amctext::kCalibrating, true); });
    bool got = false;
    refresh_->Raise(platform::ThreadPriority::TimeCritical);
    {
      platform::LinkLock::Guard guard(platform::TheLinkLock());
      TVoltageMeter meter;
      if (meter.Present) {
        meter.Delay(200);
        // A recording the module did not acknowledge setting up is no measurement.
        bool armed = meter.Configure(2, 9, 5, 8);
        meter.Delay(200);
        armed = meter.ArmTrigger(2, 130) && armed;
        meter.Delay(100);
        if (armed && meter.ReadSamples(2, 450) && meter.Samples.size() >= 2) {
          reference = int(meter.EffectiveValue());
          got = true;
        }
      }
    }
    refresh_->Raise(platform::ThreadPriority::Idle);
    OnUi([&] {
      if (got) udUdControl.SetPosition(reference);
    });
    if (!got) {
      OnUi([&] { Message(amctext::kMainsStartMeter, true); });
      platform::ShowMessage(amctext::kMeterSilent, kTitle, platform::Icon::Error);
      return;
    }
  } else {
    OnUi([&] { reference = udUdControl.Position(); });
  }
  // The measured value is the mean of fresh readings with the KMES the formula starts from, the
  // same readings the window shows, taken in full resolution.
  int sum = 0;
  int count = 0;
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    TSystemLink link;
    for (int i = 0; i < kMainsSamples; ++i) {
      const int supply = ReadSupplyByte(link);
      if (supply < 0) break;
      sum += supply;
      ++count;
    }
  }
  const char* const restart =
      meterPresent_ ? amctext::kMainsStartMeter : amctext::kMainsStartManual;
  if (count < kMainsSamples) {
    OnUi([&] { Message(restart, true); });
    platform::ShowMessage(amctext::kMainsNotRead, kTitle, platform::Icon::Error);
    return;
  }
  const double measured = double(sum) / count * 1.464;
  const Coefficient c = NewKmes(kmes, measured, reference);
  if (!c.Ok()) {
    OnUi([&] { Message(restart, true); });
    platform::ShowMessage(c.error, kTitle, platform::Icon::Error);
    return;
  }
  bool ok;
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    ok = WriteCoefficient(addr::kKmes, c.value);
    if (ok) {
      refresh_->written_ = c.value;
      refresh_->kmesKnown_ = true;
    }
  }
  if (!ok) {
    OnUi([&] { Message(amctext::kNotWrittenInfo, true); });
    platform::ShowMessage(amctext::kNotWritten, kTitle, platform::Icon::Error);
    return;
  }
  OnUi([&] {
    udKMES.SetPosition(c.value);
    StoreInImage(addr::kKmes, c.value);
    Message(meterPresent_ ? amctext::kMainsDoneMeter : amctext::kMainsDoneManual, true);
  });
}

// ----------------------------------------------------------------------------- the window

TfrmAMC::TfrmAMC(MainHost* host, std::function<TMemoryImage*()> image)
    : ToolFormModel("frmAMC", kCaption, host, ToolWindow::MeasureChannels),
      image_(std::move(image)) {
  gbMains.SetCaption(" Настройка канала измерения сетевого напряжения ");
  gbAnode.SetCaption(" Настройка канала измерения анодного напряжения ");
  for (platform::Label* l : {&lbUdMeasure, &lbUaMeasure}) l->SetCaption(" Измерянное ");
  for (platform::Label* l : {&lbUdControl, &lbUaControl}) l->SetCaption("  Контрольное  ");
  lbKMES.SetCaption("      KMES      ");
  lbKUAN.SetCaption("      KUAN      ");
  for (platform::Button* b : {&btnUdCalibrate, &btnUaCalibrate})
    b->SetCaption("Калибровака канала");
  for (platform::Button* b : {&btnUdCalibrateOK, &btnUaCalibrateOK}) b->SetCaption("OK");
  btnMakeSnapshot.SetCaption("Выполнить снимок");
  gbShotParameters.SetCaption(" Параметры снимка ");
  lbHeatCode.SetCaption("Код накала = ");
  lbDuration.SetCaption("Длительность = 0.05 с.");
  gbChart.SetCaption(" Анодное напряжение ");
  edUdMeasure.SetReadOnly(true);
  edUaMeasure.SetReadOnly(true);
  lbCurrentInfo.SetFontColor(platform::colors::Lime);
  lbCurrentInfo.SetBackgroundColor(platform::colors::Black);
  lbCurrentInfo.SetWordWrap(true);

  udUdControl.SetAssociate(&edUdControl);
  udUdControl.SetRange(0, 300);
  udKMES.SetAssociate(&edKMES);
  udKMES.SetRange(0, 255);
  udHeatCode.SetAssociate(&edHeatCode);
  udHeatCode.SetRange(0, 1023);
  udUaControl.SetAssociate(&edUaControl);
  udUaControl.SetRange(0, 200);
  udKUAN.SetAssociate(&edKUAN);
  udKUAN.SetRange(0, 255);

  Chart1.AddSeries("Series1", platform::SeriesKind::Line, kCurveColor);
  platform::ChartAxis left;
  left.title = "Напряжение (кВ)";
  Chart1.SetLeftAxis(left);
  platform::ChartAxis bottom;
  bottom.title = "Время (мс)";
  Chart1.SetBottomAxis(bottom);

  btnUdCalibrate.OnClick = [this] { btnUdCalibrateClick(); };
  btnUdCalibrateOK.OnClick = [this] { btnUdCalibrateOKClick(); };
  btnMakeSnapshot.OnClick = [this] { btnMakeSnapshotClick(); };
  btnUaCalibrate.OnClick = [this] { btnUaCalibrateClick(); };
  btnUaCalibrateOK.OnClick = [this] { btnUaCalibrateOKClick(); };
}

TfrmAMC::~TfrmAMC() {
  FormDestroy();
}

void TfrmAMC::FormCreate() {
  refresh_ = std::make_unique<TMeasureRefresh>(*this);
  refresh_->Start();
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    TVoltageMeter meter;
    meterPresent_ = meter.Present;
  }
  if (meterPresent_) {
    platform::ShowMessage(amctext::kMeterFound, "", platform::Icon::Information);
    Message(amctext::kMainsStartMeter);
  } else {
    Message(amctext::kMainsStartManual);
  }
}

void TfrmAMC::FormDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  if (refresh_) {
    refresh_->Stop();
    refresh_->WaitFor();
    refresh_.reset();
  }
}

void TfrmAMC::Message(const std::string& text, bool repaint) {
  lbCurrentInfo.SetCaption(text);
  if (repaint && OnRepaint) OnRepaint();
}

void TfrmAMC::OnUi(const std::function<void()>& fn) {
  platform::CurrentUi().Synchronize(fn);
}

void TfrmAMC::Wake() {
  std::lock_guard g(m_);
  wake_.notify_all();
}

bool TfrmAMC::edUdControlKeyPress(char key) {
  if (key != '\r' && key != '\n') return false;
  // Enter in the field does what the button next to it does.
  if (btnUdCalibrate.Enabled()) btnUdCalibrateClick();
  return true;
}

bool TfrmAMC::edHeatCodeKeyPress(char key) {
  if (key != '\r' && key != '\n') return false;
  Focus("btnMakeSnapshot");
  return true;
}

bool TfrmAMC::edUaControlKeyPress(char key) {
  if (key != '\r' && key != '\n') return false;
  if (btnUaCalibrate.Enabled()) btnUaCalibrateClick();
  return true;
}

void TfrmAMC::btnUdCalibrateClick() {
  if (!btnUdCalibrate.Enabled()) return;
  SetBusy(true);
  calibrateMains_ = true;
  Wake();
  Focus("btnUdCalibrateOK");
}

void TfrmAMC::btnUdCalibrateOKClick() {
  Message(meterPresent_ ? amctext::kAnodeStartMeter : amctext::kAnodeStartManual);
  Focus("btnMakeSnapshot");
}

bool TfrmAMC::WriteCoefficient(std::uint32_t address, int value) {
  TSystemLink link;
  const std::uint8_t b = std::uint8_t(value);
  link.WriteMemory(address, 1, &b);
  return link.LastTransferOk();
}

void TfrmAMC::StoreInImage(std::uint32_t address, int value) {
  TMemoryImage* image = image_ ? image_() : nullptr;
  if (!image) return;
  // At the address's own offset, as every window stores into the image (the image goes back to
  // memory from address 0); one too short for it says so rather than drop the value.
  const std::uint8_t b = std::uint8_t(value);
  if (image->Store(address, 1, &b)) SystemStatus().ImageModified = true;
}

void TfrmAMC::PlotVoltage(const std::vector<int>& samples) {
  Chart1.BeginUpdate();
  Chart1.Series(0).Clear();
  for (std::size_t i = 0; i < samples.size(); i += 2)
    Chart1.Series(0).AddXY(double(i) * 0.05, samples[i], kCurveColor);
  Chart1.EndUpdate();
}

CurvePoints TfrmAMC::VoltageCurve(const std::vector<int>& samples) {
  CurvePoints curve;
  for (std::size_t i = 0; i < samples.size(); i += 2)
    curve.emplace_back(double(i) * 0.05, samples[i]);
  return curve;
}

namespace {

// After a control exposure that did not end as awaited: whatever the apparatus is doing with it
// is ended (cancel or stop, then the panel's end frame), at once and before anything is shown.
void EndShotSafely(TSnapshot& shot) {
  const std::uint8_t s = shot.PollState();
  const bool answered = shot.LastCount() > 0;
  bool sent = false;
  if (!answered || (s > 8 && s <= 24)) {
    shot.CancelPrepare();
    sent = true;
  }
  if (!answered || (s > 24 && s < 73)) {
    shot.StopShot();
    sent = true;
  }
  if (sent) shot.SendFrame(frames::Simple(0x54));
}

}  // namespace

void TfrmAMC::btnMakeSnapshotClick() {
  if (!btnMakeSnapshot.Enabled()) return;
  Message(amctext::kShot, true);
  SetBusy(true);
  // From now on the mains reading stops in this window.
  liveMains_ = false;
  ++anodeChanges_;
  // Until this exposure is measured the window has no anode reading of its own.
  ownShot_ = false;
  edUaMeasure.SetText("");
  const bool meter = meterPresent_;
  std::string type;
  bool meterRead = !meter;
  bool meterArmed = false;
  bool shotOk = false;
  std::string failure;
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    if (meter) {
      // The module records the exposure on channel 1 once the voltage crosses the level.
      TVoltageMeter m;
      m.Delay(200);
      meterArmed = m.Configure(1, 5, 5, 8);
      m.Delay(200);
      meterArmed = m.ArmTrigger(1, 133) && meterArmed;
      m.Delay(200);
    }
    {
      TSnapshot shot(true);
      type = shot.ReadSystemType();
      const bool k3 = type == "K3";
      bool accepted = true;
      if (k3) {
        const int upper = shot.ReadTableEnd();
        accepted = shot.AcceptSnapshotParameters(std::min(upper, 100), 50, 5, false);
      }
      shotOk = accepted && shot.PrepareHeatShot(udHeatCode.Position(), 5) && shot.Expose();
      if (shotOk) {
        const std::vector<int> plotted = shot.ReadLastShotCurves(nullptr, true);
        const bool plottedOk = shot.LastTransferOk();
        PlotVoltage(plottedOk ? plotted : std::vector<int>{});
        if (k3) {
          // The dialog gets this shot's curve or nothing at all.
          const std::vector<int> curve = shot.ReadLastShotCurves(nullptr, false);
          if (shot.LastTransferOk() && !curve.empty()) {
            dialogCurve_ = VoltageCurve(curve);
            if (auto v = DetermineValue(DefineMode::Voltage, dialogCurve_)) {
              edUaMeasure.SetText(std::to_string(*v));
              ownShot_ = true;
            }
          } else {
            dialogCurve_.clear();
            shotOk = false;
            failure = amctext::kCurveNotRead;
          }
        } else {
          edUaMeasure.SetText(std::to_string(shot.Uv));
          ownShot_ = true;
        }
      } else {
        EndShotSafely(shot);
        failure = ShotFailureText(shot.LastFailure);
        if (!accepted) failure = ShotFailureText(ShotFailure::Refused);
        if (failure.empty()) failure = ShotFailureText(ShotFailure::NoAnswer);
        // Neither the previous shot's curve nor its reading stands for this one.
        dialogCurve_.clear();
        Chart1.Series(0).Clear();
      }
    }
    if (meter && shotOk && meterArmed) {
      TVoltageMeter m;
      m.Delay(100);
      if (m.ReadSamples(1, 250)) {
        meterRead = true;
        if (type == "K3") {
          CurvePoints curve;
          for (std::size_t i = 0; i < m.Samples.size(); ++i)
            curve.emplace_back(double(i) * 0.025, (int(m.Samples[i]) - 128) * 2.5 * 0.483 + 0.55);
          if (auto v = DetermineValue(DefineMode::Voltage, curve, platform::colors::Red))
            udUaControl.SetPosition(*v);
        } else {
          udUaControl.SetPosition(MeterAnodeKv(m.Swing(2)));
        }
      }
    }
  }
  SetBusy(false);
  if (!shotOk) {
    std::string text = amctext::kShotFailed;
    text += failure;
    text += amctext::kShotFailedTail;
    Message(std::string("\n\nСНИМОК НЕ ВЫПОЛНЕН.") + amctext::kShotFailedTail);
    platform::ShowMessage(text, kTitle, platform::Icon::Error);
    Focus("btnMakeSnapshot");
    return;
  }
  if (!meterRead) platform::ShowMessage(amctext::kMeterSilent, kTitle, platform::Icon::Error);
  Focus("edUaControl");
  Message(meter ? amctext::kShotDoneMeter : amctext::kShotDoneManual);
}

void TfrmAMC::btnUaCalibrateClick() {
  if (!btnUaCalibrate.Enabled()) return;
  const char* const again = meterPresent_ ? amctext::kShotDoneMeter : amctext::kShotDoneManual;
  if (!ownShot_ || edUaMeasure.Text().empty()) {
    platform::ShowMessage(amctext::kNoOwnShot, kTitle, platform::Icon::Error);
    return;
  }
  Message(amctext::kCalibrating, true);
  const Coefficient c = NewKuan(udKUAN.Position(), EditNumber(edUaMeasure), udUaControl.Position());
  if (!c.Ok()) {
    Message(again);
    platform::ShowMessage(c.error, kTitle, platform::Icon::Error);
    return;
  }
  bool written;
  ++anodeChanges_;
  SetBusy(true);
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    TSystemLink link;
    const std::string type = link.ReadSystemType();
    written = WriteCoefficient(addr::kKuan, c.value);
    if (written) {
      ++kuanWrites_;
      StoreInImage(addr::kKuan, c.value);
      udKUAN.SetPosition(c.value);
      // The curve again, now scaled with the new coefficient.
      const std::vector<int> plotted = link.ReadLastShotCurves(nullptr, true);
      PlotVoltage(link.LastTransferOk() ? plotted : std::vector<int>{});
      if (type == "K3") {
        // The dialog measures both extremes: it gets the signed curve, and only one read now.
        const std::vector<int> curve = link.ReadLastShotCurves(nullptr, false);
        std::optional<int> v;
        if (link.LastTransferOk() && !curve.empty()) {
          dialogCurve_ = VoltageCurve(curve);
          v = DetermineValue(DefineMode::Voltage, dialogCurve_);
        } else {
          dialogCurve_.clear();
        }
        // A reading with the old coefficient does not stand for the new one.
        edUaMeasure.SetText(v ? std::to_string(*v) : std::string());
      }
    }
  }
  SetBusy(false);
  if (!written) {
    Message(amctext::kNotWrittenInfo);
    platform::ShowMessage(amctext::kNotWritten, kTitle, platform::Icon::Error);
    return;
  }
  readAnode_ = true;
  Wake();
  Message(amctext::kAnodeDone);
  Focus("btnUaCalibrateOK");
}

void TfrmAMC::SetBusy(bool busy) {
  busy_ = busy;
  UpdateButtons();
}

void TfrmAMC::UpdateButtons() {
  const bool on = !busy_ && !lineLost_;
  for (platform::Button* b : {&btnUdCalibrate, &btnMakeSnapshot, &btnUaCalibrate})
    b->SetEnabled(on);
}

void TfrmAMC::LineChanged() {
  if (lineLost_) {
    messageBeforeLoss_ = lbCurrentInfo.Caption();
    Message(amctext::kLineLost);
  } else if (!messageBeforeLoss_.empty()) {
    Message(messageBeforeLoss_);
    messageBeforeLoss_.clear();
  }
  UpdateButtons();
}

void TfrmAMC::btnUaCalibrateOKClick() {
  if (OnClose) OnClose();
}

}  // namespace kvt
