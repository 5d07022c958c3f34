// The grid sweep's parts of the calibration tables: the source table read in log(kV) and log(mA),
// the code that aims a grid shot, and the grid sweep's position in the state file.

#include <gtest/gtest.h>

#include <cmath>

#include "calibration/CalTables.h"
#include "support/TempDir.h"

namespace kvt {
namespace {

// A table 40..60 kV whose codes are straight in log(mA) and in log(kV), as a tube's are.
double Nominal(double kv, double ma) {
  return 800 + 120 * std::log(ma / 100) - 42 * std::log(kv / 100);
}

void FillNominal(TCalTables& t) {
  const int header[8] = {50, 75, 100, 125, 150, 175, 200, 250};
  std::vector<std::uint16_t> words(header, header + 8);
  for (int kv = 40; kv <= 60; kv += 10)
    for (int ma : header) words.push_back(std::uint16_t(std::lround(Nominal(kv, ma))));
  ASSERT_TRUE(t.SetSourceTables(40, 60, 10, words, std::vector<std::uint8_t>(21, 150)).ok);
}

TEST(TablesGrid, SourceCodeFollowsTheTableInLogsInsideAndOutside) {
  TCalTables t;
  FillNominal(t);
  // A cell is itself.
  EXPECT_DOUBLE_EQ(*t.SourceCodeAt(50, 100), std::lround(Nominal(50, 100)));
  // Between the columns and rows the table's own straight lines in the logs hold to its
  // rounding; beyond the table they go on, the cells' rounding growing with the distance.
  for (double kv : {45.0, 13.0, 33.0, 80.0})
    for (double ma : {62.0, 230.0, 30.0, 300.0}) {
      const bool inside = kv >= 40 && kv <= 60 && ma >= 50 && ma <= 250;
      EXPECT_NEAR(*t.SourceCodeAt(kv, ma), Nominal(kv, ma), inside ? 1.0 : 3.0)
          << kv << " kV " << ma << " mA";
    }
  EXPECT_FALSE(t.SourceCodeAt(0, 100));
  t.SourceCTable.SetCell(3, 2, "x");
  EXPECT_FALSE(t.SourceCodeAt(50, 100));
}

TEST(TablesGrid, GridShotCodeAimsAlongTheNearestShotsAndMovesAtMostMaxMove) {
  // Current e-folds every 100 codes around the last shots.
  std::vector<ShotRow> shots;
  for (int code : {700, 710, 720, 730})
    shots.push_back({0, 0, code, int(std::lround(100 * std::exp((code - 700) / 100.0))), 60, 150});
  const int aimed = *GridShotCode(shots, 140, 50);
  EXPECT_NEAR(aimed, 700 + 100 * std::log(1.4), 2);
  EXPECT_EQ(*GridShotCode(shots, 300, 50), 730 + 50);
  EXPECT_EQ(*GridShotCode(shots, 20, 50), 700 - 50);
  EXPECT_FALSE(GridShotCode({}, 140, 50));
}

TEST(TablesGrid, StateFileKeepsTheGridSweepAndForgetsAnOldOne) {
  testsupport::TempDir dir;
  const auto file = dir / "caltable.ini";
  TCalTables t;
  for (int k = 1; k <= 10; ++k) t.AppendShot(400, 410 + k, 100 + k, 60, 150);
  ProcedureInfo info;
  info.Stage = 6;
  info.GridFirst = 9;
  ASSERT_TRUE(t.SaveProcedureState(file, info).ok);
  ProcedureInfo back;
  TCalTables u;
  ASSERT_TRUE(u.LoadProcedureState(file, back).ok);
  EXPECT_EQ(back.Stage, 6);
  EXPECT_EQ(back.GridFirst, 9);

  // A later run without a grid sweep rewrites the key: its series does not end at shot 8.
  info.Stage = 5;
  info.GridFirst = 0;
  ASSERT_TRUE(t.SaveProcedureState(file, info).ok);
  back.GridFirst = 9;
  ASSERT_TRUE(u.LoadProcedureState(file, back).ok);
  EXPECT_EQ(back.GridFirst, 0);

  // Stage 6 is type K2's only.
  info.Stage = 6;
  ASSERT_TRUE(t.SaveProcedureState(dir / "caltablek3.ini", info, true).ok);
  EXPECT_FALSE(u.LoadProcedureState(dir / "caltablek3.ini", back, true).ok);
}

}  // namespace
}  // namespace kvt
