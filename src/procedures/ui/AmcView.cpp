#include "procedures/ui/AmcView.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QGraphicsLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>

#include "app/Manager.h"
#include "app/ui/ToolRegistry.h"
#include "image/MemoryImage.h"
#include "platform/qt/Bindings.h"

namespace kvt::ui {

namespace pq = platform::qt;

namespace {

QList<AmcView*>& Views() {
  static QList<AmcView*> views;
  return views;
}

template <class W, class M>
W* Named(W* w, const M& model, const QRect& where) {
  w->setObjectName(QString::fromStdString(model.Name()));
  w->setGeometry(where);
  return w;
}

QGroupBox* Group(QWidget* parent, platform::GroupBox& model, const QRect& where) {
  auto* g = Named(new QGroupBox(parent), model, where);
  pq::BindGroupBox(g, model);
  return g;
}

QLabel* Label(QWidget* parent, platform::Label& model, const QRect& where) {
  auto* l = Named(new QLabel(parent), model, where);
  pq::BindLabel(l, model);
  return l;
}

QSpinBox* Spin(QWidget* parent, platform::UpDown& model, const QRect& where) {
  auto* s = Named(new QSpinBox(parent), model, where);
  pq::BindUpDown(s, model);
  return s;
}

QLineEdit* Line(QWidget* parent, platform::Edit& model, const QRect& where) {
  auto* e = Named(new QLineEdit(parent), model, where);
  pq::BindEdit(e, model);
  return e;
}

QPushButton* Button(QWidget* parent, platform::Button& model, const QRect& where) {
  auto* b = pq::MakeButton(parent, model, where);
  b->setAutoDefault(false);
  return b;
}

// A caption above its field, as the window lays out its three values per channel.
void Field(QWidget* parent, platform::Label& caption, QWidget* field, int x, int y) {
  Label(parent, caption, QRect(x, y, 112, 16))->setAlignment(Qt::AlignCenter);
  field->setGeometry(x + 6, y + 18, 100, 24);
}

}  // namespace

AmcView::AmcView(std::unique_ptr<TfrmAMC> model, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      model_(std::move(model)) {
  setObjectName("frmAMC");
  setAttribute(Qt::WA_DeleteOnClose);
  setFixedSize(600, 612);
  TfrmAMC& m = *model_;
  pq::BindForm(this, m.Form);

  QGroupBox* mains = Group(this, m.gbMains, QRect(8, 4, 584, 100));
  Field(mains, m.lbUdMeasure, Line(mains, m.edUdMeasure, {}), 8, 22);
  QSpinBox* udControl = Spin(mains, m.udUdControl, {});
  Field(mains, m.lbUdControl, udControl, 128, 22);
  Field(mains, m.lbKMES, Spin(mains, m.udKMES, {}), 248, 22);
  Button(mains, m.btnUdCalibrate, QRect(382, 22, 190, 30));
  Button(mains, m.btnUdCalibrateOK, QRect(382, 58, 190, 30));

  QGroupBox* anode = Group(this, m.gbAnode, QRect(8, 108, 584, 390));
  Button(anode, m.btnMakeSnapshot, QRect(12, 26, 170, 30));
  QGroupBox* params = Group(anode, m.gbShotParameters, QRect(192, 14, 380, 48));
  Label(params, m.lbHeatCode, QRect(10, 20, 84, 20));
  QSpinBox* heatCode = Spin(params, m.udHeatCode, QRect(96, 18, 70, 24));
  Label(params, m.lbDuration, QRect(190, 20, 180, 20));
  QGroupBox* chartGroup = Group(anode, m.gbChart, QRect(12, 66, 560, 236));
  auto* chart = Named(new QChartView(chartGroup), m.Chart1, QRect(6, 18, 548, 212));
  chart->setRenderHint(QPainter::Antialiasing);
  chart->chart()->setMargins(QMargins(2, 2, 2, 2));
  chart->chart()->layout()->setContentsMargins(0, 0, 0, 0);
  chart->chart()->setBackgroundRoundness(0);
  // The lime curve is drawn on a dark screen, as an oscilloscope shows it.
  chart->chart()->setPlotAreaBackgroundBrush(QColor(0x10, 0x10, 0x10));
  chart->chart()->setPlotAreaBackgroundVisible(true);
  pq::BindChart(chart, m.Chart1);
  Field(anode, m.lbUaMeasure, Line(anode, m.edUaMeasure, {}), 8, 312);
  QSpinBox* uaControl = Spin(anode, m.udUaControl, {});
  Field(anode, m.lbUaControl, uaControl, 128, 312);
  Field(anode, m.lbKUAN, Spin(anode, m.udKUAN, {}), 248, 312);
  Button(anode, m.btnUaCalibrate, QRect(382, 310, 190, 30));
  Button(anode, m.btnUaCalibrateOK, QRect(382, 346, 190, 30));

  QLabel* info = Label(this, m.lbCurrentInfo, QRect(8, 504, 584, 100));
  info->setAutoFillBackground(true);
  info->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  info->setMargin(6);

  for (QSpinBox* s : {udControl, heatCode, uaControl}) s->installEventFilter(this);
  m.OnFocus = [this](const std::string& control) { ApplyFocus(control); };
  m.OnRepaint = [info] { info->repaint(); };
  m.OnClose = [this] { close(); };
  Views().append(this);
}

AmcView::~AmcView() {
  Views().removeAll(this);
  model_->OnFocus = nullptr;
  model_->OnRepaint = nullptr;
  model_->OnClose = nullptr;
  // The widgets go before the model; the model then waits for its worker.
  qDeleteAll(findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
  model_.reset();
}

bool AmcView::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      const QString name = watched->objectName();
      TfrmAMC& m = *model_;
      if (name == "udUdControl") return m.edUdControlKeyPress('\r');
      if (name == "udHeatCode") return m.edHeatCodeKeyPress('\r');
      if (name == "udUaControl") return m.edUaControlKeyPress('\r');
    }
  }
  return QWidget::eventFilter(watched, event);
}

void AmcView::ApplyFocus(const std::string& control) {
  QString name = QString::fromStdString(control);
  // An edit with a spinner is shown as one spin box, named after the spinner.
  if (name.startsWith("ed") && !findChild<QWidget*>(name)) name.replace(0, 2, "ud");
  if (auto* w = findChild<QWidget*>(name)) w->setFocus();
}

void AmcView::PlaceAtTopLeft() {
  QScreen* s = screen() ? screen() : QApplication::primaryScreen();
  if (s) move(s->geometry().topLeft());
}

QList<AmcView*> AmcView::OpenViews() {
  return Views();
}

void AmcView::CloseAll() {
  const QList<AmcView*> views = Views();
  for (AmcView* v : views) delete v;
}

void OpenAmcWindow(TfrmManager& manager) {
  auto model =
      std::make_unique<TfrmAMC>(&manager, [&manager] { return manager.CurrentImage.get(); });
  auto* view = new AmcView(std::move(model));
  view->show();
  view->PlaceAtTopLeft();
  view->Model().FormCreate();
}

static ToolInstaller installAmc([](TfrmManager& manager) {
  manager.SetLauncher(ManagerTool::MeasureChannels,
                      [](TfrmManager& m, const std::string&) { OpenAmcWindow(m); });
  manager.SetCloser(ToolWindow::MeasureChannels, [] { AmcView::CloseAll(); });
});

}  // namespace kvt::ui
