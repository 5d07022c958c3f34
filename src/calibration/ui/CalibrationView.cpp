#include "calibration/ui/CalibrationView.h"

#include <QAction>
#include <QChart>
#include <QChartView>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>

#include "app/Manager.h"
#include "app/ui/ToolRegistry.h"
#include "calibration/ui/CalibrationK3View.h"
#include "platform/qt/Bindings.h"

namespace kvt::ui {

namespace {

using pq::MakeCombo;
using pq::MakeGroup;
using pq::MakeLabel;
using pq::MakeSpin;

// Rows of 15 pixels as the tables are laid out; the columns come from the model.
QTableWidget* MakeGrid(QWidget* parent, platform::StringGrid& model, const QRect& where) {
  auto* t = pq::Named(new QTableWidget(parent), model, where);
  QFont f = t->font();
  f.setPixelSize(11);
  t->setFont(f);
  t->verticalHeader()->setMinimumSectionSize(15);
  t->verticalHeader()->setDefaultSectionSize(15);
  t->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  t->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  pq::BindStringGrid(t, model);
  return t;
}

// Bright green and red curves read best on the dark plot area; small titles.
QChartView* MakeChart(QWidget* parent, platform::Chart& model, const QRect& where) {
  QChartView* view = pq::MakeChart(parent, model, where, pq::ChartLook::Scope);
  QFont title = view->chart()->titleFont();
  title.setPointSize(8);
  view->chart()->setTitleFont(title);
  return view;
}

// A right-click menu made of the model's items (captions and enabling as they are now).
void AttachMenu(QWidget* widget, std::vector<platform::Button*> items) {
  widget->setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(widget, &QWidget::customContextMenuRequested, widget,
                   [widget, items](const QPoint& at) {
                     QMenu menu(widget);
                     for (platform::Button* item : items) {
                       QAction* a = menu.addAction(QString::fromStdString(item->Caption()));
                       a->setObjectName(QString::fromStdString(item->Name()));
                       a->setEnabled(item->Enabled());
                       QObject::connect(a, &QAction::triggered, widget, [item] { item->Click(); });
                     }
                     menu.exec(widget->mapToGlobal(at));
                   });
}

}  // namespace

CalibrationView::CalibrationView(std::unique_ptr<TfrmCalibration> model, QWidget* parent)
    : ToolWindow(std::move(model), parent) {
  TfrmCalibration& m = Model();
  Frame(m.K3() ? "frmCalibrationK3" : "frmCalibration", QSize(527, 545));
  pq::BindForm(this, m.Form);

  auto* pages = new QTabWidget(this);
  pages->setObjectName("CalPages");
  pages->setGeometry(0, 0, 527, 545);
  const std::vector<QWidget*> built = pq::AddPages(pages, m.CalPages);
  BuildTables(built[TfrmCalibration::pgTables]);
  BuildProcedure(built[TfrmCalibration::pgProcedure]);
  BuildGraphs(built[TfrmCalibration::pgGraph]);
  BuildOptions(built[TfrmCalibration::pgOptions]);
  pq::BindPageControl(pages, m.CalPages);

  Hook(m.OnCloseRequest, [this] { close(); });
}

void CalibrationView::BuildTables(QWidget* page) {
  TfrmCalibration& m = Model();
  auto* info = MakeGroup(page, m.GroupBox1, QRect(4, 2, 511, 72));
  // Caption, value and unit of the range's three figures, one line each; the values close to
  // their captions, so that the button's longer line has room.
  const QPoint down(0, 17);
  pq::MakeRow(info, {&m.Label1, &m.Label2, &m.Label3}, QRect(10, 16, 280, 16), down, MakeLabel);
  for (QLabel* value :
       pq::MakeRow(info, {&m.MinUv, &m.MaxUv, &m.StepUv}, QRect(292, 16, 30, 16), down, MakeLabel))
    value->setAlignment(Qt::AlignRight);
  pq::MakeRow(info, {&m.Label4, &m.Label5, &m.Label6}, QRect(326, 16, 22, 16), down, MakeLabel);
  pq::MakePushButton(info, m.btnSavePdf, QRect(352, 16, 152, 48));

  // Types K3 and K4 have no resistance table: the calibration tables stand in the middle.
  const bool k3 = m.K3();
  const QRect table = k3 ? QRect(73, 16, 364, 192) : QRect(6, 16, 364, 192);
  auto* source = MakeGroup(page, m.GroupBox2, QRect(4, 76, 511, 214));
  auto* sc = MakeGroup(source, m.GroupBox3, table);
  MakeGrid(sc, m.SourceCTable, QRect(6, 16, 352, 170));
  if (!k3) {
    auto* sr = MakeGroup(source, m.GroupBox4, QRect(374, 16, 131, 192));
    MakeGrid(sr, m.SourceRTable, QRect(6, 16, 119, 170));
  }

  auto* results = MakeGroup(page, m.GroupBox5, QRect(4, 292, 511, 214));
  auto* nc = MakeGroup(results, m.GroupBox6, table);
  std::vector<QWidget*> newTables{MakeGrid(nc, m.NewCTable, QRect(6, 16, 352, 170))};
  if (!k3) {
    auto* nr = MakeGroup(results, m.GroupBox7, QRect(374, 16, 131, 192));
    newTables.push_back(MakeGrid(nr, m.NewRTable, QRect(6, 16, 119, 170)));
  }
  for (QWidget* w : newTables) {
    w->setToolTip(QString::fromUtf8(TfrmCalibration::kMenuHint));
    AttachMenu(w, {&m.N4, &m.N5});
  }
}

void CalibrationView::BuildProcedure(QWidget* page) {
  TfrmCalibration& m = Model();
  auto* bounds = MakeGroup(page, m.GroupBox8, QRect(4, 2, 511, 46));
  MakeLabel(bounds, m.Label7, QRect(10, 20, 50, 18));
  MakeCombo(bounds, m.StartUv, QRect(62, 16, 70, 24));
  MakeLabel(bounds, m.Label8, QRect(150, 20, 55, 18));
  MakeCombo(bounds, m.FinishUv, QRect(206, 16, 70, 24));
  pq::MakePushButton(bounds, m.btnAcceptInterval, QRect(400, 15, 100, 26));

  auto* shots = MakeGroup(page, m.ShotsBox, QRect(4, 50, 511, 128));
  auto* log = MakeGrid(shots, m.ShotsTable, QRect(6, 16, 499, 106));
  log->setSelectionBehavior(QAbstractItemView::SelectRows);
  // Type K2 also offers the grid sweep once the tables are computed.
  if (m.K3())
    AttachMenu(log, {&m.N1, &m.N2, &m.N3});
  else
    AttachMenu(log, {&m.N1, &m.N2, &m.N3, &m.N6});

  auto* control = MakeGroup(page, m.GroupBox9, QRect(4, 180, 511, 66));
  auto* gauge = pq::MakeGauge(control, m.WaitIndikator, QRect(8, 14, 14, 46), Qt::Vertical);
  gauge->setStyleSheet("QProgressBar::chunk { background: red; }");
  auto* code = MakeGroup(control, m.GroupBox10, QRect(28, 10, 104, 50));
  MakeSpin(code, m.udCurrentNakal, QRect(8, 18, 88, 24));
  auto* shot = MakeGroup(control, m.GroupBox11, QRect(138, 10, 112, 50));
  pq::MakePushButton(shot, m.btnMakeShot, QRect(8, 18, 96, 25));
  auto* autoBox = MakeGroup(control, m.GroupBox12, QRect(256, 10, 112, 50));
  pq::MakePushButton(autoBox, m.btnAuto, QRect(8, 18, 96, 25));
  auto* proc = MakeGroup(control, m.GroupBox13, QRect(374, 10, 131, 50));
  pq::MakePushButton(proc, m.Button2, QRect(6, 18, 62, 25));
  pq::MakePushButton(proc, m.btnOK, QRect(72, 18, 52, 25));

  // The K3 message is a little larger (it may add a warning about the table's currents, or name
  // the columns the computation kept).
  const int oscHeight = m.K3() ? 146 : 176;
  auto* osc = MakeGroup(page, m.OscilBox, QRect(4, 248, 511, oscHeight));
  MakeChart(osc, m.ChartUa, QRect(6, 16, 248, oscHeight - 22));
  MakeChart(osc, m.ChartIa, QRect(257, 16, 248, oscHeight - 22));

  auto* message = MakeLabel(page, m.lbCurrentMessage,
                            m.K3() ? QRect(2, 396, 515, 117) : QRect(4, 426, 511, 86));
  message->setAlignment(Qt::AlignCenter);
  message->setWordWrap(true);
}

void CalibrationView::BuildGraphs(QWidget* page) {
  TfrmCalibration& m = Model();
  auto* inner = new QTabWidget(page);
  inner->setObjectName("PageControl1");
  inner->setGeometry(2, 2, 515, 510);
  const std::vector<QWidget*> sheets = pq::AddPages(inner, m.PageControl1);
  if (!m.K3()) {
    auto* src = MakeGroup(sheets[0], m.GroupBox14, QRect(4, 4, 501, 234));
    MakeChart(src, m.Chart3, QRect(6, 16, 489, 212));
    auto* calc = MakeGroup(sheets[0], m.GroupBox15, QRect(4, 242, 501, 234));
    MakeChart(calc, m.Chart1, QRect(6, 16, 489, 212));
    MakeChart(sheets[1], m.Chart2, QRect(4, 4, 501, 472));
  }

  // The family of characteristics is the last sheet in both variants.
  QWidget* family = sheets.back();
  MakeChart(family, m.Chart4, QRect(4, 4, 501, 386));
  auto* modes = MakeGroup(family, m.GroupBox16, QRect(4, 394, 200, 82));
  int y = 18;
  for (platform::RadioButton* r : {&m.RadioButton1, &m.RadioButton2, &m.RadioButton3}) {
    pq::MakeRadio(modes, *r, QRect(10, y, 180, 20));
    y += 20;
  }
  auto* manual = MakeGroup(family, m.GroupBox17, QRect(210, 394, 295, 82));
  MakeLabel(manual, m.Label9, QRect(10, 22, 40, 18));
  MakeCombo(manual, m.cbCurrents, QRect(56, 18, 80, 24));
  MakeLabel(manual, m.Label10, QRect(150, 22, 50, 18));
  // Enter in the shift box applies the shift and goes no further.
  QSpinBox* shift = MakeSpin(manual, m.udMoveStep, QRect(200, 18, 80, 24));
  OnEnter(shift, [shift, &m] {
    shift->interpretText();
    return m.edMoveStepKeyPress('\r');
  });
  pq::BindPageControl(inner, m.PageControl1);
}

void CalibrationView::BuildOptions(QWidget* page) {
  TfrmCalibration& m = Model();
  auto* step = MakeGroup(page, m.GroupBox18, QRect(8, 8, 220, 56));
  MakeSpin(step, m.udDNakal, QRect(10, 22, 80, 24));
}

void CalibrationView::closeEvent(QCloseEvent* event) {
  if (!Model().FormCloseQuery()) {
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

void CalibrationView::Open(const std::function<CalibrationView*()>& make) {
  // The procedure state and its state file belong to one calibration at a time, whichever the
  // system's type.
  if (CalibrationView* open = Current()) {
    open->showNormal();
    open->raise();
    open->activateWindow();
    return;
  }
  ShowAtTopLeft(make());
}

// The main window's "Калибровка рентгеновской трубки": the type-K2 window, or on a type-K3 or K4
// system the K3 one; the window already open is brought to the front instead.
static ToolInstaller installCalibration([](TfrmManager& manager) {
  manager.SetLauncher(ManagerTool::Calibration, [](TfrmManager& m, const std::string&) {
    CalibrationView::Open([&m] {
      return new CalibrationView(
          std::make_unique<TfrmCalibration>(&m, TfrmCalibration::LaunchOptions()));
    });
  });
  manager.SetLauncher(ManagerTool::CalibrationK3, [](TfrmManager& m, const std::string&) {
    CalibrationView::Open([&m] {
      return new CalibrationK3View(
          std::make_unique<TfrmCalibrationK3>(&m, TfrmCalibration::LaunchOptions()));
    });
  });
  // Both variants share the calibration flag; closing closes whichever is open.
  manager.SetCloser(ToolWindow::Calibration, [] { CalibrationView::CloseAll(); });
});

}  // namespace kvt::ui
