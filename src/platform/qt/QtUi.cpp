#include "platform/qt/QtUi.h"

#include <QApplication>
#include <QEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QMetaObject>
#include <QPointer>
#include <QWidget>
#include <QWindow>
#include <cstdlib>
#include <iostream>

namespace platform {

namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

std::vector<std::pair<std::string, std::string>> FilterPairs(const std::string& filter) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : filter) {
    if (c == '|') {
      parts.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  parts.push_back(cur);
  std::vector<std::pair<std::string, std::string>> pairs;
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) pairs.emplace_back(parts[i], parts[i + 1]);
  return pairs;
}

QMessageBox::Icon ToQt(Icon icon) {
  switch (icon) {
    case Icon::Information:
      return QMessageBox::Information;
    case Icon::Warning:
      return QMessageBox::Warning;
    case Icon::Error:
      return QMessageBox::Critical;
    case Icon::Question:
      return QMessageBox::Question;
    case Icon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

Answer CautiousAnswer(Buttons buttons) {
  switch (buttons) {
    case Buttons::YesNo:
      return Answer::No;
    case Buttons::OkCancel:
      return Answer::Cancel;
    case Buttons::Ok:
      break;
  }
  return Answer::Ok;
}

}  // namespace

std::vector<std::string> QtNameFilters(const std::string& windowsFilter) {
  std::vector<std::string> out;
  for (auto& [name, patterns] : FilterPairs(windowsFilter)) {
    // Qt separates patterns with blanks and reads them from the last "(...)" of the name.
    std::string qtPatterns = patterns;
    for (char& c : qtPatterns)
      if (c == ';') c = ' ';
    std::string tail = "(" + qtPatterns + ")";
    std::string trimmed = name;
    while (!trimmed.empty() && trimmed.back() == ' ') trimmed.pop_back();
    if (trimmed.size() >= tail.size() &&
        trimmed.compare(trimmed.size() - tail.size(), tail.size(), tail) == 0) {
      out.push_back(trimmed);
    } else {
      out.push_back(trimmed + " " + tail);
    }
  }
  return out;
}

std::string FilterExtension(const std::string& windowsFilter, int index) {
  auto pairs = FilterPairs(windowsFilter);
  if (index < 1 || index > int(pairs.size())) return {};
  const std::string& p = pairs[std::size_t(index - 1)].second;
  auto dot = p.find("*.");
  if (dot == std::string::npos) return {};
  std::string ext = p.substr(dot + 2);
  auto end = ext.find_first_of("; ");
  if (end != std::string::npos) ext.resize(end);
  return ext == "*" ? std::string() : ext;
}

namespace {

// Keeps one top-level window out of reach of the program's modal windows. Qt never blocks a
// window that hangs (as a transient child) on the modal window on top; so when Qt blocks this one
// for a modal window just shown, it hangs itself on that one, and lets go once that one is hidden.
// The modal windows stay application modal and keep Qt's own activation handling.
class UsableBehindModals : public QObject {
 public:
  explicit UsableBehindModals(QWidget& window) : QObject(&window), widget_(window) {}

 protected:
  bool eventFilter(QObject* object, QEvent* event) override {
    if (object == &widget_ && event->type() == QEvent::WindowBlocked) Hang();
    return false;
  }

 private:
  void Hang() {
    QWindow* window = widget_.windowHandle();
    QWindow* modal = QGuiApplication::modalWindow();
    // A modal window opened on this window's behalf keeps blocking it (and hanging on it would
    // make the chain of transient parents a loop).
    if (!window || !modal || modal == window ||
        window->isAncestorOf(modal, QWindow::IncludeTransients))
      return;
    if (!hung_) own_ = window->transientParent();
    hung_ = true;
    window->setTransientParent(modal);  // Qt looks again: no longer blocked
    QObject::connect(
        modal, &QWindow::visibleChanged, this,
        [this, from = QPointer<QWindow>(modal)](bool visible) {
          if (!visible) LetGo(from);
        },
        Qt::ConnectionType(Qt::QueuedConnection | Qt::SingleShotConnection));
  }

  // Queued after the modal window is hidden; a modal window shown since has taken the window.
  void LetGo(const QPointer<QWindow>& from) {
    QWindow* window = widget_.windowHandle();
    if (!window || !hung_ || window->transientParent() != from.data()) return;
    hung_ = false;
    // Qt looks again: a modal window still open under the one gone blocks it, and it hangs there.
    window->setTransientParent(own_);
  }

  QWidget& widget_;
  QPointer<QWindow> own_;  // the transient parent it had of its own
  bool hung_ = false;
};

}  // namespace

void QtUi::KeepUsableBehindBoxes(QWidget& window) {
  window.installEventFilter(new UsableBehindModals(window));
}

QtUi::QtUi() : uiThread_(std::this_thread::get_id()) {
  const char* env = std::getenv("KVT_NONINTERACTIVE");
  nonInteractive_ = env && std::string(env) == "1";
}

QtUi::~QtUi() {
  // Work still queued at the end belongs to windows that are gone; it is dropped.
  std::lock_guard<std::mutex> g(m_);
  queue_.clear();
  urgent_.clear();
}

void QtUi::QueueNonInteractiveInput(std::string text) {
  std::lock_guard<std::mutex> g(m_);
  scriptedInputs_.push_back(std::move(text));
}

void QtUi::QueueNonInteractiveFile(std::string path) {
  std::lock_guard<std::mutex> g(m_);
  scriptedFiles_.push_back(std::move(path));
}

void QtUi::QueueNonInteractiveAnswer(Answer answer) {
  std::lock_guard<std::mutex> g(m_);
  scriptedAnswers_.push_back(answer);
}

std::vector<MessageRequest> QtUi::ShownMessages() const {
  std::lock_guard<std::mutex> g(m_);
  return shown_;
}

Answer QtUi::ShowMessage(const MessageRequest& request) {
  if (IsInterfaceThread()) return ShowMessageHere(request);
  Answer answer = Answer::Ok;
  Synchronize([&] { answer = ShowMessageHere(request); });
  return answer;
}

FileDialogResult QtUi::RunFileDialog(const FileDialogRequest& request) {
  if (IsInterfaceThread()) return RunFileDialogHere(request);
  FileDialogResult result;
  Synchronize([&] { result = RunFileDialogHere(request); });
  return result;
}

bool QtUi::InputQuery(const InputRequest& request, std::string& value) {
  if (!IsInterfaceThread()) {
    bool accepted = false;
    Synchronize([&] { accepted = InputQuery(request, value); });
    return accepted;
  }
  if (nonInteractive_) {
    std::lock_guard<std::mutex> g(m_);
    if (!scriptedInputs_.empty()) {
      value = std::move(scriptedInputs_.front());
      scriptedInputs_.pop_front();
      return true;
    }
    std::cerr << request.caption << ": " << request.prompt << " cancelled (non-interactive)"
              << std::endl;
    return false;
  }
  QInputDialog dialog(dialogParent_);
  dialog.setWindowTitle(Q(request.caption));
  dialog.setLabelText(Q(request.prompt));
  dialog.setTextValue(Q(value));
  QueueHold hold;
  if (dialog.exec() != QDialog::Accepted) return false;
  value = dialog.textValue().toStdString();
  return true;
}

Answer QtUi::ShowMessageHere(const MessageRequest& request) {
  {
    std::lock_guard<std::mutex> g(m_);
    shown_.push_back(request);
    if (nonInteractive_) {
      Answer answer = CautiousAnswer(request.buttons);
      if (!scriptedAnswers_.empty()) {
        answer = scriptedAnswers_.front();
        scriptedAnswers_.pop_front();
      }
      if (!request.title.empty()) std::cerr << request.title << ": ";
      std::cerr << request.text << std::endl;
      return answer;
    }
  }
  QMessageBox::StandardButtons buttons = QMessageBox::Ok;
  if (request.buttons == Buttons::YesNo) buttons = QMessageBox::Yes | QMessageBox::No;
  if (request.buttons == Buttons::OkCancel) buttons = QMessageBox::Ok | QMessageBox::Cancel;
  QMessageBox box(ToQt(request.icon), Q(request.title), Q(request.text), buttons, dialogParent_);
  if (request.systemModal) box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
  // One message at a time: what a worker asks to show meanwhile (a lost connection while the
  // engineer reads why the image was not read) waits until this box is closed instead of
  // opening on top of it. Urgent work (the control panel's lamps) still runs.
  QueueHold hold;
  box.setWindowModality(Qt::ApplicationModal);
  const int result = box.exec();
  switch (result) {
    case QMessageBox::Yes:
      return Answer::Yes;
    case QMessageBox::No:
      return Answer::No;
    case QMessageBox::Cancel:
      return Answer::Cancel;
    default:
      break;
  }
  // Closing a question box with the window's close button counts as its cautious answer.
  return request.buttons == Buttons::Ok ? Answer::Ok : CautiousAnswer(request.buttons);
}

FileDialogResult QtUi::RunFileDialogHere(const FileDialogRequest& request) {
  FileDialogResult result;
  result.filterIndex = request.filterIndex;
  if (nonInteractive_) {
    std::lock_guard<std::mutex> g(m_);
    if (!scriptedFiles_.empty()) {
      result.accepted = true;
      result.path = std::move(scriptedFiles_.front());
      scriptedFiles_.pop_front();
      return result;
    }
    std::cerr << (request.save ? "save dialog" : "open dialog") << " in " << request.initialDir
              << ": cancelled (non-interactive)" << std::endl;
    return result;
  }
  QFileDialog dialog(dialogParent_, QString(), Q(request.initialDir));
  dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  QStringList filters;
  for (auto& f : QtNameFilters(request.filter)) filters << Q(f);
  if (!filters.isEmpty()) {
    dialog.setNameFilters(filters);
    int index =
        request.filterIndex >= 1 && request.filterIndex <= filters.size() ? request.filterIndex : 1;
    dialog.selectNameFilter(filters[index - 1]);
  }
  if (!request.defaultExt.empty()) dialog.setDefaultSuffix(Q(request.defaultExt));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return result;
  result.accepted = true;
  result.path = dialog.selectedFiles().front().toStdString();
  int chosen = filters.indexOf(dialog.selectedNameFilter());
  result.filterIndex = chosen >= 0 ? chosen + 1 : request.filterIndex;
  return result;
}

void QtUi::Enqueue(std::function<void()> fn, bool urgent) {
  {
    std::lock_guard<std::mutex> g(m_);
    (urgent ? urgent_ : queue_).push_back(std::move(fn));
    ++wakeCount_;
  }
  cv_.notify_all();
  // One queued call per item; each drains whatever is there, so extra calls find nothing.
  QMetaObject::invokeMethod(this, "Drain", Qt::QueuedConnection);
}

bool QtUi::RunOne(bool normal) {
  std::function<void()> fn;
  {
    std::lock_guard<std::mutex> g(m_);
    auto& from = !urgent_.empty() ? urgent_ : queue_;
    if (from.empty() || (&from == &queue_ && !normal)) return false;
    fn = std::move(from.front());
    from.pop_front();
  }
  fn();
  return true;
}

void QtUi::Drain() {
  // While held, only urgent work runs; the hold's end drains again.
  while (RunOne(holds_ == 0)) {
  }
}

QtUi::QueueHold::QueueHold() : ui_(dynamic_cast<QtUi*>(&CurrentUi())) {
  if (ui_) ++ui_->holds_;
}

QtUi::QueueHold::~QueueHold() {
  if (!ui_ || --ui_->holds_ > 0) return;
  // The Drain calls the event loop made meanwhile found the queue held: ask for one more.
  QMetaObject::invokeMethod(ui_, "Drain", Qt::QueuedConnection);
}

void QtUi::Synchronize(const std::function<void()>& fn) {
  if (IsInterfaceThread()) {
    fn();
    return;
  }
  bool done = false;
  Enqueue([&] {
    fn();
    {
      std::lock_guard<std::mutex> g(m_);
      done = true;
    }
    cv_.notify_all();
  });
  std::unique_lock<std::mutex> lock(m_);
  cv_.wait(lock, [&] { return done; });
}

void QtUi::SynchronizeUrgent(const std::function<void()>& fn) {
  if (IsInterfaceThread()) {
    fn();
    return;
  }
  bool done = false;
  Enqueue(
      [&] {
        fn();
        {
          std::lock_guard<std::mutex> g(m_);
          done = true;
        }
        cv_.notify_all();
      },
      true);
  std::unique_lock<std::mutex> lock(m_);
  cv_.wait(lock, [&] { return done; });
}

void QtUi::Post(std::function<void()> fn) {
  Enqueue(std::move(fn));
}

bool QtUi::IsInterfaceThread() const {
  return std::this_thread::get_id() == uiThread_;
}

void QtUi::WaitServing(const std::function<bool()>& done) {
  const bool serve = IsInterfaceThread();
  for (;;) {
    std::uint64_t seen;
    {
      std::lock_guard<std::mutex> g(m_);
      seen = wakeCount_;
    }
    // The condition is looked at without our mutex: it may take locks of its own.
    if (done()) return;
    if (serve && RunOne()) continue;
    std::unique_lock<std::mutex> lock(m_);
    cv_.wait(lock, [&] {
      return wakeCount_ != seen || (serve && (!queue_.empty() || !urgent_.empty()));
    });
  }
}

void QtUi::Wake() {
  {
    std::lock_guard<std::mutex> g(m_);
    ++wakeCount_;
  }
  cv_.notify_all();
}

}  // namespace platform
