#include "procedures/ui/ArdView.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

#include "app/Manager.h"
#include "app/ui/ToolRegistry.h"

namespace kvt::ui {

namespace {

void Measured(QWidget* parent, platform::Edit& model, const QRect& where) {
  QLineEdit* e = pq::MakeEdit(parent, model, where, Qt::AlignRight);
  e->setMaxLength(3);
  e->setFocusPolicy(Qt::NoFocus);
}

}  // namespace

ArdView::ArdView(std::unique_ptr<TfrmARD> model, QWidget* parent)
    : ToolWindow(std::move(model), "frmARD", QSize(600, 420), parent) {
  TfrmARD& m = Model();

  QGroupBox* currents = pq::MakeGroup(this, m.GroupBox1, QRect(8, 6, 330, 112));
  for (auto [column, x] :
       {std::pair{&m.Label3, 104}, {&m.Label4, 160}, {&m.Label5, 218}, {&m.Label6, 274}})
    pq::MakeLabel(currents, *column, QRect(x, 20, 50, 16))->setAlignment(Qt::AlignCenter);
  pq::MakeLabel(currents, m.Label1, QRect(10, 42, 90, 22));
  pq::MakeLabel(currents, m.Label2, QRect(10, 74, 90, 22));
  Measured(currents, m.edMDmin, QRect(104, 42, 50, 24));
  Measured(currents, m.edMDmax, QRect(160, 42, 50, 24));
  Measured(currents, m.edMBmin, QRect(104, 74, 50, 24));
  Measured(currents, m.edMBmax, QRect(160, 74, 50, 24));
  pq::MakeSpin(currents, m.udTDmin, QRect(218, 42, 52, 24), Qt::AlignRight);
  pq::MakeSpin(currents, m.udTDmax, QRect(274, 42, 52, 24), Qt::AlignRight);
  pq::MakeSpin(currents, m.udTBmin, QRect(218, 74, 52, 24), Qt::AlignRight);
  pq::MakeSpin(currents, m.udTBmax, QRect(274, 74, 52, 24), Qt::AlignRight);

  QGroupBox* times = pq::MakeGroup(this, m.GroupBox2, QRect(346, 6, 246, 112));
  pq::MakeLabel(times, m.Label7, QRect(10, 20, 200, 16));
  pq::MakeSpin(times, m.udDispTime, QRect(10, 38, 60, 24), Qt::AlignRight);
  pq::MakeLabel(times, m.Label9, QRect(78, 38, 80, 24));
  pq::MakeLabel(times, m.Label8, QRect(10, 64, 232, 16));
  pq::MakeSpin(times, m.udBrTime, QRect(10, 82, 60, 24), Qt::AlignRight);

  QGroupBox* drive = pq::MakeGroup(this, m.GroupBox3, QRect(8, 122, 584, 50));
  pq::MakeLamp(drive, m.imgDispersalMode, QRect(14, 18, 24, 24));
  pq::MakeLabel(drive, m.Label10, QRect(44, 20, 200, 20));
  pq::MakeLamp(drive, m.imgBrakingMode, QRect(290, 18, 24, 24));
  pq::MakeLabel(drive, m.Label11, QRect(320, 20, 200, 20));

  pq::MakeMessagePanel(this, m.lbCurrentMessage, QRect(8, 178, 584, 160), 0, {})
      ->setContentsMargins(8, 4, 8, 4);

  // Enter presses the focused button: the coasting is timed with that key.
  pq::MakeButtonRow(this, {&m.Button4, &m.Button6, &m.Button7}, QRect(8, 346, 192, 30),
                    QPoint(196, 0), true);
  pq::MakeButtonRow(this, {&m.Button5, &m.Button8, &m.Button1}, QRect(8, 382, 192, 30),
                    QPoint(196, 0), true);
  pq::BindTimer(this, m.RotationTimer1);
  pq::BindTimer(this, m.DriveTimer);

  Hook(m.OnClose, [this] { close(); });
  // The lamps change while the interface thread stays busy for seconds: paint them now.
  Hook(m.OnRepaint, [this] { repaint(); });
  Hook(m.OnFocus, [this](const platform::Control& c) { FocusNamed(c.Name()); });
}

static ToolInstaller installArd([](TfrmManager& manager) {
  manager.SetLauncher(ManagerTool::Rotation, [](TfrmManager& m, const std::string&) {
    ArdView::Launch(std::make_unique<TfrmARD>(&m, [&m] { return m.CurrentImage.get(); }));
  });
  manager.SetCloser(ToolWindow::Rotation, [] { ArdView::CloseAll(); });
});

}  // namespace kvt::ui
