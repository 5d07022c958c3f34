#pragma once
// Saves a window's protocol as PDF the way the engineer does: the window's PDF button clicked,
// the name typed into the question, the file chosen. The document that went into the file is
// kept, and its pages are saved as gui-shots/<name>.png (the first) to look at.

#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "Shots.h"
#include "platform/Document.h"
#include "platform/qt/PdfWriter.h"
#include "platform/qt/QtUi.h"

namespace guitest {

inline std::optional<platform::PrintDocument> SaveProtocolByButton(
    platform::QtUi& ui, QPushButton* button, const std::filesystem::path& file,
    const std::string& engineer, const std::string& name) {
  std::optional<platform::PrintDocument> written;
  platform::SetPdfWriter([&](const platform::PrintDocument& doc, const std::filesystem::path& path,
                             std::string& error) {
    written = doc;
    return platform::qt::WriteDocumentPdf(doc, path, error);
  });
  ui.QueueNonInteractiveInput(engineer);
  ui.QueueNonInteractiveFile(file.string());
  QTest::mouseClick(button, Qt::LeftButton);
  platform::SetPdfWriter(&platform::qt::WriteDocumentPdf);
  // A copy of the file, and the first page as <name>.png, the others as <name>-<n>.png.
  std::filesystem::path pdf = file;
  if (!pdf.has_extension()) pdf += ".pdf";
  std::error_code ec;
  std::filesystem::copy_file(
      pdf, (ShotsDir() + "/" + QString::fromStdString(name)).toStdString() + ".pdf",
      std::filesystem::copy_options::overwrite_existing, ec);
  for (int page = 0; written && page < platform::qt::DocumentPageCount(*written); ++page)
    platform::qt::RenderDocumentPage(*written, page, 110)
        .save(ShotsDir() + "/" + QString::fromStdString(name) +
              (page ? QString("-%1").arg(page + 1) : QString()) + ".png");
  return written;
}

// The first bytes of a file.
inline std::string FileStart(const std::filesystem::path& file, std::size_t n) {
  std::ifstream in(file, std::ios::binary);
  std::string s(n, '\0');
  in.read(s.data(), std::streamsize(n));
  s.resize(std::size_t(in.gcount()));
  return s;
}

}  // namespace guitest
