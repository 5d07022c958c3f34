// Printable protocols without a toolkit: grids become tables (the empty entry row left out, long
// two-column tables folded across the page), the calibration's protocol holds what the window
// shows, and the save flow asks the name (offering the last one), the file, stamps and writes.

#include <gtest/gtest.h>

#include <fstream>

#include "app/ProtocolPdf.h"
#include "calibration/Calibration.h"
#include "support/ScopedUi.h"
#include "support/TempDir.h"

namespace {

using platform::DocTable;
using platform::PrintDocument;

TEST(ProtocolDocument, GridsBecomeTablesAndLongTablesFold) {
  platform::StringGrid grid("g", 2, 84);
  grid.SetCell(0, 0, "  Uв");
  grid.SetCell(1, 0, "  Rэ");
  for (int r = 1; r <= 81; ++r) {
    grid.SetCell(0, r, std::to_string(39 + r));
    grid.SetCell(1, r, std::to_string(100 + r));
  }
  grid.SetCell(1, 83, "  ");  // blank rows at the end are the grid's entry rows
  const DocTable t = platform::TableFromGrid(grid, "Таблица Rэ");
  ASSERT_EQ(t.rows.size(), 81u);
  EXPECT_EQ(t.header, (std::vector<std::string>{"  Uв", "  Rэ"}));

  const DocTable f = platform::FoldTable(t, 8);
  EXPECT_EQ(f.header.size(), 16u);
  ASSERT_EQ(f.rows.size(), 11u);  // 81 rows in 8 groups of 11
  EXPECT_EQ(f.rows[0][2], "51");  // the second group starts with the 12th row
  EXPECT_EQ(f.rows[3][14], "120");
  EXPECT_EQ(f.rows[3][15], "181");
  EXPECT_EQ(f.rows[4][14], "");  // the last group is short
  EXPECT_EQ(f.caption, "Таблица Rэ");
}

TEST(ProtocolDocument, CalibrationProtocolBeforeTheNewTablesExist) {
  kvt::TfrmCalibration cal(nullptr);
  std::vector<std::uint16_t> words;
  for (int c = 0; c < 8; ++c) words.push_back(std::uint16_t(50 + 25 * c));  // header currents
  for (int r = 0; r < 9; ++r)
    for (int c = 0; c < 8; ++c) words.push_back(std::uint16_t(700 + 10 * c - r));
  ASSERT_TRUE(cal.Tables_.SetSourceTables(40, 120, 10, words, std::vector<std::uint8_t>(81, 140)));
  const PrintDocument doc = cal.ProtocolDocument();
  const auto tables = doc.Tables();
  ASSERT_EQ(tables.size(), 2u);  // the source tables; no new ones, no shots yet
  EXPECT_EQ(tables[0]->rows.size(), 9u);
  EXPECT_EQ(tables[0]->header[1], "50");
  EXPECT_EQ(tables[1]->rows.size(), 11u);  // the resistances folded
  // The family holds one line per voltage row of the source table, over the header currents.
  const auto charts = doc.Charts();
  ASSERT_FALSE(charts.empty());
  EXPECT_EQ(charts[0]->series.size(), 9u);
  EXPECT_EQ(charts[0]->series[0].points.front(), (std::pair<double, double>{50, 700}));
  bool notComputed = false;
  for (const auto& b : doc.blocks)
    if (auto* t = std::get_if<platform::DocText>(&b))
      notComputed |= t->text == "Новые таблицы не рассчитаны.";
  EXPECT_TRUE(notComputed);
}

class ProtocolPdf : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ofstream(dir / "vesmar.ini") << "[Ports]\r\nCOM1=simulator\r\n";
    platform::SetPdfWriter(
        [this](const PrintDocument& doc, const std::filesystem::path& path, std::string& error) {
          written.push_back(doc);
          paths.push_back(path);
          if (!fail.empty()) {
            error = fail;
            return false;
          }
          std::ofstream(path) << "%PDF-1.4";
          return true;
        });
  }
  void TearDown() override { platform::SetPdfWriter(nullptr); }

  testsupport::TempDir dir;
  testsupport::ScopedProgramDir programDir{dir.Path()};
  testsupport::ScopedUi ui;
  std::vector<PrintDocument> written;
  std::vector<std::filesystem::path> paths;
  std::string fail;
};

TEST_F(ProtocolPdf, NameAskedAndRememberedFileChosenDocumentStamped) {
  std::tm when{};
  when.tm_mday = 8, when.tm_mon = 11, when.tm_year = 126, when.tm_hour = 9, when.tm_min = 5;
  PrintDocument doc;
  doc.title = "Протокол";
  ui->QueueInput("  Иванов\tИ.И.\n ");
  ui->QueueFileDialog({true, (dir / "p").string(), 1});
  EXPECT_TRUE(kvt::SaveProtocolPdf(doc, "K3", "/images", "chshots", &when));
  ASSERT_EQ(written.size(), 1u);
  EXPECT_EQ(paths[0], dir / "p.pdf");
  EXPECT_EQ(ui->FileDialogs().back().initialDir, "/images");
  EXPECT_EQ(ui->FileDialogs().back().filter, kvt::protocol::kFilter);
  EXPECT_EQ(written[0].Stamp("Тип аппарата"), "KVT-K3");
  EXPECT_EQ(written[0].Stamp("Инженер"), "Иванов И.И.");
  EXPECT_EQ(written[0].Stamp("Дата"), "08.12.2026 09:05");
  EXPECT_EQ(written[0].Stamp("Версия программы"), kvt::ProgramVersion());
  EXPECT_FALSE(kvt::ProgramVersion().empty());

  // The next protocol offers the name again; cancelling the question writes nothing.
  ui->QueueInput(std::nullopt);
  EXPECT_FALSE(kvt::SaveProtocolPdf(doc, "K3", "", "chshots", &when));
  EXPECT_EQ(ui->Inputs().back().offered, "Иванов И.И.");
  EXPECT_EQ(written.size(), 1u);
  EXPECT_EQ(ui->FileDialogs().size(), 1u);
}

TEST_F(ProtocolPdf, AFailedWriteIsToldAndNotCountedAsSaved) {
  fail = "нет места на диске";
  ui->QueueInput("");
  ui->QueueFileDialog({true, (dir / "p.pdf").string(), 1});
  EXPECT_FALSE(kvt::SaveProtocolPdf({}, "", "", "chshots"));
  ASSERT_EQ(ui->Messages().size(), 1u);
  EXPECT_EQ(ui->Messages()[0].title, "chshots");
  EXPECT_NE(ui->Messages()[0].text.find("нет места на диске"), std::string::npos);
  // A blank name leaves a line to sign.
  EXPECT_EQ(written[0].Stamp("Инженер").find_first_not_of('_'), std::string::npos);

  // Without a writer (a build without the toolkit) it says so.
  platform::SetPdfWriter(nullptr);
  ui->QueueInput("А");
  ui->QueueFileDialog({true, (dir / "q.pdf").string(), 1});
  EXPECT_FALSE(kvt::SaveProtocolPdf({}, "K2", "", "chshots"));
  EXPECT_NE(ui->Messages().back().text.find("недоступна"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir / "q.pdf"));
}

}  // namespace
