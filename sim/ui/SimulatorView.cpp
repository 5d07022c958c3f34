#include "sim/ui/SimulatorView.h"

#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>
#include <QSpinBox>

#include "platform/SerialPort.h"
#include "platform/qt/Bindings.h"
#include "sim/Install.h"

namespace kvt::ui {

namespace {

using pq::MakeCombo;
using pq::MakeEdit;
using pq::MakeGroup;
using pq::MakeLabel;
using pq::MakeSpin;

// A setting of the plant: its caption, then its value beside it.
void Setting(QWidget* group, platform::Label& caption, platform::UpDown& value, int y) {
  MakeLabel(group, caption, QRect(10, y, 150, 22));
  MakeSpin(group, value, QRect(170, y, 80, 22));
}

bool SimulatorMapped() {
  for (const std::string& name : platform::ListSerialPorts())
    if (platform::MapPortName(name) == "simulator") return true;
  return false;
}

}  // namespace

SimulatorView::SimulatorView(std::unique_ptr<sim::TfrmSimulator> model, QWidget* parent)
    : ToolWindow(std::move(model), parent,
                 Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                     Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint) {
  sim::TfrmSimulator& m = Model();
  // Phases B and C take two more rows on K4.
  const int extra = m.udMainsB.Visible() ? 52 : 0;
  // Closing only hides it: the main window's shortcut shows it again.
  Frame("frmSimulator", QSize(380, 396 + extra), false);
  pq::BindForm(this, m.Form);

  QGroupBox* state = MakeGroup(this, m.gbState, QRect(8, 4, 364, 138));
  pq::MakeRow(state,
              {&m.lbState, &m.lbDrive, &m.lbAnode, &m.lbFilament, &m.lbSupply, &m.lbLastShot},
              QRect(10, 18, 344, 18), QPoint(0, 20), MakeLabel);

  QGroupBox* plant = MakeGroup(this, m.gbPlant, QRect(8, 146, 364, 82 + extra));
  Setting(plant, m.lbMainsA, m.udMainsA, 22);
  Setting(plant, m.lbMainsB, m.udMainsB, 48);
  Setting(plant, m.lbMainsC, m.udMainsC, 74);
  Setting(plant, m.lbAgeing, m.udAgeing, 48 + extra);

  QGroupBox* faults = MakeGroup(this, m.gbFaults, QRect(8, 232 + extra, 364, 124));
  MakeLabel(faults, m.lbAlarmCode, QRect(10, 22, 100, 22));
  MakeEdit(faults, m.edAlarmCode, QRect(110, 22, 40, 22))->setMaxLength(2);
  pq::MakePushButton(faults, m.btnAlarm, QRect(160, 20, 100, 26));
  pq::MakePushButton(faults, m.btnClearAlarm, QRect(264, 20, 92, 26));
  MakeLabel(faults, m.lbDead, QRect(10, 56, 120, 22));
  MakeSpin(faults, m.udDeadSeconds, QRect(110, 56, 60, 22));
  pq::MakePushButton(faults, m.btnDead, QRect(180, 54, 100, 26));
  MakeLabel(faults, m.lbStator, QRect(10, 90, 100, 22));
  MakeCombo(faults, m.cbStator, QRect(110, 90, 170, 22));
  MakeLabel(this, m.lbMessage, QRect(14, 366 + extra, 352, 22));

  pq::BindTimer(this, m.RefreshTimer);
  m.FormCreate();
}

std::unique_ptr<SimulatorView> MakeSimulatorWindow(QWidget& mainWindow) {
  auto apparatus = sim::CurrentApparatus();
  if (!apparatus || !SimulatorMapped()) return nullptr;
  auto view = std::make_unique<SimulatorView>(std::make_unique<sim::TfrmSimulator>(apparatus));
  // Beside the main window (which keeps its own place at the top right).
  const QRect main = mainWindow.frameGeometry();
  view->move(std::max(0, main.x() - view->frameGeometry().width() - 8), main.y());
  view->show();
  auto* shortcut =
      new QShortcut(QKeySequence(QString::fromLatin1(sim::kSimulatorShortcut)), &mainWindow);
  shortcut->setObjectName("SimulatorShortcut");
  QObject::connect(shortcut, &QShortcut::activated, view.get(), [v = view.get()] {
    v->show();
    v->raise();
    v->activateWindow();
  });
  return view;
}

}  // namespace kvt::ui
