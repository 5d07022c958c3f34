#include "calibration/CalTables.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "app/Progress.h"
#include "image/ConvertDat.h"
#include "image/MemoryImage.h"
#include "image/Workflows.h"
#include "link/SystemLink.h"
#include "platform/Files.h"
#include "platform/LinkLock.h"

namespace kvt {

std::optional<int> CellInt(const std::string& text) {
  std::size_t b = 0, e = text.size();
  while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
  while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
  if (b < e && text[b] == '+') ++b;
  if (b == e) return std::nullopt;
  int value = 0;
  const char* first = text.data() + b;
  const char* last = text.data() + e;
  auto [ptr, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || ptr != last) return std::nullopt;
  return value;
}

namespace {

// Russian name of a grid for the messages.
std::string GridName(const platform::StringGrid& grid) {
  if (grid.Name() == "SourceCTable") return "исходной калибровочной таблице";
  if (grid.Name() == "SourceRTable") return "исходной таблице Rэ";
  if (grid.Name() == "NewCTable") return "новой калибровочной таблице";
  if (grid.Name() == "NewRTable") return "новой таблице Rэ";
  return "таблице снимков";
}

std::string BadCell(const platform::StringGrid& grid, int col, int row) {
  return "В " + GridName(grid) + " ячейка (столбец " + std::to_string(col) + ", строка " +
         std::to_string(row) + ") не является целым числом: \"" + grid.Cell(col, row) + "\".";
}

// Reads a cell as a whole number, or notes the problem once.
bool Cell(const platform::StringGrid& grid, int col, int row, int& value, std::string& problem) {
  auto v = CellInt(grid.Cell(col, row));
  if (!v) {
    if (problem.empty()) problem = BadCell(grid, col, row);
    return false;
  }
  value = *v;
  return true;
}

// The source table's codes of rows 1..rows-1 of the new table (row 0 and column 0 left 0),
// taken from the source rows starting after `off`; every one must be a whole number.
bool SourceCodes(const platform::StringGrid& grid, int rows, int off,
                 std::vector<std::vector<int>>& codes, std::string& problem) {
  codes.assign(std::size_t(rows), std::vector<int>(9, 0));
  for (int i = 1; i < rows; ++i)
    for (int c = 1; c <= 8; ++c)
      if (!Cell(grid, c, i + off, codes[std::size_t(i)][std::size_t(c)], problem)) return false;
  return true;
}

// The straight line through (x0, y0) and (x1, y1) taken at x. Two points at the same abscissa
// give their mean, as their least-squares fit does.
double Line(double x0, double y0, double x1, double y1, double x) {
  if (x1 == x0) return (y0 + y1) / 2;
  return y0 + (y1 - y0) * (x - x0) / (x1 - x0);
}

int Trunc(double v) {
  if (!std::isfinite(v)) return 0;
  v = std::clamp(v, -2147483520.0, 2147483520.0);
  return int(v);
}

void PutWord(std::vector<std::uint8_t>& out, int v) {
  out.push_back(std::uint8_t((unsigned(v) >> 8) & 0xFF));
  out.push_back(std::uint8_t(unsigned(v) & 0xFF));
}

std::string Hex2(int v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02X", unsigned(v));
  return buf;
}

}  // namespace

TCalTables::TCalTables() {
  for (auto* g : {&SourceCTable, &SourceRTable, &NewCTable, &NewRTable}) {
    g->SetEditable(true);
    g->SetDefaultColWidth(35);
  }
  SourceRTable.SetFixedCols(0);
  NewRTable.SetFixedCols(0);
  SourceRTable.SetCell(0, 0, caltext::kUvHeader);
  SourceRTable.SetCell(1, 0, caltext::kReHeader);
  NewRTable.SetCell(0, 0, caltext::kUvHeader);
  NewRTable.SetCell(1, 0, caltext::kReHeader);
  ShotsTable.SetDefaultColWidth(79);
  for (int c = 0; c < 6; ++c) ShotsTable.SetCell(c, 0, caltext::kShotHeaders[c]);
}

// ----------------------------------------------------------------------------- source tables

CalResult TCalTables::ReadSourceTables() {
  int start = 0, end = 0, step = 0;
  std::vector<std::uint16_t> words;
  std::vector<std::uint8_t> resistances;
  bool answered = true;
  {
    platform::LinkLock::Guard guard(platform::TheLinkLock());
    TSystemLink link;
    start = std::int16_t(link.ReadTableStart());
    answered = answered && link.LastTransferOk();
    end = std::int16_t(link.ReadTableEnd());
    answered = answered && link.LastTransferOk();
    step = std::int16_t(link.ReadTableStep());
    answered = answered && link.LastTransferOk();
    if (answered && step > 0 && end >= start) {
      WithProgress(caltext::kProgressCalibration,
                   [&](std::function<void(int)> p) { words = link.ReadCalibrationTable(p); });
      answered = answered && link.LastTransferOk();
      if (answered)
        WithProgress(caltext::kProgressResistance, [&](std::function<void(int)> p) {
          resistances = link.ReadResistanceTable(p);
        });
      answered = answered && link.LastTransferOk();
    }
  }
  if (!answered) {
    min_ = max_ = step_ = 0;
    MinUv.SetCaption("");
    MaxUv.SetCaption("");
    StepUv.SetCaption("");
    SourceCTable.SetRowCount(2);
    SourceRTable.SetRowCount(2);
    for (int c = 0; c < 9; ++c) SourceCTable.SetCell(c, 1, "");
    SourceRTable.SetCell(0, 1, "");
    SourceRTable.SetCell(1, 1, "");
    ResetNewTables();
    return CalResult::Fail(
        "Калибровочная таблица не прочитана: система не ответила.\nПроверьте связь с системой.");
  }
  return SetSourceTables(start, end, step, words, resistances);
}

CalResult TCalTables::SetSourceTables(int start, int end, int step,
                                      const std::vector<std::uint16_t>& words,
                                      const std::vector<std::uint8_t>& resistances) {
  ResetNewTables();
  min_ = start;
  max_ = end;
  step_ = step;
  MinUv.SetCaption(std::to_string(start));
  MaxUv.SetCaption(std::to_string(end));
  StepUv.SetCaption(std::to_string(step));
  SourceCTable.SetRowCount(2);
  SourceRTable.SetRowCount(2);
  for (int c = 0; c < 9; ++c) SourceCTable.SetCell(c, 1, "");
  SourceRTable.SetCell(0, 1, "");
  SourceRTable.SetCell(1, 1, "");
  if (step <= 0 || end < start || start < 0) {
    // Blank or damaged memory: no layout can be derived from these bounds.
    min_ = max_ = step_ = 0;
    return CalResult::Fail("В памяти системы неверные границы калибровочной таблицы: начало " +
                           std::to_string(start) + " кВ, конец " + std::to_string(end) +
                           " кВ, шаг " + std::to_string(step) + " кВ.");
  }
  const int rows = (end - start) / step + 2;
  const int n = end - start + 1;
  if (words.size() != std::size_t(rows) * 8 || resistances.size() != std::size_t(n)) {
    min_ = max_ = step_ = 0;
    return CalResult::Fail("Калибровочная таблица прочитана не полностью.");
  }
  SourceCTable.BeginUpdate();
  SourceCTable.SetRowCount(rows);
  for (int r = 0; r < rows; ++r) {
    SourceCTable.SetCell(0, r, r > 0 ? std::to_string(start + step * (r - 1)) : "");
    for (int c = 1; c <= 8; ++c)
      SourceCTable.SetCell(c, r, std::to_string(std::int16_t(words[std::size_t(r * 8 + c - 1)])));
  }
  SourceCTable.EndUpdate();
  SourceRTable.BeginUpdate();
  SourceRTable.SetRowCount(n + 1);
  for (int i = 1; i <= n; ++i) {
    SourceRTable.SetCell(0, i, std::to_string(start + i - 1));
    SourceRTable.SetCell(1, i, std::to_string(resistances[std::size_t(i - 1)]));
  }
  SourceRTable.EndUpdate();
  return {};
}

void TCalTables::ResetNewTables() {
  NewCTable.SetRowCount(2);
  NewRTable.SetRowCount(2);
  for (int c = 0; c < 9; ++c) {
    NewCTable.SetCell(c, 0, "");
    NewCTable.SetCell(c, 1, "");
  }
  NewRTable.SetCell(0, 1, "");
  NewRTable.SetCell(1, 1, "");
}

int TCalTables::SourceResistance(int kv) const {
  if (step_ <= 0 || kv < min_ || kv > max_) return -1;
  auto v = CellInt(SourceRTable.Cell(1, kv - min_ + 1));
  return v ? *v : -1;
}

std::optional<std::vector<int>> TCalTables::HeaderCurrents() const {
  std::vector<int> h(8);
  for (int c = 1; c <= 8; ++c) {
    auto v = CellInt(SourceCTable.Cell(c, 0));
    if (!v) return std::nullopt;
    h[std::size_t(c - 1)] = *v;
  }
  return h;
}

int TCalTables::TableCode(int kv, int ma) const {
  if (step_ <= 0 || kv < min_ || kv > max_) return -1;
  auto header = HeaderCurrents();
  if (!header) return -1;
  auto H = [&](int c) { return (*header)[std::size_t(c - 1)]; };
  if (ma < H(1) || ma > H(8)) return -1;

  const int q = (kv - min_) / step_;
  const int rLo = q + 1;
  const int rHi = (kv - min_) % step_ == 0 ? rLo : rLo + 1;
  // An end off the step grid leaves voltages above the last grid row without a row to reach.
  if (rHi >= SourceCTable.RowCount()) return -1;

  int cLo = -1, cHi = -1;
  for (int c = 1; c <= 8; ++c) {
    if (H(c) > ma) {
      cLo = c - 1;
      cHi = c;
      break;
    }
    if (H(c) == ma) {
      cLo = cHi = c;
      break;
    }
  }
  // Header currents out of order leave no pair of columns around the current.
  if (cLo < 1 || (cLo != cHi && H(cLo) >= H(cHi))) return -1;

  std::string problem;
  auto valueAt = [&](int row, int& out) {
    int a = 0, b = 0;
    if (cLo == cHi) return Cell(SourceCTable, cLo, row, out, problem);
    if (!Cell(SourceCTable, cLo, row, a, problem) || !Cell(SourceCTable, cHi, row, b, problem))
      return false;
    out = Trunc(Line(H(cLo), a, H(cHi), b, ma));
    return true;
  };
  int vLo = 0, vHi = 0;
  if (!valueAt(rLo, vLo)) return -1;
  if (rLo == rHi) return vLo;
  if (!valueAt(rHi, vHi)) return -1;
  int uLo = 0, uHi = 0;
  if (!Cell(SourceCTable, 0, rLo, uLo, problem) || !Cell(SourceCTable, 0, rHi, uHi, problem))
    return -1;
  return Trunc(Line(uLo, vLo, uHi, vHi, kv));
}

// ----------------------------------------------------------------------------- shot log

void TCalTables::AppendShot(int tabCode, int code, int ia, int uv, int re) {
  const int row = ShotsTable.RowCount() - 1;
  ShotsTable.BeginUpdate();
  const int values[6] = {row, tabCode, code, ia, uv, re};
  for (int c = 0; c < 6; ++c) ShotsTable.SetCell(c, row, std::to_string(values[c]));
  ShotsTable.SetRowCount(row + 2);
  ShotsTable.EndUpdate();
  ShotsTable.SelectCell(ShotsTable.Col(), row);
}

std::optional<ShotRow> TCalTables::ReadShotRow(int k) const {
  if (k < 1 || k > LoggedShots()) return std::nullopt;
  int v[6];
  for (int c = 0; c < 6; ++c) {
    auto x = CellInt(ShotsTable.Cell(c, k));
    if (!x) return std::nullopt;
    v[c] = *x;
  }
  return ShotRow{v[0], v[1], v[2], v[3], v[4], v[5]};
}

bool TCalTables::DeleteLastShot() {
  if (LoggedShots() < 1) return false;
  ShotsTable.BeginUpdate();
  ShotsTable.SetRowCount(ShotsTable.RowCount() - 1);
  const int last = ShotsTable.RowCount() - 1;
  for (int c = 0; c < 6; ++c) ShotsTable.SetCell(c, last, "");
  ShotsTable.EndUpdate();
  return true;
}

// ----------------------------------------------------------------------------- new tables

TCalTables::SweepRows TCalTables::InRangeRows(const SweepShots& shots, bool currents, int lowBound,
                                              int highBound) const {
  // A sweep's final shot counts only when it landed on the bound exactly.
  auto onBound = [&](int row, int bound) {
    auto r = ReadShotRow(row);
    return r && (currents ? r->Ia : r->Uv) == bound;
  };
  const int logged = LoggedShots();
  int m = shots.MiddleShot;
  if (!onBound(m, lowBound)) --m;
  int l = shots.LastShot;
  if (!onBound(l, highBound)) --l;
  SweepRows rows;
  for (int k = std::max(shots.FirstInRange, 1); k <= std::min(m, logged); ++k)
    rows.down.push_back(k);
  for (int k = std::max(shots.MiddleShot + 1, 1); k <= std::min(l, logged); ++k)
    rows.up.push_back(k);
  return rows;
}

CalResult TCalTables::CollectSweepPoints(const SweepRows& rows, int ShotRow::*xField,
                                         int ShotRow::*yField, PointList& x, PointList& y) const {
  for (int k : rows.down) {
    auto r = ReadShotRow(k);
    if (!r) return CalResult::Fail(BadCell(ShotsTable, 0, k));
    x.push_front((*r).*xField);
    y.push_front((*r).*yField);
  }
  for (int k : rows.up) {
    auto r = ReadShotRow(k);
    if (!r) return CalResult::Fail(BadCell(ShotsTable, 0, k));
    x.push_back((*r).*xField);
    y.push_back((*r).*yField);
  }
  return {};
}

CalResult TCalTables::CheckRange(const CalRange& range, int& offset) const {
  if (step_ <= 0) return CalResult::Fail("Исходная калибровочная таблица не прочитана.");
  if (range.StartUv < min_ || range.FinishUv > max_ || range.StartUv > range.FinishUv ||
      (range.StartUv - min_) % step_ != 0)
    return CalResult::Fail("Диапазон калибровки " + std::to_string(range.StartUv) + " - " +
                           std::to_string(range.FinishUv) +
                           " кВ не совпадает с сеткой исходной калибровочной таблицы (" +
                           std::to_string(min_) + " - " + std::to_string(max_) + " кВ, шаг " +
                           std::to_string(step_) + " кВ).");
  offset = (range.StartUv - min_) / step_;
  const int newRows = (range.FinishUv - range.StartUv) / step_ + 2;
  if (newRows - 1 + offset >= SourceCTable.RowCount())
    return CalResult::Fail("Исходная калибровочная таблица короче диапазона калибровки.");
  return {};
}

CalResult TCalTables::ComputeResistanceTable(const CalRange& range, const SweepShots& shots) {
  if (range.StartUv > range.FinishUv || range.StartUv < 0)
    return CalResult::Fail("Неверный диапазон калибровки.");
  const auto rows = InRangeRows(shots, false, range.StartUv, range.FinishUv);
  PointList x, y;
  if (auto r = CollectSweepPoints(rows, &ShotRow::Uv, &ShotRow::Re, x, y); !r) return r;
  if (x.empty())
    return CalResult::Fail("Нет снимков в диапазоне калибровки: таблица Rэ не рассчитана.");
  TPolyFit p(x, y);
  p.Fit(2);
  const int n = range.FinishUv - range.StartUv + 1;
  NewRTable.BeginUpdate();
  NewRTable.SetRowCount(n + 1);
  for (int i = 1; i <= n; ++i) {
    const int u = range.StartUv + i - 1;
    int v = Trunc(p.Value(u) + 2 + 0.55);
    if (v >= 256) v = 255;
    NewRTable.SetCell(0, i, std::to_string(u));
    NewRTable.SetCell(1, i, std::to_string(v));
  }
  NewRTable.EndUpdate();
  return {};
}

CalResult TCalTables::ComputeCalibrationTable(const CalRange& range, const SweepShots& shots,
                                              TransferCurve* curve) {
  int off = 0;
  if (auto r = CheckRange(range, off); !r) return r;
  auto header = HeaderCurrents();
  if (!header) {
    std::string problem;
    int dummy = 0;
    for (int c = 1; c <= 8 && problem.empty(); ++c) Cell(SourceCTable, c, 0, dummy, problem);
    return CalResult::Fail(problem);
  }
  auto rows = InRangeRows(shots, false, range.StartUv, range.FinishUv);
  rows.down.insert(rows.down.end(), rows.up.begin(), rows.up.end());
  PointList x, y;
  for (int k : rows.down) {
    auto r = ReadShotRow(k);
    if (!r) return CalResult::Fail(BadCell(ShotsTable, 0, k));
    const int t = TableCode(r->Uv, r->Ia);
    if (t < 0) continue;  // outside the source table: no correction can be read off it
    x.push_front(r->Ia);
    y.push_front(r->Code - t);
  }
  if (x.empty())
    return CalResult::Fail(
        "Нет снимков в диапазоне калибровки и в пределах исходной таблицы: калибровочная таблица "
        "не рассчитана.");
  TPolyFit p(x, y);
  p.Fit(2);
  // The parabola says nothing about currents no shot reached; beyond them it soon runs away
  // (tens of codes at the table's last current after a series that ended at half of it). The
  // correction there stays what it is at the nearest measured current.
  const double measuredLo = *std::min_element(x.begin(), x.end());
  const double measuredHi = *std::max_element(x.begin(), x.end());
  auto correction = [&](double ma) { return p.Value(std::clamp(ma, measuredLo, measuredHi)); };

  // Every source cell of the range must be a number before anything changes.
  const int newRows = (range.FinishUv - range.StartUv) / step_ + 2;
  std::string problem;
  std::vector<std::vector<int>> source;
  if (!SourceCodes(SourceCTable, newRows, off, source, problem)) return CalResult::Fail(problem);

  if (curve) {
    curve->line.clear();
    curve->points.clear();
    const double first = header->front(), last = header->back();
    for (int k = 0;; ++k) {
      const double xv = first + 0.1 * k;
      if (xv > last + 1e-9) break;
      curve->line.emplace_back(xv, correction(xv));
    }
    for (std::size_t k = 0; k < x.size(); ++k) curve->points.emplace_back(x[k], y[k]);
  }

  NewCTable.BeginUpdate();
  NewCTable.SetRowCount(newRows);
  for (int c = 0; c < 9; ++c) NewCTable.SetCell(c, 0, SourceCTable.Cell(c, 0));
  for (int i = 1; i < newRows; ++i)
    NewCTable.SetCell(0, i, std::to_string(range.StartUv + step_ * (i - 1)));
  for (int c = 1; c <= 8; ++c) {
    const int corr = Trunc(correction((*header)[std::size_t(c - 1)]) + 0.5);
    for (int i = 1; i < newRows; ++i)
      NewCTable.SetCell(c, i, std::to_string(source[std::size_t(i)][std::size_t(c)] + corr));
  }
  NewCTable.EndUpdate();
  return {};
}

CalResult TCalTables::ComputeCalibrationTableK3(const CalRange& range, const SweepShots& firstPass,
                                                const SweepShots& secondPass,
                                                std::vector<int>* keptCurrents) {
  if (keptCurrents) keptCurrents->clear();
  int off = 0;
  if (auto r = CheckRange(range, off); !r) return r;
  auto header = HeaderCurrents();
  if (!header) return CalResult::Fail(BadCell(SourceCTable, 1, 0));
  const int i1 = header->front(), i8 = header->back();

  auto fitPass = [&](const SweepShots& pass, PointList& x, PointList& y) -> CalResult {
    const auto rows = InRangeRows(pass, true, i1, i8);
    if (auto r = CollectSweepPoints(rows, &ShotRow::Ia, &ShotRow::Code, x, y); !r) return r;
    if (x.empty())
      return CalResult::Fail("Нет снимков характеристики: калибровочная таблица не рассчитана.");
    return {};
  };
  PointList x1, y1, x2, y2;
  if (auto r = fitPass(firstPass, x1, y1); !r) return r;
  if (auto r = fitPass(secondPass, x2, y2); !r) return r;
  TPolyFit p1(x1, y1), p2(x2, y2);
  p1.Fit(2);
  p2.Fit(2);

  const int newRows = (range.FinishUv - range.StartUv) / step_ + 2;
  const int last = newRows - 1;
  std::string problem;
  std::vector<std::vector<int>> src;
  if (!SourceCodes(SourceCTable, newRows, off, src, problem)) return CalResult::Fail(problem);

  NewCTable.BeginUpdate();
  NewCTable.SetRowCount(newRows);
  for (int c = 0; c < 9; ++c) NewCTable.SetCell(c, 0, SourceCTable.Cell(c, 0));
  for (int i = 1; i < newRows; ++i)
    NewCTable.SetCell(0, i, std::to_string(range.StartUv + step_ * (i - 1)));
  for (int c = 1; c <= 8; ++c) {
    const double cur = (*header)[std::size_t(c - 1)];
    const double a = src[1][std::size_t(c)], b = src[std::size_t(last)][std::size_t(c)];
    if (a == b && last > 2) {
      // Rows between the bounds are placed by where they lie between the column's values at
      // the bounds; with equal values there is no such place. The column stays as it was, and
      // the engineer can move it by hand.
      for (int j = 1; j <= last; ++j)
        NewCTable.SetCell(c, j, std::to_string(src[std::size_t(j)][std::size_t(c)]));
      if (keptCurrents) keptCurrents->push_back((*header)[std::size_t(c - 1)]);
      continue;
    }
    const double v1 = p1.Value(cur), v2 = p2.Value(cur);
    for (int j = 2; j < last; ++j) {
      const double v = src[std::size_t(j)][std::size_t(c)];
      const double mapped = ((v - b) * v1 + (a - v) * v2) / (a - b);
      NewCTable.SetCell(c, j, std::to_string(Trunc(mapped + 0.5)));
    }
    // In a table of one row the upper bound's value wins.
    NewCTable.SetCell(c, 1, std::to_string(Trunc(v1 + 0.5)));
    NewCTable.SetCell(c, last, std::to_string(Trunc(v2 + 0.5)));
  }
  NewCTable.EndUpdate();
  return {};
}

std::optional<int> TCalTables::CurrentShift(int ma, const CalRange& range) const {
  int off = 0;
  if (!CheckRange(range, off)) return std::nullopt;
  for (int c = 1; c <= 8; ++c) {
    auto h = CellInt(SourceCTable.Cell(c, 0));
    if (!h || *h != ma) continue;
    auto n = CellInt(NewCTable.Cell(c, 1));
    auto s = CellInt(SourceCTable.Cell(c, 1 + off));
    if (!n || !s) return std::nullopt;
    return *n - *s;
  }
  return std::nullopt;
}

CalResult TCalTables::ManualShift(int ma, int shift, const CalRange& range) {
  int off = 0;
  if (auto r = CheckRange(range, off); !r) return r;
  shift = std::clamp(shift, -caltable::kMaxShift, caltable::kMaxShift);
  int col = -1;
  for (int c = 1; c <= 8 && col < 0; ++c)
    if (auto h = CellInt(NewCTable.Cell(c, 0)); h && *h == ma) col = c;
  if (col < 0)
    return CalResult::Fail("В новой калибровочной таблице нет столбца тока " + std::to_string(ma) +
                           " мА.");
  const int rows = NewCTable.RowCount();
  if (rows - 1 + off >= SourceCTable.RowCount())
    return CalResult::Fail("Новая калибровочная таблица не соответствует исходной.");
  std::string problem;
  std::vector<int> values(std::size_t(rows), 0);
  for (int i = 1; i < rows; ++i)
    if (!Cell(SourceCTable, col, i + off, values[std::size_t(i)], problem))
      return CalResult::Fail(problem);
  NewCTable.BeginUpdate();
  for (int i = 1; i < rows; ++i)
    NewCTable.SetCell(col, i, std::to_string(values[std::size_t(i)] + shift));
  NewCTable.EndUpdate();
  return {};
}

// ----------------------------------------------------------------------------- leaving

CalResult TCalTables::TablesImageBlocks(const CalRange& range, bool k3,
                                        std::vector<ImageBlock>& blocks) const {
  blocks.clear();
  const int s = range.StartUv, f = range.FinishUv, step = step_;
  if (step <= 0 || s < 0 || f < s || f > 0xFFFF)
    return CalResult::Fail(
        "Неверный диапазон калибровки или шаг таблицы: новые таблицы не "
        "записаны.");
  const int rows = (f - s) / step + 2;
  if (NewCTable.RowCount() != rows)
    return CalResult::Fail("Новая калибровочная таблица не рассчитана для диапазона " +
                           std::to_string(s) + " - " + std::to_string(f) +
                           " кВ: таблицы не записаны.");
  const std::size_t tableEnd = caltable::kTableOffset + std::size_t(rows) * 16;
  if (!k3) {
    const std::size_t rFrom = caltable::kResistanceBase + std::size_t(s);
    const std::size_t rEnd = caltable::kResistanceBase + std::size_t(f) + 1;
    if (NewRTable.RowCount() != f - s + 2)
      return CalResult::Fail("Новая таблица Rэ не рассчитана для диапазона " + std::to_string(s) +
                             " - " + std::to_string(f) + " кВ: таблицы не записаны.");
    if (tableEnd > rFrom || rEnd > caltable::kResistanceLimit)
      return CalResult::Fail(
          "Калибровочная таблица и таблица Rэ этого диапазона не помещаются в отведённую им память "
          "(0x210 - 0x3FD): таблицы не записаны.");
  } else if (tableEnd > caltable::kResistanceBase) {
    return CalResult::Fail(
        "Калибровочная таблица этого диапазона не помещается в отведённую ей память "
        "(0x210 - 0x2FF): таблица не записана.");
  }

  std::string problem;
  ImageBlock bounds{caltable::kBoundsOffset, {}};
  PutWord(bounds.bytes, s);
  PutWord(bounds.bytes, f);
  PutWord(bounds.bytes, step);
  ImageBlock table{caltable::kTableOffset, {}};
  for (int r = 0; r < rows; ++r)
    for (int c = 1; c <= 8; ++c) {
      int v = 0;
      if (!Cell(NewCTable, c, r, v, problem)) return CalResult::Fail(problem);
      if (v < -32768 || v > 65535)
        return CalResult::Fail("В новой калибровочной таблице значение " + std::to_string(v) +
                               " (столбец " + std::to_string(c) + ", строка " + std::to_string(r) +
                               ") не помещается в 16 бит.");
      PutWord(table.bytes, v);
    }
  blocks.push_back(std::move(bounds));
  blocks.push_back(std::move(table));
  if (!k3) {
    ImageBlock res{caltable::kResistanceBase + std::size_t(s), {}};
    for (int i = 1; i < NewRTable.RowCount(); ++i) {
      int v = 0;
      if (!Cell(NewRTable, 1, i, v, problem)) return CalResult::Fail(problem);
      // A figure the fit drove below 0 or above 255 is stored at the nearest limit: its low byte
      // would turn a small resistance into a large one.
      res.bytes.push_back(std::uint8_t(std::clamp(v, 0, 255)));
    }
    blocks.push_back(std::move(res));
  }
  return {};
}

CalResult TCalTables::ApplyTablesToImage(const CalRange& range, bool k3) {
  std::vector<ImageBlock> blocks;
  if (auto r = TablesImageBlocks(range, k3, blocks); !r) return r;
  TConfigWorkflows* wf = TheConfigWorkflows();
  if (!wf) return CalResult::Fail("Образ памяти не загружен: таблицы не записаны.");
  auto& image = wf->Host().CurrentImage();
  if (!image) return CalResult::Fail("Образ памяти не загружен: таблицы не записаны.");
  // All or nothing: the bounds must never describe a table that did not get written.
  for (const auto& b : blocks) {
    if (b.offset + b.bytes.size() > std::size_t(image->Length())) {
      wf->StoreIntoImage(b.offset, b.bytes);  // refused there with the image's warning
      return CalResult::Fail("Таблицы не помещаются в образ памяти: образ не изменён.");
    }
  }
  for (const auto& b : blocks)
    if (!wf->StoreIntoImage(b.offset, b.bytes))
      return CalResult::Fail("Таблицы не записаны в образ памяти.");
  return {};
}

CalResult TCalTables::ExportText(const CalRange& range, bool k3, std::string& text) const {
  text.clear();
  std::vector<ImageBlock> blocks;
  if (auto r = TablesImageBlocks(range, k3, blocks); !r) return r;
  // Values go out as the bytes they become, so the text reads back to exactly those bytes.
  auto word = [](const std::vector<std::uint8_t>& b, std::size_t i) {
    return std::to_string(unsigned(b[i]) * 256 + b[i + 1]);
  };
  std::string t = "$16bitformat\n#2\n>0\n";
  const auto& bounds = blocks[0].bytes;
  // Appended piece by piece: GCC 12 takes "literal" + string for an overlapping copy (-Wrestrict).
  for (std::size_t i = 0; i < 6; i += 2) {
    t += '\t';
    t += word(bounds, i);
    t += '\n';
  }
  t += ">10\n";
  const auto& table = blocks[1].bytes;
  const int rows = NewCTable.RowCount();
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < 8; ++c) t += word(table, std::size_t(r * 16 + c * 2)) + "\t";
    t += ";";
    if (r > 0) t += std::to_string(range.StartUv + step_ * (r - 1));
    t += "\n";
  }
  t += "\n$8bitformat\n#3\n>" + Hex2(range.StartUv & 0xFF) + "\n";
  if (!k3) {
    const auto& res = blocks[2].bytes;
    for (std::size_t i = 0; i < res.size(); ++i)
      t += std::to_string(res[i]) + ((i + 1) % 10 == 0 ? "\n" : "\t");
    t += "\n";
  }
  // The text must read back through the converter before anyone gets it.
  std::vector<std::uint8_t> check(caltable::kResistanceLimit + 2, 0);
  DatError error;
  if (!ParseDatText(t, check, &error))
    return CalResult::Fail("Текст таблиц не прошёл проверку: " + error.Describe());
  text = std::move(t);
  return {};
}

CalResult TCalTables::ExportTables(const std::filesystem::path& path, const CalRange& range,
                                   bool k3) const {
  std::string text;
  if (auto r = ExportText(range, k3, text); !r) return r;
  if (!platform::WriteFileAtomic(path, text))
    return CalResult::Fail("Не удалось записать файл\n" + path.string());
  return {};
}

}  // namespace kvt
