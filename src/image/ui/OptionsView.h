#pragma once
// The Qt views of the options window TfrmOptions and its folder chooser TfrmSelectDir. Both are
// created hidden at start-up and shown modally; each view owns its window's model.

#include <QDialog>

#include "image/Options.h"
#include "image/SelDir.h"

class QComboBox;
class QLineEdit;
class QTreeView;
class QFileSystemModel;

namespace kvt::ui {

class SelectDirView : public QDialog {
  Q_OBJECT
 public:
  explicit SelectDirView(QWidget* parent = nullptr);
  ~SelectDirView() override;
  TfrmSelectDir& Model() { return model_; }

 private:
  void FollowModel();

  TfrmSelectDir model_;
  QFileSystemModel* files_ = nullptr;
  QTreeView* dirs_ = nullptr;
};

class OptionsView : public QDialog {
  Q_OBJECT
 public:
  // selectDir serves the "Обзор" button and must outlive this window.
  explicit OptionsView(TfrmSelectDir& selectDir, QWidget* parent = nullptr);
  ~OptionsView() override;
  TfrmOptions& Model() { return model_; }

 private:
  TfrmOptions model_;
};

// Makes both windows show themselves modally through these views.
void InstallOptionsViews(OptionsView& options, SelectDirView& selectDir);

}  // namespace kvt::ui
