#include "tools/ui/PultView.h"

#include <QCloseEvent>
#include <QLabel>

#include "app/Manager.h"
#include "app/ui/ToolRegistry.h"
#include "platform/qt/Bindings.h"

namespace kvt::ui {

namespace {

// The lime-on-black displays sit sunk in the panel.
QLabel* MakeDisplay(QWidget* parent, platform::Label& model, const QRect& where) {
  QLabel* label = pq::MakeLabel(parent, model, where);
  label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  label->setLineWidth(2);
  return label;
}

}  // namespace

PultView::PultView(std::unique_ptr<TfrmPult> model, QWidget* parent)
    : ToolWindow(std::move(model), parent) {
  RegisterPultPictures();
  TfrmPult& m = Model();
  // Closing only hides the panel: it does not free itself.
  pq::FrameWindow(this, m.Form, QSize(527, 543));

  QFrame* panel = pq::MakePanel(this, m.Panel1, QRect(6, 6, 515, 531), QFrame::Raised, 2);

  auto key = [panel](SpeedButton& k, int x, int y, int w, int h) {
    new PultKey(panel, k, QRect(x, y, w, h));
  };
  // Power, synchronisation, footboard and door.
  pq::MakeLamp(panel, m.CalimState, QRect(8, 8, 150, 48));
  key(m.btnPower, 170, 8, 48, 48);
  key(m.btnVSynchro, 226, 8, 48, 48);
  pq::MakeLamp(panel, m.Image7, QRect(288, 8, 40, 48));
  key(m.btnFootBoardUp, 334, 8, 48, 48);
  key(m.btnFootBoardDown, 388, 8, 48, 48);
  key(m.btnDoorDrive, 450, 8, 48, 48);

  // U, I and T with their stepping keys.
  struct Display {
    platform::Picture& legend;
    platform::Label& label;
    SpeedButton& up;
    SpeedButton& down;
  };
  const Display displays[] = {{m.Image1, m.lbU, m.btnUup, m.btnUdn},
                              {m.Image2, m.lbI, m.btnIup, m.btnIdn},
                              {m.Image3, m.lbT, m.btnTup, m.btnTdn}};
  int x0 = 8;
  for (const Display& d : displays) {
    pq::MakeLamp(panel, d.legend, QRect(x0, 66, 110, 20));
    MakeDisplay(panel, d.label, QRect(x0, 88, 110, 56));
    key(d.up, x0 + 116, 88, 40, 27);
    key(d.down, x0 + 116, 117, 40, 27);
    x0 += 168;
  }

  // Examination modes, patient densities and the programming key.
  pq::MakeLamp(panel, m.Image5, QRect(8, 154, 240, 20));
  int k = 0;
  for (SpeedButton* b : m.Modes.Keys()) key(*b, 8 + 62 * k++, 176, 52, 48);
  pq::MakeLamp(panel, m.Image4, QRect(8, 234, 240, 20));
  k = 0;
  for (SpeedButton* b : m.Densities.Keys()) key(*b, 8 + 62 * k++, 256, 52, 48);
  key(m.btnProgramm, 442, 256, 52, 48);

  // Counters.
  pq::MakeLamp(panel, m.Image6, QRect(8, 316, 240, 20));
  key(m.btnWorkTimeCounter, 8, 338, 48, 48);
  key(m.btnTotalExposureTime, 64, 338, 48, 48);
  key(m.btnTotalSnapshots, 120, 338, 48, 48);
  MakeDisplay(panel, m.CounterIndicator, QRect(180, 338, 314, 48));

  // The exposure: the two lamps, the exposure key and the cancel key.
  pq::MakeLamp(panel, m.PrepLamp, QRect(24, 424, 64, 64));
  pq::MakeLamp(panel, m.HVLamp, QRect(108, 424, 64, 64));
  key(m.btnSnapshot, 250, 406, 104, 104);
  key(m.btnCancelSnapshot, 392, 422, 72, 72);
}

void PultView::closeEvent(QCloseEvent* event) {
  // Hidden, not destroyed; whatever runs on the apparatus is brought to rest.
  Model().FormClose();
  event->accept();
}

static ToolInstaller installPult([](TfrmManager& manager) {
  manager.SetLauncher(ManagerTool::ControlPanel, [](TfrmManager& m, const std::string&) {
    PultView::Launch(std::make_unique<TfrmPult>(&m));
  });
  manager.SetCloser(ToolWindow::ControlPanel, [] { PultView::CloseAll(); });
  manager.SetConnectionWatcher(ToolWindow::ControlPanel, [](bool connected) {
    PultView* view = PultView::Current();
    if (!view) return;
    if (connected)
      view->Model().Connected();
    else
      view->Model().ConnectionLost();
  });
});

}  // namespace kvt::ui
