#include "tools/DigitalOscill.h"

#include <algorithm>
#include <charconv>
#include <cstddef>

#include "image/Settings.h"
#include "platform/LinkLock.h"
#include "platform/Paths.h"
#include "platform/Ui.h"
#include "tools/VoltageMeter.h"

namespace kvt {

namespace {

constexpr const char* kNoAnswer = "Модуль цифрового измерителя напряжений не отвечает.";

// A whole number, spaces around it allowed, nothing else.
std::optional<int> ParseInt(const std::string& text) {
  std::size_t b = text.find_first_not_of(' ');
  if (b == std::string::npos) return std::nullopt;
  std::size_t e = text.find_last_not_of(' ') + 1;
  const char* first = text.data() + b;
  const char* last = text.data() + e;
  if (first < last && *first == '+') ++first;
  int value = 0;
  auto [ptr, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || ptr != last) return std::nullopt;
  return value;
}

// The field's number when it lies in [min, max]; otherwise the message for it in `error`.
std::optional<int> Field(const std::string& caption, const std::string& text, int min, int max,
                         std::string& error) {
  const auto v = ParseInt(text);
  if (v && *v >= min && *v <= max) return v;
  error = "Неверное значение в поле \"" + caption + "\": \"" + text + "\".\nДопустимо целое от " +
          std::to_string(min) + " до " + std::to_string(max) + ".";
  return std::nullopt;
}

std::string WrongReply(const char* what) {
  return std::string("Модуль цифрового измерителя напряжений не выполнил команду: ") + what + ".";
}

}  // namespace

TfrmDigitalOscill::TfrmDigitalOscill() : platform::FormModel("frmDigitalOscill") {
  Form.SetCaption("Панель диагностики цифрового измерителя напряжений");
  GroupBox2.SetCaption("");
  Label1.SetCaption("Разрядность");
  Label3.SetCaption("Время измерения");
  Label2.SetCaption("*10 ms.");
  Label4.SetCaption("Точек на 1 мс.");
  Label5.SetCaption("Канал измерения");
  Label6.SetCaption("Уровень синхронизации");
  GroupBox4.SetCaption(" Действующее ");
  GroupBox5.SetCaption(" Размах ");
  Button4.SetCaption("Запись просто так");
  Button1.SetCaption("Запись по синхронизации");
  Button2.SetCaption("Прочитать осциллограмму");
  Button3.SetCaption("СБРОС");

  // The two results are read from across the room.
  for (platform::Label* figure : {&Label7, &Label8}) {
    figure->SetAlignment(platform::Alignment::Center);
    figure->SetFontSize(14);
    figure->SetFontBold(true);
  }

  chartVoltage.SetTitle("");
  chartVoltage.AddSeries("Series1", platform::SeriesKind::Line, platform::colors::Green);
  chartVoltage.SetLeftLimits(-128, 128, 10);

  cbDatabits.SetItems({"8", "10"});
  cbMeasures.SetItems({"1", "2", "5"});
  cbChannel.SetItems({"1", "2", "3"});
  // The module's settings are single bytes.
  udTime.SetAssociate(&edTime);
  udTime.SetRange(1, 255);
  udSync.SetAssociate(&edSync);
  udSync.SetRange(-127, 127);

  Button4.OnClick = [this] { Button4Click(); };
  Button1.OnClick = [this] { Button1Click(); };
  Button2.OnClick = [this] { Button2Click(); };
  Button3.OnClick = [this] { Button3Click(); };
  FormCreate();
}

void TfrmDigitalOscill::FormCreate() {
  FormCreate(platform::SettingsPath());
}

void TfrmDigitalOscill::FormCreate(const std::filesystem::path& settings) {
  cbDatabits.SetItemIndex(0);  // "8"
  cbMeasures.SetItemIndex(2);  // "5"
  cbChannel.SetItemIndex(0);   // "1"
  udTime.SetPosition(9);
  udSync.SetPosition(0);
  Label7.SetCaption("");
  Label8.SetCaption("");
  Form.SetVisible(settings::ReadDigOscTools(settings) != 0);
}

void TfrmDigitalOscill::FormClose() {
  Form.SetVisible(false);
}

void TfrmDigitalOscill::Show() {
  Form.SetVisible(true);
}

std::optional<TfrmDigitalOscill::Settings> TfrmDigitalOscill::ReadFields(std::string& error) const {
  Settings s;
  // Every value goes out as one byte; channels, rates and resolutions of 0 mean nothing to the
  // module.
  auto channel = Field(Label5.Caption(), cbChannel.Text(), 1, 3, error);
  if (!channel) return std::nullopt;
  auto time = Field(Label3.Caption(), edTime.Text(), udTime.Min(), udTime.Max(), error);
  if (!time) return std::nullopt;
  auto points = Field(Label4.Caption(), cbMeasures.Text(), 1, 255, error);
  if (!points) return std::nullopt;
  auto bits = Field(Label1.Caption(), cbDatabits.Text(), 1, 255, error);
  if (!bits) return std::nullopt;
  auto level = Field(Label6.Caption(), edSync.Text(), udSync.Min(), udSync.Max(), error);
  if (!level) return std::nullopt;
  s.channel = *channel;
  s.time = *time;
  s.points = *points;
  s.bits = *bits;
  s.level = *level;
  return s;
}

template <class Work>
std::string TfrmDigitalOscill::WithMeter(Work work) {
  std::string message;
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    TVoltageMeter meter;
    message = meter.Present ? work(meter) : std::string(kNoAnswer);
  }
  return message;
}

void TfrmDigitalOscill::Tell(const std::string& text) const {
  if (!text.empty()) platform::ShowMessage(text, kTitle, platform::Icon::Warning);
}

template <class Start>
void TfrmDigitalOscill::ConfigureAndStart(Start start, const char* what) {
  std::string error;
  const auto s = ReadFields(error);
  if (!s) {
    Tell(error);  // nothing goes to the module
    return;
  }
  Tell(WithMeter([&](TVoltageMeter& meter) -> std::string {
    if (!meter.Configure(s->channel, s->time, s->points, s->bits))
      return WrongReply("настройка записи");
    if (!start(meter, *s)) return WrongReply(what);
    return {};
  }));
}

void TfrmDigitalOscill::Button4Click() {
  ConfigureAndStart([](TVoltageMeter& meter, const Settings&) { return meter.StartRecording(); },
                    "запуск записи");
}

void TfrmDigitalOscill::Button1Click() {
  ConfigureAndStart(
      [](TVoltageMeter& meter, const Settings& s) {
        return meter.ArmTrigger(s.channel, TVoltageMeter::LevelByte(s.level));
      },
      "запуск записи по синхронизации");
}

void TfrmDigitalOscill::Button2Click() {
  // Only the channel and the sample rate of the panel matter here: the rest comes from the
  // module's own settings.
  std::string error;
  const auto channel = Field(Label5.Caption(), cbChannel.Text(), 1, 3, error);
  const auto points =
      channel ? Field(Label4.Caption(), cbMeasures.Text(), 1, 255, error) : std::nullopt;
  if (!channel || !points) {
    Tell(error);
    return;
  }
  std::string note;
  Tell(WithMeter([&](TVoltageMeter& meter) -> std::string {
    if (!meter.ReadSettings()) return WrongReply("чтение настроек");
    const int n = int(meter.PointsPerMs) * int(meter.MeasureTime) * 10;
    if (n == 0) return "Модуль цифрового измерителя напряжений не сделал записи: длина записи 0.";
    // A reply longer than the receive buffer would come back cut; the rest of such a recording
    // cannot be read.
    const int take = std::min(n, TVoltageMeter::kMaxSamples);
    if (!meter.ReadSamples(*channel, take)) return WrongReply("чтение осциллограммы");
    platform::ChartSeries& series = chartVoltage.Series(0);
    chartVoltage.BeginUpdate();
    series.Clear();
    for (std::size_t j = 0; j < meter.Samples.size(); ++j)
      series.AddXY(double(j) / *points, int(meter.Samples[j]) - 128);
    chartVoltage.EndUpdate();
    Label7.SetCaption(std::to_string(int(meter.EffectiveValue() + 0.55)));
    Label8.SetCaption(std::to_string(meter.Swing(2)));
    if (take < n)
      note = "Прочитаны первые " + std::to_string(take) + " точек записи из " + std::to_string(n) +
             ": больше за один раз не принимается.";
    return {};
  }));
  Tell(note);
}

void TfrmDigitalOscill::Button3Click() {
  Tell(WithMeter([](TVoltageMeter& meter) -> std::string {
    return meter.Reset() ? std::string() : WrongReply("сброс");
  }));
}

}  // namespace kvt
