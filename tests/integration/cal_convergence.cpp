// The calibration finds the truth: on the shipped simulated plant (an aged tube, a generator
// whose resistance differs from the stored figures, regulation error and measurement noise), with
// the measuring channels adjusted first, one automatic calibration over the whole table brings
// the filament codes close to the codes the tube truly needs, and a second one on its result
// does not undo that.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <set>
#include <utility>

#include "calibration/CalRun.h"
#include "integration/cal_fixture.h"
#include "integration/term_fixture.h"
#include "sim/Truth.h"

namespace kvt {
namespace {

struct CodeError {
  double mean = 0;
  int worst = 0;
};

// A cell of the table: its voltage and its column's current.
using Cell = std::pair<int, int>;

class CalConvergence : public termtest::TermFixture {
 protected:
  void SetUp() override {
    profile_ = apparatus_->CurrentProfile();
    // The channel adjustment comes first: the calibration reads voltages through KUAN and the
    // supply through KMES.
    apparatus_->WriteMemory(0x13, {std::uint8_t(std::lround(sim::truth::Kuan(profile_)))});
    apparatus_->WriteMemory(0x15, {std::uint8_t(std::lround(sim::truth::Kmes(profile_)))});
    apparatus_->CommitBank(0);
    apparatus_->SetState(8);
  }

  // The table in the apparatus against the truth: over the rows from..to, or over the given
  // cells only.
  CodeError ErrorOfApparatusTable(int from, int to, const std::set<Cell>* only = nullptr) {
    const auto mem = SimMemory(0x300);
    auto word = [&](std::size_t a) { return int(std::int16_t(mem[a] << 8 | mem[a + 1])); };
    const int start = word(0x200), end = word(0x202), step = word(0x204);
    CodeError e;
    int cells = 0;
    long sum = 0;
    for (int kv = start, r = 1; kv <= end; kv += step, ++r) {
      if (kv < from || kv > to) continue;
      for (int c = 0; c < 8; ++c) {
        const int ma = word(0x210 + std::size_t(c) * 2);
        if (only && !only->count({kv, ma})) continue;
        const int code = word(0x210 + std::size_t(r * 16 + c * 2));
        const int d = std::abs(code - int(std::lround(sim::truth::FilamentCode(profile_, kv, ma))));
        sum += d;
        e.worst = std::max(e.worst, d);
        ++cells;
      }
    }
    e.mean = cells ? double(sum) / cells : 1e9;
    return e;
  }

  // The cells around the shots: the grid rows and current columns that bracket each measured
  // point. A sweep runs along the generator's load line, so these are the cells it measured.
  std::set<Cell> CellsAroundShots() {
    const auto mem = SimMemory(0x300);
    auto word = [&](std::size_t a) { return int(std::int16_t(mem[a] << 8 | mem[a + 1])); };
    const int start = word(0x200), end = word(0x202), step = word(0x204);
    std::set<Cell> cells;
    for (auto [uv, ia] : shots_) {
      if (uv < start || uv > end) continue;
      const int lo = start + (uv - start) / step * step;
      const int hi = (uv - start) % step ? lo + step : lo;
      for (int c = 0; c < 8; ++c) {
        const int h = word(0x210 + std::size_t(c) * 2);
        const int next = c < 7 ? word(0x210 + std::size_t(c + 1) * 2) : h;
        if (h == ia || (h < ia && ia < next)) {
          for (int kv : {lo, hi})
            for (int m : {h, h == ia ? h : next}) cells.insert({kv, m});
        }
      }
    }
    return cells;
  }

  // One automatic calibration; its tables then go into the apparatus as OK and translate put
  // them there.
  void Calibrate(int& shots) {
    CalRunOptions o = caltest::QuickRunOptions(dir_.Path() / "caltable.ini");
    o.onShot = [&](const ShotRow& row, int) {
      ++shots;
      shots_.push_back({row.Uv, row.Ia});
    };
    TCalRun run(o);
    ASSERT_TRUE(run.Prepare().ok);
    const CalResult r = run.Run();
    ASSERT_TRUE(r.ok) << r.problem;
    std::vector<TCalTables::ImageBlock> blocks;
    ASSERT_TRUE(run.Tables_.TablesImageBlocks(run.Range_, false, blocks).ok);
    for (const auto& b : blocks) apparatus_->WriteMemory(std::uint32_t(b.offset), b.bytes);
    for (int bank = 2; bank <= 3; ++bank) apparatus_->CommitBank(bank);
  }

  sim::Profile profile_;
  std::vector<std::pair<int, int>> shots_;
};

TEST_F(CalConvergence, AutomaticCalibrationConvergesOnTheTruthAndStaysThere) {
  const CodeError factory = ErrorOfApparatusTable(40, 120);
  const auto factoryTable = SimMemory(0x300);
  int shots1 = 0, shots2 = 0;
  Calibrate(shots1);
  const CodeError first = ErrorOfApparatusTable(40, 120);
  const std::set<Cell> measured = CellsAroundShots();
  const CodeError firstMeasured = ErrorOfApparatusTable(40, 120, &measured);
  Calibrate(shots2);
  const CodeError second = ErrorOfApparatusTable(40, 120);
  const CodeError secondMeasured = ErrorOfApparatusTable(40, 120, &measured);
  const auto calibrated = SimMemory(0x300);
  apparatus_->WriteMemory(0, factoryTable);
  const CodeError factoryMeasured = ErrorOfApparatusTable(40, 120, &measured);
  apparatus_->WriteMemory(0, calibrated);

  std::printf(
      "code error against the truth, mean / worst\n"
      "  %zu cells around the shots: factory %.2f / %d, first calibration (%d shots) %.2f / %d, "
      "second (%d shots) %.2f / %d\n"
      "  all 72 cells of 40..120 kV: factory %.2f / %d, first %.2f / %d, second %.2f / %d\n",
      measured.size(), factoryMeasured.mean, factoryMeasured.worst, shots1, firstMeasured.mean,
      firstMeasured.worst, shots2, secondMeasured.mean, secondMeasured.worst, factory.mean,
      factory.worst, first.mean, first.worst, second.mean, second.worst);

  ASSERT_GE(measured.size(), 20u);
  EXPECT_LE(firstMeasured.mean, factoryMeasured.mean / 3);
  // Away from the shots the table still moves the right way, and no cell gets worse than the
  // factory table's worst.
  EXPECT_LT(first.mean, factory.mean / 2);
  EXPECT_LE(first.worst, factory.worst);
  // A second calibration starts from a table that is already right and keeps it so.
  EXPECT_LE(secondMeasured.mean, firstMeasured.mean + 0.25);
  EXPECT_LE(second.mean, first.mean + 0.25);
  EXPECT_LE(second.worst, factory.worst);
}

}  // namespace
}  // namespace kvt
