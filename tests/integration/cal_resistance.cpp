// The resistance table a calibration computes, on the shipped simulated plant with the measuring
// channels adjusted first (each shot's resistance is worked out from the supply reading, so an
// unadjusted KMES would carry its error into every cell): closer to the generator's true
// resistance than the factory table.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "calibration/CalRun.h"
#include "integration/cal_fixture.h"
#include "integration/term_fixture.h"
#include "sim/Truth.h"

namespace kvt {
namespace {

class CalResistance : public termtest::TermFixture {};

TEST_F(CalResistance, CalibratedTableIsCloserToTheTruthThanTheFactoryOne) {
  const sim::Profile profile = apparatus_->CurrentProfile();
  apparatus_->WriteMemory(0x13, {std::uint8_t(std::lround(sim::truth::Kuan(profile)))});
  apparatus_->WriteMemory(0x15, {std::uint8_t(std::lround(sim::truth::Kmes(profile)))});
  apparatus_->CommitBank(0);
  apparatus_->SetState(8);

  CalRunOptions o = caltest::QuickRunOptions(dir_.Path() / "caltable.ini");
  o.from = 40;
  o.to = 120;
  TCalRun run(o);
  ASSERT_TRUE(run.Prepare().ok);
  const CalResult r = run.Run();
  ASSERT_TRUE(r.ok) << r.problem;

  double factorySum = 0, newSum = 0;
  int cells = 0, newWorst = 0;
  for (int kv = 40; kv <= 120; ++kv) {
    const double truth = sim::truth::Resistance(profile, kv);
    const auto made = CellInt(run.Tables_.NewRTable.Cell(1, kv - 40 + 1));
    ASSERT_TRUE(made) << kv;
    factorySum += std::abs(run.Tables_.SourceResistance(kv) - truth);
    newSum += std::abs(*made - truth);
    newWorst = std::max(newWorst, int(std::lround(std::abs(*made - truth))));
    ++cells;
  }
  std::printf("resistance error, mean: factory %.2f, calibrated %.2f (worst %d)\n",
              factorySum / cells, newSum / cells, newWorst);
  EXPECT_LT(newSum / cells, factorySum / cells / 2);
}

}  // namespace
}  // namespace kvt
