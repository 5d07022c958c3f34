#include "app/ui/ProgressView.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QScreen>

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
  bar_->setStyleSheet(
      "QProgressBar { background: #00C000; border: 1px solid gray; color: blue;"
      " font-weight: bold; }"
      "QProgressBar::chunk { background: #000080; }");

  image_ = new QLabel(this);
  image_->setObjectName("Image1");
  image_->setGeometry(327, 3, 60, 50);

  if (QScreen* screen = QApplication::primaryScreen()) {
    QRect s = screen->geometry();
    move(s.x() + (s.width() - width()) / 2, s.y() + (s.height() - height()) / 2);
  }
  // The windows open now belong to the operation underneath; a message box it shows meanwhile
  // closes as usual.
  for (QWidget* w : QApplication::topLevelWidgets()) guarded_.insert(w);
  QApplication::instance()->installEventFilter(this);
  show();
  RepaintNow();
}

bool ProgressView::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Close && watched != this && guarded_.contains(watched)) {
    event->ignore();
    return true;
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
  // Paint events, newly shown windows and queued interface work are served; the user's input
  // waits. The windows' timers do not tick while a progress window is open (TimerSuspension):
  // a timer handler must not talk to the apparatus in the middle of a transfer.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void InstallProgressView() {
  TfrmProgress::SetViewFactory([](TfrmProgress& model) -> std::unique_ptr<TfrmProgress::View> {
    return std::make_unique<ProgressView>(model);
  });
}

}  // namespace kvt::ui
