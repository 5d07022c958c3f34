#include "procedures/ui/ArdView.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>

#include "app/Manager.h"
#include "app/ui/ToolRegistry.h"
#include "platform/qt/Bindings.h"

namespace kvt::ui {

namespace pq = platform::qt;

namespace {

ArdView*& Current() {
  static ArdView* view = nullptr;
  return view;
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

QLabel* Text(QWidget* parent, platform::Label& model, const QRect& where) {
  auto* l = Named(new QLabel(parent), model, where);
  pq::BindLabel(l, model);
  return l;
}

void Measured(QWidget* parent, platform::Edit& model, const QRect& where) {
  auto* e = Named(new QLineEdit(parent), model, where);
  e->setMaxLength(3);
  e->setAlignment(Qt::AlignRight);
  e->setFocusPolicy(Qt::NoFocus);
  pq::BindEdit(e, model);
}

void Spin(QWidget* parent, platform::UpDown& model, const QRect& where) {
  auto* s = Named(new QSpinBox(parent), model, where);
  s->setAlignment(Qt::AlignRight);
  pq::BindUpDown(s, model);
}

void Lamp(QWidget* parent, platform::Lamp& model, const QRect& where) {
  auto* l = Named(new QLabel(parent), model, where);
  l->setAlignment(Qt::AlignCenter);
  pq::BindPicture(l, model);
}

void Push(QWidget* parent, platform::Button& model, const QRect& where) {
  QPushButton* b = pq::MakeButton(parent, model, where);
  // Enter presses the focused button: the coasting is timed with that key.
  b->setAutoDefault(true);
}

}  // namespace

ArdView::ArdView(std::unique_ptr<TfrmARD> model, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      model_(std::move(model)) {
  setObjectName("frmARD");
  setAttribute(Qt::WA_DeleteOnClose);
  setFixedSize(600, 420);
  TfrmARD& m = *model_;
  pq::BindForm(this, m.Form);

  QGroupBox* currents = Group(this, m.GroupBox1, QRect(8, 6, 330, 112));
  Text(currents, m.Label3, QRect(104, 20, 50, 16))->setAlignment(Qt::AlignCenter);
  Text(currents, m.Label4, QRect(160, 20, 50, 16))->setAlignment(Qt::AlignCenter);
  Text(currents, m.Label5, QRect(218, 20, 50, 16))->setAlignment(Qt::AlignCenter);
  Text(currents, m.Label6, QRect(274, 20, 50, 16))->setAlignment(Qt::AlignCenter);
  Text(currents, m.Label1, QRect(10, 42, 90, 22));
  Text(currents, m.Label2, QRect(10, 74, 90, 22));
  Measured(currents, m.edMDmin, QRect(104, 42, 50, 24));
  Measured(currents, m.edMDmax, QRect(160, 42, 50, 24));
  Measured(currents, m.edMBmin, QRect(104, 74, 50, 24));
  Measured(currents, m.edMBmax, QRect(160, 74, 50, 24));
  Spin(currents, m.udTDmin, QRect(218, 42, 52, 24));
  Spin(currents, m.udTDmax, QRect(274, 42, 52, 24));
  Spin(currents, m.udTBmin, QRect(218, 74, 52, 24));
  Spin(currents, m.udTBmax, QRect(274, 74, 52, 24));

  QGroupBox* times = Group(this, m.GroupBox2, QRect(346, 6, 246, 112));
  Text(times, m.Label7, QRect(10, 20, 200, 16));
  Spin(times, m.udDispTime, QRect(10, 38, 60, 24));
  Text(times, m.Label9, QRect(78, 38, 80, 24));
  Text(times, m.Label8, QRect(10, 64, 232, 16));
  Spin(times, m.udBrTime, QRect(10, 82, 60, 24));

  QGroupBox* drive = Group(this, m.GroupBox3, QRect(8, 122, 584, 50));
  Lamp(drive, m.imgDispersalMode, QRect(14, 18, 24, 24));
  Text(drive, m.Label10, QRect(44, 20, 200, 20));
  Lamp(drive, m.imgBrakingMode, QRect(290, 18, 24, 24));
  Text(drive, m.Label11, QRect(320, 20, 200, 20));

  auto* message = Text(this, m.lbCurrentMessage, QRect(8, 178, 584, 160));
  message->setAutoFillBackground(true);
  message->setContentsMargins(8, 4, 8, 4);

  Push(this, m.Button4, QRect(8, 346, 192, 30));
  Push(this, m.Button6, QRect(204, 346, 192, 30));
  Push(this, m.Button7, QRect(400, 346, 192, 30));
  Push(this, m.Button5, QRect(8, 382, 192, 30));
  Push(this, m.Button8, QRect(204, 382, 192, 30));
  Push(this, m.Button1, QRect(400, 382, 192, 30));
  pq::BindTimer(this, m.RotationTimer1);
  pq::BindTimer(this, m.DriveTimer);

  m.OnClose = [this] { close(); };
  // The lamps change while the interface thread stays busy for seconds: paint them now.
  m.OnRepaint = [this] { repaint(); };
  m.OnFocus = [this](const platform::Control& c) {
    if (auto* w = findChild<QWidget*>(QString::fromStdString(c.Name()))) w->setFocus();
  };
  Current() = this;
}

ArdView::~ArdView() {
  if (Current() == this) Current() = nullptr;
  model_->OnClose = nullptr;
  model_->OnRepaint = nullptr;
  model_->OnFocus = nullptr;
  // The widgets go before the model they are bound to.
  qDeleteAll(findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
  model_.reset();
}

void ArdView::PlaceAtTopLeft() {
  QScreen* s = screen() ? screen() : QApplication::primaryScreen();
  if (s) move(s->geometry().topLeft());
}

ArdView* ArdView::Open() {
  return Current();
}

void OpenArdWindow(TfrmManager& manager) {
  auto model =
      std::make_unique<TfrmARD>(&manager, [&manager] { return manager.CurrentImage.get(); });
  auto* view = new ArdView(std::move(model));
  view->show();
  view->PlaceAtTopLeft();
  view->Model().FormCreate();
}

static ToolInstaller installArd([](TfrmManager& manager) {
  manager.SetLauncher(ManagerTool::Rotation,
                      [](TfrmManager& m, const std::string&) { OpenArdWindow(m); });
  manager.SetCloser(ToolWindow::Rotation, [] { delete ArdView::Open(); });
});

}  // namespace kvt::ui
