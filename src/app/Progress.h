#pragma once
// TfrmProgress: the small window every long memory transfer shows. Its caption is the running
// operation's text, its gauge runs from 0 to 100, and the user cannot close it. The transfer runs
// on the interface thread while it is shown, so the view repaints it at each step.

#include <functional>
#include <memory>
#include <string>

namespace kvt {

class TfrmProgress {
 public:
  // What the view does for the model: show itself at creation, repaint at each step.
  class View {
   public:
    virtual ~View() = default;
    virtual void ProgressChanged(int percent) = 0;
  };
  using ViewFactory = std::function<std::unique_ptr<View>(TfrmProgress&)>;
  // Installed by the desktop program; without one the window has no view (tests, kvtctl).
  static void SetViewFactory(ViewFactory factory);

  // Visible as soon as it is created; becomes the open progress window.
  explicit TfrmProgress(std::string caption);
  ~TfrmProgress();
  TfrmProgress(const TfrmProgress&) = delete;
  TfrmProgress& operator=(const TfrmProgress&) = delete;

  const std::string& Caption() const { return caption_; }
  // ProgressBar's position, 0..100.
  int Position() const { return position_; }
  void SetProgress(int percent);
  // A close request by the user is refused while the transfer runs.
  bool FormCloseQuery() const { return false; }

  // The progress window opened last and still open, or null.
  static TfrmProgress* Current();

 private:
  std::string caption_;
  int position_ = 0;
  TfrmProgress* previous_ = nullptr;
  std::unique_ptr<View> view_;
};

// Sets the gauge of the progress window that is open; does nothing when none is. Memory
// transfers take it as their progress callback.
void SetProgress(int percent);

// Runs work while a progress window with the given caption is shown, passing it the window's
// SetProgress as the transfer's progress callback.
void WithProgress(const std::string& caption,
                  const std::function<void(std::function<void(int)>)>& work);

}  // namespace kvt
