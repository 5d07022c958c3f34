#pragma once
// The Qt view of the diagnostics panel of the reference voltage meter, TfrmDigitalOscill. Created
// at start-up for the whole run; it shows and hides itself as the model's Form says, and closing
// it only hides it. The view owns its window's model.

#include <QWidget>

#include "tools/DigitalOscill.h"

class QChartView;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace kvt::ui {

class DigitalOscillView : public QWidget {
  Q_OBJECT
 public:
  // The settings file decides (through the model) whether the window shows at once. With a
  // parent the panel is its own window that belongs to that one.
  explicit DigitalOscillView(QWidget* parent = nullptr);
  ~DigitalOscillView() override;

  TfrmDigitalOscill& Model() { return model_; }
  QChartView* ChartWidget() const { return chart_; }
  QComboBox* ChannelWidget() const { return channel_; }
  QComboBox* MeasuresWidget() const { return measures_; }
  QComboBox* DatabitsWidget() const { return databits_; }
  QSpinBox* TimeWidget() const { return time_; }
  QSpinBox* SyncWidget() const { return sync_; }
  QLabel* EffectiveWidget() const { return effective_; }
  QLabel* SwingWidget() const { return swing_; }
  // Button4, Button1, Button2, Button3 by the model's names; null for any other.
  QPushButton* ButtonWidget(const char* name) const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void FollowVisibility();

  TfrmDigitalOscill model_;
  QChartView* chart_ = nullptr;
  QComboBox* channel_ = nullptr;
  QComboBox* measures_ = nullptr;
  QComboBox* databits_ = nullptr;
  QSpinBox* time_ = nullptr;
  QSpinBox* sync_ = nullptr;
  QLabel* effective_ = nullptr;
  QLabel* swing_ = nullptr;
  platform::Control::ListenerToken formToken_ = 0;
};

}  // namespace kvt::ui
