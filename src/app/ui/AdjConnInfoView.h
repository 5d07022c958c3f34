#pragma once
// The Qt view of the connection information window TfrmAdjustConnectionInfo.

#include <QWidget>

#include "app/AdjConnInfo.h"

class QLabel;
class QTableWidget;
class QGroupBox;

namespace kvt::ui {

class AdjConnInfoView : public QWidget {
  Q_OBJECT
 public:
  // onClose runs when the user closes the window (the owner then destroys the model).
  AdjConnInfoView(TfrmAdjustConnectionInfo& model, std::function<void()> onClose);

  QLabel* Conclusion() const { return conclusion_; }
  QTableWidget* Modules() const { return modules_; }
  QTableWidget* Checksums() const { return checksums_; }
  QGroupBox* ChecksumGroup() const { return checksumGroup_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  std::function<void()> onClose_;
  QLabel* conclusion_ = nullptr;
  QTableWidget* modules_ = nullptr;
  QTableWidget* checksums_ = nullptr;
  QGroupBox* checksumGroup_ = nullptr;
};

}  // namespace kvt::ui
