#include "tools/Oscillograms.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <filesystem>

#include "app/MainHost.h"
#include "app/Progress.h"
#include "exposure/FilamentShot.h"
#include "link/SystemLink.h"
#include "platform/Files.h"
#include "platform/LinkLock.h"

namespace kvt {

namespace {

namespace osctext {
constexpr const char* kNoAnswer =
    "Осциллограммы последнего снимка не прочитаны: система не отвечает.";
constexpr const char* kCannotOpen = "Не удалось открыть файл\n";
constexpr const char* kCannotWrite = "Не удалось записать файл\n";
constexpr const char* kNotOsc = "Файл не является осциллограммой снимка:\n";
constexpr const char* kNothingToSave = "Нет осциллограмм для сохранения.";
}  // namespace osctext

constexpr platform::Color kVoltageColor = platform::colors::Red;
constexpr platform::Color kCurrentColor = platform::colors::Yellow;
// Sample k lies 2k positions of 0.05 into the recorder's store.
constexpr double kSampleStep = 0.1;

void PutDouble(std::vector<std::uint8_t>& out, double value) {
  const auto bits = std::bit_cast<std::uint64_t>(value);
  for (int i = 0; i < 8; ++i) out.push_back(std::uint8_t(bits >> (8 * i)));
}

double GetDouble(const std::uint8_t* p) {
  std::uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = (bits << 8) | p[i];
  return std::bit_cast<double>(bits);
}

void ShowError(const std::string& text) {
  platform::ShowMessage(text, TfrmOscillograms::kTitle, platform::Icon::Error);
}

}  // namespace

// ----------------------------------------------------------------------------- .osc files

std::vector<std::uint8_t> EncodeOsc(const std::vector<OscRecord>& records) {
  std::vector<std::uint8_t> out;
  out.reserve(records.size() * kOscRecordSize);
  for (const OscRecord& r : records) {
    PutDouble(out, r.voltageX);
    PutDouble(out, r.voltageY);
    PutDouble(out, r.currentX);
    PutDouble(out, r.currentY);
  }
  return out;
}

OscDecoded DecodeOsc(const std::uint8_t* data, std::size_t size) {
  OscDecoded result;
  if (size > kOscMaxFileSize) {
    result.error = OscFileError::TooLarge;
    return result;
  }
  const std::size_t n = size / kOscRecordSize;
  if (n == 0) {
    result.error = OscFileError::NoRecords;
    return result;
  }
  result.records.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint8_t* p = data + i * kOscRecordSize;
    OscRecord r{GetDouble(p), GetDouble(p + 8), GetDouble(p + 16), GetDouble(p + 24)};
    // A NaN or an infinity would wreck the chart's scaling and say nothing about a shot.
    if (!std::isfinite(r.voltageX) || !std::isfinite(r.voltageY) || !std::isfinite(r.currentX) ||
        !std::isfinite(r.currentY)) {
      result.records.clear();
      result.error = OscFileError::BadNumber;
      result.badRecord = i;
      return result;
    }
    result.records.push_back(r);
  }
  return result;
}

std::string OscFileName(const std::string& chosen) {
  std::filesystem::path p(chosen);
  p.replace_extension(".osc");
  return p.string();
}

// ----------------------------------------------------------------------------- the window

TfrmOscillograms::TfrmOscillograms(MainHost* host, std::function<std::string()> imageDir)
    : ToolFormModel("frmOscillograms", kCaption, host, ToolWindow::Oscillograms),
      imageDir_(std::move(imageDir)) {
  GroupBox1.SetCaption(" Напряжение ");
  GroupBox2.SetCaption(" Ток ");
  GroupBox3.SetCaption(" Действующие значения ");
  GroupBox4.SetCaption(" Действия ");
  Label1.SetCaption("Ua=");
  Label2.SetCaption("Ia=");
  btnOpen.SetCaption("Загрузить");
  btnSave.SetCaption("Сохранить");

  // Axes in the units of the curves, labelled at round steps.
  auto axes = [](platform::Chart& chart, double max, double step, const char* unit) {
    platform::ChartAxis left;
    left.automatic = false;
    left.maximum = max;
    left.increment = step;
    left.title = unit;
    chart.SetLeftAxis(left);
    platform::ChartAxis time;
    time.title = "мс";
    chart.SetBottomAxis(time);
  };
  chartVoltage.AddSeries("Series1", platform::SeriesKind::Line, kVoltageColor);
  axes(chartVoltage, 150, 25, "кВ");
  chartCurrent.AddSeries("Series2", platform::SeriesKind::Line, kCurrentColor);
  axes(chartCurrent, 400, 100, "мА");

  btnOpen.OnClick = [this] { btnOpenClick(); };
  btnSave.OnClick = [this] { btnSaveClick(); };
}

// Another oscillogram window still open keeps the flag (counted by openMark_), so closing the main
// window closes it too.
TfrmOscillograms::~TfrmOscillograms() = default;

void TfrmOscillograms::FormCreate() {
  std::vector<int> samples;
  bool curvesRead = false;
  bool valuesRead = false;
  int uv = 0;
  int ia = 0;
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    {
      TSystemLink link;
      WithProgress(kProgressCaption, [&](std::function<void(int)> progress) {
        samples = link.ReadLastShotCurves(progress, true);
        curvesRead = link.LastTransferOk();
      });
    }
    TFilamentShot results;
    valuesRead = results.Ok;
    uv = results.Uv;
    ia = results.Ia;
  }
  ShowSamples(samples);
  // Zeros from a silent line must not pass for the shot's values.
  Label3.SetCaption(valuesRead ? std::to_string(uv) : std::string());
  Label4.SetCaption(valuesRead ? std::to_string(ia) : std::string());
  if (!curvesRead || !valuesRead)
    platform::ShowMessage(osctext::kNoAnswer, kTitle, platform::Icon::Warning);
}

void TfrmOscillograms::ShowSamples(const std::vector<int>& samples) {
  std::vector<OscRecord> records;
  records.reserve(samples.size() / 2);
  for (std::size_t k = 0; 2 * k + 1 < samples.size(); ++k) {
    const double x = kSampleStep * double(k);
    records.push_back({x, double(samples[2 * k]), x, double(samples[2 * k + 1])});
  }
  ShowRecords(records);
}

void TfrmOscillograms::ShowRecords(const std::vector<OscRecord>& records) {
  // One notice per chart, not one per point.
  chartVoltage.BeginUpdate();
  chartCurrent.BeginUpdate();
  VoltageSeries().Clear();
  CurrentSeries().Clear();
  for (const OscRecord& r : records) {
    VoltageSeries().AddXY(r.voltageX, r.voltageY, kVoltageColor);
    CurrentSeries().AddXY(r.currentX, r.currentY, kCurrentColor);
  }
  chartCurrent.EndUpdate();
  chartVoltage.EndUpdate();
}

std::vector<OscRecord> TfrmOscillograms::Records() const {
  const auto& v = chartVoltage.Series(0).Points();
  const auto& c = chartCurrent.Series(0).Points();
  // The two curves are always plotted in pairs; should they ever differ, only whole pairs go out.
  const std::size_t n = std::min(v.size(), c.size());
  std::vector<OscRecord> records;
  records.reserve(n);
  for (std::size_t i = 0; i < n; ++i) records.push_back({v[i].x, v[i].y, c[i].x, c[i].y});
  return records;
}

platform::FileDialogRequest TfrmOscillograms::DialogRequest(bool save) const {
  platform::FileDialogRequest request;
  request.save = save;
  request.initialDir = imageDir_ ? imageDir_() : std::string();
  request.filter = kFilter;
  request.filterIndex = 1;
  request.defaultExt = "osc";
  return request;
}

void TfrmOscillograms::btnOpenClick() {
  const platform::FileDialogResult chosen =
      platform::CurrentUi().RunFileDialog(DialogRequest(false));
  if (!chosen.accepted) return;
  LoadFile(chosen.path);
}

void TfrmOscillograms::btnSaveClick() {
  const platform::FileDialogResult chosen =
      platform::CurrentUi().RunFileDialog(DialogRequest(true));
  if (!chosen.accepted) return;
  SaveFile(OscFileName(chosen.path));
}

bool TfrmOscillograms::LoadFile(const std::string& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  // Checked before reading, so a huge file is never taken into memory.
  if (!ec && size > kOscMaxFileSize) {
    ShowError(std::string(osctext::kNotOsc) + path + "\nДлина файла " + std::to_string(size) +
              " байт, больше допустимой (" + std::to_string(kOscMaxFileSize) + " байт).");
    return false;
  }
  const auto bytes = platform::ReadBinaryFile(path);
  if (!bytes) {
    ShowError(osctext::kCannotOpen + path);
    return false;
  }
  const OscDecoded decoded = DecodeOsc(bytes->data(), bytes->size());
  switch (decoded.error) {
    case OscFileError::None:
      break;
    case OscFileError::NoRecords:
      ShowError(std::string(osctext::kNotOsc) + path + "\nДлина файла " +
                std::to_string(bytes->size()) + " байт, в нём нет ни одной точки (" +
                std::to_string(kOscRecordSize) + " байта на точку).");
      return false;
    case OscFileError::TooLarge:
      ShowError(std::string(osctext::kNotOsc) + path + "\nДлина файла " +
                std::to_string(bytes->size()) + " байт, больше допустимой (" +
                std::to_string(kOscMaxFileSize) + " байт).");
      return false;
    case OscFileError::BadNumber:
      ShowError(std::string(osctext::kNotOsc) + path + "\nТочка " +
                std::to_string(decoded.badRecord + 1) + " содержит недопустимое число.");
      return false;
  }
  ShowRecords(decoded.records);
  return true;
}

bool TfrmOscillograms::SaveFile(const std::string& path) {
  const std::vector<OscRecord> records = Records();
  // An empty file would be no oscillogram at all (and could not be loaded again).
  if (records.empty()) {
    ShowError(osctext::kNothingToSave);
    return false;
  }
  if (!platform::WriteFileAtomic(path, EncodeOsc(records))) {
    ShowError(osctext::kCannotWrite + path);
    return false;
  }
  return true;
}

}  // namespace kvt
