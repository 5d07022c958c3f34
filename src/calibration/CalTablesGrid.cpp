// The grid sweep's side of the calibration tables: which header currents the series left without
// a shot near them, the code that aims a shot at one of them, and the new table fitted from all
// shots over the anode voltage.
//
// Why over the voltage: a type-K2 shot by filament code lands on the generator's load line, so
// along a sweep every current comes with its own voltage, and a correction fitted over the current
// (the default computation) moves a whole column by what was measured at one voltage. A tube that
// has lost emission needs the same extra heating at a voltage whatever the current (its current
// is the new tube's times a factor), but that factor changes with the voltage (space charge). So
// the correction is taken against the source table read in log(mA), where the code is a straight
// line, and fitted over kV; each row then moves by the correction at its own voltage.

#include <algorithm>
#include <cmath>

#include "calibration/CalTables.h"

namespace kvt {

namespace {

// Where x falls among ascending xs: the two indices to interpolate (or continue) between and the
// fraction of the way from the first to the second. A single abscissa gives that one point.
struct Span {
  std::size_t lo = 0, hi = 0;
  double t = 0;
};

Span Locate(const std::vector<double>& xs, double x) {
  Span s;
  if (xs.size() < 2) return s;
  std::size_t i = 0;
  while (i + 2 < xs.size() && x > xs[i + 1]) ++i;
  s.lo = i;
  s.hi = i + 1;
  const double w = xs[s.hi] - xs[s.lo];
  s.t = w != 0 ? (x - xs[s.lo]) / w : 0;
  return s;
}

double Between(const Span& s, double a, double b) {
  return a + (b - a) * s.t;
}

CalResult NotANumber(int col, int row) {
  std::string why = "В исходной калибровочной таблице ячейка (столбец ";
  why += std::to_string(col);
  why += ", строка ";
  why += std::to_string(row);
  why += ") не является целым числом.";
  return CalResult::Fail(why);
}

}  // namespace

std::optional<double> TCalTables::SourceCodeAt(double kv, double ma) const {
  if (!(kv > 0) || !(ma > 0)) return std::nullopt;
  const auto header = HeaderCurrents();
  if (!header) return std::nullopt;
  std::vector<double> lnI;
  for (int h : *header) {
    if (h <= 0 || (!lnI.empty() && std::log(double(h)) <= lnI.back())) return std::nullopt;
    lnI.push_back(std::log(double(h)));
  }
  std::vector<double> lnU;
  std::vector<int> rows;
  for (int r = 1; r < SourceCTable.RowCount(); ++r) {
    const auto u = CellInt(SourceCTable.Cell(0, r));
    if (!u || *u <= 0 || (!lnU.empty() && std::log(double(*u)) <= lnU.back())) return std::nullopt;
    lnU.push_back(std::log(double(*u)));
    rows.push_back(r);
  }
  if (rows.empty()) return std::nullopt;
  const Span across = Locate(lnI, std::log(ma));
  auto atRow = [&](std::size_t i) -> std::optional<double> {
    const auto a = CellInt(SourceCTable.Cell(int(across.lo) + 1, rows[i]));
    const auto b = CellInt(SourceCTable.Cell(int(across.hi) + 1, rows[i]));
    if (!a || !b) return std::nullopt;
    return Between(across, *a, *b);
  };
  // Outside the rows the slope comes from a line through up to three end rows: the step between
  // two neighbouring rows is too short to carry a rounding of the cells far out.
  const double x = std::log(kv);
  if (rows.size() >= 3 && (x < lnU.front() || x > lnU.back())) {
    const std::size_t first = x < lnU.front() ? 0 : rows.size() - 3;
    PointList xs, ys;
    for (std::size_t i = first; i < first + 3; ++i) {
      const auto v = atRow(i);
      if (!v) return std::nullopt;
      xs.push_back(lnU[i]);
      ys.push_back(*v);
    }
    TPolyFit line(xs, ys);
    line.Fit(1);
    const std::size_t end = x < lnU.front() ? 0 : rows.size() - 1;
    const auto v = atRow(end);
    if (!v) return std::nullopt;
    const double slope = line.Degree() == 1 ? line.Coefficients()[0] : 0;
    return *v + slope * (x - lnU[end]);
  }
  const Span down = Locate(lnU, x);
  const auto a = atRow(down.lo);
  const auto b = atRow(down.hi);
  if (!a || !b) return std::nullopt;
  return Between(down, *a, *b);
}

std::vector<ShotRow> TCalTables::UsableShots(int firstShot) const {
  std::vector<ShotRow> shots;
  for (int k = std::max(firstShot, 1); k <= LoggedShots(); ++k) {
    const auto r = ReadShotRow(k);
    if (r && r->Ia > 0 && r->Uv > 0) shots.push_back(*r);
  }
  return shots;
}

std::vector<int> TCalTables::UnreachedCurrents(int firstShot) const {
  std::vector<int> unreached;
  const auto header = HeaderCurrents();
  if (!header) return unreached;
  const auto shots = UsableShots(firstShot);
  for (int h : *header) {
    if (h <= 0) continue;
    const bool reached = std::any_of(shots.begin(), shots.end(), [&](const ShotRow& s) {
      return std::abs(std::log(double(s.Ia) / h)) <= kGridReach;
    });
    if (!reached) unreached.push_back(h);
  }
  return unreached;
}

std::optional<int> GridShotCode(const std::vector<ShotRow>& shots, int targetMa, int maxMove) {
  if (shots.empty() || targetMa <= 0) return std::nullopt;
  const double target = std::log(double(targetMa));
  auto distance = [&](const ShotRow& s) { return std::abs(std::log(double(s.Ia)) - target); };
  std::vector<ShotRow> near = shots;
  std::sort(near.begin(), near.end(),
            [&](const ShotRow& a, const ShotRow& b) { return distance(a) < distance(b); });
  const ShotRow nearest = near.front();
  // The slope of log(current) over the code where the target lies: along the load line it
  // flattens as the current grows (the voltage falls), so only the nearest shots give it.
  near.resize(std::min<std::size_t>(near.size(), 4));
  PointList codes, logs;
  for (const ShotRow& s : near) {
    codes.push_back(s.Code);
    logs.push_back(std::log(double(s.Ia)));
  }
  TPolyFit line(codes, logs);
  const bool sloped = line.Fit(1) && line.Coefficients()[0] > 1e-6;
  const double gap = target - std::log(double(nearest.Ia));
  int move = 0;
  if (sloped) {
    const double m = gap / line.Coefficients()[0];
    move = int(std::lround(std::clamp(m, -double(maxMove), double(maxMove))));
  } else {
    // No slope to go by: one full move towards the target.
    move = gap > 0 ? maxMove : -maxMove;
  }
  return nearest.Code + move;
}

CalResult TCalTables::ComputeCalibrationTableGrid(const CalRange& range, const SweepShots& shots,
                                                  TransferCurve* curve) {
  int off = 0;
  if (auto r = CheckRange(range, off); !r) return r;
  for (int c = 1; c <= 8; ++c)
    if (!CellInt(SourceCTable.Cell(c, 0))) return NotANumber(c, 0);
  PointList uv, d, ia;
  for (const ShotRow& s : UsableShots(shots.FirstInRange)) {
    const auto t = SourceCodeAt(s.Uv, s.Ia);
    if (!t) continue;
    uv.push_back(s.Uv);
    ia.push_back(s.Ia);
    d.push_back(s.Code - *t);
  }
  if (uv.empty())
    return CalResult::Fail(
        "Нет снимков, для которых исходная калибровочная таблица дает код накала: калибровочная "
        "таблица не рассчитана.");
  TPolyFit p(uv, d);
  p.Fit(2);
  // The parabola is held at its values at the outermost measured voltages: past them it says
  // nothing.
  const double lo = *std::min_element(uv.begin(), uv.end());
  const double hi = *std::max_element(uv.begin(), uv.end());
  auto correction = [&](double kv) { return p.Value(std::clamp(kv, lo, hi)); };

  const int newRows = (range.FinishUv - range.StartUv) / step_ + 2;
  std::vector<std::vector<int>> source(std::size_t(newRows), std::vector<int>(9, 0));
  for (int i = 1; i < newRows; ++i)
    for (int c = 1; c <= 8; ++c) {
      const auto v = CellInt(SourceCTable.Cell(c, i + off));
      if (!v) return NotANumber(c, i + off);
      source[std::size_t(i)][std::size_t(c)] = *v;
    }

  if (curve) {
    // The transfer chart is over the current: the fitted correction at each shot's voltage.
    curve->line.clear();
    curve->points.clear();
    std::vector<std::pair<double, double>> line;
    for (std::size_t k = 0; k < uv.size(); ++k) {
      line.emplace_back(ia[k], correction(uv[k]));
      curve->points.emplace_back(ia[k], d[k]);
    }
    std::sort(line.begin(), line.end());
    curve->line = std::move(line);
  }

  NewCTable.BeginUpdate();
  NewCTable.SetRowCount(newRows);
  for (int c = 0; c < 9; ++c) NewCTable.SetCell(c, 0, SourceCTable.Cell(c, 0));
  for (int i = 1; i < newRows; ++i) {
    const int kv = range.StartUv + step_ * (i - 1);
    const int corr = int(std::floor(correction(kv) + 0.5));
    NewCTable.SetCell(0, i, std::to_string(kv));
    for (int c = 1; c <= 8; ++c)
      NewCTable.SetCell(c, i, std::to_string(source[std::size_t(i)][std::size_t(c)] + corr));
  }
  NewCTable.EndUpdate();
  return {};
}

}  // namespace kvt
