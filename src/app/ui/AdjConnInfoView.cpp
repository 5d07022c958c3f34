#include "app/ui/AdjConnInfoView.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QScreen>
#include <QTableWidget>

#include "app/ui/ManagerView.h"
#include "app/ui/ToolRegistry.h"
#include "platform/qt/Bindings.h"

namespace kvt::ui {

namespace {

QTableWidget* MakeGrid(QWidget* parent, const char* name, QRect geometry) {
  auto* grid = new QTableWidget(parent);
  grid->setObjectName(name);
  grid->setGeometry(geometry);
  grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  grid->setFocusPolicy(Qt::NoFocus);
  return grid;
}

}  // namespace

AdjConnInfoView::AdjConnInfoView(TfrmAdjustConnectionInfo& model, std::function<void()> onClose)
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                           Qt::MSWindowsFixedSizeDialogHint),
      onClose_(std::move(onClose)) {
  using namespace platform::qt;
  setObjectName("frmAdjustConnectionInfo");
  setFixedSize(553, 548);
  BindForm(this, model.Self);

  auto* panel = new QFrame(this);
  panel->setObjectName("Panel1");
  panel->setFrameShape(QFrame::Panel);
  panel->setFrameShadow(QFrame::Raised);
  panel->setGeometry(8, 8, 537, 66);
  BindPanel(panel, model.Panel1);
  auto* label2 = new QLabel(panel);
  label2->setObjectName("Label2");
  label2->setGeometry(2, 2, 533, 62);
  BindLabel(label2, model.Label2);

  auto* modulesGroup = new QGroupBox(this);
  modulesGroup->setObjectName("GroupBox3");
  modulesGroup->setGeometry(8, 80, 537, 160);
  BindGroupBox(modulesGroup, model.GroupBox3);
  modules_ = MakeGrid(modulesGroup, "ModulesTable", QRect(8, 20, 521, 132));
  BindStringGrid(modules_, model.ModulesTable);

  checksumGroup_ = new QGroupBox(this);
  checksumGroup_->setObjectName("GroupBox2");
  checksumGroup_->setGeometry(8, 246, 537, 160);
  checksums_ = MakeGrid(checksumGroup_, "StringGrid1", QRect(8, 20, 521, 132));
  BindStringGrid(checksums_, model.StringGrid1);
  BindGroupBox(checksumGroup_, model.GroupBox2);

  auto* conclusionBox = new QGroupBox(this);
  conclusionBox->setObjectName("ConclusionBox");
  conclusionBox->setGeometry(8, 412, 537, 128);
  BindGroupBox(conclusionBox, model.ConclusionBox);
  conclusion_ = new QLabel(conclusionBox);
  conclusion_->setObjectName("lbConclusion");
  conclusion_->setGeometry(8, 20, 521, 100);
  conclusion_->setContentsMargins(6, 0, 6, 4);
  BindLabel(conclusion_, model.lbConclusion);

  // Top left corner of the screen.
  if (QScreen* screen = QApplication::primaryScreen()) move(screen->geometry().topLeft());
}

void AdjConnInfoView::closeEvent(QCloseEvent* event) {
  event->accept();
  if (onClose_) onClose_();
}

// The connection sequence creates the model; the main window's view shows it through this.
static ToolInstaller installConnectionInfo([](MainWindowParts& parts) {
  parts.View().SetConnectionViewFactory([](TfrmManager& m) -> QWidget* {
    TfrmAdjustConnectionInfo* window = m.ConnectionWindow();
    if (!window) return nullptr;
    // Closing the window by hand frees it, like any tool window.
    return new AdjConnInfoView(*window, [&m] { m.DestroyConnectionWindow(); });
  });
});

}  // namespace kvt::ui
