#include "procedures/ui/CheckShotsView.h"

#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTableWidget>

#include "app/Manager.h"
#include "app/ui/ToolRegistry.h"

namespace kvt::ui {

namespace {

// Paints the deviation cells green or red as the model judges them.
class MarkDelegate : public QStyledItemDelegate {
 public:
  MarkDelegate(const TfrmCheckShots& model, QObject* parent)
      : QStyledItemDelegate(parent), model_(model) {}

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    switch (model_.CellMark(index.column(), index.row())) {
      case TfrmCheckShots::Mark::In:
        option->backgroundBrush = QColor(0xC8, 0xF0, 0xC8);
        option->palette.setColor(QPalette::Text, QColor(0x00, 0x70, 0x00));
        break;
      case TfrmCheckShots::Mark::Out:
        option->backgroundBrush = QColor(0xFF, 0xC8, 0xC8);
        option->palette.setColor(QPalette::Text, QColor(0xC0, 0x00, 0x00));
        break;
      case TfrmCheckShots::Mark::None:
        break;
    }
  }

 private:
  const TfrmCheckShots& model_;
};

}  // namespace

CheckShotsView::CheckShotsView(std::unique_ptr<TfrmCheckShots> model, QWidget* parent)
    : ToolWindow(std::move(model), "frmCheckShots", QSize(796, 512), parent) {
  TfrmCheckShots& m = Model();

  // The parameters, one group each, down the left side.
  struct Parameter {
    platform::GroupBox& group;
    platform::UpDown& upDown;
  };
  const Parameter parameters[] = {{m.gbUmin, m.udUmin},
                                  {m.gbUmax, m.udUmax},
                                  {m.gbUstep, m.udUstep},
                                  {m.gbExposure, m.udExposure},
                                  {m.gbIa, m.udIa}};
  int y = 4;
  for (const Parameter& p : parameters) {
    QGroupBox* g = pq::MakeGroup(this, p.group, QRect(8, y, 128, 50));
    OnEnter(pq::MakeSpin(g, p.upDown, QRect(10, 18, 108, 24)),
            [&m] { return m.ParameterKeyPress('\r'); });
    y += 54;
  }
  pq::MakePushButton(this, m.btnAccept, QRect(8, y + 4, 128, 30));

  // A shot and the automatic series, one button in a group each.
  for (auto [group, button, x] :
       {std::tuple{&m.gbShot, &m.btnMakeShot, 146}, {&m.gbAuto, &m.btnAuto, 304}})
    pq::MakePushButton(pq::MakeGroup(this, *group, QRect(x, 4, 150, 56)), *button,
                       QRect(10, 18, 130, 28));
  QGroupBox* procedure = pq::MakeGroup(this, m.gbProcedure, QRect(462, 4, 158, 56));
  pq::MakePushButton(procedure, m.btnSaveProtocol, QRect(8, 18, 84, 28));
  pq::MakePushButton(procedure, m.btnOK, QRect(98, 18, 52, 28));

  QGroupBox* protocol = pq::MakeGroup(this, m.gbProtocol, QRect(146, 64, 612, 336));
  QTableWidget* table = pq::MakeGrid(protocol, m.ShotsTable, QRect(8, 18, 596, 196));
  table->setItemDelegate(new MarkDelegate(m, table));
  // Under the table: the verdict of each quantity, the reproducibility, the overall verdict.
  pq::MakeLabel(protocol, m.lbVerdictUa, QRect(8, 218, 596, 18));
  pq::MakeLabel(protocol, m.lbVerdictIa, QRect(8, 236, 596, 18));
  pq::MakeLabel(protocol, m.lbVerdictT, QRect(8, 254, 596, 18));
  pq::MakeLabel(protocol, m.lbVerdictRepeat, QRect(8, 272, 596, 24));
  pq::MakeLabel(protocol, m.lbVerdict, QRect(8, 300, 370, 28));
  pq::MakePushButton(protocol, m.btnSavePdf, QRect(394, 298, 210, 30));
  pq::MakeGauge(this, m.WaitIndikator, QRect(766, 70, 22, 330), Qt::Vertical);

  QLabel* message = pq::MakeMessagePanel(this, m.lbCurrentMessage, QRect(8, 406, 780, 100));
  message->setFrameShape(QFrame::Panel);
  message->setFrameShadow(QFrame::Sunken);

  Hook(m.OnFocus, [this](const std::string& control) { FocusNamed(control); });
  Hook(m.OnClose, [this] { close(); });
}

static ToolInstaller installCheckShots([](TfrmManager& manager) {
  manager.SetLauncher(ManagerTool::CheckShots, [](TfrmManager& m, const std::string&) {
    CheckShotsView::Launch(std::make_unique<TfrmCheckShots>(&m, [&m] { return m.ImageDir; }));
  });
  manager.SetCloser(ToolWindow::CheckShots, [] { CheckShotsView::CloseAll(); });
});

}  // namespace kvt::ui
