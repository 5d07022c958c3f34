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
#include "platform/qt/ViewParts.h"

namespace kvt::ui {

AdjConnInfoView::AdjConnInfoView(TfrmAdjustConnectionInfo& model, std::function<void()> onClose)
    : QWidget(nullptr, pq::kToolWindowFlags), onClose_(std::move(onClose)) {
  pq::FrameWindow(this, model.Self, QSize(553, 548));

  QFrame* panel = pq::MakePanel(this, model.Panel1, QRect(8, 8, 537, 66));
  pq::MakeLabel(panel, model.Label2, QRect(2, 2, 533, 62));

  QGroupBox* modulesGroup = pq::MakeGroup(this, model.GroupBox3, QRect(8, 80, 537, 160));
  modules_ = pq::MakeGrid(modulesGroup, model.ModulesTable, pq::InsideGroup(modulesGroup, 8, 20));
  checksumGroup_ = pq::MakeGroup(this, model.GroupBox2, QRect(8, 246, 537, 160));
  checksums_ =
      pq::MakeGrid(checksumGroup_, model.StringGrid1, pq::InsideGroup(checksumGroup_, 8, 20));
  // The tables only show: no scrolling sideways, no focus.
  for (QTableWidget* table : {modules_, checksums_}) {
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setFocusPolicy(Qt::NoFocus);
  }

  QGroupBox* conclusionBox = pq::MakeGroup(this, model.ConclusionBox, QRect(8, 412, 537, 128));
  conclusion_ =
      pq::MakeLabel(conclusionBox, model.lbConclusion, pq::InsideGroup(conclusionBox, 8, 20));
  conclusion_->setContentsMargins(6, 0, 6, 4);

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
