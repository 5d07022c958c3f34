#pragma once
// The interface seam: message boxes, questions, file dialogs and the calls that move work onto the
// interface thread. The Qt program installs its implementation; tests install ScriptedUi.

#include <functional>
#include <string>
#include <vector>

namespace platform {

enum class Icon { None, Information, Warning, Error, Question };
enum class Buttons { Ok, YesNo, OkCancel };
enum class Answer { Ok, Cancel, Yes, No };

struct MessageRequest {
  std::string text;
  std::string title;
  Icon icon = Icon::None;
  Buttons buttons = Buttons::Ok;
  bool systemModal = false;
};

struct FileDialogRequest {
  bool save = false;
  std::string initialDir;
  // Windows-style filter: "Образ памяти(*.mi)|*.mi|Файлы ... (*.dat)|*.dat"
  std::string filter;
  int filterIndex = 1;  // 1-based, as the dialogs number it
  std::string defaultExt;
};

struct FileDialogResult {
  bool accepted = false;
  std::string path;
  int filterIndex = 1;
};

// A one-line text question ("ФИО инженера"): value comes in as the text to offer and goes out as
// the text accepted.
struct InputRequest {
  std::string caption;
  std::string prompt;
};

class Ui {
 public:
  virtual ~Ui() = default;

  virtual Answer ShowMessage(const MessageRequest& request) = 0;
  virtual FileDialogResult RunFileDialog(const FileDialogRequest& request) = 0;
  // False when the engineer cancelled (value unchanged). An interface without input fields
  // reports cancelled.
  virtual bool InputQuery(const InputRequest& request, std::string& value) {
    (void)request;
    (void)value;
    return false;
  }

  // Runs fn on the interface thread and waits for it (runs it at once when called there).
  virtual void Synchronize(const std::function<void()>& fn) = 0;
  // Queues fn to run on the interface thread, in order with every other Post and Synchronize.
  virtual void Post(std::function<void()> fn) = 0;
  virtual bool IsInterfaceThread() const = 0;
  // Blocks the interface thread until done() is true, serving queued Synchronize/Post work
  // meanwhile. Woken by Wake(). Elsewhere it just waits for done() with Wake() as the signal.
  virtual void WaitServing(const std::function<bool()>& done) = 0;
  // Tells a WaitServing caller to look at its condition again.
  virtual void Wake() = 0;
};

// The installed interface (a ScriptedUi with no script until the program installs its own).
// The default one treats the thread that started the program as the interface thread.
Ui& CurrentUi();
// Installs ui (not owned; null goes back to the default). The caller keeps it alive while
// installed.
void SetUi(Ui* ui);
// The interface installed with SetUi, or null when the default is in use.
Ui* InstalledUi();

// Shorthands.
Answer ShowMessage(const std::string& text, const std::string& title, Icon icon,
                   Buttons buttons = Buttons::Ok, bool systemModal = false);
inline bool AskYesNo(const std::string& text, const std::string& title = "") {
  return ShowMessage(text, title, Icon::Question, Buttons::YesNo) == Answer::Yes;
}

}  // namespace platform
