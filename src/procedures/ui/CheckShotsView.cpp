#include "procedures/ui/CheckShotsView.h"

#include <QApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTableWidget>

#include "app/Manager.h"
#include "app/ui/ToolRegistry.h"
#include "platform/qt/Bindings.h"

namespace kvt::ui {

namespace pq = platform::qt;

namespace {

QList<CheckShotsView*>& Views() {
  static QList<CheckShotsView*> views;
  return views;
}

template <class W, class M>
W* Named(W* w, const M& model, const QRect& where) {
  w->setObjectName(QString::fromStdString(model.Name()));
  w->setGeometry(where);
  return w;
}

QGroupBox* Group(QWidget* parent, platform::GroupBox& model, const QRect& where) {
  auto* g = Named(new QGroupBox(parent), model, where);
  pq::BindGroupBox(g, model);
  return g;
}

QPushButton* Button(QWidget* parent, platform::Button& model, const QRect& where) {
  auto* b = pq::MakeButton(parent, model, where);
  b->setAutoDefault(false);
  return b;
}

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

QLabel* VerdictLabel(QWidget* parent, platform::Label& model, const QRect& where) {
  auto* l = Named(new QLabel(parent), model, where);
  pq::BindLabel(l, model);
  return l;
}

}  // namespace

CheckShotsView::CheckShotsView(std::unique_ptr<TfrmCheckShots> model, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      model_(std::move(model)) {
  setObjectName("frmCheckShots");
  setAttribute(Qt::WA_DeleteOnClose);
  setFixedSize(796, 512);
  TfrmCheckShots& m = *model_;
  pq::BindForm(this, m.Form);

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
    QGroupBox* g = Group(this, p.group, QRect(8, y, 128, 50));
    auto* spin = Named(new QSpinBox(g), p.upDown, QRect(10, 18, 108, 24));
    pq::BindUpDown(spin, p.upDown);
    spin->installEventFilter(this);
    y += 54;
  }
  Button(this, m.btnAccept, QRect(8, y + 4, 128, 30));

  QGroupBox* shot = Group(this, m.gbShot, QRect(146, 4, 150, 56));
  Button(shot, m.btnMakeShot, QRect(10, 18, 130, 28));
  QGroupBox* automatic = Group(this, m.gbAuto, QRect(304, 4, 150, 56));
  Button(automatic, m.btnAuto, QRect(10, 18, 130, 28));
  QGroupBox* procedure = Group(this, m.gbProcedure, QRect(462, 4, 158, 56));
  Button(procedure, m.btnSaveProtocol, QRect(8, 18, 84, 28));
  Button(procedure, m.btnOK, QRect(98, 18, 52, 28));

  QGroupBox* protocol = Group(this, m.gbProtocol, QRect(146, 64, 612, 336));
  auto* table = Named(new QTableWidget(protocol), m.ShotsTable, QRect(8, 18, 596, 196));
  pq::BindStringGrid(table, m.ShotsTable);
  table->setItemDelegate(new MarkDelegate(m, table));
  // Under the table: the verdict of each quantity, the reproducibility, the overall verdict.
  VerdictLabel(protocol, m.lbVerdictUa, QRect(8, 218, 596, 18));
  VerdictLabel(protocol, m.lbVerdictIa, QRect(8, 236, 596, 18));
  VerdictLabel(protocol, m.lbVerdictT, QRect(8, 254, 596, 18));
  VerdictLabel(protocol, m.lbVerdictRepeat, QRect(8, 272, 596, 24));
  VerdictLabel(protocol, m.lbVerdict, QRect(8, 300, 370, 28));
  Button(protocol, m.btnSavePdf, QRect(394, 298, 210, 30));
  auto* gauge = Named(new QProgressBar(this), m.WaitIndikator, QRect(766, 70, 22, 330));
  gauge->setOrientation(Qt::Vertical);
  gauge->setTextVisible(false);
  pq::BindGauge(gauge, m.WaitIndikator);

  auto* message = Named(new QLabel(this), m.lbCurrentMessage, QRect(8, 406, 780, 100));
  message->setFrameShape(QFrame::Panel);
  message->setFrameShadow(QFrame::Sunken);
  message->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  message->setMargin(6);
  pq::BindLabel(message, m.lbCurrentMessage);

  m.OnFocus = [this](const std::string& control) {
    if (auto* w = findChild<QWidget*>(QString::fromStdString(control))) w->setFocus();
  };
  m.OnClose = [this] { close(); };
  Views().append(this);
}

CheckShotsView::~CheckShotsView() {
  Views().removeAll(this);
  model_->OnFocus = nullptr;
  model_->OnClose = nullptr;
  // The widgets go first; the model then waits for a shot under way and asks about the protocol.
  qDeleteAll(findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
  model_.reset();
}

bool CheckShotsView::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && model_->ParameterKeyPress('\r'))
      return true;
  }
  return QWidget::eventFilter(watched, event);
}

void CheckShotsView::PlaceAtTopLeft() {
  QScreen* s = screen() ? screen() : QApplication::primaryScreen();
  if (s) move(s->geometry().topLeft());
}

QList<CheckShotsView*> CheckShotsView::OpenViews() {
  return Views();
}

void CheckShotsView::CloseAll() {
  const QList<CheckShotsView*> views = Views();
  for (CheckShotsView* v : views) delete v;
}

void OpenCheckShotsWindow(TfrmManager& manager) {
  auto model = std::make_unique<TfrmCheckShots>(&manager, [&manager] { return manager.ImageDir; });
  auto* view = new CheckShotsView(std::move(model));
  view->show();
  view->PlaceAtTopLeft();
  view->Model().FormCreate();
}

static ToolInstaller installCheckShots([](TfrmManager& manager) {
  manager.SetLauncher(ManagerTool::CheckShots,
                      [](TfrmManager& m, const std::string&) { OpenCheckShotsWindow(m); });
  manager.SetCloser(ToolWindow::CheckShots, [] { CheckShotsView::CloseAll(); });
});

}  // namespace kvt::ui
