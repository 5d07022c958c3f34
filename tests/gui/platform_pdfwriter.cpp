// Printed protocols under absurd input: an axis that cannot have sensible ticks does not stall
// the window, and a table wider than the page keeps every cell's whole text.

#include <gtest/gtest.h>

#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <cmath>
#include <limits>

#include "platform/Document.h"
#include "platform/qt/PdfWriter.h"

namespace {

// A page that keeps the texts painted on it, in order.
class TextEngine : public QPaintEngine {
 public:
  TextEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}
  bool begin(QPaintDevice*) override { return true; }
  bool end() override { return true; }
  void updateState(const QPaintEngineState&) override {}
  void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
  // Shapes are of no interest (the defaults would call each other for ever).
  void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
  void drawPolygon(const QPoint*, int, PolygonDrawMode) override {}
  void drawPath(const QPainterPath&) override {}
  void drawRects(const QRectF*, int) override {}
  void drawLines(const QLineF*, int) override {}
  void drawTextItem(const QPointF&, const QTextItem& item) override { text += item.text(); }
  Type type() const override { return QPaintEngine::User; }
  QString text;
};

class TextPage : public QPaintDevice {
 public:
  QPaintEngine* paintEngine() const override { return &engine; }
  mutable TextEngine engine;

 protected:
  int metric(PaintDeviceMetric m) const override {
    switch (m) {
      case PdmWidth:
        return 2100;
      case PdmHeight:
        return 2970;
      case PdmWidthMM:
        return 210;
      case PdmHeightMM:
        return 297;
      case PdmDpiX:
      case PdmDpiY:
      case PdmPhysicalDpiX:
      case PdmPhysicalDpiY:
        return 254;
      case PdmDepth:
        return 32;
      case PdmNumColors:
        return 256;
      case PdmDevicePixelRatio:
        return 1;
      case PdmDevicePixelRatioScaled:
        return int(QPaintDevice::devicePixelRatioFScale());
      default:
        return 0;
    }
  }
};

TEST(PdfWriter, AbsurdAxesFinishAndKeepThePage) {
  platform::PrintDocument doc;
  doc.title = "Protocol";
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  platform::DocChart tiny;  // a range far below the numbers' precision
  tiny.title = "tiny";
  tiny.xMin = 1e15, tiny.xMax = 1e15 + 1, tiny.yMin = -1e300, tiny.yMax = 1e300;
  tiny.series.push_back({"a", platform::SeriesKind::Line, 0, {{1e15, 1}, {1e15 + 1, 1e300}}});
  platform::DocChart broken;  // readings that are no numbers, axes taken from them
  broken.title = "broken";
  broken.series.push_back({"b", platform::SeriesKind::Point, 0, {{nan, 1}, {inf, -inf}, {1, 2}}});
  platform::DocChart huge;
  huge.title = "huge";
  huge.series.push_back({"c", platform::SeriesKind::Line, 0, {{-1e308, -1e308}, {1e308, 1e308}}});
  doc.blocks = {tiny, broken, huge};
  // Finishing at all is the point: the tick loops used to run for ever on the first chart.
  ASSERT_EQ(platform::qt::DocumentPageCount(doc), 2);
  EXPECT_FALSE(platform::qt::RenderDocumentPage(doc, 0, 50).isNull());
  EXPECT_FALSE(platform::qt::RenderDocumentPage(doc, 1, 50).isNull());
}

TEST(PdfWriter, ATableWiderThanThePageKeepsEveryCellWhole) {
  platform::PrintDocument doc;
  doc.title = "Wide";
  platform::DocTable wide;
  for (int c = 0; c < 16; ++c) wide.header.push_back("Column" + std::to_string(c));
  for (int r = 0; r < 3; ++r) {
    std::vector<std::string> row;
    for (int c = 0; c < 16; ++c)
      row.push_back("R" + std::to_string(r) + "C" + std::to_string(c) + "-1234567890abcdef");
    wide.rows.push_back(row);
  }
  doc.blocks = {wide};
  TextPage page;
  QPainter painter(&page);
  platform::qt::PaintDocumentPage(doc, 0, painter);
  painter.end();
  // Wrapped lines of a cell follow each other, so each cell's text is there in one piece.
  const QString text = page.engine.text;
  EXPECT_FALSE(text.contains(QChar(0x2026))) << text.toStdString();  // nothing elided
  for (const auto& row : wide.rows)
    for (const auto& cell : row) EXPECT_TRUE(text.contains(QString::fromStdString(cell))) << cell;
  for (const auto& cell : wide.header) EXPECT_TRUE(text.contains(QString::fromStdString(cell)));
}

}  // namespace
