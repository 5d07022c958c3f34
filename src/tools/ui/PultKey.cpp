#include "tools/ui/PultKey.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>

#include "platform/qt/Bindings.h"
#include "platform/qt/ViewParts.h"

namespace kvt::ui {

namespace {

MouseButton ToModel(Qt::MouseButton b) {
  if (b == Qt::LeftButton) return MouseButton::Left;
  if (b == Qt::RightButton) return MouseButton::Right;
  return MouseButton::Middle;
}

}  // namespace

PultKey::PultKey(QWidget* parent, SpeedButton& model, const QRect& where)
    : QWidget(parent), model_(&model), alive_(model.Lifetime()) {
  pq::Named(this, model, where);
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

}  // namespace kvt::ui
