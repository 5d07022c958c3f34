#pragma once
// The Qt view of the main window TfrmManager.

#include <QPointer>
#include <QWidget>
#include <functional>

#include "app/Manager.h"

class QLabel;
class QPushButton;

namespace kvt::ui {

class ManagerView : public QWidget {
  Q_OBJECT
 public:
  explicit ManagerView(TfrmManager& model);
  ~ManagerView() override;

  TfrmManager& Model() { return model_; }
  QPushButton* ButtonWidget(ManagerButton b) const { return buttons_[std::size_t(b)]; }
  QLabel* StateMonitorWidget() const { return stateMonitor_; }
  // The connection information window's view while one is shown.
  QWidget* ConnectionWindowView() const { return connectionView_; }

  // Makes the connection information window's view (installed by the program).
  using ConnectionViewFactory = std::function<QWidget*(TfrmManager& model)>;
  void SetConnectionViewFactory(ConnectionViewFactory factory) {
    connectionFactory_ = std::move(factory);
  }

  // While a memory transfer runs the commands look disabled (each false needs a true; transfers
  // nest). The buttons' own states are kept.
  void SetCommandsEnabled(bool enabled);

  // Top right corner of the primary screen.
  void PlaceAtTopRight();

 protected:
  void moveEvent(QMoveEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void ShowConnectionView();
  void DropConnectionView();

  TfrmManager& model_;
  std::array<QPushButton*, kManagerButtonCount> buttons_{};
  QLabel* stateMonitor_ = nullptr;
  QWidget* commands_ = nullptr;
  int commandHolds_ = 0;
  QPointer<QWidget> connectionView_;
  ConnectionViewFactory connectionFactory_;
  bool snapping_ = false;
  bool closed_ = false;
};

// Registers the pictures of the main window's buttons.
void RegisterManagerGlyphs();

}  // namespace kvt::ui
