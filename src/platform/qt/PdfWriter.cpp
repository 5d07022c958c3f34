#include "platform/qt/PdfWriter.h"

#include <QFontMetricsF>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QSaveFile>
#include <algorithm>
#include <cmath>
#include <functional>
#include <set>
#include <vector>

namespace platform::qt {

namespace {

// Everything is laid out in tenths of a millimetre on an A4 sheet.
constexpr double kPageW = 2100, kPageH = 2970;
constexpr double kMarginX = 200, kMarginTop = 150, kMarginBottom = 170;
constexpr double kContentW = kPageW - 2 * kMarginX;
constexpr double kBottom = kPageH - kMarginBottom;
constexpr double kTextSize = 38;  // about 11 points
constexpr double kChartH = 850;

QString Q(const std::string& s) {
  return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

QFont Font(double size, bool bold = false) {
  QFont f(QStringLiteral("DejaVu Sans"));
  f.setStyleHint(QFont::SansSerif);
  f.setPixelSize(int(size));
  f.setBold(bold);
  return f;
}

// Bright screen colours (the lime of the charts) are hard to see on paper.
QColor Ink(Color c) {
  QColor q(int((c >> 16) & 0xFF), int((c >> 8) & 0xFF), int(c & 0xFF));
  return q.lightness() > 150 ? q.darker(170) : q;
}

double NiceStep(double range, int ticks) {
  if (!(range > 0)) return 1;
  const double raw = range / ticks;
  const double mag = std::pow(10.0, std::floor(std::log10(raw)));
  const double n = raw / mag;
  return (n < 1.5 ? 1 : n < 3 ? 2 : n < 7 ? 5 : 10) * mag;
}

// The tick values of an axis from lo to hi at multiples of step. Absurd values (a range far
// below the numbers' precision, infinities, a step of nothing) would loop for ever or paint
// millions of lines: no more than kMaxTicks, none at all when the axis cannot have sensible ones.
constexpr int kMaxTicks = 100;
std::vector<double> Ticks(double lo, double hi, double step) {
  std::vector<double> ticks;
  if (!std::isfinite(lo) || !std::isfinite(hi) || !std::isfinite(step) || !(step > 0)) return ticks;
  const double first = std::ceil(lo / step - 1e-9), last = std::floor(hi / step + 1e-9);
  if (!std::isfinite(first) || !std::isfinite(last) || last - first > kMaxTicks) return ticks;
  // Counted in whole steps: at large values k + 1 may equal k in doubles.
  const int count = int(last - first);
  for (int i = 0; i <= count; ++i) {
    const double v = (first + i) * step;
    // Two ticks the doubles cannot tell apart are one.
    if (ticks.empty() || v > ticks.back()) ticks.push_back(v);
  }
  return ticks;
}

// Paints the document page after page. Only the target page is painted (all pages when the
// target is negative and a page break callback is given); the others are laid out only.
class Layout {
 public:
  Layout(QPainter* painter, int target, std::function<bool()> newPage)
      : p_(painter), target_(target), newPage_(std::move(newPage)) {}

  bool Run(const PrintDocument& doc) {
    StartPage();
    Title(doc);
    for (const DocBlock& block : doc.blocks) {
      if (!ok_) break;
      std::visit([this](const auto& b) { Block(b); }, block);
    }
    return ok_;
  }
  int Pages() const { return page_ + 1; }

 private:
  bool Visible() const { return p_ && (target_ < 0 || page_ == target_); }

  void StartPage() {
    y_ = kMarginTop;
    if (!Visible()) return;
    p_->save();
    p_->setFont(Font(28));
    p_->setPen(QColor(90, 90, 90));
    p_->drawText(QRectF(kMarginX, kPageH - kMarginBottom + 50, kContentW, 60),
                 Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("Стр. %1").arg(page_ + 1));
    p_->restore();
  }

  void NewPage() {
    if (target_ < 0 && newPage_ && !newPage_()) ok_ = false;
    ++page_;
    StartPage();
  }

  // Room for h more units on this page, or a new page.
  void Need(double h) {
    if (y_ + h > kBottom && y_ > kMarginTop) NewPage();
  }

  double TextHeight(const QFont& f, const QString& text, double width) const {
    QFontMetricsF fm(f);
    return fm.boundingRect(QRectF(0, 0, width, 1e6), Qt::TextWordWrap, text).height();
  }

  void Paragraph(const QString& text, const QFont& f, double gapAfter, int align = Qt::AlignLeft) {
    // Line by line, so a long text breaks across pages.
    for (const QString& line : text.split('\n')) {
      const QString shown = line.isEmpty() ? QStringLiteral(" ") : line;
      const double h = TextHeight(f, shown, kContentW);
      Need(h);
      if (Visible()) {
        p_->setFont(f);
        p_->setPen(Qt::black);
        p_->drawText(QRectF(kMarginX, y_, kContentW, h), align | Qt::TextWordWrap, shown);
      }
      y_ += h;
    }
    y_ += gapAfter;
  }

  void Title(const PrintDocument& doc) {
    Paragraph(Q(doc.title), Font(62, true), 30, Qt::AlignHCenter);
    const QFont label = Font(kTextSize, true), value = Font(kTextSize);
    double labelW = 0;
    for (const auto& [l, v] : doc.stamp)
      labelW = std::max(labelW, QFontMetricsF(label).horizontalAdvance(Q(l) + ": "));
    for (const auto& [l, v] : doc.stamp) {
      const double h = TextHeight(value, Q(v), kContentW - labelW) + 8;
      Need(h);
      if (Visible()) {
        p_->setPen(Qt::black);
        p_->setFont(label);
        p_->drawText(QRectF(kMarginX, y_, labelW, h), Qt::AlignLeft, Q(l) + ":");
        p_->setFont(value);
        p_->drawText(QRectF(kMarginX + labelW, y_, kContentW - labelW, h),
                     Qt::AlignLeft | Qt::TextWordWrap, Q(v));
      }
      y_ += h;
    }
    y_ += 20;
    if (Visible()) {
      p_->setPen(QPen(Qt::black, 4));
      p_->drawLine(QPointF(kMarginX, y_), QPointF(kMarginX + kContentW, y_));
    }
    y_ += 40;
  }

  void Block(const DocHeading& h) {
    Need(200);  // a heading never ends a page alone
    Paragraph(Q(h.text), Font(46, true), 20);
  }

  void Block(const DocText& t) { Paragraph(Q(t.text), Font(kTextSize), 30); }

  void Block(const DocTable& t) {
    const std::size_t cols = std::max<std::size_t>(
        t.header.size(),
        t.rows.empty()
            ? 0
            : std::max_element(t.rows.begin(), t.rows.end(), [](const auto& a, const auto& b) {
                return a.size() < b.size();
              })->size());
    if (cols == 0) return;
    const auto cell = [](const std::vector<std::string>& row, std::size_t c) {
      return c < row.size() ? Q(row[c]).trimmed() : QString();
    };
    // Columns as wide as their widest text. A table wider than the page is printed in a smaller
    // type; where even the smallest is too wide, the cells wrap onto more lines. No cell is cut.
    double size = 34;
    std::vector<double> w(cols, 0);
    const auto measure = [&] {
      const QFontMetricsF fb(Font(size)), fh(Font(size, true));
      double total = 0;
      for (std::size_t c = 0; c < cols; ++c) {
        w[c] = fh.horizontalAdvance(cell(t.header, c));
        for (const auto& row : t.rows) w[c] = std::max(w[c], fb.horizontalAdvance(cell(row, c)));
        w[c] += size;
        total += w[c];
      }
      return total;
    };
    double total = measure();
    constexpr double kSmallestSize = 20;  // about 6 points, still readable on paper
    if (total > kContentW) {
      size = std::max(kSmallestSize, std::floor(size * kContentW / total));
      total = measure();
    }
    const bool wrap = total > kContentW;
    if (wrap)
      for (double& x : w) x *= kContentW / total;
    const QFont body = Font(size), head = Font(size, true);
    const QFontMetricsF fb(body), fh(head);
    const int flags = Qt::AlignCenter | Qt::TextWrapAnywhere;
    const double pad = std::round(size * 0.4);
    const auto rowHeight = [&](const std::vector<std::string>& row, bool header) {
      const QFontMetricsF& fm = header ? fh : fb;
      double h = fm.height();
      if (wrap)
        for (std::size_t c = 0; c < cols; ++c)
          h = std::max(
              h, fm.boundingRect(QRectF(0, 0, w[c] - pad, 1e6), flags, cell(row, c)).height());
      return h + pad;
    };

    const auto drawRow = [&](const std::vector<std::string>& row, bool header, double rowH) {
      if (!Visible()) return;
      double x = kMarginX;
      p_->setFont(header ? head : body);
      for (std::size_t c = 0; c < cols; ++c) {
        const QRectF r(x, y_, w[c], rowH);
        if (header) p_->fillRect(r, QColor(225, 225, 225));
        p_->setPen(QPen(QColor(80, 80, 80), 2));
        p_->drawRect(r);
        p_->setPen(Qt::black);
        p_->drawText(r.adjusted(pad / 2, 0, -pad / 2, 0), flags, cell(row, c));
        x += w[c];
      }
    };

    const bool caption = !t.caption.empty();
    const double headH = rowHeight(t.header, true);
    Need((caption ? 60 : 0) + headH * 3);
    if (caption) Paragraph(Q(t.caption), Font(kTextSize, true), 8);
    drawRow(t.header, true, headH);
    y_ += headH;
    for (const auto& row : t.rows) {
      const double rowH = rowHeight(row, false);
      if (y_ + rowH > kBottom) {
        NewPage();
        drawRow(t.header, true, headH);
        y_ += headH;
      }
      drawRow(row, false, rowH);
      y_ += rowH;
    }
    y_ += 40;
  }

  void Block(const DocChart& c) {
    Need(kChartH + 40);
    if (Visible()) PaintChart(c, QRectF(kMarginX, y_, kContentW, kChartH));
    y_ += kChartH + 40;
  }

  void PaintChart(const DocChart& c, const QRectF& area) {
    double x0 = c.xMin, x1 = c.xMax, y0 = c.yMin, y1 = c.yMax;
    const bool autoX = x0 == 0 && x1 == 0, autoY = y0 == 0 && y1 == 0;
    if (autoX || autoY) {
      double ax0 = 1e300, ax1 = -1e300, ay0 = 1e300, ay1 = -1e300;
      for (const DocSeries& s : c.series)
        for (const auto& [x, y] : s.points) {
          if (!std::isfinite(x) || !std::isfinite(y)) continue;  // a broken reading sets no axis
          ax0 = std::min(ax0, x), ax1 = std::max(ax1, x);
          ay0 = std::min(ay0, y), ay1 = std::max(ay1, y);
        }
      if (ax0 > ax1) ax0 = 0, ax1 = 1, ay0 = 0, ay1 = 1;
      if (autoX) x0 = ax0, x1 = ax1;
      if (autoY) {
        // A little room, so no point sits on the frame.
        const double pad = std::max(0.05 * (ay1 - ay0), 0.5);
        ay0 -= pad, ay1 += pad;
        const double step = NiceStep(ay1 - ay0, 6);
        y0 = std::floor(ay0 / step) * step, y1 = std::ceil(ay1 / step) * step;
      }
    }
    if (!std::isfinite(x0) || !std::isfinite(x1)) x0 = 0, x1 = 1;
    if (!std::isfinite(y0) || !std::isfinite(y1)) y0 = 0, y1 = 1;
    if (!(x1 > x0)) x1 = x0 + 1;
    if (!(y1 > y0)) y1 = y0 + 1;

    p_->save();
    const QFont small = Font(28);
    p_->setFont(Font(kTextSize, true));
    p_->setPen(Qt::black);
    p_->drawText(QRectF(area.left(), area.top(), area.width(), 55), Qt::AlignCenter, Q(c.title));
    const QRectF plot(area.left() + 130, area.top() + 105, area.width() - 150, area.height() - 200);
    const auto px = [&](double x) { return plot.left() + (x - x0) / (x1 - x0) * plot.width(); };
    const auto py = [&](double y) { return plot.bottom() - (y - y0) / (y1 - y0) * plot.height(); };

    // Grid and tick labels.
    p_->setFont(small);
    const double sx = NiceStep(x1 - x0, 8), sy = NiceStep(y1 - y0, 6);
    for (const double x : Ticks(x0, x1, sx)) {
      p_->setPen(QPen(QColor(215, 215, 215), 2));
      p_->drawLine(QPointF(px(x), plot.top()), QPointF(px(x), plot.bottom()));
      p_->setPen(Qt::black);
      p_->drawText(QRectF(px(x) - 100, plot.bottom() + 8, 200, 40), Qt::AlignHCenter | Qt::AlignTop,
                   QString::number(x, 'g', 6));
    }
    for (const double y : Ticks(y0, y1, sy)) {
      p_->setPen(QPen(QColor(215, 215, 215), 2));
      p_->drawLine(QPointF(plot.left(), py(y)), QPointF(plot.right(), py(y)));
      p_->setPen(Qt::black);
      p_->drawText(QRectF(plot.left() - 125, py(y) - 20, 115, 40),
                   Qt::AlignRight | Qt::AlignVCenter, QString::number(y, 'g', 6));
    }
    p_->setPen(QPen(Qt::black, 3));
    p_->drawRect(plot);
    if (!c.xTitle.empty())
      p_->drawText(QRectF(plot.left(), plot.bottom() + 45, plot.width(), 40),
                   Qt::AlignRight | Qt::AlignTop, Q(c.xTitle));
    if (!c.yTitle.empty())
      p_->drawText(QRectF(area.left(), area.top() + 45, area.width(), 35),
                   Qt::AlignLeft | Qt::AlignTop, Q(c.yTitle));

    // The series, clipped to the plot.
    p_->save();
    p_->setClipRect(plot.adjusted(-6, -6, 6, 6));
    p_->setRenderHint(QPainter::Antialiasing, true);
    for (const DocSeries& s : c.series) {
      const QColor ink = Ink(s.color);
      if (s.kind == SeriesKind::Line) {
        QPainterPath path;
        bool start = true;
        for (const auto& [x, y] : s.points) {
          // Far outside the plot only the clip would see it; a value that is no number breaks
          // the line.
          const QPointF q(std::clamp(px(x), -1e5, 1e5), std::clamp(py(y), -1e5, 1e5));
          if (!std::isfinite(q.x()) || !std::isfinite(q.y())) {
            start = true;
            continue;
          }
          start ? path.moveTo(q) : path.lineTo(q);
          start = false;
        }
        p_->setPen(QPen(ink, 5));
        p_->setBrush(Qt::NoBrush);
        p_->drawPath(path);
      } else {
        p_->setPen(QPen(ink, 2));
        p_->setBrush(ink);
        for (const auto& [x, y] : s.points)
          if (std::isfinite(px(x)) && std::isfinite(py(y)) && std::abs(px(x)) < 1e5 &&
              std::abs(py(y)) < 1e5)
            p_->drawEllipse(QPointF(px(x), py(y)), 9, 9);
      }
    }
    p_->restore();

    // A legend of the distinct names and colours (a family of lines has one entry), under the
    // plot on the left.
    std::set<std::pair<std::string, Color>> seen;
    double lx = plot.left();
    const double ly = plot.bottom() + 50;
    for (const DocSeries& s : c.series) {
      if (s.name.empty() || s.points.empty() || !seen.insert({s.name, s.color}).second) continue;
      const QString name = Q(s.name);
      const QColor ink = Ink(s.color);
      const double mid = ly + 20;
      if (s.kind == SeriesKind::Line) {
        p_->setPen(QPen(ink, 6));
        p_->drawLine(QPointF(lx, mid), QPointF(lx + 45, mid));
      } else {
        p_->setPen(QPen(ink, 2));
        p_->setBrush(ink);
        p_->drawEllipse(QPointF(lx + 22, mid), 9, 9);
      }
      p_->setPen(Qt::black);
      const double tw = QFontMetricsF(small).horizontalAdvance(name);
      p_->drawText(QRectF(lx + 55, ly, tw + 10, 40), Qt::AlignLeft | Qt::AlignVCenter, name);
      lx += 55 + tw + 50;
    }
    p_->restore();
  }

  QPainter* p_;
  int target_;
  std::function<bool()> newPage_;
  int page_ = 0;
  double y_ = kMarginTop;
  bool ok_ = true;
};

}  // namespace

bool WriteDocumentPdf(const PrintDocument& doc, const std::filesystem::path& path,
                      std::string& error) {
  QSaveFile file(Q(path.string()));
  if (!file.open(QIODevice::WriteOnly)) {
    error = file.errorString().toStdString();
    return false;
  }
  bool ok = false;
  {
    QPdfWriter writer(&file);
    constexpr int kDpi = 300;
    writer.setResolution(kDpi);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setTitle(Q(doc.title));
    writer.setCreator(QStringLiteral("kvt-service"));
    QPainter painter;
    if (painter.begin(&writer)) {
      painter.scale(kDpi / 254.0, kDpi / 254.0);
      Layout layout(&painter, -1, [&writer] { return writer.newPage(); });
      ok = layout.Run(doc);
      ok = painter.end() && ok;
    }
  }
  if (!ok) {
    file.cancelWriting();
    error = "Не удалось сформировать документ PDF.";
    return false;
  }
  if (!file.commit()) {
    error = file.errorString().toStdString();
    return false;
  }
  return true;
}

QImage RenderDocumentPage(const PrintDocument& doc, int index, int dpi) {
  const double scale = dpi / 254.0;
  QImage image(int(kPageW * scale), int(kPageH * scale), QImage::Format_RGB32);
  image.setDotsPerMeterX(int(dpi / 0.0254));
  image.setDotsPerMeterY(int(dpi / 0.0254));
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::TextAntialiasing, true);
  painter.scale(scale, scale);
  Layout(&painter, index, nullptr).Run(doc);
  return image;
}

void PaintDocumentPage(const PrintDocument& doc, int index, QPainter& painter) {
  Layout(&painter, index, nullptr).Run(doc);
}

int DocumentPageCount(const PrintDocument& doc) {
  Layout layout(nullptr, -2, nullptr);
  layout.Run(doc);
  return layout.Pages();
}

namespace {
// The desktop program and its GUI tests write PDF through this file.
const bool installed = [] {
  SetPdfWriter(&WriteDocumentPdf);
  return true;
}();
}  // namespace

}  // namespace platform::qt
