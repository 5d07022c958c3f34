#include "procedures/ui/CheckHeatView.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QGraphicsLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>

#include "app/Manager.h"
#include "app/ui/ToolRegistry.h"
#include "platform/qt/Bindings.h"

namespace kvt::ui {

namespace pq = platform::qt;

namespace {

QList<CheckHeatView*>& Views() {
  static QList<CheckHeatView*> views;
  return views;
}

template <class W, class M>
W* Named(W* w, const M& model, const QRect& where) {
  w->setObjectName(QString::fromStdString(model.Name()));
  w->setGeometry(where);
  return w;
}

QLabel* Text(QWidget* parent, platform::Label& model, const QRect& where) {
  auto* l = Named(new QLabel(parent), model, where);
  pq::BindLabel(l, model);
  return l;
}

void Push(QWidget* parent, platform::Button& model, const QRect& where) {
  pq::MakeButton(parent, model, where)->setAutoDefault(true);
}

void Switch(QWidget* parent, platform::CheckBox& model, const QRect& where) {
  pq::BindCheckBox(Named(new QCheckBox(parent), model, where), model);
}

}  // namespace

CheckHeatView::CheckHeatView(std::unique_ptr<TfrmCheckHeat> model, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      model_(std::move(model)) {
  setObjectName("frmCheckHeat");
  setAttribute(Qt::WA_DeleteOnClose);
  setFixedSize(640, 480);
  TfrmCheckHeat& m = *model_;
  pq::BindForm(this, m.Form);

  auto* plot = Named(new QGroupBox(this), m.GroupBox1, QRect(8, 6, 412, 340));
  pq::BindGroupBox(plot, m.GroupBox1);
  chart_ = Named(new QChartView(plot), m.Chart1, QRect(6, 18, 400, 288));
  chart_->setRenderHint(QPainter::Antialiasing);
  chart_->chart()->setMargins(QMargins(2, 2, 2, 2));
  chart_->chart()->layout()->setContentsMargins(0, 0, 0, 0);
  chart_->chart()->setBackgroundRoundness(0);
  pq::BindChart(chart_, m.Chart1);
  Text(plot, m.Label2, QRect(12, 312, 120, 22));
  QLabel* deviation = Text(plot, m.Label3, QRect(134, 312, 40, 22));
  deviation->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  QFont bold = deviation->font();
  bold.setBold(true);
  deviation->setFont(bold);
  Text(plot, m.Label4, QRect(178, 312, 20, 22));

  Push(this, m.Button1, QRect(430, 14, 200, 30));
  Push(this, m.Button2, QRect(430, 52, 200, 30));
  Push(this, m.Button3, QRect(430, 88, 200, 30));
  Push(this, m.Button4, QRect(430, 124, 200, 30));
  Push(this, m.Button5, QRect(430, 160, 200, 30));
  Text(this, m.Label1, QRect(430, 200, 200, 18));
  auto* code = Named(new QSpinBox(this), m.udHeatCode, QRect(430, 220, 110, 26));
  code->setAlignment(Qt::AlignRight);
  pq::BindUpDown(code, m.udHeatCode);
  code->installEventFilter(this);
  code_ = code;
  Switch(this, m.BackLink, QRect(430, 258, 200, 22));
  Switch(this, m.ProgCorrection, QRect(430, 284, 200, 22));
  Push(this, m.Button6, QRect(430, 316, 200, 30));

  QLabel* info = Text(this, m.lbCurrentInfo, QRect(8, 354, 624, 118));
  info->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  info->setFrameShape(QFrame::StyledPanel);
  info->setContentsMargins(6, 0, 6, 4);

  m.OnClose = [this] { close(); };
  m.OnFocus = [this](const platform::Control& c) {
    if (auto* w = findChild<QWidget*>(QString::fromStdString(c.Name()))) w->setFocus();
  };
  Views().append(this);
}

CheckHeatView::~CheckHeatView() {
  Views().removeAll(this);
  model_->OnClose = nullptr;
  model_->OnFocus = nullptr;
  qDeleteAll(findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
  model_.reset();
}

bool CheckHeatView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == code_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      // The typed number becomes the position first, then the code is applied.
      static_cast<QSpinBox*>(code_)->interpretText();
      model_->Edit1KeyPress('\r');
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void CheckHeatView::PlaceAtTopLeft() {
  QScreen* s = screen() ? screen() : QApplication::primaryScreen();
  if (s) move(s->geometry().topLeft());
}

QList<CheckHeatView*> CheckHeatView::OpenViews() {
  return Views();
}

void CheckHeatView::CloseAll() {
  const QList<CheckHeatView*> views = Views();
  for (CheckHeatView* v : views) delete v;
}

void OpenCheckHeatWindow(TfrmManager& manager) {
  auto model =
      std::make_unique<TfrmCheckHeat>(&manager, [&manager] { return manager.CurrentImage.get(); });
  auto* view = new CheckHeatView(std::move(model));
  view->show();
  view->PlaceAtTopLeft();
  view->Model().FormCreate();
}

static ToolInstaller installCheckHeat([](TfrmManager& manager) {
  manager.SetLauncher(ManagerTool::HeatCheck,
                      [](TfrmManager& m, const std::string&) { OpenCheckHeatWindow(m); });
  manager.SetCloser(ToolWindow::HeatCheck, [] { CheckHeatView::CloseAll(); });
});

}  // namespace kvt::ui
