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
#include "platform/qt/ViewParts.h"

namespace kvt::ui {

DigitalOscillView::DigitalOscillView(QWidget* parent) : QWidget(parent, Qt::Window) {
  TfrmDigitalOscill& m = model_;
  pq::FrameWindow(this, m.Form, QSize(820, 480));

  QGroupBox* plot = pq::MakeGroup(this, m.GroupBox2, QRect(6, 4, 540, 470));
  pq::MakeChart(plot, m.chartVoltage, QRect(6, 8, 528, 456), pq::ChartLook::Plain);

  // The settings: caption on the left, field on the right, one row each.
  const int x = 556;
  const int field = x + 150;
  pq::MakeLabel(this, m.Label1, QRect(x, 14, 146, 20));
  pq::MakeCombo(this, m.cbDatabits, QRect(field, 12, 56, 24));
  pq::MakeLabel(this, m.Label3, QRect(x, 46, 146, 20));
  pq::MakeSpin(this, m.udTime, QRect(field, 44, 56, 24));
  pq::MakeLabel(this, m.Label2, QRect(field + 60, 46, 50, 20));
  pq::MakeLabel(this, m.Label4, QRect(x, 78, 146, 20));
  pq::MakeCombo(this, m.cbMeasures, QRect(field, 76, 56, 24));
  pq::MakeLabel(this, m.Label5, QRect(x, 110, 146, 20));
  pq::MakeCombo(this, m.cbChannel, QRect(field, 108, 56, 24));
  pq::MakeLabel(this, m.Label6, QRect(x, 142, 146, 20));
  pq::MakeSpin(this, m.udSync, QRect(field, 140, 56, 24));

  // The two figures, each alone in its group box.
  QGroupBox* effective = pq::MakeGroup(this, m.GroupBox4, QRect(x, 180, 124, 64));
  pq::MakeLabel(effective, m.Label7, pq::InsideGroup(effective));
  QGroupBox* swing = pq::MakeGroup(this, m.GroupBox5, QRect(x + 134, 180, 124, 64));
  pq::MakeLabel(swing, m.Label8, pq::InsideGroup(swing));

  pq::MakeButtonRow(this, {&m.Button4, &m.Button1, &m.Button2, &m.Button3}, QRect(x, 352, 258, 27),
                    QPoint(0, 31));

  formToken_ = m.Form.AddListener([this] { FollowVisibility(); });
  FollowVisibility();
}

DigitalOscillView::~DigitalOscillView() {
  model_.Form.RemoveListener(formToken_);
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
