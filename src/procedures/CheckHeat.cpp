#include "procedures/CheckHeat.h"

#include <cmath>
#include <cstdlib>

#include "app/MainHost.h"
#include "image/MemoryImage.h"
#include "link/SystemLink.h"
#include "link/SystemStatus.h"
#include "platform/Clock.h"
#include "platform/LinkLock.h"
#include "platform/Ui.h"

namespace kvt {

namespace {

constexpr std::uint8_t kMarkerOpen = 0;
constexpr std::uint8_t kMarkerClosed = 244;
constexpr int kSettleMs = 400;

const char* PercentMessage(int p) {
  switch (p) {
    case 25:
      return "\nВключено 25% от максимального тока накала катода.\nПри нормальной работе "
             "системы накала должно наблюдаться легкое свечение нити накала, а рассогласование "
             "тока не должно превышать 1%.\nДля продолжения теста нажмите кнопку <50% накала>.";
    case 50:
      return "\nВключено 50% от максимального тока накала катода, что соответствует режиму "
             "поднакала рентгеновской трубки. Вы должны видеть отчетливое оранжевое свечение "
             "катода. Допустимое рассогласование - не более 1%. Для продолжения теста нажмите "
             "кнопку <75% накала>.";
    case 75:
      return "\nВключено 75% от максимального тока накала катода. При нормальной работе "
             "системы накала катод рентгеновской трубки должен светиться желтым цветом при "
             "допустимом рассогласовании не более 1%. Для продолжения теста включите 100% "
             "накала.";
    default:
      return "\nВключен максимально возможный ток накала рентгеновской трубки. Вы должны "
             "наблюдать ярко-желное свечение катода. Допустимое отклонение тока накала - не "
             "более 1%. В противном случае модуль накала TM нуждается в дополнительной "
             "настройке.\nДля завершения проверки выключите накала и нажмине гнопку <OK>.";
  }
}

// The last frame's reply came and took the command.
bool Accepted(const TSystemLink& link) {
  return link.LastCount() >= 2 && link.RxBuffer()[1] == kReplyAccepted;
}

// Puts a switch back without its click handler: the apparatus did not take the change.
void ShowUnchanged(platform::CheckBox& box, bool checked) {
  auto handler = std::move(box.OnClick);
  box.SetChecked(checked);
  box.OnClick = std::move(handler);
}

Frame FeedbackFrame(bool on) {
  return MakeFrame({0x05, 0x01, 0x03, 0x40, 0x00, std::uint8_t(on ? 0x00 : 0x03)});
}

}  // namespace

// ----------------------------------------------------------------------------- TCurrentRefresh

TCurrentRefresh::TCurrentRefresh(TfrmCheckHeat& form)
    : platform::Thread(platform::ThreadPriority::Idle), form_(form) {}

TCurrentRefresh::~TCurrentRefresh() {
  Terminate();
  WaitFor();
}

void TCurrentRefresh::Execute() {
  while (!Terminated()) {
    {
      std::lock_guard<std::recursive_mutex> g(form_.lock_);
      const std::optional<double> reading =
          RefreshOn && PointIndex != -1 ? form_.ReadCurrent(0) : std::nullopt;
      if (reading) {
        const double percent = *reading;
        const std::uint64_t generation = form_.generation_;
        const std::size_t index = std::size_t(PointIndex);
        std::weak_ptr<int> alive = form_.alive_;
        TfrmCheckHeat* form = &form_;
        platform::CurrentUi().Post([alive, form, generation, index, percent] {
          if (alive.lock()) form->ApplyRefresh(generation, index, percent);
        });
      }
    }
    Sleep(kPauseMs);
  }
}

// ----------------------------------------------------------------------------- the window

TfrmCheckHeat::TfrmCheckHeat(MainHost* host, std::function<TMemoryImage*()> currentImage)
    : ToolFormModel("frmCheckHeat", kCaption, host, ToolWindow::HeatCheck),
      currentImage_(std::move(currentImage)) {
  GroupBox1.SetCaption(" Соответствие тока накала установленному коду ");
  Label2.SetCaption("Рассогласование");
  Label3.SetCaption("0");
  Label4.SetCaption("%");
  Button1.SetCaption("Накал выключен");
  Button2.SetCaption("25% накала");
  Button3.SetCaption("50% накала");
  Button4.SetCaption("75% накала");
  Button5.SetCaption("100% накала");
  Label1.SetCaption("Код накала");
  udHeatCode.SetRange(0, maxCode_);
  udHeatCode.SetAssociate(&Edit1);
  udHeatCode.SetPosition(0);
  BackLink.SetCaption("Обратная связь.");
  BackLink.SetChecked(true);
  ProgCorrection.SetCaption("Программная коррекция ");
  Button6.SetCaption("OK");
  lbCurrentInfo.SetWordWrap(true);

  platform::ChartAxis axis;
  axis.automatic = false;
  axis.minimum = 0;
  axis.maximum = 100;
  axis.labelFormat = "%g%%";
  Chart1.SetLeftAxis(axis);
  Chart1.SetBottomAxis(axis);
  Chart1.AddSeries("Series1", platform::SeriesKind::Line, platform::colors::Red);
  Chart1.AddSeries("Series2", platform::SeriesKind::Point, platform::colors::Green);

  Button1.OnClick = [this] { Button1Click(); };
  Button2.OnClick = [this] { PercentClick(25); };
  Button3.OnClick = [this] { PercentClick(50); };
  Button4.OnClick = [this] { PercentClick(75); };
  Button5.OnClick = [this] { PercentClick(100); };
  Button6.OnClick = [this] { Button6Click(); };
  BackLink.OnClick = [this] { BackLinkClick(); };
  ProgCorrection.OnClick = [this] { ProgCorrectionClick(); };
  Chart1.OnClickSeries = [this](std::size_t s, std::size_t p) { Chart1ClickSeries(s, p); };
}

TfrmCheckHeat::~TfrmCheckHeat() {
  refresh_.reset();  // asks the thread to end and waits for it
  alive_.reset();    // readings still queued for the window are dropped
  bool handedBack = false;
  {
    TSystemLink link;
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    // A code this window set must not outlive it: off first, then the filament goes back to the
    // apparatus's own control (standby heating resumes where it was on).
    if (codeSet_ != 0) link.SendFrame(frames::Simple(0x46));
    link.WriteMemory(addr::kHeatCheckMarker, 1, &kMarkerClosed);
    handedBack = link.LastTransferOk();
  }
  if (!handedBack) platform::ShowMessage(kMarkerRefused, kCaption, platform::Icon::Warning);
  if (correctionNow_ != correctionAtOpen_) {
    std::string text = "Программная коррекция тока накала оставлена ";
    text += correctionNow_ ? "ВКЛЮЧЕННОЙ" : "ВЫКЛЮЧЕННОЙ";
    text += " (адрес 0x40 в аппарате).\n";
    text += correctionInImage_ ? "Изменение внесено в образ памяти и будет предложено к сохранению."
                               : "Образ памяти не загружен: изменение в него не внесено.";
    platform::ShowMessage(text, kCaption, platform::Icon::Information);
  }
}

void TfrmCheckHeat::Message(const std::string& text) {
  lbCurrentInfo.SetCaption(text);
}

void TfrmCheckHeat::Focus(platform::Control& control) {
  focused_ = control.Name();
  if (OnFocus) OnFocus(control);
}

bool TfrmCheckHeat::SetCode(int n) {
  if (n < 0 || n > maxCode_) return false;
  bool acknowledged = false;
  {
    TSystemLink link;
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    if (n < 1) {
      link.SendFrame(frames::Simple(0x46));
    } else {
      link.SendFrame(FeedbackFrame(BackLink.Checked()));
      link.SendFrame(frames::SetHeatCode(std::uint16_t(n)));
    }
    acknowledged = Accepted(link);
  }
  // A code sent counts as on even unacknowledged: closing switches it off to be sure.
  codeSet_ = n < 1 && acknowledged ? 0 : std::max(n, codeSet_);
  udHeatCode.SetPosition(n < 1 ? 0 : n);
  return acknowledged;
}

std::optional<double> TfrmCheckHeat::ReadCurrent(int delayMs) {
  if (delayMs > 0) platform::Delay(delayMs);
  TSystemLink link;
  platform::LinkLock::Guard guard(platform::TheLinkLock());
  const bool k4 = link.ReadSystemType() == "K4";
  link.SendFrame(frames::ReadChannel(k4 ? 0x08 : 0x02));
  const auto& rx = link.RxBuffer();
  // A reply that did not come is no reading.
  if (k4) {
    if (link.LastCount() < 3) return std::nullopt;
    return rx[2] * 100.0 / 255.0;
  }
  if (link.LastCount() < 4) return std::nullopt;
  const int v = 4 * rx[2] + rx[3] - 512;
  return v * 20.0 / 103.0;
}

std::size_t TfrmCheckHeat::RecordPoint(double x, int y) {
  std::size_t index = points_.size();
  for (std::size_t i = 0; i < points_.size(); ++i) {
    if (points_[i].x == x) {
      index = i;
      break;
    }
  }
  if (index == points_.size())
    points_.push_back({x, double(y), platform::kDefaultColor});
  else
    points_[index].y = y;
  ShowPoints();
  ShowDeviation();
  return index;
}

void TfrmCheckHeat::ShowPoints() {
  Chart1.BeginUpdate();
  Series2().Clear();
  for (const auto& p : points_) Series2().AddXY(p.x, p.y);
  Chart1.EndUpdate();
}

int TfrmCheckHeat::Deviation() const {
  int worst = 0;
  for (const auto& p : points_) worst = std::max(worst, std::abs(int(std::trunc(p.y - p.x))));
  return worst;
}

void TfrmCheckHeat::ShowDeviation() {
  Label3.SetCaption(std::to_string(Deviation()));
}

void TfrmCheckHeat::FormCreate() {
  Series1().Clear();
  Series1().AddXY(0, 0);
  Series1().AddXY(100, 100);
  RecordPoint(0, 0);
  refresh_ = std::make_unique<TCurrentRefresh>(*this);
  refresh_->Start();
  SetCode(0);
  {
    TSystemLink link;
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    link.SendFrame(FeedbackFrame(true));
    link.WriteMemory(addr::kHeatCheckMarker, 1, &kMarkerOpen);
    std::uint8_t correction = 0;
    link.ReadMemory(addr::kCorrectionSwitch, 1, &correction);
    if (!link.LastTransferOk()) correction = 0;
    correctionAtOpen_ = correctionNow_ = correction != 0;
    if (correction != 0) {
      // Showing the apparatus's setting, not a click: nothing is to be sent or stored.
      auto handler = std::move(ProgCorrection.OnClick);
      ProgCorrection.SetChecked(true);
      ProgCorrection.OnClick = std::move(handler);
    }
    maxCode_ = link.ReadSystemType() == "K4" ? 2047 : 1023;
  }
  udHeatCode.SetMax(maxCode_);
  Message(kIntro);
}

bool TfrmCheckHeat::SetAndRecord(int n, double p) {
  std::lock_guard<std::recursive_mutex> g(lock_);
  ++generation_;
  // No live point while this one is not known.
  refresh_->PointIndex = -1;
  if (!SetCode(n)) {
    Message(kCodeRefused);
    return false;
  }
  const std::optional<double> reading = ReadCurrent(kSettleMs);
  if (!reading) {
    Message(kNoReading);
    return false;
  }
  const std::size_t index = RecordPoint(p, int(std::trunc(*reading)));
  refresh_->PointIndex = int(index);
  refresh_->RefreshOn = true;
  ++generation_;
  return true;
}

void TfrmCheckHeat::PercentClick(int p) {
  const int n = int(std::trunc(maxCode_ * double(p) / 100.0));
  if (!SetAndRecord(n, p)) return;
  Message(PercentMessage(p));
  switch (p) {
    case 25:
      Focus(Button3);
      break;
    case 50:
      Focus(Button4);
      break;
    case 75:
      Focus(Button5);
      break;
    default:
      Focus(Button1);
      break;
  }
}

void TfrmCheckHeat::Button1Click() {
  bool off = false;
  {
    std::lock_guard<std::recursive_mutex> g(lock_);
    ++generation_;
    off = SetCode(0);
    refresh_->PointIndex = -1;
    refresh_->RefreshOn = true;
  }
  if (!off) {
    Message(kOffRefused);
    return;
  }
  Message(kOffMessage);
  Focus(Button6);
}

void TfrmCheckHeat::Edit1KeyPress(char key) {
  if (key != '\r') return;
  const int position = udHeatCode.Position();
  const int p = int(std::trunc(position * 100.0 / maxCode_ + 0.5));
  if (!SetAndRecord(position, p)) return;
  Message("\nВключено " + std::to_string(p) + "% накала.");
}

void TfrmCheckHeat::BackLinkClick() {
  bool acknowledged = false;
  {
    TSystemLink link;
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    link.SendFrame(FeedbackFrame(BackLink.Checked()));
    acknowledged = Accepted(link);
  }
  if (!acknowledged) {
    ShowUnchanged(BackLink, !BackLink.Checked());
    Message(kFeedbackRefused);
  }
}

void TfrmCheckHeat::ProgCorrectionClick() {
  const std::uint8_t on = ProgCorrection.Checked() ? 1 : 0;
  bool acknowledged = false;
  {
    TSystemLink link;
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    link.SendFrame(MakeFrame({0x05, 0x01, 0x00, 0x00, 0x40, on}));
    acknowledged = Accepted(link);
  }
  if (!acknowledged) {
    // The apparatus keeps what it had: so do the switch and the image.
    ShowUnchanged(ProgCorrection, on == 0);
    Message(kCorrectionRefused);
    return;
  }
  correctionNow_ = on != 0;
  TMemoryImage* image = currentImage_ ? currentImage_() : nullptr;
  if (image && image->Store(addr::kCorrectionSwitch, 1, &on)) {
    SystemStatus().ImageModified = true;
    correctionInImage_ = true;
  }
}

void TfrmCheckHeat::Chart1ClickSeries(std::size_t series, std::size_t point) {
  if (series != 1 || point >= points_.size()) return;
  const std::string question =
      "Удалить точку " + std::to_string(int(std::trunc(points_[point].x))) + "% накала?";
  if (platform::ShowMessage(question, "", platform::Icon::Question, platform::Buttons::YesNo) !=
      platform::Answer::Yes)
    return;
  std::lock_guard<std::recursive_mutex> g(lock_);
  ++generation_;
  refresh_->RefreshOn = false;
  points_.erase(points_.begin() + std::ptrdiff_t(point));
  ShowPoints();
  ShowDeviation();
  Button1Click();
}

void TfrmCheckHeat::ApplyRefresh(std::uint64_t generation, std::size_t index, double percent) {
  // The live point changed (or went) while the reading was on its way.
  if (generation != generation_ || index >= points_.size()) return;
  const double y = percent;
  if (points_[index].y == y) return;
  points_[index].y = y;
  ShowPoints();
  ShowDeviation();
}

void TfrmCheckHeat::Button6Click() {
  if (OnClose) OnClose();
}

}  // namespace kvt
