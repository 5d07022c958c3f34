#pragma once
// The Qt view of TfrmCheckHeat: the plot of measured against set filament current with the
// deviation, the heat buttons, the code spinner (Enter applies it), the two switches and the
// message panel. It owns its model and frees itself (and the model) when closed.

#include <QList>
#include <QWidget>
#include <memory>

#include "procedures/CheckHeat.h"

class QChartView;

namespace kvt {
class TfrmManager;
}

namespace kvt::ui {

class CheckHeatView : public QWidget {
  Q_OBJECT
 public:
  explicit CheckHeatView(std::unique_ptr<TfrmCheckHeat> model, QWidget* parent = nullptr);
  ~CheckHeatView() override;

  TfrmCheckHeat& Model() { return *model_; }
  QChartView* Chart() const { return chart_; }
  void PlaceAtTopLeft();

  static QList<CheckHeatView*> OpenViews();
  static void CloseAll();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::unique_ptr<TfrmCheckHeat> model_;
  QChartView* chart_ = nullptr;
  QWidget* code_ = nullptr;
};

// The main window's "Проверить работу системы накала": a further window on every press.
void OpenCheckHeatWindow(TfrmManager& manager);

}  // namespace kvt::ui
