#include "app/ui/Program.h"

#include <QApplication>

#include "app/ui/ProgressView.h"
#include "app/ui/ToolRegistry.h"
#include "platform/Ui.h"
#include "platform/qt/QtUi.h"
#include "platform/qt/Translations.h"

namespace kvt::ui {

ProgramWindows::ProgramWindows() {
  // The windows are laid out for a small dialog font, as service tools of this kind use.
  QFont font = QApplication::font();
  font.setPointSize(8);
  QApplication::setFont(font);
  platform::qt::InstallQtTranslations();
  InstallProgressView();
  manager_ = std::make_unique<TfrmManager>();
  view_ = std::make_unique<ManagerView>(*manager_);
  if (auto* qtUi = dynamic_cast<platform::QtUi*>(&platform::CurrentUi()))
    qtUi->SetDialogParent(view_.get());
  view_->show();
  view_->PlaceAtTopRight();
  // Every window joins through its view file's installer (app/ui/ToolRegistry.h).
  MainWindowParts parts(*manager_, *view_, kept_);
  InstallTools(parts);
}

ProgramWindows::~ProgramWindows() {
  manager_->FormDestroy();
  kept_.clear();
  view_.reset();
  if (auto* qtUi = dynamic_cast<platform::QtUi*>(&platform::CurrentUi()))
    qtUi->SetDialogParent(nullptr);
  manager_.reset();
  TfrmProgress::SetViewFactory(nullptr);
}

QWidget* ProgramWindows::HiddenWindow(const char* objectName) const {
  for (const auto& w : kept_)
    if (w->objectName() == QLatin1String(objectName)) return w.get();
  return nullptr;
}

}  // namespace kvt::ui
