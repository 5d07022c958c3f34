#include "exposure/ui/DefineCurrentView.h"

#include <QChart>
#include <QChartView>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <cmath>

#include "app/ui/ToolRegistry.h"
#include "platform/qt/Bindings.h"
#include "platform/qt/ViewParts.h"

namespace kvt::ui {

namespace {

QScrollBar* MakeBar(QWidget* parent, platform::ScrollBar& model, const QRect& where) {
  QScrollBar* b = pq::MakeScrollBar(parent, model, where);
  b->setPageStep(10);
  return b;
}

}  // namespace

DefineCurrentView::DefineCurrentView(TfrmDefineCurrent& model, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      model_(model) {
  setObjectName("frmDefineCurrent");
  setModal(true);
  setFixedSize(526, 515);
  move(18, 41);
  TfrmDefineCurrent& m = model_;
  pq::BindForm(this, m.Form);

  QGroupBox* group = pq::MakeGroup(this, m.GroupBox8, QRect(8, 4, 420, 460));
  chart_ = pq::MakeChart(group, m.chart_Ia_calibr, QRect(6, 18, 408, 436));
  chart_->setInteractive(false);
  chart_->chart()->setBackgroundBrush(Qt::black);
  chart_->chart()->setPlotAreaBackgroundBrush(Qt::black);
  chart_->chart()->setPlotAreaBackgroundVisible(true);
  // Light axes on the black chart.
  auto lighten = [this] {
    for (QAbstractAxis* a : chart_->chart()->axes()) {
      a->setLabelsColor(Qt::white);
      a->setGridLineColor(QColor(0x40, 0x40, 0x40));
    }
  };
  lighten();
  area_ = chart_->viewport();
  area_->installEventFilter(this);
  area_->setMouseTracking(true);
  connect(area_, &QObject::destroyed, this, [this] { area_ = nullptr; });
  chartToken_ = m.chart_Ia_calibr.AddListener([lighten, self = QPointer<DefineCurrentView>(this)] {
    if (self) QMetaObject::invokeMethod(self, lighten, Qt::QueuedConnection);
  });

  // The two bars side by side, each with its value: the upper one's above, the lower one's below.
  pq::MakeLabel(this, m.UpVal1, QRect(436, 8, 40, 20));
  MakeBar(this, m.UpTrack1, QRect(446, 30, 20, 420));
  MakeBar(this, m.DownTrack1, QRect(484, 30, 20, 420));
  pq::MakeLabel(this, m.DownVal1, QRect(474, 452, 40, 20));

  pq::MakeLabel(this, m.Label1, QRect(12, 474, 90, 30));
  QLabel* result = pq::MakeLabel(this, m.Ia_result, QRect(104, 474, 60, 30));
  result->setAutoFillBackground(false);
  pq::MakeLabel(this, m.Label2, QRect(166, 474, 30, 30));
  QPushButton* accept = pq::MakeButton(this, m.Button1, QRect(226, 474, 290, 30));
  accept->setDefault(true);

  m.SetModalRunner([self = QPointer<DefineCurrentView>(this)](TfrmDefineCurrent&) {
    if (self) self->exec();
  });
  m.OnClose = [self = QPointer<DefineCurrentView>(this)] {
    if (self) self->done(QDialog::Accepted);
  };
}

DefineCurrentView::~DefineCurrentView() {
  if (area_) area_->removeEventFilter(this);
  area_ = nullptr;
  model_.SetModalRunner(nullptr);
  model_.OnClose = nullptr;
  model_.chart_Ia_calibr.RemoveListener(chartToken_);
  // The widgets go before the model's listeners would reach them.
  qDeleteAll(findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
}

double DefineCurrentView::ValueAt(const QPoint& at) const {
  QChart* chart = chart_->chart();
  return chart->mapToValue(chart->mapFromScene(chart_->mapToScene(at))).y();
}

bool DefineCurrentView::eventFilter(QObject* watched, QEvent* event) {
  using Line = TfrmDefineCurrent::Line;
  if (!area_ || watched != area_) return QDialog::eventFilter(watched, event);
  const auto type = event->type();
  if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove &&
      type != QEvent::MouseButtonRelease)
    return QDialog::eventFilter(watched, event);
  auto* mouse = static_cast<QMouseEvent*>(event);
  const QPoint at = mouse->position().toPoint();
  // A line is taken within a few pixels of it.
  constexpr int kGrip = 5;
  const double value = ValueAt(at);
  const double tolerance = std::fabs(ValueAt(at + QPoint(0, kGrip)) - value);
  if (type == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton) {
    dragged_ = model_.LineNear(value, tolerance);
    if (dragged_ == Line::None) return false;
    model_.DragLine(dragged_, value);
    return true;
  }
  if (type == QEvent::MouseMove) {
    if (dragged_ != Line::None) {
      model_.DragLine(dragged_, value);
      return true;
    }
    const bool near = model_.LineNear(value, tolerance) != Line::None;
    area_->setCursor(near ? Qt::SizeVerCursor : Qt::ArrowCursor);
    return false;
  }
  if (type == QEvent::MouseButtonRelease && dragged_ != Line::None) {
    dragged_ = Line::None;
    return true;
  }
  return false;
}

void DefineCurrentView::reject() {
  if (model_.Showing())
    model_.FormCloseByFrame();  // ends the loop through OnClose
  else
    QDialog::reject();
}

// The program's one determination dialog, hidden until a tool asks for a value.
static ToolInstaller installDefineCurrent([](MainWindowParts& parts) {
  parts.Keep(std::make_unique<DefineCurrentView>(DefineCurrentDialog()));
});

}  // namespace kvt::ui
