// The check-shot protocol as a printable document.
#include <string>

#include "app/ProtocolPdf.h"
#include "procedures/CheckShots.h"

namespace kvt {

platform::PrintDocument TfrmCheckShots::ProtocolDocument() const {
  platform::PrintDocument doc;
  doc.title = "Протокол проверочных снимков";
  const bool k2 = systemType_ == "K2";
  const SeriesVerdict verdict = Verdict();
  // The conclusion first, where the reader of the record looks.
  std::string conclusion = "Заключение: ";
  conclusion += rows_.empty() ? "снимки не выполнены" : verdict.Summary();
  doc.blocks.push_back(platform::DocHeading{conclusion});
  std::string params = "Диапазон анодного напряжения: " + std::to_string(umin_) + " … " +
                       std::to_string(umax_) + " кВ, шаг " + std::to_string(ustep_) +
                       " кВ\nЭкспозиция: " + std::to_string(exposure_ * 10) + " мс";
  if (systemType_ == "K3" || systemType_ == "K4")
    params += "\nАнодный ток: " + std::to_string(ia_) + " мА";
  params += '\n';
  params += TolerancesLine(tolerances_);
  doc.blocks.push_back(platform::DocText{params});

  platform::DocTable table;
  table.caption = "Протокол испытаний";
  // On K3 and K4 the engineer read Ua and Ia off the curves and the deviation is of the current.
  table.header = {"N снимка", "Ua уст., кВ", k2 ? "Ua изм., кВ" : "Ua, кВ",
                  k2 ? "Ia изм., мА" : "Ia, мА", k2 ? "dUa, кВ" : "dIa, мА"};
  for (int c = kColDevUa; c < kColumns; ++c) table.header.push_back(ShotsTable.Cell(c, 0));
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    std::vector<std::string> row{std::to_string(i + 1)};
    for (int v : rows_[i]) row.push_back(std::to_string(v));
    for (int c = kColDevUa; c < kColumns; ++c) {
      std::string cell = ShotsTable.Cell(c, int(i) + 1);
      // Print has no colour to rely on: a value out of tolerance is starred.
      if (CellMark(c, int(i) + 1) == Mark::Out) cell += " *";
      row.push_back(std::move(cell));
    }
    table.rows.push_back(std::move(row));
  }
  doc.blocks.push_back(std::move(table));
  if (!rows_.empty()) {
    std::string lines;
    for (const QuantityVerdict& q : verdict.quantities) {
      lines += VerdictLine(q, tolerances_);
      lines += '\n';
    }
    for (const RepeatVerdict& r : verdict.repeats) {
      lines += RepeatLine(r, tolerances_);
      lines += '\n';
    }
    lines += "* вне допуска";
    doc.blocks.push_back(platform::DocText{lines});
  }
  doc.blocks.push_back(platform::DocText{"Комментарий:\n\n\n\nПодпись: ________________________"});
  return doc;
}

void TfrmCheckShots::btnSavePdfClick() {
  SaveProtocolPdf(ProtocolDocument(), systemType_, imageDir_ ? imageDir_() : std::string(), kTitle);
}

}  // namespace kvt
