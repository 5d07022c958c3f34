#include "platform/qt/ViewParts.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QGraphicsLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>

namespace platform::qt {

namespace {

// A widget of type W named after its model, placed and bound by `bind`.
template <class W, class M, class Bind>
W* Made(QWidget* parent, M& model, const QRect& where, Bind bind) {
  W* widget = Named(new W(parent), model, where);
  bind(widget, model);
  return widget;
}

template <class W>
W* Aligned(W* widget, Qt::Alignment alignment) {
  widget->setAlignment(alignment);
  return widget;
}

}  // namespace

QGroupBox* MakeGroup(QWidget* parent, GroupBox& model, const QRect& where) {
  return Made<QGroupBox>(parent, model, where, BindGroupBox);
}
QLabel* MakeLabel(QWidget* parent, Label& model, const QRect& where) {
  return Made<QLabel>(parent, model, where, BindLabel);
}
QSpinBox* MakeSpin(QWidget* parent, UpDown& model, const QRect& where) {
  return Made<QSpinBox>(parent, model, where, BindUpDown);
}
QLineEdit* MakeEdit(QWidget* parent, Edit& model, const QRect& where) {
  return Made<QLineEdit>(parent, model, where, BindEdit);
}
QCheckBox* MakeCheck(QWidget* parent, CheckBox& model, const QRect& where) {
  return Made<QCheckBox>(parent, model, where, BindCheckBox);
}
QRadioButton* MakeRadio(QWidget* parent, RadioButton& model, const QRect& where) {
  return Made<QRadioButton>(parent, model, where, BindCheckBox);
}
QComboBox* MakeCombo(QWidget* parent, ComboBox& model, const QRect& where) {
  return Made<QComboBox>(parent, model, where, BindComboBox);
}
QPlainTextEdit* MakeMemo(QWidget* parent, Memo& model, const QRect& where) {
  return Made<QPlainTextEdit>(parent, model, where, BindMemo);
}
QTableWidget* MakeGrid(QWidget* parent, StringGrid& model, const QRect& where) {
  return Made<QTableWidget>(parent, model, where, BindStringGrid);
}

QSpinBox* MakeSpin(QWidget* parent, UpDown& model, const QRect& where, Qt::Alignment alignment) {
  return Aligned(MakeSpin(parent, model, where), alignment);
}

QLineEdit* MakeEdit(QWidget* parent, Edit& model, const QRect& where, Qt::Alignment alignment) {
  return Aligned(MakeEdit(parent, model, where), alignment);
}

QProgressBar* MakeGauge(QWidget* parent, Gauge& model, const QRect& where,
                        Qt::Orientation orientation) {
  auto* g = Named(new QProgressBar(parent), model, where);
  g->setOrientation(orientation);
  g->setTextVisible(false);
  BindGauge(g, model);
  return g;
}

QScrollBar* MakeScrollBar(QWidget* parent, ScrollBar& model, const QRect& where,
                          Qt::Orientation orientation) {
  auto* b = Named(new QScrollBar(orientation, parent), model, where);
  BindScrollBar(b, model);
  return b;
}

QPushButton* MakePushButton(QWidget* parent, Button& model, const QRect& where, bool autoDefault) {
  QPushButton* b = MakeButton(parent, model, where);
  b->setAutoDefault(autoDefault);
  return b;
}

std::vector<QPushButton*> MakeButtonRow(QWidget* parent, std::initializer_list<Button*> buttons,
                                        const QRect& first, QPoint step, bool autoDefault) {
  std::vector<QPushButton*> made;
  QRect at = first;
  for (Button* b : buttons) {
    made.push_back(MakePushButton(parent, *b, at, autoDefault));
    at.translate(step);
  }
  return made;
}

std::vector<QWidget*> AddPages(QTabWidget* tabs, const PageControl& pages) {
  std::vector<QWidget*> made;
  for (int i = 0; i < pages.PageCount(); ++i) {
    made.push_back(new QWidget);
    made.back()->setObjectName(QString::fromStdString(pages.PageName(i)));
    tabs->addTab(made.back(), QString::fromStdString(pages.PageCaption(i)));
  }
  return made;
}

QFrame* MakePanel(QWidget* parent, Panel& model, const QRect& where, QFrame::Shadow shadow,
                  int lineWidth) {
  auto* f = Made<QFrame>(parent, model, where, BindPanel);
  f->setFrameShape(QFrame::Panel);
  f->setFrameShadow(shadow);
  f->setLineWidth(lineWidth);
  return f;
}

QRect InsideGroup(const QWidget* group, int margin, int top) {
  return QRect(margin, top, group->width() - 2 * margin, group->height() - top - margin);
}

void FrameWindow(QWidget* window, Form& form, QSize size) {
  Named(window, form, QRect());
  window->setFixedSize(size);
  BindForm(window, form);
}

QLabel* MakeLamp(QWidget* parent, Picture& model, const QRect& where) {
  auto* l = Named(new QLabel(parent), model, where);
  l->setAlignment(Qt::AlignCenter);
  BindPicture(l, model);
  return l;
}

QLabel* MakeCaptioned(QWidget* parent, Label& caption, QWidget* field, const QRect& where,
                      int fieldWidth) {
  QLabel* l = MakeLabel(parent, caption, QRect(where.x(), where.y(), where.width(), 16));
  l->setAlignment(Qt::AlignCenter);
  field->setGeometry(where.x() + (where.width() - fieldWidth) / 2, where.y() + 18, fieldWidth,
                     where.height() - 18);
  return l;
}

QLabel* MakeMessagePanel(QWidget* parent, Label& model, const QRect& where, int margin,
                         Qt::Alignment alignment) {
  QLabel* l = MakeLabel(parent, model, where);
  l->setAutoFillBackground(true);
  if (alignment) l->setAlignment(alignment);
  l->setMargin(margin);
  return l;
}

QChartView* MakeChart(QWidget* parent, Chart& model, const QRect& where, ChartLook look) {
  auto* view = Named(new QChartView(parent), model, where);
  view->setRenderHint(QPainter::Antialiasing);
  QChart* chart = view->chart();
  if (look != ChartLook::Plain) {
    chart->setMargins(QMargins(2, 2, 2, 2));
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    chart->setBackgroundRoundness(0);
  }
  if (look == ChartLook::Scope) {
    chart->setPlotAreaBackgroundBrush(QColor(0x10, 0x10, 0x10));
    chart->setPlotAreaBackgroundVisible(true);
  }
  BindChart(view, model);
  return view;
}

// ----------------------------------------------------------------------------- ViewWindow

ViewWindow::ViewWindow(QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags) {}

void ViewWindow::Frame(const char* objectName, QSize size, bool deleteOnClose) {
  setObjectName(QString::fromLatin1(objectName));
  if (deleteOnClose) setAttribute(Qt::WA_DeleteOnClose);
  setFixedSize(size);
}

void ViewWindow::PlaceAtTopLeft() {
  QScreen* s = screen() ? screen() : QApplication::primaryScreen();
  if (s) move(s->geometry().topLeft());
}

void ViewWindow::OnEnter(QWidget* field, std::function<bool()> handler) {
  enter_[field] = std::move(handler);
  field->installEventFilter(this);
}

void ViewWindow::FocusNamed(const std::string& name) {
  if (auto* w = findChild<QWidget*>(QString::fromStdString(name))) w->setFocus();
}

void ViewWindow::DeleteChildren() {
  for (const auto& unhook : unhooks_) unhook();
  unhooks_.clear();
  enter_.clear();
  qDeleteAll(findChildren<QObject*>(Qt::FindDirectChildrenOnly));
}

bool ViewWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      const auto handler = enter_.find(watched);
      if (handler != enter_.end() && handler->second && handler->second()) return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace platform::qt
