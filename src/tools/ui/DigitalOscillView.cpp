#include "tools/ui/DigitalOscillView.h"

#include <QChartView>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

#include "app/ui/ToolRegistry.h"
#include "platform/qt/Bindings.h"

namespace kvt::ui {

namespace pq = platform::qt;

namespace {

template <class W, class M>
W* Named(W* w, const M& model, const QRect& where) {
  w->setObjectName(QString::fromStdString(model.Name()));
  w->setGeometry(where);
  return w;
}

QLabel* MakeLabel(QWidget* parent, platform::Label& model, const QRect& where) {
  auto* l = Named(new QLabel(parent), model, where);
  pq::BindLabel(l, model);
  return l;
}

QComboBox* MakeCombo(QWidget* parent, platform::ComboBox& model, const QRect& where) {
  auto* c = Named(new QComboBox(parent), model, where);
  pq::BindComboBox(c, model);
  return c;
}

QSpinBox* MakeSpin(QWidget* parent, platform::UpDown& model, const QRect& where) {
  auto* s = Named(new QSpinBox(parent), model, where);
  pq::BindUpDown(s, model);
  return s;
}

// A group box with one figure in it.
QLabel* MakeFigure(QWidget* parent, platform::GroupBox& group, platform::Label& label,
                   const QRect& where) {
  auto* g = Named(new QGroupBox(parent), group, where);
  pq::BindGroupBox(g, group);
  return MakeLabel(g, label, QRect(6, 16, where.width() - 12, where.height() - 22));
}

}  // namespace

DigitalOscillView::DigitalOscillView(QWidget* parent) : QWidget(parent, Qt::Window) {
  TfrmDigitalOscill& m = model_;
  setObjectName("frmDigitalOscill");
  setFixedSize(820, 480);
  pq::BindForm(this, m.Form);

  auto* plot = Named(new QGroupBox(this), m.GroupBox2, QRect(6, 4, 540, 470));
  pq::BindGroupBox(plot, m.GroupBox2);
  chart_ = Named(new QChartView(plot), m.chartVoltage, QRect(6, 8, 528, 456));
  chart_->setRenderHint(QPainter::Antialiasing);
  pq::BindChart(chart_, m.chartVoltage);

  // The settings: caption on the left, field on the right, one row each.
  const int x = 556;
  const int field = x + 150;
  MakeLabel(this, m.Label1, QRect(x, 14, 146, 20));
  databits_ = MakeCombo(this, m.cbDatabits, QRect(field, 12, 56, 24));
  MakeLabel(this, m.Label3, QRect(x, 46, 146, 20));
  time_ = MakeSpin(this, m.udTime, QRect(field, 44, 56, 24));
  MakeLabel(this, m.Label2, QRect(field + 60, 46, 50, 20));
  MakeLabel(this, m.Label4, QRect(x, 78, 146, 20));
  measures_ = MakeCombo(this, m.cbMeasures, QRect(field, 76, 56, 24));
  MakeLabel(this, m.Label5, QRect(x, 110, 146, 20));
  channel_ = MakeCombo(this, m.cbChannel, QRect(field, 108, 56, 24));
  MakeLabel(this, m.Label6, QRect(x, 142, 146, 20));
  sync_ = MakeSpin(this, m.udSync, QRect(field, 140, 56, 24));

  effective_ = MakeFigure(this, m.GroupBox4, m.Label7, QRect(x, 180, 124, 64));
  swing_ = MakeFigure(this, m.GroupBox5, m.Label8, QRect(x + 134, 180, 124, 64));

  int y = 352;
  for (platform::Button* b : {&m.Button4, &m.Button1, &m.Button2, &m.Button3}) {
    auto* w = Named(new QPushButton(this), *b, QRect(x, y, 258, 27));
    pq::BindButton(w, *b);
    y += 31;
  }

  formToken_ = m.Form.AddListener([this] { FollowVisibility(); });
  FollowVisibility();
}

DigitalOscillView::~DigitalOscillView() {
  model_.Form.RemoveListener(formToken_);
}

QPushButton* DigitalOscillView::ButtonWidget(const char* name) const {
  return findChild<QPushButton*>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly);
}

void DigitalOscillView::FollowVisibility() {
  if (model_.Form.Visible() != isVisible()) setVisible(model_.Form.Visible());
}

void DigitalOscillView::showEvent(QShowEvent* event) {
  // Shown from outside (a menu, the program): the model knows.
  model_.Show();
  QWidget::showEvent(event);
}

void DigitalOscillView::closeEvent(QCloseEvent* event) {
  model_.FormClose();
  event->accept();
}

// The meter's panel lives for the whole run, owned by the main window, and shows itself when the
// settings ask for it.
static ToolInstaller installDigitalOscill([](MainWindowParts& parts) {
  parts.Keep(std::make_unique<DigitalOscillView>(parts.Owner()));
});

}  // namespace kvt::ui
