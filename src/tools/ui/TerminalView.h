#pragma once
// The Qt view of the terminal TfrmTerminal: a modal dialog with the three pages.

#include <QDialog>

#include "tools/Terminal.h"

class QComboBox;
class QPlainTextEdit;

namespace kvt::ui {

class TerminalView : public QDialog {
  Q_OBJECT
 public:
  explicit TerminalView(TfrmTerminal& model, QWidget* parent = nullptr);
  ~TerminalView() override;

 public slots:
  // Closing goes through the model's close question (Escape and the title bar's close too).
  void reject() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void ApplyFocus(const std::string& control);
  void ApplyMemoAlignment();

  TfrmTerminal& model_;
  QComboBox* inputLine_ = nullptr;
  QPlainTextEdit* monitor_ = nullptr;
  QPlainTextEdit* imageMemo_ = nullptr;
};

// Makes the terminal show itself as this modal dialog (parent: the main window, may be null).
void InstallTerminalView(QWidget* parent);

}  // namespace kvt::ui
