#pragma once
// The Qt view of TfrmAMC: the mains channel group, the anode channel group with the control
// exposure's chart, and the message panel. Modeless; it owns its model and frees itself (and the
// model, which waits for its worker) when closed.

#include <QList>
#include <QWidget>
#include <memory>

#include "procedures/Amc.h"

namespace kvt {
class TfrmManager;
}

namespace kvt::ui {

class AmcView : public QWidget {
  Q_OBJECT
 public:
  explicit AmcView(std::unique_ptr<TfrmAMC> model, QWidget* parent = nullptr);
  ~AmcView() override;

  TfrmAMC& Model() { return *model_; }
  void PlaceAtTopLeft();

  static QList<AmcView*> OpenViews();
  static void CloseAll();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ApplyFocus(const std::string& control);

  std::unique_ptr<TfrmAMC> model_;
};

// The main window's "Настроить измерительные каналы" for K2 and K3 systems.
void OpenAmcWindow(TfrmManager& manager);

}  // namespace kvt::ui
