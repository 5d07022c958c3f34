#pragma once
// The Qt view of TfrmProgress.

#include <QPointer>
#include <QSet>
#include <QWidget>
#include <vector>

#include "app/Progress.h"
#include "platform/qt/Bindings.h"
#include "platform/qt/QtUi.h"

class QProgressBar;
class QLabel;

namespace kvt::ui {

class ManagerView;

class ProgressView : public QWidget, public TfrmProgress::View {
  Q_OBJECT
 public:
  explicit ProgressView(TfrmProgress& model);
  ~ProgressView() override;
  void ProgressChanged(int percent) override;
  QProgressBar* ProgressBar() const { return bar_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  // Refuses every window's close while the transfer runs and drops the user's input to them
  // (see PaintPendingWindows).
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void RepaintNow();
  QWidget* TopLevelOf(QObject* object) const;

  TfrmProgress& model_;
  // The windows' timers stand still while the transfer runs (see PaintPendingWindows).
  platform::qt::TimerSuspension timers_;
  // Work queued by workers for the interface thread waits for the end of the transfer too.
  platform::QtUi::QueueHold queueHold_;
  QProgressBar* bar_;
  QLabel* image_;
  QSet<QObject*> guarded_;  // the windows whose close waits for the end of the transfer
  std::vector<QPointer<ManagerView>> managers_;  // whose commands look disabled meanwhile
  QPointer<QWidget> focus_;                      // given back at the end
};

// Makes every TfrmProgress show a ProgressView.
void InstallProgressView();

// Repaints what is waiting to be painted in every window and shows newly created ones while the
// interface thread is busy, without dispatching the user's input. A close request (the window
// manager's close button is not "input" to Qt) is refused while a progress window is open: the
// operation underneath still uses its windows, the image and the port.
void PaintPendingWindows();

}  // namespace kvt::ui
