#include "procedures/AmcK4.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "app/MainHost.h"
#include "image/MemoryImage.h"
#include "link/SystemLink.h"
#include "link/SystemStatus.h"
#include "platform/LinkLock.h"
#include "platform/Ui.h"

namespace kvt {

namespace {

namespace k4text {
constexpr const char* kLowerPoint =
    "\nУстановите напряжение нижней точки калибровки с помощью автотрансформатора.\nВведите "
    "значение этого напряжения в окно Umin. После чего нажмите кнопку <Калибровка 1>.";
constexpr const char* kUpperPoint =
    "\nУстановите напряжение верхней точки калибровки с помощью автотрансформатора.\nВведите "
    "значение этого напряжения в окно Umax. После чего нажмите кнопку <Калибровка 2>.";
constexpr const char* kCheck =
    "\nВизуально проконтролируйте полученные значения коэффициентов и запишите их в память "
    "нажав кнопуку <Принять значения>";
constexpr const char* kWritten =
    "\nЗначения записаны в память системы.\nПроконтролируйте соответсвие измерянных напряжений "
    "на фазах с показаниями эталонного прибора.";
constexpr const char* kAlsoInImage =
    "\nКоэффициенты сохранены также в текущем образе памяти (образ изменен), поэтому следующая "
    "трансляция образа их не отменит.";
constexpr const char* kNotInImage =
    "\nОбраз памяти не загружен: трансляция ранее сохраненного образа вернет прежние "
    "коэффициенты.";
constexpr const char* kCodesNotRead =
    "Система не отвечает: коды АЦП не прочитаны.\nПроверьте связь с системой и повторите "
    "калибровку.";
constexpr const char* kNothingToWrite =
    "Коэффициенты не рассчитаны.\nВыполните калибровку в двух точках (кнопки <Калибровка 1> и "
    "<Калибровка 2>).";
constexpr const char* kNotWritten =
    "Система не отвечает: значения коэффициентов не записаны в память системы.\nПроверьте связь "
    "с системой и нажмите кнопку <Принять значения> еще раз.";
}  // namespace k4text

bool Answered(const TSystemLink& link, std::uint32_t length) {
  return link.LastCount() >= length && link.RxBuffer()[1] == kReplyAccepted;
}

// Without a timer tick the labels show this: the apparatus did not answer.
constexpr const char* kNoReading = "--";

}  // namespace

std::optional<int> IntegerText(const std::string& text) {
  std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return std::nullopt;
  std::size_t last = text.find_last_not_of(' ');
  const char* b = text.data() + first;
  const char* e = text.data() + last + 1;
  if (*b == '+') ++b;
  int value = 0;
  const auto [end, ec] = std::from_chars(b, e, value);
  if (ec != std::errc() || end != e || b == e) return std::nullopt;
  return value;
}

std::optional<PhaseCoefficientsK4> ComputePhaseCoefficients(int umin, int umax, int cmin,
                                                            int cmax) {
  if (cmax == cmin) return std::nullopt;
  const float a = float(umax - umin) / float(cmax - cmin) * 128.0f;
  if (!(a >= 1.0f && a < 256.0f)) return std::nullopt;
  PhaseCoefficientsK4 c;
  c.a = int(a);
  // The offset that makes the written gain pass through the lower point.
  const double b = double(cmin) * c.a - double(umin) * 128.0;
  if (b < std::numeric_limits<std::int16_t>::min() || b > std::numeric_limits<std::int16_t>::max())
    return std::nullopt;
  c.b = int(b);
  return c;
}

TfrmAMC_K4::TfrmAMC_K4(MainHost* host, std::function<TMemoryImage*()> image)
    : ToolFormModel("frmAMC_K4", kCaption, host, ToolWindow::MeasureChannelsK4),
      host_(host),
      image_(std::move(image)) {
  gbControl.SetCaption(" Контрольное напряжение ");
  lbUmin.SetCaption("Umin");
  lbUmax.SetCaption("Umax");
  btnCal1.SetCaption("Калибровка 1");
  btnCal2.SetCaption("Калибровка 2");
  btnAccept.SetCaption("Принять значения");
  gbChannelA.SetCaption(" Канал A ");
  gbChannelB.SetCaption(" Канал B ");
  gbChannelC.SetCaption(" Канал С ");
  lbRowCodes.SetCaption("Код АЦП");
  lbRowCoefficients.SetCaption("Коэффициенты");
  lbColumnA.SetCaption("A");
  lbColumnB.SetCaption("В");
  for (int p = 0; p < 3; ++p)
    for (platform::Edit* e : {&CodeMin(p), &CodeMax(p), &CoefA(p), &CoefB(p)}) e->SetReadOnly(true);
  gbMeasured.SetCaption(" Измерянное напряжение ");
  lbNameUA.SetCaption("UA");
  lbNameUB.SetCaption("UB");
  lbNameUC.SetCaption("UC");
  for (int p = 0; p < 3; ++p) Measured(p).SetCaption("");
  lbCurrentInfo.SetFontColor(platform::colors::Lime);
  lbCurrentInfo.SetBackgroundColor(platform::colors::Black);
  lbCurrentInfo.SetWordWrap(true);
  MUTimer.SetInterval(1000);
  MUTimer.SetEnabled(true);

  MUTimer.OnTimer = [this] { MUTimerTimer(); };
  btnCal1.OnClick = [this] { btnCal1Click(); };
  btnCal2.OnClick = [this] { btnCal2Click(); };
  btnAccept.OnClick = [this] { btnAcceptClick(); };
}

TfrmAMC_K4::~TfrmAMC_K4() {
  FormDestroy();
}

void TfrmAMC_K4::FormShow() {
  Message(k4text::kLowerPoint);
  Focus("edUmin");
}

void TfrmAMC_K4::MUTimerTimer() {
  std::array<int, 3> volts{};
  bool got;
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    TSystemLink link;
    link.SendFrame(frames::Query(0x03, 0x40));
    got = Answered(link, 5);
    for (int p = 0; p < 3 && got; ++p) volts[std::size_t(p)] = link.RxBuffer()[2 + p];
  }
  for (int p = 0; p < 3; ++p)
    Measured(p).SetCaption(got ? std::to_string(volts[std::size_t(p)]) : kNoReading);
}

bool TfrmAMC_K4::edUminKeyPress(char key) {
  if (key != '\r' && key != '\n') return false;
  Focus("btnCal1");
  return true;
}

bool TfrmAMC_K4::edUmaxKeyPress(char key) {
  if (key != '\r' && key != '\n') return false;
  Focus("btnCal2");
  return true;
}

bool TfrmAMC_K4::ReadCodes(platform::Edit* const (&into)[3]) {
  std::array<int, 3> codes{};
  bool got = true;
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    TSystemLink link;
    for (int p = 0; p < 3 && got; ++p) {
      link.SendFrame(frames::ReadChannel(kChannels[std::size_t(p)]));
      got = Answered(link, 3);
      codes[std::size_t(p)] = link.RxBuffer()[2];
    }
  }
  for (int p = 0; p < 3; ++p) into[p]->SetText(got ? std::to_string(codes[std::size_t(p)]) : "");
  if (!got) platform::ShowMessage(k4text::kCodesNotRead, kTitle, platform::Icon::Error);
  return got;
}

bool TfrmAMC_K4::TypedVolts(platform::Edit& edit, const char* name, const std::string& control) {
  const auto v = IntegerText(edit.Text());
  if (v && *v >= kMinVolts && *v <= kMaxVolts) return true;
  std::string text = "Значение ";
  text += name;
  if (edit.Text().empty()) {
    text += " не введено.";
  } else {
    text += " (";
    text += edit.Text();
    text += ") не является напряжением.";
  }
  text += "\nВведите напряжение в вольтах (целое число от ";
  text += std::to_string(kMinVolts);
  text += " до ";
  text += std::to_string(kMaxVolts);
  text += "), измеренное эталонным прибором.";
  platform::ShowMessage(text, kTitle, platform::Icon::Error);
  Focus(control);
  return false;
}

void TfrmAMC_K4::btnCal1Click() {
  // A typed value is checked where it is typed: codes without their voltage are not recorded.
  if (!TypedVolts(edUmin, "Umin", "edUmin")) return;
  if (!ReadCodes(codeMin_)) return;
  Message(k4text::kUpperPoint);
  Focus("edUmax");
}

void TfrmAMC_K4::btnCal2Click() {
  if (!TypedVolts(edUmax, "Umax", "edUmax")) return;
  if (IntegerText(CodeMin(0).Text()) == std::nullopt) {
    platform::ShowMessage(
        "Нижняя точка не измерена.\nСначала введите Umin и нажмите кнопку <Калибровка 1>.", kTitle,
        platform::Icon::Error);
    Focus("edUmin");
    return;
  }
  if (!ReadCodes(codeMax_)) return;
  const auto umin = IntegerText(edUmin.Text());
  const auto umax = IntegerText(edUmax.Text());
  bool ok = umin && umax;
  for (int p = 0; p < 3 && ok; ++p) {
    const auto cmin = IntegerText(CodeMin(p).Text());
    const auto cmax = IntegerText(CodeMax(p).Text());
    std::optional<PhaseCoefficientsK4> c;
    if (cmin && cmax) c = ComputePhaseCoefficients(*umin, *umax, *cmin, *cmax);
    if (!c) {
      ok = false;
      break;
    }
    CoefA(p).SetText(std::to_string(c->a));
    CoefB(p).SetText(std::to_string(c->b));
  }
  if (!ok) {
    platform::ShowMessage(kRecalibrate, "", platform::Icon::Error);
    Reset();
  } else {
    Focus("btnAccept");
  }
  Message(k4text::kCheck);
}

void TfrmAMC_K4::Reset() {
  edUmin.SetText("");
  edUmax.SetText("");
  for (int p = 0; p < 3; ++p)
    for (platform::Edit* e : {&CodeMin(p), &CodeMax(p), &CoefA(p), &CoefB(p)}) e->SetText("");
  for (platform::Button* b : {&btnCal1, &btnCal2, &btnAccept}) b->SetEnabled(true);
  Focus("edUmin");
}

void TfrmAMC_K4::btnAcceptClick() {
  // Only coefficients the window computed are written; an empty or stale edit is never sent.
  std::array<PhaseCoefficientsK4, 3> c{};
  for (int p = 0; p < 3; ++p) {
    const auto a = IntegerText(CoefA(p).Text());
    const auto b = IntegerText(CoefB(p).Text());
    if (!a || !b || *a < 1 || *a > 255 || *b < std::numeric_limits<std::int16_t>::min() ||
        *b > std::numeric_limits<std::int16_t>::max()) {
      platform::ShowMessage(k4text::kNothingToWrite, kTitle, platform::Icon::Error);
      return;
    }
    c[std::size_t(p)] = {*a, *b};
  }
  bool written = true;
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    TSystemLink link;
    for (int p = 0; p < 3 && written; ++p) {
      const std::uint8_t at = kCoefficientAddress[std::size_t(p)];
      const auto b = std::uint16_t(std::int16_t(c[std::size_t(p)].b));
      link.SendFrame(MakeFrame({0x05, 0x01, 0x00, 0x00, at, std::uint8_t(c[std::size_t(p)].a)}));
      written = Answered(link, 2);
      if (!written) break;
      // B is a signed 16-bit value: both bytes, high first.
      link.SendFrame(MakeFrame({0x06, 0x01, 0x00, 0x00, std::uint8_t(at + 1), std::uint8_t(b >> 8),
                                std::uint8_t(b & 0xFF)}));
      written = Answered(link, 2);
    }
    // A write that did not go through is not committed; the engineer writes all of them again.
    if (written) {
      link.SendFrame(frames::Commit(0));
      written = Answered(link, 2);
    }
  }
  if (!written) {
    platform::ShowMessage(k4text::kNotWritten, kTitle, platform::Icon::Error);
    return;
  }
  std::string text = k4text::kWritten;
  text += StoreInImage(c) ? k4text::kAlsoInImage : k4text::kNotInImage;
  Message(text);
}

bool TfrmAMC_K4::StoreInImage(const std::array<PhaseCoefficientsK4, 3>& c) {
  TMemoryImage* image = image_ ? image_() : nullptr;
  if (!image || image->Image.empty()) return false;
  bool stored = true;
  for (int p = 0; p < 3; ++p) {
    const auto b = std::uint16_t(std::int16_t(c[std::size_t(p)].b));
    const std::vector<std::uint8_t> bytes{std::uint8_t(c[std::size_t(p)].a), std::uint8_t(b >> 8),
                                          std::uint8_t(b & 0xFF)};
    stored = image->Store(kCoefficientAddress[std::size_t(p)], bytes) && stored;
  }
  if (stored) SystemStatus().ImageModified = true;
  return stored;
}

void TfrmAMC_K4::FormDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  MUTimer.SetEnabled(false);
  {
    // The technological power mode ends with the window, whatever was done in it.
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    TSystemLink link;
    link.SendFrame(frames::PowerOff());
    link.Delay(kPowerOffWaitMs);
  }
  // The main window's buttons follow once the window is gone.
  if (host_) host_->PostRefreshButtons();
}

}  // namespace kvt
