#include "procedures/ui/AmcView.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

#include "app/Manager.h"
#include "app/ui/ToolRegistry.h"
#include "image/MemoryImage.h"
#include "platform/qt/Bindings.h"

namespace kvt::ui {

namespace pq = platform::qt;

AmcView::AmcView(std::unique_ptr<TfrmAMC> model, QWidget* parent)
    : ToolWindow(std::move(model), parent) {
  Frame("frmAMC", QSize(600, 612));
  TfrmAMC& m = Model();
  pq::BindForm(this, m.Form);

  // Three values per channel, each caption above its field.
  QGroupBox* mains = pq::MakeGroup(this, m.gbMains, QRect(8, 4, 584, 100));
  pq::MakeCaptioned(mains, m.lbUdMeasure, pq::MakeEdit(mains, m.edUdMeasure, {}),
                    QRect(8, 22, 112, 42), 100);
  QSpinBox* udControl = pq::MakeSpin(mains, m.udUdControl, {});
  pq::MakeCaptioned(mains, m.lbUdControl, udControl, QRect(128, 22, 112, 42), 100);
  pq::MakeCaptioned(mains, m.lbKMES, pq::MakeSpin(mains, m.udKMES, {}), QRect(248, 22, 112, 42),
                    100);
  pq::MakeButtonRow(mains, {&m.btnUdCalibrate, &m.btnUdCalibrateOK}, QRect(382, 22, 190, 30),
                    QPoint(0, 36));

  QGroupBox* anode = pq::MakeGroup(this, m.gbAnode, QRect(8, 108, 584, 390));
  pq::MakePushButton(anode, m.btnMakeSnapshot, QRect(12, 26, 170, 30));
  QGroupBox* params = pq::MakeGroup(anode, m.gbShotParameters, QRect(192, 14, 380, 48));
  pq::MakeLabel(params, m.lbHeatCode, QRect(10, 20, 84, 20));
  QSpinBox* heatCode = pq::MakeSpin(params, m.udHeatCode, QRect(96, 18, 70, 24));
  pq::MakeLabel(params, m.lbDuration, QRect(190, 20, 180, 20));
  // The lime curve is drawn on a dark screen, as an oscilloscope shows it.
  QGroupBox* chartGroup = pq::MakeGroup(anode, m.gbChart, QRect(12, 66, 560, 236));
  pq::MakeChart(chartGroup, m.Chart1, QRect(6, 18, 548, 212), pq::ChartLook::Scope);
  pq::MakeCaptioned(anode, m.lbUaMeasure, pq::MakeEdit(anode, m.edUaMeasure, {}),
                    QRect(8, 312, 112, 42), 100);
  QSpinBox* uaControl = pq::MakeSpin(anode, m.udUaControl, {});
  pq::MakeCaptioned(anode, m.lbUaControl, uaControl, QRect(128, 312, 112, 42), 100);
  pq::MakeCaptioned(anode, m.lbKUAN, pq::MakeSpin(anode, m.udKUAN, {}), QRect(248, 312, 112, 42),
                    100);
  pq::MakeButtonRow(anode, {&m.btnUaCalibrate, &m.btnUaCalibrateOK}, QRect(382, 310, 190, 30),
                    QPoint(0, 36));

  QLabel* info = pq::MakeMessagePanel(this, m.lbCurrentInfo, QRect(8, 504, 584, 100));

  OnEnter(udControl, [&m] { return m.edUdControlKeyPress('\r'); });
  OnEnter(heatCode, [&m] { return m.edHeatCodeKeyPress('\r'); });
  OnEnter(uaControl, [&m] { return m.edUaControlKeyPress('\r'); });
  m.OnFocus = [this](const std::string& control) { ApplyFocus(control); };
  m.OnRepaint = [info] { info->repaint(); };
  m.OnClose = [this] { close(); };
}

AmcView::~AmcView() {
  Model().OnFocus = nullptr;
  Model().OnRepaint = nullptr;
  Model().OnClose = nullptr;
}

void AmcView::ApplyFocus(const std::string& control) {
  QString name = QString::fromStdString(control);
  // An edit with a spinner is shown as one spin box, named after the spinner.
  if (name.startsWith("ed") && !findChild<QWidget*>(name)) name.replace(0, 2, "ud");
  FocusNamed(name.toStdString());
}

void OpenAmcWindow(TfrmManager& manager) {
  auto model =
      std::make_unique<TfrmAMC>(&manager, [&manager] { return manager.CurrentImage.get(); });
  auto* view = new AmcView(std::move(model));
  view->show();
  view->PlaceAtTopLeft();
  view->Model().FormCreate();
}

static ToolInstaller installAmc([](TfrmManager& manager) {
  manager.SetLauncher(ManagerTool::MeasureChannels,
                      [](TfrmManager& m, const std::string&) { OpenAmcWindow(m); });
  manager.SetCloser(ToolWindow::MeasureChannels, [] { AmcView::CloseAll(); });
});

}  // namespace kvt::ui
