#include "app/ui/ProgressView.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QScreen>
#include <QWindow>

#include "app/ui/ManagerView.h"
#include "platform/Ui.h"

namespace kvt::ui {

ProgressView::ProgressView(TfrmProgress& model)
    : QWidget(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::MSWindowsFixedSizeDialogHint),
      model_(model) {
  setObjectName("frmProgress");
  setAttribute(Qt::WA_DeleteOnClose, false);
  setWindowTitle(QString::fromStdString(model.Caption()));
  setFixedSize(392, 56);
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
  setPalette(pal);

  bar_ = new QProgressBar(this);
  bar_->setObjectName("ProgressBar");
  bar_->setGeometry(8, 18, 313, 20);
  bar_->setRange(0, 100);
  bar_->setValue(model.Position());
  bar_->setAlignment(Qt::AlignCenter);
  bar_->setFormat("%p%");
  // The blue bold figures on green; the part done is filled light so they stay readable past
  // half way.
  bar_->setStyleSheet(
      "QProgressBar { background: #00C000; border: 1px solid gray; color: blue;"
      " font-weight: bold; }"
      "QProgressBar::chunk { background: #FFFF80; }");

  image_ = new QLabel(this);
  image_->setObjectName("Image1");
  image_->setGeometry(327, 3, 60, 50);

  if (QScreen* screen = QApplication::primaryScreen()) {
    QRect s = screen->geometry();
    move(s.x() + (s.width() - width()) / 2, s.y() + (s.height() - height()) / 2);
  }
  // The windows open now belong to the operation underneath; a message box it shows meanwhile
  // closes as usual.
  for (QWidget* w : QApplication::topLevelWidgets()) {
    guarded_.insert(w);
    if (auto* manager = qobject_cast<ManagerView*>(w)) {
      manager->SetCommandsEnabled(false);
      managers_.push_back(manager);
    }
  }
  focus_ = QApplication::focusWidget();
  QApplication::instance()->installEventFilter(this);
  show();
  RepaintNow();
}

ProgressView::~ProgressView() {
  // What the engineer clicked or typed meanwhile is dropped, including what arrived after the
  // last step: it was meant for windows that could not answer then.
  PaintPendingWindows();
  QApplication::instance()->removeEventFilter(this);
  for (const auto& manager : managers_)
    if (manager) manager->SetCommandsEnabled(true);
  if (focus_ && focus_->isEnabled() && focus_->isVisible()) focus_->setFocus();
}

namespace {

bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
      return true;
    default:
      return false;
  }
}

}  // namespace

QWidget* ProgressView::TopLevelOf(QObject* object) const {
  if (auto* w = qobject_cast<QWidget*>(object)) return w->window();
  if (auto* window = qobject_cast<QWindow*>(object)) {
    for (QWidget* top : QApplication::topLevelWidgets())
      if (top->windowHandle() == window) return top;
  }
  return nullptr;
}

bool ProgressView::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Close && watched != this && guarded_.contains(watched)) {
    event->ignore();
    return true;
  }
  if (IsUserInput(event->type())) {
    // Input for the windows of the operation underneath (and for this one) is discarded, never
    // kept for later: a click on "Включить питание" must not switch the apparatus on when the
    // transfer ends. A message box the operation opens meanwhile takes input as usual.
    QWidget* top = TopLevelOf(watched);
    if (!top || top == this || guarded_.contains(top)) {
      event->accept();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void ProgressView::ProgressChanged(int percent) {
  if (!platform::CurrentUi().IsInterfaceThread()) {
    // A transfer on a worker: the window is updated in order on the interface thread.
    QPointer<QProgressBar> bar = bar_;
    platform::CurrentUi().Post([bar, percent] {
      if (bar) bar->setValue(percent);
    });
    return;
  }
  bar_->setValue(percent);
  RepaintNow();
}

void ProgressView::RepaintNow() {
  PaintPendingWindows();
  repaint();
}

void ProgressView::closeEvent(QCloseEvent* event) {
  if (model_.FormCloseQuery())
    event->accept();
  else
    event->ignore();
}

void PaintPendingWindows() {
  // Paint events and newly shown windows are served; the user's input is taken from the queue
  // and dropped by the open progress window's filter. Queued interface work waits (QueueHold).
  // The windows' timers do not tick while a progress window is open (TimerSuspension): a timer
  // handler must not talk to the apparatus in the middle of a transfer.
  if (TfrmProgress::Current())
    QCoreApplication::processEvents(QEventLoop::AllEvents);
  else
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void InstallProgressView() {
  TfrmProgress::SetViewFactory([](TfrmProgress& model) -> std::unique_ptr<TfrmProgress::View> {
    return std::make_unique<ProgressView>(model);
  });
}

}  // namespace kvt::ui
