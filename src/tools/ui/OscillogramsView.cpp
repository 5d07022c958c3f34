#include "tools/ui/OscillogramsView.h"

#include <QChartView>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>

#include "app/Manager.h"
#include "app/ui/ToolRegistry.h"

namespace kvt::ui {

namespace {

// The effective values in a larger face (the weight is the model's).
void Enlarge(QLabel* label) {
  QFont font = label->font();
  font.setPointSize(font.pointSize() + 4);
  label->setFont(font);
}

}  // namespace

OscillogramsView::OscillogramsView(std::unique_ptr<TfrmOscillograms> model, QWidget* parent)
    : ToolWindow(std::move(model), "frmOscillograms", QSize(608, 560), parent) {
  TfrmOscillograms& m = Model();

  QGroupBox* gbVoltage = pq::MakeGroup(this, m.GroupBox1, QRect(8, 4, 592, 222));
  pq::MakeChart(gbVoltage, m.chartVoltage, pq::InsideGroup(gbVoltage), pq::ChartLook::Scope);
  QGroupBox* gbCurrent = pq::MakeGroup(this, m.GroupBox2, QRect(8, 230, 592, 222));
  pq::MakeChart(gbCurrent, m.chartCurrent, pq::InsideGroup(gbCurrent), pq::ChartLook::Scope);

  QGroupBox* gbValues = pq::MakeGroup(this, m.GroupBox3, QRect(8, 456, 340, 96));
  Enlarge(pq::MakeLabel(gbValues, m.Label1, QRect(16, 22, 40, 30)));
  Enlarge(pq::MakeLabel(gbValues, m.Label3, QRect(60, 22, 100, 30)));
  Enlarge(pq::MakeLabel(gbValues, m.Label2, QRect(16, 56, 40, 30)));
  Enlarge(pq::MakeLabel(gbValues, m.Label4, QRect(60, 56, 100, 30)));

  QGroupBox* gbActions = pq::MakeGroup(this, m.GroupBox4, QRect(356, 456, 244, 96));
  pq::MakeButtonRow(gbActions, {&m.btnOpen, &m.btnSave}, QRect(16, 24, 212, 27), QPoint(0, 34));
}

// The windows belong to the main window, which closes them with itself.
static ToolInstaller installOscillograms([](MainWindowParts& parts) {
  TfrmManager& manager = parts.Manager();
  manager.SetLauncher(ManagerTool::Oscillograms, [owner = QPointer<QWidget>(parts.Owner())](
                                                     TfrmManager& m, const std::string&) {
    auto model = std::make_unique<TfrmOscillograms>(&m, [&m] { return m.ImageDir; });
    OscillogramsView::ShowAtTopLeft(new OscillogramsView(std::move(model), owner));
  });
  manager.SetCloser(ToolWindow::Oscillograms, [] { OscillogramsView::CloseAll(); });
});

}  // namespace kvt::ui
