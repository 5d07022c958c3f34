#include "procedures/ui/AmcView.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

#include "app/Manager.h"
#include "app/ui/ToolRegistry.h"
#include "image/MemoryImage.h"

namespace kvt::ui {

namespace {

// One channel's values: measured, control and coefficient, each under its caption. Returns the
// control value's spin box.
QSpinBox* ChannelValues(QWidget* group, int y, platform::Label& measureCaption,
                        platform::Edit& measure, platform::Label& controlCaption,
                        platform::UpDown& control, platform::Label& coefficientCaption,
                        platform::UpDown& coefficient) {
  pq::MakeCaptioned(group, measureCaption, pq::MakeEdit(group, measure, {}), QRect(8, y, 112, 42),
                    100);
  QSpinBox* spin = pq::MakeSpin(group, control, {});
  pq::MakeCaptioned(group, controlCaption, spin, QRect(128, y, 112, 42), 100);
  pq::MakeCaptioned(group, coefficientCaption, pq::MakeSpin(group, coefficient, {}),
                    QRect(248, y, 112, 42), 100);
  return spin;
}

}  // namespace

AmcView::AmcView(std::unique_ptr<TfrmAMC> model, QWidget* parent)
    : ToolWindow(std::move(model), "frmAMC", QSize(600, 612), parent) {
  TfrmAMC& m = Model();

  QGroupBox* mains = pq::MakeGroup(this, m.gbMains, QRect(8, 4, 584, 100));
  QSpinBox* udControl = ChannelValues(mains, 22, m.lbUdMeasure, m.edUdMeasure, m.lbUdControl,
                                      m.udUdControl, m.lbKMES, m.udKMES);
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
  QSpinBox* uaControl = ChannelValues(anode, 312, m.lbUaMeasure, m.edUaMeasure, m.lbUaControl,
                                      m.udUaControl, m.lbKUAN, m.udKUAN);
  pq::MakeButtonRow(anode, {&m.btnUaCalibrate, &m.btnUaCalibrateOK}, QRect(382, 310, 190, 30),
                    QPoint(0, 36));

  QLabel* info = pq::MakeMessagePanel(this, m.lbCurrentInfo, QRect(8, 504, 584, 100));

  OnEnter(udControl, [&m] { return m.edUdControlKeyPress('\r'); });
  OnEnter(heatCode, [&m] { return m.edHeatCodeKeyPress('\r'); });
  OnEnter(uaControl, [&m] { return m.edUaControlKeyPress('\r'); });
  Hook(m.OnFocus, [this](const std::string& control) { ApplyFocus(control); });
  Hook(m.OnRepaint, [info] { info->repaint(); });
  Hook(m.OnClose, [this] { close(); });
}

void AmcView::ApplyFocus(const std::string& control) {
  QString name = QString::fromStdString(control);
  // An edit with a spinner is shown as one spin box, named after the spinner.
  if (name.startsWith("ed") && !findChild<QWidget*>(name)) name.replace(0, 2, "ud");
  FocusNamed(name.toStdString());
}

static ToolInstaller installAmc([](TfrmManager& manager) {
  manager.SetLauncher(ManagerTool::MeasureChannels, [](TfrmManager& m, const std::string&) {
    AmcView::Launch(std::make_unique<TfrmAMC>(&m, [&m] { return m.CurrentImage.get(); }));
  });
  manager.SetCloser(ToolWindow::MeasureChannels, [] { AmcView::CloseAll(); });
});

}  // namespace kvt::ui
