#pragma once
// The Qt side of the interface seam: real message boxes and file dialogs, and the queue that
// carries work from worker threads onto the Qt thread in the order it was issued.
//
// With the environment variable KVT_NONINTERACTIVE=1 no dialog is shown: each message is written
// to standard error ("title: text") and answered with the cautious choice (Ok for an information
// box, No for a question, Cancel for Ok/Cancel); file dialogs report "cancelled". Scripts and
// tests that start the program without anyone at the screen use it.
//
// Message boxes and dialogs block the whole program while they are open (Qt's own application
// modality, run with exec). A window marked with KeepUsableBehindBoxes (the trainer's simulator
// window, which stands for the apparatus) is the one exception: it stays usable behind them.

#include <QObject>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Ui.h"
#include "platform/UrgentUi.h"

class QWidget;

namespace platform {

// A Windows-style filter "Name(*.mi)|*.mi|Other (*.dat)|*.dat" as Qt name filters
// ("Name(*.mi) (*.mi)", ...), one per pair, in order.
std::vector<std::string> QtNameFilters(const std::string& windowsFilter);
// The extension of the n-th (1-based) filter pair ("mi" for "*.mi"), empty if none.
std::string FilterExtension(const std::string& windowsFilter, int index);

class QtUi : public QObject, public Ui, public UrgentLane {
  Q_OBJECT
 public:
  // Construct on the Qt thread after the QApplication exists; it becomes the interface thread.
  QtUi();
  ~QtUi() override;

  // Parent for message boxes and dialogs (the main window); may be null.
  void SetDialogParent(QWidget* parent) { dialogParent_ = parent; }
  bool NonInteractive() const { return nonInteractive_; }
  void SetNonInteractive(bool on) { nonInteractive_ = on; }
  // Answers that a test wants given by message boxes (consumed first in first out) when the
  // program runs non-interactively.
  void QueueNonInteractiveAnswer(Answer answer);
  // Likewise the text an input question accepts and the path a file dialog chooses.
  void QueueNonInteractiveInput(std::string text);
  void QueueNonInteractiveFile(std::string path);
  // Every message shown so far (text and title); for tests of the views.
  std::vector<MessageRequest> ShownMessages() const;

  Answer ShowMessage(const MessageRequest& request) override;
  FileDialogResult RunFileDialog(const FileDialogRequest& request) override;
  bool InputQuery(const InputRequest& request, std::string& value) override;
  void Synchronize(const std::function<void()>& fn) override;
  // Runs also while the queue is held (a message box is open).
  void SynchronizeUrgent(const std::function<void()>& fn) override;
  void Post(std::function<void()> fn) override;
  bool IsInterfaceThread() const override;
  void WaitServing(const std::function<bool()>& done) override;
  void Wake() override;

  // Runs every queued piece of work (the Qt event loop calls it; safe to call re-entrantly).
  // While the queue is held, the event loop leaves the work queued (WaitServing still serves it);
  // urgent work runs in any case.
  Q_INVOKABLE void Drain();

  // Leaves a top-level window usable while the program's boxes and dialogs are open (those opened
  // on its own behalf still block it). The window stands outside the program, as the apparatus
  // does.
  static void KeepUsableBehindBoxes(QWidget& window);

  // Holds the queue while the interface thread pumps Qt events in the middle of an operation of
  // its own (a memory transfer behind a progress window): a worker's message box or modal window
  // must not open in the middle of it. The work runs, in order, once the last hold ends. Holds
  // nest; taken and released on the interface thread.
  class QueueHold {
   public:
    // Holds the installed interface's queue when it is a QtUi; otherwise does nothing.
    QueueHold();
    ~QueueHold();
    QueueHold(const QueueHold&) = delete;
    QueueHold& operator=(const QueueHold&) = delete;

   private:
    QtUi* ui_;
  };

 private:
  Answer ShowMessageHere(const MessageRequest& request);
  FileDialogResult RunFileDialogHere(const FileDialogRequest& request);
  void Enqueue(std::function<void()> fn, bool urgent = false);
  // Runs one piece of queued work, urgent work first; normal work only when normal is set.
  bool RunOne(bool normal = true);

  std::thread::id uiThread_;
  QWidget* dialogParent_ = nullptr;
  bool nonInteractive_ = false;

  mutable std::mutex m_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> queue_;
  std::deque<std::function<void()>> urgent_;
  std::uint64_t wakeCount_ = 0;
  int holds_ = 0;  // interface thread only
  std::deque<Answer> scriptedAnswers_;
  std::deque<std::string> scriptedInputs_;
  std::deque<std::string> scriptedFiles_;
  std::vector<MessageRequest> shown_;
};

}  // namespace platform
