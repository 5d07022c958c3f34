#pragma once
// The Qt view of TfrmOscillograms: a modeless window with the voltage and current charts, the
// effective values and the load and save buttons. It owns its model and frees itself (and the
// model) when closed.

#include <memory>

#include "platform/qt/ViewParts.h"
#include "tools/Oscillograms.h"

namespace kvt::ui {

class OscillogramsView : public platform::qt::ToolWindow<OscillogramsView, TfrmOscillograms> {
  Q_OBJECT
 public:
  explicit OscillogramsView(std::unique_ptr<TfrmOscillograms> model, QWidget* parent = nullptr);
};

}  // namespace kvt::ui
