#pragma once
// The Qt view of TfrmProgress.

#include <QWidget>

#include "app/Progress.h"
#include "platform/qt/Bindings.h"

class QProgressBar;
class QLabel;

namespace kvt::ui {

class ProgressView : public QWidget, public TfrmProgress::View {
  Q_OBJECT
 public:
  explicit ProgressView(TfrmProgress& model);
  void ProgressChanged(int percent) override;
  QProgressBar* ProgressBar() const { return bar_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void RepaintNow();

  TfrmProgress& model_;
  // The windows' timers stand still while the transfer runs (see PaintPendingWindows).
  platform::qt::TimerSuspension timers_;
  QProgressBar* bar_;
  QLabel* image_;
};

// Makes every TfrmProgress show a ProgressView.
void InstallProgressView();

// Repaints what is waiting to be painted in every window and shows newly created ones while the
// interface thread is busy, without dispatching the user's input.
void PaintPendingWindows();

}  // namespace kvt::ui
