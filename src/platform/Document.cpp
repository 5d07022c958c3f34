#include "platform/Document.h"

#include <algorithm>

#include "platform/SharedValue.h"

namespace platform {

namespace {

SharedValue<PdfWriterFn>& Writer() {
  static SharedValue<PdfWriterFn> writer;
  return writer;
}

bool Blank(const std::vector<std::string>& row) {
  return std::all_of(row.begin(), row.end(), [](const std::string& cell) {
    return cell.find_first_not_of(" \t") == std::string::npos;
  });
}

}  // namespace

bool DocChart::Empty() const {
  return std::all_of(series.begin(), series.end(),
                     [](const DocSeries& s) { return s.points.empty(); });
}

std::string PrintDocument::Stamp(const std::string& label) const {
  for (const auto& [l, v] : stamp)
    if (l == label) return v;
  return "";
}

void PrintDocument::SetStamp(const std::string& label, const std::string& value) {
  for (auto& [l, v] : stamp)
    if (l == label) {
      v = value;
      return;
    }
  stamp.emplace_back(label, value);
}

std::vector<const DocTable*> PrintDocument::Tables() const {
  std::vector<const DocTable*> out;
  for (const DocBlock& b : blocks)
    if (const auto* t = std::get_if<DocTable>(&b)) out.push_back(t);
  return out;
}

std::vector<const DocChart*> PrintDocument::Charts() const {
  std::vector<const DocChart*> out;
  for (const DocBlock& b : blocks)
    if (const auto* c = std::get_if<DocChart>(&b)) out.push_back(c);
  return out;
}

DocTable TableFromGrid(const StringGrid& grid, std::string caption) {
  DocTable table;
  table.caption = std::move(caption);
  if (grid.RowCount() == 0) return table;
  table.header = grid.RowCells(0);
  for (int r = 1; r < grid.RowCount(); ++r) table.rows.push_back(grid.RowCells(r));
  while (!table.rows.empty() && Blank(table.rows.back())) table.rows.pop_back();
  return table;
}

DocTable FoldTable(const DocTable& table, int groups) {
  const int n = int(table.rows.size());
  if (groups <= 1 || n <= 1) return table;
  groups = std::min(groups, n);
  const int height = (n + groups - 1) / groups;
  const std::size_t width = table.header.size();
  DocTable out;
  out.caption = table.caption;
  for (int g = 0; g < groups; ++g)
    out.header.insert(out.header.end(), table.header.begin(), table.header.end());
  for (int r = 0; r < height; ++r) {
    std::vector<std::string> row;
    for (int g = 0; g < groups; ++g) {
      const int source = g * height + r;
      std::vector<std::string> cells(width);
      if (source < n) {
        const auto& s = table.rows[std::size_t(source)];
        std::copy_n(s.begin(), std::min(width, s.size()), cells.begin());
      }
      row.insert(row.end(), cells.begin(), cells.end());
    }
    out.rows.push_back(std::move(row));
  }
  return out;
}

DocChart ChartFromControl(const Chart& chart) {
  DocChart out;
  out.title = chart.Title();
  out.xTitle = chart.BottomAxis().title;
  out.yTitle = chart.LeftAxis().title;
  if (!chart.BottomAxis().automatic) {
    out.xMin = chart.BottomAxis().minimum;
    out.xMax = chart.BottomAxis().maximum;
  }
  if (!chart.LeftAxis().automatic) {
    out.yMin = chart.LeftAxis().minimum;
    out.yMax = chart.LeftAxis().maximum;
  }
  for (std::size_t i = 0; i < chart.SeriesCount(); ++i) {
    const ChartSeries& s = chart.Series(i);
    if (!s.Visible()) continue;
    DocSeries series;
    series.name = s.Title().empty() ? s.Name() : s.Title();
    series.kind = s.Kind();
    series.color = s.SeriesColor() == kDefaultColor ? colors::Black : s.SeriesColor();
    for (const ChartPoint& p : s.Points()) series.points.emplace_back(p.x, p.y);
    out.series.push_back(std::move(series));
  }
  return out;
}

void SetPdfWriter(PdfWriterFn writer) {
  Writer().Set(std::move(writer));
}

bool PdfWriterInstalled() {
  bool installed = false;
  Writer().Use([&](const PdfWriterFn& writer) { installed = bool(writer); });
  return installed;
}

bool WritePdf(const PrintDocument& doc, const std::filesystem::path& path, std::string& error) {
  const PdfWriterFn writer = Writer().Get();
  if (!writer) {
    error = "Запись PDF в этой сборке программы недоступна.";
    return false;
  }
  return writer(doc, path, error);
}

}  // namespace platform
