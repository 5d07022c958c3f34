#include "app/ui/Program.h"

#include <QApplication>

#include "app/ui/AdjConnInfoView.h"
#include "app/ui/ProgressView.h"
#include "app/ui/SimulatorView.h"
#include "app/ui/ToolRegistry.h"
#include "calibration/ui/DefineCurrentView.h"
#include "image/ui/OptionsView.h"
#include "platform/Ui.h"
#include "platform/qt/QtUi.h"
#include "platform/qt/Translations.h"
#include "tools/ui/DigitalOscillView.h"

namespace kvt::ui {

ProgramWindows::ProgramWindows() {
  // The windows are laid out for a small dialog font, as service tools of this kind use.
  QFont font = QApplication::font();
  font.setPointSize(8);
  QApplication::setFont(font);
  platform::qt::InstallQtTranslations();
  InstallProgressView();
  manager_ = std::make_unique<TfrmManager>();
  SetTheMainHost(manager_.get());
  InstallTools(*manager_);
  view_ = std::make_unique<ManagerView>(*manager_);
  if (auto* qtUi = dynamic_cast<platform::QtUi*>(&platform::CurrentUi()))
    qtUi->SetDialogParent(view_.get());
  view_->SetConnectionViewFactory([](TfrmManager& m) -> QWidget* {
    TfrmAdjustConnectionInfo* window = m.ConnectionWindow();
    if (!window) return nullptr;
    // Closing the window by hand frees it, like any tool window.
    return new AdjConnInfoView(*window, [&m] { m.DestroyConnectionWindow(); });
  });
  view_->show();
  view_->PlaceAtTopRight();
  simulator_ = MakeSimulatorWindow(*view_);

  // The program-wide windows that start hidden; their parts fill them in.
  // The folder chooser and the options window are real; the options button shows them.
  auto selectDir = std::make_unique<SelectDirView>();
  auto options = std::make_unique<OptionsView>(selectDir->Model());
  InstallOptionsViews(*options, *selectDir);
  TfrmManager* manager = manager_.get();
  options->Model().SetImageDir = [manager](const std::string& dir) { manager->ImageDir = dir; };
  manager_->SetLauncher(
      ManagerTool::Options,
      [view = options.get()](TfrmManager&, const std::string&) { view->Model().ShowModal(); });
  hidden_.push_back(std::move(selectDir));
  hidden_.push_back(std::move(options));
  // The meter's panel shows itself when the settings ask for it.
  hidden_.push_back(std::make_unique<DigitalOscillView>(view_.get()));
  // The determination dialog every tool reads its curves in.
  hidden_.push_back(std::make_unique<DefineCurrentView>(DefineCurrentDialog()));
}

ProgramWindows::~ProgramWindows() {
  manager_->SetLauncher(ManagerTool::Options, nullptr);
  simulator_.reset();
  hidden_.clear();
  manager_->FormDestroy();
  view_.reset();
  if (auto* qtUi = dynamic_cast<platform::QtUi*>(&platform::CurrentUi()))
    qtUi->SetDialogParent(nullptr);
  if (TheMainHost() == manager_.get()) SetTheMainHost(nullptr);
  manager_.reset();
  TfrmProgress::SetViewFactory(nullptr);
}

QWidget* ProgramWindows::HiddenWindow(const char* objectName) const {
  for (const auto& w : hidden_)
    if (w->objectName() == QLatin1String(objectName)) return w.get();
  return nullptr;
}

}  // namespace kvt::ui
