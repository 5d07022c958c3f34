// The calibration's protocol as a printable document.
#include <string>

#include "app/ProtocolPdf.h"
#include "calibration/Calibration.h"
#include "link/SystemStatus.h"

namespace kvt {

namespace {

constexpr platform::Color kSourceInk = platform::colors::Green;
constexpr platform::Color kNewInk = platform::colors::Red;
constexpr const char* kSourceName = "Исходная";
constexpr const char* kNewName = "Расчетная";

// A calibration table with a caption for its corner cell (voltages down, currents across).
platform::DocTable CalibrationTable(const platform::StringGrid& grid, const char* caption) {
  platform::DocTable t = platform::TableFromGrid(grid, caption);
  if (!t.header.empty()) t.header[0] = "Uв \\ Iа";
  return t;
}

bool HasData(const platform::DocTable& t) {
  for (const auto& row : t.rows)
    for (std::size_t c = 1; c < row.size(); ++c)
      if (CellInt(row[c])) return true;
  return false;
}

// The filament code over the header currents, one line per voltage row of the grid.
void AddFamily(platform::DocChart& chart, const platform::StringGrid& grid, const char* name,
               platform::Color color) {
  for (int r = 1; r < grid.RowCount(); ++r) {
    platform::DocSeries s{name, platform::SeriesKind::Line, color, {}};
    for (int c = 1; c <= caltable::kColumns; ++c) {
      const auto h = CellInt(grid.Cell(c, 0)), v = CellInt(grid.Cell(c, r));
      if (h && v) s.points.emplace_back(*h, *v);
    }
    if (!s.points.empty()) chart.series.push_back(std::move(s));
  }
}

platform::DocBlock ShotLog(const platform::StringGrid& grid) {
  platform::DocTable shots = platform::TableFromGrid(grid, "");
  if (shots.rows.empty()) return platform::DocText{"Снимков нет."};
  // The K3 log's last column is unused and has a blank header.
  if (!shots.header.empty() && shots.header.back().find_first_not_of(' ') == std::string::npos) {
    shots.header.pop_back();
    for (auto& row : shots.rows)
      if (!row.empty()) row.pop_back();
  }
  return shots;
}

void AddSeriesOf(platform::DocChart& chart, const platform::Chart& control, const char* name,
                 platform::Color color) {
  for (platform::DocSeries s : platform::ChartFromControl(control).series) {
    s.name = name;
    s.color = color;
    chart.series.push_back(std::move(s));
  }
}

}  // namespace

platform::PrintDocument TfrmCalibration::ProtocolDocument() const {
  platform::PrintDocument doc;
  doc.title = "Протокол калибровки рентгеновской трубки";
  const bool done = State.Stage >= 5;
  std::string info =
      "Таблица аппарата: от " + MinUv.Caption() + " до " + MaxUv.Caption() + " кВ, шаг " +
      StepUv.Caption() + " кВ\nДиапазон калибровки: от " + StartUv.Text() + " до " +
      FinishUv.Text() + " кВ\nСнимков: " + std::to_string(Tables_.LoggedShots()) +
      "\nРезультат: " + (done ? "новые таблицы рассчитаны" : "калибровка не завершена");
  doc.blocks.push_back(platform::DocText{info});

  doc.blocks.push_back(platform::DocHeading{"Исходные данные"});
  doc.blocks.push_back(CalibrationTable(SourceCTable, "Калибровочная таблица"));
  // The K3 and K4 calibration has no resistance table.
  if (!K3())
    doc.blocks.push_back(
        platform::FoldTable(platform::TableFromGrid(SourceRTable, "Таблица Rэ"), 8));

  doc.blocks.push_back(platform::DocHeading{"Результаты процедуры калибровки"});
  const platform::DocTable newC = CalibrationTable(NewCTable, "Калибровочная таблица");
  if (HasData(newC)) {
    doc.blocks.push_back(newC);
    const platform::DocTable newR = platform::TableFromGrid(NewRTable, "Таблица Rэ");
    if (!K3() && HasData(newR)) doc.blocks.push_back(platform::FoldTable(newR, 8));
  } else {
    doc.blocks.push_back(platform::DocText{"Новые таблицы не рассчитаны."});
  }

  doc.blocks.push_back(platform::DocHeading{"Характеристики"});
  platform::DocChart family;
  family.title = "Семейство характеристик";
  family.xTitle = "Iа, мА";
  family.yTitle = "Код накала";
  AddFamily(family, SourceCTable, kSourceName, kSourceInk);
  AddFamily(family, NewCTable, kNewName, kNewInk);
  doc.blocks.push_back(std::move(family));

  if (K3()) {
    doc.blocks.push_back(platform::DocHeading{"Снимки"});
    doc.blocks.push_back(ShotLog(ShotsTable));
    return doc;
  }
  platform::DocChart resistance;
  resistance.title = "Характеристика R(U)";
  resistance.xTitle = "Uв, кВ";
  resistance.yTitle = "Rэ";
  AddSeriesOf(resistance, Chart3, kSourceName, kSourceInk);
  AddSeriesOf(resistance, Chart1, kNewName, kNewInk);
  if (!resistance.Empty()) doc.blocks.push_back(std::move(resistance));

  platform::DocChart transfer = platform::ChartFromControl(Chart2);
  transfer.title = "Функция преобразования";
  transfer.xTitle = "Iа, мА";
  for (auto& s : transfer.series) {
    s.name = s.kind == platform::SeriesKind::Point ? "Снимки" : "Поправка кода";
    s.color = s.kind == platform::SeriesKind::Point ? kNewInk : kSourceInk;
  }
  if (!transfer.Empty()) doc.blocks.push_back(std::move(transfer));

  doc.blocks.push_back(platform::DocHeading{"Снимки"});
  doc.blocks.push_back(ShotLog(ShotsTable));
  return doc;
}

void TfrmCalibration::btnSavePdfClick() {
  std::string type = SystemStatus().SystemType();
  if (type.empty()) type = K3() ? "" : "K2";
  SaveProtocolPdf(ProtocolDocument(), type, "", kTitle);
}

}  // namespace kvt
