#include "sim/ui/SimulatorView.h"

#include <QComboBox>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>

#include "platform/SerialPort.h"
#include "platform/qt/Bindings.h"
#include "sim/Install.h"

namespace kvt::ui {

namespace pq = platform::qt;

namespace {

QLabel* MakeLabel(QWidget* parent, platform::Label& model, const QRect& where) {
  auto* l = new QLabel(parent);
  l->setObjectName(QString::fromStdString(model.Name()));
  l->setGeometry(where);
  pq::BindLabel(l, model);
  return l;
}

QSpinBox* MakeSpin(QWidget* parent, platform::UpDown& model, const QRect& where) {
  auto* s = new QSpinBox(parent);
  s->setObjectName(QString::fromStdString(model.Name()));
  s->setGeometry(where);
  pq::BindUpDown(s, model);
  return s;
}

QGroupBox* MakeGroup(QWidget* parent, platform::GroupBox& model, const QRect& where) {
  auto* g = new QGroupBox(parent);
  g->setObjectName(QString::fromStdString(model.Name()));
  g->setGeometry(where);
  pq::BindGroupBox(g, model);
  return g;
}

QPushButton* MakeButton(QWidget* parent, platform::Button& model, const QRect& where) {
  auto* b = pq::MakeButton(parent, model, where);
  b->setAutoDefault(false);
  return b;
}

bool SimulatorMapped() {
  for (const std::string& name : platform::ListSerialPorts())
    if (platform::MapPortName(name) == "simulator") return true;
  return false;
}

}  // namespace

SimulatorView::SimulatorView(std::unique_ptr<sim::TfrmSimulator> model, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      model_(std::move(model)) {
  setObjectName("frmSimulator");
  sim::TfrmSimulator& m = *model_;
  // Phases B and C take two more rows on K4.
  const int extra = m.udMainsB.Visible() ? 52 : 0;
  setFixedSize(380, 396 + extra);
  pq::BindForm(this, m.Form);

  QGroupBox* state = MakeGroup(this, m.gbState, QRect(8, 4, 364, 138));
  MakeLabel(state, m.lbState, QRect(10, 18, 344, 18));
  MakeLabel(state, m.lbDrive, QRect(10, 38, 344, 18));
  MakeLabel(state, m.lbAnode, QRect(10, 58, 344, 18));
  MakeLabel(state, m.lbFilament, QRect(10, 78, 344, 18));
  MakeLabel(state, m.lbSupply, QRect(10, 98, 344, 18));
  MakeLabel(state, m.lbLastShot, QRect(10, 118, 344, 18));

  QGroupBox* plant = MakeGroup(this, m.gbPlant, QRect(8, 146, 364, 82 + extra));
  MakeLabel(plant, m.lbMainsA, QRect(10, 22, 150, 22));
  MakeSpin(plant, m.udMainsA, QRect(170, 22, 80, 22));
  MakeLabel(plant, m.lbMainsB, QRect(10, 48, 150, 22));
  MakeSpin(plant, m.udMainsB, QRect(170, 48, 80, 22));
  MakeLabel(plant, m.lbMainsC, QRect(10, 74, 150, 22));
  MakeSpin(plant, m.udMainsC, QRect(170, 74, 80, 22));
  MakeLabel(plant, m.lbAgeing, QRect(10, 48 + extra, 150, 22));
  MakeSpin(plant, m.udAgeing, QRect(170, 48 + extra, 80, 22));

  QGroupBox* faults = MakeGroup(this, m.gbFaults, QRect(8, 232 + extra, 364, 124));
  MakeLabel(faults, m.lbAlarmCode, QRect(10, 22, 100, 22));
  auto* code = new QLineEdit(faults);
  code->setObjectName("edAlarmCode");
  code->setGeometry(110, 22, 40, 22);
  code->setMaxLength(2);
  pq::BindEdit(code, m.edAlarmCode);
  MakeButton(faults, m.btnAlarm, QRect(160, 20, 100, 26));
  MakeButton(faults, m.btnClearAlarm, QRect(264, 20, 92, 26));
  MakeLabel(faults, m.lbDead, QRect(10, 56, 120, 22));
  MakeSpin(faults, m.udDeadSeconds, QRect(110, 56, 60, 22));
  MakeButton(faults, m.btnDead, QRect(180, 54, 100, 26));
  MakeLabel(faults, m.lbStator, QRect(10, 90, 100, 22));
  auto* stator = new QComboBox(faults);
  stator->setObjectName("cbStator");
  stator->setGeometry(110, 90, 170, 22);
  pq::BindComboBox(stator, m.cbStator);
  MakeLabel(this, m.lbMessage, QRect(14, 366 + extra, 352, 22));

  pq::BindTimer(this, m.RefreshTimer);
  m.FormCreate();
}

SimulatorView::~SimulatorView() = default;

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
