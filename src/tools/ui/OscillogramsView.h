#pragma once
// The Qt view of TfrmOscillograms: a modeless window with the voltage and current charts, the
// effective values and the load and save buttons. It owns its model and frees itself (and the
// model) when closed.

#include <QList>
#include <QWidget>
#include <memory>

#include "tools/Oscillograms.h"

class QChartView;

namespace kvt {
class TfrmManager;
}

namespace kvt::ui {

class OscillogramsView : public QWidget {
  Q_OBJECT
 public:
  explicit OscillogramsView(std::unique_ptr<TfrmOscillograms> model, QWidget* parent = nullptr);
  ~OscillogramsView() override;

  TfrmOscillograms& Model() { return *model_; }
  QChartView* VoltageChart() const { return voltage_; }
  QChartView* CurrentChart() const { return current_; }
  // Moves the window to the screen's top left corner.
  void PlaceAtTopLeft();

  // Every oscillogram window that exists, oldest first.
  static QList<OscillogramsView*> OpenViews();
  // Destroys them all at once (the main window closing).
  static void CloseAll();

 private:
  std::unique_ptr<TfrmOscillograms> model_;
  QChartView* voltage_ = nullptr;
  QChartView* current_ = nullptr;
};

// The main window's "Показать осцилограммы": a new window at the top left, then the reading.
void OpenOscillogramsWindow(TfrmManager& manager, QWidget* owner = nullptr);

}  // namespace kvt::ui
