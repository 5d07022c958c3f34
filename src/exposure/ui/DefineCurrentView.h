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

  QChartView* Chart() const { return chart_; }

  // The frame's close and Esc: no value.
  void reject() override;

 protected:
  // A line dragged on the chart with the mouse moves as its scroll bar would move it.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The value-axis value at a point of the chart's viewport.
  double ValueAt(const QPoint& at) const;

  TfrmDefineCurrent& model_;
  QChartView* chart_ = nullptr;
  // The chart's drawing area, where the lines are dragged (no longer watched once it goes).
  QWidget* area_ = nullptr;
  TfrmDefineCurrent::Line dragged_ = TfrmDefineCurrent::Line::None;
  platform::Control::ListenerToken chartToken_ = 0;
};

}  // namespace kvt::ui
