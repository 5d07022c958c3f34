#include "tools/ui/OscillogramsView.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QGraphicsLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>

#include "app/Manager.h"
#include "app/ui/ToolRegistry.h"
#include "platform/qt/Bindings.h"

namespace kvt::ui {

namespace pq = platform::qt;

namespace {

QList<OscillogramsView*>& Views() {
  static QList<OscillogramsView*> views;
  return views;
}

QChartView* MakeChart(QGroupBox* group, platform::Chart& model) {
  auto* view = new QChartView(group);
  view->setObjectName(QString::fromStdString(model.Name()));
  view->setGeometry(6, 16, group->width() - 12, group->height() - 22);
  view->setRenderHint(QPainter::Antialiasing);
  QChart* chart = view->chart();
  chart->setMargins(QMargins(2, 2, 2, 2));
  chart->layout()->setContentsMargins(0, 0, 0, 0);
  chart->setBackgroundRoundness(0);
  // An oscilloscope's dark screen: the red and yellow curves both stand out on it.
  chart->setPlotAreaBackgroundBrush(QColor(0x10, 0x10, 0x10));
  chart->setPlotAreaBackgroundVisible(true);
  pq::BindChart(view, model);
  return view;
}

QLabel* MakeLabel(QWidget* parent, platform::Label& model, const QRect& where, bool value) {
  auto* label = new QLabel(parent);
  label->setObjectName(QString::fromStdString(model.Name()));
  label->setGeometry(where);
  if (value) {
    QFont font = label->font();
    font.setBold(true);
    font.setPointSize(font.pointSize() + 4);
    label->setFont(font);
  }
  pq::BindLabel(label, model);
  return label;
}

QPushButton* MakeButton(QWidget* parent, platform::Button& model, const QRect& where) {
  auto* b = pq::MakeButton(parent, model, where);
  b->setAutoDefault(false);
  return b;
}

}  // namespace

OscillogramsView::OscillogramsView(std::unique_ptr<TfrmOscillograms> model, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      model_(std::move(model)) {
  setObjectName("frmOscillograms");
  setAttribute(Qt::WA_DeleteOnClose);
  setFixedSize(608, 560);
  TfrmOscillograms& m = *model_;
  pq::BindForm(this, m.Form);

  auto* gbVoltage = new QGroupBox(this);
  gbVoltage->setObjectName("GroupBox1");
  gbVoltage->setGeometry(8, 4, 592, 222);
  pq::BindGroupBox(gbVoltage, m.GroupBox1);
  voltage_ = MakeChart(gbVoltage, m.chartVoltage);

  auto* gbCurrent = new QGroupBox(this);
  gbCurrent->setObjectName("GroupBox2");
  gbCurrent->setGeometry(8, 230, 592, 222);
  pq::BindGroupBox(gbCurrent, m.GroupBox2);
  current_ = MakeChart(gbCurrent, m.chartCurrent);

  auto* gbValues = new QGroupBox(this);
  gbValues->setObjectName("GroupBox3");
  gbValues->setGeometry(8, 456, 340, 96);
  pq::BindGroupBox(gbValues, m.GroupBox3);
  MakeLabel(gbValues, m.Label1, QRect(16, 22, 40, 30), true);
  MakeLabel(gbValues, m.Label3, QRect(60, 22, 100, 30), true);
  MakeLabel(gbValues, m.Label2, QRect(16, 56, 40, 30), true);
  MakeLabel(gbValues, m.Label4, QRect(60, 56, 100, 30), true);

  auto* gbActions = new QGroupBox(this);
  gbActions->setObjectName("GroupBox4");
  gbActions->setGeometry(356, 456, 244, 96);
  pq::BindGroupBox(gbActions, m.GroupBox4);
  MakeButton(gbActions, m.btnOpen, QRect(16, 24, 212, 27));
  MakeButton(gbActions, m.btnSave, QRect(16, 58, 212, 27));

  Views().append(this);
}

OscillogramsView::~OscillogramsView() {
  Views().removeAll(this);
  // The widgets go before the model they are bound to.
  qDeleteAll(findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
  model_.reset();
}

void OscillogramsView::PlaceAtTopLeft() {
  QScreen* s = screen() ? screen() : QApplication::primaryScreen();
  if (!s) return;
  move(s->geometry().topLeft());
}

QList<OscillogramsView*> OscillogramsView::OpenViews() {
  return Views();
}

void OscillogramsView::CloseAll() {
  // Deleted at once: the main window that asks is about to go, and the models tell it they close.
  const QList<OscillogramsView*> views = Views();
  for (OscillogramsView* v : views) delete v;
}

void OpenOscillogramsWindow(TfrmManager& manager, QWidget* owner) {
  auto model =
      std::make_unique<TfrmOscillograms>(&manager, [&manager] { return manager.ImageDir; });
  auto* view = new OscillogramsView(std::move(model), owner);
  view->show();
  view->PlaceAtTopLeft();
  view->Model().FormCreate();
}

// The windows belong to the main window, which closes them with itself.
static ToolInstaller installOscillograms([](MainWindowParts& parts) {
  TfrmManager& manager = parts.Manager();
  manager.SetLauncher(ManagerTool::Oscillograms, [owner = QPointer<QWidget>(parts.Owner())](
                                                     TfrmManager& m, const std::string&) {
    OpenOscillogramsWindow(m, owner);
  });
  manager.SetCloser(ToolWindow::Oscillograms, [] { OscillogramsView::CloseAll(); });
});

}  // namespace kvt::ui
