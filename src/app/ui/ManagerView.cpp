#include "app/ui/ManagerView.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QMoveEvent>
#include <QPushButton>
#include <QScreen>

#include "app/Progress.h"
#include "platform/qt/Bindings.h"
#include "platform/qt/ViewParts.h"

namespace kvt::ui {

namespace {
constexpr int kClientWidth = 261;
constexpr int kClientHeight = 543;
}  // namespace

ManagerView::ManagerView(TfrmManager& model)
    : QWidget(nullptr, pq::kToolWindowFlags), model_(model) {
  using B = ManagerButton;
  RegisterManagerGlyphs();
  pq::FrameWindow(this, model.Form, QSize(kClientWidth, kClientHeight));

  auto makeButton = [this](B b, QWidget* parent, QRect geometry) {
    // The picture is drawn at the icon size the binding finds.
    auto* w = pq::Named(new QPushButton(parent), model_.ButtonOf(b), geometry);
    w->setIconSize(QSize(16, 16));
    w->setFocusPolicy(Qt::TabFocus);
    buttons_[std::size_t(b)] = w;
    pq::BindButton(w, model_.ButtonOf(b));
    // The long captions must fit beside the picture: those that do not get a smaller font.
    const int room = geometry.width() - (model_.ButtonOf(b).Glyph().empty() ? 8 : 34);
    QFont font = w->font();
    while (font.pointSizeF() > 6 && QFontMetrics(font).horizontalAdvance(w->text()) > room)
      font.setPointSizeF(font.pointSizeF() - 0.5);
    w->setFont(font);
  };

  // The commands sit on a layer of their own that can look disabled while a memory transfer
  // runs, without touching each button's own state (their models keep setting it meanwhile).
  commands_ = new QWidget(this);
  commands_->setObjectName("Commands");
  commands_->setGeometry(0, 0, kClientWidth, kClientHeight);
  makeButton(B::btnAuto, commands_, QRect(6, 6, 79, 22));
  makeButton(B::btnOptions, commands_, QRect(91, 6, 79, 22));
  makeButton(B::btnInformation, commands_, QRect(176, 6, 79, 22));

  auto* statePanel = new QFrame(this);
  statePanel->setObjectName("pnlState");
  statePanel->setFrameShape(QFrame::Panel);
  statePanel->setFrameShadow(QFrame::Sunken);
  statePanel->setGeometry(6, 34, 249, 62);
  pq::MakeLabel(statePanel, model.Label1, QRect(2, 3, 245, 16));
  stateMonitor_ = pq::MakeLabel(statePanel, model.StateMonitor, QRect(4, 21, 241, 37));
  stateMonitor_->setFrameShape(QFrame::Box);

  const B config[] = {B::btnAdjustConnection,  B::btnReadConfig, B::btnOpenConfig,
                      B::btnTranslateToMemory, B::btnSaveConfig, B::btnTools};
  for (int i = 0; i < 6; ++i) makeButton(config[i], commands_, QRect(19, 104 + i * 29, 222, 25));

  QFrame* driving = pq::MakePanel(commands_, model.pnlDriving, QRect(6, 280, 249, 257));
  const B drive[] = {B::btnPowerOn,      B::btnAdjustRotation,         B::btnHeatCheck,
                     B::btnUnderHeatOn,  B::btnAdjustMeasuresChannels, B::bntTubeCalibration,
                     B::btnDoCheckShots, B::btnShowOscilograms,        B::btnOpenControlPanel,
                     B::btnPowerOff};
  for (int i = 0; i < 10; ++i) makeButton(drive[i], driving, QRect(13, 5 + i * 25, 222, 24));

  model.OnRepaintState = [this] {
    // The caller may stay busy for seconds: the text must be on the screen now.
    stateMonitor_->repaint();
  };
  // A disabled button says why in its tooltip.
  model.OnButtonHint = [this](B b, const std::string& why) {
    if (QPushButton* w = buttons_[std::size_t(b)]) w->setToolTip(QString::fromStdString(why));
  };
  for (std::size_t i = 0; i < kManagerButtonCount; ++i)
    if (buttons_[i]) buttons_[i]->setToolTip(QString::fromStdString(model.ButtonHint(B(i))));
  model.OnShowConnectionWindow = [this] { ShowConnectionView(); };
  model.OnConnectionWindowClosing = [this] { DropConnectionView(); };
  PlaceAtTopRight();
}

ManagerView::~ManagerView() {
  model_.OnRepaintState = nullptr;
  model_.OnButtonHint = nullptr;
  model_.OnShowConnectionWindow = nullptr;
  model_.OnConnectionWindowClosing = nullptr;
  DropConnectionView();
}

void ManagerView::SetCommandsEnabled(bool enabled) {
  commandHolds_ += enabled ? -1 : 1;
  if (commandHolds_ < 0) commandHolds_ = 0;
  commands_->setEnabled(commandHolds_ == 0);
  // Painted now: the interface thread is about to stay busy.
  commands_->repaint();
}

void ManagerView::PlaceAtTopRight() {
  QScreen* screen = QApplication::primaryScreen();
  if (!screen) return;
  const QRect s = screen->geometry();
  snapping_ = true;
  move(s.x() + s.width() - frameGeometry().width(), s.y());
  snapping_ = false;
}

void ManagerView::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  if (snapping_ || !isVisible()) return;
  QScreen* screen = QApplication::primaryScreen();
  if (!screen) return;
  const QRect f = frameGeometry();
  const WindowRect proposed{f.left(), f.top(), f.left() + f.width(), f.top() + f.height()};
  const WindowRect snapped = model_.WindowMoving(proposed, screen->geometry().width(),
                                                 screen->availableGeometry().height());
  if (snapped.left != proposed.left || snapped.top != proposed.top) {
    snapping_ = true;
    move(snapped.left, snapped.top);
    snapping_ = false;
  }
}

void ManagerView::closeEvent(QCloseEvent* event) {
  // Not in the middle of a memory transfer: it still uses the port, the monitor's lock and the
  // image that closing frees.
  if (TfrmProgress::Current()) {
    event->ignore();
    return;
  }
  if (!closed_) {
    closed_ = true;
    model_.FormDestroy();
  }
  event->accept();
}

void ManagerView::ShowConnectionView() {
  if (!model_.ConnectionWindow() || !connectionFactory_) return;
  if (!connectionView_) connectionView_ = connectionFactory_(model_);
  if (!connectionView_) return;
  connectionView_->show();
  connectionView_->raise();
}

void ManagerView::DropConnectionView() {
  if (!connectionView_) return;
  QWidget* view = connectionView_;
  connectionView_ = nullptr;
  // The view may be the one asking (its own close): delete it once its event has finished.
  view->hide();
  view->deleteLater();
}

}  // namespace kvt::ui
