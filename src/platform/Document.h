#pragma once
// A printable document as plain data: a title, the stamp lines of the apparatus's maintenance
// record (type, versions, date, engineer) and a run of blocks (headings, text, tables, charts).
// The windows build it from what they show; the toolkit only lays it out on pages. Writing it as
// PDF is a seam the desktop program installs (the core has no painter).

#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "platform/Controls.h"

namespace platform {

struct DocHeading {
  std::string text;
};

struct DocText {
  std::string text;  // "\n" separates lines
};

struct DocTable {
  std::string caption;
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
  bool operator==(const DocTable&) const = default;
};

struct DocSeries {
  std::string name;
  SeriesKind kind = SeriesKind::Line;
  Color color = colors::Black;
  std::vector<std::pair<double, double>> points;
};

struct DocChart {
  std::string title;
  std::string xTitle;
  std::string yTitle;
  // Both limits 0: taken from the points.
  double xMin = 0, xMax = 0;
  double yMin = 0, yMax = 0;
  std::vector<DocSeries> series;
  bool Empty() const;
};

using DocBlock = std::variant<DocHeading, DocText, DocTable, DocChart>;

struct PrintDocument {
  std::string title;
  // Label and value, printed under the title.
  std::vector<std::pair<std::string, std::string>> stamp;
  std::vector<DocBlock> blocks;

  // The value of a stamp label ("" when there is none).
  std::string Stamp(const std::string& label) const;
  void SetStamp(const std::string& label, const std::string& value);
  // Every table of the document, in order (what tests and checks look at).
  std::vector<const DocTable*> Tables() const;
  std::vector<const DocChart*> Charts() const;
};

// The grid as a table: the fixed first row is the header, the data rows follow; trailing rows
// whose cells are all blank are left out (the grids keep an empty row for the next entry).
DocTable TableFromGrid(const StringGrid& grid, std::string caption);
// A long table of few columns laid side by side in groups of `groups` (a 2-column table of 81
// rows becomes 10 columns of 17 rows), so it fills the width of a page instead of its length.
DocTable FoldTable(const DocTable& table, int groups);
// The series of a chart with their points (per-point colours are left to the series colour),
// its title and its fixed axes.
DocChart ChartFromControl(const Chart& chart);

// Writes doc as a PDF file at path: the whole file or nothing (error says why, for the engineer).
using PdfWriterFn = std::function<bool(const PrintDocument& doc, const std::filesystem::path& path,
                                       std::string& error)>;
// Installed by the desktop program; null removes it.
void SetPdfWriter(PdfWriterFn writer);
bool PdfWriterInstalled();
// False with a reason when no writer is installed or it failed.
bool WritePdf(const PrintDocument& doc, const std::filesystem::path& path, std::string& error);

}  // namespace platform
