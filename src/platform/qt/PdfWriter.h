#pragma once
// The Qt side of printable documents: lays a PrintDocument out on A4 pages (title, stamp, text,
// tables that continue on the next page with their header, charts) and writes it as PDF. The same
// painting renders a page into an image, for previews and tests.

#include <QImage>
#include <filesystem>
#include <string>

#include "platform/Document.h"

class QPainter;

namespace platform::qt {

// Writes doc as an A4 PDF at path. The file appears whole or not at all (an existing file stays
// as it was when the write fails); error says why.
bool WriteDocumentPdf(const PrintDocument& doc, const std::filesystem::path& path,
                      std::string& error);

// Page `index` (from 0) of doc as it is printed, at dpi dots per inch, on white.
QImage RenderDocumentPage(const PrintDocument& doc, int index, int dpi = 100);

// Paints page `index` of doc with painter, whose units must be tenths of a millimetre (an A4
// page is 2100 x 2970).
void PaintDocumentPage(const PrintDocument& doc, int index, QPainter& painter);

// How many pages doc takes.
int DocumentPageCount(const PrintDocument& doc);

}  // namespace platform::qt
