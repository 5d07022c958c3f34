#include "tools/ui/PultView.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include "app/Manager.h"
#include "app/ui/ToolRegistry.h"
#include "platform/qt/Bindings.h"

namespace kvt::ui {

namespace pq = platform::qt;

namespace {

MouseButton ToModel(Qt::MouseButton b) {
  if (b == Qt::LeftButton) return MouseButton::Left;
  if (b == Qt::RightButton) return MouseButton::Right;
  return MouseButton::Middle;
}

// The lime-on-black displays sit sunk in the panel.
QLabel* MakeDisplay(QWidget* parent, platform::Label& model, const QRect& where) {
  QLabel* label = pq::MakeLabel(parent, model, where);
  label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  label->setLineWidth(2);
  return label;
}

}  // namespace

// ----------------------------------------------------------------------------- PultKey

PultKey::PultKey(QWidget* parent, SpeedButton& model, const QRect& where)
    : QWidget(parent), model_(&model), alive_(model.Lifetime()) {
  setObjectName(QString::fromStdString(model.Name()));
  setGeometry(where);
  setFocusPolicy(Qt::NoFocus);
  setEnabled(model.Enabled());
  token_ = model.AddListener([this] {
    setEnabled(model_->Enabled());
    setVisible(model_->Visible());
    update();
  });
}

PultKey::~PultKey() {
  if (!alive_.expired()) model_->RemoveListener(token_);
}

void PultKey::paintEvent(QPaintEvent*) {
  if (alive_.expired()) return;
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const bool sunk = model_->Held() || model_->Down();
  const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  // A grey key cap lit from the top left; a latched key shows darker and pressed in.
  QLinearGradient face(r.topLeft(), r.bottomRight());
  face.setColorAt(0, sunk ? QColor(150, 150, 150) : QColor(245, 245, 245));
  face.setColorAt(1, sunk ? QColor(190, 190, 190) : QColor(175, 175, 175));
  p.setPen(QPen(QColor(40, 40, 40), 1));
  p.setBrush(face);
  p.drawRoundedRect(r, 4, 4);
  p.setPen(QPen(sunk ? QColor(90, 90, 90) : QColor(255, 255, 255), 1.5));
  p.drawLine(r.topLeft() + QPointF(3, 2), r.topRight() + QPointF(-3, 2));
  if (model_->Down()) {
    // The latch light of a toggle or group key.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 220, 0));
    p.drawEllipse(QPointF(r.right() - 6, r.top() + 6), 2.5, 2.5);
  }
  const int m = 5;
  const QSize inner = size() - QSize(2 * m, 2 * m);
  const QPixmap pm = pq::PictureFor(model_->Glyph(), inner);
  if (!pm.isNull()) {
    const QPoint at((width() - pm.width()) / 2 + (sunk ? 1 : 0),
                    (height() - pm.height()) / 2 + (sunk ? 1 : 0));
    if (!isEnabled()) p.setOpacity(0.3);
    p.drawPixmap(at, pm);
  }
}

void PultKey::mousePressEvent(QMouseEvent* event) {
  const MouseButton b = ToModel(event->button());
  pressed_[int(b)] = true;
  if (alive_.expired()) return;
  model_->MouseDown(b);
  // A message box shown by the press took its release: the key must not stay held.
  if (!alive_.expired() && pressed_[int(b)] &&
      !(QGuiApplication::mouseButtons() & event->button())) {
    pressed_[int(b)] = false;
    model_->MouseUp(b, false);
  }
}

void PultKey::mouseReleaseEvent(QMouseEvent* event) {
  const MouseButton b = ToModel(event->button());
  // Only a release of a press this key saw (a message box may have taken the press's release).
  if (!pressed_[int(b)]) return;
  pressed_[int(b)] = false;
  if (!alive_.expired()) model_->MouseUp(b, rect().contains(event->position().toPoint()));
}

// ----------------------------------------------------------------------------- PultView

PultView::PultView(std::unique_ptr<TfrmPult> model, QWidget* parent)
    : ToolWindow(std::move(model), parent) {
  RegisterPultPictures();
  // Closing only hides the panel.
  Frame("frmPult", QSize(527, 543), false);
  TfrmPult& m = Model();
  pq::BindForm(this, m.Form);

  QFrame* panel = pq::MakePanel(this, m.Panel1, QRect(6, 6, 515, 531), QFrame::Raised, 2);

  auto key = [panel](SpeedButton& k, int x, int y, int w, int h) {
    new PultKey(panel, k, QRect(x, y, w, h));
  };
  // Power, synchronisation, footboard and door.
  pq::MakeLamp(panel, m.CalimState, QRect(8, 8, 150, 48));
  key(m.btnPower, 170, 8, 48, 48);
  key(m.btnVSynchro, 226, 8, 48, 48);
  pq::MakeLamp(panel, m.Image7, QRect(288, 8, 40, 48));
  key(m.btnFootBoardUp, 334, 8, 48, 48);
  key(m.btnFootBoardDown, 388, 8, 48, 48);
  key(m.btnDoorDrive, 450, 8, 48, 48);

  // U, I and T with their stepping keys.
  struct Display {
    platform::Picture& legend;
    platform::Label& label;
    SpeedButton& up;
    SpeedButton& down;
  };
  const Display displays[] = {{m.Image1, m.lbU, m.btnUup, m.btnUdn},
                              {m.Image2, m.lbI, m.btnIup, m.btnIdn},
                              {m.Image3, m.lbT, m.btnTup, m.btnTdn}};
  int x0 = 8;
  for (const Display& d : displays) {
    pq::MakeLamp(panel, d.legend, QRect(x0, 66, 110, 20));
    MakeDisplay(panel, d.label, QRect(x0, 88, 110, 56));
    key(d.up, x0 + 116, 88, 40, 27);
    key(d.down, x0 + 116, 117, 40, 27);
    x0 += 168;
  }

  // Examination modes, patient densities and the programming key.
  pq::MakeLamp(panel, m.Image5, QRect(8, 154, 240, 20));
  int k = 0;
  for (SpeedButton* b : m.Modes.Keys()) key(*b, 8 + 62 * k++, 176, 52, 48);
  pq::MakeLamp(panel, m.Image4, QRect(8, 234, 240, 20));
  k = 0;
  for (SpeedButton* b : m.Densities.Keys()) key(*b, 8 + 62 * k++, 256, 52, 48);
  key(m.btnProgramm, 442, 256, 52, 48);

  // Counters.
  pq::MakeLamp(panel, m.Image6, QRect(8, 316, 240, 20));
  key(m.btnWorkTimeCounter, 8, 338, 48, 48);
  key(m.btnTotalExposureTime, 64, 338, 48, 48);
  key(m.btnTotalSnapshots, 120, 338, 48, 48);
  MakeDisplay(panel, m.CounterIndicator, QRect(180, 338, 314, 48));

  // The exposure: the two lamps, the exposure key and the cancel key.
  pq::MakeLamp(panel, m.PrepLamp, QRect(24, 424, 64, 64));
  pq::MakeLamp(panel, m.HVLamp, QRect(108, 424, 64, 64));
  key(m.btnSnapshot, 250, 406, 104, 104);
  key(m.btnCancelSnapshot, 392, 422, 72, 72);
}

void PultView::closeEvent(QCloseEvent* event) {
  // Hidden, not destroyed; whatever runs on the apparatus is brought to rest.
  Model().FormClose();
  event->accept();
}

void OpenPultWindow(TfrmManager& manager) {
  auto* view = new PultView(std::make_unique<TfrmPult>(&manager));
  view->PlaceAtTopLeft();
  view->show();
  view->Model().FormCreate();
}

static ToolInstaller installPult([](TfrmManager& manager) {
  manager.SetLauncher(ManagerTool::ControlPanel,
                      [](TfrmManager& m, const std::string&) { OpenPultWindow(m); });
  manager.SetCloser(ToolWindow::ControlPanel, [] { PultView::CloseAll(); });
  manager.SetConnectionWatcher(ToolWindow::ControlPanel, [](bool connected) {
    PultView* view = PultView::Current();
    if (!view) return;
    if (connected)
      view->Model().Connected();
    else
      view->Model().ConnectionLost();
  });
});

}  // namespace kvt::ui
