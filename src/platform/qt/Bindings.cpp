#include "platform/qt/Bindings.h"

#include <QAbstractButton>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadialGradient>
#include <QRadioButton>
#include <QScatterSeries>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QValueAxis>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>

namespace platform::qt {

namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

// Keeps `apply` in step with the model for as long as both the object and the model live.
void Follow(QObject* object, Control& control, std::function<void()> apply) {
  QPointer<QObject> guard(object);
  auto token = control.AddListener([guard, apply] {
    if (guard) apply();
  });
  std::weak_ptr<void> life = control.Lifetime();
  QObject::connect(object, &QObject::destroyed, [token, life, &control] {
    if (!life.expired()) control.RemoveListener(token);
  });
  apply();
}

// Runs a user action on the model unless the model is gone or the binding itself is writing.
struct Guard {
  std::weak_ptr<void> life;
  std::shared_ptr<bool> updating = std::make_shared<bool>(false);
  bool Ok() const { return !life.expired() && !*updating; }
};

class Updating {
 public:
  explicit Updating(const Guard& g) : flag_(g.updating) { *flag_ = true; }
  ~Updating() { *flag_ = false; }

 private:
  std::shared_ptr<bool> flag_;
};

Qt::Alignment ToQt(Alignment a) {
  switch (a) {
    case Alignment::Center:
      return Qt::AlignHCenter | Qt::AlignVCenter;
    case Alignment::Right:
      return Qt::AlignRight | Qt::AlignVCenter;
    case Alignment::Left:
      break;
  }
  return Qt::AlignLeft | Qt::AlignVCenter;
}

void ApplyCommon(QWidget* w, const Control& c, bool visibility = true) {
  w->setEnabled(c.Enabled());
  if (visibility && w->isVisibleTo(w->parentWidget()) != c.Visible() && w->parentWidget())
    w->setVisible(c.Visible());
  const Font& f = c.Font();
  if (f.size > 0 || f.bold) {
    QFont font = w->font();
    if (f.size > 0) font.setPointSize(f.size);
    font.setBold(f.bold);
    w->setFont(font);
  } else if (w->font().bold()) {
    QFont font = w->font();
    font.setBold(false);
    w->setFont(font);
  }
  QPalette pal = w->palette();
  if (f.color != kDefaultColor) {
    QColor col = ToQColor(f.color);
    pal.setColor(QPalette::WindowText, col);
    pal.setColor(QPalette::Text, col);
    pal.setColor(QPalette::ButtonText, col);
  }
  if (c.BackgroundColor() != kDefaultColor) {
    QColor bg = ToQColor(c.BackgroundColor());
    pal.setColor(QPalette::Window, bg);
    pal.setColor(QPalette::Base, bg);
    w->setAutoFillBackground(true);
  }
  w->setPalette(pal);
}

// Keeps a widget the engineer edits in step with its model: the common properties, then `apply`,
// while the guard tells the widget's own signals that the binding, not the engineer, is writing.
template <class W, class M, class Apply>
void FollowEdited(W* w, M& model, const Guard& g, Apply apply) {
  Follow(w, model, [w, &model, g, apply] {
    Updating u(g);
    ApplyCommon(w, model);
    apply();
  });
}

std::atomic<int> g_suspended{0};

std::mutex& PicturesMutex() {
  static std::mutex m;
  return m;
}
std::map<std::string, PixmapFactory>& Pictures() {
  static std::map<std::string, PixmapFactory> pictures;
  return pictures;
}

QPixmap DrawLamp(QSize size, QColor color) {
  int d = std::max(8, std::min(size.width(), size.height()));
  QPixmap pm(d, d);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  QRadialGradient g(d * 0.35, d * 0.35, d * 0.6);
  g.setColorAt(0, color.lighter(170));
  g.setColorAt(1, color.darker(140));
  p.setBrush(g);
  p.setPen(QPen(Qt::black, 1));
  p.drawEllipse(QRectF(1, 1, d - 2, d - 2));
  return pm;
}

}  // namespace

QColor ToQColor(Color color) {
  if (color == kDefaultColor) return {};
  return QColor(int((color >> 16) & 0xFF), int((color >> 8) & 0xFF), int(color & 0xFF));
}

void BindForm(QWidget* window, Form& form) {
  Follow(window, form, [window, &form] {
    ApplyCommon(window, form, false);
    window->setWindowTitle(Q(form.Caption()));
  });
}

void BindLabel(QLabel* w, Label& label) {
  Follow(w, label, [w, &label] {
    ApplyCommon(w, label);
    if (w->text() != Q(label.Caption())) w->setText(Q(label.Caption()));
    // A word-wrapped label reads from its top, a one-line label sits in its middle.
    Qt::Alignment a = ToQt(label.Alignment());
    if (label.WordWrap()) a = (a & Qt::AlignHorizontal_Mask) | Qt::AlignTop;
    w->setAlignment(a);
    w->setWordWrap(label.WordWrap());
  });
}

void BindEdit(QLineEdit* w, Edit& edit) {
  Guard g{edit.Lifetime()};
  FollowEdited(w, edit, g, [w, &edit] {
    if (w->text() != Q(edit.Text())) w->setText(Q(edit.Text()));
    w->setReadOnly(edit.ReadOnly());
  });
  QObject::connect(w, &QLineEdit::textEdited, w, [g, &edit](const QString& text) {
    if (g.Ok()) edit.SetText(text.toStdString());
  });
}

void BindUpDown(QSpinBox* w, UpDown& upDown) {
  Guard g{upDown.Lifetime()};
  FollowEdited(w, upDown, g, [w, &upDown] {
    w->setRange(upDown.Min(), upDown.Max());
    w->setSingleStep(std::max(1, upDown.Increment()));
    w->setValue(upDown.Position());
  });
  QObject::connect(w, &QSpinBox::valueChanged, w, [w, g, &upDown](int v) {
    if (!g.Ok()) return;
    const int pos = upDown.Position();
    const int inc = std::max(1, upDown.Increment());
    if (v == pos + inc || (v == upDown.Max() && v > pos && v - pos < inc))
      upDown.Click(true);
    else if (v == pos - inc || (v == upDown.Min() && v < pos && pos - v < inc))
      upDown.Click(false);
    else if (Edit* e = upDown.Associate())
      e->SetText(std::to_string(v));
    else
      upDown.SetPosition(v);
    // The model may have refused or clamped the value.
    if (!g.life.expired() && w->value() != upDown.Position()) {
      Updating u(g);
      w->setValue(upDown.Position());
    }
  });
}

QPushButton* MakeButton(QWidget* parent, Button& model, const QRect& where) {
  auto* b = new QPushButton(parent);
  b->setObjectName(QString::fromStdString(model.Name()));
  b->setGeometry(where);
  BindButton(b, model);
  return b;
}

void BindButton(QAbstractButton* w, Button& button) {
  Guard g{button.Lifetime()};
  Follow(w, button, [w, &button] {
    ApplyCommon(w, button);
    w->setText(Q(button.Caption()));
    if (!button.Glyph().empty()) {
      QPixmap pm = PictureFor(button.Glyph(), w->iconSize());
      if (!pm.isNull()) w->setIcon(QIcon(pm));
    }
  });
  QObject::connect(w, &QAbstractButton::clicked, w, [g, &button] {
    if (g.Ok()) button.Click();
  });
}

void BindCheckBox(QAbstractButton* w, CheckBox& box) {
  Guard g{box.Lifetime()};
  w->setCheckable(true);
  const bool radio = qobject_cast<QRadioButton*>(w) != nullptr;
  // The form keeps its radio groups exclusive; the widget only shows the model.
  w->setAutoExclusive(false);
  FollowEdited(w, box, g, [w, &box] {
    w->setText(Q(box.Caption()));
    w->setChecked(box.Checked());
  });
  QObject::connect(w, &QAbstractButton::clicked, w, [w, g, &box, radio](bool checked) {
    if (!g.Ok()) return;
    box.SetChecked(radio ? true : checked);
    if (!g.life.expired() && w->isChecked() != box.Checked()) {
      Updating u(g);
      w->setChecked(box.Checked());
    }
  });
}

void BindComboBox(QComboBox* w, ComboBox& combo) {
  Guard g{combo.Lifetime()};
  FollowEdited(w, combo, g, [w, &combo] {
    w->setEditable(!combo.DropDownList());
    QStringList items;
    for (auto& i : combo.Items()) items << Q(i);
    QStringList current;
    for (int i = 0; i < w->count(); ++i) current << w->itemText(i);
    if (current != items) {
      w->clear();
      w->addItems(items);
    }
    w->setCurrentIndex(combo.ItemIndex());
    if (w->isEditable() && w->currentText() != Q(combo.Text())) w->setEditText(Q(combo.Text()));
  });
  QObject::connect(w, &QComboBox::activated, w, [g, &combo](int index) {
    if (g.Ok()) combo.Select(index);
  });
  QObject::connect(w, &QComboBox::editTextChanged, w, [w, g, &combo](const QString& text) {
    if (g.Ok() && w->isEditable() && text.toStdString() != combo.Text())
      combo.EditText(text.toStdString());
  });
}

namespace {

// Whether any part of the row is inside the table's viewport.
bool RowInView(const QTableWidget* w, int row) {
  if (row < 0 || row >= w->rowCount()) return false;
  const int top = w->rowViewportPosition(row);
  return top + w->rowHeight(row) > 0 && top < w->viewport()->height();
}

}  // namespace

void BindStringGrid(QTableWidget* w, StringGrid& grid) {
  Guard g{grid.Lifetime()};
  // The newest row the view has seen, for grids that follow their new rows.
  auto newest = std::make_shared<int>(grid.FollowsNewRows() ? grid.NewestRow() : -1);
  w->horizontalHeader()->hide();
  w->verticalHeader()->hide();
  w->verticalHeader()->setDefaultSectionSize(18);
  w->verticalHeader()->setMinimumSectionSize(12);
  // Cells clip their text as the grids of this program always did; nothing is elided.
  w->setTextElideMode(Qt::ElideNone);
  w->setWordWrap(false);
  w->setSelectionMode(QAbstractItemView::SingleSelection);
  FollowEdited(w, grid, g, [w, &grid, g, newest] {
    w->setColumnCount(grid.ColCount());
    w->setRowCount(grid.RowCount());
    w->setEditTriggers(grid.Editable() ? QAbstractItemView::AllEditTriggers
                                       : QAbstractItemView::NoEditTriggers);
    const QColor fixedBg(0xC0, 0xC0, 0xC0);
    for (int c = 0; c < grid.ColCount(); ++c) {
      if (w->columnWidth(c) != grid.ColWidth(c)) w->setColumnWidth(c, grid.ColWidth(c));
      for (int r = 0; r < grid.RowCount(); ++r) {
        QTableWidgetItem* item = w->item(r, c);
        if (!item) {
          item = new QTableWidgetItem;
          w->setItem(r, c, item);
        }
        const QString text = Q(grid.Cell(c, r));
        if (item->text() != text) item->setText(text);
        const bool fixed = r < grid.FixedRows() || c < grid.FixedCols();
        Qt::ItemFlags flags = Qt::ItemIsEnabled;
        if (!fixed) flags |= Qt::ItemIsSelectable;
        if (!fixed && grid.Editable()) flags |= Qt::ItemIsEditable;
        if (item->flags() != flags) item->setFlags(flags);
        if (fixed) item->setBackground(fixedBg);
      }
    }
    if (!grid.FollowsNewRows()) return;
    const int before = *newest;
    const int row = grid.NewestRow();
    *newest = row;
    // The engineer who scrolled the last row out of view is reading older rows: they stay.
    if (row < 0 || row <= before || (before >= 0 && !RowInView(w, before))) return;
    const int col = std::clamp(grid.Col(), grid.FixedCols(), std::max(grid.ColCount() - 1, 0));
    // After the table has laid out its new rows, or the scroll range cannot reach them yet.
    QMetaObject::invokeMethod(
        w,
        [w, g, row, col] {
          if (!g.Ok() || row >= w->rowCount() || col >= w->columnCount()) return;
          Updating u(g);
          w->setCurrentCell(row, col);
          if (QTableWidgetItem* item = w->item(row, col))
            w->scrollToItem(item, QAbstractItemView::EnsureVisible);
        },
        Qt::QueuedConnection);
  });
  QObject::connect(w, &QTableWidget::cellChanged, w, [w, g, &grid](int row, int col) {
    if (!g.Ok()) return;
    QTableWidgetItem* item = w->item(row, col);
    if (item && item->text().toStdString() != grid.Cell(col, row))
      grid.EditCell(col, row, item->text().toStdString());
  });
  QObject::connect(w, &QTableWidget::currentCellChanged, w, [g, &grid](int row, int col, int, int) {
    if (g.Ok() && row >= 0 && col >= 0) grid.SelectCell(col, row);
  });
}

void BindGauge(QProgressBar* w, Gauge& gauge) {
  Follow(w, gauge, [w, &gauge] {
    ApplyCommon(w, gauge);
    w->setRange(gauge.MinValue(), gauge.MaxValue());
    w->setValue(gauge.Progress());
  });
}

void BindMemo(QPlainTextEdit* w, Memo& memo) {
  Guard g{memo.Lifetime()};
  FollowEdited(w, memo, g, [w, &memo] {
    const QString text = Q(memo.Text());
    if (w->toPlainText() != text) w->setPlainText(text);
    w->setReadOnly(memo.ReadOnly());
  });
  QObject::connect(w, &QPlainTextEdit::textChanged, w, [w, g, &memo] {
    if (g.Ok()) memo.SetText(w->toPlainText().toStdString());
  });
}

void BindPageControl(QTabWidget* w, PageControl& pages) {
  Guard g{pages.Lifetime()};
  FollowEdited(w, pages, g, [w, &pages] {
    const int n = std::min(w->count(), pages.PageCount());
    for (int i = 0; i < n; ++i) {
      w->setTabText(i, Q(pages.PageCaption(i)));
      w->setTabVisible(i, pages.TabVisible(i));
    }
    if (pages.ActivePageIndex() >= 0 && pages.ActivePageIndex() < w->count())
      w->setCurrentIndex(pages.ActivePageIndex());
  });
  QObject::connect(w, &QTabWidget::currentChanged, w, [g, &pages](int index) {
    if (g.Ok() && index >= 0 && index != pages.ActivePageIndex()) pages.SelectPage(index);
  });
}

void BindGroupBox(QGroupBox* w, GroupBox& group) {
  Follow(w, group, [w, &group] {
    ApplyCommon(w, group);
    w->setTitle(Q(group.Caption()));
  });
}

void BindPanel(QWidget* w, Panel& panel) {
  Follow(w, panel, [w, &panel] { ApplyCommon(w, panel); });
}

void BindPicture(QLabel* w, Picture& picture) {
  Follow(w, picture, [w, &picture] {
    ApplyCommon(w, picture);
    w->setPixmap(PictureFor(picture.Resource(), w->size()));
  });
}

void BindScrollBar(QScrollBar* w, ScrollBar& bar) {
  Guard g{bar.Lifetime()};
  FollowEdited(w, bar, g, [w, &bar] {
    w->setRange(bar.Min(), bar.Max());
    w->setValue(bar.Position());
  });
  QObject::connect(w, &QScrollBar::valueChanged, w, [g, &bar](int v) {
    if (g.Ok()) bar.SetPosition(v);
  });
}

QTimer* BindTimer(QObject* owner, Timer& timer) {
  auto* t = new QTimer(owner);
  t->setObjectName(Q(timer.Name()));
  Guard g{timer.Lifetime()};
  Follow(t, timer, [t, &timer] {
    if (t->interval() != timer.Interval()) t->setInterval(timer.Interval());
    const bool run = timer.Enabled() && timer.Interval() > 0;
    if (run && !t->isActive()) t->start();
    if (!run && t->isActive()) t->stop();
  });
  QObject::connect(t, &QTimer::timeout, t, [g, &timer] {
    if (g.Ok() && !TimerSuspension::Active()) timer.Fire();
  });
  return t;
}

void BindChart(QChartView* w, Chart& chart) {
  Guard g{chart.Lifetime()};
  auto pending = std::make_shared<bool>(false);
  QPointer<QChartView> view(w);
  auto rebuild = [view, &chart, g, pending] {
    *pending = false;
    if (!view || g.life.expired()) return;
    QChart* ch = view->chart();
    ch->removeAllSeries();
    for (QAbstractAxis* a : ch->axes()) {
      ch->removeAxis(a);
      delete a;
    }
    ch->setTitle(Q(chart.Title()));
    ch->legend()->hide();
    auto* ax = new QValueAxis;
    auto* ay = new QValueAxis;
    ch->addAxis(ax, Qt::AlignBottom);
    ch->addAxis(ay, Qt::AlignLeft);
    double xmin = 0, xmax = 0, ymin = 0, ymax = 0;
    bool any = false;
    for (std::size_t si = 0; si < chart.SeriesCount(); ++si) {
      const ChartSeries& src = chart.Series(si);
      QXYSeries* s = nullptr;
      if (src.Kind() == SeriesKind::Line) {
        s = new QLineSeries;
      } else {
        auto* sc = new QScatterSeries;
        sc->setMarkerSize(7);
        s = sc;
      }
      s->setName(Q(src.Title()));
      if (src.SeriesColor() != kDefaultColor) s->setColor(ToQColor(src.SeriesColor()));
      QList<QPointF> pts;
      pts.reserve(qsizetype(src.Count()));
      for (const ChartPoint& p : src.Points()) {
        pts.append(QPointF(p.x, p.y));
        if (src.Visible()) {
          if (!any) {
            xmin = xmax = p.x;
            ymin = ymax = p.y;
            any = true;
          }
          xmin = std::min(xmin, p.x);
          xmax = std::max(xmax, p.x);
          ymin = std::min(ymin, p.y);
          ymax = std::max(ymax, p.y);
        }
      }
      s->replace(pts);
      for (qsizetype i = 0; i < pts.size(); ++i) {
        Color c = src.Points()[std::size_t(i)].color;
        if (c != kDefaultColor)
          s->setPointConfiguration(int(i), QXYSeries::PointConfiguration::Color, ToQColor(c));
      }
      s->setVisible(src.Visible());
      ch->addSeries(s);
      s->attachAxis(ax);
      s->attachAxis(ay);
      QObject::connect(s, &QXYSeries::clicked, s, [s, si, g, &chart](const QPointF& at) {
        if (!g.Ok()) return;
        const auto pts = s->points();
        if (pts.isEmpty()) return;
        qsizetype best = 0;
        double bestD = 1e300;
        for (qsizetype i = 0; i < pts.size(); ++i) {
          double d = std::hypot(pts[i].x() - at.x(), pts[i].y() - at.y());
          if (d < bestD) {
            bestD = d;
            best = i;
          }
        }
        chart.ClickPoint(si, std::size_t(best));
      });
    }
    // A small chart has room for fewer labels than a large one: about one per 28 pixels.
    auto range = [](QValueAxis* axis, const ChartAxis& m, double lo, double hi, bool have,
                    int pixels) {
      if (!m.automatic) {
        lo = m.minimum;
        hi = m.maximum;
      } else if (!have) {
        lo = 0;
        hi = 1;
      }
      if (hi <= lo) hi = lo + 1;
      axis->setRange(lo, hi);
      // Labels as numbers are written: "150", "2.5", never "150.0".
      axis->setLabelFormat("%g");
      // A range the data gives is widened to round numbers, so the labels are round too.
      if (m.automatic) axis->applyNiceNumbers();
      if (!m.automatic && m.increment > 0) {
        // A fine step over a wide range would crowd the labels until Qt elides them all to
        // "...": label every n-th step instead, anchored on zero when the range holds it.
        const double mostLabelledTicks = std::clamp(pixels / 28.0, 2.0, 12.0);
        double interval = m.increment;
        const double ticks = (hi - lo) / interval;
        if (ticks > mostLabelledTicks) interval *= std::ceil(ticks / mostLabelledTicks);
        axis->setTickType(QValueAxis::TicksDynamic);
        axis->setTickAnchor(lo <= 0 && hi >= 0 ? 0.0 : lo);
        axis->setTickInterval(interval);
      }
      axis->setTitleText(Q(m.title));
      if (!m.labelFormat.empty()) axis->setLabelFormat(Q(m.labelFormat));
    };
    range(ax, chart.BottomAxis(), xmin, xmax, any, view->width());
    range(ay, chart.LeftAxis(), ymin, ymax, any, view->height());
  };
  // Many points arrive one by one; the chart is rebuilt once per turn of the event loop.
  Follow(w, chart, [w, &chart, pending, rebuild] {
    ApplyCommon(w, chart);
    if (*pending) return;
    *pending = true;
    QTimer::singleShot(0, w, rebuild);
  });
  rebuild();
}

void RegisterPicture(const std::string& name, PixmapFactory factory) {
  std::lock_guard<std::mutex> g(PicturesMutex());
  Pictures()[name] = std::move(factory);
}

QPixmap PictureFor(const std::string& name, QSize size) {
  if (name.empty()) return {};
  if (name == "GrayLamp") return DrawLamp(size, QColor(0x80, 0x80, 0x80));
  if (name == "GreenLamp") return DrawLamp(size, QColor(0x00, 0xC0, 0x00));
  if (name == "RedLamp") return DrawLamp(size, QColor(0xE0, 0x00, 0x00));
  if (name == "YellowLamp") return DrawLamp(size, QColor(0xE0, 0xE0, 0x00));
  PixmapFactory factory;
  {
    std::lock_guard<std::mutex> g(PicturesMutex());
    auto it = Pictures().find(name);
    if (it == Pictures().end()) return {};
    factory = it->second;
  }
  return factory(size);
}

TimerSuspension::TimerSuspension() {
  ++g_suspended;
}
TimerSuspension::~TimerSuspension() {
  --g_suspended;
}
bool TimerSuspension::Active() {
  return g_suspended.load() > 0;
}

}  // namespace platform::qt
