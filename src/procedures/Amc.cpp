#include "procedures/Amc.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "app/MainHost.h"
#include "image/MemoryImage.h"
#include "link/SystemLink.h"
#include "link/SystemStatus.h"
#include "platform/LinkLock.h"
#include "platform/Ui.h"
#include "exposure/Snapshot.h"
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
}  // namespace amctext

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

Coefficient Checked(const char* name, const char* what, int measured, int reference, float value) {
  Coefficient c;
  const std::string tail =
      "\nКалибровка канала не выполнена, коэффициент " + std::string(name) + " не изменен.";
  if (measured <= 0) {
    c.error = std::string("Измерянное значение ") + what + " равно " + std::to_string(measured) +
              "." + tail;
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

Coefficient NewKmes(int kmes, int measured, int reference) {
  float value = 0;
  if (measured > 0) value = float(kmes) * 0.01f * float(reference) / float(measured) * 100.0f;
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
  void LivePass();
  void ReadAnode();

  TfrmAMC& w_;
  std::string type_;
  bool kmesKnown_ = false;
  int written_ = -1;  // the KMES the apparatus holds, as far as this window knows

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
    if (w_.liveMains_) LivePass();
    if (w_.calibrateMains_.exchange(false)) {
      w_.CalibrateMains();
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

void TfrmAMC::TMeasureRefresh::LivePass() {
  int wanted = 0;
  w_.OnUi([&] { wanted = w_.udKMES.Position(); });
  int supply = -1;
  bool wrote = false;
  bool justRead = false;
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    TSystemLink link;
    // KMES not known (the apparatus did not answer at the start): read it again rather than
    // write whatever the spinner shows into the apparatus.
    if (!kmesKnown_) justRead = ReadKmes(link);
    supply = ReadSupplyByte(link);
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
  w_.OnUi([&] {
    if (supply >= 0) w_.edUdMeasure.SetText(std::to_string(SupplyVolts(supply)));
    if (justRead) w_.udKMES.SetPosition(kmes);
    if (wrote || justRead) w_.StoreInImage(addr::kKmes, kmes);
  });
}

void TfrmAMC::TMeasureRefresh::ReadAnode() {
  const int changes = w_.anodeChanges_;
  const int writes = w_.kuanWrites_;
  std::uint8_t kuan = 0;
  bool kuanRead = false;
  ShotMeasurement m;
  bool measured = false;
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
    if (measured && m.kuan != 0 && w_.anodeChanges_ == changes)
      w_.edUaMeasure.SetText(std::to_string(int(std::abs(m.u) / (m.kuan * 0.01) + 0.5)));
  });
}

// Worker thread.
void TfrmAMC::CalibrateMains() {
  int measured = 0;
  int kmes = 0;
  OnUi([&] {
    measured = EditNumber(edUdMeasure);
    kmes = udKMES.Position();
  });
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
        meter.Configure(2, 9, 5, 8);
        meter.Delay(200);
        meter.ArmTrigger(2, 130);
        meter.Delay(100);
        if (meter.ReadSamples(2, 450)) {
          reference = int(meter.EffectiveValue());
          got = true;
        }
      }
    }
    refresh_->Raise(platform::ThreadPriority::Idle);
    OnUi([&] {
      if (got) udUdControl.SetPosition(reference);
      Message(amctext::kMainsDoneMeter, true);
    });
    if (!got) {
      platform::ShowMessage(amctext::kMeterSilent, kTitle, platform::Icon::Error);
      return;
    }
  } else {
    OnUi([&] {
      Message(amctext::kMainsDoneManual);
      reference = udUdControl.Position();
    });
  }
  const Coefficient c = NewKmes(kmes, measured, reference);
  if (!c.Ok()) {
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
    platform::ShowMessage(amctext::kNotWritten, kTitle, platform::Icon::Error);
    return;
  }
  OnUi([&] {
    udKMES.SetPosition(c.value);
    StoreInImage(addr::kKmes, c.value);
    SystemStatus().ImageModified = true;
  });
}

// ----------------------------------------------------------------------------- the window

TfrmAMC::TfrmAMC(MainHost* host, std::function<TMemoryImage*()> image)
    : openMark_(host, ToolWindow::MeasureChannels), image_(std::move(image)) {
  Form.SetCaption(kCaption);
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
  bottom.title = "Bремя";
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

void TfrmAMC::Focus(const std::string& control) {
  focused_ = control;
  if (OnFocus) OnFocus(control);
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
  Focus("btnUdCalibrate");
  return true;
}

bool TfrmAMC::edHeatCodeKeyPress(char key) {
  if (key != '\r' && key != '\n') return false;
  Focus("btnMakeSnapshot");
  return true;
}

bool TfrmAMC::edUaControlKeyPress(char key) {
  if (key != '\r' && key != '\n') return false;
  Focus("btnUaCalibrate");
  return true;
}

void TfrmAMC::btnUdCalibrateClick() {
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
  // The image may begin at a later bank; a coefficient outside it has no place there.
  const std::size_t first = std::size_t(image->FirstBank & 0xFF) * kBankSize;
  if (address < first || address - first >= std::size_t(image->Length())) return;
  const std::uint8_t b = std::uint8_t(value);
  image->Store(address - first, 1, &b);
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

void TfrmAMC::btnMakeSnapshotClick() {
  Message(amctext::kShot, true);
  // From now on the mains reading stops in this window.
  liveMains_ = false;
  ++anodeChanges_;
  const bool meter = meterPresent_;
  std::string type;
  bool meterRead = !meter;
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    if (meter) {
      // The module records the exposure on channel 1 once the voltage crosses the level.
      TVoltageMeter m;
      m.Delay(200);
      m.Configure(1, 5, 5, 8);
      m.Delay(200);
      m.ArmTrigger(1, 133);
      m.Delay(200);
    }
    {
      TSnapshot shot(true);
      type = shot.ReadSystemType();
      const bool k3 = type == "K3";
      if (k3) {
        const int upper = shot.ReadTableEnd();
        shot.AcceptSnapshotParameters(std::min(upper, 100), 50, 5, true);
      }
      const bool ok = shot.PrepareHeatShot(udHeatCode.Position(), 5) && shot.Expose();
      if (ok) {
        PlotVoltage(shot.ReadLastShotCurves(nullptr, true));
        if (k3) dialogCurve_ = VoltageCurve(shot.ReadLastShotCurves(nullptr, false));
      }
      if (k3) {
        if (auto v = DetermineValue(DefineMode::Voltage, dialogCurve_))
          edUaMeasure.SetText(std::to_string(*v));
      } else {
        edUaMeasure.SetText(std::to_string(shot.Uv));
      }
    }
    if (meter) {
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
  if (!meterRead) platform::ShowMessage(amctext::kMeterSilent, kTitle, platform::Icon::Error);
  Focus("edUaControl");
  Message(meter ? amctext::kShotDoneMeter : amctext::kShotDoneManual);
}

void TfrmAMC::btnUaCalibrateClick() {
  Message(amctext::kCalibrating, true);
  const Coefficient c = NewKuan(udKUAN.Position(), EditNumber(edUaMeasure), udUaControl.Position());
  if (!c.Ok()) {
    platform::ShowMessage(c.error, kTitle, platform::Icon::Error);
    Message(meterPresent_ ? amctext::kShotDoneMeter : amctext::kShotDoneManual);
    return;
  }
  bool written;
  ++anodeChanges_;
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    TSystemLink link;
    const std::string type = link.ReadSystemType();
    written = WriteCoefficient(addr::kKuan, c.value);
    if (written) {
      ++kuanWrites_;
      StoreInImage(addr::kKuan, c.value);
      SystemStatus().ImageModified = true;
      udKUAN.SetPosition(c.value);
      // The curve again, now scaled with the new coefficient.
      PlotVoltage(link.ReadLastShotCurves(nullptr, true));
      if (type == "K3") {
        // The dialog measures both extremes: it gets the signed curve.
        dialogCurve_ = VoltageCurve(link.ReadLastShotCurves(nullptr, false));
        if (auto v = DetermineValue(DefineMode::Voltage, dialogCurve_))
          edUaMeasure.SetText(std::to_string(*v));
      }
    }
  }
  if (!written) {
    platform::ShowMessage(amctext::kNotWritten, kTitle, platform::Icon::Error);
    return;
  }
  readAnode_ = true;
  Wake();
  Message(amctext::kAnodeDone);
  Focus("btnUaCalibrateOK");
}

void TfrmAMC::btnUaCalibrateOKClick() {
  if (OnClose) OnClose();
}

}  // namespace kvt
