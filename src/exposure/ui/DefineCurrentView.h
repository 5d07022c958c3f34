#pragma once
// The Qt view of the determination dialog: the curve with its two lines, the two scroll bars with
// their values, the result and the accept button. Created hidden at start-up for the program's
// one dialog; it installs itself as the dialog's modal runner, so every DetermineValue shows it.
// Closing it by its frame (or Esc) ends it without a value.

#include <QDialog>

#include "exposure/DefineCurrent.h"

class QChartView;

namespace kvt::ui {

class DefineCurrentView : public QDialog {
  Q_OBJECT
 public:
  explicit DefineCurrentView(TfrmDefineCurrent& model, QWidget* parent = nullptr);
  ~DefineCurrentView() override;

  TfrmDefineCurrent& Model() { return model_; }
  QChartView* Chart() const { return chart_; }

  // The frame's close and Esc: no value.
  void reject() override;

 private:
  TfrmDefineCurrent& model_;
  QChartView* chart_ = nullptr;
  platform::Control::ListenerToken chartToken_ = 0;
};

}  // namespace kvt::ui
