#include "exposure/DefineCurrent.h"

#include <algorithm>
#include <cmath>

#include "platform/Ui.h"

namespace kvt {

namespace {

constexpr platform::Color kUpperColor = platform::colors::Red;
constexpr platform::Color kLowerColor = platform::colors::Yellow;

struct ModeLook {
  const char* caption;
  const char* group;
  const char* label;
  const char* unit;
  int top;  // value axis from -top to top, scroll bars 0..top
  int increment;
};

constexpr ModeLook kVoltageLook{
    TfrmDefineCurrent::kVoltageCaption, " Анодное напряжение ", "Напряжение:", "кВ", 140, 20};
constexpr ModeLook kCurrentLook{TfrmDefineCurrent::kCurrentCaption,
                                " Анодный ток ",
                                "Анодный ток:",
                                "мА",
                                TfrmDefineCurrent::kMaxCurrent,
                                25};

}  // namespace

TfrmDefineCurrent::TfrmDefineCurrent() : platform::FormModel("frmDefineCurrent") {
  chart_Ia_calibr.SetBackgroundColor(platform::colors::Black);
  chart_Ia_calibr.AddSeries("Series3", platform::SeriesKind::Line, platform::colors::Lime);
  chart_Ia_calibr.AddSeries("Series4", platform::SeriesKind::Line, kUpperColor);
  chart_Ia_calibr.AddSeries("Series5", platform::SeriesKind::Line, kLowerColor);
  platform::ChartAxis time;
  time.automatic = true;
  time.increment = 1;
  chart_Ia_calibr.SetBottomAxis(time);
  Button1.SetCaption("Принять установленные значения");
  Ia_result.SetFontBold(true);
  Ia_result.SetFontSize(14);

  UpTrack1.OnChange = [this] { UpTrack1Change(); };
  DownTrack1.OnChange = [this] { DownTrack1Change(); };
  Button1.OnClick = [this] { Button1Click(); };
  PrepareForCurrent();
}

void TfrmDefineCurrent::Prepare(DefineMode mode) {
  mode_ = mode;
  const ModeLook& look = mode == DefineMode::Voltage ? kVoltageLook : kCurrentLook;
  Form.SetCaption(look.caption);
  GroupBox8.SetCaption(look.group);
  Label1.SetCaption(look.label);
  Label2.SetCaption(look.unit);
  chart_Ia_calibr.SetLeftLimits(-look.top, look.top, look.increment);
  // The handlers stay quiet while the bars are reset: the lines are drawn when the dialog shows.
  auto up = std::move(UpTrack1.OnChange);
  auto down = std::move(DownTrack1.OnChange);
  UpTrack1.SetRange(0, look.top);
  DownTrack1.SetRange(0, look.top);
  UpTrack1.SetPosition(look.top / 2);
  DownTrack1.SetPosition(look.top / 2);
  UpTrack1.OnChange = std::move(up);
  DownTrack1.OnChange = std::move(down);
}

void TfrmDefineCurrent::PrepareForVoltage() {
  Prepare(DefineMode::Voltage);
}

void TfrmDefineCurrent::PrepareForCurrent() {
  Prepare(DefineMode::Current);
}

void TfrmDefineCurrent::SetCurve(const CurvePoints& points, platform::Color color) {
  chart_Ia_calibr.BeginUpdate();
  Series3().Clear();
  for (const auto& [x, y] : points) Series3().AddXY(x, y, color);
  chart_Ia_calibr.EndUpdate();
}

int TfrmDefineCurrent::Top() const {
  return int(chart_Ia_calibr.LeftAxis().maximum);
}

double TfrmDefineCurrent::LineEnd() const {
  double largest = 0;
  for (const auto& p : chart_Ia_calibr.Series(0).Points()) largest = std::max(largest, p.x);
  return double(int(largest + 1));
}

void TfrmDefineCurrent::DrawLine(platform::ChartSeries& series, double y, platform::Color color) {
  chart_Ia_calibr.BeginUpdate();
  series.Clear();
  series.AddXY(0, y, color);
  series.AddXY(LineEnd(), y, color);
  chart_Ia_calibr.EndUpdate();
}

int TfrmDefineCurrent::UpperValue() const {
  return Top() - UpTrack1.Position();
}

int TfrmDefineCurrent::LowerDistance() const {
  return DownTrack1.Position();
}

int TfrmDefineCurrent::Result() const {
  return int((UpperValue() + LowerDistance()) * 0.5 + 0.5);
}

void TfrmDefineCurrent::ShowResult() {
  Ia_result.SetCaption(std::to_string(Result()));
}

void TfrmDefineCurrent::FormShow() {
  DrawLine(Series4(), UpperValue(), kUpperColor);
  UpVal1.SetCaption(std::to_string(UpperValue()));
  DrawLine(Series5(), -LowerDistance(), kLowerColor);
  DownVal1.SetCaption(std::to_string(LowerDistance()));
  ShowResult();
}

void TfrmDefineCurrent::UpTrack1Change() {
  DrawLine(Series4(), UpperValue(), kUpperColor);
  UpVal1.SetCaption(std::to_string(UpperValue()));
  // The lower line mirrors the upper one; the engineer then corrects it alone if the curve is
  // not symmetric.
  const int mirrored = std::clamp(UpperValue(), DownTrack1.Min(), DownTrack1.Max());
  if (DownTrack1.Position() == mirrored)
    DownTrack1Change();
  else
    DownTrack1.SetPosition(mirrored);  // fires DownTrack1Change
  ShowResult();
}

void TfrmDefineCurrent::DownTrack1Change() {
  DrawLine(Series5(), -LowerDistance(), kLowerColor);
  DownVal1.SetCaption(std::to_string(LowerDistance()));
  ShowResult();
}

TfrmDefineCurrent::Line TfrmDefineCurrent::LineNear(double value, double tolerance) const {
  const double up = std::fabs(value - UpperValue());
  const double down = std::fabs(value + LowerDistance());
  if (up > tolerance && down > tolerance) return Line::None;
  return up <= down ? Line::Upper : Line::Lower;
}

void TfrmDefineCurrent::DragLine(Line line, double value) {
  const int v = int(std::lround(value));
  if (line == Line::Upper) UpTrack1.SetPosition(Top() - v);
  if (line == Line::Lower) DownTrack1.SetPosition(-v);
}

void TfrmDefineCurrent::Button1Click() {
  End(Result());
}

void TfrmDefineCurrent::FormCloseByFrame() {
  End(std::nullopt);
}

void TfrmDefineCurrent::End(std::optional<int> result) {
  if (!showing_) return;
  result_ = result;
  showing_ = false;
  Form.SetVisible(false);
  if (OnClose) OnClose();
}

std::optional<int> TfrmDefineCurrent::ShowModal() {
  // Nobody to read the curve (no view installed): there is no value, as if it were cancelled.
  if (!runner_ || showing_) return std::nullopt;
  result_.reset();
  showing_ = true;
  FormShow();
  Form.SetVisible(true);
  runner_(*this);
  // A view that ended its loop some other way gives no value.
  if (showing_) {
    showing_ = false;
    Form.SetVisible(false);
  }
  return result_;
}

TfrmDefineCurrent& DefineCurrentDialog() {
  static TfrmDefineCurrent dialog;
  return dialog;
}

std::optional<int> DetermineValue(DefineMode mode, const CurvePoints& curve,
                                  platform::Color color) {
  std::optional<int> value;
  platform::CurrentUi().Synchronize([&] {
    TfrmDefineCurrent& dialog = DefineCurrentDialog();
    dialog.SetCurve(curve, color);
    dialog.Prepare(mode);
    value = dialog.ShowModal();
  });
  return value;
}

}  // namespace kvt
