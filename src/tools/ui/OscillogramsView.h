#pragma once
// The Qt view of TfrmOscillograms: a modeless window with the voltage and current charts, the
// effective values and the load and save buttons. It owns its model and frees itself (and the
// model) when closed.

#include <memory>

#include "platform/qt/ViewParts.h"
#include "tools/Oscillograms.h"

class QChartView;

namespace kvt::ui {

class OscillogramsView : public platform::qt::ToolWindow<OscillogramsView, TfrmOscillograms> {
  Q_OBJECT
 public:
  explicit OscillogramsView(std::unique_ptr<TfrmOscillograms> model, QWidget* parent = nullptr);

  QChartView* VoltageChart() const { return voltage_; }
  QChartView* CurrentChart() const { return current_; }

 private:
  QChartView* voltage_ = nullptr;
  QChartView* current_ = nullptr;
};

}  // namespace kvt::ui
