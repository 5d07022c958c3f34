#pragma once
// The Qt view of TfrmAMC_K4: the reference voltages with the three buttons, one group per phase
// channel with its codes and coefficients, the measured phase voltages and the message panel.
// Modeless; it owns its model and frees itself (and the model, which switches the apparatus
// off) when closed.

#include <QList>
#include <QWidget>
#include <memory>

#include "procedures/AmcK4.h"

namespace kvt {
class TfrmManager;
}

namespace kvt::ui {

class AmcK4View : public QWidget {
  Q_OBJECT
 public:
  explicit AmcK4View(std::unique_ptr<TfrmAMC_K4> model, QWidget* parent = nullptr);
  ~AmcK4View() override;

  TfrmAMC_K4& Model() { return *model_; }
  void PlaceAtTopLeft();

  static QList<AmcK4View*> OpenViews();
  static void CloseAll();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Escape closes the window (its model switches the apparatus off).
  void keyPressEvent(QKeyEvent* event) override;

 private:
  std::unique_ptr<TfrmAMC_K4> model_;
};

// The main window's "Настроить измерительные каналы" for K4 systems, after the technological
// power mode has been switched on.
void OpenAmcK4Window(TfrmManager& manager);

}  // namespace kvt::ui
