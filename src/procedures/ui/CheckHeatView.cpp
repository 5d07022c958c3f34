#include "procedures/ui/CheckHeatView.h"

#include <QChartView>
#include <QGroupBox>
#include <QLabel>
#include <QSpinBox>

#include "app/Manager.h"
#include "app/ui/ToolRegistry.h"

namespace kvt::ui {

CheckHeatView::CheckHeatView(std::unique_ptr<TfrmCheckHeat> model, QWidget* parent)
    : ToolWindow(std::move(model), "frmCheckHeat", QSize(640, 480), parent) {
  TfrmCheckHeat& m = Model();

  QGroupBox* plot = pq::MakeGroup(this, m.GroupBox1, QRect(8, 6, 412, 340));
  pq::MakeChart(plot, m.Chart1, QRect(6, 18, 400, 288));
  pq::MakeLabel(plot, m.Label2, QRect(12, 312, 120, 22));
  QLabel* deviation = pq::MakeLabel(plot, m.Label3, QRect(134, 312, 40, 22));
  deviation->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  QFont bold = deviation->font();
  bold.setBold(true);
  deviation->setFont(bold);
  pq::MakeLabel(plot, m.Label4, QRect(178, 312, 20, 22));

  // Enter presses the focused button.
  pq::MakePushButton(this, m.Button1, QRect(430, 14, 200, 30), true);
  pq::MakeButtonRow(this, {&m.Button2, &m.Button3, &m.Button4, &m.Button5}, QRect(430, 52, 200, 30),
                    QPoint(0, 36), true);
  pq::MakeLabel(this, m.Label1, QRect(430, 200, 200, 18));
  QSpinBox* code = pq::MakeSpin(this, m.udHeatCode, QRect(430, 220, 110, 26));
  code->setAlignment(Qt::AlignRight);
  OnEnter(code, [code, &m] {
    // The typed number becomes the position first, then the code is applied.
    code->interpretText();
    m.Edit1KeyPress('\r');
    return true;
  });
  pq::MakeCheck(this, m.BackLink, QRect(430, 258, 200, 22));
  pq::MakeCheck(this, m.ProgCorrection, QRect(430, 284, 200, 22));
  pq::MakePushButton(this, m.Button6, QRect(430, 316, 200, 30), true);

  QLabel* info = pq::MakeMessagePanel(this, m.lbCurrentInfo, QRect(8, 354, 624, 118), 0);
  info->setFrameShape(QFrame::StyledPanel);
  info->setContentsMargins(6, 0, 6, 4);

  Hook(m.OnClose, [this] { close(); });
  Hook(m.OnFocus, [this](const platform::Control& c) { FocusNamed(c.Name()); });
}

static ToolInstaller installCheckHeat([](TfrmManager& manager) {
  manager.SetLauncher(ManagerTool::HeatCheck, [](TfrmManager& m, const std::string&) {
    CheckHeatView::Launch(
        std::make_unique<TfrmCheckHeat>(&m, [&m] { return m.CurrentImage.get(); }));
  });
  manager.SetCloser(ToolWindow::HeatCheck, [] { CheckHeatView::CloseAll(); });
});

}  // namespace kvt::ui
