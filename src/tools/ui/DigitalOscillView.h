#pragma once
// The Qt view of the diagnostics panel of the reference voltage meter, TfrmDigitalOscill. Created
// at start-up for the whole run; it shows and hides itself as the model's Form says, and closing
// it only hides it. The view owns its window's model.

#include <QWidget>

#include "tools/DigitalOscill.h"

namespace kvt::ui {

class DigitalOscillView : public QWidget {
  Q_OBJECT
 public:
  // The settings file decides (through the model) whether the window shows at once. With a
  // parent the panel is its own window that belongs to that one.
  explicit DigitalOscillView(QWidget* parent = nullptr);
  ~DigitalOscillView() override;

  TfrmDigitalOscill& Model() { return model_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void FollowVisibility();

  TfrmDigitalOscill model_;
  platform::Control::ListenerToken formToken_ = 0;
};

}  // namespace kvt::ui
