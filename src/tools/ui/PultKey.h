#pragma once
// A key of the control panel's console, which reports the mouse going down and up to its model.

#include <QWidget>
#include <memory>

#include "tools/Pult.h"

namespace kvt::ui {

// One key of the console: its picture on a raised face that sinks while held or latched.
class PultKey : public QWidget {
  Q_OBJECT
 public:
  PultKey(QWidget* parent, SpeedButton& model, const QRect& where);
  ~PultKey() override;
  SpeedButton& Model() { return *model_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  SpeedButton* model_;
  std::weak_ptr<void> alive_;
  platform::Control::ListenerToken token_ = 0;
  bool pressed_[3] = {false, false, false};
};

}  // namespace kvt::ui
