// The calibration tables against the simulated apparatus: the source tables as the controller
// keeps them, new tables stored into the held image, and that image read back by the table
// readers once it is in the controller's memory.

#include <gtest/gtest.h>

#include "calibration/CalTables.h"
#include "integration/term_fixture.h"
#include "sim/Memory.h"

namespace kvt {
namespace {

class TablesOnSimulator : public termtest::TermFixture {
 protected:
  void SetUp() override { SetTheConfigWorkflows(&wf); }
  void TearDown() override { SetTheConfigWorkflows(nullptr); }

  // A series that lies 5 codes above the source table and a flat resistance of 120.
  void Series(TCalTables& t) {
    for (auto [uv, ia] :
         {std::pair{90, 80}, {80, 120}, {70, 160}, {60, 200}, {75, 140}, {90, 100}, {100, 60}})
      t.AppendShot(0, t.TableCode(uv, ia) + 5, ia, uv, 120);
  }
  TCalTables t;
};

TEST_F(TablesOnSimulator, SourceTablesAreTheControllersTables) {
  std::vector<int> captions;
  ASSERT_TRUE(t.ReadSourceTables().ok);
  EXPECT_EQ(t.TableStart(), sim::kDefaultTableStart);
  EXPECT_EQ(t.TableEnd(), sim::kDefaultTableEnd);
  EXPECT_EQ(t.TableStep(), sim::kDefaultTableStep);
  const int rows = (t.TableEnd() - t.TableStart()) / t.TableStep() + 2;
  ASSERT_EQ(t.SourceCTable.RowCount(), rows);
  const auto mem = SimMemory(0x400);
  for (int r = 0; r < rows; ++r)
    for (int c = 1; c <= 8; ++c) {
      const std::size_t a = 0x210 + std::size_t(r * 16 + (c - 1) * 2);
      EXPECT_EQ(t.SourceCTable.Cell(c, r), std::to_string(std::int16_t(mem[a] << 8 | mem[a + 1])));
    }
  for (int kv = t.TableStart(); kv <= t.TableEnd(); ++kv)
    EXPECT_EQ(t.SourceResistance(kv), mem[0x300 + std::size_t(kv)]);
}

TEST_F(TablesOnSimulator, NewTablesGoIntoTheImageAndBackThroughTheReaders) {
  ASSERT_TRUE(t.ReadSourceTables().ok);
  Series(t);
  const CalRange range{60, 100};
  const SweepShots sweep{1, 4, 7};
  ASSERT_TRUE(t.ComputeResistanceTable(range, sweep).ok);
  ASSERT_TRUE(t.ComputeCalibrationTable(range, sweep).ok);

  wf.ReplaceImage(SimMemory(1280));
  EXPECT_FALSE(kvt::SystemStatus().ImageModified);
  ASSERT_TRUE(t.ApplyTablesToImage(range).ok);
  EXPECT_TRUE(kvt::SystemStatus().ImageModified);
  EXPECT_TRUE(Messages().empty());

  // The image goes into the controller as the translate workflow would put it there.
  apparatus_->WriteMemory(0, host.image->Image);
  platform::LinkLock::Guard guard(platform::TheLinkLock());
  TSystemLink link;
  EXPECT_EQ(link.ReadTableStart(), 60);
  EXPECT_EQ(link.ReadTableEnd(), 100);
  EXPECT_EQ(link.ReadTableStep(), 10);
  const auto words = link.ReadCalibrationTable();
  ASSERT_EQ(words.size(), std::size_t(t.NewCTable.RowCount()) * 8);
  for (int r = 0; r < t.NewCTable.RowCount(); ++r)
    for (int c = 1; c <= 8; ++c)
      EXPECT_EQ(std::to_string(std::int16_t(words[std::size_t(r * 8 + c - 1)])),
                t.NewCTable.Cell(c, r));
  const auto res = link.ReadResistanceTable();
  ASSERT_EQ(res.size(), 41u);
  for (int i = 1; i <= 41; ++i)
    EXPECT_EQ(std::to_string(res[std::size_t(i - 1)]), t.NewRTable.Cell(1, i));

  // Read as the source of the next calibration, the new table gives the series' codes.
  TCalTables next;
  ASSERT_TRUE(next.ReadSourceTables().ok);
  EXPECT_EQ(next.TableCode(80, 125), std::stoi(t.NewCTable.Cell(4, 3)));
}

TEST_F(TablesOnSimulator, ImageTooShortIsLeftAsItWas) {
  ASSERT_TRUE(t.ReadSourceTables().ok);
  Series(t);
  ASSERT_TRUE(t.ComputeResistanceTable({60, 100}, {1, 4, 7}).ok);
  ASSERT_TRUE(t.ComputeCalibrationTable({60, 100}, {1, 4, 7}).ok);
  const auto before = SimMemory(0x300);  // ends before the resistance table
  wf.ReplaceImage(before);
  EXPECT_FALSE(t.ApplyTablesToImage({60, 100}).ok);
  EXPECT_EQ(host.image->Image, before);  // not even the bounds changed
  EXPECT_FALSE(kvt::SystemStatus().ImageModified);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0].text, "Выход за пределы образа при записи. Данные не сохранены!");
}

TEST_F(TablesOnSimulator, SilentOrBlankApparatusGivesNoTable) {
  apparatus_->WriteMemory(0x204, {0, 0});  // step 0
  auto r = t.ReadSourceTables();
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.problem.find("шаг 0"), std::string::npos) << r.problem;
  EXPECT_EQ(t.SourceCTable.RowCount(), 2);
  EXPECT_EQ(t.TableCode(60, 100), -1);

  kvt::CloseSharedPort();
  r = t.ReadSourceTables();
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.problem.find("не ответила"), std::string::npos) << r.problem;
}

TEST_F(TablesOnSimulator, ExportedFileReadsBackToTheImageBytes) {
  ASSERT_TRUE(t.ReadSourceTables().ok);
  Series(t);
  ASSERT_TRUE(t.ComputeResistanceTable({60, 100}, {1, 4, 7}).ok);
  ASSERT_TRUE(t.ComputeCalibrationTable({60, 100}, {1, 4, 7}).ok);
  const auto dat = dir_ / "tables.dat";
  ASSERT_TRUE(t.ExportTables(dat, {60, 100}).ok);
  ASSERT_EQ(ConvertDat(DatToBinary, dat, dir_ / "tables.mi", {}, 1280), 0);
  const std::string mi = testsupport::ReadBytes(dir_ / "tables.mi");

  wf.ReplaceImage(std::vector<std::uint8_t>(1280, 0));
  ASSERT_TRUE(t.ApplyTablesToImage({60, 100}).ok);
  EXPECT_EQ(std::vector<std::uint8_t>(mi.begin(), mi.end()), host.image->Image);
  // An unwritable target leaves nothing behind and says so.
  auto r = t.ExportTables(dir_ / "no" / "such" / "dir.dat", {60, 100});
  EXPECT_FALSE(r.ok);
  EXPECT_FALSE(r.problem.empty());
}

}  // namespace
}  // namespace kvt
