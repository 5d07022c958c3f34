#include "procedures/ui/AmcK4View.h"

#include <QApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include "app/Manager.h"
#include "app/ui/ToolRegistry.h"
#include "platform/qt/Bindings.h"

namespace kvt::ui {

namespace pq = platform::qt;

namespace {

QList<AmcK4View*>& Views() {
  static QList<AmcK4View*> views;
  return views;
}

QLabel* Label(QWidget* parent, platform::Label& model, const QRect& where,
              Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
  auto* l = new QLabel(parent);
  l->setObjectName(QString::fromStdString(model.Name()));
  l->setGeometry(where);
  pq::BindLabel(l, model);
  l->setAlignment(align);
  return l;
}

QLineEdit* Line(QWidget* parent, platform::Edit& model, const QRect& where) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(QString::fromStdString(model.Name()));
  e->setGeometry(where);
  e->setAlignment(Qt::AlignRight);
  pq::BindEdit(e, model);
  return e;
}

QGroupBox* Group(QWidget* parent, platform::GroupBox& model, const QRect& where) {
  auto* g = new QGroupBox(parent);
  g->setObjectName(QString::fromStdString(model.Name()));
  g->setGeometry(where);
  pq::BindGroupBox(g, model);
  return g;
}

}  // namespace

AmcK4View::AmcK4View(std::unique_ptr<TfrmAMC_K4> model, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      model_(std::move(model)) {
  setObjectName("frmAMC_K4");
  setAttribute(Qt::WA_DeleteOnClose);
  setFixedSize(608, 392);
  TfrmAMC_K4& m = *model_;
  pq::BindForm(this, m.Form);

  QGroupBox* control = Group(this, m.gbControl, QRect(8, 4, 592, 60));
  Label(control, m.lbUmin, QRect(12, 24, 40, 24));
  QLineEdit* umin = Line(control, m.edUmin, QRect(52, 24, 56, 24));
  Label(control, m.lbUmax, QRect(124, 24, 40, 24));
  QLineEdit* umax = Line(control, m.edUmax, QRect(164, 24, 56, 24));
  for (auto [button, x] : {std::pair{&m.btnCal1, 236}, {&m.btnCal2, 340}, {&m.btnAccept, 444}})
    pq::MakeButton(control, *button, QRect(x, 22, x == 444 ? 140 : 98, 28))->setAutoDefault(false);

  for (int p = 0; p < 3; ++p) {
    QGroupBox* g = Group(this, m.Channel(p), QRect(8 + p * 200, 70, 192, 100));
    Label(g, m.lbColumnA, QRect(96, 16, 44, 18), Qt::AlignCenter);
    Label(g, m.lbColumnB, QRect(142, 16, 44, 18), Qt::AlignCenter);
    Label(g, m.lbRowCodes, QRect(6, 38, 90, 24));
    Label(g, m.lbRowCoefficients, QRect(6, 68, 90, 24));
    Line(g, m.CodeMin(p), QRect(96, 38, 44, 24));
    Line(g, m.CodeMax(p), QRect(142, 38, 44, 24));
    Line(g, m.CoefA(p), QRect(96, 68, 44, 24));
    Line(g, m.CoefB(p), QRect(142, 68, 44, 24));
  }

  QGroupBox* measured = Group(this, m.gbMeasured, QRect(8, 176, 592, 56));
  for (int p = 0; p < 3; ++p) {
    Label(measured, m.MeasuredName(p), QRect(24 + p * 200, 22, 30, 24));
    QLabel* value =
        Label(measured, m.Measured(p), QRect(56 + p * 200, 22, 70, 24), Qt::AlignCenter);
    value->setFrameShape(QFrame::StyledPanel);
  }

  QLabel* info =
      Label(this, m.lbCurrentInfo, QRect(8, 240, 592, 144), Qt::AlignLeft | Qt::AlignTop);
  info->setAutoFillBackground(true);
  info->setMargin(6);

  pq::BindTimer(this, m.MUTimer);
  for (QLineEdit* e : {umin, umax}) e->installEventFilter(this);
  m.OnFocus = [this](const std::string& control) {
    if (auto* w = findChild<QWidget*>(QString::fromStdString(control))) w->setFocus();
  };
  Views().append(this);
}

AmcK4View::~AmcK4View() {
  Views().removeAll(this);
  model_->OnFocus = nullptr;
  // The widgets (and the timer) go before the model; the model then switches the apparatus off.
  qDeleteAll(findChildren<QObject*>(Qt::FindDirectChildrenOnly));
  model_.reset();
}

bool AmcK4View::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      if (watched->objectName() == "edUmin") return model_->edUminKeyPress('\r');
      if (watched->objectName() == "edUmax") return model_->edUmaxKeyPress('\r');
    }
  }
  return QWidget::eventFilter(watched, event);
}

void AmcK4View::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

void AmcK4View::PlaceAtTopLeft() {
  QScreen* s = screen() ? screen() : QApplication::primaryScreen();
  if (s) move(s->geometry().topLeft());
}

QList<AmcK4View*> AmcK4View::OpenViews() {
  return Views();
}

void AmcK4View::CloseAll() {
  const QList<AmcK4View*> views = Views();
  for (AmcK4View* v : views) delete v;
}

void OpenAmcK4Window(TfrmManager& manager) {
  auto* view = new AmcK4View(
      std::make_unique<TfrmAMC_K4>(&manager, [&manager] { return manager.CurrentImage.get(); }));
  view->PlaceAtTopLeft();
  view->show();
  view->Model().FormShow();
}

static ToolInstaller installAmcK4([](TfrmManager& manager) {
  manager.SetLauncher(ManagerTool::MeasureChannelsK4,
                      [](TfrmManager& m, const std::string&) { OpenAmcK4Window(m); });
  manager.SetCloser(ToolWindow::MeasureChannelsK4, [] { AmcK4View::CloseAll(); });
});

}  // namespace kvt::ui
