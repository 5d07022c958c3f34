// The calibration tables: the interpolation of a filament code, the shot log, the new tables
// computed from a series, the manual shift, the bytes they become and their ".dat" export.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "calibration/CalTables.h"
#include "image/ConvertDat.h"

namespace kvt {
namespace {

const int kHeader[8] = {50, 75, 100, 125, 150, 175, 200, 250};

// A plane: the code falls by 3 per kilovolt and rises by 2 per milliampere.
int PlaneCode(int kv, int ma) {
  return 1000 - 3 * kv + 2 * ma;
}

class TablesModel : public ::testing::Test {
 protected:
  void Load(int start, int end, int step) {
    std::vector<std::uint16_t> words(kHeader, kHeader + 8);
    for (int r = 1; r <= (end - start) / step + 1; ++r)
      for (int c = 0; c < 8; ++c)
        words.push_back(std::uint16_t(PlaneCode(start + step * (r - 1), kHeader[c])));
    std::vector<std::uint8_t> res;
    for (int kv = start; kv <= end; ++kv) res.push_back(std::uint8_t(kv));
    ASSERT_TRUE(t.SetSourceTables(start, end, step, words, res).ok);
  }
  // A logged shot: its table code is what the source table says for it.
  void Shot(int code, int ia, int uv, int re) {
    t.AppendShot(t.TableCode(uv, ia), code, ia, uv, re);
  }
  TCalTables t;
};

TEST_F(TablesModel, SourceTablesLaidOutByRowVoltage) {
  Load(40, 120, 10);
  EXPECT_EQ(t.SourceCTable.RowCount(), 10);
  EXPECT_EQ(t.SourceCTable.Cell(0, 0), "");
  EXPECT_EQ(t.SourceCTable.Cell(0, 1), "40");
  EXPECT_EQ(t.SourceCTable.Cell(0, 9), "120");
  EXPECT_EQ(t.SourceCTable.Cell(8, 0), "250");
  EXPECT_EQ(t.SourceCTable.Cell(3, 2), std::to_string(PlaneCode(50, 100)));
  EXPECT_EQ(t.SourceRTable.RowCount(), 82);
  EXPECT_EQ(t.SourceRTable.Cell(0, 0), "  Uв");
  EXPECT_EQ(t.MaxUv.Caption(), "120");
  EXPECT_EQ(t.SourceResistance(40), 40);
  EXPECT_EQ(t.SourceResistance(120), 120);
  EXPECT_EQ(t.SourceResistance(39), -1);
  EXPECT_EQ(t.SourceResistance(121), -1);
}

TEST_F(TablesModel, ImpossibleBoundsLeaveNoTable) {
  for (auto [s, e, st] : {std::tuple{40, 120, 0}, {120, 40, 10}, {40, 120, -10}}) {
    auto r = t.SetSourceTables(s, e, st, {}, {});
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.problem.empty());
    EXPECT_EQ(t.SourceCTable.RowCount(), 2);
    EXPECT_EQ(t.TableCode(60, 100), -1);
    EXPECT_EQ(t.SourceResistance(60), -1);
  }
  // Words that do not match the bounds (a short read) are refused too.
  EXPECT_FALSE(t.SetSourceTables(40, 120, 10, std::vector<std::uint16_t>(8), {}).ok);
}

TEST_F(TablesModel, TableCodeInterpolatesBilinearly) {
  Load(40, 120, 10);
  // A grid point gives the cell itself.
  t.SourceCTable.SetCell(3, 3, "777");
  EXPECT_EQ(t.TableCode(60, 100), 777);
  // A header current between two rows: along the voltage within the column.
  EXPECT_EQ(t.TableCode(45, 50), PlaneCode(45, 50));
  // Between rows and columns.
  EXPECT_EQ(t.TableCode(45, 110), PlaneCode(45, 110));
  // Truncation toward zero: a third of the way between 980 and 1030 (U 40, I 50 -> 75) at I 58.
  EXPECT_EQ(t.TableCode(40, 58), 996);
  t.SourceCTable.SetCell(2, 1, "1031");  // 980 + 51 * 8 / 25 = 996.32
  EXPECT_EQ(t.TableCode(40, 58), 996);
  // The table end uses the last row alone; outside the table or the currents: -1.
  EXPECT_EQ(t.TableCode(120, 250), PlaneCode(120, 250));
  EXPECT_EQ(t.TableCode(120, 251), -1);
  EXPECT_EQ(t.TableCode(121, 100), -1);
  EXPECT_EQ(t.TableCode(39, 100), -1);
  EXPECT_EQ(t.TableCode(80, 49), -1);
}

TEST_F(TablesModel, TableCodeRefusesWhatItCannotRead) {
  Load(40, 115, 10);  // end off the step grid: rows up to 110
  EXPECT_EQ(t.SourceCTable.RowCount(), 9);
  EXPECT_EQ(t.TableCode(110, 100), PlaneCode(110, 100));
  EXPECT_EQ(t.TableCode(113, 100), -1);  // no row above 110 to interpolate with
  Load(40, 120, 10);
  t.SourceCTable.SetCell(3, 2, "abc");
  EXPECT_EQ(t.TableCode(50, 100), -1);
  EXPECT_EQ(t.TableCode(45, 100), -1);
  EXPECT_EQ(t.TableCode(70, 100), PlaneCode(70, 100));
  // A header current the engineer blanked out.
  Load(40, 120, 10);
  t.SourceCTable.SetCell(5, 0, "");
  EXPECT_EQ(t.TableCode(60, 80), -1);
  EXPECT_FALSE(t.HeaderCurrents());
}

TEST_F(TablesModel, ShotLogKeepsATrailingEmptyRow) {
  EXPECT_FALSE(t.DeleteLastShot());
  EXPECT_EQ(t.LoggedShots(), 0);
  t.AppendShot(-1, 500, 120, 70, 90);
  t.AppendShot(510, 510, 125, 68, 91);
  EXPECT_EQ(t.ShotsTable.RowCount(), 4);
  EXPECT_EQ(t.ShotsTable.Row(), 2);
  auto row = t.ReadShotRow(2);
  ASSERT_TRUE(row);
  EXPECT_EQ(row->Number, 2);
  EXPECT_EQ(row->Code, 510);
  EXPECT_EQ(row->Re, 91);
  EXPECT_EQ(t.ReadShotRow(1)->TabCode, -1);
  EXPECT_FALSE(t.ReadShotRow(3));
  EXPECT_FALSE(t.ReadShotRow(0));
  EXPECT_TRUE(t.DeleteLastShot());
  EXPECT_EQ(t.LoggedShots(), 1);
  EXPECT_EQ(t.ShotsTable.Cell(0, 2), "");
  t.ShotsTable.SetCell(3, 1, "x");
  EXPECT_FALSE(t.ReadShotRow(1));
}

TEST_F(TablesModel, ResistanceTableFromTheSweeps) {
  Load(40, 120, 10);
  // Re = 100 + (U - 80)^2 / 10, down from 78 to 60 then up to 100.
  auto re = [](int u) { return 100 + (u - 80) * (u - 80) / 10; };
  int n = 0;
  for (int u = 78; u >= 58; u -= 4) Shot(500, 150, u, re(u)), ++n;  // 78 ... 58: ends below 60
  const int middle = n;
  Shot(999, 150, 200, 0);  // an upward shot past the bound that is not on it: left out
  const int last = ++n;
  SweepShots sweep{1, middle, last};
  // 58 misses the bound and is left out; a far-off Re there would show if it were used.
  t.ShotsTable.SetCell(5, middle, "250");
  ASSERT_TRUE(t.ComputeResistanceTable({60, 100}, sweep).ok);
  EXPECT_EQ(t.NewRTable.RowCount(), 42);
  EXPECT_EQ(t.NewRTable.Cell(0, 0), "  Uв");
  EXPECT_EQ(t.NewRTable.Cell(0, 1), "60");
  EXPECT_EQ(t.NewRTable.Cell(0, 41), "100");
  // With 58 left out the points (78..62) lie on the quadratic up to the integer division.
  const int at70 = std::stoi(t.NewRTable.Cell(1, 11));
  EXPECT_NEAR(at70, re(70) + 2, 2);

  const int at60 = std::stoi(t.NewRTable.Cell(1, 1));

  // Now end the downward sweep exactly on 60: that shot and its far-off figure count.
  t.ShotsTable.SetCell(4, middle, "60");
  ASSERT_TRUE(t.ComputeResistanceTable({60, 100}, sweep).ok);
  EXPECT_GT(std::stoi(t.NewRTable.Cell(1, 1)), at60 + 40);
}

TEST_F(TablesModel, ResistanceLimitsAndTheBytesTheyBecome) {
  Load(40, 120, 10);
  t.AppendShot(0, 0, 0, 60, 300);
  t.AppendShot(0, 0, 0, 70, 300);
  ASSERT_TRUE(t.ComputeResistanceTable({60, 70}, {1, 1, 2}).ok);
  EXPECT_EQ(t.NewRTable.Cell(1, 1), "255");  // 302 capped
  t.ShotsTable.SetCell(5, 1, "-20");
  t.ShotsTable.SetCell(5, 2, "-20");
  ASSERT_TRUE(t.ComputeResistanceTable({60, 70}, {1, 1, 2}).ok);
  EXPECT_EQ(t.NewRTable.Cell(1, 1), "-17");  // the grid shows what the fit gave
  EXPECT_FALSE(t.ComputeCalibrationTable({60, 70}, {1, 1, 2}).ok);  // no current in the table
  // Without shots nothing is computed and the old table stays.
  EXPECT_FALSE(t.ComputeResistanceTable({60, 70}, {0, 0, 0}).ok);
  EXPECT_EQ(t.NewRTable.Cell(1, 1), "-17");
}

// A series whose codes lie 7 above the source table everywhere.
class TablesSeries : public TablesModel {
 protected:
  void SetUp() override {
    Load(40, 120, 10);
    for (auto [uv, ia] : {std::pair{90, 60}, {80, 110}, {70, 160}, {60, 210}}) {
      Shot(PlaneCode(uv, ia) + 7, ia, uv, 100);
    }
    for (auto [uv, ia] : {std::pair{75, 140}, {90, 90}, {100, 60}}) {
      Shot(PlaneCode(uv, ia) + 7, ia, uv, 100);
    }
    sweep = {1, 4, 7};
  }
  SweepShots sweep;
};

TEST_F(TablesSeries, CalibrationTableMovesEachColumnByTheCorrection) {
  TransferCurve curve;
  ASSERT_TRUE(t.ComputeCalibrationTable({60, 100}, sweep, &curve).ok);
  ASSERT_EQ(t.NewCTable.RowCount(), 6);
  EXPECT_EQ(t.NewCTable.Cell(1, 0), "50");
  for (int i = 1; i <= 5; ++i) {
    const int kv = 60 + 10 * (i - 1);
    EXPECT_EQ(t.NewCTable.Cell(0, i), std::to_string(kv));
    // Each new row belongs to the source row of the same voltage.
    for (int c = 1; c <= 8; ++c)
      EXPECT_EQ(t.NewCTable.Cell(c, i), std::to_string(PlaneCode(kv, kHeader[c - 1]) + 7))
          << kv << " kV, column " << c;
  }
  ASSERT_FALSE(curve.line.empty());
  EXPECT_DOUBLE_EQ(curve.line.front().first, 50);
  EXPECT_NEAR(curve.line.back().first, 250, 1e-6);
  EXPECT_NEAR(curve.line[100].second, 7, 1e-6);
  EXPECT_EQ(curve.points.size(), 7u);
}

TEST_F(TablesModel, CorrectionIsHeldBeyondTheMeasuredCurrents) {
  Load(40, 120, 10);
  // Corrections along a steep parabola over 60 ... 140 mA: extended, it would reach -120 codes
  // at 250 mA.
  const SweepShots sweep{1, 5, 5};
  int k = 0;
  for (int ia : {140, 120, 100, 80, 60}) {
    const int uv = 100 - 10 * k++;
    const double d = (ia - 60) * (ia - 60) / -40.0;
    Shot(PlaneCode(uv, ia) + int(std::lround(d)), ia, uv, 100);
  }
  ASSERT_TRUE(t.ComputeCalibrationTable({60, 100}, sweep).ok);
  const int at125 = std::stoi(t.NewCTable.Cell(4, 1)) - PlaneCode(60, 125);
  EXPECT_NEAR(at125, -65.0 * 65 / 40, 1);  // inside: the fit itself (125 mA)
  for (int c : {6, 7, 8})  // 175, 200, 250 mA: held at the 140 mA value (-160, rounded up)
    EXPECT_EQ(std::stoi(t.NewCTable.Cell(c, 1)) - PlaneCode(60, kHeader[c - 1]), -159);
  EXPECT_EQ(std::stoi(t.NewCTable.Cell(1, 1)) - PlaneCode(60, 50), 0);  // below: the 60 mA value
}

TEST_F(TablesSeries, ShotsOutsideTheSourceTableTakeNoPart) {
  // A shot whose current lies above the table's currents has table code -1: its "correction"
  // (code + 1) would drag the whole table.
  t.AppendShot(-1, 900, 400, 100, 100);
  ASSERT_TRUE(t.ComputeCalibrationTable({60, 100}, {1, 4, 8}).ok);
  EXPECT_EQ(t.NewCTable.Cell(4, 3), std::to_string(PlaneCode(80, 125) + 7));
}

TEST_F(TablesSeries, RangeOffTheGridIsRefused) {
  EXPECT_FALSE(t.ComputeCalibrationTable({65, 100}, sweep).ok);
  EXPECT_FALSE(t.ComputeCalibrationTable({60, 130}, sweep).ok);
  EXPECT_EQ(t.NewCTable.RowCount(), 2);
}

TEST_F(TablesSeries, ManualShiftReplacesTheColumnsCorrection) {
  ASSERT_TRUE(t.ComputeCalibrationTable({60, 100}, sweep).ok);
  EXPECT_EQ(t.CurrentShift(125, {60, 100}), 7);
  ASSERT_TRUE(t.ManualShift(125, -30, {60, 100}).ok);
  EXPECT_EQ(t.NewCTable.Cell(4, 1), std::to_string(PlaneCode(60, 125) - 30));
  EXPECT_EQ(t.NewCTable.Cell(4, 5), std::to_string(PlaneCode(100, 125) - 30));
  EXPECT_EQ(t.NewCTable.Cell(3, 1), std::to_string(PlaneCode(60, 100) + 7));
  EXPECT_EQ(t.CurrentShift(125, {60, 100}), -30);
  ASSERT_TRUE(t.ManualShift(125, 500, {60, 100}).ok);
  EXPECT_EQ(t.CurrentShift(125, {60, 100}), 200);
  EXPECT_FALSE(t.ManualShift(126, 5, {60, 100}).ok);
  EXPECT_FALSE(t.CurrentShift(126, {60, 100}));
}

TEST_F(TablesSeries, ImageBlocksAndExportAgree) {
  ASSERT_TRUE(t.ComputeResistanceTable({60, 100}, sweep).ok);
  ASSERT_TRUE(t.ComputeCalibrationTable({60, 100}, sweep).ok);
  t.NewCTable.SetCell(8, 5, "-3");  // a negative code goes out as its 16-bit pattern
  t.NewRTable.SetCell(1, 2, "-4");  // a negative figure as 0
  std::vector<TCalTables::ImageBlock> blocks;
  ASSERT_TRUE(t.TablesImageBlocks({60, 100}, false, blocks).ok);
  ASSERT_EQ(blocks.size(), 3u);
  EXPECT_EQ(blocks[0].offset, 0x200u);
  EXPECT_EQ(blocks[0].bytes, (std::vector<std::uint8_t>{0, 60, 0, 100, 0, 10}));
  EXPECT_EQ(blocks[1].offset, 0x210u);
  ASSERT_EQ(blocks[1].bytes.size(), 6u * 16);
  EXPECT_EQ(blocks[1].bytes[0], 0);
  EXPECT_EQ(blocks[1].bytes[1], 50);
  EXPECT_EQ(blocks[1].bytes[5 * 16 + 14], 0xFF);
  EXPECT_EQ(blocks[1].bytes[5 * 16 + 15], 0xFD);
  EXPECT_EQ(blocks[2].offset, 0x300u + 60);
  ASSERT_EQ(blocks[2].bytes.size(), 41u);
  EXPECT_EQ(blocks[2].bytes[1], 0);

  std::string text;
  ASSERT_TRUE(t.ExportText({60, 100}, false, text).ok);
  std::vector<std::uint8_t> image(1280, 0xEE), expected(1280, 0xEE);
  ASSERT_TRUE(ParseDatText(text, image));
  for (const auto& b : blocks)
    std::copy(b.bytes.begin(), b.bytes.end(), expected.begin() + std::ptrdiff_t(b.offset));
  EXPECT_EQ(image, expected);
}

TEST_F(TablesSeries, ExportLayout) {
  ASSERT_TRUE(t.ComputeResistanceTable({60, 84}, {1, 4, 5}).ok);
  // 60 ... 84 is not on the 10 kV grid's end, but the table rows are 60, 70, 80.
  ASSERT_TRUE(t.ComputeCalibrationTable({60, 84}, {1, 4, 5}).ok);
  std::string text;
  ASSERT_TRUE(t.ExportText({60, 84}, false, text).ok);
  EXPECT_EQ(text.rfind("$16bitformat\n#2\n>0\n\t60\n\t84\n\t10\n>10\n", 0), 0u) << text;
  EXPECT_NE(text.find("\t;\n"), std::string::npos);  // header row: empty comment
  EXPECT_NE(text.find("\t;80\n"), std::string::npos);
  const std::string mark = "\n$8bitformat\n#3\n>3C\n";
  ASSERT_NE(text.find(mark), std::string::npos);
  const auto tail = text.substr(text.find(mark) + mark.size());
  // 25 values: lines of 10, 10 and 5, the last ending with a tab and a line feed.
  std::vector<std::string> lines;
  std::size_t from = 0;
  for (std::size_t nl; (nl = tail.find('\n', from)) != std::string::npos; from = nl + 1)
    lines.push_back(tail.substr(from, nl - from));
  ASSERT_EQ(lines.size(), 3u) << tail;
  EXPECT_EQ(std::count(lines[0].begin(), lines[0].end(), '\t'), 9);
  EXPECT_EQ(std::count(lines[1].begin(), lines[1].end(), '\t'), 9);
  EXPECT_EQ(std::count(lines[2].begin(), lines[2].end(), '\t'), 5);
  EXPECT_EQ(lines[2].back(), '\t');

  std::string k3;
  ASSERT_TRUE(t.ExportText({60, 84}, true, k3).ok);
  EXPECT_TRUE(k3.ends_with("\n$8bitformat\n#3\n>3C\n"));
}

TEST_F(TablesSeries, UnfitTablesAreNotTurnedIntoBytes) {
  std::vector<TCalTables::ImageBlock> blocks;
  std::string text;
  // Not computed yet.
  EXPECT_FALSE(t.TablesImageBlocks({60, 100}, false, blocks).ok);
  EXPECT_FALSE(t.ExportText({60, 100}, false, text).ok);
  EXPECT_TRUE(text.empty());
  ASSERT_TRUE(t.ComputeResistanceTable({60, 100}, sweep).ok);
  ASSERT_TRUE(t.ComputeCalibrationTable({60, 100}, sweep).ok);
  t.NewCTable.SetCell(2, 3, "12a");
  auto r = t.TablesImageBlocks({60, 100}, false, blocks);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.problem.find("12a"), std::string::npos);
  EXPECT_TRUE(blocks.empty());
}

TEST(TablesLayout, OverlappingTablesAreRefused) {
  // A 1 kV step over 40 ... 60 needs 22 rows (352 bytes from 0x210): past 0x300 + 40.
  TCalTables t;
  std::vector<std::uint16_t> words(22 * 8, 100);
  std::vector<std::uint8_t> res(21, 50);
  ASSERT_TRUE(t.SetSourceTables(40, 60, 1, words, res).ok);
  for (int u = 40; u <= 60; u += 5) t.AppendShot(100, 100, 100, u, 50);
  ASSERT_TRUE(t.ComputeResistanceTable({40, 60}, {1, 1, 5}).ok);
  ASSERT_TRUE(t.ComputeCalibrationTable({40, 60}, {1, 1, 5}).ok);
  std::vector<TCalTables::ImageBlock> blocks;
  EXPECT_FALSE(t.TablesImageBlocks({40, 60}, false, blocks).ok);
  // Without the resistance table (K3) it still must end before bank 3.
  EXPECT_FALSE(t.TablesImageBlocks({40, 60}, true, blocks).ok);
  EXPECT_FALSE(t.TablesImageBlocks({40, 50}, true, blocks).ok);  // the new table is 40 ... 60
}

TEST(TablesCells, WholeNumbersOnly) {
  EXPECT_EQ(CellInt(" 42 "), 42);
  EXPECT_EQ(CellInt("-7"), -7);
  EXPECT_EQ(CellInt("+7"), 7);
  EXPECT_FALSE(CellInt(""));
  EXPECT_FALSE(CellInt("  "));
  EXPECT_FALSE(CellInt("4 2"));
  EXPECT_FALSE(CellInt("1.5"));
  EXPECT_FALSE(CellInt("99999999999"));
}

}  // namespace
}  // namespace kvt

namespace kvt {
namespace {

// K3: two characteristics, the code over the current at 60 kV (2 I + 300) and at 100 kV
// (2 I + 100).
class TablesK3 : public TablesModel {
 protected:
  void SetUp() override {
    Load(40, 120, 10);
    for (int base : {300, 100})
      for (int ia : {150, 100, 70, 50, 120, 200, 250}) t.AppendShot(0, 2 * ia + base, ia, 0, 0);
  }
  const SweepShots first{1, 4, 7};
  const SweepShots second{8, 11, 14};
};

TEST_F(TablesK3, RowsBetweenTheBoundsFollowTheSourceColumns) {
  ASSERT_TRUE(t.ComputeCalibrationTableK3({60, 100}, first, second).ok);
  ASSERT_EQ(t.NewCTable.RowCount(), 6);
  for (int c = 1; c <= 8; ++c) {
    const int h = kHeader[c - 1];
    EXPECT_EQ(t.NewCTable.Cell(c, 1), std::to_string(2 * h + 300));
    EXPECT_EQ(t.NewCTable.Cell(c, 5), std::to_string(2 * h + 100));
    // The source column is linear in the voltage, so the mapped one is too.
    EXPECT_EQ(t.NewCTable.Cell(c, 3), std::to_string(2 * h + 200));
    EXPECT_EQ(t.NewCTable.Cell(c, 2), std::to_string(2 * h + 250));
  }
}

TEST_F(TablesK3, FlatColumnAndSingleRow) {
  for (int r = 3; r <= 7; ++r) t.SourceCTable.SetCell(1, r, "500");  // 60 ... 100 kV
  // A row of column 2 equal to its value at the lower bound lands on the first characteristic.
  t.SourceCTable.SetCell(2, 5, t.SourceCTable.Cell(2, 3));
  std::vector<int> kept{999};
  ASSERT_TRUE(t.ComputeCalibrationTableK3({60, 100}, first, second, &kept).ok);
  // Equal at both bounds: cannot be stretched, so the column stays as it was and is named.
  EXPECT_EQ(kept, std::vector<int>{kHeader[0]});
  for (int r = 1; r <= 5; ++r) EXPECT_EQ(t.NewCTable.Cell(1, r), "500") << r;
  EXPECT_EQ(t.NewCTable.Cell(2, 3), t.NewCTable.Cell(2, 1));
  EXPECT_EQ(t.NewCTable.Cell(2, 1), std::to_string(2 * kHeader[1] + 300));

  // One row: the upper bound's characteristic is written last.
  ASSERT_TRUE(t.ComputeCalibrationTableK3({60, 60}, first, second, &kept).ok);
  ASSERT_EQ(t.NewCTable.RowCount(), 2);  // the header row and the one voltage
  EXPECT_EQ(t.NewCTable.Cell(2, 1), std::to_string(2 * 75 + 100));
  EXPECT_EQ(t.NewCTable.Cell(1, 1), std::to_string(2 * 50 + 100));  // nothing to map: no flat rule
  EXPECT_TRUE(kept.empty());
}

TEST_F(TablesK3, MissingCharacteristicIsRefused) {
  EXPECT_FALSE(t.ComputeCalibrationTableK3({60, 100}, first, {0, 0, 0}).ok);
  EXPECT_EQ(t.NewCTable.RowCount(), 2);
}

}  // namespace
}  // namespace kvt
