#include "procedures/ui/AmcK4View.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

#include "app/Manager.h"
#include "app/ui/ToolRegistry.h"

namespace kvt::ui {

AmcK4View::AmcK4View(std::unique_ptr<TfrmAMC_K4> model, QWidget* parent)
    : ToolWindow(std::move(model), "frmAMC_K4", QSize(608, 392), parent) {
  TfrmAMC_K4& m = Model();

  QGroupBox* control = pq::MakeGroup(this, m.gbControl, QRect(8, 4, 592, 60));
  pq::MakeLabel(control, m.lbUmin, QRect(12, 24, 40, 24));
  QLineEdit* umin = pq::MakeEdit(control, m.edUmin, QRect(52, 24, 56, 24), Qt::AlignRight);
  pq::MakeLabel(control, m.lbUmax, QRect(124, 24, 40, 24));
  QLineEdit* umax = pq::MakeEdit(control, m.edUmax, QRect(164, 24, 56, 24), Qt::AlignRight);
  pq::MakeButtonRow(control, {&m.btnCal1, &m.btnCal2}, QRect(236, 22, 98, 28), QPoint(104, 0));
  pq::MakePushButton(control, m.btnAccept, QRect(444, 22, 140, 28));

  for (int p = 0; p < 3; ++p) {
    QGroupBox* g = pq::MakeGroup(this, m.Channel(p), QRect(8 + p * 200, 70, 192, 100));
    pq::MakeLabel(g, m.lbColumnA, QRect(96, 16, 44, 18))->setAlignment(Qt::AlignCenter);
    pq::MakeLabel(g, m.lbColumnB, QRect(142, 16, 44, 18))->setAlignment(Qt::AlignCenter);
    pq::MakeLabel(g, m.lbRowCodes, QRect(6, 38, 90, 24));
    pq::MakeLabel(g, m.lbRowCoefficients, QRect(6, 68, 90, 24));
    pq::MakeEdit(g, m.CodeMin(p), QRect(96, 38, 44, 24), Qt::AlignRight);
    pq::MakeEdit(g, m.CodeMax(p), QRect(142, 38, 44, 24), Qt::AlignRight);
    pq::MakeEdit(g, m.CoefA(p), QRect(96, 68, 44, 24), Qt::AlignRight);
    pq::MakeEdit(g, m.CoefB(p), QRect(142, 68, 44, 24), Qt::AlignRight);
  }

  QGroupBox* measured = pq::MakeGroup(this, m.gbMeasured, QRect(8, 176, 592, 56));
  for (int p = 0; p < 3; ++p) {
    pq::MakeLabel(measured, m.MeasuredName(p), QRect(24 + p * 200, 22, 30, 24));
    QLabel* value = pq::MakeLabel(measured, m.Measured(p), QRect(56 + p * 200, 22, 70, 24));
    value->setAlignment(Qt::AlignCenter);
    value->setFrameShape(QFrame::StyledPanel);
  }

  pq::MakeMessagePanel(this, m.lbCurrentInfo, QRect(8, 240, 592, 144));

  pq::BindTimer(this, m.MUTimer);
  OnEnter(umin, [&m] { return m.edUminKeyPress('\r'); });
  OnEnter(umax, [&m] { return m.edUmaxKeyPress('\r'); });
  Hook(m.OnFocus, [this](const std::string& control) { FocusNamed(control); });
}

void AmcK4View::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

static ToolInstaller installAmcK4([](TfrmManager& manager) {
  manager.SetLauncher(ManagerTool::MeasureChannelsK4, [](TfrmManager& m, const std::string&) {
    auto* view =
        new AmcK4View(std::make_unique<TfrmAMC_K4>(&m, [&m] { return m.CurrentImage.get(); }));
    view->PlaceAtTopLeft();
    view->show();
    view->Model().FormShow();
  });
  manager.SetCloser(ToolWindow::MeasureChannelsK4, [] { AmcK4View::CloseAll(); });
});

}  // namespace kvt::ui
